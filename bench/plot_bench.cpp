// plot beside the engine calls it cannot avoid: one create and one bulk
// copy per series, on the same buffers.
#include "bench_util.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

namespace {

bench::library_started started;

void PlotOneSeries(benchmark::State& state)
{
    vizmo::test::reset();
    const int n = static_cast<int>(state.range(0));
    const Mm x = colon(1.0, static_cast<double>(n));
    const Mm y = colon(2.0, static_cast<double>(n + 1));
    const Mm args((CL(x), y));
    gca();
    bench::run_with_baseline(
        state,
        [&] {
            Mm h = plot(args);
            benchmark::DoNotOptimize(h);
            deleteobj(h);
        },
        [&] {
            const double h = vizmo_create_object("line", -1);
            vizmo_set_data(h, n, x.addr(), 1, y.addr(), 1, nullptr, 0);
            deleteobj(Mm(h));
        });
    vizmo::test::reset();
}
BENCHMARK(PlotOneSeries)->Arg(1000000)->Unit(benchmark::kMillisecond);

void PlotMatrixColumns(benchmark::State& state)
{
    vizmo::test::reset();
    const int n = static_cast<int>(state.range(0));
    const Mm Y = zeros(static_cast<double>(n), static_cast<double>(n));
    const Mm x = colon(1.0, static_cast<double>(n));
    const Mm args(CL(Y));
    gca();
    bench::run_with_baseline(
        state,
        [&] {
            Mm h = plot(args);
            benchmark::DoNotOptimize(h);
            deleteobj(h);
        },
        [&] {
            Mm made(0, 0, 0, 1, n, qv_double);
            for (int k = 0; k < n; ++k) {
                const double h = vizmo_create_object("line", -1);
                vizmo_set_data(h, n, x.addr(), 1, Y.addr() + static_cast<long>(k) * n, 1, nullptr, 0);
                made.addr()[k] = h;
            }
            deleteobj(made);
        });
    vizmo::test::reset();
}
BENCHMARK(PlotMatrixColumns)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
