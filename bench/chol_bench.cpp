// chol against LAPACK's DPOTRF on the same symmetric positive definite
// matrix.
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

} // namespace

BENCHMARK_MAIN();
