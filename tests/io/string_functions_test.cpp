// String functions: blanks, trimming, searching, character classes, case,
// joining, justification, comparison, replacement and tokens, and the
// char-matrix builders str2mat, str2mat_pair and mchar.
#include "io/string_functions.hpp"
#include "test_support.hpp"

#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using test::cell_of;
using test::cell_row;

using test::extents;
using test::values;

Mm codes(int rows, int cols, std::initializer_list<double> v)
{
    Mm x = test::real(rows, cols, v);
    x.setstr(1);
    return x;
}



// A char matrix from its rows, all of one width.
Mm char_rows(std::vector<std::string> rows)
{
    const int r = static_cast<int>(rows.size()), c = static_cast<int>(rows[0].size());
    Mm x(0, 0, 0, r, c, qv_double);
    for (int i = 0; i < r; ++i)
        for (int j = 0; j < c; ++j)
            x.addr()[i + r * j] = static_cast<unsigned char>(rows[i][j]);
    x.setstr(1);
    return x;
}

// The codes of a value as characters, column-major.
std::string chars(const Mm& x)
{
    std::string out;
    for (double v : values(x.gettype() == qv_uint8 ? mdouble(x) : x))
        out += static_cast<char>(v);
    return out;
}

// Lists the strings of a cell, column-major, as "a|b|c".
std::string cell_strings(const Mm& c)
{
    std::string out;
    for (int k = 1; k <= c.size(); ++k)
        out += (k > 1 ? "|" : "") + chars(c.mr(k));
    return out;
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
        {"a matrix keeps its rows", codes(2, 3, {97, 99, 98, 100, 32, 32}), {2, 2}, {97, 99, 98, 100}},
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

TEST(StringFunctions, Blanks)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<int> dims;
    };
    const std::vector<Case> cases = {
        {"three", blanks(Mm(3.0)), {1, 3}},
        {"a count is rounded", blanks(Mm(2.5)), {1, 3}},
        {"two counts", blanks(test::row({2, 3})), {2, 3}},
        {"counts past the second are ignored", blanks(test::row({2, 1, 5})), {2, 1}},
        {"rows and columns", blanks(Mm(2.0), Mm(4.0)), {2, 4}},
        {"zero", blanks(Mm(0.0)), {0, 0}},
        {"negative", blanks(Mm(-2.0)), {0, 0}},
        {"NaN", blanks(Mm(NAN)), {0, 0}},
        {"no count", blanks(Mm()), {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.result), c.dims);
        EXPECT_TRUE(c.result.isstr());
        for (double v : values(c.result))
            EXPECT_EQ(v, 32);
    }
    EXPECT_ERROR(blanks(cell_row({Mm(1.0)})), "blanks: numeric data expected, but matrix (temporary) is not");
}

TEST(StringFunctions, DeblankLeading)
{
    struct Case {
        const char* what;
        Mm x;
        std::vector<int> dims;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"leading blanks of a row", TM("  ab "), {1, 3}, "ab "},
        {"nothing to remove", TM("ab"), {1, 2}, "ab"},
        {"columns blank in every row", char_rows({"  a", "  b"}), {2, 1}, "ab"},
        {"a column blank in one row only stays", char_rows({"  a", " b "}), {2, 2}, " ba "},
        {"then code 0 goes: a matrix becomes a row", codes(2, 3, {32, 32, 97, 0, 98, 99}), {1, 3}, "abc"},
        {"all blank", TM("   "), {0, 0}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm d = deblank_leading(c.x);
        EXPECT_EQ(extents(d), c.dims);
        EXPECT_EQ(chars(d), c.text);
        EXPECT_TRUE(d.isstr());
    }
    EXPECT_FALSE(deblank_leading(test::row({32, 1})).isstr());
    const Mm cells = deblank_leading(cell_of(2, 1, {TM(" a"), TM("  b ")}));
    EXPECT_EQ(extents(cells), (std::vector<int>{2, 1}));
    EXPECT_EQ(cell_strings(cells), "a|b ");
}

