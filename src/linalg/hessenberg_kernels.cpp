// Reduction of rows and columns low..igh to upper Hessenberg form:
// elementary similarities (elmhes, eltran), Householder reflections
// (orthes, ortran) and their complex form (corth, cortran). From
// hessenberg_blocking_order on, each works a panel of columns at a time and
// applies it to the rest of the matrix by matrix products; the last
// columns, and smaller matrices, take the plain steps.
#include "engine/scalar_complex.hpp"
#include "linalg/fields.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"
#include "platform/blas.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>

int hessenberg_blocking_order = 32;
// The complex panels' fixed costs are higher: corth alone gains from them
// at order 130, with cortran from 100 (bench/hessenberg_kernels_bench.cpp).
int complex_hessenberg_blocking_order = 96;

int hessenberg_work_size(int n, bool complex)
{
    // The panels of orthes and corth (T, Y, W, the complex triangular
    // products' scratch) cover those of ortran and cortran.
    const std::ptrdiff_t nb = hessenberg_block, m = std::max(n, 1), parts = complex ? 2 : 1;
    return int(parts * (nb * nb + 2 * m * nb) + (complex ? 2 * (nb * nb + m * nb) : 0));
}

namespace {

// Rows updated together by the right-hand Householder updates.
constexpr std::ptrdiff_t row_block = 16;

void set_identity(const matrix_view<double>& z, int n)
{
    for (std::ptrdiff_t j = 1; j <= n; ++j) {
        for (std::ptrdiff_t i = 1; i <= n; ++i)
            z(i, j) = 0.0;
        z(j, j) = 1.0;
    }
}

// A column whose part below the diagonal sums to less than this is taken
// as reduced and set to zero. A reflection built from it would be made of
// subnormal numbers, short of digits and beyond the range of their
// reciprocals (the transformation would come back as NaN); what is dropped
// is far below the rounding of any matrix the callers pass, which they
// scale to a largest entry of at least 2^-450.
constexpr double negligible_column = 0x1p-970;

// The plain steps m = first..igh-1 of elmhes, orthes and ortran, as the
// published routines take them; the blocked forms hand their last steps to
// these.
void elmhes_steps(const matrix_view<double>& a, const vector_view<int>& piv, std::ptrdiff_t n, std::ptrdiff_t first,
                  std::ptrdiff_t igh)
{
    for (std::ptrdiff_t m = first; m <= igh - 1; ++m) {
        // The first entry of largest magnitude, as IDAMAX chooses.
        std::ptrdiff_t i = m;
        double largest = std::fabs(a(m, m - 1));
        for (std::ptrdiff_t j = m + 1; j <= igh; ++j)
            if (std::fabs(a(j, m - 1)) > largest) {
                largest = std::fabs(a(j, m - 1));
                i = j;
            }
        const double x = a(i, m - 1);
        piv(m) = int(i);
        if (i != m) {
            for (std::ptrdiff_t j = m - 1; j <= n; ++j) {
                const double t = a(i, j);
                a(i, j) = a(m, j);
                a(m, j) = t;
            }
            double* ci = a.column(i);
            double* cm = a.column(m);
            for (std::ptrdiff_t r = 0; r < igh; ++r) {
                const double t = ci[r];
                ci[r] = cm[r];
                cm[r] = t;
            }
        }
        if (x == 0.0)
            continue;
        // The multipliers, kept where they are returned: column m-1.
        for (std::ptrdiff_t r = m + 1; r <= igh; ++r)
            if (a(r, m - 1) != 0.0)
                a(r, m - 1) /= x;
        const double* mult = a.column(m - 1);  // y_r = mult[r - 1]
        // Row r's elimination (a(r, j) -= y_r a(m, j), j >= m) and column
        // r's addition to column m, taken by columns: each column is
        // brought up to date when the addition that reads it runs, rows
        // up to r eliminated and rows below not yet, so every element sees
        // the operations of the row-by-row order in that order.
        double* cm = a.column(m);
        auto eliminate = [&](double* c, double amj, std::ptrdiff_t first_row, std::ptrdiff_t last_row) {
            for (std::ptrdiff_t k = first_row; k <= last_row; ++k)
                if (mult[k - 1] != 0.0)
                    c[k - 1] -= mult[k - 1] * amj;
        };
        for (std::ptrdiff_t r = m + 1; r <= igh; ++r) {
            const double yr = mult[r - 1];
            if (yr != 0.0)
                cm[r - 1] -= yr * cm[m - 1];
            double* cr = a.column(r);
            const double amr = cr[m - 1];
            eliminate(cr, amr, m + 1, r);
            if (yr != 0.0)
                for (std::ptrdiff_t k = 0; k < igh; ++k)
                    cm[k] += yr * cr[k];
            eliminate(cr, amr, r + 1, igh);
        }
        for (std::ptrdiff_t j = igh + 1; j <= n; ++j) {
            double* cj = a.column(j);
            eliminate(cj, cj[m - 1], m + 1, igh);
        }
    }
}

void orthes_steps(const matrix_view<double>& a, const vector_view<double>& ort, std::ptrdiff_t n,
                  std::ptrdiff_t first, std::ptrdiff_t igh)
{
    for (std::ptrdiff_t m = first; m <= igh - 1; ++m) {
        ort(m) = 0.0;
        double scale = 0.0;
        for (std::ptrdiff_t i = m; i <= igh; ++i)
            scale += std::fabs(a(i, m - 1));
        if (scale < negligible_column) {
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                a(i, m - 1) = 0.0;
            continue;
        }
        double h = 0.0;
        for (std::ptrdiff_t i = igh; i >= m; --i) {
            ort(i) = a(i, m - 1) / scale;
            h += ort(i) * ort(i);
        }
        const double g = ort(m) >= 0 ? -std::sqrt(h) : std::sqrt(h);
        h -= ort(m) * g;
        ort(m) -= g;
        // (I - u·uᵀ/h)·A over columns m..n ...
        for (std::ptrdiff_t j = m; j <= n; ++j) {
            double f = 0.0;
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                f += ort(i) * a(i, j);
            f = -f / h;
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                a(i, j) += f * ort(i);
        }
        // ... then A·(I - u·uᵀ/h) over rows 1..igh, a block of rows at a
        // time so the columns are read in storage order; each row's sum
        // still runs over j in ascending order.
        for (std::ptrdiff_t i0 = 1; i0 <= igh; i0 += row_block) {
            const std::ptrdiff_t rows = std::min<std::ptrdiff_t>(row_block, igh - i0 + 1);
            double f[row_block] = {};
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                const double* col = &a(i0, j);
                for (std::ptrdiff_t r = 0; r < rows; ++r)
                    f[r] += ort(j) * col[r];
            }
            for (std::ptrdiff_t r = 0; r < rows; ++r)
                f[r] = -f[r] / h;
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                double* col = &a(i0, j);
                for (std::ptrdiff_t r = 0; r < rows; ++r)
                    col[r] += f[r] * ort(j);
            }
        }
        ort(m) *= scale;
        a(m, m - 1) = scale * g;
    }
}

