// Vector plots up to their drawing calls: arrow strokes, quiver's checks,
// grids, scaling and limits, feather's bases and compass's spokes.
#include "../graphics/picture.hpp"
#include "gui/vector_plots.hpp"
#include "gui_fixture.hpp"
#include "test_support.hpp"
#include "velkor/graphics.h"
#include "velkor/gui.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

// Row 1 (starts) and row 2 (ends) of a 3 x N stroke matrix; row 3 must be NaN.
std::vector<std::vector<double>> ends(const Mm& strokes)
{
    EXPECT_EQ(strokes.rows(), 3);
    const std::vector<double> v = test::values(strokes);
    std::vector<std::vector<double>> out(2);
    for (std::size_t k = 0; k + 2 < v.size(); k += 3) {
        out[0].push_back(v[k]);
        out[1].push_back(v[k + 1]);
        EXPECT_TRUE(std::isnan(v[k + 2]));
    }
    return out;
}

// The largest shaft length of a field.
double longest(const gui::arrow_strokes& a)
{
    const auto x = ends(a.shaft_x), y = ends(a.shaft_y);
    double m = 0;
    for (std::size_t k = 0; k < x[0].size(); ++k)
        m = std::max(m, std::hypot(x[1][k] - x[0][k], y[1][k] - y[0][k]));
    return m;
}

TEST(Arrows, BarbsTurnBackFromTheTip)
{
    const gui::arrow_strokes a =
        gui::make_arrows(test::row({0, 2}), test::row({0, 1}), test::row({1, 0}), test::row({0, -2}));
    using rows = std::vector<std::vector<double>>;
    EXPECT_EQ(ends(a.shaft_x), (rows{{0, 2}, {1, 2}}));
    EXPECT_EQ(ends(a.shaft_y), (rows{{0, 1}, {0, -1}}));
    // (0,0) -> (1,0): barbs end at (1 - c, +-c^2); c = 0.333
    const auto b1x = ends(a.barb1_x), b1y = ends(a.barb1_y), b2x = ends(a.barb2_x), b2y = ends(a.barb2_y);
    EXPECT_ULPS(b1x[0][0], 0.667, 1);
    EXPECT_ULPS(b1y[0][0], 0.110889, 2);
    EXPECT_EQ(b1x[1][0], 1);
    EXPECT_EQ(b1y[1][0], 0);
    EXPECT_EQ(b2x[0][0], 1);
    EXPECT_ULPS(b2x[1][0], 0.667, 1);
    EXPECT_ULPS(b2y[1][0], -0.110889, 2);
    // (2,1) -> (2,-1): U = 0, V = -2
    EXPECT_ULPS(b1x[0][1], 2 - 0.333 * (0.333 * -2), 1);
    EXPECT_ULPS(b1y[0][1], -1 - 0.333 * -2, 1);
    EXPECT_ULPS(b2x[1][1], 2 + 0.333 * (0.333 * -2), 1);
}

