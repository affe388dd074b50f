// The classic test matrices: cauchy, compan, gallery, hadamard, hankel,
// hilb, invhilb, magic, pascalM, rosser, toeplitz, vander and wilkinson.
// Each builds a new double matrix straight into its one allocation.
#include "engine/scalar_real.hpp"
#include "linalg/front.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

using idx = std::ptrdiff_t;

// The order given by the first element of n: rounded, 0 for <= 0 or NaN.
// false for an empty n, and after who's message for one with an imaginary
// part (an order is a whole number: 4+i was read as 4, without a word).
bool order_of(const Mm& n, int& order, const char* who)
{
    if (isempty(n))
        return false;
    const Mm d = dense_copy(n);
    if (d.isc() && d.addi()[0] != 0) {
        error("%s: n must be real", who);
        return false;
    }
    order = round_to_count(d.addr()[0]);
    return true;
}

// A real n-by-n zero matrix.
Mm square_zeros(int n) { return checked(czeros(0, n, n), n, n); }

// Elements of a dense copy as a flat vector view.
struct elements {
    Mm value;
    int n;
    bool complex;
    double re(int k) const { return value.addr()[k]; }
    double im(int k) const { return complex ? value.addi()[k] : 0.0; }
};

elements elements_of(const Mm& x)
{
    Mm d = dense_copy(x);
    const int n = d.size();
    const bool complex = d.isc();
    return {d, n, complex};
}

// The odd-order magic square (the step rule) into m at offset, order n,
// leading dimension ld.
void odd_magic(double* m, int n, idx ld)
{
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            m[i + j * ld] = 0;
    int i = 0, j = (n - 1) / 2;
    for (int v = 1; v <= n * n; ++v) {
        m[i + j * ld] = v;
        const int ni = (i + n - 1) % n, nj = (j + 1) % n;
        if (m[ni + nj * ld] != 0)
            i = (i + 1) % n;
        else {
            i = ni;
            j = nj;
        }
    }
}

} // namespace

Mm magic(const Mm& n_)
{
    int n;
    if (!order_of(n_, n, "magic") || n == 0)
        return nop_M;
    Mm r = square_zeros(n);
    double* m = r.addr();
    const idx ld = n;
    if (n % 4 == 0) {
        const double nn1 = double(n) * n + 1;
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) {
                const double v = double(i - 1) * n + j;
                m[(i - 1) + (j - 1) * ld] = ((i % 4) / 2 == (j % 4) / 2) ? nn1 - v : v;
            }
    } else if (n % 2 == 1)
        odd_magic(m, n, ld);
    else {
        const int h = n / 2;
        odd_magic(m, h, ld);
        const double hh = double(h) * h;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < h; ++i) {
                const double a = m[i + j * ld];
                m[i + (j + h) * ld] = a + 2 * hh;
                m[(i + h) + j * ld] = a + 3 * hh;
                m[(i + h) + (j + h) * ld] = a + hh;
            }
        const int q = (h - 1) / 2;
        auto exchange_halves = [&](int col) {
            for (int i = 0; i < h; ++i)
                std::swap(m[i + col * ld], m[(i + h) + col * ld]);
        };
        if (q >= 1) {
            for (int c = 0; c < q; ++c)
                exchange_halves(c);
            std::swap(m[q + 0 * ld], m[(q + h) + 0 * ld]);
            std::swap(m[q + q * ld], m[(q + h) + q * ld]);
            for (int c = n - (h - 3) / 2 + 1; c <= n; ++c)
                exchange_halves(c - 1);
        }
    }
    return r;
}

Mm hilb(const Mm& n_)
{
    int n;
    if (!order_of(n_, n, "hilb") || n == 0)
        return nop_M;
    Mm r = new_dense(0, n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i)
            r.addr()[i + idx(j) * n] = r.addr()[j + idx(i) * n] = 1.0 / (i + j + 1);
    return r;
}

