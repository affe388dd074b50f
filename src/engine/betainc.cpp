// betainc, ellipj and ellipke: the incomplete beta kernel, and the fronts that
// expand their arguments element by element outside the operation engine.
#include "engine/elliptic.hpp"
#include "engine/higher_functions.hpp"
#include "engine/machine.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/value.h"

#include <cmath>
#include <cstddef>

namespace {

// The rounding unit and the underflow limit with their logarithms, taken
// once from the machine-constant table.
struct beta_limits {
    double eps, ln_eps, sml, ln_sml;
};

const beta_limits& limits() noexcept
{
    static const beta_limits l = {machine_double(3), std::log(machine_double(3)), machine_double(1),
                                  std::log(machine_double(1))};
    return l;
}

// Above this many terms the finite sum that raises the second parameter
// from its fractional part is both slow and short of accuracy: the error of
// its first term grows with Q ln(1 - y), and trunc(Q) terms are summed.
constexpr double finite_sum_limit = 256;

// From here on in both parameters the uniform expansion replaces the
// continued fraction, whose term count grows like sqrt(min(a, b)).
constexpr double uniform_limit = 1e13;

// A complement below this keeps too few of the digits of 1 - s.
constexpr double complement_floor = 0.125;

// The continued fraction stops at this many terms whatever happens; it needs
// a few times sqrt(max(a, b)) of them.
constexpr int max_fraction_terms = 1000000;

// Keeps NaN, unlike fmin and fmax.
double unit_clamp(double s) noexcept { return s < 0 ? 0.0 : s > 1 ? 1.0 : s; }

// A point of (0, 1) with its complement. The smaller of the two is always
// exact (it is either the argument itself or 1 minus an argument >= 1/2),
// so every quantity that depends on the distance to an end is taken from
// that one: 1 - x rounded for a tiny x would lose x altogether.
struct unit_point {
    double x, cx;
};

unit_point point_of(double x) noexcept { return {x, 1 - x}; }
unit_point reflect(unit_point t) noexcept { return {t.cx, t.x}; }
double ln_x(unit_point t) noexcept { return t.x < 0.5 ? std::log(t.x) : std::log1p(-t.cx); }
double ln_cx(unit_point t) noexcept { return ln_x(reflect(t)); }

// Where the density t^(a-1) (1 - t)^(b-1) peaks, l = a/(a + b) and
// m = 1 - l, the distance d = x - l, and e = ln((x/l)^a ((1 - x)/m)^b) <= 0.
// e is formed from d, which keeps it as small as it truly is near the peak
// instead of a difference of terms of size a + b; far from the peak the
// ratios themselves are accurate where 1 + d/l is not. e is stationary in
// l when m = 1 - l and d = x - l follow it, so all three come from one l,
// the smaller of the two (kept to full relative accuracy however small).
struct beta_peak {
    double l, m, d, e;
};

beta_peak peak_exponent(unit_point t, double a, double b) noexcept
{
    if (a > b) {
        beta_peak k = peak_exponent(reflect(t), b, a);
        return {k.m, k.l, -k.d, k.e};
    }
    beta_peak k;
    k.l = 1 / (1 + b / a);  // no overflow of a + b
    k.m = 1 - k.l;
    k.d = t.x <= 0.5 ? t.x - k.l : k.m - t.cx;
    double u = k.d / k.l, v = -k.d / k.m;
    k.e = a * (std::fabs(u) <= 0.5 ? std::log1p(u) : std::log(t.x / k.l)) +
          b * (std::fabs(v) <= 0.5 ? std::log1p(v) : std::log(t.cx / k.m));
    return k;
}

// x^a (1 - x)^b / B(a, b) for 0 < x < 1 and finite a, b > 0.
double beta_prefix(unit_point t, double a, double b) noexcept
{
    if (a < 10 || b < 10)  // no exponent term of size a + b to cancel
        return std::exp(a * ln_x(t) + b * ln_cx(t) - betaln_double(a, b));
    // Both large: by Stirling's formula 1/B(a, b) = l^-a m^-b
    // sqrt(ab/(2 pi (a + b))) times the correction terms.
    beta_peak k = peak_exponent(t, a, b);
    double corr = stirling_correction(a + b) - stirling_correction(a) - stirling_correction(b);
    return std::exp(k.e + corr) * std::sqrt(a * k.m / (2 * const_pi));
}

// I_x(a, b) for a, b >= uniform_limit, where the fraction would need more
// than a few times sqrt(min(a, b)) terms: the leading terms of the uniform
// expansion about the peak, I = erfc(-eta sqrt(n/2))/2 - e^(-n eta^2/2)
// c0/sqrt(2 pi n), with n = a + b, -n eta^2/2 = e of the peak and eta of the
// sign of x - l, and c0 = sqrt(lm)/(x - l) - 1/eta. The next term is smaller
// by 1/n.
double betainc_uniform(double x, double a, double b) noexcept
{
    beta_peak k = peak_exponent(point_of(x), a, b);
    double s = std::sqrt(k.l * k.m);
    double w = std::sqrt(-std::fmin(k.e, 0.0));  // |eta| sqrt(n/2)
    double c0;
    if (w < 1)
        c0 = (k.l - k.m) / (3 * s);  // its value at the peak, where its two terms cancel; the
                                     // slope term is smaller by sqrt(n)
    else
        c0 = s / k.d - 1 / std::copysign(w * std::sqrt(2 / (a + b)), k.d);
    double r = std::exp(k.e) / std::sqrt(2 * const_pi * (a + b)) * c0;
    return unit_clamp(0.5 * std::erfc(k.d < 0 ? w : -w) - r);
}

// The rounding error of u + v = s, exactly.
double sum_error(double u, double v, double s) noexcept
{
    double vv = s - u, uu = s - vv;
    return (u - uu) + (v - vv);
}

// (c1 + c2) + (s1 + s2)·z with the rounding errors of both sums and of the
// product carried along, for a difference whose leading terms cancel.
double carried_sum(double c1, double c2, double s1, double s2, double z) noexcept
{
    double c = c1 + c2, s = s1 + s2, pz = s * z;
    double tail = sum_error(c1, c2, c) + std::fma(s, z, -pz) + sum_error(s1, s2, s) * z;
    return (c + pz) + tail;
}

// l0 = a + 1 - (a + b)x, which cancels near x = (a + 1)/(a + b), where the
// fraction is evaluated for large a + b; from 1 - x when that is the exact
// one of the pair: 1 - b + (a + b)(1 - x).
double first_denominator(unit_point t, double a, double b) noexcept
{
    if (t.x <= 0.5)
        return carried_sum(a, 1, -a, -b, t.x);
    return carried_sum(1, -b, a, b, t.cx);
}

// 1/(1 + d1/(1 + d2/(1 + ...))), the continued fraction of I_x(a, b) after
// its prefix, with d(2k) = k(b - k)x/((a + 2k - 1)(a + 2k)) and d(2k + 1) =
// -(a + k)(a + b + k)x/((a + 2k)(a + 2k + 1)); it converges fast for
// x < (a + 1)/(a + b + 2). It is evaluated in its even contraction
// 1/(g0 + n1/(g1 + n2/(g2 + ...))), gk = 1 + d(2k) + d(2k + 1), nk =
// -d(2k - 1) d(2k), by the modified Lentz method: for large a and x near 1
// each 1 + d(2k + 1) of the plain form nearly cancels, while gk reduces to
// (l0 + 2k)/(a + 2k + 1) + 2k(b - k)x/((a + 2k - 1)(a + 2k + 1)) with the
// one difference l0, formed once with care.
double beta_fraction(unit_point t, double a, double b) noexcept
{
    const double eps = machine_eps_value, tiny = machine_realmin_value / eps;
    const double x = t.x, l0 = first_denominator(t, a, b);
    double g = l0 / (a + 1);
    if (std::fabs(g) < tiny)
        g = tiny;
    double c = g, d = 0;
    for (int k = 1; k < max_fraction_terms; ++k) {
        double a2k = a + 2.0 * k;
        // grouped so that no product overflows for any a, b
        double bx = (b - k) * x;
        double num = (a + k - 1) / (a2k - 2) * ((a + b + k - 1) * x / (a2k - 1)) * (k * bx / ((a2k - 1) * a2k));
        double den = (l0 + 2.0 * k) / (a2k + 1) + 2.0 * k * bx / ((a2k - 1) * (a2k + 1));
        d = den + num * d;
        if (std::fabs(d) < tiny)
            d = tiny;
        c = den + num / c;
        if (std::fabs(c) < tiny)
            c = tiny;
        d = 1 / d;
        double delta = c * d;
        g *= delta;
        if (!(std::fabs(delta - 1) > eps))  // converged or NaN
            break;
    }
    return 1 / g;
}

// I_x(p, q) by the continued fraction, on the side of the mean where it
// converges fast; there the tail it yields is the smaller one, so 1 - tail
// keeps its digits.
double betainc_fraction(double x, double p, double q) noexcept
{
    const unit_point t = point_of(x);
    if (x >= (p + 1) / (p + q + 2)) {
        double r = 1 - beta_prefix(reflect(t), q, p) * beta_fraction(reflect(t), q, p) / q;
        if (r >= complement_floor)
            return unit_clamp(r);
        // a very skewed distribution: the tail below x is small although x
        // lies above the mean; the fraction still converges there
    }
    return unit_clamp(beta_prefix(t, p, q) * beta_fraction(t, p, q) / p);
}

} // namespace

