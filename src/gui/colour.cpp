// Colour control: the current figure's colormap, by matrix or by generator
// name, and the default background colours.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <cmath>
#include <cstring>

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
