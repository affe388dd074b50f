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

} // namespace

Mm mean(const Mm& x, const Mm& dim)
{
    if (isempty(x))
        return NaN;
    const Mm total = sum(x, dim);  // reports a bad dim
    const int d = dim.size() > 0 && dim.gettype() != qv_cell ? saturate_to_int(number_at(dim, 0)) : 1;
    return rdivide(total, Mm(double(x.size(std::max(d, 1)))));
}

Mm mean(const Mm& x) { return mean(x, Mm(double(x.nsingleton()))); }

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
    const Mm mu = mean(x, Mm(double(w + 1)));
    Mm reps = shaped(0, 1, std::max(x.getndims(), w + 1));
    for (int k = 0; k < reps.size(); ++k)
        reps.addr()[k] = k == w ? m : 1;
    const Mm d = minus(mdouble(x), repmat(mu, reps));
    const Mm e = real(sum(times(conj(d), d), Mm(double(w + 1))));
    const double f = flag.size() > 0 ? first_of(flag) : 0.0;
    return msqrt(rdivide(e, Mm(double(f != 0 ? m : m - 1))));
}

Mm stdM(const Mm& x, const Mm& flag) { return stdM(x, flag, Mm(0.0)); }
Mm stdM(const Mm& x) { return stdM(x, Mm(0.0), Mm(0.0)); }

Mm cov(const Mm& x, const Mm& y, const Mm& flag)
{
    Mm D;
    if (isempty(y))
        D = isvector(x) ? as_column(mdouble(full(x))) : mdouble(full(x));
    else
        D = horzcat(as_column(mdouble(full(x))), as_column(mdouble(full(y))));
    const int c = D.size();
    if (c <= 0)
        return nop_M;
    if (c == 1)
        return Mm(0.0);
    const int m = D.rows();
    Mm ones_column = shaped(0, m, 1);
    for (int k = 0; k < m; ++k)
        ones_column.addr()[k] = 1;
    const Mm centred = minus(D, rdivide(mtimes(ones_column, sum(D, Mm(1.0))), Mm(double(m))));
    const Mm P = mtimes(ctranspose(centred), centred);
    const double f = first_of(flag);
    return rdivide(P, Mm(double(f > 0 ? m : m - 1)));
}

Mm cov(const Mm& x, const Mm& y)
{
    if (y.size() == 1)
        return cov(x, nop_M, y);
    return cov(x, y, Mm(0.0));
}

Mm cov(const Mm& x) { return cov(x, nop_M, Mm(0.0)); }

namespace {

Mm correlation(const Mm& V)
{
    const Mm s = diag(V);
    return rdivide(V, msqrt(mtimes(s, ctranspose(s))));
}

} // namespace

Mm corrcoef(const Mm& x) { return correlation(cov(x)); }
Mm corrcoef(const Mm& x, const Mm& y) { return correlation(cov(x, y)); }
