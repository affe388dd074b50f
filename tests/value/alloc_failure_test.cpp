// Refused allocations in indexing: reads, growth, deletion, brace and member
// assignments survive every refusal, and a refused assignment changes nothing.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

using test::counting;
using test::keeps_target;

TEST(AllocationFailure, Indexing)
{
    const Mm two(2.0), three(3.0), seven(7.0), ten(10.0);
    const Mm range = colon(2.0, 4.0);
    const Mm long_range = colon(2.0, 150.0);  // made without its elements
    Mm a_struct;
    a_struct.member("a") = Mm(1.0);
    const Mm cells = test::cell_row({Mm(1.0), test::text("ab"), counting({2, 2})});
    const Mm seven_two_i = test::complex(1, 1, {7}, {2});
    test::sweep_allocations({
        {"scalar read", counting({3, 3}), [=](Mm& x) { x = Mm(x(two, three)); }},
        {"scalar read into x", Mm(0.0), [=](Mm& x) {
             const Mm v = counting({1, 4});
             x = v(three);
             x = v(two);
         }},
        {"mask read", counting({2, 3}), [=](Mm& x) { x = Mm(x(x > three)); }},
        {"row read", counting({3, 4}), [=](Mm& x) { x = Mm(x(two, c_p)); }},
        {"appending past the room", Mm(), [=](Mm& x) {
             x.deepcopy(x, qv_none);
             for (int k = 1; k <= 20; ++k)
                 x(Mm(x.size() + 1.0)) = Mm(double(k));
         }},
        {"range read", counting({1, 6}), [=](Mm& x) { x = Mm(x(range)); }},
        {"colon read", counting({3, 3}), [=](Mm& x) { x = Mm(x(c_p, two)); }},
        {"long range made and read", Mm(), [=](Mm& x) { x = colon(1.0, 500.0) + seven; }},
        {"long range read", counting({1, 200}), [=](Mm& x) { x = Mm(x(long_range)); }},
        {"long range write", counting({1, 200}), [=](Mm& x) { x(long_range) = seven; }, keeps_target},
        {"long range growth", counting({1, 100}), [=](Mm& x) { x(long_range) = seven; }, keeps_target},
        {"element write", counting({1, 4}), [=](Mm& x) { x(two) = seven; }, keeps_target},
        {"growth by one", counting({1, 4}), [=](Mm& x) { x(Mm(5.0)) = seven; }, keeps_target},
        {"growth of both extents", counting({2, 2}), [=](Mm& x) { x(three, ten) = seven; }, keeps_target},
        {"growth of a shared value", counting({1, 3}),
         [=](Mm& x) {
             Mm other = x;
             x(ten) = seven;
         },
         keeps_target},
        {"deletion", counting({1, 6}), [=](Mm& x) { x(range) = x_M; }, keeps_target},
        {"column deletion", counting({3, 3}), [=](Mm& x) { x(c_p, two) = x_M; }, keeps_target},
        {"text growth", test::text("abc"), [=](Mm& x) { x(Mm(6.0)) = test::text("z"); }, keeps_target},
        {"byte write", test::bytes(1, 3, {1, 2, 3}), [=](Mm& x) { x(ten) = seven; }, keeps_target},
        {"brace read", cells, [=](Mm& x) { x = Mm(x.br(two)); }},
        {"new cell read", Mm(), [=](Mm& x) {
             x = cell(ten, ten);
             x = Mm(x.br(seven));
         }},
        {"brace write", cells, [=](Mm& x) { x.br(three) = range; }, keeps_target},
        {"brace growth", cells, [=](Mm& x) { x.br(ten) = range; }, keeps_target},
        {"cell deletion", cells, [=](Mm& x) { x(two) = x_M; }, keeps_target},
        {"nested write", cells, [=](Mm& x) { x.br(three)(two, two) = seven; }, keeps_target},
        {"member write", Mm(), [=](Mm& x) { x.member("a") = range; }},
        {"member into a struct", a_struct, [=](Mm& x) { x.member("b") = range; }, keeps_target},
        {"member growth", Mm(), [=](Mm& x) {
             x.member("a") = seven;
             x(three).member("b") = range;
         }},
        {"struct element growth", a_struct, [=](Mm& x) { x(three) = a_struct; }, keeps_target},
        {"struct element through vwcopy1", a_struct, [=](Mm& x) { x.vwcopy1(a_struct, three); }, keeps_target},
        {"struct element through vwcopy2", a_struct, [=](Mm& x) { x.vwcopy2(a_struct, two, two); }, keeps_target},
        {"member of a shared record", a_struct,
         [=](Mm& x) {
             Mm other = x;
             x.member("a") = range;
         },
         keeps_target},
        // The record past the end is read silently, as a chain reads a
        // level that does not exist yet: a refusal there is healed by the
        // write, like "member growth" above.
        {"member of a record past the end", a_struct, [=](Mm& x) { x(three).member("a") = seven; }},
        {"fractional append", counting({1, 3}), [=](Mm& x) {
             x.deepcopy(x, qv_none);
             x(Mm(3.5)) = seven;
         }},
        {"complex into bytes", test::bytes(1, 3, {1, 2, 3}), [=](Mm& x) { x(two) = seven_two_i; }, keeps_target},
    });
}

// Comparisons and max/min of a complex operand work on a copy of their own;
// a bracket list of text and bytes converts the text.
TEST(AllocationFailure, ComplexOperandsAndConversions)
{
    const Mm z = test::complex(1, 3, {3, 1, 2}, {0, 0, 0});
    const Mm u = muint8(test::complex(1, 3, {1, 7, 3}, {0, 2, 0}));
    test::sweep_allocations({
        {"complex compared", Mm(), [=](Mm& x) { x = z == Mm(1.0); }},
        {"complex bytes compared", Mm(), [=](Mm& x) { x = u < Mm(5.0); }},
        {"max of complex", Mm(), [=](Mm& x) { x = max(z); }},
        {"min of complex bytes", Mm(), [=](Mm& x) {
             Mm k;
             min(u, i_o, x, k);
         }},
        {"text and bytes", Mm(), [=](Mm& x) { x = (BR(test::text("ab")), muint8(Mm(101.0))); }},
        {"text to bytes", Mm(), [=](Mm& x) { x = muint8(test::text("ab")); }},
    });
}

} // namespace
