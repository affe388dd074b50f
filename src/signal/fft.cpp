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
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

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

void scale_result(Mm& y, double f)
{
    const int count = y.size(), one = 1;
    dscal_(&count, &f, y.addr(), &one);
    dscal_(&count, &f, y.addi(), &one);
}

// Real input of power-of-two length n >= 16: one complex transform of half
// the length on the packed pairs, then the two spectra untangled with the
// twiddles of packed_real_twiddles(n).
void packed_real_column(const double* src, int r, int n, int dir, double* yr, double* yi, pow2_table& table,
                        const double* twr, const double* twi)
{
    const int h = n / 2;
    for (int j = 0; j < h; ++j) {
        yr[j] = 2 * j < r ? src[2 * j] : 0.0;
        yi[j] = 2 * j + 1 < r ? src[2 * j + 1] : 0.0;
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

    if (is_power_of_two(n) && (complex_in || n <= 8)) {
        pow2_table table;
        pow2_fft(yr, yi, n, 0, table);
        for (int c = 0; c < m; ++c) {
            double* cr = yr + std::int64_t(c) * n;
            double* ci = yi + std::int64_t(c) * n;
            load_column(column(xr, c, r), r, n, cr);
            load_column(column(xi, c, r), r, n, ci);
            pow2_fft(cr, ci, n, dir, table);
        }
    } else if (is_power_of_two(n)) {
        pow2_table table;
        pow2_fft(yr, yi, n / 2, 0, table);
        const fft_table twiddles = packed_real_twiddles(n);
        const double* twr = twiddles->data();
        const double* twi = twr + n / 4;
        for (int c = 0; c < m; ++c)
            packed_real_column(column(xr, c, r), r, n, dir, yr + std::int64_t(c) * n, yi + std::int64_t(c) * n,
                               table, twr, twi);
    } else if (bluestein_pays(n, !complex_in)) {
        bluestein_plan plan(n, dir);
        for (int c = 0; c < m; ++c) {
            double* cr = yr + std::int64_t(c) * n;
            double* ci = yi + std::int64_t(c) * n;
            load_column(column(xr, c, r), r, n, cr);
            load_column(column(xi, c, r), r, n, ci);
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
            real_fft_run(n, buffer.get(), work.get(), table->data());
            unpack_half_complex(buffer.get(), n, dir, yr + std::int64_t(c) * n, yi + std::int64_t(c) * n);
        }
    }
    // The power-of-two backend scales its own inverse; the rest is scaled
    // once over the whole result.
    const bool full_pow2 = is_power_of_two(n) && (complex_in || n <= 8);
    if (dir > 0 && !full_pow2)
        scale_result(y, 1.0 / n);
    if (as_row)
        y.reshape(1, n);
    return y;
}

Mm fft_along_dim(const Mm& x0, const Mm& nlen, const Mm& dim, int dir)
{
    const Mm x = mdouble(x0);
    int len = -1;
    if (nlen.size() > 0) {
        if (error_numeric(nlen, "fft"))
            return x_M;
        len = round_to_count(number_at(nlen, 0));
    }
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
