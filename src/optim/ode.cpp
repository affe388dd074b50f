// ode23, ode45, ode78 and ode15s: the driver that reads the options, calls
// the user's derivative function by name, runs the Runge-Kutta suite or the
// BDF integrator and collects one output row per reported point.
#include "optim/dae.hpp"
#include "optim/rk_suite.hpp"
#include "optim/user_function.hpp"
#include "engine/scalar_real.hpp"
#include "value/scratch.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// The rows (t, y) written so far, grown 16, 32, ... rows at a time.
class ode_collector {
public:
    explicit ode_collector(int n) : n_(n) {}

    void add(double t, const double* y)
    {
        if (rows_ == capacity_)
            grow();
        t_[rows_] = t;
        for (int k = 0; k < n_; ++k)
            y_[static_cast<std::size_t>(k) * capacity_ + rows_] = y[k];
        ++rows_;
    }

    void deliver(Mm& t_out, Mm& y_out) const
    {
        Mm t(0, 0, 0, rows_, 1, qv_double), y(0, 0, 0, rows_, n_, qv_double);
        if (!allocated(t, rows_) || !allocated(y, static_cast<long long>(rows_) * n_))
            return;
        std::copy(t_.begin(), t_.begin() + rows_, t.addr());
        for (int k = 0; k < n_; ++k)
            std::copy(y_.begin() + static_cast<std::ptrdiff_t>(k) * capacity_,
                      y_.begin() + static_cast<std::ptrdiff_t>(k) * capacity_ + rows_,
                      y.addr() + static_cast<std::size_t>(k) * rows_);
        t_out = t;
        y_out = y;
    }

private:
    void grow()
    {
        const std::size_t cap = 2 * static_cast<std::size_t>(std::max(capacity_, 8));
        std::vector<double> t(cap), y(cap * static_cast<std::size_t>(n_));
        std::copy(t_.begin(), t_.begin() + rows_, t.begin());
        for (int k = 0; k < n_; ++k)
            std::copy(y_.begin() + static_cast<std::ptrdiff_t>(k) * capacity_,
                      y_.begin() + static_cast<std::ptrdiff_t>(k) * capacity_ + rows_,
                      y.begin() + static_cast<std::ptrdiff_t>(k * cap));
        t_.swap(t);
        y_.swap(y);
        capacity_ = static_cast<int>(cap);
    }

    int n_;
    int rows_ = 0, capacity_ = 0;
    std::vector<double> t_, y_;
};

// The integrators' own time s and the user's time t = t0 + length s. A
// span only a few units of rounding of its times long (or one far below
// the smallest normal steps) leaves the integrators no step they may take:
// there it runs on s from 0 over about 1, with the derivative length f,
// and every step is representable. Elsewhere s is t itself.
struct ode_clock {
    double t0 = 0, length = 1;
    bool on = false;

    ode_clock(double t_start, double t_end)
    {
        const double d = std::fabs(t_end - t_start);
        const double big = std::max(std::fabs(t_start), std::fabs(t_end));
        if (d > 0 && (d < 0x1p-36 * big || d < 0x1p-400)) {
            on = true;
            t0 = t_start;
            length = std::ldexp(1.0, std::ilogb(d));
        }
    }
    double user_time(double s) const { return on ? t0 + length * s : s; }
    double solver_time(double t) const { return on ? (t - t0) / length : t; }
    // Whether the row at s has a user time of its own: between the few
    // representable times of such a span a row would be reported at a
    // rounded time with the solution of another.
    bool exact(double s) const { return !on || solver_time(user_time(s)) == s; }
};

// The user's derivative function f(t, y, [], extra...) for n components.
class ode_function {
public:
    ode_function(const Mm& name, const Mm& extra, int n, const ode_clock& clock)
        : fn_(name, extra_list(extra), 2), n_(n), clock_(clock)
    {
    }

    void operator()(double s, const double* y, double* out)
    {
        bool called = false;
        Mm r = fn_.call_point(clock_.user_time(s), y, n_, called);
        if (!called) {
            std::fill(out, out + n_, 0.0);
            return;
        }
        if (r.gettype() != qv_double || r.issparse())
            r = full(mdouble(r));
        if (r.gettype() != qv_double || r.size() != n_) {
            std::fill(out, out + n_, 0.0);
            error("ode: the derivative function result must have %d elements.", n_);
            return;
        }
        if (r.isc() && iscomplex(r))
            warning("ode: the derivative function returned complex result.");
        std::memcpy(out, r.addr(), sizeof(double) * n_);
        if (clock_.on)
            for (int k = 0; k < n_; ++k)
                out[k] *= clock_.length;  // dy/ds
    }

