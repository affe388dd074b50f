// The shortcut for the commonest call of compiled code: an operator or
// function of plain real double scalars. The result is exactly the engine's
// (a 1x1 double, flags clear), without the engine's general walk.
#pragma once

#include "velkor/value.h"

inline bool plain_scalar(const Mm& x)
{
    return x.gettype() == qv_double && x.getnnz() == 1 && x.size() == 1 && !x.isc() && !x.issparse();
}

// Built by the real-scalar constructor, which sizes its block without the
// general shape arithmetic; a result is no variable, so its flags are clear.
inline Mm scalar_result(double v, int logical = 0)
{
    Mm r(v);
    r.getflags().scalar_var = 0;
    r.setlogical(logical);
    return r;
}
