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

} // namespace
