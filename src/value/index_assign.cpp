// Indexed assignment: x(i) = y, x(i, j) = y and the general form behind
// every other index count, sparse target and brace store. Each engine is
// written once over the element storage (double, uint8, cell) and runs all
// of its checks before the target changes.
#include "value/element_kernels.hpp"
#include "value/index_engines.hpp"
#include "value/index_walk.hpp"
#include "value/offsets.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include "value/mm_access.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <type_traits>

namespace {

// Spare elements for a value of `count` elements that grew out of
// `capacity`: the standard 8, or up to 1.5 times the old capacity.
inline int growth_room(int capacity, int count)
{
    const std::int64_t target = std::max<std::int64_t>(std::int64_t{count} + 8, std::int64_t{capacity} * 3 / 2);
    return static_cast<int>(std::min<std::int64_t>(target - count, max_element_count - count));
}

// The value every new element of x starts from: an empty double in a cell,
// a cell of empty field values in a struct array. It is made before anything
// changes, so a refused one (a struct's field cell) refuses the assignment
// with the target as it was. New numbers are zeros and need none.
struct no_element {};
template <class T>
using new_element = std::conditional_t<is_cell_element<T>, Mm, no_element>;

template <class T>
new_element<T> unmade_element() noexcept
{
    if constexpr (is_cell_element<T>)
        return mm_access::storageless();
    else
        return {};
}

template <class T>
bool make_new_element(const Mm& x, new_element<T>& fresh)
{
    if constexpr (is_cell_element<T>) {
        if (!x.isstruct()) {
            fresh = mm_access::empty_element();
            return true;
        }
        fresh = mm_access::field_list(x.getnfields());
        return fresh.gettype() == qv_cell && fresh.size() == x.getnfields();
    }
    return true;
}

template <class T>
void fill_new(T* dst, std::int64_t n, const new_element<T>& fresh)
{
    if constexpr (is_cell_element<T>) {
        if (n > 0)
            fill_new_elements(dst, n, fresh);
    } else {
        fill_zero(dst, n);
    }
}

void copy_fields(Mm& out, const Mm& x)
{
    for (int k = 0; k < x.getnfields(); ++k)
        out.addfield(x.getfields()[k], 1);
    out.setclassid(x.getclassid());
}

// The source in the target's element type, full. Returns false for a
// source without a value.
bool settle_source(Mm& y, const Mm& x)
{
    if (y.gettype() == qv_none) {
        y.warn_uninit();
        return false;
    }
    // Full first: sparse storage holds doubles only, whatever the target.
    // A refused allocation on the way leaves y short or of another type.
    const int n = y.size();
    if (y.issparse())
        y = full(y);
    if (y.gettype() != x.gettype())
        y.deepcopy(y, static_cast<qv_matrix_types>(x.gettype()));
    return y.gettype() == x.gettype() && y.size() == n && !y.issparse();
}

// A private copy of an index as a double value.
bool settle_index(Mm& i)
{
    if (i.gettype() == qv_none) {
        i.warn_uninit();
        return false;
    }
    if (i.gettype() != qv_double)
        i = subsindex(i);
    if (i.issparse() && i.islogical()) {
        // A sparse mask selects its non-zero entries: their positions, as
        // a row, without the full form (which may not fit).
        const int n = i.getnnz();
        const double* v = i.addr();
        const double* vi = i.addi();
        int count = 0;
        for (int k = 0; k < n; ++k)
            count += is_selected(v[k]) || (vi && is_selected(vi[k]));
        Mm at(0, 0, 0, 1, count, qv_double);
        if (!holds(at, count))
            return false;
        double* p = at.addr();
        for (int k = 0, q = 0; k < n; ++k)
            if (is_selected(v[k]) || (vi && is_selected(vi[k])))
                p[q++] = i.getindex()[k] + 1.0;
        i = at;
    } else if (i.issparse()) {
        i = full(i);
    }
    return true;
}

// The 1-based positions of the selected entries of a logical index, as a row.
Mm positions_of(const Mm& mask)
{
    const int count = count_true(mask);
    Mm out(0, 0, 0, 1, count, qv_double);
    if (!holds(out, count))
        return out;
    double* p = out.addr();
    const double* v = mask.addr();
    for (int k = 0, q = 0, n = mask.size(); k < n && q < count; ++k)
        if (is_selected(v[k]))
            p[q++] = k + 1;
    return out;
}

// ---- one index ----

template <class T>
bool assign_one_typed(Mm& x, const Mm& y, const Mm& idx, bool colon, const Mm& y_shown)
{
    const int n = x.size(), m = y.size();
    const M_types saved = x.getflags();
    const qv_matrix_types type = element_type_of<T>;
    const T* yre = real_part<T>(y);
    const T* yim = imag_part<T>(y);

    if (colon) {
        if (m == 0)
            return delete_one(x, idx, true);
        if (m > 1 && n > 0 && n != m) {
            error("%s(:)=%s: size(%s) different than size(%s)", matrix_display_name(x), matrix_display_name(y_shown),
                  matrix_display_name(y_shown), matrix_display_name(x));
            return false;
        }
        if (n == 0)
            return true;
        const int rows = x.rows(), cols = x.cols();
        if (m > 1) {
            if (!y.isstruct() && y.getclassid() == 0) {
                // Take the source's buffer, keep the target's shape and marks.
                const int classid = x.getclassid();
                x = y;
                x.getndims() = 2;
                int* d = x.getdims();
                d[0] = rows;
                d[1] = cols;
                d[2] = d[3] = 1;
                restore_flags(x, saved);
                x.setclassid(classid);
                return true;
            }
            Mm out(yim != nullptr, 0, 0, rows, cols, type);
            if (!holds(out, n))
                return false;
            copy_elements(real_part<T>(out), yre, n);
            if (yim)
                copy_elements(imag_part<T>(out), yim, n);
            x = out;
            restore_flags(x, saved);
            return true;
        }
        if (x.dirty() || x.getp() < 1 || (yim && !x.isc())) {
            Mm out(yim != nullptr, 0, 0, rows, cols, type);
            if (!holds(out, n))
                return false;
            x = out;
            restore_flags(x, saved);
        } else if (!yim && x.isc()) {
            x.getreal(1);
        }
        T* re = real_part<T>(x);
        T* im = imag_part<T>(x);
        for (int k = 0; k < n; ++k)
            re[k] = yre[0];
        if (im)
            for (int k = 0; k < n; ++k)
                im[k] = yim[0];
        return true;
    }

    const int k = idx.size();
    if (k == 0)
        return true;
    if (m == 0)
        return delete_one(x, idx, false);
    const bool logical = idx.islogical();
    // A range whose elements were never written is the run it stands for.
    double start = 0;
    const bool run = !logical && mm_access::unwritten_whole_range(idx, start) && start >= 1 &&
                     start + k - 1 <= INT_MAX;
    const double* iv = run ? nullptr : idx.addr();
    int e;
    if (run) {
        if (m != k && m != 1) {
            error("%s(%s)=%s: size(%s) different than size(%s)", matrix_display_name(x), matrix_display_name(idx),
                  matrix_display_name(y_shown), matrix_display_name(y_shown), matrix_display_name(idx));
            return false;
        }
        e = static_cast<int>(start) + k - 1;
    } else if (logical) {
        if (count_true(idx) != m && m != 1) {
            error("%s(%s)=%s: a logical assignment ; source size != number of non zeros in index",
                  matrix_display_name(x), matrix_display_name(idx), matrix_display_name(y_shown));
            return false;
        }
        e = k;
    } else {
        int lo = INT_MAX, hi = INT_MIN;
        for (int p = 0; p < k; ++p) {
            const int r = index_extent(iv[p]);
            lo = std::min(lo, r);
            hi = std::max(hi, r);
        }
        if (lo < 1) {
            error("%s(%s): index is non-positive", matrix_display_name(x), matrix_display_name(idx));
            return false;
        }
        if (m != k && m != 1) {
            error("%s(%s)=%s: size(%s) different than size(%s)", matrix_display_name(x), matrix_display_name(idx),
                  matrix_display_name(y_shown), matrix_display_name(y_shown), matrix_display_name(idx));
            return false;
        }
        e = hi;
    }

    const bool need_complex = yim && !x.isc();
    new_element<T> fresh = unmade_element<T>();
    if (e > n && !make_new_element<T>(x, fresh))
        return false;
    int rows = x.rows(), cols = x.cols();
    if (e > n) {
        if (rows > 1) {
            rows = e;
            cols = 1;
        } else {
            rows = 1;
            cols = e;
        }
    }
    if (!x.dirty() && !need_complex && (e <= n || x.getp() >= e)) {
        if (e > n) {
            x.getndims() = 2;
            int* d = x.getdims();
            d[0] = rows;
            d[1] = cols;
            d[2] = d[3] = 1;
            x.getnnz() = e;
            fill_new(real_part<T>(x) + n, e - n, fresh);
            if (T* im = imag_part<T>(x))
                fill_zero(im + n, e - n);
        }
    } else {
        const int count = std::max(n, e);
        // An unshared value that outgrows its room gets half as much again,
        // so appending one element at a time copies each element O(1) times.
        Mm out = e > n && !x.dirty()
                     ? mm_access::with_room(x.isc() || need_complex, rows, cols, type, growth_room(x.getp(), count))
                     : Mm(x.isc() || need_complex, 0, 0, rows, cols, type);
        if (!holds(out, count))
            return false;
        copy_elements(real_part<T>(out), real_part<T>(x), n);
        fill_new(real_part<T>(out) + n, count - n, fresh);
        if (T* oim = imag_part<T>(out)) {
            if (x.isc())
                copy_elements(oim, imag_part<T>(x), n);
            else
                fill_zero(oim, n);
            fill_zero(oim + n, count - n);
        }
        x = out;
        restore_flags(x, saved);
    }

    T* re = real_part<T>(x);
    T* im = imag_part<T>(x);
    if (run) {
        const int first = static_cast<int>(start) - 1;
        if (m == 1) {
            std::fill(re + first, re + first + k, yre[0]);
            if (im)
                std::fill(im + first, im + first + k, yim ? yim[0] : T{});
        } else {
            copy_elements(re + first, yre, k);
            if (im) {
                if (yim)
                    copy_elements(im + first, yim, k);
                else
                    fill_zero(im + first, k);
            }
        }
    } else if (logical) {
        for (int p = 0, q = 0; p < k; ++p) {
            if (!is_selected(iv[p]))
                continue;
            const int from = m == 1 ? 0 : q++;
            re[p] = yre[from];
            if (im)
                im[p] = yim ? yim[from] : T{};
        }
    } else {
        for (int p = 0; p < k; ++p) {
            const int at = index_position(iv[p]);
            const int from = m == 1 ? 0 : p;
            re[at] = yre[from];
            if (im)
                im[at] = yim ? yim[from] : T{};
        }
    }
    return true;
}

// ---- two indices ----

template <class T>
bool assign_two_typed(Mm& x, const Mm& y, const Mm& I, const Mm& J, bool ci, bool cj, const Mm& y_shown)
{
    const int R = x.rows(), Q = x.cols(), n = x.size(), m = y.size();
    const M_types saved = x.getflags();
    const qv_matrix_types type = element_type_of<T>;
    // Target, indices and source as the messages name them, built only for
    // a message.
    auto names = [&] {
        return std::array<const char*, 4>{matrix_display_name(x), matrix_display_name(I), matrix_display_name(J),
                                          matrix_display_name(y_shown)};
    };

    if (m == 0)
        return delete_two(x, I, J, ci, cj);
    const bool scalar = m == 1;
    const int rc = ci ? (scalar && n > 0 ? R : y.rows()) : I.size();
    const int cc = cj ? (scalar && n > 0 ? Q : y.cols()) : J.size();
    if (std::int64_t{rc} * cc != m && !scalar) {
        const auto shown = names();
        error("%s(%s,%s)=%s: size(row index)*size(col index) is different than size(source)", shown[0], shown[1],
              shown[2], shown[3]);
        return false;
    }
    auto extent_of = [](const Mm& index, int& lo) {
        int hi = 0;
        lo = INT_MAX;
        const double* v = index.addr();
        for (int k = 0, c = index.size(); k < c; ++k) {
            const int r = index_extent(v[k]);
            lo = std::min(lo, r);
            hi = std::max(hi, r);
        }
        return hi;
    };
    int lo = 1;
    const int R2 = std::max(R, ci ? rc : extent_of(I, lo));
    if (lo < 1) {
        const auto shown = names();
        error("%s(%s,%s)=%s: row index is non-positive", shown[0], shown[1], shown[2], shown[3]);
        return false;
    }
    lo = 1;
    const int Q2 = std::max(Q, cj ? cc : extent_of(J, lo));
    if (lo < 1) {
        const auto shown = names();
        error("%s(%s,%s)=%s: col index is non-positive", shown[0], shown[1], shown[2], shown[3]);
        return false;
    }

    const T* yre = real_part<T>(y);
    const T* yim = imag_part<T>(y);
    const bool need_complex = yim && !x.isc();
    new_element<T> fresh = unmade_element<T>();
    if ((R2 > R || Q2 > Q) && !make_new_element<T>(x, fresh))
        return false;
    if (R2 > R || Q2 > Q || x.dirty() || need_complex) {
        const std::int64_t count = std::int64_t{R2} * Q2;
        Mm out(x.isc() || need_complex, 0, 0, R2, Q2, type);
        if (!holds(out, count))
            return false;
        auto move_part = [&](T* dst, const T* src, bool fresh_values) {
            if (R2 == R) {
                if (src)
                    copy_elements(dst, src, n);
                else
                    fill_zero(dst, n);
            } else {
                for (int c = 0; c < Q; ++c) {
                    T* to = dst + std::int64_t{c} * R2;
                    if (src)
                        copy_elements(to, src + std::int64_t{c} * R, R);
                    else
                        fill_zero(to, R);
                    if (fresh_values)
                        fill_new(to + R, R2 - R, fresh);
                    else
                        fill_zero(to + R, R2 - R);
                }
            }
            const std::int64_t done = std::int64_t{R2} * Q;
            if (fresh_values)
                fill_new(dst + done, count - done, fresh);
            else
                fill_zero(dst + done, count - done);
        };
        move_part(real_part<T>(out), real_part<T>(x), true);
        if (T* oim = imag_part<T>(out))
            move_part(oim, imag_part<T>(x), false);
        x = out;
        restore_flags(x, saved);
    }

    T* re = real_part<T>(x);
    T* im = imag_part<T>(x);
    const double* iv = ci ? nullptr : I.addr();
    const double* jv = cj ? nullptr : J.addr();
    int from = 0;
    for (int c = 0; c < cc; ++c) {
        const std::int64_t col = cj ? c : index_position(jv[c]);
        T* column = re + col * R2;
        T* icolumn = im ? im + col * R2 : nullptr;
        for (int r = 0; r < rc; ++r) {
            const int row = ci ? r : index_position(iv[r]);
            const int at = scalar ? 0 : from++;
            column[row] = yre[at];
            if (icolumn)
                icolumn[row] = yim ? yim[at] : T{};
        }
    }
    return true;
}

// ---- the general form ----

struct sparse_entry {
    std::int64_t offset;
    int from;
};

// The positions an index selects, one list per index that is not a colon
// or a run (those select first, first + 1, ... and keep no list): read back
// by the walk's counters.
struct selected_lists {
    scratch<int> list[4];
    bool consecutive[4] = {};
    int first[4] = {};
    int count[4] = {1, 1, 1, 1};

