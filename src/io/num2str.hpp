// The rows of text num2str lays out for a value, shared with the display so
// that it prints them without building a char matrix first.
#pragma once

#include <string>
#include <vector>

class Mm;

// Significant digits asked of num2str and mat2str are held to this range:
// no double has more significant decimal digits than 767, so a larger
// precision adds nothing, and a negative one has no format.
constexpr int max_significant_digits = 800;
int clamp_precision(int p) noexcept;

struct number_rows {
    std::vector<std::string> lines;  // blank-padded to one width
    int width = 0;                   // the reference width, num2str's n
    bool failed = false;             // an error was raised and its hook returned
};

// The untrimmed text of num2str(x, p) as rows; for text x its rows.
number_rows num2str_rows(const Mm& x, int p);
// Removes the leading columns that are blank in every row.
void trim_leading_blank_columns(std::vector<std::string>& lines);
// A char matrix from rows of equal length.
Mm text_from_rows(const std::vector<std::string>& lines);
