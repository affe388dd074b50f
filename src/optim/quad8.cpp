// quad8: non-adaptive Gauss-Kronrod-Patterson quadrature. Each rule reuses
// the values of the previous one; the function sees one row of abscissae
// per rule and the interval is never subdivided, so a value the rules do
// not confirm comes with a warning.
#include "optim/quadrature_rules.hpp"
#include "optim/user_function.hpp"
#include "linalg/machine.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using namespace quadrature_rules;

struct node_group {
    const double* x;
    int n;
};

// One call of the function: for each group c + h·x(k) for its nodes, then
// c - h·x(k), then (with centre) c itself. The values stay valid until the
// next call. They are given in units of 2^scale(), a power of two set by
// the first call: where its values are beyond 2^±1000, that of their
// largest, else 1. Two values near the largest double overflow the sum of
// a pair (the integral of 1.7e308 over [0, 1] was Inf, and passed as
// converged); values below the normal numbers keep few bits in the
// weighted sums. A power of two changes no sum elsewhere.
class rule_caller {
public:
    rule_caller(const Mm& f, const Mm& P) : fn_(f, P) {}

    const double* call(std::initializer_list<node_group> groups, double c, double h, bool centre)
    {
        int count = centre ? 1 : 0;
        for (const node_group& g : groups)
            count += 2 * g.n;
        Mm x(0, 0, 0, 1, count, qv_double);
        if (!allocated(x, count))
            return nullptr;
        double* p = x.addr();
        for (const node_group& g : groups) {
            for (int k = 0; k < g.n; ++k) {
                const double hx = h * g.x[k];
                p[k] = c + hx;
                p[g.n + k] = c - hx;
            }
            p += 2 * g.n;
        }
        if (centre)
            *p = c;
        values_ = fn_(x);
        if (values_.gettype() != qv_double || values_.issparse())
            values_ = full(mdouble(values_));
        const int got = values_.gettype() == qv_double ? values_.size() : 0;
        // More values than abscissae (a column of two values per node, a
        // value more) were read by position as if they were one per node:
        // the integral of something else, without a word.
        if (got != count) {
            error("quad8: the function returned %d values for %d abscissae", got, count);
            return nullptr;
        }
        // The rules sum real values: an imaginary part was dropped and the
        // integral was that of the real part alone.
        if (values_.isc() && iscomplex(values_)) {
            error("quad8: the function returned complex values");
            return nullptr;
        }
        const double* v = values_.addr();
        if (first_) {
            first_ = false;
            double big = 0;
            for (int k = 0; k < count; ++k)
                if (std::isfinite(v[k]))
                    big = std::max(big, std::fabs(v[k]));
            if (big > 0 && std::abs(std::ilogb(big)) > 1000)
                scale_ = std::ilogb(big);
        }
        if (scale_ == 0)
            return v;
        // A copy: the function's value may be shared with its caller.
        scaled_.assign(v, v + count);
        for (double& e : scaled_)
            e = std::ldexp(e, -scale_);
        return scaled_.data();
    }

    int scale() const { return scale_; }

private:
    user_function fn_;
    Mm values_;
    std::vector<double> scaled_;
    bool first_ = true;
    int scale_ = 0;
};

} // namespace

