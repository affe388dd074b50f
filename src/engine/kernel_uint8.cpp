// Element work of the operation engine for uint8 values: arithmetic in
// bytes (sums, differences and products wrap, quotients are integer
// quotients); everything else through the double kernels and back to a byte.
#include "engine/kernels.hpp"
#include "engine/loops.hpp"
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "engine/higher_functions.hpp"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cmath>
#include <cstdint>
#include <cstring>

using loops::functor;

namespace {

using byte = unsigned char;
using loops::expansion;
using std::size_t;

struct bytes {
    const byte* re;
    const byte* im;  // null for a real operand
};

inline bytes bytes_of(const Mm& x) { return {x.getpr((byte*)nullptr), x.getpi((byte*)nullptr)}; }

inline byte to_byte(double v) { return double_to_byte(v); }

inline void zero(byte* p, size_t n)
{
    if (p && n)
        std::memset(p, 0, n);
}

struct result {
    byte* re;
    byte* im;
    size_t n;
};

inline result result_of(Mm& r) { return {r.getpr((byte*)nullptr), r.getpi((byte*)nullptr), size_t(r.getnnz())}; }

// Two operands in bytes with a complex form.
template <class Real, class Complex>
void arithmetic(const result& o, const Mm& a, const Mm& b, Real rr, Complex cc)
{
    const expansion e = loops::expansion_of(a.size(), b.size());
    const bytes x = bytes_of(a), y = bytes_of(b);
    if (!o.im) {
        loops::map2(o.re, x.re, y.re, o.n, e, rr);
        return;
    }
    const byte none = 0;
    const byte* xi = x.im ? x.im : &none;
    const byte* yi = y.im ? y.im : &none;
    const bool xs = x.im != nullptr, ys = y.im != nullptr;
    loops::walk2(o.n, e, [&](size_t k, size_t i, size_t j) {
        cc(x.re[i], xi[xs ? i : 0], y.re[j], yi[ys ? j : 0], o.re[k], o.im[k]);
    });
}

// A real byte result of two operands, imaginary parts passed along.
template <class F>
void compare(const result& o, const Mm& a, const Mm& b, F f)
{
    const expansion e = loops::expansion_of(a.size(), b.size());
    const bytes x = bytes_of(a), y = bytes_of(b);
    const byte none = 0;
    const byte* xi = x.im ? x.im : &none;
    const byte* yi = y.im ? y.im : &none;
    const bool xs = x.im != nullptr, ys = y.im != nullptr;
    loops::walk2(o.n, e, [&](size_t k, size_t i, size_t j) {
        o.re[k] = f(x.re[i], xi[xs ? i : 0], y.re[j], yi[ys ? j : 0]);
    });
    zero(o.im, o.n);
}

// A function of the real bytes, computed in doubles.
template <class F>
void through_doubles2(const result& o, const Mm& a, const Mm& b, F f)
{
    loops::map2(o.re, bytes_of(a).re, bytes_of(b).re, o.n, loops::expansion_of(a.size(), b.size()),
                [f](byte x, byte y) { return to_byte(f(double(x), double(y))); });
    zero(o.im, o.n);
}

template <class F>
void through_doubles1(const result& o, const Mm& a, F f)
{
    loops::map1(o.re, bytes_of(a).re, o.n, [f](byte x) { return to_byte(f(double(x))); });
    zero(o.im, o.n);
}

// Functions without a byte form for complex results give 0 + 0i.
template <class F>
void real_or_zero1(const result& o, const Mm& a, F f)
{
    if (o.im) {
        zero(o.re, o.n);
        zero(o.im, o.n);
        return;
    }
    through_doubles1(o, a, f);
}

// Each part through a function of doubles.
template <class F>
void each_part(const result& o, const Mm& a, F f)
{
    const bytes x = bytes_of(a);
    loops::map1(o.re, x.re, o.n, [f](byte v) { return to_byte(f(double(v))); });
    if (o.im) {
        if (x.im)
            loops::map1(o.im, x.im, o.n, [f](byte v) { return to_byte(f(double(v))); });
        else
            zero(o.im, o.n);
    }
}

// A complex function of (re, im) in doubles, each part back to a byte.
template <class R, class C>
void complex_form(const result& o, const Mm& a, R real_f, C complex_f)
{
    const bytes x = bytes_of(a);
    if (!x.im) {
        loops::map1(o.re, x.re, o.n, [real_f](byte v) { return to_byte(real_f(double(v))); });
        zero(o.im, o.n);
        return;
    }
    for (size_t k = 0; k < o.n; ++k) {
        double re, im;
        complex_f(double(x.re[k]), double(x.im[k]), re, im);
        o.re[k] = to_byte(re);
        if (o.im)
            o.im[k] = to_byte(im);
    }
}

// ---- reductions ----

struct vectors {
    bytes x;
    result o;
    size_t n, inner, outer;
    // Element k of vector p of block blk, and its slot in a result whose
    // extent along the dimension is m.
    size_t at(size_t blk, size_t k, size_t p) const { return blk * n * inner + k * inner + p; }
    size_t out(size_t blk, size_t m, size_t k, size_t p) const { return blk * m * inner + k * inner + p; }
};

inline byte im_of(const bytes& x, size_t i) { return x.im ? x.im[i] : 0; }

void reduce(const vectors& v, const Mm& b, op_t op, Mm& index_out, Mm& r)
{
    const bytes& x = v.x;
    const result& o = v.o;
    // Positions are written only where they were given room: a refused
    // positions value leaves the extremes alone to find.
    double* const where = index_wanted(index_out) && index_out.size() == r.size() ? index_out.addr() : nullptr;
    for (size_t blk = 0; blk < v.outer; ++blk)
        for (size_t p = 0; p < v.inner; ++p) {
            switch (op) {
            case op_sum:
            case op_prod:
            case op_cumsum:
            case op_cumprod: {
                // Running value (pr, qi), modulo 256; the cumulative forms
                // store it at every element, the others once at the end.
                const bool adding = op == op_sum || op == op_cumsum;
                const bool running = op == op_cumsum || op == op_cumprod;
                int pr = adding ? 0 : 1, qi = 0;
                for (size_t k = 0; k < v.n; ++k) {
                    size_t i = v.at(blk, k, p);
                    int ar = x.re[i], ai = im_of(x, i);
                    if (adding) {
                        pr = (pr + ar) & 255;
                        qi = (qi + ai) & 255;
                    } else {
                        int np = (pr * ar - qi * ai) & 255, nq = (qi * ar + pr * ai) & 255;
                        pr = np;
                        qi = nq;
                    }
                    if (running) {
                        o.re[i] = byte(pr);
                        if (o.im)
                            o.im[i] = byte(qi);
                    }
                }
                if (!running) {
                    o.re[v.out(blk, 1, 0, p)] = byte(pr);
                    if (o.im)
                        o.im[v.out(blk, 1, 0, p)] = byte(qi);
                }
                break;
            }
            case op_all:
            case op_any: {
                bool all = op == op_all, value = all;
                for (size_t k = 0; k < v.n; ++k) {
                    size_t i = v.at(blk, k, p);
                    bool t = x.re[i] != 0 || im_of(x, i) != 0;
                    if (all ? !t : t)
                        value = !all;
                }
                o.re[v.out(blk, 1, 0, p)] = value;
                if (o.im)
                    o.im[v.out(blk, 1, 0, p)] = 0;
                break;
            }
            case op_max_1:
            case op_min_1: {
                bool largest = op == op_max_1;
                auto key = [&](size_t k) {
                    size_t i = v.at(blk, k, p);
                    return x.im ? int(x.re[i]) * x.re[i] + int(x.im[i]) * x.im[i] : int(x.re[i]);
                };
                size_t best = 0;
                int bk = key(0);
                for (size_t k = 1; k < v.n; ++k) {
                    int kk = key(k);
                    if (largest ? kk > bk : kk < bk) {
                        bk = kk;
                        best = k;
                    }
                }
                size_t i = v.at(blk, best, p), to = v.out(blk, 1, 0, p);
                o.re[to] = x.re[i];
                if (o.im)
                    o.im[to] = im_of(x, i);
                if (where)
                    where[to] = double(best + 1);
                break;
            }
            case op_median: {
                size_t to = v.out(blk, 1, 0, p);
                size_t mid = v.n / 2;
                auto part = [&](const byte* arr, size_t k) { return arr ? int(arr[v.at(blk, k, p)]) : 0; };
                if (v.n % 2) {
                    o.re[to] = byte(part(x.re, mid));
                    if (o.im)
                        o.im[to] = byte(part(x.im, mid));
                } else {
                    o.re[to] = byte((part(x.re, mid - 1) + part(x.re, mid)) / 2);
                    if (o.im)
                        o.im[to] = byte((part(x.im, mid - 1) + part(x.im, mid)) / 2);
                }
                break;
            }
            case op_diff:
                for (size_t k = 0; k + 1 < v.n; ++k) {
                    size_t i = v.at(blk, k, p), j = v.at(blk, k + 1, p), to = v.out(blk, v.n - 1, k, p);
                    o.re[to] = byte(x.re[j] - x.re[i]);
                    if (o.im)
                        o.im[to] = byte(im_of(x, j) - im_of(x, i));
                }
                break;
            case op_gradient:
            case op_del2: {
                if (x.im)
                    break;  // complex operands get nothing written
                const byte* c = b.getpr((byte*)nullptr);
                const size_t n = v.n;
                auto xv = [&](size_t k) { return std::int64_t(x.re[v.at(blk, k, p)]); };
                auto cv = [&](size_t k) { return std::int64_t(c[k]); };
                // Signed integer quotients, truncated; a zero divisor gives 0.
                auto quotient = [](std::int64_t num, std::int64_t den) { return den == 0 ? 0 : num / den; };
                auto put = [&](size_t k, std::int64_t val) { o.re[v.at(blk, k, p)] = byte(val & 255); };
                if (op == op_gradient) {
                    for (size_t k = 1; k + 1 < n; ++k)
                        put(k, quotient(xv(k + 1) - xv(k - 1), cv(k + 1) - cv(k - 1)));
                    put(0, n < 2 ? 0 : quotient(xv(1) - xv(0), cv(1) - cv(0)));
                    if (n >= 2)
                        put(n - 1, quotient(xv(n - 1) - xv(n - 2), cv(n - 1) - cv(n - 2)));
                    break;
                }
                if (n < 3) {
                    for (size_t k = 0; k < n; ++k)
                        put(k, 0);
                    break;
                }
                // Half the second derivative as one quotient over a common
                // denominator (half the second difference at unit spacing),
                // kept unwrapped until the ends are extrapolated from it.
                auto half_second = [&](size_t k) {
                    const std::int64_t ahead = cv(k + 1) - cv(k), behind = cv(k) - cv(k - 1);
                    const std::int64_t num = (xv(k + 1) - xv(k)) * behind - (xv(k) - xv(k - 1)) * ahead;
                    return quotient(num, ahead * behind * (ahead + behind));
                };
                std::int64_t first = half_second(1), second = n > 3 ? half_second(2) : first;
                std::int64_t last = half_second(n - 2), before = n > 3 ? half_second(n - 3) : last;
                for (size_t k = 1; k + 1 < n; ++k)
                    put(k, half_second(k));
                put(0, first + quotient((first - second) * (cv(1) - cv(0)), cv(2) - cv(1)));
                put(n - 1, last + quotient((last - before) * (cv(n - 1) - cv(n - 2)), cv(n - 2) - cv(n - 3)));
                break;
            }
            case op_unwrap:
                for (size_t k = 0; k < v.n; ++k) {
                    size_t i = v.at(blk, k, p);
                    o.re[i] = 0;
                    if (o.im)
                        o.im[i] = 0;
                }
                break;
            default:
                break;
            }
        }
    (void)r;
}

} // namespace

