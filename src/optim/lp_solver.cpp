// The LP solver object: loading from triplets, the driver (the loaded
// problem scaled, far bounds left out of a first solve and, where the
// optimum lies on them, columns measured from them, the answer checked
// against the problem as given), the scaling, the initial point, the step
// and the convergence test.
// Presolve and postsolve live in lp_presolve.cpp, the search direction in
// lp_direction.cpp and the MPS reader in mps.cpp.
#include "optim/lp_solver.hpp"

#include "platform/blas_threads.hpp"
#include "linalg/lapack.hpp"
#include "optim/lp_ipm.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <tuple>
#include <utility>

namespace {

constexpr double lp_inf = 1e20;
constexpr double tiny = 1e-14;
constexpr double sigma = -1.0;
constexpr double theta_step = 0.99995;
// Relative infeasibility that counts as met.
constexpr double resolved = 1e-10;
// The rounding a row's value carries, relative to the size of its terms.
constexpr double rounding_of_terms = 1e3 * 0x1p-52;
// A row's miss, against the size of its own terms, that counts as met.
constexpr double rows_met_share = 1e-8;
// A row or bound of the answer may miss its limit by this much of its size,
// and its objective the dual bound by this much of the objective's.
constexpr double answer_tolerance = 1e-6;
constexpr double answer_gap = 1e-6;
// The weight's regularisation of the two parts of a split column, in the
// units of the solve (right-hand sides near 1, bounds in play at 1e6 at
// most): their weights stay below 3e5.
constexpr double free_regularisation = 3e-6;
// A free column's weight is its size over this: what the regularisation
// leaves in its dual row stays below the dual tolerance, and the rounding
// of the direction moves it by 1e-8 of its size at most.
constexpr double free_weight = 1e-8;

void scale(LpIterate& it, std::vector<double>& r, std::vector<double>& q);

// Whether a column holds a non-zero: one without keeps the scale factor 1
// whatever the others' are, and presolve fixes it.
bool in_some_row(const std::vector<LpEntry>& col)
{
    return std::any_of(col.begin(), col.end(), [](const LpEntry& e) { return e.value != 0; });
}

// v / (a b) where the product a b is no double: the factors of a row and
// a column (or the size of the right-hand sides) each stay within range
// where the data spans 2^-800 .. 2^800, and their product may not, which
// made an entry of 1 infinite and a bounded problem unbounded.
double over(double v, double a, double b)
{
    const double d = a * b;
    if (std::isnormal(d))
        return v / d;
    int ev, ea, eb;
    const double mv = std::frexp(v, &ev), ma = std::frexp(a, &ea), mb = std::frexp(b, &eb);
    return std::ldexp(mv / (ma * mb), ev - ea - eb);
}

// it.m, it.n and A by columns from the solver's column lists.
void take_matrix(LpIterate& it, int m, const std::vector<std::vector<LpEntry>>& cols)
{
    const int n = static_cast<int>(cols.size());
    it.m = m;
    it.n = n;
    it.colptr.assign(n + 1, 0);
    for (int j = 0; j < n; ++j)
        it.colptr[j + 1] = it.colptr[j] + static_cast<int>(cols[j].size());
    it.rowidx.resize(it.colptr[n]);
    it.val.resize(it.colptr[n]);
    for (int j = 0; j < n; ++j) {
        int p = it.colptr[j];
        for (const LpEntry& e : cols[j]) {
            it.rowidx[p] = e.index;
            it.val[p] = e.value;
            ++p;
        }
    }
}

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
    loaded_ = {};
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

void LpSolver::clean_tiny_entries()
{
    // Tiny is relative: rows and columns scaled by powers of ten hold
    // entries that span many decades, and an entry is rounding noise only
    // when its row and its column both hold entries 1e14 times larger.
    // Judged on the problem as given: scaled, the entries of a row and a
    // column are no longer in the user's proportions (x1 + x2 <= 4 beside
    // 1e308 x1 + x2 <= 4 lost its x2, and a bounded problem became
    // unbounded).
    std::vector<double> row_max(m_, 0.0);
    for (const auto& col : cols_)
        for (const LpEntry& e : col)
            row_max[e.index] = std::max(row_max[e.index], std::fabs(e.value));
    for (auto& col : cols_) {
        double col_max = 0;
        for (const LpEntry& e : col)
            col_max = std::max(col_max, std::fabs(e.value));
        for (LpEntry& e : col)
            if (std::fabs(e.value) < tiny * std::min(col_max, row_max[e.index]))
                e.value = 0;
    }
}

void LpSolver::clean_tiny()
{
    // Right-hand sides are measured against their largest, the bounds
    // against the unit. Costs are the user's and stay: the scaling may
    // put a column's factor into its rows (a free column alone in them),
    // so its cost comes out 2^-60 of the others', and a free column along
    // whose ray that cost is all there is makes the problem unbounded.
    auto relative = [](std::vector<double>& v) {
        double largest = 0;
        for (double t : v)
            largest = std::max(largest, std::fabs(t));
        for (double& t : v)
            if (std::fabs(t) < tiny * largest)
                t = 0;
    };
    relative(b_);
    for (double& v : l_)
        if (std::fabs(v) < tiny * unit_)
            v = 0;
    for (double& v : u_)
        if (std::fabs(v) < tiny * unit_)
            v = 0;
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
    clean_tiny_entries();
    if (solve_by_parts())
        return;
    pivot_limit_ = m0_ < 500 ? 5 : m0_ < 1000 ? 10 : m0_ < 10000 ? 15 : 20;
    const std::vector<FoldedRow> folded = reductions ? fold_singleton_rows() : std::vector<FoldedRow>{};
    if (status == 2)
        return;
    // The problem as given, which every answer must meet; each solve
    // starts from it with its rounding noise cleaned.
    loaded_ = {cols_, b_, c_, l_, u_, range_lo_, range_hi_, kind_};
    took_near_copies_ = false;
    solve_loaded();
    // Taken back, near copies still leave some problems without an answer
    // (two rows that hold x1 at 0 leave the iterations no interior), where
    // the others' optimum, dropped near copies and all, meets every row to
    // the share an answer is held to: that answer serves, no other verdict.
    if ((status == 2 || status == 4) && took_near_copies_) {
        const int first = status;
        take_near_copies_ = false;
        solve_loaded();
        take_near_copies_ = true;
        if (status != 1)
            status = first;
    }
    if (status == 1)
        unfold_multipliers(folded);
    // The iterations also say "infeasible" where they stall: where the
    // data spans 1e308 (1e308 x1 + x2 <= 4 beside x1 - x2 <= 2, x >= 0)
    // they did so beside a point as plain as x = 0. A problem that the
    // point of the bounds nearest 0 meets is not said to have none. (The
    // iterations' last point is no witness: run out far enough, it meets
    // contradicting rows to a share of its terms.)
    if (status == 2) {
        std::vector<double> origin(n0_);
        for (int j = 0; j < n0_; ++j)
            origin[j] = std::clamp(0.0, loaded_.l[j], loaded_.u[j]);
        if (point_holds(origin))
            status = 4;
    }
}

// Rows of one entry are bounds of their column, and are taken as such
// before anything reads sizes off the rows: a row x_b <= 5e14 holding a
// far column inside its box set the units of every column as a
// right-hand side, and the rows of size 1 were lost to them (no answer);
// as a bound it is a far one like any other, left out of a first solve.
std::vector<LpSolver::FoldedRow> LpSolver::fold_singleton_rows()
{
    std::vector<int> entries(m_, 0), col_of(m_, -1), in_rows(n_, 0);
    for (int j = 0; j < n_; ++j)
        for (const LpEntry& e : cols_[j])
            if (e.value != 0) {
                ++entries[e.index];
                ++in_rows[j];
                col_of[e.index] = j;
            }
    std::vector<FoldedRow> folded;
    for (int i = 0; i < m_; ++i) {
        // A column keeps a row: one in none is solved in the units the
        // user gave it, as a column the rows say nothing of.
        if (entries[i] != 1 || in_rows[col_of[i]] < 2)
            continue;
        const int j = col_of[i];
        auto at = std::find_if(cols_[j].begin(), cols_[j].end(), [i](const LpEntry& e) { return e.index == i; });
        const double a = at->value;
        const int k = kind_[i];
        const double lo = k >= 10 ? range_lo_[k - 10] : k == -1 || k == 0 ? b_[i] : -lp_inf;
        const double hi = k >= 10 ? range_hi_[k - 10] : k == 1 || k == 0 ? b_[i] : lp_inf;
        // The limits as bounds of x: one that does not come out a finite
        // number below the bounds' infinity keeps its row.
        const double x_lo = a > 0 ? (lo > -lp_inf ? lo / a : -lp_inf) : (hi < lp_inf ? hi / a : -lp_inf);
        const double x_hi = a > 0 ? (hi < lp_inf ? hi / a : lp_inf) : (lo > -lp_inf ? lo / a : lp_inf);
        const bool finite_lo = x_lo == -lp_inf || std::fabs(x_lo) < lp_inf;
        const bool finite_hi = x_hi == lp_inf || std::fabs(x_hi) < lp_inf;
        if (!finite_lo || !finite_hi)
            continue;
        folded.push_back({i, j, a, l_[j], u_[j], x_lo, x_hi});
        l_[j] = std::max(l_[j], x_lo);
        u_[j] = std::min(u_[j], x_hi);
        if (l_[j] > u_[j]) {
            if (l_[j] - u_[j] > 1e-14 * std::max(1.0, std::fabs(u_[j]))) {
                status = 2;
                return {};
            }
            l_[j] = u_[j];
        }
        // Left as 0 <= 0, a row nothing reads a size from.
        cols_[j].erase(at);
        --in_rows[j];
        kind_[i] = 1;
        b_[i] = 0;
    }
    return folded;
}

void LpSolver::unfold_multipliers(const std::vector<FoldedRow>& folded)
{
    // Newest first: of rows folded onto one column, the last to tighten a
    // bound is the one the answer meets, and its multiplier leaves the
    // column stationary for the rest.
    std::vector<double> taken(n0_, 0.0);
    for (auto r = folded.rbegin(); r != folded.rend(); ++r) {
        const int j = r->col;
        double g = loaded_.c[j] + taken[j];
        for (const LpEntry& e : loaded_.cols[j])
            g += e.value * y_out_[e.index];
        const bool on_lo = g > 0 && r->x_lo > r->l;
        const bool on_hi = g < 0 && r->x_hi < r->u;
        y_out_[r->row] = on_lo || on_hi ? -g / r->a : 0.0;
        taken[j] += r->a * y_out_[r->row];
    }
}

void LpSolver::solve_loaded()
{
    near_.clear();
    near_is_answer_ = false;

    // Every solve works on the problem scaled: rows and columns by the
    // factors of the iterations' own scaling (entries near 1), and the
    // right-hand sides and costs brought near the size the iterations'
    // constants assume (solve_once). The tolerances of presolve and the
    // constants of the iterations then mean the same, whatever powers of
    // ten the user's rows, columns and objective came in.
    {
        LpIterate probe;
        take_matrix(probe, m0_, cols_);
        probe.b.resize(m0_);
        for (int i = 0; i < m0_; ++i) {
            const int k = kind_[i];
            probe.b[i] = k >= 10 ? std::max(std::fabs(range_lo_[k - 10]), std::fabs(range_hi_[k - 10]))
                                 : std::fabs(b_[i]);
        }
        probe.c = c_;
        probe.u.assign(n0_, lp_inf);
        probe.bounded.assign(n0_, 0);
        scale(probe, row_scale_, col_scale_);
        rhs_size_ = cost_size_ = 0;
        for (double v : probe.b)
            rhs_size_ = std::max(rhs_size_, v);
        // A column in no row says nothing of the units the others are
        // solved in.
        for (int j = 0; j < n0_ && rhs_size_ == 0; ++j)
            for (double v : {l_[j], u_[j]})
                if (std::fabs(v) < lp_inf && in_some_row(cols_[j]))
                    rhs_size_ = std::max(rhs_size_, std::fabs(v) * col_scale_[j]);
        for (int j = 0; j < n0_; ++j)
            if (in_some_row(cols_[j]))
                cost_size_ = std::max(cost_size_, std::fabs(probe.c[j]));
        if (!(rhs_size_ > 0))
            rhs_size_ = 1;
    }

    // A finite bound far beyond the size the data gives the column costs
    // the iterations their accuracy: a shift by -1e12 leaves x four
    // digits, a slack of 1e19 beside an x of 4 makes the gap unreachable.
    // The size is read off the scaling: scaled, a column's value is near
    // the largest right-hand side, which its factor turns back into its
    // own units (a bound that keeps it away from 0 counts too). Bounds
    // more than a thousand times beyond it are left out first. The
    // problem without them holds more points: its optimum, when it keeps
    // within them, is the optimum, and its infeasibility is the problem's.
    // An answer that crosses one of them takes those bounds back; any
    // other verdict is left to the problem as given.
    size_.assign(n0_, 0.0);
    for (int j = 0; j < n0_; ++j)
        size_[j] = std::max({rhs_size_ / col_scale_[j], l_[j] > 0 ? l_[j] : 0.0, u_[j] < 0 ? -u_[j] : 0.0});
    std::vector<double> l(l_), u(u_);
    std::vector<std::pair<int, int>> left_out;  // column, 1 upper, -1 lower
    for (int j = 0; j < n0_; ++j) {
        if (l[j] > -lp_inf && l[j] < -1e3 * size_[j]) {
            l[j] = -lp_inf;
            left_out.push_back({j, -1});
        }
        if (u[j] < lp_inf && u[j] > 1e3 * size_[j]) {
            u[j] = lp_inf;
            left_out.push_back({j, 1});
        }
    }
    const bool relaxed = !left_out.empty();
    // The bounds left out that came back because an answer or a ray ran
    // into them (column, 1 upper, -1 lower): the optimum is likely to lie
    // on them, and the finish below measures their columns from them.
    std::vector<std::pair<int, int>> returned;
    for (int round = 0; relaxed && round < 8; ++round) {
        solve_once(l, u, false);
        if (status == 1) {
            // Only a bound left out can be crossed: one in play that the
            // answer misses by rounding is the check's to judge, and
            // taking it back again would repeat the same solve.
            bool crossed = false;
            for (int j = 0; j < n0_; ++j) {
                if (x_out_[j] < loaded_.l[j] && l[j] != loaded_.l[j]) {
                    l[j] = loaded_.l[j];
                    returned.push_back({j, -1});
                    crossed = true;
                }
                if (x_out_[j] > loaded_.u[j] && u[j] != loaded_.u[j]) {
                    u[j] = loaded_.u[j];
                    returned.push_back({j, 1});
                    crossed = true;
                }
            }
            if (crossed)
                continue;
            if (answer_holds())
                return;
        } else if (status == 3) {
            // Presolve found a column pulled out to a bound left out: the
            // bound comes back. Pulled out where no bound was left out,
            // the column goes out from any point of the problem as given
            // as well: it is unbounded when it has a point at all.
            bool more = false;
            for (auto [j, way] : pulled_out_) {
                if (way > 0 && u[j] != loaded_.u[j]) {
                    u[j] = loaded_.u[j];
                    returned.push_back({j, 1});
                    more = true;
                }
                if (way < 0 && l[j] != loaded_.l[j]) {
                    l[j] = loaded_.l[j];
                    returned.push_back({j, -1});
                    more = true;
                }
            }
            if (more)
                continue;
            // Other bounds still left out may be what held the column
            // back: presolve substitutes columns into one another (a free
            // column of a pair in an equality row stands for its partner,
            // whose far bound is out), and the ray it found runs through
            // them. Then the problem as given has the last word.
            bool still_out = false;
            for (int j = 0; j < n0_ && !still_out; ++j)
                still_out = l[j] != loaded_.l[j] || u[j] != loaded_.u[j];
            if (still_out)
                break;
            solve_once(loaded_.l, loaded_.u, true);
            status = status == 1 ? 3 : status == 2 ? 2 : 4;
            return;
        } else if (status == 2) {
            // Infeasible, or unbounded without the bounds left out: with
            // no costs only the first remains.
            const std::vector<double> ray = std::move(last_x_);
            solve_once(l, u, true);
            // Without any far bound the relaxed problem is solved in the
            // units of the data, and no point means none for the problem
            // either. With far bounds back in play the units are theirs
            // (bounds of 1e12 beside rows of 1), and the iterations also
            // stall on problems that have points: the problem as given
            // has the last word.
            if (status == 2 && returned.empty())
                return;
            if (status == 2)
                break;
            // Unbounded without the bounds left out: the iterations went
            // out along a ray, and the bounds it crosses come back. The
            // others stay out: put back where the optimum does not meet
            // them, a far lower bound shifts the rows by far more than
            // their right-hand sides, and the answer loses its digits.
            // The ray's columns have grown far beyond the others, which
            // may well be out past a bound of theirs too. Iterations that
            // stop early may not have carried them past a bound of 1e19
            // yet: then the bounds left out that lie along the ray come
            // back, crossed or not, rather than none.
            // How far a column has grown is judged against its own size:
            // in the units the user gave, columns scaled by 1e-4 and 1e4
            // along one ray differ by 1e8.
            double largest = 0;
            for (std::size_t j = 0; j < ray.size(); ++j)
                largest = std::max(largest, std::fabs(ray[j]) / size_[j]);
            bool more = false;
            for (int along = 0; along < 2 && !more; ++along)
                for (std::size_t j = 0; j < ray.size(); ++j) {
                    if (!(std::fabs(ray[j]) / size_[j] >= 1e-6 * largest))
                        continue;
                    if (ray[j] > (along ? 0.0 : loaded_.u[j]) && u[j] != loaded_.u[j]) {
                        u[j] = loaded_.u[j];
                        returned.push_back({j, 1});
                        more = true;
                    }
                    if (ray[j] < (along ? 0.0 : loaded_.l[j]) && l[j] != loaded_.l[j]) {
                        l[j] = loaded_.l[j];
                        returned.push_back({j, -1});
                        more = true;
                    }
                }
            if (more)
                continue;
        }
        break;
    }
    solve_once(loaded_.l, loaded_.u, false);
    // An answer is only as good as its check: iterations that end at a
    // point outside the rows, or short of the optimum, have not found it,
    // and say so as they do when their count runs out.
    if (status == 1 && !answer_holds()) {
        status = polish() ? 1 : 4;
        if (status == 4) {
            near_ = x_out_;
            near_is_answer_ = true;
        }
    } else if (status == 4) {
        near_ = std::move(last_x_);
    }
    // "Infeasible" is said of a problem only when it has no point at all:
    // with its costs the iterations also stall when they run out along a
    // ray, or lose their accuracy, and without them only infeasibility
    // stops them.
    // A problem that has a point, and along whose ray the iterations ran
    // out, is unbounded.
    // Where the point the iterations ran out to has lost its rows (free
    // columns grow a hundred-millionfold a step along a ray, and the
    // normal equations lose the digits of the others), the ray is sought
    // as a problem of its own.
    // Where it has a point and no ray, the iterations stalled: their last
    // point is where a finish starts.
    if (status == 2) {
        std::vector<double> ray = std::move(last_x_);
        solve_once(loaded_.l, loaded_.u, true);
        status = status == 1 ? (recedes(ray) || has_ray() ? 3 : 4) : 2;
        if (status == 4)
            near_ = std::move(ray);
    }
    // With those bounds in play the columns that sit on them are 1e19
    // beside others of 1: the rows of ordinary size that share columns
    // with them are lost to cancellation in the normal equations, and the
    // iterations end without an answer. Measured from their bounds, those
    // columns are of ordinary size too, and so is what is left of the
    // rows.
    // Where none came back (presolve found a ray through a free column
    // whose partner's far bound was out, and the problem as given had the
    // last word), the bounds left out are where the optimum is likely to
    // lie: free pairs pushed to a bound of 1e6 ended without an answer.
    const std::vector<std::pair<int, int>>& far = returned.empty() ? left_out : returned;
    if (status == 4 && may_finish_ && !far.empty() && finish_on_bounds(far))
        status = 1;
    // Where a column sits inside its box far from 0 (balancing one on a
    // bound of 1e9), no bound serves to measure it from, and the others
    // keep a share of its size as their error: the iterations stall with
    // the rows of size 1 missed. Measured from the value it was left at,
    // it is small too; the point a finish leaves is the next one's start.
    for (int round = 0; round < 2 && status == 4 && may_finish_; ++round)
        if (finish_from_point(std::vector<double>(near_)))
            status = 1;
    // An optimum far out where nothing bounds the columns (rows nearly
    // opposite, x1 - x2 <= 1 beside -x1 + (1 + 1e-6) x2 <= 1, hold it at
    // 2e6) leaves the iterations nothing to measure the distance by, and
    // they stall: boxes of growing size give them one.
    if (status == 4 && may_finish_ && finish_in_box())
        status = 1;
    // Iterations that run out along a ray also stall where far bounds in
    // play cost the rows of size 1 their digits (free pairs nearly
    // parallel), rather than say so. A ray of the problem as given, and a
    // point of it, settle the verdict.
    if (status == 4 && may_finish_ && has_ray()) {
        std::vector<double> kept = near_;
        if (has_point()) {
            status = 3;
        } else {
            status = 4;
            near_ = std::move(kept);
        }
    }
}

namespace {

// The larger magnitude of a row's finite limits (0 for none).
double size_of_limits(double lo, double hi)
{
    return std::max(lo > -lp_inf ? std::fabs(lo) : 0.0, hi < lp_inf ? std::fabs(hi) : 0.0);
}

// A sum that keeps the digits its large terms cancel (Neumaier's
// compensation): a right-hand side of 1 beside terms of 1e19 that cancel
// comes out 1, where a plain sum leaves 0 or 2048.
struct CompensatedSum {
    double sum = 0, lost = 0;
    void add(double v)
    {
        const double t = sum + v;
        lost += std::fabs(sum) >= std::fabs(v) ? (sum - t) + v : (v - t) + sum;
        sum = t;
    }
    // a b with the rounding of its product kept; gives the rounded
    // product.
    double add_product(double a, double b)
    {
        const double p = a * b;
        add(p);
        add(std::fma(a, b, -p));
        return p;
    }
    double value() const { return sum + lost; }
};

} // namespace

bool LpSolver::finish_on_bounds(const std::vector<std::pair<int, int>>& at)
{
    const int n = n0_;
    // Each column measured from the one bound that came back for it; one
    // whose two bounds came back is left as it is.
    std::vector<int> side(n, 0);
    for (auto [j, way] : at)
        side[j] = side[j] == 0 || side[j] == way ? way : 2;
    std::vector<double> origin(n, 0.0);
    for (int j = 0; j < n; ++j) {
        const double v = side[j] == 1 ? loaded_.u[j] : side[j] == -1 ? loaded_.l[j] : lp_inf;
        if (std::fabs(v) < lp_inf)
            origin[j] = v;
        else
            side[j] = 0;
    }
    return solve_measured_from(origin, side);
}

bool LpSolver::finish_from_point(const std::vector<double>& x)
{
    const int n = n0_;
    if (static_cast<int>(x.size()) != n ||
        !std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); }))
        return false;
    // The columns whose values lie far beyond the size their data gives
    // them, and near the largest such: within that size of a bound they
    // are measured from it, inside their box from the value they have.
    // Columns a stalled point left at a middling size are its error, not
    // the optimum's: measured from there, the rows' right-hand sides
    // would take that error on, and the units of the solve with it.
    double largest = 0;
    for (int j = 0; j < n; ++j)
        largest = std::max(largest, std::fabs(x[j]) / size_[j]);
    std::vector<int> side(n, 0);
    std::vector<double> origin(n, 0.0);
    for (int j = 0; j < n; ++j) {
        const double v = x[j];
        if (!(std::fabs(v) > 1e3 * size_[j] && std::fabs(v) >= 1e-2 * largest * size_[j]))
            continue;
        for (int way : {-1, 1}) {
            const double bound = way < 0 ? loaded_.l[j] : loaded_.u[j];
            if (side[j] == 0 && std::fabs(bound) < lp_inf && std::fabs(v - bound) <= 1e3 * size_[j]) {
                side[j] = way;
                origin[j] = bound;
            }
        }
        if (side[j] == 0) {
            side[j] = 3;
            origin[j] = std::clamp(v, loaded_.l[j], loaded_.u[j]);
        }
    }
    return std::count(side.begin(), side.end(), 3) > 0 && solve_measured_from(origin, side);
}

