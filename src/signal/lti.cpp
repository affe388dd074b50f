// Linear time-invariant models: conversions between state space, transfer
// function and zero-pole-gain forms, and the state-space time (ltitr) and
// frequency (ltifr) responses.
#include "signal/storage.hpp"
#include "linalg/kernels.hpp"
#include "value/scratch.hpp"
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

Mm range(int a, int b) { return colon(double(a), double(b)); }

// Columns a..b (1-based) of x.
Mm columns(const Mm& x, int a, int b) { return Mm(x(c_p, range(a, b))); }

// The real time response: the state lives in two columns of scratch, and
// each step goes straight into its row of the N-by-n result, so no
// transpose of the whole run follows. The products are those of the
// complex path: all input terms b * u(1:N-1, :).' at once (with one input,
// plain products, which is what that product gives), then per step a * x(k)
// added to its input term.
Mm real_state_run(const Mm& a, const Mm& b, const Mm& u, const Mm& x0, int N, int n, int p)
{
    Mm Y = shaped(0, N, n);
    scratch<double> state{2 * std::size_t(n)};
    scratch<double> inputs{p > 1 ? std::size_t(n) * std::size_t(N - 1) : 0};
    if (p > 1 && N > 1)
        split_gemm("N", "T", n, N - 1, p, 1.0, b.addr(), nullptr, n, u.addr(), nullptr, N, 0.0, inputs.get(), nullptr,
                   n);
    double* cur = state.get();
    double* next = cur + n;
    std::copy(x0.addr(), x0.addr() + n, cur);
    double* y = Y.addr();
    auto put = [y, n, N](const double* x, int k) {
        for (int i = 0; i < n; ++i)
            y[k + std::int64_t(i) * N] = x[i];
    };
    put(cur, 0);
    const double* br = b.addr();
    for (int k = 0; k + 1 < N; ++k) {
        if (p == 1) {
            const double uk = u.addr()[k];
            for (int i = 0; i < n; ++i)
                next[i] = br[i] * uk;
        } else if (p > 1) {
            const double* term = inputs.get() + std::int64_t(k) * n;
            std::copy(term, term + n, next);
        } else {
            std::fill(next, next + n, 0.0);
        }
        split_gemm("N", "N", n, 1, n, 1.0, a.addr(), nullptr, n, cur, nullptr, n, 1.0, next, nullptr, n);
        put(next, k + 1);
        std::swap(cur, next);
    }
    return Y;
}

} // namespace

int first_nonzero(const Mm& v)
{
    const int n = v.gettype() == qv_double ? v.size() : 0;
    for (int k = 0; k < n; ++k)
        if (v.addr()[k] != 0 || (v.addi() && v.addi()[k] != 0))
            return k + 1;
    return 0;
}

void tf_normalize(Mm& num, Mm& den)
{
    den = mdouble(full(den));
    den.reshape(1, den.size());
    const int f = first_nonzero(den);
    if (f > 1)
        den = Mm(den(range(f, den.size())));
    if (den.size() > 0) {
        const Mm lead = Mm(den(Mm(1.0)));
        num = rdivide(mdouble(full(num)), lead);
        den = rdivide(den, lead);
    }
}

// ---- transfer function to state space ----

