// Optimisation, zero finding, quadrature and differential equations: the
// solvers that call a user function by name through the host's feval hook.
#pragma once

#include "value.h"

// ---- options vector and options structure ----
// The options vector holds 18 doubles read by position (1 Display,
// 2 TolX, 3 TolFun, 4 TolCon, 8 output value, 9 DerivativeCheck, 10 output
// count, 13 equality count, 14 MaxFunEvals, 15 MinAbsMax, 16
// DiffMinChange, 17 DiffMaxChange). foptions completes v: cut to 18
// elements or grown to 18 with zeros (an empty v into a row), position 18
// reset to 0, and the zero or NaN tolerances 2, 3, 4, 16 and 17 replaced by
// their defaults 1e-4, 1e-4, 1e-6, 1e-8 and 0.1 (negative ones stay).
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
// "unbounded" or empty; without a solution x is NaN and lambda empty.
// Missing lb entries are -1e20, missing ub entries +1e20; neq outside 0..m
// counts as 0; display is 0 when absent; x0 is ignored. The forms lp(a, b)
// and lp(name, i_o, x, lambda, how) only reject the call.
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
// ---- zero finding ----
// A zero of the function named f: from a scalar start x (0 by default) an
// outward search for a sign change first (an error when a value met there
// is not finite or no change of sign is found), then Brent's zero finder
// on the interval; x = [a b] gives the interval itself (ends in any order;
// an error when the values at its ends have one sign). tol: absolute
// tolerance (empty, 0, negative or NaN: 10 times the smallest normal
// double); trace is not used; P: cell of extra parameters passed after the
// point. NaN when a value at the ends or during the iteration is not
// finite.
Mm fzero(const Mm& f);
Mm fzero(const Mm& f, const Mm& x);
Mm fzero(const Mm& f, const Mm& x, const Mm& tol);
Mm fzero(const Mm& f, const Mm& x, const Mm& tol, const Mm& trace);
Mm fzero(const Mm& f, const Mm& x, const Mm& tol, const Mm& trace, const Mm& P);

// ---- bounded one-dimensional minimisation ----
// A minimiser of the function named f on the interval between the first
// elements of x1 and x2 (in any order), by Brent's golden-section and
// parabolic search. fmin reads the options vector (position 2 the
// tolerance, else 1e-4; position 14 the pass limit, else 1000) and returns
// a 1x18 vector with position 2 the tolerance, 8 the value at x and 10 the
// number of passes. fminbnd reads an options structure; exitflag is 0 when
// the passes reached the limit, else 1. A non-finite value gives x = NaN.
Mm fmin(const Mm& f, const Mm& x1, const Mm& x2);
Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options);
Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options, const Mm& P);
Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, i_o_t, Mm& x, Mm& options_out);
Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options, i_o_t, Mm& x, Mm& options_out);
Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options, const Mm& P, i_o_t, Mm& x, Mm& options_out);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, const Mm& P);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, i_o_t, Mm& x, Mm& fval);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, i_o_t, Mm& x, Mm& fval);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, i_o_t, Mm& x, Mm& fval, Mm& exitflag);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, i_o_t, Mm& x, Mm& fval, Mm& exitflag);
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval,
           Mm& exitflag);

// ---- quadrature ----
// The integral of the function named f from a to b by the nested 10-, 21-,
// 43- and 87-point Gauss-Kronrod-Patterson rules, without subdivision: f
// gets one row of all the new abscissae per rule (at most three calls of
// 21, 22 and 44 points) and must work element by element. tol: relative
// tolerance (1e-9 when absent, 0, negative or NaN; at least 50 eps); trace
// is not used; P: cell of extra parameters after the abscissae. The
// 87-point estimate is returned when the tolerance is not met. The one- and
// two-argument forms only reject the call; a function that returns fewer
// values than abscissae raises an error.
Mm quad8(const Mm& f);
Mm quad8(const Mm& f, const Mm& a);
Mm quad8(const Mm& f, const Mm& a, const Mm& b);
Mm quad8(const Mm& f, const Mm& a, const Mm& b, const Mm& tol);
Mm quad8(const Mm& f, const Mm& a, const Mm& b, const Mm& tol, const Mm& trace);
Mm quad8(const Mm& f, const Mm& a, const Mm& b, const Mm& tol, const Mm& trace, const Mm& P);

