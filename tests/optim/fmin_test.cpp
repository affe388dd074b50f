// fmin and fminbnd: Brent's minimiser on an interval, its pass limit, its
// output vector and the non-finite cases.
#include "test_support.hpp"
#include "user_functions.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

class FminTest : public ::testing::Test {
protected:
    FminTest()
    {
        reg.define_scalar("cos", [](double x) { return std::cos(x); });
        reg.define_scalar("line", [](double x) { return x; });
        reg.define_scalar("nan", [](double) { return NAN; });
        reg.define_scalar("quartic", [](double x) { return std::pow(x - 0.7, 4) + 0.1 * x; });
    }
    test::user_functions reg;
};

TEST_F(FminTest, FindsTheMinimumEitherWayRound)
{
    const double x = test::at(fmin(TM("cos"), Mm(3.0), Mm(4.0)), 0);
    EXPECT_NEAR(x, M_PI, 1e-4);
    EXPECT_EQ(test::bits(test::at(fmin(TM("cos"), Mm(4.0), Mm(3.0)), 0)), test::bits(x));
    EXPECT_EQ(test::bits(test::at(fminbnd(TM("cos"), Mm(3.0), Mm(4.0)), 0)), test::bits(x));
    const double tight = test::at(fmin(TM("cos"), Mm(3.0), Mm(4.0), test::row({0, 1e-10})), 0);
    EXPECT_NEAR(tight, M_PI, 1e-7);
}

TEST_F(FminTest, OutputVector)
{
    Mm x, out;
    fmin(TM("cos"), Mm(3.0), Mm(4.0), i_o, x, out);
    ASSERT_EQ(out.size(), 18);
    EXPECT_EQ(out.rows(), 1);
    EXPECT_EQ(test::at(out, 1), 1e-4);
    EXPECT_EQ(test::bits(test::at(out, 7)), test::bits(std::cos(test::at(x, 0)))) << "the value at x";
    EXPECT_GT(test::at(out, 9), 1);
    for (int k : {0, 2, 3, 4, 5, 6, 8, 10, 11, 12, 13, 14, 15, 16, 17})
        EXPECT_EQ(test::at(out, k), 0) << k;

    Mm fx, fval;
    fminbnd(TM("quartic"), Mm(0.0), Mm(2.0), i_o, fx, fval);
    EXPECT_EQ(test::bits(test::at(fval, 0)), test::bits(std::pow(test::at(fx, 0) - 0.7, 4) + 0.1 * test::at(fx, 0)));
}

TEST_F(FminTest, PassLimitAndExitflag)
{
    Mm x, out, fval, flag;
    std::vector<double> opts(14, 0.0);
    opts[13] = 3;
    Mm o(0, 0, 0, 1, 14, qv_double);
    std::copy(opts.begin(), opts.end(), o.addr());
    fmin(TM("cos"), Mm(3.0), Mm(4.0), o, i_o, x, out);
    EXPECT_EQ(test::at(out, 9), 3);
    EXPECT_EQ(reg.calls(), 4u) << "the start and one point per pass";

    fminbnd(TM("cos"), Mm(3.0), Mm(4.0), optimset(TM("MaxFunEvals"), test::cell_row({Mm(3.0)})), i_o, x, fval, flag);
    EXPECT_EQ(test::at(flag, 0), 0);
    fminbnd(TM("cos"), Mm(3.0), Mm(4.0), optimset(), i_o, x, fval, flag);
    EXPECT_EQ(test::at(flag, 0), 1);
    opts[13] = 3.9;  // truncated
    std::copy(opts.begin(), opts.end(), o.addr());
    fmin(TM("cos"), Mm(3.0), Mm(4.0), o, i_o, x, out);
    EXPECT_EQ(test::at(out, 9), 3);
    opts[13] = NAN;  // absent
    std::copy(opts.begin(), opts.end(), o.addr());
    fmin(TM("cos"), Mm(3.0), Mm(4.0), o, i_o, x, out);
    EXPECT_GT(test::at(out, 9), 3);

    fmin(TM("cos"), Mm(3.0), Mm(3.0 + 1e-6), i_o, x, out);
    EXPECT_EQ(test::at(out, 9), 1) << "converged at the first test";
}

