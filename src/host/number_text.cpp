// Number text: every number the library turns into text passes through here
// so that infinities and NaNs read the same whatever the C library writes.
#include "host/number_text.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct spelling {
    const char* pattern;
    const char* replacement;
};

// Rows are applied in order, each to the whole text. The replacements keep
// the pattern's width (columns stay aligned) except five that grow by one.
// The upper-case words close the lists: they are what the C library writes
// for %E, %F and %G, which the older spellings above them do not cover.
constexpr spelling plus_inf[] = {
    {"1.#INF00e+000", "           Inf"},
    {"1.#IO00e+000", "          Inf"},
    {"1.#INF", "   Inf"},
    {"1.#IO", "   Inf"},
    {"+INF", " Inf"},
    {" ++", "Inf"},
    {"inf", "Inf"},
    {"INF", "Inf"},
};

constexpr spelling minus_inf[] = {
    {"-1.#INF00e+000", "          -Inf"},
    {"-1.#IO00e+000", "          -Inf"},
    {"-1.#INF", "   -Inf"},
    {"-1.#IO", "   -Inf"},
    {"-INF", "-Inf"},
    {" ---", "-Inf"},
    {"-inf", "-Inf"},
};

constexpr spelling not_a_number[] = {
    {"-1.#QNAN0e+000", "           NaN"},
    {"1.#QNAN0e+000", "          NaN"},
    {"-1.#QO0e+000", "         NaN"},
    {"1.#QO0e+000", "        NaN"},
    {"-1.#QNAN", "     NaN"},
    {"1.#QNAN", "    NaN"},
    {"-1.#QO", "   NaN"},
    {"1.#QO", "  NaN"},
    {"  ?", "NaN"},
    {"-1.#IO", "   NaN"},
    {"-1.#IND", "    NaN"},
    {"1.#IND", "   NaN"},
    {"+NAN", " NaN"},
    {"-NAN", " NaN"},
    {"-nan", " NaN"},
    {"nan", "NaN"},
    {"NAN", "NaN"},
};

template <std::size_t N>
void apply(const spelling (&rows)[N], char* text)
{
    for (const spelling& row : rows)
        replace_in_place(text, row.pattern, row.replacement);
}

} // namespace

void replace_in_place(char* text, const char* pattern, const char* replacement)
{
    if (!text || !pattern || !replacement || std::strstr(replacement, pattern))
        return;  // also covers the empty pattern, which every text contains
    const std::size_t np = std::strlen(pattern);
    const std::size_t nr = std::strlen(replacement);
    // The search goes on behind each inserted replacement: a replacement and
    // the text around it can never form a new occurrence that is rewritten
    // again, so the growth is bounded by the occurrences in the original.
    char* from = text;
    while (char* hit = std::strstr(from, pattern)) {
        char* rest = hit + np;
        std::memmove(hit + nr, rest, std::strlen(rest) + 1);
        std::memcpy(hit, replacement, nr);
        from = hit + nr;
    }
}

void normalize_infnan_text(double value, char* text)
{
    if (!text || std::isfinite(value))
        return;
    if (std::isnan(value))
        apply(not_a_number, text);
    else if (value >= 0)
        apply(plus_inf, text);
    else
        apply(minus_inf, text);
}

void normalize_infnan_text(double value, std::string& text)
{
    if (std::isfinite(value))
        return;
    std::vector<char> room(normalized_text_room(text.size()));
    std::memcpy(room.data(), text.c_str(), text.size() + 1);
    normalize_infnan_text(value, room.data());
    text.assign(room.data());
}

namespace {

// The text of one double through a one-conversion format, whatever its length.
std::string format_double(const char* format, double v)
{
    char small[128];
    int n = std::snprintf(small, sizeof small, format, v);
    if (n < 0)
        return {};
    if (static_cast<std::size_t>(n) < sizeof small)
        return std::string(small, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n), '\0');
    std::snprintf(big.data(), big.size() + 1, format, v);
    return big;
}

} // namespace

void format_complex_text(std::string& out, int complex, const char* real_format, const char* imag_format, double re,
                         double im)
{
    out = format_double(real_format, re);
    normalize_infnan_text(re, out);
    if (!complex)
        return;
    // The magnitude is written behind two blanks, the second of which takes
    // the sign. m = -im flips the sign bit of a NaN too (the test fails for
    // it); the sign shown is decided on im itself.
    double m = im >= 0 ? im : -im;
    std::string area = "  " + format_double(imag_format, m);
    normalize_infnan_text(m, area);
    area += 'i';
    if (im > 0)
        area[1] = '+';
    else if (im == 0)
        area.assign(area.size(), ' ');
    else
        area[1] = '-';
    out += area;
}
