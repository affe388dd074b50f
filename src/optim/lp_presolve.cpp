// Presolve, standard form and postsolve of the LP solver. Presolve removes
// empty, free and singleton rows, fixed, empty and slack columns, eliminates
// doubleton equality rows, fixes dominated columns and drops redundant
// rows; standard form splits free columns, negates upper-only ones, shifts
// lower bounds to 0 and adds slacks. Every change to the primal values is
// recorded and undone newest first after an optimal run.
#include "optim/lp_solver.hpp"

#include <algorithm>
#include <cmath>

namespace {

constexpr double lp_inf = 1e20;
// Feasibility tolerance, in units of an ordinary right-hand side (unit_:
// below 1 where large bounds in play set the units of the solve).
constexpr double feas = 1e-8;
constexpr double sigma = -1.0;

bool infinite(double v) { return std::fabs(v) >= lp_inf; }

} // namespace

void LpSolver::presolve()
{
    const int m = m_, n = n_;
    c0_ = c_;
    lo_.assign(m, -lp_inf);
    hi_.assign(m, lp_inf);
    for (int i = 0; i < m; ++i) {
        const int k = kind_[i];
        if (k == 1)
            hi_[i] = b_[i];
        else if (k == -1)
            lo_[i] = b_[i];
        else if (k == 0)
            lo_[i] = hi_[i] = b_[i];
        else if (k >= 10) {
            lo_[i] = range_lo_[k - 10];
            hi_[i] = range_hi_[k - 10];
        }
    }
    std::vector<char> row_gone(m, 0), col_gone(n, 0);
    // Drop stored zeros: they are no entries.
    for (auto& col : cols_)
        col.erase(std::remove_if(col.begin(), col.end(), [](const LpEntry& e) { return e.value == 0; }), col.end());
    int eliminated = 0;

    auto row_lists = [&]() {
        std::vector<std::vector<LpEntry>> rows(m);
        for (int j = 0; j < n; ++j)
            if (!col_gone[j])
                for (const LpEntry& e : cols_[j])
                    if (!row_gone[e.index])
                        rows[e.index].push_back({j, e.value});
        return rows;
    };
    auto active_count = [&](int j) {
        int cnt = 0;
        for (const LpEntry& e : cols_[j])
            if (!row_gone[e.index])
                ++cnt;
        return cnt;
    };
    // A row's list stays in column order, as row_lists builds it.
    auto drop_from_row = [](std::vector<LpEntry>& list, int j) {
        for (std::size_t q = 0; q < list.size(); ++q)
            if (list[q].index == j) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(q));
                return;
            }
    };
    auto set_in_row = [](std::vector<LpEntry>& list, int j, double v) {
        auto at = std::lower_bound(list.begin(), list.end(), j,
                                   [](const LpEntry& e, int col) { return e.index < col; });
        if (at != list.end() && at->index == j) {
            if (v == 0)
                list.erase(at);
            else
                at->value = v;
        } else if (v != 0) {
            list.insert(at, {j, v});
        }
    };
    // Fix column j at value v: row limits drop by a v, the cost joins the
    // objective constant.
    auto fix_column = [&](int j, double v) {
        for (const LpEntry& e : cols_[j]) {
            if (row_gone[e.index])
                continue;
            if (!infinite(lo_[e.index]))
                lo_[e.index] -= e.value * v;
            if (!infinite(hi_[e.index]))
                hi_[e.index] -= e.value * v;
        }
        obj_const_ += c_[j] * v;
        Record rec{j, 3, v, 0, {}};
        rec.cost = c_[j];
        for (const LpEntry& e : cols_[j])
            if (!row_gone[e.index])
                rec.column.push_back(e);
        stack_.push_back(std::move(rec));
        col_gone[j] = 1;
    };

    // A column that its cost pulls out toward an infinite bound: the
    // problem is unbounded if the rest is feasible.
    auto pulled_out = [&](int j, int direction) {
        unbounded_if_feasible_ = true;
        pulled_out_.push_back({j < static_cast<int>(col_id_.size()) ? col_id_[j] : j, direction});
    };

    // A column in no row is fixed where its cost prefers. When the cost
    // pulls it toward an infinite bound the problem is unbounded if the
    // rest of it is feasible, and infeasible otherwise: the column is
    // fixed at a bound it has (or 0) and the rest decides the verdict.
    auto fix_empty_column = [&](int j) {
        const double t = sigma * c_[j];
        const double inside = infinite(l_[j]) ? std::min(0.0, u_[j]) : l_[j];
        double v = inside;
        if (t > 0) {
            if (u_[j] >= lp_inf)
                pulled_out(j, 1);
            else
                v = u_[j];
        } else if (t < 0 && l_[j] <= -lp_inf) {
            pulled_out(j, -1);
        }
        fix_column(j, v);
    };

    auto first_pass = [&]() {
        bool changed = true;
        while (changed && status == 0) {
            changed = false;
            auto rows = row_lists();
            for (int i = 0; i < m && status == 0; ++i) {
                if (row_gone[i])
                    continue;
                if (rows[i].empty()) {
                    if (!(lo_[i] <= feas * unit_ && hi_[i] >= -feas * unit_)) {
                        status = 2;
                        return;
                    }
                    row_gone[i] = 1;
                    changed = true;
                } else if (lo_[i] <= -lp_inf && hi_[i] >= lp_inf) {
                    row_gone[i] = 1;
                    changed = true;
                } else if (rows[i].size() == 1) {
                    const int j = rows[i][0].index;
                    const double a = rows[i][0].value;
                    double il = -lp_inf, iu = lp_inf;
                    if (a > 0) {
                        if (!infinite(lo_[i]))
                            il = lo_[i] / a;
                        if (!infinite(hi_[i]))
                            iu = hi_[i] / a;
                    } else {
                        if (!infinite(hi_[i]))
                            il = hi_[i] / a;
                        if (!infinite(lo_[i]))
                            iu = lo_[i] / a;
                    }
                    if (il > u_[j] + feas * unit_ || iu < l_[j] - feas * unit_) {
                        status = 2;
                        return;
                    }
                    Record rec{j, 4, 0, 0, {{j, a}}};
                    rec.row = i;
                    rec.row_removed = true;
                    rec.lj = l_[j];
                    rec.uj = u_[j];
                    rec.lo = il;
                    rec.hi = iu;
                    stack_.push_back(std::move(rec));
                    l_[j] = std::max(l_[j], il);
                    u_[j] = std::min(u_[j], iu);
                    if (l_[j] > u_[j])  // within the tolerance: make it fixed
                        l_[j] = u_[j];
                    row_gone[i] = 1;
                    changed = true;
                }
            }
            if (status != 0)
                return;
            for (int j = 0; j < n; ++j) {
                if (col_gone[j])
                    continue;
                if (std::fabs(l_[j] - u_[j]) < 1e-14 * unit_) {
                    fix_column(j, l_[j]);
                    changed = true;
                    continue;
                }
                const int cnt = active_count(j);
                if (cnt == 0) {
                    fix_empty_column(j);
                    changed = true;
                } else if (cnt == 1 && c_[j] == 0 && l_[j] < u_[j]) {
                    // A slack: the row's limits widen by the column's range.
                    const LpEntry* e = nullptr;
                    for (const LpEntry& f : cols_[j])
                        if (!row_gone[f.index])
                            e = &f;
                    const int i = e->index;
                    const double a = e->value;
                    Record rec{j, 11 + eliminated++, infinite(hi_[i]) ? lo_[i] : hi_[i], 0, {}};
                    rec.lo = lo_[i];
                    rec.hi = hi_[i];
                    rec.lj = l_[j];
                    rec.uj = u_[j];
                    rec.coef.push_back({j, a});
                    // The sweep's row lists still name the columns fixed
                    // since they were built.
                    for (const LpEntry& g : rows[i])
                        if (g.index != j && !col_gone[g.index])
                            rec.coef.push_back(g);
                    rec.row = i;
                    const double lo_u = a > 0 ? u_[j] : l_[j], hi_l = a > 0 ? l_[j] : u_[j];
                    lo_[i] = infinite(lo_[i]) || infinite(lo_u) ? -lp_inf : lo_[i] - a * lo_u;
                    hi_[i] = infinite(hi_[i]) || infinite(hi_l) ? lp_inf : hi_[i] - a * hi_l;
                    stack_.push_back(std::move(rec));
                    col_gone[j] = 1;
                    changed = true;
                    drop_from_row(rows[i], j);
                }
            }
        }
    };

    // Substitution of equality rows: column t is eliminated through row i
    // (x_t = (rhs - sum of the row's other terms) / a_t): every other row
    // holding t loses a multiple of row i, the costs of the row's other
    // columns absorb t's cost. The row lists follow every change, so one
    // substitution costs the entries it touches, not a walk of the whole
    // matrix. Returns false when the non-zero space is exhausted.
    std::size_t entries = 0;
    for (const auto& col : cols_)
        entries += col.size();
    const std::size_t nonzero_space = entries * 4 + 100;  // room for fill; the run ends (-5) beyond it
    std::vector<int> touched(m, -1);
    auto substitute = [&](int i, int t, double at, std::vector<std::vector<LpEntry>>& rows, int sweep) {
        const std::vector<LpEntry> row = rows[i];
        const double rhs = lo_[i];
        Record rec{t, 11 + eliminated++, rhs, 0, {}};
        rec.lo = rec.hi = rhs;
        rec.lj = l_[t];
        rec.uj = u_[t];
        rec.coef.push_back({t, at});
        for (const LpEntry& g : row)
            if (g.index != t)
                rec.coef.push_back(g);
        rec.row = i;
        rec.row_removed = true;
        rec.cost = c_[t];
        for (const LpEntry& e : cols_[t])
            if (e.index != i && !row_gone[e.index])
                rec.column.push_back(e);
        const bool mark = row.size() > 2;
        for (const LpEntry& e : cols_[t]) {
            const int r = e.index;
            if (r == i || row_gone[r])
                continue;
            const double f = e.value / at;
            if (!infinite(lo_[r]))
                lo_[r] -= f * rhs;
            if (!infinite(hi_[r]))
                hi_[r] -= f * rhs;
            std::vector<LpEntry>& list = rows[r];
            drop_from_row(list, t);
            for (const LpEntry& g : row) {
                if (g.index == t)
                    continue;
                bool found = false;
                double now = -f * g.value;
                for (LpEntry& h : cols_[g.index])
                    if (h.index == r) {
                        // A difference at the rounding level of its terms is
                        // a cancellation (a dependent row), not a coefficient:
                        // kept, it would be a pivot of 1e-16 for a later
                        // substitution and a false verdict of infeasibility.
                        const double before = h.value, change = f * g.value;
                        h.value = before - change;
                        if (std::fabs(h.value) <= 1e-12 * std::max(std::fabs(before), std::fabs(change)))
                            h.value = 0;
                        now = h.value;
                        found = true;
                    }
                if (!found) {
                    cols_[g.index].push_back({r, now});
                    ++entries;
                }
                set_in_row(list, g.index, now);
            }
            if (mark)
                touched[r] = sweep;
        }
        for (const LpEntry& g : row) {
            if (g.index == t)
                continue;
            auto& col = cols_[g.index];
            const std::size_t before = col.size();
            col.erase(std::remove_if(col.begin(), col.end(), [](const LpEntry& h) { return h.value == 0; }),
                      col.end());
            entries -= before - col.size();
            // A cost that cancels to the rounding of its terms is 0: a
            // free column left with a cost of 4e-16 in no row would be
            // taken for one its cost pulls out, and a problem with an
            // optimum called unbounded.
            const double cost = c_[g.index], change = c_[t] * g.value / at;
            c_[g.index] = cost - change;
            if (std::fabs(c_[g.index]) <= 1e-12 * std::max(std::fabs(cost), std::fabs(change)))
                c_[g.index] = 0;
        }
        obj_const_ += c_[t] * rhs / at;
        stack_.push_back(std::move(rec));
        col_gone[t] = 1;
        row_gone[i] = 1;
        rows[i].clear();
        return entries <= nonzero_space;
    };

    // A row holding a column with a bound far beyond the right-hand sides
    // is met by the iterations only to the rounding of terms that large:
    // a column taken out through it would carry that rounding into its
    // other rows, which may be of ordinary size.
    double far = unit_;
    for (int i = 0; i < m; ++i)
        for (double v : {lo_[i], hi_[i]})
            if (!infinite(v))
                far = std::max(far, std::fabs(v));
    far *= 1e3;
    auto holds_far_bound = [&](const std::vector<LpEntry>& row) {
        for (const LpEntry& e : row)
            for (double v : {l_[e.index], u_[e.index]})
                if (!infinite(v) && std::fabs(v) > far)
                    return true;
        return false;
    };
    // Doubleton equality rows eliminate the column of the larger entry and
    // pass its bounds to the other column; longer equality rows eliminate an
    // implied free column (its bounds follow from the row), the one with the
    // fewest entries, when the fill it may cause is within the limit.
    auto second_pass = [&]() {
        int fill_limit = 10;
        bool changed = true;
        for (int sweep = 0; changed && status == 0; ++sweep) {
            changed = false;
            if (sweep >= 2)
                fill_limit = (fill_limit + 20) / 2;
            auto rows = row_lists();
            std::vector<int> order;
            for (int i = 0; i < m; ++i)
                if (!row_gone[i])
                    order.push_back(i);
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return rows[a].size() < rows[b].size(); });
            for (int i : order) {
                if (row_gone[i] || touched[i] == sweep || infinite(lo_[i]) || lo_[i] != hi_[i])
                    continue;
                const std::vector<LpEntry> row = rows[i];
                if (row.size() < 2 || holds_far_bound(row))
                    continue;
                const double rhs = lo_[i];
                if (row.size() == 2) {
                    const LpEntry e0 = row[0], e1 = row[1];
                    const bool second = std::fabs(e1.value) >= std::fabs(e0.value);
                    const LpEntry pe = second ? e1 : e0, ke = second ? e0 : e1;
                    const int t = pe.index, k = ke.index;
                    const double at = pe.value, ak = ke.value;
                    // x_t = (rhs - ak x_k) / at: bounds of x_t as bounds of x_k.
                    double lo_k = -lp_inf, hi_k = lp_inf;
                    const double ratio = -at / ak;
                    for (int side = 0; side < 2; ++side) {
                        const double bt = side == 0 ? l_[t] : u_[t];
                        if (infinite(bt))
                            continue;
                        const double xk = (rhs - at * bt) / ak;
                        if ((ratio > 0) == (side == 0))
                            lo_k = std::max(lo_k, xk);
                        else
                            hi_k = std::min(hi_k, xk);
                    }
                    double nl = std::max(l_[k], lo_k), nu = std::min(u_[k], hi_k);
                    if (nl > nu + feas * unit_) {
                        status = 2;
                        return;
                    }
                    if (nl > nu)
                        nl = nu;
                    const double before_lo = l_[k], before_hi = u_[k];
                    l_[k] = nl;
                    u_[k] = nu;
                    if (!substitute(i, t, at, rows, sweep)) {
                        status = -5;
                        return;
                    }
                    Record& rec = stack_.back();
                    rec.partner = k;
                    rec.a_partner = ak;
                    rec.partner_lo = before_lo;
                    rec.partner_hi = before_hi;
                    rec.taken_lo = nl;
                    rec.taken_hi = nu;
                    changed = true;
                    continue;
                }
                // Longer rows: the activity range of the row's terms.
                double amax = 0, smin = 0, smax = 0;
                int nmin = 0, nmax = 0;
                auto term_min = [&](const LpEntry& e) { return e.value > 0 ? l_[e.index] : u_[e.index]; };
                auto term_max = [&](const LpEntry& e) { return e.value > 0 ? u_[e.index] : l_[e.index]; };
                for (const LpEntry& e : row) {
                    amax = std::max(amax, std::fabs(e.value));
                    const double bmin = term_min(e), bmax = term_max(e);
                    if (infinite(bmin))
                        ++nmin;
                    else
                        smin += e.value * bmin;
                    if (infinite(bmax))
                        ++nmax;
                    else
                        smax += e.value * bmax;
                }
                int best = -1, best_count = 0;
                for (std::size_t q = 0; q < row.size(); ++q) {
                    const LpEntry& e = row[q];
                    if (std::fabs(e.value) <= 0.01 * amax)
                        continue;
                    const int t = e.index;
                    // Range of the other terms.
                    const double bmin = term_min(e), bmax = term_max(e);
                    const int omin = nmin - (infinite(bmin) ? 1 : 0), omax = nmax - (infinite(bmax) ? 1 : 0);
                    const double rmin = smin - (infinite(bmin) ? 0.0 : e.value * bmin);
                    const double rmax = smax - (infinite(bmax) ? 0.0 : e.value * bmax);
                    // a_t x_t = rhs - others, others in [rmin, rmax].
                    double ilo = -lp_inf, ihi = lp_inf;
                    if (e.value > 0) {
                        if (omax == 0)
                            ilo = (rhs - rmax) / e.value;
                        if (omin == 0)
                            ihi = (rhs - rmin) / e.value;
                    } else {
                        if (omin == 0)
                            ilo = (rhs - rmin) / e.value;
                        if (omax == 0)
                            ihi = (rhs - rmax) / e.value;
                    }
                    const bool lower_free = infinite(l_[t]) || (!infinite(ilo) && ilo >= l_[t] - feas * unit_);
                    const bool upper_free = infinite(u_[t]) || (!infinite(ihi) && ihi <= u_[t] + feas * unit_);
                    if (!lower_free || !upper_free)
                        continue;
                    const int count = active_count(t);
                    if (best < 0 || count < best_count) {
                        best = static_cast<int>(q);
                        best_count = count;
                    }
                }
                if (best < 0)
                    continue;
                if (static_cast<long long>(best_count - 1) * static_cast<long long>(row.size() - 1) > fill_limit)
                    continue;
                if (!substitute(i, row[best].index, row[best].value, rows, sweep)) {
                    status = -5;
                    return;
                }
                changed = true;
            }
        }
    };

    // Dominated columns and redundant or forcing rows.
    auto third_pass = [&]() {
        auto rows = row_lists();
        for (int j = n - 1; j >= 0 && status == 0; --j) {
            if (col_gone[j] || l_[j] == u_[j])
                continue;
            int up = 0, down = 0;
            for (const LpEntry& e : cols_[j]) {
                if (row_gone[e.index])
                    continue;
                const bool flo = !infinite(lo_[e.index]), fhi = !infinite(hi_[e.index]);
                if ((e.value > 0 && flo) || (e.value < 0 && fhi))
                    ++up;
                if ((e.value > 0 && fhi) || (e.value < 0 && flo))
                    ++down;
            }
            const double t = sigma * c_[j];
            // A column that no row holds back, pulled toward an infinite
            // bound, satisfies every row it is in once it is far enough
            // out: the problem is unbounded if the rest is feasible, and
            // the rest is the problem without the column and its rows.
            const bool to_lower = t < 0 && up == 0, to_upper = !to_lower && t > 0 && down == 0;
            if ((to_lower && l_[j] <= -lp_inf) || (to_upper && u_[j] >= lp_inf)) {
                for (const LpEntry& e : cols_[j])
                    row_gone[e.index] = 1;
                col_gone[j] = 1;
                pulled_out(j, to_upper ? 1 : -1);
                continue;
            }
            if (to_lower)
                u_[j] = l_[j];
            else if (to_upper)
                l_[j] = u_[j];
            if (l_[j] == u_[j])
                fix_column(j, l_[j]);
        }
        rows = row_lists();
        for (int i = m - 1; i >= 0 && status == 0; --i) {
            if (row_gone[i])
                continue;
            if (infinite(lo_[i]) && infinite(hi_[i])) {
                row_gone[i] = 1;
                continue;
            }
            double dmax = 0, dmin = 0;
            int inf_max = 0, inf_min = 0;
            for (const LpEntry& e : rows[i]) {
                const int j = e.index;
                const double a = e.value;
                const double bmax = a > 0 ? u_[j] : l_[j], bmin = a > 0 ? l_[j] : u_[j];
                if (infinite(bmax))
                    ++inf_max;
                else
                    dmax += a * bmax;
                if (infinite(bmin))
                    ++inf_min;
                else
                    dmin += a * bmin;
            }
            dmax = std::min(dmax, lp_inf);
            dmin = std::max(dmin, -lp_inf);
            const bool fhi = !infinite(hi_[i]), flo = !infinite(lo_[i]);
            const bool needed = (fhi && (dmax - 1e-10 * unit_ > hi_[i] || inf_max > 0)) ||
                                (flo && (lo_[i] > dmin + 1e-10 * unit_ || inf_min > 0));
            if (needed) {
                if ((fhi && inf_min == 0 && dmin - 1e-10 * unit_ > hi_[i]) || (flo && inf_max == 0 && dmax + 1e-10 * unit_ < lo_[i])) {
                    status = 2;
                    return;
                }
            } else {
                row_gone[i] = 1;
            }
        }
    };

    if (!reductions) {
        // Without the reductions a column in no row would still have
        // nothing to hold it: it is fixed all the same.
        for (int j = 0; j < n; ++j)
            if (cols_[j].empty())
                fix_empty_column(j);
    } else {
        first_pass();
        if (status == 0)
            second_pass();
        if (status == 0)
            third_pass();
        if (status == 0)
            first_pass();
        if (status != 0)
            return;
    }

    // Compress: renumber the rows and columns that are left.
    std::vector<int> rnum(m, -1);
    int mm = 0;
    std::vector<int> new_row_id;
    std::vector<double> nb;
    std::vector<int> nkind;
    range_lo_.clear();
    range_hi_.clear();
    for (int i = 0; i < m; ++i) {
        if (row_gone[i])
            continue;
        rnum[i] = mm++;
        new_row_id.push_back(row_id_[i]);
        const double lo = lo_[i], hi = hi_[i];
        if (lo <= -lp_inf && hi < lp_inf) {
            nkind.push_back(1);
            nb.push_back(hi);
        } else if (lo > -lp_inf && hi >= lp_inf) {
            nkind.push_back(-1);
            nb.push_back(lo);
        } else if (std::fabs(lo - hi) < feas * unit_) {
            nkind.push_back(0);
            nb.push_back(lo);
        } else if (lo > -lp_inf && hi < lp_inf) {
            nkind.push_back(10 + static_cast<int>(range_lo_.size()));
            range_lo_.push_back(lo);
            range_hi_.push_back(hi);
            nb.push_back(lo);
        } else {
            status = -6;
            return;
        }
    }
    std::vector<std::vector<LpEntry>> ncols;
    std::vector<double> nc, nl, nu;
    std::vector<int> ncol_id;
    for (int j = 0; j < n; ++j) {
        if (col_gone[j])
            continue;
        std::vector<LpEntry> col;
        for (const LpEntry& e : cols_[j])
            if (rnum[e.index] >= 0)
                col.push_back({rnum[e.index], e.value});
        ncols.push_back(std::move(col));
        nc.push_back(c_[j]);
        nl.push_back(l_[j]);
        nu.push_back(u_[j]);
        ncol_id.push_back(col_id_[j]);
    }
    m_ = mm;
    n_ = static_cast<int>(ncols.size());
    cols_ = std::move(ncols);
    c_ = std::move(nc);
    l_ = std::move(nl);
    u_ = std::move(nu);
    b_ = std::move(nb);
    kind_ = std::move(nkind);
    row_id_ = std::move(new_row_id);
    col_id_ = std::move(ncol_id);
    standard_cols_ = n_;
    presolve_records_ = static_cast<int>(stack_.size());
}

