// Matrix functions built from language operations: expm by scaling and
// squaring with the degree-6 diagonal Padé approximant, logm and sqrtm by
// eigen-decomposition, and the matrix power mpower (the ^ operator).
#include "linalg/front.hpp"
#include "value/element_read.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <new>

namespace {

// Whether a value holds a nonzero imaginary part.
bool has_imaginary_part(const Mm& x)
{
    if (!x.isc())
        return false;
    const Mm d = dense_copy(x);
    const std::size_t count = std::size_t(d.rows()) * std::size_t(d.cols());
    return std::any_of(d.addi(), d.addi() + count, [](double v) { return v != 0; });
}

// R = V·diag(f(diag(D)))/V for the two-output eig of A, with f the
// principal logarithm or square root. A real A without an eigenvalue on
// the negative real axis, f's cut, has a real f(A): its eigenvalues are
// real or come in conjugate pairs (exactly so from the real eigensolver),
// f maps a pair to a conjugate pair, and R's imaginary part is rounding,
// dropped. Otherwise an imaginary part is kept whatever its size (1e-20i
// is the square root of -1e-40); only exact zeros are dropped. A complex A
// with no imaginary part is decomposed as the real matrix it is, so that
// its real eigenvalues are exactly real.
template <class F>
Mm through_eigenvalues(const Mm& A, F f)
{
    const bool real_argument = !has_imaginary_part(A);
    Mm V, D;
    eig(real_argument && A.isc() ? real(A) : A, i_o, V, D);
    const Mm d = dense_copy(diag(D));
    Mm R = (V * diag(f(d))) / V;
    bool on_cut = false;
    for (int k = 0; k < d.rows(); ++k)
        on_cut = on_cut || (d.addr()[k] < 0 && (!d.isc() || d.addi()[k] == 0));
    if (R.isc() && real_argument && !on_cut)
        R = real(R);
    R.getreal(0);
    return R;
}

Mm identity_like(const Mm& A)
{
    return eye(double(A.rows()), double(A.cols()));
}

} // namespace

namespace {

using cx = std::complex<double>;
using idx = std::ptrdiff_t;

cx element(const Mm& x, idx k) { return cx(x.addr()[k], x.isc() ? x.addi()[k] : 0.0); }

void set_element(Mm& x, idx k, cx v)
{
    x.addr()[k] = v.real();
    if (x.isc())
        x.addi()[k] = v.imag();
}

// Which triangle of a dense square a holds all its nonzeros.
struct shape {
    bool upper = true, lower = true;
};

shape triangles(const Mm& a)
{
    shape t;
    const int n = a.rows();
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const idx k = i + idx(j) * n;
            if (i != j && (a.addr()[k] != 0 || (a.isc() && a.addi()[k] != 0))) {
                t.upper = t.upper && i < j;
                t.lower = t.lower && i > j;
            }
        }
    return t;
}

// The degree-6 diagonal Padé approximant of e^a, a's norm below 1/2.
Mm pade6(const Mm& a)
{
    constexpr int q = 6;
    double c = 0.5;
    const Mm I = identity_like(a);
    Mm X = a;
    Mm E = I + c * a;
    Mm D = I - c * a;
    for (int k = 2; k <= q; ++k) {
        c = c * (q - k + 1) / (k * (2 * q - k + 1));
        X = a * X;
        const Mm cX = c * X;
        E = E + cX;
        D = k % 2 == 0 ? D + cX : D - cX;
    }
    return mldivide(D, E);
}

// a / 2^s in two exact halves of the power (2^s itself overflows from
// s = 1024 on).
Mm scaled_down(const Mm& a, int s)
{
    const int half = s / 2;
    return (a / std::ldexp(1.0, half)) / std::ldexp(1.0, s - half);
}

cx ldexp(cx z, int k) { return cx(std::ldexp(z.real(), k), std::ldexp(z.imag(), k)); }

// (e^b - e^a)/(b - a), the (1,2) element of e^[a t;0 b] over t. Close
// arguments take e^((a+b)/2)*sinh(d/2)/(d/2), free of the cancellation
// of the difference; distant ones the difference itself, which then
// neither cancels nor meets sinh of a huge argument.
cx exp_divided_difference(cx a, cx b)
{
    const cx d = b - a;
    if (d == 0.0)
        return std::exp(a);
    if (std::abs(d) > 1)
        return (std::exp(b) - std::exp(a)) / d;
    const cx h = d / 2.0;
    return std::exp((a + b) / 2.0) * (std::sinh(h) / h);
}