Mm quad8(const Mm& f, const Mm& a, const Mm& b, const Mm& tol, const Mm& trace, const Mm& P)
{
    double lower, upper;
    if (!limit_argument(a, "quad8", "a", lower) || !limit_argument(b, "quad8", "b", upper))
        return x_M;
    // The rules need a finite interval: at an infinite limit every node
    // was Inf or NaN and the answer a NaN or Inf with a warning.
    for (const auto& [limit, name] : {std::pair{lower, "a"}, std::pair{upper, "b"}})
        if (!std::isfinite(limit)) {
            error("quad8: the limit %s must be finite", name);
            return x_M;
        }
    if (first_imaginary(tol) != 0) {
        error("quad8: the tolerance must be real");
        return x_M;
    }
    const double eps = machine_double(4), tiny = machine_double(1);
    double rel = isempty(tol) ? 0 : first_argument(tol);
    if (!(rel > 0))
        rel = 1e-9;
    rel = std::max(rel, std::max(50 * eps, 5e-29));

    // h keeps its sign when b < a: the estimate changes sign with it.
    // Limits beyond half the largest double overflow a sum or difference
    // (the nodes of [1e308, 1.5e308] all became Inf, and the integral of 1
    // NaN): there the halves are taken first, which is exact.
    const double sum = lower + upper, width = upper - lower;
    const double c = std::isinf(sum) ? lower / 2 + upper / 2 : sum / 2;
    const double h = std::isinf(width) ? upper / 2 - lower / 2 : width / 2, habs = std::fabs(h);
    rule_caller rule(f, P);
    double resabs = 0, resasc = 0, result = 0, err = 0;
    // Whether every value so far is exactly 0: a narrow peak that falls
    // between the nodes of the first rules gives that picture, and only
    // the last rule can say whether it is the function's.
    bool all_zero = true;
    auto note_values = [&](const double* v, int count) {
        for (int k = 0; k < count && all_zero; ++k)
            all_zero = v[k] == 0;
    };
    // The difference between two rules, scaled by how much the 21 values
    // vary about their mean (resasc): a fast shrinking difference counts
    // for less. A difference as large as that variation shows the first
    // values did not see the integrand (a peak between them), and then
    // scaling by it would pass almost any value: the difference stands.
    auto converged = [&](double res, double raw_err) {
        result = res;
        err = raw_err;
        // A value that is not finite (a node where the function is NaN or
        // Inf) confirms nothing: its error, NaN, was lost in the maximum
        // below and an Inf passed as converged, unwarned.
        if (!std::isfinite(res) || std::isnan(err))
            return false;
        if (resasc != 0 && err != 0 && err < resasc)
            err = resasc * std::min(1.0, std::pow(200 * err / resasc, 1.5));
        if (resabs > tiny / (50 * eps))
            err = std::max(50 * eps * resabs, err);
        return err <= std::max(0.0, rel * std::fabs(res));
    };

    // The pair sums f(c + h x) + f(c - h x) of every node so far, in the
    // order the later weights expect them: x1, x2, then x3.
    double pairs[21];

    // Rule 1: the 10-point Gauss rule and its 21-point Kronrod extension.
    const double* v = rule.call({{x1, 5}, {x2, 5}}, c, h, true);
    if (!v)
        return Mm(NAN);
    const double* plus1 = v;
    const double* minus1 = v + 5;
    const double* plus2 = v + 10;
    const double* minus2 = v + 15;
    const double centre = v[20];
    double res10 = 0, res21 = w21b[5] * centre;
    resabs = w21b[5] * std::fabs(centre);
    for (int k = 0; k < 5; ++k) {
        const double sum = plus1[k] + minus1[k];
        res10 += w10[k] * sum;
        res21 += w21a[k] * sum;
        resabs += w21a[k] * (std::fabs(plus1[k]) + std::fabs(minus1[k]));
        pairs[k] = sum;
    }
    for (int k = 0; k < 5; ++k) {
        const double sum = plus2[k] + minus2[k];
        res21 += w21b[k] * sum;
        resabs += w21b[k] * (std::fabs(plus2[k]) + std::fabs(minus2[k]));
        pairs[5 + k] = sum;
    }
    const double mean = res21 / 2;
    resasc = w21b[5] * std::fabs(centre - mean);
    for (int k = 0; k < 5; ++k) {
        resasc += w21a[k] * (std::fabs(plus1[k] - mean) + std::fabs(minus1[k] - mean));
        resasc += w21b[k] * (std::fabs(plus2[k] - mean) + std::fabs(minus2[k] - mean));
    }
    // An interval of length 0 holds no integral, whatever the values at
    // its one point (1/x at [0, 0] gave Inf times 0, NaN).
    if (h == 0)
        return Mm(0.0);
    resabs *= habs;
    resasc *= habs;
    note_values(v, 21);
    if (converged(res21 * h, std::fabs((res21 - res10) * h)) && !all_zero)
        return Mm(std::ldexp(result, rule.scale()));

    // Rule 2: the 43-point extension.
    double res43 = w43b[11] * centre;
    for (int k = 0; k < 10; ++k)
        res43 += w43a[k] * pairs[k];
    v = rule.call({{x3, 11}}, c, h, false);
    if (!v)
        return Mm(NAN);
    for (int k = 0; k < 11; ++k) {
        const double sum = v[k] + v[11 + k];
        res43 += w43b[k] * sum;
        pairs[10 + k] = sum;
    }
    note_values(v, 22);
    // Besides the scaled estimate, the 21- and 43-point values themselves
    // must agree to the tolerance: where they do not, the 43 nodes found
    // what the 21 missed, and the last rule is asked.
    const double step43 = std::fabs((res43 - res21) * h);
    if (converged(res43 * h, step43) && step43 <= rel * std::fabs(res43 * h) && !all_zero)
        return Mm(std::ldexp(result, rule.scale()));

    // Rule 3: the 87-point extension; its estimate stands in any case, and
    // a miss of the tolerance is said, since it looks like any other value.
    double res87 = w87b[22] * centre;
    for (int k = 0; k < 21; ++k)
        res87 += w87a[k] * pairs[k];
    v = rule.call({{x4, 22}}, c, h, false);
    if (!v)
        return Mm(NAN);
    for (int k = 0; k < 22; ++k)
        res87 += w87b[k] * (v[k] + v[22 + k]);
    result = res87 * h;
    // The difference res87 - res43 is the error of the 43-point value, not
    // of the 87-point one: on an integrand the rules resolve (exp(-x^2) on
    // [-10, 10]) it is 1e-7 where the 87-point value is exact to rounding.
    // Where the errors fall by a constant factor r = d2 / d1 per rule (an
    // algebraic singularity: sqrt(x) at 0, r = 2^-1.5; x^-0.9, r = 0.87),
    // the error of res87 is the rest of that geometric series, d2 r / (1 - r):
    // d2 shrunk once more for small r, and many times d2 where r is near 1
    // (taking d2 r alone passed x^-0.9 on [0, 1], 31% off, at a tolerance
    // of 10%). Where they fall faster (analytic integrands) the estimate
    // is above the truth. A step that did not shrink the difference (a
    // peak the first rules missed) leaves it standing. An estimate at the rounding
    // floor 50 eps resabs is no miss: a relative tolerance cannot be met
    // by an integral of 0 (an odd integrand), which is then as exact as
    // the values allow.
    const double d1 = std::fabs((res43 - res21) * h), d2 = std::fabs((res87 - res43) * h);
    const double r = d1 > 0 ? d2 / d1 : 1;
    const double estimate = r < 1 ? d2 * (r / (1 - r)) : d2;
    if (!(estimate <= rel * std::fabs(result)) && !(estimate <= 50 * eps * resabs))
        warning("quad8: tolerance not met; result may be inaccurate");
    return Mm(std::ldexp(result, rule.scale()));
}

Mm quad8(const Mm& f, const Mm& a, const Mm& b, const Mm& tol, const Mm& trace)
{
    return quad8(f, a, b, tol, trace, Mm());
}
Mm quad8(const Mm& f, const Mm& a, const Mm& b, const Mm& tol) { return quad8(f, a, b, tol, zero_M, Mm()); }
Mm quad8(const Mm& f, const Mm& a, const Mm& b) { return quad8(f, a, b, zero_M, zero_M, Mm()); }
Mm quad8(const Mm& f) { return Mm(error_input("quad", 1)); }
Mm quad8(const Mm& f, const Mm& a) { return Mm(error_input("quad", 2)); }