// ---- multivariate minimisation ----
// constr minimises f(x) (the sum of squares of a vector objective) subject
// to g(x) <= 0 from [f, g] = fun(x, P{:}) and the bounds vlb <= x <= vub
// (shorter bound vectors bound the leading components), without
// derivatives (grad is accepted and not used). Options: 2 TolX, 3 TolFun,
// 13 the number of leading equalities in g, 14 the evaluation limit (else
// 300·numel(x0)). The options output holds 2 TolX, 3 TolFun, 10 the
// evaluation limit and 13 the equalities. minimax minimises the largest
// value of f (its first options(15) values taken by magnitude); curvefit
// fits fun(x, xdata, P{:}) to ydata in the least-squares sense.
#define VELKOR_CONSTRAINED_FAMILY(NAME)                                                                             \
    Mm NAME(const Mm& fun);                                                                                          \
    Mm NAME(const Mm& fun, const Mm& x0);                                                                            \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options);                                                         \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb);                                          \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub);                           \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad);           \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad,            \
            const Mm& P);                                                                                            \
    Mm NAME(const Mm& fun, i_o_t, Mm& x, Mm& options_out);                                                          \
    Mm NAME(const Mm& fun, const Mm& x0, i_o_t, Mm& x, Mm& options_out);                                            \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, i_o_t, Mm& x, Mm& options_out);                         \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, i_o_t, Mm& x, Mm& options_out);          \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, i_o_t, Mm& x,             \
            Mm& options_out);                                                                                        \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad, i_o_t,    \
            Mm& x, Mm& options_out);                                                                                 \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad,            \
            const Mm& P, i_o_t, Mm& x, Mm& options_out);
VELKOR_CONSTRAINED_FAMILY(constr)
VELKOR_CONSTRAINED_FAMILY(minimax)
#undef VELKOR_CONSTRAINED_FAMILY
Mm curvefit(const Mm& fun);
Mm curvefit(const Mm& fun, const Mm& x0);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad,
            const Mm& P);
Mm curvefit(const Mm& fun, i_o_t, Mm& x, Mm& options_out);
Mm curvefit(const Mm& fun, const Mm& x0, i_o_t, Mm& x, Mm& options_out);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, i_o_t, Mm& x, Mm& options_out);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, i_o_t, Mm& x, Mm& options_out);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, i_o_t, Mm& x,
            Mm& options_out);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad, i_o_t,
            Mm& x, Mm& options_out);
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad,
            const Mm& P, i_o_t, Mm& x, Mm& options_out);
// fminu: constr without bounds, every form.
Mm fminu(const Mm& f);
Mm fminu(const Mm& f, const Mm& x);
Mm fminu(const Mm& f, const Mm& x, const Mm& options);
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad);
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad, const Mm& P);
Mm fminu(const Mm& f, i_o_t, Mm& x_out, Mm& options_out);
Mm fminu(const Mm& f, const Mm& x, i_o_t, Mm& x_out, Mm& options_out);
Mm fminu(const Mm& f, const Mm& x, const Mm& options, i_o_t, Mm& x_out, Mm& options_out);
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad, i_o_t, Mm& x_out, Mm& options_out);
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad, const Mm& P, i_o_t, Mm& x_out,
         Mm& options_out);

// Nelder-Mead simplex search from x0 (the function always gets x0's
// shape). Options: 1 display (one trace word per iteration), 2 tolx (the
// best-to-worst distance), 3 tolf (the simplex extent), both 1e-4 when not
// positive, 14 the iteration limit (else 300·numel(x0)). The options
// output holds 2, 3, 8 (the value at x) and 10 (the iterations).
// fminsearch reads an options structure; exitflag is 0 when the iterations
// reached the limit. grad is not used.
Mm fmins(const Mm& f, const Mm& x0);
Mm fmins(const Mm& f, const Mm& x0, const Mm& options);
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad);
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P);
Mm fmins(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& options_out);
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, i_o_t, Mm& x, Mm& options_out);
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, i_o_t, Mm& x, Mm& options_out);
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P, i_o_t, Mm& x, Mm& options_out);
Mm fminsearch(const Mm& f, const Mm& x0);
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts);
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, const Mm& P);
Mm fminsearch(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& fval);
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, i_o_t, Mm& x, Mm& fval);
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval);
Mm fminsearch(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& fval, Mm& exitflag);
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, i_o_t, Mm& x, Mm& fval, Mm& exitflag);
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval, Mm& exitflag);

