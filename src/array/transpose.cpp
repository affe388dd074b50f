// Transposes: the order of all dimensions reversed, with or without complex
// conjugation. One kernel per element width; sparse values stay sparse.
#include "array/ndim.hpp"
#include "array/permute_kernel.hpp"
#include "value/report.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace {

template <class T>
Mm transpose_full(const Mm& a, int noconj)
{
    const int nd = a.getndims();
    int reversed[4];
    reverse_dims_fill(a.getdims(), nd, reversed, 1);
    const bool complex = a.isc() && a.gettype() != qv_cell;
    Mm out(complex, 0, 0, nd, reversed, static_cast<qv_matrix_types>(a.gettype()));
    if (out.size() != a.size())
        return x_M;  // allocation failed under a returning error hook
    // Reversing the dimensions is the permutation nd-1, ..., 1, 0.
    int order[4], dims[4];
    for (int m = 0; m < 4; ++m) {
        order[m] = m < nd ? nd - 1 - m : m;
        dims[m] = m < nd ? a.getdims()[m] : 1;
    }
    auto move_part = [&](T* dst, const T* src) {
        if (nd == 2)
            transpose_block(dst, src, a.rows(), a.cols());
        else
            permute_copy(dst, src, dims, order);
    };
    move_part(out.getpr((T*)nullptr), a.getpr((T*)nullptr));
    if constexpr (!std::is_same_v<T, Mm>) {
        if (complex) {
            T* im = out.getpi((T*)nullptr);
            move_part(im, a.getpi((T*)nullptr));
            if (!noconj)
                for (int k = 0, n = out.size(); k < n; ++k)
                    im[k] = static_cast<T>(-im[k]);
        }
    }
    for (int k = 0; k < a.getnfields(); ++k)
        out.addfield(a.getfields()[k], 1);
    out.setlogical(a.islogical());
    out.setstr(a.isstr());
    return out;
}

Mm transpose_sparse(const Mm& given, int noconj)
{
    // A stored zero would come out conjugated as 0 - 0i where an unstored
    // one reads 0 + 0i.
    const Mm a = without_stored_zeros(given);
    if (!a.issparse())
        return x_M;  // refused under a returning hook
    const int rows = a.rows(), cols = a.cols(), n = a.getnnz();
    const bool complex = a.isc();
    Mm out(complex, 1, n, cols, rows, qv_double);
    if (!out.issparse())
        return x_M;
    const int* index = a.getindex();
    int* oindex = out.getindex();
    const double* re = a.addr();
    const double* im = a.addi();
    double* ore = out.addr();
    double* oim = out.addi();
    for (int k = 0; k < n; ++k) {
        oindex[k] = index[k] / rows + (index[k] % rows) * cols;
        ore[k] = re[k];
        if (complex)
            oim[k] = noconj ? im[k] : -im[k];
    }
    out.getnnz() = n;
    out.sort();
    out.setlogical(a.islogical());
    return out;
}

} // namespace

Mm transpose(const Mm& a, int noconj)
{
    switch (a.gettype()) {
    case qv_none:
        a.warn_uninit();
        return nop_M;
    case qv_double:
    case qv_uint8:
    case qv_cell:
        break;
    default:
        return nop_M;
    }
    if (a.size() == 0)
        return a;
    if (a.issparse())
        return transpose_sparse(a, noconj);
    switch (a.gettype()) {
    case qv_double:
        return transpose_full<double>(a, noconj);
    case qv_uint8:
        return transpose_full<unsigned char>(a, noconj);
    default:
        return transpose_full<Mm>(a, noconj);
    }
}

Mm transpose(const Mm& a) { return transpose(a, 1); }
Mm dot_transpose(const Mm& a) { return transpose(a, 1); }
Mm ctranspose(const Mm& a) { return transpose(a, 0); }
