// The sparse LU factorisation as language values and the direct sparse
// solve lusolve, both over SuperLU (sparse_lu_superlu.cpp). Arguments are
// checked here, before SuperLU sees them.
#include "linalg/sparse_lu.hpp"

#include "linalg/front.hpp"
#include "linalg/scaling.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace {

// The compressed-column arrays of a real sparse value (its real parts).
ccs_matrix ccs_of(const Mm& s)
{
    ccs_matrix a;
    a.rows = s.rows();
    a.cols = s.cols();
    a.jc.assign(std::size_t(a.cols) + 1, 0);
    const int nnz = s.getnnz();
    const int* index = s.getindex();
    a.ir.reserve(nnz);
    a.v.reserve(nnz);
    for (int k = 0; k < nnz; ++k) {
        const int c = index[k] / a.rows;
        a.ir.push_back(index[k] % a.rows);
        a.v.push_back(s.addr()[k]);
        ++a.jc[c + 1];
    }
    for (int c = 0; c < a.cols; ++c)
        a.jc[c + 1] += a.jc[c];
    return a;
}

// The doubled real system [Ar -Ai; Ai Ar] of a complex (or real) sparse A.
ccs_matrix doubled_ccs(const Mm& s)
{
    const int n = s.rows(), m = s.cols();
    const int nnz = s.getnnz();
    const int* index = s.getindex();
    const double* re = s.addr();
    const double* im = s.addi();
    // Stored entries by column.
    std::vector<int> start(std::size_t(m) + 1, 0);
    for (int k = 0; k < nnz; ++k)
        ++start[index[k] / n + 1];
    for (int c = 0; c < m; ++c)
        start[c + 1] += start[c];
    ccs_matrix a;
    a.rows = 2 * n;
    a.cols = 2 * m;
    a.jc.push_back(0);
    for (int half = 0; half < 2; ++half)
        for (int c = 0; c < m; ++c) {
            // Left half: (Ar; Ai). Right half: (-Ai; Ar).
            for (int k = start[c]; k < start[c + 1]; ++k) {
                const double v = half == 0 ? re[k] : (im ? -im[k] : 0.0);
                if (v != 0 || half == 0) {
                    a.ir.push_back(index[k] % n);
                    a.v.push_back(v);
                }
            }
            for (int k = start[c]; k < start[c + 1]; ++k) {
                const double v = half == 0 ? (im ? im[k] : 0.0) : re[k];
                if (v != 0 || half == 1) {
                    a.ir.push_back(index[k] % n + n);
                    a.v.push_back(v);
                }
            }
            a.jc.push_back(int(a.v.size()));
        }
    return a;
}

// A sparse value from compressed-column arrays, in the library's order.
Mm sparse_of_ccs(const ccs_matrix& a)
{
    const int nnz = int(a.v.size());
    Mm s(0, 1, nnz, a.rows, a.cols, qv_double);
    if (nnz > 0) {
        if (s.getnnz() < nnz || s.rows() != a.rows)
            throw std::bad_alloc();  // refused; "Out of memory!" is reported
        setIrJc(s, const_cast<int*>(a.ir.data()), const_cast<int*>(a.jc.data()));
        std::memcpy(s.addr(), a.v.data(), sizeof(double) * nnz);
        s.sort();
    }
    return s;
}

// The column order given by P's row indices, when they are a permutation
// of 0 ... n-1.
bool column_order(const Mm& p, int n, std::vector<int>& order)
{
    if (!p.issparse() || p.getnnz() != n)
        return false;
    order.resize(n);
    std::vector<char> seen(n, 0);
    const int rows = p.rows();
    for (int k = 0; k < n; ++k) {
        const int r = p.getindex()[k] % rows;
        if (r < 0 || r >= n || seen[r])
            return false;
        seen[r] = 1;
        order[k] = r;
    }
    return true;
}

std::vector<int> natural_order(int n)
{
    std::vector<int> o(n);
    for (int k = 0; k < n; ++k)
        o[k] = k;
    return o;
}

enum class entries { solvable, nan, empty_column };

// Whether SuperLU may see a: it reads outside its arrays when the pivot
// search meets a NaN beside an empty column, so a matrix with a NaN entry
// (whose solution is NaN in any case) or with a column holding no entry
// (singular) is answered here.
entries check_entries(const Mm& a)
{
    const int n = a.cols(), nnz = a.getnnz();
    const double* re = a.addr();
    const double* im = a.isc() ? a.addi() : nullptr;
    std::vector<char> filled(n, 0);
    for (int k = 0; k < nnz; ++k) {
        if (std::isnan(re[k]) || (im && std::isnan(im[k])))
            return entries::nan;
        filled[a.getindex()[k] / a.rows()] = 1;
    }
    for (int c = 0; c < n; ++c)
        if (!filled[c])
            return entries::empty_column;
    return entries::solvable;
}

