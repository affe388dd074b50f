// The Nelder-Mead core through fmins, fminsearch and fsolve: the initial
// simplex, the stopping tests, the trace and the outputs.
#include "test_support.hpp"
#include "user_functions.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

Mm options_with(std::vector<std::pair<int, double>> entries)
{
    Mm o = foptions();
    for (auto [pos, v] : entries)
        o.addr()[pos - 1] = v;
    return o;
}

int count_of(const std::string& text, const std::string& word)
{
    int n = 0;
    for (std::size_t p = text.find(word); p != std::string::npos; p = text.find(word, p + 1))
        ++n;
    return n;
}

class SimplexTest : public ::testing::Test {
protected:
    SimplexTest()
    {
        reg.define("rosen", [](const std::vector<Mm>& a, int) {
            const double x = a[0].addr()[0], y = a[0].addr()[1];
            return std::vector<Mm>{Mm(100 * (y - x * x) * (y - x * x) + (1 - x) * (1 - x))};
        });
        reg.define("bowl", [](const std::vector<Mm>& a, int) {
            const double x = a[0].addr()[0], y = a[0].addr()[1];
            return std::vector<Mm>{Mm((x - 2) * (x - 2) + y * y)};
        });
    }
    test::user_functions reg;
};

TEST_F(SimplexTest, InitialSimplexInOrder)
{
    fmins(TM("bowl"), test::row({0, 0}), options_with({{14, 1}}));
    const auto log = reg.log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(test::values(log[0].args[0]), (std::vector<double>{0, 0}));
    EXPECT_EQ(test::values(log[1].args[0]), (std::vector<double>{0.00025, 0}));
    EXPECT_EQ(test::values(log[2].args[0]), (std::vector<double>{0, 0.00025}));
    reg.clear_log();
    fmins(TM("bowl"), test::row({2, -4}), options_with({{14, 1}}));
    EXPECT_EQ(test::values(reg.log()[1].args[0]), (std::vector<double>{2.1, -4}));
    EXPECT_EQ(test::values(reg.log()[2].args[0]), (std::vector<double>{2, -4.2}));
}

TEST_F(SimplexTest, Rosenbrock)
{
    Mm x, out;
    fmins(TM("rosen"), test::row({-1.2, 1}), options_with({{2, 1e-6}, {3, 1e-6}}), i_o, x, out);
    EXPECT_NEAR(test::at(x, 0), 1, 1e-4);
    EXPECT_NEAR(test::at(x, 1), 1, 1e-4);
    EXPECT_EQ(test::extents(x), (std::vector<int>{1, 2}));
    ASSERT_EQ(out.size(), 18);
    EXPECT_EQ(test::at(out, 1), 1e-6);
    EXPECT_EQ(test::at(out, 2), 1e-6);
    const double fx = 100 * std::pow(test::at(x, 1) - test::at(x, 0) * test::at(x, 0), 2) +
                      std::pow(1 - test::at(x, 0), 2);
    EXPECT_EQ(test::bits(test::at(out, 7)), test::bits(fx));
    EXPECT_GT(test::at(out, 9), 10);
    EXPECT_EQ(test::at(out, 0), 0) << "nothing else carried over";
}

TEST_F(SimplexTest, IterationLimit)
{
    Mm x, out, fval, flag;
    fmins(TM("rosen"), test::row({-1.2, 1}), options_with({{14, 5}}), i_o, x, out);
    EXPECT_EQ(test::at(out, 9), 5);
    fminsearch(TM("rosen"), test::row({-1.2, 1}), optimset(TM("MaxFunEvals"), test::cell_row({Mm(5.0)})), i_o, x,
               fval, flag);
    EXPECT_EQ(test::at(flag, 0), 0);
    EXPECT_EQ(test::bits(test::at(fval, 0)), test::bits(test::at(out, 7)));
    fminsearch(TM("bowl"), test::row({0, 0}), i_o, x, fval, flag);
    EXPECT_EQ(test::at(flag, 0), 1);
    EXPECT_NEAR(test::at(x, 0), 2, 1e-3);
}

TEST_F(SimplexTest, ExtentBelowTolfStopsAtOnce)
{
    Mm x, out;
    fmins(TM("bowl"), test::row({1, 1}), options_with({{3, 0.06}}), i_o, x, out);
    EXPECT_EQ(reg.calls(), 3u);
    EXPECT_EQ(test::at(out, 9), 0);
    EXPECT_EQ(test::values(x), (std::vector<double>{1.05, 1})) << "the best initial vertex";
}

