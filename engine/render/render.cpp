// Draws a figure's object tree with cairo: the figure, its controls and
// menus, flat axes with their box, ticks, labels and legend, series of
// every chart type, surfaces and images; and the files and rasters made of
// it. Raster and SVG share every drawing call. Axes seen in 3-D are in
// render3d.cpp.
#include "render.hpp"

#include "painter.hpp"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>

namespace vizmo::render {

namespace paint {

void Painter::figure()
{
    Rgb bg{0.8, 0.8, 0.8};
    colour(fig, "Color", bg);
    set_colour(cr, bg);
    cairo_paint(cr);
    double menu_x = 4;
    // Children in attachment order: the first drawn lies underneath.
    std::vector<double> kids;
    for (double h : fig.children)
        if (const Object* o = find(h); o && !o->dying && o->parent >= 0)
            kids.push_back(h);
    for (double h : kids)
        if (const Object& o = *find(h); o.kind == Kind::axes && !equal_folded(prop_text(o, "Visible"), "off"))
            boxes.emplace_back(&o, placement(o));
    for (double h : kids) {
        const Object& o = *find(h);
        // An invisible axes still shows its contents, only undecorated.
        if (o.kind != Kind::axes && equal_folded(prop_text(o, "Visible"), "off"))
            continue;
        if (o.kind == Kind::axes)
            axes(h, o);
        else if (o.kind == Kind::uicontrol)
            control(o);
        else if (o.kind == Kind::uimenu) {
            const std::string label = text_of(o, "Label").empty() ? text_of(o, "String") : text_of(o, "Label");
            cairo_set_source_rgb(cr, 0, 0, 0);
            show_text(cr, label, menu_x, 3, 11, 0, 0);
            menu_x += text_width(cr, label, 11) + 12;
        }
    }
}

void Painter::control(const Object& c)
{
    std::vector<double> pos = numbers(c, "Position");
    if (pos.size() < 4)
        return;
    if (equal_folded(prop_text(c, "Units"), "normalized")) {
        pos[0] *= width;
        pos[2] *= width;
        pos[1] *= height;
        pos[3] *= height;
    }
    const double x = pos[0], y = height - pos[1] - pos[3], w = pos[2], h = pos[3];
    Rgb bg{0.8, 0.8, 0.8}, fg{0, 0, 0};
    colour(c, "BackgroundColor", bg);
    colour(c, "ForegroundColor", fg);
    // A static text is its text on its background, without a border; a
    // control of no width or no height has no box to draw (a label placed
    // by its centre point shows only its text).
    const bool label = c.style == "text";
    if (w > 0 && h > 0) {
        cairo_rectangle(cr, x, y, w, h);
        set_colour(cr, bg);
        if (label) {
            cairo_fill(cr);
        } else {
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
        }
    }
    const double value = prop_number(c, "Value", 0);
    if (c.style == "progressbar" || c.style == "slider") {
        const double lo = prop_number(c, "Min", 0), hi = prop_number(c, "Max", c.style == "slider" ? 1 : 100);
        const double at = (value - lo) / (hi - lo);
        const double t = hi > lo && !std::isnan(at) ? std::clamp(at, 0.0, 1.0) : 0;
        cairo_rectangle(cr, x + 1, y + 1, (w - 2) * t, h - 2);
        cairo_set_source_rgb(cr, 0.2, 0.4, 0.8);
        cairo_fill(cr);
    }
    double text_x = x + 4;
    if (c.style == "checkbox" || c.style == "radiobutton") {
        const double s = std::min(h - 4, 12.0);
        cairo_rectangle(cr, x + 3, y + (h - s) / 2, s, s);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill_preserve(cr);
        set_colour(cr, fg);
        cairo_stroke(cr);
        if (value != 0) {
            cairo_rectangle(cr, x + 5, y + (h - s) / 2 + 2, s - 4, s - 4);
            cairo_fill(cr);
        }
        text_x += s + 4;
    }
    set_colour(cr, fg);
    const std::vector<std::string> items = control_items(c);
    const double size = std::clamp(h * 0.6, 6.0, 12.0);
    if (c.style == "listbox") {
        // One item per line, every chosen one (the whole numbers of Value,
        // counted from 1) marked. The list starts at ListboxTop when the
        // program wrote one, else where the first chosen item shows whole;
        // the lines that do not fit are cut off.
        const double line = size + 4;
        std::vector<bool> chosen(items.size(), false);
        std::size_t first = items.size();
        for (double v : numbers(c, "Value"))
            if (v >= 1 && v <= static_cast<double>(items.size()) && v == std::floor(v)) {
                chosen[static_cast<std::size_t>(v) - 1] = true;
                first = std::min(first, static_cast<std::size_t>(v) - 1);
            }
        const std::size_t whole = static_cast<std::size_t>(std::max(1.0, std::floor((h - 2) / line)));
        std::size_t start = 0;
        if (const std::vector<double> top = numbers(c, "ListboxTop");
            !top.empty() && top[0] >= 1 && top[0] <= static_cast<double>(items.size()))
            start = static_cast<std::size_t>(top[0]) - 1;
        else if (first < items.size() && first >= whole)
            start = first + 1 - whole;
        cairo_save(cr);
        cairo_rectangle(cr, x + 1, y + 1, std::max(0.0, w - 2), std::max(0.0, h - 2));
        cairo_clip(cr);
        for (std::size_t k = start; k < items.size() && 2 + (k - start) * line < h; ++k) {
            const double top = y + 2 + static_cast<double>(k - start) * line;
            if (chosen[k]) {
                cairo_rectangle(cr, x + 2, top, w - 4, line);
                cairo_set_source_rgb(cr, 0.2, 0.4, 0.8);
                cairo_fill(cr);
                cairo_set_source_rgb(cr, 1, 1, 1);
            } else {
                set_colour(cr, fg);
            }
            show_text(cr, items[k], text_x, top + line / 2, size, 0, 0.5);
        }
        cairo_restore(cr);
        return;
    }
    if (c.style == "popupmenu") {
        // The chosen item (Value, counted from 1; the first when none is
        // chosen) beside the arrow that opens the list.
        const std::size_t chosen = value >= 1 && value <= static_cast<double>(items.size())
                                       ? static_cast<std::size_t>(value) - 1
                                       : 0;
        if (!items.empty())
            show_text(cr, items[chosen], text_x, y + h / 2, size, 0, 0.5);
        const double a = std::min(h * 0.3, 5.0);
        cairo_move_to(cr, x + w - 6 - 2 * a, y + h / 2 - a / 2);
        cairo_line_to(cr, x + w - 6, y + h / 2 - a / 2);
        cairo_line_to(cr, x + w - 6 - a, y + h / 2 + a / 2);
        cairo_close_path(cr);
        cairo_fill(cr);
        return;
    }
    if (label) {
        // A static text shows every line, stacked about its centre.
        show_lines(cr, items, x + w / 2, y + h / 2, size, 0.5, 0.5);
        return;
    }
    show_text(cr, items.empty() ? std::string() : items[0], text_x, y + h / 2, size, 0, 0.5);
}

void Painter::hosted(double h, const Object& ax)
{
    Rgb bg{0.8, 0.8, 0.8};
    colour(fig, "DefaultFigureColor", bg);
    set_colour(cr, bg);
    cairo_paint(cr);
    axes(h, ax);
}

std::vector<double> Painter::placement(const Object& ax) const
{
    std::vector<double> pos = numbers(ax, "RealPosition");
    if (pos.size() < 4)
        pos = numbers(ax, "Position");
    // An axes a host window holds fills that window.
    if (pos.size() < 4 || ax.parent == 0)
        pos = {0, 0, 1, 1};
    pos.resize(4);
    if (equal_folded(prop_text(ax, "Units"), "pixels")) {
        pos[0] /= width;
        pos[2] /= width;
        pos[1] /= height;
        pos[3] /= height;
    }
    return pos;
}

struct Point {
    double x, y;
};

// A series that a second axis carries (as plotyy marks its second one).
bool on_right(const Object& o) { return equal_folded(prop_text(o, "YAxisLocation"), "right"); }
bool on_top(const Object& o) { return equal_folded(prop_text(o, "XAxisLocation"), "top"); }

bool stacked_bars(const Object& o)
{
    const std::string chart = fold(prop_text(o, "ChartType"));
    return (chart == "bar" || chart == "barh") && fold(prop_text(o, "Stacktype")).find("stack") != std::string::npos;
}

std::vector<const Object*> shown_items(double h, const Object& ax)
{
    std::vector<const Object*> items;
    for (double c : ax.children)
        if (const Object* o = find(c); o && o->parent == h && !equal_folded(prop_text(*o, "Visible"), "off"))
            items.push_back(o);
    return items;
}

std::map<const Object*, std::vector<double>> area_bases(const std::vector<const Object*>& items)
{
    std::map<const Object*, std::vector<double>> bases;
    bool piling = false;
    std::vector<double> pile_x, top;
    for (const Object* o : items) {
        if (!equal_folded(prop_text(*o, "ChartType"), "area") || is_text(*o))
            continue;
        const std::vector<double> xd = numbers(*o, "XData"), yd = numbers(*o, "YData");
        if (!(piling && pile_x == xd && top.size() == yd.size()))
            top.assign(yd.size(), 0);
        bases[o] = top;
        for (std::size_t k = 0; k < yd.size(); ++k)
            if (std::isfinite(yd[k]))
                top[k] += yd[k];
        pile_x = xd;
        piling = true;
    }
    return bases;
}

bool image_extent(const Object& ax, double& x0, double& x1, double& y0, double& y1)
{
    const Prop* cd = prop(ax, "CData");
    if (!cd || cd->is_string || (cd->is_bytes ? cd->bytes.empty() : cd->data.empty()))
        return false;
    const int rows = cd->dims[0], cols = cd->dims[1];
    if (rows < 1 || cols < 1)
        return false;
    const std::vector<double> im = numbers(ax, "IMLim");
    // The limits span either the pixel edges (image) or the pixel centres
    // (imagesc); a single cell spans one unit about its centre unless its
    // edges are given.
    auto edges = [&im](int at, int n, double& e0, double& e1) {
        const double lo = im.size() >= 4 ? im[at] : NAN, hi = im.size() >= 4 ? im[at + 1] : NAN;
        if (!(std::isfinite(lo) && std::isfinite(hi)) || (lo == hi && n > 1)) {
            e0 = 1;
            e1 = n + 1;
        } else if (std::fabs((hi - lo) - n) < 1e-9 * std::max(1.0, std::fabs(n))) {
            e0 = lo;
            e1 = hi;
        } else if (n == 1) {
            e0 = lo - 0.5;
            e1 = hi + 0.5;
        } else {
            // Each centre shared out first: centres near the largest double
            // have a span no double holds.
            const double step = hi / (n - 1) - lo / (n - 1);
            e0 = lo - step / 2;
            e1 = hi + step / 2;
        }
    };
    edges(0, cols, x0, x1);
    edges(2, rows, y0, y1);
    return true;
}

namespace {

// Whether a series shows markers (a stem shows circles when it names none)
// or caps at the ends of its lines, which the frame should not cut.
bool marked(const Object& o, const std::string& chart)
{
    const int mark = int_of(o, "Marker", -1);
    return chart == "stem" || (mark >= 0 && mark <= 12) || prop_number(o, "CapSize", 0) > 0;
}

// Moves an automatic limit out by half a round step where a marker or the
// end of a bar would sit on the frame: within 3% of the span of it.
void clear_of_frame(double& lo, double& hi, bool log, double need_lo, double need_hi)
{
    if (!(lo < hi))
        return;
    const double a = log ? std::log10(lo) : lo, b = log ? std::log10(hi) : hi;
    const double span = b / 2 - a / 2, near = 0.06 * span;
    const double nlo = log ? std::log10(need_lo) : need_lo, nhi = log ? std::log10(need_hi) : need_hi;
    double half_step = 0.5;
    if (!log) {
        const double step = std::pow(10, std::floor(std::log10(span / 2.5)));
        half_step = (span / step > 12.5 ? 5 * step : span / step > 5 ? 2 * step : step) / 2;
    }
    // Not past the doubles: the frame stays where a double can say.
    const double up = log ? std::pow(10, b + half_step) : hi + half_step;
    const double down = log ? std::pow(10, a - half_step) : lo - half_step;
    if (std::isfinite(nhi) && nhi / 2 >= b / 2 - near && std::isfinite(up))
        hi = up;
    if (std::isfinite(nlo) && nlo / 2 <= a / 2 + near && std::isfinite(down) && (!log || down > 0))
        lo = down;
}

} // namespace

FlatLimits flat_limits(const Object& ax, const std::vector<const Object*>& items)
{
    // Data ranges: [0] the axes' own x and y, [1] the second axes'.
    double xlo[2] = {INFINITY, INFINITY}, xhi[2] = {-INFINITY, -INFINITY};
    double ylo[2] = {INFINITY, INFINITY}, yhi[2] = {-INFINITY, -INFINITY};
    // What must not sit on the frame of the first axes: markers, bar ends.
    double need_xlo = INFINITY, need_xhi = -INFINITY, need_ylo = INFINITY, need_yhi = -INFINITY;
    const bool xlog = equal_folded(prop_text(ax, "XScale"), "log"), ylog = equal_folded(prop_text(ax, "YScale"), "log");
    auto widen = [](double v, double& lo, double& hi, bool log) {
        if (std::isfinite(v) && (!log || v > 0)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    // Stacked bars pile positive parts up and negative parts down from 0.
    std::vector<double> up[2], down[2];  // per bar: vertical, horizontal
    const std::map<const Object*, std::vector<double>> bases = area_bases(items);
    FlatLimits out;
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        const int xi = on_top(*o) && !is_text(*o) ? 1 : 0, yi = on_right(*o) && !is_text(*o) ? 1 : 0;
        out.x2_used = out.x2_used || xi;
        out.y2_used = out.y2_used || yi;
        if (chart == "text" || chart == "text3") {
            const std::vector<double> p = numbers(*o, "Position");
            if (p.size() >= 2) {
                widen(p[0], xlo[0], xhi[0], xlog);
                widen(p[1], ylo[0], yhi[0], ylog);
            }
            continue;
        }
        const std::vector<double> xd = numbers(*o, "XData"), yd = numbers(*o, "YData");
        for (double v : xd)
            widen(v, xlo[xi], xhi[xi], xlog && !xi);
        if (const auto base = bases.find(o); base != bases.end()) {
            // An area reaches from its base to its base plus its values.
            for (std::size_t k = 0; k < yd.size() && k < base->second.size(); ++k)
                if (std::isfinite(yd[k]))
                    widen(base->second[k] + yd[k], ylo[yi], yhi[yi], ylog && !yi);
        } else {
            for (double v : yd)
                widen(v, ylo[yi], yhi[yi], ylog && !yi);
        }
        if (chart == "bar" || chart == "area" || chart == "stem")
            widen(0, ylo[yi], yhi[yi], ylog && !yi);
        if (chart == "barh")
            widen(0, xlo[xi], xhi[xi], xlog && !xi);
        if (!xi && !yi && marked(*o, chart) && chart != "bar" && chart != "barh")
            for (std::size_t k = 0; k < xd.size() && k < yd.size(); ++k)
                if (std::isfinite(xd[k]) && std::isfinite(yd[k])) {
                    widen(xd[k], need_xlo, need_xhi, xlog);
                    widen(yd[k], need_ylo, need_yhi, ylog);
                }
        if (chart == "bar" || chart == "barh") {
            const bool vertical = chart == "bar";
            // The outer bars reach half a step beyond their positions.
            const std::vector<double>& at = vertical ? xd : yd;
            const std::vector<double>& len = vertical ? yd : xd;
            double step = INFINITY;
            for (std::size_t k = 1; k < at.size(); ++k)
                if (std::isfinite(at[k]) && std::isfinite(at[k - 1]) && at[k] != at[k - 1])
                    step = std::min(step, std::fabs(at[k] - at[k - 1]));
            if (!std::isfinite(step))
                step = 1;
            for (double v : at)
                for (double edge : {v - step / 2, v + step / 2})
                    vertical ? widen(edge, xlo[xi], xhi[xi], xlog && !xi) : widen(edge, ylo[yi], yhi[yi], ylog && !yi);
            // The far ends of the bars, away from 0.
            double& far_lo = vertical ? need_ylo : need_xlo;
            double& far_hi = vertical ? need_yhi : need_xhi;
            const bool mine = !xi && !yi;
            const bool stacked = stacked_bars(*o);
            std::vector<double>& u = up[vertical ? 0 : 1];
            std::vector<double>& d = down[vertical ? 0 : 1];
            if (stacked && u.size() < len.size()) {
                u.resize(len.size(), 0);
                d.resize(len.size(), 0);
            }
            for (std::size_t k = 0; k < len.size(); ++k) {
                if (!std::isfinite(len[k]))
                    continue;
                double end = len[k];
                if (stacked) {
                    double& pile = len[k] >= 0 ? u[k] : d[k];
                    pile += len[k];
                    end = pile;
                    vertical ? widen(end, ylo[yi], yhi[yi], ylog && !yi) : widen(end, xlo[xi], xhi[xi], xlog && !xi);
                }
                if (mine && end > 0)
                    far_hi = std::max(far_hi, end);
                if (mine && end < 0)
                    far_lo = std::min(far_lo, end);
            }
        }
    }
    out.x.log = xlog;
    out.y.log = ylog;
    // An image fills the limits chosen for it; data besides it widen them
    // to round steps.
    double ix0, ix1, iy0, iy1;
    const bool image = image_extent(ax, ix0, ix1, iy0, iy1);
    auto automatic = [&](double lo, double hi, bool log, double image_lo, double image_hi, double need_lo,
                         double need_hi, double& out_lo, double& out_hi) {
        const bool data = lo <= hi;
        if (data || !image) {
            nice_limits(lo, hi, log);
            clear_of_frame(lo, hi, log, need_lo, need_hi);
        }
        if (image) {
            lo = data ? std::min(lo, image_lo) : image_lo;
            hi = data ? std::max(hi, image_hi) : image_hi;
        }
        out_lo = lo;
        out_hi = hi;
    };
    double auto_x[2], auto_y[2];
    automatic(xlo[0], xhi[0], xlog, std::min(ix0, ix1), std::max(ix0, ix1), need_xlo, need_xhi, auto_x[0], auto_x[1]);
    automatic(ylo[0], yhi[0], ylog, std::min(iy0, iy1), std::max(iy0, iy1), need_ylo, need_yhi, auto_y[0], auto_y[1]);
    if (!manual_limits(ax, "X", out.x.lo, out.x.hi))
        out.x.lo = auto_x[0], out.x.hi = auto_x[1];
    if (!manual_limits(ax, "Y", out.y.lo, out.y.hi))
        out.y.lo = auto_y[0], out.y.hi = auto_y[1];
    nice_limits(xlo[1], xhi[1], false);
    nice_limits(ylo[1], yhi[1], false);
    out.x2.lo = xlo[1], out.x2.hi = xhi[1];
    out.y2.lo = ylo[1], out.y2.hi = yhi[1];
    // Limits written largest first, or "YDir" "inverted", turn the axis over.
    if (out.x.lo > out.x.hi) {
        std::swap(out.x.lo, out.x.hi);
        out.x.reversed = true;
    }
    if (out.y.lo > out.y.hi) {
        std::swap(out.y.lo, out.y.hi);
        out.y.reversed = true;
    }
    if (xlog)
        positive_limits(out.x.lo, out.x.hi, auto_x[0], auto_x[1]);
    if (ylog)
        positive_limits(out.y.lo, out.y.hi, auto_y[0], auto_y[1]);
    if (equal_folded(prop_text(ax, "YDir"), "reverse") || equal_folded(prop_text(ax, "YDir"), "inverted")) {
        out.y.reversed = !out.y.reversed;
        out.y2.reversed = !out.y2.reversed;
    }
    if (equal_folded(prop_text(ax, "XDir"), "reverse")) {
        out.x.reversed = !out.x.reversed;
        out.x2.reversed = !out.x2.reversed;
    }
    // A second x axis over the first one's limits would only repeat its labels.
    if (out.x2_used && !out.x.log && out.x2.lo == out.x.lo && out.x2.hi == out.x.hi)
        out.x2_used = false;
    return out;
}

namespace {

// The labels of a flat axis: the ticks' texts, the pixels they lie at
// along the axis, and which of them show.
struct AxisLabels {
    std::vector<double> ticks;
    std::vector<std::string> text;
    std::vector<double> at;      // the ticks
    std::vector<double> centre;  // the labels: under their ticks, or moved in from the figure's edge
    std::vector<bool> shown;
    double widest = 0;  // of those shown
};

// A label side by side with others (an x axis' label) near the figure's
// edge moves in to show whole; figure_width 0 leaves labels at their ticks.
AxisLabels axis_labels(cairo_t* cr, const Object& ax, const Scale& s, const std::vector<double>& t,
                       const char* date_name, bool side_by_side, double size, double figure_width = 0)
{
    AxisLabels l;
    l.ticks = t;
    l.text = axis_tick_labels(ax, t, date_name, s.log);
    for (std::size_t k = 0; k < t.size(); ++k) {
        l.at.push_back(std::round(s.pixel(t[k])) + 0.5);
        const double half = label_width(cr, l.text[k], size) / 2;
        l.centre.push_back(side_by_side && half * 2 + 2 < figure_width
                               ? std::clamp(l.at[k], half + 1, figure_width - half - 1)
                               : l.at[k]);
    }
    l.shown = thinned(cr, l.text, l.centre, t, side_by_side, size);
    for (std::size_t k = 0; k < t.size(); ++k)
        if (l.shown[k])
            l.widest = std::max(l.widest, label_width(cr, l.text[k], size));
    return l;
}

} // namespace

void Painter::axes(double h, const Object& ax)
{
    const std::vector<double> pos = placement(ax);
    double bx = pos[0] * width, bw = pos[2] * width;
    double by = height - (pos[1] + pos[3]) * height, bh = pos[3] * height;
    const bool decorated = !equal_folded(prop_text(ax, "Visible"), "off");
    const std::vector<const Object*> items = shown_items(h, ax);
    double az, el;
    view_of(ax, az, el);
    const bool flat = drawn_flat(ax, items, az, el);
    std::optional<FlatLimits> lim;
    if (flat)
        lim = flat_limits(ax, items);
    bool polar = false, pie = false;
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        polar = polar || chart == "polar";
        pie = pie || chart == "pie";
    }
    const bool round = flat && (polar || pie);
    const double fs = 10;
    // Tick labels, axis labels and the title need room beside the box. On a
    // side where the position leaves under 3% of the figure to its edge or
    // to a neighbouring axes (an axes filling the figure, a subplot cell, an
    // axes beside its colour bar), that room is taken inside the position.
    const Label title = label_style(ax, "Title", 12), xlabel = label_style(ax, "XLabel", 11),
                ylabel = label_style(ax, "YLabel", 11);
    // Lines of a title beyond its first take room above the box, and so
    // does a title larger than usual.
    const double title_extra = lines_extra(cr, title.lines.size(), title.size) + std::max(0.0, title.size - 12);
    double gap[4] = {pos[0], 1 - pos[0] - pos[2], 1 - pos[1] - pos[3], pos[1]};  // left, right, top, bottom
    if (decorated || !title.empty()) {
        const double eps = 1e-9;
        for (const auto& [o, b] : boxes) {
            if (o == &ax)
                continue;
            if (b[1] < pos[1] + pos[3] && pos[1] < b[1] + b[3]) {  // side by side
                if (b[0] + b[2] <= pos[0] + eps)
                    gap[0] = std::min(gap[0], pos[0] - b[0] - b[2]);
                if (b[0] >= pos[0] + pos[2] - eps)
                    gap[1] = std::min(gap[1], b[0] - pos[0] - pos[2]);
            }
            if (b[0] < pos[0] + pos[2] && pos[0] < b[0] + b[2]) {  // one above the other
                if (b[1] >= pos[1] + pos[3] - eps)
                    gap[2] = std::min(gap[2], b[1] - pos[1] - pos[3]);
                if (b[1] + b[3] <= pos[1] + eps)
                    gap[3] = std::min(gap[3], pos[1] - b[1] - b[3]);
            }
        }
    }
    // An axes without decoration (as an image shown by itself) keeps its
    // title, and room for it.
    if (!decorated && !title.empty() && gap[2] < 0.03 && bh > 40 + title_extra) {
        by += 20 + title_extra;
        bh -= 20 + title_extra;
    }
    if (decorated) {
        // Only a second axis that is drawn takes room: a hidden series on it
        // draws no axis, and a 3-D box has none.
        const bool right_axis = lim && lim->y2_used, top_axis = lim && lim->x2_used;
        // Room for tick labels comes from the font (10 pixels, and 11 for
        // an axis label), not from the box: a short box (a horizontal
        // colour bar) needs the same room below it as a tall one.
        // A title needs its own height above the box, however small the box.
        const double top = std::max(std::min(30.0, 0.08 * bh), title.empty() ? 0.0 : title.size + 10) +
                           (top_axis ? 14 : 0) + title_extra;
        const double font_room =
            4 + 14 + (xlabel.empty() ? 0 : 4 + xlabel.size + 3 + lines_extra(cr, xlabel.lines.size(), xlabel.size)) + 4;
        const double bottom = std::max(std::min(45.0, 0.11 * bh), font_room);
        if (gap[2] < 0.03) {
            by += top;
            bh -= top;
        }
        if (gap[3] < 0.03)
            bh -= bottom;
        // The side rooms follow from the widest y tick labels at the height
        // the box now has, and the y label beyond them.
        double left = std::min(60.0, 0.13 * bw), right = std::min(20.0, 0.05 * bw);
        if (lim && !round && bh > 1) {
            Scale ys = lim->y, ys2 = lim->y2;
            ys.p0 = ys2.p0 = by + bh;
            ys.p1 = ys2.p1 = by;
            const AxisLabels yl = axis_labels(cr, ax, ys, ticks_of(ax, "YTick", ys), "yDate", false, fs);
            const double label =
                ylabel.empty() ? 0 : 6 + ylabel.size + 2 + lines_extra(cr, ylabel.lines.size(), ylabel.size);
            left = std::max(left, std::min(4 + yl.widest + 4 + label + 2, 0.4 * bw));
            if (right_axis) {
                const AxisLabels yr = axis_labels(cr, ax, ys2, ticks(ys2), "", false, fs);
                right = std::max(right, std::min(4 + yr.widest + 6, 0.3 * bw));
            }
        } else if (right_axis) {
            right = left;
        }
        if (gap[0] < 0.03) {
            bx += left;
            bw -= left;
        }
        if (gap[1] < 0.03)
            bw -= right;
    }
    if (!(bw > 1 && bh > 1))
        return;

    seen.clear();
    box_x = box_y = box_w = box_h = 0;

    view_az = az;
    view_el = el;
    if (!flat) {
        axes3d(ax, items, bx, by, bw, bh, decorated, az, el);
        return;
    }

    // An image shown without decoration (as imshow shows one) keeps square
    // pixels: the box shrinks about its centre to the picture's proportions.
    double ix0, ix1, iy0, iy1;
    const bool only_texts = std::all_of(items.begin(), items.end(), [](const Object* o) { return is_text(*o); });
    if (!decorated && only_texts && image_extent(ax, ix0, ix1, iy0, iy1)) {
        const double sx = bw / std::fabs(lim->x.hi - lim->x.lo), sy = bh / std::fabs(lim->y.hi - lim->y.lo);
        if (std::isfinite(sx) && std::isfinite(sy) && sx > 0 && sy > 0) {
            const double s = std::min(sx, sy);
            const double w = s * std::fabs(lim->x.hi - lim->x.lo), hh = s * std::fabs(lim->y.hi - lim->y.lo);
            bx += (bw - w) / 2;
            by += (bh - hh) / 2;
            bw = w;
            bh = hh;
        }
    }

    Scale xs = lim->x, ys = lim->y, xs2 = lim->x2, ys2 = lim->y2;
    xs.p0 = xs2.p0 = bx;
    xs.p1 = xs2.p1 = bx + bw;
    ys.p0 = ys2.p0 = by + bh;  // y grows upwards
    ys.p1 = ys2.p1 = by;
    box_x = bx, box_y = by, box_w = bw, box_h = bh;
    area_base = area_bases(items);

    Rgb bg{1, 1, 1};
    colour(ax, "Color", bg);
    if (decorated && !round) {
        set_colour(cr, bg);
        cairo_rectangle(cr, bx, by, bw, bh);
        cairo_fill(cr);
    }
    if (polar)
        polar_frame(ax, items, bx, by, bw, bh, decorated);

    cairo_save(cr);
    cairo_rectangle(cr, bx, by, bw, bh);
    cairo_clip(cr);
    if (prop(ax, "CData"))
        image(ax, xs, ys);
    // Grid lines lie under the data.
    const std::vector<double> xt = ticks_of(ax, "XTick", xs), yt = ticks_of(ax, "YTick", ys);
    cairo_set_line_width(cr, 0.5);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    if (decorated && !round && equal_folded(prop_text(ax, "XGrid"), "on"))
        for (double t : xt) {
            cairo_move_to(cr, std::round(xs.pixel(t)) + 0.5, by);
            cairo_line_to(cr, std::round(xs.pixel(t)) + 0.5, by + bh);
            cairo_stroke(cr);
        }
    if (decorated && !round && equal_folded(prop_text(ax, "YGrid"), "on"))
        for (double t : yt) {
            cairo_move_to(cr, bx, std::round(ys.pixel(t)) + 0.5);
            cairo_line_to(cr, bx + bw, std::round(ys.pixel(t)) + 0.5);
            cairo_stroke(cr);
        }
    bars = bar_at = 0;
    stack_up.clear();
    stack_down.clear();
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        bars += chart == "bar" || chart == "barh";
    }
    for (const Object* o : items) {
        if (o->kind == Kind::surface)
            surface(*o, ax, xs, ys, nullptr);
        else if ((o->kind == Kind::line || o->kind == Kind::patch) && !is_text(*o))
            series(*o, on_top(*o) ? xs2 : xs, on_right(*o) ? ys2 : ys, Rgb{0, 0, 1});
    }
    cairo_restore(cr);
    // Texts are annotations: they may reach past the box (a contour label
    // on its edge).
    for (const Object* o : items)
        if (is_text(*o))
            series(*o, xs, ys, Rgb{0, 0, 1});

