// The complex and higher-function scalar kernels in the element loop the
// engine will run, each beside the plain formula or library call it replaces,
// so the price of the overflow-safe and NaN-safe forms is visible.
#include "bench_util.hpp"

#include "engine/scalar_complex.hpp"
#include "engine/higher_functions.hpp"

#include <complex>
#include <vector>

namespace {

constexpr int n = 4096;

struct Operands {
    std::vector<double> ar, ai, br, bi, out_r, out_i;
    Operands() : ar(n), ai(n), br(n), bi(n), out_r(n), out_i(n)
    {
        unsigned s = 12345;
        auto next = [&s] {
            s = s * 1103515245u + 12345u;
            return (static_cast<double>(s >> 8) / 16777216.0 - 0.5) * 8;
        };
        for (int k = 0; k < n; ++k) {
            ar[k] = next();
            ai[k] = next();
            br[k] = next();
            bi[k] = next();
        }
    }
};

void ComplexAbs(benchmark::State& state)
{
    Operands v;
    bench::run_with_baseline(
        state,
        [&v] {
            for (int k = 0; k < n; ++k)
                v.out_r[k] = complex_abs(v.ar[k], v.ai[k]);
            benchmark::DoNotOptimize(v.out_r.data());
        },
        [&v] {
            for (int k = 0; k < n; ++k)
                v.out_r[k] = std::sqrt(v.ar[k] * v.ar[k] + v.ai[k] * v.ai[k]);
            benchmark::DoNotOptimize(v.out_r.data());
        });
    state.SetLabel("baseline: sqrt(re^2 + im^2)");
}
BENCHMARK(ComplexAbs);

void ComplexDiv(benchmark::State& state)
{
    Operands v;
    bench::run_with_baseline(
        state,
        [&v] {
            for (int k = 0; k < n; ++k)
                complex_div(v.ar[k], v.ai[k], v.br[k], v.bi[k], v.out_r[k], v.out_i[k]);
            benchmark::DoNotOptimize(v.out_r.data());
        },
        [&v] {
            for (int k = 0; k < n; ++k) {
                double den = v.br[k] * v.br[k] + v.bi[k] * v.bi[k];
                v.out_r[k] = (v.ar[k] * v.br[k] + v.ai[k] * v.bi[k]) / den;
                v.out_i[k] = (v.ai[k] * v.br[k] - v.ar[k] * v.bi[k]) / den;
            }
            benchmark::DoNotOptimize(v.out_r.data());
        });
    state.SetLabel("baseline: unscaled quotient");
}
BENCHMARK(ComplexDiv);

void ComplexExp(benchmark::State& state)
{
    Operands v;
    bench::run_with_baseline(
        state,
        [&v] {
            for (int k = 0; k < n; ++k)
                complex_exp(v.ar[k], v.ai[k], v.out_r[k], v.out_i[k]);
            benchmark::DoNotOptimize(v.out_r.data());
        },
        [&v] {
            for (int k = 0; k < n; ++k) {
                double e = std::exp(v.ar[k]);
                v.out_r[k] = e * std::cos(v.ai[k]);
                v.out_i[k] = e * std::sin(v.ai[k]);
            }
            benchmark::DoNotOptimize(v.out_r.data());
        });
    state.SetLabel("baseline: e^re (cos im, sin im)");
}
BENCHMARK(ComplexExp);

void ComplexAsin(benchmark::State& state)
{
    Operands v;
    bench::run_with_baseline(
        state,
        [&v] {
            for (int k = 0; k < n; ++k)
                complex_asin(v.ar[k], v.ai[k], v.out_r[k], v.out_i[k]);
            benchmark::DoNotOptimize(v.out_r.data());
        },
        [&v] {
            for (int k = 0; k < n; ++k) {
                std::complex<double> r = std::asin(std::complex<double>(v.ar[k], v.ai[k]));
                v.out_r[k] = r.real();
                v.out_i[k] = r.imag();
            }
            benchmark::DoNotOptimize(v.out_r.data());
        });
    state.SetLabel("baseline: std::asin of std::complex");
}
BENCHMARK(ComplexAsin);

void Gamma(benchmark::State& state)
{
    Operands v;
    bench::run_with_baseline(
        state,
        [&v] {
            for (int k = 0; k < n; ++k)
                v.out_r[k] = gamma_double(v.ar[k] * 4);
            benchmark::DoNotOptimize(v.out_r.data());
        },
        [&v] {
            for (int k = 0; k < n; ++k)
                v.out_r[k] = std::tgamma(v.ar[k] * 4);
            benchmark::DoNotOptimize(v.out_r.data());
        });
    state.SetLabel("baseline: std::tgamma");
}
BENCHMARK(Gamma);

void Erfinv(benchmark::State& state)
{
    Operands v;
    bench::run_with_baseline(
        state,
        [&v] {
            for (int k = 0; k < n; ++k)
                v.out_r[k] = erfinv_double(v.ar[k] / 4.0001);
            benchmark::DoNotOptimize(v.out_r.data());
        },
        [&v] {
            for (int k = 0; k < n; ++k)
                v.out_r[k] = std::erf(v.ar[k] / 4.0001);
            benchmark::DoNotOptimize(v.out_r.data());
        });
    state.SetLabel("baseline: std::erf, the forward function");
}
BENCHMARK(Erfinv);

} // namespace

BENCHMARK_MAIN();
