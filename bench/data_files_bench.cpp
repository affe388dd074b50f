// Data files against the C library doing the same work: save and load of
// a 1000 x 1000 double beside fwrite and fread of its bytes, an ASCII load
// beside a strtod loop, and saveascii beside a snprintf loop; and loading
// every variable of a file of many by name beside reading its elements in
// file order.
#include "bench_util.hpp"

#include "io/vor5.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

bench::library_started started;

struct scratch_dir {
    scratch_dir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "numrun-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : ".";
        std::filesystem::current_path(path);
    }
    ~scratch_dir()
    {
        std::error_code ec;
        std::filesystem::current_path("/", ec);
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
} scratch;

Mm square(int n)
{
    Mm x(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        x.addr()[k] = k * 0.25 - 7;
    return x;
}

void SaveLoad(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm x(square(n), "x");
    std::vector<double> back(static_cast<std::size_t>(n) * n);
    bench::run_with_baseline(
        state,
        [&] {
            save(TM("big"), CL(x));
            Mm y(Mm(), "x");
            load(TM("big"), CL(y));
            benchmark::DoNotOptimize(y.addr());
        },
        [&] {
            std::FILE* f = std::fopen("raw.bin", "wb");
            std::fwrite(x.addr(), 8, back.size(), f);
            std::fclose(f);
            f = std::fopen("raw.bin", "rb");
            benchmark::DoNotOptimize(std::fread(back.data(), 8, back.size(), f));
            std::fclose(f);
        });
    state.SetLabel("baseline: fwrite and fread of the bytes");
}
BENCHMARK(SaveLoad)->Arg(1000)->Unit(benchmark::kMillisecond);

void LoadAscii(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    {
        std::FILE* f = std::fopen("numbers.txt", "wb");
        for (int r = 0; r < n / 10; ++r) {
            for (int c = 0; c < 10; ++c)
                std::fprintf(f, "%.6g ", r * 0.5 + c);
            std::fputc('\n', f);
        }
        std::fclose(f);
    }
    std::string text;
    {
        std::FILE* f = std::fopen("numbers.txt", "rb");
        char buf[65536];
        std::size_t got;
        while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, got);
        std::fclose(f);
    }
    bench::run_with_baseline(
        state,
        [&] {
            Mm m = load(TM("numbers.txt"));
            benchmark::DoNotOptimize(m.addr());
        },
        [&] {
            double sum = 0;
            const char* p = text.c_str();
            char* end = nullptr;
            for (;;) {
                const double v = std::strtod(p, &end);
                if (end == p)
                    break;
                sum += v;
                p = end;
            }
            benchmark::DoNotOptimize(sum);
        });
    state.SetLabel("baseline: a strtod loop over the text in memory");
}
BENCHMARK(LoadAscii)->Arg(1000000)->Unit(benchmark::kMillisecond);

void SaveAscii(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm x(square(n), "x");
    bench::run_with_baseline(
        state,
        [&] { saveascii(TM("out.txt"), CL(x)); },
        [&] {
            std::FILE* f = std::fopen("out_c.txt", "wb");
            char text[64];
            for (int r = 0; r < n; ++r) {
                for (int c = 0; c < n; ++c) {
                    const int len = std::snprintf(text, sizeof text, "%23.13g", x.addr()[r + c * n]);
                    std::fwrite(text, 1, static_cast<std::size_t>(len), f);
                }
                std::fputc('\n', f);
            }
            std::fclose(f);
        });
    state.SetLabel("baseline: a snprintf(\"%23.13g\") loop");
}
BENCHMARK(SaveAscii)->Arg(300)->Unit(benchmark::kMillisecond);

// Every variable of a file of n scalars loaded by name, in reverse order
// (the worst case for a reader that searches from the start), beside
// reading all elements once in file order.
void LoadEveryNameOfAFile(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    std::vector<Mm> stored, targets;  // reserved: a named value is not moved
    stored.reserve(static_cast<std::size_t>(n));
    targets.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        names.push_back("v" + std::to_string(k));
    for (int k = 0; k < n; ++k)
        stored.emplace_back(Mm(static_cast<double>(k)), names[static_cast<std::size_t>(k)].c_str());
    Mc all;
    for (const Mm& v : stored)
        all.operator,(v);
    save(TM("many"), all);
    for (int k = n - 1; k >= 0; --k)
        targets.emplace_back(Mm(), names[static_cast<std::size_t>(k)].c_str());
    Mc wanted;
    for (const Mm& t : targets)
        wanted.operator,(t);
    bench::run_with_baseline(
        state,
        [&] {
            load(TM("many"), wanted);
            benchmark::DoNotOptimize(targets.back().addr());
        },
        [&] {
            std::FILE* f = std::fopen("many.vor", "rb");
            std::fseek(f, 128, SEEK_SET);
            Mm v;
            for (int k = 0; k < n; ++k)
                read_v5_element("many.vor", f, v);
            std::fclose(f);
            benchmark::DoNotOptimize(v.addr());
        });
    state.SetLabel("baseline: every element read once in file order");
}
BENCHMARK(LoadEveryNameOfAFile)->Arg(1000)->Arg(16000)->Unit(benchmark::kMillisecond);

// A scalar saved into a folder that holds many other files, beside the
// bytes written to a file of the folder and renamed over the target: the
// save finds its own file's abandoned temporaries without listing the
// folder, so the ratio stays the same from an empty folder to a full one.
void SaveScalarInAFolderOf(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::filesystem::path folder = "crowd" + std::to_string(n);
    std::filesystem::create_directory(folder);
    for (int k = 0; k < n; ++k)
        if (std::FILE* f = std::fopen((folder / ("f" + std::to_string(k))).c_str(), "wb"))
            std::fclose(f);
    const std::string target = (folder / "x.vor").string();
    Mm x(Mm(1.5), "x");
    save(TM(target.c_str()), CL(x));
    const std::vector<char> bytes(180, 'b');
    const std::string temporary = (folder / ".x.vor.tmp").string();
    bench::run_with_baseline(
        state, [&] { save(TM(target.c_str()), CL(x)); },
        [&] {
            std::FILE* f = std::fopen(temporary.c_str(), "wb");
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fflush(f);
            ::fsync(fileno(f));
            std::fclose(f);
            std::rename(temporary.c_str(), (folder / "y.vor").c_str());
        });
    state.SetLabel("baseline: the bytes written, synced and renamed in the same folder");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}
BENCHMARK(SaveScalarInAFolderOf)->Arg(0)->Arg(200000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
