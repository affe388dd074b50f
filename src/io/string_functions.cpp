// String functions of the language: blank strings, trimming, searching,
// character classes, case, joining, justification, comparison, replacement
// and tokens, with the text test and comparison the library shares.
#include "io/string_functions.hpp"
#include "engine/scalar_real.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

int isstr(const Mm& x) { return x.isstr(); }

namespace {

// ---- argument checks and element access ----

// A value whose elements are character codes: a cell or a struct is
// rejected, a value without one reports it.
bool codes_argument(const Mm& x, const char* f)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    return !error_numeric(x, f);
}

// x as a full double value with its flags (bytes widened, sparse made full).
Mm full_double(const Mm& x)
{
    if (x.gettype() == qv_double && !x.issparse())
        return x;
    Mm d;
    d.deepcopy(x.isc(), 0, x, qv_double);
    return d;
}

// The empty value flagged as text.
Mm empty_text()
{
    Mm e;
    e.setstr(1);
    return e;
}

// Rows and the columns of the two-dimensional view (trailing dimensions
// folded into columns).
inline int folded_cols(const Mm& x) { return x.rows() > 0 ? x.size() / x.rows() : 0; }

// Whether element k holds exactly the code c (no imaginary part).
template <class T>
inline bool holds_code(const T* re, const T* im, std::int64_t k, int c)
{
    return re[k] == c && (!im || im[k] == 0);
}

// A one-dimensional run of n elements: a column when `column`, else a row.
Mm run_value(int n, bool column, bool complex, qv_matrix_types type)
{
    return column ? Mm(complex, 0, 0, n, 1, type) : Mm(complex, 0, 0, 1, n, type);
}

// What is left of a value after elements are deleted: a column stays a
// column, anything else becomes a row.
inline bool is_column(const Mm& x) { return x.getndims() == 2 && x.cols() == 1 && x.rows() != 1; }

// ---- deblank and deblank_leading ----

// Elements from to end of x, those of code 0 left out, into out, which
// takes x's text and logical marks.
template <class T>
void copy_without_zeros(const Mm& x, std::int64_t from, std::int64_t end, Mm& out)
{
    const T* re = x.getpr((T*)nullptr);
    const T* im = x.getpi((T*)nullptr);
    T* o = out.getpr((T*)nullptr);
    T* oi = out.getpi((T*)nullptr);
    for (std::int64_t k = from, m = 0; k < end; ++k) {
        if (holds_code(re, im, k, 0))
            continue;
        o[m] = re[k];
        if (oi)
            oi[m] = im[k];
        ++m;
    }
    out.setstr(x.isstr());
    out.setlogical(x.islogical());
}

// The elements up to the last that is not a blank, without the code-0
// ones; x itself when nothing goes.
template <class T>
Mm deblank_codes(const Mm& x)
{
    const T* re = x.getpr((T*)nullptr);
    const T* im = x.getpi((T*)nullptr);
    const std::int64_t n = x.size();
    std::int64_t keep = n;
    while (keep > 0 && holds_code(re, im, keep - 1, 32))
        --keep;
    std::int64_t zeros = 0;
    for (std::int64_t k = 0; k < keep; ++k)
        zeros += holds_code(re, im, k, 0);
    if (keep == n && zeros == 0)
        return x;
    const int count = static_cast<int>(keep - zeros);
    Mm out = run_value(count, is_column(x), im != nullptr, x.gettype() == qv_uint8 ? qv_uint8 : qv_double);
    if (out.size() != count)
        return x_M;
    copy_without_zeros<T>(x, 0, keep, out);
    return out;
}