double betainc_kernel(double x, double p, double q) noexcept
{
    if (x != x || p != p || q != q || x < 0 || x > 1 || p < 0 || q < 0)
        return NAN;
    if (x == 0)
        return 0;
    if (x == 1)
        return 1;
    // Parameters at the ends of their range: the distribution collapses to
    // a point mass at 0 (p = 0 or q = Inf) or at 1 (q = 0 or p = Inf).
    const bool mass_at_0 = p == 0 || q == INFINITY, mass_at_1 = q == 0 || p == INFINITY;
    if (mass_at_0 || mass_at_1)
        return mass_at_0 == mass_at_1 ? NAN : mass_at_0 ? 1.0 : 0.0;

    if (p >= uniform_limit && q >= uniform_limit)
        return betainc_uniform(x, p, q);

    const beta_limits& k = limits();
    double y = x, P = p, Q = q;
    if ((q > p || x >= 0.8) && x >= 0.2) {
        y = 1 - x;
        P = q;
        Q = p;
    }
    const bool complement = y != x || P != p;
    double s = 0;
    if ((p + q) * y / (P + 1) < k.eps) {
        // y so small that the first term of the series is all of it
        double xb = P * std::log(std::fmax(y, k.sml)) - std::log(P) - betaln_double(P, Q);
        if (xb > k.ln_sml && y != 0)
            s = std::exp(xb);
        return complement ? 1 - s : s;
    }
    if (Q > finite_sum_limit)
        return betainc_fraction(x, p, q);

    // I_y(P, ps) by its power series, ps the fractional part of Q in (0, 1]
    double ps = Q - std::floor(Q);
    if (ps == 0)
        ps = 1;
    double xb = P * std::log(y) - betaln_double(ps, P) - std::log(P);
    if (xb >= k.ln_sml) {
        s = std::exp(xb);
        double term = s * P;
        if (ps != 1) {
            // y <= 0.8 here, so at most 165 terms
            int n = int_max(saturate_to_int(k.ln_eps / std::log(y)), 4);
            for (int i = 1; i <= n; ++i) {
                term = term * (i - ps) * y / i;
                s += term / (P + i);
            }
        }
    }
    // I_y(P, Q) - I_y(P, ps) by the finite sum that raises ps to Q; the
    // terms are carried scaled by powers of the underflow limit until they
    // come within range
    if (Q > 1) {
        xb = P * std::log(y) + Q * std::log(1 - y) - betaln_double(P, Q) - std::log(Q);
        int ib = int_max(saturate_to_int(xb / k.ln_sml), 0);
        double term = std::exp(xb - ib * k.ln_sml);
        double c = 1 / (1 - y);
        double p1 = Q * c / (P + Q - 1);
        double fin = 0;
        int n = saturate_to_int(Q);
        if (Q == n)
            --n;
        for (int i = 1; i <= n; ++i) {
            if (p1 <= 1 && term / k.eps <= fin)
                break;
            term = (Q - i + 1) * c * term / (P + Q - i);
            if (term > 1) {
                --ib;
                term *= k.sml;
            }
            if (ib == 0)
                fin += term;
        }
        s += fin;
    }
    if (!complement)
        return unit_clamp(s);
    // A small complement would keep only the digits of s that 1 - s leaves
    if (1 - s < complement_floor)
        return betainc_fraction(x, p, q);
    return unit_clamp(1 - s);
}