TEST_F(FminTest, ToleranceFromTheStructure)
{
    const Mm loose = fminbnd(TM("cos"), Mm(3.0), Mm(4.0), optimset(TM("TolX"), test::cell_row({Mm(1e-2)})));
    const Mm same = fmin(TM("cos"), Mm(3.0), Mm(4.0), test::row({0, 1e-2}));
    EXPECT_EQ(test::bits(test::at(loose, 0)), test::bits(test::at(same, 0)));
    EXPECT_NEAR(test::at(loose, 0), M_PI, 1e-2);
}

TEST_F(FminTest, MinimumAtAnEnd)
{
    for (auto [a, b] : {std::pair{1.0, 2.0}, {2.0, 1.0}}) {
        const double x = test::at(fmin(TM("line"), Mm(a), Mm(b)), 0);
        EXPECT_GE(x, 1.0) << "never beyond the end";
        // The stopping test bounds the distance to the end by tol2 = 2·tol1.
        EXPECT_LE(x - 1.0, 2 * (std::sqrt(2.220446049250313e-16) * x + 1e-4 / 3));
        for (double p : reg.points())
            EXPECT_GE(p, 1.0);
    }
}

TEST_F(FminTest, NonFiniteValues)
{
    Mm x = Mm(5.0), out = TM("untouched"), fval, flag;
    fmin(TM("nan"), Mm(0.0), Mm(1.0), i_o, x, out);
    EXPECT_TRUE(std::isnan(test::at(x, 0)));
    EXPECT_EQ(test::text_of(out), "untouched");
    fminbnd(TM("nan"), Mm(0.0), Mm(1.0), i_o, x, fval, flag);
    EXPECT_TRUE(std::isnan(test::at(x, 0)));
    EXPECT_TRUE(std::isnan(test::at(fval, 0))) << "the value as evaluated, not an invented 0";
    EXPECT_EQ(test::at(flag, 0), 0) << "no convergence claimed";

    reg.define_scalar("nan_later", [](double x) { return x > 0.5 ? NAN : x * x; });
    fmin(TM("nan_later"), Mm(0.0), Mm(1.0), i_o, x, out);
    EXPECT_TRUE(std::isnan(test::at(x, 0))) << "a non-finite value inside the loop";

    reg.define("empty", [](const std::vector<Mm>&, int) { return std::vector<Mm>{Mm()}; });
    EXPECT_ERROR(fmin(TM("empty"), Mm(0.0), Mm(1.0)), "optimization: function returned empty result");
    EXPECT_ERROR(fminbnd(TM("empty"), Mm(0.0), Mm(1.0)), "optimization: function returned empty result");
}

