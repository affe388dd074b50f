// Axes seen from a 3-D view: the box turned and tilted with its grid and
// z axis, and what stands in it: surfaces (drawn by the common surface
// code through the projection), series and texts, bars as boxes and pies
// as tilted discs.
#include "painter.hpp"


#include <algorithm>

namespace vizmo::render::paint {

// The view of an axes: azimuth and elevation in degrees. A single number
// names a standard view: 2 looks straight down on the x-y plane and 2.5
// does too, for a 3-D chart shown flat; 3 is the usual 3-D view from
// azimuth -37.5 and elevation 30, and 3.5, which mesh and contour charts
// end in, is that same view.
void view_of(const Object& ax, double& az, double& el)
{
    const std::vector<double> v = numbers(ax, "View");
    az = 0;
    el = 90;
    if (v.size() >= 2 && std::isfinite(v[0]) && std::isfinite(v[1])) {
        az = v[0];
        el = std::clamp(v[1], -90.0, 90.0);
    } else if (v.size() == 1 && (v[0] == 3 || v[0] == 3.5)) {
        az = -37.5;
        el = 30;
    }
}

bool seen_from_above(double az, double el) { return el >= 89.999 && std::fmod(az, 360.0) == 0; }

// Pie and polar charts keep their axes flat whatever the view: a pie seen
// in 3-D tilts its own disc (pie3d), a polar frame stays as it is.
bool flat_chart(const std::string& chart) { return chart == "pie" || chart == "polar"; }

bool drawn_flat(const Object& ax, const std::vector<const Object*>& items, double az, double el)
{
    if (seen_from_above(az, el) || prop(ax, "CData"))
        return true;
    for (const Object* o : items)
        if (flat_chart(fold(prop_text(*o, "ChartType"))))
            return true;
    return false;
}

// The bars of every bar series of an axes: series one behind the other
// along y (the 3-D charts' "none"), side by side in one row when
// "grouped", piled up in one row when "stacked".
std::vector<Bar3> bars_in_3d(const std::vector<const Object*>& items)
{
    int count = 0;
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        count += chart == "bar" || chart == "barh";
    }
    std::vector<Bar3> out;
    std::vector<double> stack;
    int k = 0;
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        if (chart != "bar" && chart != "barh")
            continue;
        const bool vertical = chart == "bar";
        const std::vector<double> at = numbers(*o, vertical ? "XData" : "YData");
        const std::vector<double> len = numbers(*o, vertical ? "YData" : "XData");
        const std::size_t n = std::min(at.size(), len.size());
        double step = INFINITY;
        for (std::size_t j = 1; j < n; ++j)
            if (std::isfinite(at[j]) && std::isfinite(at[j - 1]) && at[j] != at[j - 1])
                step = std::min(step, std::fabs(at[j] - at[j - 1]));
        if (!std::isfinite(step))
            step = 1;
        const std::string type = fold(prop_text(*o, "Stacktype"));
        const bool stacked = type.find("stack") != std::string::npos, grouped = type.find("group") != std::string::npos;
        Rgb c{0, 0, 1};
        colour(*o, "Color", c);
        if (stack.size() < n)
            stack.resize(n, 0);
        for (std::size_t j = 0; j < n; ++j) {
            if (!std::isfinite(at[j]) || !std::isfinite(len[j]))
                continue;
            Bar3 b{at[j] - 0.4 * step, at[j] + 0.4 * step, k + 0.6, k + 1.4, 0, len[j], vertical, c};
            if (grouped) {
                const double w = 0.8 * step / count;
                b.p0 = at[j] - 0.4 * step + k * w;
                b.p1 = b.p0 + w;
            }
            if (grouped || stacked) {
                b.d0 = 0.6;
                b.d1 = 1.4;
            }
            if (stacked) {
                b.l0 = stack[j];
                b.l1 = stack[j] += len[j];
            }
            out.push_back(b);
        }
        ++k;
    }
    return out;
}

