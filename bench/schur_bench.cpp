// schur and hess against LAPACK on the same matrix, both on one BLAS
// thread: real [U,T] = schur(A) to DGEES with vectors and no sorting,
// [P,H] = hess(A) to DGEHRD plus DORGHR.
#include "bench_util.hpp"

#include <random>
#include <vector>

extern "C" {
void dgees_(const char*, const char*, int (*)(const double*, const double*), const int*, double*, const int*, int*,
            double*, double*, double*, const int*, double*, const int*, int*, int*, std::size_t, std::size_t);
void dgehrd_(const int*, const int*, const int*, double*, const int*, double*, double*, const int*, int*);
void dorghr_(const int*, const int*, const int*, double*, const int*, const double*, double*, const int*, int*);
}

namespace {

bench::library_started started;
const int one_thread = (openblas_set_num_threads(1), 1);

Mm random_matrix(int n)
{
    std::mt19937_64 gen(29 + n);
    std::normal_distribution<double> normal;
    Mm a(0, 0, 0, n, n, qv_double);
    for (std::size_t k = 0; k < std::size_t(n) * n; ++k)
        a.addr()[k] = normal(gen);
    return a;
}

void Schur(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = random_matrix(n);
    std::vector<double> work_a, vs(std::size_t(n) * n), wr(n), wi(n), work(std::size_t(n) * 64);
    std::vector<int> bwork(n);
    const int lwork = int(work.size());
    bench::run_with_baseline(
        state,
        [&] {
            Mm U, T;
            schur(a, i_o, U, T);
            benchmark::DoNotOptimize(T.addr());
        },
        [&] {
            work_a.assign(a.addr(), a.addr() + std::size_t(n) * n);
            int sdim = 0, info = 0;
            dgees_("V", "N", nullptr, &n, work_a.data(), &n, &sdim, wr.data(), wi.data(), vs.data(), &n, work.data(),
                   &lwork, bwork.data(), &info, 1, 1);
            benchmark::DoNotOptimize(work_a.data());
        });
    state.SetLabel("baseline: DGEES with Schur vectors");
}
BENCHMARK(Schur)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

void Hess(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = random_matrix(n);
    std::vector<double> work_a, q, tau(n), work(std::size_t(n) * 64);
    const int lwork = int(work.size()), one = 1;
    bench::run_with_baseline(
        state,
        [&] {
            Mm P, H;
            hess(a, i_o, P, H);
            benchmark::DoNotOptimize(H.addr());
        },
        [&] {
            work_a.assign(a.addr(), a.addr() + std::size_t(n) * n);
            int info = 0;
            dgehrd_(&n, &one, &n, work_a.data(), &n, tau.data(), work.data(), &lwork, &info);
            q = work_a;
            dorghr_(&n, &one, &n, q.data(), &n, tau.data(), work.data(), &lwork, &info);
            benchmark::DoNotOptimize(q.data());
        });
    state.SetLabel("baseline: DGEHRD + DORGHR");
}
BENCHMARK(Hess)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
