// Set operations: unique, ismember, intersect, setdiff, setxor and the
// union, in element form (values as lists, merged as sorted lists) and in
// row form (each row one member, rows compared whole).
#include "array/sort.hpp"
#include "io/string_functions.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

inline bool is_nan(double x) { return x != x; }

// A numeric argument as a full double value (bytes converted, sparse values
// made full). Cells and values without one are reported; false then.
bool numeric_double(const Mm& a, const char* f, Mm& out)
{
    if (a.gettype() == qv_none) {
        a.warn_uninit();
        return false;
    }
    if (error_numeric(a, f))
        return false;
    if (a.gettype() == qv_double && !a.issparse()) {
        out = a;
        return true;
    }
    Mm d;
    d.deepcopy(a.isc(), 0, a, qv_double);
    out = d;
    return true;
}

// A list of n doubles shaped as a row or a column.
Mm list_value(int n, bool as_row, int complex = 0)
{
    return as_row ? Mm(complex, 0, 0, 1, n, qv_double) : Mm(complex, 0, 0, n, 1, qv_double);
}

// 1-based positions as a row or a column.
Mm position_list(const int* pos, int n, bool as_row)
{
    Mm out = list_value(n, as_row);
    if (out.size() != n)
        return out;  // "Out of memory!" went to a hook that returned
    double* p = out.addr();
    for (int k = 0; k < n; ++k)
        p[k] = pos[k] + 1.0;
    return out;
}

// ---- element form: distinct values of a list ----

// The list sorted as sort orders it (NaN last, complex values by modulus,
// then angle; ties in input order), with the sorted positions that close a
// run of equal values: the last occurrence of each distinct value. Complex
// values tied in modulus and angle but unequal (1 + 1e-20i and 1 + 2e-20i
// round to the same pair) are further ordered by real and imaginary part,
// so that equal values meet and two lists merge in one order.
struct distinct_values {
    Mm sorted;
    Mm modulus, angle;    // of the sorted values, for a complex list
    scratch<int> origin;  // 0-based input position of each sorted element
    scratch<int> kept;    // sorted positions of the distinct values, ascending
    int count = 0;

    bool complex() const { return sorted.isc(); }
    double re(int k) const { return sorted.addr()[kept[k]]; }
    double im(int k) const { return complex() ? sorted.addi()[kept[k]] : 0.0; }
    bool nan(int k) const { return complex() ? is_nan(modulus.addr()[kept[k]]) : is_nan(re(k)); }
    int last(int k) const { return origin[kept[k]]; }
};

// Orders a run [from, to) of sorted complex values tied in modulus and
// angle by real, then imaginary part; equal values keep input order.
void order_tied_run(distinct_values& d, int from, int to)
{
    double* re = d.sorted.addr();
    double* im = d.sorted.addi();
    bool all_equal = true;
    for (int k = from + 1; k < to && all_equal; ++k)
        all_equal = re[k] == re[from] && im[k] == im[from];
    if (all_equal)
        return;
    std::vector<int> order(static_cast<std::size_t>(to - from));
    for (int k = from; k < to; ++k)
        order[k - from] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](int u, int v) { return re[u] < re[v] || (re[u] == re[v] && im[u] < im[v]); });
    std::vector<double> r, i;
    std::vector<int> o;
    for (int k : order) {
        r.push_back(re[k]);
        i.push_back(im[k]);
        o.push_back(d.origin[k]);
    }
    for (int k = from; k < to; ++k) {
        re[k] = r[k - from];
        im[k] = i[k - from];
        d.origin[k] = o[k - from];
    }
}

// group, when given, receives for each input element the 1-based number of
// its distinct value.
void find_distinct(const Mm& list, distinct_values& d, double* group)
{
    const int n = list.size();
    d.count = 0;
    if (n <= 0)
        return;
    Mm column(list);
    column.reshape(n, 1);
    Mm index;
    sort_engine(column, d.sorted, index);
    if (d.sorted.isc()) {
        d.modulus = abs(d.sorted);
        d.angle = angle(d.sorted);
    }
    if (index.size() != n || d.sorted.size() != n ||
        (d.sorted.isc() && (d.modulus.size() != n || d.angle.size() != n))) {
        // A refused allocation under a returning hook: no distinct values,
        // and every element in group 0.
        if (group)
            std::fill(group, group + n, 0.0);
        return;
    }
    d.origin.reset(n);
    d.kept.reset(n);
    const double* ix = index.addr();
    for (int k = 0; k < n; ++k)
        d.origin[k] = static_cast<int>(ix[k]) - 1;
    if (d.sorted.isc()) {
        const double* m = d.modulus.addr();
        const double* a = d.angle.addr();
        for (int from = 0, to; from < n; from = to) {
            for (to = from + 1; to < n && m[to] == m[from] && a[to] == a[from];)
                ++to;
            if (to - from > 1)
                order_tied_run(d, from, to);
        }
    }
    const double* re = d.sorted.addr();
    const double* im = d.sorted.addi();
    int number = 1;
    for (int k = 0; k < n; ++k) {
        const bool same_as_next = k + 1 < n && re[k] == re[k + 1] && (!im || im[k] == im[k + 1]);
        if (group)
            group[d.origin[k]] = number;
        if (!same_as_next) {
            d.kept[d.count++] = k;
            ++number;
        }
    }
}