// A maximum matching of columns to rows over a's stored entries:
// row_of[c] is the row matched to column c, or -1. A cheap first pass takes
// a free row in each column; augmenting paths (searched without recursion,
// so a long path cannot exhaust the stack) then extend it.
std::vector<int> column_matching(const ccs_matrix& a)
{
    const int n = a.cols, m = a.rows;
    std::vector<int> row_of(n, -1), col_of(m, -1);
    for (int c = 0; c < n; ++c)
        for (int p = a.jc[c]; p < a.jc[c + 1]; ++p)
            if (col_of[a.ir[p]] < 0) {
                col_of[a.ir[p]] = c;
                row_of[c] = a.ir[p];
                break;
            }
    std::vector<int> seen(m, -1), next(n), stack;
    for (int c0 = 0; c0 < n; ++c0) {
        if (row_of[c0] >= 0 || a.jc[c0] == a.jc[c0 + 1])
            continue;
        stack.assign(1, c0);
        next[c0] = a.jc[c0];
        while (!stack.empty()) {
            const int c = stack.back();
            if (next[c] == a.jc[c + 1]) {
                stack.pop_back();
                continue;
            }
            const int r = a.ir[next[c]++];
            if (seen[r] == c0)
                continue;
            seen[r] = c0;
            if (col_of[r] < 0) {
                // Free row: flip the path from c0 down to c.
                int row = r;
                for (auto k = stack.size(); k-- > 0;) {
                    const int col = stack[k];
                    const int previous = row_of[col];
                    row_of[col] = row;
                    col_of[row] = col;
                    row = previous;
                }
                break;
            }
            stack.push_back(col_of[r]);
            next[col_of[r]] = a.jc[col_of[r]];
        }
    }
    return row_of;
}

// SuperLU's pivot search assumes that every column still holds an entry in
// a row not yet pivoted; a structurally singular matrix (an empty row or
// column, or a deficient pattern such as [1 1;0 0]) breaks that and it
// reads outside its arrays. Storing explicit zeros that pair each unmatched
// column with an unmatched row makes the pattern structurally nonsingular
// without changing a value: SuperLU then meets an exactly zero pivot there,
// which it handles, and the factors still satisfy P*A = L*U.
void complete_structure(ccs_matrix& a)
{
    const int n = a.cols;
    const std::vector<int> row_of = column_matching(a);
    std::vector<char> row_used(a.rows, 0);
    int unmatched = 0;
    for (int c = 0; c < n; ++c) {
        if (row_of[c] >= 0)
            row_used[row_of[c]] = 1;
        else
            ++unmatched;
    }
    if (unmatched == 0)
        return;
    std::vector<int> added(n, -1);
    int free_row = 0;
    for (int c = 0; c < n; ++c)
        if (row_of[c] < 0) {
            while (free_row < a.rows && row_used[free_row])
                ++free_row;
            if (free_row == a.rows)
                break;  // more columns than rows: nothing left to pair
            added[c] = free_row++;
        }
    ccs_matrix b;
    b.rows = a.rows;
    b.cols = n;
    b.jc.assign(std::size_t(n) + 1, 0);
    b.ir.reserve(a.ir.size() + unmatched);
    b.v.reserve(a.v.size() + unmatched);
    for (int c = 0; c < n; ++c) {
        bool pending = added[c] >= 0;
        for (int p = a.jc[c]; p < a.jc[c + 1]; ++p) {
            if (pending && a.ir[p] > added[c]) {
                b.ir.push_back(added[c]);
                b.v.push_back(0.0);
                pending = false;
            }
            b.ir.push_back(a.ir[p]);
            b.v.push_back(a.v[p]);
        }
        if (pending) {
            b.ir.push_back(added[c]);
            b.v.push_back(0.0);
        }
        b.jc[c + 1] = int(b.v.size());
    }
    a = std::move(b);
}

enum class solved { yes, singular, out_of_memory };

