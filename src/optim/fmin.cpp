// fmin and fminbnd: Brent's minimiser of a function of one variable on an
// interval, golden-section steps combined with parabolic interpolation.
#include "optim/options.hpp"
#include "optim/user_function.hpp"
#include "linalg/machine.hpp"

#include "velkor/array.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>

namespace {

struct minimum {
    double x = NAN;
    // The value at x, from the evaluation that produced x; after a value
    // that ended the search (NaN or -Inf; x is NaN then), that value.
    double fx = NAN;
    int passes = 0;
    bool started = false;  // false: the first value ended the search
};

struct min_settings {
    double tol;
    int maxiter;
};

min_settings settings_of(const Mm& options)
{
    min_settings s{1e-4, 1000};
    const int n = options.size();
    if (n > 1) {
        const double tol = option_at(options, 2);
        if (tol > 0)
            s.tol = tol;
    }
    if (n > 13) {
        const int limit = option_int(option_at(options, 14));
        if (limit >= 1)
            s.maxiter = limit;
    }
    return s;
}

// +Inf orders above every finite value, so a function that overflows over
// most of a wide interval is searched on; NaN has no order and -Inf is a
// minimum no point can improve on: either ends the search.
bool ends_search(double f) { return std::isnan(f) || f == -HUGE_VAL; }

// Whether the value fu at u replaces fx at x. Where both overflow, the
// point nearer 0 counts as the lower: a function overflows as its argument
// grows, and on such a plateau the search then closes in on 0 (as on |x|)
// until it meets the finite values, where there are any to meet.
bool lower(double fu, double u, double fx, double x)
{
    if (fu == HUGE_VAL && fx == HUGE_VAL)
        return std::fabs(u) <= std::fabs(x);
    return fu <= fx;
}

// The parabola through (x, fx), (w, fw), (v, fv) as the pair p, q whose
// ratio is its step from x, before the sign is settled. The products
// overflow where the values lie near the top of the range (distances of
// 1e77 and values of 1e154 are enough): there the times and the values are
// taken at a power of two, which scales p and q by positive factors and
// leaves the step and every test on it as they were.
void parabola(double x, double w, double v, double fx, double fw, double fv, double& p, double& q)
{
    double r = (x - w) * (fx - fv);
    q = (x - v) * (fx - fw);
    p = (x - v) * q - (x - w) * r;
    q = 2 * (q - r);
    if ((std::isfinite(p) && std::isfinite(q)) || !std::isfinite(fx) || !std::isfinite(fw) || !std::isfinite(fv))
        return;
    const int kt = std::max({std::ilogb(x), std::ilogb(w), std::ilogb(v)});
    const int kf = std::max({std::ilogb(fx), std::ilogb(fw), std::ilogb(fv)});
    const double dw = std::ldexp(x, -kt) - std::ldexp(w, -kt), dv = std::ldexp(x, -kt) - std::ldexp(v, -kt);
    const double gx = std::ldexp(fx, -kf);
    r = dw * (gx - std::ldexp(fv, -kf));
    q = dv * (gx - std::ldexp(fw, -kf));
    // p carries the times twice, q once: one more power puts the ratio in
    // the units of x.
    p = std::ldexp(dv * q - dw * r, kt);
    q = 2 * (q - r);
}

minimum brent_minimise(user_function& f, double x1, double x2, const min_settings& set)
{
    constexpr double golden = 0.3819660112501051;  // (3 - sqrt(5)) / 2
    const double sqrt_eps = std::sqrt(machine_double(4));
    auto value = [&f](double u) { return first_value(f(Mm(u))); };

    // Every width is formed from halves (b/2 - a/2, exact as long as it
    // does not overflow): b - a overflows on an interval wider than the
    // range. The golden step as 2c (b/2 - a/2) rounds as c (b - a) does.
    double a = std::fmin(x1, x2), b = std::fmax(x1, x2);
    double x = a + (2 * golden) * (b / 2 - a / 2), w = x, v = x;
    double fx = value(x), fw = fx, fv = fx;
    double d = 0, e = 0;
    minimum out;
    if (ends_search(fx)) {
        out.fx = fx;
        return out;
    }
    out.started = true;
    int k = 0;
    for (;;) {
        ++k;
        const double xm = a / 2 + b / 2;
        const double tol1 = sqrt_eps * std::fabs(x) + set.tol / 3;
        const double tol2 = 2 * tol1;
        if (std::fabs(x - xm) <= tol2 - (b / 2 - a / 2))
            break;
        double p = 0, q = 0, old_e = 0;
        if (std::fabs(e) > tol1) {
            parabola(x, w, v, fx, fw, fv, p, q);
            if (q > 0)
                p = -p;
            else
                q = -q;
            old_e = e;
            e = d;
        }
        if (std::fabs(p) < std::fabs(q * old_e / 2) && p > q * (a - x) && p < q * (b - x)) {
            d = p / q;
            const double u = x + d;
            if (u - a < tol2 || b - u < tol2)
                d = x >= xm ? -tol1 : tol1;
        } else {
            const double half = x >= xm ? a / 2 - x / 2 : b / 2 - x / 2;
            e = 2 * half;  // Inf when it overflows: only a bound then
            d = (2 * golden) * half;
        }
        const double u = std::fabs(d) >= tol1 ? x + d : (d > 0 ? x + tol1 : x - tol1);
        const double fu = value(u);
        if (ends_search(fu)) {
            out.fx = fu;
            out.passes = k;
            return out;
        }
        if (lower(fu, u, fx, x)) {
            if (u >= x)
                a = x;
            else
                b = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
        if (k >= set.maxiter)
            break;
    }
    // A search that met no finite value has no answer to give.
    out.x = std::isfinite(fx) ? x : NAN;
    out.fx = fx;
    out.passes = k;
    return out;
}

// The arguments checked and read (false after an error: nothing is run
// and no output is touched), then the search.
struct prepared {
    double a = NAN, b = NAN;
    min_settings set{};
};

bool prepare(const char* who, const Mm& x1, const Mm& x2, const Mm& options, bool native_struct, prepared& p)
{
    Mm vector;
    if (!limit_argument(x1, who, "x1", p.a) || !limit_argument(x2, who, "x2", p.b))
        return false;
    if (!std::isfinite(p.a) || !std::isfinite(p.b)) {
        error("%s: the interval ends must be finite", who);
        return false;
    }
    if (!options_vector(options, who, native_struct, vector))
        return false;
    p.set = settings_of(vector);
    return true;
}

minimum run(const Mm& f, const prepared& p, const Mm& P)
{
    user_function fn(f, P);
    return brent_minimise(fn, p.a, p.b, p.set);
}

Mm output_vector(const minimum& m, const min_settings& set)
{
    Mm out(0, 0, 0, 1, 18, qv_double);
    if (!allocated(out, 18))
        return x_M;
    double* p = out.addr();
    for (int k = 0; k < 18; ++k)
        p[k] = 0;
    p[1] = set.tol;
    p[7] = m.fx;
    p[9] = m.passes;
    return out;
}

} // namespace

Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options, const Mm& P, i_o_t, Mm& x, Mm& options_out)
{
    prepared p;
    if (!prepare("fmin", x1, x2, options, false, p))
        return x_M;
    const minimum m = run(f, p, P);
    if (m.started)
        options_out = output_vector(m, p.set);
    x = Mm(m.x);
    return x_M;
}

Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options, i_o_t, Mm& x, Mm& options_out)
{
    return fmin(f, x1, x2, options, Mm(), i_o, x, options_out);
}

Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, i_o_t, Mm& x, Mm& options_out)
{
    return fmin(f, x1, x2, Mm(), Mm(), i_o, x, options_out);
}

Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options, const Mm& P)
{
    prepared p;
    if (!prepare("fmin", x1, x2, options, false, p))
        return x_M;
    return Mm(run(f, p, P).x);
}

