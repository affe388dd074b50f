// What the user pointed at: the current object of a figure, and the object
// and figure whose callback is running.
#include "graphics/figures.hpp"
#include "graphics/property_names.hpp"
#include "velkor/graphics.h"
#include "velkor/value.h"
#include "vizmo4510.h"

#include <cmath>

namespace {

Mm number(double v) { return Mm(v); }

// The first element of a handle value, or NaN when it holds no number.
double first(const Mm& h)
{
    if (h.size() == 0)
        return NAN;
    if (h.gettype() == qv_double)
        return *h.getpr(static_cast<double*>(nullptr), 1);
    if (h.gettype() == qv_uint8)
        return *h.getpr(static_cast<unsigned char*>(nullptr), 1);
    return NAN;
}

// A parent chain deeper than this is taken as broken.
constexpr int max_parent_steps = 64;

} // namespace

Mm gco() { return gco(gcf()); }

Mm gco(const Mm& h) { return get(h, pn_CurrentObject); }

Mm gcbo() { return get(number(0), pn_CallbackObject); }

Mm gcbo(i_o_t, Mm& h, Mm& f)
{
    h = get(number(0), pn_CallbackObject);
    f = gcbf();
    return x_M;
}

// The walk stops at the object whose parent is the root; a chain that
// leaves the live objects, or goes round, gives the empty value instead of
// an error or a hang.
Mm gcbf()
{
    const Mm o = get(number(0), pn_CallbackObject);
    double cur = first(o);
    if (!(cur > 0))
        return x_M;
    for (int step = 0; step < max_parent_steps; ++step) {
        if (!vizmo_is_handle(cur))
            return x_M;
        const double par = first(get(number(cur), pn_Parent));
        if (par == 0)
            return number(cur);
        if (!(par > 0))
            return x_M;
        cur = par;
    }
    return x_M;
}
