// Assignment through an index reference, x(i) = y, x{i} = y, x.f = y and
// their chains: the element type is settled, struct arrays are matched,
// untyped targets become cells or structs, user classes take over with
// "subsasgn", and a chain writes its change back level by level.
#include "value/index_engines.hpp"
#include "value/index_walk.hpp"
#include "value/mm_access.hpp"
#include "value/report.hpp"
#include "value/subscript_record.hpp"
#include "velkor/array.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

Mm empty_cell() { return Mm(0, 0, 0, 0, 0, qv_cell); }

// Makes x's storage its own, so that writing into it changes no other value.
// False when the copy was refused (x is then as it was, still shared).
bool unshare(Mm& x)
{
    if (x.dirty())
        x.deepcopy(x, qv_none);
    return !x.dirty();
}

// A field cell of a struct element, nfields x 1, with the old values where
// there were some and empty values after them.
Mm field_cell_with(const Mm& old, int nfields)
{
    Mm cell = mm_access::field_list(nfields);
    if (old.gettype() == qv_cell && cell.size() == nfields) {
        const Mm* from = old.getpr((Mm*)nullptr);
        Mm* to = cell.getpr((Mm*)nullptr);
        for (int k = 0, n = old.size() < nfields ? old.size() : nfields; k < n; ++k)
            to[k] = from[k];
    }
    return cell;
}

// Adds a field to struct array x and an empty value for it to every
// element. The new field lists are built first, so that running out of
// memory leaves x as it was (false under an error hook that returns).
bool add_field_to_elements(Mm& x, const char* field)
{
    const int n = x.size(), nfields = x.getnfields() + 1;
    Mm lists(0, 0, 0, n, 1, qv_cell);
    if (lists.size() != n)
        return false;
    Mm* fresh = lists.getpr((Mm*)nullptr);
    const Mm* old = x.getpr((Mm*)nullptr);
    for (int k = 0; k < n; ++k) {
        fresh[k] = field_cell_with(old[k], nfields);
        if (fresh[k].gettype() != qv_cell || fresh[k].size() != nfields)
            return false;  // refused under a returning hook: x as it was
    }
    if (!unshare(x) || x.gettype() != qv_cell || x.size() != n)
        return false;
    x.addfield(field, 1);
    Mm* elements = x.getpr((Mm*)nullptr);
    for (int k = 0; k < n; ++k)
        elements[k] = fresh[k];
    return x.findfield(field, 0) >= 0;
}

// The struct rules of x(...) = b: b must be a struct whose field names
// match x's in order; one extra trailing field of b is added to x.
bool settle_struct_fields(Mm& x, const Mm& b)
{
    if (!(x.isstruct() || b.isstruct()) || b.size() < 1)
        return true;
    const int nx = x.getnfields(), ny = b.getnfields();
    if (!b.isstruct()) {
        error("In the assignment x(...)=y, x was a structure array but y was not a structure");
        return false;
    }
    // A cell with elements does not become a struct array: its elements are
    // not field lists.
    bool same = (ny == nx || ny == nx + 1) && (x.isstruct() || x.size() == 0);
    for (int k = 0; same && k < nx && k < ny; ++k)
        same = std::strcmp(x.getfields()[k], b.getfields()[k]) == 0;
    if (!same) {
        error("In the assignment x(...)=y, x and y (structures) must have identical members");
        return false;
    }
    return ny == nx || add_field_to_elements(x, b.getfields()[nx]);
}

// x(...) = y and x{...} = y on the value that holds r's indices.
bool store(Mm& x, const Mr& r, const Mm& b)
{
    const int k = r.getnidx() > 0 ? r.getnidx() : 0;
    bool general = x.isstruct() || r.getkind() == Mr_brace || b.issparse() || b.getndims() > 2 || x.issparse() ||
                   x.getndims() > 2 || k > 2;
    for (int d = 0; d < k && !general; ++d)
        general = r.getindex(d).issparse() || r.getindex(d).getndims() > 2;
    if (general)
        return assign_general(x, r, b);
    switch (k) {
    case 0:
        x = b;
        return true;
    case 1:
        return assign_one(x, b, r.getindex(0));
    default:
        return assign_two(x, b, r.getindex(0), r.getindex(1));
    }
}

