// Internal side of the constructors: the size-argument parser that cell and
// the sparse constructors share, the fill routine, and reading one number
// out of an argument of any numeric storage.
#pragma once

#include "velkor/value.h"

// What fill_constant_matrix stores.
enum fill_kind : int {
    fill_zeros = 0,
    fill_ones = 1,
    fill_eye = 2,   // ones down the diagonal of the first page
    fill_rand = 3,  // one uniform draw per element, column-major
    fill_randn = 4, // one normal draw per element, column-major
};

// Element k (from 0) of a numeric argument as a number: the real part of a
// double (a sparse value's unstored elements are 0) or a byte's value. The
// caller has rejected cells and checked k against the element count.
inline double number_at(const Mm& x, int k)
{
    if (x.gettype() == qv_uint8)
        return *x.getpr((unsigned char*)nullptr, k + 1);
    if (x.issparse()) {
        int at = x.search(k);
        return at < 0 ? 0.0 : x.addr()[at];
    }
    return x.addr()[k];
}

// Turns four size arguments into counts: the first with one element makes
// each argument one count (truncated; a non-scalar one warns and counts 1),
// a first with more elements is a size vector (rounded; more than four
// elements warn). Returns the number of dimensions, 2 to 4, or 0 when an
// argument holds no numbers (cells and structs are refused with an error
// naming f). Empty arguments must have been handled by the caller; missing
// ones are passed as one_M.
int parse_size_arguments(const Mm& a, const Mm& b, const Mm& c, const Mm& d, int counts[4], const char* f);

// A real double value of the given counts filled by kind. Counts whose
// product leaves the range of an int raise "Out of memory!" before anything
// is allocated or drawn.
Mm fill_constant_matrix(int kind, int ndims, const int* counts);
