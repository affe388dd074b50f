// The engine's road for operations with a sparse operand: work in
// proportion to the stored entries wherever the operation allows it, and
// through full values only where zeros would turn into something else.
#include "engine/kernels.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstdint>
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

std::int64_t element_count(const Mm& x)
{
    const int* d = x.getdims();
    return std::int64_t{d[0]} * d[1] * d[2] * d[3];
}

// ---- a sparse operand against a scalar partner ----

// w's stored values and one 0 after them, as a full column.
Mm column_with_zero(const Mm& w)
{
    const int n = w.getnnz();
    Mm column(w.isc(), 0, 0, n + 1, 1, qv_double);
    if (column.size() != n + 1 || (w.isc() && !column.isc()))
        return Mm();  // "Out of memory!" went to a hook that returned
    if (n > 0)
        std::memcpy(column.addr(), w.addr(), sizeof(double) * n);
    column.addr()[n] = 0;
    if (w.isc()) {
        if (n > 0)
            std::memcpy(column.addi(), w.addi(), sizeof(double) * n);
        column.addi()[n] = 0;
    }
    return column;
}

// The engine's results on w's stored values followed by one 0, against the
// partner: the last element is what every unstored element of w becomes.
// One call, so that both come from the same loop. The results as doubles
// (a byte partner makes them bytes), or an empty value when refused.
Mm stored_and_zero(int complex, const Mm& w, const Mm& partner, bool w_first, const Mm& dim, op_t op,
                   Mm& index_out)
{
    const int n = w.getnnz();
    const Mm column = column_with_zero(w);
    if (column.size() != n + 1)
        return Mm();
    Mm values = w_first ? Mm(complex, column, partner, dim, op, 0, index_out)
                        : Mm(complex, partner, column, dim, op, 0, index_out);
    if (values.gettype() == qv_uint8)
        values = mdouble(values);
    if (values.gettype() != qv_double || values.size() != n + 1)
        return Mm();
    return values;
}

// w's stored positions with the results there; those that are zero (of
// either sign) are dropped, as sparse() drops them from a full result.
Mm on_stored_positions(const Mm& values, const Mm& w)
{
    const int n = w.getnnz();
    const double* re = values.addr();
    const double* im = values.isc() ? values.addi() : nullptr;
    int count = 0;
    for (int k = 0; k < n; ++k)
        count += nonzero(re, im, k);
    Mm out(values.isc(), 1, count, w.getndims(), w.getdims(), qv_double);
    if (!out.issparse() || out.getnnz() != count)
        return x_M;  // "Out of memory!" went to a hook that returned
    const int* from = w.getindex();
    int* index = out.getindex();
    double* ore = out.addr();
    double* oim = im ? out.addi() : nullptr;
    for (int k = 0, m = 0; k < n; ++k)
        if (nonzero(re, im, k)) {
            index[m] = from[k];
            ore[m] = re[k];
            if (oim)
                oim[m] = im[k];
            ++m;
        }
    out.setlogical(values.islogical());
    return out;
}

