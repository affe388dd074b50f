// polyval, polyvalm, poly, roots and polyder: values, shapes, the real and
// complex paths, the messages, and roots against extended-precision roots.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <complex>
#include <string>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"
#include "data/roots_reference.inc"
#include "data/polyfit_reference.inc"

TEST(Polyval, Values)
{
    EXPECT_EQ(test::values(polyval(test::row({1, 2, 3}), Mm(2.0))), (std::vector<double>{11}));
    const Mm m = polyval(test::row({1, 2, 3}), test::real(2, 2, {1, 3, 2, 4}));
    EXPECT_EQ(test::extents(m), (std::vector<int>{2, 2}));
    EXPECT_EQ(test::values(m), (std::vector<double>{6, 18, 11, 27}));
    EXPECT_EQ(test::values(polyval(Mm(), test::row({1, 2}))), (std::vector<double>{0, 0}));
    EXPECT_EQ(test::values(polyval(Mm(), Mm(3.0))), (std::vector<double>{0}));
    EXPECT_EQ(test::values(polyval(test::real(3, 1, {1, 0, -1}), test::row({2, 3}))), (std::vector<double>{3, 8}));
    // Points are evaluated several at a time: counts around that group give
    // the plain Horner values, bit for bit.
    const Mm c = test::row({0.3, -1.7, 2.9, 0.1, -0.45});
    for (int count : {1, 7, 8, 9, 17}) {
        SCOPED_TRACE(count);
        Mm x(0, 0, 0, 1, count, qv_double);
        std::vector<double> horner(count);
        for (int e = 0; e < count; ++e) {
            const double t = x.addr()[e] = std::sin(e + 0.5) * 3;
            double v = 0;
            for (int k = 0; k < c.size(); ++k)
                v = t * v + c.addr()[k];
            horner[e] = v;
        }
        EXPECT_EQ(test::values(polyval(c, x)), horner);
    }
    // complex points and coefficients go through the element-wise operators
    const Mm z = polyval(test::row({1, 0, 1}), test::complex(1, 1, {0}, {1}));
    EXPECT_EQ(test::values(z), (std::vector<double>{0}));
    const Mm w = polyval(test::complex(1, 2, {1, 0}, {0, 1}), test::row({2, 3}));
    EXPECT_EQ(test::values(w), (std::vector<double>{2, 3}));
    EXPECT_EQ(test::values(imag(w)), (std::vector<double>{1, 1}));
    EXPECT_ERROR(polyval(Mm(1.0)), "polyval does not accept 1 input");
}

// No points give no values. Every empty value of the library is 0 x 0, so
// the 0 x 3 points of zeros(0, 3) come out 0 x 0.
TEST(Polyval, EmptyPoints)
{
    struct Case {
        const char* what;
        Mm p, x;
    };
    const std::vector<Case> cases = {
        {"zeros(0, 3)", test::row({1, 2, 3}), zeros(Mm(0.0), Mm(3.0))},
        {"zeros(3, 0)", test::row({1, 2, 3}), zeros(Mm(3.0), Mm(0.0))},
        {"empty p", Mm(), zeros(Mm(0.0), Mm(3.0))},
        {"complex p", test::complex(1, 2, {1, 0}, {0, 1}), zeros(Mm(0.0), Mm(3.0))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.x), (std::vector<int>{0, 0}));
        const Mm y = polyval(c.p, c.x);
        EXPECT_EQ(test::extents(y), (std::vector<int>{0, 0}));
    }
}

