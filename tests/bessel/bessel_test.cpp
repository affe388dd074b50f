// The Bessel language functions and the package around them: parameters,
// anchor values, shapes, negative orders, z = 0, real negative arguments,
// status mapping, argument errors, large-order identities, continuity at
// the method boundaries, and the generated coefficient tables.
#include "bessel/amos.hpp"
#include "test_support.hpp"
#include "velkor.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();
const double tol = 2.220446049250313e-16;

Mm cz(double re, double im)
{
    Mm z(1, 0, 0, 1, 1, qv_double);
    z.addr()[0] = re;
    z.addi()[0] = im;
    return z;
}

double re_of(const Mm& v, int k = 0) { return v.addr()[k]; }
double im_of(const Mm& v, int k = 0) { return v.addi() ? v.addi()[k] : 0.0; }

// besseli, besselj, besselk or bessely by its letter, with its status.
void by_letter(char f, double nu, const Mm& z, Mm& v, Mm& status)
{
    switch (f) {
    case 'I': besseli(Mm(nu), z, i_o, v, status); break;
    case 'J': besselj(Mm(nu), z, i_o, v, status); break;
    case 'K': besselk(Mm(nu), z, i_o, v, status); break;
    default: bessely(Mm(nu), z, i_o, v, status); break;
    }
}

double rel(double got_re, double got_im, double want_re, double want_im)
{
    return std::hypot(got_re - want_re, got_im - want_im) / std::hypot(want_re, want_im);
}

TEST(BesselPackage, ParametersFromTheMachineConstants)
{
    amos::Parameters p;
    amos::parameters(&p);
    struct Case {
        const char* name;
        double got, want;
    };
    const std::vector<Case> cases = {
        {"TOL", p.tol, 2.220446049250313e-16},          {"ELIM", p.elim, 700.9217936944459},
        {"ALIM", p.alim, 664.8716455337102},            {"DIG", p.dig, 15.653559774527022},
        {"FNUL", p.fnul, 85.92135864716212},            {"RL", p.rl, 21.784271729432426},
        {"magnitude", p.magnitude, 0.5 * 2147483647.0}, {"significance", p.significance, 32767.999992370605},
        {"UFL", p.ufl, 2.2250738585072014e-305},        {"ASCLE", p.ascle, 1.0020841800044864e-289},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(std::abs(test::ulps(c.got, c.want)), 1) << c.got;
    }
}

TEST(BesselFunctions, AnchorValues)
{
    struct Case {
        const char* what;
        Mm got;
        double want;
        int ulps;
    };
    const std::vector<Case> cases = {
        {"J0(1)", besselj(Mm(0.0), Mm(1.0)), 0.7651976865579666, 2},
        {"K0(1), series", besselk(Mm(0.0), Mm(1.0)), 0.42102443824070834, 2},
        {"K0(3), Miller", besselk(Mm(0.0), Mm(3.0)), 0.03473950438627925, 2},
        {"Ai(0)", airy(Mm(0.0), Mm(0.0)), 0.3550280538878172, 0},
        {"Ai'(0)", airy(Mm(1.0), Mm(0.0)), -0.2588194037928068, 0},
        {"Bi(0)", airy(Mm(2.0), Mm(0.0)), 0.6149266274460007, 0},
        {"Bi'(0)", airy(Mm(3.0), Mm(0.0)), 0.4482883573538264, 0},
        {"airy(z) is Ai", airy(Mm(0.0)), 0.3550280538878172, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.got.size(), 1);
        EXPECT_FALSE(c.got.addi());
        EXPECT_LE(std::abs(test::ulps(re_of(c.got), c.want)), c.ulps) << re_of(c.got);
    }
    // airy(2, z) is Bi(z) off the axis as well.
    Mm bi = airy(Mm(2.0), cz(1.5, 0.5));
    EXPECT_LT(rel(re_of(bi), im_of(bi), 1.5468176062000735, 0.8489619949876454), 1e-14);
}

TEST(BesselFunctions, HalfOrderKIsItsClosedForm)
{
    // K(1/2, z) = sqrt(pi/(2z)) exp(-z), with no Miller recurrence in the
    // right half plane; the left half plane goes through the continuation.
    const std::vector<std::pair<double, double>> points = {{0.7, 0}, {3, 0}, {30, 0}, {2, 5}, {0.1, -9}, {-4, 1}};
    for (auto [zr, zi] : points) {
        SCOPED_TRACE(std::to_string(zr) + "," + std::to_string(zi));
        std::complex<double> z(zr, zi);
        std::complex<double> want = std::sqrt(3.141592653589793 / (2.0 * z)) * std::exp(-z);
        Mm k = besselk(Mm(0.5), zi == 0 ? Mm(zr) : cz(zr, zi));
        EXPECT_LT(rel(re_of(k), im_of(k), want.real(), want.imag()), zr >= 0 ? 8 * tol : 1e-13);
    }
}

