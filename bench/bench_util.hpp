// Ratio reporting for benchmarks: each case is timed beside its plain
// baseline over the same number of iterations, and the ratio is a counter.
#pragma once

#include <velkor.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

using clock = std::chrono::steady_clock;

inline double seconds_since(clock::time_point t0)
{
    return std::chrono::duration<double>(clock::now() - t0).count();
}

template <class F>
double time_baseline(std::int64_t iterations, F&& baseline)
{
    auto t0 = clock::now();
    for (std::int64_t k = 0; k < iterations; ++k)
        baseline();
    return seconds_since(t0);
}

// Runs the measured body under the benchmark loop, then the baseline for the
// same iteration count, and reports ours / baseline as "x_baseline".
template <class Body, class Baseline>
void run_with_baseline(benchmark::State& state, Body&& body, Baseline&& baseline)
{
    auto t0 = clock::now();
    for (auto _ : state)
        body();
    double ours = seconds_since(t0);
    double base = time_baseline(state.iterations(), baseline);
    state.counters["x_baseline"] = base > 0 ? ours / base : 0;
}

} // namespace bench

// OpenBLAS's thread controls, for the cases measured against one BLAS thread.
extern "C" {
void openblas_set_num_threads(int);
int openblas_get_num_threads();
}

namespace bench {

// Runs the body with the BLAS threads the process started with (the
// default, or OPENBLAS_NUM_THREADS), then the same body for the same count
// with the BLAS set to one thread, and reports default / one thread as
// "x_one_thread" and the default count as "threads". Above 1 a routine
// loses time to its threads.
template <class Body>
void run_against_one_thread(benchmark::State& state, Body&& body)
{
    const int threads = openblas_get_num_threads();
    auto t0 = clock::now();
    for (auto _ : state)
        body();
    double ours = seconds_since(t0);
    openblas_set_num_threads(1);
    double one = time_baseline(state.iterations(), body);
    openblas_set_num_threads(threads);
    state.counters["x_one_thread"] = one > 0 ? ours / one : 0;
    state.counters["threads"] = threads;
}

// Starts the library once, in throwing mode, before any benchmark runs.
struct library_started {
    library_started()
    {
        initM2(4510, sizeof(Mm));
        qv_set_default_error_flags(0x10, 1);
        qv_set_default_error_flags(0x2, 0);
    }
};

// The elements of a dense complex value as LAPACK takes them: real and
// imaginary parts interleaved, column by column.
inline std::vector<double> interleaved(const Mm& a)
{
    const std::size_t count = std::size_t(a.rows()) * std::size_t(a.cols());
    std::vector<double> z(2 * count);
    for (std::size_t k = 0; k < count; ++k) {
        z[2 * k] = a.addr()[k];
        z[2 * k + 1] = a.addi()[k];
    }
    return z;
}

} // namespace bench
