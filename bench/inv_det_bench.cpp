// inv, det and the three-output lu, real and complex, beside the LAPACK
// calls they rest on.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm square(int n)
{
    Mm x(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        x.addr()[k] = std::sin(k * 0.37) + (k % (n + 1) == 0 ? 3 : 0) + 0.01 * (k % 7);
    return x;
}

// A complex matrix of the same kind: its real part as square's, a
// different pattern for the imaginary part.
Mm complex_square(int n)
{
    Mm x(1, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k) {
        x.addr()[k] = std::sin(k * 0.37) + (k % (n + 1) == 0 ? 3 : 0) + 0.01 * (k % 7);
        x.addi()[k] = std::cos(k * 0.53) + 0.02 * (k % 5);
    }
    return x;
}

// inv beside xGETRF + xGETRI on the same matrix, real or complex
// (interleaved for ZGETRF).
void beside_getri(benchmark::State& state, bool complex)
{
    const int n = int(state.range(0));
    const Mm a = complex ? complex_square(n) : square(n);
    const std::vector<double> w0 = complex ? bench::interleaved(a) : std::vector<double>(a.addr(), a.addr() + n * n);
    std::vector<double> w, work(256 * std::size_t(n));
    std::vector<int> ipiv(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm x = inv(a);
            benchmark::DoNotOptimize(x.addr());
        },
        [&] {
            w = w0;
            if (complex) {
                lapack::zgetrf(n, n, w.data(), n, ipiv.data());
                lapack::zgetri(n, w.data(), n, ipiv.data(), work.data(), int(work.size()) / 2);
            } else {
                lapack::getrf(n, n, w.data(), n, ipiv.data());
                lapack::getri(n, w.data(), n, ipiv.data(), work.data(), int(work.size()));
            }
            benchmark::DoNotOptimize(w.data());
        });
    state.SetLabel(complex ? "baseline: ZGETRF + ZGETRI on interleaved data" : "baseline: DGETRF + DGETRI");
}

void Inv(benchmark::State& state) { beside_getri(state, false); }
BENCHMARK(Inv)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void ComplexInv(benchmark::State& state) { beside_getri(state, true); }
BENCHMARK(ComplexInv)->Arg(50)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

void Det(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = square(n);
    std::vector<double> w;
    std::vector<int> ipiv(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm d = det(a);
            benchmark::DoNotOptimize(d.addr());
        },
        [&] {
            w.assign(a.addr(), a.addr() + n * n);
            lapack::getrf(n, n, w.data(), n, ipiv.data());
            double d = 1;
            for (int k = 0; k < n; ++k)
                d *= (ipiv[k] != k + 1 ? -1 : 1) * w[k + std::size_t(k) * n];
            benchmark::DoNotOptimize(d);
        });
    state.SetLabel("baseline: DGETRF + the diagonal product");
}
BENCHMARK(Det)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void LuThreeOutputs(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = square(n);
    std::vector<double> w;
    std::vector<int> ipiv(n);
    bench::run_with_baseline(
        state,
        [&] {
            Mm L, U, P;
            lu(a, i_o, L, U, P);
            benchmark::DoNotOptimize(L.addr());
        },
        [&] {
            w.assign(a.addr(), a.addr() + n * n);
            lapack::getrf(n, n, w.data(), n, ipiv.data());
            benchmark::DoNotOptimize(w.data());
        });
    state.SetLabel("baseline: DGETRF alone");
}
BENCHMARK(LuThreeOutputs)->Arg(500)->Unit(benchmark::kMillisecond);


// A library call on a complex matrix beside ZGETRF alone on its
// interleaved copy.
template <class Call>
void beside_zgetrf(benchmark::State& state, Call&& call)
{
    const int n = int(state.range(0));
    const Mm a = complex_square(n);
    const std::vector<double> z0 = bench::interleaved(a);
    std::vector<double> z;
    std::vector<int> ipiv(n);
    bench::run_with_baseline(
        state, [&] { call(a); },
        [&] {
            z = z0;
            lapack::zgetrf(n, n, z.data(), n, ipiv.data());
            benchmark::DoNotOptimize(z.data());
        });
}

void ComplexDet(benchmark::State& state)
{
    beside_zgetrf(state, [](const Mm& a) {
        Mm d = det(a);
        benchmark::DoNotOptimize(d.addr());
    });
    state.SetLabel("baseline: ZGETRF on interleaved data");
}
BENCHMARK(ComplexDet)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

void ComplexLu(benchmark::State& state)
{
    beside_zgetrf(state, [](const Mm& a) {
        Mm L, U, P;
        lu(a, i_o, L, U, P);
        benchmark::DoNotOptimize(L.addr());
    });
    state.SetLabel("three outputs; baseline: ZGETRF on interleaved data");
}
BENCHMARK(ComplexLu)->Arg(50)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

void ComplexRcond(benchmark::State& state)
{
    beside_zgetrf(state, [](const Mm& a) {
        Mm r = rcond(a);
        benchmark::DoNotOptimize(r.addr());
    });
    state.SetLabel("baseline: ZGETRF on interleaved data");
}
BENCHMARK(ComplexRcond)->Arg(50)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
