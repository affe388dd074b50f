// Linear algebra: solving systems and factorising matrices.
#pragma once

#include "value.h"

// The solution X of a*X = b: b./a for a scalar a; the sparse direct
// solver for a sparse a (least squares through the augmented system when
// tall, the first columns when wide); pivoted QR least squares for a
// non-square dense a; otherwise LU, or the symmetric indefinite
// factorisation for a symmetric real a. A singular a gives Inf or NaN.
Mm mldivide(const Mm& a, Mm b);
Mm invdiv(const Mm& a, const Mm& b);
// a/b, the division operator.
Mm mrdivide(const Mm& a, const Mm& b);
// One input: "... does not accept 1 input", result 0.
Mm mldivide(const Mm& a);
Mm mrdivide(const Mm& a);
Mm invdiv(const Mm& a);

// Vector norms for any p: (sum |x|^p)^(1/p), Inf the largest magnitude,
// -Inf the smallest. Matrix norms for p = 1, 2, Inf (or "inf") and "fro".
// An empty x has norm 0. Without p: the 2-norm.
Mm norm(const Mm& x);
Mm norm(const Mm& x, const Mm& p);

// Singular values, a column in decreasing order. A second input selects the
// economy form of the multi-output calls (its value is not read): U m-by-k,
// S k-by-n for k = min(m, n); the full form gives U m-by-m, S m-by-n; V is
// always n-by-n, and A = U*S*V'. The multi-output forms return x_M.
Mm svd(const Mm& a);
Mm svd(const Mm& a, const Mm& economy);
Mm svd(const Mm& a, i_o_t, Mm& U, Mm& S);
Mm svd(const Mm& a, const Mm& economy, i_o_t, Mm& U, Mm& S);
Mm svd(const Mm& a, i_o_t, Mm& U, Mm& S, Mm& V);
Mm svd(const Mm& a, const Mm& economy, i_o_t, Mm& U, Mm& S, Mm& V);
// U, S or V of the full form.
Mm svd_U(const Mm& a);
Mm svd_S(const Mm& a);
Mm svd_W(const Mm& a);

// The upper triangular R with R'*R = A, for a Hermitian positive definite A
// (only the upper triangle is read). "chol: %s matrix not positive
// definite" otherwise. The two-output form raises nothing: p is 0, or the
// order of the first leading minor that is not positive definite, with R
// the factor of the leading block before it.
Mm chol(Mm a);
Mm chol(Mm a, i_o_t, Mm& R, Mm& p);

// The 2-norm condition number, largest over smallest singular value (NaN
// for an empty argument, Inf for a singular one).
Mm cond(const Mm& a);
// The number of singular values above max(size(a))*max(s)*eps, or above tol.
Mm rank(const Mm& a);
Mm rank(const Mm& a, const Mm& tol);
// Orthonormal bases of the null space (columns of V) and of the range
// (columns of U), cut at eps*max(s)*max(m, n).
Mm null(const Mm& a);
Mm orth(const Mm& a);
// The pseudo-inverse, dropping singular values up to eps*s(1)*length(a),
// or up to tol.
Mm pinv(const Mm& a);
Mm pinv(const Mm& a, const Mm& tol);

// QR factorisation. qr(A): the factored matrix (R in the upper triangle,
// the Householder vectors below). [Q,R] = qr(A) with Q*R = A; [Q,R,E] with
// column pivoting, A*E = Q*R. A second input (its value is not read)
// selects the economy size, with E a row of column indices: A(:, E) = Q*R.
// qr(A, B) alone is the economy Q.
Mm qr(const Mm& a);
Mm qr(const Mm& a, const Mm& economy);
Mm qr(const Mm& a, i_o_t, Mm& Q, Mm& R);
Mm qr(const Mm& a, i_o_t, Mm& Q, Mm& R, Mm& E);
Mm qr(const Mm& a, const Mm& economy, i_o_t, Mm& Q, Mm& R);
Mm qr(const Mm& a, const Mm& economy, i_o_t, Mm& Q, Mm& R, Mm& E);
// The factors of A with column j removed, or with column x inserted before
// column j, by plane rotations.
Mm qrdelete(const Mm& Q, const Mm& R, const Mm& j, i_o_t, Mm& Q1, Mm& R1);
Mm qrinsert(const Mm& Q, const Mm& R, const Mm& j, const Mm& x, i_o_t, Mm& Q1, Mm& R1);