TEST(BesselFunctions, ResultShapes)
{
    struct Case {
        const char* what;
        Mm got;
        std::vector<int> extents;
    };
    const std::vector<Case> cases = {
        {"orders along a row", besselj(test::row({0, 1, 2}), Mm(1.0)), {1, 3}},
        {"one order keeps z's shape", besselj(Mm(0.0), test::real(2, 2, {1, 2, 3, 4})), {2, 2}},
        {"z by orders", besselj(test::row({0, 1}), test::real(2, 2, {1, 2, 3, 4})), {4, 2}},
        {"three dimensions", besseli(Mm(1.0), zeros(Mm(2.0), Mm(1.0), Mm(3.0))), {2, 1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.got), c.extents);
    }
    // Column j holds order j; rows follow z in column-major order.
    Mm v = besselj(test::row({0, 1}), test::real(2, 2, {1, 2, 3, 4}));
    EXPECT_EQ(re_of(v, 5), re_of(besselj(Mm(1.0), Mm(2.0))));
    EXPECT_EQ(re_of(v, 2), re_of(besselj(Mm(0.0), Mm(3.0))));

    Mm value, status;
    besselj(Mm(0.0), test::real(2, 3, {1, 2, 3, 4, 5, 6}), i_o, value, status);
    EXPECT_EQ(test::extents(status), (std::vector<int>{2, 3}));
    EXPECT_FALSE(status.addi());
    besselj(Mm(0.0), zeros(Mm(0.0), Mm(3.0)), i_o, value, status);
    EXPECT_EQ(value.size(), 0);
    EXPECT_EQ(status.size(), 0);
    EXPECT_EQ(test::extents(status), test::extents(value));

    EXPECT_FALSE(besselj(Mm(0.5), Mm(2.0)).addi());
    Mm h = besselh(Mm(0.5), Mm(1.0));
    ASSERT_TRUE(h.addi());
    EXPECT_NE(im_of(h), 0);
}

TEST(BesselFunctions, NegativeOrders)
{
    EXPECT_EQ(re_of(besselj(Mm(-1.0), Mm(2.0))), -re_of(besselj(Mm(1.0), Mm(2.0))));
    EXPECT_EQ(re_of(besseli(Mm(-1.0), Mm(2.0))), re_of(besseli(Mm(1.0), Mm(2.0))));
    EXPECT_EQ(re_of(besselk(Mm(-0.3), Mm(2.0))), re_of(besselk(Mm(0.3), Mm(2.0))));
    EXPECT_LT(std::fabs(re_of(besselj(Mm(-2.3), Mm(4.0))) / 0.1696944813854895 - 1), 1e-13);
    EXPECT_LT(std::fabs(re_of(bessely(Mm(-2.3), Mm(4.0))) / 0.3985725709795590 - 1), 1e-13);

    // Integer orders: exact sign symmetry, (-1)^n for J, Y and H, none for I.
    const Mm z = cz(1.5, -2.5);
    for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        const double sign = n % 2 ? -1 : 1;
        struct Pair {
            Mm neg, pos;
            double sign;
        };
        const std::vector<Pair> pairs = {
            {besselj(Mm(-n), z), besselj(Mm(n), z), sign},
            {bessely(Mm(-n), z), bessely(Mm(n), z), sign},
            {besselh(Mm(-n), Mm(1.0), z), besselh(Mm(n), Mm(1.0), z), sign},
            {besselh(Mm(-n), Mm(2.0), z), besselh(Mm(n), Mm(2.0), z), sign},
            {besseli(Mm(-n), z), besseli(Mm(n), z), 1},
            {besselk(Mm(-n), z), besselk(Mm(n), z), 1},
        };
        for (const Pair& p : pairs) {
            EXPECT_EQ(re_of(p.neg), p.sign * re_of(p.pos));
            EXPECT_EQ(im_of(p.neg), p.sign * im_of(p.pos));
        }
    }
}