// A matrix of several rows keeps its rows: the trailing columns that hold
// only blanks or code 0 in every row go (read column by column, the rows'
// characters would be scrambled together).
template <class T>
Mm deblank_columns(const Mm& x)
{
    const T* re = x.getpr((T*)nullptr);
    const T* im = x.getpi((T*)nullptr);
    const int rows = x.rows(), cols = x.size() / rows;
    int keep = cols;
    for (; keep > 0; --keep) {
        bool empty_column = true;
        for (int r = 0; r < rows && empty_column; ++r) {
            const std::int64_t k = r + std::int64_t(keep - 1) * rows;
            empty_column = holds_code(re, im, k, 32) || holds_code(re, im, k, 0);
        }
        if (!empty_column)
            break;
    }
    if (keep == cols)
        return x;
    Mm out(im != nullptr, 0, 0, rows, keep, x.gettype() == qv_uint8 ? qv_uint8 : qv_double);
    const std::int64_t n = std::int64_t(rows) * keep;
    std::copy(re, re + n, out.getpr((T*)nullptr));
    if (im)
        std::copy(im, im + n, out.getpi((T*)nullptr));
    out.setstr(x.isstr());
    out.setlogical(x.islogical());
    return out;
}

// The columns from the first one holding something other than a blank in
// some row, then without the code-0 elements; x itself when nothing goes.
template <class T>
Mm deblank_leading_codes(const Mm& x)
{
    const T* re = x.getpr((T*)nullptr);
    const T* im = x.getpi((T*)nullptr);
    const std::int64_t rows = x.rows(), cols = folded_cols(x), n = rows * cols;
    std::int64_t first = 0;  // first element of the first kept column
    while (first < n && holds_code(re, im, first, 32))
        ++first;
    first -= first % (rows ? rows : 1);
    std::int64_t zeros = 0;
    for (std::int64_t k = first; k < n; ++k)
        zeros += holds_code(re, im, k, 0);
    if (first == 0 && zeros == 0)
        return x;
    const qv_matrix_types type = x.gettype() == qv_uint8 ? qv_uint8 : qv_double;
    const int kept_cols = static_cast<int>(cols - first / (rows ? rows : 1));
    Mm out = zeros == 0 ? Mm(im != nullptr, 0, 0, static_cast<int>(rows), kept_cols, type)
                        : run_value(static_cast<int>(n - first - zeros), kept_cols == 1 && rows != 1, im != nullptr, type);
    if (out.size() != n - first - zeros)
        return x_M;
    copy_without_zeros<T>(x, first, n, out);
    return out;
}

// A cell of the same size with f applied to every element.
template <class F>
Mm map_cell(const Mm& c, F f)
{
    Mm out(0, 0, 0, c.getndims(), c.getdims(), qv_cell);
    if (out.size() != c.size())
        return x_M;
    const Mm* from = c.getpr((Mm*)nullptr);
    Mm* to = out.getpr((Mm*)nullptr);
    for (int k = 0, n = c.size(); k < n; ++k)
        to[k] = f(from[k]);
    return out;
}

// ---- blank blocks and stacking ----

// A blank block of the given extents, as plain codes.
Mm blank_block(int rows, int cols)
{
    Mm out(0, 0, 0, rows, cols, qv_double);
    double* p = out.addr();
    for (int k = 0, n = out.size(); k < n; ++k)
        p[k] = 32;
    return out;
}

// The rows of top above the rows of bottom, the narrower padded on the
// right with blank columns to the width of the wider.
Mm stack_padded(const Mm& top, const Mm& bottom)
{
    const int wa = folded_cols(top), wb = folded_cols(bottom);
    if (wa < wb)
        return vertcat(horzcat(top, blank_block(top.rows(), wb - wa)), bottom);
    if (wb < wa)
        return vertcat(top, horzcat(bottom, blank_block(bottom.rows(), wa - wb)));
    return vertcat(top, bottom);
}

// The values of a list argument: the elements of a cell, else the value.
struct argument_list {
    const Mm* items;
    int count;
};

argument_list list_of(const Mm& args)
{
    if (iscell(args))
        return {args.getpr((Mm*)nullptr), args.size()};
    return {&args, 1};
}

void strvcat_add(Mm& result, const Mm& x)
{
    if (iscell(x)) {
        const argument_list l = list_of(x);
        for (int k = 0; k < l.count; ++k)
            strvcat_add(result, l.items[k]);
        return;
    }
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return;
    }
    if (isempty(x))
        return;
    result = isempty(result) ? x : stack_padded(result, x);
}