// Test matrices. Orders are read from the first element, rounded; an empty
// argument gives []. magic(n) has equal row, column and diagonal sums;
// hilb(n)(i, j) = 1/(i+j-1) and invhilb(n) its exact inverse; hadamard(n)
// for n = 2^k, 12*2^k or 20*2^k; pascalM(n, k) the binomial matrices (k 0
// symmetric, 1 lower triangular with alternating signs, 2 its rotation);
// toeplitz(c, r) and hankel(c, r) constant along diagonals and
// anti-diagonals (toeplitz(c) Hermitian); vander(c) the powers of c down to
// 0; compan(c) the companion matrix of the polynomial c; cauchy(x, y)
// 1./(x(i) + y(j)); wilkinson(n) the symmetric tridiagonal with |-h:h| on
// its diagonal; gallery(3), gallery(5) and rosser() fixed matrices.
Mm cauchy(const Mm& x);
Mm cauchy(const Mm& x, const Mm& y);
Mm compan(const Mm& c);
Mm gallery(const Mm& n);
Mm hadamard(Mm n);
Mm hankel(const Mm& c);
Mm hankel(const Mm& c, const Mm& r);
Mm hilb(const Mm& n);
Mm invhilb(const Mm& n);
Mm magic(const Mm& n);
Mm pascalM(const Mm& n);
Mm pascalM(const Mm& n, const Mm& k);
Mm rosser();
Mm toeplitz(const Mm& c);
Mm toeplitz(const Mm& c, const Mm& r);
Mm vander(const Mm& c);
Mm wilkinson(const Mm& n);

// ---- Hermitian test and plane rotations ----
// 1 when A is a double matrix equal to its conjugate transpose within
// 10·eps·min(1, max|A|) (an empty or exactly Hermitian one included); 0 for
// other element types. A non-square A raises.
int ishermitian(const Mm& A);
// The rotation G = [c s; -conj(s) c] with G·[x; y] = [r; 0]: c real, s
// carries the phases; x = 0 gives c = 0, s = 1.
Mm givens(const Mm& x, const Mm& y);
Mm givens(const Mm& x, const Mm& y, i_o_t, Mm& c, Mm& s);
Mm givens(const Mm& x);
Mm givens(const Mm& x, i_o_t, Mm& c, Mm& s);
// G with G·x = y = [norm(x); 0] for a 2-element column x.
Mm planerot(const Mm& x);
Mm planerot(const Mm& x, i_o_t, Mm& G, Mm& y);

// ---- Eigenvalues ----
// The eigenvalues of a square matrix as a column, after balancing. A matrix
// that ishermitian accepts gives real values in ascending order; a real one
// gives complex conjugate pairs side by side, positive imaginary part first.
Mm eig(const Mm& A);
// V, whose unit-norm columns are the eigenvectors, and D = diag of the
// eigenvalues in the same order; both real when every eigenvalue is.
Mm eig(const Mm& A, i_o_t, Mm& V, Mm& D);
// The eigenvalues (a column) and the eigenvectors of the two-output form.
Mm eig_D(const Mm& A);
Mm eig_W(const Mm& A);
// The engine behind them and the generalized problem: A is a private copy;
// without vectors D receives the eigenvalue column and V is left alone. A
// kernel that does not converge leaves NaN where it did not finish.
void eig_engine(Mm A, Mm& V, Mm& D, int want_vectors, int want_balance);
// V (complex n-by-n) from the real vector matrix Z of the real kernels, a
// complex pair's parts in adjacent columns; columns of unit norm.
void pack_eigenvectors(const Mm& w, const Mm& Z, Mm& V);
// Every column of M scaled to unit Euclidean norm; zero columns stay.
void normalize_columns(Mm& M);