// -1, 0 or 1 as distinct value p of a comes before, equals or follows
// distinct value q of b in the order both lists are sorted in; neither NaN.
int compare_sorted(const distinct_values& a, int p, const distinct_values& b, int q)
{
    auto order = [](double u, double v) { return u < v ? -1 : u > v ? 1 : 0; };
    if (!a.complex())
        return order(a.re(p), b.re(q));
    const int pa = a.kept[p], pb = b.kept[q];
    if (int c = order(a.modulus.addr()[pa], b.modulus.addr()[pb]))
        return c;
    if (int c = order(a.angle.addr()[pa], b.angle.addr()[pb]))
        return c;
    if (int c = order(a.re(p), b.re(q)))
        return c;
    return order(a.im(p), b.im(q));
}

void unique_elements(const Mm& a, Mm& b, Mm& i, Mm& j)
{
    const int n = a.size();
    if (n == 1) {
        b = a;
        i = Mm(1.0);
        j = Mm(1.0);
        return;
    }
    Mm x;
    if (!numeric_double(a, "unique", x)) {
        b = i = j = x_M;
        return;
    }
    const bool as_row = a.rows() == 1;
    if (n <= 0) {
        b = i = as_row ? list_value(0, true) : Mm();
        j = Mm();
        return;
    }
    distinct_values d;
    Mm groups(0, 0, 0, 1, n, qv_double);
    if (groups.size() != n) {
        b = i = j = x_M;  // "Out of memory!" went to a hook that returned
        return;
    }
    find_distinct(x, d, groups.addr());
    Mm values = list_value(d.count, as_row, x.isc());
    Mm where = list_value(d.count, as_row);
    if (values.size() != d.count || where.size() != d.count) {
        b = i = j = x_M;
        return;
    }
    for (int k = 0; k < d.count; ++k) {
        values.addr()[k] = d.re(k);
        if (x.isc())
            values.addi()[k] = d.im(k);
        where.addr()[k] = d.last(k) + 1.0;
    }
    values.setstr(a.isstr());
    b = a.gettype() == qv_uint8 ? muint8(values) : values;
    i = where;
    j = groups;
}

// The two argument lists of a merge, each reduced to its distinct values.
// When either is complex both are, so that both sort by modulus, then angle.
struct merge_lists {
    distinct_values a, b;
    bool as_row = false;  // results are rows when either argument has one row
    bool text = false;    // either argument is text
    bool complex = false;
};

bool prepare_merge(const Mm& A, const Mm& B, const char* f, merge_lists& m)
{
    Mm x, y;
    if (!numeric_double(A, f, x) || !numeric_double(B, f, y))
        return false;
    m.as_row = A.rows() == 1 || B.rows() == 1;
    m.text = A.isstr() || B.isstr();
    m.complex = x.isc() || y.isc();
    auto as_complex = [](Mm& v) {
        if (v.isc())
            return true;
        Mm c;
        c.deepcopy(1, 0, v, qv_double);
        if (c.size() != v.size() || !c.isc())
            return false;  // "Out of memory!" went to a hook that returned
        v = c;
        return true;
    };
    if (m.complex && (!as_complex(x) || !as_complex(y)))
        return false;
    find_distinct(x, m.a, nullptr);
    find_distinct(y, m.b, nullptr);
    return true;
}

// The values and positions a walk recorded, as the outputs R, ia, ib.
struct walk_record {
    std::vector<double> re, im;
    std::vector<int> from_a, from_b;

    void take(const distinct_values& d, int k, std::vector<int>& from)
    {
        re.push_back(d.re(k));
        im.push_back(d.im(k));
        from.push_back(k);
    }
};

void emit_walk(const merge_lists& m, const walk_record& w, Mm& R, Mm& ia, Mm& ib)
{
    const int n = static_cast<int>(w.re.size());
    Mm r = list_value(n, m.as_row, m.complex);
    if (r.size() != n) {
        R = ia = ib = x_M;  // "Out of memory!" went to a hook that returned
        return;
    }
    std::copy(w.re.begin(), w.re.end(), r.addr());
    if (m.complex)
        std::copy(w.im.begin(), w.im.end(), r.addi());
    r.setstr(m.text);
    std::vector<int> pa(w.from_a.size()), pb(w.from_b.size());
    for (std::size_t k = 0; k < pa.size(); ++k)
        pa[k] = m.a.last(w.from_a[k]);
    for (std::size_t k = 0; k < pb.size(); ++k)
        pb[k] = m.b.last(w.from_b[k]);
    R = r;
    ia = position_list(pa.data(), static_cast<int>(pa.size()), m.as_row);
    ib = position_list(pb.data(), static_cast<int>(pb.size()), m.as_row);
}

