// The Runge-Kutta suite on C++ derivatives: the pairs' order conditions,
// the registry and its fatal flags, the evaluation budget, dense output,
// backward integration and the global error assessment.
#include "optim/rk_suite.hpp"
#include "optim/rk_tables.hpp"
#include "test_support.hpp"

#include <cmath>
#include <functional>
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
    bool fsal;
};

// A rooted tree as its stage vector phi (the product over the root's
// subtrees of A phi(subtree)), phi again from |A| to bound the rounding of
// the elementary weight, and its density gamma: the order condition of the
// tree is b . phi = 1 / gamma.
struct rooted_tree {
    int order;
    std::vector<double> phi, phi_abs;
    double gamma;
};

// Every rooted tree up to max_order, each exactly once: a tree is the
// multiset of its root's subtrees, chosen in non-decreasing index order.
std::vector<rooted_tree> rooted_trees(int s, const double* a, int max_order)
{
    auto times_a = [&](const std::vector<double>& v, bool absolute) {
        std::vector<double> out(s, 0.0);
        for (int i = 0; i < s; ++i)
            for (int j = 0; j < s; ++j)
                out[i] += (absolute ? std::fabs(a[i * s + j]) : a[i * s + j]) * v[j];
        return out;
    };
    std::vector<rooted_tree> all = {{1, std::vector<double>(s, 1.0), std::vector<double>(s, 1.0), 1.0}};
    for (int n = 2; n <= max_order; ++n) {
        const std::size_t known = all.size();
        std::vector<std::size_t> chosen;
        std::function<void(int, std::size_t)> pick = [&](int remaining, std::size_t first) {
            if (remaining == 0) {
                rooted_tree t{n, std::vector<double>(s, 1.0), std::vector<double>(s, 1.0), double(n)};
                for (std::size_t id : chosen) {
                    const auto sub = times_a(all[id].phi, false), sub_abs = times_a(all[id].phi_abs, true);
                    for (int i = 0; i < s; ++i) {
                        t.phi[i] *= sub[i];
                        t.phi_abs[i] *= sub_abs[i];
                    }
                    t.gamma *= all[id].gamma;
                }
                all.push_back(std::move(t));
                return;
            }
            for (std::size_t k = first; k < known; ++k)
                if (all[k].order <= remaining) {
                    chosen.push_back(k);
                    pick(remaining - all[k].order, k);
                    chosen.pop_back();
                }
        };
        pick(n - 1, 0);
    }
    return all;
}

TEST(RkTables, TreeCountsUpToOrderEight)
{
    // 1, 1, 2, 4, 9, 20, 48, 115 trees of orders 1 to 8: the generator
    // below misses none and repeats none.
    std::vector<int> counts(9, 0);
    for (const rooted_tree& t : rooted_trees(2, &bs32_a[0][0], 8))
        ++counts[t.order];
    EXPECT_EQ(counts, (std::vector<int>{0, 1, 1, 2, 4, 9, 20, 48, 115}));
}

TEST(RkTables, OrderConditions)
{
    const std::vector<tableau> pairs = {
        {"Bogacki-Shampine 3(2)", 4, bs32_c, &bs32_a[0][0], bs32_b, bs32_e, 3, true},
        {"Bogacki-Shampine 5(4)", 8, bs54_c, &bs54_a[0][0], bs54_b, bs54_e, 5, true},
        {"Bogacki-Shampine 5(4), early estimate", 8, bs54_c, &bs54_a[0][0], bs54_b, bs54_e_early, 5, true},
        {"Prince-Dormand 8(7)", 13, pd87_c, &pd87_a[0][0], pd87_b, pd87_e, 8, false},
    };
    const double eps = std::ldexp(1.0, -52);
    for (const tableau& t : pairs) {
        SCOPED_TRACE(t.name);
        for (int i = 0; i < t.s; ++i) {
            double row = 0;
            for (int j = 0; j < t.s; ++j)
                row += t.a[i * t.s + j];
            EXPECT_NEAR(row, t.c[i], 4 * eps) << "row " << i;
        }
        std::vector<double> bhat(t.s);
        for (int i = 0; i < t.s; ++i)
            bhat[i] = t.b[i] - t.e[i];
        // Rounding of an elementary weight: a few units of its magnitude.
        auto residual = [&](const double* w, const rooted_tree& tree, double& bound) {
            double sum = 0, size = 0;
            for (int i = 0; i < t.s; ++i) {
                sum += w[i] * tree.phi[i];
                size += std::fabs(w[i]) * tree.phi_abs[i];
            }
            bound = 16 * eps * std::max(size, 1.0);
            return std::fabs(sum - 1 / tree.gamma);
        };
        double worst = 0;
        for (const rooted_tree& tree : rooted_trees(t.s, t.a, t.order)) {
            double bound = 0;
            EXPECT_LE(residual(t.b, tree, bound), bound) << "b, a tree of order " << tree.order;
            const double r = residual(bhat.data(), tree, bound);
            if (tree.order < t.order)
                EXPECT_LE(r, bound) << "bhat, a tree of order " << tree.order;
            else
                worst = std::max(worst, r);
        }
        // The lower-order formula is not of the higher order: e is a real
        // error estimate.
        EXPECT_GT(worst, 1e-6);
        if (t.fsal) {  // first stage of the next step: the last row of a is b
            for (int j = 0; j < t.s; ++j)
                EXPECT_EQ(t.a[(t.s - 1) * t.s + j], t.b[j]);
        }
        for (int j = 0; j < t.s; ++j)
            for (int i = 0; i <= j; ++i)
                EXPECT_EQ(t.a[i * t.s + j], 0.0) << "explicit: a(" << i << "," << j << ")";
    }
    // The early estimate needs nothing of the eighth stage.
    EXPECT_EQ(bs54_e_early[7], 0.0);
    EXPECT_EQ(bs54_b[7], 0.0);
}

