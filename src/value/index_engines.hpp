// Internal entry points of the indexed-assignment and deletion engines.
// Each returns false when it refused the assignment (its error went to a
// hook that returned): the target is then exactly as it was. The source
// and index arguments are the caller's values, shown by name in messages;
// the engines take their own copies before they write.
#pragma once

#include "velkor/value.h"

#include <climits>
#include <cstdint>

bool assign_one(Mm& x, const Mm& y, const Mm& i);
bool assign_two(Mm& x, const Mm& y, const Mm& i, const Mm& j);
bool assign_general(Mm& x, const Mr& r, const Mm& y);
// x(...) = y where x or y is a struct: the field lists are matched (one
// trailing field of y is added to x) before the store, as in x(...) = y
// written through a reference.
bool assign_paren_with_fields(Mm& x, const Mr& r, const Mm& y);

// x(i) = [] and x(i, j) = [] on a plain 2-D target; i and j are private
// copies (j's logical entries already turned into positions).
bool delete_one(Mm& x, const Mm& i, bool colon);
bool delete_two(Mm& x, const Mm& i, const Mm& j, bool colon_i, bool colon_j);
bool delete_general(Mm& x, const Mr& r);

// A rebuilt target keeps its text and logical marks and its element type;
// its scalar-variable mark follows the new content (Mm::operator=).
inline void restore_flags(Mm& x, const M_types& saved) noexcept
{
    M_types& f = x.getflags();
    f.str = saved.str;
    f.logical = saved.logical;
    f.type = saved.type;
}

// Whether a newly built value holds the count it was asked for: under an
// error hook that returns, a failed allocation leaves it empty.
inline bool holds(const Mm& x, std::int64_t count) noexcept { return x.size() == count; }

// Largest element count a value can hold.
inline constexpr std::int64_t max_element_count = INT_MAX - 8;
