// Number and text conversions: num2str, int2str and mat2str write numbers
// as text, str2num and str2double read them back, and the radix functions
// convert between numbers and their digits in a base.
#include "io/num2str.hpp"
#include "engine/big_whole.hpp"
#include "engine/scalar_real.hpp"
#include "host/number_text.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/io.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

int clamp_precision(int p) noexcept
{
    if (p < 0)
        return 0;
    return p > max_significant_digits ? max_significant_digits : p;
}

namespace {

constexpr int default_precision = 4;

// ---- number texts ----

constexpr double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Appends the text of v through "%.<p>g", with infinities and NaN spelled
// the library's way. Whole numbers that fit the precision are written as
// their digits directly.
void append_g(std::string& out, double v, int p)
{
    const int digits = p < 1 ? 1 : p;
    if (v == std::trunc(v) && std::fabs(v) < powers_of_ten[digits < 15 ? digits : 15]) {
        if (v == 0) {
            out += std::signbit(v) ? "-0" : "0";
            return;
        }
        char buf[24];
        auto end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v)).ptr;
        out.append(buf, end);
        return;
    }
    // to_chars in the general format with a precision writes what printf's
    // "%.<p>g" writes, without its cost.
    char small[64];
    auto done = std::to_chars(small, small + sizeof small, v, std::chars_format::general, p);
    std::string text;
    if (done.ec == std::errc()) {
        if (std::isfinite(v)) {
            out.append(small, done.ptr);
            return;
        }
        text.assign(small, done.ptr);
    } else {
        text.resize(static_cast<std::size_t>(p) + 400);  // digits, sign, point and exponent
        done = std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::general, p);
        text.resize(done.ec == std::errc() ? static_cast<std::size_t>(done.ptr - text.data()) : 0);
    }
    normalize_infnan_text(v, text);
    out += text;
}

// Length of a text without its leading whitespace.
inline int trimmed_length(std::string_view t)
{
    std::size_t k = 0;
    while (k < t.size() && (t[k] == ' ' || (t[k] >= 9 && t[k] <= 13)))
        ++k;
    return static_cast<int>(t.size() - k);
}

// Element texts of many numbers in one buffer, with the widest of them.
struct text_list {
    std::string chars;
    std::vector<std::size_t> start;  // n + 1 offsets into chars
    int widest = 0;                    // largest length without leading whitespace

    void reserve(std::size_t n)
    {
        start.reserve(n + 1);
        chars.reserve(n * 6);
        start.push_back(0);
    }
    void add(double v, int p)
    {
        append_g(chars, v, p);
        const std::size_t from = start.back();
        start.push_back(chars.size());
        int w = trimmed_length(std::string_view(chars).substr(from));
        if (w > widest)
            widest = w;
    }
    std::string_view at(std::size_t k) const
    {
        return std::string_view(chars).substr(start[k], start[k + 1] - start[k]);
    }
};

// "%<width>.<p>g": the formats handed to format_complex_text.
std::string width_format(int width, int p)
{
    char f[48];
    std::snprintf(f, sizeof f, "%%%d.%dg", width, p);
    return f;
}

// Appends t right-aligned in a field of the given width.
inline void append_padded(std::string& out, std::string_view t, int width)
{
    if (static_cast<int>(t.size()) < width)
        out.append(static_cast<std::size_t>(width) - t.size(), ' ');
    out += t;
}

// The layout of one numeric value: its element values, how they are
// written, and the formats made from their widths.
struct layout {
    const Mm& x;
    int p;
    bool complex;
    bool bytes;
    int real_width = 0;
    int imag_width = 0;
    std::string real_format, imag_format;
    text_list real_texts;  // of the real parts, for real values

    layout(const Mm& value, int precision)
        : x(value), p(precision), complex(value.isc()), bytes(value.gettype() == qv_uint8)
    {
    }

    double re(std::size_t k) const
    {
        return bytes ? x.getpr((unsigned char*)nullptr)[k] : x.addr()[k];
    }
    double im(std::size_t k) const
    {
        if (!complex)
            return 0;
        return bytes ? x.getpi((unsigned char*)nullptr)[k] : x.addi()[k];
    }

