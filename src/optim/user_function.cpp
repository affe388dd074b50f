// The call of a user function by name shared by the solvers.
#include "optim/user_function.hpp"

#include "value/element_read.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/host.h"
#include "velkor/report.h"

#include <cmath>
#include <cstring>

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

// Empties the output slots the function also assigned, errors included
// (the first slot's result is moved out by the call itself).
struct outputs_reset {
    Mm (&outs)[6];
    const Mm& empty;
    ~outputs_reset()
    {
        for (Mm& o : outs)
            if (o.hasstorage() && o.addr() != empty.addr())
                o = empty;
    }
};

// Whether v is ours alone and still a real double of n elements, so that
// it may be rewritten in place.
bool reusable(const Mm& v, int n)
{
    return v.hasstorage() && !v.dirty() && v.gettype() == qv_double && !v.isc() && !v.issparse() &&
           v.size() == n && v.rows() == n;
}

} // namespace

user_function::user_function(const Mm& name, const Mm& extra, int leading) : leading_(leading)
{
    Mstr(name, name_, sizeof name_);
    name_value_ = TM(name_);
    for (Mm& o : outs_)
        o = empty_;
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

Mm user_function::call_first(int leading)
{
    leading_reset reset{args_, empty_, leading};
    outputs_reset outputs{outs_, empty_};
    return feval_call_nargout1(name_value_, args_, outs_);
}

Mm user_function::call_kept()
{
    outputs_reset outputs{outs_, empty_};
    return feval_call_nargout1(name_value_, args_, outs_);
}

Mm user_function::operator()(const Mm& x)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = x;
    return call_first(1);
}

Mm user_function::call2(const Mm& a, const Mm& b)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = a;
    s[1] = b;
    return call_first(2);
}

Mm user_function::call_point(double t, const double* y, int n, bool& called)
{
    // The point stays in the cell between calls and is rewritten there
    // while the cell is its only holder. A value the function kept (alone,
    // or inside the cell, which slots() then replaces) is left to it: the
    // next point goes into a fresh one.
    called = false;
    Mm* s = slots();
    if (!s)
        return x_M;
    if (reusable(s[0], 1))
        s[0].addr()[0] = t;
    else
        s[0] = Mm(t);
    if (!reusable(s[1], n))
        s[1] = Mm(0, 0, 0, n, 1, qv_double);
    if (!allocated(s[0], 1) || !allocated(s[1], n))
        return x_M;
    std::memcpy(s[1].addr(), y, sizeof(double) * static_cast<std::size_t>(n));
    called = true;
    return call_kept();
}

Mm user_function::call_outputs(const Mm& x, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = x;
    leading_reset reset{args_, empty_, 1};
    return feval_call_1(name_value_, args_, o1, o2, o3, o4, o5, o6);
}

Mm user_function::call2_outputs(const Mm& a, const Mm& b, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6)
{
    Mm* s = slots();
    if (!s)
        return x_M;
    s[0] = a;
    s[1] = b;
    leading_reset reset{args_, empty_, 2};
    return feval_call_1(name_value_, args_, o1, o2, o3, o4, o5, o6);
}

double first_value(const Mm& result)
{
    if (result.size() < 1) {
        error("optimization: function returned empty result");
        return NAN;
    }
    // A complex value has no sign and no order: its real part alone made
    // sqrt(x) - 1 look like -1 left of 0 and a minimum of a complex
    // objective came back as its real part, reported as converged.
    if (first_imaginary(result) != 0) {
        error("optimization: function returned complex value");
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

double first_imaginary(const Mm& v) { return v.size() > 0 ? imag_at(v, 0) : 0; }

double first_argument(const Mm& v)
{
    if (v.gettype() == qv_double && !v.issparse() && v.size() > 0)
        return v.addr()[0];
    return full(mdouble(v)).r();
}

bool limit_argument(const Mm& v, const char* who, const char* name, double& out)
{
    if (isempty(v) || v.isstr() || !(isnumeric(v) || islogical(v)) || v.gettype() == qv_none) {
        error("%s: the limit %s is empty or not numeric", who, name);
        return false;
    }
    out = first_argument(v);
    // The interval runs along the real line: a limit such as 1+2i was
    // read as 1, and the answer was that of another interval.
    if (first_imaginary(v) != 0) {
        error("%s: the limit %s must be real", who, name);
        return false;
    }
    return true;
}
