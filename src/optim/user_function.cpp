// The call of a user function by name shared by the solvers.
#include "optim/user_function.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/host.h"
#include "velkor/report.h"

#include <cmath>

namespace {

// Drops the leading arguments after a call, errors included. A cell the
// function kept is left as the function saw it (the next call copies it).
struct leading_reset {
    Mm& args;
    const Mm& empty;  // shared: dropping a point allocates nothing
    int count;
    ~leading_reset()
    {
        if (args.dirty())
            return;
        Mm* slots = args.getpr((Mm*)nullptr);
        for (int k = 0; k < count; ++k)
            slots[k] = empty;
    }
};

} // namespace

user_function::user_function(const Mm& name, const Mm& extra, int leading) : leading_(leading)
{
    Mstr(name, name_, sizeof name_);
    const bool is_list = extra.gettype() == qv_cell && !extra.isstruct();
    const int nextra = is_list ? extra.size() : (isempty(extra) ? 0 : 1);
    args_ = Mm(0, 0, 0, 1, leading + nextra, qv_cell);
    if (!allocated(args_, leading + nextra))
        return;
    Mm* to = args_.getpr((Mm*)nullptr);
    if (is_list) {
        const Mm* from = extra.getpr((Mm*)nullptr);
        for (int k = 0; k < nextra; ++k)
            to[leading + k] = from[k];
    } else if (nextra == 1) {
        to[leading] = extra;
    }
}

Mm* user_function::slots()
{
    if (!args_.hasstorage() || args_.size() < leading_)
        return nullptr;
    if (args_.dirty()) {
        // The function kept the cell we passed: give it that one for good.
        Mm fresh(0, 0, 0, 1, args_.size(), qv_cell);
        if (!allocated(fresh, args_.size()))
            return nullptr;
        const Mm* from = args_.getpr((Mm*)nullptr);
        Mm* to = fresh.getpr((Mm*)nullptr);
        for (int k = 0; k < args_.size(); ++k)
            to[k] = from[k];
        args_ = fresh;
    }
    return args_.getpr((Mm*)nullptr);
}

Mm user_function::operator()(const Mm& x)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = x;
    leading_reset reset{args_, empty_, 1};
    return feval_call_nargout1(name_, args_);
}

Mm user_function::call2(const Mm& a, const Mm& b)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = a;
    s[1] = b;
    leading_reset reset{args_, empty_, 2};
    return feval_call_nargout1(name_, args_);
}

Mm user_function::call_outputs(const Mm& x, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = x;
    leading_reset reset{args_, empty_, 1};
    return feval_call_1(name_, args_, o1, o2, o3, o4, o5, o6);
}

Mm user_function::call2_outputs(const Mm& a, const Mm& b, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = a;
    s[1] = b;
    leading_reset reset{args_, empty_, 2};
    return feval_call_1(name_, args_, o1, o2, o3, o4, o5, o6);
}

double first_value(const Mm& result)
{
    if (result.size() < 1) {
        error("optimization: function returned empty result");
        return NAN;
    }
    if (result.gettype() == qv_double && !result.issparse())
        return result.addr()[0];
    const Mm d = full(mdouble(result));
    if (d.gettype() != qv_double || d.size() < 1) {
        error("optimization: function returned empty result");
        return NAN;
    }
    return d.addr()[0];
}

double first_argument(const Mm& v)
{
    if (v.gettype() == qv_double && !v.issparse() && v.size() > 0)
        return v.addr()[0];
    return full(mdouble(v)).r();
}