bool LpSolver::solve_measured_from(const std::vector<double>& origin, const std::vector<int>& side)
{
    const int m = m0_, n = n0_;
    if (std::count(side.begin(), side.end(), 0) == n)
        return false;
    // The rows' limits less the terms of the columns measured from their
    // origins, each term taken with the rounding of its product and summed
    // so that what the large terms cancel to keeps its digits.
    std::vector<CompensatedSum> terms(m);
    for (int j = 0; j < n; ++j)
        if (side[j] != 0)
            for (const LpEntry& e : loaded_.cols[j])
                terms[e.index].add_product(e.value, origin[j]);
    auto less_terms = [&](double limit, int i) {
        if (std::fabs(limit) >= lp_inf)
            return limit;
        CompensatedSum r;
        r.add(limit);
        r.add(-terms[i].sum);
        r.add(-terms[i].lost);
        return r.value();
    };
    // The same problem in t: x_j = origin_j - t_j from an upper bound,
    // origin_j + t_j from a lower one, 0 <= t_j <= u_j - l_j; from an
    // inner value x_j = origin_j + t_j with l_j - origin_j <= t_j <=
    // u_j - origin_j.
    LpSolver rest;
    rest.reductions = reductions;
    rest.may_finish_ = false;
    rest.m_ = rest.m0_ = m;
    rest.n_ = rest.n0_ = n;
    rest.cols_ = loaded_.cols;
    rest.b_.resize(m);
    rest.kind_ = loaded_.kind;
    rest.range_lo_ = loaded_.range_lo;
    rest.range_hi_ = loaded_.range_hi;
    for (int i = 0; i < m; ++i) {
        const int k = loaded_.kind[i];
        rest.b_[i] = less_terms(loaded_.b[i], i);
        if (k >= 10) {
            rest.range_lo_[k - 10] = less_terms(loaded_.range_lo[k - 10], i);
            rest.range_hi_[k - 10] = less_terms(loaded_.range_hi[k - 10], i);
        }
    }
    rest.c_ = loaded_.c;
    rest.l_ = loaded_.l;
    rest.u_ = loaded_.u;
    for (int j = 0; j < n; ++j) {
        if (side[j] == 0)
            continue;
        if (side[j] == 3) {
            for (double* v : {&rest.l_[j], &rest.u_[j]})
                if (std::fabs(*v) < lp_inf)
                    *v -= origin[j];
            continue;
        }
        const double s = -side[j];
        for (LpEntry& e : rest.cols_[j])
            e.value *= s;
        rest.c_[j] *= s;
        rest.l_[j] = 0;
        const double width = loaded_.u[j] - loaded_.l[j];
        rest.u_[j] = std::fabs(loaded_.u[j]) < lp_inf && std::fabs(loaded_.l[j]) < lp_inf ? std::min(width, lp_inf)
                                                                                           : lp_inf;
    }
    rest.run();
    auto taken_back = [&](int j, double t) {
        return side[j] == 0 ? t : side[j] == 3 ? origin[j] + t : origin[j] - side[j] * t;
    };
    // An answer of the iterations that missed the check of the rows in
    // t may still meet the whole rows, and the whole problem's polish has
    // columns of every size to move where the rows in t have only the
    // small ones: it is judged here as any other.
    const bool answered =
        rest.status == 1 || (rest.status == 4 && rest.near_is_answer_ && static_cast<int>(rest.near_.size()) == n);
    if (!answered) {
        // Its last point, taken back, is where a next finish starts, as
        // is an answer that misses its check below.
        if (rest.status == 4 && static_cast<int>(rest.near_.size()) == n) {
            near_.resize(n);
            for (int j = 0; j < n; ++j)
                near_[j] = taken_back(j, rest.near_[j]);
        }
        return false;
    }
    x_out_.assign(n, 0.0);
    CompensatedSum objective, origin_cost;
    for (int j = 0; j < n; ++j) {
        const double t = rest.status == 1 ? rest.x()[j] : rest.near_[j];
        x_out_[j] = taken_back(j, t);
        objective.add(loaded_.c[j] * x_out_[j]);
        if (side[j] != 0)
            origin_cost.add_product(loaded_.c[j], origin[j]);
    }
    y_out_ = rest.y();
    rows_kept_ = rest.rows_kept();
    objective_ = objective.value();
    dual_objective_ = rest.dual_objective_ + origin_cost.value();
    iter_ = rest.iterations();
    if (answer_holds() || polish())
        return true;
    near_ = x_out_;
    return false;
}

