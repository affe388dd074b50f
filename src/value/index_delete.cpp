// Deleting elements, x(...) = []: by one index, by two indices, and along
// the one non-colon index of any index list. A keep mask is built and
// checked first; the target changes only once the mask is complete.
#include "value/mm_access.hpp"
#include "value/element_kernels.hpp"
#include "value/index_engines.hpp"
#include "value/index_walk.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// One flag per deletable unit, all kept to start with.
struct keep_mask {
    scratch<unsigned char> keep;
    int size;
    explicit keep_mask(int n) : keep(n > 0 ? n : 0), size(n > 0 ? n : 0) { keep_all(); }
    void keep_all()
    {
        if (size)
            std::memset(keep.get(), 1, size);
    }
    void drop(int p) { keep[p] = 0; }
    bool kept(int p) const { return keep[p] != 0; }
    int kept_count() const
    {
        int c = 0;
        for (int p = 0; p < size; ++p)
            c += keep[p];
        return c;
    }
};

void set_extents(Mm& x, int nd, const int d[4])
{
    x.getndims() = nd;
    for (int k = 0; k < 4; ++k)
        x.getdims()[k] = d[k];
}

// x becomes an empty 0x0 value of its element type with its marks; a sparse
// value stays sparse and a struct array keeps its field names.
void make_empty(Mm& x, bool keep_sparse)
{
    const M_types saved = x.getflags();
    Mm out(0, keep_sparse && x.issparse(), 0, 0, 0, static_cast<qv_matrix_types>(x.gettype()));
    for (int k = 0; k < x.getnfields(); ++k)
        out.addfield(x.getfields()[k], 1);
    out.setclassid(x.getclassid());
    x = out;
    restore_flags(x, saved);
}

// x(i) = [] for strictly ascending valid positions on an unshared value of
// plain elements: the kept runs move down with memmove, no mask needed.
// Returns false, changing nothing, when the positions are not of that kind.
template <class T>
bool delete_ascending(Mm& x, const double* iv, int k)
{
    const int n = x.size();
    int deleted = 0;
    for (int j = 0, prev = -1; j < k; ++j) {
        const int q = index_position(iv[j]);
        if (q <= prev)
            return false;  // unordered, repeated or non-positive: the general path
        prev = q;
        if (q < n)
            ++deleted;
    }
    if (deleted == 0)
        return true;
    const int r = n - deleted;
    auto squeeze = [&](T* data) {
        int write = index_position(iv[0]);
        for (int j = 0; j < deleted; ++j) {
            const int from = index_position(iv[j]) + 1;
            const int next = j + 1 < deleted ? index_position(iv[j + 1]) : n;
            if (next > from)
                std::memmove(data + write, data + from, sizeof(T) * std::size_t(next - from));
            write += next - from;
        }
    };
    squeeze(real_part<T>(x));
    if (T* im = imag_part<T>(x))
        squeeze(im);
    const int shape[4] = {r == 0 ? 0 : x.cols() == 1 ? r : 1, r == 0 ? 0 : x.cols() == 1 ? 1 : r, r == 0 ? 0 : 1,
                          r == 0 ? 0 : 1};
    set_extents(x, 2, shape);
    x.getnnz() = r;
    return true;
}

