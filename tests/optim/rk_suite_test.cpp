// The Runge-Kutta suite on C++ derivatives: the pairs' order conditions,
// the registry and its fatal flags, the evaluation budget, dense output,
// backward integration and the global error assessment.
#include "optim/rk_suite.hpp"
#include "optim/rk_tables.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

using namespace rk_tables;

struct tableau {
    const char* name;
    int s;
    const double* c;
    const double* a;
    const double* b;
    const double* e;
    int order;  // of b; b - e has order - 1
};

// Sum of w_i · v_i.
double dot(int s, const double* w, const std::vector<double>& v)
{
    double sum = 0;
    for (int i = 0; i < s; ++i)
        sum += w[i] * v[i];
    return sum;
}

// The elementary weights of the rooted trees up to order 5 and their
// targets 1/gamma.
std::vector<std::pair<std::vector<double>, double>> trees(const tableau& t, int order)
{
    const int s = t.s;
    auto A = [&](const std::vector<double>& v) {
        std::vector<double> out(s, 0.0);
        for (int i = 0; i < s; ++i)
            for (int j = 0; j < s; ++j)
                out[i] += t.a[i * s + j] * v[j];
        return out;
    };
    auto mul = [&](std::vector<double> x, const std::vector<double>& y) {
        for (int i = 0; i < s; ++i)
            x[i] *= y[i];
        return x;
    };
    std::vector<double> one(s, 1.0), c(t.c, t.c + s);
    const auto c2 = mul(c, c), c3 = mul(c2, c), c4 = mul(c3, c), Ac = A(c), Ac2 = A(c2), AAc = A(Ac);
    std::vector<std::pair<std::vector<double>, double>> out = {{one, 1.0}};
    if (order >= 2)
        out.push_back({c, 1.0 / 2});
    if (order >= 3) {
        out.push_back({c2, 1.0 / 3});
        out.push_back({Ac, 1.0 / 6});
    }
    if (order >= 4) {
        out.push_back({c3, 1.0 / 4});
        out.push_back({mul(c, Ac), 1.0 / 8});
        out.push_back({Ac2, 1.0 / 12});
        out.push_back({AAc, 1.0 / 24});
    }
    if (order >= 5) {
        out.push_back({c4, 1.0 / 5});
        out.push_back({mul(c2, Ac), 1.0 / 10});
        out.push_back({mul(c, Ac2), 1.0 / 15});
        out.push_back({mul(c, AAc), 1.0 / 30});
        out.push_back({mul(Ac, Ac), 1.0 / 20});
        out.push_back({A(c3), 1.0 / 20});
        out.push_back({A(mul(c, Ac)), 1.0 / 40});
        out.push_back({A(Ac2), 1.0 / 60});
        out.push_back({A(AAc), 1.0 / 120});
    }
    return out;
}

TEST(RkTables, OrderConditions)
{
    const std::vector<tableau> pairs = {
        {"Bogacki-Shampine 3(2)", 4, bs32_c, &bs32_a[0][0], bs32_b, bs32_e, 3},
        {"Bogacki-Shampine 5(4)", 8, bs54_c, &bs54_a[0][0], bs54_b, bs54_e, 5},
    };
    for (const tableau& t : pairs) {
        SCOPED_TRACE(t.name);
        for (int i = 0; i < t.s; ++i) {
            double row = 0;
            for (int j = 0; j < t.s; ++j)
                row += t.a[i * t.s + j];
            EXPECT_NEAR(row, t.c[i], 1e-15) << "row " << i;
        }
        for (const auto& [w, target] : trees(t, t.order))
            EXPECT_NEAR(dot(t.s, t.b, w), target, 1e-15);
        std::vector<double> bhat(t.s);
        for (int i = 0; i < t.s; ++i)
            bhat[i] = t.b[i] - t.e[i];
        for (const auto& [w, target] : trees(t, t.order - 1))
            EXPECT_NEAR(dot(t.s, bhat.data(), w), target, 1e-15);
        // The lower-order formula is not of the higher order: e is a real
        // error estimate.
        double worst = 0;
        for (const auto& [w, target] : trees(t, t.order))
            worst = std::max(worst, std::fabs(dot(t.s, bhat.data(), w) - target));
        EXPECT_GT(worst, 1e-6);
        // First stage of the next step: the last row of a is b.
        for (int j = 0; j < t.s; ++j)
            EXPECT_EQ(t.a[(t.s - 1) * t.s + j], t.b[j]);
    }
}

