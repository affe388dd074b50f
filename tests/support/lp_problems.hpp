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

} // namespace test
