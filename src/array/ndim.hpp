// N-d index arithmetic over the four extents of a value (linear offsets and
// subscripts) and the dimension helpers every column-wise routine shares.
#pragma once

#include <cstdint>

// Splits a 0-based column-major offset into subscripts: for m = 0 to 3,
// subs[m] = offset mod dims[m], then offset = offset div dims[m]. Returns
// what is left (0 when the offset lay inside the extents). An extent below
// 1 takes subscript 0 and leaves the offset as it is.
inline std::int64_t offset_to_subscripts(std::int64_t offset, int subs[4], const int dims[4]) noexcept
{
    for (int m = 0; m < 4; ++m) {
        if (dims[m] < 1) {
            subs[m] = 0;
            continue;
        }
        subs[m] = static_cast<int>(offset % dims[m]);
        offset /= dims[m];
    }
    return offset;
}

// The 0-based column-major offset of subscripts in the given extents,
// computed from the last subscript down.
inline std::int64_t linear_offset(const int subs[4], const int dims[4]) noexcept
{
    const std::int64_t above = subs[2] + std::int64_t{dims[2]} * subs[3];
    return subs[0] + std::int64_t{dims[0]} * (subs[1] + std::int64_t{dims[1]} * above);
}

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
