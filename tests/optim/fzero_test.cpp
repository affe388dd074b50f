// fzero: the outward search, Brent's iteration on a bracket, its errors,
// and the calling protocol seen through the test harness.
#include "test_support.hpp"
#include "user_functions.hpp"

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

#include "data/scalar_solvers.inc"

constexpr double eps = 2.220446049250313e-16;

TEST(UserFunctionHarness, ArgumentsAndNargoutDuringTheCall)
{
    test::user_functions reg;
    double seen_nargout = -1;
    reg.define("f", [&](const std::vector<Mm>& args, int) {
        seen_nargout = nargout_val;
        return std::vector<Mm>{Mm(args.at(0).addr()[0] - args.at(1).addr()[0] * args.at(2).addr()[0])};
    });
    nargout_val = 3;
    const Mm x = fzero(TM("f"), test::row({0, 10}), Mm(), Mm(), test::cell_row({Mm(2.0), Mm(3.0)}));
    EXPECT_NEAR(test::at(x, 0), 6.0, 4 * eps * 6);
    EXPECT_EQ(seen_nargout, 1.0);
    EXPECT_EQ(nargout_val, 3.0) << "restored after the calls";
    const auto log = reg.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].name, "f");
    ASSERT_EQ(log[0].args.size(), 3u);
    EXPECT_EQ(test::values(log[0].args[1]), (std::vector<double>{2}));
    EXPECT_EQ(test::values(log[0].args[2]), (std::vector<double>{3}));
    EXPECT_EQ(log[0].nargout, 1.0);
    nargout_val = 0;
}

TEST(UserFunctionHarness, ErrorsPassThroughAndNargoutIsRestored)
{
    test::user_functions reg;
    reg.define("bad", [](const std::vector<Mm>&, int) -> std::vector<Mm> {
        error("bad: my own failure %d", 7);
        return {};
    });
    nargout_val = 2;
    EXPECT_ERROR(fzero(TM("bad"), Mm(1.0)), "bad: my own failure 7");
    EXPECT_ERROR(fmin(TM("bad"), Mm(1.0), Mm(2.0)), "bad: my own failure 7");
    EXPECT_ERROR(quad8(TM("bad"), Mm(0.0), Mm(1.0)), "bad: my own failure 7");
    EXPECT_EQ(nargout_val, 2.0);
    nargout_val = 0;
}

TEST(UserFunctionHarness, WithoutAHostTheHookRefuses)
{
    const char* text = "feval was not linked with the program.";
    EXPECT_ERROR(fzero(TM("sin"), Mm(3.0)), text);
    EXPECT_ERROR(fmin(TM("cos"), Mm(3.0), Mm(4.0)), text);
    EXPECT_ERROR(quad8(TM("exp"), Mm(0.0), Mm(1.0)), text);
}

TEST(Fzero, SearchesOutwardThenConverges)
{
    test::user_functions reg;
    reg.define_scalar("sin", [](double x) { return std::sin(x); });
    const Mm x = fzero(TM("sin"), Mm(3.0));
    EXPECT_NEAR(test::at(x, 0), M_PI, 4 * eps * M_PI);
    const std::vector<double> p = reg.points();
    ASSERT_GE(p.size(), 5u);
    EXPECT_EQ(p[0], 3.0);
    EXPECT_DOUBLE_EQ(p[1], 3.039);
    EXPECT_DOUBLE_EQ(p[2], 2.961);
    EXPECT_DOUBLE_EQ(p[3], 3.0507);
    EXPECT_DOUBLE_EQ(p[4], 2.9493);

    reg.clear_log();
    reg.define_scalar("shifted", [](double x) { return x - 0.5; });
    fzero(TM("shifted"), Mm(0.0));
    const std::vector<double> q = reg.points();
    ASSERT_GE(q.size(), 5u);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_DOUBLE_EQ(q[1], 0.013);
    EXPECT_DOUBLE_EQ(q[2], -0.013);
    EXPECT_DOUBLE_EQ(q[3], 0.0169);
    EXPECT_DOUBLE_EQ(q[4], -0.0169);
}

