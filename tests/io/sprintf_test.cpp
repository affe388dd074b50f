// sprintf and sscanf: single conversions, the format cycling across values
// and arguments, every sscanf form with its sizes and shapes, refused
// arguments and fields far longer than any fixed buffer.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// A cell row holding the values: the argument list of sprintf.
Mm args(std::initializer_list<Mm> values)
{
    Mm c(0, 0, 0, 1, static_cast<int>(values.size()), qv_cell);
    int k = 1;
    for (const Mm& v : values)
        c.mr(k++) = v;
    return c;
}

// The codes of a value as bytes, column-major.
std::string bytes_of(const Mm& x)
{
    std::string s;
    for (int k = 0; k < x.size(); ++k)
        s += static_cast<char>(static_cast<int>(test::at(x, k)));
    return s;
}

// The result of sprintf must be a text row (or the empty text).
std::string printed_text(const Mm& x)
{
    EXPECT_TRUE(x.isstr());
    EXPECT_TRUE(x.rows() == 1 || x.size() == 0);
    return bytes_of(x);
}

std::vector<double> elements(const Mm& x)
{
    std::vector<double> v;
    for (int k = 0; k < x.size(); ++k)
        v.push_back(test::at(x, k));
    return v;
}

constexpr double pi_value = 3.141592653589793;

struct PrintCase {
    const char* format;
    Mm arguments;
    std::string expected;
};

void check_prints(const std::vector<PrintCase>& cases)
{
    for (const PrintCase& c : cases) {
        SCOPED_TRACE(std::string("format '") + c.format + "'");
        EXPECT_EQ(printed_text(sprintf(TM(c.format), c.arguments)), c.expected);
    }
}

TEST(Sprintf, SingleConversions)
{
    const double inf = INFINITY;
    check_prints({
        {"%d", args({2.7}), "2"},
        {"%d", args({-2.7}), "-2"},
        {"%d", args({3e9}), "-1294967296"},
        {"%u", args({3e9}), "3000000000"},
        {"%i", args({-3e9}), "1294967296"},
        {"%x", args({-1}), "ffffffff"},
        {"%X", args({255}), "FF"},
        {"%o", args({8}), "10"},
        {"%d", args({1e19}), "0"},  // no 64-bit integer: 0
        {"%d", args({-9.3e18}), "0"},
        {"%d", args({4294967297.0}), "1"},  // the low 32 bits
        {"x=%d", args({inf}), "x=Inf"},
        {"%d", args({-inf}), "-Inf"},
        {"%5d", args({NAN}), "NaN"},
        {"%-5x|", args({inf}), "Inf|"},
        {"%bx", args({1}), "0000000000000FF3"},
        {"%bx", args({0.1}), "A999999999999BF3"},
        {"%bx", args({-2.5}), "000000000000400C"},
        {"x=%20bx", args({1}), "x=0000000000000FF3"},
        {"%tx", args({1}), "000008F3"},
        {"%Bd", args({inf}), "0000000000000FF7"},
        {"%c%c", args({test::row({72, 105})}), "Hi"},
        {"%c", args({321}), "A"},
        {"%3c|", args({65}), "  A|"},
        {"%s", args({test::row({72, 105})}), "Hi"},
        {"%s", args({test::row({72, 0, 105})}), "H"},
        {"|%5s", args({TM("ab")}), "|   ab"},
        {"|%.1s", args({TM("ab")}), "|a"},
        {"%s|", args({TM("ab")}), "ab"},  // the piece after "s" waits for another argument
        {"100%%", args({1}), "100%"},
        {"%%d", args({1}), "%d"},
        {"ab%5", args({1}), "ab%5"},
        {"ab%", args({1}), "ab%"},
        {"% d", args({1}), "% d"},
        {"%E", args({inf}), "Inf"},
        {"%G", args({-inf}), "-Inf"},
        {"%F", args({NAN}), "NaN"},
        {"%8.3f|", args({inf}), "     Inf|"},
        {"%-8.3e|", args({-inf}), "-Inf    |"},
        {"%f", args({-NAN}), " NaN"},
        {"nan=%g", args({NAN}), "nan=NaN"},  // the literal text is never rewritten
        {"%5.2f", args({pi_value}), " 3.14"},
        {"%g", args({1e-5}), "1e-05"},
        {"%+.3e", args({12345.678}), "+1.235e+04"},
        {"%08.3f", args({-3.14159}), "-003.142"},
        {"%#o", args({8}), "010"},
        {"%D %I %O %U", args({test::row({1, 2, 8, 3e9})}), "1 2 10 3000000000"},
        {"%hd %ld %Lf", args({test::row({1, 2, 0.5})}), "1 2 0.500000"},
        {"%n|", args({test::row({1, 2})}), "||"},
    });
}

