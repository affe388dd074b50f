// Hermitian eigenproblems: reduction to a real symmetric tridiagonal matrix
// (htridi), its eigenvalues by the implicit QL method (imtql1, imtql2) or,
// should QL run out of steps, by bisection and inverse iteration
// (tridiagonal_bisection), and the back-transformation of the eigenvectors
// (htribk).
#include "engine/scalar_complex.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"
#include "platform/blas.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace {

// The reduction step of htridi for a matrix with no imaginary part: the
// complex step's real terms in the same order (A·u, p, q = p - hh·u and
// the rank-two update), the imaginary ones all zero and left out.
template <class Matrix, class Vector, class Tau>
void reduce_real(const Matrix& ar, const Vector& e, const Tau& tau, std::ptrdiff_t l, double h, const double* ur,
                 double* gr)
{
    // Column c's terms reach element j >= c only, so once columns k..k+3
    // have given theirs to elements k..k+3, those four sums down the
    // columns can run side by side with the four columns' terms to the
    // elements below: one pass over the four columns, every sum adding in
    // the same order as the column-at-a-time loops.
    std::ptrdiff_t k = 1;
    for (; k + 3 <= l; k += 4) {
        const double *c0 = &ar(1, k), *c1 = &ar(1, k + 1), *c2 = &ar(1, k + 2), *c3 = &ar(1, k + 3);
        const double u0 = ur[k - 1], u1 = ur[k], u2 = ur[k + 1], u3 = ur[k + 2];
        gr[k - 1] += c0[k - 1] * u0;
        gr[k] += c0[k] * u0;
        gr[k] += c1[k] * u1;
        gr[k + 1] += c0[k + 1] * u0;
        gr[k + 1] += c1[k + 1] * u1;
        gr[k + 1] += c2[k + 1] * u2;
        gr[k + 2] += c0[k + 2] * u0;
        gr[k + 2] += c1[k + 2] * u1;
        gr[k + 2] += c2[k + 2] * u2;
        gr[k + 2] += c3[k + 2] * u3;
        double s0 = gr[k - 1], s1 = gr[k], s2 = gr[k + 1], s3 = gr[k + 2];
        s0 += c0[k] * ur[k];
        s0 += c0[k + 1] * ur[k + 1];
        s1 += c1[k + 1] * ur[k + 1];
        s0 += c0[k + 2] * ur[k + 2];
        s1 += c1[k + 2] * ur[k + 2];
        s2 += c2[k + 2] * ur[k + 2];
        for (std::ptrdiff_t m = k + 4; m <= l; ++m) {
            const double x0 = c0[m - 1], x1 = c1[m - 1], x2 = c2[m - 1], x3 = c3[m - 1], um = ur[m - 1];
            double g = gr[m - 1];
            g += x0 * u0;
            g += x1 * u1;
            g += x2 * u2;
            g += x3 * u3;
            gr[m - 1] = g;
            s0 += x0 * um;
            s1 += x1 * um;
            s2 += x2 * um;
            s3 += x3 * um;
        }
        gr[k - 1] = s0;
        gr[k] = s1;
        gr[k + 1] = s2;
        gr[k + 2] = s3;
    }
    for (; k <= l; ++k) {
        const double* ck = &ar(1, k);
        const double uk = ur[k - 1];
        for (std::ptrdiff_t j = k; j <= l; ++j)
            gr[j - 1] += ck[j - 1] * uk;
        double sr = gr[k - 1];
        for (std::ptrdiff_t m = k + 1; m <= l; ++m)
            sr += ck[m - 1] * ur[m - 1];
        gr[k - 1] = sr;
    }
    double f = 0.0;
    for (std::ptrdiff_t j = 1; j <= l; ++j) {
        e(j) = gr[j - 1] / h;
        tau(2, j) = 0.0;
        f += e(j) * ur[j - 1];
    }
    const double hh = f / (h + h);
    for (std::ptrdiff_t j = 1; j <= l; ++j) {
        const double qr = e(j) - hh * ur[j - 1];
        e(j) = qr;
        gr[j - 1] = qr;
    }
    for (std::ptrdiff_t k = 1; k <= l; ++k) {
        double* ck = &ar(1, k);
        const double ek = e(k), uk = ur[k - 1];
        for (std::ptrdiff_t j = k; j <= l; ++j)
            ck[j - 1] = ck[j - 1] - ur[j - 1] * ek - gr[j - 1] * uk;
    }
}

// A row whose part left of the diagonal sums to less than this is set to
// zero. The callers scale the matrix to a largest entry of at least
// 2^-450, so what is dropped is far below its rounding.
constexpr double negligible_row = 0x1p-970;

} // namespace

