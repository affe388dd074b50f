// The engine's road for operations with a sparse operand.
#include "engine/kernels.hpp"
#include "velkor/engine.h"
#include "velkor/value.h"

namespace {

Mm as_full(const Mm& x)
{
    if (!x.issparse())
        return x;
    Mm f;
    f.deepcopy(x.isc(), 0, x, qv_double);
    return f;
}

} // namespace

// A sum or difference with one sparse operand is full. Other operations
// are computed on full operands here as well for now.
Mm sparse_path(int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    return Mm(complex, as_full(a), as_full(b), dim, op, reduce, index_out);
}
