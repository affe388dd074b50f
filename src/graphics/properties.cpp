// Handle properties: set and get over the engine's property operations, with
// the few names the library gives meaning to (UserData, String, CData), the
// property-list walk every constructor shares, and ishandle.
#include "graphics/properties.hpp"
#include "graphics/engine_values.hpp"
#include "graphics/property_names.hpp"
#include "value/heap_cells.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <plu.h>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr int name_buffer = 256;

// Names compare without case, A to Z folded only.
char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_folded(const char* name, const char* prefix)
{
    for (; *prefix; ++name, ++prefix)
        if (!*name || folded(*name) != *prefix)
            return false;
    return true;
}

bool equals_folded(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (folded(*a) != folded(*b))
            return false;
    return *a == *b;
}

// A name into its buffer; one too long for it becomes empty, with the
// buffer's warning.
void name_text(const Mm& name, char (&buf)[name_buffer])
{
    Mstr(name, buf, name_buffer);
    if (Mstr_size(name) > name_buffer)
        buf[0] = '\0';
}

bool is_user_data(const char* name) { return starts_with_folded(name, "user"); }
bool is_string_name(const char* name) { return starts_with_folded(name, "stri"); }
bool is_cdata(const char* name) { return equals_folded(name, "cdata"); }

int handle_count(const Mm& h)
{
    const int t = h.gettype();
    return (t == qv_double || t == qv_uint8) && h.size() > 0 ? h.size() : 0;
}

// Element k (1-based) of a handle value; a sparse one reads as its full form.
double handle_at(const Mm& h, int k)
{
    if (h.gettype() == qv_uint8)
        return *h.getpr(static_cast<unsigned char*>(nullptr), k);
    return *h.addr(k);
}

Mm full_handles(const Mm& h) { return h.issparse() ? full(h) : h; }

// The address an object's "UserData" holds, 0 when none.
std::uintptr_t user_data_address(double h)
{
    const miniM* m = vizmo_get_property(h, "UserData");
    if (!m->data || minim_numel(*m) < 1)
        return 0;
    const double a = std::trunc(m->data[0]);
    if (!(a > 0) || a >= 18446744073709551616.0)
        return 0;
    return static_cast<std::uintptr_t>(a);
}

void write_flag(const Mm& h, const char* name, double flag)
{
    miniM m{2, {1, 1, 1, 1}, 0, &flag};
    for (int k = 1, n = handle_count(h); k <= n; ++k)
        vizmo_set_property(handle_at(h, k), name, &m);
}

void set_user_data(const Mm& h, const Mm& value)
{
    for (int k = 1, n = handle_count(h); k <= n; ++k) {
        const double hk = handle_at(h, k);
        const std::uintptr_t old = user_data_address(hk);
        if (old && heap_cell_is_live(old))
            kaDestroyArray(reinterpret_cast<Mm*>(old));
        std::unique_ptr<Mm> cell(new Mm(value));
        heap_cell_register(cell.get());
        double address = static_cast<double>(reinterpret_cast<std::uintptr_t>(cell.release()));
        miniM m{2, {1, 1, 1, 1}, 0, &address};
        // From here the engine owns the cell: a dead handle hands it straight
        // back to the destroy hook.
        vizmo_set_property(hk, "UserData", &m);
    }
}

bool valid_uint8_image(const Mm& v) { return v.getndims() == 2 || v.getndims() == 3; }

Mm get_one(double h, const char* name)
{
    if (is_user_data(name)) {
        const std::uintptr_t a = user_data_address(h);
        if (a && heap_cell_is_live(a))
            return *reinterpret_cast<const Mm*>(a);
        return Mm();
    }
    Mm r = value_from_minim(*vizmo_get_property(h, name));
    if (is_string_name(name)) {
        const miniM* flag = vizmo_get_property(h, "CellString");
        if (flag->data && minim_numel(*flag) >= 1 && flag->data[0] > 0)
            return cellstr(r);
    }
    if (r.gettype() == qv_uint8)
        return r;  // bytes the engine kept as bytes
    if (is_cdata(name) && r.getndims() == 2) {
        const miniM* flag = vizmo_get_property(h, "CDataIsDouble");
        const bool present = flag->data && minim_numel(*flag) >= 1;
        if (present && flag->data[0] == 1)
            return r;
        if (present) {
            // The caller gave uint8 indices: undo im2double's shift.
            double* p = r.addr();
            for (int k = 0, n = r.size(); k < n; ++k)
                p[k] -= 1;
        }
        return muint8(r);
    }
    return r;
}

