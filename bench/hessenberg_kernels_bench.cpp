// The Hessenberg reduction kernels against LAPACK's blocked reduction on
// the same matrix, both on one BLAS thread: orthes + ortran (as schur and
// hess call them) and elmhes + eltran (as eig calls them) beside DGEHRD +
// DORGHR, corth + cortran (complex eig, schur and hess) beside ZGEHRD +
// ZUNGHR, each by its plain steps and by panels down to a plain tail of
// 32, 64, 96 and 128 columns: the figures that set hessenberg_blocking_order
// and complex_hessenberg_blocking_order.
#include "bench_util.hpp"
#include "kernel_orders.hpp"
#include "linalg/kernels.hpp"

#include <algorithm>
#include <complex>
#include <random>
#include <string>
#include <vector>

extern "C" {
void zgehrd_(const int*, const int*, const int*, std::complex<double>*, const int*, std::complex<double>*,
             std::complex<double>*, const int*, int*);
void zunghr_(const int*, const int*, const int*, std::complex<double>*, const int*, const std::complex<double>*,
             std::complex<double>*, const int*, int*);
void dgehrd_(const int*, const int*, const int*, double*, const int*, double*, double*, const int*, int*);
void dorghr_(const int*, const int*, const int*, double*, const int*, const double*, double*, const int*, int*);
}

namespace {

bench::library_started started;
const int one_thread = (openblas_set_num_threads(1), 1);

// n by n, real; complex: the real parts, then the imaginary ones.
std::vector<double> random_matrix(int n, bool complex)
{
    std::mt19937_64 gen(43 + n);
    std::normal_distribution<double> normal;
    std::vector<double> a(std::size_t(n) * n * (complex ? 2 : 1));
    for (double& x : a)
        x = normal(gen);
    return a;
}

// DGEHRD + DORGHR (real) or ZGEHRD + ZUNGHR (complex: a0 holds the real
// parts, then the imaginary ones) on a fresh copy.
struct lapack_reduction {
    int n;
    bool complex;
    std::vector<double> a, q, tau, work;
    std::vector<std::complex<double>> za, zq, ztau, zwork;
    lapack_reduction(int n_, bool complex_)
        : n(n_), complex(complex_), tau(n_), work(std::size_t(64) * n_ + 64), ztau(n_), zwork(work.size())
    {
    }
    void run(const std::vector<double>& a0)
    {
        const int lwork = int(work.size()), ilo = 1;
        int info = 0;
        if (complex) {
            const std::size_t nn = std::size_t(n) * n;
            za.resize(nn);
            for (std::size_t k = 0; k < nn; ++k)
                za[k] = {a0[k], a0[nn + k]};
            zgehrd_(&n, &ilo, &n, za.data(), &n, ztau.data(), zwork.data(), &lwork, &info);
            zq = za;
            zunghr_(&n, &ilo, &n, zq.data(), &n, ztau.data(), zwork.data(), &lwork, &info);
            benchmark::DoNotOptimize(zq.data());
            return;
        }
        a = a0;
        dgehrd_(&n, &ilo, &n, a.data(), &n, tau.data(), work.data(), &lwork, &info);
        q = a;
        dorghr_(&n, &ilo, &n, q.data(), &n, tau.data(), work.data(), &lwork, &info);
        benchmark::DoNotOptimize(q.data());
    }
};

const std::vector<std::vector<long>> orders_and_sizes = {{34, 40, 48, 64, 96, 128, 160, 192, 256, 512, 1000},
                                                          {0, 32, 64, 96, 128}};

// One reduction beside DGEHRD + DORGHR on the same matrix, with the
// blocking order of the case's second argument (0: plain steps only).
template <class Reduce>
void beside_lapack(benchmark::State& state, bool complex, Reduce&& reduce)
{
    const int n = int(state.range(0));
    const std::vector<double> a0 = random_matrix(n, complex);
    std::vector<double> a;
    lapack_reduction lapack(n, complex);
    const test::HessenbergBlocking mode(int(state.range(1)));
    bench::run_with_baseline(
        state,
        [&] {
            a = a0;
            reduce(a);
        },
        [&] { lapack.run(a0); });
    state.SetLabel(mode.label() + (complex ? "; baseline: ZGEHRD + ZUNGHR" : "; baseline: DGEHRD + DORGHR"));
}

void OrthogonalReduction(benchmark::State& state)
{
    int n = int(state.range(0)), low = 1, igh = n;
    std::vector<double> ort(n), z(std::size_t(n) * n), work(hessenberg_work_size(n));
    beside_lapack(state, false, [&](std::vector<double>& a) {
        orthes(&n, &n, &low, &igh, a.data(), ort.data(), work.data());
        ortran(&n, &n, &low, &igh, a.data(), ort.data(), z.data(), work.data());
        benchmark::DoNotOptimize(z.data());
    });
}
BENCHMARK(OrthogonalReduction)->ArgsProduct(orders_and_sizes)->Unit(benchmark::kMillisecond);

void ElementaryReduction(benchmark::State& state)
{
    int n = int(state.range(0)), low = 1, igh = n;
    std::vector<double> z(std::size_t(n) * n);
    std::vector<int> piv(n);
    beside_lapack(state, false, [&](std::vector<double>& a) {
        elmhes(&n, &n, &low, &igh, a.data(), piv.data());
        eltran(&n, &n, &low, &igh, a.data(), piv.data(), z.data());
        benchmark::DoNotOptimize(z.data());
    });
}
BENCHMARK(ElementaryReduction)->ArgsProduct(orders_and_sizes)->Unit(benchmark::kMillisecond);

void UnitaryReduction(benchmark::State& state)
{
    int n = int(state.range(0)), low = 1, igh = n;
    const std::size_t nn = std::size_t(n) * n;
    std::vector<double> ortr(n), orti(n), z(2 * nn), work(hessenberg_work_size(n, true));
    beside_lapack(state, true, [&](std::vector<double>& a) {
        corth(&n, &n, &low, &igh, a.data(), a.data() + nn, ortr.data(), orti.data(), work.data());
        cortran(&n, &n, &low, &igh, a.data(), a.data() + nn, ortr.data(), orti.data(), z.data(), z.data() + nn,
                work.data());
        benchmark::DoNotOptimize(z.data());
    });
}
BENCHMARK(UnitaryReduction)->ArgsProduct(orders_and_sizes)->Unit(benchmark::kMillisecond);

// The language function [P,H] = hess(A) of a complex A, its copies and
// splits included, beside the same LAPACK pair.
void ComplexHess(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::size_t nn = std::size_t(n) * n;
    const std::vector<double> a0 = random_matrix(n, true);
    Mm a(1, 0, 0, n, n, qv_double);
    std::copy(a0.begin(), a0.begin() + nn, a.addr());
    std::copy(a0.begin() + nn, a0.end(), a.addi());
    lapack_reduction lapack(n, true);
    bench::run_with_baseline(
        state,
        [&] {
            Mm P, H;
            hess(a, i_o, P, H);
            benchmark::DoNotOptimize(P.addr());
        },
        [&] { lapack.run(a0); });
    state.SetLabel("baseline: ZGEHRD + ZUNGHR");
}
BENCHMARK(ComplexHess)->Arg(50)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
