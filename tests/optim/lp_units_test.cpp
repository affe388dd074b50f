// lp on problems whose bounds, right-hand sides and costs come in units far
// from 1: every bound and right-hand side scaled by 2^-1000 .. 2^60 and the
// costs by 2^-300 .. 2^300, whose answer scales exactly; one row or the
// free columns scaled by up to 2^+-1020; two problems side
// by side, one with bounds of 1e19 and one with right-hand sides of 1e-6
// and costs of 1e-8; and infinite bounds given as Inf, 1e20, 1e30 or the
// largest double, which are all the same bound.
#include "lp_tables.hpp"
#include "test_support.hpp"
#include "velkor.h"

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

namespace {

using test::TableLp;

const std::vector<TableLp> problems = {
#include "data/lp_units_reference.inc"
};

// Bounds and right-hand sides times 2^e, costs times 2^f: the verdict is
// the same, x scales by 2^e and the optimum by 2^(e + f), up to rounding.
// Bounds stay below 1e20, where a bound is none.
TEST(LpUnits, ScaledByPowersOfTwo)
{
    for (const TableLp& p : problems)
        for (int e : {-1000, -600, -200, -60, -20, 0, 20, 50, 60})
            for (int f : {0, -30, 30, -300, 300}) {
                SCOPED_TRACE(std::string(p.name) + ", bounds and b times 2^" + std::to_string(e) + ", c times 2^" +
                             std::to_string(f));
                std::vector<double> x;
                const std::string got = test::solve_scaled(p, std::vector<double>(p.n, 1.0), std::ldexp(1.0, e),
                                                           std::ldexp(1.0, f), x);
                test::expect_reference(p, got, x);
            }
}

// One row scaled by 2^-1020 .. 2^1016 (its entries stay finite), or the
// free columns by 2^-1000 .. 2^1000: the answer
// is the same. The scaling's geometric means were taken as the square root
// of a product, which is 0 for two entries of 2^-800, and the scaled
// entries as an entry over the product of a row's and a column's factor,
// which may overflow where each factor is a double: a scale factor of 0 or
// an infinite entry left every value NaN, or made a bounded problem
// unbounded.
TEST(LpUnits, RowOrFreeColumnsScaledFar)
{
    for (const TableLp& p : problems)
        for (int e : {-1020, -1000, -800, -500, 500, 800, 1000, 1016}) {
            const double f = std::ldexp(1.0, e);
            std::vector<double> d(p.n, 1.0);
            for (int j = 0; j < p.n; ++j)
                if (std::isinf(p.lb[j]) && std::isinf(p.ub[j]))
                    d[j] = f;
            std::vector<double> x;
            // Free columns times 2^-1020 would take values past the
            // largest double.
            if (std::abs(e) <= 1000) {
                SCOPED_TRACE(std::string(p.name) + ", free columns times 2^" + std::to_string(e));
                test::expect_reference(p, test::solve_scaled(p, d, 1, 1, x), x);
            }
            for (int i = 0; i < p.m; ++i) {
                SCOPED_TRACE(std::string(p.name) + ", row " + std::to_string(i) + " times 2^" + std::to_string(e));
                std::vector<double> r(p.m, 1.0);
                r[i] = f;
                test::expect_reference(p, test::solve_scaled(p, std::vector<double>(p.n, 1.0), 1, 1, x, r), x);
            }
        }
}

// Two problems side by side, sharing no row: the first with its bounds and
// right-hand sides times `big`, the second times `small` and its costs
// times `cost`. Each part must reach its own optimum at a point meeting
// its own rows: the parts' entries are alike, so the scaling could not
// tell them apart, and in the units the first set the rows of the second
// were lost below every floor and tolerance; lp answered "ok" with the
// second part at 0, its equality rows missed altogether.
TEST(LpUnits, PartsInUnitsFarApart)
{
    struct Units {
        double big, small, cost;
    };
    const std::vector<Units> units = {{1e18, 1e-6, 1e-8}, {0x1p60, 0x1p-20, 0x1p-27}, {1e17, 1e-9, 1e-12},
                                      {1, 1e-6, 1e-8}, {1e18, 1, 1}};
    for (std::size_t k = 0; k + 1 < problems.size(); ++k) {
        const TableLp &p = problems[k], &q = problems[k + 1];
        if (p.status != 1 || q.status != 1)
            continue;
        for (const Units& u : units) {
            SCOPED_TRACE(std::string(p.name) + " times " + std::to_string(u.big) + " beside " + q.name + " times " +
                         std::to_string(u.small) + ", costs " + std::to_string(u.cost));
            // Rows: the equalities of p, of q, then the limits of p, of q.
            const int m = p.m + q.m, n = p.n + q.n;
            std::vector<int> row_p(p.m), row_q(q.m);
            int next = 0;
            for (int i = 0; i < p.neq; ++i)
                row_p[i] = next++;
            for (int i = 0; i < q.neq; ++i)
                row_q[i] = next++;
            for (int i = p.neq; i < p.m; ++i)
                row_p[i] = next++;
            for (int i = q.neq; i < q.m; ++i)
                row_q[i] = next++;
            TableLp both{"both", m, n, p.neq + q.neq, std::vector<double>(static_cast<std::size_t>(m) * n, 0.0),
                         std::vector<double>(m), {}, {}, {}, 1, 0};
            for (int j = 0; j < p.n; ++j) {
                for (int i = 0; i < p.m; ++i)
                    both.A[row_p[i] + static_cast<std::size_t>(j) * m] = p.a(i, j);
                both.c.push_back(p.c[j]);
                both.lb.push_back(p.lb[j] * u.big);
                both.ub.push_back(p.ub[j] * u.big);
            }
            for (int j = 0; j < q.n; ++j) {
                for (int i = 0; i < q.m; ++i)
                    both.A[row_q[i] + static_cast<std::size_t>(p.n + j) * m] = q.a(i, j);
                both.c.push_back(q.c[j] * u.cost);
                both.lb.push_back(q.lb[j] * u.small);
                both.ub.push_back(q.ub[j] * u.small);
            }
            for (int i = 0; i < p.m; ++i)
                both.b[row_p[i]] = p.b[i] * u.big;
            for (int i = 0; i < q.m; ++i)
                both.b[row_q[i]] = q.b[i] * u.small;
            std::vector<double> x;
            const std::string got = test::solve_scaled(both, std::vector<double>(n, 1.0), 1, 1, x);
            ASSERT_EQ(got, "ok");
            std::vector<double> xp(x.begin(), x.begin() + p.n), xq(x.begin() + p.n, x.end());
            for (double& v : xp)
                v /= u.big;
            for (double& v : xq)
                v /= u.small;
            test::expect_reference(p, got, xp);
            test::expect_reference(q, got, xq);
        }
    }
}

// A bound of magnitude 1e20 or more is no bound: given as Inf, 1e20, 1e30
// or the largest double, an infinite bound gives one verdict and optimum.
TEST(LpUnits, InfiniteBoundsInEveryForm)
{
    for (const TableLp& p : problems)
        for (double inf : {double(INFINITY), 1e20, 1e30, DBL_MAX}) {
            SCOPED_TRACE(std::string(p.name) + ", infinite bounds as " + std::to_string(inf));
            TableLp q = p;
            for (double& v : q.lb)
                if (std::isinf(v))
                    v = -inf;
            for (double& v : q.ub)
                if (std::isinf(v))
                    v = inf;
            std::vector<double> x;
            const std::string got = test::solve_scaled(q, std::vector<double>(p.n, 1.0), 1, 1, x);
            test::expect_reference(p, got, x);
        }
}

// Rows whose entries span the whole range of doubles: min -x1 - 2x2 with
// a x1 + x2 <= 4, x1 - x2 <= 2 and x >= 0 has its optimum at x = [0 4]
// for every a > 1. With a = 1e308 no scaling brings the entries near 1
// (1e154 apart at best), and the iterations may not reach it; they said
// "infeasible" beside the point x = 0 (and "unbounded" before the
// clean-up of tiny entries judged them as given). An answer is the
// optimum, and no other verdict is given.
TEST(LpUnits, EntriesAcrossTheWholeRangeGetNoWrongVerdict)
{
    for (double a : {1e16, 1e100, 1e200, 1e300, 1e308}) {
        SCOPED_TRACE("a = " + std::to_string(a));
        Mm x, lambda, how;
        lp(test::row({-1, -2}), test::real(2, 2, {a, 1, 1, -1}), test::real(2, 1, {4, 2}), test::row({0, 0}), nop_M,
           nop_M, Mm(0.0), Mm(-1.0), i_o, x, lambda, how);
        const std::string got = test::text_of(how);
        if (got.empty())
            continue;
        ASSERT_EQ(got, "ok");
        const std::vector<double> xv = test::values(x);
        EXPECT_NEAR(xv[0], 0, 1e-6);
        EXPECT_NEAR(xv[1], 4, 1e-6);
    }
}

// min -x1 with x1 - x2 <= 1 and -x1 + (1 + e) x2 <= 1: the rows are nearly
// opposite, the strip between them widens by e per unit of x2, and the
// optimum x = [1 + 2/e, 2/e] lies far beyond anything the data gives a
// size to. From e = 1e-6 on, about 7 of these 18 runs ended without an
// answer; with x >= 0 as given, every one did.
// Columns free or x >= 0, columns and rows scaled, costs at three scales.
// Below e = 2e-6 the rows part by less than 1e-6 of their terms along the
// way out, the share every answer is held to, so within it the problem
// is unbounded; the iterations' accuracy is spent there too. The verdict
// may then be "unbounded" or none, but no other, and an "ok" is the
// optimum.
TEST(LpUnits, NearlyOppositeRowsHoldTheOptimumFarOut)
{
    auto problem = [](double e, bool free) {
        const double lb = free ? -INFINITY : 0;
        return TableLp{"nearly opposite rows", 2, 2, 0, {1, -1, -1, 1 + e}, {1, 1}, {-1, 0}, {lb, lb},
                       {INFINITY, INFINITY}, 1, -(1 + 2 / e)};
    };
    const std::vector<std::pair<std::vector<double>, std::vector<double>>> scalings = {
        {{1, 1}, {1, 1}}, {{1e-4, 1e4}, {1, 1}}, {{1, 1}, {1e3, 1e-3}}};
    for (double e : {1e-2, 1e-4, 1e-5, 5e-6, 2e-6, 1e-6, 5e-7, 2e-7, 1e-7, 5e-8, 2e-8, 1e-8, 1e-10})
        for (bool free : {false, true})
            for (const auto& [d, r] : scalings)
                for (double t : {1e-8, 1.0, 1e8}) {
                    const TableLp p = problem(e, free);
                    SCOPED_TRACE("e = " + std::to_string(e) + (free ? ", free" : ", x >= 0") + ", columns times " +
                                 std::to_string(d[0]) + ", rows times " + std::to_string(r[0]) +
                                 ", costs times " + std::to_string(t));
                    std::vector<double> x;
                    const std::string got = test::solve_scaled(p, d, 1.0, t, x, r);
                    if (e < 2e-6 && (got == "unbounded" || got.empty()))
                        continue;
                    test::expect_reference(p, got, x);
                }
    // The calls as written, which ended without an answer.
    for (double e : {1e-6, 1e-7}) {
        SCOPED_TRACE("e = " + std::to_string(e) + ", as written");
        const TableLp p = problem(e, false);
        std::vector<double> x;
        test::expect_reference(p, test::solve_scaled(p, {1, 1}, 1.0, 1.0, x), x);
    }
}

// [1 1 1] x = 1 beside a near copy [1+e 1 1] x = b2, x >= 0, min x1 + 2 x2 +
// 3 x3, e from 1e-2 to 1e-13 of either sign, b2 = 1 (optimum 2 at [0 1 0]),
// 1 + e/2 (1.5 at [0.5 0.5 0]) or 1 + 1e-3 (feasible only where x1 = 1e-3/e
// fits in [0, 1]), the first column scaled, costs at three scales. From
// e = 1e-5 to 4e-6 the near copy was dropped as a copy: 12 of these 54
// runs were called infeasible at 1e-5 and 9 came back "ok" at objective 1
// at 4e-6, the rest without an answer. Where the rows part by less than
// the answer check's 1e-6 of their terms (e below 3e-6) an answer meets
// them to that share, [1 0 0] among them. Every verdict is the reference's
// or none, and every "ok" the optimum, or below it within that share.
TEST(LpUnits, NearCopiesOfAnEqualityRow)
{
    for (double e : {1e-2, 1e-3, 1e-4, 1e-5, 5e-6, 4e-6, 3e-6, 2e-6, 1e-6, 1e-8, 1e-10, 1e-13})
        for (double sign : {1.0, -1.0})
            for (int kind = 0; kind < 3; ++kind)
                for (double column : {1.0, 1e-4, 1e4})
                    for (double t : {1e-8, 1.0, 1e8}) {
                        const double d = sign * e, x1 = 1e-3 / d;
                        const double b2 = kind == 0 ? 1 : kind == 1 ? 1 + d / 2 : 1 + 1e-3;
                        const bool feasible = kind < 2 || (x1 >= 0 && x1 <= 1);
                        const double optimum = kind == 0 ? 2 : kind == 1 ? 1.5 : x1 + 2 * (1 - x1);
                        const TableLp p{"near copy", 2, 3, 2, {1, 1 + d, 1, 1, 1, 1}, {1, b2}, {1, 2, 3}, {0, 0, 0},
                                        {INFINITY, INFINITY, INFINITY}, feasible ? 1 : 2, feasible ? optimum : 0};
                        SCOPED_TRACE("e = " + std::to_string(d) + ", b2 = 1 + " + std::to_string(b2 - 1) +
                                     ", first column times " + std::to_string(column) + ", costs times " +
                                     std::to_string(t));
                        std::vector<double> x;
                        const std::string got = test::solve_scaled(p, {column, 1, 1}, 1.0, t, x);
                        if (got.empty())
                            continue;
                        if (got == "ok" && feasible && e < 4e-6) {
                            EXPECT_LE(test::violation(p, x), 2e-6);
                            EXPECT_LE(test::objective(p, x), optimum + 1e-6 * optimum);
                            continue;
                        }
                        test::expect_reference(p, got, x);
                    }
}

// Pairs of columns with A_b = -r A_a, r from 0.1 to 3, whose ray r x_a +
// x_b leaves A x where it is: the costs push the far column of each pair
// to its upper bound U, its lower bound -U, or to U/2 where a row of size
// 1 holds it, U from 1e3 to 1e19, with the pairs in the equality rows or
// in the limits, their columns boxed, free but for the far column's bound,
// or bounded below only, and costs as drawn or negated, each at three
// scales. These are the variants of that sweep that lp got wrong or left
// without an answer under one BLAS kernel or another.
// - Free pairs in equality rows were called unbounded from U = 1e6 on (a
//   ray presolve found while far bounds were left out).
// - Some far columns held inside were answered "ok" with rows of size 1
//   missed by whole units (the answer check gave those rows the size of
//   the far column's own row). Holding each row to its own size also
//   turned away the right answer of a finish measured from a far point,
//   whose polish needs the whole problem's columns: that answer is now
//   judged in the whole problem (LpBoundSweep.HardProblemsReachTheReferences,
//   Prescott kernel).
// - Most ended without an answer: the row holding a far column inside
//   set the units of every column as a right-hand side (it is a bound of
//   its column, and is taken as one), and costs of 1e8 or 1e-8 were
//   brought only to 1e3 or 1e-3 beside right-hand sides of 1.
// - Then 0.5% of the sweep's runs still ended without an answer, nearly
//   all with free pairs. Most were unbounded: their iterations stalled on
//   the way out and the ray was never sought. Some had their optimum on a
//   bound left out of a first solve that never came back, as presolve's
//   ray ran through a free partner. And costs of 1e-8 asked the problem
//   of directions for one of 1e8. lp now finishes from the bounds it left
//   out, and settles a last stall by a ray and a point of the problem as
//   given.
// All get the reference's verdict, save six variants at U = 1e12 and
// 1e19, which may end without an answer (status 4, an empty verdict) but
// with no other one.
const std::vector<TableLp> pairs_at_other_ratios = {
#include "data/lp_pairs_ratios.inc"
};

bool may_end_without_answer(const std::string& name)
{
    for (const char* variant :
         {"r = 0.1, 15x25 draw 1, pairs in the limits, free, far column inside, costs as drawn, U = 1e+19",
          "r = 0.1, 20x30 draw 3, pairs in the limits, free, far column inside, costs as drawn, U = 1e+19",
          "r = 0.99, 40x80 draw 5, pairs in the equalities, free, far column inside, costs as drawn, U = 1e+19",
          "r = 0.99, 40x80 draw 5, pairs in the equalities, free, far column upper, costs as drawn, U = 1e+19",
          "r = 0.99, 40x80 draw 5, pairs in the equalities, lower only, far column inside, costs as drawn, U = 1e+19",
          "r = 3, 30x50 draw 4, pairs in the equalities, free, far column inside, costs negated, U = 1e+12"})
        if (name == variant)
            return true;
    return false;
}

TEST(LpBoundSweep, PairsAtOtherRatiosReachTheReferences)
{
    for (const TableLp& p : pairs_at_other_ratios)
        for (double t : {1e-8, 1.0, 1e8}) {
            SCOPED_TRACE(std::string(p.name) + ", costs times " + std::to_string(t));
            std::vector<double> x;
            const std::string got = test::solve_scaled(p, std::vector<double>(p.n, 1.0), 1.0, t, x);
            if (got.empty() && may_end_without_answer(p.name))
                continue;
            test::expect_reference(p, got, x);
        }
}

} // namespace
