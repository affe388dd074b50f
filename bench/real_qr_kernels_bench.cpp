// The real Hessenberg QR kernels against LAPACK's DHSEQR on the same
// Hessenberg matrix, both on one BLAS thread: hqr (eigenvalues) beside
// DHSEQR('E','N') and real_schur_qr (Schur form and basis) beside
// DHSEQR('S','V'), each by the double-shift iteration alone and by the
// multishift iteration (the work given): the figures that set the orders
// where the kernels change from one to the other (375 and 120).
#include "bench_util.hpp"
#include "kernel_orders.hpp"
#include "linalg/kernels.hpp"

#include <random>
#include <string>
#include <vector>

extern "C" {
void dgehrd_(const int*, const int*, const int*, double*, const int*, double*, double*, const int*, int*);
void dorghr_(const int*, const int*, const int*, double*, const int*, const double*, double*, const int*, int*);
void dhseqr_(const char*, const char*, const int*, const int*, const int*, double*, const int*, double*, double*,
             double*, const int*, double*, const int*, int*, std::size_t, std::size_t);
}

namespace {

bench::library_started started;
const int one_thread = (openblas_set_num_threads(1), 1);

// A random matrix reduced to Hessenberg form (zeros below the
// subdiagonal) with the basis of the reduction.
struct hessenberg {
    int n;
    std::vector<double> h, q;
    explicit hessenberg(int n_) : n(n_), h(std::size_t(n_) * n_)
    {
        std::mt19937_64 gen(61 + n);
        std::normal_distribution<double> normal;
        for (double& x : h)
            x = normal(gen);
        std::vector<double> tau(n), work(std::size_t(64) * n + 64);
        const int lwork = int(work.size()), ilo = 1;
        int info = 0;
        dgehrd_(&n, &ilo, &n, h.data(), &n, tau.data(), work.data(), &lwork, &info);
        q = h;
        dorghr_(&n, &ilo, &n, q.data(), &n, tau.data(), work.data(), &lwork, &info);
        for (int j = 0; j < n; ++j)
            for (int i = j + 2; i < n; ++i)
                h[i + std::size_t(j) * n] = 0;
    }
};

void RealHessenbergQr(benchmark::State& state)
{
    int n = int(state.range(0));
    const bool schur = state.range(1) != 0, multishift = state.range(2) != 0;
    const hessenberg start(n);
    std::vector<double> h, z, wr(n), wi(n), work(real_qr_work_size(n)), lwork_area(std::size_t(64) * n + 64);
    int low = 1, igh = n, ierr = 0;
    const test::MultishiftEverywhere orders;
    bench::run_with_baseline(
        state,
        [&] {
            h = start.h;
            double* w = multishift ? work.data() : nullptr;
            if (schur) {
                z = start.q;
                real_schur_qr(&n, &n, &low, &igh, h.data(), wr.data(), wi.data(), z.data(), &ierr, w);
            } else
                hqr(&n, &n, &low, &igh, h.data(), wr.data(), wi.data(), &ierr, w);
            benchmark::DoNotOptimize(wr.data());
        },
        [&] {
            h = start.h;
            z = start.q;
            const int lwork = int(lwork_area.size());
            int info = 0;
            dhseqr_(schur ? "S" : "E", schur ? "V" : "N", &n, &low, &n, h.data(), &n, wr.data(), wi.data(), z.data(),
                    &n, lwork_area.data(), &lwork, &info, 1, 1);
            benchmark::DoNotOptimize(wr.data());
        });
    state.SetLabel(std::string(multishift ? "multishift" : "double shift") +
                   (schur ? "; baseline: DHSEQR('S','V')" : "; baseline: DHSEQR('E','N')"));
}
BENCHMARK(RealHessenbergQr)
    ->ArgsProduct({{100, 120, 150, 200, 300, 375, 450, 600, 1000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