    if (!decorated) {
        title_at(title, bx + bw / 2, by - 6);
        return;
    }
    if (round) {
        title_at(title, bx + bw / 2, by - 6);
        legend(ax, items, bx, by, bw, bh);
        return;
    }
    // Box, ticks and tick labels; labels that would run into their
    // neighbours are thinned out.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, std::round(bx) + 0.5, std::round(by) + 0.5, std::round(bw) - 1, std::round(bh) - 1);
    cairo_stroke(cr);
    const AxisLabels xl = axis_labels(cr, ax, xs, xt, "xDate", true, fs, width);
    const AxisLabels yl = axis_labels(cr, ax, ys, yt, "yDate", false, fs);
    for (std::size_t k = 0; k < xt.size(); ++k) {
        const double px = xl.at[k];
        cairo_move_to(cr, px, by + bh);
        cairo_line_to(cr, px, by + bh - 5);
        cairo_stroke(cr);
        if (xl.shown[k])
            show_label(cr, xl.text[k], xl.centre[k], by + bh + 4, fs, 0.5, 0);
    }
    for (std::size_t k = 0; k < yt.size(); ++k) {
        const double py = yl.at[k];
        cairo_move_to(cr, bx, py);
        cairo_line_to(cr, bx + 5, py);
        cairo_stroke(cr);
        if (yl.shown[k])
            show_label(cr, yl.text[k], bx - 4, py, fs, 1, 0.5);
    }
    // The second axes of series drawn on their own scales: right and top.
    if (lim->y2_used) {
        const AxisLabels l = axis_labels(cr, ax, ys2, ticks(ys2), "", false, fs);
        for (std::size_t k = 0; k < l.ticks.size(); ++k) {
            cairo_move_to(cr, bx + bw, l.at[k]);
            cairo_line_to(cr, bx + bw - 5, l.at[k]);
            cairo_stroke(cr);
            if (l.shown[k])
                show_label(cr, l.text[k], bx + bw + 4, l.at[k], fs, 0, 0.5);
        }
    }
    if (lim->x2_used) {
        const AxisLabels l = axis_labels(cr, ax, xs2, ticks(xs2), "", true, fs, width);
        for (std::size_t k = 0; k < l.ticks.size(); ++k) {
            cairo_move_to(cr, l.at[k], by);
            cairo_line_to(cr, l.at[k], by + 5);
            cairo_stroke(cr);
            if (l.shown[k])
                show_label(cr, l.text[k], l.centre[k], by - 4, fs, 0.5, 1);
        }
    }
    title_at(title, bx + bw / 2, by - 6 - (lim->x2_used ? fs + 4 : 0));
    show_label_lines(cr, xlabel, bx + bw / 2, by + bh + 20, 0.5, 0);
    // The y label stands clear of the widest tick label beside it.
    show_label_lines(cr, ylabel, bx - 4 - yl.widest - 6, by + bh / 2, 0.5, 1, -M_PI / 2);
    cairo_set_source_rgb(cr, 0, 0, 0);
    legend(ax, items, bx, by, bw, bh);
}

void Painter::title_at(const Label& t, double x, double y)
{
    double w = 0;
    for (const std::string& line : t.lines)
        w = std::max(w, text_width(cr, line, t.size) * (t.face.bold ? 1.15 : 1) + (t.face.italic ? t.size / 3 : 0));
    if (w + 2 < width)
        x = std::clamp(x, w / 2 + 1, width - w / 2 - 1);
    // The ink of the lines reaches about a font size above the foot.
    const double h = t.size + lines_extra(cr, t.lines.size(), t.size);
    if (h + 2 < height)
        y = std::max(y, h + 1);
    show_label_lines(cr, t, x, y, 0.5, 1);
    cairo_set_source_rgb(cr, 0, 0, 0);
}

void Painter::polar_frame(const Object& ax, const std::vector<const Object*>& items, double bx, double by, double bw,
                          double bh, bool decorated)
{
    const double cx = bx + bw / 2, cy = by + bh / 2, radius = 0.45 * std::min(bw, bh);
    // One radial scale for every polar series: rings at round steps, the
    // frame at the first ring at or beyond the largest radius.
    double rmax = 0;
    for (const Object* o : items)
        if (equal_folded(prop_text(*o, "ChartType"), "polar") && !is_text(*o))
            for (double v : numbers(*o, "YData"))
                if (std::isfinite(v))
                    rmax = std::max(rmax, std::fabs(v));
    if (!(rmax > 0))
        rmax = 1;
    Scale r;
    r.lo = 0;
    r.hi = rmax;
    r.p0 = 0;
    r.p1 = std::max(radius, 100.0);
    std::vector<double> rings = ticks(r);
    const double step = rings.size() >= 2 ? rings[1] - rings[0] : rmax;
    polar_outer = rmax;
    if (step > 0 && std::isfinite(step)) {
        const double outer = std::ceil(rmax / step - 1e-9) * step;
        if (std::isfinite(outer) && outer >= rmax)
            polar_outer = outer;
        if (rings.empty() || rings.back() < polar_outer * (1 - 1e-12))
            rings.push_back(polar_outer);
    }
    const bool grid = decorated && (equal_folded(prop_text(ax, "XGrid"), "on") || equal_folded(prop_text(ax, "YGrid"), "on"));
    cairo_save(cr);
    if (grid) {
        // Rings and spokes every 30 degrees, angle 0 at the top, clockwise.
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_set_line_width(cr, 0.5);
        for (double v : rings)
            if (v > 0 && v < polar_outer) {
                cairo_new_sub_path(cr);
                cairo_arc(cr, cx, cy, v / polar_outer * radius, 0, 2 * M_PI);
                cairo_stroke(cr);
            }
        for (int a = 0; a < 360; a += 30) {
            const double t = a * M_PI / 180;
            cairo_move_to(cr, cx, cy);
            cairo_line_to(cr, cx + radius * std::sin(t), cy - radius * std::cos(t));
            cairo_stroke(cr);
        }
    }
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_set_line_width(cr, decorated ? 1 : 0.5);
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_stroke(cr);
    if (grid) {
        // The radii along the spoke at 15 degrees, the angles outside the frame.
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        std::vector<double> labelled;
        for (double v : rings)
            if (v > 0)
                labelled.push_back(v);
        const std::vector<std::string> text = tick_labels(labelled);
        std::vector<double> at;
        for (double v : labelled)
            at.push_back(v / polar_outer * radius);
        const std::vector<bool> shown = thinned(cr, text, at, labelled, false, 9);
        const double t = 15 * M_PI / 180;
        for (std::size_t k = 0; k < labelled.size(); ++k)
            if (shown[k])
                show_text(cr, text[k], cx + at[k] * std::sin(t) + 2, cy - at[k] * std::cos(t), 9, 0, 0.5);
        cairo_set_source_rgb(cr, 0, 0, 0);
        for (int a = 0; a < 360; a += 30) {
            const double ta = a * M_PI / 180, sx = std::sin(ta), cyy = -std::cos(ta);
            show_text(cr, std::to_string(a), cx + (radius + 4) * sx, cy + (radius + 4) * cyy, 9, 0.5 - 0.5 * sx,
                      0.5 - 0.5 * cyy);
        }
    }
    cairo_restore(cr);
}

// A long run of points reduced to what shows at the output's resolution:
// within each stretch of consecutive points that stay in one half-pixel
// column, the first, the lowest, the highest and the last, in their order.
// Every point kept lies on the original path and spikes keep their
// extremes; the path moves sideways by under half a pixel. Short runs are
// drawn as they are.
void simplify(std::vector<Point>& run)
{
    constexpr std::size_t worth_it = 2048;
    if (run.size() < worth_it)
        return;
    std::vector<Point> out;
    out.reserve(run.size() / 4 + 8);
    std::size_t i = 0;
    while (i < run.size()) {
        const double column = std::floor(run[i].x * 2);
        std::size_t j = i, lo = i, hi = i;
        while (j + 1 < run.size() && std::floor(run[j + 1].x * 2) == column) {
            ++j;
            if (run[j].y < run[lo].y)
                lo = j;
            if (run[j].y > run[hi].y)
                hi = j;
        }
        std::size_t keep[4] = {i, std::min(lo, hi), std::max(lo, hi), j};
        std::size_t last = run.size();
        for (std::size_t k : keep)
            if (k != last) {
                out.push_back(run[k]);
                last = k;
            }
        i = j + 1;
    }
    run.swap(out);
}

// Strokes a run of points. The stroker's cost grows faster than the
// length of a path, so a long solid line is stroked in pieces that share
// their end points, with round ends so no seam shows.
void stroke_run(cairo_t* cr, std::vector<Point>& run, bool solid)
{
    if (run.empty())
        return;
    simplify(run);
    constexpr std::size_t piece = 1024;
    const bool pieces = solid && run.size() > 4 * piece;
    const cairo_line_cap_t cap = cairo_get_line_cap(cr);
    if (pieces)
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, run[0].x, run[0].y);
    for (std::size_t k = 1; k < run.size(); ++k) {
        cairo_line_to(cr, run[k].x, run[k].y);
        if (pieces && k % piece == 0 && k + 1 < run.size()) {
            cairo_stroke(cr);
            cairo_move_to(cr, run[k].x, run[k].y);
        }
    }
    cairo_stroke(cr);  // a lone point strokes nothing, as a lone move does
    if (pieces)
        cairo_set_line_cap(cr, cap);
}

