// Linear algebra: solving systems and factorising matrices.
#pragma once

#include "value.h"

// The solution X of a*X = b.
Mm mldivide(const Mm& a, Mm b);

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
