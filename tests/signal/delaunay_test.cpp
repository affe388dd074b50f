// delaunay, tsearch, dsearch and griddata: small pinned cases, the
// messages, invariants of random triangulations, and references from Qhull
// and scipy's gridding.
#include "test_support.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace {

#include "data/delaunay_reference.inc"

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
    EXPECT_ERROR(delaunay(test::row({0, 1, 0, 1}), test::row({0, 0, 0, 1})), "delaunay: duplicate data point(s)");
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
    std::mt19937_64 gen(9);
    std::uniform_real_distribution<double> u(0, 1);
    const int n = 500, m = 400;
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

} // namespace
