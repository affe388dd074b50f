// The search direction of the LP solver: the normal equations A Theta A'
// (ordering, symbolic and numeric L D L' factorisation, solves) and
// Mehrotra's predictor-corrector with Gondzio's centrality corrections.
#include "optim/lp_ipm.hpp"
#include "optim/lp_ordering.hpp"
#include "optim/lp_panel_kernel.hpp"

#include "linalg/lapack.hpp"
#include "platform/memory.hpp"
#include "platform/subnormal_flush.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>

// ---------------------------------------------------------------------------
// Ordering: approximate minimum degree over the graph of A A' (rows adjacent
// when they share a column).

int LpNormalMatrix::order(const LpIterate& it)
{
    const int m = m_;
    // The graph of A A' without its diagonal, one list per row.
    std::vector<int> ptr(m + 1, 0), adj;
    {
        std::vector<int> mark(m, -1);
        for (int i = 0; i < m; ++i) {
            mark[i] = i;
            for (int p = rowptr_[i]; p < rowptr_[i + 1]; ++p) {
                const int j = colidx_[p];
                for (int q = it.colptr[j]; q < it.colptr[j + 1]; ++q) {
                    const int l = it.rowidx[q];
                    if (mark[l] != i) {
                        mark[l] = i;
                        adj.push_back(l);
                    }
                }
            }
            // Positions in the pattern are numbered with int.
            if (adj.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
                return -7;
            ptr[i + 1] = static_cast<int>(adj.size());
        }
    }
    std::vector<int> perm;
    switch (approximate_minimum_degree(m, ptr.data(), adj.data(), perm)) {
    case OrderingStatus::ok:
        break;
    case OrderingStatus::out_of_memory:
        return -7;
    default:
        return -4;
    }
    set_order(perm);
    return 0;
}

void LpNormalMatrix::set_order(std::vector<int>& perm)
{
    perm_.swap(perm);
    invp_.assign(m_, 0);
    for (int k = 0; k < m_; ++k)
        invp_[perm_[k]] = k;
}

// The order for the whole matrix: the rest's, with the rows the dense
// columns meet moved to the end. Those rows are joined by the dense
// columns' cliques, which any order factorises as a dense block, and the
// other rows keep the fill of the rest's minimum-degree order; ordering the
// whole pattern again, cliques and all, cost more than the few
// factorisations it serves.
std::vector<int> LpNormalMatrix::dense_rows_last(const LpIterate& it) const
{
    std::vector<char> met(m_, 0);
    for (int j : dense_)
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            met[it.rowidx[p]] = 1;
    std::vector<int> elimination;
    elimination.reserve(m_);
    for (char last : {0, 1})
        for (int i : perm_)
            if (met[i] == last)
                elimination.push_back(i);
    return elimination;
}

// ---------------------------------------------------------------------------
// Symbolic factorisation: each column's structure is the union of the rows
// of A A' below it and the structures of its children in the elimination
// tree. The structures are appended to one growing array, so any order
// serves, whatever fill it brings.

int LpNormalMatrix::symbolic(const LpIterate& it)
{
    const int m = m_;
    auto fail = [](int code) {
        std::fputs("DEBUG: ", stdout);
        std::fflush(stdout);
        return code;
    };
    std::vector<std::size_t> start(m + 1, 0);
    std::vector<int> structure;
    structure.reserve(static_cast<std::size_t>(rowptr_[m]) + m);
    std::vector<int> actual(m, 0), parent(m, -1), child_head(m, -1), child_next(m, -1), mark(m, -1);
    for (int k = 0; k < m; ++k) {
        start[k] = structure.size();
        mark[k] = k;
        auto add = [&](int q) {
            if (mark[q] != k) {
                mark[q] = k;
                structure.push_back(q);
            }
        };
        const int i = perm_[k];
        for (int p = rowptr_[i]; p < rowptr_[i + 1]; ++p) {
            const int j = colidx_[p];
            for (int q = it.colptr[j]; q < it.colptr[j + 1]; ++q) {
                const int r = invp_[it.rowidx[q]];
                if (r > k)
                    add(r);
            }
        }
        // By index: the array may move while it grows.
        for (int c = child_head[k]; c >= 0; c = child_next[c])
            for (std::size_t t = start[c]; t < start[c] + actual[c]; ++t)
                if (structure[t] != k)
                    add(structure[t]);
        std::sort(structure.begin() + start[k], structure.end());
        const int len = static_cast<int>(structure.size() - start[k]);
        actual[k] = len;
        if (len > 0) {
            const int up = structure[start[k]];
            parent[k] = up;
            child_next[k] = child_head[up];
            child_head[up] = k;
        }
    }
    start[m] = structure.size();
    // Supernodes: runs of columns whose structures nest exactly.
    first_.clear();
    super_of_.assign(m, 0);
    for (int k = 0; k < m; ++k) {
        if (k == 0 || !(parent[k - 1] == k && actual[k - 1] == actual[k] + 1))
            first_.push_back(k);
        super_of_[k] = static_cast<int>(first_.size()) - 1;
    }
    const int ns = static_cast<int>(first_.size());
    first_.push_back(m);
    rptr_.assign(ns + 1, 0);
    vptr_.assign(ns + 1, 0);
    std::size_t rows_total = 0;
    for (int s = 0; s < ns; ++s) {
        const int f = first_[s], l = first_[s + 1] - 1;
        const std::size_t nc = l - f + 1, nr = nc + actual[l];
        // Every column of the run holds the next one and the last one's rows.
        for (int k = f; k < l; ++k) {
            const int* a = structure.data() + start[k];
            const int* b = structure.data() + start[k + 1];
            if (a[0] != k + 1 || !std::equal(b, b + actual[k + 1], a + 1))
                return fail(-2);
        }
        rows_total += nr;
        vptr_[s + 1] = vptr_[s] + nr * nc;
    }
    if (rows_total > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return fail(-3);
    rows_.resize(rows_total);
    for (int s = 0; s < ns; ++s) {
        const int f = first_[s], l = first_[s + 1] - 1;
        int p = rptr_[s];
        for (int k = f; k <= l; ++k)
            rows_[p++] = k;
        const int* b = structure.data() + start[l];
        for (int t = 0; t < actual[l]; ++t) {
            if (b[t] <= l)
                return fail(-3);
            rows_[p++] = b[t];
        }
        rptr_[s + 1] = p;
    }
    count_ = actual;
    value_size_ = vptr_[ns];
    return 0;
}

// Dense columns: at least 100 entries and ten times the mean, and no more
// than 16 of them (each costs a solve per factorisation). More would not
// be a few columns filling a sparse rest.
void LpNormalMatrix::choose_dense(const LpIterate& it)
{
    dense_.clear();
    const int n = it.n;
    if (n == 0)
        return;
    const double threshold = std::max(100.0, 10.0 * it.colptr[n] / n);
    for (int j = 0; j < n; ++j)
        if (it.colptr[j + 1] - it.colptr[j] >= threshold)
            dense_.push_back(j);
    if (dense_.size() > 16)
        dense_.clear();
}

int LpNormalMatrix::analyse(const LpIterate& it, bool split)
{
    try {
        int st = copy_rows(it, split);
        if (st == 0)
            st = order(it);
        return st != 0 ? st : finish_analysis(it);
    } catch (const std::bad_alloc&) {
        return -7;
    }
}

int LpNormalMatrix::analyse_in_order(const LpIterate& it, const std::vector<int>& elimination)
{
    try {
        const int st = copy_rows(it, false);
        if (st != 0)
            return st;
        std::vector<int> perm(elimination);
        set_order(perm);
        return finish_analysis(it);
    } catch (const std::bad_alloc&) {
        return -7;
    }
}

// The row-ordered copy of A's kept columns, and the dense columns chosen
// (with `split`).
int LpNormalMatrix::copy_rows(const LpIterate& it, bool split)
{
    const int m = it.m, n = it.n;
    m_ = m;
    whole_.reset();
    whole_active_ = false;
    split_failures_ = 0;
    it_ = nullptr;
    if (split)
        choose_dense(it);
    else
        dense_.clear();
    std::vector<char> kept(n, 1);
    for (int j : dense_)
        kept[j] = 0;
    rowptr_.assign(m + 1, 0);
    for (int j = 0; j < n; ++j)
        if (kept[j])
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                ++rowptr_[it.rowidx[p] + 1];
    for (int i = 0; i < m; ++i)
        rowptr_[i + 1] += rowptr_[i];
    colidx_.resize(rowptr_[m]);
    rowval_.resize(rowptr_[m]);
    std::vector<int> fill(rowptr_.begin(), rowptr_.end() - 1);
    for (int j = 0; j < n; ++j)
        if (kept[j])
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
                const int q = fill[it.rowidx[p]]++;
                colidx_[q] = j;
                rowval_[q] = it.val[p];
            }
    return 0;
}

// Symbolic factorisation in the order chosen, and the per-row arrays.
int LpNormalMatrix::finish_analysis(const LpIterate& it)
{
    const int sy = symbolic(it);
    if (sy != 0)
        return sy;
    const int m = m_;
    // The factor's values are taken by the first factorisation: the
    // forest's iterations may never need them.
    val_.clear();
    val_.shrink_to_fit();
    d_.assign(m, 0.0);
    diag_.assign(m, 0.0);
    dropped_.assign(m, 0);
    dependent_.assign(m, 0);
    pos_.assign(m, 0);
    dependent_count_ = 0;
    return 0;
}

// ---------------------------------------------------------------------------
// Numeric factorisation, left-looking over the supernodes: each supernode's
// block gathers A Theta A', takes the updates of the supernodes below whose
// rows meet its columns (dense products when they are large enough), and is
// factorised by halves. A postponed pivot leaves its column of L empty; its
// row keeps collecting the updates of the later columns in a dense vector,
// and the postponed pivots are factorised together at the end.

// Scratch that only grows: resizing down and up again would clear the
// regrown part every time. Its contents need not survive growth, so the old
// block goes before the new one is taken (no copy), and each growth is by
// half at least: the panels of one factorisation ask for ever larger
// scratch, and every new block costs its page faults.
static void grow(std::vector<double>& v, std::size_t size)
{
    if (v.size() >= size)
        return;
    const std::size_t n = std::max(size, v.size() + v.size() / 2);
    std::vector<double>().swap(v);
    v.reserve(n);
    platform::prefer_large_pages(v.data(), n * sizeof(double));
    v.resize(n);
}

void LpNormalMatrix::postponed_update(int k, const double* lcol, const int* rows, int count, double d)
{
    const int p = static_cast<int>(post_.size());
    const std::size_t m = m_;
    double l[32];
    for (int a = 0; a < p; ++a) {
        double* ra = post_rows_.data() + a * m;
        l[a] = ra[k] / d;
        ra[k] = l[a];
    }
    for (int a = 0; a < p; ++a) {
        const double la = l[a];
        if (la == 0)
            continue;
        double* ra = post_rows_.data() + a * m;
        const double f = la * d;
        for (int r = 0; r < count; ++r)
            ra[rows[r]] -= lcol[r] * f;
        for (int b = 0; b <= a; ++b)
            post_block_[a * 32 + b] -= f * l[b];
    }
}

// The square of rows and columns first .. last-1 of an nr-row block loses
// the product of the k columns of E and V (their rows standing for the
// block's rows from `at` on), below the diagonal: halves of it recursively,
// the rectangle between them in one product, and squares of 64 whole (the
// part above their diagonal is never read). Few large products pack E's
// rows fewer times than strips would; but the squares' upper halves are
// work thrown away, and with squares of 256 the products of the factor of
// a random 2000-row problem did 12% more flops than with squares of 64.
static void subtract_lower_square(double* B, int nr, int at, int first, int last, int k, const double* E, int lde,
                                  const double* V, int ldv)
{
    const double minus_one = -1.0, one = 1.0;
    const int width = last - first;
    if (width <= 64) {
        dgemm_("N", "T", &width, &width, &k, &minus_one, E + (first - at), &lde, V + (first - at), &ldv, &one,
               B + static_cast<std::size_t>(first) * nr + first, &nr, 1, 1);
        return;
    }
    const int mid = first + (width / 2 + 63) / 64 * 64;
    subtract_lower_square(B, nr, at, first, mid, k, E, lde, V, ldv);
    const int rows = last - mid, cols = mid - first;
    dgemm_("N", "T", &rows, &cols, &k, &minus_one, E + (mid - at), &lde, V + (first - at), &ldv, &one,
           B + static_cast<std::size_t>(first) * nr + mid, &nr, 1, 1);
    subtract_lower_square(B, nr, at, mid, last, k, E, lde, V, ldv);
}

// Block columns first .. last-1 of an nr-row block lose the product of the
// k columns of E and V (their rows standing for the block's rows from
// first on), below the diagonal only: the rows below the columns in one
// product, the square beside them by halves.
static void subtract_lower_product(double* B, int nr, int first, int last, int k, const double* E, int lde,
                                   const double* V, int ldv)
{
    if (last <= first)
        return;
    const double minus_one = -1.0, one = 1.0;
    const int below = nr - last, width = last - first;
    if (below > 0)
        dgemm_("N", "T", &below, &width, &k, &minus_one, E + width, &lde, V, &ldv, &one,
               B + static_cast<std::size_t>(first) * nr + last, &nr, 1, 1);
    subtract_lower_square(B, nr, first, first, last, k, E, lde, V, ldv);
}

// Columns t0 .. t1-1 of a supernode's block, every update from the columns
// before t0 already applied. Halving the range until it is narrow puts
// nearly all of the work into large products, and the update between the
// halves forms only the lower part of the block: a dense rest of a thousand
// rows costs the flops of one Cholesky factorisation at the speed of a
// large matrix product.
void LpNormalMatrix::factor_columns(double* B, const int* R, int nr, int f, int t0, int t1, bool mark_dependent)
{
    constexpr int narrow = 16;
    if (t1 - t0 > narrow) {
        const int mid = t0 + std::max(narrow, (t1 - t0) / (2 * narrow) * narrow);
        factor_columns(B, R, nr, f, t0, mid, mark_dependent);
        update_columns(B, nr, f, t0, mid, t1);
        factor_columns(B, R, nr, f, mid, t1, mark_dependent);
        return;
    }
    const std::size_t m = m_;
    double w[narrow];
    for (int t = t0; t < t1; ++t) {
        const int k = f + t;
        double* col = B + static_cast<std::size_t>(t) * nr;
        // Left-looking within the narrow range: the column takes the
        // updates of the range's earlier columns (those with a share in
        // it) in one pass.
        if (t > t0) {
            const double* L[narrow];
            int cols = 0;
            for (int c = t0; c < t; ++c) {
                const double* lc = B + static_cast<std::size_t>(c) * nr;
                const double g = lc[t] * d_[f + c];
                if (g == 0)
                    continue;
                L[cols] = lc + t;
                w[cols++] = g;
            }
            lp_panel_update(nr - t, cols, L, w, col + t);
        }
        const double dk = col[t];
        int verdict = 0;  // 0 keep, 1 drop, 2 postpone
        if (mark_dependent) {
            if (!(std::fabs(dk) >= 1e-10)) {
                dependent_[perm_[k]] = 1;
                ++dependent_count_;
                verdict = 1;
            }
        } else if (!(dk > 0) || !(std::fabs(dk) >= 1e-6 * std::fabs(diag_[k]))) {
            if (static_cast<int>(post_.size()) < post_limit_)
                verdict = 2;
            else if (!(dk >= drop_below_))
                verdict = 1;
        }
        if (verdict == 2) {
            const int a = static_cast<int>(post_.size());
            double* ra = post_rows_.data() + a * m;
            std::fill(ra, ra + m, 0.0);
            for (int r = t + 1; r < nr; ++r)
                ra[R[r]] = col[r];
            for (int b = 0; b < a; ++b)
                post_block_[a * 32 + b] = post_rows_[b * m + k];
            post_block_[a * 32 + a] = dk;
            post_.push_back(k);
            dropped_[k] = 2;
        } else if (verdict == 1) {
            dropped_[k] = 1;
            dropped_count_ += mark_dependent ? 0 : 1;
        }
        if (verdict != 0) {
            d_[k] = 0;
            std::fill(col + t, col + nr, 0.0);
            continue;
        }
        d_[k] = dk;
        col[t] = 1;
        const double rd = 1.0 / dk;
        for (int r = t + 1; r < nr; ++r)
            col[r] *= rd;
        if (!post_.empty())
            postponed_update(k, col + t + 1, R + t + 1, nr - t - 1, dk);
    }
}

// Rows and columns from mid on (columns below t1) take the update of the
// factored columns t0 .. mid-1: L D L', with D applied to the few rows of L
// that stand for the block's columns mid .. t1-1 (not to the long ones).
void LpNormalMatrix::update_columns(double* B, int nr, int f, int t0, int mid, int t1)
{
    const int width = t1 - mid, k = mid - t0;
    grow(work_, static_cast<std::size_t>(width) * k);
    for (int t = t0; t < mid; ++t) {
        const double* ct = B + static_cast<std::size_t>(t) * nr + mid;
        double* wt = work_.data() + static_cast<std::size_t>(t - t0) * width;
        const double dt = d_[f + t];
        for (int c = 0; c < width; ++c)
            wt[c] = ct[c] * dt;
    }
    subtract_lower_product(B, nr, mid, t1, k, B + static_cast<std::size_t>(t0) * nr + mid, nr, work_.data(), width);
}

// The batched columns' outer products, lower part only, into the block.
void LpNormalMatrix::flush_batch(double* B, int nr, int nc)
{
    const int k = batch_cols_;
    batch_cols_ = 0;
    if (k == 0)
        return;
    subtract_lower_product(B, nr, 0, nc, k, batch_e_.data(), nr, batch_v_.data(), nc);
}

bool LpNormalMatrix::factor(const LpIterate& it, const double* theta, bool mark_dependent, int pivot_limit)
{
    if (m_ != it.m)
        return false;
    it_ = &it;
    pivot_limit_ = pivot_limit;
    whole_active_ = false;
    if (!dense_.empty() && split_failures_ >= 2)
        return factor_whole(it, theta, mark_dependent);
    post_limit_ = mark_dependent ? 0 : std::min(pivot_limit, 32);
    // Theta = x/z comes in the units of x: where large bounds make an
    // ordinary value small, so are the pivots of rows of ordinary size.
    drop_below_ = 1e-12 * it.unit;
    if (!factor_kept(it, theta, mark_dependent))
        return false;
    if (dense_.empty())
        return true;
    // A row that only dense columns meet leaves the rest singular, and
    // rows the rest finds dependent may not be: the whole matrix tells.
    if (mark_dependent && dependent_count_ > 0) {
        split_failures_ = 2;
        return factor_whole(it, theta, mark_dependent);
    }
    // A dropped pivot of the rest may be a direction that only the dense
    // columns supply: the identity would miss it.
    try {
        if (dropped_count_ == 0 && prepare_woodbury(it, theta))
            return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
    ++split_failures_;
    return factor_whole(it, theta, mark_dependent);
}

bool LpNormalMatrix::factor_whole(const LpIterate& it, const double* theta, bool mark_dependent)
{
    try {
        if (!whole_) {
            auto whole = std::make_unique<LpNormalMatrix>();
            if (whole->analyse_in_order(it, dense_rows_last(it)) != 0)
                return false;
            whole_ = std::move(whole);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    whole_active_ = true;
    return whole_->factor(it, theta, mark_dependent, pivot_limit_);
}

// W = S^-1 V and the Cholesky factor of I + V' W, for the Woodbury
// identity; false when that matrix is not numerically positive definite.
bool LpNormalMatrix::prepare_woodbury(const LpIterate& it, const double* theta)
{
    const int m = m_, k = static_cast<int>(dense_.size());
    const std::size_t mk = static_cast<std::size_t>(m) * k;
    theta_.assign(theta, theta + it.n);
    v_.assign(mk, 0.0);
    for (int c = 0; c < k; ++c) {
        const int j = dense_[c];
        const double root = std::sqrt(theta[j]);
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            v_[static_cast<std::size_t>(c) * m + it.rowidx[p]] += it.val[p] * root;
    }
    w_.assign(v_.begin(), v_.end());
    for (int c = 0; c < k; ++c)
        solve_kept(w_.data() + static_cast<std::size_t>(c) * m);
    cap_.assign(static_cast<std::size_t>(k) * k, 0.0);
    for (int a = 0; a < k; ++a)
        for (int b = 0; b <= a; ++b) {
            double ab = 0, ba = 0;
            const double* va = v_.data() + static_cast<std::size_t>(a) * m;
            const double* vb = v_.data() + static_cast<std::size_t>(b) * m;
            const double* wa = w_.data() + static_cast<std::size_t>(a) * m;
            const double* wb = w_.data() + static_cast<std::size_t>(b) * m;
            for (int i = 0; i < m; ++i) {
                ab += va[i] * wb[i];
                ba += vb[i] * wa[i];
            }
            cap_[a + static_cast<std::size_t>(b) * k] = (a == b ? 1.0 : 0.0) + 0.5 * (ab + ba);
        }
    int info = 0;
    dpotrf_("L", &k, cap_.data(), &k, &info, 1);
    if (info != 0)
        return false;
    for (int a = 0; a < k; ++a)
        if (!std::isfinite(cap_[a + static_cast<std::size_t>(a) * k]))
            return false;
    t_.resize(k);
    return true;
}

// z := (S + V V')^-1 z = S^-1 z - W (I + V' W)^-1 V' S^-1 z.
void LpNormalMatrix::woodbury(double* z) const
{
    const int m = m_, k = static_cast<int>(dense_.size());
    solve_kept(z);
    double* t = t_.data();
    for (int a = 0; a < k; ++a) {
        const double* va = v_.data() + static_cast<std::size_t>(a) * m;
        double sum = 0;
        for (int i = 0; i < m; ++i)
            sum += va[i] * z[i];
        t[a] = sum;
    }
    for (int a = 0; a < k; ++a) {
        for (int b = 0; b < a; ++b)
            t[a] -= cap_[a + static_cast<std::size_t>(b) * k] * t[b];
        t[a] /= cap_[a + static_cast<std::size_t>(a) * k];
    }
    for (int a = k - 1; a >= 0; --a) {
        for (int b = a + 1; b < k; ++b)
            t[a] -= cap_[b + static_cast<std::size_t>(a) * k] * t[b];
        t[a] /= cap_[a + static_cast<std::size_t>(a) * k];
    }
    for (int a = 0; a < k; ++a) {
        const double* wa = w_.data() + static_cast<std::size_t>(a) * m;
        for (int i = 0; i < m; ++i)
            z[i] -= wa[i] * t[a];
    }
}

bool LpNormalMatrix::solve(double* v)
{
    if (whole_active_)
        return whole_->solve(v);
    if (dense_.empty()) {
        solve_kept(v);
        return true;
    }
    try {
        rhs_.assign(v, v + m_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (lp_conjugate_gradients(*it_, theta_.data(), v, woodbury_steps, woodbury_tolerance, cg_,
                               [this](double* z) { woodbury(z); })) {
        split_failures_ = 0;
        return true;
    }
    ++split_failures_;
    if (!factor_whole(*it_, theta_.data(), false))
        return false;
    std::copy(rhs_.begin(), rhs_.end(), v);
    return whole_->solve(v);
}

bool LpNormalMatrix::factor_kept(const LpIterate& it, const double* theta, bool mark_dependent)
{
    const int m = m_;
    const SubnormalsFlushed flushed;
    try {
        if (post_limit_ > 0 && post_rows_.size() < static_cast<std::size_t>(post_limit_) * m)
            post_rows_.assign(static_cast<std::size_t>(post_limit_) * m, 0.0);
        post_block_.assign(32 * 32, 0.0);
        if (val_.size() != value_size_) {
            // Reserved before it is filled: the first touch takes the pages.
            val_.reserve(value_size_);
            platform::prefer_large_pages(val_.data(), value_size_ * sizeof(double));
            val_.resize(value_size_);
        }
        const int ns = static_cast<int>(first_.size()) - 1;
        link_.assign(ns, -1);
        next_row_.assign(ns, 0);
        std::vector<int> link_next(ns, -1);
        post_.clear();
        dropped_count_ = 0;
        std::fill(dropped_.begin(), dropped_.end(), 0);
        if (mark_dependent) {
            std::fill(dependent_.begin(), dependent_.end(), 0);
            dependent_count_ = 0;
        }
        for (int s = 0; s < ns; ++s) {
            const int f = first_[s], nc = first_[s + 1] - f;
            const int* R = rows_.data() + rptr_[s];
            const int nr = rptr_[s + 1] - rptr_[s];
            double* B = val_.data() + vptr_[s];
            std::fill(B, B + static_cast<std::size_t>(nr) * nc, 0.0);
            for (int r = 0; r < nr; ++r)
                pos_[R[r]] = r;
            // A Theta A' into the block.
            for (int t = 0; t < nc; ++t) {
                const int k = f + t;
                double* col = B + static_cast<std::size_t>(t) * nr;
                const int i = perm_[k];
                for (int p = rowptr_[i]; p < rowptr_[i + 1]; ++p) {
                    const int j = colidx_[p];
                    const double a = rowval_[p] * theta[j];
                    for (int q = it.colptr[j]; q < it.colptr[j + 1]; ++q) {
                        const int r = invp_[it.rowidx[q]];
                        if (r >= k)
                            col[pos_[r]] += a * it.val[q];
                    }
                }
                diag_[k] = col[t];
            }
            // Updates from the supernodes below. An element scattered into a
            // block of megabytes costs tens of a product's multiply-adds, so
            // a large block gathers the columns whose outer products cover
            // more than a thirty-second of its lower part into a batch,
            // spread out to its rows, and takes them in one product.
            const bool large_block = static_cast<long long>(nr) * nc >= 65536;
            const double block_area = double(nr) * nc - 0.5 * double(nc) * nc;
            batch_cols_ = 0;
            if (large_block) {
                grow(batch_e_, static_cast<std::size_t>(nr) * batch_limit);
                grow(batch_v_, static_cast<std::size_t>(nc) * batch_limit);
            }
            int K = link_[s];
            link_[s] = -1;
            while (K >= 0) {
                const int after = link_next[K];
                const int fK = first_[K], ncK = first_[K + 1] - fK;
                const int* RK = rows_.data() + rptr_[K];
                const int nrK = rptr_[K + 1] - rptr_[K];
                const double* LK = val_.data() + vptr_[K];
                const double* dK = d_.data() + fK;
                const int r0 = next_row_[K];
                const int last = f + nc - 1;
                int h = 0;
                while (r0 + h < nrK && RK[r0 + h] <= last)
                    ++h;
                const int cnt = nrK - r0;
                const int top = pos_[RK[r0]];
                const bool consecutive = pos_[RK[nrK - 1]] - top == cnt - 1;
                const double scattered = double(cnt) * h - 0.5 * double(h) * h;
                // The rows' places in the block, looked up once per update.
                if (at_.size() < static_cast<std::size_t>(cnt))
                    at_.resize(cnt);
                int* at = at_.data();
                for (int r = 0; r < cnt; ++r)
                    at[r] = pos_[RK[r0 + r]];
                if (large_block && !consecutive && block_area < 32 * scattered) {
                    for (int t = 0; t < ncK; ++t) {
                        if (batch_cols_ == batch_limit)
                            flush_batch(B, nr, nc);
                        double* e = batch_e_.data() + static_cast<std::size_t>(batch_cols_) * nr;
                        double* v = batch_v_.data() + static_cast<std::size_t>(batch_cols_) * nc;
                        std::fill(e, e + nr, 0.0);
                        std::fill(v, v + nc, 0.0);
                        const double* Lt = LK + static_cast<std::size_t>(t) * nrK + r0;
                        const double dt = dK[t];
                        for (int r = 0; r < cnt; ++r)
                            e[at[r]] = Lt[r] * dt;
                        for (int c = 0; c < h; ++c)
                            v[at[c]] = Lt[c];
                        ++batch_cols_;
                    }
                } else if (static_cast<long long>(cnt) * h * ncK < 8192) {
                    for (int c = 0; c < h; ++c) {
                        double* Bc = B + static_cast<std::size_t>(at[c]) * nr;
                        for (int t = 0; t < ncK; ++t) {
                            const double* Lt = LK + static_cast<std::size_t>(t) * nrK + r0;
                            const double w = Lt[c] * dK[t];
                            if (w == 0)
                                continue;
                            for (int r = c; r < cnt; ++r)
                                Bc[at[r]] -= Lt[r] * w;
                        }
                    }
                } else {
                    grow(work_, static_cast<std::size_t>(h) * ncK);
                    for (int t = 0; t < ncK; ++t)
                        for (int c = 0; c < h; ++c)
                            work_[c + static_cast<std::size_t>(t) * h] =
                                LK[static_cast<std::size_t>(t) * nrK + r0 + c] * dK[t];
                    if (consecutive) {
                        // The rows land on consecutive rows of the block (a
                        // dense rest): the product goes straight into it.
                        const double minus_one = -1.0, one = 1.0;
                        dgemm_("N", "T", &cnt, &h, &ncK, &minus_one, LK + r0, &nrK, work_.data(), &h, &one,
                               B + static_cast<std::size_t>(top) * nr + top, &nr, 1, 1);
                    } else {
                        grow(upd_, static_cast<std::size_t>(cnt) * h);
                        const double one = 1.0, zero = 0.0;
                        dgemm_("N", "T", &cnt, &h, &ncK, &one, LK + r0, &nrK, work_.data(), &h, &zero, upd_.data(),
                               &cnt, 1, 1);
                        for (int c = 0; c < h; ++c) {
                            double* Bc = B + static_cast<std::size_t>(at[c]) * nr;
                            const double* U = upd_.data() + static_cast<std::size_t>(c) * cnt;
                            for (int r = c; r < cnt; ++r)
                                Bc[at[r]] -= U[r];
                        }
                    }
                }
                next_row_[K] = r0 + h;
                if (r0 + h < nrK) {
                    const int target = super_of_[RK[r0 + h]];
                    link_next[K] = link_[target];
                    link_[target] = K;
                }
                K = after;
            }
            flush_batch(B, nr, nc);
            factor_columns(B, R, nr, f, 0, nc, mark_dependent);
            if (nr > nc) {
                next_row_[s] = nc;
                const int target = super_of_[R[nc]];
                link_next[s] = link_[target];
                link_[target] = s;
            }
        }
        // The postponed pivots, last.
        const int p = static_cast<int>(post_.size());
        post_d_.assign(p, 0.0);
        post_dropped_.assign(p, 0);
        for (int a = 0; a < p; ++a) {
            double da = post_block_[a * 32 + a];
            for (int b = 0; b < a; ++b)
                da -= post_block_[a * 32 + b] * post_block_[a * 32 + b] * post_d_[b];
            if (!(da >= drop_below_)) {
                post_dropped_[a] = 1;
                ++dropped_count_;
                for (int c = a + 1; c < p; ++c)
                    post_block_[c * 32 + a] = 0;
                continue;
            }
            post_d_[a] = da;
            for (int c = a + 1; c < p; ++c) {
                double v = post_block_[c * 32 + a];
                for (int b = 0; b < a; ++b)
                    v -= post_block_[c * 32 + b] * post_block_[a * 32 + b] * post_d_[b];
                post_block_[c * 32 + a] = v / da;
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void LpNormalMatrix::solve_kept(double* v) const
{
    const int m = m_;
    if (m == 0)
        return;
    const SubnormalsFlushed flushed;
    // Supernodes of this many values and more go through the BLAS: their
    // dense columns make it a matter of streaming the factor once.
    constexpr long long by_blocks = 2048;
    solve_work_.resize(2 * static_cast<std::size_t>(m));
    double* y = solve_work_.data();
    double* t_below = y + m;
    for (int k = 0; k < m; ++k)
        y[k] = v[perm_[k]];
    const int ns = static_cast<int>(first_.size()) - 1;
    const int p = static_cast<int>(post_.size());
    const std::size_t mm = m;
    for (int s = 0; s < ns; ++s) {
        const int f = first_[s], nc = first_[s + 1] - f;
        const int* R = rows_.data() + rptr_[s];
        const int nr = rptr_[s + 1] - rptr_[s];
        const double* B = val_.data() + vptr_[s];
        if (static_cast<long long>(nr) * nc >= by_blocks) {
            // The block's triangle, then its rows below in one product. A
            // dropped or postponed column of L is zero, so it adds nothing.
            const int below = nr - nc, inc = 1;
            const double one = 1.0, zero = 0.0;
            dtrsv_("L", "N", "U", &nc, B, &nr, y + f, &inc, 1, 1, 1);
            if (below > 0) {
                dgemv_("N", &below, &nc, &one, B + nc, &nr, y + f, &inc, &zero, t_below, &inc, 1);
                for (int r = 0; r < below; ++r)
                    y[R[nc + r]] -= t_below[r];
            }
            for (int a = 0; a < p; ++a)
                for (int k = std::max(f, post_[a] + 1); k < f + nc; ++k)
                    if (!dropped_[k])
                        y[post_[a]] -= post_rows_[a * mm + k] * y[k];
            continue;
        }
        for (int t = 0; t < nc; ++t) {
            const int k = f + t;
            if (dropped_[k])
                continue;
            const double yk = y[k];
            if (yk == 0)
                continue;
            const double* col = B + static_cast<std::size_t>(t) * nr;
            for (int r = t + 1; r < nr; ++r)
                y[R[r]] -= col[r] * yk;
            for (int a = 0; a < p; ++a)
                if (post_[a] < k)
                    y[post_[a]] -= post_rows_[a * mm + k] * yk;
        }
    }
    // The postponed block: L, D and L' in one pass each.
    for (int a = 0; a < p; ++a) {
        double v_a = y[post_[a]];
        for (int b = 0; b < a; ++b)
            v_a -= post_block_[a * 32 + b] * y[post_[b]];
        y[post_[a]] = v_a;
    }
    for (int k = 0; k < m; ++k)
        if (dropped_[k] == 1)
            y[k] = 0;
        else if (dropped_[k] == 0)
            y[k] /= d_[k];
    for (int a = 0; a < p; ++a)
        y[post_[a]] = post_dropped_[a] ? 0.0 : y[post_[a]] / post_d_[a];
    for (int a = p - 1; a >= 0; --a) {
        if (post_dropped_[a]) {
            y[post_[a]] = 0;
            continue;
        }
        double v_a = y[post_[a]];
        for (int c = a + 1; c < p; ++c)
            v_a -= post_block_[c * 32 + a] * y[post_[c]];
        y[post_[a]] = v_a;
    }
    for (int s = ns - 1; s >= 0; --s) {
        const int f = first_[s], nc = first_[s + 1] - f;
        const int* R = rows_.data() + rptr_[s];
        const int nr = rptr_[s + 1] - rptr_[s];
        const double* B = val_.data() + vptr_[s];
        if (static_cast<long long>(nr) * nc >= by_blocks) {
            const int below = nr - nc, inc = 1;
            const double one = 1.0, minus_one = -1.0;
            for (int a = 0; a < p; ++a)
                for (int k = std::max(f, post_[a] + 1); k < f + nc; ++k)
                    if (!dropped_[k])
                        y[k] -= post_rows_[a * mm + k] * y[post_[a]];
            if (below > 0) {
                for (int r = 0; r < below; ++r)
                    t_below[r] = y[R[nc + r]];
                dgemv_("T", &below, &nc, &minus_one, B + nc, &nr, t_below, &inc, &one, y + f, &inc, 1);
            }
            dtrsv_("L", "T", "U", &nc, B, &nr, y + f, &inc, 1, 1, 1);
            continue;
        }
        for (int t = nc - 1; t >= 0; --t) {
            const int k = f + t;
            if (dropped_[k])
                continue;
            const double* col = B + static_cast<std::size_t>(t) * nr;
            double acc = y[k];
            for (int r = t + 1; r < nr; ++r)
                acc -= col[r] * y[R[r]];
            for (int a = 0; a < p; ++a)
                if (post_[a] < k)
                    acc -= post_rows_[a * mm + k] * y[post_[a]];
            y[k] = acc;
        }
    }
    for (int k = 0; k < m; ++k)
        v[perm_[k]] = y[k];
}

namespace {

constexpr double sigma = -1.0;
constexpr double theta_step = 0.99995;

} // namespace

void lp_normal_product(const LpIterate& it, const double* theta, const double* v, double* out, std::vector<double>& u)
{
    const int n = it.n;
    u.resize(n);
    for (int j = 0; j < n; ++j) {
        double a = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            a += it.val[p] * v[it.rowidx[p]];
        u[j] = theta[j] * a;
    }
    std::fill(out, out + it.m, 0.0);
    for (int j = 0; j < n; ++j)
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            out[it.rowidx[p]] += it.val[p] * u[j];
}

void lp_step_lengths(const LpIterate& it, const double* dx, const double* dw, const double* dz, const double* ds,
                     double& alpha_p, double& alpha_d)
{
    double ap = 1e20, ad = 1e20;
    const bool any_free = !it.free.empty();
    for (int j = 0; j < it.n; ++j) {
        if (any_free && it.free[j])
            continue;
        if (dx[j] < 0)
            ap = std::min(ap, -it.x[j] / dx[j]);
        if (dz[j] < 0)
            ad = std::min(ad, -it.z[j] / dz[j]);
        if (it.bounded[j]) {
            if (dw[j] < 0)
                ap = std::min(ap, -it.w[j] / dw[j]);
            if (ds[j] < 0)
                ad = std::min(ad, -it.s[j] / ds[j]);
        }
    }
    alpha_p = std::min(1.0, ap);
    alpha_d = std::min(1.0, ad);
}

namespace {

// One solve of the Newton system for the given residuals and complementarity
// right-hand sides hx (x dz + z dx = hx) and hw (w ds + s dw = hw).
struct Solver {
    LpIterate& it;
    LpNormalMatrix& nm;
    LpTreePcg& pcg;
    const std::vector<double>& theta;
    bool iterative = false;  // the solves go to pcg
    bool factored = false;   // nm holds this Theta's factor
    std::vector<double> t, rhs, target, u, kept;

    Solver(LpIterate& iterate, LpNormalMatrix& normal, LpTreePcg& trees, const std::vector<double>& weights)
        : it(iterate), nm(normal), pcg(trees), theta(weights)
    {
    }

    // v := (A Theta A')^-1 v; false only when memory runs out.
    bool normal_solve(double* v)
    {
        if (iterative) {
            kept.assign(v, v + it.m);
            if (pcg.solve(it, theta.data(), v))
                return true;
            std::copy(kept.begin(), kept.end(), v);
            iterative = false;
        }
        if (!factored) {
            if (!nm.factor(it, theta.data(), false, it.pivot_limit))
                return false;
            factored = true;
        }
        return nm.solve(v);
    }

    // rhs = target - A Theta A' v.
    void residual(const double* v)
    {
        rhs.resize(it.m);
        lp_normal_product(it, theta.data(), v, rhs.data(), u);
        for (int i = 0; i < it.m; ++i)
            rhs[i] = target[i] - rhs[i];
    }

    bool run(const double* rb, const double* ru, const double* rc, const double* hx, const double* hw, double* dx,
             double* dw, double* dy, double* dz, double* ds)
    {
        const int m = it.m, n = it.n;
        t.resize(n);
        rhs.assign(m, 0.0);
        const bool any_free = !it.free.empty();
        for (int j = 0; j < n; ++j) {
            // A free column has no product to drive: its row of the dual
            // alone.
            if (any_free && it.free[j]) {
                t[j] = rc[j];
                const double f = theta[j] * rc[j];
                for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                    rhs[it.rowidx[p]] += it.val[p] * f;
                continue;
            }
            double tj = rc[j] + hx[j] / it.x[j];
            if (it.bounded[j])
                tj += -hw[j] / it.w[j] + it.s[j] / it.w[j] * ru[j];
            t[j] = tj;
            const double f = theta[j] * tj;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                rhs[it.rowidx[p]] += it.val[p] * f;
        }
        for (int i = 0; i < m; ++i)
            rhs[i] -= rb[i];
        target.assign(rhs.begin(), rhs.end());
        if (!normal_solve(rhs.data()))
            return false;
        for (int i = 0; i < m; ++i)
            dy[i] = rhs[i];
        // Refinement: while the normal equations' residual is above 1e-8
        // relative and still falling, solve for a correction (3 rounds at
        // most).
        double previous = 0;
        for (int round = 0; round < 3; ++round) {
            residual(dy);
            double norm = 0;
            for (int i = 0; i < m; ++i)
                norm += std::fabs(rhs[i]);
            norm /= it.unit + it.sum_b;
            if (norm <= 1e-8 || (round > 0 && !(norm < 0.9 * previous)))
                break;
            previous = norm;
            if (!normal_solve(rhs.data()))
                return false;
            for (int i = 0; i < m; ++i)
                dy[i] += rhs[i];
        }
        for (int j = 0; j < n; ++j) {
            double aty = 0;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                aty += it.val[p] * dy[it.rowidx[p]];
            dx[j] = theta[j] * (t[j] - aty);
            dz[j] = any_free && it.free[j] ? 0.0 : (hx[j] - it.z[j] * dx[j]) / it.x[j];
            if (it.bounded[j]) {
                dw[j] = ru[j] - dx[j];
                ds[j] = (hw[j] - it.s[j] * dw[j]) / it.w[j];
            } else {
                dw[j] = 0;
                ds[j] = 0;
            }
        }
        return true;
    }
};

// K from the factor's column counts: the dearer a factorisation against a
// solve, the more corrections pay for themselves.
int corrections_from_counts(const std::vector<int>& counts)
{
    double sq = 0, sum = 0;
    const int m = static_cast<int>(counts.size());
    for (int k = 0; k + 1 < m; ++k) {
        const double ck = counts[k];
        sq += ck * ck;
        sum += ck;
    }
    const double r = sq / (2 * sum + 12.0 * m);
    static const double limits[] = {10, 30, 50, 100, 150, 200, 250, 300, 350, 400};
    int k = 0;
    while (k < 10 && !(r < limits[k]))
        ++k;
    return k;
}

} // namespace

bool lp_direction(LpIterate& it, LpNormalMatrix& nm, LpTreePcg& pcg)
{
    const int m = it.m, n = it.n;
    if (it.corrections < 0) {
        it.column_max.assign(n, 0.0);
        for (int j = 0; j < n; ++j)
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                it.column_max[j] = std::max(it.column_max[j], std::fabs(it.val[p]));
        it.corrections = corrections_from_counts(nm.column_counts());
    }
    const double P = it.primal, D = it.dual;
    // Safeguard: keep the products and the iterates away from zero.
    double xz = 0;
    for (int j = 0; j < n; ++j)
        xz += it.x[j] * it.z[j];
    double dc = std::max(1e-5 * xz / n, 1e-6 * std::fabs(D - P) / n);
    if (it.iteration == 1 || dc > 10)
        dc = 10;
    double dxs = 1e-5 * std::fabs(D - P) / (std::fabs(P) + std::fabs(D) + 1);
    if (std::fabs(P) + std::fabs(D) <= 100)
        dxs *= 0.1;
    if (std::fabs(P) + std::fabs(D) <= 10)
        dxs *= 0.1;
    dxs = std::max(dxs, 1e-12);
    const double dzs = std::min(dxs, 1e-8);
    dxs *= it.unit;
    auto guard = [&](double& a, double& b, double amax) {
        if (a * b <= dc) {
            if (b < a)
                b = dc / a;
            else
                a = dc / b;
        }
        if (a <= dxs)
            a += dxs / (amax > 0 ? amax : 1.0);
        if (b <= dzs)
            b += dzs;
    };
    const bool any_free = !it.free.empty();
    for (int j = 0; j < n; ++j) {
        if (any_free && it.free[j])
            continue;
        guard(it.x[j], it.z[j], it.column_max[j]);
        if (it.bounded[j])
            guard(it.w[j], it.s[j], it.column_max[j]);
    }

    std::vector<double> theta(n);
    for (int j = 0; j < n; ++j) {
        if (any_free && it.free[j]) {
            theta[j] = std::max(std::fabs(it.x[j]), it.unit) / it.rho[j];
            continue;
        }
        theta[j] = it.bounded[j] ? it.x[j] * it.w[j] / (it.z[j] * it.w[j] + it.s[j] * it.x[j]) : it.x[j] / it.z[j];
        if (!it.rho.empty() && it.rho[j] > 0)
            theta[j] = 1 / (1 / theta[j] + it.rho[j]);
    }
    Solver solver{it, nm, pcg, theta};
    const bool tried = pcg.usable();
    solver.iterative = tried && pcg.prepare(it, theta.data());
    // Whether the solves of this iteration all converged.
    auto outcome = [&] {
        if (tried)
            pcg.record(solver.iterative);
        return true;
    };
    if (!solver.iterative) {
        if (!nm.factor(it, theta.data(), false, it.pivot_limit))
            return false;
        solver.factored = true;
    }

    // Residuals.
    std::vector<double> rb(it.b), ru(n, 0.0), rc(n);
    for (int j = 0; j < n; ++j) {
        double aty = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
            rb[it.rowidx[p]] -= it.val[p] * it.x[j];
            aty += it.val[p] * it.y[it.rowidx[p]];
        }
        if (it.bounded[j])
            ru[j] = it.u[j] - it.x[j] - it.w[j];
        rc[j] = sigma * it.c[j] + it.z[j] - (it.bounded[j] ? it.s[j] : 0.0) - aty;
    }
    double g = it.gap;
    std::vector<double> hx(n), hw(n, 0.0);

    // Predictor.
    double mu0 = g / n >= 1000 ? 5e-5 * g / n : 0.0;
    for (int j = 0; j < n; ++j) {
        hx[j] = mu0 - it.x[j] * it.z[j];
        hw[j] = it.bounded[j] ? mu0 - it.w[j] * it.s[j] : 0.0;
    }
    it.dx.assign(n, 0.0);
    it.dw.assign(n, 0.0);
    it.dy.assign(m, 0.0);
    it.dz.assign(n, 0.0);
    it.ds.assign(n, 0.0);
    if (!solver.run(rb.data(), ru.data(), rc.data(), hx.data(), hw.data(), it.dx.data(), it.dw.data(), it.dy.data(),
                    it.dz.data(), it.ds.data()))
        return false;
    double ap, ad;
    lp_step_lengths(it, it.dx.data(), it.dw.data(), it.dz.data(), it.ds.data(), ap, ad);
    it.mu = mu0;
    if (ap == 1 && ad == 1)
        return outcome();

    // Mehrotra's target from the predicted gap.
    double alpha = std::min(ap, ad);
    double ga = 0, spread = 0;
    for (int j = 0; j < n; ++j) {
        if (any_free && it.free[j])
            continue;
        ga += (it.x[j] + theta_step * ap * it.dx[j]) * (it.z[j] + theta_step * ad * it.dz[j]);
        spread += (it.dx[j] * it.dx[j] + it.dz[j] * it.dz[j]) / theta[j];
        if (it.bounded[j]) {
            ga += (it.w[j] + theta_step * ap * it.dw[j]) * (it.s[j] + theta_step * ad * it.ds[j]);
            spread += (it.dw[j] * it.dw[j] + it.ds[j] * it.ds[j]) / theta[j];
        }
    }
    double mu = ga * ga * ga / (g * g * n);
    if (mu > 1000) {
        double f = alpha >= 0.2 ? 0.1 : alpha >= 0.1 ? 0.2 : 0.333;
        mu = std::min(mu, f * ga / n);
        if (spread > 1.1 * g)
            mu /= std::max(alpha, 0.2);
    }
    if (g < 1) {
        // g / n^2 shrinks the mean product by n, but a bounded column adds a
        // second product: with one or two columns the target would equal
        // the mean and the iterates would stand still, so a tenth of the
        // mean is the most it may be.
        int products = n;
        for (int j = 0; j < n; ++j)
            products += it.bounded[j] ? 1 : 0;
        mu = std::min(g / (static_cast<double>(n) * n), 0.1 * g / products);
    }
    it.mu = mu;

    // Corrector: the full system with the second-order targets.
    for (int j = 0; j < n; ++j) {
        hx[j] = mu - it.dx[j] * it.dz[j] - it.x[j] * it.z[j];
        hw[j] = it.bounded[j] ? mu - it.dw[j] * it.ds[j] - it.w[j] * it.s[j] : 0.0;
    }
    if (!solver.run(rb.data(), ru.data(), rc.data(), hx.data(), hw.data(), it.dx.data(), it.dw.data(), it.dy.data(),
                    it.dz.data(), it.ds.data()))
        return false;

    // Gondzio's centrality corrections.
    if (it.corrections > 0) {
        std::vector<double> cx(n), cw(n), cy(m), cz(n), cs(n), zero_m(m, 0.0), zero_n(n, 0.0);
        std::vector<double> tx(n), tw(n), sx(n), sw(n), sz(n), ss(n);
        lp_step_lengths(it, it.dx.data(), it.dw.data(), it.dz.data(), it.ds.data(), ap, ad);
        for (int k = 0; k < it.corrections; ++k) {
            const double tp = std::min(1.0, ap + 0.1), td = std::min(1.0, ad + 0.1);
            auto target = [&](double v) { return v < 0.1 * mu ? mu - v : v > 10 * mu ? -5 * mu : 0.0; };
            for (int j = 0; j < n; ++j) {
                tx[j] = target((it.x[j] + tp * it.dx[j]) * (it.z[j] + td * it.dz[j]));
                tw[j] = it.bounded[j] ? target((it.w[j] + tp * it.dw[j]) * (it.s[j] + td * it.ds[j])) : 0.0;
            }
            if (!solver.run(zero_m.data(), zero_n.data(), zero_n.data(), tx.data(), tw.data(), cx.data(), cw.data(),
                            cy.data(), cz.data(), cs.data()))
                return false;
            for (int j = 0; j < n; ++j) {
                sx[j] = it.dx[j] + cx[j];
                sw[j] = it.dw[j] + cw[j];
                sz[j] = it.dz[j] + cz[j];
                ss[j] = it.ds[j] + cs[j];
            }
            double np, nd;
            lp_step_lengths(it, sx.data(), sw.data(), sz.data(), ss.data(), np, nd);
            if (!(np >= std::min(1.0, ap + 0.01) && nd >= std::min(1.0, ad + 0.01)))
                break;
            it.dx.swap(sx);
            it.dw.swap(sw);
            it.dz.swap(sz);
            it.ds.swap(ss);
            for (int i = 0; i < m; ++i)
                it.dy[i] += cy[i];
            ap = np;
            ad = nd;
            if (ap == 1 && ad == 1)
                break;
        }
    }
    return outcome();
}
