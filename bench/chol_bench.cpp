// chol against LAPACK's DPOTRF (ZPOTRF) on the same symmetric (Hermitian)
// positive definite matrix.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm spd(int n)
{
    Mm x(0, 0, 0, n, n, qv_double);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            x.addr()[i + j * n] = i == j ? n : std::sin(double(i + j));
    return x;
}

void Chol(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = spd(n);
    std::vector<double> w;
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = chol(a);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            w.assign(a.addr(), a.addr() + n * n);
            lapack::potrf('U', n, w.data(), n);
            benchmark::DoNotOptimize(w.data());
        });
    state.SetLabel("baseline: DPOTRF");
}
BENCHMARK(Chol)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);

// A Hermitian positive definite matrix with the same real part.
Mm hpd(int n)
{
    Mm x(1, 0, 0, n, n, qv_double);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            x.addr()[i + j * n] = i == j ? n : std::sin(double(i + j));
            x.addi()[i + j * n] = i == j ? 0 : std::cos(double(3 * i + j)) - std::cos(double(3 * j + i));
        }
    return x;
}

void ComplexChol(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = hpd(n);
    const std::vector<double> z0 = bench::interleaved(a);
    std::vector<double> z;
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = chol(a);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            z = z0;
            lapack::zpotrf('U', n, z.data(), n);
            benchmark::DoNotOptimize(z.data());
        });
    state.SetLabel("baseline: ZPOTRF on interleaved data");
}
BENCHMARK(ComplexChol)->Arg(8)->Arg(16)->Arg(50)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
