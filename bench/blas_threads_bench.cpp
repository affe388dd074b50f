// The linear-algebra routines with the BLAS threads the process started
// with against the same call on one BLAS thread. "x_one_thread" above 1 is
// time lost to threads; a routine built of large BLAS calls shows below 1.
// lp, qp and the product have their cases beside their other benchmarks.
#include "bench_util.hpp"

#include <cmath>
#include <functional>

namespace {

bench::library_started started;

Mm square(int n, double phase)
{
    Mm x(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        x.addr()[k] = std::sin(0.37 * k + phase);
    return x;
}

// A Hermitian positive definite matrix: S'S + n I.
Mm spd(int n) { return ctranspose(square(n, 0)) * square(n, 0) + Mm(double(n)) * eye(Mm(double(n))); }

// The five-point Laplacian on a k-by-k grid (k^2 unknowns), from triplets.
Mm poisson(int k)
{
    const int n = k * k;
    Mm I(0, 0, 0, 5 * n, 1, qv_double), J(0, 0, 0, 5 * n, 1, qv_double), V(0, 0, 0, 5 * n, 1, qv_double);
    int t = 0;
    auto put = [&](int i, int j, double v) {
        I.addr()[t] = i + 1;
        J.addr()[t] = j + 1;
        V.addr()[t] = v;
        ++t;
    };
    for (int x = 0; x < k; ++x)
        for (int y = 0; y < k; ++y) {
            const int i = x * k + y;
            put(i, i, 4);
            if (y > 0)
                put(i, i - 1, -1);
            if (y + 1 < k)
                put(i, i + 1, -1);
            if (x > 0)
                put(i, i - k, -1);
            if (x + 1 < k)
                put(i, i + k, -1);
        }
    auto head = [&](const Mm& v) {
        Mm out(0, 0, 0, t, 1, qv_double);
        for (int q = 0; q < t; ++q)
            out.addr()[q] = v.addr()[q];
        return out;
    };
    return sparse(head(I), head(J), head(V), Mm(double(n)), Mm(double(n)));
}

struct routine {
    const char* name;
    std::function<Mm(const Mm&)> call;
    bool positive_definite;
    bool sparse_grid;
};

const routine routines[] = {
    {"A\\b", [](const Mm& a) { return mldivide(a, ones(double(a.rows()), 1.0)); }, false, false},
    {"inv", [](const Mm& a) { return inv(a); }, false, false},
    {"det", [](const Mm& a) { return det(a); }, false, false},
    {"chol", [](const Mm& a) { return chol(a); }, true, false},
    {"qr", [](const Mm& a) { return qr(a); }, false, false},
    {"[Q,R]=qr", [](const Mm& a) { Mm q, r; qr(a, i_o, q, r); return r; }, false, false},
    {"svd", [](const Mm& a) { return svd(a); }, false, false},
    {"[U,S,V]=svd", [](const Mm& a) { Mm u, s, v; svd(a, i_o, u, s, v); return s; }, false, false},
    {"eig", [](const Mm& a) { return eig(a); }, false, false},
    {"eig symmetric", [](const Mm& a) { return eig(a); }, true, false},
    {"schur", [](const Mm& a) { return schur(a); }, false, false},
    {"expm", [](const Mm& a) { return expm(a * Mm(1.0 / a.rows())); }, false, false},
    {"sparse A\\b", [](const Mm& a) { return mldivide(a, ones(double(a.rows()), 1.0)); }, false, true},
    {"sparse lu", [](const Mm& a) { Mm l, u, p; lu(a, i_o, l, u, p); return u; }, false, true},
};

// range(0) picks the routine, range(1) the size: n for a dense matrix, the
// grid side for a sparse one.
void RoutineThreads(benchmark::State& state)
{
    const routine& r = routines[state.range(0)];
    const int n = static_cast<int>(state.range(1));
    const Mm a = r.sparse_grid ? poisson(n) : r.positive_definite ? spd(n) : square(n, 0);
    bench::run_against_one_thread(state, [&] {
        Mm out = r.call(a);
        benchmark::DoNotOptimize(out.addr());
    });
    state.SetLabel(r.name);
}

void all_routines(benchmark::internal::Benchmark* b)
{
    const int count = static_cast<int>(sizeof routines / sizeof routines[0]);
    for (int k = 0; k < count; ++k) {
        if (routines[k].sparse_grid) {
            b->Args({k, 50});
            b->Args({k, 150});
        } else {
            b->Args({k, 200});
            b->Args({k, 800});
        }
    }
}
BENCHMARK(RoutineThreads)->Apply(all_routines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