// Steps mp = last down to first of ortran, on a z that holds the identity
// in those rows and columns.
void ortran_steps(const matrix_view<const double>& a, const vector_view<double>& ort,
                  const matrix_view<double>& z, std::ptrdiff_t first, std::ptrdiff_t last, std::ptrdiff_t igh)
{
    for (std::ptrdiff_t mp = last; mp >= first; --mp) {
        if (a(mp, mp - 1) == 0.0)
            continue;
        for (std::ptrdiff_t i = mp + 1; i <= igh; ++i)
            ort(i) = a(i, mp - 1);
        for (std::ptrdiff_t j = mp; j <= igh; ++j) {
            double g = 0.0;
            for (std::ptrdiff_t i = mp; i <= igh; ++i)
                g += z(i, j) * ort(i);
            // The divisor ort(mp)·a(mp, mp-1) is the negative of orthes' h.
            g = (g / ort(mp)) / a(mp, mp - 1);
            for (std::ptrdiff_t i = mp; i <= igh; ++i)
                z(i, j) += g * ort(i);
        }
    }
}

// Steps m = first..igh-1 of corth.
void corth_steps(const matrix_view<double>& ar, const matrix_view<double>& ai, const vector_view<double>& ortr,
                 const vector_view<double>& orti, std::ptrdiff_t n, std::ptrdiff_t first, std::ptrdiff_t igh)
{
    for (std::ptrdiff_t m = first; m <= igh - 1; ++m) {
        ortr(m) = 0.0;
        orti(m) = 0.0;
        double scale = 0.0;
        for (std::ptrdiff_t i = m; i <= igh; ++i)
            scale += std::fabs(ar(i, m - 1)) + std::fabs(ai(i, m - 1));
        if (scale < negligible_column) {
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                ar(i, m - 1) = ai(i, m - 1) = 0.0;
            continue;
        }
        double h = 0.0;
        for (std::ptrdiff_t i = igh; i >= m; --i) {
            ortr(i) = ar(i, m - 1) / scale;
            orti(i) = ai(i, m - 1) / scale;
            h += ortr(i) * ortr(i) + orti(i) * orti(i);
        }
        double g = std::sqrt(h);
        const double f = complex_abs(ortr(m), orti(m));
        if (f >= 0x1p-1000 && std::isfinite(g / f)) {
            h += f * g;
            g /= f;
            ortr(m) *= 1.0 + g;
            orti(m) *= 1.0 + g;
        } else {
            // The first element is 0, or so far below the rest of the
            // column (a graded matrix) that it is subnormal once divided by
            // the scale or g/f overflows: the element becomes phase·(f + g)
            // and the subdiagonal -phase·g·scale, without the ratio (Inf
            // times a subnormal made NaN), the phase taken from the matrix's
            // own element brought near 1 by a power of two (from the
            // subnormal quotient its modulus missed 1, and the reflection
            // was not unitary).
            double pr = 1.0, pi = 0.0;
            const double xr = ar(m, m - 1), xi = ai(m, m - 1);
            if (xr != 0.0 || xi != 0.0) {
                int e = 0;
                std::frexp(std::max(std::fabs(xr), std::fabs(xi)), &e);
                const double lr = std::ldexp(xr, -e), li = std::ldexp(xi, -e), modulus = complex_abs(lr, li);
                pr = lr / modulus;
                pi = li / modulus;
                h += f * g;
            }
            ortr(m) = pr * (f + g);
            orti(m) = pi * (f + g);
            ar(m, m - 1) = pr * scale;
            ai(m, m - 1) = pi * scale;
        }
        // Left update: column j -= u·(uᴴ·column j)/h.
        for (std::ptrdiff_t j = m; j <= n; ++j) {
            double fr = 0.0, fi = 0.0;
            for (std::ptrdiff_t i = m; i <= igh; ++i) {
                fr += ortr(i) * ar(i, j) + orti(i) * ai(i, j);
                fi += ortr(i) * ai(i, j) - orti(i) * ar(i, j);
            }
            fr = -fr / h;
            fi = -fi / h;
            for (std::ptrdiff_t i = m; i <= igh; ++i) {
                ar(i, j) += fr * ortr(i) - fi * orti(i);
                ai(i, j) += fr * orti(i) + fi * ortr(i);
            }
        }
        // Right update: row i -= (row i·u)/h·uᴴ, a block of rows at a time
        // (each row's sums in ascending j as before).
        for (std::ptrdiff_t i0 = 1; i0 <= igh; i0 += row_block) {
            const std::ptrdiff_t rows = std::min<std::ptrdiff_t>(row_block, igh - i0 + 1);
            double fr[row_block] = {}, fi[row_block] = {};
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                const double* cr = &ar(i0, j);
                const double* ci = &ai(i0, j);
                const double orj = ortr(j), oij = orti(j);
                for (std::ptrdiff_t r = 0; r < rows; ++r) {
                    fr[r] += orj * cr[r] - oij * ci[r];
                    fi[r] += orj * ci[r] + oij * cr[r];
                }
            }
            for (std::ptrdiff_t r = 0; r < rows; ++r) {
                fr[r] = -fr[r] / h;
                fi[r] = -fi[r] / h;
            }
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                double* cr = &ar(i0, j);
                double* ci = &ai(i0, j);
                const double orj = ortr(j), oij = orti(j);
                for (std::ptrdiff_t r = 0; r < rows; ++r) {
                    cr[r] += fr[r] * orj + fi[r] * oij;
                    ci[r] += fi[r] * orj - fr[r] * oij;
                }
            }
        }
        ortr(m) *= scale;
        orti(m) *= scale;
        ar(m, m - 1) *= -g;
        ai(m, m - 1) *= -g;
    }
}

