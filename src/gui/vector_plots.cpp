// Vector plots: spy, quiver, feather, compass and ribbon build coordinate
// rows out of ordinary line series; the arrow strokes are computed here in
// one pass over the arrows.
#include "gui/vector_plots.hpp"
#include "gui/real_values.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "velkor/signal.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr double c = gui::arrow_head;

// A 3 x n stroke matrix with its NaN row in place.
Mm new_strokes(int n)
{
    Mm m(0, 0, 0, 3, n, qv_double);
    if (n == 0) {
        m.getdims()[0] = 3;
        m.getdims()[1] = 0;
    }
    if (m.cols() == n)
        for (int k = 0; k < n; ++k)
            *m.addr(3, k + 1) = NAN;
    return m;
}

// The elements of a value as a row, conjugate-transposed from its column
// form as the language writes ctranspose(A(:)).
std::vector<double> as_row(const Mm& a, const char* who)
{
    std::vector<double> out;
    if (!gui::real_elements(a, out))
        error("%s: arguments must be real", who);
    return out;
}

Mm row_value(const std::vector<double>& v)
{
    Mm m(0, 0, 0, 1, static_cast<int>(v.size()), qv_double);
    if (v.empty()) {
        m.getdims()[0] = 1;
        m.getdims()[1] = 0;
    }
    if (m.cols() == static_cast<int>(v.size()))
        std::copy(v.begin(), v.end(), m.addr());
    return m;
}

// [min(X) - margin, max(X) + margin, min(Y) - ..]: min and max pass over NaN.
void add_limits(std::vector<double>& limits, const std::vector<double>& v, double margin)
{
    double lo = NAN, hi = NAN;
    for (double e : v) {
        if (!(e >= lo) && !std::isnan(e))
            lo = e;
        if (!(e <= hi) && !std::isnan(e))
            hi = e;
    }
    limits.push_back(lo - margin);
    limits.push_back(hi + margin);
}

gui::vector_field arrows_over(const std::vector<double>& X, const std::vector<double>& Y, std::vector<double> U,
                              std::vector<double> V, const Mm& linestyle, double scale, double y_margin,
                              double x_margin)
{
    if (scale > 0) {
        double m = 0;
        for (double e : U)
            m = std::max(m, std::fabs(e));
        for (double e : V)
            m = std::max(m, std::fabs(e));
        if (m > 0 && std::isfinite(m)) {
            const double k = 0.9 * scale / m;
            for (double& e : U)
                e *= k;
            for (double& e : V)
                e *= k;
        }
    }
    gui::vector_field f;
    f.arrows = gui::make_arrows(row_value(X), row_value(Y), row_value(U), row_value(V));
    f.linestyle = linestyle;
    if (!X.empty()) {
        add_limits(f.limits, X, x_margin);
        add_limits(f.limits, Y, y_margin);
    }
    return f;
}

} // namespace

