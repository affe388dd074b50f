// constr, minimax, curvefit and fminu: the constraint vector, bounds,
// equalities, the returned options, the calling protocol and the errors.
#include "optim/minimisation.hpp"
#include "test_support.hpp"
#include "user_functions.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

#include "data/constr_problems.inc"

Mm options_with(std::vector<std::pair<int, double>> entries)
{
    Mm o = foptions();
    for (auto [pos, v] : entries)
        o.addr()[pos - 1] = v;
    return o;
}

Mm column(std::vector<double> v)
{
    Mm m(0, 0, 0, static_cast<int>(v.size()), 1, qv_double);
    std::copy(v.begin(), v.end(), m.addr());
    return m;
}

// A user function [f, g] = fun(x): objective and constraints (g <= 0).
test::user_body objective_and_constraints(std::function<Mm(const double*)> f,
                                          std::function<std::vector<double>(const double*)> g)
{
    return [f, g](const std::vector<Mm>& a, int) {
        const double* x = a.at(0).addr();
        const std::vector<double> gv = g ? g(x) : std::vector<double>{};
        return std::vector<Mm>{f(x), gv.empty() ? Mm() : column(gv)};
    };
}

class ConstrTest : public ::testing::Test {
protected:
    ConstrTest()
    {
        reg.define("corner", objective_and_constraints(
                                 [](const double* x) { return Mm((x[0] - 1) * (x[0] - 1) + (x[1] - 2) * (x[1] - 2)); },
                                 [](const double* x) { return std::vector<double>{x[0] + x[1] - 2}; }));
        reg.define("rosen_suzuki",
                   objective_and_constraints(
                       [](const double* x) {
                           return Mm(x[0] * x[0] + x[1] * x[1] + 2 * x[2] * x[2] + x[3] * x[3] - 5 * x[0] - 5 * x[1] -
                                     21 * x[2] + 7 * x[3]);
                       },
                       [](const double* x) {
                           return std::vector<double>{
                               x[0] * x[0] + x[1] * x[1] + x[2] * x[2] + x[3] * x[3] + x[0] - x[1] + x[2] - x[3] - 8,
                               x[0] * x[0] + 2 * x[1] * x[1] + x[2] * x[2] + 2 * x[3] * x[3] - x[0] - x[3] - 10,
                               2 * x[0] * x[0] + x[1] * x[1] + x[2] * x[2] + 2 * x[0] - x[1] - x[3] - 5};
                       }));
        reg.define("free", objective_and_constraints(
                               [](const double* x) {
                                   return Mm((x[0] + 5) * (x[0] + 5) + (x[1] + 5) * (x[1] + 5) + (x[2] - 4) * (x[2] - 4));
                               },
                               nullptr));
    }
    test::user_functions reg;
};

TEST_F(ConstrTest, AgreesWithAnIndependentRun)
{
    struct Case {
        const char* name;
        Mm x0, vlb;
        std::vector<double> reference;
    };
    const std::vector<Case> cases = {
        {"corner", test::row({0, 0}), test::row({0, 0}), bounded_corner_reference},
        {"rosen_suzuki", test::row({0, 0, 0, 0}), Mm(), rosen_suzuki_reference},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Mm x = constr(TM(c.name), c.x0, Mm(), c.vlb);
        ASSERT_EQ(x.size(), static_cast<int>(c.reference.size()));
        for (int k = 0; k < x.size(); ++k)
            EXPECT_NEAR(test::at(x, k), c.reference[k], 1e-5) << k;
    }
}

TEST_F(ConstrTest, ReturnedOptionsAndEvaluationCount)
{
    Mm x, out;
    constr(TM("corner"), test::row({0, 0}), options_with({{13, 0}}), i_o, x, out);
    ASSERT_EQ(out.size(), 18);
    EXPECT_EQ(test::at(out, 1), 1e-4);
    EXPECT_EQ(test::at(out, 2), 1e-4);
    EXPECT_EQ(test::at(out, 9), static_cast<double>(reg.calls() - 1)) << "the probe is not counted";
    EXPECT_EQ(test::at(out, 12), 0);
    for (int k : {0, 3, 7, 13, 15, 16})
        EXPECT_EQ(test::at(out, k), 0) << k;

    reg.clear_log();
    constr(TM("corner"), test::row({0, 0}), options_with({{14, 7}}), i_o, x, out);
    EXPECT_EQ(test::at(out, 9), 7);
    EXPECT_EQ(reg.calls(), 8u);

    EXPECT_DOUBLE_EQ(constrained_rhoend(1e-4, 1e-4), 1e-6);
    EXPECT_EQ(constrained_rhoend(100, 100), 0.1);
    EXPECT_EQ(constrained_rhoend(1e-20, 1e-20), 1e-14);
}

