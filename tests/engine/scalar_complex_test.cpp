// The complex scalar kernels: exact and edge values, the sides taken on branch
// cuts, NaN and overflow behaviour, aliasing of outputs with inputs, and
// accuracy against mpmath at random points.
#include "engine/scalar_complex.hpp"
#include "test_support.hpp"

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();
const double half_pi = const_pi / 2;

using Unary = void (*)(const double&, const double&, double&, double&);
using Binary = void (*)(const double&, const double&, const double&, const double&, double&, double&);

struct NamedUnary {
    const char* name;
    Unary f;
};

const std::vector<NamedUnary>& unary_kernels()
{
    static const std::vector<NamedUnary> kernels = {
        {"exp", complex_exp},     {"log", complex_log},     {"log2", complex_log2},   {"log10", complex_log10},
        {"sqrt", complex_sqrt},   {"cos", complex_cos},     {"sin", complex_sin},     {"tan", complex_tan},
        {"cosh", complex_cosh},   {"sinh", complex_sinh},   {"tanh", complex_tanh},   {"cot", complex_cot},
        {"csc", complex_csc},     {"sec", complex_sec},     {"coth", complex_coth},   {"csch", complex_csch},
        {"sech", complex_sech},   {"sinc", complex_sinc},   {"acos", complex_acos},   {"asin", complex_asin},
        {"atan", complex_atan},   {"acosh", complex_acosh}, {"asinh", complex_asinh}, {"atanh", complex_atanh},
        {"acot", complex_acot},   {"acsc", complex_acsc},   {"asec", complex_asec},   {"acoth", complex_acoth},
        {"acsch", complex_acsch}, {"asech", complex_asech}, {"sign", complex_sign},   {"recip", complex_recip},
    };
    return kernels;
}

Unary unary_named(const std::string& name)
{
    for (const auto& k : unary_kernels())
        if (name == k.name)
            return k.f;
    return nullptr;
}

// The value as the running program sees it: the compiler evaluates library
// calls on constants with exact rounding, which the C library need not match.
double at_run_time(double x)
{
    volatile double v = x;
    return v;
}

// Equal values, or both NaN; +0 and -0 count as equal.
bool same(double a, double b) { return a == b || (a != a && b != b); }

struct UnaryCase {
    const char* what;
    Unary f;
    double re, im, out_re, out_im;
    bool exact;  // bit for bit (up to the sign of zero); otherwise within 2 ulp
};

