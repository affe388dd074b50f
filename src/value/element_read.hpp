// Reading one element of a value of any numeric storage (double, sparse or
// bytes) as a number: what argument checks in every layer need of a count
// or a dimension given by the caller.
#pragma once

#include "velkor/value.h"

// Element k (from 0) of a numeric argument as a number: the real part of a
// double (a sparse value's unstored elements are 0) or a byte's value. The
// caller has rejected cells and checked k against the element count.
inline double number_at(const Mm& x, int k)
{
    if (x.gettype() == qv_uint8)
        return *x.getpr((unsigned char*)nullptr, k + 1);
    if (x.issparse()) {
        int at = x.search(k);
        return at < 0 ? 0.0 : x.addr()[at];
    }
    return x.addr()[k];
}
