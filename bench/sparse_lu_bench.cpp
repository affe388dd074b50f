// Sparse direct solves against SuperLU called directly: A\b on a 2-d grid
// matrix to DGSSV in COLAMD's order, det to the same factorisation with
// DGSTRF, and the sparse 1-norm to a loop over the stored entries.
#include "bench_util.hpp"

#include <slu_ddefs.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bench::library_started started;

// The 5-point Laplacian of a g-by-g grid, as compressed columns.
struct grid_matrix {
    int n = 0;
    std::vector<int> ir, jc;
    std::vector<double> v;
    explicit grid_matrix(int g) : n(g * g)
    {
        jc.push_back(0);
        for (int c = 0; c < n; ++c) {
            const int x = c % g, y = c / g;
            auto put = [&](int r, double value) {
                ir.push_back(r);
                v.push_back(value);
            };
            if (y > 0)
                put(c - g, -1);
            if (x > 0)
                put(c - 1, -1);
            put(c, 4);
            if (x + 1 < g)
                put(c + 1, -1);
            if (y + 1 < g)
                put(c + g, -1);
            jc.push_back(int(v.size()));
        }
    }
    Mm value() const
    {
        const int nnz = int(v.size());
        Mm i = zeros(double(nnz), 1.0), j = zeros(double(nnz), 1.0), s = zeros(double(nnz), 1.0);
        for (int c = 0; c < n; ++c)
            for (int k = jc[c]; k < jc[c + 1]; ++k) {
                i.addr()[k] = ir[k] + 1;
                j.addr()[k] = c + 1;
                s.addr()[k] = v[k];
            }
        return sparse(i, j, s, Mm(double(n)), Mm(double(n)));
    }
};

void SparseSolve(benchmark::State& state)
{
    const grid_matrix g(int(state.range(0)));
    const Mm a = g.value(), b = ones(double(g.n), 1.0);
    std::vector<double> x;
    std::vector<int> perm_c(g.n), perm_r(g.n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = mldivide(a, b);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            superlu_options_t options;
            set_default_options(&options);
            options.ColPerm = COLAMD;
            SuperMatrix A, B, L, U;
            dCreate_CompCol_Matrix(&A, g.n, g.n, int(g.v.size()), const_cast<double*>(g.v.data()),
                                   const_cast<int*>(g.ir.data()), const_cast<int*>(g.jc.data()), SLU_NC, SLU_D, SLU_GE);
            x.assign(g.n, 1.0);
            dCreate_Dense_Matrix(&B, g.n, 1, x.data(), g.n, SLU_DN, SLU_D, SLU_GE);
            SuperLUStat_t stat;
            StatInit(&stat);
            int info = 0;
            dgssv(&options, &A, perm_c.data(), perm_r.data(), &L, &U, &B, &stat, &info);
            Destroy_SuperNode_Matrix(&L);
            Destroy_CompCol_Matrix(&U);
            Destroy_SuperMatrix_Store(&A);
            Destroy_SuperMatrix_Store(&B);
            StatFree(&stat);
            benchmark::DoNotOptimize(x.data());
        });
    state.SetLabel("baseline: DGSSV in COLAMD's order");
}
BENCHMARK(SparseSolve)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

void SparseDet(benchmark::State& state)
{
    const grid_matrix g(int(state.range(0)));
    const Mm a = g.value();
    std::vector<int> perm_c(g.n), perm_r(g.n), etree(g.n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm d = det(a);
            benchmark::DoNotOptimize(d.addr());
        },
        [&] {
            superlu_options_t options;
            set_default_options(&options);
            options.DiagPivotThresh = 1.0;
            SuperMatrix A, AC, L, U;
            dCreate_CompCol_Matrix(&A, g.n, g.n, int(g.v.size()), const_cast<double*>(g.v.data()),
                                   const_cast<int*>(g.ir.data()), const_cast<int*>(g.jc.data()), SLU_NC, SLU_D, SLU_GE);
            get_perm_c(COLAMD, &A, perm_c.data());
            sp_preorder(&options, &A, perm_c.data(), etree.data(), &AC);
            SuperLUStat_t stat;
            StatInit(&stat);
            GlobalLU_t glu{};
            int info = 0;
            dgstrf(&options, &AC, sp_ienv(2), sp_ienv(1), etree.data(), nullptr, 0, perm_c.data(), perm_r.data(), &L,
                   &U, &glu, &stat, &info);
            Destroy_SuperNode_Matrix(&L);
            Destroy_CompCol_Matrix(&U);
            Destroy_CompCol_Permuted(&AC);
            Destroy_SuperMatrix_Store(&A);
            StatFree(&stat);
            benchmark::ClobberMemory();
        });
    state.SetLabel("baseline: DGSTRF in COLAMD's order");
}
BENCHMARK(SparseDet)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

void SparseNorm1(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = speye(Mm(double(n)));
    std::vector<int> jc(n + 1);
    for (int c = 0; c <= n; ++c)
        jc[c] = c;
    const std::vector<double> v(n, 1.0);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = norm(a, Mm(1.0));
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            double best = 0;
            for (int c = 0; c < n; ++c) {
                double s = 0;
                for (int k = jc[c]; k < jc[c + 1]; ++k)
                    s += std::fabs(v[k]);
                best = std::max(best, s);
            }
            benchmark::DoNotOptimize(best);
        });
    state.SetLabel("baseline: column sums over the stored entries");
}
BENCHMARK(SparseNorm1)->Arg(8000)->Arg(40000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
