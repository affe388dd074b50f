// The hooks through which a host evaluates language text, calls a function
// by name and runs GUI callback texts, with their load-time values.
#include "velkor/checks.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

Mm feval_not_linked(Mm, Mm, i_o_t, Mm&, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    error("feval was not linked with the program.");
    return x_M;
}

// A callback text is evaluated and its result discarded.
Mm default_callback(Mm text)
{
    eval(text);
    return x_M;
}

} // namespace

eval_func_t eval_func = nullptr;
int eval_result_counter = 0;
feval_func_t feval_func = feval_not_linked;
callback_func_t callback_func = default_callback;

Mm feval_call_1(const char* name, const Mm& args, Mm& out1, Mm& out2, Mm& out3, Mm& out4, Mm& out5, Mm& out6)
{
    return feval_func(TM(name), Mm(args), i_o, out1, out2, out3, out4, out5, out6);
}

Mm feval_call_1(const Mm& name, const Mm& args, Mm& out1, Mm& out2, Mm& out3, Mm& out4, Mm& out5, Mm& out6)
{
    return feval_func(name, args, i_o, out1, out2, out3, out4, out5, out6);
}

namespace {

// Holds nargout_val at 1 for the length of a call and gives the caller's
// count back on every way out.
class nargout_one {
public:
    nargout_one() : saved(nargout_val)
    {
        nargout_val = 1;
        nargout_set = 1;
    }
    ~nargout_one() { nargout_val = saved; }
    nargout_one(const nargout_one&) = delete;
    nargout_one& operator=(const nargout_one&) = delete;

private:
    double saved;
};

} // namespace

Mm feval_call_nargout1(const char* name, const Mm& args)
{
    nargout_one count;
    Mm out1, out2, out3, out4, out5, out6;
    feval_func(TM(name), Mm(args), i_o, out1, out2, out3, out4, out5, out6);
    return out1;
}

Mm feval_call_nargout1(const Mm& name, const Mm& args, Mm (&outs)[6])
{
    nargout_one count;
    feval_func(name, args, i_o, outs[0], outs[1], outs[2], outs[3], outs[4], outs[5]);
    return static_cast<Mm&&>(outs[0]);
}

// ---- eval ----

namespace {

constexpr int eval_text_size = 16384;
constexpr int eval_statement_size = 2048;

// Texts that are statements rather than expressions are sent unchanged.
bool is_expression(const char* text)
{
    for (const char* word : {"tripdata", "playshow", "load ", "global"})
        if (std::strstr(text, word))
            return false;
    return !std::strpbrk(text, "!%=");
}

} // namespace

Mm eval(const Mm& text)
{
    if (!eval_func)
        return str2num(text);
    std::string statement(eval_text_size, '\0');
    Mstr(text, statement.data(), eval_text_size);
    statement.resize(std::strlen(statement.c_str()));
    // A text cut to the buffer (Mstr has warned) is no statement to send.
    if (statement.empty() || Mstr_size(text) > eval_text_size)
        return x_M;
    if (Mm* known = variables_scope.scope_lookup(statement.c_str(), variables_scope.depth()))
        return Mm(*known);

    ++eval_result_counter;
    char capture_name[64];
    std::snprintf(capture_name, sizeof capture_name, "%s_%d", "eval_result", eval_result_counter);
    const bool capture = is_expression(statement.c_str());
    if (capture) {
        std::string rewritten = std::string(capture_name) + "=";
        if (rewritten.size() + statement.size() < static_cast<std::size_t>(eval_statement_size))
            rewritten += statement;
        else
            warning("Mstr: buffer too small - chopped");
        statement = rewritten;
    }
    // The host assigns the expression's value to the variable of the
    // capture name, which it finds in the workspace. The name outlives the
    // value, and the value leaves no owned copy behind.
    const std::string name = capture_name;
    Mm result;
    result.setname(name.c_str());
    result.getflags().persistent = 0;
    qv_printf("Calling eval('%s')\n", statement.c_str());
    const int failed = eval_func(statement.c_str());
    qv_printf("Done eval\n");
    if (failed > 0) {
        qv_printf("eval '%s'\n", statement.c_str());
        error("error evaluating.");
        return x_M;
    }
    return capture ? Mm(result) : x_M;
}

Mm eval(const Mm& text, const Mm&) { return eval(text); }

Mm eval(const Mm& text, i_o_t, Mm&, Mm&) { return eval(text); }

Mm evalin(const Mm&) { return Mm(error_input("evalin", 1)); }
Mm evalin(const Mm&, const Mm& text) { return eval(text); }
Mm evalin(const Mm&, const Mm& text, const Mm&) { return eval(text); }
