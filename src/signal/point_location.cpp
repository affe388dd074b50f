// Point location over a Delaunay triangulation: the nearest-point walk on
// the neighbour lists and the enclosing-triangle walk (centroid descent,
// then exact descent) on the incident-triangle lists; tsearch and dsearch.
#include "signal/storage.hpp"
#include "signal/delaunay_internal.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct triangulation {
    const double* x;
    const double* y;
    const std::vector<int>& tri;  // row-major triples
    int p(int t, int c) const { return tri[std::size_t(t) * 3 + std::size_t(c)]; }
};

// Squared distance from (px, py) to the segment a-b.
double segment_distance2(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double qx = (ax - px) + t * dx, qy = (ay - py) + t * dy;
    return qx * qx + qy * qy;
}

// The signed-area products of the inside test for the vertices v.
void weights_of(const double* x, const double* y, const int* v, double px, double py, double& w1, double& w2,
                double& w3)
{
    const double x1 = x[v[0]], y1 = y[v[0]];
    const double x2 = x[v[1]], y2 = y[v[1]];
    const double x3 = x[v[2]], y3 = y[v[2]];
    w1 = (y3 - py) * (x2 - px) - (y2 - py) * (x3 - px);
    w3 = (y2 - py) * (x1 - px) - (y1 - py) * (x2 - px);
    w2 = (x3 - px) * (y1 - py) - (y3 - py) * (x1 - px);
}

void weights(const triangulation& g, int t, double px, double py, double& w1, double& w2, double& w3)
{
    weights_of(g.x, g.y, g.tri.data() + std::size_t(t) * 3, px, py, w1, w2, w3);
}

bool inside(double w1, double w2, double w3) { return w1 * w3 >= 0 && w2 * w1 >= 0 && w3 * w2 >= 0; }

// A square grid over the triangles' centroids, about one triangle per
// cell, holding for each cell the triangle whose centroid lies nearest to
// its centre, or for a cell without one that of a nearest cell with one.
class start_grid {
public:
    start_grid(const std::vector<double>& cx, const std::vector<double>& cy)
    {
        const std::size_t rows = cx.size();
        if (rows == 0)
            return;
        x0_ = *std::min_element(cx.begin(), cx.end());
        y0_ = *std::min_element(cy.begin(), cy.end());
        const double w = *std::max_element(cx.begin(), cx.end()) - x0_;
        const double h = *std::max_element(cy.begin(), cy.end()) - y0_;
        side_ = std::max(1, int(std::sqrt(double(rows))));
        sx_ = w > 0 ? side_ / w : 0;
        sy_ = h > 0 ? side_ / h : 0;
        if (!std::isfinite(sx_) || !std::isfinite(sy_))
            sx_ = sy_ = 0;  // a spread too small to divide: one cell
        cell_.assign(std::size_t(side_) * std::size_t(side_), -1);
        std::vector<double> gap(cell_.size(), INFINITY);
        for (std::size_t t = 0; t < rows; ++t) {
            const int i = index(cx[t], sx_, x0_), j = index(cy[t], sy_, y0_);
            const double ux = (cx[t] - x0_) * sx_ - (i + 0.5), uy = (cy[t] - y0_) * sy_ - (j + 0.5);
            const std::size_t c = std::size_t(j) * std::size_t(side_) + std::size_t(i);
            if (ux * ux + uy * uy < gap[c]) {
                gap[c] = ux * ux + uy * uy;
                cell_[c] = int(t);
            }
        }
        // an empty cell takes the triangle of a nearest filled one
        std::vector<std::size_t> queue;
        queue.reserve(cell_.size());
        for (std::size_t c = 0; c < cell_.size(); ++c)
            if (cell_[c] >= 0)
                queue.push_back(c);
        const std::size_t n = std::size_t(side_);
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const std::size_t c = queue[head], i = c % n, j = c / n;
            const std::size_t around[4] = {i > 0 ? c - 1 : c, i + 1 < n ? c + 1 : c, j > 0 ? c - n : c,
                                           j + 1 < n ? c + n : c};
            for (std::size_t a : around)
                if (cell_[a] < 0) {
                    cell_[a] = cell_[c];
                    queue.push_back(a);
                }
        }
    }

    int at(double px, double py) const
    {
        if (cell_.empty())
            return -1;
        return cell_[std::size_t(index(py, sy_, y0_)) * std::size_t(side_) + std::size_t(index(px, sx_, x0_))];
    }

