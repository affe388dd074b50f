// What the ODE solvers add around the user's derivative: each case runs
// through a host hook beside as many direct calls of the same C++ function
// on n-by-1 values.
#include "bench_util.hpp"

#include <cstring>

namespace {

bench::library_started started;

long calls = 0;

Mm oscillator(const Mm& y)
{
    Mm d(0, 0, 0, 2, 1, qv_double);
    d.addr()[0] = y.addr()[1];
    d.addr()[1] = -y.addr()[0];
    return d;
}

Mm robertson(const Mm& y)
{
    const double* v = y.addr();
    Mm d(0, 0, 0, 3, 1, qv_double);
    d.addr()[0] = -0.04 * v[0] + 1e4 * v[1] * v[2];
    d.addr()[1] = 0.04 * v[0] - 1e4 * v[1] * v[2] - 3e7 * v[1] * v[1];
    d.addr()[2] = 3e7 * v[1] * v[1];
    return d;
}

Mm hook(Mm name, Mm args, i_o_t, Mm& out1, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    char text[16];
    Mstr(name, text, sizeof text);
    const Mm& y = args.getpr((Mm*)nullptr)[1];
    ++calls;
    out1 = text[0] == 'o' ? oscillator(y) : robertson(y);
    return out1;
}

struct hook_installed {
    hook_installed() { feval_func = hook; }
} installed;

Mm column(std::initializer_list<double> v)
{
    Mm m(0, 0, 0, static_cast<int>(v.size()), 1, qv_double);
    std::copy(v.begin(), v.end(), m.addr());
    return m;
}

template <class Solve>
void ode_case(benchmark::State& state, Solve&& solve, Mm (*body)(const Mm&), int n)
{
    calls = 0;
    solve();
    const long per_run = calls;
    bench::run_with_baseline(state, solve, [&] {
        for (long k = 0; k < per_run; ++k) {
            Mm y(0, 0, 0, n, 1, qv_double);
            for (int i = 0; i < n; ++i)
                y.addr()[i] = 0.5 + i + k * 1e-9;
            benchmark::DoNotOptimize(body(y));
        }
    });
    state.counters["calls"] = static_cast<double>(per_run);
}

// The floor under the solvers' ratios: as many calls through the hook
// alone, the name, argument cell and output slots made once (what any
// caller by name pays), and the same through the plain per-call form.
void HookCalls(benchmark::State& state, bool reused)
{
    const Mm name = TM("oscillator");
    Mm args(0, 0, 0, 1, 3, qv_cell);
    args.getpr((Mm*)nullptr)[1] = column({0.5, 1.5});
    Mm outs[6];
    constexpr long per_run = 14000;
    bench::run_with_baseline(
        state,
        [&] {
            for (long k = 0; k < per_run; ++k) {
                if (reused)
                    benchmark::DoNotOptimize(feval_call_nargout1(name, args, outs));
                else
                    benchmark::DoNotOptimize(feval_call_nargout1("oscillator", args));
            }
        },
        [&] {
            for (long k = 0; k < per_run; ++k) {
                Mm y(0, 0, 0, 2, 1, qv_double);
                y.addr()[0] = 0.5 + k * 1e-9;
                y.addr()[1] = 1.5;
                benchmark::DoNotOptimize(oscillator(y));
            }
        });
}
void HookCallsReused(benchmark::State& state) { HookCalls(state, true); }
void HookCallsPlain(benchmark::State& state) { HookCalls(state, false); }
BENCHMARK(HookCallsReused)->Unit(benchmark::kMillisecond);
BENCHMARK(HookCallsPlain)->Unit(benchmark::kMillisecond);

void Ode45Oscillator(benchmark::State& state)
{
    const Mm name = TM("oscillator"), span = (BR(0.0), 2000.0), y0 = column({0, 1});
    ode_case(
        state,
        [&] {
            Mm t, y;
            ode45(name, span, y0, odeset(), i_o, t, y);
            benchmark::DoNotOptimize(y);
        },
        oscillator, 2);
}
BENCHMARK(Ode45Oscillator)->Unit(benchmark::kMillisecond);

void Ode15sRobertson(benchmark::State& state)
{
    const Mm name = TM("robertson"), span = (BR(0.0), 40.0), y0 = column({1, 0, 0});
    const Mm options = odeset(TM("RelTol"), Mm(1e-6), TM("AbsTol"), Mm(1e-10));
    ode_case(
        state,
        [&] {
            Mm t, y;
            ode15s(name, span, y0, options, i_o, t, y);
            benchmark::DoNotOptimize(y);
        },
        robertson, 3);
}
BENCHMARK(Ode15sRobertson)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
