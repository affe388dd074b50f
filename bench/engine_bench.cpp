// Element-wise operations through the engine against the same loop written
// by hand into an existing buffer, and the per-call cost on scalars.
#include "bench_util.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm filled(std::size_t n, double offset)
{
    Mm x(0, 0, 0, 1, static_cast<int>(n), qv_double);
    for (std::size_t k = 0; k < n; ++k)
        x.addr()[k] = 0.5 + std::sin(k + offset);
    return x;
}

template <class Library, class Hand>
void compare(benchmark::State& state, Library library, Hand hand)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    Mm a = filled(n, 0), b = filled(n, 1);
    std::vector<double> out(n);
    const double* pa = a.addr();
    const double* pb = b.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = library(a, b);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            double* o = out.data();
            for (std::size_t k = 0; k < n; ++k)
                o[k] = hand(pa[k], pb[k]);
            benchmark::DoNotOptimize(o);
            benchmark::ClobberMemory();
        });
    state.SetItemsProcessed(state.iterations() * n);
}

void Plus(benchmark::State& s) { compare(s, [](const Mm& a, const Mm& b) { return a + b; }, [](double x, double y) { return x + y; }); }
void Times(benchmark::State& s)
{
    compare(s, [](const Mm& a, const Mm& b) { return times(a, b); }, [](double x, double y) { return x * y; });
}
void PlusScalar(benchmark::State& s)
{
    Mm one(1.0);
    compare(s, [&one](const Mm& a, const Mm&) { return a + one; }, [](double x, double) { return x + 1; });
}
void Greater(benchmark::State& s)
{
    compare(s, [](const Mm& a, const Mm& b) { return a > b; }, [](double x, double y) { return double(x > y); });
}
void Sin(benchmark::State& s)
{
    compare(s, [](const Mm& a, const Mm&) { return sin(a); }, [](double x, double) { return std::sin(x); });
}
void Exp(benchmark::State& s)
{
    compare(s, [](const Mm& a, const Mm&) { return exp(a); }, [](double x, double) { return std::exp(x); });
}
void Sqrt(benchmark::State& s)
{
    compare(s, [](const Mm& a, const Mm&) { return msqrt(a); }, [](double x, double) { return std::sqrt(x); });
}

BENCHMARK(Plus)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Times)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlusScalar)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Greater)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sin)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Exp)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Sqrt)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// What compiled scalar code pays per operation: one engine call and one
// small result. Reported in nanoseconds per call.
void ScalarPlus(benchmark::State& state)
{
    Mm a(2.0), b(3.0);
    for (auto _ : state) {
        Mm r = a + b;
        benchmark::DoNotOptimize(r.addr());
    }
}
BENCHMARK(ScalarPlus);

void ScalarSin(benchmark::State& state)
{
    Mm a(0.7);
    for (auto _ : state) {
        Mm r = sin(a);
        benchmark::DoNotOptimize(r.addr());
    }
}
BENCHMARK(ScalarSin);

} // namespace

BENCHMARK_MAIN();
