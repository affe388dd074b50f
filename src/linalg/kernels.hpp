// Numeric kernels of the linear-algebra subsystem, in the one calling
// convention of the library: every argument by pointer, column-major arrays
// with a leading dimension, 1-based indices, complex data in split storage.
// Kernels allocate nothing, never raise, and report through a status word.
#pragma once

// ---------------------------------------------------------------------------
// Eigenvalue kernels
// ---------------------------------------------------------------------------
// Balancing: rows and columns low..igh remain to be reduced; scale holds the
// exchange index (outside low..igh) or the power-of-2 factor (inside).
int balanc(const int* nm, const int* n, double* a, int* low, int* igh, double* scale);
int cbal(const int* nm, const int* n, double* ar, double* ai, int* low, int* igh, double* scale);
// Back-transformation of m eigenvector columns of the balanced matrix.
int balbak(const int* nm, const int* n, const int* low, const int* igh, const double* scale, const int* m, double* z);
int cbabk2(const int* nm, const int* n, const int* low, const int* igh, const double* scale, const int* m, double* zr,
           double* zi);

// Hessenberg reduction of rows and columns low..igh: stabilised elementary
// similarities (elmhes, accumulated by eltran), Householder (orthes,
// ortran) and complex Householder (corth).
int elmhes(const int* nm, const int* n, const int* low, const int* igh, double* a, int* piv);
int eltran(const int* nm, const int* n, const int* low, const int* igh, const double* a, const int* piv, double* z);
int orthes(const int* nm, const int* n, const int* low, const int* igh, double* a, double* ort);
int ortran(const int* nm, const int* n, const int* low, const int* igh, const double* a, double* ort, double* z);
int corth(const int* nm, const int* n, const int* low, const int* igh, double* ar, double* ai, double* ortr,
          double* orti);

// Real Hessenberg QR: eigenvalues (hqr), eigenvectors (hqr2, unnormalised,
// a complex pair as real and imaginary columns), and the real Schur form
// with its basis (real_schur_qr). ierr = 0 or the index of the eigenvalue
// whose iteration budget ran out.
int hqr(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi, int* ierr);
int hqr2(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi, double* z,
         int* ierr);
int real_schur_qr(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi,
                  double* z, int* ierr);

// Complex Hessenberg QR after corth: eigenvalues (comqr), eigenvectors
// (comqr2), and complex_schur_qr with job 0 (triangular form), 1 (with its
// unitary basis), 2 (eigenvectors, as comqr2) or 3 (only the unitary matrix
// of the reduction, when igh - low >= 2).
int comqr(const int* nm, const int* n, const int* low, const int* igh, double* hr, double* hi, double* wr, double* wi,
          int* ierr);
int comqr2(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti, double* hr,
           double* hi, double* wr, double* wi, double* zr, double* zi, int* ierr);
int complex_schur_qr(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti,
                     double* hr, double* hi, double* wr, double* wi, double* zr, double* zi, const int* job,
                     int* ierr);

// Hermitian matrices: reduction to a real symmetric tridiagonal matrix
// (htridi, reading the lower triangle), its eigenvalues in ascending order
// by the implicit QL method (imtql1; imtql2 with vectors), and the
// back-transformation of the vectors (htribk).
int htridi(const int* nm, const int* n, double* ar, double* ai, double* d, double* e, double* e2, double* tau);
int htribk(const int* nm, const int* n, const double* ar, const double* ai, const double* tau, const int* m,
           double* zr, double* zi);
int imtql1(const int* n, double* d, double* e, int* ierr);
int imtql2(const int* nm, const int* n, double* d, double* e, double* z, int* ierr);

// Scales every iteration budget of the eigenvalue kernels (1 normally). A
// test sets 0 to reach the paths of a kernel that does not converge.
extern int eigen_budget_scale;
