// Sparse constructors of a given pattern, the coordinate-list conversions,
// the queries find/nnz/nonzeros/nzmax, column orders, randperm and the
// entry points that do nothing.
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "value/report.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A size argument's first element as a count (round half up, non-positive 0).
int first_count(const Mm& x)
{
    Mm d = x.gettype() == qv_double ? full(x) : mdouble(full(x));
    return d.size() > 0 ? round_to_count(*d.addr()) : 0;
}

// rows x cols from two size arguments by the rules of zeros and eye; false
// when an argument is empty (the result is then 0x0) or refused.
bool size_pair(const Mm& m, const Mm& n, const char* f, int& rows, int& cols)
{
    rows = cols = 0;
    if (isempty(m) || isempty(n))
        return false;
    int counts[4];
    if (!parse_size_arguments(m, n, one_M, one_M, counts, f))
        return false;
    rows = counts[0];
    cols = counts[1];
    return true;
}

Mm empty_sparse() { return Mm(0, 1, 0, 0, 0, qv_double); }

// The pattern of S (its real part, in its own form) with every non-zero
// stored value (every element of a full S) replaced by draw(). A stored
// zero of a sparse S (left by spalloc or an assignment) is not part of the
// pattern: it is neither drawn for nor kept.
template <class Draw>
Mm with_pattern(const Mm& s, const char* f, Draw draw)
{
    Mm r;
    if (error_numeric(s, f))
        return x_M;
    if (!s.issparse()) {
        r.deepcopy(0, 0, s, qv_double);
        double* p = r.addr();
        for (int k = 0, n = r.getnnz(); k < n; ++k)
            p[k] = draw();
        return r;
    }
    const double* re = s.addr();
    const double* im = s.addi();
    const int stored = s.getnnz();
    int count = 0;
    for (int k = 0; k < stored; ++k)
        count += nonzero(re, im, k);
    Mm out(0, 1, count, s.getndims(), s.getdims(), qv_double);
    if (!out.issparse() || out.getnnz() != count)
        return x_M;  // "Out of memory!" went to a hook that returned
    const int* from = s.getindex();
    for (int k = 0, m = 0; k < stored; ++k)
        if (nonzero(re, im, k)) {
            out.getindex()[m] = from[k];
            out.addr()[m++] = draw();
        }
    out.setlogical(s.islogical());
    return out;
}

Mm column(const Mm& x)
{
    Mm c(x);
    c.reshape(x.size(), 1);
    return c;
}

} // namespace

// ---- queries ----

Mm find(const Mm& a)
{
    if (a.gettype() == qv_none) {
        a.warn_uninit();
        return x_M;
    }
    if (a.gettype() == qv_uint8)
        return find(mdouble(a));
    if (error_numeric(a, "find"))
        return x_M;
    const double* re = a.addr();
    const double* im = a.addi();
    const int c = a.getnnz();
    int k = 0;
    for (int e = 0; e < c; ++e)
        k += nonzero(re, im, e);
    Mm r(0, 0, 0, k, 1, qv_double);
    if (r.rows() != k)
        return x_M;  // "Out of memory!" went to a hook that returned
    const int* positions = a.issparse() ? a.getindex() : nullptr;
    for (int e = 0, m = 0; e < c; ++e)
        if (nonzero(re, im, e))
            r.addr()[m++] = (positions ? positions[e] : e) + 1;
    if (a.rows() == 1 && c > 1)
        r.reshape(1, k);
    return r;
}

Mm find(const Mm& a, i_o_t, Mm& i, Mm& j, Mm& v)
{
    Mm idx = find(a);
    Mm values = full(squeeze(Mm(a(idx))));
    if (a.rows() == 1)
        values.reshape(1, values.size());
    Mm r, c;
    ind2sub(size(a), idx, i_o, r, c);
    i = r;
    j = c;
    v = values;
    return x_M;
}

Mm find(const Mm& a, i_o_t, Mm& i, Mm& j)
{
    Mm v;
    return find(a, i_o, i, j, v);
}

Mm nnz(const Mm& a) { return Mm(double(count_nonzeros(a))); }

Mm nonzeros(const Mm& a)
{
    Mm i, j, v;
    find(a, i_o, i, j, v);
    return column(v);
}

Mm nzmax(const Mm& a) { return Mm(a.issparse() ? a.getnnz() + 1.0 : double(a.size())); }

// ---- constructors of a given pattern ----

