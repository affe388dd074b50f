// The column-sorting engines and the row order that other library
// functions call directly.
#pragma once

class Mm;

// Every column of a real array sorted ascending, NaN last.
void sort_engine(const Mm& a, Mm& sorted);
// With 1-based positions within each column; ties keep their input order,
// complex values go by magnitude, then angle. a becomes its full form.
Mm sort_engine(Mm& a, Mm& sorted, Mm& index);
// The rows of keys, a full double value seen as rows x columns (trailing
// dimensions folded into columns), as 0-based row numbers in the order of
// sortrows: by the first column, ties by the next, each column ordered as
// the index sort orders it (NaN last; complex values by magnitude, then
// angle); rows equal in every column keep their input order. order has
// room for the rows; keys without elements leave them in input order.
void sort_rows_order(const Mm& keys, int rows, int* order);
