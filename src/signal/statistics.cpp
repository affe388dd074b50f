// mean, stdM, cov and corrcoef: descriptive statistics composed of the
// reductions and element-wise operators.
#include "signal/storage.hpp"
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "array/ndim.hpp"
#include "velkor/engine.h"
#include "velkor/index.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The flag of stdM and cov: its first element, NaN when it has none.
double first_of(const Mm& flag)
{
    if (flag.size() <= 0 || error_numeric(flag, "cov"))
        return NAN;
    return number_at(flag, 0);
}

Mm as_column(const Mm& x)
{
    Mm c = x;
    c.reshape(x.size(), 1);
    return c;
}

// Sums of squares and products overflow past 2^512 and underflow below
// 2^-511; data within 2^+-400 are summed as they stand, and data beyond are
// taken slice by slice in a power of two that brings each slice's largest
// element to [1, 2) (exact, so the two ways agree wherever the plain one
// keeps every bit). Correlations divide by products of variances, fourth
// powers of the data: their bound is 2^+-180.
constexpr int safe_exponent = 400, safe_correlation_exponent = 180;

// Whether a nonzero magnitude among the n parts lies beyond 2^+-limit (an
// infinity counts: the careful way gives it the same result).
bool beyond_safe_range(const double* re, const double* im, std::int64_t n, int limit)
{
    double hi = 0, lo = INFINITY;
    for (std::int64_t k = 0; k < n; ++k) {
        const double a = std::fabs(re[k]);
        hi = a > hi ? a : hi;
        lo = a > 0 && a < lo ? a : lo;
    }
    if (im)
        for (std::int64_t k = 0; k < n; ++k) {
            const double a = std::fabs(im[k]);
            hi = a > hi ? a : hi;
            lo = a > 0 && a < lo ? a : lo;
        }
    return hi > std::ldexp(1.0, limit) || lo < std::ldexp(1.0, -limit);
}

// The slices of an array along dimension w (0-based): `before` elements
// apart, `length` long, `count` of them; slice j holds the elements
// (j % before) + (j / before) * before * length + i * before.
struct slices {
    std::int64_t before = 1, length = 1, count = 1;

    slices(const Mm& x, int w)
    {
        const int* dims = x.getdims();
        for (int k = 0; k < x.getndims(); ++k) {
            if (k < w)
                before *= dims[k];
            else if (k == w)
                length = dims[k];
        }
        count = length > 0 ? std::int64_t(x.size()) / length : 0;
    }

    std::int64_t first(std::int64_t j) const { return j % before + j / before * before * length; }
};

// The exponent of each slice's largest finite magnitude (0 for a slice of
// zeros and non-finite values).
std::vector<int> slice_exponents(const Mm& x, const slices& s)
{
    std::vector<int> e(std::size_t(s.count), 0);
    for (std::int64_t j = 0; j < s.count; ++j) {
        double size = 0;
        for (std::int64_t i = 0, k = s.first(j); i < s.length; ++i, k += s.before) {
            if (std::isfinite(x.addr()[k]))
                size = std::fmax(size, std::fabs(x.addr()[k]));
            if (x.addi() && std::isfinite(x.addi()[k]))
                size = std::fmax(size, std::fabs(x.addi()[k]));
        }
        e[std::size_t(j)] = size > 0 ? std::ilogb(size) : 0;
    }
    return e;
}

// x (full double) with slice j times 2^-e[j], on a copy.
Mm scaled_slices(const Mm& x, const slices& s, const std::vector<int>& e)
{
    Mm r = shaped(x.isc() ? 1 : 0, x.getndims(), x.getdims());
    for (std::int64_t j = 0; j < s.count; ++j)
        for (std::int64_t i = 0, k = s.first(j); i < s.length; ++i, k += s.before) {
            r.addr()[k] = std::ldexp(x.addr()[k], -e[std::size_t(j)]);
            if (x.addi())
                r.addi()[k] = std::ldexp(x.addi()[k], -e[std::size_t(j)]);
        }
    return r;
}