TEST(ComplexKernels, ExactAndEdgeValues)
{
    const double ln2 = std::log(2.0);
    // On the real axis the complex kernels give the real kernels' values.
    const double acosh2 = std::acosh(at_run_time(2.0)), acos_half = std::acos(at_run_time(0.5));
    const double atanh_half = std::atanh(at_run_time(0.5)), asin_quarter = std::asin(at_run_time(-0.25));
    const std::vector<UnaryCase> cases = {
        {"log(0)", complex_log, 0, 0, -inf, 0, true},
        {"log(-1+0i)", complex_log, -1, 0.0, 0, const_pi, true},
        {"log(-1-0i)", complex_log, -1, -0.0, 0, const_pi, true},
        {"log(e)", complex_log, std::exp(1.0), 0, 1, 0, true},
        {"log(1e-300i)", complex_log, 0, 1e-300, std::log(1e-300), half_pi, false},
        {"log2(8)", complex_log2, 8, 0, 3, 0, true},
        {"log2(-8)", complex_log2, -8, 0, 3, const_pi / ln2, true},
        {"log10(1000)", complex_log10, 1000, 0, 3, 0, true},
        {"sqrt(-4+0i)", complex_sqrt, -4, 0.0, 0, 2, true},
        {"sqrt(-4-0i)", complex_sqrt, -4, -0.0, 0, 2, true},
        {"sqrt(0)", complex_sqrt, 0, 0, 0, 0, true},
        {"sqrt(-4+4i)", complex_sqrt, -4, 4, std::sqrt(2 * std::sqrt(2.0) - 2), std::sqrt(2 * std::sqrt(2.0) + 2),
         false},
        {"sqrt(1e308+1e308i)", complex_sqrt, 1e308, 1e308, 1.09868411346781e+154, 4.5508986056222734e+153, false},
        {"exp(i pi/2)", complex_exp, 0, half_pi, std::cos(half_pi), 1, true},
        {"exp(710+1e-300i)", complex_exp, 710, 1e-300, inf, 223399476.61617112, false},
        {"exp(-Inf+0i)", complex_exp, -inf, 0, 0, 0, true},
        {"acos(0.5+0i)", complex_acos, 0.5, 0, acos_half, 0, true},
        {"acos(2)", complex_acos, 2, 0, 0, acosh2, true},
        {"acos(2-0i)", complex_acos, 2, -0.0, 0, acosh2, true},
        {"acos(-2)", complex_acos, -2, 0, const_pi, -acosh2, true},
        {"asin(2)", complex_asin, 2, 0, half_pi, -acosh2, true},
        {"asin(-2)", complex_asin, -2, 0, -half_pi, acosh2, true},
        {"asin(-0.25+0i)", complex_asin, -0.25, 0, asin_quarter, 0, true},
        {"atan(0.5+0i)", complex_atan, 0.5, 0, std::atan(0.5), 0, true},
        {"atan(2i)", complex_atan, 0, 2, -half_pi, std::log(3.0) / 2, false},
        {"atan(-0+2i)", complex_atan, -0.0, 2, -half_pi, std::log(3.0) / 2, false},
        {"atan(-2i)", complex_atan, 0, -2, -half_pi, -std::log(3.0) / 2, false},
        {"atan(0.5i)", complex_atan, 0, 0.5, 0, std::atanh(0.5), false},
        {"atanh(0.5+0i)", complex_atanh, 0.5, 0, atanh_half, 0, true},
        {"atanh(1+0i)", complex_atanh, 1, 0, inf, 0, true},
        {"atanh(2)", complex_atanh, 2, 0, std::log(3.0) / 2, half_pi, false},
        {"atanh(2-0i)", complex_atanh, 2, -0.0, std::log(3.0) / 2, half_pi, false},
        {"atanh(-2)", complex_atanh, -2, 0, -std::log(3.0) / 2, half_pi, false},
        {"acosh(0)", complex_acosh, 0, 0, 0, half_pi, true},
        {"acosh(0-3i)", complex_acosh, 0, -3, std::asinh(3.0), -half_pi, true},
        {"acosh(0+3i)", complex_acosh, 0, 3, std::asinh(3.0), half_pi, true},
        {"acosh(0.5)", complex_acosh, 0.5, 0, 0, acos_half, true},
        {"acosh(2)", complex_acosh, 2, 0, acosh2, 0, true},
        {"acosh(-2)", complex_acosh, -2, 0, acosh2, const_pi, true},
        {"acosh(-2+0.1i) has a positive real part", complex_acosh, -2, 0.1, 1.3188765472109005,
         3.083953449538381, false},
        {"asinh(2i)", complex_asinh, 0, 2, acosh2, half_pi, false},
        {"asinh(-2i)", complex_asinh, 0, -2, -acosh2, -half_pi, false},
        {"asinh(-0-2i)", complex_asinh, -0.0, -2, -acosh2, -half_pi, false},
        {"asinh(0.5i)", complex_asinh, 0, 0.5, 0, std::asin(0.5), false},
        {"asinh(-1e6+1i) keeps its digits", complex_asinh, -1e6, 1, -14.508657738524969,
         9.999999999991667e-07, false},
        {"acot(0)", complex_acot, 0, 0, half_pi, 0, true},
        {"asec(0.5)", complex_asec, 0.5, 0, 0, acosh2, true},
        {"cos(1e22+0i)", complex_cos, 1e22, 0, std::cos(at_run_time(1e22)), 0, true},
        {"cos(0+1000i) overflows without NaN", complex_cos, 0, 1000, inf, 0, true},
        {"tan(1+800i)", complex_tan, 1, 800, 0, 1, false},
        {"tanh(800+1i)", complex_tanh, 800, 1, 1, 0, false},
        {"sinc(0)", complex_sinc, 0, 0, 1, 0, true},
        {"sinc(0.5+0i)", complex_sinc, 0.5, 0, sinc_double(0.5), 0, true},
        // Past the overflow of cosh(pi im): the limit, never a NaN part. The
        // huge values are mpmath's sin(w)/w of w = pi z rounded to doubles.
        {"sinc(-276-396i) overflows", complex_sinc, -276, -396, inf, inf, true},
        {"sinc(0+230i) overflows", complex_sinc, 0, 230, inf, 0, true},
        {"sinc(0.25+226.6i) is huge", complex_sinc, 0.25, 226.63663896285897, 8.2058656122400749061e+305,
         -8.1877819876384878743e+305, false},
        {"sinc(0.25-226.6i) is huge", complex_sinc, 0.25, -226.63663896285897, 8.2058656122400749061e+305,
         8.1877819876384878743e+305, false},
        {"sign(0)", complex_sign, 0, 0, 0, 0, true},
        {"sign(-2+0i)", complex_sign, -2, 0, -1, 0, true},
        {"sign(NaN+0i)", complex_sign, nan, 0, nan, 0, true},
        {"sign(3-4i)", complex_sign, 3, -4, 0.6, -0.8, false},
        {"sign(Inf+1i)", complex_sign, inf, 1, 1, 0, true},
        {"sign(-Inf+Inf i)", complex_sign, -inf, inf, -std::sqrt(0.5), std::sqrt(0.5), false},
        {"sign(3e-320+4e-320i)", complex_sign, 3e-320, 4e-320, 0.6, 0.8, false},
        {"recip(0)", complex_recip, 0, 0, inf, 0, true},
        {"recip(1e200+1e200i)", complex_recip, 1e200, 1e200, 5e-201, -5e-201, false},
        {"recip(1e-200-1e-200i)", complex_recip, 1e-200, -1e-200, 5e199, 5e199, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double r, i;
        c.f(c.re, c.im, r, i);
        if (c.exact) {
            EXPECT_TRUE(same(r, c.out_re)) << r << " vs " << c.out_re;
            EXPECT_TRUE(same(i, c.out_im)) << i << " vs " << c.out_im;
        } else {
            EXPECT_ULPS(r, c.out_re, 2);
            EXPECT_ULPS(i, c.out_im, 2);
        }
    }
}

struct BinaryCase {
    const char* what;
    Binary f;
    double a_re, a_im, b_re, b_im, out_re, out_im;
    int ulps = 0;  // allowed distance of each part
};

TEST(ComplexKernels, ArithmeticAndPower)
{
    const std::vector<BinaryCase> cases = {
        {"(1+2i)/(2+0i)", complex_div, 1, 2, 2, 0, 0.5, 1},
        {"(1+1i)/(0+0i)", complex_div, 1, 1, 0, 0, inf, inf},
        {"(1+0i)/(0+0i)", complex_div, 1, 0, 0, 0, inf, 0},
        {"(1e200+1e200i)/(1e200+1e200i)", complex_div, 1e200, 1e200, 1e200, 1e200, 1, 0},
        {"(1e-200+2e-200i)/(3e-200+4e-200i)", complex_div, 1e-200, 2e-200, 3e-200, 4e-200, 0.44, 0.08, 2},
        {"(7+1i)/(1e-300+1i)", complex_div, 7, 1, 1e-300, 1, 1, -7},
        {"(1+1i)/(Inf+1i)", complex_div, 1, 1, inf, 1, 0, 0},
        {"(1+NaN i)/2", complex_div, 1, nan, 2, 0, 0.5, nan},
        {"(2+3i)(4-5i)", complex_mul, 2, 3, 4, -5, 23, 2},
        {"(Inf+0i)(2+0i)", complex_mul, inf, 0, 2, 0, inf, 0},
        {"(1+NaN i)(2+0i)", complex_mul, 1, nan, 2, 0, 2, nan},
        {"(1+1i)^2", complex_pow, 1, 1, 2, 0, 0, 2},
        {"(1+1i)^0", complex_pow, 1, 1, 0, 0, 1, 0},
        {"NaN^0", complex_pow, nan, nan, 0, 0, 1, 0},
        {"(1+2i)^3", complex_pow, 1, 2, 3, 0, -11, -2},
        {"0^(1+1i)", complex_pow, 0, 0, 1, 1, 0, 0},
        {"(-2+0i)^-1 stays real", complex_pow, -2, 0, -1, 0, -0.5, 0},
        {"(-8+0i)^3 stays real", complex_pow, -8, 0, 3, 0, -512, 0},
        {"(4+0i)^0.5", complex_pow, 4, 0, 0.5, 0, 2, 0},
        {"(NaN+0i)^0.5", complex_pow, nan, 0, 0.5, 0, nan, 0},
        {"(0.5i)^Inf", complex_pow, 0, 0.5, inf, 0, 0, 0},
        {"max(3+4i, -5)", complex_max2, 3, 4, -5, 0, 3, 4},
        {"min(3+4i, -5)", complex_min2, 3, 4, -5, 0, 3, 4},
        {"max(1+1i, 0+2i)", complex_max2, 1, 1, 0, 2, 0, 2},
        {"min(1+1i, 0+2i)", complex_min2, 1, 1, 0, 2, 1, 1},
        {"max(1e200, 2e200i)", complex_max2, 1e200, 0, 0, 2e200, 0, 2e200},
        {"min(1e200, 2e200i)", complex_min2, 1e200, 0, 0, 2e200, 1e200, 0},
        {"max(3e-170, 4e-170i)", complex_max2, 3e-170, 0, 0, 4e-170, 0, 4e-170},
        {"min(3e-170, 4e-170i)", complex_min2, 3e-170, 0, 0, 4e-170, 3e-170, 0},
        {"max(NaN, 1) keeps the first", complex_max2, nan, 0, 1, 0, nan, 0},
        {"max(1, NaN) keeps the first", complex_max2, 1, 0, nan, 0, 1, 0},
        {"min(1, NaN) takes the second", complex_min2, 1, 0, nan, 0, nan, 0},
        {"rotate 1+2i by arg(5i)", complex_rotate_by_arg, 1, 2, 0, 5, -2, 1},
        {"rotate 1+2i by arg(0)", complex_rotate_by_arg, 1, 2, 0, 0, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double r, i;
        c.f(c.a_re, c.a_im, c.b_re, c.b_im, r, i);
        EXPECT_TRUE(same(r, c.out_re) || test::ulps(r, c.out_re) <= c.ulps) << r << " vs " << c.out_re;
        EXPECT_TRUE(same(i, c.out_im) || test::ulps(i, c.out_im) <= c.ulps) << i << " vs " << c.out_im;
    }

    // (-8)^(1/3) is the principal root, exp((ln 8 + pi i)/3) = 1 + sqrt(3) i.
    double r, i;
    complex_pow(-8, 0, 1.0 / 3, 0, r, i);
    EXPECT_ULPS(r, 1.0, 4);
    EXPECT_ULPS(i, std::sqrt(3.0), 4);
    // |2i| > 1: an infinite power has an infinite modulus.
    complex_pow(0, 2, inf, 0, r, i);
    EXPECT_TRUE(std::isinf(r));
}

TEST(ComplexKernels, ModulusNeverOverflowsAndPropagatesNaN)
{
    struct Case {
        double re, im, expected;
    };
    const std::vector<Case> cases = {
        {3, 4, 5},          {0, 0, 0},       {-0.0, 0, 0},       {inf, inf, inf}, {inf, 1, inf},
        {-1, -inf, inf},    {nan, 0, nan},   {2, nan, nan},      {inf, nan, nan}, {1e300, 1e300, 1.4142135623730951e300},
        {3e-320, 4e-320, 5e-320},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.re) + " " + std::to_string(c.im));
        EXPECT_TRUE(same(complex_abs(c.re, c.im), c.expected)) << complex_abs(c.re, c.im);
        EXPECT_TRUE(same(complex_abs_value(c.re, c.im), c.expected));
    }
}

