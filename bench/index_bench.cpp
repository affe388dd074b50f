// Indexing against plain C++: scalar reads and writes x(k) in a loop over a
// 10^6 vector, and the range read x(2:end-1) of a 10^7 vector against a
// memcpy of the same elements.
#include "bench_util.hpp"

#include <cstring>
#include <vector>

namespace {

bench::library_started started;

Mm counting_row(int n)
{
    Mm x(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = k + 1;
    return x;
}

// The loop variable of a compiled loop: one scalar value updated in place.
void ScalarRead(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm x = counting_row(n);
    std::vector<double> v(x.addr(), x.addr() + n);
    Mm k(0.0);
    double sum = 0;
    bench::run_with_baseline(
        state,
        [&] {
            for (int j = 1; j <= n; ++j) {
                *k.addr() = j;
                Mm e(x(k), 1);
                sum += *e.addr();
            }
            benchmark::DoNotOptimize(sum);
        },
        [&] {
            for (int j = 0; j < n; ++j) {
                benchmark::DoNotOptimize(v[j]);
                sum += v[j];
            }
            benchmark::DoNotOptimize(sum);
        });
    state.SetLabel("baseline: v[k] over a std::vector");
}
BENCHMARK(ScalarRead)->Arg(1000000)->Unit(benchmark::kMillisecond);

void ScalarWrite(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm x = counting_row(n);
    std::vector<double> v(n);
    Mm k(0.0), value(0.0);
    bench::run_with_baseline(
        state,
        [&] {
            for (int j = 1; j <= n; ++j) {
                *k.addr() = j;
                *value.addr() = j;
                x(k) = value;
            }
            benchmark::DoNotOptimize(x.addr());
        },
        [&] {
            for (int j = 0; j < n; ++j) {
                v[j] = j;
                benchmark::DoNotOptimize(v[j]);
            }
        });
    state.SetLabel("baseline: v[k] = value over a std::vector");
}
BENCHMARK(ScalarWrite)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The range is an operand built once, as a loop-invariant range would be.
void RangeRead(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm x = counting_row(n);
    const Mm range = colon(2.0, double(n - 1));
    std::vector<double> v(x.addr(), x.addr() + n), out(n - 2);
    bench::run_with_baseline(
        state,
        [&] {
            Mm part(x(range), 1);
            benchmark::DoNotOptimize(part.addr());
        },
        [&] {
            std::memcpy(out.data(), v.data() + 1, sizeof(double) * (n - 2));
            benchmark::DoNotOptimize(out.data());
        });
    state.SetLabel("baseline: memcpy of the same elements");
}
BENCHMARK(RangeRead)->Arg(10000000)->Unit(benchmark::kMillisecond);

// The whole statement: the range is built, then read.
void RangeReadWithColon(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm x = counting_row(n);
    std::vector<double> v(x.addr(), x.addr() + n), out(n - 2);
    bench::run_with_baseline(
        state,
        [&] {
            Mm part(x(colon(2.0, double(n - 1))), 1);
            benchmark::DoNotOptimize(part.addr());
        },
        [&] {
            std::memcpy(out.data(), v.data() + 1, sizeof(double) * (n - 2));
            benchmark::DoNotOptimize(out.data());
        });
    state.SetLabel("baseline: memcpy of the same elements");
}
BENCHMARK(RangeReadWithColon)->Arg(10000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