void Painter::series(const Object& s, const Scale& xs, const Scale& ys, const Rgb& fallback)
{
    const std::string chart = fold(prop_text(s, "ChartType"));
    Rgb c = fallback;
    colour(s, "Color", c);
    if (chart == "text" || chart == "text3" || s.is_text) {
        const std::vector<double> p = numbers(s, "Position");
        if (p.size() >= 2) {
            set_colour(cr, c);
            show_text_object(cr, s, xs.pixel(p[0]), ys.pixel(p[1]));
        }
        return;
    }
    const std::vector<double> xd = numbers(s, "XData"), yd = numbers(s, "YData");
    const std::size_t n = std::min(xd.size(), yd.size());
    const double lw = std::max(0.5, prop_number(s, "LineWidth", 2));
    const int style = int_of(s, "LineStyle", 0);
    const int mark = int_of(s, "Marker", -1);
    const double msize = std::max(1.0, prop_number(s, "MarkerSize", 6));
    cairo_set_line_width(cr, lw);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    set_colour(cr, c);
    std::vector<double> px(n), py(n);
    // A polar series lies in a square frame in the axes box: angle 0 at
    // the top, clockwise, the radius at the frame the axes' (polar_frame),
    // shared by all of its polar series.
    const double cx = (xs.p0 + xs.p1) / 2, cy = (ys.p0 + ys.p1) / 2;
    const double radius = 0.45 * std::min(std::fabs(xs.p1 - xs.p0), std::fabs(ys.p1 - ys.p0));
    const double rmax = polar_outer > 0 && std::isfinite(polar_outer) ? polar_outer : 1;
    const bool polar = chart == "polar";
    auto point = [&](std::size_t k, double& x, double& y) {
        if (polar) {
            const double r = yd[k] / rmax * radius, t = xd[k];
            x = cx + r * std::sin(t);
            y = cy - r * std::cos(t);
        } else {
            x = xs.pixel(xd[k]);
            y = ys.pixel(yd[k]);
        }
        return std::isfinite(x) && std::isfinite(y);
    };

    if (chart == "pie") {
        const std::vector<double> sweeps = pie_sweeps(yd);
        if (!seen_from_above(view_az, view_el)) {
            pie3d(sweeps, cx, cy, radius);
            return;
        }
        double a = 0;
        for (std::size_t k = 0; k < yd.size(); ++k) {
            const double sweep = sweeps[k];
            if (!(sweep > 0))
                continue;
            cairo_move_to(cr, cx, cy);
            cairo_arc(cr, cx, cy, radius, a - M_PI / 2, a + sweep - M_PI / 2);
            cairo_close_path(cr);
            fill_outlined(cr, map[(k * map.size()) / yd.size()]);
            a += sweep;
        }
        return;
    }

    if (chart == "bar" || chart == "barh") {
        // Positions and lengths: x and y for "bar", y and x for "barh".
        const bool vertical = chart == "bar";
        const std::vector<double>& at = vertical ? xd : yd;
        const std::vector<double>& len = vertical ? yd : xd;
        const Scale& along = vertical ? xs : ys;
        const Scale& up = vertical ? ys : xs;
        double gap = INFINITY;
        for (std::size_t k = 1; k < n; ++k)
            if (std::isfinite(at[k]) && std::isfinite(at[k - 1]) && at[k] != at[k - 1])
                gap = std::min(gap, std::fabs(at[k] - at[k - 1]));
        if (!std::isfinite(gap))
            gap = 1;
        const bool stacked = stacked_bars(s);
        const int group = stacked ? 1 : std::max(1, bars);
        const int place = stacked ? 0 : bar_at;
        ++bar_at;
        const double width = 0.8 * gap / group;
        if (stack_up.size() < n) {
            stack_up.resize(n, 0);
            stack_down.resize(n, 0);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const double from = at[k] - 0.4 * gap + place * width;
            // Stacked parts pile up from 0 when positive and down when
            // negative, so no part hides under another.
            double* end = len[k] >= 0 ? &stack_up[k] : &stack_down[k];
            const double base = stacked ? *end : 0;
            const double top = base + len[k];
            if (stacked && std::isfinite(len[k]))
                *end = top;
            const double a0 = along.pixel(from), a1 = along.pixel(from + width);
            const double u0 = up.pixel(up.log && base <= 0 ? up.lo : base), u1 = up.pixel(top);
            if (!(std::isfinite(a0) && std::isfinite(a1) && std::isfinite(u0) && std::isfinite(u1)))
                continue;
            if (vertical)
                cairo_rectangle(cr, std::min(a0, a1), std::min(u0, u1), std::fabs(a1 - a0), std::fabs(u1 - u0));
            else
                cairo_rectangle(cr, std::min(u0, u1), std::min(a0, a1), std::fabs(u1 - u0), std::fabs(a1 - a0));
            fill_outlined(cr, c);
        }
        return;
    }

    if (chart == "area") {
        // From the base the area stands on (0, or the areas piled below it)
        // up to the base plus its values: along the top, back along the base.
        const auto found = area_base.find(&s);
        std::vector<double> base(n, 0);
        if (found != area_base.end())
            std::copy_n(found->second.begin(), std::min(n, found->second.size()), base.begin());
        auto level = [&](double v) { return ys.pixel(ys.log && !(v > 0) ? ys.lo : v); };
        std::vector<std::size_t> kept;
        for (std::size_t k = 0; k < n; ++k)
            if (std::isfinite(xs.pixel(xd[k])) && std::isfinite(yd[k]) && std::isfinite(level(base[k] + yd[k])))
                kept.push_back(k);
        if (kept.empty())
            return;
        cairo_new_path(cr);
        for (std::size_t i = 0; i < kept.size(); ++i) {
            const std::size_t k = kept[i];
            i ? cairo_line_to(cr, xs.pixel(xd[k]), level(base[k] + yd[k]))
              : cairo_move_to(cr, xs.pixel(xd[k]), level(base[k] + yd[k]));
        }
        for (std::size_t i = kept.size(); i-- > 0;)
            cairo_line_to(cr, xs.pixel(xd[kept[i]]), level(base[kept[i]]));
        cairo_close_path(cr);
        Rgb face = c;
        colour(s, "FaceColor", face);
        fill_outlined(cr, face);
        return;
    }

    if (chart == "patch") {
        cairo_new_path(cr);
        bool any = false;
        for (std::size_t k = 0; k < n; ++k) {
            double x, y;
            if (!point(k, x, y))
                continue;
            any ? cairo_line_to(cr, x, y) : cairo_move_to(cr, x, y);
            any = true;
        }
        if (!any)
            return;
        cairo_close_path(cr);
        fill_outlined(cr, patch_face(s, c));
        return;
    }

    // An error bar reaching to or below 0 on a log axis runs out of the
    // box's foot (its cap past the clip) rather than vanishing whole.
    const double cap = prop_number(s, "CapSize", 0);
    const bool bars_out = cap > 0 && !polar && (xs.log || ys.log) && style >= 0 && style <= 3;
    for (std::size_t k = 0; k < n; ++k) {
        if (bars_out && std::isfinite(xd[k]) && std::isfinite(yd[k]) && (xd[k] <= 0 || yd[k] <= 0)) {
            const double out = 2 * std::min(cap, 100.0) + lw;
            px[k] = xs.log && xd[k] <= 0 ? (xs.reversed ? xs.p1 + (xs.p1 > xs.p0 ? out : -out)
                                                        : xs.p0 - (xs.p1 > xs.p0 ? out : -out))
                                         : xs.pixel(xd[k]);
            py[k] = ys.log && yd[k] <= 0 ? (ys.reversed ? ys.p1 + (ys.p1 > ys.p0 ? out : -out)
                                                        : ys.p0 - (ys.p1 > ys.p0 ? out : -out))
                                         : ys.pixel(yd[k]);
            if (std::isfinite(px[k]) && std::isfinite(py[k]))
                continue;
        }
        if (!point(k, px[k], py[k]))
            px[k] = nan;
    }
    note_seen(px, py);
    // A line along the box's edge (a stem, an error bar, a constant at a
    // limit) shows its whole width: the clip reaches half a line beyond the
    // box. Restored on every way out.
    struct Restore {
        cairo_t* cr;
        ~Restore() { cairo_restore(cr); }
    };
    auto clip_beyond = [&](double pad) {
        cairo_reset_clip(cr);
        cairo_rectangle(cr, box_x - pad, box_y - pad, box_w + 2 * pad, box_h + 2 * pad);
        cairo_clip(cr);
    };
    const bool boxed = box_w > 0 && box_h > 0;
    cairo_save(cr);
    const Restore restore{cr};
    if (boxed)
        clip_beyond(lw / 2);
    // Lines: one stroke per run of finite points, so a NaN breaks the line.
    if (style >= 0 && style <= 3 && chart != "stem" && chart != "stairs") {
        // Plain lines: each run of finite points is simplified to the
        // output's resolution and stroked in pieces (see stroke_run).
        dash(cr, style, lw);
        std::vector<Point> run;
        for (std::size_t k = 0; k <= n; ++k) {
            if (k < n && std::isfinite(px[k])) {
                run.push_back({px[k], py[k]});
                continue;
            }
            stroke_run(cr, run, style == 0);
            run.clear();
        }
        dash(cr, 0, lw);
        // Caps (as error bars carry): a stroke across each end of each run
        // of points, "CapSize" pixels long.
        if (const double cap = prop_number(s, "CapSize", 0); cap > 0 && std::isfinite(cap)) {
            const double half = std::min(cap, 100.0) / 2;
            auto across = [&](std::size_t at, std::size_t toward) {
                const double dx = px[toward] - px[at], dy = py[toward] - py[at], len = std::hypot(dx, dy);
                const double ux = len > 0 ? -dy / len : 1, uy = len > 0 ? dx / len : 0;
                cairo_move_to(cr, px[at] - half * ux, py[at] - half * uy);
                cairo_line_to(cr, px[at] + half * ux, py[at] + half * uy);
            };
            for (std::size_t k = 0; k < n;) {
                if (!std::isfinite(px[k])) {
                    ++k;
                    continue;
                }
                std::size_t end = k;
                while (end + 1 < n && std::isfinite(px[end + 1]))
                    ++end;
                if (end > k) {
                    across(k, k + 1);
                    across(end, end - 1);
                }
                k = end + 1;
            }
            cairo_stroke(cr);
        }
    } else if (style >= 0 && style <= 3) {
        dash(cr, style, lw);
        bool open = false;
        double last_y = 0;
        for (std::size_t k = 0; k < n; ++k) {
            double x, y;
            if (!point(k, x, y)) {
                // A step's level runs on to the next x even when the next
                // level cannot be drawn.
                if (open && chart == "stairs" && !polar && std::isfinite(xs.pixel(xd[k])))
                    cairo_line_to(cr, xs.pixel(xd[k]), last_y);
                if (open)
                    cairo_stroke(cr);
                open = false;
                continue;
            }
            if (chart == "stem") {
                cairo_move_to(cr, x, ys.pixel(ys.log ? ys.lo : 0));
                cairo_line_to(cr, x, y);
                cairo_stroke(cr);
                continue;
            }
            if (!open)
                cairo_move_to(cr, x, y);
            else if (chart == "stairs") {
                cairo_line_to(cr, x, last_y);
                cairo_line_to(cr, x, y);
            } else
                cairo_line_to(cr, x, y);
            open = true;
            last_y = y;
        }
        if (open)
            cairo_stroke(cr);
        dash(cr, 0, lw);
    }
    if (const int shown_mark = marker_pen(cr, s, chart, mark, c); shown_mark >= 0) {
        // Markers of points within the limits show whole, even on the edge;
        // those of points outside them are not drawn.
        if (boxed)
            clip_beyond(msize / 2 + 2);
        auto inside = [&](double x, double y) {
            return !boxed || (x >= box_x - 0.5 && x <= box_x + box_w + 0.5 && y >= box_y - 0.5 && y <= box_y + box_h + 0.5);
        };
        for (std::size_t k = 0; k < n; ++k) {
            double x, y;
            if (point(k, x, y) && inside(x, y))
                marker(cr, shown_mark, x, y, msize);
        }
    }
}

