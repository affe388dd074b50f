// The figure steps other graphics files share: opening figure n and the
// callback steps that end every object constructor.
#pragma once

#include "velkor/value.h"

// Selects figure n (writing "Show" 1) or opens it, n being a number an int
// holds (figure() refuses others) or -1 for the next free one; a refusal of
// the engine comes back as its negative handle with nothing written.
Mm open_figure(double n);
// Sets h's CreateFcn and DeleteFcn from the root's Default<kind>CreateFcn
// and Default<kind>DeleteFcn, then runs the CreateFcn.
void run_default_callbacks(const Mm& h, const char* kind);

#include <functional>

// How one kind of graphics object is built. Every constructor follows the
// same order: parent, hold the parent's NextPlot at "add", create, chart type
// and parent, data, the caller's pairs, the root's default callbacks, then
// the parent's NextPlot back.
struct object_kind {
    const char* type_name;   // as the engine creates it ("line", "patch", ...)
    const char* chart_type;  // written to "ChartType"
    const char* callbacks;   // the kind in Default<kind>CreateFcn: "Line", ...
    bool figure_parent = false;   // controls hang from gcf(), the rest from gca()
    bool refresh_parent = false;  // "Refresh" 0 on the parent first
    bool hold_next_plot = true;   // keep the parent's plot while adding
    bool apply_pairs = true;      // set_props_from(h, args, k + 1)
    bool run_create = true;       // run the CreateFcn at the end
};

// Builds one object of kind from a call's argument list; data writes the
// object's data properties (it may be empty).
Mm create_object_sequence(const object_kind& kind, const Mm& args,
                          const std::function<void(const Mm& h, const Mm& parent)>& data);