TEST(StringFunctions, Findstr)
{
    struct Case {
        const char* what;
        Mm a, b;
        std::vector<double> starts;
    };
    const std::vector<Case> cases = {
        {"overlapping occurrences", TM("aaa"), TM("aa"), {1, 2}},
        {"pattern second", TM("abcabc"), TM("bc"), {2, 5}},
        {"pattern first: the shorter is the pattern", TM("bc"), TM("abcabc"), {2, 5}},
        {"equal lengths: b is the pattern", TM("ab"), TM("ab"), {1}},
        {"no occurrence", TM("abc"), TM("x"), {}},
        {"empty pattern", TM("abc"), TM(""), {}},
        {"numbers", test::row({1, 2, 1, 2, 1}), test::row({1, 2, 1}), {1, 3}},
        {"NaN matches nothing", test::row({NAN, 1, NAN}), test::row({NAN}), {}},
        {"imaginary parts count", test::complex(1, 3, {1, 1, 1}, {0, 2, 2}), test::complex(1, 1, {1}, {2}), {2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm f = findstr(c.a, c.b);
        EXPECT_EQ(values(f), c.starts);
        if (c.starts.empty()) {
            EXPECT_EQ(extents(f), (std::vector<int>{0, 0}));
        } else {
            EXPECT_EQ(f.rows(), 1);
        }
    }
    EXPECT_ERROR(findstr(TM("a")), "findstr does not accept 1 input");
    EXPECT_ERROR(findstr(cell_row({TM("a")}), TM("a")), "findstr: numeric data expected, but matrix (temporary) is not");
}

TEST(StringFunctions, FindstrAgreesWithADirectScan)
{
    // Small alphabets give the self-overlapping patterns that a search with
    // a skip table gets wrong.
    std::mt19937 gen(5);
    for (int round = 0; round < 200; ++round) {
        std::uniform_int_distribution<int> letter(0, round % 3 + 1);
        std::uniform_int_distribution<int> length(1, 7);
        std::vector<double> text(40), pattern(length(gen));
        for (auto& v : text)
            v = 'a' + letter(gen);
        for (auto& v : pattern)
            v = 'a' + letter(gen);
        std::vector<double> expected;
        for (std::size_t i = 0; i + pattern.size() <= text.size(); ++i)
            if (std::equal(pattern.begin(), pattern.end(), text.begin() + i))
                expected.push_back(i + 1.0);
        Mm t(0, 0, 0, 1, 40, qv_double), p(0, 0, 0, 1, static_cast<int>(pattern.size()), qv_double);
        std::copy(text.begin(), text.end(), t.addr());
        std::copy(pattern.begin(), pattern.end(), p.addr());
        ASSERT_EQ(values(findstr(t, p)), expected) << round;
    }
}

TEST(StringFunctions, CharacterClasses)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> expected;
    };
    const Mm tab_text = horzcat(TM("a b"), Mm(9.0));
    const std::vector<Case> cases = {
        {"isspace", isspace(tab_text), {0, 1, 0, 1}},
        {"isspace of codes 10 to 13 and 14", isspace(test::row({10, 13, 14, 8})), {1, 1, 0, 0}},
        {"isletter", isletter(TM("a1Z@[`{")), {1, 0, 1, 0, 0, 0, 0}},
        {"islower", islower(TM("aZ`{z")), {1, 0, 0, 0, 1}},
        {"isupper", isupper(TM("AZa@[")), {1, 1, 0, 0, 0}},
        {"bytes", isletter(test::bytes(1, 2, {65, 49})), {1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(c.result.islogical());
        EXPECT_EQ(values(c.result), c.expected);
    }
    EXPECT_EQ(extents(isupper(char_rows({"aB", "Cd"}))), (std::vector<int>{2, 2}));
    EXPECT_ERROR(isspace(cell_row({TM(" ")})), "isspace: numeric data expected, but matrix (temporary) is not");
}

TEST(StringFunctions, CaseConversion)
{
    const Mm word = TM("ABC-1");
    const Mm low = lower(word);
    EXPECT_EQ(chars(low), "abc-1");
    EXPECT_TRUE(low.isstr());
    EXPECT_EQ(chars(word), "ABC-1") << "the argument is not changed";
    EXPECT_EQ(chars(upper(TM("abc-z{"))), "ABC-Z{");

    const Mm cells = upper(cell_of(2, 1, {TM("ab"), TM("c")}));
    ASSERT_EQ(cells.gettype(), qv_cell);
    EXPECT_EQ(extents(cells), (std::vector<int>{2, 1}));
    EXPECT_EQ(cell_strings(cells), "AB|C");

    const Mm bytes = lower(test::bytes(1, 2, {65, 200}));
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    EXPECT_EQ(values(mdouble(bytes)), (std::vector<double>{97, 200}));
    const Mm numbers = upper(test::row({97, 1}));
    EXPECT_FALSE(numbers.isstr()) << "the text mark stays as it was";
    EXPECT_EQ(values(numbers), (std::vector<double>{65, 1}));
}

TEST(StringFunctions, Setstr)
{
    const Mm numbers = test::row({72, 105});
    const Mm t = setstr(numbers);
    EXPECT_TRUE(t.isstr());
    EXPECT_EQ(chars(t), "Hi");
    EXPECT_FALSE(numbers.isstr());
    EXPECT_ERROR(setstr(cell_row({TM("a")})), "setstr: numeric data expected, but matrix (temporary) is not");
}

TEST(StringFunctions, Strvcat)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"narrower padded", strvcat(TM("a"), TM("bcd")), {"a  ", "bcd"}},
        {"empty arguments skipped", strvcat(cell_row({TM("a"), TM(""), TM("b")})), {"a", "b"}},
        {"an empty first argument", strvcat(TM(""), TM("xy")), {"xy"}},
        {"matrices stack", strvcat(char_rows({"ab", "cd"}), TM("efg")), {"ab ", "cd ", "efg"}},
        {"a cell adds its elements", strvcat(cell_row({cell_row({TM("a"), TM("bb")}), TM("c")})), {"a ", "bb", "c "}},
        {"one argument", strvcat(TM("xyz")), {"xyz"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.result.rows(), static_cast<int>(c.rows.size()));
        EXPECT_TRUE(c.result.isstr());
        EXPECT_EQ(chars(c.result), chars(char_rows(c.rows)));
    }
    EXPECT_TRUE(isempty(strvcat(cell_row({TM(""), TM("")}))));
}

