// lp on a random sparse problem against one dense Cholesky factorisation of
// its normal matrix (the cost of one iteration done densely), and the MPS
// reader against reading the same file line by line with fgets.
#include "bench_util.hpp"

#include "linalg/lapack.hpp"
#include "optim/lp_solver.hpp"

#include <cstdio>
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
