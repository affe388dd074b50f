// The higher-function kernels that iterate or branch too much to inline:
// incomplete gamma, log-beta and beta, the scaled complementary error
// function, the inverse error function and the exponential integral.
#include "engine/higher_functions.hpp"

#include <cfloat>

namespace {

constexpr double eps = machine_eps_value;
constexpr double ln_sqrt_2pi = 0.9189385332046728;
constexpr double euler_gamma = 0.5772156649015329;
constexpr double sqrt_pi = 1.7724538509055160;
constexpr double two_over_sqrt_pi = 1.1283791670955126;

// Series and continued fractions stop at this many terms whatever happens,
// so no argument can hang the caller.
constexpr int max_terms = 1000000;

} // namespace

double stirling_correction(double x) noexcept
{
    double t = 1 / (x * x);
    double s = 1.0 / 156;
    s = s * t - 691.0 / 360360;
    s = s * t + 1.0 / 1188;
    s = s * t - 1.0 / 1680;
    s = s * t + 1.0 / 1260;
    s = s * t - 1.0 / 360;
    s = s * t + 1.0 / 12;
    return s / x;
}

namespace {

// ln(1 + d) - d, accurate also where the two nearly cancel: with
// s = d/(2 + d), ln(1 + d) = 2 atanh(s), so ln(1 + d) - d = -d·s + 2(s^3/3 +
// s^5/5 + ...), which converges fast for |d| <= 1/2 (|s| <= 1/3).
double log1p_minus(double d) noexcept
{
    if (std::fabs(d) > 0.5)
        return std::log1p(d) - d;
    double s = d / (2 + d), s2 = s * s, p = s * s2, sum = 0;
    for (int k = 3; k < 200; k += 2) {
        double term = p / k;
        sum += term;
        if (std::fabs(term) <= eps * std::fabs(sum) * 0.25)
            break;
        p *= s2;
    }
    return -d * s + 2 * sum;
}

// x^a e^-x / Gamma(a + 1) for a > 0, x > 0, the factor in front of both the
// series and the continued fraction. For large a the exponent is formed
// relative to a, where it is small, instead of as a difference of terms of
// size a ln a.
double gamma_prefix(double a, double x) noexcept
{
    if (a < 10) {
        if (x < 700)  // each factor in range and accurate to an ulp or two
            return std::pow(x, a) * std::exp(-x) / gamma_double(a + 1);
        return std::exp(a * std::log(x) - x - log_gamma(a + 1));
    }
    double d = (x - a) / a;
    double e = d < -0.5 ? a * (std::log(x / a) - d) : a * log1p_minus(d);
    return std::exp(e - stirling_correction(a)) / std::sqrt(2 * const_pi * a);
}

// P(a, x) for a >= 1e6 and x/a in [0.5, 1.5], where the series and the
// continued fraction would need about 10 sqrt(a) terms: Temme's uniform
// expansion Q = erfc(eta sqrt(a/2))/2 + e^(-a eta^2/2)/sqrt(2 pi a) (C0(eta) +
// C1(eta)/a + ...), with eta^2/2 = lambda - 1 - ln lambda, lambda = x/a, and
// eta of the sign of lambda - 1. The terms from C2/a^2 on are below 1e-14 of
// the result for such a.
double gammainc_uniform(double x, double a) noexcept
{
    double d = (x - a) / a;  // lambda - 1
    double eta = std::copysign(std::sqrt(-2 * log1p_minus(d)), d);
    double c0, c1;
    if (std::fabs(eta) < 0.03) {
        // Taylor series of C0 and C1 at 0, where their closed forms cancel
        double e = eta;
        c0 = -1.0 / 3 + e * (1.0 / 12 + e * (-2.0 / 135 + e * (1.0 / 864 + e * (1.0 / 2835 + e * (-139.0 / 777600)))));
        c1 = -1.0 / 540 + e * (-1.0 / 288 + e * (1.0 / 378));
    } else {
        c0 = 1 / d - 1 / eta;
        c1 = 1 / (eta * eta * eta) - 1 / (d * d * d) - 1 / (d * d) - 1 / (12 * d);
    }
    double r = std::exp(-0.5 * a * eta * eta) / std::sqrt(2 * const_pi * a) * (c0 + c1 / a);
    double y = eta * std::sqrt(a / 2);
    // the smaller of P and Q is formed directly
    return eta >= 0 ? 1 - (0.5 * std::erfc(y) + r) : 0.5 * std::erfc(-y) - r;
}

} // namespace

