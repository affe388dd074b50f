// Charts over the data a user meets at the edges of the doubles: values
// near 0, subnormal, past 1e308, infinite and NaN, single points and empty
// series, on linear and log axes whose limits touch 0. Each picture must
// come back, show its axes, and put the finite data where the limits say.
#include "picture.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <velkor.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double tiny = std::numeric_limits<double>::denorm_min();

Mm vec(const std::vector<double>& v)
{
    Mm x = zeros(Mm(1.0), Mm(static_cast<double>(v.size())));
    for (std::size_t k = 0; k < v.size(); ++k)
        *x.addr(static_cast<int>(k) + 1) = v[k];
    return x;
}

std::vector<double> limits(const char* name) { return test::values(get(gca(), TM(name))); }

test::Picture shot() { return test::Picture::of(*gcf().addr(1)); }

class ExtremeData : public ::testing::Test {
protected:
    void SetUp() override
    {
        vt::reset();
        if (!vt::has_renderer())
            GTEST_SKIP() << "built without the renderer";
    }
    void TearDown() override { vt::reset(); }
};

// Limits as drawn on a log axis: finite, positive, increasing.
void expect_drawable_log(const std::vector<double>& lim)
{
    ASSERT_EQ(lim.size(), 2u);
    EXPECT_TRUE(std::isfinite(lim[0]) && std::isfinite(lim[1])) << lim[0] << " " << lim[1];
    EXPECT_GT(lim[0], 0);
    EXPECT_LT(lim[0], lim[1]);
}

