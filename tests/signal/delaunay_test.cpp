// delaunay, tsearch, dsearch and griddata: small pinned cases, the
// messages, invariants of random triangulations, and references from Qhull
// and scipy's gridding.
#include "signal/robust_predicates.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

#include "data/delaunay_reference.inc"
#include "data/griddata_v4_reference.inc"
#include "data/griddata_scales.inc"

Mm row_of(const std::vector<double>& v)
{
    Mm r(0, 0, 0, 1, int(v.size()), qv_double);
    std::copy(v.begin(), v.end(), r.addr());
    return r;
}

std::vector<std::array<int, 3>> sorted_rows(const Mm& tri)
{
    std::vector<std::array<int, 3>> rows;
    for (int r = 1; r <= tri.rows(); ++r) {
        std::array<int, 3> t = {int(tri.r(r, 1)), int(tri.r(r, 2)), int(tri.r(r, 3))};
        std::sort(t.begin(), t.end());
        rows.push_back(t);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

double orient(double ax, double ay, double bx, double by, double cx, double cy)
{
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

// Andrew's monotone chain: the hull's vertex count and area.
void hull(std::vector<std::pair<double, double>> p, int& count, double& area)
{
    std::sort(p.begin(), p.end());
    std::vector<std::pair<double, double>> h(2 * p.size());
    int k = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && orient(h[k - 2].first, h[k - 2].second, h[k - 1].first, h[k - 1].second, p[i].first,
                                p[i].second) <= 0)
            --k;
        h[k++] = p[i];
    }
    for (std::size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= int(t) && orient(h[k - 2].first, h[k - 2].second, h[k - 1].first, h[k - 1].second,
                                     p[i - 1].first, p[i - 1].second) <= 0)
            --k;
        h[k++] = p[i - 1];
    }
    count = k - 1;
    area = 0;
    for (int i = 0; i < count; ++i)
        area += h[i].first * h[i + 1].second - h[i + 1].first * h[i].second;
    area = std::fabs(area) / 2;
}

TEST(Delaunay, SmallCases)
{
    EXPECT_EQ(sorted_rows(delaunay(test::row({0, 1, 0}), test::row({0, 0, 1}))),
              (std::vector<std::array<int, 3>>{{1, 2, 3}}));
    EXPECT_EQ(delaunay(test::row({0, 1, 0, 1}), test::row({0, 0, 1, 1})).rows(), 2);
    // no triangles: the empty value (every empty value of the library is 0x0)
    EXPECT_EQ(delaunay(test::row({0, 1}), test::row({0, 1})).size(), 0);
    EXPECT_EQ(delaunay(test::row({0, 1, 2}), test::row({0, 1, 2})).size(), 0) << "three points on a line";
    // shapes of equal element counts, and the caller's numbering
    const Mm t = delaunay(test::real(3, 1, {5, 0, 0}), test::real(1, 3, {0, 0, 5}));
    EXPECT_EQ(sorted_rows(t), (std::vector<std::array<int, 3>>{{1, 2, 3}}));
    const Mm m = delaunay(test::real(2, 2, {0, 2, 0, 2}), test::real(2, 2, {0, 0, 2, 2}));
    EXPECT_EQ(m.rows(), 2);
    // presorted points give the same result; unsorted ones are sorted anyway
    const Mm x = test::row({0, 1, 0.5, 0.2}), y = test::row({0, 0, 1, 0.4});
    EXPECT_EQ(sorted_rows(delaunay(x, y, Mm(1.0))), sorted_rows(delaunay(x, y)));
}

TEST(Delaunay, Errors)
{
    EXPECT_ERROR(delaunay(test::row({0, 1, 0}), test::row({0, 0})), "delaunay: x and y must be same size");
    EXPECT_ERROR(delaunay(test::row({0, 1, NAN}), test::row({0, 0, 1})), "delaunay: x and y must be finite");
    EXPECT_ERROR(delaunay(test::row({0, 1, 0}), test::row({0, INFINITY, 1})), "delaunay: x and y must be finite");
    EXPECT_ERROR(delaunay(Mm(1.0)), "delaunay does not accept 1 input");
}

TEST(Delaunay, InvariantsOfRandomSets)
{
    for (int seed : {1, 2, 3}) {
        SCOPED_TRACE(seed);
        std::mt19937_64 gen(seed);
        std::uniform_real_distribution<double> u(-1, 1);
        const int n = 2000;
        std::vector<double> xs(n), ys(n);
        for (int k = 0; k < n; ++k) {
            xs[k] = u(gen);
            ys[k] = u(gen);
        }
        const Mm tri = delaunay(row_of(xs), row_of(ys));
        std::vector<std::pair<double, double>> pts(n);
        for (int k = 0; k < n; ++k)
            pts[k] = {xs[k], ys[k]};
        int h;
        double hull_area;
        hull(pts, h, hull_area);
        ASSERT_EQ(tri.rows(), 2 * n - 2 - h);
        double area = 0;
        std::set<int> used;
        for (int r = 1; r <= tri.rows(); ++r) {
            const int a = int(tri.r(r, 1)) - 1, b = int(tri.r(r, 2)) - 1, c = int(tri.r(r, 3)) - 1;
            used.insert(a);
            used.insert(b);
            used.insert(c);
            area += std::fabs(orient(xs[a], ys[a], xs[b], ys[b], xs[c], ys[c])) / 2;
        }
        EXPECT_NEAR(area, hull_area, 1e-9);
        EXPECT_EQ(int(used.size()), n);
        // empty circumcircles, checked against every point for a sample of rows
        for (int r = 1; r <= tri.rows(); r += 37) {
            const int a = int(tri.r(r, 1)) - 1, b = int(tri.r(r, 2)) - 1, c = int(tri.r(r, 3)) - 1;
            const double ax = xs[a], ay = ys[a], bx = xs[b], by = ys[b], cx = xs[c], cy = ys[c];
            const double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
            const double ux = ((ax * ax + ay * ay) * (by - cy) + (bx * bx + by * by) * (cy - ay) +
                               (cx * cx + cy * cy) * (ay - by)) / d;
            const double uy = ((ax * ax + ay * ay) * (cx - bx) + (bx * bx + by * by) * (ax - cx) +
                               (cx * cx + cy * cy) * (bx - ax)) / d;
            const double r2 = (ax - ux) * (ax - ux) + (ay - uy) * (ay - uy);
            for (int k = 0; k < n; ++k)
                ASSERT_GE((xs[k] - ux) * (xs[k] - ux) + (ys[k] - uy) * (ys[k] - uy), r2 * (1 - 1e-9)) << r << " " << k;
        }
    }
}

