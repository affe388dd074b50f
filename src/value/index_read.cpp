// Evaluating an index reference: the value that x(...), x{...}, x.f and
// their chains denote. Scalar, range and plain 2-D reads copy directly;
// N-d, sparse, struct and many-index reads walk the index combinations.
#include "value/element_kernels.hpp"
#include "value/globals.hpp"
#include "value/index_walk.hpp"
#include "value/mm_access.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "value/sparse_storage.hpp"
#include "value/subscript_record.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

namespace {

Mm nothing() { return nothing_M; }

Mm evaluate_at(const Mr& r, const Mm& base, bool report);

// An element reference starts from the base's flags, without the
// workspace's persistent and global marks.
void take_header(Mm& out, const Mm& base)
{
    M_types f = base.getflags();
    f.persistent = 0;
    f.global = 0;
    f.sparse = out.getflags().sparse;
    f.type = out.getflags().type;
    out.getflags() = f;
}

void take_fields(Mm& out, const Mm& base)
{
    for (int k = 0; k < base.getnfields(); ++k)
        out.addfield(base.getfields()[k], 1);
    out.setclassid(base.getclassid());
}

// Whether v holds start, start + 1, ..., start + n - 1 (start a whole
// number below 2^52, so every sum is exact): such an index selects one run
// of elements. Compared two lanes at a time, four pairs per step.
bool is_run(const double* v, int n, double start)
{
    using lanes = double __attribute__((vector_size(16)));
    using masks = long long __attribute__((vector_size(16)));
    const lanes off0 = {0, 1}, off1 = {2, 3}, off2 = {4, 5}, off3 = {6, 7};
    masks bad = {0, 0};
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        lanes a, b, c, d;
        std::memcpy(&a, v + k, sizeof a);
        std::memcpy(&b, v + k + 2, sizeof b);
        std::memcpy(&c, v + k + 4, sizeof c);
        std::memcpy(&d, v + k + 6, sizeof d);
        const double at = start + k;
        bad |= (a != at + off0) | (b != at + off1) | (c != at + off2) | (d != at + off3);
    }
    bool same = !(bad[0] | bad[1]);
    for (; k < n; ++k)
        same &= v[k] == start + k;
    return same;
}

bool is_whole_start(double v) { return v == std::floor(v) && std::fabs(v) < 0x1p52; }

// ---- plain path: full base of at most 2 dimensions, one or two indices ----

