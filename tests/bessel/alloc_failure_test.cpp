// Refused allocations in the Bessel functions: the value and status arrays
// of each family, complex and real results, and the reflected orders.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

TEST(AllocationFailure, Bessel)
{
    const Mm orders = test::row({0, -0.5, 2});
    const Mm z = test::complex(1, 3, {1, -2, 30}, {0.5, 0, -4});
    test::sweep_allocations({
        {"besselj", test::row({1, 2, 3}), [=](Mm& x) { x = besselj(Mm(0.5), x); }},
        {"bessely of negative reals", test::row({-1, 2}), [=](Mm& x) { x = bessely(Mm(0.0), x); }},
        {"besselk by orders", test::row({1, 2}), [=](Mm& x) { x = besselk(orders, x); }},
        {"besseli scaled", z, [=](Mm& x) { x = besseli(Mm(-0.3), x, Mm(1.0)); }},
        {"besselh with status", z, [=](Mm& x) {
             Mm v, e;
             besselh(Mm(1.5), Mm(2.0), x, i_o, v, e);
             x = v;
         }},
        {"airy", z, [=](Mm& x) { x = airy(Mm(3.0), x); }},
        {"besselj, orders by arguments", test::row({0.5, 2, 7}), [=](Mm& x) { x = besselj(orders, x); }},
        {"besselh by orders", z, [=](Mm& x) { x = besselh(orders, Mm(1.0), x); }},
    });
}

} // namespace
