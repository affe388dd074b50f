// The functions that read the singular values: cond, rank, null, orth and
// pinv, each a short composition over svd with its tolerance multiplied in
// a fixed order.
#include "engine/scalar_real.hpp"
#include "linalg/front.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const double eps52 = 0x1p-52;

// Columns first..last (1-based, inclusive; none when last < first) of x.
Mm columns(const Mm& x, int first, int last)
{
    const int m = x.rows(), count = std::max(0, last - first + 1);
    Mm r = new_dense(x.isc(), m, count);
    const std::size_t from = std::size_t(first - 1) * m, n = std::size_t(count) * m;
    if (n > 0) {
        std::memcpy(r.addr(), x.addr() + from, n * sizeof(double));
        if (x.isc())
            std::memcpy(r.addi(), x.addi() + from, n * sizeof(double));
    }
    return r;
}

// The singular values on S's diagonal: k of them from a k-row S.
int count_above(const Mm& S, int k, double tol)
{
    int r = 0;
    const int ld = S.rows();
    for (int i = 0; i < k; ++i)
        r += S.addr()[i * std::ptrdiff_t(ld + 1)] > tol;
    return r;
}

// Whether any of the k singular values on S's diagonal is NaN: a NaN or
// Inf in A leaves them so, and no count or inverse may then look finite.
bool any_nan(const Mm& S, int k)
{
    for (int i = 0; i < k; ++i)
        if (std::isnan(S.addr()[i * std::ptrdiff_t(S.rows() + 1)]))
            return true;
    return false;
}

double largest(const Mm& S, int k)
{
    double m = NAN;
    for (int i = 0; i < k; ++i)
        m = max_ignore_nan(m, S.addr()[i * std::ptrdiff_t(S.rows() + 1)]);
    return m;
}

// The exponent that takes the largest singular value to [1, 2) (0 for 0):
// tolerances are formed and compared in units of it. Formed in the data's
// units, eps times a largest value near the smallest normal number falls
// below the smallest double, and values at rounding level count as rank
// (a subnormal matrix of rank 2 had rank 3); near the largest double the
// product overflows and nothing counts. A power of two changes no
// comparison where neither happens.
int unit_exponent(double largest)
{
    return largest > 0 && std::isfinite(largest) ? std::ilogb(largest) : 0;
}

// The singular values on S's diagonal (k of them) above tol, all in units
// of 2^e.
int count_above_in_units(const Mm& S, int k, double tol, int e)
{
    int r = 0;
    const int ld = S.rows();
    for (int i = 0; i < k; ++i)
        r += std::ldexp(S.addr()[i * std::ptrdiff_t(ld + 1)], -e) > tol;
    return r;
}

// x := x 2^e, part by part (x is unshared, just made).
void scale_parts(Mm& x, int e)
{
    const std::size_t count = std::size_t(x.rows()) * x.cols();
    for (std::size_t k = 0; k < count; ++k) {
        x.addr()[k] = std::ldexp(x.addr()[k], e);
        if (x.isc())
            x.addi()[k] = std::ldexp(x.addi()[k], e);
    }
}

enum class basis { null_space, range };

Mm null_orth_basis(const Mm& a, basis which)
{
    Mm U, S, V;
    svd(a, Mm(0.0), i_o, U, S, V);
    if (U.issamename(x_M.getname()))
        return x_M;
    const int m = a.rows(), n = a.cols();
    if (m == 0 || n == 0)
        return which == basis::range ? zeros(double(m), 0.0) : eye(double(n));
    // A one-row A has a single singular value.
    const int k = m == 1 ? 1 : std::min(m, n);
    // A NaN or Inf in A leaves every singular value NaN: no rank can be
    // read, so the basis has every column it could have, each of them NaN.
    if (any_nan(S, k))
        return which == basis::range ? nan_matrix(m, U.cols()) : nan_matrix(n, n);
    const double big = largest(S, k);
    const int e = unit_exponent(big);
    const double tol = (eps52 * std::ldexp(big, -e)) * std::max(m, n);
    const int r = count_above_in_units(S, k, tol, e);
    return which == basis::range ? columns(U, 1, r) : columns(V, r + 1, n);
}

Mm pinv_core(const Mm& a, const Mm& tol, bool tol_given)
{
    Mm U, S, V;
    svd(a, Mm(0.0), i_o, U, S, V);
    if (U.issamename(x_M.getname()))
        return x_M;
    const int m = a.rows(), n = a.cols();
    if (m == 0 || n == 0)
        return zeros(double(n), double(m));
    const int k = std::min(m, n);
    const int e = unit_exponent(S.addr()[0]);
    double t = 0;
    if (tol_given) {
        if (error_numeric(tol, "pinv"))
            return x_M;
        t = isempty(tol) ? 0.0 : real(tol).addr()[0];
        // No count of values above a NaN tolerance is known.
        if (std::isnan(t))
            return nan_matrix(n, m);
    }
    if (any_nan(S, k))
        return nan_matrix(n, m);
    const int r = tol_given ? count_above(S, k, t)
                            : count_above_in_units(S, k, (eps52 * std::ldexp(S.addr()[0], -e)) * a.length(), e);
    if (r == 0)
        return zeros(double(n), double(m));
    // The inverses in units of 2^-e, and the product put back at the end:
    // the reciprocal of a subnormal value is Inf, and Inf times the zeros
    // of U and V made NaN of entries that are 0.
    Mm inverses = new_dense(0, r, 1);
    for (int i = 0; i < r; ++i)
        inverses.addr()[i] = 1.0 / std::ldexp(S.addr()[i * std::ptrdiff_t(S.rows() + 1)], -e);
    Mm p = (columns(V, 1, r) * diag(inverses)) * ctranspose(columns(U, 1, r));
    if (e != 0)
        scale_parts(p, -e);
    return p;
}

} // namespace

Mm cond(const Mm& a)
{
    if (isempty(a) && a.getndims() == 2)
        return Mm(NAN);
    const Mm s = svd(a);
    if (s.issamename(x_M.getname()))
        return x_M;
    if (isempty(s) || has_nan(s))
        return Mm(NAN);
    const double smax = max(s).addr()[0], smin = min(s).addr()[0];
    if (smax != 0 || smin != 0)
        return Mm(smax / smin);
    return Mm(INFINITY);
}

Mm rank(const Mm& a)
{
    const Mm s = svd(a);
    if (s.issamename(x_M.getname()))
        return x_M;
    const int m = a.rows(), n = a.cols();
    if (m == 0 || n == 0)
        return Mm(0.0);
    if (has_nan(s))
        return Mm(NAN);
    const double big = max(s).addr()[0];
    const int e = unit_exponent(big);
    const double tol = (double(std::max(m, n)) * std::ldexp(big, -e)) * eps52;
    int r = 0;
    for (int i = 0; i < s.size(); ++i)
        r += std::ldexp(s.addr()[i], -e) > tol;
    return Mm(double(r));
}

Mm rank(const Mm& a, const Mm& tol)
{
    const Mm s = svd(a);
    if (s.issamename(x_M.getname()))
        return x_M;
    if (isempty(s))
        return Mm(0.0);
    // No count of values above a NaN tolerance is known.
    if (has_nan(s) || has_nan(tol))
        return Mm(NAN);
    return sum(s > tol);
}

Mm null(const Mm& a) { return null_orth_basis(a, basis::null_space); }
Mm orth(const Mm& a) { return null_orth_basis(a, basis::range); }
Mm pinv(const Mm& a) { return pinv_core(a, Mm(0.0), false); }
Mm pinv(const Mm& a, const Mm& tol) { return pinv_core(a, tol, true); }
