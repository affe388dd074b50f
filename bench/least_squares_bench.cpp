// nnls beside LAPACK's unconstrained least-squares solve (dgels) of the
// same matrix: what the active set costs over one QR solve.
#include "bench_util.hpp"

#include "linalg/lapack.hpp"

#include <vector>

namespace {

bench::library_started started;

void NnlsVersusDgels(benchmark::State& state)
{
    const int m = 200, n = 100;
    randM(TM("seed"), Mm(7.0));
    const Mm A = randM(double(m), double(n)) - Mm(0.5);
    // About half the variables active: b from a solution with half its
    // entries positive, plus noise.
    Mm xt(0, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k)
        xt.addr()[k] = k % 2 ? 1.0 + k * 0.01 : -1.0;
    const Mm b = A * xt + (randM(double(m), 1.0) - Mm(0.5)) * Mm(0.01);
    std::vector<double> work(1);
    bench::run_with_baseline(
        state, [&] { benchmark::DoNotOptimize(nnls(A, b)); },
        [&] {
            std::vector<double> a(A.addr(), A.addr() + m * n), bb(b.addr(), b.addr() + m);
            int mm = m, nn = n, nrhs = 1, lda = m, ldb = m, info = 0, lwork = -1;
            double query = 0;
            dgels_("N", &mm, &nn, &nrhs, a.data(), &lda, bb.data(), &ldb, &query, &lwork, &info, 1);
            lwork = static_cast<int>(query);
            work.resize(static_cast<std::size_t>(lwork));
            dgels_("N", &mm, &nn, &nrhs, a.data(), &lda, bb.data(), &ldb, work.data(), &lwork, &info, 1);
            benchmark::DoNotOptimize(bb.data());
        });
}
BENCHMARK(NnlsVersusDgels)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
