// Chart commands over the series engine: each names its chart type for the
// engine's drawing and writes a few axes properties after the series.
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>

Mm stem(const Mm& args) { return plot2("stem", 2, args); }
Mm stairs(const Mm& args) { return plot2("stairs", 2, args); }
Mm area(const Mm& args) { return plot2("area", 2, args); }
Mm pie(const Mm& args) { return plot2("pie", 2, args); }

Mm polar(const Mm& args)
{
    const Mm h = plot2("polar", 2, args);
    grid(pv_on);
    return h;
}

Mm semilogx(const Mm& args)
{
    const Mm h = plot2("plot", 2, args);
    set(gca(), TM("XScale"), TM("log"));
    return h;
}

Mm semilogy(const Mm& args)
{
    const Mm h = plot2("plot", 2, args);
    set(gca(), TM("YScale"), TM("log"));
    return h;
}

Mm loglog(const Mm& args)
{
    const Mm h = plot2("plot", 2, args);
    set(gca(), TM("XScale"), TM("log"));
    set(gca(), TM("YScale"), TM("log"));
    return h;
}

Mm plot3(const Mm& args)
{
    const Mm h = plot2("plot3", 3, args);
    view(Mm(3.0));
    return h;
}

Mm pie3(const Mm& args)
{
    const Mm h = plot2("pie", 2, args);
    view(Mm(3.0));
    return h;
}

// ---- bars ----
// A one-character text is a line style (a colour letter); a longer
// one names the stacking and never reaches the line style parse. An
// empty text is an empty line style, not an empty stacking name.

namespace {

// Bar positions 1..n: one per row, or one per element of a row vector,
// which is one series as bar takes it.
Mm rows_range(const Mm& y)
{
    const int n = y.rows() == 1 && y.cols() > 1 ? y.cols() : y.rows();
    return colon(1.0, static_cast<double>(n));
}

Mm stacked(const Mm& h, const Mm& s)
{
    set(h, TM("Stacktype"), s);
    return h;
}

Mm in_3d(const Mm& h)
{
    view(Mm(3.0));
    return h;
}

} // namespace

Mm bar(const Mm& y) { return plot2("bar", 2, Mm((CL(y)))); }

Mm bar(const Mm& a, const Mm& b)
{
    if (b.isstr() && b.size() > 1)
        return stacked(plot2("bar", 2, Mm((CL(a)))), b);
    return plot2("bar", 2, Mm((CL(a), b)));
}

Mm bar(const Mm& x, const Mm& y, const Mm& s)
{
    if (s.size() == 1)
        return plot2("bar", 2, Mm((CL(x), y, s)));
    return stacked(plot2("bar", 2, Mm((CL(x), y))), s);
}

Mm barh(const Mm& y) { return plot2("barh", 2, Mm((CL(y), rows_range(y)))); }

Mm barh(const Mm& a, const Mm& b)
{
    if (!b.isstr())
        return plot2("barh", 2, Mm((CL(b), a)));
    if (b.size() <= 1)
        return plot2("barh", 2, Mm((CL(a), rows_range(a), b)));
    return stacked(plot2("barh", 2, Mm((CL(a), rows_range(a)))), b);
}

Mm barh(const Mm& x, const Mm& y, const Mm& s)
{
    if (s.size() == 1)
        return plot2("barh", 2, Mm((CL(y), x, s)));
    return stacked(plot2("barh", 2, Mm((CL(y), x))), s);
}

Mm bar3(const Mm& y) { return in_3d(bar(y, TM("none"))); }
Mm bar3(const Mm& x, const Mm& y) { return in_3d(bar(x, y, TM("none"))); }
Mm bar3(const Mm& x, const Mm& y, const Mm& s) { return in_3d(bar(x, y, s)); }
Mm bar3h(const Mm& y) { return in_3d(barh(y, TM("none"))); }
Mm bar3h(const Mm& x, const Mm& y) { return in_3d(barh(x, y, TM("none"))); }
Mm bar3h(const Mm& x, const Mm& y, const Mm& s) { return in_3d(barh(x, y, s)); }

// ---- error bars ----
// One "plot" series of vertical segments separated by NaN breaks, then the
// data line over it; both start the colour cycle at blue, so without a
// colour the bars and the line share it. Vectors are read as rows: a column
// gives the same bars as its transpose. The bars carry caps.

