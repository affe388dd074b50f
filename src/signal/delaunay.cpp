// delaunay and the driver every Delaunay-based function goes through: it
// checks and sorts the points, merges duplicates, runs the sweep (checked,
// and replaced by an exact construction where it fails) and returns the
// triangles or answers the queries by mode.
#include "signal/storage.hpp"
#include "signal/delaunay_internal.hpp"
#include "signal/delaunay_robust.hpp"
#include "signal/delaunay_sweep.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

namespace {

bool site_before(const sweep_site& a, const sweep_site& b) { return a.y < b.y || (a.y == b.y && a.x < b.x); }

// Equal, with a comparison against NaN counting as equal.
bool same_coordinate(double a, double b) { return !(a < b) && !(a > b); }

Mm empty_triangles() { return Mm(0, 0, 0, 0, 3, qv_double); }

// True when two distinct values of one coordinate lie closer than the exact
// predicates can resolve once the data are scaled to their largest
// magnitude (below 2^-200 of it their products underflow): the
// triangulation and its check would then both decide wrongly, unseen.
bool spread_beyond_predicates(const double* v, int n, double big)
{
    if (!(big > 0))
        return false;
    const int e = std::ilogb(big);
    const double limit = std::ldexp(1.0, e - 200);
    // Distinct doubles of magnitude 2^(e-141) and above are spaced wider
    // than the limit, so only values nearer zero can be that close: the
    // few there are (usually none, or zeros) are all that is sorted.
    const double small = std::ldexp(1.0, e - 140);
    std::vector<double> near_zero;
    for (int k = 0; k < n; ++k)
        if (std::fabs(v[k]) < small)
            near_zero.push_back(v[k]);
    std::sort(near_zero.begin(), near_zero.end());
    for (std::size_t k = 1; k < near_zero.size(); ++k) {
        const double gap = near_zero[k] - near_zero[k - 1];
        if (gap > 0 && gap < limit)
            return true;
    }
    return false;
}

// The per-point lists the queries walk, in the order of the triangle rows:
// neighbours (modes 1 and 2) or incident triangles (modes 3 and 4). A point
// merged into another has none: the walks start at point 0, which is always
// kept, and move only to triangle corners.
void fill_lists(sweep_state& st, int n)
{
    const bool neighbours = st.mode == 1 || st.mode == 2;
    const std::size_t rows = st.triangles.size() / 3;
    st.list_first.assign(std::size_t(n) + 1, 0);
    for (int v : st.triangles)
        st.list_first[std::size_t(v) + 1] += neighbours ? 2 : 1;
    for (int k = 0; k < n; ++k)
        st.list_first[std::size_t(k) + 1] += st.list_first[std::size_t(k)];
    st.list_entries.resize(std::size_t(st.list_first.back()));
    std::vector<int> fill(st.list_first.begin(), st.list_first.end() - 1);
    auto add = [&](int v, int e) { st.list_entries[std::size_t(fill[std::size_t(v)]++)] = e; };
    for (std::size_t r = 0; r < rows; ++r) {
        const int b = st.triangles[3 * r], t = st.triangles[3 * r + 1], m = st.triangles[3 * r + 2];
        if (neighbours) {
            add(b, t);
            add(b, m);
            add(t, m);
            add(t, b);
            add(m, b);
            add(m, t);
        } else {
            add(b, int(r));
            add(t, int(r));
            add(m, int(r));
        }
    }
}

} // namespace

