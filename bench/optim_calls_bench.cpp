// What the one-dimensional solvers add around the user's work: each case
// runs through a host hook beside the same number of direct calls of the
// same C++ function on values built the same way.
#include "bench_util.hpp"

#include <cmath>
#include <cstring>

namespace {

bench::library_started started;

long calls = 0;

Mm integrand(const Mm& x)
{
    Mm y(0, 0, 0, 1, x.size(), qv_double);
    const double* p = x.addr();
    double* q = y.addr();
    for (int k = 0; k < x.size(); ++k)
        q[k] = p[k] * p[k] + 1;
    return y;
}

Mm cubic(const Mm& x)
{
    const double v = x.addr()[0];
    return Mm(v * v * v - 2 * v - 5);
}

Mm cosine(const Mm& x) { return Mm(std::cos(x.addr()[0])); }

// The host: dispatches on the first letter of the name.
Mm hook(Mm name, Mm args, i_o_t, Mm& out1, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    char text[16];
    Mstr(name, text, sizeof text);
    const Mm& x = args.getpr((Mm*)nullptr)[0];
    ++calls;
    out1 = text[0] == 'q' ? integrand(x) : text[0] == 'z' ? cubic(x) : cosine(x);
    return out1;
}

struct hook_installed {
    hook_installed() { feval_func = hook; }
} installed;

Mm row_of(int n, double start)
{
    Mm x(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = start + k * 1e-3;
    return x;
}

void Quad8ThroughTheHook(benchmark::State& state)
{
    const Mm name = TM("quad"), a(0.0), b(1.0);
    bench::run_with_baseline(
        state, [&] { benchmark::DoNotOptimize(quad8(name, a, b)); },
        [] {
            for (int n : {21, 22, 44})
                benchmark::DoNotOptimize(integrand(row_of(n, 0.1)));
        });
}
BENCHMARK(Quad8ThroughTheHook);

// A scalar solver beside as many direct calls as it made.
template <class Solve>
void scalar_case(benchmark::State& state, Solve&& solve, Mm (*body)(const Mm&), double point)
{
    calls = 0;
    solve();
    const long per_run = calls;
    bench::run_with_baseline(state, solve, [&] {
        for (long k = 0; k < per_run; ++k)
            benchmark::DoNotOptimize(body(Mm(point + k * 1e-9)));
    });
    state.counters["calls"] = static_cast<double>(per_run);
}

void FzeroThroughTheHook(benchmark::State& state)
{
    const Mm name = TM("zero"), interval = [] {
        Mm x(0, 0, 0, 1, 2, qv_double);
        x.addr()[0] = 2;
        x.addr()[1] = 3;
        return x;
    }();
    scalar_case(state, [&] { benchmark::DoNotOptimize(fzero(name, interval)); }, cubic, 2.5);
}
BENCHMARK(FzeroThroughTheHook);

void FminbndThroughTheHook(benchmark::State& state)
{
    const Mm name = TM("cos"), a(3.0), b(4.0);
    scalar_case(state, [&] { benchmark::DoNotOptimize(fminbnd(name, a, b)); }, cosine, 3.5);
}
BENCHMARK(FminbndThroughTheHook);

} // namespace

BENCHMARK_MAIN();
