// Small value functions and statement helpers: equality for switch and
// isequal, the for-loop helpers, deal, complex construction, spaced
// vectors, the peaks surface, the state-space dimension check and a few
// constants and environment queries.
#include "array/constructors.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// ---- equality ----

bool same_fields(const Mm& a, const Mm& b)
{
    if (a.getnfields() != b.getnfields())
        return false;
    for (int k = 0; k < a.getnfields(); ++k)
        if (std::strcmp(a.getfields()[k], b.getfields()[k]) != 0)
            return false;
    return true;
}

// Complex in value: an imaginary part that is all zero does not count.
// A value with a non-zero imaginary part; a uint8 one is read as bytes.
bool complex_valued(const Mm& x)
{
    if (!x.isc())
        return false;
    if (x.gettype() == qv_uint8) {
        const unsigned char* im = x.getpi((unsigned char*)nullptr);
        return std::any_of(im, im + x.size(), [](unsigned char v) { return v != 0; });
    }
    return iscomplex(x.addi(), x.getnnz());
}

inline bool nonzero(const double* re, const double* im, int k) { return re[k] != 0 || (im && im[k] != 0); }

// The non-zero entries of a sparse value in storage order: a stored zero
// (left by spalloc or an assignment) is no element of the pattern.
struct nonzero_walk {
    const double *re, *im;
    const int* at;
    int n, k = 0;
    nonzero_walk(const Mm& s, bool complex)
        : re(s.addr()), im(complex ? s.addi() : nullptr), at(s.getindex()), n(s.getnnz())
    {
        skip();
    }
    void skip()
    {
        while (k < n && !nonzero(re, im, k))
            ++k;
    }
    bool done() const { return k >= n; }
    void next()
    {
        ++k;
        skip();
    }
};

// The non-zeros of sparse s against those of full f (NaN counts as
// non-zero), as if f had been made sparse.
bool equal_sparse_full(const Mm& s, const Mm& f, bool complex)
{
    const double *fr = f.addr(), *fi = complex ? f.addi() : nullptr;
    nonzero_walk w(s, complex);
    for (int k = 0, n = f.size(); k < n; ++k) {
        if (!nonzero(fr, fi, k))
            continue;
        if (w.done() || w.at[w.k] != k)
            return false;
        if (w.re[w.k] != fr[k] || (complex && w.im[w.k] != fi[k]))
            return false;
        w.next();
    }
    return w.done();
}

// Two sparse values: the same non-zeros at the same positions.
bool equal_sparse(const Mm& a, const Mm& b, bool complex)
{
    nonzero_walk u(a, complex), v(b, complex);
    for (; !u.done() && !v.done(); u.next(), v.next())
        if (u.at[u.k] != v.at[v.k] || u.re[u.k] != v.re[v.k] || (complex && u.im[u.k] != v.im[v.k]))
            return false;
    return u.done() && v.done();
}

bool equal_numbers(const Mm& a, const Mm& b)
{
    const bool complex = complex_valued(a);
    if (complex != complex_valued(b))
        return false;
    if (a.gettype() == qv_uint8) {
        const unsigned char *ar = a.getpr((unsigned char*)nullptr), *br = b.getpr((unsigned char*)nullptr);
        const unsigned char *ai = a.getpi((unsigned char*)nullptr), *bi = b.getpi((unsigned char*)nullptr);
        for (int k = 0, n = a.size(); k < n; ++k) {
            if (ar[k] != br[k])
                return false;
            if (complex && (ai ? ai[k] : 0) != (bi ? bi[k] : 0))
                return false;
        }
        return true;
    }
    if (a.issparse() && b.issparse())
        return equal_sparse(a, b, complex);
    if (a.issparse() || b.issparse())
        return a.issparse() ? equal_sparse_full(a, b, complex) : equal_sparse_full(b, a, complex);
    const double *ar = a.addr(), *br = b.addr();
    const double *ai = complex ? a.addi() : nullptr, *bi = complex ? b.addi() : nullptr;
    const int n = a.size();
    for (int k = 0; k < n; ++k)
        if (ar[k] != br[k] || (complex && ai[k] != bi[k]))
            return false;
    return true;
}

