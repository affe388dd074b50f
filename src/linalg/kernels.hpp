// Every numeric kernel of the linear-algebra subsystem, in one calling
// convention, for the language functions here and for the numerical
// subsystems above (Bessel functions, ODE and DAE integrators, state space).
//
// The convention:
// - Kernel arguments are passed by reference: integers as pointers to 32-bit
//   int, reals as pointers to double, job codes as pointers to int.
// - Matrices are column-major with a leading dimension; element (i, j)
//   (1-based) of a lies at a[(i-1) + (j-1)*lda]. Index arithmetic inside the
//   kernels is done in ptrdiff_t.
// - Pivots, failure indices and result indices are 1-based.
// - A complex array is two arrays of double (real parts, imaginary parts)
//   with one leading dimension ("split" storage).
// - Kernels return 0 and report through info; they never raise, never
//   allocate: the caller carves work arrays (scratch<double>, int_scratch).
#pragma once

#include "engine/machine.hpp"
#include "engine/split_gemm.hpp"
#include "linalg/int_scratch.hpp"
#include "linalg/split_blas.hpp"

#include <cstddef>

// ---- dense LU family (LINPACK layout: the strict lower triangle holds the
// negated multipliers; ipvt(k) is the row exchanged with row k at step k;
// info the last zero pivot met, 0 when none) ----

int lu_factor_real(double* a, const int* lda, const int* n, int* ipvt, int* info);
// b := A\b (job 0) or A.'\b (job != 0) from the factors of lu_factor_real.
int lu_solve_real(const double* a, const int* lda, const int* n, const int* ipvt, double* b, const int* job);
int lu_factor_split(double* ar, double* ai, const int* lda, const int* n, int* ipvt, int* info);
// lu_factor_split's factors, pivots and info, from lu_split_blocked_order
// on by LAPACK's blocked ZGETRF on an interleaved copy in work (at least
// lu_split_work_size(n) doubles) and then put in LINPACK's layout: the
// same pivots wherever the elimination's rounding does not tip a choice
// (a tie in exact arithmetic, as integer matrices have, may go either
// way). A matrix holding NaN or Inf, or one with an exactly zero pivot,
// takes lu_factor_split itself.
constexpr int lu_split_blocked_order = 48;
constexpr std::size_t lu_split_work_size(int n) noexcept
{
    return n >= lu_split_blocked_order ? 2 * std::size_t(n) * std::size_t(n) : 0;
}
int lu_factor_split_work(double* ar, double* ai, const int* lda, const int* n, int* ipvt, int* info, double* work);
// ZGETRF's interleaved n-by-n factors z are finite and no pivot is below
// the normal numbers: the blocked code multiplies by a pivot's reciprocal,
// which there is Inf, and the zeros it meets become NaN. Where this is
// false the column kernels answer.
bool sound_blocked_factors(int n, const double* z) noexcept;
// The same for DGETRF's n-by-n factors f, where an exactly zero pivot is
// sound (DGETRF reports it).
bool sound_real_factors(int n, const double* f) noexcept;
// b := A\b (job 0) or A'\b (job != 0).
int lu_solve_split(const double* ar, const double* ai, const int* lda, const int* n, const int* ipvt, double* br,
                   double* bi, const int* job);
// Factors a and estimates its reciprocal 1-norm condition number; z (n
// elements) ends holding the approximate null vector.
int rcond_real(double* a, const int* lda, const int* n, int* ipvt, double* rcond, double* z);
int rcond_split(double* ar, double* ai, const int* lda, const int* n, int* ipvt, double* rcond, double* zr,
                double* zi);
// rcond_split on the factors of lu_factor_split_work (work as there).
int rcond_split_work(double* ar, double* ai, const int* lda, const int* n, int* ipvt, double* rcond, double* zr,
                     double* zi, double* work);
// From the factors of lu_factor_split: job's tens digit asks for the
// determinant record det(1)*16^det(2) (det holds two complex numbers), its
// units digit replaces a by the inverse. work holds n complex elements.
int det_inv_split(double* ar, double* ai, const int* lda, const int* n, const int* ipvt, double* detr,
                  double* deti, double* workr, double* worki, const int* job);

// ---- singular values (LINPACK's bidiagonalisation and implicit QR) ----

// x (m-by-n, overwritten), s (min(m+1, n)), e (n), u (m-by-m for left digit
// 1, m-by-min(m, n) for 2), v (n-by-n), work (m). job: tens digit left
// vectors, units digit right vectors. info: 0, or the number of values
// still unfound when the QR steps reached 100 per value in all (or one
// value's deflations and splits outran the order). An x holding NaN or Inf is answered at once:
// s, e, and the vectors asked for all NaN, info = min(m, n).
int svd_kernel_real(double* x, const int* ldx, const int* m, const int* n, double* s, double* e, double* u,
                    const int* ldu, double* v, const int* ldv, double* work, const int* job, int* info);
int svd_kernel_complex(double* xr, double* xi, const int* ldx, const int* m, const int* n, double* sr, double* si,
                       double* er, double* ei, double* ur, double* ui, const int* ldu, double* vr, double* vi,
                       const int* ldv, double* workr, double* worki, const int* job, int* info);

