// Left division on each of its paths beside the direct LAPACK or SuperLU
// call on a copy of the same data.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"
#include "linalg/sparse_lu.hpp"
#include "tall_sparse.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm dense(int m, int n, double phase, bool complex = false)
{
    Mm x(complex, 0, 0, m, n, qv_double);
    for (int k = 0; k < m * n; ++k) {
        x.addr()[k] = std::sin(k * 0.37 + phase) + (k % (m + 1) == 0 ? 3 : 0);
        if (complex)
            x.addi()[k] = std::cos(k * 0.21 + phase);
    }
    return x;
}

// mldivide(a, b) timed beside the baseline, a direct call on the same data.
template <class Baseline>
void against(benchmark::State& state, const Mm& a, const Mm& b, const char* baseline_name, Baseline&& baseline)
{
    bench::run_with_baseline(
        state,
        [&] {
            Mm x = mldivide(a, b);
            benchmark::DoNotOptimize(x.addr());
        },
        baseline);
    state.SetLabel(baseline_name);
}

void RealSquare(benchmark::State& state)
{
    const int n = int(state.range(0)), nrhs = int(state.range(1));
    const Mm a = dense(n, n, 0), b = dense(n, nrhs, 1);
    std::vector<double> w, y;
    std::vector<int> ipiv(n);
    against(state, a, b, "baseline: DGETRF + DGETRS on a copy", [&] {
        w.assign(a.addr(), a.addr() + n * n);
        y.assign(b.addr(), b.addr() + n * nrhs);
        lapack::getrf(n, n, w.data(), n, ipiv.data());
        lapack::getrs('N', n, nrhs, w.data(), n, ipiv.data(), y.data(), n);
        benchmark::DoNotOptimize(y.data());
    });
}
BENCHMARK(RealSquare)->Args({100, 1})->Args({500, 1})->Args({1000, 1})->Args({500, 10})->Args({1000, 10})
    ->Unit(benchmark::kMillisecond);

void Symmetric(benchmark::State& state)
{
    const int n = int(state.range(0));
    Mm a = dense(n, n, 0);
    a = a + transpose(a);
    const Mm b = dense(n, 1, 1);
    std::vector<double> w, y, work(256 * std::size_t(n));
    std::vector<int> ipiv(n);
    against(state, a, b, "baseline: DSYTRF + DSYTRS on a copy", [&] {
        w.assign(a.addr(), a.addr() + n * n);
        y.assign(b.addr(), b.addr() + n);
        lapack::sytrf('L', n, w.data(), n, ipiv.data(), work.data(), int(work.size()));
        lapack::sytrs('L', n, 1, w.data(), n, ipiv.data(), y.data(), n);
        benchmark::DoNotOptimize(y.data());
    });
}
BENCHMARK(Symmetric)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void ComplexSquare(benchmark::State& state)
{
    const int n = int(state.range(0)), nrhs = int(state.range(1));
    const Mm a = dense(n, n, 0, true), b = dense(n, nrhs, 1, true);
    std::vector<double> z0(2 * std::size_t(n) * n), y0(2 * std::size_t(n) * nrhs), z, y;
    for (int k = 0; k < n * n; ++k) {
        z0[2 * k] = a.addr()[k];
        z0[2 * k + 1] = a.addi()[k];
    }
    for (int k = 0; k < n * nrhs; ++k) {
        y0[2 * k] = b.addr()[k];
        y0[2 * k + 1] = b.addi()[k];
    }
    std::vector<int> ipiv(n);
    against(state, a, b, "baseline: ZGETRF + ZGETRS on interleaved data", [&] {
        z = z0;
        y = y0;
        lapack::zgetrf(n, n, z.data(), n, ipiv.data());
        lapack::zgetrs('N', n, nrhs, z.data(), n, ipiv.data(), y.data(), n);
        benchmark::DoNotOptimize(y.data());
    });
}
BENCHMARK(ComplexSquare)->Args({100, 1})->Args({500, 1})->Args({1000, 1})->Args({300, 300})->Args({1000, 100})
    ->Args({1000, 1000})->Unit(benchmark::kMillisecond);