void op_core_uint8(Mm& r, int complex, const Mm& a, const Mm& b, op_t op, std::int64_t n, std::int64_t inner,
                   std::int64_t outer, Mm& index_out)
{
    if (op < 0 || op > 98) {
        error("op_core: unknown op");
        return;
    }
    const result o = result_of(r);
    if (op <= op_unwrap) {
        const Mm keep(a);  // index_out may be a's own variable
        if ((op == op_max_1 || op == op_min_1) && index_wanted(index_out)) {
            Mm positions(0, 0, 0, r.getndims(), r.getdims(), qv_double);
            std::memset(positions.addr(), 0, sizeof(double) * positions.getnnz());
            index_out = positions;
        }
        vectors v{bytes_of(keep), o, size_t(n), size_t(inner), size_t(outer)};
        reduce(v, b, op, index_out, r);
        return;
    }
    (void)complex;
    switch (op) {
    case op_plus:
        arithmetic(o, a, b, [](byte x, byte y) { return byte(x + y); },
                   [](int ar, int ai, int br, int bi, byte& re, byte& im) { re = byte(ar + br), im = byte(ai + bi); });
        break;
    case op_minus:
        arithmetic(o, a, b, [](byte x, byte y) { return byte(x - y); },
                   [](int ar, int ai, int br, int bi, byte& re, byte& im) { re = byte(ar - br), im = byte(ai - bi); });
        break;
    case op_times:
    case op_mtimes:
        arithmetic(o, a, b, [](byte x, byte y) { return byte(x * y); },
                   [](int ar, int ai, int br, int bi, byte& re, byte& im) {
                       re = byte(ar * br - ai * bi), im = byte(ai * br + ar * bi);
                   });
        break;
    case op_rdivide:
        // A zero divisor gives 0: an integer division by zero would end the process.
        arithmetic(o, a, b, [](byte x, byte y) { return y ? byte(x / y) : byte(0); },
                   [&](int ar, int ai, int br, int bi, byte& re, byte& im) {
                       bool ok = bi == 0 && !(bytes_of(b).im) && br != 0;
                       re = ok ? byte(ar / br) : 0, im = ok ? byte(ai / br) : 0;
                   });
        break;
    case op_ldivide:
        arithmetic(o, a, b, [](byte x, byte y) { return x ? byte(y / x) : byte(0); },
                   [&](int ar, int ai, int br, int bi, byte& re, byte& im) {
                       bool ok = ai == 0 && !(bytes_of(a).im) && ar != 0;
                       re = ok ? byte(br / ar) : 0, im = ok ? byte(bi / ar) : 0;
                   });
        break;
    case op_lt: compare(o, a, b, [](byte x, byte, byte y, byte) { return byte(x < y); }); break;
    case op_gt: compare(o, a, b, [](byte x, byte, byte y, byte) { return byte(x > y); }); break;
    case op_le: compare(o, a, b, [](byte x, byte, byte y, byte) { return byte(x <= y); }); break;
    case op_ge: compare(o, a, b, [](byte x, byte, byte y, byte) { return byte(x >= y); }); break;
    case op_eq: compare(o, a, b, [](byte x, byte xi, byte y, byte yi) { return byte(x == y && xi == yi); }); break;
    case op_ne: compare(o, a, b, [](byte x, byte xi, byte y, byte yi) { return byte(!(x == y && xi == yi)); }); break;
    case op_and:
        compare(o, a, b, [](byte x, byte xi, byte y, byte yi) { return byte((x || xi) && (y || yi)); });
        break;
    case op_or:
        compare(o, a, b, [](byte x, byte xi, byte y, byte yi) { return byte((x || xi) || (y || yi)); });
        break;
    case op_xor:
        compare(o, a, b, [](byte x, byte xi, byte y, byte yi) { return byte(bool(x || xi) != bool(y || yi)); });
        break;
    case op_max_2:
    case op_min_2:
        if (o.im) {
            // Complex bytes compare moduli as their double forms do; the
            // chosen element's parts are bytes already.
            const bool largest = op == op_max_2;
            arithmetic(o, a, b, [](byte x, byte) { return x; },
                       [largest](int ar, int ai, int br, int bi, byte& re, byte& im) {
                           double r, i;
                           if (largest)
                               complex_max2(ar, ai, br, bi, r, i);
                           else
                               complex_min2(ar, ai, br, bi, r, i);
                           re = byte(r), im = byte(i);
                       });
        } else if (op == op_max_2)
            through_doubles2(o, a, b, [](double x, double y) { return max_ignore_nan(x, y); });
        else
            through_doubles2(o, a, b, [](double x, double y) { return min_ignore_nan(x, y); });
        break;
    case op_power:
        if (o.im || a.isc() || b.isc()) {
            zero(o.re, o.n);
            zero(o.im, o.n);
        } else
            through_doubles2(o, a, b, power_real);
        break;
    case op_atan2: through_doubles2(o, a, b, [](double y, double x) { return std::atan2(y, x); }); break;
    case op_beta: through_doubles2(o, a, b, beta_double); break;
    case op_betaln: through_doubles2(o, a, b, betaln_double); break;
    case op_gammainc: through_doubles2(o, a, b, gammainc_kernel); break;
    case op_rem: through_doubles2(o, a, b, rem_double); break;
    case op_mod: through_doubles2(o, a, b, mod_double); break;
    case op_pow2_2: through_doubles2(o, a, b, pow2_scale); break;
    case op_bitand: through_doubles2(o, a, b, bitand_double); break;
    case op_bitor: through_doubles2(o, a, b, bitor_double); break;
    case op_bitxor: through_doubles2(o, a, b, bitxor_double); break;
    case op_bitcmp: through_doubles2(o, a, b, bitcmp_double); break;
    case op_bitget: through_doubles2(o, a, b, bitget_double); break;
    case op_bitset: through_doubles2(o, a, b, bitset_double); break;
    case op_bitreset: through_doubles2(o, a, b, bitreset_double); break;
    case op_bitshift: through_doubles2(o, a, b, bitshift_double); break;

    case op_uminus: each_part(o, a, [](double x) { return -x; }); break;
    case op_uplus: each_part(o, a, [](double x) { return x; }); break;
    case op_ceil: each_part(o, a, [](double x) { return std::ceil(x); }); break;
    case op_fix: each_part(o, a, functor<fix_double>{}); break;
    case op_floor: each_part(o, a, [](double x) { return std::floor(x); }); break;
    case op_round: each_part(o, a, round_half_away); break;
    case op_conj: {
        const bytes x = bytes_of(a);
        std::memcpy(o.re, x.re, o.n);
        if (o.im) {
            for (size_t k = 0; k < o.n; ++k)
                o.im[k] = x.im ? byte(-x.im[k]) : 0;
        }
        break;
    }
    case op_imag: {
        const bytes x = bytes_of(a);
        for (size_t k = 0; k < o.n; ++k)
            o.re[k] = x.im ? x.im[k] : 0;
        zero(o.im, o.n);
        break;
    }
    case op_not: {
        const bytes x = bytes_of(a);
        for (size_t k = 0; k < o.n; ++k)
            o.re[k] = x.re[k] == 0 && (!x.im || x.im[k] == 0);
        zero(o.im, o.n);
        break;
    }
    case op_abs:
        complex_form(o, a, [](double x) { return x; },
                     [](double x, double y, double& re, double& im) { re = complex_abs_value(x, y), im = 0; });
        zero(o.im, o.n);
        break;
    case op_angle:
        complex_form(o, a, [](double) { return 0.0; },
                     [](double x, double y, double& re, double& im) {
                         re = y != 0 ? std::atan2(y, x) : angle_real(x);
                         im = 0;
                     });
        zero(o.im, o.n);
        break;
    case op_isinf:
    case op_isnan:
        zero(o.re, o.n);
        zero(o.im, o.n);
        break;
    case op_isfinite:
        std::memset(o.re, 1, o.n);
        zero(o.im, o.n);
        break;
    case op_cosh:
        complex_form(o, a, [](double x) { return std::cosh(x); },
                     [](double x, double y, double& re, double& im) {
                         re = std::cosh(x) * std::cos(y), im = std::sinh(x) * std::sin(y);
                     });
        break;
    case op_sinh:
        complex_form(o, a, [](double x) { return std::sinh(x); },
                     [](double x, double y, double& re, double& im) {
                         re = std::sinh(x) * std::cos(y), im = std::cosh(x) * std::sin(y);
                     });
        break;
    case op_exp:
        complex_form(o, a, exp_double, [](double x, double y, double& re, double& im) {
            double m = double(to_byte(exp_double(x)));  // the modulus is a byte first
            re = m * std::cos(y), im = m * std::sin(y);
        });
        break;
    case op_pow2_1: real_or_zero1(o, a, [](double x) { return power_real(2.0, x); }); break;

    case op_acos: real_or_zero1(o, a, [](double x) { return std::acos(x); }); break;
    case op_asin: real_or_zero1(o, a, [](double x) { return std::asin(x); }); break;
    case op_atan: real_or_zero1(o, a, [](double x) { return std::atan(x); }); break;
    case op_asec: real_or_zero1(o, a, functor<asec_double>{}); break;
    case op_acsc: real_or_zero1(o, a, functor<acsc_double>{}); break;
    case op_acot: real_or_zero1(o, a, functor<acot_double>{}); break;
    case op_acosh: real_or_zero1(o, a, functor<acosh_double>{}); break;
    case op_asinh: real_or_zero1(o, a, functor<asinh_double>{}); break;
    case op_atanh: real_or_zero1(o, a, functor<atanh_double>{}); break;
    case op_asech: real_or_zero1(o, a, functor<asech_double>{}); break;
    case op_acsch: real_or_zero1(o, a, functor<acsch_double>{}); break;
    case op_acoth: real_or_zero1(o, a, functor<acoth_double>{}); break;
    case op_cos: real_or_zero1(o, a, cos_reduced); break;
    case op_sin: real_or_zero1(o, a, sin_reduced); break;
    case op_sinc: real_or_zero1(o, a, functor<sinc_double>{}); break;
    case op_tan: real_or_zero1(o, a, tan_reduced); break;
    case op_sec: real_or_zero1(o, a, functor<sec_double>{}); break;
    case op_csc: real_or_zero1(o, a, functor<csc_double>{}); break;
    case op_cot: real_or_zero1(o, a, functor<cot_double>{}); break;
    case op_tanh: real_or_zero1(o, a, [](double x) { return std::tanh(x); }); break;
    case op_sech: real_or_zero1(o, a, functor<sech_double>{}); break;
    case op_csch: real_or_zero1(o, a, functor<csch_double>{}); break;
    case op_coth: real_or_zero1(o, a, functor<coth_double>{}); break;
    case op_sign: real_or_zero1(o, a, functor<sign_double>{}); break;
    case op_sqrt: real_or_zero1(o, a, [](double x) { return std::sqrt(x); }); break;
    case op_log: real_or_zero1(o, a, [](double x) { return std::log(x); }); break;
    case op_log2: real_or_zero1(o, a, log2_via_ln); break;
    case op_log10: real_or_zero1(o, a, log10_via_ln); break;

    case op_gamma: through_doubles1(o, a, gamma_double); break;
    case op_gammaln: through_doubles1(o, a, log_gamma); break;
    case op_erf: through_doubles1(o, a, erf_double); break;
    case op_erfc: through_doubles1(o, a, erfc_double); break;
    case op_erfcx: through_doubles1(o, a, erfcx_double); break;
    case op_erfinv: through_doubles1(o, a, erfinv_double); break;
    case op_expint: through_doubles1(o, a, expint_real); break;
    default: break;
    }
}
