// filter and upfirdn against the same recursions written by hand on plain
// arrays.
#include "bench_util.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm samples(int n)
{
    Mm x(0, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = std::sin(0.01 * k) + 0.1 * std::cos(1.3 * k);
    return x;
}

void FilterOrder8(benchmark::State& state)
{
    const int n = int(state.range(0)), order = 8;
    const Mm x = samples(n);
    Mm b(0, 0, 0, 1, order + 1, qv_double), a(0, 0, 0, 1, order + 1, qv_double);
    for (int k = 0; k <= order; ++k) {
        b.addr()[k] = 1.0 / (k + 1);
        a.addr()[k] = k == 0 ? 1.0 : std::pow(-0.3, k) / (k + 1);
    }
    std::vector<double> y(n), z(order);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = filter(b, a, x);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            std::fill(z.begin(), z.end(), 0.0);
            const double *bb = b.addr(), *aa = a.addr(), *xx = x.addr();
            for (int m = 0; m < n; ++m) {
                const double u = xx[m], v = bb[0] * u + z[0];
                y[m] = v;
                for (int i = 0; i < order - 1; ++i)
                    z[i] = bb[i + 1] * u - aa[i + 1] * v + z[i + 1];
                z[order - 1] = bb[order] * u - aa[order] * v;
            }
            benchmark::DoNotOptimize(y.data());
        });
    state.SetLabel("baseline: the recursion by hand");
}
BENCHMARK(FilterOrder8)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A filter without poles (a = 1): b's terms alone.
void FilterFir9(benchmark::State& state)
{
    const int n = int(state.range(0)), order = 8;
    const Mm x = samples(n);
    Mm b(0, 0, 0, 1, order + 1, qv_double);
    for (int k = 0; k <= order; ++k)
        b.addr()[k] = 1.0 / (k + 1);
    const Mm a(1.0);
    std::vector<double> y(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = filter(b, a, x);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            const double *bb = b.addr(), *xx = x.addr();
            for (int m = 0; m < n; ++m) {
                double v = 0;
                for (int k = 0; k <= order && k <= m; ++k)
                    v += bb[k] * xx[m - k];
                y[m] = v;
            }
            benchmark::DoNotOptimize(y.data());
        });
    state.SetLabel("baseline: the convolution sum by hand");
}
BENCHMARK(FilterFir9)->Arg(1000000)->Unit(benchmark::kMillisecond);

void UpfirdnPolyphase(benchmark::State& state)
{
    const int n = int(state.range(0)), taps = 64, p = 3, q = 2;
    const Mm x = samples(n);
    Mm h(0, 0, 0, taps, 1, qv_double);
    for (int k = 0; k < taps; ++k)
        h.addr()[k] = std::sin(0.1 * (k + 1)) / (k + 1);
    const long ly = (long(p) * (n - 1) + taps - 1) / q + 1;
    std::vector<double> y(ly);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = upfirdn(x, h, Mm(double(p)), Mm(double(q)));
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            std::fill(y.begin(), y.end(), 0.0);
            const double *xx = x.addr(), *hh = h.addr();
            for (long k = 0; k < n; ++k) {
                const long r = ((-k * p) % q + q) % q, m0 = (k * p + r) / q;
                for (long j = r, m = m0; j < taps && m < ly; j += q, ++m)
                    y[m] += hh[j] * xx[k];
            }
            benchmark::DoNotOptimize(y.data());
        });
    state.SetLabel("baseline: a polyphase loop by hand");
}
BENCHMARK(UpfirdnPolyphase)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
