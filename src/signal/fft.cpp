// fft, ifft and dft: the driver that moves the working dimension first and
// back, and the core that transforms column by column on the power-of-two
// backend or the mixed-radix kernels.
#include "signal/storage.hpp"
#include "array/constructors.hpp"
#include "array/ndim.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/lapack.hpp"
#include "signal/fft_internal.hpp"
#include "signal/fft_kernels.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool is_power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Column c of the source, n rows, into dst of length len: truncated or
// padded with zeros.
inline void load_column(const double* src, int n, int len, double* dst)
{
    const int k = std::min(n, len);
    if (src)
        std::memcpy(dst, src, sizeof(double) * k);
    else
        std::fill(dst, dst + k, 0.0);
    std::fill(dst + k, dst + len, 0.0);
}

// The power of two 2^e by which a column is brought down before it is
// transformed and its transform brought back up after: 0 unless its largest
// magnitude leaves too little headroom below the largest double for the
// sums inside the kernels (up to about n^3 times it in the chirp
// convolution), so that values near the largest double give the transform
// that is representable instead of overflowing on the way. Powers of two
// scale exactly: every other column is transformed as it stands.
int headroom_exponent(const double* re, const double* im, int count, int n)
{
    double big = 0;
    for (int j = 0; j < count; ++j) {
        big = std::fmax(big, std::fabs(re[j]));
        if (im)
            big = std::fmax(big, std::fabs(im[j]));
    }
    if (!(big > 0) || !std::isfinite(big))
        return 0;
    int bits = 0;
    while (bits < 31 && (1 << bits) < n)
        ++bits;
    const int top = 1023 - 8 - 3 * bits;
    const int e = std::ilogb(big);
    return e > top ? e - top : 0;
}

void scale_by_power(double* p, std::size_t count, int e)
{
    if (e != 0)
        for (std::size_t j = 0; j < count; ++j)
            p[j] = std::ldexp(p[j], e);
}

// Real input of power-of-two length n >= 16: one complex transform of half
// the length on the packed pairs, then the two spectra untangled with the
// twiddles of packed_real_twiddles(n).
void packed_real_column(const double* src, int r, int n, int dir, int e, double* yr, double* yi, pow2_table& table,
                        const double* twr, const double* twi)
{
    const int h = n / 2;
    for (int j = 0; j < h; ++j) {
        yr[j] = 2 * j < r ? std::ldexp(src[2 * j], -e) : 0.0;
        yi[j] = 2 * j + 1 < r ? std::ldexp(src[2 * j + 1], -e) : 0.0;
    }
    std::fill(yr + h, yr + n, 0.0);
    std::fill(yi + h, yi + n, 0.0);
    pow2_fft(yr, yi, h, -1, table);

    const double z0r = yr[0], z0i = yi[0];
    const int quarter = n / 4;
    for (int k = 1; k < quarter; ++k) {
        const double wr = twr[k], wi = twi[k];
        const int m = h - k;
        const double zkr = yr[k], zki = yi[k], zmr = yr[m], zmi = yi[m];
        const double ar = 0.5 * (zkr + zmr), ai = 0.5 * (zki - zmi);
        const double br = 0.5 * (zki + zmi), bi = -0.5 * (zkr - zmr);
        const double wbr = wr * br - wi * bi, wbi = wr * bi + wi * br;
        yr[k] = ar + wbr;
        yi[k] = ai + wbi;
        yr[m] = ar - wbr;
        yi[m] = -(ai - wbi);
    }
    yi[n / 4] = -yi[n / 4];
    yr[0] = z0r + z0i;
    yi[0] = 0;
    yr[h] = z0r - z0i;
    yi[h] = 0;
    for (int j = 1; j < h; ++j) {
        yr[h + j] = yr[h - j];
        yi[h + j] = -yi[h - j];
    }
    if (dir > 0)
        for (int j = 0; j < n; ++j)
            yi[j] = -yi[j];
}

