// N-d index conversion and dimension helpers: diag, ind2sub, sub2ind,
// squeeze, ndims, permute and the working-dimension mover that sorting,
// cumulative functions, the FFT and filters share.
#include "array/ndim.hpp"
#include "array/constructors.hpp"
#include "array/permute_kernel.hpp"
#include "engine/scalar_real.hpp"
#include "value/element_read.hpp"
#include "value/report.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <type_traits>

void reverse_dims_fill(const int* src, int count, int dst[4], int fill)
{
    if (count > 4)
        count = 4;
    for (int m = 0; m < 4; ++m)
        dst[m] = m < count ? src[count - 1 - m] : fill;
}

namespace {

// Calls f with a null pointer of the element type of a double, byte or
// cell value, so one template body serves all three.
template <class F>
void with_element_pointer(int type, F&& f)
{
    switch (type) {
    case qv_double:
        f(static_cast<double*>(nullptr));
        break;
    case qv_uint8:
        f(static_cast<unsigned char*>(nullptr));
        break;
    default:
        f(static_cast<Mm*>(nullptr));
        break;
    }
}

bool is_typed(const Mm& x)
{
    const int t = x.gettype();
    return t == qv_double || t == qv_uint8 || t == qv_cell;
}

// A new full value of x's element type and complexness with the given
// extents, carrying x's text and logical flags and its field names.
Mm shaped_like(const Mm& x, int nd, const int* extents)
{
    const bool complex = x.isc() && x.gettype() != qv_cell;
    Mm out(complex, 0, 0, nd, extents, static_cast<qv_matrix_types>(x.gettype()));
    for (int k = 0; k < x.getnfields(); ++k)
        out.addfield(x.getfields()[k], 1);
    out.setstr(x.isstr());
    out.setlogical(x.islogical());
    return out;
}

// Runs move(dst, src) over the real part and, for a complex value, the
// imaginary part.
template <class T, class Move>
void move_parts(Mm& out, const Mm& in, Move&& move)
{
    move(out.getpr((T*)nullptr), in.getpr((T*)nullptr));
    if constexpr (!std::is_same_v<T, Mm>)
        if (out.isc() && in.isc())
            move(out.getpi((T*)nullptr), in.getpi((T*)nullptr));
}

std::int64_t product(const int* d, int from, int to)
{
    std::int64_t p = 1;
    for (int m = from; m < to; ++m)
        p *= d[m];
    return p;
}

// The first element of an argument as a number: a byte by its value, any
// other value through its full form's checked accessor.
double first_number(const Mm& x)
{
    if (x.gettype() == qv_uint8 && x.size() > 0)
        return *x.getpr((unsigned char*)nullptr);
    return full(x).r();
}

// ---- diag ----

// Element k of a vector of n elements goes to the k-th diagonal of an
// order x order matrix.
template <class T>
void place_diagonal(T* out, const T* in, std::int64_t n, std::int64_t order, std::int64_t row0, std::int64_t col0)
{
    for (std::int64_t p = 0; p < n; ++p)
        out[(p + row0) + order * (p + col0)] = in[p];
}

Mm diag_vector(const Mm& x, std::int64_t n, int k)
{
    const std::int64_t shift = k < 0 ? -std::int64_t{k} : k;
    const std::int64_t order = n + shift;
    // A sparse square of order past 46340 holds more elements than its
    // positions count: said as such, not as memory.
    if (x.issparse() && order > 46340) {
        report_sparse_too_large(double(order), double(order));
        return x_M;
    }
    if (order > INT_MAX) {
        error("Out of memory!");
        return x_M;
    }
    const int m = static_cast<int>(order);
    const std::int64_t row0 = k < 0 ? shift : 0, col0 = k < 0 ? 0 : shift;
    const bool complex = x.isc();
    if (x.issparse()) {
        const int stored = x.getnnz();
        Mm out(complex, 1, stored, m, m, qv_double);
        if (!out.issparse())
            return x_M;
        const int* index = x.getindex();
        int* oindex = out.getindex();
        for (int e = 0; e < stored; ++e) {
            const std::int64_t p = index[e];
            oindex[e] = static_cast<int>(p * (order + 1) + (k >= 0 ? shift * order : shift));
            out.addr()[e] = x.addr()[e];
            if (complex)
                out.addi()[e] = x.addi()[e];
        }
        out.getnnz() = stored;
        out.sort();
        return out;
    }
    Mm out = x.gettype() == qv_cell ? Mm(0, 0, 0, m, m, qv_cell) : Mm(complex, 0, 0, m, m, static_cast<qv_matrix_types>(x.gettype()));
    if (out.rows() != m)
        return x_M;
    with_element_pointer(x.gettype(), [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        if constexpr (!std::is_same_v<T, Mm>) {
            std::fill_n(out.getpr((T*)nullptr), out.size(), T{});
            if (complex)
                std::fill_n(out.getpi((T*)nullptr), out.size(), T{});
        }
        move_parts<T>(out, x, [&](T* dst, const T* src) { place_diagonal(dst, src, n, order, row0, col0); });
    });
    return out;
}

Mm diag_matrix(const Mm& x, int rows, int cols, int k)
{
    // Length of the k-th diagonal, its first element and the step between
    // elements, all 0-based positions.
    std::int64_t length = k <= 0 ? std::int64_t{rows} + k : std::int64_t{cols} - k;
    length = std::clamp<std::int64_t>(length, 0, std::min(rows, cols));
    const std::int64_t start = k < 0 ? -std::int64_t{k} : std::int64_t{rows} * k;
    const std::int64_t step = std::int64_t{rows} + 1;
    const int n = static_cast<int>(length);
    const bool complex = x.isc();
    if (x.issparse()) {
        const int* index = x.getindex();
        const int stored = x.getnnz();
        auto on_diagonal = [&](std::int64_t p) {
            return p >= start && (p - start) % step == 0 && (p - start) / step < length;
        };
        int count = 0;
        for (int e = 0; e < stored; ++e)
            count += on_diagonal(index[e]);
        Mm out(complex, 1, count, n, 1, qv_double);
        if (!out.issparse())
            return x_M;
        int m = 0;
        for (int e = 0; e < stored; ++e) {
            if (!on_diagonal(index[e]))
                continue;
            out.getindex()[m] = static_cast<int>((index[e] - start) / step);
            out.addr()[m] = x.addr()[e];
            if (complex)
                out.addi()[m] = x.addi()[e];
            ++m;
        }
        out.getnnz() = count;
        return out;
    }
    Mm out(complex && x.gettype() != qv_cell, 0, 0, n, 1, static_cast<qv_matrix_types>(x.gettype()));
    if (out.rows() != n)
        return x_M;
    with_element_pointer(x.gettype(), [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        move_parts<T>(out, x, [&](T* dst, const T* src) {
            for (std::int64_t p = 0; p < length; ++p)
                dst[p] = src[start + p * step];
        });
    });
    return out;
}

// ---- permute ----

// Reads a dimension order for a value of xnd dimensions into o (0-based,
// padded with the identity up to 4). Returns the number of entries, or 0
// after a report.
int parse_order(const Mm& order, int xnd, int o[4])
{
    if (error_numeric(order, "permute"))
        return 0;
    // Dimension numbers are whole: [2+i 1] was read as [2 1], without a word.
    if (iscomplex(order)) {
        error("permute: order must be real");
        return 0;
    }
    const int n = order.size();
    if (n > 4) {
        error("permute: order has too many dimensions");
        return 0;
    }
    if (n < xnd) {
        error("permute: order should have same number of elements as x dimensions");
        return 0;
    }
    bool seen[4] = {false, false, false, false};
    for (int m = 0; m < n; ++m) {
        const int v = saturate_to_int(number_at(order, m));
        // A repeated entry would leave a dimension without a place.
        if (v < 1 || v > n || seen[v - 1]) {
            error("permute: out of range values in order");
            return 0;
        }
        seen[v - 1] = true;
        o[m] = v - 1;
    }
    for (int m = n; m < 4; ++m)
        o[m] = m;
    return n;
}

// y(j1, ..., jn) = x(i1, ..., in) with i(order(m)) = jm.
Mm permute_value(const Mm& x, int n, const int o[4])
{
    bool identity = true;
    for (int m = 0; m < n; ++m)
        identity &= o[m] == m;
    if (identity)
        return x;
    const Mm src = full(x);
    int xd[4];
    for (int m = 0; m < 4; ++m)
        xd[m] = m < src.getndims() ? src.getdims()[m] : 1;
    int ydims[4];
    for (int m = 0; m < 4; ++m)
        ydims[m] = xd[o[m]];
    Mm out = shaped_like(src, n, ydims);
    if (out.size() != src.size())
        return x_M;
    with_element_pointer(src.gettype(), [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        move_parts<T>(out, src, [&](T* dst, const T* from) {
            if (n == 2 || (o[2] == 2 && o[3] == 3 && src.getndims() <= 2))
                transpose_block(dst, from, xd[0], xd[1]);
            else
                permute_copy(dst, from, xd, o);
        });
    });
    return out;
}

// A shape function's element-type gate: type 0 is reported, types other
// than double, uint8 and cell have nothing to move.
bool shape_operand(const Mm& x, Mm& result)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        result = x_M;
        return false;
    }
    if (!is_typed(x)) {
        result = nop_M;
        return false;
    }
    return true;
}

