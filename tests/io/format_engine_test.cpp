// The format engine: compilation into pieces, the print walk and its state
// across value lists, the scan walk on a text and on a stream, and formats
// that C leaves undefined.
#include "test_support.hpp"

#include "io/format_engine.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<double> elements(const Mm& x)
{
    std::vector<double> v;
    for (int k = 0; k < x.size(); ++k)
        v.push_back(test::at(x, k));
    return v;
}

std::string text_of(const growing_buffer<char>& b) { return std::string(b.data(), b.size()); }

struct CompileCase {
    const char* format;
    std::vector<std::string> literals;
    std::string conversions;  // one letter per piece
    std::string lengths;      // one per piece, '.' for none
    int string_only;
};

TEST(FormatCompile, PiecesEndAfterTheirConversion)
{
    const std::vector<CompileCase> cases = {
        {"x=%d, y=%g\\n", {"x=", ", y=", "\n"}, "dg=", "...", 0},
        {"", {""}, "=", ".", 1},
        {"abc", {"abc"}, "=", ".", 1},
        {"%d", {""}, "d", ".", 0},
        {"%5.2f|%-3s", {"", "|"}, "fs", "..", 0},
        {"%hd%bx%Tg%ls", {"", "", "", ""}, "dxgs", "hbTl", 0},
        {"%c%s%[abc]%c", {"", "", "", ""}, "cssc", "....", 1},
        {"%[abc", {""}, "s", ".", 1},
        {"%s%n", {"", ""}, "sn", "..", 0},
        {"%p", {""}, "p", ".", 0},
        {"100%%", {"100%"}, "=", ".", 1},
        {"%%d", {"%d"}, "=", ".", 1},
        {"a%5", {"a%5"}, "=", ".", 1},
        {"a%", {"a%"}, "=", ".", 1},
        {"% d", {"% d"}, "=", ".", 1},
        {"%k%d", {"%k"}, "d", ".", 0},
        {"%lk", {"%lk"}, "=", ".", 1},
        {"%hhd", {"%hhd"}, "=", ".", 1},
        {"%D%I%O%U%X%F%E%G", {"", "", "", "", "", "", "", ""}, "DIOUXFEG", "........", 0},
        {"a\\tb\\\\%d", {"a\tb\\"}, "d", ".", 0},
    };
    for (const CompileCase& c : cases) {
        SCOPED_TRACE(std::string("format '") + c.format + "'");
        format_spec compiled(c.format);
        ASSERT_EQ(compiled.pieces().size(), c.literals.size());
        for (std::size_t k = 0; k < c.literals.size(); ++k) {
            const format_piece& p = compiled.pieces()[k];
            EXPECT_EQ(p.literal, c.literals[k]) << "piece " << k;
            EXPECT_EQ(p.conversion, c.conversions[k]) << "piece " << k;
            EXPECT_EQ(p.length ? p.length : '.', c.lengths[k]) << "piece " << k;
        }
        EXPECT_EQ(compiled.string_only(), c.string_only);
    }
}

TEST(FormatCompile, OnlyWellFormedConversionsReachTheCLibrary)
{
    struct Case {
        const char* format;
        const char* c_format;
    };
    const std::vector<Case> cases = {
        {"%5.2f", "%*.*f"},      {"%-*.*f", "%-*.*f"}, {"%#d", "%d"},     {"%#x", "%#x"},
        {"%+05u", "%0*u"},       {"%05s", "%*s"},      {"%5.3c", "%*c"},  {"%-8p", "%-*p"},
        {"%D", "%d"},            {"%I", "%i"},         {"%O", "%o"},      {"%U", "%u"},
        {"%5.3.2d", "%*.*d"},    {"%**d", "%*d"},      {"%--5d", "%-*d"}, {"%.d", "%.*d"},
        {"%[ab]", "%s"},         {"%lld", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("format '") + c.format + "'");
        format_spec compiled(c.format);
        EXPECT_EQ(compiled.pieces()[0].c_format, c.c_format);
    }
}

TEST(FormatHelpers, UnescapeHexAndSpaces)
{
    const std::vector<std::pair<std::string, std::string>> escapes = {
        {"a\\nb", "a\nb"}, {"\\r\\t", "\r\t"}, {"\\\\", "\\"}, {"\\q\\%", "q%"}, {"end\\", "end"}, {"\\", ""},
    };
    for (const auto& [in, out] : escapes)
        EXPECT_EQ(unescape_format(in), out) << "text '" << in << "'";

    char two[2];
    byte_to_hex(0x3F, two);
    EXPECT_EQ(std::string(two, 2), "F3");
    byte_to_hex(0xA0, two);
    EXPECT_EQ(std::string(two, 2), "0A");

    const char* text = " \t\n\v\f\rab c";
    EXPECT_STREQ(skip_spaces(text), "ab c");
    EXPECT_STREQ(skip_nonspaces(skip_spaces(text)), " c");
    EXPECT_STREQ(skip_spaces("   "), "");
    EXPECT_STREQ(skip_nonspaces("abc"), "");
}

