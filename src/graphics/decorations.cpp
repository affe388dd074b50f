// Axes decorations: the subplot grid, grid lines, hold, limits and axis
// modes, the view, the legend and the four axes labels. Every value lives in
// the engine's objects; nothing is kept here.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/linalg.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <climits>
#include <cmath>

namespace {

Mm number(double v) { return Mm(v); }

bool same_text(const Mm& a, const Mm& b)
{
    const Mm r = strcmpi(a, b);
    return r.size() == 1 && r.gettype() == qv_double && *r.addr(1) != 0;
}

bool same_text(const Mm& a, const char* b) { return same_text(a, TM(b)); }

double element(const Mm& v, int k) { return k <= v.size() && v.gettype() == qv_double ? *v.addr(k) : 0; }

Mm row(std::initializer_list<double> values)
{
    Mm r(0, 0, 0, 1, static_cast<int>(values.size()), qv_double);
    if (r.size() == static_cast<int>(values.size())) {
        double* p = r.addr();
        for (double v : values)
            *p++ = v;
    }
    return r;
}

// The label functions differ only in the axes property and the message.
Mm make_label(const Mm& args, const Mm& property, const char* empty_message)
{
    const int n = args.size();
    if (n == 0) {
        error(TM(empty_message));
        return number(-1);
    }
    const Mm a = gca();
    Mm h;
    int start = 1;
    if (n % 2 == 1) {
        h = text(Mm((CL(pn_Parent), a, pn_String, args.mr(1))));
        start = 2;
    } else {
        h = text(Mm((CL(pn_Parent), a)));
    }
    set(a, property, h);
    set_props_from(h, args, start);
    return h;
}

void set_three(const Mm& a, const Mm& x, const Mm& y, const Mm& z, const Mm& value)
{
    set(a, x, value);
    set(a, y, value);
    set(a, z, value);
}

} // namespace

// ---- labels ----

Mm xlabel() { return xlabel(cell(number(0))); }
Mm ylabel() { return ylabel(cell(number(0))); }
Mm zlabel() { return zlabel(cell(number(0))); }
Mm title() { return title(cell(number(0))); }
Mm xlabel(const Mm& args) { return make_label(args, pn_XLabel, "xlabel needs to have at least one parameter"); }
Mm ylabel(const Mm& args) { return make_label(args, pn_YLabel, "ylabel needs to have at least one parameter"); }
Mm zlabel(const Mm& args) { return make_label(args, pn_ZLabel, "zlabel needs to have at least one parameter"); }
Mm title(const Mm& args) { return make_label(args, pn_Title, "title needs to have at least one parameter"); }

// ---- grid and hold ----

Mm grid()
{
    const Mm a = gca();
    set_three(a, pn_XGrid, pn_YGrid, pn_ZGrid, same_text(get(a, pn_XGrid), pv_on) ? pv_off : pv_on);
    return x_M;
}

Mm grid(const Mm& s)
{
    if (!same_text(s, pv_on) && !same_text(s, pv_off)) {
        error("Grid: unknown argument");
        return x_M;
    }
    set_three(gca(), pn_XGrid, pn_YGrid, pn_ZGrid, s);
    return x_M;
}

Mm hold()
{
    const Mm a = gca();
    set(a, pn_NextPlot, same_text(get(a, pn_NextPlot), "Add") ? pv_replace : TM("Add"));
    return x_M;
}

Mm hold(const Mm& s)
{
    if (same_text(s, pv_on))
        set(gca(), pn_NextPlot, TM("Add"));
    else if (same_text(s, pv_off))
        set(gca(), pn_NextPlot, pv_replace);
    else
        error("Hold: unknown argument");
    return x_M;
}

Mm ishold() { return number(same_text(get(gca(), pn_NextPlot), "Add") ? 1 : 0); }

// ---- limits and modes ----

Mm axis()
{
    drawnow();
    const Mm a = gca();
    const Mm z = get(a, pn_ZLim);
    const Mm y = get(a, pn_YLim);
    const Mm x = get(a, pn_XLim);
    return row({element(x, 1), element(x, 2), element(y, 1), element(y, 2), element(z, 1), element(z, 2)});
}

