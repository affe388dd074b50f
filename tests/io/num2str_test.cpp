// Number and text conversions: num2str and its column layout, int2str,
// mat2str, str2num, str2double and the radix functions.
#include "test_support.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using test::values;

// The rows of a char matrix as strings.
std::vector<std::string> rows_of(const Mm& t)
{
    EXPECT_TRUE(t.isstr());
    std::vector<std::string> out;
    if (t.size() == 0)
        return out;
    const Mm f = full(t);
    for (int r = 0; r < f.rows(); ++r) {
        std::string line;
        for (int c = 0; c < f.cols(); ++c)
            line += static_cast<char>(f.addr()[r + c * f.rows()]);
        out.push_back(line);
    }
    return out;
}

Mm sparse_row(std::initializer_list<double> v) { return sparse(test::row(v)); }

Mm cell_of(std::vector<Mm> items)
{
    Mm c(0, 0, 0, 1, static_cast<int>(items.size()), qv_cell);
    for (std::size_t k = 0; k < items.size(); ++k)
        c.mr(static_cast<int>(k) + 1) = items[k];
    return c;
}

struct TextCase {
    const char* what;
    Mm x;
    std::vector<std::string> rows;
};

void expect_rows(const std::vector<TextCase>& cases, Mm (*f)(const Mm&))
{
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rows_of(f(c.x)), c.rows);
    }
}

TEST(Num2str, ShortLayout)
{
    const double nan_minus = std::copysign(NAN, -1.0), nan_plus = std::copysign(NAN, 1.0);
    const std::vector<TextCase> cases = {
        {"pi", pi, {"3.142"}},
        {"matrix", test::real(2, 2, {1, 3, 2, 4}), {"1  2", "3  4"}},
        {"exponent form", Mm(123456.0), {"1.235e+05"}},
        {"non-finite", test::row({1, NAN, INFINITY}), {"1  NaN  Inf"}},
        {"-Inf widens the columns", test::row({-INFINITY, 1}), {"-Inf     1"}},
        {"NaN of either sign", test::row({nan_minus, nan_plus}), {"NaN  NaN"}},
        {"whole", Mm(3.0), {"3"}},
        {"negative fraction", Mm(-0.5), {"-0.5"}},
        {"negative zero", Mm(-0.0), {"-0"}},
        {"column of mixed widths", test::real(3, 1, {1, -20, 300}), {"  1", "-20", "300"}},
        {"largest whole number of the precision", test::row({9999, 10000}), {"9999  1e+04"}},
        {"empty", Mm(), {"[]"}},
        {"computed empty", zeros(0.0, 3.0), {"[]"}},
        {"empty text", TM(""), {"''"}},
        {"text", TM("abc"), {"abc"}},
        {"text loses blank columns on the left", TM("  ab"), {"ab"}},
        {"complex", test::complex(1, 2, {1, 3}, {2, -4}), {"1 +   2i  3 -   4i"}},
        {"zero imaginary part is blank", test::complex(1, 2, {1, 5}, {2, 0}), {"1 +  2i  5      "}},
        {"uint8 in fields of 4", test::bytes(1, 3, {1, 2, 200}), {"1   2 200"}},
        {"logical", mlogical(test::row({1, 0})), {"1  0"}},
        {"sparse vector", sparse_row({0, 5, 0}), {"(2)   5"}},
        {"sparse vector of 12", sparse_row({0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1}), {"( 2)    7", "(12)   -1"}},
        {"sparse matrix", sparse(test::real(2, 2, {0, 3, 2, 0})), {"(2,1)   3", "(1,2)   2"}},
        {"all-zero sparse", sparse(zeros(2.0, 3.0)), {"All zeros sparse"}},
        {"3-d pages side by side", test::counting({1, 2, 2}), {"1  2  3  4"}},
    };
    expect_rows(cases, num2str);
}