// The walk continues across value lists with the piece the previous list
// left waiting, '*' values it took included.
TEST(FormatPrint, StateCarriesAcrossValueLists)
{
    struct Case {
        const char* format;
        std::vector<std::vector<double>> lists;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"%s=%d\\n", {{'x'}, {5}}, "x=5\n"},
        {"%d %s\\n", {{5}, {'a', 'b'}}, "5 ab"},
        {"%d-%d", {{1}, {2, 3}}, "1-23"},
        {"%*d|", {{5}, {3}}, "    3|"},
        {"%-*.*f|", {{8}, {2}, {3.14159}}, "3.14    |"},
        {"%*d|", {{5}}, ""},
        {"[%*d]", {{3}, {}, {1, 2}, {7}}, "[  1][ 7]"},
        {"abc", {{1}, {2}, {}}, "abc"},
        {"abc", {{}}, "abc"},
        {"%d", {{}, {}}, ""},
        {"%d\\n", {{1, 2}, {}, {3}}, "1\n2\n3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("format '") + c.format + "'");
        format_spec compiled(c.format);
        growing_buffer<char> out;
        for (const std::vector<double>& list : c.lists)
            format_print_values(compiled, list.data(), list.size(), out);
        EXPECT_EQ(text_of(out), c.expected);
    }
}

TEST(FormatPrint, MarkersAndValueKinds)
{
    format_spec compiled("%d,");
    growing_buffer<char> out;
    format_print(compiled, l_M, out);
    EXPECT_EQ(text_of(out), "") << "the not-wanted marker prints nothing";
    format_print(compiled, test::bytes(1, 2, {250, 7}), out);
    format_print(compiled, test::complex(1, 1, {-4}, {9}), out);
    EXPECT_EQ(text_of(out), "250,7,-4,");
}

TEST(FormatPrint, PointerConversionPrintsAnAddress)
{
    format_spec compiled("%p|");
    growing_buffer<char> out;
    const double v[2] = {1, 2};
    format_print_values(compiled, v, 2, out);
    const std::string s = text_of(out);
    ASSERT_GE(s.size(), 6u);
    EXPECT_EQ(s.substr(0, 2), "0x");
    EXPECT_EQ(std::count(s.begin(), s.end(), '|'), 2);
}

// Formats that C leaves undefined print something definite here, and every
// value is handed over with its conversion.
TEST(FormatPrint, MalformedFormats)
{
    struct Case {
        const char* format;
        std::vector<double> values;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"%", {1, 2}, "%"},
        {"%5", {1}, "%5"},
        {"%l", {1}, "%l"},
        {"%lk", {1}, "%lk"},
        {"%*", {1}, "%*"},
        {"%%%", {1}, "%%"},
        {"%[", {72, 105}, "Hi"},
        {"%[abc", {72, 105}, "Hi"},
        {"%**d", {3, 4, 5}, "  4"},
        {"%.*.*f", {1, 2.5}, "2.5"},
        {"%-+#0 5d", {1}, "%-+#0 5d"},
        {"%5.3.2d", {7}, "  007"},
        {"%hhd %lld", {1}, "%hhd %lld"},
        {"%Lf", {0.5}, "0.500000"},
        {"%.99999999999s", {'a', 'b'}, "ab"},
        {"%5.2c", {65}, "    A"},
        {"%#d", {5}, "5"},
        {"%05s", {'a', 'b'}, "   ab"},
        {"%+u", {5}, "5"},
        {"%0-5d|", {3}, "3    |"},
        {"%c", {NAN}, std::string(1, '\0')},
        {"%c", {-1}, "\xFF"},
        {"%d %x", {NAN, -INFINITY}, "NaN -Inf"},
        {"%s", {INFINITY, 65}, ""},
        {"\\", {1}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("format '") + c.format + "'");
        format_spec compiled(c.format);
        growing_buffer<char> out;
        format_print_values(compiled, c.values.data(), c.values.size(), out);
        EXPECT_EQ(text_of(out), c.expected);
    }
    const double one = 1;
    for (const char* huge : {"%99999999999d", "%.99999999999d", "%.2147483647e", "%-2147483647.2000f", "%2147483647g",
                             "%2147483647x"}) {
        format_spec compiled(huge);
        growing_buffer<char> out;
        EXPECT_ERROR(format_print_values(compiled, &one, 1, out), "Out of memory!") << huge;
    }
}

