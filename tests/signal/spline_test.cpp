// spline and tridiag_solve: the line and parabola forms, sorting, exact
// cubics, not-a-knot splines against scipy, complex data and the messages.
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/spline_reference.inc"

TEST(Spline, SmallForms)
{
    EXPECT_EQ(test::values(spline(test::row({0, 1}), test::row({1, 3}))),
              (std::vector<double>{10, 1, 1, 0, 1, 2, 2, 1}));
    EXPECT_EQ(test::values(spline(test::row({0, 1, 2}), test::row({0, 1, 4}))),
              (std::vector<double>{10, 1, 1, 0, 2, 3, 1, 0, 0}));
    EXPECT_EQ(test::values(spline(test::row({2, 0, 1}), test::row({4, 0, 1}))),
              test::values(spline(test::row({0, 1, 2}), test::row({0, 1, 4}))));
    EXPECT_EQ(test::values(spline(test::real(3, 1, {2, 0, 1}), test::row({4, 0, 1}), Mm(3.0))),
              (std::vector<double>{9}));

    // points on a cubic are reproduced, in and beyond the data
    const Mm x = test::row({-1, 0, 0.5, 2, 3, 4.5});
    Mm y(0, 0, 0, 1, 6, qv_double);
    auto cubic = [](double t) { return 2 * t * t * t - t * t + 3 * t - 5; };
    for (int k = 0; k < 6; ++k)
        y.addr()[k] = cubic(x.addr()[k]);
    const Mm xx = test::row({-2, -0.5, 0.25, 1, 2.5, 4, 5});
    const Mm v = spline(x, y, xx);
    for (int k = 0; k < 7; ++k)
        EXPECT_NEAR(v.addr()[k], cubic(xx.addr()[k]), 1e-11) << k;
}

TEST(Spline, AgainstReference)
{
    for (const auto& c : spline_reference) {
        SCOPED_TRACE(c.n);
        Mm x(0, 0, 0, 1, c.n, qv_double), y(0, 0, 0, 1, c.n, qv_double);
        for (int k = 0; k < c.n; ++k) {
            x.addr()[k] = k + 0.3 * std::sin(2.1 * k);
            y.addr()[k] = std::cos(0.7 * k) + 0.1 * k * k;
        }
        const Mm pp = spline(x, y);
        Mm breaks, coefs, l, order;
        unmkpp(pp, i_o, breaks, coefs, l, order);
        ASSERT_EQ(coefs.size(), int(c.coefs.size()));
        for (std::size_t k = 0; k < c.coefs.size(); ++k)
            EXPECT_NEAR(coefs.addr()[k], c.coefs[k], 1e-12 * (1 + std::fabs(c.coefs[k]))) << k;
        Mm xx(0, 0, 0, 1, int(c.xx.size()), qv_double);
        std::copy(c.xx.begin(), c.xx.end(), xx.addr());
        const Mm v = spline(x, y, xx);
        for (std::size_t k = 0; k < c.values.size(); ++k)
            EXPECT_NEAR(v.addr()[k], c.values[k], 1e-12 * (1 + std::fabs(c.values[k]))) << k;
    }
}

TEST(Spline, ComplexDataByParts)
{
    const Mm x = test::row({0, 1, 2, 3, 4});
    const Mm y = test::complex(1, 5, {1, 0, 2, 5, 3}, {0, -1, 4, 1, 1});
    const Mm xx = test::row({0.5, 2.25, 3.9});
    const Mm v = spline(x, y, xx);
    ASSERT_TRUE(v.isc());
    EXPECT_EQ(test::values(v), test::values(spline(x, test::row({1, 0, 2, 5, 3}), xx)));
    EXPECT_EQ(test::values(imag(v)), test::values(spline(x, test::row({0, -1, 4, 1, 1}), xx)));
    const Mm pp = spline(x, y);
    EXPECT_TRUE(pp.isc());
    EXPECT_ERROR(ppval(pp, xx), "ppval: complex pp encountered");
}

TEST(Spline, Errors)
{
    EXPECT_ERROR(spline(test::row({1, 1, 2}), test::row({1, 2, 3})), "The data abscissae should be distinct.");
    EXPECT_ERROR(spline(Mm(1.0), Mm(1.0)), "There should be at least two data points.");
    EXPECT_ERROR(spline(test::row({1, 2, 3}), test::row({1, 2})),
                 "Abscissa and ordinate vector should be of the same length.");
    EXPECT_ERROR(spline(Mm(1.0)), "spline does not accept 1 input");
}

TEST(TridiagSolve, InterchangesAndSingularSystems)
{
    // [1 2 0; 4 1 1; 0 5 3] x = b, with a row interchange at k = 1
    const Mm x = tridiag_solve(test::row({4, 5}), test::row({1, 1, 3}), test::row({2, 1}),
                               test::real(3, 2, {5, 9, 19, -1, 5, 1}));
    EXPECT_NEAR(x.r(1, 1), 1, 1e-15);
    EXPECT_NEAR(x.r(2, 1), 2, 1e-15);
    EXPECT_NEAR(x.r(3, 1), 3, 1e-15);
    EXPECT_NEAR(x.r(1, 2), 1, 1e-15);
    EXPECT_NEAR(x.r(2, 2), -1, 1e-15);
    EXPECT_NEAR(x.r(3, 2), 2, 1e-15);
    // a zero pivot without a sub-diagonal entry: the right-hand side comes back
    const Mm b = test::real(2, 1, {1, 2});
    EXPECT_EQ(test::values(tridiag_solve(test::row({0}), test::row({0, 1}), test::row({1}), b)),
              (std::vector<double>{1, 2}));
    EXPECT_EQ(test::values(b), (std::vector<double>{1, 2})) << "B is left as it was";
}

} // namespace
