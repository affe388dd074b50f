// contour of a smooth surface beside a hand loop making the same level
// passes Z > v; an image written and read back through the engine beside
// fwrite and fread of the same bytes; text at many points, per point.
#include "bench_util.hpp"

#include "graphics/contours.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bench::library_started started;

// A smooth n x n surface in [-1, 1] and the 8 levels contour picks for it.
struct surface {
    Mm Z;
    std::vector<double> levels;
    explicit surface(int n) : Z(zeros(n, n))
    {
        double* z = Z.addr();
        double lo = 1e300, hi = -1e300;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const double v = std::sin(6.0 * i / n) * std::cos(5.0 * j / n);
                z[static_cast<std::size_t>(j) * n + i] = v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        for (int k = 1; k <= 8; ++k)
            levels.push_back(lo + k * (hi - lo) / 9);
    }
};

// The floor: 8 passes marking the points above each level.
auto level_passes(const surface& s, std::vector<unsigned char>& above)
{
    return [&] {
        const double* z = s.Z.addr();
        for (double v : s.levels) {
            for (std::size_t k = 0; k < above.size(); ++k)
                above[k] = z[k] > v;
            benchmark::DoNotOptimize(above.data());
        }
    };
}

// The whole command: tracing, one plot call, the axes limits.
void ContourDrawn(benchmark::State& state)
{
    vizmo::test::reset();
    const surface s(static_cast<int>(state.range(0)));
    const Mm args((CL(s.Z), 8.0));
    std::vector<unsigned char> above(static_cast<std::size_t>(s.Z.size()));
    gca();
    bench::run_with_baseline(
        state,
        [&] {
            Mm CM = contour(args);
            benchmark::DoNotOptimize(CM.addr());
        },
        level_passes(s, above));
    vizmo::test::reset();
}
BENCHMARK(ContourDrawn)->Arg(1000)->Unit(benchmark::kMillisecond);

// The tracer alone, to tell its share from the drawing's.
void ContourTrace(benchmark::State& state)
{
    const surface s(static_cast<int>(state.range(0)));
    const Mm args((CL(s.Z), 8.0));
    std::vector<unsigned char> above(static_cast<std::size_t>(s.Z.size()));
    bench::run_with_baseline(
        state,
        [&] {
            contour_trace_result t = contour_trace(args);
            benchmark::DoNotOptimize(t.cm.addr());
        },
        level_passes(s, above));
}
BENCHMARK(ContourTrace)->Arg(1000)->Unit(benchmark::kMillisecond);

void ImageRoundTrip(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const int dims[3] = {n, n, 3};
    Mm T(0, 0, 0, 3, dims, qv_uint8);
    unsigned char* p = T.getpr(static_cast<unsigned char*>(nullptr));
    for (int k = 0; k < T.size(); ++k)
        p[k] = static_cast<unsigned char>(k * 31);
    const std::string name = "/tmp/numrun_contour_bench.bmp";
    Mm args(0, 0, 0, 1, 2, qv_cell);
    args.mr(1) = T;
    args.mr(2) = TM(name.c_str());
    std::vector<unsigned char> bytes(static_cast<std::size_t>(T.size()) + 54);
    bench::run_with_baseline(
        state,
        [&] {
            imwrite(args);
            Mm X = imread(TM(name.c_str()));
            benchmark::DoNotOptimize(X.size());
        },
        [&] {
            if (std::FILE* f = std::fopen(name.c_str(), "wb")) {
                std::fwrite(bytes.data(), 1, bytes.size(), f);
                std::fclose(f);
            }
            if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
                benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), f));
                std::fclose(f);
            }
        });
    std::remove(name.c_str());
}
BENCHMARK(ImageRoundTrip)->Arg(2000)->Unit(benchmark::kMillisecond);

// text(x, y, strings) at n points, reported per point in microseconds,
// beside creating and deleting as many bare engine objects.
void TextPerPoint(benchmark::State& state)
{
    vizmo::test::reset();
    const int n = static_cast<int>(state.range(0));
    const Mm x = colon(1.0, static_cast<double>(n));
    const Mm y = colon(2.0, static_cast<double>(n + 1));
    const Mm strings = repmat(TM("label"), Mm(static_cast<double>(n)), Mm(1.0));
    const Mm args((CL(x), y, strings));
    gca();
    auto t0 = bench::clock::now();
    for (auto _ : state) {
        Mm h = text(args);
        benchmark::DoNotOptimize(h.addr());
        deleteobj(h);
    }
    const double ours = bench::seconds_since(t0);
    Mm made(0, 0, 0, 1, n, qv_double);
    const double base = bench::time_baseline(state.iterations(), [&] {
        for (int k = 0; k < n; ++k)
            made.addr()[k] = vizmo_create_object("line", -1);
        deleteobj(made);
    });
    const double points = static_cast<double>(state.iterations()) * n;
    state.counters["us_per_point"] = ours * 1e6 / points;
    state.counters["x_baseline"] = base > 0 ? ours / base : 0;
    vizmo::test::reset();
}
BENCHMARK(TextPerPoint)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
