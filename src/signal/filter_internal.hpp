// The filter entry deconv divides polynomials with.
#pragma once

#include "velkor/value.h"

// The first count (>= 1) samples of the impulse response of b/a as a row,
// filter(b, a, [1 0 ... 0]) with its messages, except that the zero samples
// carry no b terms: a NaN or Inf coefficient of b then stays in its own
// place of the quotient, as in long division.
Mm filter_impulse(const Mm& b, const Mm& a, int count);
