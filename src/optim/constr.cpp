// constr, minimax and curvefit (and fminu, which forwards to constr): the
// constrained core that probes the user's function, builds the constraint
// vector c(x) >= 0 and runs the derivative-free minimiser on it.
#include "optim/cobyla.hpp"
#include "optim/minimisation.hpp"
#include "optim/options.hpp"
#include "optim/user_function.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const char* family_name(constrained_mode mode)
{
    switch (mode) {
    case constrained_mode::minimax:
        return "minimax";
    case constrained_mode::curvefit:
        return "curvefit";
    default:
        return "constr";
    }
}

// Element k (1-based) of the options vector; 0 beyond its end.
double option_or_zero(const Mm& options, int k)
{
    const double v = option_at(options, k);
    return std::isnan(v) && (options.gettype() != qv_double || k > options.size()) ? 0.0 : v;
}

Mm as_double(const Mm& v)
{
    if (v.gettype() == qv_double && !v.issparse())
        return v;
    return full(mdouble(v));
}

struct constrained_min_context {
    constrained_mode mode;
    user_function* fn;
    int nabs;
    const Mm* x0;  // the shape every point takes
    int nlb, nub, ng;
    int pairs;  // the equalities, each given a second row g >= 0
    const double* vlb;
    const double* vub;
    const int* lower;  // the elements of vlb and vub that bound x (nlb and nub of them)
    const int* upper;
    const double* ydata;
    int nydata;
    bool not_finite = false;  // a value met was NaN or infinite
};

// The objective and the m constraint values at the minimiser's point.
void constrained_min_evaluate(void* context, int n, int m, double* x, double* f, double* con)
{
    constrained_min_context& c = *static_cast<constrained_min_context*>(context);
    Mm point(0, 0, 0, c.x0->getndims(), c.x0->getdims(), qv_double);
    *f = NAN;
    std::fill(con, con + m, 0.0);
    if (!allocated(point, n))
        return;
    std::memcpy(point.addr(), x, sizeof(double) * static_cast<std::size_t>(n));
    Mm fv, gv, o3, o4, o5, o6;
    c.fn->call_outputs(point, fv, gv, o3, o4, o5, o6);
    *f = NAN;
    std::fill(con, con + m, 0.0);
    if (isempty(fv)) {
        display(fv);
        display(gv);
        error("constr: the target function returned empty result.");
        return;
    }
    const Mm g = as_double(gv);
    const int ng = g.gettype() == qv_double ? g.size() : 0;
    if (m != ng + c.pairs + c.nlb + c.nub) {
        std::printf("%d+%d+%d!=%d\n", ng, c.nlb, c.nub, m - c.pairs);
        std::fflush(stdout);
        error("constr: contraints are inconsistent.");
        return;
    }
    const Mm fd = as_double(fv);
    const int nf = fd.gettype() == qv_double ? fd.size() : 0;
    switch (c.mode) {
    case constrained_mode::constr:
        *f = scalar_objective(fd);
        break;
    case constrained_mode::minimax: {
        double worst = -INFINITY;
        for (int i = 0; i < nf; ++i) {
            const double v = i < c.nabs ? std::fabs(fd.addr()[i]) : fd.addr()[i];
            if (v > worst)  // a NaN value never wins
                worst = v;
        }
        *f = worst;
        break;
    }
    case constrained_mode::curvefit: {
        if (nf > c.nydata) {
            error("curvefit: ydata has fewer elements than the function result");
            return;
        }
        double sum = 0;
        for (int i = 0; i < nf; ++i) {
            const double d = fd.addr()[i] - c.ydata[i];
            sum += d * d;
        }
        *f = sum;
        break;
    }
    }
    // An equality g = 0 is the pair -g >= 0, g >= 0: the square -g^2 >= 0
    // would hide it from the linear models, its gradient vanishing on the
    // constraint, and the run would stop short of it.
    const double* gp = ng ? g.addr() : nullptr;
    for (int i = 0; i < ng; ++i)
        con[i] = -gp[i];
    for (int i = 0; i < c.pairs; ++i)
        con[ng + i] = gp[i];
    double* bounds = con + ng + c.pairs;
    for (int j = 0; j < c.nlb; ++j)
        bounds[j] = x[c.lower[j]] - c.vlb[c.lower[j]];
    for (int j = 0; j < c.nub; ++j)
        bounds[c.nlb + j] = c.vub[c.upper[j]] - x[c.upper[j]];
    c.not_finite = c.not_finite || !std::isfinite(*f) ||
                   !std::all_of(con, con + m, [](double v) { return std::isfinite(v); });
}

