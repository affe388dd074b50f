// griddata: a surface through scattered points evaluated at query points,
// by linear interpolation in the Delaunay triangles, the nearest data
// point, or the biharmonic spline (one dense solve).
#include "signal/storage.hpp"
#include "signal/delaunay_internal.hpp"
#include "signal/interp_common.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

// The biharmonic Green's function of a squared distance.
inline double green(double s) { return s > 0 ? s * (std::log(std::sqrt(s)) - 1) : 0.0; }

inline bool key_less(double a, double b) { return a == a && (b != b || a < b); }
inline bool same_coordinate(double a, double b) { return !(a < b) && !(a > b); }

Mm row_of(const std::vector<double>& v)
{
    Mm r = shaped(0, 1, int(v.size()));
    std::copy(v.begin(), v.end(), r.addr());
    return r;
}

} // namespace

Mm griddata(Mm x, Mm y, Mm z, Mm xi, Mm yi, const Mm& method, i_o_t, Mm& XI, Mm& YI, Mm& ZI)
{
    x = mdouble(full(x));
    y = mdouble(full(y));
    z = mdouble(full(z));
    xi = mdouble(full(xi));
    yi = mdouble(full(yi));
    const char letter = checked_method_letter(method, "griddata");
    if (!isvector(z) && automesh(x, y)) {
        Mm gx, gy;
        meshgrid(x, y, i_o, gx, gy);
        x = gx;
        y = gy;
    }
    const int n = x.size();
    x.reshape(1, n);
    y.reshape(1, y.size());
    z.reshape(n, 1);
    if (z.size() != n || y.size() != n)
        return x_M;

    if (automesh(xi, yi)) {
        Mm gx, gy;
        meshgrid(xi, yi, i_o, gx, gy);
        xi = gx;
        yi = gy;
    } else if (!isequal(size(xi), size(yi))) {
        error("griddata: xi and yi are not same size.");
        return x_M;
    }

    if (xi.size() != yi.size())
        throw std::bad_alloc();  // a grid refused its storage
    if (letter == 'l' || letter == 'n') {
        // sort by x, then (stably) by y, carrying z along
        std::vector<int> order(static_cast<std::size_t>(n));
        std::iota(order.begin(), order.end(), 0);
        const double* xv = x.addr();
        const double* yv = y.addr();
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key_less(xv[a], xv[b]); });
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key_less(yv[a], yv[b]); });
        std::vector<double> sx(order.size()), sy(order.size()), szr(order.size()), szi(order.size());
        const bool complex = z.isc();
        for (int k = 0; k < n; ++k) {
            sx[std::size_t(k)] = xv[order[std::size_t(k)]];
            sy[std::size_t(k)] = yv[order[std::size_t(k)]];
            szr[std::size_t(k)] = z.addr()[order[std::size_t(k)]];
            szi[std::size_t(k)] = complex ? z.addi()[order[std::size_t(k)]] : 0.0;
        }
        // a run of one place becomes one point with the mean of its values
        for (int k = 0; k + 1 < n; ++k) {
            int a = k;
            while (a + 1 < n && same_coordinate(sx[std::size_t(a + 1)], sx[std::size_t(k)]) &&
                   same_coordinate(sy[std::size_t(a + 1)], sy[std::size_t(k)]))
                ++a;
            if (a == k)
                continue;
            double sr = 0, si = 0;
            for (int e = k; e <= a; ++e) {
                sr += szr[std::size_t(e)];
                si += szi[std::size_t(e)];
            }
            szr[std::size_t(k)] = sr / (a - k + 1);
            szi[std::size_t(k)] = si / (a - k + 1);
            for (int e = k + 1; e <= a; ++e)
                szr[std::size_t(e)] = szi[std::size_t(e)] = NAN;
        }
        // points without a value are dropped
        std::vector<double> kx, ky, kr, ki;
        for (int k = 0; k < n; ++k) {
            if (std::isnan(szr[std::size_t(k)]) || std::isnan(szi[std::size_t(k)]))
                continue;
            kx.push_back(sx[std::size_t(k)]);
            ky.push_back(sy[std::size_t(k)]);
            kr.push_back(szr[std::size_t(k)]);
            ki.push_back(szi[std::size_t(k)]);
        }
        Mm kz = shaped(complex, int(kr.size()), 1);
        std::copy(kr.begin(), kr.end(), kz.addr());
        if (complex)
            std::copy(ki.begin(), ki.end(), kz.addi());
        const Mm zi = delaunay_run(row_of(kx), row_of(ky), kz, nop_M, xi, yi, letter == 'l' ? 4 : 2);
        XI = xi;
        YI = yi;
        ZI = zi;
        return x_M;
    }

    // biharmonic spline: G w = z, then one row of G per query
    const int m = xi.size();
    Mm zi = shaped(0, xi.getndims(), xi.getdims());
    Mm G = shaped(0, n, n);
    const double* xv = x.addr();
    const double* yv = y.addr();
    for (int j = 0; j < n; ++j)
        for (int r = 0; r < n; ++r) {
            const double dx = xv[j] - xv[r], dy = yv[j] - yv[r];
            G.addr()[r + std::int64_t(j) * n] = green(dx * dx + dy * dy);
        }
    const Mm w = mldivide(G, z);
    if (w.size() != n)
        return x_M;
    const bool complex = w.isc();
    if (complex)
        zi.getcomplex();
    for (int k = 0; k < m; ++k) {
        const double qx = xi.addr()[k], qy = yi.addr()[k];
        if (!std::isfinite(qx) || !std::isfinite(qy)) {
            // the spline has no value there, as the other methods say
            zi.addr()[k] = NAN;
            if (complex)
                zi.addi()[k] = NAN;
            continue;
        }
        double sr = 0, si = 0;
        for (int j = 0; j < n; ++j) {
            const double f = xv[j] - qx, h = yv[j] - qy;
            const double gj = green(h * h + f * f);
            sr += gj * w.addr()[j];
            if (complex)
                si += gj * w.addi()[j];
        }
        zi.addr()[k] = sr;
        if (complex)
            zi.addi()[k] = si;
    }
    Mm cx = xi, cy = yi;
    cx.reshape(m, 1);
    cy.reshape(m, 1);
    XI = cx;
    YI = cy;
    ZI = zi;
    return x_M;
}

Mm griddata(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi, i_o_t, Mm& XI, Mm& YI, Mm& ZI)
{
    return griddata(x, y, z, xi, yi, default_interp_method, i_o, XI, YI, ZI);
}

Mm griddata(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi, const Mm& method)
{
    Mm XI, YI, ZI;
    griddata(x, y, z, xi, yi, method, i_o, XI, YI, ZI);
    return ZI;
}

Mm griddata(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi)
{
    return griddata(x, y, z, xi, yi, default_interp_method);
}