// ---- fronts ----

namespace {

// An argument as full double storage whose real parts the kernels read:
// a sparse value is scattered into full storage, a uint8 value read as its
// numbers; a cell or struct is refused. False when refused.
bool numeric_argument(const Mm& x, const char* f, Mm& out)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    if (error_numeric(x, f))
        return false;
    if (x.gettype() == qv_uint8)
        out = mdouble(x);
    else if (x.issparse())
        out.deepcopy(x.isc(), 0, x, qv_double);
    else
        out = x;
    return true;
}

// A double result shaped like x; every element is written by the caller.
Mm shaped_like(const Mm& x) { return Mm(0, 0, 0, x.getndims(), x.getdims(), qv_double); }

// 1 when an argument of count elements supplies its k-th element to the
// k-th result, 0 when its first element serves every result.
std::ptrdiff_t stride(int count, int n) { return count == n ? 1 : 0; }

// The elliptic functions of u and m element by element; an empty argument
// gives empty outputs (it has no element to pair the other's with).
void ellipj_values(const Mm& u, const Mm& m, Mm& sn, Mm& cn, Mm& dn)
{
    Mm uv, mv;
    if (!numeric_argument(u, "ellipj", uv) || !numeric_argument(m, "ellipj", mv)) {
        sn = cn = dn = x_M;
        return;
    }
    const int nu = uv.size(), nm = mv.size();
    if (nu == 0 || nm == 0) {
        sn = cn = dn = x_M;
        return;
    }
    const int n = int_max(nu, nm);
    const Mm& shape = nu == n ? uv : mv;
    Mm s = shaped_like(shape), c = shaped_like(shape), d = shaped_like(shape);
    const double *pu = uv.addr(), *pm = mv.addr();
    const std::ptrdiff_t su = stride(nu, n), sm = stride(nm, n);
    double *ps = s.addr(), *pc = c.addr(), *pd = d.addr();
    for (std::ptrdiff_t k = 0; k < n; ++k)
        ellipj_kernel(pu[k * su], pm[k * sm], ps[k], pc[k], pd[k]);
    // outputs are written last: one of them may be an argument
    sn = s;
    cn = c;
    dn = d;
}

} // namespace

