// User classes: the process-wide registry of classes and their methods, the
// dispatch of method calls, and the class and conversion functions.
#include "array/classes.hpp"
#include "host/display.hpp"
#include "io/string_functions.hpp"
#include "value/report.hpp"
#include "value/subscript_record.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int max_classes = 32;
constexpr int max_methods = 128;

// A method is stored with the signature it was registered under, and is
// called with exactly that signature.
struct method_slot {
    const char* name;  // the registering caller's string; null marks a free slot
    enum kind_t { one, two, three, with_outputs } kind;
    union {
        class_method_1 f1;
        class_method_2 f2;
        class_method_3 f3;
        class_method_out fout;
    };
};

struct class_entry {
    class_record record;
    method_slot methods[max_methods];
};

int class_count = 0;
class_entry classes[max_classes];

bool in_use(int index) { return index >= 0 && index < class_count; }

void store_method(const char* class_name, const char* method_name, method_slot fn)
{
    int index = add_class(class_name);
    int slot = add_class_method(index, method_name);
    if (slot < 0)
        return;
    method_slot& s = classes[index].methods[slot];
    s.kind = fn.kind;
    switch (fn.kind) {
    case method_slot::one: s.f1 = fn.f1; break;
    case method_slot::two: s.f2 = fn.f2; break;
    case method_slot::three: s.f3 = fn.f3; break;
    case method_slot::with_outputs: s.fout = fn.fout; break;
    }
}

// The value whose class decides a call: the first with struct fields, else
// the last one.
const Mm& deciding_value(const Mm* const* values, int n)
{
    for (int k = 0; k < n; ++k)
        if (values[k]->isstruct())
            return *values[k];
    return *values[n - 1];
}

Mm call_class_method(const char* method_name, const Mm* const* values, int n)
{
    const char* class_name = class_name_of(deciding_value(values, n));
    int index = find_class(class_name);
    int slot = find_class_method(index, method_name);
    if (slot < 0) {
        error("class %s has no method named %s", class_name, method_name);
        return x_M;
    }
    const method_slot& s = classes[index].methods[slot];
    // Copies of the values share the caller's data; missing ones are nop_M.
    auto arg = [&](int k) { return k < n ? Mm(*values[k]) : Mm(nop_M); };
    switch (s.kind) {
    case method_slot::one:
        return s.f1(arg(0));
    case method_slot::two:
        return s.f2(arg(0), arg(1));
    case method_slot::three:
        return s.f3(arg(0), arg(1), arg(2));
    case method_slot::with_outputs: {
        Mm out1, out2;
        return s.fout(arg(0), arg(1), i_o, out1, out2);
    }
    }
    return x_M;
}

} // namespace

// ---- the registry ----

int find_class(const char* name)
{
    for (int k = 0; k < class_count; ++k)
        if (std::strcmp(classes[k].record.name, name) == 0)
            return k;
    return -1;
}

int find_class_method(int index, const char* method_name)
{
    if (!in_use(index))
        return -1;
    for (int k = 0; k < max_methods; ++k) {
        const char* n = classes[index].methods[k].name;
        if (n && std::strcmp(n, method_name) == 0)
            return k;
    }
    return -1;
}

int add_class(const char* name)
{
    int index = find_class(name);
    if (index >= 0)
        return index;
    if (class_count == max_classes) {
        error("too many classes");
        return max_classes - 1;
    }
    class_entry& e = classes[class_count];
    e = class_entry{};
    std::snprintf(e.record.name, sizeof e.record.name, "%s", name);  // at most 39 characters
    return class_count++;
}

int add_class_method(int index, const char* method_name)
{
    if (!in_use(index)) {
        error("add:wrong classid");
        return -1;
    }
    int slot = find_class_method(index, method_name);
    if (slot >= 0)
        return slot;
    for (int k = 0; k < max_methods; ++k) {
        method_slot& s = classes[index].methods[k];
        if (!s.name) {
            s.name = method_name;
            return k;
        }
    }
    error("too many class functions");
    return -1;
}

int class_id_of_name(const char* name) { return add_class(name) + 1; }

const class_record* class_record_of_id(int id)
{
    if (!in_use(id - 1)) {
        error("[]:wrong classid");
        return nullptr;
    }
    return &classes[id - 1].record;
}

