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


// ---- linear programming ----
// minimise c'x subject to A(1:neq,:) x = b(1:neq), A(neq+1:m,:) x <= b(neq+1:m),
// lb <= x <= ub, for a full or sparse A, or the problem of an MPS file. The
// status message ("Optimal solution\n", "Infeasible problem\n", ...) is
// printed when display >= 0 (always for a file). lambda holds one multiplier
// per row of A: c + A'lambda minus the bound multipliers is zero, so a
// binding <= row has lambda >= 0; rows that presolve removed or that were
// dropped as linearly dependent get 0. how is "ok", "infeasible",
// "unbounded" or empty. Missing lb entries are -1e20, missing ub entries
// +1e20; neq outside 0..m counts as 0; x0 is ignored.
Mm lp(const Mm& name);
Mm lp(const Mm& name, i_o_t, Mm& x, Mm& lambda);
Mm lp(const Mm& name, i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm lp(const Mm& a, const Mm& b);
Mm lp(const Mm& a, const Mm& b, i_o_t, Mm& x, Mm& lambda);
Mm lp(const Mm& a, const Mm& b, i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm lp(const Mm& c, const Mm& A, const Mm& b);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq,
      const Mm& display);
Mm lp(const Mm& c, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, i_o_t, Mm& x, Mm& lambda);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, i_o_t, Mm& x, Mm& lambda);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, i_o_t, Mm& x, Mm& lambda);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq, i_o_t, Mm& x,
      Mm& lambda);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq,
      const Mm& display, i_o_t, Mm& x, Mm& lambda);
Mm lp(const Mm& c, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, i_o_t, Mm& x, Mm& lambda,
      Mm& how);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq, i_o_t, Mm& x,
      Mm& lambda, Mm& how);
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq,
      const Mm& display, i_o_t, Mm& x, Mm& lambda, Mm& how);
// The output references without the marker: as lp(c, A, b, i_o, x, lambda[, how]).
Mm lp(const Mm& c, const Mm& A, const Mm& b, Mm& x, Mm& lambda);
Mm lp(const Mm& c, const Mm& A, const Mm& b, Mm& x, Mm& lambda, Mm& how);
