// Cholesky factorisation: LINPACK's column-by-column kernels (real and
// split complex; complex matrices past a small order go to LAPACK's
// blocked ZPOTRF, stopped where the kernel stops) and the language
// function chol, whose two-output form reports how far the factorisation
// got instead of raising.
#include "engine/scalar_complex.hpp"
#include "linalg/front.hpp"
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "platform/blas_threads.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "velkor/checks.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

using idx = std::ptrdiff_t;

// A sum that must keep its order does not vectorise by itself: long ones
// go to the BLAS.
inline double dot(int n, const double* x, const double* y) noexcept
{
    if (n > 16) {
        const int one = 1;
        return ddot_(&n, x, &one, y, &one);
    }
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += x[i] * y[i];
    return s;
}

} // namespace

namespace {

// LINPACK's column-by-column factorisation of the m-by-m block at a (column
// stride ld), the squares subtracted one by one. Returns the failing order
// within the block, 0 on success.
int chol_columns(double* a, idx ld, int m)
{
    for (int j = 0; j < m; ++j) {
        double* cj = a + j * ld;
        double s = cj[j];
        for (int k = 0; k < j; ++k) {
            const double* ck = a + k * ld;
            const double t = (cj[k] - dot(k, ck, cj)) / ck[k];
            cj[k] = t;
            s -= t * t;
        }
        if (!(s > 0))
            return j + 1;
        cj[j] = std::sqrt(s);
    }
    return 0;
}

constexpr int chol_block = 64;

// From this order on a complex matrix goes to ZPOTRF: below it the copies
// cost more than the column kernel (bench/chol_bench.cpp).
constexpr int complex_chol_blocked_order = 12;

// A Hermitian matrix formed in double arithmetic (X*X' and the like)
// carries rounding-level imaginary parts on its diagonal: up to
// n*eps*|Re a(j,j)| they count as 0; a larger one, or a NaN, stops the
// factorisation at that column.
inline bool real_enough(int n, double re, double im) noexcept
{
    return std::fabs(im) <= n * machine_double(4) * std::fabs(re);
}

} // namespace

int chol_kernel_real(double* a, const int*, const int* n_, int* info)
{
    // The column stride is the order: every caller passes lda = n.
    const int n = *n_;
    // The block updates are thin: one BLAS thread.
    const blas_single_thread serial;
    const int ld = n;
    // Right-looking by blocks: each diagonal block by columns, then the
    // rows beside it by a triangular solve and the trailing upper triangle
    // by a rank-k update. Column j still depends only on the leading block
    // of order j, and only the upper triangle is read or written.
    for (int k0 = 0; k0 < n; k0 += chol_block) {
        const int kb = std::min(chol_block, n - k0);
        double* a11 = a + k0 + idx(k0) * ld;
        if (const int fail = chol_columns(a11, ld, kb)) {
            *info = k0 + fail;
            return 0;
        }
        const int rest = n - k0 - kb;
        if (rest == 0)
            break;
        double* a12 = a + k0 + idx(k0 + kb) * ld;
        double* a22 = a + (k0 + kb) + idx(k0 + kb) * ld;
        const double one = 1, minus_one = -1;
        dtrsm_("L", "U", "T", "N", &kb, &rest, &one, a11, &ld, a12, &ld, 1, 1, 1, 1);
        dsyrk_("U", "T", &rest, &kb, &minus_one, a12, &ld, &one, a22, &ld, 1, 1);
    }
    *info = 0;
    return 0;
}

int chol_kernel_complex(double* ar, double* ai, const int* lda_, const int* n_, int* info)
{
    const int n = *n_;
    const idx ld = *lda_;
    for (int j = 0; j < n; ++j) {
        *info = j + 1;
        double* jr = ar + j * ld;
        double* ji = ai + j * ld;
        double sum = 0;
        for (int k = 0; k < j; ++k) {
            const double* kr = ar + k * ld;
            const double* ki = ai + k * ld;
            const double dr = dotc_real_split(k, kr, ki, 1, jr, ji, 1);
            const double di = dotc_imag_split(k, kr, ki, 1, jr, ji, 1);
            double tr, ti;
            complex_div(jr[k] - dr, ji[k] - di, kr[k], ki[k], tr, ti);
            jr[k] = tr;
            ji[k] = ti;
            sum += tr * tr + ti * ti;
        }
        const double s = jr[j] - sum;
        if (!(s > 0) || !real_enough(n, jr[j], ji[j]))
            return 0;
        jr[j] = std::sqrt(s);
        ji[j] = 0;
    }
    *info = 0;
    return 0;
}

