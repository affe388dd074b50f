// The public header compiles together with the C and C++ standard headers a
// compiled program includes, and its double overloads resolve.
#include <cmath>
#include <cstdlib>
#include <math.h>
#include <stdlib.h>

#include <velkor.h>
#include <plu.h>

#include <gtest/gtest.h>

namespace {

TEST(PublicHeader, DoubleOverloadsResolveBesideTheCLibrary)
{
    EXPECT_EQ(abs(-2.5), 2.5);
    EXPECT_EQ(round(-2.5), -3);
    EXPECT_EQ(log2(8.0), 3);
    EXPECT_EQ(fix(-2.5), -2);
    EXPECT_EQ(mod(-1.0, 3.0), 2);
    EXPECT_EQ(abs(-3), 3) << "the int overload of the C library stays";
    EXPECT_EQ(sizeof(Mm), 128u);
}

} // namespace
