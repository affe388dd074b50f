// Refused allocations in products with a sparse operand: the dense operand
// made sparse, the result and its growth may each be refused, and the
// product must end cleanly every time.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

TEST(AllocationFailure, SparseProducts)
{
    const Mm s = sparse(test::real(3, 3, {4, 1, 0, 1, 5, 2, 0, 2, 6}));
    const Mm d = test::real(3, 2, {1, 2, 3, 4, 5, 6}), r = test::real(1, 3, {1, -1, 2});
    test::sweep_allocations({
        {"sparse times dense", Mm(), [=](Mm& x) { x = s * d; }},
        {"dense times sparse", Mm(), [=](Mm& x) { x = r * s; }},
        {"sparse times sparse", Mm(), [=](Mm& x) { x = s * s; }},
    });
}

} // namespace
