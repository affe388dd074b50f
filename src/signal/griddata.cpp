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

inline bool key_less(double a, double b) { return a == a && (b != b || a < b); }
inline bool same_coordinate(double a, double b) { return !(a < b) && !(a > b); }

Mm row_of(const std::vector<double>& v)
{
    Mm r = shaped(0, 1, int(v.size()));
    std::copy(v.begin(), v.end(), r.addr());
    return r;
}

// The data with each run of points at one place made one point carrying the
// mean of the run's values (summed in sorted order). Linear and nearest take
// the points sorted by y, then x, and drop those without a value; the
// biharmonic spline keeps the caller's order (each place where it first
// occurs) and every value, NaN included.
struct Points {
    std::vector<double> x, y, re, im;
};

Points merged(const Mm& x, const Mm& y, const Mm& z, bool sorted)
{
    const int n = x.size();
    // sort by x, then (stably) by y
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    const double* xv = x.addr();
    const double* yv = y.addr();
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key_less(xv[a], xv[b]); });
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key_less(yv[a], yv[b]); });
    const bool complex = z.isc();
    std::vector<double> re(z.addr(), z.addr() + n), im(static_cast<std::size_t>(n), 0.0);
    if (complex)
        std::copy(z.addi(), z.addi() + n, im.begin());
    // the first point of a run (in sorted order, or the caller's) takes the
    // mean; the others are left out
    std::vector<char> out(static_cast<std::size_t>(n), 0);
    for (int k = 0; k < n;) {
        const int first = order[std::size_t(k)];
        int a = k;
        while (a + 1 < n && same_coordinate(xv[order[std::size_t(a + 1)]], xv[first]) &&
               same_coordinate(yv[order[std::size_t(a + 1)]], yv[first]))
            ++a;
        if (a > k) {
            double sr = 0, si = 0;
            int keep = first;
            for (int e = k; e <= a; ++e) {
                const int p = order[std::size_t(e)];
                sr += re[std::size_t(p)];
                si += im[std::size_t(p)];
                out[std::size_t(p)] = 1;
                if (!sorted && p < keep)
                    keep = p;
            }
            out[std::size_t(keep)] = 0;
            re[std::size_t(keep)] = sr / (a - k + 1);
            im[std::size_t(keep)] = si / (a - k + 1);
        }
        k = a + 1;
    }
    Points r;
    for (int e = 0; e < n; ++e) {
        const int p = sorted ? order[std::size_t(e)] : e;
        if (out[std::size_t(p)] || (sorted && (std::isnan(re[std::size_t(p)]) || std::isnan(im[std::size_t(p)]))))
            continue;
        r.x.push_back(xv[p]);
        r.y.push_back(yv[p]);
        r.re.push_back(re[std::size_t(p)]);
        r.im.push_back(im[std::size_t(p)]);
    }
    return r;
}

Mm column_of(const Points& p, bool complex)
{
    Mm c = shaped(complex, int(p.re.size()), 1);
    std::copy(p.re.begin(), p.re.end(), c.addr());
    if (complex)
        std::copy(p.im.begin(), p.im.end(), c.addi());
    return c;
}

// The power of two 2^k in which the spline takes its distances: 1 while the
// squares of the data's spread are far inside the range, else the spread's
// own size, so that neither they nor their logarithms overflow or vanish.
// Halves keep the spread of values near the largest double finite.
int spline_scale(const std::vector<double>& x, const std::vector<double>& y)
{
    if (x.empty())
        return 0;
    const auto [xl, xh] = std::minmax_element(x.begin(), x.end());
    const auto [yl, yh] = std::minmax_element(y.begin(), y.end());
    const double half = std::fmax(*xh / 2 - *xl / 2, *yh / 2 - *yl / 2);
    if (!(half > 0) || !std::isfinite(half))
        return 0;
    const int k = std::ilogb(half) + 1;
    return k > -200 && k < 200 ? 0 : k;
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
        const Points p = merged(x, y, z, true);
        const Mm zi = delaunay_run(row_of(p.x), row_of(p.y), column_of(p, z.isc()), nop_M, xi, yi,
                                   letter == 'l' ? 4 : 2);
        XI = xi;
        YI = yi;
        ZI = zi;
        return x_M;
    }

    // Biharmonic spline: G w = z, then one row of G per query. Points at one
    // place are one point with the mean of their values, as above: two equal
    // rows would make G singular. In the scale 2^k the squared distance s
    // is 4^k s' and g(s) = 4^k s' (ln sqrt(s') + k ln 2 - 1); the factor
    // 4^k is common to G and the query rows and cancels.
    const Points p = merged(x, y, z, false);
    const int np = int(p.x.size());
    const int k = spline_scale(p.x, p.y);
    const double shift = k * 0.6931471805599453;
    auto g = [shift](double s) { return s > 0 ? s * ((std::log(std::sqrt(s)) + shift) - 1) : 0.0; };
    std::vector<double> sx(p.x.size()), sy(p.y.size());
    for (std::size_t j = 0; j < p.x.size(); ++j) {
        sx[j] = std::ldexp(p.x[j], -k);
        sy[j] = std::ldexp(p.y[j], -k);
    }
    const int m = xi.size();
    Mm zi = shaped(0, xi.getndims(), xi.getdims());
    Mm G = shaped(0, np, np);
    for (int j = 0; j < np; ++j)
        for (int r = 0; r < np; ++r) {
            const double dx = sx[std::size_t(j)] - sx[std::size_t(r)], dy = sy[std::size_t(j)] - sy[std::size_t(r)];
            G.addr()[r + std::int64_t(j) * np] = g(dx * dx + dy * dy);
        }
    const Mm w = mldivide(G, column_of(p, z.isc()));
    if (w.size() != np)
        return x_M;
    const bool complex = w.isc();
    if (complex)
        zi.getcomplex();
    for (int q = 0; q < m; ++q) {
        const double qx = xi.addr()[q], qy = yi.addr()[q];
        if (!std::isfinite(qx) || !std::isfinite(qy)) {
            // the spline has no value there, as the other methods say
            zi.addr()[q] = NAN;
            if (complex)
                zi.addi()[q] = NAN;
            continue;
        }
        const double sqx = std::ldexp(qx, -k), sqy = std::ldexp(qy, -k);
        double sr = 0, si = 0;
        for (int j = 0; j < np; ++j) {
            const double f = sx[std::size_t(j)] - sqx, h = sy[std::size_t(j)] - sqy;
            const double gj = g(h * h + f * f);
            sr += gj * w.addr()[j];
            if (complex)
                si += gj * w.addi()[j];
        }
        zi.addr()[q] = sr;
        if (complex)
            zi.addi()[q] = si;
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