TEST(RkTables, FiveFourContinuousExtension)
{
    // The step's eight stages and the two extra ones as one tableau; the
    // weights b(theta) must meet every condition to order 5 at every
    // theta, with theta^order / gamma in place of 1 / gamma.
    constexpr int s = 8 + bs54_extra;
    double a[s * s] = {};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            a[i * s + j] = bs54_a[i][j];
    for (int e = 0; e < bs54_extra; ++e)
        for (int j = 0; j < 8 + e; ++j)
            a[(8 + e) * s + j] = bs54_extra_a[e][j];
    const double eps = std::ldexp(1.0, -52);
    for (int e = 0; e < bs54_extra; ++e) {
        double row = 0;
        for (int j = 0; j < s; ++j)
            row += a[(8 + e) * s + j];
        EXPECT_NEAR(row, bs54_extra_c[e], 4 * eps);
    }
    auto weights = [&](double theta, int derivative) {
        std::vector<double> w(s, 0.0);
        for (int i = 0; i < s; ++i)
            for (int m = bs54_dense_degree - 1; m >= 0; --m)
                w[i] = w[i] * theta + (derivative ? (m + 1) * bs54_dense[i][m] : bs54_dense[i][m] * theta);
        return w;
    };
    const auto trees = rooted_trees(s, a, 5);
    for (double theta : {0.05, 0.25, 0.5, 0.61, 0.9, 1.0}) {
        SCOPED_TRACE(theta);
        const std::vector<double> w = weights(theta, 0);
        for (const rooted_tree& tree : trees) {
            double sum = 0, size = 0;
            for (int i = 0; i < s; ++i) {
                sum += w[i] * tree.phi[i];
                size += std::fabs(w[i]) * tree.phi_abs[i];
            }
            EXPECT_NEAR(sum, std::pow(theta, tree.order) / tree.gamma, 64 * eps * std::max(size, 1.0))
                << "a tree of order " << tree.order;
        }
    }
    // The ends: b(1) = b, and the derivative is the first stage at the
    // start and the eighth (the next step's first) at the end.
    const std::vector<double> at_end = weights(1.0, 0), slope_start = weights(0.0, 1), slope_end = weights(1.0, 1);
    for (int i = 0; i < s; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(at_end[i], i < 8 ? bs54_b[i] : 0.0, 64 * eps);
        EXPECT_NEAR(slope_start[i], i == 0 ? 1.0 : 0.0, 64 * eps);
        EXPECT_NEAR(slope_end[i], i == 7 ? 1.0 : 0.0, 64 * eps);
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

// Ends and start values that are not numbers: refused at set-up, every
// later task poisoned, no derivative evaluated. A first step that is NaN
// is the suite's own choice, as 0 is.
TEST_F(RkSuiteTest, StartsThatAreNotNumbersAreRefused)
{
    struct Case {
        const char* what;
        double t0, t1, y0, y1;
    };
    const double inf = HUGE_VAL, nan = NAN;
    const std::vector<Case> cases = {
        {"y(1) Inf", 0, 1, inf, 1},  {"y(1) -Inf", 0, 1, -inf, 1}, {"y(2) NaN", 0, 1, 1, nan},
        {"y(2) -Inf", 0, 1, 1, -inf}, {"t_start NaN", nan, 1, 1, 1}, {"t_end NaN", 0, nan, 1, 1},
        {"t_end Inf", 0, inf, 1, 1},  {"t_start -Inf", -inf, 0, 1, 1}, {"span overflows", -1e308, 1e308, 1, 1},
    };
    for (int method : {1, 2, 3}) {
        for (const char* task : {"CT", "UT"}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + " by method " + std::to_string(method) + " task " + task);
                work.assign(64, 0.0);
                thres.assign(2, 1e-3);
                y0 = {c.y0, c.y1};
                rk_function osc{oscillator, &count};
                count.calls = 0;
                EXPECT_EQ(rk_setup(ctx, 2, c.t0, y0.data(), c.t1, 1e-3, thres.data(), method, task, false, 0.0,
                                   work.data(), static_cast<long long>(work.size()), false),
                          rk_fatal);
                EXPECT_EQ(rk_ct(ctx, osc, t, y, yp, work.data()), rk_after_fatal);
                double reached = 0;
                EXPECT_EQ(rk_ut(ctx, osc, 0.5, reached, y, yp, work.data()), rk_after_fatal);
                EXPECT_EQ(count.calls, 0);
            }
        }
    }
    work.assign(64, 0.0);
    thres.assign(1, 1e-3);
    y0 = {1.0};
    ASSERT_EQ(rk_setup(ctx, 1, 0, y0.data(), 1, 1e-3, thres.data(), 2, "UT", false, double(NAN), work.data(),
                       static_cast<long long>(work.size()), false),
              rk_success);
    double reached = 0;
    ASSERT_EQ(rk_ut(ctx, f, 1.0, reached, y, yp, work.data()), rk_success);
    EXPECT_EQ(reached, 1.0);
    EXPECT_NEAR(y[0], std::exp(-1.0), 1e-4);
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

// "UT" across blocks of the evaluation budget: a block can run out on the
// step that passes the target. That step stands, so the target's values
// come with the warning, and the next target carries on; the step that
// passed the target once made every later call fatal.
TEST_F(RkSuiteTest, UTCarriesOnAcrossTheBudget)
{
    rk_function g{oscillator, &count};
    for (int method : {1, 2, 3}) {
        SCOPED_TRACE(method);
        const int n = 2;
        work.assign(static_cast<std::size_t>(rk_work_length(n, method, false, true)), 0.0);
        thres = {1e-3, 1e-3};
        y0 = {1.0, 0.0};
        ASSERT_EQ(rk_setup(ctx, n, 0, y0.data(), 1000, 1e-3, thres.data(), method, "UT", false, 0.0, work.data(),
                           static_cast<long long>(work.size()), false),
                  rk_success);
        count.calls = 0;
        int warned_at_target = 0, warned_short = 0;
        double worst = 0;
        for (int k = 1; k <= 1000;) {
            const double target = k;
            double reached = 0;
            const int flag = rk_ut(ctx, g, target, reached, y, yp, work.data());
            ASSERT_TRUE(flag == rk_success || flag == rk_much_work || flag == rk_inefficient)
                << flag << " at " << target;
            // Every answer pairs the time reached with the solution there.
            worst = std::max(worst, std::hypot(y[0] - std::cos(reached), y[1] + std::sin(reached)) / (1 + reached));
            if (reached == target)
                ++k;
            else
                ASSERT_LT(reached, target) << "short of the target, never past it";
            if (flag == rk_much_work)
                ++(reached == target ? warned_at_target : warned_short);
        }
        EXPECT_GT(warned_at_target, 0) << "the case the fault came from";
        EXPECT_GT(warned_at_target + warned_short, count.calls / 5001 - 1);
        EXPECT_LE(worst, 1e-3);
    }
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

TEST_F(RkSuiteTest, EightSevenPair)
{
    ASSERT_EQ(setup(3, 0, 1, 1e-6, "CT"), rk_success);
    ASSERT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_success);
    const long before = count.calls;
    ASSERT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_success);
    EXPECT_EQ(count.calls - before, 13) << "twelve stages and a fresh derivative: no stage is reused";
    EXPECT_NEAR(y[0], std::exp(-t), 1e-6 * y[0]);
    std::vector<double> interp(6);
    EXPECT_EQ(rk_intrp(ctx, t, "S", 1, y, yp, f, work.data(), interp.data(), 6), rk_fatal) << "no interpolant";

    // "UT" ends a step on every target instead of interpolating.
    ASSERT_EQ(setup(3, 0, 1, 1e-8, "UT"), rk_success);
    for (double target : {0.1, 0.35, 0.8, 1.0}) {
        SCOPED_TRACE(target);
        double reached = 0;
        ASSERT_EQ(rk_ut(ctx, f, target, reached, y, yp, work.data()), rk_success);
        EXPECT_EQ(reached, target);
        EXPECT_EQ(ctx.t, target);
        EXPECT_NEAR(y[0], std::exp(-target), 1e-8 * y[0]);
        EXPECT_EQ(yp[0], -y[0]);
    }
    double reached = 0;
    EXPECT_EQ(rk_ut(ctx, f, 1.0, reached, y, yp, work.data()), rk_fatal) << "the end was reached";
}

