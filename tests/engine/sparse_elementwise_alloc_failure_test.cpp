// Refused allocations in element-wise operations with a sparse operand: the
// conversions to sparse, the merged position lists, the engine's column of
// values and the rebuilt sparse result may each be refused, and the
// operation must end cleanly every time.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

TEST(AllocationFailure, SparseElementwise)
{
    const Mm s = sparse(test::real(3, 3, {4, 1, 0, 1, 5, 2, 0, 2, 6}));
    const Mm t = sparse(test::real(3, 3, {0, 0, 3, 0, -5, 0, 1, 0, 0}));
    const Mm d = test::real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const Mm z = sparse(test::complex(3, 3, {0, 1, 0, 0, 2, 0, 3, 0, 0}, {0, 1, 0, 0, -1, 0, 0, 0, 0}));
    test::sweep_allocations({
        {"sparse .* dense", Mm(), [=](Mm& x) { x = times(s, d); }},
        {"dense .* sparse", Mm(), [=](Mm& x) { x = times(d, s); }},
        {"sparse .* sparse", Mm(), [=](Mm& x) { x = times(s, t); }},
        {"sparse & sparse", Mm(), [=](Mm& x) { x = mand(s, t); }},
        {"sparse max sparse", Mm(), [=](Mm& x) { x = max(s, t); }},
        {"sparse > dense", Mm(), [=](Mm& x) { x = gt(s, d); }},
        {"sparse .* scalar", Mm(), [=](Mm& x) { x = times(s, Mm(2.0)); }},
        {"complex sparse .* sparse", Mm(), [=](Mm& x) { x = times(z, s); }},
        {"abs of sparse", Mm(), [=](Mm& x) { x = abs(z); }},
        {"sparse - sparse", Mm(), [=](Mm& x) { x = s - t; }},
        // The second operand of sign gives the shape only.
        {"sign of sparse shaped by dense", Mm(), [=](Mm& x) { x = sign(s, d); }},
        {"sign of a scalar shaped by sparse", Mm(), [=](Mm& x) { x = sign(Mm(-3.0), t); }},
    });
}

} // namespace
