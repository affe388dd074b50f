// hqr, hqr2 and real_schur_qr: small fixed cases, the real Schur form and
// its basis, pair order, and the iteration limits, by the double-shift
// iteration and, for large blocks, the multishift one.
#include "dense_matrix.hpp"
#include "kernel_orders.hpp"
#include "linalg/kernels.hpp"
#include "platform/blas.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

const double eps = std::numeric_limits<double>::epsilon();
const double qnan = std::numeric_limits<double>::quiet_NaN();

struct BudgetOff {
    BudgetOff() { eigen_budget_scale = 0; }
    ~BudgetOff() { eigen_budget_scale = 1; }
};

enum class kernel { values, vectors, schur };

struct QrRun {
    std::vector<double> h, wr, wi, z;
    int ierr;
};

// One kernel on h (with z, the identity when not given); with work, a
// block above order 75 goes the multishift way.
QrRun run(kernel k, int n, std::vector<double> h, std::vector<double> z = {}, double* work = nullptr)
{
    QrRun r{std::move(h), std::vector<double>(n, -7), std::vector<double>(n, -7), std::move(z), -1};
    if (r.z.empty())
        r.z = test::dense::identity(n).re;
    const int low = 1, igh = n;
    switch (k) {
    case kernel::values:
        hqr(&n, &n, &low, &igh, r.h.data(), r.wr.data(), r.wi.data(), &r.ierr, work);
        break;
    case kernel::vectors:
        hqr2(&n, &n, &low, &igh, r.h.data(), r.wr.data(), r.wi.data(), r.z.data(), &r.ierr, work);
        break;
    case kernel::schur:
        real_schur_qr(&n, &n, &low, &igh, r.h.data(), r.wr.data(), r.wi.data(), r.z.data(), &r.ierr, work);
        break;
    }
    return r;
}

const kernel all_kernels[] = {kernel::values, kernel::vectors, kernel::schur};

TEST(RealHessenbergQr, SmallFixedCases)
{
    struct Case {
        const char* what;
        int n;
        std::vector<double> h, wr, wi;
    };
    const std::vector<Case> cases = {
        {"n = 1", 1, {-4}, {-4}, {0}},
        {"rotation block", 2, {0, -1, 1, 0}, {0, 0}, {1, -1}},
        {"zero matrix", 3, std::vector<double>(9, 0.0), {0, 0, 0}, {0, 0, 0}},
        {"upper triangular", 3, {1, 0, 0, 2, 5, 0, 3, 4, -2}, {1, 5, -2}, {0, 0, 0}},
        // The subdiagonal 1 is tiny beside -1e100 but not negligible: its
        // product with -1e100 above it sets the eigenvalue -1.
        {"graded companion", 2, {-1e100, 1, -1e100, 0}, {-1e100, -1}, {0, 0}},
    };
    for (const auto& c : cases)
        for (kernel k : all_kernels) {
            SCOPED_TRACE(std::string(c.what) + ", kernel " + std::to_string(int(k)));
            const QrRun r = run(k, c.n, c.h);
            EXPECT_EQ(r.ierr, 0);
            EXPECT_EQ(r.wr, c.wr);
            EXPECT_EQ(r.wi, c.wi);
        }
    // hqr2 leaves z alone where there is nothing to transform.
    EXPECT_EQ(run(kernel::vectors, 1, {-4}, {3}).z, std::vector<double>{3});
    const test::dense q = test::dense::random(3, 3, 5, false);
    EXPECT_EQ(run(kernel::vectors, 3, std::vector<double>(9, 0.0), q.re).z, q.re) << "no back substitution";
}

TEST(RealHessenbergQr, TriangularNeedsNoIteration)
{
    BudgetOff off;
    for (kernel k : all_kernels) {
        const QrRun r = run(k, 3, {1, 0, 0, 2, 5, 0, 3, 4, -2});
        EXPECT_EQ(r.ierr, 0);
        EXPECT_EQ(r.wr, (std::vector<double>{1, 5, -2}));
    }
}

