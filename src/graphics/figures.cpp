// Figures and the current figure: opening, selecting, clearing, capturing
// and closing figures, the host hand-over of the application handles, and
// the callback steps every object constructor ends with.
#include "graphics/figures.hpp"
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

Mm number(double v) { return Mm(v); }

bool hosted() { return hosted_axes.size() > 0; }

// A text value's characters.
std::string text_of(const Mm& s)
{
    std::string out;
    for (int k = 1, n = s.size(); k <= n && s.gettype() == qv_double; ++k)
        out.push_back(static_cast<char>(*s.addr(k)));
    return out;
}

void kill(double h) { set(number(h), pn_Kill, number(0)); }

// strcmpi's verdict on one pair of values.
bool same_text(const Mm& a, const Mm& b)
{
    const Mm r = strcmpi(a, b);
    return r.size() == 1 && r.gettype() == qv_double && *r.addr(1) != 0;
}

double first_of(const Mm& v) { return v.size() > 0 && v.gettype() == qv_double ? *v.addr(1) : -1; }

// A call's argument list: a cell stays as it is, any other value is the
// list's one element.
Mm as_list(const Mm& a) { return iscell(a) ? a : Mm(CL(a)); }

Mm row4(double a, double b, double c, double d)
{
    Mm r(0, 0, 0, 1, 4, qv_double);
    if (r.size() == 4) {
        double* p = r.addr();
        p[0] = a, p[1] = b, p[2] = c, p[3] = d;
    }
    return r;
}

} // namespace

void run_default_callbacks(const Mm& h, const char* kind)
{
    const std::string create = std::string("Default") + kind + "CreateFcn";
    const std::string remove = std::string("Default") + kind + "DeleteFcn";
    set(h, Mm((CL(pn_CreateFcn), get(number(0), TM(create.c_str())))));
    set(h, Mm((CL(pn_DeleteFcn), get(number(0), TM(remove.c_str())))));
    run_callback_hook(get(h, pn_CreateFcn));
}

Mm open_figure(double n)
{
    const int number_of_figure = static_cast<int>(std::trunc(n));
    if (vizmo_is_handle(n)) {
        const Mm h(vizmo_create_object("Figure", number_of_figure));
        set(h, pn_Show, number(1));
        return h;
    }
    const double made = vizmo_create_object("Figure", number_of_figure);
    const Mm h(made);
    if (made < 0)
        return h;
    set(h, pn_Parent, number(0));
    set(h, pn_FigureIndex, h);
    set(h, pn_Visible, pv_on);
    set(h, pn_Show, number(0));
    clf(pv_reset);
    return h;
}

Mm figure() { return figure(cell(Mm(0.0))); }

Mm figure(const Mm& args)
{
    if (count_data_args(args) == 1) {
        const Mm& first = args.mr(1);
        const double n = first.gettype() == qv_uint8 ? *first.getpr(static_cast<unsigned char*>(nullptr), 1)
                                                     : *first.addr(1);
        if (!(std::fabs(n) < INT_MAX)) {
            error("figure(n): n must be a finite figure number");
            return x_M;
        }
        const Mm h = open_figure(n);
        set_props_from(h, args, 2);
        set(number(0), pn_NeedShow, h);
        return h;
    }
    const Mm h = open_figure(-1);
    set(number(0), pn_NeedShow, h);
    set(h, pn_Units, pv_pixels);
    set(h, pn_Position, get(number(0), pn_DefaultFigurePosition));
    set_props_from(h, args, 1);
    run_default_callbacks(h, "Figure");
    return h;
}

Mm figure_close() { return figure_close(TM("")); }

Mm figure_close(const Mm& p, const Mm&) { return figure_close(p); }

