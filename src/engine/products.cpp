// The matrix operations beside the element-wise engine: triangular parts,
// the matrix product (BLAS for full operands, a column accumulator for
// sparse ones), right division through left division, and the operators
// with a plain double on either side.
#include "engine/scalar_fast.hpp"
#include "engine/scalar_real.hpp"
#include "engine/split_gemm.hpp"
#include "platform/blas.hpp"
#include "value/globals.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstring>

namespace {

// The kept elements of a full value of element type T, the rest zero.
template <class T>
Mm triangular_full(const Mm& x, int m, int n, bool lower, int offset)
{
    const bool complex = x.isc();
    Mm out(complex, 0, 0, m, n, static_cast<qv_matrix_types>(x.gettype()));
    if (out.size() != std::int64_t{m} * n)
        return x_M;  // "Out of memory!" went to a hook that returned: no room to write
    const T* re = x.getpr((T*)nullptr);
    const T* im = x.getpi((T*)nullptr);
    T* ore = out.getpr((T*)nullptr);
    T* oim = out.getpi((T*)nullptr);
    for (long long j = 0; j < n; ++j)
        for (long long i = 0; i < m; ++i) {
            const long long at = i + j * m;
            const bool keep = lower ? j - i <= offset : j - i >= offset;
            ore[at] = keep ? re[at] : T(0);
            if (complex)
                oim[at] = keep ? im[at] : T(0);
        }
    out.setlogical(x.islogical());
    return out;
}

Mm triltriu(const Mm& a, const Mm& k, bool lower)
{
    Mm kd = k.gettype() == qv_double ? full(k) : mdouble(full(k));
    const int offset = kd.size() > 0 ? saturate_to_int(*kd.addr()) : 0;  // an empty k counts as 0
    const int m = a.rows();
    if (m == 0)
        return nop_M;
    if (error_numeric(a, lower ? "tril" : "triu"))
        return x_M;
    const int n = a.size() / m;
    if (a.gettype() == qv_uint8)
        return triangular_full<unsigned char>(a, m, n, lower, offset);
    if (!a.issparse())
        return triangular_full<double>(a, m, n, lower, offset);
    const bool complex = a.isc();
    Mm out(complex, 1, a.getnnz(), m, n, qv_double);
    if (!out.issparse())
        return x_M;  // refused under a returning hook: no entries to write into
    int kept = 0;
    for (int e = 0; e < a.getnnz(); ++e) {
        const long long at = a.getindex()[e], i = at % m, j = at / m;
        if (lower ? j - i > offset : j - i < offset)
            continue;
        out.getindex()[kept] = static_cast<int>(at);
        out.addr()[kept] = a.addr()[e];
        if (complex)
            out.addi()[kept] = a.addi()[e];
        ++kept;
    }
    out.getnnz() = kept;
    return out;
}

// A times B with at least one sparse operand: one dense accumulator column
// of m entries, reused for every column of B that stores something; only
// occupied rows are stored,
// found from the list of rows the column touched (sorted) where they are
// few, by a scan of the column where they are many: scanning all m rows
// for each of the n columns made S*S of a 46340^2 value with 10^5 entries
// cost 2^31 steps.
Mm sparse_product(Mm a, Mm b)
{
    match_sparsity(a, b);
    // A stored zero takes no part, as an unstored one does not: 0 * NaN
    // would otherwise leave NaN where the product holds 0.
    a = without_stored_zeros(a);
    b = without_stored_zeros(b);
    if (!a.issparse() || !b.issparse())
        return x_M;  // a conversion refused under a returning hook
    const int m = a.rows(), k = a.cols(), n = b.cols();
    // Where A's columns start: a column pointer per column, or, where the
    // columns far outnumber A's entries (a row of 2^31 elements times a
    // column), the occupied columns alone, found by a binary search.
    const int na = a.getnnz();
    const int* ia = a.getindex();
    const bool few_columns = k <= 2 * std::int64_t{na} + 1024;
    struct heap_ints {
        int* p;
        ~heap_ints() { freeIrJc(nullptr, p); }
    };
    int a_bounds[4];
    heap_ints jca{few_columns ? build_jc(k, a.size(), na, ia, a_bounds) : nullptr};
    if (few_columns && !jca.p)
        return x_M;
    scratch<int> a_column(few_columns ? 0 : std::size_t(na)), a_start(few_columns ? 0 : std::size_t(na) + 1);
    int a_columns = 0;
    for (int f = 0; !few_columns && f < na; ++f) {
        const int c = ia[f] / m;
        if (a_columns == 0 || a_column[a_columns - 1] != c) {
            a_column[a_columns] = c;
            a_start[a_columns++] = f;
        }
    }
    if (!few_columns)
        a_start[a_columns] = na;
    auto column_of_a = [&](int l, int& from, int& to) {
        if (few_columns) {
            from = jca.p[l];
            to = jca.p[l + 1];
            return;
        }
        const int* at = std::lower_bound(a_column.get(), a_column.get() + a_columns, l);
        const bool here = at != a_column.get() + a_columns && *at == l;
        const std::ptrdiff_t i = at - a_column.get();
        from = here ? a_start[i] : 0;
        to = here ? a_start[i + 1] : 0;
    };
    const bool a_complex = a.isc(), b_complex = b.isc(), complex = a_complex || b_complex;
    Mm out(complex, 1, a.getnnz() + b.getnnz(), m, n, qv_double);
    if (!out.issparse())
        return x_M;
    scratch<double> acc_re(m), acc_im(complex ? m : 0);
    scratch<char> occupied(m);
    scratch<int> touched(m);
    if (m > 0) {
        std::memset(acc_re.get(), 0, sizeof(double) * m);
        if (complex)
            std::memset(acc_im.get(), 0, sizeof(double) * m);
        std::memset(occupied.get(), 0, m);
    }
    const double *ar = a.addr(), *ai = a.addi(), *br = b.addr(), *bi = b.addi();
    const int* ib = b.getindex();
    const int nb = b.getnnz();
    int stored = 0;
    // B's entries ascend: each run of one column is one column of the product.
    for (int e_first = 0; e_first < nb;) {
        const int j = ib[e_first] / k;
        int e_end = e_first;
        while (e_end < nb && ib[e_end] / k == j)
            ++e_end;
        int t = 0;  // rows this column touched
        for (int e = e_first; e < e_end; ++e) {
            const int l = ib[e] - j * k;  // row of B, column of A
            int from, to;
            column_of_a(l, from, to);
            for (int f = from; f < to; ++f) {
                const int r = ia[f] - l * m;
                if (b_complex && a_complex) {
                    acc_re[r] += ar[f] * br[e] - ai[f] * bi[e];
                    acc_im[r] += ai[f] * br[e] + ar[f] * bi[e];
                } else if (a_complex) {
                    acc_re[r] += ar[f] * br[e];
                    acc_im[r] += ai[f] * br[e];
                } else if (b_complex) {
                    acc_re[r] += ar[f] * br[e];
                    acc_im[r] += ar[f] * bi[e];
                } else
                    acc_re[r] += ar[f] * br[e];
                if (!occupied[r])
                    touched[t++] = r;
                occupied[r] = 1;
            }
        }
        const bool few = std::int64_t{t} * 16 < m;
        if (few)
            std::sort(touched.get(), touched.get() + t);
        for (int q = 0, end = few ? t : m; q < end; ++q) {
            const int r = few ? touched[q] : q;
            if (!occupied[r])
                continue;
            if (stored == out.getp() - 8) {  // room for the stored entries runs out: double it
                out.getnnz() = stored;
                out.extend_nnz(2 * stored > 0 ? 2 * stored : 1);
                if (stored >= out.getp() - 8)
                    return x_M;  // the growth was refused
            }
            // An exactly cancelled sum is still stored.
            out.getindex()[stored] = r + j * m;
            out.addr()[stored] = acc_re[r];
            if (complex)
                out.addi()[stored] = acc_im[r];
            ++stored;
            acc_re[r] = 0;
            if (complex)
                acc_im[r] = 0;
            occupied[r] = 0;
        }
        e_first = e_end;
    }
    out.getnnz() = stored;
    return out;
}

} // namespace

