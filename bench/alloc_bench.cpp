// The allocator and value copies against their plain baselines.
#include "bench_util.hpp"
#include "value/allocator.hpp"

#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
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

// A statement that creates and drops an 80 MB result: the freed mapping is
// kept and reused with its pages resident instead of faulting fresh ones in.
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

// Short programs against the allocator as it was before it gave memory
// back (qv_set_give_back(false): every freed page stays). Each iteration
// is a program from its start: no large block kept and the judgement fresh,
// a pool of its own. "faults" and "baseline_faults" are the minor page
// faults of one program: a give-back that takes pages a loop needs again
// shows as faults beyond the baseline's.
long minor_faults()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_minflt;
}

template <class Program>
void short_program_against_keeping_everything(benchmark::State& state, Program&& program)
{
    long ours = 0, theirs = 0;
    auto run = [&](bool give_back, long& faults) {
        return [&, give_back] {
            qv_set_give_back(true);  // nothing kept from the last program
            qv_set_give_back(give_back);
            const long before = minor_faults();
            program();
            faults += minor_faults() - before;
        };
    };
    bench::run_with_baseline(state, run(true, ours), run(false, theirs));
    qv_set_give_back(true);
    state.counters["faults"] = double(ours) / double(state.iterations());
    state.counters["baseline_faults"] = double(theirs) / double(state.iterations());
}

// A 1000x1000 matrix made and dropped round after round, with the
// temporaries of a statement beside it (b = ones(1000); c = b * 2; a = c + b).
void LargeResultsMadeAndDropped(benchmark::State& state)
{
    const int rounds = static_cast<int>(state.range(0));
    short_program_against_keeping_everything(state, [rounds] {
        Mm a;
        for (int k = 0; k < rounds; ++k) {
            const Mm b = ones(1000.0);
            const Mm c = b * Mm(2.0);
            a = c + b;
        }
        benchmark::DoNotOptimize(a);
    });
    state.SetLabel("baseline: every freed page kept");
}
BENCHMARK(LargeResultsMadeAndDropped)->Arg(20)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

// 10^5 small values (a header and a 2x2 matrix each) kept, then dropped,
// round after round, in a pool of the program's own.
void SmallValuesKeptAndDropped(benchmark::State& state)
{
    const int rounds = static_cast<int>(state.range(0));
    short_program_against_keeping_everything(state, [rounds] {
        block_pool local;
        void* anchor = local.allocate(64);
        std::vector<void*> held(100000);
        for (int r = 0; r < rounds; ++r) {
            for (std::size_t k = 0; k < held.size(); ++k) {
                held[k] = local.allocate(k % 2 ? 128 + 8 : 32 + 8);
                std::memset(held[k], 1, k % 2 ? 128 : 32);
            }
            for (void* p : held)
                local.free(static_cast<char*>(p));
        }
        local.free(static_cast<char*>(anchor));
    });
    state.SetLabel("baseline: every freed page kept");
}
BENCHMARK(SmallValuesKeptAndDropped)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
