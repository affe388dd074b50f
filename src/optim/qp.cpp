// qp: quadratic programming by an interior-point method in two phases (a
// projective phase to a strictly positive feasible point, then affine
// scaling with an adaptive proximal term), on the problem brought to
// standard form; an empty H hands the problem to lp. conls solves
// constrained least squares through it. Every step is a whole-matrix
// operation on values, and every system is solved by sparse left division.
#include "optim/qp.hpp"
#include "platform/blas_threads.hpp"
#include "optim/options.hpp"
#include "optim/user_function.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/linalg.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <cmath>

namespace {

thread_local int kkt_solves = 0;

// A refused allocation under an error hook that returns leaves a value
// with extents and no elements; the operators would read through it. The
// error is already reported: the run ends there, through this exception,
// caught at the entry point.
struct storage_lost {};

const Mm& live(const Mm& v)
{
    if (v.size() > 0 && !v.hasstorage())
        throw storage_lost{};
    return v;
}

Mm mul(const Mm& a, const Mm& b) { return live(live(a) * live(b)); }

// The first element as a double; NaN for a value without one, which is
// what a failed operation leaves when the error hook returns, so that the
// solver ends with a verdict instead of reading missing storage.
double scalar_of(const Mm& v)
{
    if (v.size() < 1)
        return NAN;
    const Mm f = full(live(v));
    if (f.gettype() != qv_double || f.size() < 1 || !f.hasstorage())
        return NAN;
    return f.addr()[0];
}

// a'b of two columns; 0 when both are empty.
double inner(const Mm& a, const Mm& b)
{
    if (a.size() == 0 && b.size() == 0)
        return 0;
    return scalar_of(mul(dot_transpose(a), b));
}

double smallest(const Mm& v) { return scalar_of(min(v)); }
double largest(const Mm& v) { return scalar_of(max(v)); }

// A sparse value is judged by its stored entries: the full form of the
// standard form's H passes the size a full value may have once the
// variables and slacks of a problem number 10^4.
Mm stored(const Mm& v) { return live(issparse(live(v)) ? nonzeros(v) : v); }
bool has_nan(const Mm& v) { return v.size() > 0 && scalar_of(any(any(isnan(stored(v))))) != 0; }
bool has_non_finite(const Mm& v) { return v.size() > 0 && scalar_of(all(all(isfinite(stored(v))))) == 0; }

Mm num(double v) { return Mm(v); }

// Rows first..last (1-based) of column col of S; an empty range gives the
// empty value.
Mm rows_of(const Mm& S, int first, int last, double col)
{
    if (last < first)
        return zeros(0.0, 1.0);
    return live(Mm(live(S)(colon(double(first), double(last)), Mm(col))));
}

Mm column_of(const Mm& v)
{
    if (v.size() == 0)
        return zeros(0.0, 1.0);
    return live(Mm(live(mdouble(v))(c_p)));
}

Mm sparse_diagonal(const Mm& v);

// Rows first..last (1-based) of every column of S.
Mm block_rows(const Mm& S, int first, int last)
{
    return live(Mm(live(S)(colon(double(first), double(last)), c_p)));
}

// x such that [T, A'; A, 0] x = R, by sparse left division. The proximal
// diagonal grows like 1/x^2 as variables approach zero, and the pivots of
// the unscaled system then cancel to exact zeros; the system is solved
// with the first block scaled to a unit diagonal (W T W, A W) instead.
//
// With `steady`, the first block also gets 1e-12 on its (unit) diagonal
// wherever the plain solve is singular: the direction of a system that is
// singular only because the halves x+ and x- of a free variable have
// columns that are exact negatives of each other (the proximal weight on
// them below the rounding of H), with no move of the variable itself.
// With `shifted`, the shifted system is solved whether or not the plain
// one is singular: for systems singular to rounding, whose solutions are
// finite and far off.
Mm solve_kkt(const Mm& T, const Mm& A, const Mm& R, bool steady = false, bool shifted = false)
{
    const int m = live(A).rows(), n = live(R).rows() - m;
    ++kkt_solves;
    if (live(T).rows() != n || T.cols() != n || (m > 0 && A.cols() != n))
        throw storage_lost{};  // an operation before was refused
    const Mm positive = live(max(live(full(live(diag(T)))), zero_M));
    const Mm W = sparse_diagonal(live(rdivide(one_M, live(msqrt(live(positive + live(positive == zero_M)))))));
    const Mm top = live(mul(W, mul(T, W)));
    const Mm AW = m > 0 ? mul(A, W) : Mm();
    const Mm K = live(vertcat(live(horzcat(top, live(dot_transpose(AW)))), live(horzcat(AW, sparse(num(m), num(m))))));
    Mm rhs = mul(W, block_rows(R, 1, n));
    if (m > 0)
        rhs = live(vertcat(rhs, block_rows(R, n + 1, n + m)));
    if (K.rows() != n + m || K.cols() != n + m || rhs.rows() != n + m)
        throw storage_lost{};
    const Mm Ks = issparse(K) ? K : live(sparse(K));
    Mm S = live(mldivide(Ks, rhs));
    if (S.rows() != n + m)
        return S;
    // Rows that hold x on a face without interior (a pair of opposite
    // inequalities) become dependent once their slacks shrink, and the
    // pivots cancel to zero. The system with a small negative diagonal in
    // its second block is quasi-definite and always factors; it moves
    // A x by 1e-12 times the multipliers, far below the tolerances.
    if ((m > 0 || steady) && (shifted || has_non_finite(S))) {
        Mm signs = live(-ones(double(n + m), 1.0));
        if (!steady)
            signs(colon(1.0, double(n))) = zero_M;
        if (m > 0)
            signs(colon(double(n + 1), double(n + m))) = one_M;
        const Mm shift =
            sparse(colon(1.0, double(n + m)), colon(1.0, double(n + m)), live(1e-12 * signs), num(n + m), num(n + m));
        S = live(mldivide(live(Ks - shift), rhs));
        if (S.rows() != n + m)
            return S;
    }
    const Mm x = mul(W, block_rows(S, 1, n));
    return m > 0 ? live(vertcat(x, block_rows(S, n + 1, n + m))) : x;
}

// The sparse diagonal matrix with v on its diagonal.
Mm sparse_diagonal(const Mm& v)
{
    const double n = v.size();
    const Mm k = colon(1.0, n);
    return live(sparse(live(k), k, live(v), num(n), num(n)));
}

// Rows bounding the first k variables: sign * x(j) <= sign * bound(j),
// one row per entry not at the infinity that bounds nothing. kept receives
// the positions (1-based) of the entries that made rows.
void bound_rows(const Mm& bound, int nx, double sign, Mm& rows, Mm& rhs, Mm& kept)
{
    const int k = bound.size() < nx ? bound.size() : nx;
    if (k == 0) {
        rows = Mm();
        rhs = Mm();
        kept = zeros(0.0, 1.0);
        return;
    }
    const Mm first = rows_of(bound, 1, k, 1.0);
    kept = find(first != num(sign * INFINITY));
    const int r = kept.size();
    if (r == 0) {
        rows = Mm();
        rhs = Mm();
        kept = zeros(0.0, 1.0);
        return;
    }
    rows = sparse(colon(1.0, double(r)), kept, num(sign), num(r), num(nx));
    rhs = Mm(first(kept)) * sign;
}

// The 2-norms of X's rows (dim 2) or columns (dim 1), full.
Mm lengths_along(const Mm& X, double dim)
{
    return live(full(live(msqrt(live(sum(live(power(X, num(2))), num(dim)))))));
}

// Positions (1-based, increasing) of a largest set of independent rows of
// E that holds its first `fixed` rows (which must be independent): the
// other rows, each scaled to unit length and cleared of the span of the
// fixed ones, are chosen by QR with column pivoting on E'. A row within a
// few hundred units of rounding of the span of the chosen ones depends on
// them.
Mm independent_rows(const Mm& E, int fixed)
{
    const int k = live(E).rows(), n = E.cols();
    const Mm held = fixed > 0 ? column_of(colon(1.0, double(fixed))) : zeros(0.0, 1.0);
    if (k == fixed)
        return held;
    const Mm dense = live(full(E));
    const Mm lengths = lengths_along(dense, 2);
    const Mm unit = live(rdivide(one_M, live(lengths + live(lengths == zero_M))));
    const Mm others = mul(sparse_diagonal(rows_of(unit, fixed + 1, k, 1.0)), block_rows(dense, fixed + 1, k));
    Mm rest = live(dot_transpose(others));
    Mm Q, R, order;
    if (fixed > 0) {
        qr(live(dot_transpose(block_rows(dense, 1, fixed))), zero_M, i_o, Q, R);
        // Twice: one pass leaves what rounding put back into the span.
        for (int pass = 0; pass < 2; ++pass)
            rest = live(rest - mul(live(Q), mul(dot_transpose(Q), rest)));
    }
    qr(rest, zero_M, i_o, Q, R, order);
    const Mm pivots = live(full(abs(live(diag(live(R))))));
    const double tol = 256 * std::max(n, k) * std::ldexp(1.0, -52);
    int rank = 0;
    while (rank < pivots.size() && pivots.addr()[rank] > tol)
        ++rank;
    if (rank == 0)
        return held;
    const Mm chosen = live(column_of(Mm(live(order)(colon(1.0, double(rank))))) + num(fixed));
    return live(sort(live(vertcat(held, chosen))));
}

// The point nearest x0 on the rows E x = e (E of full row rank), by QR of
// E': backward stable however close in angle the rows are.
Mm nearest_on_rows(const Mm& E, const Mm& e, const Mm& x0)
{
    Mm Q, R;
    qr(live(dot_transpose(live(full(E)))), zero_M, i_o, Q, R);
    return live(x0 + mul(Q, live(mldivide(live(dot_transpose(live(R))), live(e - mul(E, x0))))));
}

// How far x breaks each row of A x <= b (the first neq rows equalities),
// relative to the row's terms |A||x| + |b|: the miss of an equality, the
// excess of A x over b for the others (negative where the row is slack).
Mm row_excess(const Mm& A, const Mm& b, int neq, const Mm& x)
{
    const Mm terms = live(mul(abs(A), abs(x)) + abs(b));
    Mm excess = live(rdivide(live(mul(A, x) - b), live(terms + num(1e-300))));
    if (neq > 0)
        excess(colon(1.0, double(neq))) = abs(rows_of(excess, 1, neq, 1.0));
    return excess;
}

// The miss of a row allowed as rounding: as much as the rank decision of
// independent_rows allows, since a row it counts as dependent on others
// may miss by that much at their solution.
double row_rounding(int nx, int m) { return 256 * std::max(4, std::max(nx, m)) * std::ldexp(1.0, -52); }

// The checks below look at the inequality rows a block at a time, dense:
// a large sparse A is never made dense whole.
constexpr int row_block = 256;

// An inequality row that depends on the equality rows (a copy of one, a
// multiple, a sum) takes one value on the whole set they define, and if
// that value breaks it beyond rounding no point is feasible. The phases
// cannot see it: their splitting of free variables lets the iterates run
// out to 1e16 and more, where every row looks met to the rounding of its
// terms, and such sets came back "ok" with that point. A and b hold the
// equality rows first (independent ones, as consistent_equalities left
// them).
bool dependent_inequalities_hold(const Mm& A, const Mm& b, int neq)
{
    const int rows = A.rows(), nx = A.cols();
    if (neq == 0 || rows == neq)
        return true;
    const Mm E = live(full(block_rows(A, 1, neq))), e = rows_of(b, 1, neq, 1.0);
    Mm Q, R;
    qr(live(dot_transpose(E)), zero_M, i_o, Q, R);
    const Mm x = nearest_on_rows(E, e, zeros(double(nx), 1.0));
    if (has_non_finite(x))
        return true;  // left to the phases
    const double dependent = 256 * std::max(nx, rows) * std::ldexp(1.0, -52), rounding = row_rounding(nx, rows);
    for (int first = neq + 1; first <= rows; first += row_block) {
        const int last = std::min(rows, first + row_block - 1);
        const Mm G = live(full(block_rows(A, first, last))), h = rows_of(b, first, last, 1.0);
        // The part of each row outside the equality rows' span, against
        // its length; twice, as in independent_rows.
        Mm rest = live(dot_transpose(G));
        for (int pass = 0; pass < 2; ++pass)
            rest = live(rest - mul(live(Q), mul(dot_transpose(Q), rest)));
        const Mm outside = lengths_along(rest, 1);
        const Mm lengths = lengths_along(G, 2);
        const Mm excess =
            live(full(rdivide(live(mul(G, x) - h), live(mul(abs(G), abs(x)) + abs(h) + num(1e-300)))));
        for (int i = 0; i <= last - first; ++i)
            if (outside.addr()[i] <= dependent * lengths.addr()[i] && excess.addr()[i] > rounding)
                return false;
    }
    return true;
}

// Two inequality rows that point in opposite directions (a row and its
// negative, a lower and an upper limit on one expression) bound that
// expression from both sides, and limits that cross beyond rounding leave
// no point. The phases cannot see it either: their iterates ran out to
// 1e16 along the split variables, where both rows looked met, and
// "l <= g x <= u" with u < l came back "ok" there.
bool opposite_rows_hold(const Mm& A, const Mm& b, int neq)
{
    const int rows = A.rows(), nx = A.cols(), k = rows - neq;
    if (k < 2)
        return true;
    const Mm G = block_rows(A, neq + 1, rows), h = live(full(rows_of(b, neq + 1, rows, 1.0)));
    const Mm lengths = lengths_along(G, 2);
    const Mm U = live(mul(sparse_diagonal(live(rdivide(one_M, live(lengths + live(lengths == zero_M))))), G));
    const Mm Ut = live(dot_transpose(U));
    const double dependent = 256 * std::max(nx, rows) * std::ldexp(1.0, -52), rounding = row_rounding(nx, rows);
    for (int first = 1; first <= k; first += row_block) {
        const int last = std::min(k, first + row_block - 1), count = last - first + 1;
        const Mm block = live(full(block_rows(U, first, last)));
        const Mm cosines = live(full(mul(block, Ut)));
        for (int i = 0; i < count; ++i)
            for (int j = first + i; j < k; ++j) {
                if (!(cosines.addr()[i + static_cast<std::size_t>(j) * count] < -0.5))
                    continue;
                // Their angle from opposite, from the sum of the unit rows
                // (the cosine cannot resolve it).
                const Mm sum_of_rows = live(full(live(block_rows(U, j + 1, j + 1) + block_rows(block, i + 1, i + 1))));
                if (!(std::sqrt(scalar_of(mul(sum_of_rows, dot_transpose(sum_of_rows)))) <= dependent))
                    continue;
                // u x <= hi / |gi| and -u x <= hj / |gj|.
                const double hi = h.addr()[first - 1 + i] / lengths.addr()[first - 1 + i],
                             hj = h.addr()[j] / lengths.addr()[j];
                if (hi + hj < -rounding * (std::fabs(hi) + std::fabs(hj)))
                    return false;
            }
    }
    return true;
}

// How far out a point may lie before its rows are checked by a proof of
// infeasibility: where a row's terms |a_i||x| are this many times the
// right-hand sides, the rounding allowed of the terms would hide a miss
// as large as a proof can show (16 times that rounding of b's terms).
constexpr double far_factor = 16;

// The size of the data's right-hand sides: the largest of the problem's
// own rows (the first `own`; the rest are bounds, and bounds of 1e10 say
// nothing of the rows' size), or of all rows where those are all 0.
double rhs_scale(const Mm& b, int own)
{
    const Mm rhs = live(abs(b));
    const double scale = own > 0 ? largest(rows_of(rhs, 1, own, 1.0)) : 0.0;
    return scale > 0 ? scale : (b.size() > 0 ? largest(rhs) : 0.0);
}

// Whether some row's terms |a_i||x| exceed far_factor times |b_i| plus the
// right-hand sides' size.
bool far_out(const Mm& A, const Mm& b, int own, const Mm& x)
{
    const double base = rhs_scale(b, own);
    if (!(base > 0))
        return false;  // no proof exists with b = 0
    const Mm terms = live(full(mul(abs(A), abs(x))));
    return largest(live(terms - live(far_factor * live(abs(b) + num(base))))) > 0;
}

// A proof that the rows A x <= b (the first neq equalities) have no
// solution: weights y, those of the inequalities >= 0, with A'y = 0 and
// b'y < 0, since then 0 = y'A x <= y'b < 0 at any solution. The weights
// solve min ||A'y||^2 + (w b'y + 1)^2 by non-negative least squares (an
// equality row enters twice, with either sign), w bringing the size of
// the right-hand sides of the problem's own rows (the first `own`) to 1:
// a problem of weights on rows, well scaled however far the phases'
// iterates ran out along the rows' null space. (Scaled to bounds of
// 1e10, the weights of rows of size 1 had to be 1e16, and their rounding
// hid the proof.) The weights prove the verdict when A'y is rounding of
// its terms |A|'|y|, column by column, and b'y falls below them by more
// than rounding of its terms |b|'|y|. A large problem is made dense for
// it: it is asked only of points that lie far out and of the verdicts
// other than "ok".
constexpr double proof_elements_limit = 4e6;

// Whether the proof below may be sought: past the limit the dense problem
// of weights (and nnls's time on it) would outweigh the solve itself.
bool proof_within_reach(const Mm& A, int neq)
{
    return A.rows() > 0 && A.cols() > 0 && double(A.rows() + neq) * double(A.cols() + 1) <= proof_elements_limit;
}

bool proves_infeasible(const Mm& A, const Mm& b, int neq, int own)
{
    const int rows = A.rows(), nx = A.cols();
    if (!proof_within_reach(A, neq))
        return false;
    const double top = rhs_scale(b, own);
    if (!(top > 0) || !std::isfinite(top))
        return false;
    const Mm dense = live(full(A));
    Mm C = dense, d = b;
    if (neq > 0) {
        C = live(vertcat(live(-block_rows(dense, 1, neq)), dense));
        d = live(vertcat(live(-rows_of(b, 1, neq, 1.0)), b));
    }
    const Mm M = live(vertcat(live(dot_transpose(C)), live(dot_transpose(d) / top)));
    Mm y, w, flag;
    nnls(M, live(vertcat(zeros(double(nx), 1.0), num(-1.0))), i_o, y, w, flag);
    if (live(y).size() != C.rows() || has_non_finite(y))
        return false;
    Mm weights = neq > 0 ? rows_of(y, neq + 1, neq + rows, 1.0) : y;
    if (neq > 0)
        weights(colon(1.0, double(neq))) = live(rows_of(weights, 1, neq, 1.0) - rows_of(y, 1, neq, 1.0));
    const double rounding = row_rounding(nx, rows);
    auto proves = [&](const Mm& weights) {
        const Mm r = live(full(mul(dot_transpose(dense), weights)));
        const Mm terms = live(full(mul(dot_transpose(abs(dense)), abs(weights))));
        const double b_terms = inner(abs(b), abs(weights));
        if (!(b_terms > 0))
            return false;
        const double miss = -inner(b, weights) / b_terms;
        const double residual = largest(rdivide(abs(r), live(terms + num(1e-300))));
        // A point meeting every row would have terms some miss / residual
        // times b's: the proof is taken where that is 1e4 and more, so that
        // a problem feasible at its own scale keeps its answer, and where the
        // miss is beyond rounding of b's terms.
        return residual <= rounding && miss > 16 * rounding && miss >= 1e4 * residual;
    };
    if (proves(weights))
        return true;
    // nnls leaves weights at rounding of the largest on rows that take no
    // part in the proof; each makes the columns it alone meets miss by all
    // of their terms, and infeasible problems of a few hundred random rows
    // that miss in threes came back "ok" at 1e15 or "seems unbounded".
    // Without them the proof is judged again.
    const Mm kept = live(abs(weights) > num(std::sqrt(std::ldexp(1.0, -52)) * largest(abs(weights))));
    return proves(live(times(weights, kept)));
}

// Equality rows that depend on the others make every KKT system of both
// phases singular. Where b agrees with them they hold wherever the others
// do and are left out (their multipliers are 0); where it does not, no
// point meets them all and the result is false. kept receives the rows of
// A that stay (1-based, increasing); A, b and neq are reduced to them.
bool consistent_equalities(Mm& A, Mm& b, int& neq, Mm& kept)
{
    const int rows = A.rows(), nx = A.cols();
    kept = rows > 0 ? column_of(colon(1.0, double(rows))) : zeros(0.0, 1.0);
    if (neq == 0)
        return true;
    const Mm E = block_rows(A, 1, neq), e = rows_of(b, 1, neq, 1.0);
    Mm chosen = independent_rows(E, 0);
    if (chosen.size() == neq)
        return true;
    // A solution of the rows chosen meets every other row to rounding
    // when a row left out lies within rounding of their span. The rank
    // decision allows a few hundred units of rounding, so a row that far
    // from the span may still carry its own information (a row 1e-12 from
    // another, in twenty unknowns): a row the solution misses beyond
    // rounding of its terms is kept, and the set is consistent when one
    // point meets every row, the kept ones solved together by QR without
    // a rank decision. A miss beyond rounding there (two rows 1e-14 apart
    // whose right-hand sides differ by 1e-11, at a point 1e3 away) is left
    // to the iterations and their bounds; an exactly dependent row with
    // another right-hand side gives a solution that is not finite and is
    // refused.
    const double rounding = 1024 * std::max(nx, neq) * std::ldexp(1.0, -52);
    const Mm absE = live(abs(E));
    auto misses = [&](const Mm& x) {
        const Mm residual = live(abs(live(mul(E, x) - e)));
        const Mm size = live(mul(absE, abs(x)) + abs(e));
        return live(residual > live(rounding * size));
    };
    auto solution = [&](const Mm& rows) {
        const Mm origin = zeros(double(nx), 1.0);
        return rows.size() == 0 ? origin : nearest_on_rows(live(Mm(E(rows, c_p))), live(Mm(e(rows))), origin);
    };
    const Mm missed = misses(solution(chosen));
    if (largest(missed) > 0) {
        chosen = live(sort(live(vertcat(chosen, live(find(missed))))));
        // A row missed there that is a copy of the others to the rounding
        // of its entries (a multiple of a row, rounded) has no point with
        // them: its solve lands on a pivot of exactly 0 or of a few units
        // of rounding, as the BLAS kernels' rounding has it, and out there
        // every row looks met (a1, a2 and 3 a1 with another right-hand
        // side were "ok" with x near 1e10 under some kernels). The sine of
        // each row's angle to the rows before it tells: below 1 unit for
        // such copies, 20 and more for rows 1e-14 apart.
        // (More rows than unknowns always depend on each other: the solve
        // below and its misses decide those.)
        if (chosen.size() <= nx) {
            const Mm Ek = live(full(Mm(E(chosen, c_p))));
            Mm Q, R;
            qr(live(dot_transpose(Ek)), zero_M, i_o, Q, R);
            const Mm lengths = lengths_along(Ek, 2);
            const Mm sines = live(rdivide(live(full(abs(live(diag(live(R)))))), lengths));
            if (!(smallest(sines) > 4 * std::sqrt(double(std::max(nx, neq))) * std::ldexp(1.0, -52)))
                return false;
        }
        const Mm xq = solution(chosen);
        if (has_non_finite(xq))
            return false;
        // The rows kept meet at xq to rounding whenever their solve is
        // backward stable; the others must as well.
        if (largest(misses(xq)) > 0 && largest(Mm(misses(xq)(chosen))) == 0)
            return false;
    }
    const int r = chosen.size();
    if (r == neq)
        return true;
    if (neq < rows)
        kept = live(vertcat(chosen, column_of(colon(double(neq + 1), double(rows)))));
    else
        kept = chosen;
    A = live(Mm(A(kept, c_p)));
    b = live(Mm(b(kept)));
    neq = r;
    return true;
}

// Factors, powers of two, that bring each row of A to a largest entry in
// [1, 2): the rank decisions, the tests of a row's residual and the
// iterations then see a row given in units of 1e-150 as one given in
// units of 1, and a near copy scaled by 1e6 as the row it copies. The
// scaling is exact, and a row's multiplier is its scaled row's times the
// factor. A zero row keeps 1; a factor that would take b's entry past the
// largest double is lowered until it does not.
Mm row_scales(const Mm& A, const Mm& b)
{
    const int rows = A.rows();
    Mm s = live(ones(double(rows), 1.0));
    if (rows == 0)
        return s;
    const Mm entry = live(full(live(max(live(abs(A)), Mm(), num(2)))));
    const Mm rhs = live(full(b));
    if (entry.size() != rows || rhs.size() != rows)
        throw storage_lost{};
    for (int i = 0; i < rows; ++i) {
        const double v = entry.addr()[i], r = std::fabs(rhs.addr()[i]);
        if (!(v > 0) || !std::isfinite(v) || !std::isfinite(r))
            continue;
        int e = -std::ilogb(v);
        if (r > 0)
            e = std::min(e, 1022 - std::ilogb(r));
        s.addr()[i] = std::ldexp(1.0, e);
    }
    return s;
}

// The KKT system of H and the rows Ab, [H, Ab'; Ab, 0] [x; y] = [-f; c],
// solved and then refined twice with its residual: rows a small angle
// apart make the system ill-conditioned, and one solve leaves a residual
// in the rows far above the rounding of their terms. Empty when a solve
// fails.
Mm refined_kkt_solution(const Mm& H, const Mm& Ab, const Mm& f, const Mm& c)
{
    const int nx = H.rows(), k = Ab.rows();
    const Mm R = k > 0 ? live(vertcat(-f, c)) : live(-f);
    Mm S = solve_kkt(H, Ab, R);
    for (int pass = 0; pass < 2; ++pass) {
        if (S.size() != nx + k || has_non_finite(S))
            return Mm();
        const Mm xs = rows_of(S, 1, nx, 1.0);
        Mm top = live(-f - mul(H, xs));
        Mm r = top;
        if (k > 0) {
            const Mm ys = rows_of(S, nx + 1, nx + k, 1.0);
            r = live(vertcat(live(top - mul(dot_transpose(Ab), ys)), live(c - mul(Ab, xs))));
        }
        const Mm dS = solve_kkt(H, Ab, r);
        if (dS.size() != nx + k || has_non_finite(dS))
            break;
        S = live(S + dS);
    }
    if (S.size() != nx + k || has_non_finite(S))
        return Mm();
    return S;
}

// The same system by the null space Z of Ab (dense QR of Ab'): x meets the
// rows to rounding of their terms however close in angle they are, where
// the factor of the whole system, of condition 1/angle^2, may not. H
// positive semidefinite leaves Z'HZ singular where the optimum is a whole
// set (and the whole system singular with it): the reduced system is
// solved by its eigenvalues, those at rounding of the largest left out,
// which gives the point of that set nearest the rows' own solution. Empty
// when Z'HZ has a negative eigenvalue beyond rounding, or the problem is
// too large to hold dense.
Mm null_space_kkt_solution(const Mm& H, const Mm& Ab, const Mm& f, const Mm& c)
{
    const int nx = H.rows(), k = Ab.rows();
    if (k > nx || nx > 400)
        return Mm();
    const Mm Hf = live(full(H));
    Mm x = zeros(double(nx), 1.0), Z = live(eye(num(nx))), Q1, R1;
    if (k > 0) {
        Mm Q, R;
        qr(live(full(live(dot_transpose(Ab)))), i_o, Q, R);
        Q1 = live(Mm(live(Q)(c_p, colon(1.0, double(k)))));
        R1 = live(Mm(live(R)(colon(1.0, double(k)), c_p)));
        x = mul(Q1, live(mldivide(live(dot_transpose(R1)), c)));
        Z = k < nx ? live(Mm(live(Q)(c_p, colon(double(k + 1), double(nx))))) : Mm();
    }
    if (k < nx) {
        const Mm Zt = live(dot_transpose(Z));
        Mm reduced = mul(Zt, mul(Hf, Z));
        reduced = live(live(reduced + live(dot_transpose(reduced))) / 2.0);
        Mm V, D;
        eig(reduced, i_o, V, D);
        const Mm d = live(full(live(diag(live(D)))));
        const double top = largest(abs(d));
        if (!(smallest(d) >= -64 * (nx - k) * std::ldexp(1.0, -52) * top))
            return Mm();
        const Mm keep = live(find(live(d > num(64 * (nx - k) * std::ldexp(1.0, -52) * top))));
        if (keep.size() > 0) {
            const Mm Vk = live(Mm(live(V)(c_p, keep)));
            const Mm g = live(-mul(Zt, live(mul(Hf, x) + f)));
            x = live(x + mul(Z, mul(Vk, live(rdivide(mul(dot_transpose(Vk), g), live(Mm(d(keep))))))));
        }
    }
    const Mm y = k > 0 ? live(mldivide(R1, mul(dot_transpose(Q1), live(-live(mul(Hf, x) + f))))) : zeros(0.0, 1.0);
    const Mm S = k > 0 ? live(vertcat(x, y)) : x;
    if (S.size() != nx + k || has_non_finite(S))
        return Mm();
    return S;
}

// The interior point stops at a relative objective change of 1e-8, which
// leaves x some 1e-5 from the optimum. The rows it finds binding (slack
// below multiplier; equalities always; one of binding rows that repeat a
// direction) give the exact optimum by one KKT solve. Where that guess is
// a row short or over (rows a small angle apart, where the interior point
// cannot tell which of them binds), the row the solution breaks most is
// added, or the binding row of the most negative multiplier dropped, and
// the solve repeated, a few times at most. The point is taken when it
// keeps every row to rounding of its terms, every multiplier of a binding
// <= row is non-negative and the gradient balances; the interior point
// stays otherwise (rows that do not fix x, or no set found).
bool exact_on_binding_rows(const Mm& H, const Mm& f, const Mm& A, const Mm& b, int neq, Mm& x, Mm& lambda)
{
    const int m = A.rows(), nx = H.rows();
    const double eps = std::ldexp(1.0, -52);
    Mm binding = m > 0 ? live(mdouble(live(b - mul(A, x)) <= lambda)) : zeros(0.0, 1.0);
    if (neq > 0)
        binding(colon(1.0, double(neq))) = one_M;
    const Mm absH = live(abs(H)), absf = live(abs(f));
    const Mm inequality = m > neq ? column_of(colon(double(neq + 1), double(m))) : zeros(0.0, 1.0);
    // Each round adds or drops a row; a guess that needs more is not
    // near the optimum.
    const int rounds = 4 + std::min(m, 2 * nx);
    Mm previous;
    for (int round = 0; round < rounds; ++round) {
        Mm rows = m > 0 ? live(find(binding)) : zeros(0.0, 1.0);
        if (rows.size() > 0)
            rows = column_of(Mm(rows(independent_rows(live(Mm(A(rows, c_p))), neq))));
        const int k = rows.size();
        // A change the rank decision undid leaves the set as it was: no
        // further round can do better.
        if (round > 0 && k == previous.size() && (k == 0 || scalar_of(all(live(rows == previous))) != 0))
            return false;
        previous = rows;
        if (k > nx)
            return false;
        const Mm Ab = k > 0 ? live(Mm(A(rows, c_p))) : sparse(zero_M, num(nx));
        const Mm c = k > 0 ? live(Mm(b(rows))) : zeros(0.0, 1.0);
        Mm S = refined_kkt_solution(H, Ab, f, c);
        auto meets_rows = [&] {
            if (k == 0)
                return true;
            const Mm xs = rows_of(S, 1, nx, 1.0);
            const Mm miss = live(abs(live(mul(Ab, xs) - c)));
            return largest(live(miss - live(1024 * eps * live(mul(abs(Ab), abs(xs)) + abs(c))))) <= 0;
        };
        if (S.size() != nx + k || !meets_rows()) {
            const Mm T = null_space_kkt_solution(H, Ab, f, c);
            if (T.size() == nx + k)
                S = T;
        }
        if (S.size() != nx + k)
            return false;
        const Mm xe = rows_of(S, 1, nx, 1.0);
        const Mm y = rows_of(S, nx + 1, nx + k, 1.0);
        Mm le = zeros(double(m), 1.0);
        if (k > 0)
            le(rows) = y;
        if (m > 0) {
            // Rows broken beyond rounding of their terms, relative to them.
            // A row the rank decision counts as dependent on the binding
            // ones may miss by as much as that decision allows (a near copy
            // 1e-12 away, in 60 unknowns): a smaller allowance would add it
            // in every round and never see it enter.
            const Mm excess = row_excess(A, b, neq, xe);
            const double tol = row_rounding(nx, m);
            if (neq > 0 && largest(rows_of(excess, 1, neq, 1.0)) > tol)
                return false;
            if (m > neq) {
                Mm worst, where;
                max(Mm(excess(inequality)), i_o, worst, where);
                if (scalar_of(worst) > tol) {
                    // At a vertex the row comes in for one of the binding
                    // rows, chosen as the dual simplex method chooses: the
                    // new row is a combination alpha of the binding ones,
                    // and of those with alpha > 0 the one of least
                    // multiplier per unit of alpha leaves. (The least
                    // multiplier alone swapped two near copies in and out
                    // in turn where a bound had to leave.)
                    const double entering = neq + scalar_of(where);
                    const Mm Abt = k > neq ? live(full(live(dot_transpose(Ab)))) : Mm();
                    const Mm ar = live(full(live(dot_transpose(live(Mm(A(num(entering), c_p)))))));
                    const Mm alpha = k > neq ? live(mldivide(Abt, ar)) : Mm();
                    // The same where the row depends on the binding ones
                    // short of a vertex (a row that is a bound plus 1e-10
                    // times another): added alone, the rank decision took
                    // it out again.
                    const bool dependent =
                        k > neq && (k == nx || largest(abs(live(mul(Abt, alpha) - ar))) <=
                                                   row_rounding(nx, m) * largest(abs(ar)));
                    if (dependent) {
                        const Mm a = rows_of(alpha, neq + 1, k, 1.0), yi = rows_of(y, neq + 1, k, 1.0);
                        const Mm positive = live(a > num(64 * eps * largest(abs(alpha))));
                        if (has_non_finite(alpha) || largest(positive) == 0)
                            return false;
                        // Rows with alpha <= 0 cannot leave: their ratio is Inf.
                        Mm ratio = live(rdivide(live(max(yi, zero_M)), a));
                        const Mm barred = live(find(live(positive == zero_M)));
                        if (barred.size() > 0)
                            ratio(barred) = Mm(INFINITY);
                        Mm lowest, at;
                        min(ratio, i_o, lowest, at);
                        binding(Mm(rows(num(neq + scalar_of(at))))) = zero_M;
                    }
                    binding(num(entering)) = one_M;
                    continue;
                }
            }
            if (k > neq) {
                const Mm yi = rows_of(y, neq + 1, k, 1.0);
                Mm lowest, where;
                min(yi, i_o, lowest, where);
                // Judged against the gradient the multipliers balance, not
                // against the largest of them: rows a small angle apart
                // have multipliers of 1e10 and opposite signs, and beside
                // them a bound's -0.03 passed for rounding.
                const double gradient = largest(live(mul(absH, abs(xe)) + absf));
                if (scalar_of(lowest) < -1e-9 * gradient) {
                    binding(Mm(rows(num(neq + scalar_of(where))))) = zero_M;
                    continue;
                }
            }
        }
        // The gradient balanced by the multipliers, to rounding of its terms.
        Mm balance = live(mul(H, xe) + f), size = live(mul(absH, abs(xe)) + absf);
        if (k > 0) {
            balance = live(balance + mul(dot_transpose(Ab), y));
            size = live(size + mul(abs(dot_transpose(Ab)), abs(y)));
        }
        if (!(largest(live(abs(balance) - live(1e-9 * size))) <= 0))
            return false;
        x = xe;
        lambda = le;
        return true;
    }
    return false;
}

int count_of(const Mm& v)
{
    if (isempty(v))
        return 0;
    return option_int(first_argument(v));
}

enum class verdict { ok, infeasible, unique_point, seems_unbounded, unbounded };

// The problem in standard form: min 0.5 x'Hx + f'x, A x = b, x >= 0.
struct standard_problem {
    Mm H, f, A, b;
    int n = 0, m = 0, neq = 0;
};

// Where phase 1 starts: the halves of the problem's variables at 1, and
// each slack at its row's right-hand side where that is above 1 (the row
// then met at the start, as the slack of a bound of 1e10 is at 1e10).
Mm phase_one_start(const standard_problem& P, int nx)
{
    Mm start = live(ones(double(P.n), 1.0));
    const int p = P.n - 2 * nx;
    if (p > 0)
        start(colon(double(2 * nx + 1), double(P.n))) =
            live(max(live(full(rows_of(P.b, P.neq + 1, P.m, 1.0))), one_M));
    return start;
}

// Phase 1, the projective method on min xa subject to A x + r xa = b,
// x >= 0, xa >= 0. x (n + 1 entries, the last one xa) ends at a strictly
// positive point; z > 0 proves that there is no feasible point.
verdict phase_one_from_ones(const standard_problem& P, Mm& x)
{
    const int n = P.n, m = P.m;
    x = ones(double(n + 1), 1.0);
    if (n == 0)
        return verdict::ok;
    const Mm r = live(m > 0 ? P.b - mul(P.A, ones(double(n), 1.0)) : zeros(0.0, 1.0));
    double z = 0, xa = 1, factor = 0.95;
    for (int it = 0; it < 100; ++it) {
        const Mm xx = rows_of(x, 1, n, 1.0);
        const Mm d = rdivide(one_M, xx);
        const Mm S = solve_kkt(sparse_diagonal(power(d, num(2))), P.A,
                               vertcat(horzcat(d, zeros(double(n), 1.0)), horzcat(zeros(double(m), 1.0), r)));
        Mm I = rows_of(S, n + 1, n + m, 1.0), J = rows_of(S, n + 1, n + m, 2.0);
        double L = 1 / (1 / (xa * xa) - inner(r, J));
        double K = (1 / xa - inner(r, I)) * L;
        I = live(I - K * J);
        J = live(-L * J);
        K = inner(P.b, I);
        L = inner(P.b, J);
        I = live(I / (1 + K));
        J = live(J - L * I);
        const Mm AtJ = live(m > 0 ? mul(dot_transpose(P.A), J) : zeros(double(n), 1.0));
        const Mm AtI = live(m > 0 ? mul(dot_transpose(P.A), I) : zeros(double(n), 1.0));
        Mm M = live(vertcat(vertcat(times(xx, live(-AtJ)), num(xa * (1 - inner(J, r)))), num(L / (1 + K))));
        const Mm G = live(vertcat(vertcat(times(xx, AtI), num(xa * inner(I, r))), num(1 / (1 + K))));
        if (smallest(live(M - live(z * G))) >= 0) {
            const Mm N = live(J + live(z * I));
            z = inner(P.b, N);
        }
        M = live(live(M - live(z * G)) - live(((xa - z) / (n + 2)) * live(ones(double(n + 2), 1.0))));
        const double t = largest(M);
        if (t == scalar_of(Mm(M(num(n + 1)))))
            factor = 1;
        const Mm g = live(live(ones(double(n + 2), 1.0)) - live((factor / t) * M));
        x = times(x, rows_of(g, 1, n + 1, 1.0)) / scalar_of(Mm(g(num(n + 2))));
        xa = scalar_of(Mm(x(num(n + 1))));
        // A bound within rounding of 0 proves nothing: a set without
        // interior (an equality row given again as an inequality with the
        // same right-hand side) has min xa = 0 exactly, and rounding made
        // z 1e-16 above it.
        if (z > 64 * (n + 2) * std::ldexp(1.0, -52))
            return verdict::infeasible;
        // NaN data or a failed operation: no feasible point can be shown.
        if (std::isnan(xa) || std::isnan(z) || has_nan(x) || x.size() != n + 1)
            return verdict::infeasible;
        if (!(xa - z >= 1e-8))
            return verdict::ok;
    }
    // The artificial column never came down to 0: no feasible point was
    // found, and the iterations from an infeasible start would report
    // whatever their first steps suggest (a strictly convex objective
    // "unbounded").
    return verdict::infeasible;
}

// Phase 1 from the point `start` (n positive entries) instead of ones: the
// method run on the columns scaled by it, its point scaled back. A slack
// started at 1 beside a bound of 1e10 leaves the artificial column all of
// that bound to carry, and its iterates then spanned 1e-5 to 1e10 and
// broke down (negative entries) before the column came to 0, on problems
// with room to spare.
verdict phase_one(const standard_problem& P, const Mm& start, Mm& x)
{
    standard_problem S = P;
    if (P.m > 0 && P.n > 0)
        S.A = live(mul(P.A, sparse_diagonal(start)));
    const verdict v = phase_one_from_ones(S, x);
    if (v == verdict::ok && P.n > 0)
        x(colon(1.0, double(P.n))) = live(times(rows_of(x, 1, P.n, 1.0), start));
    return v;
}

// Whether the constraints leave a single point. The projected direction
// never vanishes in standard form (x+ and x- may always grow together),
// so the test looks at what a direction in the null space changes of the
// problem itself: its variables and the slacks, holding fixed the slacks
// that phase 1 could not lift off zero (equalities in disguise). Those
// rows may depend on the others, so the projection is regularised.
bool single_feasible_point(const standard_problem& P, int nx, int own, const Mm& x, const Mm& random)
{
    const int n = P.n;
    Mm E = P.A;
    if (n > 2 * nx) {
        // Tight against the data's own scale: against 1 + the largest
        // right-hand side, every slack of a problem given in units of
        // 1e-6 was tight, and beside bounds of 1e10 every slack below
        // 1e4. (A problem whose right-hand sides are all 0 has no scale
        // of its own.)
        const Mm slacks = rows_of(x, 2 * nx + 1, n, 1.0);
        const double top = rhs_scale(P.b, own), scale = top > 0 ? top : 1;
        const Mm tight = find(slacks <= num(1e-6 * scale));
        const int k = tight.size();
        if (k > 0)
            E = vertcat(E, sparse(colon(1.0, double(k)), tight + num(2 * nx), one_M, num(k), num(n)));
    }
    const int rows = E.rows();
    ++kkt_solves;
    const Mm K = vertcat(horzcat(speye(num(n)), dot_transpose(E)),
                         horzcat(E, -1e-10 * speye(num(rows))));
    const Mm S = mldivide(K, vertcat(random, zeros(double(rows), 1.0)));
    const Mm Pd = rows_of(S, 1, n, 1.0);
    const Mm moved = vertcat(rows_of(Pd, 1, nx, 1.0) - rows_of(Pd, nx + 1, 2 * nx, 1.0), rows_of(Pd, 2 * nx + 1, n, 1.0));
    return largest(abs(moved)) <= 1e-7 * largest(abs(Pd));
}

} // namespace