TEST_F(ExtremeData, LogAxesWhoseLimitsTouchZeroDrawFromThePositiveData)
{
    // Each ends with a diagonal blue line from corner to corner of the box:
    // the limit at 0 gives way to the positive data's own.
    // (On the first, y = x on a log x from 1 leaves the line's bottom at
    // y = 1 of the linear 0..10.)
    struct Case {
        const char* what;
        std::function<void()> build;
        bool full_height = true;
    };
    const std::vector<Case> cases = {
        {"plot, limits, then the log scale",
         [] {
             plot(test::cell_row({colon(0.0, 10.0), colon(0.0, 10.0)}));
             set(gca(), TM("XLim"), test::row({0, 10}));
             set(gca(), TM("XScale"), TM("log"));
         },
         false},
        {"plot, the log scale, then limits",
         [] {
             plot(test::cell_row({colon(1.0, 10.0)}));
             set(gca(), TM("XScale"), TM("log"));
             set(gca(), TM("XLim"), test::row({0, 5}));
             set(gca(), TM("YLim"), test::row({1, 5}));
         }},
        {"axis on a semilogy",
         [] {
             semilogy(test::cell_row({test::row({1, 2}), test::row({1, 10})}));
             axis(test::row({1, 2, 0, 10}));
         }},
        {"subnormal data on semilogy", [] { semilogy(test::cell_row({test::row({1, 2}), test::row({tiny, 1e-300})})); }},
        {"negative limits on loglog",
         [] {
             loglog(test::cell_row({test::row({1, 100}), test::row({1, 100})}));
             axis(test::row({-5, 100, -1, 100}));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        c.build();
        const test::Picture p = shot();
        ASSERT_GT(p.rows, 0);
        const test::Frame f = test::frame_of(p);
        ASSERT_TRUE(f.found());
        const test::Ink blue = test::ink_of(p, test::bluish, f.top, f.bottom, f.left, f.right);
        ASSERT_TRUE(blue.any());
        EXPECT_LE(blue.left - f.left, 3);
        EXPECT_LE(f.right - blue.right, 3);
        EXPECT_LE(blue.top - f.top, 3);
        if (c.full_height) {
            EXPECT_LE(f.bottom - blue.bottom, 3);
        } else {
            EXPECT_NEAR(f.bottom - blue.bottom, (f.bottom - f.top) / 10.0, 3);
        }
    }
}

TEST_F(ExtremeData, AutomaticLogLimitsStayInsideTheDoubles)
{
    // Markers at 1 and 1e308: the limits pad them clear of the frame as far
    // as a double goes (half a decade of 308 is under a pixel), so the
    // markers sit on the bottom and top of the box.
    semilogy(test::cell_row({test::row({1, 2}), test::row({1, 1e308}), TM("ro")}));
    expect_drawable_log(limits("YLim"));
    const test::Picture p = shot();

    const test::Frame f = test::frame_of(p);
    ASSERT_TRUE(f.found());
    const test::Ink red = test::ink_of(p, test::reddish);
    ASSERT_TRUE(red.any());
    EXPECT_NEAR(red.top + 3, f.top, 2);
    EXPECT_NEAR(red.bottom - 3, f.bottom, 2);
    // semilogx and loglog over the same extremes.
    for (auto front : {semilogx, loglog}) {
        vt::reset();
        front(test::cell_row({test::row({tiny, 1e308}), test::row({tiny, 1e308}), TM("ro")}));
        expect_drawable_log(limits("XLim"));
        const test::Picture q = shot();
        ASSERT_TRUE(test::frame_of(q).found());
        EXPECT_TRUE(test::ink_of(q, test::reddish).any());
    }
}

TEST_F(ExtremeData, ALogZAxisOfASurfaceWithALimitAtZero)
{
    surf(test::cell_row({peaks(Mm(10.0)) + Mm(10.0)}));
    set(gca(), TM("ZScale"), TM("log"));
    set(gca(), TM("ZLim"), test::row({0, 20}));
    const test::Picture p = shot();
    ASSERT_GT(p.rows, 0);
    EXPECT_GT(p.colours(), 20u) << "the surface is coloured";
}

// The pixel a value takes between an axis' limits, pixels p0 at lo and p1
// at hi, on a linear or log scale.
double pixel_of(double v, const std::vector<double>& lim, double p0, double p1, bool log = false)
{
    auto at = [log](double x) { return log ? std::log10(x) : x; };
    return p0 + (at(v) / 2 - at(lim[0]) / 2) / (at(lim[1]) / 2 - at(lim[0]) / 2) * (p1 - p0);
}

test::Rgb map_row(const Mm& map, int k)
{
    const int m = map.rows();
    return {*map.addr(k + 1), *map.addr(m + k + 1), *map.addr(2 * m + k + 1)};
}

TEST_F(ExtremeData, ScaledImagesOfSpansPastTheDoublesTakeTheEndsOfTheMap)
{
    // The span of -1e308..1e308 is no double: the ends still take the
    // first and last rows of the map and 0 the middle one.
    imagesc(test::cell_row({test::row({-1e308, 1e308, 0})}));
    const Mm map = colormap();
    const int m = map.rows();
    ASSERT_GT(m, 2);
    const test::Picture p = shot();
    ASSERT_GT(p.rows, 0);
    const test::Frame f = test::frame_of(p);
    ASSERT_TRUE(f.found());
    const int mid = (f.top + f.bottom) / 2, third = (f.right - f.left) / 3;
    const std::vector<std::pair<int, int>> cells = {{0, 0}, {1, m - 1}, {2, m / 2}};
    for (const auto& [cell, row] : cells) {
        SCOPED_TRACE(cell);
        EXPECT_TRUE(test::near(p.at(mid, f.left + third * cell + third / 2), map_row(map, row)));
    }
    // With a colour bar beside an image of such values.
    vt::reset();
    imagesc(test::cell_row({peaks(Mm(10.0)) * Mm(1.5e307)}));
    colorbar();
    const test::Picture q = shot();
    ASSERT_GT(q.rows, 0);
    EXPECT_GT(q.colours(), 20u);
    // The bar, right of the image, shows the whole map along its length.
    auto hued = [](const test::Rgb& c) {
        return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) > 0.2;
    };
    const test::Frame image = test::frame_of(q, 0, -1, 0, q.cols * 6 / 7);
    ASSERT_TRUE(image.found());
    const test::Ink bar = test::ink_of(q, hued, 0, -1, image.right + 40, q.cols - 1);
    ASSERT_TRUE(bar.any()) << "the colour bar is drawn";
    EXPECT_GT(bar.height(), (image.bottom - image.top) * 9 / 10);
}

TEST_F(ExtremeData, PiesOfHugeValuesAreThePiesOfTheirShares)
{
    // Every value scaled by one factor leaves the picture as it was.
    struct Case {
        const char* what;
        std::vector<double> huge, plain;
        bool three_d;
    };
    const std::vector<Case> cases = {
        {"two of 1e308", {1e308, 1e308}, {1, 1}, false},
        {"3e307 and 1", {3e307, 1}, {3, 1e-307}, false},
        {"three near the largest", {1e308, 1e308, 1e308}, {1, 1, 1}, false},
        {"huge and infinite", {1e308, inf, 1e308}, {1, inf, 1}, false},
        {"pie3 of two of 1e308", {1e308, 1e308}, {1, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        (c.three_d ? pie3 : pie)(test::cell_row({vec(c.huge)}));
        const test::Picture huge = shot();
        vt::reset();
        (c.three_d ? pie3 : pie)(test::cell_row({vec(c.plain)}));
        const test::Picture plain = shot();
        ASSERT_GT(plain.rows, 0);
        EXPECT_TRUE(huge.data == plain.data);
    }
}

TEST_F(ExtremeData, StairsKeepTheLevelBeforeAPointThatCannotBeDrawn)
{
    // stairs(1:5, [1 2 v 4 5]): the level y = 2 runs from x = 2 to 3 and
    // y = 4 from 4 to 5 whatever v is.
    for (double v : {nan, inf, -inf, 3.0}) {
        SCOPED_TRACE(v);
        vt::reset();
        stairs(test::cell_row({colon(1.0, 5.0), test::row({1, 2, v, 4, 5}), TM("r")}));
        const test::Picture p = shot();
        const test::Frame f = test::frame_of(p);
        ASSERT_TRUE(f.found());
        const std::vector<double> xl = limits("XLim"), yl = limits("YLim");
        for (const auto& [x, y] : std::vector<std::pair<double, double>>{{2.5, 2}, {4.5, 4}}) {
            const int j = static_cast<int>(std::lround(pixel_of(x, xl, f.left, f.right)));
            const int i = static_cast<int>(std::lround(pixel_of(y, yl, f.bottom, f.top)));
            EXPECT_TRUE(test::ink_of(p, test::reddish, i - 3, i + 3, j, j).any()) << "level " << y;
        }
    }
}

TEST_F(ExtremeData, SurfaceColoursSpanTheFiniteHeights)
{
    const Mm z = peaks(Mm(20.0));
    const std::vector<double> values = test::values(z);
    const double lo = *std::min_element(values.begin(), values.end()),
                 hi = *std::max_element(values.begin(), values.end());
    surf(test::cell_row({z}));
    const std::size_t plain = shot().colours();
    for (double v : {inf, -inf, nan}) {
        SCOPED_TRACE(v);
        vt::reset();
        Mm zv = z;
        *zv.addr(211) = v;
        surf(test::cell_row({zv}));
        const std::vector<double> clim = limits("CLim");
        ASSERT_EQ(clim.size(), 2u);
        // Point 211 is neither the lowest nor the highest of peaks(20).
        EXPECT_EQ(clim[0], lo);
        EXPECT_EQ(clim[1], hi);
        EXPECT_GT(shot().colours(), plain / 2);
    }
}

// Every chart over every kind of data at the edges of the doubles: the
// picture comes back (a refused call leaves a clear error and still a
// picture), a flat chart shows its frame, and on the plot charts each
// marker that can be drawn lies where the limits read back put it.
TEST_F(ExtremeData, EveryChartOverEveryEdgeOfTheDoubles)
{
    struct Data {
        const char* what;
        std::vector<double> y;
    };
    const std::vector<Data> data = {
        {"near 0", {1e-300, -1e-300, 2e-300}},
        {"subnormal", {tiny, 2 * tiny, 3 * tiny}},
        {"near the largest", {1e308, -1e308, 5e307}},
        {"+Inf", {1, inf, 3}},
        {"-Inf", {1, -inf, 3}},
        {"NaN", {1, nan, 3}},
        {"all infinite", {inf, -inf, nan}},
        {"one point", {5}},
        {"one huge point", {1e308}},
        {"empty", {}},
    };
    enum Look { boxed, round, depth };
    struct Chart {
        const char* what;
        std::function<void(const Mm& x, const Mm& y)> draw;
        Look look;
        bool xlog = false, ylog = false, marks = false;
    };
    auto series = [](Mm (*front)(const Mm&)) {
        return [front](const Mm& x, const Mm& y) { front(test::cell_row({x, y, TM("ro")})); };
    };
    // Two rows: the data and the data plus one.
    auto grid = [](const Mm& y) {
        Mm g = zeros(Mm(2.0), Mm(static_cast<double>(y.size())));
        for (int k = 1; k <= y.size(); ++k) {
            *g.addr(2 * k - 1) = *y.addr(k);
            *g.addr(2 * k) = *y.addr(k) + 1;
        }
        return g;
    };
    const std::vector<Chart> charts = {
        {"plot", series(plot), boxed, false, false, true},
        {"semilogx", series(semilogx), boxed, true, false, true},
        {"semilogy", series(semilogy), boxed, false, true, true},
        {"loglog", series(loglog), boxed, true, true, true},
        {"stem", [](const Mm& x, const Mm& y) { stem(test::cell_row({x, y})); }, boxed},
        {"stairs", [](const Mm& x, const Mm& y) { stairs(test::cell_row({x, y})); }, boxed},
        {"area", [](const Mm& x, const Mm& y) { area(test::cell_row({x, y})); }, boxed},
        {"bar", [](const Mm& x, const Mm& y) { bar(x, y); }, boxed},
        {"barh", [](const Mm& x, const Mm& y) { barh(x, y); }, boxed},
        {"errorbar", [](const Mm& x, const Mm& y) { errorbar(x, y, abs(y)); }, boxed},
        {"scatter", [](const Mm& x, const Mm& y) { scatter(x, y, test::cell_row({Mm(36.0)})); }, boxed},
        {"hist", [](const Mm&, const Mm& y) { hist(y); }, boxed},
        {"imagesc", [](const Mm&, const Mm& y) { imagesc(test::cell_row({y})); }, boxed},
        {"pie", [](const Mm&, const Mm& y) { pie(test::cell_row({y})); }, round},
        {"polar", [](const Mm& x, const Mm& y) { polar(test::cell_row({x, y})); }, round},
        {"pie3", [](const Mm&, const Mm& y) { pie3(test::cell_row({y})); }, depth},
        {"plot3", [](const Mm& x, const Mm& y) { plot3(test::cell_row({x, y, y})); }, depth},
        {"surf", [grid](const Mm&, const Mm& y) { surf(test::cell_row({grid(y)})); }, depth},
        {"mesh", [grid](const Mm&, const Mm& y) { mesh(test::cell_row({grid(y)})); }, depth},
        {"contour", [grid](const Mm&, const Mm& y) { contour(test::cell_row({grid(y)})); }, boxed},
    };
    for (const Chart& c : charts)
        for (const Data& d : data) {
            SCOPED_TRACE(std::string(c.what) + " of " + d.what);
            vt::reset();
            std::vector<double> xv;
            for (std::size_t k = 0; k < d.y.size(); ++k)
                xv.push_back(c.xlog && !d.y.empty() ? std::pow(10.0, static_cast<double>(k)) : k + 1.0);
            const Mm x = vec(xv), y = vec(d.y);
            const std::string refused = test::error_of([&] { c.draw(x, y); });
            const test::Picture p = shot();
            EXPECT_EQ(p.rows, 420) << refused;
            EXPECT_EQ(p.cols, 560);
            if (p.rows == 0)
                continue;
            // (hist of no data counts nothing and makes no axes.)
            bool axes = false;
            for (double k : vt::children(*gcf().addr(1)))
                axes = axes || vt::type(k) == "axes";
            if (c.look == boxed && refused.empty() && axes) {
                EXPECT_TRUE(test::frame_of(p).found());
            }
            // A pie of no positive share draws nothing, and has no axes.
            const bool share = std::any_of(d.y.begin(), d.y.end(), [](double v) { return std::isfinite(v) && v > 0; });
            const bool pie_chart = std::string(c.what).rfind("pie", 0) == 0;
            if (c.look != boxed && refused.empty() && (share || !pie_chart)) {
                EXPECT_GT(p.colours(), 1u);
            }
            if (!c.marks || !refused.empty())
                continue;
            const test::Frame f = test::frame_of(p);
            if (!f.found())
                continue;
            const std::vector<double> xl = limits("XLim"), yl = limits("YLim");
            for (std::size_t k = 0; k < d.y.size(); ++k) {
                const double yk = d.y[k];
                if (!std::isfinite(yk) || (c.ylog && !(yk > 0)))
                    continue;
                SCOPED_TRACE(k);
                const double j = pixel_of(xv[k], xl, f.left, f.right, c.xlog),
                             i = pixel_of(yk, yl, f.bottom, f.top, c.ylog);
                EXPECT_TRUE(std::isfinite(i) && std::isfinite(j)) << xl[0] << " " << xl[1] << ", " << yl[0] << " " << yl[1];
                if (!(std::isfinite(i) && std::isfinite(j)))
                    continue;
                const int ii = static_cast<int>(std::lround(i)), jj = static_cast<int>(std::lround(j));
                EXPECT_TRUE(test::ink_of(p, test::reddish, std::max(0, ii - 4), std::min(p.rows - 1, ii + 4),
                                         std::max(0, jj - 4), std::min(p.cols - 1, jj + 4))
                                .any());
            }
        }
}

// Limits touching 0 written on a log axis, before and after the scale,
// over each kind of data: the capture comes back with its frame.
TEST_F(ExtremeData, LogLimitsAtZeroSetBeforeAndAfterTheScale)
{
    const std::vector<std::vector<double>> data = {
        {1, 2, 3}, {tiny, 1e-300, 1}, {1, 1e308}, {1, inf, nan}, {-1, -2}, {5}, {}};
    for (const std::vector<double>& y : data)
        for (bool scale_first : {false, true})
            for (const std::vector<double>& lim : {std::vector<double>{0, 10}, {-5, 0}, {0, 0}, {-inf, inf}}) {
                SCOPED_TRACE(::testing::Message() << y.size() << " values, limits " << lim[0] << " " << lim[1]
                                                  << (scale_first ? ", scale first" : ", limits first"));
                vt::reset();
                std::vector<double> xv;
                for (std::size_t k = 0; k < y.size(); ++k)
                    xv.push_back(k + 1.0);
                plot(test::cell_row({vec(xv), vec(y), TM("ro-")}));
                auto scale = [] {
                    set(gca(), TM("YScale"), TM("log"));
                    set(gca(), TM("XScale"), TM("log"));
                };
                auto limit = [&] {
                    test::error_of([&] { set(gca(), TM("YLim"), vec(lim)); });
                    test::error_of([&] { set(gca(), TM("XLim"), vec(lim)); });
                };
                scale_first ? (scale(), limit()) : (limit(), scale());
                const test::Picture p = shot();
                ASSERT_EQ(p.rows, 420);
                EXPECT_TRUE(test::frame_of(p).found());
            }
}

} // namespace
