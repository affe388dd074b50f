// The real scalar kernels and the double-to-int converters.
#include "engine/scalar_real.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

struct BinaryCase {
    const char* what;
    double (*f)(double, double);
    double a, b, expected;
};

TEST(ScalarKernels, RemModPowerAndFriends)
{
    const std::vector<BinaryCase> cases = {
        {"rem(5,3)", rem, 5, 3, 2},
        {"rem(-5,3)", rem, -5, 3, -2},
        {"rem(5,-3)", rem, 5, -3, 2},
        {"mod(-5,3)", mod, -5, 3, 1},
        {"mod(5,-3)", mod, 5, -3, -1},
        {"mod(5,3)", mod, 5, 3, 2},
        {"rem(0.3,0.1)", rem, 0.3, 0.1, 0},
        {"rem(-0.3,0.1)", rem, -0.3, 0.1, 0},
        {"mod(0.3,0.1)", mod, 0.3, 0.1, 0},
        {"mod(-0.3,0.1)", mod, -0.3, 0.1, 0},
        {"mod(0.3,-0.1)", mod, 0.3, -0.1, 0},
        {"rem(x,0)", rem, 4, 0, nan},
        {"mod(x,0)", mod, 4, 0, nan},
        {"rem(Inf,2)", rem, inf, 2, nan},
        {"mod(2,Inf)", mod, 2, inf, nan},
        {"rem(2,NaN)", rem, 2, nan, nan},
        {"max2(NaN,3)", max2, nan, 3, 3},
        {"max2(3,NaN)", max2, 3, nan, 3},
        {"max2(NaN,NaN)", max2, nan, nan, nan},
        {"min2(NaN,-1)", min2, nan, -1, -1},
        {"power(-3,2)", power, -3, 2, 9},
        {"mpower(2,10)", mpower, 2, 10, 1024},
        {"power(-8,1/3)", power, -8, 1.0 / 3, nan},
        {"pow2(1,1024)", pow2_scale, 1, 1024, inf},
        {"pow2(-3,1024)", pow2_scale, -3, 1024, -inf},
        {"pow2(0.5,1024)", pow2_scale, 0.5, 1024, 0x1p1023},
        {"pow2(realmax,1)", pow2_scale, 0x1.fffffffffffffp+1023, 1, inf},
        {"pow2(3,4)", pow2_scale, 3, 4, 48},
        {"pow2(f,NaN)", pow2_scale, 3, nan, nan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double r = c.f(c.a, c.b);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(r)) << r;
        else
            EXPECT_BITS_EQ(r, c.expected);
    }
}

// Whole operands above 2^52 have a quotient within eps of an integer
// whatever their remainder: the remainder is exact, through the double
// overloads and through the engine (a row, and the scalar statement).
TEST(ScalarKernels, RemAndModOfWholeNumbersAreExact)
{
    struct Case {
        const char* f;
        double a, b, expected;
    };
    const std::vector<Case> cases = {
#include "data/whole_remainders.inc"
    };
    for (const auto& c : cases) {
        const bool is_rem = std::string(c.f) == "rem";
        SCOPED_TRACE(std::string(c.f) + "(" + std::to_string(c.a) + ", " + std::to_string(c.b) + ")");
        EXPECT_BITS_EQ(is_rem ? rem(c.a, c.b) : mod(c.a, c.b), c.expected);
        const Mm a = test::row({c.a, c.a}), b(c.b);
        const Mm r = is_rem ? rem(a, b) : mod(a, b);
        EXPECT_EQ(test::values(r), (std::vector<double>{c.expected, c.expected}));
        EXPECT_BITS_EQ((is_rem ? rem(Mm(c.a), b) : mod(Mm(c.a), b)).r(), c.expected);
    }
    // Fractions keep the snap of a quotient near a whole number.
    EXPECT_EQ(rem(0.3, 0.1), 0.0);
    EXPECT_EQ(mod(-0.3, 0.1), 0.0);
    EXPECT_DOUBLE_EQ(rem(5.5, 2), 1.5);
    EXPECT_DOUBLE_EQ(mod(-5.5, 2), 0.5);
}

