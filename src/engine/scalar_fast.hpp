// The shortcut for the commonest call of compiled code: an operator or
// function of plain real double scalars. The result is exactly the engine's
// (a 1x1 double, flags clear), without the engine's general walk.
#pragma once

#include "velkor/value.h"

inline bool plain_scalar(const Mm& x)
{
    return x.gettype() == qv_double && x.getnnz() == 1 && x.size() == 1 && !x.isc() && !x.issparse();
}

inline Mm scalar_result(double v, int logical = 0)
{
    Mm r(0, 0, 0, 1, 1, qv_double);
    *r.addr() = v;
    r.setlogical(logical);
    return r;
}
