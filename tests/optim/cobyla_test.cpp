// The derivative-free constrained minimiser on C++ callbacks: constrained
// and unconstrained minima, the evaluation limit, re-entrancy, and agreement
// with an independent run of the same method.
#include "optim/cobyla.hpp"
#include "test_support.hpp"

#include <cmath>
#include <functional>
#include <thread>
#include <vector>

namespace {

#include "data/cobyla_problems.inc"

struct problem {
    int n, m;
    std::function<double(const double*)> f;
    std::vector<std::function<double(const double*)>> c;
    std::vector<std::vector<double>> evaluated;  // every point, in order
};

void evaluate(void* context, int n, int m, double* x, double* f, double* con)
{
    problem& p = *static_cast<problem*>(context);
    p.evaluated.emplace_back(x, x + n);
    *f = p.f(x);
    for (int k = 0; k < m; ++k)
        con[k] = p.c[k](x);
}

struct run_result {
    std::vector<double> x;
    int evaluations;
};

run_result run(problem& p, std::vector<double> x0, double rhobeg, double rhoend, int maxfun)
{
    std::vector<double> w(cobyla_work_doubles(p.n, p.m));
    std::vector<int> iact(cobyla_work_ints(p.m));
    int iprint = 0;
    EXPECT_EQ(cobyla_minimise(&p, evaluate, p.n, p.m, x0.data(), rhobeg, rhoend, iprint, maxfun, w.data(),
                              iact.data()),
              0);
    return {x0, maxfun};
}

problem quadratic_above_line()
{
    return {2, 1, [](const double* x) { return x[0] * x[0] + x[1] * x[1]; },
            {[](const double* x) { return x[0] + x[1] - 1; }}, {}};
}

TEST(Cobyla, ConstrainedMinimumFromEitherSide)
{
    for (std::vector<double> start : {std::vector<double>{2, 3}, std::vector<double>{0, 0}, {-1, 4}}) {
        SCOPED_TRACE(start[0]);
        problem p = quadratic_above_line();
        const run_result r = run(p, start, 0.5, 1e-8, 2000);
        EXPECT_NEAR(r.x[0], 0.5, 1e-5);
        EXPECT_NEAR(r.x[1], 0.5, 1e-5);
        EXPECT_EQ(r.evaluations, static_cast<int>(p.evaluated.size()));
        EXPECT_LT(r.evaluations, 2000);
    }
}

TEST(Cobyla, WithoutConstraints)
{
    problem p{2, 0, [](const double* x) { return (x[0] - 1) * (x[0] - 1) + 3 * (x[1] + 2) * (x[1] + 2); }, {}, {}};
    const run_result r = run(p, {0, 0}, 0.5, 1e-8, 2000);
    EXPECT_NEAR(r.x[0], 1, 1e-6);
    EXPECT_NEAR(r.x[1], -2, 1e-6);
}

TEST(Cobyla, EvaluationLimit)
{
    auto f = [](const double* x) { return (x[0] - 1) * (x[0] - 1) + (x[1] - 2) * (x[1] - 2) + x[2] * x[2]; };
    for (int limit : {0, -3, 1}) {
        SCOPED_TRACE(limit);
        problem p{3, 0, f, {}, {}};
        const run_result r = run(p, {0.25, 0.5, 0.75}, 0.5, 1e-6, limit);
        EXPECT_EQ(r.evaluations, 1);
        EXPECT_EQ(p.evaluated.size(), 1u);
        EXPECT_EQ(r.x, (std::vector<double>{0.25, 0.5, 0.75})) << "x unchanged";
    }
    // Two points of the initial simplex: the start and the first step; the
    // second is better (closer to x1 = 1), so it is returned.
    problem p{3, 0, f, {}, {}};
    const run_result r = run(p, {0.25, 0.5, 0.75}, 0.5, 1e-6, 2);
    EXPECT_EQ(r.evaluations, 2);
    ASSERT_EQ(p.evaluated.size(), 2u);
    EXPECT_EQ(p.evaluated[1], (std::vector<double>{0.75, 0.5, 0.75}));
    EXPECT_EQ(r.x, p.evaluated[1]);
    // A worse step is not kept.
    problem q{3, 0, [](const double* x) { return x[0] * x[0]; }, {}, {}};
    EXPECT_EQ(run(q, {0.25, 0.5, 0.75}, 0.5, 1e-6, 3).x, (std::vector<double>{0.25, 0.5, 0.75}));
}

TEST(Cobyla, AgreesWithAnIndependentRun)
{
    struct Case {
        const char* name;
        problem p;
        std::vector<double> start, reference;
    };
    std::vector<Case> cases = {
        {"ellipse and line",
         {2, 3, [](const double* x) { return (x[0] - 2) * (x[0] - 2) + (x[1] - 1) * (x[1] - 1); },
          {[](const double* x) { return -x[0] * x[0] / 4 - x[1] * x[1] + 1; },
           [](const double* x) { return x[0] - 2 * x[1] + 1; }, [](const double* x) { return -(x[0] - 2 * x[1] + 1); }},
          {}},
         {2, 2},
         ellipse_and_line_reference},
        {"Rosen-Suzuki",
         {4, 3,
          [](const double* x) {
              return x[0] * x[0] + x[1] * x[1] + 2 * x[2] * x[2] + x[3] * x[3] - 5 * x[0] - 5 * x[1] - 21 * x[2] +
                     7 * x[3];
          },
          {[](const double* x) {
               return 8 - x[0] * x[0] - x[1] * x[1] - x[2] * x[2] - x[3] * x[3] - x[0] + x[1] - x[2] + x[3];
           },
           [](const double* x) { return 10 - x[0] * x[0] - 2 * x[1] * x[1] - x[2] * x[2] - 2 * x[3] * x[3] + x[0] + x[3]; },
           [](const double* x) { return 5 - 2 * x[0] * x[0] - x[1] * x[1] - x[2] * x[2] - 2 * x[0] + x[1] + x[3]; }},
          {}},
         {0, 0, 0, 0},
         rosen_suzuki_reference},
        {"product on the disc",
         {2, 1, [](const double* x) { return x[0] * x[1]; },
          {[](const double* x) { return 1 - x[0] * x[0] - x[1] * x[1]; }}, {}},
         {1, -0.5},
         disc_product_reference},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const run_result r = run(c.p, c.start, 0.5, 1e-8, 100000);
        ASSERT_EQ(r.x.size(), c.reference.size());
        for (std::size_t k = 0; k < r.x.size(); ++k)
            EXPECT_NEAR(r.x[k], c.reference[k], 1e-5) << k;
    }
}

TEST(Cobyla, NonFiniteValuesEndTheRun)
{
    // Heading for x = 1 it meets NaN beyond 0.7 (Inf beyond 0.7 in the
    // constraint): the run ends at once with the best point so far.
    problem nan_objective{1, 0, [](const double* x) { return x[0] > 0.7 ? NAN : (x[0] - 1) * (x[0] - 1); }, {}, {}};
    const run_result a = run(nan_objective, {0}, 0.5, 1e-8, 10000);
    EXPECT_LE(a.x[0], 0.7);
    EXPECT_LT(a.evaluations, 100);
    problem inf_constraint{1, 1, [](const double* x) { return (x[0] - 1) * (x[0] - 1); },
                           {[](const double* x) { return x[0] > 0.7 ? -INFINITY : 1.0; }}, {}};
    const run_result b = run(inf_constraint, {0}, 0.5, 1e-8, 10000);
    EXPECT_LE(b.x[0], 0.7);
    EXPECT_LT(b.evaluations, 100);
}

TEST(Cobyla, TwoThreadsGiveTheSequentialResults)
{
    problem a = quadratic_above_line();
    problem b{2, 0, [](const double* x) { return std::cosh(x[0] - 0.3) + (x[1] - 0.7) * (x[1] - 0.7); }, {}, {}};
    const run_result ra = run(a, {2, 3}, 0.5, 1e-8, 5000);
    const run_result rb = run(b, {0, 0}, 0.5, 1e-8, 5000);
    run_result ta, tb;
    problem a2 = quadratic_above_line(), b2 = b;
    b2.evaluated.clear();
    std::thread t1([&] { ta = run(a2, {2, 3}, 0.5, 1e-8, 5000); });
    std::thread t2([&] { tb = run(b2, {0, 0}, 0.5, 1e-8, 5000); });
    t1.join();
    t2.join();
    EXPECT_EQ(ta.x, ra.x);
    EXPECT_EQ(ta.evaluations, ra.evaluations);
    EXPECT_EQ(tb.x, rb.x);
    EXPECT_EQ(tb.evaluations, rb.evaluations);
}

} // namespace
