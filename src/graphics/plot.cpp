// The series plot engine: data groups, line styles, the pairing of
// x and y into series, and the colour cycle. Each series is one engine
// object given its coordinates in one bulk call, as pointers into the data.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr const char* colour_letters = vizmo_colour_letters;
constexpr int first_colour = 5;  // "b"

// Data as full real doubles, so pointers into them read values, not bytes
// or stored sparse elements.
Mm plain(const Mm& v)
{
    if (v.gettype() == qv_double && !issparse(v) && isreal(v))
        return v;
    return mdouble(full(real(v)));
}

struct line_spec {
    bool accepted = false;
    int colour_given = 0, line_style = 0, marker = -1;
};

line_spec parse_spec(const Mm& s, int& colour)
{
    char text[256] = "";
    // A text that does not fit is taken as no line style at all, not as
    // its first 255 characters.
    if (s.size() >= static_cast<int>(sizeof text))
        warning("Mstr: buffer too small - chopped");
    else
        Mstr(s, text, sizeof text);
    const int saved = colour;
    line_spec linestyle;
    int count = 0;
    for (int k = 0; colour_letters[k]; ++k) {
        if (std::strchr(text, colour_letters[k])) {
            colour = k;
            linestyle.colour_given = 1;
            count = 1;
            break;
        }
    }
    for (int k = static_cast<int>(std::size(vizmo_markers)) - 1; k >= 0; --k) {
        if (std::strstr(text, vizmo_markers[k])) {
            linestyle.marker = k;
            linestyle.line_style = -1;
            ++count;
            break;
        }
    }
    for (int k = static_cast<int>(std::size(vizmo_line_styles)) - 1; k >= 0; --k) {
        if (std::strstr(text, vizmo_line_styles[k])) {
            linestyle.line_style = k;
            count += static_cast<int>(std::strlen(vizmo_line_styles[k]));
            break;
        }
    }
    if (linestyle.line_style == 2 && linestyle.marker == 0) {
        linestyle.marker = -1;
        --count;
    }
    if (count == static_cast<int>(std::strlen(text))) {
        linestyle.accepted = true;
        return linestyle;
    }
    colour = saved;
    return line_spec{};
}

// The axes' background as [r g b]; false when it has none (a colour word
// such as "none").
bool axes_background(double rgb[3])
{
    const Mm c = get(gca(), pn_Color);
    if (c.isstr() || c.gettype() != qv_double || c.size() != 3)
        return false;
    std::copy(c.addr(), c.addr() + 3, rgb);
    return true;
}

bool is_background(int colour, const double background[3])
{
    return colour >= 0 && colour < 8 &&
           std::equal(vizmo_colour_rgb[colour], vizmo_colour_rgb[colour] + 3, background);
}

int rows_of(const Mm& v) { return v.rows(); }
int cols_of(const Mm& v) { return v.size() / (v.rows() > 0 ? v.rows() : 1); }

} // namespace

void next_color_index(int& colour, int colour_given)
{
    if (colour_given)
        return;
    if (--colour < 0)
        colour = 7;
}

Mm plot_series(const char* chart, int colour, int line_style, int marker, int n, const double* x, int x_stride,
               const double* y, int y_stride, const double* z, int z_stride)
{
    const Mm h(vizmo_create_object("line", -1));
    set(h, pn_ChartType, TM(chart));
    set(h, pn_Parent, gca());
    set(h, pn_Color, Mm(-100.0 - colour));
    set(h, TM("Marker"), Mm(static_cast<double>(marker)));
    set(h, TM("LineStyle"), Mm(static_cast<double>(line_style)));
    vizmo_set_data(*h.addr(1), n, x, x_stride, y, y_stride, z, z_stride);
    return h;
}