// Puts a target back as it was, name and marks included, unless the
// assignment that replaced it went through.
class replaced_target {
public:
    explicit replaced_target(Mm& x) : x_(x), old_(x), flags_(x.getflags()) {}
    ~replaced_target()
    {
        if (armed_) {
            x_ = old_;
            x_.getflags() = flags_;
        }
    }
    replaced_target(const replaced_target&) = delete;
    replaced_target& operator=(const replaced_target&) = delete;
    bool commit(bool done)
    {
        armed_ = !done;
        return done;
    }

private:
    Mm& x_;
    const Mm old_;
    const M_types flags_;
    bool armed_ = true;
};

// The target replaced or the source converted before the store.
bool assign_paren_settling(Mm& x, const Mr& r, const Mm& y, bool empty)
{
    std::optional<Mm> converted;
    std::optional<replaced_target> undo;
    if (empty && !x.isstruct() && y.isstruct()) {
        // A 1x1 struct of y's fields, all empty, to grow from.
        undo.emplace(x);
        x = Mm(Mr(Mr_paren, y, zero_M), 0);
    } else if (!empty) {
        // Full first: sparse storage holds doubles only, whatever the target.
        Mm& c = converted.emplace(y.issparse() ? full(y) : y);
        c.deepcopy(c, static_cast<qv_matrix_types>(x.gettype()));
        if (c.gettype() != x.gettype() || c.size() != y.size() || c.issparse())
            return false;  // "Out of memory!" went to a hook that returned
    } else {
        // An untyped or empty target takes the source's element type.
        undo.emplace(x);
        x = Mm(0, 0, 0, 0, 0, static_cast<qv_matrix_types>(y.gettype()));
    }
    const Mm& b = converted ? *converted : y;
    const bool done = settle_struct_fields(x, b) && store(x, r, b);
    return undo ? undo->commit(done) : done;
}

bool assign_paren(Mm& x, const Mr& r, const Mm& y)
{
    const int* d = x.getdims();
    const bool empty = x.gettype() == qv_none || d[0] == 0 || d[1] == 0 || d[2] == 0 || d[3] == 0;
    if (x.gettype() == y.gettype() && !(empty && !x.isstruct() && y.isstruct())) {
        if (x.isstruct() && y.isstruct() && y.getnfields() > x.getnfields()) {
            // The new field is added before the store: a refused store takes it back.
            replaced_target undo(x);
            return undo.commit(settle_struct_fields(x, y) && store(x, r, y));
        }
        return settle_struct_fields(x, y) && store(x, r, y);
    }
    return assign_paren_settling(x, r, y, empty);
}

bool assign_brace(Mm& x, const Mr& r, const Mm& y)
{
    if (x.isstruct() && !(y.gettype() == qv_cell && !y.isstruct() && y.size() == x.getnfields())) {
        // A struct element is the list of its field values, nothing else.
        error("In the assignment %s{...}=y, y must be a cell of the structure's %d field values",
              matrix_display_name(x), x.getnfields());
        return false;
    }
    if (x.gettype() == qv_cell)
        return store(x, r, y);
    if (x.gettype() != qv_none && x.size() > 0) {
        error("'%s' is not a cell array and can't be {}-indexed", matrix_display_name(x));
        return false;
    }
    replaced_target undo(x);
    x = empty_cell();
    return undo.commit(store(x, r, y));
}

// x.f = y: only the first element of a struct array receives the value.
bool assign_field(Mm& x, const char* field, const Mm& y)
{
    std::optional<replaced_target> undo;
    if (x.gettype() != qv_cell || (!x.isstruct() && x.size() > 0)) {
        undo.emplace(x);
        x = empty_cell();
    }
    if (x.findfield(field, 0) < 0 && !add_field_to_elements(x, field))
        return undo ? undo->commit(false) : false;
    const int k = x.findfield(field, 0);
    const int nfields = x.getnfields();
    if (x.size() == 0) {
        Mm one(0, 0, 0, 1, 1, qv_cell);
        Mm values = mm_access::field_list(nfields);
        if (one.gettype() != qv_cell || values.gettype() != qv_cell)
            return undo ? undo->commit(false) : false;  // refused under a returning hook
        for (int f = 0; f < nfields; ++f)
            one.addfield(x.getfields()[f], 1);
        one.setclassid(x.getclassid());
        *one.getpr((Mm*)nullptr) = values;
        x = one;
    }
    // Each step below checks what it built: after "Out of memory!" under a
    // hook that returns, a value may be left empty.
    if (!unshare(x) || x.gettype() != qv_cell || x.size() < 1)
        return undo ? undo->commit(false) : false;
    Mm& element = *x.getpr((Mm*)nullptr);
    // A field list shared with another struct is copied before the write,
    // at its exact size like every field list.
    if (element.gettype() != qv_cell || element.size() != nfields || element.dirty()) {
        Mm grown = field_cell_with(element, nfields);
        if (grown.gettype() != qv_cell || grown.size() != nfields)
            return undo ? undo->commit(false) : false;  // refused under a returning hook
        element = grown;
    }
    if (element.dirty() || element.gettype() != qv_cell || element.size() != nfields)
        return undo ? undo->commit(false) : false;
    element.getpr((Mm*)nullptr)[k] = y;
    return undo ? undo->commit(true) : true;
}

