// The renderer beside direct cairo calls drawing the same path and image
// and writing the same PNG, a figure of many small axes per axes, and a
// line of a million points beside the line that shows.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void put(double h, const char* name, std::vector<double> v, int rows = 1)
{
    miniM m{2, {rows, static_cast<int>(v.size()) / rows, 1, 1}, 0, v.data()};
    vizmo_set_property(h, name, &m);
}
void put_text(double h, const char* name, const std::string& s)
{
    std::vector<double> v(s.begin(), s.end());
    miniM m{2, {1, static_cast<int>(v.size()), 1, 1}, 1, v.data()};
    vizmo_set_property(h, name, &m);
}

std::string scratch(const char* name) { return "/tmp/vizmo-render-bench-" + std::to_string(getpid()) + name; }

constexpr int width = 800, height = 600, points = 100000, side = 1000;

// One figure: an axes at [0.1 0.1 0.8 0.8] with limits [0 1 0 1], invisible
// decoration so both sides draw the same things, one series of 10^5 points
// and a 1000 x 1000 indexed image through a 64-row map.
struct Scene {
    std::vector<double> x, y, cdata, map;
    double fig;

    Scene() : x(points), y(points), cdata(static_cast<std::size_t>(side) * side), map(192)
    {
        for (int k = 0; k < points; ++k) {
            x[k] = k / double(points - 1);
            y[k] = 0.5 + 0.4 * std::sin(60 * x[k]);
        }
        for (std::size_t k = 0; k < cdata.size(); ++k)
            cdata[k] = 1 + double(k % 64);
        for (int k = 0; k < 64; ++k) {
            map[k] = k / 63.0;
            map[64 + k] = 1 - k / 63.0;
            map[128 + k] = 0.5;
        }
        vizmo::test::reset();
        fig = vizmo_create_object("Figure", 1);
        put(fig, "Position", {0, 0, width, height});
        put(fig, "ColorMap", map, 64);
        const double ax = vizmo_create_object("Axes", -1);
        put(ax, "Parent", {fig});
        put(ax, "Position", {0.1, 0.1, 0.8, 0.8});
        put(ax, "XLim", {0, 1});
        put(ax, "YLim", {0, 1});
        put(ax, "IMLim", {0, 1, 0, 1});
        put_text(ax, "Visible", "off");
        put(ax, "CData", cdata, side);
        const double s = vizmo_create_object("line", -1);
        put_text(s, "ChartType", "plot");
        put(s, "Parent", {ax});
        put(s, "Color", {-103});
        put(s, "Marker", {-1});
        put(s, "LineStyle", {0});
        vizmo_set_data(s, points, x.data(), 1, y.data(), 1, nullptr, 0);
    }

    // The same picture through cairo alone.
    void direct(const std::string& path) const
    {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
        cairo_paint(cr);
        const double bx = 80, by = 60, bw = 640, bh = 480;
        cairo_rectangle(cr, bx, by, bw, bh);
        cairo_clip(cr);
        cairo_surface_t* pic = cairo_image_surface_create(CAIRO_FORMAT_RGB24, side, side);
        unsigned char* base = cairo_image_surface_get_data(pic);
        const int stride = cairo_image_surface_get_stride(pic);
        for (int i = 0; i < side; ++i) {
            auto* row = reinterpret_cast<std::uint32_t*>(base + static_cast<std::ptrdiff_t>(i) * stride);
            for (int j = 0; j < side; ++j) {
                const int k = static_cast<int>(cdata[static_cast<std::size_t>(j) * side + i]) - 1;
                auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255)); };
                row[j] = (byte(map[k]) << 16) | (byte(map[64 + k]) << 8) | byte(map[128 + k]);
            }
        }
        cairo_surface_mark_dirty(pic);
        cairo_save(cr);
        cairo_translate(cr, bx, by);  // row 1 at the top, as the renderer draws images
        cairo_scale(cr, bw / side, bh / side);
        cairo_set_source_surface(cr, pic, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_set_line_width(cr, 2);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        for (int k = 0; k < points; ++k) {
            const double px = bx + x[k] * bw, py = by + bh - y[k] * bh;
            k ? cairo_line_to(cr, px, py) : cairo_move_to(cr, px, py);
        }
        cairo_stroke(cr);
        cairo_surface_write_to_png(surface, path.c_str());
        cairo_destroy(cr);
        cairo_surface_destroy(pic);
        cairo_surface_destroy(surface);
    }
};