// The times of every call, to split a step into its attempts: within an
// attempt of the 5(4) pair the stage times never decrease.
struct call_log {
    std::vector<double> times;
};

void logged_decay(void* context, double t, const double* y, double* yp)
{
    static_cast<call_log*>(context)->times.push_back(t);
    yp[0] = -10 * y[0];
}

TEST_F(RkSuiteTest, FiveFourPairRejectsAfterSevenStages)
{
    call_log log;
    rk_function g{logged_decay, &log};
    thres = {1e-6};
    y0 = {1.0};
    work.assign(100, 0.0);
    // An initial step of 2 (h lambda = 20) fails several times over.
    ASSERT_EQ(rk_setup(ctx, 1, 0, y0.data(), 10, 1e-6, thres.data(), 2, "C", false, 2.0, work.data(), 100, false),
              rk_success);
    ASSERT_EQ(rk_ct(ctx, g, t, y, yp, work.data()), rk_success);
    std::vector<int> attempts;
    for (std::size_t k = 1; k < log.times.size(); ++k) {
        if (k == 1 || log.times[k] < log.times[k - 1])
            attempts.push_back(0);
        ++attempts.back();
    }
    ASSERT_GE(attempts.size(), 3u);
    EXPECT_EQ(attempts.front(), 6) << "a hopeless step stops before its last stage";
    EXPECT_EQ(attempts.back(), 7) << "the accepted step makes every stage";
    for (int calls : attempts)
        EXPECT_TRUE(calls == 6 || calls == 7) << calls;
}

