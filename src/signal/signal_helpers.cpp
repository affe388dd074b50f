// Small signal functions: the Kronecker product (dense and sparse),
// trapezoidal integration, nextpow2, the frequency grids of freqspace and
// the remezf stub.
#include "signal/storage.hpp"
#include "array/constructors.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

namespace {

// The columns of a sparse value that hold stored entries, with the range
// of those entries, found from the entries alone: a list of starts for
// every column of the longest row (2^31 - 1 columns) took 8 GB.
struct stored_column {
    int column, first, last;  // entries first .. last-1
};

std::vector<stored_column> stored_columns(const Mm& s, int rows)
{
    std::vector<stored_column> out;
    const int nnz = s.getnnz();
    const int* pos = s.getindex();
    for (int e = 0; e < nnz; ++e) {
        const int c = pos[e] / rows;
        if (out.empty() || out.back().column != c)
            out.push_back({c, e, e});
        out.back().last = e + 1;
    }
    return out;
}

Mm kron_real(const Mm& A, const Mm& B, int ma, int na, int mb, int nb)
{
    const std::int64_t rows = std::int64_t(ma) * mb, cols = std::int64_t(na) * nb;
    if ((A.issparse() || B.issparse()) && rows * cols > INT_MAX) {
        report_sparse_too_large(double(rows), double(cols));
        return x_M;
    }
    if (rows > INT_MAX || cols > INT_MAX) {
        error("Out of memory!");
        return x_M;
    }
    if (!A.issparse() && !B.issparse()) {
        Mm K = shaped(0, int(rows), int(cols));
        const double* a = A.addr();
        const double* b = B.addr();
        double* k = K.addr();
        for (int j = 0; j < na; ++j)
            for (int q = 0; q < nb; ++q) {
                double* column = k + (std::int64_t(j) * nb + q) * rows;
                const double* bq = b + std::int64_t(q) * mb;
                for (int i = 0; i < ma; ++i) {
                    const double aij = a[i + std::int64_t(j) * ma];
                    double* block = column + std::int64_t(i) * mb;
                    for (int p = 0; p < mb; ++p)
                        block[p] = aij * bq[p];
                }
            }
        return K;
    }
    // A stored zero (left by spalloc or an assignment) takes part as the
    // zero it is: no product with it is stored, and Inf or NaN times it is
    // not NaN.
    const Mm sa = A.issparse() ? without_stored_zeros(A) : sparse(A);
    const Mm sb = B.issparse() ? without_stored_zeros(B) : sparse(B);
    if (!sa.issparse() || !sb.issparse())
        return x_M;  // refused under a returning hook
    const std::int64_t room = std::int64_t(sa.getnnz()) * sb.getnnz();
    if (room > INT_MAX) {
        error("Out of memory!");
        return x_M;
    }
    Mm K(0, 1, int(room), int(rows), int(cols), qv_double);
    if (!K.issparse() || K.getnnz() != room)
        throw std::bad_alloc();
    const std::vector<stored_column> ca = stored_columns(sa, ma), cb = stored_columns(sb, mb);
    const int* pa = sa.getindex();
    const int* pb = sb.getindex();
    int* pk = K.getindex();
    double* vk = K.addr();
    int e = 0;
    for (const stored_column& a : ca)
        for (const stored_column& b : cb) {
            const std::int64_t column = std::int64_t(a.column) * nb + b.column;
            for (int s = a.first; s < a.last; ++s) {
                const int i = int(pa[s] - std::int64_t(a.column) * ma);
                for (int t = b.first; t < b.last; ++t) {
                    const int p = int(pb[t] - std::int64_t(b.column) * mb);
                    pk[e] = int((std::int64_t(i) * mb + p) + column * rows);
                    vk[e] = sa.addr()[s] * sb.addr()[t];
                    ++e;
                }
            }
        }
    K.getnnz() = e;
    return K;
}

} // namespace

Mm kron(const Mm& A0, const Mm& B0)
{
    const Mm A = A0.issparse() ? A0 : mdouble(A0), B = B0.issparse() ? B0 : mdouble(B0);
    const int ma = A.rows(), mb = B.rows();
    if (ma == 0 || mb == 0 || A.size() == 0 || B.size() == 0)
        return nop_M;
    const int na = A.size() / ma, nb = B.size() / mb;
    if (A.isc() || B.isc()) {
        const Mm ar = real(A), br = real(B);
        if (A.isc() && !B.isc())
            return plus(kron(ar, B), times(i, kron(imag(A), B)));
        if (!A.isc())
            return plus(kron(A, br), times(i, kron(A, imag(B))));
        const Mm ai = imag(A), bi = imag(B);
        return plus(minus(kron(ar, br), kron(ai, bi)), times(i, plus(kron(ar, bi), kron(ai, br))));
    }
    return kron_real(A, B, ma, na, mb, nb);
}

Mm kron(const Mm&) { return Mm(error_input("kron", 1)); }

// ---- trapezoidal integration ----

