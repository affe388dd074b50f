// What the user pointed at: the current object of a figure, the object and
// figure whose callback is running, and points picked with the mouse.
#include "graphics/figures.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/list.h"
#include "velkor/value.h"
#include "vizmo4510.h"

#include <cmath>
#include <vector>

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

// A column of the picked values.
Mm column(const std::vector<double>& v)
{
    const int n = static_cast<int>(v.size());
    if (n == 0)
        return x_M;
    Mm c(0, 0, 0, n, 1, qv_double);
    if (c.size() != n)
        return x_M;
    double* out = c.addr();
    for (int k = 0; k < n; ++k)
        out[k] = v[k];
    return c;
}

// [x y] of the two columns.
Mm pair_of_columns(const std::vector<double>& x, const std::vector<double>& y)
{
    const int n = static_cast<int>(x.size());
    if (n == 0)
        return x_M;
    Mm r(0, 0, 0, n, 2, qv_double);
    if (r.size() != 2 * n)
        return x_M;
    double* out = r.addr();
    for (int k = 0; k < n; ++k) {
        out[k] = x[k];
        out[n + k] = y[k];
    }
    return r;
}

struct picked_t {
    std::vector<double> x, y, button;
};

// Waits for presses in the current axes until count points are taken (a
// negative count: no limit), Return is pressed, or waiting ends otherwise.
// Presses that land on anything but the axes itself are not points.
void pick(const Mm& n, picked_t& p)
{
    const Mm b = gca();
    set(b, pn_Pointer, pv_cross);
    if (vizmo_current_figure() > 0)
        set(gcf(), TM("ControlBar"), TM("off"));
    shg();
    long long k = 0;
    if (n.size() > 0) {
        const double c = std::trunc(first(n));
        k = std::isnan(c) ? 0 : c < 0 ? -1 : c > 1e15 ? static_cast<long long>(1e15) : static_cast<long long>(c);
    }
    double w = -1;
    while (k != 0) {
        w = first(waitforbuttonpress());
        if (w == 0) {
            if (!isequal(gco(), b))
                continue;
            const Mm at = get(b, pn_CurrentPoint);
            const double px = at.size() >= 1 ? *at.addr(1) : NAN;
            const double py = at.size() >= 2 ? *at.addr(2) : NAN;
            p.x.push_back(px);
            p.y.push_back(py);
            p.button.push_back(first(get(gcf(), pn_CurrentCharacter)));
            if (k > 0)
                --k;
        } else if (w == 1) {
            if (first(get(gcf(), pn_CurrentCharacter)) == 13)
                break;
        } else {
            break;
        }
    }
    // A window closed while waiting took the axes with it.
    if (w >= 0 && vizmo_is_handle(first(b)))
        set(b, pn_Pointer, pv_arrow);
}

const Mm no_limit(-1.0);

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

Mm ginput(const Mm& n, i_o_t, Mm& x, Mm& y, Mm& button)
{
    picked_t p;
    pick(n, p);
    x = column(p.x);
    y = column(p.y);
    button = column(p.button);
    return pair_of_columns(p.x, p.y);
}

Mm ginput(const Mm& n, i_o_t, Mm& x, Mm& y)
{
    picked_t p;
    pick(n, p);
    x = column(p.x);
    y = column(p.y);
    return pair_of_columns(p.x, p.y);
}

Mm ginput(const Mm& n)
{
    picked_t p;
    pick(n, p);
    return pair_of_columns(p.x, p.y);
}

Mm ginput(i_o_t, Mm& x, Mm& y, Mm& button) { return ginput(no_limit, i_o, x, y, button); }

Mm ginput(i_o_t, Mm& x, Mm& y) { return ginput(no_limit, i_o, x, y); }

Mm ginput() { return ginput(no_limit); }

Mm gtext(const Mm& s)
{
    Mm x, y;
    ginput(Mm(1.0), i_o, x, y);
    return text(Mm((CL(x), y, s)));
}

// An integer selects a figure by number; anything else is an axes handle.
Mm getpts(const Mm& h, i_o_t, Mm& x, Mm& y)
{
    const double h1 = first(h);
    if (h1 == std::trunc(h1))
        figure(Mm(CL(h)));
    else
        axes(Mm(CL(h)));
    Mm button;
    return ginput(i_o, x, y, button);
}

Mm getpts(i_o_t, Mm& x, Mm& y) { return getpts(gcf(), i_o, x, y); }