bool LpSolver::polish()
{
    const int m = m0_, n = n0_;
    if (static_cast<int>(x_out_.size()) != n ||
        !std::all_of(x_out_.begin(), x_out_.end(), [](double v) { return std::isfinite(v); }))
        return false;
    std::vector<double> x = x_out_;
    std::vector<double> lo(m), hi(m);
    for (int i = 0; i < m; ++i)
        std::tie(lo[i], hi[i]) = limits_of(i);
    // Each column within rounding of a bound is put on it and stays.
    std::vector<char> held(n, 0);
    for (int j = 0; j < n; ++j)
        for (double bound : {loaded_.l[j], loaded_.u[j]})
            if (std::fabs(bound) < lp_inf &&
                std::fabs(x[j] - bound) <= 1e-9 * std::max(std::fabs(bound), size_[j])) {
                x[j] = bound;
                held[j] = 1;
            }
    std::vector<CompensatedSum> ax(m);
    std::vector<double> size(m), target(m);
    std::vector<int> row_at(m), col_at(n);
    for (int round = 0; round < 3; ++round) {
        std::fill(ax.begin(), ax.end(), CompensatedSum{});
        std::fill(size.begin(), size.end(), 0.0);
        for (int j = 0; j < n; ++j)
            for (const LpEntry& e : loaded_.cols[j])
                size[e.index] += std::fabs(ax[e.index].add_product(e.value, x[j]));
        // The rows met with equality or missed, to the share of their
        // size the check allows, are held at their limit.
        int rows = 0;
        for (int i = 0; i < m; ++i) {
            row_at[i] = -1;
            const double v = ax[i].value();
            const double scale = size[i] + size_of_limits(lo[i], hi[i]);
            const double near_hi = hi[i] < lp_inf ? v - hi[i] : -lp_inf;
            const double near_lo = lo[i] > -lp_inf ? lo[i] - v : -lp_inf;
            if (!(scale > 0) || std::max(near_hi, near_lo) < -answer_tolerance * scale)
                continue;
            target[i] = near_hi >= near_lo ? hi[i] - v : lo[i] - v;
            size[i] = scale;
            row_at[i] = rows++;
        }
        int cols = 0;
        for (int j = 0; j < n; ++j) {
            col_at[j] = -1;
            if (held[j])
                continue;
            for (const LpEntry& e : loaded_.cols[j])
                if (e.value != 0 && row_at[e.index] >= 0) {
                    col_at[j] = cols++;
                    break;
                }
        }
        if (rows == 0 || cols == 0 || static_cast<double>(rows) * cols > 1e6)
            break;
        // The least change of the free columns, each in units of its
        // size, that puts those rows on their limits, each row in units
        // of its own size: from the singular value decomposition, so that
        // repeated rows and columns that no row tells apart are taken
        // in stride.
        std::vector<double> a(static_cast<std::size_t>(rows) * cols, 0.0), rhs(rows), unit(cols);
        for (int j = 0; j < n; ++j) {
            if (col_at[j] < 0)
                continue;
            unit[col_at[j]] = std::max(std::fabs(x[j]), size_[j]);
            for (const LpEntry& e : loaded_.cols[j])
                if (row_at[e.index] >= 0)
                    a[row_at[e.index] + static_cast<std::size_t>(col_at[j]) * rows] +=
                        e.value * unit[col_at[j]] / size[e.index];
        }
        for (int i = 0; i < m; ++i)
            if (row_at[i] >= 0)
                rhs[row_at[i]] = target[i] / size[i];
        const int k = std::min(rows, cols);
        std::vector<double> sv(k), us(static_cast<std::size_t>(rows) * k), vt(static_cast<std::size_t>(k) * cols);
        const char job = 'S';
        int lwork = -1, info = 0;
        double query = 0;
        dgesvd_(&job, &job, &rows, &cols, a.data(), &rows, sv.data(), us.data(), &rows, vt.data(), &k, &query,
                &lwork, &info, 1, 1);
        if (info != 0)
            break;
        lwork = std::max(1, static_cast<int>(query));
        std::vector<double> work(lwork);
        dgesvd_(&job, &job, &rows, &cols, a.data(), &rows, sv.data(), us.data(), &rows, vt.data(), &k, work.data(),
                &lwork, &info, 1, 1);
        if (info != 0 || !(sv[0] > 0))
            break;
        std::vector<double> t(k, 0.0);
        for (int q = 0; q < k; ++q) {
            if (!(sv[q] > 1e-12 * sv[0]))
                continue;
            double dot = 0;
            for (int r = 0; r < rows; ++r)
                dot += us[r + static_cast<std::size_t>(q) * rows] * rhs[r];
            t[q] = dot / sv[q];
        }
        for (int j = 0; j < n; ++j) {
            const int c = col_at[j];
            if (c < 0)
                continue;
            double e = 0;
            for (int q = 0; q < k; ++q)
                e += vt[q + static_cast<std::size_t>(c) * k] * t[q];
            x[j] += e * unit[c];
            // A column pushed past a bound stays on it.
            if (x[j] < loaded_.l[j] || x[j] > loaded_.u[j]) {
                x[j] = std::clamp(x[j], loaded_.l[j], loaded_.u[j]);
                held[j] = 1;
            }
        }
    }
    CompensatedSum objective;
    for (int j = 0; j < n; ++j)
        objective.add(loaded_.c[j] * x[j]);
    const std::vector<double> before = std::move(x_out_);
    const double objective_before = objective_;
    x_out_ = std::move(x);
    objective_ = objective.value();
    if (answer_holds())
        return true;
    x_out_ = before;
    objective_ = objective_before;
    return false;
}

