// Surface charts: a surf of a 500 x 500 matrix against the interpolation it
// makes alone on the same grid (everything else should be small beside it),
// and pcolor of a 1000 x 1000 matrix against a hand loop that computes the
// same colour indices. The object search has its own benchmark.
#include "bench_util.hpp"
#include "vizmo4510.h"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm wavy(int rows, int cols)
{
    Mm z(0, 0, 0, rows, cols, qv_double);
    for (int j = 1; j <= cols; ++j)
        for (int i = 1; i <= rows; ++i)
            *z.addr(i, j) = std::sin(0.05 * i) * std::cos(0.03 * j) + 0.001 * i * j;
    return z;
}

void SurfAgainstItsInterpolation(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const Mm Z = wavy(n, n);
    const Mm args = Mm(CL(Z));
    // The grid surf samples: the knots themselves.
    const Mm x = colon(1.0, static_cast<double>(n)), y = colon(1.0, static_cast<double>(n));
    Mm XG, YG;
    meshgrid(linspace(Mm(1.0), Mm(double(n)), Mm(double(n))), linspace(Mm(1.0), Mm(double(n)), Mm(double(n))), i_o,
             XG, YG);
    figure();
    bench::run_with_baseline(
        state,
        [&] {
            Mm h = surf(args);
            benchmark::DoNotOptimize(h);
        },
        [&] {
            Mm zg = interp2(x, y, Z, XG, YG);
            benchmark::DoNotOptimize(zg);
        });
    figure_close(TM("all"));
}
BENCHMARK(SurfAgainstItsInterpolation)->Arg(500)->Unit(benchmark::kMillisecond);

void PcolorAgainstAHandLoop(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const Mm P = wavy(n, n);
    const Mm args = Mm(CL(P));
    figure();
    const int K = colormap().rows();
    std::vector<double> indices(static_cast<std::size_t>(n - 1) * (n - 1));
    bench::run_with_baseline(
        state,
        [&] {
            Mm h = pcolor(args);
            benchmark::DoNotOptimize(h);
        },
        [&] {
            // The same indices: limits of the cut matrix, then the flipped
            // rows scaled to 1..K and rounded.
            const int r = n - 1;
            const double* p = P.addr();
            double lo = p[0], hi = p[0];
            for (int j = 0; j < r; ++j)
                for (int i = 0; i < r; ++i) {
                    const double a = p[i + static_cast<std::size_t>(j) * n];
                    lo = a < lo ? a : lo;
                    hi = a > hi ? a : hi;
                }
            for (int j = 0; j < r; ++j)
                for (int i = 0; i < r; ++i) {
                    const double v = (K - 1) * (p[(r - 1 - i) + static_cast<std::size_t>(j) * n] - lo) / (hi - lo) + 1;
                    indices[i + static_cast<std::size_t>(j) * r] = std::floor(v + 0.5);
                }
            benchmark::DoNotOptimize(indices.data());
            benchmark::ClobberMemory();
        });
    figure_close(TM("all"));
}
BENCHMARK(PcolorAgainstAHandLoop)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