TEST(RealHessenbergQr, ExhaustedBudgetReportsTheEigenvalue)
{
    const int n = 4;
    std::vector<double> h = test::dense::random(n, n, 9, false).re;
    for (int j = 0; j < n; ++j)
        for (int i = j + 2; i < n; ++i)
            h[i + n * j] = 0;
    {
        BudgetOff off;
        for (kernel k : all_kernels) {
            SCOPED_TRACE(int(k));
            EXPECT_EQ(run(k, n, h).ierr, n);
        }
    }
    // NaN entries never converge: every kernel gives up, none hangs.
    std::vector<double> bad = h;
    bad[0] = qnan;
    for (kernel k : all_kernels) {
        SCOPED_TRACE(int(k));
        EXPECT_GT(run(k, n, bad).ierr, 0);
    }
}

TEST(RealHessenbergQr, ExceptionalShiftsBreakAStalledDoubleShift)
{
    // Two rotation blocks coupled by 1e-14: the plain double shift stalls
    // on them, and every kernel (the Schur form too) must still converge
    // to the four eigenvalues on the unit circle.
    const double d = 1e-14;
    const std::vector<double> h = {0, 1, 0, 0, 1, 0, d, 0, 0, -d, 0, 1, 0, 0, 1, 0};
    for (kernel k : all_kernels) {
        SCOPED_TRACE(int(k));
        const QrRun r = run(k, 4, h);
        EXPECT_EQ(r.ierr, 0);
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(std::hypot(r.wr[j], r.wi[j]), 1, 1e-7) << "eigenvalues on the unit circle";
    }
}

TEST(RealSchurQr, QuasiTriangularFormAndOrthogonalBasis)
{
    for (int n : {2, 5, 8, 17}) {
        SCOPED_TRACE(n);
        const test::dense a = test::dense::random(n, n, 100 + n, false);
        const int low = 1, igh = n;
        std::vector<double> h = a.re, ort(n), z(n * n);
        orthes(&n, &n, &low, &igh, h.data(), ort.data());
        ortran(&n, &n, &low, &igh, h.data(), ort.data(), z.data());
        std::vector<double> wr(n), wi(n);
        int ierr = -1;
        real_schur_qr(&n, &n, &low, &igh, h.data(), wr.data(), wi.data(), z.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        test::dense t(n, n), u(n, n);
        t.re = h;
        u.re = z;
        for (int j = 0; j < n; ++j)
            for (int i = j + 2; i < n; ++i)
                t.set(i, j, 0.0);
        EXPECT_LE(test::departure_from_unitary(u), 30 * n * eps);
        const double residual = test::difference(test::product(test::product(u, t), test::adjoint(u)), a).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
        // A complex pair (positive imaginary part first) owns a 2x2 block
        // with complex eigenvalues; elsewhere the subdiagonal is negligible
        // (the kernel leaves it unzeroed) and the diagonal holds the value.
        const double small = eps * a.norm1();
        for (int k = 0; k < n; ++k) {
            if (k > 0 && wi[k] >= 0) {
                EXPECT_LE(std::abs(t(k, k - 1)), small) << "subdiagonal " << k;
            }
            if (wi[k] != 0) {
                ASSERT_LT(k + 1, n);
                EXPECT_GT(wi[k], 0);
                EXPECT_EQ(wi[k + 1], -wi[k]);
                EXPECT_EQ(wr[k + 1], wr[k]);
                const double p = (t(k, k).real() - t(k + 1, k + 1).real()) / 2;
                EXPECT_LT(p * p + t(k, k + 1).real() * t(k + 1, k).real(), 0) << "block " << k;
                ++k;
            } else
                EXPECT_NEAR(wr[k], t(k, k).real(), small);
        }
    }
}

TEST(Hqr, ValuesAgreeWithHqr2AndPairsComePositiveFirst)
{
    const int n = 12;
    const test::dense a = test::dense::random(n, n, 77, false);
    std::vector<double> h = a.re;
    std::vector<int> piv(n);
    const int low = 1, igh = n;
    elmhes(&n, &n, &low, &igh, h.data(), piv.data());
    const QrRun values = run(kernel::values, n, h);
    const QrRun vectors = run(kernel::vectors, n, h);
    ASSERT_EQ(values.ierr, 0);
    ASSERT_EQ(vectors.ierr, 0);
    int pairs = 0;
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(values.wr[k], vectors.wr[k], 1e-12 * a.norm1());
        EXPECT_NEAR(values.wi[k], vectors.wi[k], 1e-12 * a.norm1());
        if (values.wi[k] > 0) {
            ++pairs;
            EXPECT_EQ(values.wi[k + 1], -values.wi[k]);
        }
        if (values.wi[k] < 0) {
            EXPECT_GT(values.wi[k - 1], 0);
        }
    }
    EXPECT_GT(pairs, 0) << "the fixture should hold complex pairs";
}