// ---- the working-dimension mover ----

// inner, f and outer of dimension k in a list of four extents.
struct dim_split {
    std::int64_t inner, f, outer;
};

dim_split split_at(const int dims[4], int k)
{
    return {product(dims, 0, k), dims[k], product(dims, k + 1, 4)};
}

// Checks the mover's arguments; false after a report.
bool mover_arguments(const char* name, const Mm& x, int ndims, const int dims[4], int k)
{
    if (k < 0 || k > 3 || ndims < 2 || ndims > 4) {
        error("%s: no such dimension=%d", name, k + 1);
        return false;
    }
    int padded[4];
    for (int m = 0; m < 4; ++m)
        padded[m] = m < ndims ? dims[m] : 1;
    if (product(padded, 0, 4) != x.size()) {
        error("%s: dimensions do not match the %d elements of %s", name, x.size(), matrix_display_name(x));
        return false;
    }
    return true;
}

template <class Kernel>
Mm move_lines(const Mm& x, int ndims, const int dims[4], int k, const char* name, int out_nd, const int* out_dims,
              Kernel&& kernel)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return x;
    }
    if (!is_typed(x))
        return x;
    if (k == 0) {
        // No element moves, but a column routine hands back its lines as a
        // matrix: the extents still have to be the ones asked for.
        if (x.getndims() == out_nd && std::equal(out_dims, out_dims + out_nd, x.getdims()))
            return x;
        if (product(out_dims, 0, out_nd) != x.size())
            return x;
        Mm out(x);
        out.reshape(out_nd, out_dims);
        return out;
    }
    if (!mover_arguments(name, x, ndims, dims, k))
        return x_M;
    const Mm src = full(x);
    Mm out = shaped_like(src, out_nd, out_dims);
    if (out.size() != src.size())
        return x_M;
    int padded[4];
    for (int m = 0; m < 4; ++m)
        padded[m] = m < ndims ? dims[m] : 1;
    const dim_split s = split_at(padded, k);
    with_element_pointer(src.gettype(), [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        move_parts<T>(out, src, [&](T* dst, const T* from) {
            if (s.inner == 1 || s.f == 1) {
                std::copy_n(from, s.inner * s.f * s.outer, dst);
                return;
            }
            const std::int64_t block = s.inner * s.f;
            for (std::int64_t o = 0; o < s.outer; ++o)
                kernel(dst + o * block, from + o * block, s.inner, s.f);
        });
    });
    return out;
}

} // namespace

