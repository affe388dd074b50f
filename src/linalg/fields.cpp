// The products of fields.hpp: the real ones are the BLAS routines of the
// same names; the split complex ones are made of real BLAS products on the
// parts (gemm) or of loops over both parts at once (gemv, trmv), so that a
// matrix is read once per product.
#include "linalg/fields.hpp"

#include "platform/blas.hpp"
#include "platform/cpu.hpp"

#include <algorithm>

namespace field {

namespace {

const char* blas_trans(char t) noexcept { return t == 'C' ? "T" : "N"; }

void real_product(const char* ta, const char* tb, idx m, idx n, idx k, double alpha, const double* a, idx lda,
                  const double* b, idx ldb, double beta, double* c, idx ldc)
{
    const int mi = int(m), ni = int(n), ki = int(k), la = int(lda), lb = int(ldb), lc = int(ldc);
    dgemm_(ta, tb, &mi, &ni, &ki, &alpha, a, &la, b, &lb, &beta, c, &lc, 1, 1);
}

} // namespace

void gemm(char ta, char tb, idx m, idx n, idx k, double alpha, const matrix_view<double>& a,
          const matrix_view<double>& b, double beta, const matrix_view<double>& c)
{
    if (m > 0 && n > 0)
        real_product(blas_trans(ta), blas_trans(tb), m, n, k, alpha, a.p, a.ld, b.p, b.ld, beta, c.p, c.ld);
}

void gemm(char ta, char tb, idx m, idx n, idx k, double alpha, const split_view& a, const split_view& b, double beta,
          const split_view& c)
{
    if (m <= 0 || n <= 0)
        return;
    // op(a) = ar' + i·sa·ai', op(b) = br' + i·sb·bi' (' the transposition
    // asked for, sa = -1 for a conjugated operand).
    const double sa = ta == 'C' ? -1.0 : 1.0, sb = tb == 'C' ? -1.0 : 1.0;
    const char* ja = blas_trans(ta);
    const char* jb = blas_trans(tb);
    real_product(ja, jb, m, n, k, alpha, a.re, a.ld, b.re, b.ld, beta, c.re, c.ld);
    real_product(ja, jb, m, n, k, -alpha * sa * sb, a.im, a.ld, b.im, b.ld, 1.0, c.re, c.ld);
    real_product(ja, jb, m, n, k, alpha * sb, a.re, a.ld, b.im, b.ld, beta, c.im, c.ld);
    real_product(ja, jb, m, n, k, alpha * sa, a.im, a.ld, b.re, b.ld, 1.0, c.im, c.ld);
}

void gemv(char t, idx m, idx n, double alpha, const matrix_view<double>& a, const matrix_view<double>& x, double beta,
          const matrix_view<double>& y)
{
    const int mi = int(m), ni = int(n), ld = int(a.ld), one = 1;
    dgemv_(blas_trans(t), &mi, &ni, &alpha, a.p, &ld, x.p, &one, &beta, y.p, &one, 1);
}

namespace {

// y := beta·y, not read when beta is 0.
void scale_vector(idx len, double beta, double* yr, double* yi)
{
    if (beta == 0.0)
        for (idx i = 0; i < len; ++i)
            yr[i] = yi[i] = 0.0;
    else if (beta != 1.0)
        for (idx i = 0; i < len; ++i) {
            yr[i] *= beta;
            yi[i] *= beta;
        }
}

// y += alpha·a·x for split a (m by n) and y, x's elements (xr[k·incx],
// xi_sign·xi[k·incx]): four columns at a time, so y is loaded and stored
// once for each four; y shares no element with a or x, which lets the row
// loop run in vector registers. The rows are independent, so a CPU with AVX2 takes a
// copy built for its wider vectors: the same operations on each element,
// the same bits (no fused multiply-adds either way), twice the rows a step
// (the complex Hessenberg reduction spends a quarter of its time here).
[[gnu::always_inline]] inline void add_product_body(idx m, idx n, double alpha, const split_view& a, const double* xr,
                                                    const double* xi, idx incx, double xi_sign, double* __restrict yr,
                                                    double* __restrict yi)
{
    idx j = 0;
    for (; j + 4 <= n; j += 4) {
        const double* __restrict a0r = a.re + j * a.ld;
        const double* __restrict a0i = a.im + j * a.ld;
        const double* __restrict a1r = a0r + a.ld;
        const double* __restrict a1i = a0i + a.ld;
        const double* __restrict a2r = a1r + a.ld;
        const double* __restrict a2i = a1i + a.ld;
        const double* __restrict a3r = a2r + a.ld;
        const double* __restrict a3i = a2i + a.ld;
        const double x0r = alpha * xr[j * incx], x0i = alpha * xi_sign * xi[j * incx];
        const double x1r = alpha * xr[(j + 1) * incx], x1i = alpha * xi_sign * xi[(j + 1) * incx];
        const double x2r = alpha * xr[(j + 2) * incx], x2i = alpha * xi_sign * xi[(j + 2) * incx];
        const double x3r = alpha * xr[(j + 3) * incx], x3i = alpha * xi_sign * xi[(j + 3) * incx];
        for (idx i = 0; i < m; ++i) {
            yr[i] += (a0r[i] * x0r - a0i[i] * x0i) + (a1r[i] * x1r - a1i[i] * x1i) + (a2r[i] * x2r - a2i[i] * x2i) +
                     (a3r[i] * x3r - a3i[i] * x3i);
            yi[i] += (a0r[i] * x0i + a0i[i] * x0r) + (a1r[i] * x1i + a1i[i] * x1r) + (a2r[i] * x2i + a2i[i] * x2r) +
                     (a3r[i] * x3i + a3i[i] * x3r);
        }
    }
    for (; j < n; ++j) {
        const double* __restrict ar = a.re + j * a.ld;
        const double* __restrict ai = a.im + j * a.ld;
        const double xjr = alpha * xr[j * incx], xji = alpha * xi_sign * xi[j * incx];
        for (idx i = 0; i < m; ++i) {
            yr[i] += ar[i] * xjr - ai[i] * xji;
            yi[i] += ar[i] * xji + ai[i] * xjr;
        }
    }
}

void add_product_plain(idx m, idx n, double alpha, const split_view& a, const double* xr, const double* xi, idx incx,
                       double xi_sign, double* __restrict yr, double* __restrict yi)
{
    add_product_body(m, n, alpha, a, xr, xi, incx, xi_sign, yr, yi);
}

using add_product_kernel = decltype(&add_product_plain);

NUMRUN_TARGET_AVX2 void add_product_avx2(idx m, idx n, double alpha, const split_view& a, const double* xr,
                                         const double* xi, idx incx, double xi_sign, double* __restrict yr,
                                         double* __restrict yi)
{
    add_product_body(m, n, alpha, a, xr, xi, incx, xi_sign, yr, yi);
}

void add_product(idx m, idx n, double alpha, const split_view& a, const double* xr, const double* xi, idx incx,
                 double xi_sign, double* __restrict yr, double* __restrict yi)
{
    static const add_product_kernel chosen = platform::pick_kernel(add_product_plain, add_product_avx2);
    chosen(m, n, alpha, a, xr, xi, incx, xi_sign, yr, yi);
}

} // namespace

void gemv(char t, idx m, idx n, double alpha, const split_view& a, const split_view& x, double beta,
          const split_view& y)
{
    // As the BLAS: nothing at all for an empty product.
    if (m <= 0 || n <= 0)
        return;
    scale_vector(t == 'C' ? n : m, beta, y.re, y.im);
    if (t != 'C') {
        add_product(m, n, alpha, a, x.re, x.im, 1, 1.0, y.re, y.im);
        return;
    }
    for (idx j = 0; j < n; ++j) {
        const double* ar = a.re + j * a.ld;
        const double* ai = a.im + j * a.ld;
        double sr = 0.0, si = 0.0;
        for (idx i = 0; i < m; ++i) {
            sr += ar[i] * x.re[i] + ai[i] * x.im[i];
            si += ar[i] * x.im[i] - ai[i] * x.re[i];
        }
        y.re[j] += alpha * sr;
        y.im[j] += alpha * si;
    }
}

void gemv_conj_row(idx m, idx n, double alpha, const matrix_view<double>& a, const matrix_view<double>& x,
                   double beta, const matrix_view<double>& y)
{
    const int mi = int(m), ni = int(n), ld = int(a.ld), incx = int(x.ld), one = 1;
    dgemv_("N", &mi, &ni, &alpha, a.p, &ld, x.p, &incx, &beta, y.p, &one, 1);
}

void gemv_conj_row(idx m, idx n, double alpha, const split_view& a, const split_view& x, double beta,
                   const split_view& y)
{
    if (m <= 0 || n <= 0)
        return;
    scale_vector(m, beta, y.re, y.im);
    add_product(m, n, alpha, a, x.re, x.im, x.ld, -1.0, y.re, y.im);
}

void trmv(char uplo, char t, char diag, idx n, const matrix_view<double>& a, const matrix_view<double>& x)
{
    const char u[2] = {uplo, 0}, d[2] = {diag, 0};
    const int ni = int(n), ld = int(a.ld), one = 1;
    if (n > 0)
        dtrmv_(u, blas_trans(t), d, &ni, a.p, &ld, x.p, &one, 1, 1, 1);
}

namespace {

// Element (i, j), 0-based, of op(a) for a triangular a: zero outside the
// triangle, 1 on a unit diagonal (whose stored entries are not read).
cplx triangular_element(char uplo, char t, char diag, const split_view& a, idx i, idx j) noexcept
{
    if (i == j && diag == 'U')
        return 1.0;
    const idx r = t == 'C' ? j : i, c = t == 'C' ? i : j;
    if (uplo == 'U' ? r > c : r < c)
        return 0.0;
    const cplx v{a.re[r + c * a.ld], a.im[r + c * a.ld]};
    return t == 'C' ? conj(v) : v;
}

} // namespace

void trmv(char uplo, char t, char diag, idx n, const split_view& a, const split_view& x)
{
    // op(a) is upper triangular for ('U', 'N') and ('L', 'C'): then x(i)
    // reads x(i..n-1), and the rows run down; otherwise up.
    const bool upper = (uplo == 'U') == (t == 'N');
    for (idx s = 0; s < n; ++s) {
        const idx i = upper ? s : n - 1 - s;
        const idx j0 = upper ? i : 0, j1 = upper ? n - 1 : i;
        cplx acc = 0.0;
        for (idx j = j0; j <= j1; ++j)
            acc += triangular_element(uplo, t, diag, a, i, j) * cplx{x.re[j], x.im[j]};
        x.re[i] = acc.re;
        x.im[i] = acc.im;
    }
}

void trmm(char side, char uplo, char t, char diag, idx m, idx n, const matrix_view<double>& a,
          const matrix_view<double>& b, double*)
{
    const char s[2] = {side, 0}, u[2] = {uplo, 0}, d[2] = {diag, 0};
    const int mi = int(m), ni = int(n), la = int(a.ld), lb = int(b.ld);
    const double one = 1.0;
    if (m > 0 && n > 0)
        dtrmm_(s, u, blas_trans(t), d, &mi, &ni, &one, a.p, &la, b.p, &lb, 1, 1, 1, 1);
}

void trmm(char side, char uplo, char t, char diag, idx m, idx n, const split_view& a, const split_view& b,
          double* scratch)
{
    if (m <= 0 || n <= 0)
        return;
    // op(a) written out in full and a copy of b, then one product.
    const idx k = side == 'L' ? m : n;
    const split_view full = complex_field::carve(scratch, k, k);
    const split_view copy = complex_field::carve(scratch + 2 * k * k, m, n);
    for (idx j = 0; j < k; ++j)
        for (idx i = 0; i < k; ++i) {
            const cplx v = triangular_element(uplo, t, diag, a, i, j);
            full.re[i + j * k] = v.re;
            full.im[i + j * k] = v.im;
        }
    for (idx j = 0; j < n; ++j)
        for (idx i = 0; i < m; ++i) {
            copy.re[i + j * m] = b.re[i + j * b.ld];
            copy.im[i + j * m] = b.im[i + j * b.ld];
        }
    if (side == 'L')
        gemm('N', 'N', m, n, k, 1.0, full, copy, 0.0, b);
    else
        gemm('N', 'N', m, n, k, 1.0, copy, full, 0.0, b);
}

void copy_block(const matrix_view<double>& from, const matrix_view<double>& to, idx rows, idx cols)
{
    for (idx j = 1; j <= cols; ++j)
        std::copy(&from(1, j), &from(1, j) + rows, &to(1, j));
}

void copy_block(const split_view& from, const split_view& to, idx rows, idx cols)
{
    copy_block(matrix_view<double>{from.re, from.ld}, matrix_view<double>{to.re, to.ld}, rows, cols);
    copy_block(matrix_view<double>{from.im, from.ld}, matrix_view<double>{to.im, to.ld}, rows, cols);
}

} // namespace field
