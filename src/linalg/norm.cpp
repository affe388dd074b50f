// Vector and matrix norms: the p-norms of a vector, and the 1, 2, infinity
// and Frobenius norms of a matrix (its 2-norm the largest singular value).
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/linalg.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

struct elements {
    const double* re;
    const double* im;  // null for a real value
    int n;

    double magnitude(int k) const { return im ? std::hypot(re[k], im[k]) : std::fabs(re[k]); }
};

// Whether a text value spells word exactly.
bool spells(const Mm& p, const char* word)
{
    const int n = int(std::strlen(word));
    if (!p.isstr() || p.size() != n)
        return false;
    for (int k = 0; k < n; ++k)
        if (number_at(p, k) != double(static_cast<unsigned char>(word[k])))
            return false;
    return true;
}

// The largest (or smallest) magnitude; NaN only when every one is NaN.
double extreme_magnitude(const elements& x, bool largest)
{
    double m = x.magnitude(0);
    for (int k = 1; k < x.n; ++k)
        m = largest ? max_ignore_nan(m, x.magnitude(k)) : min_ignore_nan(m, x.magnitude(k));
    return m;
}

// sum (|x_k| / scale)^p, in element order.
template <class Magnitude>
double sum_of_powers(int n, double p, double scale, Magnitude&& magnitude)
{
    auto sum = [n, &magnitude](auto&& power_of) {
        double s = 0;
        for (int k = 0; k < n; ++k)
            s += power_of(magnitude(k));
        return s;
    };
    if (scale != 1) {
        if (p == 1)
            return sum([scale](double m) { return m / scale; });
        if (p == 2)
            return sum([scale](double m) { m /= scale; return m * m; });
        return sum([scale, p](double m) { return std::pow(m / scale, p); });
    }
    if (p == 1)
        return sum([](double m) { return m; });
    if (p == 2)
        return sum([](double m) { return m * m; });
    return sum([p](double m) { return std::pow(m, p); });
}

// (sum |x_k|^p)^(1/p). Should the powers overflow or underflow while the
// norm itself is representable, the sum is taken again over |x_k| / max.
double power_sum(const elements& x, double p)
{
    auto run = [&](double scale) {
        // The kind of element, the power and whether there is a scale are
        // settled once, outside the loop; dividing by 1 changes nothing.
        const double s = x.im ? sum_of_powers(x.n, p, scale, [&x](int k) { return std::hypot(x.re[k], x.im[k]); })
                              : sum_of_powers(x.n, p, scale, [re = x.re](int k) { return std::fabs(re[k]); });
        return p == 1 ? s : p == 2 ? std::sqrt(s) : std::pow(s, 1 / p);
    };
    const double plain = run(1);
    if (!(p > 0) || !(plain == 0 || std::isinf(plain)))
        return plain;
    const double big = extreme_magnitude(x, true);
    if (!(big > 0) || std::isinf(big))
        return plain;
    return big * run(big);
}

bool any_nan(const elements& x)
{
    for (int k = 0; k < x.n; ++k)
        if (x.re[k] != x.re[k] || (x.im && x.im[k] != x.im[k]))
            return true;
    return false;
}

// Largest sum of magnitudes over the columns (or the rows). A NaN makes
// its sum NaN, and a NaN sum is the result: no line passes a NaN by.
// Each sum is taken in element order; four lines at a time keep four
// independent sums going, and each running row sum is read and written
// once per four columns instead of once per column.
template <class Magnitude>
double largest_line_sum(int rows, int cols, bool over_rows, Magnitude&& magnitude)
{
    double best = 0;
    if (!over_rows) {
        int c = 0;
        auto keep = [&best](double s) {
            if (s != s)
                return false;
            best = std::max(best, s);
            return true;
        };
        for (; c + 4 <= cols; c += 4) {
            const std::ptrdiff_t b0 = std::ptrdiff_t(c) * rows, b1 = b0 + rows, b2 = b1 + rows, b3 = b2 + rows;
            double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
            for (int r = 0; r < rows; ++r) {
                s0 += magnitude(b0 + r);
                s1 += magnitude(b1 + r);
                s2 += magnitude(b2 + r);
                s3 += magnitude(b3 + r);
            }
            for (double s : {s0, s1, s2, s3})
                if (!keep(s))
                    return s;
        }
        for (; c < cols; ++c) {
            double s = 0;
            const std::ptrdiff_t base = std::ptrdiff_t(c) * rows;
            for (int r = 0; r < rows; ++r)
                s += magnitude(base + r);
            if (!keep(s))
                return s;
        }
        return best;
    }
    // Rows: passes down the columns into a running sum per row.
    scratch<double> sums{std::size_t(rows)};
    std::fill(sums.get(), sums.get() + rows, 0.0);
    double* acc = sums.get();
    int c = 0;
    for (; c + 4 <= cols; c += 4) {
        const std::ptrdiff_t b0 = std::ptrdiff_t(c) * rows, b1 = b0 + rows, b2 = b1 + rows, b3 = b2 + rows;
        for (int r = 0; r < rows; ++r) {
            double s = acc[r];
            s += magnitude(b0 + r);
            s += magnitude(b1 + r);
            s += magnitude(b2 + r);
            s += magnitude(b3 + r);
            acc[r] = s;
        }
    }
    for (; c < cols; ++c) {
        const std::ptrdiff_t base = std::ptrdiff_t(c) * rows;
        for (int r = 0; r < rows; ++r)
            acc[r] += magnitude(base + r);
    }
    for (int r = 0; r < rows; ++r) {
        if (sums[r] != sums[r])
            return sums[r];
        best = std::max(best, sums[r]);
    }
    return best;
}