namespace {

void plain_trapezoid_sums(const double* x, const double* yr, const double* yi, int m, double& sr, double& si)
{
    // local sums: the results may not be written through on every step
    double r = 0, i = 0;
    for (int k = 0; k + 1 < m; ++k)
        r += (x[k + 1] - x[k]) * (0.5 * (yr[k] + yr[k + 1]));
    if (yi)
        for (int k = 0; k + 1 < m; ++k)
            i += (x[k + 1] - x[k]) * (0.5 * (yi[k] + yi[k + 1]));
    sr = r;
    si = i;
}

// The integral of one column (real part into sr, imaginary into si when yi
// is not null). Steps and sums of values near the largest double overflow
// though the integral need not: such a column is summed again with x and y
// in powers of two that bring them to [1, 2), and the result scaled back.
void trapezoid_sums(const double* x, const double* yr, const double* yi, int m, double& sr, double& si)
{
    double r = 0, i = 0;
    plain_trapezoid_sums(x, yr, yi, m, r, i);
    if (!std::isfinite(r) || !std::isfinite(i)) {
        const int ex = size_exponent(x, nullptr, m), ey = size_exponent(yr, yi, m);
        std::vector<double> sx(x, x + m), syr(yr, yr + m), syi(yi ? yi : yr, (yi ? yi : yr) + m);
        for (int k = 0; k < m; ++k) {
            sx[std::size_t(k)] = std::ldexp(x[k], -ex);
            syr[std::size_t(k)] = std::ldexp(yr[k], -ey);
            syi[std::size_t(k)] = yi ? std::ldexp(yi[k], -ey) : 0.0;
        }
        double rs = 0, is = 0;
        plain_trapezoid_sums(sx.data(), syr.data(), yi ? syi.data() : nullptr, m, rs, is);
        if (!std::isfinite(r))
            r = std::ldexp(rs, ex + ey);
        if (!std::isfinite(i))
            i = std::ldexp(is, ex + ey);
    }
    sr = r;
    si = i;
}

} // namespace

Mm trapz(const Mm& x0, const Mm& y0)
{
    Mm Y = mdouble(full(y0));
    if (isvector(Y))
        Y.reshape(Y.size(), 1);
    const int m = Y.rows(), cols = m > 0 ? Y.size() / m : 0;
    const Mm x = mdouble(full(x0));
    if (x.size() != m || m < 1) {
        error("trapz: a,b sizes not consistent");
        return x_M;
    }
    // diff(x) * H with H the means of neighbouring rows
    Mm r = shaped_zeros(Y.isc(), 1, cols);
    const double* xv = x.addr();
    for (int c = 0; c < cols; ++c) {
        const double* yr = Y.addr() + std::int64_t(c) * m;
        const double* yi = Y.addi() ? Y.addi() + std::int64_t(c) * m : nullptr;
        double sr = 0, si = 0;
        trapezoid_sums(xv, yr, yi, m, sr, si);
        r.addr()[c] = sr;
        if (yi)
            r.addi()[c] = si;
    }
    return r;
}

Mm trapz(const Mm& y)
{
    const int n = y.length();
    if (n == 0)
        return y;
    if (n == 1)
        return Mm(0.0);
    const int m = isvector(y) ? n : y.rows();
    return trapz(colon(1.0, double(m)), y);
}

// ---- powers of two and frequency grids ----

Mm nextpow2(const Mm& x)
{
    double v;
    if (x.size() != 1) {
        v = x.size();
    } else {
        if (error_numeric(x, "nextpow2"))
            return x_M;
        const Mm d = mdouble(full(x));
        if (d.size() != 1)
            return x_M;  // "Out of memory!" went to a hook that returned
        v = d.addi() ? std::hypot(d.addr()[0], d.addi()[0]) : std::fabs(d.addr()[0]);
    }
    // NaN and Inf have no exponent of their own for frexp to give
    if (!std::isfinite(v))
        return Mm(v);
    int e = 0;
    const double f = std::frexp(v, &e);
    return Mm(double(f == 0.5 ? e - 1 : e));
}

Mm freqspace(const Mm& n)
{
    const double v = number_at(mdouble(n), 0);
    return colon(0.0, 2.0 / v, 1.0);
}

Mm freqspace(const Mm& n, const Mm&)
{
    const double v = number_at(mdouble(n), 0);
    return colon(0.0, 2.0 / v, 2.0 * (v - 1) / v);
}

namespace {

// ((0 : count-1) - floor(count/2)) * (2/count)
Mm centred_row(double count)
{
    return times(minus(colon(0.0, count - 1), Mm(std::floor(count / 2))), Mm(2.0 / count));
}

} // namespace

Mm freqspace(const Mm& n0, i_o_t, Mm& f1, Mm& f2)
{
    const Mm n = mdouble(n0);
    const double r = number_at(n, 0), c = n.size() > 1 ? number_at(n, 1) : r;
    const Mm a = centred_row(c), b = centred_row(r);
    f1 = a;
    f2 = b;
    return x_M;
}

Mm freqspace(const Mm& n, const Mm&, i_o_t, Mm& x, Mm& y)
{
    Mm f1, f2;
    freqspace(n, i_o, f1, f2);
    return meshgrid(f1, f2, i_o, x, y);
}

// ---- remezf: present as a stub ----

Mm remezf(const Mm&, const Mm&, const Mm&, const Mm&, const Mm&) { return NaN; }

Mm remezf(const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, i_o_t, Mm& h, Mm& e, Mm& r)
{
    h = NaN;
    e = Mm(1.0);
    r = Mm(1.0);
    return x_M;
}
