// The derivative-free constrained minimiser behind constr, minimax and
// curvefit: Powell's method of linear approximations on a simplex within a
// shrinking trust region. A leaf kernel: it calls only the caller's
// callback, allocates nothing, keeps no global state and raises no error.
#pragma once

// Writes F(x) into *f and the m constraint values c_k(x) (feasible when
// >= 0) into con; context is the caller's pointer, passed on unchanged.
using cobyla_callback = void (*)(void* context, int n, int m, double* x, double* f, double* con);

// Work sizes: doubles and ints the caller provides.
inline long long cobyla_work_doubles(long long n, long long m) { return n * (3 * n + 2 * m + 11) + 4 * m + 6; }
inline long long cobyla_work_ints(long long m) { return m + 1; }

// Minimises F over n variables subject to the m constraints from the start
// x, the trust radius going from rhobeg down to rhoend. x holds the result
// on return and maxfun the number of evaluations made (maxfun <= 0 allows
// one). iprint is accepted and ignored. Returns 0.
int cobyla_minimise(void* context, cobyla_callback callback, const int& n, const int& m, double* x,
                    const double& rhobeg, const double& rhoend, const int& iprint, int& maxfun, double* w,
                    int* iact);

// The iteration itself on the pieces cobyla_minimise carves from w.
void cobyla_iterate(void* context, cobyla_callback callback, const int& n, const int& m, const int& mpp, double* x,
                    const double& rhobeg, const double& rhoend, const int& iprint, int& maxfun, double* con,
                    double* sim, double* simi, double* datmat, double* a, double* vsig, double* veta,
                    double* sigbar, double* dx, double* w, int* iact);

// The step dx of one iteration: within |dx| <= rho, first reduce the
// greatest violation of the linearised constraints b - A'dx, then the
// linear model of F (column m + 1 of A). ifull is 1 when the step reaches
// the trust-region boundary.
void cobyla_trust_region_step(const int& n, const int& m, const double* a, const double* b, const double& rho,
                              double* dx, int& ifull, int* iact, double* z, double* zdota, double* vmultc,
                              double* sdirn, double* dxnew, double* vmultd);
