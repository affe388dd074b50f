// Structs: fieldnames, isfield, getfield, setfield, rmfield, struct and
// struct2cell; with them logical, the function-handle checks and the entry
// that serves the one-argument forms with nothing to compute.
#include "value/mm_access.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdint>
#include <cstring>

namespace {

inline Mm* elements_of(const Mm& c) { return c.getpr((Mm*)nullptr); }

// Field names are read into buffers of this size.
constexpr int name_size = 40;

struct field_name {
    char text[name_size];
};

// Whether element e of a struct array is a proper field list.
inline bool is_field_list(const Mm& e, int nfields) { return e.gettype() == qv_cell && e.size() == nfields; }

// A struct without fields is still a struct: it gets an empty name array.
void mark_struct(Mm& s)
{
    if (!s.isstruct())
        s.extend_nfields(1);
}

// x(e[0], ...) with n of the subscripts, read and assigned.
Mm read_at(const Mm& x, int n, const Mm* e)
{
    switch (n) {
    case 1:
        return Mm(x(e[0]), 1);
    case 2:
        return Mm(x(e[0], e[1]), 1);
    case 3:
        return Mm(x(e[0], e[1], e[2]), 1);
    default:
        return Mm(x(e[0], e[1], e[2], e[3]), 1);
    }
}

void assign_at(Mm& x, int n, const Mm* e, const Mm& v)
{
    switch (n) {
    case 1:
        x(e[0]) = v;
        break;
    case 2:
        x(e[0], e[1]) = v;
        break;
    case 3:
        x(e[0], e[1], e[2]) = v;
        break;
    default:
        x(e[0], e[1], e[2], e[3]) = v;
        break;
    }
}

inline int subscript_count(const Mm& subs) { return subs.size() < 4 ? subs.size() : 4; }

} // namespace

Mm fieldnames(const Mm& s)
{
    if (error_struct(s, "fieldnames"))
        return x_M;
    const int n = s.getnfields();
    Mm out(0, 0, 0, n, 1, qv_cell);
    if (out.size() != n)
        return x_M;
    Mm* names = elements_of(out);
    for (int k = 0; k < n; ++k)
        names[k] = TM(s.getfields()[k]);
    return out;
}

Mm isfield(const Mm& s, const Mm& name)
{
    if (!s.isstruct())
        return Mm(0.0);
    char text[name_size];
    Mstr(name, text, sizeof text);
    return mlogical(Mm(s.findfield(text, 0) >= 0 ? 1.0 : 0.0));
}

Mm getfield(const Mm& s, const Mm& path)
{
    if (error_struct(s, "getfield"))
        return x_M;
    // A path that is not a cell is one step.
    const bool list = iscell(path);
    const int n = list ? path.size() : 1;
    const Mm* steps = list ? elements_of(path) : &path;
    Mm current(s);
    for (int k = 0; k < n; ++k) {
        const Mm& step = steps[k];
        if (step.isstr()) {
            char name[name_size];
            Mstr_row(step, name, sizeof name);
            Mm next(current.member(name), 1);
            current = next;
        } else if (iscell(step)) {
            if (subscript_count(step) > 0) {
                Mm next = read_at(current, subscript_count(step), elements_of(step));
                current = next;
            }
        } else {
            error("getfield: index must be a string or cell array");
        }
    }
    return current;
}

Mm setfield(const Mm& s, const Mm& index, const Mm& v)
{
    Mm out(s);
    if (index.isstr()) {
        char name[name_size];
        Mstr_row(index, name, sizeof name);
        out.member(name) = v;
    } else if (!iscell(index)) {
        out(index) = v;  // a bare index is the one subscript
    } else if (subscript_count(index) > 0) {
        assign_at(out, subscript_count(index), elements_of(index), v);
    }
    return out;
}

Mm rmfield(const Mm& s, const Mm& names)
{
    if (error_struct(s, "rmfield"))
        return x_M;
    Mm out;
    out.deepcopy(s, qv_none);
    if (!out.isstruct() || out.size() != s.size())
        return x_M;  // "Out of memory!" went to a hook that returned
    const bool list = iscell(names);
    const int count = list ? names.size() : 1;
    const Mm* given = list ? elements_of(names) : &names;
    for (int q = 0; q < count; ++q) {
        char name[name_size];
        Mstr_row(given[q], name, sizeof name);
        const int nfields = out.getnfields();
        const int p = out.findfield(name, 0);
        if (p < 0) {
            error("rmfield: structure has no field named '%s'", name);
            continue;
        }
        // The new field lists first: running out of memory leaves out whole.
        const int n = out.size();
        Mm lists(0, 0, 0, n, 1, qv_cell);
        if (lists.size() != n)
            return x_M;
        Mm* fresh = elements_of(lists);
        Mm* elements = elements_of(out);
        for (int k = 0; k < n; ++k) {
            if (!is_field_list(elements[k], nfields)) {
                fresh[k] = elements[k];
                continue;
            }
            Mm shorter(0, 0, 0, nfields - 1, 1, qv_cell);
            if (shorter.size() != nfields - 1)
                return x_M;  // refused: out keeps every field until here
            const Mm* from = elements_of(elements[k]);
            Mm* to = elements_of(shorter);
            for (int f = 0, t = 0; f < nfields; ++f)
                if (f != p)
                    to[t++] = from[f];
            fresh[k] = shorter;
        }
        out.rmfield(name);
        elements = elements_of(out);
        for (int k = 0; k < n; ++k)
            elements[k] = fresh[k];
    }
    return out;
}