// Solves the real system a (compressed columns) with dense B in place.
// A null order lets SuperLU choose a fill-reducing one. With regular_only,
// a system whose reciprocal condition estimate lies below sqrt(eps) counts
// as singular too: its solution keeps fewer than half the digits, and a
// singular system's estimate is rounding noise far below that (about 1e-14
// for the augmented system of a rank-deficient A, whose scaling by s puts
// the noise above eps).
solved solve_in_place(ccs_matrix a, const std::vector<int>* order, double* b, int nrhs, bool augmented = false,
                      bool regular_only = false)
{
    int info;
    double rcond = 1;
    try {
        // A square system whose rows or columns lie far apart is solved in
        // ordinary sizes, as the dense one is: partial pivoting among 1e300
        // and 1e-300 kept too few digits of the small unknowns, and a
        // subnormal pivot's reciprocal made them Inf. The rank tests of the
        // other systems judge the matrix as it is.
        power_of_two_equilibration q;
        std::vector<int> shift;
        if (!augmented && !regular_only) {
            q = equilibration_exponents(a.rows, a.cols, [&a](auto&& visit) {
                for (int j = 0; j < a.cols; ++j)
                    for (int p = a.jc[j]; p < a.jc[j + 1]; ++p)
                        visit(a.ir[p], j, std::fabs(a.v[p]));
            });
            if (q.active) {
                for (int j = 0; j < a.cols; ++j)
                    for (int p = a.jc[j]; p < a.jc[j + 1]; ++p)
                        a.v[p] = std::ldexp(a.v[p], -q.row[std::size_t(a.ir[p])] - q.col[std::size_t(j)]);
                shift = scale_right_sides(q.row, a.rows, nrhs, b, nullptr, std::size_t(a.rows));
            }
        }
        complete_structure(a);
        info = superlu_solve(a, order ? order->data() : nullptr, b, a.rows, nrhs, augmented,
                             regular_only ? &rcond : nullptr);
        if (q.active && info == 0)
            unscale_solutions(q.col, shift, a.cols, nrhs, b, nullptr, std::size_t(a.rows));
    } catch (const std::bad_alloc&) {
        info = a.cols + 1;
    }
    if (info > a.cols) {
        error("Out of memory!");
        return solved::out_of_memory;
    }
    const bool regular = info == 0 && !(rcond < std::sqrt(std::numeric_limits<double>::epsilon()));
    return regular ? solved::yes : solved::singular;
}

} // namespace

namespace {

// lusolve in the order the caller gives (order_from_p) or in a
// fill-reducing one. With regular_only, a singular system gives an empty
// value in place of NaN.
Mm solve_sparse_system(const Mm& a, const Mm& b, const Mm& p, bool order_from_p, bool regular_only = false)
{
    const int n = a.rows(), nrhs = b.cols();
    // Checked before SuperLU sees anything: it has no way to refuse them.
    if (!a.issparse() || a.cols() != n || b.rows() != n || a.getndims() != 2 || b.getndims() != 2 ||
        b.gettype() == qv_cell || n == 0)
        return nan_matrix(n, nrhs);
    const entries check = check_entries(a);
    if (check != entries::solvable)
        return regular_only && check == entries::empty_column ? Mm() : nan_matrix(n, nrhs);
    // What a failed solve gives.
    auto unsolved = [&](solved s) { return regular_only && s == solved::singular ? Mm() : nan_matrix(n, nrhs); };
    const Mm fb = dense_copy(b);
    if (a.isc() || fb.isc()) {
        // The doubled real system, in its natural order.
        const ccs_matrix d = doubled_ccs(a);
        std::vector<double> rhs(2 * std::size_t(n) * nrhs);
        for (int c = 0; c < nrhs; ++c)
            for (int i = 0; i < n; ++i) {
                rhs[i + 2 * std::size_t(n) * c] = fb.addr()[i + std::size_t(n) * c];
                rhs[i + n + 2 * std::size_t(n) * c] = fb.isc() ? fb.addi()[i + std::size_t(n) * c] : 0.0;
            }
        std::vector<int> natural;
        if (order_from_p)
            natural = natural_order(2 * n);
        const solved s = solve_in_place(d, order_from_p ? &natural : nullptr, rhs.data(), nrhs, false, regular_only);
        if (s != solved::yes)
            return unsolved(s);
        Mm x = new_dense(1, n, nrhs);
        for (int c = 0; c < nrhs; ++c)
            for (int i = 0; i < n; ++i) {
                x.addr()[i + std::size_t(n) * c] = rhs[i + 2 * std::size_t(n) * c];
                x.addi()[i + std::size_t(n) * c] = rhs[i + n + 2 * std::size_t(n) * c];
            }
        return x;
    }
    std::vector<int> order;
    if (order_from_p && !column_order(p, n, order))
        return nan_matrix(n, nrhs);
    Mm x = fb;
    const solved s = solve_in_place(ccs_of(a), order_from_p ? &order : nullptr, x.addr(), nrhs, false, regular_only);
    if (s != solved::yes)
        return unsolved(s);
    return x;
}

} // namespace