// ---- exported functions ----

Mm diag(const Mm& x) { return diag(x, zero_M); }

Mm diag(const Mm& x, const Mm& k)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return x_M;
    }
    if (!is_typed(x))
        return x_M;
    const int shift = saturate_to_int(first_number(k));
    error_2d(x, "diag");  // should the hook return, the first two extents serve
    const int rows = x.rows(), cols = x.cols();
    if (rows == 1 || cols == 1)
        return diag_vector(x, std::int64_t{rows} * cols, shift);
    return diag_matrix(x, rows, cols, shift);
}

namespace {

// ind2sub over n outputs with the engine's element-wise arithmetic; the
// last output takes every remaining dimension.
void split_indices(const Mm& siz, const Mm& ind, int n, Mm* outs[4])
{
    Mm rest = ind - one_M;
    Mm result[4];
    for (int m = 0; m < n - 1; ++m) {
        const Mm extent = Mm(siz(Mm(double(m + 1))));
        result[m] = mod(rest, extent) + one_M;
        rest = floor(rdivide(rest, extent));
    }
    result[n - 1] = rest + one_M;
    for (int m = 0; m < n; ++m)
        *outs[m] = result[m];
}

// s1 + siz(1) .* ((s2 - 1) + siz(2) .* ((s3 - 1) + siz(3) .* (s4 - 1))).
Mm join_subscripts(const Mm& siz, const Mm* subs[4], int n)
{
    Mm acc = *subs[n - 1] - one_M;
    for (int m = n - 2; m >= 1; --m)
        acc = (*subs[m] - one_M) + times(Mm(siz(Mm(double(m + 1)))), acc);
    return *subs[0] + times(Mm(siz(one_M)), acc);
}

} // namespace