// ---- the multishift iteration on large blocks ----

using matrix = std::vector<double>;

matrix product(const matrix& a, const matrix& b, int n, const char* ta = "N")
{
    matrix c(std::size_t(n) * n);
    const double one = 1, zero = 0;
    dgemm_(ta, "N", &n, &n, &n, &one, a.data(), &n, b.data(), &n, &zero, c.data(), &n, 1, 1);
    return c;
}

double norm1(const matrix& a, int n)
{
    double best = 0;
    for (int j = 0; j < n; ++j) {
        double s = 0;
        for (int i = 0; i < n; ++i)
            s += std::fabs(a[i + std::size_t(j) * n]);
        best = std::max(best, s);
    }
    return best;
}

// A gallery of matrices the iteration meets: entry(i, j) from 0.
struct Structured {
    const char* name;
    std::function<double(int, int, int, std::mt19937_64&)> entry;
};

const std::vector<Structured> structured = {
    {"random", [](int, int, int, std::mt19937_64& g) { return std::normal_distribution<double>()(g); }},
    {"all ones", [](int, int, int, std::mt19937_64&) { return 1.0; }},
    {"graded by 1e+-100",
     [](int i, int j, int n, std::mt19937_64& g) {
         return std::normal_distribution<double>()(g) * std::pow(10.0, 100.0 * (i - j) / n);
     }},
    {"companion", [](int i, int j, int, std::mt19937_64& g) {
         return i == 0 ? std::normal_distribution<double>()(g) : i == j + 1 ? 1.0 : 0.0;
     }},
    {"nilpotent Jordan block", [](int i, int j, int, std::mt19937_64&) { return j == i + 1 ? 1.0 : 0.0; }},
    {"rotations, weakly coupled",
     [](int i, int j, int, std::mt19937_64& g) {
         const double c = std::normal_distribution<double>()(g) * 1e-8;
         if (i / 2 != j / 2)
             return j > i ? c : 0.0;
         return i == j ? 0.5 : (i < j ? 1.0 + i % 7 : -1.0);
     }},
    {"upper triangular", [](int i, int j, int, std::mt19937_64& g) {
         return i <= j ? std::normal_distribution<double>()(g) : 0.0;
     }},
    {"repeated rows", [](int i, int j, int, std::mt19937_64&) { return std::sin(1.0 + j) + (i % 3 == 0 ? 0 : j); }},
};

