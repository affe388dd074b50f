// The transform core and its driver, shared by fft, fft2 and conv.
#pragma once

#include "velkor/value.h"

// Transforms every column of x (working dimension already first) at length
// len (-1: the row count) in direction dir (-1 forward, +1 inverse, scaled
// by 1/len). With dim_not_given a single row is transformed as a vector and
// returned as a row. The result is complex; no rows give the empty value.
Mm fft_core(const Mm& x, int dir, int len, bool dim_not_given);

// A length argument of fft, ifft, fft2 and ifft2: -1 when n is empty (no
// length given), its first element rounded (0 for one not above 0)
// otherwise, and -2 after an error (a non-numeric or non-finite n).
int fft_length_argument(const Mm& n);

// The front of fft and ifft: length from n (empty: none), working
// dimension from dim (0: the first extent above 1).
Mm fft_along_dim(const Mm& x, const Mm& n, const Mm& dim, int dir);
