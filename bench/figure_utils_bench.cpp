// The object search: its cost per visited object should not grow with the
// size of the tree (the visiting list grows by amortised appends).
#include "bench_util.hpp"
#include "vizmo4510.h"

#include <vector>

namespace {

bench::library_started started;

// A tree of about n objects: figures of one axes holding 98 lines each.
std::vector<double> make_tree(int n)
{
    std::vector<double> figures;
    const Mm parent = TM("Parent");
    for (int made = 1; made < n;) {
        const double f = vizmo_create_object("figure", -1);
        const double a = vizmo_create_object("axes", -1);
        set(Mm(a), parent, Mm(f));
        made += 2;
        for (int k = 0; k < 98 && made < n; ++k, ++made)
            set(Mm(vizmo_create_object("line", -1)), parent, Mm(a));
        figures.push_back(f);
    }
    return figures;
}

void FindobjPerObject(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<double> figures = make_tree(n);
    const Mm args = Mm((CL(TM("Type")), TM("line")));
    const Mm all = findobj();
    for (auto _ : state) {
        Mm found = findobj(args);
        benchmark::DoNotOptimize(found);
    }
    // Seconds per visited object: the same for both sizes when linear.
    state.counters["per_object"] =
        benchmark::Counter(static_cast<double>(all.size()), benchmark::Counter::kIsIterationInvariantRate |
                                                                 benchmark::Counter::kInvert);
    for (double f : figures)
        set(Mm(f), TM("Kill"), Mm(0.0));
}
BENCHMARK(FindobjPerObject)->Arg(1000)->Arg(10000);

} // namespace
BENCHMARK_MAIN();
