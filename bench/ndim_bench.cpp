// Dimension work against plain C++: transpose and permute of a 4000x4000
// matrix beside a cache-blocked hand transpose into a fresh buffer, the
// working-dimension mover beside the same, and ismember of 10^6 elements
// in 10^6 beside a sorted std::vector searched with std::binary_search.
#include "bench_util.hpp"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "array/ndim.hpp"

namespace {

bench::library_started started;

Mm random_matrix(int rows, int cols, int seed)
{
    Mm x(0, 0, 0, rows, cols, qv_double);
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> u(0, 1);
    for (int k = 0; k < x.size(); ++k)
        x.addr()[k] = u(gen);
    return x;
}

// The hand baseline: a new result buffer filled tile by tile, as any
// function returning a transposed matrix must.
void hand_transpose(const double* in, int rows, int cols)
{
    std::unique_ptr<double[]> out(new double[std::size_t(rows) * cols]);
    constexpr int tile = 64;
    for (int c0 = 0; c0 < cols; c0 += tile)
        for (int r0 = 0; r0 < rows; r0 += tile) {
            const int c1 = std::min(cols, c0 + tile), r1 = std::min(rows, r0 + tile);
            for (int c = c0; c < c1; ++c)
                for (int r = r0; r < r1; ++r)
                    out[c + std::size_t(cols) * r] = in[r + std::size_t(rows) * c];
        }
    benchmark::DoNotOptimize(out.get());
    benchmark::ClobberMemory();
}

template <class Body>
void against_hand_transpose(benchmark::State& state, Body&& body)
{
    const int n = static_cast<int>(state.range(0));
    Mm a = random_matrix(n, n, 1);
    bench::run_with_baseline(
        state,
        [&] {
            Mm t = body(a);
            benchmark::DoNotOptimize(t.addr());
        },
        [&] { hand_transpose(a.addr(), n, n); });
    state.SetBytesProcessed(state.iterations() * std::int64_t{n} * n * 8);
    state.SetLabel("baseline: blocked hand transpose into a new buffer");
}

void Transpose(benchmark::State& state)
{
    against_hand_transpose(state, [](const Mm& a) { return transpose(a); });
}
BENCHMARK(Transpose)->Arg(4000)->Unit(benchmark::kMillisecond);

void Permute(benchmark::State& state)
{
    Mm swap(0, 0, 0, 1, 2, qv_double);
    swap.addr()[0] = 2;
    swap.addr()[1] = 1;
    against_hand_transpose(state, [&](const Mm& a) { return permute(a, swap); });
}
BENCHMARK(Permute)->Arg(4000)->Unit(benchmark::kMillisecond);

// Moving dimension 2 of a matrix first is its transpose; moving it back is
// the transpose again.
void MoveDimFirst(benchmark::State& state)
{
    against_hand_transpose(state, [](const Mm& a) {
        const int dims[4] = {a.rows(), a.cols(), 1, 1};
        return move_dim_first(a, 2, dims, 1);
    });
}
BENCHMARK(MoveDimFirst)->Arg(4000)->Unit(benchmark::kMillisecond);

// A 3-d permutation that puts the last dimension first.
void Permute3d(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm a = random_matrix(n * n, n, 2);
    const int dims[3] = {n, n, n};
    a.reshape(3, dims);
    Mm order(0, 0, 0, 1, 3, qv_double);
    order.addr()[0] = 3;
    order.addr()[1] = 1;
    order.addr()[2] = 2;
    bench::run_with_baseline(
        state,
        [&] {
            Mm t = permute(a, order);
            benchmark::DoNotOptimize(t.addr());
        },
        [&] { hand_transpose(a.addr(), n * n, n); });
    state.SetLabel("baseline: blocked hand transpose of the n^2 x n view");
}
BENCHMARK(Permute3d)->Arg(250)->Unit(benchmark::kMillisecond);

void Ismember(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm a(0, 0, 0, 1, n, qv_double), s(0, 0, 0, 1, n, qv_double);
    std::mt19937_64 gen(5);
    std::uniform_int_distribution<int> pick(0, 2 * n);
    for (int k = 0; k < n; ++k) {
        a.addr()[k] = pick(gen);
        s.addr()[k] = pick(gen);
    }
    std::vector<double> out(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = ismember(a, s);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            std::vector<double> keys(s.addr(), s.addr() + n);
            std::sort(keys.begin(), keys.end());
            for (int k = 0; k < n; ++k)
                out[k] = std::binary_search(keys.begin(), keys.end(), a.addr()[k]);
            benchmark::DoNotOptimize(out.data());
        });
    state.SetItemsProcessed(state.iterations() * n);
    state.SetLabel("baseline: std::sort of S and std::binary_search");
}
BENCHMARK(Ismember)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