TEST(Polyvalm, ValuesAndMessages)
{
    EXPECT_EQ(test::values(polyvalm(test::row({1, 0, 0}), test::real(2, 2, {1, 3, 2, 4}))),
              (std::vector<double>{7, 15, 10, 22}));
    EXPECT_EQ(test::values(polyvalm(test::row({1, 1}), test::real(2, 2, {1, 3, 2, 4}))),
              (std::vector<double>{2, 3, 2, 5}));
    EXPECT_ERROR(polyvalm(test::row({1, 2}), Mm(test::counting({2, 3}))),
                 "polyvalm: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(polyvalm(test::row({1, 2}), test::counting({2, 2, 2})),
                 "polyvalm: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(polyvalm(Mm(1.0)), "polyvalm does not accept 1 input");
}

TEST(Poly, FromRootsAndMatrices)
{
    EXPECT_EQ(test::values(poly(test::row({1, 2}))), (std::vector<double>{1, -3, 2}));
    EXPECT_EQ(test::values(poly(Mm())), (std::vector<double>{1}));
    EXPECT_EQ(test::values(poly(test::row({1, INFINITY, 2}))), (std::vector<double>{1, -3, 2}));
    EXPECT_EQ(test::extents(poly(test::real(3, 1, {1, 2, 3}))), (std::vector<int>{1, 4}));

    const Mm c = poly(test::real(2, 2, {1, 3, 2, 4}));
    EXPECT_FALSE(c.isc());
    ASSERT_EQ(c.size(), 3);
    EXPECT_NEAR(c.addr()[0], 1, 1e-15);
    EXPECT_NEAR(c.addr()[1], -5, 1e-14);
    EXPECT_NEAR(c.addr()[2], -2, 1e-14);

    const Mm conj = poly(test::complex(1, 2, {0, 0}, {1, -1}));
    EXPECT_FALSE(conj.isc()) << "imaginary parts below eps vanish";
    EXPECT_EQ(test::values(conj), (std::vector<double>{1, 0, 1}));
    const Mm stays = poly(test::complex(1, 2, {0, 2}, {1, 0}));
    ASSERT_TRUE(stays.isc());
    EXPECT_EQ(test::values(stays), (std::vector<double>{1, -2, 0}));
    EXPECT_EQ(test::values(imag(stays)), (std::vector<double>{0, -1, 2}));
}

// A real matrix has a real characteristic polynomial, whatever the
// rounding leaves in the imaginary parts of its complex eigenvalues
// (numpy.poly).
TEST(Poly, RealMatrixGivesRealRow)
{
    struct Case {
        const char* what;
        Mm x;
        std::vector<double> c;
    };
    const std::vector<Case> cases = {
        {"companion of (s + 2)(s^2 + 2 s + 2)", test::real(3, 3, {-4, 1, 0, -6, 0, 1, -4, 0, 0}),
         test::listed(poly_companion)},
        {"five by five, two complex pairs",
         test::real(5, 5, {0.5, 1, 0, 2, -1, -2, 0.25, 3, 0, 1, 1, -1, -0.5, 1, 0, 0, 2, 1, 1.5, 2, 3, 0, 1, -2, 0.75}),
         test::listed(poly_five)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm p = poly(c.x);
        EXPECT_EQ(test::extents(p), (std::vector<int>{1, int(c.c.size())}));
        test::expect_matches(p, c.c, 64 * 2.220446049250313e-16 * test::finite_scale(c.c));
    }
}

TEST(Roots, SmallCases)
{
    const Mm r = roots(test::row({1, -3, 2}));
    ASSERT_EQ(r.size(), 2);
    EXPECT_EQ(test::extents(r), (std::vector<int>{2, 1}));
    std::vector<double> v = test::values(r);
    std::sort(v.begin(), v.end());
    EXPECT_NEAR(v[0], 1, 1e-15);
    EXPECT_NEAR(v[1], 2, 1e-15);
    EXPECT_EQ(test::values(roots(test::row({1, 0, 0}))), (std::vector<double>{0, 0}));
    EXPECT_EQ(test::values(roots(test::row({0, 0, 1, -1}))), (std::vector<double>{1}));
    EXPECT_EQ(test::values(roots(test::row({2, 0, -8, 0}))).size(), 3u);
    EXPECT_EQ(roots(Mm(5.0)).size(), 0);
    EXPECT_EQ(roots(Mm()).size(), 0);
    EXPECT_EQ(roots(test::row({0, 0, 0})).size(), 0);

    Mm M(test::real(2, 2, {1, 3, 2, 4}), "M");
    EXPECT_ERROR(roots(M), "roots: M is not a vector");
    EXPECT_ERROR(roots(test::real(2, 2, {1, 3, 2, 4})), "roots: (temporary) is not a vector");
}

TEST(Roots, AgainstReference)
{
    for (const auto& c : roots_reference) {
        SCOPED_TRACE(c.p.size());
        Mm p(0, 0, 0, 1, int(c.p.size()), qv_double);
        std::copy(c.p.begin(), c.p.end(), p.addr());
        const Mm r = roots(p);
        ASSERT_EQ(r.size(), int(c.re.size()));
        for (std::size_t k = 0; k < c.re.size(); ++k) {
            const std::complex<double> want(c.re[k], c.im[k]);
            double nearest = INFINITY;
            for (int j = 0; j < r.size(); ++j)
                nearest = std::min(nearest, std::abs(std::complex<double>(r.addr()[j], r.addi() ? r.addi()[j] : 0) - want));
            EXPECT_LE(nearest, 1e-9 * std::max(1.0, std::abs(want))) << want;
        }
    }
}

// Coefficients far from 1 whose plain ratios overflow or vanish: the roots
// still come out where they are finite, compared with the closed forms
// (a root pair (-1 +- i sqrt(3)) / 2 times a scale, the cube roots of -c).
TEST(Roots, ExtremeCoefficients)
{
    const double h = std::sqrt(3.0) / 2;
    struct Case {
        const char* what;
        Mm p;
        std::vector<std::complex<double>> want;
    };
    const std::vector<Case> cases = {
        {"roots([1e-200 1 1e200])", test::row({1e-200, 1, 1e200}), {{-0.5e200, h * 1e200}, {-0.5e200, -h * 1e200}}},
        {"roots([1e200 1 1e-200])", test::row({1e200, 1, 1e-200}),
         {{-0.5e-200, h * 1e-200}, {-0.5e-200, -h * 1e-200}}},
        {"cube roots of -1e-600", test::row({1e300, 0, 0, 1e-300}),
         {{-1e-200, 0}, {0.5e-200, h * 1e-200}, {0.5e-200, -h * 1e-200}}},
        {"complex leading coefficient", test::complex(1, 3, {0, 1, 0}, {1e-250, 0, 1e250}),
         // i 1e-250 x^2 + x + i 1e250 = 0, i.e. x^2 - i 1e250 x + 1e500 = 0
         {{0, 1e250 * (1 + std::sqrt(5.0)) / 2}, {0, 1e250 * (1 - std::sqrt(5.0)) / 2}}},
        // A tiny leading coefficient: the companion matrix is graded, and
        // its QR iteration must not split off the huge root too early
        // (numpy's roots).
        {"roots([1e-22 1 -3 2])", test::row({1e-22, 1, -3, 2}), {{-1e22, 0}, {2, 0}, {1, 0}}},
        {"roots([1e-32 1 1])", test::row({1e-32, 1, 1}), {{-1e32, 0}, {-1, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm r = roots(c.p);
        ASSERT_EQ(r.size(), int(c.want.size()));
        for (const auto& w : c.want) {
            double nearest = INFINITY;
            for (int j = 0; j < r.size(); ++j)
                nearest = std::min(nearest, std::abs(std::complex<double>(r.addr()[j], r.addi() ? r.addi()[j] : 0) - w));
            EXPECT_LE(nearest, 1e-14 * std::abs(w)) << w;
        }
    }
}

TEST(Roots, NonFiniteCoefficients)
{
    const double inf = INFINITY, nan = NAN;
    const std::vector<Mm> cases = {
        test::row({1, inf, 2}), test::row({1, nan, 2}), test::row({-inf, 1}), test::row({0, 0, 1, nan}),
        test::complex(1, 2, {1, 1}, {0, inf}),
    };
    for (const auto& p : cases)
        EXPECT_ERROR(roots(p), "roots: the coefficients must be finite");
    // both roots overflow: no silent Inf or zero in their place
    EXPECT_ERROR(roots(test::row({1e-310, 1, 1e-310})), "roots: the roots lie beyond the range of doubles");
}

TEST(Polyder, Forms)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
    };
    Mm q, d, q2, d2;
    polyder(Mm(1.0), test::row({1, 1}), i_o, q, d);
    polyder(test::row({1, 2, 3}), i_o, q2, d2);
    const std::vector<Case> cases = {
        {"derivative", polyder(test::row({1, 2, 3})), {2, 2}},
        {"constant", polyder(Mm(5.0)), {0}},
        {"empty", polyder(Mm()), {0}},
        {"product", polyder(test::row({1, 0}), test::row({1, 1})), {2, 1}},
        {"leading zeros stripped", polyder(test::row({0, 0, 3, 1})), {3}},
        {"leading zeros of a higher degree", polyder(test::row({0, 1, 3, 1})), {2, 3}},
        {"all zero", polyder(test::row({0, 0, 7})), {0}},
        {"quotient numerator", q, {-1}},
        {"quotient denominator", d, {1, 2, 1}},
        {"one-polynomial quotient", q2, {2, 2}},
        {"its denominator", d2, {1}},
        {"column input", polyder(test::real(3, 1, {1, 2, 3})), {2, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(c.result), c.values);
    }
    EXPECT_EQ(test::values(strip_leading_zeros(test::row({0, 0, 1, 0}))), (std::vector<double>{1, 0}));
    EXPECT_EQ(test::values(strip_leading_zeros(test::complex(1, 2, {0, 1}, {1, 0}))), (std::vector<double>{0, 1}));
}

TEST(Polyfit, FitsAndFitData)
{
    Mm p, S;
    polyfit(test::row({0, 1, 2}), test::row({1, 3, 5}), Mm(1.0), i_o, p, S);
    ASSERT_EQ(p.size(), 2);
    EXPECT_EQ(test::extents(p), (std::vector<int>{1, 2}));
    EXPECT_NEAR(p.addr()[0], 2, 1e-14);
    EXPECT_NEAR(p.addr()[1], 1, 1e-14);
    ASSERT_EQ(S.getnfields(), 3);
    EXPECT_STREQ(S.getfield(0), "R");
    EXPECT_STREQ(S.getfield(1), "df");
    EXPECT_STREQ(S.getfield(2), "normr");
    EXPECT_EQ(Mm(S.member("df")).r(), 1);
    EXPECT_LT(Mm(S.member("normr")).r(), 1e-12);
    EXPECT_EQ(test::extents(Mm(S.member("R"))), (std::vector<int>{2, 2}));

    // degree 0 fits the mean; a negative degree too, with df = m - deg - 1
    const Mm y = test::row({1, 2, 6});
    EXPECT_NEAR(polyfit(test::row({0, 1, 2}), y, Mm(0.0)).r(), 3, 1e-15);
    polyfit(test::row({0, 1, 2}), y, Mm(-1.5), i_o, p, S);
    EXPECT_NEAR(p.r(), 3, 1e-15);
    EXPECT_EQ(Mm(S.member("df")).r(), 4);
    // 1.5 is taken as 2: three points, an exact parabola
    EXPECT_EQ(polyfit(test::row({0, 1, 2}), y, Mm(1.5)).size(), 3);

    for (const auto& c : polyfit_reference) {
        SCOPED_TRACE(c.degree);
        Mm x(0, 0, 0, 15, 1, qv_double), yy(0, 0, 0, 1, 15, qv_double);
        for (int k = 0; k < 15; ++k) {
            x.addr()[k] = 0.25 * k - 1;
            yy.addr()[k] = std::exp(0.3 * x.addr()[k]) + 0.05 * std::sin(7.0 * k);
        }
        polyfit(x, yy, Mm(double(c.degree)), i_o, p, S);
        ASSERT_EQ(p.size(), int(c.p.size()));
        EXPECT_FALSE(p.isc()) << "x holds negative numbers";
        for (std::size_t k = 0; k < c.p.size(); ++k)
            EXPECT_NEAR(p.addr()[k], c.p[k], 1e-9 * (1 + std::fabs(c.p[k]))) << k;
        EXPECT_NEAR(Mm(S.member("normr")).r(), c.normr, 1e-9);
    }

    EXPECT_ERROR(polyfit(test::row({1, 2, 3}), test::row({1, 2}), Mm(1.0)), "polyfit: x and y must be same size");
    EXPECT_ERROR(polyfit(Mm(1.0)), "polyfit does not accept 1 input");
    EXPECT_ERROR(polyfit(Mm(1.0), Mm(1.0)), "polyfit does not accept 2 inputs");
    // A degree with an imaginary part was read as its real part, without a
    // word; the outputs stay as they were.
    const Mm xs = test::row({0, 1, 2, 3}), ys = test::row({1, 3, 5, 8});
    for (const Mm& n : {test::complex(1, 1, {1}, {1}), test::complex(1, 1, {0}, {2}), sparse(test::complex(1, 1, {2}, {1}))}) {
        Mm pk = Mm(7.0), Sk = Mm(7.0);
        EXPECT_ERROR(polyfit(xs, ys, n, i_o, pk, Sk), "polyfit: n must be real");
        EXPECT_EQ(test::values(pk), std::vector<double>{7}) << "outputs untouched";
        EXPECT_EQ(test::values(Sk), std::vector<double>{7}) << "outputs untouched";
    }
    EXPECT_EQ(test::values(polyfit(xs, ys, test::complex(1, 1, {1}, {0}))), test::values(polyfit(xs, ys, Mm(1.0))))
        << "an imaginary part of 0 is the real degree";
}

// The fit is linear in y: y taken by 2^j gives the coefficients and the
// residual norm times 2^j, out to values near the largest double, where
// Q'y overflowed and the fit was NaN (numpy's polyfit gives [3.5e307
// 7e307] for the first call, as by hand).
TEST(Polyfit, ValuesAtEveryScale)
{
    Mm p, S;
    polyfit(test::row({1, 2, 3}), test::row({1e308, 1.5e308, 1.7e308}), Mm(1.0), i_o, p, S);
    ASSERT_EQ(p.size(), 2);
    EXPECT_NEAR(p.addr()[0], 3.5e307, 1e-14 * 3.5e307);
    EXPECT_NEAR(p.addr()[1], 7e307, 1e-14 * 7e307);
    // residuals -0.05e308, 0.1e308, -0.05e308
    EXPECT_NEAR(Mm(S.member("normr")).r(), std::sqrt(0.015) * 1e308, 1e-14 * 1.3e307);

    const Mm x = test::row({-1, -0.5, 0, 0.75, 1.5, 2, 3.25});
    const std::vector<double> y = {2, -1, 0.5, 1, -2, 0.25, 1.5};
    for (int degree : {0, 1, 3, 6}) {
        Mm base_p, base_S;
        polyfit(x, test::row({2, -1, 0.5, 1, -2, 0.25, 1.5}), Mm(double(degree)), i_o, base_p, base_S);
        const double base_r = Mm(base_S.member("normr")).r();
        for (int j : {-1000, -300, 1, 300, 1021}) {
            SCOPED_TRACE("degree " + std::to_string(degree) + ", y by 2^" + std::to_string(j));
            Mm yj(0, 0, 0, 1, int(y.size()), qv_double);
            for (std::size_t k = 0; k < y.size(); ++k)
                yj.addr()[k] = std::ldexp(y[k], j);
            polyfit(x, yj, Mm(double(degree)), i_o, p, S);
            const std::vector<double> got = test::values(p), base = test::values(base_p);
            ASSERT_EQ(got.size(), base.size());
            for (std::size_t k = 0; k < base.size(); ++k)
                EXPECT_EQ(got[k], std::ldexp(base[k], j)) << k;
            // A 2-norm may take another path for large or small entries.
            EXPECT_NEAR(Mm(S.member("normr")).r(), std::ldexp(base_r, j), std::ldexp(4e-16 * base_r, j));
        }
    }
}

// Points at any scale, degrees 0 to 5: the fit to x 2^k is the fit to x
// with the coefficient of x^p times 2^(-p k) and column p of R times
// 2^(p k), each rounded once (0 or Inf where the doubles end), and the same
// residual. Points near 1e308 gave a NaN fit from degree 1 (the norm of the
// column of x overflowed).
TEST(Polyfit, PointsAtEveryScale)
{
    const std::vector<double> xs = {1, 1.125, 1.25, 1.375, 1.5, 1.625, 1.75, 1.875};
    const Mm y = test::row({1, 2, 0, 3, 1, 2, 5, -1});
    for (int degree = 0; degree <= 5; ++degree) {
        Mm x(0, 0, 0, 1, int(xs.size()), qv_double);
        std::copy(xs.begin(), xs.end(), x.addr());
        Mm base_p, base_S;
        polyfit(x, y, Mm(double(degree)), i_o, base_p, base_S);
        const Mm base_R = base_S.member("R");
        for (int k : {-1020, -600, -100, 300, 600, 1023}) {
            SCOPED_TRACE("degree " + std::to_string(degree) + ", x by 2^" + std::to_string(k));
            Mm xk(0, 0, 0, 1, int(xs.size()), qv_double);
            for (std::size_t j = 0; j < xs.size(); ++j)
                xk.addr()[j] = std::ldexp(xs[j], k);
            Mm p, S;
            polyfit(xk, y, Mm(double(degree)), i_o, p, S);
            ASSERT_EQ(p.size(), degree + 1);
            const Mm R = S.member("R");
            ASSERT_EQ(R.size(), base_R.size());
            for (int j = 0; j <= degree; ++j) {
                const int power = degree - j;
                EXPECT_EQ(p.addr()[j], std::ldexp(base_p.addr()[j], -power * k)) << "power " << power;
                for (int i = 0; i < R.rows(); ++i)
                    EXPECT_EQ(R.addr()[i + j * R.rows()], std::ldexp(base_R.addr()[i + j * R.rows()], power * k))
                        << "R(" << i << ", " << j << ")";
            }
            EXPECT_EQ(Mm(S.member("normr")).r(), Mm(base_S.member("normr")).r());
        }
    }
}

// Data with fewer distinct x than coefficients: [p, S] = polyfit([1 1 1],
// [1 2 3], 2) was [-6.9e16 -9.7e31 9.7e31], polyval(p, 1) = 0, normr 3.742.
// The fit is the basic least-squares solution (at each distinct x the
// mean of its y), with a warning that gives the rank; values from numpy's
// lstsq and polyfit (tools/reference/polyfit_rank_deficient.py).
TEST(Polyfit, RankDeficientDataGiveTheBasicFit)
{
    struct Case {
        std::vector<double> x, y;
        int degree, rank;
        std::vector<double> at, fitted;
        double normr;
    };
    const std::vector<Case> cases = {
        {{1, 1, 1}, {1, 2, 3}, 2, 1, {1}, {2}, std::sqrt(2.0)},
        {{0, 0, 1, 1}, {1, 2, 3, 4}, 2, 2, {0, 1}, {1.5, 3.5}, 1},
        {{2, 2, 5, 5, 5}, {1, 3, 4, 4, 7}, 3, 2, {2, 5}, {2, 5}, 2.8284271247461903},
        {{1, 2}, {3, 5}, 3, 2, {1, 2}, {3, 5}, 0},
    };
    auto row_of = [](const std::vector<double>& v) {
        Mm r(0, 0, 0, 1, int(v.size()), qv_double);
        for (std::size_t k = 0; k < v.size(); ++k)
            r.addr()[k] = v[k];
        return r;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.x) + " degree " + std::to_string(c.degree));
        test::clear_printed();
        Mm p, S;
        polyfit(row_of(c.x), row_of(c.y), Mm(double(c.degree)), i_o, p, S);
        EXPECT_EQ(test::printed(), "warning: polyfit: the fit is rank deficient (rank " + std::to_string(c.rank) +
                                       " of " + std::to_string(c.degree + 1) +
                                       " coefficients): the basic least-squares solution is returned\n\n");
        ASSERT_EQ(test::extents(p), (std::vector<int>{1, c.degree + 1}));
        int nonzero = 0;
        for (double v : test::values(p)) {
            EXPECT_TRUE(std::isfinite(v));
            nonzero += v != 0;
        }
        EXPECT_LE(nonzero, c.rank);
        const std::vector<double> fitted = test::values(polyval(p, row_of(c.at)));
        for (std::size_t k = 0; k < c.at.size(); ++k)
            EXPECT_NEAR(fitted[k], c.fitted[k], 1e-12 * (1 + std::fabs(c.fitted[k]))) << c.at[k];
        EXPECT_NEAR(Mm(S.member("normr")).r(), c.normr, 1e-12 * (1 + c.normr));
        EXPECT_EQ(Mm(S.member("df")).r(), double(c.x.size()) - c.degree - 1);
    }

    // Full-rank fits keep their coefficients and give no warning, data
    // spread wide in x included (the rank is read on scaled columns).
    for (double scale : {1.0, 1e6, 1e-6}) {
        SCOPED_TRACE(scale);
        Mm x(0, 0, 0, 1, 8, qv_double), y(0, 0, 0, 1, 8, qv_double);
        for (int k = 0; k < 8; ++k) {
            x.addr()[k] = scale * (k + 1);
            y.addr()[k] = 1 + 2 * (k + 1) - 0.5 * (k + 1) * (k + 1) + 0.01 * (k % 3);
        }
        test::clear_printed();
        const Mm p = polyfit(x, y, Mm(3.0));
        EXPECT_EQ(test::printed(), "");
        const std::vector<double> v = test::values(polyval(p, x));
        for (int k = 0; k < 8; ++k)
            EXPECT_NEAR(v[k], y.addr()[k], 0.02) << k;
    }
}

// polyfit([-1 0 1], [1 0 1], 2) was complex-typed, [1+0i 7.9e-17+0i 0+0i]:
// the powers of a negative x came back complex. A fit of real data is real
// at every degree, with x negative, of both signs or positive; complex data
// still give a complex fit.
TEST(Polyfit, RealDataGiveARealFit)
{
    const Mm parabola = polyfit(test::row({-1, 0, 1}), test::row({1, 0, 1}), Mm(2.0));
    EXPECT_FALSE(parabola.isc());
    ASSERT_EQ(test::extents(parabola), (std::vector<int>{1, 3}));
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(parabola.addr()[k], polyfit_parabola[k], 2e-15) << k;

    // y = q(x) exactly, q = [0.5 -1 2 -3 0.25 1](end-degree:end)
    const std::vector<double> q = {0.5, -1, 2, -3, 0.25, 1};
    for (double from : {-3.0, -1.5, 0.25}) {
        for (int degree = 1; degree <= 5; ++degree) {
            SCOPED_TRACE(::testing::Message() << "x from " << from << ", degree " << degree);
            Mm x(0, 0, 0, 1, 9, qv_double), y(0, 0, 0, 1, 9, qv_double);
            for (int k = 0; k < 9; ++k) {
                const double t = x.addr()[k] = from + 0.375 * k;
                double v = 0;
                for (int j = 5 - degree; j < 6; ++j)
                    v = v * t + q[j];
                y.addr()[k] = v;
            }
            const Mm p = polyfit(x, y, Mm(double(degree)));
            EXPECT_FALSE(p.isc());
            ASSERT_EQ(p.size(), degree + 1);
            for (int j = 0; j <= degree; ++j)
                EXPECT_NEAR(p.addr()[j], q[5 - degree + j], 1e-11) << j;
            EXPECT_TRUE(polyfit(x, test::complex(1, 9, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 0, 0, 0, 0, 0, 0, 0, 0}),
                                Mm(double(degree)))
                            .isc());
        }
    }
}

} // namespace
