// Call information and version: the argument counts of the running call,
// which the host or the compiled code sets before each call, the language
// file and line being run, the version texts, the extreme doubles and the
// current directory.
#include "engine/scalar_real.hpp"
#include "host/search_path.hpp"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"

#include <cstdio>
#include <string>

// Each thread runs its own calls, so each has its own counts.
thread_local double nargin_val = 0;
thread_local double nargout_val = 0;
thread_local int nargin_set = 0;
thread_local int nargout_set = 0;

Mm nargin() { return Mm(nargin_val); }
Mm nargout() { return Mm(nargout_val); }

Mm argn(i_o_t, Mm& outputs, Mm& inputs)
{
    outputs = Mm(nargout_val);
    inputs = Mm(nargin_val);
    return x_M;
}

Mm nargchk(const Mm&) { return Mm(error_input("nargchk", 1)); }
Mm nargchk(const Mm&, const Mm&) { return Mm(error_input("nargchk", 2)); }

Mm nargchk(const Mm& low, const Mm& high, const Mm& n)
{
    const char* text = "";
    if (istrue(lt(n, low)))
        text = "too few input arguments";
    if (istrue(gt(n, high)))
        text = "too many input arguments";
    return TM(text);
}

namespace {

bool in_a_call() { return qv_error_stack.depth > 0 && qv_error_stack.depth < qv_error_stack_t::frames; }

} // namespace

Mm vfilename()
{
    if (!in_a_call())
        return TM("unknown");
    const char* function = qv_error_stack.functions[qv_error_stack.depth];
    std::string name;
    split_dir_and_name(function ? function : "", nullptr, &name);
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return TM(name.c_str());
}

Mm vfileline()
{
    return Mm(in_a_call() ? static_cast<double>(qv_error_stack.lines[qv_error_stack.depth]) : 0.0);
}

namespace {

constexpr double version_number = 4.51;
constexpr const char* product_word = "VORSEN";
constexpr const char* release_date = "Sep 14 2000";

} // namespace

Mm version()
{
    char text[64];
    std::snprintf(text, sizeof text, "%4.2f %s", version_number, product_word);
    return TM(text);
}

Mm version(i_o_t, Mm& v, Mm& d)
{
    v = version();
    d = TM(release_date);
    return x_M;
}

Mm ver()
{
    disp(version());
    return x_M;
}

Mm realmax()
{
    double v = 0;
    machine_realmax(&v);
    return Mm(v);
}

Mm realmin()
{
    double v = 0;
    machine_realmin(&v);
    return Mm(v);
}

Mm pwd() { return cd(); }
