// Internal cores of the multivariate minimisers shared across their
// families: the objective reducer, the simplex core and the constrained
// core.
#pragma once

#include "velkor/value.h"

// One number from a user objective: a one-element value as it is, a longer
// one the sum of the squares of its elements; an empty one raises
// "optimization: function returned empty result" (NaN should the hook
// return).
double scalar_objective(const Mm& f);

struct simplex_outcome {
    double fval = 0;
    int iterations = 0;
    int maxiter = 0;
};

// Nelder-Mead from x0 on the function named name (extra parameters P);
// abs_flag minimises the absolute value of the objective. x gets x0's
// shape, options_out the 1x18 vector with positions 2, 3, 8 and 10.
simplex_outcome simplex_minimise(const Mm& name, const Mm& x0, const Mm& options, const Mm& P, bool abs_flag, Mm& x,
                                 Mm& options_out);

// The constrained minimiser's front for the three modes.
enum class constrained_mode : int { constr = 0, minimax = 1, curvefit = 2 };
Mm constrained_min_core(constrained_mode mode, const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb,
                        const Mm& vub, const Mm& xdata, const Mm& ydata, const Mm& P, i_o_t, Mm& x,
                        Mm& options_out);

// The final trust radius for the tolerances: 0.01·sqrt(tolx·tolfun) kept
// within [1e-14, 0.1].
double constrained_rhoend(double tolx, double tolfun);
