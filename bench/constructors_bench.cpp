// The constructors against plain fills of an existing array: zeros and ones
// against memset and a store loop, rand and randn against the same generator
// kernels run as a plain loop on a local state.
#include "bench_util.hpp"

#include "array/random.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bench::library_started started;

constexpr double rows = 1e4, cols = 1e3;  // 10^7 elements
constexpr std::size_t count = 10000000;

void Zeros(benchmark::State& state)
{
    std::vector<double> plain(count, 1.0);
    bench::run_with_baseline(
        state,
        [] {
            Mm r = zeros(rows, cols);
            benchmark::DoNotOptimize(r.addr());
        },
        [&plain] {
            std::memset(plain.data(), 0, count * sizeof(double));
            benchmark::DoNotOptimize(plain.data());
        });
    state.SetLabel("baseline: memset of an existing array");
}
BENCHMARK(Zeros)->Unit(benchmark::kMillisecond);

void Ones(benchmark::State& state)
{
    std::vector<double> plain(count, 0.0);
    bench::run_with_baseline(
        state,
        [] {
            Mm r = ones(rows, cols);
            benchmark::DoNotOptimize(r.addr());
        },
        [&plain] {
            std::fill(plain.begin(), plain.end(), 1.0);
            benchmark::DoNotOptimize(plain.data());
        });
    state.SetLabel("baseline: a store loop over an existing array");
}
BENCHMARK(Ones)->Unit(benchmark::kMillisecond);

void Rand(benchmark::State& state)
{
    std::vector<double> plain(count);
    uniform_state_t g = random_generators.uniform_state;
    bench::run_with_baseline(
        state,
        [] {
            Mm r = randM(rows, cols);
            benchmark::DoNotOptimize(r.addr());
        },
        [&plain, &g] {
            for (double& v : plain)
                v = uniform_state_next(g);
            benchmark::DoNotOptimize(plain.data());
        });
    state.SetLabel("baseline: the same kernel in a plain loop");
}
BENCHMARK(Rand)->Unit(benchmark::kMillisecond);

void Randn(benchmark::State& state)
{
    std::vector<double> plain(count);
    normal_state_t g = random_generators.normal_state;
    bench::run_with_baseline(
        state,
        [] {
            Mm r = randn(rows, cols);
            benchmark::DoNotOptimize(r.addr());
        },
        [&plain, &g] {
            for (double& v : plain)
                v = normal_state_next(g);
            benchmark::DoNotOptimize(plain.data());
        });
    state.SetLabel("baseline: the same kernel in a plain loop");
}
BENCHMARK(Randn)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
