// automesh, which tells whether query coordinates are separate vectors to
// be expanded into a grid, and the constant-zero entry exported under the
// names of tests this library always answers false.
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/signal.h"
#include "velkor/value.h"

namespace {

bool same_size(const Mm& a, const Mm& b)
{
    if (a.getndims() != b.getndims())
        return false;
    for (int k = 0; k < a.getndims(); ++k)
        if (a.getdims()[k] != b.getdims()[k])
            return false;
    return true;
}

int zero_stub() { return 0; }

} // namespace

int automesh(const Mm& x, const Mm& y)
{
    if (!isvector(x) || !isvector(y))
        return 0;
    return !same_size(x, y) && x.getndims() == 2 && y.getndims() == 2;
}

int automesh(const Mm& x, const Mm& y, const Mm& z)
{
    if (!isvector(x) || !isvector(y) || !isvector(z))
        return 0;
    const bool all_equal = same_size(x, y) && same_size(x, z);
    return !all_equal && x.getndims() == 2 && y.getndims() == 2 && z.getndims() == 2;
}

int automesh(const Mm&) { return zero_stub(); }
int isa(const Mm&) { return zero_stub(); }
int isstudent() { return zero_stub(); }
int kaIsInt8(const Mm&) { return zero_stub(); }
int kaIsInt16(const Mm&) { return zero_stub(); }
int kaIsInt32(const Mm&) { return zero_stub(); }
int kaIsUint16(const Mm&) { return zero_stub(); }
int kaIsUint32(const Mm&) { return zero_stub(); }
int kaIsSingle(const Mm&) { return zero_stub(); }
