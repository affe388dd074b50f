// The explicit Runge-Kutta suite: embedded pairs with local extrapolation,
// step-size control on the error per unit step of the lower-order formula,
// dense output and an optional global error assessment. Every task checks
// the registry first, so the order of calls is enforced as in the
// published package; nothing is printed and every failure is a flag.
#include "optim/rk_suite.hpp"
#include "optim/rk_tables.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

struct rk_pair {
    int stages;
    bool fsal;
    double exponent;   // 1 / (order + 1) of the lower-order formula
    double radius;     // stability radius along the negative real axis
    const double* c;
    const double* a;   // stages x stages, row i the coefficients of stage i
    const double* b;
    const double* e;   // b - bhat
    // b - bhat of a lower-order formula on the stages before the last,
    // or null: a step it condemns fails without the last evaluation.
    const double* e_early;
    int early_after;   // stages formed when e_early is applied
    // Dense output from the step's stages and `extra` stages more (rows of
    // extra_a over all earlier stages), or the cubic Hermite polynomial
    // when dense is null.
    int extra;
    const double* extra_c;
    const double* extra_a;  // extra x (stages + extra - 1)
    const double* dense;    // (stages + extra) x dense_degree
};

namespace {

using namespace rk_tables;

constexpr rk_pair pairs[] = {
    {4, true, 1.0 / 3, 2.3, bs32_c, &bs32_a[0][0], bs32_b, bs32_e, nullptr, 0, 0, nullptr, nullptr, nullptr},
    {8, true, 1.0 / 5, 3.9, bs54_c, &bs54_a[0][0], bs54_b, bs54_e, bs54_e_early, 7, bs54_extra, bs54_extra_c,
     &bs54_extra_a[0][0], &bs54_dense[0][0]},
    {13, false, 1.0 / 8, 5.2, pd87_c, &pd87_a[0][0], pd87_b, pd87_e, nullptr, 0, 0, nullptr, nullptr, nullptr},
};
constexpr double safety = 0.8;
constexpr int degree = bs54_dense_degree;
constexpr long budget = 5000;

int finish(rk_context& ctx, int task, int flag)
{
    ctx.state[task] = flag;
    if (flag > 910)
        ctx.fatal = true;
    return flag;
}

// The common refusals: no set-up yet (911), an earlier fatal flag (912).
bool refused(rk_context& ctx, int task, int& flag)
{
    if (ctx.state[rk_context::setup] == 0) {
        flag = finish(ctx, task, rk_fatal);
        return true;
    }
    if (ctx.fatal) {
        flag = rk_after_fatal;
        return true;
    }
    return false;
}

double h_min(const rk_context& ctx, double t, double h)
{
    return std::max(ctx.tiny, ctx.smallness * std::max(std::fabs(t), std::fabs(t + h)));
}

// The weight of a component over a step: the mean size at its ends, or the
// threshold. Halved before the sum, which overflowed for values near
// 1.7e308: an infinite weight made every error 0 and every step passed.
double step_weight(double y_old, double y_new, double threshold)
{
    return std::max(std::fabs(y_old) / 2 + std::fabs(y_new) / 2, threshold);
}

// Sums of stages near the top of the range: a pair's coefficients reach
// 20, so the terms c_j k_j, or h times their sum, overflow above about
// 5e307 where the value they make does not. Such a sum is formed again on
// the stages at 2^-range_shift and the result scaled back; the plain sum
// stands wherever it is finite, so every other step is the same to the bit.
constexpr int range_shift = 16;

constexpr double range_scale = 1.0 / (1 << range_shift);

// sum_j coef_j k_j, each stage taken at `scale` (1 or range_scale: exact).
double stage_sum(const double* coef, int count, const double* stages, long long n, int k, double scale)
{
    double sum = 0;
    for (int j = 0; j < count; ++j)
        sum += coef[j] * (stages[j * n + k] * scale);
    return sum;
}

// y + h sum_j coef_j k_j over the first `count` stages, for component k.
double advanced(double y, double h, const double* coef, int count, const double* stages, long long n, int k)
{
    const double plain = y + h * stage_sum(coef, count, stages, n, k, 1.0);
    if (std::isfinite(plain) || !std::isfinite(y))
        return plain;
    return std::ldexp(std::ldexp(y, -range_shift) + h * stage_sum(coef, count, stages, n, k, range_scale),
                      range_shift);
}

// |h sum_j coef_j k_j| / w, the error of component k in units of its weight.
double weighted_error(double h, const double* coef, int count, const double* stages, long long n, int k, double w)
{
    const double plain = std::fabs(h * stage_sum(coef, count, stages, n, k, 1.0)) / w;
    if (std::isfinite(plain))
        return plain;
    return std::fabs(h * stage_sum(coef, count, stages, n, k, range_scale)) / std::ldexp(w, -range_shift);
}

// The new solution y + h sum b_j k_j over the first s stages and the
// largest weighted error h sum e_j k_j of the embedded formula; +Inf when
// a stage or the new solution is not finite, so that the step is
// rejected (a NaN would pass every "too large" test).
double error_measure(const rk_context& ctx, const double* e, int s, const double* y, double h, const double* stages,
                     double* ynew)
{
    const rk_pair& p = *ctx.pair;
    const int n = ctx.n;
    double err = 0;
    bool finite = true;
    for (int k = 0; k < n; ++k) {
        ynew[k] = advanced(y[k], h, p.b, s, stages, n, k);
        const double w = step_weight(y[k], ynew[k], ctx.thres[k]);
        const double ek = weighted_error(h, e, s, stages, n, k, w);
        finite = finite && std::isfinite(ynew[k]) && std::isfinite(ek);
        err = std::max(err, ek);
    }
    return finite ? err : HUGE_VAL;
}

// One trial step of size h from (t, y): the stages, the new solution and
// the error measure. The stability check may shrink h and start again.
double trial_step(rk_context& ctx, const rk_function& f, double t, const double* y, const double* yp, double& h,
                  bool last, bool on_scale, double* stages, double* ynew, long& evals)
{
    const rk_pair& p = *ctx.pair;
    const int n = ctx.n, s = p.stages;
    double* arg = ctx.arg;
restart:
    std::memcpy(stages, yp, sizeof(double) * n);
    for (int i = 1; i < s; ++i) {
        double* ki = stages + static_cast<long long>(i) * n;
        for (int k = 0; k < n; ++k)
            arg[k] = advanced(y[k], h, p.a + i * s, i, stages, n, k);
        const double ti = (last && p.c[i] == 1.0) ? ctx.t_end : t + p.c[i] * h;
        f.call(f.context, ti, arg, ki);
        ++evals;
        if (i + 1 == p.early_after) {
            // The propagated weights do not use the remaining stages, so
            // the new solution and the early estimate are complete here.
            const double early = error_measure(ctx, p.e_early, i + 1, y, h, stages, ynew);
            if (early > ctx.tol)
                return early;
        }
        if (on_scale && i <= 2 && std::fabs(h) > h_min(ctx, t, h)) {
            double num = 0, den = 0;
            for (int k = 0; k < n; ++k) {
                num = std::max(num, std::fabs(ki[k] - stages[k]) / ctx.wt[k]);
                den = std::max(den, std::fabs(arg[k] - y[k]) / ctx.wt[k]);
            }
            if (den > 0) {
                const double lipschitz = num / den;
                if (std::fabs(h) * lipschitz > p.radius) {
                    h *= std::max(std::min(p.radius / (std::fabs(h) * lipschitz), 0.5), 0.125);
                    goto restart;
                }
            }
        }
    }
    return error_measure(ctx, p.e, s, y, h, stages, ynew);
}

// The secondary integration over the step just taken: false when the
// assessment is unreliable.
bool assess_step(rk_context& ctx, const rk_function& f, double t, double h)
{
    const int n = ctx.n;
    const int m = ctx.method == 1 ? 3 : 2;
    const double hs = h / m;
    if (std::fabs(hs) < h_min(ctx, t, hs))
        return false;
    std::memcpy(ctx.y2_save, ctx.y2, sizeof(double) * n);
    double* k2 = ctx.gea_stages;
    double* ynew2 = ctx.err;  // free between steps
    int large = 0;
    for (int j = 0; j < m; ++j) {
        const double tj = t + j * hs;
        f.call(f.context, tj, ctx.y2, k2);
        ++ctx.gea_evals;
        double hj = hs;
        const double e = trial_step(ctx, f, tj, ctx.y2, k2, hj, false, false, k2, ynew2, ctx.gea_evals);
        if (!(e < ctx.tol / m) || (e > ctx.tol / 10 && ++large >= 2)) {
            std::memcpy(ctx.y2, ctx.y2_save, sizeof(double) * n);
            return false;
        }
        std::memcpy(ctx.y2, ynew2, sizeof(double) * n);
    }
    double largest = 0;
    for (int k = 0; k < n; ++k) {
        const double w = step_weight(ctx.y[k], ctx.ynew[k], ctx.thres[k]);
        largest = std::max(largest, std::fabs(ctx.y2[k] - ctx.ynew[k]) / w);
    }
    if (largest > ctx.max_err) {
        ctx.max_err = largest;
        ctx.t_max_err = t + h;
    }
    if (largest > 0.1) {
        std::memcpy(ctx.y2, ctx.y2_save, sizeof(double) * n);
        return false;
    }
    for (int k = 0; k < n; ++k) {
        const double w = step_weight(ctx.y[k], ctx.ynew[k], ctx.thres[k]);
        const double a = std::fabs(ctx.y2[k] - ctx.ynew[k]) / w;
        ctx.rms[k] += a * a;
    }
    return true;
}

// Cubic Hermite interpolation on the last step, exact at both ends.
void hermite(const rk_context& ctx, double t_target, int n_wanted, double* y_wanted, double* yp_wanted)
{
    const double h = ctx.t - ctx.t_old;
    const double th = (t_target - ctx.t_old) / h;
    for (int k = 0; k < n_wanted; ++k) {
        const double y0 = ctx.yold[k], y1 = ctx.y[k], f0 = ctx.ypold[k], f1 = ctx.yp[k];
        const double d = y1 - y0;
        if (y_wanted)
            y_wanted[k] =
                (1 - th) * y0 + th * y1 + th * (th - 1) * ((1 - 2 * th) * d + (th - 1) * h * f0 + th * h * f1);
        if (yp_wanted)
            yp_wanted[k] = (d * (6 * th - 6 * th * th) + h * f0 * (1 - 4 * th + 3 * th * th) +
                            h * f1 * (3 * th * th - 2 * th)) /
                           h;
    }
}

// The extra stages of the last step, once per step: their derivatives
// follow the step's own stages.
void extra_stages(rk_context& ctx, const rk_function& f)
{
    const rk_pair& p = *ctx.pair;
    if (ctx.extra_done || p.extra == 0)
        return;
    const int n = ctx.n, width = p.stages + p.extra - 1;
    const double h = ctx.t - ctx.t_old;
    for (int e = 0; e < p.extra; ++e) {
        const int i = p.stages + e;
        const double* row = p.extra_a + static_cast<long long>(e) * width;
        for (int k = 0; k < n; ++k)
            ctx.arg[k] = advanced(ctx.yold[k], h, row, i, ctx.stages, n, k);
        f.call(f.context, ctx.t_old + p.extra_c[e] * h, ctx.arg, ctx.stages + static_cast<long long>(i) * n);
        ++ctx.evals;
        ++ctx.total_evals;
    }
    ctx.extra_done = true;
}

// The interpolant's coefficient rows d_m = h sum_i dense[i][m] k_i for the
// first n_wanted components: y(theta) = y_old + sum_m d_m theta^(m+1).
// The dense rows are kept at 2^-range_shift of their size: their terms
// reach ten times the change over the step, and rows for a solution near
// 1.7e308 overflowed to interpolated rows of Inf and NaN. A power of two
// scales exactly, so every other interpolant is the same to the bit; what
// the shift loses below 1e-303 lies far under any threshold.

void form_dense(const rk_context& ctx, int n_wanted, double* rows)
{
    const rk_pair& p = *ctx.pair;
    const int n = ctx.n, s = p.stages + p.extra;
    const double h = ctx.t - ctx.t_old;
    for (int m = 0; m < degree; ++m)
        for (int k = 0; k < n_wanted; ++k) {
            double sum = 0;
            for (int i = 0; i < s; ++i)
                sum += p.dense[i * degree + m] * std::ldexp(ctx.stages[static_cast<long long>(i) * n + k], -range_shift);
            rows[static_cast<long long>(m) * n_wanted + k] = h * sum;
        }
}

// The interpolant at t_target by Horner's rule; the ends of the step are
// its stored values exactly.
void eval_dense(const rk_context& ctx, double t_target, int n_wanted, const double* rows, double* y_wanted,
                double* yp_wanted)
{
    const double h = ctx.t - ctx.t_old;
    const bool at_end = t_target == ctx.t, at_start = t_target == ctx.t_old;
    const double th = (t_target - ctx.t_old) / h;
    for (int k = 0; k < n_wanted; ++k) {
        if (at_end || at_start) {
            if (y_wanted)
                y_wanted[k] = at_end ? ctx.y[k] : ctx.yold[k];
            if (yp_wanted)
                yp_wanted[k] = at_end ? ctx.yp[k] : ctx.ypold[k];
            continue;
        }
        const auto d = [&](int m) { return rows[static_cast<long long>(m) * n_wanted + k]; };
        if (y_wanted) {
            double sum = d(degree - 1);
            for (int m = degree - 2; m >= 0; --m)
                sum = d(m) + th * sum;
            y_wanted[k] = ctx.yold[k] + std::ldexp(th * sum, range_shift);
        }
        if (yp_wanted) {
            double sum = degree * d(degree - 1);
            for (int m = degree - 2; m >= 0; --m)
                sum = (m + 1) * d(m) + th * sum;
            yp_wanted[k] = std::ldexp(sum, range_shift) / h;
        }
    }
}

} // namespace