TEST_F(SimplexTest, ShapeOfThePointAndTrace)
{
    reg.define("matrix", [](const std::vector<Mm>& a, int) {
        EXPECT_EQ(test::extents(a[0]), (std::vector<int>{2, 2}));
        double s = 0;
        for (int k = 0; k < 4; ++k)
            s += (a[0].addr()[k] - k) * (a[0].addr()[k] - k);
        return std::vector<Mm>{Mm(s)};
    });
    test::clear_printed();
    Mm x, out;
    fmins(TM("matrix"), test::real(2, 2, {1, 1, 1, 1}), options_with({{1, 1}, {14, 40}}), i_o, x, out);
    EXPECT_EQ(test::extents(x), (std::vector<int>{2, 2}));
    const std::string& trace = test::printed();
    const int words = count_of(trace, "reflect\n") + count_of(trace, "expand\n") +
                      count_of(trace, "contract inside\n") + count_of(trace, "shrink\n");
    EXPECT_EQ(words, static_cast<int>(test::at(out, 9)));
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), words);
    test::clear_printed();
    fmins(TM("matrix"), test::real(2, 2, {1, 1, 1, 1}), options_with({{1, NAN}, {14, 4}}));
    EXPECT_EQ(test::printed(), "") << "NaN display is off";
}

TEST_F(SimplexTest, EmptyStartAndEmptyResult)
{
    Mm x = Mm(3.0), out;
    fmins(TM("bowl"), Mm(), i_o, x, out);
    EXPECT_TRUE(isempty(x));
    EXPECT_EQ(reg.calls(), 0u);
    reg.define("empty", [](const std::vector<Mm>&, int) { return std::vector<Mm>{Mm()}; });
    EXPECT_ERROR(fmins(TM("empty"), Mm(1.0)), "optimization: function returned empty result");
}

// The simplex moves in real coordinates: an imaginary part of the start
// was dropped without a word, and the search began somewhere else.
TEST_F(SimplexTest, ComplexStartIsRefused)
{
    struct Case {
        const char* what;
        const char* who;
        Mm x0;
    };
    const std::vector<Case> cases = {
        {"fmins(f, [1+i 2])", "fmins", test::complex(1, 2, {1, 2}, {1, 0})},
        {"fminsearch(f, [1 2i])", "fminsearch", test::complex(1, 2, {1, 0}, {0, 2})},
        {"fsolve(f, [1 2-1e-300i])", "fsolve", test::complex(1, 2, {1, 2}, {0, -1e-300})},
        {"fmins(f, sparse complex)", "fmins", sparse(test::complex(2, 1, {0, 1}, {0, 3}))},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const std::string message = std::string(k.who) + ": x0 must be real";
        Mm x = Mm(7.0), out = Mm(7.0), fval = Mm(7.0), flag = Mm(7.0);
        const std::string who = k.who;
        if (who == "fmins") {
            EXPECT_ERROR(fmins(TM("bowl"), k.x0, i_o, x, out), message);
        } else if (who == "fminsearch") {
            EXPECT_ERROR(fminsearch(TM("bowl"), k.x0, i_o, x, fval, flag), message);
            EXPECT_EQ(test::at(fval, 0), 7) << "outputs untouched";
            EXPECT_EQ(test::at(flag, 0), 7) << "outputs untouched";
        } else {
            EXPECT_ERROR(fsolve(TM("bowl"), k.x0, i_o, x, out), message);
        }
        EXPECT_EQ(test::at(x, 0), 7) << "outputs untouched";
        EXPECT_EQ(test::at(out, 0), 7) << "outputs untouched";
    }
    EXPECT_EQ(reg.calls(), 0u);
    // Complex storage whose imaginary parts are 0 is the real start.
    EXPECT_EQ(test::values(fminsearch(TM("bowl"), test::complex(1, 2, {1, 1}, {0, 0}))),
              test::values(fminsearch(TM("bowl"), test::row({1, 1}))));
}