// A NaN part is never taken for zero: every function of a number with a NaN
// part has a NaN part.
TEST(ComplexKernels, NaNPartsReachTheResult)
{
    const double points[][2] = {{1, nan}, {nan, 0}, {0.5, nan}, {nan, 1}, {0, nan}};
    for (const auto& k : unary_kernels()) {
        for (const auto& p : points) {
            SCOPED_TRACE(std::string(k.name) + "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ")");
            double r, i;
            k.f(p[0], p[1], r, i);
            EXPECT_TRUE(r != r || i != i) << r << " " << i;
        }
    }
}

// Outputs may share storage with inputs: writing one part early would corrupt
// the other part's input.
TEST(ComplexKernels, OutputsMayAliasInputs)
{
    const double a_re = 0.75, a_im = -1.25, b_re = -2.5, b_im = 0.5;
    for (const auto& k : unary_kernels()) {
        SCOPED_TRACE(k.name);
        double r, i;
        k.f(a_re, a_im, r, i);
        double x = a_re, y = a_im;
        k.f(x, y, x, y);
        EXPECT_BITS_EQ(x, r);
        EXPECT_BITS_EQ(y, i);
        // and crosswise: the real output in the imaginary input
        x = a_re, y = a_im;
        k.f(x, y, y, x);
        EXPECT_BITS_EQ(y, r);
        EXPECT_BITS_EQ(x, i);
    }
    const std::vector<std::pair<const char*, Binary>> binary = {
        {"mul", complex_mul}, {"div", complex_div}, {"pow", complex_pow}, {"max2", complex_max2},
        {"min2", complex_min2}, {"rotate", complex_rotate_by_arg},
    };
    for (const auto& [name, f] : binary) {
        SCOPED_TRACE(name);
        double r, i;
        f(a_re, a_im, b_re, b_im, r, i);
        double p = a_re, q = a_im, s = b_re, t = b_im;
        f(p, q, s, t, s, t);
        EXPECT_BITS_EQ(s, r);
        EXPECT_BITS_EQ(t, i);
        p = a_re, q = a_im, s = b_re, t = b_im;
        f(p, q, s, t, q, p);
        EXPECT_BITS_EQ(q, r);
        EXPECT_BITS_EQ(p, i);
    }
}