TEST(Delaunay, GridPointsKeepTheInvariants)
{
    std::vector<double> xs, ys;
    for (int i = 0; i < 15; ++i)
        for (int j = 0; j < 12; ++j) {
            xs.push_back(i);
            ys.push_back(j);
        }
    const Mm tri = delaunay(row_of(xs), row_of(ys));
    const int n = int(xs.size()), h = 2 * (15 + 12) - 4;
    EXPECT_EQ(tri.rows(), 2 * n - 2 - h);
    double area = 0;
    for (int r = 1; r <= tri.rows(); ++r) {
        const int a = int(tri.r(r, 1)) - 1, b = int(tri.r(r, 2)) - 1, c = int(tri.r(r, 3)) - 1;
        area += std::fabs(orient(xs[a], ys[a], xs[b], ys[b], xs[c], ys[c])) / 2;
    }
    EXPECT_NEAR(area, 14.0 * 11.0, 1e-9);
}

std::pair<Mm, Mm> reference_points()
{
    std::vector<double> xs(delaunay_reference_n), ys(delaunay_reference_n);
    for (int k = 0; k < delaunay_reference_n; ++k) {
        xs[k] = std::fmod(k * 0.6180339887498949, 1.0);
        ys[k] = std::fmod(k * 0.7548776662466927 + 0.1 * std::sin(double(k)), 1.0);
    }
    return {row_of(xs), row_of(ys)};
}

TEST(Delaunay, AgainstReferenceTriangulation)
{
    const auto [x, y] = reference_points();
    const auto rows = sorted_rows(delaunay(x, y));
    std::vector<std::array<int, 3>> want;
    for (const auto& r : delaunay_reference_rows)
        want.push_back({r[0], r[1], r[2]});
    EXPECT_EQ(rows, want);
}

// The predicates' signs where the plain formulas round to the wrong side
// or to zero: points a few ulps off the line y = x (the sign is that of
// y - x, exactly), and points just off a circle through exact points.
TEST(RobustPredicates, SignsNearDegeneracy)
{
    const double ulp = 0x1p-53;
    for (int i = -6; i <= 6; ++i)
        for (int j = -6; j <= 6; ++j) {
            SCOPED_TRACE(std::to_string(i) + ", " + std::to_string(j));
            const double px = 0.5 + i * ulp, py = 0.5 + j * ulp;
            const double o = orient2d(12, 12, 24, 24, px, py);
            EXPECT_EQ(o > 0, j > i);
            EXPECT_EQ(o < 0, j < i);
            // the same turn seen from the other points
            EXPECT_EQ(orient2d(px, py, 12, 12, 24, 24) > 0, j > i);
        }
    struct Case {
        const char* what;
        double dx, dy;
        int sign;
    };
    // the circle x^2 + y^2 = 25 through (0, 5), (-5, 0), (0, -5), read
    // counter-clockwise: inside is positive
    const std::vector<Case> cases = {
        {"on the circle", 3, 4, 0},
        {"on the circle, other quadrant", -4, -3, 0},
        {"an ulp outside", 3, 4 + 0x1p-50, -1},
        {"an ulp inside", 3, 4 - 0x1p-50, 1},
        {"far inside", 0.1, 0.2, 1},
        {"far outside", 100, 0, -1},
        {"tiny step inside along x", 5 - 0x1p-50, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const double v = incircle(0, 5, -5, 0, 0, -5, c.dx, c.dy);
        EXPECT_EQ((v > 0) - (v < 0), c.sign);
        // a cyclic shift of the circle's points keeps the sign
        const double w = incircle(-5, 0, 0, -5, 0, 5, c.dx, c.dy);
        EXPECT_EQ((w > 0) - (w < 0), c.sign);
    }
    // differences that are not exact doubles: far-apart magnitudes. a and
    // b lie on y = x, c an ulp above it; d just outside and just inside the
    // circle of radius 2^60 about the origin.
    const double t = 0x1p-70, r = 0x1p60;
    EXPECT_GT(orient2d(t, t, 1, 1, r, r * (1 + 0x1p-52)), 0);
    EXPECT_LT(orient2d(t, t, 1, 1, r * (1 + 0x1p-52), r), 0);
    EXPECT_LT(incircle(0, r, -r, 0, 0, -r, r, t), 0);
    EXPECT_GT(incircle(0, r, -r, 0, 0, -r, r - 128, t), 0);
    EXPECT_EQ(incircle(0, r, -r, 0, 0, -r, r, 0), 0);
}

// A triangulation as a checker sees it, by brute force: every row turns
// clockwise (the order delaunay gives), no two rows overlap, their areas add up to the hull's,
// every distinct point is a vertex (a duplicate by its first occurrence),
// and no point lies strictly inside any circumcircle.
void expect_valid_delaunay(const std::vector<double>& x0, const std::vector<double>& y0, const Mm& tri)
{
    const int n = int(x0.size());
    // a power of two brings the coordinates near 1, where the predicates'
    // products neither overflow nor underflow
    double big = 0;
    for (int k = 0; k < n; ++k)
        big = std::max({big, std::fabs(x0[k]), std::fabs(y0[k])});
    std::vector<double> xs(n), ys(n);
    for (int k = 0; k < n; ++k) {
        xs[k] = std::ldexp(x0[k], -std::ilogb(big));
        ys[k] = std::ldexp(y0[k], -std::ilogb(big));
    }
    ASSERT_EQ(tri.cols(), 3);
    std::vector<std::array<int, 3>> rows;
    // the rows read backwards, counter-clockwise
    for (int r = 1; r <= tri.rows(); ++r)
        rows.push_back({int(tri.r(r, 3)) - 1, int(tri.r(r, 2)) - 1, int(tri.r(r, 1)) - 1});
    auto o = [&](int a, int b, int c) { return orient2d(xs[a], ys[a], xs[b], ys[b], xs[c], ys[c]); };
    double area = 0;
    std::set<int> used;
    for (const auto& t : rows) {
        ASSERT_GT(o(t[0], t[1], t[2]), 0) << t[2] + 1 << " " << t[1] + 1 << " " << t[0] + 1;
        area += 0.5 * std::fabs(orient(xs[t[0]], ys[t[0]], xs[t[1]], ys[t[1]], xs[t[2]], ys[t[2]]));
        used.insert(t.begin(), t.end());
    }
    // interiors are disjoint when some edge of one has the other on its
    // outer side (or on the edge's line)
    auto apart = [&](const std::array<int, 3>& s, const std::array<int, 3>& t) {
        for (int k = 0; k < 3; ++k)
            if (o(s[k], s[(k + 1) % 3], t[0]) <= 0 && o(s[k], s[(k + 1) % 3], t[1]) <= 0 &&
                o(s[k], s[(k + 1) % 3], t[2]) <= 0)
                return true;
        return false;
    };
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = i + 1; j < rows.size(); ++j)
            ASSERT_TRUE(apart(rows[i], rows[j]) || apart(rows[j], rows[i])) << "rows " << i + 1 << " and " << j + 1;
    // the hull with exact turns
    std::vector<int> order(n);
    for (int k = 0; k < n; ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return xs[a] < xs[b] || (xs[a] == xs[b] && ys[a] < ys[b]); });
    std::vector<int> h;
    for (int pass = 0; pass < 2; ++pass) {
        const std::size_t base = h.size();
        for (int k : order) {
            while (h.size() >= base + 2 && o(h[h.size() - 2], h.back(), k) <= 0)
                h.pop_back();
            h.push_back(k);
        }
        h.pop_back();
        std::reverse(order.begin(), order.end());
    }
    double hull_area = 0;  // a fan from the first hull point
    for (std::size_t k = 1; k + 1 < h.size(); ++k)
        hull_area += 0.5 * orient(xs[h[0]], ys[h[0]], xs[h[k]], ys[h[k]], xs[h[k + 1]], ys[h[k + 1]]);
    EXPECT_NEAR(area, hull_area, 1e-9 * hull_area);
    // distinct points: each a vertex, under its first occurrence
    for (int k = 0; k < n; ++k) {
        int first = k;
        for (int j = 0; j < k && first == k; ++j)
            if (xs[j] == xs[k] && ys[j] == ys[k])
                first = j;
        EXPECT_EQ(used.count(k) == 1, first == k) << "point " << k + 1;
    }
    for (const auto& t : rows)
        for (int k = 0; k < n; ++k)
            ASSERT_LE(incircle(xs[t[0]], ys[t[0]], xs[t[1]], ys[t[1]], xs[t[2]], ys[t[2]], xs[k], ys[k]), 0)
                << "point " << k + 1 << " in the circle of " << t[0] + 1 << " " << t[1] + 1 << " " << t[2] + 1;
}