TEST_F(SimplexTest, FsolveMinimisesTheSize)
{
    reg.define_scalar("minus2", [](double x) { return x - 2; });
    EXPECT_NEAR(test::at(fsolve(TM("minus2")), 0), 2, 1e-3);
    EXPECT_EQ(reg.points()[1], 0.00025);

    Mm x = Mm(1.0), out;
    reg.clear_log();
    fsolve(TM("minus2"), i_o, x, out);
    EXPECT_TRUE(isempty(x));
    EXPECT_EQ(reg.calls(), 0u);

    reg.define("pair", [](const std::vector<Mm>& a, int) {
        const double u = a[0].addr()[0], v = a[0].addr()[1];
        Mm r(0, 0, 0, 2, 1, qv_double);
        r.addr()[0] = u + v - 3;
        r.addr()[1] = u - v - 1;
        return std::vector<Mm>{r};
    });
    fsolve(TM("pair"), test::row({0, 0}), options_with({{2, 1e-8}, {3, 1e-8}}), i_o, x, out);
    EXPECT_NEAR(test::at(x, 0), 2, 1e-4);
    EXPECT_NEAR(test::at(x, 1), 1, 1e-4);
    const double r1 = test::at(x, 0) + test::at(x, 1) - 3, r2 = test::at(x, 0) - test::at(x, 1) - 1;
    EXPECT_EQ(test::bits(test::at(out, 7)), test::bits(r1 * r1 + r2 * r2));
}

// fmins, fminsearch and fsolve read the other options form too: the same
// settings as a vector or a structure give the same point, and a value of
// neither form is an error rather than the defaults.
// NaN values: a vertex with a number outranks one without, and a search
// that never met a number reports no convergence (exitflag 0, fval the
// NaN as evaluated) instead of exitflag 1.
TEST_F(SimplexTest, NaNValues)
{
    reg.define("nan_left_of_0.9", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0], y = a[0].addr()[1];
        return std::vector<Mm>{Mm(x < 0.9 ? NAN : (x - 1) * (x - 1) + (y - 2) * (y - 2))};
    });
    reg.define("nan_at_the_start", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0], y = a[0].addr()[1];
        return std::vector<Mm>{Mm(x == 0 && y == 0 ? NAN : (x - 2) * (x - 2) + y * y)};
    });
    struct Case {
        const char* f;
        double exitflag;
        std::vector<double> x;  // empty: the start point comes back
    };
    const std::vector<Case> cases = {
        {"nan_left_of_0.9", 0, {}},
        {"nan_at_the_start", 1, {2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.f);
        reg.clear_log();
        Mm x, fval, exitflag;
        fminsearch(TM(c.f), test::row({0, 0}), i_o, x, fval, exitflag);
        EXPECT_EQ(test::at(exitflag, 0), c.exitflag);
        if (c.x.empty()) {
            EXPECT_TRUE(std::isnan(test::at(fval, 0)));
            EXPECT_EQ(test::values(x), (std::vector<double>{0, 0}));
            EXPECT_EQ(reg.calls(), 3u) << "the initial simplex only";
        } else {
            EXPECT_TRUE(std::isfinite(test::at(fval, 0)));
            EXPECT_NEAR(test::at(x, 0), c.x[0], 1e-3);
            EXPECT_NEAR(test::at(x, 1), c.x[1], 1e-3);
        }
    }
}

TEST_F(SimplexTest, EitherOptionsForm)
{
    const Mm as_vector = options_with({{2, 1e-2}, {3, 1e-2}});
    const Mm as_struct =
        optimset(TM("TolX"), test::cell_row({Mm(1e-2), TM("TolFun"), Mm(1e-2)}));
    const Mm start = test::row({-1.2, 1});
    const std::vector<double> reference = test::values(fmins(TM("rosen"), start, as_vector));
    ASSERT_NE(reference, test::values(fmins(TM("rosen"), start))) << "the settings matter";
    EXPECT_EQ(test::values(fmins(TM("rosen"), start, as_struct)), reference);
    Mm x, fval, flag;
    fminsearch(TM("rosen"), start, as_vector, i_o, x, fval, flag);
    EXPECT_EQ(test::values(x), reference);
    EXPECT_EQ(test::values(fsolve(TM("rosen"), start, as_struct)), test::values(fsolve(TM("rosen"), start, as_vector)));

    EXPECT_ERROR(fmins(TM("rosen"), start, test::cell_row({Mm(1.0)})),
                 "fmins: options must be an options vector or a structure");
    EXPECT_ERROR(fminsearch(TM("rosen"), start, TM("TolX")),
                 "fminsearch: options must be an options vector or a structure");
    EXPECT_ERROR(fmins(TM("rosen"), start, test::complex(1, 3, {0, 1e-2, 1e-2}, {0, 0, 1})), "fmins: options must be real");
    EXPECT_ERROR(fminsearch(TM("rosen"), start, optimset(TM("TolFun"), test::cell_row({test::complex(1, 1, {0}, {1})}))),
                 "fminsearch: the option TolFun must be real");
}

