// Bracket and brace lists: the matrices and cells they build, the row
// separator, spreading of varargin, the direct fill against the general
// path, and lists that fail half way.
#include "test_support.hpp"

#include <functional>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

Mm logical_of(Mm x)
{
    x.setlogical(1);
    return x;
}

Mm cell_of(std::vector<Mm> items)
{
    Mm c(0, 0, 0, 1, static_cast<int>(items.size()), qv_cell);
    for (std::size_t k = 0; k < items.size(); ++k)
        c.mr(static_cast<int>(k) + 1) = items[k];
    return c;
}

TEST(Lists, BracketsBuildMatrices)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<int> dims;
        std::vector<double> re;
        bool complex;
        bool text;
        bool logical;
    };
    const Mm a = test::real(2, 1, {1, 2});
    const Mm b = test::real(2, 2, {3, 4, 5, 6});
    const Mm empty_row = zeros(Mm(1.0), Mm(0.0));
    const std::vector<Case> cases = {
        {"[1, 2; 3, 4]", (BR(1.0), 2.0, semi, 3.0, 4.0), {2, 2}, {1, 3, 2, 4}, false, false, false},
        {"[1, 2, ;]", (BR(1.0), 2.0, semi), {1, 2}, {1, 2}, false, false, false},
        {"[1, 'a']", (BR(1.0), "a"), {1, 2}, {1, 97}, false, true, false},
        {"[[], 5]", (BR(x_M), 5.0), {1, 1}, {5}, false, false, false},
        {"[5; zeros(1, 0)]", (BR(5.0), semi, empty_row), {1, 1}, {5}, false, false, false},
        {"[column, matrix]", (BR(a), b), {2, 3}, {1, 2, 3, 4, 5, 6}, false, false, false},
        {"[row; matrix; row]", (BR(1.0), 2.0, semi, b, semi, 7.0, 8.0), {4, 2}, {1, 3, 4, 7, 2, 5, 6, 8}, false, false, false},
        {"['ab'; 'cd']", (BR("ab"), semi, "cd"), {2, 2}, {97, 99, 98, 100}, false, true, false},
        {"[1, complex]", (BR(1.0), test::complex(1, 1, {2}, {3})), {1, 2}, {1, 2}, true, false, false},
        {"[true, false]", (BR(logical_of(Mm(1.0))), logical_of(Mm(0.0))), {1, 2}, {1, 0}, false, false, true},
        {"[true, 2]", (BR(logical_of(Mm(1.0))), 2.0), {1, 2}, {1, 2}, false, false, false},
        {"[0, 1] from ints", (BR(0), 1), {1, 2}, {0, 1}, false, false, false},
        {"only a separator", (BR(semi)), {0, 0}, {}, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.result.gettype(), qv_double);
        EXPECT_FALSE(c.result.issparse());
        EXPECT_EQ(extents(c.result), c.dims);
        EXPECT_EQ(values(c.result), c.re);
        EXPECT_EQ(c.result.isc() != 0, c.complex);
        EXPECT_EQ(c.result.isstr() != 0, c.text);
        EXPECT_EQ(c.result.islogical() != 0, c.logical);
        EXPECT_EQ(c.result.getname(), nullptr);
    }
    const Mm imag = (BR(1.0), test::complex(1, 1, {2}, {3}));
    EXPECT_EQ(imag.addi()[0], 0);
    EXPECT_EQ(imag.addi()[1], 3);
}

// Elements the direct fill does not take go through the concatenation
// functions, with their rules and messages.
TEST(Lists, GeneralPath)
{
    const Mm bytes = (BR("a"), test::bytes(1, 1, {44}));
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    EXPECT_FALSE(bytes.isstr()) << "bytes hold numbers, never text";
    EXPECT_EQ(bytes.getpr((unsigned char*)nullptr)[0], 97);

    const Mm pages = cat(Mm(3.0), Mm(1.0), Mm(2.0));
    const Mm joined = (BR(pages), pages);
    EXPECT_EQ(extents(joined), (std::vector<int>{1, 2, 2}));

    const Mm c = (BR(cell_of({Mm(1.0)})), cell_of({TM("x"), Mm(2.0)}), semi, cell_of({Mm(3.0), Mm(4.0), Mm(5.0)}));
    ASSERT_EQ(c.gettype(), qv_cell);
    EXPECT_EQ(extents(c), (std::vector<int>{2, 3}));
    EXPECT_TRUE(c.mr(3).isstr());

    EXPECT_ERROR(Mm((BR(1.0), 2.0, semi, 3.0)), "vertcat: # of cols different");
    EXPECT_ERROR(Mm((BR(test::real(2, 1, {1, 2})), 3.0)), "horzcat: # of rows different");
    EXPECT_ERROR(Mm((BR(1.0), cell_of({Mm(1.0)}))), "Operation can not be performed on mixed cell and numeric matrix");
    Mm unset(i_o, "q", 0);
    EXPECT_ERROR(Mm((BR(unset))), "variable 'q' was used without a value");
}