Mm axis(const Mm& a)
{
    if (a.isstr()) {
        const Mm resize_with(CL(pn_ResizeWith));
        if (same_text(a, pv_on)) {
            set(gca(), pn_Visible, pv_on);
        } else if (same_text(a, pv_off)) {
            set(gca(), pn_Visible, pv_off);
        } else if (same_text(a, "xy")) {
            set(gca(), pn_YDir, pv_normal);
            set(gca(), pn_Visible, pv_on);
        } else if (same_text(a, "ij")) {
            set(gca(), pn_YDir, pv_inverted);
            set(gca(), pn_Visible, pv_on);
        } else if (same_text(a, pv_auto)) {
            set_three(gca(), pn_XLimMode, pn_YLimMode, pn_ZLimMode, pv_auto);
        } else if (same_text(a, pv_manual)) {
            set_three(gca(), pn_XLimMode, pn_YLimMode, pn_ZLimMode, pv_manual);
        } else if (same_text(a, "equal") || same_text(a, "square")) {
            if (hosted_axes.size() == 0) {
                set(gca(), TM("square"), pv_on);
                set(gca(), Mm((CL(pn_ResizeWith), row({1, 1}))));
            }
        } else if (same_text(a, pv_normal)) {
            set(gca(), TM("square"), pv_off);
            set(gca(), Mm((CL(pn_ResizeWith), row({1, 1}))));
        }
        return x_M;
    }
    if (a.size() < 2 || a.gettype() != qv_double) {
        warning(TM("axis: unknown argument"));
        return x_M;
    }
    set(gca(), pn_XLim, row({element(a, 1), element(a, 2)}));
    if (a.size() >= 4)
        set(gca(), pn_YLim, row({element(a, 3), element(a, 4)}));
    if (a.size() >= 6)
        set(gca(), pn_ZLim, row({element(a, 5), element(a, 6)}));
    return x_M;
}

// ---- legend ----

Mm legend() { return legend(cell(number(0))); }

Mm legend(const Mm& args)
{
    const int n = args.size();
    if (n == 0) {
        set(gca(), pn_Legend, pv_on);
        return x_M;
    }
    if (same_text(args.mr(1), pv_off)) {
        set(gca(), pn_Legend, pv_off);
        return x_M;
    }
    set(gca(), pn_Legend, pv_on);
    if (!args.mr(n).isstr())
        set(gca(), pn_LegendPos, args.mr(n));
    if (args.mr(1).isstr()) {
        Mm s = TM("");
        int rows = 0;
        for (int k = 1; k <= n; ++k) {
            if (!args.mr(k).isstr())
                continue;
            s = rows == 0 ? args.mr(k) : strvcat(s, args.mr(k));
            ++rows;
        }
        if (rows > 0)
            set(gca(), pn_LegendString, s);
        return x_M;
    }
    const Mm& h = args.mr(1);
    if (n == 1) {
        error("legend(h,...) should have strings parameter");
        return x_M;
    }
    const Mm strings = mchar(Mm(CL(args.mr(2))));
    const int count = h.size();
    if (strings.rows() != count) {
        error("legend(h,strings) should have the same length");
        return x_M;
    }
    for (int k = 1; k <= count; ++k) {
        Mm entry(0, 0, 0, 1, strings.cols(), qv_double);
        for (int c = 1; c <= strings.cols() && entry.size() == strings.cols(); ++c)
            *entry.addr(c) = *strings.addr(k + (c - 1) * strings.rows());
        set(number(element(h, k)), pn_LegendString, setstr(entry));
    }
    return x_M;
}

// ---- view ----

Mm view() { return get(gca(), pn_View); }

Mm view(const Mm& v)
{
    const int n = v.gettype() == qv_double ? v.size() : 0;
    if (n == 1) {
        const double a = element(v, 1);
        if (a != 2 && a != 3 && a != 2.5 && a != 3.5) {
            error("view(a): a must be 2,2.5 or 3");
            return x_M;
        }
        set(gca(), pn_View, v);
        return x_M;
    }
    if (n == 2)
        return view(number(element(v, 1)), number(element(v, 2)));
    if (n == 3) {
        const double length = *norm(v).addr(1);
        const double x = element(v, 1) / length, y = element(v, 2) / length, z = element(v, 3) / length;
        const double degrees = 57.29577951308232;
        return view(number(std::atan2(x, -y) * degrees), number(std::atan2(z, std::sqrt(y * y + x * x)) * degrees));
    }
    error("view: parameter must have 1,2 or 3 elements");
    return x_M;
}