// ---- QR (LINPACK's Householder form: R in the upper triangle, the
// vectors below, qraux the rest; jpvt cleared by the caller) ----

// job != 0 pivots on the column norms; jpvt(k) ends as the index in A of
// the column at position k. work: p elements.
int qr_factor_real(double* x, const int* ldx, const int* n, const int* p, double* qraux, int* jpvt, double* work,
                   const int* job);
// job digits abcde: a qy = Q*y; any of the last four qty = Q'*y; c the
// least-squares coefficients b; d the residual rsd; e the fitted xb. Uses
// the first k columns of the factors; info is the index of a zero diagonal
// element met while computing b. x is restored on return.
int qr_apply_real(double* x, const int* ldx, const int* n, const int* k, const double* qraux, const double* y,
                  double* qy, double* qty, double* b, double* rsd, double* xb, const int* job, int* info);
int qr_factor_split(double* xr, double* xi, const int* ldx, const int* n, const int* p, double* qrauxr,
                    double* qrauxi, int* jpvt, double* workr, double* worki, const int* job);
int qr_apply_split(double* xr, double* xi, const int* ldx, const int* n, const int* k, const double* qrauxr,
                   const double* qrauxi, const double* yr, const double* yi, double* qyr, double* qyi, double* qtyr,
                   double* qtyi, double* br, double* bi, double* rsdr, double* rsdi, double* xbr, double* xbi,
                   const int* job, int* info);

// ---- rank-revealing least squares, on values, for left division and the
// subsystems above (polyfit) ----

class Mm;
// The basic least-squares solution X of A*X = B (dense or sparse A and B,
// real or complex) by Householder QR with column pivoting. The rank r is
// the number of leading pivots with |R(j,j)| > max(m,n)*eps*|R(1,1)|;
// X's rows for the other pivot columns are 0, so a full-rank A gives the
// plain pivoted-QR solution. An A holding NaN or Inf gives X all NaN and
// r = min(m, n). rank receives r. Raises nothing; allocation failures throw bad_alloc.
Mm least_squares_basic(const Mm& a, const Mm& b, int* rank);

// ---- Cholesky (upper factor in place; lower triangle untouched) ----

// The column stride is n (lda is not read). info: 0, or the order of the
// first leading minor that is not positive definite.
int chol_kernel_real(double* a, const int* lda, const int* n, int* info);
int chol_kernel_complex(double* ar, double* ai, const int* lda, const int* n, int* info);

// QR steps allowed per singular value, on average over the whole matrix,
// before the SVD kernels give up (100); tests lower it to see the stopped
// iteration's results.
extern int svd_iteration_limit;

// ---------------------------------------------------------------------------
// Eigenvalue kernels
// ---------------------------------------------------------------------------
// Balancing: rows and columns low..igh remain to be reduced; scale holds the
// exchange index (outside low..igh) or the power-of-2 factor (inside).
// Rows and columns are compared by the sums of their magnitudes off the
// diagonal (the published rule, what balance returns) or by their 2-norms
// with the diagonal (what eig balances with: graded matrices keep accurate
// eigenvectors).
enum class balance_norm { off_diagonal_sums, two_norms };
int balanc(const int* nm, const int* n, double* a, int* low, int* igh, double* scale,
           balance_norm how = balance_norm::off_diagonal_sums);
int cbal(const int* nm, const int* n, double* ar, double* ai, int* low, int* igh, double* scale,
         balance_norm how = balance_norm::off_diagonal_sums);
// Back-transformation of m eigenvector columns of the balanced matrix.
int balbak(const int* nm, const int* n, const int* low, const int* igh, const double* scale, const int* m, double* z);
int cbabk2(const int* nm, const int* n, const int* low, const int* igh, const double* scale, const int* m, double* zr,
           double* zi);

// Hessenberg reduction of rows and columns low..igh: stabilised elementary
// similarities (elmhes, accumulated by eltran), Householder (orthes,
// ortran) and complex Householder (corth, cortran).
int elmhes(const int* nm, const int* n, const int* low, const int* igh, double* a, int* piv);
int eltran(const int* nm, const int* n, const int* low, const int* igh, const double* a, const int* piv, double* z);
// Given work (hessenberg_work_size(n, complex) doubles), orthes, ortran,
// corth and cortran work by panels of hessenberg_block columns, as elmhes
// does always, while more than hessenberg_blocking_order columns remain
// (complex_hessenberg_blocking_order for corth and cortran; settings that
// tests and benchmarks lower); the same reduction, rounded otherwise.
int orthes(const int* nm, const int* n, const int* low, const int* igh, double* a, double* ort,
           double* work = nullptr);
int ortran(const int* nm, const int* n, const int* low, const int* igh, const double* a, double* ort, double* z,
           double* work = nullptr);
constexpr int hessenberg_block = 32;
extern int hessenberg_blocking_order, complex_hessenberg_blocking_order;
int hessenberg_work_size(int n, bool complex = false);
int corth(const int* nm, const int* n, const int* low, const int* igh, double* ar, double* ai, double* ortr,
          double* orti, double* work = nullptr);