TEST(BesselFunctions, NegativeHalfIntegerOrders)
{
    // At nu = -k - 1/2 one weight of the reflection is exactly zero: a
    // residue of cos(nu pi) would multiply Y(k + 1/2, z), many orders of
    // magnitude larger than the answer at small z. Values from mpmath.
    struct Case {
        const char* what;
        Mm got;
        double want;
    };
    const std::vector<Case> cases = {
        {"Y(-7.5, 0.05)", bessely(Mm(-7.5), Mm(0.05)), -6.875812978962495766e-17},
        {"Y(-20.5, 3)", bessely(Mm(-20.5), Mm(3.0)), 3.308762819568148411e-16},
        {"Y(-7.5, 1)", bessely(Mm(-7.5), Mm(1.0)), -3.821974121348042196e-07},
        {"J(-7.5, 0.05)", besselj(Mm(-7.5), Mm(0.05)), -6.172692383136902410e+14},
        {"I(-7.5, 0.05)", besseli(Mm(-7.5), Mm(0.05)), -6.171505441041786078e+14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_LE(std::fabs(re_of(c.got) / c.want - 1), 8 * tol) << re_of(c.got);
    }
    // Y(-k-1/2) = (-1)^k J(k+1/2), J(-k-1/2) = (-1)^(k+1) Y(k+1/2) and
    // H1(-k-1/2) = i (-1)^k H1(k+1/2) hold to the last bit.
    const std::vector<Mm> points = {Mm(0.05), Mm(3.0), cz(2, -1.5), cz(-0.7, 0.1)};
    for (int k : {0, 1, 7, 20}) {
        const double a = k + 0.5, sign = k % 2 ? -1 : 1;
        for (const Mm& z : points) {
            SCOPED_TRACE(std::to_string(k) + " at " + std::to_string(re_of(z)) + "," + std::to_string(im_of(z)));
            Mm y = bessely(Mm(-a), z), j = besselj(Mm(a), z);
            EXPECT_EQ(re_of(y), sign * re_of(j));
            EXPECT_EQ(im_of(y), sign * im_of(j));
            Mm jn = besselj(Mm(-a), z), yp = bessely(Mm(a), z);
            EXPECT_EQ(re_of(jn), -sign * re_of(yp));
            EXPECT_EQ(im_of(jn), -sign * im_of(yp));
            Mm hn = besselh(Mm(-a), Mm(1.0), z), hp = besselh(Mm(a), Mm(1.0), z);
            EXPECT_EQ(re_of(hn), -sign * im_of(hp));
            EXPECT_EQ(im_of(hn), sign * re_of(hp));
        }
    }
}

// Reflections where a term overflows, and real values that overflow at
// any order (bessely(2, 1e-300) is -Inf): the element is the finite value
// where that is representable, else an infinity of the value's sign with
// status 2, never NaN with status 0.
struct Overflow {
    char f;
    double nu, zr, zi, re, im;
    int status;
};
const std::vector<Overflow> overflows = {
#include "data/bessel_overflow.inc"
};

TEST(BesselFunctions, ReflectionsAtTheOverflowLimit)
{
    struct Case {
        const char* what;
        Mm got, status;
        double want;
        int want_status;
    };
    std::vector<Case> cases = {
        {"besseli(-0.5, 710)", Mm(), Mm(), 3.344745227808010812e+306, 0},
        {"besseli(-2.5, 1000)", Mm(), Mm(), inf, 2},
        {"bessely(-20.3, 1e-14)", Mm(), Mm(), -1.137873283933285732e+307, 0},
    };
    besseli(Mm(-0.5), Mm(710.0), i_o, cases[0].got, cases[0].status);
    besseli(Mm(-2.5), Mm(1000.0), i_o, cases[1].got, cases[1].status);
    bessely(Mm(-20.3), Mm(1e-14), i_o, cases[2].got, cases[2].status);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(re_of(c.status), c.want_status);
        if (std::isinf(c.want))
            EXPECT_EQ(re_of(c.got), c.want);
        else
            EXPECT_LE(std::fabs(re_of(c.got) / c.want - 1), 1e-13) << re_of(c.got);
    }

    for (const Overflow& o : overflows) {
        SCOPED_TRACE(std::string(1, o.f) + " " + std::to_string(o.nu) + " at (" + std::to_string(o.zr) + "," +
                     std::to_string(o.zi) + ")");
        const Mm z = o.zi == 0 ? Mm(o.zr) : cz(o.zr, o.zi);
        Mm v, st;
        by_letter(o.f, o.nu, z, v, st);
        EXPECT_EQ(re_of(st), o.status);
        if (o.status == 2) {
            // The infinite parts carry the value's signs.
            if (std::isinf(o.re)) {
                EXPECT_EQ(re_of(v), o.re);
            }
            if (std::isinf(o.im)) {
                EXPECT_EQ(im_of(v), o.im);
            }
        } else {
            EXPECT_LE(rel(re_of(v), im_of(v), o.re, o.im), 1e-13) << re_of(v) << " " << im_of(v);
        }
    }
}

// The calls a user met: negative non-integer orders whose value passes the
// largest double part-way through the order recurrence, or with |z| so
// small that z^2 and 1/z leave the range, gave NaN with status 0 (mpmath:
// +5.2e1058, +1.2e487, -6.8e2042, -8.6e486, 1.06e487 - 5.4e486i, +3.75e356).
TEST(BesselFunctions, NegativeOrdersPastTheLargestDouble)
{
    struct Case {
        char f;
        double nu, zr, zi, re, im;
    };
    const std::vector<Case> cases = {
        {'J', -10.5, 1e-100, 0, inf, 0},   {'J', -100.3, 0.001, 0, inf, 0}, {'Y', -20.2, 1e-100, 0, -inf, 0},
        {'Y', -100.3, 0.001, 0, -inf, 0}, {'I', -100.3, 0, 0.001, inf, -inf}, {'J', -170.5, 1, 0, inf, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.f) + "(" + std::to_string(c.nu) + ", " + std::to_string(c.zr) + "+" +
                     std::to_string(c.zi) + "i)");
        const Mm z = c.zi == 0 ? Mm(c.zr) : cz(c.zr, c.zi);
        Mm v, st;
        by_letter(c.f, c.nu, z, v, st);
        EXPECT_EQ(re_of(st), 2);
        EXPECT_EQ(re_of(v), c.re);
        EXPECT_EQ(im_of(v), c.im);
    }
}

// Negative non-integer orders from -0.3 to -170.5 (beside two orders just
// off an integer and a half-integer) and |z| from 1e-300 to 1, on and off
// the real axis, and each side of the argument where the value reaches the
// largest double: finite values to the accuracy of the reflection's terms,
// status 0, and past the largest double an infinity of each part's sign
// with status 2 (mpmath values from tools/reference/bessel_negative_orders.py).
struct NegativeOrder {
    char f;
    double nu, zr, zi, re, im, envelope;
    int status;
};
const std::vector<NegativeOrder> negative_orders = {
#include "data/bessel_negative_orders.inc"
};

