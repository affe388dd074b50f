// String functions: deblank and the char-matrix builders str2mat,
// str2mat_pair and mchar.
#include "test_support.hpp"

#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

Mm codes(int rows, int cols, std::initializer_list<double> v)
{
    Mm x = test::real(rows, cols, v);
    x.setstr(1);
    return x;
}

Mm cell_row(std::vector<Mm> items)
{
    Mm c(0, 0, 0, 1, static_cast<int>(items.size()), qv_cell);
    for (std::size_t k = 0; k < items.size(); ++k)
        c.mr(static_cast<int>(k) + 1) = items[k];
    return c;
}

TEST(StringFunctions, Deblank)
{
    struct Case {
        const char* what;
        Mm x;
        std::vector<int> dims;
        std::vector<double> codes;
    };
    const std::vector<Case> cases = {
        {"trailing blanks", TM("ab  "), {1, 2}, {97, 98}},
        {"leading and inner blanks stay", TM(" a b"), {1, 4}, {32, 97, 32, 98}},
        {"code 0 removed anywhere", codes(1, 4, {97, 0, 98, 0}), {1, 2}, {97, 98}},
        {"blank before a trailing 0 stays", codes(1, 3, {97, 32, 0}), {1, 2}, {97, 32}},
        {"all blanks", TM("   "), {0, 0}, {}},
        {"a matrix becomes its column-major run", codes(2, 3, {97, 99, 98, 100, 32, 32}), {1, 4}, {97, 99, 98, 100}},
        {"a matrix without blanks or zeros stays", codes(2, 2, {97, 99, 98, 100}), {2, 2}, {97, 99, 98, 100}},
        {"a column stays a column", codes(3, 1, {97, 98, 32}), {2, 1}, {97, 98}},
        {"empty", TM(""), {0, 0}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm d = deblank(c.x);
        EXPECT_EQ(extents(d), c.dims);
        EXPECT_EQ(values(d), c.codes);
        EXPECT_TRUE(d.isstr());
    }
    const Mm numbers = deblank(test::row({1, 32}));
    EXPECT_FALSE(numbers.isstr()) << "the text mark is the argument's";
    EXPECT_EQ(values(numbers), (std::vector<double>{1}));

    const Mm bytes = deblank(test::bytes(1, 4, {97, 32, 0, 32}));
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    ASSERT_EQ(bytes.size(), 2);
    EXPECT_EQ(bytes.getpr((unsigned char*)nullptr)[1], 32);

    Mm c(0, 0, 0, 2, 1, qv_cell);
    c.mr(1) = TM("x ");
    c.mr(2) = TM("yz");
    const Mm dc = deblank(c);
    ASSERT_EQ(dc.gettype(), qv_cell);
    EXPECT_EQ(extents(dc), (std::vector<int>{2, 1}));
    EXPECT_EQ(values(dc.mr(1)), (std::vector<double>{120}));
    EXPECT_EQ(dc.mr(2).addr(), c.mr(2).addr()) << "an element with nothing to remove is shared";
}

TEST(StringFunctions, Str2matStacksPaddedRows)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<int> dims;
        std::vector<double> codes;
    };
    const std::vector<Case> cases = {
        {"two rows", str2mat(cell_row({TM("a"), TM("bcd")})), {2, 3}, {97, 98, 32, 99, 32, 100}},
        {"wider first", str2mat(cell_row({TM("ab"), TM("c")})), {2, 2}, {97, 99, 98, 32}},
        {"an empty argument is a blank row", str2mat(cell_row({TM("ab"), TM(""), TM("c")})), {3, 2},
         {97, 32, 99, 98, 32, 32}},
        {"one number is text", str2mat(cell_row({test::row({72, 105})})), {1, 2}, {72, 105}},
        {"a value that is not a cell", str2mat(Mm(65.0)), {1, 1}, {65}},
        {"one cell argument", str2mat(cell_row({cell_row({TM("x"), TM("yz")})})), {2, 2}, {120, 121, 32, 122}},
        {"numbers stacked", str2mat(cell_row({Mm(65.0), test::row({66, 67})})), {2, 2}, {65, 66, 32, 67}},
        {"mchar of a cell", mchar(cell_row({TM("ab"), TM("c")})), {2, 2}, {97, 99, 98, 32}},
        {"mchar of a number", mchar(test::row({104, 105})), {1, 2}, {104, 105}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.result), c.dims);
        EXPECT_EQ(values(c.result), c.codes);
        EXPECT_TRUE(c.result.isstr());
    }
    const Mm pair = str2mat_pair(test::row({1, 2, 3}), x_M);
    EXPECT_EQ(extents(pair), (std::vector<int>{2, 3}));
    EXPECT_EQ(values(pair), (std::vector<double>{1, 32, 2, 32, 3, 32}));
    EXPECT_FALSE(pair.isstr()) << "the pair follows the operands' marks";
}

} // namespace
