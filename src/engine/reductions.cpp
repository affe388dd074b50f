// The reductions of the language: fronts over the engine in its reduction
// form, picking the code, the complex flag and the dimension operand.
#include "value/globals.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/value.h"

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

// max and min: a value whose imaginary parts are all zero is real first.
Mm extreme(op_t op, const Mm& x, const Mm& dim, Mm& positions)
{
    x.getreal(0);
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

// A uint8 sum is taken in doubles: no wrap-around.
Mm sum(const Mm& x, const Mm& dim)
{
    if (isuint8(x))
        return reduce(op_sum, 0, mdouble(x), dim);
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