// Floating conversions against the C library's own text of each value:
// rounding at every precision, the %g switch between the fixed and the
// exponent form at its boundaries, signed zeros, subnormals and the largest
// doubles, widths shorter and longer than the text, flags and stars.
TEST(Sprintf, FloatingConversionsMatchTheCLibrary)
{
    const std::vector<const char*> formats = {
        "%g",    "%G",     "%e",    "%E",     "%f",    "%F",     "%.0g",  "%.1g",    "%.17g",  "%.0e",
        "%.3f",  "%.0f",   "%12.4e", "%3g",   "%20.15g", "%.40f", "%.40e", "%.41g",  "%0.g",   "%1f",
        "%+g",   "%-12.3e", "%012.3f", "%#g", "%#.0f", "%.25G",  "%5.f",
    };
    const std::vector<double> values = {
        0.0, -0.0, 1, -1, 0.5, 2.5, -2.5, 0.125, 0.1, 1.0 / 3, -pi_value,
        1e-5, 1e-4, 9.99995e-5, 0.000099999949999, 99999.5, 999999.5, 999999.4, 1e6, 123456789, -123456.5,
        1e15, 1e16, 1e17, 1e21, 1e22, 1e300, 1.7976931348623157e308, -1.7976931348623157e308,
        2.2250738585072014e-308, 4.9406564584124654e-324, 1e-310, 5e-7, 0.05, 0.15, 0.25, 0.35, 1.5, 9.5, 10.5,
    };
    for (const char* f : formats)
        for (double v : values) {
            char expected[512];
            std::snprintf(expected, sizeof expected, f, v);
            SCOPED_TRACE(testing::Message() << "format '" << f << "' value " << std::hexfloat << v);
            EXPECT_EQ(printed_text(sprintf(TM(f), args({v}))), expected);
        }
    // Lists keep the literal text between values and the format's cycle.
    char expected[256];
    std::snprintf(expected, sizeof expected, "%g %g %g ", 1e-300, -0.0, 12345678.0);
    EXPECT_EQ(printed_text(sprintf(TM("%g "), args({test::row({1e-300, -0.0, 12345678.0})}))), expected);
    std::snprintf(expected, sizeof expected, "[%8.3f|%.2e]\n[%8.3f|%.2e]\n", 1.0, 2.0, -3.0, 4e-9);
    EXPECT_EQ(printed_text(sprintf(TM("[%8.3f|%.2e]\\n"), args({test::row({1, 2, -3, 4e-9})}))), expected);
    std::snprintf(expected, sizeof expected, "%*.*f", 9, 2, pi_value);
    EXPECT_EQ(printed_text(sprintf(TM("%*.*f"), args({test::row({9, 2, pi_value})}))), expected);
}

// Integer conversions against the C library's text of the value's low 32
// bits, the integer the conversions print.
TEST(Sprintf, IntegerConversionsMatchTheCLibrary)
{
    struct Case {
        const char* format;
        bool is_signed;
    };
    const std::vector<Case> formats = {
        {"%d", true}, {"%i", true},  {"%u", false}, {"%o", false},   {"%x", false},   {"%X", false},
        {"%5d", true}, {"%1d", true}, {"%12X", false}, {"%0d", true}, {"%-6d|", true}, {"%+d", true},
        {"%.3d", true}, {"%#x", false}, {"%08u", false},
    };
    const std::vector<double> values = {0, -0.0, 1, -1, 2.9, -2.9, 255, 65535.5, 2147483647, 2147483648.0, -2147483648.0,
                                        -2147483649.0, 3e9, -3e9, 4294967295.0, 4294967297.0, 1e15, -1e15};
    for (const Case& c : formats)
        for (double v : values) {
            const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
            char expected[64];
            if (c.is_signed)
                std::snprintf(expected, sizeof expected, c.format, static_cast<std::int32_t>(low));
            else
                std::snprintf(expected, sizeof expected, c.format, low);
            SCOPED_TRACE(testing::Message() << "format '" << c.format << "' value " << v);
            EXPECT_EQ(printed_text(sprintf(TM(c.format), args({v}))), expected);
        }
}

