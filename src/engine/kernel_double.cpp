// Element work of the operation engine for double values, real or complex:
// by operation code, one tight loop per combination of operand kinds and
// scalar expansion, and the reductions walked vector by vector.
#include "engine/kernels.hpp"
#include "engine/loops.hpp"
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "engine/higher_functions.hpp"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cmath>
#include <cstring>

using loops::functor;

namespace {

using loops::expansion;
using std::size_t;

struct parts {
    const double* re;
    const double* im;  // null for a real operand
};

inline parts parts_of(const Mm& x) { return {x.addr(), x.addi()}; }

inline void zero_fill(double* p, size_t n)
{
    if (p && n)
        std::memset(p, 0, n * sizeof(double));
}

// ---- two-operand arithmetic: complex in, complex out ----
//
// Each operation spells out its four cases, so a real operand contributes
// no imaginary zero to the arithmetic (ai + 0 would turn -0 into +0, and
// Inf * 0 would make NaN where the real formula gives a number).

struct plus_op {
    static double rr(double a, double b) { return a + b; }
    static void cr(double ar, double ai, double br, double& r, double& i) { r = ar + br, i = ai; }
    static void rc(double ar, double br, double bi, double& r, double& i) { r = ar + br, i = bi; }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i) { r = ar + br, i = ai + bi; }
};

struct minus_op {
    static double rr(double a, double b) { return a - b; }
    static void cr(double ar, double ai, double br, double& r, double& i) { r = ar - br, i = ai; }
    static void rc(double ar, double br, double bi, double& r, double& i) { r = ar - br, i = -bi; }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i) { r = ar - br, i = ai - bi; }
};

struct times_op {
    static double rr(double a, double b) { return a * b; }
    static void cr(double ar, double ai, double br, double& r, double& i) { r = ar * br, i = ai * br; }
    static void rc(double ar, double br, double bi, double& r, double& i) { r = ar * br, i = ar * bi; }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i)
    {
        r = ar * br - ai * bi;
        i = ai * br + ar * bi;
    }
};

struct rdivide_op {
    static double rr(double a, double b) { return a / b; }
    static void cr(double ar, double ai, double br, double& r, double& i) { r = ar / br, i = ai / br; }
    static void rc(double ar, double br, double bi, double& r, double& i) { complex_div(ar, 0.0, br, bi, r, i); }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i) { complex_div(ar, ai, br, bi, r, i); }
};

struct ldivide_op {
    static double rr(double a, double b) { return b / a; }
    static void cr(double ar, double ai, double br, double& r, double& i) { complex_div(br, 0.0, ar, ai, r, i); }
    static void rc(double ar, double br, double bi, double& r, double& i) { r = br / ar, i = bi / ar; }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i) { complex_div(br, bi, ar, ai, r, i); }
};

struct power_op {
    static double rr(double a, double b) { return power_real(a, b); }
    static void cr(double ar, double ai, double br, double& r, double& i) { complex_pow(ar, ai, br, 0.0, r, i); }
    static void rc(double ar, double br, double bi, double& r, double& i) { complex_pow(ar, 0.0, br, bi, r, i); }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i) { complex_pow(ar, ai, br, bi, r, i); }
};

// max(a, b) and min(a, b): real operands keep the non-NaN one and, on ties,
// a; otherwise the larger (smaller) modulus decides.
struct max_op {
    static double rr(double a, double b) { return max_ignore_nan(b, a); }
    static void cr(double ar, double ai, double br, double& r, double& i) { complex_max2(ar, ai, br, 0.0, r, i); }
    static void rc(double ar, double br, double bi, double& r, double& i) { complex_max2(ar, 0.0, br, bi, r, i); }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i) { complex_max2(ar, ai, br, bi, r, i); }
};

struct min_op {
    static double rr(double a, double b) { return min_ignore_nan(b, a); }
    static void cr(double ar, double ai, double br, double& r, double& i) { complex_min2(ar, ai, br, 0.0, r, i); }
    static void rc(double ar, double br, double bi, double& r, double& i) { complex_min2(ar, 0.0, br, bi, r, i); }
    static void cc(double ar, double ai, double br, double bi, double& r, double& i) { complex_min2(ar, ai, br, bi, r, i); }
};

