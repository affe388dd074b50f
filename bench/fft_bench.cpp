// fft against FFTW's own plans (made outside the timed loop) on the same
// data: complex and real powers of two with each backend, the mixed-radix
// real kernel, lengths with a large prime factor, awkward lengths (beside
// numpy.fft through bench/fft_numpy_ratios.py), fft2, and ifft against fft.
#include "bench_util.hpp"
#include "signal/fft_kernels.hpp"

#include <fftw3.h>

#include <cmath>
#include <complex>
#include <vector>

namespace {

bench::library_started started;

Mm signal_column(int n, bool complex)
{
    Mm x(complex, 0, 0, n, 1, qv_double);
    for (int j = 0; j < n; ++j) {
        x.addr()[j] = std::sin(0.001 * j) + 0.25 * std::cos(0.37 * j);
        if (complex)
            x.addi()[j] = std::cos(0.002 * j);
    }
    return x;
}

// FFTW's complex plan of length n on interleaved data, out of place.
struct complex_plan {
    explicit complex_plan(int n, const Mm& x) : in(n), out(n)
    {
        for (int j = 0; j < n; ++j)
            in[j] = {x.addr()[j], x.addi() ? x.addi()[j] : 0.0};
        plan = fftw_plan_dft_1d(n, reinterpret_cast<fftw_complex*>(in.data()),
                                reinterpret_cast<fftw_complex*>(out.data()), FFTW_FORWARD, FFTW_ESTIMATE);
    }
    ~complex_plan() { fftw_destroy_plan(plan); }
    void run() { fftw_execute(plan); }
    std::vector<std::complex<double>> in, out;
    fftw_plan plan;
};

struct real_plan {
    explicit real_plan(int n, const Mm& x) : in(x.addr(), x.addr() + n), out(n / 2 + 1)
    {
        plan = fftw_plan_dft_r2c_1d(n, in.data(), reinterpret_cast<fftw_complex*>(out.data()), FFTW_ESTIMATE);
    }
    ~real_plan() { fftw_destroy_plan(plan); }
    void run() { fftw_execute(plan); }
    std::vector<double> in;
    std::vector<std::complex<double>> out;
    fftw_plan plan;
};

// fft of a complex column of length range(0) against an FFTW plan of the
// same length; range(1): 1 routes powers of two to our own kernel.
void complex_against_plan(benchmark::State& state, const char* own_label, const char* default_label)
{
    const int n = int(state.range(0));
    const bool old = pow2_force_own_kernel(state.range(1) != 0);
    const Mm x = signal_column(n, true);
    complex_plan p(n, x);
    bench::run_with_baseline(
        state,
        [&] {
            Mm y = fft(x);
            benchmark::DoNotOptimize(y.addr());
        },
        [&] { p.run(); });
    pow2_force_own_kernel(old);
    state.SetLabel(state.range(1) ? own_label : default_label);
}

void ComplexPow2(benchmark::State& state)
{
    complex_against_plan(state, "own kernel; baseline: FFTW plan", "default backend; baseline: FFTW plan");
}
BENCHMARK(ComplexPow2)->Args({1 << 20, 0})->Args({1 << 20, 1})->Unit(benchmark::kMillisecond);

void RealPacked(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm x = signal_column(n, false);
    real_plan p(n, x);
    bench::run_with_baseline(
        state,
        [&] {
            Mm y = fft(x);
            benchmark::DoNotOptimize(y.addr());
        },
        [&] { p.run(); });
    state.SetLabel("packed half-length path; baseline: FFTW r2c plan");
}
BENCHMARK(RealPacked)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Many short real columns: the per-call set-up (plans, twiddles) counts
// against a transform of only range(0) points.
void RealPackedColumns(benchmark::State& state)
{
    const int n = int(state.range(0)), m = int(state.range(1));
    Mm x(0, 0, 0, n, m, qv_double);
    for (int c = 0; c < m; ++c)
        for (int j = 0; j < n; ++j)
            x.addr()[j + std::size_t(c) * n] = std::sin(0.001 * j + c) + 0.25 * std::cos(0.37 * j);
    std::vector<double> in(x.addr(), x.addr() + std::size_t(n) * m);
    std::vector<std::complex<double>> out(std::size_t(n / 2 + 1) * m);
    fftw_plan plan = fftw_plan_many_dft_r2c(1, &n, m, in.data(), nullptr, 1, n,
                                            reinterpret_cast<fftw_complex*>(out.data()), nullptr, 1, n / 2 + 1,
                                            FFTW_ESTIMATE);
    bench::run_with_baseline(
        state,
        [&] {
            Mm y = fft(x);
            benchmark::DoNotOptimize(y.addr());
        },
        [&] { fftw_execute(plan); });
    fftw_destroy_plan(plan);
    state.SetLabel("packed path, many columns; baseline: FFTW r2c plan over all columns");
}
BENCHMARK(RealPackedColumns)->Args({256, 4096})->Unit(benchmark::kMillisecond);

void RealMixedRadix(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm x = signal_column(n, false);
    real_plan p(n, x);
    bench::run_with_baseline(
        state,
        [&] {
            Mm y = fft(x);
            benchmark::DoNotOptimize(y.addr());
        },
        [&] { p.run(); });
    state.SetLabel("mixed-radix real kernel; baseline: FFTW r2c plan");
}
BENCHMARK(RealMixedRadix)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Lengths whose largest prime factor is large (primes up to just below
// 2^22, and twice a prime) go through the chirp convolution over the
// backend for lengths of factors 2, 3 and 5. range(1): 1 serves that
// backend with our own kernel, as in a build without FFTW.
void LargePrimeFactor(benchmark::State& state)
{
    complex_against_plan(state, "own power-of-two kernel; baseline: FFTW plan of the same length",
                         "default backend; baseline: FFTW plan of the same length");
}
BENCHMARK(LargePrimeFactor)
    ->Args({10007, 0})
    ->Args({100003, 0})
    ->Args({2 * 500009, 0})
    ->Args({1000003, 0})
    ->Args({4194301, 0})
    ->Args({1000003, 1})
    ->Unit(benchmark::kMillisecond);

// Awkward lengths: those of the speed audit (7*101*103, 2*101*103, 65537,
// 16411, 127*131, 9*11*331, 99991), then a sweep of primes and of products
// of two primes, complex (range(1) = 1) and real input. The baseline is
// FFTW's estimated plan of the same length; bench/fft_numpy_ratios.py runs
// these cases beside numpy.fft and prints the ratios to it.
void AwkwardLength(benchmark::State& state)
{
    const int n = int(state.range(0));
    const bool complex = state.range(1) != 0;
    const Mm x = signal_column(n, complex);
    auto ours = [&] {
        Mm y = fft(x);
        benchmark::DoNotOptimize(y.addr());
    };
    ours();  // the tables a length needs are built by its first call and kept
    if (complex) {
        complex_plan p(n, x);
        bench::run_with_baseline(state, ours, [&] { p.run(); });
    } else {
        real_plan p(n, x);
        bench::run_with_baseline(state, ours, [&] { p.run(); });
    }
    state.SetLabel(complex ? "complex; baseline: FFTW plan of the same length"
                           : "real; baseline: FFTW r2c plan of the same length");
}

void awkward_lengths(benchmark::internal::Benchmark* b)
{
    const int lengths[] = {72821, 20806, 65537, 16411, 16637, 32769, 99991,
                           // primes
                           101, 1009, 4099, 10007, 30011, 100003, 262147, 999983,
                           // products of two primes
                           10403, 47053, 95477, 100697, 2 * 50021, 3 * 33331, 1009 * 1013};
    for (int n : lengths)
        for (int complex : {1, 0})
            b->Args({n, complex});
}
BENCHMARK(AwkwardLength)->Apply(awkward_lengths)->Unit(benchmark::kMillisecond);

void Fft2Complex(benchmark::State& state)
{
    const int n = int(state.range(0));
    Mm x(1, 0, 0, n, n, qv_double);
    std::vector<std::complex<double>> in(std::size_t(n) * n), out(in.size());
    for (int k = 0; k < n * n; ++k) {
        x.addr()[k] = std::sin(0.01 * k);
        x.addi()[k] = std::cos(0.003 * k);
        in[k] = {x.addr()[k], x.addi()[k]};
    }
    fftw_plan p = fftw_plan_dft_2d(n, n, reinterpret_cast<fftw_complex*>(in.data()),
                                   reinterpret_cast<fftw_complex*>(out.data()), FFTW_FORWARD, FFTW_ESTIMATE);
    bench::run_with_baseline(
        state,
        [&] {
            Mm y = fft2(x);
            benchmark::DoNotOptimize(y.addr());
        },
        [&] { fftw_execute(p); });
    fftw_destroy_plan(p);
    state.SetLabel("baseline: FFTW 2-d plan");
}
BENCHMARK(Fft2Complex)->Arg(512)->Unit(benchmark::kMillisecond);

void InverseAgainstForward(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm x = signal_column(n, true);
    bench::run_with_baseline(
        state,
        [&] {
            Mm y = ifft(x);
            benchmark::DoNotOptimize(y.addr());
        },
        [&] {
            Mm y = fft(x);
            benchmark::DoNotOptimize(y.addr());
        });
    state.SetLabel("baseline: fft of the same data");
}
BENCHMARK(InverseAgainstForward)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
