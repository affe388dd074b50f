// The surface charts: the grid the engine receives, the order of the writes,
// the view treatment of each chart, the contour pairs and the pseudo-colour
// indices of pcolor.
#include "graphics/surfaces.hpp"
#include "picture.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

using test::cell_row;
using test::real;
using test::row;
using test::text;

double h_of(const Mm& h) { return *h.addr(1); }
double axes_now() { return h_of(gca()); }

// The axes' writes after the last write of name.
std::vector<std::string> writes_after(double h, const char* name)
{
    const std::vector<std::string> w = vt::writes(h);
    const auto last = std::find(w.rbegin(), w.rend(), name);
    return std::vector<std::string>(last.base(), w.end());
}

std::vector<int> dims_of(const vt::Value& v) { return {v.dims[0], v.dims[1]}; }

int count_of(const std::vector<std::string>& w, const char* name)
{
    return static_cast<int>(std::count(w.begin(), w.end(), name));
}

// Each test starts from an empty engine and flat shading, and leaves no
// record behind for the next.
class Surfaces : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear()
    {
        vt::reset();
        interp_shading = 0;
        last_surface_chart.name[0] = '\0';
        last_surface_chart.args = Mm();
        last_surface_chart.view = Mm();
        last_pcolor_args = Mm();
    }
};

