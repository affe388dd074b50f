// Polynomials as coefficient vectors, highest power first: evaluation at
// points and at a matrix, construction from roots, roots by the companion
// matrix, derivatives and the least-squares fit.
#include "signal/storage.hpp"
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"
#include "value/element_read.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/index.h"
#include "velkor/linalg.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double double_eps = 2.220446049250313e-16;

Mm as_row(Mm x)
{
    x.reshape(1, x.size());
    return x;
}

// The binary exponent of the larger part of a nonzero coefficient.
int exponent_of(double re, double im) { return std::ilogb(std::max(std::fabs(re), std::fabs(im))); }

// The first row of the companion matrix of p(2^s y) / (p(1) 2^(s d)), d the
// degree, for coefficients whose plain ratios overflow or vanish: 2^s is the
// geometric mean of the root magnitudes, and every ratio is formed from
// mantissas with its exponent added last, so no step leaves the range.
// Returns s; the roots of p are those of the matrix times 2^s.
int scaled_companion_row(const double* pr, const double* pi, int first, int n, Mm& K)
{
    const int degree = n - 1, last = first + degree;
    const int e0 = exponent_of(pr[first], pi ? pi[first] : 0.0);
    const int ed = exponent_of(pr[last], pi ? pi[last] : 0.0);
    const int s = int(std::lround(double(ed - e0) / degree));
    const double m0r = std::ldexp(pr[first], -e0), m0i = pi ? std::ldexp(pi[first], -e0) : 0.0;
    for (int j = 0; j < degree; ++j) {
        const int src = first + 1 + j, k = j + 1;
        double qr = 0, qi = 0;
        if (pr[src] != 0 || (pi && pi[src] != 0)) {
            const int ek = exponent_of(pr[src], pi ? pi[src] : 0.0);
            const double mr = std::ldexp(pr[src], -ek), mi = pi ? std::ldexp(pi[src], -ek) : 0.0;
            if (pi)
                complex_div(mr, mi, m0r, m0i, qr, qi);
            else
                qr = mr / m0r;
            // the exponent sum is kept in 64 bits and clamped: ldexp saturates
            const std::int64_t x = std::int64_t(ek) - e0 - std::int64_t(s) * k;
            const int clamped = int(std::clamp<std::int64_t>(x, -4000, 4000));
            qr = std::ldexp(qr, clamped);
            qi = std::ldexp(qi, clamped);
        }
        K.addr()[std::int64_t(j) * degree] = -qr;
        if (pi)
            K.addi()[std::int64_t(j) * degree] = -qi;
    }
    return s;
}

} // namespace

// ---- evaluation ----

Mm polyval(Mm p, Mm x)
{
    p = mdouble(full(p));
    x = mdouble(full(x));
    const int n = p.size();
    if (x.size() == 1 && !x.isc() && !p.isc()) {
        const double t = x.addr()[0];
        double y = 0;
        for (int k = 0; k < n; ++k)
            y = t * y + p.addr()[k];
        return Mm(y);
    }
    if (!x.isc() && !p.isc()) {
        // y = x .* y + p(k), fused into one pass per element
        Mm y = shaped(0, x.getndims(), x.getdims());
        const double* t = x.addr();
        const double* c = p.addr();
        double* out = y.addr();
        const int count = x.size();
        // A Horner chain is one long dependency: eight points side by side
        // keep the multipliers busy, each point with its own order of
        // operations, so the values are those of the plain loop.
        constexpr int lanes = 8;
        int e = 0;
        for (; e + lanes <= count; e += lanes) {
            double v[lanes] = {}, te[lanes];
            for (int l = 0; l < lanes; ++l)
                te[l] = t[e + l];
            for (int k = 0; k < n; ++k) {
                const double ck = c[k];
                for (int l = 0; l < lanes; ++l)
                    v[l] = te[l] * v[l] + ck;
            }
            for (int l = 0; l < lanes; ++l)
                out[e + l] = v[l];
        }
        for (; e < count; ++e) {
            double v = 0;
            const double te = t[e];
            for (int k = 0; k < n; ++k)
                v = te * v + c[k];
            out[e] = v;
        }
        return y;
    }
    Mm y = shaped(0, x.getndims(), x.getdims());
    std::fill(y.addr(), y.addr() + y.size(), 0.0);
    for (int k = 1; k <= n; ++k)
        y = plus(times(x, y), Mm(p(Mm(double(k)))));
    return y;
}

Mm polyval(Mm) { return Mm(error_input("polyval", 1)); }

Mm polyvalm(const Mm& p0, const Mm& X)
{
    if (error_square(X, "polyvalm"))
        return x_M;
    const Mm p = mdouble(full(p0));
    const int n = X.rows();
    Mm Y = zeros(double(n));
    const Mm I = eye(double(n));
    for (int k = 1; k <= p.size(); ++k)
        Y = plus(mtimes(X, Y), mtimes(Mm(p(Mm(double(k)))), I));
    return Y;
}