template <class T>
Mm plain_one(const Mm& base, const Mm& I, bool report)
{
    const int N = base.size();
    const T* re = real_part<T>(base);
    const T* im = imag_part<T>(base);
    const bool complex = im != nullptr;
    const qv_matrix_types type = element_type_of<T>;
    auto out_of_matrix = [&](int p) {
        if (report)
            error("%s(%s) : Index out of matrix. Index value was %d however the indexed matrix has %d elements.",
                  matrix_display_name(base), matrix_display_name(I), shown_index(p), N);
        return nothing();
    };

    const int n = I.size();
    if (I.islogical()) {
        const double* v = I.addr();
        const int count = count_true(I);
        const bool as_row = base.rows() == 1 || (base.cols() != 1 && I.rows() == 1);
        for (int p = N; p < n; ++p)
            if (is_selected(v[p]))
                return out_of_matrix(p);
        Mm out(complex, 0, 0, as_row ? 1 : count, as_row ? count : 1, type);
        if (out.size() != count)
            return nothing();
        take_header(out, base);
        T* ore = real_part<T>(out);
        T* oim = imag_part<T>(out);
        if constexpr (std::is_trivially_copyable_v<T>) {
            // Compaction without a branch per element: every element is
            // written at the next free place, which advances only when it
            // is selected. Up to the last selected position, every write
            // lands within the count.
            int last = std::min(n, N) - 1;
            while (last >= 0 && !is_selected(v[last]))
                --last;
            auto compact = [&](T* to, const T* from) {
                for (int p = 0, q = 0; p <= last; ++p) {
                    to[q] = from[p];
                    q += is_selected(v[p]);
                }
            };
            compact(ore, re);
            if (complex)
                compact(oim, im);
            return out;
        }
        for (int p = 0, q = 0; p < n; ++p) {
            if (!is_selected(v[p]))
                continue;
            ore[q] = re[p];
            if (complex)
                oim[q] = im[p];
            ++q;
        }
        return out;
    }

    int rows = I.rows(), cols = I.cols();
    if (N >= 2 && (rows == 1 || cols == 1)) {
        if (base.cols() == 1) {
            rows = n;
            cols = 1;
        } else if (base.rows() == 1) {
            rows = 1;
            cols = n;
        }
    }
    Mm out(complex, 0, 0, rows, cols, type);
    if (out.size() != n)
        return nothing();
    take_header(out, base);
    T* ore = real_part<T>(out);
    T* oim = imag_part<T>(out);
    // A range whose elements were never written is the run it stands for.
    double start;
    if (mm_access::unwritten_whole_range(I, start) && start >= 1 && start - 1 + n <= N) {
        const int first = index_position(start);
        copy_elements(ore, re + first, n);
        if (complex)
            copy_elements(oim, im + first, n);
        return out;
    }
    const double* v = I.addr();
    // A range index copies runs: each piece of the index is checked, then
    // its elements are copied while the piece is still in cache. Whatever
    // does not continue the run is gathered one element at a time.
    int done = 0;
    if (n >= 8 && is_whole_start(v[0])) {
        const int first = index_position(v[0]);
        if (first >= 0 && std::int64_t{first} + n <= N) {
            constexpr int piece = 4096;
            while (done < n) {
                const int len = std::min(piece, n - done);
                if (!is_run(v + done, len, v[0] + done))
                    break;
                copy_elements(ore + done, re + first + done, len);
                if (complex)
                    copy_elements(oim + done, im + first + done, len);
                done += len;
            }
        }
    }
    for (int k = done; k < n; ++k) {
        const int p = index_position(v[k]);
        if (p < 0 || p >= N)
            return out_of_matrix(p);
        ore[k] = re[p];
        if (complex)
            oim[k] = im[p];
    }
    return out;
}

// Positions an index of a 2-D read selects, with the count it selects.
struct axis_positions {
    scratch<int> list;  // empty for a colon
    int count = 0;
    int first_bad = -1;  // first entry outside 0 .. extent - 1
    bool contiguous = false;
    int start = 0;

    axis_positions(const Mm& index, int extent)
    {
        if (is_colon_index(index)) {
            count = extent;
            contiguous = true;
            return;
        }
        const double* v = index.addr();
        const int n = index.size();
        count = index.islogical() ? count_true(index) : n;
        if (count == 0)
            return;
        list.reset(count);
        if (index.islogical()) {
            for (int p = 0, q = 0; p < n; ++p)
                if (is_selected(v[p]))
                    list[q++] = p;
        } else {
            for (int k = 0; k < n; ++k)
                list[k] = index_position(v[k]);
        }
        contiguous = true;
        start = list[0];
        for (int k = 0; k < count; ++k) {
            if (first_bad < 0 && (list[k] < 0 || list[k] >= extent))
                first_bad = k;
            if (list[k] != std::int64_t{start} + k)
                contiguous = false;
        }
    }
    int at(int k) const { return list.size() ? list[k] : k; }
};