TEST(Fzero, ZerosOfMonotoneFunctionsAgreeWithReferences)
{
    test::user_functions reg;
    reg.define_scalar("cubic", [](double x) { return x * x * x - 2 * x - 5; });
    reg.define_scalar("cos_minus_x", [](double x) { return std::cos(x) - x; });
    reg.define_scalar("exp_minus_2", [](double x) { return std::exp(x) - 2; });
    reg.define_scalar("atan_half", [](double x) { return std::atan(x) - 0.5; });
    reg.define_scalar("log_shifted", [](double x) { return std::log(x) + 3; });
    reg.define_scalar("steep", [](double x) { return std::tanh(50 * (x - 1.0 / 3)); });
    for (const zero_reference& r : zero_references) {
        SCOPED_TRACE(r.name);
        const double forward = test::at(fzero(TM(r.name), test::row({r.a, r.b})), 0);
        const double reversed = test::at(fzero(TM(r.name), test::row({r.b, r.a})), 0);
        EXPECT_LE(std::fabs(forward - r.zero), 4 * eps * std::fabs(r.zero));
        EXPECT_LE(std::fabs(reversed - r.zero), 4 * eps * std::fabs(r.zero));
        const double searched = test::at(fzero(TM(r.name), Mm(1.2 * r.zero)), 0);
        EXPECT_LE(std::fabs(searched - r.zero), 4 * eps * std::fabs(r.zero));
    }
}

TEST(Fzero, ToleranceAndExactZeros)
{
    test::user_functions reg;
    reg.define_scalar("line", [](double x) { return x - 1.25; });
    EXPECT_EQ(test::at(fzero(TM("line"), Mm(1.25)), 0), 1.25);
    EXPECT_EQ(reg.calls(), 1u) << "a zero at the start point";
    reg.clear_log();
    EXPECT_EQ(test::at(fzero(TM("line"), test::row({1.25, 3})), 0), 1.25);

    reg.define_scalar("cubic", [](double x) { return x * x * x - 2 * x - 5; });
    const double loose = test::at(fzero(TM("cubic"), test::row({2, 3}), Mm(1e-3)), 0);
    EXPECT_LE(std::fabs(loose - 2.0945514815423265), 2e-3);
    for (Mm tol : {Mm(), Mm(0.0), Mm(-1.0), Mm(NAN)}) {
        const double x = test::at(fzero(TM("cubic"), test::row({2, 3}), tol), 0);
        EXPECT_LE(std::fabs(x - 2.0945514815423265), 4 * eps * 2.1) << "the default tolerance";
    }
}

// Brackets as wide as the doubles allow: the half-width (c - b) / 2
// overflowed, and the run returned NaN or -Inf where the zero is plain.
TEST(Fzero, WideFiniteBrackets)
{
    test::user_functions reg;
    reg.define_scalar("x-1", [](double x) { return x - 1; });
    reg.define_scalar("atan", [](double x) { return std::atan(x); });
    struct Case {
        const char* f;
        double a, b, zero;
    };
    const std::vector<Case> cases = {
        {"x-1", -1e308, 1e308, 1},
        {"x-1", 1e308, -1e308, 1},
        {"atan", -1e308, 1.7e308, 0},
        {"atan", -1.7976931348623157e308, 1.7976931348623157e308, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.f << " on [" << c.a << ", " << c.b << "]");
        reg.clear_log();
        const double x = test::at(fzero(TM(c.f), test::row({c.a, c.b})), 0);
        EXPECT_LE(std::fabs(x - c.zero), 4 * eps * std::fabs(c.zero)) << x;
        for (double p : reg.points())
            EXPECT_TRUE(std::isfinite(p)) << p;
    }
}