Mm delaunay_driver(const Mm& x0, const Mm& y0, const Mm& z, const Mm& presorted, const Mm& xi, const Mm& yi, int mode)
{
    if (x0.size() != y0.size()) {
        error("delaunay: x and y must be same size");
        return x_M;
    }
    const int n = x0.size();
    if (n < 3)
        return empty_triangles();
    const Mm x = mdouble(full(x0)), y = mdouble(full(y0));
    if (x.size() != n || y.size() != n)
        return x_M;  // "Out of memory!" went to a hook that returned
    const double* xv = x.addr();
    const double* yv = y.addr();
    for (int k = 0; k < n; ++k)
        if (!std::isfinite(xv[k]) || !std::isfinite(yv[k])) {
            error("delaunay: x and y must be finite");
            return x_M;
        }
    try {
        const std::size_t s = std::size_t(std::sqrt(double(n) + 4));
        sweep_state st(s);
        st.sqrt_nsites = int(s);
        st.mode = mode;
        st.sites.resize(std::size_t(n));
        st.xmin = st.xmax = xv[0];
        st.ymin = st.ymax = yv[0];
        for (int k = 0; k < n; ++k) {
            if (!(xv[k] >= st.xmin))
                st.xmin = xv[k];
            if (xv[k] > st.xmax)
                st.xmax = xv[k];
            if (!(yv[k] >= st.ymin))
                st.ymin = yv[k];
            if (yv[k] > st.ymax)
                st.ymax = yv[k];
            sweep_site& site = st.sites[std::size_t(k)];
            site.x = xv[k];
            site.y = yv[k];
            site.number = k;
        }
        {
            const double big = std::max({std::fabs(st.xmin), std::fabs(st.xmax), std::fabs(st.ymin), std::fabs(st.ymax)});
            if (spread_beyond_predicates(xv, n, big) || spread_beyond_predicates(yv, n, big)) {
                error("delaunay: points too close together for their size");
                return x_M;
            }
        }
        st.deltax = st.xmax - st.xmin;
        st.deltay = st.ymax - st.ymin;
        // presorted data are checked once and sorted anyway when out of order
        if (presorted.size() == 0 || !std::is_sorted(st.sites.begin(), st.sites.end(), site_before))
            std::sort(st.sites.begin(), st.sites.end(), site_before);
        // Points at the same place are one point: the one first in the
        // caller's order stands for them all.
        std::size_t kept = 0;
        for (std::size_t k = 0; k < st.sites.size();) {
            std::size_t end = k + 1;
            std::size_t keep = k;
            while (end < st.sites.size() && same_coordinate(st.sites[k].x, st.sites[end].x) &&
                   same_coordinate(st.sites[k].y, st.sites[end].y)) {
                if (st.sites[end].number < st.sites[keep].number)
                    keep = end;
                ++end;
            }
            st.sites[kept++] = st.sites[keep];
            k = end;
        }
        st.sites.resize(kept);
        if (kept < 3)
            return empty_triangles();
        std::vector<int> points(kept);
        for (std::size_t k = 0; k < kept; ++k) {
            st.sites[k].sorted = int(k);
            points[k] = st.sites[k].number;
        }
        st.table_rows = 2 * std::int64_t(n) + 50;
        st.triangles.reserve(std::size_t(2 * std::int64_t(n)) * 3);
        sweep_run(st);
        // The sweep decides in floating point; where that fails (points that
        // nearly coincide or lie nearly on one line) the triangulation is
        // built again with exact decisions.
        {
            const double big = std::max({std::fabs(st.xmin), std::fabs(st.xmax), std::fabs(st.ymin), std::fabs(st.ymax)});
            const int e = big > 0 ? std::ilogb(big) : 0;
            std::vector<double> sx(static_cast<std::size_t>(n)), sy(static_cast<std::size_t>(n));
            for (int k = 0; k < n; ++k) {
                sx[std::size_t(k)] = std::ldexp(xv[k], -e);
                sy[std::size_t(k)] = std::ldexp(yv[k], -e);
            }
            if (!is_delaunay_triangulation(sx, sy, points, st.triangles))
                st.triangles = exact_delaunay(sx, sy, points);
        }
        if (mode >= 1)
            fill_lists(st, n);

        const std::int64_t rows = std::int64_t(st.triangles.size() / 3);
        if (mode == 0) {
            if (rows == 0)
                return empty_triangles();
            Mm tri = shaped(0, int(rows), 3);
            for (std::int64_t r = 0; r < rows; ++r)
                for (int c = 0; c < 3; ++c)
                    tri.addr()[r + c * rows] = st.triangles[std::size_t(r * 3 + c)] + 1;
            return tri;
        }
        return answer_queries(st, x, y, z, xi, yi, mode);
    } catch (const std::bad_alloc&) {
        error("Out of memory!");
        return x_M;
    }
}

Mm delaunay_run(const Mm& x, const Mm& y, const Mm& z, const Mm& presorted, const Mm& xi, const Mm& yi, int mode)
{
    return delaunay_driver(x, y, z, presorted, xi, yi, mode);
}

Mm delaunay(const Mm& x, const Mm& y, const Mm& opt) { return delaunay_run(x, y, nop_M, opt, nop_M, nop_M, 0); }
Mm delaunay(const Mm& x, const Mm& y) { return delaunay(x, y, nop_M); }
Mm delaunay(const Mm&) { return Mm(error_input("delaunay", 1)); }
