// The options vector and options structure of the optimisation functions:
// foptions, optimset, optimget, and the conversions the solvers share.
#include "optim/options.hpp"

#include "host/console.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <cmath>
#include <climits>
#include <cstring>

namespace {

constexpr int option_count = 18;

// Position k + 1 of the vector is named names[k]; "?" marks a position the
// structure cannot set (no field is ever named "?").
constexpr const char* names[option_count] = {
    "Display", "TolX", "TolFun", "TolCon", "?", "?", "?", "?", "DerivativeCheck",
    "?", "?", "?", "?", "MaxFunEvals", "MinAbsMax", "DiffMinChange", "DiffMaxChange", "?",
};

// Positions whose zero or NaN entry foptions replaces, with their defaults.
struct tolerance_default {
    int position;
    double value;
};
constexpr tolerance_default tolerance_defaults[] = {
    {2, 1e-4}, {3, 1e-4}, {4, 1e-6}, {16, 1e-8}, {17, 0.1},
};

bool has_field(const Mm& s, const char* name)
{
    return istrue(isfield(s, TM(name))) != 0;
}

} // namespace

int option_int(double v) noexcept
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

double option_at(const Mm& options, int k)
{
    if (options.gettype() != qv_double || options.issparse() || k < 1 || k > options.size())
        return NAN;
    return options.addr()[k - 1];
}

Mm foptions() { return foptions(Mm()); }

Mm foptions(Mm v)
{
    if (v.gettype() == qv_none) {
        v.warn_uninit();
        v = Mm();
    }
    if (v.gettype() != qv_double || v.issparse() || v.isstr() || v.islogical())
        v = full(mdouble(v));
    if (v.size() > option_count)
        v = Mm(v(colon(1.0, double(option_count))));
    // Indexed assignment grows a shorter vector with zeros (an empty one
    // into a row) and hands back private storage we may write.
    v.vwcopy1(Mm(0.0), Mm(double(option_count)));
    if (v.size() != option_count)
        return x_M;
    double* p = v.addr();
    for (const tolerance_default& t : tolerance_defaults) {
        double& e = p[t.position - 1];
        if (e == 0 || std::isnan(e))
            e = t.value;
    }
    return v;
}

Mm optimset()
{
    Mm s;
    for (int k = 0; k < option_count; ++k)
        if (std::strcmp(names[k], "?") != 0)
            s = setfield(s, TM(names[k]), Mm());
    return s;
}

Mm optimset(const Mm&)
{
    error("not supported.");
    return x_M;
}

Mm optimset(const Mm& first, const Mm& rest)
{
    // The pairs as a list of borrowed values: the name in front when first
    // is a name, then the elements of rest.
    const int nrest = rest.gettype() == qv_cell ? rest.size() : (isempty(rest) ? 0 : 1);
    const Mm* rest_items = rest.gettype() == qv_cell ? rest.getpr((Mm*)nullptr) : &rest;
    Mm s;
    const bool name_first = !isempty(first) && isstr(first);
    if (!isempty(first) && !name_first)
        s = first;  // shared, never written: setfield returns a new value
    const int n = nrest + (name_first ? 1 : 0);
    if (n == 1)
        return s;
    auto item = [&](int k) -> const Mm& {  // 0-based
        if (name_first)
            return k == 0 ? first : rest_items[k - 1];
        return rest_items[k];
    };
    for (int k = 0; k < n; k += 2) {
        const Mm empty;
        const Mm& value = k + 1 < n ? item(k + 1) : empty;
        s = setfield(s, item(k), value);
    }
    return s;
}

Mm optimget(const Mm& opts, const Mm& name) { return optimget(opts, name, Mm()); }

Mm optimget(const Mm& opts, const Mm& name, const Mm& dflt)
{
    if (istrue(isfield(opts, name)))
        return getfield(opts, name);
    return dflt;
}

Mm options_from_struct(const Mm& opts)
{
    Mm v = foptions();
    if (!v.hasstorage() || v.size() != option_count)
        return v;
    double* p = v.addr();
    for (int k = 0; k < option_count; ++k) {
        if (std::strcmp(names[k], "?") == 0 || !has_field(opts, names[k]))
            continue;
        Mm field = getfield(opts, TM(names[k]));
        if (field.size() != 1)
            continue;
        if (field.gettype() != qv_double || field.issparse())
            field = full(mdouble(field));
        if (field.size() == 1 && field.gettype() == qv_double)
            p[k] = field.addr()[0];
    }
    return v;
}

int option_index(const Mm& name, const char* const* table, int count)
{
    char text[64];
    Mstr_row(name, text, sizeof text);
    for (int k = 0; k < count; ++k)
        if (ascii_stricmp(text, table[k]) == 0)
            return k + 1;
    return 0;
}

bool options_vector(const Mm& options, const char* who, bool native_struct, Mm& out)
{
    // The settings are real numbers: an imaginary part was dropped without
    // a word, and the search ran under other settings.
    if (options.isstruct()) {
        for (const char* name : names)
            if (std::strcmp(name, "?") != 0 && has_field(options, name) &&
                iscomplex(getfield(options, TM(name)))) {
                error("%s: the option %s must be real", who, name);
                return false;
            }
        out = options_from_struct(options);
        return true;
    }
    if (isempty(options)) {
        out = native_struct ? options_from_struct(options) : options;
        return true;
    }
    if (options.isstr() || !(isnumeric(options) || islogical(options)) || options.gettype() == qv_none) {
        error("%s: options must be an options vector or a structure", who);
        return false;
    }
    if (iscomplex(options)) {
        error("%s: options must be real", who);
        return false;
    }
    out = options.gettype() == qv_double && !options.issparse() ? options : full(mdouble(options));
    return true;
}