// Steps i = last down to first of cortran, on a z that holds the identity
// in those rows and columns; ort(i+1..igh) is overwritten.
void cortran_steps(const field::const_split_view& a, const field::split_view& ort, const field::split_view& z,
                   std::ptrdiff_t first, std::ptrdiff_t last, std::ptrdiff_t igh)
{
    using field::cplx;
    for (std::ptrdiff_t i = last; i >= first; --i) {
        const cplx sub = a(i, i - 1);
        if (cplx(ort(i, 1)) == 0.0 || sub == 0.0)
            continue;
        for (std::ptrdiff_t k = i + 1; k <= igh; ++k)
            ort(k, 1) = a(k, i - 1);
        // A small column's vector and subdiagonal are brought to a largest
        // entry near 1 by a power of two (exact), so their product, the
        // negative of corth's h, does not underflow.
        double big = 0.0;
        for (std::ptrdiff_t k = i; k <= igh; ++k)
            big = std::max({big, std::fabs(ort.re[k - 1]), std::fabs(ort.im[k - 1])});
        int e = 0;
        if (big < 0x1p-400)
            std::frexp(big, &e);
        for (std::ptrdiff_t k = i; k <= igh; ++k) {
            ort.re[k - 1] = std::ldexp(ort.re[k - 1], -e);
            ort.im[k - 1] = std::ldexp(ort.im[k - 1], -e);
        }
        const double norm = std::ldexp(sub.re, -e) * ort.re[i - 1] + std::ldexp(sub.im, -e) * ort.im[i - 1];
        for (std::ptrdiff_t j = i; j <= igh; ++j) {
            double sr = 0.0, si = 0.0;
            for (std::ptrdiff_t k = i; k <= igh; ++k) {
                const cplx o = ort(k, 1), zk = z(k, j);
                sr += o.re * zk.re + o.im * zk.im;
                si += o.re * zk.im - o.im * zk.re;
            }
            sr /= norm;
            si /= norm;
            for (std::ptrdiff_t k = i; k <= igh; ++k) {
                const cplx o = ort(k, 1);
                z(k, j) += cplx(sr * o.re - si * o.im, sr * o.im + si * o.re);
            }
        }
    }
}