// fsolve: f(x) = 0 by the simplex search on |f| (the sum of squares of a
// vector f); start 0 by default, none (no evaluation) in the form without
// x0 that returns outputs.
Mm fsolve(const Mm& f);
Mm fsolve(const Mm& f, const Mm& x0);
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options);
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad);
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P);
Mm fsolve(const Mm& f, i_o_t, Mm& x, Mm& options_out);
Mm fsolve(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& options_out);
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, i_o_t, Mm& x, Mm& options_out);
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, i_o_t, Mm& x, Mm& options_out);
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P, i_o_t, Mm& x, Mm& options_out);

// ---- differential equations ----
// The ODE options value: a 4x1 column [RelTol; AbsTol; Refine;
// InitialStep]; a slot that is not positive reads as unset. Names are
// whole, with A-Z folded; unknown names and empty values are skipped; a
// slot keeps the first element of its value. odeset starts from zeros(4,1)
// or from a copy of the options value given first; odeget gives the slot's
// value or dflt ([] in the two-argument form), dflt for empty options, and
// rejects options of another size.
Mm odeset();
Mm odeset(const Mm& x);  // rejected
Mm odeset(const Mm& n1, const Mm& v1);
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1);
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2);
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2);
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3);
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3);
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3, const Mm& n4,
          const Mm& v4);
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3,
          const Mm& n4, const Mm& v4);
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3, const Mm& n4,
          const Mm& v4, const Mm& n5, const Mm& v5);
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3,
          const Mm& n4, const Mm& v4, const Mm& n5, const Mm& v5);
Mm odeget(const Mm& options);  // rejected
Mm odeget(const Mm& options, const Mm& name);
Mm odeget(const Mm& options, const Mm& name, const Mm& dflt);

// Initial value problems y' = F(t, y, [], extra{:}) for the function named
// F: ode23 (Bogacki-Shampine 3(2)), ode45 (Bogacki-Shampine 5(4)), ode78
// (Prince-Dormand 8(7)) and ode15s (BDF, orders 1 to 5, for stiff
// problems). A two-element tspan reports every step; ode23 and ode45 add
// Refine - 1 interpolated rows before each (Refine 1 to 32, 4 by default;
// none after a step that warned), ode78 has no interpolant and ode15s does
// not refine. A longer tspan reports exactly its times, which must run one
// way ("ode: tspan must be monotonic"; a repeated time gives its row
// again). tspan may run backward; equal ends give the row (t0, y0) once,
// or once per time in a longer tspan. An empty tspan asks F([], [],
// "init") for tspan, y0 and options. The Runge-Kutta solvers need RelTol in
// 1.1e-15 .. 0.01 and AbsTol/RelTol >= 1.49e-154. A step whose error
// estimate is not finite (a NaN or Inf derivative) is rejected; when the
// step can shrink no further the solver raises "ode: failed to achieve
// requested accuracy." (ode15s may end with "ode: failed to solve %d.").
// t is a column, y one row per time. The one-output forms return t.
#define VELKOR_ODE_FAMILY(NAME)                                                                                     \
    Mm NAME(const Mm& F);                                                                                           \
    Mm NAME(const Mm& F, const Mm& tspan);                                                                          \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0);                                                           \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options);                                        \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options, const Mm& extra);                       \
    Mm NAME(const Mm& F, i_o_t, Mm& t, Mm& y);                                                                      \
    Mm NAME(const Mm& F, const Mm& tspan, i_o_t, Mm& t, Mm& y);                                                     \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, i_o_t, Mm& t, Mm& y);                                      \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options, i_o_t, Mm& t, Mm& y);                   \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options, const Mm& extra, i_o_t, Mm& t, Mm& y);