// The walks compare in sort order (complex values by modulus, angle, then
// parts); NaN is never equal to anything.
void intersect_elements(const Mm& A, const Mm& B, Mm& R, Mm& ia, Mm& ib)
{
    merge_lists m;
    if (!prepare_merge(A, B, "intersect", m)) {
        R = ia = ib = x_M;
        return;
    }
    walk_record w;
    int p = 0, q = 0;
    while (p < m.a.count && q < m.b.count) {
        const int c = m.a.nan(p) || m.b.nan(q) ? -1 : compare_sorted(m.a, p, m.b, q);
        if (c < 0)
            ++p;
        else if (c > 0)
            ++q;
        else {
            w.take(m.a, p++, w.from_a);
            w.from_b.push_back(q++);
        }
    }
    emit_walk(m, w, R, ia, ib);
}

void setdiff_elements(const Mm& A, const Mm& B, Mm& R, Mm& ia)
{
    merge_lists m;
    if (!prepare_merge(A, B, "setdiff", m)) {
        R = ia = x_M;
        return;
    }
    walk_record w;
    int p = 0, q = 0;
    while (p < m.a.count && q < m.b.count) {
        const int c = m.a.nan(p) || m.b.nan(q) ? -1 : compare_sorted(m.a, p, m.b, q);
        if (c >= 0) {
            if (c == 0)
                ++p;
            ++q;
        } else
            w.take(m.a, p++, w.from_a);
    }
    for (; p < m.a.count; ++p)
        w.take(m.a, p, w.from_a);
    Mm unused;
    emit_walk(m, w, R, ia, unused);
}

void setxor_elements(const Mm& A, const Mm& B, Mm& R, Mm& ia, Mm& ib)
{
    merge_lists m;
    if (!prepare_merge(A, B, "setxor", m)) {
        R = ia = ib = x_M;
        return;
    }
    walk_record w;
    int p = 0, q = 0;
    while (p < m.a.count || q < m.b.count) {
        if (q >= m.b.count)
            w.take(m.a, p++, w.from_a);
        else if (p >= m.a.count)
            w.take(m.b, q++, w.from_b);
        else {
            // Ascending with NaN last: a NaN of A waits for every number of
            // B, and NaN never matches (A's NaNs come before B's).
            const bool nan_a = m.a.nan(p), nan_b = m.b.nan(q);
            const int c = nan_a || nan_b ? 0 : compare_sorted(m.a, p, m.b, q);
            if (nan_a && !nan_b)
                w.take(m.b, q++, w.from_b);
            else if (nan_a || nan_b || c < 0)
                w.take(m.a, p++, w.from_a);
            else if (c > 0)
                w.take(m.b, q++, w.from_b);
            else {
                ++p;
                ++q;
            }
        }
    }
    emit_walk(m, w, R, ia, ib);
}

// [A; B] of two values as lists or rows, by the concatenation rules: uint8
// wins over double, complex when either is, text when either is, logical
// only when both are. rows_of_a x width and rows_of_b x width, stacked.
Mm stack_values(const Mm& x, int xr, const Mm& y, int yr, int width, const Mm& A, const Mm& B)
{
    const bool complex = x.isc() || y.isc();
    Mm out(complex, 0, 0, xr + yr, width, qv_double);
    if (out.rows() != xr + yr)
        return x_M;
    const int rows = xr + yr;
    for (int c = 0; c < width; ++c) {
        for (int r = 0; r < xr; ++r) {
            out.addr()[r + std::int64_t{rows} * c] = x.addr()[r + std::int64_t{xr} * c];
            if (complex)
                out.addi()[r + std::int64_t{rows} * c] = x.isc() ? x.addi()[r + std::int64_t{xr} * c] : 0.0;
        }
        for (int r = 0; r < yr; ++r) {
            out.addr()[xr + r + std::int64_t{rows} * c] = y.addr()[r + std::int64_t{yr} * c];
            if (complex)
                out.addi()[xr + r + std::int64_t{rows} * c] = y.isc() ? y.addi()[r + std::int64_t{yr} * c] : 0.0;
        }
    }
    out.setstr(A.isstr() || B.isstr());
    out.setlogical(A.islogical() && B.islogical());
    if (A.gettype() == qv_uint8 || B.gettype() == qv_uint8)
        return muint8(out);
    return out;
}