TEST(Delaunay, NearlyCoincidentAndNearlyCollinearSets)
{
    struct Case {
        std::string what;
        std::vector<double> x, y;
        int rows;  // -1: whatever the hull gives
    };
    std::vector<Case> cases;
    for (double d : {1e-12, 1e-15, 0x1p-52, 1e-9})
        cases.push_back({"square, centre and two points " + std::to_string(d) + " from it",
                         {0, 1, 0, 1, .5, .5 + d, .5}, {0, 0, 1, 1, .5, .5, .5 + d}, 8});
    {
        // 100 points with |y| <= 1e-13
        Case c{"100 points nearly on the x axis", {}, {}, -1};
        for (int k = 0; k < 100; ++k) {
            c.x.push_back(k / 99.0);
            c.y.push_back(1e-13 * std::sin(1.7 * k + 0.3));
        }
        cases.push_back(c);
    }
    {
        // 300 points: 150 random ones, each with a twin 1e-12 away
        std::mt19937_64 gen(11);
        std::uniform_real_distribution<double> u(0, 1);
        Case c{"300 points in near-duplicate pairs", {}, {}, -1};
        for (int k = 0; k < 150; ++k) {
            const double px = u(gen), py = u(gen);
            c.x.insert(c.x.end(), {px, px + 1e-12 * u(gen)});
            c.y.insert(c.y.end(), {py, py - 1e-12 * u(gen)});
        }
        cases.push_back(c);
    }
    {
        // exact duplicates, merged into their first occurrence
        Case c{"a grid with every point three times", {}, {}, 2 * 16 - 2 - 12};
        for (int copy = 0; copy < 3; ++copy)
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    c.x.push_back(i);
                    c.y.push_back(j);
                }
        cases.push_back(c);
    }
    cases.push_back({"delaunay([0 1 0 1], [0 0 0 1])", {0, 1, 0, 1}, {0, 0, 0, 1}, 1});
    {
        // a random set at the two ends of the range
        std::mt19937_64 gen(12);
        std::uniform_real_distribution<double> u(-1, 1);
        for (double scale : {1e-300, 1e290}) {
            Case c{scale < 1 ? "40 points of magnitude 1e-300" : "40 points of magnitude 1e290", {}, {}, -1};
            for (int k = 0; k < 40; ++k) {
                c.x.push_back(scale * u(gen));
                c.y.push_back(scale * u(gen));
            }
            cases.push_back(c);
        }
    }
    {
        // a fine grid far from the origin: every quadruple cocircular
        Case c{"a 7x7 grid of ulp steps at 1e6", {}, {}, 2 * 49 - 2 - 24};
        for (int i = 0; i < 7; ++i)
            for (int j = 0; j < 7; ++j) {
                c.x.push_back(1e6 + i * 0x1p-33);
                c.y.push_back(-1e6 + j * 0x1p-33);
            }
        cases.push_back(c);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm tri = delaunay(row_of(c.x), row_of(c.y));
        if (c.rows >= 0) {
            EXPECT_EQ(tri.rows(), c.rows);
        }
        expect_valid_delaunay(c.x, c.y, tri);
    }

    // points exactly on a line have no triangle
    EXPECT_EQ(delaunay(test::row({0, 1, 2, 3, 0.5}), test::row({0, 1, 2, 3, 0.5})).size(), 0);
    EXPECT_EQ(delaunay(test::row({0, 1, 0, 1}), test::row({0, 1, 0, 1})).size(), 0) << "two points, twice";
}

