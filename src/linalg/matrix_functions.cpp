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

#include <cmath>

namespace {

constexpr double machine_eps = 0x1p-52;

// R = V·diag(f(diag(D)))/V for the two-output eig of A, made real when
// every imaginary part is below eps in absolute value.
template <class F>
Mm through_eigenvalues(const Mm& A, F f)
{
    Mm V, D;
    eig(A, i_o, V, D);
    Mm R = (V * diag(f(diag(D)))) / V;
    if (R.isc() && max(max(abs(imag(R)))).r() < machine_eps)
        R = real(R);
    return R;
}

Mm identity_like(const Mm& A)
{
    return eye(double(A.rows()), double(A.cols()));
}

} // namespace

Mm expm(const Mm& A)
{
    if (error_square(A, "expm"))
        return x_M;
    if (isempty(A))
        return nop_M;
    Mm f, e;
    log2(norm(A, Mm(INFINITY)), i_o, f, e);
    // Scaled to an infinity norm below 1/2.
    const double s = std::fmax(0.0, e.r() + 1);
    // 2^s itself overflows once the norm reaches 2^1022: divide by two
    // exact halves of the power instead.
    const int half = int(s) / 2;
    const Mm a = (A / std::ldexp(1.0, half)) / std::ldexp(1.0, int(s) - half);
    constexpr int q = 6;
    double c = 0.5;
    const Mm I = identity_like(A);
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
    E = mldivide(D, E);
    for (int k = 0; k < int(s); ++k)
        E = E * E;
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
            // halving ends within 1024 passes however large it is.
            Mm P = identity_like(A);
            Mm X = A;
            for (double k = br;;) {
                if (std::fmod(k, 2.0) == 1.0)
                    P = P * X;
                k = std::floor(k / 2);
                if (k == 0)
                    break;
                X = X * X;
            }
            return P;
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