template <class Op>
void arithmetic(Mm& r, const Mm& a, const Mm& b)
{
    const size_t n = r.getnnz();
    const expansion e = loops::expansion_of(a.size(), b.size());
    const parts x = parts_of(a), y = parts_of(b);
    double* __restrict o = r.addr();
    double* __restrict oi = r.addi();
    if (!x.im && !y.im) {
        if (oi) {  // a complex result from real operands: only power asks for it
            loops::walk2(n, e, [&](size_t k, size_t i, size_t j) { Op::cc(x.re[i], 0.0, y.re[j], 0.0, o[k], oi[k]); });
            return;
        }
        loops::map2(o, x.re, y.re, n, e, functor<Op::rr>{});
        return;
    }
    if (!oi) {  // a real result was asked for: the real parts decide
        loops::map2(o, x.re, y.re, n, e, functor<Op::rr>{});
        return;
    }
    if (x.im && !y.im)
        loops::walk2(n, e, [&](size_t k, size_t i, size_t j) { Op::cr(x.re[i], x.im[i], y.re[j], o[k], oi[k]); });
    else if (!x.im)
        loops::walk2(n, e, [&](size_t k, size_t i, size_t j) { Op::rc(x.re[i], y.re[j], y.im[j], o[k], oi[k]); });
    else
        loops::walk2(n, e,
                     [&](size_t k, size_t i, size_t j) { Op::cc(x.re[i], x.im[i], y.re[j], y.im[j], o[k], oi[k]); });
}

// ---- comparisons and truth operations: complex in, real 0 or 1 out ----

inline bool truth(double re, double im) { return !(re == 0 && im == 0); }

struct eq_op {
    static double rr(double a, double b) { return a == b; }
    static double cc(double ar, double ai, double br, double bi) { return ar == br && ai == bi; }
};
struct ne_op {
    static double rr(double a, double b) { return !(a == b); }
    static double cc(double ar, double ai, double br, double bi) { return !(ar == br && ai == bi); }
};
struct and_op {
    static double rr(double a, double b) { return a != 0 && b != 0; }
    static double cc(double ar, double ai, double br, double bi) { return truth(ar, ai) && truth(br, bi); }
};
struct or_op {
    static double rr(double a, double b) { return a != 0 || b != 0; }
    static double cc(double ar, double ai, double br, double bi) { return truth(ar, ai) || truth(br, bi); }
};
struct xor_op {
    static double rr(double a, double b) { return (a != 0) != (b != 0); }
    static double cc(double ar, double ai, double br, double bi) { return truth(ar, ai) != truth(br, bi); }
};

template <class Op>
void predicate(Mm& r, const Mm& a, const Mm& b)
{
    const size_t n = r.getnnz();
    const expansion e = loops::expansion_of(a.size(), b.size());
    const parts x = parts_of(a), y = parts_of(b);
    double* __restrict o = r.addr();
    if (!x.im && !y.im) {
        loops::map2(o, x.re, y.re, n, e, functor<Op::rr>{});
        return;
    }
    const double zero = 0;
    const double* xi = x.im ? x.im : &zero;
    const double* yi = y.im ? y.im : &zero;
    const bool xs = x.im != nullptr, ys = y.im != nullptr;  // a real operand's zero never advances
    loops::walk2(n, e, [&](size_t k, size_t i, size_t j) {
        o[k] = Op::cc(x.re[i], xi[xs ? i : 0], y.re[j], yi[ys ? j : 0]);
    });
}

// Operations on the real parts alone (ordering comparisons, atan2, rem,
// mod, higher functions of two arguments, bit operations).
template <class F>
void real_parts2(Mm& r, const Mm& a, const Mm& b, F f)
{
    loops::map2(r.addr(), a.addr(), b.addr(), r.getnnz(), loops::expansion_of(a.size(), b.size()), f);
}

// ---- one-operand work ----

// A real function of the real parts.
template <class F>
void real_parts1(Mm& r, const Mm& a, F f)
{
    loops::map1(r.addr(), a.addr(), r.getnnz(), f);
}

// Real function with the complex flag clear, complex function with it set
// (a real operand then enters with imaginary part 0).
template <class R, class C>
void unary(Mm& r, const Mm& a, R real_f, C complex_f)
{
    const size_t n = r.getnnz();
    double* o = r.addr();
    double* oi = r.addi();
    const double* ar = a.addr();
    const double* ai = a.addi();
    if (!oi) {
        loops::map1(o, ar, n, real_f);
        return;
    }
    if (ai)
        for (size_t k = 0; k < n; ++k)
            complex_f(ar[k], ai[k], o[k], oi[k]);
    else
        for (size_t k = 0; k < n; ++k)
            complex_f(ar[k], 0.0, o[k], oi[k]);
}

// A complex operand through per-part functions; a real one through the
// real function.
template <class F>
void each_part(Mm& r, const Mm& a, F f)
{
    const size_t n = r.getnnz();
    loops::map1(r.addr(), a.addr(), n, f);
    if (double* oi = r.addi()) {
        if (const double* ai = a.addi())
            loops::map1(oi, ai, n, f);
        else
            zero_fill(oi, n);
    }
}

