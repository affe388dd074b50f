// Complex scalar kernels: arithmetic, elementary functions and their inverses
// on a complex number held as two doubles (real part, imaginary part), each
// passed by reference. The engine calls them once per element and linear
// algebra and the Bessel code call them on single numbers, so they are
// inline, pure, allocation-free and never report: NaN and Inf follow the
// arithmetic.
//
// Conventions every kernel keeps:
// - All inputs are read before the first output is written, so an output may
//   share storage with an input.
// - A NaN part is never taken for zero: the real-number shortcuts ("the
//   imaginary part is zero") are exact tests, so NaN reaches the result.
// - The language has no signed zeros in the imaginary part: on a branch cut
//   along the real axis, -0 is taken as +0 (log(-1 - 0i) is 0 + pi i, like
//   log(-1 + 0i)).
// - Real arguments on the real axis take the real kernel, so acos(0.5 + 0i)
//   is exactly acos(0.5) with imaginary part 0.
// Off the axes the C library's complex functions do the work: they are
// accurate to a few ulp in each part and handle overflow internally.
#pragma once

#include "engine/scalar_real.hpp"

#include <cfloat>
#include <cmath>
#include <complex>

namespace complex_detail {

using cx = std::complex<double>;

inline constexpr double half_pi = 1.5707963267948966;
inline constexpr double ln_2 = 0.6931471805599453;
inline constexpr double ln_10 = 2.302585092994046;

inline void put(const cx& z, double& out_re, double& out_im) noexcept
{
    out_re = z.real();
    out_im = z.imag();
}

// (ar + i ai) / (dr + i di) for di != 0, by Smith's ratio so that neither the
// squared modulus of the divisor nor the products overflow or underflow. The
// ratio r underflowing to 0 would drop the cross terms; they are then formed
// in the other order. A finite number over an infinite one is 0 (1/sin z
// where sin z has overflowed), not the NaN of Inf/Inf.
inline void smith_div_scaled(double ar, double ai, double dr, double di, double& out_re, double& out_im) noexcept;

inline void smith_div(double ar, double ai, double dr, double di, double& out_re, double& out_im) noexcept
{
    // A divisor near the bottom of the range forms its denominator
    // dr + di r among the subnormal numbers, where it keeps only a few
    // bits: (0.3+0.1i) 2^-520 / ((0.37-0.23i) 2^-1040) lost 11 digits.
    const double big = std::fmax(std::fabs(dr), std::fabs(di));
    if (big < 0x1p-960 && big > 0) {
        smith_div_scaled(ar, ai, dr, di, out_re, out_im);
        return;
    }
    if ((std::isinf(dr) || std::isinf(di)) && dr == dr && di == di && std::isfinite(ar) && std::isfinite(ai)) {
        dr = std::copysign(std::isinf(dr) ? 1.0 : 0.0, dr);
        di = std::copysign(std::isinf(di) ? 1.0 : 0.0, di);
        out_re = 0.0 * (ar * dr + ai * di);
        out_im = 0.0 * (ai * dr - ar * di);
        return;
    }
    if (std::fabs(dr) >= std::fabs(di)) {
        double r = di / dr;
        double den = dr + di * r;
        if (r != 0) {
            out_re = (ar + ai * r) / den;
            out_im = (ai - ar * r) / den;
        } else {
            out_re = (ar + di * (ai / dr)) / den;
            out_im = (ai - di * (ar / dr)) / den;
        }
    } else {
        double r = dr / di;
        double den = di + dr * r;
        if (r != 0) {
            out_re = (ar * r + ai) / den;
            out_im = (ai * r - ar) / den;
        } else {
            out_re = (dr * (ar / di) + ai) / den;
            out_im = (dr * (ai / di) - ar) / den;
        }
    }
}

// a / d for a divisor near the bottom of the range: both brought to
// magnitudes near 1 by powers of two (exactly), divided, and the quotient
// given the difference of the exponents, so it rounds once, into the
// subnormal numbers or to Inf where the true quotient lies there.
inline void smith_div_scaled(double ar, double ai, double dr, double di, double& out_re, double& out_im) noexcept
{
    const int ed = std::ilogb(std::fmax(std::fabs(dr), std::fabs(di)));
    const double top = std::fmax(std::fabs(ar), std::fabs(ai));
    const int ea = top > 0 && std::isfinite(top) ? std::ilogb(top) : 0;
    double qr, qi;
    smith_div(std::ldexp(ar, -ea), std::ldexp(ai, -ea), std::ldexp(dr, -ed), std::ldexp(di, -ed), qr, qi);
    out_re = std::ldexp(qr, ea - ed);
    out_im = std::ldexp(qi, ea - ed);
}

} // namespace complex_detail