// Precisions past every double's exact expansion are written by the engine;
// the C library's own text at the same precision is the reference.
TEST(FormatPrint, LongPrecisionsMatchTheCLibrary)
{
    struct Case {
        const char* format;
        double value;
    };
    const std::vector<Case> cases = {
        {"%.1500f", 0.1},         {"%.1500f", -1e300},     {"%.1500f", 4.9e-324},  {"%.1200e", 1.0 / 3},
        {"%.1200E", -2.5e-300},   {"%.1300g", 0.1},        {"%.1300g", 1e-7},      {"%#.1300g", 0.1},
        {"%#.1300G", -1e-300},    {"%+.1200f", 2.0},       {"%2000.1200e", 1.5},   {"%-2000.1200f|", -1.5},
        {"%02000.1200f", -1.5},   {"%+02000.1200e", 7.0},  {"%#.1101f", 3.0},      {"%1500.1200g", 1e100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("format '") + c.format + "'");
        char reference[4096];
        int n = std::snprintf(reference, sizeof reference, c.format, c.value);
        ASSERT_TRUE(n > 0 && n < static_cast<int>(sizeof reference));
        format_spec compiled(c.format);
        growing_buffer<char> out;
        format_print_values(compiled, &c.value, 1, out);
        EXPECT_TRUE(text_of(out) == std::string(reference, n)) << "differs from the C library";
    }
    {
        format_spec compiled("%*.*f|");
        growing_buffer<char> out;
        const double values[3] = {-1205, 1201, 0.5};
        format_print_values(compiled, values, 3, out);
        EXPECT_TRUE(text_of(out) == "0.5" + std::string(1200, '0') + "  |") << "a negative '*' width left-justifies";
    }
    format_spec compiled("%.2147483647g|%#.3000f");
    growing_buffer<char> out;
    const double values[2] = {0.5, 0.25};
    format_print_values(compiled, values, 2, out);
    EXPECT_TRUE(text_of(out) == "0.5|0.25" + std::string(2998, '0'));
}

// The scan driver on a text and on a stream over the same characters.
struct ScanCase {
    const char* input;
    const char* format;
    std::vector<double> text_values;
    std::vector<double> stream_values;
};

Mm scan_text(const char* input, const char* format, const Mm& size, Mm* count = nullptr)
{
    Mm a, n, message;
    format_scan(nullptr, input, TM(format), size, i_o, a, n, message);
    if (count)
        *count = n;
    return a;
}

Mm scan_stream(std::FILE* f, const char* format, const Mm& size)
{
    Mm a, n, message;
    format_scan(f, nullptr, TM(format), size, i_o, a, n, message);
    return a;
}

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

file_ptr memory_stream(const std::string& content)
{
    std::FILE* f = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), f);
    std::rewind(f);
    return file_ptr(f);
}

void expect_values(const Mm& a, const std::vector<double>& expected)
{
    ASSERT_EQ(a.size(), static_cast<int>(expected.size()));
    for (int k = 0; k < a.size(); ++k)
        EXPECT_BITS_EQ(test::at(a, k), expected[k]) << "element " << k;
}