namespace {

// The indexing engines below this layer ask whether an object's class
// takes over x(...), x{...} or x.f; the registry answers from load on.
bool class_has_method(int id, const char* method)
{
    const class_record* record = class_record_of_id(id);
    return record && is_class_function(record->name, method);
}

const bool method_test_installed = (set_class_method_test(class_has_method), true);

} // namespace

void register_class_function(const char* class_name, const char* method_name, class_method_1 fn)
{
    method_slot s{};
    s.kind = method_slot::one;
    s.f1 = fn;
    store_method(class_name, method_name, s);
}

void register_class_function(const char* class_name, const char* method_name, class_method_2 fn)
{
    method_slot s{};
    s.kind = method_slot::two;
    s.f2 = fn;
    store_method(class_name, method_name, s);
}

void register_class_function(const char* class_name, const char* method_name, class_method_3 fn)
{
    method_slot s{};
    s.kind = method_slot::three;
    s.f3 = fn;
    store_method(class_name, method_name, s);
}

void register_class_function(const char* class_name, const char* method_name, class_method_out fn)
{
    method_slot s{};
    s.kind = method_slot::with_outputs;
    s.fout = fn;
    store_method(class_name, method_name, s);
}

void unregister_class_function(const char* class_name, const char* method_name)
{
    int index = find_class(class_name);
    int slot = find_class_method(index, method_name);
    if (slot < 0) {
        error("del: no function %s in class %s", method_name, class_name);
        return;
    }
    classes[index].methods[slot].name = nullptr;
}

int is_class_function(const char* class_name, const char* method_name)
{
    return find_class_method(find_class(class_name), method_name) >= 0;
}

Mm call_class_function(const char* method_name, const Mm& a)
{
    const Mm* v[] = {&a};
    return call_class_method(method_name, v, 1);
}

Mm call_class_function(const char* method_name, const Mm& a, const Mm& b)
{
    const Mm* v[] = {&a, &b};
    return call_class_method(method_name, v, 2);
}

Mm call_class_function(const char* method_name, const Mm& a, const Mm& b, const Mm& c)
{
    const Mm* v[] = {&a, &b, &c};
    return call_class_method(method_name, v, 3);
}

// ---- language functions ----

int isa(const Mm& x, const Mm& name)
{
    if (x.issparse() && text_equals(TM("double"), name))
        return 1;
    return text_equals(mclass(x), name);
}

Mm mclass(const Mm& x) { return TM(class_name_of(x)); }

Mm mclass(const Mm& s, const Mm& name)
{
    char buf[40];
    Mstr_row(name, buf, sizeof buf);
    Mm r(s);
    r.setclassid(class_id_of_name(buf));
    return r;
}

Mm mdouble(const Mm& x)
{
    if (x.isstruct())
        return call_class_function("double", x);
    Mm r;
    if (x.gettype() == qv_double) {
        if (x.issparse())
            r.deepcopy(x.isc(), 0, x, qv_double);
        else
            r = x;
        r.setstr(0);
        return r;
    }
    r.deepcopy(x, qv_double);
    return r;
}

// Characters have no sparse form either.
Mm mchar(const Mm& x) { return str2mat(x.issparse() ? full(x) : x); }

Mm muint8(const Mm& x)
{
    if (x.gettype() == qv_uint8)
        return x;
    Mm r;
    if (x.issparse()) {
        // Bytes have no sparse form: the conversion of the full value.
        r.deepcopy(full(x), qv_uint8);
        return r;
    }
    r.deepcopy(x, qv_uint8);
    return r;
}

Mm muint16(const Mm&)
{
    error("%s is not yet implemented", "uint16");
    return x_M;
}

Mm subsasgn(const Mm&)
{
    error_input("subsasgn", 1);
    return Mm(0.0);
}

Mm subsasgn(const Mm&, const Mm&)
{
    error_input("subsasgn", 2);
    return Mm(0.0);
}

Mm subsasgn(const Mm& a, const Mm& s, const Mm& b)
{
    if (a.isstruct() || b.isstruct())
        return call_class_function("subsasgn", a, s, b);
    error("dummy %s", "subsasgn");
    return x_M;
}

Mm subsref(const Mm&)
{
    error_input("subsref", 1);
    return Mm(0.0);
}

Mm subsref(const Mm& a, const Mm& s)
{
    if (a.isstruct())
        return call_class_function("subsref", a, s);
    error("dummy %s", "subsref");
    return x_M;
}

Mm subsindex(const Mm& a)
{
    if (a.isstruct())
        return call_class_function("subsindex", a);
    return mdouble(a);
}