// ---- character classes and case ----

// A logical value shaped like s: pick(code) of each element's real part.
template <class Pick>
Mm classify(const Mm& s, const char* f, Pick pick)
{
    if (!codes_argument(s, f))
        return x_M;
    const Mm x = full_double(s);
    Mm out(0, 0, 0, x.getndims(), x.getdims(), qv_double);
    const double* re = x.addr();
    double* o = out.addr();
    for (int k = 0, n = out.size(); k < n; ++k)
        o[k] = pick(re[k]) ? 1.0 : 0.0;
    out.setlogical(1);
    return out;
}

inline bool upper_code(double c) { return c >= 65 && c <= 90; }
inline bool lower_code(double c) { return c >= 97 && c <= 122; }
inline bool space_code(double c) { return c == 32 || (c >= 9 && c <= 13); }

// A copy in which the real parts selected by pick move by shift; s itself
// when none is selected.
template <class T, class Pick>
Mm shift_codes(const Mm& s, Pick pick, int shift)
{
    const T* re = s.getpr((T*)nullptr);
    const int n = s.size();
    int first = 0;
    while (first < n && !pick(double(re[first])))
        ++first;
    if (first == n)
        return s;
    Mm out;
    out.deepcopy(s.isc(), 0, s, qv_none);
    if (out.size() != n)
        return out;  // "Out of memory!" went to a hook that returned
    T* o = out.getpr((T*)nullptr);
    for (int k = first; k < n; ++k)
        if (pick(double(o[k])))
            o[k] = static_cast<T>(o[k] + shift);
    return out;
}

// Case conversion of one value: a cell element by element; values that are
// not codes (structs inside a cell) are left as they are.
template <class Pick>
Mm change_case(const Mm& s, Pick pick, int shift)
{
    if (iscell(s))
        return map_cell(s, [&](const Mm& e) { return change_case(e, pick, shift); });
    if (s.gettype() == qv_uint8)
        return shift_codes<unsigned char>(s, pick, shift);
    if (s.gettype() == qv_double)
        return shift_codes<double>(s.issparse() ? full(s) : s, pick, shift);
    return s;
}

template <class Pick>
Mm change_case_of_argument(const Mm& s, const char* f, Pick pick, int shift)
{
    if (!iscell(s) && !codes_argument(s, f))
        return x_M;
    return change_case(s, pick, shift);
}

// ---- searching ----

struct code {
    double re, im;
    bool operator==(const code& o) const { return re == o.re && im == o.im; }
};

// The elements of a value as (real, imaginary) pairs in column-major order.
std::vector<code> codes_of(const Mm& x)
{
    const Mm d = full_double(x);
    const int n = d.size();
    std::vector<code> out(static_cast<std::size_t>(n > 0 ? n : 0));
    const double* re = d.addr();
    const double* im = d.addi();
    for (int k = 0; k < n; ++k)
        out[k] = {re[k], im ? im[k] : 0.0};
    return out;
}

// 0-based starts of every occurrence of pattern in text, overlapping ones
// included. Equality of codes is an equivalence once NaN is set aside (a
// pattern holding NaN matches nowhere), so a prefix-function scan serves:
// linear in the text whatever the pattern.
std::vector<int> occurrences(const std::vector<code>& text, const std::vector<code>& pattern)
{
    std::vector<int> found;
    const int m = static_cast<int>(pattern.size()), n = static_cast<int>(text.size());
    if (m == 0 || m > n)
        return found;
    for (const code& c : pattern)
        if (c.re != c.re || c.im != c.im)
            return found;
    std::vector<int> border(static_cast<std::size_t>(m), 0);
    for (int q = 1, k = 0; q < m; ++q) {
        while (k > 0 && !(pattern[q] == pattern[k]))
            k = border[k - 1];
        if (pattern[q] == pattern[k])
            ++k;
        border[q] = k;
    }
    for (int i = 0, k = 0; i < n; ++i) {
        while (k > 0 && !(text[i] == pattern[k]))
            k = border[k - 1];
        if (text[i] == pattern[k])
            ++k;
        if (k == m) {
            found.push_back(i - m + 1);
            k = border[k - 1];
        }
    }
    return found;
}