Mm ind2sub(const Mm& siz, Mm ind, i_o_t, Mm& r, Mm& c)
{
    Mm* outs[4] = {&r, &c, nullptr, nullptr};
    split_indices(siz, ind, 2, outs);
    return x_M;
}

Mm ind2sub(const Mm& siz, Mm ind, i_o_t, Mm& r, Mm& c, Mm& p)
{
    Mm* outs[4] = {&r, &c, &p, nullptr};
    split_indices(siz, ind, 3, outs);
    return x_M;
}

Mm ind2sub(const Mm& siz, Mm ind, i_o_t, Mm& r, Mm& c, Mm& p, Mm& q)
{
    Mm* outs[4] = {&r, &c, &p, &q};
    split_indices(siz, ind, 4, outs);
    return x_M;
}

Mm sub2ind(const Mm& siz, const Mm& i, const Mm& j)
{
    const Mm* subs[4] = {&i, &j, nullptr, nullptr};
    return join_subscripts(siz, subs, 2);
}

Mm sub2ind(const Mm& siz, const Mm& i, const Mm& j, const Mm& k)
{
    const Mm* subs[4] = {&i, &j, &k, nullptr};
    return join_subscripts(siz, subs, 3);
}

Mm sub2ind(const Mm& siz, const Mm& i, const Mm& j, const Mm& k, const Mm& l)
{
    const Mm* subs[4] = {&i, &j, &k, &l};
    return join_subscripts(siz, subs, 4);
}