// ---- blocked forms ----
//
// Indices from here on are 0-based: the matrix is a with rows and columns
// lo..hi reduced, column c by the transformation of rows c+1..hi (the step
// m = c+2 of the plain kernels). A panel is the columns c0..c0+nb-1; panels
// run while more than the blocking order of columns remains after them.
// The Householder panels are one template over the real and the split
// complex field (fields.hpp), where the real transposes are conjugate ones.

using idx = std::ptrdiff_t;
using field::cplx;
using field::split_view;

// A 0-based view over a field's matrix view.
template <class M>
struct dense {
    M v;
    decltype(auto) operator()(idx i, idx j) const noexcept { return v(i + 1, j + 1); }
    // The view whose (0, 0) is element (i, j).
    M at(idx i, idx j) const noexcept { return field::corner(v, i + 1, j + 1); }
};
using real_dense = dense<matrix_view<double>>;

// Matrices of a field carved one after another from a work array; what
// follows the last one starts at `at`.
template <class M>
struct carver {
    double* at;
    dense<M> take(idx rows, idx cols)
    {
        using F = typename field::field_of<M>::type;
        const dense<M> d{F::carve(at, rows, cols)};
        at += F::parts * rows * cols;
        return d;
    }
};

void trsv_lower_unit(idx n, const matrix_view<double>& a, double* x)
{
    const int ni = int(n), ld = int(a.ld), one = 1;
    dtrsv_("L", "N", "U", &ni, a.p, &ld, x, &one, 1, 1, 1);
}

void trsm_left_lower_unit(idx m, idx n, const matrix_view<double>& a, const matrix_view<double>& b)
{
    const int mi = int(m), ni = int(n), la = int(a.ld), lb = int(b.ld);
    const double one = 1.0;
    if (m > 0 && n > 0)
        dtrsm_("L", "L", "N", "U", &mi, &ni, &one, a.p, &la, b.p, &lb, 1, 1, 1, 1);
}

void swap_rows(const real_dense& a, idx r1, idx r2, idx first_col, idx last_col)
{
    for (idx j = first_col; j <= last_col; ++j)
        std::swap(a(r1, j), a(r2, j));
}

idx block_width() { return hessenberg_block; }
idx plain_tail(bool complex = false)
{
    return std::max<idx>(hessenberg_block, complex ? complex_hessenberg_blocking_order : hessenberg_blocking_order);
}

// The first column the plain steps take after the panels of lo..hi.
idx after_panels(idx lo, idx hi, bool complex = false)
{
    const idx nb = block_width(), last_start = hi - 1 - plain_tail(complex);
    return last_start < lo ? lo : lo + ((last_start - lo) / nb + 1) * nb;
}