    // Widths from the elements at the given storage positions.
    template <class Positions>
    void measure(const Positions& positions, std::size_t n)
    {
        if (bytes) {
            real_width = 4;
            imag_width = 2;
        } else {
            text_list imag_texts;
            real_texts.reserve(n);
            if (complex)
                imag_texts.reserve(n);
            for (std::size_t k = 0; k < n; ++k) {
                real_texts.add(re(positions(k)), p);
                if (complex)
                    imag_texts.add(im(positions(k)), p);
            }
            real_width = real_texts.widest + 2;
            imag_width = complex ? imag_texts.widest + 2 : 1;
        }
        real_format = width_format(real_width, p);
        imag_format = width_format(imag_width, p);
        if (complex || bytes)
            real_texts = text_list();  // written through the formats instead
    }

    // Appends the text of the element at storage position pos, the n-th
    // measured one.
    void append_element(std::string& out, std::size_t pos, std::size_t n, std::string& scratch) const
    {
        if (!complex && !bytes) {
            append_padded(out, real_texts.at(n), real_width);
            return;
        }
        format_complex_text(scratch, complex, real_format.c_str(), imag_format.c_str(), re(pos), im(pos));
        out += scratch;
    }
};

// Appends "%<width>d" of v.
void append_int_field(std::string& out, int v, int width)
{
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    append_padded(out, std::string_view(digits, static_cast<std::size_t>(end - digits)), width);
}

// Pads every line with blanks to the longest, as rows stacked into one
// char matrix are.
void pad_lines(std::vector<std::string>& lines)
{
    std::size_t longest = 0;
    for (const std::string& l : lines)
        longest = std::max(longest, l.size());
    for (std::string& l : lines)
        l.resize(longest, ' ');
}

void sparse_rows(const Mm& x, int p, number_rows& out)
{
    const int stored = x.getnnz();
    const int* index = x.getindex();
    const double* re = x.addr();
    const double* im = x.addi();
    // Stored entries in position order, explicit zeros left out.
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(stored));
    for (int k = 0; k < stored; ++k)
        if (re[k] != 0 || (im && im[k] != 0))
            order.push_back(k);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return index[a] < index[b]; });
    if (order.empty()) {
        out.lines.emplace_back("All zeros sparse");
        out.width = static_cast<int>(out.lines[0].size());
        return;
    }
    layout lay(x, p);
    lay.measure([&](std::size_t k) { return static_cast<std::size_t>(order[k]); }, order.size());

    const int rows = x.rows(), cols = x.cols();
    const bool vector = rows == 1 || cols == 1;
    const double count = vector ? static_cast<double>(rows) * cols : std::max(rows, cols);
    const int k = static_cast<int>(std::log10(count)) + 1;
    std::string scratch;
    out.lines.reserve(order.size());
    for (std::size_t n = 0; n < order.size(); ++n) {
        const int pos = index[order[n]];
        std::string line = "(";
        if (vector) {
            append_int_field(line, pos + 1, k);
        } else {
            append_int_field(line, pos % rows + 1, k);
            line += ',';
            append_int_field(line, pos / rows + 1, k);
        }
        line += ") ";
        lay.append_element(line, static_cast<std::size_t>(order[n]), n, scratch);
        out.lines.push_back(std::move(line));
    }
    out.width = static_cast<int>(out.lines[0].size());
    pad_lines(out.lines);
}

void full_rows(const Mm& x, int p, number_rows& out)
{
    const std::size_t rows = static_cast<std::size_t>(x.rows());
    const std::size_t n = static_cast<std::size_t>(x.size());
    const std::size_t cols = n / rows;
    layout lay(x, p);
    lay.measure([](std::size_t k) { return k; }, n);

    // Every element text is cut to the length of the first one from the
    // left; a shorter one stays as it is.
    std::string scratch, element;
    std::size_t reference = 0;
    out.lines.resize(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        std::string& line = out.lines[r];
        for (std::size_t c = 0; c < cols; ++c) {
            const std::size_t pos = r + c * rows;
            element.clear();
            lay.append_element(element, pos, pos, scratch);
            if (r == 0 && c == 0) {
                reference = element.size();
                line.reserve(reference * cols);
            }
            if (element.size() > reference)
                line.append(element, element.size() - reference, reference);
            else
                line += element;
        }
    }
    out.width = static_cast<int>(reference);
    pad_lines(out.lines);
}