// Every element of w's extents: the stored results where w stores, the
// zero's result elsewhere; in sparse form without zeros, or full.
Mm filled(const Mm& values, const Mm& w, bool sparse_form)
{
    const std::int64_t numel = element_count(w);
    // A result that fills every element is held to what the full form holds.
    if (refuse_full_form(numel))
        return x_M;
    const int n = w.getnnz();
    const int* at = w.getindex();
    const double* re = values.addr();
    const double* im = values.isc() ? values.addi() : nullptr;
    const double fill_re = re[n], fill_im = im ? im[n] : 0;
    if (!sparse_form) {
        Mm out(values.isc(), 0, 0, w.getndims(), w.getdims(), qv_double);
        if (out.size() != numel)
            return x_M;  // "Out of memory!" went to a hook that returned
        double* ore = out.addr();
        double* oim = im ? out.addi() : nullptr;
        std::fill(ore, ore + numel, fill_re);
        if (oim)
            std::fill(oim, oim + numel, fill_im);
        for (int k = 0; k < n; ++k) {
            ore[at[k]] = re[k];
            if (oim)
                oim[at[k]] = im[k];
        }
        out.setlogical(values.islogical());
        return out;
    }
    const bool fill_stored = fill_re != 0 || fill_im != 0;
    std::int64_t count = fill_stored ? numel - n : 0;
    for (int k = 0; k < n; ++k)
        count += nonzero(re, im, k);
    Mm out(values.isc(), 1, static_cast<int>(count), w.getndims(), w.getdims(), qv_double);
    if (!out.issparse() || out.getnnz() != count)
        return x_M;  // "Out of memory!" went to a hook that returned
    int* index = out.getindex();
    double* ore = out.addr();
    double* oim = im ? out.addi() : nullptr;
    std::int64_t m = 0;
    int k = 0;
    for (std::int64_t p = 0; p < numel; ++p) {
        if (k < n && at[k] == p) {
            if (nonzero(re, im, k)) {
                index[m] = static_cast<int>(p);
                ore[m] = re[k];
                if (oim)
                    oim[m] = im[k];
                ++m;
            }
            ++k;
        } else if (fill_stored) {
            index[m] = static_cast<int>(p);
            ore[m] = fill_re;
            if (oim)
                oim[m] = fill_im;
            ++m;
        }
    }
    out.setlogical(values.islogical());
    return out;
}

Mm from_stored_results(const Mm& values, const Mm& w, bool sparse_form);

// The operation of a sparse w (more than one element) and a scalar
// partner, as the full computation gives it, in work proportional to w's
// stored count where the zero's result is zero, to w's extents otherwise.
Mm scalar_partner(int complex, const Mm& w, const Mm& partner, bool w_first, const Mm& dim, op_t op,
                  Mm& index_out, bool sparse_form)
{
    const Mm p = full(partner);
    const Mm values = stored_and_zero(complex, w, p, w_first, dim, op, index_out);
    if (values.size() == 0)
        return x_M;  // refused, reported
    return from_stored_results(values, w, sparse_form);
}

// values: the results at w's stored entries and, last, at an unstored one.
Mm from_stored_results(const Mm& values, const Mm& w, bool sparse_form)
{
    const int n = w.getnnz();
    const double* re = values.addr();
    const double* im = values.isc() ? values.addi() : nullptr;
    if (sparse_form && !nonzero(re, im, n))
        return on_stored_positions(values, w);
    return filled(values, w, sparse_form);
}

// A number for a partner: an object or a cell goes the full road, where a
// class method or the engine's refusal meets the whole value.
bool scalar_partner_applies(const Mm& w, const Mm& partner)
{
    const bool number = (partner.gettype() == qv_double || partner.gettype() == qv_uint8) && !partner.isstruct() &&
                        !partner.getclassid();
    return number && w.issparse() && element_count(w) > 1 && element_count(partner) == 1 && w.getndims() == 2;
}

// ---- reductions along a line of a sparse matrix ----

// The stored entries of a matrix walked line by line: along columns
// (dimension 1) or along rows (dimension 2). Only lines that store
// something are listed, so that a long column or a wide row costs its
// stored count, not its extent. A line's entries ascend.
struct lines_of {
    int count = 0;            // lines in all
    int extent = 0;           // elements on a line
    std::size_t stored = 0;   // lines that store something
    scratch<int> id;          // those lines, ascending
    scratch<int> start;       // stored + 1 starts into order
    scratch<int> order;       // stored entries, line by line
    scratch<int> along;       // each one's place on its line, in the same order
};

