// The printf/scanf format engine: compiling, the print walk, the scan walk
// and the scan driver. Only well-formed single conversions with their
// arguments reach the C library's printf; scanning is done here, on a text or
// a stream alike, with no buffer of a fixed size.
#include "io/format_engine.hpp"

#include "engine/scalar_real.hpp"
#include "host/number_text.hpp"
#include "value/globals.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/value.h"

#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

// ---- small helpers shared with other subsystems ----

const char* skip_spaces(const char* text) noexcept
{
    while (*text && is_space_char(static_cast<unsigned char>(*text)))
        ++text;
    return text;
}

const char* skip_nonspaces(const char* text) noexcept
{
    while (*text && !is_space_char(static_cast<unsigned char>(*text)))
        ++text;
    return text;
}

void byte_to_hex(unsigned char byte, char* out) noexcept
{
    static const char digits[] = "0123456789ABCDEF";
    out[0] = digits[byte & 15];
    out[1] = digits[byte >> 4];
}

std::string unescape_format(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        char c = text[k];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++k == text.size())
            break;  // a final backslash is dropped
        switch (text[k]) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default: out += text[k]; break;
        }
    }
    return out;
}

std::string format_text_of(const Mm& format)
{
    const int n = format.getnnz() > 0 ? format.getnnz() : 0;
    std::string text(static_cast<std::size_t>(n), '\0');
    Mstr_row(format, text.data(), n + 1);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// ---- compilation ----

namespace {

inline char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Flags, width, precision and suppression: what may stand between "%" and
// the letter.
inline bool is_spec_char(char c)
{
    switch (c) {
    case '*': case '#': case '+': case '-': case '.':
        return true;
    default:
        return c >= '0' && c <= '9';
    }
}

inline bool is_length_letter(char c)
{
    switch (c) {
    case 'l': case 'h': case 'L': case 'H': case 'b': case 't': case 'B': case 'T':
        return true;
    default:
        return false;
    }
}

inline bool is_number_letter(char c)
{
    switch (c) {
    case 'd': case 'D': case 'i': case 'I': case 'o': case 'O': case 'u': case 'U':
    case 'x': case 'X': case 'f': case 'F': case 'e': case 'E': case 'g': case 'G':
        return true;
    default:
        return false;
    }
}

inline bool is_conversion_letter(char c)
{
    return is_number_letter(c) || c == 'c' || c == 's' || c == 'n' || c == 'p';
}

// Digits read as a count, saturated at INT_MAX.
int read_count(std::string_view run, std::size_t& k)
{
    long long v = 0;
    while (k < run.size() && run[k] >= '0' && run[k] <= '9') {
        v = v * 10 + (run[k] - '0');
        if (v > INT_MAX)
            v = INT_MAX;
        ++k;
    }
    return static_cast<int>(v);
}

// Reads the characters between "%" and the letter the way C does: flags,
// then a width or "*", then "." with a precision or "*". Characters out of
// that order have no meaning in C and are dropped; for scanning, any "*"
// suppresses and the first run of digits is the width.
void parse_run(std::string_view run, format_piece& p)
{
    std::size_t k = 0;
    for (; k < run.size(); ++k) {
        char c = run[k];
        if (c != '#' && c != '0' && c != '+' && c != '-')
            break;
        if (p.flags.find(c) == std::string::npos)
            p.flags += c;
    }
    if (k < run.size() && run[k] == '*') {
        p.width_star = true;
        ++k;
    } else if (k < run.size() && run[k] >= '1' && run[k] <= '9') {
        p.width = read_count(run, k);
    }
    if (k < run.size() && run[k] == '.') {
        ++k;
        if (k < run.size() && run[k] == '*') {
            p.precision_star = true;
            ++k;
        } else {
            p.precision = read_count(run, k);
        }
    }
    p.suppressed = run.find('*') != std::string_view::npos;
    if (p.suppressed) {
        // Scanning reads its width from the first digits wherever they stand.
        std::size_t d = run.find_first_of("0123456789");
        if (d != std::string_view::npos && p.width < 0)
            p.width = read_count(run, d);
    }
}

// The C conversion for one value. Flags and precision go only where C gives
// them a meaning; D, I, O and U become their lower-case letters.
std::string c_format_of(const format_piece& p)
{
    char letter = p.conversion;
    if (letter == 'D' || letter == 'I' || letter == 'O' || letter == 'U')
        letter = char(letter - 'A' + 'a');
    const char* allowed_flags = "";
    bool precision_allowed = true;
    switch (letter) {
    case 'd': case 'i': allowed_flags = "-+0"; break;
    case 'o': case 'u': case 'x': case 'X': allowed_flags = "-0#"; break;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': allowed_flags = "-+0#"; break;
    case 's': allowed_flags = "-"; break;
    case 'c': case 'p': allowed_flags = "-"; precision_allowed = false; break;
    default: return {};
    }
    std::string f = "%";
    for (char c : p.flags)
        if (std::strchr(allowed_flags, c))
            f += c;
    if (p.width_star || p.width >= 0)
        f += '*';
    if (precision_allowed && (p.precision_star || p.precision >= 0))
        f += ".*";
    f += letter;
    return f;
}

// Whether the C conversion is a bare "%e", "%8.3f", "%.10G" and the like:
// the number's text is then the standard library's exact conversion, which
// equals the C library's byte for byte, without parsing a format per value.
bool is_plain_floating(const format_piece& p)
{
    const std::string& f = p.c_format;
    if (f.size() < 2 || !std::strchr("eEfFgG", f.back()) || p.width_star || p.precision_star)
        return false;
    if (p.precision > 40)
        return false;
    std::size_t at = 1;
    if (at < f.size() && f[at] == '*')
        ++at;
    if (at + 1 < f.size() && f[at] == '.' && f[at + 1] == '*')
        at += 2;
    return at + 1 == f.size();  // nothing but width and precision before the letter
}

// Whether the C conversion is a bare "%d", "%5x" and the like, whose text
// the standard library's integer conversion gives as well.
bool is_plain_integer(const format_piece& p)
{
    const std::string& f = p.c_format;
    if (f.size() < 2 || !std::strchr("diuoxX", f.back()) || p.width_star || p.precision_star || p.precision >= 0)
        return false;
    if (p.length == 'b' || p.length == 'B' || p.length == 't' || p.length == 'T')
        return false;
    return f.size() == 2 || (f.size() == 3 && f[1] == '*');
}

} // namespace

format_spec::format_spec(std::string_view format)
{
    const std::string t = unescape_format(format);
    const std::size_t n = t.size();
    format_piece cur;
    auto finish = [&](char conversion, char length, std::string_view run) {
        cur.conversion = conversion;
        cur.length = length;
        parse_run(run, cur);
        cur.c_format = c_format_of(cur);
        cur.plain_floating = is_plain_floating(cur);
        cur.plain_integer = is_plain_integer(cur);
        if (conversion != 'c' && conversion != 's')
            string_only_ = 0;
        pieces_.push_back(std::move(cur));
        cur = format_piece{};
    };
    std::size_t pos = 0;
    while (pos < n) {
        if (t[pos] != '%') {
            cur.literal += t[pos++];
            continue;
        }
        if (pos + 1 < n && t[pos + 1] == '%') {
            cur.literal += '%';
            pos += 2;
            continue;
        }
        std::size_t q = pos + 1;
        while (q < n && is_spec_char(t[q]))
            ++q;
        const std::string_view run(t.data() + pos + 1, q - pos - 1);
        char length = 0;
        if (q < n && is_length_letter(t[q]))
            length = t[q++];
        if (q < n && is_conversion_letter(t[q])) {
            finish(t[q], length, run);
            pos = q + 1;
        } else if (q < n && t[q] == '[') {
            std::size_t close = t.find(']', q + 1);
            std::size_t end = close == std::string::npos ? n : close;
            cur.is_set = true;
            cur.set.assign(t, q + 1, end - q - 1);
            finish('s', length, run);
            pos = close == std::string::npos ? n : close + 1;
        } else {
            // Not a conversion: the "%" stays literal text, as written.
            cur.literal += '%';
            ++pos;
        }
    }
    if (pieces_.empty() || !cur.literal.empty())
        pieces_.push_back(std::move(cur));  // the final literal piece, conversion "="
}

// ---- the print walk ----

namespace {

// The longest text a value can hold; a field wider than that cannot become
// a result.
constexpr int max_text_length = INT_MAX - 8;

[[noreturn]] void out_of_memory()
{
    error("Out of memory!");
    throw std::bad_alloc();
}

template <class T>
int c_print(char* buf, std::size_t size, const format_piece& p, bool pass_width, int width, bool pass_precision,
            int precision, T v)
{
    const char* f = p.c_format.c_str();
    if (pass_width && pass_precision)
        return std::snprintf(buf, size, f, width, precision, v);
    if (pass_width)
        return std::snprintf(buf, size, f, width, v);
    if (pass_precision)
        return std::snprintf(buf, size, f, precision, v);
    return std::snprintf(buf, size, f, v);
}

// Formats one value with the piece's C conversion straight into out,
// sizing the storage by a first try; returns the length written.
template <class T>
std::size_t put_conversion(growing_buffer<char>& out, const format_piece& p, int width, int precision, T v)
{
    const bool pass_width = p.width_star || p.width >= 0;
    const bool pass_precision =
        (p.precision_star || p.precision >= 0) && p.c_format.find(".*") != std::string::npos;
    if (width > max_text_length || width < -max_text_length)
        out_of_memory();
    char* tail = out.reserve_tail(64);
    int n = c_print(tail, out.room(), p, pass_width, width, pass_precision, precision, v);
    if (n < 0)
        out_of_memory();  // the text would pass what the C library can count
    if (static_cast<std::size_t>(n) >= out.room()) {
        tail = out.reserve_tail(static_cast<std::size_t>(n) + 1);
        c_print(tail, out.room(), p, pass_width, width, pass_precision, precision, v);
    }
    out.commit(static_cast<std::size_t>(n));
    return static_cast<std::size_t>(n);
}

void put_text(growing_buffer<char>& out, const char* s, std::size_t n) { out.append(s, n); }
void put_text(growing_buffer<char>& out, const std::string& s) { out.append(s.data(), s.size()); }

// The bit pattern of the value, least significant byte first and each byte
// low digit first: the usual hexadecimal spelling read backwards.
void put_pattern(growing_buffer<char>& out, double v, char length)
{
    char digits[16];
    int bytes;
    if (length == 'b' || length == 'B') {
        std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
        for (int k = 0; k < 8; ++k)
            byte_to_hex(static_cast<unsigned char>(bits >> (8 * k)), digits + 2 * k);
        bytes = 8;
    } else {
        std::uint32_t bits = std::bit_cast<std::uint32_t>(static_cast<float>(v));
        for (int k = 0; k < 4; ++k)
            byte_to_hex(static_cast<unsigned char>(bits >> (8 * k)), digits + 2 * k);
        bytes = 4;
    }
    out.append(digits, 2 * static_cast<std::size_t>(bytes));
}

// Truncation toward zero to 64 bits; a value that has no 64-bit integer
// (NaN, infinite, magnitude 2^63 or more) gives 0.
inline std::int64_t truncate_to_int64(double v)
{
    return v > -9223372036854775808.0 && v < 9223372036854775808.0 ? static_cast<std::int64_t>(v) : 0;
}

// The low 32 bits under a plain integer conversion, right-justified.
void put_plain_integer(growing_buffer<char>& out, char letter, int width, std::uint32_t low)
{
    if (width > max_text_length)
        out_of_memory();
    char text[16];
    std::to_chars_result r;
    if (letter == 'd' || letter == 'i')
        r = std::to_chars(text, text + sizeof text, static_cast<std::int32_t>(low));
    else
        r = std::to_chars(text, text + sizeof text, low, letter == 'u' ? 10 : letter == 'o' ? 8 : 16);
    if (letter == 'X')
        for (char* c = text; c < r.ptr; ++c)
            if (*c >= 'a' && *c <= 'f')
                *c = static_cast<char>(*c - 'a' + 'A');
    const std::size_t n = static_cast<std::size_t>(r.ptr - text);
    const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > n ? width - n : 0;
    char* w = out.reserve_tail(pad + n);
    std::memset(w, ' ', pad);
    std::memcpy(w + pad, text, n);
    out.commit(pad + n);
}

void put_integer(growing_buffer<char>& out, const format_piece& p, int width, int precision, double v)
{
    if (p.length == 'b' || p.length == 'B' || p.length == 't' || p.length == 'T') {
        put_pattern(out, v, p.length);
        return;
    }
    if (std::isnan(v)) {
        put_text(out, "NaN", 3);
        return;
    }
    if (std::isinf(v)) {
        if (v > 0)
            put_text(out, "Inf", 3);
        else
            put_text(out, "-Inf", 4);
        return;
    }
    if (precision > max_text_length)
        out_of_memory();  // at least that many digits
    const std::uint32_t low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(truncate_to_int64(v)));
    const char c = upper(p.conversion);
    if (p.plain_integer) {
        put_plain_integer(out, p.c_format.back(), width, low);
        return;
    }
    if (c == 'D' || c == 'I')
        put_conversion(out, p, width, precision, static_cast<int>(static_cast<std::int32_t>(low)));
    else
        put_conversion(out, p, width, precision, static_cast<unsigned>(low));
}

// Every double's exact decimal expansion ends within 1074 places after the
// point and has at most 767 significant digits: digits asked for beyond this
// are zeros. The C library's time grows with the precision whatever the
// text's length, so larger precisions are written here.
constexpr int exact_digits = 1100;

void put_long_precision(growing_buffer<char>& out, const format_piece& p, int width, int precision, double v)
{
    const char letter = p.c_format.back();
    const bool alternate = p.flags.find('#') != std::string::npos;
    std::string f = "%";
    for (char c : p.flags)
        if (c == '+' || c == '#')
            f += c;
    f += ".*";
    f += letter;
    char body[exact_digits + 400];
    const int n = std::snprintf(body, sizeof body, f.c_str(), exact_digits, v);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof body)
        out_of_memory();
    const std::string_view text(body, static_cast<std::size_t>(n));
    // %g drops trailing zeros unless "#" keeps them.
    const bool general = letter == 'g' || letter == 'G';
    const std::size_t zeros = general && !alternate ? 0 : static_cast<std::size_t>(precision - exact_digits);
    const std::size_t exponent = text.find_first_of("eE");
    const std::size_t split = exponent == std::string_view::npos ? text.size() : exponent;
    const std::size_t length = text.size() + zeros;
    // A negative width (from a '*' value) left-justifies, as in C.
    const std::size_t wanted = width < 0 ? static_cast<std::size_t>(-static_cast<long long>(width))
                                         : static_cast<std::size_t>(width);
    const std::size_t field = wanted > length ? wanted : length;
    if (field > static_cast<std::size_t>(max_text_length))
        out_of_memory();
    const std::size_t pad = field - length;
    const bool left = p.flags.find('-') != std::string::npos || width < 0;
    const bool zero_pad = !left && p.flags.find('0') != std::string::npos;
    const std::size_t sign = zero_pad && (text[0] == '+' || text[0] == '-') ? 1 : 0;

    char* w = out.reserve_tail(field);
    auto fill = [&](char c, std::size_t k) {
        std::memset(w, c, k);
        w += k;
    };
    auto copy = [&](std::string_view s) {
        std::memcpy(w, s.data(), s.size());
        w += s.size();
    };
    if (!left && !zero_pad)
        fill(' ', pad);
    copy(text.substr(0, sign));
    if (zero_pad)
        fill('0', pad);
    copy(text.substr(sign, split - sign));
    fill('0', zeros);
    copy(text.substr(split));
    if (left)
        fill(' ', pad);
    out.commit(field);
}