namespace {

Mm plain_values(const Mm& v)
{
    if (v.gettype() == qv_double && !issparse(v) && isreal(v))
        return v;
    return mdouble(full(real(v)));
}

Mm handle_row(const Mm& a, const Mm& b)
{
    const int n = a.size() + b.size();
    Mm r(0, 0, 0, n > 0 ? 1 : 0, n, qv_double);
    if (r.size() != n)
        return x_M;  // refused storage, already reported
    double* out = r.addr();
    for (int k = 1; k <= a.size(); ++k)
        *out++ = *a.addr(k);
    for (int k = 1; k <= b.size(); ++k)
        *out++ = *b.addr(k);
    return r;
}

constexpr double cap_size = 8;

Mm error_bars(const Mm& x_in, const Mm& y_in, const Mm& l_in, const Mm& u_in, const Mm& linestyle)
{
    const Mm x = plain_values(x_in), y = plain_values(y_in), l = plain_values(l_in), u = plain_values(u_in);
    const int n = x.size();
    // A one-element error applies to every point, as y - l would.
    auto fits = [n](const Mm& v) { return v.size() == n || v.size() == 1; };
    if (y.size() != n || !fits(l) || !fits(u)) {
        error("errorbar: vectors are not matched");
        return x_M;
    }
    const int m = 3 * n;
    Mm X(0, 0, 0, m, n > 0 ? 1 : 0, qv_double), Y(0, 0, 0, m, n > 0 ? 1 : 0, qv_double);
    if (X.size() != m || Y.size() != m)
        return x_M;  // refused storage, already reported
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int l_step = l.size() == 1 ? 0 : 1, u_step = u.size() == 1 ? 0 : 1;
    const double *xs = x.addr(), *ys = y.addr(), *ls = l.addr(), *us = u.addr();
    double *px = X.addr(), *py = Y.addr();
    for (int j = 0; j < n; ++j) {
        px[3 * j] = px[3 * j + 1] = xs[j];
        px[3 * j + 2] = nan;
        py[3 * j] = ys[j] - ls[j * l_step];
        py[3 * j + 1] = ys[j] + us[j * u_step];
        py[3 * j + 2] = nan;
    }
    const Mm v = plot2("plot", 2, Mm((CL(X), Y, linestyle)));
    // Each bar ends in a cap: the engine strokes one across both ends of
    // every segment of a series with a "CapSize" (in pixels).
    if (v.size() > 0)
        set(v, TM("CapSize"), Mm(cap_size));
    hold(pv_on);
    const Mm r = plot2("plot", 2, Mm((CL(x), y, linestyle)));
    hold(pv_off);
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int j = 0; j < n; ++j)
        if (!std::isnan(xs[j])) {
            lo = std::min(lo, xs[j]);
            hi = std::max(hi, xs[j]);
        }
    // Without a single x value there is no range to show.
    if (lo <= hi) {
        const double f = (hi - lo) / 100;
        Mm lim(0, 0, 0, 1, 2, qv_double);
        if (lim.size() == 2) {
            *lim.addr(1) = lo - f;
            *lim.addr(2) = hi + f;
            set(gca(), Mm((CL(TM("XLim")), lim)));
        }
    }
    return handle_row(v, r);
}

Mm positions(const Mm& y) { return colon(1.0, static_cast<double>(y.size())); }

} // namespace

Mm errorbar(const Mm& y, const Mm& e) { return error_bars(positions(y), y, e, e, TM("b")); }

Mm errorbar(const Mm& a, const Mm& b, const Mm& c)
{
    if (c.isstr())
        return error_bars(positions(a), a, b, b, c);
    return error_bars(a, b, c, c, TM("b"));
}

Mm errorbar(const Mm& x, const Mm& y, const Mm& a, const Mm& b)
{
    if (b.isstr())
        return error_bars(x, y, a, a, b);
    return error_bars(x, y, a, b, TM("b"));
}

Mm errorbar(const Mm& x, const Mm& y, const Mm& l, const Mm& u, const Mm& linestyle)
{
    return error_bars(x, y, l, u, linestyle);
}

// ---- scatter ----
// Circles unless a text says otherwise; the first numeric option is the
// marker size, the second the marker colour, written after the series.