TEST(BesselFunctions, NegativeOrdersFromTinyArgumentsToOne)
{
    for (const NegativeOrder& o : negative_orders) {
        char what[96];
        std::snprintf(what, sizeof what, "%c(%.17g, %.17g%+.17gi)", o.f, o.nu, o.zr, o.zi);
        SCOPED_TRACE(what);
        const Mm z = o.zi == 0 ? Mm(o.zr) : cz(o.zr, o.zi);
        Mm v, st;
        by_letter(o.f, o.nu, z, v, st);
        EXPECT_EQ(re_of(st), o.status) << re_of(v) << " " << im_of(v);
        const double parts[2][2] = {{re_of(v), o.re}, {im_of(v), o.im}};
        for (const auto& p : parts) {
            // a finite part beside an infinite one is measured by itself; a
            // value near 1e+-300 is exp(x) with |x| near 700, and the
            // package's exp and log carry |x| eps of it
            const double scale = o.status == 2 ? std::fabs(p[1]) : o.envelope;
            if (std::isinf(p[1]) || scale == 0) {
                EXPECT_EQ(p[0], p[1]);
            } else {
                const double bound = 1e-13 + std::fabs(std::log(scale)) * tol;
                EXPECT_LE(std::fabs(p[0] - p[1]), bound * scale) << p[0] << " want " << p[1];
            }
        }
    }
}

// I at a negative order just off an integer and small |z|: the K term of
// the reflection overflows, its weight does not let the sum, and the
// weighted K comes from the recurrence in the order, scaled (the retry of
// an unscaled call too) into I's scale before it is summed (mpmath values
// from tools/reference/bessel_k_recurrence.py).
TEST(BesselFunctions, ReflectedIWithTheKTermFromTheRecurrence)
{
    struct Case {
        double nu, zr, zi;
        int scale;
        double re, im;
    };
    const std::vector<Case> cases = {
        {-150.00000095367431641, 0.9, 0.0, 0, 3.7821377923902798e+306, 0.0},
        {-150.00000095367431641, 0.9, 0.0, 1, 1.5377024753441767e+306, 0.0},
        {-150.00000095367431641, 0.9, 0.3, 0, -5.8495702881939176e+302, 1.2714518398200667e+303},
        {-150.00000095367431641, 0.9, 0.3, 1, -2.3782578016997193e+302, 5.1693374189220322e+302},
        {-150.00000000093132257, 0.9, 0.0, 0, 3.6934735075674549e+303, 0.0},
        {-150.00000000093132257, 0.9, 0.0, 1, 1.5016542672326172e+303, 0.0},
        {-150.00000000093132257, 0.9, 0.3, 0, -5.7124434792687833e+299, 1.2416452064198339e+300},
        {-150.00000000093132257, 0.9, 0.3, 1, -2.3225062016537133e+299, 5.0481526909265779e+299},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("besseli(" + std::to_string(c.nu) + ", " + std::to_string(c.zr) + "+" + std::to_string(c.zi) +
                     "i, " + std::to_string(c.scale) + ")");
        const Mm z = c.zi == 0 ? Mm(c.zr) : cz(c.zr, c.zi);
        Mm v, st;
        besseli(Mm(c.nu), z, Mm(double(c.scale)), i_o, v, st);
        EXPECT_EQ(re_of(st), 0);
        // the package's K at orders 1e-6 off an integer is good to about
        // 1e-13 itself (K(146 + 2^-20, 0.9): 8e-14)
        EXPECT_LE(rel(re_of(v), im_of(v), c.re, c.im), 2e-13) << re_of(v) << " " << im_of(v);
    }
}

TEST(BesselFunctions, AiryTakesTheTruncatedK)
{
    // k counts toward zero: -0.5 is Ai, 1.7 Ai', 2.5 Bi, 3.9 Bi' (mpmath).
    struct Case {
        const char* what;
        Mm got, same;
        double want;
    };
    const std::vector<Case> cases = {
        {"airy(-0.5, 1)", airy(Mm(-0.5), Mm(1.0)), airy(Mm(0.0), Mm(1.0)), 0.13529241631288141552},
        {"airy(1.7, 2)", airy(Mm(1.7), Mm(2.0)), airy(Mm(1.0), Mm(2.0)), -0.05309038443365363170},
        {"airy(2.5, 1)", airy(Mm(2.5), Mm(1.0)), airy(Mm(2.0), Mm(1.0)), 1.2074235949528712594},
        {"airy(3.9, 0.5)", airy(Mm(3.9), Mm(0.5)), airy(Mm(3.0), Mm(0.5)), 0.5445725641405923018},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(re_of(c.got), re_of(c.same));
        EXPECT_LE(std::fabs(re_of(c.got) / c.want - 1), 8 * tol) << re_of(c.got);
    }
    Mm v, st;
    airy(Mm(-0.5), Mm(1.0), i_o, v, st);
    EXPECT_EQ(re_of(st), 0);
}