TEST_F(ConstrTest, StartsFromZeroAndPassesTheShape)
{
    reg.define_scalar("parabola", [](double x) { return (x - 3) * (x - 3); });
    const Mm x = constr(TM("parabola"));
    EXPECT_EQ(reg.points()[0], 0.0);
    EXPECT_NEAR(test::at(x, 0), 3, 1e-5);

    reg.define("square", [](const std::vector<Mm>& a, int) {
        EXPECT_EQ(test::extents(a[0]), (std::vector<int>{2, 2}));
        double s = 0;
        for (int k = 0; k < 4; ++k)
            s += (a[0].addr()[k] - k) * (a[0].addr()[k] - k);
        return std::vector<Mm>{Mm(s)};
    });
    const Mm y = constr(TM("square"), test::real(2, 2, {0, 0, 0, 0}));
    EXPECT_EQ(test::extents(y), (std::vector<int>{2, 2}));
    EXPECT_NEAR(test::at(y, 3), 3, 1e-4);
}

TEST_F(ConstrTest, VectorObjectiveIsASumOfSquares)
{
    reg.define("residuals", [](const std::vector<Mm>& a, int) {
        const double* x = a[0].addr();
        return std::vector<Mm>{test::row({x[0] - 1, 2 * (x[1] + 1)})};
    });
    const Mm x = constr(TM("residuals"), test::row({0, 0}));
    EXPECT_NEAR(test::at(x, 0), 1, 1e-5);
    EXPECT_NEAR(test::at(x, 1), -1, 1e-5);
}

TEST_F(ConstrTest, BoundsAndEqualities)
{
    // A bound vector shorter than x bounds only the leading components.
    const Mm x = constr(TM("free"), test::row({1, 2, 0}), Mm(), test::row({0, 1}), test::row({3}));
    EXPECT_NEAR(test::at(x, 0), 0, 1e-5);
    EXPECT_NEAR(test::at(x, 1), 1, 1e-5);
    EXPECT_NEAR(test::at(x, 2), 4, 1e-5);
    EXPECT_GE(test::at(x, 0), -1e-9);
    EXPECT_GE(test::at(x, 1), 1 - 1e-9);

    reg.define("on_lines", objective_and_constraints(
                               [](const double* x) { return Mm(x[0] * x[0] + (x[1] - 3) * (x[1] - 3)); },
                               [](const double* x) { return std::vector<double>{x[0] + x[1] - 1, x[0] - x[1]}; }));
    const Mm y = constr(TM("on_lines"), test::row({0, 0}), options_with({{13, 2}}));
    EXPECT_NEAR(test::at(y, 0), 0.5, 1e-3);
    EXPECT_NEAR(test::at(y, 1), 0.5, 1e-3);
    const Mm z = constr(TM("on_lines"), test::row({0, 0}));
    EXPECT_LT(test::at(z, 0), 0.1) << "as inequalities the minimum lies elsewhere";
}

