// Internal side of the constructors: the size-argument parser that cell and
// the sparse constructors share, and the fill routine.
#pragma once

#include "value/element_read.hpp"
#include "velkor/value.h"

// What fill_constant_matrix stores.
enum fill_kind : int {
    fill_zeros = 0,
    fill_ones = 1,
    fill_eye = 2,   // ones down the diagonal of the first page
    fill_rand = 3,  // one uniform draw per element, column-major
    fill_randn = 4, // one normal draw per element, column-major
};

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
