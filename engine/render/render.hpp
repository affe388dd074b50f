// The renderer: draws a figure's object tree with cairo, onto a raster or
// an SVG file through one drawing path. It only reads the engine's state.
#pragma once

#include "../state.hpp"

#include <string>

namespace vizmo::render {

// The figure's surface in pixels (Position(3:4), scaled by the screen when
// "Units" is "normalized"); false when h lies in no figure. An axes a host
// window holds (its parent the root) is a picture of its own, the size of a
// new figure.
bool figure_size(double h, int& width, int& height);

// "Capture": rows x cols x 3 doubles in [0, 1], planes blue, green, red.
// False when h lies in no figure or its surface is empty.
bool capture(double h, Prop& out);

// The limits drawn on an axis (0 x, 1 y, 2 z) of axes h when they are
// chosen from its data; false when a program wrote them or h is no axes.
bool automatic_limits(double h, int axis, double& lo, double& hi);

bool write_png(double h, const std::string& path);
bool write_svg(double h, const std::string& path);

// The picture files a run leaves in VIZMO_OUTPUT_DIR (nothing when unset):
// after a redraw, of each figure changed since the one before; on "Print",
// figure-<n>-print.png; at exit, the final state of every figure. Hosted
// axes give axes-<n>... files the same way.
void after_redraw();
void after_print(double h);
void at_exit();
// Forgets what was written: the next redraw writes every figure again,
// numbered from 1.
void forget();

} // namespace vizmo::render
