// Sparse systems the direct solver must not be handed: a NaN entry beside
// an empty column made it read outside its arrays. Every such system is
// answered with NaN, as a singular one is.
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

TEST(Lusolve, NaNAndEmptyColumnsGiveNaN)
{
    struct Case {
        const char* what;
        std::vector<double> a;  // 3x3, column-major
    };
    const std::vector<Case> cases = {
        {"NaN beside an empty column", {0, 0, 0, 0, NAN, 0, 0, 0, NAN}},
        {"a NaN entry", {NAN, 1, 0, 1, 2, 1, 0, 1, 3}},
        {"an empty column", {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"nothing stored", {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    const Mm b = test::real(3, 2, {1, 2, 3, 4, 5, 6});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm a(0, 0, 0, 3, 3, qv_double);
        std::copy(c.a.begin(), c.a.end(), a.addr());
        for (const Mm& x : {mldivide(sparse(a), b), lusolve(sparse(a), b, speye(Mm(3.0)))}) {
            ASSERT_EQ(test::extents(x), (std::vector<int>{3, 2}));
            for (double v : test::values(x))
                EXPECT_TRUE(std::isnan(v));
        }
    }
}

} // namespace
