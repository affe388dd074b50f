// The figure steps other graphics files share: opening figure n and the
// callback steps that end every object constructor.
#pragma once

#include "velkor/value.h"

// Selects figure n (writing "Show" 1) or opens it; a refusal of the engine
// comes back as its negative handle with nothing written.
Mm open_figure(double n);
// Sets h's CreateFcn and DeleteFcn from the root's Default<kind>CreateFcn
// and Default<kind>DeleteFcn, then runs the CreateFcn.
void run_default_callbacks(const Mm& h, const char* kind);