TEST(Fzero, Errors)
{
    test::user_functions reg;
    reg.define_scalar("above", [](double x) { return x * x + 1; });
    reg.define_scalar("bounded", [](double x) { return 2 + std::sin(x); });
    reg.define_scalar("nan_left", [](double x) { return x < 1.5 ? NAN : x - 2; });
    reg.define_scalar("nan_below", [](double x) { return x < 0 ? NAN : 1.0; });
    reg.define("empty", [](const std::vector<Mm>&, int) { return std::vector<Mm>{Mm()}; });
    reg.define_scalar("atan", [](double x) { return std::atan(x); });
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"no sign change", [] { fzero(TM("bounded"), Mm(1.0)); }, "fzero: could not find a change-sign interval"},
        // An infinite value keeps its sign: the search goes on to the end
        // of the range.
        {"no sign change, the values overflow first", [] { fzero(TM("above"), Mm(1.0)); },
         "fzero: could not find a change-sign interval"},
        {"same signs", [] { fzero(TM("above"), test::row({1, 2})); },
         "fzero: function must have opposite signs at interval points"},
        {"three elements", [] { fzero(TM("above"), test::row({1, 2, 3})); },
         "fzero: initial guess x must be a scalar or interval"},
        {"empty start", [] { fzero(TM("above"), Mm()); }, "fzero: initial guess x must be a scalar or interval"},
        {"non-finite in the search", [] { fzero(TM("nan_below"), Mm(0.0)); },
         "fzero: non-finite function value encountered while searching for interval"},
        {"empty result", [] { fzero(TM("empty"), Mm(1.0)); }, "optimization: function returned empty result"},
        {"empty result on an interval", [] { fzero(TM("empty"), test::row({1, 2})); },
         "optimization: function returned empty result"},
        {"fzero('atan', [-Inf Inf])", [] { fzero(TM("atan"), test::row({-INFINITY, INFINITY})); },
         "fzero: the interval ends must be finite"},
        {"an infinite end", [] { fzero(TM("atan"), test::row({0, INFINITY})); },
         "fzero: the interval ends must be finite"},
        {"a NaN end", [] { fzero(TM("atan"), test::row({NAN, 1})); }, "fzero: the interval ends must be finite"},
        {"an infinite start", [] { fzero(TM("atan"), Mm(-INFINITY)); }, "fzero: initial guess x must be finite"},
        {"a NaN start", [] { fzero(TM("atan"), Mm(NAN)); }, "fzero: initial guess x must be finite"},
        // Imaginary parts were dropped without a word: fzero('atan', 1+2i)
        // searched from 1, and [-1+i 2] bracketed [-1 2].
        {"a complex start", [] { fzero(TM("atan"), test::complex(1, 1, {1}, {2})); },
         "fzero: initial guess x must be real"},
        {"an imaginary start", [] { fzero(TM("atan"), test::complex(1, 1, {0}, {1})); },
         "fzero: initial guess x must be real"},
        {"a complex end", [] { fzero(TM("atan"), test::complex(1, 2, {-1, 2}, {1, 0})); },
         "fzero: the interval ends must be real"},
        {"a complex tolerance", [] { fzero(TM("atan"), test::row({-1, 2}), test::complex(1, 1, {1e-6}, {1})); },
         "fzero: the tolerance must be real"},
        // The search would reach the sign change only past the largest
        // double: an end at Inf is no bracket.
        {"a sign change beyond the range", [] { fzero(TM("atan"), Mm(1e308)); },
         "fzero: could not find a change-sign interval"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.call(), c.message);
    }
    EXPECT_TRUE(std::isnan(test::at(fzero(TM("nan_left"), test::row({1, 3})), 0))) << "NaN, no error";
    EXPECT_TRUE(std::isnan(test::at(fzero(TM("nan_left"), test::row({3, 1})), 0)));
    // Complex storage whose imaginary parts are all 0 is the real start.
    EXPECT_EQ(test::at(fzero(TM("atan"), test::complex(1, 2, {-1, 2}, {0, 0})), 0),
              test::at(fzero(TM("atan"), test::row({-1, 2})), 0));
    EXPECT_EQ(test::at(fzero(TM("atan"), test::complex(1, 1, {1}, {0}), test::complex(1, 1, {1e-6}, {0})), 0),
              test::at(fzero(TM("atan"), Mm(1.0), Mm(1e-6)), 0));
}

