// The complex Hessenberg QR kernels against LAPACK's ZHSEQR on the same
// Hessenberg matrix, both on one BLAS thread: comqr (eigenvalues) beside
// ZHSEQR('E','N') and complex_schur_qr with job 1 (Schur form and basis,
// the reduction's basis formed first) beside ZHSEQR('S','V') after ZUNGHR,
// each by the single-shift iteration alone and by the multishift iteration
// (the work given): the figures that set the orders where the kernels
// change from one to the other (complex_multishift_values_order and
// complex_multishift_vectors_order).
#include "bench_util.hpp"
#include "kernel_orders.hpp"
#include "linalg/kernels.hpp"

#include <complex>
#include <random>
#include <string>
#include <vector>

extern "C" {
void zgehrd_(const int*, const int*, const int*, std::complex<double>*, const int*, std::complex<double>*,
             std::complex<double>*, const int*, int*);
void zunghr_(const int*, const int*, const int*, std::complex<double>*, const int*, const std::complex<double>*,
             std::complex<double>*, const int*, int*);
void zhseqr_(const char*, const char*, const int*, const int*, const int*, std::complex<double>*, const int*,
             std::complex<double>*, std::complex<double>*, const int*, std::complex<double>*, const int*, int*,
             std::size_t, std::size_t);
}

namespace {

bench::library_started started;
const int one_thread = (openblas_set_num_threads(1), 1);

using cx = std::complex<double>;

// A random complex matrix reduced by corth, in split storage, with what
// ZHSEQR needs of the same matrix: its Hessenberg form (interleaved, zeros
// below the subdiagonal) from ZGEHRD and the basis from ZUNGHR.
struct hessenberg {
    int n;
    std::vector<double> hr, hi, ortr, orti;
    std::vector<cx> h, q;
    explicit hessenberg(int n_) : n(n_), hr(std::size_t(n_) * n_), hi(hr.size()), ortr(n_), orti(n_)
    {
        std::mt19937_64 gen(67 + n);
        std::normal_distribution<double> normal;
        for (std::size_t k = 0; k < hr.size(); ++k) {
            hr[k] = normal(gen);
            hi[k] = normal(gen);
        }
        h.resize(hr.size());
        for (std::size_t k = 0; k < hr.size(); ++k)
            h[k] = {hr[k], hi[k]};
        int low = 1;
        std::vector<double> work(hessenberg_work_size(n, true));
        corth(&n, &n, &low, &n, hr.data(), hi.data(), ortr.data(), orti.data(), work.data());
        std::vector<cx> tau(n), zwork(std::size_t(64) * n + 64);
        const int lwork = int(zwork.size());
        int info = 0;
        zgehrd_(&n, &low, &n, h.data(), &n, tau.data(), zwork.data(), &lwork, &info);
        q = h;
        zunghr_(&n, &low, &n, q.data(), &n, tau.data(), zwork.data(), &lwork, &info);
        for (int j = 0; j < n; ++j)
            for (int i = j + 2; i < n; ++i)
                h[i + std::size_t(j) * n] = 0;
    }
};

void ComplexHessenbergQr(benchmark::State& state)
{
    int n = int(state.range(0));
    const bool schur = state.range(1) != 0, multishift = state.range(2) != 0;
    const hessenberg start(n);
    std::vector<double> hr, hi, ortr, orti, zr(std::size_t(n) * n), zi(zr.size()), wr(n), wi(n),
        work(complex_qr_work_size(n));
    std::vector<cx> h, z, w(n), zwork(std::size_t(64) * n + 64);
    int low = 1, igh = n, ierr = 0, job = 1;
    const test::MultishiftEverywhere orders;
    bench::run_with_baseline(
        state,
        [&] {
            hr = start.hr;
            hi = start.hi;
            ortr = start.ortr;
            orti = start.orti;
            double* wk = multishift ? work.data() : nullptr;
            if (schur)
                complex_schur_qr(&n, &n, &low, &igh, ortr.data(), orti.data(), hr.data(), hi.data(), wr.data(),
                                 wi.data(), zr.data(), zi.data(), &job, &ierr, wk);
            else
                comqr(&n, &n, &low, &igh, hr.data(), hi.data(), wr.data(), wi.data(), &ierr, wk);
            benchmark::DoNotOptimize(wr.data());
        },
        [&] {
            h = start.h;
            const int lwork = int(zwork.size());
            int info = 0;
            if (schur) {
                z = start.q;
                zhseqr_("S", "V", &n, &low, &n, h.data(), &n, w.data(), z.data(), &n, zwork.data(), &lwork, &info, 1,
                        1);
            } else
                zhseqr_("E", "N", &n, &low, &n, h.data(), &n, w.data(), nullptr, &n, zwork.data(), &lwork, &info,
                        1, 1);
            benchmark::DoNotOptimize(w.data());
        });
    state.SetLabel(std::string(multishift ? "multishift" : "single shift") +
                   (schur ? "; baseline: ZUNGHR + ZHSEQR('S','V')" : "; baseline: ZHSEQR('E','N')"));
}
BENCHMARK(ComplexHessenbergQr)
    ->ArgsProduct({{80, 100, 120, 150, 200, 250, 300, 450, 1000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
