// imread and imwrite of truecolor PNG files beside libpng called directly
// (one decode into a row-major buffer, one encode from it, with libpng's
// default settings, as the engine uses them), and the memory each call
// holds at its peak, measured in a child process and given as a multiple of
// the picture's bytes (rows x columns x 3). With NUMRUN_BENCH_KEEP_FILES set
// the pictures stay in /tmp for image_files_pil.py.
#include "bench_util.hpp"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

bench::library_started started;

// A picture that compresses as a photograph might: smooth shading with a
// little noise in every pixel (or, not noisy, the shading alone, which
// deflate packs tightly, so the codec's own work weighs less). Each
// component is a function of its place, so either layout is made directly.
unsigned char component(int r, int c, int j, bool noisy)
{
    unsigned noise = static_cast<unsigned>(r) * 2654435761u ^ static_cast<unsigned>(c) * 40503u ^ static_cast<unsigned>(j) * 97u;
    noise = (noise ^ (noise >> 13)) * 1274126177u;
    return static_cast<unsigned char>(r * (j + 1) / 16 + c * (3 - j) / 24 + (noisy ? static_cast<int>((noise >> 16) & 7) : 0));
}

// Row by row, red, green, blue per pixel, as libpng takes it.
std::vector<unsigned char> scene(int rows, int cols, bool noisy)
{
    std::vector<unsigned char> rgb(static_cast<std::size_t>(rows) * cols * 3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int j = 0; j < 3; ++j)
                rgb[(static_cast<std::size_t>(r) * cols + c) * 3 + j] = component(r, c, j, noisy);
    return rgb;
}

// The same picture as the language holds it: column-major planes.
Mm scene_value(int rows, int cols, bool noisy)
{
    const int dims[3] = {rows, cols, 3};
    Mm T(0, 0, 0, 3, dims, qv_uint8);
    unsigned char* p = T.getpr(static_cast<unsigned char*>(nullptr));
    for (int j = 0; j < 3; ++j)
        for (int c = 0; c < cols; ++c)
            for (int r = 0; r < rows; ++r)
                *p++ = component(r, c, j, noisy);
    return T;
}

bool png_write_plain(const char* name, const std::vector<unsigned char>& rgb, int rows, int cols)
{
    std::FILE* f = std::fopen(name, "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(cols), static_cast<png_uint_32>(rows), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int r = 0; r < rows; ++r)
        png_write_row(png, rgb.data() + static_cast<std::size_t>(r) * cols * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

bool png_read_plain(const char* name, std::vector<unsigned char>& rgb)
{
    std::FILE* f = std::fopen(name, "rb");
    if (!f)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    const std::size_t rows = png_get_image_height(png, info), row_bytes = png_get_rowbytes(png, info);
    rgb.resize(rows * row_bytes);
    for (std::size_t r = 0; r < rows; ++r)
        png_read_row(png, rgb.data() + r * row_bytes, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

std::string file_for(int rows, int cols, bool noisy)
{
    return "/tmp/numrun_image_files_bench_" + std::to_string(rows) + "x" + std::to_string(cols) +
           (noisy ? "" : "_smooth") + ".png";
}

Mm write_args(const Mm& T, const std::string& name)
{
    Mm args(0, 0, 0, 1, 2, qv_cell);
    args.mr(1) = T;
    args.mr(2) = TM(name.c_str());
    return args;
}

long status_kb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

// The most memory a call adds to what a process holds, in bytes, measured
// in a fresh process (this program run again with "--peak"), so that
// storage the allocator kept from earlier work cannot hide it. That
// process's allocator takes everything from its heap and gives nothing
// back, so what it holds when the call ends is at least the most it held at
// once. -1 when it cannot be measured.
double peak_bytes(const char* what, int rows, int cols, bool noisy)
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return -1;
    self[length] = '\0';
    const std::string command = "'" + std::string(self) + "' --peak " + std::string(what) + " " + std::to_string(rows) + " " +
                                std::to_string(cols) + " " + (noisy ? "1 " : "0 ") + file_for(rows, cols, noisy);
    std::FILE* p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    double added = -1;
    if (std::fscanf(p, "%lf", &added) != 1)
        added = -1;
    return pclose(p) == 0 ? added : -1;
}

// The "--peak" run: the picture a write needs is made first, outside the
// measurement.
int peak_run(const char* what, int rows, int cols, bool noisy, const char* name)
{
    if (mallopt(M_MMAP_MAX, 0) != 1 || mallopt(M_TRIM_THRESHOLD, -1) != 1)
        return 1;
    const bool write = std::strcmp(what, "imwrite") == 0;
    Mm args;
    if (write)
        args = write_args(scene_value(rows, cols, noisy), name);
    const long before = status_kb("VmRSS:");
    if (write) {
        imwrite(args);
    } else {
        Mm X = imread(TM(name));
        benchmark::DoNotOptimize(X.size());
    }
    const long after = std::max(status_kb("VmRSS:"), status_kb("VmHWM:"));
    std::printf("%.0f\n", 1024.0 * static_cast<double>(after - before));
    return 0;
}

void ImreadPng(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0)), cols = static_cast<int>(state.range(1));
    const bool noisy = state.range(2) != 0;
    const std::string name = file_for(rows, cols, noisy);
    if (!png_write_plain(name.c_str(), scene(rows, cols, noisy), rows, cols)) {
        state.SkipWithError("cannot write the picture");
        return;
    }
    std::vector<unsigned char> rgb;
    bench::run_with_baseline(
        state,
        [&] {
            Mm X = imread(TM(name.c_str()));
            benchmark::DoNotOptimize(X.size());
        },
        [&] { benchmark::DoNotOptimize(png_read_plain(name.c_str(), rgb)); });
    const double pixels = 3.0 * rows * cols;
    state.counters["peak_x_pixels"] = peak_bytes("imread", rows, cols, noisy) / pixels;
    if (!std::getenv("NUMRUN_BENCH_KEEP_FILES"))
        std::remove(name.c_str());
}
// rows, columns, noisy
BENCHMARK(ImreadPng)->Args({3000, 4000, 1})->Args({6000, 6000, 1})->Args({3000, 4000, 0})->Unit(benchmark::kMillisecond)->Iterations(3);

void ImwritePng(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0)), cols = static_cast<int>(state.range(1));
    const bool noisy = state.range(2) != 0;
    const std::string name = file_for(rows, cols, noisy);
    const std::vector<unsigned char> rgb = scene(rows, cols, noisy);
    const Mm args = write_args(scene_value(rows, cols, noisy), name);
    bench::run_with_baseline(
        state, [&] { imwrite(args); }, [&] { benchmark::DoNotOptimize(png_write_plain(name.c_str(), rgb, rows, cols)); });
    const double pixels = 3.0 * rows * cols;
    // Beyond the picture the caller holds already.
    state.counters["peak_x_pixels"] = peak_bytes("imwrite", rows, cols, noisy) / pixels;
    if (!std::getenv("NUMRUN_BENCH_KEEP_FILES"))
        std::remove(name.c_str());
}
BENCHMARK(ImwritePng)->Args({3000, 4000, 1})->Args({6000, 6000, 1})->Args({3000, 4000, 0})->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && std::strcmp(argv[1], "--peak") == 0)
        return peak_run(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]) != 0, argv[6]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