int qp_kkt_solves() noexcept { return kkt_solves; }

namespace {
Mm quadratic_path(const Mm& H_in, const Mm& f_in, const Mm& A_in, const Mm& b_in, const Mm& vlb_in, const Mm& vub_in,
                  const Mm& neq_in, const Mm& verbosity_in, Mm& x_out, Mm& lambda_out, Mm& how_out);
}

Mm qp(const Mm& H_in, const Mm& f_in, const Mm& A_in, const Mm& b_in, const Mm& vlb_in, const Mm& vub_in,
      const Mm& x0, const Mm& neq_in, const Mm& verbosity_in, i_o_t, Mm& x_out, Mm& lambda_out, Mm& how_out)
{
    if (isempty(H_in)) {
        Mm x, lambda, how;
        lp(f_in, A_in, b_in, vlb_in, vub_in, x0, neq_in, i_o, x, lambda, how);
        // An error under a hook that returns leaves x as it was made here:
        // the caller's outputs stay untouched then.
        if (x.cols() != 1)
            return x_M;
        x_out = x;
        lambda_out = lambda;
        how_out = how;
        return x_M;
    }
    kkt_solves = 0;
    // The iterations make many small products and solves: one BLAS thread.
    blas_single_thread serial;
    try {
        return quadratic_path(H_in, f_in, A_in, b_in, vlb_in, vub_in, neq_in, verbosity_in, x_out, lambda_out, how_out);
    } catch (const storage_lost&) {
        return x_M;
    }
}