namespace {

// The augmented system K = [s*I A; A' 0] of a tall sparse A (m-by-n),
// straight as compressed columns: its real parts in k.v and its imaginary
// parts in im (empty for a real A). Column i < m holds s at row i and
// conj(A(i, j)) at row m + j for every stored A(i, j); column m + j holds
// A's column j. Rows are in order within each column. Nothing of order
// m + n is ever a value, so any A that is a valid value fits.
void augmented_system(const Mm& a, double s, ccs_matrix& k, std::vector<double>& im)
{
    const int m = a.rows(), n = a.cols(), nnz = a.getnnz();
    const int* index = a.getindex();
    const double* re = a.addr();
    const double* ai = a.isc() ? a.addi() : nullptr;
    const std::size_t order = std::size_t(m) + std::size_t(n);
    // A's stored entries by row, for the columns of A' (in storage order,
    // so the columns j of each row come in order).
    std::vector<int> row_start(std::size_t(m) + 1, 0);
    for (int e = 0; e < nnz; ++e)
        ++row_start[index[e] % m + 1];
    for (int i = 0; i < m; ++i)
        row_start[i + 1] += row_start[i];
    std::vector<int> by_row(static_cast<std::size_t>(nnz));
    std::vector<int> fill(row_start.begin(), row_start.end() - 1);
    for (int e = 0; e < nnz; ++e)
        by_row[fill[index[e] % m]++] = e;

    k.rows = k.cols = int(order);
    k.jc.assign(order + 1, 0);
    k.ir.clear();
    k.v.clear();
    const std::size_t total = std::size_t(m) + 2 * std::size_t(nnz);
    k.ir.reserve(total);
    k.v.reserve(total);
    im.clear();
    if (ai)
        im.reserve(total);
    auto put = [&](int row, double vr, double vi) {
        k.ir.push_back(row);
        k.v.push_back(vr);
        if (ai)
            im.push_back(vi);
    };
    for (int i = 0; i < m; ++i) {
        put(i, s, 0.0);
        for (int p = row_start[i]; p < row_start[i + 1]; ++p) {
            const int e = by_row[p];
            put(m + index[e] / m, re[e], ai ? -ai[e] : 0.0);
        }
        k.jc[i + 1] = int(k.v.size());
    }
    for (int e = 0, j = 0; j < n; ++j) {
        for (; e < nnz && index[e] / m == j; ++e)
            put(index[e] % m, re[e], ai ? ai[e] : 0.0);
        k.jc[m + j + 1] = int(k.v.size());
    }
}

// The doubled real system [Kr -Ki; Ki Kr] of the compressed columns k with
// imaginary parts im.
ccs_matrix doubled(const ccs_matrix& k, const std::vector<double>& im)
{
    const int n = k.rows, cols = k.cols;
    ccs_matrix d;
    d.rows = 2 * n;
    d.cols = 2 * cols;
    d.jc.push_back(0);
    d.ir.reserve(4 * k.v.size());
    d.v.reserve(4 * k.v.size());
    for (int half = 0; half < 2; ++half)
        for (int c = 0; c < cols; ++c) {
            // Left half: (Kr; Ki). Right half: (-Ki; Kr).
            for (int p = k.jc[c]; p < k.jc[c + 1]; ++p) {
                const double v = half == 0 ? k.v[p] : -im[p];
                if (v != 0 || half == 0) {
                    d.ir.push_back(k.ir[p]);
                    d.v.push_back(v);
                }
            }
            for (int p = k.jc[c]; p < k.jc[c + 1]; ++p) {
                const double v = half == 0 ? im[p] : k.v[p];
                if (v != 0 || half == 1) {
                    d.ir.push_back(k.ir[p] + n);
                    d.v.push_back(v);
                }
            }
            d.jc.push_back(int(d.v.size()));
        }
    return d;
}

} // namespace