// Sets the diagonal and first superdiagonal of x to those of e^(t/2^k)
// for an upper triangular t: both are known exactly, and the squarings
// would otherwise lose a small eigenvalue beside a large one.
void exact_bands(Mm& x, const Mm& t, int k)
{
    const int n = t.rows();
    for (int i = 0; i < n; ++i) {
        const idx ii = i + idx(i) * n;
        const cx li = ldexp(element(t, ii), -k);
        set_element(x, ii, std::exp(li));
        if (i + 1 < n) {
            const idx jj = (i + 1) + idx(i + 1) * n, ij = i + idx(i + 1) * n;
            const cx lj = ldexp(element(t, jj), -k);
            set_element(x, ij, ldexp(element(t, ij), -k) * exp_divided_difference(li, lj));
        }
    }
}

// The power s of two that brings a finite t's infinity norm below 1/2,
// the norm formed on t/2^32 so that finite entries cannot overflow it.
int scaling_power(const Mm& t)
{
    const int n = t.rows();
    double big = 0;
    for (int i = 0; i < n; ++i) {
        double row = 0;
        for (int j = 0; j < n; ++j)
            row += std::ldexp(std::abs(element(t, i + idx(j) * n)), -32);
        big = std::max(big, row);
    }
    if (big == 0)
        return 0;
    int e = 0;
    std::frexp(big, &e);
    return std::max(0, e + 32 + 1);
}

// e^t for an upper triangular t by scaling and squaring, with the diagonal
// and superdiagonal set exactly before the squarings and after each.
Mm expm_upper(const Mm& t)
{
    // Every x is written in place: one the allocator refused (the error
    // hook returned) ends the computation instead.
    const int n = t.rows(), s = scaling_power(t);
    Mm x = checked(pade6(scaled_down(t, s)), n, n);
    if (t.isc() && !x.isc()) {
        x.getcomplex();
        if (!x.isc() || !x.addi())
            throw std::bad_alloc();
    }
    exact_bands(x, t, s);
    for (int k = s - 1; k >= 0; --k) {
        x = checked(x * x, n, n);
        exact_bands(x, t, k);
    }
    return x;
}

// The scaling beyond which the general path goes through the Schur form:
// every squaring doubles the rounding of the approximant, so 2^16 squarings'
// worth leaves a part of size |A|*eps of an eigenvalue uncertain, which for
// a small eigenvalue beside a large one is all of it.
constexpr int plain_scaling_limit = 16;

} // namespace

Mm expm(const Mm& A0)
{
    if (error_square(A0, "expm"))
        return x_M;
    if (isempty(A0))
        return nop_M;
    const int n = A0.rows();
    // Full double arithmetic whatever A's storage (uint8 halved in its own
    // arithmetic was all rounding).
    const Mm A = dense_copy(A0);
    const shape tri = triangles(A);
    if (tri.upper && tri.lower) {
        // A diagonal matrix: the exponentials of its diagonal, exactly.
        Mm r = dense_copy(A);
        for (int i = 0; i < n; ++i) {
            const idx k = i + idx(i) * n;
            if (r.isc())
                set_element(r, k, std::exp(element(r, k)));
            else
                r.addr()[k] = std::exp(r.addr()[k]);
        }
        return r;
    }
    // No exponential of a NaN or Inf matrix beyond a diagonal one is known.
    if (!all_finite(A))
        return nan_matrix(n, n);
    if (tri.upper)
        return expm_upper(A);
    if (tri.lower)
        return transpose(expm_upper(transpose(A, 1)), 1);
    Mm f, e;
    log2(norm(A, Mm(INFINITY)), i_o, f, e);
    // Scaled to an infinity norm below 1/2.
    const double s = std::fmax(0.0, e.r() + 1);
    if (std::isfinite(f.r()) && s <= plain_scaling_limit) {
        Mm E = pade6(scaled_down(A, int(s)));
        for (int k = 0; k < int(s); ++k)
            E = E * E;
        return E;
    }
    // A = U*T*U' with T upper triangular, and e^A = U*e^T*U'.
    Mm U, T;
    schur(dense_complex_copy(A), i_o, U, T);
    if (!all_finite(T) || !all_finite(U))
        return nan_matrix(n, n);
    Mm E = U * expm_upper(T) * ctranspose(U);
    if (!A.isc())
        E = real(E);
    return E;
}

