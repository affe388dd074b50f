// Cells: the cell constructors and conversions (cell, cells, cellstr,
// cell_from_array, cell2struct) and the iscellstr test. Every element of a
// new cell is an empty double, as the value type constructs cell storage.
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdint>

namespace {

Mm make_cell(const Mm& a, const Mm& b, const Mm& c, const Mm& d)
{
    if (isempty(a) || isempty(b) || isempty(c) || isempty(d))
        return nop_M;
    int counts[4];
    const int nd = parse_size_arguments(a, b, c, d, counts, "cell");
    if (nd == 0)
        return x_M;
    return Mm(0, 0, 0, nd, counts, qv_cell);
}

inline Mm* cell_elements(const Mm& c) { return c.getpr((Mm*)nullptr); }

// Row k (from 0) of a full numeric value, all its columns (the trailing
// dimensions folded into them), with x's text and logical marks.
template <class T>
Mm row_of(const Mm& x, int k)
{
    const int rows = x.rows();
    const int cols = rows > 0 ? x.size() / rows : 0;
    const bool complex = x.isc();
    Mm out(complex, 0, 0, 1, cols, x.gettype() == qv_uint8 ? qv_uint8 : qv_double);
    if (out.size() != cols)
        return x_M;
    const T* re = x.getpr((T*)nullptr);
    T* o = out.getpr((T*)nullptr);
    for (int j = 0; j < cols; ++j)
        o[j] = re[k + std::int64_t{j} * rows];
    if (complex) {
        const T* im = x.getpi((T*)nullptr);
        T* oi = out.getpi((T*)nullptr);
        for (int j = 0; j < cols; ++j)
            oi[j] = im[k + std::int64_t{j} * rows];
    }
    out.setstr(x.isstr());
    out.setlogical(x.islogical());
    return out;
}

} // namespace

Mm cell(const Mm& a) { return make_cell(a, a, one_M, one_M); }

Mm cell(const Mm& a, const Mm& b) { return make_cell(a, b, one_M, one_M); }

Mm cell(const Mm& a, const Mm& b, const Mm& c) { return make_cell(a, b, c, one_M); }

Mm cell(const Mm& a, const Mm& b, const Mm& c, const Mm& d) { return make_cell(a, b, c, d); }

Mm cells(const Mm& a) { return make_cell(a, a, one_M, one_M); }

Mm cells(const Mm& a, const Mm& b) { return make_cell(a, b, one_M, one_M); }

Mm cellstr(const Mm& x)
{
    if (x.gettype() == qv_cell)
        return x;
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return x_M;
    }
    const Mm rows_of = full(x);
    const int r = rows_of.rows();
    Mm out(0, 0, 0, r, 1, qv_cell);
    if (out.size() != r)
        return x_M;
    Mm* elements = cell_elements(out);
    for (int k = 0; k < r; ++k) {
        const Mm row = rows_of.gettype() == qv_uint8 ? row_of<unsigned char>(rows_of, k) : row_of<double>(rows_of, k);
        elements[k] = deblank(row);
    }
    return out;
}

Mm cell_from_array(int n, const Mm** p)
{
    if (n < 0)
        n = 0;
    Mm out(0, 0, 0, 1, n, qv_cell);
    if (out.size() != n)
        return x_M;
    Mm* elements = cell_elements(out);
    for (int k = 0; k < n; ++k) {
        if (!p || !p[k]) {
            error("cell_from_array: value %d is missing", k + 1);
            return x_M;
        }
        if (p[k]->gettype() == qv_none)
            p[k]->warn_uninit();  // the element stays empty should the hook return
        else
            elements[k] = *p[k];
    }
    return out;
}

Mm cell2struct(const Mm&)
{
    error_input("cell2struct", 1);
    return Mm(0.0);
}

Mm cell2struct(const Mm&, const Mm&)
{
    error_input("cell2struct", 2);
    return Mm(0.0);
}

Mm cell2struct(const Mm& c, const Mm& fields, const Mm& dim)
{
    const int d = saturate_to_int(dim.r());
    if (d < 1 || d > 4) {
        c.size(d);  // reports the dimension that does not exist
        return x_M;
    }
    const int* cd = c.getdims();
    const int extent = cd[d - 1];
    if (extent != 0 && fields.size() != extent) {
        error("%s: length(fields)!=size(x,dim)", "cell2struct");
        return x_M;
    }
    if (!iscell(c)) {
        error("%s: first argument is not a cell", "cell2struct");
        return x_M;
    }
    if (!iscell(fields)) {
        error("%s: second argument is not a cell", "cell2struct");
        return x_M;
    }

    // The size of c without dimension d, and a trailing 1.
    int sd[4];
    int nd = 0;
    for (int m = 0; m < c.getndims() && m < 4; ++m)
        if (m != d - 1)
            sd[nd++] = cd[m];
    sd[nd++] = 1;
    Mm out(0, 0, 0, nd, sd, qv_cell);

    const int nf = fields.size();
    for (int i = 0; i < nf; ++i) {
        char name[128];
        Mstr_row(cell_elements(fields)[i], name, sizeof name);
        if (out.findfield(name, 0) >= 0)
            error("%s: duplicate field '%s'", "cell2struct", name);
        out.addfield(name, 1);
    }
    if (nf == 0)
        out.extend_nfields(1);  // a struct, even without fields

    // Element k of the result takes the run of c along dimension d that
    // starts at its position: with c's elements ordered so that dimension
    // d comes first, field i of element k is entry k * nf + i.
    std::int64_t below = 1, above = 1;
    for (int m = 0; m < d - 1; ++m)
        below *= cd[m];
    for (int m = d; m < 4; ++m)
        above *= cd[m];
    const Mm* from = cell_elements(c);
    Mm* elements = cell_elements(out);
    const std::int64_t count = out.size();
    for (std::int64_t k = 0; k < count; ++k) {
        Mm list(0, 0, 0, nf, 1, qv_cell);
        if (list.size() != nf)
            return x_M;
        Mm* values = cell_elements(list);
        const std::int64_t ib = k % below, ia = k / below;
        for (int i = 0; i < nf && i < extent && ia < above; ++i)
            values[i] = from[ib + below * (i + std::int64_t{extent} * ia)];
        elements[k] = list;
    }
    return out;
}

int iscellstr(const Mm& x)
{
    if (!iscell(x))
        return 0;
    const Mm* elements = cell_elements(x);
    for (int k = 0, n = x.size(); k < n; ++k)
        if (!isstr(elements[k]))
            return 0;
    return 1;
}
