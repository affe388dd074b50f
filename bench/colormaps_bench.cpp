// Colormap generators beside a hand loop writing the same ramps.
#include "bench_util.hpp"

#include <vector>

namespace {

bench::library_started started;

void Jet(benchmark::State& state)
{
    const int m = static_cast<int>(state.range(0));
    const Mm length(static_cast<double>(m));
    std::vector<double> out(3 * static_cast<std::size_t>(m));
    bench::run_with_baseline(
        state,
        [&] {
            Mm map = jet(length);
            benchmark::DoNotOptimize(map.addr());
        },
        [&] {
            // Three trapezoid ramps, written straight.
            const int n = m / 4;
            for (int c = 0; c < 3; ++c)
                for (int r = 0; r < m; ++r) {
                    const int i = r + c * n - n / 2;
                    out[static_cast<std::size_t>(c) * m + r] = i < n ? double(i + 1) / n : i < 2 * n ? 1.0 : 0.5;
                }
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(Jet)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
