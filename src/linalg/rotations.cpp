// The Hermitian test that the solvers and the eigenvalue engine branch on,
// and the 2-by-2 plane rotations givens and planerot.
#include "engine/scalar_real.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/index.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>

namespace {

// max_ignore_nan for a running maximum that is never NaN itself: a NaN
// candidate is not larger and so is passed by, without a branch.
inline double larger_ignoring_nan(double running, double candidate) noexcept
{
    return candidate > running ? candidate : running;
}

// The running maximum of the gaps, where a NaN candidate wins and then
// stays: A(r,c) = NaN is never the conjugate of A(c,r).
inline double larger_keeping_nan(double running, double candidate) noexcept
{
    return candidate > running || candidate != candidate ? candidate : running;
}

// The largest |A(r,c)| over all elements, ignoring NaN as the language's
// max does.
double largest_magnitude(const double* re, const double* im, std::ptrdiff_t count)
{
    double big = 0;
    if (im)
        for (std::ptrdiff_t k = 0; k < count; ++k)
            big = larger_ignoring_nan(big, std::hypot(re[k], im[k]));
    else
        for (std::ptrdiff_t k = 0; k < count; ++k)
            big = larger_ignoring_nan(big, std::fabs(re[k]));
    return big;
}

// The largest |A(r,c) - conj(A(c,r))|, or NaN when an entry off a real
// diagonal is NaN. The gap of (r,c) equals that of (c,r), so one triangle
// and the diagonal serve; a real diagonal is checked by the caller. The
// triangle is walked in square tiles, so the transposed reads stay in
// cache. The walk stops once the gap reaches stop: no tolerance is that
// large.
template <bool Complex>
double largest_gap(const double* re, const double* im, int n, double stop)
{
    constexpr int tile = 32;
    double gap = 0;
    for (int c0 = 0; c0 < n; c0 += tile) {
        const int c1 = std::min(n, c0 + tile);
        for (int r0 = c0; r0 < n; r0 += tile) {
            const int r1 = std::min(n, r0 + tile);
            for (std::ptrdiff_t c = c0; c < c1; ++c) {
                const std::ptrdiff_t first = r0 == c0 ? (Complex ? c : c + 1) : r0;
                for (std::ptrdiff_t r = first; r < r1; ++r) {
                    const std::ptrdiff_t rc = r + c * n, cr = c + r * n;
                    // Equal entries have no gap, infinite ones included.
                    if constexpr (Complex) {
                        if (re[rc] != re[cr] || im[rc] != -im[cr])
                            gap = larger_keeping_nan(gap, std::hypot(re[rc] - re[cr], im[rc] + im[cr]));
                    } else if (re[rc] != re[cr])
                        gap = larger_keeping_nan(gap, std::fabs(re[rc] - re[cr]));
                }
            }
            if (!(gap < stop))
                return gap;
        }
    }
    return gap;
}

} // namespace

int ishermitian(const Mm& A)
{
    if (A.gettype() != qv_double)
        return 0;
    if (A.rows() != A.cols() || A.getndims() > 2) {
        error("ishermitian: '%s' matrix not square", matrix_display_name(A));
        return 0;
    }
    if (A.size() == 0)
        return 1;
    const Mm a = A.issparse() ? full(A) : A;
    // The tolerance shrinks with the entries below 1, so a non-symmetric
    // matrix of tiny entries is not taken for a Hermitian one; an exactly
    // Hermitian matrix (a zero matrix included) always passes. It never
    // exceeds 10 eps, so a gap that large settles the answer at once.
    const double ceiling = 10 * machine_eps_value;
    const double gap = a.addi() ? largest_gap<true>(a.addr(), a.addi(), a.rows(), ceiling)
                                : largest_gap<false>(a.addr(), nullptr, a.rows(), ceiling);
    if (!(gap < ceiling))
        return 0;  // NaN included
    if (!a.addi())
        for (std::ptrdiff_t k = 0; k < a.rows(); ++k)
            if (std::isnan(a.addr()[k * (std::ptrdiff_t(a.rows()) + 1)]))
                return 0;
    if (gap == 0)
        return 1;
    const double big = largest_magnitude(a.addr(), a.addi(), std::ptrdiff_t(a.rows()) * a.cols());
    const double tolerance = ceiling * std::fmin(1.0, big);
    return tolerance > gap ? 1 : 0;
}

Mm givens(const Mm& x, const Mm& y, i_o_t, Mm& c, Mm& s)
{
    if (istrue(eq(x, Mm(0.0)))) {
        c = Mm(0.0);
        s = Mm(1.0);
        return x_M;
    }
    const Mm nrm = norm(horzcat(x, y));
    const Mm ax = abs(x);
    c = rdivide(ax, nrm);
    s = times(rdivide(x, ax), rdivide(conj(y), nrm));
    return x_M;
}

Mm givens(const Mm& x, const Mm& y)
{
    Mm c, s;
    givens(x, y, i_o, c, s);
    return vertcat(horzcat(c, s), horzcat(uminus(conj(s)), c));
}

Mm givens(const Mm&)
{
    return Mm(error_input("givens", 1));
}

Mm givens(const Mm&, i_o_t, Mm&, Mm&)
{
    return Mm(error_input("givens", 1));
}

Mm planerot(const Mm& x, i_o_t, Mm& G, Mm& y)
{
    const Mm x1 = Mm(x(Mm(1.0))), x2 = Mm(x(Mm(2.0)));
    if (istrue(eq(x2, Mm(0.0)))) {
        G = eye(2.0);
        y = x;
        return x_M;
    }
    const Mm r = norm(x);
    G = rdivide(vertcat(ctranspose(x), horzcat(uminus(x2), x1)), r);
    y = vertcat(r, Mm(0.0));
    return x_M;
}

Mm planerot(const Mm& x)
{
    Mm G, y;
    planerot(x, i_o, G, y);
    return G;
}