TEST(BesselFunctions, NaNArgumentsFailInEveryFamily)
{
    // NaN with the status of a computation that did not complete (5), the
    // same for every family and every order.
    const Mm zs[] = {cz(qnan, 0), cz(qnan, qnan), cz(1, qnan), Mm(qnan)};
    for (const Mm& z : zs) {
        for (double nu : {0.0, 1.0, 2.5, -2.5, -3.0}) {
            struct Case {
                const char* what;
                int code;
                double order;
            };
            const std::vector<Case> cases = {
                {"H1", 72, nu}, {"H2", 144, nu}, {"J", 74, nu},          {"Y", 89, nu},          {"I", 73, nu},
                {"K", 75, nu},  {"Ai", 65, 0},   {"Ai'", 65, 1},         {"Bi", 66, 0},          {"Bi'", 66, 1},
            };
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + " " + std::to_string(c.order) + " at (" +
                             std::to_string(re_of(z)) + "," + std::to_string(im_of(z)) + ")");
                Mm v, st;
                bessel_dispatch(c.code, Mm(c.order), z, Mm(0.0), v, st);
                EXPECT_TRUE(std::isnan(re_of(v)));
                EXPECT_EQ(re_of(st), 5);
            }
        }
    }
    Mm v, st;
    besselh(Mm(0.0), Mm(1.0), cz(qnan, qnan), i_o, v, st);
    EXPECT_EQ(re_of(st), 5);
    airy(Mm(0.0), cz(qnan, 1), i_o, v, st);
    EXPECT_EQ(re_of(st), 5);
}

TEST(BesselFunctions, ScaledReflectionsMatchTheUnscaledValues)
{
    // Every reflected scaled form is the unscaled value times its factor.
    struct Case {
        char f;
        double nu, zr, zi;
    };
    const std::vector<Case> cases = {
        {'I', -0.3, 2, 0},   {'I', -2.7, 3, 1},    {'I', -0.5, -1.5, 2}, {'I', -4.2, 0.5, -7},
        {'J', -0.3, 2, 0},   {'J', -2.7, 3, 1},    {'J', -1.5, -1, -4},  {'Y', -0.3, 2, 0},
        {'Y', -3.6, 1, 5},   {'Y', -0.5, -2, -1},  {'1', -0.3, 2, 1},    {'1', -2.5, -3, 4},
        {'2', -0.3, 2, -1},  {'2', -1.7, 0.5, -3}, {'K', -0.3, 2, 3},    {'K', -5.5, -2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.f) + " " + std::to_string(c.nu) + " " + std::to_string(c.zr) + "," +
                     std::to_string(c.zi));
        const Mm z = c.zi == 0 ? Mm(c.zr) : cz(c.zr, c.zi), nu(c.nu);
        std::complex<double> zc(c.zr, c.zi), scale_by;
        Mm plain, scaled;
        switch (c.f) {
        case 'I':
            plain = besseli(nu, z);
            scaled = besseli(nu, z, Mm(1.0));
            scale_by = std::exp(-std::fabs(c.zr));
            break;
        case 'J':
            plain = besselj(nu, z);
            scaled = besselj(nu, z, Mm(1.0));
            scale_by = std::exp(-std::fabs(c.zi));
            break;
        case 'Y':
            plain = bessely(nu, z);
            scaled = bessely(nu, z, Mm(1.0));
            scale_by = std::exp(-std::fabs(c.zi));
            break;
        case 'K':
            plain = besselk(nu, z);
            scaled = besselk(nu, z, Mm(1.0));
            scale_by = std::exp(zc);
            break;
        default: {
            const double kind = c.f == '1' ? 1 : 2;
            plain = besselh(nu, Mm(kind), z);
            scaled = besselh(nu, Mm(kind), z, Mm(1.0));
            scale_by = std::exp((kind == 1 ? -1.0 : 1.0) * std::complex<double>(0, 1) * zc);
        }
        }
        std::complex<double> want = std::complex<double>(re_of(plain), im_of(plain)) * scale_by;
        EXPECT_LT(rel(re_of(scaled), im_of(scaled), want.real(), want.imag()), 1e-13);
    }
    EXPECT_LT(std::fabs(re_of(besseli(Mm(-0.3), Mm(2.0), Mm(1.0))) / 0.30279932966305298 - 1), 1e-13);
}

