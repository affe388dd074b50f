// length and size: a value's extents from its stored dimensions.
#include "engine/scalar_real.hpp"
#include "velkor/engine.h"
#include "velkor/value.h"

int length(const Mm& x) { return x.length(); }

Mm size(const Mm& x) { return size(x, Mm(0.0)); }

Mm size(const Mm& x, const Mm& d)
{
    // An empty selector reads as 0: the whole row of extents.
    int selector = d.size() > 0 && d.gettype() == qv_double ? round_to_count(*d.addr()) : 0;
    if (selector == 0 || selector == 100) {
        const int n = x.getndims();
        Mm row(0, 0, 0, 1, n, qv_double);
        if (row.size() != n)
            return x_M;  // "Out of memory!" went to a hook that returned
        for (int k = 0; k < n; ++k)
            row.addr()[k] = x.getdims()[selector == 0 ? k : n - 1 - k];
        return row;
    }
    return Mm(double(x.size(selector)));
}

Mm size(const Mm& x, i_o_t, double& r, double& c)
{
    const int* d = x.getdims();
    r = d[0];
    c = double(d[1]) * d[2] * d[3];
    return x_M;
}

Mm size(const Mm& x, i_o_t, Mm& r, Mm& c)
{
    double rr, cc;
    size(x, i_o, rr, cc);
    r = Mm(rr);
    c = Mm(cc);
    return x_M;
}

Mm size(const Mm& x, i_o_t, double& r, double& c, double& p)
{
    const int* d = x.getdims();
    r = d[0];
    c = d[1];
    p = d[2];
    return x_M;
}

Mm size(const Mm& x, i_o_t, Mm& r, Mm& c, Mm& p)
{
    double rr, cc, pp;
    size(x, i_o, rr, cc, pp);
    r = Mm(rr);
    c = Mm(cc);
    p = Mm(pp);
    return x_M;
}
