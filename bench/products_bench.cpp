// The matrix product against calling dgemm directly on the same operands.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm square(int n, double phase)
{
    Mm x(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        x.addr()[k] = std::sin(k + phase);
    return x;
}

void Product(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm a = square(n, 0), b = square(n, 1);
    std::vector<double> c(static_cast<std::size_t>(n) * n);
    const double one = 1, zero = 0;
    bench::run_with_baseline(
        state,
        [&] {
            Mm p = a * b;
            benchmark::DoNotOptimize(p.addr());
        },
        [&] {
            dgemm_("N", "N", &n, &n, &n, &one, a.addr(), &n, b.addr(), &n, &zero, c.data(), &n, 1, 1);
            benchmark::DoNotOptimize(c.data());
        });
    state.SetLabel("baseline: dgemm into an existing buffer");
}
BENCHMARK(Product)->Arg(200)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