long long rk_work_length(int n, int method, bool errass, bool ut_task)
{
    const rk_pair& p = pairs[method >= 1 && method <= 3 ? method - 1 : 2];
    const long long dense_rows = ut_task && p.dense ? degree : 0;
    return static_cast<long long>(n) * (9 + p.stages + p.extra + dense_rows + (errass ? 3 + p.stages : 0));
}

int rk_setup(rk_context& ctx, int n, double t_start, const double* y_start, double t_end, double tolerance,
             const double* thresholds, int method, const char* task, bool assess_error, double h_start, double* work,
             long long work_length, bool messages)
{
    for (int& s : ctx.state)
        s = -1;
    ctx.fatal = false;
    ctx.u = std::ldexp(1.0, -53);
    ctx.rmin = std::ldexp(1.0, -1022);
    ctx.roundoff = 10 * ctx.u;
    ctx.sqrt_u = std::sqrt(ctx.u);
    ctx.cbrt_u = std::cbrt(ctx.u);
    ctx.tiny = std::sqrt(ctx.rmin);
    auto fail = [&] { return finish(ctx, rk_context::setup, rk_fatal); };

    const char letter = task ? task[0] : 0;
    if (letter != 'C' && letter != 'c' && letter != 'U' && letter != 'u')
        return fail();
    if (n < 1 || method < 1 || method > 3 || t_start == t_end)
        return fail();
    // Not-a-number ends or start values would pass every later test
    // (comparisons with NaN are false) and end in a run of rejected steps.
    if (!std::isfinite(t_start) || !std::isfinite(t_end) || !std::isfinite(t_end - t_start))
        return fail();
    for (int k = 0; k < n; ++k)
        if (!std::isfinite(y_start[k]))
            return fail();
    if (!(tolerance <= 0.01) || !(tolerance >= ctx.roundoff))
        return fail();
    for (int k = 0; k < n; ++k)
        if (!(thresholds[k] >= ctx.tiny))
            return fail();

    const rk_pair& p = pairs[method - 1];
    ctx.pair = &p;
    ctx.method = method;
    double gap = 1;
    for (int i = 0; i <= p.stages; ++i)
        for (int j = 0; j < i; ++j) {
            const double ci = i < p.stages ? p.c[i] : 1.0;
            const double d = std::fabs(ci - p.c[j]);
            if (d > 0)
                gap = std::min(gap, d);
        }
    ctx.smallness = ctx.roundoff / gap;
    ctx.ut_task = letter == 'U' || letter == 'u';
    ctx.n = n;
    ctx.t_start = ctx.t = ctx.t_old = ctx.t_reached = t_start;
    ctx.t_end = ctx.t_final = t_end;
    ctx.dir = t_end > t_start ? 1.0 : -1.0;
    ctx.tol = tolerance;
    const double range = std::fabs(t_end - t_start);
    const double hmin = std::max(ctx.tiny, ctx.smallness * std::max(std::fabs(t_start), std::fabs(t_end)));
    ctx.h_start = std::fabs(h_start);
    if (!(ctx.h_start <= range) || ctx.h_start < hmin)
        ctx.h_start = 0;  // NaN too: the suite's own choice
    ctx.h = ctx.h_start != 0 ? ctx.h_start : std::max(range / 8, hmin);
    ctx.h_old = 0;
    ctx.evals = ctx.total_evals = ctx.steps = ctx.calls_at_end = 0;
    ctx.first = true;
    ctx.last = ctx.at_end = ctx.ended_on_moved_end = ctx.have_prev = false;
    ctx.on_scale = ctx.growth = false;
    ctx.errass = assess_error;
    ctx.max_err = ctx.t_max_err = 0;
    ctx.gea_evals = 0;
    ctx.intrp_nwant = 0;

    ctx.extra_done = false;
    ctx.dense = nullptr;
    ctx.dense_rows = nullptr;
    if (work_length < rk_work_length(n, method, assess_error, ctx.ut_task) || range < hmin)
        return fail();
    double* w = work;
    auto take = [&w](long long count) {
        double* piece = w;
        w += count;
        return piece;
    };
    ctx.thres = take(n);
    ctx.wt = take(n);
    ctx.y = take(n);
    ctx.yp = take(n);
    ctx.ynew = take(n);
    ctx.err = take(n);
    ctx.yold = take(n);
    ctx.ypold = take(n);
    ctx.arg = take(n);
    ctx.stages = take(static_cast<long long>(p.stages + p.extra) * n);
    if (ctx.ut_task && p.dense)
        ctx.dense = take(static_cast<long long>(degree) * n);
    if (assess_error) {
        ctx.y2 = take(n);
        ctx.y2_save = take(n);
        ctx.rms = take(n);
        ctx.gea_stages = take(static_cast<long long>(p.stages) * n);
    }
    std::memcpy(ctx.thres, thresholds, sizeof(double) * n);
    std::memcpy(ctx.y, y_start, sizeof(double) * n);
    if (assess_error) {
        std::memcpy(ctx.y2, y_start, sizeof(double) * n);
        std::fill(ctx.rms, ctx.rms + n, 0.0);
    }
    (void)messages;
    return finish(ctx, rk_context::setup, rk_success);
}