TEST_F(RkSuiteTest, FiveFourInterpolantCostsTwoEvaluationsPerStep)
{
    ASSERT_EQ(setup(2, 0, 4, 1e-6, "CT"), rk_success);
    std::vector<double> interp(6);
    double yi[1], ypi[1];
    for (int step = 0; step < 3; ++step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(rk_ct(ctx, f, t, y, yp, work.data()), rk_success);
        const long before = count.calls;
        const double t_old = ctx.t_old, h = t - t_old;
        for (double theta : {0.2, 0.5, 0.9, 0.5}) {
            const double ti = t_old + theta * h;
            ASSERT_EQ(rk_intrp(ctx, ti, "B", 1, yi, ypi, f, work.data(), interp.data(), 6), rk_success);
            EXPECT_NEAR(yi[0], std::exp(-ti), 1e-5 * yi[0]);
            EXPECT_NEAR(ypi[0], -std::exp(-ti), 1e-5 * yi[0]);
        }
        EXPECT_EQ(count.calls - before, bs54_extra) << "the extra stages once per step, not per call";
        ASSERT_EQ(rk_intrp(ctx, t, "D", 1, yi, ypi, f, work.data(), interp.data(), 6), rk_success);
        EXPECT_EQ(ypi[0], yp[0]);
    }
}

void square(void*, double, const double* y, double* yp) { yp[0] = y[0] * y[0]; }

TEST_F(RkSuiteTest, InterpolantOrders)
{
    // One step of size H over y' = y^2, y(0) = 1 (y = 1 / (1 - t)), read
    // inside the step: halving H divides the error of the value by 2^6
    // for an interpolant of order 5 (2^4 for the cubic Hermite one of the
    // 3(2) pair) and that of the derivative by one power of 2 less.
    rk_function g{square, nullptr};
    struct Case {
        int method;
        double value_ratio, slope_ratio;
    };
    for (const Case& c : std::vector<Case>{{2, 50, 25}, {1, 12, 6}}) {
        SCOPED_TRACE(c.method);
        double value_error[2], slope_error[2];
        for (int halving = 0; halving < 2; ++halving) {
            const double H = halving ? 0.05 : 0.1;
            work.assign(64, 0.0);
            thres = {1e-6};
            y0 = {1.0};
            ASSERT_EQ(rk_setup(ctx, 1, 0, y0.data(), H, 0.01, thres.data(), c.method, "C", false, H, work.data(),
                               static_cast<long long>(work.size()), false),
                      rk_success);
            ASSERT_EQ(rk_ct(ctx, g, t, y, yp, work.data()), rk_success);
            ASSERT_EQ(t, H) << "a single step";
            const double ti = 0.4 * H;
            double yi[1], ypi[1], interp[6];
            ASSERT_EQ(rk_intrp(ctx, ti, "B", 1, yi, ypi, g, work.data(), interp, 6), rk_success);
            value_error[halving] = std::fabs(yi[0] - 1 / (1 - ti));
            slope_error[halving] = std::fabs(ypi[0] - 1 / ((1 - ti) * (1 - ti)));
        }
        EXPECT_GT(value_error[0] / value_error[1], c.value_ratio);
        EXPECT_GT(slope_error[0] / slope_error[1], c.slope_ratio);
    }
}

} // namespace