template <class T>
Mm plain_two(const Mm& base, const Mm& I, const Mm& J, bool report)
{
    const int nr = base.rows(), nc = base.cols();
    const T* re = real_part<T>(base);
    const T* im = imag_part<T>(base);
    const bool complex = im != nullptr;
    const qv_matrix_types type = element_type_of<T>;
    auto row_fault = [&](int p) {
        if (report)
            error("%s(%s,%s): row index out of matrix. Index was %d but indexed matrix has %d rows.",
                  matrix_display_name(base), matrix_display_name(I), matrix_display_name(J), shown_index(p), nr);
        return nothing();
    };
    auto col_fault = [&](int p) {
        if (report)
            error("%s(%s,%s): col index out of matrix. Index was %d but indexed matrix has %d columns.",
                  matrix_display_name(base), matrix_display_name(I), matrix_display_name(J), shown_index(p), nc);
        return nothing();
    };

    // x(i, j) with two numbers: no lists.
    if (I.size() == 1 && J.size() == 1 && !I.islogical() && !J.islogical() && !is_colon_index(I) &&
        !is_colon_index(J)) {
        const int c = index_position(*J.addr());
        if (c < 0 || c >= nc)
            return col_fault(c);
        const int r = index_position(*I.addr());
        if (r < 0 || r >= nr)
            return row_fault(r);
        Mm out(complex, 0, 0, 1, 1, type);
        if (out.size() != 1)
            return nothing();
        take_header(out, base);
        const std::int64_t at = r + std::int64_t{c} * nr;
        *real_part<T>(out) = re[at];
        if (complex)
            *imag_part<T>(out) = im[at];
        return out;
    }

    const axis_positions rows(I, nr), cols(J, nc);
    Mm out(complex, 0, 0, rows.count, cols.count, type);
    if (out.size() != std::int64_t{rows.count} * cols.count)
        return nothing();
    take_header(out, base);
    if (rows.count == 0 || cols.count == 0)
        return out;
    // Faults in the order a column-by-column copy meets them.
    if (cols.first_bad == 0)
        return col_fault(cols.at(0));
    if (rows.first_bad >= 0)
        return row_fault(rows.at(rows.first_bad));
    if (cols.first_bad > 0)
        return col_fault(cols.at(cols.first_bad));

    auto copy_part = [&](T* dst, const T* src) {
        if (rows.count == 1) {
            // A row: one element per column, a strided loop.
            const T* from = src + rows.at(0);
            if (!cols.list.size())
                for (int c = 0; c < cols.count; ++c)
                    dst[c] = from[std::int64_t{c} * nr];
            else
                for (int c = 0; c < cols.count; ++c)
                    dst[c] = from[std::int64_t{cols.list[c]} * nr];
            return;
        }
        for (int c = 0; c < cols.count; ++c) {
            const T* column = src + std::int64_t{cols.at(c)} * nr;
            T* to = dst + std::int64_t{c} * rows.count;
            if (rows.contiguous) {
                copy_elements(to, column + rows.start, rows.count);
            } else {
                for (int r = 0; r < rows.count; ++r)
                    to[r] = column[rows.list[r]];
            }
        }
    };
    if (rows.contiguous && cols.contiguous && rows.count == nr) {
        copy_elements(real_part<T>(out), re + std::int64_t{cols.start} * nr, out.size());
        if (complex)
            copy_elements(imag_part<T>(out), im + std::int64_t{cols.start} * nr, out.size());
        return out;
    }
    copy_part(real_part<T>(out), re);
    if (complex)
        copy_part(imag_part<T>(out), im);
    return out;
}

// ---- general path: the index walk ----

// What an index that selects nothing reads from a sparse base: the empty
// value, 0x0 as from a full base, in sparse form.
Mm sparse_empty(const Mm& base)
{
    Mm out(base.isc(), 1, 0, 0, 0, qv_double);
    if (!out.issparse())
        return nothing();
    take_header(out, base);
    return out;
}

// The entries of a sparse base at the consecutive positions from .. from +
// count - 1, as a rows x cols sparse value: one slice of its ascending
// positions, found by two searches, so that x(:, 1:end) and x(1:end) of the
// longest lines follow the entries and not the 2^31 - 1 positions.
Mm consecutive_entries(const Mm& base, std::int64_t from, std::int64_t count, int rows, int cols)
{
    const int* const index = base.getindex();
    const int n = base.getnnz();
    auto below = [](int position, std::int64_t bound) { return position < bound; };
    const int* lo = std::lower_bound(index, index + n, from, below);
    const int* hi = std::lower_bound(lo, index + n, from + count, below);
    const int stored = static_cast<int>(hi - lo);
    const bool complex = base.isc();
    Mm out(complex, 1, stored, rows, cols, qv_double);
    if (!out.issparse() || out.getp() < stored)
        return nothing();
    take_header(out, base);
    const std::ptrdiff_t e0 = lo - index;
    int* oindex = out.getindex();
    for (int k = 0; k < stored; ++k)
        oindex[k] = static_cast<int>(lo[k] - from);
    std::copy(base.addr() + e0, base.addr() + e0 + stored, out.addr());
    if (complex)
        std::copy(base.addi() + e0, base.addi() + e0 + stored, out.addi());
    out.getnnz() = stored;
    return out;
}

