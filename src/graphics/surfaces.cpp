// Surface plots: mesh, surf and their contour pairs, all one engine
// "surface" object over a resampled grid, and pcolor, a matrix shown as
// colour indices through image. Each call records itself for shading.
#include "graphics/figures.hpp"
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "graphics/surfaces.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "vizmo4510.h"

#include <cmath>
#include <cstring>
#include <string>

// The shading flag and the last surface and pseudo-colour calls, which
// shading draws again; empty until a chart records itself.
int interp_shading = 0;
surface_chart_record last_surface_chart = {{}, Mm(), Mm()};
Mm last_pcolor_args;

namespace {

// The engine takes no larger grid in either direction.
constexpr int max_grid = 500;

Mm number(double v) { return Mm(v); }

Mm pair_row(double a, double b)
{
    Mm r(0, 0, 0, 1, 2, qv_double);
    if (r.size() == 2) {
        r.addr()[0] = a;
        r.addr()[1] = b;
    }
    return r;
}

// Data as plain real doubles: sparse, integer and logical values are
// widened, a complex value gives its real part.
Mm plain(const Mm& v)
{
    if (v.gettype() == qv_double && !v.issparse() && !v.isc())
        return v;
    return mdouble(full(real(v)));
}

struct extent {
    double lo, hi;
};

// Smallest and largest element, NaNs skipped as min and max skip them (and
// infinities too when finite_only); NaN for both when none is left.
extent extent_of(const Mm& v, bool finite_only = false)
{
    extent e{NAN, NAN};
    if (v.gettype() != qv_double)
        return e;
    const double* p = v.addr();
    for (int k = 0, n = v.size(); k < n; ++k) {
        const double a = p[k];
        if (a != a || (finite_only && !std::isfinite(a)))
            continue;
        if (e.lo != e.lo) {
            e.lo = e.hi = a;
        } else {
            e.lo = a < e.lo ? a : e.lo;
            e.hi = a > e.hi ? a : e.hi;
        }
    }
    return e;
}

// A call's argument list; a bare matrix, as a C++ caller may pass it, is the
// list of that one matrix.
Mm as_list(const Mm& a) { return iscell(a) ? a : Mm(CL(a)); }

bool no_parent(const Mm& p)
{
    const Mm r = strcmpi(p, TM("None"));
    return r.size() == 1 && r.gettype() == qv_double && *r.addr(1) != 0;
}

void remember_surface(const char* chart, const Mm& args, const Mm& view_arg)
{
    std::strncpy(last_surface_chart.name, chart, sizeof last_surface_chart.name - 1);
    last_surface_chart.name[sizeof last_surface_chart.name - 1] = '\0';
    last_surface_chart.args = args;
    last_surface_chart.view = view_arg;
    last_pcolor_args = Mm();
}

// Samples Z over the grid of r x c points spanning X and Y and hands the grid
// to the engine; false when a check failed and the error hook returned.
bool send_grid(const Mm& h, const Mm& X, const Mm& Y, const Mm& Z, int r, int c)
{
    const extent xs = extent_of(X), ys = extent_of(Y);
    const Mm yg = linspace(number(ys.lo), number(ys.hi), number(r));
    const Mm xg = linspace(number(xs.lo), number(xs.hi), number(c));
    Mm XG, YG;
    meshgrid(xg, yg, i_o, XG, YG);
    const Mm ZG = interp2(X, Y, Z, XG, YG);
    // Positions at or below 0 have no place on the engine's 3-D axes; a NaN
    // smallest value is no position either.
    if (!(xs.lo > 0) || !(ys.lo > 0)) {
        error("3d plots support only positive indexes");
        return false;
    }
    const int n = XG.size();
    if (YG.size() != n || ZG.size() != n || XG.gettype() != qv_double || YG.gettype() != qv_double ||
        ZG.gettype() != qv_double)
        return false;  // a refused grid, already reported
    vizmo_set_data(*h.addr(1), n, XG.addr(), 1, YG.addr(), 1, ZG.addr(), 0);
    return true;
}

// Rounds half away from zero.
inline double round_half_away(double v) { return v > 0 ? std::floor(v + 0.5) : std::ceil(v - 0.5); }

Mm draw_surface(const char* chart, const Mm& args, const Mm& view_arg);
Mm draw_contour_surface(const char* chart, const Mm& args, const Mm& view_arg);

Mm contour_pair(const char* surface_chart, const Mm& call)
{
    const Mm args = as_list(call);
    // The pair as a whole is drawn again by a new shading, floor included.
    const std::string pair = std::string(surface_chart) + "c";
    remember_surface(pair.c_str(), args, number(3));
    const Mm hc = draw_contour_surface("contour", args, number(3));
    if (hc.size() == 0)
        return x_M;
    hold(TM("on"));
    const Mm hm = draw_surface(surface_chart, args, number(3));
    hold(TM("off"));
    const Mm& Z = count_data_args(args) < 3 ? args.mr(1) : args.mr(3);
    const Mm z = plain(Z);
    if (z.size() > 0)
        set(hc, pn_ContourPosition, number(extent_of(z).lo));
    else
        set(hc, pn_ContourPosition, Mm());
    return vertcat(hc, hm);
}

} // namespace