// A cluster far smaller than the set's size lies beyond what the exact
// decisions resolve: a clear error, not a triangulation with points left
// out. The same cluster on its own is an ordinary set.
TEST(Delaunay, ClusterBelowTheResolvableSpread)
{
    std::mt19937_64 gen(13);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<double> cx, cy;
    for (int k = 0; k < 50; ++k) {
        cx.push_back(1e-170 * u(gen));
        cy.push_back(1e-170 * u(gen));
    }
    std::vector<double> x = cx, y = cy;
    x.insert(x.end(), {1, 0, 1.25});
    y.insert(y.end(), {0, 1, 1.0625});
    EXPECT_ERROR(delaunay(row_of(x), row_of(y)), "delaunay: points too close together for their size");
    // one coordinate 1e-170 from another, the rest of the set at 1
    EXPECT_ERROR(delaunay(test::row({0, 1e-170, 1, 0}), test::row({0, 0.5, 1, 1})),
                 "delaunay: points too close together for their size");

    const Mm tri = delaunay(row_of(cx), row_of(cy));
    EXPECT_GT(tri.rows(), 0);
    expect_valid_delaunay(cx, cy, tri);
}

// The set of the first case above, as tsearch and griddata see it: the
// query (0.5, 0.9) lies in the triangle of (0, 1), (1, 1) and a centre point.
TEST(PointLocation, NearlyCoincidentPointsLeaveNoHoles)
{
    const double d = 1e-12;
    const Mm x = test::row({0, 1, 0, 1, .5, .5 + d, .5}), y = test::row({0, 0, 1, 1, .5, .5, .5 + d});
    const Mm tri = delaunay(x, y);
    const Mm t = tsearch(x, y, tri, Mm(0.5), Mm(0.9));
    ASSERT_FALSE(std::isnan(t.r()));
    std::array<int, 3> row = {int(tri.r(int(t.r()), 1)), int(tri.r(int(t.r()), 2)), int(tri.r(int(t.r()), 3))};
    std::sort(row.begin(), row.end());
    EXPECT_EQ(row[0], 3);
    EXPECT_EQ(row[1], 4);
    EXPECT_TRUE(row[2] == 5 || row[2] == 6 || row[2] == 7) << row[2];
    // the plane z = x + 2y is reproduced by the linear method
    std::vector<double> z(7);
    for (int k = 0; k < 7; ++k)
        z[k] = x.addr()[k] + 2 * y.addr()[k];
    EXPECT_NEAR(griddata(x, y, row_of(z), Mm(0.5), Mm(0.9)).r(), 2.3, 1e-12);
    EXPECT_NEAR(griddata(x, y, row_of(z), Mm(0.2), Mm(0.5)).r(), 1.2, 1e-12);
    // a duplicate point answers dsearch under its first number
    const Mm xd = test::row({0, 1, 0, 1, 0}), yd = test::row({0, 0, 1, 1, 0});
    EXPECT_EQ(test::values(dsearch(xd, yd, delaunay(xd, yd), test::row({0.1, 0.9}), test::row({0.1, 0.8}))),
              (std::vector<double>{1, 4}));
}

TEST(PointLocation, TsearchAndDsearch)
{
    const Mm x = test::row({0, 1, 0}), y = test::row({0, 0, 1});
    const Mm tri = delaunay(x, y);
    auto nan_as = [](const Mm& v) {
        auto r = test::values(v);
        for (auto& e : r)
            if (std::isnan(e))
                e = -1;
        return r;
    };
    EXPECT_EQ(nan_as(tsearch(x, y, tri, Mm(0.2), Mm(0.2))), (std::vector<double>{1}));
    EXPECT_EQ(nan_as(tsearch(x, y, tri, Mm(1.0), Mm(1.0))), (std::vector<double>{-1}));
    EXPECT_EQ(nan_as(tsearch(x, y, tri, Mm(0.5), Mm(0.0))), (std::vector<double>{1}));
    EXPECT_EQ(nan_as(tsearch(x, y, tri, Mm(NAN), Mm(0.0))), (std::vector<double>{-1}));
    EXPECT_EQ(test::values(dsearch(x, y, tri, test::row({0.9, 0.1}), test::row({0.05, 0.8}))),
              (std::vector<double>{2, 3}));
    EXPECT_EQ(nan_as(dsearch(x, y, tri, Mm(NAN), Mm(0.5))), (std::vector<double>{-1}));
    // no point is nearest to one at infinity (it was the previous query's answer)
    EXPECT_EQ(nan_as(dsearch(x, y, tri, test::row({0.1, INFINITY, 0.5}), test::row({0.8, 0.5, -INFINITY}))),
              (std::vector<double>{3, -1, -1}));
    EXPECT_EQ(nan_as(tsearch(x, y, tri, Mm(INFINITY), Mm(0.0))), (std::vector<double>{-1}));
    EXPECT_EQ(tsearch(x, y, Mm(), Mm(0.2), Mm(0.2)).size(), 0);
    EXPECT_EQ(dsearch(x, y, Mm(), Mm(0.2), Mm(0.2)).size(), 0);
    EXPECT_EQ(test::extents(tsearch(x, y, tri, test::real(2, 2, {0.1, 0.2, 0.3, 2}), test::real(2, 2, {0.1, 0.1, 0.1, 2}))),
              (std::vector<int>{2, 2}));
    EXPECT_EQ(test::values(dsearch(test::real(3, 1, {0, 1, 0}), y, tri, Mm(0.9), Mm(0.1))), (std::vector<double>{2}));

    EXPECT_ERROR(tsearch(x, y, tri, test::row({1, 2}), Mm(1.0)), "tsearch: xi and yi must be of same size");
    EXPECT_ERROR(tsearch(x, test::row({0, 1}), tri, Mm(1.0), Mm(1.0)), "tsearch: x and y must have same number of rows");
    EXPECT_ERROR(dsearch(x, y, tri, test::row({1, 2}), Mm(1.0)), "dsearch: xi and yi must be of same size");
    EXPECT_ERROR(dsearch(x, test::row({0, 1}), tri, Mm(1.0), Mm(1.0)), "dsearch: x and y must have same number of rows");
}

