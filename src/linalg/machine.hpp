// Machine constants by the integer codes of the classic Fortran convention,
// so routines written against it read their constants unchanged.
#pragma once

// 1 realmin (2^-1022), 2 realmax ((2 - eps)·2^1023), 3 eps/2 (2^-53),
// 4 eps (2^-52), 5 log10(2), 6 +Inf, 7 NaN; any other code gives 0.
double machine_double(int code) noexcept;
int machine_int(int code) noexcept;