// The scales of an axes seen in 3-D: limits over every point of the
// series, surfaces and 3-D texts, or those a program wrote.
void depth_limits(const Object& ax, const std::vector<const Object*>& items, const std::vector<Bar3>& bars3,
                  Scale s[3])
{
    // Limits over every point of the series, surfaces and 3-D texts.
    static const char* const data[3] = {"XData", "YData", "ZData"};
    static const char* const axis[3] = {"X", "Y", "Z"};
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (int a = 0; a < 3; ++a)
        s[a].log = equal_folded(prop_text(ax, std::string(axis[a]) + "Scale"), "log");
    auto widen = [&](int a, double v) {
        if (std::isfinite(v) && (!s[a].log || v > 0)) {
            lo[a] = std::min(lo[a], v);
            hi[a] = std::max(hi[a], v);
        }
    };
    for (const Bar3& b : bars3)
        for (int c = 0; c < 8; ++c) {
            double v[3];
            b.corner(c & 1, (c >> 1) & 1, c >> 2, v[0], v[1], v[2]);
            for (int a = 0; a < 3; ++a)
                widen(a, v[a]);
        }
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        if (chart == "text" || chart == "text3" || o->is_text) {
            const std::vector<double> p = numbers(*o, "Position");
            for (std::size_t a = 0; a < std::min<std::size_t>(3, p.size()); ++a)
                widen(static_cast<int>(a), p[a]);
            continue;
        }
        if (chart == "bar" || chart == "barh")
            continue;
        for (int a = 0; a < 3; ++a)
            for (double v : numbers(*o, data[a]))
                widen(a, v);
        if (chart == "stem")
            widen(2, 0);
    }
    for (int a = 0; a < 3; ++a) {
        nice_limits(lo[a], hi[a], s[a].log);
        if (!manual_limits(ax, axis[a], s[a].lo, s[a].hi)) {
            s[a].lo = lo[a];
            s[a].hi = hi[a];
        }
        if (s[a].lo > s[a].hi) {
            std::swap(s[a].lo, s[a].hi);
            s[a].reversed = true;
        }
        if (s[a].log)
            positive_limits(s[a].lo, s[a].hi, lo[a], hi[a]);
        const std::string dir = prop_text(ax, std::string(axis[a]) + "Dir");
        if (equal_folded(dir, "reverse") || (a == 1 && equal_folded(dir, "inverted")))
            s[a].reversed = !s[a].reversed;
    }
}

