// The matrix product against calling dgemm directly on the same operands,
// and with the default BLAS threads against one.
#include "bench_util.hpp"
#include "linalg/lapack.hpp"

#include <cmath>
#include <vector>

namespace {

bench::library_started started;

Mm square(int n, double phase)
{
    Mm x(0, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k)
        x.addr()[k] = std::sin(k + phase);
    return x;
}

// A product of two n x n matrices beside one dgemm with the given
// transpose flags into an existing buffer.
template <class Ours>
void product_case(benchmark::State& state, Ours ours, const char* ta, const char* tb, const char* label)
{
    const int n = static_cast<int>(state.range(0));
    Mm a = square(n, 0), b = square(n, 1);
    std::vector<double> c(static_cast<std::size_t>(n) * n);
    const double one = 1, zero = 0;
    bench::run_with_baseline(
        state,
        [&] {
            Mm p = ours(a, b);
            benchmark::DoNotOptimize(p.addr());
        },
        [&] {
            dgemm_(ta, tb, &n, &n, &n, &one, a.addr(), &n, b.addr(), &n, &zero, c.data(), &n, 1, 1);
            benchmark::DoNotOptimize(c.data());
        });
    state.SetLabel(label);
}

void Product(benchmark::State& state)
{
    product_case(
        state, [](const Mm& a, const Mm& b) { return a * b; }, "N", "N", "baseline: dgemm into an existing buffer");
}
BENCHMARK(Product)->Arg(200)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

// The product with the BLAS threads the process started with against the
// same product on one BLAS thread: a large one should gain from every core
// ("x_one_thread" near 1/threads), a small one lose nothing.
void ProductThreads(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm a = square(n, 0), b = square(n, 1);
    bench::run_against_one_thread(state, [&] {
        Mm p = a * b;
        benchmark::DoNotOptimize(p.addr());
    });
}
BENCHMARK(ProductThreads)->Arg(100)->Arg(500)->Arg(800)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

// A' * B against one dgemm with the transpose flag: arg 1 selects the fused
// product (1) or transposing first and multiplying (0), the way it ran before.
void TransposedProduct(benchmark::State& state)
{
    if (state.range(1) != 0)
        product_case(
            state,
            [](const Mm& a, const Mm& b) { return mtimes(a, product_form::conjugated, b, product_form::as_is); },
            "T", "N", "fused; baseline: dgemm T,N");
    else
        product_case(
            state, [](const Mm& a, const Mm& b) { return ctranspose(a) * b; }, "T", "N",
            "transpose first; baseline: dgemm T,N");
}
BENCHMARK(TransposedProduct)
    ->Args({200, 0})
    ->Args({200, 1})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond);

void ProductTransposedRight(benchmark::State& state)
{
    product_case(
        state, [](const Mm& a, const Mm& b) { return mtimes(a, product_form::as_is, b, product_form::transposed); },
        "N", "T", "A * B.'; baseline: dgemm N,T");
}
BENCHMARK(ProductTransposedRight)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);

// A small complex A' * B, fused, against the four dgemm calls it is made of
// into existing buffers: for small sizes the cost around the BLAS calls
// (thread controls) shows here.
void ComplexFusedProduct(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    Mm a(1, 0, 0, n, n, qv_double), b(1, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k) {
        a.addr()[k] = std::sin(k);
        a.addi()[k] = std::cos(3 * k);
        b.addr()[k] = std::sin(k + 1.0);
        b.addi()[k] = std::cos(2 * k + 1.0);
    }
    std::vector<double> cr(static_cast<std::size_t>(n) * n), ci(cr.size());
    const double one = 1, zero = 0;
    bench::run_with_baseline(
        state,
        [&] {
            Mm p = mtimes(a, product_form::conjugated, b, product_form::as_is);
            benchmark::DoNotOptimize(p.addr());
        },
        [&] {
            const double* ar = a.addr();
            const double* ai = a.addi();
            const double* br = b.addr();
            const double* bi = b.addi();
            dgemm_("T", "N", &n, &n, &n, &one, ar, &n, br, &n, &zero, cr.data(), &n, 1, 1);
            dgemm_("T", "N", &n, &n, &n, &one, ai, &n, bi, &n, &one, cr.data(), &n, 1, 1);
            const double minus = -1;
            dgemm_("T", "N", &n, &n, &n, &minus, ai, &n, br, &n, &zero, ci.data(), &n, 1, 1);
            dgemm_("T", "N", &n, &n, &n, &one, ar, &n, bi, &n, &one, ci.data(), &n, 1, 1);
            benchmark::DoNotOptimize(cr.data());
            benchmark::DoNotOptimize(ci.data());
        });
    state.SetLabel("A' * B complex; baseline: four dgemm");
}
BENCHMARK(ComplexFusedProduct)->Arg(4)->Arg(16)->Arg(64)->Arg(400)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