template <class T>
bool delete_one_typed(Mm& x, const Mm& idx)
{
    const int n = x.size(), k = idx.size();
    if (k == 0 || n == 0)
        return true;
    const M_types saved = x.getflags();
    const double* iv = idx.addr();
    if constexpr (!is_cell_element<T>) {
        if (!idx.islogical() && !x.dirty() && delete_ascending<T>(x, iv, k))
            return true;
    }
    keep_mask mask(n);
    if (idx.islogical()) {
        for (int p = 0; p < k && p < n; ++p)
            if (is_selected(iv[p]))
                mask.drop(p);
    } else {
        for (int j = 0; j < k; ++j) {
            const int q = index_position(iv[j]);
            if (q < 0) {
                error("%s(%d): index is non-positive", matrix_display_name(x), q + 1);
                return false;
            }
            if (q < n)
                mask.drop(q);
        }
    }
    const int r = mask.kept_count();
    if (r == n)
        return true;
    if (r == 0) {
        // Every element goes: a 0x0 value that keeps its buffer.
        const int none[4] = {0, 0, 0, 0};
        set_extents(x, 2, none);
        x.getnnz() = 0;
        return true;
    }
    const int shape[4] = {x.cols() == 1 ? r : 1, x.cols() == 1 ? 1 : r, 1, 1};
    if (!x.dirty()) {
        // Compacted in place; a cell's freed slots let go of their values.
        auto compact = [&](T* data) {
            for (int p = 0, q = 0; p < n; ++p)
                if (mask.kept(p)) {
                    if (q != p)
                        data[q] = data[p];
                    ++q;
                }
        };
        compact(real_part<T>(x));
        if (T* im = imag_part<T>(x))
            compact(im);
        if constexpr (is_cell_element<T>) {
            fill_new_elements(real_part<T>(x) + r, n - r, mm_access::empty_element());
        }
        set_extents(x, 2, shape);
        x.getnnz() = r;
        return true;
    }
    Mm out(x.isc(), 0, 0, shape[0], shape[1], element_type_of<T>);
    if (!holds(out, r))
        return false;
    auto gather = [&](T* to, const T* from) {
        for (int p = 0, q = 0; p < n; ++p)
            if (mask.kept(p))
                to[q++] = from[p];
    };
    gather(real_part<T>(out), real_part<T>(x));
    if (T* oim = imag_part<T>(out))
        gather(oim, imag_part<T>(x));
    x = out;
    restore_flags(x, saved);
    return true;
}

template <class T>
bool delete_two_typed(Mm& x, const Mm& I, const Mm& J, bool ci, bool cj)
{
    const int R = x.rows(), Q = x.cols(), n = x.size();
    const M_types saved = x.getflags();
    keep_mask rows(R), cols(Q);
    auto mark = [](keep_mask& mask, const Mm& index, int extent) {
        const double* v = index.addr();
        for (int k = 0, c = index.size(); k < c; ++k) {
            const int q = index_position(v[k]);
            if (q >= 0 && q < extent)
                mask.drop(q);
        }
    };
    if (!ci)
        mark(rows, I, R);
    if (!cj)
        mark(cols, J, Q);
    // An index that names every row (or column) counts as a colon, so the
    // other index alone says what goes: A(1:end, 2) = [] deletes column 2.
    // When both name everything, everything goes.
    const bool every_row = !ci && rows.kept_count() == 0, every_col = !cj && cols.kept_count() == 0;
    if (every_row && !(cj || every_col)) {
        rows.keep_all();
        ci = true;
    } else if (every_col && !(ci || every_row)) {
        cols.keep_all();
        cj = true;
    }
    const int kr = rows.kept_count(), kc = cols.kept_count();
    const std::int64_t K = std::int64_t{kr} * kc;
    if (K == n)
        return true;
    int shape_r, shape_c;
    if (ci) {
        shape_r = R;
        shape_c = kc;
    } else if (cj) {
        shape_r = kr;
        shape_c = Q;
    } else {
        shape_r = 1;
        shape_c = static_cast<int>(K);
    }
    Mm out(x.isc(), 0, 0, shape_r, shape_c, element_type_of<T>);
    if (!holds(out, K))
        return false;
    auto gather = [&](T* to, const T* from) {
        std::int64_t q = 0;
        for (int c = 0; c < Q; ++c) {
            if (!cols.kept(c))
                continue;
            for (int r = 0; r < R; ++r)
                if (rows.kept(r))
                    to[q++] = from[r + std::int64_t{c} * R];
        }
    };
    gather(real_part<T>(out), real_part<T>(x));
    if (T* oim = imag_part<T>(out))
        gather(oim, imag_part<T>(x));
    x = out;
    restore_flags(x, saved);
    return true;
}

// The slabs along dimension j that survive are copied as runs of stride
// elements.
template <class T>
bool delete_slabs(Mm& x, const keep_mask& mask, int extent, std::int64_t stride, int nd, const int newd[4])
{
    const M_types saved = x.getflags();
    const int kept = mask.kept_count();
    const std::int64_t n = x.size();
    Mm out(x.isc(), 0, 0, nd, newd, element_type_of<T>);
    const std::int64_t outer = extent > 0 && stride > 0 ? n / (stride * extent) : 0;
    if (!holds(out, outer * stride * kept))
        return false;
    for (int k = 0; k < x.getnfields(); ++k)
        out.addfield(x.getfields()[k], 1);
    out.setclassid(x.getclassid());
    auto runs = [&](T* to, const T* from) {
        std::int64_t q = 0;
        for (std::int64_t o = 0; o < outer; ++o)
            for (int s = 0; s < extent; ++s)
                if (mask.kept(s)) {
                    copy_elements(to + q, from + (o * extent + s) * stride, stride);
                    q += stride;
                }
    };
    runs(real_part<T>(out), real_part<T>(x));
    if (T* oim = imag_part<T>(out))
        runs(oim, imag_part<T>(x));
    x = out;
    restore_flags(x, saved);
    x.collapse();
    return true;
}

