// meshgrid: the grid matrices of two vectors, their element kinds, and
// outputs that are the vectors passed in.
#include "test_support.hpp"

#include <vector>

namespace {

TEST(Meshgrid, RowsAndColumnsOfTheVectors)
{
    Mm x, y;
    meshgrid(test::row({1, 2, 3}), test::real(2, 1, {10, 20}), i_o, x, y);
    EXPECT_EQ(test::extents(x), (std::vector<int>{2, 3}));
    EXPECT_EQ(test::values(x), (std::vector<double>{1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(test::values(y), (std::vector<double>{10, 20, 10, 20, 10, 20}));

    meshgrid(test::real(2, 2, {1, 2, 3, 4}), i_o, x, y);
    EXPECT_EQ(test::extents(x), (std::vector<int>{4, 4})) << "a matrix counts as its elements";
    EXPECT_EQ(x.r(3.0, 4.0), 4);
    EXPECT_EQ(y.r(3.0, 4.0), 3);

    EXPECT_EQ(test::values(meshgrid(test::row({5, 6}))), (std::vector<double>{5, 5, 6, 6}));
    EXPECT_EQ(test::values(meshgrid(test::row({5, 6}), Mm(1.0))), (std::vector<double>{5, 6}));

    meshgrid(Mm(), test::row({1, 2}), i_o, x, y);
    EXPECT_EQ(x.getnnz(), 0);
    EXPECT_EQ(y.getnnz(), 0);
}

TEST(Meshgrid, KindsAndAliasing)
{
    Mm x, y;
    meshgrid(test::complex(1, 2, {1, 2}, {3, 4}), test::bytes(1, 2, {7, 9}), i_o, x, y);
    ASSERT_TRUE(x.isc());
    EXPECT_EQ(test::values(imag(x)), (std::vector<double>{3, 3, 4, 4}));
    ASSERT_EQ(y.gettype(), qv_uint8);
    EXPECT_EQ(y.ur(2), 9);
    meshgrid(test::text("ab"), i_o, x, y);
    EXPECT_TRUE(x.isstr());

    Mm a = test::row({1, 2}), b = test::row({3, 4, 5});
    meshgrid(a, b, i_o, a, b);
    EXPECT_EQ(test::values(a), (std::vector<double>{1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(test::values(b), (std::vector<double>{3, 4, 5, 3, 4, 5}));

    EXPECT_ERROR(meshgrid(Mm(0, 0, 0, 1, 2, qv_cell), i_o, x, y),
                 "meshgrid: numeric data expected, but matrix (temporary) is not");
}

} // namespace
