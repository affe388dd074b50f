// N-d index arithmetic over the four extents of a value: a linear offset
// split into subscripts and back, for indexing and every N-d walk above it.
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
