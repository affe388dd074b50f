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

namespace {

TEST(Meshgrid, ThreeDimensionsNdgridAndMeshdom)
{
    Mm X, Y, Z;
    meshgrid(test::row({1, 2, 3}), test::row({10, 20}), test::row({5, 6}), i_o, X, Y, Z);
    EXPECT_EQ(test::extents(X), (std::vector<int>{2, 3, 2}));
    EXPECT_EQ(X.r(2, 3, 2), 3);
    EXPECT_EQ(Y.r(2, 3, 1), 20);
    EXPECT_EQ(Z.r(1, 1, 2), 6);
    meshgrid(test::row({1, 2}), test::row({3, 4, 5}), Mm(7.0), i_o, X, Y, Z);
    EXPECT_EQ(test::extents(Z), (std::vector<int>{3, 2})) << "a scalar z gives 2-d grids";
    EXPECT_EQ(test::values(meshgrid(test::row({1, 2}), Mm(1.0), test::row({1, 2}))), (std::vector<double>{1, 2, 1, 2}));

    // outputs beyond the form's reach are left alone
    Mm keepY = Mm(42.0), keepZ = Mm(43.0);
    meshgrid(test::row({1, 2}), i_o, X, keepY, keepZ);
    EXPECT_EQ(test::values(X), (std::vector<double>{1, 1, 2, 2}));
    EXPECT_EQ(keepY.r(), 42);
    EXPECT_EQ(keepZ.r(), 43);
    meshgrid(test::row({1, 2}), test::row({5, 6, 7}), i_o, X, Y, keepZ);
    EXPECT_EQ(test::extents(Y), (std::vector<int>{3, 2}));
    EXPECT_EQ(keepZ.r(), 43);
    EXPECT_ERROR(meshgrid(Mm(1.0), Mm(2.0), Mm(3.0), i_o, X, Y), "meshgrid does not accept 3 inputs");

    Mm X1, X2, X3;
    ndgrid(test::row({1, 2, 3}), test::row({10, 20}), i_o, X1, X2);
    EXPECT_EQ(test::values(X1), (std::vector<double>{1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(test::values(X2), (std::vector<double>{10, 10, 10, 20, 20, 20}));
    EXPECT_EQ(test::values(ndgrid(test::row({1, 2, 3}), test::row({10, 20}))), test::values(X2));
    EXPECT_EQ(test::values(ndgrid(test::row({1, 2}))), (std::vector<double>{1, 2, 1, 2}));
    ndgrid(test::row({1, 2}), test::row({3, 4, 5}), test::row({6, 7}), i_o, X1, X2, X3);
    EXPECT_EQ(test::extents(X1), (std::vector<int>{2, 3, 2}));
    EXPECT_EQ(X1.r(2, 1, 1), 2);
    EXPECT_EQ(X2.r(1, 3, 1), 5);
    EXPECT_EQ(X3.r(1, 1, 2), 7);

    meshdom(test::row({1, 2, 3}), test::row({10, 20}), i_o, X, Y);
    EXPECT_EQ(test::values(X), (std::vector<double>{1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(test::values(Y), (std::vector<double>{20, 10, 20, 10, 20, 10}));
}

TEST(Automesh, Decisions)
{
    const Mm row3 = test::row({1, 2, 3});
    struct Case {
        const char* what;
        int got, want;
    };
    const std::vector<Case> cases = {
        {"row and column", automesh(row3, test::real(4, 1, {1, 2, 3, 4})), 1},
        {"same size", automesh(row3, row3), 0},
        {"rows of different lengths", automesh(row3, test::row({1, 2, 3, 4})), 1},
        {"scalar and row", automesh(Mm(5.0), row3), 1},
        {"matrix and vector", automesh(test::counting({2, 2}), row3), 0},
        {"three dimensions", automesh(test::counting({1, 1, 5}), row3), 0},
        {"three, mixed", automesh(test::row({1, 2}), test::real(2, 1, {1, 2}), test::row({1, 2})), 1},
        {"three, equal", automesh(test::row({1, 2}), test::row({1, 2}), test::row({1, 2})), 0},
        {"one argument", automesh(row3), 0},
        {"isa", isa(row3), 0},
        {"isstudent", isstudent(), 0},
        {"kaIsInt8", kaIsInt8(row3), 0},
        {"kaIsInt16", kaIsInt16(row3), 0},
        {"kaIsInt32", kaIsInt32(row3), 0},
        {"kaIsUint16", kaIsUint16(row3), 0},
        {"kaIsUint32", kaIsUint32(row3), 0},
        {"kaIsSingle", kaIsSingle(row3), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.want);
    }
}

} // namespace