// ---- comparison ----

inline bool is_text(const Mm& x) { return x.isstr() && x.gettype() != qv_cell; }

// The first n elements of x (x(1:n)).
Mm first_elements(const Mm& x, int n) { return Mm(x(colon(1.0, double(n)))); }

// Comparison of two values that are not cells, on their first n elements
// (n above 0): logical for two non-empty texts, else the double 1 for two
// empty texts and 0 otherwise.
Mm compare_pair(const Mm& a, const Mm& b, int n)
{
    if (!is_text(a) || !is_text(b))
        return Mm(0.0);
    const bool empty_a = isempty(a), empty_b = isempty(b);
    if (empty_a || empty_b)
        return Mm(empty_a && empty_b ? 1.0 : 0.0);
    const Mm ca = a.size() > n ? first_elements(a, n) : a;
    const Mm cb = b.size() > n ? first_elements(b, n) : b;
    return mlogical(Mm(double(isequal(ca, cb))));
}

inline bool same_extents(const Mm& a, const Mm& b) { return a.getndims() == b.getndims() && is_same_dims(a, b); }

// A value that is not a cell as a one-element cell.
Mm as_cell(const Mm& x)
{
    if (iscell(x))
        return x;
    Mm c(0, 0, 0, 1, 1, qv_cell);
    c.mr(1) = x;
    return c;
}

// The comparison rule of every comparison function, on the first n
// elements.
Mm compare(const Mm& a, const Mm& b, int n)
{
    if (a.gettype() == qv_none || b.gettype() == qv_none) {
        (a.gettype() == qv_none ? a : b).warn_uninit();
        return x_M;
    }
    if (n <= 0)
        return Mm(0.0);
    if (!iscell(a) && !iscell(b))
        return compare_pair(a, b, n);
    const Mm ca = as_cell(a), cb = as_cell(b);
    const bool one_a = ca.size() == 1, one_b = cb.size() == 1;
    if (!same_extents(ca, cb) && !one_a && !one_b) {
        error("strcmp: sizes of cell array do not match");
        return x_M;
    }
    const Mm& shape = same_extents(ca, cb) || one_b ? ca : cb;
    Mm out(0, 0, 0, shape.getndims(), shape.getdims(), qv_double);
    const Mm* ea = ca.getpr((Mm*)nullptr);
    const Mm* eb = cb.getpr((Mm*)nullptr);
    double* o = out.addr();
    for (int k = 0, count = out.size(); k < count; ++k) {
        const Mm r = compare_pair(ea[one_a ? 0 : k], eb[one_b ? 0 : k], n);
        o[k] = r.r() != 0;
    }
    out.setlogical(1);
    return out;
}

// The count argument of the n forms: its first element, truncated.
bool count_argument(const Mm& n, const char* f, int& count)
{
    if (n.gettype() == qv_none) {
        n.warn_uninit();
        return false;
    }
    if (error_numeric(n, f))
        return false;
    if (isempty(n)) {
        error("%s: n argument may not be empty", f);
        return false;
    }
    count = saturate_to_int(full_double(n).addr()[0]);
    return true;
}

// Upper-case copies for the comparisons that ignore case.
Mm upper_for_compare(const Mm& x) { return change_case(x, lower_code, -32); }

// ---- joining ----

// The strings of an operand of strcat: a cell's elements in column-major
// order, else one string per row.
std::vector<Mm> string_list(const Mm& x)
{
    const Mm c = iscell(x) ? x : cellstr(x);
    const Mm* e = c.getpr((Mm*)nullptr);
    return std::vector<Mm>(e, e + (c.size() > 0 ? c.size() : 0));
}

