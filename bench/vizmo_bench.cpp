// The headless graphics engine against plain baselines: property writes and
// reads beside a hash map, bulk data beside memcpy, deletion per object,
// BMP files beside fwrite/fread of the same bytes, and a PNG's header facts
// beside reading its bytes.
#include "bench_util.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

const char* const names[] = {"LineWidth", "Color", "MarkerSize", "Visible", "Tag", "XLimMode", "Position", "Value"};

void PropertyWriteRead(benchmark::State& state)
{
    vizmo::test::reset();
    const double h = vizmo_create_object("line", -1);
    double v = 1;
    miniM m{2, {1, 1, 1, 1}, 0, &v};
    std::unordered_map<std::string, double> map;
    std::size_t k = 0, j = 0;
    double sink = 0;
    bench::run_with_baseline(
        state,
        [&] {
            const char* name = names[k++ & 7];
            vizmo_set_property(h, name, &m);
            sink += vizmo_get_property(h, name)->data[0];
        },
        [&] {
            const char* name = names[j++ & 7];
            map[name] = v;
            sink += map.find(name)->second;
        });
    benchmark::DoNotOptimize(sink);
    vizmo::test::reset();
}
BENCHMARK(PropertyWriteRead);

void SetData(benchmark::State& state)
{
    vizmo::test::reset();
    const int n = static_cast<int>(state.range(0));
    const double h = vizmo_create_object("line", -1);
    std::vector<double> x(n, 1.0), y(n, 2.0), out(2 * static_cast<std::size_t>(n));
    bench::run_with_baseline(
        state, [&] { vizmo_set_data(h, n, x.data(), 1, y.data(), 1, nullptr, 0); },
        [&] {
            std::memcpy(out.data(), x.data(), n * sizeof(double));
            std::memcpy(out.data() + n, y.data(), n * sizeof(double));
            benchmark::DoNotOptimize(out.data());
        });
    vizmo::test::reset();
}
BENCHMARK(SetData)->Arg(1000000);

// Deleting a figure of n lines: the time per object should not grow with n.
void KillFigure(benchmark::State& state)
{
    vizmo::test::reset();
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const double fig = vizmo_create_object("Figure", -1);
        const double ax = vizmo_create_object("Axes", -1);
        double p = fig;
        miniM parent{2, {1, 1, 1, 1}, 0, &p};
        vizmo_set_property(ax, "Parent", &parent);
        p = ax;
        for (int k = 0; k < n; ++k)
            vizmo_set_property(vizmo_create_object("line", -1), "Parent", &parent);
        p = 0;
        state.ResumeTiming();
        vizmo_set_property(fig, "Kill", &parent);
    }
    state.counters["ns_per_object"] =
        benchmark::Counter(static_cast<double>(n + 2), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
    vizmo::test::reset();
}
BENCHMARK(KillFigure)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

std::string temp_name(const char* ext)
{
    return "/tmp/vizmo-bench-" + std::to_string(getpid()) + ext;
}

miniM text_value(const std::string& s, std::vector<double>& codes)
{
    codes.assign(s.begin(), s.end());
    return miniM{2, {1, static_cast<int>(codes.size()), 1, 1}, 1, codes.data()};
}

// A 1000 x 1000 truecolor picture written and read as BMP.
void BmpWriteRead(benchmark::State& state)
{
    vizmo::test::reset();
    const int side = 1000;
    const std::string file = temp_name(".bmp"), raw = temp_name(".raw");
    std::vector<double> pixels(3 * side * side);
    for (std::size_t k = 0; k < pixels.size(); ++k)
        pixels[k] = static_cast<double>(k % 256) / 255;
    miniM cdata{3, {side, side, 3, 1}, 0, pixels.data()};
    std::vector<double> codes;
    const miniM name = text_value(file, codes);
    double zero = 0;
    const miniM act{2, {1, 1, 1, 1}, 0, &zero};
    const double h = vizmo_create_object("axes", -1);
    vizmo_set_property(h, "CData", &cdata);
    vizmo_set_property(h, "Filename", &name);

    std::vector<unsigned char> bytes(3 * side * side + 54), back(bytes.size());
    bench::run_with_baseline(
        state,
        [&] {
            vizmo_set_property(h, "Store", &act);
            vizmo_set_property(h, "Load", &act);
        },
        [&] {
            std::FILE* f = std::fopen(raw.c_str(), "wb");
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
            f = std::fopen(raw.c_str(), "rb");
            benchmark::DoNotOptimize(std::fread(back.data(), 1, back.size(), f));
            std::fclose(f);
        });
    std::remove(file.c_str());
    std::remove(raw.c_str());
    vizmo::test::reset();
}
BENCHMARK(BmpWriteRead)->Unit(benchmark::kMillisecond);

// Describing a 4000 x 3000 truecolor PNG: "Load" 1 (the header's facts, as
// imfinfo asks) beside reading the file's bytes with fread; the full decode
// ("Load" 0) is timed apart as us_full_decode.
void PngHeaderOnly(benchmark::State& state)
{
    vizmo::test::reset();
    const int rows = 3000, cols = 4000;
    const std::string file = temp_name(".png");
    std::vector<double> pixels(3 * static_cast<std::size_t>(rows) * cols);
    for (std::size_t k = 0; k < pixels.size(); ++k)
        pixels[k] = static_cast<double>((k * 7) % 256) / 255;
    miniM cdata{3, {rows, cols, 3, 1}, 0, pixels.data()};
    std::vector<double> codes;
    const miniM name = text_value(file, codes);
    double zero = 0, one = 1;
    const miniM full{2, {1, 1, 1, 1}, 0, &zero}, header{2, {1, 1, 1, 1}, 0, &one};
    const double h = vizmo_create_object("axes", -1);
    vizmo_set_property(h, "CData", &cdata);
    vizmo_set_property(h, "Filename", &name);
    vizmo_set_property(h, "Store", &full);
    std::vector<double>().swap(pixels);

    const double r = vizmo_create_object("axes", -1);
    vizmo_set_property(r, "Filename", &name);
    auto t0 = std::chrono::steady_clock::now();
    vizmo_set_property(r, "Load", &full);
    state.counters["us_full_decode"] =
        1e6 * std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    vizmo_set_property(r, "Kill", &full);

    std::vector<unsigned char> back;
    bench::run_with_baseline(
        state, [&] { vizmo_set_property(h, "Load", &header); },
        [&] {
            std::FILE* f = std::fopen(file.c_str(), "rb");
            std::fseek(f, 0, SEEK_END);
            back.resize(static_cast<std::size_t>(std::ftell(f)));
            std::fseek(f, 0, SEEK_SET);
            benchmark::DoNotOptimize(std::fread(back.data(), 1, back.size(), f));
            std::fclose(f);
        });
    std::remove(file.c_str());
    vizmo::test::reset();
}
BENCHMARK(PngHeaderOnly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