// ---- LU, left division and the sparse solver ----
// X with A*X = B for a square sparse A, dense B, and P a sparse matrix whose
// row indices give the column order (speye(n): the natural one). A singular
// A, or arguments outside that (not square, rows of B, P no permutation),
// give NaN of rows(A) x cols(B). Complex data is solved as the doubled real
// system in the natural order.
Mm lusolve(const Mm& a, const Mm& b, const Mm& p);
// Pr*A*Pc = L*U for a real sparse square A and the column order of the
// sparse Pc: r and c the orders as columns of 1-based indices (Pr's
// row r(k) holds row k of A). An exactly zero pivot still gives the factors.
void sparse_lu_factor(const Mm& a, const Mm& pc, Mm& L, Mm& U, Mm& r, Mm& c);
// lu(A): the factored matrix in LINPACK's layout (U on and above the
// diagonal, the negated multipliers below). [L,U] = lu(A): A = L*U with a
// row-permuted unit lower L; [L,U,P] = lu(A): P*A = L*U with L unit lower.
Mm lu(const Mm& a);
Mm lu(const Mm& a, i_o_t, Mm& L, Mm& U);
Mm lu(const Mm& a, i_o_t, Mm& L, Mm& U, Mm& P);
// The L and U of [L,U] = lu(A), and the worker behind every form.
Mm lu_L(const Mm& a);
Mm lu_U(const Mm& a);
void lu_decompose(const Mm& a, Mm& L, Mm& U, Mm& P);

// ---- inverse, determinant, condition, reduced row echelon form ----
// inv: Inf or NaN entries for a singular matrix, a sparse inverse for a
// sparse one. det: 1 for an empty matrix; rounded when every element is an
// integer. rcond: LINPACK's reciprocal 1-norm condition estimate.
Mm inv(const Mm& a);
Mm det(const Mm& a);
Mm rcond(const Mm& a);
// The dense worker: job 1 the inverse, job 10 the determinant.
Mm inv_det_dense(const Mm& a, int job);
// R in reduced row echelon form and jb the pivot columns; the default (or
// empty) tol is max(m, n)*norm(A, "inf")*eps.
Mm rref(const Mm& a);
Mm rref(const Mm& a, const Mm& tol);
Mm rref(const Mm& a, i_o_t, Mm& R, Mm& jb);
Mm rref(const Mm& a, const Mm& tol, i_o_t, Mm& R, Mm& jb);

// ---- Balancing, Hessenberg and Schur forms ----
// B = T\A·T with T a permutation times a diagonal of powers of 2.
Mm balance(const Mm& A);
Mm balance(const Mm& A, i_o_t, Mm& T, Mm& B);
// H upper Hessenberg and P unitary with A = P·H·P' (real for real A).
Mm hess(const Mm& A);
Mm hess(const Mm& A, i_o_t, Mm& P, Mm& H);
// U unitary and T with A = U·T·U': T real quasi-triangular (2-by-2 blocks
// for complex pairs) for real A, upper triangular for complex A.
Mm schur(const Mm& A);
Mm schur(const Mm& A, i_o_t, Mm& U, Mm& T);
Mm schur_U(const Mm& A);
Mm schur_T(const Mm& A);
// The complex engine of hess (want_hess) and of complex schur
// (want_schur_vectors); H and U drop an all-zero imaginary part.
void unitary_hess_schur(const Mm& A, Mm& H, Mm& U, int want_hess, int want_schur_vectors);

// ---- Schur-form conversions, eigenvalue condition and trace ----
// U2 unitary and T2 upper triangular with U2·T2·U2' = U·T·U', from a real
// Schur pair; both real when T has no 2-by-2 blocks.
Mm rsf2csf(const Mm& U, const Mm& T, i_o_t, Mm& U2, Mm& T2);
// Complex eigen-data V, D to the real form VV = V/Tm, DD = Tm·D/Tm with a
// 2-by-2 real block for each complex pair.
Mm cdf2rdf(const Mm& V, const Mm& D);
Mm cdf2rdf(const Mm& V, const Mm& D, i_o_t, Mm& VV, Mm& DD);
Mm cdf2rdf(const Mm& V);
Mm cdf2rdf(const Mm& V, i_o_t, Mm& VV, Mm& DD);
// The condition numbers of the eigenvalues, |y_i|·|x_i|/|y_i·x_i| with x_i
// the eigenvectors and y_i the rows of their inverse; V and D as eig gives.
Mm condeig(const Mm& A);
Mm condeig(const Mm& A, i_o_t, Mm& V, Mm& D);
Mm condeig(const Mm& A, i_o_t, Mm& V, Mm& D, Mm& s);
// sum(diag(A)).
Mm trace(const Mm& A);

