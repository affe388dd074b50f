// Bessel functions at many points: real arguments against libstdc++'s
// special functions, complex arguments against the real run of the same
// size, and large orders (uniform expansions) against order 0.
#include "bench_util.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

constexpr int points = 100000;

Mm real_points(int n)
{
    Mm x(0, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = 50.0 * (k + 1) / n;  // (0, 50]
    return x;
}

Mm complex_points(int n)
{
    Mm x(1, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k) {
        double r = 50.0 * (k + 1) / n, t = 6.283185307179586 * std::fmod(k * 0.618034, 1.0);
        x.addr()[k] = r * std::cos(t);
        x.addi()[k] = r * std::sin(t);
    }
    return x;
}

enum Kind { J, Y, I, K };

template <Kind kind>
void RealArgument(benchmark::State& state)
{
    const double nu = state.range(0) / 10.0;
    Mm x = real_points(points);
    std::vector<double> out(points);
    const double* p = x.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = kind == J ? besselj(Mm(nu), x)
                 : kind == Y ? bessely(Mm(nu), x)
                 : kind == I ? besseli(Mm(nu), x)
                             : besselk(Mm(nu), x);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            for (int k = 0; k < points; ++k)
                out[k] = kind == J ? std::cyl_bessel_j(nu, p[k])
                       : kind == Y ? std::cyl_neumann(nu, p[k])
                       : kind == I ? std::cyl_bessel_i(nu, p[k])
                                   : std::cyl_bessel_k(nu, p[k]);
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(RealArgument<J>)->Arg(0)->Arg(25)->Unit(benchmark::kMillisecond);
BENCHMARK(RealArgument<Y>)->Arg(0)->Arg(25)->Unit(benchmark::kMillisecond);
BENCHMARK(RealArgument<I>)->Arg(0)->Arg(25)->Unit(benchmark::kMillisecond);
BENCHMARK(RealArgument<K>)->Arg(0)->Arg(25)->Unit(benchmark::kMillisecond);

// Order 0.3 in all four quadrants, |z| <= 50, against the real run.
void ComplexArgument(benchmark::State& state)
{
    Mm z = complex_points(points), x = real_points(points);
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = besselj(Mm(0.3), z);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            Mm v = besselj(Mm(0.3), x);
            benchmark::DoNotOptimize(v.addr());
        });
}
BENCHMARK(ComplexArgument)->Unit(benchmark::kMillisecond);

// Order 100 (uniform expansions) against order 0 on the same points.
void LargeOrder(benchmark::State& state)
{
    Mm x = real_points(10000);
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = besselj(Mm(100.0), x);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            Mm v = besselj(Mm(0.0), x);
            benchmark::DoNotOptimize(v.addr());
        });
}
BENCHMARK(LargeOrder)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
