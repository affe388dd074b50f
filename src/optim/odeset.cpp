// odeset and odeget: the ODE options value, a 4x1 column [RelTol, AbsTol,
// Refine, InitialStep] whose non-positive slots read as unset.
#include "optim/options.hpp"

#include "value/element_read.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/optim.h"
#include "velkor/report.h"

namespace {

constexpr const char* ode_option_names[] = {"RelTol", "AbsTol", "Refine", "InitialStep"};
constexpr int ode_option_count = 4;

// An options value is numeric: a structure, a cell or a text of four
// elements would be read as numbers (or fail inside the element access).
bool options_value(const Mm& options, const char* who)
{
    if (options.isstruct() || options.gettype() == qv_cell || options.isstr() ||
        !(isnumeric(options) || islogical(options))) {
        error("%s: options must be an options vector made by odeset", who);
        return false;
    }
    if (options.size() != ode_option_count) {
        error("%s: options is not correct size", who);
        return false;
    }
    // The slots are real settings: an imaginary part was dropped without a
    // word.
    if (iscomplex(options)) {
        error("%s: options must be real", who);
        return false;
    }
    return true;
}

Mm odeset_pairs(const Mm& options, const Mm* const* pairs, int npairs)
{
    Mm out;
    if (options.size() == 0) {
        out = Mm(0, 0, 0, ode_option_count, 1, qv_double);
        if (!out.hasstorage() || out.size() != ode_option_count)
            return x_M;
        for (int k = 0; k < ode_option_count; ++k)
            out.addr()[k] = 0;
    } else {
        // What odeget refuses is refused here as well, rather than written.
        if (!options_value(options, "odeset"))
            return x_M;
        out.deepcopy(full(mdouble(options)), qv_none);
    }
    for (int k = 0; k < npairs; ++k) {
        const Mm& name = *pairs[2 * k];
        const Mm& value = *pairs[2 * k + 1];
        const int slot = option_index(name, ode_option_names, ode_option_count);
        if (slot == 0 || value.size() == 0)
            continue;
        if (imag_at(value, 0) != 0) {
            error("odeset: %s must be real", ode_option_names[slot - 1]);
            return x_M;
        }
        out.r(double(slot)) = value.r();
    }
    return out;
}

} // namespace

Mm odeset() { return odeset_pairs(Mm(), nullptr, 0); }

Mm odeset(const Mm&) { return Mm(error_input("odeset", 1)); }

Mm odeset(const Mm& options, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3,
          const Mm& n4, const Mm& v4, const Mm& n5, const Mm& v5)
{
    const Mm* pairs[] = {&n1, &v1, &n2, &v2, &n3, &v3, &n4, &v4, &n5, &v5};
    return odeset_pairs(options, pairs, 5);
}

Mm odeset(const Mm& n1, const Mm& v1) { return odeset(nop_M, n1, v1, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M); }
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1)
{
    return odeset(o, n1, v1, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M);
}
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2)
{
    return odeset(nop_M, n1, v1, n2, v2, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M);
}
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2)
{
    return odeset(o, n1, v1, n2, v2, nop_M, nop_M, nop_M, nop_M, nop_M, nop_M);
}
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3)
{
    return odeset(nop_M, n1, v1, n2, v2, n3, v3, nop_M, nop_M, nop_M, nop_M);
}
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3)
{
    return odeset(o, n1, v1, n2, v2, n3, v3, nop_M, nop_M, nop_M, nop_M);
}
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3, const Mm& n4,
          const Mm& v4)
{
    return odeset(nop_M, n1, v1, n2, v2, n3, v3, n4, v4, nop_M, nop_M);
}
Mm odeset(const Mm& o, const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3,
          const Mm& n4, const Mm& v4)
{
    return odeset(o, n1, v1, n2, v2, n3, v3, n4, v4, nop_M, nop_M);
}
Mm odeset(const Mm& n1, const Mm& v1, const Mm& n2, const Mm& v2, const Mm& n3, const Mm& v3, const Mm& n4,
          const Mm& v4, const Mm& n5, const Mm& v5)
{
    return odeset(nop_M, n1, v1, n2, v2, n3, v3, n4, v4, n5, v5);
}

Mm odeget(const Mm&) { return Mm(error_input("odeget", 1)); }

Mm odeget(const Mm& options, const Mm& name) { return odeget(options, name, nop_M); }

Mm odeget(const Mm& options, const Mm& name, const Mm& dflt)
{
    if (options.size() == 0)
        return Mm(dflt);
    if (!options_value(options, "odeget"))
        return x_M;
    const int slot = option_index(name, ode_option_names, ode_option_count);
    if (slot > 0) {
        const double v = full(mdouble(options)).r(double(slot));
        if (v > 0)
            return Mm(v);
    }
    return Mm(dflt);
}
