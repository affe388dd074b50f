// Sparse storage views and conversions: the full form of a sparse value and
// the compressed-column arrays (Ir, Jc) that sparse kernels and plug-ins read.
#include "engine/scalar_real.hpp"
#include "value/report.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

int* heap_ints(std::size_t n)
{
    int* p = static_cast<int*>(std::malloc(n * sizeof(int)));
    if (!p)
        error("Out of memory!");
    return p;
}

} // namespace

Mm full(const Mm& s)
{
    if (!s.issparse())
        return s;
    const std::int64_t count = std::int64_t{s.rows()} * s.cols();
    if (refuse_full_form(count))
        return x_M;
    const bool complex = s.isc();
    Mm out(complex, 0, 0, s.getndims(), s.getdims(), qv_double);
    if (out.size() != count)
        return x_M;  // allocation failed under a returning error hook
    double* re = out.addr();
    double* im = out.addi();
    std::memset(re, 0, sizeof(double) * count);
    if (im)
        std::memset(im, 0, sizeof(double) * count);
    const double* sre = s.addr();
    const double* sim = s.addi();
    const int* index = s.getindex();
    for (int k = 0, n = s.getnnz(); k < n; ++k) {
        const int at = index[k];
        if (at < 0 || at >= count)
            continue;  // never write outside the value, whatever the index list holds
        re[at] = sre[k];
        if (im)
            im[at] = sim ? sim[k] : 0;
    }
    out.setlogical(s.islogical());
    return out;
}

int* build_jc(int cols, int numel, int nnz, const int* index, int bounds[4])
{
    if (cols < 0)
        cols = 0;
    int* jc = heap_ints(std::size_t(cols) + 2);
    if (!jc)
        return nullptr;
    bounds[0] = INT_MAX;
    bounds[1] = -1;
    bounds[2] = INT_MAX;
    bounds[3] = -1;
    jc[cols + 1] = -1;
    const int rows = cols > 0 ? numel / cols : 0;
    if (cols == 0 || nnz <= 0 || rows <= 0) {
        for (int c = 0; c <= cols; ++c)
            jc[c] = 0;
        return jc;
    }
    for (int c = 0; c <= cols; ++c)
        jc[c] = -1;
    jc[cols] = nnz;
    bounds[0] = bounds[1] = index[0] % rows;
    bounds[2] = bounds[3] = index[0] / rows;
    // Walking backwards leaves the first entry of each column in jc.
    for (int e = nnz - 1; e >= 0; --e) {
        const int c = index[e] / rows;
        const int r = index[e] - c * rows;
        if (r < bounds[0])
            bounds[0] = r;
        else if (r > bounds[1])
            bounds[1] = r;
        if (c < bounds[2])
            bounds[2] = c;
        else if (c > bounds[3])
            bounds[3] = c;
        jc[c] = e;
    }
    for (int c = cols - 1; c >= 0; --c)
        if (jc[c] == -1)
            jc[c] = jc[c + 1];
    return jc;
}

int* getJc(const Mm& s)
{
    if (error_sparse(s, "getJc"))
        return nullptr;
    int bounds[4];
    return build_jc(s.cols(), s.rows() * s.cols(), s.getnnz(), s.getindex(), bounds);
}

int* getIr(const Mm& s)
{
    if (error_sparse(s, "getIr"))
        return nullptr;
    if (s.cols() <= 0) {
        int* ir = heap_ints(1);
        if (ir)
            ir[0] = 0;
        return ir;
    }
    const int rows = s.rows();
    const int n = s.getnnz();
    int* ir = heap_ints(std::size_t(n) + 1);
    if (!ir)
        return nullptr;
    const int* index = s.getindex();
    for (int k = 0; k < n; ++k)
        ir[k] = rows > 0 ? index[k] % rows : 0;
    ir[n] = 0;
    return ir;
}

bool refuse_full_form(std::int64_t count)
{
    if (count < full_form_limit)
        return false;
    error("full: matrix too large");
    return true;
}

