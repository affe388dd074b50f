// Element-by-element comparison against reference data that holds NaN and
// Inf: a NaN must come out NaN, an infinity the same infinity, a finite
// value within an absolute tolerance (0: the same value).
#pragma once

#include "test_support.hpp"

#include <cmath>
#include <cstddef>
#include <vector>

namespace test {

template <std::size_t N>
std::vector<double> listed(const double (&v)[N])
{
    return std::vector<double>(v, v + N);
}

inline void expect_matches(const std::vector<double>& got, const std::vector<double>& want, double tol = 0)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) {
        const double g = got[k], w = want[k];
        if (std::isnan(w))
            EXPECT_TRUE(std::isnan(g)) << "element " << k << ": " << g << ", expected NaN";
        else if (std::isinf(w))
            EXPECT_EQ(g, w) << "element " << k;
        else
            EXPECT_LE(std::fabs(g - w), tol) << "element " << k << ": " << g << ", expected " << w;
    }
}

inline void expect_matches(const Mm& got, const std::vector<double>& want, double tol = 0)
{
    ASSERT_FALSE(got.isc()) << "a real result was expected";
    expect_matches(values(got), want, tol);
}

// The largest finite magnitude in v: the scale of a tolerance.
inline double finite_scale(const std::vector<double>& v)
{
    double big = 0;
    for (double e : v)
        if (std::isfinite(e))
            big = std::fmax(big, std::fabs(e));
    return big;
}

} // namespace test
