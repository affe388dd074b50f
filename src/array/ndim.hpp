// The dimension helpers every column-wise routine shares, over the N-d
// index arithmetic of the value layer.
#pragma once

#include "value/offsets.hpp"

#include <cstdint>

// dst[m] = src[count - 1 - m] for m below count, fill beyond, up to 4.
void reverse_dims_fill(const int* src, int count, int dst[4], int fill);

class Mm;

// The 0-based working dimension named by a dimension argument of function
// name: 0 selects the first extent above 1. An empty, non-positive or too
// large dim is reported with name; should the error hook return, the first
// dimension is used, so a caller never walks a dimension the value lacks.
int parse_dim_argument(const char* name, const Mm& x, const Mm& dim);

// The working-dimension mover. dims and ndims describe x (move_dim_first)
// or the value to rebuild (move_dim_back); k is 0-based. move_dim_first
// returns x's elements as consecutive lines along dimension k, the lines in
// x's storage order of the other dimensions, so a column routine runs on
// the result's columns; its first extent is dims[k]. move_dim_back undoes
// that into a value of extents dims. k = 0 moves no element, but the result
// still takes the extents asked for.
Mm move_dim_first(const Mm& x, int ndims, const int dims[4], int k);
Mm move_dim_back(const Mm& y, int ndims, const int dims[4], int k);