matrix structured_matrix(const Structured& s, int n)
{
    std::mt19937_64 g(1234 + n);
    matrix a(std::size_t(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            a[i + std::size_t(j) * n] = s.entry(i, j, n, g);
    return a;
}

// a reduced to Hessenberg form h = zᵀ·a·z, with work for the kernels.
struct Reduced {
    matrix h, z;
    mutable std::vector<double> space;
    Reduced(const matrix& a, int n) : h(a), z(std::size_t(n) * n)
    {
        space.resize(std::max(hessenberg_work_size(n), real_qr_work_size(n)));
        const int low = 1, igh = n;
        std::vector<double> ort(n);
        orthes(&n, &n, &low, &igh, h.data(), ort.data(), space.data());
        ortran(&n, &n, &low, &igh, h.data(), ort.data(), z.data(), space.data());
    }
    double* work() const { return space.data(); }
};

// A = Z·T·Zᵀ with Z orthogonal and T quasi-triangular: a 2-by-2 block only
// for a complex pair (positive imaginary part first, the block's own
// eigenvalues), exact zeros elsewhere below the diagonal, the diagonal
// holding each real eigenvalue.
void expect_real_schur_form(const matrix& a, const QrRun& r, int n)
{
    matrix t = r.h;
    for (int j = 0; j < n; ++j)
        for (int i = j + 2; i < n; ++i)
            t[i + std::size_t(j) * n] = 0;
    auto at = [&](int i, int j) { return t[i + std::size_t(j) * n]; };
    matrix ztz = product(r.z, r.z, n, "T");
    for (int i = 0; i < n; ++i)
        ztz[i + std::size_t(i) * n] -= 1;
    EXPECT_LE(norm1(ztz, n), 30 * n * eps);
    matrix zt = product(r.z, t, n), back(std::size_t(n) * n);
    const double one = 1, zero = 0;
    dgemm_("N", "T", &n, &n, &n, &one, zt.data(), &n, r.z.data(), &n, &zero, back.data(), &n, 1, 1);
    for (std::size_t k = 0; k < back.size(); ++k)
        back[k] -= a[k];
    EXPECT_LE(norm1(back, n), 30 * n * eps * norm1(a, n));
    for (int k = 0; k < n; ++k) {
        if (r.wi[k] == 0) {
            EXPECT_EQ(r.wr[k], at(k, k)) << "real eigenvalue " << k;
            if (k > 0 && r.wi[k - 1] <= 0) {
                EXPECT_EQ(at(k, k - 1), 0) << "subdiagonal " << k;
            }
            continue;
        }
        ASSERT_LT(k + 1, n);
        EXPECT_GT(r.wi[k], 0);
        EXPECT_EQ(r.wi[k + 1], -r.wi[k]);
        const double p = (at(k, k) - at(k + 1, k + 1)) / 2;
        // The discriminant in units of the block (one of rounding-level
        // entries would underflow to 0 unscaled).
        const double sc = std::max({std::fabs(p), std::fabs(at(k, k + 1)), std::fabs(at(k + 1, k))});
        EXPECT_LT((p / sc) * (p / sc) + (at(k, k + 1) / sc) * (at(k + 1, k) / sc), 0) << "block " << k;
        EXPECT_NEAR(r.wr[k], at(k + 1, k + 1) + p, 1e3 * eps * norm1(a, n));
        if (k > 0) {
            EXPECT_EQ(at(k, k - 1), 0) << "subdiagonal " << k;
        }
        ++k;
    }
}

// Eigenvalues as a multiset: the largest distance from one list to its
// nearest unused match in the other.
double spectrum_distance(const QrRun& x, const QrRun& y, int n)
{
    std::vector<bool> used(n, false);
    double worst = 0;
    for (int k = 0; k < n; ++k) {
        const std::complex<double> want(x.wr[k], x.wi[k]);
        int best = -1;
        for (int j = 0; j < n; ++j)
            if (!used[j] && (best < 0 || std::abs(std::complex<double>(y.wr[j], y.wi[j]) - want) <
                                             std::abs(std::complex<double>(y.wr[best], y.wi[best]) - want)))
                best = j;
        used[best] = true;
        worst = std::max(worst, std::abs(std::complex<double>(y.wr[best], y.wi[best]) - want));
    }
    return worst;
}

// |A·V - V·D|₁ / (n·eps·|A|₁·|V|₁) for hqr2's packed vectors.
double vector_residual(const matrix& a, const QrRun& r, int n)
{
    using cx = std::complex<double>;
    std::vector<cx> v(std::size_t(n) * n), lambda(n);
    for (int k = 0; k < n; ++k) {
        lambda[k] = {r.wr[k], r.wi[k]};
        for (int i = 0; i < n; ++i) {
            const double re = r.z[i + std::size_t(k) * n];
            if (r.wi[k] > 0)
                v[i + std::size_t(k) * n] = {re, r.z[i + std::size_t(k + 1) * n]};
            else if (r.wi[k] < 0)
                v[i + std::size_t(k) * n] = {r.z[i + std::size_t(k - 1) * n], -re};
            else
                v[i + std::size_t(k) * n] = re;
        }
    }
    double worst = 0, vnorm = 0;
    for (int k = 0; k < n; ++k) {
        double s = 0, c = 0;
        for (int i = 0; i < n; ++i) {
            cx acc = -lambda[k] * v[i + std::size_t(k) * n];
            for (int j = 0; j < n; ++j)
                acc += a[i + std::size_t(j) * n] * v[j + std::size_t(k) * n];
            s += std::abs(acc);
            c += std::abs(v[i + std::size_t(k) * n]);
        }
        worst = std::max(worst, s);
        vnorm = std::max(vnorm, c);
    }
    const double scale = n * eps * norm1(a, n) * vnorm;
    return scale == 0 ? worst : worst / scale;
}

// Every kernel through the multishift iteration (orders 80 to 300) on the
// gallery: the real Schur form and its basis, eigenvectors with small
// residuals, and the same eigenvalues as hqr and as the double-shift
// iteration (within the conditioning's reach; a nilpotent block's
// eigenvalues are only found to eps^(1/n)).
TEST(RealHessenbergQr, MultishiftIterationOnLargeBlocks)
{
    const test::MultishiftEverywhere orders;
    for (int n : {80, 150, 300})
        for (const Structured& s : structured) {
            SCOPED_TRACE(std::string(s.name) + ", n = " + std::to_string(n));
            const matrix a = structured_matrix(s, n);
            const Reduced r(a, n);
            const matrix& h = r.h;
            const QrRun schur = run(kernel::schur, n, h, r.z, r.work());
            ASSERT_EQ(schur.ierr, 0);
            expect_real_schur_form(a, schur, n);
            const QrRun vectors = run(kernel::vectors, n, h, r.z, r.work());
            ASSERT_EQ(vectors.ierr, 0);
            EXPECT_LE(vector_residual(a, vectors, n), 20);
            const QrRun values = run(kernel::values, n, h, {}, r.work());
            const QrRun plain = run(kernel::values, n, h);
            ASSERT_EQ(values.ierr, 0);
            const bool defective = std::string(s.name) == "nilpotent Jordan block";
            const double reach = (defective ? 1e-1 : 1e-8) * norm1(a, n);
            EXPECT_LE(spectrum_distance(values, schur, n), reach);
            EXPECT_LE(spectrum_distance(plain, values, n), reach);
        }
}

// An order whose deflation window (96) takes the multishift iteration
// itself.
TEST(RealHessenbergQr, MultishiftWithinTheDeflationWindow)
{
    const int n = 600;
    const matrix a = structured_matrix(structured[0], n);
    const Reduced r(a, n);
    const QrRun schur = run(kernel::schur, n, r.h, r.z, r.work());
    ASSERT_EQ(schur.ierr, 0);
    expect_real_schur_form(a, schur, n);
}

// The limits and non-finite entries of the multishift iteration: no
// budget leaves every eigenvalue unfound, a NaN or an infinity ends it at
// once, and an eigenvalue isolated outside low..igh is kept.
TEST(RealHessenbergQr, MultishiftLimitsAndRanges)
{
    const test::MultishiftEverywhere orders;
    const int n = 120;
    matrix h = test::dense::random(n, n, 31, false).re;
    for (int j = 0; j < n; ++j)
        for (int i = j + 2; i < n; ++i)
            h[i + std::size_t(j) * n] = 0;
    std::vector<double> work(real_qr_work_size(n));
    {
        BudgetOff off;
        for (kernel k : all_kernels)
            EXPECT_EQ(run(k, n, h, {}, work.data()).ierr, n);
    }
    for (double poison : {qnan, std::numeric_limits<double>::infinity()}) {
        matrix bad = h;
        bad[5 + std::size_t(40) * n] = poison;
        for (kernel k : all_kernels)
            EXPECT_EQ(run(k, n, bad, {}, work.data()).ierr, n);
    }
    // Rows and columns 1 and n already split off, as balancing leaves
    // them: the iteration runs on 2..n-1 and keeps them.
    matrix split = h;
    split[1] = 0;
    split[n - 1 + std::size_t(n - 2) * n] = 0;
    int low = 2, igh = n - 1, ierr = -1;
    std::vector<double> wr(n), wi(n), z = test::dense::identity(n).re, t = split;
    real_schur_qr(&n, &n, &low, &igh, t.data(), wr.data(), wi.data(), z.data(), &ierr, work.data());
    ASSERT_EQ(ierr, 0);
    EXPECT_EQ(wr[0], split[0]);
    EXPECT_EQ(wr[n - 1], split[std::size_t(n) * n - 1]);
    EXPECT_EQ(z[0], 1) << "rows outside low..igh keep the identity";
    QrRun r{t, wr, wi, z, ierr};
    expect_real_schur_form(split, r, n);
}

} // namespace