// A search that ends without a finite answer never reports convergence:
// exitflag 0 and fval the value met, as it was evaluated.
TEST_F(FminTest, NoConvergenceWithoutAFiniteAnswer)
{
    struct Case {
        const char* name;
        double (*f)(double);
    };
    const std::vector<Case> cases = {
        {"NaN everywhere", [](double) { return double(NAN); }},
        {"NaN right of 0.5", [](double x) { return x > 0.5 ? NAN : x * x; }},
        {"NaN near its minimum", [](double x) { return x > 0.29 && x < 0.31 ? NAN : (x - 0.3) * (x - 0.3); }},
        {"Inf everywhere", [](double) { return double(INFINITY); }},
        {"-Inf right of 0.5", [](double x) { return x > 0.5 ? -INFINITY : 1.0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reg.clear_log();
        reg.define_scalar(c.name, c.f);
        Mm x, fval, flag;
        fminbnd(TM(c.name), Mm(0.0), Mm(1.0), i_o, x, fval, flag);
        EXPECT_TRUE(std::isnan(test::at(x, 0)));
        ASSERT_FALSE(reg.points().empty());
        EXPECT_EQ(test::bits(test::at(fval, 0)), test::bits(c.f(reg.points().back())))
            << "the value that ended the search";
        EXPECT_EQ(test::at(flag, 0), 0);
    }
}

// Intervals as wide as the doubles allow: b - a overflowed, the first
// point was Inf and the answer NaN. Every point is now inside.
TEST_F(FminTest, WideFiniteIntervals)
{
    reg.define_scalar("distance_to_2", [](double x) { return std::fabs(x - 2); });
    reg.define_scalar("square_to_2", [](double x) { return (x - 2) * (x - 2); });
    Mm passes = foptions();
    passes.addr()[13] = 5000;  // golden sections from a width of 2.7e308 down to 1e-4
    Mm x, out;
    fmin(TM("distance_to_2"), Mm(-1e308), Mm(1.7e308), passes, i_o, x, out);
    EXPECT_NEAR(test::at(x, 0), 2, 1e-4);
    EXPECT_LT(test::at(out, 9), 5000);
    for (double p : reg.points()) {
        EXPECT_GE(p, -1e308);
        EXPECT_LE(p, 1.7e308);
    }
    // (x - 2)^2 overflows wherever the first points fall; +Inf orders
    // above the finite values, so the search goes on from a first point
    // inside the interval to the minimum. It stopped there with NaN.
    reg.clear_log();
    Mm fval, flag;
    fminbnd(TM("square_to_2"), Mm(-1e308), Mm(1.7e308), i_o, x, fval, flag);
    ASSERT_GE(reg.calls(), 2u);
    const double first = reg.points()[0];
    EXPECT_NEAR(first, -1e308 + 0.7639320225002102 * 1.35e308, 1e293) << "a + c (b - a), b - a beyond the range";
    EXPECT_NEAR(test::at(x, 0), 2, 1e-4);
    EXPECT_EQ(test::at(fval, 0), (test::at(x, 0) - 2) * (test::at(x, 0) - 2));
    EXPECT_EQ(test::at(flag, 0), 1);
}

// A bound that is not finite is refused before the function is called.
TEST_F(FminTest, NonFiniteBoundsAreRefused)
{
    struct Case {
        const char* what;
        double a, b;
        bool bounded;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"fminbnd(f, -Inf, Inf)", -INFINITY, INFINITY, true, "fminbnd: the interval ends must be finite"},
        {"fminbnd(f, 0, Inf)", 0, INFINITY, true, "fminbnd: the interval ends must be finite"},
        {"fminbnd(f, NaN, 1)", NAN, 1, true, "fminbnd: the interval ends must be finite"},
        {"fmin(f, -Inf, 1)", -INFINITY, 1, false, "fmin: the interval ends must be finite"},
        {"fmin(f, 0, NaN)", 0, NAN, false, "fmin: the interval ends must be finite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x = Mm(7.0), fval = Mm(7.0), flag = Mm(7.0), out = Mm(7.0);
        if (c.bounded) {
            EXPECT_ERROR(fminbnd(TM("quartic"), Mm(c.a), Mm(c.b), i_o, x, fval, flag), c.message);
        } else {
            EXPECT_ERROR(fmin(TM("quartic"), Mm(c.a), Mm(c.b), i_o, x, out), c.message);
        }
        EXPECT_EQ(test::at(x, 0), 7) << "outputs untouched";
    }
    EXPECT_EQ(reg.calls(), 0u);
}

TEST_F(FminTest, ExtraParametersFollowThePoint)
{
    reg.define("shifted", [](const std::vector<Mm>& args, int) {
        const double x = args.at(0).addr()[0], c = args.at(1).addr()[0];
        return std::vector<Mm>{Mm((x - c) * (x - c))};
    });
    const double x = test::at(fmin(TM("shifted"), Mm(0.0), Mm(1.0), Mm(), test::cell_row({Mm(0.25)})), 0);
    EXPECT_NEAR(x, 0.25, 1e-4);
    for (const auto& r : reg.log())
        ASSERT_EQ(r.args.size(), 2u);
}

// A limit that is empty or no number is refused with the argument's name,
// before the function is called.
TEST_F(FminTest, LimitsThatAreNoNumbers)
{
    struct Case {
        const char* what;
        Mm x1, x2;
        bool bounded;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"fmin(f, [], 1)", Mm(), Mm(1.0), false, "fmin: the limit x1 is empty or not numeric"},
        {"fmin(f, 0, [])", Mm(0.0), Mm(), false, "fmin: the limit x2 is empty or not numeric"},
        {"fmin(f, 0, 'a')", Mm(0.0), TM("a"), false, "fmin: the limit x2 is empty or not numeric"},
        {"fminbnd(f, {1}, 2)", test::cell_row({Mm(1.0)}), Mm(2.0), true,
         "fminbnd: the limit x1 is empty or not numeric"},
        {"fminbnd(f, 0, [])", Mm(0.0), Mm(), true, "fminbnd: the limit x2 is empty or not numeric"},
        // The imaginary part was dropped without a word: the minimum was
        // that of another interval.
        {"fmin(f, 3+i, 4)", test::complex(1, 1, {3}, {1}), Mm(4.0), false, "fmin: the limit x1 must be real"},
        {"fmin(f, 3, 4i)", Mm(3.0), test::complex(1, 1, {0}, {4}), false, "fmin: the limit x2 must be real"},
        {"fminbnd(f, 3-2i, 4)", test::complex(1, 1, {3}, {-2}), Mm(4.0), true, "fminbnd: the limit x1 must be real"},
        {"fminbnd(f, 3, 4+1e-300i)", Mm(3.0), test::complex(1, 1, {4}, {1e-300}), true,
         "fminbnd: the limit x2 must be real"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Mm x = Mm(7.0), fval = Mm(7.0), flag = Mm(7.0), out = Mm(7.0);
        if (k.bounded) {
            EXPECT_ERROR(fminbnd(TM("cos"), k.x1, k.x2, i_o, x, fval, flag), k.message);
            EXPECT_EQ(test::at(fval, 0), 7) << "outputs untouched";
        } else {
            EXPECT_ERROR(fmin(TM("cos"), k.x1, k.x2, i_o, x, out), k.message);
            EXPECT_EQ(test::at(out, 0), 7) << "outputs untouched";
        }
        EXPECT_EQ(test::at(x, 0), 7) << "outputs untouched";
    }
    EXPECT_EQ(reg.calls(), 0u);
    // Complex storage whose imaginary parts are 0 is the real interval.
    const Mm three = test::complex(1, 1, {3}, {0}), four = test::complex(1, 1, {4}, {0});
    EXPECT_EQ(test::at(fmin(TM("cos"), three, four), 0), test::at(fmin(TM("cos"), Mm(3.0), Mm(4.0)), 0));
    EXPECT_EQ(test::at(fminbnd(TM("cos"), three, four), 0), test::at(fminbnd(TM("cos"), Mm(3.0), Mm(4.0)), 0));
}

// Each function reads the other options form too: the same settings given
// as a vector or as a structure give the same search, and a value of
// neither form is an error rather than the defaults.
TEST_F(FminTest, EitherOptionsForm)
{
    const Mm as_vector = test::row({0, 1e-2}), as_struct = optimset(TM("TolX"), test::cell_row({Mm(1e-2)}));
    const double reference = test::at(fmin(TM("cos"), Mm(3.0), Mm(4.0), as_vector), 0);
    const double defaults = test::at(fmin(TM("cos"), Mm(3.0), Mm(4.0)), 0);
    ASSERT_NE(test::bits(reference), test::bits(defaults));
    EXPECT_EQ(test::bits(test::at(fmin(TM("cos"), Mm(3.0), Mm(4.0), as_struct), 0)), test::bits(reference));
    EXPECT_EQ(test::bits(test::at(fminbnd(TM("cos"), Mm(3.0), Mm(4.0), as_vector), 0)), test::bits(reference));

    // The pass limit from a vector stops fminbnd (exitflag 0).
    Mm o(0, 0, 0, 1, 14, qv_double);
    std::fill(o.addr(), o.addr() + 14, 0.0);
    o.addr()[13] = 3;
    Mm x, fval, flag;
    fminbnd(TM("cos"), Mm(3.0), Mm(4.0), o, i_o, x, fval, flag);
    EXPECT_EQ(test::at(flag, 0), 0);
    Mm out;
    fmin(TM("cos"), Mm(3.0), Mm(4.0), optimset(TM("MaxFunEvals"), test::cell_row({Mm(3.0)})), i_o, x, out);
    EXPECT_EQ(test::at(out, 9), 3);

    EXPECT_ERROR(fmin(TM("cos"), Mm(3.0), Mm(4.0), test::cell_row({Mm(1.0)})),
                 "fmin: options must be an options vector or a structure");
    EXPECT_ERROR(fminbnd(TM("cos"), Mm(3.0), Mm(4.0), TM("TolX")),
                 "fminbnd: options must be an options vector or a structure");

    // Settings with imaginary parts were read as their real parts: the
    // search ran under other settings.
    struct Case {
        const char* what;
        Mm options;
        bool bounded;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"fmin, TolX 1e-2+i", test::complex(1, 2, {0, 1e-2}, {0, 1}), false, "fmin: options must be real"},
        {"fminbnd, Display i", test::complex(1, 1, {0}, {1}), true, "fminbnd: options must be real"},
        {"fmin, a structure with TolX 1e-2+i", optimset(TM("TolX"), test::cell_row({test::complex(1, 1, {1e-2}, {1})})),
         false, "fmin: the option TolX must be real"},
        {"fminbnd, a structure with MaxFunEvals 3i",
         optimset(TM("MaxFunEvals"), test::cell_row({test::complex(1, 1, {0}, {3})})), true,
         "fminbnd: the option MaxFunEvals must be real"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Mm xk = Mm(7.0), fk = Mm(7.0), flagk = Mm(7.0), outk = Mm(7.0);
        if (k.bounded) {
            EXPECT_ERROR(fminbnd(TM("cos"), Mm(3.0), Mm(4.0), k.options, i_o, xk, fk, flagk), k.message);
            EXPECT_EQ(test::at(fk, 0), 7) << "outputs untouched";
        } else {
            EXPECT_ERROR(fmin(TM("cos"), Mm(3.0), Mm(4.0), k.options, i_o, xk, outk), k.message);
            EXPECT_EQ(test::at(outk, 0), 7) << "outputs untouched";
        }
        EXPECT_EQ(test::at(xk, 0), 7) << "outputs untouched";
    }
    // Imaginary parts that are all 0 are the real settings.
    EXPECT_EQ(test::bits(test::at(fmin(TM("cos"), Mm(3.0), Mm(4.0), test::complex(1, 2, {0, 1e-2}, {0, 0})), 0)),
              test::bits(reference));
    EXPECT_EQ(test::bits(test::at(
                  fmin(TM("cos"), Mm(3.0), Mm(4.0), optimset(TM("TolX"), test::cell_row({test::complex(1, 1, {1e-2}, {0})}))),
                  0)),
              test::bits(reference));
}

// Minima at 0, at a subnormal and near +-1e308, at an end and inside, and a
// flat function: each answer inside the interval, its value the function's
// value there, and within Brent's bound (sqrt(eps) |x| + TolX, a few
// times) of the minimum when convergence is claimed. A value that is not
// finite on the way ends the search without a claim (x^2 overflows across
// the whole range).
TEST_F(FminTest, MinimaAtZeroSubnormalsAndTheEndsOfTheRange)
{
    const double top = 1.7976931348623157e308;
    struct Case {
        const char* name;
        std::function<double(double)> f;
        double a, b, xmin;  // xmin NaN: any point (a flat function)
        bool converges;
    };
    const std::vector<Case> cases = {
        {"x^2", [](double x) { return x * x; }, -1, 1, 0, true},
        {"x^2 from 0", [](double x) { return x * x; }, 0, 1, 0, true},
        {"(x - 1e-320)^2", [](double x) { return (x - 1e-320) * (x - 1e-320); }, -1, 1, 1e-320, true},
        {"x^2 on subnormals", [](double x) { return x * x; }, 5e-324, 1e-322, 5e-324, true},
        {"|x - 1e308|", [](double x) { return std::fabs(x - 1e308); }, 0, top, 1e308, true},
        {"|x + 1e308|", [](double x) { return std::fabs(x + 1e308); }, -top, top, -1e308, true},
        {"-x at the top", [](double x) { return -x; }, 1e308, top, top, true},
        {"x at the bottom", [](double x) { return x; }, -top, -1e308, -top, true},
        {"1", [](double) { return 1.0; }, -1, 1, NAN, true},
        {"0 on the whole range", [](double) { return 0.0; }, -top, top, NAN, true},
        {"x^2 on the whole range", [](double x) { return x * x; }, -top, top, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reg.define_scalar("member", c.f);
        Mm x, fval, flag;
        fminbnd(TM("member"), Mm(c.a), Mm(c.b), i_o, x, fval, flag);
        EXPECT_EQ(test::at(flag, 0), c.converges ? 1 : 0);
        if (!c.converges)
            continue;
        const double xv = test::at(x, 0);
        EXPECT_GE(xv, c.a);
        EXPECT_LE(xv, c.b);
        EXPECT_EQ(test::at(fval, 0), c.f(xv));
        if (!std::isnan(c.xmin)) {
            EXPECT_LE(std::fabs(xv - c.xmin), 3 * (1.5e-8 * std::fabs(c.xmin) + 1e-4)) << xv;
        }
    }
}

// TolX and the iteration limits at 0 read as unset (the run is the default
// one); a TolX far below the rounding of x still ends, at the rounding;
// one pass is no convergence; a complex value is refused.
TEST_F(FminTest, OptionsAtTheirLimitsAndComplexValues)
{
    reg.define_scalar("bowl", [](double x) { return (x - 0.3) * (x - 0.3); });
    Mm x0, f0, flag0;
    fminbnd(TM("bowl"), Mm(-1.0), Mm(1.0), i_o, x0, f0, flag0);
    for (const char* name : {"TolX", "MaxIter", "MaxFunEvals"})
        for (double v : {0.0, -1.0, double(NAN)}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(v));
            Mm x, fval, flag;
            fminbnd(TM("bowl"), Mm(-1.0), Mm(1.0), optimset(TM(name), test::cell_row({Mm(v)})), i_o, x, fval, flag);
            EXPECT_EQ(test::values(x), test::values(x0));
            EXPECT_EQ(test::values(flag), test::values(flag0));
        }
    Mm x, fval, flag;
    fminbnd(TM("bowl"), Mm(-1.0), Mm(1.0), optimset(TM("TolX"), test::cell_row({Mm(1e-300)})), i_o, x, fval, flag);
    EXPECT_EQ(test::at(flag, 0), 1);
    EXPECT_LE(std::fabs(test::at(x, 0) - 0.3), 1e-7);
    fminbnd(TM("bowl"), Mm(-1.0), Mm(1.0), optimset(TM("MaxFunEvals"), test::cell_row({Mm(1.0)})), i_o, x, fval, flag);
    EXPECT_EQ(test::at(flag, 0), 0);

    reg.define("complex_left", [](const std::vector<Mm>& a, int) {
        const double u = a[0].addr()[0];
        return std::vector<Mm>{u < 0.2 ? test::complex(1, 1, {-10}, {1}) : Mm((u - 0.5) * (u - 0.5))};
    });
    EXPECT_ERROR(fminbnd(TM("complex_left"), Mm(-1.0), Mm(1.0)), "optimization: function returned complex value");
    EXPECT_ERROR(fmin(TM("complex_left"), Mm(-1.0), Mm(1.0)), "optimization: function returned complex value");
}

} // namespace

namespace {

// A function that overflows over most of its interval: +Inf ranks above
// every finite value, and where two points overflow the one nearer 0 ranks
// lower, so the search closes in from the ends to the finite values and the
// minimum among them. Where it meets none, x is NaN and exitflag 0.
TEST_F(FminTest, FunctionsThatOverflowOverMostOfAWideInterval)
{
    const double top = 1.7976931348623157e308;
    struct Case {
        const char* name;
        std::function<double(double)> f;
        double a, b;
        double xmin;  // NaN: no finite value is met
    };
    const std::vector<Case> cases = {
        {"(x-2)^2 on [-1e308, 1.7e308]", [](double x) { return (x - 2) * (x - 2); }, -1e308, 1.7e308, 2},
        {"(x-2)^2 reversed", [](double x) { return (x - 2) * (x - 2); }, 1.7e308, -1e308, 2},
        {"(x+3)^2 on the whole range", [](double x) { return (x + 3) * (x + 3); }, -top, top, -3},
        {"x^4 - x on the whole range", [](double x) { return x * x * x * x - x; }, -top, top, std::cbrt(0.25)},
        {"(x-1e100)^2 on [0, 1e300]", [](double x) { return (x - 1e100) * (x - 1e100); }, 0, 1e300, 1e100},
        {"exp(x) - 2x on [-1e308, 1e308]", [](double x) { return std::exp(x) - 2 * x; }, -1e308, 1e308, M_LN2},
        {"x^2 on [1e200, 1e300]: never finite", [](double x) { return x * x; }, 1e200, 1e300, NAN},
        {"finite only far from 0", [](double x) { return x > 1e300 && x < 1.1e300 ? 1.0 : INFINITY; }, -1e308,
         1e308, NAN},
    };
    for (const Case& c : cases) {
        for (const bool bnd : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bnd ? " fminbnd" : " fmin"));
            reg.define_scalar("member", c.f);
            reg.clear_log();
            // The golden sections from a width of 3.6e308 down to the
            // finite values take up to 1100 passes.
            Mm x, fval, flag, out;
            if (bnd) {
                fminbnd(TM("member"), Mm(c.a), Mm(c.b), optimset(TM("MaxFunEvals"), test::cell_row({Mm(5000.0)})), i_o,
                        x, fval, flag);
            } else {
                Mm passes = foptions();
                passes.addr()[13] = 5000;
                fmin(TM("member"), Mm(c.a), Mm(c.b), passes, i_o, x, out);
                fval = Mm(test::at(out, 7));
            }
            for (double p : reg.points()) {
                EXPECT_GE(p, std::fmin(c.a, c.b));
                EXPECT_LE(p, std::fmax(c.a, c.b));
            }
            const double xv = test::at(x, 0);
            if (std::isnan(c.xmin)) {
                EXPECT_TRUE(std::isnan(xv)) << xv;
                EXPECT_EQ(test::at(fval, 0), INFINITY);
                if (bnd) {
                    EXPECT_EQ(test::at(flag, 0), 0) << "no convergence claimed";
                }
                continue;
            }
            EXPECT_LE(std::fabs(xv - c.xmin), 3 * (1.5e-8 * std::fabs(c.xmin) + 1e-4)) << xv;
            if (bnd) {
                EXPECT_EQ(test::at(flag, 0), 1);
                EXPECT_EQ(test::at(fval, 0), c.f(xv));
            }
        }
    }
}

} // namespace