bool finite_throughout(const Mm& v)
{
    for (int k = 0; k < v.size(); ++k)
        if (!std::isfinite(v.addr()[k]) || (v.addi() && !std::isfinite(v.addi()[k])))
            return false;
    return true;
}

} // namespace

Mm mean(const Mm& x, const Mm& dim)
{
    if (isempty(x))
        return NaN;
    const Mm total = sum(x, dim);  // reports a bad dim
    const int d = dim.size() > 0 && dim.gettype() != qv_cell ? saturate_to_int(number_at(dim, 0)) : 1;
    const Mm count(double(x.size(std::max(d, 1))));
    Mm mu = rdivide(total, count);
    // A sum past the largest double (mean([1e308 1e308])) is taken again in
    // a smaller power of two, slice by slice; only the slices that
    // overflowed take the new value.
    if (x.gettype() != qv_double || x.issparse() || mu.gettype() != qv_double || mu.issparse() || finite_throughout(mu))
        return mu;
    const slices s(x, std::max(d, 1) - 1);
    if (s.count != mu.size())
        return mu;
    const std::vector<int> e = slice_exponents(x, s);
    const Mm small = rdivide(sum(scaled_slices(x, s, e), dim), count);
    if (small.size() != mu.size() || (small.isc() && !mu.isc()))
        return mu;
    for (int j = 0; j < mu.size(); ++j) {
        const bool overflowed = !std::isfinite(mu.addr()[j]) || (mu.addi() && !std::isfinite(mu.addi()[j]));
        if (!overflowed)
            continue;
        mu.addr()[j] = std::ldexp(small.addr()[j], e[std::size_t(j)]);
        if (mu.addi())
            mu.addi()[j] = std::ldexp(small.addi() ? small.addi()[j] : 0.0, e[std::size_t(j)]);
    }
    return mu;
}

Mm mean(const Mm& x) { return mean(x, Mm(double(x.nsingleton()))); }

namespace {

// The deviation along w (0-based) of x with m > 1 observations there.
Mm deviation(const Mm& x, const Mm& flag, int w, int m)
{
    const Mm mu = mean(x, Mm(double(w + 1)));
    Mm reps = shaped(0, 1, std::max(x.getndims(), w + 1));
    for (int k = 0; k < reps.size(); ++k)
        reps.addr()[k] = k == w ? m : 1;
    const Mm d = minus(mdouble(x), repmat(mu, reps));
    const Mm e = real(sum(times(conj(d), d), Mm(double(w + 1))));
    const double f = flag.size() > 0 ? first_of(flag) : 0.0;
    return msqrt(rdivide(e, Mm(double(f != 0 ? m : m - 1))));
}

} // namespace

Mm stdM(const Mm& x, const Mm& flag, const Mm& dim)
{
    const int w = parse_dim_argument("std", x, dim);
    const int m = x.size(w + 1);
    if (m == 1) {
        // one observation spreads by nothing: 0, or NaN for a sample that
        // is NaN or infinite (x - mean(x) has no value there)
        const Mm d = mdouble(full(x));
        Mm z = shaped(0, x.getndims(), x.getdims());
        if (d.gettype() != qv_double || d.size() != z.size())
            return x_M;  // a conversion already reported to a hook that returned
        const double* re = d.addr();
        const double* im = d.addi();
        for (int k = 0; k < z.size(); ++k)
            z.addr()[k] = std::isfinite(re[k]) && (!im || std::isfinite(im[k])) ? 0.0 : NAN;
        return z;
    }
    if (m == 0)
        return nop_M;
    if (x.gettype() != qv_double || x.issparse() || !beyond_safe_range(x.addr(), x.addi(), x.size(), safe_exponent))
        return deviation(x, flag, w, m);
    // squares of 1e200 overflow and of 1e-200 vanish: each slice is taken in
    // its own power of two, and its deviation scaled back
    const slices s(x, w);
    const std::vector<int> e = slice_exponents(x, s);
    Mm r = deviation(scaled_slices(x, s, e), flag, w, m);
    if (r.gettype() != qv_double || r.size() != s.count)
        return r;
    for (int j = 0; j < r.size(); ++j)
        r.addr()[j] = std::ldexp(r.addr()[j], e[std::size_t(j)]);
    return r;
}

