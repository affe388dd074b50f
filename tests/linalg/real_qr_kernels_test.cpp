// hqr, hqr2 and real_schur_qr: small fixed cases, the real Schur form and
// its basis, pair order, and the iteration limits.
#include "dense_matrix.hpp"
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
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

QrRun run(kernel k, int n, std::vector<double> h, std::vector<double> z = {})
{
    QrRun r{std::move(h), std::vector<double>(n, -7), std::vector<double>(n, -7), std::move(z), -1};
    if (r.z.empty())
        r.z = test::dense::identity(n).re;
    const int low = 1, igh = n;
    switch (k) {
    case kernel::values:
        hqr(&n, &n, &low, &igh, r.h.data(), r.wr.data(), r.wi.data(), &r.ierr);
        break;
    case kernel::vectors:
        hqr2(&n, &n, &low, &igh, r.h.data(), r.wr.data(), r.wi.data(), r.z.data(), &r.ierr);
        break;
    case kernel::schur:
        real_schur_qr(&n, &n, &low, &igh, r.h.data(), r.wr.data(), r.wi.data(), r.z.data(), &r.ierr);
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

} // namespace
