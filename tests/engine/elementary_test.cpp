// The elementary functions: the complex-result decisions made before any
// element is computed, and agreement with the C library element by element.
#include "engine/scalar_real.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

TEST(Elementary, ComplexResultDecisions)
{
    struct Case {
        const char* what;
        Mm (*f)(const Mm&);
        Mm x;
        bool complex;
    };
    Mm sparse_with_zero(0, 1, 1, 1, 2, qv_double);
    sparse_with_zero.getindex()[0] = 0;
    sparse_with_zero.addr()[0] = 2;
    const std::vector<Case> cases = {
        {"log([1 -1])", log, test::row({1, -1}), true},
        {"log([1 NaN])", log, test::row({1, nan}), false},
        {"sqrt(-4)", msqrt, Mm(-4.0), true},
        {"log2(-8)", log2, Mm(-8.0), true},
        {"reallog(-1)", reallog, Mm(-1.0), false},
        {"realsqrt(-1)", realsqrt, Mm(-1.0), false},
        {"acos(2)", acos, Mm(2.0), true},
        {"asin(-1.5)", asin, Mm(-1.5), true},
        {"atanh(2)", atanh, Mm(2.0), true},
        {"acos(1)", acos, Mm(1.0), false},
        {"atanh(-1)", atanh, Mm(-1.0), false},
        {"asech(0)", asech, Mm(0.0), false},
        {"asech(1.5)", asech, Mm(1.5), true},
        {"asech(-0.5)", asech, Mm(-0.5), true},
        {"asec(0.5)", asec, Mm(0.5), true},
        {"acsc(0)", acsc, Mm(0.0), true},
        {"acoth(0.9)", acoth, Mm(0.9), true},
        {"acosh(0.5)", acosh, Mm(0.5), true},
        {"asec(1)", asec, Mm(1.0), false},
        {"asec(-1)", asec, Mm(-1.0), false},
        {"acoth(-1)", acoth, Mm(-1.0), false},
        {"acosh(1)", acosh, Mm(1.0), false},
        {"exp of real", exp, Mm(1.0), false},
        {"exp of 1+0i stays complex", exp, test::complex(1, 1, {1}, {0}), true},
        {"abs of complex", abs, test::complex(1, 1, {3}, {4}), false},
        {"gamma", gamma, Mm(-1.5), false},
        {"sin of real", sin, Mm(1.0), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.f(c.x).isc(), c.complex);
    }
}

TEST(Elementary, SpecialForms)
{
    Mm s = msqrt(test::row({4, -4}));
    EXPECT_EQ(s.r(1), 2);
    EXPECT_EQ(s.i(1), 0);
    EXPECT_EQ(s.r(2), 0);
    EXPECT_EQ(s.i(2), 2);
    EXPECT_EQ(abs(test::complex(1, 1, {3}, {4})).r(), 5);
    Mm lg = log(test::complex(1, 1, {-1}, {-0.0}));
    EXPECT_EQ(lg.r(), 0);
    EXPECT_DOUBLE_EQ(lg.i(), M_PI);
    Mm ac = acos(test::complex(1, 1, {0.5}, {0}));
    EXPECT_BITS_EQ(ac.r(), std::acos(0.5));
    Mm ah = acosh(test::complex(1, 1, {0}, {-3}));
    EXPECT_DOUBLE_EQ(ah.i(), -M_PI / 2);
    Mm e = expint(test::row({-1, 1}));
    ASSERT_EQ(e.isc(), 1);
    EXPECT_DOUBLE_EQ(e.i(1), -M_PI);
    EXPECT_EQ(e.i(2), 0);
    EXPECT_EQ(expint(test::row({1, 2})).isc(), 0);
    EXPECT_EQ(gamma(Mm(5.0)).r(), 24);
    EXPECT_EQ(gammainc(Mm(5.0)).r(), 24) << "gammainc of one argument is gamma";
    Mm sg = sign(Mm(-3.0), test::row({1, 2}));
    EXPECT_EQ(sg.cols(), 2);
    EXPECT_EQ(sg.r(2), -1);
    EXPECT_ERROR(sign(test::row({1, 2, 3}), test::row({1, 2})), "sign: incompatible dimensions of: (temporary), (temporary)");
    EXPECT_TRUE(std::isnan(sign(Mm(nan)).r()));
    Mm nanflags = isnan(test::row({1, nan}));
    EXPECT_EQ(nanflags.islogical(), 1);
    EXPECT_EQ(nanflags.r(2), 1);
    Mm operand = test::row({1, 2});
    Mm c = conj(operand);
    Mm r = real(operand);
    EXPECT_EQ(operand.dirty(), 2) << "conj and real of a real value share its operand";
    EXPECT_EQ(c.getpr((double*)nullptr), operand.getpr((double*)nullptr));
    Mm re = real(test::complex(1, 1, {2}, {5}));
    EXPECT_EQ(re.isc(), 0);
    EXPECT_EQ(re.r(), 2);
}

