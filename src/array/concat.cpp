// Reshape and concatenation: reshape, horzcat, vertcat and cat. The join
// kernels are written once over the three element storages (doubles, bytes,
// cell elements); bracket lists are built on the same rules.
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "value/element_kernels.hpp"
#include "value/element_read.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::int64_t max_count = INT_MAX - 8;

// ---- reshape ----

// The product of n extents, or -1 when an extent is negative or the product
// leaves the range of an element count.
std::int64_t extent_product(const int* ext, int n)
{
    std::int64_t product = 1;
    for (int k = 0; k < n; ++k)
        if (ext[k] < 0)
            return -1;
    for (int k = 0; k < n; ++k) {
        product *= ext[k];
        if (product > INT_MAX)
            return -1;
    }
    return product;
}

// A copy of a with the given extents; the two-extent form of the count
// arguments words its message as "r*c".
Mm reshape_to(const Mm& a, int n, const int* ext, bool as_counts)
{
    Mm out(a);
    if (extent_product(ext, n) != a.size()) {
        if (as_counts && n == 2)
            error("reshape: size=%d is different than %d*%d", a.size(), ext[0], ext[1]);
        else
            error("reshape: size=%d is different than the product of new dimensions", a.size());
        return out;
    }
    out.reshape(n, ext);
    return out;
}

Mm reshape_counts(const Mm& a, const Mm* const* args, int n)
{
    if (a.gettype() == qv_none) {
        a.warn_uninit();
        return x_M;
    }
    // An extent is a whole number: 2+i was read as 2, without a word.
    for (int k = 0; k < n; ++k)
        if (args[k]->size() > 0 && imag_at(*args[k], 0) != 0) {
            error("reshape: the dimensions must be real");
            return x_M;
        }
    int ext[4];
    for (int k = 0; k < n; ++k)
        ext[k] = round_to_count(args[k]->r());
    return reshape_to(a, n, ext, true);
}

// ---- joining ----

bool same_fields(const Mm& a, const Mm& b)
{
    if (a.getnfields() != b.getnfields() || a.isstruct() != b.isstruct())
        return false;
    for (int k = 0; k < a.getnfields(); ++k)
        if (std::strcmp(a.getfields()[k], b.getfields()[k]) != 0)
            return false;
    return true;
}

// Struct arrays join only with struct arrays of the same fields: elements
// of any other layout would leave a struct whose elements are not its
// field lists.
bool check_fields(const Mm& a, const Mm& b, const char* f)
{
    if (!(a.isstruct() || b.isstruct()) || same_fields(a, b))
        return true;
    error("%s: structures do not have the same fields", f);
    return false;
}

// The marks a joined value takes: text when either operand is text,
// logical only when both are, a's fields and class.
void finish_join(Mm& out, const Mm& a, const Mm& b)
{
    out.setstr(a.isstr() || b.isstr());
    out.setlogical(a.islogical() && b.islogical());
    for (int k = 0; k < a.getnfields(); ++k)
        out.addfield(a.getfields()[k], 1);
    if (a.isstruct() && a.getnfields() == 0)
        out.extend_nfields(1);  // a struct without fields stays a struct
    out.setclassid(a.getclassid());
}

// The imaginary part of a block: copied, or zero for a real operand.
template <class T>
void copy_imag(T* dst, const Mm& x, std::int64_t from, std::int64_t n)
{
    if constexpr (!is_cell_element<T>) {
        if (const T* im = imag_part<T>(x))
            copy_elements(dst, im + from, n);
        else
            fill_zero(dst, n);
    }
}

