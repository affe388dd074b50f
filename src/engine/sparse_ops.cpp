// The engine's road for operations with a sparse operand: work in
// proportion to the stored entries wherever the operation allows it, and
// through full values only where zeros would turn into something else.
#include "engine/kernels.hpp"
#include "value/report.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstring>
#include <vector>

namespace {

enum class sparse_class { preserving, union_of, intersection, full_values };

sparse_class class_of(op_t op)
{
    switch (op) {
    case op_abs: case op_angle: case op_asin: case op_asinh: case op_atan: case op_atanh: case op_ceil:
    case op_conj: case op_erf: case op_erfinv: case op_fix: case op_floor: case op_imag: case op_isinf:
    case op_isnan: case op_round: case op_sign: case op_sin: case op_sinh: case op_sqrt: case op_tan:
    case op_tanh: case op_uminus: case op_uplus:
        return sparse_class::preserving;
    case op_atan2: case op_bitor: case op_bitxor: case op_gammainc: case op_gt: case op_lt: case op_max_2:
    case op_min_2: case op_minus: case op_or: case op_plus: case op_xor:
        return sparse_class::union_of;
    case op_and: case op_bitand: case op_mtimes: case op_times:
        return sparse_class::intersection;
    default:
        return sparse_class::full_values;
    }
}

// The engine's result, a column of values, as a sparse value with the
// given positions and extents, zeros dropped.
Mm rebuild(int complex, const Mm& values, const int* positions, const int dims[4])
{
    Mm out;
    out.deepcopy(complex, 1, values, qv_double);
    if (!out.issparse() || out.getnnz() != values.size())
        return x_M;  // "Out of memory!" went to a hook that returned
    if (out.getnnz() > 0)
        std::memcpy(out.getindex(), positions, sizeof(int) * out.getnnz());
    std::memcpy(out.getdims(), dims, sizeof(int) * 4);
    out.resparse();
    return out;
}

// The operation on w's stored values, the other operand as a scalar partner
// (or the unused second operand of a one-operand code).
Mm stored_values(int complex, Mm& w, Mm& partner, bool w_first, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    int dims[4];
    std::memcpy(dims, w.getdims(), sizeof dims);
    const int stored = w.getnnz();
    int* d = w.getdims();
    d[0] = stored;
    d[1] = d[2] = d[3] = stored > 0 ? 1 : 0;
    const int w_sparse = w.issparse(), p_sparse = partner.issparse();
    w.setsparse(0);
    partner.setsparse(0);
    Mm values = w_first ? Mm(complex, w, partner, dim, op, reduce, index_out)
                        : Mm(complex, partner, w, dim, op, reduce, index_out);
    w.setsparse(w_sparse);
    partner.setsparse(p_sparse);
    std::memcpy(w.getdims(), dims, sizeof dims);
    if (values.size() != stored)
        return x_M;  // the engine's result was refused
    return rebuild(complex, values, w.getindex(), dims);
}

// Union and intersection codes: the engine on two columns laid over the
// merged position lists.
Mm merged_lists(int complex, Mm a, Mm b, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    match_sparsity(a, b);
    if (!a.issparse() || !b.issparse())
        return x_M;  // a conversion refused under a returning hook
    if (a.size() != 1 && b.size() != 1 && !is_same_dims(a, b)) {
        error("%s: incompatible dimensions of: %s, %s", op_name(op), matrix_display_name(a), matrix_display_name(b));
        return x_M;
    }
    const int na = a.getnnz(), nb = b.getnnz();
    const int* ia = a.getindex();
    const int* ib = b.getindex();
    std::vector<int> positions;
    positions.reserve(static_cast<size_t>(na) + nb);
    for (int p = 0, q = 0; p < na || q < nb;) {
        if (q >= nb || (p < na && ia[p] < ib[q]))
            positions.push_back(ia[p++]);
        else if (p >= na || ib[q] < ia[p])
            positions.push_back(ib[q++]);
        else {
            positions.push_back(ia[p]);
            ++p, ++q;
        }
    }
    const int n = static_cast<int>(positions.size());
    bool refused = false;
    auto lay = [&](const Mm& x) {
        Mm v(x.isc(), 0, 0, n, 1, qv_double);
        if (v.size() != n || (x.isc() && !v.isc())) {
            refused = true;  // "Out of memory!" went to a hook that returned
            return v;
        }
        const int* ix = x.getindex();
        for (int k = 0, m = 0; k < n; ++k) {
            const bool here = m < x.getnnz() && ix[m] == positions[k];
            v.addr()[k] = here ? x.addr()[m] : 0.0;
            if (x.isc())
                v.addi()[k] = here ? x.addi()[m] : 0.0;
            m += here;
        }
        return v;
    };
    const Mm la = lay(a), lb = lay(b);
    if (refused)
        return x_M;
    Mm values(complex, la, lb, dim, op, reduce, index_out);
    if (values.size() != n)
        return x_M;  // the engine's result was refused
    const Mm& shape = b.size() == 1 ? a : b;
    return rebuild(complex, values, positions.data(), shape.getdims());
}

Mm through_full(int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    return sparse(Mm(complex, full(a), full(b), dim, op, reduce, index_out));
}

} // namespace

