// lp and its solver: the matrix forms with their defaults and multipliers,
// presolve and standard form (fixed, doubleton, dependent, free and bounded
// columns), statuses and their messages, the MPS reader, and random
// problems against an independent solver's optima.
#include "optim/lp_solver.hpp"
#include "test_support.hpp"
#include "velkor.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const double inf = 1e20;

std::vector<double> column(const Mm& v) { return test::values(v); }

void expect_near_all(const std::vector<double>& got, const std::vector<double>& want, double tol)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_NEAR(got[k], want[k], tol) << "entry " << k;
}

TEST(Lp, SmallProblemWithMultipliers)
{
    test::clear_printed();
    Mm x, lambda, how;
    lp(test::row({-1, -2}), test::real(2, 2, {1, 1, 1, -1}), test::real(2, 1, {4, 2}), test::row({0, 0}), i_o, x,
       lambda, how);
    expect_near_all(column(x), {0, 4}, 1e-6);
    expect_near_all(column(lambda), {2, 0}, 1e-6);
    EXPECT_EQ(test::text_of(how), "ok");
    EXPECT_EQ(test::printed(), "Optimal solution\n");
}

TEST(Lp, EqualityRowsAndBounds)
{
    // min 2x1 + 3x2 + x3, x1 + x3 = 3 (first row), -x1 - x2 <= -4,
    // -x2 - x3 <= -3, 0 <= x <= 10.
    const Mm c = test::row({2, 3, 1});
    const Mm A = test::real(3, 3, {1, -1, 0, 0, -1, -1, 1, 0, -1});
    const Mm b = test::real(3, 1, {3, -4, -3});
    Mm x, lambda;
    lp(c, A, b, test::row({0, 0, 0}), test::row({10, 10, 10}), nop_M, Mm(1.0), Mm(-1.0), i_o, x, lambda);
    expect_near_all(column(x), {2, 2, 1}, 1e-6);
    const std::vector<double> xv = column(x), lv = column(lambda);
    EXPECT_NEAR(2 * xv[0] + 3 * xv[1] + xv[2], 11, 1e-6);
    // Stationarity: c + A'lambda is the bound multipliers, zero where the
    // variable is strictly between its bounds.
    for (int j = 0; j < 3; ++j) {
        double g = test::at(c, j);
        for (int i = 0; i < 3; ++i)
            g += test::at(A, i + 3 * j) * lv[i];
        if (xv[j] > 1e-4 && xv[j] < 10 - 1e-4)
            EXPECT_NEAR(g, 0, 1e-6) << "column " << j;
    }
    EXPECT_GE(lv[1], -1e-8);
    EXPECT_GE(lv[2], -1e-8);
}

TEST(Lp, Defaults)
{
    const Mm c = test::row({-1, -2}), A = test::real(2, 2, {1, 1, 1, -1}), b = test::real(2, 1, {4, 2});
    struct Case {
        const char* what;
        Mm neq;
    };
    for (const Case& k : std::vector<Case>{{"neq -1", Mm(-1.0)}, {"neq m + 1", Mm(3.0)}, {"neq NaN", Mm(NAN)}}) {
        SCOPED_TRACE(k.what);
        test::clear_printed();
        Mm x = lp(c, A, b, test::row({0, 0}), nop_M, nop_M, k.neq, Mm(-1.0));
        expect_near_all(column(x), {0, 4}, 1e-6);
        EXPECT_EQ(test::printed(), "");
    }
    // lb shorter than n: the rest unbounded below (x2 >= -5 from its row).
    Mm x = lp(test::row({1, 1}), test::real(2, 2, {-1, 0, 0, -1}), test::real(2, 1, {0, 5}), test::row({0}));
    expect_near_all(column(x), {0, -5}, 1e-6);
    // An A without non-zeros: every column is empty, which the solver
    // reports as a singular A.
    test::clear_printed();
    Mm x2, l2, h2;
    lp(test::row({1}), test::real(1, 1, {0}), test::real(1, 1, {5}), test::row({2}), test::row({7}), i_o, x2, l2,
       h2);
    EXPECT_EQ(h2.size(), 0);
    EXPECT_EQ(test::printed(), "A is singular\n");
}