TEST_F(Surfaces, MeshHandsTheEngineTheGridOfItsMatrix)
{
    // Z(r, c) = 10 r + c: the grid must put r along rows and c along columns.
    const Mm Z = real(3, 4, {11, 21, 31, 12, 22, 32, 13, 23, 33, 14, 24, 34});
    const Mm h = mesh(cell_row({Z}));
    const double s = h_of(h);
    EXPECT_EQ(vt::type(s), "surface");
    EXPECT_EQ(vt::parent(s), axes_now());
    const vt::Bulk d = vt::data(s);
    EXPECT_EQ(dims_of(d.x), (std::vector<int>{3, 4}));
    EXPECT_EQ(d.x.data, (std::vector<double>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
    EXPECT_EQ(d.y.data, (std::vector<double>{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(d.z.data, test::values(Z));
    EXPECT_EQ(vt::prop(axes_now(), "CLim").data, (std::vector<double>{11, 34}));
    EXPECT_EQ(vt::prop(s, "ChartType").text(), "mesh");
    EXPECT_EQ(vt::writes(s), (std::vector<std::string>{"ChartType", "Parent", "XData", "YData", "ZData", "Colormap",
                                                       "Color", "CreateFcn", "DeleteFcn"}));
}

TEST_F(Surfaces, EachChartNamesItselfAndPicksItsView)
{
    struct Case {
        const char* chart;
        Mm (*front)(const Mm&);
        bool surface_mode;  // the engine's surface mode, else view 3.5 after view 3
    };
    const std::vector<Case> cases = {
        {"mesh", mesh, false},
        {"surf", surf, true},
        {"surface", surface, true},
        {"surf", surfl, true},
    };
    const Mm Z = real(2, 2, {1, 2, 3, 4});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chart);
        vt::reset();
        const double s = h_of(c.front(cell_row({Z})));
        const double a = axes_now();
        EXPECT_EQ(vt::prop(s, "ChartType").text(), c.chart);
        EXPECT_EQ(writes_after(a, "ZLimMode"), c.surface_mode ? (std::vector<std::string>{"CLim", "View"})
                                                               : (std::vector<std::string>{"CLim", "View", "View"}));
        EXPECT_EQ(vt::prop(a, "View").data, (std::vector<double>{c.surface_mode ? 3.0 : 3.5}));
        EXPECT_EQ(vt::modes().surface_axes, c.surface_mode ? a : 0.0);
        EXPECT_EQ(vt::modes().rotate3d_axes, a);
        for (const char* mode : {"XLimMode", "YLimMode", "ZLimMode"})
            EXPECT_EQ(vt::prop(a, mode).text(), "auto") << mode;
        EXPECT_EQ(vt::prop(a, "Refresh").data, (std::vector<double>{0}));
    }
}

TEST_F(Surfaces, TheSurfaceTakesTheMapAndTheComplementOfTheAxesColour)
{
    const Mm f = gcf();
    set(f, text("DefaultAxesColor"), row({0.25, 1, 0}));
    const Mm map = real(2, 3, {0, 1, 0, 1, 0, 1});
    set(f, text("ColorMap"), map);
    const double s = h_of(surf(cell_row({real(2, 2, {1, 2, 3, 4})})));
    EXPECT_EQ(vt::prop(s, "Color").data, (std::vector<double>{0.75, 0, 1}));
    EXPECT_EQ(vt::prop(s, "Colormap").data, test::values(map));
}

TEST_F(Surfaces, LargeMatricesAreResampledToAtMost500Points)
{
    struct Case {
        const char* what;
        int rows, cols;
        bool interp;
        int grid_rows, grid_cols;
    };
    const std::vector<Case> cases = {
        {"tall", 1000, 20, false, 500, 20},
        {"wide", 7, 501, false, 7, 500},
        {"small, interpolated", 3, 4, true, 500, 500},
        {"tall, interpolated", 1000, 20, true, 500, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        interp_shading = c.interp ? 1 : 0;
        // A plane is sampled exactly by bilinear interpolation.
        Mm Z(0, 0, 0, c.rows, c.cols, qv_double);
        for (int j = 1; j <= c.cols; ++j)
            for (int i = 1; i <= c.rows; ++i)
                *Z.addr(i, j) = 3.0 * i - 2.0 * j;
        const double s = h_of(surf(cell_row({Z})));
        const vt::Bulk d = vt::data(s);
        ASSERT_EQ(dims_of(d.z), (std::vector<int>{c.grid_rows, c.grid_cols}));
        const int n = c.grid_rows * c.grid_cols;
        EXPECT_DOUBLE_EQ(d.x.data.front(), 1);
        EXPECT_DOUBLE_EQ(d.x.data.back(), c.cols);
        EXPECT_DOUBLE_EQ(d.y.data.front(), 1);
        EXPECT_DOUBLE_EQ(d.y.data.back(), c.rows);
        for (int k = 0; k < n; ++k)
            ASSERT_NEAR(d.z.data[k], 3.0 * d.y.data[k] - 2.0 * d.x.data[k], 1e-9 * c.rows) << k;
        EXPECT_EQ(vt::prop(axes_now(), "Shading").text(), c.interp ? "interp" : "");
    }
}

TEST_F(Surfaces, CoordinatesSpanTheGridAndMustBePositive)
{
    const Mm Z = real(2, 3, {1, 2, 3, 4, 5, 6});
    {
        // x and y as vectors of any orientation: only their ranges matter.
        const double s = h_of(mesh(cell_row({row({2, 4, 6}), real(2, 1, {10, 20}), Z})));
        const vt::Bulk d = vt::data(s);
        EXPECT_EQ(d.x.data, (std::vector<double>{2, 2, 4, 4, 6, 6}));
        EXPECT_EQ(d.y.data, (std::vector<double>{10, 20, 10, 20, 10, 20}));
        EXPECT_EQ(d.z.data, test::values(Z));
    }
    struct Case {
        const char* what;
        Mm x, y;
    };
    const std::vector<Case> cases = {
        {"x from 0", row({0, 1, 2}), row({1, 2})},
        {"y below 0", row({1, 2, 3}), row({-1, 2})},
        {"x all NaN", row({NAN, NAN, NAN}), row({1, 2})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        EXPECT_ERROR(surf(cell_row({c.x, c.y, Z})), "3d plots support only positive indexes");
        // The object stands, its limits set, without data.
        std::vector<double> surfaces;
        for (double k : vt::children(axes_now()))
            if (vt::type(k) == "surface")
                surfaces.push_back(k);
        ASSERT_EQ(surfaces.size(), 1u);
        EXPECT_TRUE(vt::data(surfaces[0]).x.empty());
        EXPECT_EQ(vt::prop(axes_now(), "CLim").data, (std::vector<double>{1, 6}));
    }
}

TEST_F(Surfaces, DataCountsAndShapes)
{
    const Mm Z = real(2, 2, {1, 2, 3, 4});
    Mm Z3(0, 0, 0, 3, std::vector<int>{2, 2, 2}.data(), qv_double);
    for (int k = 1; k <= 8; ++k)
        *Z3.addr(k) = k;
    // W is accepted and unused.
    const double s = h_of(surf(cell_row({Z, real(2, 2, {9, 9, 9, 9})})));
    EXPECT_EQ(vt::data(s).z.data, test::values(Z));
    struct Case {
        const char* what;
        Mm (*front)(const Mm&);
        Mm args;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"3-d mesh", mesh, cell_row({Z3}), "mesh: 2-d matrix expected, but matrix (temporary) has 3 dimensions"},
        {"3-d surf", surf, cell_row({Z3}), "mesh: 2-d matrix expected, but matrix (temporary) has 3 dimensions"},
        {"3-d surface, x and y", surface, cell_row({row({1, 2}), row({1, 2}), Z3}),
         "mesh: 2-d matrix expected, but matrix (temporary) has 3 dimensions"},
        {"3-d pcolor", pcolor, cell_row({Z3}), "pcolor: 2-d matrix expected, but matrix (temporary) has 3 dimensions"},
        {"five data", surf, cell_row({Z, Z, Z, Z, Z}), "surf: use (z), (z,c), (x,y,z) or (x,y,z,c)"},
        {"contour pair, five data", meshc, cell_row({Z, Z, Z, Z, Z}), "contour: must be of z or z,n or x,y,z or x,y,z,n"},
        {"contour pair, no data", surfc, cell_row({text("Tag"), text("t")}),
         "contour: must be of z or z,n or x,y,z or x,y,z,n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        EXPECT_ERROR(c.front(c.args), c.error);
    }
}

TEST_F(Surfaces, ABareMatrixIsAListOfOne)
{
    const Mm Z = real(2, 2, {1, 2, 3, 4});
    EXPECT_EQ(vt::data(h_of(mesh(Z))).z.data, test::values(Z));
    const Mm h = surfc(Z);
    EXPECT_EQ(vt::data(test::at(h, 1)).z.data, test::values(Z));
    EXPECT_EQ(vt::prop(h_of(pcolor(real(2, 2, {1, 2, 3, 4}))), "CData").data, (std::vector<double>{1}));
}

TEST_F(Surfaces, SurfaceWithoutDataStillGetsItsSettings)
{
    const double s = h_of(surface());
    EXPECT_EQ(vt::type(s), "surface");
    EXPECT_TRUE(vt::data(s).x.empty());
    EXPECT_EQ(vt::writes(s),
              (std::vector<std::string>{"ChartType", "Parent", "Colormap", "Color", "CreateFcn", "DeleteFcn"}));
    EXPECT_EQ(vt::prop(axes_now(), "View").data, (std::vector<double>{3}));
    EXPECT_EQ(vt::modes().surface_axes, axes_now());
}

TEST_F(Surfaces, PairsAndParentReachTheObject)
{
    const Mm first = gca();
    const Mm other = axes();
    const double s = h_of(mesh(cell_row({real(2, 2, {1, 2, 3, 4}), text("Parent"), first, text("Tag"), text("t")})));
    EXPECT_EQ(vt::parent(s), h_of(first));
    EXPECT_EQ(axes_now(), h_of(first));
    EXPECT_EQ(vt::prop(s, "Tag").text(), "t");
    for (double k : vt::children(h_of(other)))
        EXPECT_NE(vt::type(k), "surface");
}

TEST_F(Surfaces, ContourSurfaceCountsItsLines)
{
    const Mm Z = real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const Mm x = row({1, 2, 3});
    struct Case {
        const char* what;
        Mm args;
        std::vector<double> lines;
    };
    const std::vector<Case> cases = {
        {"z", cell_row({Z}), {16}},
        {"z, count", cell_row({Z, Mm(5.0)}), {5}},
        {"z, levels", cell_row({Z, row({1, 2, 3})}), {3}},
        {"z, no levels", cell_row({Z, Mm()}), {16}},
        {"x, y, z", cell_row({x, x, Z}), {16}},
        {"x, y, z, count", cell_row({x, x, Z, Mm(7.0)}), {7}},
        {"x, y, z, levels", cell_row({x, x, Z, row({1, 5})}), {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double s = h_of(contour_surface("contour3", c.args, Mm(3.0)));
        EXPECT_EQ(vt::prop(s, "NumContourLines").data, c.lines);
        EXPECT_EQ(vt::prop(s, "ChartType").text(), "contour3");
        EXPECT_EQ(vt::data(s).z.data, test::values(Z));
        // A contour surface keeps the plain 3-D view.
        EXPECT_EQ(vt::prop(axes_now(), "View").data, (std::vector<double>{3.5}));
    }
    // The caller's pairs come after the count.
    vt::reset();
    const double s = h_of(contour_surface("contour", cell_row({Z, text("NumContourLines"), Mm(2.0)}), Mm(3.0)));
    EXPECT_EQ(vt::prop(s, "NumContourLines").data, (std::vector<double>{2}));
    const std::vector<std::string> w = vt::writes(s);
    EXPECT_EQ(count_of(w, "NumContourLines"), 2);
}

TEST_F(Surfaces, ContourPairsPutTheContourOnTheFloor)
{
    const Mm Z = real(2, 3, {4, -2, 6, 1, 3, 5});
    struct Case {
        const char* what;
        Mm (*front)(const Mm&);
        Mm args;
        const char* chart;
    };
    const Mm x = row({1, 2, 3}), y = row({1, 2});
    const std::vector<Case> cases = {
        {"meshc z", meshc, cell_row({Z}), "mesh"},
        {"meshc x y z", meshc, cell_row({x, y, Z}), "mesh"},
        {"surfc z, count", surfc, cell_row({Z, Mm(4.0)}), "surf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const Mm h = c.front(c.args);
        ASSERT_EQ(test::extents(h), (std::vector<int>{2, 1}));
        const double hc = test::at(h, 0), hs = test::at(h, 1);
        EXPECT_EQ(vt::prop(hc, "ChartType").text(), "contour");
        EXPECT_EQ(vt::prop(hs, "ChartType").text(), c.chart);
        EXPECT_EQ(vt::prop(hc, "ContourPosition").data, (std::vector<double>{-2}));
        // Both in the same axes: the surface was added under hold.
        EXPECT_EQ(vt::parent(hc), vt::parent(hs));
        EXPECT_TRUE(vt::exists(hc));
        EXPECT_EQ(vt::prop(axes_now(), "NextPlot").text(), "replace");
    }
}

TEST_F(Surfaces, ChartsFollowTheFiguresColormapWhenItChanges)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Each chart coloured through the colormap, drawn under jet and then
    // recoloured: under gray no pixel of the picture keeps a hue; under hot
    // every coloured pixel is warm (red at least green at least blue), as
    // the map's rows are.
    struct Case {
        const char* what;
        std::function<void()> draw;
    };
    const Mm z = peaks(Mm(20.0));
    const std::vector<Case> cases = {
        {"surf", [&] { surf(cell_row({z})); }},
        {"mesh", [&] { mesh(cell_row({z})); }},
        {"surfc", [&] { surfc(cell_row({z})); }},
        {"contour3", [&] { contour3(cell_row({z})); }},
        {"an indexed patch", [&] { patch(cell_row({row({1, 2, 2}), row({1, 1, 2}), Mm(40.0)})); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        const double fig = figure().r();
        colormap(text("jet"));
        c.draw();
        auto hued = [](const test::Rgb& p) {
            return std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 0.05;
        };
        ASSERT_FALSE(test::Picture::of(fig).where(hued).empty()) << "jet colours it";
        colormap(text("gray"));
        EXPECT_TRUE(test::Picture::of(fig).where(hued).empty()) << "gray leaves no hue";
        colormap(text("hot"));
        const std::vector<test::Spot> warm = test::Picture::of(fig).where(hued);
        EXPECT_FALSE(warm.empty());
        const test::Picture p = test::Picture::of(fig);
        int cold = 0;
        for (const test::Spot& s : warm) {
            const test::Rgb q = p.at(s.i, s.j);
            cold += !(q.r + 0.02 >= q.g && q.g + 0.02 >= q.b);
        }
        EXPECT_EQ(cold, 0);
    }
}

TEST_F(Surfaces, RecordsTheLastChart)
{
    const Mm args = cell_row({real(2, 2, {1, 2, 3, 4}), text("Tag"), text("t")});
    surf(args);
    EXPECT_STREQ(last_surface_chart.name, "surf");
    EXPECT_TRUE(isequal(last_surface_chart.args, args));
    EXPECT_TRUE(isequal(last_surface_chart.view, Mm(3.0)));
    pcolor(cell_row({real(2, 2, {1, 2, 3, 4})}));
    EXPECT_STREQ(last_surface_chart.name, "surf") << "the name survives a pcolor";
    EXPECT_EQ(last_surface_chart.args.size(), 0);
    EXPECT_EQ(last_pcolor_args.size(), 1);
    mesh(args);
    EXPECT_EQ(last_pcolor_args.size(), 0);
    EXPECT_STREQ(last_surface_chart.name, "mesh");
}

TEST_F(Surfaces, PcolorShowsColourIndicesOfTheFlippedMatrix)
{
    struct Case {
        const char* what;
        Mm P;
        std::vector<int> dims;
        std::vector<double> cdata, clim;
    };
    const std::vector<Case> cases = {
        {"1..9", real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}), {2, 2}, {17, 1, 64, 48}, {1, 5}},
        {"constant", real(3, 3, {2, 2, 2, 2, 2, 2, 2, 2, 2}), {2, 2}, {1, 1, 1, 1}, {2, 3}},
        // Holes and infinities count as 0: here the smallest values.
        {"NaN and Inf", real(3, 3, {NAN, 4, 0, INFINITY, 2, 0, 0, 0, 0}), {2, 2}, {64, 1, 33, 1}, {0, 4}},
        {"halves round up", real(2, 3, {0, 0, 1, 0, 2, 0}), {1, 2}, {1, 64}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const Mm B = pcolor(cell_row({c.P}));
        const double b = h_of(B);
        EXPECT_EQ(b, axes_now());
        const vt::Value cd = vt::prop(b, "CData");
        EXPECT_EQ(dims_of(cd), c.dims);
        EXPECT_EQ(cd.data, c.cdata);
        EXPECT_EQ(vt::prop(b, "CLim").data, c.clim);
        const double cols = c.dims[1] + 1.0, rows = c.dims[0] + 1.0;
        EXPECT_EQ(vt::prop(b, "XLim").data, (std::vector<double>{1, cols}));
        EXPECT_EQ(vt::prop(b, "YLim").data, (std::vector<double>{1, rows}));
        EXPECT_EQ(vt::prop(b, "IMLim").data, (std::vector<double>{1, cols, 1, rows}));
    }
}

TEST_F(Surfaces, PcolorScalesToTheCurrentMapAndRefinesUnderInterpolation)
{
    gcf();
    set(gcf(), text("ColorMap"), real(3, 3, {0, 0.5, 1, 0, 0.5, 1, 0, 0.5, 1}));
    {
        // K = 3: indices 1 + 2 (a - 1) / 4 of [2 5; 1 4], the halves 1.5 and
        // 2.5 rounding up.
        const double b = h_of(pcolor(cell_row({real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9})})));
        EXPECT_EQ(vt::prop(b, "CData").data, (std::vector<double>{2, 1, 3, 3}));
    }
    vt::reset();
    interp_shading = 1;
    {
        // One refinement step of a 3 x 3 matrix: 5 x 5, nothing dropped.
        const Mm P = real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
        const double b = h_of(pcolor(cell_row({P})));
        const vt::Value cd = vt::prop(b, "CData");
        EXPECT_EQ(dims_of(cd), (std::vector<int>{5, 5}));
        // The refined plane runs from 1 to 9: index 1 + 63 (a - 1) / 8.
        EXPECT_EQ(cd.data[4], 1);   // bottom left of the picture: P(1, 1)
        EXPECT_EQ(cd.data[20], 64);  // top right: P(3, 3)
        EXPECT_EQ(vt::prop(b, "XLim").data, (std::vector<double>{1, 2.5}));
        EXPECT_EQ(vt::prop(b, "IMLim").data, (std::vector<double>{1, 2.5, 1, 2.5}));
        EXPECT_EQ(vt::prop(b, "CLim").data, (std::vector<double>{1, 9}));
    }
}

TEST_F(Surfaces, PcolorWithCoordinatesPassesThemToTheImage)
{
    const double b = h_of(pcolor(cell_row({row({10, 20}), row({1, 2}), real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9})})));
    EXPECT_EQ(vt::prop(b, "XLim").data, (std::vector<double>{10, 20}));
    EXPECT_EQ(vt::prop(b, "IMLim").data, (std::vector<double>{10, 20, 1, 2}));
    EXPECT_EQ(vt::prop(b, "CLim").data, (std::vector<double>{1, 5}));
}

TEST_F(Surfaces, PcolorNeedsData)
{
    EXPECT_ERROR(pcolor(cell_row({})), "pcolor needs to have at least one parameter");
    EXPECT_ERROR(pcolor(cell_row({text("Tag"), text("x")})), "pcolor needs to have at least one parameter");
}

} // namespace
