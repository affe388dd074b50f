// The renderer's drawing vocabulary, shared by its source files: colours
// and texts of properties, the axes' scales and 3-D projection, ticks,
// markers and dashes, and the painter that walks a figure's tree. Internal
// to the engine.
#pragma once

#include "../state.hpp"
#include "tick_labels.hpp"

#include <cairo.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vizmo::render::paint {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr int max_side = 4096;
const char* const font = "DejaVu Sans";

struct Rgb {
    double r = 0, g = 0, b = 0;
};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

const Prop* prop(const Object& o, const char* name);

std::vector<double> numbers(const Object& o, const char* name);

// A property read as an int (a marker or style index, a count): its first
// element truncated, or fallback when there is none or no int holds it.
int int_of(const Object& o, const char* name, int fallback);

std::string text_of(const Object& o, const char* name);

// A text object: drawn at its "Position" with its "String", unclipped.
bool is_text(const Object& o);

// The rows of a character matrix, trailing blanks dropped.
std::vector<std::string> text_rows(const Prop& p);

// The lines a text shows: one per row of its character matrix, and a row
// broken again at each newline character; blank lines at the end dropped.
std::vector<std::string> text_lines(const Prop& p);

// The lines of a label of an axes (the handle of a text object whose
// "String" shows, or the text itself); none when it shows nothing.
std::vector<std::string> label_of(const Object& ax, const char* name);

// The items of a control's "String": its lines, or the parts of a single
// line between its bars ("one|two").
std::vector<std::string> control_items(const Object& c);

bool colour_letter(char c, Rgb& out);

// A colour as a program may write it: a code -100..-107 for the letters of
// "ymcrgbwk", an RGB row, a letter or colour word, or R + 256 G + 65536 B.
bool colour(const Object& o, const char* name, Rgb& out);

void set_colour(cairo_t* cr, const Rgb& c);

// Fills the current path with face and strokes it in a black line of one
// pixel: the outline of bars, wedges, patches and their legend swatches.
void fill_outlined(cairo_t* cr, const Rgb& face);

// The figure's colormap; gray when it holds none.
std::vector<Rgb> colormap(const Object& fig);

// The row (from 0) of a map of m rows that v takes between lo and hi.
int map_row(int m, double v, double lo, double hi);
// The angle each wedge of a pie sweeps: a share of the full turn for each
// positive finite value, 0 for the others.
std::vector<double> pie_sweeps(const std::vector<double>& values);
// The row of the map that v takes between lo and hi.
const Rgb& map_scaled(const std::vector<Rgb>& map, double v, double lo, double hi);

// Text as cairo takes it: well-formed UTF-8 stays, and every other byte of
// 128..255 is read as Latin-1 (a stray byte would stop cairo drawing).
std::string utf8(const std::string& s);

// The advance of a text at a font size.
double text_width(cairo_t* cr, const std::string& s, double size);

// A text's weight and slant ("FontWeight" "bold", "FontAngle" "italic").
struct Face {
    bool bold = false, italic = false;
};
Face face_of(const Object& o);

// Draws s with (ax, ay) of its ink box at (x, y): 0 left or top, 1 right or
// bottom; the box turned by angle (radians, clockwise on the screen) about
// (x, y).
void show_text(cairo_t* cr, const std::string& s, double x, double y, double size, double ax, double ay,
               double angle = 0, Face face = {});

// Lines stacked one under another, each placed as show_text places a text
// (ax), the block as a whole by ay; a single line is show_text's.
void show_lines(cairo_t* cr, const std::vector<std::string>& lines, double x, double y, double size, double ax,
                double ay, double angle = 0, Face face = {});

// A text object's lines at its anchor (x, y) in pixels, in the current
// colour: the point of its box its alignments name lies on the anchor, and
// the box turns about it by Rotation (degrees, counterclockwise).
void show_text_object(cairo_t* cr, const Object& t, double x, double y);