// A finite value under a plain floating conversion: the exact conversion of
// the standard library, right-justified in the field.
void put_plain_floating(growing_buffer<char>& out, const format_piece& p, int width, int precision, double v)
{
    if (width > max_text_length)
        out_of_memory();
    const char letter = p.c_format.back();
    std::chars_format form = std::chars_format::general;
    if (letter == 'e' || letter == 'E')
        form = std::chars_format::scientific;
    else if (letter == 'f' || letter == 'F')
        form = std::chars_format::fixed;
    char text[400];  // sign, 309 integer digits, point, at most 40 decimals
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v, form, precision < 0 ? 6 : precision);
    if (ec != std::errc{}) {
        put_conversion(out, p, width, precision, v);
        return;
    }
    const std::size_t n = static_cast<std::size_t>(end - text);
    if (letter == 'E' || letter == 'G')
        for (char* c = text; c < end; ++c)
            if (*c == 'e')
                *c = 'E';
    const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > n ? width - n : 0;
    char* w = out.reserve_tail(pad + n);
    std::memset(w, ' ', pad);
    std::memcpy(w + pad, text, n);
    out.commit(pad + n);
}

void put_floating(growing_buffer<char>& out, const format_piece& p, int width, int precision, double v)
{
    if (p.plain_floating && std::isfinite(v)) {
        put_plain_floating(out, p, width, precision, v);
        return;
    }
    if (precision > exact_digits) {
        if (std::isfinite(v)) {
            put_long_precision(out, p, width, precision, v);
            return;
        }
        precision = exact_digits;  // no digits to show: any precision reads the same
    }
    const std::size_t start = out.size();
    const std::size_t n = put_conversion(out, p, width, precision, v);
    if (std::isfinite(v))
        return;
    // Only the number's own text is rewritten, never the literal before it.
    std::string text(out.data() + start, n);
    normalize_infnan_text(v, text);
    out.truncate(start);
    put_text(out, text);
}

} // namespace