Mm polyvalm(const Mm&) { return Mm(error_input("polyvalm", 1)); }

// ---- construction from roots ----

Mm poly(const Mm& x0)
{
    if (isempty(x0))
        return Mm(1.0);
    const Mm x = mdouble(full(x0));
    Mm r = isvector(x) ? x : eig(x);
    if (r.gettype() != qv_double)
        return x_M;
    const int total = r.size();
    const double* rr = r.addr();
    const double* ri = r.addi();
    // the finite roots, in order
    std::vector<double> re, im;
    for (int k = 0; k < total; ++k) {
        const double a = rr[k], b = ri ? ri[k] : 0.0;
        if (std::isfinite(a) && std::isfinite(b)) {
            re.push_back(a);
            im.push_back(b);
        }
    }
    const int m = int(re.size());
    const bool complex = ri != nullptr;
    Mm c = shaped(complex, 1, m + 1);
    double* cr = c.addr();
    double* ci = c.addi();
    std::fill(cr, cr + m + 1, 0.0);
    if (ci)
        std::fill(ci, ci + m + 1, 0.0);
    cr[0] = 1;
    // c(2:k+1) = c(2:k+1) - r(k) .* c(1:k): downwards, so the right side
    // reads the old coefficients
    for (int k = 0; k < m; ++k)
        for (int j = k + 1; j >= 1; --j) {
            if (complex) {
                const double pr = re[k] * cr[j - 1] - im[k] * ci[j - 1];
                const double pi = re[k] * ci[j - 1] + im[k] * cr[j - 1];
                cr[j] -= pr;
                ci[j] -= pi;
            } else {
                cr[j] -= re[k] * cr[j - 1];
            }
        }
    // A real argument has a real characteristic polynomial: its complex
    // eigenvalues come in conjugate pairs, and the imaginary parts left in c
    // are rounding, whatever their size. A complex argument keeps them
    // unless they all vanish below eps.
    if (complex) {
        double big = 0;
        for (int j = 0; j <= m; ++j)
            big = std::max(big, std::fabs(ci[j]));
        if (!x.isc() || big < double_eps)
            c = real(c);
    }
    return c;
}

// ---- roots ----

Mm roots(const Mm& p0)
{
    if (isempty(p0))
        return Mm();
    if (!isvector(p0)) {
        error("roots: %s is not a vector", matrix_display_name(p0));
        return x_M;
    }
    Mm p = as_row(mdouble(full(p0)));
    const int n0 = p.size();
    const double* pr = p.addr();
    const double* pi = p.addi();
    for (int k = 0; k < n0; ++k)
        if (!std::isfinite(pr[k]) || (pi && !std::isfinite(pi[k]))) {
            error("roots: the coefficients must be finite");
            return x_M;
        }
    auto nonzero = [&](int k) { return pr[k] != 0 || (pi && pi[k] != 0); };
    int first = -1, last = -1;
    for (int k = 0; k < n0; ++k)
        if (nonzero(k)) {
            if (first < 0)
                first = k;
            last = k;
        }
    if (first < 0)
        return Mm();  // every coefficient zero: no companion matrix to form
    const int zeros_at_origin = n0 - 1 - last;
    const int n = last - first + 1;
    Mm K;
    int shift = 0;  // the roots of the companion matrix times 2^shift
    if (n > 1) {
        const bool complex = pi != nullptr;
        K = shaped_zeros(complex, n - 1, n - 1);
        for (int j = 0; j + 1 < n - 1; ++j)
            K.addr()[(j + 1) + std::int64_t(j) * (n - 1)] = 1;
        // first row: -(p(2:n) ./ p(1))
        bool representable = true;
        for (int j = 0; j < n - 1; ++j) {
            const int src = first + 1 + j;
            double qr, qi = 0;
            if (complex)
                complex_div(pr[src], pi[src], pr[first], pi[first], qr, qi);
            else
                qr = pr[src] / pr[first];
            if (!std::isfinite(qr) || !std::isfinite(qi) ||
                (nonzero(src) && std::max(std::fabs(qr), std::fabs(qi)) < 0x1p-1000))
                representable = false;
            K.addr()[std::int64_t(j) * (n - 1)] = -qr;
            if (complex)
                K.addi()[std::int64_t(j) * (n - 1)] = -qi;
        }
        if (!representable) {
            shift = scaled_companion_row(pr, pi, first, n, K);
            for (int j = 0; j < n - 1; ++j)
                if (!std::isfinite(K.addr()[std::int64_t(j) * (n - 1)]) ||
                    (complex && !std::isfinite(K.addi()[std::int64_t(j) * (n - 1)]))) {
                    error("roots: the roots lie beyond the range of doubles");
                    return x_M;
                }
        }
    }
    Mm e = n > 1 ? eig(K) : Mm();
    scale_by_power_of_two(e, shift);
    const int ne = e.size() > 0 ? e.size() : 0;
    const bool complex = e.isc();
    Mm out = shaped(complex, zeros_at_origin + ne, 1);
    if (out.size() == 0)
        return Mm();
    std::fill(out.addr(), out.addr() + zeros_at_origin, 0.0);
    std::copy(e.addr(), e.addr() + ne, out.addr() + zeros_at_origin);
    if (complex) {
        std::fill(out.addi(), out.addi() + zeros_at_origin, 0.0);
        std::copy(e.addi(), e.addi() + ne, out.addi() + zeros_at_origin);
    }
    return out;
}