void walk_lines(const Mm& s, int dim, lines_of& l)
{
    const int rows = s.rows(), cols = s.cols(), n = s.getnnz();
    const int* index = s.getindex();
    l.count = dim == 1 ? cols : rows;
    l.extent = dim == 1 ? rows : cols;
    const std::size_t most = static_cast<std::size_t>(std::min<std::int64_t>(n, l.count));
    l.id.reset(most);
    l.start.reset(most + 1);
    l.order.reset(n);
    l.along.reset(n);
    l.stored = 0;
    if (dim == 1) {
        // Positions ascend: a new column starts where a position passes
        // the current column's end.
        std::int64_t column_end = 0;
        for (int k = 0; k < n; ++k) {
            if (index[k] >= column_end) {
                const int c = index[k] / rows;
                l.id[l.stored] = c;
                l.start[l.stored++] = k;
                column_end = (std::int64_t{c} + 1) * rows;
            }
            l.order[k] = k;
            l.along[k] = static_cast<int>(index[k] - (column_end - rows));
        }
        l.start[l.stored] = n;
        return;
    }
    // Along rows: entries ordered by row, stably, so that within a row
    // columns ascend; by counting where the rows are few beside the
    // stored count, by sorting where they are many.
    scratch<int> row(n), column(n);
    for (int k = 0; k < n; ++k) {
        column[k] = index[k] / rows;
        row[k] = index[k] - column[k] * rows;
    }
    if (rows <= 2 * std::int64_t{n} + 1024) {
        scratch<int> next(std::size_t(rows) + 1);
        std::fill(next.get(), next.get() + rows + 1, 0);
        for (int k = 0; k < n; ++k)
            ++next[row[k] + 1];
        for (int r = 0; r < rows; ++r)
            next[r + 1] += next[r];
        for (int k = 0; k < n; ++k)
            l.order[next[row[k]]++] = k;
    } else {
        for (int k = 0; k < n; ++k)
            l.order[k] = k;
        std::stable_sort(l.order.get(), l.order.get() + n, [&](int x, int y) { return row[x] < row[y]; });
    }
    for (int at = 0; at < n; ++at) {
        const int k = l.order[at];
        if (at == 0 || row[k] != row[l.order[at - 1]]) {
            l.id[l.stored] = row[k];
            l.start[l.stored++] = at;
        }
        l.along[at] = column[k];
    }
    l.start[l.stored] = n;
}

// A line as the reductions read it: its stored entries in order, each run
// of unstored zeros as one zero. A running sum, product (complex too),
// extreme or truth test is the same over one zero as over a run of them,
// but for the sign of a zero, which the sparse form drops; and the first
// element of a run is where a tie is decided. f(entry, from, to) meets each
// item with the places it stands for; entry -1 is a zero. The line is the
// i-th that stores something; i equal to the count of those is a line
// that stores nothing.
template <class F>
void condensed_line(const lines_of& l, std::size_t i, F&& f)
{
    int next = 0;
    if (i < l.stored)
        for (int e = l.start[i]; e < l.start[i + 1]; ++e) {
            const int at = l.along[e];
            if (at > next)
                f(-1, next, at);
            f(l.order[e], at, at + 1);
            next = at + 1;
        }
    if (next < l.extent)
        f(-1, next, l.extent);
}

bool sparse_reduction_code(op_t op)
{
    switch (op) {
    case op_sum: case op_prod: case op_max_1: case op_min_1: case op_any: case op_all: case op_cumsum:
    case op_cumprod:
        return true;
    default:
        return false;
    }
}

// The working dimension of a reduction, or 0 when the engine is to see
// the dimension operand itself (an unusual one, or one it refuses).
int reduction_dim(const Mm& s, const Mm& dim)
{
    if (dim.gettype() != qv_double || dim.issparse() || dim.isc() || element_count(dim) != 1)
        return 0;
    const double d = *dim.addr();
    return d == 0 ? s.nsingleton() : d == 1 || d == 2 || d == 3 || d == 4 ? static_cast<int>(d) : 0;
}

