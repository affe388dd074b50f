// File I/O by fid against the C library doing the same work: fwrite and
// fread of doubles and int16, fgetl over lines, fprintf of numbers, and dir
// of a large directory.
#include "bench_util.hpp"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bench::library_started started;

// A private scratch directory, made current for the benchmarks and removed
// at exit.
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

Mm text(const char* s) { return TM(s); }

Mm values(std::size_t n)
{
    Mm x(0, 0, 0, static_cast<int>(n), 1, qv_double);
    for (std::size_t k = 0; k < n; ++k)
        x.addr()[k] = static_cast<double>(k % 30000) - 15000.25;
    return x;
}

void WriteReadDoubles(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const Mm x = values(n);
    std::vector<double> back(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm fid = fopen(text("d.bin"), text("w+"));
            fwrite(fid, x, text("double"));
            frewind(fid);
            Mm y = fread(fid, Inf, text("double"));
            benchmark::DoNotOptimize(y.addr());
            fclose(fid);
        },
        [&] {
            std::FILE* f = std::fopen("d.bin", "w+b");
            std::fwrite(x.addr(), 8, n, f);
            std::rewind(f);
            benchmark::DoNotOptimize(std::fread(back.data(), 8, n, f));
            std::fclose(f);
        });
    state.SetLabel("baseline: one C fwrite and fread of the bytes");
}
BENCHMARK(WriteReadDoubles)->Arg(10000000)->Unit(benchmark::kMillisecond);

void WriteReadInt16(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const Mm x = values(n);
    std::vector<short> codes(n);
    std::vector<double> back(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm fid = fopen(text("s.bin"), text("w+"));
            fwrite(fid, x, text("int16"));
            frewind(fid);
            Mm y = fread(fid, Inf, text("int16"));
            benchmark::DoNotOptimize(y.addr());
            fclose(fid);
        },
        [&] {
            for (std::size_t k = 0; k < n; ++k)
                codes[k] = static_cast<short>(static_cast<long long>(x.addr()[k]));
            std::FILE* f = std::fopen("s.bin", "w+b");
            std::fwrite(codes.data(), 2, n, f);
            std::rewind(f);
            std::fread(codes.data(), 2, n, f);
            for (std::size_t k = 0; k < n; ++k)
                back[k] = codes[k];
            benchmark::DoNotOptimize(back.data());
            std::fclose(f);
        });
    state.SetLabel("baseline: hand conversion loops around C fwrite and fread");
}
BENCHMARK(WriteReadInt16)->Arg(10000000)->Unit(benchmark::kMillisecond);

void ReadLines(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    {
        std::FILE* f = std::fopen("lines.txt", "wb");
        for (int k = 0; k < n; ++k)
            std::fprintf(f, "line number %d of the file\n", k);
        std::fclose(f);
    }
    bench::run_with_baseline(
        state,
        [&] {
            Mm fid = fopen(text("lines.txt"));
            for (int k = 0; k < n; ++k) {
                Mm line = fgetl(fid);
                benchmark::DoNotOptimize(line.addr());
            }
            fclose(fid);
        },
        [&] {
            std::FILE* f = std::fopen("lines.txt", "rb");
            char* line = nullptr;
            std::size_t cap = 0;
            while (::getline(&line, &cap, f) > 0)
                benchmark::DoNotOptimize(line);
            std::free(line);
            std::fclose(f);
        });
    state.SetLabel("baseline: a getline loop");
}
BENCHMARK(ReadLines)->Arg(1000000)->Unit(benchmark::kMillisecond);

void PrintNumbers(benchmark::State& state)
{
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const Mm x = values(n);
    Mm list = cell(Mm(1.0), Mm(1.0));
    list.mr(1) = x;
    bench::run_with_baseline(
        state,
        [&] {
            Mm fid = fopen(text("p.txt"), text("w"));
            fprintf(fid, text("%g\\n"), list);
            fclose(fid);
        },
        [&] {
            std::FILE* f = std::fopen("p.txt", "wb");
            for (std::size_t k = 0; k < n; ++k)
                std::fprintf(f, "%g\n", x.addr()[k]);
            std::fclose(f);
        });
    state.SetLabel("baseline: a C fprintf loop");
}
BENCHMARK(PrintNumbers)->Arg(1000000)->Unit(benchmark::kMillisecond);

void ListDirectory(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::filesystem::create_directory("many");
    for (int k = 0; k < n; ++k)
        std::fclose(std::fopen(("many/f" + std::to_string(k)).c_str(), "wb"));
    bench::run_with_baseline(
        state,
        [&] {
            Mm d = dir(text("many"));
            benchmark::DoNotOptimize(d.getpr(static_cast<Mm*>(nullptr)));
        },
        [&] {
            DIR* d = ::opendir("many");
            while (dirent* e = ::readdir(d)) {
                struct stat st;
                ::stat((std::string("many/") + e->d_name).c_str(), &st);
                benchmark::DoNotOptimize(st.st_size);
            }
            ::closedir(d);
        });
    state.SetLabel("baseline: an opendir and stat loop");
}
BENCHMARK(ListDirectory)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
