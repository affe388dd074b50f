// The sparse direct solver's side of the library: compressed-column
// matrices as plain arrays, and the two SuperLU entry points the sparse LU
// functions use (every SuperLU call lives in sparse_lu_superlu.cpp).
#pragma once

#include <vector>

// A compressed-column matrix: row indices (0-based), column starts, values.
struct ccs_matrix {
    int rows = 0, cols = 0;
    std::vector<int> ir, jc;
    std::vector<double> v;
};

// Factors A*Pc (perm_c: 0-based column order, n entries, kept as given)
// with partial pivoting: Pr*A*Pc = L*U, L unit lower and U upper
// triangular in the pivoted numbering, perm_r (n entries) receiving Pr. Returns SuperLU's
// info: 0, the column of an exactly zero pivot (the factors are complete),
// or above n when memory ran out (no factors).
int superlu_factor(const ccs_matrix& a, int* perm_c, int* perm_r, ccs_matrix& L, ccs_matrix& U);

// Solves A*X = B in place (B dense, rows(A) rows, leading dimension ldb),
// in the column order perm_c, or in COLAMD's fill-reducing order when
// perm_c is null. Returns SuperLU's info; B holds X only when it is 0.
// augmented (with a null perm_c): a is a least-squares system
// [s*I A; A' 0], ordered and pivoted to keep its structure. rcond, when
// given, receives SuperLU's estimate of A's reciprocal condition number in
// the 1-norm (0 when info is not 0).
int superlu_solve(const ccs_matrix& a, const int* perm_c, double* b, int ldb, int nrhs, bool augmented = false,
                  double* rcond = nullptr);

// COLAMD's fill-reducing column order of a (n = cols entries, 0-based).
void superlu_fill_reducing_order(const ccs_matrix& a, int* perm_c);

class Mm;

// The pivots of a square real sparse a's LU in COLAMD's column order:
// Pr*A*Pc = L*U with U's diagonal in pivots (an exact zero where none is
// stored), perm_r and perm_c the 0-based orders. False, after "Out of
// memory!", when SuperLU ran out of memory.
bool sparse_lu_pivots(const Mm& a, std::vector<double>& pivots, std::vector<int>& perm_r, std::vector<int>& perm_c);

// lusolve for left division, where any column order gives the same
// solution up to rounding: SuperLU chooses a fill-reducing one.
Mm sparse_solve(const Mm& a, const Mm& b);

// The same for a square part of a rectangular system, which the caller can
// solve another way: an empty value in place of an answer when a is
// singular or nearly so (an exactly zero pivot, a column without entries,
// or a reciprocal condition estimate below sqrt(eps)). NaN when a holds a
// NaN.
Mm sparse_solve_if_regular(const Mm& a, const Mm& b);

// The least-squares solution of a tall sparse a (m > n) by the augmented
// system [s*I A; A' 0] [r; x] = [b; 0], built as compressed columns (it is
// never a value, so its order m + n may pass what a value holds) and solved
// in a fill-reducing order; x is returned. NaN when a holds a NaN, and an
// empty value when the augmented system is singular or nearly so, as
// sparse_solve_if_regular judges it (A has, or nearly has, lower rank than
// it has columns): the caller's dense solve then reads the rank.
Mm sparse_least_squares(const Mm& a, const Mm& b, double s);
