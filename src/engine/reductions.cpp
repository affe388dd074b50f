// The reductions of the language: fronts over the engine in its reduction
// form, picking the code, the complex flag and the dimension operand.
#include "engine/kernels.hpp"
#include "value/globals.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/value.h"

#include <cstdint>
#include <optional>

namespace {

Mm reduce(op_t op, int complex, const Mm& x, const Mm& dim, const Mm& second = zero_M)
{
    return Mm(complex, x, second, dim, op, 1, l_M);
}

Mm logical(Mm r)
{
    r.setlogical(1);
    return r;
}

template <bool Largest>
inline bool better(double x, double v)
{
    return Largest ? x > v : x < v;
}

// The extreme of one contiguous vector, the first element that is not NaN
// starting and only strictly better elements replacing it; all NaN gives
// the first element. The sequential answer is the first element equal to
// the extreme (the sign of a zero shows which), so the vector is taken in
// blocks: eight running extremes over a block keep the loop from waiting
// on one comparison chain, and only a block that improves on the extreme
// so far is scanned again, while it is still in cache, for the first
// element equal to its extreme. Memory is read once.
template <bool Largest>
double vector_extreme(const double* x, std::int64_t n, std::int64_t& where)
{
    std::int64_t k = 0;
    while (k < n && x[k] != x[k])
        ++k;
    if (k == n) {
        where = 0;
        return x[0];
    }
    double best = x[k];
    where = k;
    constexpr int lanes = 8;
    constexpr std::int64_t block = 1024;
    for (++k; k < n;) {
        const std::int64_t stop = n - k < block ? n : k + block;
        double v[lanes];
        for (double& lane : v)
            lane = best;
        std::int64_t j = k;
        for (; j + lanes <= stop; j += lanes)
            for (int l = 0; l < lanes; ++l)
                v[l] = better<Largest>(x[j + l], v[l]) ? x[j + l] : v[l];
        for (; j < stop; ++j)
            v[0] = better<Largest>(x[j], v[0]) ? x[j] : v[0];
        double m = v[0];
        for (int l = 1; l < lanes; ++l)
            m = better<Largest>(v[l], m) ? v[l] : m;
        if (better<Largest>(m, best)) {
            j = k;
            while (x[j] != m)
                ++j;
            best = x[j];
            where = j;
        }
        k = stop;
    }
    return best;
}

// Full real double vectors and matrices reduced along their first
// non-singleton dimension (the default, or dimension 1 of a matrix): the columns are contiguous, so each is one call
// of the vector kernel. Anything else goes to the engine. Returns false
// when the fast path does not apply.
bool extreme_columns(op_t op, const Mm& x, const Mm& dim, Mm& result, Mm& positions, bool positions_wanted)
{
    if (x.gettype() != qv_double || x.issparse() || x.isc() || x.isstruct() || x.getndims() > 2 || x.size() == 0)
        return false;
    if (dim.size() != 1 || dim.gettype() != qv_double || dim.issparse() || dim.isc())
        return false;
    const std::int64_t rows = x.rows(), cols = x.cols();
    const double d = *dim.addr();
    if (d != 0 && !(d == 1 && rows > 1))
        return false;
    const bool along_rows = rows == 1;  // a row vector reduces along its columns
    const std::int64_t n = along_rows ? cols : rows, count = along_rows ? 1 : cols;
    Mm r(0, 0, 0, 1, static_cast<int>(count), qv_double);
    if (r.size() != count)
        return false;  // refused under a returning hook: the engine meets the same refusal
    Mm w;
    if (positions_wanted) {
        Mm made(0, 0, 0, 1, static_cast<int>(count), qv_double);
        if (made.size() != count)
            return false;
        w = made;
    }
    const double* in = x.addr();
    double* out = r.addr();
    double* at = positions_wanted ? w.addr() : nullptr;
    const bool largest = op == op_max_1;
    for (std::int64_t c = 0; c < count; ++c) {
        std::int64_t k = 0;
        out[c] = largest ? vector_extreme<true>(in + c * n, n, k) : vector_extreme<false>(in + c * n, n, k);
        if (at)
            at[c] = double(k + 1);
    }
    result = r;
    if (positions_wanted)
        positions = w;
    return true;
}

// max and min: a value whose imaginary parts are all zero counts as real,
// on a copy of the operand's own; a complex byte value compares moduli as
// its double form does.
Mm extreme(op_t op, const Mm& given, const Mm& dim, Mm& positions)
{
    std::optional<Mm> own;
    if (given.isc())
        drop_zero_imaginary(own.emplace(given));
    const Mm& x = own ? *own : given;
    Mm r;
    if (extreme_columns(op, x, dim, r, positions, index_wanted(positions)))
        return r;
    return Mm(x.isc(), x, zero_M, dim, op, 1, positions);
}

Mm extreme_outputs(op_t op, const Mm& x, const Mm& dim, Mm& m, Mm& k)
{
    Mm positions;
    m = extreme(op, x, dim, positions);
    k = positions;
    return x_M;
}

} // namespace