    int at(int d, int c) const { return consecutive[d] ? first[d] + c : list[d][c]; }
    // Whether subscript p along d is selected, where d keeps no list.
    bool spans(int d, int p) const { return p >= first[d] && p - first[d] < count[d]; }
};

void list_positions(const index_walk& w, int k, selected_lists& s)
{
    for (int d = 0; d < k; ++d) {
        s.count[d] = w.count(d);
        s.consecutive[d] = is_consecutive(w.desc(d));
        s.first[d] = w.desc(d).first;
        if (!s.consecutive[d]) {
            s.list[d].reset(static_cast<std::size_t>(w.count(d)));
            for_each_position(w.desc(d), [&](int q, int p) { s.list[d][q] = p; });
        }
    }
}

// Whether no index selects a position twice, so that no later element of
// the source overrides an earlier one.
bool selects_each_once(const selected_lists& s, int k)
{
    for (int d = 0; d < k; ++d) {
        if (s.consecutive[d])
            continue;
        scratch<int> sorted(static_cast<std::size_t>(s.count[d]));
        std::copy(s.list[d].get(), s.list[d].get() + s.count[d], sorted.get());
        std::sort(sorted.get(), sorted.get() + s.count[d]);
        if (std::adjacent_find(sorted.get(), sorted.get() + s.count[d]) != sorted.get() + s.count[d])
            return false;
    }
    return true;
}

// Positions a sparse target already spans, assigned from a source that is
// zero there but for its entries (offsets ascending, values): the target's
// stored entries at the selected positions go and the source's come in,
// what the merge below gives, in work that follows the stored entries and
// the indices' own lengths rather than the count of positions they select
// together (S(:) = 0 of a 46340^2 value asked for 2^31 items, and a sparse
// source was made full first). Zeros then go, as the merge's last step
// drops them.
bool replace_selected(Mm& x, int k, const selected_lists& s, const std::int64_t* offsets, const double* yre,
                      const double* yim, int entries, bool complex_source, const M_types& saved)
{
    const int n = x.getnnz();
    const int* index = x.getindex();
    const int* dims = x.getdims();
    scratch<unsigned char> selected(static_cast<std::size_t>(n > 0 ? n : 1));
    if (k == 1 && s.consecutive[0]) {
        for (int e = 0; e < n; ++e)
            selected[e] = s.spans(0, index[e]);
    } else if (k == 1) {
        scratch<int> at(static_cast<std::size_t>(s.count[0]));
        std::copy(s.list[0].get(), s.list[0].get() + s.count[0], at.get());
        std::sort(at.get(), at.get() + s.count[0]);
        for (int e = 0; e < n; ++e)
            selected[e] = std::binary_search(at.get(), at.get() + s.count[0], index[e]);
    } else {
        // Along each dimension the subscripts its index selects: a colon
        // or a run selects one span; otherwise a mark per subscript, or, where the extent
        // far outnumbers the stored entries and the index (the 2^31 - 1 rows
        // of the longest column), a search of the sorted subscripts.
        scratch<unsigned char> marks[4];
        scratch<int> sorted[4];
        for (int d = 0; d < k; ++d) {
            if (s.consecutive[d])
                continue;
            if (dims[d] <= 2 * (std::int64_t{n} + s.count[d]) + 1024) {
                marks[d].reset(static_cast<std::size_t>(dims[d] > 0 ? dims[d] : 1));
                std::fill(marks[d].get(), marks[d].get() + dims[d], 0);
                for (int q = 0; q < s.count[d]; ++q)
                    marks[d][s.list[d][q]] = 1;
            } else {
                sorted[d].reset(static_cast<std::size_t>(s.count[d] > 0 ? s.count[d] : 1));
                std::copy(s.list[d].get(), s.list[d].get() + s.count[d], sorted[d].get());
                std::sort(sorted[d].get(), sorted[d].get() + s.count[d]);
            }
        }
        for (int e = 0; e < n; ++e) {
            int subs[4];
            offset_to_subscripts(index[e], subs, dims);
            bool in = true;
            for (int d = 0; d < k && in; ++d) {
                if (s.consecutive[d]) {
                    in = s.spans(d, subs[d]);
                    continue;
                }
                in = marks[d].get() ? marks[d][subs[d]] != 0
                              : std::binary_search(sorted[d].get(), sorted[d].get() + s.count[d], subs[d]);
            }
            selected[e] = in;
        }
    }
    int kept = 0;
    for (int e = 0; e < n; ++e)
        kept += !selected[e];
    const double* xre = x.addr();
    const double* xim = x.addi();
    const std::int64_t total = std::int64_t{kept} + entries;
    Mm out(xim || complex_source, 1, static_cast<int>(total), dims[0], dims[1], qv_double);
    if (!out.issparse() || out.getnnz() != total)
        return false;
    double* ore = out.addr();
    double* oim = out.addi();
    int* oindex = out.getindex();
    int q = 0;
    for (int e = 0, f = 0; e < n || f < entries;) {
        while (e < n && selected[e])
            ++e;
        const bool take_x = e < n && (f >= entries || index[e] < offsets[f]);
        if (!take_x && f >= entries)
            break;
        oindex[q] = take_x ? index[e] : static_cast<int>(offsets[f]);
        ore[q] = take_x ? xre[e] : yre[f];
        if (oim)
            oim[q] = take_x ? (xim ? xim[e] : 0) : (yim ? yim[f] : 0);
        ++q;
        take_x ? ++e : ++f;
    }
    out.resparse();
    x = out;
    restore_flags(x, saved);
    return true;
}

// A sparse source of one element per selected position, each selected
// once: its entries go to the positions the walk pairs them with (the
// first index runs fastest).
bool assign_sparse_source(Mm& x, int k, const selected_lists& s, const Mm& y, const M_types& saved)
{
    const int entries = y.getnnz();
    const int* dims = x.getdims();
    struct placed {
        std::int64_t offset;
        int from;
    };
    scratch<placed> items(static_cast<std::size_t>(entries > 0 ? entries : 1));
    for (int f = 0; f < entries; ++f) {
        std::int64_t q = y.getindex()[f], offset = 0, stride = 1;
        for (int d = 0; d < k; ++d) {
            const int c = static_cast<int>(q % s.count[d]);
            q /= s.count[d];
            offset += stride * s.at(d, c);
            stride *= k == 1 ? 1 : dims[d];
        }
        items[f] = {offset, f};
    }
    std::sort(items.get(), items.get() + entries, [](const placed& a, const placed& b) { return a.offset < b.offset; });
    scratch<std::int64_t> offsets(static_cast<std::size_t>(entries > 0 ? entries : 1));
    scratch<double> re(static_cast<std::size_t>(entries > 0 ? entries : 1));
    scratch<double> im(static_cast<std::size_t>(y.isc() && entries > 0 ? entries : 0));
    for (int f = 0; f < entries; ++f) {
        offsets[f] = items[f].offset;
        re[f] = y.addr()[items[f].from];
        if (y.isc())
            im[f] = y.addi()[items[f].from];
    }
    return replace_selected(x, k, s, offsets.get(), re.get(), y.isc() ? im.get() : nullptr, entries, y.isc(), saved);
}

// The assigned positions merged into the stored entries of a sparse target:
// equal positions keep the assigned value (the later one when an index
// repeats a position), and zeros are dropped at the end.
bool assign_sparse(Mm& x, index_walk& w, int k, const int newd[4], bool grows, const Mm& y, const M_types& saved)
{
    const std::int64_t P = w.index_counts();
    const int m = y.size();
    const double* yre = y.addr();
    const double* yim = y.addi();
    if (!grows && (y.issparse() ? m > 1 : m == 1 && yre[0] == 0 && (!yim || yim[0] == 0))) {
        selected_lists s;
        list_positions(w, k, s);
        if (!y.issparse())
            return replace_selected(x, k, s, nullptr, nullptr, nullptr, 0, yim != nullptr, saved);
        if (selects_each_once(s, k))
            return assign_sparse_source(x, k, s, y, saved);
    }
    if (y.issparse()) {
        // Any other sparse source in its full form (which may be refused
        // as too large).
        const Mm full_source = full(y);
        if (full_source.issparse() || full_source.size() != m)
            return false;
        return assign_sparse(x, w, k, newd, grows, full_source, saved);
    }
    if (P == 1 && !grows && !x.dirty() && (x.isc() || !yim)) {
        w.index_walk_start();
        const std::int64_t off = w.next_index_offset(false, true);
        if (off < 0)
            return false;
        const int at = x.search(static_cast<int>(off));
        if (at >= 0) {
            double* re = x.addr();
            double* im = x.addi();
            re[at] = yre[0];
            if (im)
                im[at] = yim ? yim[0] : 0;
            if (re[at] == 0 && (!im || im[at] == 0)) {
                x.resparse();
                restore_flags(x, saved);
            }
            return true;
        }
    }

    scratch<sparse_entry> items(static_cast<std::size_t>(P));
    w.index_walk_start();
    for (std::int64_t q = 0; q < P; ++q) {
        if (w.next_index_offset(true, false) < 0)
            return false;
        std::int64_t offset;
        if (k == 1) {
            offset = w.position(0);
        } else {
            int subs[4] = {0, 0, 0, 0};
            for (int d = 0; d < k; ++d)
                subs[d] = w.position(d);
            offset = linear_offset(subs, newd);
        }
        items[q] = {offset, m == 1 ? 0 : static_cast<int>(q)};
    }
    // Ascending indices walk the positions in order already: no sort.
    auto before = [](const sparse_entry& a, const sparse_entry& b) { return a.offset < b.offset; };
    if (!std::is_sorted(items.get(), items.get() + P, before))
        std::stable_sort(items.get(), items.get() + P, before);

    const int old_count = x.getnnz();
    const int* old_index = x.getindex();
    const int* old_dims = x.getdims();
    const double* xre = x.addr();
    const double* xim = x.addi();
    const bool complex = xim || yim;
    const std::int64_t room = old_count + P;
    if (room > max_element_count) {
        error("Out of memory!");
        return false;
    }
    Mm out(complex, 1, static_cast<int>(room), newd[0], newd[1], qv_double);
    if (!out.issparse() || out.getp() < room)
        return false;
    double* ore = out.addr();
    double* oim = out.addi();
    int* oindex = out.getindex();
    auto old_offset = [&](int e) -> std::int64_t {
        if (!grows)
            return old_index[e];
        int subs[4];
        const int dims[4] = {old_dims[0], old_dims[1], 1, 1};
        offset_to_subscripts(old_index[e], subs, dims);
        return linear_offset(subs, newd);
    };
    int stored = 0, e = 0;
    std::int64_t q = 0;
    while (e < old_count || q < P) {
        const std::int64_t oe = e < old_count ? old_offset(e) : INT64_MAX;
        const std::int64_t oq = q < P ? items[q].offset : INT64_MAX;
        if (oe < oq) {
            oindex[stored] = static_cast<int>(oe);
            ore[stored] = xre[e];
            if (oim)
                oim[stored] = xim ? xim[e] : 0;
            ++e;
        } else {
            // Skip to the last assignment of this position.
            while (q + 1 < P && items[q + 1].offset == oq)
                ++q;
            const int from = items[q].from;
            oindex[stored] = static_cast<int>(oq);
            ore[stored] = yre[from];
            if (oim)
                oim[stored] = yim ? yim[from] : 0;
            ++q;
            if (oe == oq)
                ++e;
        }
        ++stored;
    }
    out.getnnz() = stored;
    out.resparse();
    x = out;
    restore_flags(x, saved);
    return true;
}

// The largest position each of k indices selects, found from each index
// alone: two or more indices that select no non-positive place raise no
// error in growth mode, so the walk over every combination (2^31 - 1 of
// them for S(1, :) = v on the longest sparse row) is not needed to find
// them. Returns false, leaving the walk to report it, when one does.
bool largest_positions(const index_walk& w, int k, int maxima[4])
{
    for (int d = 0; d < k; ++d) {
        const index_desc& e = w.desc(d);
        if (e.kind == index_desc::colon) {
            maxima[d] = w.count(d) - 1;
            continue;
        }
        int largest = 0;
        bool non_positive = false;
        for_each_position(e, [&](int, int p) {
            non_positive |= p < 0;
            largest = std::max(largest, p);
        });
        if (non_positive)
            return false;
        maxima[d] = largest;
    }
    return true;
}

template <class T>
bool assign_general_typed(Mm& x, bool brace, int k, const Mm* const* ix, Mm& y, const Mm& y_shown)
{
    const M_types saved = x.getflags();
    const qv_matrix_types type = element_type_of<T>;
    index_walk w(x, k, ix, true);
    const std::int64_t P = w.index_counts();
    if (P == 0)
        return true;
    int m = 1;
    if (!brace) {
        m = y.size();
        if (m != 1 && P != m) {
            error("In indexed assignment to the matrix %s, the index size was %d but right hand side has %d elements",
                  matrix_display_name(x), static_cast<int>(std::min<std::int64_t>(P, INT_MAX)), m);
            return false;
        }
    }

    // Every index error is raised here, before anything changes. Colons
    // alone raise none and grow nothing: no walk.
    bool only_colons = true;
    for (int d = 0; d < k; ++d)
        only_colons = only_colons && w.desc(d).kind == index_desc::colon;
    int maxima[4] = {0, 0, 0, 0};
    if (!only_colons && k == 1 && w.desc(0).kind == index_desc::run) {
        // One run: its positions ascend from one that is not negative, so
        // the first the walk would refuse is the first past the elements
        // (a matrix grows by none) and the largest is its last.
        const index_desc& d = w.desc(0);
        int past = std::max(d.first, x.size()), last = d.first + d.count - 1;
        if ((last >= x.size() && w.offset_of(&past, true, true) < 0) || w.offset_of(&last, true, true) < 0)
            return false;
        maxima[0] = w.maximum(0);
    } else if (!only_colons && !(k >= 2 && largest_positions(w, k, maxima))) {
        w.index_walk_start();
        for (std::int64_t q = 0; q < P; ++q)
            if (w.next_index_offset(true, true) < 0)
                return false;
        for (int d = 0; d < k; ++d)
            maxima[d] = w.maximum(d);
    }

    int old_dims[4];
    for (int d = 0; d < 4; ++d)
        old_dims[d] = x.getdims()[d];
    const int n = x.size();
    int nd = std::max(x.getndims(), k);
    // The grown extents are counted in 64 bits: the largest position
    // selects one past what an int extent holds.
    std::int64_t wide[4] = {old_dims[0], old_dims[1], old_dims[2], old_dims[3]};
    if (k == 1) {
        if (!is_colon_index(*ix[0])) {
            if (n == 0)
                wide[0] = wide[1] = wide[2] = wide[3] = 1;
            const int s = maxima[0];
            if (s >= n) {
                int along = 1;
                for (int d = 0; d < 4; ++d)
                    if (wide[d] > 1) {
                        along = d;
                        break;
                    }
                wide[along] = std::int64_t{s} + 1;
            }
        }
    } else {
        bool grew = false;
        for (int d = 0; d < k; ++d)
            if (maxima[d] >= wide[d]) {
                wide[d] = std::int64_t{maxima[d]} + 1;
                grew = true;
            }
        if (grew) {
            for (int d = k; d < 4; ++d) {
                if (wide[d] > 1) {
                    // Its elements have subscripts there that k indices cannot keep apart.
                    error("In indexed assignment to the matrix %s, %d indices can not grow a matrix of %d dimensions",
                          matrix_display_name(x), k, x.getndims());
                    return false;
                }
                wide[d] = 1;
            }
        }
    }
    bool grows = false;
    std::int64_t count = 1;
    for (int d = 0; d < 4; ++d) {
        grows |= wide[d] != old_dims[d];
        // Held at "too many" once past what any value counts: four int
        // extents would overflow even 64 bits.
        count = count > INT_MAX && wide[d] > 0 ? count : count * wide[d];
    }
    if (x.issparse() && count > INT_MAX && wide[2] == 1 && wide[3] == 1) {
        // Past what a sparse value's positions can count, not past memory.
        report_sparse_too_large(double(wide[0]), double(wide[1]));
        return false;
    }
    // A sparse value counts up to 2^31 - 1 elements (its stored entries
    // are what take memory); a full one stops short of that.
    if (count > (x.issparse() ? std::int64_t{INT_MAX} : max_element_count)) {
        error("Out of memory!");
        return false;
    }
    int newd[4];
    for (int d = 0; d < 4; ++d)
        newd[d] = static_cast<int>(wide[d]);

    if constexpr (std::is_same_v<T, double>) {
        if (x.issparse()) {
            if (newd[2] != 1 || newd[3] != 1) {
                error("In indexed assignment to the sparse matrix %s, the result would have more than 2 dimensions",
                      matrix_display_name(x));
                return false;
            }
            return assign_sparse(x, w, k, newd, grows, y, saved);
        }
    }

    const T* yre = brace ? nullptr : real_part<T>(y);
    const T* yim = brace ? nullptr : imag_part<T>(y);
    const bool need_complex = yim && !x.isc();
    new_element<T> fresh = unmade_element<T>();
    if (grows && !make_new_element<T>(x, fresh))
        return false;
    if (grows) {
        if (k == 1 && nd == 2 && !x.dirty() && count <= x.getp() && !need_complex) {
            x.getndims() = 2;
            int* d = x.getdims();
            for (int j = 0; j < 4; ++j)
                d[j] = newd[j];
            x.getnnz() = static_cast<int>(count);
            fill_new(real_part<T>(x) + n, count - n, fresh);
            if (T* im = imag_part<T>(x))
                fill_zero(im + n, count - n);
        } else {
            const bool appends = k == 1 && nd == 2 && newd[2] == 1 && newd[3] == 1 && !x.dirty();
            Mm out = appends ? mm_access::with_room(x.isc() || need_complex, newd[0], newd[1], type,
                                                    growth_room(x.getp(), static_cast<int>(count)))
                             : Mm(x.isc() || need_complex, 0, 0, nd, newd, type);
            if (!holds(out, count))
                return false;
            copy_fields(out, x);
            T* ore = real_part<T>(out);
            T* oim = imag_part<T>(out);
            fill_new(ore, count, fresh);
            if (oim)
                fill_zero(oim, count);
            // Old elements keep their subscripts, one column run at a time.
            const T* re = real_part<T>(x);
            const T* im = imag_part<T>(x);
            const int run = old_dims[0] > 0 ? old_dims[0] : 1;
            for (int o = 0; o < n; o += run) {
                int subs[4];
                offset_to_subscripts(o, subs, old_dims);
                const std::int64_t to = linear_offset(subs, newd);
                copy_elements(ore + to, re + o, std::min(run, n - o));
                if (oim && im)
                    copy_elements(oim + to, im + o, std::min(run, n - o));
            }
            x = out;
            restore_flags(x, saved);
        }
        w.rebase();
    } else if (x.dirty() || need_complex) {
        Mm out(x.isc() || need_complex, 0, 0, x.getndims(), x.getdims(), type);
        if (!holds(out, n))
            return false;
        copy_fields(out, x);
        copy_elements(real_part<T>(out), real_part<T>(x), n);
        if (T* oim = imag_part<T>(out)) {
            if (x.isc())
                copy_elements(oim, imag_part<T>(x), n);
            else
                fill_zero(oim, n);
        }
        x = out;
        restore_flags(x, saved);
        w.rebase();
    }

    T* re = real_part<T>(x);
    T* im = imag_part<T>(x);
    w.index_walk_start();
    for (std::int64_t q = 0; q < P; ++q) {
        const std::int64_t off = w.next_index_offset(false, true);
        if (off < 0)
            return false;  // unreachable: the first walk checked every position
        if constexpr (is_cell_element<T>) {
            if (brace) {
                re[off] = y;
                continue;
            }
        }
        const std::int64_t from = m == 1 ? 0 : q;
        re[off] = yre[from];
        if (im)
            im[off] = yim ? yim[from] : T{};
    }
    return true;
}

} // namespace

