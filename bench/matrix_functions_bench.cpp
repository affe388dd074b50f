// expm against the same Padé-6 scaling and squaring written with direct
// DGEMM and DGESV calls; mpower(A, 37) against a hand repeated-squaring loop
// of DGEMM; axxbc against two DGEES calls and DTRSYL.
#include "bench_util.hpp"

#include <cmath>
#include <random>
#include <vector>

extern "C" {
void dgemm_(const char*, const char*, const int*, const int*, const int*, const double*, const double*, const int*,
            const double*, const int*, const double*, double*, const int*, std::size_t, std::size_t);
void dgesv_(const int*, const int*, double*, const int*, int*, double*, const int*, int*);
void dgees_(const char*, const char*, int (*)(const double*, const double*), const int*, double*, const int*, int*,
            double*, double*, double*, const int*, double*, const int*, int*, int*, std::size_t, std::size_t);
void dtrsyl_(const char*, const char*, const int*, const int*, const int*, const double*, const int*, const double*,
             const int*, double*, const int*, double*, int*, std::size_t, std::size_t);
}

namespace {

bench::library_started started;

Mm random_matrix(int n, unsigned seed, double scale = 1.0)
{
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal;
    Mm a(0, 0, 0, n, n, qv_double);
    for (std::size_t k = 0; k < std::size_t(n) * n; ++k)
        a.addr()[k] = scale * normal(gen);
    return a;
}

using matrix = std::vector<double>;

void gemm(int n, const matrix& a, const matrix& b, matrix& c)
{
    const double one = 1, zero = 0;
    dgemm_("N", "N", &n, &n, &n, &one, a.data(), &n, b.data(), &n, &zero, c.data(), &n, 1, 1);
}

// The same algorithm as expm, on plain arrays.
void hand_expm(int n, const double* source, matrix& e)
{
    const std::size_t nn = std::size_t(n) * n;
    double inf_norm = 0;
    for (int i = 0; i < n; ++i) {
        double s = 0;
        for (int j = 0; j < n; ++j)
            s += std::fabs(source[i + std::size_t(j) * n]);
        inf_norm = std::max(inf_norm, s);
    }
    int exponent = 0;
    std::frexp(inf_norm, &exponent);
    const int s = std::max(0, exponent + 1);
    matrix a(source, source + nn), x, d(nn), t(nn);
    for (auto& v : a)
        v = std::ldexp(v, -s);
    x = a;
    e.assign(nn, 0.0);
    double c = 0.5;
    for (std::size_t k = 0; k < nn; ++k) {
        e[k] = c * a[k];
        d[k] = -c * a[k];
    }
    for (int k = 0; k < n; ++k) {
        e[k * (std::size_t(n) + 1)] += 1;
        d[k * (std::size_t(n) + 1)] += 1;
    }
    for (int k = 2; k <= 6; ++k) {
        c = c * (6 - k + 1) / (k * (12 - k + 1));
        gemm(n, a, x, t);
        x.swap(t);
        for (std::size_t i = 0; i < nn; ++i) {
            e[i] += c * x[i];
            d[i] += (k % 2 == 0 ? c : -c) * x[i];
        }
    }
    std::vector<int> piv(n);
    int info = 0;
    dgesv_(&n, &n, d.data(), &n, piv.data(), e.data(), &n, &info);
    for (int k = 0; k < s; ++k) {
        gemm(n, e, e, t);
        e.swap(t);
    }
}

void Expm(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = random_matrix(n, 7, 1.0 / std::sqrt(double(n)));
    matrix e;
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = expm(a);
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            hand_expm(n, a.addr(), e);
            benchmark::DoNotOptimize(e.data());
        });
    state.SetLabel("baseline: the same Padé-6 with DGEMM and DGESV");
}
BENCHMARK(Expm)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void Mpower37(benchmark::State& state)
{
    const int n = int(state.range(0));
    const Mm a = random_matrix(n, 8, 1.0 / std::sqrt(double(n)));
    const std::size_t nn = std::size_t(n) * n;
    matrix p, x, t(nn);
    bench::run_with_baseline(
        state,
        [&] {
            Mm r = mpower(a, Mm(37.0));
            benchmark::DoNotOptimize(r.addr());
        },
        [&] {
            p.assign(nn, 0.0);
            for (int k = 0; k < n; ++k)
                p[k * (std::size_t(n) + 1)] = 1;
            x.assign(a.addr(), a.addr() + nn);
            for (unsigned k = 37;;) {
                if (k & 1) {
                    gemm(n, p, x, t);
                    p.swap(t);
                }
                k >>= 1;
                if (!k)
                    break;
                gemm(n, x, x, t);
                x.swap(t);
            }
            benchmark::DoNotOptimize(p.data());
        });
    state.SetLabel("baseline: repeated squaring with DGEMM");
}
BENCHMARK(Mpower37)->Arg(200)->Unit(benchmark::kMillisecond);

void Axxbc(benchmark::State& state)
{
    const int n = int(state.range(0));
    Mm a = random_matrix(n, 9, 1.0 / std::sqrt(double(n))), b = random_matrix(n, 10, 1.0 / std::sqrt(double(n)));
    for (int k = 0; k < n; ++k) {
        a.addr()[k * (n + 1)] -= 3;
        b.addr()[k * (n + 1)] -= 3;
    }
    const Mm c = random_matrix(n, 11);
    const std::size_t nn = std::size_t(n) * n;
    matrix ta, tb, ua(nn), ub(nn), f, t(nn), wr(n), wi(n), work(std::size_t(n) * 64);
    std::vector<int> bwork(n);
    const int lwork = int(work.size());
    bench::run_with_baseline(
        state,
        [&] {
            Mm x = axxbc(a, b, c);
            benchmark::DoNotOptimize(x.addr());
        },
        [&] {
            ta.assign(a.addr(), a.addr() + nn);
            tb.assign(b.addr(), b.addr() + nn);
            int sdim = 0, info = 0;
            dgees_("V", "N", nullptr, &n, ta.data(), &n, &sdim, wr.data(), wi.data(), ua.data(), &n, work.data(),
                   &lwork, bwork.data(), &info, 1, 1);
            dgees_("V", "N", nullptr, &n, tb.data(), &n, &sdim, wr.data(), wi.data(), ub.data(), &n, work.data(),
                   &lwork, bwork.data(), &info, 1, 1);
            // F = Uaᵀ·C·Ub, solve Ta·Y + Y·Tb = F, X = Ua·Y·Ubᵀ.
            const double one = 1, zero = 0;
            f.assign(nn, 0.0);
            dgemm_("T", "N", &n, &n, &n, &one, ua.data(), &n, c.addr(), &n, &zero, t.data(), &n, 1, 1);
            dgemm_("N", "N", &n, &n, &n, &one, t.data(), &n, ub.data(), &n, &zero, f.data(), &n, 1, 1);
            double scale = 1;
            const int isgn = 1;
            dtrsyl_("N", "N", &isgn, &n, &n, ta.data(), &n, tb.data(), &n, f.data(), &n, &scale, &info, 1, 1);
            dgemm_("N", "N", &n, &n, &n, &one, ua.data(), &n, f.data(), &n, &zero, t.data(), &n, 1, 1);
            dgemm_("N", "T", &n, &n, &n, &one, t.data(), &n, ub.data(), &n, &zero, f.data(), &n, 1, 1);
            benchmark::DoNotOptimize(f.data());
        });
    state.SetLabel("baseline: two DGEES, DTRSYL and the products (report)");
}
BENCHMARK(Axxbc)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
