// Raw field access to Mm for the few internal operations that hand a
// value's storage on without counting. Keep its use rare.
#pragma once

#include "velkor/value.h"

struct mm_access {
    // Moves the content of from into to, a value under construction whose
    // fields are not set yet, as the copy constructor would take it (no
    // name, scope link, persistent or global mark). from is left without
    // storage or name, so its destructor releases nothing.
    static void adopt(Mm& to, Mm& from) noexcept
    {
        to.ndims = from.ndims;
        for (int k = 0; k < 4; ++k)
            to.dims[k] = from.dims[k];
        to.capacity = from.capacity;
        to.refcount = from.refcount;
        to.pr = from.pr;
        to.pi = from.pi;
        to.nnz = from.nnz;
        to.index = from.index;
        to.name = nullptr;
        to.fields = from.fields;
        to.nfields = from.nfields;
        to.classid = from.classid;
        to.scope_link = nullptr;
        to.flags = from.flags;
        to.flags.persistent = 0;
        to.flags.global = 0;
        from.refcount = nullptr;
        from.fields = nullptr;
        from.nfields = 0;
        from.index = nullptr;
        from.name = nullptr;
    }
};