void report_sparse_too_large(double rows, double cols)
{
    error("sparse: %.0fx%.0f has more than 2147483647 elements, the most a sparse value holds", rows, cols);
}

void freeIrJc(int* ir, int* jc)
{
    std::free(ir);
    std::free(jc);
}

// ---- conversions ----

namespace {

// Element storage read as doubles: uint8 values by their values; cells and
// structs have no numbers to store.
bool numeric_source(const Mm& a, const char* f, Mm& out)
{
    if (error_numeric(a, f))
        return false;
    if (a.gettype() == qv_uint8) {
        out.deepcopy(a.isc(), a.issparse(), a, qv_double);
        return out.gettype() == qv_double && out.size() == a.size();  // false: refused, reported
    }
    out = a;
    return true;
}

// A sparse value whose stored entries may exceed rows x cols until resparse
// merges them.
Mm working_sparse(int complex, int entries, int rows, int cols)
{
    Mm w(complex, 1, entries, entries, 1, qv_double);
    if (!w.issparse())
        return w;  // "Out of memory!" went to a hook that returned
    int* d = w.getdims();
    d[0] = rows;
    d[1] = cols;
    d[2] = d[3] = rows > 0 ? 1 : 0;
    return w;
}

// A size argument's first element as a count; beyond is set when the count
// is past what a value can hold (it would be held at INT_MAX otherwise).
int count_of(const Mm& x, bool& beyond, double& asked)
{
    Mm d = x.gettype() == qv_double ? full(x) : mdouble(full(x));
    const double v = d.size() > 0 ? std::round(*d.addr()) : 0;
    asked = v;
    beyond = beyond || v > INT_MAX;
    return d.size() > 0 ? round_to_count(*d.addr()) : 0;
}

// i, j or s made an N x 1 full double column: by reshaping, or by repeating
// a single element.
bool as_column(const Mm& x, int n, Mm& out)
{
    Mm f;
    if (!numeric_source(full(x), "sparse", f))
        return false;
    if (f.size() == n) {
        out = f;
        out.reshape(n, 1);
        return true;
    }
    if (f.size() != 1)
        return false;
    Mm rep(f.isc(), 0, 0, n, 1, qv_double);
    if (rep.rows() != n)
        return false;  // "Out of memory!" went to a hook that returned
    for (int k = 0; k < n; ++k) {
        rep.addr()[k] = *f.addr();
        if (f.isc())
            rep.addi()[k] = *f.addi();
    }
    out = rep;
    return true;
}

} // namespace

int count_nonzeros(const Mm& a)
{
    Mm x;
    if (!numeric_source(a, "nnz", x))
        return 0;
    const double* re = x.addr();
    const double* im = x.addi();
    int n = 0;
    for (int k = 0, m = x.getnnz(); k < m; ++k)
        n += nonzero(re, im, k);
    return n;
}

Mm sparse(const Mm& a)
{
    if (a.issparse())
        return a;
    Mm x;
    if (!numeric_source(a, "sparse", x))
        return x_M;
    const int count = count_nonzeros(x);
    Mm out(x.isc(), 1, count, x.getndims(), x.getdims(), qv_double);
    if (out.getnnz() != count)
        return x_M;  // refused (size or memory) under a returning error hook
    const double* re = x.addr();
    const double* im = x.addi();
    int m = 0;
    for (int k = 0, n = x.getnnz(); k < n; ++k)
        if (nonzero(re, im, k)) {
            out.addr()[m] = re[k];
            if (im)
                out.addi()[m] = im[k];
            out.getindex()[m] = k;
            ++m;
        }
    out.setlogical(x.islogical());
    return out;
}

Mm sparse(const Mm& m, const Mm& n) { return sparse(nop_M, nop_M, nop_M, m, n); }

Mm sparse(const Mm& i, const Mm& j, const Mm& s)
{
    return sparse(i, j, s, max(max(i)), max(max(j)), Mm(double(s.size())));
}

