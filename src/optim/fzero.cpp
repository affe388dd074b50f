// fzero: an outward search for a sign change, then Brent's zero finder
// (bisection, secant and inverse quadratic interpolation) on the bracket.
#include "optim/user_function.hpp"
#include "linalg/machine.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <cmath>

namespace {

class zero_problem {
public:
    zero_problem(const Mm& f, const Mm& P) : fn_(f, P) {}

    // The function at x; NaN (after the error) for an empty result.
    double at(double x) { return first_value(fn_(Mm(x))); }

private:
    user_function fn_;
};

bool opposite(double fa, double fb) { return (fa > 0) != (fb > 0); }

enum class search_result { failed, bracket, exact_zero };

// Grows x0 ± dx by 1.3 until the values differ in sign: the bracket in a
// and b, or the point whose value is exactly 0 in a.
search_result search_bracket(zero_problem& f, double x0, double& a, double& b)
{
    constexpr const char* nonfinite = "fzero: non-finite function value encountered while searching for interval";
    double dx = (x0 == 0 || std::isnan(x0)) ? 0.01 : 0.01 * x0;
    // An infinite value keeps its sign and serves the bracket (x^3 and
    // x - 1e308 overflow far out); only NaN says nothing.
    const double f0 = f.at(x0);
    if (std::isnan(f0)) {
        error(nonfinite);
        return search_result::failed;
    }
    if (f0 == 0) {
        a = x0;
        return search_result::exact_zero;
    }
    for (;;) {
        dx *= 1.3;
        if (!std::isfinite(dx)) {
            error("fzero: could not find a change-sign interval");
            return search_result::failed;
        }
        const double up = x0 + dx, down = x0 - dx;
        // An end that overflowed would hand the bracket an infinity.
        if (!std::isfinite(up) || !std::isfinite(down)) {
            error("fzero: could not find a change-sign interval");
            return search_result::failed;
        }
        const double fup = f.at(up);
        if (std::isnan(fup)) {
            error(nonfinite);
            return search_result::failed;
        }
        if (fup == 0) {
            a = up;
            return search_result::exact_zero;
        }
        const double fdown = f.at(down);
        if (std::isnan(fdown)) {
            error(nonfinite);
            return search_result::failed;
        }
        if (fdown == 0) {
            a = down;
            return search_result::exact_zero;
        }
        if (opposite(fup, fdown)) {
            a = down;
            b = up;
            return search_result::bracket;
        }
    }
}

// Brent's method on [a, b]; tol is the whole absolute tolerance.
double zeroin(zero_problem& f, double a, double b, double tol)
{
    const double eps = machine_double(4);
    double fa = f.at(a);
    if (std::isnan(fa))
        return NAN;
    double fb = f.at(b);
    if (std::isnan(fb))
        return NAN;
    if (fa == 0)
        return a;
    if (fb == 0)
        return b;
    if ((fa > 0 && fb > 0) || (fa < 0 && fb < 0)) {
        error("fzero: function must have opposite signs at interval points");
        return NAN;
    }
    double c = a, fc = fa, d = b - a, e = d;
    bool first = true;
    for (int k = 0;;) {
        if (first || (fb > 0) == (fc > 0)) {
            c = a;
            fc = fa;
            d = e = b - a;
            first = false;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        // Halves first: c - b overflows on a bracket wider than the range.
        const double tol1 = tol + 2 * eps * std::fabs(b);
        const double xm = c / 2 - b / 2;
        if (std::fabs(xm) <= tol1 || fb == 0)
            return b;
        if (++k >= 10000) {
            warning("fzero: maximum number of iterations exceeded");
            return b;
        }
        // A bracket wider than a quarter of the range is bisected: the
        // products of the interpolation would overflow, and an infinite
        // bound in its acceptance test could let a step leave the bracket.
        // So is one with an infinite value at an end (overflow of x^3 at
        // 1e308): it has a sign but no size to interpolate.
        if (std::fabs(e) >= tol1 && std::fabs(fa) >= std::fabs(fb) && std::fabs(xm) < 0x1p1021 && std::isfinite(fa) &&
            std::isfinite(fb) && std::isfinite(fc)) {
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2 * xm * s;
                q = 1 - s;
            } else {
                const double qa = fa / fc, r = fb / fc;
                p = s * (2 * xm * qa * (qa - r) - (b - a) * (r - 1));
                q = (qa - 1) * (r - 1) * (s - 1);
            }
            if (p > 0)
                q = -q;
            else
                p = -p;
            const double old_e = e;
            e = d;
            if (2 * p < 3 * xm * q - std::fabs(tol1 * q) && p < std::fabs(old_e * q / 2)) {
                d = p / q;
            } else {
                d = xm;
                e = d;
            }
        } else {
            d = xm;
            e = d;
        }
        a = b;
        fa = fb;
        if (std::fabs(d) > tol1)
            b += d;
        else
            b += xm > 0 ? tol1 : -tol1;
        fb = f.at(b);
        if (std::isnan(fb))
            return NAN;
    }
}

double first_of(const Mm& v)
{
    const Mm d = full(mdouble(v));
    return d.size() > 0 && d.gettype() == qv_double ? d.addr()[0] : NAN;
}

} // namespace

Mm fzero(const Mm& f, const Mm& x, const Mm& tol, const Mm& trace, const Mm& P)
{
    const int n = x.size();
    if (n != 1 && n != 2) {
        error("fzero: initial guess x must be a scalar or interval");
        return Mm(NAN);
    }
    // The search runs along the real line: an imaginary part was dropped
    // without a word, and the zero found was that of another start.
    if (iscomplex(x)) {
        error(n == 2 ? "fzero: the interval ends must be real" : "fzero: initial guess x must be real");
        return Mm(NAN);
    }
    if (first_imaginary(tol) != 0) {
        error("fzero: the tolerance must be real");
        return Mm(NAN);
    }
    const Mm xd = full(mdouble(x));
    if (xd.gettype() != qv_double || xd.size() != n)
        return Mm(NAN);
    double t = isempty(tol) ? 0 : first_of(tol);
    if (!(t > 0))
        t = 10 * machine_double(1);

    double a = xd.addr()[0], b = n == 2 ? xd.addr()[1] : 0;
    if (!std::isfinite(a) || !std::isfinite(b)) {
        error(n == 2 ? "fzero: the interval ends must be finite" : "fzero: initial guess x must be finite");
        return Mm(NAN);
    }
    zero_problem problem(f, P);
    if (n == 1) {
        const search_result found = search_bracket(problem, a, a, b);
        if (found == search_result::failed)
            return Mm(NAN);
        if (found == search_result::exact_zero)
            return Mm(a);
    }
    return Mm(zeroin(problem, a, b, t));
}

Mm fzero(const Mm& f, const Mm& x, const Mm& tol, const Mm& trace) { return fzero(f, x, tol, trace, Mm()); }
Mm fzero(const Mm& f, const Mm& x, const Mm& tol) { return fzero(f, x, tol, zero_M, Mm()); }
Mm fzero(const Mm& f, const Mm& x) { return fzero(f, x, zero_M, zero_M, Mm()); }
Mm fzero(const Mm& f) { return fzero(f, zero_M, zero_M, zero_M, Mm()); }
