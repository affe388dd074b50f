// im2double: the one numeric form image data takes in the engine.
#include "test_support.hpp"

#include <vector>

namespace {

TEST(Images, Im2doubleConvertsUint8AndPassesDoubles)
{
    const Mm indices = im2double(test::bytes(1, 2, {0, 255}));
    EXPECT_EQ(indices.gettype(), qv_double);
    EXPECT_EQ(test::values(indices), (std::vector<double>{1, 256}));

    const int dims[3] = {2, 2, 3};
    Mm white(0, 0, 0, 3, dims, qv_uint8);
    for (int k = 1; k <= white.size(); ++k)
        *white.getpr((unsigned char*)nullptr, k) = 255;
    const Mm ones = im2double(white, Mm(7.0));
    EXPECT_EQ(test::extents(ones), (std::vector<int>{2, 2, 3}));
    EXPECT_EQ(test::values(ones), std::vector<double>(12, 1.0));

    const Mm x = test::row({0.25, -3});
    EXPECT_TRUE(isequal(im2double(x), x));

    const int four[4] = {1, 1, 2, 2};
    EXPECT_ERROR(im2double(Mm(0, 0, 0, 4, four, qv_uint8)),
                 "uint8 images suppoort (1) NxMx3 of 0..255 or (2) NxM of 0..255");
    EXPECT_ERROR(im2double(TM("abc")), "im* can get only uint8 or double matrices");
    EXPECT_ERROR(im2double(test::cell_row({Mm(1.0)})), "im* can get only uint8 or double matrices");
}

} // namespace
