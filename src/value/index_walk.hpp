// The index walk shared by reading, assignment and deletion: every index is
// decoded once into a descriptor; the walk enumerates the selected positions
// in column-major order and turns them into element offsets of the base.
#pragma once

#include "engine/scalar_real.hpp"
#include "value/globals.hpp"
#include "value/scratch.hpp"
#include "velkor/value.h"

#include <cstdint>

// Two rules, kept apart on purpose. The position an index value selects is
// trunc(v - 1), saturating (NaN selects -1, reported as "Index value was
// 0"); bounds and growth use the value rounded half away from zero. Every
// value past 2^31 - 1 selects INT_MAX, a position beyond every value (a
// sparse extent reaches 2^31 - 1, whose last position is INT_MAX - 1):
// clamped any lower it would name that last element. Messages show it
// through shown_index, which keeps position + 1 an int.
inline int index_position(double v) noexcept
{
    if (!(v == v))
        return -1;
    const double t = v - 1;
    if (t >= 2147483647.0)
        return 2147483647;
    if (t <= -2147483647.0)
        return -2147483647;
    return static_cast<int>(t);
}

inline int index_extent(double v) noexcept { return round_to_int(v); }

// The 1-based index a message shows for a position, held at INT_MAX.
inline int shown_index(int p) noexcept { return p < 2147483647 ? p + 1 : 2147483647; }

// The colon is c_p itself, known by its name pointer; a copy is an ordinary
// empty index.
inline bool is_colon_index(const Mm& i) noexcept { return c_p_name && i.getname() == c_p_name; }

// Whether an element of a logical index selects its position: NaN does not.
inline bool is_selected(double v) noexcept { return v < 0 || v > 0; }

// Number of positions a logical value selects: its stored count when
// sparse, else its elements that are neither zero nor NaN.
int count_true(const Mm& x);

// The walk's index errors, raised once here for every caller: the index and
// base are named in the message, value is the 1-based position, limit the
// element count or extent it exceeded.
enum class index_fault { not_positive, beyond_matrix, beyond_vector, beyond_dimension };
void report_index_fault(index_fault f, const Mm& index, const Mm& base, int value, int limit);

struct index_desc {
    // run: a whole-number range whose elements were never written, taken as
    // the positions first, first + 1, ... it stands for, so that 1:end on a
    // line of 2^31 - 1 elements is neither written out nor listed.
    enum kind_t { colon, numeric, mask, sparse_numeric, sparse_mask, run };
    kind_t kind;
    int first;            // the first position of a colon (0) or a run
    const Mm* value;      // the index value, for messages and shapes
    const double* v;      // numeric values, mask elements or stored values
    const int* stored;    // stored linear positions of a sparse index
    int n;                // elements of a full index, stored entries of a sparse one
    int count;            // positions selected
};

// Decodes one index; colon_extent is what a colon selects there.
index_desc decode_index(const Mm& i, int colon_extent);

// Calls f(q, p) for each position the index selects, in order.
template <class F>
void for_each_position(const index_desc& d, F&& f)
{
    switch (d.kind) {
    case index_desc::colon:
    case index_desc::run:
        for (int q = 0; q < d.count; ++q)
            f(q, d.first + q);
        break;
    case index_desc::numeric:
    case index_desc::sparse_numeric:
        for (int q = 0; q < d.count; ++q)
            f(q, index_position(d.v[q]));
        break;
    case index_desc::sparse_mask:
        for (int q = 0; q < d.count; ++q)
            f(q, d.stored[q]);
        break;
    case index_desc::mask:
        for (int p = 0, q = 0; p < d.n; ++p)
            if (is_selected(d.v[p]))
                f(q++, p);
        break;
    }
}

// Whether the index selects the consecutive positions first .. first +
// count - 1 in order (a colon or a run): its positions are known without
// a walk.
inline bool is_consecutive(const index_desc& d) noexcept
{
    return d.kind == index_desc::colon || d.kind == index_desc::run;
}

// Whether every position the index selects lies in 0 .. extent - 1.
bool positions_within(const index_desc& d, int extent);

// The walk over the combinations of up to four indices of a base value.
class index_walk {
public:
    // Decodes the indices and their counts. A sparse numeric index that holds
    // zeros counts its stored entries only; report says whether that is
    // reported ("Sparse index %s out of matrix %s. Index value was 0.").
    index_walk(const Mm& base, int nidx, const Mm* const* indices, bool report);

    // The product of the counts (1 for no index).
    std::int64_t index_counts() const noexcept { return total_; }
    int count(int k) const noexcept { return counts_[k]; }
    int desc_count() const noexcept { return nidx_; }
    const index_desc& desc(int k) const noexcept { return d_[k]; }

    // Back to the start; the first step then yields the first combination.
    void index_walk_start() noexcept;
    // Steps to the next combination and returns its 0-based offset into the
    // base, or -1 after an index error (raised when report is set). In grow
    // mode positions beyond the extents are recorded as maxima instead.
    std::int64_t next_index_offset(bool grow, bool report);
    // The same for the combination of the given positions (one per index),
    // reached without stepping: what the walk gives when it meets them.
    std::int64_t offset_of(const int* positions, bool grow, bool report);

    int position(int k) const noexcept { return p_[k]; }
    int maximum(int k) const noexcept { return max_[k]; }

    // Takes the base's current extents, after it grew.
    void rebase() noexcept;

private:
    void fail(int l, bool report, index_fault f) const;

    const Mm& base_;
    int nidx_;
    index_desc d_[4];
    scratch<int> positions_[4];  // decoded once; a colon and a run have none
    int counts_[4];
    int c_[4], p_[4], max_[4];
    int dims_[4];
    int numel_;
    bool vector_;
    std::int64_t total_;
};