TEST(StringFunctions, Strcat)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<std::string> rows;
    };
    const std::vector<Case> matrices = {
        {"trailing blanks removed", strcat(cell_row({TM("a "), TM("b ")})), {"ab"}},
        {"leading blanks stay", strcat(cell_row({TM(" a"), TM(" b")})), {" a b"}},
        {"rows joined with one string", strcat(cell_row({char_rows({"a", "b"}), TM("c")})), {"ac", "bc"}},
        {"row by row, padded", strcat(cell_row({char_rows({"a ", "bb"}), char_rows({"x", "y"})})), {"ax ", "bby"}},
        {"three arguments", strcat(cell_row({TM("a"), TM("b "), TM("c")})), {"abc"}},
        {"an empty argument", strcat(cell_row({TM(""), TM("x ")})), {"x"}},
    };
    for (const auto& c : matrices) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.result.rows(), static_cast<int>(c.rows.size()));
        EXPECT_TRUE(c.result.isstr());
        EXPECT_EQ(chars(c.result), chars(char_rows(c.rows)));
    }

    struct CellCase {
        const char* what;
        Mm result;
        std::vector<int> dims;
        std::string strings;
    };
    const std::vector<CellCase> cells = {
        {"a cell and a string", strcat(cell_row({cell_row({TM("a ")}), TM("b")})), {1, 1}, "ab"},
        {"a row cell gives a row", strcat(cell_row({cell_row({TM("a"), TM("b")}), TM("x")})), {1, 2}, "ax|bx"},
        {"a column cell gives a column", strcat(cell_row({cell_of(2, 1, {TM("a"), TM("b")}), TM("x")})), {2, 1},
         "ax|bx"},
        {"a string and a cell", strcat(cell_row({TM("x "), cell_row({TM("a"), TM("b")})})), {1, 2}, "xa|xb"},
        {"rows of a matrix and a cell", strcat(cell_row({char_rows({"p", "q"}), cell_of(2, 1, {TM("1"), TM("2")})})),
         {2, 1}, "p1|q2"},
    };
    for (const auto& c : cells) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.result.gettype(), qv_cell);
        EXPECT_EQ(extents(c.result), c.dims);
        EXPECT_EQ(cell_strings(c.result), c.strings);
    }

    const Mm one = TM("x ");
    EXPECT_EQ(strcat(cell_row({one})).addr(), one.addr()) << "one argument is returned unchanged";
    EXPECT_EQ(strcat(one).addr(), one.addr());
    EXPECT_TRUE(isempty(strcat(Mm(0, 0, 0, 0, 0, qv_cell))));
    EXPECT_ERROR(strcat(cell_row({char_rows({"a", "b", "c"}), char_rows({"x", "y"})})),
                 "strcat: lists of 3 and 2 strings do not match");
    EXPECT_ERROR(strcat(cell_row({cell_row({TM("a"), TM("b")}), cell_row({TM("x"), TM("y"), TM("z")})})),
                 "strcat: lists of 2 and 3 strings do not match");
}

