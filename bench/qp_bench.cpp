// qp beside the sparse left divisions it cannot avoid: a run costs some
// number of KKT solves, and the ratio shows what the value operations
// around them (building the systems, the element-wise steps) add; and qp
// with the default BLAS threads against one.
#include "bench_util.hpp"

#include "optim/qp.hpp"

#include <string>

namespace {

bench::library_started started;

// 100 variables, a dense strictly convex H, 60 inequality rows of which a
// part binds at the optimum.
struct problem {
    Mm H, f, A, b;
    problem()
    {
        const int n = 100, m = 60;
        randM(TM("seed"), Mm(11.0));
        const Mm B = randM(double(n), double(n)) - Mm(0.5);
        H = dot_transpose(B) * B + Mm(double(n)) * eye(Mm(double(n)));
        f = (randM(double(n), 1.0) - Mm(0.5)) * Mm(20.0);
        A = randM(double(m), double(n)) - Mm(0.5);
        b = A * ((randM(double(n), 1.0) - Mm(0.5)) * Mm(0.2)) + randM(double(m), 1.0) * Mm(0.1);
    }
};

// The system of a phase-2 step, in the standard form qp builds: split
// variables, one slack per row, a positive diagonal beside H.
Mm kkt_matrix(const problem& p)
{
    const int n = p.H.rows(), m = p.A.rows(), ns = 2 * n + m;
    const Mm As = horzcat(horzcat(p.A, -p.A), speye(Mm(double(m))));
    const Mm Hs = vertcat(horzcat(vertcat(horzcat(p.H, -p.H), horzcat(-p.H, p.H)), zeros(double(2 * n), double(m))),
                          zeros(double(m), double(ns)));
    return vertcat(horzcat(Hs + speye(Mm(double(ns))), dot_transpose(As)),
                   horzcat(As, sparse(Mm(double(m)), Mm(double(m)))));
}

void QpVersusItsSolves(benchmark::State& state)
{
    const problem p;
    const Mm K = sparse(kkt_matrix(p));
    const Mm rhs = ones(double(K.rows()), 1.0);
    int solves = 0;
    bool solved = true;
    bench::run_with_baseline(
        state,
        [&] {
            randM(TM("seed"), Mm(5489.0));
            Mm x, lambda, how;
            qp(p.H, p.f, p.A, p.b, Mm(), Mm(), Mm(), Mm(0.0), Mm(-1.0), i_o, x, lambda, how);
            solves = qp_kkt_solves();
            char verdict[16];
            Mstr(how, verdict, sizeof verdict);
            solved = solved && std::string(verdict) == "ok";
            benchmark::DoNotOptimize(x);
        },
        [&] {
            for (int k = 0; k < solves; ++k)
                benchmark::DoNotOptimize(mldivide(K, rhs));
        });
    state.counters["kkt_solves"] = solves;
    if (!solved)
        state.SkipWithError("qp did not solve the problem");
}
BENCHMARK(QpVersusItsSolves)->Unit(benchmark::kMillisecond);

// The same qp with the BLAS threads the process started with against one
// BLAS thread: "x_one_thread" above 1 is time lost to spinning threads.
void QpThreads(benchmark::State& state)
{
    const problem p;
    bench::run_against_one_thread(state, [&] {
        randM(TM("seed"), Mm(5489.0));
        Mm x, lambda, how;
        qp(p.H, p.f, p.A, p.b, Mm(), Mm(), Mm(), Mm(0.0), Mm(-1.0), i_o, x, lambda, how);
        benchmark::DoNotOptimize(x);
    });
}
BENCHMARK(QpThreads)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
