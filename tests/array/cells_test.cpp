// Cells: the constructors and the size arguments they share with the
// others, the conversions cellstr, cell_from_array and cell2struct, and the
// iscellstr test.
#include "test_support.hpp"

#include <functional>
#include <string>
#include <vector>

namespace {

using test::text_of;
using test::cell_row;

using test::extents;
using test::values;



// A char matrix from rows of equal length.
Mm char_rows(std::vector<std::string> rows)
{
    Mm x(0, 0, 0, static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), qv_double);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            *x.addr(static_cast<int>(r) + 1, static_cast<int>(c) + 1) = static_cast<unsigned char>(rows[r][c]);
    x.setstr(1);
    return x;
}

double field(const Mm& s, int element, const char* name) { return Mm(s(Mm(double(element))).member(name)).r(); }

TEST(Cells, SizesAndEmptyElements)
{
    struct Case {
        const char* what;
        Mm value;
        std::vector<int> dims;
    };
    const std::vector<Case> cases = {
        {"cell(2)", cell(Mm(2.0)), {2, 2}},
        {"cell([2 3])", cell(test::row({2, 3})), {2, 3}},
        {"cell(2, 3)", cell(Mm(2.0), Mm(3.0)), {2, 3}},
        {"cell(2, 3, 4)", cell(Mm(2.0), Mm(3.0), Mm(4.0)), {2, 3, 4}},
        {"cell(1, 2, 1, 3)", cell(Mm(1.0), Mm(2.0), Mm(1.0), Mm(3.0)), {1, 2, 1, 3}},
        {"cells(2)", cells(Mm(2.0)), {2, 2}},
        {"cells(1, 3)", cells(Mm(1.0), Mm(3.0)), {1, 3}},
        {"cell(0)", cell(Mm(0.0)), {0, 0}},
        {"cell(2.7) truncates", cell(Mm(2.7)), {2, 2}},
        {"cell([2.5 1]) rounds", cell(test::row({2.5, 1})), {3, 1}},
        {"cell([1 2 3])", cell(test::row({1, 2, 3})), {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.value), c.dims);
        EXPECT_EQ(c.value.gettype(), qv_cell);
        if (c.value.size() > 0) {
            EXPECT_EQ(c.value.mr(c.value.size()).gettype(), qv_double) << "elements are empty doubles";
            EXPECT_EQ(c.value.mr(c.value.size()).size(), 0);
        }
    }
    for (const Mm& none : {cell(x_M), cell(Mm(2.0), x_M), cell(Mm(1.0), Mm(1.0), Mm(1.0), x_M)}) {
        EXPECT_EQ(none.gettype(), qv_double) << "an empty size argument gives the empty value";
        EXPECT_EQ(extents(none), (std::vector<int>{0, 0}));
    }
    test::clear_printed();
    Mm warned = cell(Mm(2.0), test::row({1, 2}));
    EXPECT_EQ(test::extents(warned), (std::vector<int>{2, 1}));
    EXPECT_EQ(test::printed(), "warning: eye01: expecting scalar argument\n\n");
}

