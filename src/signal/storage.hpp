// A value built for a known number of elements must hold them before a
// kernel writes into it: a refused allocation under an error hook that
// returns leaves an empty value (the error is already reported), and the
// computation stops there the way a scratch buffer stops it.
#pragma once

#include "velkor/array.h"
#include "velkor/value.h"

#include <cmath>
#include <cstdint>
#include <new>

inline Mm required(Mm v, std::int64_t count)
{
    if (v.size() != count || (count > 0 && !v.hasstorage()))
        throw std::bad_alloc();
    return v;
}

// The same for a value whose size the callee chose: it must not be a
// storageless leftover of a refused allocation.
inline Mm required(Mm v)
{
    if (!v.hasstorage())
        throw std::bad_alloc();
    return v;
}

// A full double value of the given extents (zero-filled or not, as the
// constructor leaves it) that is sure to hold its elements.
inline Mm shaped(int complex, int rows, int cols)
{
    Mm v(complex, 0, 0, rows, cols, qv_double);
    const std::int64_t want = std::int64_t(rows > 0 ? rows : 0) * (cols > 0 ? cols : 0);
    if (v.size() != want || (complex && want > 0 && !v.addi()))
        throw std::bad_alloc();
    return v;
}

inline Mm shaped(int complex, int ndims, const int* dims)
{
    Mm v(complex, 0, 0, ndims, dims, qv_double);
    std::int64_t want = 1;
    for (int k = 0; k < ndims; ++k)
        want *= dims[k] > 0 ? dims[k] : 0;
    if (v.size() != want || (complex && want > 0 && !v.addi()))
        throw std::bad_alloc();
    return v;
}

// czeros that is sure to hold its elements.
inline Mm shaped_zeros(int complex, int rows, int cols)
{
    Mm v = czeros(complex, rows, cols);
    const std::int64_t want = std::int64_t(rows > 0 ? rows : 0) * (cols > 0 ? cols : 0);
    if (v.size() != want || (complex && want > 0 && !v.addi()))
        throw std::bad_alloc();
    return v;
}

// x times 2^e, element by element and part by part, on a copy (x may be
// shared).
inline Mm ldexp_parts(const Mm& x, int e)
{
    Mm r = shaped(x.isc() ? 1 : 0, x.getndims(), x.getdims());
    for (int j = 0; j < x.size(); ++j) {
        r.addr()[j] = std::ldexp(x.addr()[j], e);
        if (x.isc())
            r.addi()[j] = std::ldexp(x.addi()[j], e);
    }
    return r;
}

// The exponent of the largest finite magnitude among the n parts re (and
// im, unless null) (0 when there is none).
inline int size_exponent(const double* re, const double* im, int n)
{
    double size = 0;
    for (int k = 0; k < n; ++k) {
        if (std::isfinite(re[k]))
            size = std::fmax(size, std::fabs(re[k]));
        if (im && std::isfinite(im[k]))
            size = std::fmax(size, std::fabs(im[k]));
    }
    return size > 0 ? std::ilogb(size) : 0;
}