TEST(StringFunctions, Strjust)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"right by default", strjust(TM("a  ")), {"  a"}},
        {"left", strjust(TM(" a "), TM("left")), {"a  "}},
        {"centre", strjust(TM("ab    "), TM("center")), {"  ab  "}},
        {"centre rounds half away from zero", strjust(TM("abc       "), TM("c")), {"    abc   "}},
        {"upper-case mode", strjust(TM("a  "), TM("RIGHT")), {"  a"}},
        {"an unknown letter is right", strjust(TM("a "), TM("x")), {" a"}},
        {"each row on its own", strjust(char_rows({"a  ", " bc", "   "}), TM("right")), {"  a", " bc", "   "}},
        {"inner blanks stay", strjust(TM(" a b  "), TM("left")), {"a b   "}},
        {"codes 0 go", strjust(codes(1, 4, {97, 0, 98, 32}), TM("right")), {"  ab"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.result), extents(char_rows(c.rows)));
        EXPECT_EQ(chars(c.result), chars(char_rows(c.rows)));
        EXPECT_TRUE(c.result.isstr());
    }
}

TEST(StringFunctions, Strmatch)
{
    const Mm list = char_rows({"abc", "xab", "ab "});
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> rows;
    };
    const std::vector<Case> cases = {
        {"rows that begin with s", strmatch(TM("ab"), list), {1, 3}},
        {"exact", strmatch(TM("ab"), list, TM("exact")), {3}},
        {"exact given as a number", strmatch(TM("ab"), list, Mm(1.0)), {3}},
        {"zero is not exact", strmatch(TM("ab"), list, Mm(0.0)), {1, 3}},
        {"trailing blanks of s are ignored", strmatch(TM("ab  "), list, TM("exact")), {3}},
        {"a cell list", strmatch(TM("ab"), cell_row({TM("abc"), TM("b"), TM("ab")})), {1, 3}},
        {"no match", strmatch(TM("q"), list), {}},
        {"numbers are not text", strmatch(test::row({97, 98}), list), {}},
        {"an empty s matches nothing", strmatch(TM(""), list), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values(c.result), c.rows);
        if (!c.rows.empty()) {
            EXPECT_EQ(c.result.cols(), 1);
        }
    }
    EXPECT_ERROR(strmatch(TM("a")), "strmatch does not accept 1 input");
}