TEST(Sprintf, StarTakesTheNextValueAsWidthOrPrecision)
{
    EXPECT_ERROR(sprintf(TM("%*d|"), args({1e300, 1})), "Out of memory!") << "saturated: wider than any text";
    check_prints({
        {"%*d|", args({5, 3}), "    3|"},
        {"%-*.*f|", args({8, 2, pi_value}), "3.14    |"},
        {"%*d|", args({-4, 7}), "7   |"},
        {"%.*f|", args({-1, 0.5}), "0.500000|"},
        {"%*s", args({3, TM("x")}), "  x"},
        {"[%*d]", args({test::row({2, 1, 3, 2})}), "[ 1][  2]"},
        {"%*d", args({5}), ""},
        {"%*c", args({test::row({2, 65})}), " A"},
        {"%*bx", args({test::row({30, 1})}), "0000000000000FF3"},
    });
}

TEST(Sprintf, TheFormatCyclesAcrossValuesAndArguments)
{
    check_prints({
        {"%d,", args({test::row({1, 2, 3})}), "1,2,3,"},
        {"%d %d\\n", args({test::row({1, 2, 3})}), "1 2\n3"},
        {"%d-%d", args({1, test::row({2, 3})}), "1-23"},
        {"%d apples", args({3}), "3 apples"},
        {"%s\\n", args({TM("abc")}), "abc"},
        {"%s=%d\\n", args({TM("x"), 5}), "x=5\n"},
        {"%d %s\\n", args({5, TM("ab")}), "5 ab"},
        {"%s-%s", args({TM("ab"), TM("cd")}), "ab-cd"},
        {"abc", args({1, 2}), "abc"},
        {"abc", args({}), "abc"},
        {"%d\\n", args({}), "%d\n"},
        {"%d\\t%g\\\\", args({}), "%d\t%g\\"},
        {"%d", args({test::real(2, 2, {1, 2, 3, 4})}), "1234"},
        {"%g ", args({test::complex(1, 2, {1, 2}, {5, 6})}), "1 2 "},
        {"(%d)", args({Mm(0, 0, 0, 0, 0, qv_double), 4}), "(4)"},
        {"", args({1}), ""},
    });
}

TEST(Sprintf, TextAndByteArguments)
{
    check_prints({
        {"%d ", args({TM("AB")}), "65 66 "},
        {"%d ", args({test::bytes(1, 3, {1, 200, 255})}), "1 200 255 "},
        {"%s", args({test::bytes(1, 2, {72, 105})}), "Hi"},
    });
    // Without a cell the value is the one argument.
    EXPECT_EQ(printed_text(sprintf(TM("%d;"), test::row({1, 2}))), "1;2;");
    // The format may be any value: its elements are its characters.
    EXPECT_EQ(printed_text(sprintf(test::row({'%', 'd'}), args({7}))), "7");
}

TEST(Sprintf, ResultCodesAreSignedBytes)
{
    Mm r = sprintf(TM("%c"), args({200}));
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(test::at(r, 0), -56);
    Mm zero = sprintf(TM("a%cb"), args({0}));
    EXPECT_EQ(elements(zero), (std::vector<double>{'a', 0, 'b'})) << "a %c of 0 is kept";
}

TEST(Sprintf, OneInputReturnsTheFormatUnchanged)
{
    Mm f = TM("abc\\n");
    Mm r = sprintf(f);
    EXPECT_EQ(printed_text(r), "abc\\n");
    EXPECT_EQ(r.getpr((double*)nullptr), f.getpr((double*)nullptr)) << "the same value, shared";
}

TEST(Sprintf, CellsAndStructsAreRefusedNamingTheirClass)
{
    Mm cell(0, 0, 0, 1, 1, qv_cell);
    cell.mr(1) = Mm(1.0);
    Mm s(0, 0, 0, 1, 1, qv_cell);
    s.addfield("a", 0);
    const char* cell_message = "sprintf: an argument of class cell can not be formatted";
    const char* struct_message = "sprintf: an argument of class struct can not be formatted";
    EXPECT_ERROR(sprintf(TM("%d"), args({cell})), cell_message);
    EXPECT_ERROR(sprintf(TM("%d"), args({s})), struct_message);
    EXPECT_ERROR(sprintf(TM("%d"), s), struct_message);
    EXPECT_ERROR(sprintf(TM("%d"), args({1, cell})), cell_message);
    EXPECT_ERROR(sprintf(TM("%s and %s"), args({TM("a"), cell})), cell_message) << "after a text";
    Mm unset(i_o, "unset", 0);
    EXPECT_ERROR(sprintf(TM("%d"), args({unset})), "variable '(temporary)' was used without a value");
}

