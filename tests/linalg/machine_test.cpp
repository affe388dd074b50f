// The machine constants by code: each code's value bit for bit, and 0 for
// every code outside the table, for the doubles and the integers.
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <vector>

namespace {

TEST(MachineDouble, EveryCode)
{
    struct Case {
        int code;
        double expected;
    };
    const std::vector<Case> cases = {
        {1, DBL_MIN},
        {2, DBL_MAX},
        {3, DBL_EPSILON / 2},
        {4, DBL_EPSILON},
        {5, std::log10(2.0)},
        {6, HUGE_VAL},
        {0, 0},
        {8, 0},
        {-1, 0},
        {INT_MIN, 0},
        {INT_MAX, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_BITS_EQ(machine_double(c.code), c.expected);
    }
    EXPECT_TRUE(std::isnan(machine_double(7)));
    EXPECT_EQ(machine_double(3), std::ldexp(1.0, -53));
    EXPECT_EQ(machine_double(1), std::ldexp(1.0, -1022));
}

TEST(MachineInt, EveryCode)
{
    struct Case {
        int code, expected;
    };
    const std::vector<Case> cases = {
        {9, 2147483647}, {14, 53}, {15, -1021}, {16, 1023}, {10, 0}, {0, 0}, {1, 0}, {17, 0}, {-9, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(machine_int(c.code), c.expected);
    }
    EXPECT_EQ(machine_double(3) * 2, machine_double(4));
}

} // namespace
