// eig against LAPACK on the same matrices, both on one BLAS thread: real
// non-symmetric to DGEEV, complex to ZGEEV, real symmetric to DSYEV and
// Hermitian to ZHEEV, with and without eigenvectors.
#include "bench_util.hpp"

#include <complex>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

extern "C" {
void dgeev_(const char*, const char*, const int*, double*, const int*, double*, double*, double*, const int*,
            double*, const int*, double*, const int*, int*, std::size_t, std::size_t);
void zgeev_(const char*, const char*, const int*, std::complex<double>*, const int*, std::complex<double>*,
            std::complex<double>*, const int*, std::complex<double>*, const int*, std::complex<double>*, const int*,
            double*, int*, std::size_t, std::size_t);
void dsyev_(const char*, const char*, const int*, double*, const int*, double*, double*, const int*, int*,
            std::size_t, std::size_t);
void zheev_(const char*, const char*, const int*, std::complex<double>*, const int*, double*, std::complex<double>*,
            const int*, double*, int*, std::size_t, std::size_t);
}

namespace {

bench::library_started started;
const int one_thread = (openblas_set_num_threads(1), 1);

enum kind { real_general, complex_general, real_symmetric, hermitian };

Mm random_matrix(int n, kind k)
{
    std::mt19937_64 gen(17 + n);
    std::normal_distribution<double> normal;
    const bool complex = k == complex_general || k == hermitian;
    Mm a(complex, 0, 0, n, n, qv_double);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            a.addr()[i + std::size_t(j) * n] = normal(gen);
            if (complex)
                a.addi()[i + std::size_t(j) * n] = normal(gen);
        }
    if (k == real_symmetric || k == hermitian)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i <= j; ++i) {
                const std::size_t ij = i + std::size_t(j) * n, ji = j + std::size_t(i) * n;
                a.addr()[ij] = a.addr()[ji];
                if (complex)
                    a.addi()[ij] = i == j ? 0.0 : -a.addi()[ji];
            }
    return a;
}

// One LAPACK call on a fresh copy, the workspace sized by a query first.
struct lapack_run {
    int n;
    kind k;
    bool vectors;
    std::vector<double> a, wr, wi, v, work, rwork;
    std::vector<std::complex<double>> za, zw, zv, zwork;

    lapack_run(const Mm& m, kind k_, bool vectors_) : n(m.rows()), k(k_), vectors(vectors_)
    {
        const std::size_t nn = std::size_t(n) * n;
        wr.resize(n);
        wi.resize(n);
        v.resize(vectors ? nn : 1);
        rwork.resize(3 * std::size_t(n));
        if (k == complex_general || k == hermitian) {
            za.resize(nn);
            for (std::size_t e = 0; e < nn; ++e)
                za[e] = {m.addr()[e], m.addi()[e]};
            zw.resize(n);
            zv.resize(vectors ? nn : 1);
        } else
            a.assign(m.addr(), m.addr() + nn);
        // Workspace query.
        work.assign(2, 0.0);
        zwork.assign(1, 0.0);
        call(-1);
        work.resize(std::size_t(work[0]) + 1);
        zwork.resize(std::size_t(zwork[0].real()) + 1);
    }

    void call(int lwork)
    {
        int info = 0, one = 1;
        const int ldv = vectors ? n : 1;
        const char* jobv = vectors ? "V" : "N";
        std::vector<double> acopy;
        std::vector<std::complex<double>> zcopy;
        switch (k) {
        case real_general:
            acopy = a;
            dgeev_("N", jobv, &n, acopy.data(), &n, wr.data(), wi.data(), nullptr, &one, v.data(), &ldv, work.data(),
                   lwork < 0 ? &lwork : &(lwork = int(work.size())), &info, 1, 1);
            break;
        case complex_general:
            zcopy = za;
            zgeev_("N", jobv, &n, zcopy.data(), &n, zw.data(), nullptr, &one, zv.data(), &ldv, zwork.data(),
                   lwork < 0 ? &lwork : &(lwork = int(zwork.size())), rwork.data(), &info, 1, 1);
            break;
        case real_symmetric:
            acopy = a;
            dsyev_(jobv, "L", &n, acopy.data(), &n, wr.data(), work.data(),
                   lwork < 0 ? &lwork : &(lwork = int(work.size())), &info, 1, 1);
            break;
        case hermitian:
            zcopy = za;
            zheev_(jobv, "L", &n, zcopy.data(), &n, wr.data(), zwork.data(),
                   lwork < 0 ? &lwork : &(lwork = int(zwork.size())), rwork.data(), &info, 1, 1);
            break;
        }
        benchmark::DoNotOptimize(wr.data());
    }
};

void Eig(benchmark::State& state)
{
    const int n = int(state.range(0));
    const kind k = kind(state.range(1));
    const bool vectors = state.range(2) != 0;
    const Mm a = random_matrix(n, k);
    lapack_run lapack(a, k, vectors);
    bench::run_with_baseline(
        state,
        [&] {
            if (vectors) {
                Mm V, D;
                eig(a, i_o, V, D);
                benchmark::DoNotOptimize(V.addr());
            } else {
                Mm w = eig(a);
                benchmark::DoNotOptimize(w.addr());
            }
        },
        [&] { lapack.call(0); });
    static const char* const labels[] = {"DGEEV", "ZGEEV", "DSYEV", "ZHEEV"};
    state.SetLabel(std::string("baseline: ") + labels[k] + (vectors ? " with vectors" : " values only"));
}
BENCHMARK(Eig)
    ->ArgsProduct({{100, 300, 1000}, {real_general, complex_general, real_symmetric, hermitian}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
