// filter: the transposed direct form II recursion along any dimension, with
// initial and final conditions, on plain doubles or complex pairs.
#include "signal/filter_internal.hpp"
#include "signal/storage.hpp"
#include "array/ndim.hpp"
#include "engine/scalar_complex.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const char zi_message[] = "filter: zi must have same dimensions as x (except on the working dimension) or be a vector";

void padded_dims(const Mm& x, int dims[4])
{
    for (int m = 0; m < 4; ++m)
        dims[m] = m < x.getndims() ? x.getdims()[m] : 1;
}

// Which terms of the recursion exist. A coefficient that b or a lacks (the
// zeros a shorter one is padded with) and an exact zero of a contribute no
// term: their product with a NaN or Inf sample would be NaN, and through the
// state it would reach every later output, where the difference equation
// has no such term at all. Exact zeros of b stay terms: 0 times a NaN input
// is NaN in the output it belongs to. For deconv's impulse a zero sample
// carries no b terms either, so a non-finite coefficient of b stays in its
// own place of the quotient as in long division.
struct terms {
    const unsigned char* use_b;  // n flags, the first always set
    const unsigned char* use_a;  // n flags, the first unused
    bool every_term;             // all set: the plain recursion
    bool no_poles;               // no a term after the first
    bool zero_samples_skip_b;
};

// One real signal of length len through the recursion with every term; z
// holds n - 1 states. Without poles (every b term, no a term after the
// first) it is a moving sum: b u + z has the bits of b u - 0 + z, so it
// agrees with the general loops.
template <bool Poles>
void filter_real(const double* b, const double* a, int n, const double* x, double* y, std::int64_t len, double* z)
{
    const int last = n - 2;
    for (std::int64_t m = 0; m < len; ++m) {
        const double u = x[m];
        const double v = b[0] * u + z[0];
        y[m] = v;
        for (int i = 0; i < last; ++i)
            if constexpr (Poles)
                z[i] = b[i + 1] * u - a[i + 1] * v + z[i + 1];
            else
                z[i] = b[i + 1] * u + z[i + 1];
        if constexpr (Poles)
            z[last] = b[last + 1] * u - a[last + 1] * v;
        else
            z[last] = b[last + 1] * u;
    }
}

// Any set of terms: an absent term adds +0 in place of its product.
void filter_real_terms(const double* b, const double* a, int n, const terms& t, const double* x, double* y,
                       std::int64_t len, double* z)
{
    const int last = n - 2;
    for (std::int64_t m = 0; m < len; ++m) {
        const double u = x[m];
        const bool feed = !(t.zero_samples_skip_b && u == 0);
        const double v = (feed ? b[0] * u : 0.0) + z[0];
        y[m] = v;
        for (int i = 0; i <= last; ++i) {
            const double bu = feed && t.use_b[i + 1] ? b[i + 1] * u : 0.0;
            const double av = t.use_a[i + 1] ? a[i + 1] * v : 0.0;
            z[i] = i < last ? bu - av + z[i + 1] : bu - av;
        }
    }
}

void filter_complex(const double* br, const double* bi, const double* ar, const double* ai, int n, const terms& t,
                    const double* xr, const double* xi, double* yr, double* yi, std::int64_t len, double* zr,
                    double* zi)
{
    const int last = n - 2;
    for (std::int64_t m = 0; m < len; ++m) {
        const double ur = xr[m], ui = xi ? xi[m] : 0.0;
        const bool feed = !(t.zero_samples_skip_b && ur == 0 && ui == 0);
        double pr = 0, pi = 0, qr = 0, qi = 0;
        if (feed)
            complex_mul(br[0], bi[0], ur, ui, pr, pi);
        const double vr = pr + zr[0], vi = pi + zi[0];
        yr[m] = vr;
        yi[m] = vi;
        for (int i = 0; i <= last; ++i) {
            pr = pi = qr = qi = 0;
            if (feed && t.use_b[i + 1])
                complex_mul(br[i + 1], bi[i + 1], ur, ui, pr, pi);
            if (t.use_a[i + 1])
                complex_mul(ar[i + 1], ai[i + 1], vr, vi, qr, qi);
            zr[i] = i < last ? pr - qr + zr[i + 1] : pr - qr;
            zi[i] = i < last ? pi - qi + zi[i + 1] : pi - qi;
        }
    }
}