void SeriesAndImageToPng(benchmark::State& state)
{
    Scene scene;
    const std::string ours = scratch("-ours.png"), theirs = scratch("-direct.png");
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(vizmo::test::render_png(scene.fig, ours));
    const double ours_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t0 = std::chrono::steady_clock::now();
    for (std::int64_t k = 0; k < state.iterations(); ++k)
        scene.direct(theirs);
    const double base_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["x_baseline"] = base_s > 0 ? ours_s / base_s : 0;
    unlink(ours.c_str());
    unlink(theirs.c_str());
}
BENCHMARK(SeriesAndImageToPng)->Unit(benchmark::kMillisecond);

// 100 subplots of 1000 points each, captured; the time per axes.
void HundredSubplots(benchmark::State& state)
{
    vizmo::test::reset();
    const double fig = vizmo_create_object("Figure", 1);
    put(fig, "Position", {0, 0, 1000, 1000});
    std::vector<double> x(1000), y(1000);
    for (int k = 0; k < 1000; ++k) {
        x[k] = k;
        y[k] = std::sin(k * 0.05);
    }
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) {
            const double ax = vizmo_create_object("Axes", -1);
            put(ax, "Parent", {fig});
            put(ax, "Position", {c * 0.1 + 0.02, r * 0.1 + 0.02, 0.07, 0.07});
            const double s = vizmo_create_object("line", -1);
            put_text(s, "ChartType", "plot");
            put(s, "Parent", {ax});
            put(s, "Color", {-105});
            vizmo_set_data(s, 1000, x.data(), 1, y.data(), 1, nullptr, 0);
        }
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        miniM* picture = vizmo_get_property(fig, "Capture");
        benchmark::DoNotOptimize(picture->data);
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["us_per_axes"] = 1e6 * s / double(state.iterations()) / 100;
}
BENCHMARK(HundredSubplots)->Unit(benchmark::kMillisecond);

// A line of 10^6 noisy points to PNG, beside cairo stroking the 640 points
// a line of that width can show (one per pixel column) and writing the PNG.
void MillionPointLine(benchmark::State& state)
{
    constexpr int n = 1000000;
    vizmo::test::reset();
    std::vector<double> x(n), y(n);
    std::uint32_t seed = 1;
    for (int k = 0; k < n; ++k) {
        seed = seed * 1664525u + 1013904223u;
        x[k] = k;
        y[k] = std::sin(k * 1e-4) + 0.3 * (seed / 4294967296.0 - 0.5);
    }
    const double fig = vizmo_create_object("Figure", 1);
    put(fig, "Position", {0, 0, width, height});
    const double ax = vizmo_create_object("Axes", -1);
    put(ax, "Parent", {fig});
    put(ax, "Position", {0.1, 0.1, 0.8, 0.8});
    put_text(ax, "Visible", "off");
    const double s = vizmo_create_object("line", -1);
    put_text(s, "ChartType", "plot");
    put(s, "Parent", {ax});
    put(s, "Color", {-105});
    vizmo_set_data(s, n, x.data(), 1, y.data(), 1, nullptr, 0);
    const std::string ours = scratch("-line.png"), theirs = scratch("-line-direct.png");
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(vizmo::test::render_png(fig, ours));
    const double ours_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t0 = std::chrono::steady_clock::now();
    for (std::int64_t k = 0; k < state.iterations(); ++k) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_set_line_width(cr, 2);
        const double bx = 80, by = 60, bw = 640, bh = 480;
        for (int c = 0; c < 640; ++c) {
            const int k = static_cast<int>(static_cast<long long>(c) * (n - 1) / 639);
            const double px = bx + bw * k / (n - 1), py = by + bh * (1.2 - y[k]) / 2.4;
            c ? cairo_line_to(cr, px, py) : cairo_move_to(cr, px, py);
        }
        cairo_stroke(cr);
        cairo_surface_write_to_png(surface, theirs.c_str());
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    const double base_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["x_baseline"] = base_s > 0 ? ours_s / base_s : 0;
    unlink(ours.c_str());
    unlink(theirs.c_str());
}
BENCHMARK(MillionPointLine)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