// mod(x, y) lies in [0, y] for y > 0 (in [y, 0] for y < 0), also where
// x / y underflows: mod(-1e-300, 1e300) is 1e300 - 1e-300, which rounds to
// 1e300. Swept over scales from 1e-300 to 1e300 and both signs, through
// the double overload and the engine alike.
TEST(ScalarKernels, ModLiesBetweenZeroAndTheDivisor)
{
    EXPECT_EQ(mod(-1e-300, 1e300), 1e300);
    EXPECT_EQ(mod(-5e-324, 3.0), 3.0);
    EXPECT_EQ(mod(5e-324, -3.0), -3.0);
    EXPECT_EQ(mod(Mm(-1e-300), Mm(1e300)).r(), 1e300);
    EXPECT_EQ(mod(Mm(-5e-324), Mm(3.0)).r(), 3.0);
    EXPECT_EQ(mod(1e-300, 1e300), 1e-300) << "a positive x below y is its own remainder";
    EXPECT_EQ(rem(-1e-300, 1e300), -1e-300) << "rem keeps the sign of x";
    const double scales[] = {5e-324, 1e-300, 1e-150, 1e-20, 0.1, 1, 3, 7.5, 1e20, 1e150, 1e300};
    int swept = 0;
    for (double xs : scales)
        for (double ys : scales)
            for (double xm : {-1.7, -1.0, -0.3, 0.3, 1.0, 2.9})
                for (double sy : {1.0, -1.0}) {
                    const double x = xs * xm, y = sy * ys * 1.3;
                    if (!std::isfinite(x) || !std::isfinite(y) || y == 0)
                        continue;
                    const double r = mod(x, y);
                    SCOPED_TRACE("mod(" + std::to_string(x) + ", " + std::to_string(y) + ") = " + std::to_string(r));
                    if (y > 0)
                        EXPECT_TRUE(r >= 0 && r <= y);
                    else
                        EXPECT_TRUE(r <= 0 && r >= y);
                    EXPECT_BITS_EQ(mod(Mm(x), Mm(y)).r(), r);
                    ++swept;
                }
    EXPECT_GT(swept, 1000);
}

TEST(ScalarKernels, SignedZerosAreKept)
{
    // min2 and max2 return the second argument when the two compare equal.
    EXPECT_BITS_EQ(min2(-0.0, 0.0), 0.0);
    EXPECT_BITS_EQ(min2(0.0, -0.0), -0.0);
    EXPECT_BITS_EQ(max2(-0.0, 0.0), 0.0);
    EXPECT_BITS_EQ(sign_transfer(3, -0.0), 3.0);
    EXPECT_BITS_EQ(sign_transfer(3, nan), -3.0);
    EXPECT_BITS_EQ(angle_real(-0.0), 0.0);
    EXPECT_BITS_EQ(acot_double(-0.0), -const_pi / 2);
}

struct UnaryCase {
    const char* what;
    double (*f)(double);
    double x, expected;
};

TEST(ScalarKernels, SpecialValues)
{
    const std::vector<UnaryCase> cases = {
        {"round(2.5)", round_half_away, 2.5, 3},
        {"round(-2.5)", round_half_away, -2.5, -3},
        {"round(0.49999999999999994)", round_half_away, 0.49999999999999994, 0},
        {"round(-0.49999999999999994)", round_half_away, -0.49999999999999994, -0.0},
        {"round(2^52+1)", round_half_away, 4503599627370497.0, 4503599627370497.0},
        {"fix(-2.7)", fix, -2.7, -2},
        {"fix(2.7)", fix, 2.7, 2},
        {"sign(-0)", sign, -0.0, 0},
        {"sign(-4)", sign, -4, -1},
        {"sign(NaN)", sign, nan, nan},
        {"atanh(1)", atanh_double, 1, inf},
        {"atanh(-1)", atanh_double, -1, -inf},
        {"atanh(2)", atanh_double, 2, nan},
        {"acot(0)", acot_double, 0, const_pi / 2},
        {"sinc(0)", sinc_double, 0, 1},
        {"exp(-Inf)", exp_double, -inf, 0},
        {"exp(Inf)", exp_double, inf, inf},
        {"angle(-1)", angle_real, -1, const_pi},
        {"angle(NaN)", angle_real, nan, nan},
        {"log10(1e-300)", log10_via_ln, 1e-300, -300},
        {"log10(1e22)", log10_via_ln, 1e22, 22},
        {"log2(2^-1074)", log2_via_ln, 0x1p-1074, -1074},
        {"log2(2^1023)", log2_via_ln, 0x1p1023, 1023},
        {"acos(2)", [](double x) { return std::acos(x); }, 2, nan},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double r = c.f(c.x);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(r)) << r;
        else
            EXPECT_BITS_EQ(r, c.expected);
    }
    for (int e = -300; e <= 300; ++e) {
        double x = std::stod("1e" + std::to_string(e));
        ASSERT_EQ(log10_via_ln(x), e) << x;
    }
}

