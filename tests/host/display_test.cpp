// Value display: disp and display of every kind of value, line by line as
// the print hook receives them; the short and long layouts; celldisp, the
// workspace description line, summaries and dump.
#include "test_support.hpp"

#include "host/display.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace {

using test::cell_of;

// Each call of the print hook, in order.
std::vector<std::string> calls;

void record(const char* text) { calls.emplace_back(text ? text : "(null)"); }

class Display : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        previous = qv_set_print_handler(record);
    }
    void TearDown() override
    {
        qv_set_print_handler(previous);
        format();
    }
    qv_text_handler previous = nullptr;
};

using lines = std::vector<std::string>;


Mm pair_struct(const Mm& a, const Mm& b) { return mstruct(cell_of(1, 4, {TM("a"), a, TM("b"), b})); }

TEST_F(Display, DisplayShowsAHeaderThenTheRows)
{
    Mm a(test::real(2, 3, {1, 4, 2, 5, 3, 6}), "a");
    display(a);
    EXPECT_EQ(calls, (lines{"a (2x3)=6 double elements real (48 bytes) = \n", "1  2  3\n", "4  5  6\n"}));

    calls.clear();
    display(Mm(5.0));
    EXPECT_EQ(calls, (lines{"ans (1x1)=1 double elements real (8 bytes) = \n", "5\n"}));

    calls.clear();
    display(x_M);
    disp_header(Mm(x_M));
    EXPECT_TRUE(calls.empty()) << "the empty result has neither header nor body";
}