void Painter::axes3d(const Object& ax, const std::vector<const Object*>& items, double bx, double by, double bw,
                     double bh, bool decorated, double az, double el)
{
    static const char* const axis[3] = {"X", "Y", "Z"};
    Scale s[3];
    const std::vector<Bar3> bars3 = bars_in_3d(items);
    depth_limits(ax, items, bars3, s);
    // The box keeps room around it for the tick labels and axis labels.
    Projection p(s[0], s[1], s[2], az, el);
    // Bars keep their footprint square: the rows of series along y take
    // the length their range has beside that of the bar positions.
    if (!bars3.empty()) {
        const int along = bars3.front().vertical ? 0 : 2;
        const double ratio = (s[1].hi - s[1].lo) / (s[along].hi - s[along].lo);
        double& shorter = ratio < 1 ? p.ey : (along ? p.ez : p.ex);
        shorter = std::clamp(ratio < 1 ? ratio : 1 / ratio, 0.15, 1.0);
    }
    const double left = decorated ? std::min(50.0, 0.14 * bw) : 0, right = decorated ? std::min(20.0, 0.05 * bw) : 0;
    const double top = decorated ? std::min(10.0, 0.04 * bh) : 0, bottom = decorated ? std::min(40.0, 0.14 * bh) : 0;
    p.fit(bx + left, by + top, bw - left - right, bh - top - bottom);

    // The faces of the cube away from the viewer carry the background and
    // the grid; the data are drawn over them.
    const int far[3] = {p.ce * p.sa > 0 ? 0 : 1, -p.ce * p.ca > 0 ? 0 : 1, p.se > 0 ? 0 : 1};
    auto point = [&p](const double t[3], double& u, double& v) { p.unit(t[0], t[1], t[2], u, v); };
    std::vector<double> tk[3];
    for (int a = 0; a < 3; ++a) {
        Scale edge = s[a];
        double u0, v0, u1, v1;
        double t0[3] = {0, 0, 0}, t1[3] = {0, 0, 0};
        t1[a] = 1;
        point(t0, u0, v0);
        point(t1, u1, v1);
        edge.p0 = 0;
        edge.p1 = std::hypot(u1 - u0, v1 - v0);
        tk[a] = ticks_of(ax, std::string(axis[a]) + "Tick", edge);
    }
    if (decorated) {
        Rgb bg{1, 1, 1};
        colour(ax, "Color", bg);
        for (int a = 0; a < 3; ++a) {
            // The face where axis a sits at its far end, spanned by the other two.
            const int b = (a + 1) % 3, c = (a + 2) % 3;
            double corner[4][3];
            for (int k = 0; k < 4; ++k) {
                corner[k][a] = far[a];
                corner[k][b] = (k == 1 || k == 2) ? 1 : 0;
                corner[k][c] = k >= 2 ? 1 : 0;
            }
            double u, v;
            for (int k = 0; k < 4; ++k) {
                point(corner[k], u, v);
                k ? cairo_line_to(cr, u, v) : cairo_move_to(cr, u, v);
            }
            cairo_close_path(cr);
            set_colour(cr, bg);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
            cairo_set_line_width(cr, 0.5);
            cairo_stroke(cr);
        }
        // Grid lines of axis a run across the two far faces that contain it.
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        for (int a = 0; a < 3; ++a) {
            if (!equal_folded(prop_text(ax, std::string(axis[a]) + "Grid"), "on"))
                continue;
            for (double t : tk[a])
                for (int other = 1; other <= 2; ++other) {
                    const int b = (a + other) % 3, c = (a + 3 - other) % 3;
                    double from[3], to[3], u, v;
                    from[a] = to[a] = s[a].unit(t);
                    from[b] = to[b] = far[b];
                    from[c] = 0;
                    to[c] = 1;
                    point(from, u, v);
                    cairo_move_to(cr, u, v);
                    point(to, u, v);
                    cairo_line_to(cr, u, v);
                    cairo_stroke(cr);
                }
        }
    }

    cairo_save(cr);
    cairo_rectangle(cr, bx, by, bw, bh);
    cairo_clip(cr);
    const Scale none;
    boxes3(bars3, p);
    for (const Object* o : items) {
        const std::string chart = fold(prop_text(*o, "ChartType"));
        if (chart == "bar" || chart == "barh")
            continue;
        if (o->kind == Kind::surface)
            surface(*o, ax, none, none, &p);
        else if ((o->kind == Kind::line || o->kind == Kind::patch) && !is_text(*o))
            series3(*o, p, Rgb{0, 0, 1});
    }
    cairo_restore(cr);
    for (const Object* o : items)
        if (is_text(*o))
            series3(*o, p, Rgb{0, 0, 1});
    if (!decorated)
        return;

    // x ticks along the floor's near edge in y, y ticks along its near edge
    // in x, labels pushed outwards from the box; z ticks up the leftmost
    // vertical edge.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    static const char* const date_names[3] = {"xDate", "yDate", "zDate"};
    static const char* const label_names[3] = {"XLabel", "YLabel", "ZLabel"};
    int zx = 0, zy = 0;
    double zu = INFINITY;
    for (int c = 0; c < 4; ++c) {
        double u, v;
        p.unit(c & 1, c >> 1, 0.5, u, v);
        if (u < zu - 1e-9) {
            zu = u;
            zx = c & 1;
            zy = c >> 1;
        }
    }
    for (int a = 0; a < 3; ++a) {
        double base[3], out[3];
        double du = -1, dv = 0;
        if (a < 2) {
            const int b = 1 - a;
            base[b] = 1 - far[b];
            base[2] = far[2];
            // Outwards: away from the far face along the other floor axis.
            std::copy(base, base + 3, out);
            base[a] = out[a] = 0.5;
            out[b] += base[b] ? 0.1 : -0.1;
            double u0, v0, u1, v1;
            point(base, u0, v0);
            point(out, u1, v1);
            const double len = std::hypot(u1 - u0, v1 - v0);
            du = len > 0.5 ? (u1 - u0) / len : 0;
            dv = len > 0.5 ? (v1 - v0) / len : 1;
        } else {
            if (std::fabs(p.ce) < 1e-3)
                continue;  // seen from above or below, z has no length
            base[0] = zx;
            base[1] = zy;
        }
        double e0[3], e1[3];
        std::copy(base, base + 3, e0);
        std::copy(base, base + 3, e1);
        e0[a] = 0;
        e1[a] = 1;
        double u0, v0, u1, v1;
        point(e0, u0, v0);
        point(e1, u1, v1);
        if (std::hypot(u1 - u0, v1 - v0) < 10)
            continue;  // the axis points at the viewer
        cairo_move_to(cr, u0, v0);
        cairo_line_to(cr, u1, v1);
        cairo_stroke(cr);
        const std::vector<std::string> labels = axis_tick_labels(ax, tk[a], date_names[a], s[a].log);
        for (std::size_t k = 0; k < tk[a].size(); ++k) {
            const double t = tk[a][k];
            double at[3], u, v;
            std::copy(base, base + 3, at);
            at[a] = s[a].unit(t);
            point(at, u, v);
            cairo_move_to(cr, u, v);
            cairo_line_to(cr, u + 4 * du, v + 4 * dv);
            cairo_stroke(cr);
            // The floor's corner carries a tick label of the floor's axes.
            if (a == 2 && std::fabs(at[2] - far[2]) < 1e-9)
                continue;
            show_label(cr, labels[k], u + 7 * du, v + 7 * dv, 10, 0.5 - 0.5 * du, 0.5 - 0.5 * dv);
        }
        const double mu = (u0 + u1) / 2, mv = (v0 + v1) / 2;
        const Label label = label_style(ax, label_names[a], 11);
        if (a < 2)
            show_label_lines(cr, label, mu + 26 * du, mv + 26 * dv, 0.5 - 0.5 * du, 0.5 - 0.5 * dv);
        else
            show_label_lines(cr, label, mu - 36, mv, 0.5, 1, -M_PI / 2);
        cairo_set_source_rgb(cr, 0, 0, 0);
    }
    title_at(label_style(ax, "Title", 12), bx + bw / 2, by - 6);
    legend(ax, items, bx, by, bw, bh);
}