Mm figure_close(const Mm& p)
{
    if (p.isstr()) {
        std::string s = text_of(p);
        std::size_t at = 0;
        while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at])))
            ++at;
        s = s.substr(at);
        const std::string head = s.substr(0, 3);
        if (head.size() == 3 && std::tolower(static_cast<unsigned char>(head[0])) == 'a' &&
            std::tolower(static_cast<unsigned char>(head[1])) == 'l' &&
            std::tolower(static_cast<unsigned char>(head[2])) == 'l') {
            // A figure whose DeleteFcn opens it again would keep this going.
            for (double current = vizmo_current_figure(); current > 0;) {
                kill(current);
                const double next = vizmo_current_figure();
                if (next == current)
                    break;
                current = next;
            }
            return x_M;
        }
        if (!s.empty()) {
            const Mm handles = str2num(TM(s.c_str()));
            bool positive = handles.size() > 0 && handles.gettype() == qv_double;
            for (int k = 1; positive && k <= handles.size(); ++k)
                positive = *handles.addr(k) > 0;
            if (!positive) {
                error("close(p) - valid options are fignum, 'all'");
                return x_M;
            }
            for (int k = 1; k <= handles.size(); ++k)
                kill(*handles.addr(k));
            return x_M;
        }
        kill(vizmo_current_figure());
        return x_M;
    }
    if (p.size() != 1 || (p.gettype() != qv_double && p.gettype() != qv_uint8)) {
        error("figure_close(i) must be a number");
        return x_M;
    }
    set(p, pn_Kill, number(0));
    return x_M;
}

Mm dialog() { return dialog(cell(Mm(0.0))); }

Mm dialog(const Mm& args)
{
    const Mm h = figure();
    set(h, pn_MenuBar, pv_off);
    set(h, pn_NumberTitle, pv_off);
    set(h, pn_Resize, pv_off);
    set_props_from(h, args, 1);
    return h;
}

namespace {

// gcf's work without the result value: the current figure, made when there
// is none, announced to the root. gcf and gca run on every plotting call, so
// the one number goes to the engine directly rather than through set.
double current_figure()
{
    if (vizmo_current_figure() < 0)
        figure();
    double shown = vizmo_current_figure();
    const miniM value{2, {1, 1, 1, 1}, 0, &shown};
    vizmo_set_property(0, "NeedShow", &value);
    return vizmo_current_figure();
}

} // namespace

Mm gcf()
{
    if (hosted())
        return number(0);
    return number(current_figure());
}

Mm drawnow()
{
    if (vizmo_current_figure() > 0)
        vizmo_redraw();
    return x_M;
}

Mm refresh(const Mm& h)
{
    set(h, pn_Refresh, number(1));
    vizmo_redraw();
    return x_M;
}

Mm refresh() { return refresh(gcf()); }

Mm shg() { return refresh(gcf()); }

Mm clf()
{
    vizmo_set_rotate3d_axes(0);
    const Mm f = gcf();
    set(f, pn_KillChilds, number(0));
    set(f, pn_CurrentAxes, number(-1));
    set(f, pn_DefaultAxesPosition, row4(0, 0, 1, 1));
    return gcf();
}

Mm clf(const Mm& opt)
{
    clf();
    const Mm r = strcmpi(opt, pv_reset);
    if (r.size() == 1 && r.gettype() == qv_double && *r.addr(1) != 0) {
        const Mm f = gcf();
        set(f, pn_ColorMap, jet());
        set_given(f, pn_Color, get(number(0), pn_DefaultFigureColor));
        set_given(f, pn_DefaultAxesColor, get(number(0), pn_DefaultAxesColor));
    }
    return gcf();
}

Mm clg()
{
    clf();
    return x_M;
}

Mm capture(const Mm& h, i_o_t, Mm& X, Mm& map)
{
    drawnow();
    X = get(h, "Capture");  // not among the constants: made at the call
    map = get(h, pn_ColorMap);
    return X;
}

Mm capture(const Mm& h)
{
    Mm X, map;
    return capture(h, i_o, X, map);
}

Mm capture() { return capture(gcf()); }

Mm capture(i_o_t, Mm& X, Mm& map) { return capture(gcf(), i_o, X, map); }

namespace {

// An axes is captured through its figure.
Mm frame_owner(const Mm& h)
{
    const Mm type = get(h, pn_Type);
    if (text_of(type) == "axes")
        return get(h, pn_Parent);
    return h;
}

} // namespace

Mm getframe(const Mm& h, i_o_t, Mm& X, Mm& map) { return capture(frame_owner(h), i_o, X, map); }

Mm getframe(const Mm& h) { return capture(frame_owner(h)); }

Mm getframe() { return capture(gcf()); }

