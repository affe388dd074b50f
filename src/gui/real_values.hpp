// Reading a value's elements as plain doubles for the GUI-side numerical
// functions, which take doubles, bytes and sparse values alike.
#pragma once

#include "velkor/array.h"
#include "velkor/value.h"

#include <vector>

namespace gui {

// The real elements of x, column-major; false for values that hold no real
// numbers (complex values, cells).
inline bool real_elements(const Mm& x, std::vector<double>& out)
{
    if (x.gettype() == qv_uint8) {
        const unsigned char* p = x.getpr(static_cast<unsigned char*>(nullptr));
        out.assign(p, p + x.size());
        return true;
    }
    if (x.gettype() == qv_cell || x.isc())
        return false;
    if (x.size() <= 0) {
        out.clear();
        return true;
    }
    const Mm f = x.issparse() ? full(x) : x;
    out.assign(f.addr(), f.addr() + f.size());
    return true;
}

} // namespace gui
