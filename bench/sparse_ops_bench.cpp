// Sparse reductions, operations with a scalar partner and the product on speye(9000)
// beside S * 0.5, the product that has always worked on the stored
// entries alone: each should stay within a small factor of it.
#include "bench_util.hpp"

namespace {

bench::library_started started;

template <class Library>
void against_scaling(benchmark::State& state, Library library)
{
    const Mm s = speye(Mm(9000.0));
    const Mm half(0.5);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = library(s);
            benchmark::DoNotOptimize(r.getnnz());
        },
        [&] {
            Mm r = s * half;
            benchmark::DoNotOptimize(r.getnnz());
        });
    state.SetItemsProcessed(state.iterations() * s.getnnz());
}

void Sum(benchmark::State& s) { against_scaling(s, [](const Mm& x) { return sum(x); }); }
void SumAlongRows(benchmark::State& s) { against_scaling(s, [](const Mm& x) { return sum(x, Mm(2.0)); }); }
void Max(benchmark::State& s) { against_scaling(s, [](const Mm& x) { return max(x); }); }
void DivideByTwo(benchmark::State& s) { against_scaling(s, [](const Mm& x) { return x / Mm(2.0); }); }
void GreaterThanOne(benchmark::State& s) { against_scaling(s, [](const Mm& x) { return x > Mm(1.0); }); }
void Square(benchmark::State& s) { against_scaling(s, [](const Mm& x) { return power(x, Mm(2.0)); }); }
// The sparse product, one entry per column: its work follows the entries,
// not rows times columns.
void Product(benchmark::State& s) { against_scaling(s, [](const Mm& x) { return x * x; }); }

} // namespace

BENCHMARK(Sum)->Unit(benchmark::kMicrosecond);
BENCHMARK(SumAlongRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(Max)->Unit(benchmark::kMicrosecond);
BENCHMARK(DivideByTwo)->Unit(benchmark::kMicrosecond);
BENCHMARK(GreaterThanOne)->Unit(benchmark::kMicrosecond);
BENCHMARK(Square)->Unit(benchmark::kMicrosecond);
BENCHMARK(Product)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