namespace {

struct scatter_options {
    Mm linestyle = TM("o");
    Mm size, colour;
    bool has_size = false, has_colour = false;
};

bool text_is(const Mm& s, const char* word, bool ignore_case)
{
    char text[64] = "";
    if (s.size() >= static_cast<int>(sizeof text))
        return false;
    Mstr(s, text, sizeof text);
    return ignore_case ? strcasecmp(text, word) == 0 : std::strcmp(text, word) == 0;
}

// A text option: scatter takes it as the line style, scatter3 appends
// it; "filled" keeps the circles in both.
scatter_options read_options(const Mm& options, bool append_texts)
{
    scatter_options o;
    const bool list = iscell(options);
    const int n = list ? options.size() : 1;
    for (int k = 1; k <= n; ++k) {
        const Mm& v = list ? options.mr(k) : options;
        if (v.isstr()) {
            if (text_is(v, "filled", !append_texts))
                o.linestyle = TM("o");
            else
                o.linestyle = append_texts ? strcat(Mm((CL(o.linestyle), v))) : v;
        } else if (k == 1) {
            o.size = v;
            o.has_size = true;
        } else if (k == 2) {
            o.colour = v;
            o.has_colour = true;
        }
    }
    return o;
}

Mm marked(const Mm& h, const scatter_options& o)
{
    if (o.has_size)
        set(h, TM("MarkerSize"), o.size);
    if (o.has_colour)
        set(h, TM("MarkerColor"), o.colour);
    return h;
}

} // namespace

Mm scatter(const Mm& x, const Mm& y, const Mm& options)
{
    const scatter_options o = read_options(options, false);
    return marked(plot(Mm((CL(x), y, o.linestyle))), o);
}

Mm scatter3(const Mm& x, const Mm& y, const Mm& z, const Mm& options)
{
    const scatter_options o = read_options(options, true);
    return marked(plot3(Mm((CL(x), y, z, o.linestyle))), o);
}

// ---- two y axes ----

Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, const Mm& y2)
{
    const Mm h = plot(Mm((CL(x1), y1, x2, y2)));
    // Empty data make fewer series than the second axis needs.
    if (h.size() < 2) {
        error("plotyy: expecting two series");
        return h;
    }
    const Mm second(*h.addr(2));
    set(second, Mm((CL(TM("YAxisLocation")), TM("right"))));
    set(second, Mm((CL(TM("XAxisLocation")), TM("top"))));
    return h;
}

Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, const Mm& y2, i_o_t, Mm& ax, Mm& h1)
{
    Mm h2;
    return plotyy(x1, y1, x2, y2, i_o, ax, h1, h2);
}

Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, const Mm& y2, i_o_t, Mm& ax, Mm& h1, Mm& h2)
{
    const Mm h = plotyy(x1, y1, x2, y2);
    if (h.size() < 2)
        return x_M;
    ax = gca();
    h1 = Mm(*h.addr(1));
    h2 = Mm(*h.addr(2));
    return x_M;
}

// ---- calls with too few inputs ----

namespace {

Mm rejected(const char* f, int n)
{
    error_input(f, n);
    return x_M;
}

} // namespace

Mm plotyy(const Mm&) { return rejected("plotyy", 1); }
Mm plotyy(const Mm&, const Mm&) { return rejected("plotyy", 2); }
Mm plotyy(const Mm&, const Mm&, const Mm&) { return rejected("plotyy", 3); }
Mm plotyy(const Mm&, i_o_t, Mm&, Mm&) { return rejected("plotyy", 1); }
Mm plotyy(const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return rejected("plotyy", 2); }
Mm plotyy(const Mm&, const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return rejected("plotyy", 3); }
Mm plotyy(const Mm&, i_o_t, Mm&, Mm&, Mm&) { return rejected("plotyy", 1); }
Mm plotyy(const Mm&, const Mm&, i_o_t, Mm&, Mm&, Mm&) { return rejected("plotyy", 2); }
Mm plotyy(const Mm&, const Mm&, const Mm&, i_o_t, Mm&, Mm&, Mm&) { return rejected("plotyy", 3); }
Mm scatter(const Mm&) { return rejected("scatter", 1); }
Mm scatter(const Mm&, const Mm&) { return rejected("scatter", 2); }
Mm scatter3(const Mm&) { return rejected("scatter3", 1); }
Mm scatter3(const Mm&, const Mm&) { return rejected("scatter3", 2); }
Mm scatter3(const Mm&, const Mm&, const Mm&) { return rejected("scatter3", 3); }
Mm errorbar(const Mm&) { return rejected("errorbar", 1); }