bool LpSolver::solve_by_parts()
{
    // Rows joined by a column belong to one part; a row or column without
    // entries joins the first part.
    const int m = m_, n = n_;
    std::vector<int> root(m);
    for (int i = 0; i < m; ++i)
        root[i] = i;
    auto find = [&](int i) {
        while (root[i] != i)
            i = root[i] = root[root[i]];
        return i;
    };
    for (const auto& col : cols_) {
        int first = -1;
        for (const LpEntry& e : col) {
            if (e.value == 0)
                continue;
            if (first < 0) {
                first = find(e.index);
            } else {
                const int other = find(e.index);
                if (other != first)
                    root[std::max(other, first)] = std::min(other, first);
                first = std::min(other, first);
            }
        }
    }
    std::vector<char> has_entry(m, 0);
    for (const auto& col : cols_)
        for (const LpEntry& e : col)
            if (e.value != 0)
                has_entry[e.index] = 1;
    std::vector<int> part_of_row(m, -1), part_of_root(m, -1);
    int parts = 0;
    for (int i = 0; i < m; ++i)
        if (has_entry[i]) {
            const int r = find(i);
            if (part_of_root[r] < 0)
                part_of_root[r] = parts++;
            part_of_row[i] = part_of_root[r];
        }
    if (parts < 2)
        return false;
    for (int i = 0; i < m; ++i)
        if (part_of_row[i] < 0)
            part_of_row[i] = 0;
    std::vector<int> part_of_col(n, 0);
    for (int j = 0; j < n; ++j)
        for (const LpEntry& e : cols_[j])
            if (e.value != 0) {
                part_of_col[j] = part_of_row[e.index];
                break;
            }
    // Each part is solved as a problem of its own, in its own units: the
    // scaling cannot tell parts whose right-hand sides are 1e19 and 1e-6
    // apart by their entries, and in the units of the first the rows of
    // the second are lost below every floor and tolerance.
    std::vector<int> at(m), at_col(n);
    std::vector<int> rows_in(parts, 0), cols_in(parts, 0);
    for (int i = 0; i < m; ++i)
        at[i] = rows_in[part_of_row[i]]++;
    for (int j = 0; j < n; ++j)
        at_col[j] = cols_in[part_of_col[j]]++;
    x_out_.assign(n, 0.0);
    y_out_.assign(m, 0.0);
    rows_kept_.assign(m, 0);
    objective_ = dual_objective_ = 0;
    iter_ = 0;
    int verdict = 1;
    for (int k = 0; k < parts; ++k) {
        LpSolver part;
        part.reductions = reductions;
        part.may_finish_ = may_finish_;
        part.m_ = part.m0_ = rows_in[k];
        part.n_ = part.n0_ = cols_in[k];
        part.cols_.resize(cols_in[k]);
        part.b_.resize(rows_in[k]);
        part.kind_.resize(rows_in[k]);
        for (int i = 0; i < m; ++i)
            if (part_of_row[i] == k) {
                part.b_[at[i]] = b_[i];
                part.kind_[at[i]] = kind_[i];
                if (kind_[i] >= 10) {
                    part.kind_[at[i]] = 10 + static_cast<int>(part.range_lo_.size());
                    part.range_lo_.push_back(range_lo_[kind_[i] - 10]);
                    part.range_hi_.push_back(range_hi_[kind_[i] - 10]);
                }
            }
        for (int j = 0; j < n; ++j)
            if (part_of_col[j] == k) {
                for (const LpEntry& e : cols_[j])
                    part.cols_[at_col[j]].push_back({at[e.index], e.value});
                part.c_.push_back(c_[j]);
                part.l_.push_back(l_[j]);
                part.u_.push_back(u_[j]);
            }
        part.run();
        const int st = part.status;
        // No point in one part is none in the whole; a part left open
        // leaves the whole open; a ray of one part with points in the
        // others is a ray of the whole.
        if (st == 2 || verdict == 2)
            verdict = 2;
        else if (st != 1 && st != 3)
            verdict = verdict == 1 || verdict == 3 ? st : verdict;
        else if (st == 3 && verdict == 1)
            verdict = 3;
        if (st != 1)
            continue;
        for (int j = 0; j < n; ++j)
            if (part_of_col[j] == k)
                x_out_[j] = part.x()[at_col[j]];
        for (int i = 0; i < m; ++i)
            if (part_of_row[i] == k) {
                y_out_[i] = part.y()[at[i]];
                rows_kept_[i] = part.rows_kept()[at[i]];
            }
        objective_ += part.objective();
        dual_objective_ += part.dual_objective_;
        iter_ = std::max(iter_, part.iterations());
    }
    status = verdict;
    return true;
}

