// N-d offset helpers: subscripts and offsets are inverse, extents of 0 are
// safe, and dimension lists reverse with padding.
#include "test_support.hpp"

#include "array/ndim.hpp"

#include <vector>

namespace {

TEST(NdOffsets, SubscriptsAndOffsetsAreInverse)
{
    const int dims[4] = {2, 3, 4, 5};
    for (std::int64_t o = 0; o < 120; ++o) {
        int subs[4];
        ASSERT_EQ(offset_to_subscripts(o, subs, dims), 0);
        ASSERT_EQ(linear_offset(subs, dims), o);
    }
    int subs[4];
    EXPECT_EQ(offset_to_subscripts(125, subs, dims), 1) << "what lies beyond is returned";
    EXPECT_EQ(std::vector<int>(subs, subs + 4), (std::vector<int>{1, 2, 0, 0}));
    const int with_zero[4] = {3, 0, 2, 1};
    EXPECT_EQ(offset_to_subscripts(7, subs, with_zero), 1);
    EXPECT_EQ(std::vector<int>(subs, subs + 4), (std::vector<int>{1, 0, 0, 0}));
    const int big[4] = {50000, 50000, 4, 1};
    const int far[4] = {49999, 49999, 3, 0};
    EXPECT_EQ(linear_offset(far, big), std::int64_t{50000} * 50000 * 4 - 1) << "no int overflow";
}

TEST(NdOffsets, ReversedDimensionLists)
{
    const int src[3] = {2, 3, 4};
    int dst[4];
    reverse_dims_fill(src, 3, dst, 1);
    EXPECT_EQ(std::vector<int>(dst, dst + 4), (std::vector<int>{4, 3, 2, 1}));
    reverse_dims_fill(src, 2, dst, 0);
    EXPECT_EQ(std::vector<int>(dst, dst + 4), (std::vector<int>{3, 2, 0, 0}));
}

} // namespace