TEST(Lists, BracesBuildCells)
{
    const Mm x = test::row({7, 8});
    const Mm c = (CL(1.0), 2.0, semi, 3.0);
    ASSERT_EQ(c.gettype(), qv_cell);
    EXPECT_FALSE(c.isstruct());
    EXPECT_EQ(extents(c), (std::vector<int>{2, 2}));
    EXPECT_EQ(values(c.mr(1, 1)), (std::vector<double>{1}));
    EXPECT_EQ(values(c.mr(1, 2)), (std::vector<double>{2}));
    EXPECT_EQ(values(c.mr(2, 1)), (std::vector<double>{3}));
    EXPECT_EQ(c.mr(2, 2).gettype(), qv_double) << "a short row is padded with empty doubles";
    EXPECT_EQ(c.mr(2, 2).size(), 0);

    const Mm shared = (CL(x), "t");
    EXPECT_EQ(shared.mr(1).addr(), x.addr()) << "elements share the data of the values given";
    EXPECT_TRUE(shared.mr(2).isstr());

    const Mm leading = (CL(semi), 1.0);
    EXPECT_EQ(extents(leading), (std::vector<int>{2, 1})) << "every separator ends a row";
    EXPECT_EQ(leading.mr(1).size(), 0);

    for (const Mm& empty : {Mm(CL(semi)), Mm(Mc())}) {
        EXPECT_EQ(empty.gettype(), qv_cell);
        EXPECT_EQ(extents(empty), (std::vector<int>{0, 0}));
    }
}

TEST(Lists, SpreadingVarargin)
{
    const Mm x(1.0);
    const Mm args_cell = cell_of({TM("a"), Mm(2.0)});
    const Mm varargin(args_cell, "varargin");
    const Mm args(args_cell, "args");
    const Mm none(i_o, "varargin", 0);
    struct Case {
        const char* what;
        Mm result;
        int count;
    };
    const std::vector<Case> cases = {
        {"{x, varargin}", (CL(x), varargin), 3},
        {"{varargin, x, args}", (CL(varargin), x, args), 5},
        {"{x, varargin without a value}", (CL(x), none), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.result), (std::vector<int>{1, c.count}));
    }
    const Mm& three = cases[0].result;
    EXPECT_EQ(three.mr(1).r(), 1);
    EXPECT_TRUE(three.mr(2).isstr());
    EXPECT_EQ(three.mr(3).r(), 2);
    EXPECT_EQ(cases[1].result.mr(3).r(), 1);

    const Mm bad(Mm(2.0), "varargin");
    const Mm bad_args(Mm(2.0), "args");
    EXPECT_ERROR(Mm((CL(x), bad)), "varargin must be cell array");
    EXPECT_ERROR(Mm((CL(x), 2.0, "t", bad_args)), "varargin must be cell array");
}

TEST(Lists, GrowsBeyondItsInlineSlots)
{
    Mc list = BR(1.0);
    for (int k = 2; k <= 17; ++k)
        list, double(k);
    EXPECT_EQ(list.count(), 17);
    EXPECT_EQ(list.getcapacity(), 32);
    std::vector<double> expected;
    for (int k = 1; k <= 17; ++k)
        expected.push_back(k);
    EXPECT_EQ(values(Mm(list)), expected);

    // Owned elements: the list makes them and keeps them alive.
    Mc braces = CL("first");
    for (int k = 2; k <= 40; ++k)
        braces, "e";
    const Mm c(braces);
    ASSERT_EQ(c.size(), 40);
    EXPECT_EQ(values(c.mr(40)), (std::vector<double>{101}));
}

TEST(Lists, CopiesTakeOverOwnershipAndAssignmentIsRefused)
{
    Mc a = (BR(1.0), x_M, "z");
    Mc b(a);
    EXPECT_EQ(b.count(), 3);
    EXPECT_EQ(b.isowned(0), 1);
    EXPECT_EQ(b.isowned(1), 0) << "a value given by reference is borrowed";
    EXPECT_EQ(a.isowned(0), 0) << "the copy deletes the elements now";
    EXPECT_EQ(values(Mm(b)), (std::vector<double>{1, 122}));
    EXPECT_ERROR(a = b, "Mc=Mc called");
}

TEST(Lists, AFailedListChangesNothing)
{
    Mm target(5.0);
    const Mm bad(Mm(2.0), "varargin");
    EXPECT_ERROR(target = (CL(1.0), "owned text", 3.0, bad), "varargin must be cell array");
    EXPECT_EQ(values(target), (std::vector<double>{5}));
    EXPECT_ERROR(target = (BR(1.0), 2.0, semi, "abc"), "vertcat: # of cols different");
    EXPECT_EQ(values(target), (std::vector<double>{5}));
}

} // namespace
