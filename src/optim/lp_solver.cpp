// The LP solver object: loading from triplets, the driver, the scaling of
// the standard form, the initial point, the step and the convergence test.
// Presolve and postsolve live in lp_presolve.cpp, the search direction in
// lp_direction.cpp and the MPS reader in mps.cpp.
#include "optim/lp_solver.hpp"

#include "platform/blas_threads.hpp"
#include "optim/lp_ipm.hpp"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr double lp_inf = 1e20;
constexpr double tiny = 1e-14;
constexpr double sigma = -1.0;
constexpr double theta_step = 0.99995;
// Relative infeasibility that counts as met.
constexpr double resolved = 1e-10;

} // namespace

void LpSolver::reset()
{
    release();
    status = 0;
    m_ = n_ = m0_ = n0_ = 0;
    iter_ = 0;
    obj_const_ = 0;
    unbounded_if_feasible_ = false;
    objective_ = 0;
}

void LpSolver::release()
{
    cols_.clear();
    cols_.shrink_to_fit();
    b_.clear();
    c_.clear();
    l_.clear();
    u_.clear();
    kind_.clear();
    range_lo_.clear();
    range_hi_.clear();
    row_id_.clear();
    col_id_.clear();
    stack_.clear();
    row_names_.clear();
    col_names_.clear();
    xs_.clear();
    ys_.clear();
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void LpSolver::load_triplets(int nnz, int m, int n, int n_le, int n_eq, int n_ge, const double* triplets,
                             const double* b, const int* row_kinds, const double* c, const double* l, const double* u)
{
    reset();
    try {
        if (!load_triplet_arrays(nnz, m, n, n_le, n_eq, n_ge, triplets, b, row_kinds, c, l, u))
            return;
        run();
    } catch (const std::bad_alloc&) {
        status = -7;
    }
}

void LpSolver::load_mps(const char* name)
{
    reset();
    try {
        if (!read_mps(name))
            return;
        run();
    } catch (const std::bad_alloc&) {
        status = -7;
    }
}

void LpSolver::read_mps_only(const char* name)
{
    reset();
    try {
        read_mps(name);
    } catch (const std::bad_alloc&) {
        status = -7;
    }
}

bool LpSolver::load_triplet_arrays(int nnz, int m, int n, int n_le, int n_eq, int n_ge, const double* triplets,
                                   const double* b, const int* row_kinds, const double* c, const double* l,
                                   const double* u)
{
    m_ = m0_ = m;
    n_ = n0_ = n;
    if (m != n_le + n_eq + n_ge || m < 0 || n < 0 || nnz < 0) {
        status = 6;
        return false;
    }
    cols_.assign(n, {});
    const double* rows = triplets;
    const double* colsv = triplets + nnz;
    const double* vals = triplets + 2 * static_cast<std::size_t>(nnz);
    // Each column's entries by its own number; a column without any is
    // left to presolve.
    for (int k = 0; k < nnz; ++k) {
        const double rj = rows[k], cj = colsv[k];
        if (!(rj >= 1 && rj <= m && cj >= 1 && cj <= n)) {
            status = 7;
            return false;
        }
        cols_[static_cast<int>(cj) - 1].push_back({static_cast<int>(rj) - 1, vals[k]});
    }
    b_.assign(b, b + m);
    kind_.assign(row_kinds, row_kinds + m);
    c_.assign(c, c + n);
    l_.assign(l, l + n);
    u_.assign(u, u + n);
    return true;
}

void LpSolver::clean_tiny()
{
    for (double& v : b_)
        if (std::fabs(v) < tiny)
            v = 0;
    for (double& v : l_)
        if (std::fabs(v) < tiny)
            v = 0;
    for (double& v : u_)
        if (std::fabs(v) < tiny)
            v = 0;
    for (double& v : c_)
        if (std::fabs(v) < tiny)
            v = 0;
    for (auto& col : cols_)
        for (LpEntry& e : col)
            if (std::fabs(e.value) < tiny)
                e.value = 0;
}

void LpSolver::merge_duplicates()
{
    // Entries named twice for one row and column add up, as triplets do
    // everywhere else; a column is sorted by row first when it is not.
    auto by_row = [](const LpEntry& a, const LpEntry& b) { return a.index < b.index; };
    for (auto& col : cols_) {
        if (!std::is_sorted(col.begin(), col.end(), by_row))
            std::stable_sort(col.begin(), col.end(), by_row);
        std::size_t out = 0;
        for (std::size_t k = 0; k < col.size(); ++k) {
            if (out > 0 && col[out - 1].index == col[k].index)
                col[out - 1].value += col[k].value;
            else
                col[out++] = col[k];
        }
        col.resize(out);
    }
}

void LpSolver::run()
{
    // Every BLAS call below is small: on one thread, not a spinning pool.
    blas_single_thread serial;
    row_id_.resize(m_);
    col_id_.resize(n_);
    for (int i = 0; i < m_; ++i)
        row_id_[i] = i;
    for (int j = 0; j < n_; ++j)
        col_id_[j] = j;
    clean_tiny();
    merge_duplicates();
    // A bound interval that is empty leaves nothing to optimise over: the
    // iterations would start from a negative width and report a point
    // outside it. Within rounding of each other the bounds fix the column.
    for (int j = 0; j < n_; ++j) {
        if (l_[j] >= lp_inf || u_[j] <= -lp_inf) {
            status = 2;
            return;
        }
        if (l_[j] > u_[j]) {
            if (l_[j] - u_[j] > 1e-14 * std::max(1.0, std::fabs(u_[j]))) {
                status = 2;
                return;
            }
            l_[j] = u_[j];
        }
    }
    pivot_limit_ = m0_ < 500 ? 5 : m0_ < 1000 ? 10 : m0_ < 10000 ? 15 : 20;
    presolve();
    if (status != 0)
        return;
    standard_form();
    if (status != 0)
        return;
    if (n_ == 0) {
        // Presolve left no column: what rows remain are empty equalities,
        // met when their right-hand side is 0.
        for (int i = 0; i < m_; ++i)
            if (std::fabs(b_[i]) > 1e-8) {
                status = 2;
                return;
            }
        xs_.clear();
        ys_.assign(m_, 0.0);
        standard_row_kept_.assign(m_, 1);
        status = 1;
    } else {
        iterate();
    }
    if (status == 1 && unbounded_if_feasible_)
        status = 3;
    if (status == 1)
        postsolve();
}

namespace {

// Four passes of row and column scaling; r and q collect the factors.
void scale(LpIterate& it, std::vector<double>& r, std::vector<double>& q)
{
    const int m = it.m, n = it.n;
    r.assign(m, 1.0);
    q.assign(n, 1.0);
    std::vector<double> lo(m), hi(m);
    auto row_pass = [&](bool geometric) {
        std::fill(lo.begin(), lo.end(), 1.0);
        std::fill(hi.begin(), hi.end(), 1.0);
        std::vector<char> seen(m, 0);
        for (int j = 0; j < n; ++j)
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
                const int i = it.rowidx[p];
                const double a = std::fabs(it.val[p]);
                if (a == 0)
                    continue;
                if (!seen[i]) {
                    seen[i] = 1;
                    lo[i] = hi[i] = a;
                } else {
                    lo[i] = std::min(lo[i], a);
                    hi[i] = std::max(hi[i], a);
                }
            }
        for (int i = 0; i < m; ++i) {
            double f = geometric ? std::sqrt(lo[i] * hi[i]) : std::sqrt(hi[i]);
            if (!seen[i])
                f = 1;
            lo[i] = f;
            r[i] *= f;
            it.b[i] /= f;
        }
        for (int j = 0; j < n; ++j)
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                it.val[p] /= lo[it.rowidx[p]];
    };
    auto col_pass = [&](bool geometric) {
        for (int j = 0; j < n; ++j) {
            double cl = 0, ch = 0;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
                const double a = std::fabs(it.val[p]);
                if (a == 0)
                    continue;
                cl = cl == 0 ? a : std::min(cl, a);
                ch = std::max(ch, a);
            }
            double f = ch == 0 ? 1.0 : geometric ? std::sqrt(cl * ch) : std::sqrt(ch);
            q[j] *= f;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                it.val[p] /= f;
            it.c[j] /= f;
            if (it.u[j] < lp_inf)
                it.u[j] = std::min(it.u[j] * f, lp_inf);
        }
    };
    row_pass(true);
    col_pass(true);
    row_pass(false);
    col_pass(false);
}