// ---- arithmetic ----

// The modulus without overflow or underflow; either part NaN gives NaN, an
// infinite part otherwise gives Inf. Where the sum of squares is a normal
// number far from overflow the plain root is within an ulp, and several times
// cheaper than the scaled form.
inline double complex_abs_value(double re, double im) noexcept
{
    double s = re * re + im * im;
    if (s >= 0x1p-968 && s <= 0x1p1000)
        return std::sqrt(s);
    if (re != re || im != im)
        return NAN;
    return std::hypot(re, im);
}
inline double complex_abs(const double& re, const double& im) noexcept { return complex_abs_value(re, im); }

// A real operand multiplies part by part, so Inf + 0i times 2 + 0i is Inf + 0i.
inline void complex_mul(const double& a_re, const double& a_im, const double& b_re, const double& b_im,
                        double& out_re, double& out_im) noexcept
{
    const double ar = a_re, ai = a_im, br = b_re, bi = b_im;
    if (ai == 0) {
        out_re = ar * br;
        out_im = bi == 0 ? 0.0 : ar * bi;
    } else if (bi == 0) {
        out_re = ar * br;
        out_im = br * ai;
    } else {
        out_re = ar * br - ai * bi;
        out_im = ar * bi + ai * br;
    }
}

// a / d. A real divisor divides part by part (so (1 + 1i)/0 is Inf + Inf i and
// (1 + 0i)/0 is Inf + 0i); otherwise Smith's scaled quotient.
inline void complex_div(const double& a_re, const double& a_im, const double& d_re, const double& d_im,
                        double& out_re, double& out_im) noexcept
{
    const double ar = a_re, ai = a_im, dr = d_re, di = d_im;
    if (di == 0) {
        out_re = ar / dr;
        out_im = ai == 0 ? 0.0 : ai / dr;
        return;
    }
    complex_detail::smith_div(ar, ai, dr, di, out_re, out_im);
}

inline void complex_recip(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = 1.0 / r;
        out_im = 0.0;
        return;
    }
    complex_detail::smith_div(1.0, 0.0, r, i, out_re, out_im);
}

// |a|^2 and |b|^2 for comparing two moduli. Squares are exact enough while
// they are normal numbers; when both overflow or both fall below the normal
// range, all four parts are first scaled by one power of two (exactly), so
// 1e200 and 2e200 still compare as they should. NaN parts are left to the
// plain squares; of two overflowing squares, one of finite parts lies below
// one with an infinite part.
inline void complex_squared_moduli(double ar, double ai, double br, double bi, double& sa, double& sb) noexcept
{
    sa = ar * ar + ai * ai;
    sb = br * br + bi * bi;
    bool both_tiny = sa < DBL_MIN && sb < DBL_MIN;
    bool both_huge = sa > DBL_MAX && sb > DBL_MAX;
    if (!both_tiny && !both_huge)
        return;
    double m = std::fmax(std::fmax(std::fabs(ar), std::fabs(ai)), std::fmax(std::fabs(br), std::fabs(bi)));
    if (m == 0)
        return;
    if (!std::isfinite(m)) {
        const bool a_infinite = std::isinf(ar) || std::isinf(ai), b_infinite = std::isinf(br) || std::isinf(bi);
        if (!a_infinite)
            sa = DBL_MAX;
        if (!b_infinite)
            sb = DBL_MAX;
        return;
    }
    int e;
    std::frexp(m, &e);
    ar = std::ldexp(ar, -e);
    ai = std::ldexp(ai, -e);
    br = std::ldexp(br, -e);
    bi = std::ldexp(bi, -e);
    sa = ar * ar + ai * ai;
    sb = br * br + bi * bi;
}

