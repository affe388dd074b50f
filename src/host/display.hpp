// Internal helpers of value display shared with other subsystems: class
// names, short summaries and the one-line descriptions of workspace lists.
#pragma once

#include <string>

class Mm;

// "char", "sparse", "struct", an object's class name, "cell", "uint8" or
// "double". The text is static or belongs to the class registry.
const char* class_name_of(const Mm& x);
// Bytes the elements take: 8 a double, 1 a uint8, sizeof(Mm) a cell or struct
// element, 4 more each when sparse, times the stored element count.
long long value_bytes(const Mm& x);
// The extents joined by "x", a blank and the class name: "2x3 double".
std::string dims_and_class_text(const Mm& x);
// What a cell display or a struct field shows of a value: a real number
// with 4 significant digits, a one-row text of at most 16 characters, or
// dims_and_class_text.
std::string value_summary_text(const Mm& x);
// Appends " (2x3)=6 double elements real (48 bytes)" for x; the word is
// empty for text and "complex" for a value with an imaginary part.
void whos_description(std::string& text, const Mm& x);
