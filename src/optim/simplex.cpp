// Nelder-Mead simplex minimisation: fmins (options vector), fminsearch
// (options structure) and fsolve (the size of f minimised), on one core;
// each takes the other options form too.
#include "optim/blas.hpp"
#include "optim/minimisation.hpp"
#include "optim/options.hpp"
#include "optim/user_function.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <cmath>
#include <cstring>

double scalar_objective(const Mm& f)
{
    Mm v = f;
    if (v.gettype() != qv_double || v.issparse())
        v = full(mdouble(v));
    const int n = v.gettype() == qv_double ? v.size() : 0;
    if (n < 1) {
        error("optimization: function returned empty result");
        return NAN;
    }
    const bool imaginary = v.isc() && iscomplex(v);
    if (n == 1) {
        // One value is compared as it stands: a complex one has no order.
        if (imaginary) {
            error("optimization: function returned complex value");
            return NAN;
        }
        return v.addr()[0];
    }
    // The squared size of a vector of values counts the imaginary parts
    // too: the real parts alone made (x - 1) + (x - 2)i look solved at 1.
    const int one = 1;
    double size = ddot_(&n, v.addr(), &one, v.addr(), &one);
    if (imaginary) {
        const double* im = v.getpi(static_cast<double*>(nullptr));
        size += ddot_(&n, im, &one, im, &one);
    }
    return size;
}

namespace {

// (a + b) / 2, and the halves summed where that sum overflows (vertices
// near 1.7e308): the same value wherever the plain form is finite.
double midpoint(double a, double b)
{
    const double m = (a + b) / 2;
    return std::isfinite(m) ? m : a / 2 + b / 2;
}

// The point as far beyond a as b lies before it, 2a - b; as a + (a - b)
// where 2a overflows (a reflection from a vertex near 1.7e308 back into
// the range came out Inf and was never tried).
double beyond(double a, double b)
{
    const double p = 2 * a - b;
    return std::isfinite(p) ? p : a + (a - b);
}

struct simplex_settings {
    bool display = false;
    double tolx = 1e-4, tolf = 1e-4;
    int maxiter = 0;
};

simplex_settings settings_of(const Mm& options, int n)
{
    simplex_settings s;
    const int len = options.gettype() == qv_double ? options.size() : 0;
    if (len >= 1) {
        const double d = option_at(options, 1);
        s.display = d != 0 && !std::isnan(d);
    }
    if (len >= 2 && option_at(options, 2) > 0)
        s.tolx = option_at(options, 2);
    if (len >= 3 && option_at(options, 3) > 0)
        s.tolf = option_at(options, 3);
    const long long dflt = 300LL * n;
    s.maxiter = dflt > 2147483647 ? 2147483647 : static_cast<int>(dflt);
    if (len >= 14) {
        const int limit = option_int(option_at(options, 14));
        if (limit >= 1)
            s.maxiter = limit;
    }
    return s;
}

// The objective at a point given by its n coordinates, in x0's shape.
class simplex_objective {
public:
    simplex_objective(const Mm& name, const Mm& x0, const Mm& P, bool abs_flag)
        : fn_(name, P), x0_(x0), abs_(abs_flag)
    {
    }

    double operator()(const double* coordinates)
    {
        // A step that left the doubles (a reflection past 1.7e308) is no
        // point to evaluate: NaN ranks it last, where the function's value
        // at Inf (0 for 1/x) had made it the best vertex.
        for (int m = 0; m < x0_.size(); ++m)
            if (!std::isfinite(coordinates[m]))
                return NAN;
        Mm x(0, 0, 0, x0_.getndims(), x0_.getdims(), qv_double);
        if (!allocated(x, x0_.size()))
            return NAN;
        std::memcpy(x.addr(), coordinates, sizeof(double) * static_cast<std::size_t>(x0_.size()));
        const double v = scalar_objective(fn_(x));
        return abs_ ? std::fabs(v) : v;
    }

private:
    user_function fn_;
    const Mm& x0_;
    bool abs_;
};

Mm output_vector(const simplex_settings& s, double fval, int iterations)
{
    Mm out(0, 0, 0, 1, 18, qv_double);
    if (!allocated(out, 18))
        return x_M;
    double* p = out.addr();
    for (int k = 0; k < 18; ++k)
        p[k] = 0;
    p[1] = s.tolx;
    p[2] = s.tolf;
    p[7] = fval;
    p[9] = iterations;
    return out;
}

} // namespace