// Full 2-D join; the extents have been checked.
template <class T>
Mm join_2d(const Mm& a, const Mm& b, bool horizontal, int rows, int cols)
{
    const bool complex = !is_cell_element<T> && (a.isc() || b.isc());
    Mm out(complex, 0, 0, rows, cols, element_type_of<T>);
    const std::int64_t na = a.size(), nb = b.size();
    if (out.size() != na + nb)
        return x_M;  // allocation failed under a returning error hook
    T* o = real_part<T>(out);
    const T* pa = real_part<T>(a);
    const T* pb = real_part<T>(b);
    if (horizontal) {
        // Column-major order: b's columns simply follow a's.
        copy_elements(o, pa, na);
        copy_elements(o + na, pb, nb);
        if (complex) {
            copy_imag(imag_part<T>(out), a, 0, na);
            copy_imag(imag_part<T>(out) + na, b, 0, nb);
        }
        return out;
    }
    const int ra = a.rows(), rb = b.rows();
    for (int j = 0; j < cols; ++j) {
        const std::int64_t at = std::int64_t{j} * rows;
        copy_elements(o + at, pa + std::int64_t{j} * ra, ra);
        copy_elements(o + at + ra, pb + std::int64_t{j} * rb, rb);
        if (complex) {
            copy_imag(imag_part<T>(out) + at, a, std::int64_t{j} * ra, ra);
            copy_imag(imag_part<T>(out) + at + ra, b, std::int64_t{j} * rb, rb);
        }
    }
    return out;
}

// Sparse 2-D join: the stored entries of a, then b's, moved to their
// positions in the result and sorted.
Mm join_sparse(const Mm& a, const Mm& b, bool horizontal, int rows, int cols)
{
    const int na = a.getnnz(), nb = b.getnnz();
    if (std::int64_t{na} + nb > max_count) {
        error("Out of memory!");
        return x_M;
    }
    const bool complex = a.isc() || b.isc();
    Mm out(complex, 1, na + nb, rows, cols, qv_double);
    if (!out.issparse() || out.getnnz() != na + nb)
        return x_M;
    const int ra = a.rows(), rb = b.rows(), ca = a.cols();
    int* index = out.getindex();
    const int* ia = a.getindex();
    const int* ib = b.getindex();
    for (int k = 0; k < na; ++k)
        index[k] = static_cast<int>(ia[k] % ra + std::int64_t{rows} * (ia[k] / ra));
    for (int k = 0; k < nb; ++k) {
        const std::int64_t r = ib[k] % rb, c = ib[k] / rb;
        index[na + k] = static_cast<int>(horizontal ? r + std::int64_t{rows} * (c + ca) : r + ra + std::int64_t{rows} * c);
    }
    copy_elements(out.addr(), a.addr(), na);
    copy_elements(out.addr() + na, b.addr(), nb);
    if (complex) {
        copy_imag(out.addi(), a, 0, na);
        copy_imag(out.addi() + na, b, 0, nb);
    }
    out.sort();
    return out;
}

// The sparse form of a full double value: its non-zero elements (NaN
// counts as non-zero).
Mm to_sparse(const Mm& x)
{
    const double* re = x.addr();
    const double* im = x.addi();
    const int n = x.size();
    int count = 0;
    for (int k = 0; k < n; ++k)
        count += re[k] != 0 || (im && im[k] != 0);
    Mm out(im != nullptr, 1, count, x.rows(), x.cols(), qv_double);
    if (!out.issparse() || out.getnnz() != count)
        return x_M;
    int* index = out.getindex();
    double* ore = out.addr();
    double* oim = out.addi();
    for (int k = 0, m = 0; k < n; ++k) {
        if (!(re[k] != 0 || (im && im[k] != 0)))
            continue;
        index[m] = k;
        ore[m] = re[k];
        if (oim)
            oim[m] = im[k];
        ++m;
    }
    out.setstr(x.isstr());
    out.setlogical(x.islogical());
    return out;
}