void LpSolver::standard_form()
{
    const int n = n_;
    // Free columns stay whole (the iterations give them no bound and no
    // dual: split in two halves, the halves grow together far beyond
    // their difference, which then keeps too few digits for the rows);
    // upper-only columns are negated. A column with an upper bound far
    // beyond the right-hand sides and no lower one is split, its first
    // part in a box up to the bound: negated, it would be shifted by the
    // bound, moving its rows by terms the iterations meet only to a share
    // of, and the answer would keep that share of the bound as its error.
    double b_size = 1;
    for (double v : b_)
        b_size = std::max(b_size, std::fabs(v));
    for (int j = 0; j < n; ++j) {
        if (l_[j] <= -lp_inf && u_[j] >= lp_inf) {
            l_[j] = -lp_inf;
            u_[j] = lp_inf;
            continue;
        }
        const bool far_upper = l_[j] <= -lp_inf && u_[j] > 1e3 * b_size && u_[j] < lp_inf;
        if (far_upper) {
            std::vector<LpEntry> partner = cols_[j];
            for (LpEntry& e : partner)
                e.value = -e.value;
            cols_.push_back(std::move(partner));
            c_.push_back(-c_[j]);
            l_.push_back(0);
            u_.push_back(lp_inf);
            col_id_.push_back(-1);
            l_[j] = 0;
            stack_.push_back({j, 6, 0, static_cast<int>(cols_.size()) - 1, {}});
        } else if (l_[j] <= -lp_inf) {
            for (LpEntry& e : cols_[j])
                e.value = -e.value;
            c_[j] = -c_[j];
            l_[j] = -u_[j];
            u_[j] = lp_inf;
            stack_.push_back({j, 1, 0, 0, {}});
        }
    }
    n_ = static_cast<int>(cols_.size());
    // Lower bounds shifted to 0.
    for (int j = 0; j < n_; ++j) {
        if (l_[j] <= -lp_inf)
            continue;
        if (u_[j] > lp_inf)
            u_[j] = lp_inf;
        if (u_[j] < lp_inf)
            u_[j] = std::min(u_[j] - l_[j], lp_inf);
        if (l_[j] != 0) {
            const double lj = l_[j];
            obj_const_ -= sigma * c_[j] * lj;
            for (const LpEntry& e : cols_[j]) {
                b_[e.index] -= e.value * lj;
                const int k = kind_[e.index];
                if (k >= 10) {
                    range_lo_[k - 10] -= e.value * lj;
                    range_hi_[k - 10] -= e.value * lj;
                }
            }
            stack_.push_back({j, 2, lj, 0, {}});
            l_[j] = 0;
        }
    }
    // Slacks: range rows first, then the inequality rows in row order.
    for (int i = 0; i < m_; ++i) {
        const int k = kind_[i];
        if (k >= 10) {
            cols_.push_back({{i, -1.0}});
            c_.push_back(0);
            l_.push_back(0);
            u_.push_back(range_hi_[k - 10] - range_lo_[k - 10]);
            col_id_.push_back(-1);
            b_[i] = range_lo_[k - 10];
            kind_[i] = 0;
        }
    }
    for (int i = 0; i < m_; ++i) {
        const int k = kind_[i];
        if (k == 1 || k == -1) {
            cols_.push_back({{i, k == 1 ? 1.0 : -1.0}});
            c_.push_back(0);
            l_.push_back(0);
            u_.push_back(lp_inf);
            col_id_.push_back(-1);
        }
    }
    n_ = static_cast<int>(cols_.size());
}

