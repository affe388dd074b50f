// Sorting: sort, sortrows and the engines beneath them, the values-only
// three-way quicksort, the stable index sort and the row order that median
// and the set operations call directly.
#include "array/sort.hpp"
#include "array/ndim.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// ---- values-only: Bentley and McIlroy's three-way partitioning ----

// The position of the median of x[a], x[b], x[c].
inline int median_index(const double* x, int a, int b, int c)
{
    const double va = x[a], vb = x[b], vc = x[c];
    if (va >= vb)
        return vb > vc ? b : (va > vc ? c : a);
    return vb < vc ? b : (va >= vc ? a : c);
}

// Exchanges the runs x[a..a+n) and x[b..b+n).
inline void swap_runs(double* x, int a, int b, int n)
{
    for (int k = 0; k < n; ++k)
        std::swap(x[a + k], x[b + k]);
}

void quicksort_values(double* x, int n)
{
    while (n > 1) {
        if (n < 7) {
            for (int i = 1; i < n; ++i)
                for (int j = i; j > 0 && x[j - 1] > x[j]; --j)
                    std::swap(x[j - 1], x[j]);
            return;
        }
        int mid = n / 2;
        if (n > 7) {
            int lo = 0, hi = n - 1;
            if (n >= 41) {
                int d = n / 8;
                lo = median_index(x, lo, lo + d, lo + 2 * d);
                mid = median_index(x, mid - d, mid, mid + d);
                hi = median_index(x, hi - 2 * d, hi - d, hi);
            }
            mid = median_index(x, lo, mid, hi);
        }
        std::swap(x[0], x[mid]);
        const double pivot = x[0];
        int a = 1, b = 1, c = n - 1, d = n - 1;
        for (;;) {
            while (b <= c && x[b] <= pivot) {
                if (x[b] == pivot)
                    std::swap(x[a++], x[b]);
                ++b;
            }
            while (c >= b && x[c] >= pivot) {
                if (x[c] == pivot)
                    std::swap(x[c], x[d--]);
                --c;
            }
            if (b > c)
                break;
            std::swap(x[b++], x[c--]);
        }
        int s = std::min(a, b - a);
        swap_runs(x, 0, b - s, s);
        s = std::min(d - c, n - 1 - d);
        swap_runs(x, b, n - s, s);
        const int below = b - a, above = d - c;
        if (below > 1)
            quicksort_values(x, below);
        if (above <= 1)
            return;
        x += n - above;
        n = above;
    }
}

// NaN sorts after +Inf: counted out as +Inf and put back at the end.
//
// Equal doubles have equal bits except the two zeros, so any correct sort
// gives this column bit for bit unless it holds both -0 and +0: then the
// three-way quicksort decides where each sign lands and runs itself.
// Otherwise the standard library's introsort, the faster of the two on
// random data, does the work.
void sort_values_column(double* x, int n)
{
    int nans = 0;
    bool negative_zero = false, positive_zero = false;
    for (int k = 0; k < n; ++k) {
        const double v = x[k];
        if (v != v) {
            x[k] = INFINITY;
            ++nans;
        } else if (v == 0) {
            if (std::signbit(v))
                negative_zero = true;
            else
                positive_zero = true;
        }
    }
    if (negative_zero && positive_zero)
        quicksort_values(x, n);
    else
        std::sort(x, x + n);
    for (int k = n - nans; k < n; ++k)
        x[k] = NAN;
}

// ---- with positions: a stable order on (key, second key), NaN last ----

// One sort key with its input position: sorting these pairs keeps the keys
// beside their positions in memory.
struct keyed {
    double key;
    int pos;
};

// Positions ordered by (key, second key), ties in input order, NaN keys last
// in input order. work holds room for n pairs and ends with the ordered
// pairs that are not NaN, whose count is returned.
int order_column(const double* key, const double* second, int n, int* pos, keyed* work)
{
    int m = 0, nans = 0;
    for (int k = 0; k < n; ++k) {
        if (key[k] != key[k])
            pos[n - 1 - nans++] = k;  // collected backwards, reversed below
        else
            work[m++] = keyed{key[k], k};
    }
    std::reverse(pos + m, pos + n);
    if (second)
        std::stable_sort(work, work + m, [second](const keyed& u, const keyed& v) {
            return u.key < v.key || (u.key == v.key && second[u.pos] < second[v.pos]);
        });
    else
        std::stable_sort(work, work + m, [](const keyed& u, const keyed& v) { return u.key < v.key; });
    for (int k = 0; k < m; ++k)
        pos[k] = work[k].pos;
    return m;
}