Mm cat_2d(bool horizontal, Mm& a, Mm& b)
{
    if (isempty(b))
        return a;
    if (isempty(a))
        return b;
    const char* f = horizontal ? "horzcat" : "vertcat";
    if (!check_fields(a, b, f))
        return x_M;
    std::int64_t rows, cols;
    if (horizontal) {
        if (a.rows() != b.rows()) {
            error("horzcat: # of rows different");
            return x_M;
        }
        rows = a.rows();
        cols = std::int64_t{a.cols()} + b.cols();
    } else {
        if (a.cols() != b.cols()) {
            error("vertcat: # of cols different");
            return x_M;
        }
        rows = std::int64_t{a.rows()} + b.rows();
        cols = a.cols();
    }
    if (a.issparse() || b.issparse()) {
        // A sparse result is bounded by what its positions count, not by
        // memory: [S S] of the longest row is past that, not out of memory.
        if (rows * cols > INT_MAX) {
            report_sparse_too_large(double(rows), double(cols));
            return x_M;
        }
    } else if (rows > max_count || cols > max_count) {
        error("Out of memory!");
        return x_M;
    }
    if (a.issparse() != b.issparse()) {
        if (a.issparse())
            b = to_sparse(b);
        else
            a = to_sparse(a);
        if (!a.issparse() || !b.issparse())
            return x_M;
    }
    Mm out;
    if (a.issparse()) {
        out = join_sparse(a, b, horizontal, static_cast<int>(rows), static_cast<int>(cols));
    } else {
        bool typed = dispatch_element_type(a.gettype(), [&](auto* tag) {
            using T = std::remove_pointer_t<decltype(tag)>;
            out = join_2d<T>(a, b, horizontal, static_cast<int>(rows), static_cast<int>(cols));
        });
        if (!typed)
            return nop_M;
    }
    if (out.size() != rows * cols)
        return out;  // allocation failed under a returning error hook
    finish_join(out, a, b);
    return out;
}

template <class T>
Mm join_nd(const Mm& a, const Mm& b, int k, const int dims[4], int nd)
{
    const bool complex = !is_cell_element<T> && (a.isc() || b.isc());
    Mm out(complex, 0, 0, nd, dims, element_type_of<T>);
    const std::int64_t na = a.size(), nb = b.size();
    if (out.size() != na + nb)
        return x_M;
    std::int64_t below = 1, above = 1;
    for (int m = 0; m < k - 1; ++m)
        below *= a.getdims()[m];
    for (int m = k; m < 4; ++m)
        above *= a.getdims()[m];
    const std::int64_t block_a = below * a.getdims()[k - 1];
    const std::int64_t block_b = below * b.getdims()[k - 1];
    if (block_a * above != na || block_b * above != nb)
        return x_M;  // extents and counts disagree: never copy past either value
    T* o = real_part<T>(out);
    T* oi = complex ? imag_part<T>(out) : nullptr;
    const T* pa = real_part<T>(a);
    const T* pb = real_part<T>(b);
    std::int64_t at = 0;
    for (std::int64_t blk = 0; blk < above; ++blk) {
        copy_elements(o + at, pa + blk * block_a, block_a);
        if (oi)
            copy_imag(oi + at, a, blk * block_a, block_a);
        at += block_a;
        copy_elements(o + at, pb + blk * block_b, block_b);
        if (oi)
            copy_imag(oi + at, b, blk * block_b, block_b);
        at += block_b;
    }
    return out;
}

Mm cat_nd(double d, Mm& a, Mm& b)
{
    a = full(a);
    b = full(b);
    if (a.getndims() != b.getndims()) {
        error("cat: arguments do not have the same number of dimensions");
        return x_M;
    }
    const int k = saturate_to_int(d);
    if (k < 1 || k > 4) {
        error("cat: no such dimension");
        return x_M;
    }
    int dims[4];
    for (int m = 0; m < 4; ++m) {
        if (m != k - 1 && a.getdims()[m] != b.getdims()[m]) {
            error("cat: arguments do not have compatible dimensions");
            return x_M;
        }
        dims[m] = a.getdims()[m];
    }
    const std::int64_t joined = std::int64_t{a.getdims()[k - 1]} + b.getdims()[k - 1];
    if (joined > max_count) {
        error("Out of memory!");
        return x_M;
    }
    dims[k - 1] = static_cast<int>(joined);
    if (!check_fields(a, b, "cat"))
        return x_M;
    // A full empty value is 0x0, however many dimensions were joined.
    const int nd = a.size() + b.size() == 0 ? 2 : a.getndims() > k ? a.getndims() : k;
    Mm out;
    bool typed = dispatch_element_type(a.gettype(), [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        out = join_nd<T>(a, b, k, dims, nd);
    });
    if (!typed)
        return x_M;
    if (out.size() != a.size() + b.size())
        return out;
    finish_join(out, a, b);
    return out;
}

