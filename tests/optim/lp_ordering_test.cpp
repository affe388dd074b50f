// The fill-reducing order of the LP normal equations on plain graphs: it is
// a permutation whatever the pattern holds, it adds no fill where none is
// needed, and on a grid it keeps close to an independent minimum degree
// ordering (tools/reference/ordering_fill_reference.py).
#include "optim/lp_ordering.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// A pattern as the ordering takes it: the entries of node i are the second
// members of the pairs (i, j), in the order given.
struct Pattern {
    int n = 0;
    std::vector<int> ptr, idx;
};

Pattern pattern_of(int n, const std::vector<std::pair<int, int>>& entries)
{
    Pattern p;
    p.n = n;
    p.ptr.assign(n + 1, 0);
    for (auto [i, j] : entries)
        ++p.ptr[i + 1];
    for (int i = 0; i < n; ++i)
        p.ptr[i + 1] += p.ptr[i];
    p.idx.resize(entries.size());
    std::vector<int> fill(p.ptr.begin(), p.ptr.end() - 1);
    for (auto [i, j] : entries)
        p.idx[fill[i]++] = j;
    return p;
}

// Entries below the diagonal of L for the order perm, by eliminating on the
// graph itself: each eliminated node joins its remaining neighbours.
long long fill_of(const Pattern& p, const std::vector<int>& perm)
{
    std::vector<std::set<int>> g(p.n);
    for (int i = 0; i < p.n; ++i)
        for (int q = p.ptr[i]; q < p.ptr[i + 1]; ++q)
            if (p.idx[q] != i) {
                g[i].insert(p.idx[q]);
                g[p.idx[q]].insert(i);
            }
    long long total = 0;
    for (int v : perm) {
        const std::vector<int> nb(g[v].begin(), g[v].end());
        total += static_cast<long long>(nb.size());
        for (int a : nb) {
            g[a].erase(v);
            for (int b : nb)
                if (b != a)
                    g[a].insert(b);
        }
        g[v].clear();
    }
    return total;
}

bool is_permutation(std::vector<int> perm, int n)
{
    if (static_cast<int>(perm.size()) != n)
        return false;
    std::sort(perm.begin(), perm.end());
    for (int k = 0; k < n; ++k)
        if (perm[k] != k)
            return false;
    return true;
}

std::vector<std::pair<int, int>> both_ways(const std::vector<std::pair<int, int>>& edges)
{
    std::vector<std::pair<int, int>> out;
    for (auto [i, j] : edges) {
        out.push_back({i, j});
        out.push_back({j, i});
    }
    return out;
}

std::vector<std::pair<int, int>> star(int n, int centre)
{
    std::vector<std::pair<int, int>> e;
    for (int i = 0; i < n; ++i)
        if (i != centre)
            e.push_back({centre, i});
    return both_ways(e);
}

std::vector<std::pair<int, int>> complete(int n)
{
    std::vector<std::pair<int, int>> e;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            e.push_back({i, j});
    return e;
}

// The 5-point grid on k x k nodes, node r + k c, as the reference script
// numbers it.
std::vector<std::pair<int, int>> grid(int k)
{
    std::vector<std::pair<int, int>> e;
    for (int c = 0; c < k; ++c)
        for (int r = 0; r < k; ++r) {
            const int i = r + k * c;
            if (r + 1 < k)
                e.push_back({i, i + 1});
            if (c + 1 < k)
                e.push_back({i, i + k});
        }
    return both_ways(e);
}

TEST(LpOrdering, OrdersEveryKindOfGraph)
{
    struct Case {
        std::string what;
        int n;
        std::vector<std::pair<int, int>> entries;
        long long fill;  // entries of L below the diagonal; -1: not checked
        int late;        // a node among the last two eliminated (once all but two are gone
                         // the two left are interchangeable); -1: not checked
    };
    std::vector<Case> cases = {
        {"no rows", 0, {}, 0, -1},
        {"one row", 1, {}, 0, 0},
        {"one row with its diagonal", 1, {{0, 0}}, 0, 0},
        {"isolated rows around a short path", 7, both_ways({{2, 3}, {3, 4}}), 2, -1},
        {"all rows isolated, diagonals only", 5, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}, 0, -1},
        {"star", 31, star(31, 12), 30, 12},
        // The centre's degree is far above 10 sqrt(n): it is set aside.
        {"star with a dense centre", 2000, star(2000, 7), 1999, 7},
        {"complete graph, diagonal included", 40, complete(40), 40 * 39 / 2, -1},
        {"two triangles sharing a node", 5, both_ways({{0, 1}, {1, 2}, {0, 2}, {2, 3}, {3, 4}, {2, 4}}), 6, -1},
    };
    // A path given as one triangle only, each entry twice, with diagonals.
    {
        std::vector<std::pair<int, int>> e;
        for (int i = 0; i + 1 < 50; ++i)
            for (int t = 0; t < 2; ++t) {
                e.push_back({i, i + 1});
                e.push_back({i, i});
            }
        cases.push_back({"path, upper triangle, repeated entries", 50, e, 49, -1});
    }
    // A binary tree, given from the leaves up.
    {
        std::vector<std::pair<int, int>> e;
        for (int i = 1; i < 63; ++i)
            e.push_back({i, (i - 1) / 2});
        cases.push_back({"binary tree, lower triangle", 63, e, 62, -1});
    }
    // A tree of stars: a root with 20 hubs of 30 leaves each.
    {
        std::vector<std::pair<int, int>> e;
        int next = 21;
        for (int h = 1; h <= 20; ++h) {
            e.push_back({0, h});
            for (int l = 0; l < 30; ++l)
                e.push_back({h, next++});
        }
        cases.push_back({"tree of stars", next, both_ways(e), next - 1, -1});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Pattern p = pattern_of(c.n, c.entries);
        std::vector<int> perm{-5};
        ASSERT_EQ(approximate_minimum_degree(c.n, p.ptr.data(), p.idx.data(), perm), OrderingStatus::ok);
        ASSERT_TRUE(is_permutation(perm, c.n));
        if (c.fill >= 0) {
            EXPECT_EQ(fill_of(p, perm), c.fill);
        }
        if (c.late >= 0) {
            EXPECT_NE(std::find(perm.end() - std::min(c.n, 2), perm.end(), c.late), perm.end());
        }
    }
}