Rgb Painter::patch_face(const Object& s, const Rgb& line) const
{
    Rgb face = line;
    colour(s, "FaceColor", face);
    // A patch given a colour index takes that row of the figure's colormap
    // as it is now.
    const std::vector<double> index = numbers(s, "CData");
    if (index.size() == 1 && std::isfinite(index[0]) && !map.empty())
        face = map[static_cast<std::size_t>(std::clamp(std::floor(index[0]), 1.0, double(map.size()))) - 1];
    return face;
}

void Painter::note_seen(const std::vector<double>& px, const std::vector<double>& py)
{
    const std::size_t step = std::max<std::size_t>(1, px.size() / 500);
    for (std::size_t k = 0; k < px.size(); k += step)
        if (std::isfinite(px[k]) && std::isfinite(py[k]))
            seen.emplace_back(px[k], py[k]);
}

// The legend's picture of a series: its line in its style with its marker
// on top, or a filled box for the charts that fill.
void Painter::swatch(const Object& s, double x0, double x1, double y)
{
    const std::string chart = fold(prop_text(s, "ChartType"));
    Rgb c{0, 0, 1};
    colour(s, "Color", c);
    if (chart == "bar" || chart == "barh" || chart == "area" || chart == "patch" || s.kind == Kind::patch) {
        cairo_rectangle(cr, x0 + 4, y - 5, x1 - x0 - 8, 10);
        fill_outlined(cr, patch_face(s, c));
        return;
    }
    const double lw = std::clamp(prop_number(s, "LineWidth", 2), 0.5, 3.0);
    const int style = int_of(s, "LineStyle", 0);
    const int mark = int_of(s, "Marker", -1);
    if (style >= 0 && style <= 3) {
        set_colour(cr, c);
        cairo_set_line_width(cr, lw);
        dash(cr, style, lw);
        cairo_move_to(cr, x0, y);
        cairo_line_to(cr, x1, y);
        cairo_stroke(cr);
        dash(cr, 0, lw);
    }
    if (const int shown_mark = marker_pen(cr, s, chart, mark, c); shown_mark >= 0)
        marker(cr, shown_mark, (x0 + x1) / 2, y, std::clamp(prop_number(s, "MarkerSize", 6), 1.0, 10.0));
}