TEST(Sprintf, SparseArgumentsPrintEveryElement)
{
    Mm sp(0, 1, 1, 1, 3, qv_double);
    sp.getindex()[0] = 1;
    sp.addr()[0] = 7;
    sp.getnnz() = 1;
    EXPECT_EQ(printed_text(sprintf(TM("%d "), args({sp}))), "0 7 0 ");
}

// Long texts are compared by length and first difference, not printed whole.
void expect_long_text(const Mm& x, const std::string& expected)
{
    const std::string got = printed_text(x);
    ASSERT_EQ(got.size(), expected.size());
    auto diff = std::mismatch(got.begin(), got.end(), expected.begin());
    EXPECT_TRUE(diff.first == got.end()) << "first difference at " << (diff.first - got.begin());
}

// Fields far longer than any fixed piece buffer come out whole.
TEST(Sprintf, LongFieldsComeOutWhole)
{
    Mm blanks(0, 0, 0, 1, 100000, qv_double);
    for (int k = 0; k < 100000; ++k)
        blanks.addr()[k] = ' ';
    expect_long_text(sprintf(TM("%s"), args({blanks})), std::string(100000, ' '));

    expect_long_text(sprintf(TM("%50000d"), args({7})), std::string(49999, ' ') + "7");
    expect_long_text(sprintf(TM("|%-40000s"), args({TM("ab")})), "|ab" + std::string(39998, ' '));
    std::string long_text(40000, 'q');
    expect_long_text(sprintf(TM("<%s"), args({TM(long_text.c_str())})), "<" + long_text);
    EXPECT_EQ(printed_text(sprintf(TM("%.40000f"), args({0.5}))).size(), 40002u);

    std::string long_format;
    for (int k = 0; k < 1500; ++k)
        long_format += "%d,";
    Mm many(0, 0, 0, 1, 1500, qv_double);
    std::string expected;
    for (int k = 0; k < 1500; ++k) {
        many.addr()[k] = k;
        expected += std::to_string(k) + ",";
    }
    SCOPED_TRACE("a format longer than 2047 characters is used whole");
    expect_long_text(sprintf(TM(long_format.c_str()), args({many})), expected);
}

struct ScanCase {
    const char* text;
    const char* format;
    std::optional<Mm> size;  // none: the two-input form
    int rows, cols;
    std::vector<double> values;
    bool is_text;
};

// %f over decimal, hexadecimal and out-of-range numbers reads what strtod
// reads, bit for bit, in memory and through a width.
TEST(Sscanf, NumbersReadAsStrtodReadsThem)
{
    const std::string text = "1e-310 -0 0x1A -0x1p-3 1e400 -1e-400 .5 5. 1E+05 2.4703282292062328e-324 "
                             "9007199254740993 0.1000000000000000055511151231257827 -7 1.7976931348623159e308";
    std::vector<double> expected;
    const char* p = text.c_str();
    for (char* end = nullptr;; p = end) {
        const double v = std::strtod(p, &end);
        if (end == p)
            break;
        expected.push_back(v);
    }
    ASSERT_EQ(expected.size(), 14u);
    for (const char* format : {"%f", "%60f"}) {
        SCOPED_TRACE(format);
        const Mm r = sscanf(TM(text.c_str()), TM(format));
        ASSERT_EQ(r.size(), static_cast<int>(expected.size()));
        for (std::size_t k = 0; k < expected.size(); ++k)
            EXPECT_EQ(std::memcmp(&r.addr()[k], &expected[k], sizeof(double)), 0) << "number " << k;
    }
}