TEST(Lp, Infeasible)
{
    test::clear_printed();
    Mm x, lambda, how;
    lp(test::row({1}), test::real(2, 1, {1, -1}), test::real(2, 1, {1, -2}), i_o, x, lambda, how);
    ASSERT_EQ(x.size(), 1);
    EXPECT_TRUE(std::isnan(test::at(x, 0)));
    EXPECT_EQ(lambda.size(), 0);
    EXPECT_EQ(test::text_of(how), "infeasible");
    EXPECT_EQ(test::printed(), "Infeasible problem\n");
}

TEST(Lp, ArgumentErrors)
{
    const Mm A = test::real(2, 2, {1, 1, 1, -1});
    EXPECT_ERROR(lp(test::row({1, 1}), A, test::real(3, 1, {1, 2, 3})), "lp: A and b must have same number of rows");
    EXPECT_ERROR(lp(test::row({1, 1, 1}), A, test::real(2, 1, {1, 2})),
                 "lp: number of rows in C must be same as number of columns in A");
    EXPECT_ERROR(lp(Mm(3.0)), "lp does not accept 1 input");
    Mm x, l, h;
    EXPECT_ERROR(lp(test::text("a.mps"), i_o, x, l, h), "lp does not accept 1 input");
    EXPECT_ERROR(lp(test::row({1}), A), "lp does not accept 2 inputs");
}

// ---- the solver object ----

struct Problem {
    int m, n;
    std::vector<double> rows, cols, vals;  // 1-based triplets
    std::vector<double> b;
    std::vector<int> kinds;
    std::vector<double> c, l, u;
};

LpSolver solve(const Problem& p)
{
    std::vector<double> t(p.rows);
    t.insert(t.end(), p.cols.begin(), p.cols.end());
    t.insert(t.end(), p.vals.begin(), p.vals.end());
    int le = 0, eq = 0, ge = 0;
    for (int k : p.kinds)
        (k == 1 ? le : k == 0 ? eq : ge) += 1;
    LpSolver s;
    s.load_triplets(static_cast<int>(p.vals.size()), p.m, p.n, le, eq, ge, t.data(), p.b.data(), p.kinds.data(),
                    p.c.data(), p.l.data(), p.u.data());
    return s;
}