Mm getframe(i_o_t, Mm& X, Mm& map) { return capture(gcf(), i_o, X, map); }

Mm setapplicationhandle(void* handle)
{
    vizmo_set_application_handle(handle);
    return x_M;
}

Mm setapplicationkeyhandle(void* handle)
{
    vizmo_set_application_key_handle(handle);
    return x_M;
}

Mm vizmocrash()
{
    vizmo_create_object(nullptr, -1);
    return x_M;
}

Mm winaxes(void* window)
{
    vizmo_set_hosted_mode(1);
    hosted_axes = Mm(vizmo_create_object("Axes", -1));
    set(number(0), pn_ColorMap, jet());
    set(hosted_axes, pn_Parent, number(0));
    // The whole pointer: a 32-bit cut would lose the upper half of a 64-bit
    // address.
    set(hosted_axes, TM("WinParent"), number(static_cast<double>(reinterpret_cast<std::intptr_t>(window))));
    set(hosted_axes, pn_NextPlot, pv_replace);
    set(hosted_axes, pn_Clear, number(0));
    set(hosted_axes, pn_Refresh, number(1));
    return hosted_axes;
}

Mm vbaxes(const Mm& window)
{
    // Such hosts pass a 32-bit window number: read as one, then widened.
    const double first = window.size() > 0 && window.gettype() == qv_double ? *window.addr(1) : 0;
    const std::int32_t w = std::isfinite(first) && std::fabs(first) < 2147483648.0 ? static_cast<std::int32_t>(first) : 0;
    return winaxes(reinterpret_cast<void*>(static_cast<std::intptr_t>(w)));
}

// ---- axes and the current axes ----

namespace {

// The current axes' handle, or -1, without creating a figure or an axes.
double current_axes()
{
    if (hosted())
        return first_of(hosted_axes);
    if (vizmo_current_figure() <= 0)
        return -1;
    return first_of(get(number(vizmo_current_figure()), pn_CurrentAxes));
}

} // namespace

Mm gca()
{
    if (hosted())
        return hosted_axes;
    // A lone number is read straight from the engine; anything else goes
    // through get.
    const auto lone_number = [](const miniM* m) {
        return m && !m->isString && m->data && m->dims[0] * m->dims[1] * m->dims[2] * m->dims[3] == 1;
    };
    double f = current_figure();
    const miniM* now = vizmo_get_property(f, "CurrentAxes");
    if (lone_number(now) && now->data[0] >= 0)
        return number(now->data[0]);
    if (!now || !now->data || now->data[0] < 0) {
        axes();
        f = current_figure();
    }
    const miniM* result = vizmo_get_property(f, "CurrentAxes");
    return lone_number(result) ? number(result->data[0]) : get(number(f), pn_CurrentAxes);
}

Mm axes() { return axes(cell(Mm(0.0))); }

Mm axes(const Mm& args)
{
    const int k = count_data_args(args);
    if (k == 1) {
        const Mm h = args.mr(1);
        if (!vizmo_is_handle(first_of(h))) {
            error("axes(h): h is not a valid handle");
            return h;
        }
        set(gcf(), pn_CurrentAxes, h);
        if (hosted())
            hosted_axes = h;
        return h;
    }
    Mm parent = findpropvalue(pn_Parent, pv_empty_text, args, k + 1);
    parent = number(first_of(same_text(parent, pv_empty_text) ? gcf() : parent));
    Mm units = findpropvalue(pn_Units, pv_normalized, args, k + 1);
    Mm pos = findpropvalue(pn_Position, pv_empty_text, args, k + 1);
    if (same_text(pos, pv_empty_text)) {
        pos = get(parent, pn_DefaultAxesPosition);
        units = pv_normalized;
    }
    const Mm h(vizmo_create_object("Axes", -1));
    set(h, pn_Parent, parent);
    set(h, pn_Refresh, number(0));
    set(h, pn_Units, units);
    set(h, pn_Position, pos);
    set(h, pn_NextPlot, pv_replace);
    set(gcf(), pn_CurrentAxes, h);
    cla(pv_reset);
    set_given(h, pn_Color, get(parent, pn_DefaultAxesColor));
    set_props_from(h, args, k + 1);
    run_default_callbacks(h, "Axes");
    return h;
}