TEST(PointLocation, RandomQueriesAgainstBruteForce)
{
    struct Case {
        int seed, n, m;
    };
    // a small set, and one where consecutive random queries lie many
    // triangles apart
    for (const Case& set : std::vector<Case>{{9, 500, 400}, {10, 4000, 1500}}) {
        SCOPED_TRACE(set.n);
        std::mt19937_64 gen(set.seed);
        std::uniform_real_distribution<double> u(0, 1);
        const int n = set.n, m = set.m;
        std::vector<double> xs(n), ys(n), qx(m), qy(m);
        for (int k = 0; k < n; ++k) {
            xs[k] = u(gen);
            ys[k] = u(gen);
        }
        for (int k = 0; k < m; ++k) {
            qx[k] = 1.2 * u(gen) - 0.1;
            qy[k] = 1.2 * u(gen) - 0.1;
        }
        const Mm x = row_of(xs), y = row_of(ys), tri = delaunay(x, y);
        const Mm t = tsearch(x, y, tri, row_of(qx), row_of(qy));
        const Mm d = dsearch(x, y, tri, row_of(qx), row_of(qy));
        for (int k = 0; k < m; ++k) {
            // the brute-force answers
            int nearest = 0;
            for (int j = 1; j < n; ++j)
                if (std::hypot(qx[k] - xs[j], qy[k] - ys[j]) < std::hypot(qx[k] - xs[nearest], qy[k] - ys[nearest]))
                    nearest = j;
            EXPECT_EQ(d.addr()[k], nearest + 1) << k;
            int holder = -1;
            bool near_edge = false;
            for (int r = 1; r <= tri.rows(); ++r) {
                const int a = int(tri.r(r, 1)) - 1, b = int(tri.r(r, 2)) - 1, c = int(tri.r(r, 3)) - 1;
                const double o1 = orient(xs[a], ys[a], xs[b], ys[b], qx[k], qy[k]);
                const double o2 = orient(xs[b], ys[b], xs[c], ys[c], qx[k], qy[k]);
                const double o3 = orient(xs[c], ys[c], xs[a], ys[a], qx[k], qy[k]);
                if ((o1 >= 0 && o2 >= 0 && o3 >= 0) || (o1 <= 0 && o2 <= 0 && o3 <= 0)) {
                    holder = r;
                    near_edge = std::min({std::fabs(o1), std::fabs(o2), std::fabs(o3)}) < 1e-12;
                    break;
                }
            }
            if (near_edge)
                continue;
            if (holder < 0)
                EXPECT_TRUE(std::isnan(t.addr()[k])) << k;
            else
                EXPECT_EQ(t.addr()[k], holder) << k;
        }
    }
}

TEST(Griddata, LinearNearestAndBiharmonic)
{
    const Mm x = test::row({0, 1, 0, 1}), y = test::row({0, 0, 1, 1}), z = test::row({0, 1, 1, 2});
    EXPECT_NEAR(griddata(x, y, z, Mm(0.5), Mm(0.5)).r(), 1, 1e-15);
    // coincident points average, NaN values are ignored
    const Mm xd = test::row({0, 1, 0, 1, 1}), yd = test::row({0, 0, 1, 1, 1}), zd = test::row({0, 1, 1, 1, 3});
    EXPECT_NEAR(griddata(xd, yd, zd, Mm(1.0), Mm(1.0)).r(), 2, 1e-15);
    EXPECT_NEAR(griddata(xd, yd, zd, Mm(0.9), Mm(0.9), test::text("nearest")).r(), 2, 1e-15);
    const Mm zn = test::row({0, 1, 1, NAN});
    const Mm withnan = griddata(x, y, zn, Mm(0.25), Mm(0.25));
    EXPECT_NEAR(withnan.r(), 0.5, 1e-15);
    EXPECT_TRUE(std::isnan(griddata(x, y, zn, Mm(0.9), Mm(0.9)).r())) << "outside the hull of the rest";
    EXPECT_TRUE(std::isnan(griddata(x, y, z, Mm(2.0), Mm(0.5)).r()));

    Mm XI, YI, ZI;
    griddata(x, y, z, test::row({0, 0.5, 1}), test::real(3, 1, {0, 0.5, 1}), i_o, XI, YI, ZI);
    EXPECT_EQ(test::extents(ZI), (std::vector<int>{3, 3}));
    EXPECT_EQ(test::extents(XI), (std::vector<int>{3, 3}));
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(ZI.addr()[k], XI.addr()[k] + YI.addr()[k], 1e-15);

    const Mm near = griddata(x, y, z, test::row({0.1, 0.8}), test::row({0.2, 0.9}), test::text("nearest"));
    EXPECT_EQ(test::values(near), (std::vector<double>{0, 2}));

    // the biharmonic surface passes through the data; XI and YI are columns
    const Mm xb = test::row({0, 1, 0, 1, 0.4}), yb = test::row({0, 0, 1, 1, 0.6}), zb = test::row({1, 2, -1, 0.5, 3});
    griddata(xb, yb, zb, xb, yb, test::text("v4"), i_o, XI, YI, ZI);
    EXPECT_EQ(test::extents(XI), (std::vector<int>{5, 1}));
    EXPECT_EQ(test::extents(ZI), (std::vector<int>{1, 5}));
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(ZI.addr()[k], zb.addr()[k], 1e-8) << k;

    // a complex z is carried
    const Mm zc = griddata(x, y, test::complex(1, 4, {0, 1, 1, 2}, {2, 2, 2, 2}), Mm(0.5), Mm(0.5));
    ASSERT_TRUE(zc.isc());
    EXPECT_NEAR(zc.i(), 2, 1e-15);

    // fewer than three points
    EXPECT_EQ(griddata(test::row({0, 1}), test::row({0, 1}), test::row({1, 2}), Mm(0.5), Mm(0.5)).size(), 0);
    EXPECT_ERROR(griddata(x, y, z, test::real(2, 2, {1, 1, 1, 1}), test::row({1, 2})),
                 "griddata: xi and yi are not same size.");
    EXPECT_ERROR(griddata(x, y, z, Mm(0.5), Mm(0.5), Mm(1.0)), "griddata: method must be a string");
}