// The legend: one entry per series in order, named by the rows of the
// axes' "LegendString" or, when legend(h, strings) named the series
// themselves, by each series' own. "LegendPos" places it: 1 the upper
// right corner of the box (the default), 2 upper left, 3 lower left, 4
// lower right, 0 the corner hiding the fewest points of the data, -1 to the
// right of the box, and a pair [x y] puts its lower left corner there in
// the box's own units (0 to 1).
void Painter::legend(const Object& ax, const std::vector<const Object*>& items, double bx, double by, double bw,
                     double bh)
{
    if (equal_folded(prop_text(ax, "Legend"), "off"))
        return;
    // A pie names its wedges, each shown by a box of the wedge's colour;
    // other series are named one by one.
    struct Entry {
        const Object* series;
        std::string name;
        bool wedge;
        Rgb colour;
    };
    std::vector<Entry> keys;
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        if (!((o->kind == Kind::line || o->kind == Kind::patch) && !is_text(*o)))
            continue;
        if (chart != "pie") {
            keys.push_back({o, "", false, {}});
            continue;
        }
        const std::vector<double> yd = numbers(*o, "YData");
        for (std::size_t k = 0; k < yd.size(); ++k)
            if (std::isfinite(yd[k]) && yd[k] > 0)
                keys.push_back({o, "", true, map[(k * map.size()) / yd.size()]});
    }
    std::vector<Entry> entries;
    for (const Entry& key : keys)
        if (const Prop* own = find_prop(*key.series, "LegendString"); !key.wedge && own && own->is_string) {
            const std::vector<std::string> rows = text_rows(*own);
            entries.push_back(key);
            entries.back().name = rows.empty() ? "" : rows[0];
        }
    if (entries.empty())
        if (const Prop* names = find_prop(ax, "LegendString"); names && names->is_string) {
            const std::vector<std::string> rows = text_rows(*names);
            for (std::size_t k = 0; k < std::min(rows.size(), keys.size()); ++k) {
                entries.push_back(keys[k]);
                entries.back().name = rows[k];
            }
        }
    if (entries.empty())
        return;
    // An entry's newlines break it into lines, one under another beside
    // its swatch. Entries that would run past the figure's foot go on in
    // further columns, an entry never split between two.
    std::vector<std::vector<std::string>> names;
    double widest = 0;
    for (const Entry& e : entries) {
        std::vector<std::string> lines;
        std::size_t at = 0;
        for (std::size_t next; (next = e.name.find('\n', at)) != std::string::npos; at = next + 1)
            lines.push_back(e.name.substr(at, next - at));
        lines.push_back(e.name.substr(at));
        for (std::string& l : lines) {
            if (!l.empty() && l.back() == '\r')
                l.pop_back();
            widest = std::max(widest, text_width(cr, l, 10));
        }
        names.push_back(std::move(lines));
    }
    const std::size_t capacity = static_cast<std::size_t>(std::max(1.0, std::floor((height - 14) / 16.0)));
    std::vector<std::size_t> column(entries.size()), row(entries.size());
    std::size_t col = 0, next_row = 0, rows = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (next_row > 0 && next_row + names[k].size() > capacity) {
            ++col;
            next_row = 0;
        }
        column[k] = col;
        row[k] = next_row;
        next_row += names[k].size();
        rows = std::max(rows, next_row);
    }
    const double column_width = widest + 44;
    const double lw = column_width * static_cast<double>(col + 1), lh = 16.0 * static_cast<double>(rows) + 6;
    auto corner = [&](int k, double& x, double& y) {
        x = k == 2 || k == 3 ? bx + 6 : bx + bw - lw - 6;
        y = k == 3 || k == 4 ? by + bh - lh - 6 : by + 6;
    };
    double lx, ly;
    corner(1, lx, ly);
    const std::vector<double> pos = numbers(ax, "LegendPos");
    if (pos.size() >= 2 && std::isfinite(pos[0]) && std::isfinite(pos[1])) {
        lx = bx + pos[0] * bw;
        ly = by + bh - pos[1] * bh - lh;
    } else if (pos.size() == 1 && (pos[0] == 2 || pos[0] == 3 || pos[0] == 4)) {
        corner(static_cast<int>(pos[0]), lx, ly);
    } else if (pos.size() == 1 && pos[0] == -1) {
        lx = bx + bw + 6;
        ly = by;
    } else if (pos.size() == 1 && pos[0] == 0) {
        std::size_t fewest = std::numeric_limits<std::size_t>::max();
        for (int k = 1; k <= 4; ++k) {
            double x, y;
            corner(k, x, y);
            std::size_t hidden = 0;
            for (const auto& [px, py] : seen)
                hidden += px >= x && px <= x + lw && py >= y && py <= y + lh;
            if (hidden < fewest) {
                fewest = hidden;
                lx = x;
                ly = y;
            }
        }
    }
    // Wherever it was asked for, the legend shows whole when the figure
    // can hold it.
    if (lw + 4 <= width)
        lx = std::clamp(lx, 2.0, width - lw - 2);
    if (lh + 4 <= height)
        ly = std::clamp(ly, 2.0, height - lh - 2);
    cairo_rectangle(cr, lx, ly, lw, lh);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const double x0 = lx + column_width * static_cast<double>(column[k]);
        const double yy = ly + 11 + 16.0 * static_cast<double>(row[k]);
        if (entries[k].wedge) {
            cairo_rectangle(cr, x0 + 10, yy - 5, 16, 10);
            fill_outlined(cr, entries[k].colour);
        } else {
            swatch(*entries[k].series, x0 + 6, x0 + 30, yy);
        }
        cairo_set_source_rgb(cr, 0, 0, 0);
        for (std::size_t l = 0; l < names[k].size(); ++l)
            show_text(cr, names[k][l], x0 + 36, yy + 16.0 * static_cast<double>(l), 10, 0, 0.5);
    }
}

