// Texts for the engine's dialogs: a value converted whole into a bounded
// buffer, or the empty text with a warning when it does not fit, so that a
// dialog never shows half a word and nothing writes past its buffer.
#pragma once

#include "velkor/value.h"

#include <string>

// The text of x (rows joined by newlines) when it fits in size bytes with
// its terminator; otherwise "" and the warning "Mstr: buffer too small -
// chopped".
std::string bounded_text(const Mm& x, int size);

// Row r (1-based) of a character matrix, taken whole.
std::string matrix_row(const Mm& m, int r);
