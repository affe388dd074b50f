// Linear algebra: solving systems and factorising matrices.
#pragma once

#include "value.h"

// The solution X of a*X = b.
Mm mldivide(const Mm& a, Mm b);

// Vector norms for any p: (sum |x|^p)^(1/p), Inf the largest magnitude,
// -Inf the smallest. Matrix norms for p = 1, 2, Inf (or "inf") and "fro".
// An empty x has norm 0. Without p: the 2-norm.
Mm norm(const Mm& x);
Mm norm(const Mm& x, const Mm& p);