// elmhes by panels. Within a panel the matrix B = P·A·Pᵀ (A at the panel's
// start, P its row exchanges so far, made at once to rows and columns) is
// kept as it is, and a column is brought up to date only when its pivot is
// sought: A_j = L⁻¹·B·L, where L holds the multipliers found so far (in the
// LU form, exchanged with the later rows) and changes only the columns
// c0+1..c0+nb from the right. At the panel's end the rows above it get
// their part of B·L and the columns right of it L⁻¹ (a triangular solve and
// a product), and the multipliers go back to elmhes's form, each in the
// row order of its own step.
void elmhes_panels(const real_dense& a, int* piv, idx n, idx lo, idx hi)
{
    const idx nb = block_width(), stop = after_panels(lo, hi);
    for (idx c0 = lo; c0 < stop; c0 += nb) {
        const idx r0 = c0 + 1, rows = hi - c0;
        for (idx j = 0; j < nb; ++j) {
            const idx c = c0 + j, p = c + 1;
            if (j > 0) {
                // Column c from the right (B·L) ...
                field::gemv('N', rows, hi - c, 1.0, a.at(r0, c + 1), a.at(c + 1, c - 1), 1.0, a.at(r0, c));
                // ... and from the left (L⁻¹), rows r0.. of the panel.
                trsv_lower_unit(j, a.at(r0, c0), &a(r0, c));
                field::gemv('N', hi - p + 1, j, -1.0, a.at(p, c0), a.at(r0, c), 1.0, a.at(p, c));
            }
            idx q = p;
            double largest = std::fabs(a(p, c));
            for (idx i = p + 1; i <= hi; ++i)
                if (std::fabs(a(i, c)) > largest) {
                    largest = std::fabs(a(i, c));
                    q = i;
                }
            piv[p] = int(q + 1);
            if (q != p) {
                swap_rows(a, p, q, c0, n - 1);
                for (idx i = 0; i <= hi; ++i)
                    std::swap(a(i, p), a(i, q));
            }
            const double x = a(p, c);
            if (x != 0.0)
                for (idx i = p + 1; i <= hi; ++i)
                    if (a(i, c) != 0.0)
                        a(i, c) /= x;
        }
        const idx last = c0 + nb;  // the column the panel's last step adds to
        field::gemv('N', rows, hi - last, 1.0, a.at(r0, last + 1), a.at(last + 1, last - 1), 1.0, a.at(r0, last));
        // Rows 0..c0 of columns c0+1..c0+nb: B·L.
        field::trmm('R', 'L', 'N', 'U', r0, nb, a.at(r0, c0), a.at(0, c0 + 1), nullptr);
        field::gemm('N', 'N', r0, nb, hi - last, 1.0, a.at(0, last + 1), a.at(last + 1, c0), 1.0, a.at(0, c0 + 1));
        // Columns c0+nb..n-1: L⁻¹.
        trsm_left_lower_unit(nb, n - last, a.at(r0, c0), a.at(r0, last));
        field::gemm('N', 'N', hi - last, n - last, nb, -1.0, a.at(last + 1, c0), a.at(r0, last), 1.0,
                    a.at(last + 1, last));
        for (idx k = 0; k + 1 < nb; ++k)
            for (idx j = nb - 1; j > k; --j) {
                const idx p = c0 + 1 + j, q = piv[p] - 1;
                if (q != p)
                    std::swap(a(p, c0 + k), a(q, c0 + k));
            }
    }
}

// A panel's reflection of x = a(r..hi, c), in the form I - tau·v·vᴴ with
// v(r) = 1 and tau real: the published choice of sign and scaling of
// orthes (real) or corth (complex). Leaves v below row r, returns tau and
// the subdiagonal element beta, and stores u(r) (the leading element of
// the published routine's vector u = x - beta·e1) in ort(r); a negligible
// x becomes zero, with tau = 0.
template <class T>
struct reflection {
    double tau;
    T beta;
};

template <class M>
reflection<typename field::field_of<M>::type::scalar> reflect_column(const dense<M>& a, const dense<M>& ort, idx r,
                                                                     idx c, idx hi)
{
    using T = typename field::field_of<M>::type::scalar;
    double scale = 0.0;
    for (idx i = r; i <= hi; ++i)
        scale += field::abs1(a(i, c));
    if (scale < negligible_column) {
        for (idx i = r; i <= hi; ++i)
            a(i, c) = 0.0;
        ort(r, 0) = 0.0;
        return {0.0, 0.0};
    }
    double h = 0.0;
    for (idx i = hi; i >= r; --i)
        h += field::squared_modulus(T(a(i, c)) / scale);
    const T lead = T(a(r, c)) / scale;
    T u, beta;
    double tau;
    if constexpr (std::is_same_v<T, cplx>) {
        // u(r) = lead·(1 + |x|/|lead|) and beta = -|x|·lead/|lead|, or |x|
        // and -|x| for a zero lead; the reflection's h is |x|·(|x| + |lead|).
        const double g = std::sqrt(h), f = complex_abs(lead.re, lead.im);
        u = f != 0.0 ? lead * (1.0 + g / f) : cplx(g);
        beta = f != 0.0 ? cplx(a(r, c)) * -(g / f) : cplx(-scale * g);
        tau = 1.0 + f / g;
    } else {
        const double g = lead >= 0 ? -std::sqrt(h) : std::sqrt(h);
        u = lead - g;
        beta = scale * g;
        tau = -u / g;
    }
    const T recip = T(1.0) / (u * scale);
    for (idx i = r + 1; i <= hi; ++i)
        a(i, c) = T(a(i, c)) * recip;
    ort(r, 0) = u * scale;
    return {tau, beta};
}