Mm invhilb(const Mm& n_)
{
    int k;
    if (!order_of(n_, k, "invhilb") || k == 0)
        return nop_M;
    Mm r = new_dense(0, k, k);
    auto H = [&](int i, int j) -> double& { return r.addr()[(i - 1) + idx(j - 1) * k]; };
    const double kk = double(static_cast<long long>(k) * k);
    double p = k;
    for (int i = 1; i <= k; ++i) {
        if (i > 1)
            p = (kk / (double(i - 1) * (i - 1)) - 1) * p;
        double rr = p * p;
        H(i, i) = rr / (2 * i - 1);
        for (int j = i + 1; j <= k; ++j) {
            rr = (1 - kk / (double(j - 1) * (j - 1))) * rr;
            H(i, j) = H(j, i) = rr / (i + j - 1);
        }
    }
    return r;
}

Mm rosser()
{
    static const double rows[8][8] = {
        {611, 196, -192, 407, -8, -52, -49, 29},     {196, 899, 113, -192, -71, -43, -8, -44},
        {-192, 113, 899, 196, 61, 49, 8, 52},        {407, -192, 196, 611, 8, 44, 59, -23},
        {-8, -71, 61, 8, 411, -599, 208, 208},       {-52, -43, 49, 44, -599, 411, 208, 208},
        {-49, -8, 8, 59, 208, 208, 99, -911},        {29, -44, 52, -23, 208, 208, -911, 99},
    };
    Mm r = new_dense(0, 8, 8);
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i)
            r.addr()[i + 8 * j] = rows[i][j];
    return r;
}

