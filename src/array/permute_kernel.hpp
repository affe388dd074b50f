// Element movers shared by transposes, permute and the working-dimension
// mover: cache-tiled 2-D transposes and a strided N-d permutation, one
// template over the element type (double, byte, or shared Mm elements).
#pragma once

#include <algorithm>
#include <cstdint>

namespace permute_detail {

inline constexpr int tile = 64;

} // namespace permute_detail

// out[c + cols * r] = in[r + rows * c]: a rows x cols column-major block
// written as its cols x rows transpose, tile by tile so both sides stay in
// cache.
template <class T>
void transpose_block(T* out, const T* in, std::int64_t rows, std::int64_t cols)
{
    using permute_detail::tile;
    for (std::int64_t c0 = 0; c0 < cols; c0 += tile) {
        const std::int64_t c1 = std::min(cols, c0 + tile);
        for (std::int64_t r0 = 0; r0 < rows; r0 += tile) {
            const std::int64_t r1 = std::min(rows, r0 + tile);
            for (std::int64_t c = c0; c < c1; ++c) {
                const T* src = in + rows * c;
                T* dst = out + c;
                for (std::int64_t r = r0; r < r1; ++r)
                    dst[cols * r] = src[r];
            }
        }
    }
}

// out = x permuted: extent m of the result is dims[order[m]] (order holds
// 0-based dimensions, a permutation of 0..3; dims are padded with 1). The
// source is walked by runs along its first dimension when that stays
// first, otherwise by tiles of the two dimensions that trade places at the
// front, so no side is read or written with long strides outside a tile.
template <class T>
void permute_copy(T* out, const T* in, const int dims[4], const int order[4])
{
    std::int64_t in_stride[4], out_stride_of[4];
    std::int64_t s = 1;
    for (int d = 0; d < 4; ++d) {
        in_stride[d] = s;
        s *= dims[d];
    }
    s = 1;
    for (int m = 0; m < 4; ++m) {
        out_stride_of[order[m]] = s;  // source dimension order[m] lands in result dimension m
        s *= dims[order[m]];
    }
    if (s == 0)
        return;

    const int front = order[0];  // the source dimension that becomes the result's first
    // The dimensions walked by counters: every one but 0 and front.
    int rest[3], nrest = 0;
    for (int d = 1; d < 4; ++d)
        if (d != front)
            rest[nrest++] = d;
    for (int k = nrest; k < 3; ++k)
        rest[k] = -1;
    auto extent = [&](int d) { return d < 0 ? std::int64_t{1} : std::int64_t{dims[d]}; };
    auto in_step = [&](int d) { return d < 0 ? std::int64_t{0} : in_stride[d]; };
    auto out_step = [&](int d) { return d < 0 ? std::int64_t{0} : out_stride_of[d]; };

    const std::int64_t n0 = dims[0];
    for (std::int64_t c = 0; c < extent(rest[2]); ++c)
        for (std::int64_t b = 0; b < extent(rest[1]); ++b)
            for (std::int64_t a = 0; a < extent(rest[0]); ++a) {
                const std::int64_t ib = a * in_step(rest[0]) + b * in_step(rest[1]) + c * in_step(rest[2]);
                const std::int64_t ob = a * out_step(rest[0]) + b * out_step(rest[1]) + c * out_step(rest[2]);
                if (front == 0) {
                    std::copy_n(in + ib, n0, out + ob);
                    continue;
                }
                // Source dimensions 0 and front trade places: a strided
                // transpose of n0 x nf elements, tile by tile.
                const std::int64_t nf = dims[front], in_f = in_stride[front], out_0 = out_stride_of[0];
                using permute_detail::tile;
                for (std::int64_t f0 = 0; f0 < nf; f0 += tile) {
                    const std::int64_t f1 = std::min(nf, f0 + tile);
                    for (std::int64_t r0 = 0; r0 < n0; r0 += tile) {
                        const std::int64_t r1 = std::min(n0, r0 + tile);
                        for (std::int64_t f = f0; f < f1; ++f) {
                            const T* src = in + ib + in_f * f;
                            T* dst = out + ob + f;
                            for (std::int64_t r = r0; r < r1; ++r)
                                dst[out_0 * r] = src[r];
                        }
                    }
                }
            }
}