    static void call(void* self, double t, const double* y, double* yp)
    {
        (*static_cast<ode_function*>(self))(t, y, yp);
    }

    // The residual for the BDF integrator: f(t, y) - y'.
    static void residual(void* self, double t, const double* y, const double* yp, double* delta, int& ires, double*,
                         int*)
    {
        ode_function& f = *static_cast<ode_function*>(self);
        f(t, y, delta);
        for (int k = 0; k < f.n_; ++k)
            delta[k] -= yp[k];
        ires = 0;
    }

    static void jacobian(double, const double*, const double*, double*, double, double*, int*)
    {
        error("ode:jac called");
    }

private:
    // The arguments after t and y: the empty third, then the extras (a
    // value that is not a cell is the one extra argument).
    static Mm extra_list(const Mm& extra)
    {
        const bool list = extra.gettype() == qv_cell && !extra.isstruct();
        const int m = list ? extra.size() : (isempty(extra) ? 0 : 1);
        Mm out(0, 0, 0, 1, m + 1, qv_cell);
        if (!allocated(out, m + 1))
            return x_M;
        Mm* to = out.getpr((Mm*)nullptr);
        for (int k = 0; k < m; ++k)
            to[k + 1] = list ? extra.getpr((Mm*)nullptr)[k] : extra;
        return out;
    }

    user_function fn_;
    int n_;
    const ode_clock& clock_;
};

// The rows in the user's times: a requested time as given, the start and
// the end as given, a step end in between only where it has a time of its
// own.
class ode_rows {
public:
    ode_rows(ode_collector& out, const ode_clock& clock, const double* user_span, const double* span, int nspan)
        : out_(out), clock_(clock), user_(user_span), span_(span), nspan_(nspan)
    {
    }
    void requested(int k, const double* y) { out_.add(user_[k], y); }
    void step(double s, const double* y)
    {
        if (s == span_[nspan_ - 1])
            out_.add(user_[nspan_ - 1], y);
        else if (clock_.exact(s))
            out_.add(clock_.user_time(s), y);
    }

private:
    ode_collector& out_;
    const ode_clock& clock_;
    const double* user_;
    const double* span_;
    int nspan_;
};

double option(const Mm& options, const char* name, double dflt)
{
    const Mm v = odeget(options, TM(name), Mm(dflt));
    return v.size() > 0 ? v.addr()[0] : dflt;
}

scratch<double> work_array(long long length)
{
    if (length < 0 || length > (1LL << 40)) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    return scratch<double>(static_cast<std::size_t>(length));
}

