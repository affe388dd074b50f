// The contour line tracer: the contour matrix, the per-level point rows
// handed to plot, and the limits of what was drawn; then contour and
// contourf drawing those rows in the engine.
#include "graphics/contours.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

Mm args_of(std::vector<Mm> items) { return test::cell_row(std::move(items)); }

// NaN-aware comparison of a row of points.
void expect_points(const Mm& row, const std::vector<double>& expected)
{
    const std::vector<double> got = test::values(row);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        if (std::isnan(expected[k]))
            EXPECT_TRUE(std::isnan(got[k])) << k;
        else
            EXPECT_DOUBLE_EQ(got[k], expected[k]) << k;
    }
}

TEST(Contours, ContourMatrixOfSmallGrids)
{
    const double n = std::nan("");
    struct Case {
        const char* what;
        Mm args;
        int rows;
        std::vector<double> cm;      // column-major
        std::vector<double> x, y;    // the first level's rows for plot
    };
    const std::vector<Case> cases = {
        {"one cell, code 0001", args_of({test::real(2, 2, {0, 0, 0, 1}), Mm(1.0)}), 2,
         {0.5, 2, 2, 1.5, 1.5, 2}, {2, 1.5, n}, {1.5, 2, n}},
        {"a column of 1010 cells is one piece", args_of({test::real(3, 2, {1, 1, 1, 0, 0, 0}), test::row({0.5, 0.5})}), 3,
         {0.5, 3, 1.5, 1, 1.5, 2, 1.5, 3, 0.5, 3, 1.5, 1, 1.5, 2, 1.5, 3}, {1.5, 1.5, 1.5, n}, {1, 2, 3, n}},
        {"saddle 1001 cuts off two corners", args_of({test::real(2, 2, {1, 0, 0, 1}), Mm(1.0)}), 2,
         {0.5, 4, 1.5, 1, 1, 1.5, 2, 1.5, 1.5, 2}, {1.5, 1, n, 2, 1.5, n}, {1, 1.5, n, 1.5, 2, n}},
        {"saddle 0110", args_of({test::real(2, 2, {0, 1, 1, 0}), Mm(1.0)}), 2,
         {0.5, 4, 1.5, 1, 2, 1.5, 1, 1.5, 1.5, 2}, {1.5, 2, n, 1, 1.5, n}, {1, 1.5, n, 1.5, 2, n}},
        {"a level equal to a corner counts it below", args_of({test::real(2, 2, {0, 0, 0, 1}), test::row({0, 1})}), 2,
         {0, 2, 2, 1, 1, 2, 1, 0}, {2, 1, n}, {1, 2, n}},
        {"corners summing to zero keep their segment", args_of({test::real(2, 2, {-1, -1, 1, 1}), Mm(1.0)}), 2,
         {0, 2, 1.5, 1, 1.5, 2}, {1.5, 1.5, n}, {1, 2, n}},
        {"top row against bottom row", args_of({test::real(2, 2, {1, 0, 1, 0}), Mm(1.0)}), 2,
         {0.5, 2, 1, 1.5, 2, 1.5}, {1, 2, n}, {1.5, 1.5, n}},
        {"X and Y give only their extremes", args_of({test::row({20, 10}), test::real(3, 1, {7, 5, 6}),
                                                       test::real(2, 2, {0, 0, 0, 1}), Mm(1.0)}), 2,
         {0.5, 2, 20, 6, 15, 7}, {20, 15, n}, {6, 7, n}},
        {"an infinite corner leaves its cells out", args_of({test::real(2, 3, {0, 0, 0, 1, 0, inf}), test::row({0.5, 0.5})}), 2,
         {0.5, 2, 2, 1.5, 1.5, 2, 0.5, 2, 2, 1.5, 1.5, 2}, {2, 1.5, n}, {1.5, 2, n}},
        {"a NaN corner leaves its cells out", args_of({test::real(2, 3, {0, 0, 0, 1, 0, std::nan("")}), test::row({0.5, 0.5})}), 2,
         {0.5, 2, 2, 1.5, 1.5, 2, 0.5, 2, 2, 1.5, 1.5, 2}, {2, 1.5, n}, {1.5, 2, n}},
        {"a level that crosses nothing", args_of({test::real(2, 2, {0, 0, 0, 1}), test::row({5, 0.5})}), 2,
         {5, 0, 0.5, 2, 2, 1.5, 1.5, 2}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const contour_trace_result t = contour_trace(c.args);
        EXPECT_EQ(t.cm.rows(), 2);
        EXPECT_EQ(test::values(t.cm), c.cm);
        ASSERT_GE(t.list.size(), 2);
        expect_points(t.list.mr(1), c.x);
        expect_points(t.list.mr(2), c.y);
    }
}

TEST(Contours, LevelsStyleAndLimits)
{
    // Default: 8 levels strictly between the extremes.
    contour_trace_result t = contour_trace(args_of({test::real(2, 2, {0, 0, 0, 9})}));
    std::vector<double> headers;
    for (int k = 1; k <= t.cm.cols(); k += 3) {
        headers.push_back(t.cm.r(1, k));
        EXPECT_EQ(t.cm.r(2, k), 2);
    }
    EXPECT_EQ(headers, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(t.cm.cols(), 8 * 3);
    EXPECT_EQ(t.list.size(), 16);

    // Explicit levels in their order, the style after each level's rows.
    t = contour_trace(args_of({test::real(2, 2, {0, 0, 0, 1}), test::row({0.2, 0.7, 0.4}), TM("r"), TM("unused")}));
    ASSERT_EQ(t.list.size(), 9);
    std::vector<double> order;
    for (int k = 1; k <= t.cm.cols(); k += 3)
        order.push_back(t.cm.r(1, k));
    EXPECT_EQ(order, (std::vector<double>{0.2, 0.7, 0.4}));
    for (int k = 3; k <= 9; k += 3)
        EXPECT_EQ(test::text_of(t.list.mr(k)), "r");
    EXPECT_DOUBLE_EQ(t.xmin, 1.2);
    EXPECT_DOUBLE_EQ(t.xmax, 2);
    EXPECT_DOUBLE_EQ(t.ymin, 1.2);
    EXPECT_DOUBLE_EQ(t.ymax, 2);

    // One row: no cells, one empty header per level, nothing drawn.
    t = contour_trace(args_of({test::row({1, 2, 3}), Mm(3.0)}));
    EXPECT_EQ(test::values(t.cm), (std::vector<double>{1.5, 0, 2, 0, 2.5, 0}));
    EXPECT_EQ(t.xmin, inf);
    EXPECT_EQ(t.xmax, -inf);
    t = contour_trace(args_of({test::real(3, 1, {1, 2, 3}), Mm(1.0)}));
    EXPECT_EQ(test::values(t.cm), (std::vector<double>{2, 0}));
}

TEST(Contours, ArgumentErrors)
{
    const Mm Z = test::real(2, 2, {0, 0, 0, 1});
    const char* usage = "contour: must be of z or z,n or x,y,z or x,y,z,n";
    EXPECT_ERROR(contour_trace(args_of({})), usage);
    EXPECT_ERROR(contour_trace(args_of({TM("r")})), usage);
    EXPECT_ERROR(contour_trace(args_of({Z, Z, Z, Z, Z})), usage);
    // A count of levels that could never finish is refused, not run.
    EXPECT_ERROR(contour_trace(args_of({Z, Mm(inf)})), "contour: too many levels");
    EXPECT_ERROR(contour_trace(args_of({Z, Mm(1e12)})), "contour: too many levels");
    EXPECT_ERROR(contour_trace(args_of({test::complex(2, 2, {1, 2, 3, 4}, {1, 0, 0, 0}), Mm(2.0)})), "contour: Z must be a real matrix");
    // No level at all: an empty matrix, nothing to draw.
    const contour_trace_result none = contour_trace(args_of({Z, Mm(0.0)}));
    EXPECT_TRUE(none.complete);
    EXPECT_EQ(none.cm.size(), 0);
    EXPECT_EQ(none.list.size(), 0);
}

// Every point lies on a grid edge whose ends straddle the level, where the
// straight line between the ends takes the level's value.
TEST(Contours, EveryPointIsALevelCrossingOnAnEdge)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1, 1);
    const int r = 9, c = 12;
    Mm Z = zeros(r, c);
    for (int k = 1; k <= r * c; ++k)
        *Z.addr(k) = u(gen);
    const contour_trace_result t = contour_trace(args_of({Z, Mm(5.0)}));
    int points = 0;
    for (int k = 1; k <= t.cm.cols();) {
        const double v = t.cm.r(1, k);
        const int n = static_cast<int>(t.cm.r(2, k));
        for (int p = k + 1; p <= k + n; ++p, ++points) {
            const double x = t.cm.r(1, p), y = t.cm.r(2, p);
            double a, b, f;
            if (x == std::floor(x)) {  // on a vertical edge
                const int j = static_cast<int>(x), i = static_cast<int>(std::floor(y));
                a = Z.r(i, j), b = Z.r(std::min(i + 1, r), j), f = y - i;
            } else {
                const int i = static_cast<int>(y), j = static_cast<int>(std::floor(x));
                a = Z.r(i, j), b = Z.r(i, std::min(j + 1, c)), f = x - j;
            }
            EXPECT_TRUE((a > v) != (b > v)) << x << ", " << y;
            EXPECT_NEAR(a + f * (b - a), v, 1e-12) << x << ", " << y;
        }
        k += n + 1;
    }
    EXPECT_GT(points, 50);
}