TEST(LpSolverObject, PresolveCases)
{
    struct Case {
        const char* what;
        Problem p;
        int status;
        std::vector<double> x;
    };
    const std::vector<Case> cases = {
        // min x1 + x2 + x3, x1 + x2 + x3 >= 2, x3 fixed at 0.5.
        {"fixed column",
         {1, 3, {1, 1, 1}, {1, 2, 3}, {1, 1, 1}, {2}, {-1}, {1, 1, 1}, {0, 0, 0.5}, {10, 10, 0.5}},
         1,
         {}},
        // min -x1, x1 + 2 x2 = 4, x1 - x2 <= 1, x >= 0: x1 = 2, x2 = 1.
        {"doubleton", {2, 2, {1, 2, 1, 2}, {1, 1, 2, 2}, {1, 1, 2, -1}, {4, 1}, {0, 1}, {-1, 0}, {0, 0}, {inf, inf}},
         1,
         {2, 1}},
        // Two identical rows: one is dependent.
        {"identical rows",
         {3, 2, {1, 2, 3, 1, 2, 3}, {1, 1, 1, 2, 2, 2}, {1, 1, 1, 1, 1, 2}, {3, 3, 5}, {0, 0, 1}, {1, 2}, {0, 0},
          {inf, inf}},
         1,
         {3, 0}},
        // Two identical rows of three entries reach the factorisation, which
        // drops one as dependent: min x1 + 2 x2 + 3 x3 with
        // x1 + x2 + x3 = 3 twice and x1 <= 2.
        {"identical rows in the factorisation",
         {3, 3, {1, 2, 3, 1, 2, 1, 2}, {1, 1, 1, 2, 2, 3, 3}, {1, 1, 1, 1, 1, 1, 1}, {3, 3, 2}, {0, 0, 1}, {1, 2, 3},
          {0, 0, 0}, {inf, inf, inf}},
         1,
         {2, 1, 0}},
        {"empty equality row 0 = 5",
         {2, 1, {1}, {1}, {1}, {1, 5}, {1, 0}, {1}, {0}, {inf}},
         2,
         {}},
        {"empty first column", {1, 2, {1}, {2}, {1}, {1}, {1}, {1, 1}, {0, 0}, {1, 1}}, 5, {}},
        {"empty middle column", {1, 3, {1, 1}, {1, 3}, {1, 1}, {1}, {1}, {1, 1, 1}, {0, 0, 0}, {1, 1, 1}}, 5, {}},
        {"empty last column", {1, 2, {1}, {1}, {1}, {1}, {1}, {1, 1}, {0, 0}, {1, 1}}, 5, {}},
        // A free column: min x1 + x2 with x1 - x2 = -3, x2 <= 1: x1 free.
        {"free column",
         {2, 2, {1, 1, 2}, {1, 2, 2}, {1, -1, 1}, {-3, 1}, {0, 1}, {0, 1}, {-inf, 0}, {inf, inf}},
         1,
         {-3, 0}},
        // An upper-only column: max x1 (min -x1) with x1 + x2 = 1, x1 <= 0.5.
        {"upper-only column",
         {1, 2, {1, 1}, {1, 2}, {1, 1}, {1}, {0}, {-1, 0}, {-inf, 0}, {0.5, inf}},
         1,
         {0.5, 0.5}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        LpSolver s = solve(k.p);
        EXPECT_EQ(s.status, k.status);
        if (!k.x.empty() && s.status == 1)
            expect_near_all(s.x(), k.x, 1e-6);
        if (s.status == 1) {
            // Feasibility of the loaded rows.
            for (int i = 0; i < k.p.m; ++i) {
                double ax = 0;
                for (std::size_t e = 0; e < k.p.vals.size(); ++e)
                    if (k.p.rows[e] == i + 1)
                        ax += k.p.vals[e] * s.x()[static_cast<int>(k.p.cols[e]) - 1];
                if (k.p.kinds[i] == 0)
                    EXPECT_NEAR(ax, k.p.b[i], 1e-6);
                else if (k.p.kinds[i] == 1)
                    EXPECT_LE(ax, k.p.b[i] + 1e-6);
                else
                    EXPECT_GE(ax, k.p.b[i] - 1e-6);
            }
        }
        s.release();
    }
}

TEST(LpSolverObject, RowCountsThatDisagree)
{
    Problem p{2, 1, {1, 2}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1}, {0}, {inf}};
    std::vector<double> t(p.rows);
    t.insert(t.end(), p.cols.begin(), p.cols.end());
    t.insert(t.end(), p.vals.begin(), p.vals.end());
    LpSolver s;
    s.load_triplets(2, 2, 1, 1, 0, 0, t.data(), p.b.data(), p.kinds.data(), p.c.data(), p.l.data(), p.u.data());
    EXPECT_EQ(s.status, 6);
    s.release();
}

TEST(LpSolverObject, StatusMessages)
{
    struct Case {
        int status;
        const char* printed;
        const char* text;
    };
    const std::vector<Case> cases = {
        {1, "Optimal solution\n", "ok"},       {2, "Infeasible problem\n", "infeasible"},
        {3, "Unbounded problem\n", "unbounded"}, {4, "Too many iterations\n", nullptr},
        {5, "A is singular\n", nullptr},        {6, "Inconsistent initial\n", nullptr},
        {7, "Inconsistent A\n", nullptr},       {8, "File not found\n", nullptr},
        {9, "MPS error\n", nullptr},            {0, "LP internal error\n", nullptr},
        {-5, "LP internal error\n", nullptr},   {10, "", nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.status);
        test::clear_printed();
        const char* t = lp_status_message(k.status, 0);
        EXPECT_EQ(test::printed(), k.printed);
        EXPECT_EQ(t == nullptr, k.text == nullptr);
        if (t && k.text)
            EXPECT_STREQ(t, k.text);
        test::clear_printed();
        lp_status_message(k.status, -1);
        EXPECT_EQ(test::printed(), "");
    }
}

} // namespace