double largest_line_sum(const elements& x, int rows, int cols, bool over_rows)
{
    if (!x.im)
        return largest_line_sum(rows, cols, over_rows, [re = x.re](std::ptrdiff_t k) { return std::fabs(re[k]); });
    return largest_line_sum(rows, cols, over_rows, [&x](std::ptrdiff_t k) { return std::hypot(x.re[k], x.im[k]); });
}

double matrix_norm(const Mm& a, const elements& x, int rows, int cols, double p, bool inf_text, bool& known)
{
    known = true;
    const bool by_rows = p == INFINITY || inf_text;
    if (p != 1 && p != 2 && !by_rows) {
        known = false;
        return 0;
    }
    if (p == 1)
        return largest_line_sum(x, rows, cols, false);
    if (by_rows)
        return largest_line_sum(x, rows, cols, true);
    // A NaN anywhere leaves no 2-norm either.
    if (any_nan(x))
        return NAN;
    if (extreme_magnitude(x, true) == INFINITY)
        return INFINITY;
    // The library's own SVD, so every 2-norm agrees with max(svd(A)).
    return svd(a).addr()[0];
}

// The 1, infinity and Frobenius norms of a sparse matrix, and the p-norms
// (0 < p <= Inf, and -Inf) of a sparse vector, from its stored entries alone: the
// entries left out are zeros, which add nothing to any of these sums, and
// each sum still runs in element order. False for the other norms.
bool sparse_norm(const Mm& x, const Mm& p, double& result)
{
    const int nnz = x.getnnz(), rows = x.rows();
    const elements e{x.addr(), x.addi(), nnz};
    const bool fro = spells(p, "fro"), inf_text = spells(p, "inf");
    const double pv = fro ? 2 : isempty(p) ? 2 : inf_text ? INFINITY : number_at(p, 0);
    if (fro || (isvector(x) && pv > 0 && pv < INFINITY)) {
        result = nnz == 0 ? 0.0 : power_sum(e, pv);
        return true;
    }
    if (isvector(x) && (pv == INFINITY || pv == -INFINITY)) {
        // The largest or smallest magnitude, an unstored zero among them:
        // the fold ignores NaN and is the same in any order.
        const bool largest = pv == INFINITY;
        const bool gaps = std::int64_t{nnz} < std::int64_t{rows} * x.cols();
        double m = gaps ? 0.0 : e.magnitude(0);
        for (int k = gaps ? 0 : 1; k < nnz; ++k)
            m = largest ? max_ignore_nan(m, e.magnitude(k)) : min_ignore_nan(m, e.magnitude(k));
        result = m;
        return true;
    }
    if (isvector(x) || !(pv == 1 || pv == INFINITY))
        return false;
    const int* index = x.getindex();
    if (pv == 1) {
        double best = 0;
        for (int k = 0; k < nnz;) {
            // One division per column: the entries are in column order.
            const std::int64_t end = (std::int64_t(index[k] / rows) + 1) * rows;
            double sum = 0;
            for (; k < nnz && index[k] < end; ++k)
                sum += e.magnitude(k);
            if (sum != sum) {
                result = sum;
                return true;
            }
            best = std::max(best, sum);
        }
        result = best;
        return true;
    }
    scratch<double> sums(std::size_t(rows) > 0 ? std::size_t(rows) : 1);
    std::fill(sums.get(), sums.get() + rows, 0.0);
    for (int k = 0; k < nnz;) {
        const std::int64_t start = std::int64_t(index[k] / rows) * rows, end = start + rows;
        for (; k < nnz && index[k] < end; ++k)
            sums[index[k] - start] += e.magnitude(k);
    }
    double best = 0;
    for (int r = 0; r < rows; ++r) {
        if (sums[r] != sums[r]) {
            result = sums[r];
            return true;
        }
        best = std::max(best, sums[r]);
    }
    result = best;
    return true;
}

} // namespace

Mm norm(const Mm& x) { return norm(x, Mm(2.0)); }

Mm norm(const Mm& x, const Mm& p)
{
    if (x.gettype() == qv_none || p.gettype() == qv_none) {
        (x.gettype() == qv_none ? x : p).warn_uninit();
        return x_M;
    }
    if (error_numeric(x, "norm") || error_numeric(p, "norm") || error_2d(x, "norm"))
        return x_M;
    if (isempty(x))
        return Mm(0.0);
    if (x.issparse() && x.gettype() == qv_double) {
        double v = 0;
        if (sparse_norm(x, p, v))
            return Mm(v);
        // A matrix's other norms: the 2-norm from the full form, any other
        // P refused before a full form is made for it.
        if (!isvector(x) && !(isempty(p) || number_at(p, 0) == 2)) {
            error("norm: x matrix, P not 1, 2, inf or fro");
            return x_M;
        }
    }
    Mm a = full(x);
    if (a.gettype() == qv_uint8)
        a = mdouble(a);
    const elements e{a.addr(), a.addi(), a.size()};
    // the Frobenius norm is the 2-norm of all elements alike
    if (spells(p, "fro"))
        return Mm(power_sum(e, 2));
    const double pv = isempty(p) ? 2 : number_at(p, 0);
    const bool inf_text = spells(p, "inf");
    if (isvector(a)) {
        if (pv == INFINITY || inf_text)
            return Mm(extreme_magnitude(e, true));
        if (pv == -INFINITY)
            return Mm(extreme_magnitude(e, false));
        return Mm(power_sum(e, pv));
    }
    bool known = false;
    const double v = matrix_norm(a, e, a.rows(), a.cols(), pv, inf_text, known);
    if (!known) {
        error("norm: x matrix, P not 1, 2, inf or fro");
        return x_M;
    }
    return Mm(v);
}