TEST_F(Display, NumbersTakeTheLayoutOfNum2str)
{
    struct Case {
        const char* what;
        Mm x;
        lines expected;
    };
    const std::vector<Case> cases = {
        {"scalar", pi, {"3.142\n"}},
        {"non-finite", test::row({1, NAN, -INFINITY}), {"1   NaN  -Inf\n"}},
        {"complex", test::complex(1, 1, {1}, {-2}), {"1 -   2i\n"}},
        {"uint8", test::bytes(1, 2, {7, 255}), {"7 255\n"}},
        {"sparse", sparse(test::row({0, 5, 0})), {"(2)   5\n"}},
        {"all-zero sparse", sparse(zeros(2.0, 2.0)), {"All zeros sparse\n"}},
        {"computed empty", zeros(0.0, 3.0), {"[]\n"}},
        {"the absent operand", nop_M, {"[]\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls.clear();
        disp(c.x);
        EXPECT_EQ(calls, c.expected);
    }
    // Wide rows are never split into column blocks.
    calls.clear();
    disp(ones(1.0, 400.0));
    std::string row = "1";
    for (int k = 1; k < 400; ++k)
        row += "  1";
    EXPECT_EQ(calls, (lines{row + "\n"}));
}

TEST_F(Display, EmptyResultsAndTexts)
{
    struct Case {
        const char* what;
        Mm x;
        lines expected;
    };
    Mm rows2 = (BR("ab"), semi, "cd");
    const std::vector<Case> cases = {
        {"empty result", x_M, {}},
        {"a copy sharing the empty result", Mm(x_M), {}},
        {"0x0 text", TM(""), {}},
        {"text rows", rows2, {"ab\n", "cd\n"}},
        {"text with leading blanks keeps them", TM("  x"), {"  x\n"}},
        {"no value yet", Mm(i_o, "v", 0), {"(this variable has no value)\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls.clear();
        disp(c.x);
        EXPECT_EQ(calls, c.expected);
    }
}

TEST_F(Display, PagesOfThreeAndFourDimensions)
{
    disp(test::counting({2, 2, 3}));
    EXPECT_EQ(calls, (lines{"(:,:,1)\n", "1  3\n", "2  4\n", "(:,:,2)\n", "5  7\n", "6  8\n", "(:,:,3)\n",
                            " 9  11\n", "10  12\n"}));

    calls.clear();
    Mm text = test::counting({1, 2, 2}) + Mm(96.0);
    text.setstr(1);
    disp(text);
    EXPECT_EQ(calls, (lines{"(:,:,1)\n", "ab\n", "(:,:,2)\n", "cd\n"}));

    calls.clear();
    disp(test::counting({1, 1, 2, 2}));
    EXPECT_EQ(calls, (lines{"(:,:,1,1)\n", "1\n", "(:,:,2,1)\n", "2\n", "(:,:,1,2)\n", "3\n", "(:,:,2,2)\n", "4\n"}));
}

TEST_F(Display, LongAndShortFormats)
{
    format(TM("long"));
    EXPECT_EQ(short_format, 0);
    disp(pi);
    format(TM("loose"));
    disp(test::row({1, 2}));
    format();
    disp(pi);
    EXPECT_EQ(calls, (lines{"  3.14159265359\n", "  1  2\n", "3.142\n"}));

    format(TM("LONG"), Mm(1.0));
    EXPECT_EQ(short_format, 0);
    format(TM("short"));
    EXPECT_EQ(short_format, 1);
    calls.clear();
    format(TM("longlonglong"));
    EXPECT_EQ(short_format, 1) << "a word too long for its buffer reads as no word";
    EXPECT_EQ(calls, (lines{"warning: Mstr: buffer too small - chopped\n\n"}));
}

TEST_F(Display, CellsShowSummariesOfOneWidth)
{
    disp(cell_of(1, 2, {Mm(5.0), TM("twenty characters!!!")}));
    EXPECT_EQ(calls, (lines{"[5]         [1x20 char] \n"}));

    calls.clear();
    disp(cell_of(0, 0, {}));
    EXPECT_EQ(calls, (lines{"{}\n"}));

    calls.clear();
    disp(cell_of(2, 2, {TM("ab"), Mm(-INFINITY), cell_of(1, 2, {}), test::row({1, 2, 3})}));
    EXPECT_EQ(calls, (lines{"[ab]         [1x2 cell]   \n", "[-Inf]       [1x3 double] \n"}));

    calls.clear();
    Mm pages(0, 0, 0, 3, std::vector<int>{1, 1, 2}.data(), qv_cell);
    pages.mr(1) = Mm(1.0);
    pages.mr(2) = TM("x");
    disp(pages);
    EXPECT_EQ(calls, (lines{"(:,:,1)\n", "[1] \n", "(:,:,2)\n", "[x] \n"}));
}

TEST_F(Display, StructsListTheirFields)
{
    disp(pair_struct(Mm(5.0), TM("hello")));
    EXPECT_EQ(calls, (lines{"  a: [5]\n", "  b: [hello]\n"}));

    calls.clear();
    disp(pair_struct(cell_of(1, 2, {Mm(1.0), Mm(2.0)}), TM("x")));
    EXPECT_EQ(calls, (lines{"field list:\n", "  a\n", "  b\n"}));
}

Mm show_as_object(Mm x)
{
    qv_print_handler("object shown\n");
    return x_M;
}

TEST_F(Display, ObjectsUseTheirClassMethods)
{
    Mm plain = mclass(pair_struct(Mm(1.0), Mm(2.0)), TM("display_probe"));
    disp(plain);
    EXPECT_EQ(calls, (lines{"field list:\n", "a\n", "b\n"}));

    register_class_function("display_probe", "disp", show_as_object);
    register_class_function("display_probe", "display", show_as_object);
    calls.clear();
    disp(plain);
    display(plain);
    unregister_class_function("display_probe", "disp");
    unregister_class_function("display_probe", "display");
    EXPECT_EQ(calls, (lines{"object shown\n", "object shown\n"}));
}

TEST_F(Display, Celldisp)
{
    Mm c(cell_of(2, 1, {Mm(1.0), cell_of(1, 1, {TM("in")})}), "c");
    celldisp(c);
    EXPECT_EQ(calls, (lines{"c{1,1}\n", "1\n", "c{2,1}\n", "ans{1,1}\n", "in\n"}));

    calls.clear();
    celldisp(cell_of(1, 1, {Mm(2.0)}));
    EXPECT_EQ(calls, (lines{"ans{1,1}\n", "2\n"}));

    EXPECT_ERROR(celldisp(Mm(5.0)), "=5 is not a cell array.");
    EXPECT_ERROR(celldisp(Mm(test::row({1, 2}), "v")), "v is not a cell array.");
}

TEST_F(Display, SummariesAndDescriptions)
{
    struct Case {
        const char* what;
        Mm x;
        const char* summary;
        const char* description;
    };
    const std::vector<Case> cases = {
        {"text", TM("abc"), "abc", " (1x3)=3 char elements  (24 bytes)"},
        {"Inf", Mm(static_cast<double>(INFINITY)), "Inf", " (1x1)=1 double elements real (8 bytes)"},
        {"-Inf", Mm(static_cast<double>(-INFINITY)), "-Inf", " (1x1)=1 double elements real (8 bytes)"},
        {"NaN", Mm(static_cast<double>(NAN)), "NaN", " (1x1)=1 double elements real (8 bytes)"},
        {"4 digits", Mm(2.0 / 3.0), "0.6667", " (1x1)=1 double elements real (8 bytes)"},
        {"uint8", test::bytes(1, 1, {200}), "200", " (1x1)=1 uint8 elements real (1 bytes)"},
        {"complex", test::complex(1, 1, {1}, {1}), "1x1 double", " (1x1)=1 double elements complex (8 bytes)"},
        {"17 characters", TM("seventeen chars!!"), "1x17 char", " (1x17)=17 char elements  (136 bytes)"},
        {"sparse", sparse(test::row({0, 5, 0})), "1x3 sparse", " (1x3)=3 sparse elements real (12 bytes)"},
        {"sparse scalar", sparse(Mm(4.0)), "4", " (1x1)=1 sparse elements real (12 bytes)"},
        {"cell", cell_of(1, 2, {}), "1x2 cell", " (1x2)=2 cell elements real (256 bytes)"},
        {"struct", pair_struct(Mm(1.0), Mm(2.0)), "1x1 struct", " (1x1)=1 struct elements real (128 bytes)"},
        {"3-d", test::counting({2, 2, 2}), "2x2x2 double", " (2x2x2)=8 double elements real (64 bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(value_summary_text(c.x), c.summary);
        std::string d;
        whos_description(d, c.x);
        EXPECT_EQ(d, c.description);
        Mm line = get_whos_line(c.x);
        EXPECT_TRUE(line.isstr());
        EXPECT_EQ(line.size(), static_cast<int>(d.size()));
    }
    EXPECT_ERROR(value_summary_text(Mm(i_o, "v", 0)), "variable 'v' was used without a value");
}

TEST_F(Display, WhosLine)
{
    whos_line(Mm(TM("abc"), "s"));
    whos_line(Mm(Mm(1.0), "a_name_of_more_than_22_letters"));
    whos_line(Mm(1.0));
    EXPECT_EQ(calls, (lines{"s                      (1x3)=3 char elements  (24 bytes)\n",
                            "a_name_of_more_than_22_letters (1x1)=1 double elements real (8 bytes)\n",
                            "whos: bad name pointer 0000000000000000"}));
}

TEST_F(Display, DumpListsTheFields)
{
    dump(pair_struct(Mm(1.0), TM("x")));
    std::string all;
    for (const std::string& c : calls)
        all += c;
    EXPECT_EQ(all.rfind("**dump of (temporary) this = ", 0), 0u) << all;
    EXPECT_NE(all.find(" persistent = 0 global = 0\npr = "), std::string::npos) << all;
    EXPECT_NE(all.find(" nnz = 1 type = 3 classid = 0 class = struct\n"), std::string::npos) << all;
    EXPECT_NE(all.find("ndims = 2  dims = 1 1 "), std::string::npos) << all;
    EXPECT_NE(all.find("str = 0 sparse = 0 logical = 0 nfields = 2\nfields: a b \n"), std::string::npos) << all;
}

} // namespace