TEST(ScalarKernels, InverseHyperbolicAtTinyAndHugeArguments)
{
    struct Case {
        const char* f;
        double x, expected;
    };
    // mpmath at 300 bits (tools/reference/hyperbolic.py).
    const std::vector<Case> cases = {
        {"asinh", 0x1.56e1fc2f8f359p-997, 0x1.56e1fc2f8f359p-997},
        {"asinh", 0x1.b7cdfd9d7bdbbp-34, 0x1.b7cdfd9d7bdbbp-34},
        {"asinh", -0x1.5798ee2308c3ap-27, -0x1.5798ee2308c3ap-27},
        {"asinh", 0x1.0000000000000p-1, 0x1.ecc2caec5160ap-2},
        {"asinh", -0x1.e848000000000p+19, -0x1.d046ec97fa3ccp+3},
        {"asinh", -0x1.0000000000000p+18, -0x1.a56ef8ec92cccp+3},
        {"asinh", 0x1.7e43c8800759cp+996, 0x1.59bbfd8b83e44p+9},
        {"acosh", 0x1.0000000001000p+0, 0x1.6a09e667f39eap-20},
        {"acosh", 0x1.8000000000000p+0, 0x1.ecc2caec5160ap-1},
        {"acosh", 0x1.2a05f20000000p+33, 0x1.7b810429a7c2ap+4},
        {"acosh", 0x1.7e43c8800759cp+996, 0x1.59bbfd8b83e44p+9},
        {"atanh", 0x1.56e1fc2f8f359p-997, 0x1.56e1fc2f8f359p-997},
        {"atanh", 0x1.79ca10c924223p-67, 0x1.79ca10c924223p-67},
        {"atanh", -0x1.0000000000000p-1, -0x1.193ea7aad030bp-1},
        {"atanh", 0x1.ffffde7210be9p-1, 0x1.d046eb8b86c1cp+2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.f) + "(" + std::to_string(c.x) + ")");
        double r = c.f[1] == 's' ? asinh_double(c.x) : c.f[1] == 'c' ? acosh_double(c.x) : atanh_double(c.x);
        EXPECT_ULPS(r, c.expected, 1);
    }
}