// Minima at 0, at a subnormal and at +-1e308, from starts up to the
// largest double. Near 1.7e308 the reflection 2c - w overflowed: it was
// never tried and the search claimed convergence at its start, 7e307 from
// the minimum of |x - 1e308|. A step out of the doubles is never reported.
TEST_F(SimplexTest, MinimaAtZeroSubnormalsAndTheEndsOfTheRange)
{
    const double top = 1.7976931348623157e308;
    struct Case {
        const char* name;
        std::function<double(double)> f;
        double start, xmin;
    };
    const std::vector<Case> cases = {
        {"x^2 from 1", [](double x) { return x * x; }, 1, 0},
        {"x^2 from 0", [](double x) { return x * x; }, 0, 0},
        {"x^2 from a subnormal", [](double x) { return x * x; }, 1e-320, 0},
        {"(x - 1e-320)^2", [](double x) { return (x - 1e-320) * (x - 1e-320); }, 1, 0},
        {"|x - 1e308| from 1e308", [](double x) { return std::fabs(x - 1e308); }, 1e308, 1e308},
        {"|x - 1e308| from 1.7e308", [](double x) { return std::fabs(x - 1e308); }, 1.7e308, 1e308},
        {"|x - 1e308| from the top", [](double x) { return std::fabs(x - 1e308); }, top, 1e308},
        {"|x + 1e308| from the bottom", [](double x) { return std::fabs(x + 1e308); }, -top, -1e308},
        {"|x - 1.5e308| from 1.2e308", [](double x) { return std::fabs(x - 1.5e308); }, 1.2e308, 1.5e308},
        {"flat from 1e308", [](double) { return 1.0; }, 1e308, 1e308},
        {"flat from a subnormal", [](double) { return 0.0; }, 5e-324, 5e-324},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reg.define_scalar("member", c.f);
        reg.clear_log();
        Mm x, fval, flag;
        fminsearch(TM("member"), Mm(c.start), optimset(), i_o, x, fval, flag);
        const double xv = test::at(x, 0);
        EXPECT_EQ(test::at(flag, 0), 1);
        EXPECT_EQ(test::at(fval, 0), c.f(xv));
        EXPECT_LE(std::fabs(xv - c.xmin), 1e-4 + 1e-8 * std::fabs(c.xmin)) << xv;
        for (double p : reg.points())
            ASSERT_TRUE(std::isfinite(p)) << p;
    }
    // 1/x falls toward +Inf: the steps past the top are not taken, and the
    // answer is a double with its own value.
    reg.define_scalar("inverse", [](double x) { return 1 / x; });
    reg.clear_log();
    Mm x, fval, flag;
    fminsearch(TM("inverse"), Mm(1e308), optimset(), i_o, x, fval, flag);
    EXPECT_TRUE(std::isfinite(test::at(x, 0)));
    EXPECT_EQ(test::at(fval, 0), 1 / test::at(x, 0));
    for (double p : reg.points())
        ASSERT_TRUE(std::isfinite(p)) << p;
}