void Painter::surface(const Object& s, const Object& ax, const Scale& xs, const Scale& ys, const Projection* p)
{
    const Prop* zp = prop(s, "ZData");
    const std::vector<double> xd = numbers(s, "XData"), yd = numbers(s, "YData");
    if (!zp || zp->data.size() != xd.size() || yd.size() != xd.size() || xd.empty())
        return;
    const std::vector<double>& zd = zp->data;
    const int rows = zp->dims[0], cols = static_cast<int>(zd.size()) / std::max(1, zp->dims[0]);
    if (rows < 2 || cols < 2)
        return;
    // Coloured through the figure's colormap as it is now, as images are:
    // the map the surface was made under (its "Colormap") is only a record.
    const std::vector<Rgb>& own = map;
    double zlo = INFINITY, zhi = -INFINITY;
    for (double v : zd)
        if (std::isfinite(v)) {
            zlo = std::min(zlo, v);
            zhi = std::max(zhi, v);
        }
    if (!(zhi > zlo)) {
        zlo = std::isfinite(zlo) ? zlo - 1 : -1;
        zhi = zlo + 2;
    }
    double clo = zlo, chi = zhi;
    if (const std::vector<double> cl = numbers(ax, "CLim"); cl.size() >= 2 && cl[1] > cl[0]) {
        clo = cl[0];
        chi = cl[1];
    }
    // Seen from straight above the grid lies in the axes' own coordinates;
    // otherwise it goes through the box's projection. On the floor, a point
    // lies on the face of the box away from the viewer. Depth grows away
    // from the viewer.
    auto project = [&](double x0, double y0, double z0, bool floor, double& u, double& v, double& depth) {
        if (!p) {
            u = xs.pixel(x0);
            v = ys.pixel(y0);
            depth = -z0;
            return;
        }
        double w;
        p->unit(p->x.unit(x0), p->y.unit(y0), floor ? (p->se > 0 ? 0 : 1) : p->z.unit(z0), u, v, w);
        depth = -w;
    };
    const std::string chart = fold(prop_text(s, "ChartType"));

    // Contour charts: the level lines of z, at their height ("contour3")
    // or on the floor of the box ("contour", under a mesh or a surface).
    if (chart == "contour" || chart == "contour3") {
        const int levels = std::clamp(int_of(s, "NumContourLines", 10), 1, 1000);
        cairo_set_line_width(cr, 1);
        for (int l = 1; l <= levels; ++l) {
            const double level = zlo + (zhi - zlo) * l / (levels + 1);
            set_colour(cr, map_scaled(own, level, clo, chi));
            const bool floor = chart == "contour";
            for (int j = 0; j + 1 < cols; ++j)
                for (int i = 0; i + 1 < rows; ++i) {
                    const std::size_t k[4] = {static_cast<std::size_t>(j) * rows + i,
                                              static_cast<std::size_t>(j) * rows + i + 1,
                                              static_cast<std::size_t>(j + 1) * rows + i + 1,
                                              static_cast<std::size_t>(j + 1) * rows + i};
                    // Where the level crosses each edge of the cell.
                    double px[4], py[4];
                    int found = 0;
                    for (int c = 0; c < 4 && found < 4; ++c) {
                        const std::size_t p = k[c], q = k[(c + 1) % 4];
                        const double zp0 = zd[p] - level, zq = zd[q] - level;
                        if (!std::isfinite(zp0) || !std::isfinite(zq) || (zp0 < 0) == (zq < 0))
                            continue;
                        const double t = zp0 / (zp0 - zq);
                        px[found] = xd[p] + t * (xd[q] - xd[p]);
                        py[found] = yd[p] + t * (yd[q] - yd[p]);
                        ++found;
                    }
                    for (int f = 0; f + 1 < found; f += 2) {
                        double u0, v0, u1, v1, depth;
                        project(px[f], py[f], level, floor, u0, v0, depth);
                        project(px[f + 1], py[f + 1], level, floor, u1, v1, depth);
                        cairo_move_to(cr, u0, v0);
                        cairo_line_to(cr, u1, v1);
                    }
                }
            cairo_stroke(cr);
        }
        return;
    }

    struct Quad {
        double depth;
        double u[4], v[4], z[4];
    };
    std::vector<Quad> quads;
    quads.reserve(static_cast<std::size_t>(rows - 1) * static_cast<std::size_t>(cols - 1));
    for (int j = 0; j + 1 < cols; ++j)
        for (int i = 0; i + 1 < rows; ++i) {
            const std::size_t k[4] = {static_cast<std::size_t>(j) * rows + i, static_cast<std::size_t>(j) * rows + i + 1,
                                      static_cast<std::size_t>(j + 1) * rows + i + 1,
                                      static_cast<std::size_t>(j + 1) * rows + i};
            Quad q{0, {}, {}, {}};
            bool ok = true;
            for (int c = 0; c < 4; ++c) {
                double depth;
                project(xd[k[c]], yd[k[c]], zd[k[c]], false, q.u[c], q.v[c], depth);
                q.depth += depth / 4;
                q.z[c] = zd[k[c]];
                ok = ok && std::isfinite(q.u[c]) && std::isfinite(q.v[c]) && std::isfinite(q.z[c]);
            }
            if (ok)
                quads.push_back(q);
        }
    // Painter's order: the farthest quads first.
    std::stable_sort(quads.begin(), quads.end(), [](const Quad& p, const Quad& q) { return p.depth > q.depth; });
    const bool mesh = chart.rfind("mesh", 0) == 0;
    const bool interp = !mesh && equal_folded(prop_text(ax, "Shading"), "interp");
    // Black edges only where the cells are a few pixels across: on a fine
    // grid they would hide the colours. There each quad is outlined in its
    // own colour instead, which closes the seams between neighbours.
    double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
    for (const Quad& q : quads)
        for (int c = 0; c < 4; ++c) {
            u0 = std::min(u0, q.u[c]);
            u1 = std::max(u1, q.u[c]);
            v0 = std::min(v0, q.v[c]);
            v1 = std::max(v1, q.v[c]);
        }
    const bool edges = std::min((u1 - u0) / (cols - 1), (v1 - v0) / (rows - 1)) >= 3;
    cairo_set_line_width(cr, 0.5);
    for (const Quad& q : quads) {
        if (interp) {
            // Each corner takes its own colour, blended across the quad.
            cairo_pattern_t* grad = cairo_pattern_create_mesh();
            cairo_mesh_pattern_begin_patch(grad);
            cairo_mesh_pattern_move_to(grad, q.u[0], q.v[0]);
            for (int c = 1; c < 4; ++c)
                cairo_mesh_pattern_line_to(grad, q.u[c], q.v[c]);
            for (int c = 0; c < 4; ++c) {
                const Rgb& rgb = map_scaled(own, q.z[c], clo, chi);
                cairo_mesh_pattern_set_corner_color_rgb(grad, static_cast<unsigned>(c), rgb.r, rgb.g, rgb.b);
            }
            cairo_mesh_pattern_end_patch(grad);
            cairo_set_source(cr, grad);
            cairo_move_to(cr, q.u[0], q.v[0]);
            for (int c = 1; c < 4; ++c)
                cairo_line_to(cr, q.u[c], q.v[c]);
            cairo_close_path(cr);
            cairo_fill(cr);
            cairo_pattern_destroy(grad);
            continue;
        }
        cairo_move_to(cr, q.u[0], q.v[0]);
        for (int c = 1; c < 4; ++c)
            cairo_line_to(cr, q.u[c], q.v[c]);
        cairo_close_path(cr);
        const Rgb& fill = map_scaled(own, (q.z[0] + q.z[1] + q.z[2] + q.z[3]) / 4, clo, chi);
        if (mesh) {
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill_preserve(cr);
            set_colour(cr, fill);
        } else {
            set_colour(cr, fill);
            cairo_fill_preserve(cr);
            if (edges)
                cairo_set_source_rgb(cr, 0, 0, 0);
        }
        cairo_stroke(cr);
    }
}