// A reduction along a dimension of extent 1 (the third or fourth of a
// matrix) takes each element alone: the engine on the stored values and
// one zero, each element its own line.
Mm along_singleton(int complex, const Mm& s, op_t op)
{
    const Mm column = column_with_zero(s);
    if (column.size() != s.getnnz() + 1)
        return x_M;
    Mm values = Mm(complex, column, zero_M, Mm(2.0), op, 1, l_M);
    if (values.gettype() != qv_double || values.size() != column.size())
        return x_M;  // refused, reported
    return from_stored_results(values, s, true);
}

// sum, prod, max, min, any, all, cumsum and cumprod of a sparse matrix
// along dimension 1 or 2, as the full computation gives them: the engine
// runs on the condensed lines, grouped by their length into one matrix per
// length, so the work follows the stored count. The lines that store
// nothing are alike: one of them stands for all.
Mm reduce_lines(int complex, const Mm& s, int dim, op_t op, Mm& index_out)
{
    const bool cumulative = op == op_cumsum || op == op_cumprod;
    const bool positions = (op == op_max_1 || op == op_min_1) && index_wanted(index_out);
    lines_of l;
    walk_lines(s, dim, l);
    const double* sre = s.addr();
    const double* sim = s.isc() ? s.addi() : nullptr;
    const std::size_t stored_lines = l.stored;
    const bool has_empty = static_cast<std::int64_t>(stored_lines) < l.count;
    const std::size_t items = stored_lines + has_empty;  // the last one, if any, is an empty line

    // Lines grouped by their condensed length.
    scratch<int> length(items);
    int longest = 0;
    for (std::size_t i = 0; i < items; ++i) {
        int n = 0;
        condensed_line(l, i, [&](int, int, int) { ++n; });
        length[i] = n;
        longest = std::max(longest, n);
    }
    scratch<int> group_of_length(std::size_t(longest) + 1), group(items), slot(items);
    std::fill(group_of_length.get(), group_of_length.get() + longest + 1, -1);
    std::vector<int> lengths;
    std::vector<int> members;
    for (std::size_t i = 0; i < items; ++i) {
        int& g = group_of_length[length[i]];
        if (g < 0) {
            g = static_cast<int>(lengths.size());
            lengths.push_back(length[i]);
            members.push_back(0);
        }
        group[i] = g;
        slot[i] = members[g]++;
    }
    std::vector<Mm> results(lengths.size()), wheres(lengths.size());
    for (std::size_t g = 0; g < lengths.size(); ++g) {
        Mm block(s.isc(), 0, 0, lengths[g], members[g], qv_double);
        if (block.size() != std::int64_t{lengths[g]} * members[g] || (s.isc() && !block.isc()))
            return x_M;  // "Out of memory!" went to a hook that returned
        results[g] = block;
    }
    std::vector<double*> block_re(lengths.size()), block_im(lengths.size());
    for (std::size_t g = 0; g < lengths.size(); ++g) {
        block_re[g] = results[g].addr();
        block_im[g] = results[g].isc() ? results[g].addi() : nullptr;
    }
    for (std::size_t i = 0; i < items; ++i) {
        double* re = block_re[group[i]];
        double* im = block_im[group[i]];
        std::int64_t q = std::int64_t{slot[i]} * length[i];
        condensed_line(l, i, [&](int entry, int, int) {
            re[q] = entry < 0 ? 0.0 : sre[entry];
            if (im)
                im[q] = entry < 0 || !sim ? 0.0 : sim[entry];
            ++q;
        });
    }
    for (std::size_t g = 0; g < lengths.size(); ++g) {
        Mm where;
        Mm r(complex, results[g], zero_M, one_M, op, 1, positions ? where : l_M);
        if (r.gettype() != qv_double || r.size() != (cumulative ? results[g].size() : members[g]))
            return x_M;  // refused, reported
        results[g] = r;
        wheres[g] = where;
    }
    const bool out_complex = results.empty() ? complex : results[0].isc();
    const bool out_logical = !results.empty() && results[0].islogical();
    std::vector<const double*> rre(lengths.size()), rim(lengths.size());
    for (std::size_t g = 0; g < lengths.size(); ++g) {
        rre[g] = results[g].addr();
        rim[g] = out_complex ? results[g].addi() : nullptr;
    }
    // Each line in order with the item that stands for it: every line when
    // a line that stores nothing gives a non-zero, else only those that
    // store something.
    auto each_line = [&](bool every, auto&& f) {
        if (!every) {
            for (std::size_t i = 0; i < stored_lines; ++i)
                f(l.id[i], i);
            return;
        }
        for (int c = 0, i = 0; c < l.count; ++c) {
            const bool here = static_cast<std::size_t>(i) < stored_lines && l.id[i] == c;
            f(c, here ? static_cast<std::size_t>(i) : stored_lines);
            i += here;
        }
    };

    if (!cumulative) {
        // One value per line, in sparse form without its zeros.
        const bool empty_nonzero = has_empty && nonzero(rre[group[stored_lines]], rim[group[stored_lines]],
                                                        slot[stored_lines]);
        std::int64_t count = 0;
        each_line(empty_nonzero, [&](int, std::size_t i) { count += nonzero(rre[group[i]], rim[group[i]], slot[i]); });
        // The places come full, one per line: max(S, [], 1) of the longest
        // row has 2^31 - 1 of them.
        if (positions && refuse_full_form(l.count))
            return x_M;
        Mm out(out_complex, 1, static_cast<int>(count), dim == 1 ? 1 : l.count, dim == 1 ? l.count : 1, qv_double);
        Mm k;
        if (positions)
            k = Mm(0, 0, 0, out.rows(), out.cols(), qv_double);
        if (!out.issparse() || out.getnnz() != count || (positions && k.size() != l.count))
            return x_M;  // "Out of memory!" went to a hook that returned
        int* index = out.getindex();
        double* ore = out.addr();
        double* oim = out_complex ? out.addi() : nullptr;
        std::int64_t m = 0;
        each_line(empty_nonzero, [&](int c, std::size_t i) {
            const int g = group[i];
            if (!nonzero(rre[g], rim[g], slot[i]))
                return;
            index[m] = c;
            ore[m] = rre[g][slot[i]];
            if (oim)
                oim[m] = rim[g][slot[i]];
            ++m;
        });
        out.setlogical(out_logical);
        if (positions) {
            // The condensed place back to the place on the line.
            auto place_of = [&](std::size_t i) {
                const int chosen = static_cast<int>(wheres[group[i]].addr()[slot[i]]) - 1;
                int item = 0, place = 0;
                condensed_line(l, i, [&](int, int from, int) {
                    if (item++ == chosen)
                        place = from;
                });
                return place + 1.0;
            };
            double* kp = k.addr();
            std::fill(kp, kp + l.count, has_empty ? place_of(stored_lines) : 1.0);
            each_line(false, [&](int c, std::size_t i) { kp[c] = place_of(i); });
            index_out = k;
        }
        return out;
    }

    // Running values: each condensed item's result stands for its places.
    const int rows = s.rows();
    const bool empty_nonzero = has_empty && [&] {
        const int g = group[stored_lines];
        const std::int64_t q = std::int64_t{slot[stored_lines]} * length[stored_lines];
        return nonzero(rre[g], rim[g], q);
    }();
    auto each_result = [&](auto&& f) {
        each_line(empty_nonzero, [&](int c, std::size_t i) {
            const int g = group[i];
            std::int64_t q = std::int64_t{slot[i]} * length[i];
            condensed_line(l, i, [&](int, int from, int to) {
                if (nonzero(rre[g], rim[g], q))
                    f(c, from, to, rre[g][q], rim[g] ? rim[g][q] : 0.0);
                ++q;
            });
        });
    };
    std::int64_t count = 0;
    each_result([&](int, int from, int to, double, double) { count += to - from; });
    // Running values fill their lines from the first entry on: cumsum
    // along the longest row stores 2^31 - 1 of them, a full form's count,
    // refused as a full form is.
    if (refuse_full_form(count))
        return x_M;
    Mm out(out_complex, 1, static_cast<int>(count), s.rows(), s.cols(), qv_double);
    if (!out.issparse() || out.getnnz() != count)
        return x_M;  // "Out of memory!" went to a hook that returned
    std::int64_t m = 0;
    int* index = out.getindex();
    double* ore = out.addr();
    double* oim = out_complex ? out.addi() : nullptr;
    each_result([&](int c, int from, int to, double re, double im) {
        for (int place = from; place < to; ++place, ++m) {
            index[m] = dim == 1 ? c * rows + place : place * rows + c;
            ore[m] = re;
            if (oim)
                oim[m] = im;
        }
    });
    if (dim == 2)
        out.sort();  // row by row: into column order
    out.setlogical(out_logical);
    return out;
}

