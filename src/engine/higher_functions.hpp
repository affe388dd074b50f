// Higher-function kernels (gamma, log-gamma, incomplete gamma, beta, the
// error functions and their inverse, the exponential integral) and the bit
// operations on doubles. Per-element kernels of the engine: pure,
// allocation-free and never reporting; outside a function's domain the result
// is NaN. The cheap ones are inline here, the iterative ones live in
// higher_functions.cpp.
#pragma once

#include "engine/scalar_real.hpp"

#include <cmath>
#include <cstdint>

// ---- gamma family ----

namespace higher_detail {

// (n - 1)! for n = 1..23: every one exact in a double, which the C library's
// gamma does not promise at whole arguments.
inline constexpr double factorials[23] = {
    1.0,
    1.0,
    2.0,
    6.0,
    24.0,
    120.0,
    720.0,
    5040.0,
    40320.0,
    362880.0,
    3628800.0,
    39916800.0,
    479001600.0,
    6227020800.0,
    87178291200.0,
    1307674368000.0,
    20922789888000.0,
    355687428096000.0,
    6402373705728000.0,
    121645100408832000.0,
    2432902008176640000.0,
    51090942171709440000.0,
    1124000727777607680000.0,
};

} // namespace higher_detail

// Gamma(x): +Inf at the negative integers (the poles), +Inf at +0 and -Inf
// at -0, exact at the whole numbers 1..23, overflowing to +Inf from 171.6 on.
inline double gamma_double(double x) noexcept
{
    if (x != x)
        return x;
    if (x == std::trunc(x)) {
        if (x == 0)
            return std::signbit(x) ? -INFINITY : INFINITY;
        if (x < 0)
            return std::isinf(x) ? NAN : INFINITY;
        if (x <= 23)
            return higher_detail::factorials[static_cast<int>(x) - 1];
    }
    return std::tgamma(x);
}

// ln Gamma(x) for x >= 0 (+Inf at 0); negative arguments give NaN. The
// reentrant form keeps the sign out of the process-wide signgam.
inline double log_gamma(double x) noexcept
{
    if (!(x >= 0))
        return NAN;
    int sign;
    return lgamma_r(x, &sign);
}

// Regularized lower incomplete gamma P(a, x), called as gammainc(x, a).
double gammainc_kernel(double x, double a) noexcept;

// ln Gamma(x) - ((x - 0.5) ln x - x + ln sqrt(2 pi)) for x >= 10: Stirling's
// series. The first omitted term is below 3e-17 at x = 10.
double stirling_correction(double x) noexcept;

// ln B(a, b) and B(a, b) for a, b >= 0; a negative argument gives NaN.
double betaln_double(double a, double b) noexcept;
double beta_double(double a, double b) noexcept;

// ---- error functions ----

// erf(-0) is +0: the sign goes with x < 0 only.
inline double erf_double(double x) noexcept { return x == 0 ? 0.0 : std::erf(x); }
inline double erfc_double(double x) noexcept { return std::erfc(x); }

// exp(x^2)·erfc(x), without the overflow and underflow of the two factors.
double erfcx_double(double x) noexcept;

// The inverse of erf on [-1, 1]: +-Inf at +-1, NaN outside.
double erfinv_double(double x) noexcept;

// ---- exponential integral ----

// E1(x) for x > 0; for x < 0 the real part of E1 on the cut, -Ei(-x). The
// imaginary part there, -pi, is the caller's to add.
double expint_real(double x) noexcept;

// ---- bit operations on doubles ----
// Operands are whole numbers below 2^53, handled as two 32-bit words so every
// such number keeps all its bits. A negative or fractional operand keeps the
// low 32 bits of the truncation of each word; a NaN or infinite operand gives
// NaN (it has no bits).

namespace higher_detail {

inline constexpr double two_32 = 4294967296.0;

// The low 32 bits of trunc(v) for finite v, with no out-of-range conversion.
inline std::uint32_t low_word_bits(double v) noexcept
{
    double r = std::fmod(std::trunc(v), two_32);  // exact, in (-2^32, 2^32)
    if (r < 0)
        r += two_32;
    return static_cast<std::uint32_t>(r);
}

} // namespace higher_detail

// kind 1 AND, 2 OR, 3 XOR; any other kind gives 0.
inline double bit_op(double a, double b, int kind) noexcept
{
    using higher_detail::two_32;
    if (!std::isfinite(a) || !std::isfinite(b))
        return NAN;
    double ah = fix_double(a / two_32), bh = fix_double(b / two_32);
    std::uint32_t a_hi = higher_detail::low_word_bits(ah), a_lo = higher_detail::low_word_bits(a - ah * two_32);
    std::uint32_t b_hi = higher_detail::low_word_bits(bh), b_lo = higher_detail::low_word_bits(b - bh * two_32);
    std::uint32_t hi, lo;
    switch (kind) {
    case 1:
        hi = a_hi & b_hi;
        lo = a_lo & b_lo;
        break;
    case 2:
        hi = a_hi | b_hi;
        lo = a_lo | b_lo;
        break;
    case 3:
        hi = a_hi ^ b_hi;
        lo = a_lo ^ b_lo;
        break;
    default:
        return 0;
    }
    return static_cast<double>(hi) * two_32 + static_cast<double>(lo);
}

inline double bitand_double(double a, double b) noexcept { return bit_op(a, b, 1); }
inline double bitor_double(double a, double b) noexcept { return bit_op(a, b, 2); }
inline double bitxor_double(double a, double b) noexcept { return bit_op(a, b, 3); }

// The low n bits of a inverted.
inline double bitcmp_double(double a, double n) noexcept
{
    if (n != n)
        return NAN;
    return bitxor_double(a, pow2_of_int(n) - 1);
}

// Bit n (1 = least significant) of a, as 0 or 1.
inline double bitget_double(double a, double n) noexcept
{
    if (n != n)
        return NAN;
    double r = bitand_double(a, pow2_of_int(n - 1));
    return r != r ? r : (r != 0 ? 1.0 : 0.0);
}

inline double bitset_double(double a, double n) noexcept
{
    if (n != n)
        return NAN;
    return bitor_double(a, pow2_of_int(std::trunc(n) - 1));
}

// a unchanged when bit n is already clear.
inline double bitreset_double(double a, double n) noexcept
{
    if (n != n)
        return NAN;
    double m = pow2_of_int(std::trunc(n) - 1);
    double r = bitand_double(a, m);
    if (r != r)
        return r;
    return r == 0 ? a : bitxor_double(a, m);
}

// a·2^n rounded down: left shifts multiply, right shifts drop the bits shifted
// out; no word-size limit, overflow gives +-Inf.
inline double bitshift_double(double a, double n) noexcept { return std::floor(pow2_scale(a, n)); }
