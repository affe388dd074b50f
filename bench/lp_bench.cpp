// lp on a random sparse problem against one dense Cholesky factorisation of
// its normal matrix (the cost of one iteration done densely), the peak
// memory of lp on sparse transportation problems against the size of a full
// copy of their A, lp on transportation, supply-and-demand and general
// sparse problems against scipy's highs-ipm, lp with the default BLAS
// threads against one thread, and the MPS reader against reading the same
// file line by line with fgets.
#include "bench_util.hpp"
#include "lp_problems.hpp"

#include "linalg/lapack.hpp"
#include "optim/lp_solver.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <vector>

namespace {

bench::library_started started;

// A feasible bounded problem: A x0 <= b for x0 = 1, costs of mixed sign on
// columns bounded by 10.
struct RandomProblem {
    int m, n;
    Mm c, A, b, lb, ub;
    std::vector<double> dense;
};

RandomProblem make_problem(int m, int n, double density)
{
    std::mt19937 gen(42);
    std::uniform_real_distribution<double> unit(0, 1), val(-1, 1);
    RandomProblem p{m, n, Mm(0, 0, 0, 1, n, qv_double), Mm(), Mm(0, 0, 0, m, 1, qv_double),
                    zeros(Mm(1.0), Mm(double(n))), Mm(0, 0, 0, 1, n, qv_double), {}};
    p.dense.assign(static_cast<std::size_t>(m) * n, 0.0);
    for (int j = 0; j < n; ++j) {
        p.c.addr()[j] = val(gen);
        p.ub.addr()[j] = 10;
        p.dense[static_cast<std::size_t>(j) * m + j % m] = 1 + unit(gen);  // no empty column or row
        for (int i = 0; i < m; ++i)
            if (unit(gen) < density)
                p.dense[static_cast<std::size_t>(j) * m + i] = val(gen);
    }
    Mm a(0, 0, 0, m, n, qv_double);
    for (std::size_t k = 0; k < p.dense.size(); ++k)
        a.addr()[k] = p.dense[k];
    p.A = sparse(a);
    for (int i = 0; i < m; ++i) {
        double s = 0;
        for (int j = 0; j < n; ++j)
            s += p.dense[static_cast<std::size_t>(j) * m + i];
        p.b.addr()[i] = s + 1;
    }
    return p;
}

void LpRandom(benchmark::State& state)
{
    RandomProblem p = make_problem(1000, 2000, 0.01);
    const int m = p.m, n = p.n;
    std::vector<double> normal(static_cast<std::size_t>(m) * m);
    bench::run_with_baseline(
        state,
        [&] {
            Mm x = lp(p.c, p.A, p.b, p.lb, p.ub, nop_M, Mm(0.0), Mm(-1.0));
            benchmark::DoNotOptimize(x.addr());
            state.counters["solved"] = x.size() > 0 && x.addr()[0] == x.addr()[0];
        },
        [&] {
            // A A' then one dense dpotrf.
            const double one = 1, zero = 0;
            dgemm_("N", "T", &m, &m, &n, &one, p.dense.data(), &m, p.dense.data(), &m, &zero, normal.data(), &m, 1,
                   1);
            int info = 0;
            dpotrf_("L", &m, normal.data(), &m, &info, 1);
            benchmark::DoNotOptimize(normal.data());
        });
}
BENCHMARK(LpRandom)->Unit(benchmark::kMillisecond)->Iterations(2);

// A transportation problem built from its triplets (no full matrix at any
// time), from the splitmix64 stream that tools/reference/
// lp_transport_times.py shares: `sources` sources of equal capacity (rows:
// shipped <= capacity), the other m - sources rows sinks needing 1 each
// (rows: -received <= -1), n routes of cost 1 + 9u. With two sources every
// pair is a route (the classical two-index problem); with half of the rows
// sources the routes form a random sparse network.
struct TransportProblem {
    int m, n, nnz;
    Mm c, A, b, lb;
};

TransportProblem make_transport(int m, int n, int sources)
{
    const int sinks = m - sources;
    test::SplitMix64 gen{2026};
    Mm I(0, 0, 0, 2 * n, 1, qv_double), J(0, 0, 0, 2 * n, 1, qv_double), V(0, 0, 0, 2 * n, 1, qv_double);
    Mm c(0, 0, 0, 1, n, qv_double), b(0, 0, 0, m, 1, qv_double);
    for (int j = 0; j < n; ++j) {
        int source, sink;
        if (sources == 2) {
            source = j % 2;
            sink = sources + (j / 2) % sinks;
        } else {
            source = static_cast<int>(gen.next() % static_cast<std::uint64_t>(sources));
            sink = sources + (j / (n / sinks)) % sinks;
        }
        I.addr()[2 * j] = source + 1;
        J.addr()[2 * j] = j + 1;
        V.addr()[2 * j] = 1;
        I.addr()[2 * j + 1] = sink + 1;
        J.addr()[2 * j + 1] = j + 1;
        V.addr()[2 * j + 1] = -1;
        c.addr()[j] = 1 + 9 * gen.unit();
    }
    const double capacity = sources == 2 ? 0.6 * sinks : 100;
    for (int i = 0; i < m; ++i)
        b.addr()[i] = i < sources ? capacity : -1;
    return {m, n, 2 * n, c, sparse(I, J, V, Mm(double(m)), Mm(double(n))), b, zeros(Mm(1.0), Mm(double(n)))};
}

// The supply-and-demand problem of the shared stream (seed 61, 20% spare
// supply) as lp takes it.
struct SupplyDemandProblem {
    int m, n, neq;
    Mm c, A, b, lb;
};

SupplyDemandProblem make_supply_demand(int sources, int sinks, int arcs)
{
    const test::SupplyDemand d = test::supply_demand(sources, sinks, arcs, 61, 1.2);
    const int nnz = 2 * d.n;
    Mm I(0, 0, 0, nnz, 1, qv_double), J(0, 0, 0, nnz, 1, qv_double), V(0, 0, 0, nnz, 1, qv_double);
    Mm c(0, 0, 0, 1, d.n, qv_double), b(0, 0, 0, d.m, 1, qv_double);
    std::copy_n(d.triplets.begin(), nnz, I.addr());
    std::copy_n(d.triplets.begin() + nnz, nnz, J.addr());
    std::copy_n(d.triplets.begin() + 2 * nnz, nnz, V.addr());
    std::copy(d.c.begin(), d.c.end(), c.addr());
    std::copy(d.b.begin(), d.b.end(), b.addr());
    return {d.m, d.n, d.neq, c, sparse(I, J, V, Mm(double(d.m)), Mm(double(d.n))), b, zeros(Mm(1.0), Mm(double(d.n)))};
}

// Resident-set figures of this process in bytes from /proc/self/status;
// the high-water mark is reset to the current size by clear_refs.
long long status_bytes(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(key);
    while (std::getline(f, line))
        if (line.compare(0, len, key) == 0)
            return std::atoll(line.c_str() + len + 1) * 1024;
    return -1;
}

bool reset_peak()
{
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    return static_cast<bool>(f);
}

// Peak growth of the resident set during one lp call (MB), beside the size
// of a full m-by-n copy of A: "x_full" is their ratio, "per_nonzero" the
// growth in bytes per non-zero of A. Growth with the non-zeros and the
// factor's fill, not with m·n, keeps x_full far below 1 and per_nonzero
// level from one size to the next.
void LpSparsePeakMemory(benchmark::State& state)
{
    const int m = static_cast<int>(state.range(0)), n = static_cast<int>(state.range(1));
    TransportProblem p = make_transport(m, n, static_cast<int>(state.range(2)));
    double growth = 0;
    bool solved = false;
    for (auto _ : state) {
        // Heap pages freed by earlier cases would hide the growth: handed
        // back first, the resident set starts from what is in use.
        malloc_trim(0);
        if (!reset_peak()) {
            state.SkipWithError("the peak resident set cannot be reset");
            return;
        }
        const long long before = status_bytes("VmRSS:");
        Mm x, lambda, how;
        lp(p.c, p.A, p.b, p.lb, nop_M, nop_M, Mm(0.0), Mm(-1.0), i_o, x, lambda, how);
        growth = static_cast<double>(status_bytes("VmHWM:") - before);
        char text[8] = {};
        if (how.size() > 0)
            Mstr(how, text, sizeof text);
        solved = std::strcmp(text, "ok") == 0;
    }
    const double full = 8.0 * m * n;
    state.counters["peak_MB"] = growth / 1e6;
    state.counters["full_copy_MB"] = full / 1e6;
    state.counters["x_full"] = growth / full;
    state.counters["per_nonzero"] = growth / p.nnz;
    state.counters["solved"] = solved;
}
BENCHMARK(LpSparsePeakMemory)
    ->Args({5000, 9996, 2})
    ->Args({20000, 39996, 2})
    ->Args({5000, 10000, 2500})
    ->Args({10000, 20000, 5000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Times solve() (an lp call on a problem of costs c) over the benchmark's
// iterations against linprog's highs-ipm on the same problem: "x_highs_ipm"
// is our best time over its time, "objective_error" the relative
// difference of c'x from its optimum.
template <class Solve>
void against_highs_ipm(benchmark::State& state, const Mm& c, double seconds, double optimum, Solve&& solve)
{
    double best = 1e300, objective = NAN;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        Mm x = solve();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        objective = 0;
        if (x.size() == c.size())
            for (int j = 0; j < c.size(); ++j)
                objective += c.addr()[j] * x.addr()[j];
    }
    state.counters["x_highs_ipm"] = best / seconds;
    state.counters["objective_error"] = std::fabs(objective - optimum) / std::fabs(optimum);
}

// lp on the transportation problems against scipy's linprog with
// method 'highs-ipm' on the same problems (one thread, best of five; times
// and optima from tools/reference/lp_transport_times.py on a quiet machine,
// kept here as data):
// "x_highs_ipm" is our best time over theirs, "objective_error" the relative
// difference of the optima. Run with one BLAS thread for a like comparison.
struct HighsReference {
    int m, n, sources;
    double seconds, objective;
};
const HighsReference highs_ipm[] = {
    {5000, 9996, 2, 0.0314, 20076.030174356492},
    {20000, 39996, 2, 0.1450, 80161.21123537867},
    {5000, 10000, 2500, 0.0361, 7017.704724692145},
};

void LpTransportAgainstHighsIpm(benchmark::State& state)
{
    const HighsReference& ref = highs_ipm[state.range(0)];
    TransportProblem p = make_transport(ref.m, ref.n, ref.sources);
    against_highs_ipm(state, p.c, ref.seconds, ref.objective,
                      [&] { return lp(p.c, p.A, p.b, p.lb, nop_M, nop_M, Mm(0.0), Mm(-1.0)); });
}
BENCHMARK(LpTransportAgainstHighsIpm)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

// lp on the supply-and-demand problems against linprog's highs-ipm on the
// same problems (one thread, best of ten runs taken just before and just
// after two runs of this benchmark on a loaded machine; times and optima
// from tools/reference/lp_transport_times.py, kept as data). Run with
// OPENBLAS_NUM_THREADS=1.
struct SupplyDemandReference {
    int sources, sinks, arcs;
    double seconds, objective;
};
const SupplyDemandReference supply_demand_highs_ipm[] = {
    {2000, 3000, 10000, 0.1290, 66603.37544021507},
    {8000, 12000, 40000, 0.7519, 268455.7043087664},
};

void LpSupplyDemandAgainstHighsIpm(benchmark::State& state)
{
    const SupplyDemandReference& ref = supply_demand_highs_ipm[state.range(0)];
    SupplyDemandProblem p = make_supply_demand(ref.sources, ref.sinks, ref.arcs);
    against_highs_ipm(state, p.c, ref.seconds, ref.objective,
                      [&] { return lp(p.c, p.A, p.b, p.lb, nop_M, nop_M, Mm(double(p.neq)), Mm(-1.0)); });
}
BENCHMARK(LpSupplyDemandAgainstHighsIpm)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(3);

// lp on general sparse problems (test::general_sparse: 2000 rows of which
// 200 equalities, 4000 columns, some 22000 non-zeros; then with 400 columns
// boxed in [-10, 10]; then with three columns full; then 2000 x 5000 and
// 5000 x 10000 with 500 equalities, plain, with 1000 boxed columns and with
// three full ones) against linprog's highs-ipm on the same problems (one
// thread, the best of three runs on a quiet machine, from
// tools/reference/lp_general_times.py, kept as data). Run with
// OPENBLAS_NUM_THREADS=1 for a like comparison; LpGeneralThreads measures
// the default threads.
struct GeneralReference {
    int m, n, neq, boxed, dense, seed;
    double seconds, objective;
};
const GeneralReference general_highs_ipm[] = {
    {2000, 4000, 200, 0, 0, 71, 0.5870, 12.61661614778165},  // 22169 non-zeros
    {2000, 4000, 200, 400, 0, 72, 0.5231, -789.2947839600515},  // 21456 non-zeros
    {2000, 4000, 200, 0, 3, 73, 0.8107, 0.20092728387837783},  // 28408 non-zeros
    {2000, 5000, 200, 0, 0, 74, 0.9351, -7.0205171272774285},  // 27317 non-zeros
    {5000, 10000, 500, 0, 0, 75, 6.3944, 48.656909140889184},  // 55076 non-zeros
    {5000, 10000, 500, 1000, 0, 76, 5.4810, -1753.336389613791},  // 55135 non-zeros
    {5000, 10000, 500, 0, 3, 77, 8.0874, 93.94471124965511},  // 70245 non-zeros
};

struct GeneralProblem {
    int neq;
    Mm c, A, b, lb, ub;
};

GeneralProblem make_general(const GeneralReference& ref)
{
    const test::GeneralSparse g = test::general_sparse(ref.m, ref.n, ref.neq, ref.boxed, ref.dense, ref.seed);
    const int nnz = g.col_start[g.n];
    Mm I(0, 0, 0, nnz, 1, qv_double), J(0, 0, 0, nnz, 1, qv_double), V(0, 0, 0, nnz, 1, qv_double);
    for (int j = 0; j < g.n; ++j)
        for (int k = g.col_start[j]; k < g.col_start[j + 1]; ++k) {
            I.addr()[k] = g.rows[k] + 1;
            J.addr()[k] = j + 1;
            V.addr()[k] = g.values[k];
        }
    Mm c(0, 0, 0, 1, g.n, qv_double), b(0, 0, 0, g.m, 1, qv_double), lb(0, 0, 0, 1, g.n, qv_double),
        ub(0, 0, 0, 1, g.n, qv_double);
    std::copy(g.c.begin(), g.c.end(), c.addr());
    std::copy(g.b.begin(), g.b.end(), b.addr());
    std::copy(g.lb.begin(), g.lb.end(), lb.addr());
    std::copy(g.ub.begin(), g.ub.end(), ub.addr());
    return {g.neq, c, sparse(I, J, V, Mm(double(g.m)), Mm(double(g.n))), b, lb, ub};
}

void LpGeneralAgainstHighsIpm(benchmark::State& state)
{
    const GeneralReference& ref = general_highs_ipm[state.range(0)];
    GeneralProblem p = make_general(ref);
    against_highs_ipm(state, p.c, ref.seconds, ref.objective,
                      [&] { return lp(p.c, p.A, p.b, p.lb, p.ub, nop_M, Mm(double(p.neq)), Mm(-1.0)); });
}
BENCHMARK(LpGeneralAgainstHighsIpm)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->Iterations(3);

// The general problems with the BLAS threads the process started with
// against one BLAS thread.
void LpGeneralThreads(benchmark::State& state)
{
    GeneralProblem p = make_general(general_highs_ipm[state.range(0)]);
    bench::run_against_one_thread(state, [&] {
        Mm x = lp(p.c, p.A, p.b, p.lb, p.ub, nop_M, Mm(double(p.neq)), Mm(-1.0));
        benchmark::DoNotOptimize(x.addr());
    });
}
BENCHMARK(LpGeneralThreads)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(2);

// lp on the transportation problems with the BLAS threads the process
// started with against the same call on one BLAS thread: "x_one_thread"
// above 1 is time lost to threads that spin between small calls.
void LpTransportThreads(benchmark::State& state)
{
    const HighsReference& ref = highs_ipm[state.range(0)];
    TransportProblem p = make_transport(ref.m, ref.n, ref.sources);
    bench::run_against_one_thread(state, [&] {
        Mm x = lp(p.c, p.A, p.b, p.lb, nop_M, nop_M, Mm(0.0), Mm(-1.0));
        benchmark::DoNotOptimize(x.addr());
    });
}
BENCHMARK(LpTransportThreads)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

// 10000 rows, 20000 columns, 190000 non-zeros, two entries per line.
std::string write_mps()
{
    std::string path = "/tmp/numrun_lp_bench.mps";
    FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(f, "NAME          BENCH\nROWS\n N  COST\n");
    for (int i = 0; i < 10000; ++i)
        std::fprintf(f, " L  R%d\n", i);
    std::fprintf(f, "COLUMNS\n");
    std::mt19937 gen(7);
    for (int j = 0; j < 20000; ++j) {
        int placed = 0;
        const int per_column = j < 10000 ? 10 : 9;  // 190000 in all
        std::fprintf(f, "    C%-7d  COST      %12.4f\n", j, 1.0);
        while (placed + 2 <= per_column) {
            std::fprintf(f, "    C%-7d  R%-7d  %12.4f   R%-7d  %12.4f\n", j, int(gen() % 10000), 1.5, int(gen() % 10000),
                         -0.5);
            placed += 2;
        }
        if (placed < per_column)
            std::fprintf(f, "    C%-7d  R%-7d  %12.4f\n", j, int(gen() % 10000), 2.5);
    }
    std::fprintf(f, "RHS\n");
    for (int i = 0; i < 10000; ++i)
        std::fprintf(f, "    RHS       R%-7d  %12.4f\n", i, 100.0);
    std::fprintf(f, "ENDATA\n");
    std::fclose(f);
    return path;
}

void MpsRead(benchmark::State& state)
{
    static const std::string path = write_mps();
    std::vector<char> line(256);
    bench::run_with_baseline(
        state,
        [&] {
            LpSolver s;
            s.read_mps_only(path.c_str());
            benchmark::DoNotOptimize(s.status);
            if (s.status != 0)
                state.SkipWithError("the MPS file did not read");
            s.release();
        },
        [&] {
            FILE* f = std::fopen(path.c_str(), "r");
            long count = 0;
            while (std::fgets(line.data(), int(line.size()), f))
                ++count;
            std::fclose(f);
            benchmark::DoNotOptimize(count);
        });
}
BENCHMARK(MpsRead)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