TEST(FormatScan, TextFieldsAndStreamCharacters)
{
    const double inf = INFINITY;
    const std::vector<ScanCase> cases = {
        {"1 2 3", "%d", {1, 2, 3}, {1, 2, 3}},
        {"1,2,3", "%d,", {1}, {1, 2, 3}},
        {"12abc 5", "%d", {12, 5}, {12}},
        {"x=1 x=2", "x=%d", {1, 2}, {1}},
        {"abc", "abc", {}, {}},
        {"1 2", "%d%n", {1, 1, 2, 2}, {1, 1, 2, 2}},
        {"1 2", "%n", {0}, {0}},
        {"1 2 3", "%*d", {}, {}},
        {"1 2 3 4", "%*d %d", {2, 4}, {2, 4}},
        {"1.2345", "%3f", {1.2}, {1.2, 345}},
        {"1e+x 2", "%f", {}, {}},
        {"0x1p4 1e2 -.5 +2.", "%f", {16, 100, -0.5, 2}, {16, 100, -0.5, 2}},
        {"infinity -Inf nan(abc) NAN", "%g", {inf, -inf, NAN, NAN}, {inf, -inf, NAN, NAN}},
        {"infin", "%g", {}, {}},
        {"inf5 infinity", "%g", {inf, inf}, {inf, 5, inf}},
        {"nan(x 1", "%g", {}, {}},
        {"0x 1", "%f", {}, {}},
        {"0x1p+ 1", "%f", {}, {}},
        {"0x1.8p1 2E", "%f", {3}, {3}},
        {"1.5e3", "%4f", {}, {}},  // "1.5e" is no number
        {"1.5e3", "%3f", {1.5}, {1.5}},
        {"0x", "%x", {}, {}},
        {"-0x10 010 0x7fffffff", "%i", {-16, 8, 2147483647}, {-16, 8, 2147483647}},
        {"ffffffff 7", "%X", {-1, 7}, {-1, 7}},
        {"99999999999", "%u", {1215752191}, {1215752191}},
        // Unsigned conversions past 64 bits keep the low bits (2^64 + 5;
        // 0xcdef0123 at the bottom; 2^72 + 15 in octal); signed ones clamp.
        {"18446744073709551621 -18446744073709551621", "%u", {5, -5}, {5, -5}},
        {"123456789abcdef0123", "%x", {-839974621}, {-839974621}},
        {"1000000000000000000000017", "%o", {15}, {15}},
        {"18446744073709551621", "%d", {2147483647}, {2147483647}},
        {"0x1f 5", "%p", {}, {}},
        {"abcdef", "%2c", {'a', 'b', 'c', 'd', 'e', 'f'}, {'a', 'b', 'c', 'd', 'e', 'f'}},
        {"ab1cd", "%[a-z]", {'a', 'b'}, {'a', 'b'}},
        {"a-b", "%[-ab]", {'a', '-', 'b'}, {'a', '-', 'b'}},
        {"12 ab", "%[^", {'1', '2', ' ', 'a', 'b', 'a', 'b'}, {'1', '2', ' ', 'a', 'b'}},
        {"12 ab", "%[", {}, {}},
        {"12 ab", "%", {}, {}},
        {"12 ab", "%2s", {'1', '2', 'a', 'b'}, {'1', '2', 'a', 'b'}},
        {"a b", "%c", {'a', ' ', 'b'}, {'a', ' ', 'b'}},
        {"5 %", "%d %%", {5}, {5}},
        {"", "%d", {}, {}},
        {"   ", "%s", {}, {}},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(std::string("input '") + c.input + "', format '" + c.format + "'");
        {
            SCOPED_TRACE("text");
            expect_values(scan_text(c.input, c.format, Inf), c.text_values);
        }
        {
            SCOPED_TRACE("stream");
            file_ptr f = memory_stream(c.input);
            expect_values(scan_stream(f.get(), c.format, Inf), c.stream_values);
        }
    }
}

TEST(FormatScan, AStreamKeepsWhatWasNotRead)
{
    file_ptr f = memory_stream("12 34abc");
    expect_values(scan_stream(f.get(), "%d", Inf), {12, 34});
    EXPECT_EQ(std::fgetc(f.get()), 'a');
    f = memory_stream("7 8 9");
    expect_values(scan_stream(f.get(), "%d", Mm(2.0)), {7, 8});
    expect_values(scan_stream(f.get(), "%d", Inf), {9});
    f = memory_stream(std::string("a\0b", 3));
    SCOPED_TRACE("a character 0 ends the scan");
    expect_values(scan_stream(f.get(), "%c", Inf), {'a'});
}

TEST(FormatScan, CountIsValuesStored)
{
    Mm count;
    Mm a = scan_text("ab cd", "%s", Inf, &count);
    EXPECT_EQ(elements(count), std::vector<double>{4});
    EXPECT_EQ(a.isstr(), 1);
    a = scan_text("1 2 3", "%d", test::row({2, INFINITY}), &count);
    EXPECT_EQ(a.rows(), 2);
    EXPECT_EQ(a.cols(), 2);
    EXPECT_EQ(elements(a), (std::vector<double>{1, 2, 3, 0}));
    EXPECT_EQ(elements(count), std::vector<double>{3});
    // A string conversion may store more values than the size asks for.
    a = scan_text("abcdef", "%s", Mm(1.0), &count);
    EXPECT_EQ(a.cols(), 6);
    a = scan_text("abcdef", "%s", test::row({2, 1}), &count);
    EXPECT_EQ(a.rows(), 2);
    EXPECT_EQ(a.cols(), 3);
}

TEST(FormatScan, SizeErrorsLeaveEmptyOutputs)
{
    Mm a(1.0), n(1.0), message(1.0);
    EXPECT_ERROR(format_scan(nullptr, "1", TM("%d"), test::row({1, 2, 3}), i_o, a, n, message),
                 "scanf: size (temporary) is not one or two elements");
    Mm unset(i_o, "unset", 0);
    EXPECT_ERROR(format_scan(nullptr, "1", TM("%d"), unset, i_o, a, n, message),
                 "variable 'unset' was used without a value");
}

TEST(FormatScan, LongFieldsAreReadWhole)
{
    std::string word(100000, 'w');
    Mm a = scan_text(word.c_str(), "%s", Inf);
    ASSERT_EQ(a.size(), 100000);
    EXPECT_EQ(test::at(a, 99999), 'w');
    std::string digits = "1" + std::string(300, '0') + "." + std::string(300, '0');
    a = scan_text(digits.c_str(), "%f", Inf);
    EXPECT_EQ(elements(a), std::vector<double>{1e300});
}

} // namespace
