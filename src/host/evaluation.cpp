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
