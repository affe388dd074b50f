// Real scalar kernels: the per-element functions under every element-wise
// operation, the double-to-int converters the whole library uses, and small
// utilities. Pure, allocation-free and never reporting: out of domain gives
// NaN, overflow gives an infinity.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

// Machine constants.
inline constexpr double machine_eps_value = 0x1p-52;
inline constexpr double machine_realmin_value = 0x1p-1022;
inline constexpr double machine_realmax_value = 0x1.fffffffffffffp+1023;
inline constexpr double const_pi = 3.141592653589793;
inline constexpr double const_two_pi = 6.283185307179586;

double* machine_eps(double* out);
int machine_realmin(double* out);
int machine_realmax(double* out);

// ---- double to int: every conversion saturates, NaN never reaches a cast ----

// Clamps to +-2147483647; NaN gives -2147483647. Truncates toward zero.
inline int saturate_to_int(double x) noexcept
{
    if (!(x > -2147483647.0))  // NaN and below
        return -2147483647;
    if (x >= 2147483647.0)
        return 2147483647;
    return static_cast<int>(x);
}

// Halves away from zero (index values); NaN gives 0.
inline int round_to_int(double x) noexcept
{
    if (x != x)
        return 0;
    return saturate_to_int(std::round(x));
}

// Rounded count: non-positive and NaN give 0.
inline int round_to_count(double x) noexcept { return x > 0 ? saturate_to_int(std::round(x)) : 0; }

// Size arguments: below 1 and NaN give 0, else truncated.
inline int count_from_double(double x) noexcept { return x >= 1 ? saturate_to_int(x) : 0; }

// 2 to an integer power, the exponent truncated.
inline double pow2_of_int(double x) noexcept { return std::ldexp(1.0, saturate_to_int(x)); }

// A double stored as a byte: truncated toward zero, low 8 bits kept; NaN and
// infinities give 0.
inline unsigned char double_to_byte(double x) noexcept
{
    if (x > -2147483648.0 && x < 2147483648.0)
        return static_cast<unsigned char>(static_cast<std::int64_t>(x));
    if (!std::isfinite(x))
        return 0;
    double r = std::fmod(std::trunc(x), 256.0);  // exact
    return static_cast<unsigned char>(static_cast<int>(r));
}

// ---- small utilities ----

inline int int_max(int a, int b) noexcept { return a > b ? a : b; }
inline int int_min(int a, int b) noexcept { return a < b ? a : b; }
inline int int_max3(int a, int b, int c) noexcept { return int_max(int_max(a, b), c); }
inline int int_abs(int a) noexcept { return a < 0 ? -a : a; }

inline double double_max3(double a, double b, double c) noexcept
{
    if (a > b)
        return a > c ? a : c;
    return b > c ? b : c;
}

// NaN only when both are NaN; equal values give the second argument.
inline double max_ignore_nan(double x, double y) noexcept
{
    if (x > y)
        return x;
    if (y > x)
        return y;
    if (x != x)
        return y;
    if (y != y)
        return x;
    return y;
}

inline double min_ignore_nan(double x, double y) noexcept
{
    if (x < y)
        return x;
    if (y < x)
        return y;
    if (x != x)
        return y;
    if (y != y)
        return x;
    return y;
}

// |a| with the sign of b: negative when b < 0 or b is NaN; b = -0 gives +|a|.
inline double sign_transfer(double a, double b) noexcept
{
    double m = std::fabs(a);
    return (b < 0 || b != b) ? -m : m;
}
inline double sign_transfer_ptr(const double* a, const double* b) noexcept { return sign_transfer(*a, *b); }

// 1 unless every argument is 0 (NaN counts as non-zero).
inline int any_nonzero2(double a, double b) noexcept { return !(a == 0 && b == 0); }
inline int any_nonzero3(double a, double b, double c) noexcept { return !(a == 0 && b == 0 && c == 0); }
inline int any_nonzero4(double a, double b, double c, double d) noexcept
{
    return !(a == 0 && b == 0 && c == 0 && d == 0);
}

inline double floor_double(double x) noexcept { return std::floor(x); }
inline double ceil_double(double x) noexcept { return std::ceil(x); }

