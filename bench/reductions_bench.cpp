// Reductions along each dimension against hand loops, and the sparse
// element-wise path per stored entry.
#include "bench_util.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bench::library_started started;

constexpr int rows = 1000, cols = 10000;

Mm matrix()
{
    Mm x(0, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k)
        x.addr()[k] = std::sin(k * 0.001);
    return x;
}

void SumDim1(benchmark::State& state)
{
    Mm x = matrix();
    std::vector<double> out(cols);
    const double* p = x.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = sum(x, Mm(1.0));
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            for (int c = 0; c < cols; ++c) {
                double acc = 0;
                for (int r = 0; r < rows; ++r)
                    acc += p[r + static_cast<std::size_t>(c) * rows];
                out[c] = acc;
            }
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(SumDim1)->Unit(benchmark::kMillisecond);

void SumDim2(benchmark::State& state)
{
    Mm x = matrix();
    std::vector<double> out(rows);
    const double* p = x.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = sum(x, Mm(2.0));
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            std::fill(out.begin(), out.end(), 0.0);
            for (int c = 0; c < cols; ++c)
                for (int r = 0; r < rows; ++r)
                    out[r] += p[r + static_cast<std::size_t>(c) * rows];
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(SumDim2)->Unit(benchmark::kMillisecond);

void MaxDim1(benchmark::State& state)
{
    Mm x = matrix();
    std::vector<double> out(cols);
    const double* p = x.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = max(x, Mm(), Mm(1.0));
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            for (int c = 0; c < cols; ++c) {
                double best = p[static_cast<std::size_t>(c) * rows];
                for (int r = 1; r < rows; ++r)
                    best = std::max(best, p[r + static_cast<std::size_t>(c) * rows]);
                out[c] = best;
            }
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(MaxDim1)->Unit(benchmark::kMillisecond);

void MaxDim2(benchmark::State& state)
{
    Mm x = matrix();
    std::vector<double> out(rows);
    const double* p = x.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = max(x, Mm(), Mm(2.0));
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            std::copy(p, p + rows, out.begin());
            for (int c = 1; c < cols; ++c)
                for (int r = 0; r < rows; ++r)
                    out[r] = std::max(out[r], p[r + static_cast<std::size_t>(c) * rows]);
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(MaxDim2)->Unit(benchmark::kMillisecond);

// max of one long vector against the memory floor, a hand loop of eight
// independent running maxima that reads each element once. Arg 0: max(x);
// 1: with positions; 2: the engine's one-accumulator reduction, which max
// ran through before the column route.
void MaxVector(benchmark::State& state)
{
    const int form = static_cast<int>(state.range(0));
    const bool positions = form == 1;
    Mm x = matrix();
    x = reshape(x, Mm(double(rows) * cols), Mm(1.0));
    const double* p = x.addr();
    const std::size_t n = static_cast<std::size_t>(rows) * cols;
    double sink = 0;
    bench::run_with_baseline(
        state,
        [&] {
            if (form == 2) {
                Mm s(0, x, zero_M, zero_M, op_max_1, 1, l_M);
                benchmark::DoNotOptimize(s.addr());
            } else if (positions) {
                Mm m, k;
                max(x, i_o, m, k);
                benchmark::DoNotOptimize(k.addr());
            } else {
                Mm s = max(x);
                benchmark::DoNotOptimize(s.addr());
            }
        },
        [&] {
            double v[8];
            std::fill(v, v + 8, p[0]);
            for (std::size_t k = 0; k + 8 <= n; k += 8)
                for (int l = 0; l < 8; ++l)
                    v[l] = p[k + l] > v[l] ? p[k + l] : v[l];
            sink = *std::max_element(v, v + 8);
            benchmark::DoNotOptimize(sink);
        });
    state.SetLabel(form == 2 ? "engine reduction; baseline: 8-lane hand loop"
                   : positions ? "with positions; baseline: 8-lane hand loop"
                               : "baseline: 8-lane hand loop");
}
BENCHMARK(MaxVector)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Sparse element-wise work, reported per stored entry.
Mm sparse_with(int stored, int offset)
{
    const int n = 4 * stored;
    Mm i(0, 0, 0, stored, 1, qv_double), j(0, 0, 0, stored, 1, qv_double), v(0, 0, 0, stored, 1, qv_double);
    for (int k = 0; k < stored; ++k) {
        i.addr()[k] = 1 + (4 * k + offset) % n;
        j.addr()[k] = 1;
        v.addr()[k] = k + 1;
    }
    return sparse(i, j, v, Mm(double(n)), Mm(1.0));
}

void SparsePlus(benchmark::State& state)
{
    Mm a = sparse_with(1000000, 0), b = sparse_with(1000000, 2);
    for (auto _ : state) {
        Mm s = a + b;
        benchmark::DoNotOptimize(s.addr());
    }
    state.SetItemsProcessed(state.iterations() * 2000000);
}
BENCHMARK(SparsePlus)->Unit(benchmark::kMillisecond);

void SparseTimes(benchmark::State& state)
{
    Mm a = sparse_with(1000000, 0), b = sparse_with(1000000, 0);
    for (auto _ : state) {
        Mm s = times(a, b);
        benchmark::DoNotOptimize(s.addr());
    }
    state.SetItemsProcessed(state.iterations() * 2000000);
}
BENCHMARK(SparseTimes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
