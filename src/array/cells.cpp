// Cells: the cell constructor. Every element of a new cell is an empty
// double, as the value type constructs cell storage.
#include "array/constructors.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/value.h"

namespace {

Mm make_cell(const Mm& a, const Mm& b, const Mm& c, const Mm& d)
{
    if (isempty(a) || isempty(b) || isempty(c) || isempty(d))
        return nop_M;
    int counts[4];
    const int nd = parse_size_arguments(a, b, c, d, counts, "cell");
    if (nd == 0)
        return x_M;
    return Mm(0, 0, 0, nd, counts, qv_cell);
}

} // namespace

Mm cell(const Mm& a) { return make_cell(a, a, one_M, one_M); }

Mm cell(const Mm& a, const Mm& b) { return make_cell(a, b, one_M, one_M); }
