// What the multivariate minimisers add around the user's work: constr
// through a host hook beside the kernel on a direct C++ callback, and
// fminsearch beside as many direct calls as it made.
#include "bench_util.hpp"

#include "optim/cobyla.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

constexpr int n = 10, m = 5;
long calls = 0;

// A smooth problem: a shifted quadratic with five nonlinear constraints
// (feasible when g <= 0 in the language's convention, c = -g >= 0 for the
// kernel).
double objective(const double* x)
{
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += (i + 1) * (x[i] - 1) * (x[i] - 1);
    return s;
}

void constraints(const double* x, double* g)
{
    for (int k = 0; k < m; ++k)
        g[k] = x[2 * k] * x[2 * k] + x[2 * k + 1] - 1.5;
}

double rosenbrock(const double* x) { return 100 * (x[1] - x[0] * x[0]) * (x[1] - x[0] * x[0]) + (1 - x[0]) * (1 - x[0]); }

Mm hook(Mm name, Mm args, i_o_t, Mm& out1, Mm& out2, Mm&, Mm&, Mm&, Mm&)
{
    char text[16];
    Mstr(name, text, sizeof text);
    const Mm& x = args.getpr((Mm*)nullptr)[0];
    ++calls;
    if (text[0] == 'r') {
        out1 = Mm(rosenbrock(x.addr()));
        return out1;
    }
    out1 = Mm(objective(x.addr()));
    Mm g(0, 0, 0, m, 1, qv_double);
    constraints(x.addr(), g.addr());
    out2 = g;
    return out1;
}

struct hook_installed {
    hook_installed() { feval_func = hook; }
} installed;

void direct(void*, int, int, double* x, double* f, double* con)
{
    *f = objective(x);
    constraints(x, con);
    for (int k = 0; k < m; ++k)
        con[k] = -con[k];
}

void ConstrThroughTheHook(benchmark::State& state)
{
    const Mm name = TM("smooth");
    const Mm x0(0, 0, 0, 1, n, qv_double);
    for (int i = 0; i < n; ++i)
        x0.addr()[i] = 0;
    std::vector<double> w(cobyla_work_doubles(n, m));
    std::vector<int> iact(cobyla_work_ints(m));
    bench::run_with_baseline(
        state, [&] { benchmark::DoNotOptimize(constr(name, x0)); },
        [&] {
            std::vector<double> x(n, 0.0);
            int maxfun = 300 * n, iprint = 0;
            cobyla_minimise(nullptr, direct, n, m, x.data(), 0.5, 1e-6, iprint, maxfun, w.data(), iact.data());
            benchmark::DoNotOptimize(x.data());
        });
}
BENCHMARK(ConstrThroughTheHook)->Unit(benchmark::kMillisecond);

void FminsearchThroughTheHook(benchmark::State& state)
{
    const Mm name = TM("rosen");
    Mm x0(0, 0, 0, 1, 2, qv_double);
    x0.addr()[0] = -1.2;
    x0.addr()[1] = 1;
    calls = 0;
    fminsearch(name, x0);
    const long per_run = calls;
    bench::run_with_baseline(
        state, [&] { benchmark::DoNotOptimize(fminsearch(name, x0)); },
        [&] {
            for (long k = 0; k < per_run; ++k) {
                Mm x(0, 0, 0, 1, 2, qv_double);
                x.addr()[0] = -1.2 + k * 1e-9;
                x.addr()[1] = 1;
                benchmark::DoNotOptimize(Mm(rosenbrock(x.addr())));
            }
        });
    state.counters["calls"] = static_cast<double>(per_run);
}
BENCHMARK(FminsearchThroughTheHook)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
