// conv and deconv: polynomial products by blocked DAXPY accumulation, or by
// FFT when both operands are long and finite, and division through filter.
#include "signal/filter_internal.hpp"
#include "signal/storage.hpp"
#include "linalg/lapack.hpp"
#include "signal/fft_internal.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr int direct_limit = 500;  // below this length on either side: direct
constexpr int block = 256;         // elements of the longer operand per sweep

// y[i + j] += s[i] * t[j]: one DAXPY per element of the driving operand s,
// the other swept in blocks that stay in cache while s passes over them. A
// zero s[i] adds nothing, whatever t holds: DAXPY returns at once for a
// zero factor, and the test here keeps that so under any BLAS.
void accumulate(const double* s, int ls, const double* t, int lt, double* y)
{
    const int one = 1;
    for (int start = 0; start < lt; start += block) {
        const int len = std::min(block, lt - start);
        for (int i = 0; i < ls; ++i)
            if (s[i] != 0)
                daxpy_(&len, &s[i], t + start, &one, y + start + i, &one);
    }
}

bool all_finite(const double* v, int n)
{
    for (int k = 0; k < n; ++k)
        if (!std::isfinite(v[k]))
            return false;
    return true;
}

// Both parts of an operand finite: the FFT spreads a NaN or Inf over every
// output, where the sum touches only the outputs that element reaches.
bool finite_operand(const Mm& v)
{
    return all_finite(v.addr(), v.size()) && (!v.addi() || all_finite(v.addi(), v.size()));
}

// The smallest power of two not below n, from frexp's split n = m 2^e.
int fft_length(int n)
{
    int e = 0;
    const double m = std::frexp(double(n), &e);
    return m == 0.5 ? 1 << (e - 1) : 1 << e;
}

// The first `count` elements of v padded with zeros to a len x 1 column.
Mm padded_column(const Mm& v, int count, int len)
{
    Mm c = shaped(v.isc(), len, 1);
    std::memcpy(c.addr(), v.addr(), sizeof(double) * count);
    std::fill(c.addr() + count, c.addr() + len, 0.0);
    if (v.isc()) {
        std::memcpy(c.addi(), v.addi(), sizeof(double) * count);
        std::fill(c.addi() + count, c.addi() + len, 0.0);
    }
    return c;
}

} // namespace

Mm conv(Mm a, Mm b)
{
    a = mdouble(full(a));
    b = mdouble(full(b));
    const int la = a.length(), lb = b.length();
    if (la == 0 || lb == 0)
        return nop_M;
    if (la == 1 || lb == 1)
        return times(a, b);
    const int n = la + lb - 1;
    const bool complex = a.isc() || b.isc();
    const Mm& longer = la > lb ? a : b;
    const bool as_row = longer.rows() == 1;
    const int rows = as_row ? 1 : n, cols = as_row ? n : 1;

    if (la < direct_limit || lb < direct_limit || !finite_operand(a) || !finite_operand(b)) {
        Mm y = shaped_zeros(complex, rows, cols);
        const double *ar = a.addr(), *ai = a.addi(), *br = b.addr(), *bi = b.addi();
        // the shorter operand drives, b on equal lengths
        auto add = [&](const double* from_a, const double* from_b, double* into) {
            if (la < lb)
                accumulate(from_a, la, from_b, lb, into);
            else
                accumulate(from_b, lb, from_a, la, into);
        };
        add(ar, br, y.addr());
        if (ai)
            add(ai, br, y.addi());
        if (bi)
            add(ar, bi, y.addi());
        if (ai && bi) {
            const int one = 1;
            for (int i = 0; i < la; ++i) {
                const double f = -ai[i];
                if (f != 0)
                    daxpy_(&lb, &f, bi, &one, y.addr() + i, &one);
            }
        }
        return y;
    }

    const int len = fft_length(n);
    const Mm fa = fft_core(padded_column(a, la, len), -1, len, false);
    const Mm fb = fft_core(padded_column(b, lb, len), -1, len, false);
    const Mm c = fft_core(times(fa, fb), +1, len, false);
    Mm y = shaped(complex, rows, cols);
    std::memcpy(y.addr(), c.addr(), sizeof(double) * n);
    if (complex)
        std::memcpy(y.addi(), c.addi(), sizeof(double) * n);
    return y;
}

Mm conv(const Mm& x) { return conv(x, x); }

Mm deconv(const Mm& b, const Mm& a, i_o_t, Mm& q, Mm& r)
{
    const int lb = b.length(), la = a.length();
    if (lb < la) {
        Mm bb = b;
        q = Mm(0.0);
        r = bb;
        return x_M;
    }
    const int k = lb - la + 1;
    // the impulse response of b/a: long division
    Mm quotient = filter_impulse(b, a, k);
    if (b.rows() != 1 && quotient.size() == k)
        quotient.reshape(k, 1);
    Mm remainder = b - conv(a, quotient);
    q = quotient;
    r = remainder;
    return x_M;
}

Mm deconv(const Mm& b, const Mm& a)
{
    Mm q, r;
    deconv(b, a, i_o, q, r);
    return q;
}

Mm deconv(const Mm& x, i_o_t, Mm&, Mm&)
{
    error_input("deconv", 1);
    return x_M;
}

Mm deconv(const Mm&)
{
    error_input("deconv", 1);
    return x_M;
}