struct counted {
    long calls = 0;
    double rate = -1;
};

void decay(void* context, double, const double* y, double* yp)
{
    counted& c = *static_cast<counted*>(context);
    ++c.calls;
    yp[0] = c.rate * y[0];
}

void oscillator(void* context, double, const double* y, double* yp)
{
    ++static_cast<counted*>(context)->calls;
    yp[0] = y[1];
    yp[1] = -y[0];
}

class RkSuiteTest : public ::testing::Test {
protected:
    int setup(int method, double t0, double t1, double tol, const char* task, int n = 1, bool errass = false)
    {
        work.assign(64, 0.0);
        thres.assign(n, 1e-6 / tol);
        y0.assign(n, 1.0);
        if (n == 2)
            y0 = {0.0, 1.0};
        return rk_setup(ctx, n, t0, y0.data(), t1, tol, thres.data(), method, task, errass, 0.0, work.data(),
                        static_cast<long long>(work.size()), false);
    }
    rk_context ctx;
    counted count;
    rk_function f{decay, &count};
    std::vector<double> work, thres, y0;
    double t = 0, y[2] = {}, yp[2] = {};
};

TEST_F(RkSuiteTest, RefusedSetUpPoisonsLaterTasks)
{
    EXPECT_EQ(setup(1, 0, 1, 0.02, "CT"), rk_fatal);
    EXPECT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_after_fatal);
    EXPECT_EQ(rk_intrp(ctx, 0.5, "S", 1, y, yp, f, work.data(), work.data(), 10), rk_after_fatal);
    EXPECT_EQ(setup(1, 0, 0, 1e-3, "CT"), rk_fatal) << "t_start = t_end";
    EXPECT_EQ(setup(1, 0, 1, 1e-16, "CT"), rk_fatal) << "below ten units of roundoff";
    EXPECT_EQ(setup(1, 0, 1, 1e-3, "X"), rk_fatal);
    EXPECT_EQ(setup(1, 0, 1, 1e-3, "CT"), rk_success) << "a new set-up starts over";
    EXPECT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_success);
    rk_context fresh;
    EXPECT_EQ(rk_ct(fresh, f, t, y, yp, work.data()), rk_fatal) << "no set-up";
}

TEST_F(RkSuiteTest, InterpolationNeedsAPlainStep)
{
    ASSERT_EQ(setup(1, 0, 1, 1e-3, "CT"), rk_success);
    EXPECT_EQ(rk_intrp(ctx, 0.1, "S", 1, y, yp, f, work.data(), work.data(), 10), rk_fatal) << "right after set-up";
    ASSERT_EQ(setup(2, 0, 1, 1e-3, "CT"), rk_success);
    ASSERT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_success);
    double yi[1], ypi[1];
    std::vector<double> interp(6);
    const double t_old = ctx.t_old;
    ASSERT_EQ(rk_intrp(ctx, t, "Both", 1, yi, ypi, f, work.data(), interp.data(), 6), rk_success);
    EXPECT_EQ(yi[0], y[0]) << "the end of the step exactly";
    EXPECT_EQ(rk_intrp(ctx, t_old, "s", 1, yi, ypi, f, work.data(), interp.data(), 6), rk_success);
    EXPECT_EQ(yi[0], 1.0) << "the start of the step exactly";
    EXPECT_EQ(rk_intrp(ctx, t, "X", 1, yi, ypi, f, work.data(), interp.data(), 6), rk_fatal);
    EXPECT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_after_fatal);
}

