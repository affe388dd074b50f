// The operation engine and the operators and elementary functions built on
// it. Every element-wise operation and every reduction along a dimension is
// carried out by one engine constructor of Mm, named by its operation code.
#pragma once

#include "value.h"

// Operation codes: 0 to 12 reductions along a dimension, 13 to 98
// element-wise operations in the alphabetical order of their names. The
// names double as the method names under which a user class overloads them.
enum op_t : int {
    op_diff = 0, op_del2, op_gradient, op_all, op_any, op_cumprod, op_cumsum, op_max_1, op_median,
    op_min_1, op_prod, op_sum, op_unwrap,
    op_abs = 13, op_acos, op_acosh, op_acot, op_acoth, op_acsc, op_acsch, op_and, op_angle, op_asec,
    op_asech, op_asin, op_asinh, op_atan, op_atan2, op_atanh, op_beta, op_betaln, op_bitand, op_bitcmp,
    op_bitget, op_bitor, op_bitreset, op_bitset, op_bitshift, op_bitxor, op_ceil, op_conj, op_cos,
    op_cosh, op_cot, op_coth, op_csc, op_csch, op_eq, op_erfc, op_erfcx, op_erfinv, op_erf, op_exp,
    op_expint, op_fix, op_floor, op_gamma, op_gammainc, op_gammaln, op_ge, op_gt, op_imag, op_isfinite,
    op_isinf, op_isnan, op_ldivide, op_le, op_log, op_log10, op_log2, op_lt, op_max_2, op_minus,
    op_min_2, op_mod, op_mtimes, op_ne, op_not, op_or, op_plus, op_pow2_1, op_pow2_2, op_power,
    op_rdivide, op_rem, op_round, op_sec, op_sech, op_sign, op_sin, op_sinc, op_sinh, op_sqrt, op_tan,
    op_tanh, op_times, op_uminus, op_uplus, op_xor,
};

// The name of a code; "???" outside 0 to 98.
const char* op_name(op_t op);

// All arithmetic is IEEE double arithmetic.
int isieee();

// ---- relational, logical and bit operators ----
Mm operator<(const Mm& a, const Mm& b);
Mm operator>(const Mm& a, const Mm& b);
Mm operator<=(const Mm& a, const Mm& b);
Mm operator>=(const Mm& a, const Mm& b);
Mm operator==(const Mm& a, const Mm& b);
Mm operator!=(const Mm& a, const Mm& b);
Mm operator||(const Mm& a, const Mm& b);
Mm operator&&(const Mm& a, const Mm& b);
Mm operator!(const Mm& a);
Mm lt(const Mm& a, const Mm& b);
Mm gt(const Mm& a, const Mm& b);
Mm le(const Mm& a, const Mm& b);
Mm ge(const Mm& a, const Mm& b);
Mm eq(const Mm& a, const Mm& b);
Mm ne(const Mm& a, const Mm& b);
Mm mor(const Mm& a, const Mm& b);
Mm mand(const Mm& a, const Mm& b);
Mm mxor(const Mm& a, const Mm& b);
Mm mnot(const Mm& a);
Mm mbitand(const Mm& a, const Mm& b);
Mm mbitor(const Mm& a, const Mm& b);
Mm bitxor(const Mm& a, const Mm& b);
Mm bitcmp(const Mm& a, const Mm& b);
Mm bitget(const Mm& a, const Mm& b);
Mm bitset(const Mm& a, const Mm& b);
Mm bitreset(const Mm& a, const Mm& b);
Mm bitshift(const Mm& a, const Mm& b);
// Bit bit of each element set where v is true, reset where it is false.
Mm bitset(const Mm& a, const Mm& bit, const Mm& v);