TEST(Cells, CellstrTakesRowsWithoutTrailingBlanks)
{
    struct Case {
        const char* what;
        Mm x;
        std::vector<std::string> rows;
    };
    Mm with_nul = char_rows({"a b", "cd "});
    *with_nul.addr(1, 2) = 0;
    const std::vector<Case> cases = {
        {"padded rows", char_rows({"ab ", "cde"}), {"ab", "cde"}},
        {"inner blanks stay, code 0 goes", with_nul, {"ab", "cd"}},
        {"one row", TM("x  "), {"x"}},
        {"all blank", char_rows({"  "}), {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm out = cellstr(c.x);
        ASSERT_EQ(out.gettype(), qv_cell);
        ASSERT_EQ(extents(out), (std::vector<int>{static_cast<int>(c.rows.size()), 1}));
        for (std::size_t k = 0; k < c.rows.size(); ++k) {
            EXPECT_EQ(text_of(out.mr(static_cast<int>(k) + 1)), c.rows[k]);
            EXPECT_TRUE(out.mr(static_cast<int>(k) + 1).isstr());
        }
    }
    const Mm bytes = cellstr(test::bytes(2, 2, {97, 98, 32, 99}));
    EXPECT_EQ(bytes.mr(1).gettype(), qv_uint8) << "rows are taken as they are";
    EXPECT_EQ(bytes.mr(1).size(), 1);
    EXPECT_EQ(bytes.mr(2).size(), 2);

    const Mm c = cell_row({TM("a  ")});
    EXPECT_EQ(cellstr(c).getpr((Mm*)nullptr), c.getpr((Mm*)nullptr)) << "a cell is returned unchanged";
    EXPECT_EQ(extents(cellstr(x_M)), (std::vector<int>{0, 0}));
}

TEST(Cells, CellFromArrayCopiesTheValues)
{
    const Mm a = test::row({1, 2}), b = TM("b");
    const Mm* p[] = {&a, &b};
    const Mm c = cell_from_array(2, p);
    ASSERT_EQ(extents(c), (std::vector<int>{1, 2}));
    EXPECT_EQ(values(c.mr(1)), (std::vector<double>{1, 2}));
    EXPECT_TRUE(c.mr(2).isstr());
    const Mm none = cell_from_array(0, p);
    EXPECT_EQ(none.gettype(), qv_cell);
    EXPECT_EQ(extents(none), (std::vector<int>{0, 0}));
    const Mm* holes[] = {&a, nullptr};
    EXPECT_ERROR(cell_from_array(2, holes), "cell_from_array: value 2 is missing");
}

TEST(Cells, Cell2structFillsAlongTheDimension)
{
    Mm c(0, 0, 0, 2, 2, qv_cell);
    for (int k = 1; k <= 4; ++k)
        c.mr(k) = Mm(double(k));  // {1, 3; 2, 4}
    const Mm names = cell_row({TM("a"), TM("b")});

    const Mm along_rows = cell2struct(c, names, Mm(2.0));
    ASSERT_TRUE(along_rows.isstruct());
    EXPECT_EQ(extents(along_rows), (std::vector<int>{2, 1}));
    EXPECT_EQ(field(along_rows, 1, "a"), 1);
    EXPECT_EQ(field(along_rows, 1, "b"), 3);
    EXPECT_EQ(field(along_rows, 2, "a"), 2);
    EXPECT_EQ(field(along_rows, 2, "b"), 4);

    const Mm along_cols = cell2struct(c, names, Mm(1.0));
    EXPECT_EQ(extents(along_cols), (std::vector<int>{2, 1}));
    EXPECT_EQ(field(along_cols, 1, "b"), 2);
    EXPECT_EQ(field(along_cols, 2, "a"), 3);

    // A 1x2x3 cell along dimension 3: element j gets c(1, j, 1..3).
    const int d[3] = {1, 2, 3};
    Mm pages(0, 0, 0, 3, d, qv_cell);
    for (int k = 1; k <= 6; ++k)
        pages.mr(k) = Mm(double(k));
    const Mm deep = cell2struct(pages, cell_row({TM("x"), TM("y"), TM("z")}), Mm(3.0));
    EXPECT_EQ(extents(deep), (std::vector<int>{1, 2}));
    EXPECT_EQ(field(deep, 2, "x"), 2);
    EXPECT_EQ(field(deep, 2, "z"), 6);
    EXPECT_EQ(field(deep, 1, "y"), 3);
}

TEST(Cells, Cell2structRefusals)
{
    Mm c(0, 0, 0, 2, 1, qv_cell);
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"duplicate", [&] { cell2struct(c, cell_row({TM("a"), TM("a")}), Mm(1.0)); }, "cell2struct: duplicate field 'a'"},
        {"too few names", [&] { cell2struct(c, cell_row({TM("a")}), Mm(1.0)); }, "cell2struct: length(fields)!=size(x,dim)"},
        {"not a cell", [] { cell2struct(test::row({1, 2}), cell_row({TM("a"), TM("b")}), Mm(2.0)); },
         "cell2struct: first argument is not a cell"},
        {"names not a cell", [&] { cell2struct(c, TM("ab"), Mm(1.0)); }, "cell2struct: second argument is not a cell"},
        {"dimension 5", [&] { cell2struct(c, cell_row({TM("a")}), Mm(5.0)); },
         "(temporary).size(dim): no such dimension=5"},
        {"one input", [&] { cell2struct(c); }, "cell2struct does not accept 1 input"},
        {"two inputs", [&] { cell2struct(c, c); }, "cell2struct does not accept 2 inputs"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_ERROR(k.run(), k.message);
    }
}

TEST(Cells, AfterADuplicateNameFillingGoesOn)
{
    static std::vector<std::string> seen;
    seen.clear();
    qv_text_handler old = qv_set_error_handler([](const char* t) { seen.push_back(t); });
    Mm c(0, 0, 0, 2, 1, qv_cell);
    c.mr(1) = Mm(1.0);
    c.mr(2) = Mm(2.0);
    const Mm s = cell2struct(c, cell_row({TM("a"), TM("a")}), Mm(1.0));
    qv_set_error_handler(old);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(s.getnfields(), 2);
    EXPECT_EQ(field(s, 1, "a"), 1);
}

TEST(Cells, Iscellstr)
{
    struct Case {
        const char* what;
        Mm x;
        int expected;
    };
    Mm s(0, 0, 0, 1, 1, qv_cell);
    s.addfield("a", 1);
    const std::vector<Case> cases = {
        {"empty cell", Mm(0, 0, 0, 0, 0, qv_cell), 1},
        {"texts", cell_row({TM("a"), TM("")}), 1},
        {"text and number", cell_row({TM("a"), Mm(1.0)}), 0},
        {"char row", TM("a"), 0},
        {"struct", s, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(iscellstr(c.x), c.expected);
    }
}

} // namespace
