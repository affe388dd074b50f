// The dense working copy the linear-algebra functions hand to their kernels.
#include "linalg/front.hpp"

#include <cstddef>
#include <new>

namespace {

Mm copy_of(const Mm& a, int complex)
{
    Mm c;
    c.deepcopy(complex, 0, a, qv_double);
    if (a.size() > 0 && (c.size() != a.size() || !c.hasstorage()))
        throw std::bad_alloc();  // refused; "Out of memory!" is reported
    c.setstr(0);
    c.setlogical(0);
    return c;
}

} // namespace

Mm dense_copy(const Mm& a) { return copy_of(a, a.isc()); }

Mm dense_complex_copy(const Mm& a) { return copy_of(a, 1); }

Mm checked(Mm x, int rows, int cols)
{
    if (std::ptrdiff_t(rows) * cols > 0 && (x.rows() != rows || x.cols() != cols || !x.hasstorage()))
        throw std::bad_alloc();
    return x;
}

Mm new_dense(int complex, int rows, int cols)
{
    return checked(Mm(complex, 0, 0, rows, cols, qv_double), rows, cols);
}