// The rows of a char value, each element truncated to a byte.
void text_rows(const Mm& x, number_rows& out)
{
    const Mm t = full(x);
    const int rows = t.rows();
    const int n = t.size();
    const int cols = rows > 0 ? n / rows : 0;
    out.lines.assign(static_cast<std::size_t>(rows), std::string(static_cast<std::size_t>(cols), ' '));
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r) {
            const int k = r + c * rows;
            unsigned char b = t.gettype() == qv_uint8 ? t.getpr((unsigned char*)nullptr)[k] : double_to_byte(t.addr()[k]);
            out.lines[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = static_cast<char>(b);
        }
    out.width = cols;
}

} // namespace

number_rows num2str_rows(const Mm& x, int p)
{
    number_rows out;
    p = clamp_precision(p);
    if (x.gettype() == qv_none) {
        out.lines.emplace_back("(this variable has no value)");
        out.width = static_cast<int>(out.lines[0].size());
        return out;
    }
    if (x.gettype() == qv_cell) {
        error("Can not convert %s into a numerical matrix", matrix_display_name(x));
        out.failed = true;
        return out;
    }
    if (x.size() <= 0) {
        out.lines.emplace_back(x.isstr() ? "''" : "[]");
        out.width = 2;
        return out;
    }
    if (x.isstr()) {
        text_rows(x, out);
        return out;
    }
    if (x.issparse())
        sparse_rows(x, p, out);
    else
        full_rows(x, p, out);
    return out;
}

void trim_leading_blank_columns(std::vector<std::string>& lines)
{
    if (lines.empty())
        return;
    std::size_t cut = std::string::npos;
    for (const std::string& l : lines) {
        std::size_t first = l.find_first_not_of(' ');
        if (first == std::string::npos)
            first = l.size();
        cut = std::min(cut, first);
    }
    if (cut == 0)
        return;
    for (std::string& l : lines)
        l.erase(0, cut);
}

Mm text_from_rows(const std::vector<std::string>& lines)
{
    const int rows = static_cast<int>(lines.size());
    const int cols = rows > 0 ? static_cast<int>(lines[0].size()) : 0;
    Mm out(0, 0, 0, rows, cols, qv_double);
    out.setstr(1);
    if (out.size() != static_cast<long long>(rows) * cols)
        return out;
    // Rows become columns of storage: a band of columns at a time keeps the
    // lines being written in cache while every row passes through them.
    double* p = out.addr();
    constexpr int band = 64;
    for (int c0 = 0; c0 < cols; c0 += band) {
        const int c1 = std::min(cols, c0 + band);
        for (int r = 0; r < rows; ++r) {
            const char* l = lines[static_cast<std::size_t>(r)].data();
            for (int c = c0; c < c1; ++c)
                p[r + static_cast<std::ptrdiff_t>(c) * rows] = static_cast<unsigned char>(l[c]);
        }
    }
    return out;
}

namespace {

// The first element of a numeric argument as a double; NaN when there is
// none to read.
double first_value(const Mm& v)
{
    if (v.size() <= 0)
        return NAN;
    if (v.issparse())
        return first_value(full(v));
    if (v.gettype() == qv_uint8)
        return v.getpr((unsigned char*)nullptr)[0];
    if (v.gettype() == qv_double)
        return v.addr()[0];
    return NAN;
}

int precision_of(const Mm& p) { return p.size() <= 0 ? default_precision : saturate_to_int(first_value(p)); }

// num2str with its leading blank columns removed. A text that has none to
// lose is returned as it is, element type and codes kept.
Mm trimmed_num2str(const Mm& x, int p)
{
    number_rows t = num2str_rows(x, p);
    if (t.failed)
        return x_M;
    const std::size_t before = t.lines.empty() ? 0 : t.lines[0].size();
    trim_leading_blank_columns(t.lines);
    if (x.isstr() && x.size() > 0 && t.lines[0].size() == before)
        return x;
    return text_from_rows(t.lines);
}

bool untrimmed_num2str(const Mm& x, int p, Mm& s, Mm& n)
{
    number_rows t = num2str_rows(x, p);
    if (t.failed)
        return false;
    s = x.isstr() && x.size() > 0 ? x : text_from_rows(t.lines);
    n = Mm(static_cast<double>(t.width));
    return true;
}

} // namespace