// Assigns y into x through this level of r; false when the assignment was
// abandoned, leaving x as it was.
bool assign_into(Mm& x, const Mr& r, const Mm& y)
{
    if (has_class_method(x, "subsasgn")) {
        const Mm result = call_class_function("subsasgn", x, make_subscript_record(r), y);
        x = result;
        return true;
    }
    switch (r.getkind()) {
    case Mr_field:
        return assign_field(x, r.getfieldname(), y);
    case Mr_brace:
        return assign_brace(x, r, y);
    default:
        return assign_paren(x, r, y);
    }
}

// x(i) = y with a double x and y, none of them sparse, N-d or a struct:
// nothing to settle, the one-index engine takes it as it is.
bool plain_one_index(const Mr& r, const Mm& y)
{
    if (r.ischained() || r.getkind() != Mr_paren || r.getnidx() != 1 || !r.getbase())
        return false;
    const Mm& x = *r.getbase();
    const Mm& i = r.getindex(0);
    return x.gettype() == qv_double && y.gettype() == qv_double && !x.getclassid() && !x.getfields() &&
           !y.getfields() && !x.issparse() && !y.issparse() && !i.issparse() && x.getndims() == 2 &&
           y.getndims() == 2 && i.getndims() == 2 && x.rows() > 0 && x.cols() > 0;
}

// Whether a brace reference names more than one element.
bool denotes_several(const Mr& p)
{
    if (p.getkind() != Mr_brace)
        return false;
    std::int64_t count = 1;
    for (int d = 0; d < p.getnidx(); ++d) {
        const Mm& i = p.getindex(d);
        std::int64_t n;
        if (is_colon_index(i))
            n = p.getbase() ? (p.getnidx() == 1 ? p.getbase()->size() : p.getbase()->size(d + 1)) : 1;
        else if (i.islogical() && i.gettype() == qv_double && !i.issparse())
            n = std::count_if(i.addr(), i.addr() + i.size(), [](double v) { return v != 0; });
        else
            n = i.size();
        count *= n;
    }
    return count > 1;
}

// A variable written through an index is used as an array: it loses its
// scalar-variable mark. Only a write takes it: reading x(k) changes nothing
// of x, so several threads may read one value.
Mm& indexed_root(const Mr& r)
{
    Mm& x = const_cast<Mm&>(*r.getbase());
    x.getflags().scalar_var = 0;
    return x;
}

void assign_reference(const Mr& r, const Mm& y)
{
    if (plain_one_index(r, y)) {
        assign_one(indexed_root(r), y, r.getindex(0));
        return;
    }
    if (y.gettype() == qv_none) {
        y.warn_uninit();
        return;
    }
    // Holds the source for the whole assignment: it may live inside the
    // target, whose storage the engines may replace.
    const Mm keep(y);
    if (r.ischained() && r.getparent() && denotes_several(*r.getparent())) {
        // Copy in, change, copy out would write one changed copy over each.
        error("A {}-reference to several elements can not be indexed further in an assignment");
        return;
    }
    if (r.ischained() && r.getparent()) {
        // Copy in, change, copy out: the level above receives the changed
        // value, up to the root variable.
        Mm x(*r.getparent(), 0);
        if (assign_into(x, r, y))
            assign_reference(*r.getparent(), x);
        return;
    }
    if (!r.getbase() || r.getkind() == Mr_none) {
        error("index reference without a value to index");
        return;
    }
    assign_into(indexed_root(r), r, y);
}

} // namespace

bool assign_paren_with_fields(Mm& x, const Mr& r, const Mm& y) { return assign_paren(x, r, y); }

void Mr::operator=(const Mm& y) { assign_reference(*this, y); }

void Mr::operator=(const Mr& r2)
{
    const Mm value(r2, 1);
    assign_reference(*this, value);
}