// diff along dimension 1 or 2 from the stored entries: a difference
// x(k+1) - x(k) is non-zero only beside an entry, and each is the one
// subtraction the full computation makes there, 0 standing for an unstored
// element; a line of one element leaves none. The longest row's diff was
// refused as a full form though it has twice its entries at most.
Mm diff_lines(int complex, const Mm& s, int dim)
{
    const int rows = s.rows(), cols = s.cols(), n = s.getnnz();
    const int out_rows = dim == 1 ? rows - 1 : rows, out_cols = dim == 2 ? cols - 1 : cols;
    if (out_rows <= 0 || out_cols <= 0)
        return sparse(Mm(0, 0, 0, std::max(out_rows, 0), std::max(out_cols, 0), qv_double));  // as from the full form
    const int* index = s.getindex();
    const double* re = s.addr();
    const double* im = s.isc() ? s.addi() : nullptr;
    // The places beside each entry, as 0-based (row, column) of the result.
    std::vector<std::int64_t> places;
    places.reserve(2 * std::size_t(n));
    for (int e = 0; e < n; ++e) {
        const std::int64_t i = index[e] % rows, j = index[e] / rows;
        const std::int64_t along = dim == 1 ? i : j, extent = dim == 1 ? out_rows : out_cols;
        for (const std::int64_t k : {along - 1, along})
            if (k >= 0 && k < extent)
                places.push_back(dim == 1 ? k + j * out_rows : i + k * out_rows);
    }
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    Mm out(complex, 1, static_cast<int>(places.size()), out_rows, out_cols, qv_double);
    if (!out.issparse() || out.getp() < static_cast<std::int64_t>(places.size()))
        return x_M;  // "Out of memory!" went to a hook that returned
    int* oindex = out.getindex();
    double* ore = out.addr();
    double* oim = complex ? out.addi() : nullptr;
    int m = 0;
    for (const std::int64_t q : places) {
        const std::int64_t i = q % out_rows, j = q / out_rows;
        const std::int64_t here = i + j * rows, next = dim == 1 ? here + 1 : here + rows;
        const int a = s.search(static_cast<int>(next)), b = s.search(static_cast<int>(here));
        const double dr = (a < 0 ? 0.0 : re[a]) - (b < 0 ? 0.0 : re[b]);
        const double di = oim ? (a < 0 || !im ? 0.0 : im[a]) - (b < 0 || !im ? 0.0 : im[b]) : 0.0;
        if (dr == 0 && di == 0)
            continue;
        oindex[m] = static_cast<int>(q);
        ore[m] = dr;
        if (oim)
            oim[m] = di;
        ++m;
    }
    out.getnnz() = m;
    return out;
}