// The extra arguments after the point: curvefit's xdata first, then the
// elements of P; constr and minimax end with one empty slot.
Mm extra_arguments(constrained_mode mode, const Mm& xdata, const Mm& P)
{
    const bool list = P.gettype() == qv_cell && !P.isstruct();
    const int np = list ? P.size() : (isempty(P) ? 0 : 1);
    Mm extra(0, 0, 0, 1, np + 1, qv_cell);
    if (!allocated(extra, np + 1))
        return x_M;
    Mm* to = extra.getpr((Mm*)nullptr);
    int k = 0;
    if (mode == constrained_mode::curvefit)
        to[k++] = xdata;
    for (int j = 0; j < np; ++j)
        to[k++] = list ? P.getpr((Mm*)nullptr)[j] : P;
    return extra;
}

int saturated_product(long long a, long long b)
{
    const long long p = a * b;
    return p > 2147483647 ? 2147483647 : static_cast<int>(p);
}

} // namespace

double constrained_rhoend(double tolx, double tolfun)
{
    return std::min(0.1, std::max(1e-14, 0.01 * std::sqrt(tolx * tolfun)));
}

Mm constrained_min_core(constrained_mode mode, const Mm& fun, const Mm& x0_in, const Mm& options, const Mm& vlb_in,
                        const Mm& vub_in, const Mm& xdata, const Mm& ydata_in, const Mm& P, i_o_t, Mm& x,
                        Mm& options_out)
{
    const char* family = family_name(mode);
    // The minimiser works in real numbers: imaginary parts were dropped
    // without a word, and the answer was that of another problem.
    for (const auto& [v, name] : {std::pair{&x0_in, "x0"}, std::pair{&vlb_in, "vlb"}, std::pair{&vub_in, "vub"},
                                  std::pair{&ydata_in, "ydata"}, std::pair{&options, "options"}})
        if (iscomplex(*v)) {
            error("%s: %s must be real", family, name);
            return x_M;
        }
    // A start at Inf or NaN gives the search nowhere to go: it came back as
    // the answer.
    if (!all_finite(x0_in)) {
        error("%s: x0 must be finite", family);
        return x_M;
    }
    const Mm x0 = as_double(x0_in.isc() ? real(x0_in) : x0_in);
    const Mm vlb = as_double(vlb_in), vub = as_double(vub_in), ydata = as_double(ydata_in);
    const int n = x0.size();
    if (vlb.size() > n || vub.size() > n) {
        error("%s: vlb and vub must not have more elements than x0", family);
        return x_M;
    }
    // A bound at -Inf below (+Inf above) bounds nothing: as a constraint
    // its value was Inf, and the minimiser stopped at its first point.
    std::vector<int> lower, upper;
    for (const auto& [bound, kept, none] : {std::tuple{&vlb, &lower, -HUGE_VAL}, std::tuple{&vub, &upper, HUGE_VAL}})
        for (int j = 0; j < bound->size(); ++j) {
            const double v = bound->addr()[j];
            if (std::isnan(v)) {
                error("%s: vlb and vub must not be NaN", family);
                return x_M;
            }
            if (v != none)
                kept->push_back(j);
        }
    const int nlb = static_cast<int>(lower.size()), nub = static_cast<int>(upper.size());
    const double tolx = option_or_zero(options, 2) > 0 ? option_or_zero(options, 2) : 1e-4;
    const double tolfun = option_or_zero(options, 3) > 0 ? option_or_zero(options, 3) : 1e-4;
    const int neq = std::max(0, option_int(option_or_zero(options, 13)));
    int maxfun = option_int(option_or_zero(options, 14));
    if (maxfun <= 0)
        maxfun = saturated_product(300, n);
    const int nabs = option_int(option_or_zero(options, 15));

    user_function fn(fun, extra_arguments(mode, xdata, P));
    // The probe: its constraint count fixes m; it is not an evaluation.
    Mm fprobe, gprobe, o3, o4, o5, o6;
    fn.call_outputs(x0, fprobe, gprobe, o3, o4, o5, o6);
    const int ng = as_double(gprobe).size();
    const int pairs = std::min(neq, ng);
    const long long m = static_cast<long long>(ng) + pairs + nlb + nub;

    const long long nw = cobyla_work_doubles(n, m), ni = cobyla_work_ints(m);
    if (m > 2147483647 || nw < 0 || static_cast<double>(n) * (3.0 * n + 2.0 * m + 11) > 1e15) {
        error("Out of memory!");
        return x_M;
    }
    scratch<double> w(static_cast<std::size_t>(nw));
    scratch<int> iact(static_cast<std::size_t>(ni));

    Mm xwork;
    xwork.deepcopy(x0, qv_double);
    if (!allocated(xwork, n))
        return x_M;
    constrained_min_context context{mode, &fn, nabs, &x0, nlb, nub, ng, pairs,
                                    nlb ? vlb.addr() : nullptr, nub ? vub.addr() : nullptr, lower.data(), upper.data(),
                                    ydata.size() ? ydata.addr() : nullptr, ydata.size()};
    const double rhobeg = 0.5;
    const double rhoend = constrained_rhoend(tolx, tolfun);
    const int mm = static_cast<int>(m), iprint = 0;
    x = xwork;  // the minimiser writes the current point into x's elements
    cobyla_minimise(&context, constrained_min_evaluate, n, mm, xwork.addr(), rhobeg, rhoend, iprint, maxfun, w.get(),
                    iact.get());
    // The minimiser stops at the first value that is not finite and gives
    // the best point before it (the start, when that was the first): no
    // minimum, and nothing else in the outputs would say so.
    if (context.not_finite)
        warning("%s: the search stopped at a function value that is not finite", family);

    Mm out(0, 0, 0, 1, 18, qv_double);
    if (!allocated(out, 18))
        return x_M;
    double* p = out.addr();
    std::fill(p, p + 18, 0.0);
    p[1] = tolx;
    p[2] = tolfun;
    p[9] = maxfun;
    p[12] = neq;
    options_out = out;
    x = xwork;
    return x_M;
}