Mm tf2ss(Mm num, Mm den, i_o_t, Mm& A, Mm& B, Mm& C, Mm& D)
{
    if (isempty(num) && isempty(den)) {
        A = B = C = D = nop_M;
        return x_M;
    }
    tf_normalize(num, den);
    const int q = num.rows(), c = num.cols(), nd = den.size();
    if (c > nd) {
        // surplus leading columns may only be zeros: an improper transfer
        // function has no state-space form
        const Mm lead = columns(num, 1, c - nd);
        if (first_nonzero(lead) != 0) {
            error("tf2ss: order of denominator must be at least the order of numerator");
            return x_M;
        }
        num = columns(num, c - nd + 1, c);
    } else if (c < nd) {
        num = horzcat(shaped_zeros(0, q, nd - c), num);
    }
    Mm a, b, cc, dd;
    Mm d;
    if (nd < 2) {
        a = b = nop_M;
    } else {
        d = Mm(den(range(2, nd)));
        a = vertcat(-d, eye(double(nd - 2), double(nd - 1)));
        b = shaped_zeros(0, nd - 1, 1);
        b.addr()[0] = 1;
    }
    if (num.rows() == 0) {
        cc = dd = nop_M;
    } else {
        const Mm first = columns(num, 1, 1);
        cc = nd < 2 ? nop_M : minus(columns(num, 2, nd), mtimes(first, d));
        dd = first;
    }
    A = a;
    B = b;
    C = cc;
    D = dd;
    return x_M;
}

// ---- transfer function to zeros, poles and gains ----

Mm tf2zp(Mm num, Mm den, i_o_t, Mm& z, Mm& p, Mm& k)
{
    tf_normalize(num, den);
    const Mm poles = roots(den);
    int c = num.cols();
    // drop numerically zero leading columns; the last one always stays
    int j = 1;
    const double tiny = 10 * 2.220446049250313e-16;
    while (j < c) {
        bool big = false;
        for (int r = 0; r < num.rows() && !big; ++r) {
            const std::int64_t at = r + std::int64_t(j - 1) * num.rows();
            const double re = num.addr()[at], im = num.addi() ? num.addi()[at] : 0.0;
            big = std::hypot(re, im) > tiny;
        }
        if (big)
            break;
        ++j;
    }
    if (j >= 2)
        num = columns(num, j, c);
    const int q = num.rows();
    c = num.cols();
    std::vector<Mm> zs(q);
    bool complex_z = false;
    for (int r = 0; r < q; ++r) {
        zs[r] = roots(Mm(num(Mm(double(r + 1)), c_p)));
        complex_z = complex_z || zs[r].isc();
    }
    Mm zeros_out = shaped(complex_z, std::max(c - 1, 0), q);
    Mm gains = shaped(num.isc(), q, 1);
    for (int r = 0; r < q; ++r) {
        const int have = zs[r].size();
        for (int e = 0; e < c - 1; ++e) {
            const std::int64_t at = e + std::int64_t(r) * (c - 1);
            zeros_out.addr()[at] = e < have ? zs[r].addr()[e] : INFINITY;
            if (complex_z)
                zeros_out.addi()[at] = e < have && zs[r].addi() ? zs[r].addi()[e] : 0.0;
        }
        const Mm row = Mm(num(Mm(double(r + 1)), c_p));
        const int f = first_nonzero(row);
        gains.addr()[r] = f > 0 ? row.addr()[f - 1] : 0.0;
        if (num.isc())
            gains.addi()[r] = f > 0 && row.addi() ? row.addi()[f - 1] : 0.0;
    }
    z = zeros_out;
    p = poles;
    k = gains;
    return x_M;
}

Mm tf2zp(const Mm& num, const Mm& den, i_o_t, Mm& z, Mm& p)
{
    Mm k;
    return tf2zp(num, den, i_o, z, p, k);
}

// ---- state space to transfer function ----

Mm ss2tf(const Mm& A, Mm B, const Mm& C, Mm D, const Mm& iu, i_o_t, Mm& num, Mm& den)
{
    if (isempty(C) && isempty(B)) {
        const Mm d = isempty(A) && isempty(D) ? nop_M : poly(A);
        num = D;
        den = d;
        return x_M;
    }
    const int q = D.rows();
    if (!isempty(B))
        B = Mm(B(c_p, iu));
    if (!isempty(D))
        D = Mm(D(c_p, iu));
    const Mm d = poly(A);
    Mm n = shaped_zeros(0, q, A.length() + 1);
    for (int r = 1; r <= q; ++r) {
        const Mm row = plus(poly(minus(A, mtimes(B, Mm(C(Mm(double(r)), c_p))))),
                            mtimes(minus(Mm(D(Mm(double(r)))), Mm(1.0)), d));
        if (row.isc())
            n.getcomplex();
        for (int e = 0; e < n.cols() && e < row.size(); ++e) {
            n.addr()[(r - 1) + std::int64_t(e) * q] = row.addr()[e];
            if (n.isc())
                n.addi()[(r - 1) + std::int64_t(e) * q] = row.addi() ? row.addi()[e] : 0.0;
        }
    }
    num = n;
    den = d;
    return x_M;
}