void union_elements(const Mm& A, const Mm& B, Mm& R, Mm& ia, Mm& ib)
{
    Mm x, y;
    if (!numeric_double(A, "munion", x) || !numeric_double(B, "munion", y)) {
        R = ia = ib = x_M;
        return;
    }
    const int na = x.size(), nb = y.size();
    const bool as_row = A.rows() == 1 || B.rows() == 1;
    // The two lists end to end: a row when either argument is a row.
    Mm e = stack_values(x, na, y, nb, 1, A, B);
    if (as_row)
        e.reshape(1, na + nb);
    Mm d, j;
    unique_elements(e, R, d, j);
    std::vector<int> from_a, from_b;
    const double* pd = d.addr();
    for (int k = 0, n = d.size(); k < n; ++k) {
        const int pos = static_cast<int>(pd[k]);
        if (pos <= na)
            from_a.push_back(pos - 1);
        else
            from_b.push_back(pos - na - 1);
    }
    ia = position_list(from_a.data(), static_cast<int>(from_a.size()), as_row);
    ib = position_list(from_b.data(), static_cast<int>(from_b.size()), as_row);
}

// ---- ismember, element form: a sorted copy of S and binary search ----

struct complex_point {
    double re, im;
};

Mm ismember_elements(const Mm& a, const Mm& S)
{
    Mm x, s;
    if (!numeric_double(a, "ismember", x) || !numeric_double(S, "ismember", s))
        return x_M;
    Mm out(0, 0, 0, x.getndims(), x.getdims(), qv_double);
    out.setlogical(1);
    const int n = x.size(), m = s.size();
    double* o = out.addr();
    std::fill_n(o, n, 0.0);
    const double* xr = x.addr();
    const double* sr = s.addr();
    if (!x.isc() && !s.isc()) {
        scratch<double> keys(m);
        int count = 0;
        for (int k = 0; k < m; ++k)
            if (!is_nan(sr[k]))
                keys[count++] = sr[k];
        std::sort(keys.get(), keys.get() + count);
        for (int k = 0; k < n; ++k) {
            const double* at = std::lower_bound(keys.get(), keys.get() + count, xr[k]);
            o[k] = at != keys.get() + count && *at == xr[k];
        }
        return out;
    }
    // A real operand takes a zero imaginary part; a NaN part matches nothing.
    const double* xi = x.addi();
    const double* si = s.addi();
    scratch<complex_point> keys(m);
    int count = 0;
    for (int k = 0; k < m; ++k) {
        const complex_point v{sr[k], si ? si[k] : 0.0};
        if (!is_nan(v.re) && !is_nan(v.im))
            keys[count++] = v;
    }
    auto less = [](const complex_point& u, const complex_point& v) {
        return u.re < v.re || (u.re == v.re && u.im < v.im);
    };
    std::sort(keys.get(), keys.get() + count, less);
    for (int k = 0; k < n; ++k) {
        const complex_point v{xr[k], xi ? xi[k] : 0.0};
        const complex_point* at = std::lower_bound(keys.get(), keys.get() + count, v, less);
        o[k] = at != keys.get() + count && at->re == v.re && at->im == v.im;
    }
    return out;
}

// ---- row form ----

// A value read as a matrix of rows (trailing dimensions folded into
// columns), its elements as doubles. Columns past its width read as blanks,
// which is how rows of different widths meet.
struct row_matrix {
    Mm values;
    int rows = 0, cols = 0;
    const double* re = nullptr;
    const double* im = nullptr;

    double real_at(int r, int c) const { return c < cols ? re[r + std::int64_t{rows} * c] : 32.0; }
    double imag_at(int r, int c) const { return im && c < cols ? im[r + std::int64_t{rows} * c] : 0.0; }
};

bool read_rows(const Mm& a, const char* f, row_matrix& m)
{
    if (!numeric_double(a, f, m.values))
        return false;
    m.rows = a.rows();
    if (m.rows > 0)
        m.cols = a.size() / m.rows;
    else {
        m.cols = 1;
        for (int d = 1; d < a.getndims(); ++d)
            m.cols *= a.getdims()[d];
    }
    m.re = m.values.addr();
    m.im = m.values.addi();
    return true;
}

// a as a two-dimensional value of its rows, for indexing by rows.
Mm as_matrix(const Mm& a, const row_matrix& m)
{
    if (a.getndims() <= 2 || a.size() == 0)
        return a;
    Mm flat(a);
    flat.reshape(m.rows, m.cols);
    return flat;
}

// The rows of a value in the order sortrows gives them.
void order_rows(const row_matrix& m, scratch<int>& order)
{
    order.reset(std::size_t(m.rows));
    sort_rows_order(m.values, m.rows, order.get());
}

// Row r of m as a text row.
Mm text_row(const row_matrix& m, int r)
{
    Mm row(m.im != nullptr, 0, 0, 1, m.cols, qv_double);
    for (int c = 0; c < m.cols && c < row.size(); ++c) {
        row.addr()[c] = m.real_at(r, c);
        if (m.im)
            row.addi()[c] = m.imag_at(r, c);
    }
    row.setstr(1);
    return row;
}