// Quotients by divisors across the bottom of the range, against the
// quotient formed in long double (whose range holds every product of two
// doubles, so its only error is its own rounding): each part within a few
// units of rounding of the quotient's modulus, or of the smallest
// subnormal where the true quotient lies below the normal numbers. The
// divisor's own denominator rounded among the subnormals (11 digits lost
// at 2^-1040), and a recip of such a number as badly.
TEST(ComplexKernels, DivisionByDivisorsNearTheBottomOfTheRange)
{
    const double numerators[][2] = {{0.3, 0.1}, {-1, 2}, {0.75, -0.5}, {1, 0}, {0, -1}};
    const double divisors[][2] = {{0.37, -0.23}, {1, 1}, {-0.5, 1e-3}, {1e-5, 0.7}, {0.9, 0.9}};
    int checked = 0;
    for (int ed = -1070; ed <= -900; ed += 5)
        for (int ea : {-1074 - ed / 2, -1000, -520, -1, 0, 300, 1023 + ed})
            for (const auto& a : numerators)
                for (const auto& d : divisors) {
                    const double ar = std::ldexp(a[0], ea), ai = std::ldexp(a[1], ea);
                    const double dr = std::ldexp(d[0], ed), di = std::ldexp(d[1], ed);
                    if (di == 0 || dr == 0)
                        continue;  // a real divisor divides part by part
                    const long double den = (long double)dr * dr + (long double)di * di;
                    const long double qr = ((long double)ar * dr + (long double)ai * di) / den;
                    const long double qi = ((long double)ai * dr - (long double)ar * di) / den;
                    const long double modulus = std::sqrt(qr * qr + qi * qi);
                    if (modulus > DBL_MAX / 4)
                        continue;  // overflow is its own case
                    SCOPED_TRACE("a = (" + std::to_string(a[0]) + ", " + std::to_string(a[1]) + ") 2^" +
                                 std::to_string(ea) + ", d = (" + std::to_string(d[0]) + ", " +
                                 std::to_string(d[1]) + ") 2^" + std::to_string(ed));
                    const long double allowed =
                        std::max(4 * DBL_EPSILON * modulus, 2 * (long double)std::ldexp(1.0, -1074));
                    double re, im;
                    complex_div(ar, ai, dr, di, re, im);
                    EXPECT_LE(std::fabs(re - qr), allowed);
                    EXPECT_LE(std::fabs(im - qi), allowed);
                    if (ea == 0 && a[0] == 1 && a[1] == 0) {
                        complex_recip(dr, di, re, im);
                        EXPECT_LE(std::fabs(re - qr), allowed);
                        EXPECT_LE(std::fabs(im - qi), allowed);
                    }
                    ++checked;
                }
    EXPECT_GT(checked, 1000);
}

