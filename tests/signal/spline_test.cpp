// spline and tridiag_solve: the line and parabola forms, sorting, exact
// cubics, not-a-knot splines against scipy, complex data and the messages.
#include "test_support.hpp"

#include <algorithm>
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

// A power of two scales every operation of the spline exactly, so knots
// and values taken by 2^k and 2^j give the unscaled spline's values times
// 2^j to the bit, out to the ends of the doubles (from knots and values
// near 1e308 on, steps and slopes overflowed and every value was NaN), for
// spline's values, its pp form and interp1's spline and cubic methods.
TEST(Spline, KnotsAndValuesAtEveryScale)
{
    const std::vector<double> xs = {-1, -0.5, 0.25, 0.5, 1.5, 1.75, 3};
    const std::vector<double> ys = {1, -1, 1, -0.75, 0.5, -1, 1};
    const std::vector<double> qs = {-1, -0.8, 0, 0.3, 1, 1.6, 2.5, 3, 3.5};
    auto row_scaled = [](const std::vector<double>& v, int e, std::size_t count) {
        Mm r(0, 0, 0, 1, int(count), qv_double);
        for (std::size_t k = 0; k < count; ++k)
            r.addr()[k] = std::ldexp(v[k], e);
        return r;
    };
    for (std::size_t n : {2u, 3u, 7u}) {
        const Mm base = spline(row_scaled(xs, 0, n), row_scaled(ys, 0, n), row_scaled(qs, 0, qs.size()));
        const Mm base_pp = spline(row_scaled(xs, 0, n), row_scaled(ys, 0, n));
        for (int k : {-1000, -600, -1, 0, 600, 1021}) {
            for (int j : {-1060, -900, 0, 900, 1020}) {
                SCOPED_TRACE(std::to_string(n) + " knots, knots by 2^" + std::to_string(k) + ", values by 2^" +
                             std::to_string(j));
                const Mm x = row_scaled(xs, k, n), y = row_scaled(ys, j, n), q = row_scaled(qs, k, qs.size());
                std::vector<double> expected;
                for (double v : test::values(base))
                    expected.push_back(std::ldexp(v, j));
                // Values that would be subnormal keep fewer bits than the
                // unscaled ones.
                const bool exact = j > -1000;
                const std::vector<double> got = test::values(spline(x, y, q));
                const std::vector<double> by_interp1 = test::values(interp1(x, y, q, test::text("spline")));
                const std::vector<double> by_cubic = test::values(interp1(x, y, q, test::text("cubic")));
                ASSERT_EQ(got.size(), expected.size());
                for (std::size_t t = 0; t < expected.size(); ++t) {
                    SCOPED_TRACE(qs[t]);
                    if (exact) {
                        EXPECT_EQ(got[t], expected[t]);
                    } else {
                        EXPECT_NEAR(got[t], expected[t], std::ldexp(1.0, -1074 + 3));
                    }
                    // interp1's spline and cubic methods are the spline,
                    // beyond the knots too.
                    EXPECT_EQ(by_interp1[t], got[t]);
                    EXPECT_EQ(by_cubic[t], got[t]);
                }
                // The pp form in the data's units: its breaks are the knots,
                // its coefficient of (x - break)^p the unscaled one times
                // 2^(j - p k), where that is a normal double.
                Mm breaks, coefs, l, order;
                unmkpp(spline(x, y), i_o, breaks, coefs, l, order);
                Mm base_breaks, base_coefs, base_l, base_order;
                unmkpp(base_pp, i_o, base_breaks, base_coefs, base_l, base_order);
                EXPECT_EQ(test::values(breaks),
                          test::values(row_scaled(test::values(base_breaks), k, std::size_t(base_breaks.size()))));
                const int pieces = int(l.r()), terms = int(order.r());
                ASSERT_EQ(coefs.size(), base_coefs.size());
                for (int t = 0; t < terms; ++t) {
                    const int p = terms - 1 - t;
                    for (int i = 0; i < pieces; ++i) {
                        const double want = std::ldexp(base_coefs.addr()[i + t * pieces], j - p * k);
                        if (want == 0 || std::fabs(want) >= 0x1p-1022) {
                            EXPECT_EQ(coefs.addr()[i + t * pieces], want) << "power " << p << ", piece " << i;
                        }
                    }
                }
            }
        }
    }
}