// Zeros at 0, at a subnormal and at +-1e308, from a start or on a bracket
// that reaches the largest double. Each answer is a point where the
// function is 0, or one within Brent's bound of the zero. An infinite
// value (x^3 and x - 1e308 overflow at the far ends) keeps its sign: the
// bracket [-1.7e308, 1.7e308] of x^3 gave NaN, and the search from 1 for
// the zero of x - 1e308 stopped on the overflow with an error.
TEST(Fzero, ZerosAtZeroSubnormalsAndTheEndsOfTheRange)
{
    test::user_functions reg;
    const std::map<std::string, std::function<double(double)>> functions = {
        {"x", [](double x) { return x; }},
        {"x^3", [](double x) { return x * x * x; }},
        {"x - 1e-320", [](double x) { return x - 1e-320; }},
        {"x - 1e308", [](double x) { return x - 1e308; }},
        {"x + 1e308", [](double x) { return x + 1e308; }},
        {"atan(x - 1e308)", [](double x) { return std::atan(x - 1e308); }},
        {"sign", [](double x) { return x > 0 ? HUGE_VAL : x < 0 ? -HUGE_VAL : 0.0; }},
        {"0", [](double) { return 0.0; }},
    };
    for (const auto& [name, f] : functions)
        reg.define_scalar(name, f);
    const double top = 1.7976931348623157e308;
    struct Case {
        const char* f;
        std::vector<double> start;
        double zero;
    };
    const std::vector<Case> cases = {
        {"x", {1}, 0},
        {"x", {0}, 0},
        {"x", {-1, 1}, 0},
        {"x", {-top, top}, 0},
        {"x", {5e-324, -1e-300}, 0},
        {"x^3", {1}, 0},
        {"x^3", {-top, top}, 0},
        {"x^3", {-1, 1e300}, 0},
        {"x - 1e-320", {-1, 1}, 1e-320},
        {"x - 1e-320", {0, 1e-300}, 1e-320},
        {"x - 1e-320", {1}, 1e-320},
        {"x - 1e308", {1}, 1e308},
        {"x - 1e308", {0}, 1e308},
        {"x - 1e308", {0, top}, 1e308},
        {"x - 1e308", {-top, top}, 1e308},
        {"x + 1e308", {-1}, -1e308},
        {"x + 1e308", {-top, top}, -1e308},
        {"atan(x - 1e308)", {-top, top}, 1e308},
        {"sign", {-1, 2}, 0},
        {"sign", {-top, 1}, 0},
        {"0", {1e308}, 1e308},
        {"0", {-top, top}, 0},
    };
    for (const Case& c : cases) {
        Mm start(0, 0, 0, 1, static_cast<int>(c.start.size()), qv_double);
        std::copy(c.start.begin(), c.start.end(), start.addr());
        for (Mm tol : {Mm(), Mm(1e-12)}) {
            SCOPED_TRACE(::testing::Message() << c.f << " from " << ::testing::PrintToString(c.start) << ", tolerance "
                                              << (isempty(tol) ? 0.0 : tol.r()));
            reg.clear_log();
            const double x = test::at(fzero(TM(c.f), start, tol), 0);
            ASSERT_TRUE(std::isfinite(x)) << x;
            const double t = isempty(tol) ? 0 : tol.r();
            const double fx = functions.at(c.f)(x);
            if (fx != 0) {
                EXPECT_LE(std::fabs(x - c.zero), 4 * eps * std::fabs(c.zero) + 2 * t + 1e-305) << x;
            }
            for (double p : reg.points())
                ASSERT_TRUE(std::isfinite(p)) << p;
        }
    }
}

// A function whose values are complex on part of the line has no sign
// there: its real part alone made sqrt(x) - 1 read -1 left of 0, and the
// answer came from that part.
TEST(Fzero, ComplexValuesAreRefused)
{
    test::user_functions reg;
    reg.define("sqrt_minus_one", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0];
        return std::vector<Mm>{x < 0 ? test::complex(1, 1, {-1}, {std::sqrt(-x)}) : Mm(std::sqrt(x) - 1)};
    });
    EXPECT_ERROR(fzero(TM("sqrt_minus_one"), test::row({-1, 4})), "optimization: function returned complex value");
    EXPECT_ERROR(fzero(TM("sqrt_minus_one"), Mm(0.0)), "optimization: function returned complex value");
    // Complex storage of a real value is that value.
    reg.define("stored_complex", [](const std::vector<Mm>& a, int) {
        return std::vector<Mm>{test::complex(1, 1, {a[0].addr()[0] - 2}, {0})};
    });
    EXPECT_EQ(test::at(fzero(TM("stored_complex"), test::row({0, 3})), 0), 2);
}

} // namespace