// An engine property listing, sorted; each name as the engine spells it.
std::vector<std::string> property_names(double h)
{
    vizmo_set_property(h, "PropertyNames", nullptr);
    Mm text = value_from_minim(*vizmo_get_property(h, "PropertyNames"));
    std::string all;
    for (int k = 1, n = text.size(); k <= n; ++k)
        all.push_back(static_cast<char>(*text.addr(k)));
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= all.size()) {
        const std::size_t comma = std::min(all.find(',', start), all.size());
        std::string piece = all.substr(start, comma - start);
        // A row of the padded name matrix is cut at its first blank.
        piece = piece.substr(0, piece.find(' '));
        if (!piece.empty())
            names.push_back(piece);
        start = comma + 1;
    }
    // Sorting the blank-padded rows orders them as the strings themselves:
    // every character of a name is above the blank.
    std::sort(names.begin(), names.end());
    return names;
}

Mm property_listing(const Mm& h)
{
    Mm out;
    if (handle_count(h) == 0)
        return out;
    for (const std::string& name : property_names(handle_at(h, 1)))
        out.member(name.c_str()) = get(h, name.c_str());
    return out;
}

bool same_name(const Mm& a, const Mm& b)
{
    const Mm r = strcmpi(a, b);
    return r.size() >= 1 && r.gettype() == qv_double && *r.addr(1) != 0;
}

bool is_colour_word(const Mm& s)
{
    static const char* const words[] = {"yellow", "magenta", "cyan", "red", "green", "blue", "white", "black"};
    std::string text;
    for (int k = 1, n = s.size(); k <= n; ++k)
        text.push_back(static_cast<char>(*s.addr(k)));
    for (const char* w : words)
        if (equals_folded(text.c_str(), w))
            return true;
    return false;
}

// The names objects take: the property names of the constants table and
// the root's defaults, and the few the library writes for itself.
class vocabulary {
public:
    vocabulary()
    {
#define NUMRUN_PROPERTY_NAME(id, text)                                                                                 \
    if (#id[1] == 'n')                                                                                                 \
        add(text);
#include "graphics/property_names.inc"
#undef NUMRUN_PROPERTY_NAME
        for (const char* own : {"CellString", "CDataIsDouble", "KillSerieses", "Capture", "CapSize", "WinParent",
                                "DesignMode", "ControlBar", "square", "xDate", "yDate", "zDate"})
            add(own);
    }
    bool has(const char* name) const
    {
        std::string folded_name(name);
        for (char& c : folded_name)
            c = folded(c);
        // A root default names a type and one of its properties.
        return names.count(folded_name) > 0 || folded_name.rfind("default", 0) == 0;
    }

private:
    void add(const char* text)
    {
        std::string f(text);
        for (char& c : f)
            c = folded(c);
        names.insert(std::move(f));
    }
    std::unordered_set<std::string> names;
};

// Set while setuprop writes: a user property may take any name.
bool user_property_write = false;

// The names an object holds already: those given meaning by the engine
// and the user's own, once written.
bool holds_property(double h, const char* name)
{
    for (const std::string& held : property_names(h))
        if (equals_folded(held.c_str(), name))
            return true;
    return false;
}

std::string handle_text(double h)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", h);
    return buf;
}

// Every handle is a live object that takes the name; false after the error.
// A name chopped to nothing by its buffer was longer than any property's.
bool may_write(const Mm& h, const char* name, bool chopped)
{
    static const vocabulary known;
    const bool any_name = user_property_write || is_user_data(name) || (known.has(name) && !chopped);
    for (int k = 1, n = handle_count(h); k <= n; ++k) {
        const double hk = handle_at(h, k);
        if (!vizmo_is_handle(hk)) {
            error("set: no graphics object has the handle %s (writing %s)", handle_text(hk).c_str(), name);
            return false;
        }
        if (!any_name && (chopped || !holds_property(hk, name))) {
            char type[64];
            Mstr(get_one(hk, "Type"), type, sizeof type);
            if (chopped)
                error("set: a name longer than %d characters is no property (object type %s)", name_buffer - 1, type);
            else
                error("set: unknown property '%s' (object type %s)", name, type);
            return false;
        }
    }
    return true;
}

// Element k of a cell list (1-based).
const Mm& at(const Mm& list, int k) { return list.mr(k); }

// The value of field k (0-based) of the first element of a struct.
Mm field_value(const Mm& s, int k) { return s.mr(1).mr(k + 1); }

} // namespace

