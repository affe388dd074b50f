// sprintf and sscanf over 10^6 numbers beside the plain C loops they are
// built on: snprintf of each number into one text, strtod along one text.
#include "bench_util.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bench::library_started started;

constexpr int count = 1000000;

Mm numbers()
{
    Mm x(0, 0, 0, 1, count, qv_double);
    for (int k = 0; k < count; ++k)
        x.addr()[k] = (k % 1000 - 500) * 1.2345678901234 + k * 1e-3;
    return x;
}

Mm argument_list(const Mm& x)
{
    Mm c(0, 0, 0, 1, 1, qv_cell);
    c.mr(1) = x;
    return c;
}

// sprintf(format, x) of every number beside the C loop writing each with
// the same conversion (plain: one number into at most 32 bytes).
template <class Plain>
void sprintf_case(benchmark::State& state, const char* text, Plain plain_one)
{
    const Mm x = numbers();
    const Mm args = argument_list(x);
    const Mm format = TM(text);
    std::vector<char> plain(static_cast<std::size_t>(count) * 32);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = sprintf(format, args);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            char* p = plain.data();
            const double* v = x.addr();
            for (int k = 0; k < count; ++k)
                p += plain_one(p, v[k]);
            benchmark::DoNotOptimize(plain.data());
        });
    state.SetLabel("baseline: snprintf of each number into one buffer");
}

void SprintfG(benchmark::State& state)
{
    sprintf_case(state, "%g ", [](char* p, double v) { return std::snprintf(p, 32, "%g ", v); });
}
BENCHMARK(SprintfG)->Unit(benchmark::kMillisecond);

void SprintfD(benchmark::State& state)
{
    sprintf_case(state, "%d,", [](char* p, double v) { return std::snprintf(p, 32, "%d,", static_cast<int>(v)); });
}
BENCHMARK(SprintfD)->Unit(benchmark::kMillisecond);

void SscanfF(benchmark::State& state)
{
    const Mm x = numbers();
    std::string text;
    char one[32];
    for (int k = 0; k < count; ++k) {
        std::snprintf(one, sizeof one, "%.10g ", x.addr()[k]);
        text += one;
    }
    const Mm s = TM(text.c_str());
    const Mm format = TM("%f");
    std::vector<double> plain(count);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = sscanf(s, format);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            const char* p = text.c_str();
            char* end;
            for (int k = 0; k < count; ++k, p = end)
                plain[static_cast<std::size_t>(k)] = std::strtod(p, &end);
            benchmark::DoNotOptimize(plain.data());
        });
    state.SetLabel("baseline: strtod along the text");
}
BENCHMARK(SscanfF)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