TEST(ScalarKernels, LargeAnglesAreReducedAccurately)
{
    struct Case {
        double x, cos_x, sin_x;
    };
    // mpmath at 1200 bits (tools/reference/large_angles.py).
    const std::vector<Case> cases = {
        {0x1.dcd6500800000p+29, -0x1.b079aad325820p-8, 0x1.fffd25631c5bbp-1},
        {-0x1.dcd6500800000p+29, -0x1.b079aad325820p-8, -0x1.fffd25631c5bbp-1},
        {0x1.65a0bc0000000p+31, -0x1.4917f746fa4f0p-3, 0x1.f958b458cc91bp-1},
        {0x1.d1a94a2001000p+39, 0x1.f9a716ee51018p-1, -0x1.417afc33162fbp-3},
        {0x1.0000000000000p+60, -0x1.1d146047d6947p-1, -0x1.a94adab06665cp-1},
        {0x1.c6bf526340000p+49, -0x1.06c154609d33fp-1, 0x1.b76f88136cebap-1},
        {0x1.0f0cf064dd592p+73, 0x1.0be2cef01c8f4p-1, -0x1.b453ab76bf397p-1},
        {-0x1.0f0cf064dd592p+73, 0x1.0be2cef01c8f4p-1, 0x1.b453ab76bf397p-1},
        {0x1.6dc186ef9f45cp+334, 0x1.58e5a97be77f4p-1, 0x1.7a678e6bd4a55p-1},
        {0x1.7e43c8800759cp+996, -0x1.2699022adc4c1p-1, -0x1.a2c16b010e385p-1},
        {0x1.fffffffffffffp+1023, -0x1.fffe62ecfab75p-1, 0x1.452fc98b34e97p-8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_NEAR(cos_reduced(c.x), c.cos_x, 1e-11);
        EXPECT_NEAR(sin_reduced(c.x), c.sin_x, 1e-11);
        EXPECT_NEAR(tan_reduced(c.x), c.sin_x / c.cos_x, 1e-11 * (1 + std::fabs(c.sin_x / c.cos_x)));
    }
    // Inside +-1e9 the argument goes to the C library unchanged.
    EXPECT_BITS_EQ(cos_reduced(1e9), std::cos(1e9));
    EXPECT_BITS_EQ(sin_reduced(-123456.789), std::sin(-123456.789));
    EXPECT_TRUE(std::isnan(cos_reduced(inf)));
    EXPECT_TRUE(std::isnan(sin_reduced(nan)));
}

TEST(ScalarKernels, ConvertersSaturate)
{
    struct Case {
        const char* what;
        int (*f)(double);
        double x;
        int expected;
    };
    const std::vector<Case> cases = {
        {"saturate(1e300)", saturate_to_int, 1e300, 2147483647},
        {"saturate(-Inf)", saturate_to_int, -inf, -2147483647},
        {"saturate(NaN)", saturate_to_int, nan, -2147483647},
        {"saturate(-2147483648)", saturate_to_int, -2147483648.0, -2147483647},
        {"saturate(-7.9)", saturate_to_int, -7.9, -7},
        {"count(0.99)", count_from_double, 0.99, 0},
        {"count(NaN)", count_from_double, nan, 0},
        {"count(3.7)", count_from_double, 3.7, 3},
        {"count(1e20)", count_from_double, 1e20, 2147483647},
        {"round_to_int(-0.5)", round_to_int, -0.5, -1},
        {"round_to_int(2.5)", round_to_int, 2.5, 3},
        {"round_to_int(NaN)", round_to_int, nan, 0},
        {"round_to_int(0.49999999999999994)", round_to_int, 0.49999999999999994, 0},
        {"round_to_int(-Inf)", round_to_int, -inf, -2147483647},
        {"round_to_int(1e10)", round_to_int, 1e10, 2147483647},
        {"round_to_count(-3)", round_to_count, -3, 0},
        {"round_to_count(NaN)", round_to_count, nan, 0},
        {"round_to_count(2.5)", round_to_count, 2.5, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.f(c.x), c.expected);
    }
    EXPECT_EQ(double_to_byte(300), 44);
    EXPECT_EQ(double_to_byte(-1), 255);
    EXPECT_EQ(double_to_byte(2.7), 2);
    EXPECT_EQ(double_to_byte(nan), 0);
    EXPECT_EQ(double_to_byte(-inf), 0);
    EXPECT_EQ(double_to_byte(1e300), 0);
    EXPECT_EQ(double_to_byte(4294967297.0), 1);
    EXPECT_EQ(pow2_of_int(10.9), 1024);
}

TEST(ScalarKernels, UnwrapStartsFromTheReducedFirstElement)
{
    const double in[] = {7, 8, 8 + 2 * const_pi + 0.1};
    double out[3] = {};
    for (int k = 0; k < 3; ++k)
        unwrap_step(in + k, 1, out + k, k, const_pi);
    EXPECT_DOUBLE_EQ(out[0], 7 - 2 * const_pi);
    EXPECT_DOUBLE_EQ(out[1], 8 - 2 * const_pi);
    EXPECT_NEAR(out[2], 8.1 - 2 * const_pi, 1e-14);
}

TEST(ScalarKernels, MachineConstants)
{
    double v;
    EXPECT_EQ(*machine_eps(&v), std::pow(2.0, -52));
    machine_realmin(&v);
    EXPECT_EQ(v, std::ldexp(1.0, -1022));
    machine_realmax(&v);
    EXPECT_EQ(v, std::numeric_limits<double>::max());
}

TEST(ScalarKernels, SplitAndInterleavedComplexKeepBitPatterns)
{
    double re[2] = {-0.0, nan}, im[2] = {1.5, -0.0}, both[4], re2[2], im2[2];
    tworeal2complex(2, re, im, both);
    complex2tworeal(2, both, re2, im2);
    for (int k = 0; k < 2; ++k) {
        EXPECT_BITS_EQ(re2[k], re[k]);
        EXPECT_BITS_EQ(im2[k], im[k]);
    }
}

} // namespace