TEST(Num2str, PrecisionAndReferenceWidth)
{
    struct Case {
        const char* what;
        Mm x;
        double p;
        std::vector<std::string> rows;
        double width;
    };
    const std::vector<Case> cases = {
        {"default precision, untrimmed", Mm(7.0), 4, {"  7"}, 3},
        {"8 digits", pi, 8, {"  3.1415927"}, 11},
        {"12 digits", pi, 12, {"  3.14159265359"}, 15},
        {"matrix", test::real(2, 2, {1, 3, 2, 4}), 4, {"  1  2", "  3  4"}, 3},
        {"1 digit", Mm(26.0), 1, {"  3e+01"}, 7},
        {"negative precision counts as none", pi, -3, {"  3"}, 3},
        {"sparse: the first line", sparse_row({0, 5, 0}), 4, {"(2)   5"}, 7},
        {"empty", Mm(), 4, {"[]"}, 2},
        {"text: its columns", TM("ab"), 4, {"ab"}, 2},
        {"no value yet", Mm(i_o, "v", 0), 4, {"(this variable has no value)"}, 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm s, n;
        EXPECT_EQ(num2str(c.x, Mm(c.p), i_o, s, n).getpr((void*)nullptr), x_M.getpr((void*)nullptr));
        EXPECT_EQ(rows_of(s), c.rows);
        EXPECT_EQ(n.r(), c.width);
        EXPECT_EQ(rows_of(num2str(c.x, Mm(c.p))), c.rows);
    }
    Mm s, n;
    num2str(Mm(7.0), i_o, s, n);
    EXPECT_EQ(rows_of(s), (std::vector<std::string>{"  7"}));
    EXPECT_EQ(n.r(), 3);
}

// Every element text is the C library's "%<w+2>.<p>g" text, w being the
// widest "%.<p>g" text: whole numbers are written without the formatter, so
// they are held against it here.
TEST(Num2str, ElementTextsAreTheFormattersText)
{
    const double samples[] = {0,    1,     -1,    9,      10,        99.5,     999,     1000,   9999,
                              1e4,  12345, 1e5,   -1e15,  1e15,      1e16,     2e22,    0.1,    1e-5,
                              -7.25, 4.9e-324, 1.7976931348623157e308, 123456789, 65536, 3.0e9};
    for (int p : {1, 2, 4, 6, 12, 15, 17, 20, 40}) {
        for (double v : samples) {
            SCOPED_TRACE(std::to_string(v) + " with " + std::to_string(p) + " digits");
            char plain[512], wide[512];
            std::snprintf(plain, sizeof plain, "%.*g", p, v);
            std::snprintf(wide, sizeof wide, "%*.*g", static_cast<int>(std::strlen(plain)) + 2, p, v);
            Mm s, n;
            num2str(Mm(v), Mm(static_cast<double>(p)), i_o, s, n);
            EXPECT_EQ(rows_of(s), std::vector<std::string>{wide});
        }
    }
    // A text longer than any fixed buffer: 60 digits of pi.
    char expected[128];
    std::snprintf(expected, sizeof expected, "  %.60g", 3.141592653589793);
    EXPECT_EQ(rows_of(num2str(pi, Mm(60.0))), std::vector<std::string>{expected});
}

TEST(Num2str, CellsAndStructsAreRejected)
{
    EXPECT_ERROR(num2str(cell_of({Mm(1.0)})), "Can not convert (temporary) into a numerical matrix");
    Mm named(cell_of({Mm(1.0)}), "c");
    EXPECT_ERROR(num2str(named), "Can not convert c into a numerical matrix");
    EXPECT_ERROR(num2str(mstruct(cell_of({TM("a"), Mm(1.0)}))),
                 "Can not convert (temporary) into a numerical matrix");
    EXPECT_ERROR(mat2str(cell_of({Mm(1.0)})), "Can not convert (temporary) into a numerical matrix");
}

TEST(Num2str, Int2strRoundsHalvesAway)
{
    const std::vector<TextCase> cases = {
        {"2.5", Mm(2.5), {"3"}},
        {"-2.5", Mm(-2.5), {"-3"}},
        {"default precision", Mm(123456.0), {"1.235e+05"}},
        {"row", test::row({0.4, 1.6, -7.5}), {"0   2  -8"}},
    };
    expect_rows(cases, int2str);
}

TEST(Mat2str, BracketSyntax)
{
    struct Case {
        const char* what;
        Mm x;
        double digits;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"matrix", test::real(2, 2, {1, 3, 2, 4}), 15, "[ 1 2; 3 4]"},
        {"scalar", Mm(5.0), 15, " 5"},
        {"empty", Mm(), 15, "[]"},
        {"fraction and sign", test::row({1.5, -2}), 15, "[ 1.5 -2]"},
        {"complex", test::complex(1, 1, {1}, {2}), 15, " 1 + 2i"},
        {"negative imaginary part", test::complex(1, 1, {1}, {-2}), 15, " 1 - 2i"},
        {"zero imaginary part inside a row", test::complex(1, 2, {1, 3}, {2, 0}), 15, "[ 1 + 2i 3     ]"},
        {"column", test::real(2, 1, {1, 2}), 15, "[ 1; 2]"},
        {"non-finite", test::row({NAN, -INFINITY}), 15, "[ NaN -Inf]"},
        {"default digits", pi, 15, " 3.14159265358979"},
        {"4 digits", pi, 4, " 3.142"},
        {"text is its codes", TM("ab"), 15, "[ 97 98]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm t = c.digits == 15 ? mat2str(c.x) : mat2str(c.x, Mm(c.digits));
        EXPECT_EQ(rows_of(t), std::vector<std::string>{c.text});
    }
}

// A value compared element by element, imaginary parts included.
void expect_value(const Mm& got, int rows, int cols, std::vector<double> re, std::vector<double> im = {})
{
    ASSERT_EQ(got.rows(), rows);
    ASSERT_EQ(got.cols(), cols);
    EXPECT_FALSE(got.isstr());
    const std::vector<double> v = values(got);
    ASSERT_EQ(v.size(), re.size());
    for (std::size_t k = 0; k < re.size(); ++k)
        EXPECT_TRUE(v[k] == re[k] || (std::isnan(v[k]) && std::isnan(re[k]))) << "element " << k << ": " << v[k];
    if (im.empty()) {
        EXPECT_FALSE(got.isc());
        return;
    }
    ASSERT_TRUE(got.isc());
    for (std::size_t k = 0; k < im.size(); ++k)
        EXPECT_EQ(got.addi()[k], im[k]) << "imaginary part " << k;
}

TEST(Str2num, ReadsMatricesWrittenAsText)
{
    struct Case {
        const char* text;
        int rows, cols;
        std::vector<double> re, im;
    };
    const std::vector<Case> cases = {
        {"1 2; 3 4", 2, 2, {1, 3, 2, 4}, {}},
        {"[1,2,3]", 1, 3, {1, 2, 3}, {}},
        {"3 + 4i", 1, 1, {3}, {4}},
        {"3+ 4i", 1, 1, {3}, {4}},
        {"3 +4i", 1, 2, {3, 0}, {0, 4}},
        {"3-i", 1, 1, {3}, {-1}},
        {"i", 1, 1, {0}, {1}},
        {"2.5e3i 1", 1, 2, {0, 1}, {2500, 0}},
        {"abc", 1, 1, {0}, {}},
        {"-Inf", 1, 1, {-INFINITY}, {}},
        {"inf NaN", 1, 2, {INFINITY, NAN}, {}},
        {"1 2\n3", 2, 2, {1, 3, 2, 0}, {}},
        {"1;;2;", 2, 1, {1, 2}, {}},
        {"\t-1.5e-3 ,\t+2 ", 1, 2, {-1.5e-3, 2}, {}},
        {"1 - 2", 1, 1, {1}, {}},
        {"0x10", 1, 1, {16}, {}},
        {"[]", 0, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        expect_value(str2num(TM(c.text)), c.rows, c.cols, c.re, c.im);
    }
    Mm two_rows = (BR("1 2"), semi, "3 4");
    expect_value(str2num(two_rows), 2, 2, {1, 3, 2, 4});
    for (const char* blank : {"", "  ", " \t\r\n"}) {
        SCOPED_TRACE(std::string("blank '") + blank + "'");
        EXPECT_EQ(str2num(TM(blank)).size(), 0);
    }
    // A token far beyond any fixed buffer, its signs joined across blanks.
    std::string longest = "1" + std::string(400, '0') + " + " + std::string(300, '0') + "5i";
    expect_value(str2num(TM(longest.c_str())), 1, 1, {INFINITY}, {5});
}

// Plain decimal tokens against the C library's strtod, bit for bit: halfway
// cases, long mantissas, subnormals, values that overflow or vanish, signed
// zeros, and tokens that only look numeric.
TEST(Str2num, DecimalTokensReadAsStrtodReadsThem)
{
    const std::vector<std::string> tokens = {
        "0", "-0", "-0.0", "1e-310", "4.9406564584124654e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
        "1e-400", "-1e-400", "1e308", "1.7976931348623157e308", "1.7976931348623159e308", "1e400", "-1e400",
        "0.1", "-3.5", ".5", "5.", "1e5", "1E+05", "1e-5", "123456789012345678901234567890", "9007199254740993",
        "0.30000000000000004441", "2.2250738585072011e-308", "1.00000000000000011102230246251565404236316680908203125",
        "1.2.3", "1e", "1e+", "--1", "-", "1-2", "0x1A", "0x1p-3", "1d3", "+7", "00012", "1e0000000000000000000005",
    };
    for (const std::string& t : tokens) {
        SCOPED_TRACE("'" + t + "'");
        char* end = nullptr;
        const double first = std::strtod(t.c_str(), &end);
        double expected = end == t.c_str() ? 0.0 : first;
        // What strtod leaves after the number is a second number only in a
        // complex element; here it is dropped.
        Mm r = str2num(TM(t.c_str()));
        ASSERT_EQ(r.size(), 1);
        EXPECT_EQ(std::memcmp(r.addr(), &expected, sizeof expected), 0) << r.r(1) << " against " << expected;
    }
    struct Case {
        const char* text;
        int rows, cols;
        std::vector<double> re;
    };
    const std::vector<Case> cases = {
        {"  -3.5  ", 1, 1, {-3.5}},
        {"[1 2;3 4]", 2, 2, {1, 3, 2, 4}},
        {"1e-310 -0", 1, 2, {1e-310, -0.0}},
        {"0x1G", 1, 1, {1}},
        {"12abc", 1, 1, {12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        expect_value(str2num(TM(c.text)), c.rows, c.cols, c.re);
    }
    EXPECT_TRUE(std::signbit(str2num(TM("1e-310 -0")).r(2)));
}

TEST(Str2num, RejectsNumbers)
{
    EXPECT_ERROR(str2num(Mm(5.0)), "str2num: input is not a string");
    qv_text_handler old = qv_set_error_handler([](const char*) {});
    Mm r = str2num(Mm(5.0));
    qv_set_error_handler(old);
    EXPECT_EQ(values(r), std::vector<double>{0}) << "the value after a returning error hook";
}

TEST(Str2double, EmptyIsNaNAndCellsGoElementByElement)
{
    expect_value(str2double(TM("")), 1, 1, {NAN});
    expect_value(str2double(TM("abc")), 1, 1, {0});
    expect_value(str2double(TM("2.5")), 1, 1, {2.5});
    expect_value(str2double(cell_of({TM("1"), TM(""), TM("-3e2")})), 1, 3, {1, NAN, -300});
    expect_value(str2double(cell_of({TM("1+2i"), TM("4")})), 1, 2, {1, 4}, {2, 0});
}

TEST(Radix, TextToNumbers)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> expected;
    };
    Mm hex_rows = (BR("0A"), semi, "FF");
    const std::vector<Case> cases = {
        {"bin2dec ignores the base of a digit", bin2dec(TM("12")), {4}},
        {"bin2dec", bin2dec(TM("1011")), {11}},
        {"hex2dec lower case", hex2dec(TM("ff")), {255}},
        {"hex2dec rows", hex2dec(hex_rows), {10, 255}},
        {"base2dec base 3", base2dec(TM("11"), Mm(3.0)), {4}},
        {"base2dec default 16", base2dec(TM("10")), {16}},
        {"a blank is a 0 digit", base2dec(TM("1 "), Mm(10.0)), {10}},
        {"letters up to Z", base2dec(TM("zZ"), Mm(36.0)), {35 * 36 + 35}},
        {"cell of texts", hex2dec(cell_of({TM("1"), TM("10")})), {1, 16}},
        {"cell of unequal lengths", hex2dec(cell_of({TM("A"), TM("1F")})), {10, 31}},
        {"cell column of unequal lengths", hex2dec(test::cell_of(3, 1, {TM("A"), TM("1F"), TM("FFF")})), {10, 31, 4095}},
        {"blanks inside a string of a cell", base2dec(cell_of({TM("1 "), TM("2")}), Mm(10.0)), {10, 2}},
        {"cell with an empty string", bin2dec(cell_of({TM(""), TM("101")})), {0, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values(c.result), c.expected);
    }
    EXPECT_EQ(hex2dec(hex_rows).cols(), 1);
}

TEST(Radix, NumbersToDigits)
{
    const std::vector<TextCase> cases = {
        {"dec2hex", Mm(255.0), {"FF"}},
        {"dec2hex rows of one width", test::row({1, 255}), {"01", "FF"}},
        {"zero", Mm(0.0), {"0"}},
        {"2^53 keeps its top digit", Mm(9007199254740992.0), {"20000000000000"}},
    };
    expect_rows(cases, dec2hex);

    struct Case {
        const char* what;
        Mm result;
        std::vector<std::string> rows;
    };
    const std::vector<Case> more = {
        {"dec2bin", dec2bin(Mm(5.0)), {"101"}},
        {"dec2bin padded", dec2bin(Mm(5.0), Mm(8.0)), {"00000101"}},
        {"padding never cuts", dec2bin(Mm(5.0), Mm(1.0)), {"101"}},
        {"dec2base 0 in base 2", dec2base(Mm(0.0), Mm(2.0)), {"0"}},
        {"base 36", dec2base(Mm(71.0), Mm(36.0)), {"1Z"}},
        {"2^53 in base 2", dec2base(Mm(9007199254740992.0), Mm(2.0)), {"1" + std::string(53, '0')}},
        {"1e16 in base 10", dec2base(Mm(1e16), Mm(10.0)), {"1" + std::string(16, '0')}},
        {"column-major rows", dec2base(test::real(2, 2, {1, 2, 3, 4}), Mm(10.0)), {"1", "2", "3", "4"}},
        {"default base 16", dec2base(Mm(26.0)), {"1A"}},
    };
    for (const Case& c : more) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rows_of(c.result), c.rows);
    }
    const Mm empty = dec2bin(Mm());
    EXPECT_EQ(empty.size(), 0);
    EXPECT_TRUE(empty.isstr());
    for (double bad : {static_cast<double>(INFINITY), static_cast<double>(NAN), -5.0, 5.5}) {
        SCOPED_TRACE(bad);
        EXPECT_ERROR(dec2bin(test::row({1, bad})), "dec2base: input must be non-negative finite numbers");
    }
    EXPECT_ERROR(dec2base(Mm(5.0), Mm(1.0)), "dec2base: base must be between 2 and 36");
    EXPECT_ERROR(dec2base(Mm(5.0), NaN), "dec2base: base must be between 2 and 36");
    for (double base : {37.0, 40.0, 1e9, static_cast<double>(INFINITY)}) {
        SCOPED_TRACE(base);
        EXPECT_ERROR(dec2base(Mm(39.0), Mm(base)), "dec2base: base must be between 2 and 36");
    }
    EXPECT_EQ(test::text_of(dec2base(Mm(35.0), Mm(36.0))), "Z") << "the last digit of the largest base";
}

// Every digit exact, against digits from exact integer arithmetic: powers
// of each base and one less, up to 2^53 and beyond.
TEST(Radix, DigitsOfWholeNumbersAreExact)
{
    struct Case {
        double value;
        int base;
        const char* digits;
    };
    const std::vector<Case> cases = {
#include "data/radix_digits.inc"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " in base " + std::to_string(c.base));
        EXPECT_EQ(rows_of(dec2base(Mm(c.value), Mm(double(c.base)))), std::vector<std::string>{c.digits});
    }
    // All values of one base at once: one width, the shorter ones padded
    // with '0' on the left.
    for (int base : {2, 8, 10, 36}) {
        SCOPED_TRACE(base);
        std::vector<const Case*> of_base;
        for (const Case& c : cases)
            if (c.base == base && c.value < 1e30)
                of_base.push_back(&c);
        Mm column(0, 0, 0, static_cast<int>(of_base.size()), 1, qv_double);
        std::size_t width = 0;
        for (std::size_t k = 0; k < of_base.size(); ++k) {
            column.addr()[k] = of_base[k]->value;
            width = std::max(width, std::strlen(of_base[k]->digits));
        }
        const std::vector<std::string> rows = rows_of(dec2base(column, Mm(double(base))));
        ASSERT_EQ(rows.size(), of_base.size());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const std::string d = of_base[k]->digits;
            EXPECT_EQ(rows[k], std::string(width - d.size(), '0') + d);
        }
    }
    const std::vector<std::pair<Mm, std::string>> reported = {
        {dec2bin(Mm(9007199254740991.0)), std::string(53, '1')},
        {dec2base(Mm(8999999999999999.0), Mm(10.0)), "8999999999999999"},
        {dec2bin(Mm(4503599627370499.0)), "1" + std::string(49, '0') + "011"},
        {dec2base(Mm(511.0), Mm(8.0)), "777"},
    };
    for (const auto& [result, digits] : reported)
        EXPECT_EQ(rows_of(result), std::vector<std::string>{digits});
}

TEST(Radix, Hex2num)
{
    struct Case {
        const char* text;
        std::uint64_t bits;
    };
    const std::vector<Case> cases = {
        {"3FF", 0x3FF0000000000000u},
        {"4000000000000000", 0x4000000000000000u},
        {"400921fb54442d18", 0x400921FB54442D18u},
        {"C", 0xC000000000000000u},
        {"fff8", 0xFFF8000000000000u},
        {"7FF0000000000000123", 0x7FF0000000000000u},  // beyond 16 digits: ignored
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(test::bits(hex2num(TM(c.text)).r()), c.bits);
    }
}

} // namespace