Mm all(const Mm& x) { return logical(reduce(op_all, 0, x, zero_M)); }
Mm all(const Mm& x, const Mm& dim) { return logical(reduce(op_all, 0, x, dim)); }
Mm any(const Mm& x) { return logical(reduce(op_any, 0, x, zero_M)); }
Mm any(const Mm& x, const Mm& dim) { return logical(reduce(op_any, 0, x, dim)); }
Mm cumprod(const Mm& x) { return reduce(op_cumprod, x.isc(), x, zero_M); }
Mm cumprod(const Mm& x, const Mm& dim) { return reduce(op_cumprod, x.isc(), x, dim); }
Mm cumsum(const Mm& x) { return reduce(op_cumsum, x.isc(), x, zero_M); }
Mm cumsum(const Mm& x, const Mm& dim) { return reduce(op_cumsum, x.isc(), x, dim); }
Mm prod(const Mm& x) { return reduce(op_prod, x.isc(), x, zero_M); }
Mm prod(const Mm& x, const Mm& dim) { return reduce(op_prod, x.isc(), x, dim); }

// A uint8 sum is taken in doubles: no wrap-around, both parts of a complex
// value.
Mm sum(const Mm& x, const Mm& dim)
{
    if (isuint8(x))
        return reduce(op_sum, x.isc(), mdouble(x), dim);
    return reduce(op_sum, x.isc(), x, dim);
}
Mm sum(const Mm& x) { return sum(x, zero_M); }
Mm sumabs(const Mm& x) { return sum(abs(x)); }
Mm sumabs(const Mm& x, const Mm& dim) { return sum(abs(x), dim); }

Mm max(const Mm& x) { return extreme(op_max_1, x, zero_M, l_M); }
Mm max(const Mm& x, const Mm&, const Mm& dim) { return extreme(op_max_1, x, dim, l_M); }
Mm max(const Mm& x, i_o_t, Mm& m, Mm& k) { return extreme_outputs(op_max_1, x, zero_M, m, k); }
Mm max(const Mm& x, const Mm&, const Mm& dim, i_o_t, Mm& m, Mm& k) { return extreme_outputs(op_max_1, x, dim, m, k); }
Mm max(const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("max", 2)); }
Mm min(const Mm& x) { return extreme(op_min_1, x, zero_M, l_M); }
Mm min(const Mm& x, const Mm&, const Mm& dim) { return extreme(op_min_1, x, dim, l_M); }
Mm min(const Mm& x, i_o_t, Mm& m, Mm& k) { return extreme_outputs(op_min_1, x, zero_M, m, k); }
Mm min(const Mm& x, const Mm&, const Mm& dim, i_o_t, Mm& m, Mm& k) { return extreme_outputs(op_min_1, x, dim, m, k); }
Mm min(const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("min", 2)); }

Mm unwrap(const Mm& x) { return reduce(op_unwrap, x.isc(), x, zero_M, pi); }
Mm unwrap(const Mm& x, const Mm& tol) { return reduce(op_unwrap, x.isc(), x, zero_M, tol); }
Mm unwrap(const Mm& x, const Mm& tol, const Mm& dim)
{
    return reduce(op_unwrap, x.isc(), x, dim, isempty(tol) ? pi : tol);
}

Mm median(const Mm& x) { return Mm(x.isc(), sort(x), zero_M, zero_M, op_median, 1, l_M); }
// Sorted along dim, then the middle taken along the same dim.
Mm median(const Mm& x, const Mm& dim) { return Mm(x.isc(), sort(x, dim), zero_M, dim, op_median, 1, l_M); }