namespace {

// Rounding can carry a probability a hair outside [0, 1].
double probability(double p) noexcept { return std::fmin(1.0, std::fmax(0.0, p)); }

} // namespace

double gammainc_kernel(double x, double a) noexcept
{
    if (!(a >= 0) || x != x)
        return NAN;
    if (std::isinf(x))
        return 1.0;
    if (x == 0)
        return 0.0;
    if (x < 0)
        return NAN;
    if (a == 0)
        return 1.0;
    if (std::isinf(a))
        return 0.0;
    if (a >= 1e6 && x >= 0.5 * a && x <= 1.5 * a)
        return probability(gammainc_uniform(x, a));
    double prefix = gamma_prefix(a, x);
    if (x < a + 1) {
        // P = prefix · (1 + x/(a+1) + x^2/((a+1)(a+2)) + ...)
        double term = 1, sum = 1;
        for (int k = 1; k < max_terms; ++k) {
            term *= x / (a + k);
            sum += term;
            if (!(term > eps * 0.5 * sum))  // small enough, zero or NaN
                break;
        }
        return probability(prefix * sum);
    }
    // Q = prefix · a · 1/(x + 1 - a - 1(1 - a)/(x + 3 - a - 2(2 - a)/(x + 5 - a - ...))),
    // by the modified Lentz method.
    const double tiny = DBL_MIN / eps;
    double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
    for (int k = 1; k < max_terms; ++k) {
        double an = -k * (k - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < tiny)
            d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny)
            c = tiny;
        d = 1 / d;
        double delta = d * c;
        h *= delta;
        if (!(std::fabs(delta - 1) > eps))  // converged or NaN
            break;
    }
    return probability(1 - prefix * a * h);
}

double betaln_double(double a, double b) noexcept
{
    if (!(a >= 0) || !(b >= 0))
        return NAN;
    double p = std::fmin(a, b), q = std::fmax(a, b);
    if (p == 0)
        return std::isinf(q) || q == 0 ? NAN : INFINITY;
    if (std::isinf(q))
        return -INFINITY;
    if (p >= 10) {
        // Both large: Stirling's form, with the ratio p/(p + q) kept inside
        // the logarithms so that nothing of size q ln q cancels.
        double corr = stirling_correction(p) + stirling_correction(q) - stirling_correction(p + q);
        double r = p / (p + q);
        return -0.5 * std::log(q) + ln_sqrt_2pi + corr + (p - 0.5) * std::log(r) + q * std::log1p(-r);
    }
    if (q >= 10) {
        // Only q large: ln Gamma(q) - ln Gamma(p + q) in Stirling's form.
        double corr = stirling_correction(q) - stirling_correction(p + q);
        return log_gamma(p) + corr + p - p * std::log(p + q) + (q - 0.5) * std::log1p(-p / (p + q));
    }
    return log_gamma(p) + log_gamma(q) - log_gamma(p + q);
}

double beta_double(double a, double b) noexcept
{
    if (!(a >= 0) || !(b >= 0))
        return NAN;
    double p = std::fmin(a, b), q = std::fmax(a, b);
    if (p > 0 && p + q < 170) {
        // Gamma products, exact at small whole numbers (beta(2, 3) = 1/12),
        // and free of the amplified error of exp(betaln).
        double r = gamma_double(p) / gamma_double(p + q) * gamma_double(q);
        if (std::isfinite(r))
            return r;
    }
    return std::exp(betaln_double(a, b));
}

double erfcx_double(double x) noexcept
{
    if (x != x)
        return x;
    if (x < 10) {
        if (x < -26.7)  // exp(x^2) overflows
            return INFINITY;
        // exp(x^2) with x^2 split into an exact head and a small tail, since a
        // rounded x^2 near 700 would cost 700 ulp in the exponential.
        double ax = std::fabs(x);
        double head = std::floor(ax * 0x1p20) * 0x1p-20;  // 25 bits: head^2 is exact
        double tail = ax - head;
        double e = std::exp(head * head) * std::exp(tail * (ax + head));
        return e * std::erfc(x);
    }
    // Asymptotic series 1/(x sqrt(pi)) (1 - 1/(2x^2) + 1·3/(2x^2)^2 - ...): at
    // x >= 10 its terms fall below eps long before they start to grow.
    double t = 1 / (2 * x * x);
    double term = 1, sum = 1;
    for (int k = 1; k < 60; ++k) {
        term *= -(2 * k - 1) * t;
        sum += term;
        if (std::fabs(term) <= eps * 0.25)
            break;
    }
    // 1/(x sqrt(pi)) is subnormal, not 0, for x near the largest double
    const double d = x * sqrt_pi;
    return std::isfinite(d) ? sum / d : sum / sqrt_pi / x;
}