Mm axis(const Mm& a, const Mm& b)
{
    axes(as_list(a));
    axes(as_list(b));
    return x_M;
}

Mm axis(const Mm& a, const Mm& b, const Mm& c)
{
    axes(as_list(a));
    axes(as_list(b));
    axes(as_list(c));
    return x_M;
}

Mm axesposition(const Mm& a, const Mm& b, const Mm& c, const Mm& d)
{
    for (const Mm* v : {&a, &b, &c, &d}) {
        if (v->size() < 1 || v->gettype() != qv_double || v->isstr()) {
            error("axesposition(a,b,c,d): a, b, c, d must be numbers");
            return x_M;
        }
    }
    set(gca(), pn_RealPosition, row4(*a.addr(1), *b.addr(1), *c.addr(1), *d.addr(1)));
    return x_M;
}

Mm cla()
{
    if (!hosted())
        set(gca(), pn_Refresh, number(0));
    for (const Mm* label : {&pn_XLabel, &pn_YLabel, &pn_ZLabel, &pn_Title})
        set(gca(), Mm((CL(*label), Mm())));
    set(gca(), pn_KillChilds, number(0));
    set(gca(), pn_Clear, number(1));
    const Mm blank(CL(pv_empty_text));
    xlabel(blank);
    ylabel(blank);
    zlabel(blank);
    title(blank);
    return gca();
}

Mm cla(const Mm&)
{
    set(gca(), Mm((CL(pn_Reset), number(1))));
    cla();
    vizmo_set_surface_axes(0);
    grid(pv_off);
    view(number(2));
    return gca();
}

Mm newplot()
{
    if (hosted())
        return hosted_axes;
    const Mm next = get(gca(), pn_NextPlot);
    if (same_text(next, pv_replacechildren))
        set(gca(), TM("KillSerieses"), number(1));
    else if (same_text(next, pv_replace))
        cla(pv_reset);
    return gca();
}

Mm reset(const Mm& h)
{
    const std::string type = text_of(get(h, pn_Type));
    if (type == "axes") {
        axes(Mm(CL(h)));
        cla();
    } else if (type == "figure") {
        figure(Mm(CL(h)));
        clf();
    } else {
        set(h, pn_KillChilds, number(0));
        set(h, pn_Clear, number(0));
    }
    return x_M;
}

Mm create_object_sequence(const object_kind& kind, const Mm& args,
                          const std::function<void(const Mm& h, const Mm& parent)>& data)
{
    const int k = count_data_args(args);
    Mm parent = findpropvalue(pn_Parent, pv_empty_text, args, k + 1);
    bool current = true;
    if (same_text(parent, pv_empty_text)) {
        parent = kind.figure_parent ? gcf() : gca();
    } else {
        parent = number(first_of(parent));
        current = first_of(parent) == current_axes();
    }
    if (kind.refresh_parent)
        set(parent, pn_Refresh, number(0));
    Mm saved;
    if (kind.hold_next_plot) {
        saved = get(parent, pn_NextPlot);
        set(parent, pn_NextPlot, pv_add);
        // An explicit other parent is already at "add": only the current
        // axes may be prepared (or cleared) for the new object.
        if (current)
            newplot();
    }
    const Mm h(vizmo_create_object(kind.type_name, -1));
    set(h, pn_ChartType, TM(kind.chart_type));
    set(h, pn_Parent, parent);
    if (data)
        data(h, parent);
    if (kind.apply_pairs)
        set_props_from(h, args, k + 1);
    const std::string create = std::string("Default") + kind.callbacks + "CreateFcn";
    const std::string remove = std::string("Default") + kind.callbacks + "DeleteFcn";
    set(h, Mm((CL(pn_CreateFcn), get(number(0), TM(create.c_str())))));
    set(h, Mm((CL(pn_DeleteFcn), get(number(0), TM(remove.c_str())))));
    if (kind.run_create)
        run_callback_hook(get(h, pn_CreateFcn));
    // Back on the axes it was saved from, whatever became current meanwhile.
    if (kind.hold_next_plot)
        set(parent, pn_NextPlot, saved);
    return h;
}
