// Left division: square and least-squares systems, shapes and messages.
#include "test_support.hpp"

#include <cmath>
#include <random>
#include <vector>

namespace {

// |A x - b| / (|A| |x| eps) over the max norms.
double scaled_residual(const Mm& a, const Mm& x, const Mm& b)
{
    const int m = a.rows(), n = a.cols(), r = b.cols();
    double res = 0, na = 0, nx = 0;
    for (int c = 0; c < r; ++c)
        for (int i = 0; i < m; ++i) {
            double s = -b.addr()[i + c * m];
            for (int k = 0; k < n; ++k)
                s += a.addr()[i + k * m] * x.addr()[k + c * n];
            res = std::max(res, std::fabs(s));
        }
    for (int k = 0; k < m * n; ++k)
        na = std::max(na, std::fabs(a.addr()[k]));
    for (int k = 0; k < n * r; ++k)
        nx = std::max(nx, std::fabs(x.addr()[k]));
    return res / (na * nx * 0x1p-52 * n);
}

TEST(LeftDivision, SquareSystemsSolveToBackwardAccuracy)
{
    std::mt19937_64 gen(3);
    std::normal_distribution<double> normal;
    for (int n : {1, 2, 5, 40}) {
        SCOPED_TRACE(n);
        Mm a(0, 0, 0, n, n, qv_double), b(0, 0, 0, n, 3, qv_double);
        for (int k = 0; k < n * n; ++k)
            a.addr()[k] = normal(gen);
        for (int k = 0; k < n * 3; ++k)
            b.addr()[k] = normal(gen);
        Mm x = mldivide(a, b);
        ASSERT_EQ(x.rows(), n);
        ASSERT_EQ(x.cols(), 3);
        EXPECT_LT(scaled_residual(a, x, b), 30);
    }
}

TEST(LeftDivision, ShapesAndSpecialOperands)
{
    Mm a = test::real(2, 2, {1, 3, 2, 4});
    EXPECT_ERROR(mldivide(a, test::row({1, 2})), "mldivide: a,b does not have the same number of rows");
    EXPECT_EQ(mldivide(a, Mm()).getnnz(), 0);
    Mm scaled = mldivide(Mm(2.0), test::row({4, 6}));
    EXPECT_EQ(scaled.r(2), 3);
    // Overdetermined: the least-squares line through three points.
    Mm tall = test::real(3, 2, {1, 1, 1, 0, 1, 2});
    Mm fit = mldivide(tall, test::real(3, 1, {1, 2, 4}));
    EXPECT_NEAR(fit.r(1), 5.0 / 6, 1e-14);
    EXPECT_NEAR(fit.r(2), 1.5, 1e-14);
    // Complex: (1+1i) x = 2 gives 1 - 1i.
    Mm z = mldivide(test::complex(2, 2, {1, 0, 0, 1}, {1, 0, 0, 0}), test::real(2, 1, {2, 3}));
    ASSERT_EQ(z.isc(), 1);
    EXPECT_NEAR(z.r(1), 1, 1e-15);
    EXPECT_NEAR(z.i(1), -1, 1e-15);
    EXPECT_NEAR(z.r(2), 3, 1e-15);
}

} // namespace
