// conv2 and filter2: two-dimensional convolution by DAXPY accumulation
// driven by the smaller operand's non-zeros, the separable form on
// one-dimensional conv, and correlation as convolution with h rotated.
#include "signal/storage.hpp"
#include "linalg/lapack.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The shape letter: 'v' valid, 's' same, anything else full.
char shape_letter(const Mm& shape)
{
    if (shape.size() <= 0 || shape.gettype() != qv_double)
        return 'f';
    const double c = shape.addr()[0];
    return c == 'v' ? 'v' : c == 's' ? 's' : 'f';
}

// c(is + i, js + jt) += w * t(i, jt) for every non-zero w = s(is, js).
void accumulate2(const double* s, int ms, int ns, const double* t, int mt, int nt, double* c, int ldc, bool negate)
{
    const int one = 1;
    for (int js = 0; js < ns; ++js)
        for (int is = 0; is < ms; ++is) {
            double w = s[is + std::int64_t(js) * ms];
            if (w == 0)
                continue;
            if (negate)
                w = -w;
            for (int jt = 0; jt < nt; ++jt)
                daxpy_(&mt, &w, t + std::int64_t(jt) * mt, &one, c + is + std::int64_t(js + jt) * ldc, &one);
        }
}

// Rows r0 .. r0 + rows - 1 and columns c0 .. (0-based) of z.
Mm block_of(const Mm& z, int r0, int rows, int c0, int cols)
{
    if (rows <= 0 || cols <= 0)
        return nop_M;
    Mm out = shaped(z.isc(), rows, cols);
    for (int j = 0; j < cols; ++j) {
        const std::int64_t from = r0 + std::int64_t(c0 + j) * z.rows(), to = std::int64_t(j) * rows;
        std::memcpy(out.addr() + to, z.addr() + from, sizeof(double) * rows);
        if (z.isc())
            std::memcpy(out.addi() + to, z.addi() + from, sizeof(double) * rows);
    }
    return out;
}

Mm zeros_like(const Mm& a)
{
    Mm z = shaped(0, a.rows(), a.cols());
    std::fill(z.addr(), z.addr() + z.size(), 0.0);
    return z;
}

} // namespace

Mm conv2(Mm a, Mm b, const Mm& shape)
{
    if (!shape.isstr())
        return conv2(a, b, shape, TM("full"));
    a = mdouble(full(a));
    b = mdouble(full(b));
    const char letter = shape_letter(shape);
    if (a.size() == 0 || b.size() == 0)
        return letter == 's' ? zeros_like(a) : nop_M;
    const bool a_larger = a.size() >= b.size();
    const Mm& l = a_larger ? a : b;
    const Mm& s = a_larger ? b : a;
    const int ml = l.rows(), nl = l.cols(), ms = s.rows(), ns = s.cols();
    const int mz = ml + ms - 1, nz = nl + ns - 1;
    Mm z = shaped_zeros(l.isc() || s.isc(), mz, nz);
    accumulate2(s.addr(), ms, ns, l.addr(), ml, nl, z.addr(), mz, false);
    if (l.isc())
        accumulate2(s.addr(), ms, ns, l.addi(), ml, nl, z.addi(), mz, false);
    if (s.isc())
        accumulate2(s.addi(), ms, ns, l.addr(), ml, nl, z.addi(), mz, false);
    if (l.isc() && s.isc())
        accumulate2(s.addi(), ms, ns, l.addi(), ml, nl, z.addr(), mz, true);

    if (letter == 'v')
        return block_of(z, ms - 1, ml - ms + 1, ns - 1, nl - ns + 1);
    if (letter == 's')
        return a_larger ? block_of(z, ms / 2, ml, ns / 2, nl) : block_of(z, ml / 2, ms, nl / 2, ns);
    return z;
}

Mm conv2(Mm u, Mm v, Mm A, const Mm& shape)
{
    u = mdouble(full(u));
    v = mdouble(full(v));
    A = mdouble(full(A));
    const int lu = u.length(), lv = v.length(), ma = A.rows(), na = A.cols();
    if (ma == 0 || lu == 0 || lv == 0 || na == 0)
        return nop_M;
    u.reshape(lu, 1);
    v.reshape(1, lv);
    const int mz = lu + ma - 1, nz = lv + na - 1;
    // along the columns, then along the rows of the first na columns
    Mm cols = shaped(1, mz, na);
    bool complex = false;
    Mm column = shaped(A.isc(), ma, 1);
    for (int j = 0; j < na; ++j) {
        std::memcpy(column.addr(), A.addr() + std::int64_t(j) * ma, sizeof(double) * ma);
        if (A.isc())
            std::memcpy(column.addi(), A.addi() + std::int64_t(j) * ma, sizeof(double) * ma);
        const Mm c = conv(column, u);
        std::memcpy(cols.addr() + std::int64_t(j) * mz, c.addr(), sizeof(double) * mz);
        if (c.isc())
            std::memcpy(cols.addi() + std::int64_t(j) * mz, c.addi(), sizeof(double) * mz);
        else
            std::fill(cols.addi() + std::int64_t(j) * mz, cols.addi() + std::int64_t(j + 1) * mz, 0.0);
        complex = complex || c.isc();
    }
    Mm z = shaped(1, mz, nz);
    Mm row = shaped(complex, 1, na);
    bool any_complex = false;
    for (int i = 0; i < mz; ++i) {
        for (int j = 0; j < na; ++j) {
            row.addr()[j] = cols.addr()[i + std::int64_t(j) * mz];
            if (complex)
                row.addi()[j] = cols.addi()[i + std::int64_t(j) * mz];
        }
        const Mm c = conv(row, v);
        for (int j = 0; j < nz; ++j) {
            z.addr()[i + std::int64_t(j) * mz] = c.addr()[j];
            z.addi()[i + std::int64_t(j) * mz] = c.isc() ? c.addi()[j] : 0.0;
        }
        any_complex = any_complex || c.isc();
    }
    if (!any_complex)
        z.getreal(1);

    const char letter = shape_letter(shape);
    if (letter == 'v')
        return block_of(z, lu - 1, ma - lu + 1, lv - 1, na - lv + 1);
    if (letter == 's')
        return block_of(z, lu / 2, ma, lv / 2, na);
    return z;
}

Mm conv2(const Mm& a, const Mm& b) { return conv2(a, b, TM("full")); }
Mm conv2(const Mm& a) { return conv2(a, a, TM("full")); }

Mm filter2(const Mm& h, const Mm& x, const Mm& shape)
{
    const Mm s = rot90(h, Mm(2.0));
    if (s.rows() == 1)
        return conv2(Mm(1.0), s, x, shape);
    if (s.cols() == 1)
        return conv2(s, Mm(1.0), x, shape);
    return conv2(x, s, shape);
}

Mm filter2(const Mm& h, const Mm& x) { return filter2(h, x, TM("same")); }
Mm filter2(const Mm&) { return Mm(error_input("filter2", 1)); }
