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

// ---- number and text conversions ----
// Numbers as text with 4 significant digits (or p), one row of text per
// row of x, columns aligned; infinities and NaN as Inf, -Inf and NaN; a
// sparse value one line per non-zero. The one-output forms without p lose
// the blank columns on the left; [s, n] forms also give the width n of one
// element. Text is returned as it is.
Mm num2str(const Mm& x);
Mm num2str(const Mm& x, const Mm& p);
Mm num2str(const Mm& x, i_o_t, Mm& s, Mm& n);
Mm num2str(const Mm& x, const Mm& p, i_o_t, Mm& s, Mm& n);
// num2str(round(x)).
Mm int2str(const Mm& x);
// One row of text in bracket syntax with n (default 15) significant digits.
Mm mat2str(const Mm& x);
Mm mat2str(const Mm& x, const Mm& n);
// The matrix written in a text: blanks or commas between elements, ';' or
// a new line between rows, complex elements such as 3+4i; an element that
// reads as no number is 0. str2double gives NaN for a text with no
// element, and works element by element on a cell.
Mm str2num(const Mm& s);
Mm str2double(const Mm& s);
// A column with the value of each row of s read as digits in base b
// (default 16): 0-9, then A-Z (either case) from 10; other characters are 0.
Mm base2dec(const Mm& s);
Mm base2dec(const Mm& s, const Mm& b);
Mm bin2dec(const Mm& s);
Mm hex2dec(const Mm& s);
// One row of base-b digits (default 16, at least 2) per element of x, which
// must be non-negative whole numbers; all rows of one width, padded with
// '0' on the left to at least len columns.
Mm dec2base(const Mm& x);
Mm dec2base(const Mm& x, const Mm& b);
Mm dec2base(const Mm& x, const Mm& b, const Mm& len);
Mm dec2bin(const Mm& x);
Mm dec2bin(const Mm& x, const Mm& len);
Mm dec2hex(const Mm& x);
Mm dec2hex(const Mm& x, const Mm& len);
// The double whose bits are the 16 hexadecimal digits of s, most
// significant first, s padded on the right with '0'.
Mm hex2num(const Mm& s);