VELKOR_ODE_FAMILY(ode23)
VELKOR_ODE_FAMILY(ode45)
VELKOR_ODE_FAMILY(ode78)
VELKOR_ODE_FAMILY(ode15s)
#undef VELKOR_ODE_FAMILY
// The driver of the four: method 1 ode23, 2 ode45, 3 ode78, 4 ode15s.
Mm ode_solve(int method, const Mm& F, Mm tspan, Mm y0, Mm options, const Mm& extra, i_o_t, Mm& t_out, Mm& y_out);

// ---- least squares ----
// min ||A x - b|| subject to x >= 0 by Lawson and Hanson's active-set
// method from x = 0; tol replaces zero in the sign tests (default 10 eps
// max(m, n) norm(A, 1)). w is the dual vector; flag is 1 when the method
// converged, 0 at its iteration limit or for an empty problem.
Mm nnls(const Mm& A, const Mm& b);
// The core of nnls and lsqnonneg (tol of one element is used as given);
// iterations counts the variables moved into the positive set.
Mm nnls_core(const Mm& A, const Mm& b, const Mm& tol, const Mm& x0, i_o_t, Mm& x, Mm& w, Mm& flag, Mm& iterations);
Mm nnls(const Mm& A, const Mm& b, const Mm& tol);
Mm nnls(const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& w);
Mm nnls(const Mm& A, const Mm& b, const Mm& tol, i_o_t, Mm& x, Mm& w);
Mm nnls(const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& w, Mm& flag);
Mm nnls(const Mm& A, const Mm& b, const Mm& tol, i_o_t, Mm& x, Mm& w, Mm& flag);
// lsqnonneg({M, v, x0, options}): the same problem; TolX of the options
// structure is the tolerance; x0 is accepted and not used. residual is
// M x - v, resnorm its sum of squares, output.iterations the count,
// lambda the dual vector.
Mm lsqnonneg(const Mm& args);
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm);
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual);
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual, Mm& exitflag);
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual, Mm& exitflag, Mm& output);
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual, Mm& exitflag, Mm& output, Mm& lambda);

// ---- quadratic programming ----
// min 0.5 x'Hx + f'x subject to A(1:neq,:) x = b(1:neq), the other rows
// <= and vlb <= x <= vub (bound vectors of k entries bound the first k
// variables; infinite entries bound nothing), by a two-phase interior-point
// method; an empty H solves the linear problem through lp. lambda: one
// multiplier per row of A, then per lower and per upper bound (0 for an
// infinite bound), >= 0 where a <= row binds; sparse when H is. how is
// "ok", "infeasible" or "unbounded" (x NaN then; constraints that leave a
// single point count as infeasible); the verdicts are printed when
// verbosity >= 0. Results use the shared random generator.
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      const Mm& verbosity);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, i_o_t, Mm& x, Mm& lambda);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t, Mm& x,
      Mm& lambda);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      i_o_t, Mm& x, Mm& lambda);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      const Mm& verbosity, i_o_t, Mm& x, Mm& lambda);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda,
      Mm& how);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t, Mm& x,
      Mm& lambda, Mm& how);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      i_o_t, Mm& x, Mm& lambda, Mm& how);
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      const Mm& verbosity, i_o_t, Mm& x, Mm& lambda, Mm& how);
// conls: min ||A x - b||^2 subject to G x <= h (the first neq rows
// equalities) and the bounds: qp(A.'A, -(A.'b), G, h, vlb, vub, x0, neq).
// The forms with fewer than four inputs only reject the call.
Mm conls(const Mm& A);
Mm conls(const Mm& A, const Mm& b);
Mm conls(const Mm& A, const Mm& b, const Mm& G);
Mm conls(const Mm& A, i_o_t, Mm& x, Mm& lambda);
Mm conls(const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda);
Mm conls(const Mm& A, const Mm& b, const Mm& G, i_o_t, Mm& x, Mm& lambda);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0,
         const Mm& neq);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, i_o_t, Mm& x, Mm& lambda);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, i_o_t, Mm& x, Mm& lambda);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t,
         Mm& x, Mm& lambda);
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0,
         const Mm& neq, i_o_t, Mm& x, Mm& lambda);