// ---- arithmetic ----
Mm operator+(const Mm& a, const Mm& b);
Mm operator-(const Mm& a, const Mm& b);
Mm operator+(const Mm& a);
Mm operator-(const Mm& a);
Mm plus(const Mm& a, const Mm& b);
Mm dot_add(const Mm& a, const Mm& b);
Mm minus(const Mm& a, const Mm& b);
Mm dot_sub(const Mm& a, const Mm& b);
Mm times(const Mm& a, const Mm& b);
Mm dot_mul(const Mm& a, const Mm& b);
Mm rdivide(const Mm& a, const Mm& b);
Mm dot_div(const Mm& a, const Mm& b);
Mm ldivide(const Mm& a, const Mm& b);
Mm dot_invdiv(const Mm& a, const Mm& b);
Mm power(const Mm& a, const Mm& b);
Mm dot_pow(const Mm& a, const Mm& b);
Mm realpow(const Mm& a, const Mm& b);
Mm uminus(const Mm& a);
Mm uplus(const Mm& a);
Mm max(const Mm& a, const Mm& b);
Mm min(const Mm& a, const Mm& b);
Mm atan2(const Mm& a, const Mm& b);
Mm beta(const Mm& a, const Mm& b);
Mm betaln(const Mm& a, const Mm& b);
Mm gammainc(const Mm& x, const Mm& a);
Mm rem(const Mm& a, const Mm& b);
Mm mod(const Mm& a, const Mm& b);
Mm pow2(const Mm& f, const Mm& e);

// One-operand forms that only reject the call.
Mm lt(const Mm& a);
Mm gt(const Mm& a);
Mm le(const Mm& a);
Mm ge(const Mm& a);
Mm eq(const Mm& a);
Mm ne(const Mm& a);
Mm mbitor(const Mm& a);
Mm bitcmp(const Mm& a);
Mm bitget(const Mm& a);
Mm bitset(const Mm& a);
Mm bitreset(const Mm& a);
Mm bitshift(const Mm& a);
Mm mbitand(const Mm& a);
Mm bitxor(const Mm& a);
Mm mor(const Mm& a);
Mm mand(const Mm& a);
Mm plus(const Mm& a);
Mm minus(const Mm& a);
Mm times(const Mm& a);
Mm rdivide(const Mm& a);
Mm ldivide(const Mm& a);
Mm power(const Mm& a);
Mm atan2(const Mm& a);
Mm beta(const Mm& a);
Mm betaln(const Mm& a);
Mm rem(const Mm& a);
Mm mod(const Mm& a);
Mm realpow(const Mm& a);
Mm mxor(const Mm& a);

// ---- elementary functions ----
Mm abs(const Mm& x);
Mm angle(const Mm& x);
Mm arg(const Mm& x);
Mm ceil(const Mm& x);
Mm conj(const Mm& x);
Mm erf(const Mm& x);
Mm erfc(const Mm& x);
Mm erfcx(const Mm& x);
Mm erfinv(const Mm& x);
Mm exp(const Mm& x);
Mm expint(const Mm& x);
Mm fix(const Mm& x);
Mm floor(const Mm& x);
Mm gamma(const Mm& x);
Mm gammainc(const Mm& x);
Mm gammaln(const Mm& x);
Mm imag(const Mm& x);
Mm real(const Mm& x);
Mm isfinite(const Mm& x);
Mm finite(const Mm& x);
Mm isinf(const Mm& x);
Mm isnan(const Mm& x);
Mm qv_isnan(const Mm& x);
Mm log(const Mm& x);
Mm log10(const Mm& x);
Mm log2(const Mm& x);
Mm log2(const Mm& x, i_o_t, Mm& f, Mm& e);
Mm reallog(const Mm& x);
Mm msqrt(const Mm& x);
Mm realsqrt(const Mm& x);
Mm round(const Mm& x);
Mm sign(const Mm& x);
Mm sign(const Mm& x, const Mm& y);
Mm pow2(const Mm& x);
Mm cos(const Mm& x);
Mm sin(const Mm& x);
Mm sinc(const Mm& x);
Mm tan(const Mm& x);
Mm sec(const Mm& x);
Mm csc(const Mm& x);
Mm cot(const Mm& x);
Mm atan(const Mm& x);
Mm acot(const Mm& x);
Mm cosh(const Mm& x);
Mm sinh(const Mm& x);
Mm tanh(const Mm& x);
Mm sech(const Mm& x);
Mm csch(const Mm& x);
Mm coth(const Mm& x);
Mm asinh(const Mm& x);
Mm acsch(const Mm& x);
Mm acos(const Mm& x);
Mm asin(const Mm& x);
Mm atanh(const Mm& x);
Mm asech(const Mm& x);
Mm asec(const Mm& x);
Mm acsc(const Mm& x);
Mm acoth(const Mm& x);
Mm acosh(const Mm& x);

