// The LINPACK-layout LU kernels against LAPACK's blocked LU on the same
// matrix, and the split complex level-1 layer against hand loops.
#include "bench_util.hpp"
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

std::vector<double> data(std::size_t n, double phase)
{
    std::vector<double> v(n);
    for (std::size_t k = 0; k < n; ++k)
        v[k] = std::sin(double(k) * 0.7 + phase) + (k % 17 == 0 ? 2 : 0);
    return v;
}

void LuFactorSolveReal(benchmark::State& state)
{
    int n = int(state.range(0));
    const std::vector<double> a0 = data(std::size_t(n) * n, 0), b0 = data(n, 1);
    std::vector<double> a, b;
    std::vector<int> ipvt(n);
    const int job = 0;
    bench::run_with_baseline(
        state,
        [&] {
            a = a0;
            b = b0;
            int info;
            lu_factor_real(a.data(), &n, &n, ipvt.data(), &info);
            lu_solve_real(a.data(), &n, &n, ipvt.data(), b.data(), &job);
            benchmark::DoNotOptimize(b.data());
        },
        [&] {
            a = a0;
            b = b0;
            lapack::getrf(n, n, a.data(), n, ipvt.data());
            lapack::getrs('N', n, 1, a.data(), n, ipvt.data(), b.data(), n);
            benchmark::DoNotOptimize(b.data());
        });
    state.SetLabel("baseline: DGETRF + DGETRS");
}
BENCHMARK(LuFactorSolveReal)->Arg(100)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

void LuFactorSplit(benchmark::State& state)
{
    int n = int(state.range(0));
    const std::vector<double> r0 = data(std::size_t(n) * n, 0), i0 = data(std::size_t(n) * n, 2);
    std::vector<double> z0(2 * std::size_t(n) * n);
    for (std::size_t k = 0; k < r0.size(); ++k) {
        z0[2 * k] = r0[k];
        z0[2 * k + 1] = i0[k];
    }
    std::vector<double> ar, ai, z;
    std::vector<int> ipvt(n);
    bench::run_with_baseline(
        state,
        [&] {
            ar = r0;
            ai = i0;
            int info;
            lu_factor_split(ar.data(), ai.data(), &n, &n, ipvt.data(), &info);
            benchmark::DoNotOptimize(ar.data());
        },
        [&] {
            z = z0;
            lapack::zgetrf(n, n, z.data(), n, ipvt.data());
            benchmark::DoNotOptimize(z.data());
        });
    state.SetLabel("baseline: ZGETRF on interleaved data");
}
BENCHMARK(LuFactorSplit)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void AxpySplit(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::vector<double> xr = data(n, 0), xi = data(n, 1);
    std::vector<double> yr = data(n, 2), yi = data(n, 3);
    bench::run_with_baseline(
        state,
        [&] {
            axpy_split(n, 1e-9, 2e-9, xr.data(), xi.data(), 1, yr.data(), yi.data(), 1);
            benchmark::DoNotOptimize(yr.data());
        },
        [&] {
            const double ar = 1e-9, ai = 2e-9;
            for (int k = 0; k < n; ++k) {
                yr[k] += ar * xr[k] - ai * xi[k];
                yi[k] += ar * xi[k] + ai * xr[k];
            }
            benchmark::DoNotOptimize(yr.data());
        });
    state.SetLabel("baseline: hand loop");
}
BENCHMARK(AxpySplit)->Arg(1000000);

void DotcRealSplit(benchmark::State& state)
{
    const int n = int(state.range(0));
    const std::vector<double> xr = data(n, 0), xi = data(n, 1), yr = data(n, 2), yi = data(n, 3);
    bench::run_with_baseline(
        state,
        [&] {
            double d = dotc_real_split(n, xr.data(), xi.data(), 1, yr.data(), yi.data(), 1);
            benchmark::DoNotOptimize(d);
        },
        [&] {
            double d = 0;
            for (int k = 0; k < n; ++k)
                d += xr[k] * yr[k] + xi[k] * yi[k];
            benchmark::DoNotOptimize(d);
        });
    state.SetLabel("baseline: hand loop");
}
BENCHMARK(DotcRealSplit)->Arg(1000000);

} // namespace

BENCHMARK_MAIN();