// Real result from a possibly complex operand.
template <class R, class C>
void to_real(Mm& r, const Mm& a, R real_f, C complex_f)
{
    const size_t n = r.getnnz();
    double* o = r.addr();
    const double* ar = a.addr();
    if (const double* ai = a.addi())
        for (size_t k = 0; k < n; ++k)
            o[k] = complex_f(ar[k], ai[k]);
    else
        loops::map1(o, ar, n, real_f);
    zero_fill(r.addi(), n);
}

double complex_angle(double x, double y) { return (y == 0 || y != y) ? angle_real(x) : std::atan2(y, x); }

void sqrt_kernel(Mm& r, const Mm& a)
{
    const size_t n = r.getnnz();
    double* o = r.addr();
    double* oi = r.addi();
    const double* ar = a.addr();
    const double* ai = a.addi();
    if (!oi)
        loops::map1(o, ar, n, [](double x) { return std::sqrt(x); });
    else if (ai)
        for (size_t k = 0; k < n; ++k)
            complex_sqrt(ar[k], ai[k], o[k], oi[k]);
    else
        for (size_t k = 0; k < n; ++k)
            sqrt_real_to_complex(ar[k], o[k], oi[k]);
}

// ---- reductions ----

struct reduction {
    const double* re;
    const double* im;
    double* o;
    double* oi;
    size_t n, inner, outer;
};

// Sum and product of each vector, accumulated in order from its first
// element; vectors along a later dimension walk a contiguous row.
void sum_parts(const double* x, double* o, size_t n, size_t inner, size_t outer)
{
    for (size_t blk = 0; blk < outer; ++blk) {
        const double* in = x + blk * n * inner;
        double* acc = o + blk * inner;
        if (inner == 1) {
            double a = 0;
            for (size_t k = 0; k < n; ++k)
                a += in[k];
            *acc = a;
            continue;
        }
        for (size_t p = 0; p < inner; ++p)
            acc[p] = 0;
        for (size_t k = 0; k < n; ++k) {
            const double* row = in + k * inner;
            for (size_t p = 0; p < inner; ++p)
                acc[p] += row[p];
        }
    }
}

void sum_kernel(const reduction& g)
{
    sum_parts(g.re, g.o, g.n, g.inner, g.outer);
    if (g.oi) {
        if (g.im)
            sum_parts(g.im, g.oi, g.n, g.inner, g.outer);
        else
            zero_fill(g.oi, g.inner * g.outer);
    }
}

void prod_kernel(const reduction& g)
{
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t in0 = blk * g.n * g.inner;
        double* acc = g.o + blk * g.inner;
        double* acci = g.oi ? g.oi + blk * g.inner : nullptr;
        for (size_t p = 0; p < g.inner; ++p)
            acc[p] = 1;
        if (!acci) {
            for (size_t k = 0; k < g.n; ++k) {
                const double* x = g.re + in0 + k * g.inner;
                for (size_t p = 0; p < g.inner; ++p)
                    acc[p] *= x[p];
            }
            continue;
        }
        for (size_t p = 0; p < g.inner; ++p)
            acci[p] = 0;
        for (size_t k = 0; k < g.n; ++k) {
            const size_t at = in0 + k * g.inner;
            for (size_t p = 0; p < g.inner; ++p) {
                double xr = g.re[at + p], xi = g.im ? g.im[at + p] : 0.0;
                double pr = acc[p], pi = acci[p];
                complex_mul(pr, pi, xr, xi, acc[p], acci[p]);
            }
        }
    }
}

