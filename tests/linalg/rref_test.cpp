// rref: hand-checked forms and pivot columns, the tolerance rules and the
// complex pivot choice.
#include "linalg_support.hpp"

#include <cmath>
#include <vector>

namespace {

using namespace linalg_test;

TEST(Rref, Cases)
{
    struct Case {
        const char* what;
        Mm a, tol;
        std::vector<double> r, jb;
    };
    const std::vector<Case> cases = {
        {"invertible", test::real(2, 2, {1, 3, 2, 4}), Mm(), {1, 0, 0, 1}, {1, 2}},
        {"rank one", test::real(2, 2, {1, 2, 2, 4}), Mm(), {1, 0, 2, 0}, {1}},
        {"zeros", zeros(2.0, 3.0), Mm(), std::vector<double>(6, 0.0), {}},
        {"tolerance above every element", test::real(2, 2, {1, 3, 2, 4}), Mm(10.0), {0, 0, 0, 0}, {}},
        {"an empty tolerance is the default", test::real(2, 2, {1, 2, 2, 4}), Mm(), {1, 0, 2, 0}, {1}},
        {"a wide matrix", test::real(2, 3, {1, 0, 2, 0, 0, 1}), Mm(), {1, 0, 2, 0, 0, 1}, {1, 3}},
        {"elimination above the pivot", test::real(2, 3, {1, 2, 1, 3, 1, 5}), Mm(), {1, 0, 0, 1, -2, 3}, {1, 2}},
        {"a small column below tol is zeroed", test::real(2, 2, {1e-20, 1e-21, 1, 0}), Mm(), {0, 0, 1, 0}, {2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm R, jb;
        rref(c.a, c.tol, i_o, R, jb);
        EXPECT_EQ(test::values(R), c.r);
        EXPECT_EQ(test::values(jb), c.jb);
        EXPECT_EQ(test::values(rref(c.a, c.tol)), c.r);
    }
    Mm R, jb;
    rref(test::real(2, 2, {1, 3, 2, 4}), i_o, R, jb);
    EXPECT_EQ(test::values(jb), (std::vector<double>{1, 2}));
    EXPECT_EQ(test::values(rref(test::real(2, 2, {1, 3, 2, 4}))), (std::vector<double>{1, 0, 0, 1}));
}

// A NaN or Inf entry makes the default tolerance non-finite, and the form
// came out as zeros: it is NaN, with no pivot columns.
TEST(Rref, NonFiniteEntriesGiveNaN)
{
    for (const Mm& a : {test::real(2, 2, {1, 2, INFINITY, 3}), test::real(2, 3, {NAN, 1, 2, 3, 4, 5}),
                        test::complex(2, 2, {1, 0, 0, 1}, {0, 0, INFINITY, 0})}) {
        Mm R, jb;
        rref(a, i_o, R, jb);
        ASSERT_EQ(R.rows(), a.rows());
        ASSERT_EQ(R.cols(), a.cols());
        for (double v : test::values(R))
            EXPECT_TRUE(std::isnan(v));
        EXPECT_TRUE(isempty(jb));
        EXPECT_TRUE(std::isnan(rref(a).addr()[0]));
    }
}

TEST(Rref, ComplexPivot)
{
    // Column 1 holds 3 (|re| + |im| = 3, modulus 3) and 2 + 2i (sum 4,
    // modulus 2.83): the pivot is chosen by the sum, so row 2 leads.
    const Mm a = test::complex(2, 2, {3, 2, 1, 1}, {0, 2, 0, 0});
    Mm R, jb;
    rref(a, i_o, R, jb);
    EXPECT_EQ(test::values(jb), (std::vector<double>{1, 2}));
    ASSERT_TRUE(R.isc());
    EXPECT_EQ(R.r(1, 1), 1);
    EXPECT_EQ(R.i(1, 1), 0);
    // Accepted by modulus: a tolerance between the modulus and the sum
    // rejects the pivot.
    rref(test::complex(1, 1, {2}, {2}), Mm(2.9), i_o, R, jb);
    EXPECT_TRUE(isempty(jb));
    rref(test::complex(1, 1, {2}, {2}), Mm(2.8), i_o, R, jb);
    EXPECT_EQ(test::values(jb), (std::vector<double>{1}));
}

} // namespace