// (zr, zi) := the unitary matrix Q of corth's reduction (A = Q·H·Qᴴ),
// from the Householder information corth left in ar, ai and ortr, orti;
// ortr, orti are used as work space.
int cortran(const int* nm, const int* n, const int* low, const int* igh, const double* ar, const double* ai,
            double* ortr, double* orti, double* zr, double* zi, double* work = nullptr);

// Real Hessenberg QR: eigenvalues (hqr), eigenvectors (hqr2, unnormalised,
// a complex pair as real and imaginary columns), and the real Schur form
// with its basis (real_schur_qr). ierr = 0 or the index of the eigenvalue
// whose iteration budget ran out. Given work (real_qr_work_size(n)
// doubles), a block above multishift_values_order (hqr) or
// multishift_vectors_order (the others) takes the small-bulge multishift
// iteration with aggressive early deflation: the same forms, the
// eigenvalues in another order along the diagonal. Tests and benchmarks
// lower the orders; below 76 the double shift runs anyway.
int hqr(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi, int* ierr,
        double* work = nullptr);
int hqr2(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi, double* z,
         int* ierr, double* work = nullptr);
int real_schur_qr(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi,
                  double* z, int* ierr, double* work = nullptr);
int real_qr_work_size(int n);
extern int multishift_values_order, multishift_vectors_order;

// Complex Hessenberg QR after corth: eigenvalues (comqr), eigenvectors
// (comqr2), and complex_schur_qr with job 0 (triangular form), 1 (with its
// unitary basis), 2 (eigenvectors, as comqr2) or 3 (only the unitary matrix
// of the reduction, when igh - low >= 2). Given work
// (complex_qr_work_size(n) doubles, none below order 34), the reduction's
// matrix is formed by panels, a block above complex_multishift_values_order
// (comqr) or complex_multishift_vectors_order (the others) takes the
// multishift iteration (the eigenvalues in another order along the
// diagonal), and the vectors are carried back by matrix products.
int comqr(const int* nm, const int* n, const int* low, const int* igh, double* hr, double* hi, double* wr, double* wi,
          int* ierr, double* work = nullptr);
int comqr2(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti, double* hr,
           double* hi, double* wr, double* wi, double* zr, double* zi, int* ierr, double* work = nullptr);
int complex_schur_qr(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti,
                     double* hr, double* hi, double* wr, double* wi, double* zr, double* zi, const int* job,
                     int* ierr, double* work = nullptr);
int complex_qr_work_size(int n);
extern int complex_multishift_values_order, complex_multishift_vectors_order;

// Hermitian matrices: reduction to a real symmetric tridiagonal matrix
// (htridi, reading the lower triangle), its eigenvalues in ascending order
// by the implicit QL method (imtql1; imtql2 with vectors), and the
// back-transformation of the vectors (htribk). Work arrays: 4n doubles for
// htridi, 2n for htribk.
int htridi(const int* nm, const int* n, double* ar, double* ai, double* d, double* e, double* e2, double* tau,
           double* work);
int htribk(const int* nm, const int* n, const double* ar, const double* ai, const double* tau, const int* m,
           double* zr, double* zi, double* work);
int imtql1(const int* n, double* d, double* e, int* ierr);
int imtql2(const int* nm, const int* n, double* d, double* e, double* z, int* ierr);
// The same tridiagonal matrix (d, e as htridi leaves them; e is not
// changed) by bisection and inverse iteration: slower, but with no
// iteration that can run out. Eigenvalues ascending into d; with a non-null
// z (nm by n), the orthonormal eigenvectors of the tridiagonal matrix.
int tridiagonal_bisection(const int* nm, const int* n, double* d, const double* e, double* z);

// The QZ method for A·x = λ·B·x (real): a to upper Hessenberg and b to upper
// triangular form (qzhes), a to quasi-triangular form (qzit; eps1 <= 0
// means the machine epsilon; b(n,1) receives epsb for the later kernels),
// the eigenvalues (alfr + i·alfi)/beta with beta >= 0 (qzval_kernel), and
// the unnormalised eigenvectors in hqr2's packed form (qzvec). With matz, z
// accumulates the right transformations; a non-null q (n-by-n) accumulates
// the left ones, so that q·A·z is the reduced a.
int qzhes(const int* nm, const int* n, double* a, double* b, const int* matz, double* z, double* q = nullptr);
int qzit(const int* nm, const int* n, double* a, double* b, const double* eps1, const int* matz, double* z, int* ierr,
         double* q = nullptr);
int qzval_kernel(const int* nm, const int* n, double* a, double* b, double* alfr, double* alfi, double* beta,
                 const int* matz, double* z, double* q = nullptr);
int qzvec(const int* nm, const int* n, double* a, double* b, const double* alfr, const double* alfi,
          const double* beta, double* z);

// Scales every iteration budget of the eigenvalue kernels (1 normally). A
// test sets 0 to reach the paths of a kernel that does not converge.
extern int eigen_budget_scale;
