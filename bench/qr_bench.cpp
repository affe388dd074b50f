// qr against LAPACK: [Q,R] = qr(A) beside DGEQRF + DORGQR, and the pivoted
// [Q,R,E] = qr(A) beside DGEQP3 + DORGQR, on the same matrix; complex
// [Q,R] = qr(A) beside ZGEQRF + ZUNGQR.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm square(int n)
{
    Mm x(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        x.addr()[k] = std::sin(k * 0.61) + (k % 11 == 0);
    return x;
}

void lapack_qr(const Mm& a, bool pivot, std::vector<double>& w, std::vector<double>& tau, std::vector<int>& jpvt,
               std::vector<double>& work)
{
    const int n = a.rows();
    w.assign(a.addr(), a.addr() + n * n);
    if (pivot) {
        std::fill(jpvt.begin(), jpvt.end(), 0);
        lapack::geqp3(n, n, w.data(), n, jpvt.data(), tau.data(), work.data(), int(work.size()));
    } else
        lapack::geqrf(n, n, w.data(), n, tau.data(), work.data(), int(work.size()));
    lapack::orgqr(n, n, n, w.data(), n, tau.data(), work.data(), int(work.size()));
}

void QrFactors(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool pivot = state.range(1) != 0;
    const Mm a = square(n);
    std::vector<double> w, tau(n), work(std::size_t(64) * n + 64);
    std::vector<int> jpvt(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm Q, R, E;
            if (pivot)
                qr(a, i_o, Q, R, E);
            else
                qr(a, i_o, Q, R);
            benchmark::DoNotOptimize(Q.addr());
        },
        [&] {
            lapack_qr(a, pivot, w, tau, jpvt, work);
            benchmark::DoNotOptimize(w.data());
        });
    state.SetLabel(pivot ? "baseline: DGEQP3 + DORGQR" : "baseline: DGEQRF + DORGQR");
}
BENCHMARK(QrFactors)->Args({200, 0})->Args({500, 0})->Args({1000, 0})->Args({200, 1})->Args({500, 1})->Unit(benchmark::kMillisecond);

Mm complex_square(int n)
{
    Mm x(1, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k) {
        x.addr()[k] = std::sin(k * 0.61) + (k % 11 == 0);
        x.addi()[k] = std::cos(k * 0.43) - (k % 7 == 0);
    }
    return x;
}

void ComplexQrFactors(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = complex_square(n);
    const std::vector<double> z0 = bench::interleaved(a);
    std::vector<double> z, tau(2 * std::size_t(n)), work(2 * (std::size_t(64) * n + 64));
    bench::run_with_baseline(
        state,
        [&] {
            Mm Q, R;
            qr(a, i_o, Q, R);
            benchmark::DoNotOptimize(Q.addr());
        },
        [&] {
            z = z0;
            const int lwork = 64 * n + 64;
            lapack::zgeqrf(n, n, z.data(), n, tau.data(), work.data(), lwork);
            lapack::zungqr(n, n, n, z.data(), n, tau.data(), work.data(), lwork);
            benchmark::DoNotOptimize(z.data());
        });
    state.SetLabel("baseline: ZGEQRF + ZUNGQR on interleaved data");
}
BENCHMARK(ComplexQrFactors)->Arg(8)->Arg(16)->Arg(50)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