// A struct array's elements are structs: a plain value (other than the
// empty one that deletes) is refused before anything changes.
bool refuses_plain_into_struct(const Mm& x, const Mm& y)
{
    if (!x.isstruct() || y.isstruct() || y.size() == 0)
        return false;
    error("In the assignment x(...)=y, x was a structure array but y was not a structure");
    return true;
}

bool assign_one(Mm& x, const Mm& y_shown, const Mm& i_given)
{
    // x(k) = v on a full, unshared 2-D double: no copies, no checks beyond
    // the bounds.
    if (x.gettype() == qv_double && !x.issparse() && x.getndims() == 2 && !x.getfields() && !x.dirty() &&
        y_shown.gettype() == qv_double && !y_shown.issparse() && y_shown.getnnz() == 1 && y_shown.rows() == 1 &&
        y_shown.cols() == 1 && !y_shown.isc() && i_given.gettype() == qv_double && !i_given.issparse() &&
        !i_given.islogical() && i_given.rows() == 1 && i_given.cols() == 1) {
        // round(v) in 1 .. N, without the rounding: v in [0.5, N + 0.5).
        const double v = mm_access::single_element(i_given);
        if (v >= 0.5 && v < x.rows() * double(x.cols()) + 0.5) {
            const int at = index_position(v);
            x.addr()[at] = mm_access::single_element(y_shown);
            if (double* im = x.addi())
                im[at] = 0;
            return true;
        }
        // x(end + 1) = v on a real vector: written in the spare room, which
        // grows by half as much again when it runs out.
        const int n = x.rows() * x.cols();
        if (x.hasstorage() && !x.isc() && (x.rows() <= 1 || x.cols() <= 1) && n < max_element_count &&
            v >= n + 0.5 && v < n + 1.5) {
            const double value = mm_access::single_element(y_shown);  // y may be x itself, whose block may move
            if (x.getp() <= n && !mm_access::regrow(x, n + 1 + growth_room(x.getp(), n + 1))) {
                error("Out of memory!");
                return false;
            }
            // An empty value keeps every extent 0, so all four are written:
            // readers such as length() look past the second.
            int* d = x.getdims();
            if (x.rows() > 1) {
                d[0] = n + 1;
                d[1] = 1;
            } else {
                d[0] = 1;
                d[1] = n + 1;
            }
            d[2] = d[3] = 1;
            x.getnnz() = n + 1;
            // Still a real scalar only when it was empty before.
            x.getflags().scalar_var = x.getflags().scalar_var && n == 0;
            // The growth rounds the index, the write truncates it: x(n + 0.5)
            // grows x by a zero and writes element n, as the general path does.
            double* p = x.addr();
            p[n] = 0;
            p[index_position(v)] = value;
            return true;
        }
    }
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    if (refuses_plain_into_struct(x, y_shown))
        return false;
    if (x.issparse() || x.getndims() > 2 || x.isstruct()) {
        Mr r(Mr_paren, x, i_given);
        return assign_general(x, r, y_shown);
    }
    const bool colon = is_colon_index(i_given);
    Mm idx(i_given);  // private: shown without a name
    Mm y(y_shown);    // holds the source should it live inside x
    if (!settle_index(idx) || !settle_source(y, x))
        return false;
    switch (x.gettype()) {
    case qv_double:
        return assign_one_typed<double>(x, y, idx, colon, y_shown);
    case qv_uint8:
        return assign_one_typed<unsigned char>(x, y, idx, colon, y_shown);
    case qv_cell:
        return assign_one_typed<Mm>(x, y, idx, colon, y_shown);
    default:
        return false;
    }
}

