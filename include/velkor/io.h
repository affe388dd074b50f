// Text: sprintf formats values into a string through a printf-style format,
// sscanf reads values out of a string through a scanf-style format; the
// string functions work on character codes.
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

// ---- string functions ----
// Trailing blanks removed, then every element of code 0; what is left of a
// matrix is a row (a column stays a column). A cell gives a cell of the
// same size with each element deblanked.
Mm deblank(const Mm& s);
// One char matrix whose rows are the values of the list args (a cell; any
// other value is the one argument), shorter rows padded with blanks. One
// cell argument gives str2mat of that cell.
Mm str2mat(const Mm& args);
// The rows of a above the rows of b, the narrower padded with blank columns
// on the right; an empty operand counts as one blank.
Mm str2mat_pair(const Mm& a, const Mm& b);
