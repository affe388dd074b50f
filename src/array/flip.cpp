// Flips, quarter-turn rotation and replication: the flips and rot90 read
// their operand through reversed ranges, repmat copies whole blocks.
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace {

// The element-type gate of the shape functions: type 0 is reported, types
// other than double, uint8 and cell give the empty value.
bool shape_operand(const Mm& a, Mm& result)
{
    switch (a.gettype()) {
    case qv_none:
        a.warn_uninit();
        result = nop_M;
        return false;
    case qv_double:
    case qv_uint8:
    case qv_cell:
        return true;
    default:
        result = nop_M;
        return false;
    }
}

// A scalar argument (dim, k): its first element through the checked
// accessor, which rejects other element types and empty values.
int scalar_count(const Mm& k)
{
    return saturate_to_int(k.issparse() ? full(k).r() : k.r());
}

Mm reversed(int n) { return colon(double(n), -1.0, 1.0); }

// A sparse value flipped from its stored entries: the reversed range a
// full value is read through is as long as the flipped extent (2^31 - 1
// doubles for the longest sparse row). Stored zeros are dropped, as a read
// through an index drops them; an empty value goes the general road, whose
// empty selections are 0x0.
Mm flip_sparse(const Mm& a, bool up_down, bool left_right)
{
    const int m = a.rows(), n = a.cols(), count = a.getnnz();
    Mm out(a.isc(), 1, count, m, n, qv_double);
    if (!out.issparse() || out.getp() < count)
        return x_M;  // "Out of memory!" went to a hook that returned
    const int* at = a.getindex();
    const double* re = a.addr();
    const double* im = a.addi();
    int* oat = out.getindex();
    double* ore = out.addr();
    double* oim = out.addi();
    for (int k = 0; k < count; ++k) {
        const int r = at[k] % m, c = at[k] / m;
        oat[k] = static_cast<int>((up_down ? m - 1 - r : r) + std::int64_t{m} * (left_right ? n - 1 - c : c));
        ore[k] = re[k];
        if (oim)
            oim[k] = im[k];
    }
    out.getnnz() = count;
    out.sort();
    out.resparse();
    out.setlogical(a.islogical());
    return out;
}

// ---- repmat ----

template <class T>
void replicate(T* out, const T* in, const int d[4], const int e[4], std::int64_t numel)
{
    if (numel == 1) {
        std::fill_n(out, std::int64_t{e[0]} * e[1] * e[2] * e[3], in[0]);
        return;
    }
    // Result storage grows dimension by dimension: each page of the first
    // two dimensions is built from whole columns and then repeated, and each
    // finished block is repeated along the next dimension.
    const std::int64_t col = e[0];                      // one result column
    const std::int64_t page = col * e[1];               // one result page
    const std::int64_t volume = page * e[2];            // pages of the third dimension
    const std::int64_t src_col = d[0], src_page = src_col * d[1], src_volume = src_page * d[2];
    for (int s3 = 0; s3 < d[3]; ++s3) {
        T* vol = out + volume * s3;
        for (int s2 = 0; s2 < d[2]; ++s2) {
            T* pg = vol + page * s2;
            for (int s1 = 0; s1 < d[1]; ++s1) {
                const T* src = in + src_volume * s3 + src_page * s2 + src_col * s1;
                T* dst = pg + col * s1;
                for (std::int64_t r = 0; r < col; r += src_col)
                    std::copy_n(src, src_col, dst + r);
            }
            const std::int64_t filled = col * d[1];
            for (std::int64_t r = filled; r < page; r += filled)
                std::copy_n(pg, filled, pg + r);
        }
        const std::int64_t filled = page * d[2];
        for (std::int64_t r = filled; r < volume; r += filled)
            std::copy_n(vol, filled, vol + r);
    }
    const std::int64_t filled = volume * d[3];
    const std::int64_t total = volume * e[3];
    for (std::int64_t r = filled; r < total; r += filled)
        std::copy_n(out, filled, out + r);
}

// The replication counts of v: up to four, each rounded (non-positive and
// NaN give 0); missing ones are 1. Returns how many v gave.
int replication_counts(const Mm& v, int counts[4])
{
    std::fill_n(counts, 4, 1);
    if (error_numeric(v, "repmat"))
        return -1;
    // A count is a whole number: 2+i was read as 2, without a word.
    if (iscomplex(v)) {
        error("repmat: the counts must be real");
        return -1;
    }
    const int c = std::min(4, std::max(0, v.size()));
    for (int k = 0; k < c; ++k)
        counts[k] = round_to_count(number_at(v, k));
    return c;
}

Mm replicate_value(const Mm& a, int c, const int counts[4])
{
    Mm result;
    if (!shape_operand(a, result))
        return result;
    if (std::all_of(counts, counts + 4, [](int r) { return r == 1; }))
        return a;  // shares a's storage, sparse or not
    const Mm b = full(a);
    int d[4], e[4];
    std::int64_t total = 1;
    for (int m = 0; m < 4; ++m) {
        d[m] = m < b.getndims() ? b.getdims()[m] : 1;
        const std::int64_t extent = std::int64_t{counts[m]} * d[m];
        if (extent > INT_MAX) {
            error("Out of memory!");
            return x_M;
        }
        e[m] = static_cast<int>(extent);
        // Held at "too many" once past an int: four extents would overflow.
        total = total > INT_MAX && extent > 0 ? total : total * extent;
    }
    const bool complex = b.isc() && b.gettype() != qv_cell;
    Mm out(complex, 0, 0, std::max(c, b.getndims()), e, static_cast<qv_matrix_types>(b.gettype()));
    if (out.size() != total)
        return x_M;  // "Out of memory!" went to a hook that returned
    for (int k = 0; k < b.getnfields(); ++k)
        out.addfield(b.getfields()[k], 1);
    out.setlogical(b.islogical());
    out.setstr(b.isstr());
    const std::int64_t numel = b.size();
    if (numel == 0 || total == 0)
        return out;
    auto run = [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        replicate(out.getpr((T*)nullptr), b.getpr((T*)nullptr), d, e, numel);
        if constexpr (!std::is_same_v<T, Mm>)
            if (complex)
                replicate(out.getpi((T*)nullptr), b.getpi((T*)nullptr), d, e, numel);
    };
    switch (b.gettype()) {
    case qv_double:
        run(static_cast<double*>(nullptr));
        break;
    case qv_uint8:
        run(static_cast<unsigned char*>(nullptr));
        break;
    default:
        run(static_cast<Mm*>(nullptr));
        break;
    }
    return out;
}

} // namespace

