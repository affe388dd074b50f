// The consistency check of a value's header against its storage: every
// reader trusts the extents, the element count, the room and the flags
// alike, so a writer that updates one and not the others leaves a value
// that different functions see differently. Tests run it after each step.
#include "value/mm_access.hpp"
#include "velkor/value.h"

#include <cstdint>

namespace {

const char* fault_in_elements(const Mm& x, int depth);

const char* fault_of(const Mm& x, int depth)
{
    const int nd = x.getndims();
    if (nd < 2 || nd > 4)
        return "the number of dimensions is outside 2..4";
    const int* d = x.getdims();
    std::int64_t count = 1;
    for (int k = 0; k < nd; ++k) {
        if (d[k] < 0)
            return "an extent is negative";
        count *= d[k];
    }
    if (count > 0) {
        // A non-empty value's extents past its dimensions are 1: length,
        // size(x, k) and the N-d walks read all four.
        for (int k = nd; k < 4; ++k)
            if (d[k] != 1)
                return "a non-empty value has an extent other than 1 past its dimensions";
        if (nd > 2 && d[nd - 1] == 1)
            return "a trailing extent of 1 is counted as a dimension";
    }
    if (count != x.size())
        return "size() disagrees with the extents";
    if (!x.hasstorage()) {
        if (count != 0 || x.getnnz() != 0)
            return "a value without storage is not empty";
        return nullptr;
    }
    if (mm_access::shared_count(x) < 1)
        return "the reference count is below 1";
    const M_types& f = x.getflags();
    if (f.type < qv_none || f.type > qv_cell)
        return "the element type is unknown";
    if (x.isc() && f.type != qv_double && f.type != qv_uint8)
        return "a cell has an imaginary part";
    if (f.scalar_var && (count > 1 || f.sparse || x.isc() || (f.type != qv_double && f.type != qv_none)))
        return "the scalar-variable mark stays on a value that is not a real scalar";
    if (f.sparse) {
        if (f.type != qv_double)
            return "a sparse value is not double";
        if (x.getnnz() < 0 || x.getnnz() > x.getp())
            return "a sparse value stores more entries than its room";
        const int* ix = x.getindex();
        if (x.getnnz() > 0 && !ix)
            return "a sparse value has entries but no positions";
        for (int k = 0; k < x.getnnz(); ++k) {
            if (ix[k] < 0 || ix[k] >= count)
                return "a sparse position is outside the extents";
            if (k > 0 && ix[k] <= ix[k - 1])
                return "sparse positions are not ascending";
        }
        return nullptr;
    }
    if (x.getnnz() != count)
        return "the element count of a full value differs from its extents";
    if (x.getp() < count)
        return "a full value has less room than elements";
    if (x.getindex())
        return "a full value has sparse positions";
    if (mm_access::unwritten(x)) {
        // A deferred range may be reshaped or transposed: its run is the
        // same in column order whatever the extents.
        if (f.type != qv_cell && (f.type != qv_double || x.isc()))
            return "a deferred value is neither a cell nor a real double";
        return nullptr;  // the check writes nothing, so it reads no deferred element
    }
    if (x.isstruct()) {
        if (f.type != qv_cell)
            return "a struct's elements are not values";
        if (x.getnfields() < 0)
            return "a struct has a negative number of fields";
    }
    if (f.type == qv_cell)
        return fault_in_elements(x, depth);
    return nullptr;
}

const char* fault_in_elements(const Mm& x, int depth)
{
    if (depth > 64)
        return nullptr;
    const Mm* e = static_cast<const Mm*>(mm_access::raw_elements(x));
    for (int k = 0; k < x.size(); ++k) {
        if (x.isstruct() && (e[k].gettype() != qv_cell || e[k].size() != x.getnfields() || e[k].isstruct()))
            return "a struct element does not hold one value per field";
        if (const char* fault = fault_of(e[k], depth + 1))
            return fault;
    }
    return nullptr;
}

} // namespace

const char* mm_access::header_fault(const Mm& x) noexcept { return fault_of(x, 0); }