TEST_F(RkSuiteTest, EvaluationBudget)
{
    rk_function g{oscillator, &count};
    work.assign(200, 0.0);
    thres = {1e-10, 1e-10};
    y0 = {0.0, 1.0};
    ASSERT_EQ(rk_setup(ctx, 2, 0, y0.data(), 1e6, 1e-8, thres.data(), 1, "C", false, 0.0, work.data(), 200, false),
              rk_success);
    int warnings = 0;
    double ys[2], yps[2];
    long evals_at_warning = 0;
    while (count.calls < 12000) {
        const int flag = rk_ct(ctx, g, t, ys, yps, work.data());
        ASSERT_TRUE(flag == rk_success || flag == rk_much_work) << flag;
        if (flag == rk_much_work) {
            ++warnings;
            EXPECT_GT(count.calls - evals_at_warning, 5000);
            evals_at_warning = count.calls;
            EXPECT_EQ(rk_intrp(ctx, t, "S", 2, ys, nullptr, g, work.data(), work.data(), 10), rk_fatal)
                << "no interpolation after a warned step";
            break;
        }
    }
    EXPECT_EQ(warnings, 1);
}

TEST_F(RkSuiteTest, BackwardAndUT)
{
    ASSERT_EQ(setup(1, 1, 0, 1e-6, "UT"), rk_success);
    double reached = 0;
    ASSERT_EQ(rk_ut(ctx, f, 0.5, reached, y, yp, work.data()), rk_success);
    EXPECT_EQ(reached, 0.5);
    EXPECT_NEAR(y[0], std::exp(0.5), 1e-5);
    EXPECT_EQ(rk_ut(ctx, f, 0.7, reached, y, yp, work.data()), rk_fatal) << "a target behind the last time";
    ASSERT_EQ(setup(1, 0, 1, 1e-6, "UT"), rk_success);
    EXPECT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_fatal) << "CT is for UT's own use in a U task";
}

void jump(void*, double t, const double*, double* yp) { yp[0] = t > 0.3 ? 40.0 : 0.0; }

TEST_F(RkSuiteTest, ErrorAssessmentUndoesAnUnreliableStep)
{
    rk_function g{jump, nullptr};
    thres = {1e-3};
    y0 = {1.0};
    work.assign(100, 0.0);
    ASSERT_EQ(rk_setup(ctx, 1, 0, y0.data(), 2, 0.01, thres.data(), 1, "C", true, 0.0, work.data(), 100, false),
              rk_success);
    int flag = rk_success;
    double last_t = 0;
    for (int k = 0; k < 100 && flag == rk_success; ++k) {
        last_t = t;
        flag = rk_ct(ctx, g, t, y, yp, work.data());
    }
    ASSERT_EQ(flag, rk_unreliable);
    EXPECT_EQ(ctx.t, last_t) << "the step is undone";
    EXPECT_LT(ctx.t, 0.3);
    EXPECT_EQ(rk_ct(ctx, g, t, y, yp, work.data()), rk_fatal);
}

TEST_F(RkSuiteTest, DiscontinuousDerivativeFinishes)
{
    // The first step's growth stops after a failure: without that it would
    // grow onto the jump, fail, shrink and grow again for ever.
    rk_function g{jump, nullptr};
    thres = {1e-3};
    y0 = {1.0};
    work.assign(100, 0.0);
    ASSERT_EQ(rk_setup(ctx, 1, 0, y0.data(), 2, 0.01, thres.data(), 1, "C", false, 0.0, work.data(), 100, false),
              rk_success);
    int flag = rk_success;
    for (int k = 0; k < 1000 && t < 2 && flag == rk_success; ++k)
        flag = rk_ct(ctx, g, t, y, yp, work.data());
    EXPECT_EQ(flag, rk_success);
    EXPECT_EQ(t, 2);
    EXPECT_NEAR(y[0], 1 + 40 * 1.7, 0.5);
}

} // namespace