namespace gui {

bool sizes_differ(const Mm& a, const Mm& b) { return istrue(ne(size(a), size(b))) != 0; }

arrow_strokes make_arrows(const Mm& X, const Mm& Y, const Mm& U, const Mm& V)
{
    const int n = X.size();
    if (Y.size() != n || U.size() != n || V.size() != n) {
        // Let the element-wise operations the strokes are made of say why.
        const Mm tip_x = plus(X, U);
        const Mm tip_y = plus(Y, V);
        minus(tip_x, times(Mm(c), plus(U, times(Mm(c), V))));
        minus(tip_y, times(Mm(c), minus(V, times(Mm(c), U))));
        error("arrows: bases and components must have the same length");
        return {};
    }
    arrow_strokes s{new_strokes(n), new_strokes(n), new_strokes(n), new_strokes(n), new_strokes(n), new_strokes(n)};
    for (const Mm* m : {&s.shaft_x, &s.shaft_y, &s.barb1_x, &s.barb1_y, &s.barb2_x, &s.barb2_y})
        if (m->cols() != n)
            return {};  // a refused allocation under a returning error hook
    const double* x = X.addr();
    const double* y = Y.addr();
    const double* u = U.addr();
    const double* v = V.addr();
    double* sx = s.shaft_x.addr();
    double* sy = s.shaft_y.addr();
    double* ax = s.barb1_x.addr();
    double* ay = s.barb1_y.addr();
    double* bx = s.barb2_x.addr();
    double* by = s.barb2_y.addr();
    for (int k = 0; k < n; ++k) {
        const double tx = x[k] + u[k];
        const double ty = y[k] + v[k];
        const int at = 3 * k;
        sx[at] = x[k];
        sx[at + 1] = tx;
        sy[at] = y[k];
        sy[at + 1] = ty;
        ax[at] = tx - c * (u[k] + c * v[k]);
        ax[at + 1] = tx;
        ay[at] = ty - c * (v[k] - c * u[k]);
        ay[at + 1] = ty;
        bx[at] = tx;
        bx[at + 1] = tx - c * (u[k] - c * v[k]);
        by[at] = ty;
        by[at + 1] = ty - c * (v[k] + c * u[k]);
    }
    return s;
}

vector_field quiver_field(const Mm& x, const Mm& y, const Mm& u, const Mm& v, const Mm& s)
{
    if (sizes_differ(u, v)) {
        error("quiver: u,v should be of same size");
        return {};
    }
    if (sizes_differ(x, y)) {
        error("quiver: x,y should be of same size");
        return {};
    }
    if (sizes_differ(x, u)) {
        error("quiver: x,y,u,v should be of same size");
        return {};
    }
    Mm X = x, Y = y;
    if (isvector(x) && isvector(y) && !isvector(u) && !isvector(v))
        meshgrid(x, y, i_o, X, Y);
    const std::vector<double> xs = as_row(X, "quiver"), ys = as_row(Y, "quiver");
    std::vector<double> us = as_row(u, "quiver"), vs = as_row(v, "quiver");
    double scale = 1;
    Mm linestyle = s;
    if (!s.isstr()) {
        std::vector<double> given = as_row(s, "quiver");
        scale = given.empty() ? NAN : given[0];
        linestyle = TM("b-");
    }
    return arrows_over(xs, ys, std::move(us), std::move(vs), linestyle, scale, 2, 2);
}

vector_field quiver_field(const Mm& u, const Mm& v, const Mm& s)
{
    if (sizes_differ(u, v)) {
        error("quiver: u,v should be of same size");
        return {};
    }
    // X holds column numbers, Y row numbers.
    Mm X, Y;
    meshgrid(colon(1, u.cols()), colon(1, u.rows()), i_o, X, Y);
    return quiver_field(X, Y, u, v, s);
}

vector_field feather_field(const Mm& u, const Mm& v, const Mm& linestyle)
{
    if (sizes_differ(u, v)) {
        error("feather: u,v should be of same size");
        return {};
    }
    const int n = u.size() == 0 ? 0 : std::max(u.rows(), u.cols());  // length(u) of a 2-D value
    std::vector<double> X(static_cast<std::size_t>(n)), Y(static_cast<std::size_t>(n), 0.0);
    for (int k = 0; k < n; ++k)
        X[k] = k + 1;
    return arrows_over(X, Y, as_row(u, "feather"), as_row(v, "feather"), linestyle, 0, 4, 2);
}

void compass_spokes(const Mm& u, const Mm& v, Mm& th, Mm& r)
{
    if (sizes_differ(u, v)) {
        error("compass: u,v should be of same size");
        return;
    }
    const std::vector<double> us = as_row(u, "compass"), vs = as_row(v, "compass");
    const std::size_t n = u.size() == 0 ? 0 : static_cast<std::size_t>(std::max(u.rows(), u.cols()));
    if (vs.size() < n) {
        Mm(v(Mm(static_cast<double>(vs.size() + 1))));  // raises the index error
        return;
    }
    std::vector<double> t(2 * n), radius(2 * n);
    for (std::size_t k = 0; k < n; ++k) {
        const double a = std::atan2(us[k], vs[k]);
        t[2 * k] = a;
        t[2 * k + 1] = a;
        radius[2 * k] = std::hypot(us[k], vs[k]);
        radius[2 * k + 1] = 0;
    }
    th = row_value(t);
    r = row_value(radius);
}

} // namespace gui

