// Colon ranges: counts, exact element values, empty ranges and the Mm forms.
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

std::vector<double> elements(const Mm& x) { return test::values(x); }

struct RangeCase {
    const char* what;
    Mm value;
    int rows, cols;
    std::vector<double> expected;  // compared bit for bit
};

TEST(Colon, RangesHaveTheirCountsAndExactValues)
{
    const std::vector<RangeCase> cases = {
        {"1:3.5 truncates the count", colon(1.0, 3.5), 1, 3, {1, 2, 3}},
        {"0.5:3 keeps the fraction", colon(0.5, 3.0), 1, 3, {0.5, 1.5, 2.5}},
        {"3:1 is 0x0", colon(3.0, 1.0), 0, 0, {}},
        {"1:2:6 is not snapped", colon(1.0, 2.0, 6.0), 1, 3, {1, 3, 5}},
        {"5:-1:1 counts down", colon(5.0, -1.0, 1.0), 1, 5, {5, 4, 3, 2, 1}},
        {"2:7:2 is one element", colon(2.0, 7.0, 2.0), 1, 1, {2}},
        {"2:-7:2 too", colon(2.0, -7.0, 2.0), 1, 1, {2}},
        {"1:0:5 is 0x0", colon(1.0, 0.0, 5.0), 0, 0, {}},
        {"1:-1:5 is 0x0", colon(1.0, -1.0, 5.0), 0, 0, {}},
        {"5:1:1 is 0x0", colon(5.0, 1.0, 1.0), 0, 0, {}},
        // q = 3.9999999999999996 is snapped to 4 with the end exactly 0.3; the
        // third element mirrors the second about the midpoint.
        {"0:0.1:0.3", colon(0.0, 0.1, 0.3), 1, 4, {0, 0.1, 0.3 - 0.1, 0.3}},
        {"1:Inf step gives the start", colon(1.0, INFINITY, 5.0), 1, 1, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.value.rows(), c.rows);
        EXPECT_EQ(c.value.cols(), c.cols);
        ASSERT_EQ(c.value.size(), static_cast<int>(c.expected.size()));
        auto got = elements(c.value);
        for (size_t k = 0; k < got.size(); ++k)
            EXPECT_BITS_EQ(got[k], c.expected[k]) << "element " << k;
    }
}

TEST(Colon, TenthStepsAreSymmetricAndEndExactly)
{
    Mm r = colon(0.0, 0.1, 1.0);
    ASSERT_EQ(r.size(), 11);
    auto v = elements(r);
    EXPECT_BITS_EQ(v[5], 0.5);
    EXPECT_BITS_EQ(v[10], 1.0);
    EXPECT_BITS_EQ(v[3], 3 * 0.1) << "the first half is a + d*k, not a running sum";
    for (int k = 0; k < 5; ++k)
        EXPECT_BITS_EQ(v[10 - k], 1.0 - v[k]) << "mirror of element " << k;
    // A descending range ends on its end value too.
    auto down = elements(colon(1.0, -0.1, 0.0));
    ASSERT_EQ(down.size(), 11u);
    EXPECT_BITS_EQ(down.back(), 0.0);
}

TEST(Colon, UnitStepsAccumulateFromTheStart)
{
    auto v = elements(colon(-2.5, 1e6));
    ASSERT_EQ(v.size(), 1000003u);
    EXPECT_EQ(v.front(), -2.5);
    EXPECT_EQ(v[1000002], 1000000 - 0.5);
    auto big = elements(colon(1.0, 1e6));
    for (size_t k = 0; k < big.size(); k += 9973)
        EXPECT_EQ(big[k], double(k + 1));
}

TEST(Colon, ValueFormsTakeTheFirstElementsInStartStepEndOrder)
{
    EXPECT_EQ(colon(x_M, one_M).size(), 0);
    EXPECT_EQ(colon(Mm(1.0), x_M, Mm(3.0)).size(), 0);
    auto v = elements(colon(test::row({2, 9}), Mm(3.0), Mm(8.0)));
    EXPECT_EQ(v, (std::vector<double>{2, 5, 8}));
    auto b = elements(colon(test::bytes(1, 1, {250}), Mm(252.0)));
    EXPECT_EQ(b, (std::vector<double>{250, 251, 252})) << "a uint8 start counts as its value";
    EXPECT_ERROR(colon(Mm(0, 0, 0, 1, 1, qv_cell), Mm(2.0)), "Can not convert (temporary) into a numeric matrix");
}

TEST(Colon, NaNAndInfiniteBoundsNeverReachACast)
{
    EXPECT_EQ(colon(1.0, NAN).size(), 0);
    EXPECT_EQ(colon(NAN, 1.0, 5.0).size(), 0);
    EXPECT_EQ(colon(5.0, -1.0, NAN).size(), 0);
    EXPECT_EQ(colon(1.0, NAN, 5.0).size(), 0);
    EXPECT_ERROR(colon(1.0, INFINITY), "Out of memory!");
    EXPECT_ERROR(colon(0.0, 1e-300, 1.0), "Out of memory!");
}

} // namespace