bool equal_values(const Mm& a, const Mm& b)
{
    if (a.gettype() == qv_none || b.gettype() == qv_none) {
        (a.gettype() == qv_none ? a : b).warn_uninit();
        return false;
    }
    if (a.gettype() != b.gettype() || !same_fields(a, b) || a.getndims() != b.getndims() || !is_same_dims(a, b))
        return false;
    if (a.gettype() != qv_cell)
        return equal_numbers(a, b);
    const Mm *ea = a.getpr((Mm*)nullptr), *eb = b.getpr((Mm*)nullptr);
    for (int k = 0, n = a.size(); k < n; ++k)
        if (!isequal(ea[k], eb[k]))
            return false;
    return true;
}

// ---- for loops ----

// The column count of a for loop: every column of the value seen in two
// dimensions, its pages included.
int column_count(const Mm& x)
{
    const int* d = x.getdims();
    return int(std::int64_t(d[1]) * d[2] * d[3]);
}

template <class T>
void copy_column(const T* from, T* to, int n)
{
    for (int j = 0; j < n; ++j)
        to[j] = from[j];
}

// ---- outputs of several values ----

Mm deal_into(const Mm& x, Mm* const* outs, int n)
{
    std::vector<Mm> got;
    got.reserve(std::size_t(n));
    for (int k = 0; k < n; ++k) {
        const Mm at(double(k + 1));
        got.push_back(Mm(x.br(at)));
    }
    // assigned last: an output may be x itself
    for (int k = 0; k < n; ++k)
        *outs[k] = got[k];
    return x_M;
}

bool plain_real(const Mm& x) { return x.gettype() == qv_double && !x.isc() && !x.issparse(); }

// ---- the peaks surface ----

Mm peaks_surface(const Mm& x, const Mm& y)
{
    const Mm two(2.0), x2 = power(x, two), y2 = power(y, two);
    const Mm x3 = times(x2, x), y5 = times(y, times(y2, y2));
    const Mm bump = times(times(Mm(3.0), power(minus(one_M, x), two)),
                          exp(minus(uminus(x2), power(plus(y, one_M), two))));
    const Mm ridge = times(times(Mm(10.0), minus(minus(rdivide(x, Mm(5.0)), x3), y5)), exp(minus(uminus(x2), y2)));
    const Mm dip = rdivide(exp(minus(uminus(power(plus(x, one_M), two)), y2)), Mm(3.0));
    return minus(minus(bump, ridge), dip);
}

// The grid of peaks(n): n points from -3 to 3 for a scalar n, the vector's
// own points otherwise.
void peaks_grid(const Mm& n, Mm& x, Mm& y)
{
    if (n.size() == 1 && n.gettype() != qv_cell) {
        const Mm v = colon(-3.0, 6.0 / (number_at(n, 0) - 1), 3.0);
        meshgrid(v, i_o, x, y);
    } else {
        meshgrid(n, n, i_o, x, y);
    }
}

Mm peaks_outputs(const Mm& gx, const Mm& gy, Mm& x, Mm& y, Mm& z)
{
    const Mm surface = peaks_surface(gx, gy);
    const Mm keep_x = gx, keep_y = gy;
    x = keep_x;
    y = keep_y;
    z = surface;
    return x_M;
}

// ---- abcdchk ----

const char* ab_message(const Mm& a, const Mm& b)
{
    if (a.rows() != a.cols())
        return "abcdchk: a is not square";
    if (a.rows() != b.rows())
        return "abcdchk: a and b have different number of rows";
    return "";
}

const char* abcd_message(const Mm& a, const Mm& b, const Mm& c, const Mm& d)
{
    if (d.cols() > 0) {
        const char* m = ab_message(a, b);
        if (*m)
            return m;
    }
    if (a.cols() != c.cols() && d.rows() > 0)
        return "abcdchk: a and c have different number of columns";
    if (d.rows() != c.rows() && b.cols() > 0)
        return "abcdchk: c and d have different number of rows";
    if (d.cols() != b.cols() && c.rows() > 0)
        return "abcdchk: b and d have different number of columns";
    return "";
}

} // namespace