// The larger modulus: b only when strictly larger (ties and NaN give a).
inline void complex_max2(const double& a_re, const double& a_im, const double& b_re, const double& b_im,
                         double& out_re, double& out_im) noexcept
{
    const double ar = a_re, ai = a_im, br = b_re, bi = b_im;
    double sa, sb;
    complex_squared_moduli(ar, ai, br, bi, sa, sb);
    bool take_b = sb > sa;
    out_re = take_b ? br : ar;
    out_im = take_b ? bi : ai;
}

// The smaller modulus: a when b's is at least a's (ties give a, NaN gives b).
inline void complex_min2(const double& a_re, const double& a_im, const double& b_re, const double& b_im,
                         double& out_re, double& out_im) noexcept
{
    const double ar = a_re, ai = a_im, br = b_re, bi = b_im;
    double sa, sb;
    complex_squared_moduli(ar, ai, br, bi, sa, sb);
    bool take_a = sb >= sa;
    out_re = take_a ? ar : br;
    out_im = take_a ? ai : bi;
}

// z/|z|; a real z gives the real sign (NaN stays NaN). An infinite part counts
// as +-1 against finite ones, so sign(Inf + 1i) is 1; tiny parts are scaled up
// first so the quotient keeps full precision.
inline void complex_sign(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double r = re, i = im;
    if (i == 0) {
        out_re = sign_double(r);
        out_im = 0.0;
        return;
    }
    if (std::isinf(r) || std::isinf(i)) {
        r = std::isinf(r) ? std::copysign(1.0, r) : (r == r ? std::copysign(0.0, r) : r);
        i = std::isinf(i) ? std::copysign(1.0, i) : (i == i ? std::copysign(0.0, i) : i);
    } else if (std::fabs(r) < 0x1p-900 && std::fabs(i) < 0x1p-900) {
        r *= 0x1p600;
        i *= 0x1p600;
    }
    double m = complex_abs_value(r, i);
    out_re = r / m;
    out_im = i / m;
}

// c rotated by the argument of z: (z/|z|)·c; c unchanged when z is 0.
inline void complex_rotate_by_arg(const double& c_re, const double& c_im, const double& z_re, const double& z_im,
                                  double& out_re, double& out_im) noexcept
{
    const double cr = c_re, ci = c_im, zr = z_re, zi = z_im;
    if (zr == 0 && zi == 0) {
        out_re = cr;
        out_im = ci;
        return;
    }
    double sr, si;
    complex_sign(zr, zi, sr, si);
    complex_mul(sr, si, cr, ci, out_re, out_im);
}

// ---- exponential, logarithm, powers and roots ----

inline void complex_exp(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = exp_double(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::exp(complex_detail::cx(r, i)), out_re, out_im);
}

// log 0 is -Inf + 0i; a negative real gives +pi whatever the sign of its zero
// imaginary part.
inline void complex_log(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        if (r == 0) {
            out_re = -INFINITY;
            out_im = 0.0;
        } else if (r > 0) {
            out_re = std::log(r);
            out_im = 0.0;
        } else if (r < 0) {
            out_re = std::log(-r);
            out_im = const_pi;
        } else {
            out_re = out_im = NAN;
        }
        return;
    }
    complex_detail::put(std::log(complex_detail::cx(r, i)), out_re, out_im);
}

// Real part on the real axis by the real kernels, so log2(8 + 0i) is exactly 3.
inline void complex_log2(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0 && r != 0 && r == r) {
        out_re = log2_via_ln(std::fabs(r));
        out_im = r > 0 ? 0.0 : const_pi / complex_detail::ln_2;
        return;
    }
    double lr, li;
    complex_log(r, i, lr, li);
    out_re = lr / complex_detail::ln_2;
    out_im = li / complex_detail::ln_2;
}

