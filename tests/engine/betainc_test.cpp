// betainc, ellipj, ellipke: accuracy against mpmath over every evaluation
// route, the ends of the ranges, identities, and the fronts' shapes and messages.
#include "engine/elliptic.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();
const double half_pi = 1.5707963267948966;

// Relative error, with an expected 0 met only by 0.
void expect_close(double got, double expected, double tol)
{
    if (expected == 0)
        EXPECT_EQ(got, 0.0);
    else
        EXPECT_LE(std::fabs(got - expected), tol * std::fabs(expected)) << got << " vs " << expected;
}

void expect_same(double got, double expected)
{
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(got)) << got;
    else
        EXPECT_BITS_EQ(got, expected);
}

struct BetaReference {
    double x, a, b, value, tol;
};

const std::vector<BetaReference> beta_reference = {
#include "data/betainc_reference.inc"
};

struct KeReference {
    double m, k, e, tol_k, tol_e;
};

const std::vector<KeReference> ke_reference = {
#define ELLIPKE_ROW(m, k, e, tk, te) {m, k, e, tk, te},
#include "data/elliptic_reference.inc"
#undef ELLIPKE_ROW
};

struct JReference {
    double u, m, sn, cn, dn, tol_sn, tol_cn, tol_dn;
};

const std::vector<JReference> j_reference = {
#define ELLIPJ_ROW(u, m, sn, cn, dn, ts, tc, td) {u, m, sn, cn, dn, ts, tc, td},
#include "data/elliptic_reference.inc"
#undef ELLIPJ_ROW
};

// The table spans tiny and huge parameters, both sides of the mean, deep
// tails and results near 1: each evaluation route of the kernel is met.
TEST(Betainc, ReferenceValues)
{
    ASSERT_GT(beta_reference.size(), 40u);
    for (const auto& c : beta_reference) {
        SCOPED_TRACE("betainc(" + std::to_string(c.x) + ", " + std::to_string(c.a) + ", " + std::to_string(c.b) + ")");
        expect_close(betainc_kernel(c.x, c.a, c.b), c.value, c.tol);
    }
}

// I_x(a, b) = 1 - I_(1-x)(b, a) wherever 1 - x is exact, also where one side
// is a tiny tail whose complement would lose it.
TEST(Betainc, ReflectionHolds)
{
    const std::vector<std::vector<double>> cases = {
        {0.75, 2, 3}, {0.5, 0.3, 7}, {0.875, 50, 2}, {0.5, 1e4, 1e4 + 50}, {0.625, 3e5, 2e5}, {0.5, 3e13, 2e13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]));
        double lower = betainc_kernel(c[0], c[1], c[2]), upper = betainc_kernel(1 - c[0], c[2], c[1]);
        EXPECT_NEAR(lower + upper, 1.0, 1e-14);
        EXPECT_GE(lower, 0.0);
        EXPECT_LE(lower, 1.0);
    }
}

