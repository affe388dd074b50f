// Call information: the argument counts of the running call, which the host
// or the compiled code sets before each call, and the function name and line
// of the current frame of the language call stack.
#include "velkor/host.h"
#include "velkor/report.h"

double nargin_val = 0;
double nargout_val = 0;
int nargin_set = 0;
int nargout_set = 0;

const char* vfilename()
{
    int d = qv_error_stack.depth;
    return d >= 0 && d < qv_error_stack_t::frames ? qv_error_stack.functions[d] : nullptr;
}

int vfileline()
{
    int d = qv_error_stack.depth;
    return d >= 0 && d < qv_error_stack_t::frames ? qv_error_stack.lines[d] : 0;
}