Mm plot_matrices(const char* chart, int& colour, int colour_given, int line_style, int marker, const Mm& x_,
                 const Mm& y_, const Mm& z_)
{
    const Mm x = plain(x_), y = plain(y_), z = z_.size() > 0 ? plain(z_) : Mm();
    const int nx = x.size(), ny = y.size(), nz = z.size();
    if (nx == 0 || ny == 0)
        return Mm();
    struct series {
        int n;
        const double *x, *y, *z;
        int xs, ys, zs;
    };
    std::vector<series> made;
    const double* px = x.addr();
    const double* py = y.addr();
    const double* pz = nz > 0 ? z.addr() : nullptr;
    const int rx = rows_of(x), cx = cols_of(x), ry = rows_of(y), cy = cols_of(y);
    // z follows the operand that is split into series: y for the column and
    // row rules of y, x for those of x.
    int rule = 0;
    if (isvector(x) && isvector(y) && nx == ny)
        rule = 1;
    else if (isvector(x) && nx == ry)
        rule = 2;
    else if (isvector(x) && nx == cy)
        rule = 3;
    else if (isvector(y) && rx == ny)
        rule = 4;
    else if (isvector(y) && cx == ny)
        rule = 5;
    else if (rx == ry && cx == cy)
        rule = 6;
    const int z_needed = rule == 4 || rule == 5 ? nx : ny;
    // The row rules step through z by its own rows: it must be laid out
    // like the operand it follows, or the last rows would read past it.
    const bool z_rows_fit = nz == 0 || (rule == 3 && rows_of(z) == ry) || (rule == 5 && rows_of(z) == rx) ||
                            (rule != 3 && rule != 5);
    if (rule == 0 || (nz > 0 && nz != z_needed) || !z_rows_fit) {
        error("plot: matrices are not matched");
        return Mm();
    }
    switch (rule) {
    case 1:
        made.push_back({nx, px, py, pz, 1, 1, 1});
        break;
    case 2:
        for (int k = 0; k < cy; ++k)
            made.push_back({nx, px, py + k * ry, pz ? pz + k * ry : nullptr, 1, 1, 1});
        break;
    case 3:
        for (int k = 0; k < ry; ++k)
            made.push_back({nx, px, py + k, pz ? pz + k : nullptr, 1, ry, nz > 0 ? rows_of(z) : 0});
        break;
    case 4:
        for (int k = 0; k < cx; ++k)
            made.push_back({ny, px + k * rx, py, pz ? pz + k * rx : nullptr, 1, 1, 1});
        break;
    case 5:
        for (int k = 0; k < rx; ++k)
            made.push_back({ny, px + k, py, pz ? pz + k : nullptr, rx, 1, nz > 0 ? rows_of(z) : 0});
        break;
    default:
        for (int k = 0; k < cx; ++k)
            made.push_back({rx, px + k * rx, py + k * rx, pz ? pz + k * rx : nullptr, 1, 1, 1});
        break;
    }
    Mm handles(0, 0, 0, 1, static_cast<int>(made.size()), qv_double);
    if (handles.size() != static_cast<int>(made.size()))
        return Mm();
    // The automatic cycle passes over the colour of the axes' background,
    // on which a series would not show; a colour the caller gave is kept.
    double background[3];
    const bool has_background = !colour_given && axes_background(background);
    for (std::size_t k = 0; k < made.size(); ++k) {
        const series& s = made[k];
        if (has_background && is_background(colour, background))
            next_color_index(colour, colour_given);
        const Mm h = plot_series(chart, colour, line_style, marker, s.n, s.x, s.xs, s.y, s.ys, s.z, s.zs);
        handles.addr()[k] = *h.addr(1);
        next_color_index(colour, colour_given);
    }
    return handles;
}

Mm plot2(const char* chart, int dm, const Mm& args)
{
    if (dm != 2 && dm != 3) {
        error("internal: plot2 should have dm==2 or 3");
        return Mm();
    }
    const int N = args.size();
    int colour = first_colour;
    std::vector<double> result;
    newplot();
    if (hosted_axes.size() == 0)
        set(gca(), pn_Refresh, Mm(0.0));
    vizmo_set_surface_axes(0);
    vizmo_set_rotate3d_axes(0);
    view(Mm(static_cast<double>(dm)));
    int p = 1;
    while (p <= N && !args.mr(p).isstr()) {
        Mm x, y, z;
        if (dm == 2) {
            if (p == N || args.mr(p + 1).isstr()) {
                const Mm& Y = args.mr(p);
                if (!isreal(Y)) {
                    x = real(Y);
                    y = imag(Y);
                } else {
                    y = Y;
                    const int n = Y.rows() == 1 ? Y.cols() : Y.rows();
                    x = colon(1.0, static_cast<double>(n));
                }
                p += 1;
            } else {
                x = args.mr(p);
                y = args.mr(p + 1);
                p += 2;
            }
        } else {
            if (p + 2 > N) {
                error("%s: expecting 3 data items in position %d", chart, p);
                break;
            }
            bool text = false;
            for (int q = p; q <= p + 2 && !text; ++q) {
                if (args.mr(q).isstr()) {
                    error("%s: expecting data item in position %d (not string)", chart, q);
                    text = true;
                }
            }
            if (text)
                break;
            x = args.mr(p);
            y = args.mr(p + 1);
            z = args.mr(p + 2);
            p += 3;
        }
        line_spec linestyle;
        if (p <= N && args.mr(p).isstr()) {
            linestyle = parse_spec(args.mr(p), colour);
            if (linestyle.accepted)
                ++p;
        }
        const Mm h = plot_matrices(chart, colour, linestyle.colour_given, linestyle.line_style, linestyle.marker, x, y,
                                   dm == 3 ? z : nop_M);
        for (int k = 1; k <= h.size(); ++k)
            result.push_back(*h.addr(k));
    }
    Mm out(0, 0, 0, result.empty() ? 0 : 1, static_cast<int>(result.size()), qv_double);
    for (std::size_t k = 0; k < result.size() && out.size() == static_cast<int>(result.size()); ++k)
        out.addr()[k] = result[k];
    if (out.size() > 0)
        set_props_from(out, args, p);
    return out;
}

Mm plot(const Mm& args) { return plot2("plot", 2, args); }
