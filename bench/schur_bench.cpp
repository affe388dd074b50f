// schur and hess against LAPACK on the same matrix, both on one BLAS
// thread: [U,T] = schur(A) to DGEES (real) or ZGEES (complex) with vectors
// and no sorting, [P,H] = hess(A) to DGEHRD plus DORGHR or ZGEHRD plus
// ZUNGHR.
#include "bench_util.hpp"

#include <complex>
#include <random>
#include <string>
#include <vector>

extern "C" {
void dgees_(const char*, const char*, int (*)(const double*, const double*), const int*, double*, const int*, int*,
            double*, double*, double*, const int*, double*, const int*, int*, int*, std::size_t, std::size_t);
void dgehrd_(const int*, const int*, const int*, double*, const int*, double*, double*, const int*, int*);
void dorghr_(const int*, const int*, const int*, double*, const int*, const double*, double*, const int*, int*);
void zgees_(const char*, const char*, int (*)(const std::complex<double>*), const int*, std::complex<double>*,
            const int*, int*, std::complex<double>*, std::complex<double>*, const int*, std::complex<double>*,
            const int*, double*, int*, int*, std::size_t, std::size_t);
void zgehrd_(const int*, const int*, const int*, std::complex<double>*, const int*, std::complex<double>*,
             std::complex<double>*, const int*, int*);
void zunghr_(const int*, const int*, const int*, std::complex<double>*, const int*, const std::complex<double>*,
             std::complex<double>*, const int*, int*);
}

namespace {

bench::library_started started;
const int one_thread = (openblas_set_num_threads(1), 1);

Mm random_matrix(int n, bool complex)
{
    std::mt19937_64 gen(29 + n);
    std::normal_distribution<double> normal;
    Mm a(complex, 0, 0, n, n, qv_double);
    for (std::size_t k = 0; k < std::size_t(n) * n; ++k) {
        a.addr()[k] = normal(gen);
        if (complex)
            a.addi()[k] = normal(gen);
    }
    return a;
}

std::vector<std::complex<double>> interleaved(const Mm& a)
{
    std::vector<std::complex<double>> z(std::size_t(a.rows()) * a.cols());
    for (std::size_t k = 0; k < z.size(); ++k)
        z[k] = {a.addr()[k], a.addi()[k]};
    return z;
}

void Schur(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool complex = state.range(1) != 0;
    const Mm a = random_matrix(n, complex);
    const std::vector<std::complex<double>> za = complex ? interleaved(a) : std::vector<std::complex<double>>();
    std::vector<double> work_a, vs(std::size_t(n) * n), wr(n), wi(n), work(std::size_t(n) * 64), rwork(n);
    std::vector<std::complex<double>> zwork_a, zvs(complex ? std::size_t(n) * n : 0), zw(n), zwork(std::size_t(n) * 64);
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
            int sdim = 0, info = 0;
            if (complex) {
                zwork_a = za;
                zgees_("V", "N", nullptr, &n, zwork_a.data(), &n, &sdim, zw.data(), zvs.data(), &n, zwork.data(),
                       &lwork, rwork.data(), bwork.data(), &info, 1, 1);
                benchmark::DoNotOptimize(zwork_a.data());
                return;
            }
            work_a.assign(a.addr(), a.addr() + std::size_t(n) * n);
            dgees_("V", "N", nullptr, &n, work_a.data(), &n, &sdim, wr.data(), wi.data(), vs.data(), &n, work.data(),
                   &lwork, bwork.data(), &info, 1, 1);
            benchmark::DoNotOptimize(work_a.data());
        });
    state.SetLabel(complex ? "baseline: ZGEES with Schur vectors" : "baseline: DGEES with Schur vectors");
}
BENCHMARK(Schur)->ArgsProduct({{100, 300, 1000}, {0, 1}})->Unit(benchmark::kMillisecond);

void Hess(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool complex = state.range(1) != 0;
    const Mm a = random_matrix(n, complex);
    const std::vector<std::complex<double>> za = complex ? interleaved(a) : std::vector<std::complex<double>>();
    std::vector<double> work_a, q, tau(n), work(std::size_t(n) * 64);
    std::vector<std::complex<double>> zwork_a, zq, ztau(n), zwork(std::size_t(n) * 64);
    const int lwork = int(work.size()), one = 1;
    bench::run_with_baseline(
        state,
        [&] {
            Mm P, H;
            hess(a, i_o, P, H);
            benchmark::DoNotOptimize(H.addr());
        },
        [&] {
            int info = 0;
            if (complex) {
                zwork_a = za;
                zgehrd_(&n, &one, &n, zwork_a.data(), &n, ztau.data(), zwork.data(), &lwork, &info);
                zq = zwork_a;
                zunghr_(&n, &one, &n, zq.data(), &n, ztau.data(), zwork.data(), &lwork, &info);
                benchmark::DoNotOptimize(zq.data());
                return;
            }
            work_a.assign(a.addr(), a.addr() + std::size_t(n) * n);
            dgehrd_(&n, &one, &n, work_a.data(), &n, tau.data(), work.data(), &lwork, &info);
            q = work_a;
            dorghr_(&n, &one, &n, q.data(), &n, tau.data(), work.data(), &lwork, &info);
            benchmark::DoNotOptimize(q.data());
        });
    state.SetLabel(complex ? "baseline: ZGEHRD + ZUNGHR" : "baseline: DGEHRD + DORGHR");
}
BENCHMARK(Hess)->ArgsProduct({{100, 300, 1000}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