// Two-operand element-wise codes outside the union class still give zero
// on two zeros for some partners (x ~= y, bitget(x, y), pow2(x, y)):
// between two sparse values of one shape they go over the merged lists
// when an unstored pair gives zero, as the full computation does there.
bool zero_on_two_zeros(int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op)
{
    if (op < op_abs || is_one_operand(op))
        return false;
    if (!a.issparse() || !b.issparse() || a.size() <= 1 || b.size() <= 1 || !is_same_dims(a, b))
        return false;
    Mm za(a.isc(), 0, 0, 1, 1, qv_double), zb(b.isc(), 0, 0, 1, 1, qv_double);
    if (za.size() != 1 || zb.size() != 1)
        return false;
    *za.addr() = 0, *zb.addr() = 0;
    if (za.isc())
        *za.addi() = 0;
    if (zb.isc())
        *zb.addi() = 0;
    const Mm r = Mm(complex, za, zb, dim, op, 0, l_M);
    if (r.gettype() != qv_double || r.size() != 1)
        return false;
    return !nonzero(r.addr(), r.isc() ? r.addi() : nullptr, 0);
}

// An element-wise operation that the stored-entry roads above do not
// take: against a scalar partner from the stored values, else on full
// values and back.
Mm scalar_or_full(int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, Mm& index_out)
{
    if (scalar_partner_applies(a, b))
        return scalar_partner(complex, a, b, true, dim, op, index_out, true);
    if (scalar_partner_applies(b, a))
        return scalar_partner(complex, b, a, false, dim, op, index_out, true);
    return through_full(complex, a, b, dim, op, 0, index_out);
}

} // namespace

