// The computing side of the vector plots: the checks, the grids and the
// arrow strokes that quiver, feather and compass hand to the plotting calls.
#pragma once

#include "velkor/value.h"

#include <vector>

namespace gui {

// The arrow head constant: the barbs turn by atan(c) and are c sqrt(1 + c^2)
// times as long as the arrow.
constexpr double arrow_head = 0.333;

// Each stroke kind as a 3 x N pair: row 1 the starts, row 2 the ends, row 3
// NaN, so that read column by column it is one polyline broken per arrow.
struct arrow_strokes {
    Mm shaft_x, shaft_y;
    Mm barb1_x, barb1_y;
    Mm barb2_x, barb2_y;
};

// "a and b of same size" fails only when every entry of one size vector
// differs from the other's: istrue(size(a) ~= size(b)).
bool sizes_differ(const Mm& a, const Mm& b);

// The strokes of the arrows with bases (X, Y) and components (U, V), rows of
// one length; rows of different lengths raise the arithmetic's own error.
arrow_strokes make_arrows(const Mm& X, const Mm& Y, const Mm& U, const Mm& V);

struct vector_field {
    arrow_strokes arrows;
    Mm linestyle;                // the line style of all three series
    std::vector<double> limits;  // the axis limits; none for an empty field
};

// quiver(x, y, u, v, s) and quiver(u, v, s) up to their plot and axis calls:
// s a text is the linestyle (scale 1), a number the scale (linestyle "b-"). Arrows are
// scaled so that the largest absolute component becomes 0.9 scale, unless
// the scale is not positive or every component is 0 (or not finite).
vector_field quiver_field(const Mm& x, const Mm& y, const Mm& u, const Mm& v, const Mm& s);
vector_field quiver_field(const Mm& u, const Mm& v, const Mm& s);
// feather(u, v, linestyle): unscaled arrows based at 1..n on y = 0.
vector_field feather_field(const Mm& u, const Mm& v, const Mm& linestyle);
// compass(u, v): angles atan2(u(k), v(k)) and radii |[u(k) v(k)]|, each
// spoke as tip then origin.
void compass_spokes(const Mm& u, const Mm& v, Mm& th, Mm& r);

} // namespace gui
