// Validation and exact construction of Delaunay triangulations. The
// construction inserts the points in their sorted order, so each new point
// lies outside the hull built so far: it is joined to the hull edges it
// sees, and the new edges are flipped until every edge passes the in-circle
// test (Lawson's flips), all decisions taken with exact predicates.
#include "signal/delaunay_robust.hpp"
#include "signal/robust_predicates.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace {

// -1, 0, +1 by y, then x: the order the points are sorted in.
int order(const std::vector<double>& x, const std::vector<double>& y, int a, int b)
{
    if (y[a] != y[b])
        return y[a] < y[b] ? -1 : 1;
    if (x[a] != x[b])
        return x[a] < x[b] ? -1 : 1;
    return 0;
}

} // namespace

bool is_delaunay_triangulation(const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<int>& points, const std::vector<int>& rows)
{
    const int n = int(x.size());
    // counter-clockwise copies of the clockwise rows
    std::vector<int> triangles(rows);
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3)
        std::swap(triangles[t + 1], triangles[t + 2]);
    const std::int64_t count = std::int64_t(triangles.size() / 3);
    auto orient = [&](int a, int b, int c) { return orient2d(x[a], y[a], x[b], y[b], x[c], y[c]); };
    if (count == 0) {
        // valid only when the points are all on one line
        for (std::size_t k = 2; k < points.size(); ++k)
            if (orient(points[0], points[1], points[k]) != 0)
                return false;
        return true;
    }
    // every triangle counter-clockwise, over distinct points in range
    for (std::int64_t t = 0; t < count; ++t) {
        const int* v = &triangles[std::size_t(3 * t)];
        for (int k = 0; k < 3; ++k)
            if (v[k] < 0 || v[k] >= n)
                return false;
        if (!(orient(v[0], v[1], v[2]) > 0))
            return false;
    }
    // the directed edges, grouped by their first point
    std::vector<int> first(std::size_t(n) + 1, 0);
    for (int v : triangles)
        ++first[std::size_t(v) + 1];
    for (int k = 0; k < n; ++k)
        first[std::size_t(k) + 1] += first[std::size_t(k)];
    std::vector<int> fill(first.begin(), first.end() - 1);
    // (target, apex) of each directed edge; each point's run sorted by
    // target, so a repeated edge sits beside its copy and a reverse edge is
    // found by bisection: the check stays n log n for points of high degree
    std::vector<std::pair<int, int>> edges(triangles.size());
    for (std::int64_t t = 0; t < count; ++t)
        for (int k = 0; k < 3; ++k) {
            const int a = triangles[std::size_t(3 * t + k)];
            const int b = triangles[std::size_t(3 * t + (k + 1) % 3)];
            const int c = triangles[std::size_t(3 * t + (k + 2) % 3)];
            edges[std::size_t(fill[std::size_t(a)]++)] = {b, c};
        }
    for (int a = 0; a < n; ++a)
        std::sort(edges.begin() + first[std::size_t(a)], edges.begin() + first[std::size_t(a) + 1],
                  [](const std::pair<int, int>& u, const std::pair<int, int>& v) { return u.first < v.first; });
    auto find = [&](int a, int b) {
        const auto end = edges.begin() + first[std::size_t(a) + 1];
        const auto it = std::lower_bound(edges.begin() + first[std::size_t(a)], end, b,
                                         [](const std::pair<int, int>& u, int v) { return u.first < v; });
        return it != end && it->first == b ? int(it - edges.begin()) : -1;
    };
    // each directed edge once; an edge without its reverse lies on the
    // boundary, at most one leaving each point
    std::vector<int> boundary_next(std::size_t(n), -1);
    std::int64_t boundary = 0;
    int start = -1;
    for (int a = 0; a < n; ++a)
        for (int s = first[std::size_t(a)]; s < first[std::size_t(a) + 1]; ++s) {
            const int b = edges[std::size_t(s)].first;
            if (s + 1 < first[std::size_t(a) + 1] && edges[std::size_t(s) + 1].first == b)
                return false;
            const int back = find(b, a);
            if (back < 0) {
                if (boundary_next[std::size_t(a)] >= 0)
                    return false;
                boundary_next[std::size_t(a)] = b;
                ++boundary;
                start = a;
            } else if (a < b) {
                // an interior edge: the apex across it is not inside the circle
                const int c = edges[std::size_t(s)].second, d = edges[std::size_t(back)].second;
                if (incircle(x[a], y[a], x[b], y[b], x[c], y[c], x[d], y[d]) > 0)
                    return false;
            }
        }
    // the boundary: one cycle that turns left or runs straight on at every
    // point and goes round once (its order changes direction twice)
    if (start < 0)
        return false;
    std::int64_t length = 0;
    int changes = 0;
    int a = start, b = boundary_next[std::size_t(start)];
    do {
        const int c = boundary_next[std::size_t(b)];
        if (c < 0 || ++length > boundary)
            return false;
        const double turn = orient(a, b, c);
        if (turn < 0 || (turn == 0 && order(x, y, a, b) != order(x, y, b, c)))
            return false;
        if (order(x, y, a, b) != order(x, y, b, c))
            ++changes;
        a = b;
        b = c;
    } while (a != start);
    if (length != boundary || changes != 2)
        return false;
    // every point a vertex, and the count of a triangulation with that hull
    std::int64_t used = 0;
    for (int p : points)
        if (first[std::size_t(p) + 1] > first[std::size_t(p)])
            ++used;
    return used == std::int64_t(points.size()) && count == 2 * used - boundary - 2;
}

