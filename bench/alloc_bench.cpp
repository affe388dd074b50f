// The allocator and value copies against their plain baselines.
#include "bench_util.hpp"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bench::library_started started;

void SmallBlockPair(benchmark::State& state)
{
    std::size_t n = static_cast<std::size_t>(state.range(0));
    bench::run_with_baseline(
        state,
        [n] {
            void* p = qv_malloc(n);
            benchmark::DoNotOptimize(p);
            qv_free(p);
        },
        [n] {
            void* p = std::malloc(n);
            benchmark::DoNotOptimize(p);
            std::free(p);
        });
}
BENCHMARK(SmallBlockPair)->Arg(8)->Arg(64)->Arg(1000);

// A copy shares the block: its cost does not grow with the element count.
void ValueCopyAndDestroy(benchmark::State& state)
{
    Mm big(0, 0, 0, 1, static_cast<int>(state.range(0)), qv_double);
    Mm one(0, 0, 0, 1, 1, qv_double);
    bench::run_with_baseline(
        state,
        [&big] {
            Mm copy(big);
            benchmark::DoNotOptimize(copy);
        },
        [&one] {
            Mm copy(one);
            benchmark::DoNotOptimize(copy);
        });
    state.SetLabel("baseline: copying a 1x1 value");
}
BENCHMARK(ValueCopyAndDestroy)->Arg(1000)->Arg(10000000);

// A statement that creates and drops an 80 MB result: with the heap tuned at
// start-up it reuses resident pages instead of faulting fresh ones in.
void LargeResultCycle(benchmark::State& state)
{
    const std::size_t bytes = 80u << 20;
    std::vector<char> existing(bytes, 1);
    bench::run_with_baseline(
        state,
        [bytes] {
            char* p = static_cast<char*>(qv_malloc(bytes));
            std::memset(p, 2, bytes);
            benchmark::DoNotOptimize(p);
            qv_free(p);
        },
        [&existing, bytes] {
            std::memset(existing.data(), 2, bytes);
            benchmark::DoNotOptimize(existing.data());
        });
    state.SetLabel("baseline: touching an existing 80 MB buffer");
}
BENCHMARK(LargeResultCycle)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