// Rows and columns of the column-by-column view: trailing dimensions fold
// into columns.
inline int row_count(const Mm& a) { return a.rows(); }
inline int column_count(const Mm& a) { return a.rows() ? a.size() / a.rows() : 0; }

// A double value to sort: uint8 elements as their values (the sorted
// values go back to bytes, exactly), sparse values made full.
Mm numeric_operand(const Mm& a, const char* f)
{
    if (error_numeric(a, f))
        return Mm();
    if (a.gettype() == qv_double && !a.issparse())
        return a;
    Mm full;
    full.deepcopy(a.isc(), 0, a, qv_double);
    return full;
}

// A vector lying along any dimension but the first (a row, or 1x1x4) is
// sorted as a column and reshaped back.
bool is_row(const Mm& a)
{
    if (a.rows() != 1)
        return false;
    int long_extents = 0;
    for (int d = 1; d < a.getndims(); ++d)
        long_extents += a.getdims()[d] != 1;
    return long_extents <= 1;
}

Mm as_column(const Mm& a)
{
    Mm c(a);
    c.reshape(a.size(), 1);
    return c;
}

void reshape_like(Mm& x, const Mm& like)
{
    x.reshape(like.getndims(), like.getdims());
}

} // namespace

void sort_engine(const Mm& a, Mm& sorted)
{
    if (row_count(a) == 0) {
        sorted = a;
        return;
    }
    Mm copy;
    copy.deepcopy(0, 0, a, qv_double);
    if (copy.size() != a.size()) {
        sorted = copy;  // "Out of memory!" went to a hook that returned
        return;
    }
    const int r = row_count(copy), cols = column_count(copy);
    double* p = copy.addr();
    for (int c = 0; c < cols; ++c)
        sort_values_column(p + std::size_t(c) * r, r);
    sorted = copy;
}

Mm sort_engine(Mm& a, Mm& sorted, Mm& index)
{
    if (row_count(a) == 0) {
        sorted = nop_M;
        index = nop_M;
        return x_M;
    }
    if (a.issparse() || a.gettype() != qv_double) {
        Mm full;
        full.deepcopy(a.isc(), 0, a, qv_double);
        a = full;
    }
    const int r = row_count(a), cols = column_count(a);
    const bool complex = a.isc();
    Mm keys = complex ? abs(a) : a;
    Mm angles = complex ? angle(a) : Mm();
    // Every element of both results is written below.
    Mm out(complex, 0, 0, a.getndims(), a.getdims(), qv_double);
    Mm positions(0, 0, 0, a.getndims(), a.getdims(), qv_double);
    if (out.size() != a.size() || positions.size() != a.size()) {
        // "Out of memory!" went to a hook that returned: both results are
        // empty, which the callers check before reading positions.
        sorted = x_M;
        index = x_M;
        return x_M;
    }
    scratch<int> pos(std::size_t(r) + 1);
    scratch<keyed> work{std::size_t(r)};
    const double *kr = keys.addr(), *ka = complex ? angles.addr() : nullptr;
    const double *re = a.addr(), *im = a.addi();
    double *ore = out.addr(), *oim = out.addi(), *oix = positions.addr();
    for (int c = 0; c < cols; ++c) {
        const std::size_t base = std::size_t(c) * r;
        const int ordered = order_column(kr + base, ka ? ka + base : nullptr, r, pos.get(), work.get());
        // A real key is the element itself: the ordered pairs hold the sorted
        // values, so only NaN elements are fetched from their positions.
        const int from_pairs = complex ? 0 : ordered;
        for (int k = 0; k < from_pairs; ++k) {
            ore[base + k] = work[k].key;
            oix[base + k] = work[k].pos + 1;
        }
        for (int k = from_pairs; k < r; ++k) {
            const std::size_t from = base + pos[k];
            ore[base + k] = re[from];
            if (complex)
                oim[base + k] = im[from];
            oix[base + k] = pos[k] + 1;
        }
    }
    out.setstr(a.isstr());
    sorted = out;
    index = positions;
    return x_M;
}