// orthes (real) and corth (complex) by panels: the panel's reflections are
// gathered as I - V·T·Vᴴ, with Y = A·V·T, so that the columns right of the
// panel take A·Q = A - Y·Vᴴ and Qᴴ·A as matrix products.
template <class M>
void householder_panels(const dense<M>& a, const dense<M>& ort, idx n, idx lo, idx hi, double* work)
{
    using F = typename field::field_of<M>::type;
    using T = typename F::scalar;
    const idx nb = block_width(), stop = after_panels(lo, hi, F::is_complex);
    carver<M> from{work};
    const dense<M> t = from.take(nb, nb), y = from.take(n, nb), w = from.take(nb, n);
    double* scratch = from.at;
    for (idx c0 = lo; c0 < stop; c0 += nb) {
        const idx r0 = c0 + 1, rows = hi - c0;
        T sub = 0.0;  // the subdiagonal element hidden under v's unit
        for (idx j = 0; j < nb; ++j) {
            const idx c = c0 + j, r = r0 + j;
            if (j > 0) {
                // Column c from the right: A - Y·Vᴴ (row c of V is row r-1
                // of a) ...
                field::gemv_conj_row(rows, j, -1.0, y.at(r0, 0), a.at(r - 1, c0), 1.0, a.at(r0, c));
                // ... and from the left: (I - V·Tᴴ·Vᴴ)·b, with b = (b1; b2)
                // split at row r.
                for (idx i = 0; i < j; ++i)
                    w(i, 0) = a(r0 + i, c);
                field::trmv('L', 'C', 'U', j, a.at(r0, c0), w.at(0, 0));
                field::gemv('C', hi - r + 1, j, 1.0, a.at(r, c0), a.at(r, c), 1.0, w.at(0, 0));
                field::trmv('U', 'C', 'N', j, t.at(0, 0), w.at(0, 0));
                field::gemv('N', hi - r + 1, j, -1.0, a.at(r, c0), w.at(0, 0), 1.0, a.at(r, c));
                field::trmv('L', 'N', 'U', j, a.at(r0, c0), w.at(0, 0));
                for (idx i = 0; i < j; ++i)
                    a(r0 + i, c) -= T(w(i, 0));
                a(r - 1, c - 1) = sub;
            }
            const reflection<T> h = reflect_column(a, ort, r, c, hi);
            sub = h.beta;
            a(r, c) = 1.0;
            // Y(:, j) = tau·(A·v - Y·T(:, j)) over rows r0..hi.
            field::gemv('N', rows, hi - c, 1.0, a.at(r0, c + 1), a.at(r, c), 0.0, y.at(r0, j));
            field::gemv('C', hi - r + 1, j, 1.0, a.at(r, c0), a.at(r, c), 0.0, t.at(0, j));
            field::gemv('N', rows, j, -1.0, y.at(r0, 0), t.at(0, j), 1.0, y.at(r0, j));
            for (idx i = r0; i <= hi; ++i)
                y(i, j) *= h.tau;
            for (idx i = 0; i < j; ++i)
                t(i, j) *= -h.tau;
            field::trmv('U', 'N', 'N', j, t.at(0, 0), t.at(0, j));
            t(j, j) = h.tau;
        }
        const idx last = c0 + nb;
        a(last, last - 1) = sub;
        // Rows 0..c0 of Y: A(0..c0, c0+1..hi)·V·T.
        for (idx j = 0; j < nb; ++j)
            for (idx i = 0; i < r0; ++i)
                y(i, j) = a(i, c0 + 1 + j);
        field::trmm('R', 'L', 'N', 'U', r0, nb, a.at(r0, c0), y.at(0, 0), scratch);
        field::gemm('N', 'N', r0, nb, rows - nb, 1.0, a.at(0, last + 1), a.at(last + 1, c0), 1.0, y.at(0, 0));
        field::trmm('R', 'U', 'N', 'N', r0, nb, t.at(0, 0), y.at(0, 0), scratch);
        // Columns last..hi from the right.
        a(last, last - 1) = 1.0;
        field::gemm('N', 'C', hi + 1, hi + 1 - last, nb, -1.0, y.at(0, 0), a.at(last, c0), 1.0, a.at(0, last));
        a(last, last - 1) = sub;
        // Rows 0..c0 of the panel's own columns from the right.
        field::trmm('R', 'L', 'C', 'U', r0, nb - 1, a.at(r0, c0), y.at(0, 0), scratch);
        for (idx j = 0; j + 1 < nb; ++j)
            for (idx i = 0; i < r0; ++i)
                a(i, c0 + 1 + j) -= T(y(i, j));
        // Columns last..n-1 from the left: C := (I - V·Tᴴ·Vᴴ)·C, rows
        // r0..hi, through W = Vᴴ·C (nb by n - last).
        const idx cols = n - last;
        for (idx j = 0; j < cols; ++j)
            for (idx i = 0; i < nb; ++i)
                w(i, j) = a(r0 + i, last + j);
        field::trmm('L', 'L', 'C', 'U', nb, cols, a.at(r0, c0), w.at(0, 0), scratch);
        field::gemm('C', 'N', nb, cols, rows - nb, 1.0, a.at(last + 1, c0), a.at(last + 1, last), 1.0, w.at(0, 0));
        field::trmm('L', 'U', 'C', 'N', nb, cols, t.at(0, 0), w.at(0, 0), scratch);
        field::gemm('N', 'N', rows - nb, cols, nb, -1.0, a.at(last + 1, c0), w.at(0, 0), 1.0, a.at(last + 1, last));
        field::trmm('L', 'L', 'N', 'U', nb, cols, a.at(r0, c0), w.at(0, 0), scratch);
        for (idx j = 0; j < cols; ++j)
            for (idx i = 0; i < nb; ++i)
                a(r0 + i, last + j) -= T(w(i, j));
        // Back to the published form: u = x - beta·e1 below the subdiagonal.
        for (idx j = 0; j < nb; ++j)
            for (idx i = r0 + j + 1; i <= hi; ++i)
                a(i, c0 + j) = T(a(i, c0 + j)) * T(ort(r0 + j, 0));
    }
}