Mm sparse_least_squares(const Mm& a, const Mm& b, double s)
{
    const int m = a.rows(), n = a.cols(), nrhs = b.cols();
    const entries check = check_entries(a);
    if (check != entries::solvable)
        return check == entries::nan ? nan_matrix(n, nrhs) : Mm();
    const Mm fb = dense_copy(b);
    const bool complex = a.isc() || fb.isc();
    const std::size_t order = std::size_t(m) + std::size_t(n);
    ccs_matrix k;
    std::vector<double> im;
    augmented_system(a, s, k, im);
    if (complex && im.empty())
        im.assign(k.v.size(), 0.0);
    // The right-hand side [B; 0], doubled to [Br; 0; Bi; 0] when complex.
    const std::size_t ld = complex ? 2 * order : order;
    std::vector<double> rhs(ld * std::size_t(nrhs), 0.0);
    for (int c = 0; c < nrhs; ++c)
        for (int i = 0; i < m; ++i) {
            const std::size_t from = i + std::size_t(m) * c;
            rhs[i + ld * c] = fb.addr()[from];
            if (complex)
                rhs[order + i + ld * c] = fb.isc() ? fb.addi()[from] : 0.0;
        }
    const solved r = solve_in_place(complex ? doubled(k, im) : std::move(k), nullptr, rhs.data(), nrhs, true, true);
    if (r != solved::yes)
        return r == solved::singular ? Mm() : nan_matrix(n, nrhs);
    Mm x = new_dense(complex, n, nrhs);
    for (int c = 0; c < nrhs; ++c)
        for (int j = 0; j < n; ++j) {
            x.addr()[j + std::size_t(n) * c] = rhs[m + j + ld * c];
            if (complex)
                x.addi()[j + std::size_t(n) * c] = rhs[order + m + j + ld * c];
        }
    return x;
}

bool sparse_lu_pivots(const Mm& a, std::vector<double>& pivots, std::vector<int>& perm_r, std::vector<int>& perm_c)
{
    const int n = a.rows();
    ccs_matrix l, u;
    int info;
    try {
        ccs_matrix s = ccs_of(a);
        perm_c.assign(std::size_t(n) + 1, 0);
        superlu_fill_reducing_order(s, perm_c.data());
        complete_structure(s);
        perm_r.assign(std::size_t(n) + 1, 0);
        info = superlu_factor(s, perm_c.data(), perm_r.data(), l, u);
    } catch (const std::bad_alloc&) {
        info = n + 1;
    }
    if (info < 0 || info > n) {
        error("Out of memory!");
        return false;
    }
    perm_r.resize(n);
    perm_c.resize(n);
    pivots.assign(n, 0.0);
    for (int j = 0; j < n; ++j)
        for (int k = u.jc[j]; k < u.jc[j + 1]; ++k)
            if (u.ir[k] == j)
                pivots[j] = u.v[k];
    return true;
}

Mm lusolve(const Mm& a, const Mm& b, const Mm& p)
{
    return solve_sparse_system(a, b, p, true);
}

Mm sparse_solve(const Mm& a, const Mm& b)
{
    return solve_sparse_system(a, b, Mm(), false);
}

Mm sparse_solve_if_regular(const Mm& a, const Mm& b)
{
    return solve_sparse_system(a, b, Mm(), false, true);
}

void sparse_lu_factor(const Mm& a0, const Mm& pc, Mm& L, Mm& U, Mm& r, Mm& c)
{
    // Checked before SuperLU sees it: a direct call may pass any value.
    if (error_square(a0, "lu")) {
        L = U = r = c = x_M;
        return;
    }
    const Mm a = a0.issparse() ? a0 : sparse(a0);
    const int n = a.rows();
    std::vector<int> order;
    if (!column_order(pc, n, order))
        order = natural_order(n);
    std::vector<int> perm_r(std::size_t(n) + 1, 0);
    ccs_matrix l, u;
    int info;
    try {
        ccs_matrix s = ccs_of(a);
        complete_structure(s);
        info = superlu_factor(s, order.data(), perm_r.data(), l, u);
    } catch (const std::bad_alloc&) {
        info = n + 1;
    }
    if (info < 0 || info > n) {
        error("Out of memory!");
        L = U = r = c = x_M;
        return;
    }
    if (l.v.empty() && n > 0)
        throw std::bad_alloc();
    L = sparse_of_ccs(l);
    U = sparse_of_ccs(u);
    Mm rr = new_dense(0, n, 1), cc = new_dense(0, n, 1);
    for (int k = 0; k < n; ++k) {
        rr.addr()[k] = perm_r[k] + 1;
        cc.addr()[k] = order[k] + 1;
    }
    r = rr;
    c = cc;
}
