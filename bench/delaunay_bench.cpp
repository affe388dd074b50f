// delaunay, tsearch and griddata against the work they cannot avoid: the
// sort of the points, the triangulation itself, and a direct LAPACK solve.
#include "bench_util.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

extern "C" void dgesv_(const int*, const int*, double*, const int*, int*, double*, const int*, int*);

namespace {

bench::library_started started;

Mm uniform_row(int n, unsigned seed, bool sorted = false)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<double> v(n);
    for (auto& e : v)
        e = u(gen);
    if (sorted)
        std::sort(v.begin(), v.end());
    Mm x(0, 0, 0, 1, n, qv_double);
    std::copy(v.begin(), v.end(), x.addr());
    return x;
}

// delaunay(x, y) against sorting the points by (y, x).
void delaunay_against_sort(benchmark::State& state, const Mm& x, const Mm& y)
{
    const int n = x.size();
    std::vector<std::pair<double, double>> p(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm t = delaunay(x, y);
            benchmark::DoNotOptimize(t.addr());
        },
        [&] {
            for (int k = 0; k < n; ++k)
                p[k] = {y.addr()[k], x.addr()[k]};
            std::sort(p.begin(), p.end());
            benchmark::DoNotOptimize(p.data());
        });
}

void DelaunayRandom(benchmark::State& state)
{
    const int n = int(state.range(0));
    delaunay_against_sort(state, uniform_row(n, 1), uniform_row(n, 2));
    state.SetLabel("baseline: std::sort of the points by (y, x)");
}
BENCHMARK(DelaunayRandom)->Arg(100000)->Unit(benchmark::kMillisecond);

// Points on a circle and its centre: the centre is joined to every other
// point, so the validity check meets one point of degree n.
void DelaunayCircleCentre(benchmark::State& state)
{
    const int n = int(state.range(0));
    Mm x(0, 0, 0, 1, n + 1, qv_double), y(0, 0, 0, 1, n + 1, qv_double);
    for (int k = 0; k < n; ++k) {
        x.addr()[k] = std::cos(6.283185307179586 * k / n);
        y.addr()[k] = std::sin(6.283185307179586 * k / n);
    }
    x.addr()[n] = y.addr()[n] = 0;
    delaunay_against_sort(state, x, y);
    state.SetLabel("circle and centre; baseline: std::sort of the points by (y, x)");
}
BENCHMARK(DelaunayCircleCentre)->Arg(40000)->Unit(benchmark::kMillisecond);

// range(1): 1 for queries sorted along x
void TsearchQueries(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm x = uniform_row(n, 3), y = uniform_row(n, 4);
    const Mm tri = delaunay(x, y);
    const Mm qx = uniform_row(n, 5, state.range(1) != 0), qy = uniform_row(n, 6);
    bench::run_with_baseline(
        state,
        [&] {
            Mm t = tsearch(x, y, tri, qx, qy);
            benchmark::DoNotOptimize(t.addr());
        },
        [&] {
            Mm t = delaunay(x, y);
            benchmark::DoNotOptimize(t.addr());
        });
    state.SetLabel(state.range(1) ? "queries sorted in x; baseline: delaunay" : "random queries; baseline: delaunay");
}
BENCHMARK(TsearchQueries)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);

void GriddataLinear(benchmark::State& state)
{
    const int n = 10000, g = 300;
    const Mm x = uniform_row(n, 7), y = uniform_row(n, 8);
    Mm z(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        z.addr()[k] = std::sin(3 * x.addr()[k]) * y.addr()[k];
    Mm gx(0, 0, 0, 1, g, qv_double);
    for (int k = 0; k < g; ++k)
        gx.addr()[k] = (k + 0.5) / g;
    Mm gy = gx;
    gy.reshape(g, 1);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = griddata(x, y, z, gx, gy);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            Mm t = delaunay(x, y);
            benchmark::DoNotOptimize(t.addr());
        });
    state.SetLabel("10^4 points onto 300x300; baseline: delaunay of the points");
}
BENCHMARK(GriddataLinear)->Unit(benchmark::kMillisecond);

void GriddataBiharmonic(benchmark::State& state)
{
    const int n = 500, m = 10000;
    const Mm x = uniform_row(n, 9), y = uniform_row(n, 10), qx = uniform_row(m, 11), qy = uniform_row(m, 12);
    Mm z(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        z.addr()[k] = std::cos(2 * x.addr()[k]) + y.addr()[k];
    auto green = [](double s) { return s > 0 ? s * (std::log(std::sqrt(s)) - 1) : 0.0; };
    std::vector<double> G(std::size_t(n) * n), w(n), out(m);
    std::vector<int> piv(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = griddata(x, y, z, qx, qy, TM("v4"));
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            for (int j = 0; j < n; ++j)
                for (int r = 0; r < n; ++r) {
                    const double dx = x.addr()[j] - x.addr()[r], dy = y.addr()[j] - y.addr()[r];
                    G[r + std::size_t(j) * n] = green(dx * dx + dy * dy);
                }
            std::copy(z.addr(), z.addr() + n, w.begin());
            int one = 1, info = 0;
            dgesv_(&n, &one, G.data(), &n, piv.data(), w.data(), &n, &info);
            for (int k = 0; k < m; ++k) {
                double s = 0;
                for (int j = 0; j < n; ++j) {
                    const double f = x.addr()[j] - qx.addr()[k], h = y.addr()[j] - qy.addr()[k];
                    s += green(h * h + f * f) * w[j];
                }
                out[k] = s;
            }
            benchmark::DoNotOptimize(out.data());
        });
    state.SetLabel("500 points, 10^4 queries; baseline: dgesv and a dot product per query by hand");
}
BENCHMARK(GriddataBiharmonic)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