Mm tril(const Mm& a) { return triltriu(a, zero_M, true); }
Mm tril(const Mm& a, const Mm& k) { return triltriu(a, k, true); }
Mm triu(const Mm& a) { return triltriu(a, zero_M, false); }
Mm triu(const Mm& a, const Mm& k) { return triltriu(a, k, false); }

Mm operator*(const Mm& a, const Mm& b)
{
    if (plain_scalar(a) && plain_scalar(b))
        return scalar_result(*a.addr() * *b.addr());
    if (a.size() < 2 || b.size() < 2)
        return Mm(a.isc() || b.isc(), a, b, nop_M, op_mtimes, 0, l_M);
    if (a.cols() != b.rows()) {
        error("*: wrong dimensions of: %s %dx%d, %s %dx%d", matrix_display_name(a), a.rows(), a.cols(),
              matrix_display_name(b), b.rows(), b.cols());
        return x_M;
    }
    if (a.issparse() || b.issparse()) {
        // A full operand of more than two dimensions would be laid out as a
        // matrix it is not.
        if (error_2d(a, "*") || error_2d(b, "*"))
            return x_M;
        Mm p = sparse_product(a, b);
        return a.issparse() && b.issparse() ? p : full(p);
    }
    if (error_numeric(a, "*") || error_numeric(b, "*") || error_2d(a, "*") || error_2d(b, "*"))
        return x_M;
    Mm fa = a.gettype() == qv_double ? a : mdouble(a);
    Mm fb = b.gettype() == qv_double ? b : mdouble(b);
    const int m = fa.rows(), k = fa.cols(), n = fb.cols();
    const bool complex = fa.isc() || fb.isc();
    Mm p(complex, 0, 0, m, n, qv_double);
    if (p.size() != std::int64_t{m} * n)
        return p;  // "Out of memory!" went to a hook that returned
    split_gemm("N", "N", m, n, k, 1.0, fa.addr(), fa.addi(), m, fb.addr(), fb.addi(), k, 0.0, p.addr(),
               complex ? p.addi() : nullptr, m);
    return p;
}

