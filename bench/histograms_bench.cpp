// hist's counting against a hand loop making two comparison passes per bin,
// with binary-search binning beside it for reference; quiver's strokes per
// arrow.
#include "bench_util.hpp"
#include "gui/vector_plots.hpp"

#include <algorithm>
#include <random>
#include <vector>

namespace {

bench::library_started started;

std::vector<double> uniform_data(std::size_t n)
{
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> d(0, 1);
    std::vector<double> v(n);
    for (double& e : v)
        e = d(rng);
    return v;
}

Mm row_of(const std::vector<double>& v)
{
    Mm m(0, 0, 0, 1, static_cast<int>(v.size()), qv_double);
    std::copy(v.begin(), v.end(), m.addr());
    return m;
}

void HistCounts(benchmark::State& state)
{
    const int bins = static_cast<int>(state.range(0));
    const std::vector<double> data = uniform_data(1000000);
    const Mm y = row_of(data);
    const Mm nb(bins);
    bench::run_with_baseline(
        state,
        [&] {
            Mm n, x;
            hist(y, nb, i_o, n, x);
            benchmark::DoNotOptimize(n);
        },
        [&] {
            // two passes per bin over the data, as the counting rule reads
            const double w = 1.0 / bins;
            std::vector<double> counts(bins);
            for (int k = 0; k < bins; ++k) {
                const double lower = k == 0 ? -INFINITY : k * w;
                const double upper = k == bins - 1 ? INFINITY : (k + 1) * w;
                std::ptrdiff_t a = 0, b = 0;
                for (double e : data)
                    a += e <= upper;
                for (double e : data)
                    b += e <= lower;
                counts[k] = static_cast<double>(a - b);
            }
            benchmark::DoNotOptimize(counts.data());
        });
}
BENCHMARK(HistCounts)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// Reference only: binning each value by binary search over the edges.
void UpperBoundBinning(benchmark::State& state)
{
    const int bins = static_cast<int>(state.range(0));
    const std::vector<double> data = uniform_data(1000000);
    std::vector<double> edges(bins - 1);
    for (int k = 0; k + 1 < bins; ++k)
        edges[k] = (k + 1.0) / bins;
    for (auto _ : state) {
        std::vector<double> counts(bins);
        for (double e : data)
            counts[std::lower_bound(edges.begin(), edges.end(), e) - edges.begin()] += 1;
        benchmark::DoNotOptimize(counts.data());
    }
}
BENCHMARK(UpperBoundBinning)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void QuiverStrokesPerArrow(benchmark::State& state)
{
    const int side = 1000;
    Mm u(0, 0, 0, side, side, qv_double), v(0, 0, 0, side, side, qv_double);
    const std::vector<double> a = uniform_data(static_cast<std::size_t>(side) * side);
    std::copy(a.begin(), a.end(), u.addr());
    std::copy(a.rbegin(), a.rend(), v.addr());
    const Mm s(1);
    for (auto _ : state) {
        gui::vector_field f = gui::quiver_field(u, v, s);
        benchmark::DoNotOptimize(f.arrows.shaft_x.addr());
    }
    state.counters["ns_per_arrow"] = benchmark::Counter(static_cast<double>(side) * side,
                                                        benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
}
BENCHMARK(QuiverStrokesPerArrow)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