// Rows of one matrix are equal when strcmp finds them equal as texts:
// same values, NaN equal to nothing.
bool rows_equal(const row_matrix& m, int r, int s) { return text_equals(text_row(m, r), text_row(m, s)); }

// The distinct rows of m (the last of each run of equal sorted rows), as
// row numbers of m in sorted order; group as for find_distinct.
void find_distinct_rows(const row_matrix& m, std::vector<int>& kept, double* group)
{
    kept.clear();
    scratch<int> order;
    order_rows(m, order);
    int number = 1;
    // Each row is made a text once, compared with its successor and then
    // with its predecessor.
    Mm next = m.rows > 0 ? text_row(m, order[0]) : Mm();
    for (int k = 0; k < m.rows; ++k) {
        const Mm row = next;
        if (k + 1 < m.rows)
            next = text_row(m, order[k + 1]);
        const bool same_as_next = k + 1 < m.rows && text_equals(row, next);
        if (group)
            group[order[k]] = number;
        if (!same_as_next) {
            kept.push_back(order[k]);
            ++number;
        }
    }
}

// The rows of a at the given row numbers (0-based), through indexing so
// that element type, text and logical flags and sparse storage carry over.
Mm take_rows(const Mm& a, const row_matrix& m, const std::vector<int>& rows)
{
    Mm index(0, 0, 0, static_cast<int>(rows.size()), 1, qv_double);
    if (index.size() != static_cast<int>(rows.size()))
        return x_M;  // "Out of memory!" went to a hook that returned
    for (std::size_t k = 0; k < rows.size(); ++k)
        index.addr()[k] = rows[k] + 1.0;
    return Mm(as_matrix(a, m)(index, c_p));
}

Mm positions_column(const std::vector<int>& pos) { return position_list(pos.data(), static_cast<int>(pos.size()), false); }

// Widens a matrix that has rows to `width` columns with 32 in the last one;
// columns between take 0, as growth by assignment fills them.
void blank_last_column(Mm& m, int width)
{
    if (m.rows() > 0 && m.size() / m.rows() < width)
        m.vwcopy2(Mm(32.0), c_p, Mm(double(width)));
}

void unique_rows(const Mm& a, Mm& b, Mm& i, Mm& j)
{
    if (a.rows() == 1) {
        b = a;
        i = Mm(1.0);
        j = Mm(1.0);
        return;
    }
    row_matrix m;
    if (!read_rows(a, "unique", m)) {
        b = i = j = x_M;
        return;
    }
    if (m.rows == 0) {
        b = a;
        i = Mm(0, 0, 0, 0, 1, qv_double);
        j = Mm();
        return;
    }
    Mm groups(0, 0, 0, 1, m.rows, qv_double);
    if (groups.size() != m.rows) {
        b = i = j = x_M;  // "Out of memory!" went to a hook that returned
        return;
    }
    std::vector<int> kept;
    find_distinct_rows(m, kept, groups.addr());
    b = take_rows(a, m, kept);
    i = positions_column(kept);
    j = groups;
}

// Two row matrices reduced to their distinct rows and matched: pairs of
// equal rows, as positions in the two lists of distinct rows.
struct row_merge {
    row_matrix a, b;
    std::vector<int> ta, tb;        // distinct rows (row numbers) in sorted order
    std::vector<char> in_a, in_b;   // whether each distinct row has a partner
    std::vector<int> pair_a, pair_b;
    row_matrix d;                   // the distinct rows of A above those of B
};

bool prepare_row_merge(const Mm& A, const Mm& B, const char* f, row_merge& m)
{
    if (!read_rows(A, f, m.a) || !read_rows(B, f, m.b))
        return false;
    find_distinct_rows(m.a, m.ta, nullptr);
    find_distinct_rows(m.b, m.tb, nullptr);
    m.in_a.assign(m.ta.size(), 0);
    m.in_b.assign(m.tb.size(), 0);
    if (isempty(A) || isempty(B))
        return true;
    // Both lists stacked (the narrower padded with blanks) and sorted: equal
    // rows meet as neighbours, the row of A first. The stack is made of the
    // double views, so bytes and doubles meet by value.
    const int na = static_cast<int>(m.ta.size());
    const Mm stack = str2mat_pair(take_rows(m.a.values, m.a, m.ta), take_rows(m.b.values, m.b, m.tb));
    if (!read_rows(stack, f, m.d))
        return false;
    scratch<int> order;
    order_rows(m.d, order);
    for (int k = 0; k + 1 < m.d.rows; ++k) {
        const int u = order[k], v = order[k + 1];
        if (u < na && v >= na && rows_equal(m.d, u, v)) {
            m.pair_a.push_back(u);
            m.pair_b.push_back(v - na);
            m.in_a[u] = 1;
            m.in_b[v - na] = 1;
        }
    }
    return true;
}

