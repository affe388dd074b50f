// conv and conv2 against hand loops and a hand FFTW convolution of the same
// data.
#include "bench_util.hpp"

#include <fftw3.h>

#include <cmath>
#include <complex>
#include <vector>

namespace {

bench::library_started started;

Mm samples(int n, double f)
{
    Mm x(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = std::sin(f * k) + 0.25;
    return x;
}

void ConvDirect(benchmark::State& state)
{
    const int la = int(state.range(0)), lb = int(state.range(1));
    const Mm a = samples(la, 0.001), b = samples(lb, 0.07);
    std::vector<double> y(la + lb - 1);
    bench::run_with_baseline(
        state,
        [&] {
            Mm c = conv(a, b);
            benchmark::DoNotOptimize(c.addr());
        },
        [&] {
            std::fill(y.begin(), y.end(), 0.0);
            const double *pa = a.addr(), *pb = b.addr();
            for (int i = 0; i < la; ++i)
                for (int j = 0; j < lb; ++j)
                    y[i + j] += pa[i] * pb[j];
            benchmark::DoNotOptimize(y.data());
        });
    state.SetLabel("direct engine; baseline: double loop by hand");
}
BENCHMARK(ConvDirect)->Args({1000000, 499})->Unit(benchmark::kMillisecond);

void ConvFft(benchmark::State& state)
{
    const int la = int(state.range(0)), lb = la, n = la + lb - 1, len = 1 << 18;
    const Mm a = samples(la, 0.001), b = samples(lb, 0.07);
    std::vector<double> ra(len), rb(len), out(len);
    std::vector<std::complex<double>> fa(len / 2 + 1), fb(len / 2 + 1);
    fftw_plan pa = fftw_plan_dft_r2c_1d(len, ra.data(), reinterpret_cast<fftw_complex*>(fa.data()), FFTW_ESTIMATE);
    fftw_plan pb = fftw_plan_dft_r2c_1d(len, rb.data(), reinterpret_cast<fftw_complex*>(fb.data()), FFTW_ESTIMATE);
    fftw_plan back = fftw_plan_dft_c2r_1d(len, reinterpret_cast<fftw_complex*>(fa.data()), out.data(), FFTW_ESTIMATE);
    bench::run_with_baseline(
        state,
        [&] {
            Mm c = conv(a, b);
            benchmark::DoNotOptimize(c.addr());
        },
        [&] {
            std::copy(a.addr(), a.addr() + la, ra.begin());
            std::fill(ra.begin() + la, ra.end(), 0.0);
            std::copy(b.addr(), b.addr() + lb, rb.begin());
            std::fill(rb.begin() + lb, rb.end(), 0.0);
            fftw_execute(pa);
            fftw_execute(pb);
            for (int k = 0; k <= len / 2; ++k)
                fa[k] *= fb[k] / double(len);
            fftw_execute(back);
            benchmark::DoNotOptimize(out.data() + n - 1);
        });
    fftw_destroy_plan(pa);
    fftw_destroy_plan(pb);
    fftw_destroy_plan(back);
    state.SetLabel("FFT engine; baseline: FFTW r2c convolution by hand");
}
BENCHMARK(ConvFft)->Arg(100000)->Unit(benchmark::kMillisecond);

void Conv2Stencil(benchmark::State& state)
{
    const int m = int(state.range(0)), k = 5;
    Mm a(0, 0, 0, m, m, qv_double), s(0, 0, 0, k, k, qv_double);
    for (int e = 0; e < m * m; ++e)
        a.addr()[e] = std::sin(0.001 * e);
    for (int e = 0; e < k * k; ++e)
        s.addr()[e] = 1.0 / (e + 1);
    const int mz = m + k - 1;
    std::vector<double> z(std::size_t(mz) * mz);
    bench::run_with_baseline(
        state,
        [&] {
            Mm c = conv2(a, s);
            benchmark::DoNotOptimize(c.addr());
        },
        [&] {
            std::fill(z.begin(), z.end(), 0.0);
            const double *pa = a.addr(), *ps = s.addr();
            for (int js = 0; js < k; ++js)
                for (int is = 0; is < k; ++is)
                    for (int ja = 0; ja < m; ++ja)
                        for (int ia = 0; ia < m; ++ia)
                            z[(is + ia) + std::size_t(js + ja) * mz] += ps[is + js * k] * pa[ia + std::size_t(ja) * m];
            benchmark::DoNotOptimize(z.data());
        });
    state.SetLabel("baseline: four-deep loop by hand");
}
BENCHMARK(Conv2Stencil)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
