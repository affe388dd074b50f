// The contour line engine shared by contour, contourf and the contour
// labels: marching squares over Z, one level at a time.
#pragma once

#include "velkor/value.h"

struct contour_trace_result {
    Mm cm;    // 2 x M: per level a header [v; n] and its n points
    Mm list;  // per level its x row, y row (NaN between pieces) and the style
    // Extremes of every point drawn; +Inf, -Inf when there is none.
    double xmin, xmax, ymin, ymax;
};

// Reads {Z}, {Z, N}, {X, Y, Z} or {X, Y, Z, N} and an optional style after
// the data, and traces every level.
contour_trace_result contour_trace(const Mm& args);
