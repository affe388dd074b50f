// Internal helpers of the console: comparisons of option words that fold
// only the letters A to Z, and the length of a timed pause.
#pragma once

// Compares without regard to the case of A to Z; every other byte as it
// is: 0 for equal texts, the difference of the first unequal bytes.
int ascii_stricmp(const char* a, const char* b);
// The same over at most n characters (0 for n = 0).
int ascii_strnicmp(const char* a, const char* b, int n);

// Milliseconds of a pause of the given seconds: truncated, 0 for NaN and
// negative durations, saturated at the largest int.
int pause_milliseconds(double seconds);