// ---- derivatives ----

Mm strip_leading_zeros(const Mm& x0)
{
    const Mm x = full(x0);
    const int n = x.size();
    const double* xr = x.addr();
    const double* xi = x.addi();
    int first = 0;
    while (first < n && xr[first] == 0 && (!xi || xi[first] == 0))
        ++first;
    if (first == n)
        return Mm(0.0);
    if (first == 0)
        return x;
    return Mm(x(colon(double(first + 1), double(n))));
}

namespace {

// The derivative's coefficients a(1:n-1) .* (n-1:-1:1) as a row; the
// scalar 0 for a constant or an empty polynomial.
Mm derivative_terms(const Mm& a)
{
    const int n = a.size();
    if (n <= 1)
        return Mm(0.0);
    Mm d = shaped(a.isc(), 1, n - 1);
    for (int k = 0; k < n - 1; ++k) {
        d.addr()[k] = a.addr()[k] * double(n - 1 - k);
        if (a.isc())
            d.addi()[k] = a.addi()[k] * double(n - 1 - k);
    }
    return d;
}

// v with leading zeros up to length n, as a row.
Mm lead_with_zeros(const Mm& v, int n)
{
    const int have = v.size();
    if (have >= n)
        return v;
    Mm out = shaped_zeros(v.isc(), 1, n);
    std::copy(v.addr(), v.addr() + have, out.addr() + (n - have));
    if (v.isc())
        std::copy(v.addi(), v.addi() + have, out.addi() + (n - have));
    return out;
}

} // namespace

void polyder_core(const Mm& a0, const Mm& b0, Mm& sum, Mm& difference, Mm& square)
{
    const Mm a = as_row(mdouble(full(a0))), b = as_row(mdouble(full(b0)));
    const Mm u0 = conv(derivative_terms(a), b);
    const Mm v0 = conv(a, derivative_terms(b));
    const int n = std::max(u0.size(), v0.size());
    const Mm u = as_row(lead_with_zeros(u0, n)), v = as_row(lead_with_zeros(v0, n));
    sum = strip_leading_zeros(plus(u, v));
    difference = strip_leading_zeros(minus(u, v));
    square = strip_leading_zeros(conv(b, b));
}

Mm polyder(const Mm& a)
{
    Mm s, d, q;
    polyder_core(a, Mm(1.0), s, d, q);
    return s;
}

Mm polyder(const Mm& a, const Mm& b)
{
    Mm s, d, q;
    polyder_core(a, b, s, d, q);
    return s;
}

Mm polyder(const Mm& a, const Mm& b, i_o_t, Mm& q, Mm& d)
{
    Mm s, diff, square;
    polyder_core(a, b, s, diff, square);
    q = diff;
    d = square;
    return x_M;
}

Mm polyder(const Mm& a, i_o_t, Mm& q, Mm& d) { return polyder(a, Mm(1.0), i_o, q, d); }

// ---- least-squares fit ----