int htridi(const int* nm, const int* n_p, double* ar_p, double* ai_p, double* d_p, double* e_p, double* e2_p,
           double* tau_p, double* work)
{
    const auto ar = view(ar_p, *nm);
    const auto ai = view(ai_p, *nm);
    const auto tau = view(tau_p, 2);
    const auto d = view(d_p);
    const auto e = view(e_p);
    const auto e2 = view(e2_p);
    const std::ptrdiff_t n = *n_p;

    tau(1, n) = 1.0;
    tau(2, n) = 0.0;
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        d(i) = ar(i, i);
    // The Householder vector and A·u of each step, contiguous (real parts,
    // then imaginary parts, of each).
    double* const u = work;
    double* const g_work = work + 2 * n;
    // With no imaginary part in the lower triangle every imaginary term of
    // the reduction is a zero, and adding a zero changes no sum: the real
    // terms alone give the same values at a quarter of the work.
    bool real_entries = true;
    for (std::ptrdiff_t k = 1; k <= n && real_entries; ++k)
        for (std::ptrdiff_t j = k; j <= n; ++j)
            if (ai(j, k) != 0.0) {
                real_entries = false;
                break;
            }

    for (std::ptrdiff_t i = n; i >= 1; --i) {
        const std::ptrdiff_t l = i - 1;
        double h = 0.0, scale = 0.0;
        for (std::ptrdiff_t k = 1; k <= l; ++k)
            scale += std::fabs(ar(i, k)) + std::fabs(ai(i, k));
        if (scale < negligible_row) {
            // Taken as reduced: a reflection made of subnormal numbers
            // could not be carried back (htribk divides by its norm
            // squared, which underflows).
            for (std::ptrdiff_t k = 1; k <= l; ++k)
                ar(i, k) = ai(i, k) = 0.0;
            scale = 0.0;
        }
        if (l < 1 || scale == 0.0) {
            if (l >= 1) {
                tau(1, l) = 1.0;
                tau(2, l) = 0.0;
            }
            e(i) = 0.0;
            e2(i) = 0.0;
        } else {
            for (std::ptrdiff_t k = 1; k <= l; ++k) {
                ar(i, k) /= scale;
                ai(i, k) /= scale;
                h += ar(i, k) * ar(i, k) + ai(i, k) * ai(i, k);
            }
            e2(i) = scale * scale * h;
            double g = std::sqrt(h);
            e(i) = scale * g;
            double f = complex_abs(ar(i, l), ai(i, l));
            double si;
            bool reduce = true;
            if (f != 0.0) {
                tau(1, l) = (ai(i, l) * tau(2, i) - ar(i, l) * tau(1, i)) / f;
                si = (ar(i, l) * tau(2, i) + ai(i, l) * tau(1, i)) / f;
                h += f * g;
                g = 1.0 + g / f;
                ar(i, l) *= g;
                ai(i, l) *= g;
                reduce = l != 1;
            } else {
                tau(1, l) = -tau(1, i);
                si = tau(2, i);
                ar(i, l) = g;
            }
            if (reduce) {
                // Row i (the Householder vector u) is copied to contiguous
                // storage, and A is walked by columns: column-major storage
                // keeps every inner loop contiguous. Each sum still adds its
                // terms in the order of the row-wise formulation, so the
                // results are those of the row-by-row loops.
                double* ur = u;
                double* ui = u + n;
                for (std::ptrdiff_t k = 1; k <= l; ++k) {
                    ur[k - 1] = ar(i, k);
                    ui[k - 1] = ai(i, k);
                }
                double* gr = g_work;
                double* gi = g_work + n;
                for (std::ptrdiff_t j = 0; j < l; ++j)
                    gr[j] = gi[j] = 0.0;
                if (real_entries)
                    reduce_real(ar, e, tau, l, h, ur, gr);
                else {
                    // Element j of A·u: the terms of row j of the lower
                    // triangle (k <= j), then those of column j below it.
                    for (std::ptrdiff_t k = 1; k <= l; ++k) {
                        const double* ck_r = &ar(1, k);
                        const double* ck_i = &ai(1, k);
                        const double uk_r = ur[k - 1], uk_i = ui[k - 1];
                        for (std::ptrdiff_t j = k; j <= l; ++j) {
                            gr[j - 1] += ck_r[j - 1] * uk_r + ck_i[j - 1] * uk_i;
                            gi[j - 1] += -ck_r[j - 1] * uk_i + ck_i[j - 1] * uk_r;
                        }
                        double sr = gr[k - 1], si_k = gi[k - 1];
                        for (std::ptrdiff_t m = k + 1; m <= l; ++m) {
                            sr += ck_r[m - 1] * ur[m - 1] - ck_i[m - 1] * ui[m - 1];
                            si_k -= ck_r[m - 1] * ui[m - 1] + ck_i[m - 1] * ur[m - 1];
                        }
                        gr[k - 1] = sr;
                        gi[k - 1] = si_k;
                    }
                    f = 0.0;
                    for (std::ptrdiff_t j = 1; j <= l; ++j) {
                        // Element j of p.
                        e(j) = gr[j - 1] / h;
                        tau(2, j) = gi[j - 1] / h;
                        f += e(j) * ar(i, j) - tau(2, j) * ai(i, j);
                    }
                    const double hh = f / (h + h);
                    // q = p - hh·u, kept in e and -tau(2, ·) as before, and in
                    // contiguous copies for the column walk.
                    for (std::ptrdiff_t j = 1; j <= l; ++j) {
                        const double qr = e(j) - hh * ur[j - 1];
                        e(j) = qr;
                        const double qi = tau(2, j) - hh * -ui[j - 1];
                        tau(2, j) = -qi;
                        gr[j - 1] = qr;
                        gi[j - 1] = qi;
                    }
                    // The reduced matrix, column by column.
                    for (std::ptrdiff_t k = 1; k <= l; ++k) {
                        double* ck_r = &ar(1, k);
                        double* ck_i = &ai(1, k);
                        const double ek = e(k), tk = tau(2, k), uk_r = ur[k - 1], uk_i = ui[k - 1];
                        for (std::ptrdiff_t j = k; j <= l; ++j) {
                            const double fr = ur[j - 1], fi = -ui[j - 1], qr = gr[j - 1], qi = gi[j - 1];
                            ck_r[j - 1] = ck_r[j - 1] - fr * ek - qr * uk_r + fi * tk + qi * uk_i;
                            ck_i[j - 1] = ck_i[j - 1] - fr * tk - qr * uk_i - fi * ek - qi * uk_r;
                        }
                    }
                }
            }
            for (std::ptrdiff_t k = 1; k <= l; ++k) {
                ar(i, k) *= scale;
                ai(i, k) *= scale;
            }
            tau(2, l) = -si;
        }
        const double hh = d(i);
        d(i) = ar(i, i);
        ar(i, i) = hh;
        ai(i, i) = scale * std::sqrt(h);
    }
    return 0;
}

