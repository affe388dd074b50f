// The BDF integrator on C++ residuals: input checks, the step budget and
// its continuation, tolerances scaled up, intermediate output, the error
// weights and norm.
#include "optim/dae.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

// y' = -y (and a fast oscillation for the step budget), as residuals
// G = f(t, y) - y'.
void decay(void*, double, const double* y, const double* yp, double* delta, int& ires, double*, int*)
{
    delta[0] = -y[0] - yp[0];
    ires = 0;
}

void fast(void*, double, const double* y, const double* yp, double* delta, int& ires, double*, int*)
{
    delta[0] = y[1] * 200 - yp[0];
    delta[1] = -y[0] * 200 - yp[1];
    ires = 0;
}

struct problem {
    int neq;
    dae_residual res;
    std::vector<double> y, yp, rtol, atol, rwork;
    std::vector<int> iwork;
    int info[15] = {};
    double t = 0;
    int idid = 0;

    problem(int n, dae_residual r, std::vector<double> y0, std::vector<double> yp0, double tol)
        : neq(n), res(r), y(y0), yp(yp0), rtol(n, tol), atol(n, tol), rwork(dae_rwork_length(n)),
          iwork(dae_iwork_length(n))
    {
        info[1] = 1;
    }
    void run(double tout, int lrw_less = 0)
    {
        dae_solve(nullptr, res, neq, t, y.data(), yp.data(), tout, info, rtol.data(), atol.data(), idid,
                  rwork.data(), static_cast<int>(rwork.size()) - lrw_less, iwork.data(),
                  static_cast<int>(iwork.size()), nullptr, nullptr, nullptr);
    }
};

TEST(DaeSolve, IllegalInput)
{
    {
        problem p(1, decay, {1}, {-1}, 1e-6);
        p.run(1.0, 1);
        EXPECT_EQ(p.idid, -33) << "lrw one short";
        EXPECT_EQ(p.info[0], -1);
        p.idid = 0;
        p.run(1.0);
        EXPECT_EQ(p.idid, 0) << "info(1) = -1 returns at once";
    }
    {
        problem p(1, decay, {1}, {-1}, 1e-6);
        p.run(0.0);
        EXPECT_EQ(p.idid, -33) << "tout = t";
    }
    {
        problem p(1, decay, {1}, {-1}, 1e-6);
        p.info[5] = 1;
        p.run(1.0);
        EXPECT_EQ(p.idid, -33) << "banded matrices are refused";
    }
    {
        problem p(1, decay, {1}, {-1}, 0.0);
        p.run(1.0);
        EXPECT_EQ(p.idid, -33) << "all tolerances zero";
    }
}

// Start values, slopes and times that are not numbers are illegal input
// on the first call: they passed every check (comparisons with NaN are
// false) and came back as a singular iteration matrix (-8). The residual
// is never evaluated.
int residual_calls = 0;
void counted_decay(void* c, double t, const double* y, const double* yp, double* delta, int& ires, double* rp, int* ip)
{
    ++residual_calls;
    decay(c, t, y, yp, delta, ires, rp, ip);
}

TEST(DaeSolve, StartsThatAreNotNumbersAreIllegal)
{
    struct Case {
        const char* what;
        double t0, tout, y, yp;
    };
    const double inf = HUGE_VAL, nan = NAN;
    const std::vector<Case> cases = {
        {"y Inf", 0, 1, inf, -1},   {"y -Inf", 0, 1, -inf, -1}, {"y NaN", 0, 1, nan, -1},
        {"y' Inf", 0, 1, 1, inf},   {"y' NaN", 0, 1, 1, nan},   {"t NaN", nan, 1, 1, -1},
        {"tout NaN", 0, nan, 1, -1}, {"tout -Inf", 0, -inf, 1, -1}, {"span overflows", 1e308, -1e308, 1, -1},
    };
    for (const Case& c : cases) {
        for (int step_output : {0, 1}) {
            SCOPED_TRACE(std::string(c.what) + (step_output ? " with step output" : ""));
            problem p(1, counted_decay, {c.y}, {c.yp}, 1e-6);
            p.info[2] = step_output;
            p.t = c.t0;
            residual_calls = 0;
            p.run(c.tout);
            EXPECT_EQ(p.idid, -33);
            EXPECT_EQ(p.info[0], -1);
            EXPECT_EQ(residual_calls, 0);
        }
    }
    // A NaN tolerance leaves a weight that is no number: refused as a
    // weight at or below zero is.
    problem p(1, counted_decay, {1}, {-1}, 1e-6);
    p.rtol[0] = NAN;
    p.run(1.0);
    EXPECT_EQ(p.idid, -33);
}

