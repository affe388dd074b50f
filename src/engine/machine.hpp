// Machine constants by code, for routines that take their rounding unit and
// range limits from one place instead of spelling them out.
#pragma once

// 1 realmin (2^-1022), 2 realmax ((2 - eps)·2^1023), 3 eps/2 (2^-53),
// 4 eps (2^-52), 5 log10(2), 6 +Inf, 7 NaN; any other code gives 0.
double machine_double(int code) noexcept;
// 9 the largest int, 14 the mantissa digits (53), 15 the smallest exponent
// (-1021), 16 the largest exponent (1023); any other code gives 0.
int machine_int(int code) noexcept;