Mm mstruct(const Mm& args)
{
    // A value that is not a cell is the one argument.
    const bool list = iscell(args);
    const int n = list ? args.size() : 1;
    const Mm* given = list ? elements_of(args) : &args;
    if (n == 1) {
        Mm plain(given[0]);
        plain.setclassid(0);
        return plain;
    }
    if (n % 2 != 0) {
        error("struct: odd numbers of inputs");
        return x_M;
    }
    // The last cell value sets the size; every cell value must match it.
    const Mm* shape = nullptr;
    for (int k = 1; k < n; k += 2)
        if (iscell(given[k]))
            shape = &given[k];
    const int count = shape ? shape->size() : 1;
    for (int k = 1; k < n; k += 2)
        if (iscell(given[k]) && given[k].size() != count) {
            error("struct: all cell arrays must be of same size");
            return x_M;
        }

    // Names in argument order; a repeated name sets the same field again.
    const int pairs = n / 2;
    scratch<field_name> names(static_cast<std::size_t>(pairs));
    scratch<int> field_of(static_cast<std::size_t>(pairs));
    const int one[2] = {1, 1};
    Mm out = shape ? Mm(0, 0, 0, shape->getndims(), shape->getdims(), qv_cell) : Mm(0, 0, 0, 2, one, qv_cell);
    if (out.gettype() != qv_cell || out.size() != count)
        return x_M;
    for (int p = 0; p < pairs; ++p) {
        Mstr_row(given[2 * p], names[p].text, name_size);
        int f = out.findfield(names[p].text, 0);
        if (f < 0)
            f = out.addfield(names[p].text, 1);
        field_of[p] = f;
    }
    mark_struct(out);
    const int nfields = out.getnfields();
    Mm* elements = elements_of(out);
    for (int r = 0; r < count; ++r) {
        Mm fields = mm_access::field_list(nfields);
        if (fields.size() != nfields)
            return x_M;
        Mm* values = elements_of(fields);
        for (int p = 0; p < pairs; ++p) {
            const Mm& v = given[2 * p + 1];
            values[field_of[p]] = iscell(v) ? elements_of(v)[r] : v;
        }
        elements[r] = fields;
    }
    return out;
}

Mm struct2cell(const Mm& s)
{
    if (error_struct(s, "struct2cell"))
        return x_M;
    const int nfields = s.getnfields();
    const int* sd = s.getdims();
    // N x size(s); a fourth dimension of s folds into the third.
    int dims[4] = {nfields, sd[0], sd[1], 1};
    int nd = 3;
    if (s.getndims() >= 3) {
        dims[3] = s.getndims() == 4 ? sd[2] * sd[3] : sd[2];
        nd = 4;
    }
    Mm out(0, 0, 0, nd, dims, qv_cell);
    const std::int64_t m = s.size();
    if (out.size() != m * nfields)
        return x_M;
    const Mm* from = elements_of(s);
    Mm* to = elements_of(out);
    for (std::int64_t k = 0; k < m; ++k) {
        if (!is_field_list(from[k], nfields))
            continue;
        const Mm* values = elements_of(from[k]);
        for (int f = 0; f < nfields; ++f)
            to[f + k * nfields] = values[f];
    }
    return out;
}

Mm mlogical(const Mm& x)
{
    if (x.isc())
        error("logical: argument is complex");
    Mm out(x);
    out.setlogical(1);
    return out;
}

Mm fcnchk(const Mm& f, const Mm&, i_o_t, Mm& fcn, Mm& msg)
{
    fcn = f;
    msg = TM("");
    return x_M;
}

Mm prefcnchk(const Mm& a, const Mm&, const Mm&, const Mm&, i_o_t, Mm& fcn, Mm& msg)
{
    fcn = a;
    msg = TM("");
    return x_M;
}

// ---- forms that only reject the call ----

Mm isfield(const Mm&)
{
    error_input("isfield", 1);
    return Mm(0.0);
}

Mm getfield(const Mm&)
{
    error_input("getfield", 1);
    return Mm(0.0);
}

Mm setfield(const Mm&)
{
    error_input("setfield", 1);
    return Mm(0.0);
}

Mm setfield(const Mm&, const Mm&)
{
    error_input("setfield", 2);
    return Mm(0.0);
}

Mm rmfield(const Mm&)
{
    error_input("rmfield", 1);
    return Mm(0.0);
}

// ---- one entry, many names: a copy of the first argument ----

namespace {
Mm first_argument(const Mm& a) { return a; }
} // namespace

Mm horzcat(const Mm& a) { return first_argument(a); }
Mm vertcat(const Mm& a) { return first_argument(a); }
Mm reshape(const Mm& a) { return first_argument(a); }
Mm colon(const Mm& a) { return first_argument(a); }
Mm fcnchk(const Mm& a) { return first_argument(a); }
Mm fcnchk(const Mm& a, const Mm&) { return first_argument(a); }
Mm formula(const Mm& a) { return first_argument(a); }
Mm inlinefcn(const Mm& a) { return first_argument(a); }
Mm inlinefcn(const Mm& a, const Mm&) { return first_argument(a); }
Mm minline(const Mm& a) { return first_argument(a); }
Mm minline(const Mm& a, const Mm&) { return first_argument(a); }
Mm flipdim(const Mm& a) { return first_argument(a); }
Mm ipermute(const Mm& a) { return first_argument(a); }
Mm linspace(const Mm& a) { return first_argument(a); }
Mm logspace(const Mm& a) { return first_argument(a); }
Mm permute(const Mm& a) { return first_argument(a); }
Mm repmat(const Mm& a) { return first_argument(a); }