Mm gallery(const Mm& n_)
{
    static const double three[3][3] = {{-149, 537, -27}, {-50, 180, -9}, {-154, 546, -25}};
    static const double five[5][5] = {{-9, 70, -575, 3891, 1024},
                                      {11, -69, 575, -3891, -1024},
                                      {-21, 141, -1149, 7782, 2048},
                                      {63, -421, 3451, -23345, -6144},
                                      {-252, 1684, -13801, 93365, 24572}};
    int n;
    if (!order_of(n_, n, "gallery") || (n != 3 && n != 5))
        return nop_M;
    Mm r = new_dense(0, n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            r.addr()[i + n * j] = n == 3 ? three[i][j] : five[i][j];
    return r;
}

Mm toeplitz(const Mm& c, const Mm& r)
{
    const elements ce = elements_of(c), re = elements_of(r);
    const int m = ce.n, n = re.n;
    if (m == 0 || n == 0)
        return nop_M;
    const bool complex = ce.complex || re.complex;
    Mm t = new_dense(complex, m, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            const idx to = i + idx(j) * m;
            const bool lower = i >= j;
            const int k = lower ? i - j : j - i;
            t.addr()[to] = lower ? ce.re(k) : re.re(k);
            if (complex)
                t.addi()[to] = lower ? ce.im(k) : re.im(k);
        }
    return t;
}

Mm toeplitz(const Mm& c)
{
    // First row c, first column conj(c): Hermitian.
    if (isempty(c))
        return nop_M;
    Mm c1 = conj(dense_copy(c));
    if (c1.isc())
        c1.addi()[0] = -c1.addi()[0];
    return toeplitz(c1, c);
}

Mm hankel(const Mm& c)
{
    const int n = c.length();
    if (n == 0)
        return nop_M;
    if (!isvector(c)) {
        reshape(c, Mm(double(n)), Mm(1.0));  // raises the size message
        return x_M;
    }
    const elements ce = elements_of(c);
    Mm h = new_dense(ce.complex, n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int k = i + j;
            h.addr()[i + idx(j) * n] = k < n ? ce.re(k) : 0.0;
            if (ce.complex)
                h.addi()[i + idx(j) * n] = k < n ? ce.im(k) : 0.0;
        }
    return h;
}

Mm hankel(const Mm& c, const Mm& r)
{
    const int m = c.length(), n = r.length();
    if (m == 0 || n == 0)
        return nop_M;
    for (const Mm* v : {&c, &r})
        if (!isvector(*v)) {
            error("hankel: %s is not a vector", matrix_display_name(*v));
            return x_M;
        }
    const elements ce = elements_of(c), re = elements_of(r);
    const bool complex = ce.complex || re.complex;
    Mm h = new_dense(complex, m, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            const int k = i + j;  // 0-based c(i+j-1)
            const bool from_c = k < m;
            const int at = from_c ? k : k - m + 1;
            h.addr()[i + idx(j) * m] = from_c ? ce.re(at) : re.re(at);
            if (complex)
                h.addi()[i + idx(j) * m] = from_c ? ce.im(at) : re.im(at);
        }
    return h;
}

Mm vander(const Mm& c)
{
    const int n = c.length();
    if (n <= 0)
        return nop_M;
    const Mm col = checked(reshape(dense_copy(c), Mm(double(c.size())), Mm(1.0)), c.size(), 1);
    Mm v = checked(ones(double(n), double(n)), n, n);
    if (col.rows() != n) {
        // A matrix's column does not fit V's: the assignment's own message.
        v.vwcopy2(col, c_p, Mm(1.0));
        return x_M;
    }
    for (int j = 1; j <= n; ++j) {
        const Mm p = checked(power(col, Mm(double(n - j))), n, 1);
        if (p.isc() && !v.isc())
            v.getcomplex();
        std::memcpy(v.addr() + idx(j - 1) * n, p.addr(), sizeof(double) * n);
        if (v.isc())
            for (int i = 0; i < n; ++i)
                v.addi()[i + idx(j - 1) * n] = p.isc() ? p.addi()[i] : 0.0;
    }
    return v;
}

Mm wilkinson(const Mm& n_)
{
    int n;
    if (!order_of(n_, n, "wilkinson"))
        return nop_M;
    if (n <= 1)
        return n == 1 ? Mm(0.0) : nop_M;
    const double h = (n - 1) * 0.5;
    Mm w = square_zeros(n);
    for (int i = 0; i < n; ++i) {
        w.addr()[i + idx(i) * n] = std::fabs(-h + i);
        if (i + 1 < n)
            w.addr()[(i + 1) + idx(i) * n] = w.addr()[i + idx(i + 1) * n] = 1;
    }
    return w;
}

Mm pascalM(const Mm& n) { return pascalM(n, Mm(0.0)); }

Mm pascalM(const Mm& n_, const Mm& k_)
{
    int n;
    if (isempty(k_) || !order_of(n_, n, "pascal"))
        return nop_M;
    if (n == 0)
        return nop_M;
    const Mm kd = dense_copy(k_);
    if (kd.isc() && kd.addi()[0] != 0) {
        error("pascal: k must be real");
        return nop_M;
    }
    const double k = kd.addr()[0];
    Mm p = square_zeros(n);
    auto P = [&](int i, int j) -> double& { return p.addr()[(i - 1) + idx(j - 1) * n]; };
    for (int i = 1; i <= n; ++i)
        P(i, 1) = 1;
    if (k == 0) {
        for (int j = 1; j <= n; ++j)
            P(1, j) = 1;
        for (int i = 2; i <= n; ++i)
            for (int j = 2; j <= n; ++j)
                P(i, j) = P(i, j - 1) + P(i - 1, j);
        return p;
    }
    for (int i = 2; i <= n; ++i)
        for (int j = i; j >= 2; --j)  // from the right: row i-1 is read before row i is written
            P(i, j) = P(i - 1, j) + P(i - 1, j - 1);
    for (int j = 2; j <= n; j += 2)
        for (int i = 1; i <= n; ++i)
            P(i, j) = -P(i, j);
    if (k == 2) {
        p = checked(rot90(p), n, n);
        for (int i = 1; i <= n; ++i)
            P(i, n) = -P(i, n);
        for (int j = 1; j <= n; ++j)
            P(n, j) = -P(n, j);
        if (n % 2 == 0)
            for (int e = 0; e < n * n; ++e)
                p.addr()[e] = -p.addr()[e];
    }
    return p;
}

Mm hadamard(Mm n_)
{
    int k;
    if (!order_of(n_, k, "hadamard") || k == 0)
        return nop_M;
    int e;
    Mm h;
    auto power_of_two = [&](double v) {
        const double f = std::frexp(v, &e);
        return f == 0.5 && e >= 1;
    };
    if (power_of_two(k))
        h = Mm(1.0);
    else if (power_of_two(k * (1.0 / 12))) {
        const double c[11] = {-1, -1, 1, -1, -1, -1, 1, 1, 1, -1, 1};
        const double r[11] = {-1, 1, -1, 1, 1, 1, -1, -1, -1, 1, -1};
        h = new_dense(0, 12, 12);
        for (int j = 0; j < 12; ++j)
            for (int i = 0; i < 12; ++i) {
                double v = 1;
                if (i > 0 && j > 0)
                    v = i >= j ? c[i - j] : r[j - i];
                h.addr()[i + 12 * j] = v;
            }
    } else if (power_of_two(k * 0.05)) {
        const double c[19] = {-1, -1, 1, 1, -1, -1, -1, -1, 1, -1, 1, -1, 1, 1, 1, 1, -1, -1, 1};
        const double r[19] = {1, -1, -1, 1, 1, -1, -1, -1, -1, 1, -1, 1, -1, 1, 1, 1, 1, -1, -1};
        h = new_dense(0, 20, 20);
        for (int j = 0; j < 20; ++j)
            for (int i = 0; i < 20; ++i) {
                double v = 1;
                if (i > 0 && j > 0) {
                    const int s = (i - 1) + (j - 1);  // hankel(c, r): c(s+1) or r(s-18+1)
                    v = s < 19 ? c[s] : r[s - 18];
                }
                h.addr()[i + 20 * j] = v;
            }
    } else {
        error("hadamard: %s is not 2^N, 12*2^N or 20*2^N", matrix_display_name(n_));
        return x_M;
    }
    // Double e - 1 times: [H H; H -H].
    for (int step = 1; step < e; ++step) {
        const int m = h.rows();
        Mm d = new_dense(0, 2 * m, 2 * m);
        for (int j = 0; j < m; ++j)
            for (int i = 0; i < m; ++i) {
                const double v = h.addr()[i + idx(j) * m];
                d.addr()[i + idx(j) * 2 * m] = v;
                d.addr()[i + idx(j + m) * 2 * m] = v;
                d.addr()[(i + m) + idx(j) * 2 * m] = v;
                d.addr()[(i + m) + idx(j + m) * 2 * m] = -v;
            }
        h = d;
    }
    return h;
}

Mm compan(const Mm& c)
{
    const int n = c.length();
    if (n <= 1)
        return nop_M;
    if (!isvector(c)) {
        error("compan:x must be vector");
        return x_M;
    }
    const elements ce = elements_of(c);
    if (n == 2) {
        // -c(2)/c(1)
        return uminus(rdivide(Mm(ce.value(Mm(2.0))), Mm(ce.value(Mm(1.0)))));
    }
    const int m = n - 1;
    Mm a = checked(czeros(ce.complex, m, m), m, m);
    for (int i = 1; i < m; ++i)
        a.addr()[i + idx(i - 1) * m] = 1;
    // The coefficients after the first keep c's orientation.
    const bool row = c.rows() == 1;
    const Mm first =
        checked(uminus(rdivide(Mm(ce.value(colon(2.0, double(n)))), Mm(ce.value(Mm(1.0))))), row ? 1 : m, row ? m : 1);
    for (int j = 0; j < m; ++j) {
        a.addr()[idx(j) * m] = first.addr()[j];
        if (ce.complex)
            a.addi()[idx(j) * m] = first.isc() ? first.addi()[j] : 0.0;
    }
    return a;
}

Mm cauchy(const Mm& x, const Mm& y)
{
    const elements xe = elements_of(x), ye = elements_of(y);
    const int m = xe.n, n = ye.n;
    if (m == 0 || n == 0)
        return nop_M;
    Mm c = new_dense(0, m, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i)
            c.addr()[i + idx(j) * m] = 1.0 / (xe.re(i) + ye.re(j));
    return c;
}

Mm cauchy(const Mm& x)
{
    if (isempty(x))
        return nop_M;
    if (x.size() == 1) {
        const Mm v = colon(Mm(1.0), Mm(1.0), dense_copy(x));
        return cauchy(v, v);
    }
    return cauchy(x, x);
}