int rk_ct(rk_context& ctx, const rk_function& f, double& t_now, double* y_now, double* yp_now, double* work)
{
    int flag = 0;
    if (refused(ctx, rk_context::ct, flag))
        return flag;
    auto fail = [&] { return finish(ctx, rk_context::ct, rk_fatal); };
    if (ctx.ut_task && ctx.state[rk_context::ut] != -2)
        return fail();
    const int previous = ctx.state[rk_context::ct];
    if (previous == rk_too_accurate || previous == rk_unreliable)
        return fail();
    if (ctx.at_end)
        return fail();
    const int n = ctx.n;
    const rk_pair& p = *ctx.pair;

    if (ctx.first) {
        f.call(f.context, ctx.t, ctx.y, ctx.yp);
        ++ctx.evals;
        ++ctx.total_evals;
        for (int k = 0; k < n; ++k)
            ctx.wt[k] = std::max(std::fabs(ctx.y[k]), ctx.thres[k]);
        if (ctx.h_start == 0) {
            double d = 0;
            for (int k = 0; k < n; ++k)
                if (ctx.y[k] != 0)
                    d = std::max(d, std::fabs(ctx.yp[k]) / ctx.wt[k]);
            const double tolp = std::pow(ctx.tol, p.exponent);
            if (tolp < ctx.h * d)
                ctx.h = tolp / d;
            const double hmin =
                std::max(ctx.tiny, ctx.smallness * std::max(std::fabs(ctx.t_start), std::fabs(ctx.t_end)));
            ctx.h = std::max(ctx.h, hmin);
            ctx.on_scale = true;
        }
        ctx.growth = true;
    }

    flag = rk_success;
    int failures = 0;
    bool first_attempt = true;
    double h = 0, err = 0, alpha = 0;
    for (;;) {
        h = ctx.dir * std::fabs(ctx.h);
        ctx.last = false;
        if (ctx.dir * (ctx.t + h - ctx.t_end) >= 0) {
            h = ctx.t_end - ctx.t;
            ctx.last = true;
        } else if (ctx.dir * (ctx.t + 2 * h - ctx.t_end) >= 0) {
            h = (ctx.t_end - ctx.t) / 2;
        }
        if (std::fabs(h) < h_min(ctx, ctx.t, h))
            return finish(ctx, rk_context::ct, rk_too_accurate);
        if (first_attempt && ctx.ended_on_moved_end) {
            if (++ctx.calls_at_end >= 100 && ctx.calls_at_end >= ctx.steps / 3) {
                ctx.calls_at_end = 0;
                return finish(ctx, rk_context::ct, rk_inefficient);
            }
        }
        if (first_attempt && ctx.evals > budget) {
            flag = rk_much_work;
            ctx.evals = 0;
        }
        first_attempt = false;
        long evals = 0;
        const double h_tried = h;
        err = trial_step(ctx, f, ctx.t, ctx.y, ctx.yp, h, ctx.last, ctx.on_scale, ctx.stages, ctx.ynew, evals);
        ctx.evals += evals;
        ctx.total_evals += evals;
        if (h != h_tried)
            ctx.last = false;  // the stability check shortened the step
        if (err > ctx.tol) {
            const double factor =
                (ctx.first || failures >= 1) ? 0.5 : std::max(safety * std::pow(ctx.tol / err, p.exponent), 0.5);
            ++failures;
            ctx.h = std::fabs(h) * factor;
            continue;
        }
        double tau = std::pow(err / ctx.tol, p.exponent);
        const double e = std::pow(err, p.exponent) / std::fabs(h);
        if (!ctx.first && ctx.have_prev && ctx.err_prev > 0) {
            const double q = e / ctx.err_prev;
            if (q > 0.01 && q < 100)
                tau *= q;
        }
        alpha = tau > 0 ? std::min(safety / tau, 8.0) : 8.0;
        // The first step grows while it proves too cautious, but not after a
        // failure in this call: growing again would only fail again.
        if (ctx.first && ctx.growth && !ctx.last && alpha > 4 && failures == 0) {
            ctx.h = std::fabs(h) * alpha;
            ctx.on_scale = false;
            continue;
        }
        ctx.err_prev = e;
        ctx.have_prev = true;
        break;
    }

    double factor = std::min(alpha, 2.0);
    if (failures > 0)
        factor = std::min(factor, 1.0);
    factor = std::max(factor, 0.5);
    ctx.h_old = h;
    ctx.h = std::fabs(h) * factor;

    const double t_new = ctx.last ? ctx.t_end : ctx.t + h;
    if (ctx.errass && !assess_step(ctx, f, ctx.t, h)) {
        ctx.h = std::fabs(h);
        return finish(ctx, rk_context::ct, rk_unreliable);
    }
    std::memcpy(ctx.yold, ctx.y, sizeof(double) * n);
    std::memcpy(ctx.ypold, ctx.yp, sizeof(double) * n);
    std::memcpy(ctx.y, ctx.ynew, sizeof(double) * n);
    ctx.t_old = ctx.t;
    ctx.t = t_new;
    if (p.fsal) {
        std::memcpy(ctx.yp, ctx.stages + static_cast<long long>(p.stages - 1) * n, sizeof(double) * n);
    } else {
        f.call(f.context, ctx.t, ctx.y, ctx.yp);
        ++ctx.evals;
        ++ctx.total_evals;
    }
    for (int k = 0; k < n; ++k)
        ctx.wt[k] = std::max(std::fabs(ctx.y[k]), ctx.thres[k]);
    ++ctx.steps;
    ctx.extra_done = false;
    ctx.first = false;
    ctx.on_scale = false;
    ctx.at_end = ctx.t == ctx.t_end;
    t_now = ctx.t;
    std::memcpy(y_now, ctx.y, sizeof(double) * n);
    std::memcpy(yp_now, ctx.yp, sizeof(double) * n);
    (void)work;
    finish(ctx, rk_context::ct, flag);
    // A step was taken under either flag: an interpolant formed earlier
    // belongs to an older step. "INTRP" itself still refuses after flag 3.
    ctx.state[rk_context::intrp] = -2;
    return flag;
}

