// Contour lines: marching squares computed here, drawn as ordinary line
// series. The tracer works on raw columns of Z; only the cells a level
// crosses are visited one by one.
#include "contours.hpp"

#include "properties.hpp"
#include "property_names.hpp"

#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr double nan_v = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_v = std::numeric_limits<double>::infinity();

// A full real double matrix from a data argument.
Mm as_real_matrix(const Mm& a)
{
    Mm r = a.issparse() ? full(a) : a;
    if (r.gettype() != qv_double || r.isstr())
        r = mdouble(r);
    return r;
}

// The extremes of all elements, NaN left out.
void extremes(const Mm& a, double& lo, double& hi)
{
    lo = inf_v;
    hi = -inf_v;
    const double* p = a.addr();
    for (int k = 0, n = a.size(); k < n; ++k) {
        lo = std::min(lo, p[k]);
        hi = std::max(hi, p[k]);
    }
}

} // namespace

contour_trace_result contour_trace(const Mm& args)
{
    const int nd = count_data_args(args);
    if (nd < 1 || nd > 4) {
        error("contour: must be of z or z,n or x,y,z or x,y,z,n");
        return {};
    }
    const Mm Z = as_real_matrix(args.mr(nd >= 3 ? 3 : 1));
    if (Z.isc() || Z.getndims() > 2) {
        error("contour: Z must be a real matrix");
        return {};
    }
    const int r = Z.rows(), c = Z.cols();
    double xlo = 1, xhi = c, ylo = 1, yhi = r;
    if (nd >= 3) {
        extremes(as_real_matrix(args.mr(1)), xlo, xhi);
        extremes(as_real_matrix(args.mr(2)), ylo, yhi);
    }
    const double dx = (xhi - xlo) / (c - 1), dy = (yhi - ylo) / (r - 1);
    const Mm style = args.size() > nd ? args.mr(nd + 1) : TM("");
    const bool has_style = style.size() > 0;

    const Mm N = nd == 2 || nd == 4 ? as_real_matrix(args.mr(nd)) : Mm(8.0);
    if (N.isc()) {
        error("contour: N must be real");
        return {};
    }
    const double* given = N.size() > 1 ? N.addr() : nullptr;
    double first = 0, step = 0;
    std::size_t level_count = given ? static_cast<std::size_t>(N.size()) : 0;
    if (N.size() == 1) {
        const double count = *N.addr();
        // Each level is a pass over Z: a count beyond any index is a mistake,
        // not a request to run for ever.
        if (count >= static_cast<double>(std::numeric_limits<int>::max())) {
            error("contour: too many levels");
            return {};
        }
        double zmin = 0, zmax = 0;
        extremes(Z, zmin, zmax);
        step = (zmax - zmin) / (count + 1);
        first = zmin;
        level_count = count >= 1 ? static_cast<std::size_t>(count) : 0;  // 1:N, NaN giving none
    }
    // An explicit vector in its order, or N steps strictly inside the range.
    auto level = [&](std::size_t k) { return given ? given[k] : first + static_cast<double>(k + 1) * step; };

    const double* z = Z.addr();
    auto at = [z, r](int i, int j) { return z[(j - 1) * static_cast<std::ptrdiff_t>(r) + (i - 1)]; };
    const int cells_r = std::max(r - 1, 0), cells_c = std::max(c - 1, 0);
    const std::size_t cells = static_cast<std::size_t>(cells_r) * cells_c;
    // A cell takes part only when its four corners are finite.
    std::vector<std::uint8_t> usable(cells);
    for (int j = 1; j <= cells_c; ++j)
        for (int i = 1; i <= cells_r; ++i)
            usable[(j - 1) * static_cast<std::size_t>(cells_r) + (i - 1)] =
                std::isfinite(at(i, j)) && std::isfinite(at(i + 1, j)) && std::isfinite(at(i, j + 1)) &&
                std::isfinite(at(i + 1, j + 1));

    contour_trace_result out{Mm(), Mm(), inf_v, -inf_v, inf_v, -inf_v};
    std::vector<double> cm;
    std::vector<Mm> list;
    std::vector<std::uint8_t> above(static_cast<std::size_t>(r) * c);
    std::vector<int> marked;
    contour_points points;

    for (std::size_t level_index = 0; level_index < level_count; ++level_index) {
        const double v = level(level_index);
        for (std::size_t k = 0, n = above.size(); k < n; ++k)
            above[k] = z[k] > v;
        auto W = [&above, r](int i, int j) { return above[(j - 1) * static_cast<std::size_t>(r) + (i - 1)]; };
        // A cell is crossed when 0 < s < 4 corners lie above: s & 3 != 0.
        marked.clear();
        for (int j = 0; j < cells_c; ++j) {
            const std::uint8_t* a = above.data() + static_cast<std::size_t>(j) * r;
            const std::uint8_t* b = a + r;
            const std::uint8_t* ok = usable.data() + static_cast<std::size_t>(j) * cells_r;
            int upper = a[0] + b[0];
            for (int i = 0; i < cells_r; ++i) {
                const int lower = a[i + 1] + b[i + 1];
                if (((upper + lower) & 3) && ok[i])
                    marked.push_back(j * cells_r + i);
                upper = lower;
            }
        }

        // Crossing fractions along an edge; a flat edge divides by 1.
        auto across = [&](int i, int j) {
            const double d = at(i, j + 1) - at(i, j);
            return (v - at(i, j)) / (d != 0 ? d : 1);
        };
        auto down = [&](int i, int j) {
            const double d = at(i + 1, j) - at(i, j);
            return (v - at(i, j)) / (d != 0 ? d : 1);
        };
        points.count = 0;
        for (std::size_t k = 0; k < marked.size(); ++k) {
            const int i = marked[k] % cells_r + 1, j = marked[k] / cells_r + 1;
            const bool continued = k + 1 < marked.size() && marked[k + 1] == marked[k] + 1 && i < cells_r;
            const int code = 1000 * W(i, j) + 100 * W(i, j + 1) + 10 * W(i + 1, j) + W(i + 1, j + 1);
            auto top = [&] { contour_append_point(points, j + across(i, j), i); };
            auto bottom = [&] { contour_append_point(points, j + across(i + 1, j), i + 1); };
            auto left = [&] { contour_append_point(points, j, i + down(i, j)); };
            auto right = [&] { contour_append_point(points, j + 1, i + down(i, j + 1)); };
            auto gap = [&] { contour_append_point(points, nan_v, nan_v); };
            switch (code) {
            case 1000:
            case 111: top(), left(), gap(); break;
            case 100:
            case 1011: top(), right(), gap(); break;
            case 10:
            case 1101:
                left();
                if (!continued)
                    bottom(), gap();
                break;
            case 1:
            case 1110:
                right();
                if (!continued)
                    bottom(), gap();
                break;
            case 1100:
            case 11: left(), right(), gap(); break;
            case 1010:
            case 101:
                top();
                if (!continued)
                    bottom(), gap();
                break;
            case 1001:
                top(), left(), gap(), right();
                if (!continued)
                    bottom(), gap();
                break;
            case 110:
                top(), right(), gap(), left();
                if (!continued)
                    bottom(), gap();
                break;
            default: break;
            }
        }

        // Index space to coordinates; then the level's block of CM.
        std::size_t drawn = 0;
        for (std::size_t k = 0; k < points.count; ++k)
            drawn += !std::isnan(points.x(k));
        cm.push_back(v);
        cm.push_back(static_cast<double>(drawn));
        const int count = static_cast<int>(points.count);
        Mm xs(0, 0, 0, 1, count, qv_double), ys(0, 0, 0, 1, count, qv_double);
        if (xs.size() != count || ys.size() != count)
            return out;  // refused storage, already reported
        double* px = count ? xs.addr() : nullptr;
        double* py = count ? ys.addr() : nullptr;
        for (std::size_t k = 0; k < points.count; ++k) {
            px[k] = (points.x(k) - 1) * dx + xlo;
            py[k] = (points.y(k) - 1) * dy + ylo;
            if (std::isnan(points.x(k)))
                continue;
            cm.push_back(px[k]);
            cm.push_back(py[k]);
            out.xmin = std::min(out.xmin, px[k]);
            out.xmax = std::max(out.xmax, px[k]);
            out.ymin = std::min(out.ymin, py[k]);
            out.ymax = std::max(out.ymax, py[k]);
        }
        list.push_back(xs);
        list.push_back(ys);
        if (has_style)
            list.push_back(style);
    }

    // A refused block has been reported already.
    Mm cmv(0, 0, 0, 2, static_cast<int>(cm.size() / 2), qv_double);
    if (cmv.size() != static_cast<int>(cm.size()))
        return out;
    if (!cm.empty())
        std::copy(cm.begin(), cm.end(), cmv.addr());
    Mm cl(0, 0, 0, 1, static_cast<int>(list.size()), qv_cell);
    if (cl.size() != static_cast<int>(list.size()))
        return out;
    for (std::size_t k = 0; k < list.size(); ++k)
        cl.mr(static_cast<int>(k) + 1) = list[k];
    out.cm = cmv;
    out.list = cl;
    out.complete = true;
    return out;
}

