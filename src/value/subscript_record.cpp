// The subscript record: how an index reference is described to the methods
// of a user class that takes over its own indexing.
#include "value/subscript_record.hpp"
#include "velkor/array.h"
#include "velkor/index.h"
#include "velkor/value.h"

namespace {

const char* type_text(Mr_idx_type kind)
{
    switch (kind) {
    case Mr_paren:
        return "()";
    case Mr_brace:
        return "{}";
    case Mr_field:
        return ".";
    default:
        return "?";
    }
}

} // namespace

Mm make_subscript_record(const Mr& r)
{
    Mm subs;
    if (r.getkind() == Mr_field) {
        subs = TM(r.getfieldname() ? r.getfieldname() : "");
    } else {
        const int n = r.getnidx() > 0 ? r.getnidx() : 0;
        Mm list(0, 0, 0, n, 1, qv_cell);
        Mm* items = list.getpr((Mm*)nullptr);
        for (int k = 0; k < n; ++k)
            items[k] = Mm(r.getindex(k));  // a copy: a colon loses its marker name
        subs = list;
    }
    Mm values(0, 0, 0, 2, 1, qv_cell);
    Mm* v = values.getpr((Mm*)nullptr);
    v[0] = TM(type_text(r.getkind()));
    v[1] = subs;
    Mm record(0, 0, 0, 1, 1, qv_cell);
    record.addfield("type", 1);
    record.addfield("subs", 1);
    *record.getpr((Mm*)nullptr) = values;
    return record;
}

namespace {
class_method_test method_test = nullptr;
}

void set_class_method_test(class_method_test test) noexcept { method_test = test; }

bool has_class_method(const Mm& x, const char* method)
{
    const int id = x.getclassid();
    return id != 0 && method_test && method_test(id, method);
}
