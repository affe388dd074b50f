// The sparse normal equations of the LP solver: ordering, symbolic and
// numeric factorisation checked on their own (structure far below m^2,
// solves against the product, dependent, postponed and dropped pivots),
// and large sparse problems solved to an independent solver's optimum.
#include "optim/lp_ipm.hpp"
#include "optim/lp_panel_kernel.hpp"
#include "lp_problems.hpp"
#include "optim/lp_solver.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The generator of tools/reference/lp_sparse_reference.py, draw for draw.
struct Lcg {
    std::uint64_t state;
    double unit()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
};

double three(double v) { return std::floor(v * 1000 + 0.5) / 1000; }

struct SparseLp {
    int m = 0, n = 0, neq = 0;
    std::vector<int> rows, cols;  // 0-based, in column order
    std::vector<double> vals, b, c, ub;
};

SparseLp generate(std::uint64_t seed, int m, int n, int neq, int band, double far)
{
    Lcg g{seed};
    SparseLp p;
    p.m = m;
    p.n = n;
    p.neq = neq;
    std::vector<double> x0;
    for (int j = 0; j < n; ++j) {
        const int r0 = j % m;
        std::vector<int> mine{r0};
        for (int t = 0; t < 2; ++t) {
            int r = (r0 + 1 + static_cast<int>(g.unit() * band)) % m;
            if (g.unit() < far)
                r = static_cast<int>(g.unit() * m);
            if (std::find(mine.begin(), mine.end(), r) == mine.end())
                mine.push_back(r);
        }
        for (int r : mine) {
            double v = three(2 * g.unit() - 1);
            if (v == 0)
                v = 0.5;
            p.rows.push_back(r);
            p.cols.push_back(j);
            p.vals.push_back(v);
        }
        double u = 1e20;
        if (g.unit() < 0.5)
            u = 1.0 + static_cast<int>(g.unit() * 9);
        p.ub.push_back(u);
        x0.push_back(g.unit() * std::min(u, 10.0));
        const double cj = three(2 * g.unit() - 1);
        p.c.push_back(u >= 1e20 ? std::fabs(cj) : cj);
    }
    p.b.assign(m, 0.0);
    for (std::size_t e = 0; e < p.vals.size(); ++e)
        p.b[p.rows[e]] += p.vals[e] * x0[p.cols[e]];
    for (int i = neq; i < m; ++i)
        p.b[i] += three(g.unit());
    return p;
}

struct Reference {
    std::uint64_t seed;
    int m, n, neq, band;
    double far;
    int status;
    double objective;
};

const std::vector<Reference> references = {
#include "data/lp_sparse_reference.inc"
};

// A as the iterate of the normal equations sees it.
LpIterate iterate_of(int m, int n, const std::vector<int>& rows, const std::vector<int>& cols,
                     const std::vector<double>& vals)
{
    LpIterate it;
    it.m = m;
    it.n = n;
    it.colptr.assign(n + 1, 0);
    for (int j : cols)
        ++it.colptr[j + 1];
    for (int j = 0; j < n; ++j)
        it.colptr[j + 1] += it.colptr[j];
    it.rowidx = rows;
    it.val = vals;
    return it;
}

// max_i |(A Theta A' v - r)_i| / (1 + max |r_i|).
double residual(const LpIterate& it, const std::vector<double>& theta, const std::vector<double>& v,
                const std::vector<double>& r)
{
    std::vector<double> mv(it.m, 0.0);
    for (int j = 0; j < it.n; ++j) {
        double a = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            a += it.val[p] * v[it.rowidx[p]];
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            mv[it.rowidx[p]] += it.val[p] * theta[j] * a;
    }
    double worst = 0, scale = 0;
    for (int i = 0; i < it.m; ++i) {
        worst = std::max(worst, std::fabs(mv[i] - r[i]));
        scale = std::max(scale, std::fabs(r[i]));
    }
    return worst / (1 + scale);
}

std::vector<double> product(const LpIterate& it, const std::vector<double>& theta, const std::vector<double>& v)
{
    std::vector<double> mv(it.m, 0.0);
    for (int j = 0; j < it.n; ++j) {
        double a = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            a += it.val[p] * v[it.rowidx[p]];
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
            mv[it.rowidx[p]] += it.val[p] * theta[j] * a;
    }
    return mv;
}

// The factor of a banded problem with a few far entries stays sparse, and
// its solves reproduce A Theta A' v for spread-out Theta.
TEST(LpNormalEquations, SparseFactorSolves)
{
    const SparseLp p = generate(21, 3000, 6000, 0, 30, 0.01);
    LpIterate it = iterate_of(p.m, p.n, p.rows, p.cols, p.vals);
    LpNormalMatrix nm;
    ASSERT_EQ(nm.analyse(it), 0);
    // A dense factor would hold m^2 / 2 = 4.5e6 entries.
    EXPECT_LT(nm.factor_entries(), static_cast<std::size_t>(p.m) * p.m / 10);
    std::vector<int> seen(nm.perm());
    std::sort(seen.begin(), seen.end());
    for (int k = 0; k < p.m; ++k)
        ASSERT_EQ(seen[k], k);
    Lcg g{5};
    std::vector<double> theta(p.n), v(p.m);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Theta over six orders of magnitude, as in the late iterations.
        for (double& t : theta)
            t = std::pow(10.0, 6 * g.unit() - 3 * round);
        for (double& x : v)
            x = 2 * g.unit() - 1;
        std::vector<double> r = product(it, theta, v);
        ASSERT_TRUE(nm.factor(it, theta.data(), round == 0, 15));
        EXPECT_EQ(nm.dependent_count(), 0);
        std::vector<double> s = r;
        nm.solve(s.data());
        double err = 0;
        for (int i = 0; i < p.m; ++i)
            err = std::max(err, std::fabs(s[i] - v[i]));
        EXPECT_LT(residual(it, theta, s, r), 1e-10);
        EXPECT_LT(err, 1e-6);
    }
}