Mm strcat_pair(const Mm& a, const Mm& b)
{
    for (const Mm* x : {&a, &b})
        if (!iscell(*x) && !codes_argument(*x, "strcat"))
            return x_M;
    std::vector<Mm> la = string_list(a), lb = string_list(b);
    if (la.empty())
        la.assign(lb.size(), empty_text());
    else if (lb.empty())
        lb.assign(la.size(), empty_text());
    if (la.size() == 1 && lb.size() > 1)
        la.assign(lb.size(), la[0]);
    else if (lb.size() == 1 && la.size() > 1)
        lb.assign(la.size(), lb[0]);
    // Lists of different lengths would leave strings of one side unjoined.
    if (la.size() != lb.size()) {
        error("strcat: lists of %d and %d strings do not match", int(la.size()), int(lb.size()));
        return x_M;
    }
    const int n = static_cast<int>(la.size());
    const bool as_row = iscell(a) || iscell(b) ? a.rows() == 1 : false;
    Mm joined = as_row ? Mm(0, 0, 0, 1, n, qv_cell) : Mm(0, 0, 0, n, 1, qv_cell);
    Mm* out = joined.getpr((Mm*)nullptr);
    for (int k = 0; k < n && k < joined.size(); ++k)
        out[k] = horzcat(deblank(la[k]), deblank(lb[k]));
    if (!iscell(a) && !iscell(b))
        return mchar(joined);
    return joined;
}

// ---- justification ----

// The positions (0-based, in order) of row r that remain once its trailing
// blanks, its code-0 elements and then its leading blanks are removed.
void kept_positions(const double* re, const double* im, std::int64_t rows, int cols, int r, std::vector<int>& kept)
{
    kept.clear();
    auto at = [&](int c) { return r + rows * c; };
    int last = cols - 1;
    while (last >= 0 && holds_code(re, im, at(last), 32))
        --last;
    bool leading = true;
    for (int c = 0; c <= last; ++c) {
        if (holds_code(re, im, at(c), 0))
            continue;
        if (leading && holds_code(re, im, at(c), 32))
            continue;
        leading = false;
        kept.push_back(c);
    }
}

// ---- replacement ----

// s with every occurrence of from replaced, the occurrences found once and
// replaced from the last to the first on the text as it is at that moment:
// s = [s(1:i-1), to, s(i+len(from):end)]. The text is kept as an untouched
// head of s and a tail built backwards, so the work is linear.
std::vector<code> replace_all(const std::vector<code>& s, const std::vector<int>& at, int from_length,
                              const std::vector<code>& to, std::size_t longest)
{
    std::vector<code> tail;  // reversed: back() is the tail's first element
    tail.reserve(longest);
    int head_end = static_cast<int>(s.size());
    for (auto p = at.rbegin(); p != at.rend(); ++p) {
        const int resume = *p + from_length;
        if (resume <= head_end) {
            for (int k = head_end - 1; k >= resume; --k)
                tail.push_back(s[k]);
        } else {
            for (int drop = resume - head_end; drop > 0 && !tail.empty(); --drop)
                tail.pop_back();
        }
        for (auto t = to.rbegin(); t != to.rend(); ++t)
            tail.push_back(*t);
        head_end = *p;
    }
    std::vector<code> out(s.begin(), s.begin() + head_end);
    out.insert(out.end(), tail.rbegin(), tail.rend());
    return out;
}

Mm replace_in(const Mm& s, const Mm& from, const Mm& to)
{
    if (!codes_argument(s, "strrep") || !codes_argument(from, "strrep") || !codes_argument(to, "strrep"))
        return x_M;
    if (s.size() < from.size())
        return s;
    const std::vector<code> text = codes_of(s);
    const std::vector<int> at = occurrences(text, codes_of(from));
    if (at.empty())
        return s;
    // The length of the text after each replacement, to refuse a result
    // that no value could hold before any of it is built.
    std::int64_t length = s.size(), longest = length;
    for (auto p = at.rbegin(); p != at.rend(); ++p) {
        length = *p + std::int64_t{to.size()} + std::max<std::int64_t>(0, length - *p - from.size());
        longest = std::max(longest, length);
    }
    if (longest > INT_MAX - 8) {
        error("Out of memory!");
        return x_M;
    }
    const std::vector<code> result = replace_all(text, at, from.size(), codes_of(to), std::size_t(longest));
    const int n = static_cast<int>(result.size());
    const bool complex = s.isc() || to.isc();
    Mm out(complex, 0, 0, 1, n, qv_double);
    if (out.size() != n)
        return x_M;
    double* re = out.addr();
    double* im = out.addi();
    for (int k = 0; k < n; ++k) {
        re[k] = result[k].re;
        if (im)
            im[k] = result[k].im;
    }
    out.setstr(s.isstr() || to.isstr());
    if (s.gettype() == qv_uint8 || to.gettype() == qv_uint8)
        return muint8(out);
    return out;
}