namespace vt = vizmo::test;

class ContourDrawing : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
    static double axes() { return *gca().addr(1); }
};

bool has_write(double h, const char* name)
{
    for (const std::string& w : vt::writes(h))
        if (w == name)
            return true;
    return false;
}

// Each level with points becomes one series holding that level's rows, the
// NaN separators included; the axes are fitted to the points.
TEST_F(ContourDrawing, OneSeriesPerLevelAndTheAxesFitted)
{
    Mm Z = zeros(4, 5);
    for (int k = 1; k <= 20; ++k)
        *Z.addr(k) = std::sin(0.7 * k) + 0.1 * k;
    const Mm args = args_of({test::row({10, 30}), test::row({-2, 4}), Z, Mm(3.0), TM("r")});
    const contour_trace_result t = contour_trace(args);

    struct Case {
        const char* what;
        Mm (*one)(const Mm&);
        Mm (*two)(const Mm&, i_o_t, Mm&, Mm&);
        bool wide;
    };
    const std::vector<Case> cases = {{"contour", contour, contour, false}, {"contourf", contourf, contourf, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        EXPECT_EQ(test::values(c.one(args)), test::values(t.cm));
        vt::reset();
        Mm CM, h;
        c.two(args, i_o, CM, h);
        EXPECT_EQ(test::values(CM), test::values(t.cm));
        ASSERT_EQ(h.size(), 3);
        for (int k = 1; k <= 3; ++k) {
            SCOPED_TRACE(k);
            const double s = *h.addr(k);
            EXPECT_EQ(vt::parent(s), axes());
            EXPECT_EQ(vt::prop(s, "ChartType").text(), "plot");
            EXPECT_EQ(vt::prop(s, "Color").data, (std::vector<double>{1, 0, 0}));  // the style, every level
            const vt::Bulk d = vt::data(s);
            expect_points(t.list.mr(3 * k - 2), d.x.data);
            expect_points(t.list.mr(3 * k - 1), d.y.data);
            if (c.wide)
                EXPECT_EQ(vt::prop(s, "LineWidth").data, (std::vector<double>{8}));
            else
                EXPECT_FALSE(has_write(s, "LineWidth"));
        }
        EXPECT_EQ(vt::prop(axes(), "XLim").data, (std::vector<double>{t.xmin, t.xmax}));
        EXPECT_EQ(vt::prop(axes(), "YLim").data, (std::vector<double>{t.ymin, t.ymax}));
        EXPECT_GE(t.xmin, 10);
        EXPECT_LE(t.ymax, 4);
    }
}

// Nothing to draw: levels that cross no cell, or a Z without cells, leave
// the axes limits alone instead of handing them +Inf, -Inf.
TEST_F(ContourDrawing, NoPointsLeaveTheLimitsAlone)
{
    struct Case {
        const char* what;
        Mm args;
        std::vector<double> cm;
    };
    const std::vector<Case> cases = {
        {"one row", args_of({test::row({1, 2, 3}), Mm(3.0)}), {1.5, 0, 2, 0, 2.5, 0}},
        {"one column", args_of({test::real(3, 1, {1, 2, 3}), Mm(1.0)}), {2, 0}},
        {"levels outside Z", args_of({test::real(2, 2, {0, 0, 0, 1}), test::row({5, 7})}), {5, 0, 7, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        Mm CM, h;
        contour(c.args, i_o, CM, h);
        EXPECT_EQ(test::values(CM), c.cm);
        EXPECT_EQ(h.size(), 0);
        EXPECT_FALSE(has_write(axes(), "XLim"));
        EXPECT_FALSE(has_write(axes(), "YLim"));
    }
}

TEST_F(ContourDrawing, ABadCallDrawsNothing)
{
    const char* usage = "contour: must be of z or z,n or x,y,z or x,y,z,n";
    EXPECT_ERROR(contour(args_of({})), usage);
    EXPECT_ERROR(contourf(args_of({TM("r")})), usage);
    EXPECT_ERROR(contour3(args_of({})), usage);
    Mm CM = Mm(5.0), h;
    EXPECT_ERROR(contour3(args_of({TM("r")}), i_o, CM, h), usage);
    EXPECT_LT(vizmo_current_figure(), 0);
}

// contour3 makes one contour surface and no line series; its contour
// matrix is the 0x0 empty matrix, whatever the variable held before.
TEST_F(ContourDrawing, Contour3IsAContourSurface)
{
    const Mm Z = test::real(3, 3, {0, 1, 0, 1, 2, 1, 0, 1, 0});
    const Mm one = contour3(args_of({Z, Mm(4.0)}));
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(vt::type(*one.addr(1)), "surface");
    EXPECT_EQ(vt::prop(*one.addr(1), "ChartType").text(), "contour3");

    vt::reset();
    Mm CM = test::row({1, 2}), h;
    const Mm out = contour3(args_of({Z}), i_o, CM, h);
    EXPECT_EQ(CM.rows(), 0);
    EXPECT_EQ(CM.cols(), 0);
    EXPECT_EQ(CM.gettype(), qv_double);
    ASSERT_EQ(h.size(), 1);
    EXPECT_EQ(test::values(out), test::values(h));
    std::vector<double> surfaces;
    for (double k : vt::children(axes())) {
        EXPECT_NE(vt::type(k), "line") << "no traced series";
        if (vt::type(k) == "surface")
            surfaces.push_back(k);
    }
    EXPECT_EQ(surfaces, (std::vector<double>{*h.addr(1)}));
}

} // namespace
