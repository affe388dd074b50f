// The error routine LAPACK calls for an illegal argument. It only records
// the routine and the argument number: raising from here would unwind
// through Fortran frames. The checked wrappers (lapack.cpp) raise the error
// once LAPACK has returned.
#include "linalg/lapack.hpp"

#include <cstring>

namespace {
thread_local lapack_argument_error recorded{{0}, 0};
}

extern "C" void xerbla_(const char* srname, const int* info, std::size_t len)
{
    std::size_t n = len < sizeof recorded.routine - 1 ? len : sizeof recorded.routine - 1;
    // Some callers pass a zero-terminated name with a generous length.
    const void* end = std::memchr(srname, 0, n);
    if (end)
        n = static_cast<const char*>(end) - srname;
    std::memcpy(recorded.routine, srname, n);
    while (n > 0 && recorded.routine[n - 1] == ' ')
        --n;
    recorded.routine[n] = 0;
    recorded.parameter = info ? *info : 0;
}

lapack_argument_error lapack_take_argument_error() noexcept
{
    lapack_argument_error r = recorded;
    recorded.parameter = 0;
    recorded.routine[0] = 0;
    return r;
}