void objectives(LpIterate& it)
{
    double p = 0, d = 0, g = 0;
    for (int j = 0; j < it.n; ++j) {
        p += sigma * it.c[j] * it.x[j];
        g += it.x[j] * it.z[j];
        if (it.bounded[j]) {
            d += it.u[j] * it.s[j];
            g += it.w[j] * it.s[j];
        }
    }
    for (int i = 0; i < it.m; ++i)
        d += it.b[i] * it.y[i];
    it.primal = std::max(p, -lp_inf);
    it.dual = std::min(d, lp_inf);
    it.gap = g;
}

} // namespace

void LpSolver::iterate()
{
    LpIterate it;
    it.m = m_;
    it.n = n_;
    it.colptr.assign(n_ + 1, 0);
    for (int j = 0; j < n_; ++j)
        it.colptr[j + 1] = it.colptr[j] + static_cast<int>(cols_[j].size());
    it.rowidx.resize(it.colptr[n_]);
    it.val.resize(it.colptr[n_]);
    for (int j = 0; j < n_; ++j) {
        int p = it.colptr[j];
        for (const LpEntry& e : cols_[j]) {
            it.rowidx[p] = e.index;
            it.val[p] = e.value;
            ++p;
        }
    }
    it.b = b_;
    it.c = c_;
    it.u = u_;
    std::vector<double> r, q;
    scale(it, r, q);

    // Initial point from A A' v = b, x = A'v; dependent rows found by the
    // first factorisation are removed (unless one holds a column's only
    // entry) and the factorisation is repeated. A network whose factor
    // would be dear tells its dependent rows from its graph and solves
    // with the forest's iterations instead: its iterations will not need
    // the factor either, and forming it alone would cost more than all of
    // them.
    LpNormalMatrix nm;
    LpTreePcg pcg;
    it.pivot_limit = pivot_limit_;
    int st = nm.analyse(it);
    if (st != 0) {
        status = st;
        return;
    }
    std::vector<double> ones(n_, 1.0);
    pcg.start(it, nm.column_counts());
    std::vector<char> dependent;
    const bool by_forest = pcg.usable() && lp_network_dependent_rows(it, dependent);
    if (!by_forest) {
        if (!nm.factor(it, ones.data(), true)) {
            status = -7;
            return;
        }
        dependent = nm.dependent();
    }
    std::vector<int> kept_rows(m_);
    for (int i = 0; i < m_; ++i)
        kept_rows[i] = i;
    std::vector<std::vector<LpEntry>> removed_rows;
    std::vector<double> removed_b;
    if (std::find(dependent.begin(), dependent.end(), 1) != dependent.end()) {
        std::vector<char> remove(dependent);
        for (int j = 0; j < n_; ++j)
            if (it.colptr[j + 1] - it.colptr[j] == 1 && remove[it.rowidx[it.colptr[j]]])
                remove[it.rowidx[it.colptr[j]]] = 0;
        // The removed rows, kept to check at the end that they hold.
        std::vector<int> removed_at(m_, -1);
        for (int i = 0; i < m_; ++i)
            if (remove[i]) {
                removed_at[i] = static_cast<int>(removed_b.size());
                removed_b.push_back(it.b[i]);
            }
        removed_rows.resize(removed_b.size());
        for (int j = 0; j < n_; ++j)
            for (int k = it.colptr[j]; k < it.colptr[j + 1]; ++k)
                if (removed_at[it.rowidx[k]] >= 0)
                    removed_rows[removed_at[it.rowidx[k]]].push_back({j, it.val[k]});
        std::vector<int> newnum(m_, -1);
        int mm = 0;
        for (int i = 0; i < m_; ++i)
            if (!remove[i]) {
                newnum[i] = mm;
                kept_rows[mm] = i;
                it.b[mm] = it.b[i];
                r[mm] = r[i];
                ++mm;
            }
        kept_rows.resize(mm);
        it.b.resize(mm);
        r.resize(mm);
        int p = 0;
        for (int j = 0; j < n_; ++j) {
            const int p0 = it.colptr[j], p1 = it.colptr[j + 1];
            it.colptr[j] = p;
            for (int k = p0; k < p1; ++k)
                if (newnum[it.rowidx[k]] >= 0) {
                    it.rowidx[p] = newnum[it.rowidx[k]];
                    it.val[p] = it.val[k];
                    ++p;
                }
        }
        it.colptr[n_] = p;
        it.m = mm;
        st = nm.analyse(it);
        if (st != 0) {
            status = st;
            return;
        }
        if (!by_forest && !nm.factor(it, ones.data(), true)) {
            status = -7;
            return;
        }
        pcg.start(it, nm.column_counts());
    }
    const int m = it.m, n = it.n;
    it.bounded.assign(n, 0);
    for (int j = 0; j < n; ++j)
        it.bounded[j] = it.u[j] < lp_inf;
    std::vector<double> v(it.b);
    // The forest's solve gives up where it cannot reach the tolerance; the
    // factorisation answers then.
    if (!(by_forest && pcg.usable() && pcg.prepare(it, ones.data()) && pcg.solve(it, ones.data(), v.data()))) {
        if (by_forest && !nm.factor(it, ones.data(), false)) {
            status = -7;
            return;
        }
        v = it.b;
        nm.solve(v.data());
    }
    it.x.assign(n, 0.0);
    double xmin = 0;
    for (int j = 0; j < n; ++j) {
        double a = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            a += it.val[p] * v[it.rowidx[p]];
        it.x[j] = a;
        xmin = std::min(xmin, a);
    }
    double bnorm = 0, cnorm = 0, sum_c = 0;
    it.sum_b = 0;
    for (int i = 0; i < m; ++i) {
        bnorm += it.b[i] * it.b[i];
        it.sum_b += std::fabs(it.b[i]);
    }
    for (int j = 0; j < n; ++j) {
        cnorm += it.c[j] * it.c[j];
        sum_c += std::fabs(it.c[j]);
    }
    const double f = std::max({100.0, -xmin, 0.01 * std::sqrt(bnorm)});
    it.w.assign(n, 0.0);
    it.s.assign(n, 0.0);
    it.z.assign(n, 0.0);
    it.y.assign(m, 0.0);
    const double h = std::sqrt(cnorm) + 1;
    for (int j = 0; j < n; ++j) {
        it.x[j] = std::max(it.x[j], f);
        if (it.bounded[j]) {
            it.w[j] = std::max(it.u[j] - it.x[j], f);
            if (it.u[j] < 0.001)
                it.x[j] = 100;
        } else {
            it.w[j] = lp_inf;
        }
        const double t = sigma * it.c[j];
        it.z[j] = t > 0 ? h : t >= -h ? h - t : -2 * t;
        it.s[j] = it.bounded[j] ? t + it.z[j] : 0.0;
    }
    // The split free columns, for their re-centring.
    std::vector<std::pair<int, int>> pairs;
    for (const Record& rec : stack_)
        if (rec.code == 6)
            pairs.push_back({rec.col, rec.index});

    double gap_prev = 1e20, rp_prev = 1e20, rd_prev = 1e20;
    objectives(it);
    int c_primal = 0, c_dual = 0, c_gap = 0, c_stall = 0;
    std::vector<double> aty(n);
    while (status == 0) {
        ++iter_;
        it.iteration = iter_;
        objectives(it);
        if (!lp_direction(it, nm, pcg)) {
            status = -7;
            return;
        }
        lp_step_lengths(it, it.dx.data(), it.dw.data(), it.dz.data(), it.ds.data(), it.alpha_p, it.alpha_d);
        const double tp = theta_step * it.alpha_p, td = theta_step * it.alpha_d;
        for (int j = 0; j < n; ++j) {
            it.x[j] = std::max(it.x[j] + tp * it.dx[j], tiny);
            it.z[j] = std::max(it.z[j] + td * it.dz[j], tiny);
            if (it.bounded[j]) {
                it.w[j] = std::max(it.w[j] + tp * it.dw[j], tiny);
                it.s[j] = std::max(it.s[j] + td * it.ds[j], tiny);
            }
        }
        for (int i = 0; i < m; ++i)
            it.y[i] += td * it.dy[i];
        const double g_prev = iter_ == 1 ? 1e20 : it.gap;
        gap_prev = g_prev;
        objectives(it);
        if (iter_ % 3 == 0 && std::fabs(it.dual - it.primal) / std::max(std::fabs(it.primal), 1.0) > 0.001) {
            for (auto [a, b] : pairs) {
                const double d = it.x[a] - it.x[b];
                if (d > 0 && it.x[b] >= 10) {
                    it.x[b] = 10;
                    it.x[a] = 10 + d;
                } else if (d <= 0 && it.x[a] >= 10) {
                    it.x[a] = 10;
                    it.x[b] = 10 - d;
                }
            }
        }
        // Relative infeasibilities.
        std::vector<double> ax(m, 0.0);
        for (int j = 0; j < n; ++j) {
            double a = 0;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
                ax[it.rowidx[p]] += it.val[p] * it.x[j];
                a += it.val[p] * it.y[it.rowidx[p]];
            }
            aty[j] = a;
        }
        double rp = 0, rd = 0;
        for (int i = 0; i < m; ++i)
            rp += std::fabs(it.b[i] - ax[i]);
        rp /= 1 + it.sum_b;
        for (int j = 0; j < n; ++j)
            rd += std::fabs(sigma * it.c[j] + it.z[j] - (it.bounded[j] ? it.s[j] : 0.0) - aty[j]);
        rd /= 1 + sum_c;

        // Convergence test.
        const double g = it.gap;
        if (it.mu > 1 && 2 * g_prev < g && c_gap > 1 &&
            (std::fabs(rp - (1 - tp) * rp_prev) > 1e-4 || std::fabs(rd - (1 - td) * rd_prev) > 1e-4)) {
            status = 2;
        } else {
            // An infeasibility already at the level of rounding cannot keep
            // falling: counting it as a stall would call a feasible,
            // degenerate problem (exactly met equality rows, zero costs)
            // infeasible while its gap is still closing.
            c_primal = rp < rp_prev || rp <= resolved ? 0 : c_primal + 1;
            c_dual = rd < rd_prev || rd <= resolved ? 0 : c_dual + 1;
            c_gap = g < 1.1 * g_prev ? 0 : c_gap + 1;
            if (g >= g_prev)
                ++c_stall;
            const double relative_gap = std::fabs(it.dual - it.primal) / (std::fabs(it.dual) + 1);
            if (c_primal > 9 || c_dual > 9 || c_gap > 9 || c_stall > 9) {
                // A stall at a point that is primal and dual feasible with a
                // tiny gap is convergence held up by the floors: when the
                // feasible set has no interior, x rests on its floor while
                // z follows a ray of the dual, and their products keep the
                // gap just above the tolerance.
                status = rp <= 1e-8 && rd <= 1e-8 && relative_gap < 1e-6 && g < 1 ? 1 : 2;
            } else if (relative_gap < 1e-8 && g < 1 && rp <= 1e-8 && rd <= 1e-8) {
                // A closed gap alone proves nothing while the iterate is
                // still infeasible: with zero costs and b = 0 both
                // objectives are 0 from the first iteration on.
                status = 1;
            }
        }
        rp_prev = rp;
        rd_prev = rd;
        if (iter_ > 100)
            status = 4;
    }
    (void)gap_prev;
    if (status != 1)
        return;
    // A row dropped as dependent is a combination of the kept rows; at their
    // solution it holds unless its right-hand side contradicts them, and
    // then the problem has no solution at all.
    for (std::size_t k = 0; k < removed_rows.size(); ++k) {
        double ax = 0, size = std::fabs(removed_b[k]);
        for (const LpEntry& e : removed_rows[k]) {
            ax += e.value * it.x[e.index];
            size += std::fabs(e.value * it.x[e.index]);
        }
        if (std::fabs(ax - removed_b[k]) > 1e-6 * (1 + size)) {
            status = 2;
            return;
        }
    }
    // Unscale into the standard-form solution; rows by their number before
    // dependent-row removal.
    xs_.assign(n, 0.0);
    for (int j = 0; j < n; ++j)
        xs_[j] = it.x[j] / q[j];
    ys_.assign(m_, 0.0);
    standard_row_kept_.assign(m_, 0);
    for (int i = 0; i < m; ++i) {
        ys_[kept_rows[i]] = it.y[i] / r[i];
        standard_row_kept_[kept_rows[i]] = 1;
    }
}