// One running sum or product per line, with the kind and the complex case
// chosen once per call: the first element is 0 + x or 1 * x in the
// arithmetic of the running value, every later one prev + x or prev * x.
template <bool Product, bool Complex>
void cumulative_lines(const reduction& g)
{
    const double* re = g.re;
    const double* im = g.im;
    double* o = g.o;
    double* oi = g.oi;
    const size_t inner = g.inner;
    if constexpr (!Complex) {
        if (inner == 1 && g.n > 0) {
            // Lines are contiguous: the running value stays in a register.
            for (size_t blk = 0; blk < g.outer; ++blk) {
                const double* x = re + blk * g.n;
                double* out = o + blk * g.n;
                double run = Product ? 1 * x[0] : 0 + x[0];
                out[0] = run;
                for (size_t k = 1; k < g.n; ++k) {
                    run = Product ? run * x[k] : run + x[k];
                    out[k] = run;
                }
            }
            return;
        }
    }
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t base = blk * g.n * inner;  // the result has the operand's shape
        for (size_t p = 0; p < inner; ++p) {
            const size_t at = base + p;
            if constexpr (Complex) {
                const double xi = im ? im[at] : 0.0;
                if constexpr (Product)
                    complex_mul(1.0, 0.0, re[at], xi, o[at], oi[at]);
                else {
                    o[at] = 0 + re[at];
                    oi[at] = 0 + xi;
                }
            } else {
                o[at] = Product ? 1 * re[at] : 0 + re[at];
            }
        }
        for (size_t k = 1; k < g.n; ++k) {
            const size_t at = base + k * inner;
            const double* prev = o + at - inner;
            const double* x = re + at;
            double* out = o + at;
            if constexpr (Complex) {
                const double* prev_i = oi + at - inner;
                for (size_t p = 0; p < inner; ++p) {
                    const double xi = im ? im[at + p] : 0.0;
                    if constexpr (Product)
                        complex_mul(prev[p], prev_i[p], x[p], xi, out[p], oi[at + p]);
                    else {
                        out[p] = prev[p] + x[p];
                        oi[at + p] = prev_i[p] + xi;
                    }
                }
            } else {
                for (size_t p = 0; p < inner; ++p)
                    out[p] = Product ? prev[p] * x[p] : prev[p] + x[p];
            }
        }
    }
}

void cumulative_kernel(const reduction& g, bool product)
{
    if (product)
        g.oi ? cumulative_lines<true, true>(g) : cumulative_lines<true, false>(g);
    else
        g.oi ? cumulative_lines<false, true>(g) : cumulative_lines<false, false>(g);
}

void diff_kernel(const reduction& g)
{
    const size_t m = g.n - 1;
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t in0 = blk * g.n * g.inner, out0 = blk * m * g.inner;
        for (size_t k = 0; k < m; ++k) {
            const size_t at = in0 + k * g.inner, to = out0 + k * g.inner;
            for (size_t p = 0; p < g.inner; ++p) {
                g.o[to + p] = g.re[at + g.inner + p] - g.re[at + p];
                if (g.oi)
                    g.oi[to + p] = g.im ? g.im[at + g.inner + p] - g.im[at + p] : 0.0;
            }
        }
    }
}

void truth_kernel(const reduction& g, bool all)
{
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t in0 = blk * g.n * g.inner;
        double* out = g.o + blk * g.inner;
        for (size_t p = 0; p < g.inner; ++p)
            out[p] = all ? 1 : 0;
        for (size_t k = 0; k < g.n; ++k) {
            const size_t at = in0 + k * g.inner;
            for (size_t p = 0; p < g.inner; ++p) {
                bool t = truth(g.re[at + p], g.im ? g.im[at + p] : 0.0);
                if (all ? !t : t)
                    out[p] = all ? 0 : 1;
            }
        }
    }
    zero_fill(g.oi, g.outer * g.inner);
}

// max and min along a dimension. A NaN never wins; a vector of NaN only
// gives NaN at position 1. Ties keep the earlier element.
template <bool Largest>
inline bool better(double x, double v)
{
    return Largest ? x > v : x < v;
}

// One vector of a real operand, contiguous: the first element that is not
// NaN starts, then only strictly better elements replace it.
template <bool Largest>
double extreme_of(const double* x, size_t n, bool track, size_t& best)
{
    size_t k = 0;
    while (k < n && x[k] != x[k])
        ++k;
    if (k == n) {
        best = 0;
        return x[0];
    }
    double v = x[k];
    best = k;
    if (!track) {
        // Without positions the loop is a plain running extreme.
        for (++k; k < n; ++k)
            v = better<Largest>(x[k], v) ? x[k] : v;
        return v;
    }
    for (++k; k < n; ++k)
        if (better<Largest>(x[k], v)) {
            v = x[k];
            best = k;
        }
    return v;
}

// Vectors along a later dimension: a row of running extremes walked
// contiguously.
template <bool Largest>
void extreme_rows(const double* in, double* o, double* where, size_t n, size_t inner)
{
    for (size_t p = 0; p < inner; ++p) {
        o[p] = in[p];
        if (where)
            where[p] = 1;
    }
    for (size_t k = 1; k < n; ++k) {
        const double* row = in + k * inner;
        for (size_t p = 0; p < inner; ++p) {
            const double x = row[p], v = o[p];
            if (better<Largest>(x, v) || (v != v && x == x)) {
                o[p] = x;
                if (where)
                    where[p] = double(k + 1);
            }
        }
    }
}

template <bool Largest>
void extreme_real(const reduction& g, double* where)
{
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const double* in = g.re + blk * g.n * g.inner;
        double* o = g.o + blk * g.inner;
        double* w = where ? where + blk * g.inner : nullptr;
        if (g.inner == 1) {
            size_t best;
            *o = extreme_of<Largest>(in, g.n, w != nullptr, best);
            if (w)
                *w = double(best + 1);
        } else
            extreme_rows<Largest>(in, o, w, g.n, g.inner);
    }
    zero_fill(g.oi, g.inner * g.outer);
}