inline bool ieee_finite(double x) noexcept { return std::isfinite(x); }
inline bool ieee_isnan(double x) noexcept { return x != x; }
inline bool either_isnan(double a, double b) noexcept { return a != a || b != b; }
inline bool ieee_isinf(double x) noexcept { return std::isinf(x); }

// ---- kernels of the elementary functions ----

inline double fix_double(double x) noexcept { return x > 0 ? std::floor(x) : std::ceil(x); }

// Halves away from zero, exact for every double.
inline double round_half_away(double x) noexcept { return std::round(x); }

// 1, -1, 0 for +-0; NaN stays NaN.
inline double sign_double(double x) noexcept
{
    if (x > 0)
        return 1;
    if (x < 0)
        return -1;
    return x == 0 ? 0.0 : x;
}

inline double angle_real(double x) noexcept
{
    if (x != x)
        return x;
    return x >= 0 ? 0.0 : const_pi;
}

inline double acosh_double(double x) noexcept { return std::acosh(x); }
inline double asinh_double(double x) noexcept { return std::asinh(x); }
inline double atanh_double(double x) noexcept { return std::atanh(x); }
inline double acot_double(double x) noexcept { return std::atan2(1.0 / x, 1.0); }
inline double acoth_double(double x) noexcept { return atanh_double(1.0 / x); }
inline double acsc_double(double x) noexcept { return std::asin(1.0 / x); }
// Where 1/x passes the largest double, asinh(1/x) = ln 2 - ln|x| to far
// below the rounding (the next term is x^2/4), and finite up to 745.
inline double acsch_double(double x) noexcept
{
    if (x != 0 && std::fabs(x) < 0x1p-500)
        return std::copysign(0.6931471805599453 - std::log(std::fabs(x)), x);
    return asinh_double(1.0 / x);
}
inline double asec_double(double x) noexcept { return std::acos(1.0 / x); }
// asech(-0) is +Inf as asech(+0) is, not acosh(-Inf); where 1/x passes
// the largest double, acosh(1/x) = ln 2 - ln x to far below the rounding.
inline double asech_double(double x) noexcept
{
    if (x == 0)
        return HUGE_VAL;
    if (x > 0 && x < 0x1p-500)
        return 0.6931471805599453 - std::log(x);
    return acosh_double(1.0 / x);
}
inline double cot_double(double x) noexcept { return 1.0 / std::tan(x); }
inline double csc_double(double x) noexcept { return 1.0 / std::sin(x); }
inline double sec_double(double x) noexcept { return 1.0 / std::cos(x); }
inline double coth_double(double x) noexcept { return 1.0 / std::tanh(x); }
inline double csch_double(double x) noexcept { return 1.0 / std::sinh(x); }
inline double sech_double(double x) noexcept { return 1.0 / std::cosh(x); }
inline double exp_double(double x) noexcept { return std::exp(x); }
// Exact at the powers of two and ten.
inline double log2_via_ln(double x) noexcept { return std::log2(x); }
inline double log10_via_ln(double x) noexcept { return std::log10(x); }

// cos(pi x) and sin(pi x) with the argument reduced exactly, so that the
// cosine is exactly 0 at half-integers and the sine exactly 0 at integers,
// where cos(x * pi) leaves a residue near 1e-16 times the size of x.
inline void cos_sin_pi(double x, double& c, double& s) noexcept
{
    double r = std::fmod(x, 2.0);  // exact, |r| < 2
    if (r > 1)
        r -= 2;
    else if (r < -1)
        r += 2;  // exact, r in [-1, 1]
    const double q = std::nearbyint(2 * r);  // quarter turns, -2 .. 2
    const double f = r - q / 2;             // exact, |f| <= 1/4
    const double sf = std::sin(const_pi * f), cf = std::cos(const_pi * f);
    switch (static_cast<int>(q) & 3) {
    case 0: c = cf; s = sf; break;
    case 1: c = -sf; s = cf; break;
    case 2: c = -cf; s = -sf; break;
    default: c = sf; s = -cf; break;
    }
}

inline double power_real(double x, double y) noexcept { return y == 2 ? x * x : std::pow(x, y); }