// An N-d array with one row sorts along its first dimension longer than
// 1, as the default dimension of the reductions is chosen (a matrix, or an
// array with rows, sorts its columns; a 2-D row sorts as a column).
namespace {
int nd_line_dimension(const Mm& x) { return x.getndims() > 2 && x.rows() == 1 && x.size() > 0 ? x.nsingleton() : 0; }
} // namespace

Mm sort(const Mm& a)
{
    if (iscellstr(a))
        return sortrows(a);
    Mm x = numeric_operand(a, "sort");
    if (const int d = nd_line_dimension(x))
        return sort(a, Mm(double(d)));
    const bool row = is_row(x);
    Mm work = row ? as_column(x) : x;
    Mm sorted;
    if (work.isc()) {
        Mm index;
        sort_engine(work, sorted, index);
    } else
        sort_engine(work, sorted);
    if (row)
        reshape_like(sorted, x);
    sorted.setstr(a.isstr());
    return a.gettype() == qv_uint8 ? muint8(sorted) : sorted;
}

Mm sort(const Mm& a, i_o_t, Mm& sorted, Mm& index)
{
    if (iscellstr(a))
        return sortrows(a, i_o, sorted, index);
    Mm x = numeric_operand(a, "sort");
    if (const int d = nd_line_dimension(x))
        return sort(a, Mm(double(d)), i_o, sorted, index);
    const bool row = is_row(x);
    Mm work = row ? as_column(x) : x;
    Mm s, k;
    sort_engine(work, s, k);
    if (row && !isempty(s)) {
        reshape_like(s, x);
        reshape_like(k, x);
    }
    s.setstr(a.isstr());
    sorted = a.gettype() == qv_uint8 && !isempty(s) ? muint8(s) : s;
    index = k;
    return x_M;
}

namespace {

// The extents of a value padded with 1 to four.
void padded_dims(const Mm& x, int dims[4])
{
    for (int m = 0; m < 4; ++m)
        dims[m] = m < x.getndims() ? x.getdims()[m] : 1;
}

// The sorted value in the operand's own element type and text flag.
Mm as_operand_type(Mm sorted, const Mm& a)
{
    sorted.setstr(a.isstr());
    return a.gettype() == qv_uint8 && !isempty(sorted) ? muint8(sorted) : sorted;
}

} // namespace

// Along dimension dim: that dimension is moved first, its lines sorted as
// columns, and the result moved back to the operand's layout.
Mm sort(const Mm& a, const Mm& dim)
{
    Mm x = numeric_operand(a, "sort");
    const int k = parse_dim_argument("sort", a, dim);
    int dims[4];
    padded_dims(x, dims);
    Mm moved = move_dim_first(x, x.getndims(), dims, k);
    Mm sorted;
    if (moved.isc()) {
        Mm index;
        sort_engine(moved, sorted, index);
    } else
        sort_engine(moved, sorted);
    return as_operand_type(move_dim_back(sorted, x.getndims(), dims, k), a);
}

Mm sort(const Mm& a, const Mm& dim, i_o_t, Mm& sorted, Mm& index)
{
    Mm x = numeric_operand(a, "sort");
    const int k = parse_dim_argument("sort", a, dim);
    int dims[4];
    padded_dims(x, dims);
    Mm moved = move_dim_first(x, x.getndims(), dims, k);
    Mm s, i;
    sort_engine(moved, s, i);
    // Both outputs return to the operand's layout: the move is undone, not
    // repeated, which for three and four dimensions is not the same.
    Mm back = move_dim_back(s, x.getndims(), dims, k);
    index = move_dim_back(i, x.getndims(), dims, k);
    sorted = as_operand_type(back, a);
    return x_M;
}

// ---- rows ----