// griddata(x, y, z, [NaN 0.5], [0.5 0.5], 'v4') was [0 0.8144]: the spline
// summed its NaN terms into 0. A query with a NaN or infinite coordinate
// has no value in any method; the finite queries beside it keep theirs.
TEST(Griddata, NonFiniteQueryHasNoValue)
{
    const Mm x = test::row({0, 1, 0, 1}), y = test::row({0, 0, 1, 1}), z = test::row({0, 1, 1, 2});
    const Mm v4 = griddata(x, y, z, test::row({NAN, 0.5}), test::row({0.5, 0.5}), test::text("v4"));
    ASSERT_EQ(test::extents(v4), (std::vector<int>{1, 2}));
    EXPECT_TRUE(std::isnan(v4.addr()[0]));
    EXPECT_NEAR(v4.addr()[1], griddata_v4_square[0], 1e-14);
    const Mm finite = griddata(x, y, z, test::row({0.5, 0.25, 2}), test::row({0.5, 0.75, -1}), test::text("v4"));
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(finite.addr()[k], griddata_v4_square[k], 1e-14) << k;

    const double bad[] = {NAN, INFINITY, -INFINITY};
    for (const char* method : {"linear", "nearest", "v4"}) {
        for (double b : bad) {
            for (int where = 0; where < 3; ++where) {  // in x, in y, in both
                SCOPED_TRACE(::testing::Message() << method << ", " << b << " in " << where);
                const Mm qx = test::row({0.25, where != 1 ? b : 0.5, 0.75});
                const Mm qy = test::row({0.75, where != 0 ? b : 0.5, 0.25});
                const Mm got = griddata(x, y, z, qx, qy, test::text(method));
                const Mm beside = griddata(x, y, z, test::row({0.25, 0.75}), test::row({0.75, 0.25}),
                                           test::text(method));
                ASSERT_EQ(got.size(), 3);
                EXPECT_TRUE(std::isnan(got.addr()[1]));
                EXPECT_EQ(got.addr()[0], beside.addr()[0]);
                EXPECT_EQ(got.addr()[2], beside.addr()[1]);
            }
        }
    }
    // complex values too
    const Mm zc = griddata(x, y, test::complex(1, 4, {0, 1, 1, 2}, {1, 1, 1, 1}), Mm(NAN), Mm(0.5), test::text("v4"));
    ASSERT_TRUE(zc.isc());
    EXPECT_TRUE(std::isnan(zc.addr()[0]));
    EXPECT_TRUE(std::isnan(zc.addi()[0]));
}

TEST(Griddata, AgainstReference)
{
    const auto [x, y] = reference_points();
    Mm z(0, 0, 0, 1, delaunay_reference_n, qv_double);
    for (int k = 0; k < delaunay_reference_n; ++k)
        z.addr()[k] = std::sin(3 * x.addr()[k]) + y.addr()[k] * y.addr()[k];
    Mm g(0, 0, 0, 1, 7, qv_double);
    for (int k = 0; k < 7; ++k)
        g.addr()[k] = 0.05 + 0.15 * k;
    Mm gt = g;
    gt.reshape(7, 1);
    const Mm zi = griddata(x, y, z, g, gt);
    ASSERT_EQ(zi.size(), 49);
    for (int k = 0; k < 49; ++k) {
        if (std::isnan(griddata_reference[k]))
            EXPECT_TRUE(std::isnan(zi.addr()[k])) << k;
        else
            EXPECT_NEAR(zi.addr()[k], griddata_reference[k], 1e-10) << k;
    }
}

// griddata([0 1 0 1 1], [0 0 1 1 1], [0 1 1 2 4], [.9 .5], [.9 .5], 'v4')
// was [-1.1e15 0] without a word: the repeated point made the spline's
// system singular. Every method takes points at one place as one point
// with the mean of their values, wherever the repeats stand in the data.
TEST(Griddata, RepeatedPointsAreOnePointInEveryMethod)
{
    const Mm qx = test::row({0.9, 0.5}), qy = test::row({0.9, 0.5});
    const Mm x4 = test::row({0, 1, 0, 1}), y4 = test::row({0, 0, 1, 1}), z4 = test::row({0, 1, 1, 3});
    struct Case {
        const char* what;
        Mm x, y, z;
    };
    const std::vector<Case> cases = {
        {"the reported call", test::row({0, 1, 0, 1, 1}), test::row({0, 0, 1, 1, 1}), test::row({0, 1, 1, 2, 4})},
        {"the repeat first", test::row({1, 0, 1, 0, 1}), test::row({1, 0, 0, 1, 1}), test::row({4, 0, 1, 1, 2})},
        {"three at one place", test::row({1, 0, 1, 1, 0, 1}), test::row({1, 0, 1, 0, 1, 1}),
         test::row({2, 0, 3, 1, 1, 4})},
        {"two pairs", test::row({0, 1, 0, 1, 1, 0}), test::row({0, 0, 1, 1, 1, 0}), test::row({-1, 1, 1, 2, 4, 1})},
    };
    for (const char* method : {"linear", "nearest", "v4"}) {
        const Mm want = griddata(x4, y4, z4, qx, qy, test::text(method));
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(method) + ", " + c.what);
            const Mm got = griddata(c.x, c.y, c.z, qx, qy, test::text(method));
            ASSERT_EQ(got.size(), 2);
            for (int k = 0; k < 2; ++k)
                EXPECT_NEAR(got.addr()[k], want.addr()[k], 1e-14) << k;
        }
    }
    // the spline against numpy's solve of the merged system, and through the
    // merged values at the data
    const Mm v4 = griddata(cases[0].x, cases[0].y, cases[0].z, qx, qy, test::text("v4"));
    EXPECT_NEAR(v4.addr()[0], griddata_v4_repeated[0], 1e-14);
    EXPECT_NEAR(v4.addr()[1], griddata_v4_repeated[1], 1e-14);
    const Mm at_data = griddata(cases[0].x, cases[0].y, cases[0].z, x4, y4, test::text("v4"));
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(at_data.addr()[k], z4.addr()[k], 1e-13) << k;
    // complex values merge too
    const Mm zc = griddata(cases[0].x, cases[0].y, test::complex(1, 5, {0, 1, 1, 2, 4}, {0, 0, 0, 2, 4}), Mm(1.0),
                           Mm(1.0), test::text("v4"));
    ASSERT_TRUE(zc.isc());
    EXPECT_NEAR(zc.addr()[0], 3, 1e-13);
    EXPECT_NEAR(zc.addi()[0], 3, 1e-13);
}

