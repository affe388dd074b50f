// Test scaffolding: the library runs in throwing mode with the print hook
// captured; builders for small values; exact-error and bit/ULP checks.
#pragma once

#include <velkor.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace test {

// Everything written through the print hook since the last clear.
const std::string& printed();
void clear_printed();

// Values from lists of numbers, column-major.
Mm real(int rows, int cols, std::initializer_list<double> values);
Mm row(std::initializer_list<double> values);
Mm complex(int rows, int cols, std::initializer_list<double> re, std::initializer_list<double> im);
Mm bytes(int rows, int cols, std::initializer_list<unsigned> values);
Mm text(const char* s);

// The message of the error a callable raises; "" when it raises none.
template <class F>
std::string error_of(F&& f)
{
    try {
        f();
    } catch (const char* message) {
        return message;
    }
    return "";
}

std::uint64_t bits(double x);
// Distance in units in the last place; 0 for equal values (+0 and -0 too).
std::int64_t ulps(double a, double b);

// The value's elements as doubles, column-major (double storage only).
double at(const Mm& x, int k);

// All elements of a double value (a sparse one in its full form), and the
// extents up to its number of dimensions.
// Both check x's header against its storage first (a test failure names
// the fault).
std::vector<double> values(const Mm& x);
std::vector<int> extents(const Mm& x);

// A real sparse rows x cols value storing values[k] at the 0-based
// position at[k] (ascending): the way to a value too large for a full form.
Mm sparse_at(int rows, int cols, const std::vector<int>& at, const std::vector<double>& values);

// 1, 2, ..., n shaped to the given extents.
Mm counting(std::vector<int> dims);

// A rows x cols cell of the given elements, column-major; a row of them.
Mm cell_of(int rows, int cols, std::vector<Mm> items);
Mm cell_row(std::vector<Mm> items);

// The characters of a text value (its rows joined by newlines).
std::string text_of(const Mm& x);

// Runs round(thread, k) for k = 0 .. rounds-1 on each of `threads` threads
// at once, in multi-thread mode (left again at the end); for each thread,
// the number of its rounds that answered false.
std::vector<int> wrong_rounds_on_threads(int threads, int rounds, const std::function<bool(int thread, int k)>& round);

} // namespace test

// The statement must raise exactly this error text.
#define EXPECT_ERROR(statement, text) EXPECT_EQ(::test::error_of([&] { statement; }), std::string(text))
#define EXPECT_BITS_EQ(a, b) EXPECT_EQ(::test::bits(a), ::test::bits(b)) << (a) << " vs " << (b)
#define EXPECT_ULPS(a, b, n) EXPECT_LE(::test::ulps(a, b), (n)) << (a) << " vs " << (b)
