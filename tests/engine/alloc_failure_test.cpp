// Refused allocations in the operation engine: element-wise operations,
// reductions, elementary functions and products.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

using test::counting;

TEST(AllocationFailure, Engine)
{
    const Mm a = counting({3, 3});
    const Mm z = test::complex(1, 3, {1, 2, 3}, {-1, 0, 2});
    const Mm bytes = test::bytes(1, 4, {1, 200, 30, 4});
    const Mm wide = counting({2, 12});
    test::sweep_allocations({
        {"plus", a, [=](Mm& x) { x = x + a; }},
        // A temporary operand takes the result; scalars compare into shared blocks.
        {"a .* b + c", a, [=](Mm& x) { x = times(x, a) + a; }},
        {"sum of temporaries", a, [=](Mm& x) { x = (x - Mm(1.0)) + (x > Mm(2.0)); }},
        {"scalar statement", Mm(1.5), [=](Mm& x) { x = x * Mm(0.5) + Mm(0.25); }},
        {"scalar comparison", Mm(1.5), [=](Mm& x) { x = (x > Mm(1.0)) + (x == Mm(1.5)); }},
        {"scalar expansion", a, [=](Mm& x) { x = x * Mm(2.0) + Mm(1.0); }},
        {"times of complex", z, [=](Mm& x) { x = times(x, z); }},
        {"comparison", a, [=](Mm& x) { x = x > Mm(4.0); }},
        {"uint8 arithmetic", bytes, [=](Mm& x) { x = x + bytes; }},
        {"sum", a, [=](Mm& x) { x = sum(x); }},
        {"cumsum", a, [=](Mm& x) { x = cumsum(x, Mm(2.0)); }},
        {"sin", z, [=](Mm& x) { x = sin(x); }},
        {"matrix product", a, [=](Mm& x) { x = mtimes(x, a); }},
        {"sum along rows", a, [=](Mm& x) { x = sum(x, Mm(2.0)); }},
        {"sum of a wide matrix", wide, [=](Mm& x) { x = sum(x, Mm(1.0)); }},
        {"sum of bytes along rows", bytes, [=](Mm& x) { x = sum(x, Mm(2.0)); }},
        {"sum of complex", z, [=](Mm& x) { x = sum(x, Mm(2.0)); }},
        {"sum of sparse along rows", a, [=](Mm& x) { x = sum(sparse(x), Mm(2.0)); }},
        // Results wider than the spare room of an empty block.
        {"max with positions", wide, [=](Mm& x) {
             Mm m, k;
             max(x, i_o, m, k);
             x = k;
         }},
        {"max of bytes with positions", muint8(wide), [=](Mm& x) {
             Mm m, k;
             max(x, i_o, m, k);
             x = k;
         }},
        {"fused product", a, [=](Mm& x) { x = mtimes(x, product_form::conjugated, a, product_form::as_is); }},
        {"fused product of complex", z, [=](Mm& x) { x = mtimes(x, product_form::as_is, z, product_form::conjugated); }},
        {"max of columns with positions", a, [=](Mm& x) {
             Mm m, k;
             max(x, i_o, m, k);
             x = m + k;
         }},
        {"min along dimension 1", wide, [=](Mm& x) { x = min(x, Mm(), Mm(1.0)); }},
        {"triu", a, [=](Mm& x) { x = triu(x); }},
        {"tril of sparse", a, [=](Mm& x) { x = tril(sparse(x), Mm(-1.0)); }},
        {"triu of bytes", bytes, [=](Mm& x) { x = triu(x); }},
    });
}

TEST(AllocationFailure, ResultsPastTheSpareRoom)
{
    // Results of more than the 8 elements a refused block still has room
    // for, so a write into a refused result goes past its storage.
    // A byte result needs more than the 64 bytes that room holds.
    const Mm bytes = muint8(counting({3, 25}));
    const Mm more_bytes = muint8(counting({3, 25}) * Mm(2.0));
    const Mm z = test::complex(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 0, 2, 0, 1, 0, 3, 0, 1});
    const Mm z_next = z + Mm(1.0);
    test::sweep_allocations({
        {"factor", Mm(), [=](Mm& x) { x = factor(Mm(1024.0)); }},
        {"primes", Mm(), [=](Mm& x) { x = primes(Mm(30.0)); }},
        // The sieve, then the result of 168 elements.
        {"primes up to 1000", Mm(), [=](Mm& x) { x = primes(Mm(1000.0)); }},
        {"isprime", counting({3, 5}), [=](Mm& x) { x = isprime(x); }},
        {"factor of a large number", Mm(), [=](Mm& x) { x = factor(Mm(9007199254740880.0)); }},
        {"nchoosek of a large n", Mm(), [=](Mm& x) { x = nchoosek(Mm(3e9), Mm(2.0)); }},
        {"cart2sph of huge coordinates", counting({3, 4}) * Mm(1e300), [=](Mm& x) {
             Mm th, phi, r;
             cart2sph(x, x, x, i_o, th, phi, r);
             x = r;
         }},
        {"median of an N-d row", reshape(counting({1, 12}), test::row({1, 3, 4})), [=](Mm& x) { x = median(x); }},
        {"cross of bytes", bytes, [=](Mm& x) { x = cross(x, more_bytes); }},
        {"cross of complex", z, [=](Mm& x) { x = cross(x, z_next); }},
        // At most 4 extents: within the spare room, but still refused.
        {"size", counting({2, 3, 4, 5}), [=](Mm& x) { x = size(x); }},
    });
}

} // namespace