Mm contour_lines(const Mm& args, double mode, Mm& h)
{
    const contour_trace_result t = contour_trace(args);
    if (!t.complete)
        return x_M;
    h = plot(t.list);
    if (mode == 2.5 && h.size() > 0)
        set(h, Mm((CL(pn_LineWidth), 8.0)));
    // With no point at any level the limits are still +Inf, -Inf: leave the
    // axes to fit themselves rather than hand them an inverted range.
    if (t.xmin <= t.xmax)
        axis(Mm((BR(t.xmin), t.xmax, t.ymin, t.ymax)));
    return t.cm;
}

Mm contour(const Mm& args)
{
    Mm h;
    return contour_lines(args, 2, h);
}

Mm contour(const Mm& args, i_o_t, Mm& CM, Mm& h)
{
    CM = contour_lines(args, 2, h);
    return CM;
}

Mm contourf(const Mm& args)
{
    Mm h;
    return contour_lines(args, 2.5, h);
}

Mm contourf(const Mm& args, i_o_t, Mm& CM, Mm& h)
{
    CM = contour_lines(args, 2.5, h);
    return CM;
}

// contour3 is the engine's own contour surface: no lines are traced here,
// so there is no contour matrix to give back.
Mm contour3(const Mm& args) { return contour_surface("contour3", args, Mm(3.0)); }

Mm contour3(const Mm& args, i_o_t, Mm& CM, Mm& h)
{
    h = contour_surface("contour3", args, Mm(3.0));
    CM = zeros(0, 0);
    return h;
}