inline void complex_log10(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0 && r != 0 && r == r) {
        out_re = log10_via_ln(std::fabs(r));
        out_im = r > 0 ? 0.0 : const_pi / complex_detail::ln_10;
        return;
    }
    double lr, li;
    complex_log(r, i, lr, li);
    out_re = lr / complex_detail::ln_10;
    out_im = li / complex_detail::ln_10;
}

// The principal root; sqrt(-4 - 0i) is 0 + 2i like sqrt(-4 + 0i).
inline void complex_sqrt(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        if (r >= 0) {
            out_re = std::sqrt(r);
            out_im = 0.0;
        } else if (r < 0) {
            out_re = 0.0;
            out_im = std::sqrt(-r);
        } else {
            out_re = out_im = NAN;
        }
        return;
    }
    complex_detail::put(std::sqrt(complex_detail::cx(r, i)), out_re, out_im);
}

// sqrt of a real operand that may be negative.
inline void sqrt_real_to_complex(double x, double& out_re, double& out_im) noexcept
{
    if (x < 0) {
        out_re = 0.0;
        out_im = std::sqrt(-x);
    } else {
        out_re = std::sqrt(x);
        out_im = 0.0;
    }
}

// z^w. A real exponent that is a whole number from 0 to 2^31 - 1 powers by
// squaring (so (1 + 1i)^2 is exactly 2i and z^0 is 1, 0^0 and NaN^0 too); a
// real base with a real exponent stays real where the real power is defined,
// negative bases with whole exponents included; everything else is
// exp(w·log z).
inline void complex_pow(const double& z_re, const double& z_im, const double& w_re, const double& w_im,
                        double& out_re, double& out_im) noexcept
{
    const double zr = z_re, zi = z_im, wr = w_re, wi = w_im;
    if (wi == 0) {
        if (wr >= 0 && wr < 2147483648.0 && wr == std::floor(wr)) {
            auto n = static_cast<unsigned>(wr);
            double rr = 1, ri = 0, gr = zr, gi = zi;
            for (;;) {
                if (n & 1u)
                    complex_mul(rr, ri, gr, gi, rr, ri);
                n >>= 1;
                if (n == 0)
                    break;
                complex_mul(gr, gi, gr, gi, gr, gi);
            }
            out_re = rr;
            out_im = ri;
            return;
        }
        if (zi == 0) {
            bool real_result = !std::isfinite(wr) || zr >= 0 || (zr < 0 && wr == std::floor(wr));
            if (real_result) {
                out_re = power_real(zr, wr);
                out_im = 0.0;
                return;
            }
            if (zr == -HUGE_VAL) {
                // (-Inf)^w = lim (-x)^w = x^w (cos(pi w) + i sin(pi w)):
                // an infinite or zero modulus, and a part exactly 0 where
                // its factor is (0 + Inf i for w = 1/2, not Inf + Inf i)
                const double m = wr > 0 ? HUGE_VAL : 0.0;
                double c, s;
                cos_sin_pi(wr, c, s);
                out_re = c == 0 ? 0.0 : c * m;
                out_im = s == 0 ? 0.0 : s * m;
                return;
            }
            if (zr < 0) {
                // (-x)^w = exp(w·(ln x + i pi))
                double lr = std::log(-zr), tr, ti;
                complex_mul(wr, 0.0, lr, const_pi, tr, ti);
                complex_exp(tr, ti, out_re, out_im);
                return;
            }
            // NaN base: falls through to the general form.
        }
    }
    if (zr != zr) {
        out_re = NAN;
        out_im = 0.0;
        return;
    }
    if (zr == 0 && zi == 0 && wr > 0) {
        out_re = 0.0;
        out_im = 0.0;
        return;
    }
    double lr, li, tr, ti;
    complex_log(zr, zi, lr, li);
    complex_mul(wr, wi, lr, li, tr, ti);
    complex_exp(tr, ti, out_re, out_im);
}