Mm speye(const Mm& m, const Mm& n)
{
    int rows, cols;
    if (!size_pair(m, n, "speye", rows, cols))
        return empty_sparse();
    const int k = std::min(rows, cols);
    Mm r(0, 1, k, rows, cols, qv_double);
    if (!r.issparse())
        return r;  // "Out of memory!" went to a hook that returned
    for (int e = 0; e < k; ++e) {
        r.getindex()[e] = e * (rows + 1);
        r.addr()[e] = 1;
    }
    return r;
}

Mm speye(const Mm& n) { return speye(n, n); }
Mm speye() { return speye(one_M); }

Mm spzeros(const Mm& m, const Mm& n)
{
    int rows, cols;
    if (!size_pair(m, n, "spzeros", rows, cols))
        return empty_sparse();
    return Mm(0, 1, 0, rows, cols, qv_double);
}

Mm spzeros(const Mm& n) { return spzeros(n, n); }

Mm spalloc(const Mm& m, const Mm& n, const Mm& nz)
{
    const int rows = first_count(m), cols = first_count(n), count = first_count(nz);
    Mm r(0, 1, count, rows, cols, qv_double);
    if (!r.issparse())
        return r;  // "Out of memory!" went to a hook that returned
    // Explicit zeros at the first positions: invisible to find, nnz and full.
    for (int e = 0; e < r.getnnz(); ++e) {
        r.getindex()[e] = e;
        r.addr()[e] = 0;
    }
    return r;
}

Mm spalloc(const Mm&) { return Mm(error_input("spalloc", 1)); }
Mm spalloc(const Mm&, const Mm&) { return Mm(error_input("spalloc", 2)); }

Mm spones(const Mm& s) { return with_pattern(s, "spones", [] { return 1.0; }); }

Mm sprand_eng1(const Mm& s, int uniform)
{
    return uniform ? with_pattern(s, "sprand", [] { return randM(); })
                   : with_pattern(s, "sprandn", [] { return randn(); });
}

Mm sprand_eng3(const Mm& m, const Mm& n, const Mm& density, int uniform)
{
    const double mm = scalar(full(m)), nn = scalar(full(n)), d = scalar(full(density));
    int count = round_to_count((d * nn) * mm);
    Mm i = fix(1.0 + times(Mm(mm), randM(Mm(double(count)), one_M)));
    Mm j = fix(1.0 + times(Mm(nn), randM(Mm(double(count)), one_M)));
    Mm pairs(0, 0, 0, count, 2, qv_double);
    if (i.size() < count || j.size() < count || pairs.rows() != count)
        return empty_sparse();  // "Out of memory!" went to a hook that returned
    for (int k = 0; k < count; ++k) {
        pairs.addr()[k] = i.addr()[k];
        pairs.addr()[count + k] = j.addr()[k];
    }
    Mm u = unique(pairs, TM("rows"));
    if (!isempty(u)) {
        count = u.rows();
        Mm ui(0, 0, 0, count, 1, qv_double), uj(0, 0, 0, count, 1, qv_double);
        if (ui.rows() != count || uj.rows() != count)
            return empty_sparse();
        for (int k = 0; k < count; ++k) {
            ui.addr()[k] = u.addr()[k];
            uj.addr()[k] = u.addr()[count + k];
        }
        i = ui;
        j = uj;
    }
    Mm values = uniform ? randM(Mm(double(count)), one_M) : randn(Mm(double(count)), one_M);
    return sparse(i, j, values, m, n);
}

Mm sprand(const Mm& s) { return sprand_eng1(s, 1); }
Mm sprandn(const Mm& s) { return sprand_eng1(s, 0); }
Mm sprand(const Mm& m, const Mm& n) { return sprand_eng3(m, n, Mm(0.1), 1); }
Mm sprandn(const Mm& m, const Mm& n) { return sprand_eng3(m, n, Mm(0.1), 0); }
Mm sprand(const Mm& m, const Mm& n, const Mm& density) { return sprand_eng3(m, n, density, 1); }
Mm sprandn(const Mm& m, const Mm& n, const Mm& density) { return sprand_eng3(m, n, density, 0); }

// ---- coordinate lists ----

