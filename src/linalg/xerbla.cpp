// The error routine LAPACK calls for an illegal argument: the library's own,
// so the report goes through error() like every other failure.
#include "linalg/lapack.hpp"
#include "velkor/report.h"

#include <cstring>

extern "C" void xerbla_(const char* srname, const int* info, std::size_t len)
{
    char name[32];
    std::size_t n = len < sizeof name - 1 ? len : sizeof name - 1;
    std::memcpy(name, srname, n);
    while (n > 0 && name[n - 1] == ' ')
        --n;
    name[n] = 0;
    error("** On entry to %s parameter number %d had an illegal value", name, *info);
}