// An equality enters the minimiser as the pair -g >= 0, g >= 0; as the
// single row -g^2 >= 0 its gradient vanished on the constraint and the
// run stopped short of it (x = [1.4677 0.5323] for the first case).
TEST_F(ConstrTest, EqualitiesReachTheExactOptimum)
{
    auto line = [](const double* x) { return (x[0] - 3) * (x[0] - 3) + (x[1] - 2) * (x[1] - 2); };
    auto on_lines = [](const double* x) { return x[0] * x[0] + (x[1] - 3) * (x[1] - 3); };
    reg.define("line", objective_and_constraints([=](const double* x) { return Mm(line(x)); },
                                                 [](const double* x) { return std::vector<double>{x[0] + x[1] - 2}; }));
    reg.define("on_lines",
               objective_and_constraints([=](const double* x) { return Mm(on_lines(x)); }, [](const double* x) {
                   return std::vector<double>{x[0] + x[1] - 1, x[0] - x[1]};
               }));
    struct Case {
        const char* what;
        const char* f;
        double (*objective_at)(const double*);
        Mm options;
        std::vector<double> optimum;
        double objective, tol;
    };
    const std::vector<Case> cases = {
        {"x + y = 2, default tolerances", "line", line, options_with({{13, 1}}), equality_line_reference, 4.5, 1e-5},
        {"x + y = 2, TolX = TolFun = 1e-8", "line", line, options_with({{2, 1e-8}, {3, 1e-8}, {13, 1}}),
         equality_line_reference, 4.5, 1e-7},
        {"x + y = 1 and x = y", "on_lines", on_lines, options_with({{13, 2}}), two_equalities_reference, 6.5, 1e-5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x, out;
        constr(TM(c.f), test::row({0, 0}), c.options, i_o, x, out);
        ASSERT_EQ(x.size(), 2);
        EXPECT_NEAR(test::at(x, 0), c.optimum[0], c.tol);
        EXPECT_NEAR(test::at(x, 1), c.optimum[1], c.tol);
        EXPECT_NEAR(c.objective_at(x.addr()), c.objective, 4 * c.tol);
        EXPECT_EQ(test::at(out, 12), test::at(c.options, 12)) << "neq as used";
    }
}

TEST_F(ConstrTest, MinimaxAndCurvefit)
{
    reg.define("two", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0];
        return std::vector<Mm>{test::row({x - 2, -x})};
    });
    EXPECT_NEAR(test::at(minimax(TM("two"), Mm(0.0), options_with({{15, 1}})), 0), 2, 1e-4);
    EXPECT_NEAR(test::at(minimax(TM("two"), Mm(0.0)), 0), 1, 1e-4);

    std::vector<double> xd, yd;
    for (int k = 0; k <= 6; ++k) {
        xd.push_back(0.5 * k);
        yd.push_back(2 * std::exp(-0.5 * 0.5 * k));
    }
    reg.define("model", [](const std::vector<Mm>& a, int) {
        const double p = a.at(0).addr()[0], q = a.at(0).addr()[1];
        const Mm& xdata = a.at(1);
        Mm y(0, 0, 0, 1, xdata.size(), qv_double);
        for (int k = 0; k < xdata.size(); ++k)
            y.addr()[k] = p * std::exp(q * xdata.addr()[k]);
        return std::vector<Mm>{y};
    });
    Mm xdata(0, 0, 0, 1, 7, qv_double), ydata(0, 0, 0, 1, 7, qv_double);
    std::copy(xd.begin(), xd.end(), xdata.addr());
    std::copy(yd.begin(), yd.end(), ydata.addr());
    const Mm fit = curvefit(TM("model"), test::row({1, 0}), xdata, ydata, options_with({{2, 1e-8}, {3, 1e-8}}));
    EXPECT_NEAR(test::at(fit, 0), 2, 1e-4);
    EXPECT_NEAR(test::at(fit, 1), -0.5, 1e-4);
    EXPECT_ERROR(curvefit(TM("model"), test::row({1, 0}), xdata, test::row({1, 2})),
                 "curvefit: ydata has fewer elements than the function result");
}

TEST_F(ConstrTest, ExtraParametersFollowInOrder)
{
    reg.define("shift", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0];
        return std::vector<Mm>{Mm((x - a[1].addr()[0]) * (x - a[1].addr()[0]) + a[2].addr()[0])};
    });
    const Mm x = constr(TM("shift"), Mm(0.0), Mm(), Mm(), Mm(), Mm(), test::cell_row({Mm(1.5), Mm(7.0)}));
    EXPECT_NEAR(test::at(x, 0), 1.5, 1e-5);
    for (const auto& r : reg.log()) {
        ASSERT_EQ(r.args.size(), 4u);
        EXPECT_TRUE(isempty(r.args[3]));
    }
    reg.clear_log();
    constr(TM("corner"), test::row({0, 0}), Mm(), Mm(), Mm(), Mm(), Mm(0, 0, 0, 1, 0, qv_cell));
    EXPECT_EQ(reg.log()[0].args.size(), 2u) << "an empty cell adds none";
}