void format_print_values(format_spec& compiled, const double* values, std::size_t count, growing_buffer<char>& out)
{
    std::size_t k = 0;
    for (;;) {
        const format_piece& p = compiled.pieces_[compiled.current_];
        const char c = upper(p.conversion);
        if (c == '=') {
            if (compiled.previous_was_literal_)
                return;
        } else if (k == count) {
            return;
        }
        // '*' values first; a piece whose values run out waits, with what it
        // took, for the next value list.
        while (compiled.npending_ < p.stars()) {
            if (k == count)
                return;
            compiled.pending_[compiled.npending_++] = saturate_to_int(values[k++]);
        }
        if (c != '=' && k == count)
            return;
        compiled.previous_was_literal_ = c == '=';
        const int width = p.width_star ? compiled.pending_[0] : p.width;
        const int precision = p.precision_star ? compiled.pending_[p.width_star ? 1 : 0] : p.precision;
        compiled.npending_ = 0;

        put_text(out, p.literal);
        switch (c) {
        case '=':
            break;
        case 'C':
            put_conversion(out, p, width, precision, static_cast<int>(double_to_byte(values[k++])));
            break;
        case 'D': case 'I': case 'O': case 'U': case 'X':
            put_integer(out, p, width, precision, values[k++]);
            break;
        case 'E': case 'F': case 'G':
            put_floating(out, p, width, precision, values[k++]);
            break;
        case 'N':
            ++k;
            break;
        case 'P':
            put_conversion(out, p, width, precision, static_cast<const void*>(values + k));
            ++k;
            break;
        case 'S': {
            // Every value left forms the string; a zero byte ends it early.
            std::string s;
            s.reserve(count - k);
            for (; k < count; ++k) {
                unsigned char b = double_to_byte(values[k]);
                if (b == 0)
                    break;
                s += static_cast<char>(b);
            }
            k = count;
            if (p.width_star || p.width >= 0 || p.precision_star || p.precision >= 0)
                put_conversion(out, p, width, precision, s.c_str());
            else
                put_text(out, s);
            break;
        }
        default:
            ++k;
            error("sprintf: unknown type character");
            break;
        }
        if (++compiled.current_ == compiled.pieces_.size())
            compiled.current_ = 0;
        if (c == 'S')
            return;  // the next piece waits for the next value list
    }
}