// ---- reductions along a dimension (0: the first non-singleton one) ----
Mm all(const Mm& x);
Mm all(const Mm& x, const Mm& dim);
Mm any(const Mm& x);
Mm any(const Mm& x, const Mm& dim);
Mm cumprod(const Mm& x);
Mm cumprod(const Mm& x, const Mm& dim);
Mm cumsum(const Mm& x);
Mm cumsum(const Mm& x, const Mm& dim);
Mm max(const Mm& x);
Mm max(const Mm& x, const Mm& y, const Mm& dim);
Mm max(const Mm& x, i_o_t, Mm& m, Mm& k);
Mm max(const Mm& x, const Mm& y, const Mm& dim, i_o_t, Mm& m, Mm& k);
Mm max(const Mm& x, const Mm& y, i_o_t, Mm& m, Mm& k);
Mm min(const Mm& x);
Mm min(const Mm& x, const Mm& y, const Mm& dim);
Mm min(const Mm& x, i_o_t, Mm& m, Mm& k);
Mm min(const Mm& x, const Mm& y, const Mm& dim, i_o_t, Mm& m, Mm& k);
Mm min(const Mm& x, const Mm& y, i_o_t, Mm& m, Mm& k);
Mm prod(const Mm& x);
Mm prod(const Mm& x, const Mm& dim);
Mm sum(const Mm& x);
Mm sum(const Mm& x, const Mm& dim);
Mm sumabs(const Mm& x);
Mm sumabs(const Mm& x, const Mm& dim);
Mm unwrap(const Mm& x);
Mm unwrap(const Mm& x, const Mm& tol);
Mm unwrap(const Mm& x, const Mm& tol, const Mm& dim);

// ---- length and size ----
int length(const Mm& x);
Mm size(const Mm& x);
Mm size(const Mm& x, const Mm& d);
Mm size(const Mm& x, i_o_t, double& r, double& c);
Mm size(const Mm& x, i_o_t, Mm& r, Mm& c);
Mm size(const Mm& x, i_o_t, double& r, double& c, double& p);
Mm size(const Mm& x, i_o_t, Mm& r, Mm& c, Mm& p);

// The middle of each sorted vector; NaN when it holds a NaN.
Mm median(const Mm& x);
Mm median(const Mm& x, const Mm& dim);

// ---- incomplete beta and elliptic functions ----
// Element-wise over their arguments; an argument with fewer elements than
// the largest supplies its first element to every result. Out-of-domain
// elements give NaN. The one- and two-argument forms of betainc and the
// one-argument forms of ellipj only reject the call.
Mm betainc(const Mm& x);
Mm betainc(const Mm& x, const Mm& a);
// I_x(a, b), shaped like the last of x, a, b with the most elements.
Mm betainc(const Mm& x, const Mm& a, const Mm& b);
// The three-operand beta is betainc with the operands in the order given:
// beta(p, q, r) is betainc(p, q, r), whose first operand is the point.
Mm beta(const Mm& a, const Mm& b, const Mm& c);
Mm ellipj(const Mm& u);
Mm ellipj(const Mm& u, i_o_t, Mm& sn, Mm& cn, Mm& dn);
// sn; the outputs are shaped like u when u has the most elements, else m.
Mm ellipj(const Mm& u, const Mm& m);
Mm ellipj(const Mm& u, const Mm& m, i_o_t, Mm& sn, Mm& cn);
Mm ellipj(const Mm& u, const Mm& m, i_o_t, Mm& sn, Mm& cn, Mm& dn);
// The complete elliptic integrals K(m) (returned) and E(m), shaped like m.
Mm ellipke(const Mm& m);
Mm ellipke(const Mm& m, i_o_t, Mm& k, Mm& e);

// ---- triangular parts, matrix product and right division ----
Mm tril(const Mm& a);
Mm tril(const Mm& a, const Mm& k);
Mm triu(const Mm& a);
Mm triu(const Mm& a, const Mm& k);
Mm operator*(const Mm& a, const Mm& b);
Mm mtimes(const Mm& a, const Mm& b);
Mm mtimes(const Mm& a);
// How an operand of a fused product is read: as it stands, transposed (.')
// or conjugate-transposed (').
enum class product_form : char { as_is, transposed, conjugated };
// A' * B, A * B.', A' * B' and the like without building the transposes:
// the same value as transposing first, the transposition done by the BLAS.
Mm mtimes(const Mm& a, product_form fa, const Mm& b, product_form fb);
// A / B is (B' \ A')'.
Mm operator/(const Mm& a, const Mm& b);

