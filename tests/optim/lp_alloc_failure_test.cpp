// Refused allocations in lp: the argument conversions, the triplets and the
// result columns.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

TEST(AllocationFailure, Lp)
{
    const Mm A = test::real(2, 2, {1, 1, 1, -1});
    const Mm b = test::real(2, 1, {4, 2});
    test::sweep_allocations({
        {"lp", test::row({-1, -2}), [=](Mm& x) { x = lp(x, A, b, test::row({0, 0}), nop_M, nop_M, Mm(0.0), Mm(-1.0)); }},
        {"lp with multipliers", test::row({-1, -2}), [=](Mm& x) {
             Mm xs, lambda, how;
             lp(x, A, b, test::row({0, 0}), nop_M, nop_M, Mm(0.0), Mm(-1.0), i_o, xs, lambda, how);
             x = lambda;
         }},
    });
}

} // namespace
