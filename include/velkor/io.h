// Formatted text: sprintf formats values into a string through a printf-style
// format, sscanf reads values out of a string through a scanf-style format.
#pragma once

#include "value.h"

// The format itself, unchanged: no escape is replaced.
Mm sprintf(const Mm& format);
// The values of the cell args (a single value when args is not a cell),
// formatted in turn: the format continues across the values of all
// arguments. With no argument at all, the format with its escapes replaced.
Mm sprintf(const Mm& format, const Mm& args);

// Reads s (the rows of a char matrix joined by newlines) with format; size
// limits and shapes the result: n reads at most n values into a column (a
// row of text for a format of "c" and "s" conversions only), [m n] fills m
// rows column by column, Inf reads to the end. The outputs: the values read,
// their count, an empty message and 0.
Mm sscanf(const Mm& s);
Mm sscanf(const Mm& s, const Mm& format);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size);
Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count);
Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count, Mm& errmsg);
Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count, Mm& errmsg, Mm& next);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg);
Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg, Mm& next);