// A plain double on either side of an operator stands for a 1x1 value.
Mm operator!=(const Mm& a, double b);
Mm operator!=(double a, const Mm& b);
Mm operator*(const Mm& a, double b);
Mm operator*(double a, const Mm& b);
Mm operator/(const Mm& a, double b);
Mm operator/(double a, const Mm& b);
Mm operator+(const Mm& a, double b);
Mm operator+(double a, const Mm& b);
Mm operator-(const Mm& a, double b);
Mm operator-(double a, const Mm& b);
Mm operator<(const Mm& a, double b);
Mm operator<(double a, const Mm& b);
Mm operator<=(const Mm& a, double b);
Mm operator<=(double a, const Mm& b);
Mm operator==(const Mm& a, double b);
Mm operator==(double a, const Mm& b);
Mm operator>(const Mm& a, double b);
Mm operator>(double a, const Mm& b);
Mm operator>=(const Mm& a, double b);
Mm operator>=(double a, const Mm& b);

// A temporary operand nobody else holds takes the result in place when it
// is real, full and of the result's size: a + b + c makes one temporary,
// not two. The result is the same as the const forms give.
Mm operator+(Mm&& a, const Mm& b);
Mm operator+(const Mm& a, Mm&& b);
Mm operator+(Mm&& a, Mm&& b);
Mm operator+(Mm&& a, double b);
Mm operator+(double a, Mm&& b);
Mm operator-(Mm&& a, const Mm& b);
Mm operator-(const Mm& a, Mm&& b);
Mm operator-(Mm&& a, Mm&& b);
Mm operator-(Mm&& a, double b);
Mm operator-(double a, Mm&& b);
Mm operator*(Mm&& a, const Mm& b);
Mm operator*(const Mm& a, Mm&& b);
Mm operator*(Mm&& a, Mm&& b);
Mm operator*(Mm&& a, double b);
Mm operator*(double a, Mm&& b);
Mm operator/(Mm&& a, const Mm& b);
Mm operator/(const Mm& a, Mm&& b);
Mm operator/(Mm&& a, Mm&& b);
Mm operator/(Mm&& a, double b);
Mm operator/(double a, Mm&& b);
Mm operator<(Mm&& a, const Mm& b);
Mm operator<(const Mm& a, Mm&& b);
Mm operator<(Mm&& a, Mm&& b);
Mm operator<(Mm&& a, double b);
Mm operator<(double a, Mm&& b);
Mm operator>(Mm&& a, const Mm& b);
Mm operator>(const Mm& a, Mm&& b);
Mm operator>(Mm&& a, Mm&& b);
Mm operator>(Mm&& a, double b);
Mm operator>(double a, Mm&& b);
Mm operator<=(Mm&& a, const Mm& b);
Mm operator<=(const Mm& a, Mm&& b);
Mm operator<=(Mm&& a, Mm&& b);
Mm operator<=(Mm&& a, double b);
Mm operator<=(double a, Mm&& b);
Mm operator>=(Mm&& a, const Mm& b);
Mm operator>=(const Mm& a, Mm&& b);
Mm operator>=(Mm&& a, Mm&& b);
Mm operator>=(Mm&& a, double b);
Mm operator>=(double a, Mm&& b);
Mm operator==(Mm&& a, const Mm& b);
Mm operator==(const Mm& a, Mm&& b);
Mm operator==(Mm&& a, Mm&& b);
Mm operator==(Mm&& a, double b);
Mm operator==(double a, Mm&& b);
Mm operator!=(Mm&& a, const Mm& b);
Mm operator!=(const Mm& a, Mm&& b);
Mm operator!=(Mm&& a, Mm&& b);
Mm operator!=(Mm&& a, double b);
Mm operator!=(double a, Mm&& b);