namespace {

// Order of one column at rows u and v: negative, 0 or positive.
inline int compare_keys(const double* key, const double* second, std::size_t u, std::size_t v)
{
    const double a = key[u], b = key[v];
    const bool na = a != a, nb = b != b;
    if (na || nb)
        return na == nb ? 0 : (na ? 1 : -1);
    if (a != b)
        return a < b ? -1 : 1;
    if (second && second[u] != second[v])
        return second[u] < second[v] ? -1 : 1;
    return 0;
}

// The rows of a as a two-dimensional value, for indexing by rows.
Mm as_rows(const Mm& a)
{
    if (a.getndims() <= 2)
        return a;
    Mm flat(a);
    flat.reshape(row_count(a), column_count(a));
    return flat;
}

// sortrows by the columns cols (all columns when null).
void sort_rows(const Mm& a, const Mm* cols, Mm& sorted, Mm& index)
{
    if (iscell(a) && iscellstr(a)) {
        // Strings sort as the rows of a char matrix; the index refers to
        // the cells.
        Mm rows, order;
        sort_rows(mchar(a), cols, rows, order);
        sorted = cellstr(rows);
        index = order;
        return;
    }
    if (a.gettype() == qv_none) {
        a.warn_uninit();
        sorted = index = x_M;
        return;
    }
    if (error_numeric(a, "sortrows")) {
        sorted = index = x_M;
        return;
    }
    const int r = row_count(a);
    if (r == 0) {
        sorted = a;
        index = Mm();
        return;
    }
    const Mm grid = as_rows(a);
    // The listed columns, read by indexing: a column number that is not a
    // column of a fails there with the indexing message.
    const Mm keys = cols ? Mm(grid(c_p, *cols)) : grid;
    Mm full_keys;
    full_keys.deepcopy(keys.isc(), 0, keys, qv_double);
    if (full_keys.rows() != r || full_keys.size() != keys.size()) {
        sorted = index = x_M;  // "Out of memory!" went to a hook that returned
        return;
    }
    scratch<int> order(std::size_t(r) + 1);
    sort_rows_order(full_keys, r, order.get());
    Mm idx(0, 0, 0, r, 1, qv_double);
    if (idx.size() != r) {
        sorted = index = x_M;  // "Out of memory!" went to a hook that returned
        return;
    }
    for (int k = 0; k < r; ++k)
        idx.addr()[k] = order[k] + 1.0;
    sorted = Mm(grid(idx, c_p));
    index = idx;
}

} // namespace

void sort_rows_order(const Mm& keys, int r, int* order)
{
    for (int k = 0; k < r; ++k)
        order[k] = k;
    if (r <= 0 || keys.size() <= 0)
        return;
    const std::size_t rows = std::size_t(r);
    const int cols = keys.size() / r;
    const bool complex = keys.isc();
    const Mm modulus = complex ? abs(keys) : keys;
    const Mm angles = complex ? angle(keys) : Mm();
    const double* key = modulus.addr();
    const double* second = complex ? angles.addr() : nullptr;
    std::stable_sort(order, order + r, [&](int u, int v) {
        for (int c = 0; c < cols; ++c) {
            const std::size_t base = rows * std::size_t(c);
            if (const int s = compare_keys(key + base, second ? second + base : nullptr, u, v))
                return s < 0;
        }
        return false;
    });
}

Mm sortrows(const Mm& a)
{
    Mm sorted, index;
    sort_rows(a, nullptr, sorted, index);
    return sorted;
}

Mm sortrows(const Mm& a, const Mm& cols)
{
    Mm sorted, index;
    sort_rows(a, &cols, sorted, index);
    return sorted;
}

Mm sortrows(const Mm& a, i_o_t, Mm& sorted, Mm& index)
{
    Mm s, k;
    sort_rows(a, nullptr, s, k);
    sorted = s;
    index = k;
    return x_M;
}

Mm sortrows(const Mm& a, const Mm& cols, i_o_t, Mm& sorted, Mm& index)
{
    Mm s, k;
    sort_rows(a, &cols, s, k);
    sorted = s;
    index = k;
    return x_M;
}