private:
    int index(double v, double scale, double origin) const
    {
        const double u = (v - origin) * scale;
        if (!(u >= 0))
            return 0;
        return u >= side_ ? side_ - 1 : int(u);
    }

    double x0_ = 0, y0_ = 0, sx_ = 0, sy_ = 0;
    int side_ = 1;
    std::vector<int> cell_;
};

} // namespace

double triangle_distance2(const double* x, const double* y, const int* v, double px, double py)
{
    double w1, w2, w3;
    weights_of(x, y, v, px, py, w1, w2, w3);
    if (inside(w1, w2, w3))
        return 0;
    const double x1 = x[v[0]], y1 = y[v[0]], x2 = x[v[1]], y2 = y[v[1]], x3 = x[v[2]], y3 = y[v[2]];
    return std::min({segment_distance2(px, py, x1, y1, x2, y2), segment_distance2(px, py, x2, y2, x3, y3),
                     segment_distance2(px, py, x3, y3, x1, y1)});
}

namespace {

// The power of two that brings the larger of |dx| and |dy| to about 1, 0
// for a zero or non-finite pair.
int scale_exponent(double dx, double dy)
{
    const double big = std::fmax(std::fabs(dx), std::fabs(dy));
    return big > 0 && std::isfinite(big) ? std::ilogb(big) : 0;
}

} // namespace