// ---- differences, gradients and Laplacian ----
// diff along the first non-singleton dimension, n times (n <= 0: x itself)
// along dim (0: the first non-singleton one); each pass shortens it by one.
Mm diff(const Mm& x);
Mm diff(const Mm& x, const Mm& n);
Mm diff(const Mm& x, const Mm& n, const Mm& dim);
// A spacing is a step h (coordinates h, 2h, ...) or the coordinates along
// that dimension. x runs along dimension 2 (the columns), y along 1, z
// along 3. The one-output forms give the x derivative only.
Mm gradient(const Mm& f);
Mm gradient(const Mm& f, const Mm& h);
Mm gradient(const Mm& f, const Mm& hx, const Mm& hy);
Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, const Mm& hz);
Mm gradient(const Mm& f, i_o_t, Mm& fx, Mm& fy);
Mm gradient(const Mm& f, const Mm& h, i_o_t, Mm& fx, Mm& fy);
Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, i_o_t, Mm& fx, Mm& fy);
Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, const Mm& hz, i_o_t, Mm& fx, Mm& fy);
Mm gradient(const Mm& f, i_o_t, Mm& fx, Mm& fy, Mm& fz);
Mm gradient(const Mm& f, const Mm& h, i_o_t, Mm& fx, Mm& fy, Mm& fz);
// The z spacing is hx.
Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, i_o_t, Mm& fx, Mm& fy, Mm& fz);
Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, const Mm& hz, i_o_t, Mm& fx, Mm& fy, Mm& fz);
// The sum of the second derivatives over the dimensions divided by twice
// their number; ends extrapolated linearly. A vector takes hx along its
// length; a fourth dimension takes hz.
Mm del2(const Mm& u);
Mm del2(const Mm& u, const Mm& h);
Mm del2(const Mm& u, const Mm& hx, const Mm& hy);
Mm del2(const Mm& u, const Mm& hx, const Mm& hy, const Mm& hz);

// ---- vector products and coordinate transforms ----
// sum(conj(a) .* b, dim); two vectors are paired as columns whatever their
// orientation. dim 0: the first non-singleton dimension.
Mm dot(const Mm& a);
Mm dot(const Mm& a, const Mm& b);
Mm dot(const Mm& a, const Mm& b, const Mm& dim);
// The cross product along dim, where both have extent 3; row vectors give
// a row. Without dim: dimension 1 for two vectors or two values with three
// rows, else 2 for two with three columns.
Mm cross(const Mm& a);
Mm cross(const Mm& a, const Mm& b);
Mm cross(const Mm& a, const Mm& b, const Mm& dim);
// Outputs may be the variables passed as inputs.
Mm cart2pol(const Mm& x, const Mm& y, i_o_t, Mm& th, Mm& r);
Mm cart2pol(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& th, Mm& r, Mm& zz);
Mm pol2cart(const Mm& th, const Mm& r, i_o_t, Mm& x, Mm& y);
Mm pol2cart(const Mm& th, const Mm& r, const Mm& z, i_o_t, Mm& x, Mm& y, Mm& zz);
Mm cart2sph(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& th, Mm& phi, Mm& r);
Mm sph2cart(const Mm& th, const Mm& phi, const Mm& r, i_o_t, Mm& x, Mm& y, Mm& z);

// ---- number theory ----
// Every permutation of v's elements, one per row, the last in
// lexicographic order of positions first.
Mm perms(const Mm& v);
// n over k for a one-element v, else every k-element combination of v's
// elements, one per row, in lexicographic order of positions.
Mm nchoosek(const Mm& v);
Mm nchoosek(const Mm& v, const Mm& k);
// The prime factors of a scalar ascending; n <= 3 and non-finite n are
// returned as they are.
Mm factor(const Mm& n);
// The primes up to round(n), as a row.
Mm primes(const Mm& n);
// 1 where an element is a prime, else 0, in x's shape; empty x gives 0.
Mm isprime(const Mm& x);
// Element-wise over two values of one element count (no scalar
// expansion), shaped like a; g = a .* c + b .* d. Non-finite operands give
// NaN.
Mm gcd(const Mm& a);
Mm gcd(const Mm& a, const Mm& b);
Mm gcd(const Mm& a, const Mm& b, i_o_t, Mm& g, Mm& c, Mm& d);
// a .* b ./ gcd(a, b), with the sign of a .* b.
Mm lcm(const Mm& a);
Mm lcm(const Mm& a, const Mm& b);
// Continued-fraction approximations n ./ d within tol of x (default 1e-6
// times the 1-norm of x's finite elements), d >= 0; the one-output forms
// return n.
Mm rat(const Mm& x);
Mm rat(const Mm& x, const Mm& tol);
Mm rat(const Mm& x, i_o_t, Mm& n, Mm& d);
Mm rat(const Mm& x, const Mm& tol, i_o_t, Mm& n, Mm& d);