TEST(ComplexKernels, SmallHelpers)
{
    double r, i;
    sqrt_real_to_complex(-4, r, i);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(i, 2);
    sqrt_real_to_complex(9, r, i);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(i, 0);

    double sr, si, cr, ci, er, ei;
    complex_sinh_cosh(0.3, -1.7, sr, si, cr, ci);
    complex_sinh(0.3, -1.7, er, ei);
    EXPECT_BITS_EQ(sr, er);
    EXPECT_BITS_EQ(si, ei);
    complex_cosh(0.3, -1.7, er, ei);
    EXPECT_BITS_EQ(cr, er);
    EXPECT_BITS_EQ(ci, ei);
}

TEST(ComplexKernels, EigenvaluesOfTwoByTwoBlocks)
{
    struct Case {
        const char* what;
        double a[2], b[2], c[2], d[2];
        double mu1[2], mu2[2];
    };
    const double s33 = std::sqrt(33.0);
    const std::vector<Case> cases = {
        {"rotation block [0 -1; 1 0]", {0, 0}, {-1, 0}, {1, 0}, {0, 0}, {0, 1}, {0, -1}},
        {"real block [1 2; 3 4]", {1, 0}, {2, 0}, {3, 0}, {4, 0}, {(5 + s33) / 2, 0}, {(5 - s33) / 2, 0}},
        {"negligible subdiagonal", {2, 1}, {5, 0}, {1e-16, 0}, {-3, 0}, {2, 1}, {-3, 0}},
        {"negligible b keeps the diagonal exactly", {2, 1}, {1e-17, 0}, {7, 0}, {-3, 0}, {2, 1}, {-3, 0}},
        {"standardized block [1 4; -1 1]", {1, 0}, {4, 0}, {-1, 0}, {1, 0}, {1, 2}, {1, -2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        double m1r, m1i, m2r, m2i;
        rsf2csf_rotation(c.a[0], c.a[1], c.b[0], c.b[1], c.c[0], c.c[1], c.d[0], c.d[1], m1r, m1i, m2r, m2i);
        EXPECT_NEAR(m1r, c.mu1[0], 1e-15 * 8);
        EXPECT_NEAR(m1i, c.mu1[1], 1e-15 * 8);
        EXPECT_NEAR(m2r, c.mu2[0], 1e-15 * 8);
        EXPECT_NEAR(m2i, c.mu2[1], 1e-15 * 8);
    }
}

// Each part within 1e-13 of its own size, or of the modulus where the part is
// much smaller than the modulus (a part formed as a difference can only be as
// good as the modulus it came from).
::testing::AssertionResult close(double got_re, double got_im, double ref_re, double ref_im)
{
    const double tol = 1e-13;
    double mod = std::hypot(ref_re, ref_im);
    double e_re = std::fabs(got_re - ref_re), e_im = std::fabs(got_im - ref_im);
    if (e_re <= tol * std::fabs(ref_re) + 1e-15 * mod && e_im <= tol * std::fabs(ref_im) + 1e-15 * mod)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got_re << " + " << got_im << "i, reference " << ref_re
                                         << " + " << ref_im << "i (relative errors "
                                         << e_re / std::fabs(ref_re) << ", " << e_im / std::fabs(ref_im) << ")";
}

TEST(ComplexKernels, AgreeWithMpmathAwayFromBranchCuts)
{
    struct Row {
        const char* f;
        double re, im, ref_re, ref_im;
    };
    // tools/reference/complex_kernels.py
    const std::vector<Row> rows = {
#include "data/complex_unary.inc"
    };
    ASSERT_GT(rows.size(), 1000u);
    for (const auto& row : rows) {
        Unary f = unary_named(row.f);
        ASSERT_NE(f, nullptr) << row.f;
        double r, i;
        f(row.re, row.im, r, i);
        EXPECT_TRUE(close(r, i, row.ref_re, row.ref_im)) << row.f << "(" << row.re << " + " << row.im << "i)";
    }

    struct PowerRow {
        double z_re, z_im, w_re, w_im, ref_re, ref_im;
    };
    const std::vector<PowerRow> powers = {
#include "data/complex_power.inc"
    };
    for (const auto& row : powers) {
        double r, i;
        complex_pow(row.z_re, row.z_im, row.w_re, row.w_im, r, i);
        EXPECT_TRUE(close(r, i, row.ref_re, row.ref_im))
            << "(" << row.z_re << " + " << row.z_im << "i)^(" << row.w_re << " + " << row.w_im << "i)";
    }
}

} // namespace