// ---- Generalized eigenvalues and the QZ decomposition ----
// D = diag(alfa./beta) of A·x = λ·B·x for real square A and B of one size
// (a diagonal matrix in every form); B a string: the eigenvalues of A
// without balancing. V has unit-norm columns.
Mm eig(const Mm& A, const Mm& B);
Mm eig(const Mm& A, const Mm& B, i_o_t, Mm& V, Mm& D);
Mm qzval(const Mm& A, const Mm& B);
Mm qzval(const Mm& A);
// AA = Q·A·Z upper quasi-triangular, BB = Q·B·Z upper triangular but for
// BB(n,1), which holds the iteration's tolerance; Q and Z orthogonal; V the
// generalized eigenvectors.
Mm qz(const Mm& A, const Mm& B);
Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB);
Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB, Mm& Q);
Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB, Mm& Q, Mm& Z);
Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB, Mm& Q, Mm& Z, Mm& V);
Mm qz(const Mm& A);
Mm qz(const Mm& A, i_o_t, Mm& AA, Mm& BB);
Mm qz(const Mm& A, i_o_t, Mm& AA, Mm& BB, Mm& Q);
Mm qz(const Mm& A, i_o_t, Mm& AA, Mm& BB, Mm& Q, Mm& Z);
Mm qz(const Mm& A, i_o_t, Mm& AA, Mm& BB, Mm& Q, Mm& Z, Mm& V);
// The engine of them all: outputs are left alone when a check fails.
void qz_engine(Mm A, Mm B, Mm& V, Mm& D, Mm& AA, Mm& BB, Mm& Q, Mm& Z, int want_vectors, int want_qz);

// ---- Matrix exponential, logarithm, square root ----
// e^A by scaling and squaring with the degree-6 diagonal Padé approximant.
Mm expm(const Mm& A);
// The principal logarithm and square root through the eigen-decomposition
// (real when every imaginary part is below eps); the two-output forms add
// the relative 1-norm residual of expm(L) = A or X·X = A.
Mm logm(const Mm& A);
Mm logm(const Mm& A, i_o_t, Mm& L, Mm& esterr);
Mm sqrtm(const Mm& A);
Mm sqrtm(const Mm& A, i_o_t, Mm& X, Mm& esterr);
// A^B: integral powers by repeated squaring (negative ones of inv(A)),
// others through the eigen-decomposition of the matrix operand; a struct
// operand calls its class's mpower.
Mm mpower(const Mm& A, Mm B);
Mm mpower(const Mm& A);

// ---- Matrix equations, subspace angle and LU timing ----
// X with A·X + X·B = C (Bartels–Stewart on complex Schur forms); real when
// no argument is complex.
Mm axxbc(const Mm& A, const Mm& B, const Mm& C);
Mm axxbc(const Mm& A);
Mm axxbc(const Mm& A, const Mm& B);
// X with A·X + X·A.' = -C, and with A·X + X·B = -C.
Mm lyap(const Mm& A, const Mm& C);
Mm lyap(const Mm& A, const Mm& B, const Mm& C);
Mm lyap(const Mm& A);
// X with A·X + X·B = C.
Mm sylv(const Mm& A, const Mm& B, const Mm& C);
Mm sylv(const Mm& A);
Mm sylv(const Mm& A, const Mm& B);
// The largest principal angle (radians) between the column spaces of A
// and B, which need the same number of rows.
Mm subspace(const Mm& A, const Mm& B);
Mm subspace(const Mm& A);
// Seconds per LU factorisation and solve of a random system of order
// round(n), measured over three seconds.
Mm dongarra(const Mm& n);