int rk_reset(rk_context& ctx, double t_end_new)
{
    int flag = 0;
    if (refused(ctx, rk_context::reset, flag))
        return flag;
    auto fail = [&] { return finish(ctx, rk_context::reset, rk_fatal); };
    const int ct = ctx.state[rk_context::ct], ut = ctx.state[rk_context::ut];
    if (ct == -1 || ct == rk_too_accurate || ct == rk_unreliable || ut == rk_too_accurate || ut == rk_unreliable)
        return fail();
    if (ctx.ut_task && ut != -2)
        return fail();
    if (!(ctx.dir * (t_end_new - ctx.t) > 0) || std::fabs(t_end_new - ctx.t) < h_min(ctx, ctx.t, t_end_new - ctx.t))
        return fail();
    ctx.t_end = t_end_new;
    if (ctx.at_end)
        ctx.ended_on_moved_end = true;
    ctx.at_end = false;
    return finish(ctx, rk_context::reset, rk_success);
}

int rk_intrp(rk_context& ctx, double t_target, const char* request, int n_wanted, double* y_wanted,
             double* yp_wanted, const rk_function& f, double* work, double* interp_work, long long interp_length)
{
    int flag = 0;
    if (refused(ctx, rk_context::intrp, flag))
        return flag;
    auto fail = [&] { return finish(ctx, rk_context::intrp, rk_fatal); };
    if (ctx.ut_task && ctx.state[rk_context::ut] != -2)
        return fail();
    if (ctx.state[rk_context::ct] != rk_success)
        return fail();
    const char letter = request ? request[0] : 0;
    const bool want_y = letter == 'S' || letter == 's' || letter == 'B' || letter == 'b';
    const bool want_yp = letter == 'D' || letter == 'd' || letter == 'B' || letter == 'b';
    if (!want_y && !want_yp)
        return fail();
    if (n_wanted < 1 || n_wanted > ctx.n || ctx.method == 3)
        return fail();
    const long long needed =
        ctx.method == 1 ? 1 : static_cast<long long>(ctx.n) + std::max<long long>(ctx.n, 5LL * n_wanted);
    if (interp_length < needed)
        return fail();
    double* y_out = want_y ? y_wanted : nullptr;
    double* yp_out = want_yp ? yp_wanted : nullptr;
    if (!ctx.pair->dense) {
        hermite(ctx, t_target, n_wanted, y_out, yp_out);
    } else {
        // A "U" task keeps its rows in the work array, where "UT" forms them.
        double* rows = ctx.ut_task ? ctx.dense : interp_work;
        if (ctx.state[rk_context::intrp] == -2 || n_wanted != ctx.intrp_nwant || rows != ctx.dense_rows) {
            extra_stages(ctx, f);
            form_dense(ctx, n_wanted, rows);
            ctx.dense_rows = rows;
        }
        eval_dense(ctx, t_target, n_wanted, rows, y_out, yp_out);
    }
    ctx.intrp_nwant = n_wanted;
    (void)work;
    return finish(ctx, rk_context::intrp, rk_success);
}

