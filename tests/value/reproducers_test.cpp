// Faults found by fuzzing the public interface, one row each: the value a
// statement must give, or the error it must raise with its target unchanged.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

#include <functional>

namespace {

using test::row;

Mm struct_of(std::vector<std::pair<const char*, double>> fields)
{
    Mm s;
    for (const auto& [name, value] : fields)
        s.member(name) = Mm(value);
    return s;
}

TEST(Reproducers, SparseSourcesIntoBytesAndCells)
{
    struct Case {
        const char* what;
        Mm start;
        std::function<void(Mm&)> assign;
        std::function<Mm()> expected;
    };
    const Mm square = test::real(3, 3, {9, 8, 0, 0, 5, 0, 7, 0, 1});
    const std::vector<Case> cases = {
        {"x(2) = sparse(5) on uint8", test::bytes(1, 3, {1, 2, 3}), [](Mm& x) { x(Mm(2.0)) = sparse(Mm(5.0)); },
         [] { return test::bytes(1, 3, {1, 5, 3}); }},
        {"x(:) = sparse(3x3) on uint8", test::bytes(3, 3, {0, 0, 0, 0, 0, 0, 0, 0, 0}),
         [&](Mm& x) { x(c_p) = sparse(square); }, [] { return test::bytes(3, 3, {9, 8, 0, 0, 5, 0, 7, 0, 1}); }},
        {"c(1) = sparse(5)", cell(one_M, Mm(2.0)), [](Mm& x) { x(one_M) = sparse(Mm(5.0)); },
         [] {
             Mm c(cell(one_M, Mm(2.0)), "c");
             c(one_M) = Mm(5.0);
             return c;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.start, "x");
        c.assign(x);
        EXPECT_EQ(test::fingerprint(x), test::fingerprint(c.expected()));
    }
}

TEST(Reproducers, ComplexBytesCompareAsBytes)
{
    const Mm z = horzcat(test::bytes(1, 3, {1, 2, 3}), mcomplex(Mm(4.0), Mm(0.0)));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(isequal(z, test::bytes(1, 4, {1, 2, 3, 4})), 1);
    EXPECT_EQ(isequal(z, test::bytes(1, 4, {1, 2, 3, 5})), 0);
}

TEST(Reproducers, RefusedAssignmentsChangeNothing)
{
    struct Case {
        const char* what;
        Mm start;
        std::function<void(Mm&)> assign;
        const char* message;
    };
    const Mm two_fields = struct_of({{"a", 1}, {"b", 2}});
    Mm pair = struct_of({{"a", 1}});
    pair(Mm(2.0)).member("a") = Mm(2.0);
    const std::vector<Case> cases = {
        {"s(0).c = 10", pair, [](Mm& x) { x(Mm(0.0)).member("c") = Mm(10.0); },
         "index =0 out of matrix x. Index value was 0 which is not positive."},
        {"x(0) = struct", struct_of({{"a", 1}}), [&](Mm& x) { x(Mm(0.0)) = two_fields; },
         "index =0 out of matrix x. Index value was 0 which is not positive."},
        {"x(3e9) = struct", struct_of({{"a", 1}}), [&](Mm& x) { x(Mm(3e9)) = two_fields; }, "Out of memory!"},
        {"x(0, 0, 0) = struct", struct_of({{"a", 1}}), [&](Mm& x) { x(Mm(0.0), Mm(0.0), Mm(0.0)) = two_fields; },
         "index =0 out of matrix x. Index value was 0 which is not positive."},
        {"vwcopy1 of a number into a struct", struct_of({{"a", 1}}), [](Mm& x) { x.vwcopy1(Mm(3.0), Mm(4.0)); },
         "In the assignment x(...)=y, x was a structure array but y was not a structure"},
        {"vwcopy2 of a number into a struct", struct_of({{"a", 1}}),
         [](Mm& x) { x.vwcopy2(Mm(3.0), one_M, Mm(2.0)); },
         "In the assignment x(...)=y, x was a structure array but y was not a structure"},
        {"x(4) = 3 into a struct", struct_of({{"a", 1}}), [](Mm& x) { x(Mm(4.0)) = Mm(3.0); },
         "In the assignment x(...)=y, x was a structure array but y was not a structure"},
        {"c{[1 2 3]}(2) = 0", test::cell_row({row({1, 2}), row({3, 4}), row({5, 6})}),
         [](Mm& x) { x.br(colon(1.0, 3.0))(Mm(2.0)) = Mm(0.0); },
         "A {}-reference to several elements can not be indexed further in an assignment"},
        {"s{1} = 7", struct_of({{"a", 1}}), [](Mm& x) { x.br(one_M) = Mm(7.0); },
         "In the assignment x{...}=y, y must be a cell of the structure's 1 field values"},
        {"x(2147483647, 4, 2147483647) = 10", colon(1.0, 5.0),
         [](Mm& x) { x(Mm(2147483647.0), Mm(4.0), Mm(2147483647.0)) = Mm(10.0); }, "Out of memory!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.start, "x");
        const std::string before = test::fingerprint(x);
        EXPECT_ERROR(c.assign(x), c.message);
        EXPECT_EQ(test::fingerprint(x), before);
    }
    Mm c(test::cell_row({row({1, 2}), row({3, 4})}), "c");
    c.br(Mm(2.0))(Mm(2.0)) = Mm(0.0);
    EXPECT_EQ(test::values(c.safebr(2)), (std::vector<double>{3, 0})) << "one element still works";
}

TEST(Reproducers, HugeIndicesAreClearErrors)
{
    const Mm x(test::counting({3, 3}), "x");
    EXPECT_ERROR(Mm(x(one_M, row({INFINITY, 1, 1}))),
                 "x(1,(temporary)): col index out of matrix. Index was 2147483647 but indexed matrix has 3 columns.");
    EXPECT_ERROR(Mm(x(row({3e9, 1, 1}), one_M)),
                 "x((temporary),1): row index out of matrix. Index was 2147483647 but indexed matrix has 3 rows.");
    EXPECT_ERROR(repmat(ones(one_M, one_M, Mm(3.0)), Mm(2147483648.0), Mm(2147483648.0)), "Out of memory!");
}

} // namespace