void run_rk(int method, ode_function& f, const double* tspan, int nspan, const double* y0, int n, double reltol,
            double abstol, int refine, double h0, ode_rows& out)
{
    const double t0 = tspan[0], tfinal = tspan[nspan - 1];
    const bool step_mode = nspan == 2;
    scratch<double> thresholds(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        thresholds[k] = abstol / reltol;
    scratch<double> work = work_array(32LL * n);
    scratch<double> interp = work_array(6LL * n);
    scratch<double> y(static_cast<std::size_t>(n)), yp(static_cast<std::size_t>(n)), yi(static_cast<std::size_t>(n));
    scratch<double> last(static_cast<std::size_t>(n));  // the row at the time reached
    std::copy(y0, y0 + n, last.get());
    rk_context ctx;
    rk_function fn{ode_function::call, &f};
    int flag = rk_setup(ctx, n, t0, y0, tfinal, reltol, thresholds.get(), method, step_mode ? "C" : "U", false, h0,
                        work.get(), 32LL * n, false);
    if (flag != rk_success) {
        error("ode: tspan is too short for the integrator");
        return;
    }
    out.requested(0, y0);
    const double dir = tfinal > t0 ? 1 : -1;
    double t = t0;
    int next = 1;  // index of the next requested time
    while (dir * (t - tfinal) < 0 && flag < rk_too_accurate) {
        if (step_mode) {
            const double t_old = t;
            flag = rk_ct(ctx, fn, t, y.get(), yp.get(), work.get());
            if (flag > 910 || flag == rk_too_accurate)
                break;
            if (flag == rk_success && refine > 1) {
                for (int j = refine - 1; j >= 1; --j) {
                    const double ti = t - (static_cast<double>(j) / refine) * (t - t_old);
                    if (rk_intrp(ctx, ti, "S", n, yi.get(), nullptr, fn, work.get(), interp.get(), 6LL * n) !=
                        rk_success)
                        break;
                    out.step(ti, yi.get());
                }
            }
            out.step(t, y.get());
        } else {
            const double target = tspan[next];
            if (target == t) {
                // A repeated time: the same row again.
                out.requested(next, last.get());
                ++next;
                continue;
            }
            double reached = t;
            flag = rk_ut(ctx, fn, target, reached, y.get(), yp.get(), work.get());
            if (flag == rk_success || (flag == rk_much_work && reached == target)) {
                t = target;
                std::copy(y.get(), y.get() + n, last.get());
                out.requested(next, last.get());
                ++next;
            } else if (flag == rk_inefficient || flag == rk_much_work) {
                continue;  // short of the target: the same target again
            } else {
                break;
            }
        }
    }
    for (; !step_mode && flag < rk_too_accurate && next < nspan && tspan[next] == t; ++next)
        out.requested(next, last.get());  // the end time repeated
    if (flag == rk_too_accurate)
        error("ode: failed to achieve requested accuracy.");
    else if (flag > 910)
        error("ode: failed to solve %d.", flag);
}

void run_bdf(ode_function& f, const double* tspan, int nspan, const double* y0, int n, double reltol, double abstol,
             double h0, ode_rows& out)
{
    const double t0 = tspan[0], tfinal = tspan[nspan - 1];
    const bool step_mode = nspan == 2;
    if (std::fabs(tfinal - t0) < dae_min_step(t0, tfinal)) {
        error("ode: tspan is too short for the integrator");
        return;
    }
    scratch<double> y(static_cast<std::size_t>(n)), yp(static_cast<std::size_t>(n));
    scratch<double> rtol(static_cast<std::size_t>(n)), atol(static_cast<std::size_t>(n));
    std::copy(y0, y0 + n, y.get());
    for (int k = 0; k < n; ++k) {
        rtol[k] = reltol;
        atol[k] = abstol;
    }
    // The starting derivative is f(t0, y0) itself, the one consistent with
    // y0. An offset of 1e-5 in it outweighs the true slope when time runs
    // over 1e50 or more: the first step came out below the smallest step
    // the integrator allows and the call failed at once.
    f(t0, y.get(), yp.get());
    if (!std::all_of(yp.get(), yp.get() + n, [](double v) { return std::isfinite(v); })) {
        // No step can start from a derivative that is not a number, as
        // the Runge-Kutta pairs find on their first step.
        out.requested(0, y0);
        error("ode: failed to achieve requested accuracy.");
        return;
    }
    const long long lrw = dae_rwork_length(n), liw = dae_iwork_length(n);
    if (lrw > 2147483647 || liw > 2147483647) {
        error("Out of memory!");
        return;
    }
    scratch<double> rwork = work_array(lrw);
    scratch<int> iwork(static_cast<std::size_t>(liw));
    std::fill(rwork.get(), rwork.get() + lrw, 0.0);
    std::fill(iwork.get(), iwork.get() + liw, 0);
    out.requested(0, y0);
    int next = 1;
    if (!step_mode) {
        // The integrator's first target must lie a step away from t0; the
        // times closer than that (a grid a few ulps apart) are reached by
        // one Euler step from t0, whose error h^2 y''/2 is far below that
        // of any step.
        scratch<double> row(static_cast<std::size_t>(n));
        for (; std::fabs(tspan[next] - t0) < dae_min_step(t0, tspan[next]); ++next) {
            for (int k = 0; k < n; ++k)
                row[k] = y0[k] + (tspan[next] - t0) * yp[k];
            out.requested(next, row.get());
        }
    }
    const double first_target = step_mode ? tfinal : tspan[next];
    int info[15] = {};
    info[1] = 1;
    info[2] = step_mode ? 1 : 0;
    // A first step below the smallest step or beyond the first target is
    // left to the integrator's own choice, as the Runge-Kutta suite does:
    // a step of 1e-320 made the iteration matrix singular.
    if (h0 >= dae_min_step(t0, first_target) && h0 <= std::fabs(first_target - t0)) {
        info[7] = 1;
        rwork[2] = h0 * (tfinal > t0 ? 1 : -1);
    }
    double t = t0, tout = tfinal;
    int idid = 1;
    const double dir = tfinal > t0 ? 1 : -1;
    while ((idid == 1 || idid == 3 || idid == -1) && dir * (t - tfinal) < 0) {
        if (!step_mode) {
            tout = tspan[next];
            if (tout == t) {
                // A repeated time: the same row again.
                out.requested(next, y.get());
                ++next;
                continue;
            }
        }
        dae_solve(&f, ode_function::residual, n, t, y.get(), yp.get(), tout, info, rtol.get(), atol.get(), idid,
                  rwork.get(), static_cast<int>(lrw), iwork.get(), static_cast<int>(liw), nullptr, nullptr,
                  ode_function::jacobian);
        if (idid == -1) {
            info[0] = 1;  // too much work so far: go on
            continue;
        }
        if (idid < 0)
            break;
        if (step_mode) {
            out.step(t, y.get());
        } else if (idid == 3) {
            out.requested(next, y.get());
            ++next;
        }
    }
    for (; !step_mode && idid >= 0 && next < nspan && tspan[next] == t; ++next)
        out.requested(next, y.get());  // the end time repeated
    if (idid == -2)
        error("ode: failed to achieve requested accuracy.");
    else if (idid < 0)
        error("ode: failed to solve %d.", idid);
}

} // namespace