// ---- trigonometric and hyperbolic functions ----
// Real arguments go to the C library's real functions directly (they reduce
// large angles accurately themselves).

inline void complex_cos(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = std::cos(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::cos(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_sin(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = std::sin(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::sin(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_tan(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = std::tan(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::tan(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_cosh(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = std::cosh(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::cosh(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_sinh(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = std::sinh(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::sinh(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_sinh_cosh(const double& re, const double& im, double& sinh_re, double& sinh_im,
                              double& cosh_re, double& cosh_im) noexcept
{
    const double r = re, i = im;
    complex_sinh(r, i, sinh_re, sinh_im);
    complex_cosh(r, i, cosh_re, cosh_im);
}

inline void complex_tanh(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = std::tanh(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::tanh(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_cot(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_tan(re, im, tr, ti);
    complex_recip(tr, ti, out_re, out_im);
}

inline void complex_csc(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_sin(re, im, tr, ti);
    complex_recip(tr, ti, out_re, out_im);
}

inline void complex_sec(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_cos(re, im, tr, ti);
    complex_recip(tr, ti, out_re, out_im);
}

inline void complex_coth(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_tanh(re, im, tr, ti);
    complex_recip(tr, ti, out_re, out_im);
}

inline void complex_csch(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_sinh(re, im, tr, ti);
    complex_recip(tr, ti, out_re, out_im);
}

inline void complex_sech(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_cosh(re, im, tr, ti);
    complex_recip(tr, ti, out_re, out_im);
}

// sin(pi z)/(pi z), 1 at 0.
inline void complex_sinc(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (r == 0 && i == 0) {
        out_re = 1.0;
        out_im = 0.0;
        return;
    }
    double wr = const_pi * r, wi = const_pi * i, sr, si;
    if (std::fabs(wi) > 709.0) {
        // cosh(wi) and sinh(wi) overflow though the quotient may not: sin(w)
        // is e^|wi| / 2 times (sin wr, sign(wi) cos wr) to double precision,
        // so scale that direction by w's and split the exponential so that
        // only a true overflow of the result gives infinity.
        const double size = std::hypot(wr, wi);
        const double scale = 0.5 * (std::exp(709.0) / size) * std::exp(std::fabs(wi) - 709.0);
        const double nr = std::sin(wr), ni = std::copysign(std::cos(wr), wi);
        const double cr = wr / size, ci = wi / size;
        const double dr = nr * cr + ni * ci, di = ni * cr - nr * ci;
        out_re = dr == 0 ? 0.0 : scale * dr;
        out_im = di == 0 ? 0.0 : scale * di;
        return;
    }
    complex_sin(wr, wi, sr, si);
    complex_div(sr, si, wr, wi, out_re, out_im);
}

// ---- inverse functions ----
// Principal values. On a cut the side is chosen as follows (values on the cut
// itself, both zero signs alike): acos, asin, atanh and acosh on the real axis
// take the upper side (acos(2) = 0 + 1.317i, atanh(2) = 0.549 + pi/2 i);
// asinh on the imaginary axis takes the side of the sign of the imaginary part
// (asinh(2i) = 1.317 + pi/2 i, asinh(-2i) = -1.317 - pi/2 i); atan on the
// imaginary axis takes the left side (atan(2i) = -pi/2 + 0.549i).

inline void complex_acos(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        if (r > 1) {
            out_re = 0.0;
            out_im = std::acosh(r);
        } else if (r < -1) {
            out_re = const_pi;
            out_im = -std::acosh(-r);
        } else {  // NaN too
            out_re = std::acos(r);
            out_im = 0.0;
        }
        return;
    }
    complex_detail::put(std::acos(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_asin(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        if (r > 1) {
            out_re = complex_detail::half_pi;
            out_im = -std::acosh(r);
        } else if (r < -1) {
            out_re = -complex_detail::half_pi;
            out_im = std::acosh(-r);
        } else {  // NaN too
            out_re = std::asin(r);
            out_im = 0.0;
        }
        return;
    }
    complex_detail::put(std::asin(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_atan(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = std::atan(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::atan(complex_detail::cx(r == 0 ? -0.0 : r, i)), out_re, out_im);
}

inline void complex_acosh(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (r == 0) {
        out_re = asinh_double(std::fabs(i));
        out_im = i >= 0 ? complex_detail::half_pi : -complex_detail::half_pi;
        return;
    }
    if (i == 0) {
        if (r >= 1) {
            out_re = acosh_double(r);
            out_im = 0.0;
        } else if (r >= -1) {
            out_re = 0.0;
            out_im = std::acos(r);
        } else if (r < -1) {
            out_re = acosh_double(-r);
            out_im = const_pi;
        } else {
            out_re = out_im = NAN;
        }
        return;
    }
    complex_detail::put(std::acosh(complex_detail::cx(r, i)), out_re, out_im);
}

inline void complex_asinh(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0) {
        out_re = asinh_double(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::asinh(complex_detail::cx(r == 0 ? std::copysign(0.0, i) : r, i)), out_re, out_im);
}

inline void complex_atanh(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    const double r = re, i = im;
    if (i == 0 && std::fabs(r) <= 1) {
        out_re = atanh_double(r);
        out_im = 0.0;
        return;
    }
    complex_detail::put(std::atanh(complex_detail::cx(r, i == 0 ? 0.0 : i)), out_re, out_im);
}

inline void complex_acot(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_recip(re, im, tr, ti);
    complex_atan(tr, ti, out_re, out_im);
}

inline void complex_acsc(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_recip(re, im, tr, ti);
    complex_asin(tr, ti, out_re, out_im);
}

inline void complex_asec(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_recip(re, im, tr, ti);
    complex_acos(tr, ti, out_re, out_im);
}

inline void complex_acoth(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_recip(re, im, tr, ti);
    complex_atanh(tr, ti, out_re, out_im);
}

inline void complex_acsch(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    double tr, ti;
    complex_recip(re, im, tr, ti);
    complex_asinh(tr, ti, out_re, out_im);
}

inline void complex_asech(const double& re, const double& im, double& out_re, double& out_im) noexcept
{
    if (re == 0 && im == 0) {
        // +Inf at either signed zero, as the real function gives; 1/-0 would
        // lead to acosh(-Inf) = Inf + pi i
        out_re = HUGE_VAL;
        out_im = 0.0;
        return;
    }
    double tr, ti;
    complex_recip(re, im, tr, ti);
    complex_acosh(tr, ti, out_re, out_im);
}

// ---- for the complex Schur form ----

// The eigenvalues of the 2x2 block [a b; c d]: a and d when the off-diagonal
// entry b is negligible (|b| <= 2 eps: the block is then lower triangular), else (a + d)/2 +- sqrt(((a - d)/2)^2 + b·c)
// with the principal root, the + root first.
inline void rsf2csf_rotation(double a_re, double a_im, double b_re, double b_im, double c_re, double c_im,
                             double d_re, double d_im, double& out1_re, double& out1_im, double& out2_re,
                             double& out2_im) noexcept
{
    if (complex_abs_value(b_re, b_im) <= 2 * machine_eps_value) {
        out1_re = a_re;
        out1_im = a_im;
        out2_re = d_re;
        out2_im = d_im;
        return;
    }
    double fr = (a_re + d_re) / 2, fi = (a_im + d_im) / 2;
    double pr = (a_re - d_re) / 2, pi_ = (a_im - d_im) / 2;
    double ppr, ppi, bcr, bci, sr, si;
    complex_mul(pr, pi_, pr, pi_, ppr, ppi);
    complex_mul(b_re, b_im, c_re, c_im, bcr, bci);
    complex_sqrt(ppr + bcr, ppi + bci, sr, si);
    out1_re = fr + sr;
    out1_im = fi + si;
    out2_re = fr - sr;
    out2_im = fi - si;
}