// The unit square x = [0 s 0 s], y = [0 0 s s], z = [0 1 1 2] at the query
// (0.7 s, 0.8 s): for s <= 2^-540 or s >= 2^515 the squared distances and
// the products of the inside test left the range, and the searches gave
// NaN, 0, point 1 and triangle 1 or NaN.
TEST(PointLocation, UnitSquareAtEveryScale)
{
    const Mm tri1 = delaunay(test::row({0, 1, 0, 1}), test::row({0, 0, 1, 1}));
    const int t1 = int(tsearch(test::row({0, 1, 0, 1}), test::row({0, 0, 1, 1}), tri1, Mm(0.7), Mm(0.8)).r());
    for (int e : {-1074 + 60, -1000, -600, -541, -540, -300, 0, 300, 514, 515, 600, 1000, 1022}) {
        SCOPED_TRACE(e);
        const double s = std::ldexp(1.0, e);
        const Mm x = test::row({0, s, 0, s}), y = test::row({0, 0, s, s}), z = test::row({0, 1, 1, 2});
        const Mm qx(0.7 * s), qy(0.8 * s);
        const Mm tri = delaunay(x, y);
        EXPECT_NEAR(griddata(x, y, z, qx, qy).r(), 1.5, 1e-15);
        EXPECT_EQ(griddata(x, y, z, qx, qy, test::text("nearest")).r(), 2);
        EXPECT_EQ(dsearch(x, y, tri, qx, qy).r(), 4);
        EXPECT_EQ(tsearch(x, y, tri, qx, qy).r(), t1);
    }
}

// 500 points in [2^40, 2^40 + 1]^2 and 2000 queries inside: 20 queries had
// no triangle (the distance to an edge lost its digits against 2^40 and
// the walk stopped short). Each query strictly inside a triangle by the
// exact orientation test gets that triangle, and the plane z = x + 2y
// comes back from the linear method.
TEST(PointLocation, FarFromTheOrigin)
{
    for (double origin : {0x1p40, -0x1p40, 0x1p20}) {
        SCOPED_TRACE(origin);
        std::mt19937_64 gen(11);
        std::uniform_real_distribution<double> u(0, 1), inner(0.1, 0.9);
        const int n = 500, m = 2000;
        std::vector<double> xs(n), ys(n), zs(n), qx(m), qy(m);
        for (int k = 0; k < n; ++k) {
            xs[k] = origin + u(gen);
            ys[k] = origin + u(gen);
            zs[k] = (xs[k] - origin) + 2 * (ys[k] - origin);  // exact
        }
        for (int k = 0; k < m; ++k) {
            qx[k] = origin + inner(gen);
            qy[k] = origin + inner(gen);
        }
        const Mm x = row_of(xs), y = row_of(ys), tri = delaunay(x, y);
        const Mm t = tsearch(x, y, tri, row_of(qx), row_of(qy));
        const Mm lin = griddata(x, y, row_of(zs), row_of(qx), row_of(qy));
        int strictly_inside = 0;
        for (int k = 0; k < m; ++k) {
            SCOPED_TRACE(k);
            EXPECT_NEAR(lin.addr()[k], (qx[k] - origin) + 2 * (qy[k] - origin), 1e-12);
            ASSERT_FALSE(std::isnan(t.addr()[k]));
            const int r = int(t.addr()[k]);
            const int a = int(tri.r(r, 1)) - 1, b = int(tri.r(r, 2)) - 1, c = int(tri.r(r, 3)) - 1;
            // differences from the origin are exact, and orient2d is
            const auto o = [&](int i, int j) {
                return orient2d(xs[i] - origin, ys[i] - origin, xs[j] - origin, ys[j] - origin, qx[k] - origin,
                                qy[k] - origin);
            };
            const double o1 = o(a, b), o2 = o(b, c), o3 = o(c, a);
            EXPECT_TRUE((o1 >= 0 && o2 >= 0 && o3 >= 0) || (o1 <= 0 && o2 <= 0 && o3 <= 0))
                << o1 << " " << o2 << " " << o3;
            strictly_inside += o1 != 0 && o2 != 0 && o3 != 0;
        }
        EXPECT_GT(strictly_inside, m / 2);
    }
}