void extreme_kernel(const reduction& g, bool largest, double* where)
{
    if (!g.im) {
        if (largest)
            extreme_real<true>(g, where);
        else
            extreme_real<false>(g, where);
        return;
    }
    // Complex values compare squared moduli, with the same NaN rule; the
    // pair is scaled where the squares would overflow or underflow, so
    // 1e200 + 1e200i and 2e200 compare as their moduli do.
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t in0 = blk * g.n * g.inner, out0 = blk * g.inner;
        for (size_t p = 0; p < g.inner; ++p) {
            auto re = [&](size_t k) { return g.re[in0 + k * g.inner + p]; };
            auto im = [&](size_t k) { return g.im[in0 + k * g.inner + p]; };
            size_t best = 0;
            for (size_t k = 1; k < g.n; ++k) {
                double v, m;
                complex_squared_moduli(re(best), im(best), re(k), im(k), v, m);
                if ((largest ? m > v : m < v) || (v != v && m == m))
                    best = k;
            }
            g.o[out0 + p] = g.re[in0 + best * g.inner + p];
            if (g.oi)
                g.oi[out0 + p] = g.im[in0 + best * g.inner + p];
            if (where)
                where[out0 + p] = double(best + 1);
        }
    }
}

// The mean of two neighbours; halves first where their sum overflows, so
// 1e308 and 1.7e308 give 1.35e308.
inline double middle(double a, double b)
{
    const double s = a + b;
    return std::isinf(s) && std::isfinite(a) && std::isfinite(b) ? 0.5 * a + 0.5 * b : 0.5 * s;
}

// The middle of each (already sorted) vector; NaN when any part is NaN.
void median_kernel(const reduction& g)
{
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t in0 = blk * g.n * g.inner, out0 = blk * g.inner;
        for (size_t p = 0; p < g.inner; ++p) {
            auto re = [&](size_t k) { return g.re[in0 + k * g.inner + p]; };
            auto im = [&](size_t k) { return g.im ? g.im[in0 + k * g.inner + p] : 0.0; };
            bool nan = false;
            for (size_t k = 0; k < g.n && !nan; ++k)
                nan = re(k) != re(k) || im(k) != im(k);
            double vr, vi;
            if (nan)
                vr = vi = NAN;
            else if (g.n % 2) {
                vr = re(g.n / 2);
                vi = im(g.n / 2);
            } else {
                vr = middle(re(g.n / 2 - 1), re(g.n / 2));
                vi = middle(im(g.n / 2 - 1), im(g.n / 2));
            }
            g.o[out0 + p] = vr;
            if (g.oi)
                g.oi[out0 + p] = vi;
        }
    }
}

// gradient and del2 of real vectors, with coordinates c (b's real elements).
// del2 writes half the second derivative, the slope change over the span
// of the two neighbours: the front divides the sum over the dimensions by
// their number. At unit spacing that is half the second difference. The
// ends continue the neighbouring values linearly in the coordinates.
void slope_kernel(const reduction& g, const double* c, bool second)
{
    const size_t n = g.n;
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t in0 = blk * n * g.inner;
        for (size_t p = 0; p < g.inner; ++p) {
            auto x = [&](size_t k) { return g.re[in0 + k * g.inner + p]; };
            double* y = g.o + in0 + p;
            const size_t s = g.inner;
            if (!second) {
                for (size_t k = 1; k + 1 < n; ++k)
                    y[k * s] = (x(k + 1) - x(k - 1)) / (c[k + 1] - c[k - 1]);
                y[0] = n < 2 ? 0.0 : (x(1) - x(0)) / (c[1] - c[0]);
                if (n >= 2)
                    y[(n - 1) * s] = (x(n - 1) - x(n - 2)) / (c[n - 1] - c[n - 2]);
                continue;
            }
            if (n < 3) {
                for (size_t k = 0; k < n; ++k)
                    y[k * s] = 0;
                continue;
            }
            for (size_t k = 1; k + 1 < n; ++k) {
                const double ahead = (x(k + 1) - x(k)) / (c[k + 1] - c[k]);
                const double behind = (x(k) - x(k - 1)) / (c[k] - c[k - 1]);
                y[k * s] = (ahead - behind) / (c[k + 1] - c[k - 1]);
            }
            if (n == 3) {
                y[0] = y[2 * s] = y[s];
                continue;
            }
            y[0] = y[s] + (y[s] - y[2 * s]) * ((c[1] - c[0]) / (c[2] - c[1]));
            const size_t e = n - 1;
            y[e * s] = y[(e - 1) * s] + (y[(e - 1) * s] - y[(e - 2) * s]) * ((c[e] - c[e - 1]) / (c[e - 1] - c[e - 2]));
        }
    }
}