int htribk(const int* nm, const int* n_p, const double* ar_p, const double* ai_p, const double* tau_p, const int* m_p,
           double* zr_p, double* zi_p, double* work)
{
    const auto ar = view(ar_p, *nm);
    const auto ai = view(ai_p, *nm);
    const auto tau = view(tau_p, 2);
    const auto zr = view(zr_p, *nm);
    const auto zi = view(zi_p, *nm);
    const std::ptrdiff_t n = *n_p, m = *m_p;
    if (m == 0)
        return 0;
    // Eigenvectors of the real tridiagonal matrix become those of the
    // Hermitian tridiagonal one ...
    for (std::ptrdiff_t j = 1; j <= m; ++j)
        for (std::ptrdiff_t k = 1; k <= n; ++k) {
            zi(k, j) = -zr(k, j) * tau(2, k);
            zr(k, j) *= tau(1, k);
        }
    // ... and the Householder reflections are applied. Each reflection's
    // row of A is read once into contiguous scratch instead of once per
    // column of Z. With no imaginary part anywhere in the reduction (a
    // real symmetric matrix) every imaginary term is a zero, and the real
    // terms alone give the same values.
    bool real_transform = true;
    for (std::ptrdiff_t k = 1; k <= n && real_transform; ++k) {
        real_transform = tau(2, k) == 0.0;
        for (std::ptrdiff_t j = 1; j < k && real_transform; ++j)
            real_transform = ai(k, j) == 0.0;
    }
    double* vr = work;
    double* vi = work + n;
    for (std::ptrdiff_t i = 2; i <= n; ++i) {
        const std::ptrdiff_t l = i - 1;
        const double h = ai(i, i);
        if (h == 0.0)
            continue;
        for (std::ptrdiff_t k = 1; k <= l; ++k) {
            vr[k - 1] = ar(i, k);
            vi[k - 1] = ai(i, k);
        }
        for (std::ptrdiff_t j = 1; j <= m; ++j) {
            double* cr = &zr(1, j);
            double* ci = &zi(1, j);
            if (real_transform) {
                double s = 0.0;
                for (std::ptrdiff_t k = 0; k < l; ++k)
                    s += vr[k] * cr[k];
                s = (s / h) / h;
                for (std::ptrdiff_t k = 0; k < l; ++k)
                    cr[k] += -s * vr[k];
                continue;
            }
            double s = 0.0, si = 0.0;
            for (std::ptrdiff_t k = 0; k < l; ++k) {
                s += vr[k] * cr[k] - vi[k] * ci[k];
                si += vr[k] * ci[k] + vi[k] * cr[k];
            }
            // Two divisions keep s/h² from underflowing.
            s = (s / h) / h;
            si = (si / h) / h;
            for (std::ptrdiff_t k = 0; k < l; ++k) {
                cr[k] += -s * vr[k] - si * vi[k];
                ci[k] += -si * vr[k] + s * vi[k];
            }
        }
    }
    return 0;
}

