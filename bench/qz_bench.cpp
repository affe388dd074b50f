// eig(A, B) through the QZ kernels against DGGEV on the same pair, with
// and without eigenvectors.
#include "bench_util.hpp"

#include <random>
#include <vector>

extern "C" {
void dggev_(const char*, const char*, const int*, double*, const int*, double*, const int*, double*, double*, double*,
            double*, const int*, double*, const int*, double*, const int*, int*, std::size_t, std::size_t);
}

namespace {

bench::library_started started;

Mm random_matrix(int n, unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal;
    Mm a(0, 0, 0, n, n, qv_double);
    for (std::size_t k = 0; k < std::size_t(n) * n; ++k)
        a.addr()[k] = normal(gen);
    return a;
}

void GeneralizedEig(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool vectors = state.range(1) != 0;
    const Mm a = random_matrix(n, 3), b = random_matrix(n, 4);
    std::vector<double> wa, wb, ar(n), ai(n), be(n), vr(std::size_t(n) * n), work(std::size_t(n) * 64);
    const int lwork = int(work.size()), one = 1;
    bench::run_with_baseline(
        state,
        [&] {
            if (vectors) {
                Mm V, D;
                eig(a, b, i_o, V, D);
                benchmark::DoNotOptimize(V.addr());
            } else {
                Mm D = eig(a, b);
                benchmark::DoNotOptimize(D.addr());
            }
        },
        [&] {
            wa.assign(a.addr(), a.addr() + std::size_t(n) * n);
            wb.assign(b.addr(), b.addr() + std::size_t(n) * n);
            int info = 0;
            dggev_("N", vectors ? "V" : "N", &n, wa.data(), &n, wb.data(), &n, ar.data(), ai.data(), be.data(),
                   nullptr, &one, vr.data(), &n, work.data(), &lwork, &info, 1, 1);
            benchmark::DoNotOptimize(ar.data());
        });
    state.SetLabel(vectors ? "baseline: DGGEV with right vectors" : "baseline: DGGEV values only");
}
BENCHMARK(GeneralizedEig)->ArgsProduct({{100, 200}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