Mm stdM(const Mm& x, const Mm& flag) { return stdM(x, flag, Mm(0.0)); }
Mm stdM(const Mm& x) { return stdM(x, Mm(0.0), Mm(0.0)); }

namespace {

// The data matrix of cov and corrcoef: observations in rows, one variable
// per column.
Mm data_matrix(const Mm& x, const Mm& y)
{
    if (isempty(y))
        return isvector(x) ? as_column(mdouble(full(x))) : mdouble(full(x));
    return horzcat(as_column(mdouble(full(x))), as_column(mdouble(full(y))));
}

// The covariance of the columns of D (at least two elements).
Mm covariance(const Mm& D, double f)
{
    const int m = D.rows();
    Mm ones_column = shaped(0, m, 1);
    for (int k = 0; k < m; ++k)
        ones_column.addr()[k] = 1;
    const Mm centred = minus(D, rdivide(mtimes(ones_column, sum(D, Mm(1.0))), Mm(double(m))));
    const Mm P = mtimes(ctranspose(centred), centred);
    return rdivide(P, Mm(double(f > 0 ? m : m - 1)));
}

// D's columns are brought to a common size when their products would
// overflow or vanish beyond 2^+-limit; e holds the power of two taken from
// each (all 0 when D is used as it stands).
Mm common_size(const Mm& D, std::vector<int>& e, int limit)
{
    e.assign(std::size_t(D.cols()), 0);
    if (D.gettype() != qv_double || D.issparse() || !beyond_safe_range(D.addr(), D.addi(), D.size(), limit))
        return D;
    const slices columns(D, 0);
    e = slice_exponents(D, columns);
    return scaled_slices(D, columns, e);
}

Mm cov_of_data(const Mm& D, const Mm& flag)
{
    const int c = D.size();
    if (c <= 0)
        return nop_M;
    if (c == 1)
        return Mm(0.0);
    std::vector<int> e;
    Mm V = covariance(common_size(D, e, safe_exponent), first_of(flag));
    if (V.gettype() != qv_double || V.rows() != int(e.size()) || V.cols() != int(e.size()))
        return V;
    const int n = V.rows();
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const std::int64_t k = std::int64_t(j) * n + i;
            V.addr()[k] = std::ldexp(V.addr()[k], e[std::size_t(i)] + e[std::size_t(j)]);
            if (V.addi())
                V.addi()[k] = std::ldexp(V.addi()[k], e[std::size_t(i)] + e[std::size_t(j)]);
        }
    return V;
}

Mm correlation(const Mm& V)
{
    const Mm s = diag(V);
    return rdivide(V, msqrt(mtimes(s, ctranspose(s))));
}

// Correlations do not change when a variable is scaled, so data whose
// fourth powers leave the doubles (1e-80 or 1e80 is enough) are correlated
// as columns of a common size.
Mm correlation_of_data(const Mm& D)
{
    if (D.size() <= 1)
        return correlation(cov_of_data(D, Mm(0.0)));
    std::vector<int> e;
    return correlation(covariance(common_size(D, e, safe_correlation_exponent), 0.0));
}

} // namespace

Mm cov(const Mm& x, const Mm& y, const Mm& flag) { return cov_of_data(data_matrix(x, y), flag); }

Mm cov(const Mm& x, const Mm& y)
{
    if (y.size() == 1)
        return cov(x, nop_M, y);
    return cov(x, y, Mm(0.0));
}

Mm cov(const Mm& x) { return cov(x, nop_M, Mm(0.0)); }

Mm corrcoef(const Mm& x) { return correlation_of_data(data_matrix(x, nop_M)); }

Mm corrcoef(const Mm& x, const Mm& y)
{
    // a scalar y is cov's normalisation flag, which correlations do not see
    if (y.size() == 1)
        return corrcoef(x);
    return correlation_of_data(data_matrix(x, y));
}