// A series in the box of a 3-D axes: lines, stems, markers, filled
// polygons and texts at their projected points; a series without z lies
// on z = 0.
void Painter::series3(const Object& s, const Projection& p, const Rgb& fallback)
{
    const std::string chart = fold(prop_text(s, "ChartType"));
    Rgb c = fallback;
    colour(s, "Color", c);
    double u, v, w;
    if (chart == "text" || chart == "text3" || s.is_text) {
        const std::vector<double> at = numbers(s, "Position");
        if (at.size() >= 2) {
            p.at(at[0], at[1], at.size() >= 3 ? at[2] : 0, u, v, w);
            set_colour(cr, c);
            if (std::isfinite(u) && std::isfinite(v))
                show_text_object(cr, s, u, v);
        }
        return;
    }
    const std::vector<double> xd = numbers(s, "XData"), yd = numbers(s, "YData"), zd = numbers(s, "ZData");
    std::size_t n = std::min(xd.size(), yd.size());
    if (!zd.empty())
        n = std::min(n, zd.size());
    std::vector<double> px(n), py(n);
    for (std::size_t k = 0; k < n; ++k)
        p.at(xd[k], yd[k], zd.empty() ? 0 : zd[k], px[k], py[k], w);
    const double lw = std::max(0.5, prop_number(s, "LineWidth", 2));
    const int style = int_of(s, "LineStyle", 0);
    const int mark = int_of(s, "Marker", -1);
    cairo_set_line_width(cr, lw);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    set_colour(cr, c);
    if (chart == "patch" || chart == "area") {
        bool any = false;
        for (std::size_t k = 0; k < n; ++k)
            if (std::isfinite(px[k]) && std::isfinite(py[k])) {
                any ? cairo_line_to(cr, px[k], py[k]) : cairo_move_to(cr, px[k], py[k]);
                any = true;
            }
        if (!any)
            return;
        cairo_close_path(cr);
        fill_outlined(cr, patch_face(s, c));
        return;
    }
    note_seen(px, py);
    if (style >= 0 && style <= 3) {
        dash(cr, style, lw);
        bool open = false;
        for (std::size_t k = 0; k < n; ++k) {
            if (!(std::isfinite(px[k]) && std::isfinite(py[k]))) {
                if (open)
                    cairo_stroke(cr);
                open = false;
                continue;
            }
            if (chart == "stem") {
                // From the floor z = 0, or from y = 0 for a series without z.
                double u0, v0;
                p.at(xd[k], zd.empty() ? 0 : yd[k], 0, u0, v0, w);
                cairo_move_to(cr, u0, v0);
                cairo_line_to(cr, px[k], py[k]);
                cairo_stroke(cr);
                continue;
            }
            open ? cairo_line_to(cr, px[k], py[k]) : cairo_move_to(cr, px[k], py[k]);
            open = true;
        }
        if (open)
            cairo_stroke(cr);
        dash(cr, 0, lw);
    }
    if (const int shown_mark = marker_pen(cr, s, chart, mark, c); shown_mark >= 0) {
        const double msize = std::max(1.0, prop_number(s, "MarkerSize", 6));
        for (std::size_t k = 0; k < n; ++k)
            if (std::isfinite(px[k]) && std::isfinite(py[k]))
                marker(cr, shown_mark, px[k], py[k], msize);
    }
}

