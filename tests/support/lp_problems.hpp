// Linear programs drawn from the splitmix64 stream of
// tools/reference/lp_transport_times.py, draw for draw, so that the optima
// and times computed there hold for the lp tests and the lp benchmark
// alike. Header only, with no test framework: the benchmark includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace test {

struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1) from the top 53 bits.
    double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
};

// A supply-and-demand problem: `sinks` demand rows first, as equalities
// (received = demand, 1 to 10), then `sources` supply rows (shipped <=
// spare times the demand its planned arcs carry; spare 1 with the supply
// rows taken as equalities too is the balanced problem), `arcs` columns of
// cost 1 + 9u, two entries of 1 per column, x >= 0. Arc j < sinks brings
// sink j its demand from source j (j < sources) or from a drawn source; the
// other arcs join a drawn sink to a drawn source.
struct SupplyDemand {
    int m = 0, n = 0, neq = 0;
    // The 2n rows, then the 2n columns, then the 2n values of A's entries,
    // 1-based; entry 2j is arc j's sink row, entry 2j + 1 its source row.
    std::vector<double> triplets;
    std::vector<double> b, c;
};

inline SupplyDemand supply_demand(int sources, int sinks, int arcs, std::uint64_t seed, double spare)
{
    SplitMix64 gen{seed};
    SupplyDemand p;
    p.m = sinks + sources;
    p.n = arcs;
    p.neq = sinks;
    std::vector<double> demand(sinks), planned(sources, 0.0), rows, cols;
    for (double& d : demand)
        d = 1 + static_cast<double>(gen.next() % 10);
    for (int j = 0; j < arcs; ++j) {
        int source, sink;
        if (j < sinks) {
            sink = j;
            source = j < sources ? j : static_cast<int>(gen.next() % static_cast<std::uint64_t>(sources));
            planned[source] += demand[sink];
        } else {
            sink = static_cast<int>(gen.next() % static_cast<std::uint64_t>(sinks));
            source = static_cast<int>(gen.next() % static_cast<std::uint64_t>(sources));
        }
        rows.push_back(sink + 1);
        rows.push_back(sinks + source + 1);
        cols.push_back(j + 1);
        cols.push_back(j + 1);
        p.c.push_back(1 + 9 * gen.unit());
    }
    p.triplets = rows;
    p.triplets.insert(p.triplets.end(), cols.begin(), cols.end());
    p.triplets.insert(p.triplets.end(), 2 * static_cast<std::size_t>(arcs), 1.0);
    p.b = demand;
    for (double s : planned)
        p.b.push_back(spare * s);
    return p;
}

// A general sparse problem: the first neq rows equalities, the rest upper
// limits; `dense` columns first with an entry (2u - 1) in every row, then
// columns with (r mod 12) entries 2u - 1 in drawn rows (r mod m), entries
// named twice adding up (a column may have none, a row too). The last `boxed`
// columns lie in [-10, 10], the others are x >= 0. A point x0 (u, or
// 20u - 10 on the boxed columns) meets the equalities and lies a slack u
// inside each other row; the costs c = A'y + z, with y drawn 2u - 1 on the
// equality rows and -u on the others and z = u on the non-negative columns
// (2u - 1 alone on the boxed ones), keep the dual feasible, so the problem
// has an optimum. Draws in this order: the columns (their entries), x0, the
// slacks, y, then per column z or its cost.
struct GeneralSparse {
    int m = 0, n = 0, neq = 0;
    std::vector<int> col_start;  // n + 1 starts into rows and values
    std::vector<int> rows;       // 0-based, in drawn order within a column
    std::vector<double> values;
    std::vector<double> b, c, lb, ub;
};

inline GeneralSparse general_sparse(int m, int n, int neq, int boxed, int dense, std::uint64_t seed)
{
    SplitMix64 gen{seed};
    GeneralSparse p;
    p.m = m;
    p.n = n;
    p.neq = neq;
    p.col_start.push_back(0);
    for (int j = 0; j < n; ++j) {
        if (j < dense) {
            for (int i = 0; i < m; ++i) {
                p.rows.push_back(i);
                p.values.push_back(2 * gen.unit() - 1);
            }
        } else {
            const int extra = static_cast<int>(gen.next() % 12);
            for (int e = 0; e < extra; ++e) {
                p.rows.push_back(static_cast<int>(gen.next() % static_cast<std::uint64_t>(m)));
                p.values.push_back(2 * gen.unit() - 1);
            }
        }
        p.col_start.push_back(static_cast<int>(p.rows.size()));
    }
    const auto is_boxed = [&](int j) { return j >= n - boxed; };
    std::vector<double> x0(n), y(m);
    for (int j = 0; j < n; ++j)
        x0[j] = is_boxed(j) ? 20 * gen.unit() - 10 : gen.unit();
    p.b.assign(m, 0.0);
    for (int j = 0; j < n; ++j)
        for (int k = p.col_start[j]; k < p.col_start[j + 1]; ++k)
            p.b[p.rows[k]] += p.values[k] * x0[j];
    for (int i = neq; i < m; ++i)
        p.b[i] += gen.unit();
    for (int i = 0; i < m; ++i)
        y[i] = i < neq ? 2 * gen.unit() - 1 : -gen.unit();
    p.c.assign(n, 0.0);
    p.lb.assign(n, 0.0);
    p.ub.assign(n, 1e20);
    for (int j = 0; j < n; ++j) {
        if (is_boxed(j)) {
            p.c[j] = 2 * gen.unit() - 1;
            p.lb[j] = -10;
            p.ub[j] = 10;
            continue;
        }
        double aty = 0;
        for (int k = p.col_start[j]; k < p.col_start[j + 1]; ++k)
            aty += p.values[k] * y[p.rows[k]];
        p.c[j] = aty + gen.unit();
    }
    return p;
}

} // namespace test