Mm sparse(const Mm&, const Mm&, const Mm&, const Mm&) { return Mm(error_input("sparse", 4)); }

Mm sparse(const Mm& i, const Mm& j, const Mm& s, const Mm& m, const Mm& n)
{
    return sparse(i, j, s, m, n, Mm(double(s.size())));
}

Mm sparse(Mm i, Mm j, Mm s, Mm m, Mm n, Mm)
{
    const int ni = i.size(), nj = j.size(), ns = s.size();
    const int count = ns != 1 ? ns : nj != 1 ? nj : ni != 1 ? ni : 1;
    Mm ci, cj, cs;
    if (!as_column(i, count, ci) || !as_column(j, count, cj) || !as_column(s, count, cs)) {
        error("sparse: i,j and v must be same size");
        return x_M;
    }
    if (isempty(m) || isempty(n))
        return Mm(0, 1, 0, 1, 1, qv_double);
    bool beyond = false;
    double asked_rows, asked_cols;
    const int rows = count_of(m, beyond, asked_rows), cols = count_of(n, beyond, asked_cols);
    if (beyond || std::int64_t{rows} * cols > INT_MAX) {
        report_sparse_too_large(asked_rows, asked_cols);
        return x_M;
    }
    const bool complex = cs.isc();
    Mm w = working_sparse(complex, count, rows, cols);
    if (!w.issparse() || w.getnnz() < count)
        return x_M;  // "Out of memory!" went to a hook that returned
    const double* vi = ci.addr();
    const double* vj = cj.addr();
    for (int k = 0; k < count; ++k) {
        const int r = round_to_count(vi[k]), c = round_to_count(vj[k]);
        const char* fault = r < 1 ? "sparse: non-positive row index encountered"
                            : r > rows ? "sparse: out of bounds row index encountered"
                            : c < 1    ? "sparse: non-positive column index encountered"
                            : c > cols ? "sparse: out of bounds column index encountered"
                                       : nullptr;
        if (fault) {
            // Should the hook return, nothing is stored at a bad position.
            error("%s", fault);
            return x_M;
        }
        w.getindex()[k] = (c - 1) * rows + (r - 1);
        w.addr()[k] = cs.addr()[k];
        if (complex)
            w.addi()[k] = cs.addi()[k];
    }
    w.sort();
    w.resparse();
    // Entries of one position that cancel leave their zero sum stored; a
    // second pass, now that every position is single, drops it.
    const double* re = w.addr();
    const double* im = w.addi();
    for (int k = 0, n = w.getnnz(); k < n; ++k)
        if (!nonzero(re, im, k)) {
            w.resparse();
            break;
        }
    return w;
}

Mm sparse_of(const Mm& a, int keep_all)
{
    if (a.issparse())
        return a;
    if (!keep_all)
        return sparse(a);
    Mm x;
    if (!numeric_source(a, "sparse", x))
        return x_M;
    Mm out;
    out.deepcopy(x.isc(), 1, x, qv_double);
    return out;
}

Mm without_stored_zeros(const Mm& s)
{
    if (!s.issparse())
        return s;
    const int kept = count_nonzeros(s);
    if (kept == s.getnnz())
        return s;
    Mm out(s);
    out.resparse();  // into a block of its own: s keeps its entries
    if (out.getnnz() != kept)
        return x_M;  // "Out of memory!" went to a hook that returned
    return out;
}

int match_sparsity(Mm& a, Mm& b)
{
    if (a.issparse() == b.issparse())
        return 0;
    if (a.issparse())
        b = sparse(b);
    else
        a = sparse(a);
    return 1;
}

void setIrJc(Mm& s, int* ir, int* jc)
{
    if (error_sparse(s, "IrJc"))
        return;
    const int cols = s.cols();
    if (cols <= 0)
        return;
    const int rows = s.rows();
    int* index = s.getindex();
    for (int c = 0; c < cols; ++c)
        for (int k = jc[c]; k < jc[c + 1]; ++k)
            index[k] = ir[k] + c * rows;
}
