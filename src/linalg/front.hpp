// Shared prologue pieces of the linear-algebra language functions: the
// private dense copy every kernel works on.
#pragma once

#include "velkor/value.h"

// A private full double copy of a: uint8 values as their values, sparse
// values scattered into full storage, complex kept; never text or logical.
Mm dense_copy(const Mm& a);

// A private dense copy, complex whether or not a is.
Mm dense_complex_copy(const Mm& a);

// x when it has the given extents. A value that came back empty because
// the allocator refused it (the error hook returned after "Out of
// memory!") ends the function with std::bad_alloc, as a refused scratch
// buffer does.
Mm checked(Mm x, int rows, int cols);

// A new dense rows-by-cols double value, elements not set; checked.
Mm new_dense(int complex, int rows, int cols);

// A new real rows-by-cols value of NaN, the answer of a function whose
// argument holds no number it can work with; checked.
Mm nan_matrix(int rows, int cols);

// Whether a value has a NaN in its real or imaginary part (never one of a
// kind other than double; a sparse value by its stored elements).
bool has_nan(const Mm& a);