// A title or axis label of an axes: its lines, and the colour, size and
// face its text object was given (black, size and plain when none).
struct Label {
    std::vector<std::string> lines;
    Rgb colour;
    double size = 10;
    Face face;
    bool empty() const { return lines.empty(); }
};
Label label_style(const Object& ax, const char* name, double size);
// Draws a label in its colour, size and face.
void show_label_lines(cairo_t* cr, const Label& l, double x, double y, double ax, double ay, double angle = 0);
// The room that lines beyond the first take, one above another.
double lines_extra(cairo_t* cr, std::size_t lines, double size);

// Tick labels: as show_text, except that "10^n" draws as 10 with n raised.
double label_width(cairo_t* cr, const std::string& s, double size);
void show_label(cairo_t* cr, const std::string& s, double x, double y, double size, double ax, double ay);

// Which of an axis' tick labels show: all when none would touch its
// neighbour, else every 2nd, 3rd... counted from the tick at 0 (or the
// first), the smallest stride that leaves them clear. at holds the labels'
// pixel positions along the axis; side by side for an x axis.
std::vector<bool> thinned(cairo_t* cr, const std::vector<std::string>& labels, const std::vector<double>& at,
                          const std::vector<double>& ticks, bool side_by_side, double size);

// ---------------------------------------------------------------------------
// Axes coordinates.

struct Scale {
    double lo = 0, hi = 1;
    bool log = false;
    bool reversed = false;
    double p0 = 0, p1 = 1;  // pixels of lo and hi

    double value(double v) const { return log ? (v > 0 ? std::log10(v) : nan) : v; }
    // Where v lies between the limits: 0 at the start of the axis, 1 at its end.
    double unit(double v) const
    {
        // Halves first: limits of opposite sign near the largest double
        // have a span no double holds.
        const double t = (value(v) / 2 - value(lo) / 2) / (value(hi) / 2 - value(lo) / 2);
        return reversed ? 1 - t : t;
    }
    double pixel(double v) const { return p0 + unit(v) * (p1 - p0); }
};

// The box of a 3-D axes: the data scaled to the unit cube (or a box of
// sides ex, ey, ez), turned by the azimuth about z, tilted by the
// elevation, and stretched to fill the room the axes leaves for it. Depth
// w grows towards the viewer.
struct Projection {
    Scale x, y, z;
    double ca = 1, sa = 0, ce = 0, se = 1;
    double su = 1, sv = 1, cu = 0, cv = 0;
    double ex = 1, ey = 1, ez = 1;

    Projection(const Scale& xs, const Scale& ys, const Scale& zs, double az, double el)
        : x(xs), y(ys), z(zs), ca(std::cos(az * M_PI / 180)), sa(std::sin(az * M_PI / 180)),
          ce(std::cos(el * M_PI / 180)), se(std::sin(el * M_PI / 180))
    {
    }
    double across(double tx, double ty) const { return (tx - 0.5) * ex * ca + (ty - 0.5) * ey * sa; }
    double upward(double tx, double ty, double tz) const
    {
        return -se * sa * (tx - 0.5) * ex + se * ca * (ty - 0.5) * ey + ce * (tz - 0.5) * ez;
    }
    // Fits the cube's eight corners into the rectangle.
    void fit(double left, double top, double w, double h)
    {
        double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
        for (int c = 0; c < 8; ++c) {
            const double a = across(c & 1, (c >> 1) & 1), b = upward(c & 1, (c >> 1) & 1, (c >> 2) & 1);
            u0 = std::min(u0, a);
            u1 = std::max(u1, a);
            v0 = std::min(v0, b);
            v1 = std::max(v1, b);
        }
        su = w / std::max(u1 - u0, 0.2);
        sv = h / std::max(v1 - v0, 0.2);
        cu = left + w / 2 - su * (u0 + u1) / 2;
        cv = top + h / 2 + sv * (v0 + v1) / 2;
    }
    void unit(double tx, double ty, double tz, double& u, double& v, double& w) const
    {
        u = cu + su * across(tx, ty);
        v = cv - sv * upward(tx, ty, tz);
        w = ce * sa * (tx - 0.5) * ex - ce * ca * (ty - 0.5) * ey + se * (tz - 0.5) * ez;
    }
    void at(double xv, double yv, double zv, double& u, double& v, double& w) const
    {
        unit(x.unit(xv), y.unit(yv), z.unit(zv), u, v, w);
    }
    void unit(double tx, double ty, double tz, double& u, double& v) const
    {
        double w;
        unit(tx, ty, tz, u, v, w);
    }
};