// A sparse target's entries outside the deleted slabs (dropped: their
// places along the dimension, ascending, each once) shift down by the
// slabs deleted before theirs. The work follows the stored entries and the
// index, not the extent: a column of 2^31 elements that loses one gave
// each element a mark and a rank.
// The slabs that go from a sparse target: a sorted list without repeats,
// or the span lo .. hi - 1 a colon or a run names (no list of 2^31 - 1
// places for S(1:end) = [] of the longest line).
struct dropped_slabs {
    const int* list = nullptr;
    int count = 0;
    int lo = 0, hi = 0;

    // Whether slab goes; else how many that go lie below it.
    bool goes(int slab, int& below) const
    {
        if (!list) {
            below = slab < lo ? 0 : hi - lo;
            return slab >= lo && slab < hi;
        }
        const int* at = std::lower_bound(list, list + count, slab);
        below = static_cast<int>(at - list);
        return at != list + count && *at == slab;
    }
};

bool delete_sparse_slabs(Mm& x, const dropped_slabs& dropped, int extent, std::int64_t stride, int nd,
                         const int newd[4])
{
    const M_types saved = x.getflags();
    const std::int64_t kept = extent - dropped.count;
    Mm out(x.isc(), 1, x.getnnz(), nd, newd, qv_double);
    if (!out.issparse())
        return false;
    const int* index = x.getindex();
    const double* re = x.addr();
    const double* im = x.addi();
    int* oindex = out.getindex();
    double* ore = out.addr();
    double* oim = out.addi();
    int m = 0;
    for (int e = 0, c = x.getnnz(); e < c; ++e) {
        const std::int64_t at = index[e];
        const std::int64_t rest = at / stride;
        const int slab = static_cast<int>(rest % extent);
        int below = 0;
        if (dropped.goes(slab, below))
            continue;
        const std::int64_t slabs_before = (slab - below) + kept * (rest / extent);
        oindex[m] = static_cast<int>(at % stride + stride * slabs_before);
        ore[m] = re[e];
        if (oim)
            oim[m] = im[e];
        ++m;
    }
    out.getnnz() = m;
    x = out;
    restore_flags(x, saved);
    x.collapse();
    return true;
}

// Whether an index names every position 0 .. extent-1 of a dimension,
// with no value below 1 (which the walk reports).
bool names_every(const Mm& given, int extent)
{
    Mm index(given);
    if (index.gettype() != qv_double)
        index = subsindex(index);
    const index_desc d = decode_index(index, extent);
    if (d.count < extent || (d.kind == index_desc::sparse_numeric && d.n != index.size()))
        return false;
    keep_mask seen(extent);
    bool valid = true;
    for_each_position(d, [&](int, int p) {
        if (p < 0)
            valid = false;
        else if (p < extent)
            seen.drop(p);
    });
    return valid && seen.kept_count() == 0;
}

} // namespace

bool delete_one(Mm& x, const Mm& i, bool colon)
{
    if (colon) {
        make_empty(x, false);
        return true;
    }
    switch (x.gettype()) {
    case qv_double:
        return delete_one_typed<double>(x, i);
    case qv_uint8:
        return delete_one_typed<unsigned char>(x, i);
    case qv_cell:
        return delete_one_typed<Mm>(x, i);
    default:
        x.warn_uninit();
        return false;
    }
}

bool delete_two(Mm& x, const Mm& i, const Mm& j, bool colon_i, bool colon_j)
{
    switch (x.gettype()) {
    case qv_double:
        return delete_two_typed<double>(x, i, j, colon_i, colon_j);
    case qv_uint8:
        return delete_two_typed<unsigned char>(x, i, j, colon_i, colon_j);
    case qv_cell:
        return delete_two_typed<Mm>(x, i, j, colon_i, colon_j);
    default:
        x.warn_uninit();
        return false;
    }
}