Mm fmin(const Mm& f, const Mm& x1, const Mm& x2, const Mm& options) { return fmin(f, x1, x2, options, Mm()); }
Mm fmin(const Mm& f, const Mm& x1, const Mm& x2) { return fmin(f, x1, x2, Mm(), Mm()); }

Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval,
           Mm& exitflag)
{
    prepared p;
    if (!prepare("fminbnd", x1, x2, opts, true, p))
        return x_M;
    const minimum m = run(f, p, P);
    // Convergence is claimed only for a finite answer: a search stopped by
    // a value that is not finite (x NaN) reports that value and fails.
    const bool converged = std::isfinite(m.x) && std::isfinite(m.fx) && m.passes < p.set.maxiter;
    x = Mm(m.x);
    fval = Mm(m.fx);
    exitflag = Mm(converged ? 1.0 : 0.0);
    return x_M;
}
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, i_o_t, Mm& x, Mm& fval, Mm& exitflag)
{
    return fminbnd(f, x1, x2, opts, Mm(), i_o, x, fval, exitflag);
}

Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, i_o_t, Mm& x, Mm& fval, Mm& exitflag)
{
    return fminbnd(f, x1, x2, Mm(), Mm(), i_o, x, fval, exitflag);
}

Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval)
{
    Mm exitflag;
    return fminbnd(f, x1, x2, opts, P, i_o, x, fval, exitflag);
}

Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, i_o_t, Mm& x, Mm& fval)
{
    Mm exitflag;
    return fminbnd(f, x1, x2, opts, Mm(), i_o, x, fval, exitflag);
}

Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, i_o_t, Mm& x, Mm& fval)
{
    Mm exitflag;
    return fminbnd(f, x1, x2, Mm(), Mm(), i_o, x, fval, exitflag);
}

Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts, const Mm& P)
{
    prepared p;
    if (!prepare("fminbnd", x1, x2, opts, true, p))
        return x_M;
    return Mm(run(f, p, P).x);
}

Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2, const Mm& opts) { return fminbnd(f, x1, x2, opts, Mm()); }
Mm fminbnd(const Mm& f, const Mm& x1, const Mm& x2) { return fminbnd(f, x1, x2, Mm(), Mm()); }