namespace {

class builder {
public:
    builder(const std::vector<double>& x, const std::vector<double>& y) : x_(x), y_(y) {}

    std::vector<int> run(const std::vector<int>& points);

private:
    const std::vector<double>& x_;
    const std::vector<double>& y_;
    // half-edge e runs from tri_[e] to tri_[next(e)]; its twin is
    // twin_[e] (-1 on the hull); triangle t holds half-edges 3t .. 3t + 2
    std::vector<int> tri_, twin_;
    // the hull, counter-clockwise, over point numbers, with the hull
    // half-edge leaving each hull point
    std::vector<int> hull_next_, hull_prev_, hull_edge_;
    std::vector<int> stack_;

    static int next(int e) { return e % 3 == 2 ? e - 2 : e + 1; }
    double orient(int a, int b, int c) const { return orient2d(x_[a], y_[a], x_[b], y_[b], x_[c], y_[c]); }

    int add_triangle(int a, int b, int c, int ta, int tb, int tc)
    {
        const int t = int(tri_.size());
        tri_.insert(tri_.end(), {a, b, c});
        twin_.insert(twin_.end(), {-1, -1, -1});
        link(t, ta);
        link(t + 1, tb);
        link(t + 2, tc);
        return t;
    }

    void link(int a, int b)
    {
        twin_[std::size_t(a)] = b;
        if (b >= 0)
            twin_[std::size_t(b)] = a;
    }

    void mark_hull(int e)
    {
        if (e >= 0 && twin_[std::size_t(e)] < 0)
            hull_edge_[std::size_t(tri_[std::size_t(e)])] = e;
    }