// The operands are the caller's values, named in messages; the joining
// works on copies, so that no conversion reaches the caller.
Mm concat_values(double d, const Mm& given_a, const Mm& given_b)
{
    if (given_a.gettype() == qv_none || given_b.gettype() == qv_none) {
        (given_a.gettype() == qv_none ? given_a : given_b).warn_uninit();
        return x_M;
    }
    Mm a(given_a), b(given_b);
    if (a.gettype() != b.gettype()) {
        if (a.gettype() == qv_cell || b.gettype() == qv_cell) {
            error("Operation can not be performed on mixed cell and numeric matrix");
            return x_M;
        }
        // uint8 wins; bytes are never sparse.
        if (a.gettype() != qv_uint8)
            a = muint8(full(a));
        else
            b = muint8(full(b));
    }
    if (d > 2 || a.getndims() > 2 || b.getndims() > 2)
        return cat_nd(d, a, b);
    return cat_2d(d == 2, a, b);
}

} // namespace

// ---- exports ----

Mm reshape(const Mm& a, const Mm& dims)
{
    if (a.gettype() == qv_none) {
        a.warn_uninit();
        return x_M;
    }
    if (error_numeric(dims, "reshape"))
        return x_M;
    if (iscomplex(dims)) {
        error("reshape: the dimensions must be real");
        return x_M;
    }
    int n = dims.length();
    if (n > 4) {
        error("reshape: too many dimensions");
        n = 4;
    }
    int ext[4] = {1, 1, 1, 1};
    bool whole = true;
    for (int k = 0; k < n && k < dims.size(); ++k) {
        const double v = number_at(dims, k);
        whole = whole && v == std::trunc(v);
        ext[k] = saturate_to_int(v);
    }
    // A fractional extent never fits, though it is truncated: 6 elements
    // do not take the shape [2.7 3].
    if (!whole) {
        error("reshape: size=%d is different than the product of new dimensions", a.size());
        return a;
    }
    return reshape_to(a, n, ext, false);
}

Mm reshape(const Mm& a, const Mm& m, const Mm& n)
{
    const Mm* args[] = {&m, &n};
    return reshape_counts(a, args, 2);
}

Mm reshape(const Mm& a, const Mm& m, const Mm& n, const Mm& p)
{
    const Mm* args[] = {&m, &n, &p};
    return reshape_counts(a, args, 3);
}

Mm reshape(const Mm& a, const Mm& m, const Mm& n, const Mm& p, const Mm& q)
{
    const Mm* args[] = {&m, &n, &p, &q};
    return reshape_counts(a, args, 4);
}

Mm horzcat(const Mm& a, const Mm& b) { return concat_values(2, a, b); }

Mm vertcat(const Mm& a, const Mm& b) { return concat_values(1, a, b); }

Mm cat(const Mm& dim, Mm a, Mm b) { return concat_values(dim.r(), a, b); }

Mm cat(const Mm& dim, const Mm& a, const Mm& b, const Mm& c)
{
    const double d = dim.r();
    return concat_values(d, concat_values(d, a, b), c);
}

// Forms with nothing to join.
Mm cat(const Mm&) { return nop_M; }
Mm all() { return nop_M; }