void intersect_rows(const Mm& A, const Mm& B, Mm& R, Mm& ia, Mm& ib)
{
    const bool text = A.isstr() || B.isstr();
    if (isempty(A) || isempty(B)) {
        Mm empty;
        empty.setstr(text);
        R = empty;
        ia = ib = nop_M;
        return;
    }
    row_merge m;
    if (!prepare_row_merge(A, B, "intersect", m)) {
        R = ia = ib = x_M;
        return;
    }
    // The common rows as the stack holds them: over the wider width.
    std::vector<int> pos_a, pos_b;
    for (std::size_t k = 0; k < m.pair_a.size(); ++k) {
        pos_a.push_back(m.ta[m.pair_a[k]]);
        pos_b.push_back(m.tb[m.pair_b[k]]);
    }
    Mm r = take_rows(m.d.values, m.d, m.pair_a);
    r.setstr(text);
    R = r;
    ia = positions_column(pos_a);
    ib = positions_column(pos_b);
}

// The rows of a distinct-row list that have no partner in the other list.
std::vector<int> unmatched(const std::vector<int>& rows, const std::vector<char>& matched)
{
    std::vector<int> out;
    for (std::size_t k = 0; k < rows.size(); ++k)
        if (!matched[k])
            out.push_back(rows[k]);
    return out;
}

void setdiff_rows(const Mm& A, const Mm& B, Mm& R, Mm& ia)
{
    row_merge m;
    if (!prepare_row_merge(A, B, "setdiff", m)) {
        R = ia = x_M;
        return;
    }
    const std::vector<int> left = unmatched(m.ta, m.in_a);
    Mm r = m.a.rows == 0 ? A : take_rows(A, m.a, left);
    if (m.a.cols < m.b.cols && !isempty(B))
        blank_last_column(r, m.b.cols);
    R = r;
    ia = positions_column(left);
}

void setxor_rows(const Mm& A, const Mm& B, Mm& R, Mm& ia, Mm& ib)
{
    row_merge m;
    if (!prepare_row_merge(A, B, "setxor", m)) {
        R = ia = ib = x_M;
        return;
    }
    const std::vector<int> left_a = unmatched(m.ta, m.in_a), left_b = unmatched(m.tb, m.in_b);
    const int width = std::max(m.a.cols, m.b.cols);
    const bool a_empty = left_a.empty() || m.a.cols == 0;
    const bool b_empty = left_b.empty() || m.b.cols == 0;
    Mm stack;
    Mm ta = positions_column(left_a), tb = positions_column(left_b);
    if (a_empty) {
        ta = nop_M;
        stack = m.b.rows == 0 ? B : take_rows(B, m.b, left_b);
    } else if (b_empty) {
        tb = nop_M;
        stack = take_rows(A, m.a, left_a);
    } else
        stack = str2mat_pair(take_rows(m.a.values, m.a, left_a), take_rows(m.b.values, m.b, left_b));
    if (!b_empty)
        blank_last_column(stack, width);
    R = stack.rows() > 1 ? sortrows(stack) : stack;
    ia = ta;
    ib = tb;
}

void union_rows(const Mm& A, const Mm& B, Mm& R, Mm& ia, Mm& ib)
{
    row_matrix a, b;
    if (!read_rows(A, "munion", a) || !read_rows(B, "munion", b)) {
        R = ia = ib = x_M;
        return;
    }
    Mm m;
    if (A.isstr() && B.isstr()) {
        if (isempty(A))
            m = B;
        else if (isempty(B))
            m = A;
        else
            m = strvcat(a.values, b.values);
    } else if (a.cols == b.cols)
        m = stack_values(a.values, a.rows, b.values, b.rows, a.cols, A, B);
    else {
        error("union: both arguments must have same number of columns");
        R = ia = ib = x_M;
        return;
    }
    Mm h, j;
    unique_rows(m, R, h, j);
    blank_last_column(R, std::max(a.cols, b.cols));
    std::vector<int> from_a, from_b;
    const double* ph = h.addr();
    for (int k = 0, n = h.size(); k < n; ++k) {
        const int pos = static_cast<int>(ph[k]);
        if (pos <= a.rows)
            from_a.push_back(pos - 1);
        else
            from_b.push_back(pos - a.rows - 1);
    }
    ia = positions_column(from_a);
    ib = positions_column(from_b);
}

// ---- ismember, row form: rows of S sorted, each row of a looked up ----