// The column counts of the analysis are those of its own order, counted
// here by eliminating on the graph of A A' itself; a row present in every
// column is set aside and comes last.
TEST(LpNormalEquations, ColumnCountsFollowTheOrder)
{
    struct Case {
        const char* what;
        bool full_row;  // row 0 gets an entry in every column
    };
    const std::vector<Case> cases = {{"banded with far entries", false}, {"and a full row 0", true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const SparseLp p = generate(31, 400, 700, 0, 12, 0.02);
        std::vector<int> rows, cols;
        std::vector<double> vals;
        for (int j = 0, e = 0; j < p.n; ++j) {
            bool has_zero = false;
            for (; e < static_cast<int>(p.cols.size()) && p.cols[e] == j; ++e) {
                rows.push_back(p.rows[e]);
                cols.push_back(j);
                vals.push_back(p.vals[e]);
                has_zero = has_zero || p.rows[e] == 0;
            }
            if (k.full_row && !has_zero) {
                rows.push_back(0);
                cols.push_back(j);
                vals.push_back(0.5);
            }
        }
        LpIterate it = iterate_of(p.m, p.n, rows, cols, vals);
        LpNormalMatrix nm;
        ASSERT_EQ(nm.analyse(it), 0);
        const std::vector<int>& perm = nm.perm();
        std::vector<int> seen(perm);
        std::sort(seen.begin(), seen.end());
        for (int i = 0; i < p.m; ++i)
            ASSERT_EQ(seen[i], i);
        std::vector<std::vector<char>> g(p.m, std::vector<char>(p.m, 0));
        for (int j = 0; j < p.n; ++j)
            for (int a = it.colptr[j]; a < it.colptr[j + 1]; ++a)
                for (int b = it.colptr[j]; b < it.colptr[j + 1]; ++b)
                    g[it.rowidx[a]][it.rowidx[b]] = 1;
        std::vector<char> gone(p.m, 0);
        std::vector<int> counts;
        for (int v : perm) {
            gone[v] = 1;
            std::vector<int> nb;
            for (int i = 0; i < p.m; ++i)
                if (!gone[i] && g[v][i])
                    nb.push_back(i);
            counts.push_back(static_cast<int>(nb.size()));
            for (int a : nb)
                for (int b : nb)
                    g[a][b] = 1;
        }
        EXPECT_EQ(nm.column_counts(), counts);
        if (k.full_row) {
            EXPECT_EQ(perm.back(), 0);
        }
    }
}

// Small normal matrices whose pivots vanish: repeated rows are marked
// dependent by the first factorisation; nearly parallel rows are postponed
// during the iterations and, past the limit, dropped; the solves of a
// consistent right-hand side stay accurate either way.
TEST(LpNormalEquations, DependentPostponedAndDroppedPivots)
{
    struct Case {
        const char* what;
        int m, n;
        std::vector<int> rows, cols;
        std::vector<double> vals;
        bool first;  // the factorisation before the iterations
        int limit;
        int dependent, postponed, dropped;
    };
    // Rows 0 and 2 equal (row 2 = row 0), row 1 independent.
    const std::vector<int> r3{0, 2, 1, 0, 1, 2, 1, 0, 2};
    const std::vector<int> c3{0, 0, 1, 2, 2, 2, 3, 4, 4};
    const std::vector<Case> cases = {
        {"repeated row, first factorisation", 3, 5, r3, c3, {1, 1, 2, 3, 1, 3, 4, 5, 5}, true, 0, 1, 0, 0},
        {"nearly parallel rows postponed", 3, 5, r3, c3, {1, 1, 2, 3, 1, 3 + 1e-5, 4, 5, 5}, false, 5, 0, 1, 0},
        {"postponed then kept at the end", 3, 5, r3, c3, {1, 1, 2, 3, 1, 3 + 1e-5, 4, 5, 5}, false, 0, 0, 0, 0},
        {"parallel to rounding: dropped", 3, 5, r3, c3, {1, 1, 2, 3, 1, 3 + 1e-9, 4, 5, 5}, false, 0, 0, 0, 1},
        {"parallel to rounding: postponed, then dropped", 3, 5, r3, c3, {1, 1, 2, 3, 1, 3 + 1e-9, 4, 5, 5}, false,
         5, 0, 1, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        LpIterate it = iterate_of(k.m, k.n, k.rows, k.cols, k.vals);
        LpNormalMatrix nm;
        ASSERT_EQ(nm.analyse(it), 0);
        std::vector<double> theta(k.n, 1.0);
        ASSERT_TRUE(nm.factor(it, theta.data(), k.first, k.limit));
        EXPECT_EQ(nm.dependent_count(), k.dependent);
        EXPECT_EQ(nm.postponed_count(), k.postponed);
        EXPECT_EQ(nm.dropped_count(), k.dropped);
        // A right-hand side in the range of the matrix is reproduced.
        std::vector<double> v{0.3, -1.2, 0.7};
        std::vector<double> r = product(it, theta, v);
        std::vector<double> s = r;
        nm.solve(s.data());
        EXPECT_LT(residual(it, theta, s, r), k.dropped + k.dependent > 0 ? 1e-6 : 1e-9);
    }
}

// A's rows `to` replaced by copies of rows `from`, one entry in seven of
// each copy perturbed by 1e-5: nearly dependent rows.
LpIterate with_near_copies(const SparseLp& p, const std::vector<std::pair<int, int>>& copies)
{
    std::vector<int> rows, cols;
    std::vector<double> vals;
    for (int j = 0; j < p.n; ++j) {
        std::vector<std::pair<int, double>> col;
        for (std::size_t e = 0; e < p.vals.size(); ++e)
            if (p.cols[e] == j)
                col.push_back({p.rows[e], p.vals[e]});
        std::vector<std::pair<int, double>> out;
        for (auto [r, v] : col) {
            bool target = false;
            for (auto [from, to] : copies)
                target = target || r == to;
            if (!target)
                out.push_back({r, v});
        }
        for (auto [from, to] : copies)
            for (auto [r, v] : col)
                if (r == from)
                    out.push_back({to, v * (j % 7 == 0 ? 1 + 1e-5 : 1.0)});
        std::sort(out.begin(), out.end());
        if (out.empty())
            out.push_back({j % p.m, 1.0});
        for (auto [r, v] : out) {
            rows.push_back(r);
            cols.push_back(j);
            vals.push_back(v);
        }
    }
    return iterate_of(p.m, p.n, rows, cols, vals);
}

// A larger matrix with nearly dependent rows scattered through it: the
// postponed pivots sit inside supernodes and the solve stays exact.
TEST(LpNormalEquations, PostponedPivotsInsideSupernodes)
{
    SparseLp p = generate(31, 400, 700, 0, 12, 0.02);
    // Rows 50, 170 and 333 become copies of rows 10, 20 and 30 plus a
    // perturbation of 1e-5 on one entry.
    LpIterate it = with_near_copies(p, {{10, 50}, {20, 170}, {30, 333}});
    LpNormalMatrix nm;
    ASSERT_EQ(nm.analyse(it), 0);
    std::vector<double> theta(p.n, 1.0);
    ASSERT_TRUE(nm.factor(it, theta.data(), false, 5));
    EXPECT_GE(nm.postponed_count(), 1);
    std::vector<double> v(p.m);
    Lcg g{9};
    for (double& x : v)
        x = 2 * g.unit() - 1;
    std::vector<double> r = product(it, theta, v);
    std::vector<double> s = r;
    nm.solve(s.data());
    EXPECT_LT(residual(it, theta, s, r), 1e-8);
}

// The panel kernel takes a column's updates eight rows at a time in vector
// registers: every element must come out as one rank-one update after
// another leaves it, to the bit, at lengths around its blocks of eight and
// with values spread over the exponent range (where a fused multiply-add
// would round differently).
TEST(LpNormalEquations, PanelUpdateGivesTheBitsOfOneUpdateAfterAnother)
{
    Lcg g{17};
    auto spread = [&] { return (2 * g.unit() - 1) * std::ldexp(1.0, static_cast<int>(g.unit() * 120) - 60); };
    for (int rows : {1, 7, 8, 9, 15, 16, 17, 63, 200})
        for (int cols : {0, 1, 2, 5, 15}) {
            SCOPED_TRACE(testing::Message() << rows << " rows, " << cols << " columns");
            std::vector<std::vector<double>> L(cols, std::vector<double>(rows));
            std::vector<const double*> Lp(cols);
            std::vector<double> w(cols), col(rows);
            for (int c = 0; c < cols; ++c) {
                for (double& x : L[c])
                    x = spread();
                Lp[c] = L[c].data();
                w[c] = spread();
            }
            for (double& x : col)
                x = spread();
            std::vector<double> expect = col;
            for (int c = 0; c < cols; ++c)
                for (int r = 0; r < rows; ++r)
                    expect[r] -= L[c][r] * w[c];
            lp_panel_update(rows, cols, Lp.data(), w.data(), col.data());
            for (int r = 0; r < rows; ++r)
                ASSERT_EQ(std::bit_cast<std::uint64_t>(col[r]), std::bit_cast<std::uint64_t>(expect[r])) << "row " << r;
        }
}

// Rows joined at random, as in a network problem, fill a dense rest of
// hundreds of rows that most earlier columns update. Its factorisation is
// blocked and takes those updates in batches; with Theta over 24 orders
// (fill values far into the subnormal range) and with nearly dependent rows
// (postponed pivots) the solves still reproduce the product, and the
// floating-point mode of the caller is left as it was.
TEST(LpNormalEquations, RandomNetworkWithADenseRest)
{
    struct Case {
        const char* what;
        double low, high;  // log10 of Theta's range
        bool copies;
        int limit;
    };
    const std::vector<Case> cases = {
        {"first iterations", -3, 3, false, 5},
        {"late iterations", -12, 12, false, 5},
        {"nearly dependent rows", -2, 2, true, 5},
    };
    const SparseLp p = generate(57, 1200, 2400, 0, 1200, 1.0);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        LpIterate it = k.copies ? with_near_copies(p, {{3, 700}, {40, 900}, {41, 1100}})
                                : iterate_of(p.m, p.n, p.rows, p.cols, p.vals);
        LpNormalMatrix nm;
        ASSERT_EQ(nm.analyse(it), 0);
        // The last 300 columns are full below the diagonal.
        ASSERT_EQ(nm.column_counts()[p.m - 300], 299);
        Lcg g{11};
        std::vector<double> theta(p.n), v(p.m);
        for (double& t : theta)
            t = std::pow(10.0, k.low + (k.high - k.low) * g.unit());
        for (double& x : v)
            x = 2 * g.unit() - 1;
        ASSERT_TRUE(nm.factor(it, theta.data(), false, k.limit));
        if (k.copies) {
            EXPECT_GE(nm.postponed_count(), 1);
        }
        std::vector<double> r = product(it, theta, v);
        std::vector<double> s = r;
        nm.solve(s.data());
        EXPECT_LT(residual(it, theta, s, r), k.copies ? 1e-8 : 1e-10);
        volatile double subnormal = 1e-310;
        EXPECT_GT(subnormal * 0.5, 0.0);
    }
}

// A network in standard form: each route column holds a +a at a source row
// (the first half) and a -a at a sink row (the second half), a in [0.5, 2]
// as scaling leaves it; with slacks every row also has a column of its own.
LpIterate network(std::uint64_t seed, int m, int routes, bool slacks)
{
    Lcg g{seed};
    std::vector<int> rows, cols;
    std::vector<double> vals;
    const int half = m / 2;
    for (int j = 0; j < routes; ++j) {
        const int source = static_cast<int>(g.unit() * half), sink = half + static_cast<int>(g.unit() * (m - half));
        rows.insert(rows.end(), {source, sink});
        cols.insert(cols.end(), {j, j});
        vals.insert(vals.end(), {0.5 + 1.5 * g.unit(), -0.5 - 1.5 * g.unit()});
    }
    for (int i = 0; slacks && i < m; ++i) {
        rows.push_back(i);
        cols.push_back(routes + i);
        vals.push_back(1);
    }
    return iterate_of(m, routes + (slacks ? m : 0), rows, cols, vals);
}

// The forest-preconditioned iterations solve the normal equations of
// networks: weights uniform, spread as in the first iterations, split as in
// the last ones (the basic columns large, the others vanishing), and a
// network so sparse that its forest has many trees. The residual is at the
// level of rounding; where the matrix is well conditioned, the solution is
// the vector the right side was made from.
TEST(LpTreePcg, SolvesTheNormalEquationsOfANetwork)
{
    struct Case {
        const char* what;
        int m, routes;
        double low, high;  // log10 of Theta's range
        bool split;        // one column in five large, the rest small
        double error;      // on the solution, relative
    };
    const std::vector<Case> cases = {
        {"uniform weights", 800, 1600, 0, 0, false, 1e-8},
        {"first iterations", 800, 1600, -3, 3, false, 1e-6},
        {"last iterations", 800, 1600, -10, -6, true, INFINITY},
        {"many trees", 800, 300, -2, 2, false, 1e-6},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        LpIterate it = network(17, k.m, k.routes, true);
        Lcg g{23};
        std::vector<double> theta(it.n), v(it.m);
        for (int j = 0; j < it.n; ++j) {
            theta[j] = std::pow(10.0, k.low + (k.high - k.low) * g.unit());
            if (k.split && j % 5 == 0)
                theta[j] = 1 / theta[j];
        }
        for (double& x : v)
            x = 2 * g.unit() - 1;
        const std::vector<double> r = product(it, theta, v);
        LpTreePcg pcg;
        ASSERT_TRUE(pcg.prepare(it, theta.data()));
        std::vector<double> s = r;
        ASSERT_TRUE(pcg.solve(it, theta.data(), s.data()));
        EXPECT_LT(residual(it, theta, s, r), 1e-9);
        double error = 0;
        for (int i = 0; i < it.m; ++i)
            error = std::max(error, std::fabs(s[i] - v[i]));
        EXPECT_LE(error, k.error);
    }
}

// What the iterations cannot take is refused and left to the
// factorisation: a network of equality rows, whose forest has a tree
// without support, and weights that are not finite, which leave the right
// side as it was.
TEST(LpTreePcg, RefusesWhatItCannotSolve)
{
    const LpIterate equalities = network(5, 200, 800, false);
    LpTreePcg pcg;
    EXPECT_FALSE(pcg.prepare(equalities, std::vector<double>(equalities.n, 1.0).data()));

    const LpIterate it = network(5, 200, 800, true);
    std::vector<double> theta(it.n, 1.0);
    ASSERT_TRUE(pcg.prepare(it, theta.data()));
    theta[7] = NAN;
    std::vector<double> v(it.m, 1.0);
    EXPECT_FALSE(pcg.solve(it, theta.data(), v.data()));
    EXPECT_EQ(v, std::vector<double>(it.m, 1.0));
}

// An interior iterate of a network problem: x, z, y and the residuals all
// away from the solution, as in the first iterations.
LpIterate network_iterate()
{
    LpIterate it = network(29, 600, 1800, true);
    Lcg g{31};
    it.b.resize(it.m);
    for (double& v : it.b)
        v = 10 * g.unit() - 5;
    it.c.resize(it.n);
    for (double& v : it.c)
        v = 1 + 9 * g.unit();
    it.u.assign(it.n, 1e20);
    it.bounded.assign(it.n, 0);
    it.x.resize(it.n);
    it.z.resize(it.n);
    for (int j = 0; j < it.n; ++j) {
        it.x[j] = std::pow(10.0, 4 * g.unit() - 2);
        it.z[j] = std::pow(10.0, 4 * g.unit() - 2);
    }
    it.w.assign(it.n, 1e20);
    it.s.assign(it.n, 0.0);
    it.y.assign(it.m, 0.0);
    for (double v : it.b)
        it.sum_b += std::fabs(v);
    it.iteration = 2;
    it.primal = 100;
    it.dual = -100;
    for (int j = 0; j < it.n; ++j)
        it.gap += it.x[j] * it.z[j];
    return it;
}

// The search direction is the same whether the normal equations go to the
// iterations or to the factorisation, and an iteration whose solves do not
// converge takes the factorisation's direction; two such iterations in a
// row leave the factorisation for good.
TEST(LpTreePcg, DirectionsMatchTheFactorisationAndFallBackToIt)
{
    const LpIterate start = network_iterate();
    LpIterate direct = start;
    LpNormalMatrix nm;
    ASSERT_EQ(nm.analyse(direct), 0);
    LpTreePcg unused;
    ASSERT_TRUE(lp_direction(direct, nm, unused));
    const std::vector<int> dear(1, 1 << 20);  // a factor dear enough for the iterations
    for (int limit : {150, 1}) {
        SCOPED_TRACE("step limit " + std::to_string(limit));
        LpIterate it = start;
        LpTreePcg pcg;
        pcg.start(it, dear);
        ASSERT_TRUE(pcg.usable());
        pcg.set_iteration_limit(limit);
        LpNormalMatrix nm2;
        ASSERT_EQ(nm2.analyse(it), 0);
        ASSERT_TRUE(lp_direction(it, nm2, pcg));
        double diff = 0, size = 0;
        for (int j = 0; j < it.n; ++j) {
            diff = std::max(diff, std::fabs(it.dx[j] - direct.dx[j]));
            size = std::max(size, std::fabs(direct.dx[j]));
        }
        EXPECT_LT(diff, 1e-6 * size);
        EXPECT_NEAR(it.mu, direct.mu, 1e-6 * std::fabs(direct.mu));
        LpIterate again = start;
        ASSERT_TRUE(lp_direction(again, nm2, pcg));
        EXPECT_EQ(pcg.usable(), limit > 1);
    }
}

// The dependent rows a network tells from its graph are those the first
// factorisation of A A' finds: one row of each connected part that no
// column of one entry anchors and whose columns balance; a cycle that does
// not balance, an anchor or a row without entries each decide it.
TEST(LpTreePcg, DependentRowsFromTheGraphMatchTheFactorisation)
{
    struct Case {
        const char* what;
        int m;
        std::vector<int> rows, cols;  // 0-based, in column order
        std::vector<double> vals;
        int dependent;  // -1: not a network
    };
    const std::vector<Case> cases = {
        // Two supplies, two demands, every route: a balanced bipartite graph.
        {"balanced transport", 4, {0, 2, 0, 3, 1, 2, 1, 3}, {0, 0, 1, 1, 2, 2, 3, 3}, {1, 1, 1, 1, 1, 1, 1, 1}, 1},
        {"the same with a slack", 4, {0, 2, 0, 3, 1, 2, 1, 3, 1}, {0, 0, 1, 1, 2, 2, 3, 3, 4},
         {1, 1, 1, 1, 1, 1, 1, 1, 1}, 0},
        {"incidence matrix of a path", 3, {0, 1, 1, 2}, {0, 0, 1, 1}, {1, -1, 1, -1}, 1},
        {"triangle of +1 entries", 3, {0, 1, 1, 2, 0, 2}, {0, 0, 1, 1, 2, 2}, {1, 1, 1, 1, 1, 1}, 0},
        {"triangle that balances", 3, {0, 1, 1, 2, 0, 2}, {0, 0, 1, 1, 2, 2}, {1, -1, 1, -1, 1, -1}, 1},
        {"scaled cycle that balances", 3, {0, 1, 1, 2, 0, 2}, {0, 0, 1, 1, 2, 2}, {2, -1, 3, 1.5, 0.75, 0.1875}, 1},
        {"scaled cycle off balance", 3, {0, 1, 1, 2, 0, 2}, {0, 0, 1, 1, 2, 2}, {2, -1, 3, 1.5, 0.75, 0.25}, 0},
        {"two parts, one anchored", 4, {0, 1, 2, 3, 3}, {0, 0, 1, 1, 2}, {1, -1, 1, 1, 4}, 1},
        {"a row without entries", 3, {0, 1, 1}, {0, 0, 1}, {1, 1, 2}, 1},
        {"a column of three entries", 3, {0, 1, 2}, {0, 0, 0}, {1, 1, 1}, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const int n = k.cols.empty() ? 0 : k.cols.back() + 1;
        const LpIterate it = iterate_of(k.m, n, k.rows, k.cols, k.vals);
        std::vector<char> dependent;
        const bool network = lp_network_dependent_rows(it, dependent);
        EXPECT_EQ(network, k.dependent >= 0);
        if (!network)
            continue;
        ASSERT_EQ(static_cast<int>(dependent.size()), k.m);
        EXPECT_EQ(std::count(dependent.begin(), dependent.end(), 1), k.dependent);
        LpNormalMatrix nm;
        ASSERT_EQ(nm.analyse(it), 0);
        const std::vector<double> ones(n, 1.0);
        ASSERT_TRUE(nm.factor(it, ones.data(), true));
        EXPECT_EQ(nm.dependent_count(), k.dependent);
        // Without the rows marked, A A' is no longer singular.
        std::vector<int> keep(k.m, -1);
        int kept = 0;
        for (int i = 0; i < k.m; ++i)
            if (!dependent[i])
                keep[i] = kept++;
        std::vector<int> rows, cols;
        std::vector<double> vals;
        for (std::size_t e = 0; e < k.rows.size(); ++e)
            if (keep[k.rows[e]] >= 0) {
                rows.push_back(keep[k.rows[e]]);
                cols.push_back(k.cols[e]);
                vals.push_back(k.vals[e]);
            }
        const LpIterate rest = iterate_of(kept, n, rows, cols, vals);
        LpNormalMatrix nm_rest;
        ASSERT_EQ(nm_rest.analyse(rest), 0);
        ASSERT_TRUE(nm_rest.factor(rest, ones.data(), true));
        EXPECT_EQ(nm_rest.dependent_count(), 0);
    }
}

// A random transport network whose capacities cannot bind: every sink
// takes its one unit from its cheapest route, so the optimum is the sum of
// those costs. The normal matrix's fill is dense enough that the solver
// takes the forest-preconditioned iterations.
TEST(LpSparseProblems, RandomNetworkTakesTheCheapestRoutes)
{
    const int sources = 1000, sinks = 1000, routes = 4000, m = sources + sinks;
    Lcg g{41};
    std::vector<double> t(3 * 2 * routes), c(routes), b(m), lb(routes, 0.0), ub(routes, 1e20);
    std::vector<double> cheapest(sinks, INFINITY);
    std::vector<int> best(sinks, -1);
    for (int j = 0; j < routes; ++j) {
        const int source = static_cast<int>(g.unit() * sources), sink = j / (routes / sinks);
        t[2 * j] = source + 1;
        t[2 * j + 1] = sources + sink + 1;
        t[2 * routes + 2 * j] = j + 1;
        t[2 * routes + 2 * j + 1] = j + 1;
        t[4 * routes + 2 * j] = 1;
        t[4 * routes + 2 * j + 1] = -1;
        c[j] = 1 + 9 * g.unit();
        if (c[j] < cheapest[sink]) {
            cheapest[sink] = c[j];
            best[sink] = j;
        }
    }
    for (int i = 0; i < m; ++i)
        b[i] = i < sources ? 100 : -1;
    std::vector<int> kinds(m, 1);
    double optimum = 0;
    for (double v : cheapest)
        optimum += v;
    LpSolver s;
    s.load_triplets(2 * routes, m, routes, m, 0, 0, t.data(), b.data(), kinds.data(), c.data(), lb.data(), ub.data());
    ASSERT_EQ(s.status, 1);
    EXPECT_NEAR(s.objective(), optimum, 1e-8 * optimum);
    const std::vector<double>& x = s.x();
    double worst = 0;
    for (int j = 0; j < routes; ++j)
        worst = std::max(worst, std::fabs(x[j] - (best[j / (routes / sinks)] == j ? 1.0 : 0.0)));
    EXPECT_LT(worst, 1e-6);
    s.release();
}

// Supply and demand, the shape whose presolve eliminates hundreds of
// doubleton demand rows before the network iterations: HiGHS's optimum,
// every demand met and no capacity exceeded, with presolve and without.
// Balanced, each connected part of the rows has one dependent row, which
// the larger ones find from their graph.
TEST(LpSparseProblems, SupplyAndDemandReachTheReferenceOptimum)
{
    struct Case {
        int sources, sinks, arcs;
        std::uint64_t seed;
        bool balanced;
        double objective;  // tools/reference/lp_supply_demand_reference.py
    };
    const std::vector<Case> cases = {
        {3, 5, 12, 1, false, 139.67054899669475},
        {20, 30, 100, 2, false, 704.6822096149556},
        {40, 60, 200, 3, false, 1287.2896411761647},
        {200, 300, 1000, 4, false, 6731.227434915431},
        {400, 600, 2000, 5, false, 13725.031032058481},
        {1000, 1500, 5000, 61, false, 33381.03666146672},
        {20, 30, 100, 6, true, 814.3680241180887},
        {400, 600, 2000, 7, true, 14997.100543205373},
        {1000, 1500, 5000, 8, true, 38807.20227790349},
    };
    for (const Case& k : cases)
        for (bool reductions : {true, false}) {
            SCOPED_TRACE(std::to_string(k.sources) + " sources" + (k.balanced ? ", balanced" : "") + ", presolve " +
                         (reductions ? "on" : "off"));
            const test::SupplyDemand p = test::supply_demand(k.sources, k.sinks, k.arcs, k.seed, k.balanced ? 1.0 : 1.2);
            const int neq = k.balanced ? p.m : p.neq;
            std::vector<int> kinds(p.m, 1);
            std::fill(kinds.begin(), kinds.begin() + neq, 0);
            const std::vector<double> lb(p.n, 0.0), ub(p.n, 1e20);
            LpSolver s;
            s.reductions = reductions;
            s.load_triplets(2 * p.n, p.m, p.n, p.m - neq, neq, 0, p.triplets.data(), p.b.data(), kinds.data(),
                            p.c.data(), lb.data(), ub.data());
            ASSERT_EQ(s.status, 1);
            EXPECT_NEAR(s.objective(), k.objective, 1e-8 * k.objective);
            const std::vector<double>& x = s.x();
            std::vector<double> ax(p.m, 0.0);
            for (int e = 0; e < 2 * p.n; ++e)
                ax[static_cast<int>(p.triplets[e]) - 1] += x[static_cast<int>(p.triplets[2 * p.n + e]) - 1];
            double worst_row = 0, worst_bound = 0;
            for (int i = 0; i < p.m; ++i) {
                const double excess = ax[i] - p.b[i];
                worst_row = std::max(worst_row, i < neq ? std::fabs(excess) : excess);
            }
            for (double v : x)
                worst_bound = std::max(worst_bound, -v);
            EXPECT_LT(worst_row, 1e-6);
            EXPECT_LT(worst_bound, 1e-6);
            s.release();
        }
}

// lp on the problem of A (triplets, 0-based), b (the first neq rows
// equalities, the others <=), c and the bounds reaches `status` and the
// reference optimum, with a point that meets rows and bounds and
// multipliers of the right sign.
void expect_reference_optimum(const std::vector<int>& rows, const std::vector<int>& cols,
                              const std::vector<double>& vals, int m, int n, int neq, const std::vector<double>& b,
                              const std::vector<double>& c, const std::vector<double>& lb,
                              const std::vector<double>& ub, int status, double objective)
{
    std::vector<double> t;
    for (int r : rows)
        t.push_back(r + 1);
    for (int col : cols)
        t.push_back(col + 1);
    t.insert(t.end(), vals.begin(), vals.end());
    std::vector<int> kinds(m, 1);
    std::fill(kinds.begin(), kinds.begin() + neq, 0);
    LpSolver s;
    s.load_triplets(static_cast<int>(vals.size()), m, n, m - neq, neq, 0, t.data(), b.data(), kinds.data(), c.data(),
                    lb.data(), ub.data());
    ASSERT_EQ(s.status, status);
    EXPECT_NEAR(s.objective(), objective, 1e-6 * std::max(1.0, std::fabs(objective)));
    const std::vector<double>& x = s.x();
    const std::vector<double>& y = s.y();
    std::vector<double> ax(m, 0.0);
    for (std::size_t e = 0; e < vals.size(); ++e)
        ax[rows[e]] += vals[e] * x[cols[e]];
    double worst_row = 0, worst_bound = 0, worst_sign = 0;
    for (int i = 0; i < m; ++i) {
        const double excess = ax[i] - b[i];
        worst_row = std::max(worst_row, (i < neq ? std::fabs(excess) : excess) / (1 + std::fabs(b[i])));
        if (i >= neq)
            worst_sign = std::max(worst_sign, -y[i]);
    }
    for (int j = 0; j < n; ++j)
        worst_bound = std::max({worst_bound, lb[j] - x[j], x[j] - ub[j]});
    EXPECT_LT(worst_row, 1e-6);
    EXPECT_LT(worst_bound, 1e-6);
    EXPECT_LT(worst_sign, 1e-6);
    s.release();
}

// A general sparse problem's matrix as triplets in column order, entries
// named twice in a column added up; `trim` keeps rows 0 .. trim-1 to their
// entries in the dense columns, and `copy` makes row 1 a copy of row 2.
struct Triplets {
    std::vector<int> rows, cols;
    std::vector<double> vals;
};

Triplets triplets_of(const test::GeneralSparse& g, int dense, int trim, bool copy)
{
    Triplets t;
    for (int j = 0; j < g.n; ++j) {
        std::vector<double> col(g.m, 0.0);
        std::vector<char> named(g.m, 0);
        for (int k = g.col_start[j]; k < g.col_start[j + 1]; ++k) {
            col[g.rows[k]] += g.values[k];
            named[g.rows[k]] = 1;
        }
        if (copy) {
            col[1] = col[2];
            named[1] = named[2];
        }
        for (int i = 0; i < g.m; ++i)
            if (named[i] && !(i < trim && j >= dense)) {
                t.rows.push_back(i);
                t.cols.push_back(j);
                t.vals.push_back(col[i]);
            }
    }
    return t;
}

// A few dense columns stay out of the factor; the solves still answer for
// the whole of A Theta A', whatever the dense columns' weight against the
// rest, and agree with the factor of the whole matrix. Where the rest is
// singular (rows only dense columns meet) or a row depends on another, the
// whole matrix is factorised instead and tells the dependent rows.
TEST(LpNormalEquations, DenseColumnsKeptOutOfTheFactor)
{
    struct Case {
        const char* what;
        int dense, trim;
        bool copy;
        double dense_weight;  // 0: spread like the others
        int kept_out, dependent;
        double agree;  // bound on the difference from the whole factor's answer, relative
        int among_first, among_last;  // the rows among which the dependent ones lie
    };
    const std::vector<Case> cases = {
        // Beside weights of 1e10 the matrix's condition lets two
        // backward-stable answers differ in their third digit.
        {"three dense columns", 3, 0, false, 0, 3, 0, 1e-6, 0, -1},
        {"three dense columns of weight 1e10", 3, 0, false, 1e10, 3, 0, 1e-2, 0, -1},
        {"three dense columns of weight 1e-10", 3, 0, false, 1e-10, 3, 0, 1e-6, 0, -1},
        {"sixteen dense columns", 16, 0, false, 0, 16, 0, 1e-6, 0, -1},
        {"seventeen are too many to keep out", 17, 0, false, 0, 0, 0, 1e-6, 0, -1},
        {"two rows only dense columns meet", 3, 2, false, 0, 0, 0, 1e-6, 0, -1},
        {"four rows only three dense columns meet", 3, 4, false, 0, 0, 1, 0, 0, 3},
        {"a row copied", 3, 0, true, 0, 0, 1, 0, 1, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const test::GeneralSparse g = test::general_sparse(400, 800, 40, 0, k.dense, 91);
        const Triplets t = triplets_of(g, k.dense, k.trim, k.copy);
        LpIterate it = iterate_of(g.m, g.n, t.rows, t.cols, t.vals);
        LpNormalMatrix nm, whole;
        ASSERT_EQ(nm.analyse(it), 0);
        ASSERT_EQ(whole.analyse(it, false), 0);
        EXPECT_TRUE(whole.dense_columns().empty());
        std::vector<double> ones(g.n, 1.0);
        ASSERT_TRUE(nm.factor(it, ones.data(), true));
        ASSERT_TRUE(whole.factor(it, ones.data(), true));
        // Which row of a dependent set is marked depends on the order of
        // elimination; the count does not, nor the set.
        EXPECT_EQ(nm.dependent_count(), k.dependent);
        EXPECT_EQ(whole.dependent_count(), k.dependent);
        for (int i = 0; i < g.m; ++i)
            if (nm.dependent()[i] || whole.dependent()[i]) {
                EXPECT_GE(i, k.among_first);
                EXPECT_LE(i, k.among_last);
            }
        EXPECT_EQ(static_cast<int>(nm.dense_columns().size()), k.kept_out);
        if (k.dependent > 0)
            continue;
        Lcg gen{13};
        std::vector<double> theta(g.n), v(g.m);
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            for (int j = 0; j < g.n; ++j)
                theta[j] = j < k.dense && k.dense_weight > 0 ? k.dense_weight : std::pow(10.0, 6 * gen.unit() - 3);
            for (double& x : v)
                x = 2 * gen.unit() - 1;
            const std::vector<double> r = product(it, theta, v);
            ASSERT_TRUE(nm.factor(it, theta.data(), false, 5));
            ASSERT_TRUE(whole.factor(it, theta.data(), false, 5));
            std::vector<double> s = r, w = r;
            ASSERT_TRUE(nm.solve(s.data()));
            ASSERT_TRUE(whole.solve(w.data()));
            EXPECT_LT(residual(it, theta, s, r), 1e-9);
            double diff = 0, size = 0;
            for (int i = 0; i < g.m; ++i) {
                diff = std::max(diff, std::fabs(s[i] - w[i]));
                size = std::max(size, std::fabs(w[i]));
            }
            EXPECT_LT(diff, k.agree * size);
        }
    }
}

// Problems with a few dense columns, kept out of the factor or (past their
// limit) not, reach the optimum of an independent solver, feasible, with
// multipliers of the right sign.
TEST(LpSparseProblems, DenseColumnsReachTheReferenceOptimum)
{
    struct DenseReference {
        int m, n, neq, boxed, dense, seed, status;
        double objective;
    };
    const std::vector<DenseReference> references = {
#include "data/lp_dense_columns_reference.inc"
    };
    for (const DenseReference& ref : references) {
        SCOPED_TRACE(std::to_string(ref.m) + "x" + std::to_string(ref.n) + ", " + std::to_string(ref.dense) +
                     " dense columns");
        ASSERT_EQ(ref.status, 0);
        const test::GeneralSparse g = test::general_sparse(ref.m, ref.n, ref.neq, ref.boxed, ref.dense, ref.seed);
        const Triplets tr = triplets_of(g, ref.dense, 0, false);
        expect_reference_optimum(tr.rows, tr.cols, tr.vals, g.m, g.n, g.neq, g.b, g.c, g.lb, g.ub, 1, ref.objective);
    }
}

// Problems with thousands of rows reach the optimum of an independent
// solver, feasible, with multipliers of the right sign.
TEST(LpSparseProblems, ReachTheReferenceOptimum)
{
    for (const Reference& ref : references) {
        SCOPED_TRACE("seed " + std::to_string(ref.seed));
        const SparseLp p = generate(ref.seed, ref.m, ref.n, ref.neq, ref.band, ref.far);
        expect_reference_optimum(p.rows, p.cols, p.vals, p.m, p.n, p.neq, p.b, p.c, std::vector<double>(p.n, 0.0), p.ub,
                                 ref.status, ref.objective);
    }
}

} // namespace
