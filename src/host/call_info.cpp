// Call information: the function name and line of the current frame of the
// language call stack.
#include "velkor/host.h"
#include "velkor/report.h"

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