// The half-complex output of the real kernel as n complex values; the
// inverse takes the conjugate.
void unpack_half_complex(const double* w, int n, int dir, double* yr, double* yi)
{
    const double sg = dir < 0 ? 1.0 : -1.0;
    yr[0] = w[0];
    yi[0] = 0;
    const int half = (n - 1) / 2;
    for (int k = 1; k <= half; ++k) {
        yr[k] = w[2 * k - 1];
        yi[k] = sg * w[2 * k];
    }
    if (n % 2 == 0) {
        yr[n / 2] = w[n - 1];
        yi[n / 2] = 0;
    }
    for (int k = half; k >= 1; --k) {
        yr[n - k] = yr[k];
        yi[n - k] = -yi[k];
    }
}

} // namespace

Mm fft_core(const Mm& xin, int dir, int len, bool dim_not_given)
{
    const Mm x = mdouble(xin);
    int r = x.rows();
    if (r <= 0 || x.size() <= 0)
        return nop_M;
    int m = x.size() / r;
    bool as_row = false;
    if (dim_not_given && r == 1) {
        r = m;
        m = 1;
        as_row = true;
    }
    const int n = len >= 0 ? len : r;
    if (n == 0)
        return as_row ? Mm(1, 0, 0, 1, 0, qv_double) : Mm(1, 0, 0, 0, m, qv_double);

    Mm y = shaped(1, n, m);
    if (y.size() != std::int64_t(n) * m)
        return nop_M;  // no memory, under a returning error hook
    const double* xr = x.addr();
    const double* xi = x.addi();
    double* yr = y.addr();
    double* yi = y.addi();
    const bool complex_in = xi != nullptr;
    auto column = [](const double* p, int c, int rows) { return p ? p + std::int64_t(c) * rows : nullptr; };
    std::vector<int> headroom(static_cast<std::size_t>(m));
    for (int c = 0; c < m; ++c)
        headroom[std::size_t(c)] = headroom_exponent(column(xr, c, r), column(xi, c, r), std::min(r, n), n);
    auto scale_column = [&](double* cr, double* ci, int e) {
        scale_by_power(cr, std::size_t(n), e);
        scale_by_power(ci, std::size_t(n), e);
    };

    if (is_power_of_two(n) && (complex_in || n <= 8)) {
        pow2_table table;
        pow2_fft(yr, yi, n, 0, table);
        for (int c = 0; c < m; ++c) {
            double* cr = yr + std::int64_t(c) * n;
            double* ci = yi + std::int64_t(c) * n;
            load_column(column(xr, c, r), r, n, cr);
            load_column(column(xi, c, r), r, n, ci);
            scale_column(cr, ci, -headroom[std::size_t(c)]);
            pow2_fft(cr, ci, n, dir, table);
        }
    } else if (is_power_of_two(n)) {
        pow2_table table;
        pow2_fft(yr, yi, n / 2, 0, table);
        const fft_table twiddles = packed_real_twiddles(n);
        const double* twr = twiddles->data();
        const double* twi = twr + n / 4;
        for (int c = 0; c < m; ++c)
            packed_real_column(column(xr, c, r), r, n, dir, headroom[std::size_t(c)], yr + std::int64_t(c) * n,
                               yi + std::int64_t(c) * n, table, twr, twi);
    } else if (bluestein_pays(n, !complex_in)) {
        bluestein_plan plan(n, dir);
        for (int c = 0; c < m; ++c) {
            double* cr = yr + std::int64_t(c) * n;
            double* ci = yi + std::int64_t(c) * n;
            load_column(column(xr, c, r), r, n, cr);
            load_column(column(xi, c, r), r, n, ci);
            scale_column(cr, ci, -headroom[std::size_t(c)]);
            plan.transform(cr, ci);
        }
    } else if (complex_in) {
        const fft_table table = complex_table(n);
        scratch<double> work(2 * std::size_t(n)), buffer(2 * std::size_t(n));
        double* b = buffer.get();
        for (int c = 0; c < m; ++c) {
            const double* sr = column(xr, c, r);
            const double* si = column(xi, c, r);
            const std::size_t k = std::size_t(std::min(r, n));
            for (std::size_t j = 0; j < k; ++j) {
                b[2 * j] = sr[j];
                b[2 * j + 1] = si[j];
            }
            std::fill(b + 2 * k, b + 2 * std::size_t(n), 0.0);
            scale_by_power(b, 2 * k, -headroom[std::size_t(c)]);
            complex_fft_run(n, b, work.get(), table->data(), dir);
            double* cr = yr + std::int64_t(c) * n;
            double* ci = yi + std::int64_t(c) * n;
            for (std::size_t j = 0; j < std::size_t(n); ++j) {
                cr[j] = b[2 * j];
                ci[j] = b[2 * j + 1];
            }
        }
    } else {
        const fft_table table = real_table(n);
        scratch<double> work(n), buffer(n);
        for (int c = 0; c < m; ++c) {
            load_column(column(xr, c, r), r, n, buffer.get());
            scale_by_power(buffer.get(), std::size_t(n), -headroom[std::size_t(c)]);
            real_fft_run(n, buffer.get(), work.get(), table->data());
            unpack_half_complex(buffer.get(), n, dir, yr + std::int64_t(c) * n, yi + std::int64_t(c) * n);
        }
    }
    // The power-of-two backend scales its own inverse; the rest is scaled
    // here, before a column is brought back up (where the unscaled sums of
    // an inverse may pass the largest double and its result does not).
    const bool full_pow2 = is_power_of_two(n) && (complex_in || n <= 8);
    const double inverse = dir > 0 && !full_pow2 ? 1.0 / n : 1.0;
    const int one = 1;
    for (int c = 0; c < m; ++c) {
        double* cr = yr + std::int64_t(c) * n;
        double* ci = yi + std::int64_t(c) * n;
        if (inverse != 1.0) {
            dscal_(&n, &inverse, cr, &one);
            dscal_(&n, &inverse, ci, &one);
        }
        scale_column(cr, ci, headroom[std::size_t(c)]);
    }
    if (as_row)
        y.reshape(1, n);
    return y;
}

