// Signals, polynomials and interpolation: grids, transforms, filters and
// the functions built on them.
#pragma once

#include "value.h"

// ---- grids ----
// X repeats the elements of x as rows, Y the elements of y as columns:
// both are numel(y) x numel(x). One vector serves as both x and y. The
// one-output forms return X.
Mm meshgrid(const Mm& x);
Mm meshgrid(const Mm& x, const Mm& y);
Mm meshgrid(const Mm& v, i_o_t, Mm& X, Mm& Y);
Mm meshgrid(const Mm& x, const Mm& y, i_o_t, Mm& X, Mm& Y);