TEST(Betainc, EndsOfTheRanges)
{
    struct Case {
        const char* what;
        double x, a, b, expected;
    };
    const std::vector<Case> cases = {
        {"betainc(0.5,1,1)", 0.5, 1, 1, 0.5},
        {"betainc(0,2,3)", 0, 2, 3, 0},
        {"betainc(1,2,3)", 1, 2, 3, 1},
        {"betainc(1.5,2,3)", 1.5, 2, 3, nan},
        {"betainc(-0.1,2,3)", -0.1, 2, 3, nan},
        {"betainc(0.5,-1,2)", 0.5, -1, 2, nan},
        {"betainc(0.5,2,-1)", 0.5, 2, -1, nan},
        {"betainc(NaN,2,3) is NaN", nan, 2, 3, nan},
        {"betainc(NaN,0,3)", nan, 0, 3, nan},
        {"betainc(0.5,NaN,3)", 0.5, nan, 3, nan},
        {"betainc(0.5,2,NaN)", 0.5, 2, nan, nan},
        {"betainc(0,0,3)", 0, 0, 3, 0},
        {"betainc(1,2,0)", 1, 2, 0, 1},
        // inside (0, 1) the parameters' ends collapse the distribution to
        // one point: at 0 for a = 0 or b = Inf, at 1 for b = 0 or a = Inf
        {"betainc(0.5,0,2)", 0.5, 0, 2, 1},
        {"betainc(1e-300,0,2)", 1e-300, 0, 2, 1},
        {"betainc(0.5,2,0)", 0.5, 2, 0, 0},
        {"betainc(0.5,Inf,2)", 0.5, inf, 2, 0},
        {"betainc(0.5,2,Inf)", 0.5, 2, inf, 1},
        {"betainc(0.5,0,Inf)", 0.5, 0, inf, 1},
        {"betainc(0.5,0,0)", 0.5, 0, 0, nan},
        {"betainc(0.5,Inf,Inf)", 0.5, inf, inf, nan},
        {"betainc(0.5,Inf,0)", 0.5, inf, 0, 0},
        {"betainc(0,Inf,2)", 0, inf, 2, 0},
        // huge parameters: the step at the peak a/(a + b), no overflow
        {"betainc(0.6,1e300,2e300)", 0.6, 1e300, 2e300, 1},
        {"betainc(0.3,1e308,1e300)", 0.3, 1e308, 1e300, 0},
        {"betainc(0.5,1e308,1e308)", 0.5, 1e308, 1e308, 0.5},
        {"betainc(0.5,1e300,2)", 0.5, 1e300, 2, 0},
        {"betainc(0.1,1,1e300)", 0.1, 1, 1e300, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expect_same(betainc_kernel(c.x, c.a, c.b), c.expected);
    }
}

// A large second parameter once summed one term per unit of it: every
// element here comes back (a hang shows as the test's time-out) and right.
TEST(Betainc, LargeParametersFinish)
{
    Mm x = test::row({1e-10, 1e-9, 0.1, 0.5});
    Mm r = betainc(x, Mm(1.0), Mm(2e9));
    ASSERT_EQ(r.size(), 4);
    EXPECT_NEAR(test::at(r, 0), -std::expm1(2e9 * std::log1p(-1e-10)), 1e-13);
    EXPECT_NEAR(test::at(r, 1), -std::expm1(2e9 * std::log1p(-1e-9)), 1e-13);
    EXPECT_EQ(test::at(r, 2), 1.0);
    EXPECT_EQ(test::at(r, 3), 1.0);
    Mm big = betainc(Mm(0.5), Mm(2e20), Mm(2e20));
    EXPECT_NEAR(*big.addr(), 0.5, 1e-15);
}

TEST(Betainc, FrontExpandsAndShapes)
{
    Mm r = betainc(test::row({0.1, 0.5, 0.9}), Mm(2.0), Mm(3.0));
    ASSERT_EQ(r.rows(), 1);
    ASSERT_EQ(r.cols(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_BITS_EQ(test::at(r, k), betainc_kernel(std::vector<double>{0.1, 0.5, 0.9}[k], 2, 3));

    // a has the most elements: its shape, and x's first element throughout
    r = betainc(test::row({0.1, 0.5}), test::row({1, 2, 3}), Mm(2.0));
    ASSERT_EQ(r.rows(), 1);
    ASSERT_EQ(r.cols(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_BITS_EQ(test::at(r, k), betainc_kernel(0.1, k + 1, 2));

    // equal counts: the last such argument gives the shape
    r = betainc(test::real(2, 1, {0.2, 0.4}), Mm(1.0), test::row({1, 1}));
    EXPECT_EQ(r.rows(), 1);
    EXPECT_EQ(r.cols(), 2);
    EXPECT_BITS_EQ(test::at(r, 1), 0.4);

    // a 3-d argument keeps its dimensions
    const int dims[3] = {1, 2, 2};
    Mm cube(0, 0, 0, 3, dims, qv_double);
    for (int k = 0; k < 4; ++k)
        cube.addr()[k] = 0.2 * (k + 1);
    r = betainc(cube, Mm(1.0), Mm(1.0));
    ASSERT_EQ(r.getndims(), 3);
    EXPECT_EQ(r.getdims()[2], 2);
    EXPECT_BITS_EQ(test::at(r, 3), 0.8);

    EXPECT_EQ(betainc(Mm(), Mm(2.0), Mm(3.0)).size(), 0);
    EXPECT_EQ(betainc(Mm(0.5), Mm(0, 0, 0, 1, 0, qv_double), Mm(3.0)).size(), 0);
}

TEST(Betainc, FrontReadsValuesOfOtherStorage)
{
    // bytes as their numbers
    Mm r = betainc(Mm(0.5), test::bytes(1, 2, {1, 2}), Mm(1.0));
    EXPECT_BITS_EQ(test::at(r, 0), 0.5);
    EXPECT_BITS_EQ(test::at(r, 1), 0.25);
    // a sparse x with an implicit zero: full storage, betainc(0, ...) = 0
    Mm s(0, 1, 1, 1, 3, qv_double);
    s.getindex()[0] = 2;
    s.addr()[0] = 0.5;
    r = betainc(s, Mm(1.0), Mm(1.0));
    ASSERT_EQ(r.size(), 3);
    EXPECT_FALSE(r.issparse());
    EXPECT_EQ(test::at(r, 0), 0.0);
    EXPECT_EQ(test::at(r, 1), 0.0);
    EXPECT_EQ(test::at(r, 2), 0.5);
    // the kernels are real: a complex argument is read by its real parts
    r = betainc(test::complex(1, 1, {0.5}, {3}), Mm(1.0), Mm(1.0));
    EXPECT_FALSE(r.isc());
    EXPECT_BITS_EQ(test::at(r, 0), 0.5);
}

TEST(Betainc, Messages)
{
    Mm cell(0, 0, 0, 1, 1, qv_cell);
    EXPECT_ERROR(betainc(Mm(0.5)), "betainc does not accept 1 input");
    EXPECT_ERROR(betainc(Mm(0.5), Mm(2.0)), "betainc does not accept 2 inputs");
    EXPECT_ERROR(betainc(Mm(0.5), cell, Mm(2.0)), "betainc: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(ellipj(cell, Mm(0.5)), "ellipj: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(ellipke(cell), "ellipke: numeric data expected, but matrix (temporary) is not");
    Mm sn, cn, dn;
    EXPECT_ERROR(ellipj(Mm(0.5)), "ellipj does not accept 1 input");
    EXPECT_ERROR(ellipj(Mm(0.5), i_o, sn, cn, dn), "ellipj does not accept 1 input");
}

TEST(Ellipke, ReferenceValues)
{
    ASSERT_GT(ke_reference.size(), 10u);
    for (const auto& c : ke_reference) {
        SCOPED_TRACE("ellipke(" + std::to_string(c.m) + ")");
        double k, e;
        ellipke_kernel(c.m, k, e);
        expect_close(k, c.k, c.tol_k);
        expect_close(e, c.e, c.tol_e);
    }
}

TEST(Ellipke, EndsOfTheRange)
{
    struct Case {
        const char* what;
        double m, k, e;
    };
    const std::vector<Case> cases = {
        {"ellipke(0)", 0, half_pi, half_pi},
        {"ellipke(1)", 1, inf, 1},
        {"ellipke(2)", 2, nan, nan},
        {"ellipke(1+eps)", 1.0000000000000002, nan, nan},
        {"ellipke(Inf)", inf, nan, nan},
        {"ellipke(NaN) is NaN", nan, nan, nan},
        {"ellipke(-Inf)", -inf, 0, inf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double k, e;
        ellipke_kernel(c.m, k, e);
        if (c.m == 0) {
            EXPECT_ULPS(k, c.k, 1);
            EXPECT_ULPS(e, c.e, 1);
            continue;
        }
        expect_same(k, c.k);
        expect_same(e, c.e);
    }
}

TEST(Ellipke, Front)
{
    Mm k, e;
    Mm m = test::real(2, 2, {0, 1, 0.5, 2});
    EXPECT_EQ(ellipke(m, i_o, k, e).size(), 0);
    ASSERT_EQ(k.rows(), 2);
    ASSERT_EQ(k.cols(), 2);
    ASSERT_EQ(e.size(), 4);
    EXPECT_ULPS(test::at(k, 0), half_pi, 1);
    EXPECT_EQ(test::at(k, 1), inf);
    EXPECT_EQ(test::at(e, 1), 1.0);
    EXPECT_TRUE(std::isnan(test::at(k, 3)));
    Mm k_only = ellipke(m);
    for (int j = 0; j < 3; ++j)
        EXPECT_BITS_EQ(test::at(k_only, j), test::at(k, j));
    ellipke(Mm(), i_o, k, e);
    EXPECT_EQ(k.size(), 0);
    EXPECT_EQ(e.size(), 0);
    // the output may be the argument itself
    Mm v = test::row({0.5});
    ellipke(v, i_o, e, v);
    EXPECT_NEAR(test::at(v, 0), 1.3506438810476755, 1e-15);
}

TEST(Ellipj, ReferenceValues)
{
    for (const auto& c : j_reference) {
        SCOPED_TRACE("ellipj(" + std::to_string(c.u) + ", " + std::to_string(c.m) + ")");
        double sn, cn, dn;
        ellipj_kernel(c.u, c.m, sn, cn, dn);
        expect_close(sn, c.sn, c.tol_sn);
        expect_close(cn, c.cn, c.tol_cn);
        expect_close(dn, c.dn, c.tol_dn);
    }
}

TEST(Ellipj, IdentitiesAndLimits)
{
    for (double m : {1e-12, 0.1, 0.5, 0.9, 0.999, 1 - 1e-12}) {
        for (double u : {-7.5, -1.0, 0.5, 2.0, 30.0}) {
            SCOPED_TRACE(std::to_string(u) + ", " + std::to_string(m));
            double sn, cn, dn;
            ellipj_kernel(u, m, sn, cn, dn);
            EXPECT_NEAR(sn * sn + cn * cn, 1.0, 4e-16);
            EXPECT_NEAR(dn * dn + m * sn * sn, 1.0, 4e-16);
        }
    }
    struct Case {
        const char* what;
        double u, m, sn, cn, dn;
    };
    const std::vector<Case> cases = {
        {"ellipj(0.3,0)", 0.3, 0, std::sin(0.3), std::cos(0.3), 1},
        {"ellipj(0.3,1)", 0.3, 1, std::tanh(0.3), 1 / std::cosh(0.3), 1 / std::cosh(0.3)},
        {"ellipj(0,0.5)", 0, 0.5, 0, 1, 1},
        {"ellipj(1,1.5)", 1, 1.5, nan, nan, nan},
        {"ellipj(1,-0.5)", 1, -0.5, nan, nan, nan},
        {"ellipj(1,NaN)", 1, nan, nan, nan, nan},
        {"ellipj(NaN,0.5)", nan, 0.5, nan, nan, nan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double sn, cn, dn;
        ellipj_kernel(c.u, c.m, sn, cn, dn);
        expect_same(sn, c.sn);
        expect_same(cn, c.cn);
        expect_same(dn, c.dn);
    }
    double sn, cn, dn;
    ellipj_kernel(0.5, 0.9, sn, cn, dn);
    EXPECT_NEAR(sn, 0.46384, 5e-6);
}

TEST(Ellipj, Front)
{
    Mm sn, cn, dn;
    // m has the most elements: its shape, u's first element throughout
    EXPECT_EQ(ellipj(Mm(0.5), test::real(2, 1, {0.2, 0.9}), i_o, sn, cn, dn).size(), 0);
    ASSERT_EQ(sn.rows(), 2);
    ASSERT_EQ(cn.cols(), 1);
    ASSERT_EQ(dn.size(), 2);
    double s, c, d;
    ellipj_kernel(0.5, 0.9, s, c, d);
    EXPECT_BITS_EQ(test::at(sn, 1), s);
    EXPECT_BITS_EQ(test::at(cn, 1), c);
    EXPECT_BITS_EQ(test::at(dn, 1), d);

    // u and m of equal counts: u's shape
    ellipj(test::row({0.1, 0.2}), test::real(2, 1, {0.3, 0.4}), i_o, sn, cn);
    EXPECT_EQ(sn.rows(), 1);
    EXPECT_EQ(cn.cols(), 2);

    Mm only_sn = ellipj(test::row({0.5, 1.5}), Mm(0.9));
    ASSERT_EQ(only_sn.size(), 2);
    EXPECT_BITS_EQ(test::at(only_sn, 0), s);

    // an empty argument: empty outputs, never a read of its missing element
    ellipj(Mm(), Mm(0.5), i_o, sn, cn, dn);
    EXPECT_EQ(sn.size(), 0);
    EXPECT_EQ(dn.size(), 0);
    ellipj(Mm(0.5), Mm(0, 0, 0, 1, 0, qv_double), i_o, sn, cn, dn);
    EXPECT_EQ(cn.size(), 0);

    // an output that is also the argument
    Mm u = test::row({0.5, 0.5});
    ellipj(u, Mm(0.9), i_o, u, cn, dn);
    EXPECT_BITS_EQ(test::at(u, 1), s);
    EXPECT_BITS_EQ(test::at(cn, 1), c);

    // bytes read as numbers
    ellipj(test::bytes(1, 1, {1}), Mm(0.0), i_o, sn, cn, dn);
    EXPECT_BITS_EQ(test::at(sn, 0), std::sin(1.0));
}

} // namespace