// Whether the limits written for axis ("X", "Y" or "Z") still hold: true
// unless the program switched the axis' mode to "auto" after writing them.
bool limits_written(const Object& ax, const char* axis);
// Limits a program wrote win unless it switched the mode back to "auto"
// after writing them.
bool manual_limits(const Object& ax, const char* axis, double& lo, double& hi);

void nice_limits(double& lo, double& hi, bool log);
// Limits of a log axis as drawn, lo <= hi: finite and positive. A limit at
// or below 0, or past the doubles, gives way to the automatic one (auto_lo,
// auto_hi, from the positive data), or to a decade inside the other limit.
void positive_limits(double& lo, double& hi, double auto_lo, double auto_hi);

std::vector<double> ticks(const Scale& s);

// Ticks a program wrote win over the chosen ones; an empty "XTick" (as a
// colour bar writes) means none. A date axis ("xDate" holds its format)
// ticks on calendar boundaries.
std::vector<double> ticks_of(const Object& ax, const std::string& name, const Scale& s);

// The labels of an axis' ticks: dates when the axis has a date format
// (date_name, as "xDate"), otherwise numbers that tell the ticks apart, in
// one style along the axis (decades of a log axis as powers of ten).
std::vector<std::string> axis_tick_labels(const Object& ax, const std::vector<double>& t, const char* date_name,
                                          bool log = false);

void dash(cairo_t* cr, int style, double w);

void marker(cairo_t* cr, int m, double x, double y, double s);

// The marker a series shows (a stem shows circles when it names none), or
// -1 for none; when it shows one, the pen is set for it: the series'
// "MarkerColor" or its line colour, one pixel wide.
int marker_pen(cairo_t* cr, const Object& s, const std::string& chart, int mark, const Rgb& line);

// The view of an axes: azimuth and elevation in degrees. A single number
// names a standard view: 2 looks straight down on the x-y plane and 2.5
// does too, for a 3-D chart shown flat; 3 is the usual 3-D view from
// azimuth -37.5 and elevation 30, and 3.5, which mesh and contour charts
// end in, is that same view.
void view_of(const Object& ax, double& az, double& el);

bool seen_from_above(double az, double el);

// Pie and polar charts keep their axes flat whatever the view: a pie seen
// in 3-D tilts its own disc (pie3d), a polar frame stays as it is.
bool flat_chart(const std::string& chart);
// Whether an axes showing items from this view is drawn as a flat chart
// (seen from above, holding an image, or holding a chart that stays flat).
bool drawn_flat(const Object& ax, const std::vector<const Object*>& items, double az, double el);

// One bar of a bar chart in a 3-D box: its extent along the position axis
// (x for "bar", z for "barh"), across the depth axis y, and along the
// length axis (z for "bar", x for "barh").
struct Bar3 {
    double p0, p1, d0, d1, l0, l1;
    bool vertical;
    Rgb colour;

    void corner(int ip, int id, int il, double& x, double& y, double& z) const
    {
        const double pv = ip ? p1 : p0, lv = il ? l1 : l0;
        y = id ? d1 : d0;
        x = vertical ? pv : lv;
        z = vertical ? lv : pv;
    }
};

// The bars of every bar series of an axes: series one behind the other
// along y (the 3-D charts' "none"), side by side in one row when
// "grouped", piled up in one row when "stacked".
std::vector<Bar3> bars_in_3d(const std::vector<const Object*>& items);

// The scales of a flat axes: its own x and y (the limits a program wrote,
// or ones chosen round the data), and those of the second axes that series
// marked with "XAxisLocation" "top" or "YAxisLocation" "right" are drawn on.
struct FlatLimits {
    Scale x, y, x2, y2;
    // A second axis drawn: one that series use and whose limits are not
    // those of the first (plotyy's second x axis is usually the first).
    bool x2_used = false, y2_used = false;
};