Mm surface_plot(const char* chart, const Mm& call, const Mm& view_arg)
{
    const Mm args = as_list(call);
    remember_surface(chart, args, view_arg);
    return draw_surface(chart, args, view_arg);
}

namespace {

// surface_plot and contour_surface without their record: the record names
// the chart the caller asked for.
Mm draw_surface(const char* chart, const Mm& args, const Mm& view_arg)
{
    const int n = count_data_args(args);
    if (n > 4) {
        error("%s: use (z), (z,c), (x,y,z) or (x,y,z,c)", chart);
        return x_M;
    }
    const Mm parent = findpropvalue(pn_Parent, TM("None"), args, n + 1);
    if (no_parent(parent))
        newplot();
    else
        axes(Mm(CL(parent)));
    if (hosted_axes.size() == 0)
        set(gca(), pn_Refresh, number(0));

    const Mm h = number(vizmo_create_object("surface", -1));
    set(h, pn_ChartType, TM(chart));
    set(h, pn_Parent, gca());
    const Mm ax = gca();
    set(ax, pn_XLimMode, pv_auto);
    set(ax, pn_YLimMode, pv_auto);
    set(ax, pn_ZLimMode, pv_auto);

    if (n > 0) {
        Mm X, Y, Z;
        if (n <= 2) {
            Z = plain(args.mr(1));
        } else {
            X = plain(args.mr(1));
            Y = plain(args.mr(2));
            Z = plain(args.mr(3));
        }
        // The colours span the finite heights: an infinite one would leave
        // every other face the colour of one end of the map.
        const extent zs = extent_of(Z, true);
        set(ax, pn_CLim, pair_row(zs.lo, zs.hi));
        // The caller's value, so that the message names it.
        if (error_2d(n <= 2 ? args.mr(1) : args.mr(3), "mesh"))
            return x_M;
        if (n <= 2) {
            X = colon(1.0, static_cast<double>(Z.cols()));
            Y = colon(1.0, static_cast<double>(Z.rows()));
        }
        int r = Z.rows(), c = Z.cols();
        if (interp_shading) {
            set(ax, pn_Shading, pv_interp);
            r = c = max_grid;
        }
        r = r < max_grid ? r : max_grid;
        c = c < max_grid ? c : max_grid;
        if (!send_grid(h, X, Y, Z, r, c))
            return x_M;
    }

    view(view_arg);
    // A wire frame keeps the plain 3-D view; filled surfaces want the
    // engine's surface mode.
    if (std::strncmp(chart, "mesh", 4) == 0 || std::strncmp(chart, "contour", 7) == 0)
        view(number(3.5));
    else
        vizmo_set_surface_axes(*gca().addr(1));
    vizmo_set_rotate3d_axes(*gca().addr(1));
    set(h, Mm((CL(pn_Colormap), colormap())));
    set_given(h, pn_Color, minus(number(1), get(gcf(), pn_DefaultAxesColor)));
    set_props_from(h, args, n + 1);
    run_default_callbacks(h, "Surface");
    return h;
}

Mm draw_contour_surface(const char* chart, const Mm& args, const Mm& view_arg)
{
    const int n = count_data_args(args);
    if (n < 1 || n > 4) {
        error("contour: must be of z or z,n or x,y,z or x,y,z,n");
        return x_M;
    }
    // Only the data go to the surface: the caller's pairs, "Parent" among
    // them, reach the object once it stands.
    const Mm data = n <= 2 ? Mm(CL(args.mr(1))) : Mm((CL(args.mr(1)), args.mr(2), args.mr(3)));
    const Mm h = draw_surface(chart, data, view_arg);
    if (h.size() == 0)
        return x_M;
    Mm lines = number(16);
    if (n == 2 || n == 4) {
        const Mm& N = args.mr(n);
        const int len = length(N);
        if (len > 1)
            lines = number(len);
        else if (len == 1)
            lines = N;
    }
    set(h, pn_NumContourLines, lines);
    set_props_from(h, args, n + 1);
    return h;
}

} // namespace