bool assign_two(Mm& x, const Mm& y_shown, const Mm& i_given, const Mm& j_given)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    if (refuses_plain_into_struct(x, y_shown))
        return false;
    if (x.issparse() || x.getndims() > 2 || x.isstruct()) {
        Mr r(Mr_paren, x, i_given, j_given);
        return assign_general(x, r, y_shown);
    }
    const bool ci = is_colon_index(i_given), cj = is_colon_index(j_given);
    Mm I(i_given), J(j_given), y(y_shown);
    if (!settle_index(I) || !settle_index(J) || !settle_source(y, x))
        return false;
    if (!ci && I.islogical())
        I = positions_of(I);
    if (!cj && J.islogical())
        J = positions_of(J);
    if ((!ci && I.size() == 0) || (!cj && J.size() == 0))
        return true;
    switch (x.gettype()) {
    case qv_double:
        return assign_two_typed<double>(x, y, I, J, ci, cj, y_shown);
    case qv_uint8:
        return assign_two_typed<unsigned char>(x, y, I, J, ci, cj, y_shown);
    case qv_cell:
        return assign_two_typed<Mm>(x, y, I, J, ci, cj, y_shown);
    default:
        return false;
    }
}

bool assign_general(Mm& x, const Mr& r, const Mm& y_shown)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    const int k = std::max(r.getnidx(), 0);
    const bool brace = r.getkind() == Mr_brace;
    if (brace && x.gettype() != qv_cell) {
        error("'%s' is not a cell array and can't be {}-indexed", matrix_display_name(x));
        return false;
    }
    Mm y(y_shown);
    if (!brace) {
        if (k == 0) {
            x = y;
            return true;
        }
        if (y.size() == 0)
            return delete_general(x, r);
        // A sparse source into a sparse target stays sparse: its full
        // form may not fit.
        const bool sparse_pair = x.issparse() && y.issparse() && x.gettype() == qv_double;
        if (!sparse_pair && !settle_source(y, x))
            return false;
        if (x.size() == 0 && k >= 2) {
            // An empty target takes a colon's extent from the source:
            // x(:, :, k) = a creates x.
            Mm ranges[4];
            const Mm* ix[4] = {};
            bool replaced = false;
            for (int d = 0; d < k; ++d) {
                ix[d] = &r.getindex(d);
                if (is_colon_index(*ix[d])) {
                    ranges[d] = colon(1.0, static_cast<double>(y.getdims()[d]));
                    ix[d] = &ranges[d];
                    replaced = true;
                }
            }
            if (replaced) {
                switch (k) {
                case 2:
                    return assign_general(x, Mr(Mr_paren, x, *ix[0], *ix[1]), y_shown);
                case 3:
                    return assign_general(x, Mr(Mr_paren, x, *ix[0], *ix[1], *ix[2]), y_shown);
                default:
                    return assign_general(x, Mr(Mr_paren, x, *ix[0], *ix[1], *ix[2], *ix[3]), y_shown);
                }
            }
        }
    }

    // Private copies of the indices: a write into x must not change them,
    // even when an index is x itself.
    std::optional<Mm> held[4];
    const Mm* ix[4] = {};
    for (int d = 0; d < k; ++d) {
        const Mm& given = r.getindex(d);
        if (is_colon_index(given)) {
            ix[d] = &given;
            continue;
        }
        Mm& copy = held[d].emplace(given);
        if (!settle_index(copy))
            return false;
        ix[d] = &copy;
    }
    switch (x.gettype()) {
    case qv_double:
        return assign_general_typed<double>(x, brace, k, ix, y, y_shown);
    case qv_uint8:
        return assign_general_typed<unsigned char>(x, brace, k, ix, y, y_shown);
    case qv_cell:
        return assign_general_typed<Mm>(x, brace, k, ix, y, y_shown);
    default:
        return false;
    }
}

// A struct element holds one value per field of its array: a struct source
// must bring the same fields, whichever entry stores it.
void Mm::vwcopy1(const Mm& y, const Mm& i)
{
    if (isstruct() || y.isstruct()) {
        const Mm keep(y);  // y may live inside this value
        assign_paren_with_fields(*this, Mr(Mr_paren, *this, i), keep);
        return;
    }
    assign_one(*this, y, i);
}

void Mm::vwcopy2(const Mm& y, const Mm& i, const Mm& j)
{
    if (isstruct() || y.isstruct()) {
        const Mm keep(y);
        assign_paren_with_fields(*this, Mr(Mr_paren, *this, i, j), keep);
        return;
    }
    assign_two(*this, y, i, j);
}

void Mm::vwcopyn(const Mr& r, const Mm& y) { assign_general(*this, r, y); }
