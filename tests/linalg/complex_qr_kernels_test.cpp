// comqr, comqr2 and complex_schur_qr: fixed cases, the triangular Schur
// form and its unitary basis, the job codes, and the exceptional shift of a
// 2x2 block that never converges.
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
const double qnan = std::numeric_limits<double>::quiet_NaN();

struct BudgetOff {
    BudgetOff() { eigen_budget_scale = 0; }
    ~BudgetOff() { eigen_budget_scale = 1; }
};

struct Result {
    test::dense h, z;
    std::vector<double> wr, wi;
    int ierr = -1;
};

// corth (after cbal when asked), then the kernel: job -1 is comqr, -2
// comqr2 (with cbabk2 when balanced), 0..3 complex_schur_qr.
Result reduce_and_iterate(const test::dense& a, int job, bool balance = false)
{
    int n = a.rows, low = 1, igh = n;
    Result r{a, test::dense(n, n), std::vector<double>(n, -7), std::vector<double>(n, -7)};
    std::fill(r.z.re.begin(), r.z.re.end(), 7.0);
    std::fill(r.z.im.begin(), r.z.im.end(), 7.0);
    std::vector<double> scale(n), ortr(n, 0.0), orti(n, 0.0);
    if (balance)
        cbal(&n, &n, r.h.re.data(), r.h.im.data(), &low, &igh, scale.data());
    corth(&n, &n, &low, &igh, r.h.re.data(), r.h.im.data(), ortr.data(), orti.data());
    if (job == -1)
        comqr(&n, &n, &low, &igh, r.h.re.data(), r.h.im.data(), r.wr.data(), r.wi.data(), &r.ierr);
    else if (job == -2) {
        comqr2(&n, &n, &low, &igh, ortr.data(), orti.data(), r.h.re.data(), r.h.im.data(), r.wr.data(), r.wi.data(),
               r.z.re.data(), r.z.im.data(), &r.ierr);
        if (balance)
            cbabk2(&n, &n, &low, &igh, scale.data(), &n, r.z.re.data(), r.z.im.data());
    } else
        complex_schur_qr(&n, &n, &low, &igh, ortr.data(), orti.data(), r.h.re.data(), r.h.im.data(), r.wr.data(),
                         r.wi.data(), r.z.re.data(), r.z.im.data(), &job, &r.ierr);
    return r;
}

TEST(ComplexHessenbergQr, OneByOne)
{
    test::dense a(1, 1);
    a.set(0, 0, cx(2, -3));
    for (int job : {-1, -2, 0, 1, 2}) {
        SCOPED_TRACE(job);
        const Result r = reduce_and_iterate(a, job);
        EXPECT_EQ(r.ierr, 0);
        EXPECT_EQ(r.wr[0], 2);
        EXPECT_EQ(r.wi[0], -3);
        if (job == -2 || job >= 1) {
            EXPECT_EQ(r.z.re[0], 1);
            EXPECT_EQ(r.z.im[0], 0);
        }
    }
}

TEST(ComplexHessenbergQr, DiagonalNeedsNoIteration)
{
    BudgetOff off;
    test::dense a(3, 3);
    a.set(0, 0, cx(1, 1));
    a.set(1, 1, cx(-2, 0));
    a.set(2, 2, cx(0, 5));
    for (int job : {-1, -2, 0, 1, 2}) {
        SCOPED_TRACE(job);
        const Result r = reduce_and_iterate(a, job);
        EXPECT_EQ(r.ierr, 0);
        EXPECT_EQ(r.wr, (std::vector<double>{1, -2, 0}));
        EXPECT_EQ(r.wi, (std::vector<double>{1, 0, 5}));
        if (job == -2 || job == 2) {
            EXPECT_EQ(r.z.re, test::dense::identity(3).re);
            EXPECT_EQ(r.z.im, test::dense::identity(3).im);
        }
    }
}

