// mean, std, cov, corrcoef and trapz of plain-sized data against hand
// loops: what the checks for data near the ends of the doubles cost.
#include "bench_util.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

constexpr int rows = 2000, cols = 500;

Mm matrix()
{
    Mm x(0, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k)
        x.addr()[k] = std::sin(k * 0.001) + 0.5 * std::cos(k * 0.37);
    return x;
}

void column_means(const double* p, std::vector<double>& mu)
{
    for (int c = 0; c < cols; ++c) {
        double acc = 0;
        for (int r = 0; r < rows; ++r)
            acc += p[r + std::size_t(c) * rows];
        mu[std::size_t(c)] = acc / rows;
    }
}

void MeanColumns(benchmark::State& state)
{
    Mm x = matrix();
    std::vector<double> out(cols);
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = mean(x);
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            column_means(x.addr(), out);
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(MeanColumns)->Unit(benchmark::kMillisecond);

void StdColumns(benchmark::State& state)
{
    Mm x = matrix();
    std::vector<double> mu(cols), out(cols);
    const double* p = x.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = stdM(x);
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            column_means(p, mu);
            for (int c = 0; c < cols; ++c) {
                double acc = 0;
                for (int r = 0; r < rows; ++r) {
                    const double d = p[r + std::size_t(c) * rows] - mu[std::size_t(c)];
                    acc += d * d;
                }
                out[std::size_t(c)] = std::sqrt(acc / (rows - 1));
            }
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(StdColumns)->Unit(benchmark::kMillisecond);

// cov and corrcoef of 100 variables: the hand loop centres the columns
// and forms the upper triangle of the products.
void covariance_loop(const double* p, int n, std::vector<double>& centred, std::vector<double>& out)
{
    for (int c = 0; c < n; ++c) {
        double acc = 0;
        for (int r = 0; r < rows; ++r)
            acc += p[r + std::size_t(c) * rows];
        const double mu = acc / rows;
        for (int r = 0; r < rows; ++r)
            centred[r + std::size_t(c) * rows] = p[r + std::size_t(c) * rows] - mu;
    }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i) {
            double acc = 0;
            for (int r = 0; r < rows; ++r)
                acc += centred[r + std::size_t(i) * rows] * centred[r + std::size_t(j) * rows];
            out[i + std::size_t(j) * n] = out[j + std::size_t(i) * n] = acc / (rows - 1);
        }
}

constexpr int variables = 100;

Mm variables_matrix()
{
    Mm x(0, 0, 0, rows, variables, qv_double);
    for (int k = 0; k < rows * variables; ++k)
        x.addr()[k] = std::sin(k * 0.001) + 0.5 * std::cos(k * 0.37);
    return x;
}

void Cov(benchmark::State& state)
{
    Mm x = variables_matrix();
    std::vector<double> centred(std::size_t(rows) * variables), out(std::size_t(variables) * variables);
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = cov(x);
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            covariance_loop(x.addr(), variables, centred, out);
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(Cov)->Unit(benchmark::kMillisecond);

void Corrcoef(benchmark::State& state)
{
    Mm x = variables_matrix();
    std::vector<double> centred(std::size_t(rows) * variables), out(std::size_t(variables) * variables);
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = corrcoef(x);
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            covariance_loop(x.addr(), variables, centred, out);
            for (int j = 0; j < variables; ++j)
                for (int i = 0; i < variables; ++i)
                    out[i + std::size_t(j) * variables] /=
                        std::sqrt(out[i + std::size_t(i) * variables] * out[j + std::size_t(j) * variables]);
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(Corrcoef)->Unit(benchmark::kMillisecond);

void TrapzColumns(benchmark::State& state)
{
    Mm x = matrix();
    std::vector<double> out(cols);
    const double* p = x.addr();
    bench::run_with_baseline(
        state,
        [&] {
            Mm s = trapz(x);
            benchmark::DoNotOptimize(s.addr());
        },
        [&] {
            for (int c = 0; c < cols; ++c) {
                double acc = 0;
                for (int r = 0; r + 1 < rows; ++r)
                    acc += 0.5 * (p[r + std::size_t(c) * rows] + p[r + 1 + std::size_t(c) * rows]);
                out[std::size_t(c)] = acc;
            }
            benchmark::DoNotOptimize(out.data());
        });
}
BENCHMARK(TrapzColumns)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
