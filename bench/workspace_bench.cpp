// The workspace: creating and destroying a named scalar with scope
// tracking on, with 10 and 1000 other entries live, beside tracking off;
// and registering many names at once (as a load into as many variables
// does), beside the same values untracked; and a growing vector of named
// values at the top level, n from 2,000 to 128,000, whose cost per name
// is reported beside the same statements untracked.
#include "bench_util.hpp"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

bench::library_started started;

void NamedScalar(benchmark::State& state)
{
    const int live = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int k = 0; k < live; ++k)
        names.push_back("v" + std::to_string(k));
    scope_tracking = 1;
    std::vector<std::unique_ptr<Mm>> others;
    for (const std::string& n : names)
        others.push_back(std::make_unique<Mm>(i_o, n.c_str(), 0));
    bench::run_with_baseline(
        state,
        [&] {
            Mm x(i_o, "bench_x", 0);
            x = 1.0;
            benchmark::DoNotOptimize(x.addr());
        },
        [&] {
            scope_tracking = 0;
            Mm x(i_o, "bench_y", 0);
            x = 1.0;
            benchmark::DoNotOptimize(x.addr());
            scope_tracking = 1;
        });
    others.clear();
    variables_scope.reset();
    while (variables_scope.scope_count(1) > 0)
        variables_scope.scope_remove_entry(variables_scope.scope_count(1) - 1, 1);
    scope_tracking = 0;
    state.SetLabel("baseline: the same value with tracking off");
}
BENCHMARK(NamedScalar)->Arg(10)->Arg(1000);

void RegisterManyNames(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int k = 0; k < n; ++k)
        names.push_back("w" + std::to_string(k));
    auto make_all = [&] {
        std::vector<std::unique_ptr<Mm>> values;
        values.reserve(names.size());
        for (const std::string& name : names)
            values.push_back(std::make_unique<Mm>(i_o, name.c_str(), 0));
        for (auto& v : values)
            *v = 1.0;
        // Released newest first, as a frame closes.
        while (!values.empty())
            values.pop_back();
    };
    bench::run_with_baseline(
        state,
        [&] {
            scope_tracking = 1;
            variables_scope.begin();
            make_all();
            variables_scope.end();
            scope_tracking = 0;
        },
        [&] { make_all(); });
    state.SetLabel("baseline: the same values with tracking off");
}
BENCHMARK(RegisterManyNames)->Arg(1000)->Arg(16000)->Unit(benchmark::kMillisecond);

// The statements of a program that names n values kept in a vector: each
// growth of the vector moves the values (the moved ones are unnamed) and
// drops the old ones, whose names stay in the workspace as owned copies.
void make_and_drop_vector(const std::vector<std::string>& names)
{
    {
        std::vector<Mm> w;
        for (const std::string& name : names) {
            w.emplace_back();
            w.back().setname(name.c_str());
        }
    }
    while (variables_scope.scope_count(1) > 0)
        variables_scope.scope_remove_entry(variables_scope.scope_count(1) - 1, 1);
}

void TrackedNamesOfAGrowingVector(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    char text[16];
    for (int k = 0; k < n; ++k) {
        std::snprintf(text, sizeof text, "w%06d", k);
        names.emplace_back(text);
    }
    variables_scope.reset();
    bench::run_with_baseline(
        state,
        [&] {
            scope_tracking = 1;
            make_and_drop_vector(names);
            scope_tracking = 0;
        },
        [&] { make_and_drop_vector(names); });
    // Seconds per name: the time of an iteration over its n names.
    state.counters["s_per_name"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel("baseline: the same statements with tracking off; s_per_name: creating and dropping one name");
}
BENCHMARK(TrackedNamesOfAGrowingVector)
    ->Arg(2000)
    ->Arg(8000)
    ->Arg(32000)
    ->Arg(128000)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
