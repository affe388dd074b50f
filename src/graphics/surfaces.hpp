// The shading state the surface charts share with `shading`: the flag and
// the last surface or pseudo-colour call, kept so that a new shading can draw
// the same chart again.
#pragma once

#include "velkor/value.h"

// 1 after shading('interp'), else 0.
extern int interp_shading;

// The last surface_plot call: its chart name (a fixed buffer that keeps its
// text when a pcolor call empties the argument list), argument list and view.
struct surface_chart_record {
    char name[16];
    Mm args;
    Mm view;
};
extern surface_chart_record last_surface_chart;
// The argument list of the last pcolor call.
extern Mm last_pcolor_args;

// Draws the recorded chart again: a surface, a contour surface with its
// count of lines, or a surface with its floor contour (surfc, meshc).
Mm redraw_surface_chart(const char* chart, const Mm& args, const Mm& view_arg);