void LpSolver::postsolve()
{
    postsolve_primal();
    objective_ = 0;
    for (int j = 0; j < n0_; ++j)
        objective_ += c0_[j] * x_out_[j];
    y_out_.assign(m0_, 0.0);
    rows_kept_.assign(m0_, 0);
    for (int i = 0; i < static_cast<int>(ys_.size()) && i < static_cast<int>(row_id_.size()); ++i) {
        y_out_[row_id_[i]] = ys_[i];
        rows_kept_[row_id_[i]] = standard_row_kept_[i];
    }
    postsolve_duals();
}

void LpSolver::postsolve_primal()
{
    std::vector<double> xs = xs_;
    // Standard-form records, newest first.
    for (int r = static_cast<int>(stack_.size()) - 1; r >= presolve_records_; --r) {
        const Record& rec = stack_[r];
        if (rec.code == 1)
            xs[rec.col] = -xs[rec.col];
        else if (rec.code == 2)
            xs[rec.col] += rec.value;
        else if (rec.code == 6)
            xs[rec.col] -= xs[rec.index];
    }
    // Kept columns at their loaded numbers.
    x_out_.assign(n0_, 0.0);
    for (int j = 0; j < standard_cols_; ++j)
        x_out_[col_id_[j]] = xs[j];
    // Presolve records, newest first.
    for (int r = presolve_records_ - 1; r >= 0; --r) {
        const Record& rec = stack_[r];
        if (rec.code == 3) {
            x_out_[rec.col] = rec.value;
        } else if (rec.code >= 11) {
            const double a = rec.coef[0].value;
            double rest = 0;
            for (std::size_t k = 1; k < rec.coef.size(); ++k)
                rest += rec.coef[k].value * x_out_[rec.coef[k].index];
            double v = (rec.value - rest) / a;
            // Keep the row within its limits and the column within its
            // bounds (a slack need not sit at the limit it was named by).
            double lo = rec.lj, hi = rec.uj;
            if (std::fabs(rec.lo) < lp_inf) {
                const double t = (rec.lo - rest) / a;
                if (a > 0)
                    lo = std::max(lo, t);
                else
                    hi = std::min(hi, t);
            }
            if (std::fabs(rec.hi) < lp_inf) {
                const double t = (rec.hi - rest) / a;
                if (a > 0)
                    hi = std::min(hi, t);
                else
                    lo = std::max(lo, t);
            }
            if (lo <= hi)
                v = std::min(std::max(v, lo), hi);
            x_out_[rec.col] = v;
        }
    }
}