int fft_length_argument(const Mm& n)
{
    if (n.size() <= 0)
        return -1;
    if (error_numeric(n, "fft"))
        return -2;
    const double v = number_at(n, 0);
    if (!std::isfinite(v)) {
        error("fft: n must be finite");
        return -2;
    }
    // A length is a whole number: 8+i was read as 8, without a word.
    if (imag_at(n, 0) != 0) {
        error("fft: n must be real");
        return -2;
    }
    return round_to_count(v);
}

Mm fft_along_dim(const Mm& x0, const Mm& nlen, const Mm& dim, int dir)
{
    const Mm x = mdouble(x0);
    const int len = fft_length_argument(nlen);
    if (len == -2)
        return x_M;
    const int k = parse_dim_argument("fft", x, dim);
    const bool dim_not_given = dim.size() > 0 && number_at(dim, 0) == 0;
    const int ndims = x.getndims();
    int dims[4];
    for (int d = 0; d < 4; ++d)
        dims[d] = d < ndims ? x.getdims()[d] : 1;
    const Mm moved = move_dim_first(x, ndims, dims, k);
    if (len == 0 && moved.rows() > 0) {
        if (dim_not_given && moved.rows() == 1)
            return Mm(1, 0, 0, 1, 0, qv_double);
        dims[k] = 0;
        return Mm(1, 0, 0, ndims, dims, qv_double);
    }
    Mm y = fft_core(moved, dir, len, dim_not_given);
    // A scalar without a dimension argument comes back from the core as a
    // row already.
    if (y.size() <= 0 || (dim_not_given && moved.rows() == 1))
        return y;
    if (len >= 1)
        dims[k] = len;
    return move_dim_back(y, ndims, dims, k);
}

Mm fft(const Mm& x) { return fft_along_dim(x, nop_M, Mm(0.0), -1); }
Mm fft(const Mm& x, const Mm& n) { return fft_along_dim(x, n, Mm(0.0), -1); }
Mm fft(const Mm& x, const Mm& n, const Mm& dim) { return fft_along_dim(x, n, dim, -1); }
Mm ifft(const Mm& x) { return fft_along_dim(x, nop_M, Mm(0.0), +1); }
Mm ifft(const Mm& x, const Mm& n) { return fft_along_dim(x, n, Mm(0.0), +1); }
Mm ifft(const Mm& x, const Mm& n, const Mm& dim) { return fft_along_dim(x, n, dim, +1); }
Mm dft(const Mm& x) { return fft(x); }