// x(:, J) of a sparse matrix from its compressed columns; other two-index
// reads go through x(:, J), a transpose, a column selection and a
// transpose back.
Mm sparse_two(const Mm& base, const Mm& I, const Mm& J, bool report)
{
    // An index that selects nothing gives the empty value, as on a full
    // base, before any position of the other index is looked at; the
    // transposed road would check those positions against an empty
    // intermediate and keep its extents.
    const index_desc di = decode_index(I, base.rows()), dj = decode_index(J, base.cols());
    if (di.count == 0 || dj.count == 0)
        return sparse_empty(base);
    if (!is_colon_index(I)) {
        // A result past what sparse positions count is named by its own
        // extents, not by the transposed intermediate's (S([1 1], :) of
        // the longest row is 2 x 2^31 - 1), once no index is out of range.
        if (report && std::int64_t{di.count} * dj.count > INT_MAX && positions_within(di, base.rows()) &&
            positions_within(dj, base.cols())) {
            report_sparse_too_large(di.count, dj.count);
            return nothing();
        }
        Mr columns(Mr_paren, base, c_p, J);
        Mm t = evaluate_at(columns, base, report);
        if (t.gettype() == qv_none)
            return t;
        t = transpose(t, 1);
        Mr rows(Mr_paren, t, c_p, I);
        Mm u = evaluate_at(rows, t, report);
        if (u.gettype() == qv_none)
            return u;
        return transpose(u, 1);
    }
    const int nr = base.rows(), nc = base.cols();
    const index_desc& d = dj;
    if (!positions_within(d, nc)) {
        if (report) {
            // The first position out of range, as the walk meets it.
            int bad = std::max(d.first, nc);
            bool found = is_consecutive(d);
            for_each_position(d, [&](int, int p) {
                if (!found && (p < 0 || p >= nc)) {
                    bad = p;
                    found = true;
                }
            });
            report_index_fault(bad < 0 ? index_fault::not_positive : index_fault::beyond_dimension, J, base,
                               shown_index(bad), nc);
        }
        return nothing();
    }
    const bool complex = base.isc();
    if (is_consecutive(d))
        return consecutive_entries(base, std::int64_t{d.first} * nr, std::int64_t{d.count} * nr, nr, d.count);
    // Each selected column's entries: from a start per column where the
    // columns are no more than twice the entries, else by a search of the
    // ascending positions, so that the work follows the columns selected
    // and their entries (starts for every column of a row of 2^31
    // elements asked for 8 GB to read one element).
    const int n = base.getnnz();
    const int* const first = base.getindex();
    const int* const last = first + n;
    const bool started = nc <= 2 * std::int64_t{n} + 1024;
    scratch<int> start(started ? std::size_t(nc) + 1 : 0);
    for (int c = 0, e = 0; started && c <= nc; ++c) {
        while (e < n && (c == nc || first[e] < std::int64_t{c} * nr))
            ++e;
        start[c] = e;
    }
    auto column = [&](int p, const int*& from, const int*& to) {
        if (started) {
            from = first + start[p];
            to = first + start[p + 1];
            return;
        }
        from = std::lower_bound(first, last, static_cast<int>(std::int64_t{p} * nr));
        to = std::int64_t{p} + 1 >= nc ? last
                                       : std::lower_bound(from, last, static_cast<int>((std::int64_t{p} + 1) * nr));
    };
    std::int64_t stored = 0;
    for_each_position(d, [&](int, int p) {
        const int *from, *to;
        column(p, from, to);
        stored += to - from;
    });
    Mm out(complex, 1, static_cast<int>(std::min<std::int64_t>(stored, INT32_MAX)), nr, d.count, qv_double);
    if (!out.issparse() || std::int64_t{out.getp()} < stored)
        return nothing();
    take_header(out, base);
    const double* re = base.addr();
    const double* im = base.addi();
    double* ore = out.addr();
    double* oim = out.addi();
    int* oindex = out.getindex();
    int m = 0;
    for_each_position(d, [&](int q, int p) {
        const int *from, *to;
        column(p, from, to);
        for (const int* at = from; at < to; ++at) {
            const std::ptrdiff_t e = at - first;
            oindex[m] = q * nr + (*at - p * nr);
            ore[m] = re[e];
            if (complex)
                oim[m] = im[e];
            ++m;
        }
    });
    out.getnnz() = m;
    return out;
}