// ---- equality ----

int isequal(const Mm& a, const Mm& b)
{
    // A cell against anything else is a membership test: a switch case
    // given as a cell matches any of its elements.
    const bool a_cell = iscell(a), b_cell = iscell(b);
    if (a_cell != b_cell) {
        const Mm& c = a_cell ? a : b;
        const Mm& other = a_cell ? b : a;
        const Mm* e = c.getpr((Mm*)nullptr);
        for (int k = 0, n = c.size(); k < n; ++k)
            if (isequal(other, e[k]))
                return 1;
        return 0;
    }
    return equal_values(a, b) ? 1 : 0;
}

int isequal(const Mm& a, const Mm& b, const Mm& rest)
{
    if (!isequal(a, b))
        return 0;
    if (!iscell(rest))
        return isequal(a, rest);
    const Mm* e = rest.getpr((Mm*)nullptr);
    for (int k = 0, n = rest.size(); k < n; ++k)
        if (!isequal(a, e[k]))
            return 0;
    return 1;
}

int isequal(const Mm& a)
{
    error_input("isequal", 1);
    return 1;
}

// ---- for loops ----

int forsize(Mm& range) { return column_count(range); }
int columns(const Mm& x) { return column_count(x); }

void forelem(Mm& var, Mm& range, int k)
{
    if (range.gettype() == qv_none) {
        range.warn_uninit();
        return;
    }
    if (range.issparse())
        range = full(range);
    if (k < 0 || k >= column_count(range)) {
        error("forelem: iteration %d is outside the range", k + 1);
        return;
    }
    // Held here, so the loop variable can be given fresh storage even when
    // it is the range itself.
    const Mm source = range;
    const int rows = source.rows();
    const qv_matrix_types type = static_cast<qv_matrix_types>(source.gettype());
    const int complex = source.isc();
    // Fresh storage at the start, and whenever the loop body has shared the
    // variable or changed its kind or shape.
    const bool fresh = k == 0 || var.dirty() || var.gettype() != type || var.issparse() || var.isc() != complex ||
                       var.getndims() != 2 || var.rows() != rows || var.cols() != 1 || var.isstruct() ||
                       source.isstruct();
    if (fresh) {
        Mm column(complex, 0, 0, rows, 1, type);
        if (column.gettype() != type || column.rows() != rows || column.isc() != complex)
            return;  // "Out of memory!" went to a hook that returned: var as it was
        for (int f = 0; f < source.getnfields(); ++f)
            column.addfield(source.getfields()[f], 1);
        column.setclassid(source.getclassid());
        var = column;
    }
    var.setstr(source.isstr());
    const std::int64_t at = std::int64_t(k) * rows;
    switch (type) {
    case qv_double:
        copy_column(source.addr() + at, var.addr(), rows);
        if (complex)
            copy_column(source.addi() + at, var.addi(), rows);
        break;
    case qv_uint8: {
        using byte = unsigned char;
        copy_column(source.getpr((byte*)nullptr) + at, var.getpr((byte*)nullptr), rows);
        if (complex)
            copy_column(source.getpi((byte*)nullptr) + at, var.getpi((byte*)nullptr), rows);
        break;
    }
    case qv_cell: {
        const Mm* from = source.getpr((Mm*)nullptr) + at;
        Mm* to = var.getpr((Mm*)nullptr);
        for (int j = 0; j < rows; ++j)
            to[j] = from[j];
        break;
    }
    default:
        break;
    }
}

// ---- values ----

Mm deal(const Mm& x) { return Mm(x.br(one_M)); }