double erfinv_double(double x) noexcept
{
    if (!(x >= -1 && x <= 1))
        return NAN;
    if (x == 1)
        return INFINITY;
    if (x == -1)
        return -INFINITY;
    if (x == 0)
        return x;
    double ax = std::fabs(x);
    // Closed-form start, good to a few parts in 1000: with
    // L = ln(1 - x^2) and c = 2/(pi k) + L/2, y = sqrt(sqrt(c^2 - L/k) - c).
    const double k = 0.147;
    double L = std::log((1 - ax) * (1 + ax));
    double c = 2 / (const_pi * k) + L / 2;
    double y = std::sqrt(std::sqrt(c * c - L / k) - c);
    // Halley steps on erf(y) = ax, or on erfc(y) = 1 - ax where ax is near 1
    // (1 - ax is exact there), so the residual keeps full relative precision.
    // Both f'' = -2y f', hence y -= u/(1 + y u) with u = f/f'.
    bool upper = ax > 0.5;
    double z = 1 - ax;
    for (int it = 0; it < 8; ++it) {
        double slope = two_over_sqrt_pi * std::exp(-y * y);
        double u = upper ? (z - std::erfc(y)) / slope : (std::erf(y) - ax) / slope;
        double step = u / (1 + y * u);
        y -= step;
        if (!(std::fabs(step) > 2 * eps * y))
            break;
    }
    return x < 0 ? -y : y;
}

double expint_real(double x) noexcept
{
    if (x != x)
        return x;
    if (x == 0)
        return INFINITY;
    if (x == INFINITY)
        return 0.0;
    if (x == -INFINITY)
        return -INFINITY;
    if (x > 0 && x <= 1) {
        // E1(x) = -gamma - ln x - sum (-x)^k/(k k!)
        double term = 1, sum = 0;
        for (int k = 1; k < 100; ++k) {
            term *= -x / k;
            double add = term / k;
            sum += add;
            if (std::fabs(add) <= eps * 0.25 * std::fabs(sum))
                break;
        }
        return -euler_gamma - std::log(x) - sum;
    }
    if (x > 1) {
        // E1(x) = e^-x / (x + 1 - 1/(x + 3 - 4/(x + 5 - 9/(x + 7 - ...)))), by
        // the modified Lentz method.
        const double tiny = DBL_MIN / eps;
        double b = x + 1, c = 1 / tiny, d = 1 / b, h = d;
        for (int k = 1; k < 10000; ++k) {
            double an = -static_cast<double>(k) * k;
            b += 2;
            d = 1 / (an * d + b);
            c = b + an / c;
            if (std::fabs(c) < tiny)
                c = tiny;
            double delta = c * d;
            h *= delta;
            if (!(std::fabs(delta - 1) > eps))
                break;
        }
        return h * std::exp(-x);
    }
    // x < 0: -Ei(t) with t = -x.
    double t = -x;
    if (t <= 50) {
        // Ei(t) = gamma + ln t + sum t^k/(k k!), every term positive.
        double term = 1, sum = 0;
        for (int k = 1; k < 500; ++k) {
            term *= t / k;
            double add = term / k;
            sum += add;
            if (add <= eps * 0.25 * sum)
                break;
        }
        return -(euler_gamma + std::log(t) + sum);
    }
    // Ei(t) = e^t/t (1 + 1/t + 2!/t^2 + ...), asymptotic; at t > 50 the terms
    // reach eps long before they start to grow.
    double term = 1, sum = 1;
    for (int k = 1; k < 60; ++k) {
        term *= k / t;
        sum += term;
        if (term <= eps * 0.25 * sum)
            break;
    }
    if (t > 700) {
        // e^t would overflow before the division by t brings it back
        double e = std::exp(t - 700) * (sum / t);
        return -(e * std::exp(700.0));
    }
    return -(std::exp(t) / t * sum);
}
