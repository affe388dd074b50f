// The pp form of a piecewise polynomial, one real row [10, 1, L, breaks, k,
// coefficients column-major], and mkpp, unmkpp and ppval over it.
#include "signal/storage.hpp"
#include "engine/scalar_real.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

Mm mkpp(Mm breaks, Mm coefs)
{
    breaks = mdouble(full(breaks));
    coefs = mdouble(full(coefs));
    const int L = breaks.size() - 1, nc = coefs.size();
    // nc / L is infinite or NaN for one break: the conversion saturates
    const int k = round_to_int(std::trunc(double(nc) / L + 16 * 2.220446049250313e-16));
    if (!(k > 0 && L > 0 && std::int64_t(L) * k == nc)) {
        error("mkpp: wrong size of input arguments");
        return x_M;
    }
    const bool complex = breaks.isc() || coefs.isc();
    Mm pp = shaped_zeros(complex, 1, 5 + L + nc);
    double* r = pp.addr();
    r[0] = 10;
    r[1] = 1;
    r[2] = L;
    std::copy(breaks.addr(), breaks.addr() + L + 1, r + 3);
    r[L + 4] = k;
    std::copy(coefs.addr(), coefs.addr() + nc, r + L + 5);
    if (complex) {
        if (breaks.isc())
            std::copy(breaks.addi(), breaks.addi() + L + 1, pp.addi() + 3);
        if (coefs.isc())
            std::copy(coefs.addi(), coefs.addi() + nc, pp.addi() + L + 5);
    }
    return pp;
}

Mm mkpp(Mm) { return Mm(error_input("mkpp", 1)); }

namespace {

// The layout of a pp value, or false (with the message) when it is none.
struct pp_view {
    int L = 0, k = 0;
    const double* breaks = nullptr;
    const double* coefs = nullptr;  // L x k, column-major
};

bool read_pp(const Mm& pp, pp_view& v)
{
    const int n = pp.gettype() == qv_double && !pp.issparse() ? pp.size() : 0;
    const double* r = pp.addr();
    bool ok = n >= 5 && r[0] == 10;
    if (ok) {
        const double l = r[2];
        ok = l >= 1 && l <= n && l == std::floor(l);
        if (ok) {
            v.L = int(l);
            const double k = r[v.L + 4];
            ok = k >= 1 && k == std::floor(k) && 5.0 + v.L + double(v.L) * k <= n;
            if (ok) {
                v.k = int(k);
                v.breaks = r + 3;
                v.coefs = r + v.L + 5;
            }
        }
    }
    if (!ok)
        error("%s is not proper piecewise polynomial", matrix_display_name(pp));
    return ok;
}

} // namespace

Mm unmkpp(const Mm& pp, i_o_t, Mm& breaks, Mm& coefs, Mm& l, Mm& k)
{
    pp_view v;
    if (!read_pp(pp, v))
        return x_M;
    Mm b = shaped(pp.isc(), 1, v.L + 1), c = shaped(pp.isc(), v.L, v.k);
    std::copy(v.breaks, v.breaks + v.L + 1, b.addr());
    std::copy(v.coefs, v.coefs + std::int64_t(v.L) * v.k, c.addr());
    if (pp.isc()) {
        std::copy(pp.addi() + 3, pp.addi() + 4 + v.L, b.addi());
        std::copy(pp.addi() + v.L + 5, pp.addi() + v.L + 5 + std::int64_t(v.L) * v.k, c.addi());
    }
    breaks = b;
    coefs = c;
    l = Mm(double(v.L));
    k = Mm(double(v.k));
    return x_M;
}

Mm ppval(const Mm& pp, Mm xx)
{
    if (pp.isc()) {
        error("ppval: complex pp encountered");
        return x_M;
    }
    pp_view v;
    if (!read_pp(pp, v))
        return x_M;
    xx = mdouble(full(xx));
    const int n = xx.size(), L = v.L, k = v.k;
    const double* br = v.breaks;
    const double* c = v.coefs;
    const double* x = xx.addr();
    const double* xi = xx.addi();
    Mm out = shaped(xi != nullptr, xx.getndims(), xx.getdims());
    double* y = out.addr();
    double* yi = out.addi();

    // The piece of a point: the first j with x < breaks(j+1), at most L, so a
    // point on an interior break starts the next piece. Increasing breaks
    // allow a binary search, and a walk on increasing points.
    bool increasing = true;
    for (int j = 0; j < L; ++j)
        increasing = increasing && br[j] < br[j + 1];
    // sorted apart from NaN points, which take no piece
    bool sorted = true;
    double previous = -INFINITY;
    for (int e = 0; e < n && sorted; ++e)
        if (x[e] == x[e]) {
            sorted = x[e] >= previous;
            previous = x[e];
        }
    int walk = 0;
    auto piece = [&](double t) {
        if (increasing && sorted) {
            while (walk < L - 1 && t >= br[walk + 1])
                ++walk;
            return walk;
        }
        if (increasing)
            return int(std::upper_bound(br + 1, br + L, t) - (br + 1));
        int j = 0;
        while (j < L - 1 && t >= br[j + 1])
            ++j;
        return j;
    };
    for (int e = 0; e < n; ++e) {
        const double t = x[e];
        if (t != t) {
            y[e] = NAN;
            if (yi)
                yi[e] = xi[e];
            continue;
        }
        const int j = piece(t);
        const double u = t - br[j];
        if (!xi) {
            double s = 0;
            for (int m = 0; m < k; ++m)
                s = u * s + c[j + std::int64_t(m) * L];
            y[e] = s;
        } else {
            // a complex point: Horner in complex arithmetic
            const double ui = xi[e];
            double sr = 0, si = 0;
            for (int m = 0; m < k; ++m) {
                const double nr = u * sr - ui * si + c[j + std::int64_t(m) * L];
                si = u * si + ui * sr;
                sr = nr;
            }
            y[e] = sr;
            yi[e] = si;
        }
    }
    return out;
}

Mm ppval(Mm) { return Mm(error_input("ppval", 1)); }
