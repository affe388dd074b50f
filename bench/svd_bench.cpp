// svd against LAPACK's DGESVD on the same matrix: values only and with all
// vectors.
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
        x.addr()[k] = std::sin(k * 0.37) + (k % 13 == 0);
    return x;
}

void SvdValues(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = square(n);
    std::vector<double> w, s(n), work(1);
    double dummy = 0, query = 0;
    w.assign(a.addr(), a.addr() + n * n);
    lapack::gesvd('N', 'N', n, n, w.data(), n, s.data(), &dummy, 1, &dummy, 1, &query, -1);
    work.resize(std::size_t(query));
    bench::run_with_baseline(
        state,
        [&] {
            Mm v = svd(a);
            benchmark::DoNotOptimize(v.addr());
        },
        [&] {
            w.assign(a.addr(), a.addr() + n * n);
            lapack::gesvd('N', 'N', n, n, w.data(), n, s.data(), &dummy, 1, &dummy, 1, work.data(), int(work.size()));
            benchmark::DoNotOptimize(s.data());
        });
    state.SetLabel("baseline: DGESVD jobs N");
}
BENCHMARK(SvdValues)->Arg(100)->Arg(300)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

void SvdVectors(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = square(n);
    std::vector<double> w, s(n), u(std::size_t(n) * n), vt(std::size_t(n) * n), work(1);
    double query = 0;
    w.assign(a.addr(), a.addr() + n * n);
    lapack::gesvd('A', 'A', n, n, w.data(), n, s.data(), u.data(), n, vt.data(), n, &query, -1);
    work.resize(std::size_t(query));
    bench::run_with_baseline(
        state,
        [&] {
            Mm U, S, V;
            svd(a, i_o, U, S, V);
            benchmark::DoNotOptimize(V.addr());
        },
        [&] {
            w.assign(a.addr(), a.addr() + n * n);
            lapack::gesvd('A', 'A', n, n, w.data(), n, s.data(), u.data(), n, vt.data(), n, work.data(),
                          int(work.size()));
            benchmark::DoNotOptimize(vt.data());
        });
    state.SetLabel("baseline: DGESVD jobs A");
}
BENCHMARK(SvdVectors)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