// ---- num2str and int2str ----

Mm num2str(const Mm& x) { return trimmed_num2str(x, default_precision); }

Mm num2str(const Mm& x, const Mm& p)
{
    Mm s, n;
    return untrimmed_num2str(x, precision_of(p), s, n) ? s : x_M;
}

Mm num2str(const Mm& x, i_o_t, Mm& s, Mm& n)
{
    untrimmed_num2str(x, default_precision, s, n);
    return x_M;
}

Mm num2str(const Mm& x, const Mm& p, i_o_t, Mm& s, Mm& n)
{
    untrimmed_num2str(x, precision_of(p), s, n);
    return x_M;
}

Mm int2str(const Mm& x) { return num2str(round(x)); }

// ---- mat2str ----

Mm mat2str(const Mm& x) { return mat2str(x, Mm(15.0)); }

Mm mat2str(const Mm& x, const Mm& n)
{
    if (x.gettype() == qv_cell) {
        error("Can not convert %s into a numerical matrix", matrix_display_name(x));
        return x_M;
    }
    const Mm d = full(mdouble(x));
    if (d.size() <= 0)
        return TM("[]");
    char format[48];
    std::snprintf(format, sizeof format, " %%.%dg", clamp_precision(saturate_to_int(first_value(n))));
    const int rows = d.rows();
    const int cols = d.size() / rows;
    const bool several = d.size() > 1;
    const bool complex = d.isc();
    // Each row's text loses its trailing blanks before the rows are joined.
    std::string text, row, element;
    for (int r = 0; r < rows; ++r) {
        row.clear();
        if (r == 0 && several)
            row += '[';
        for (int c = 0; c < cols; ++c) {
            const std::ptrdiff_t k = r + static_cast<std::ptrdiff_t>(c) * rows;
            format_complex_text(element, complex, format, format, d.addr()[k], complex ? d.addi()[k] : 0.0);
            row += element;
        }
        if (r + 1 < rows)
            row += ';';
        else if (several)
            row += ']';
        std::size_t keep = row.find_last_not_of(' ');
        row.resize(keep == std::string::npos ? 0 : keep + 1);
        text += row;
    }
    return text_from_rows({text});
}

// ---- str2num and str2double ----

namespace {

inline bool is_space_code(double c) { return c == 32 || (c >= 9 && c <= 13); }

// Tokens of a number text: blanks and tabs separate them; a newline, ';',
// ',', '[' and ']' are tokens of their own.
class number_tokens {
public:
    explicit number_tokens(std::string_view text) : text_(text) {}

    // The next token; empty at the end of the text.
    std::string_view next()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t'))
            ++at_;
        const std::size_t from = at_;
        if (at_ < text_.size() && is_single(text_[at_]))
            return text_.substr(from, ++at_ - from);
        while (at_ < text_.size() && text_[at_] != ' ' && text_[at_] != '\t' && !is_single(text_[at_]))
            ++at_;
        return text_.substr(from, at_ - from);
    }
    std::size_t position() const { return at_; }
    void rewind(std::size_t position) { at_ = position; }

private:
    static bool is_single(char c) { return c == '\n' || c == ';' || c == ',' || c == '[' || c == ']'; }

    std::string_view text_;
    std::size_t at_ = 0;
};

inline bool is_sign(std::string_view t) { return t.size() == 1 && (t[0] == '+' || t[0] == '-'); }

// Walks the tokens: row(), then element(token) for every element of the
// row. An element written with a blank after or around its sign ('3 + 4i',
// '3+ 4i') is joined into one token first.
template <class OnRow, class OnElement>
void walk_numbers(std::string_view text, OnRow&& on_row, OnElement&& on_element)
{
    number_tokens tokens(text);
    std::string joined;
    bool row_open = false;
    for (;;) {
        std::string_view t = tokens.next();
        if (t.empty())
            return;
        if (t == "[" || t == "]" || t == ",")
            continue;
        if (t[0] == ';' || t[0] == '\n') {
            row_open = false;
            continue;
        }
        const char last = t.back();
        bool copied = false;
        if (t.size() > 1 && (last == '+' || last == '-')) {
            joined.assign(t);
            joined += tokens.next();
            copied = true;
        }
        const std::size_t mark = tokens.position();
        std::string_view ahead = tokens.next();
        if (is_sign(ahead)) {
            if (!copied)
                joined.assign(t);
            joined += ahead;
            joined += tokens.next();
            copied = true;
        } else {
            tokens.rewind(mark);
        }
        if (!row_open) {
            on_row();
            row_open = true;
        }
        on_element(copied ? std::string_view(joined) : t);
    }
}