Mm set(const Mm& h_in, const Mm& name, const Mm& value)
{
    if (name.size() == 0)
        return x_M;
    char buf[name_buffer];
    name_text(name, buf);
    const Mm h = full_handles(h_in);
    if (!may_write(h, buf, buf[0] == '\0'))
        return x_M;
    if (is_user_data(buf)) {
        set_user_data(h, value);
        return x_M;
    }

    // The value is converted and accepted before anything is written.
    Mm v = value;
    if (iscell(v)) {
        if (!iscellstr(v)) {
            display(value);
            error("set(h,name,value): can only accept value of type double or strings cell");
            return x_M;
        }
        v = mchar(Mm(CL(value)));
    }
    if (v.gettype() == qv_uint8) {
        if (!valid_uint8_image(v)) {
            im2double(v);  // reports the shape
            return x_M;
        }
        v = im2double(v);
    }
    if (v.gettype() != qv_double || v.isstruct()) {
        display(value);
        error("set(h,name,value): can only accept value of type double or strings cell");
        return x_M;
    }
    if (v.issparse())
        v = full(v);

    if (is_string_name(buf))
        write_flag(h, "CellString", iscell(value) ? 1 : 0);
    if (is_cdata(buf))
        write_flag(h, "CDataIsDouble", value.gettype() == qv_double && !value.isstr() ? 1 : 0);
    owned_minim m(v);
    for (int k = 1, n = handle_count(h); k <= n; ++k)
        vizmo_set_property(handle_at(h, k), buf, m.get());
    return x_M;
}

Mm set(const Mm& h_in, const Mm& list)
{
    const Mm h = full_handles(h_in);
    if (list.size() <= 0)
        return property_listing(h);
    if (!iscell(list)) {
        error("set: cannot parse in position %d", 1);
        return x_M;
    }
    const int n = list.size();
    int p = 1;
    while (p <= n) {
        const Mm& e = at(list, p);
        if (isstruct(e)) {
            for (int k = 0; k < e.getnfields(); ++k)
                set(h, TM(e.getfield(k)), field_value(e, k));
            p += 1;
        } else if (iscell(e) && p < n) {
            const Mm& values = at(list, p + 1);
            if (!iscell(values)) {
                error("set: position %d: if pn is a cell, pv must be a cell as well.", p);
                return x_M;
            }
            const int count = handle_count(h);
            if (e.size() == values.size()) {
                for (int k = 1; k <= e.size(); ++k)
                    set(h, at(e, k), at(values, k));
            } else if (values.rows() == count && values.cols() == e.size()) {
                for (int i = 1; i <= count; ++i)
                    for (int k = 1; k <= e.size(); ++k)
                        set(Mm(handle_at(h, i)), at(e, k), values.mr(i, k));
            } else {
                error("set: position %d: use cell1==cell2 or size(cell2)==[len(h) len(cell1)]", p);
                return x_M;
            }
            p += 2;
        } else if (e.isstr() && e.gettype() == qv_double) {
            if (e.size() == 1 || is_colour_word(e)) {
                set(h, pn_Color, e);
                p += 1;
            } else if (p < n) {
                set(h, e, at(list, p + 1));
                p += 2;
            } else {
                error("set: cannot parse in position %d", p);
                return x_M;
            }
        } else {
            error("set: cannot parse in position %d", p);
            return x_M;
        }
    }
    return x_M;
}

Mm set(const Mm& h) { return property_listing(full_handles(h)); }

Mm get(const Mm& h) { return property_listing(full_handles(h)); }

Mm get(const Mm& h_in, const Mm& name)
{
    const Mm h = full_handles(h_in);
    const int count = handle_count(h);
    if (iscell(name)) {
        Mm out(0, 0, 0, count, name.size(), qv_cell);
        if (out.size() != count * name.size())
            return out;  // refused storage, already reported
        for (int i = 1; i <= count; ++i)
            for (int k = 1; k <= name.size(); ++k)
                out.mr(i, k) = get(Mm(handle_at(h, i)), at(name, k));
        return out;
    }
    char buf[name_buffer];
    name_text(name, buf);
    if (count == 1)
        return get_one(handle_at(h, 1), buf);
    Mm out(0, 0, 0, count, 1, qv_cell);
    if (out.size() != count)
        return out;  // refused storage, already reported
    if (count == 0)
        out.getdims()[1] = 1;  // a 0 x 1 cell: empty values are made 0 x 0
    for (int k = 1; k <= count; ++k)
        out.mr(k, 1) = get_one(handle_at(h, k), buf);
    return out;
}

Mm get(const Mm& h, const char* name) { return get(h, TM(name)); }