Mm mtimes(const Mm& a, const Mm& b) { return a * b; }

namespace {

// A full double operand the fused product can hand to the BLAS as it stands.
bool blas_ready(const Mm& x)
{
    return x.gettype() == qv_double && !x.issparse() && !x.isstruct() && x.getndims() < 3 && x.size() >= 2;
}

Mm formed(const Mm& x, product_form f)
{
    if (f == product_form::as_is)
        return x;
    return transpose(x, f == product_form::transposed ? 1 : 0);
}

} // namespace

Mm mtimes(const Mm& a, product_form fa, const Mm& b, product_form fb)
{
    // Anything but two full double matrices of agreeing sizes keeps the
    // unfused route, which owns the scalar, sparse and error cases.
    const bool ta = fa != product_form::as_is, tb = fb != product_form::as_is;
    if (!blas_ready(a) || !blas_ready(b))
        return formed(a, fa) * formed(b, fb);
    const int m = ta ? a.cols() : a.rows(), k = ta ? a.rows() : a.cols();
    const int kb = tb ? b.cols() : b.rows(), n = tb ? b.rows() : b.cols();
    if (k != kb)
        return formed(a, fa) * formed(b, fb);
    const double *ar = a.addr(), *ai = a.addi(), *br = b.addr(), *bi = b.addi();
    const bool a_complex = a.isc(), b_complex = b.isc(), complex = a_complex || b_complex;
    Mm p(complex, 0, 0, m, n, qv_double);
    if (p.size() != std::int64_t{m} * n)
        return p;  // "Out of memory!" went to a hook that returned
    const char* opa = ta ? "T" : "N";
    const char* opb = tb ? "T" : "N";
    const int lda = a.rows(), ldb = b.rows();
    // Split storage: a conjugated operand is its transposed real part and its
    // negated transposed imaginary part, so conjugation is a sign on the
    // products that involve that imaginary part.
    const double sa = fa == product_form::conjugated ? -1.0 : 1.0;
    const double sb = fb == product_form::conjugated ? -1.0 : 1.0;
    // One thread decision for all the real products, taken from the
    // product's own sizes.
    const blas_single_thread serial(!blas_large_product(m, n, k));
    real_gemm(opa, opb, m, n, k, 1.0, ar, lda, br, ldb, 0.0, p.addr(), m);
    if (a_complex && b_complex) {
        real_gemm(opa, opb, m, n, k, -sa * sb, ai, lda, bi, ldb, 1.0, p.addr(), m);
        real_gemm(opa, opb, m, n, k, sa, ai, lda, br, ldb, 0.0, p.addi(), m);
        real_gemm(opa, opb, m, n, k, sb, ar, lda, bi, ldb, 1.0, p.addi(), m);
    } else if (a_complex)
        real_gemm(opa, opb, m, n, k, sa, ai, lda, br, ldb, 0.0, p.addi(), m);
    else if (b_complex)
        real_gemm(opa, opb, m, n, k, sb, ar, lda, bi, ldb, 0.0, p.addi(), m);
    return p;
}