Mm contour_surface(const char* chart, const Mm& call, const Mm& view_arg)
{
    const Mm args = as_list(call);
    // Drawn again with its count of lines, not as the bare surface it makes.
    remember_surface(chart, args, view_arg);
    return draw_contour_surface(chart, args, view_arg);
}

Mm redraw_surface_chart(const char* chart, const Mm& args, const Mm& view_arg)
{
    if (std::strcmp(chart, "surfc") == 0)
        return surfc(args);
    if (std::strcmp(chart, "meshc") == 0)
        return meshc(args);
    if (std::strncmp(chart, "contour", 7) == 0)
        return contour_surface(chart, args, view_arg);
    return surface_plot(chart, args, view_arg);
}

Mm mesh(const Mm& args) { return surface_plot("mesh", args, number(3)); }
Mm surf(const Mm& args) { return surface_plot("surf", args, number(3)); }
Mm surface(const Mm& args) { return surface_plot("surface", args, number(3)); }
Mm surface() { return surface(cell(number(0))); }
Mm surfl(const Mm& args) { return surf(args); }
Mm meshc(const Mm& args) { return contour_pair("mesh", args); }
Mm surfc(const Mm& args) { return contour_pair("surf", args); }

Mm pcolor(const Mm& call)
{
    const Mm args = as_list(call);
    last_pcolor_args = args;
    last_surface_chart.args = Mm();
    const int n = count_data_args(args);
    if (n < 1) {
        error("pcolor needs to have at least one parameter");
        return x_M;
    }
    if (error_2d(args.mr(n), "pcolor"))
        return x_M;
    const Mm D = plain(args.mr(n));
    if (D.gettype() != qv_double)
        return x_M;  // a refused conversion, already reported
    // Holes and infinities have no colour; they show as 0. Without
    // interpolation each cell takes the colour of its lower-left corner, so
    // the last row and column only close the cells and are dropped.
    const int dr = D.rows(), dc = D.cols();
    const int pr = interp_shading || dr == 0 ? dr : dr - 1;
    const int pc = interp_shading || dc == 0 ? dc : dc - 1;
    Mm P(0, 0, 0, pr, pc, qv_double);
    if (P.size() != pr * pc)
        return x_M;
    for (int j = 0; j < pc; ++j) {
        const double* in = D.addr() + static_cast<std::size_t>(j) * dr;
        double* out = P.addr() + static_cast<std::size_t>(j) * pr;
        for (int i = 0; i < pr; ++i)
            out[i] = std::isfinite(in[i]) ? in[i] : 0;
    }
    if (interp_shading) {
        P = interp2(P);
        if (P.gettype() != qv_double)
            return x_M;
    }
    const extent ps = P.size() > 0 ? extent_of(P) : extent{0, 0};
    const double cmin = ps.lo;
    const double cmax = ps.hi == ps.lo ? ps.lo + 1 : ps.hi;

    // The indices of flipud(P): row 1 of the image is the last row of P.
    const int K = colormap().rows();
    const int ar = P.rows(), ac = P.cols();
    Mm A(0, 0, 0, ar, ac, qv_double);
    if (A.size() != ar * ac)
        return x_M;
    for (int j = 0; j < ac; ++j) {
        const double* in = P.addr() + static_cast<std::size_t>(j) * ar;
        double* out = A.addr() + static_cast<std::size_t>(j) * ar;
        for (int i = 0; i < ar; ++i)
            out[i] = round_half_away((K - 1) * (in[ar - 1 - i] - cmin) / (cmax - cmin) + 1);
    }

    Mm B;
    if (n == 3) {
        B = image(Mm((CL(args.mr(1)), args.mr(2), A)));
    } else {
        B = image(Mm(CL(A)));
        const double c = A.cols(), r = A.rows();
        const double xr = interp_shading ? c / 2 : c + 1, yr = interp_shading ? r / 2 : r + 1;
        set(B, Mm((CL(pn_XLim), pair_row(1, xr))));
        set(B, Mm((CL(pn_YLim), pair_row(1, yr))));
        Mm lim(0, 0, 0, 1, 4, qv_double);
        if (lim.size() == 4) {
            lim.addr()[0] = 1, lim.addr()[1] = xr, lim.addr()[2] = 1, lim.addr()[3] = yr;
            set(B, pn_IMLim, lim);
        }
    }
    set(B, pn_CLim, pair_row(cmin, cmax));
    return B;
}