TEST(Sscanf, ValuesAndShapes)
{
    const double inf = INFINITY;
    const std::vector<ScanCase> cases = {
        {"1 2 3", "%d", std::nullopt, 3, 1, {1, 2, 3}, false},
        {"1,2,3", "%d,", std::nullopt, 1, 1, {1}, false},
        {"abc", "%s", std::nullopt, 1, 3, {'a', 'b', 'c'}, true},
        {"ab cd", "%s", std::nullopt, 1, 4, {'a', 'b', 'c', 'd'}, true},
        {"3.5 x", "%f", std::nullopt, 1, 1, {3.5}, false},
        {"10 20 30 40", "%d", test::row({2, inf}), 2, 2, {10, 20, 30, 40}, false},
        {"10 20 30 40", "%d", test::row({3, inf}), 3, 2, {10, 20, 30, 40, 0, 0}, false},
        {"10 20 30 40", "%d", test::row({2, 1}), 2, 1, {10, 20}, false},
        {"10 20 30 40", "%d", test::row({2.9, 1}), 2, 1, {10, 20}, false},
        {"3 4", "%d", Mm(1.0), 1, 1, {3}, false},
        {"3 4", "%d", Mm(0.0), 0, 0, {}, false},
        {"abc", "%s", Mm(0.0), 0, 0, {}, true},
        {"1 2", "%d", test::row({0, 5}), 0, 0, {}, false},
        {"1 2", "%d", test::row({0, inf}), 0, 0, {}, false},
        {"1 2", "%d", Mm(-3.0), 0, 0, {}, false},
        {"1 2", "%d", test::row({-2, -3}), 0, 0, {}, false},
        {"1 2", "%d", Mm(NAN), 0, 0, {}, false},
        {"ffffffff", "%x", std::nullopt, 1, 1, {-1}, false},
        // A signed conversion past the 32-bit range is held at its end.
        {"4294967297 -1", "%d", std::nullopt, 2, 1, {2147483647, -1}, false},
        {"12345678901234567890 -12345678901234567890", "%d", std::nullopt, 2, 1, {INT32_MAX, INT32_MIN}, false},
        {"-2147483648 -2147483649 0x1ffffffffffffffffff", "%i", std::nullopt, 3, 1, {INT32_MIN, INT32_MIN, INT32_MAX},
         false},
        {"-1", "%u", std::nullopt, 1, 1, {-1}, false},
        {"017 0x1f 9", "%i", std::nullopt, 3, 1, {15, 31, 9}, false},
        {"Hi", "%c", std::nullopt, 1, 2, {'H', 'i'}, true},
        // A field of N characters is all of them or none.
        {"abcdefg", "%3c", std::nullopt, 1, 6, {'a', 'b', 'c', 'd', 'e', 'f'}, true},
        {"abcdef", "%3c", std::nullopt, 1, 6, {'a', 'b', 'c', 'd', 'e', 'f'}, true},
        {"ab", "%3c", std::nullopt, 0, 0, {}, true},
        {"abcd", "%*3c%c", std::nullopt, 1, 1, {'d'}, true},
        {"\xC8", "%c", std::nullopt, 1, 1, {-56}, true},
        {"abc", "abc", std::nullopt, 0, 0, {}, true},
        {"Inf -inf NaN", "%f", std::nullopt, 3, 1, {inf, -inf, NAN}, false},
        {"1e3 0x10 -2.5e-1", "%g", std::nullopt, 3, 1, {1000, 16, -0.25}, false},
        {"x=5 x=6", "x=%d", std::nullopt, 2, 1, {5, 6}, false},
        {"1 2 3", "%*d %d", std::nullopt, 1, 1, {2}, false},
        {"12345", "%2d", std::nullopt, 1, 1, {12}, false},
        {"", "%d", std::nullopt, 0, 0, {}, false},
        {"   ", "%d", std::nullopt, 0, 0, {}, false},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(std::string("sscanf('") + c.text + "', '" + c.format + "')");
        Mm a = c.size ? sscanf(TM(c.text), TM(c.format), *c.size) : sscanf(TM(c.text), TM(c.format));
        EXPECT_EQ(a.rows(), c.rows);
        EXPECT_EQ(a.cols(), c.cols);
        EXPECT_EQ(a.isstr(), c.is_text ? 1 : 0);
        ASSERT_EQ(a.size(), static_cast<int>(c.values.size()));
        for (int k = 0; k < a.size(); ++k)
            EXPECT_BITS_EQ(test::at(a, k), c.values[k]) << "element " << k;
    }
}

