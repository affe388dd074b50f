// upfirdn: upsample by p, FIR filter, downsample by q in one polyphase loop
// that never forms the upsampled signal nor the discarded samples.
#include "signal/storage.hpp"
#include "engine/scalar_real.hpp"
#include "array/constructors.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

std::int64_t output_length(std::int64_t lx, std::int64_t lh, int p, int q)
{
    return (std::int64_t(p) * (lx - 1) + lh - 1) / q + 1;
}

// y[m] += sum over k p + j = m q of x[k] h[j], for the ly outputs.
void polyphase(const double* x, std::int64_t lx, const double* h, std::int64_t lh, int p, int q, double* y,
               std::int64_t ly)
{
    std::int64_t kp = 0;  // k p, carried as a running sum
    const int step = p % q;
    int r = 0;            // (-k p) mod q
    for (std::int64_t k = 0; k < lx; ++k, kp += p) {
        const double v = x[k];
        const std::int64_t m0 = (kp + r) / q;
        if (lh - r - 1 >= 0) {
            const std::int64_t c = std::min((lh - r - 1) / q + 1, ly - m0);
            const double* hp = h + r;
            double* yp = y + m0;
            for (std::int64_t s = 0; s < c; ++s)
                yp[s] += hp[s * q] * v;
        }
        r -= step;
        if (r < 0)
            r += q;
    }
}

// Column j (0-based) of a value, or the value itself when it is a vector.
struct line {
    const double* re;
    const double* im;
    std::int64_t n;
};

line column_of(const Mm& v, int j, bool whole)
{
    if (whole)
        return {v.addr(), v.addi(), v.size()};
    const std::int64_t off = std::int64_t(j) * v.rows();
    return {v.addr() + off, v.addi() ? v.addi() + off : nullptr, v.rows()};
}

// One output line of ly samples into yr/yi (yi null for a real result):
// complex operands go through the real passes one part at a time.
void upfirdn_line(const line& x, const line& h, int p, int q, double* yr, double* yi, std::int64_t ly)
{
    std::fill(yr, yr + ly, 0.0);
    if (yi)
        std::fill(yi, yi + ly, 0.0);
    polyphase(x.re, x.n, h.re, h.n, p, q, yr, ly);
    if (x.im && h.im) {
        scratch<double> t(std::size_t(ly) + 1);
        std::fill(t.get(), t.get() + ly, 0.0);
        polyphase(x.im, x.n, h.im, h.n, p, q, t.get(), ly);
        for (std::int64_t m = 0; m < ly; ++m)
            yr[m] -= t[m];
    }
    if (x.im)
        polyphase(x.im, x.n, h.re, h.n, p, q, yi, ly);
    if (h.im)
        polyphase(x.re, x.n, h.im, h.n, p, q, yi, ly);
}

bool too_long(std::int64_t ly)
{
    if (ly <= INT_MAX)
        return false;
    error("Out of memory!");
    return true;
}

} // namespace

Mm upfirdn_vec(const Mm& x0, const Mm& h0, int p, int q)
{
    const Mm x = mdouble(full(x0)), h = mdouble(full(h0));
    if (x.size() == 0 || h.size() == 0 || p < 1 || q < 1)
        return Mm(0.0);
    const std::int64_t ly = output_length(x.size(), h.size(), p, q);
    if (too_long(ly))
        return x_M;
    const bool complex = x.isc() || h.isc();
    Mm y = shaped(complex, x.rows() == 1 ? 1 : int(ly), x.rows() == 1 ? int(ly) : 1);
    upfirdn_line(column_of(x, 0, true), column_of(h, 0, true), p, q, y.addr(), y.addi(), ly);
    return y;
}

Mm upfirdn(Mm x, Mm h, const Mm& pv, const Mm& qv)
{
    x = mdouble(full(x));
    h = mdouble(full(h));
    if (error_numeric(pv, "upfirdn") || error_numeric(qv, "upfirdn"))
        return x_M;
    // Factors are whole numbers: 2+i was read as 2, without a word.
    if ((pv.size() > 0 && imag_at(pv, 0) != 0) || (qv.size() > 0 && imag_at(qv, 0) != 0)) {
        error("upfirdn: p and q must be real");
        return x_M;
    }
    const int p = pv.size() > 0 ? round_to_int(number_at(pv, 0)) : 0;
    const int q = qv.size() > 0 ? round_to_int(number_at(qv, 0)) : 0;
    if (p < 1 || q < 1) {
        error("upfirdn: p and q must be positive");
        return x_M;
    }
    const bool xv = isvector(x), hv = isvector(h);
    if (xv && hv)
        return upfirdn_vec(x, h, p, q);
    if (!xv && !hv && x.cols() != h.cols()) {
        error("upfirdn: x and h must have the same number of columns");
        return x_M;
    }
    // One result column per column of the matrix operand(s).
    const int cols = xv ? h.cols() : x.cols();
    const std::int64_t lx = xv ? x.size() : x.rows(), lh = hv ? h.size() : h.rows();
    if (lx == 0 || lh == 0) {
        Mm zeros = shaped(0, 1, cols);
        std::fill(zeros.addr(), zeros.addr() + zeros.size(), 0.0);
        return zeros;
    }
    const std::int64_t ly = output_length(lx, lh, p, q);
    if (too_long(ly))
        return x_M;
    Mm y = shaped(x.isc() || h.isc(), int(ly), cols);
    for (int j = cols - 1; j >= 0; --j) {
        const std::int64_t off = std::int64_t(j) * ly;
        upfirdn_line(column_of(x, j, xv), column_of(h, j, hv), p, q, y.addr() + off,
                     y.addi() ? y.addi() + off : nullptr, ly);
    }
    return y;
}

Mm upfirdn(const Mm& x, const Mm& h, const Mm& p) { return upfirdn(x, h, p, Mm(1.0)); }
Mm upfirdn(const Mm& x, const Mm& h) { return upfirdn(x, h, Mm(1.0), Mm(1.0)); }
Mm upfirdn(const Mm&) { return Mm(error_input("upfirdn", 1)); }