// Solutions at the top of the range, both signs, every step checked
// against exp(-t): the difference Jacobian's y' + cj del overflowed, the
// iteration matrix was infinite, the corrector never moved and each step
// passed as a straight line.
TEST(DaeSolve, StartsAtTheTopOfTheRange)
{
    const double top = 1.7976931348623157e308;
    for (double y0 : {top, -top, std::nextafter(top, 0.0), 1e308, -0x1p1023}) {
        SCOPED_TRACE(y0);
        problem p(1, decay, {y0}, {-y0}, 1e-6);
        p.info[2] = 1;
        int steps = 0;
        while (p.t < 1 && steps < 10000) {
            p.run(1.0);
            ASSERT_GT(p.idid, 0) << "at t = " << p.t;
            ++steps;
            EXPECT_LE(std::fabs(p.y[0] / y0 - std::exp(-p.t)), 1e-4) << "at t = " << p.t;
        }
        EXPECT_EQ(p.t, 1.0);
    }
}

TEST(DaeSolve, ReachesToutAccurately)
{
    problem p(1, decay, {1}, {-1}, 1e-8);
    p.run(2.0);
    EXPECT_EQ(p.idid, 3);
    EXPECT_EQ(p.t, 2.0);
    EXPECT_NEAR(p.y[0], std::exp(-2.0), 1e-6);
    EXPECT_NEAR(p.yp[0], -std::exp(-2.0), 1e-4);
    p.run(3.0);
    EXPECT_EQ(p.idid, 3);
    EXPECT_NEAR(p.y[0], std::exp(-3.0), 1e-6);
}

TEST(DaeSolve, IntermediateOutput)
{
    problem p(1, decay, {1}, {-1}, 1e-6);
    p.info[2] = 1;
    int steps = 0;
    double last = 0;
    do {
        p.run(1.0);
        ++steps;
        if (p.idid == 1) {
            EXPECT_GT(p.t, last);
            last = p.t;
        }
    } while (p.idid == 1 && steps < 10000);
    EXPECT_EQ(p.idid, 3);
    EXPECT_EQ(p.t, 1.0);
    EXPECT_GT(steps, 5);
}

TEST(DaeSolve, StepBudgetAndContinuation)
{
    problem p(2, fast, {0, 1}, {200, 0}, 1e-8);
    p.run(100.0);
    EXPECT_EQ(p.idid, -1);
    EXPECT_EQ(p.info[0], -1);
    const double t_stop = p.t;
    EXPECT_GT(t_stop, 0);
    EXPECT_LT(t_stop, 100);
    p.run(100.0);
    EXPECT_EQ(p.t, t_stop) << "nothing happens until info(1) is 1 again";
    p.info[0] = 1;
    p.run(100.0);
    EXPECT_TRUE(p.idid == -1 || p.idid == 3);
    EXPECT_GT(p.t, t_stop);
}

TEST(DaeSolve, TolerancesScaledUp)
{
    problem p(1, decay, {1}, {-1}, 1e-20);
    p.atol[0] = 1e-30;
    p.run(1.0);
    EXPECT_EQ(p.idid, -2);
    EXPECT_GT(p.rtol[0], 1e-20);
    EXPECT_GT(p.atol[0], 1e-30);
    p.info[0] = 1;
    p.run(1.0);
    EXPECT_EQ(p.idid, 3) << "the scaled tolerances are attainable";
    EXPECT_NEAR(p.y[0], std::exp(-1.0), 1e-10);
}

void still_and_decay(void*, double, const double* y, const double* yp, double* delta, int& ires, double*, int*)
{
    delta[0] = -yp[0];
    delta[1] = -y[1] - yp[1];
    ires = 0;
}

TEST(DaeSolve, ComponentAtRestKeepsAFiniteIncrement)
{
    // y(1) = y'(1) = 0: sqrt(u)·max(|y|, |h y'|) is 0 for its column.
    problem p(2, still_and_decay, {0, 1}, {0, -1}, 1e-6);
    p.run(1.0);
    EXPECT_EQ(p.idid, 3);
    EXPECT_EQ(p.y[0], 0);
    EXPECT_NEAR(p.y[1], std::exp(-1.0), 1e-4);
}

TEST(DaeSolve, WeightsAndNorm)
{
    const double rtol[] = {0.1, 0.2}, atol[] = {1, 2}, y[] = {10, -10};
    double wt[2];
    dae_weights(2, 1, rtol, atol, y, wt);
    EXPECT_EQ(wt[0], 2);
    EXPECT_EQ(wt[1], 4);
    dae_weights(2, 0, rtol, atol, y, wt);
    EXPECT_EQ(wt[1], 2) << "scalar tolerances";
    const double v[] = {3, 4}, w[] = {1, 1};
    EXPECT_NEAR(dae_norm(2, v, w), std::sqrt(12.5), 1e-15);
    const double zero[] = {0, 0};
    EXPECT_EQ(dae_norm(2, zero, w), 0);
}

} // namespace