void LeastSquares(benchmark::State& state)
{
    const int m = 1000, n = 100;
    const Mm a = dense(m, n, 0), b = dense(m, 1, 1);
    std::vector<double> w, y, tau(n), work(64 * std::size_t(m) + 64);
    std::vector<int> jpvt(n);
    against(state, a, b, "baseline: DGEQP3 + DORMQR + DTRSM", [&] {
        w.assign(a.addr(), a.addr() + m * n);
        y.assign(b.addr(), b.addr() + m);
        std::fill(jpvt.begin(), jpvt.end(), 0);
        lapack::geqp3(m, n, w.data(), m, jpvt.data(), tau.data(), work.data(), int(work.size()));
        int info = 0, one = 1, lwork = int(work.size());
        dormqr_("L", "T", &m, &one, &n, w.data(), &m, tau.data(), y.data(), &m, work.data(), &lwork, &info, 1, 1);
        const double alpha = 1;
        dtrsm_("L", "U", "N", "N", &n, &one, &alpha, w.data(), &m, y.data(), &m, 1, 1, 1, 1);
        benchmark::DoNotOptimize(y.data());
    });
}
BENCHMARK(LeastSquares)->Unit(benchmark::kMillisecond);

// A tall sparse A, two entries a row: the augmented system [s*I A; A' 0]
// of order m + n beside the normal equations A'A x = A'b formed from the
// entries by a hand loop and solved by DPOTRF and two triangular solves.
void TallSparseLeastSquares(benchmark::State& state)
{
    const int m = int(state.range(0)), n = int(state.range(1));
    const auto& [c1, c2, w1, w2, a] = test::tall_sparse(m, n);
    const Mm b = dense(m, 1, 1);
    std::vector<double> g, y;
    against(state, a, b, "baseline: normal equations by hand, DPOTRF + DTRSM", [&] {
        g.assign(std::size_t(n) * n, 0.0);
        y.assign(n, 0.0);
        for (int r = 0; r < m; ++r) {
            const int p = c1[r], q = c2[r];
            g[p + std::size_t(p) * n] += w1[r] * w1[r];
            g[q + std::size_t(q) * n] += w2[r] * w2[r];
            g[std::min(p, q) + std::size_t(std::max(p, q)) * n] += w1[r] * w2[r];
            y[p] += w1[r] * b.addr()[r];
            y[q] += w2[r] * b.addr()[r];
        }
        lapack::potrf('U', n, g.data(), n);
        const int one = 1;
        const double alpha = 1;
        dtrsm_("L", "U", "T", "N", &n, &one, &alpha, g.data(), &n, y.data(), &n, 1, 1, 1, 1);
        dtrsm_("L", "U", "N", "N", &n, &one, &alpha, g.data(), &n, y.data(), &n, 1, 1, 1, 1);
        benchmark::DoNotOptimize(y.data());
    });
}
BENCHMARK(TallSparseLeastSquares)->Args({30000, 300})->Args({100000, 1000})->Unit(benchmark::kMillisecond);

// The 5-point Laplacian on a k-by-k grid.
Mm laplacian(int k)
{
    const int n = k * k;
    std::vector<double> rows, cols, vals;
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < k; ++i) {
            const int p = i + j * k;
            auto add = [&](int q, double v) {
                rows.push_back(p + 1);
                cols.push_back(q + 1);
                vals.push_back(v);
            };
            add(p, 4);
            if (i > 0)
                add(p - 1, -1);
            if (i < k - 1)
                add(p + 1, -1);
            if (j > 0)
                add(p - k, -1);
            if (j < k - 1)
                add(p + k, -1);
        }
    auto column = [](const std::vector<double>& v) {
        Mm c(0, 0, 0, int(v.size()), 1, qv_double);
        std::copy(v.begin(), v.end(), c.addr());
        return c;
    };
    return sparse(column(rows), column(cols), column(vals), Mm(double(n)), Mm(double(n)));
}

void SparseLaplacian(benchmark::State& state)
{
    const int k = int(state.range(0)), n = k * k;
    const Mm a = laplacian(k), b = dense(n, 1, 1);
    ccs_matrix c;
    c.rows = c.cols = n;
    c.jc.assign(n + 1, 0);
    for (int e = 0; e < a.getnnz(); ++e) {
        c.ir.push_back(a.getindex()[e] % n);
        c.v.push_back(a.addr()[e]);
        ++c.jc[a.getindex()[e] / n + 1];
    }
    for (int j = 0; j < n; ++j)
        c.jc[j + 1] += c.jc[j];
    std::vector<double> y;
    against(state, a, b, "baseline: dgssv in COLAMD's column order", [&] {
        y.assign(b.addr(), b.addr() + n);
        superlu_solve(c, nullptr, y.data(), n, 1);  // COLAMD's order
        benchmark::DoNotOptimize(y.data());
    });
}
// A sparse value's linear indices are int: 200^2 unknowns is near the
// largest grid one can hold.
BENCHMARK(SparseLaplacian)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
