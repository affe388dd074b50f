// Internal helpers of the string functions shared with other subsystems.
#pragma once

class Mm;

// Whether a and b are both text and equal: same shape and codes; two empty
// texts are equal. A value that is not text equals nothing.
bool text_equals(const Mm& a, const Mm& b);
