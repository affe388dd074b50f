// Matrix norms against hand loops over the same data, the 2-norm against
// LAPACK's values-only SVD, and the test matrices against hand fills.
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
        x.addr()[k] = std::sin(k * 0.37);
    return x;
}

void NormKinds(benchmark::State& state)
{
    const int n = 1000, kind = int(state.range(0));
    const Mm a = square(n);
    const Mm p = kind == 0 ? Mm(1.0) : kind == 1 ? TM("inf") : TM("fro");
    std::vector<double> rows(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = norm(a, p);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            const double* x = a.addr();
            double best = 0;
            if (kind == 0) {
                for (int j = 0; j < n; ++j) {
                    double s = 0;
                    for (int i = 0; i < n; ++i)
                        s += std::fabs(x[i + j * n]);
                    best = std::max(best, s);
                }
            } else if (kind == 1) {
                std::fill(rows.begin(), rows.end(), 0.0);
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i)
                        rows[i] += std::fabs(x[i + j * n]);
                for (double s : rows)
                    best = std::max(best, s);
            } else {
                for (int k = 0; k < n * n; ++k)
                    best += x[k] * x[k];
                best = std::sqrt(best);
            }
            benchmark::DoNotOptimize(best);
        });
    state.SetLabel(kind == 0 ? "norm(A, 1) vs hand loop" : kind == 1 ? "norm(A, 'inf') vs hand loop"
                                                                     : "norm(A, 'fro') vs hand loop");
}
BENCHMARK(NormKinds)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void TwoNorm(benchmark::State& state)
{
    const int n = 500;
    const Mm a = square(n);
    std::vector<double> w, s(n), work(1);
    double dummy = 0, query = 0;
    w.assign(a.addr(), a.addr() + n * n);
    lapack::gesvd('N', 'N', n, n, w.data(), n, s.data(), &dummy, 1, &dummy, 1, &query, -1);
    work.resize(std::size_t(query));
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = norm(a);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            w.assign(a.addr(), a.addr() + n * n);
            lapack::gesvd('N', 'N', n, n, w.data(), n, s.data(), &dummy, 1, &dummy, 1, work.data(), int(work.size()));
            benchmark::DoNotOptimize(s.data());
        });
    state.SetLabel("baseline: DGESVD jobs N");
}
BENCHMARK(TwoNorm)->Unit(benchmark::kMillisecond);

void Magic(benchmark::State& state)
{
    const int n = 2000;
    std::vector<double> m(std::size_t(n) * n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = magic(Mm(double(n)));
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            const double nn1 = double(n) * n + 1;
            for (int j = 1; j <= n; ++j)
                for (int i = 1; i <= n; ++i) {
                    const double v = double(i - 1) * n + j;
                    m[(i - 1) + std::size_t(j - 1) * n] = ((i % 4) / 2 == (j % 4) / 2) ? nn1 - v : v;
                }
            benchmark::DoNotOptimize(m.data());
        });
    state.SetLabel("magic(2000) vs hand fill");
}
BENCHMARK(Magic)->Unit(benchmark::kMillisecond);

void Toeplitz(benchmark::State& state)
{
    const int n = 2000;
    Mm c(0, 0, 0, 1, n, qv_double), r(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k) {
        c.addr()[k] = k;
        r.addr()[k] = -k;
    }
    std::vector<double> t(std::size_t(n) * n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = toeplitz(c, r);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    t[i + std::size_t(j) * n] = i >= j ? c.addr()[i - j] : r.addr()[j - i];
            benchmark::DoNotOptimize(t.data());
        });
    state.SetLabel("toeplitz of 2000-element vectors vs hand fill");
}
BENCHMARK(Toeplitz)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
