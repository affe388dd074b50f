// htridi, imtql1, imtql2 and htribk: fixed cases, the ascending order and
// its stability, and the back-transformed vectors of random Hermitian
// matrices.
#include "dense_matrix.hpp"
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using cx = std::complex<double>;
const double eps = std::numeric_limits<double>::epsilon();

struct Reduction {
    test::dense a;
    std::vector<double> d, e, e2, tau;
    std::vector<double> work; // htridi's, then htribk's
};

Reduction tridiagonalise(const test::dense& a)
{
    int n = a.rows;
    Reduction r{a, std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
                std::vector<double>(2 * n), {}};
    r.work.resize(4 * std::size_t(n));
    htridi(&n, &n, r.a.re.data(), r.a.im.data(), r.d.data(), r.e.data(), r.e2.data(), r.tau.data(), r.work.data());
    return r;
}

TEST(Htridi, OneByOne)
{
    test::dense a(1, 1);
    a.set(0, 0, 4.5);
    Reduction r = tridiagonalise(a);
    EXPECT_EQ(r.d, std::vector<double>{4.5});
    EXPECT_EQ(r.e, std::vector<double>{0});
    EXPECT_EQ(r.e2, std::vector<double>{0});
    EXPECT_EQ(r.tau, (std::vector<double>{1, 0}));
    int n = 1, ierr = -1;
    std::vector<double> d = r.d, e = r.e, z = {1};
    imtql1(&n, d.data(), e.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(d, std::vector<double>{4.5});
    imtql2(&n, &n, d.data(), e.data(), z.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    std::vector<double> zi = {9};
    htribk(&n, &n, r.a.re.data(), r.a.im.data(), r.tau.data(), &n, z.data(), zi.data(), r.work.data());
    EXPECT_EQ(z, std::vector<double>{1});
    EXPECT_EQ(zi, std::vector<double>{0});
}

TEST(ImplicitQl, TwoByTwo)
{
    int n = 2, ierr = -1;
    test::dense a(2, 2);
    a.re = {2, 1, 1, 2};
    Reduction r = tridiagonalise(a);
    std::vector<double> d = r.d, e = r.e, z = test::dense::identity(2).re, zi(4);
    imtql2(&n, &n, d.data(), e.data(), z.data(), &ierr);
    ASSERT_EQ(ierr, 0);
    EXPECT_NEAR(d[0], 1, 4 * eps);
    EXPECT_NEAR(d[1], 3, 4 * eps);
    htribk(&n, &n, r.a.re.data(), r.a.im.data(), r.tau.data(), &n, z.data(), zi.data(), r.work.data());
    const double h = std::sqrt(0.5);
    EXPECT_NEAR(std::fabs(z[0]), h, 4 * eps);
    EXPECT_NEAR(z[1], -z[0], 4 * eps) << "(1, -1) for the eigenvalue 1";
    EXPECT_NEAR(std::fabs(z[2]), h, 4 * eps);
    EXPECT_NEAR(z[3], z[2], 4 * eps) << "(1, 1) for the eigenvalue 3";
    EXPECT_EQ(zi, std::vector<double>(4, 0.0));

    std::vector<double> d1 = r.d, e1 = r.e;
    imtql1(&n, d1.data(), e1.data(), &ierr);
    EXPECT_NEAR(d1[0], 1, 4 * eps);
    EXPECT_NEAR(d1[1], 3, 4 * eps);
}

TEST(ImplicitQl, DiagonalIsSortedStably)
{
    struct Case {
        std::vector<double> diagonal, sorted;
        std::vector<int> source;  // column k of z is unit vector source[k]
    };
    const std::vector<Case> cases = {
        {{3, 1, 2}, {1, 2, 3}, {1, 2, 0}},
        {{2, 1, 2}, {1, 2, 2}, {1, 0, 2}},
        {{5, 5, 5, 1}, {1, 5, 5, 5}, {3, 1, 2, 0}},
    };
    for (const auto& c : cases) {
        int n = int(c.diagonal.size()), ierr = -1;
        SCOPED_TRACE(n);
        std::vector<double> d = c.diagonal, e(n, 0.0), z = test::dense::identity(n).re;
        imtql2(&n, &n, d.data(), e.data(), z.data(), &ierr);
        EXPECT_EQ(ierr, 0);
        EXPECT_EQ(d, c.sorted);
        for (int k = 0; k < n; ++k)
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(z[i + n * k], i == c.source[k] ? 1 : 0) << i << ", " << k;
        std::vector<double> d1 = c.diagonal, e1(n, 0.0);
        imtql1(&n, d1.data(), e1.data(), &ierr);
        EXPECT_EQ(d1, c.sorted);
    }
}

TEST(HermitianKernels, RandomHermitianMatrices)
{
    for (bool complex : {false, true})
        for (int n : {2, 3, 7, 16}) {
            SCOPED_TRACE(std::to_string(n) + (complex ? " complex" : " real"));
            test::dense a = test::dense::random(n, n, 300 + n, complex);
            a = test::difference(a, test::dense(n, n));
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    if (i == j)
                        a.set(i, j, a(i, j).real());
                    else if (i < j)
                        a.set(i, j, std::conj(a(j, i)));
            // Only the lower triangle is read.
            test::dense lower = a;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < j; ++i)
                    lower.set(i, j, cx(99, 99));
            Reduction r = tridiagonalise(lower);
            std::vector<double> d = r.d, e = r.e;
            test::dense z = test::dense::identity(n);
            int ierr = -1;
            imtql2(&n, &n, d.data(), e.data(), z.re.data(), &ierr);
            ASSERT_EQ(ierr, 0);
            htribk(&n, &n, r.a.re.data(), r.a.im.data(), r.tau.data(), &n, z.re.data(), z.im.data(), r.work.data());
            for (int k = 1; k < n; ++k)
                EXPECT_LE(d[k - 1], d[k]);
            EXPECT_LE(test::departure_from_unitary(z), 20 * n * eps);
            test::dense lambda(n, n);
            for (int k = 0; k < n; ++k)
                lambda.set(k, k, d[k]);
            const double residual = test::difference(test::product(a, z), test::product(z, lambda)).norm1();
            EXPECT_LE(residual, 20 * n * eps * a.norm1());

            std::vector<double> d1 = r.d, e1 = r.e;
            imtql1(&n, d1.data(), e1.data(), &ierr);
            for (int k = 0; k < n; ++k)
                EXPECT_NEAR(d1[k], d[k], 1e-13 * a.norm1());
        }
}

TEST(ImplicitQl, BudgetSeamStopsAtTheFirstEigenvalue)
{
    const int saved = eigen_budget_scale;
    eigen_budget_scale = 0;
    int n = 3, ierr = -1;
    std::vector<double> d = {2, 2, 2}, e = {0, 1, 1}, z = test::dense::identity(3).re;
    imtql1(&n, d.data(), e.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    std::vector<double> d2 = {2, 2, 2}, e2 = {0, 1, 1};
    imtql2(&n, &n, d2.data(), e2.data(), z.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    eigen_budget_scale = saved;
}

// The tridiagonal matrices of known spectrum: the second difference
// [-1 2 -1] of order n has eigenvalues 2 - 2cos(kπ/(n+1)) and eigenvectors
// sin(jkπ/(n+1)); scaled by 2^s, and with couplings of alternating sign (a
// similarity by diag(±1)). QL and the bisection it falls back on
// give every eigenvalue within 4·sqrt(n) ulps of the largest, and
// orthonormal vectors with small residuals, from n = 1 to past 1000.
TEST(TridiagonalEigen, SecondDifferenceByQlAndBisection)
{
    for (int n : {1, 2, 3, 10, 100, 1100}) {
        for (int scale : {0, -600, 600}) {
            for (bool alternating : {false, true}) {
                if (n > 100 && (scale != 0 || alternating))
                    continue;  // the scales and signs are seen at the smaller orders
                SCOPED_TRACE("n = " + std::to_string(n) + ", 2^" + std::to_string(scale) +
                             (alternating ? ", alternating signs" : ""));
                const double s = std::ldexp(1.0, scale);
                // d, e as htridi leaves them: e(1) = 0, e(i) couples i-1 and i.
                std::vector<double> d(n, 2 * s), e(n, -s);
                e[0] = 0;
                if (alternating)
                    for (int i = 1; i < n; ++i)
                        e[i] = i % 2 ? s : -s;
                std::vector<double> want(n);
                for (int k = 0; k < n; ++k)
                    want[k] = s * (2 - 2 * std::cos((k + 1) * M_PI / (n + 1)));
                const double top = s * 4;
                for (int method = 0; method < 4; ++method) {
                    const char* const names[] = {"imtql1", "imtql2", "bisection", "bisection with vectors"};
                    SCOPED_TRACE(names[method]);
                    std::vector<double> dd = d, ee = e, z(std::size_t(n) * n, 0.0);
                    for (int k = 0; k < n; ++k)
                        z[k + std::size_t(k) * n] = 1;
                    int nn = n, ierr = 0;
                    if (method == 0)
                        imtql1(&nn, dd.data(), ee.data(), &ierr);
                    else if (method == 1)
                        imtql2(&nn, &nn, dd.data(), ee.data(), z.data(), &ierr);
                    else
                        tridiagonal_bisection(&nn, &nn, dd.data(), ee.data(), method == 3 ? z.data() : nullptr);
                    ASSERT_EQ(ierr, 0);
                    double worst = 0;
                    for (int k = 0; k < n; ++k)
                        worst = std::max(worst, std::fabs(dd[k] - want[k]));
                    EXPECT_LE(worst, 4 * std::sqrt(double(n)) * eps * top);
                    if (method != 1 && method != 3)
                        continue;
                    // |T z_k - λ_k z_k| and |zᵀz - I|, over n eps.
                    double residual = 0, orthogonality = 0;
                    for (int k = 0; k < n; ++k) {
                        const double* v = &z[std::size_t(k) * n];
                        for (int i = 0; i < n; ++i) {
                            double t = d[i] * v[i] - dd[k] * v[i];
                            if (i > 0)
                                t += e[i] * v[i - 1];
                            if (i + 1 < n)
                                t += e[i + 1] * v[i + 1];
                            residual = std::max(residual, std::fabs(t) / top);
                        }
                    }
                    if (n <= 100)
                        for (int k = 0; k < n; ++k)
                            for (int j = 0; j < n; ++j) {
                                double g = k == j ? -1 : 0;
                                for (int i = 0; i < n; ++i)
                                    g += z[i + std::size_t(k) * n] * z[i + std::size_t(j) * n];
                                orthogonality = std::max(orthogonality, std::fabs(g));
                            }
                    EXPECT_LE(residual, 20 * n * eps);
                    EXPECT_LE(orthogonality, 20 * n * eps);
                }
            }
        }
    }
}

} // namespace

namespace {

// Bisection on a tridiagonal matrix with an entry that is not finite: its
// intervals reach Inf or are judged by NaN counts and never narrowed (eig
// of a symmetric matrix with an Inf entry never returned). Every value and
// vector element is NaN.
TEST(TridiagonalBisection, EntriesThatAreNotFiniteGiveNaN)
{
    const double inf = std::numeric_limits<double>::infinity(), qnan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        std::vector<double> d, e;  // e(1) unused, e(i) couples i-1 and i
    };
    const std::vector<Case> cases = {
        {"Inf on the diagonal", {1, inf, 3}, {0, 1, 1}},
        {"-Inf coupling", {1, 2, 3}, {0, -inf, 1}},
        {"Inf coupling last", {1, 2, 3, 4}, {0, 1, 0.5, inf}},
        {"NaN on the diagonal", {qnan, 2}, {0, 1}},
        {"NaN coupling", {1, 2}, {0, qnan}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = int(c.d.size());
        for (bool vectors : {false, true}) {
            std::vector<double> d = c.d, z(std::size_t(n) * n, 7.0);
            tridiagonal_bisection(&n, &n, d.data(), c.e.data(), vectors ? z.data() : nullptr);
            for (double v : d)
                EXPECT_TRUE(std::isnan(v));
            for (double v : z)
                EXPECT_TRUE(vectors ? std::isnan(v) : v == 7.0);
        }
    }
}

} // namespace