Mm ode_solve(int method, const Mm& F, Mm tspan, Mm y0, Mm options, const Mm& extra, i_o_t, Mm& t_out, Mm& y_out)
{
    tspan = full(mdouble(tspan));
    y0 = full(mdouble(y0));
    options = full(mdouble(options));
    if (tspan.size() == 0) {
        // The function's defaults: F([], [], "init").
        Mm args(0, 0, 0, 1, 3, qv_cell);
        if (!allocated(args, 3))
            return x_M;
        args.getpr((Mm*)nullptr)[2] = TM("init");
        char name[40];
        Mstr(F, name, sizeof name);
        Mm o1, o2, o3, o4, o5, o6;
        feval_call_1(name, args, o1, o2, o3, o4, o5, o6);
        tspan = full(mdouble(o1));
        y0 = full(mdouble(o2));
        options = full(mdouble(o3));
    }
    // The integrator works in real numbers: imaginary parts were dropped
    // without a word, and the solution was that of another problem.
    for (const auto& [v, name] : {std::pair{&tspan, "tspan"}, std::pair{&y0, "y0"}, std::pair{&options, "options"}})
        if (iscomplex(*v)) {
            error("ode: %s must be real", name);
            return x_M;
        }
    // Every element is a state, in column order: length() would take two
    // of the four of a 2x2 start and drop the others without a word.
    const int n = y0.size();
    if (n < 1) {
        error("ode: y0 must have at least one value");
        return x_M;
    }
    // A start that is not a number has no solution to follow: the first
    // step's error estimate was NaN, every step was rejected down to the
    // smallest one and the run ended on a message about accuracy.
    if (!std::all_of(y0.addr(), y0.addr() + n, [](double v) { return std::isfinite(v); })) {
        error("ode: y0 must be finite");
        return x_M;
    }
    if (options.size() == 0)
        options = odeset();
    if (options.size() != 4) {
        error("ode: options vector is not correct size");
        return x_M;
    }
    const int nspan = tspan.size();
    if (nspan < 2) {
        error("ode: tspan must have at least two elements");
        return x_M;
    }
    const double* span = tspan.addr();
    for (int k = 0; k < nspan; ++k)
        if (!std::isfinite(span[k])) {
            error("ode: tspan must be finite");
            return x_M;
        }
    // One direction throughout, repeats allowed: a time behind the one
    // already reached could never be reported.
    bool up = true, down = true;
    for (int k = 1; k < nspan; ++k) {
        up = up && span[k] >= span[k - 1];
        down = down && span[k] <= span[k - 1];
    }
    if (!up && !down) {
        error("ode: tspan must be monotonic");
        return x_M;
    }
    // A span longer than the largest double (from -1e308 to 1e308) has no
    // step size the integrators could form: the Runge-Kutta suite ran on
    // for ever.
    if (!std::isfinite(span[nspan - 1] - span[0])) {
        error("ode: tspan must be shorter than 1.8e308");
        return x_M;
    }
    // A slot that is not positive (NaN too) reads as unset; an infinite one
    // would be taken: an infinite tolerance passes every step and an
    // infinite first step leaves the span at once.
    for (int k = 0; k < 4; ++k)
        if (std::isinf(options.addr()[k])) {
            error("ode: options must be finite");
            return x_M;
        }
    const double reltol = option(options, "RelTol", 1e-3);
    const double abstol = option(options, "AbsTol", 1e-6);
    int refine = round_to_count(option(options, "Refine", 4));
    if (refine < 1 || refine > 32) {
        error("ode: refine value must be positive integer no more then 32");
        refine = 1;
    }
    if (method == 3)
        refine = 1;  // the 8(7) pair has no interpolant
    const double h0 = option(options, "InitialStep", 0);
    if (method != 4) {
        const double u = std::ldexp(1.0, -53);
        if (reltol > 0.01 || reltol < 10 * u) {
            error("ode: RelTol must lie between 1.1e-15 and 0.01");
            return x_M;
        }
        if (abstol / reltol < std::sqrt(std::ldexp(1.0, -1022))) {
            error("ode: AbsTol/RelTol must not be below 1.49e-154");
            return x_M;
        }
    }

    const double t0 = span[0], tfinal = span[nspan - 1];
    const ode_clock clock(t0, tfinal);
    ode_function f(F, extra, n, clock);
    ode_collector rows(n);
    if (t0 == tfinal) {
        // The times mode reports each (equal) time; two give the one row.
        for (int k = 0; k < (nspan == 2 ? 1 : nspan); ++k)
            rows.add(t0, y0.addr());
    } else {
        scratch<double> solver_span(static_cast<std::size_t>(nspan));
        for (int k = 0; k < nspan; ++k)
            solver_span[k] = clock.solver_time(span[k]);
        ode_rows out(rows, clock, span, solver_span.get(), nspan);
        const double h = clock.on ? h0 / clock.length : h0;
        if (method == 4)
            run_bdf(f, solver_span.get(), nspan, y0.addr(), n, reltol, abstol, h, out);
        else
            run_rk(method, f, solver_span.get(), nspan, y0.addr(), n, reltol, abstol, refine, h, out);
    }
    rows.deliver(t_out, y_out);
    return x_M;
}