// Each family: one to seven inputs returning x, and the same inputs with
// the outputs x and options.
#define CONSTRAINED_FAMILY(NAME, MODE)                                                                              \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad,          \
            const Mm& P, i_o_t, Mm& x, Mm& options_out)                                                              \
    {                                                                                                                \
        return constrained_min_core(MODE, fun, x0, options, vlb, vub, Mm(), Mm(), P, i_o, x, options_out);          \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad, i_o_t,   \
            Mm& x, Mm& options_out)                                                                                  \
    {                                                                                                                \
        return NAME(fun, x0, options, vlb, vub, grad, Mm(), i_o, x, options_out);                                   \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, i_o_t, Mm& x,           \
            Mm& options_out)                                                                                         \
    {                                                                                                                \
        return NAME(fun, x0, options, vlb, vub, Mm(), Mm(), i_o, x, options_out);                                   \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, i_o_t, Mm& x, Mm& options_out)         \
    {                                                                                                                \
        return NAME(fun, x0, options, vlb, Mm(), Mm(), Mm(), i_o, x, options_out);                                  \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, i_o_t, Mm& x, Mm& options_out)                        \
    {                                                                                                                \
        return NAME(fun, x0, options, Mm(), Mm(), Mm(), Mm(), i_o, x, options_out);                                 \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, i_o_t, Mm& x, Mm& options_out)                                           \
    {                                                                                                                \
        return NAME(fun, x0, Mm(), Mm(), Mm(), Mm(), Mm(), i_o, x, options_out);                                    \
    }                                                                                                                \
    Mm NAME(const Mm& fun, i_o_t, Mm& x, Mm& options_out)                                                          \
    {                                                                                                                \
        return NAME(fun, Mm(0.0), Mm(), Mm(), Mm(), Mm(), Mm(), i_o, x, options_out);                               \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad,          \
            const Mm& P)                                                                                             \
    {                                                                                                                \
        Mm x, o;                                                                                                     \
        NAME(fun, x0, options, vlb, vub, grad, P, i_o, x, o);                                                        \
        return x;                                                                                                    \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub, const Mm& grad)         \
    {                                                                                                                \
        return NAME(fun, x0, options, vlb, vub, grad, Mm());                                                         \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb, const Mm& vub)                         \
    {                                                                                                                \
        return NAME(fun, x0, options, vlb, vub, Mm(), Mm());                                                         \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options, const Mm& vlb)                                        \
    {                                                                                                                \
        return NAME(fun, x0, options, vlb, Mm(), Mm(), Mm());                                                        \
    }                                                                                                                \
    Mm NAME(const Mm& fun, const Mm& x0, const Mm& options) { return NAME(fun, x0, options, Mm(), Mm(), Mm(), Mm()); } \
    Mm NAME(const Mm& fun, const Mm& x0) { return NAME(fun, x0, Mm(), Mm(), Mm(), Mm(), Mm()); }                   \
    Mm NAME(const Mm& fun) { return NAME(fun, Mm(0.0), Mm(), Mm(), Mm(), Mm(), Mm()); }

