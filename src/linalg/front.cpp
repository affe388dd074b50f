// The dense working copy the linear-algebra functions hand to their kernels.
#include "linalg/front.hpp"

Mm dense_copy(const Mm& a)
{
    Mm c;
    c.deepcopy(a.isc(), 0, a, qv_double);
    c.setstr(0);
    c.setlogical(0);
    return c;
}

Mm dense_complex_copy(const Mm& a)
{
    Mm c;
    c.deepcopy(1, 0, a, qv_double);
    c.setstr(0);
    c.setlogical(0);
    return c;
}