// Reads "%lg %lg" from a token: the count of numbers read (0 to 2). Every
// token is followed in memory by a delimiter or the terminating zero, and no
// number text contains a delimiter, so strtod never reads past the token
// once it starts on a character that is not white space.
int read_two_numbers(std::string_view t, double& a, double& b)
{
    const char* at = t.data();
    const char* end = at + t.size();
    char* stop;
    for (double* out : {&a, &b}) {
        while (at < end && is_space_code(static_cast<unsigned char>(*at)))
            ++at;
        if (at >= end)
            return out == &a ? 0 : 1;
        *out = std::strtod(at, &stop);
        if (stop == at)
            return out == &a ? 0 : 1;
        at = stop;
    }
    return 2;
}

// A token that is one plain decimal number ("-3.5", "1e-310", "42"): read
// by the standard library's exact decimal reader, which rounds as strtod
// does, without strtod's locale and prefix work. Returns false for anything
// else (signs before digits other than '-', hexadecimal, Inf and NaN,
// imaginary parts, values that overflow or underflow to zero), which the
// general reader takes.
inline bool read_plain_number(std::string_view t, double& re)
{
    if (t.empty() || t[0] == '+')
        return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), re);
    return ec == std::errc{} && end == t.data() + t.size();
}

// The value of one element token.
void read_element(std::string_view token, double& re, double& im)
{
    re = im = 0;
    if (read_plain_number(token, re))
        return;
    std::string_view t = token;
    std::string with_one;
    const bool imaginary = !t.empty() && t.back() == 'i';
    if (imaginary && (t.size() == 1 || t[t.size() - 2] == '+' || t[t.size() - 2] == '-')) {
        with_one.assign(t.substr(0, t.size() - 1));
        with_one += "1i";
        t = with_one;
    }
    double a = 0, b = 0;
    const int count = read_two_numbers(t, a, b);
    if (count == 0) {
        std::string lower(t);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
        if (lower == "inf")
            re = INFINITY;
        else if (lower == "-inf")
            re = -INFINITY;
        else if (lower == "nan" || lower == "-nan")
            re = NAN;
        return;
    }
    if (count == 2) {
        // A second number is an imaginary part only in a complex element
        // such as 3+4i; in '1-2' it is dropped.
        re = a;
        if (imaginary)
            im = b;
        return;
    }
    if (imaginary)
        im = a;
    else
        re = a;
}

} // namespace

Mm str2num(const Mm& s)
{
    if (!s.isstr()) {
        error("str2num: input is not a string");
        return Mm(0.0);
    }
    const Mm text_value = full(s);
    bool blank = true;
    for (int k = 0, n = text_value.size(); k < n && blank; ++k) {
        double c = text_value.gettype() == qv_uint8 ? text_value.getpr((unsigned char*)nullptr)[k]
                                                    : text_value.gettype() == qv_double ? text_value.addr()[k] : 0;
        blank = is_space_code(c);
    }
    if (blank)
        return Mm();
    std::string text(static_cast<std::size_t>(Mstr_size(text_value)), '\0');
    Mstr(text_value, text.data(), static_cast<int>(text.size()));
    text.resize(std::strlen(text.c_str()));

    // First walk: the shape and whether any element is imaginary.
    int rows = 0, cols = 0, in_row = 0;
    bool complex = false;
    walk_numbers(
        text,
        [&] {
            ++rows;
            in_row = 0;
        },
        [&](std::string_view t) {
            cols = std::max(cols, ++in_row);
            complex = complex || t.back() == 'i';
        });
    Mm out = czeros(complex, rows, cols);
    if (out.size() != static_cast<long long>(rows) * cols || out.size() == 0)
        return out;

    // Second walk: the values; places of short rows stay 0.
    double* re = out.addr();
    double* im = out.addi();
    int row = -1, col = 0;
    walk_numbers(
        text,
        [&] {
            ++row;
            col = 0;
        },
        [&](std::string_view t) {
            double a, b;
            read_element(t, a, b);
            const std::ptrdiff_t k = row + static_cast<std::ptrdiff_t>(col) * rows;
            re[k] = a;
            if (im)
                im[k] = b;
            ++col;
        });
    return out;
}