Mm ismember_rows(const Mm& a_given, const Mm& S_given)
{
    // A cell of strings is read as the char matrix of its strings, padded
    // with blanks; rows are then compared exactly.
    const Mm a = iscell(a_given) ? mchar(a_given) : a_given;
    const Mm S = iscell(S_given) ? mchar(S_given) : S_given;
    row_matrix x, s;
    if (!read_rows(a, "ismember", x) || !read_rows(S, "ismember", s))
        return x_M;
    Mm out(0, 0, 0, x.rows, 1, qv_double);
    if (out.size() != x.rows)
        return x_M;  // "Out of memory!" went to a hook that returned
    out.setlogical(1);
    std::fill_n(out.addr(), x.rows, 0.0);
    const int width = std::max(x.cols, s.cols);
    auto has_nan = [&](const row_matrix& m, int r) {
        for (int c = 0; c < m.cols; ++c)
            if (is_nan(m.real_at(r, c)) || is_nan(m.imag_at(r, c)))
                return true;
        return false;
    };
    // Lexicographic on (real, imaginary) over the common width.
    auto compare = [&](const row_matrix& m, int r, const row_matrix& n, int t) {
        for (int c = 0; c < width; ++c) {
            const double u = m.real_at(r, c), v = n.real_at(t, c);
            if (u != v)
                return u < v ? -1 : 1;
            const double ui = m.imag_at(r, c), vi = n.imag_at(t, c);
            if (ui != vi)
                return ui < vi ? -1 : 1;
        }
        return 0;
    };
    std::vector<int> keys;
    for (int r = 0; r < s.rows; ++r)
        if (!has_nan(s, r))
            keys.push_back(r);
    std::sort(keys.begin(), keys.end(), [&](int u, int v) { return compare(s, u, s, v) < 0; });
    for (int r = 0; r < x.rows; ++r) {
        if (has_nan(x, r))
            continue;
        auto at = std::lower_bound(keys.begin(), keys.end(), r,
                                   [&](int key, int row) { return compare(s, key, x, row) < 0; });
        out.addr()[r] = at != keys.end() && compare(s, *at, x, r) == 0;
    }
    return out;
}

Mm rejected(const char* f) { return Mm(error_input(f, 1)); }

} // namespace

// ---- unique ----

namespace {

// The distinct values of a real list without their positions: the values-
// only sort, then one pass over the runs. The result is the one the index
// sort gives: a run of zeros takes the sign of its last zero in input
// order, and NaNs, each distinct, follow in input order.
bool unique_values_only(const Mm& a, Mm& b)
{
    if ((a.gettype() != qv_double && a.gettype() != qv_uint8) || a.size() <= 1 || a.isc())
        return false;  // the general path takes it, and reports what it must
    Mm x;
    if (!numeric_double(a, "unique", x) || x.isc())
        return false;
    const int n = x.size();
    Mm column(x);
    column.reshape(n, 1);
    Mm sorted;
    sort_engine(column, sorted);
    if (sorted.size() != n)
        return false;  // refused under a returning hook: the general path reports
    const double* in = x.addr();
    double last_zero = 0;
    int nans = 0;
    for (int k = 0; k < n; ++k) {
        if (in[k] == 0)
            last_zero = in[k];
        nans += is_nan(in[k]);
    }
    const double* s = sorted.addr();
    const int m = n - nans;
    int count = 0;
    for (int k = 0; k < m; ++k)
        count += k + 1 == m || s[k] != s[k + 1];
    const bool as_row = a.rows() == 1;
    Mm values = list_value(count + nans, as_row);
    if (values.size() != count + nans)
        return false;
    double* out = values.addr();
    int q = 0;
    for (int k = 0; k < m; ++k)
        if (k + 1 == m || s[k] != s[k + 1])
            out[q++] = s[k] == 0 ? last_zero : s[k];
    for (int k = 0; k < n && nans > 0; ++k)
        if (is_nan(in[k]))
            out[q++] = in[k];
    values.setstr(a.isstr());
    b = a.gettype() == qv_uint8 ? muint8(values) : values;
    return true;
}

} // namespace

Mm unique(Mm a)
{
    Mm b, i, j;
    if (unique_values_only(a, b))
        return b;
    unique_elements(a, b, i, j);
    return b;
}

Mm unique(Mm a, i_o_t, Mm& b, Mm& i)
{
    Mm j;
    unique_elements(a, b, i, j);
    return x_M;
}

Mm unique(Mm a, i_o_t, Mm& b, Mm& i, Mm& j)
{
    unique_elements(a, b, i, j);
    return x_M;
}

Mm unique(Mm a, Mm)
{
    Mm b, i, j;
    unique_rows(a, b, i, j);
    return b;
}

Mm unique(Mm a, Mm, i_o_t, Mm& b, Mm& i)
{
    Mm j;
    unique_rows(a, b, i, j);
    return x_M;
}

Mm unique(Mm a, Mm, i_o_t, Mm& b, Mm& i, Mm& j)
{
    unique_rows(a, b, i, j);
    return x_M;
}

// ---- ismember ----