// Complex values: one has no order and is refused; a vector's size counts
// its imaginary parts, where the real parts alone made (x - 1) + (x - 2)i
// look solved at x = 1 with size 0.
TEST_F(SimplexTest, ComplexValues)
{
    reg.define("complex_left", [](const std::vector<Mm>& a, int) {
        const double u = a[0].addr()[0];
        return std::vector<Mm>{u < 0.2 ? test::complex(1, 1, {-10}, {1}) : Mm((u - 0.5) * (u - 0.5))};
    });
    EXPECT_ERROR(fminsearch(TM("complex_left"), Mm(0.0)), "optimization: function returned complex value");
    EXPECT_ERROR(fmins(TM("complex_left"), Mm(0.0)), "optimization: function returned complex value");
    reg.define("complex_pair", [](const std::vector<Mm>& a, int) {
        const double u = a[0].addr()[0];
        return std::vector<Mm>{test::complex(2, 1, {u - 1, 0}, {0, u - 2})};
    });
    Mm x, out;
    fsolve(TM("complex_pair"), Mm(1.0), i_o, x, out);
    EXPECT_NEAR(test::at(x, 0), 1.5, 1e-4);
    EXPECT_NEAR(test::at(out, 7), 0.5, 1e-8) << "(x - 1)^2 + (x - 2)^2 at its minimum";
    Mm xs, fval, flag;
    fminsearch(TM("complex_pair"), Mm(0.0), optimset(), i_o, xs, fval, flag);
    EXPECT_NEAR(test::at(xs, 0), 1.5, 1e-3);
    EXPECT_EQ(test::at(flag, 0), 1);
}

// A start at Inf or NaN is refused before any call: the search had nowhere
// to go and gave the start back as the answer, with the value NaN.
TEST_F(SimplexTest, StartsThatAreNotFinite)
{
    reg.define_scalar("square", [](double x) { return x * x; });
    for (const Mm& x0 : {Mm(NAN), Mm(HUGE_VAL), Mm(-HUGE_VAL), test::row({1, NAN})}) {
        SCOPED_TRACE(std::to_string(test::at(x0, x0.size() - 1)));
        Mm x, out, fval, flag;
        EXPECT_ERROR(fminsearch(TM("square"), x0, optimset(), i_o, x, fval, flag), "fminsearch: x0 must be finite");
        EXPECT_ERROR(fmins(TM("square"), x0), "fmins: x0 must be finite");
        EXPECT_ERROR(fsolve(TM("square"), x0, i_o, x, out), "fsolve: x0 must be finite");
        EXPECT_ERROR(fminu(TM("square"), x0, i_o, x, out), "constr: x0 must be finite");
        EXPECT_ERROR(constr(TM("square"), x0, i_o, x, out), "constr: x0 must be finite");
    }
    EXPECT_EQ(reg.calls(), 0u);
}

} // namespace

namespace {

// Functions that overflow away from their minimum: +Inf ranks above every
// finite value (only NaN has no place), so a simplex that steps into the
// overflow comes back, and a start where the function overflows reports no
// convergence rather than a point it never compared.
TEST_F(SimplexTest, FunctionsThatOverflowAwayFromTheMinimum)
{
    reg.define("exp_bowl", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0], y = a[0].addr()[1];
        return std::vector<Mm>{Mm(std::exp(x) - 2 * x + std::exp(y) - 3 * y)};
    });
    reg.define("square_to_2", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0], y = a[0].addr()[1];
        return std::vector<Mm>{Mm((x - 2) * (x - 2) * 1e300 + (y + 1) * (y + 1) * 1e300)};
    });
    struct Case {
        const char* f;
        std::vector<double> x0;
        std::vector<double> xmin;  // empty: no finite value is met
    };
    const std::vector<Case> cases = {
        {"exp_bowl", {0, 0}, {M_LN2, std::log(3.0)}},
        {"exp_bowl", {700, -700}, {M_LN2, std::log(3.0)}},
        {"square_to_2", {0, 0}, {2, -1}},
        {"square_to_2", {1e200, -1e200}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.f) + " from " + std::to_string(c.x0[0]));
        Mm x, fval, exitflag;
        fminsearch(TM(c.f), test::row({c.x0[0], c.x0[1]}), optimset(TM("MaxFunEvals"), test::cell_row({Mm(5000.0)})), i_o, x,
                   fval, exitflag);
        if (c.xmin.empty()) {
            EXPECT_EQ(test::at(fval, 0), INFINITY);
            EXPECT_EQ(test::at(exitflag, 0), 0) << "no convergence claimed";
            EXPECT_EQ(test::values(x), c.x0) << "no point compared better than the start";
            continue;
        }
        EXPECT_EQ(test::at(exitflag, 0), 1);
        EXPECT_TRUE(std::isfinite(test::at(fval, 0)));
        for (int k = 0; k < 2; ++k)
            EXPECT_NEAR(test::at(x, k), c.xmin[k], 1e-3) << k;
    }
}

} // namespace