// ---- tokens ----

// The default delimiters: blank and codes 9 to 13.
Mm default_delimiters()
{
    Mm d(0, 0, 0, 1, 6, qv_double);
    const double codes[6] = {9, 10, 11, 12, 13, 32};
    std::memcpy(d.addr(), codes, sizeof codes);
    return d;
}

void first_token(const Mm& s, const Mm& delims, Mm& token, Mm& rest)
{
    if (!codes_argument(s, "strtok") || !codes_argument(delims, "strtok")) {
        token = rest = x_M;
        return;
    }
    const std::vector<code> text = codes_of(s), d = codes_of(delims);
    auto is_delimiter = [&](const code& c) {
        for (const code& e : d)
            if (c == e)
                return true;
        return false;
    };
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n && is_delimiter(text[i]))
        ++i;
    Mm t, r;
    if (i < n) {
        int j = i;
        while (j < n && !is_delimiter(text[j]))
            ++j;
        t = Mm(s(colon(double(i + 1), double(j))));
        r = Mm(s(colon(double(j + 1), double(n))));
    }
    t.setstr(s.isstr() || delims.isstr());
    r.setstr(t.isstr());
    token = t;
    rest = r;
}

} // namespace

// ---- shared helpers ----

bool text_equals(const Mm& a, const Mm& b)
{
    if (iscell(a) || iscell(b))
        return false;
    const Mm r = compare(a, b, INT_MAX);
    return r.size() == 1 && r.r() != 0;
}

// ---- blanks and trimming ----

Mm blanks(const Mm& n)
{
    if (!codes_argument(n, "blanks"))
        return x_M;
    if (isempty(n))
        return empty_text();
    const Mm counts = full_double(n);
    const double* c = counts.addr();
    const bool two = counts.size() >= 2;
    Mm out = blank_block(two ? round_to_count(c[0]) : 1, round_to_count(c[two ? 1 : 0]));
    out.setstr(1);
    return out;
}

Mm blanks(const Mm& rows, const Mm& cols) { return blanks(horzcat(rows, cols)); }

Mm deblank(const Mm& s)
{
    if (iscell(s))
        return map_cell(s, [](const Mm& e) { return deblank(e); });
    const bool matrix = s.rows() > 1 && s.size() / s.rows() > 1;
    if (s.gettype() == qv_double)
        return matrix ? deblank_columns<double>(full(s)) : deblank_codes<double>(full(s));
    if (s.gettype() == qv_uint8)
        return matrix ? deblank_columns<unsigned char>(s) : deblank_codes<unsigned char>(s);
    return s;
}

Mm deblank_leading(const Mm& s)
{
    if (iscell(s))
        return map_cell(s, [](const Mm& e) { return deblank_leading(e); });
    if (s.gettype() == qv_double)
        return deblank_leading_codes<double>(full(s));
    if (s.gettype() == qv_uint8)
        return deblank_leading_codes<unsigned char>(s);
    return s;
}

// ---- searching ----

Mm findstr(const Mm&) { return Mm(error_input("findstr", 1)); }

Mm findstr(const Mm& a, const Mm& b)
{
    if (!codes_argument(a, "findstr") || !codes_argument(b, "findstr"))
        return x_M;
    const bool a_is_pattern = a.size() < b.size();
    const std::vector<int> at = occurrences(codes_of(a_is_pattern ? b : a), codes_of(a_is_pattern ? a : b));
    const int n = static_cast<int>(at.size());
    if (n == 0)
        return Mm();
    Mm out(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n && k < out.size(); ++k)
        out.addr()[k] = at[k] + 1.0;
    return out;
}