bool LpSolver::has_ray() const
{
    // The directions of the problem: each row kept at 0 on the sides it
    // limits, each column kept on the side of 0 its finite bounds allow,
    // and the cost lowered by 1. Without costs of its own, its solve
    // never asks for a ray again.
    const int n = n0_, m = m0_;
    std::vector<double> rows, cols, vals, b, l(n), u(n);
    std::vector<int> kinds;
    std::vector<int> row_of(m, -1);
    for (int i = 0; i < m; ++i) {
        const int k = loaded_.kind[i];
        const bool below = k == 1 || k == 0 || (k >= 10 && loaded_.range_hi[k - 10] < lp_inf);
        const bool above = k == -1 || k == 0 || (k >= 10 && loaded_.range_lo[k - 10] > -lp_inf);
        if (!below && !above)
            continue;
        row_of[i] = static_cast<int>(kinds.size());
        kinds.push_back(below && above ? 0 : below ? 1 : -1);
        b.push_back(0);
    }
    const int r = static_cast<int>(kinds.size());
    // A direction's columns may be scaled at will: each is taken over its
    // largest entry, so that columns the user scaled by 2^-200 beside
    // others of ordinary size meet its solve alike.
    std::vector<double> unit_of(n, 1.0);
    double cost_peak = 0;
    for (int j = 0; j < n; ++j) {
        double largest = std::fabs(loaded_.c[j]);
        for (const LpEntry& e : loaded_.cols[j])
            if (row_of[e.index] >= 0)
                largest = std::max(largest, std::fabs(e.value));
        if (largest > 0 && std::isfinite(1 / largest))
            unit_of[j] = 1 / largest;
        for (const LpEntry& e : loaded_.cols[j])
            if (row_of[e.index] >= 0) {
                rows.push_back(row_of[e.index] + 1);
                cols.push_back(j + 1);
                vals.push_back(e.value * unit_of[j]);
            }
        if (loaded_.c[j] != 0) {
            rows.push_back(r + 1);
            cols.push_back(j + 1);
            vals.push_back(loaded_.c[j] * unit_of[j]);
            cost_peak = std::max(cost_peak, std::fabs(vals.back()));
        }
        l[j] = loaded_.l[j] > -lp_inf ? 0.0 : -lp_inf;
        u[j] = loaded_.u[j] < lp_inf ? 0.0 : lp_inf;
    }
    // The cost row in units of its largest entry: costs of 1e-8 beside
    // rows of 1 asked for a direction of 1e8, and its solve found none.
    if (!(cost_peak > 0))
        return false;
    for (std::size_t e = 0; e < vals.size(); ++e)
        if (rows[e] == r + 1)
            vals[e] /= cost_peak;
    kinds.push_back(0);
    b.push_back(-1);
    const int nnz = static_cast<int>(vals.size());
    std::vector<double> triplets(rows);
    triplets.insert(triplets.end(), cols.begin(), cols.end());
    triplets.insert(triplets.end(), vals.begin(), vals.end());
    const std::vector<double> no_costs(n, 0.0);
    LpSolver directions;
    directions.load_triplets(nnz, r + 1, n, r + 1, 0, 0, triplets.data(), b.data(), kinds.data(), no_costs.data(),
                             l.data(), u.data());
    if (directions.status != 1)
        return false;
    // A column held on one side of 0 may come out past it by rounding.
    std::vector<double> d = directions.x();
    for (int j = 0; j < n; ++j)
        d[j] = std::clamp(d[j], l[j], u[j]) * unit_of[j];
    return along_ray(d);
}

std::vector<char> LpSolver::box_of_size(double k, std::vector<double>& l, std::vector<double>& u) const
{
    l = loaded_.l;
    u = loaded_.u;
    std::vector<char> added(n0_, 0);
    for (int j = 0; j < n0_; ++j) {
        const double lo = std::max(l[j], -k * size_[j]), hi = std::min(u[j], k * size_[j]);
        if (lo < hi) {
            added[j] = (lo != l[j] ? 1 : 0) | (hi != u[j] ? 2 : 0);
            l[j] = lo;
            u[j] = hi;
        }
    }
    return added;
}

bool LpSolver::finish_in_box()
{
    const std::vector<double> kept = near_;
    std::vector<double> l, u;
    for (double k : {1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9}) {
        const std::vector<char> added = box_of_size(k, l, u);
        // A box that adds no side is the problem as given, already solved.
        if (std::none_of(added.begin(), added.end(), [](char a) { return a != 0; }))
            break;
        solve_once(l, u, false);
        if (status != 1)
            continue;
        // An optimum in the box away from every side the box added is one
        // of the problem as given: an LP's optimum is global.
        bool on_box = false;
        for (int j = 0; j < n0_; ++j) {
            const double room = 1e-3 * k * size_[j];
            on_box = on_box || ((added[j] & 1) && x_out_[j] < l[j] + room) ||
                     ((added[j] & 2) && x_out_[j] > u[j] - room);
        }
        if (!on_box && answer_holds())
            return true;
    }
    status = 4;
    near_ = kept;
    return false;
}

bool LpSolver::has_point()
{
    // Sought first in the box of the columns' own sizes: a point there is
    // a point of the problem, and the solve keeps the units of the rows,
    // where bounds of 1e12 in play left rows of size 1 missed.
    std::vector<double> l, u;
    const std::vector<char> added = box_of_size(1e3, l, u);
    if (std::any_of(added.begin(), added.end(), [](char a) { return a != 0; })) {
        solve_once(l, u, true);
        if (status == 1 && point_holds(x_out_))
            return true;
    }
    solve_once(loaded_.l, loaded_.u, true);
    return status == 1 && point_holds(x_out_);
}

bool LpSolver::recedes(const std::vector<double>& ray) const
{
    const int n = n0_;
    if (static_cast<int>(ray.size()) != n)
        return false;
    // The columns the ray carries, each against its own size; the others
    // are the point it started from.
    double largest = 0;
    for (int j = 0; j < n; ++j)
        largest = std::max(largest, std::fabs(ray[j]) / size_[j]);
    if (!(largest >= 1e6) || !std::isfinite(largest))
        return false;
    // The direction keeps the ray's proportions: the sizes only choose
    // which columns it carries (rescaled one by one, its rows no longer
    // balance).
    double peak = 0;
    for (int j = 0; j < n; ++j)
        peak = std::max(peak, std::fabs(ray[j]));
    std::vector<double> d(n, 0.0);
    for (int j = 0; j < n; ++j)
        if (std::fabs(ray[j]) / size_[j] >= 1e-6 * largest)
            d[j] = ray[j] / peak;
    return along_ray(d);
}

bool LpSolver::along_ray(const std::vector<double>& d) const
{
    const int n = n0_, m = m0_;
    std::vector<double> ad(m, 0.0), size(m, 0.0);
    double cd = 0, cs = 0;
    for (int j = 0; j < n; ++j) {
        if (d[j] == 0)
            continue;
        if ((d[j] > 0 && loaded_.u[j] < lp_inf) || (d[j] < 0 && loaded_.l[j] > -lp_inf))
            return false;
        for (const LpEntry& e : loaded_.cols[j]) {
            ad[e.index] += e.value * d[j];
            size[e.index] += std::fabs(e.value * d[j]);
        }
        cd += loaded_.c[j] * d[j];
        cs += std::fabs(loaded_.c[j] * d[j]);
    }
    for (int i = 0; i < m; ++i) {
        const int k = loaded_.kind[i];
        const double slack = answer_tolerance * size[i];
        if ((k != -1 && ad[i] > slack) || (k != 1 && ad[i] < -slack))
            return false;
    }
    return cd < -answer_tolerance * cs;
}

