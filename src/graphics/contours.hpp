// The contour line engine shared by contour and contourf: marching squares
// over Z, one level at a time, kept apart from the drawing so that the
// geometry can be checked on its own.
#pragma once

#include "velkor/value.h"

#include <algorithm>
#include <cstddef>
#include <vector>

// The points of one level: a 2 x capacity column-major block (row 1 x,
// row 2 y) and the count of columns in use. It grows by doubling, at least
// to 1024 columns, and keeps its capacity from level to level.
struct contour_points {
    std::vector<double> xy;
    std::size_t count = 0;

    std::size_t capacity() const { return xy.size() / 2; }
    double x(std::size_t k) const { return xy[2 * k]; }
    double y(std::size_t k) const { return xy[2 * k + 1]; }
};

inline void contour_append_point(contour_points& buffer, double x, double y)
{
    if (buffer.count >= buffer.capacity())
        buffer.xy.resize(2 * std::max<std::size_t>(2 * buffer.capacity(), 1024), 0.0);
    buffer.xy[2 * buffer.count] = x;
    buffer.xy[2 * buffer.count + 1] = y;
    ++buffer.count;
}

struct contour_trace_result {
    Mm cm;    // 2 x M: per level a header [v; n] and its n points
    Mm list;  // per level its x row, y row (NaN between pieces) and the style
    // Extremes of every point drawn; +Inf, -Inf when there is none.
    double xmin, xmax, ymin, ymax;
    bool complete = false;  // false when an error was reported and returned
};

// Reads {Z}, {Z, N}, {X, Y, Z} or {X, Y, Z, N} and an optional style after
// the data, and traces every level.
contour_trace_result contour_trace(const Mm& args);

// Traces and draws: one plot call for all levels, lines 8 wide for mode 2.5
// (filled contours), then the axes fitted to the points. Returns the contour
// matrix; h gets the handles of the drawn series.
Mm contour_lines(const Mm& args, double mode, Mm& h);