Mm sparse_path(int complex, const Mm& a_in, const Mm& b_in, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    if (op < 0 || op > 98)
        return nop_M;
    // A sum or difference of one sparse and one full operand is full.
    if ((op == op_plus || op == op_minus) && a_in.issparse() != b_in.issparse())
        return Mm(complex, full(a_in), full(b_in), dim, op, reduce, index_out);
    Mm a(a_in), b(b_in);  // the path converts and reshapes its own copies
    const sparse_class cls = reduce ? sparse_class::full_values : class_of(op);
    if (cls == sparse_class::intersection) {
        // Products see a stored zero as the zero it is: 0 times Inf or NaN
        // there is 0, as where nothing is stored.
        a = without_stored_zeros(a);
        b = without_stored_zeros(b);
        if (a.issparse() != a_in.issparse() || b.issparse() != b_in.issparse())
            return x_M;  // refused under a returning hook
    }
    if (!reduce && is_one_operand(op) && b.size() != 1) {
        // A second operand of a one-operand code gives the result its shape
        // (sign(x, y)). Of the same shape as a, it is dropped and the code
        // runs on a's stored values; a scalar a repeated to b's shape, an
        // empty operand and a mismatch of shapes are the engine's on full
        // values.
        if (a.size() <= 1 || b.size() == 0 || !is_same_dims(a, b))
            return through_full(complex, a, b, dim, op, reduce, index_out);
        b = zero_M;
    }
    if (!reduce && a.size() > 0 && b.size() > 0) {
        if (b.size() == 1 && b.getnnz() != 0 && a.size() > 1) {
            if (cls == sparse_class::intersection) {
                a = sparse_of(a, 0);
                if (!a.issparse())
                    return x_M;  // a conversion refused under a returning hook
                return stored_values(complex, a, b, true, dim, op, reduce, index_out);
            }
            if (cls == sparse_class::union_of)
                return through_full(complex, a, b, dim, op, reduce, index_out);
        } else if (a.size() == 1 && a.getnnz() != 0) {
            if (cls == sparse_class::intersection) {
                b = sparse_of(b, 0);
                if (!b.issparse())
                    return x_M;  // a conversion refused under a returning hook
                return stored_values(complex, b, a, false, dim, op, reduce, index_out);
            }
            if (cls == sparse_class::union_of)
                return through_full(complex, a, b, dim, op, reduce, index_out);
        }
    }
    switch (cls) {
    case sparse_class::preserving:
        a = sparse_of(a, 0);
        if (!a.issparse())
            return x_M;  // a conversion refused under a returning hook
        return stored_values(complex, a, b, true, dim, op, reduce, index_out);
    case sparse_class::union_of:
    case sparse_class::intersection:
        return merged_lists(complex, a, b, dim, op, reduce, index_out);
    default:
        return through_full(complex, a, b, dim, op, reduce, index_out);
    }
}