void LpSolver::solve_once(const std::vector<double>& l, const std::vector<double>& u, bool zero_cost)
{
    status = 0;
    m_ = m0_;
    n_ = n0_;
    const std::vector<double>&r = row_scale_, &q = col_scale_;
    // The right-hand sides and costs keep their size when it lies within
    // [1e-3, 1e3] of the units the iterations' constants assume (a start
    // at 100, a gap below 1, floors of 1e-14, a barrier above 1), and are
    // brought to 1 otherwise: brought only to the window's nearer end,
    // costs of 1e8 stood at 1e3 beside right-hand sides of 1, and problems
    // whose costs push free pairs out to a far bound ended without an
    // answer that they reached at costs of 1. The finite bounds in play
    // are brought to 1e6 at most: an optimum on a bound of 1e12 beside a b
    // of 1 left at its size starts the iterations so far from their
    // balance that no step gets anywhere.
    auto within = [](double size) { return size < 1e-3 || size > 1e3 ? size : 1.0; };
    beta_ = within(rhs_size_);
    gamma_ = cost_size_ > 0 ? within(cost_size_) : 1.0;
    // Nor do the bounds of a column in no row (run).
    const double beta_rows = beta_;
    for (int j = 0; j < n_; ++j)
        for (double v : {l[j], u[j]})
            if (std::fabs(v) < lp_inf && in_some_row(loaded_.cols[j]))
                beta_ = std::max(beta_, std::fabs(v) * q[j] / 1e6);
    unit_ = beta_rows / beta_;
    // A column in no row takes its values in the units of the solve as the
    // user gave them: with the factor 1 a bound of -1.6 beside the others'
    // units of 1e28 came out 1e-28, was cleaned to 0 as rounding noise, and
    // the column was fixed at 0 rather than at its bound.
    for (int j = 0; j < n_; ++j)
        if (!in_some_row(loaded_.cols[j]))
            col_scale_[j] = beta_;
    cols_ = loaded_.cols;
    for (int j = 0; j < n_; ++j)
        for (LpEntry& e : cols_[j])
            e.value = over(e.value, r[e.index], q[j]);
    kind_ = loaded_.kind;
    b_.resize(m_);
    for (int i = 0; i < m_; ++i)
        b_[i] = over(loaded_.b[i], r[i], beta_);
    range_lo_ = loaded_.range_lo;
    range_hi_ = loaded_.range_hi;
    for (int i = 0; i < m_; ++i)
        if (kind_[i] >= 10) {
            range_lo_[kind_[i] - 10] = over(range_lo_[kind_[i] - 10], r[i], beta_);
            range_hi_[kind_[i] - 10] = over(range_hi_[kind_[i] - 10], r[i], beta_);
        }
    c_.resize(n_);
    l_.resize(n_);
    u_.resize(n_);
    auto scaled_bound = [&](double v, int j) { return std::fabs(v) >= lp_inf ? v : v * q[j] / beta_; };
    for (int j = 0; j < n_; ++j) {
        c_[j] = zero_cost ? 0.0 : over(loaded_.c[j], q[j], gamma_);
        l_[j] = scaled_bound(l[j], j);
        u_[j] = scaled_bound(u[j], j);
    }
    clean_tiny();
    row_id_.resize(m_);
    col_id_.resize(n_);
    for (int i = 0; i < m_; ++i)
        row_id_[i] = i;
    for (int j = 0; j < n_; ++j)
        col_id_[j] = j;
    stack_.clear();
    obj_const_ = 0;
    unbounded_if_feasible_ = false;
    pulled_out_.clear();
    presolve_records_ = standard_cols_ = 0;
    iter_ = 0;
    xs_.clear();
    ys_.clear();
    x_out_.clear();
    y_out_.clear();
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
            if (std::fabs(b_[i]) > 1e-8 * unit_) {
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
    last_x_.clear();
    if ((status == 2 || status == 4) && xs_.size() == static_cast<std::size_t>(n_)) {
        postsolve_primal();
        last_x_ = x_out_;
        for (int j = 0; j < n0_; ++j)
            last_x_[j] *= beta_ / q[j];
    }
    if (status != 1)
        return;
    const bool solved_by_presolve = n_ == 0;
    postsolve();
    // Back to the units of the problem as loaded.
    objective_ = 0;
    for (int j = 0; j < n0_; ++j) {
        x_out_[j] *= beta_ / q[j];
        objective_ += loaded_.c[j] * x_out_[j];
    }
    for (int i = 0; i < m0_; ++i)
        y_out_[i] *= gamma_ / r[i];
    dual_objective_ = solved_by_presolve ? objective_ : dual_objective_ * beta_ * gamma_;
}

bool LpSolver::answer_holds() const
{
    // The gap to the iterations' dual bound, as they measured it: against
    // the objective, or a millionth of the size of its terms or of the
    // units of the solve when it is a small difference.
    double terms = 0;
    for (int j = 0; j < n0_; ++j)
        terms += std::fabs(loaded_.c[j] * x_out_[j]);
    const double gap = std::fabs(objective_ - dual_objective_);
    if (!(gap <= answer_gap * (std::fabs(objective_) + 1e-6 * terms + 1e-6 * unit_ * beta_ * gamma_)))
        return false;
    return point_holds(x_out_);
}

std::pair<double, double> LpSolver::limits_of(int i) const
{
    const int k = loaded_.kind[i];
    if (k >= 10)
        return {loaded_.range_lo[k - 10], loaded_.range_hi[k - 10]};
    return {k == -1 || k == 0 ? loaded_.b[i] : -lp_inf, k == 1 || k == 0 ? loaded_.b[i] : lp_inf};
}

bool LpSolver::point_holds(const std::vector<double>& x_out) const
{
    if (static_cast<int>(x_out.size()) != n0_)
        return false;
    // Each row and bound is held to a share of the size of its terms,
    // where a column counts with its value or, when that is smaller, with
    // the size its rows give it: a value that should be 0 and came out
    // 1e-14 is rounding, not a broken row.
    // That size is the one its own rows give it where they have right-hand
    // sides: beside rows whose right-hand sides are 1e19, the global size
    // let rows of 1e-6 go unmet altogether.
    const int m = m0_, n = n0_;
    std::vector<double> row_rhs(m, 0.0);
    for (int i = 0; i < m; ++i) {
        const int k = loaded_.kind[i];
        for (double v : {k >= 10 ? loaded_.range_lo[k - 10] : loaded_.b[i], k >= 10 ? loaded_.range_hi[k - 10] : 0.0})
            if (std::fabs(v) < lp_inf)
                row_rhs[i] = std::max(row_rhs[i], std::fabs(v));
    }
    // Each row gives that size for itself: a column held at 5e11 by a row
    // of its own counted 5e8 in the rows of size 1 it shares with others,
    // and those went unmet by whole units.
    std::vector<double> ax(m, 0.0), size(m, 0.0);
    for (int j = 0; j < n; ++j) {
        const double x = x_out[j];
        for (const LpEntry& e : loaded_.cols[j]) {
            const double a = std::fabs(e.value);
            const double own = a > 0 ? row_rhs[e.index] / a : 0.0;
            const double floor = own > 0 ? std::min(size_[j], own) : size_[j];
            ax[e.index] += e.value * x;
            size[e.index] += a * std::max(std::fabs(x), 1e-3 * floor);
        }
    }
    for (int i = 0; i < m; ++i) {
        const auto [lo, hi] = limits_of(i);
        const double scale = size[i] + size_of_limits(lo, hi);
        const double excess = std::max(lo > -lp_inf ? lo - ax[i] : 0.0, hi < lp_inf ? ax[i] - hi : 0.0);
        if (!(excess <= answer_tolerance * scale))
            return false;
    }
    for (int j = 0; j < n; ++j) {
        const double x = x_out[j], xs = std::max(std::fabs(x), size_[j]);
        const double lj = loaded_.l[j], uj = loaded_.u[j];
        if (lj > -lp_inf && !(lj - x <= answer_tolerance * std::max(xs, std::fabs(lj))))
            return false;
        if (uj < lp_inf && !(x - uj <= answer_tolerance * std::max(xs, std::fabs(uj))))
            return false;
    }
    return true;
}

namespace {

// sqrt(a b) of two positive numbers, where their product under- or
// overflows too: a row with entries of 2^-800 has a product of 0, and a
// scale factor of 0 made every value NaN.
double geometric_mean(double a, double b)
{
    const double p = a * b;
    return std::isnormal(p) ? std::sqrt(p) : std::sqrt(a) * std::sqrt(b);
}

// Row and column scaling: geometric passes, then one pass of each toward a
// largest entry of 1; r and q collect the factors. A bound stays finite
// however far its column's factor moves it.
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
            double f = geometric ? geometric_mean(lo[i], hi[i]) : std::sqrt(hi[i]);
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
    // The smallest and largest magnitude of column j's non-zeros (0 and 0
    // when it has none).
    auto column_range = [&](int j) {
        double cl = 0, ch = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
            const double a = std::fabs(it.val[p]);
            if (a == 0)
                continue;
            cl = cl == 0 ? a : std::min(cl, a);
            ch = std::max(ch, a);
        }
        return std::pair<double, double>(cl, ch);
    };
    auto col_pass = [&](bool geometric) {
        for (int j = 0; j < n; ++j) {
            const auto [cl, ch] = column_range(j);
            double f = ch == 0 ? 1.0 : geometric ? geometric_mean(cl, ch) : std::sqrt(ch);
            q[j] *= f;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                it.val[p] /= f;
            it.c[j] /= f;
            if (it.bounded[j])
                it.u[j] *= f;
        }
    };
    // The largest ratio of two entries in one row or one column.
    auto spread = [&] {
        std::vector<double> lo(m, 0.0), hi(m, 0.0);
        double worst = 1;
        for (int j = 0; j < n; ++j) {
            const auto [cl, ch] = column_range(j);
            if (cl > 0)
                worst = std::max(worst, ch / cl);
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
                const double a = std::fabs(it.val[p]);
                const int i = it.rowidx[p];
                if (a > 0) {
                    lo[i] = lo[i] == 0 ? a : std::min(lo[i], a);
                    hi[i] = std::max(hi[i], a);
                }
            }
        }
        for (int i = 0; i < m; ++i)
            if (lo[i] > 0)
                worst = std::max(worst, hi[i] / lo[i]);
        return worst;
    };
    // Geometric passes until they stop paying: rows and columns that came
    // scaled by powers of ten come out as they would have unscaled, so
    // the iterations meet the same problem however the user scaled it.
    double before = spread();
    for (int pass = 0; pass < 20; ++pass) {
        row_pass(true);
        col_pass(true);
        const double now = spread();
        if (!(now < 0.9 * before))
            break;
        before = now;
    }
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

