// Linear programs kept as tables of reference values (the optimum and
// verdict of an independent solver), and the call of lp on one of them with
// its columns, bounds, right-hand sides and costs scaled as a test asks.
#pragma once

#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace test {

struct TableLp {
    const char* name;
    int m, n, neq;  // the first neq rows equalities, the rest <=
    std::vector<double> A, b, c, lb, ub;  // A column-major
    int status;  // 1 ok, 2 infeasible, 3 unbounded
    double optimum;
    double a(int i, int j) const { return A[i + static_cast<std::size_t>(j) * m]; }
};

inline const char* lp_status_text(int status)
{
    return status == 1 ? "ok" : status == 2 ? "infeasible" : "unbounded";
}

// lp on the problem with column j standing for d_j times itself (x_j =
// d_j x'_j), row i times r_i (none: 1), bounds and right-hand sides times s
// and costs times t: the verdict, and x' mapped back to the problem's own
// columns and units.
inline std::string solve_scaled(const TableLp& p, const std::vector<double>& d, double s, double t,
                                std::vector<double>& x, const std::vector<double>& r = {})
{
    auto row_factor = [&](int i) { return r.empty() ? 1.0 : r[i]; };
    Mm A(0, 0, 0, p.m, p.n, qv_double), b(0, 0, 0, p.m, 1, qv_double), c(0, 0, 0, 1, p.n, qv_double),
        lb(0, 0, 0, 1, p.n, qv_double), ub(0, 0, 0, 1, p.n, qv_double);
    for (int j = 0; j < p.n; ++j) {
        for (int i = 0; i < p.m; ++i)
            A.addr()[i + static_cast<std::size_t>(j) * p.m] = row_factor(i) * p.a(i, j) * d[j];
        c.addr()[j] = p.c[j] * d[j] * t;
        lb.addr()[j] = p.lb[j] * s / d[j];
        ub.addr()[j] = p.ub[j] * s / d[j];
    }
    for (int i = 0; i < p.m; ++i)
        b.addr()[i] = row_factor(i) * p.b[i] * s;
    Mm xv, lambda, how;
    lp(c, A, b, lb, ub, nop_M, Mm(double(p.neq)), Mm(-1.0), i_o, xv, lambda, how);
    const std::vector<double> got = values(xv);
    x.assign(p.n, 0.0);
    for (int j = 0; j < p.n && j < static_cast<int>(got.size()); ++j)
        x[j] = got[j] * d[j] / s;
    return text_of(how);
}

// The largest violation of the problem's rows and bounds at x, each
// relative to the size of its terms.
inline double violation(const TableLp& p, const std::vector<double>& x)
{
    double worst = 0;
    for (int i = 0; i < p.m; ++i) {
        double ax = 0, size = std::fabs(p.b[i]);
        for (int j = 0; j < p.n; ++j) {
            ax += p.a(i, j) * x[j];
            size += std::fabs(p.a(i, j) * x[j]);
        }
        const double excess = i < p.neq ? std::fabs(ax - p.b[i]) : ax - p.b[i];
        worst = std::max(worst, excess / std::max(size, 1e-300));
    }
    for (int j = 0; j < p.n; ++j) {
        if (std::isfinite(p.lb[j]))
            worst = std::max(worst, (p.lb[j] - x[j]) / std::max({std::fabs(p.lb[j]), std::fabs(x[j]), 1.0}));
        if (std::isfinite(p.ub[j]))
            worst = std::max(worst, (x[j] - p.ub[j]) / std::max({std::fabs(p.ub[j]), std::fabs(x[j]), 1.0}));
    }
    return worst;
}

inline double objective(const TableLp& p, const std::vector<double>& x)
{
    double f = 0;
    for (int j = 0; j < p.n; ++j)
        f += p.c[j] * x[j];
    return f;
}

// The reference's verdict; when "ok", its optimum at a point that meets
// the rows and bounds, and when not, x all NaN.
inline void expect_reference(const TableLp& p, const std::string& got, const std::vector<double>& x)
{
    EXPECT_EQ(got, lp_status_text(p.status));
    if (got != lp_status_text(p.status))
        return;
    if (p.status != 1) {
        EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](double v) { return std::isnan(v); }));
        return;
    }
    EXPECT_NEAR(objective(p, x), p.optimum, 1e-6 * std::max(1.0, std::fabs(p.optimum)));
    EXPECT_LE(violation(p, x), 1e-6);
}

} // namespace test