Mm deal(const Mm& x, i_o_t, Mm& o1)
{
    Mm* outs[] = {&o1};
    return deal_into(x, outs, 1);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2)
{
    Mm* outs[] = {&o1, &o2};
    return deal_into(x, outs, 2);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3)
{
    Mm* outs[] = {&o1, &o2, &o3};
    return deal_into(x, outs, 3);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4)
{
    Mm* outs[] = {&o1, &o2, &o3, &o4};
    return deal_into(x, outs, 4);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5)
{
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5};
    return deal_into(x, outs, 5);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6};
    return deal_into(x, outs, 6);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7)
{
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6, &o7};
    return deal_into(x, outs, 7);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7, Mm& o8)
{
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6, &o7, &o8};
    return deal_into(x, outs, 8);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7, Mm& o8, Mm& o9)
{
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6, &o7, &o8, &o9};
    return deal_into(x, outs, 9);
}
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7, Mm& o8, Mm& o9, Mm& o10)
{
    Mm* outs[] = {&o1, &o2, &o3, &o4, &o5, &o6, &o7, &o8, &o9, &o10};
    return deal_into(x, outs, 10);
}

Mm deepcopy(const Mm& x)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return x_M;
    }
    Mm r;
    r.deepcopy(x, qv_none);
    return r;
}

// Real and imaginary parts are placed as given: forming x + i*y would turn
// an infinite y into a NaN real part (i*Inf is NaN + Inf*i).
Mm mcomplex(const Mm& y)
{
    if (!plain_real(y))
        return times(::i, y);
    Mm r(1, 0, 0, y.getndims(), y.getdims(), qv_double);
    for (int k = 0, n = r.getnnz(); k < n; ++k) {
        r.addr()[k] = 0;
        r.addi()[k] = y.addr()[k];
    }
    return r;
}

Mm mcomplex(const Mm& x, const Mm& y)
{
    const int nx = x.size(), ny = y.size();
    if (!plain_real(x) || !plain_real(y) || (nx != 1 && ny != 1 && !is_same_dims(x, y)))
        return plus(x, times(::i, y));
    const Mm& shape = nx == 1 ? y : x;
    Mm r(1, 0, 0, shape.getndims(), shape.getdims(), qv_double);
    const std::ptrdiff_t sx = nx == 1 ? 0 : 1, sy = ny == 1 ? 0 : 1;
    for (std::ptrdiff_t k = 0, n = r.getnnz(); k < n; ++k) {
        r.addr()[k] = x.addr()[k * sx];
        r.addi()[k] = y.addr()[k * sy];
    }
    return r;
}

Mm M_from_double_array(double* p, int rows, int cols)
{
    if (rows < 0)
        rows = 0;
    if (cols < 0)
        cols = 0;
    Mm r(0, 0, 0, rows, cols, qv_double);
    if (r.getnnz() > 0 && !p) {
        error("M_from_double_array: no data for a %dx%d matrix", rows, cols);
        return x_M;
    }
    for (int k = 0, n = r.getnnz(); k < n; ++k)
        r.addr()[k] = p[k];
    return r;
}

Mm linspace(const Mm& a, const Mm& b) { return linspace(a, b, Mm(100.0)); }

namespace {

// Point k of the m steps from a to b: a + k (b - a) / m, formed without an
// overflow the points themselves do not have (a - b past the range, or k
// times it).
double point_between(double a, double b, double k, double m)
{
    const double d = b - a;
    if (std::isfinite(d)) {
        const double t = k * d;
        return std::isfinite(t) ? a + t / m : a + k * (d / m);
    }
    return a / m * (m - k) + b / m * k;
}

bool scalar_double(const Mm& x) { return x.gettype() == qv_double && !x.issparse() && x.size() == 1; }

} // namespace

// A fractional count asks for its whole part of points, still from a to b
// (2.5 gives the two ends). The first point is a and the last b.
Mm linspace(const Mm& a, const Mm& b, const Mm& n)
{
    const double m = std::floor(n.r()) - 1;
    if (!(m >= 1))
        return b;
    if (!scalar_double(a) || !scalar_double(b) || m >= INT_MAX)
        return plus(a, rdivide(times(colon(0.0, 1.0, m), minus(b, a)), Mm(m)));
    const bool complex = a.isc() || b.isc();
    const int count = static_cast<int>(m) + 1;
    Mm r(complex, 0, 0, 1, count, qv_double);
    if (r.size() != count)
        return x_M;  // "Out of memory!" went to a hook that returned
    auto fill = [&](double* out, double from, double to) {
        out[0] = from;
        for (int k = 1; k < count - 1; ++k)
            out[k] = point_between(from, to, k, m);
        out[count - 1] = to;
    };
    fill(r.addr(), *a.addr(), *b.addr());
    if (complex)
        fill(r.addi(), a.isc() ? *a.addi() : 0.0, b.isc() ? *b.addi() : 0.0);
    return r;
}