namespace {

Mm quadratic_path(const Mm& H_in, const Mm& f_in, const Mm& A_in, const Mm& b_in, const Mm& vlb_in, const Mm& vub_in,
                  const Mm& neq_in, const Mm& verbosity_in, Mm& x_out, Mm& lambda_out, Mm& how_out)
{
    const bool sparse_h = issparse(H_in) != 0;
    const int nx = H_in.rows();
    if (H_in.cols() != nx) {
        error_square(H_in, "qp");
        return x_M;
    }
    // The phases work on real numbers: imaginary parts were dropped from
    // some operands and kept in others, and x came back complex.
    for (const Mm* v : {&H_in, &f_in, &A_in, &b_in, &vlb_in, &vub_in})
        if (iscomplex(*v)) {
            error("qp: H, f, A, b, vlb and vub must be real");
            return x_M;
        }
    Mm H = live(mdouble(H_in));
    Mm f = column_of(f_in);
    Mm A = live(A_in.size() == 0 ? sparse(zero_M, num(nx)) : mdouble(A_in));
    Mm b = column_of(b_in);
    if (f.size() != nx || A.cols() != nx || b.size() != A.rows()) {
        error("qp: the sizes of H, f, A and b do not agree");
        return x_M;
    }
    const int rows_a = A.rows();
    int neq = count_of(neq_in);
    if (neq < 0 || neq > rows_a)
        neq = 0;
    const int verbosity = count_of(verbosity_in);
    Mm kept_a = rows_a > 0 ? column_of(colon(1.0, double(rows_a))) : zeros(0.0, 1.0);
    const bool finite_rows = !has_non_finite(A) && !has_non_finite(b);
    const Mm scales = finite_rows ? row_scales(A, b) : live(ones(double(rows_a), 1.0));
    if (finite_rows && rows_a > 0) {
        const bool sparse_a = issparse(A) != 0;
        A = mul(sparse_diagonal(scales), A);
        if (!sparse_a)
            A = live(full(A));
        b = live(times(scales, b));
    }
    const bool consistent =
        !finite_rows || (consistent_equalities(A, b, neq, kept_a) && dependent_inequalities_hold(A, b, neq) &&
                         opposite_rows_hold(A, b, neq));
    const int rows_kept = A.rows();

    if (largest(max(abs(H - dot_transpose(H)))) > std::ldexp(1.0, -52)) {
        warning("Q not symmetric");
        H = live(live(H + live(dot_transpose(H))) / 2.0);
    }
    // The objective times a power of two that brings its largest entry
    // into [1, 2): the iterations weigh their proximal term (at least 1)
    // and their tests of progress (relative to |f'x| + 1) against the
    // objective's own size, so an objective given in units of 1e-6 or
    // 1e-150 stopped at once with a wrong answer. The minimiser is the
    // same; the multipliers are divided by the factor at the end.
    double objective_scale = 1;
    {
        const double size = std::fmax(largest(max(abs(H))), nx > 0 ? largest(abs(f)) : 0.0);
        if (size > 0 && std::isfinite(size)) {
            objective_scale = std::ldexp(1.0, -std::ilogb(size));
            H = live(objective_scale * H);
            f = live(objective_scale * f);
        }
    }

    // Bounds as rows; lambda keeps one place per bound entry, filled from
    // the rows that were made.
    const Mm vlb = column_of(vlb_in), vub = column_of(vub_in);
    const int klb = vlb.size() < nx ? vlb.size() : nx, kub = vub.size() < nx ? vub.size() : nx;
    Mm rows, rhs, kept_lb, kept_ub;
    bound_rows(vlb, nx, -1.0, rows, rhs, kept_lb);
    A = live(vertcat(A, live(rows)));
    b = live(vertcat(b, live(rhs)));
    bound_rows(vub, nx, 1.0, rows, rhs, kept_ub);
    A = live(vertcat(A, live(rows)));
    b = live(vertcat(b, live(rhs)));
    const int m = A.rows();
    if (A.cols() != nx || b.size() != m)  // a refused allocation on the way
        return x_M;

    // Standard form: x = x+ - x-, slacks on the inequality rows.
    standard_problem P;
    P.m = m;
    P.neq = neq;
    const Mm minus_h = live(-H);
    P.A = live(horzcat(A, live(-A)));
    P.f = live(vertcat(f, live(-f)));
    P.H = live(vertcat(live(horzcat(H, minus_h)), live(horzcat(minus_h, H))));
    P.b = b;
    P.n = 2 * nx;
    const int p = m - neq;
    if (p > 0) {
        P.A = live(horzcat(P.A, live(sparse(colon(double(neq + 1), double(m)), colon(1.0, double(p)), one_M, num(m),
                                  num(p)))));
        P.n += p;
        P.f = live(vertcat(P.f, live(zeros(double(p), 1.0))));
        const Mm right = sparse_h ? sparse(num(2 * nx), num(p)) : zeros(double(2 * nx), double(p));
        const Mm below = sparse_h ? sparse(num(p), num(P.n)) : zeros(double(p), double(P.n));
        P.H = live(vertcat(live(horzcat(P.H, live(right))), live(below)));
    }
    const int n = P.n;
    if (m == 0) {  // joining empty operands drops them: keep the shapes
        P.A = sparse(zero_M, num(n));
        P.b = zeros(0.0, 1.0);
    }
    // x = x+ - x- leaves the objective flat along x+ and x- growing
    // together, and products with the split H cancel once they have grown:
    // the objective and its slopes are formed from the problem's own
    // variables.
    auto own = [nx](const Mm& v) { return live(rows_of(v, 1, nx, 1.0) - rows_of(v, nx + 1, 2 * nx, 1.0)); };
    auto objective = [&](const Mm& v) {
        const Mm r = own(v);
        return 0.5 * inner(r, mul(H, r)) + inner(f, r);
    };
    const Mm slack_zeros = zeros(double(n - 2 * nx), 1.0);
    auto gradient = [&](const Mm& v) {
        const Mm g = live(mul(H, own(v)) + f);
        return live(vertcat(vertcat(g, live(-g)), slack_zeros));
    };
    // Whether the objective is bounded below along the step of the system
    // solution M: it curves up there beyond rounding, or the step descends
    // by no more than rounding of the slope. A strictly convex objective
    // curves up along every step that moves the problem's variables.
    const double h_size = largest(max(abs(H)));
    auto curves_up = [&](const Mm& M, const Mm& grad) {
        if (M.size() != n + m || has_non_finite(M))
            return false;
        const Mm d = rows_of(M, 1, n, 1.0), dr = own(d);
        const double curvature = inner(dr, mul(H, dr)), slope = inner(d, grad);
        return curvature > 1e-12 * h_size * inner(dr, dr) ||
               !(-slope > 1e-8 * std::sqrt(inner(d, d) * inner(grad, grad)));
    };

    // Data that is not finite would give NaN iterates (an infinite entry
    // meets a zero step): such a problem has no solution to report, and is
    // said to be infeasible at once.
    verdict result = !consistent || has_non_finite(P.H) || has_non_finite(P.f) || has_non_finite(P.A) ||
                             has_non_finite(P.b)
                         ? verdict::infeasible
                         : verdict::ok;
    Mm x, N = zeros(double(m), 1.0);
    // Phase 1 ends "infeasible" where its bound crossed a threshold of
    // rounding or its artificial column stalled above 0; neither proves
    // the verdict. Where a proof can be sought it decides: found, the
    // verdict stands; not found, phase 1 is run again from ones, another
    // start, and its point is taken if it finds one. (Without a point
    // the verdict stands, proven or not: there is nothing to answer with.)
    if (result == verdict::ok) {
        result = phase_one(P, phase_one_start(P, nx), x);
        if (result == verdict::infeasible && proof_within_reach(A, neq) && !proves_infeasible(A, b, neq, rows_kept))
            result = phase_one_from_ones(P, x);
    }

    if (result == verdict::ok) {
        // An interior start: a random direction projected on the null space.
        // The last projective step may take a variable that ties with the
        // artificial one to exactly 0 with it (a slack of a row that
        // repeats an equality); phase 2 divides by every variable, so such
        // a variable starts a rounding above 0 instead.
        x = rows_of(x, 1, n, 1.0);
        x = live(max(x, num(std::ldexp(1.0, -52) * largest(x))));
        const Mm random = randM(double(n), 1.0);
        const Mm S = solve_kkt(speye(num(n)), P.A, vertcat(random, zeros(double(m), 1.0)));
        const Mm Pd = rows_of(S, 1, n, 1.0);
        double t = smallest(rdivide(Pd, x)), step = 0;
        if (t < 0) {
            step = -0.01 / t;
        } else {
            t = largest(rdivide(Pd, x));
            if (t == 0)
                result = verdict::unique_point;
            else
                step = 0.01 / t;
        }
        if (result == verdict::ok && single_feasible_point(P, nx, rows_kept, x, random))
            result = verdict::unique_point;
        if (result == verdict::ok) {
            x = live(x + live(step * Pd));
            if (has_nan(x) || x.size() != n)
                result = verdict::infeasible;
        }
    }

    if (result == verdict::ok) {
        double fval = objective(x);
        double mu = std::fmax(1.0, std::fabs(fval) / std::pow(double(n), 0.25));
        const double eps = std::ldexp(1.0, -52);
        const Mm zero_m = zeros(double(m), 1.0);
        const double a_size = m > 0 ? largest(max(abs(P.A))) : 0.0;
        for (int it = 0; it < 100 && result == verdict::ok; ++it) {
            mu *= 0.19999999999999996;
            const Mm h = rdivide(one_M, x);
            const Mm grad = gradient(x);
            // Raise the proximal weight until the step stays inside and does
            // not increase the objective; bounded besides its own test, and
            // a singular system (a step that is not finite) only raises the
            // weight.
            Mm M, T, finite_M;
            double accept = -1;
            for (int tries = 0; tries < 200; ++tries) {
                T = live(P.H + sparse_diagonal(mu * power(h, num(2))));
                M = solve_kkt(T, P.A, vertcat(-grad, zero_m));
                const Mm y = x + rows_of(M, 1, n, 1.0);
                const double ymin = smallest(y);
                accept = ymin > 0 ? std::fmin(ymin, fval - objective(y) + eps) : ymin;
                if (has_non_finite(M) || M.size() != n + m)
                    accept = -1;
                else
                    finite_M = M;
                mu *= 2;
                if (mu >= (std::fabs(fval) + 1) * 1e8 || accept > 0)
                    break;
            }
            if (!(accept > 0)) {
                // No step, however short, lowers the objective. Along a
                // direction where it curves up that is the end of the
                // descent (the objective's rounding hides what is left),
                // not a sign of a problem without a minimum. The direction
                // judged is the last one the solves gave; where none was
                // finite (x+ and x- of a free variable make the system
                // exactly singular under some BLAS kernels, and a strictly
                // convex objective was called unbounded), the steadied
                // system's.
                if (finite_M.size() == 0)
                    finite_M = solve_kkt(T, P.A, vertcat(-gradient(x), zero_m), true);
                if (curves_up(finite_M, gradient(x)))
                    break;
                result = verdict::seems_unbounded;
                break;
            }
            // Rows a small angle apart make the system ill-conditioned, and
            // its step leaves A x off b by far more than rounding; one
            // solve with the residual brings the step back into the rows
            // (without it the drift test below took the first step for
            // the end of the run).
            if (m > 0) {
                const Mm step = rows_of(M, 1, n, 1.0);
                const Mm Ad = mul(P.A, step);
                const double off = largest(abs(Ad));
                if (off > 1e-12 * a_size * largest(abs(step))) {
                    const Mm C = solve_kkt(T, P.A, vertcat(zeros(double(n), 1.0), live(-Ad)));
                    const Mm refined = C.size() == n + m && !has_non_finite(C) ? live(M + C) : Mm();
                    if (refined.size() == n + m &&
                        largest(abs(mul(P.A, rows_of(refined, 1, n, 1.0)))) < off) {
                        M = refined;
                    } else {
                        // The correction only moved the step further off
                        // (1e12, then 1e25, on a face without interior whose
                        // rows depend in threes): the system is singular to
                        // rounding here, and the steadied one gives the step.
                        const Mm steadied = solve_kkt(T, P.A, vertcat(-grad, zero_m), true, true);
                        if (steadied.size() == n + m && !has_non_finite(steadied) &&
                            largest(abs(mul(P.A, rows_of(steadied, 1, n, 1.0)))) < off)
                            M = steadied;
                    }
                }
            }
            N = -rows_of(M, n + 1, n + m, 1.0);
            const Mm d = rows_of(M, 1, n, 1.0);
            const double t = smallest(rdivide(d, x));
            double s = t < 0 ? -0.99 / t : (t == 0 ? 0.99 : INFINITY);
            const Mm dr = own(d);
            // A step that moves the problem's own variables by no more than
            // rounding of the iterate (x+ and x- growing together is no
            // move) leaves nothing to descend: its ratio l / k is rounding
            // over rounding, and taking it (a step of 5e29 times a d of
            // 3e-16) threw the iterate off its rows by 2e-2.
            if (!(largest(abs(dr)) > 64 * eps * largest(abs(x))))
                break;
            const double k = inner(dr, mul(H, dr)), l = -inner(d, grad);
            // Near the end rounding can leave d pointing slightly uphill; a
            // negative minimiser would step backwards out of the interior.
            if (k > 0)
                s = std::fmin(std::fmax(l / k, 0.0), s);
            if (s == INFINITY) {
                result = verdict::unbounded;
                break;
            }
            // Near the optimum d is rounding, and its ratio l / k says
            // nothing: a step that would move A x off b by more than the
            // rounding of the terms of A x is no step, and the run has
            // converged. The terms are those of the iterate and of the step
            // in the problem's own variables: x+ and x- growing together
            // change no term, and judged by their size a step of 3e13 in
            // them passed and threw the iterate 3e-3 off its rows.
            if (m > 0) {
                const double drift = s * largest(abs(mul(P.A, d)));
                const double reach = std::fmax(largest(abs(x)), s * largest(abs(dr)));
                const double scale = 1 + largest(abs(P.b)) + a_size * reach;
                if (!(drift <= 1e-9 * scale))
                    break;
            }
            x = live(x + live(s * d));
            if (x.size() != n) {
                result = verdict::infeasible;
                break;
            }
            // The data is finite and so was x: a step that overflows comes
            // from iterates that grow without bound along the descent.
            const double v = objective(x);
            if (!std::isfinite(v) || has_non_finite(x)) {
                result = verdict::unbounded;
                break;
            }
            const Mm reduced = live(m > 0 ? live(gradient(x) - mul(dot_transpose(P.A), N)) : gradient(x));
            const double measure =
                smallest(reduced) >= 0 ? inner(x, reduced) / (std::fabs(v) + 1) : (fval - v) / (std::fabs(v) + 1);
            fval = v;
            if (measure < 1e-8)
                break;
        }
    }

    Mm xr, multipliers;
    bool exact = false;
    if (result == verdict::ok) {
        xr = rows_of(x, 1, nx, 1.0) - rows_of(x, nx + 1, 2 * nx, 1.0);
        multipliers = -N;
        exact = exact_on_binding_rows(H, f, A, b, neq, xr, multipliers);
    }
    if (result == verdict::ok && m > 0 && !exact && !(largest(row_excess(A, b, neq, xr)) <= row_rounding(nx, m))) {
        // A point that breaks the rows is no answer. The interior point
        // ends 1e-8 in objective from the end of the run and may be as far
        // off the rows it holds (equalities, and degenerate sets without
        // interior): it is moved the least distance onto the rows it
        // breaks or holds, and again with the rows that move breaks, until
        // it meets every row or no row is left to add. Where the rows
        // cannot be met together beyond rounding (near copies whose
        // right-hand sides part by more than their angle allows in the
        // box, which the projective phase does not see), no point is
        // feasible: those were "ok" with rows missed by 1e-8 of their
        // terms, under a test that allowed 1e-6. A feasible sliver between
        // such rows, 1e-10 wide, is found by the second move, with the
        // bounds the first one crossed.
        const double tol = row_rounding(nx, m);
        Mm holds = live(row_excess(A, b, neq, xr) > num(-tol));
        if (neq > 0)
            holds(colon(1.0, double(neq))) = one_M;
        bool met = false;
        for (int round = 0; round <= nx && !met; ++round) {
            Mm rows = live(find(holds));
            rows = column_of(Mm(rows(independent_rows(live(Mm(A(rows, c_p))), neq))));
            if (rows.size() == 0 || rows.size() > nx)
                break;
            const Mm moved = nearest_on_rows(live(Mm(A(rows, c_p))), live(Mm(b(rows))), xr);
            if (has_non_finite(moved))
                break;
            const Mm broken = live(row_excess(A, b, neq, moved) > num(tol));
            if (largest(broken) == 0) {
                xr = moved;
                met = true;
            } else if (largest(live(broken - holds)) <= 0) {
                break;  // only rows already held are broken: nothing to add
            } else {
                holds = live(max(holds, broken));
            }
        }
        if (!met)
            result = verdict::infeasible;
    }
    // A point out where the rows' terms dwarf the data's right-hand sides
    // meets the rows only to the rounding of those terms, which may hide a
    // miss as large as the data itself: rows that depend on each other in
    // threes or more (g1 x <= u1, g2 x <= u2, (g1 + g2) x >= l with l
    // above u1 + u2) let the iterates run out along their null space to
    // 1e10 and more, and such problems came back "ok" there. A proof that
    // no point meets the rows decides; without one, the point stands.
    // The other verdicts come from phases that ended at a point they took
    // for feasible, to tolerances that rows given in units of 1e6 or rows
    // that miss by 1e-6 of their terms can pass: the same proof makes
    // them "no feasible solution" (such problems were "seems unbounded",
    // or had "a unique feasible point").
    const bool judged = result == verdict::ok ? m > 0 && far_out(A, b, rows_kept, xr)
                                              : result != verdict::infeasible && m > 0 && finite_rows;
    if (judged && proves_infeasible(A, b, neq, rows_kept))
        result = verdict::infeasible;
    static const char* const messages[] = {"", "The system has no feasible solution.\n",
                                           "The problem has a unique feasible point\n",
                                           "The problem seems unbounded.\n", "The problem is unbounded.\n"};
    if (result != verdict::ok) {
        if (verbosity >= 0)
            qv_printf("%s", messages[static_cast<int>(result)]);
        x_out = NaN * live(ones(double(nx), 1.0));
        lambda_out = nop_M;
        how_out = TM(result == verdict::seems_unbounded || result == verdict::unbounded ? "unbounded" : "infeasible");
        return x_M;
    }
    // lambda in the layout of the rows asked for: A's, then one per entry of
    // vlb and of vub, 0 where an infinite bound made no row.
    Mm lambda = zeros(double(rows_a + klb + kub), 1.0);
    multipliers = live(multipliers / objective_scale);
    if (rows_kept > 0)
        lambda(kept_a) = live(times(Mm(scales(kept_a)), rows_of(multipliers, 1, rows_kept, 1.0)));
    const int nlb = kept_lb.size(), nub = kept_ub.size();
    if (nlb > 0)
        lambda(kept_lb + num(rows_a)) = rows_of(multipliers, rows_kept + 1, rows_kept + nlb, 1.0);
    if (nub > 0)
        lambda(kept_ub + num(rows_a + klb)) = rows_of(multipliers, rows_kept + nlb + 1, m, 1.0);
    x_out = xr;
    lambda_out = sparse_h ? sparse(lambda) : lambda;
    how_out = TM("ok");
    return x_M;
}

} // namespace

Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      const Mm& verbosity, i_o_t, Mm& x, Mm& lambda)
{
    Mm how;
    return qp(H, f, A, b, vlb, vub, x0, neq, verbosity, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      const Mm& verbosity)
{
    Mm x, lambda, how;
    qp(H, f, A, b, vlb, vub, x0, neq, verbosity, i_o, x, lambda, how);
    return x;
}

// The shorter forms: missing vlb, vub and x0 are empty, neq and verbosity 0.
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b)
{
    return qp(H, f, A, b, nop_M, nop_M, nop_M, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb)
{
    return qp(H, f, A, b, vlb, nop_M, nop_M, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub)
{
    return qp(H, f, A, b, vlb, vub, nop_M, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0)
{
    return qp(H, f, A, b, vlb, vub, x0, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq)
{
    return qp(H, f, A, b, vlb, vub, x0, neq, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, nop_M, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, vlb, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, vlb, vub, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t, Mm& x,
      Mm& lambda)
{
    return qp(H, f, A, b, vlb, vub, x0, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, vlb, vub, x0, neq, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, nop_M, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, vlb, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda,
      Mm& how)
{
    return qp(H, f, A, b, vlb, vub, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t, Mm& x,
      Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, vlb, vub, x0, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, vlb, vub, x0, neq, zero_M, i_o, x, lambda, how);
}

// ---- conls: min ||A x - b||^2 under G x <= h (the first neq equalities) ----

Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0,
         const Mm& neq, i_o_t, Mm& x, Mm& lambda)
{
    // A complex A made a complex A'A, and x came back complex.
    for (const Mm* v : {&A, &b, &G, &h, &vlb, &vub})
        if (iscomplex(*v)) {
            error("conls: A, b, G, h, vlb and vub must be real");
            return x_M;
        }
    const Mm At = dot_transpose(A);
    // A'A is symmetric, but the product's rounding may not be (the two
    // triangles summed in different orders): qp would warn "Q not
    // symmetric" about a Q the caller never gave, for almost any tall A.
    // The symmetric part is what qp would go on with, so it is handed over
    // where qp would take it.
    Mm H = At * A;
    if (!isempty(H) && scalar_of(max(max(abs(H - dot_transpose(H))))) > std::ldexp(1.0, -52))
        H = (H + dot_transpose(H)) / 2.0;
    return qp(H, -(At * b), G, h, vlb, vub, x0, neq, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t,
         Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, vlb, vub, x0, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, vlb, vub, nop_M, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, i_o_t, Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, vlb, nop_M, nop_M, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, i_o_t, Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, nop_M, nop_M, nop_M, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0,
         const Mm& neq)
{
    Mm x, lambda;
    conls(A, b, G, h, vlb, vub, x0, neq, i_o, x, lambda);
    return x;
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0)
{
    return conls(A, b, G, h, vlb, vub, x0, zero_M);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub)
{
    return conls(A, b, G, h, vlb, vub, nop_M, zero_M);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb)
{
    return conls(A, b, G, h, vlb, nop_M, nop_M, zero_M);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h) { return conls(A, b, G, h, nop_M, nop_M, nop_M, zero_M); }
Mm conls(const Mm&) { return Mm(error_input("conls", 1)); }
Mm conls(const Mm&, const Mm&) { return Mm(error_input("conls", 2)); }
Mm conls(const Mm&, const Mm&, const Mm&) { return Mm(error_input("conls", 3)); }
Mm conls(const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("conls", 1)); }
Mm conls(const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("conls", 2)); }
Mm conls(const Mm&, const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("conls", 3)); }
