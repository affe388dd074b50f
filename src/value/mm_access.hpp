// Raw access to the fields of Mm for the library's own builders (the
// operation engine, indexing): a value made without storage, shaped
// allocation into an existing value, and taking over another's storage.
#pragma once

#include "velkor/value.h"

struct mm_access {
    // A value that holds no storage yet: the cheapest start for a result
    // that will be shaped or assigned once.
    static Mm storageless() noexcept { return Mm(Mm::storageless_tag{}); }

    // Gives x (without storage) fresh full storage of the given shape; the
    // elements are not initialised.
    static void shape(Mm& x, int complex, int nd, const int* dims, qv_matrix_types type)
    {
        x.init_shaped(complex, 0, 0, nd, dims, type);
    }

    // Gives x (without storage) fresh full storage shaped like a full value;
    // the elements are not initialised.
    static void shape_like(Mm& x, int complex, const Mm& like, qv_matrix_types type)
    {
        x.init_like(complex, like, type);
    }

    // Takes over from's storage; x must hold none.
    static void adopt(Mm& x, Mm& from) noexcept { x.adopt(from); }
};