Mm ss2tf(const Mm& A, const Mm& B, const Mm& C, const Mm& D, i_o_t, Mm& num, Mm& den)
{
    return ss2tf(A, B, C, D, Mm(1.0), i_o, num, den);
}

Mm ss2zp(const Mm& A, const Mm& B, const Mm& C, const Mm& D, const Mm& iu, i_o_t, Mm& z, Mm& p, Mm& k)
{
    Mm num, den;
    ss2tf(A, B, C, D, iu, i_o, num, den);
    return tf2zp(num, den, i_o, z, p, k);
}

Mm ss2zp(const Mm& A, const Mm& B, const Mm& C, const Mm& D, i_o_t, Mm& z, Mm& p, Mm& k)
{
    return ss2zp(A, B, C, D, Mm(1.0), i_o, z, p, k);
}

Mm ss2zp(const Mm& A, const Mm& B, const Mm& C, const Mm& D, i_o_t, Mm& z, Mm& p)
{
    Mm k;
    return ss2zp(A, B, C, D, Mm(1.0), i_o, z, p, k);
}

// ---- zeros, poles and gains to transfer function and state space ----

Mm zp2tf(const Mm& z, const Mm& p, Mm k, i_o_t, Mm& num, Mm& den)
{
    k = mdouble(full(k));
    k.reshape(k.size(), 1);
    const int g = k.size();
    Mm pc = mdouble(full(p));
    pc.reshape(pc.size(), 1);
    Mm d = real(poly(pc));
    const int L = d.size();
    Mm n;
    if (z.rows() != 0) {
        const int q = z.cols();
        if (g < q) {
            error("zp2tf: k is too small");
            return x_M;
        }
        std::vector<Mm> rows(static_cast<std::size_t>(q));
        int width = L;
        for (int j = 1; j <= q; ++j) {
            const Mm dz = real(poly(Mm(z(c_p, Mm(double(j))))));
            rows[j - 1] = times(Mm(k(Mm(double(j)))), dz);
            width = std::max(width, rows[j - 1].size());
        }
        // More zeros than poles: both polynomials take the numerator's
        // length, the denominator with leading zeros.
        if (width > L)
            d = horzcat(zeros(Mm(1.0), Mm(double(width - L))), d);
        n = shaped_zeros(k.isc(), q, width);
        for (int j = 1; j <= q; ++j) {
            const Mm& row = rows[j - 1];
            const int len = row.size();
            for (int e = 0; e < len; ++e) {
                const std::int64_t at = (j - 1) + std::int64_t(width - len + e) * q;
                n.addr()[at] = row.addr()[e];
                if (n.isc())
                    n.addi()[at] = row.addi() ? row.addi()[e] : 0.0;
            }
        }
    } else {
        n = shaped_zeros(k.isc(), g, L);
        for (int r = 0; r < g && L > 0; ++r) {
            n.addr()[r + std::int64_t(L - 1) * g] = k.addr()[r];
            if (k.isc())
                n.addi()[r + std::int64_t(L - 1) * g] = k.addi()[r];
        }
    }
    num = n;
    den = d;
    return x_M;
}

