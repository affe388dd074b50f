// The language function lasterr: reads and clears, or replaces, the
// last-error text.
#include "value/report.hpp"
#include "velkor/host.h"
#include "velkor/value.h"

Mm lasterr()
{
    Mm text = TM(last_error_text());
    clear_last_error();
    return text;
}

Mm lasterr(const Mm& x)
{
    char text[report_buffer_size];
    Mstr(x, text, sizeof text);
    set_last_error(text);
    return x_M;
}
