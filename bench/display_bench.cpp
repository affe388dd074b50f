// display of a 1000x1000 matrix into a print hook that discards the text,
// beside snprintf of each element and one hook call per row.
#include "bench_util.hpp"

#include <cstdio>
#include <string>

namespace {

bench::library_started started;

constexpr int side = 1000;
constexpr int count = side * side;

std::size_t characters = 0;
void discard(const char* text) { characters += text[0] != 0; }

void DisplayMatrix(benchmark::State& state)
{
    Mm x(0, 0, 0, side, side, qv_double);
    for (int k = 0; k < count; ++k)
        x.addr()[k] = k % 3 == 0 ? k % 1000 : (k % 2000 - 1000) * 0.0123456789;
    const Mm named(x, "x");
    qv_text_handler previous = qv_set_print_handler(discard);
    std::string line;
    double seconds = 0;
    bench::run_with_baseline(
        state,
        [&] {
            auto t0 = bench::clock::now();
            display(named);
            seconds += bench::seconds_since(t0);
        },
        [&] {
            char one[32];
            for (int r = 0; r < side; ++r) {
                line.clear();
                for (int c = 0; c < side; ++c) {
                    std::snprintf(one, sizeof one, "%9.4g", x.addr()[r + c * side]);
                    line += one;
                }
                line += '\n';
                discard(line.c_str());
            }
        });
    qv_set_print_handler(previous);
    state.counters["ns_per_element"] = seconds * 1e9 / (static_cast<double>(state.iterations()) * count);
    state.SetLabel("baseline: snprintf of each element, one hook call per row");
}
BENCHMARK(DisplayMatrix)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
