// fft2 and ifft2, two passes of the column transform with a transpose
// between them, and the quadrant swaps fftshift and ifftshift.
#include "signal/storage.hpp"
#include "array/constructors.hpp"
#include "engine/scalar_real.hpp"
#include "signal/fft_internal.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/index.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <cstdint>
#include <cstring>

namespace {

Mm two_pass_page(const Mm& x, int m, int n, int dir)
{
    Mm a = fft_core(x, dir, m, false);
    a = dot_transpose(a);
    a = fft_core(a, dir, n, false);
    return dot_transpose(a);
}

// Page p (0-based) of a double value as a rows x cols matrix.
Mm page_of(const Mm& x, std::int64_t p)
{
    const int rows = x.rows(), cols = x.cols();
    const std::int64_t count = std::int64_t(rows) * cols;
    Mm page = shaped(x.isc(), rows, cols);
    std::memcpy(page.addr(), x.addr() + p * count, sizeof(double) * count);
    if (x.isc())
        std::memcpy(page.addi(), x.addi() + p * count, sizeof(double) * count);
    return page;
}

Mm two_pass(const Mm& x0, const Mm& mm, const Mm& nn, int dir)
{
    const int m = fft_length_argument(mm), n = fft_length_argument(nn);
    if (m == -2 || n == -2)
        return x_M;
    const Mm x = mdouble(x0);
    if (x.getndims() <= 2)
        return two_pass_page(x, m, n, dir);
    // Pages one by one, the result keeping the trailing extents.
    int dims[4];
    for (int d = 0; d < 4; ++d)
        dims[d] = d < x.getndims() ? x.getdims()[d] : 1;
    const std::int64_t pages = std::int64_t(dims[2]) * dims[3];
    dims[0] = m >= 0 ? m : dims[0];
    dims[1] = n >= 0 ? n : dims[1];
    if (x.rows() == 0 || x.cols() == 0 || dims[0] == 0 || dims[1] == 0 || pages == 0)
        return Mm(1, 0, 0, x.getndims(), dims, qv_double);
    Mm y = shaped(1, x.getndims(), dims);
    const std::int64_t count = std::int64_t(dims[0]) * dims[1];
    for (std::int64_t p = 0; p < pages; ++p) {
        const Mm t = two_pass_page(page_of(x, p), m, n, dir);
        std::memcpy(y.addr() + p * count, t.addr(), sizeof(double) * count);
        std::memcpy(y.addi() + p * count, t.addi(), sizeof(double) * count);
    }
    return y;
}

// Row positions (1-based) that rotate k places: (j + k) mod n + 1.
Mm rotated_positions(int n, int k)
{
    Mm v = shaped(0, 1, n);
    for (int j = 0; j < n; ++j)
        v.addr()[j] = double((j + k) % n + 1);
    return v;
}

// The quadrant swap: the block matrix [Q22 Q21; Q12 Q11] of the halves
// split after `first` rows and columns, which is a rotation of each.
Mm quadrant_swap(const Mm& x, bool round_up)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return x_M;
    }
    const int r = x.rows(), c = x.cols();
    if (r == 0 || c == 0)
        return x;
    const int kr = round_up ? (r + 1) / 2 : r / 2;
    const int kc = round_up ? (c + 1) / 2 : c / 2;
    const Mm rows = rotated_positions(r, kr), cols = rotated_positions(c, kc);
    if (x.getndims() <= 2)
        return Mm(x(rows, cols));
    Mm y(x(rows, cols, c_p));
    y.reshape(x.getndims(), x.getdims());
    return y;
}

} // namespace

Mm fft2(const Mm& x) { return isvector(x) ? fft(x) : two_pass(x, nop_M, nop_M, -1); }
Mm fft2(const Mm& x, const Mm& m) { return two_pass(x, m, nop_M, -1); }
Mm fft2(const Mm& x, const Mm& m, const Mm& n) { return two_pass(x, m, n, -1); }
Mm ifft2(const Mm& x) { return isvector(x) ? ifft(x) : two_pass(x, nop_M, nop_M, +1); }
Mm ifft2(const Mm& x, const Mm& m) { return two_pass(x, m, nop_M, +1); }
Mm ifft2(const Mm& x, const Mm& m, const Mm& n) { return two_pass(x, m, n, +1); }

Mm fftshift(const Mm& x) { return quadrant_swap(x, true); }
Mm ifftshift(const Mm& x) { return quadrant_swap(x, false); }