Mm str2double(const Mm& s)
{
    if (iscell(s)) {
        const Mm* from = s.getpr((Mm*)nullptr);
        const int n = s.size();
        std::vector<double> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
        bool complex = false;
        for (int k = 0; k < n; ++k) {
            Mm v = str2double(from[k]);
            re[static_cast<std::size_t>(k)] = v.size() > 0 ? v.addr()[0] : NAN;
            im[static_cast<std::size_t>(k)] = v.size() > 0 && v.isc() ? v.addi()[0] : 0;
            complex = complex || im[static_cast<std::size_t>(k)] != 0;
        }
        Mm out(complex, 0, 0, s.getndims(), s.getdims(), qv_double);
        if (out.size() != n)
            return x_M;
        std::copy(re.begin(), re.end(), out.addr());
        if (complex)
            std::copy(im.begin(), im.end(), out.addi());
        return out;
    }
    Mm v = str2num(s);
    return v.size() > 0 ? v : Mm(static_cast<double>(NAN));
}

// ---- radix conversions ----

namespace {

// Element k of a numeric or text value as a double.
inline double element_value(const Mm& v, int k)
{
    return v.gettype() == qv_uint8 ? v.getpr((unsigned char*)nullptr)[k] : v.addr()[k];
}

// The value of a digit character: 0 to 9, then A to Z (either case) from
// 10; anything else is 0.
inline int digit_value(double code)
{
    int c = saturate_to_int(code);
    if (c >= 'a' && c <= 'z')
        c -= 32;
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 0;
}

// The value of one row of characters in base b: every character takes its
// place, a blank or a digit beyond the base included.
double row_value(const Mm& t, int r, int rows, int cols, double base)
{
    double value = 0, weight = 1;
    for (int c = cols - 1; c >= 0; --c) {
        value += digit_value(element_value(t, r + c * rows)) * weight;
        weight *= base;
    }
    return value;
}

// The base-b digits of a whole number v >= 0, most significant first, into
// out (at least 1075 characters: 2^1024 has 1025 binary digits). Each digit
// is exact: below 2^64 by integer division, above it by long division of
// the number's exact whole form.
int whole_number_digits(double v, int base, char* out)
{
    static const char symbols[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    int n = 0;
    if (v < 18446744073709551616.0) {
        unsigned long long u = static_cast<unsigned long long>(v);
        do {
            out[n++] = symbols[u % static_cast<unsigned>(base)];
            u /= static_cast<unsigned>(base);
        } while (u != 0);
    } else {
        big_whole w = big_whole::of(v);
        while (!w.zero())
            out[n++] = symbols[w.divide(static_cast<std::uint32_t>(base))];
    }
    std::reverse(out, out + n);
    return n;
}

constexpr int most_digits = 1100;

} // namespace

Mm base2dec(const Mm& s) { return base2dec(s, Mm(16.0)); }

Mm base2dec(const Mm& s, const Mm& b)
{
    const double base = first_value(b);
    // A cell: each string by itself, without the blanks that stacking
    // strings of unequal length would pad the shorter ones with.
    bool by_element = iscell(s) && !s.isstruct();
    for (int k = 1; by_element && k <= s.size(); ++k) {
        const Mm& e = s.mr(k);
        by_element = e.gettype() == qv_double || e.gettype() == qv_uint8;
    }
    if (by_element) {
        std::vector<double> values;
        for (int k = 1; k <= s.size(); ++k) {
            const Mm e = full(s.mr(k));
            if (e.size() <= 0) {
                values.push_back(0);  // an empty string stacks as a row of its own
                continue;
            }
            const int rows = e.rows(), cols = e.size() / rows;
            for (int r = 0; r < rows; ++r)
                values.push_back(row_value(e, r, rows, cols, base));
        }
        Mm out(0, 0, 0, static_cast<int>(values.size()), 1, qv_double);
        if (out.size() != static_cast<int>(values.size()))
            return x_M;
        std::copy(values.begin(), values.end(), out.addr());
        return out;
    }
    const Mm t = full(iscell(s) ? mchar(s) : s);
    if (t.gettype() != qv_double && t.gettype() != qv_uint8) {
        error("Can not convert %s into a numerical matrix", matrix_display_name(s));
        return x_M;
    }
    const int rows = t.size() > 0 ? t.rows() : 0;
    const int cols = rows > 0 ? t.size() / rows : 0;
    Mm out(0, 0, 0, rows, 1, qv_double);
    if (out.size() != rows)
        return x_M;
    for (int r = 0; r < rows; ++r)
        out.addr()[r] = row_value(t, r, rows, cols, base);
    return out;
}

Mm bin2dec(const Mm& s) { return base2dec(s, Mm(2.0)); }
Mm hex2dec(const Mm& s) { return base2dec(s, Mm(16.0)); }

Mm dec2base(const Mm& x) { return dec2base(x, Mm(16.0)); }
Mm dec2base(const Mm& x, const Mm& b) { return dec2base(x, b, Mm(0.0)); }

Mm dec2base(const Mm& x, const Mm& b, const Mm& len)
{
    if (x.size() <= 0) {
        Mm empty(x);
        empty.setstr(1);
        return empty;
    }
    if (x.gettype() == qv_cell) {
        error("Can not convert %s into a numerical matrix", matrix_display_name(x));
        return x_M;
    }
    const Mm v = full(x);
    const int base = round_to_count(first_value(b));
    if (base < 2 || base > 36) {
        error("dec2base: base must be between 2 and 36");
        return x_M;
    }
    const int n = v.size();
    double largest = 0;
    for (int k = 0; k < n; ++k) {
        // Only a whole number that is not negative has digits: anything else
        // would come out as characters that are no digits at all.
        const double e = element_value(v, k);
        if (!(e >= 0 && std::isfinite(e) && e == std::floor(e))) {
            error("dec2base: input must be non-negative finite numbers");
            return x_M;
        }
        largest = std::max(largest, e);
    }
    // The width is the exact digit count of the largest element: a count
    // from logarithms rounds, one digit short or one too many near a power
    // of the base.
    char digits_of[most_digits];
    const int digits = whole_number_digits(largest, base, digits_of);
    const int width = std::max(digits, round_to_count(first_value(len)));

    Mm out(0, 0, 0, n, width, qv_double);
    out.setstr(1);
    if (out.size() != static_cast<long long>(n) * width)
        return x_M;
    double* p = out.addr();
    for (int k = 0; k < n; ++k) {
        const int count = whole_number_digits(element_value(v, k), base, digits_of);
        const int pad = width - count;
        for (int c = 0; c < pad; ++c)
            p[k + static_cast<std::ptrdiff_t>(c) * n] = '0';
        for (int c = 0; c < count; ++c)
            p[k + static_cast<std::ptrdiff_t>(pad + c) * n] = static_cast<unsigned char>(digits_of[c]);
    }
    return out;
}

Mm dec2bin(const Mm& x) { return dec2base(x, Mm(2.0)); }
Mm dec2bin(const Mm& x, const Mm& len) { return dec2base(x, Mm(2.0), len); }
Mm dec2hex(const Mm& x) { return dec2base(x, Mm(16.0)); }
Mm dec2hex(const Mm& x, const Mm& len) { return dec2base(x, Mm(16.0), len); }

Mm hex2num(const Mm& s)
{
    char text[20];
    Mstr_row(s, text, sizeof text);
    // Padded with '0' to 16 digits; what lies beyond them is ignored.
    char digits[17];
    std::size_t given = std::strlen(text);
    for (std::size_t k = 0; k < 16; ++k)
        digits[k] = k < given ? text[k] : '0';
    digits[16] = 0;
    // A pair that is not hexadecimal leaves the byte of the pair before it.
    std::uint64_t bits = 0;
    unsigned int byte = 0;
    for (int k = 0; k < 8; ++k) {
        char pair[3] = {digits[2 * k], digits[2 * k + 1], 0};
        unsigned int read;
        if (std::sscanf(pair, "%x", &read) == 1)
            byte = read & 0xFF;
        bits = (bits << 8) | byte;
    }
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return Mm(value);
}
