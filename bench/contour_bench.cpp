// The contour tracer of a smooth surface beside a hand loop making the same
// level passes Z > v, and an image written and read back through the engine
// beside fwrite and fread of the same bytes.
#include "bench_util.hpp"

#include "graphics/contours.hpp"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bench::library_started started;

void ContourTrace(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm Z = zeros(n, n);
    double* z = Z.addr();
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            z[static_cast<std::size_t>(j) * n + i] = std::sin(6.0 * i / n) * std::cos(5.0 * j / n);
    Mm args(0, 0, 0, 1, 2, qv_cell);
    args.mr(1) = Z;
    args.mr(2) = Mm(8.0);
    std::vector<unsigned char> above(static_cast<std::size_t>(n) * n);
    bench::run_with_baseline(
        state,
        [&] {
            contour_trace_result t = contour_trace(args);
            benchmark::DoNotOptimize(t.cm.addr());
        },
        [&] {
            for (int level = 1; level <= 8; ++level) {
                const double v = -1 + level * (2.0 / 9);
                for (std::size_t k = 0; k < above.size(); ++k)
                    above[k] = z[k] > v;
                benchmark::DoNotOptimize(above.data());
            }
        });
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

} // namespace

BENCHMARK_MAIN();
