// The column-sorting engines that other library functions call directly.
#pragma once

class Mm;

// Every column of a real array sorted ascending, NaN last.
void sort_engine(const Mm& a, Mm& sorted);
// With 1-based positions within each column; ties keep their input order,
// complex values go by magnitude, then angle. a becomes its full form.
Mm sort_engine(Mm& a, Mm& sorted, Mm& index);
