// Internal side of the sparse storage views: the column-start builder that
// the sparse kernels share, and an owner for a compressed-column pair.
#pragma once

#include "velkor/array.h"

#include <cstdint>

// A new Jc array (cols + 2 ints, standard heap) for a stored list of 0-based
// linear positions; bounds receives the smallest and largest row and column
// of the stored entries (2147483647, -1, 2147483647, -1 when there are none).
int* build_jc(int cols, int numel, int nnz, const int* index, int bounds[4]);

// The test every count of non-zeros uses: a part that is not 0 (NaN is
// not) makes the element non-zero; -0 is zero.
inline bool nonzero(const double* re, const double* im, std::int64_t k)
{
    return re[k] != 0 || (im && im[k] != 0);
}

// A sparse value is made full only below this many elements: past it the
// full form is refused, not tried (46340^2 doubles are 17 GB).
inline constexpr std::int64_t full_form_limit = 100000000;

// Raises "full: matrix too large" for a full form of count elements past
// that limit; returns whether it did.
bool refuse_full_form(std::int64_t count);

// Raises the error for a sparse value of rows x cols elements, more than
// its int positions can address.
void report_sparse_too_large(double rows, double cols);

// Elements (full) or stored entries (sparse) that are not zero; NaN counts.
int count_nonzeros(const Mm& a);

// A sparse a as it is; keep_all: every element of a stored, zeros too, at
// positions 0, 1, 2, ...; otherwise sparse(a).
Mm sparse_of(const Mm& a, int keep_all);

// A sparse s without its stored zeros (left by spalloc, keep-all
// conversions, assigned zeros or cancelled sums): s itself when it holds
// none. Kernels that multiply take this form, so that a stored zero times
// Inf or NaN is 0, as an unstored one is.
Mm without_stored_zeros(const Mm& s);

// When exactly one of a and b is sparse, the other becomes sparse too;
// returns whether it did.
int match_sparsity(Mm& a, Mm& b);

// Holds the Ir and Jc arrays of one sparse value and releases them.
class ir_jc_view {
public:
    explicit ir_jc_view(const Mm& s) : ir_(getIr(s))
    {
        try {
            jc_ = getJc(s);
        } catch (...) {
            freeIrJc(ir_, nullptr);
            throw;
        }
    }
    ~ir_jc_view() { freeIrJc(ir_, jc_); }
    ir_jc_view(const ir_jc_view&) = delete;
    ir_jc_view& operator=(const ir_jc_view&) = delete;

    const int* ir() const { return ir_; }
    const int* jc() const { return jc_; }
    bool valid() const { return ir_ && jc_; }

private:
    int* ir_ = nullptr;
    int* jc_ = nullptr;
};
