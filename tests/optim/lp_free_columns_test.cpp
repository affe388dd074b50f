// lp on problems with free columns (lb = -Inf, ub = Inf) and columns with
// only an upper bound, as a user writes them: random problems with some or
// all columns free, square, tall and rank-deficient systems, a free column
// along a ray of zero cost, in no row, beside dense columns and twice over,
// and infeasible ones; each against the independent solver's verdict and
// optimum, as given and with the free columns scaled; and small problems
// whose columns take the bound types of the MPS form.
#include "lp_tables.hpp"
#include "temp_dir.hpp"
#include "test_support.hpp"
#include "velkor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace {

using test::TableLp;

const std::vector<TableLp> problems = {
#include "data/lp_free_columns_reference.inc"
};

// The problem with each free column j standing for 2^e times itself:
// exact in binary, so the answer scales back exactly up to the rounding of
// the iterations.
std::string solve(const TableLp& p, int e, std::vector<double>& x)
{
    std::vector<double> d(p.n, 1.0);
    for (int j = 0; j < p.n; ++j)
        if (std::isinf(p.lb[j]) && std::isinf(p.ub[j]))
            d[j] = std::ldexp(1.0, e);
    return test::solve_scaled(p, d, 1, 1, x);
}

// The verdict, and when "ok" the optimum at a point that meets the rows
// and bounds, of the problems listed, each with its free columns scaled
// by 2^e for e in the list.
void expect_references(const std::vector<std::string>& names, std::initializer_list<int> exponents)
{
    for (const TableLp& p : problems) {
        if (!names.empty() && std::find(names.begin(), names.end(), p.name) == names.end())
            continue;
        for (int e : exponents) {
            SCOPED_TRACE(std::string(p.name) + ", free columns scaled by 2^" + std::to_string(e));
            std::vector<double> x;
            const std::string got = solve(p, e, x);
            test::expect_reference(p, got, x);
        }
    }
}

// Unbounded problems with free columns ended "Too many iterations": the
// free columns grow a hundred-millionfold a step along a ray, the point
// they ran out to lost its rows, and the ray read off it, rescaled column
// by column, balanced none of them. With the free columns scaled by
// 2^-200, the problem of directions that stands in for it lost them in
// turn; and a column in no row (scale factor 1 beside factors of 1e-38)
// set the units of the others' costs and bounds, so that problems with a
// free column beside dense ones stalled short of their optimum, or were
// called infeasible. Presolve's substitutions left free columns in no row
// with costs of 4e-16 that should have cancelled, and called problems
// with an optimum unbounded (the draws of the seeds past the first); and
// the bound of a column in no row, 1e-28 in the units the others set,
// was cleaned to 0 and the column fixed there.
TEST(LpFreeColumns, ReachTheReferenceVerdictAndOptimum)
{
    expect_references({}, {0, 60, -60, 200, -200, 500, -500});
}

// A free column's cost that is small beside the others' still decides the
// verdict: a free column in no row, or alone in its rows (whose factor
// the scaling then takes), scaled by 2^-60 had its cost 1e-18 of the
// others' wiped as rounding noise, and an unbounded problem ended "ok".
TEST(LpFreeColumns, SmallCostsAlongARayCount)
{
    expect_references({"ray1", "ray2", "norow1", "norow-1"}, {-60, -200, -500});
}

struct MpsLp {
    const char* name;
    int m, n, neq;
    std::vector<double> A, b, c;
    const char* bounds;  // per column separated by ';', its lines by ','
    int status;
    double optimum;
};

const std::vector<MpsLp> mps_problems = {
#include "data/lp_mps_bounds_reference.inc"
};

// The problem in the fixed fields of the MPS form: E rows first, L rows
// after, the bound lines of each column in their order.
std::string mps_text(const MpsLp& p)
{
    auto line = [](const char* head, const std::string& a, const std::string& b, double v) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%-4s%-8s  %-8s  %12g\n", head, a.c_str(), b.c_str(), v);
        return std::string(buf);
    };
    std::string out = "NAME          BOUNDS\nROWS\n N  COST\n";
    for (int i = 0; i < p.m; ++i)
        out += std::string(i < p.neq ? " E  R" : " L  R") + std::to_string(i) + "\n";
    out += "COLUMNS\n";
    for (int j = 0; j < p.n; ++j) {
        const std::string name = "X" + std::to_string(j);
        out += line("", name, "COST", p.c[j]);
        for (int i = 0; i < p.m; ++i)
            if (p.A[i + static_cast<std::size_t>(j) * p.m] != 0)
                out += line("", name, "R" + std::to_string(i), p.A[i + static_cast<std::size_t>(j) * p.m]);
    }
    out += "RHS\n";
    for (int i = 0; i < p.m; ++i)
        out += line("", "RHS", "R" + std::to_string(i), p.b[i]);
    out += "BOUNDS\n";
    std::stringstream columns(p.bounds);
    std::string column;
    for (int j = 0; std::getline(columns, column, ';'); ++j) {
        std::stringstream lines(column);
        std::string one;
        while (std::getline(lines, one, ',')) {
            if (one.empty())
                continue;
            const std::string type = one.substr(0, 2);
            const double v = one.size() > 3 ? std::stod(one.substr(3)) : 0.0;
            out += line((" " + type + " ").c_str(), "BND", "X" + std::to_string(j), v);
        }
    }
    return out + "ENDATA\n";
}

// FR frees a column below and keeps its upper bound, MI frees it below and
// puts its upper bound at 0, PL changes nothing; UP, LO and FX after them
// set what they name. Read through lp's file form, each problem reaches
// the verdict and optimum of the same bounds given to the independent
// solver.
TEST(LpFreeColumns, MpsBoundTypes)
{
    test::temp_dir dir;
    for (const MpsLp& p : mps_problems) {
        SCOPED_TRACE(std::string(p.name) + ": " + p.bounds);
        dir.write("bounds.mps", mps_text(p));
        test::clear_printed();
        Mm x, lambda;
        lp(test::text((dir.path() / "bounds.mps").c_str()), i_o, x, lambda);
        const char* printed[] = {"", "Optimal solution\n", "Infeasible problem\n", "Unbounded problem\n"};
        EXPECT_EQ(test::printed(), printed[p.status]);
        if (p.status != 1 || test::printed() != printed[1])
            continue;
        const std::vector<double> xv = test::values(x);
        ASSERT_EQ(static_cast<int>(xv.size()), p.n);
        double objective = 0;
        for (int j = 0; j < p.n; ++j)
            objective += p.c[j] * xv[j];
        EXPECT_NEAR(objective, p.optimum, 1e-6 * std::max(1.0, std::fabs(p.optimum)));
        for (int i = 0; i < p.m; ++i) {
            double ax = 0, size = std::fabs(p.b[i]);
            for (int j = 0; j < p.n; ++j) {
                ax += p.A[i + static_cast<std::size_t>(j) * p.m] * xv[j];
                size += std::fabs(p.A[i + static_cast<std::size_t>(j) * p.m] * xv[j]);
            }
            if (i < p.neq)
                EXPECT_LE(std::fabs(ax - p.b[i]), 1e-6 * size);
            else
                EXPECT_LE(ax - p.b[i], 1e-6 * size);
        }
    }
}

} // namespace
