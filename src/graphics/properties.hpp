// The argument-list helpers every graphics constructor shares: finding a
// property's value in a call's list, applying the rest of the list, counting
// the leading data arguments, and colour names as RGB.
#pragma once

#include "velkor/value.h"

// The value that follows name in args (a cell list) from position from
// (1-based), or dflt when none does.
Mm findpropvalue(const Mm& name, const Mm& dflt, const Mm& args, int from);
// set(h, name, value) unless value is empty: a default copied from a
// parent that holds none leaves the object's own (the engine refuses an
// empty colour, style or switch).
void set_given(const Mm& h, const Mm& name, const Mm& value);
// set(h, args(from:end)) when args has at least from elements.
void set_props_from(const Mm& h, const Mm& args, int from);
// Leading elements of args that are neither text, struct nor cell.
int count_data_args(const Mm& args);
// A colour word or letter as [r g b]; a value that is not text unchanged.
Mm color_to_rgb(const Mm& value);
