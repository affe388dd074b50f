// Concatenation and lists against plain C++: [a, b] of two 10^6 vectors
// against two memcpys into a fresh block, a small literal matrix built with
// BR against filling a fresh value by hand, and cell(1000, 1000) against a
// numeric matrix of as many elements.
#include "bench_util.hpp"

#include <cstdlib>
#include <cstring>

namespace {

bench::library_started started;

Mm counting_row(int n)
{
    Mm x(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = k + 1;
    return x;
}

// Two memcpys into a block taken from the heap and given back, as a result
// that is built and dropped.
void copy_into_fresh_block(const double* a, const double* b, int n)
{
    double* out = static_cast<double*>(std::malloc(sizeof(double) * 2 * std::size_t(n)));
    std::memcpy(out, a, sizeof(double) * n);
    std::memcpy(out + n, b, sizeof(double) * n);
    benchmark::DoNotOptimize(out);
    std::free(out);
}

void Horzcat(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const Mm a = counting_row(n), b = counting_row(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = horzcat(a, b);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] { copy_into_fresh_block(a.addr(), b.addr(), n); });
    state.SetLabel("baseline: two memcpys into a fresh block");
}
BENCHMARK(Horzcat)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BracketRow(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const Mm a = counting_row(n), b = counting_row(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = (BR(a), b);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] { copy_into_fresh_block(a.addr(), b.addr(), n); });
    state.SetLabel("baseline: two memcpys into a fresh block");
}
BENCHMARK(BracketRow)->Arg(1000000)->Unit(benchmark::kMillisecond);

// [1, 2, 3; 4, 5, 6] as compiled code writes it; the time is per literal.
void SmallLiteral(benchmark::State& state)
{
    bench::run_with_baseline(
        state,
        [] {
            Mm r = (BR(1.0), 2.0, 3.0, semi, 4.0, 5.0, 6.0);
            benchmark::DoNotOptimize(r.addr());
        },
        [] {
            Mm r(0, 0, 0, 2, 3, qv_double);
            const double v[] = {1, 4, 2, 5, 3, 6};
            std::memcpy(r.addr(), v, sizeof v);
            benchmark::DoNotOptimize(r.addr());
        });
    state.SetLabel("baseline: a fresh 2x3 value filled by hand");
}
BENCHMARK(SmallLiteral)->Unit(benchmark::kNanosecond);

void CellMillion(benchmark::State& state)
{
    const Mm n(1000.0);
    bench::run_with_baseline(
        state,
        [&] {
            Mm c = cell(n, n);
            benchmark::DoNotOptimize(c.getpr((Mm*)nullptr));
        },
        [] {
            Mm z = zeros(1000.0, 1000.0);
            benchmark::DoNotOptimize(z.addr());
        });
    state.SetLabel("baseline: zeros(1000, 1000)");
}
BENCHMARK(CellMillion)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
