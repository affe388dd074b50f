// The workspace: creating and destroying a named scalar with scope
// tracking on, with 10 and 1000 other entries live, beside tracking off;
// and registering many names at once (as a load into as many variables
// does), beside the same values untracked; and a growing vector of named
// values at the top level, n from 2,000 to 128,000, whose cost per name
// is reported beside the same statements untracked; and the same for
// values made and dropped in no order of address; and values named inside
// a call's frame and dropped in the order of their making, n from 5,000 to
// 40,000.
#include "bench_util.hpp"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

bench::library_started started;

// n names from a printf format of one int: "v%d" gives v0, v1, ...
std::vector<std::string> numbered_names(const char* format, int n)
{
    std::vector<std::string> names;
    char text[32];
    for (int k = 0; k < n; ++k) {
        std::snprintf(text, sizeof text, format, k);
        names.emplace_back(text);
    }
    return names;
}

// Removes the entries the workspace keeps at the top level.
void drop_top_level_entries()
{
    while (variables_scope.scope_count(1) > 0)
        variables_scope.scope_remove_entry(variables_scope.scope_count(1) - 1, 1);
}

// The statements run with scope tracking on beside the same with it off;
// "s_per_name" is the time of an iteration over its n names.
template <class Statements>
void tracked_per_name(benchmark::State& state, int n, Statements&& statements)
{
    bench::run_with_baseline(
        state,
        [&] {
            scope_tracking = 1;
            statements();
            scope_tracking = 0;
        },
        [&] { statements(); });
    state.counters["s_per_name"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel("baseline: the same statements with tracking off; s_per_name: creating and dropping one name");
}

void NamedScalar(benchmark::State& state)
{
    const int live = static_cast<int>(state.range(0));
    const std::vector<std::string> names = numbered_names("v%d", live);
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
    drop_top_level_entries();
    scope_tracking = 0;
    state.SetLabel("baseline: the same value with tracking off");
}
BENCHMARK(NamedScalar)->Arg(10)->Arg(1000);

void RegisterManyNames(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> names = numbered_names("w%d", n);
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
    drop_top_level_entries();
}

void TrackedNamesOfAGrowingVector(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> names = numbered_names("w%06d", n);
    variables_scope.reset();
    tracked_per_name(state, n, [&] { make_and_drop_vector(names); });
}
BENCHMARK(TrackedNamesOfAGrowingVector)
    ->Arg(2000)
    ->Arg(8000)
    ->Arg(32000)
    ->Arg(128000)
    ->Unit(benchmark::kMillisecond);

// Names on values made one by one on the heap in a shuffled order of the
// names and dropped in the order of the names: the values die, and their
// owned copies are made and dropped, at addresses in no order, the worst
// case for the memory the registry touches.
void TrackedNamesOfScatteredValues(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> names = numbered_names("s%06d", n);
    std::vector<int> order(static_cast<std::size_t>(n));
    std::uint32_t state_bits = 2463534242u;
    for (int k = 0; k < n; ++k) {
        state_bits ^= state_bits << 13;
        state_bits ^= state_bits >> 17;
        state_bits ^= state_bits << 5;
        const int j = static_cast<int>(state_bits % static_cast<std::uint32_t>(k + 1));
        order[static_cast<std::size_t>(k)] = order[static_cast<std::size_t>(j)];
        order[static_cast<std::size_t>(j)] = k;
    }
    auto make_and_drop = [&] {
        std::vector<std::unique_ptr<Mm>> values(names.size());
        for (int k : order)
            values[static_cast<std::size_t>(k)] = std::make_unique<Mm>(i_o, names[static_cast<std::size_t>(k)].c_str(), 0);
        for (auto& v : values)  // in the order of the names, not of their making
            v.reset();
        drop_top_level_entries();
    };
    variables_scope.reset();
    tracked_per_name(state, n, make_and_drop);
}
BENCHMARK(TrackedNamesOfScatteredValues)->Arg(2000)->Arg(128000)->Unit(benchmark::kMillisecond);

// Values named inside a called function's frame and dropped in the order
// they were made (as a vector of them is destroyed), before the frame
// closes: each leaves its slot from the front of the frame.
void TrackedNamesInACallFrame(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> names = numbered_names("c%06d", n);
    variables_scope.reset();
    tracked_per_name(state, n, [&] {
        variables_scope.begin();
        {
            std::vector<std::unique_ptr<Mm>> values;
            values.reserve(names.size());
            for (const std::string& name : names)
                values.push_back(std::make_unique<Mm>(i_o, name.c_str(), 0));
            for (auto& v : values)
                v.reset();
        }
        variables_scope.end();
    });
}
BENCHMARK(TrackedNamesInACallFrame)->Arg(5000)->Arg(10000)->Arg(20000)->Arg(40000)->Arg(80000)->Arg(160000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