Mm mtimes(const Mm&)
{
    error_input("mtimes", 1);
    return Mm(0.0);
}

Mm operator/(const Mm& a, const Mm& b)
{
    if (plain_scalar(a) && plain_scalar(b))
        return scalar_result(*a.addr() / *b.addr());
    if (a.isstruct() || b.isstruct())
        return call_class_function("mrdivide", a, b);
    if (b.size() == 1)
        return Mm(a.isc() || b.isc(), a, b, nop_M, op_rdivide, 0, l_M);
    Mm at = transpose(a, 0);
    Mm bt = transpose(b, 0);
    return transpose(mldivide(bt, at), 0);
}

Mm operator!=(const Mm& a, double b) { return a != Mm(b); }
Mm operator!=(double a, const Mm& b) { return Mm(a) != b; }
Mm operator*(const Mm& a, double b) { return a * Mm(b); }
Mm operator*(double a, const Mm& b) { return Mm(a) * b; }
Mm operator/(const Mm& a, double b) { return a / Mm(b); }
Mm operator/(double a, const Mm& b) { return Mm(a) / b; }
Mm operator+(const Mm& a, double b) { return a + Mm(b); }
Mm operator+(double a, const Mm& b) { return Mm(a) + b; }
Mm operator-(const Mm& a, double b) { return a - Mm(b); }
Mm operator-(double a, const Mm& b) { return Mm(a) - b; }
Mm operator<(const Mm& a, double b) { return a < Mm(b); }
Mm operator<(double a, const Mm& b) { return Mm(a) < b; }
Mm operator<=(const Mm& a, double b) { return a <= Mm(b); }
Mm operator<=(double a, const Mm& b) { return Mm(a) <= b; }
Mm operator==(const Mm& a, double b) { return a == Mm(b); }
Mm operator==(double a, const Mm& b) { return Mm(a) == b; }
Mm operator>(const Mm& a, double b) { return a > Mm(b); }
Mm operator>(double a, const Mm& b) { return Mm(a) > b; }
Mm operator>=(const Mm& a, double b) { return a >= Mm(b); }
Mm operator>=(double a, const Mm& b) { return Mm(a) >= b; }

// Bits set where V is true and reset where it is false, one bit position
// per element (a scalar position applies to every element).
Mm bitset(const Mm& a, const Mm& bit, const Mm& v)
{
    if (isempty(a))
        return a;
    Mm c = mlogical(v);
    Mm f = isscalar(a) || !isscalar(bit) ? bit : times(ones(size(a)), bit);
    Mm d(a);
    d(c) = bitset(Mm(a(c)), Mm(f(c)));
    Mm e = !c;
    d(e) = bitreset(Mm(d(e)), Mm(f(e)));
    return d;
}