// The factor tau of I - tau·v·vᴴ from the published form of a reflection:
// u(r) in ort and the subdiagonal element beta (u = x - beta·e1, the
// reflection I - u·uᴴ/h with h = -Re(conj(beta)·u(r))).
double reflector_factor(double u, double beta)
{
    return -u / beta;
}

double reflector_factor(cplx u, cplx beta)
{
    // -|u|² / Re(conj(beta)·u), from the moduli and the unit phases so that
    // nothing overflows or underflows.
    const double mu = field::modulus(u), mb = field::modulus(beta);
    const cplx pu = u / mu, pb = beta / mb;
    return -(mu / mb) / (pu.re * pb.re + pu.im * pb.im);
}

// ortran's and cortran's product of the panels' reflections, last panel
// first: for each, Z := (I - V·T·Vᴴ)·Z over rows and columns c0+1..hi,
// with V and T rebuilt from the published form. work: V (n·nb), T (nb·nb),
// W (nb·n) and the complex triangular product's scratch.
template <class A, class M>
void accumulation_panels(const A& a, const dense<M>& ort, const dense<M>& z, idx lo, idx hi, double* work)
{
    using F = typename field::field_of<M>::type;
    using T = typename F::scalar;
    const idx nb = block_width(), stop = after_panels(lo, hi, F::is_complex);
    for (idx c0 = stop - nb; c0 >= lo; c0 -= nb) {
        const idx r0 = c0 + 1, rows = hi - c0;
        carver<M> from{work};
        const dense<M> v = from.take(rows, nb), t = from.take(nb, nb), w = from.take(nb, rows);
        double* scratch = from.at;
        double tau[hessenberg_block];
        for (idx k = 0; k < nb; ++k) {
            const idx c = c0 + k, r = r0 + k;
            for (idx i = 0; i < rows; ++i)
                v(i, k) = 0.0;
            tau[k] = 0.0;
            const T beta = a(r + 1, c + 1), u = ort(r, 0);
            if (beta == T(0.0) || u == T(0.0))
                continue;
            v(k, k) = 1.0;
            for (idx i = r + 1; i <= hi; ++i)
                v(i - r0, k) = T(a(i + 1, c + 1)) / u;
            tau[k] = reflector_factor(u, beta);
        }
        for (idx k = 0; k < nb; ++k) {
            field::gemv('C', rows - k, k, -tau[k], v.at(k, 0), v.at(k, k), 0.0, t.at(0, k));
            field::trmv('U', 'N', 'N', k, t.at(0, 0), t.at(0, k));
            t(k, k) = tau[k];
        }
        const M zs = z.at(r0, r0);
        field::gemm('C', 'N', nb, rows, rows, 1.0, v.at(0, 0), zs, 0.0, w.at(0, 0));
        field::trmm('L', 'U', 'N', 'N', nb, rows, t.at(0, 0), w.at(0, 0), scratch);
        field::gemm('N', 'N', rows, rows, nb, -1.0, v.at(0, 0), w.at(0, 0), 1.0, zs);
    }
}

bool blocked(const double* work, std::ptrdiff_t low, std::ptrdiff_t igh, bool complex = false)
{
    return work && igh - low > plain_tail(complex);
}

} // namespace

