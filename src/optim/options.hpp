// Internal helpers of the options vector and structure shared by the
// solvers: the structure-to-vector conversion and the name lookup.
#pragma once

#include "velkor/value.h"

// foptions() with every named position whose field in opts holds exactly one
// element set to that element (a one-character text gives its code).
Mm options_from_struct(const Mm& opts);

// The 1-based position of name's text (its first row, at most 63
// characters) in table, compared with A-Z folded; 0 when absent.
int option_index(const Mm& name, const char* const* table, int count);

// Integer setting read from a double: truncated toward zero and saturated,
// NaN as 0.
int option_int(double v) noexcept;

// Element k (1-based) of an options vector, or NaN when it has fewer.
double option_at(const Mm& options, int k);

// A solver's options read as an options vector whichever form the caller
// used: a structure is converted by its field names, a numeric vector is
// taken as it is (as a full double vector), an empty value stays empty (for
// a solver whose own form is the structure: foptions(), as the structure
// conversion gives). Any other value raises "<who>: options must be an
// options vector or a structure" and gives false.
bool options_vector(const Mm& options, const char* who, bool native_struct, Mm& out);
