// The implicit differential-algebraic integrator behind ode15s: variable
// order (1 to 5), variable step backward differentiation formulas in
// fixed-leading-coefficient form, a modified Newton corrector and a
// weighted root-mean-square error test, in the calling sequence of the
// DASSL code. Its whole state lives in rwork and iwork: integrations may
// nest and run on several threads.
#pragma once

#include <algorithm>
#include <cmath>

// G(t, y, y') into delta; ires < 0 stops the evaluation (-1: try a
// smaller step, -2: give up).
using dae_residual = void (*)(void* context, double t, const double* y, const double* yp, double* delta, int& ires,
                              double* rpar, int* ipar);
// dG/dy + cj dG/dy' into pd (dense neq x neq, column-major).
using dae_jacobian_fn = void (*)(double t, const double* y, const double* yp, double* pd, double cj, double* rpar,
                                 int* ipar);

// info[0..14] are the flags info(1..15). Status in idid: 1 a step taken
// (intermediate output), 2 stepped to tstop, 3 tout reached (interpolated);
// -1 500 steps without reaching tout, -2 tolerances too small (scaled up),
// -3 an error weight <= 0, -6 repeated error-test failures, -7 corrector
// failures, -8 singular matrix, -9 convergence and error-test failures,
// -10 ires = -1 repeatedly, -11 ires = -2, -12 no consistent initial y',
// -33 illegal input (banded matrices, info(6) = 1, are refused too).
void dae_solve(void* context, dae_residual res, int neq, double& t, double* y, double* yp, double tout, int* info,
               double* rtol, double* atol, int& idid, double* rwork, int lrw, int* iwork, int liw, double* rpar,
               int* ipar, dae_jacobian_fn jac);

// Required work lengths for dense matrices.
inline long long dae_rwork_length(long long neq, int maxord = 5) { return 40 + (maxord + 4) * neq + neq * neq; }
inline long long dae_iwork_length(long long neq) { return 20 + neq; }

// The smallest step between t and tout: four units of roundoff of the
// larger time, and never below the smallest normal double, where the
// step's reciprocal would overflow (a span of a few subnormals gave steps
// of 0 and an integration that never moved).
inline double dae_min_step(double t, double tout)
{
    return std::max(0x1p-50 * std::max(std::fabs(t), std::fabs(tout)), 0x1p-1022);
}

// The pieces, exposed for their tests.
void dae_weights(int neq, int iwt, const double* rtol, const double* atol, const double* y, double* wt);
double dae_norm(int neq, const double* v, const double* wt);
void dae_interp(double x, double xout, double* yout, double* ypout, int neq, int kold, const double* phi,
                const double* psi);