Mm logm(const Mm& A)
{
    if (error_square(A, "logm"))
        return x_M;
    if (isempty(A))
        return nop_M;
    return through_eigenvalues(A, [](const Mm& d) { return log(d); });
}

Mm logm(const Mm& A, i_o_t, Mm& L, Mm& esterr)
{
    if (error_square(A, "logm") || isempty(A)) {
        L = esterr = isempty(A) ? nop_M : x_M;
        return x_M;
    }
    L = logm(A);
    esterr = norm(expm(L) - A, Mm(1.0)) / norm(A, Mm(1.0));
    return x_M;
}

Mm sqrtm(const Mm& A)
{
    if (error_square(A, "sqrtm"))
        return x_M;
    if (isempty(A))
        return nop_M;
    return through_eigenvalues(A, [](const Mm& d) { return msqrt(d); });
}

Mm sqrtm(const Mm& A, i_o_t, Mm& X, Mm& esterr)
{
    if (error_square(A, "sqrtm") || isempty(A)) {
        X = esterr = isempty(A) ? nop_M : x_M;
        return x_M;
    }
    X = sqrtm(A);
    esterr = rdivide(norm(X * X - A, Mm(1.0)), norm(A, Mm(1.0)));
    return x_M;
}

namespace {

// R = V·diag(f(d))/V for the eigen-decomposition of M, real when every
// eigenvalue-built part is real.
template <class F>
Mm power_through_eigenvalues(const Mm& M, F f)
{
    Mm V, D;
    eig(M, i_o, V, D);
    Mm R = (V * diag(f(diag(D)))) / V;
    R.getreal(0);
    return R;
}

} // namespace

Mm mpower(const Mm& A, Mm B)
{
    if (A.isstruct() || B.isstruct())
        return call_class_function("mpower", A, B);
    if (error_square(A, "mpower") || error_square(B, "mpower"))
        return x_M;
    if (A.rows() == 0 || A.cols() == 0 || B.rows() == 0)
        return nop_M;
    if (A.size() == 1 && B.rows() == 1)
        return power(A, B);
    if (isscalar(B)) {
        if (B.issparse() || B.gettype() != qv_double)
            B.deepcopy(B.isc(), 0, B, qv_double);
        if (B.issparse() || B.gettype() != qv_double)
            return x_M;  // "Out of memory!" went to a hook that returned: B unread
        const double br = B.addr()[0], bi = B.isc() ? B.addi()[0] : 0.0;
        const bool integral = bi == 0 && std::isfinite(br) && std::floor(br) == br;
        if (integral && br < 0)
            return mpower(inv(A), Mm(-br));
        if (integral) {
            // Repeated squaring on the exponent held as a double: its
            // halving ends within 1024 passes however large it is. The
            // first factor is taken as it stands, not multiplied into the
            // identity, whose zeros times an infinite entry (of an inverse
            // that overflowed) made NaN.
            Mm P;
            bool started = false;
            Mm X = A;
            for (double k = br; k != 0;) {
                if (std::fmod(k, 2.0) == 1.0) {
                    P = started ? P * X : X;
                    started = true;
                }
                k = std::floor(k / 2);
                if (k == 0)
                    break;
                X = X * X;
            }
            return started ? P : identity_like(A);
        }
        // A fractional or complex power, negative ones included, takes the
        // principal scalar power of each eigenvalue: inverting first would
        // take the power of 1/lambda, whose branch differs for a negative
        // lambda (the imaginary parts come out with the wrong sign). No
        // eigenvalue of a NaN or Inf matrix is known.
        if (!all_finite(A))
            return nan_matrix(A.rows(), A.cols());
        return power_through_eigenvalues(A, [&](const Mm& d) { return power(d, B); });
    }
    if (A.size() == 1)
        return power_through_eigenvalues(B, [&](const Mm& d) { return power(A, d); });
    error("%s: matrix^matrix not supported.", "mpower");
    return x_M;
}

Mm mpower(const Mm&)
{
    return Mm(error_input("mpower", 1));
}
