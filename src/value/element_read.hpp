// Reading the elements of a value of any numeric storage (double, sparse or
// bytes) as numbers: what argument checks in every layer need of a count,
// a dimension or the data given by the caller.
#pragma once

#include "velkor/value.h"

#include <cmath>

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

// The imaginary part of element k (from 0) of a numeric argument: 0 for a
// real value or a byte. Same preconditions as number_at.
inline double imag_at(const Mm& x, int k)
{
    if (x.gettype() != qv_double || !x.isc())
        return 0.0;
    if (x.issparse()) {
        int at = x.search(k);
        return at < 0 ? 0.0 : x.addi()[at];
    }
    return x.addi()[k];
}

// Whether every stored element of a double value, both parts, is finite
// (a sparse value's unstored zeros are). Other types hold no NaN or Inf.
inline bool all_finite(const Mm& x)
{
    if (x.gettype() != qv_double)
        return true;
    const double* re = x.addr();
    const double* im = x.addi();
    const int count = x.issparse() ? x.getnnz() : x.size();
    bool finite = true;
    for (int k = 0; k < count; ++k)
        finite &= std::isfinite(re[k]) && (!im || std::isfinite(im[k]));
    return finite;
}