Mm fliplr(const Mm& a)
{
    Mm result;
    if (!shape_operand(a, result))
        return result;
    if (error_2d(a, "fliplr"))
        return x_M;
    if (a.issparse() && a.size() > 0)
        return flip_sparse(a, false, true);
    return Mm(a(c_p, reversed(a.cols())));
}

Mm flipud(const Mm& a)
{
    Mm result;
    if (!shape_operand(a, result))
        return result;
    if (error_2d(a, "flipud"))
        return x_M;
    if (a.issparse() && a.size() > 0)
        return flip_sparse(a, true, false);
    return Mm(a(reversed(a.rows()), c_p));
}

Mm flipdim(const Mm& a, const Mm& dim) { return scalar_count(dim) == 1 ? flipud(a) : fliplr(a); }

Mm rot90(const Mm& a) { return rot90(a, one_M); }

Mm rot90(const Mm& a, const Mm& k)
{
    Mm result;
    if (!shape_operand(a, result))
        return result;
    if (error_2d(a, "rot90"))
        return x_M;
    // The quarter turns modulo 4, taken in double: fmod is exact, so 2^32
    // and 1e300 (multiples of 4) turn nothing, where a count squeezed into
    // an int would turn three times.
    const double turns = k.issparse() ? full(k).r() : k.r();
    if (!std::isfinite(turns)) {
        error("rot90: k must be a finite number of quarter turns");
        return x_M;
    }
    int r = static_cast<int>(std::fmod(std::trunc(turns), 4.0));
    if (r < 0)
        r += 4;
    const int m = a.rows(), n = a.cols();
    if (a.issparse() && a.size() > 0) {
        switch (r) {
        case 1:
            return flip_sparse(dot_transpose(a), true, false);
        case 2:
            return flip_sparse(a, true, true);
        case 3:
            return dot_transpose(flip_sparse(a, true, false));
        default:
            return a;
        }
    }
    switch (r) {
    case 1:
        return Mm(dot_transpose(a)(reversed(n), c_p));
    case 2:
        return Mm(a(reversed(m), reversed(n)));
    case 3:
        return dot_transpose(Mm(a(reversed(m), c_p)));
    default:
        return a;
    }
}

Mm repmat(const Mm& a, const Mm& v)
{
    int counts[4];
    const int c = replication_counts(v, counts);
    if (c < 0)
        return x_M;
    return replicate_value(a, c, counts);
}

Mm repmat(const Mm& a, const Mm& m, const Mm& n)
{
    // The counts of m followed by those of n, as one list.
    int first[4], second[4];
    const int cm = replication_counts(m, first);
    const int cn = replication_counts(n, second);
    if (cm < 0 || cn < 0)
        return x_M;
    int counts[4] = {1, 1, 1, 1};
    int c = 0;
    for (int k = 0; k < cm && c < 4; ++k)
        counts[c++] = first[k];
    for (int k = 0; k < cn && c < 4; ++k)
        counts[c++] = second[k];
    return replicate_value(a, c, counts);
}