// Area series pile up: each stands on the one made before it over the same
// x, and the first of a pile, or one over other x, on 0. The base of each
// area series of the items, point by point.
std::map<const Object*, std::vector<double>> area_bases(const std::vector<const Object*>& items);

// The rectangle an axes' image covers, pixel edges in data units: from
// "IMLim" (the edges as image sets them, or the centres as imagesc does),
// or, when that names no extent for an axis with more than one cell (none,
// not finite, or one point, as an image made before its data holds), the
// data's own: 1 to columns + 1 and 1 to rows + 1. False without an image.
bool image_extent(const Object& ax, double& x0, double& x1, double& y0, double& y1);
FlatLimits flat_limits(const Object& ax, const std::vector<const Object*>& items);
// The scales of an axes seen in 3-D; bars3 are the items' bars as
// bars_in_3d lays them out, found once by the caller that also draws them.
void depth_limits(const Object& ax, const std::vector<const Object*>& items, const std::vector<Bar3>& bars3,
                  Scale s[3]);
bool on_right(const Object& o);
bool on_top(const Object& o);
std::vector<const Object*> shown_items(double h, const Object& ax);

struct Painter {
    cairo_t* cr;
    int width, height;
    const Object& fig;
    std::vector<Rgb> map;
    // Bar series of the axes being drawn: their number, the next one's
    // place in its group, and the stacked ends so far per bar, above and
    // below 0.
    int bars = 0, bar_at = 0;
    std::vector<double> stack_up, stack_down;
    // The box of the flat axes being drawn, in pixels.
    double box_x = 0, box_y = 0, box_w = 0, box_h = 0;
    // Pixels the series of the axes being drawn pass through, thinned, for
    // placing a legend where it hides the least.
    std::vector<std::pair<double, double>> seen;
    // Where the figure's decorated axes sit, to keep labels off their neighbours.
    std::vector<std::pair<const Object*, std::vector<double>>> boxes;
    // The view of the axes being drawn.
    double view_az = 0, view_el = 90;
    // The radius at the frame of the polar axes being drawn: every polar
    // series of an axes shares it.
    double polar_outer = 1;
    // The base each area series of the axes being drawn stands on.
    std::map<const Object*, std::vector<double>> area_base;

    std::vector<double> placement(const Object& ax) const;
    void figure();
    void hosted(double h, const Object& ax);
    void axes(double h, const Object& ax);
    void axes3d(const Object& ax, const std::vector<const Object*>& items, double bx, double by, double bw, double bh,
                bool decorated, double az, double el);
    void series(const Object& s, const Scale& x, const Scale& y, const Rgb& fallback);
    void series3(const Object& s, const Projection& p, const Rgb& fallback);
    void boxes3(const std::vector<Bar3>& bars, const Projection& p);
    void pie3d(const std::vector<double>& sweeps, double cx, double cy, double radius);
    void surface(const Object& s, const Object& ax, const Scale& xs, const Scale& ys, const Projection* p);
    void image(const Object& ax, const Scale& x, const Scale& y);
    void control(const Object& c);
    // The frame of a polar axes (and its rings, spokes and their labels
    // when its grid is on), under the series; sets polar_outer.
    void polar_frame(const Object& ax, const std::vector<const Object*>& items, double bx, double by, double bw,
                     double bh, bool decorated);
    void legend(const Object& ax, const std::vector<const Object*>& items, double bx, double by, double bw,
                double bh);
    void swatch(const Object& s, double x0, double x1, double y);
    // A title centred over x with its foot at y, moved in from the
    // figure's edges where it would be cut.
    void title_at(const Label& t, double x, double y);
    // The face of a filled series: its "FaceColor", else its line colour;
    // a colour index in its "CData" picks a row of the figure's colormap.
    Rgb patch_face(const Object& s, const Rgb& line) const;
    void note_seen(const std::vector<double>& px, const std::vector<double>& py);
};

} // namespace vizmo::render::paint