// Extents of a general-path result.
int result_shape(const Mm& base, int n, const Mm* const* ix, const index_walk& w, int dims[4])
{
    for (int k = 0; k < 4; ++k)
        dims[k] = 1;
    if (n != 1) {
        for (int k = 0; k < n; ++k)
            dims[k] = w.count(k);
        return n;
    }
    const Mm& I = *ix[0];
    const int count = w.count(0);
    int nd = base.getndims();
    if (isvector(base) && isvector(I)) {
        const int vd = base.vectordim();
        dims[vd - 1] = count;
        return std::max(nd, vd);
    }
    if (isvector(I)) {
        const int vd = I.vectordim();
        dims[vd - 1] = count;
        return std::max(nd, vd);
    }
    if (!I.islogical() && count == I.size()) {
        for (int k = 0; k < 4; ++k)
            dims[k] = I.getdims()[k];
        return I.getndims();
    }
    dims[0] = count;
    return nd;
}

bool more_than_two_dims(int nd, const int dims[4])
{
    for (int k = 2; k < nd && k < 4; ++k)
        if (dims[k] != 1)
            return true;
    return false;
}

Mm sparse_walk(const Mm& base, index_walk& w, int nd, const int dims[4], bool report)
{
    const std::int64_t total = w.index_counts();
    if (total == 0)
        return sparse_empty(base);
    const index_desc& d = w.desc(0);
    if (w.desc_count() == 1 && is_consecutive(d)) {
        // Only the far end can be out of range: checked as the walk would.
        const int far = positions_within(d, base.size()) ? d.first + d.count - 1 : std::max(d.first, base.size());
        if (w.offset_of(&far, false, report) < 0)
            return nothing();
        return consecutive_entries(base, d.first, d.count, dims[0], dims[1]);
    }
    std::int64_t stored = 0;
    w.index_walk_start();
    for (std::int64_t q = 0; q < total; ++q) {
        const std::int64_t off = w.next_index_offset(false, report);
        if (off < 0)
            return nothing();
        stored += base.search(static_cast<int>(off)) >= 0;
    }
    const bool complex = base.isc();
    Mm out(complex, 1, static_cast<int>(stored), nd, dims, qv_double);
    if (!out.issparse() || out.getp() < stored)
        return nothing();
    take_header(out, base);
    const double* re = base.addr();
    const double* im = base.addi();
    double* ore = out.addr();
    double* oim = out.addi();
    int* oindex = out.getindex();
    int m = 0;
    w.index_walk_start();
    for (std::int64_t q = 0; q < total; ++q) {
        const int at = base.search(static_cast<int>(w.next_index_offset(false, false)));
        if (at < 0)
            continue;
        oindex[m] = static_cast<int>(q);
        ore[m] = re[at];
        if (complex)
            oim[m] = im[at];
        ++m;
    }
    out.getnnz() = m;
    return out;
}

template <class T>
Mm general_read(const Mm& base, int n, const Mm* const* ix, bool report)
{
    index_walk w(base, n, ix, report);
    int dims[4];
    const int nd = result_shape(base, n, ix, w, dims);
    if (base.issparse()) {
        if (n == 2)
            return sparse_two(base, *ix[0], *ix[1], report);
        if (!more_than_two_dims(nd, dims))
            return sparse_walk(base, w, nd, dims, report);
        // A sparse value has two dimensions: a result with more is full.
        const Mm dense = full(base);
        return general_read<double>(dense, n, ix, report);
    }

    const std::int64_t total = w.index_counts();
    const T* re = real_part<T>(base);
    const T* im = imag_part<T>(base);
    const bool complex = im != nullptr;
    Mm out(complex, 0, 0, nd, dims, element_type_of<T>);
    if (out.size() != total)
        return nothing();
    take_header(out, base);
    take_fields(out, base);
    T* ore = real_part<T>(out);
    T* oim = imag_part<T>(out);
    w.index_walk_start();
    for (std::int64_t q = 0; q < total; ++q) {
        const std::int64_t off = w.next_index_offset(false, report);
        if (off < 0) {
            if (!base.isstruct())
                return nothing();
            // A struct array read beyond its elements gives elements whose
            // fields are all empty: chained assignment builds on that.
            const Mm fresh = mm_access::field_list(base.getnfields());
            fill_new_elements(ore, out.size(), fresh);
            return out;
        }
        ore[q] = re[off];
        if (complex)
            oim[q] = im[off];
    }
    return out;
}

