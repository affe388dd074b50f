// Linear algebra: solving systems and factorising matrices.
#pragma once

#include "value.h"

// The solution X of a*X = b.
Mm mldivide(const Mm& a, Mm b);
