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
    const double qx = ax + t * dx - px, qy = ay + t * dy - py;
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

Mm answer_queries(const sweep_state& st, const Mm& x, const Mm& y, const Mm& z, const Mm& xi0, const Mm& yi0, int mode)
{
    const Mm xi = mdouble(full(xi0)), yi = mdouble(full(yi0));
    const bool complex = (mode == 2 || mode == 4) && z.isc();
    Mm result = shaped(complex, xi.getndims(), xi.getdims());
    const int m = xi.size();
    double* out = result.addr();
    double* out_im = result.addi();
    const double* xv = x.addr();
    const double* yv = y.addr();
    const double* zr = z.gettype() == qv_double ? z.addr() : nullptr;
    const double* zi = complex ? z.addi() : nullptr;
    const triangulation g{xv, yv, st.triangles};
    const int rows = int(st.triangles.size() / 3);

    if (mode == 1 || mode == 2) {
        int s = 0;
        for (int k = 0; k < m; ++k) {
            const double px = xi.addr()[k], py = yi.addr()[k];
            if (px != px || py != py) {
                out[k] = NAN;
                if (out_im)
                    out_im[k] = 0;
                continue;
            }
            double best = (px - xv[s]) * (px - xv[s]) + (py - yv[s]) * (py - yv[s]);
            for (;;) {
                const int J = s;
                for (int t : st.lists[std::size_t(J)]) {
                    const double d = (px - xv[t]) * (px - xv[t]) + (py - yv[t]) * (py - yv[t]);
                    if (d < best) {
                        best = d;
                        s = t;
                    }
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
    int T = 0;
    for (int k = 0; k < m; ++k) {
        const double px = xi.addr()[k], py = yi.addr()[k];
        out[k] = NAN;
        if (out_im)
            out_im[k] = 0;
        if (px != px || py != py || rows == 0)
            continue;
        double best = (px - cx[std::size_t(T)]) * (px - cx[std::size_t(T)]) +
                      (py - cy[std::size_t(T)]) * (py - cy[std::size_t(T)]);
        for (;;) {
            const int J = T;
            for (int c = 0; c < 3; ++c)
                for (int u : st.lists[std::size_t(g.p(T, c))]) {
                    const double d = (px - cx[std::size_t(u)]) * (px - cx[std::size_t(u)]) +
                                     (py - cy[std::size_t(u)]) * (py - cy[std::size_t(u)]);
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
                for (int u : st.lists[std::size_t(g.p(T, c))]) {
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
