// The printf/scanf format engine behind sprintf, sscanf, fprintf, printf and
// fscanf: a format compiled once into pieces, the print walk over lists of
// doubles, and the scan walk over a text or an open stream.
#pragma once

#include "velkor/report.h"
#include "velkor/runtime.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class Mm;
struct i_o_t;

// An array that grows at its end, from the runtime allocator. Growth is
// geometric, so appending n elements one by one costs O(n). No memory:
// "Out of memory!", and std::bad_alloc should the error hook return.
template <class T>
class growing_buffer {
    static_assert(std::is_trivially_copyable_v<T>, "growing_buffer holds plain data");

public:
    growing_buffer() = default;
    ~growing_buffer() { qv_free(p_); }
    growing_buffer(const growing_buffer&) = delete;
    growing_buffer& operator=(const growing_buffer&) = delete;

    T* data() const { return p_; }
    std::size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    void clear() { n_ = 0; }
    // Drops elements past the first n.
    void truncate(std::size_t n) { n_ = n < n_ ? n : n_; }

    // Room for at least extra elements past the end, which it returns;
    // room() then tells how many fit. commit(k) takes k of them in.
    T* reserve_tail(std::size_t extra)
    {
        if (cap_ - n_ < extra)
            grow(extra);
        return p_ + n_;
    }
    std::size_t room() const { return cap_ - n_; }
    void commit(std::size_t k) { n_ += k; }

    void push_back(T v)
    {
        if (n_ == cap_)
            grow(1);
        p_[n_++] = v;
    }
    void append(const T* v, std::size_t k)
    {
        if (k == 0)
            return;
        std::memcpy(reserve_tail(k), v, k * sizeof(T));
        n_ += k;
    }

private:
    void grow(std::size_t extra)
    {
        const std::size_t limit = SIZE_MAX / sizeof(T) / 2;
        if (extra > limit - n_) {
            error("Out of memory!");
            throw std::bad_alloc();
        }
        std::size_t want = n_ + extra;
        std::size_t doubled = cap_ < limit / 2 ? 2 * cap_ : limit;
        if (want < doubled)
            want = doubled;
        if (want < 64)
            want = 64;
        T* q = static_cast<T*>(qv_realloc(p_, want * sizeof(T)));
        if (!q) {
            error("Out of memory!");
            throw std::bad_alloc();
        }
        p_ = q;
        cap_ = want;
    }

    T* p_ = nullptr;
    std::size_t n_ = 0;
    std::size_t cap_ = 0;
};

// Whitespace in the C library's isspace sense in the "C" locale: space, tab,
// newline, vertical tab, form feed, carriage return.
inline bool is_space_char(int c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The first character of text that is not whitespace.
const char* skip_spaces(const char* text) noexcept;
// The first whitespace character of text, or its terminating zero.
const char* skip_nonspaces(const char* text) noexcept;
// Two hexadecimal digits of a byte, low four bits first.
void byte_to_hex(unsigned char byte, char* out) noexcept;

// The text with the escapes \n, \r and \t replaced; a backslash before any
// other character gives that character, a final backslash is dropped.
std::string unescape_format(std::string_view text);

// One piece of a compiled format: literal text, then at most one conversion.
struct format_piece {
    std::string literal;    // printed and matched as written; "%%" is one "%"
    char conversion = '=';  // as written ("d", "X", ...); "s" for a set; "=" none
    char length = 0;        // the length letter removed from the conversion, or 0
    std::string flags;      // of "#0+-", as they reach the C library
    int width = -1;         // -1 none
    int precision = -1;     // -1 none
    bool width_star = false;      // printing: the width is the next value
    bool precision_star = false;  // printing: the precision is the next value
    bool suppressed = false;      // scanning: "*", nothing is stored
    bool is_set = false;          // scanning: a set in brackets
    std::string set;              // its characters between "[" and "]"
    std::string c_format;         // printing: the conversion for the C library,
                                  // "*" standing for width and precision
    bool plain_floating = false;  // printing: e, f or g with no flags, stars or
                                  // long precision: written without the C library
    bool plain_integer = false;   // printing: d, i, u, o, x or X with no flags,
                                  // stars or precision: written without it too

    int stars() const { return int(width_star) + int(precision_star); }
};

// A format text compiled into pieces, with the position the print walk has
// reached: it persists across the argument values of one front call, so the
// format continues with the conversion the previous argument left waiting.
class format_spec {
public:
    // Unescapes and compiles the format. An empty format gives one empty
    // literal piece.
    explicit format_spec(std::string_view format);

    const std::vector<format_piece>& pieces() const { return pieces_; }
    // 1 while every conversion is "c", "s" or a set: scanned values are text.
    int string_only() const { return string_only_; }

private:
    friend void format_print_values(format_spec& compiled, const double* values, std::size_t count,
                                    growing_buffer<char>& out);
    friend void format_scan_values(format_spec& compiled, std::FILE* stream, const char* text, long long max_conversions,
                                   growing_buffer<double>& values, long long& conversions);

    std::vector<format_piece> pieces_;
    int string_only_ = 1;
    std::size_t current_ = 0;           // the piece the next step uses
    bool previous_was_literal_ = false;  // the piece printed last had no conversion
    int pending_[2] = {0, 0};           // '*' values taken for the current piece
    int npending_ = 0;
};

// Appends the text of one value to out: the real parts of its elements in
// column-major order, through the walk below. The not-wanted marker prints
// nothing; a uint8 or sparse value is read as full doubles; cells, structs
// and objects are refused with "sprintf: unknown type character".
void format_print(format_spec& compiled, const Mm& value, growing_buffer<char>& out);

// The print walk from the compiled's current piece over count values; '*'
// widths and precisions take values too.
void format_print_values(format_spec& compiled, const double* values, std::size_t count, growing_buffer<char>& out);

// The scan walk: exactly one of stream and text (zero-terminated) is given.
// Appends the stored values and sets the count of conversions made; reads
// nothing when max_conversions is 0 or less. On a stream, each piece
// consumes what it matched; on a text, each piece starts a whitespace field
// further on (after a "c" conversion of width w, w characters further; after
// a literal piece or "n", where it started).
void format_scan_values(format_spec& compiled, std::FILE* stream, const char* text, long long max_conversions,
                        growing_buffer<double>& values, long long& conversions);

// The scan driver: compiles format, reads size (one element: the most
// conversions; two: rows and the most conversions rows x columns), scans,
// and assigns the matrix or text read, the count of values stored and an
// empty message. Returns x_M.
Mm format_scan(std::FILE* stream, const char* text, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count,
               Mm& errmsg);

// A format value as text: its elements in column-major order, one byte each.
std::string format_text_of(const Mm& format);