// ---- character classes and case ----

Mm isletter(const Mm& s)
{
    return classify(s, "isletter", [](double c) { return upper_code(c) || lower_code(c); });
}
Mm islower(const Mm& s) { return classify(s, "islower", lower_code); }
Mm isupper(const Mm& s) { return classify(s, "isupper", upper_code); }
Mm isspace(const Mm& s) { return classify(s, "isspace", space_code); }

Mm lower(const Mm& s) { return change_case_of_argument(s, "lower", upper_code, 32); }
Mm upper(const Mm& s) { return change_case_of_argument(s, "upper", lower_code, -32); }

Mm setstr(const Mm& x)
{
    if (!codes_argument(x, "setstr"))
        return x_M;
    Mm out(x);
    out.setstr(1);
    return out;
}

// ---- joining ----

Mm str2mat_pair(const Mm& a, const Mm& b)
{
    // An empty operand counts as one blank.
    return stack_padded(isempty(a) ? Mm(32.0) : a, isempty(b) ? Mm(32.0) : b);
}

Mm str2mat(const Mm& args)
{
    const argument_list l = list_of(args);
    if (l.count <= 0)
        return empty_text();
    if (l.count == 1) {
        if (iscell(l.items[0]))
            return str2mat(l.items[0]);
        Mm text(l.items[0]);
        text.setstr(1);
        return text;
    }
    Mm result = l.items[0];
    for (int k = 1; k < l.count; ++k)
        result = str2mat_pair(result, l.items[k]);
    result.setstr(1);
    return result;
}

Mm strcat(const Mm& args)
{
    const argument_list l = list_of(args);
    if (l.count <= 0)
        return Mm();
    Mm result = l.items[0];
    for (int k = 1; k < l.count; ++k)
        result = strcat_pair(result, l.items[k]);
    return result;
}

Mm strvcat(const Mm& args)
{
    Mm result;
    strvcat_add(result, args);
    return result;
}

Mm strvcat(const Mm& a, const Mm& b)
{
    Mm result;
    strvcat_add(result, a);
    strvcat_add(result, b);
    return result;
}

// ---- justification ----

Mm strjust(const Mm& s) { return strjust(s, TM("right")); }

Mm strjust(const Mm& s, const Mm& mode)
{
    if (!codes_argument(s, "strjust") || !codes_argument(mode, "strjust"))
        return x_M;
    char letter = 'R';
    if (!isempty(mode)) {
        const double first = full_double(mode).addr()[0];
        if (lower_code(first))
            letter = static_cast<char>(first - 32);
        else if (upper_code(first))
            letter = static_cast<char>(first);
    }
    const Mm x = full_double(s);
    const std::int64_t rows = x.rows();
    const int cols = folded_cols(x);
    Mm out(x.isc(), 0, 0, x.getndims(), x.getdims(), qv_double);
    double* re = out.addr();
    double* im = out.addi();
    for (int k = 0, n = out.size(); k < n; ++k) {
        re[k] = 32;
        if (im)
            im[k] = 0;
    }
    std::vector<int> kept;
    for (int r = 0; r < rows; ++r) {
        kept_positions(x.addr(), x.addi(), rows, cols, r, kept);
        const int n = static_cast<int>(kept.size());
        // Centre: columns 1 + (u - n)/2 to (u + n)/2, rounded half away
        // from zero; all of them move by the same half.
        const int start = letter == 'C' ? static_cast<int>(round_half_away(1 + (cols - n) / 2.0)) - 1
                          : letter == 'L' ? 0
                                          : cols - n;
        for (int m = 0; m < n; ++m) {
            const std::int64_t to = r + rows * (start + m), from = r + rows * kept[m];
            re[to] = x.addr()[from];
            if (im)
                im[to] = x.addi()[from];
        }
    }
    out.setstr(s.isstr());
    return out;
}