#define ODE_FAMILY(NAME, METHOD)                                                                                    \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options, const Mm& extra, i_o_t, Mm& t, Mm& y)   \
    {                                                                                                               \
        return ode_solve(METHOD, F, tspan, y0, options, extra, i_o, t, y);                                          \
    }                                                                                                               \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options, i_o_t, Mm& t, Mm& y)                    \
    {                                                                                                               \
        return ode_solve(METHOD, F, tspan, y0, options, nop_M, i_o, t, y);                                          \
    }                                                                                                               \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, i_o_t, Mm& t, Mm& y)                                       \
    {                                                                                                               \
        return ode_solve(METHOD, F, tspan, y0, odeset(), nop_M, i_o, t, y);                                         \
    }                                                                                                               \
    Mm NAME(const Mm& F, const Mm& tspan, i_o_t, Mm& t, Mm& y)                                                     \
    {                                                                                                               \
        return ode_solve(METHOD, F, tspan, nop_M, odeset(), nop_M, i_o, t, y);                                      \
    }                                                                                                               \
    Mm NAME(const Mm& F, i_o_t, Mm& t, Mm& y) { return ode_solve(METHOD, F, nop_M, nop_M, odeset(), nop_M, i_o, t, y); } \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options, const Mm& extra)                        \
    {                                                                                                               \
        Mm t, y;                                                                                                    \
        NAME(F, tspan, y0, options, extra, i_o, t, y);                                                              \
        return t;                                                                                                   \
    }                                                                                                               \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0, const Mm& options) { return NAME(F, tspan, y0, options, nop_M); } \
    Mm NAME(const Mm& F, const Mm& tspan, const Mm& y0) { return NAME(F, tspan, y0, odeset(), nop_M); }           \
    Mm NAME(const Mm& F, const Mm& tspan) { return NAME(F, tspan, nop_M, odeset(), nop_M); }                       \
    Mm NAME(const Mm& F) { return NAME(F, nop_M, nop_M, odeset(), nop_M); }

ODE_FAMILY(ode23, 1)
ODE_FAMILY(ode45, 2)
ODE_FAMILY(ode78, 3)
ODE_FAMILY(ode15s, 4)
#undef ODE_FAMILY
