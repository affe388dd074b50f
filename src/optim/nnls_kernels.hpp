// The non-negative least squares kernels: Householder transformations and
// Lawson and Hanson's active-set method, with every argument by reference,
// column-major arrays with a leading dimension and 1-based indices.
#pragma once

// Mode 1 constructs the transformation from u (pivot lpivot, elements
// l1..m) and applies it; mode 2 applies one constructed before. The ncv
// vectors of c start ice apart element to element and icv apart vector to
// vector. Returns 0.
int householder_h12(const int& mode, const int& lpivot, const int& l1, const int& m, double* u, const int& iue,
                    double& up, double* c, const int& ice, const int& icv, const int& ncv);

// min ||A x - b|| subject to x >= 0, tol in place of zero in the test on
// the dual vector and value_tol in the tests on the solution values (the
// step back toward feasibility and the removal of non-positive entries).
// x must come in zero-filled. mode: 1 solved, 2 m or n not
// positive, 3 the 3n limit of inner passes reached. iterations counts the
// variables moved into the positive set.
void nnls_solve(double tol, double value_tol, double* a, const int& mda, const int& m, const int& n, double* b,
                double* x, double& rnorm, double* w, double* zz, int* index, int& mode, int& iterations);