namespace {

// A stroke matrix read column by column: one polyline, broken after every
// arrow by its NaN row, so that each stroke kind is a single series.
Mm polyline(const Mm& strokes)
{
    const int n = strokes.size();
    Mm line(0, 0, 0, n, 1, qv_double);
    if (line.size() == n && n > 0)
        std::copy(strokes.addr(), strokes.addr() + n, line.addr());
    return line;
}

// One plot call with the three stroke series, then the axis limits; a field
// refused by its checks draws nothing.
Mm draw_field(const gui::vector_field& f)
{
    if (!f.linestyle.isstr())
        return x_M;
    const gui::arrow_strokes& a = f.arrows;
    const Mm h = plot(Mm((CL(polyline(a.shaft_x)), polyline(a.shaft_y), f.linestyle, polyline(a.barb1_x),
                          polyline(a.barb1_y), f.linestyle, polyline(a.barb2_x), polyline(a.barb2_y), f.linestyle)));
    if (f.limits.size() == 4) {
        Mm lim(0, 0, 0, 1, 4, qv_double);
        if (lim.size() != 4)
            return h;
        std::copy(f.limits.begin(), f.limits.end(), lim.addr());
        axis(lim);
    }
    return h;
}

} // namespace

Mm spy(const Mm& S) { return spy(S, TM("ob")); }

Mm spy(const Mm& S, const Mm& linestyle)
{
    Mm i, j;
    find(S, i_o, i, j);
    // Row 1 at the top: written after the plot, whose reset of the axes
    // would undo it.
    const Mm h = plot(Mm((CL(j), i, linestyle)));
    axis(TM("ij"));
    return h;
}

Mm quiver(const Mm& z) { return quiver(real(z), imag(z), TM("b-")); }

Mm quiver(const Mm& a, const Mm& b)
{
    return b.isstr() ? quiver(real(a), imag(a), b) : quiver(a, b, TM("b-"));
}

Mm quiver(const Mm& u, const Mm& v, const Mm& s) { return draw_field(gui::quiver_field(u, v, s)); }

Mm quiver(const Mm& x, const Mm& y, const Mm& u, const Mm& v) { return quiver(x, y, u, v, TM("b-")); }

Mm quiver(const Mm& x, const Mm& y, const Mm& u, const Mm& v, const Mm& s)
{
    return draw_field(gui::quiver_field(x, y, u, v, s));
}

Mm feather(const Mm& z) { return feather(real(z), imag(z), TM("b-")); }

Mm feather(const Mm& a, const Mm& b)
{
    return b.isstr() ? feather(real(a), imag(a), b) : feather(a, b, TM("b-"));
}

Mm feather(const Mm& u, const Mm& v, const Mm& linestyle) { return draw_field(gui::feather_field(u, v, linestyle)); }

Mm compass(const Mm& z) { return compass(real(z), imag(z), TM("o-b")); }

Mm compass(const Mm& a, const Mm& b)
{
    return b.isstr() ? compass(real(a), imag(a), b) : compass(a, b, TM("o-b"));
}

Mm compass(const Mm& u, const Mm& v, const Mm& linestyle)
{
    Mm th, r;  // left 0x0 when the checks refuse the data
    gui::compass_spokes(u, v, th, r);
    if (th.rows() != 1 || r.rows() != 1)
        return x_M;
    return polar(Mm((CL(th), r, linestyle)));
}

Mm ribbon(const Mm& y)
{
    const int n = y.size() == 0 ? 0 : std::max(y.rows(), y.cols());
    return ribbon(colon(1, n), y);
}

Mm ribbon(const Mm& x, const Mm& y)
{
    const Mm h = plot(Mm((CL(x), y)));
    view(Mm(330), Mm(330));
    return h;
}

Mm ribbon(const Mm& x, const Mm& y, const Mm&) { return ribbon(x, y); }