Mm ismember(Mm) { return rejected("ismember"); }
Mm ismember(Mm a, Mm S) { return ismember_elements(a, S); }
Mm ismember(Mm a, Mm S, Mm) { return ismember_rows(a, S); }

// ---- intersect ----

Mm intersect(Mm) { return rejected("intersect"); }
Mm intersect(Mm, i_o_t, Mm&, Mm&, Mm&) { return rejected("intersect"); }

Mm intersect(Mm A, Mm B)
{
    Mm R, ia, ib;
    intersect_elements(A, B, R, ia, ib);
    return R;
}

Mm intersect(Mm A, Mm B, i_o_t, Mm& R, Mm& ia)
{
    Mm ib;
    intersect_elements(A, B, R, ia, ib);
    return x_M;
}

Mm intersect(Mm A, Mm B, i_o_t, Mm& R, Mm& ia, Mm& ib)
{
    intersect_elements(A, B, R, ia, ib);
    return x_M;
}

Mm intersect(Mm A, Mm B, Mm)
{
    Mm R, ia, ib;
    intersect_rows(A, B, R, ia, ib);
    return R;
}

Mm intersect(Mm A, Mm B, Mm, i_o_t, Mm& R, Mm& ia)
{
    Mm ib;
    intersect_rows(A, B, R, ia, ib);
    return x_M;
}

Mm intersect(Mm A, Mm B, Mm, i_o_t, Mm& R, Mm& ia, Mm& ib)
{
    intersect_rows(A, B, R, ia, ib);
    return x_M;
}

// ---- setdiff ----

Mm setdiff(Mm) { return rejected("setdiff"); }
Mm setdiff(Mm, i_o_t, Mm&, Mm&) { return rejected("setdiff"); }

Mm setdiff(Mm A, Mm B)
{
    Mm R, ia;
    setdiff_elements(A, B, R, ia);
    return R;
}

Mm setdiff(Mm A, Mm B, i_o_t, Mm& R, Mm& ia)
{
    setdiff_elements(A, B, R, ia);
    return x_M;
}

Mm setdiff(Mm A, Mm B, Mm)
{
    Mm R, ia;
    setdiff_rows(A, B, R, ia);
    return R;
}

Mm setdiff(Mm A, Mm B, Mm, i_o_t, Mm& R, Mm& ia)
{
    setdiff_rows(A, B, R, ia);
    return x_M;
}

// ---- setxor ----

Mm setxor(Mm) { return rejected("setxor"); }
Mm setxor(Mm, i_o_t, Mm&, Mm&, Mm&) { return rejected("setxor"); }

Mm setxor(Mm A, Mm B)
{
    Mm R, ia, ib;
    setxor_elements(A, B, R, ia, ib);
    return R;
}

Mm setxor(Mm A, Mm B, i_o_t, Mm& R, Mm& ia)
{
    Mm ib;
    setxor_elements(A, B, R, ia, ib);
    return x_M;
}

Mm setxor(Mm A, Mm B, i_o_t, Mm& R, Mm& ia, Mm& ib)
{
    setxor_elements(A, B, R, ia, ib);
    return x_M;
}

Mm setxor(Mm A, Mm B, Mm)
{
    Mm R, ia, ib;
    setxor_rows(A, B, R, ia, ib);
    return R;
}

Mm setxor(Mm A, Mm B, Mm, i_o_t, Mm& R, Mm& ia)
{
    Mm ib;
    setxor_rows(A, B, R, ia, ib);
    return x_M;
}

Mm setxor(Mm A, Mm B, Mm, i_o_t, Mm& R, Mm& ia, Mm& ib)
{
    setxor_rows(A, B, R, ia, ib);
    return x_M;
}

// ---- union ----

Mm munion(Mm) { return rejected("munion"); }
Mm munion(Mm, i_o_t, Mm&, Mm&, Mm&) { return rejected("munion"); }

Mm munion(Mm A, Mm B)
{
    Mm R, ia, ib;
    union_elements(A, B, R, ia, ib);
    return R;
}

Mm munion(Mm A, Mm B, i_o_t, Mm& R, Mm& ia)
{
    Mm ib;
    union_elements(A, B, R, ia, ib);
    return x_M;
}

Mm munion(Mm A, Mm B, i_o_t, Mm& R, Mm& ia, Mm& ib)
{
    union_elements(A, B, R, ia, ib);
    return x_M;
}

Mm munion(Mm A, Mm B, Mm)
{
    Mm R, ia, ib;
    union_rows(A, B, R, ia, ib);
    return R;
}

Mm munion(Mm A, Mm B, Mm, i_o_t, Mm& R, Mm& ia)
{
    Mm ib;
    union_rows(A, B, R, ia, ib);
    return x_M;
}

Mm munion(Mm A, Mm B, Mm, i_o_t, Mm& R, Mm& ia, Mm& ib)
{
    union_rows(A, B, R, ia, ib);
    return x_M;
}