int rk_ut(rk_context& ctx, const rk_function& f, double t_target, double& t_reached, double* y_reached,
          double* yp_reached, double* work)
{
    int flag = 0;
    if (refused(ctx, rk_context::ut, flag))
        return flag;
    auto fail = [&] { return finish(ctx, rk_context::ut, rk_fatal); };
    const int previous = ctx.state[rk_context::ut];
    if (!ctx.ut_task || previous == rk_too_accurate || previous == rk_unreliable)
        return fail();
    if (previous == -1) {
        ctx.t_reached = ctx.t_start;
        if (ctx.h_start == 0) {
            const double hmin =
                std::max(ctx.tiny, ctx.smallness * std::max(std::fabs(ctx.t_start), std::fabs(ctx.t_end)));
            ctx.h = std::max(std::min(std::fabs(ctx.h), std::fabs(t_target - ctx.t_start)), hmin);
        }
    } else if (ctx.at_end && ctx.t_reached == ctx.t_final) {
        return fail();
    }
    if (!(ctx.dir * (t_target - ctx.t_reached) > 0) || ctx.dir * (t_target - ctx.t_final) > 0)
        return fail();
    ctx.state[rk_context::ut] = -2;
    const int n = ctx.n;
    if (ctx.method == 3 && t_target != ctx.t_end) {
        // No interpolant: the range ends on the target, so a step does too.
        if (std::fabs(t_target - ctx.t) < h_min(ctx, ctx.t, t_target - ctx.t)) {
            // Closer than any step may be (output times a few ulps apart):
            // one Euler step from the point reached, whose error h^2 y''/2
            // lies far below that of a step of the pair; the integration
            // itself goes on from that point.
            const double dt = t_target - ctx.t;
            f.call(f.context, ctx.t, ctx.y, yp_reached);
            for (int k = 0; k < n; ++k)
                y_reached[k] = ctx.y[k] + dt * yp_reached[k];
            f.call(f.context, t_target, y_reached, yp_reached);
            ctx.evals += 2;
            ctx.total_evals += 2;
            t_reached = t_target;
            ctx.t_reached = t_target;
            return finish(ctx, rk_context::ut, rk_success);
        }
        if (ctx.state[rk_context::ct] == -1)
            ctx.t_end = t_target;  // no step yet (the times before came by Euler steps)
        else if (rk_reset(ctx, t_target) != rk_success)
            return finish(ctx, rk_context::ut, rk_fatal);
    }
    int warned = rk_success;
    while (ctx.dir * (ctx.t - t_target) < 0) {
        double t_now = 0;
        flag = rk_ct(ctx, f, t_now, ctx.err, ctx.ynew, work);  // scratch outputs
        // Flag 3 comes with a step taken: when that step reaches the target
        // the answer there is as good as any, and a driver told only of the
        // point past the target could never ask for the target again.
        if (flag == rk_much_work && ctx.dir * (ctx.t - t_target) >= 0) {
            warned = flag;
            break;
        }
        if (flag != rk_success) {
            if (flag < 910) {
                t_reached = ctx.t;
                ctx.t_reached = ctx.t;
                std::memcpy(y_reached, ctx.y, sizeof(double) * n);
                std::memcpy(yp_reached, ctx.yp, sizeof(double) * n);
            }
            return finish(ctx, rk_context::ut, flag);
        }
    }
    if (ctx.method == 3) {
        std::memcpy(y_reached, ctx.y, sizeof(double) * n);
        std::memcpy(yp_reached, ctx.yp, sizeof(double) * n);
    } else if (!ctx.pair->dense) {
        hermite(ctx, t_target, n, y_reached, yp_reached);
        ctx.state[rk_context::intrp] = rk_success;
    } else {
        if (ctx.state[rk_context::intrp] == -2 || ctx.intrp_nwant != n || ctx.dense_rows != ctx.dense) {
            extra_stages(ctx, f);
            form_dense(ctx, n, ctx.dense);
            ctx.dense_rows = ctx.dense;
            ctx.intrp_nwant = n;
        }
        eval_dense(ctx, t_target, n, ctx.dense, y_reached, yp_reached);
        ctx.state[rk_context::intrp] = rk_success;
    }
    t_reached = t_target;
    ctx.t_reached = t_target;
    return finish(ctx, rk_context::ut, warned);
}
