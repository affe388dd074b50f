// Optimisation, zero finding, quadrature and differential equations: the
// solvers that call a user function by name through the host's feval hook.
#pragma once

#include "value.h"

// ---- options vector and options structure ----
// The options vector is a row of 18 doubles read by position (1 Display,
// 2 TolX, 3 TolFun, 4 TolCon, 8 output value, 10 output count, 13 equality
// count, 14 MaxFunEvals, 15 MinAbsMax, 16 DiffMinChange, 17 DiffMaxChange).
// foptions completes v: cut to 18 elements, grown to 18 with position 18
// reset to 0, and the zero or NaN tolerances 2, 3, 4, 16 and 17 replaced by
// their defaults (negative ones stay).
Mm foptions();
Mm foptions(Mm v);
// The structure with the nine named fields, each empty.
Mm optimset();
// Rejected: "not supported.".
Mm optimset(const Mm& x);
// first is a structure to start from (never changed) or the first name;
// rest is the cell of the call's remaining arguments, name and value pairs.
// Names become fields as written; an odd count leaves the last name empty;
// a single name sets nothing.
Mm optimset(const Mm& first, const Mm& rest);
// The field name of opts when it exists (even empty), else dflt ([] in the
// two-argument form).
Mm optimget(const Mm& opts, const Mm& name);
Mm optimget(const Mm& opts, const Mm& name, const Mm& dflt);

