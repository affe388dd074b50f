// Date ticks: the library only picks the format text and names the axes
// property; rendering dates on the ticks is the engine's business.
#include "graphics/datetick.hpp"

#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/list.h"

#include <cmath>

namespace {

// Indexed by the numeric format code.
constexpr const char* date_formats[] = {
    "dd-mmm-yyyy HH:MM:SS", "dd-mmm-yyyy", "mm/dd/yy", "mmm",   "m",           "mm",    "mm/dd",
    "dd",                   "ddd",         "d",        "yyyy",  "yy",          "mmmyy", "HH:MM:SS",
    "HH:MM:SS PM",          "HH:MM",       "HH:MM PM", "QQ-YY", "QQ",
};
constexpr int date_format_count = sizeof date_formats / sizeof date_formats[0];

// The first element as a double; NaN for an empty or non-numeric value.
double first_number(const Mm& x)
{
    if (x.size() <= 0)
        return NAN;
    if (x.gettype() == qv_uint8)
        return *x.getpr(static_cast<unsigned char*>(nullptr), 1);
    if (x.gettype() != qv_double)
        return NAN;
    return *x.addr(1);
}

} // namespace

namespace graphics {

date_tick_setting choose_date_tick(const Mm& ax, const Mm& format)
{
    date_tick_setting s{horzcat(ax, TM("Date")), format};
    if (format.isstr())
        return s;
    const double code = std::trunc(first_number(format));
    if (code >= 0 && code < date_format_count)
        s.format = TM(date_formats[static_cast<int>(code)]);
    return s;
}

} // namespace graphics

Mm datetick() { return datetick(TM("x")); }

Mm datetick(const Mm& ax) { return datetick(ax, TM("mm/yy")); }

Mm datetick(const Mm& ax, const Mm& format)
{
    const graphics::date_tick_setting s = graphics::choose_date_tick(ax, format);
    set(gca(), Mm((CL(s.name), s.format)));
    return x_M;
}