namespace {

inline double sign_of(double magnitude, double s) noexcept
{
    return s >= 0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// An off-diagonal element below the square root of the underflow bound is
// dropped whatever its neighbours, as LAPACK's tridiagonal QL does. The
// reduction of an all-ones matrix leaves a chain of subnormal elements
// beside equally small diagonal ones, on which a QL step, all of its
// products underflowing, makes no progress; the callers scale the matrix
// to a largest entry of at least 2^-450, far above this.
constexpr double negligible_coupling = 0x1p-511;
// Half the spacing of the doubles at 1, squared, and the smallest normal
// double: the split test's relative and absolute terms.
constexpr double half_ulp = 0x1p-53;
constexpr double smallest_normal = 0x1p-1022;
// A block whose largest entry lies outside these is scaled by a power of
// two to lie inside before it is iterated on: the squares of the split
// test and the rotations' products then neither overflow nor underflow.
constexpr double block_ceiling = 0x1p+510;
constexpr double block_floor = 0x1p-405;

// Whether the coupling e between neighbours a and b is negligible beside
// them: below half an ulp of the geometric mean of |a| and |b| (so dropping
// it moves neither eigenvalue of a graded pair by more than rounding). On
// entries of any size: no product is formed.
inline bool negligible_beside(double e, double a, double b) noexcept
{
    return std::fabs(e) <= std::sqrt(std::fabs(a)) * std::sqrt(std::fabs(b)) * half_ulp;
}

// The same within a block scaled into the safe range, where a coupling
// below the fixed floor is dropped whatever its neighbours.
inline bool negligible(double e, double a, double b) noexcept
{
    const double t = std::fabs(e);
    return t <= negligible_coupling || t * t <= (half_ulp * half_ulp * std::fabs(a)) * std::fabs(b) + smallest_normal;
}

// One unreduced block lo..hi of the tridiagonal matrix (d, e with e(i)
// coupling i and i+1), iterated on until every diagonal element in it is
// an eigenvalue. Column i of the block is column col(i) of z: a block
// iterated upside down names its columns in reverse. `used` counts the QL
// steps of the whole matrix against its limit; returns 0 or the index
// (within the block's order) of the eigenvalue the limit stopped at.
template <class Column>
std::ptrdiff_t ql_block(std::ptrdiff_t n, const vector_view<double>& d, const vector_view<double>& e, std::ptrdiff_t lo,
                        std::ptrdiff_t hi, const matrix_view<double>* z, Column col, long& used, long limit)
{
    for (std::ptrdiff_t l = lo; l <= hi; ++l) {
        for (;;) {
            std::ptrdiff_t m = l;
            for (; m < hi; ++m)
                if (negligible(e(m), d(m), d(m + 1))) {
                    e(m) = 0.0;
                    break;
                }
            if (m == l)
                break;
            if (used >= limit)
                return l;
            ++used;
            double p = d(l);
            // The shift: the eigenvalue of the leading 2-by-2 nearer d(l).
            double g = (d(l + 1) - p) / (2.0 * e(l));
            double r = complex_abs(g, 1.0);
            g = d(m) - p + e(l) / (g + sign_of(r, g));
            double s = 1.0, c = 1.0;
            p = 0.0;
            bool underflow = false;
            for (std::ptrdiff_t i = m - 1; i >= l; --i) {
                const double f = s * e(i);
                const double b = c * e(i);
                r = complex_abs(f, g);
                e(i + 1) = r;
                if (r == 0.0) {
                    // Recover from underflow.
                    d(i + 1) -= p;
                    e(m) = 0.0;
                    underflow = true;
                    break;
                }
                const unit_vector3 sc = unit_direction(f, g, 0.0, r);
                s = sc.a;
                c = sc.b;
                g = d(i + 1) - p;
                r = (d(i) - g) * s + 2.0 * c * b;
                p = s * r;
                d(i + 1) = g + p;
                g = c * r - b;
                if (z) {
                    double* zi = z->column(col(i));
                    double* zi1 = z->column(col(i + 1));
                    for (std::ptrdiff_t k = 0; k < n; ++k) {
                        const double t = zi1[k];
                        zi1[k] = s * zi[k] + c * t;
                        zi[k] = c * zi[k] - s * t;
                    }
                }
            }
            if (underflow)
                continue;
            d(l) -= p;
            e(l) = g;
            e(m) = 0.0;
        }
    }
    return 0;
}

void reverse_block(const vector_view<double>& d, const vector_view<double>& e, std::ptrdiff_t lo, std::ptrdiff_t hi)
{
    std::reverse(&d(lo), &d(hi) + 1);
    std::reverse(&e(lo), &e(hi - 1) + 1);
}

// The implicit QL iteration, with LAPACK's safeguards: the matrix is split
// into unreduced blocks at negligible couplings; each block is scaled into
// a safe range and iterated on from its smaller end (QL converges at the
// top; a block whose top is the larger end is turned upside down, so a
// graded block keeps its small eigenvalues' digits); and the limit of 30
// steps is one per eigenvalue on average over the whole matrix, not 30 for
// each: a cluster of rounding-level eigenvalues can take more than 30 for
// its first one and few for the rest. With z, the rotations are applied to
// its columns. Returns 0 or the index of an eigenvalue that was not found.
int implicit_ql(std::ptrdiff_t n, double* d_p, double* e_p, const matrix_view<double>* z)
{
    const auto d = view(d_p);
    const auto e = view(e_p);
    if (n == 1)
        return 0;
    for (std::ptrdiff_t i = 2; i <= n; ++i)
        e(i - 1) = e(i);
    e(n) = 0.0;
    const long limit = 30L * long(n) * eigen_budget_scale;
    long used = 0;

    for (std::ptrdiff_t lo = 1; lo <= n;) {
        std::ptrdiff_t hi = lo;
        for (; hi < n; ++hi)
            if (e(hi) == 0.0 || negligible_beside(e(hi), d(hi), d(hi + 1))) {
                e(hi) = 0.0;
                break;
            }
        if (hi == lo) {
            ++lo;
            continue;
        }
        double big = 0.0;
        for (std::ptrdiff_t i = lo; i <= hi; ++i)
            big = std::max({big, std::fabs(d(i)), i < hi ? std::fabs(e(i)) : 0.0});
        int shift = 0;
        if (big > block_ceiling || big < block_floor) {
            int exponent;
            std::frexp(big, &exponent);
            shift = -exponent;
            for (std::ptrdiff_t i = lo; i <= hi; ++i) {
                d(i) = std::ldexp(d(i), shift);
                e(i) = std::ldexp(e(i), shift);
            }
        }
        const bool upside_down = std::fabs(d(hi)) < std::fabs(d(lo));
        std::ptrdiff_t stopped;
        if (upside_down) {
            reverse_block(d, e, lo, hi);
            stopped = ql_block(n, d, e, lo, hi, z, [lo, hi](std::ptrdiff_t i) { return lo + hi - i; }, used, limit);
            reverse_block(d, e, lo, hi);
            if (stopped)
                stopped = lo + hi - stopped;
        } else
            stopped = ql_block(n, d, e, lo, hi, z, [](std::ptrdiff_t i) { return i; }, used, limit);
        if (shift != 0)
            for (std::ptrdiff_t i = lo; i <= hi; ++i) {
                d(i) = std::ldexp(d(i), -shift);
                e(i) = std::ldexp(e(i), -shift);
            }
        if (stopped)
            return int(stopped);
        lo = hi + 1;
    }
    if (!z)
        std::sort(&d(1), &d(n) + 1);
    return 0;
}

// ---------------------------------------------------------------------------
// Bisection and inverse iteration: slower than QL, but with no iteration
// that can fail to converge, so the engine's answer when QL runs out.
// ---------------------------------------------------------------------------

constexpr double ulp = 0x1p-52;

// The number of eigenvalues of the block (d, e: diagonal, couplings; order
// m, 0-based) less than x, by the signs of the LDLᵀ pivots of T - xI; a
// pivot smaller than pivmin is taken as -pivmin.
std::ptrdiff_t count_below(const double* d, const double* e, std::ptrdiff_t m, double x, double pivmin) noexcept
{
    std::ptrdiff_t count = 0;
    double q = d[0] - x;
    if (std::fabs(q) < pivmin)
        q = -pivmin;
    count += q < 0;
    for (std::ptrdiff_t i = 1; i < m; ++i) {
        q = d[i] - x - (e[i - 1] / q) * e[i - 1];
        if (std::fabs(q) < pivmin)
            q = -pivmin;
        count += q < 0;
    }
    return count;
}

// The eigenvalues of an unreduced block, ascending, each to within
// ulp·|T|₁ (and a relative ulp): what QL gives.
void bisect_block(const double* d, const double* e, std::ptrdiff_t m, double norm, double pivmin, double* w)
{
    double low = d[0], high = d[0];
    for (std::ptrdiff_t i = 0; i < m; ++i) {
        const double r = (i > 0 ? std::fabs(e[i - 1]) : 0.0) + (i + 1 < m ? std::fabs(e[i]) : 0.0);
        low = std::min(low, d[i] - r);
        high = std::max(high, d[i] + r);
    }
    const double pad = 2.0 * ulp * norm * double(m) + 2.0 * pivmin;
    low -= pad;
    high += pad;
    for (std::ptrdiff_t k = 0; k < m; ++k) {
        // The (k+1)-th smallest lies in (a, b]: fewer than k+1 below a, at
        // least k+1 below b.
        double a = k > 0 ? std::max(low, w[k - 1] - pad) : low, b = high;
        if (a > low && count_below(d, e, m, a, pivmin) > k)
            a = low;
        for (;;) {
            const double tol = std::max({ulp * norm, 2.0 * ulp * std::max(std::fabs(a), std::fabs(b)), pivmin});
            const double mid = 0.5 * (a + b);
            if (b - a <= tol || mid <= a || mid >= b)
                break;
            if (count_below(d, e, m, mid, pivmin) > k)
                b = mid;
            else
                a = mid;
        }
        w[k] = 0.5 * (a + b);
    }
}

// T - λI of a block factored by Gaussian elimination with row exchanges:
// u0, u1, u2 the diagonals of U, l the multipliers, swapped the exchanges.
struct tridiagonal_lu {
    std::vector<double> u0, u1, u2, l;
    std::vector<char> swapped;
};

void factor_shifted(const double* d, const double* e, std::ptrdiff_t m, double lambda, tridiagonal_lu& f)
{
    f.u0.assign(m, 0.0);
    f.u1.assign(m, 0.0);
    f.u2.assign(m, 0.0);
    f.l.assign(m, 0.0);
    f.swapped.assign(m, 0);
    // The row left over from the last step: r0, r1 in columns i, i+1.
    double r0 = d[0] - lambda, r1 = m > 1 ? e[0] : 0.0;
    for (std::ptrdiff_t i = 0; i + 1 < m; ++i) {
        const double n0 = e[i], n1 = d[i + 1] - lambda, n2 = i + 2 < m ? e[i + 1] : 0.0;
        if (std::fabs(r0) >= std::fabs(n0)) {
            const double l = r0 != 0.0 ? n0 / r0 : 0.0;
            f.u0[i] = r0;
            f.u1[i] = r1;
            f.l[i] = l;
            r0 = n1 - l * r1;
            r1 = n2;
        } else {
            const double l = r0 / n0;
            f.u0[i] = n0;
            f.u1[i] = n1;
            f.u2[i] = n2;
            f.l[i] = l;
            f.swapped[i] = 1;
            r0 = r1 - l * n1;
            r1 = -l * n2;
        }
    }
    f.u0[m - 1] = r0;
}

// x := (T - λI)⁻¹·x from the factors, a pivot below tiny taken as tiny;
// the partial solution is rescaled where it would overflow (inverse
// iteration wants a direction, not a size).
void solve_shifted(const tridiagonal_lu& f, std::ptrdiff_t m, double tiny, double* x)
{
    for (std::ptrdiff_t i = 0; i + 1 < m; ++i) {
        if (f.swapped[i])
            std::swap(x[i], x[i + 1]);
        x[i + 1] -= f.l[i] * x[i];
    }
    constexpr double huge = 0x1p+600;
    for (std::ptrdiff_t i = m - 1; i >= 0; --i) {
        double p = f.u0[i];
        if (std::fabs(p) < tiny)
            p = p < 0 ? -tiny : tiny;
        double r = x[i];
        if (i + 1 < m)
            r -= f.u1[i] * x[i + 1];
        if (i + 2 < m)
            r -= f.u2[i] * x[i + 2];
        x[i] = r / p;
        if (std::fabs(x[i]) > huge) {
            const double s = 1.0 / std::fabs(x[i]);
            for (std::ptrdiff_t k = 0; k < m; ++k)
                x[k] *= s;
        }
    }
}

// Eigenvectors of an unreduced block by inverse iteration from its
// eigenvalues w (ascending): a random start, at most five solves until the
// solution has grown enough and two more after, each vector made
// orthogonal to those of nearby eigenvalues (the cluster it belongs to:
// its columns of z adjacent, col(k) = lo + k),
// and eigenvalues equal to rounding pulled apart so each solve has its own
// shift. Writes rows lo.. of the columns col(k) of z.
template <class Column>
void inverse_iteration(const double* d, const double* e, std::ptrdiff_t m, const double* w, double norm,
                       const matrix_view<double>& z, std::ptrdiff_t lo, Column col)
{
    const double cluster_gap = 1e-3 * norm, tiny = ulp * norm;
    const double enough = std::sqrt(0.1 / double(m));
    std::vector<double> x(m), coefficients(m);
    tridiagonal_lu f;
    const blas_single_thread serial;
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    std::ptrdiff_t first = 0;
    double previous = 0.0;
    for (std::ptrdiff_t k = 0; k < m; ++k) {
        double lambda = w[k];
        if (k > 0) {
            if (lambda - w[k - 1] > cluster_gap)
                first = k;
            const double apart = 10.0 * ulp * std::max(std::fabs(lambda), tiny);
            if (lambda - previous < apart)
                lambda = previous + apart;
        }
        previous = lambda;
        factor_shifted(d, e, m, lambda, f);
        for (double& v : x) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            v = double(std::int64_t(state >> 11) - (std::int64_t(1) << 52)) * 0x1p-52;
        }
        // At most five solves, ending with the third after the solution
        // first grew enough.
        int grown = 0;
        for (int pass = 0; pass < 5 && grown < 3; ++pass) {
            // Start small, so the growth of the solution measures how near
            // λ is to an eigenvalue.
            double sum = 0.0;
            for (double v : x)
                sum += std::fabs(v);
            const double s = double(m) * norm * std::max(ulp, std::fabs(f.u0[m - 1])) / sum;
            for (double& v : x)
                v *= s;
            solve_shifted(f, m, tiny, x.data());
            if (k > first) {
                // x := x - V·(Vᵀx) twice, V the cluster's vectors so far
                // (adjacent columns): as orthogonal as one at a time, at
                // the speed of two matrix-vector products.
                const int rows = int(m), cols = int(k - first), ld = int(z.ld), one_step = 1;
                const double one = 1.0, minus_one = -1.0, zero = 0.0;
                const double* v = z.column(col(first)) + (lo - 1);
                for (int twice = 0; twice < 2; ++twice) {
                    dgemv_("T", &rows, &cols, &one, v, &ld, x.data(), &one_step, &zero, coefficients.data(), &one_step, 1);
                    dgemv_("N", &rows, &cols, &minus_one, v, &ld, coefficients.data(), &one_step, &one, x.data(),
                           &one_step, 1);
                }
            }
            double largest = 0.0;
            for (double v : x)
                largest = std::max(largest, std::fabs(v));
            if (largest >= enough || grown > 0)
                ++grown;
        }
        double largest = 0.0;
        std::ptrdiff_t at = 0;
        for (std::ptrdiff_t i = 0; i < m; ++i) {
            if (std::fabs(x[i]) > largest) {
                largest = std::fabs(x[i]);
                at = i;
            }
        }
        // Normalised with the same scaling as the sum of squares, so a
        // vector of huge or tiny entries comes out as a unit one.
        double* out = z.column(col(k)) + (lo - 1);
        const double scale = largest == 0.0 ? 1.0 : 1.0 / largest;
        double norm2 = 0.0;
        for (std::ptrdiff_t i = 0; i < m; ++i)
            norm2 += (x[i] * scale) * (x[i] * scale);
        norm2 = std::sqrt(norm2);
        const double sign = x[at] < 0 ? -1.0 : 1.0;
        for (std::ptrdiff_t i = 0; i < m; ++i)
            out[i] = largest == 0.0 ? double(i == k) : sign * (x[i] * scale) / norm2;
    }
}

} // namespace