// On a grid the fill stays near an independent minimum degree ordering's
// and far below the natural order's.
TEST(LpOrdering, GridFillNearIndependentMinimumDegree)
{
    struct Case {
        int k;
        long long reference;  // SuperLU's multiple minimum degree, entries of L below the diagonal
    };
    const std::vector<Case> cases = {{20, 3272}, {40, 18371}};
    for (const Case& c : cases) {
        SCOPED_TRACE("grid " + std::to_string(c.k));
        const int n = c.k * c.k;
        const Pattern p = pattern_of(n, grid(c.k));
        std::vector<int> perm;
        ASSERT_EQ(approximate_minimum_degree(n, p.ptr.data(), p.idx.data(), perm), OrderingStatus::ok);
        ASSERT_TRUE(is_permutation(perm, n));
        std::vector<int> natural(n);
        for (int i = 0; i < n; ++i)
            natural[i] = i;
        const long long ours = fill_of(p, perm);
        EXPECT_LE(ours, c.reference * 6 / 5);
        EXPECT_LT(2 * ours, fill_of(p, natural));
    }
}

// Rows merged as indistinguishable come out next to each other: a clique
// of ten copies hanging from a path is eliminated as one run.
TEST(LpOrdering, IndistinguishableRowsStayTogether)
{
    std::vector<std::pair<int, int>> e;
    for (int i = 0; i + 1 < 20; ++i)
        e.push_back({i, i + 1});
    // Nodes 20 .. 29 are joined to each other and to nodes 5 and 6.
    for (int a = 20; a < 30; ++a) {
        for (int b = a + 1; b < 30; ++b)
            e.push_back({a, b});
        e.push_back({a, 5});
        e.push_back({a, 6});
    }
    const Pattern p = pattern_of(30, both_ways(e));
    std::vector<int> perm;
    ASSERT_EQ(approximate_minimum_degree(30, p.ptr.data(), p.idx.data(), perm), OrderingStatus::ok);
    ASSERT_TRUE(is_permutation(perm, 30));
    std::vector<int> where;
    for (int k = 0; k < 30; ++k)
        if (perm[k] >= 20)
            where.push_back(k);
    EXPECT_EQ(where.back() - where.front(), 9);
    // With nodes 5 and 6 the copies make a clique of twelve; the graph is
    // chordal and a node of least degree never adds an edge, so L holds the
    // 19 + 45 + 20 edges and nothing more.
    EXPECT_EQ(fill_of(p, perm), 19 + 45 + 20);
}

// Random patterns of every shape (sparse, with rows dense enough to be set
// aside, banded, made of cliques; entries repeated and given one way only)
// are all ordered into permutations.
TEST(LpOrdering, RandomPatternsGivePermutations)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int trial = 0; trial < 400; ++trial) {
        const int n = 1 + static_cast<int>(gen() % 200);
        const int shape = trial % 4;
        const double density = 0.2 * unit(gen);
        SCOPED_TRACE("trial " + std::to_string(trial) + ", n " + std::to_string(n));
        std::vector<std::pair<int, int>> e;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double chance = density;
                if (shape == 1 && (i < 3 || j < 3))
                    chance = 0.9;
                else if (shape == 2)
                    chance = std::abs(i - j) < 4 ? 0.8 : density / 20;
                else if (shape == 3 && i / 10 == j / 10)
                    chance = 1;
                if (unit(gen) < chance) {
                    e.push_back({i, j});
                    if (gen() % 5 == 0)
                        e.push_back({i, j});
                }
            }
        const Pattern p = pattern_of(n, e);
        std::vector<int> perm;
        ASSERT_EQ(approximate_minimum_degree(n, p.ptr.data(), p.idx.data(), perm), OrderingStatus::ok);
        ASSERT_TRUE(is_permutation(perm, n));
    }
}

// A node number outside the graph is refused, and perm is left as it was.
TEST(LpOrdering, BadPatternLeavesPermAlone)
{
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> entries;
        int bad;  // replaces the last entry's neighbour
    };
    const std::vector<Case> cases = {
        {"past the last node", {{0, 1}, {1, 2}}, 3},
        {"negative", {{0, 1}, {2, 1}}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pattern p = pattern_of(3, c.entries);
        p.idx.back() = c.bad;
        std::vector<int> perm{2, 0, 1};
        EXPECT_EQ(approximate_minimum_degree(3, p.ptr.data(), p.idx.data(), perm), OrderingStatus::bad_pattern);
        EXPECT_EQ(perm, (std::vector<int>{2, 0, 1}));
    }
}

} // namespace