CONSTRAINED_FAMILY(constr, constrained_mode::constr)
CONSTRAINED_FAMILY(minimax, constrained_mode::minimax)
#undef CONSTRAINED_FAMILY

// curvefit: fun, x0, xdata, ydata, options, grad, P; no bounds.
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad,
            const Mm& P, i_o_t, Mm& x, Mm& options_out)
{
    return constrained_min_core(constrained_mode::curvefit, fun, x0, options, Mm(), Mm(), xdata, ydata, P, i_o, x,
                                options_out);
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad, i_o_t,
            Mm& x, Mm& options_out)
{
    return curvefit(fun, x0, xdata, ydata, options, grad, Mm(), i_o, x, options_out);
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, i_o_t, Mm& x,
            Mm& options_out)
{
    return curvefit(fun, x0, xdata, ydata, options, Mm(), Mm(), i_o, x, options_out);
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, i_o_t, Mm& x, Mm& options_out)
{
    return curvefit(fun, x0, xdata, ydata, Mm(), Mm(), Mm(), i_o, x, options_out);
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, i_o_t, Mm& x, Mm& options_out)
{
    return curvefit(fun, x0, xdata, Mm(), Mm(), Mm(), Mm(), i_o, x, options_out);
}
Mm curvefit(const Mm& fun, const Mm& x0, i_o_t, Mm& x, Mm& options_out)
{
    return curvefit(fun, x0, Mm(), Mm(), Mm(), Mm(), Mm(), i_o, x, options_out);
}
Mm curvefit(const Mm& fun, i_o_t, Mm& x, Mm& options_out)
{
    return curvefit(fun, Mm(0.0), Mm(), Mm(), Mm(), Mm(), Mm(), i_o, x, options_out);
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad,
            const Mm& P)
{
    Mm x, o;
    curvefit(fun, x0, xdata, ydata, options, grad, P, i_o, x, o);
    return x;
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options, const Mm& grad)
{
    return curvefit(fun, x0, xdata, ydata, options, grad, Mm());
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata, const Mm& options)
{
    return curvefit(fun, x0, xdata, ydata, options, Mm(), Mm());
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata, const Mm& ydata)
{
    return curvefit(fun, x0, xdata, ydata, Mm(), Mm(), Mm());
}
Mm curvefit(const Mm& fun, const Mm& x0, const Mm& xdata) { return curvefit(fun, x0, xdata, Mm(), Mm(), Mm(), Mm()); }
Mm curvefit(const Mm& fun, const Mm& x0) { return curvefit(fun, x0, Mm(), Mm(), Mm(), Mm(), Mm()); }
Mm curvefit(const Mm& fun) { return curvefit(fun, Mm(0.0), Mm(), Mm(), Mm(), Mm(), Mm()); }

// ---- fminu: constr without bounds ----
Mm fminu(const Mm& f) { return constr(f); }
Mm fminu(const Mm& f, const Mm& x) { return constr(f, x); }
Mm fminu(const Mm& f, const Mm& x, const Mm& options) { return constr(f, x, options); }
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad) { return constr(f, x, options, Mm(), Mm(), grad); }
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad, const Mm& P)
{
    return constr(f, x, options, Mm(), Mm(), grad, P);
}
Mm fminu(const Mm& f, i_o_t, Mm& x_out, Mm& options_out) { return constr(f, i_o, x_out, options_out); }
Mm fminu(const Mm& f, const Mm& x, i_o_t, Mm& x_out, Mm& options_out) { return constr(f, x, i_o, x_out, options_out); }
Mm fminu(const Mm& f, const Mm& x, const Mm& options, i_o_t, Mm& x_out, Mm& options_out)
{
    return constr(f, x, options, i_o, x_out, options_out);
}
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad, i_o_t, Mm& x_out, Mm& options_out)
{
    return constr(f, x, options, Mm(), Mm(), grad, i_o, x_out, options_out);
}
Mm fminu(const Mm& f, const Mm& x, const Mm& options, const Mm& grad, const Mm& P, i_o_t, Mm& x_out, Mm& options_out)
{
    return constr(f, x, options, Mm(), Mm(), grad, P, i_o, x_out, options_out);
}