TEST(StringFunctions, Comparisons)
{
    struct Case {
        const char* what;
        std::function<Mm()> call;
        std::vector<double> expected;
        bool logical;
    };
    const Mm a = TM("abc");
    const Mm column = transpose(TM("abc"));
    const std::vector<Case> cases = {
        {"equal texts", [&] { return strcmp(a, TM("abc")); }, {1}, true},
        {"different texts", [&] { return strcmp(a, TM("abd")); }, {0}, true},
        {"different lengths", [&] { return strcmp(TM("ab"), a); }, {0}, true},
        {"different shapes", [&] { return strcmp(a, column); }, {0}, true},
        {"two empty texts", [] { return strcmp(TM(""), TM("")); }, {1}, false},
        {"one empty text", [] { return strcmp(TM("a"), TM("")); }, {0}, false},
        {"a number", [] { return strcmp(TM("a"), Mm(97.0)); }, {0}, false},
        {"two numbers", [] { return strcmp(Mm(5.0), Mm(5.0)); }, {0}, false},
        {"strncmp of the first two", [] { return strncmp(TM("abcd"), TM("abxy"), Mm(2.0)); }, {1}, true},
        {"strncmp: n cuts the longer only", [] { return strncmp(TM("ab"), TM("abc"), Mm(2.0)); }, {1}, true},
        {"strncmp: n beyond the shorter", [] { return strncmp(TM("ab"), TM("abc"), Mm(3.0)); }, {0}, true},
        {"strncmp: n is truncated", [] { return strncmp(TM("abc"), TM("abx"), Mm(2.9)); }, {1}, true},
        {"strncmp: n = 0", [] { return strncmp(TM("a"), TM("a"), Mm(0.0)); }, {0}, false},
        {"strncmp: negative n", [] { return strncmp(TM("a"), TM("a"), Mm(-1.0)); }, {0}, false},
        {"strncmp without n", [] { return strncmp(TM("ab"), TM("abc")); }, {0}, true},
        {"strcmpi", [] { return strcmpi(TM("ABC"), TM("abc")); }, {1}, true},
        {"strcmpi: only letters fold", [] { return strcmpi(TM("[a"), TM("{A")); }, {0}, true},
        {"strncmpi", [] { return strncmpi(TM("ABx"), TM("aby"), Mm(2.0)); }, {1}, true},
        {"strncmpi without n", [] { return strncmpi(TM("Ab"), TM("aB")); }, {1}, true},
        {"a cell against a text", [] { return strcmp(cell_row({TM("a"), TM("b")}), TM("a")); }, {1, 0}, true},
        {"a text against a column cell", [] { return strcmp(TM("b"), cell_of(2, 1, {TM("a"), TM("b")})); }, {0, 1},
         true},
        {"two cells", [] { return strcmp(cell_row({TM("a"), TM("b")}), cell_row({TM("a"), TM("c")})); }, {1, 0},
         true},
        {"a one-element cell expands",
         [] { return strcmp(cell_row({TM("a")}), cell_row({TM("a"), TM("b"), TM("a")})); }, {1, 0, 1}, true},
        {"cell elements that are not text", [] { return strcmp(cell_row({Mm(1.0), TM("")}), cell_row({Mm(1.0), TM("")})); },
         {0, 1}, true},
        {"strncmp of cells", [] { return strncmp(cell_row({TM("abc"), TM("xbc")}), TM("abd"), Mm(2.0)); }, {1, 0}, true},
        {"strcmpi of cells", [] { return strcmpi(cell_row({TM("AB"), TM("x")}), TM("ab")); }, {1, 0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm r = c.call();
        EXPECT_EQ(values(r), c.expected);
        EXPECT_EQ(r.islogical() != 0, c.logical);
    }
    EXPECT_EQ(extents(strcmp(TM("b"), cell_of(2, 1, {TM("a"), TM("b")}))), (std::vector<int>{2, 1}));

    EXPECT_ERROR(strcmp(cell_row({TM("a"), TM("b")}), cell_row({TM("a"), TM("b"), TM("c")})),
                 "strcmp: sizes of cell array do not match");
    EXPECT_ERROR(strncmpi(cell_of(2, 1, {TM("a"), TM("b")}), cell_row({TM("a"), TM("b")}), Mm(1.0)),
                 "strcmp: sizes of cell array do not match");
    EXPECT_ERROR(strncmp(TM("a"), TM("a"), Mm()), "strncmp: n argument may not be empty");
    struct Rejected {
        std::function<Mm()> call;
        const char* message;
    };
    const std::vector<Rejected> rejected = {
        {[] { return strcmp(TM("a")); }, "strcmp does not accept 1 input"},
        {[] { return strcmpi(TM("a")); }, "strcmpi does not accept 1 input"},
        {[] { return strncmp(TM("a")); }, "strncmp does not accept 1 input"},
        {[] { return strncmpi(TM("a")); }, "strncmpi does not accept 1 input"},
    };
    for (const auto& c : rejected) {
        SCOPED_TRACE(c.message);
        EXPECT_ERROR(c.call(), c.message);
    }
    // With a hook that returns, the one-input forms give 0.
    qv_text_handler previous = qv_set_error_handler([](const char*) {});
    const Mm zero = strncmpi(TM("a"));
    const Mm rep = strrep(TM("a"), TM("b"));
    qv_set_error_handler(previous);
    EXPECT_EQ(values(zero), (std::vector<double>{0}));
    EXPECT_EQ(values(rep), (std::vector<double>{0}));
}

TEST(StringFunctions, TheSharedTextTestFollowsStrcmp)
{
    const std::vector<std::pair<Mm, Mm>> pairs = {
        {TM("abc"), TM("abc")},         {TM("abc"), TM("abd")},         {TM(""), TM("")},
        {TM("a"), TM("")},              {TM("a"), Mm(97.0)},            {TM("abc"), transpose(TM("abc"))},
        {test::complex(1, 1, {97}, {1}), TM("a")},
    };
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(text_equals(pairs[k].first, pairs[k].second), strcmp(pairs[k].first, pairs[k].second).r() != 0);
    }
    Mm complex_text = test::complex(1, 1, {97}, {1});
    complex_text.setstr(1);
    EXPECT_FALSE(text_equals(complex_text, TM("a"))) << "imaginary parts count";
    EXPECT_FALSE(text_equals(cell_row({TM("a")}), TM("a")));
    EXPECT_TRUE(isa(Mm(1.0), TM("double")));
    EXPECT_FALSE(isa(Mm(1.0), TM("doubl")));
}

TEST(StringFunctions, Strrep)
{
    struct Case {
        const char* what;
        Mm result;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"every occurrence", strrep(TM("abcabc"), TM("bc"), TM("X")), "aXaX"},
        {"s shorter than from", strrep(TM("ab"), TM("abc"), TM("X")), "ab"},
        {"longer replacement", strrep(TM("abc"), TM("b"), TM("XYZ")), "aXYZc"},
        {"deletion", strrep(TM("abcb"), TM("b"), TM("")), "ac"},
        {"no occurrence", strrep(TM("abc"), TM("x"), TM("y")), "abc"},
        {"empty from", strrep(TM("abc"), TM(""), TM("y")), "abc"},
        // Occurrences are found once and replaced from the last, each on the
        // text as it is then: 'aaaa' -> 'aab' -> 'ab' -> 'b'.
        {"overlapping occurrences", strrep(TM("aaaa"), TM("aa"), TM("b")), "b"},
        {"overlapping, three", strrep(TM("aaa"), TM("aa"), TM("X")), "X"},
        {"the whole text", strrep(TM("ab"), TM("ab"), TM("xyz")), "xyz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(chars(c.result), c.text);
        EXPECT_TRUE(c.result.isstr());
    }
    const Mm cells = strrep(cell_of(2, 1, {TM("abc "), TM("xbc")}), TM("bc"), TM("X"));
    ASSERT_EQ(cells.gettype(), qv_cell);
    EXPECT_EQ(extents(cells), (std::vector<int>{2, 1}));
    EXPECT_EQ(cell_strings(cells), "aX |xX") << "each string on its own";

    // Linear in the text: a long run of overlapping occurrences.
    std::string longer(200000, 'a');
    EXPECT_EQ(chars(strrep(TM(longer.c_str()), TM("a"), TM("bb"))), std::string(400000, 'b'));
    EXPECT_EQ(chars(strrep(TM(longer.c_str()), TM("aa"), TM("b"))), "b");
    // A result no value can hold is refused before it is built.
    const std::string wide(20000, 'x');
    EXPECT_ERROR(strrep(TM(longer.c_str()), TM("a"), TM(wide.c_str())), "Out of memory!");

    EXPECT_ERROR(strrep(TM("a")), "strrep does not accept 1 input");
    EXPECT_ERROR(strrep(TM("a"), TM("a")), "strrep does not accept 2 inputs");
}

TEST(StringFunctions, Strtok)
{
    struct Case {
        const char* what;
        Mm s, delims;
        std::string token, rest;
    };
    const Mm none;
    const std::vector<Case> cases = {
        {"leading blanks skipped", TM("  hello world"), none, "hello", " world"},
        {"given delimiters", TM("a,b"), TM(","), "a", ",b"},
        {"only delimiters", TM("   "), none, "", ""},
        {"no delimiter", TM("abc"), none, "abc", ""},
        {"tabs and newlines", TM("\t\nab\rc"), none, "ab", "\rc"},
        {"several delimiters", TM(";;x;y"), TM(",;"), "x", ";y"},
        {"empty", TM(""), none, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm token, rest;
        if (isempty(c.delims) && !c.delims.isstr()) {
            strtok(c.s, i_o, token, rest);
            EXPECT_EQ(chars(strtok(c.s)), c.token);
        } else {
            strtok(c.s, c.delims, i_o, token, rest);
            EXPECT_EQ(chars(strtok(c.s, c.delims)), c.token);
        }
        EXPECT_EQ(chars(token), c.token);
        EXPECT_EQ(chars(rest), c.rest);
        EXPECT_TRUE(token.isstr());
        EXPECT_TRUE(rest.isstr());
    }
    // The token is text when s or the delimiters are; the rest follows it.
    Mm token, rest;
    strtok(test::row({1, 0, 2}), Mm(0.0), i_o, token, rest);
    EXPECT_EQ(values(token), (std::vector<double>{1}));
    EXPECT_FALSE(token.isstr());
    EXPECT_FALSE(rest.isstr());
    strtok(test::row({1, 44, 2}), TM(","), i_o, token, rest);
    EXPECT_TRUE(token.isstr());
    EXPECT_TRUE(rest.isstr());
}

} // namespace

namespace {

TEST(Deblank, AMatrixOfSeveralRowsKeepsItsRows)
{
    Mm m = TM("ab ");
    Mm two = vertcat(TM("ab "), TM("cd "));
    Mm d = deblank(two);
    EXPECT_EQ(d.rows(), 2);
    EXPECT_EQ(d.cols(), 2);
    EXPECT_EQ(d.isstr(), 1);
    EXPECT_EQ(test::values(d), (std::vector<double>{'a', 'c', 'b', 'd'}));
    Mm ragged = vertcat(TM("ab  "), TM("c   "));
    EXPECT_EQ(deblank(ragged).cols(), 2) << "a column blank in one row only stays";
    EXPECT_EQ(test::values(deblank(m)), (std::vector<double>{'a', 'b'}));
}

} // namespace