TEST_F(ConstrTest, Errors)
{
    reg.define("empty", [](const std::vector<Mm>&, int) { return std::vector<Mm>{Mm(), column({1})}; });
    int calls = 0;
    reg.define("changing", [&calls](const std::vector<Mm>& a, int) {
        ++calls;
        return std::vector<Mm>{Mm(a[0].addr()[0]), column(calls == 1 ? std::vector<double>{1, 2} : std::vector<double>{1})};
    });
    reg.define("raises", [](const std::vector<Mm>&, int) -> std::vector<Mm> {
        error("raises: inside");
        return {};
    });
    for (auto family : {"constr", "minimax", "curvefit"}) {
        SCOPED_TRACE(family);
        const std::string f = family;
        auto run = [&](const char* name) {
            if (f == "constr")
                constr(TM(name), Mm(0.0));
            else if (f == "minimax")
                minimax(TM(name), Mm(0.0));
            else
                curvefit(TM(name), Mm(0.0), Mm(), Mm(1.0));
        };
        test::clear_printed();
        EXPECT_ERROR(run("empty"), "constr: the target function returned empty result.");
        EXPECT_NE(test::printed(), "") << "both outputs are shown first";
        calls = 0;
        ::testing::internal::CaptureStdout();
        EXPECT_ERROR(run("changing"), "constr: contraints are inconsistent.");
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "1+0+0!=2\n");
        EXPECT_ERROR(run("raises"), "raises: inside");
    }
    EXPECT_ERROR(constr(TM("corner"), Mm(0.0), Mm(), test::row({0, 0})),
                 "constr: vlb and vub must not have more elements than x0");
    EXPECT_ERROR(minimax(TM("corner"), Mm(0.0), Mm(), Mm(), test::row({0, 0})),
                 "minimax: vlb and vub must not have more elements than x0");
}

// The minimiser works in real numbers: imaginary parts of the start, the
// bounds, the data or the settings were dropped without a word, and the
// answer was that of another problem.
TEST_F(ConstrTest, ComplexArgumentsAreRefused)
{
    reg.define("line_model", [](const std::vector<Mm>& a, int) {
        return std::vector<Mm>{Mm(a.at(0).addr()[0])};
    });
    const Mm start = test::row({0, 0}), c = test::complex(1, 2, {0, 0}, {1, 0}), opts = foptions();
    const Mm complex_opts = test::complex(1, 2, {0, 1e-6}, {0, 1});
    struct Case {
        const char* what;
        std::function<void(Mm&, Mm&)> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"constr, x0 [i 0]", [&](Mm& x, Mm& o) { constr(TM("corner"), c, opts, Mm(), Mm(), Mm(), Mm(), i_o, x, o); },
         "constr: x0 must be real"},
        {"constr, vlb [i 0]", [&](Mm& x, Mm& o) { constr(TM("corner"), start, opts, c, Mm(), Mm(), Mm(), i_o, x, o); },
         "constr: vlb must be real"},
        {"minimax, vub [i 0]",
         [&](Mm& x, Mm& o) { minimax(TM("corner"), start, opts, Mm(), c, Mm(), Mm(), i_o, x, o); },
         "minimax: vub must be real"},
        {"constr, options with TolX 1e-6+i",
         [&](Mm& x, Mm& o) { constr(TM("corner"), start, complex_opts, Mm(), Mm(), Mm(), Mm(), i_o, x, o); },
         "constr: options must be real"},
        {"fminu, x0 [i 0]", [&](Mm& x, Mm& o) { fminu(TM("corner"), c, i_o, x, o); }, "constr: x0 must be real"},
        {"curvefit, ydata 1+i",
         [&](Mm& x, Mm& o) {
             curvefit(TM("line_model"), Mm(0.0), Mm(), test::complex(1, 1, {1}, {1}), opts, i_o, x, o);
         },
         "curvefit: ydata must be real"},
        {"curvefit, x0 sparse i",
         [&](Mm& x, Mm& o) {
             curvefit(TM("line_model"), sparse(test::complex(1, 1, {0}, {1})), Mm(), Mm(1.0), opts, i_o, x, o);
         },
         "curvefit: x0 must be real"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Mm x = Mm(7.0), o = Mm(7.0);
        EXPECT_ERROR(k.call(x, o), k.message);
        EXPECT_EQ(test::values(x), std::vector<double>{7}) << "outputs untouched";
        EXPECT_EQ(test::values(o), std::vector<double>{7}) << "outputs untouched";
    }
    EXPECT_EQ(reg.calls(), 0u);
    // Imaginary parts that are all 0 are the real problem.
    EXPECT_EQ(test::values(constr(TM("corner"), test::complex(1, 2, {0, 0}, {0, 0}), opts,
                                  test::complex(1, 2, {-5, -5}, {0, 0}))),
              test::values(constr(TM("corner"), start, opts, test::row({-5, -5}))));
}