// The multipliers of the rows presolve took out, newest record first, so
// that every row a record saw has its multiplier when the record is undone.
// d holds each column's reduced cost c_j + a_j' y in the problem as it was
// after the record; undoing a record keeps the reduced costs of the columns
// it did not take out and gives the row's multiplier whatever its column
// needs to be stationary or to hold a bound the row imposed.
void LpSolver::postsolve_duals()
{
    std::vector<double> d(n0_, 0.0);
    std::vector<char> negated(standard_cols_, 0);
    for (int r = static_cast<int>(stack_.size()) - 1; r >= presolve_records_; --r)
        if (stack_[r].code == 1)
            negated[stack_[r].col] = 1;
    for (int j = 0; j < standard_cols_; ++j) {
        double g = c_[j];
        for (const LpEntry& e : cols_[j])
            g += e.value * ys_[e.index];
        d[col_id_[j]] = negated[j] ? -g : g;
    }
    auto priced = [&](const Record& rec) {
        double g = rec.cost;
        for (const LpEntry& e : rec.column)
            g += e.value * y_out_[e.index];
        return g;
    };
    for (int r = presolve_records_ - 1; r >= 0; --r) {
        const Record& rec = stack_[r];
        if (rec.code == 3) {
            d[rec.col] = priced(rec);
        } else if (rec.code == 4) {
            // A singleton row turned into a bound: the row takes the bound's
            // multiplier when its bound was the tighter one.
            const int j = rec.col;
            const double a = rec.coef[0].value, g = d[j];
            if ((g > 0 && rec.lo > rec.lj) || (g < 0 && rec.hi < rec.uj)) {
                y_out_[rec.row] = -g / a;
                d[j] = 0;
            } else {
                y_out_[rec.row] = 0;
            }
        } else if (rec.code >= 11 && !rec.row_removed) {
            // A slack: its row stayed, with the slack's range in its limits.
            d[rec.col] = rec.coef[0].value * y_out_[rec.row];
        } else if (rec.code >= 11) {
            // A column eliminated through an equality row: the row's
            // multiplier makes the column stationary, which leaves the
            // reduced costs of the row's other columns as they were.
            const int t = rec.col;
            const double at = rec.coef[0].value;
            double yi = -priced(rec) / at;
            d[t] = 0;
            // A doubleton row passed t's bounds to its partner k: a reduced
            // cost of k held up by such a bound is t's, moved back through
            // the row's multiplier.
            const int k = rec.partner;
            if (k >= 0) {
                const double g = d[k];
                if ((g > 0 && rec.taken_lo > rec.partner_lo) || (g < 0 && rec.taken_hi < rec.partner_hi)) {
                    const double delta = -g / rec.a_partner;
                    yi += delta;
                    d[k] = 0;
                    d[t] = at * delta;
                }
            }
            y_out_[rec.row] = yi;
        }
    }
}
