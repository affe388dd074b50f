// The current figure and axes beside the bare engine calls they wrap, and
// subplot re-selecting cells of a full 4x4 grid.
#include "bench_util.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

namespace {

bench::library_started started;

// The engine pair gca() cannot do without: the current figure and its
// "CurrentAxes".
double bare_current_axes()
{
    const double f = vizmo_current_figure();
    return vizmo_get_property(f, "CurrentAxes")->data[0];
}

void CurrentFigure(benchmark::State& state)
{
    vizmo::test::reset();
    gca();
    double sink = 0;
    bench::run_with_baseline(
        state, [&] { sink += *gcf().addr(1); }, [&] { sink += bare_current_axes(); });
    benchmark::DoNotOptimize(sink);
    vizmo::test::reset();
}
BENCHMARK(CurrentFigure);

void CurrentAxes(benchmark::State& state)
{
    vizmo::test::reset();
    gca();
    double sink = 0;
    bench::run_with_baseline(
        state, [&] { sink += *gca().addr(1); }, [&] { sink += bare_current_axes(); });
    benchmark::DoNotOptimize(sink);
    vizmo::test::reset();
}
BENCHMARK(CurrentAxes);

// Each call walks the 16 axes, reading every position in normalised units.
void SubplotCell(benchmark::State& state)
{
    vizmo::test::reset();
    const Mm four(4.0);
    Mm cells[16];
    for (int k = 0; k < 16; ++k) {
        cells[k] = Mm(static_cast<double>(k + 1));
        subplot(four, four, cells[k]);
    }
    int k = 0;
    for (auto _ : state) {
        Mm a = subplot(four, four, cells[k]);
        benchmark::DoNotOptimize(a);
        k = (k + 1) & 15;
    }
    vizmo::test::reset();
}
BENCHMARK(SubplotCell)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