TEST_F(ConstrTest, FminuIsConstrWithoutBounds)
{
    reg.define("shift", [](const std::vector<Mm>& a, int) {
        const double x = a[0].addr()[0], y = a[0].addr()[1];
        return std::vector<Mm>{Mm((x - a[1].addr()[0]) * (x - 1) + std::cosh(y))};
    });
    const Mm P = test::cell_row({Mm(0.5)});
    const Mm o = options_with({{2, 1e-6}});
    EXPECT_EQ(test::values(fminu(TM("shift"), test::row({0, 1}), o, Mm(), P)),
              test::values(constr(TM("shift"), test::row({0, 1}), o, Mm(), Mm(), Mm(), P)));
    Mm x1, o1, x2, o2;
    fminu(TM("shift"), test::row({0, 1}), o, Mm(), P, i_o, x1, o1);
    constr(TM("shift"), test::row({0, 1}), o, Mm(), Mm(), Mm(), P, i_o, x2, o2);
    EXPECT_EQ(test::values(x1), test::values(x2));
    EXPECT_EQ(test::values(o1), test::values(o2));
    reg.define_scalar("parabola", [](double x) { return (x - 3) * (x - 3); });
    EXPECT_EQ(test::values(fminu(TM("parabola"))), test::values(constr(TM("parabola"))));
    EXPECT_EQ(test::values(fminu(TM("parabola"), Mm(1.0))), test::values(constr(TM("parabola"), Mm(1.0))));
}

// Bounds at -Inf below or +Inf above bound nothing: each entered the
// minimiser as a constraint of value Inf, and it stopped at its first point
// without a word (x = x0). The "free" problem has its minimum at
// (-5, -5, 4); each case against the minimum of its active bounds.
TEST_F(ConstrTest, InfiniteBoundsBoundNothing)
{
    const double inf = HUGE_VAL;
    struct Case {
        const char* what;
        std::vector<double> vlb, vub, xmin;
    };
    const std::vector<Case> cases = {
        {"all infinite", {-inf, -inf, -inf}, {inf, inf, inf}, {-5, -5, 4}},
        {"an upper bound only", {}, {inf, inf, 3}, {-5, -5, 3}},
        {"one finite lower bound", {-inf, -2}, {}, {-5, -2, 4}},
        {"finite and infinite mixed", {-1, -inf, -inf}, {inf, -6, inf}, {-1, -6, 4}},
        {"finite, inactive", {-10, -inf, -inf}, {inf, inf, 10}, {-5, -5, 4}},
    };
    auto row_of = [](const std::vector<double>& v) {
        Mm m(0, 0, 0, 1, static_cast<int>(v.size()), qv_double);
        std::copy(v.begin(), v.end(), m.addr());
        return v.empty() ? Mm() : m;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::clear_printed();
        const Mm x = constr(TM("free"), test::row({1, 2, 0}), Mm(), row_of(c.vlb), row_of(c.vub));
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(test::at(x, j), c.xmin[j], 1e-4) << j;
        EXPECT_EQ(test::printed(), "");
    }
    EXPECT_ERROR(constr(TM("free"), test::row({1, 2, 0}), Mm(), test::row({0, NAN}), Mm()),
                 "constr: vlb and vub must not be NaN");
}

// The minimiser stops at the first value that is not finite and gives the
// best point before it; with no exit flag among the outputs, a warning
// says so (a NaN at the start gave the start back as the answer).
TEST_F(ConstrTest, ValuesThatAreNotFiniteAreSaid)
{
    reg.define_scalar("nan_left", [](double x) { return x < 0 ? NAN : (x - 0.5) * (x - 0.5); });
    struct Case {
        double x0;
        bool warned;
    };
    for (const Case c : {Case{-1, true}, Case{1, false}, Case{0.5, false}}) {
        SCOPED_TRACE(c.x0);
        test::clear_printed();
        Mm x, out;
        fminu(TM("nan_left"), Mm(c.x0), i_o, x, out);
        EXPECT_EQ(test::printed().find("constr: the search stopped at a function value that is not finite") !=
                      std::string::npos,
                  c.warned)
            << test::printed();
        if (!c.warned) {
            EXPECT_NEAR(test::at(x, 0), 0.5, 1e-4);
        }
    }
}

} // namespace