// sin(pi x)/(pi x) with sin(pi x) from the exactly reduced argument: 0 at
// every whole x (sin of the rounded pi x left about 1e-16 there, and a NaN
// where pi x overflows), and the ordinary quotient below 1/4.
inline double sinc_double(double x) noexcept
{
    if (x == 0)
        return 1;
    double c, s;
    cos_sin_pi(x, c, s);
    const double t = const_pi * x;
    return std::isfinite(t) ? s / t : s / const_pi / x;
}

// Whether the quotient q lies within eps (relative) of the integer n. The
// distance is taken exactly (the two are close), not as |q| +- t, whose
// rounding would miss 0.3/0.1 = 3 - 1 ulp.
inline bool near_integer(double q, double n) noexcept
{
    if (std::isinf(q))  // an overflowing quotient is as integral as any huge one
        return true;
    return std::fabs(std::fabs(n) - std::fabs(q)) < machine_eps_value * std::fabs(q);
}

inline bool whole_numbers(double a, double b) noexcept { return a == std::trunc(a) && b == std::trunc(b); }

// A quotient within eps (relative) of an integer counts as that integer, so
// rem(0.3, 0.1) is 0. Zero or NaN divisors and infinite operands give NaN.
// Whole operands have an exact remainder, which fmod gives: above 2^52 the
// quotient is within eps of an integer whatever the remainder.
inline double rem_double(double a, double b) noexcept
{
    if (b == 0 || b != b || !std::isfinite(a) || !std::isfinite(b))
        return NAN;
    if (whole_numbers(a, b)) {
        const double r = std::fmod(a, b);
        return r == 0 ? 0.0 : r;
    }
    double q = a / b;
    if (near_integer(q, std::nearbyint(q)))
        return 0.0;
    return a - b * fix_double(q);
}

inline double mod_double(double a, double b) noexcept
{
    if (b == 0 || b != b || !std::isfinite(a) || !std::isfinite(b))
        return NAN;
    if (whole_numbers(a, b)) {
        // The exact remainder moved to the sign of b.
        double r = std::fmod(a, b);
        if (r != 0 && (r < 0) != (b < 0))
            r += b;
        return r == 0 ? 0.0 : r;
    }
    double q = a / b;
    double fl = std::floor(q);
    if (near_integer(q, q - fl >= 0.5 ? fl + 1 : fl))
        return 0.0;
    // A quotient that underflowed to -0 floors to 0, not -1: the result
    // then has a's sign, and one b more puts it in [0, b] (or [b, 0]).
    const double r = a - b * fl;
    return r != 0 && (r < 0) != (b < 0) ? r + b : r;
}

// f * 2^e with the overflow edge decided before scaling.
inline double pow2_scale(double f, double e) noexcept
{
    if (e != e)
        return NAN;
    if ((std::fabs(f) >= 1 && e >= 1024) || (std::fabs(f) >= machine_realmax_value && e >= 1))
        return f > 0 ? INFINITY : -INFINITY;
    return std::ldexp(f, saturate_to_int(e));
}

// Large-angle reduction: x mod 2*pi built from a table of 2^(e-1) mod 2*pi.
double reduce_angle_2pi(double x) noexcept;

inline bool angle_needs_reduction(double x) noexcept { return !(x >= -1e9 && x <= 1e9); }
inline double cos_reduced(double x) noexcept
{
    return std::cos(angle_needs_reduction(x) ? reduce_angle_2pi(x) : x);
}
inline double sin_reduced(double x) noexcept
{
    return std::sin(angle_needs_reduction(x) ? reduce_angle_2pi(x) : x);
}
inline double tan_reduced(double x) noexcept
{
    return std::tan(angle_needs_reduction(x) ? reduce_angle_2pi(x) : x);
}

// One step of unwrap along a dimension: p the input element, k the stride to
// the previous one, y the output element, i the position, tol the tolerance.
inline void unwrap_step(const double* p, int k, double* y, int i, double tol) noexcept
{
    if (i == 0) {
        *y = rem_double(*p, const_two_pi);
        return;
    }
    double d = rem_double(*p - *(p - k), const_two_pi);
    if (d > tol)
        d -= const_two_pi;
    if (d < -tol)
        d += const_two_pi;
    *y = *(y - k) + d;
}

// Copies of 64-bit patterns between split and interleaved complex storage.
void tworeal2complex(int n, double* re, double* im, double* out);
void complex2tworeal(int n, double* in, double* re, double* im);
