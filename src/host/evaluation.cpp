// The hooks through which a host evaluates language text, calls a function
// by name and runs GUI callback texts, with their load-time values.
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <vector>

namespace {

Mm feval_not_linked(Mm, Mm, i_o_t, Mm&, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    error("feval was not linked with the program.");
    return x_M;
}

// Without a host interpreter a callback text has nothing to run it; with
// one, the text goes to it and its result is discarded.
Mm default_callback(Mm text)
{
    if (eval_func) {
        int n = Mstr_size(text);
        std::vector<char> buf(static_cast<size_t>(n));
        Mstr(text, buf.data(), n);
        eval_func(buf.data());
    }
    return x_M;
}

} // namespace

eval_func_t eval_func = nullptr;
feval_func_t feval_func = feval_not_linked;
callback_func_t callback_func = default_callback;

Mm feval_call_1(const char* name, const Mm& args, Mm& out1, Mm& out2, Mm& out3, Mm& out4, Mm& out5, Mm& out6)
{
    return feval_func(TM(name), Mm(args), i_o, out1, out2, out3, out4, out5, out6);
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