TEST(ComplexHessenbergQr, ZeroFirstColumnKeepsTheFirstUnitVector)
{
    test::dense a = test::dense::random(4, 4, 3, true);
    for (int i = 0; i < 4; ++i)
        a.set(i, 0, 0.0);
    for (bool balance : {false, true}) {
        SCOPED_TRACE(balance);
        const Result r = reduce_and_iterate(a, -2, balance);
        ASSERT_EQ(r.ierr, 0);
        int zero = -1;
        for (int k = 0; k < 4; ++k)
            if (r.wr[k] == 0 && r.wi[k] == 0)
                zero = k;
        ASSERT_GE(zero, 0);
        EXPECT_EQ(std::abs(r.z(0, zero)), 1);
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(std::abs(r.z(i, zero)), 0);
    }
}

TEST(ComplexSchurQr, TriangularFormAndUnitaryBasis)
{
    for (int n : {2, 3, 6, 15}) {
        SCOPED_TRACE(n);
        const test::dense a = test::dense::random(n, n, 200 + n, true);
        Result r = reduce_and_iterate(a, 1);
        ASSERT_EQ(r.ierr, 0);
        for (int j = 0; j < n; ++j)
            for (int i = j + 1; i < n; ++i)
                r.h.set(i, j, 0.0);
        EXPECT_LE(test::departure_from_unitary(r.z), 30 * n * eps);
        const double residual =
            test::difference(test::product(test::product(r.z, r.h), test::adjoint(r.z)), a).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(r.h(k, k).real(), r.wr[k]);
            EXPECT_EQ(r.h(k, k).imag(), r.wi[k]);
        }

        // Job 0: the same eigenvalues, Z untouched.
        const Result values = reduce_and_iterate(a, 0);
        EXPECT_EQ(values.wr, r.wr);
        EXPECT_EQ(values.wi, r.wi);
        EXPECT_EQ(values.z.re, std::vector<double>(n * n, 7.0));
        EXPECT_EQ(values.z.im, std::vector<double>(n * n, 7.0));

        // Job 2 and comqr2: eigenvectors (each scaled so that its last
        // component in the triangular basis is 1, so they may differ by a
        // phase where the iterations rounded differently).
        for (int job : {2, -2}) {
            const Result vectors = reduce_and_iterate(a, job);
            ASSERT_EQ(vectors.ierr, 0);
            for (int k = 0; k < n; ++k) {
                EXPECT_LE(std::abs(cx(vectors.wr[k], vectors.wi[k]) - cx(r.wr[k], r.wi[k])), 1e-12 * a.norm1());
                double res = 0, zn = 0;
                for (int i = 0; i < n; ++i) {
                    cx s = -cx(vectors.wr[k], vectors.wi[k]) * vectors.z(i, k);
                    for (int j = 0; j < n; ++j)
                        s += a(i, j) * vectors.z(j, k);
                    res += std::abs(s);
                    zn += std::abs(vectors.z(i, k));
                }
                EXPECT_LE(res, 20 * n * eps * a.norm1() * zn) << "job " << job << ", vector " << k;
            }
        }
        // comqr agrees up to rounding.
        const Result plain = reduce_and_iterate(a, -1);
        for (int k = 0; k < n; ++k)
            EXPECT_LE(std::abs(cx(plain.wr[k], plain.wi[k]) - cx(r.wr[k], r.wi[k])), 1e-12 * a.norm1());
    }
}

TEST(ComplexHessenbergQr, BlockThatNeverConvergesStopsCleanly)
{
    // A 2x2 block of NaN runs through both exceptional shifts, which must not
    // reach outside the block, and ends with ierr = 2.
    test::dense a(2, 2);
    a.set(0, 0, cx(qnan, 1));
    a.set(1, 0, cx(1, 0));
    a.set(0, 1, cx(2, 0));
    a.set(1, 1, cx(qnan, 0));
    for (int job : {-1, -2, 0, 1, 2}) {
        SCOPED_TRACE(job);
        EXPECT_EQ(reduce_and_iterate(a, job).ierr, 2);
    }
    BudgetOff off;
    const test::dense b = test::dense::random(3, 3, 8, true);
    EXPECT_EQ(reduce_and_iterate(b, -1).ierr, 3);
    EXPECT_EQ(reduce_and_iterate(b, 1).ierr, 3);
}

} // namespace