Mm ind2sub(const Mm&, i_o_t, Mm&) { return nop_M; }
Mm ind2sub(const Mm&, i_o_t, Mm&, Mm&) { return nop_M; }
Mm ind2sub(const Mm&, i_o_t, Mm&, Mm&, Mm&) { return nop_M; }
Mm ind2sub(const Mm&, i_o_t, Mm&, Mm&, Mm&, Mm&) { return nop_M; }
Mm ind2sub(const Mm&, const Mm& b) { return b; }
Mm cat(const Mm&, const Mm& b) { return b; }
Mm textwrap(const Mm&, const Mm& b) { return b; }
Mm sub2ind(const Mm&, const Mm& b) { return b; }

Mm squeeze(Mm x)
{
    if (x.getndims() <= 2)
        return x;
    int kept[4] = {1, 1, 1, 1};
    int n = 0;
    for (int m = 0; m < x.getndims(); ++m)
        if (x.getdims()[m] != 1)
            kept[n++] = x.getdims()[m];
    // The element count is unchanged, so the storage serves as it is.
    for (int m = 0; m < 4; ++m)
        x.getdims()[m] = kept[m];
    x.getndims() = std::max(n, 2);
    x.collapse();
    return x;
}

Mm ndims(const Mm& x) { return Mm(double(x.getndims())); }

Mm permute(Mm x, Mm order)
{
    Mm result;
    if (!shape_operand(x, result))
        return result;
    int o[4];
    const int n = parse_order(full(order), x.getndims(), o);
    if (n == 0)
        return x_M;
    return permute_value(x, n, o);
}

Mm ipermute(const Mm& x, Mm order)
{
    Mm result;
    if (!shape_operand(x, result))
        return result;
    int o[4];
    const int n = parse_order(full(order), x.getndims(), o);
    if (n == 0)
        return x_M;
    int inverse[4];
    for (int m = 0; m < 4; ++m)
        inverse[o[m]] = m;
    return permute_value(x, n, inverse);
}

Mm row2col(Mm x)
{
    int reversed[4];
    reverse_dims_fill(x.getdims(), x.getndims(), reversed, 1);
    // Linear positions do not change with the extents, so even a sparse
    // value's stored list reads the same under the reversed list.
    for (int m = 0; m < 4; ++m)
        x.getdims()[m] = reversed[m];
    return transpose(x, 1);
}

int parse_dim_argument(const char* name, const Mm& x, const Mm& dim)
{
    if (dim.size() <= 0) {
        error("%s: dim argument may not be empty", name);
        return 0;
    }
    if (error_numeric(dim, name))
        return 0;
    // A dimension is a whole number: 2+i was read as 2, without a word.
    if (imag_at(dim, 0) != 0) {
        error("%s: dim argument must be real", name);
        return 0;
    }
    int d = saturate_to_int(number_at(dim, 0));
    if (d == 0)
        d = x.nsingleton();
    if (d < 1) {
        error("%s: dim argument must be positive", name);
        return 0;
    }
    if (d > x.getndims()) {
        error("%s: dim argument may not be more then the number of dimensions", name);
        return 0;
    }
    return d - 1;
}

Mm move_dim_first(const Mm& x, int ndims, const int dims[4], int k)
{
    // The result's extents: dimension k first, then the ones after it, then
    // the ones before it.
    int out_dims[4] = {1, 1, 1, 1};
    const int n = std::clamp(std::max(ndims, k + 1), 2, 4);
    for (int m = 0; m < n && k >= 0 && k < 4; ++m) {
        const int from = (k + m) % n;
        out_dims[m] = from < ndims ? dims[from] : 1;
    }
    return move_lines(x, ndims, dims, k, "move_dim_first", n, out_dims,
                      [](auto* dst, const auto* src, std::int64_t inner, std::int64_t f) {
                          transpose_block(dst, src, inner, f);
                      });
}

Mm move_dim_back(const Mm& y, int ndims, const int dims[4], int k)
{
    return move_lines(y, ndims, dims, k, "move_dim_back", ndims, dims,
                      [](auto* dst, const auto* src, std::int64_t inner, std::int64_t f) {
                          transpose_block(dst, src, f, inner);
                      });
}