// Four values at the largest doubles: the not-a-knot spline through four
// points is the cubic through them, -1e308, 0 and 1e308 halfway between
// (by hand, from its differences); it was NaN.
TEST(Spline, ValuesNearTheLargestDouble)
{
    const Mm x = test::row({0, 1, 2, 3}), y = test::row({1e308, -1e308, 1e308, -1e308});
    const Mm q = test::row({0.5, 1.5, 2.5});
    const std::vector<double> expected = {-1e308, 0, 1e308};
    for (const Mm& v : {spline(x, y, q), interp1(x, y, q, test::text("spline")), interp1(x, y, q, test::text("cubic"))}) {
        const std::vector<double> got = test::values(v);
        ASSERT_EQ(got.size(), 3u);
        for (int t = 0; t < 3; ++t)
            EXPECT_NEAR(got[t], expected[t], 1e-15 * 1e308) << t;
    }
}

// Values many decades apart in one spline (1e-300 beside 1e300, a
// subnormal one): in the units of the largest value the small ones vanish,
// yet the spline passes through every knot. At each knot but the last (the
// end of the last piece, reached through its cubic) the spline and
// interp1's spline give the knot's value itself, and the pp form's constant
// terms are the values; complex values at 2^1000 give 2^1000 times the
// spline of the unscaled ones, part by part.
TEST(Spline, ValuesManyDecadesApart)
{
    const Mm x = test::row({0, 1, 2.5, 3, 4, 5.5, 6});
    const std::vector<std::vector<double>> tables = {
        {1, 1e-300, 1e300, -3e-310, 5, 1e-200, 7},
        {-1e308, 1e-308, 0x1p-1074, 1.7e308, -2, 1e-300, 1},
        {0x1p-1074, 1e300, 0, -1e-300, 1e-320, 1e300, 1},
    };
    for (const std::vector<double>& t : tables) {
        SCOPED_TRACE(t[0]);
        Mm y(0, 0, 0, 1, 7, qv_double);
        std::copy(t.begin(), t.end(), y.addr());
        const Mm inner = Mm(x(colon(1.0, 6.0)));
        const std::vector<double> want(t.begin(), t.end() - 1);
        EXPECT_EQ(test::values(spline(x, y, inner)), want);
        EXPECT_EQ(test::values(interp1(x, y, inner, test::text("spline"))), want);
        Mm breaks, coefs, l, order;
        unmkpp(spline(x, y), i_o, breaks, coefs, l, order);
        ASSERT_EQ(coefs.size(), 24);
        EXPECT_EQ(std::vector<double>(coefs.addr() + 18, coefs.addr() + 24), want);
        // Where the pp form holds its coefficients (near the largest
        // double some overflow), ppval gives the values at the knots too.
        if (std::all_of(coefs.addr(), coefs.addr() + 24, [](double c) { return std::isfinite(c); })) {
            EXPECT_EQ(test::values(ppval(spline(x, y), inner)), want);
        }
    }
    const Mm q = test::row({-1, 0, 0.5, 2.5, 2.75, 6, 7});
    const Mm small = test::complex(1, 7, {1, -2, 0.5, 3, -1, 2, 0.25}, {0, 1, -3, 0.5, 2, -1, 1});
    const Mm large = times(small, Mm(0x1p1000));
    const Mm base = spline(x, small, q), got = spline(x, large, q);
    ASSERT_TRUE(got.isc());
    for (int k = 0; k < q.size(); ++k) {
        SCOPED_TRACE(q.addr()[k]);
        EXPECT_EQ(got.addr()[k], std::ldexp(base.addr()[k], 1000));
        EXPECT_EQ(got.addi()[k], std::ldexp(base.addi()[k], 1000));
    }
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