namespace {

// The upper triangle of the leading q-by-q block of w (n-by-n), zeros below.
Mm upper_block(const Mm& w, int q)
{
    const int n = w.rows();
    Mm r = new_dense(w.isc(), q, q);
    for (int j = 0; j < q; ++j)
        for (int i = 0; i < q; ++i) {
            const idx from = i + idx(j) * n, to = i + idx(j) * q;
            r.addr()[to] = i <= j ? w.addr()[from] : 0.0;
            if (r.isc())
                r.addi()[to] = i <= j ? w.addi()[from] : 0.0;
        }
    return r;
}

// chol_kernel_complex's factor and info for a finite w, by LAPACK's
// blocked ZPOTRF on an interleaved copy of the upper triangle. ZPOTRF
// reads only the real parts of the diagonal: the first column whose
// diagonal is not real enough stops the factor here, as it stops the
// kernel. False, w untouched, when w holds NaN or Inf or the factor meets
// a NaN (an overflow on the way), which ZPOTRF would pass as a pivot: the
// kernel then answers.
bool blocked_complex_factor(Mm& w, int& info)
{
    const int n = w.rows();
    const double* ar = w.addr();
    const double* ai = w.addi();
    for (int j = 0; j < n; ++j)
        if (!finite_split(j + 1, 1, ar + idx(j) * n, ai + idx(j) * n, n))
            return false;
    int stop = 0;
    for (int j = 0; j < n && stop == 0; ++j)
        if (!real_enough(n, ar[j + idx(j) * n], ai[j + idx(j) * n]))
            stop = j + 1;
    scratch<double> z{2 * std::size_t(n) * std::size_t(n)};
    for (int j = 0; j < n; ++j)
        interleave_split(j + 1, 1, ar + idx(j) * n, ai + idx(j) * n, n, z.get() + 2 * idx(j) * n, n);
    const int failed = lapack::zpotrf('U', n, z.get(), n);
    info = stop != 0 && (failed == 0 || stop < failed) ? stop : failed;
    const int done = info == 0 ? n : info - 1;
    for (int j = 0; j < done; ++j) {
        const double* c = z.get() + 2 * idx(j) * n;
        for (int i = 0; i < 2 * (j + 1); ++i)
            if (!std::isfinite(c[i]))
                return false;
    }
    for (int j = 0; j < done; ++j)
        deinterleave_split(j + 1, 1, z.get() + 2 * idx(j) * n, n, w.addr() + idx(j) * n, w.addi() + idx(j) * n, n);
    return true;
}

// Factors the dense copy w in place; returns info.
int factor(Mm& w)
{
    const int n = w.rows();
    int info = 0;
    if (w.isc()) {
        if (n < complex_chol_blocked_order || !blocked_complex_factor(w, info))
            chol_kernel_complex(w.addr(), w.addi(), &n, &n, &info);
    } else
        chol_kernel_real(w.addr(), &n, &n, &info);
    return info;
}

} // namespace

Mm chol(Mm a)
{
    if (error_square(a, "chol"))
        return x_M;
    const int n = a.rows();
    if (n == 0)
        return nop_M;
    Mm w = dense_copy(a);
    if (factor(w) != 0) {
        error("%s: %s matrix not positive definite", "chol", matrix_display_name(a));
        return x_M;
    }
    return upper_block(w, n);
}

Mm chol(Mm a, i_o_t, Mm& R, Mm& p)
{
    if (error_square(a, "chol")) {
        R = x_M;
        p = x_M;
        return x_M;
    }
    const int n = a.rows();
    if (n == 0) {
        R = nop_M;
        p = nop_M;
        return x_M;
    }
    Mm w = dense_copy(a);
    const int info = factor(w);
    // Column j of the factor depends only on the leading block of order j,
    // so the factor of the largest positive definite leading block is
    // already in w's first info - 1 columns.
    if (info == 0) {
        R = upper_block(w, n);
        p = Mm(0.0);
    } else if (info == 1) {
        R = nop_M;
        p = Mm(1.0);
    } else {
        R = upper_block(w, info - 1);
        p = Mm(double(info));
    }
    return x_M;
}