// Bars as boxes: of each pair of opposite faces the one towards the viewer,
// all faces in painter's order, the sides shaded darker than the tops.
void Painter::boxes3(const std::vector<Bar3>& bars, const Projection& p)
{
    struct Face {
        double depth;
        double u[4], v[4];
        Rgb fill;
    };
    std::vector<Face> faces;
    faces.reserve(3 * bars.size());
    for (const Bar3& b : bars) {
        // Axis 0: position, 1: depth, 2: length; faces at side 0 and 1.
        for (int axis = 0; axis < 3; ++axis) {
            Face pair[2];
            bool ok = true;
            for (int side = 0; side < 2; ++side) {
                Face& f = pair[side];
                f.depth = 0;
                for (int k = 0; k < 4; ++k) {
                    // The four corners round the face, in order.
                    const int s1 = k == 1 || k == 2, s2 = k >= 2;
                    int idx[3];
                    idx[axis] = side;
                    idx[(axis + 1) % 3] = s1;
                    idx[(axis + 2) % 3] = s2;
                    double x, y, z, w;
                    b.corner(idx[0], idx[1], idx[2], x, y, z);
                    p.at(x, y, z, f.u[k], f.v[k], w);
                    f.depth -= w / 4;
                    ok = ok && std::isfinite(f.u[k]) && std::isfinite(f.v[k]);
                }
                const double shade = axis == 2 ? 1 : axis == 0 ? 0.8 : 0.65;
                f.fill = {b.colour.r * shade, b.colour.g * shade, b.colour.b * shade};
            }
            if (ok && pair[0].depth != pair[1].depth)
                faces.push_back(pair[0].depth < pair[1].depth ? pair[0] : pair[1]);
        }
    }
    std::stable_sort(faces.begin(), faces.end(), [](const Face& a, const Face& b) { return a.depth > b.depth; });
    cairo_set_line_width(cr, 0.5);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    for (const Face& f : faces) {
        cairo_move_to(cr, f.u[0], f.v[0]);
        for (int k = 1; k < 4; ++k)
            cairo_line_to(cr, f.u[k], f.v[k]);
        cairo_close_path(cr);
        set_colour(cr, f.fill);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_stroke(cr);
    }
}

// A pie seen from a 3-D view: a disc of wedges turned by the azimuth and
// tilted by the elevation, standing on the rim that faces the viewer. The
// rim is drawn first: the tops always lie over it.
void Painter::pie3d(const std::vector<double>& sweeps, double cx, double cy, double radius)
{
    const double el = std::clamp(std::fabs(view_el), 5.0, 90.0) * M_PI / 180, turn = view_az * M_PI / 180;
    const double squash = std::sin(el), depth = 0.2 * radius * std::cos(el);
    auto rim = [&](double t, double drop, double& u, double& v) {
        u = cx + radius * std::sin(t + turn);
        v = cy - radius * std::cos(t + turn) * squash + drop;
    };
    struct Wedge {
        double a0, a1;
        Rgb colour;
    };
    std::vector<Wedge> wedges;
    double a = 0;
    for (std::size_t k = 0; k < sweeps.size(); ++k) {
        if (!(sweeps[k] > 0))
            continue;
        wedges.push_back({a, a + sweeps[k], map[(k * map.size()) / sweeps.size()]});
        a += sweeps[k];
    }
    cairo_set_line_width(cr, 1);
    constexpr int steps = 90;  // points per full turn
    for (const Wedge& w : wedges) {
        // The part of the wedge's rim on the near half, cos(t + turn) < 0.
        const int n = std::max(2, static_cast<int>(std::ceil((w.a1 - w.a0) / (2 * M_PI) * steps)) + 1);
        std::vector<double> near_t;
        for (int k = 0; k < n; ++k) {
            const double t = w.a0 + (w.a1 - w.a0) * k / (n - 1);
            if (std::cos(t + turn) < 0)
                near_t.push_back(t);
        }
        if (near_t.size() < 2 || depth <= 0)
            continue;
        double u, v;
        for (std::size_t k = 0; k < near_t.size(); ++k) {
            rim(near_t[k], 0, u, v);
            k ? cairo_line_to(cr, u, v) : cairo_move_to(cr, u, v);
        }
        for (std::size_t k = near_t.size(); k-- > 0;) {
            rim(near_t[k], depth, u, v);
            cairo_line_to(cr, u, v);
        }
        cairo_close_path(cr);
        set_colour(cr, {0.7 * w.colour.r, 0.7 * w.colour.g, 0.7 * w.colour.b});
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_stroke(cr);
    }
    for (const Wedge& w : wedges) {
        const int n = std::max(2, static_cast<int>(std::ceil((w.a1 - w.a0) / (2 * M_PI) * steps)) + 1);
        cairo_move_to(cr, cx, cy);
        for (int k = 0; k < n; ++k) {
            double u, v;
            rim(w.a0 + (w.a1 - w.a0) * k / (n - 1), 0, u, v);
            cairo_line_to(cr, u, v);
        }
        cairo_close_path(cr);
        set_colour(cr, w.colour);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_stroke(cr);
    }
}

} // namespace vizmo::render::paint