void unwrap_kernel(const reduction& g, double tol)
{
    for (size_t blk = 0; blk < g.outer; ++blk) {
        const size_t in0 = blk * g.n * g.inner;
        for (size_t p = 0; p < g.inner; ++p)
            for (size_t k = 0; k < g.n; ++k) {
                const size_t at = in0 + k * g.inner + p;
                unwrap_step(g.re + at, static_cast<int>(g.inner), g.o + at, static_cast<int>(k), tol);
                if (g.oi && g.im)
                    unwrap_step(g.im + at, static_cast<int>(g.inner), g.oi + at, static_cast<int>(k), tol);
            }
    }
}

void reduce(Mm& r, const Mm& a, const Mm& b, op_t op, size_t n, size_t inner, size_t outer, Mm& index_out)
{
    // The positions of max and min may be wanted in a's own variable: hold
    // a's data before index_out is replaced.
    const Mm keep(a);
    reduction g{keep.addr(), keep.addi(), r.addr(), r.addi(), n, inner, outer};
    switch (op) {
    case op_sum: sum_kernel(g); break;
    case op_prod: prod_kernel(g); break;
    case op_cumsum: cumulative_kernel(g, false); break;
    case op_cumprod: cumulative_kernel(g, true); break;
    case op_diff: diff_kernel(g); break;
    case op_all: truth_kernel(g, true); break;
    case op_any: truth_kernel(g, false); break;
    case op_median: median_kernel(g); break;
    case op_max_1:
    case op_min_1: {
        double* where = nullptr;
        if (index_wanted(index_out)) {
            Mm positions(0, 0, 0, r.getndims(), r.getdims(), qv_double);
            index_out = positions;
            if (index_out.size() == r.size())  // else refused: the extremes alone are found
                where = index_out.addr();
        }
        extreme_kernel(g, op == op_max_1, where);
        break;
    }
    case op_gradient:
    case op_del2:
        if (!keep.addi())  // complex operands are split into parts by their callers
            slope_kernel(g, b.addr(), op == op_del2);
        break;
    case op_unwrap: unwrap_kernel(g, *b.addr()); break;
    default: break;
    }
}

} // namespace

namespace {

// t[k] = f(t[k], u[k]), or f(u[k], t[k]) when t held the second operand.
// t is the result and one operand at once, so it carries no restrict; u is
// another block (or t itself, which reads each element before writing it).
template <class F>
inline void over(double* t, const double* u, size_t n, bool u_scalar, bool t_first, F f)
{
    const size_t k0 = loops::lead_in(t, n);  // then t (and u) are aligned
    for (size_t k = 0; k < k0; ++k)
        t[k] = t_first ? f(t[k], u[u_scalar ? 0 : k]) : f(u[u_scalar ? 0 : k], t[k]);
    t += k0;
    n -= k0;
    if (!u_scalar)
        u += k0;
    if (u_scalar) {
        const double v = u[0];
        if (t_first)
            for (size_t k = 0; k < n; ++k)
                t[k] = f(t[k], v);
        else
            for (size_t k = 0; k < n; ++k)
                t[k] = f(v, t[k]);
    } else if (t_first) {
        for (size_t k = 0; k < n; ++k)
            t[k] = f(t[k], u[k]);
    } else {
        for (size_t k = 0; k < n; ++k)
            t[k] = f(u[k], t[k]);
    }
}

} // namespace

bool op_over_double(double* t, const double* u, std::size_t n, bool u_scalar, bool t_first, op_t op)
{
    switch (op) {
    case op_plus: over(t, u, n, u_scalar, t_first, functor<plus_op::rr>{}); return true;
    case op_minus: over(t, u, n, u_scalar, t_first, functor<minus_op::rr>{}); return true;
    case op_times: over(t, u, n, u_scalar, t_first, functor<times_op::rr>{}); return true;
    case op_rdivide: over(t, u, n, u_scalar, t_first, functor<rdivide_op::rr>{}); return true;
    case op_eq: over(t, u, n, u_scalar, t_first, functor<eq_op::rr>{}); return true;
    case op_ne: over(t, u, n, u_scalar, t_first, functor<ne_op::rr>{}); return true;
    case op_lt: over(t, u, n, u_scalar, t_first, [](double x, double y) { return double(x < y); }); return true;
    case op_gt: over(t, u, n, u_scalar, t_first, [](double x, double y) { return double(x > y); }); return true;
    case op_le: over(t, u, n, u_scalar, t_first, [](double x, double y) { return double(x <= y); }); return true;
    case op_ge: over(t, u, n, u_scalar, t_first, [](double x, double y) { return double(x >= y); }); return true;
    default: return false;
    }
}

