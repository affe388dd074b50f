// Colour control: the current figure's colormap, by matrix or by generator
// name, the colour limits and the colour scale, the shading of surfaces, and
// the default background colours.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "graphics/surfaces.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

struct generator {
    const char* name;
    Mm (*make)();
};

// The names are tried in this order, each over its own length, so a text
// that begins with a whole name selects it ("grey" and more letters gives
// grey) and a text shorter than every name selects none.
const generator generators[] = {
    {"jet", jet},       {"lines", lines}, {"pink", pink},     {"prism", prism}, {"spring", spring},
    {"summer", summer}, {"white", white}, {"winter", winter}, {"hsv", hsv},     {"hot", hot},
    {"grey", grey},     {"gray", gray},   {"flag", flag},     {"copper", copper}, {"cool", cool},
    {"bone", bone},     {"black", black}, {"autumn", autumn},
};

Mm map_by_name(const Mm& name)
{
    char text[256];
    Mstr(name, text, sizeof text);
    lowercase_in_place(text);
    if (std::strcmp(text, "default") == 0)
        return jet();
    for (const generator& g : generators)
        if (std::strncmp(text, g.name, std::strlen(g.name)) == 0)
            return g.make();
    error("Unrecognized variation of colormap");
    return Mm();
}

// Checks a numeric map; false (after the error) when it is not one.
bool valid_map(const Mm& map)
{
    const Mm d = mdouble(map.issparse() ? full(map) : map);
    const int n = d.size();
    const double* p = d.gettype() == qv_double ? d.addr() : nullptr;
    bool below = p == nullptr || d.isc();
    bool above = false;
    for (int k = 0; p && k < n; ++k) {
        // A NaN colour is no colour: it fails the lower bound.
        below = below || !(p[k] >= 0);
        above = above || p[k] > 1;
    }
    if (below) {
        error(TM("colormap values should be >=0"));
        return false;
    }
    if (above) {
        error(TM("colormap values should be <=1"));
        return false;
    }
    if (d.cols() != 3 || d.getndims() > 2) {
        error(TM("colormap should have 3 columns"));
        return false;
    }
    return true;
}

} // namespace

Mm colormap()
{
    if (vizmo_current_figure() < 0)
        return jet(Mm(64.0));
    return get(gcf(), pn_ColorMap);
}

Mm colormap(const Mm& map)
{
    if (length(map) == 0)
        return x_M;
    if (map.isstr()) {
        set(gcf(), pn_ColorMap, map_by_name(map));
        return x_M;
    }
    if (valid_map(map))
        set(gcf(), pn_ColorMap, map);
    return x_M;
}

Mm colordef(const Mm& x) { return colordef(Mm(0.0), x); }

Mm colordef(const Mm& a, const Mm& x)
{
    const Mm target = istrue(strcmpi(a, TM("new"))) ? figure(cell(Mm(0.0))) : a;
    if (!x.isstr()) {
        error("colordef(a,x): x= must be 'black','white','none'");
        return target;
    }
    const Mm rgb = color_to_rgb(x);
    const Mm first = target.gettype() == qv_double && target.size() > 0 ? target : mdouble(target);
    if (first.gettype() != qv_double || first.size() < 1) {
        error("colordef(a,x): a must be 0 or a figure handle");
        return target;
    }
    if (*first.addr(1) != 0) {
        whitebg(target, rgb);
    } else {
        set(Mm(0.0), Mm((CL(pn_DefaultAxesColor), rgb)));
        set(Mm(0.0), Mm((CL(pn_DefaultFigureColor), rgb)));
    }
    return target;
}

// ---- colour limits ----

namespace {

Mm real_row(std::initializer_list<double> values)
{
    Mm r(0, 0, 0, 1, static_cast<int>(values.size()), qv_double);
    if (r.size() == static_cast<int>(values.size()))
        std::copy(values.begin(), values.end(), r.addr());
    return r;
}

// The value as real doubles, or an empty value when it holds no numbers.
Mm real_doubles(const Mm& x)
{
    if (x.isstr() || iscell(x) || isstruct(x))
        return Mm();
    const Mm d = x.issparse() ? full(x) : x;
    const Mm r = d.gettype() == qv_double ? d : mdouble(d);
    return r.gettype() == qv_double && !r.isc() ? r : Mm();
}

// The two limits of v; false (after the error) when v does not hold them.
bool two_limits(const Mm& v, double& lo, double& hi)
{
    const Mm d = real_doubles(v);
    if (d.size() < 2) {
        error("caxis: the current axes have no colour limits");
        return false;
    }
    lo = *d.addr(1);
    hi = *d.addr(2);
    return true;
}

} // namespace

Mm caxis() { return get(gca(), pn_CLim); }

Mm caxis(const Mm& c)
{
    if (c.isstr()) {
        set(gca(), pn_CLimMode, c);
    } else if (c.size() == 2) {
        set(gca(), pn_CLim, c);
    } else {
        error("caxes(c) - c must be of [cmin cmax]");
        return x_M;
    }
    // Writing the map again makes the engine recolour with the new limits.
    colormap(colormap());
    return x_M;
}

Mm caxis(i_o_t, Mm& cmin, Mm& cmax)
{
    double lo = 0, hi = 0;
    if (!two_limits(caxis(), lo, hi))
        return x_M;
    cmin = Mm(lo);
    cmax = Mm(hi);
    return cmin;
}

Mm caxis(const Mm& c, i_o_t, Mm& cmin, Mm& cmax)
{
    caxis(c);
    return caxis(i_o, cmin, cmax);
}

// ---- the colour scale ----

Mm colorbar() { return colorbar(TM("vert")); }

