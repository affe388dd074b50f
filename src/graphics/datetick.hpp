// The choice datetick makes before it writes to the current axes: the
// property name built from the axis text and the format value handed on.
#pragma once

#include "velkor/value.h"

namespace graphics {

struct date_tick_setting {
    Mm name;    // the axis text followed by "Date"
    Mm format;  // a format text, or the code itself when no table entry fits
};

// format a text: passed unchanged (never looked up); otherwise its first
// element truncated toward zero picks one of the 19 table texts, and any
// other code is passed as the number given.
date_tick_setting choose_date_tick(const Mm& ax, const Mm& format);

} // namespace graphics