Mm view(const Mm& az, const Mm& el)
{
    set(gca(), pn_View, row({element(az, 1), element(el, 1)}));
    return x_M;
}

Mm view(i_o_t, Mm& az, Mm& el)
{
    const Mm w = get(gca(), pn_View);
    az = number(element(w, 1));
    el = number(element(w, 2));
    return x_M;
}

// ---- subplot ----

Mm subplot() { return subplot(number(111)); }

Mm subplot(const Mm& mnp)
{
    const double v = element(mnp, 1);
    if (!(std::fabs(v) < 1e9)) {
        error("subplot: m, n must be >= 1 and p in 1..m*n");
        return x_M;
    }
    if (v == 111) {
        set(gcf(), Mm((CL(pn_NextPlot), pv_replace)));
        return x_M;
    }
    if (v < 111) {
        axes(Mm(CL(mnp)));
        return x_M;
    }
    const long a = static_cast<long>(std::trunc(v));
    return subplot(number(static_cast<double>(a / 100)), number(static_cast<double>((a / 10) % 10)),
                   number(static_cast<double>(a % 10)));
}

Mm subplot(const Mm& m_, const Mm& n_, const Mm& p_)
{
    const double m = std::trunc(element(m_, 1)), n = std::trunc(element(n_, 1)), p = std::trunc(element(p_, 1));
    if (!(m >= 1 && n >= 1 && p >= 1 && p <= m * n && m < INT_MAX && n < INT_MAX)) {
        error("subplot: m, n must be >= 1 and p in 1..m*n");
        return x_M;
    }
    const double col = std::fmod(p - 1, n) + 1;
    const double r = (p - col) / n + 1;
    const double g = (1 - 0.95) / 2;
    return subplot(pn_Position, row({(col - 1) / n + g / n, (m - r) / m + g / m, 0.95 / n, 0.95 / m}));
}

Mm subplot(const Mm& name, const Mm& pos)
{
    if (pos.size() != 4 || pos.gettype() != qv_double || !same_text(name, pn_Position)) {
        error("subplot('position',pos): pos should be [left botttom width height], in (0..1)");
        if (pos.size() < 4 || pos.gettype() != qv_double)
            return x_M;  // nothing to place without four numbers
    }
    const double P[4] = {element(pos, 1), element(pos, 2), element(pos, 3), element(pos, 4)};
    const Mm kids = get(gcf(), pn_Children);
    bool found = false;
    for (int i = 1; i <= kids.size() && kids.gettype() == qv_double; ++i) {
        const Mm k = number(*kids.addr(i));
        if (!same_text(get(k, pn_Type), "axes"))
            continue;
        const Mm u = get(k, pn_Units);
        set(k, pn_Units, pv_normalized);
        const Mm q_ = get(k, pn_Position);
        set(k, pn_Units, u);
        const double q[4] = {element(q_, 1), element(q_, 2), element(q_, 3), element(q_, 4)};
        const bool disjoint = q[1] >= P[1] + P[3] - 0.01 || P[1] >= q[1] + q[3] - 0.01 ||
                              q[0] >= P[0] + P[2] - 0.01 || P[0] >= q[0] + q[2] - 0.01;
        if (disjoint)
            continue;
        bool far = false;
        for (int c = 0; c < 4; ++c)
            far = far || std::fabs(q[c] - P[c]) > 0.01;
        if (found || far) {
            set(k, pn_Kill, number(0));
        } else {
            found = true;
            set(gcf(), pn_CurrentAxes, k);
        }
    }
    if (found)
        return gca();
    return axes(Mm((CL(pn_Units), pv_normalized, pn_Position, row({P[0], P[1], P[2], P[3]}))));
}
