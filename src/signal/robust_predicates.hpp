// Orientation and in-circle decisions that are exact for any finite double
// coordinates in range: a floating-point evaluation with a forward error
// bound decides when it can, and exact expansion arithmetic otherwise.
// Coordinates should lie within about 2^-200 .. 2^200 in magnitude (the
// callers scale by a power of two first), so no product overflows or
// underflows.
#pragma once

// > 0 when a, b, c turn counter-clockwise, < 0 clockwise, 0 collinear; the
// sign is exact.
double orient2d(double ax, double ay, double bx, double by, double cx, double cy) noexcept;

// > 0 when d lies inside the circle through a, b, c (counter-clockwise),
// < 0 outside, 0 on it; the sign is exact.
double incircle(double ax, double ay, double bx, double by, double cx, double cy, double dx, double dy) noexcept;