TEST(Quiver, MatrixFieldIsScaledToTheGridAndFramed)
{
    // 3 x 4 components, the largest 4 (negative ones smaller in size)
    const Mm U = test::real(3, 4, {1, 2, 3, 4, 0, -1, 0, 0, 0, 0, 0, 0});
    const Mm V = test::real(3, 4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2});
    struct Case {
        const char* what;
        Mm s;
        double longest;
        const char* linestyle;
    };
    const std::vector<Case> cases = {
        {"default", test::text("b-"), 0.9, "b-"},
        {"scale 2", Mm(2), 1.8, "b-"},
        {"scale 0 keeps lengths", Mm(0), 4, "b-"},
        {"negative scale keeps lengths", Mm(-1), 4, "b-"},
        {"linestyle", test::text("r-"), 0.9, "r-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const gui::vector_field f = gui::quiver_field(U, V, c.s);
        EXPECT_EQ(ends(f.arrows.shaft_x)[0].size(), 12u);
        EXPECT_ULPS(longest(f.arrows), c.longest, 2);
        EXPECT_EQ(test::text_of(f.linestyle), c.linestyle);
        EXPECT_EQ(f.limits, (std::vector<double>{-1, 6, -1, 5}));
    }
    // bases: x the column number, y the row number, column by column
    const auto bx = ends(gui::quiver_field(U, V, Mm(1)).arrows.shaft_x)[0];
    const auto by = ends(gui::quiver_field(U, V, Mm(1)).arrows.shaft_y)[0];
    EXPECT_EQ(bx, (std::vector<double>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
    EXPECT_EQ(by, (std::vector<double>{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
}

TEST(Quiver, AllNegativeFieldKeepsItsDirections)
{
    const gui::vector_field f = gui::quiver_field(test::row({-2, -1}), test::row({0, 0}), test::text("b-"));
    const auto x = ends(f.arrows.shaft_x);
    EXPECT_ULPS(x[1][0] - x[0][0], -0.9, 2);
    EXPECT_ULPS(x[1][1] - x[0][1], -0.45, 2);
    // every component zero: unscaled, no NaN
    const gui::vector_field z = gui::quiver_field(test::row({0, 0}), test::row({0, 0}), Mm(1));
    const auto tips = ends(z.arrows.shaft_x)[1];
    for (double e : tips)
        EXPECT_FALSE(std::isnan(e));
}

TEST(Quiver, VectorCoordinatesFormAGrid)
{
    const Mm U = test::real(3, 4, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const gui::vector_field f =
        gui::quiver_field(test::row({10, 20, 30, 40}), test::row({5, 6, 7}), U, U, Mm(0));
    const auto bx = ends(f.arrows.shaft_x)[0];
    const auto by = ends(f.arrows.shaft_y)[0];
    ASSERT_EQ(bx.size(), 12u);
    EXPECT_EQ(bx[3], 20);
    EXPECT_EQ(by[3], 5);
    EXPECT_EQ(f.limits, (std::vector<double>{8, 42, 3, 9}));
}

TEST(Quiver, SizeChecksInOrder)
{
    const Mm a23 = test::counting({2, 3}), a32 = test::counting({3, 2}), a24 = test::counting({2, 4});
    EXPECT_ERROR(gui::quiver_field(a23, a32, Mm(1)), "quiver: u,v should be of same size");
    EXPECT_ERROR(gui::quiver_field(a32, a23, a23, a23, Mm(1)), "quiver: x,y should be of same size");
    EXPECT_ERROR(gui::quiver_field(a32, a32, a23, a23, Mm(1)), "quiver: x,y,u,v should be of same size");
    EXPECT_ERROR(gui::quiver_field(a23, a32, a32, a23, Mm(1)), "quiver: u,v should be of same size");
    // agreeing in rows passes the check; the arithmetic then fails
    const std::string arithmetic = test::error_of([&] { gui::quiver_field(a23, a24, Mm(1)); });
    EXPECT_NE(arithmetic, "");
    EXPECT_EQ(arithmetic.find("should be of same size"), std::string::npos);
}

TEST(Feather, ArrowsAlongTheXAxis)
{
    const gui::vector_field f =
        gui::feather_field(test::row({1, 2, 3, 4, 5}), test::row({1, 0, -1, 0, 1}), test::text("b-"));
    const auto bx = ends(f.arrows.shaft_x), by = ends(f.arrows.shaft_y);
    EXPECT_EQ(bx[0], (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(by[0], (std::vector<double>{0, 0, 0, 0, 0}));
    EXPECT_EQ(bx[1], (std::vector<double>{2, 4, 6, 8, 10}));  // unscaled
    EXPECT_EQ(f.limits, (std::vector<double>{-1, 7, -4, 4}));
    EXPECT_ERROR(gui::feather_field(test::counting({2, 3}), test::counting({3, 2}), test::text("b-")),
                 "feather: u,v should be of same size");
}

TEST(Compass, SpokesFromTipToOrigin)
{
    Mm th, r;
    gui::compass_spokes(Mm(3), Mm(4), th, r);
    EXPECT_EQ(test::values(th), (std::vector<double>{std::atan2(3.0, 4.0), std::atan2(3.0, 4.0)}));
    EXPECT_EQ(test::values(r), (std::vector<double>{5, 0}));
    gui::compass_spokes(test::row({0, -1}), test::row({2, 0}), th, r);
    EXPECT_EQ(test::values(th), (std::vector<double>{0, 0, -M_PI / 2, -M_PI / 2}));
    EXPECT_EQ(test::values(r), (std::vector<double>{2, 0, 1, 0}));
    EXPECT_ERROR(gui::compass_spokes(test::counting({2, 3}), test::counting({3, 2}), th, r),
                 "compass: u,v should be of same size");
}

} // namespace

namespace {

namespace vt = vizmo::test;

class VectorDrawing : public gui_test::Gui {};

std::vector<double> handles_of(const Mm& h) { return test::values(h); }

// Element by element, NaN matching NaN: the strokes break at NaN points.
void expect_same_points(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_BITS_EQ(got[k], want[k]) << k;
}
double axes_handle() { return *gca().addr(1); }

TEST_F(VectorDrawing, QuiverDrawsThreeSeriesAndFramesTheBases)
{
    Mm U = test::real(3, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    Mm V = test::real(3, 4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const std::vector<double> h = handles_of(quiver(U, V));
    ASSERT_EQ(h.size(), 3u) << "shafts, first barbs, second barbs";
    const vt::Bulk shafts = vt::data(h[0]);
    ASSERT_EQ(shafts.x.data.size(), 36u) << "12 arrows, 3 points each";
    // The longest arrow, at column 4 row 3, ends 0.9 to the right of its base.
    EXPECT_NEAR(shafts.x.data[34] - shafts.x.data[33], 0.9, 1e-12);
    EXPECT_TRUE(std::isnan(shafts.x.data[35]));
    const double a = axes_handle();
    EXPECT_EQ(vt::prop(a, "XLim").data, (std::vector<double>{-1, 6}));
    EXPECT_EQ(vt::prop(a, "YLim").data, (std::vector<double>{-1, 5}));
    for (double s : h)
        EXPECT_EQ(vt::prop(s, "Color").data, (std::vector<double>{0, 0, 1}));
}

TEST_F(VectorDrawing, QuiverFormsAgreeAndARedSpecKeepsScaleOne)
{
    const Mm z = test::complex(1, 2, {3, 0}, {0, 1});
    const std::vector<double> h1 = handles_of(quiver(z));
    const std::vector<double> x1 = vt::data(h1[0]).x.data, y1 = vt::data(h1[0]).y.data;
    const std::vector<double> h2 = handles_of(quiver(test::row({1, 2}), test::row({1, 1}), test::row({3, 0}),
                                                     test::row({0, 1}), Mm(1)));
    expect_same_points(vt::data(h2[0]).x.data, x1);
    expect_same_points(vt::data(h2[0]).y.data, y1);
    EXPECT_NEAR(x1[1] - x1[0], 0.9, 1e-12);

    const std::vector<double> red = handles_of(quiver(z, test::text("r-")));
    ASSERT_EQ(red.size(), 3u);
    EXPECT_EQ(vt::prop(red[0], "Color").data, (std::vector<double>{1, 0, 0}));
    expect_same_points(vt::data(red[0]).x.data, x1);
}

TEST_F(VectorDrawing, QuiverSizeErrorsDrawNothing)
{
    EXPECT_ERROR(quiver(test::real(2, 3, {1, 2, 3, 4, 5, 6}), test::real(3, 2, {1, 2, 3, 4, 5, 6})),
                 "quiver: u,v should be of same size");
    // Sizes that agree in one extent pass the check.
    const Mm column = test::real(2, 1, {1, 2}), row3 = test::row({1, 2, 3}), row2 = test::row({1, 2});
    EXPECT_ERROR(quiver(column, row3, row2, row2), "quiver: x,y should be of same size");
    EXPECT_ERROR(quiver(column, column, row3, row3), "quiver: x,y,u,v should be of same size");
    EXPECT_ERROR(feather(column, row3), "feather: u,v should be of same size");
    EXPECT_ERROR(compass(column, row3), "compass: u,v should be of same size");
    EXPECT_TRUE(vt::children(axes_handle()).size() <= 4u) << "no series drawn";
}

TEST_F(VectorDrawing, FeatherFramesNPlusTwoByFour)
{
    const std::vector<double> h = handles_of(feather(test::complex(1, 5, {1, 2, 3, 4, 5}, {1, 0, -1, 0, 1})));
    ASSERT_EQ(h.size(), 3u);
    const std::vector<double> xs = vt::data(h[0]).x.data;
    EXPECT_EQ(xs[0], 1);
    EXPECT_EQ(xs[1], 2) << "unscaled: base 1 plus u = 1";
    const double a = axes_handle();
    EXPECT_EQ(vt::prop(a, "XLim").data, (std::vector<double>{-1, 7}));
    EXPECT_EQ(vt::prop(a, "YLim").data, (std::vector<double>{-4, 4}));
}

TEST_F(VectorDrawing, CompassIsOnePolarSeriesOfSpokes)
{
    const std::vector<double> h = handles_of(compass(Mm(3), Mm(4)));
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(vt::prop(h[0], "ChartType").text(), "polar");
    const double a = std::atan2(3.0, 4.0);
    EXPECT_EQ(vt::data(h[0]).x.data, (std::vector<double>{a, a}));
    EXPECT_EQ(vt::data(h[0]).y.data, (std::vector<double>{5, 0}));
    EXPECT_EQ(vt::prop(h[0], "Color").data, (std::vector<double>{0, 0, 1}));
}

TEST_F(VectorDrawing, SpyDrawsRowOneAtTheTop)
{
    const std::vector<double> h = handles_of(spy(test::real(3, 3, {1, 0, 0, 0, 0, 5, 0, 0, 1})));
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(vt::data(h[0]).x.data, (std::vector<double>{1, 2, 3})) << "columns along x";
    EXPECT_EQ(vt::data(h[0]).y.data, (std::vector<double>{1, 3, 3})) << "rows along y";
    EXPECT_EQ(vt::prop(axes_handle(), "YDir").text(), "inverted") << "the plot's reset does not undo it";

    vt::reset();
    const std::vector<double> none = handles_of(spy(test::real(2, 2, {0, 0, 0, 0})));
    EXPECT_EQ(vt::prop(axes_handle(), "YDir").text(), "inverted") << "zeros still turn the axes";
    for (double line : none)
        EXPECT_TRUE(vt::data(line).x.data.empty());
}

TEST_F(VectorDrawing, SpyPicturesPutRowOneInTheTopThird)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Identity matrices, and with a superdiagonal, of several sizes: the
    // circle of (1, 1) is the leftmost mark and lies in the top third of
    // the picture, the last row's lies below it, and the superdiagonal's
    // (1, 2) stands beside (1, 1), not below it.
    for (int n : {3, 5, 20}) {
        SCOPED_TRACE(n);
        for (bool super : {false, true}) {
            SCOPED_TRACE(super ? "with a superdiagonal" : "identity");
            vt::reset();
            const double fig = figure().r();
            Mm S = eye(Mm(static_cast<double>(n)));
            if (super)
                S = S + diag(ones(Mm(n - 1.0), Mm(1.0)), Mm(1.0));
            spy(S);
            const test::Picture p = test::Picture::of(fig);
            const std::vector<test::Spot> marks = p.where(test::bluish);
            ASSERT_FALSE(marks.empty());
            auto by_column = [](const test::Spot& a, const test::Spot& b) { return a.j < b.j; };
            const test::Spot first = *std::min_element(marks.begin(), marks.end(), by_column);
            const test::Spot last = *std::max_element(marks.begin(), marks.end(), by_column);
            EXPECT_LT(first.i, p.rows / 3) << "row 1 at the top";
            EXPECT_GT(last.i, first.i + p.rows / 4) << "row " << n << " below it";
            int beside = 0;
            for (const test::Spot& s : marks)
                beside += std::abs(s.i - first.i) <= 8 && s.j > first.j + 12;
            EXPECT_EQ(beside > 0, super);
        }
    }
}

TEST_F(VectorDrawing, RibbonPlotsAgainstOneToNAndTurnsTheView)
{
    const Mm y = test::row({5, 4, 3, 2, 1, 0, 1, 2, 3, 4});
    const std::vector<double> h = handles_of(ribbon(y));
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(vt::data(h[0]).x.data, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(vt::data(h[0]).y.data, test::values(y));
    EXPECT_EQ(vt::prop(axes_handle(), "View").data, (std::vector<double>{330, 330}));
    EXPECT_EQ(test::values(ribbon(y, y, Mm(2))).size(), 1u);
}

} // namespace