Mm spconvert(Mm a)
{
    a = full(a);
    if (isempty(a))
        return empty_sparse();
    if (error_numeric(a, "spconvert") || error_2d(a, "spconvert"))
        return x_M;
    if (a.cols() != 3 && a.cols() != 4) {
        error("spconvert: matrix '%s' must have 3 or 4 columns", matrix_display_name(a));
        return x_M;
    }
    const int n = a.rows();
    const bool complex = a.isc() || a.cols() == 4;
    Mm i(0, 0, 0, n, 1, qv_double), j(0, 0, 0, n, 1, qv_double), v(complex, 0, 0, n, 1, qv_double);
    if (i.rows() != n || j.rows() != n || v.rows() != n || (complex && !v.isc()))
        return x_M;  // "Out of memory!" went to a hook that returned
    const double* re = a.addr();
    const double* im = a.addi();
    for (int k = 0; k < n; ++k) {
        i.addr()[k] = re[k];
        j.addr()[k] = re[n + k];
        v.addr()[k] = re[2 * n + k];
        if (complex)
            v.addi()[k] = a.cols() == 4 ? re[3 * n + k] : im[2 * n + k];
    }
    return sparse(i, j, v);
}

Mm sp2coo(const Mm& s)
{
    Mm i, j, v;
    find(s, i_o, i, j, v);
    v = mdouble(v);  // the values of a byte value come back as bytes
    const int n = i.size();
    const bool complex = v.isc();
    Mm r(0, 0, 0, n + 1, complex ? 4 : 3, qv_double);
    if (r.rows() != n + 1 || i.size() != n || j.size() != n || v.size() != n)
        return x_M;  // "Out of memory!" went to a hook that returned
    double* p = r.addr();
    const int rows = n + 1;
    for (int k = 0; k < n; ++k) {
        p[k] = i.addr()[k];
        p[rows + k] = j.addr()[k];
        p[2 * rows + k] = v.addr()[k];
        if (complex)
            p[3 * rows + k] = v.addi()[k];
    }
    p[n] = s.rows();
    p[rows + n] = s.cols();
    p[2 * rows + n] = 0;
    if (complex)
        p[3 * rows + n] = 0;
    return r;
}

Mm spfun(const Mm& f, const Mm& s)
{
    Mm i, j, v;
    find(s, i_o, i, j, v);
    Mm args(0, 0, 0, 1, 1, qv_cell);
    if (args.gettype() != qv_cell)
        return x_M;  // "Out of memory!" went to a hook that returned
    args.mr(1) = v;
    Mm o1, o2, o3, o4, o5, o6;
    feval_func(f, args, i_o, o1, o2, o3, o4, o5, o6);
    return sparse(i, j, o1, Mm(double(s.rows())), Mm(double(s.cols())));
}

Mm spfun(const Mm&) { return Mm(error_input("spfun", 1)); }

// ---- orders ----

Mm colperm(Mm s)
{
    if (error_2d(s, "colperm"))
        return x_M;
    // Columns are ordered by their non-zeros: a stored zero is not one.
    s = without_stored_zeros(sparse(s));
    if (!s.issparse())
        return x_M;  // refused under a returning hook
    int* jc = getJc(s);
    if (!jc)
        return x_M;
    const int cols = s.cols();
    Mm counts(0, 0, 0, 1, cols, qv_double);
    if (counts.cols() != cols) {
        freeIrJc(nullptr, jc);
        return x_M;  // "Out of memory!" went to a hook that returned
    }
    for (int c = 0; c < cols; ++c)
        counts.addr()[c] = jc[c + 1] - jc[c];
    freeIrJc(nullptr, jc);
    Mm sorted, order;
    sort(counts, i_o, sorted, order);
    return order;
}

Mm colmmd(Mm s) { return colperm(s); }

Mm randperm(const Mm& n)
{
    Mm sorted, order;
    sort(randM(one_M, n), i_o, sorted, order);
    return order;
}

Mm sparsfun(const Mm&, const Mm&)
{
    error("sparsfun called");
    return x_M;
}

Mm sparsfun(const Mm&, const Mm&, i_o_t, Mm&, Mm&)
{
    error("sparsfun called");
    return x_M;
}

// ---- entries that accept their arguments and do nothing ----

Mm echo(const Mm&) { return x_M; }
Mm inbounds() { return x_M; }
Mm ivdep() { return x_M; }
Mm more(const Mm&) { return x_M; }
Mm realonly() { return x_M; }
Mm rmpath(const Mm&) { return x_M; }
Mm sim(const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&,
       const Mm&, const Mm&, i_o_t, Mm&, Mm&, Mm&)
{
    return x_M;
}
Mm sim(const Mm&, const Mm&, const Mm&, const Mm&, i_o_t, Mm&, Mm&, Mm&) { return x_M; }
Mm spparms(const Mm&) { return x_M; }
Mm spparms(const Mm&, const Mm&) { return x_M; }
Mm then() { return x_M; }
