// set and get against the engine operations they wrap: the conversion to
// and from the engine's value layout is the library's whole cost.
#include "bench_util.hpp"

#include "graphics/property_names.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cstring>
#include <vector>

namespace {

bench::library_started started;

void SetGetScalar(benchmark::State& state)
{
    vizmo::test::reset();
    const Mm h(vizmo_create_object("line", -1));
    const Mm two(2.0);
    double v = 2;
    miniM m{2, {1, 1, 1, 1}, 0, &v};
    const double hd = *h.addr(1);
    double sink = 0;
    bench::run_with_baseline(
        state,
        [&] {
            set(h, pn_LineWidth, two);
            sink += *get(h, pn_LineWidth).addr(1);
        },
        [&] {
            vizmo_set_property(hd, "LineWidth", &m);
            sink += vizmo_get_property(hd, "LineWidth")->data[0];
        });
    benchmark::DoNotOptimize(sink);
    vizmo::test::reset();
}
BENCHMARK(SetGetScalar);

void SetLargeData(benchmark::State& state)
{
    vizmo::test::reset();
    const int n = static_cast<int>(state.range(0));
    const Mm h(vizmo_create_object("line", -1));
    Mm x(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = k;
    std::vector<double> out(static_cast<std::size_t>(n));
    bench::run_with_baseline(
        state, [&] { set(h, pn_XData, x); },
        [&] {
            std::memcpy(out.data(), x.addr(), sizeof(double) * static_cast<std::size_t>(n));
            benchmark::DoNotOptimize(out.data());
        });
    vizmo::test::reset();
}
BENCHMARK(SetLargeData)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One value to many handles: converted once, so the cost per handle should
// stay near the one-handle cost.
void SetManyHandles(benchmark::State& state)
{
    vizmo::test::reset();
    const int n = static_cast<int>(state.range(0));
    Mm handles(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        handles.addr()[k] = vizmo_create_object("line", -1);
    const Mm one(*handles.addr(1));
    const Mm width(3.0);
    bench::run_with_baseline(
        state, [&] { set(handles, pn_LineWidth, width); },
        [&] {
            for (int k = 0; k < n; ++k)
                set(one, pn_LineWidth, width);
        });
    state.SetLabel("baseline: the same number of one-handle calls");
    vizmo::test::reset();
}
BENCHMARK(SetManyHandles)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
