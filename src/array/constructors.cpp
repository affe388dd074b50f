// Constructors of values from size arguments: the size-argument parser.
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "velkor/array.h"
#include "velkor/report.h"
#include "velkor/value.h"

namespace {

// The full double form of a size argument.
Mm size_values(const Mm& x)
{
    Mm f = full(x);
    return f.gettype() == qv_double ? f : mdouble(f);
}

} // namespace

int parse_size_arguments(const Mm& a, const Mm& b, const Mm& c, const Mm& d, int counts[4])
{
    const Mm args[4] = {size_values(a), size_values(b), size_values(c), size_values(d)};
    for (int k = 0; k < 4; ++k)
        counts[k] = 1;
    if (args[0].size() == 1) {
        for (int k = 0; k < 4; ++k) {
            if (args[k].size() == 1) {
                counts[k] = count_from_double(*args[k].addr());
            } else {
                warning("eye01: expecting scalar argument");
                counts[k] = 1;
            }
        }
        int nd = 2;
        if (counts[2] != 1)
            nd = 3;
        if (counts[3] != 1)
            nd = 4;
        return nd;
    }
    int n = args[0].size();
    if (n > 4) {
        warning("eye01: too many dimensions");
        n = 4;
    }
    const double* v = args[0].addr();
    for (int k = 0; k < n; ++k)
        counts[k] = round_to_count(v[k]);
    return n;
}
