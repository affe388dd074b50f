// Patches and lines made from the language: the data forms go through the
// series engine, the pair forms create a bare object on the axes.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/host.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "vizmo4510.h"

namespace {

Mm number(double v) { return Mm(v); }

// The axes' "NextPlot" goes back to what it was on every way out, errors
// included: a failed constructor must not leave the axes holding.
class next_plot_restorer {
public:
    explicit next_plot_restorer(const Mm& axes) : axes_(axes), saved_(get(axes, pn_NextPlot)) {}
    ~next_plot_restorer()
    {
        // Best effort while an error unwinds: a second error must not escape.
        try {
            set(axes_, pn_NextPlot, saved_);
        } catch (...) {
        }
    }
    next_plot_restorer(const next_plot_restorer&) = delete;
    next_plot_restorer& operator=(const next_plot_restorer&) = delete;

private:
    Mm axes_;
    Mm saved_;
};

int length_of(const Mm& v)
{
    if (v.size() == 0)
        return 0;
    return v.rows() > v.cols() ? v.rows() : v.cols();
}

// Row c of the current colormap.
Mm colormap_row(const Mm& c)
{
    const Mm map = colormap();
    const double k = *c.addr(1);
    const int rows = map.rows();
    if (!(k >= 1 && k <= rows) || k != static_cast<int>(k)) {
        error("patch: colour index %g is outside the colormap (1 to %d)", k, rows);
        return Mm();
    }
    const int r = static_cast<int>(k);
    Mm out(0, 0, 0, 1, 3, qv_double);
    if (out.size() != 3)
        return Mm();
    for (int j = 0; j < 3; ++j)
        out.addr()[j] = *map.addr(r + j * rows);
    return out;
}

void finish(const Mm& h, const Mm& args, int start, const char* create_name, const char* delete_name)
{
    set_props_from(h, args, start);
    set(h, Mm((CL(pn_CreateFcn), get(number(0), TM(create_name)))));
    set(h, Mm((CL(pn_DeleteFcn), get(number(0), TM(delete_name)))));
    run_callback_hook(get(h, pn_CreateFcn));
}

} // namespace

Mm patch() { return patch(cell(number(0))); }

Mm patch(const Mm& args)
{
    const int n = args.size();
    if (n == 0) {
        error(TM("patch needs to have at least one parameter"));
        return number(-1);
    }
    const int nd = count_data_args(args);
    if (nd == 1) {
        error(TM("patch: cannot comprehend format"));
        return number(-1);
    }
    next_plot_restorer restore(gca());
    set(gca(), pn_NextPlot, pv_add);
    Mm h;
    int start = 1;
    if (nd == 0) {
        newplot();
        h = Mm(vizmo_create_object("patch", -1));
        set(h, pn_ChartType, TM("patch"));
        set(h, pn_Parent, gca());
    } else if (nd == 2) {
        h = plot2("patch", 2, args);
        start = n + 1;
    } else if (nd % 2 == 1) {
        const Mm& c = args.mr(3);
        const int len = length_of(c);
        if (len == 3) {
            h = plot2("patch", 2, Mm((CL(args.mr(1)), args.mr(2), pn_Color, c)));
        } else if (len == 1) {
            const Mm colour = colormap_row(c);
            if (colour.size() != 3)
                return number(-1);
            h = plot2("patch", 2, Mm((CL(args.mr(1)), args.mr(2), pn_Color, colour)));
            // The index stays with the patch, so that its face follows the
            // figure's colormap when the map changes.
            set(h, pn_CData, c);
        } else {
            error("patch(x,y,z) is not supported yet.");
            h = plot2("patch", 2, Mm((CL(args.mr(1)), args.mr(2), c)));
        }
        start = 4;
    } else {
        error("patch(x,y,z) is not supported yet.");
        h = plot2("patch", 3, Mm((CL(args.mr(1)), args.mr(2), args.mr(3), args.mr(4))));
        start = 5;
    }
    finish(h, args, start, "DefaultPatchCreateFcn", "DefaultPatchDeleteFcn");
    return h;
}

Mm fill(const Mm& args) { return patch(args); }

Mm rectangle(const Mm& args) { return patch(args); }

Mm line() { return line(cell(number(0))); }

Mm line(const Mm& args)
{
    const int n = args.size();
    if (n == 0) {
        error(TM("line needs to have at least one parameter"));
        return number(-1);
    }
    const int nd = count_data_args(args);
    if (nd == 1) {
        error(TM("line: cannot comprehend format"));
        return number(-1);
    }
    Mm p = findpropvalue(pn_Parent, TM(""), args, nd + 1);
    if (p.isstr() && p.size() == 0)
        p = gca();
    const Mm current = gca();
    const bool elsewhere = p.size() != 1 || *p.addr(1) != *current.addr(1);
    set(p, pn_Refresh, number(0));
    next_plot_restorer restore(p);
    set(p, pn_NextPlot, pv_add);
    Mm h;
    int start = 1;
    if (nd == 0) {
        // Clearing is for the axes the line goes to; another axes is left alone.
        if (!elsewhere)
            newplot();
        h = Mm(vizmo_create_object("line", -1));
        set(h, pn_ChartType, pv_plot);
        set(h, pn_Parent, p);
    } else {
        // The series engine draws into the current axes: hold it while the
        // series is made there, the pairs then move it to p.
        next_plot_restorer hold_current(current);
        if (elsewhere)
            set(current, pn_NextPlot, pv_add);
        if (nd % 2 == 1) {
            h = plot3(Mm((CL(args.mr(1)), args.mr(2), args.mr(3))));
            start = 4;
        } else {
            h = plot(Mm((CL(args.mr(1)), args.mr(2))));
            start = 3;
        }
    }
    finish(h, args, start, "DefaultLineCreateFcn", "DefaultLineDeleteFcn");
    return h;
}