// A row the first factorisation took for a combination of the others (a
// pivot below 1e-10) may be a near copy of one: [1+1e-5 1 1] beside
// [1 1 1], both = 1. Dropped, it was missed by the others' optimum x =
// [1 0 0] (the problem was called infeasible, met exactly by [0 1 0]);
// kept, the iterations lose it to the near-singular normal matrix. It is
// taken back as what it adds to the others: itself less the combination
// z of them it is nearest (found with their factor, Theta = 1), scaled to
// entries of 1, [1 -0.5 -0.5] = -0.5 there. A row that adds nothing
// beyond the share of its terms an answer is held to stays out, a copy.
bool LpSolver::take_back_near_copies(LpIterate& it, LpNormalMatrix& nm, const std::vector<int>& from,
                                     const std::vector<double>& scale, std::vector<std::vector<LpEntry>>& rows,
                                     std::vector<double>& b, std::vector<NearCopy>& taken)
{
    const int m = it.m, n = it.n;
    // Each row costs a solve with the factor and two passes over A: many
    // dependent rows (a model's balance rows, every one a true copy) are
    // left as they are.
    if (rows.size() > 16)
        return false;
    std::vector<std::vector<LpEntry>> added_rows;
    std::vector<double> added_b;
    std::vector<std::vector<LpEntry>> left_rows;
    std::vector<double> left_b;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        std::vector<double> dense(n, 0.0), z(m, 0.0);
        for (const LpEntry& e : rows[k])
            dense[e.index] = e.value;
        for (int j = 0; j < n; ++j)
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                z[it.rowidx[p]] += it.val[p] * dense[j];
        bool solved = nm.solve(z.data());
        for (double v : z)
            solved = solved && std::isfinite(v);
        std::vector<LpEntry> row;
        double largest = 0, terms = 0;
        if (solved) {
            for (int j = 0; j < n; ++j) {
                double combination = 0, size = std::fabs(dense[j]);
                for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
                    combination += it.val[p] * z[it.rowidx[p]];
                    size += std::fabs(it.val[p] * z[it.rowidx[p]]);
                }
                const double v = dense[j] - combination;
                terms = std::max(terms, size);
                if (std::fabs(v) > 64 * DBL_EPSILON * size) {
                    row.push_back({j, v});
                    largest = std::max(largest, std::fabs(v));
                }
            }
        }
        if (!solved || !(largest > answer_tolerance * terms)) {
            left_rows.push_back(std::move(rows[k]));
            left_b.push_back(b[k]);
            continue;
        }
        double rhs = b[k];
        for (int i = 0; i < m; ++i)
            rhs -= z[i] * it.b[i];
        for (LpEntry& e : row)
            e.value /= largest;
        added_rows.push_back(std::move(row));
        added_b.push_back(rhs / largest);
        taken.push_back({from[k], scale[k], largest, std::move(z)});
    }
    rows = std::move(left_rows);
    b = std::move(left_b);
    if (added_rows.empty())
        return false;
    // The taken rows go last, in the order taken.
    std::vector<std::vector<LpEntry>> cols(n);
    for (std::size_t q = 0; q < added_rows.size(); ++q)
        for (const LpEntry& e : added_rows[q])
            cols[e.index].push_back({m + static_cast<int>(q), e.value});
    std::vector<int> colptr(n + 1, 0), rowidx;
    std::vector<double> val;
    for (int j = 0; j < n; ++j) {
        colptr[j] = static_cast<int>(rowidx.size());
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
            rowidx.push_back(it.rowidx[p]);
            val.push_back(it.val[p]);
        }
        for (const LpEntry& e : cols[j]) {
            rowidx.push_back(e.index);
            val.push_back(e.value);
        }
    }
    colptr[n] = static_cast<int>(rowidx.size());
    it.colptr = std::move(colptr);
    it.rowidx = std::move(rowidx);
    it.val = std::move(val);
    it.b.insert(it.b.end(), added_b.begin(), added_b.end());
    it.m = m + static_cast<int>(added_rows.size());
    return true;
}