int elmhes(const int* nm, const int* n_p, const int* low_p, const int* igh_p, double* a_p, int* piv_p)
{
    const auto a = view(a_p, *nm);
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    std::ptrdiff_t first = low + 1;
    if (igh - low > plain_tail()) {
        // The panels' products are thin: one BLAS thread.
        const blas_single_thread serial;
        elmhes_panels({a_p, *nm}, piv_p, n, low - 1, igh - 1);
        first = after_panels(low - 1, igh - 1) + 2;
    }
    elmhes_steps(a, view(piv_p), n, first, igh);
    return 0;
}

int eltran(const int* nm, const int* n_p, const int* low_p, const int* igh_p, const double* a_p, const int* piv_p,
           double* z_p)
{
    const auto a = view(a_p, *nm);
    const auto z = view(z_p, *nm);
    const auto piv = view(piv_p);
    const std::ptrdiff_t low = *low_p, igh = *igh_p;
    set_identity(z, *n_p);
    for (std::ptrdiff_t mp = igh - 1; mp >= low + 1; --mp) {
        for (std::ptrdiff_t i = mp + 1; i <= igh; ++i)
            z(i, mp) = a(i, mp - 1);
        const std::ptrdiff_t i = piv(mp);
        if (i == mp)
            continue;
        for (std::ptrdiff_t j = mp; j <= igh; ++j) {
            z(mp, j) = z(i, j);
            z(i, j) = 0.0;
        }
        z(i, mp) = 1.0;
    }
    return 0;
}

int orthes(const int* nm, const int* n_p, const int* low_p, const int* igh_p, double* a_p, double* ort_p,
           double* work)
{
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    std::ptrdiff_t first = low + 1;
    if (blocked(work, low, igh)) {
        const blas_single_thread serial;
        householder_panels<matrix_view<double>>({view(a_p, *nm)}, {view(ort_p, *n_p)}, n, low - 1, igh - 1, work);
        first = after_panels(low - 1, igh - 1) + 2;
    }
    orthes_steps(view(a_p, *nm), view(ort_p), n, first, igh);
    return 0;
}

int ortran(const int* nm, const int* n_p, const int* low_p, const int* igh_p, const double* a_p, double* ort_p,
           double* z_p, double* work)
{
    const auto a = view(a_p, *nm);
    const auto z = view(z_p, *nm);
    const std::ptrdiff_t low = *low_p, igh = *igh_p;
    set_identity(z, *n_p);
    if (!blocked(work, low, igh)) {
        ortran_steps(a, view(ort_p), z, low + 1, igh - 1, igh);
        return 0;
    }
    const blas_single_thread serial;
    // The plain steps overwrite ort beyond their own entries, which the
    // panels (all before them) no longer read.
    ortran_steps(a, view(ort_p), z, after_panels(low - 1, igh - 1) + 2, igh - 1, igh);
    accumulation_panels(a, dense<matrix_view<double>>{view(ort_p, *n_p)}, dense<matrix_view<double>>{z}, low - 1,
                        igh - 1, work);
    return 0;
}

int corth(const int* nm, const int* n_p, const int* low_p, const int* igh_p, double* ar_p, double* ai_p,
          double* ortr_p, double* orti_p, double* work)
{
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    std::ptrdiff_t first = low + 1;
    if (blocked(work, low, igh, true)) {
        const blas_single_thread serial;
        householder_panels<split_view>({split_view{ar_p, ai_p, *nm}}, {split_view{ortr_p, orti_p, n}}, n, low - 1,
                                       igh - 1, work);
        first = after_panels(low - 1, igh - 1, true) + 2;
    }
    corth_steps(view(ar_p, *nm), view(ai_p, *nm), view(ortr_p), view(orti_p), n, first, igh);
    return 0;
}

int cortran(const int* nm, const int* n_p, const int* low_p, const int* igh_p, const double* ar_p,
            const double* ai_p, double* ortr_p, double* orti_p, double* zr_p, double* zi_p, double* work)
{
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    const field::const_split_view a{ar_p, ai_p, *nm};
    const split_view ort{ortr_p, orti_p, n}, z{zr_p, zi_p, *nm};
    for (std::ptrdiff_t j = 1; j <= n; ++j)
        for (std::ptrdiff_t i = 1; i <= n; ++i)
            z(i, j) = i == j ? 1.0 : 0.0;
    if (!blocked(work, low, igh, true)) {
        cortran_steps(a, ort, z, low + 1, igh - 1, igh);
        return 0;
    }
    const blas_single_thread serial;
    cortran_steps(a, ort, z, after_panels(low - 1, igh - 1, true) + 2, igh - 1, igh);
    accumulation_panels(a, dense<split_view>{ort}, dense<split_view>{z}, low - 1, igh - 1, work);
    return 0;
}
