// String functions of the language.
#include "io/string_functions.hpp"
#include "velkor/checks.h"
#include "velkor/value.h"

#include <cstring>

bool text_equals(const Mm& a, const Mm& b)
{
    if (!a.isstr() || !b.isstr())
        return false;
    bool empty_a = isempty(a), empty_b = isempty(b);
    if (empty_a || empty_b)
        return empty_a && empty_b;
    if (!is_same_dims(a, b) || a.gettype() != b.gettype() || a.gettype() != qv_double)
        return false;
    const double* p = a.addr();
    const double* q = b.addr();
    for (int k = 0, n = a.size(); k < n; ++k)
        if (p[k] != q[k])
            return false;
    return true;
}

int isstr(const Mm& x) { return x.isstr(); }