int imtql1(const int* n, double* d, double* e, int* ierr)
{
    *ierr = implicit_ql(*n, d, e, nullptr);
    return 0;
}

int imtql2(const int* nm, const int* n_p, double* d_p, double* e, double* z_p, int* ierr)
{
    const auto z = view(z_p, *nm);
    const std::ptrdiff_t n = *n_p;
    *ierr = implicit_ql(n, d_p, e, &z);
    if (*ierr != 0)
        return 0;
    // Selection sort: only a strictly smaller value displaces the current
    // one, so equal eigenvalues keep their order.
    const auto d = view(d_p);
    for (std::ptrdiff_t i = 1; i < n; ++i) {
        std::ptrdiff_t k = i;
        double p = d(i);
        for (std::ptrdiff_t j = i + 1; j <= n; ++j)
            if (d(j) < p) {
                k = j;
                p = d(j);
            }
        if (k == i)
            continue;
        d(k) = d(i);
        d(i) = p;
        double* zi = z.column(i);
        double* zk = z.column(k);
        for (std::ptrdiff_t r = 0; r < n; ++r) {
            const double t = zi[r];
            zi[r] = zk[r];
            zk[r] = t;
        }
    }
    return 0;
}

int tridiagonal_bisection(const int* nm, const int* n_p, double* d_p, const double* e_p, double* z_p)
{
    const std::ptrdiff_t n = *n_p;
    const auto d = view(d_p);
    const auto e = view(e_p);
    if (n <= 0)
        return 0;
    // Bisection of an interval reaching Inf, or judged by NaN counts, never
    // narrows: a matrix with an entry that is not finite has no eigenvalue
    // to find, and every value and vector is NaN.
    bool finite = true;
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        finite = finite && std::isfinite(d(i)) && (i == 1 || std::isfinite(e(i)));
    if (!finite) {
        for (std::ptrdiff_t i = 1; i <= n; ++i)
            d(i) = std::numeric_limits<double>::quiet_NaN();
        if (z_p) {
            const auto z = view(z_p, *nm);
            for (std::ptrdiff_t j = 1; j <= n; ++j)
                for (std::ptrdiff_t i = 1; i <= n; ++i)
                    z(i, j) = std::numeric_limits<double>::quiet_NaN();
        }
        return 0;
    }
    // The couplings, c(i) between i and i+1.
    const std::size_t un = std::size_t(n);
    std::vector<double> c(un, 0.0), w(un);
    double norm = 0.0, largest_coupling = 0.0;
    for (std::ptrdiff_t i = 1; i < n; ++i) {
        c[i - 1] = e(i + 1);
        largest_coupling = std::max(largest_coupling, std::fabs(c[i - 1]));
    }
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        norm = std::max(norm, std::fabs(d(i)) + (i > 1 ? std::fabs(c[i - 2]) : 0.0) + (i < n ? std::fabs(c[i - 1]) : 0.0));
    // Entries and eigenvalues scaled by a power of two (exactly) to a norm
    // near 1, so the squares of the Sturm counts and the split test stay in
    // range whatever the matrix's size.
    int exponent = 0;
    if (norm > 0.0 && std::isfinite(norm))
        std::frexp(norm, &exponent);
    std::vector<double> diagonal(un);
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        diagonal[i - 1] = std::ldexp(d(i), -exponent);
    for (double& x : c)
        x = std::ldexp(x, -exponent);
    norm = std::ldexp(norm, -exponent);
    largest_coupling = std::ldexp(largest_coupling, -exponent);
    const double pivmin = smallest_normal * std::max(1.0, largest_coupling * largest_coupling);
    const auto z = view(z_p, z_p ? *nm : 1);
    if (z_p)
        for (std::ptrdiff_t j = 1; j <= n; ++j)
            for (std::ptrdiff_t i = 1; i <= n; ++i)
                z(i, j) = 0.0;
    for (std::ptrdiff_t lo = 1; lo <= n;) {
        std::ptrdiff_t hi = lo;
        while (hi < n && !(c[hi - 1] == 0.0 || negligible(c[hi - 1], diagonal[hi - 1], diagonal[hi])))
            ++hi;
        const std::ptrdiff_t m = hi - lo + 1;
        bisect_block(&diagonal[lo - 1], &c[lo - 1], m, norm, pivmin, &w[lo - 1]);
        if (z_p) {
            if (m == 1)
                z(lo, lo) = 1.0;
            else
                inverse_iteration(&diagonal[lo - 1], &c[lo - 1], m, &w[lo - 1], norm, z, lo,
                                  [lo](std::ptrdiff_t k) { return lo + k; });
        }
        lo = hi + 1;
    }
    // Ascending over the whole matrix, the vectors following their values.
    std::vector<std::ptrdiff_t> order(un);
    for (std::ptrdiff_t k = 0; k < n; ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::ptrdiff_t a, std::ptrdiff_t b) { return w[a] < w[b]; });
    for (std::ptrdiff_t k = 0; k < n; ++k)
        d(k + 1) = std::ldexp(w[order[k]], exponent);
    if (z_p) {
        std::vector<double> copy(un * un);
        for (std::ptrdiff_t j = 0; j < n; ++j)
            std::copy(z.column(j + 1), z.column(j + 1) + n, copy.begin() + j * n);
        for (std::ptrdiff_t k = 0; k < n; ++k)
            std::copy(copy.begin() + order[k] * n, copy.begin() + (order[k] + 1) * n, z.column(k + 1));
    }
    return 0;
}