// One configuration on a quarter grid (a repeated point among them) under
// every scaling 2^-1000 .. 2^1000 and translations up to 2^50, where every
// coordinate stays exact: tsearch and dsearch give the same numbers, the
// linear and nearest methods the same values within rounding, and the
// biharmonic spline, which depends on the scale through k ln 2, its mpmath
// value at each scale (tools/reference/griddata_scales.py) and the same
// value under each translation.
TEST(PointLocation, ScalingsAndTranslationsChangeNoAnswer)
{
    const std::vector<double> px = {0, 4, 0, 4, 1, 3, 2, 1.25, 3.5, 2.5, 0.5, 2};
    const std::vector<double> py = {0, 0, 4, 4, 1, 1.5, 2.75, 3, 3.25, 0.5, 2, 2.75};
    const std::vector<double> pz = {0, 1, 2, 3, 0.5, -1, 2.25, 1.5, -0.75, 0.25, 1.75, 3.25};
    const std::vector<double> qx = {2, 0.25, 3.75, 1, 3, 2.5, 5, 2, 0, 1};
    const std::vector<double> qy = {2, 0.25, 3.75, 3.5, 2.25, 1, 5, 2.75, 2, 1};
    const Mm z = row_of(pz);
    struct Answers {
        Mm tri, t, d, lin, near, v4;
    };
    auto answers = [&](double s, double shift) {
        std::vector<double> x(px.size()), y(py.size()), ax(qx.size()), ay(qy.size());
        for (std::size_t k = 0; k < px.size(); ++k) {
            x[k] = s * (px[k] + shift);
            y[k] = s * (py[k] + shift);
        }
        for (std::size_t k = 0; k < qx.size(); ++k) {
            ax[k] = s * (qx[k] + shift);
            ay[k] = s * (qy[k] + shift);
        }
        const Mm mx = row_of(x), my = row_of(y), mqx = row_of(ax), mqy = row_of(ay), tri = delaunay(mx, my);
        return Answers{tri, tsearch(mx, my, tri, mqx, mqy), dsearch(mx, my, tri, mqx, mqy), griddata(mx, my, z, mqx, mqy),
                       griddata(mx, my, z, mqx, mqy, test::text("nearest")),
                       griddata(mx, my, z, mqx, mqy, test::text("v4"))};
    };
    const Answers base = answers(1, 0);
    // The corners of the triangle tsearch reported (their numbers may change
    // with the scale, as the triangulation's rows may), and whether it
    // holds the query, by exact orientations of the configuration itself.
    auto corners = [&](const Answers& a, std::size_t k) {
        const int t = int(a.t.addr()[k]);
        std::array<int, 3> v = {int(a.tri.r(t, 1)) - 1, int(a.tri.r(t, 2)) - 1, int(a.tri.r(t, 3)) - 1};
        std::sort(v.begin(), v.end());
        return v;
    };
    auto holds = [&](const std::array<int, 3>& v, std::size_t k, bool strictly) {
        const double o1 = orient2d(px[v[0]], py[v[0]], px[v[1]], py[v[1]], qx[k], qy[k]);
        const double o2 = orient2d(px[v[1]], py[v[1]], px[v[2]], py[v[2]], qx[k], qy[k]);
        const double o3 = orient2d(px[v[2]], py[v[2]], px[v[0]], py[v[0]], qx[k], qy[k]);
        if (strictly)
            return (o1 > 0 && o2 > 0 && o3 > 0) || (o1 < 0 && o2 < 0 && o3 < 0);
        return (o1 >= 0 && o2 >= 0 && o3 >= 0) || (o1 <= 0 && o2 <= 0 && o3 <= 0);
    };
    // the answers at scale 1 by their own properties: the linear value is
    // the plane of the reported triangle, the nearest value is the value
    // (the repeated point's mean) of the nearest point
    for (std::size_t k = 0; k < qx.size(); ++k) {
        SCOPED_TRACE(k);
        const double t = base.t.addr()[k];
        if (std::isnan(t)) {
            EXPECT_EQ(k, 6u) << "only (5, 5) lies outside";
            EXPECT_TRUE(std::isnan(base.lin.addr()[k]));
            continue;
        }
        const auto [a, b, c] = corners(base, k);
        EXPECT_TRUE(holds({a, b, c}, k, false));
        const double area = orient2d(px[a], py[a], px[b], py[b], px[c], py[c]);
        const double la = orient2d(qx[k], qy[k], px[b], py[b], px[c], py[c]) / area;
        const double lb = orient2d(px[a], py[a], qx[k], qy[k], px[c], py[c]) / area;
        const double lc = orient2d(px[a], py[a], px[b], py[b], qx[k], qy[k]) / area;
        EXPECT_GE(std::min({la, lb, lc}), 0);
        auto value = [&](int i) { return px[i] == 2 && py[i] == 2.75 ? 2.75 : pz[i]; };
        EXPECT_NEAR(base.lin.addr()[k], la * value(a) + lb * value(b) + lc * value(c), 1e-14);
        int nearest = 0;
        for (std::size_t j = 1; j < px.size(); ++j)
            if (std::hypot(qx[k] - px[j], qy[k] - py[j]) < std::hypot(qx[k] - px[nearest], qy[k] - py[nearest]))
                nearest = int(j);
        EXPECT_EQ(base.d.addr()[k], nearest + 1);
        EXPECT_EQ(base.near.addr()[k], value(nearest));
    }
    for (const auto& [e, v4] : griddata_v4_scales) {
        for (double shift : {0.0, 0x1p20, -0x1p20, 0x1p50, -0x1p50}) {
            if (std::fabs(shift) >= 0x1p50 && e > 970)
                continue;  // past the largest double
            SCOPED_TRACE(::testing::Message() << "scale 2^" << e << ", shift " << shift);
            const Answers got = answers(std::ldexp(1.0, e), shift);
            for (std::size_t k = 0; k < qx.size(); ++k) {
                SCOPED_TRACE(k);
                const auto same = [](double a, double b, double tol) {
                    return (std::isnan(a) && std::isnan(b)) || std::fabs(a - b) <= tol;
                };
                EXPECT_EQ(std::isnan(got.t.addr()[k]), std::isnan(base.t.addr()[k]));
                if (!std::isnan(got.t.addr()[k]) && !std::isnan(base.t.addr()[k])) {
                    EXPECT_TRUE(holds(corners(got, k), k, false));
                    if (holds(corners(base, k), k, true)) {
                        EXPECT_EQ(corners(got, k), corners(base, k));
                    }
                }
                EXPECT_EQ(got.d.addr()[k], base.d.addr()[k]);
                EXPECT_TRUE(same(got.lin.addr()[k], base.lin.addr()[k], 1e-15)) << got.lin.addr()[k];
                EXPECT_EQ(got.near.addr()[k], base.near.addr()[k]);
                // the system's condition grows with |k| ln 2, the weight of
                // the squared distances beside the logarithmic part
                EXPECT_NEAR(got.v4.addr()[k], v4[k], 5e-14 * (16 + std::abs(e)) * std::max(1.0, std::fabs(v4[k])));
            }
        }
    }
}

} // namespace

