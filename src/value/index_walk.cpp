// The index walk: decoding of index values, the per-index counts and the
// step from one selected combination of positions to the next.
#include "value/index_walk.hpp"
#include "value/mm_access.hpp"
#include "value/report.hpp"
#include "velkor/report.h"

int count_true(const Mm& x)
{
    if (x.issparse())
        return x.getnnz();
    const int n = x.size();
    int c = 0;
    if (x.gettype() == qv_double) {
        const double* v = x.addr();
        for (int k = 0; k < n; ++k)
            c += is_selected(v[k]);
    } else if (x.gettype() == qv_uint8) {
        const unsigned char* v = x.getpr((unsigned char*)nullptr);
        for (int k = 0; k < n; ++k)
            c += v[k] != 0;
    }
    return c;
}

index_desc decode_index(const Mm& i, int colon_extent)
{
    index_desc d{};
    d.value = &i;
    if (is_colon_index(i)) {
        d.kind = index_desc::colon;
        d.count = d.n = colon_extent;
        return d;
    }
    // Read before anything settles the range's elements.
    double start = 0;
    if (!i.issparse() && !i.islogical() && mm_access::unwritten_whole_range(i, start) && start >= 1 &&
        start - 1 + i.size() <= 2147483647.0) {
        d.kind = index_desc::run;
        d.first = index_position(start);
        d.count = d.n = i.size();
        return d;
    }
    d.v = i.addr();
    if (i.issparse()) {
        d.n = d.count = i.getnnz();
        d.stored = i.getindex();
        d.kind = i.islogical() ? index_desc::sparse_mask : index_desc::sparse_numeric;
        return d;
    }
    d.n = i.size();
    if (i.islogical()) {
        d.kind = index_desc::mask;
        d.count = count_true(i);
    } else {
        d.kind = index_desc::numeric;
        d.count = d.n;
    }
    return d;
}

bool positions_within(const index_desc& d, int extent)
{
    if (is_consecutive(d))
        return d.count == 0 || (d.first >= 0 && std::int64_t{d.first} + d.count <= extent);
    bool in = true;
    for_each_position(d, [&](int, int p) { in = in && p >= 0 && p < extent; });
    return in;
}

index_walk::index_walk(const Mm& base, int nidx, const Mm* const* indices, bool report)
    : base_(base), nidx_(nidx)
{
    rebase();
    total_ = 1;
    for (int k = 0; k < 4; ++k) {
        counts_[k] = 1;
        c_[k] = p_[k] = max_[k] = 0;
    }
    for (int k = 0; k < nidx_; ++k) {
        const Mm& i = *indices[k];
        d_[k] = decode_index(i, nidx_ == 1 ? numel_ : dims_[k]);
        if (d_[k].kind == index_desc::sparse_numeric && d_[k].n != i.size() && report)
            error("Sparse index %s out of matrix %s. Index value was 0.", matrix_display_name(i),
                  matrix_display_name(base_));
        counts_[k] = d_[k].count;
        total_ *= counts_[k];
        if (!is_consecutive(d_[k]) && counts_[k] > 0) {
            positions_[k].reset(counts_[k]);
            int* list = positions_[k].get();
            for_each_position(d_[k], [list](int q, int p) { list[q] = p; });
        }
    }
}

void index_walk::rebase() noexcept
{
    int above_one = 0;
    for (int k = 0; k < 4; ++k) {
        dims_[k] = base_.getdims()[k];
        if (k < base_.getndims() && dims_[k] > 1)
            ++above_one;
    }
    numel_ = base_.size();
    vector_ = above_one < 2;
}

void index_walk::index_walk_start() noexcept
{
    for (int k = 0; k < 4; ++k)
        c_[k] = p_[k] = counts_[k] - 1;
}

void report_index_fault(index_fault f, const Mm& index, const Mm& base, int value, int limit)
{
    const char* i = matrix_display_name(index);
    const char* b = matrix_display_name(base);
    switch (f) {
    case index_fault::not_positive:
        error("index %s out of matrix %s. Index value was %d which is not positive.", i, b, value);
        break;
    case index_fault::beyond_matrix:
        error("Index %s out of matrix %s. Index value was %d however the indexed matrix has only %d elements.", i, b,
              value, limit);
        break;
    case index_fault::beyond_vector:
        error("Index %s out of vector %s. Index value was %d however the indexed vector has only %d elements.", i, b,
              value, limit);
        break;
    case index_fault::beyond_dimension:
        error("Index %s out of matrix %s. Index value was %d however the indexed matrix has %d elements in this "
              "dimension.",
              i, b, value, limit);
        break;
    }
}

void index_walk::fail(int l, bool report, index_fault f) const
{
    if (report)
        report_index_fault(f, *d_[l].value, base_, shown_index(p_[l]), f == index_fault::beyond_dimension ? dims_[l] : numel_);
}

std::int64_t index_walk::next_index_offset(bool grow, bool report)
{
    // The first index runs fastest: an index steps on only when every index
    // before it wrapped round.
    bool carry = true;
    for (int k = 0; k < nidx_ && carry; ++k) {
        ++c_[k];
        carry = c_[k] >= counts_[k];
        if (carry)
            c_[k] = 0;
        const int* list = positions_[k].get();
        p_[k] = list ? list[c_[k]] : d_[k].first + c_[k];
    }
    return offset_of(p_, grow, report);
}

std::int64_t index_walk::offset_of(const int* positions, bool grow, bool report)
{
    if (positions != p_)
        for (int k = 0; k < nidx_; ++k)
            p_[k] = positions[k];
    if (nidx_ == 1) {
        const int p = p_[0];
        if (p < 0) {
            fail(0, report, index_fault::not_positive);
            return -1;
        }
        if (!vector_ && p >= numel_) {
            fail(0, report, index_fault::beyond_matrix);
            return -1;
        }
        if (grow) {
            if (p > max_[0])
                max_[0] = p;
        } else if (p >= numel_) {
            fail(0, report, index_fault::beyond_vector);
            return -1;
        }
        return p;
    }
    std::int64_t offset = 0;
    for (int l = nidx_ - 1; l >= 0; --l) {
        const int p = p_[l];
        if (p < 0) {
            fail(l, report, index_fault::not_positive);
            return -1;
        }
        if (grow) {
            if (p > max_[l])
                max_[l] = p;
        } else if (p >= dims_[l]) {
            fail(l, report, index_fault::beyond_dimension);
            return -1;
        }
        offset = offset * dims_[l] + p;
    }
    return offset;
}