void Painter::image(const Object& ax, const Scale& xs, const Scale& ys)
{
    const Prop* cd = prop(ax, "CData");
    if (!cd || cd->is_string || (cd->is_bytes ? cd->bytes.empty() : cd->data.empty()))
        return;
    const int rows = cd->dims[0], cols = cd->dims[1];
    const bool truecolor = cd->ndims >= 3 && cd->dims[2] == 3;
    if (rows < 1 || cols < 1)
        return;
    double x0, x1, y0, y1;
    if (!image_extent(ax, x0, x1, y0, y1))
        return;

    const std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
    Surface pic(cairo_image_surface_create(CAIRO_FORMAT_RGB24, cols, rows), cairo_surface_destroy);
    if (cairo_surface_status(pic.get()) != CAIRO_STATUS_SUCCESS)
        return;
    cairo_surface_flush(pic.get());
    unsigned char* base = cairo_image_surface_get_data(pic.get());
    const int stride = cairo_image_surface_get_stride(pic.get());
    const bool scaled = equal_folded(prop_text(ax, "CDataMapping"), "scaled");
    double clo = 0, chi = 1;
    if (const std::vector<double> cl = numbers(ax, "CLim"); cl.size() >= 2) {
        clo = cl[0];
        chi = cl[1];
    }
    const int m = static_cast<int>(map.size());
    auto byte = [](double v) {
        return static_cast<std::uint32_t>(std::lround((std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0) * 255));
    };
    std::vector<std::uint32_t> packed(map.size());
    for (std::size_t k = 0; k < map.size(); ++k)
        packed[k] = (byte(map[k].r) << 16) | (byte(map[k].g) << 8) | byte(map[k].b);
    auto scaled_index = [&](double v) { return map_row(m, v, clo, chi); };
    if (cd->is_bytes) {
        // Bytes are components 0..255 or indices from 0; an indexed picture
        // takes one colour per byte value, looked up once.
        if (!truecolor && m < 1)
            return;
        std::uint32_t colour_of[256];
        for (int v = 0; v < 256 && !truecolor; ++v) {
            const int k = scaled ? scaled_index(v) : std::min(v, m - 1);
            colour_of[v] = packed[static_cast<std::size_t>(k)];
        }
        const std::uint8_t* b = cd->bytes.data();
        for (int i = 0; i < rows; ++i) {
            std::uint32_t* line = reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(i) * stride);
            for (int j = 0; j < cols; ++j) {
                const std::size_t at = static_cast<std::size_t>(j) * rows + i;
                line[j] = truecolor ? (std::uint32_t(b[2 * n + at]) << 16) | (std::uint32_t(b[n + at]) << 8) | b[at]
                                    : colour_of[b[at]];
            }
        }
    } else {
        const double* d = cd->data.data();
        // Column by column, as the data lie; one typed loop per kind of image.
        for (int j = 0; j < cols; ++j) {
            const double* col = d + static_cast<std::size_t>(j) * rows;
            auto pixel = [&](int i) -> std::uint32_t& {
                return reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(i) * stride)[j];
            };
            if (truecolor) {
                for (int i = 0; i < rows; ++i)
                    pixel(i) = (byte(col[2 * n + i]) << 16) | (byte(col[n + i]) << 8) | byte(col[i]);
            } else if (scaled) {
                // +Inf takes the top of the map and -Inf its bottom; NaN the first row.
                for (int i = 0; i < rows; ++i) {
                    const double v = col[i];
                    pixel(i) = packed[static_cast<std::size_t>(scaled_index(v))];
                }
            } else {
                for (int i = 0; i < rows; ++i) {
                    const double v = col[i];
                    const int k = std::isnan(v) ? 1 : static_cast<int>(std::clamp(std::floor(v), 1.0, double(m)));
                    pixel(i) = packed[static_cast<std::size_t>(k - 1)];
                }
            }
        }
    }
    cairo_surface_mark_dirty(pic.get());
    const double px0 = xs.pixel(x0), px1 = xs.pixel(x1), py0 = ys.pixel(y0), py1 = ys.pixel(y1);
    if (!(std::isfinite(px0) && std::isfinite(px1) && std::isfinite(py0) && std::isfinite(py1)))
        return;
    // A picture squeezed to no width or height shows nothing (and would
    // leave the drawing a matrix it cannot invert).
    const double sx = std::fabs(px1 - px0) / cols, sy = std::fabs(py1 - py0) / rows;
    if (!(sx > 1e-9 && sy > 1e-9 && std::isfinite(sx) && std::isfinite(sy)))
        return;
    // An image is a picture: its first row at the top of its rectangle and
    // its first column at the left, whichever way the axes run (a colour
    // bar's scale counts on it; image() mirrors data given with decreasing
    // coordinates itself).
    cairo_save(cr);
    cairo_translate(cr, std::min(px0, px1), std::min(py0, py1));
    cairo_scale(cr, sx, sy);
    cairo_set_source_surface(cr, pic.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, cols, rows);
    cairo_fill(cr);
    cairo_restore(cr);
}

} // namespace paint

