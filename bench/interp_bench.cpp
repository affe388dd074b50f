// interp1, interp2, meshgrid and kron against hand loops of the same work.
#include "bench_util.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

bench::library_started started;

Mm uniform_row(int n, double lo, double hi, unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    Mm x(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = u(gen);
    return x;
}

void Interp1Linear(benchmark::State& state)
{
    const int m = int(state.range(0)), n = int(state.range(1));
    Mm x(0, 0, 0, 1, n, qv_double), y(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k) {
        x.addr()[k] = k;
        y.addr()[k] = std::sin(0.01 * k);
    }
    const Mm q = uniform_row(m, 0, n - 1, 1);
    std::vector<double> out(m);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = interp1(x, y, q);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            const double* k = x.addr();
            for (int j = 0; j < m; ++j) {
                const double t = q.addr()[j];
                const int hi = std::max(1, std::min(n - 1, int(std::upper_bound(k, k + n, t) - k)));
                const int lo = hi - 1;
                out[j] = y.addr()[lo] + (t - k[lo]) / (k[hi] - k[lo]) * (y.addr()[hi] - y.addr()[lo]);
            }
            benchmark::DoNotOptimize(out.data());
        });
    state.SetLabel("baseline: std::upper_bound and the formula by hand");
}
BENCHMARK(Interp1Linear)->Args({1000000, 10000})->Unit(benchmark::kMillisecond);

void Interp2Bilinear(benchmark::State& state)
{
    const int m = int(state.range(0)), n = int(state.range(1));
    Mm z(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        z.addr()[k] = std::sin(0.001 * k);
    const Mm qx = uniform_row(m, 1, n, 2), qy = uniform_row(m, 1, n, 3);
    std::vector<double> out(m);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = interp2(z, qx, qy);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            const double* zv = z.addr();
            for (int j = 0; j < m; ++j) {
                const double u = qx.addr()[j], v = qy.addr()[j];
                const int cx = std::min(int(u), n - 1), cy = std::min(int(v), n - 1);
                const double t = u - cx, s = v - cy;
                const double a = zv[(cy - 1) + std::size_t(cx - 1) * n] +
                                 (zv[(cy - 1) + std::size_t(cx) * n] - zv[(cy - 1) + std::size_t(cx - 1) * n]) * t;
                const double b = zv[cy + std::size_t(cx - 1) * n] +
                                 (zv[cy + std::size_t(cx) * n] - zv[cy + std::size_t(cx - 1) * n]) * t;
                out[j] = a + s * (b - a);
            }
            benchmark::DoNotOptimize(out.data());
        });
    state.SetLabel("baseline: bilinear loop by hand");
}
BENCHMARK(Interp2Bilinear)->Args({1000000, 1000})->Unit(benchmark::kMillisecond);

void Interp2SplineRefine(benchmark::State& state)
{
    const int n = int(state.range(0));
    Mm z(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        z.addr()[k] = std::cos(0.05 * k);
    const int refined = (n - 1) * 4 + 1;
    Mm x = colon(1.0, double(n)), col(0, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k)
        col.addr()[k] = std::sin(0.3 * k);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = interp2(z, Mm(2.0), TM("spline"));
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            // one spline per query point, as the separable second pass makes
            for (int k = 0; k < refined * refined + refined; ++k) {
                Mm r = spline(x, col, Mm(1.5));
                benchmark::DoNotOptimize(r.addr());
            }
        });
    state.SetLabel("baseline: the same number of spline calls");
}
BENCHMARK(Interp2SplineRefine)->Arg(50)->Unit(benchmark::kMillisecond);

void MeshgridFill(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm x = uniform_row(n, 0, 1, 4), y = uniform_row(n, 0, 1, 5);
    std::vector<double> gx(std::size_t(n) * n), gy(gx.size());
    bench::run_with_baseline(
        state,
        [&] {
            Mm X, Y;
            meshgrid(x, y, i_o, X, Y);
            benchmark::DoNotOptimize(X.addr());
        },
        [&] {
            for (int c = 0; c < n; ++c)
                for (int r = 0; r < n; ++r) {
                    gx[r + std::size_t(c) * n] = x.addr()[c];
                    gy[r + std::size_t(c) * n] = y.addr()[r];
                }
            benchmark::DoNotOptimize(gx.data());
        });
    state.SetLabel("baseline: both grids filled by hand");
}
BENCHMARK(MeshgridFill)->Arg(1000)->Unit(benchmark::kMillisecond);

void KronDense(benchmark::State& state)
{
    const int na = 200, nb = 20;
    Mm a(0, 0, 0, na, na, qv_double), b(0, 0, 0, nb, nb, qv_double);
    for (int k = 0; k < na * na; ++k)
        a.addr()[k] = std::sin(k + 1.0);
    for (int k = 0; k < nb * nb; ++k)
        b.addr()[k] = std::cos(k + 1.0);
    const std::size_t rows = std::size_t(na) * nb;
    std::vector<double> K(rows * rows);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = kron(a, b);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            for (int j = 0; j < na; ++j)
                for (int q = 0; q < nb; ++q)
                    for (int i = 0; i < na; ++i)
                        for (int p = 0; p < nb; ++p)
                            K[(std::size_t(i) * nb + p) + (std::size_t(j) * nb + q) * rows] =
                                a.addr()[i + j * na] * b.addr()[p + q * nb];
            benchmark::DoNotOptimize(K.data());
        });
    state.SetLabel("baseline: four-deep loop by hand");
}
BENCHMARK(KronDense)->Unit(benchmark::kMillisecond);

void KronSparse(benchmark::State& state)
{
    const Mm a = speye(Mm(1000.0));
    Mm blockfull(0, 0, 0, 5, 5, qv_double);
    for (int k = 0; k < 25; ++k)
        blockfull.addr()[k] = k % 3 == 0 ? 0.0 : k + 1.0;
    const Mm b = sparse(blockfull);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = kron(a, b);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            const int nb = b.getnnz();
            Mm I(0, 0, 0, 1, 1000 * nb, qv_double), J(0, 0, 0, 1, 1000 * nb, qv_double), V(0, 0, 0, 1, 1000 * nb, qv_double);
            int e = 0;
            for (int d = 0; d < 1000; ++d)
                for (int t = 0; t < nb; ++t) {
                    const int pos = b.getindex()[t];
                    I.addr()[e] = d * 5 + pos % 5 + 1;
                    J.addr()[e] = d * 5 + pos / 5 + 1;
                    V.addr()[e] = b.addr()[t];
                    ++e;
                }
            Mm r = sparse(I, J, V);
            benchmark::DoNotOptimize(r.addr());
        });
    state.SetLabel("baseline: the same triplets by hand through sparse(i, j, v)");
}
BENCHMARK(KronSparse)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
