// spline: the not-a-knot cubic spline in pp form (a line for two points, a
// parabola for three), its slopes from a banded elimination with row
// interchanges whose order is part of the result.
#include "signal/storage.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

Mm tridiag_solve(Mm sub, Mm diag, Mm super, const Mm& B)
{
    Mm X;
    const Mm rhs = mdouble(full(B));
    X.deepcopy(0, rhs, qv_double);
    X = required(X, rhs.size());
    const int n = diag.size(), m = X.cols();
    if (n == 0 || m == 0)
        return X;
    // private copies: the elimination works in them
    for (Mm* band : {&sub, &diag, &super}) {
        const Mm source = mdouble(full(*band));
        band->deepcopy(0, source, qv_double);
        *band = required(*band, source.size());
    }
    if (diag.size() != n || sub.size() < n - 1 || super.size() < n - 1)
        return X;
    double* s = sub.addr();
    double* d = diag.addr();
    double* u = super.addr();
    double* x = X.addr();
    const std::int64_t ld = X.rows();
    for (int k = 0; k + 1 < n; ++k) {
        if (s[k] != 0) {
            if (std::fabs(s[k]) > std::fabs(d[k])) {
                // interchange rows k and k+1, then eliminate row k+1
                const double f = d[k] / s[k];
                d[k] = s[k];
                const double q = d[k + 1];
                d[k + 1] = u[k] - q * f;
                if (k < n - 2) {
                    s[k] = u[k + 1];
                    u[k + 1] = -s[k] * f;
                }
                u[k] = q;
                for (int j = 0; j < m; ++j) {
                    double* col = x + j * ld;
                    const double a = col[k], b = col[k + 1];
                    col[k] = b;
                    col[k + 1] = a - b * f;
                }
            } else {
                const double f = s[k] / d[k];
                d[k + 1] = d[k + 1] - u[k] * f;
                for (int j = 0; j < m; ++j) {
                    double* col = x + j * ld;
                    col[k + 1] = col[k + 1] - col[k] * f;
                }
                if (k < n - 2)
                    s[k] = 0;
            }
        } else if (d[k] == 0) {
            return X;  // singular: the partly reduced right-hand side
        }
    }
    if (d[n - 1] == 0)
        return X;
    for (int j = 0; j < m; ++j) {
        double* col = x + j * ld;
        col[n - 1] = col[n - 1] / d[n - 1];
        if (n >= 2)
            col[n - 2] = (col[n - 2] - col[n - 1] * u[n - 2]) / d[n - 2];
        for (int i = n - 3; i >= 0; --i)
            col[i] = (col[i] - col[i + 1] * u[i] - col[i + 2] * s[i]) / d[i];
    }
    return X;
}

namespace {

Mm row_of(const double* v, int n)
{
    Mm r = shaped(0, 1, n);
    std::copy(v, v + n, r.addr());
    return r;
}

} // namespace