void LpSolver::iterate()
{
    LpIterate it;
    take_matrix(it, m_, cols_);
    it.b = b_;
    it.c = c_;
    it.u = u_;
    it.bounded.assign(n_, 0);
    for (int j = 0; j < n_; ++j)
        it.bounded[j] = u_[j] < lp_inf;
    bool any_free = false;
    for (int j = 0; j < n_ && !any_free; ++j)
        any_free = l_[j] <= -lp_inf;
    if (any_free) {
        it.free.assign(n_, 0);
        for (int j = 0; j < n_; ++j)
            it.free[j] = l_[j] <= -lp_inf;
    }
    std::vector<double> r, q;
    scale(it, r, q);
    bool no_costs = true;
    for (double v : it.c)
        no_costs = no_costs && v == 0;
    // What the objective of the problem as loaded adds to the standard
    // form's: the gap is judged against the objective's own size, not
    // against one inflated by shifts of the bounds.
    const double shift = obj_const_;

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
    std::vector<NearCopy> near_copies;
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
        std::vector<int> removed_from;
        std::vector<double> removed_scale;
        for (int i = 0; i < m_; ++i)
            if (remove[i]) {
                removed_from.push_back(i);
                removed_scale.push_back(r[i]);
            }
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
        if (!by_forest && take_near_copies_ &&
            take_back_near_copies(it, nm, removed_from, removed_scale, removed_rows, removed_b, near_copies)) {
            took_near_copies_ = true;
            for (const NearCopy& c : near_copies) {
                kept_rows.push_back(c.row);
                r.push_back(c.scale);
            }
            st = nm.analyse(it);
            if (st != 0) {
                status = st;
                return;
            }
            if (!nm.factor(it, ones.data(), true)) {
                status = -7;
                return;
            }
        }
        pcg.start(it, nm.column_counts());
    }
    const int m = it.m, n = it.n;
    std::vector<double> v(it.b);
    // The forest's solve gives up where it cannot reach the tolerance; the
    // factorisation answers then.
    if (!(by_forest && pcg.usable() && pcg.prepare(it, ones.data()) && pcg.solve(it, ones.data(), v.data()))) {
        if (by_forest && !nm.factor(it, ones.data(), false)) {
            status = -7;
            return;
        }
        v = it.b;
        if (!nm.solve(v.data())) {
            status = -7;
            return;
        }
    }
    it.x.assign(n, 0.0);
    double xmin = 0;
    for (int j = 0; j < n; ++j) {
        double a = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            a += it.val[p] * v[it.rowidx[p]];
        it.x[j] = a;
        if (!(any_free && it.free[j]))
            xmin = std::min(xmin, a);
    }
    double bnorm = 0, cnorm = 0, sum_c = 0;
    it.unit = unit_;
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
        // A free column starts where the rows put it, without a dual.
        if (any_free && it.free[j]) {
            it.w[j] = lp_inf;
            continue;
        }
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
    // The split columns (an upper bound far beyond b and no lower one),
    // for their re-centring and their weights. Near the optimum both
    // parts' duals tend to 0 while their difference settles, so nothing
    // holds x/z of either: left alone the parts grow together to 1e6 and
    // past, their weights to 1e20, and the normal equations lose the
    // other columns' digits. Their weights are regularised instead,
    // 1/theta = z/x + rho: the direction then meets the rows as before and
    // leaves rho dx in the dual rows, which the next steps take out as dx
    // falls. A free column has no dual at all: its weight comes from the
    // same kind of regularisation, taken relative to its size so that its
    // value keeps its digits however small it is.
    std::vector<std::pair<int, int>> pairs;
    for (const Record& rec : stack_)
        if (rec.code == 6)
            pairs.push_back({rec.col, rec.index});
    if (!pairs.empty() || any_free) {
        it.rho.assign(n, 0.0);
        for (auto [a, b] : pairs)
            it.rho[a] = it.rho[b] = free_regularisation;
        for (int j = 0; j < n && any_free; ++j)
            if (it.free[j])
                it.rho[j] = free_weight;
    }

    // The largest value a column may take within the bounds in play (a
    // slack or a free column that balances columns at their bounds a
    // thousandfold), or a millionfold the size of the right-hand sides.
    double term_cap = 1e6 * unit_;
    for (int j = 0; j < n; ++j)
        if (it.bounded[j])
            term_cap = std::max(term_cap, 1e3 * it.u[j]);
    // The best point seen with the gap closed and the dual rows met, whose
    // rows are met to 1e-7 of their size or better: where rows of size 1
    // share columns with weights of 1e16, the steps past it may lose the
    // rows to cancellation and stall, and the point answers for them (the
    // driver checks it against the problem as given, as every answer).
    // Its gap is the one the answer is held to: where a column inside its
    // bounds at 1e8 balances one on a bound of 1e9, the steps keep the
    // objectives 4e-7 apart from there on and stall.
    constexpr double best_rows_limit = 1e-7, best_gap_limit = answer_gap;
    double best_rows = best_rows_limit;
    struct {
        std::vector<double> x, w, y, z, s;
    } best;
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
            if (any_free && it.free[j]) {
                it.x[j] += tp * it.dx[j];
                continue;
            }
            it.x[j] = std::max(it.x[j] + tp * it.dx[j], tiny * unit_);
            it.z[j] = std::max(it.z[j] + td * it.dz[j], tiny);
            if (it.bounded[j]) {
                it.w[j] = std::max(it.w[j] + tp * it.dw[j], tiny * unit_);
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
                double xa, xb;
                if (d > 0 && it.x[b] >= 10) {
                    xb = 10;
                    xa = 10 + d;
                } else if (d <= 0 && it.x[a] >= 10) {
                    xa = 10;
                    xb = 10 - d;
                } else {
                    continue;
                }
                // A part in a box keeps room below its bound, and its
                // bound's slack follows it.
                if (it.bounded[a] && !(xa < it.u[a]))
                    continue;
                it.x[a] = xa;
                it.x[b] = xb;
                if (it.bounded[a])
                    it.w[a] = it.u[a] - xa;
            }
        }
        // Relative infeasibilities. What a row misses by within the
        // rounding of its own terms |a_ij x_j| does not count: an optimum
        // on bounds far beyond b (two columns at 1e9 whose terms cancel to
        // a b of 2) computes A x with an error of eps times its terms,
        // which no iteration can push below a share of b.
        // A column's term counts up to the bounds in play, though: an
        // iterate that runs out past all of them (an infeasible problem
        // whose dual ray the steps follow) would make any residual look
        // like rounding.
        std::vector<double> ax(m, 0.0), row_terms(m, 0.0);
        for (int j = 0; j < n; ++j) {
            double a = 0;
            const double held = std::min(std::fabs(it.x[j]), term_cap);
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
                ax[it.rowidx[p]] += it.val[p] * it.x[j];
                row_terms[it.rowidx[p]] += std::fabs(it.val[p]) * held;
                a += it.val[p] * it.y[it.rowidx[p]];
            }
            aty[j] = a;
        }
        // Whether the rows are met is judged row by row, each against the
        // size of its own terms and right-hand side (or the unit, for a
        // row whose terms all tend to 0): where columns at bounds far
        // beyond b share rows with columns of ordinary size, the steps
        // meet the rows of ordinary size only to a share of their terms,
        // however small b is; and where presolve has moved a far bound
        // into some right-hand sides, their sum says nothing of the
        // others.
        double rp = 0, rd = 0, rp_rows = 0;
        for (int i = 0; i < m; ++i) {
            const double miss = std::fabs(it.b[i] - ax[i]);
            rp += std::max(0.0, miss - rounding_of_terms * row_terms[i]);
            rp_rows = std::max(rp_rows, miss / (std::fabs(it.b[i]) + row_terms[i] + unit_));
        }
        rp /= unit_ + it.sum_b;
        const bool rows_met = rp_rows <= rows_met_share;
        for (int j = 0; j < n; ++j)
            rd += std::fabs(sigma * it.c[j] + it.z[j] - (it.bounded[j] ? it.s[j] : 0.0) - aty[j]);
        rd /= 1 + sum_c;
        // The bounds' rows x + w = u, for a point that only has to be
        // feasible.
        double ru = 0, sum_u = 0;
        for (int j = 0; j < n; ++j)
            if (it.bounded[j]) {
                ru += std::fabs(it.u[j] - it.x[j] - it.w[j]);
                sum_u += it.u[j];
            }
        ru /= 1 + sum_u;

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
            // Against the objective of the problem as loaded, in the units
            // of the solve; an objective that is a small difference of
            // large terms, or below a millionth of the units, is held to a
            // millionth of them instead.
            double terms = 0;
            for (int j = 0; j < n; ++j)
                terms += std::fabs(it.c[j] * it.x[j]);
            const double size = std::fabs(shift - it.primal);
            const double relative_gap = std::fabs(it.dual - it.primal) / (size + 1e-6 * terms + 1e-6 * unit_);
            const bool gap_closed = g < std::max(unit_, 1e-8 * size);
            if (relative_gap < best_gap_limit && gap_closed && rd <= 1e-8 && rp_rows < best_rows) {
                best_rows = rp_rows;
                best = {it.x, it.w, it.y, it.z, it.s};
            }
            if (c_primal > 9 || c_dual > 9 || c_gap > 9 || c_stall > 9) {
                // A stall at a point that is primal and dual feasible with a
                // tiny gap is convergence held up by the floors: when the
                // feasible set has no interior, x rests on its floor while
                // z follows a ray of the dual, and their products keep the
                // gap just above the tolerance. Feasible both ways with a
                // gap that will not close is no infeasibility, though: the
                // iterations have failed to reach the optimum.
                // Nor is a stall at a point that meets its rows and dual
                // rows to within 1e-6 any proof of infeasibility: the
                // steps have lost their accuracy there, and the verdict
                // is left open.
                if (rows_met && rd <= 1e-8)
                    status = relative_gap < 1e-6 && gap_closed ? 1 : 4;
                else if ((rp <= 1e-6 || rp_rows <= 1e-6) && rd <= 1e-6)
                    status = 4;
                else
                    status = 2;
            } else if ((relative_gap < 1e-8 && gap_closed && rows_met && rd <= 1e-8) ||
                       (no_costs && rp <= 1e-8 && ru <= 1e-8)) {
                // A closed gap alone proves nothing while the iterate is
                // still infeasible: with zero costs and b = 0 both
                // objectives are 0 from the first iteration on. With no
                // costs at all, though, every point that meets the rows is
                // optimal, and the floors may keep the gap from closing.
                status = 1;
            }
        }
        rp_prev = rp;
        rd_prev = rd;
        if (iter_ > 100)
            status = 4;
    }
    (void)gap_prev;
    if ((status == 2 || status == 4) && best_rows < best_rows_limit) {
        it.x = std::move(best.x);
        it.w = std::move(best.w);
        it.y = std::move(best.y);
        it.z = std::move(best.z);
        it.s = std::move(best.s);
        objectives(it);
        status = 1;
    }
    if (status == 2 || status == 4) {
        // The last point, for the driver to read a ray off, or to start
        // a finish from.
        xs_.assign(n, 0.0);
        for (int j = 0; j < n; ++j)
            xs_[j] = it.x[j] / q[j];
    }
    if (status != 1)
        return;
    // Without costs the multipliers that prove the point optimal are 0.
    if (no_costs)
        std::fill(it.y.begin(), it.y.end(), 0.0);
    // The dual bound on the objective, as a minimum; with no costs every
    // feasible point attains it.
    dual_objective_ = no_costs ? shift - it.primal : shift - it.dual;
    // A row dropped as dependent is a combination of the kept rows; at their
    // solution it holds unless its right-hand side contradicts them, and
    // then the problem has no solution at all.
    for (std::size_t k = 0; k < removed_rows.size(); ++k) {
        double ax = 0, size = std::fabs(removed_b[k]);
        for (const LpEntry& e : removed_rows[k]) {
            ax += e.value * it.x[e.index];
            size += std::fabs(e.value * it.x[e.index]);
        }
        if (std::fabs(ax - removed_b[k]) > 1e-6 * (unit_ + size)) {
            status = 2;
            return;
        }
    }
    // Unscale into the standard-form solution; rows by their number before
    // dependent-row removal.
    xs_.assign(n, 0.0);
    for (int j = 0; j < n; ++j)
        xs_[j] = it.x[j] / q[j];
    // A near copy's row stands for its own row less the combination of the
    // others it was nearly: its multiplier goes to its own row, and the
    // combination's to the others.
    for (std::size_t q = 0; q < near_copies.size(); ++q) {
        const NearCopy& c = near_copies[q];
        const int t = m - static_cast<int>(near_copies.size()) + static_cast<int>(q);
        const double w = it.y[t] / c.size;
        it.y[t] = w;
        for (std::size_t i = 0; i < c.z.size(); ++i)
            it.y[i] -= w * c.z[i];
    }
    ys_.assign(m_, 0.0);
    standard_row_kept_.assign(m_, 0);
    for (int i = 0; i < m; ++i) {
        ys_[kept_rows[i]] = it.y[i] / r[i];
        standard_row_kept_[kept_rows[i]] = 1;
    }
}