namespace {

inline std::size_t element_count(const Mm& x) { return x.size() > 0 ? static_cast<std::size_t>(x.size()) : 0; }

} // namespace

void format_print(format_spec& compiled, const Mm& value, growing_buffer<char>& out)
{
    if (value.issamename(l_M_name))
        return;
    if (value.gettype() == qv_none) {
        value.warn_uninit();
        return;
    }
    if (value.gettype() == qv_cell || value.isstruct()) {
        // Not a bad conversion letter: a value that has no characters or
        // numbers to give, named by its class.
        const Mm cls = mclass(value);
        std::string name;
        for (int k = 0; k < cls.size(); ++k)
            name += static_cast<char>(cls.addr()[k]);
        error("sprintf: an argument of class %s can not be formatted", name.c_str());
        return;
    }
    if (value.gettype() == qv_uint8 || value.issparse()) {
        Mm full;
        full.deepcopy(0, 0, value, qv_double);
        format_print_values(compiled, full.addr(), element_count(full), out);
        return;
    }
    format_print_values(compiled, value.addr(), element_count(value), out);
}

// ---- the scan walk ----

namespace {

// Values may not pass this count: the result must stay a value.
constexpr std::size_t max_scan_values = 2147479647;

// A text in memory: the piece reads from a cursor that is dropped after it.
struct text_cursor {
    static constexpr bool contiguous = true;  // the characters lie in memory, zero-terminated
    const char* p;
    const char* end;
    int peek() const { return p < end ? static_cast<unsigned char>(*p) : EOF; }
    void take() { ++p; }
};

// An open stream, read one character ahead; the character held back goes
// back to the stream when the scan ends.
class stream_cursor {
public:
    static constexpr bool contiguous = false;
    explicit stream_cursor(std::FILE* f) : f_(f) {}
    ~stream_cursor()
    {
        if (held_ && c_ != EOF)
            std::ungetc(c_, f_);
    }
    stream_cursor(const stream_cursor&) = delete;
    stream_cursor& operator=(const stream_cursor&) = delete;
    int peek()
    {
        if (!held_) {
            c_ = std::getc(f_);
            held_ = true;
        }
        return c_;
    }
    void take() { held_ = false; }

private:
    std::FILE* f_;
    int c_ = EOF;
    bool held_ = false;
};

// Where the values go; a full store ends the scan.
class scan_store {
public:
    explicit scan_store(growing_buffer<double>& values) : values_(values) {}
    void put(double v)
    {
        if (values_.size() >= max_scan_values) {
            if (!full_)
                error("scanf: Matrix too large");
            full_ = true;
            return;
        }
        values_.push_back(v);
    }
    bool full() const { return full_; }

private:
    growing_buffer<double>& values_;
    bool full_ = false;
};

// A number's characters, for strtod.
class token {
public:
    void push(int c)
    {
        if (n_ + 1 < sizeof small_)
            small_[n_] = static_cast<char>(c);
        else {
            if (big_.empty())
                big_.assign(small_, n_);
            big_ += static_cast<char>(c);
        }
        ++n_;
    }
    const char* c_str()
    {
        if (!big_.empty())
            return big_.c_str();
        small_[n_] = 0;
        return small_;
    }
    std::size_t size() const { return n_; }

private:
    char small_[72];
    std::size_t n_ = 0;
    std::string big_;
};

template <class Cursor>
void skip_input_spaces(Cursor& in)
{
    while (is_space_char(in.peek()))
        in.take();
}

// The value of a digit in the base, or -1.
inline int digit_value(int c, int base)
{
    int d = 99;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'z')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

// An integer as C's scanf reads it (base 0: a "0x" prefix gives hex, a
// leading 0 octal), in at most width characters, as a sign and a magnitude.
// A magnitude beyond 64 bits wraps, keeping its low bits, as the unsigned
// conversions want; saturate holds it at the largest value instead, so that
// a signed conversion can clamp it to its range.
template <class Cursor>
bool scan_integer(Cursor& in, int base, int width, bool saturate, bool& negative_out, std::uint64_t& magnitude_out)
{
    long long budget = width > 0 ? width : LLONG_MAX;
    bool negative = false;
    int c = in.peek();
    if ((c == '+' || c == '-') && budget > 0) {
        negative = c == '-';
        in.take();
        --budget;
        c = in.peek();
    }
    std::uint64_t v = 0;
    bool overflow = false;  // more than 64 bits
    long long digits = 0;  // a stream has no end to its digits
    if ((base == 0 || base == 16) && c == '0' && budget > 0) {
        in.take();
        --budget;
        digits = 1;
        c = in.peek();
        if ((c == 'x' || c == 'X') && budget > 0) {
            in.take();
            --budget;
            c = in.peek();
            base = 16;
            digits = 0;  // the prefix needs a digit behind it
        } else if (base == 0) {
            base = 8;
        }
    }
    if (base == 0)
        base = 10;
    for (int d; budget > 0 && (d = digit_value(c, base)) >= 0; c = in.peek()) {
        if (v > (UINT64_MAX - static_cast<unsigned>(d)) / static_cast<unsigned>(base))
            overflow = true;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        ++digits;
        in.take();
        --budget;
    }
    if (digits == 0)
        return false;
    negative_out = negative;
    magnitude_out = overflow && saturate ? UINT64_MAX : v;
    return true;
}

// The per-character steps of the number readers are small; inlined they
// keep scanning close to the cost of strtod itself.
#define NUMRUN_INLINE __attribute__((always_inline))

inline bool is_decimal_digit(int c) { return c >= '0' && c <= '9'; }
inline bool is_hex_digit(int c) { return is_decimal_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline bool is_word_char(int c)
{
    return is_decimal_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// A decimal number at s, read by the standard library's exact reader, which
// rounds as strtod does without its locale and prefix work. Only for texts
// both read alike: a digit or point after an optional '-'; a "0x" prefix,
// a result out of range or no number at all leave it to strtod (false).
inline bool read_decimal(const char* s, const char* end, double& out, const char*& stop)
{
    const char* body = s < end && *s == '-' ? s + 1 : s;
    if (body >= end || !(is_decimal_digit(*body) || *body == '.'))
        return false;
    const auto [e, ec] = std::from_chars(s, end, out);
    if (ec != std::errc{} || (e < end && (*e == 'x' || *e == 'X')))
        return false;
    stop = e;
    return true;
}

// A floating-point number as C's scanf reads it: the longest prefix of a
// decimal or hexadecimal number, "inf", "infinity" or "nan(...)", in at most
// width characters; the prefix must be a whole number.
template <class Cursor>
bool scan_double(Cursor& in, int width, double& out)
{
    token t;
    long long budget = width > 0 ? width : LLONG_MAX;
    // Whether the next character, within the width, passes the test.
    auto next_is = [&](auto test) NUMRUN_INLINE { return budget > 0 && test(in.peek()); };
    auto next_is_char = [&](char lower) NUMRUN_INLINE {
        return next_is([lower](int c) { return c == lower || c == upper(lower); });
    };
    auto take = [&]() NUMRUN_INLINE {
        t.push(in.peek());
        in.take();
        --budget;
    };
    auto take_all = [&](auto test) NUMRUN_INLINE {
        long long n = 0;
        for (; next_is(test); ++n)
            take();
        return n;
    };
    auto take_word = [&](const char* lower) {
        for (; *lower; ++lower) {
            if (!next_is_char(*lower))
                return false;
            take();
        }
        return true;
    };
    auto is_sign = [](int c) { return c == '+' || c == '-'; };

    if (next_is(is_sign))
        take();
    if (next_is_char('i')) {
        if (!take_word("inf"))
            return false;
        if (next_is_char('i') && !take_word("inity"))
            return false;
    } else if (next_is_char('n')) {
        if (!take_word("nan"))
            return false;
        if (next_is_char('(')) {
            take();
            take_all(is_word_char);
            if (!next_is_char(')'))
                return false;
            take();
        }
    } else {
        long long digits = 0;
        bool hex = false;
        if (next_is_char('0')) {
            take();
            digits = 1;
            if (next_is_char('x')) {
                take();
                digits = 0;
                hex = true;
            }
        }
        digits += hex ? take_all(is_hex_digit) : take_all(is_decimal_digit);
        if (next_is_char('.')) {
            take();
            digits += hex ? take_all(is_hex_digit) : take_all(is_decimal_digit);
        }
        if (digits == 0)
            return false;
        if (next_is_char(hex ? 'p' : 'e')) {
            take();
            if (next_is(is_sign))
                take();
            if (take_all(is_decimal_digit) == 0)
                return false;
        }
    }
    const char* s = t.c_str();
    const char* stop = nullptr;
    if (read_decimal(s, s + t.size(), out, stop))
        return stop == s + t.size();
    char* end = nullptr;
    out = std::strtod(s, &end);
    return end == s + t.size();
}

// The same on text in memory without a width: strtod reads the number where
// it stands. Where it stops short of what scan_double would take, that longer
// prefix is no number (an exponent without digits, "0x" without digits,
// "infin", an unclosed "nan("), so the conversion fails as there.
inline bool scan_double_in_place(text_cursor& in, double& out)
{
    const char* s = in.p;
    const char* fast = nullptr;
    char* e = nullptr;
    if (read_decimal(s, in.end, out, fast))
        e = const_cast<char*>(fast);
    else
        out = std::strtod(s, &e);
    if (e == s)
        return false;
    in.p = e;
    const char* body = s + (*s == '+' || *s == '-');
    const char c = *e;  // the text ends in a zero
    if (*body == 'i' || *body == 'I')
        return c != 'i' && c != 'I';
    if (*body == 'n' || *body == 'N')
        return c != '(';
    if (body[0] == '0' && (body[1] == 'x' || body[1] == 'X'))
        return e > body + 1 && c != 'p' && c != 'P';
    return c != 'e' && c != 'E';
}

// Runs one piece on the input: its literal text, then its conversion.
// Returns -1 when the input ends first, else the number of values assigned.
template <class Cursor>
int scan_piece(const format_piece& p, Cursor& in, scan_store& store, long long conversions)
{
    for (char ch : p.literal) {
        if (is_space_char(static_cast<unsigned char>(ch))) {
            skip_input_spaces(in);
            continue;
        }
        int c = in.peek();
        if (c == EOF)
            return -1;
        if (c != static_cast<unsigned char>(ch))
            return 0;
        in.take();
    }
    const char conversion = upper(p.conversion);
    const int assigned = p.suppressed ? 0 : 1;
    switch (conversion) {
    case '=':
        return 0;
    case 'N':
        if (!p.suppressed)
            store.put(static_cast<double>(conversions));
        return 0;
    case 'C': {
        const int width = p.width > 0 ? p.width : 1;
        int c = in.peek();
        if (c == EOF)
            return -1;
        if (c == 0) {
            in.take();
            return 0;  // a character read as 0 is no conversion
        }
        // A field of width characters, all of them or none: one that meets
        // the end of the input first matches nothing.
        std::string field;
        for (int k = 0; k < width && (c = in.peek()) != EOF; ++k) {
            in.take();
            field += static_cast<char>(c);
        }
        if (static_cast<int>(field.size()) < width)
            return -1;
        if (!p.suppressed)
            for (char ch : field)
                store.put(static_cast<signed char>(ch));
        return assigned;
    }
    case 'S': {
        if (!p.is_set)
            skip_input_spaces(in);
        int c = in.peek();
        if (c == EOF)
            return -1;
        const long long width = p.width > 0 ? p.width : LLONG_MAX;
        bool negated = !p.set.empty() && p.set[0] == '^';
        std::string_view set(p.set);
        if (negated)
            set.remove_prefix(1);
        // A member of the set: single characters and ranges a-z; a '-' first
        // or last stands for itself.
        auto in_set = [&](int ch) {
            bool found = false;
            for (std::size_t k = 0; k < set.size() && !found; ++k) {
                unsigned char lo = static_cast<unsigned char>(set[k]);
                if (k + 2 < set.size() && set[k + 1] == '-') {
                    unsigned char hi = static_cast<unsigned char>(set[k + 2]);
                    found = ch >= lo && ch <= hi;
                    k += 2;
                } else {
                    found = ch == lo;
                }
            }
            return found != negated;
        };
        long long n = 0;
        for (; n < width && (c = in.peek()) != EOF; ++n) {
            if (p.is_set ? !in_set(c) : is_space_char(c))
                break;
            in.take();
            if (!p.suppressed)
                store.put(static_cast<signed char>(c));
        }
        return n == 0 ? 0 : assigned;
    }
    case 'D': case 'I': case 'O': case 'U': case 'X': case 'P': {
        skip_input_spaces(in);
        if (in.peek() == EOF)
            return -1;
        int base = 10;  // 0: from the prefix
        if (conversion == 'I')
            base = 0;
        else if (conversion == 'O')
            base = 8;
        else if (conversion == 'X' || conversion == 'P')
            base = 16;
        const bool is_signed = conversion == 'D' || conversion == 'I';
        std::uint64_t magnitude;
        bool negative;
        if (!scan_integer(in, base, p.width, is_signed, negative, magnitude))
            return 0;
        if (!p.suppressed && conversion != 'P') {
            if (is_signed)
                // Signed conversions saturate at the ends of the 32-bit
                // range rather than wrap around.
                store.put(negative ? (magnitude > 2147483648u ? -2147483648.0 : -static_cast<double>(magnitude))
                                   : (magnitude > 2147483647u ? 2147483647.0 : static_cast<double>(magnitude)));
            else
                store.put(static_cast<std::int32_t>(static_cast<std::uint32_t>(negative ? 0 - magnitude : magnitude)));
        }
        return assigned;
    }
    case 'E': case 'F': case 'G': {
        skip_input_spaces(in);
        if (in.peek() == EOF)
            return -1;
        double v;
        bool ok;
        if constexpr (Cursor::contiguous)
            ok = p.width > 0 ? scan_double(in, p.width, v) : scan_double_in_place(in, v);
        else
            ok = scan_double(in, p.width, v);
        if (!ok)
            return 0;
        if (!p.suppressed)
            store.put(v);
        return assigned;
    }
    default:
        error("sscanf: unknown type character");
        return -1;
    }
}

// Text input: every piece starts from a position the text rule gives.
class text_input {
public:
    explicit text_input(const char* text) : pos_(text), end_(text + std::strlen(text)) {}
    int run(const format_piece& p, scan_store& store, long long conversions)
    {
        text_cursor cursor{pos_, end_};
        int n = scan_piece(p, cursor, store, conversions);
        switch (upper(p.conversion)) {
        case '=': case 'N':
            break;
        case 'C': {
            std::size_t step = p.width > 0 ? static_cast<std::size_t>(p.width) : 1;
            std::size_t left = static_cast<std::size_t>(end_ - pos_);
            pos_ += step < left ? step : left;
            break;
        }
        default:
            // Past the field the piece started in. Without literal text, a
            // number or word conversion read only whitespace and then
            // characters of that field: the field goes on from where it stopped.
            if (p.literal.empty() && !p.is_set)
                pos_ = skip_spaces(skip_nonspaces(cursor.p));
            else
                pos_ = skip_spaces(skip_nonspaces(skip_spaces(pos_)));
            break;
        }
        return n;
    }

private:
    const char* pos_;
    const char* end_;
};

// Stream input: every piece goes on where the previous one stopped.
class stream_input {
public:
    explicit stream_input(std::FILE* f) : cursor_(f) {}
    int run(const format_piece& p, scan_store& store, long long conversions)
    {
        return scan_piece(p, cursor_, store, conversions);
    }

private:
    stream_cursor cursor_;
};

// Runs the pieces in turn until the input ends, a conversion fails, the
// count reaches max, or a whole pass over the pieces converts nothing.
template <class Input>
void scan_walk(const std::vector<format_piece>& pieces, std::size_t& current, Input& input, long long max,
               scan_store& store, long long& conversions)
{
    long long at_pass_start = conversions;
    while (conversions < max && !store.full()) {
        const format_piece& p = pieces[current];
        int n = input.run(p, store, conversions);
        if (n < 0)
            break;
        const char c = upper(p.conversion);
        if (n == 0 && c != '=' && c != 'N' && !p.suppressed)
            break;
        conversions += n;
        if (++current == pieces.size()) {
            current = 0;
            if (conversions == at_pass_start)
                break;
            at_pass_start = conversions;
        }
    }
}

} // namespace

void format_scan_values(format_spec& compiled, std::FILE* stream, const char* text, long long max_conversions,
                        growing_buffer<double>& values, long long& conversions)
{
    conversions = 0;
    if (max_conversions <= 0 || (!stream && !text))
        return;
    scan_store store(values);
    if (stream) {
        stream_input input(stream);
        scan_walk(compiled.pieces_, compiled.current_, input, max_conversions, store, conversions);
    } else {
        text_input input(text);
        scan_walk(compiled.pieces_, compiled.current_, input, max_conversions, store, conversions);
    }
}

// ---- the scan driver ----

namespace {

// A size element below 0 (or NaN) counts as 0.
inline double size_element(double v) { return v > 0 ? v : 0.0; }

void set_output(Mm& out, const Mm& v)
{
    if (!out.issamename(l_M_name))
        out = v;
}

} // namespace

Mm format_scan(std::FILE* stream, const char* text, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count,
               Mm& errmsg)
{
    format_spec compiled(format_text_of(format));

    if (size.gettype() == qv_none) {
        size.warn_uninit();
        return x_M;
    }
    Mm s = size;
    if (size.gettype() != qv_double || size.issparse())
        s.deepcopy(0, 0, size, qv_double);  // refuses cells and structs
    if (s.gettype() != qv_double)
        return x_M;
    const int elements = s.size();
    long long rows = 0;
    long long max = 0;
    if (elements == 1) {
        max = count_from_double(size_element(s.addr()[0]));
    } else if (elements == 2) {
        // Rows and columns are counted alike and the maximum is their
        // product: a size whose rows count as 0 reads nothing.
        rows = count_from_double(size_element(s.addr()[0]));
        const long long cols = count_from_double(size_element(s.addr()[1]));
        max = rows * cols;
    } else {
        error("scanf: size %s is not one or two elements", matrix_display_name(size));
        set_output(a, x_M);
        set_output(count, x_M);
        set_output(errmsg, x_M);
        return x_M;
    }

    growing_buffer<double> values;
    long long conversions = 0;
    format_scan_values(compiled, stream, text, max, values, conversions);

    // The shape is worked out in 64 bits; nothing is written past rows x cols.
    const long long stored = static_cast<long long>(values.size());
    long long result_rows, result_cols;
    if (elements == 2) {
        result_rows = rows;
        result_cols = rows > 0 ? (stored + rows - 1) / rows : 0;
    } else if (compiled.string_only()) {
        result_rows = 1;
        result_cols = stored;
    } else {
        result_rows = stored;
        result_cols = 1;
    }
    Mm result(0, 0, 0, static_cast<int>(result_rows), static_cast<int>(result_cols), qv_double);
    const std::size_t room = static_cast<std::size_t>(result.size() > 0 ? result.size() : 0);
    const std::size_t filled = values.size() < room ? values.size() : room;
    double* out = result.addr();
    if (filled)
        std::memcpy(out, values.data(), filled * sizeof(double));
    for (std::size_t k = filled; k < room; ++k)
        out[k] = 0;
    if (compiled.string_only())
        result.setstr(1);

    set_output(a, result);
    set_output(count, Mm(static_cast<double>(stored)));
    set_output(errmsg, TM(""));
    return x_M;
}