void op_core_double(Mm& r, int complex, const Mm& a, const Mm& b, op_t op, std::int64_t n, std::int64_t inner,
                    std::int64_t outer, Mm& index_out)
{
    if (op < 0 || op > 98) {
        error("op_core: unknown op");
        return;
    }
    if (op <= op_unwrap) {
        reduce(r, a, b, op, static_cast<size_t>(n), static_cast<size_t>(inner), static_cast<size_t>(outer),
               index_out);
        return;
    }
    (void)complex;  // the result's own imaginary array says whether it is complex
    switch (op) {
    // Domain-dependent inverse and logarithmic functions.
    case op_acos: unary(r, a, [](double x) { return std::acos(x); }, complex_acos); break;
    case op_asin: unary(r, a, [](double x) { return std::asin(x); }, complex_asin); break;
    case op_asec: unary(r, a, functor<asec_double>{}, functor<complex_asec>{}); break;
    case op_acsc: unary(r, a, functor<acsc_double>{}, functor<complex_acsc>{}); break;
    case op_acosh: unary(r, a, functor<acosh_double>{}, functor<complex_acosh>{}); break;
    case op_asinh: unary(r, a, functor<asinh_double>{}, functor<complex_asinh>{}); break;
    case op_atanh: unary(r, a, functor<atanh_double>{}, functor<complex_atanh>{}); break;
    case op_asech: unary(r, a, functor<asech_double>{}, functor<complex_asech>{}); break;
    case op_acsch: unary(r, a, functor<acsch_double>{}, functor<complex_acsch>{}); break;
    case op_acoth: unary(r, a, functor<acoth_double>{}, functor<complex_acoth>{}); break;
    case op_log: unary(r, a, [](double x) { return std::log(x); }, complex_log); break;
    case op_log10: unary(r, a, log10_via_ln, functor<complex_log10>{}); break;
    case op_log2: unary(r, a, log2_via_ln, functor<complex_log2>{}); break;
    case op_sqrt: sqrt_kernel(r, a); break;

    // Complex exactly when the operand is.
    case op_acot: unary(r, a, [](double x) { return std::atan(1.0 / x); }, complex_acot); break;
    case op_atan: unary(r, a, [](double x) { return std::atan2(x, 1.0); }, complex_atan); break;
    case op_cos: unary(r, a, cos_reduced, functor<complex_cos>{}); break;
    case op_sin: unary(r, a, sin_reduced, functor<complex_sin>{}); break;
    case op_tan: unary(r, a, tan_reduced, functor<complex_tan>{}); break;
    case op_sec: unary(r, a, functor<sec_double>{}, functor<complex_sec>{}); break;
    case op_csc: unary(r, a, functor<csc_double>{}, functor<complex_csc>{}); break;
    case op_cot: unary(r, a, functor<cot_double>{}, functor<complex_cot>{}); break;
    case op_sinc: unary(r, a, functor<sinc_double>{}, functor<complex_sinc>{}); break;
    case op_cosh: unary(r, a, [](double x) { return std::cosh(x); }, complex_cosh); break;
    case op_sinh: unary(r, a, [](double x) { return std::sinh(x); }, complex_sinh); break;
    case op_tanh: unary(r, a, [](double x) { return std::tanh(x); }, complex_tanh); break;
    case op_sech: unary(r, a, functor<sech_double>{}, functor<complex_sech>{}); break;
    case op_csch: unary(r, a, functor<csch_double>{}, functor<complex_csch>{}); break;
    case op_coth: unary(r, a, functor<coth_double>{}, functor<complex_coth>{}); break;
    case op_exp: unary(r, a, functor<exp_double>{}, functor<complex_exp>{}); break;
    case op_pow2_1:
        unary(r, a, [](double x) { return power_real(2.0, x); },
              [](const double& x, const double& y, double& o, double& oi) { complex_pow(2.0, 0.0, x, y, o, oi); });
        break;
    case op_sign: unary(r, a, functor<sign_double>{}, functor<complex_sign>{}); break;
    case op_ceil: each_part(r, a, [](double x) { return std::ceil(x); }); break;
    case op_fix: each_part(r, a, functor<fix_double>{}); break;
    case op_floor: each_part(r, a, [](double x) { return std::floor(x); }); break;
    case op_round: each_part(r, a, round_half_away); break;
    case op_uplus: each_part(r, a, [](double x) { return x; }); break;
    case op_uminus: each_part(r, a, [](double x) { return -x; }); break;
    case op_conj:
        loops::map1(r.addr(), a.addr(), r.getnnz(), [](double x) { return x; });
        if (double* oi = r.addi()) {
            if (const double* ai = a.addi())
                loops::map1(oi, ai, r.getnnz(), [](double y) { return -y; });
            else
                zero_fill(oi, r.getnnz());
        }
        break;

    // Real results whatever the operand.
    case op_abs: to_real(r, a, [](double x) { return std::fabs(x); }, complex_abs_value); break;
    case op_angle: to_real(r, a, angle_real, complex_angle); break;
    case op_imag: to_real(r, a, [](double) { return 0.0; }, [](double, double y) { return y; }); break;
    case op_isfinite:
        to_real(r, a, [](double x) { return double(std::isfinite(x)); },
                [](double x, double y) { return double(std::isfinite(x) && std::isfinite(y)); });
        break;
    case op_isinf:
        to_real(r, a, [](double x) { return double(std::isinf(x)); },
                [](double x, double y) { return double(std::isinf(x) || std::isinf(y)); });
        break;
    case op_isnan:
        to_real(r, a, [](double x) { return double(x != x); },
                [](double x, double y) { return double(x != x || y != y); });
        break;
    case op_not:
        to_real(r, a, [](double x) { return double(x == 0); }, [](double x, double y) { return double(x == 0 && y == 0); });
        break;

    // Higher functions of the real parts.
    case op_erf: real_parts1(r, a, functor<erf_double>{}); break;
    case op_erfc: real_parts1(r, a, functor<erfc_double>{}); break;
    case op_erfcx: real_parts1(r, a, functor<erfcx_double>{}); break;
    case op_erfinv: real_parts1(r, a, functor<erfinv_double>{}); break;
    case op_expint: real_parts1(r, a, expint_real); break;
    case op_gamma: real_parts1(r, a, functor<gamma_double>{}); break;
    case op_gammaln: real_parts1(r, a, log_gamma); break;

    // Two operands.
    case op_plus: arithmetic<plus_op>(r, a, b); break;
    case op_minus: arithmetic<minus_op>(r, a, b); break;
    case op_times:
    case op_mtimes: arithmetic<times_op>(r, a, b); break;
    case op_rdivide: arithmetic<rdivide_op>(r, a, b); break;
    case op_ldivide: arithmetic<ldivide_op>(r, a, b); break;
    case op_power: arithmetic<power_op>(r, a, b); break;
    case op_max_2: arithmetic<max_op>(r, a, b); break;
    case op_min_2: arithmetic<min_op>(r, a, b); break;
    case op_eq: predicate<eq_op>(r, a, b); break;
    case op_ne: predicate<ne_op>(r, a, b); break;
    case op_and: predicate<and_op>(r, a, b); break;
    case op_or: predicate<or_op>(r, a, b); break;
    case op_xor: predicate<xor_op>(r, a, b); break;
    case op_lt: real_parts2(r, a, b, [](double x, double y) { return double(x < y); }); break;
    case op_gt: real_parts2(r, a, b, [](double x, double y) { return double(x > y); }); break;
    case op_le: real_parts2(r, a, b, [](double x, double y) { return double(x <= y); }); break;
    case op_ge: real_parts2(r, a, b, [](double x, double y) { return double(x >= y); }); break;
    case op_atan2: real_parts2(r, a, b, [](double y, double x) { return std::atan2(y, x); }); break;
    case op_beta: real_parts2(r, a, b, functor<beta_double>{}); break;
    case op_betaln: real_parts2(r, a, b, functor<betaln_double>{}); break;
    case op_gammainc: real_parts2(r, a, b, gammainc_kernel); break;
    case op_rem: real_parts2(r, a, b, functor<rem_double>{}); break;
    case op_mod: real_parts2(r, a, b, functor<mod_double>{}); break;
    case op_pow2_2: real_parts2(r, a, b, pow2_scale); break;
    case op_bitand: real_parts2(r, a, b, functor<bitand_double>{}); break;
    case op_bitor: real_parts2(r, a, b, functor<bitor_double>{}); break;
    case op_bitxor: real_parts2(r, a, b, functor<bitxor_double>{}); break;
    case op_bitcmp: real_parts2(r, a, b, functor<bitcmp_double>{}); break;
    case op_bitget: real_parts2(r, a, b, functor<bitget_double>{}); break;
    case op_bitset: real_parts2(r, a, b, functor<bitset_double>{}); break;
    case op_bitreset: real_parts2(r, a, b, functor<bitreset_double>{}); break;
    case op_bitshift: real_parts2(r, a, b, functor<bitshift_double>{}); break;
    default: break;
    }
}
