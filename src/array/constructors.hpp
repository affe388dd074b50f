// Internal side of the constructors: the size-argument parser shared by the
// matrix constructors, cell and the sparse constructors.
#pragma once

class Mm;

// Turns four non-empty size arguments (the scalar 1 for missing ones) into
// 2 to 4 counts: scalar arguments are truncated, the elements of a size
// vector rounded. Returns the number of dimensions; counts beyond it are 1.
int parse_size_arguments(const Mm& a, const Mm& b, const Mm& c, const Mm& d, int counts[4]);