namespace {

// The spline in pp form, computed with the knots in units of 2^ex and the
// values in units of 2^ey, the powers of two of their sizes: its slopes
// divide differences of values by steps and its coefficients by their
// squares and cubes, which overflow or vanish for knots or values near the
// ends of the doubles although the spline itself is finite there. A power
// of two scales every operation exactly, so elsewhere the result is the
// unscaled computation's to the bit. With own_units the breaks and
// coefficients are put back in the data's units (the constant terms are
// the values themselves: a small value beside a large one would vanish in
// the large one's units); else they stay in the scaled ones, for
// evaluation at scaled points.
Mm spline_pp(const Mm& x0, const Mm& y0, bool own_units, int& ex, int& ey)
{
    const Mm x = mdouble(full(x0)), y = mdouble(full(y0));
    const int n = x.length();
    // x sorted (always) and y reordered with it
    std::vector<int> order(std::max(n, 0));
    std::iota(order.begin(), order.end(), 0);
    const double* xr = x.addr();
    auto before = [&](int a, int b) { return xr[a] == xr[a] && (xr[b] != xr[b] || xr[a] < xr[b]); };
    if (!std::is_sorted(order.begin(), order.end(), before))  // a stable sort keeps sorted data as it is
        std::stable_sort(order.begin(), order.end(), before);
    std::vector<double> xs(n), dx(n > 0 ? n - 1 : 0);
    for (int k = 0; k < n; ++k)
        xs[k] = xr[order[k]];
    for (int k = 0; k + 1 < n; ++k)
        dx[k] = xs[k + 1] - xs[k];
    if (n < 2) {
        error("There should be at least two data points.");
        return x_M;
    }
    if (std::any_of(dx.begin(), dx.end(), [](double d) { return d == 0; })) {
        error("The data abscissae should be distinct.");
        return x_M;
    }
    if (y.length() != n) {
        error("Abscissa and ordinate vector should be of the same length.");
        return x_M;
    }
    const bool complex = y.isc();
    ex = size_exponent(xs.data(), nullptr, n);
    ey = size_exponent(y.addr(), complex ? y.addi() : nullptr, n);
    std::vector<double> xu(n);
    for (int k = 0; k < n; ++k)
        xu[k] = std::ldexp(xs[k], -ex);
    for (int k = 0; k + 1 < n; ++k)
        dx[k] = xu[k + 1] - xu[k];
    const std::vector<double>& breaks = own_units ? xs : xu;
    // A coefficient of (x - break)^p in the data's units.
    auto put = [&](double c, int p) { return own_units ? std::ldexp(c, ey - p * ex) : c; };
    // the parts of y, spline by spline (a complex y gives a complex pp)
    auto build = [&](const double* yv) -> Mm {
        std::vector<double> ys(n), dd(n - 1);
        for (int k = 0; k < n; ++k)
            ys[k] = std::ldexp(yv[order[k]], -ey);
        // The constant term of piece k in the units it is put in.
        auto value = [&](int k) { return own_units ? yv[order[k]] : ys[k]; };
        for (int k = 0; k + 1 < n; ++k)
            dd[k] = (ys[k + 1] - ys[k]) / dx[k];
        if (n == 2) {
            const double c[2] = {put(dd[0], 1), value(0)};
            return mkpp(row_of(breaks.data(), 2), row_of(c, 2));
        }
        if (n == 3) {
            const double a = (dd[1] - dd[0]) / (xu[2] - xu[0]);
            const double b = dd[0] - a * (xu[1] - xu[0]);
            const double ends[2] = {breaks[0], breaks[2]}, c[3] = {put(a, 2), put(b, 1), value(0)};
            return mkpp(row_of(ends, 2), row_of(c, 3));
        }
        const double x31 = xu[2] - xu[0], xn = xu[n - 1] - xu[n - 3];
        Mm r = shaped(0, n, 1), sub = shaped(0, 1, n - 1), diag = shaped(0, 1, n), super = shaped(0, 1, n - 1);
        double* rr = r.addr();
        for (int i = 1; i < n - 1; ++i)
            rr[i] = 3 * (dx[i] * dd[i - 1] + dx[i - 1] * dd[i]);
        rr[0] = ((dx[0] + 2 * x31) * dx[1] * dd[0] + dx[0] * dx[0] * dd[1]) / x31;
        rr[n - 1] = (dx[n - 2] * dx[n - 2] * dd[n - 3] + (2 * xn + dx[n - 2]) * dx[n - 3] * dd[n - 2]) / xn;
        for (int i = 0; i < n - 2; ++i)
            sub.addr()[i] = dx[i + 1];
        sub.addr()[n - 2] = xn;
        diag.addr()[0] = dx[1];
        for (int i = 1; i < n - 1; ++i)
            diag.addr()[i] = 2 * (dx[i - 1] + dx[i]);
        diag.addr()[n - 1] = dx[n - 3];
        super.addr()[0] = x31;
        for (int i = 1; i < n - 1; ++i)
            super.addr()[i] = dx[i - 1];
        const Mm slopes = tridiag_solve(sub, diag, super, r);
        const double* s = slopes.addr();
        Mm coefs = shaped(0, n - 1, 4);
        double* c = coefs.addr();
        const int L = n - 1;
        for (int i = 0; i < L; ++i) {
            const double c4 = (s[i] + s[i + 1] - 2 * dd[i]) / dx[i];
            const double c3 = (dd[i] - s[i]) / dx[i] - c4;
            c[i] = put(c4 / dx[i], 3);
            c[i + L] = put(c3, 2);
            c[i + 2 * L] = put(s[i], 1);
            c[i + 3 * L] = value(i);
        }
        return mkpp(row_of(breaks.data(), n), coefs);
    };
    const Mm re = build(y.addr());
    if (!complex)
        return re;
    const Mm im = build(y.addi());
    Mm pp = shaped_zeros(1, 1, re.size());
    std::copy(re.addr(), re.addr() + re.size(), pp.addr());
    // the imaginary parts of the coefficients only; the layout is shared
    const int L = int(re.addr()[2]);
    std::copy(im.addr() + L + 5, im.addr() + im.size(), pp.addi() + L + 5);
    return pp;
}

// v (the spline at the real points at) takes the value of the knot it
// stands on, for each finite v at a knot other than the last.
void restore_knot_values(const Mm& x0, const Mm& y0, const Mm& at, Mm& v)
{
    const Mm x = mdouble(full(x0)), y = mdouble(full(y0));
    const int n = x.length();
    std::vector<std::pair<double, double>> knots(n);
    for (int k = 0; k < n; ++k) {
        if (std::isnan(x.addr()[k]))
            return;  // no knot order to read
        knots[k] = {x.addr()[k], y.addr()[k]};
    }
    auto before = [](const std::pair<double, double>& a, const std::pair<double, double>& b) {
        return a.first < b.first;
    };
    std::sort(knots.begin(), knots.end(), before);
    const double last = knots[n - 1].first;
    for (int e = 0; e < v.size(); ++e) {
        const double t = at.addr()[e];
        if (!std::isfinite(v.addr()[e]) || t == last)
            continue;
        const auto it = std::lower_bound(knots.begin(), knots.end(), std::make_pair(t, 0.0), before);
        if (it != knots.end() && it->first == t)
            v.addr()[e] = it->second;
    }
}

} // namespace

Mm spline(const Mm& x, const Mm& y)
{
    int ex = 0, ey = 0;
    return spline_pp(x, y, true, ex, ey);
}

// Evaluated in the units it was computed in: the pp form in the data's own
// units may hold coefficients that overflow or vanish where the values do
// neither, and its sums may overflow on the way to a finite value. A point
// on a knot other than the last is the knot's value itself, as the
// unscaled pp form gives it wherever it gives a finite one there: in the
// units of the largest value a far smaller one vanishes.
Mm spline(const Mm& x, const Mm& y, const Mm& xx)
{
    if (y.isc())
        return plus(spline(x, real(y), xx), times(i, spline(x, imag(y), xx)));
    int ex = 0, ey = 0;
    const Mm pp = spline_pp(x, y, false, ex, ey);
    const Mm at = mdouble(full(xx));
    Mm v = ppval(pp, ex != 0 ? ldexp_parts(at, -ex) : at);
    if (ey == 0)
        return v;
    v = ldexp_parts(v, ey);
    if (!at.isc())
        restore_knot_values(x, y, at, v);
    return v;
}

Mm spline(Mm) { return Mm(error_input("spline", 1)); }