template <class T>
Mm element_reference(const Mm& base, int n, const Mm* const* given, bool report)
{
    const Mm* ix[4] = {given[0], n > 1 ? given[1] : nullptr, n > 2 ? given[2] : nullptr, n > 3 ? given[3] : nullptr};
    bool general = base.issparse() || base.getndims() > 2 || n > 2 || base.isstruct();
    std::optional<Mm> dense[2];
    for (int k = 0; k < n && !general; ++k) {
        if (ix[k]->getndims() > 2) {
            general = true;
        } else if (ix[k]->issparse()) {
            ix[k] = &dense[k].emplace(full(*ix[k]));
        }
    }
    if (general)
        return general_read<T>(base, n, ix, report);
    return n == 1 ? plain_one<T>(base, *ix[0], report) : plain_two<T>(base, *ix[0], *ix[1], report);
}

Mm read_paren(const Mm& base, const Mr& r, bool report)
{
    const int n = r.getnidx();
    if (n <= 0)
        return base;
    const Mm* ix[4] = {};
    for (int k = 0; k < n; ++k)
        ix[k] = &r.getindex(k);
    if (n == 1 && is_colon_index(*ix[0])) {
        // x(:) shares the base's data as one column.
        Mm out(base);
        const int count = base.size();
        out.getndims() = 2;
        int* d = out.getdims();
        d[0] = count;
        d[1] = count ? 1 : 0;
        d[2] = d[3] = count ? 1 : 0;
        return out;
    }
    if (n == 2 && is_colon_index(*ix[0]) && is_colon_index(*ix[1]))
        return base;

    Mm out = base.gettype() == qv_double  ? element_reference<double>(base, n, ix, report)
             : base.gettype() == qv_uint8 ? element_reference<unsigned char>(base, n, ix, report)
             : base.gettype() == qv_cell  ? element_reference<Mm>(base, n, ix, report)
                                          : nothing();
    if (out.gettype() == qv_none)
        return out;
    out.collapse();
    if (out.gettype() == qv_double && out.isc())
        out.getreal(0);
    return out;
}

Mm read_brace(const Mm& base, const Mr& r, bool report)
{
    if (base.gettype() != qv_cell) {
        if (report)
            error("variable '%s' was {}-indexed, but it is not a cell array", matrix_display_name(base));
        return nothing();
    }
    const int n = r.getnidx();
    const Mm* ix[4] = {};
    for (int k = 0; k < n; ++k)
        ix[k] = &r.getindex(k);
    index_walk w(base, n, ix, report);
    // x{} of an empty cell selects nothing, as an empty index does.
    if (w.index_counts() == 0 || (n == 0 && base.size() == 0))
        return Mm();
    w.index_walk_start();
    const std::int64_t off = w.next_index_offset(false, report);
    if (off < 0)
        return nothing();
    return base.getpr((Mm*)nullptr)[off];
}

Mm read_field(const Mm& base, const char* field, bool report)
{
    const int k = base.findfield(field, report);
    if (k < 0)
        return nothing();
    const int n = base.size();
    if (n == 0)
        return Mm();
    const Mm* elements = base.getpr((Mm*)nullptr);
    // Element m of a struct array holds one value per field.
    auto value_of = [&](int m) -> const Mm* {
        const Mm& e = elements[m];
        if (e.gettype() != qv_cell || e.size() != base.getnfields()) {
            if (report)
                error("structure '%s' is built wrong", matrix_display_name(base));
            return nullptr;
        }
        return e.getpr((Mm*)nullptr) + k;
    };
    if (n == 1) {
        const Mm* v = value_of(0);
        return v ? *v : nothing();
    }
    Mm out(0, 0, 0, 1, n, qv_cell);
    if (out.size() != n)
        return nothing();
    Mm* items = out.getpr((Mm*)nullptr);
    for (int m = 0; m < n; ++m)
        if (const Mm* v = value_of(m))
            items[m] = *v;
    return out;
}