    void legalize(int start);
};

// Flips edges until the ones around the new point pass the in-circle test.
void builder::legalize(int start)
{
    stack_.assign(1, start);
    while (!stack_.empty()) {
        const int a = stack_.back();
        stack_.pop_back();
        const int b = twin_[std::size_t(a)];
        if (b < 0)
            continue;
        const int a0 = a - a % 3, b0 = b - b % 3;
        const int al = a0 + (a + 1) % 3, ar = a0 + (a + 2) % 3, bl = b0 + (b + 2) % 3, br = b0 + (b + 1) % 3;
        const int p0 = tri_[std::size_t(ar)], pr = tri_[std::size_t(a)], pl = tri_[std::size_t(al)],
                  p1 = tri_[std::size_t(bl)];
        if (!(incircle(x_[pr], y_[pr], x_[pl], y_[pl], x_[p0], y_[p0], x_[p1], y_[p1]) > 0))
            continue;
        tri_[std::size_t(a)] = p1;
        tri_[std::size_t(b)] = p0;
        const int hbl = twin_[std::size_t(bl)], har = twin_[std::size_t(ar)];
        link(a, hbl);
        link(b, har);
        link(ar, bl);
        mark_hull(a);
        mark_hull(b);
        stack_.push_back(br);
        stack_.push_back(a);
    }
}

std::vector<int> builder::run(const std::vector<int>& points)
{
    const std::size_t n = points.size();
    if (n < 3)
        return {};
    std::size_t k = 2;
    while (k < n && orient(points[0], points[1], points[k]) == 0)
        ++k;
    if (k == n)
        return {};  // all on one line
    const std::size_t size = x_.size();
    hull_next_.assign(size, -1);
    hull_prev_.assign(size, -1);
    hull_edge_.assign(size, -1);
    tri_.reserve(6 * n);
    twin_.reserve(6 * n);

    // The collinear run 0 .. k-1 and point k: a fan, the only triangulation.
    const int apex = points[k];
    std::vector<int> chain(points.begin(), points.begin() + std::ptrdiff_t(k));
    if (orient(points[0], points[1], apex) < 0)
        std::reverse(chain.begin(), chain.end());
    int previous = -1;
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        const int t = add_triangle(chain[i], chain[i + 1], apex, -1, -1, previous >= 0 ? previous + 1 : -1);
        hull_edge_[std::size_t(chain[i])] = t;
        previous = t;
    }
    hull_edge_[std::size_t(chain.back())] = previous + 1;
    hull_edge_[std::size_t(apex)] = 2;
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        hull_next_[std::size_t(chain[i])] = chain[i + 1];
        hull_prev_[std::size_t(chain[i + 1])] = chain[i];
    }
    hull_next_[std::size_t(chain.back())] = apex;
    hull_prev_[std::size_t(apex)] = chain.back();
    hull_next_[std::size_t(apex)] = chain.front();
    hull_prev_[std::size_t(chain.front())] = apex;

    int last = apex;
    for (std::size_t j = k + 1; j < n; ++j) {
        const int p = points[j];
        // the hull edges p sees form one chain through the last point
        int from = last, to = last;
        while (orient(hull_prev_[std::size_t(from)], from, p) < 0) {
            from = hull_prev_[std::size_t(from)];
            if (from == last)
                break;
        }
        while (orient(to, hull_next_[std::size_t(to)], p) < 0) {
            to = hull_next_[std::size_t(to)];
            if (to == from)
                break;
        }
        if (from == to)
            continue;  // not reachable for points beyond the hull in the sorted order
        int first_new = -1, prev_new = -1;
        for (int a = from; a != to;) {
            const int b = hull_next_[std::size_t(a)];
            // the triangle (b, a, p) across the hull edge a -> b
            const int t = add_triangle(b, a, p, hull_edge_[std::size_t(a)], -1, -1);
            if (prev_new >= 0)
                link(t + 1, prev_new + 2);
            else
                first_new = t;
            prev_new = t;
            a = b;
        }
        // the hull: from -> p -> to, the points between leave it
        for (int a = hull_next_[std::size_t(from)]; a != to;) {
            const int b = hull_next_[std::size_t(a)];
            hull_next_[std::size_t(a)] = hull_prev_[std::size_t(a)] = -1;
            a = b;
        }
        hull_next_[std::size_t(from)] = p;
        hull_prev_[std::size_t(p)] = from;
        hull_next_[std::size_t(p)] = to;
        hull_prev_[std::size_t(to)] = p;
        hull_edge_[std::size_t(from)] = first_new + 1;
        hull_edge_[std::size_t(p)] = prev_new + 2;
        for (int t = first_new; t <= prev_new; t += 3)
            legalize(t);
        last = p;
    }

    // Emitted in the order of the tops of the circumcircles, then of their
    // centres' x, each triangle from its lowest point (by y, then x) and
    // clockwise, as the sweep emits them.
    const std::size_t count = tri_.size() / 3;
    struct row {
        double top, cx;
        int v[3];
    };
    std::vector<row> rows(count);
    for (std::size_t t = 0; t < count; ++t) {
        int v[3] = {tri_[3 * t], tri_[3 * t + 1], tri_[3 * t + 2]};
        int low = 0;
        for (int m = 1; m < 3; ++m)
            if (order(x_, y_, v[m], v[low]) < 0)
                low = m;
        row& r = rows[t];
        for (int m = 0; m < 3; ++m)
            r.v[m] = v[(low + 3 - m) % 3];
        const double ax = x_[v[0]], ay = y_[v[0]];
        const double bx = x_[v[1]] - ax, by = y_[v[1]] - ay, cx = x_[v[2]] - ax, cy = y_[v[2]] - ay;
        const double d = 2 * (bx * cy - by * cx);
        const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
        const double ux = (cy * b2 - by * c2) / d, uy = (bx * c2 - cx * b2) / d;
        r.top = ay + uy + std::hypot(ux, uy);
        r.cx = ax + ux;
        if (!std::isfinite(r.top) || !std::isfinite(r.cx)) {
            // a sliver whose centre is beyond the range: last
            r.top = INFINITY;
            r.cx = 0;
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const row& a, const row& b) {
        return a.top < b.top || (a.top == b.top && a.cx < b.cx);
    });
    std::vector<int> out;
    out.reserve(3 * count);
    for (const row& r : rows)
        out.insert(out.end(), r.v, r.v + 3);
    return out;
}

} // namespace

std::vector<int> exact_delaunay(const std::vector<double>& x, const std::vector<double>& y,
                                const std::vector<int>& points)
{
    return builder(x, y).run(points);
}