Mm sparse_path(int complex, const Mm& a_in, const Mm& b_in, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    if (op < 0 || op > 98)
        return nop_M;
    // A sum or difference of one sparse and one full operand is full.
    if ((op == op_plus || op == op_minus) && a_in.issparse() != b_in.issparse()) {
        // Against a full double scalar it is built directly, not from a
        // full copy (a byte partner makes a byte result: the engine's).
        if (!reduce && scalar_partner_applies(a_in, b_in) && b_in.gettype() == qv_double)
            return scalar_partner(complex, a_in, b_in, true, dim, op, index_out, false);
        if (!reduce && scalar_partner_applies(b_in, a_in) && a_in.gettype() == qv_double)
            return scalar_partner(complex, b_in, a_in, false, dim, op, index_out, false);
        return Mm(complex, full(a_in), full(b_in), dim, op, reduce, index_out);
    }
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
                return scalar_or_full(complex, a, b, dim, op, index_out);
        } else if (a.size() == 1 && a.getnnz() != 0) {
            if (cls == sparse_class::intersection) {
                b = sparse_of(b, 0);
                if (!b.issparse())
                    return x_M;  // a conversion refused under a returning hook
                return stored_values(complex, b, a, false, dim, op, reduce, index_out);
            }
            if (cls == sparse_class::union_of)
                return scalar_or_full(complex, a, b, dim, op, index_out);
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
        break;
    }
    if (reduce) {
        const int w = reduction_dim(a, dim);
        if (op == op_diff && a.issparse() && a.getndims() == 2 && a.size() > 0 && (w == 1 || w == 2))
            return diff_lines(complex, a, w);
        const bool matrix = a.issparse() && a.getndims() == 2 && a.size() > 0 && sparse_reduction_code(op);
        if (matrix && (w == 1 || w == 2))
            return reduce_lines(complex, a, w, op, index_out);
        if (matrix && (w == 3 || w == 4) && !index_wanted(index_out))
            return along_singleton(complex, a, op);
        return through_full(complex, a, b, dim, op, reduce, index_out);
    }
    if (zero_on_two_zeros(complex, a, b, dim, op))
        return merged_lists(complex, a, b, dim, op, reduce, index_out);
    return scalar_or_full(complex, a, b, dim, op, index_out);
}
