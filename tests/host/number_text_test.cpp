// Number text: the rewriting of infinity and NaN spellings, the in-place
// replacement under it, and complex-number texts.
#include "test_support.hpp"

#include "host/number_text.hpp"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct SpellingCase {
    double value;
    const char* text;
    const char* expected;
};

// What the C library writes for infinities and NaNs, through the formats
// the library uses, comes out as Inf, -Inf and NaN at the same width.
TEST(NumberText, CLibrarySpellingsKeepTheirWidth)
{
    struct Case {
        const char* format;
        double value;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"%f", INFINITY, "Inf"},         {"%f", -INFINITY, "-Inf"},     {"%f", NAN, "NaN"},
        {"%f", -NAN, " NaN"},            {"%10.4f", INFINITY, "       Inf"}, {"%-8g|", -INFINITY, "-Inf    |"},
        {"%E", INFINITY, "Inf"},         {"%G", -INFINITY, "-Inf"},     {"%F", NAN, "NaN"},
        {"%E", -NAN, " NaN"},            {"%+e", INFINITY, "+Inf"},     {"%+g", NAN, "+NaN"},
        {"%+G", INFINITY, " Inf"},       {"%+E", NAN, " NaN"},          {"%12.5e", NAN, "         NaN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("format '") + c.format + "'");
        char text[64];
        std::snprintf(text, sizeof text, c.format, c.value);
        std::size_t before = std::strlen(text);
        normalize_infnan_text(c.value, text);
        EXPECT_STREQ(text, c.expected);
        EXPECT_EQ(std::strlen(text), before);
    }
}

TEST(NumberText, OlderSpellingsAndTheFiveThatGrow)
{
    const std::vector<SpellingCase> cases = {
        {INFINITY, "1.#INF00e+000", "           Inf"},
        {INFINITY, "1.#IO00e+000", "          Inf"},
        {INFINITY, "  1.#INF", "     Inf"},
        {INFINITY, "1.#IO", "   Inf"},
        {INFINITY, " ++", "Inf"},
        {-INFINITY, "-1.#INF00e+000", "          -Inf"},
        {-INFINITY, "-1.#IO00e+000", "          -Inf"},
        {-INFINITY, "-1.#INF", "   -Inf"},
        {-INFINITY, "-1.#IO", "   -Inf"},
        {-INFINITY, " ---", "-Inf"},
        {NAN, "-1.#QNAN0e+000", "           NaN"},
        {NAN, "1.#QNAN0e+000", "          NaN"},
        {NAN, "-1.#QO0e+000", "         NaN"},
        {NAN, "1.#QO0e+000", "        NaN"},
        {NAN, "-1.#QNAN", "     NaN"},
        {NAN, "1.#QNAN", "    NaN"},
        {NAN, "-1.#QO", "   NaN"},
        {NAN, "1.#QO", "  NaN"},
        {NAN, "  ?", "NaN"},
        {NAN, "-1.#IO", "   NaN"},
        {NAN, "-1.#IND", "    NaN"},
        {NAN, "1.#IND", "   NaN"},
        {NAN, "nan nan", "NaN NaN"},
        {INFINITY, "inf -inf", "Inf -Inf"},  // the list of the value's sign only
    };
    for (const SpellingCase& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.text + "'");
        std::vector<char> buf(normalized_text_room(std::strlen(c.text)));
        std::strcpy(buf.data(), c.text);
        normalize_infnan_text(c.value, buf.data());
        EXPECT_STREQ(buf.data(), c.expected);
        std::string s = c.text;
        normalize_infnan_text(c.value, s);
        EXPECT_EQ(s, c.expected);
    }
}

TEST(NumberText, FiniteValuesLeaveTheTextAlone)
{
    for (double v : {0.0, -1.5, 1e308, 4.9e-324}) {
        char text[] = "inf -inf nan 1.#INF";
        normalize_infnan_text(v, text);
        EXPECT_STREQ(text, "inf -inf nan 1.#INF") << v;
    }
}

TEST(NumberText, ReplaceInPlace)
{
    struct Case {
        const char* text;
        const char* pattern;
        const char* replacement;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"-inf inf", "inf", "Inf", "-Inf Inf"},
        {"banana", "a", "aa", "banana"},  // the replacement holds the pattern
        {"abc", "", "x", "abc"},
        {"a/b/c", "/", "\\", "a\\b\\c"},
        {"xxabxx", "ab", "ABCD", "xxABCDxx"},
        {"aXbXc", "X", "", "abc"},
        {"ab", "abc", "z", "ab"},
        // Each occurrence in the text is replaced once: what a replacement
        // forms with its neighbours is left as it is.
        {"aabb", "ab", "a", "aab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "': '" + c.pattern + "' by '" + c.replacement + "'");
        char buf[64];
        std::strcpy(buf, c.text);
        replace_in_place(buf, c.pattern, c.replacement);
        EXPECT_STREQ(buf, c.expected);
    }
}

TEST(NumberText, ComplexTexts)
{
    struct Case {
        int complex;
        const char* real_format;
        const char* imag_format;
        double re, im;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {1, "%g", "%g", 1, 2, "1 +2i"},
        {1, "%g", "%g", 1, -2, "1 -2i"},
        {1, "%g", "%g", 1, 0, "1    "},
        {1, "%g", "%g", 1, -0.0, "1     "},  // blanks as wide as "-0"
        {1, "%8.4f", "%-8.4f", -1.5, 0.25, " -1.5000 +0.2500  i"},
        {1, "%g", "%g", INFINITY, -INFINITY, "Inf -Infi"},
        {1, "%g", "%g", NAN, NAN, "NaN - NaNi"},
        {1, "%g", "%g", 0, -NAN, "0 -NaNi"},
        {1, "%5.1f", "%5.1f", 2, NAN, "  2.0 -  NaNi"},
        {0, "%g", "%g", 3, 4, "3"},
        {0, "%6.2f", "%g", -INFINITY, 0, "  -Inf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.real_format) + " " + c.imag_format + " " + std::to_string(c.re) + " " +
                     std::to_string(c.im));
        std::string out = "previous";
        format_complex_text(out, c.complex, c.real_format, c.imag_format, c.re, c.im);
        EXPECT_EQ(out, c.expected);
    }
    std::string out;
    format_complex_text(out, 1, "%.300f", "%.300f", 1, 1);
    EXPECT_EQ(out.size(), 302u + 2 + 302 + 1) << "no fixed work area";
}

} // namespace
