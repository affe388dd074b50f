// Values the kernels write through raw pointers must hold the storage they
// were built for: a refused allocation under an error hook that returns
// leaves an empty value behind, after "Out of memory!" has been raised.
// Such a value ends the computation the way the scratch buffers do.
#pragma once

#include "velkor/value.h"

#include <cstddef>
#include <new>

inline const Mm& with_storage(const Mm& x, int rows, int cols, bool complex)
{
    if (std::size_t(rows > 0 ? rows : 0) * std::size_t(cols > 0 ? cols : 0) == 0)
        return x;
    if (x.rows() != rows || x.cols() != cols || !x.addr() || (complex && !x.addi()))
        throw std::bad_alloc();
    return x;
}

// A private full double copy of a (complex when asked or when a is),
// never text or logical.
inline Mm working_copy(const Mm& a, bool complex)
{
    Mm h;
    h.deepcopy(complex || a.isc(), 0, a, qv_double);
    h.setstr(0);
    h.setlogical(0);
    with_storage(h, a.rows(), a.cols(), complex || a.isc());
    return h;
}

// A rows-by-cols matrix of zeros.
inline Mm zeros_of(int rows, int cols, bool complex)
{
    Mm z(complex, 0, 0, rows, cols, qv_double);
    with_storage(z, rows, cols, complex);
    const std::size_t count = std::size_t(rows) * std::size_t(cols);
    for (std::size_t k = 0; k < count; ++k) {
        z.addr()[k] = 0.0;
        if (complex)
            z.addi()[k] = 0.0;
    }
    return z;
}
