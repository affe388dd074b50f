// Number text: the rewriting of the C library's spellings of infinity and
// not-a-number into "Inf", "-Inf" and "NaN", and the complex-number text built on it.
#pragma once

#include <cstddef>
#include <string>

// Replaces every occurrence of pattern in text, in place. Nothing happens when
// the replacement itself contains the pattern. A longer replacement grows the
// text: the caller's buffer must have room for it.
void replace_in_place(char* text, const char* pattern, const char* replacement);

// Rewrites the spellings of infinity and not-a-number in the text of one
// formatted number; a finite value leaves the text alone. The field width is
// kept, except for five spellings that become one character longer: the
// buffer needs normalized_text_room(strlen(text)) bytes.
void normalize_infnan_text(double value, char* text);
void normalize_infnan_text(double value, std::string& text);

// Buffer size that normalize_infnan_text needs for a text of n characters:
// every growing spelling is at least five characters long.
constexpr std::size_t normalized_text_room(std::size_t n) { return n + n / 5 + 2; }

// The real part with real_format, then for a complex number the imaginary
// part with imag_format behind a blank and its sign, followed by "i"; an
// imaginary part that is exactly 0 becomes blanks of the same width. Each
// format holds exactly one conversion of a double (e, f or g).
void format_complex_text(std::string& out, int complex, const char* real_format, const char* imag_format, double re,
                         double im);