namespace {

// A user property is made by its first write, under any name: the
// user-property functions write with any name allowed.
Mm set_user_property(const Mm& h, const Mm& name, const Mm& value)
{
    struct allow {
        bool saved = user_property_write;
        allow() { user_property_write = true; }
        ~allow() { user_property_write = saved; }
    } scope;
    return set(h, Mm((CL(name), value)));
}

} // namespace

Mm setuprop(const Mm& h, const Mm& name, const Mm& value) { return set_user_property(h, name, value); }

Mm getuprop(const Mm& h, const Mm& name) { return get(h, name); }

Mm clruprop(const Mm& h, const Mm& name) { return set_user_property(h, name, Mm()); }

Mm ishandle(const Mm& h_in)
{
    const Mm h = full_handles(h_in);
    const int nd = h.getndims() < 2 ? 2 : h.getndims();
    Mm r(0, 0, 0, nd, h.getdims(), qv_double);
    if (r.size() != h.size())
        return r;  // refused storage, already reported
    double* out = r.addr();
    const int count = handle_count(h);
    for (int k = 1, n = r.size(); k <= n; ++k)
        out[k - 1] = k <= count ? vizmo_is_handle(handle_at(h, k)) : 0;
    return r;
}

Mm ishghandle(const Mm& h) { return ishandle(h); }

Mm findpropvalue(const Mm& name, const Mm& dflt, const Mm& args, int from)
{
    const int n = iscell(args) ? args.size() : 0;
    int p = from;
    while (p <= n) {
        const Mm& e = at(args, p);
        if (isstruct(e)) {
            for (int k = 0; k < e.getnfields(); ++k)
                if (same_name(TM(e.getfield(k)), name))
                    return field_value(e, k);
            p += 1;
        } else if (iscell(e) && p < n) {
            const Mm& values = at(args, p + 1);
            if (!iscell(values)) {
                error("set(h,pn,pv): if pn is a cell, pv must be a cell as well.");
                return dflt;
            }
            if (e.size() != values.size()) {
                error("findpropvalue: got two cells, different sizes");
                return dflt;
            }
            for (int k = 1; k <= e.size(); ++k)
                if (same_name(at(e, k), name))
                    return at(values, k);
            p += 2;
        } else if (e.isstr() && e.gettype() == qv_double) {
            if (e.size() == 1) {
                p += 1;
            } else if (p < n) {
                if (same_name(e, name))
                    return at(args, p + 1);
                p += 2;
            } else {
                error("set: cannot parse in position %d", p);
                return dflt;
            }
        } else {
            error("set: cannot parse in position %d", p);
            return dflt;
        }
    }
    return dflt;
}

void set_given(const Mm& h, const Mm& name, const Mm& value)
{
    if (value.size() > 0)
        set(h, name, value);
}

void set_props_from(const Mm& h, const Mm& args, int from)
{
    const int n = args.size();
    if (n >= from)
        set(h, Mm(args(colon(double(from), double(n)))));
}

int count_data_args(const Mm& args)
{
    if (!iscell(args))
        return 0;
    int count = 0;
    for (int k = 1, n = args.size(); k <= n; ++k) {
        const Mm& e = at(args, k);
        if (e.isstr() || isstruct(e) || iscell(e))
            break;
        ++count;
    }
    return count;
}

Mm color_to_rgb(const Mm& value)
{
    if (!value.isstr())
        return value;
    struct Colour {
        const char* name;
        const char* letter;
        double rgb[3];
    };
    static const Colour table[] = {
        {"yellow", "y", {1, 1, 0}}, {"magenta", "m", {1, 0, 1}}, {"cyan", "c", {0, 1, 1}},
        {"red", "r", {1, 0, 0}},    {"green", "g", {0, 1, 0}},   {"blue", "b", {0, 0, 1}},
        {"white", "w", {1, 1, 1}},  {"black", "k", {0, 0, 0}},   {"none", nullptr, {0, 0, 0}},
    };
    std::string text;
    for (int k = 1, n = value.size(); k <= n; ++k)
        text.push_back(static_cast<char>(*value.addr(k)));
    for (const Colour& c : table)
        if (equals_folded(text.c_str(), c.name) || (c.letter && equals_folded(text.c_str(), c.letter))) {
            Mm r(0, 0, 0, 1, 3, qv_double);
            if (r.size() == 3)
                std::copy(c.rgb, c.rgb + 3, r.addr());
            return r;
        }
    error("'%s' is illegal color", text.c_str());
    return x_M;
}
