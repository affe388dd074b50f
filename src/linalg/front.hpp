// Shared prologue pieces of the linear-algebra language functions: the
// private dense copy every kernel works on.
#pragma once

#include "velkor/value.h"

// A private full double copy of a: uint8 values as their values, sparse
// values scattered into full storage, complex kept; never text or logical.
Mm dense_copy(const Mm& a);

// A private dense copy, complex whether or not a is.
Mm dense_complex_copy(const Mm& a);