simplex_outcome simplex_minimise(const Mm& name, const Mm& x0_in, const Mm& options, const Mm& P, bool abs_flag, Mm& x,
                                 Mm& options_out)
{
    Mm x0 = x0_in;
    if (x0.gettype() != qv_double || x0.issparse() || x0.isc())
        x0 = full(mdouble(x0.isc() ? real(x0) : x0));
    const int n = x0.gettype() == qv_double ? x0.size() : 0;
    const simplex_settings set = settings_of(options, n);
    simplex_outcome out;
    out.maxiter = set.maxiter;
    if (n == 0) {
        x = x0;
        options_out = output_vector(set, 0, 0);
        return out;
    }

    const std::size_t nn = static_cast<std::size_t>(n);
    scratch<double> work(nn * (nn + 7) + 1);
    double* centroid = work.get();
    double* reflected = centroid + nn;
    double* contracted = reflected + nn;
    double* expanded = contracted + nn;
    double* trial = expanded + nn;
    double* value = trial + nn;           // n + 1 vertex values
    double* vertices = value + nn + 1;    // (n + 1) x n, row l = vertex l
    const std::size_t ld = nn + 1;
    auto at = [&](int l, int m) -> double& { return vertices[l + m * ld]; };

    simplex_objective f(name, x0, P, abs_flag);
    const double* start = x0.addr();
    for (int l = 0; l <= n; ++l) {
        for (int m = 0; m < n; ++m)
            at(l, m) = start[m];
        if (l > 0)
            at(l, l - 1) = start[l - 1] != 0 ? 1.05 * start[l - 1] : 0.00025;
        // Past the largest double the first step goes the other way.
        if (l > 0 && !std::isfinite(at(l, l - 1)))
            at(l, l - 1) = 0.95 * start[l - 1];
    }
    auto vertex_value = [&](int l) {
        for (int m = 0; m < n; ++m)
            trial[m] = at(l, m);
        return f(trial);
    };
    for (int l = 0; l <= n; ++l)
        value[l] = vertex_value(l);

    // NaN ranks above every number, so that a vertex with a value never
    // loses to one without; among numbers this is the plain order.
    auto below = [](double a, double b) { return !std::isnan(a) && (std::isnan(b) || a < b); };
    int best = 0, worst = 0, next_best = 0, next_worst = 0;
    auto rank = [&] {
        best = worst = 0;
        for (int l = 1; l <= n; ++l) {
            if (below(value[l], value[best]))
                best = l;
            if (below(value[worst], value[l]))
                worst = l;
        }
        next_best = worst;
        for (int k = 0; k <= n; ++k)
            if (k != best && below(value[k], value[next_best]))
                next_best = k;
        next_worst = best;
        for (int k = 0; k <= n; ++k)
            if (k != worst && below(value[next_worst], value[k]))
                next_worst = k;
    };
    rank();

    auto replace_worst = [&](const double* point, double v) {
        for (int m = 0; m < n; ++m)
            at(worst, m) = point[m];
        value[worst] = v;
    };
    int iterations = 0;
    for (;;) {
        double extent = 0;
        for (int l = 1; l <= n; ++l)
            for (int m = 0; m < n; ++m) {
                // The halves where the difference overflows: an Inf extent
                // is no reason to stop, and fmax would drop a NaN.
                const double d = at(l, m) - at(0, m);
                extent = std::fmax(extent, std::isfinite(d) ? std::fabs(d) : std::fabs(at(l, m) / 2 - at(0, m) / 2));
            }
        if (!(extent > set.tolf))
            break;
        if (iterations >= set.maxiter)
            break;
        double spread = 0;
        for (int m = 0; m < n; ++m)
            spread = std::fmax(spread, std::fabs(at(worst, m) - at(best, m)));
        if (spread < set.tolx)
            break;

        for (int m = 0; m < n; ++m) {
            double sum = 0;
            for (int l = 0; l <= n; ++l)
                sum += at(l, m);
            centroid[m] = (sum - at(worst, m)) / n;
            if (!std::isfinite(centroid[m])) {
                // The sum overflowed: the mean of the halves, doubled.
                double half = 0;
                for (int l = 0; l <= n; ++l)
                    if (l != worst)
                        half += at(l, m) / 2;
                centroid[m] = 2 * (half / n);
            }
        }
        for (int m = 0; m < n; ++m)
            reflected[m] = beyond(centroid[m], at(worst, m));
        const double fr = f(reflected);
        const char* word;
        if (below(fr, value[next_worst])) {
            word = "reflect\n";
            if (!below(value[next_best], fr)) {
                for (int m = 0; m < n; ++m)
                    expanded[m] = beyond(reflected[m], centroid[m]);
                const double fe = f(expanded);
                if (below(fe, fr)) {
                    replace_worst(expanded, fe);
                    word = "expand\n";
                } else {
                    replace_worst(reflected, fr);
                }
            } else {
                replace_worst(reflected, fr);
            }
        } else {
            if (below(fr, value[worst]))
                replace_worst(reflected, fr);
            for (int m = 0; m < n; ++m)
                contracted[m] = midpoint(centroid[m], at(worst, m));
            const double fcc = f(contracted);
            if (below(fcc, value[worst])) {
                replace_worst(contracted, fcc);
                word = "contract inside\n";
            } else {
                for (int l = 0; l <= n; ++l) {
                    if (l == best)
                        continue;
                    for (int m = 0; m < n; ++m)
                        at(l, m) = midpoint(at(l, m), at(best, m));
                    value[l] = vertex_value(l);
                }
                word = "shrink\n";
            }
        }
        if (set.display)
            qv_print_handler(word);
        ++iterations;
        rank();
    }

    Mm result(0, 0, 0, x0.getndims(), x0.getdims(), qv_double);
    if (!allocated(result, n))
        return out;
    for (int m = 0; m < n; ++m)
        result.addr()[m] = at(best, m);
    out.fval = value[best];
    out.iterations = iterations;
    options_out = output_vector(set, out.fval, iterations);
    x = result;
    return out;
}

