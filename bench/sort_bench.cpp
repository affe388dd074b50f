// sort against the standard library's sorts of the same values.
#include "bench_util.hpp"

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

bench::library_started started;

std::vector<double> random_values(std::size_t n)
{
    std::mt19937_64 gen(5);
    std::normal_distribution<double> normal;
    std::vector<double> v(n);
    for (auto& e : v)
        e = normal(gen);
    return v;
}

Mm column_of(const std::vector<double>& v)
{
    Mm x(0, 0, 0, static_cast<int>(v.size()), 1, qv_double);
    std::copy(v.begin(), v.end(), x.addr());
    return x;
}

void SortValues(benchmark::State& state)
{
    const auto v = random_values(static_cast<std::size_t>(state.range(0)));
    const Mm x = column_of(v);
    std::vector<double> work;
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = sort(x);
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            work = v;
            std::sort(work.begin(), work.end());
            benchmark::DoNotOptimize(work.data());
        });
    state.SetLabel("baseline: std::sort of a copy");
}
BENCHMARK(SortValues)->Arg(10000000)->Unit(benchmark::kMillisecond);

void SortWithIndex(benchmark::State& state)
{
    const auto v = random_values(static_cast<std::size_t>(state.range(0)));
    const Mm x = column_of(v);
    std::vector<std::pair<double, int>> pairs;
    bench::run_with_baseline(
        state,
        [&] {
            Mm s, k;
            sort(x, i_o, s, k);
            benchmark::DoNotOptimize(k.addr());
        },
        [&] {
            pairs.resize(v.size());
            for (std::size_t k = 0; k < v.size(); ++k)
                pairs[k] = {v[k], static_cast<int>(k)};
            std::stable_sort(pairs.begin(), pairs.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            benchmark::DoNotOptimize(pairs.data());
        });
    state.SetLabel("baseline: std::stable_sort of (value, index) pairs");
}
BENCHMARK(SortWithIndex)->Arg(10000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