Mm zp2ss(Mm z, Mm p, const Mm& k, i_o_t, Mm& A, Mm& B, Mm& C, Mm& D)
{
    if (z.rows() <= 1 && p.rows() <= 1 && k.size() == 1) {
        z.reshape(z.size(), 1);
        p.reshape(p.size(), 1);
    }
    Mm num, den;
    zp2tf(z, p, k, i_o, num, den);
    return tf2ss(num, den, i_o, A, B, C, D);
}

// ---- responses ----

Mm ltitr(Mm a, Mm b, Mm u, Mm x0)
{
    a = mdouble(full(a));
    b = mdouble(full(b));
    u = mdouble(full(u));
    x0 = mdouble(full(x0));
    const int N = u.rows(), n = x0.size(), p = b.cols();
    if (N == 0 || n == 0)
        return nop_M;
    if (a.rows() != n || a.cols() != n || a.getndims() > 2) {
        error("ltitr: a is not square or rows(a)<>size(x0)");
        return x_M;
    }
    if (b.rows() != n || u.cols() != p) {
        error("ltitr: rows(b)<>size(x0) or cols(b)<>cols(u)");
        return x_M;
    }
    const bool complex = a.isc() || b.isc() || u.isc() || x0.isc();
    if (!complex)
        return real_state_run(a, b, u, x0, N, n, p);
    Mm X = shaped_zeros(complex, n, N);
    std::copy(x0.addr(), x0.addr() + n, X.addr());
    if (complex && x0.isc())
        std::copy(x0.addi(), x0.addi() + n, X.addi());
    double* xr = X.addr();
    double* xi = X.addi();
    if (N > 1) {
        // every input term at once: X(:, 2:N) = b * u(1:N-1, :).'
        if (p > 0)
            split_gemm("N", "T", n, N - 1, p, 1.0, b.addr(), b.addi(), n, u.addr(), u.addi(), N, 0.0, xr + n,
                       xi ? xi + n : nullptr, n);
        for (int k = 0; k < N - 1; ++k) {
            const std::int64_t at = std::int64_t(k) * n, next = at + n;
            split_gemm("N", "N", n, 1, n, 1.0, a.addr(), a.addi(), n, xr + at, xi ? xi + at : nullptr, n, 1.0,
                       xr + next, xi ? xi + next : nullptr, n);
        }
    }
    return dot_transpose(X);
}

Mm ltitr(const Mm& a, const Mm& b, const Mm& u) { return ltitr(a, b, u, zeros(double(a.rows()), 1.0)); }
Mm ltitr(const Mm&) { return Mm(error_input("ltitr", 1)); }
Mm ltitr(const Mm&, const Mm&) { return Mm(error_input("ltitr", 2)); }

Mm ltifr(const Mm& a0, const Mm& b0, const Mm& s0)
{
    if (a0.rows() != a0.cols() || a0.getndims() > 2) {
        error("ltifr: a not square");
        return x_M;
    }
    const Mm a = mdouble(full(a0)), b = mdouble(full(b0)), s = mdouble(full(s0));
    Mm v = isvector(b) ? b : Mm(b(c_p, Mm(1.0)));
    v.reshape(v.size(), 1);
    const int n = a.rows(), m = s.size();
    const Mm I = eye(double(n));
    Mm G = shaped_zeros(a.isc() || v.isc() || s.isc(), n, m);
    for (int k = 0; k < m; ++k) {
        const Mm sk = Mm(s(Mm(double(k + 1))));
        const Mm col = mldivide(minus(mtimes(sk, I), a), v);
        if (col.isc() && !G.isc())
            G.getcomplex();
        for (int r = 0; r < n && r < col.size(); ++r) {
            G.addr()[r + std::int64_t(k) * n] = col.addr()[r];
            if (G.isc())
                G.addi()[r + std::int64_t(k) * n] = col.addi() ? col.addi()[r] : 0.0;
        }
    }
    return G;
}

Mm ltifr(const Mm&) { return Mm(error_input("ltifr", 1)); }
Mm ltifr(const Mm&, const Mm&) { return Mm(error_input("ltifr", 2)); }