namespace {

// The simplex moves in real coordinates: an imaginary part of the start
// was dropped without a word, and the search began somewhere else.
bool real_start(const Mm& x0, const char* who)
{
    if (iscomplex(x0)) {
        error("%s: x0 must be real", who);
        return false;
    }
    // A start at Inf or NaN gives the search nowhere to go: it came back
    // as the answer, with the value NaN.
    if (!all_finite(x0)) {
        error("%s: x0 must be finite", who);
        return false;
    }
    return true;
}

} // namespace

// ---- fmins ----

Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P, i_o_t, Mm& x, Mm& options_out)
{
    Mm vector;
    if (!real_start(x0, "fmins"))
        return x_M;
    if (!options_vector(options, "fmins", false, vector))
        return x_M;
    simplex_minimise(f, x0, vector, P, false, x, options_out);
    return x_M;
}
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, i_o_t, Mm& x, Mm& options_out)
{
    return fmins(f, x0, options, grad, Mm(), i_o, x, options_out);
}
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, i_o_t, Mm& x, Mm& options_out)
{
    return fmins(f, x0, options, Mm(), Mm(), i_o, x, options_out);
}
Mm fmins(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& options_out)
{
    return fmins(f, x0, Mm(), Mm(), Mm(), i_o, x, options_out);
}
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P)
{
    Mm x, o;
    fmins(f, x0, options, grad, P, i_o, x, o);
    return x;
}
Mm fmins(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad) { return fmins(f, x0, options, grad, Mm()); }
Mm fmins(const Mm& f, const Mm& x0, const Mm& options) { return fmins(f, x0, options, Mm(), Mm()); }
Mm fmins(const Mm& f, const Mm& x0) { return fmins(f, x0, Mm(), Mm(), Mm()); }

