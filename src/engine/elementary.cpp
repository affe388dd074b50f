// The elementary functions: fronts over the operation engine that pick the
// operation code and decide, before any element is computed, whether the
// result is complex.
#include "engine/scalar_fast.hpp"
#include "engine/scalar_real.hpp"
#include "value/globals.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/value.h"

#include <cmath>

namespace {

Mm run(op_t op, int complex, const Mm& x) { return Mm(complex, x, zero_M, nop_M, op, 0, l_M); }

// A function of a real scalar whose result stays real skips the engine's
// general walk.
template <class F>
Mm real_fn(op_t op, const Mm& x, F f)
{
    if (plain_scalar(x))
        return scalar_result(f(*x.addr()));
    return run(op, x.isc(), x);
}

// The real data of the stored elements; a uint8 value is never outside a
// domain that starts at or below zero, and its bytes are read as numbers.
template <class Test>
int any_element(const Mm& x, Test test)
{
    if (x.gettype() == qv_uint8) {
        const unsigned char* p = x.getpr((unsigned char*)nullptr);
        for (int k = 0, n = x.getnnz(); k < n; ++k)
            if (test(double(p[k])))
                return 1;
        return 0;
    }
    if (x.gettype() != qv_double)
        return 0;
    const double* p = x.addr();
    for (int k = 0, n = x.getnnz(); k < n; ++k)
        if (test(p[k]))
            return 1;
    return 0;
}

int negative(const Mm& x) { return any_element(x, [](double v) { return v < 0; }); }
int outside_unit(const Mm& x) { return any_element(x, [](double v) { return v < -1 || v > 1; }); }
int outside_01(const Mm& x) { return any_element(x, [](double v) { return v < 0 || v > 1; }); }
int inside_unit(const Mm& x) { return any_element(x, [](double v) { return v > -1 && v < 1; }); }
int below_one(const Mm& x) { return any_element(x, [](double v) { return v < 1; }); }

// A sparse value with fewer stored elements than elements holds zeros.
int implicit_zeros(const Mm& x) { return x.issparse() && x.getnnz() < x.size(); }

Mm logical(Mm r)
{
    r.setlogical(1);
    return r;
}

} // namespace