TEST(Sscanf, RowsOfACharMatrixAreJoinedByNewlines)
{
    Mm rows = test::real(2, 3, {'1', '3', ' ', ' ', '2', '4'});
    rows.setstr(1);
    EXPECT_EQ(elements(sscanf(rows, TM("%d"))), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(elements(sscanf(rows, TM("%c"))), (std::vector<double>{'1', ' ', '2', '\n', '3', ' ', '4'}));
}

TEST(Sscanf, EveryOutputForm)
{
    Mm a, count, errmsg, next(5.0);
    EXPECT_EQ(sscanf(TM("1 2 3"), TM("%d"), i_o, a, count).size(), 0);
    EXPECT_EQ(elements(a), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(elements(count), (std::vector<double>{3}));

    sscanf(TM("ab c"), TM("%s"), i_o, a, count, errmsg, next);
    EXPECT_EQ(bytes_of(a), "abc");
    EXPECT_EQ(elements(count), (std::vector<double>{3})) << "values stored, not conversions";
    EXPECT_TRUE(errmsg.isstr());
    EXPECT_EQ(errmsg.size(), 0);
    EXPECT_EQ(elements(next), (std::vector<double>{0}));

    sscanf(TM("7 8 9"), TM("%d"), Mm(2.0), i_o, a, count, errmsg);
    EXPECT_EQ(elements(a), (std::vector<double>{7, 8}));
    EXPECT_EQ(elements(count), (std::vector<double>{2}));

    next = Mm(5.0);
    sscanf(TM("7 8 9"), TM("%d"), test::row({1, INFINITY}), i_o, a, count, errmsg, next);
    EXPECT_EQ(a.rows(), 1);
    EXPECT_EQ(elements(a), (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(elements(next), (std::vector<double>{0}));

    sscanf(TM("5"), TM("%d"), Mm(1.0), i_o, a, count);
    EXPECT_EQ(elements(count), (std::vector<double>{1}));
    sscanf(TM("6"), TM("%d"), i_o, a, count, errmsg);
    EXPECT_EQ(elements(a), (std::vector<double>{6}));

    // Unwanted outputs are left alone.
    Mm before = l_M;
    sscanf(TM("1"), TM("%d"), i_o, l_M, count, l_M, l_M);
    EXPECT_EQ(l_M.getpr((double*)nullptr), before.getpr((double*)nullptr));
    EXPECT_EQ(elements(count), (std::vector<double>{1}));
}

TEST(Sscanf, RefusedArguments)
{
    EXPECT_ERROR(sscanf(TM("1")), "sscanf does not accept 1 input");
    EXPECT_ERROR(sscanf(TM("1"), TM("%d"), test::row({1, 2, 3})), "scanf: size (temporary) is not one or two elements");
    Mm size(test::row({1, 2, 3}), "sz");
    EXPECT_ERROR(sscanf(TM("1"), TM("%d"), size), "scanf: size sz is not one or two elements");
    EXPECT_ERROR(sscanf(TM("1"), TM("%d"), Mm(0, 0, 0, 0, 0, qv_double)),
                 "scanf: size (temporary) is not one or two elements");
    Mm cell(0, 0, 0, 1, 1, qv_cell);
    EXPECT_ERROR(sscanf(TM("1"), TM("%d"), cell), "Can not convert (temporary) into a numeric matrix");
}

// Shapes are worked out in 64 bits: a result too large for a value is
// refused, never wrapped around into a small one.
TEST(Sscanf, HugeSizesAreRefused)
{
    EXPECT_ERROR(sscanf(TM("1 2"), TM("%d"), test::row({2147483647, INFINITY})), "Out of memory!");
    EXPECT_ERROR(sscanf(TM("1 2"), TM("%d"), test::row({1e12, 1e12})), "Out of memory!");
    EXPECT_EQ(elements(sscanf(TM("1 2"), TM("%d"), test::row({1, 1e12}))), (std::vector<double>{1, 2}));
}

// What is counted is what is returned: rows that count as 0 read nothing.
TEST(Sscanf, RowsAndMaximumAreCountedAlike)
{
    struct Case {
        const char* what;
        Mm size;
        int rows, cols;
        double count;
    };
    const std::vector<Case> cases = {
        {"half a row", test::row({0.5, INFINITY}), 0, 0, 0},
        {"half a row of two", test::row({0.5, 2}), 0, 0, 0},
        {"rows and a half column", test::row({2, 1.5}), 2, 1, 2},
        {"two and a half rows", test::row({2.5, INFINITY}), 2, 3, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm a, count;
        sscanf(TM("1 2 3 4 5"), TM("%d"), c.size, i_o, a, count);
        EXPECT_EQ(a.rows(), c.rows);
        EXPECT_EQ(a.cols(), c.cols);
        EXPECT_EQ(elements(count), std::vector<double>{c.count});
        EXPECT_LE(elements(count)[0], a.size());
    }
}

TEST(Sscanf, ByteAndTextSizes)
{
    EXPECT_EQ(elements(sscanf(TM("1 2 3"), TM("%d"), test::bytes(1, 1, {2}))), (std::vector<double>{1, 2}));
}

} // namespace
