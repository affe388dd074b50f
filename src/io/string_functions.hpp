// Internal helpers of the string functions shared with other subsystems.
#pragma once

class Mm;

// Whether a and b are equal texts by the rule of strcmp: same shape and
// codes, or both empty. A value that is not text (a cell included) equals
// nothing.
bool text_equals(const Mm& a, const Mm& b);