namespace {

using namespace paint;

// The picture an object lies in: its figure, or an axes a host window
// holds (an axes whose parent is the root), which is drawn on its own.
double picture_of(double h)
{
    for (int guard = 0; guard < 1 << 20; ++guard) {
        const Object* o = find(h);
        if (!o)
            return -1;
        if (o->kind == Kind::figure || (o->kind == Kind::axes && o->parent == 0))
            return h;
        h = o->parent;
    }
    return -1;
}

void draw(double picture, cairo_t* cr, int width, int height)
{
    const Object* o = find(picture);
    // A hosted axes takes the figure defaults and the colormap from the root.
    const Object& fig = o->kind == Kind::figure ? *o : *find(0);
    Painter p{cr, width, height, fig, colormap(fig), 0, 0, {}, {}, 0, 0, 0, 0, {}, {}, 0, 90, 1, {}};
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    if (o->kind == Kind::figure)
        p.figure();
    else
        p.hosted(picture, *o);
}

// A raster of the figure; null when it has no surface.
Surface raster(double fig, int& width, int& height)
{
    Surface none(nullptr, cairo_surface_destroy);
    if (!figure_size(fig, width, height) || width < 1 || height < 1)
        return none;
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
        return none;
    Context cr(cairo_create(s.get()), cairo_destroy);
    draw(picture_of(fig), cr.get(), width, height);
    cairo_surface_flush(s.get());
    return s;
}

const char* output_dir()
{
    const char* d = std::getenv("VIZMO_OUTPUT_DIR");
    return d && *d ? d : nullptr;
}

// What a figure looked like when it was last written, to skip the unchanged.
std::map<double, std::uint64_t>& drawn()
{
    static std::map<double, std::uint64_t> m;
    return m;
}

// The redraws that wrote pictures, which number their files.
long long& redraw_count()
{
    static long long n = 0;
    return n;
}

std::uint64_t fingerprint(double h)
{
    std::uint64_t f = 1469598103934665603ull;
    auto mix = [&f](const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (std::size_t k = 0; k < n; ++k)
            f = (f ^ b[k]) * 1099511628211ull;
    };
    std::function<void(double)> walk = [&](double x) {
        const Object* o = find(x);
        if (!o)
            return;
        mix(&x, sizeof x);
        for (const Prop& p : o->props) {
            mix(p.name.data(), p.name.size());
            mix(p.dims, sizeof p.dims);
            if (!p.data.empty())
                mix(p.data.data(), p.data.size() * sizeof(double));
            if (!p.bytes.empty())
                mix(p.bytes.data(), p.bytes.size());
        }
        for (double c : o->children)
            if (const Object* k = find(c); k && k->parent == x)
                walk(c);
    };
    walk(h);
    return f;
}

void write_figure(double fig, const std::string& stem)
{
    const std::string base = std::string(output_dir()) + "/" + stem;
    write_png(fig, base + ".png");
    write_svg(fig, base + ".svg");
}

// Every figure and every hosted axes.
std::vector<double> pictures()
{
    std::vector<double> out;
    if (const Object* root = find(0))
        for (double h : root->children)
            if (const Object* f = find(h); f && (f->kind == Kind::figure || f->kind == Kind::axes) && f->parent == 0)
                out.push_back(h);
    return out;
}

std::string figure_name(double h)
{
    const Object* o = find(h);
    return (o && o->kind == Kind::axes ? "axes-" : "figure-") + std::to_string(static_cast<long long>(h));
}

} // namespace

bool figure_size(double h, int& width, int& height)
{
    const Object* f = find(picture_of(h));
    if (!f)
        return false;
    double w = 0, hh = 0;
    if (const Prop* pos = find_prop(*f, "Position"); pos && pos->data.size() >= 4) {
        w = pos->data[2];
        hh = pos->data[3];
    }
    // A hosted axes gets the size of a new figure unless it was given one in pixels.
    const Object* root = find(0);
    if (f->kind == Kind::axes && !equal_folded(prop_text(*f, "Units"), "pixels")) {
        const Prop* size = root ? find_prop(*root, "DefaultFigurePosition") : nullptr;
        w = size && size->data.size() >= 4 ? size->data[2] : 560;
        hh = size && size->data.size() >= 4 ? size->data[3] : 420;
    } else if (equal_folded(prop_text(*f, "Units"), "normalized")) {
        const Prop* screen = root ? find_prop(*root, "Position") : nullptr;
        if (screen && screen->data.size() >= 4) {
            w *= screen->data[2];
            hh *= screen->data[3];
        }
    }
    auto pixels = [](double v) { return !(v > 0) ? 0 : v >= max_side ? max_side : static_cast<int>(std::lround(v)); };
    width = pixels(w);
    height = pixels(hh);
    return true;
}

bool capture(double h, Prop& out)
{
    int width = 0, height = 0;
    Surface s = raster(h, width, height);
    if (!s)
        return false;
    out = Prop{};
    out.ndims = 3;
    out.dims[0] = height;
    out.dims[1] = width;
    out.dims[2] = 3;
    out.dims[3] = 1;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    out.data.resize(3 * n);
    const unsigned char* base = cairo_image_surface_get_data(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    double* blue = out.data.data();
    double* green = blue + n;
    double* red = green + n;
    for (int i = 0; i < height; ++i) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(base + static_cast<std::ptrdiff_t>(i) * stride);
        for (int j = 0; j < width; ++j) {
            const std::size_t k = static_cast<std::size_t>(j) * height + i;
            const std::uint32_t p = row[j];
            red[k] = ((p >> 16) & 255) / 255.0;
            green[k] = ((p >> 8) & 255) / 255.0;
            blue[k] = (p & 255) / 255.0;
        }
    }
    return true;
}

bool write_png(double h, const std::string& path)
{
    int width = 0, height = 0;
    Surface s = raster(h, width, height);
    return s && cairo_surface_write_to_png(s.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool write_svg(double h, const std::string& path)
{
    int width = 0, height = 0;
    if (!figure_size(h, width, height) || width < 1 || height < 1)
        return false;
    Surface s(cairo_svg_surface_create(path.c_str(), width, height), cairo_surface_destroy);
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
        return false;
    {
        Context cr(cairo_create(s.get()), cairo_destroy);
        draw(picture_of(h), cr.get(), width, height);
    }
    cairo_surface_finish(s.get());
    return cairo_surface_status(s.get()) == CAIRO_STATUS_SUCCESS;
}

void after_redraw()
{
    if (!output_dir())
        return;
    const long long seq = ++redraw_count();
    for (double fig : pictures()) {
        const std::uint64_t f = fingerprint(fig);
        auto it = drawn().find(fig);
        if (it != drawn().end() && it->second == f)
            continue;
        drawn()[fig] = f;
        write_figure(fig, figure_name(fig) + "-" + std::to_string(seq));
    }
}

void after_print(double h)
{
    const double fig = picture_of(h);
    if (output_dir() && fig > 0)
        write_png(fig, std::string(output_dir()) + "/" + figure_name(fig) + "-print.png");
}

void forget()
{
    drawn().clear();
    redraw_count() = 0;
}

void at_exit()
{
    if (!output_dir())
        return;
    for (double fig : pictures())
        write_figure(fig, figure_name(fig));
}

bool automatic_limits(double h, int axis, double& lo, double& hi)
{
    using namespace paint;
    const Object* ax = find(h);
    static const char* const names[3] = {"X", "Y", "Z"};
    if (!ax || ax->kind != Kind::axes || axis < 0 || axis > 2)
        return false;
    // Limits a program wrote read back as written (even those the drawing
    // cannot use, such as [1 1]), unless it switched the mode to "auto" since.
    if (const Prop* p = find_prop(*ax, std::string(names[axis]) + "Lim");
        p && !p->data.empty() && limits_written(*ax, names[axis]))
        return false;
    const std::vector<const Object*> items = shown_items(h, *ax);
    double az, el;
    view_of(*ax, az, el);
    if (drawn_flat(*ax, items, az, el) && axis < 2) {
        const FlatLimits l = flat_limits(*ax, items);
        lo = axis ? l.y.lo : l.x.lo;
        hi = axis ? l.y.hi : l.x.hi;
        return true;
    }
    Scale s[3];
    depth_limits(*ax, items, bars_in_3d(items), s);
    lo = s[axis].lo;
    hi = s[axis].hi;
    return true;
}

} // namespace vizmo::render