// ---- strmatch ----

Mm strmatch(const Mm&) { return Mm(error_input("strmatch", 1)); }

Mm strmatch(const Mm& s, const Mm& list) { return strmatch(s, list, Mm(0.0)); }

Mm strmatch(const Mm& s, const Mm& list, const Mm& exact)
{
    const Mm text = iscell(s) ? mchar(s) : s;
    const Mm rows = iscell(list) ? mchar(list) : list;
    if (!codes_argument(text, "strmatch") || !codes_argument(rows, "strmatch") || !codes_argument(exact, "strmatch"))
        return x_M;
    const Mm t = deblank(text);
    bool whole = false;
    if (!isempty(exact)) {
        const Mm e = full_double(exact);
        for (int k = 0; k < e.size() && !whole; ++k)
            whole = e.addr()[k] != 0 || (e.isc() && e.addi()[k] != 0);
    }
    const int n = whole ? folded_cols(rows) : length(t);
    const Mm grid = rows.getndims() > 2 ? reshape(rows, Mm(double(rows.rows())), Mm(double(folded_cols(rows)))) : rows;
    std::vector<double> found;
    for (int k = 1; k <= grid.rows(); ++k) {
        const Mm row(grid(Mm(double(k)), c_p));
        if (compare(deblank(row), t, n).r() != 0)
            found.push_back(k);
    }
    const int count = static_cast<int>(found.size());
    if (count == 0)
        return Mm();
    Mm out(0, 0, 0, count, 1, qv_double);
    for (int k = 0; k < count && k < out.size(); ++k)
        out.addr()[k] = found[k];
    return out;
}

// ---- comparison ----

Mm strcmp(const Mm&) { return Mm(error_input("strcmp", 1)); }
Mm strcmpi(const Mm&) { return Mm(error_input("strcmpi", 1)); }
Mm strncmp(const Mm&) { return Mm(error_input("strncmp", 1)); }
Mm strncmpi(const Mm&) { return Mm(error_input("strncmpi", 1)); }

Mm strcmp(const Mm& a, const Mm& b) { return compare(a, b, INT_MAX); }
Mm strncmp(const Mm& a, const Mm& b) { return strcmp(a, b); }

Mm strncmp(const Mm& a, const Mm& b, const Mm& n)
{
    int count = 0;
    if (!count_argument(n, "strncmp", count))
        return x_M;
    return compare(a, b, count);
}

Mm strcmpi(const Mm& a, const Mm& b) { return compare(upper_for_compare(a), upper_for_compare(b), INT_MAX); }
Mm strncmpi(const Mm& a, const Mm& b) { return strcmpi(a, b); }

Mm strncmpi(const Mm& a, const Mm& b, const Mm& n)
{
    int count = 0;
    if (!count_argument(n, "strncmpi", count))
        return x_M;
    return compare(upper_for_compare(a), upper_for_compare(b), count);
}

// ---- replacement ----

Mm strrep(const Mm&) { return Mm(error_input("strrep", 1)); }
Mm strrep(const Mm&, const Mm&) { return Mm(error_input("strrep", 2)); }

Mm strrep(const Mm& s, const Mm& from, const Mm& to)
{
    // Each string of a cell on its own: read as the rows of one char
    // matrix, occurrences would be sought across the rows' columns.
    if (iscell(s))
        return map_cell(s, [&](const Mm& e) { return replace_in(e, from, to); });
    return replace_in(s, from, to);
}

// ---- tokens ----

Mm strtok(const Mm& s) { return strtok(s, default_delimiters()); }

Mm strtok(const Mm& s, const Mm& delims)
{
    Mm token, rest;
    first_token(s, delims, token, rest);
    return token;
}

Mm strtok(const Mm& s, i_o_t, Mm& token, Mm& rest) { return strtok(s, default_delimiters(), i_o, token, rest); }

Mm strtok(const Mm& s, const Mm& delims, i_o_t, Mm& token, Mm& rest)
{
    Mm t, r;
    first_token(s, delims, t, r);
    token = t;
    rest = r;
    return x_M;
}
