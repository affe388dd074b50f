// num2str of a 1000x1000 matrix beside snprintf of each element, and
// str2num of a text of 10^6 numbers beside strtod along the same text.
#include "bench_util.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bench::library_started started;

constexpr int side = 1000;
constexpr int count = side * side;

// Whole numbers and fractions of several widths, with a few non-finite.
Mm matrix()
{
    Mm x(0, 0, 0, side, side, qv_double);
    double* p = x.addr();
    for (int k = 0; k < count; ++k)
        p[k] = k % 3 == 0 ? k % 1000 : (k % 2000 - 1000) * 0.0123456789;
    p[17] = INFINITY;
    p[4711] = NAN;
    return x;
}

// The measured body with its own time kept, reported per element.
struct timed_body {
    double seconds = 0;
    template <class F>
    auto operator()(F&& f)
    {
        return [this, f] {
            auto t0 = bench::clock::now();
            f();
            seconds += bench::seconds_since(t0);
        };
    }
    void report(benchmark::State& state, double elements) const
    {
        state.counters["ns_per_element"] = seconds * 1e9 / (static_cast<double>(state.iterations()) * elements);
    }
};

void Num2strMatrix(benchmark::State& state)
{
    const Mm x = matrix();
    std::vector<char> plain(static_cast<std::size_t>(count) * 16);
    timed_body timed;
    bench::run_with_baseline(
        state, timed([&] {
            Mm s = num2str(x);
            benchmark::DoNotOptimize(s.addr());
        }),
        [&] {
            char* q = plain.data();
            const double* v = x.addr();
            for (int k = 0; k < count; ++k)
                q += std::snprintf(q, 16, "%.4g", v[k]);
            benchmark::DoNotOptimize(plain.data());
        });
    timed.report(state, count);
    state.SetLabel("baseline: snprintf %.4g of each element");
}
BENCHMARK(Num2strMatrix)->Unit(benchmark::kMillisecond);

void Str2numText(benchmark::State& state)
{
    std::string text;
    char one[32];
    for (int k = 0; k < count; ++k) {
        std::snprintf(one, sizeof one, "%.10g ", (k % 2000 - 1000) * 1.2345678901234 + k * 1e-3);
        text += one;
    }
    const Mm s = TM(text.c_str());
    std::vector<double> plain(count);
    timed_body timed;
    bench::run_with_baseline(
        state, timed([&] {
            Mm r = str2num(s);
            benchmark::DoNotOptimize(r.addr());
        }),
        [&] {
            const char* p = text.c_str();
            char* end;
            for (int k = 0; k < count; ++k, p = end)
                plain[static_cast<std::size_t>(k)] = std::strtod(p, &end);
            benchmark::DoNotOptimize(plain.data());
        });
    timed.report(state, count);
    state.SetLabel("baseline: strtod along the text");
}
BENCHMARK(Str2numText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