Mm polyfit(Mm x, Mm y, const Mm& n, i_o_t, Mm& p, Mm& S)
{
    x = mdouble(full(x));
    y = mdouble(full(y));
    const int m = x.size();
    if (error_numeric(n, "polyfit"))
        return x_M;
    // A degree is a whole number: 2+i was read as 2, without a word.
    if (n.size() > 0 && imag_at(n, 0) != 0) {
        error("polyfit: n must be real");
        return x_M;
    }
    const int deg = n.size() > 0 ? round_to_int(mdouble(n).addr()[0]) : 0;
    if (y.size() != m) {
        error("%s: x and y must be same size", "polyfit");
        return x_M;
    }
    x.reshape(m, 1);
    y.reshape(m, 1);
    // y in units of the power of two of its size: Q'y sums m values of y,
    // which overflows for values near the largest double although the fit
    // is finite, and a power of two scales the coefficients and the
    // residual exactly (elsewhere the unscaled result to the bit).
    const int ey = size_exponent(y.addr(), y.isc() ? y.addi() : nullptr, m);
    if (ey != 0)
        y = ldexp_parts(y, -ey);
    // x in units of the power of two of its size where its powers up to
    // the degree would leave the doubles (or their column norms pass the
    // largest double: x near 1e308 gave a NaN fit from degree 1); the
    // coefficient of x^p and column p of R take 2^(p ex) back exactly.
    int ex = size_exponent(x.addr(), x.isc() ? x.addi() : nullptr, m);
    if (std::abs(ex) * deg <= 480)
        ex = 0;
    if (ex != 0)
        x = ldexp_parts(x, -ex);
    const Mm ones_column = ones(double(m), 1.0);
    Mm A = ones_column;
    if (deg > 0) {
        // columns x^deg, ..., x^1, then x^0
        Mm V = power(mtimes(x, ones(1.0, double(deg))), mtimes(ones_column, colon(double(deg), -1.0, 1.0)));
        // a negative x makes power complex-typed, but whole powers of real
        // numbers are real: a real fit of real data stays real
        if (!x.isc())
            V = real(V);
        A = horzcat(V, ones_column);
    }
    Mm Q, R;
    qr(A, Mm(0.0), i_o, Q, R);
    // The rank of the design matrix, read from its pivoted QR with each
    // column scaled by a power of two to a largest entry near 1 (exact, and
    // a wide range of x no longer looks like rank deficiency). Below the
    // number of coefficients R has a pivot at rounding level, and R\(Q'y)
    // would divide everything by it: the basic least-squares solution is
    // taken instead, and the fit is said to be rank deficient.
    const int terms = A.cols();
    Mm balanced;
    balanced.deepcopy(A.isc(), 0, A, qv_double);
    balanced = required(balanced, std::int64_t(m) * terms);
    std::vector<int> shift(terms, 0);
    for (int j = 0; j < terms; ++j) {
        double big = 0;
        for (int i = 0; i < m; ++i) {
            const std::size_t k = i + std::size_t(j) * m;
            big = std::max(big, std::hypot(balanced.addr()[k], balanced.isc() ? balanced.addi()[k] : 0.0));
        }
        if (big > 0 && std::isfinite(big))
            std::frexp(big, &shift[j]);
        for (int i = 0; i < m; ++i) {
            const std::size_t k = i + std::size_t(j) * m;
            balanced.addr()[k] = std::ldexp(balanced.addr()[k], -shift[j]);
            if (balanced.isc())
                balanced.addi()[k] = std::ldexp(balanced.addi()[k], -shift[j]);
        }
    }
    int rank = terms;
    Mm basic = least_squares_basic(balanced, y, &rank);
    Mm coefficients;
    if (rank < terms) {
        warning("polyfit: the fit is rank deficient (rank %d of %d coefficients): the basic least-squares solution "
                "is returned",
                rank, terms);
        for (int j = 0; j < terms; ++j) {
            basic.addr()[j] = std::ldexp(basic.addr()[j], -shift[j]);
            if (basic.isc())
                basic.addi()[j] = std::ldexp(basic.addi()[j], -shift[j]);
        }
        coefficients = basic;
    } else
        coefficients = mldivide(R, mtimes(ctranspose(Q), y));
    coefficients = dot_transpose(Mm(coefficients(c_p)));
    Mm residual = norm(minus(y, mtimes(A, dot_transpose(coefficients))));
    if (ey != 0) {
        coefficients = ldexp_parts(coefficients, ey);
        residual = ldexp_parts(residual, ey);
    }
    if (ex != 0) {
        // Column j holds x^(deg - j).
        coefficients = ldexp_parts(coefficients, 0);
        R = ldexp_parts(R, 0);
        for (int j = 0; j < terms; ++j) {
            const int e = (deg - j) * ex;
            coefficients.addr()[j] = std::ldexp(coefficients.addr()[j], -e);
            if (coefficients.isc())
                coefficients.addi()[j] = std::ldexp(coefficients.addi()[j], -e);
            for (int i = 0; i < R.rows(); ++i) {
                const std::size_t k = i + std::size_t(j) * R.rows();
                R.addr()[k] = std::ldexp(R.addr()[k], e);
                if (R.isc())
                    R.addi()[k] = std::ldexp(R.addi()[k], e);
            }
        }
    }
    Mm fit;
    fit.member("R") = R;
    fit.member("df") = Mm(double(m) - deg - 1);
    fit.member("normr") = residual;
    p = coefficients;
    S = fit;
    return x_M;
}

Mm polyfit(const Mm& x, const Mm& y, const Mm& n)
{
    Mm p, S;
    polyfit(x, y, n, i_o, p, S);
    return p;
}

Mm polyfit(const Mm&) { return Mm(error_input("polyfit", 1)); }
Mm polyfit(const Mm&, const Mm&) { return Mm(error_input("polyfit", 2)); }