// Coefficients as n doubles each (real, imaginary), divided by a(1) and
// padded with zeros.
void normalised(const Mm& c, const double a1r, const double a1i, bool complex, int n, double* re, double* im)
{
    const int k = c.size();
    const double* cr = c.addr();
    const double* ci = c.addi();
    for (int j = 0; j < n; ++j) {
        if (j >= k) {
            re[j] = im[j] = 0;
        } else if (complex) {
            complex_div(cr[j], ci ? ci[j] : 0.0, a1r, a1i, re[j], im[j]);
        } else {
            re[j] = cr[j] / a1r;
            im[j] = 0;
        }
    }
}

void filter_core(const Mm& b0, const Mm& a0, const Mm& x0, const Mm& zi0, const Mm& dim, bool zero_samples_skip_b,
                 Mm& y, Mm& zf)
{
    if (isempty(b0) || isempty(a0) || isempty(x0)) {
        y = zf = nop_M;
        return;
    }
    const Mm b = mdouble(b0), a = mdouble(a0), x = mdouble(x0);
    Mm z = isempty(zi0) ? Mm() : mdouble(zi0);
    const int n = std::max(a.size(), b.size());
    const bool complex = b.isc() || a.isc() || x.isc() || z.isc();
    const int w = parse_dim_argument("filter", x, dim);
    int xdims[4];
    padded_dims(x, xdims);
    const int ndims = std::max(x.getndims(), w + 1);

    bool failed = false;
    int zdims[4];
    std::memcpy(zdims, xdims, sizeof zdims);
    zdims[w] = n - 1;
    if (n == 1) {
        // no state to take: a given zi cannot be used
        if (z.size() > 0) {
            error(zi_message);
            failed = true;
        }
    } else if (z.size() == 0) {
        z = shaped(0, ndims, zdims);
        std::fill(z.addr(), z.addr() + z.size(), 0.0);
    } else {
        if (z.size() == n - 1 && isvector(z)) {
            // one vector of initial conditions serves every signal
            int along[4] = {1, 1, 1, 1};
            along[w] = n - 1;
            z.reshape(4, along);
            int reps[4];
            for (int m = 0; m < 4; ++m)
                reps[m] = m == w ? 1 : xdims[m];
            Mm r = shaped(0, 1, 4);
            for (int m = 0; m < 4; ++m)
                r.addr()[m] = reps[m];
            z = repmat(z, r);
        }
        int have[4];
        padded_dims(z, have);
        for (int m = 0; m < 4; ++m)
            if (have[m] != zdims[m]) {
                error(zi_message);
                failed = true;
                break;
            }
    }
    const double a1r = a.addr()[0], a1i = a.addi() ? a.addi()[0] : 0.0;
    if (a1r == 0 && (!complex || a1i == 0)) {
        error("filter: a(1) must be non-zero");
        failed = true;
    }
    if (failed) {
        y = zf = x_M;
        return;
    }

    if (n == 1) {
        const Mm bn = Mm(b(Mm(1.0))) / Mm(a(Mm(1.0)));
        const Mm an = Mm(a(Mm(1.0))) / Mm(a(Mm(1.0)));
        y = (bn / an) * x;
        zf = nop_M;
        return;
    }

    scratch<double> coef(4 * std::size_t(n));
    double* bnr = coef.get();
    double* bni = bnr + n;
    double* anr = bni + n;
    double* ani = anr + n;
    normalised(b, a1r, a1i, complex, n, bnr, bni);
    normalised(a, a1r, a1i, complex, n, anr, ani);
    scratch<unsigned char> flags(2 * std::size_t(n));
    terms t{flags.get(), flags.get() + n, true, true, zero_samples_skip_b};
    for (int i = 0; i < n; ++i) {
        flags[i] = i < b.size();
        flags[n + i] = i > 0 && i < a.size() && (anr[i] != 0 || ani[i] != 0);
        t.every_term = t.every_term && flags[i] && (i == 0 || flags[n + i]);
        t.no_poles = t.no_poles && !flags[n + i];
    }

    Mm xm = move_dim_first(x, ndims, xdims, w);
    Mm zm;
    const Mm zmoved = move_dim_first(z, ndims, zdims, w);
    zm.deepcopy(complex, zmoved, qv_double);  // private, complex in a complex run
    zm = required(zm, zmoved.size());
    const std::int64_t len = xm.rows();
    const std::int64_t signals = len > 0 ? xm.size() / len : 0;
    Mm ym = shaped(complex, xm.getndims(), xm.getdims());
    for (std::int64_t s = 0; s < signals; ++s) {
        const std::int64_t xo = s * len, zo = s * (n - 1);
        if (complex)
            filter_complex(bnr, bni, anr, ani, n, t, xm.addr() + xo, xm.addi() ? xm.addi() + xo : nullptr,
                           ym.addr() + xo, ym.addi() + xo, len, zm.addr() + zo, zm.addi() + zo);
        else if (!t.zero_samples_skip_b && t.every_term)
            filter_real<true>(bnr, anr, n, xm.addr() + xo, ym.addr() + xo, len, zm.addr() + zo);
        else if (!t.zero_samples_skip_b && t.no_poles && b.size() == n)
            filter_real<false>(bnr, anr, n, xm.addr() + xo, ym.addr() + xo, len, zm.addr() + zo);
        else
            filter_real_terms(bnr, anr, n, t, xm.addr() + xo, ym.addr() + xo, len, zm.addr() + zo);
    }
    Mm yb = move_dim_back(ym, ndims, xdims, w);
    Mm zb = move_dim_back(zm, ndims, zdims, w);
    // A single signal's states form a column; a vector filtered along its
    // singleton dimension holds one signal per element and keeps their layout.
    if (signals == 1)
        zb.reshape(n - 1, 1);
    y = yb;
    zf = zb;
}

} // namespace

Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi, const Mm& dim, i_o_t, Mm& y, Mm& zf)
{
    filter_core(b, a, x, zi, dim, false, y, zf);
    return x_M;
}

Mm filter_impulse(const Mm& b, const Mm& a, int count)
{
    Mm e = shaped(0, 1, count);
    std::fill(e.addr(), e.addr() + count, 0.0);
    e.addr()[0] = 1;
    Mm y, zf;
    filter_core(b, a, e, nop_M, Mm(0.0), true, y, zf);
    return y;
}

Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi, i_o_t, Mm& y, Mm& zf)
{
    return filter(b, a, x, zi, Mm(0.0), i_o, y, zf);
}

Mm filter(const Mm& b, const Mm& a, const Mm& x, i_o_t, Mm& y, Mm& zf)
{
    return filter(b, a, x, nop_M, Mm(0.0), i_o, y, zf);
}

Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi, const Mm& dim)
{
    Mm y, zf;
    filter(b, a, x, zi, dim, i_o, y, zf);
    return y;
}

Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi) { return filter(b, a, x, zi, Mm(0.0)); }
Mm filter(const Mm& b, const Mm& a, const Mm& x) { return filter(b, a, x, nop_M, Mm(0.0)); }
Mm filter(const Mm&) { return Mm(error_input("filter", 1)); }
Mm filter(const Mm&, const Mm&) { return Mm(error_input("filter", 2)); }