// Signed zeros and infinities at the edges of a function's domain, as a
// scalar and inside an array that turns complex for its other elements:
// asech(-0) is +Inf as asech(0) is (not NaN, nor Inf + pi i from 1/-0), and
// (-Inf)^w is the limit of (-x)^w, its parts exactly 0 where cos(pi w) or
// sin(pi w) is (0 + Inf i for w = 1/2, not Inf + Inf i).
TEST(Elementary, SignedZerosAndInfinitiesAtTheDomainEdges)
{
    struct Case {
        const char* what;
        Mm got;
        double re, im;
    };
    const std::vector<Case> cases = {
        {"asech(-0)", asech(Mm(-0.0)), inf, 0},
        {"asech(+0)", asech(Mm(0.0)), inf, 0},
        {"asech([-0 2])(1)", asech(test::row({-0.0, 2})), inf, 0},
        {"asech(-0 + 0i)", asech(test::complex(1, 1, {-0.0}, {0})), inf, 0},
        {"asech(0 - 0i)", asech(test::complex(1, 1, {0}, {-0.0})), inf, 0},
        {"power(-Inf, 0.5)", power(Mm(-inf), Mm(0.5)), 0, inf},
        {"power(-Inf, 1.5)", power(Mm(-inf), Mm(1.5)), 0, -inf},
        {"power(-Inf, 2.5)", power(Mm(-inf), Mm(2.5)), 0, inf},
        {"power(-Inf, 0.25)", power(Mm(-inf), Mm(0.25)), inf, inf},
        {"power(-Inf, 0.75)", power(Mm(-inf), Mm(0.75)), -inf, inf},
        {"power(-Inf, -0.5)", power(Mm(-inf), Mm(-0.5)), 0, 0},
        {"power([-Inf 4], 0.5)(1)", power(test::row({-inf, 4}), Mm(0.5)), 0, inf},
        {"mpower(-Inf, 0.5)", mpower(Mm(-inf), Mm(0.5)), 0, inf},
        {"power(-Inf, 3) stays real", power(Mm(-inf), Mm(3.0)), -inf, 0},
        {"power(-Inf, NaN)", power(Mm(-inf), Mm(nan)), nan, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double re = c.got.addr()[0], im = c.got.addi() ? c.got.addi()[0] : 0.0;
        if (std::isnan(c.re))
            EXPECT_TRUE(std::isnan(re)) << re;
        else
            EXPECT_EQ(re, c.re);
        EXPECT_EQ(im, c.im);
    }
}

// Every real scalar elementary and special function at +-0, +-Inf, NaN,
// the ends of the double range and each side of its own overflow and
// underflow boundaries, against mpmath (tools/reference/scalar_edges.py):
// the value within its allowed relative error (one unit of the smallest
// subnormal where it underflows), infinities and NaN exactly, and the sign
// of a zero at a signed zero or an infinity.
struct Edge {
    const char* f;
    double x, want, tol;
};
const std::vector<Edge> scalar_edges = {
#include "data/scalar_edges.inc"
};

TEST(Elementary, EveryFunctionAtItsEdges)
{
    const std::vector<std::pair<std::string, Mm (*)(const Mm&)>> functions = {
        {"exp", exp},     {"pow2", pow2},     {"log", log},       {"log2", log2},       {"log10", log10},
        {"reallog", reallog}, {"sqrt", msqrt}, {"realsqrt", realsqrt}, {"sin", sin},   {"cos", cos},
        {"tan", tan},     {"sec", sec},       {"csc", csc},       {"cot", cot},         {"sinc", sinc},
        {"atan", atan},   {"acot", acot},     {"sinh", sinh},     {"cosh", cosh},       {"tanh", tanh},
        {"sech", sech},   {"csch", csch},     {"coth", coth},     {"asinh", asinh},     {"acsch", acsch},
        {"acosh", acosh}, {"asin", asin},     {"acos", acos},     {"atanh", atanh},     {"asech", asech},
        {"asec", asec},   {"acsc", acsc},     {"acoth", acoth},   {"erf", erf},         {"erfc", erfc},
        {"erfcx", erfcx}, {"erfinv", erfinv}, {"gamma", gamma},   {"gammaln", gammaln}, {"expint", expint},
        {"abs", abs},     {"fix", fix},       {"round", round},   {"floor", floor},     {"ceil", ceil},
    };
    for (const Edge& e : scalar_edges) {
        char what[96];
        std::snprintf(what, sizeof what, "%s(%.17g)", e.f, e.x);
        SCOPED_TRACE(what);
        const auto fn = std::find_if(functions.begin(), functions.end(), [&](const auto& p) { return p.first == e.f; });
        ASSERT_NE(fn, functions.end());
        const Mm v = fn->second(Mm(e.x));
        ASSERT_EQ(v.size(), 1);
        const double got = v.addr()[0];
        if (v.addi()) {
            EXPECT_EQ(v.addi()[0], 0) << "a real value";
        }
        if (std::isnan(e.want)) {
            EXPECT_TRUE(std::isnan(got)) << got;
        } else if (std::isinf(e.want)) {
            EXPECT_EQ(got, e.want);
        } else if (e.want == 0 && (e.x == 0 || std::isinf(e.x))) {
            EXPECT_EQ(got, 0) << got;
            EXPECT_EQ(std::signbit(got), std::signbit(e.want)) << got;
        } else {
            EXPECT_LE(std::fabs(got - e.want), std::max(e.tol * std::fabs(e.want), 0x1p-1074)) << got << " want " << e.want;
        }
    }
}

TEST(Elementary, TwoOutputLog2)
{
    Mm f, e;
    log2(test::row({8, 0, -inf, 0.75}), i_o, f, e);
    const double fm[] = {0.5, 0, -inf, 0.75}, ex[] = {4, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(f.r(k + 1), fm[k]);
        EXPECT_EQ(e.r(k + 1), ex[k]);
    }
}

// Real elementary functions agree with the C library: bit for bit where the
// language function is the C function itself, within 1 ulp otherwise.
TEST(Elementary, RealFunctionsAgreeWithTheCLibrary)
{
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> wide(-700, 700), unit(-1, 1), positive(1e-3, 1e3), above_one(1, 1e3);
    const int n = 10000;
    auto sample = [&](auto& dist) {
        Mm x(0, 0, 0, 1, n, qv_double);
        for (int k = 0; k < n; ++k)
            x.addr()[k] = dist(gen);
        return x;
    };
    struct Case {
        const char* what;
        Mm (*f)(const Mm&);
        double (*c)(double);
        Mm x;
        std::int64_t ulps;
    };
    Mm w = sample(wide), u = sample(unit), p = sample(positive), g = sample(above_one);
    const std::vector<Case> cases = {
        {"sin", sin, [](double v) { return std::sin(v); }, w, 0},
        {"cos", cos, [](double v) { return std::cos(v); }, w, 0},
        {"tan", tan, [](double v) { return std::tan(v); }, w, 0},
        {"sqrt", msqrt, [](double v) { return std::sqrt(v); }, p, 0},
        {"exp", exp, [](double v) { return std::exp(v); }, w, 0},
        {"log", log, [](double v) { return std::log(v); }, p, 0},
        {"log10", log10, [](double v) { return std::log10(v); }, p, 0},
        {"log2", log2, [](double v) { return std::log2(v); }, p, 0},
        {"asin", asin, [](double v) { return std::asin(v); }, u, 0},
        {"acos", acos, [](double v) { return std::acos(v); }, u, 0},
        {"atan", atan, [](double v) { return std::atan(v); }, w, 1},
        {"sinh", sinh, [](double v) { return std::sinh(v); }, u, 0},
        {"tanh", tanh, [](double v) { return std::tanh(v); }, w, 0},
        {"asinh", asinh, [](double v) { return std::asinh(v); }, w, 0},
        {"atanh", atanh, [](double v) { return std::atanh(v); }, u, 0},
        {"acosh", acosh, [](double v) { return std::acosh(v); }, g, 0},
        {"erf", erf, [](double v) { return std::erf(v); }, u, 1},
        {"round", round, [](double v) { return std::round(v); }, w, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm r = c.f(c.x);
        ASSERT_EQ(r.isc(), 0);
        std::int64_t worst = 0;
        for (int k = 0; k < n; ++k) {
            double expected = c.c(c.x.addr()[k]);
            if (std::isnan(expected))
                continue;
            std::int64_t d = test::ulps(r.addr()[k], expected);
            worst = d > worst ? d : worst;
        }
        EXPECT_LE(worst, c.ulps);
    }
}

} // namespace

namespace {

TEST(Elementary, SparseOperandsOfTheSpecialForms)
{
    Mm f, e;
    Mm s = sparse(test::row({8, 0, 0.75}));
    log2(s, i_o, f, e);
    ASSERT_TRUE(f.issparse());
    ASSERT_TRUE(e.issparse());
    EXPECT_EQ(test::values(full(f)), (std::vector<double>{0.5, 0, 0.75}));
    EXPECT_EQ(test::values(full(e)), (std::vector<double>{4, 0, 0}));
    Mm x = expint(sparse(test::row({-1, 0, 2})));
    ASSERT_EQ(x.isc(), 1);
    Mm xf = full(x);
    EXPECT_DOUBLE_EQ(xf.i(1), -M_PI);
    EXPECT_EQ(xf.i(3), 0);
}

// sign(x, y): y gives the shape only, sparse or not; the result is that
// of the same call on full operands, in sparse form.
TEST(Elementary, TwoOperandSignWithSparseOperands)
{
    struct Case {
        const char* what;
        Mm got, on_full;
        std::vector<double> expected;
    };
    const Mm row = test::row({-3, 0, 2});
    const std::vector<Case> cases = {
        {"sign(-3, sparse([1 2]))", sign(Mm(-3.0), sparse(test::row({1, 2}))), sign(Mm(-3.0), test::row({1, 2})), {-1, -1}},
        {"sign(sparse([-3 0 2]), [1 2 3])", sign(sparse(row), test::row({1, 2, 3})), sign(row, test::row({1, 2, 3})),
         {-1, 0, 1}},
        {"sign(sparse([-3 0 2]), sparse([1 0 3]))", sign(sparse(row), sparse(test::row({1, 0, 3}))),
         sign(row, test::row({1, 0, 3})), {-1, 0, 1}},
        {"sign(sparse(0), [1 2])", sign(sparse(Mm(0.0)), test::row({1, 2})), sign(Mm(0.0), test::row({1, 2})), {0, 0}},
        {"sign(sparse([-3 0 2]), 7)", sign(sparse(row), Mm(7.0)), sign(row, Mm(7.0)), {-1, 0, 1}},
        {"sign(sparse(5), sparse([1; 2]))", sign(sparse(Mm(5.0)), sparse(test::real(2, 1, {1, 2}))),
         sign(Mm(5.0), test::real(2, 1, {1, 2})), {1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.got.issparse());
        EXPECT_EQ(test::extents(c.got), test::extents(c.on_full));
        EXPECT_EQ(test::values(full(c.got)), c.expected);
        EXPECT_EQ(test::values(c.on_full), c.expected);
        // Nothing stored where the result is zero.
        EXPECT_EQ(c.got.getnnz(), int(std::count_if(c.expected.begin(), c.expected.end(), [](double v) { return v != 0; })));
    }
    EXPECT_ERROR(sign(sparse(test::row({1, 2, 3})), test::row({1, 2})), "sign: incompatible dimensions of: (temporary), (temporary)");
    EXPECT_EQ(test::extents(sign(sparse(test::row({1, 2})), Mm())), test::extents(sign(test::row({1, 2}), Mm())));
}

} // namespace