bool delete_general(Mm& x, const Mr& r)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    const int k = r.getnidx() > 0 ? r.getnidx() : 0;
    int j = -1;
    for (int d = 0; d < k; ++d) {
        if (is_colon_index(r.getindex(d)))
            continue;
        // Of several indices, one that names every position of its
        // dimension counts as a colon; when all do, everything goes.
        if (k >= 2 && d < 4 && names_every(r.getindex(d), x.getdims()[d]))
            continue;
        if (j >= 0) {
            error("While assigning empty matrix to the matrix '%s', there was more than one non-colon index",
                  matrix_display_name(x));
            return false;
        }
        j = d;
    }
    if (j < 0) {
        make_empty(x, true);
        return true;
    }

    Mm idx(r.getindex(j));
    if (idx.gettype() != qv_double)
        idx = subsindex(idx);
    const int* dims = x.getdims();
    const int n = x.size();
    const index_desc d = decode_index(idx, 0);
    std::int64_t combinations = d.count;
    for (int c = 0; c < k; ++c)
        if (c != j)
            combinations *= dims[c];
    if (combinations == 0)
        return true;

    const int extent = k == 1 ? n : dims[j];
    std::int64_t stride = 1;
    for (int c = 0; c < j && k > 1; ++c)
        stride *= dims[c];
    int above_one = 0;
    for (int c = 0; c < x.getndims(); ++c)
        above_one += dims[c] > 1;
    // A sparse target lists the places that go; any other marks them.
    const bool listed = x.issparse();
    // ... and a colon or a run names a span of them.
    const bool span = listed && is_consecutive(d);
    keep_mask mask(listed ? 0 : extent);
    scratch<int> dropped(listed && !span ? static_cast<std::size_t>(d.count) : 0);
    int dropped_count = 0;
    bool ok = true;
    if (span) {
        // Only the far end can be out of range.
        const std::int64_t end = std::int64_t{d.first} + d.count;
        if (k == 1 && above_one >= 2 && end > n) {
            report_index_fault(index_fault::beyond_matrix, idx, x, shown_index(std::max(d.first, n)), n);
            return false;
        }
        dropped_count = static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(end, extent) - d.first));
    }
    auto drop = [&](int, int p) {
        if (!ok)
            return;
        if (p < 0) {
            report_index_fault(index_fault::not_positive, idx, x, p + 1, n);
            ok = false;
        } else if (k == 1 && above_one >= 2 && p >= n) {
            report_index_fault(index_fault::beyond_matrix, idx, x, shown_index(p), n);
            ok = false;
        } else if (p < extent) {
            if (listed)
                dropped[dropped_count++] = p;
            else
                mask.drop(p);
        }
    };
    if (!span)
        for_each_position(d, drop);
    if (!ok)
        return false;
    if (listed && !span) {
        std::sort(dropped.get(), dropped.get() + dropped_count);
        dropped_count = static_cast<int>(std::unique(dropped.get(), dropped.get() + dropped_count) - dropped.get());
    }
    const int kept = listed ? extent - dropped_count : mask.kept_count();
    if (kept == extent)
        return true;
    if (kept == 0) {
        // Every slab goes: 0x0, a sparse value too.
        make_empty(x, true);
        return true;
    }

    int newd[4] = {1, 1, 1, 1};
    int nd = x.getndims();
    if (k == 1) {
        const int vd = x.vectordim();
        if (vd > 0) {
            newd[vd - 1] = kept;
        } else {
            newd[1] = kept;
            nd = 2;
        }
    } else {
        for (int c = 0; c < 4; ++c)
            newd[c] = dims[c];
        newd[j] = kept;
        if (nd < j + 1)
            nd = j + 1;
    }
    if (listed) {
        dropped_slabs gone;
        gone.count = dropped_count;
        if (span) {
            gone.lo = d.first;
            gone.hi = d.first + dropped_count;
        } else {
            gone.list = dropped.get();
        }
        return delete_sparse_slabs(x, gone, extent, stride, nd, newd);
    }
    switch (x.gettype()) {
    case qv_double:
        return delete_slabs<double>(x, mask, extent, stride, nd, newd);
    case qv_uint8:
        return delete_slabs<unsigned char>(x, mask, extent, stride, nd, newd);
    case qv_cell:
        return delete_slabs<Mm>(x, mask, extent, stride, nd, newd);
    default:
        return false;
    }
}

void Mm::vwcopy0(const Mr& r) { delete_general(*this, r); }
