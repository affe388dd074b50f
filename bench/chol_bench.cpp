// chol against LAPACK's DPOTRF (ZPOTRF) on the same symmetric (Hermitian)
// positive definite matrix.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

// A symmetric positive definite matrix, or a Hermitian one with the same
// real part.
Mm positive_definite(int n, bool complex)
{
    Mm x(complex, 0, 0, n, n, qv_double);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            x.addr()[i + j * n] = i == j ? n : std::sin(double(i + j));
            if (complex)
                x.addi()[i + j * n] = i == j ? 0 : std::cos(double(3 * i + j)) - std::cos(double(3 * j + i));
        }
    return x;
}

// chol beside DPOTRF, or ZPOTRF on the interleaved copy.
void beside_potrf(benchmark::State& state, bool complex)
{
    const int n = int(state.range(0));
    const Mm a = positive_definite(n, complex);
    const std::vector<double> w0 = complex ? bench::interleaved(a) : std::vector<double>(a.addr(), a.addr() + n * n);
    std::vector<double> w;
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = chol(a);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            w = w0;
            if (complex)
                lapack::zpotrf('U', n, w.data(), n);
            else
                lapack::potrf('U', n, w.data(), n);
            benchmark::DoNotOptimize(w.data());
        });
    state.SetLabel(complex ? "baseline: ZPOTRF on interleaved data" : "baseline: DPOTRF");
}

void Chol(benchmark::State& state) { beside_potrf(state, false); }
BENCHMARK(Chol)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);

void ComplexChol(benchmark::State& state) { beside_potrf(state, true); }
BENCHMARK(ComplexChol)->Arg(8)->Arg(16)->Arg(50)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
