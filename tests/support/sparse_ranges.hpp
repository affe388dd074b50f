// The largest sparse values with entries at the edges of the windows the
// range tests read and assign (their first and last places among them),
// and ranges made unwritten or written out, for the index tests that hold
// a run against the general path.
#pragma once

#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <utility>
#include <vector>

namespace test {

// A row and a column of 2^31 - 1 elements and a 46340 x 46340 square.
inline std::vector<std::pair<const char*, Mm>> largest_sparse_values()
{
    constexpr int longest = 2147483647, n = 46340;
    constexpr int square_last = n * n - 1;
    const std::vector<int> line = {0, 5, 1000, 1999999, 2000000, longest - 2000000, longest - 1};
    return {
        {"1 x 2^31-1", sparse_at(1, longest, line, {2, -3, 0.5, 4, 5, 6, 7})},
        {"2^31-1 x 1", sparse_at(longest, 1, line, {2, -3, 0.5, 4, 5, 6, 7})},
        {"46340 x 46340", sparse_at(n, n, {0, 5, n - 1, n + 1, 3 * n + 99, square_last - n, square_last - 1, square_last},
                                    {2, -3, 0.5, 4, 5, 6, 7, 8})},
    };
}

// a:b, its elements left unwritten (from 64 of them on) or written out:
// the general path's index.
inline Mm range(double a, double b, bool written)
{
    Mm r = colon(Mm(a), Mm(b));
    if (written)
        (void)r.addr();
    return r;
}

inline bool unwritten(const Mm& r)
{
    double start;
    return r.size() < 64 || mm_access::unwritten_whole_range(r, start);
}

} // namespace test
