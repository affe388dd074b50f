// polyval, ppval, spline, roots and ltitr against hand loops and LAPACK.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

extern "C" void dgeev_(const char*, const char*, const int*, double*, const int*, double*, double*, double*,
                       const int*, double*, const int*, double*, const int*, int*, std::size_t, std::size_t);
extern "C" void dgemv_(const char*, const int*, const int*, const double*, const double*, const int*, const double*,
                       const int*, const double*, double*, const int*, std::size_t);

namespace {

bench::library_started started;

Mm points(int n, bool sorted, double lo, double hi)
{
    std::mt19937_64 gen(3);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(n);
    for (auto& e : v)
        e = u(gen);
    if (sorted)
        std::sort(v.begin(), v.end());
    Mm x(0, 0, 0, 1, n, qv_double);
    std::copy(v.begin(), v.end(), x.addr());
    return x;
}

void PolyvalDegree10(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm x = points(n, false, -1, 1);
    Mm p(0, 0, 0, 1, 11, qv_double);
    for (int k = 0; k < 11; ++k)
        p.addr()[k] = 1.0 / (k + 1);
    std::vector<double> y(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = polyval(p, x);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            for (int e = 0; e < n; ++e) {
                double s = 0;
                for (int k = 0; k < 11; ++k)
                    s = x.addr()[e] * s + p.addr()[k];
                y[e] = s;
            }
            benchmark::DoNotOptimize(y.data());
        });
    state.SetLabel("baseline: Horner by hand");
}
BENCHMARK(PolyvalDegree10)->Arg(1000000)->Unit(benchmark::kMillisecond);

// range(1): 1 for sorted points
void PpvalSpline(benchmark::State& state)
{
    const int n = int(state.range(0)), pieces = 1000;
    Mm bx(0, 0, 0, 1, pieces + 1, qv_double), by(0, 0, 0, 1, pieces + 1, qv_double);
    for (int k = 0; k <= pieces; ++k) {
        bx.addr()[k] = k;
        by.addr()[k] = std::sin(0.05 * k);
    }
    const Mm pp = spline(bx, by);
    const Mm xx = points(n, state.range(1) != 0, 0, pieces);
    const double* c = pp.addr() + pieces + 5;
    std::vector<double> y(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = ppval(pp, xx);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            const double* br = bx.addr();
            for (int e = 0; e < n; ++e) {
                const double t = xx.addr()[e];
                const int j = std::min<int>(int(std::upper_bound(br + 1, br + pieces, t) - (br + 1)), pieces - 1);
                const double u = t - br[j];
                double s = 0;
                for (int m = 0; m < 4; ++m)
                    s = u * s + c[j + m * pieces];
                y[e] = s;
            }
            benchmark::DoNotOptimize(y.data());
        });
    state.SetLabel(state.range(1) ? "sorted; baseline: binary search and Horner" : "unsorted; same baseline");
}
BENCHMARK(PpvalSpline)->Args({1000000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond);

void SplineBuild(benchmark::State& state)
{
    const int n = int(state.range(0));
    Mm x(0, 0, 0, 1, n, qv_double), y(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k) {
        x.addr()[k] = k + 0.25 * std::sin(k);
        y.addr()[k] = std::cos(0.01 * k);
    }
    std::vector<double> a(n), b(n), c(n), r(n), s(n), coef(4 * n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm pp = spline(x, y);
            benchmark::DoNotOptimize(pp.addr());
        },
        [&] {
            // natural-end Thomas solve for the slopes, then the coefficients
            const double* xv = x.addr();
            const double* yv = y.addr();
            for (int i = 0; i < n; ++i) {
                const double hl = i > 0 ? xv[i] - xv[i - 1] : 1, hr = i + 1 < n ? xv[i + 1] - xv[i] : 1;
                a[i] = hr;
                b[i] = 2 * (hl + hr);
                c[i] = hl;
                r[i] = 3 * (yv[std::min(i + 1, n - 1)] - yv[std::max(i - 1, 0)]);
            }
            for (int i = 1; i < n; ++i) {
                const double m = a[i] / b[i - 1];
                b[i] -= m * c[i - 1];
                r[i] -= m * r[i - 1];
            }
            s[n - 1] = r[n - 1] / b[n - 1];
            for (int i = n - 2; i >= 0; --i)
                s[i] = (r[i] - c[i] * s[i + 1]) / b[i];
            for (int i = 0; i + 1 < n; ++i) {
                const double dx = xv[i + 1] - xv[i], dd = (yv[i + 1] - yv[i]) / dx;
                const double c4 = (s[i] + s[i + 1] - 2 * dd) / dx;
                coef[i] = c4 / dx;
                coef[n + i] = (dd - s[i]) / dx - c4;
                coef[2 * n + i] = s[i];
                coef[3 * n + i] = yv[i];
            }
            benchmark::DoNotOptimize(coef.data());
        });
    state.SetLabel("baseline: Thomas solve and coefficient loop by hand");
}
BENCHMARK(SplineBuild)->Arg(100000)->Unit(benchmark::kMillisecond);

void RootsDegree100(benchmark::State& state)
{
    const int n = int(state.range(0));
    Mm p(0, 0, 0, 1, n + 1, qv_double);
    for (int k = 0; k <= n; ++k)
        p.addr()[k] = std::cos(0.3 * k) + (k == 0 ? 2 : 0);
    std::vector<double> K(n * n), wr(n), wi(n), work(8 * n);
    const int lwork = 8 * n;
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = roots(p);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            std::fill(K.begin(), K.end(), 0.0);
            for (int j = 0; j < n; ++j)
                K[j * n] = -p.addr()[j + 1] / p.addr()[0];
            for (int j = 0; j + 1 < n; ++j)
                K[(j + 1) + j * n] = 1;
            int info = 0, one = 1;
            dgeev_("N", "N", &n, K.data(), &n, wr.data(), wi.data(), nullptr, &one, nullptr, &one, work.data(),
                   &lwork, &info, 1, 1);
            benchmark::DoNotOptimize(wr.data());
        });
    state.SetLabel("baseline: LAPACK dgeev of the companion matrix");
}
BENCHMARK(RootsDegree100)->Arg(100)->Unit(benchmark::kMillisecond);

void LtitrSteps(benchmark::State& state)
{
    const int steps = int(state.range(0)), n = 10;
    Mm a(0, 0, 0, n, n, qv_double), b(0, 0, 0, n, 1, qv_double), u(0, 0, 0, steps, 1, qv_double);
    for (int k = 0; k < n * n; ++k)
        a.addr()[k] = 0.05 * std::sin(k + 1.0);
    for (int k = 0; k < n; ++k)
        b.addr()[k] = 1.0 / (k + 1);
    for (int k = 0; k < steps; ++k)
        u.addr()[k] = std::cos(0.001 * k);
    std::vector<double> X(std::size_t(n) * steps);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = ltitr(a, b, u);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            std::fill(X.begin(), X.begin() + n, 0.0);
            const int one = 1;
            const double unit = 1;
            for (int k = 0; k + 1 < steps; ++k) {
                double* next = X.data() + std::size_t(k + 1) * n;
                for (int i = 0; i < n; ++i)
                    next[i] = b.addr()[i] * u.addr()[k];
                dgemv_("N", &n, &n, &unit, a.addr(), &n, X.data() + std::size_t(k) * n, &one, &unit, next, &one, 1);
            }
            benchmark::DoNotOptimize(X.data());
        });
    state.SetLabel("baseline: dgemv per step by hand");
}
BENCHMARK(LtitrSteps)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