Mm colorbar(const Mm& arg)
{
    Mm orientation = TM("vert");
    Mm P;
    if (arg.isstr()) {
        orientation = arg;
        P = gca();
    } else {
        P = arg;
    }
    if (!istrue(ishandle(P))) {
        error(TM("colorbar: cannot locate specified axes"));
        return x_M;
    }
    const Mm pos = real_doubles(get(P, pn_Position));
    const Mm units = get(P, pn_Units);
    if (pos.size() < 4) {
        error(TM("colorbar: the axes have no position"));
        return x_M;
    }
    const double x = *pos.addr(1), y = *pos.addr(2), w = *pos.addr(3), h = *pos.addr(4);
    // The bar takes what the axes give up: a shrink to 85% and a 1% gap.
    const double s = 0.85, g = 0.01;
    const bool vertical = istrue(strcmp(orientation, TM("vert")));
    const int m = colormap().rows();

    Mm bar_position, axes_position, scale;
    if (vertical) {
        bar_position = real_row({x + w * (s + g), y, w * (1 - s - g), h});
        axes_position = real_row({x, y, w * s, h});
        scale = Mm(0, 0, 0, m, 10, qv_double);
        for (int j = 1; j <= 10 && scale.size() == m * 10; ++j)
            for (int i = 1; i <= m; ++i)
                *scale.addr(i, j) = m - i + 1;
    } else {
        bar_position = real_row({x, y, w, h * (1 - s - g)});
        axes_position = real_row({x, y + h * (1 - s), w, h * s});
        scale = Mm(0, 0, 0, 10, m, qv_double);
        for (int j = 1; j <= m && scale.size() == m * 10; ++j)
            for (int i = 1; i <= 10; ++i)
                *scale.addr(i, j) = j;
    }
    const Mm& limit = vertical ? pn_YLim : pn_XLim;
    const Mm& across = vertical ? pn_XLim : pn_YLim;
    const Mm& ticks = vertical ? pn_XTick : pn_YTick;
    const int k = vertical ? 3 : 1;

    set(P, Mm((CL(pn_Position), axes_position)));
    const Mm K = axes(Mm((CL(pn_Units), units, pn_Position, bar_position)));
    image(Mm(CL(scale)));

    double v[4] = {0, 10, 0, 10};
    Mm lim;
    if (istrue(strcmp(get(P, pn_CDataMapping), TM("scaled"))) || get(P, pn_CLim).size() > 0) {
        set(gca(), Mm((CL(limit), get(P, pn_CLim))));
        lim = real_doubles(get(P, pn_CLim));
    } else {
        lim = real_row({1, static_cast<double>(colormap().rows())});
        set(gca(), Mm((CL(limit), lim)));
    }
    // The image fills the bar's frame. Across the bar its ten columns span
    // the limits [0 10] (image() chose [1 11]). Along it the m cells share
    // the colour limits equally: the pair names the centres of the end
    // cells, half a cell in from the limits, written from the high end
    // down, which the engine can only read as centres (a pair of edges
    // rises by the number of cells).
    set(gca(), Mm((CL(across), real_row({0, 10}))));
    if (lim.size() >= 2) {
        const double lo = *lim.addr(1), hi = *lim.addr(2);
        // Each limit shared out first: limits near the largest double
        // have a span no double holds.
        const double half = m > 1 ? hi / (2.0 * m) - lo / (2.0 * m) : 0;
        v[k - 1] = m > 1 ? hi - half : lo;
        v[k] = m > 1 ? lo + half : hi;
    }
    set(gca(), Mm((CL(pn_IMLim), real_row({v[0], v[1], v[2], v[3]}))));
    set(gca(), Mm((CL(ticks), x_M)));
    set(gcf(), Mm((CL(pn_CurrentAxes), P)));
    return K;
}

// ---- a colormap as three curves ----

Mm rgbplot(const Mm& map)
{
    const Mm d = real_doubles(map);
    if (d.size() < 1 || d.cols() != 3 || d.getndims() > 2) {
        error("rgbplot: the colormap must be an m x 3 matrix");
        return x_M;
    }
    const int m = d.rows();
    const Mm t = colon(1.0, 1.0, static_cast<double>(m));
    Mm columns[3];
    for (int j = 0; j < 3; ++j) {
        columns[j] = Mm(0, 0, 0, m, 1, qv_double);
        if (columns[j].size() == m)
            std::copy(d.addr() + static_cast<std::size_t>(j) * m, d.addr() + static_cast<std::size_t>(j + 1) * m,
                      columns[j].addr());
    }
    const Mm h = plot(Mm((CL(t), columns[0], TM("r"), t, columns[1], TM("g"), t, columns[2], TM("b"))));
    axis(real_row({0, static_cast<double>(m), -0.02, 1.02}));
    return h;
}

// ---- shading ----

Mm shading(const Mm& mode)
{
    interp_shading = istrue(strcmpi(mode, pv_interp)) ? 1 : 0;
    // A wire frame has no faces to shade: the setting waits for the next
    // chart. A pcolor after the mesh emptied the record's list and is
    // redrawn below like any other chart.
    const bool wire_frame = std::strncmp(last_surface_chart.name, "mesh", 4) == 0;
    if (wire_frame && length(last_surface_chart.args) > 0)
        return x_M;
    if (length(last_surface_chart.args) > 0) {
        // The redraw records itself over the record it reads from.
        char chart[sizeof last_surface_chart.name];
        std::memcpy(chart, last_surface_chart.name, sizeof chart);
        const Mm args = last_surface_chart.args;
        const Mm view_arg = last_surface_chart.view;
        redraw_surface_chart(chart, args, view_arg);
    } else if (length(last_pcolor_args) > 0) {
        const Mm args = last_pcolor_args;
        pcolor(args);
    }
    set(gca(), pn_Shading, mode);
    return x_M;
}