// ---- fminsearch ----

Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval, Mm& exitflag)
{
    Mm out, vector;
    if (!real_start(x0, "fminsearch"))
        return x_M;
    if (!options_vector(opts, "fminsearch", true, vector))
        return x_M;
    const simplex_outcome r = simplex_minimise(f, x0, vector, P, false, x, out);
    // A NaN answer, or a search that never met a finite value, is no
    // convergence: fval is the value at x as it was evaluated.
    fval = Mm(r.fval);
    exitflag = Mm(r.iterations < r.maxiter && std::isfinite(r.fval) ? 1.0 : 0.0);
    return x_M;
}
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, i_o_t, Mm& x, Mm& fval, Mm& exitflag)
{
    return fminsearch(f, x0, opts, Mm(), i_o, x, fval, exitflag);
}
Mm fminsearch(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& fval, Mm& exitflag)
{
    return fminsearch(f, x0, Mm(), Mm(), i_o, x, fval, exitflag);
}
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, const Mm& P, i_o_t, Mm& x, Mm& fval)
{
    Mm exitflag;
    return fminsearch(f, x0, opts, P, i_o, x, fval, exitflag);
}
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, i_o_t, Mm& x, Mm& fval)
{
    Mm exitflag;
    return fminsearch(f, x0, opts, Mm(), i_o, x, fval, exitflag);
}
Mm fminsearch(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& fval)
{
    Mm exitflag;
    return fminsearch(f, x0, Mm(), Mm(), i_o, x, fval, exitflag);
}
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts, const Mm& P)
{
    Mm x, fval, exitflag;
    fminsearch(f, x0, opts, P, i_o, x, fval, exitflag);
    return x;
}
Mm fminsearch(const Mm& f, const Mm& x0, const Mm& opts) { return fminsearch(f, x0, opts, Mm()); }
Mm fminsearch(const Mm& f, const Mm& x0) { return fminsearch(f, x0, Mm(), Mm()); }

// ---- fsolve ----

Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P, i_o_t, Mm& x, Mm& options_out)
{
    Mm vector;
    if (!real_start(x0, "fsolve"))
        return x_M;
    if (!options_vector(options, "fsolve", false, vector))
        return x_M;
    simplex_minimise(f, x0, vector, P, true, x, options_out);
    return x_M;
}
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, i_o_t, Mm& x, Mm& options_out)
{
    return fsolve(f, x0, options, grad, Mm(), i_o, x, options_out);
}
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, i_o_t, Mm& x, Mm& options_out)
{
    return fsolve(f, x0, options, Mm(), Mm(), i_o, x, options_out);
}
Mm fsolve(const Mm& f, const Mm& x0, i_o_t, Mm& x, Mm& options_out)
{
    return fsolve(f, x0, Mm(), Mm(), Mm(), i_o, x, options_out);
}
Mm fsolve(const Mm& f, i_o_t, Mm& x, Mm& options_out) { return fsolve(f, Mm(), Mm(), Mm(), Mm(), i_o, x, options_out); }
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad, const Mm& P)
{
    Mm x, o;
    fsolve(f, x0, options, grad, P, i_o, x, o);
    return x;
}
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options, const Mm& grad) { return fsolve(f, x0, options, grad, Mm()); }
Mm fsolve(const Mm& f, const Mm& x0, const Mm& options) { return fsolve(f, x0, options, Mm(), Mm()); }
Mm fsolve(const Mm& f, const Mm& x0) { return fsolve(f, x0, Mm(), Mm(), Mm()); }
Mm fsolve(const Mm& f) { return fsolve(f, Mm(0.0), Mm(), Mm(), Mm()); }