TEST(BesselFunctions, ZeroArgument)
{
    struct Case {
        const char* what;
        int code;
        double nu, re, im;
    };
    const std::vector<Case> cases = {
        {"J0(0)", 74, 0, 1, 0},          {"J1(0)", 74, 1, 0, 0},         {"J2.5(0)", 74, 2.5, 0, 0},
        {"J-2(0)", 74, -2, 0, 0},        {"I0(0)", 73, 0, 1, 0},          {"Y0(0)", 89, 0, -inf, 0},
        {"Y3(0)", 89, 3, -inf, 0},       {"K0(0)", 75, 0, inf, 0},        {"K-2.5(0)", 75, -2.5, inf, 0},
        // Negative orders give the limit along the positive real axis:
        // Y(-1/2, z) = J(1/2, z) and Y(-3/2, z) = -J(3/2, z) tend to 0,
        // J(-1/2, z) = Y(1/2, z) and I(-1/2, z) grow to +Inf, and the sign
        // of the others follows cos(a pi) (Y) or sin(a pi) (J, I), a = -nu.
        {"Y-0.5(0)", 89, -0.5, 0, 0},    {"Y-1.5(0)", 89, -1.5, 0, 0},    {"Y-2.5(0)", 89, -2.5, 0, 0},
        {"Y-0.3(0)", 89, -0.3, -inf, 0}, {"Y-0.7(0)", 89, -0.7, inf, 0},  {"Y-1(0)", 89, -1, inf, 0},
        {"Y-2(0)", 89, -2, -inf, 0},     {"J-0.5(0)", 74, -0.5, inf, 0},  {"J-1.5(0)", 74, -1.5, -inf, 0},
        {"J-0.3(0)", 74, -0.3, inf, 0},  {"J-1.3(0)", 74, -1.3, -inf, 0}, {"I-0.5(0)", 73, -0.5, inf, 0},
        {"I-1.5(0)", 73, -1.5, -inf, 0}, {"I-2.3(0)", 73, -2.3, inf, 0},
        {"H1 0(0)", 72, 0, qnan, 0},     {"H2 1.5(0)", 144, 1.5, qnan, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm v, st;
        bessel_dispatch(c.code, Mm(c.nu), Mm(0.0), Mm(0.0), v, st);
        if (std::isnan(c.re))
            EXPECT_TRUE(std::isnan(re_of(v)));
        else
            EXPECT_EQ(re_of(v), c.re);
        EXPECT_EQ(im_of(v), c.im);
        EXPECT_EQ(re_of(st), 0);
    }
    EXPECT_TRUE(std::isnan(re_of(besselh(Mm(0.0), Mm(0.0)))));
}

TEST(BesselFunctions, RealNegativeArgumentsKeepTheirImaginaryPart)
{
    struct Case {
        const char* what;
        Mm got;
        double re, im;
        bool real_result;
    };
    const std::vector<Case> cases = {
        {"J(0.5, -1)", besselj(Mm(0.5), Mm(-1.0)), 0, 0.6713967071418031, false},
        {"Y(0, -1)", bessely(Mm(0.0), Mm(-1.0)), 0.08825696421567696, 1.530395373115933, false},
        {"K(0, -1)", besselk(Mm(0.0), Mm(-1.0)), 0.4210244382407083, -3.977463260506423, false},
        {"J(0, -1)", besselj(Mm(0.0), Mm(-1.0)), 0.7651976865579666, 0, true},
        {"I(1, -2)", besseli(Mm(1.0), Mm(-2.0)), -1.590636854637329, 0, true},
        {"J(-0.5, -1), reflected", besselj(Mm(-0.5), Mm(-1.0)), 0, -0.4310988680183761, false},
        {"Ai(-2)", airy(Mm(0.0), Mm(-2.0)), 0.22740742820168558, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got.addi() == nullptr, c.real_result);
        double scale = std::hypot(c.re, c.im);
        EXPECT_LT(std::hypot(re_of(c.got) - c.re, im_of(c.got) - c.im) / scale, 1e-13);
    }
    // Mixed signs: the elements at z >= 0 keep their real values.
    Mm v = besselj(Mm(0.5), test::row({2, -1}));
    ASSERT_TRUE(v.addi());
    EXPECT_EQ(re_of(v, 0), re_of(besselj(Mm(0.5), Mm(2.0))));
    EXPECT_EQ(im_of(v, 0), 0);
}

TEST(BesselFunctions, StatusMapping)
{
    struct Case {
        const char* what;
        int code;
        Mm nu, z, scale;
        double status;
        enum { nan, plus_inf, zero, finite } value;
    };
    const std::vector<Case> cases = {
        {"I overflows", 73, Mm(1.0), Mm(1000.0), Mm(0.0), 2, Case::plus_inf},
        {"scaled I is finite", 73, Mm(1.0), Mm(1000.0), Mm(1.0), 0, Case::finite},
        {"scale 5", 73, Mm(1.0), Mm(2.0), Mm(5.0), 1, Case::nan},
        {"scale NaN", 73, Mm(1.0), Mm(2.0), Mm(qnan), 1, Case::nan},
        {"scale Inf", 74, Mm(1.0), Mm(2.0), Mm(inf), 1, Case::nan},
        {"scale huge", 75, Mm(1.0), Mm(2.0), Mm(1e300), 1, Case::nan},
        {"scale -1", 89, Mm(1.0), Mm(2.0), Mm(-1.0), 1, Case::nan},
        {"order 2e9", 74, Mm(2e9), Mm(1.0), Mm(0.0), 4, Case::nan},
        {"order beyond int", 74, Mm(1e12), Mm(1.0), Mm(0.0), 4, Case::nan},
        {"negative order beyond int", 74, Mm(-1e12 - 0.5), Mm(1.0), Mm(0.0), 4, Case::nan},
        {"order Inf", 73, Mm(inf), Mm(1.0), Mm(0.0), 4, Case::nan},
        {"order NaN", 74, Mm(qnan), Mm(1.0), Mm(0.0), 1, Case::nan},
        {"|z| 1.1e9", 74, Mm(0.0), Mm(1.1e9), Mm(0.0), 4, Case::nan},
        {"|z| 4e4", 74, Mm(0.0), Mm(4e4), Mm(0.0), 3, Case::finite},
        {"K underflows", 75, Mm(1.0), Mm(800.0), Mm(0.0), 0, Case::zero},
        {"scaled K", 75, Mm(1.0), Mm(800.0), Mm(1.0), 0, Case::finite},
        {"K(200, 1) overflows", 75, Mm(200.0), Mm(1.0), Mm(0.0), 2, Case::plus_inf},
        {"Ai(110) underflows", 65, Mm(0.0), Mm(110.0), Mm(0.0), 0, Case::zero},
        {"Ai(100) is computed", 65, Mm(0.0), Mm(100.0), Mm(0.0), 0, Case::finite},
        {"Bi(200) overflows", 66, Mm(0.0), Mm(200.0), Mm(0.0), 2, Case::plus_inf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm v, st;
        bessel_dispatch(c.code, c.nu, c.z, c.scale, v, st);
        EXPECT_EQ(re_of(st), c.status);
        double x = re_of(v);
        switch (c.value) {
        case Case::nan: EXPECT_TRUE(std::isnan(x)) << x; break;
        case Case::plus_inf: EXPECT_EQ(x, inf); break;
        case Case::zero: EXPECT_EQ(x, 0); break;
        case Case::finite: EXPECT_TRUE(std::isfinite(x) && x != 0) << x; break;
        }
    }
    // The values that the finite cases must hold.
    EXPECT_LT(std::fabs(re_of(besseli(Mm(0.0), Mm(1000.0), Mm(1.0))) / 0.012617240455891257 - 1), 1e-13);
    EXPECT_LT(std::fabs(re_of(besselk(Mm(1.0), Mm(800.0), Mm(1.0))) / 0.044332109111412112 - 1), 1e-13);
    EXPECT_LT(std::fabs(re_of(besselj(Mm(0.0), Mm(4e4))) / 0.0035801470361133655 - 1), 1e-9);
    EXPECT_LT(std::fabs(re_of(airy(Mm(0.0), Mm(100.0))) / 2.6344821520881844e-291 - 1), 1e-12);
}

TEST(BesselPackage, DriverStatuses)
{
    double zr = 1e-306, zi = 0, fnu = 1, yr = 0, yi = 0, wr, wi;
    int kode = 1, n = 1, nz = 0, ierr = 0, id = 2;
    amos::ZBESK(&zr, &zi, &fnu, &kode, &n, &yr, &yi, &nz, &ierr);
    EXPECT_EQ(ierr, 2) << "K(1, 1e-306): |z| below UFL";
    zr = 1;
    amos::ZBIRY(&zr, &zi, &id, &kode, &yr, &yi, &ierr);
    EXPECT_EQ(ierr, 1) << "ID = 2";
    amos::ZAIRY(&zr, &zi, &id, &kode, &yr, &yi, &nz, &ierr);
    EXPECT_EQ(ierr, 1);
    zr = 0;
    fnu = 0;
    amos::ZBESY(&zr, &zi, &fnu, &kode, &n, &yr, &yi, &nz, &wr, &wi, &ierr);
    EXPECT_EQ(ierr, 1) << "Y at z = 0";
    amos::ZBESI(&zr, &zi, &fnu, &kode, &n, &yr, &yi, &nz, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(yr, 1);
    // K(1, 800) underflows with NZ = 1; I(0, 1e-310) = 1, I(1, 1e-310) = 0
    // with the underflow counted.
    zr = 800;
    fnu = 1;
    amos::ZBESK(&zr, &zi, &fnu, &kode, &n, &yr, &yi, &nz, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(nz, 1);
    EXPECT_EQ(yr, 0);
    double cyr[2], cyi[2];
    zr = 1e-310;
    fnu = 0;
    n = 2;
    amos::ZBESI(&zr, &zi, &fnu, &kode, &n, cyr, cyi, &nz, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(cyr[0], 1);
    EXPECT_EQ(cyr[1], 0);
    EXPECT_EQ(nz, 1);
}

TEST(BesselFunctions, ArgumentErrors)
{
    const Mm z = cz(1, 1);
    EXPECT_ERROR(besselj(cz(1, 2), z), "bessel: nu must be real");
    EXPECT_ERROR(besselj(cz(1, 2), Mm(1.0)), "bessel: nu must be real");
    EXPECT_ERROR(besselk(cz(0, 1), Mm(1.0)), "bessel: nu must be real");
    EXPECT_ERROR(besselh(Mm(1.0), Mm(3.0), z), "besselh: k must be 1 or 2");
    EXPECT_ERROR(besselh(Mm(1.0), Mm(qnan), z), "besselh: k must be 1 or 2");
    EXPECT_ERROR(besselh(Mm(1.0), Mm(0.0), z, Mm(0.0)), "besselh: k must be 1 or 2");
    EXPECT_ERROR(airy(Mm(4.0), z), "airy: k must be 0,1,2,3");
    EXPECT_ERROR(airy(Mm(qnan), z), "airy: k must be 0,1,2,3");
    EXPECT_ERROR(airy(Mm(-1.0), z), "airy: k must be 0,1,2,3");
    EXPECT_ERROR(airy(Mm(-inf), z), "airy: k must be 0,1,2,3");
}

TEST(BesselFunctions, OlderNames)
{
    Mm v, e;
    bessela(Mm(1.0), Mm(2.0), i_o, v, e);
    EXPECT_EQ(re_of(e), 15.653559774527022);
    EXPECT_EQ(re_of(v), re_of(besselj(Mm(1.0), Mm(2.0))));
    EXPECT_EQ(re_of(bessel(Mm(2.5), Mm(3.0))), re_of(besselj(Mm(2.5), Mm(3.0))));
    EXPECT_EQ(re_of(bessel(Mm(0.0))), 1);
    EXPECT_EQ(re_of(bessela(Mm(1.0))), 0);
    Mm st;
    bessel(Mm(1.0), Mm(2.0), i_o, v, st);
    EXPECT_EQ(re_of(st), 0);
}

// I(nu) K(nu+1) + I(nu+1) K(nu) = 1/z for large orders, by expansion 1 and 2
// and across the continuation.
TEST(BesselFunctions, LargeOrderWronskian)
{
    const std::vector<std::pair<double, std::complex<double>>> cases = {
        {100, {50, 0}},   {100, {0, 50}},   {100, {30, 40}},   {150.5, {3, 140}}, {90, {120, -10}},
        {86.5, {-5, 60}}, {200, {20, 20}},  {100, {-40, 10}},  {120, {1, -1}},   {95.25, {10, -200}},
    };
    for (auto [nu, z] : cases) {
        SCOPED_TRACE(std::to_string(nu) + " " + std::to_string(z.real()) + "," + std::to_string(z.imag()));
        const Mm zz = z.imag() == 0 ? Mm(z.real()) : cz(z.real(), z.imag());
        // Scaled forms keep the products in range: exp(-|Re z|) exp(z).
        Mm i0 = besseli(Mm(nu), zz, Mm(1.0)), i1 = besseli(Mm(nu + 1), zz, Mm(1.0));
        Mm k0 = besselk(Mm(nu), zz, Mm(1.0)), k1 = besselk(Mm(nu + 1), zz, Mm(1.0));
        std::complex<double> I0(re_of(i0), im_of(i0)), I1(re_of(i1), im_of(i1));
        std::complex<double> K0(re_of(k0), im_of(k0)), K1(re_of(k1), im_of(k1));
        std::complex<double> w = (I0 * K1 + I1 * K0) * std::exp(std::fabs(z.real()) - z);
        EXPECT_LT(std::abs(w * z - 1.0), 1e-13) << w;
    }
}

// Arguments one or two ulps apart on the two sides of a method boundary
// (|z| = 2, |z| = RL, order = FNUL): the computed difference matches the
// true one to the accuracy of the methods (a few 1e-14 of the value).
struct Boundary {
    char f;
    double nu0, zr0, zi0, nu1, zr1, zi1, re0, im0, re1, im1;
};
const std::vector<Boundary> boundaries = {
#include "data/bessel_boundaries.inc"
};

TEST(BesselFunctions, MethodBoundariesAgree)
{
    for (const Boundary& b : boundaries) {
        SCOPED_TRACE(std::string(1, b.f) + " " + std::to_string(b.nu0) + " " + std::to_string(b.zr0) + "," +
                     std::to_string(b.zi0));
        std::complex<double> got[2];
        for (int side = 0; side < 2; ++side) {
            double nu = side ? b.nu1 : b.nu0, zr = side ? b.zr1 : b.zr0, zi = side ? b.zi1 : b.zi0;
            Mm z = zi == 0 ? Mm(zr) : cz(zr, zi), v;
            switch (b.f) {
            case 'I': v = besseli(Mm(nu), z, Mm(1.0)); break;
            case 'J': v = besselj(Mm(nu), z, Mm(1.0)); break;
            case 'K': v = besselk(Mm(nu), z, Mm(1.0)); break;
            default: v = besselh(Mm(nu), Mm(1.0), z, Mm(1.0)); break;
            }
            got[side] = {re_of(v), im_of(v)};
        }
        std::complex<double> want0(b.re0, b.im0), want1(b.re1, b.im1);
        double jump = std::abs((got[1] - got[0]) - (want1 - want0)) / std::abs(want0);
        EXPECT_LT(jump, 400 * tol) << got[0] << " " << got[1];
    }
}

namespace tables {
#include "bessel/amos_tables.inc"

struct Sum {
    const char* name;
    const double* values;
    double sum, sum_of_squares;
    int count;
};
const std::vector<Sum> sums = {
#include "data/table_sums.inc"
};
} // namespace tables

TEST(BesselPackage, GeneratedTablesMatchTheirGenerator)
{
    for (const tables::Sum& t : tables::sums) {
        SCOPED_TRACE(t.name);
        // Compensated sums: the Debye coefficients cancel over 14 digits.
        double s = 0, cs = 0, q = 0, cq = 0;
        auto add = [](double& sum, double& carry, double x) {
            double t = sum + x;
            carry += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
            sum = t;
        };
        for (int k = 0; k < t.count; ++k) {
            add(s, cs, t.values[k]);
            add(q, cq, t.values[k] * t.values[k]);
        }
        s += cs;
        q += cq;
        EXPECT_LE(std::fabs(s - t.sum), 1e-13 * std::fabs(t.sum)) << s;
        EXPECT_LE(std::fabs(q - t.sum_of_squares), 1e-13 * t.sum_of_squares) << q;
    }
}

} // namespace