Mm betainc(const Mm&) { return Mm(error_input("betainc", 1)); }
Mm betainc(const Mm&, const Mm&) { return Mm(error_input("betainc", 2)); }

Mm betainc(const Mm& x, const Mm& a, const Mm& b)
{
    Mm xv, av, bv;
    if (!numeric_argument(x, "betainc", xv) || !numeric_argument(a, "betainc", av) ||
        !numeric_argument(b, "betainc", bv))
        return x_M;
    const int nx = xv.size(), na = av.size(), nb = bv.size();
    if (nx == 0 || na == 0 || nb == 0)
        return x_M;
    // the shape is that of the last argument with the most elements; the
    // others supply their first element throughout, whatever their size
    const int n = int_max3(nx, na, nb);
    Mm r = shaped_like(nb == n ? bv : na == n ? av : xv);
    const double *px = xv.addr(), *pa = av.addr(), *pb = bv.addr();
    const std::ptrdiff_t sx = stride(nx, n), sa = stride(na, n), sb = stride(nb, n);
    double* out = r.addr();
    for (std::ptrdiff_t k = 0; k < n; ++k)
        out[k] = betainc_kernel(px[k * sx], pa[k * sa], pb[k * sb]);
    return r;
}

Mm beta(const Mm& a, const Mm& b, const Mm& c)
{
    const Mm p(a), q(b), r(c);
    return betainc(p, q, r);
}

Mm ellipj(const Mm&) { return Mm(error_input("ellipj", 1)); }
Mm ellipj(const Mm&, i_o_t, Mm&, Mm&, Mm&) { return Mm(error_input("ellipj", 1)); }

Mm ellipj(const Mm& u, const Mm& m)
{
    Mm sn, cn, dn;
    ellipj_values(u, m, sn, cn, dn);
    return sn;
}

Mm ellipj(const Mm& u, const Mm& m, i_o_t, Mm& sn, Mm& cn)
{
    Mm dn;
    ellipj_values(u, m, sn, cn, dn);
    return x_M;
}

Mm ellipj(const Mm& u, const Mm& m, i_o_t, Mm& sn, Mm& cn, Mm& dn)
{
    ellipj_values(u, m, sn, cn, dn);
    return x_M;
}

Mm ellipke(const Mm& m, i_o_t, Mm& k, Mm& e)
{
    Mm mv;
    if (!numeric_argument(m, "ellipke", mv)) {
        k = e = x_M;
        return x_M;
    }
    Mm kv = shaped_like(mv), ev = shaped_like(mv);
    const double* pm = mv.addr();
    double *pk = kv.addr(), *pe = ev.addr();
    for (int j = 0, n = mv.size(); j < n; ++j)
        ellipke_kernel(pm[j], pk[j], pe[j]);
    k = kv;
    e = ev;
    return x_M;
}

Mm ellipke(const Mm& m)
{
    Mm k, e;
    ellipke(m, i_o, k, e);
    return k;
}
