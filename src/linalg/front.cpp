// The dense working copy the linear-algebra functions hand to their kernels.
#include "linalg/front.hpp"

#include <algorithm>
#include <cmath>
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

Mm nan_matrix(int rows, int cols)
{
    Mm x = new_dense(0, rows, cols);
    std::fill(x.addr(), x.addr() + std::size_t(rows) * std::size_t(cols), NAN);
    return x;
}

bool has_nan(const Mm& a)
{
    // Only doubles hold NaN; other kinds store narrower elements, and a
    // sparse value stores only its non-zeros.
    if (a.gettype() != qv_double)
        return false;
    const std::size_t count =
        a.issparse() ? std::size_t(a.getnnz()) : std::size_t(a.rows()) * std::size_t(a.cols());
    const double* re = a.addr();
    const double* im = a.addi();
    for (std::size_t k = 0; k < count; ++k)
        if (std::isnan(re[k]) || (im && std::isnan(im[k])))
            return true;
    return false;
}