Mm logspace(const Mm& a, const Mm& b) { return logspace(a, b, Mm(50.0)); }

Mm logspace(const Mm& a, const Mm& b, const Mm& n)
{
    const double count = n.r();
    // An upper end of pi asks for points up to pi itself.
    Mm top = b;
    if (plain_real(b) && !isempty(b)) {
        bool all_pi = true;
        for (int k = 0, m = b.size(); k < m && all_pi; ++k)
            all_pi = b.addr()[k] == ::pi.addr()[0];
        if (all_pi)
            top = log10(::pi);
    }
    const Mm ten(10.0);
    if (count >= 2)
        return power(ten, linspace(a, top, n));
    return power(ten, top);
}

Mm bitmax() { return Mm(0x1p53); }

Mm computer() { return TM("PCWIN"); }

Mm computer(i_o_t, Mm& c, Mm& maxsize)
{
    c = TM("PCWIN");
    maxsize = Mm(268435439.0);
    return x_M;
}

Mm getenv(const Mm& name)
{
    std::vector<char> key(std::size_t(Mstr_size(name)) + 1, '\0');
    Mstr(name, key.data(), int(key.size()));
    const char* value = std::getenv(key.data());
    if (!value)
        return TM("");
    // the value as a 2048-byte buffer holds it, terminator included
    char buffer[2048];
    std::strncpy(buffer, value, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = '\0';
    return TM(buffer);
}

Mm inputname(const Mm& x) { return TM(""); }

// ---- peaks ----

Mm peaks(const Mm& x, const Mm& y) { return peaks_surface(x, y); }

Mm peaks(const Mm& x, const Mm& y, i_o_t, Mm& gx, Mm& gy, Mm& z) { return peaks_outputs(x, y, gx, gy, z); }

Mm peaks()
{
    Mm x, y;
    meshgrid(colon(-3.0, 0.125, 3.0), i_o, x, y);
    return peaks_surface(x, y);
}

Mm peaks(i_o_t, Mm& gx, Mm& gy, Mm& z)
{
    Mm x, y;
    meshgrid(colon(-3.0, 0.125, 3.0), i_o, x, y);
    return peaks_outputs(x, y, gx, gy, z);
}

Mm peaks(const Mm& n)
{
    Mm x, y;
    peaks_grid(n, x, y);
    return peaks_surface(x, y);
}

Mm peaks(const Mm& n, i_o_t, Mm& gx, Mm& gy, Mm& z)
{
    Mm x, y;
    peaks_grid(n, x, y);
    return peaks_outputs(x, y, gx, gy, z);
}

// ---- abcdchk: the message is returned, never raised ----

Mm abcdchk(const Mm& a)
{
    error_input("abcdchk", 1);
    return Mm(0.0);
}

Mm abcdchk(const Mm& a, const Mm& b, const Mm& c)
{
    error_input("abcdchk", 3);
    return Mm(0.0);
}

Mm abcdchk(const Mm& a, const Mm& b) { return TM(ab_message(a, b)); }

Mm abcdchk(const Mm& a, const Mm& b, i_o_t, Mm& msg, Mm& a2, Mm& b2)
{
    const Mm text = TM(ab_message(a, b)), ka = a, kb = b;
    msg = text;
    a2 = ka;
    b2 = kb;
    return x_M;
}

Mm abcdchk(const Mm& a, const Mm& b, const Mm& c, const Mm& d) { return TM(abcd_message(a, b, c, d)); }

Mm abcdchk(const Mm& a, const Mm& b, const Mm& c, const Mm& d, i_o_t, Mm& msg, Mm& a2, Mm& b2, Mm& c2, Mm& d2)
{
    const Mm text = TM(abcd_message(a, b, c, d)), ka = a, kb = b, kc = c, kd = d;
    msg = text;
    a2 = ka;
    b2 = kb;
    c2 = kc;
    d2 = kd;
    return x_M;
}
