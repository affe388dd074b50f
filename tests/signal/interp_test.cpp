// interp1, interp2 and interp3: the methods, bracketing at and beyond the
// ends, decreasing knots, shapes, refinement, kinds and messages, and
// linear and nearest results against numpy and scipy.
#include "signal/interp_common.hpp"
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

#include "data/interp_reference.inc"
#include "data/nonfinite_reference.inc"

std::vector<double> values_nan_as(const Mm& x, double mark)
{
    auto v = test::values(x);
    for (auto& e : v)
        if (std::isnan(e))
            e = mark;
    return v;
}

TEST(IntervalBracket, EndsAndOrder)
{
    const double up[] = {1, 2, 3, 4};
    const double down[] = {4, 3, 2, 1};
    struct Case {
        const double* knots;
        double t;
        int lo, hi;
    };
    const std::vector<Case> cases = {
        {up, 1, 1, 2}, {up, 4, 3, 4}, {up, 2, 1, 2}, {up, 2.5, 2, 3}, {up, 0, 0, 1}, {up, 5, 4, 5},
        {up, NAN, 1, 2}, {down, 4, 1, 2}, {down, 1, 3, 4}, {down, 2.5, 2, 3}, {down, 5, 0, 1}, {down, NAN, 3, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        int lo, hi;
        interval_bracket(c.t, c.knots, 4, lo, hi);
        EXPECT_EQ(lo, c.lo);
        EXPECT_EQ(hi, c.hi);
    }
    EXPECT_EQ(interp_method_letter(test::text("*linear")), 'l');
    EXPECT_EQ(interp_method_letter(test::text("bilinear")), 'l');
    EXPECT_EQ(interp_method_letter(test::text("*nearest")), 'n');
    EXPECT_EQ(interp_method_letter(test::text("bicubic")), 'c');
    EXPECT_EQ(test::text_of(default_interp_method), "linear");
}

// The prepared axis must find the intervals interval_bracket finds and
// the fractions the plain quotient gives, bit for bit, on every kind of
// knots: unit and power-of-two steps (a product by the reciprocal), a step
// that is not (the quotient), uneven, decreasing, non-monotone and infinite
// knots (the plain search).
TEST(KnotAxis, SameIntervalsAndFractionsAsThePlainSearch)
{
    struct Case {
        const char* what;
        std::vector<double> knots;
    };
    const std::vector<Case> cases = {
        {"unit step", {1, 2, 3, 4, 5, 6}},
        {"step 1/4", {-1, -0.75, -0.5, -0.25, 0, 0.25}},
        {"step 1/10", {0, 0.1, 0.2, 0.30000000000000004, 0.4, 0.5}},
        {"step 3", {0, 3, 6, 9}},
        {"uneven", {0, 1, 1.5, 4, 4.25, 9}},
        {"decreasing", {5, 4, 3, 2, 1}},
        {"not monotone", {0, 2, 1, 3, 5}},
        {"infinite end", {0, 1, 2, INFINITY}},
        {"two knots", {2, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = int(c.knots.size());
        const double* k = c.knots.data();
        const knot_axis axis(k, n);
        std::vector<double> queries = {NAN, -INFINITY, INFINITY, -1e300, 1e300};
        for (int j = 0; j < n; ++j) {
            queries.push_back(k[j]);
            queries.push_back(std::nextafter(k[j], -INFINITY));
            queries.push_back(std::nextafter(k[j], INFINITY));
            if (j + 1 < n)
                for (double w : {0.1, 0.5, 0.7, 0.999})
                    queries.push_back(k[j] + w * (k[j + 1] - k[j]));
        }
        for (double t : queries) {
            SCOPED_TRACE(t);
            int lo, hi, plain_lo, plain_hi;
            axis.bracket(t, lo, hi);
            interval_bracket(t, k, n, plain_lo, plain_hi);
            ASSERT_EQ(lo, plain_lo);
            ASSERT_EQ(hi, plain_hi);
            if (lo >= 1 && lo < n) {
                const double f = axis.fraction(t, lo, hi), plain = (t - k[lo - 1]) / (k[hi - 1] - k[lo - 1]);
                ASSERT_TRUE(f == plain || (std::isnan(f) && std::isnan(plain))) << f << " vs " << plain;
            }
        }
    }
}

TEST(Interp1, Methods)
{
    const Mm x = test::row({1, 2, 3}), y = test::row({10, 20, 30});
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;  // NaN written as -1
    };
    const std::vector<Case> cases = {
        {"linear", interp1(x, y, test::row({1, 1.5, 3, 3.5, 0})), {10, 15, 30, -1, -1}},
        {"decreasing", interp1(test::row({3, 2, 1}), test::row({30, 20, 10}), Mm(2.5)), {25}},
        {"nearest half-way", interp1(test::row({1, 2}), test::row({10, 20}), Mm(1.5), test::text("nearest")), {20}},
        {"nearest", interp1(x, y, test::row({1.2, 2.7, 4}), test::text("*nearest")), {10, 30, -1}},
        {"nearest on decreasing knots", interp1(test::row({3, 2, 1}), test::row({30, 20, 10}),
                                                test::row({2.5, 1.2, 1.5}), test::text("nearest")), {30, 10, 20}},
        {"NaN query", interp1(x, y, Mm(NAN)), {-1}},
        {"NaN query, nearest", interp1(x, y, Mm(NAN), test::text("nearest")), {-1}},
        {"bilinear is linear", interp1(x, y, Mm(2.5), test::text("bilinear")), {25}},
        {"cubic extrapolates", interp1(x, y, test::row({4, 0}), test::text("cubic")), {40, 0}},
        {"interp1q", interp1q(x, y, test::row({1.25, 5})), {12.5, -1}},
        {"string third argument", interp1(test::row({5, 7, 9}), Mm(1.5), test::text("nearest")), {7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values_nan_as(c.result, -1), c.values);
    }
    // a matrix of tables, x = 1:rows
    const Mm tables = interp1(test::real(3, 2, {1, 2, 3, 10, 20, 30}), test::row({1.5, 2.5, 3}));
    EXPECT_EQ(test::extents(tables), (std::vector<int>{3, 2}));
    EXPECT_EQ(test::values(tables), (std::vector<double>{1.5, 2.5, 3, 15, 25, 30}));
    // shape of xi for a vector table
    EXPECT_EQ(test::extents(interp1(x, y, test::real(2, 2, {1, 2, 3, 1.5}))), (std::vector<int>{2, 2}));
    // kinds
    const Mm b = interp1(x, test::bytes(1, 3, {10, 20, 31}), test::row({2.5, 1.5}));
    ASSERT_EQ(b.gettype(), qv_uint8);
    const Mm via_double = muint8(interp1(x, test::row({10, 20, 31}), test::row({2.5, 1.5})));
    EXPECT_EQ(b.ur(1), via_double.ur(1));
    EXPECT_EQ(b.ur(2), 15);
    const Mm z = interp1(x, test::complex(1, 3, {1, 2, 3}, {0, 2, 6}), Mm(2.5));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(test::values(z), (std::vector<double>{2.5}));
    EXPECT_EQ(test::values(imag(z)), (std::vector<double>{4}));
}

// A query on a knot gives the knot's value, whatever its neighbour holds;
// between an infinite and a finite value the line is infinite (numpy.interp).
TEST(Interp1, NonFiniteTableValues)
{
    struct Case {
        const char* what;
        Mm x, y, xi;
        std::vector<double> want;
    };
    const std::vector<Case> cases = {
        {"knots next to Inf", test::row({1, 2, 3}), test::row({1, INFINITY, 3}), test::row({1, 2, 3, 1.5, 2.5}),
         test::listed(interp1_case0)},
        {"knots next to NaN", test::row({1, 2, 3}), test::row({1, NAN, 3}), test::row({1, 2, 3, 1.5}),
         test::listed(interp1_case1)},
        {"opposite infinities", test::row({1, 2}), test::row({INFINITY, -INFINITY}), test::row({1, 1.5, 2}),
         test::listed(interp1_case2)},
        {"equal infinities", test::row({1, 2}), test::row({INFINITY, INFINITY}), test::row({1, 1.5, 2}),
         test::listed(interp1_case3)},
        {"-Inf at the first knot", test::row({1, 2, 3}), test::row({-INFINITY, 2, 3}), test::row({1, 1.5, 2, 2.5}),
         test::listed(interp1_case4)},
        {"finite ends whose difference overflows", test::row({1, 2}), test::row({-1e308, 1.5e308}),
         test::row({1, 1.25, 1.5, 2}), test::listed(interp1_wide)},
        {"decreasing knots", test::row({3, 2, 1}), test::row({3, INFINITY, 1}), test::row({3, 2, 1, 2.5}),
         test::listed(interp1_down)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::expect_matches(interp1(c.x, c.y, c.xi), c.want);
        // a column of a matrix table takes the same path
        const Mm table = horzcat(dot_transpose(c.y), dot_transpose(c.y));
        const Mm two = interp1(c.x, table, c.xi);
        const auto v = test::values(two);
        test::expect_matches(std::vector<double>(v.begin() + c.want.size(), v.end()), c.want);
    }
}

// An infinite value elsewhere in the table leaves the lines between finite
// knots as they are: the tested path gives the plain formula's values.
TEST(Interp1, InfiniteValueElsewhereChangesNoFiniteLine)
{
    Mm x(0, 0, 0, 1, 13, qv_double), y(0, 0, 0, 1, 13, qv_double), with_inf(0, 0, 0, 1, 13, qv_double);
    Mm q(0, 0, 0, 1, 60, qv_double);
    for (int k = 0; k < 13; ++k) {
        x.addr()[k] = k + 0.4 * std::sin(1.3 * k);
        y.addr()[k] = with_inf.addr()[k] = std::cos(0.9 * k) * (1 + 0.1 * k);
    }
    with_inf.addr()[12] = INFINITY;
    for (int j = 0; j < 60; ++j)
        q.addr()[j] = x.addr()[0] + (x.addr()[11] - x.addr()[0]) * ((j * 7919) % 101) / 100.0;
    const Mm plain = interp1(x, y, q);
    const Mm tested = interp1(x, with_inf, q);
    EXPECT_EQ(test::values(tested), test::values(plain));
}

TEST(Interp1, AgainstReference)
{
    const int n = 12;
    Mm x(0, 0, 0, 1, n, qv_double), y(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k) {
        x.addr()[k] = k + 0.4 * std::sin(1.3 * k);
        y.addr()[k] = std::cos(0.9 * k) * (1 + 0.1 * k);
    }
    const int m = sizeof(interp1_queries) / sizeof(double);
    Mm q(0, 0, 0, 1, m, qv_double);
    std::copy(interp1_queries, interp1_queries + m, q.addr());
    const Mm v = interp1(x, y, q);
    for (int j = 0; j < m; ++j)
        EXPECT_NEAR(v.addr()[j], interp1_linear[j], 4e-16 * (1 + std::fabs(interp1_linear[j]))) << j;
    // the spline method is spline() at the queries
    EXPECT_EQ(test::values(interp1(x, y, q, test::text("spline"))), test::values(spline(x, y, q)));
    // and a decreasing copy of the table gives the same values
    Mm xd(0, 0, 0, 1, n, qv_double), yd(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k) {
        xd.addr()[k] = x.addr()[n - 1 - k];
        yd.addr()[k] = y.addr()[n - 1 - k];
    }
    const Mm vd = interp1(xd, yd, q);
    for (int j = 0; j < m; ++j)
        EXPECT_NEAR(vd.addr()[j], interp1_linear[j], 1e-15 * (1 + std::fabs(interp1_linear[j]))) << j;
}

TEST(Interp1, Errors)
{
    test::clear_printed();
    EXPECT_ERROR(interp1(test::row({1, 2, 3}), test::row({1, 2}), Mm(1.5)),
                 "interp1: x and y dimensions are not compatible");
    EXPECT_NE(test::printed().find("3"), std::string::npos) << "the two sizes are shown first";
    EXPECT_ERROR(interp1(Mm(1.0), Mm(2.0), Mm(1.0)), "interp1: at least two values required.");
    EXPECT_ERROR(interp1(test::row({1, 2}), test::row({1, 2}), Mm(1.0), Mm(3.0)), "interp1: method must be a string");
    EXPECT_ERROR(interp1(Mm(1.0)), "interp1 does not accept 1 input");
}

TEST(Interp2, QueriesAndRefinement)
{
    const Mm z = test::real(2, 2, {1, 3, 2, 4});
    EXPECT_EQ(test::values(interp2(z, Mm(1.5), Mm(1.5))), (std::vector<double>{2.5}));
    const Mm r = interp2(z);
    EXPECT_EQ(test::extents(r), (std::vector<int>{3, 3}));
    EXPECT_EQ(r.r(2, 2), 2.5);
    EXPECT_EQ(test::extents(interp2(z, Mm(2.0))), (std::vector<int>{5, 5}));
    EXPECT_EQ(test::values(interp2(z, Mm(0.0), test::text("linear"))), test::values(z));
    const Mm near = interp2(z, test::text("nearest"));
    EXPECT_EQ(test::extents(near), (std::vector<int>{3, 3}));
    EXPECT_EQ(test::values(near), (std::vector<double>{1, 3, 3, 2, 4, 4, 2, 4, 4}));

    const Mm big = test::counting({4, 5});
    const Mm grid = interp2(big, test::row({1, 2.5, 5}), test::real(2, 1, {1, 3.5}));
    EXPECT_EQ(test::extents(grid), (std::vector<int>{2, 3}));
    EXPECT_EQ(test::values(grid), (std::vector<double>{1, 3.5, 7, 9.5, 17, 19.5}));
    const Mm points = interp2(big, test::real(1, 2, {1, 5}), test::real(1, 2, {4, 1}));
    EXPECT_EQ(test::values(points), (std::vector<double>{4, 17}));
    EXPECT_EQ(values_nan_as(interp2(big, test::row({5, 5.01}), test::row({4, 4})), -1), (std::vector<double>{20, -1}));
    EXPECT_EQ(values_nan_as(interp2(big, Mm(NAN), Mm(2.0), test::text("nearest")), -1), (std::vector<double>{-1}));

    // meshgrid-made x and y are reduced to their lines
    Mm X, Y;
    meshgrid(test::row({0, 10, 20, 30, 40}), test::row({0, 1, 2, 3}), i_o, X, Y);
    EXPECT_EQ(test::values(interp2(X, Y, big, Mm(15.0), Mm(1.5))), test::values(interp2(big, Mm(2.5), Mm(2.5))));

    // kinds
    const Mm b = interp2(test::bytes(2, 2, {0, 100, 51, 200}), Mm(1.5), Mm(1.5));
    ASSERT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(b.ur(1), muint8(Mm(87.75)).ur(1));
    const Mm c = interp2(test::complex(2, 2, {1, 3, 2, 4}, {0, 0, 4, 4}), Mm(1.5), Mm(1.0));
    EXPECT_EQ(test::values(c), (std::vector<double>{1.5}));
    EXPECT_EQ(test::values(imag(c)), (std::vector<double>{2}));

    // the spline method: rows along x, then along y
    const Mm s = interp2(big, test::row({1.5, 2}), test::row({2.5, 3}), test::text("spline"));
    EXPECT_NEAR(s.addr()[0], interp2(big, Mm(1.5), Mm(2.5)).r(), 1e-12) << "a plane is reproduced";
    EXPECT_EQ(values_nan_as(interp2(Mm(0, 0, 0, 2, 2, qv_double) + Mm(NAN), Mm(1.5), Mm(1.5), test::text("cubic")), -1),
              (std::vector<double>{-1}));
}

// interp1([-1e308 1e308], [0 1], [0 5e307]) was [0 0]: the knots' span
// overflowed and every fraction became 0. The fraction and the half-way
// point are taken from halves where a difference passes the largest
// double; interp2 shares them.
TEST(Interp1, KnotsNearTheLargestDouble)
{
    const double big = 0x1.fffffffffffffp+1023;
    struct Case {
        const char* what;
        Mm got;
        std::vector<double> want;  // NaN written as -1
    };
    const Mm z = test::real(2, 2, {0, 1, 1, 2});
    const std::vector<Case> cases = {
        {"the reported call", interp1(test::row({-1e308, 1e308}), test::row({0, 1}), test::row({0, 5e307})),
         {0.5, 0.75}},
        {"the ends and beyond", interp1(test::row({-1e308, 1e308}), test::row({0, 1}), test::row({-1e308, 1e308, big})),
         {0, 1, -1}},
        {"the widest span", interp1(test::row({-big, big}), test::row({-2, 2}), test::row({0, big / 2, -big / 4})),
         {0, 1, -0.5}},
        {"decreasing knots", interp1(test::row({1e308, -1e308}), test::row({1, 0}), test::row({0, 5e307})), {0.5, 0.75}},
        {"three knots", interp1(test::row({-1e308, 0, 1.5e308}), test::row({0, 1, 4}), test::row({-5e307, 0.75e308})),
         {0.5, 2.5}},
        {"nearest", interp1(test::row({-1e308, 1e308}), test::row({0, 1}), test::row({-1e307, 1e307, 0}),
                            test::text("nearest")), {0, 1, 1}},
        {"nearest where the knots' sum overflows",
         interp1(test::row({1e308, 1.7e308}), test::row({0, 1}), test::row({1.1e308, 1.5e308, 1.35e308}),
                 test::text("nearest")), {0, 1, 1}},
        {"interp2", interp2(test::row({-1e308, 1e308}), test::row({-1e308, 1e308}), z, test::row({0, 5e307}),
                            test::row({0, 5e307})), {1, 1.5}},
        {"interp2 at points off the grid's lines",
         interp2(test::row({-1e308, 1e308}), test::row({-1e308, 1e308}), z, test::real(1, 2, {-5e307, 1e308}),
                 test::real(1, 2, {5e307, -1e308})), {1, 1}},
        {"interp2 nearest", interp2(test::row({1e308, 1.7e308}), test::row({-1e308, 1e308}), z,
                                    test::real(1, 2, {1.1e308, 1.5e308}), test::real(1, 2, {-1e307, 1e307}),
                                    test::text("nearest")), {0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values_nan_as(c.got, -1), c.want);
    }
}

// One table on a quarter grid under every scaling 2^-1000 .. 2^1000 of its
// abscissae and translations up to 2^50, where every knot and query stays
// exact: the linear and nearest answers of interp1 and interp2 do not
// change at all (a translation changes no difference, a power of two
// scales every one exactly), and the spline's (whose divided differences
// grow like 1/h^3) only by rounding.
TEST(Interp1, ScalingsAndTranslationsChangeNoAnswer)
{
    const std::vector<double> kx = {0, 0.25, 1, 1.5, 3, 4}, ky = {0, 1, 2.5, 3};
    const std::vector<double> y1 = {1, -2, 0.5, 3, 2, -1};
    const std::vector<double> qx = {0, 0.75, 0.5, 1.25, 2, 3.75, 4, 5, -1}, qy = {0, 0.5, 1.75, 2.75, 3, 2, 1, 0.25, 4};
    const Mm z = test::real(4, 6, {1, 2, 0, -1, 3, 1, 2, 2, 0.5, -2, 1, 4, 2, 2, 2, 2, -1, 0, 1, 2, 5, 3, 1, -3});
    auto line = [](const std::vector<double>& v, double s, double shift) {
        std::vector<double> r(v.size());
        for (std::size_t k = 0; k < v.size(); ++k)
            r[k] = s * (v[k] + shift);
        Mm m(0, 0, 0, 1, int(r.size()), qv_double);
        std::copy(r.begin(), r.end(), m.addr());
        return m;
    };
    struct Answers {
        std::vector<double> lin, near, spline, lin2, near2, spline2;
    };
    auto answers = [&](double s, double shift) {
        const Mm x = line(kx, s, shift), y = line(ky, s, shift), xi = line(qx, s, shift), yi = line(qy, s, shift);
        const Mm t = line(y1, 1, 0);
        return Answers{values_nan_as(interp1(x, t, xi), -1e9), values_nan_as(interp1(x, t, xi, test::text("nearest")), -1e9),
                       values_nan_as(interp1(x, t, xi, test::text("spline")), -1e9),
                       values_nan_as(interp2(x, y, z, xi, yi), -1e9),
                       values_nan_as(interp2(x, y, z, xi, yi, test::text("nearest")), -1e9),
                       values_nan_as(interp2(x, y, z, xi, yi, test::text("spline")), -1e9)};
    };
    const Answers base = answers(1, 0);
    // the answers at scale 1 by the plain model of the rule
    for (std::size_t k = 0; k < qx.size(); ++k) {
        SCOPED_TRACE(k);
        const auto at = std::upper_bound(kx.begin(), kx.end(), qx[k]);
        if (qx[k] < kx.front() || qx[k] > kx.back()) {
            EXPECT_EQ(base.lin[k], -1e9);
            continue;
        }
        const std::size_t hi = std::min<std::size_t>(at - kx.begin(), kx.size() - 1), lo = hi - 1;
        const double f = (qx[k] - kx[lo]) / (kx[hi] - kx[lo]);
        EXPECT_NEAR(base.lin[k], y1[lo] + f * (y1[hi] - y1[lo]), 1e-15);
    }
    std::vector<int> exponents;
    for (int e = -1000; e <= 1000; e += 40)
        exponents.push_back(e);
    for (int e : {-1021, -541, -540, -513, 511, 512, 515, 1018})
        exponents.push_back(e);
    for (int e : exponents) {
        for (double shift : {0.0, 0x1p20, -0x1p20, 0x1p50, -0x1p50}) {
            const double s = std::ldexp(1.0, e);
            if (std::fabs(shift) * 8 * s > 0x1p1023 || std::ldexp(0.25, e) < 0x1p-1022)
                continue;  // past the largest double, or knots below the normal range
            SCOPED_TRACE(::testing::Message() << "scale 2^" << e << ", shift " << shift);
            const Answers got = answers(s, shift);
            EXPECT_EQ(got.lin, base.lin);
            EXPECT_EQ(got.near, base.near);
            EXPECT_EQ(got.lin2, base.lin2);
            EXPECT_EQ(got.near2, base.near2);
            for (std::size_t k = 0; k < qx.size(); ++k) {
                EXPECT_NEAR(got.spline[k], base.spline[k], 1e-13 * std::max(1.0, std::fabs(base.spline[k]))) << k;
                EXPECT_NEAR(got.spline2[k], base.spline2[k], 1e-13 * std::max(1.0, std::fabs(base.spline2[k]))) << k;
            }
        }
    }
}

TEST(Interp2, AgainstReference)
{
    Mm x(0, 0, 0, 1, 7, qv_double), y(0, 0, 0, 6, 1, qv_double), z(0, 0, 0, 6, 7, qv_double);
    for (int c = 0; c < 7; ++c)
        x.addr()[c] = 0.5 * c + 0.1 * c * c;
    for (int r = 0; r < 6; ++r)
        y.addr()[r] = r - 0.05 * r * r;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 7; ++c)
            z.addr()[r + 6 * c] = std::sin(0.7 * r) + std::cos(0.3 * c * r) + 0.01 * c;
    const int m = sizeof(interp2_qx) / sizeof(double);
    Mm qx(0, 0, 0, 1, m, qv_double), qy(0, 0, 0, 1, m, qv_double);
    std::copy(interp2_qx, interp2_qx + m, qx.addr());
    std::copy(interp2_qy, interp2_qy + m, qy.addr());
    const Mm lin = interp2(x, y, z, qx, qy);
    const Mm near = interp2(x, y, z, qx, qy, test::text("nearest"));
    // nearest is compared away from half-way points, where libraries differ
    auto near_tie = [](double q, const Mm& knots) {
        for (int k = 0; k + 1 < knots.size(); ++k)
            if (std::fabs(2 * q - knots.addr()[k] - knots.addr()[k + 1]) < 1e-9)
                return true;
        return false;
    };
    int compared = 0;
    for (int j = 0; j < m; ++j) {
        EXPECT_NEAR(lin.addr()[j], interp2_linear[j], 1e-14) << j;
        if (near_tie(interp2_qx[j], x) || near_tie(interp2_qy[j], y))
            continue;
        EXPECT_NEAR(near.addr()[j], interp2_nearest[j], 1e-15) << j;
        ++compared;
    }
    EXPECT_GT(compared, m / 2);
}

// Bilinear and trilinear values next to an infinite table value: the grid
// points give their own values, and each pass along an axis is the line of
// interp1 (numpy.interp along x, then y, then z).
TEST(Interp2, NonFiniteTableValues)
{
    const Mm z = test::real(2, 2, {1, 3, INFINITY, 4});
    const Mm xi = test::row({1, 2, 1, 2, 1.5, 1, 1.5, 2, 1.5}), yi = test::row({1, 1, 2, 2, 1, 1.5, 1.5, 1.5, 2});
    test::expect_matches(interp2(z, xi, yi), test::listed(interp2_inf));
    test::expect_matches(interp2(test::row({1, 2}), test::row({1, 2}), z, xi, yi), test::listed(interp2_inf));
}

TEST(Interp3, NonFiniteTableValues)
{
    const int dims[3] = {2, 2, 2};
    Mm v(0, 0, 0, 3, dims, qv_double);
    const double values[] = {1, 3, INFINITY, 4, 5, 7, 6, 8};
    std::copy(values, values + 8, v.addr());
    const Mm xi = test::row({1, 2, 2, 1.5, 1.5, 1, 2}), yi = test::row({1, 1, 2, 1, 1.5, 2, 1}),
             zi = test::row({1, 1, 2, 1, 1.5, 1.5, 1.5});
    test::expect_matches(interp3(v, xi, yi, zi), test::listed(interp3_inf));
}

TEST(Interp2, Errors)
{
    const Mm z = test::counting({3, 3});
    EXPECT_ERROR(interp2(z, test::real(2, 2, {1, 2, 1, 2}), test::real(1, 2, {1, 2})),
                 "interp2: xi and yi are not same size.");
    EXPECT_ERROR(interp2(Mm(1.0), test::row({1, 2}), test::counting({2, 2}), Mm(1.0), Mm(1.0)),
                 "interp2: at least two values required.");
    EXPECT_ERROR(interp2(test::row({1, 2}), Mm(1.0), test::counting({1, 2}), Mm(1.0), Mm(1.0)),
                 "interp2: at least two values required.") << "y is searched too";
    EXPECT_ERROR(interp2(z, Mm(1.0), Mm(1.0), Mm(2.0)), "interp2: method must be a string");
    // A refinement count with an imaginary part was read as its real part,
    // without a word.
    EXPECT_ERROR(interp2(z, test::complex(1, 1, {1}, {1}), test::text("linear")), "interp2: ntimes must be real");
    EXPECT_ERROR(interp2(z, test::complex(1, 1, {2}, {-1})), "interp2: ntimes must be real");
    EXPECT_EQ(test::values(interp2(z, test::complex(1, 1, {1}, {0}), test::text("linear"))),
              test::values(interp2(z, Mm(1.0), test::text("linear"))));
}

Mm two_pages() { return cat(Mm(3.0), Mm(0, 0, 0, 2, 2, qv_double) * Mm(0.0), test::real(2, 2, {8, 8, 8, 8})); }

TEST(Interp3, Methods)
{
    const Mm v = two_pages();
    EXPECT_EQ(test::values(interp3(v, Mm(1.5), Mm(1.5), Mm(1.5))), (std::vector<double>{4}));
    const Mm r = interp3(v);
    EXPECT_EQ(test::extents(r), (std::vector<int>{3, 3, 3}));
    EXPECT_EQ(r.r(2, 2, 2), 4);
    EXPECT_EQ(test::extents(interp3(v, Mm(2.0))), (std::vector<int>{5, 5, 5}));
    const Mm grid = interp3(v, test::row({1, 2}), test::real(3, 1, {1, 1.5, 2}), test::row({1, 1.25, 2}));
    EXPECT_EQ(test::extents(grid), (std::vector<int>{3, 2, 3}));
    EXPECT_EQ(grid.r(1, 1, 2), 2);
    EXPECT_EQ(values_nan_as(interp3(v, Mm(2.0), Mm(2.0), test::row({2, 2.5})), -1), (std::vector<double>{8, -1}));
    EXPECT_EQ(test::values(interp3(v, Mm(1.2), Mm(1.9), Mm(1.6), test::text("nearest"))), (std::vector<double>{8}));

    // the spline method: per page in two dimensions, then along z
    Mm w(0, 0, 0, 3, 4, qv_double);
    const int dims[3] = {4, 4, 4};
    Mm cube(0, 0, 0, 3, dims, qv_double);
    for (int k = 0; k < 64; ++k)
        cube.addr()[k] = std::sin(0.3 * k) + 0.01 * k * k;
    const Mm xi = Mm(1.7), yi = Mm(2.4), zi = Mm(3.1);
    const Mm s = interp3(cube, xi, yi, zi, test::text("spline"));
    Mm along(0, 0, 0, 4, 1, qv_double);
    for (int k = 0; k < 4; ++k) {
        Mm page(0, 0, 0, 4, 4, qv_double);
        std::copy(cube.addr() + 16 * k, cube.addr() + 16 * (k + 1), page.addr());
        along.addr()[k] = interp2(page, xi, yi, test::text("spline")).r();
    }
    EXPECT_EQ(s.r(), interp1(test::row({1, 2, 3, 4}), along, zi, test::text("spline")).r());
    (void)w;
}

TEST(Interp3, Errors)
{
    const Mm v = two_pages();
    EXPECT_ERROR(interp3(v, test::real(2, 2, {1, 1, 1, 1}), Mm(1.0), Mm(1.0)), "interp2: xi and yi are not same size.");
    EXPECT_ERROR(interp3(Mm(1.0), test::row({1, 2}), test::row({1, 2}), Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0)),
                 "interp3: at least two values required.");
    EXPECT_ERROR(interp3(v, v, v, v, v, v), "interp3 does not accept 6 inputs");
    // A refinement count with an imaginary part was read as its real part,
    // without a word.
    EXPECT_ERROR(interp3(v, test::complex(1, 1, {1}, {1})), "interp3: ntimes must be real");
    EXPECT_ERROR(interp3(v, test::complex(1, 1, {0}, {1}), test::text("nearest")), "interp3: ntimes must be real");
    EXPECT_EQ(test::values(interp3(v, test::complex(1, 1, {1}, {0}))), test::values(interp3(v, Mm(1.0))));
}

} // namespace