Mm answer_queries(const sweep_state& st, const Mm& x, const Mm& y, const Mm& z, const Mm& xi0, const Mm& yi0, int mode)
{
    const Mm xi = mdouble(full(xi0)), yi = mdouble(full(yi0));
    const bool complex = (mode == 2 || mode == 4) && z.isc();
    Mm result = shaped(complex, xi.getndims(), xi.getdims());
    const int m = xi.size();
    double* out = result.addr();
    double* out_im = result.addi();
    const double* zr = z.gettype() == qv_double ? z.addr() : nullptr;
    const double* zi = complex ? z.addi() : nullptr;
    const int rows = int(st.triangles.size() / 3);
    // a point's neighbours (modes 1 and 2) or incident triangles (3 and 4)
    auto around = [&](int v) {
        return std::pair<const int*, const int*>(st.list_entries.data() + st.list_first[std::size_t(v)],
                                                 st.list_entries.data() + st.list_first[std::size_t(v) + 1]);
    };

    if (mode == 1 || mode == 2) {
        const double* xv = x.addr();
        const double* yv = y.addr();
        int s = 0;
        for (int k = 0; k < m; ++k) {
            const double px = xi.addr()[k], py = yi.addr()[k];
            // every data point is infinitely far from a query at infinity:
            // none is nearest, as none is for NaN
            if (!std::isfinite(px) || !std::isfinite(py)) {
                out[k] = NAN;
                if (out_im)
                    out_im[k] = 0;
                continue;
            }
            // Squared distances in the scale of the current nearest point's
            // distance, taken again when the walk has come much nearer: at
            // no scale of the data or the query does a square overflow, or
            // underflow for two points at once (the data are at least 2^-200
            // of their size apart).
            double f = 1;  // 2^-e, exact for e in -1022 .. 1023
            auto rescale = [&] {
                f = std::ldexp(1.0, -std::clamp(scale_exponent(px - xv[s], py - yv[s]), -1022, 1023));
            };
            auto distance = [&](int t) {
                const double dx = (px - xv[t]) * f, dy = (py - yv[t]) * f;
                return dx * dx + dy * dy;
            };
            rescale();
            double best = distance(s);
            for (;;) {
                const int J = s;
                for (auto [it, end] = around(J); it != end; ++it) {
                    const int t = *it;
                    const double d = distance(t);
                    if (d < best) {
                        best = d;
                        s = t;
                    }
                }
                if (best > 0 && best < 0x1p-400) {
                    rescale();
                    best = distance(s);
                    continue;
                }
                if (s == J)
                    break;
            }
            if (mode == 1) {
                out[k] = s + 1;
            } else {
                out[k] = zr[s];
                if (out_im)
                    out_im[k] = zi[s];
            }
        }
        return result;
    }

    // Modes 3 and 4 work on the data and the queries scaled by one power of
    // two (exactly) to the data's size: squared distances and the products
    // of the inside test then neither overflow nor underflow at any scale.
    // A query that leaves the range when scaled lies far outside.
    const int n = x.size();
    double size = 0;
    for (int k = 0; k < n; ++k)
        size = std::fmax(size, std::fmax(std::fabs(x.addr()[k]), std::fabs(y.addr()[k])));
    const int scale = scale_exponent(size, 0);
    std::vector<double> sx(static_cast<std::size_t>(n)), sy(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        sx[std::size_t(k)] = std::ldexp(x.addr()[k], -scale);
        sy[std::size_t(k)] = std::ldexp(y.addr()[k], -scale);
    }
    const double* xv = sx.data();
    const double* yv = sy.data();
    const triangulation g{xv, yv, st.triangles};

    // modes 3 and 4: centroids, then the two descents
    const double third = 1.0 / 3;
    std::vector<double> cx(static_cast<std::size_t>(rows)), cy(static_cast<std::size_t>(rows));
    for (int t = 0; t < rows; ++t) {
        cx[std::size_t(t)] = (xv[g.p(t, 1)] + xv[g.p(t, 2)] + xv[g.p(t, 0)]) * third;
        cy[std::size_t(t)] = (yv[g.p(t, 1)] + yv[g.p(t, 2)] + yv[g.p(t, 0)]) * third;
    }
    auto tri_distance = [&](int t, double px, double py) {
        return triangle_distance2(xv, yv, st.triangles.data() + std::size_t(t) * 3, px, py);
    };
    const start_grid grid(cx, cy);
    auto centroid_distance = [&](int t, double px, double py) {
        return (px - cx[std::size_t(t)]) * (px - cx[std::size_t(t)]) +
               (py - cy[std::size_t(t)]) * (py - cy[std::size_t(t)]);
    };
    int T = 0;
    for (int k = 0; k < m; ++k) {
        const double px = std::ldexp(xi.addr()[k], -scale), py = std::ldexp(yi.addr()[k], -scale);
        out[k] = NAN;
        if (out_im)
            out_im[k] = 0;
        if (!std::isfinite(px) || !std::isfinite(py) || rows == 0)
            continue;
        double best = centroid_distance(T, px, py);
        // A query far from the previous one starts from the triangle of
        // its grid cell instead: the walks stay short for queries in any
        // order.
        const int near = grid.at(px, py);
        if (near >= 0) {
            const double d = centroid_distance(near, px, py);
            if (d < best) {
                best = d;
                T = near;
            }
        }
        for (;;) {
            const int J = T;
            for (int c = 0; c < 3; ++c)
                for (auto [it, end] = around(g.p(T, c)); it != end; ++it) {
                    const int u = *it;
                    const double d = centroid_distance(u, px, py);
                    if (d < best) {
                        best = d;
                        T = u;
                    }
                }
            if (T == J)
                break;
        }
        best = tri_distance(T, px, py);
        while (best > 0) {
            const int J = T;
            for (int c = 0; c < 3 && best > 0; ++c)
                for (auto [it, end] = around(g.p(T, c)); it != end; ++it) {
                    const int u = *it;
                    const double d = tri_distance(u, px, py);
                    if (d < best) {
                        best = d;
                        T = u;
                    }
                    if (best == 0)
                        break;
                }
            if (T == J)
                break;
        }
        double w1, w2, w3;
        weights(g, T, px, py, w1, w2, w3);
        if (!inside(w1, w2, w3))
            continue;
        if (mode == 3) {
            out[k] = T + 1;
        } else {
            const int p1 = g.p(T, 0), p2 = g.p(T, 1), p3 = g.p(T, 2);
            const double scale = 1 / (w3 + (w1 + w2));
            out[k] = (w2 * zr[p2] + (w1 * zr[p1] + w3 * zr[p3])) * scale;
            if (out_im)
                out_im[k] = (w2 * zi[p2] + (w1 * zi[p1] + w3 * zi[p3])) * scale;
        }
    }
    return result;
}

namespace {

Mm point_search_front(const Mm& x, const Mm& y, const Mm& tri, const Mm& xi, const Mm& yi, int mode,
                      const char* name)
{
    if (xi.size() != yi.size()) {
        error("%s: xi and yi must be of same size", name);
        return x_M;
    }
    if (x.size() != y.size()) {
        error("%s: x and y must have same number of rows", name);
        return x_M;
    }
    if (tri.rows() == 0)
        return nop_M;
    return delaunay_run(x, y, nop_M, nop_M, xi, yi, mode);
}

} // namespace

Mm tsearch(const Mm& x, const Mm& y, const Mm& tri, const Mm& xi, const Mm& yi)
{
    return point_search_front(x, y, tri, xi, yi, 3, "tsearch");
}

Mm dsearch(const Mm& x, const Mm& y, const Mm& tri, const Mm& xi, const Mm& yi)
{
    return point_search_front(x, y, tri, xi, yi, 1, "dsearch");
}