// x(k) of a full 2-D double with one scalar index, the read compiled code
// runs most: the position it selects, or -1 when another path must run.
int scalar_fast_position(const Mr& r, const Mm& base)
{
    if (r.getkind() != Mr_paren || r.getnidx() != 1)
        return -1;
    const Mm& i = r.getindex(0);
    if (base.gettype() != qv_double || base.issparse() || base.getndims() != 2 || base.getfields() ||
        base.getclassid() || i.issparse() || i.islogical() || i.getnnz() != 1 || i.rows() != 1 || i.cols() != 1)
        return -1;
    const int p = index_position(mm_access::single_element(i));
    if (p < 0 || p >= base.rows() * base.cols())
        return -1;
    const double* im = base.addi();
    return im && im[p] != 0 ? -1 : p;
}

Mm scalar_element(const Mm& base, int p)
{
    Mm out(base.addr()[p]);
    take_header(out, base);
    return out;
}

Mm evaluate_at(const Mr& r, const Mm& base, bool report)
{
    const int p = scalar_fast_position(r, base);
    if (p >= 0)
        return scalar_element(base, p);
    if (base.gettype() == qv_none) {
        if (report)
            error("%s(...): variable '%s' was used without value.", matrix_display_name(base),
                  matrix_display_name(base));
        return nothing();
    }
    if (has_class_method(base, "subsref"))
        return call_class_function("subsref", base, make_subscript_record(r));
    switch (r.getkind()) {
    case Mr_field:
        return read_field(base, r.getfieldname(), report);
    case Mr_brace:
        return read_brace(base, r, report);
    default:
        return read_paren(base, r, report);
    }
}

Mm evaluate_reference(const Mr& r, bool report)
{
    if (r.ischained() && r.getparent()) {
        const Mm parent_value = evaluate_reference(*r.getparent(), report);
        return evaluate_at(r, parent_value, report);
    }
    if (!r.getbase() || r.getkind() == Mr_none) {
        if (report)
            error("index reference without a value to index");
        return nothing();
    }
    return evaluate_at(r, *r.getbase(), report);
}

} // namespace

// The result takes the evaluation's storage and never its name. A scalar
// read builds straight into the result: no value is made to be moved. Like
// every constructor but those of a scalar variable, it leaves the
// scalar-variable mark clear, whatever the base carries.
Mm::Mm(const Mr& r, int report) : name(nullptr), scope_link(nullptr), flags{}
{
    const Mm* base = r.getbase();
    const int p = base && !r.ischained() ? scalar_fast_position(r, *base) : -1;
    if (p >= 0) {
        init_real_scalar(base->addr()[p]);
        take_header(*this, *base);
        flags.scalar_var = 0;
        return;
    }
    make_storageless();
    Mm value = evaluate_reference(r, report != 0);
    mm_access::adopt(*this, value);
    flags.scalar_var = 0;
}

// y = x(k) with a real scalar element and an unshared real 1x1 y: the
// element is written into y's block, which ends as assignment from the read
// value would leave it (the base's flag words, y's own name and marks).
Mm& Mm::operator=(const Mr& r)
{
    const Mm* base = r.getbase();
    if (base && !r.ischained() && this != &failed_access_sink && refcount && dirty() == 0 &&
        flags.type == qv_double && nnz == 1 && ndims == 2 && dims[0] == 1 && dims[1] == 1 && !pi &&
        !flags.sparse && !fields && !classid) {
        const int p = scalar_fast_position(r, *base);
        if (p >= 0) {
            *static_cast<double*>(pr) = base->addr()[p];
            // The read value would carry the base's text and logical words;
            // every other word assignment keeps from the target.
            flags.str = base->getflags().str;
            flags.logical = base->getflags().logical;
            flags.scalar_var = flags.scalar_var != 0;
            return *this;
        }
    }
    Mm value(r, 1);
    return *this = static_cast<Mm&&>(value);
}