Mm abs(const Mm& x) { return run(op_abs, 0, x); }
Mm angle(const Mm& x) { return run(op_angle, 0, x); }
Mm arg(const Mm& x) { return angle(x); }
Mm ceil(const Mm& x) { return run(op_ceil, x.isc(), x); }
Mm conj(const Mm& x) { return x.isc() ? run(op_conj, 1, x) : x; }
Mm erf(const Mm& x) { return run(op_erf, 0, x); }
Mm erfc(const Mm& x) { return run(op_erfc, 0, x); }
Mm erfcx(const Mm& x) { return run(op_erfcx, 0, x); }
Mm erfinv(const Mm& x) { return run(op_erfinv, 0, x); }
Mm exp(const Mm& x) { return real_fn(op_exp, x, exp_double); }
Mm fix(const Mm& x) { return run(op_fix, x.isc(), x); }
Mm floor(const Mm& x) { return run(op_floor, x.isc(), x); }
Mm gamma(const Mm& x) { return run(op_gamma, 0, x); }
Mm gammainc(const Mm& x) { return gamma(x); }
Mm gammaln(const Mm& x) { return run(op_gammaln, 0, x); }
Mm imag(const Mm& x) { return run(op_imag, 0, x); }
Mm isfinite(const Mm& x) { return logical(run(op_isfinite, 0, x)); }
Mm finite(const Mm& x) { return isfinite(x); }
Mm isinf(const Mm& x) { return logical(run(op_isinf, 0, x)); }
Mm isnan(const Mm& x) { return logical(run(op_isnan, 0, x)); }
Mm qv_isnan(const Mm& x) { return isnan(x); }
Mm log(const Mm& x) { return run(op_log, x.isc() || negative(x), x); }
Mm log10(const Mm& x) { return run(op_log10, x.isc() || negative(x), x); }
Mm log2(const Mm& x) { return run(op_log2, x.isc() || negative(x), x); }
Mm reallog(const Mm& x) { return run(op_log, 0, x); }
Mm msqrt(const Mm& x) { return run(op_sqrt, x.isc() || negative(x), x); }
Mm realsqrt(const Mm& x) { return run(op_sqrt, 0, x); }
Mm round(const Mm& x) { return run(op_round, x.isc(), x); }
Mm sign(const Mm& x) { return run(op_sign, x.isc(), x); }
Mm sign(const Mm& x, const Mm& y) { return Mm(x.isc(), x, y, nop_M, op_sign, 0, l_M); }
Mm operator-(const Mm& x) { return real_fn(op_uminus, x, [](double v) { return -v; }); }
Mm operator+(const Mm& x) { return x; }
Mm uminus(const Mm& x) { return -x; }
Mm uplus(const Mm& x) { return run(op_uplus, x.isc(), x); }
Mm pow2(const Mm& x) { return run(op_pow2_1, x.isc(), x); }
Mm cos(const Mm& x) { return real_fn(op_cos, x, cos_reduced); }
Mm sin(const Mm& x) { return real_fn(op_sin, x, sin_reduced); }
Mm sinc(const Mm& x) { return run(op_sinc, x.isc(), x); }
Mm tan(const Mm& x) { return run(op_tan, x.isc(), x); }
Mm sec(const Mm& x) { return run(op_sec, x.isc(), x); }
Mm csc(const Mm& x) { return run(op_csc, x.isc(), x); }
Mm cot(const Mm& x) { return run(op_cot, x.isc(), x); }
Mm atan(const Mm& x) { return run(op_atan, x.isc(), x); }
Mm acot(const Mm& x) { return run(op_acot, x.isc(), x); }
Mm cosh(const Mm& x) { return run(op_cosh, x.isc(), x); }
Mm sinh(const Mm& x) { return run(op_sinh, x.isc(), x); }
Mm tanh(const Mm& x) { return run(op_tanh, x.isc(), x); }
Mm sech(const Mm& x) { return run(op_sech, x.isc(), x); }
Mm csch(const Mm& x) { return run(op_csch, x.isc(), x); }
Mm coth(const Mm& x) { return run(op_coth, x.isc(), x); }
Mm asinh(const Mm& x) { return run(op_asinh, x.isc(), x); }
Mm acsch(const Mm& x) { return run(op_acsch, x.isc(), x); }
Mm acos(const Mm& x) { return run(op_acos, x.isc() || outside_unit(x), x); }
Mm asin(const Mm& x) { return run(op_asin, x.isc() || outside_unit(x), x); }
Mm atanh(const Mm& x) { return run(op_atanh, x.isc() || outside_unit(x), x); }
Mm asech(const Mm& x) { return run(op_asech, x.isc() || outside_01(x), x); }
Mm asec(const Mm& x) { return run(op_asec, x.isc() || implicit_zeros(x) || inside_unit(x), x); }
Mm acsc(const Mm& x) { return run(op_acsc, x.isc() || implicit_zeros(x) || inside_unit(x), x); }
Mm acoth(const Mm& x) { return run(op_acoth, x.isc() || implicit_zeros(x) || inside_unit(x), x); }
Mm acosh(const Mm& x) { return run(op_acosh, x.isc() || implicit_zeros(x) || below_one(x), x); }

Mm real(const Mm& x)
{
    if (!x.isc())
        return x;
    Mm r;
    r.deepcopy(0, x.issparse(), x, qv_none);
    return r;
}

// expint of a negative real argument: the principal value minus pi*i.
Mm expint(const Mm& x)
{
    Mm b = run(op_expint, 0, x);
    Mm c = x < 0.0;
    if (istrue(any(Mm(c(c_p)))))
        b(c) = Mm(b(c)) - pi * i;
    return b;
}

namespace {

// Mantissas and exponents of the elements of a full value: t = f * 2^e
// with 0.5 <= |f| < 1, f = t and e = 0 for an infinity or NaN.
void split_exponents(const Mm& v, Mm& fm, Mm& ex)
{
    Mm x = v.gettype() == qv_double ? v : mdouble(v);
    fm = Mm(0, 0, 0, x.getndims(), x.getdims(), qv_double);
    ex = Mm(0, 0, 0, x.getndims(), x.getdims(), qv_double);
    const double* p = x.addr();
    for (int k = 0, n = fm.getnnz(); k < n; ++k) {
        const double t = p[k];
        int exponent = 0;
        fm.addr()[k] = std::isfinite(t) ? std::frexp(t, &exponent) : t;
        ex.addr()[k] = exponent;
    }
}

} // namespace

Mm log2(const Mm& x, i_o_t, Mm& f, Mm& e)
{
    Mm fm, ex;
    if (!x.issparse()) {
        split_exponents(x, fm, ex);
    } else {
        // The non-zeros only; the results are sparse in x's pattern.
        Mm r, c, v;
        find(x, i_o, r, c, v);
        split_exponents(v, fm, ex);
        const Mm m(double(x.rows())), n(double(x.cols()));
        fm = sparse(r, c, fm, m, n);
        ex = sparse(r, c, ex, m, n);
    }
    f = fm;
    e = ex;
    return x_M;
}
