// The series chart fronts: chart type on every series and the axes
// properties each writes after its series.
#include "picture.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace vt = vizmo::test;

// The engine keeps a colour code as its RGB: back to the code -(100 + i) of
// letter i of "ymcrgbwk".
double colour_code(double h)
{
    const std::vector<std::vector<double>> table = {{1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 0, 0},
                                                    {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {0, 0, 0}};
    const std::vector<double> rgb = vt::prop(h, "Color").data;
    for (std::size_t k = 0; k < table.size(); ++k)
        if (rgb == table[k])
            return -100.0 - static_cast<double>(k);
    return 0;
}

double num(double h, const char* name) { return vt::prop(h, name).data.at(0); }

bool has_write(double h, const char* name)
{
    const std::vector<std::string> w = vt::writes(h);
    return std::find(w.begin(), w.end(), name) != w.end();
}

// Equal element by element, NaN matching NaN.
void expect_same(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        if (std::isnan(want[k]))
            EXPECT_TRUE(std::isnan(got[k])) << k;
        else
            EXPECT_DOUBLE_EQ(got[k], want[k]) << k;
    }
}

std::vector<double> handles(const Mm& h) { return test::values(h); }

class Charts : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
};

TEST_F(Charts, FrontsNameTheirChartAndSetTheAxes)
{
    struct Case {
        const char* what;
        Mm (*front)(const Mm&);
        const char* chart;
        std::vector<std::string> axes_writes;  // after the last series
        std::vector<double> view;
    };
    const std::vector<Case> cases = {
        {"stem", stem, "stem", {}, {2}},
        {"stairs", stairs, "stairs", {}, {2}},
        {"area", area, "area", {}, {2}},
        {"pie", pie, "pie", {}, {2}},
        {"polar", polar, "polar", {"XGrid", "YGrid", "ZGrid"}, {2}},
        {"semilogx", semilogx, "plot", {"XScale"}, {2}},
        {"semilogy", semilogy, "plot", {"YScale"}, {2}},
        {"loglog", loglog, "plot", {"XScale", "YScale"}, {2}},
        {"pie3", pie3, "pie", {"View"}, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double a = *gca().addr(1);
        // Two groups: the axes writes come once, after both series.
        const Mm args = test::cell_row({test::row({1, 2}), test::row({3, 4}), test::row({5, 6}), test::row({7, 8})});
        const Mm h = c.front(args);
        ASSERT_EQ(h.size(), 2);
        for (int k = 1; k <= 2; ++k)
            EXPECT_EQ(vt::prop(*h.addr(k), "ChartType").text(), c.chart);
        const std::vector<std::string> w = vt::writes(a);
        ASSERT_GE(w.size(), c.axes_writes.size());
        EXPECT_EQ(std::vector<std::string>(w.end() - static_cast<long>(c.axes_writes.size()), w.end()), c.axes_writes);
        for (const std::string& name : {std::string("XScale"), std::string("YScale")})
            EXPECT_LE(std::count(w.begin(), w.end(), name), 1) << name;
        EXPECT_EQ(vt::prop(a, "View").data, c.view);
    }
    vt::reset();
    const Mm h = plot3(test::cell_row({test::row({1, 2}), test::row({3, 4}), test::row({5, 6})}));
    ASSERT_EQ(h.size(), 1);
    EXPECT_EQ(vt::prop(*h.addr(1), "ChartType").text(), "plot3");
    EXPECT_EQ(vt::data(*h.addr(1)).z.data, (std::vector<double>{5, 6}));
    EXPECT_EQ(vt::prop(*gca().addr(1), "View").data, (std::vector<double>{3}));
    EXPECT_EQ(vt::prop(*gca().addr(1), "XGrid").text(), "off");
    EXPECT_ERROR(plot3(test::cell_row({test::row({1, 2}), test::row({3, 4})})), "plot3: expecting 3 data items in position 1");
}

TEST_F(Charts, BarsArrangeTheirArgumentsAndStacking)
{
    const Mm y = test::row({3, 1, 2});
    const Mm x = test::row({10, 20, 30});
    const Mm yc = test::real(3, 1, {3, 1, 2});
    const Mm y42 = test::real(4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
    using series = std::vector<std::vector<double>>;
    struct Case {
        const char* what;
        std::function<Mm()> call;
        const char* chart;
        series xs, ys;
        const char* stack;  // nullptr: no Stacktype written
        double colour;      // 0: not checked
        double view;
    };
    const std::vector<Case> cases = {
        {"bar(y)", [&] { return bar(y); }, "bar", {{1, 2, 3}}, {{3, 1, 2}}, nullptr, -105, 2},
        {"bar(y,'r')", [&] { return bar(y, TM("r")); }, "bar", {{1, 2, 3}}, {{3, 1, 2}}, nullptr, -103, 2},
        {"bar(y,'stacked')", [&] { return bar(y, TM("stacked")); }, "bar", {{1, 2, 3}}, {{3, 1, 2}}, "stacked", -105, 2},
        {"bar(y,'')", [&] { return bar(y, TM("")); }, "bar", {{1, 2, 3}}, {{3, 1, 2}}, nullptr, -105, 2},
        {"barh(y,'')", [&] { return barh(yc, TM("")); }, "barh", {{3, 1, 2}}, {{1, 2, 3}}, nullptr, -105, 2},
        // A row is one series of bars at 1..n, as bar takes it.
        {"barh([3 1 2 5])", [&] { return barh(test::row({3, 1, 2, 5})); }, "barh", {{3, 1, 2, 5}}, {{1, 2, 3, 4}},
         nullptr, -105, 2},
        {"barh(row,'stacked')", [&] { return barh(y, TM("stacked")); }, "barh", {{3, 1, 2}}, {{1, 2, 3}}, "stacked",
         -105, 2},
        {"bar(x,y)", [&] { return bar(x, y); }, "bar", {{10, 20, 30}}, {{3, 1, 2}}, nullptr, -105, 2},
        {"bar(x,y,'g')", [&] { return bar(x, y, TM("g")); }, "bar", {{10, 20, 30}}, {{3, 1, 2}}, nullptr, -104, 2},
        {"bar(x,y,'grouped')", [&] { return bar(x, y, TM("grouped")); }, "bar", {{10, 20, 30}}, {{3, 1, 2}},
         "grouped", -105, 2},
        {"barh(y) 4x2", [&] { return barh(y42); }, "barh", {{1, 2, 3, 4}, {5, 6, 7, 8}}, {{1, 2, 3, 4}, {1, 2, 3, 4}},
         nullptr, 0, 2},
        {"barh(x,y)", [&] { return barh(x, y); }, "barh", {{3, 1, 2}}, {{10, 20, 30}}, nullptr, -105, 2},
        {"barh(y,'k')", [&] { return barh(yc, TM("k")); }, "barh", {{3, 1, 2}}, {{1, 2, 3}}, nullptr, -107, 2},
        {"barh(y,'stacked')", [&] { return barh(yc, TM("stacked")); }, "barh", {{3, 1, 2}}, {{1, 2, 3}}, "stacked",
         -105, 2},
        {"barh(x,y,'m')", [&] { return barh(x, y, TM("m")); }, "barh", {{3, 1, 2}}, {{10, 20, 30}}, nullptr, -101, 2},
        {"barh(x,y,'grouped')", [&] { return barh(x, y, TM("grouped")); }, "barh", {{3, 1, 2}}, {{10, 20, 30}},
         "grouped", -105, 2},
        {"bar3(y)", [&] { return bar3(y); }, "bar", {{1, 2, 3}}, {{3, 1, 2}}, "none", -105, 3},
        {"bar3(x,y)", [&] { return bar3(x, y); }, "bar", {{10, 20, 30}}, {{3, 1, 2}}, "none", -105, 3},
        {"bar3(x,y,'r')", [&] { return bar3(x, y, TM("r")); }, "bar", {{10, 20, 30}}, {{3, 1, 2}}, nullptr, -103, 3},
        {"bar3(x,y,'stacked')", [&] { return bar3(x, y, TM("stacked")); }, "bar", {{10, 20, 30}}, {{3, 1, 2}},
         "stacked", -105, 3},
        {"bar3h(y)", [&] { return bar3h(yc); }, "barh", {{3, 1, 2}}, {{1, 2, 3}}, "none", -105, 3},
        {"bar3h(x,y)", [&] { return bar3h(x, y); }, "barh", {{3, 1, 2}}, {{10, 20, 30}}, "none", -105, 3},
        {"bar3h(x,y,'r')", [&] { return bar3h(x, y, TM("r")); }, "barh", {{3, 1, 2}}, {{10, 20, 30}}, nullptr, -103, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const std::vector<double> h = handles(c.call());
        ASSERT_EQ(h.size(), c.xs.size());
        for (std::size_t k = 0; k < h.size(); ++k) {
            EXPECT_EQ(vt::prop(h[k], "ChartType").text(), c.chart);
            EXPECT_EQ(vt::data(h[k]).x.data, c.xs[k]) << k;
            EXPECT_EQ(vt::data(h[k]).y.data, c.ys[k]) << k;
            if (c.stack)
                EXPECT_EQ(vt::prop(h[k], "Stacktype").text(), c.stack);
            else
                EXPECT_FALSE(has_write(h[k], "Stacktype"));
            if (c.colour != 0) {
                EXPECT_EQ(colour_code(h[k]), c.colour);
            }
        }
        EXPECT_EQ(vt::prop(*gca().addr(1), "View").data, (std::vector<double>{c.view}));
    }
}

TEST_F(Charts, ErrorBarsAreBrokenSegmentsUnderTheLine)
{
    const Mm y = test::row({2, 4, 3});
    const Mm e = test::row({0.5, 1, 0.25});
    const double nan = NAN;
    struct Case {
        const char* what;
        std::function<Mm()> call;
        std::vector<double> x, bars_y;
        double colour;
    };
    const std::vector<double> low_high = {1.5, 2.5, nan, 3, 5, nan, 2.75, 3.25, nan};
    const std::vector<Case> cases = {
        {"(y,e)", [&] { return errorbar(y, e); }, {1, 2, 3}, low_high, -105},
        {"(y,e) columns", [&] { return errorbar(test::real(3, 1, {2, 4, 3}), test::real(3, 1, {0.5, 1, 0.25})); },
         {1, 2, 3}, low_high, -105},
        {"(y,e,'r')", [&] { return errorbar(y, e, TM("r")); }, {1, 2, 3}, low_high, -103},
        {"(x,y,e)", [&] { return errorbar(test::row({1, 2, 5}), y, e); }, {1, 2, 5}, low_high, -105},
        {"(x,y,e,'g')", [&] { return errorbar(test::row({1, 2, 5}), y, e, TM("g")); }, {1, 2, 5}, low_high, -104},
        {"(x,y,l,u)", [&] { return errorbar(test::row({1, 2, 5}), y, e, test::row({1, 1, 1})); }, {1, 2, 5},
         {1.5, 3, nan, 3, 5, nan, 2.75, 4, nan}, -105},
        {"(x,y,l,u,'k')", [&] { return errorbar(test::row({1, 2, 5}), y, e, test::row({1, 1, 1}), TM("k")); },
         {1, 2, 5}, {1.5, 3, nan, 3, 5, nan, 2.75, 4, nan}, -107},
        {"scalar error", [&] { return errorbar(y, Mm(1.0)); }, {1, 2, 3}, {1, 3, nan, 3, 5, nan, 2, 4, nan}, -105},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const std::vector<double> h = handles(c.call());
        ASSERT_EQ(h.size(), 2u);
        const std::vector<double> bars_x = {c.x[0], c.x[0], nan, c.x[1], c.x[1], nan, c.x[2], c.x[2], nan};
        expect_same(vt::data(h[0]).x.data, bars_x);
        expect_same(vt::data(h[0]).y.data, c.bars_y);
        EXPECT_EQ(vt::data(h[1]).x.data, c.x);
        EXPECT_EQ(vt::data(h[1]).y.data, (std::vector<double>{2, 4, 3}));
        EXPECT_TRUE(vt::exists(h[0])) << "the line must not replace the bars";
        EXPECT_EQ(colour_code(h[0]), c.colour);
        EXPECT_EQ(colour_code(h[1]), c.colour);
        EXPECT_FALSE(istrue(ishold()));
        const double f = (c.x[2] - c.x[0]) / 100;
        const std::vector<double> lim = vt::prop(*gca().addr(1), "XLim").data;
        ASSERT_EQ(lim.size(), 2u);
        EXPECT_DOUBLE_EQ(lim[0], c.x[0] - f);
        EXPECT_DOUBLE_EQ(lim[1], c.x[2] + f);
    }
    vt::reset();
    const Mm h = errorbar(y, e);
    const std::vector<double> lim = vt::prop(*gca().addr(1), "XLim").data;
    EXPECT_DOUBLE_EQ(lim.at(0), 0.98);
    EXPECT_DOUBLE_EQ(lim.at(1), 3.02);
    EXPECT_ERROR(errorbar(y, test::row({1, 2})), "errorbar: vectors are not matched");
    EXPECT_ERROR(errorbar(test::row({1, 2}), y, e), "errorbar: vectors are not matched");
}

TEST_F(Charts, ScatterOptionsGiveLineStyleSizeAndColour)
{
    const Mm x = test::row({1, 2, 3});
    const Mm y = test::row({4, 5, 6});
    const Mm z = test::row({7, 8, 9});
    const Mm green = test::row({0, 1, 0});
    struct Case {
        const char* what;
        std::function<Mm()> call;
        const char* chart;
        double marker, line_style, colour;
        std::vector<double> size, marker_colour;  // empty: not written
    };
    const std::vector<Case> cases = {
        {"{}", [&] { return scatter(x, y, test::cell_row({})); }, "plot", 1, -1, -105, {}, {}},
        {"{10,c,'filled'}", [&] { return scatter(x, y, test::cell_row({Mm(10.0), green, TM("filled")})); }, "plot", 1,
         -1, -105, {10}, {0, 1, 0}},
        {"{'FILLED'}", [&] { return scatter(x, y, test::cell_row({TM("FILLED")})); }, "plot", 1, -1, -105, {}, {}},
        {"{'r'}", [&] { return scatter(x, y, test::cell_row({TM("r")})); }, "plot", -1, 0, -103, {}, {}},
        {"{'r',c}: only the first position is a size",
         [&] { return scatter(x, y, test::cell_row({TM("r"), green})); }, "plot", -1, 0, -103, {}, {0, 1, 0}},
        {"{4,c,9}: the third number is ignored",
         [&] { return scatter(x, y, test::cell_row({Mm(4.0), green, Mm(9.0)})); }, "plot", 1, -1, -105, {4}, {0, 1, 0}},
        {"3-D {}", [&] { return scatter3(x, y, z, test::cell_row({})); }, "plot3", 1, -1, -105, {}, {}},
        {"3-D {'filled'}", [&] { return scatter3(x, y, z, test::cell_row({TM("filled")})); }, "plot3", 1, -1, -105, {},
         {}},
        {"3-D {'r'} appends", [&] { return scatter3(x, y, z, test::cell_row({TM("r")})); }, "plot3", 1, -1, -103, {},
         {}},
        {"3-D {12,c}", [&] { return scatter3(x, y, z, test::cell_row({Mm(12.0), green})); }, "plot3", 1, -1, -105,
         {12}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const std::vector<double> h = handles(c.call());
        ASSERT_EQ(h.size(), 1u);
        EXPECT_EQ(vt::prop(h[0], "ChartType").text(), c.chart);
        EXPECT_EQ(num(h[0], "Marker"), c.marker);
        EXPECT_EQ(num(h[0], "LineStyle"), c.line_style);
        EXPECT_EQ(colour_code(h[0]), c.colour);
        EXPECT_EQ(has_write(h[0], "MarkerSize"), !c.size.empty());
        if (!c.size.empty()) {
            EXPECT_EQ(vt::prop(h[0], "MarkerSize").data, c.size);
        }
        EXPECT_EQ(has_write(h[0], "MarkerColor"), !c.marker_colour.empty());
        if (!c.marker_colour.empty()) {
            EXPECT_EQ(vt::prop(h[0], "MarkerColor").data, c.marker_colour);
        }
        if (std::string(c.chart) == "plot3") {
            EXPECT_EQ(vt::data(h[0]).z.data, (std::vector<double>{7, 8, 9}));
        }
    }
}

TEST_F(Charts, PlotyyMovesTheSecondSeriesAxes)
{
    const Mm x = test::row({1, 2, 3});
    const Mm y1 = test::row({4, 5, 6});
    const Mm y2 = test::row({40, 50, 60});
    const std::vector<double> h = handles(plotyy(x, y1, x, y2));
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(vt::data(h[1]).y.data, (std::vector<double>{40, 50, 60}));
    const std::vector<std::string> w = vt::writes(h[1]);
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(w.end() - 2, w.end()),
              (std::vector<std::string>{"YAxisLocation", "XAxisLocation"}));
    EXPECT_EQ(vt::prop(h[1], "YAxisLocation").text(), "right");
    EXPECT_EQ(vt::prop(h[1], "XAxisLocation").text(), "top");
    EXPECT_FALSE(has_write(h[0], "YAxisLocation"));
    EXPECT_FALSE(has_write(h[0], "XAxisLocation"));
    if (vt::has_renderer()) {
        // The left axis is scaled on the first series alone: 4..6, not 4..60.
        EXPECT_EQ(test::values(get(gca(), "YLim")), (std::vector<double>{4, 6}));
    }

    // A two-column y1 is two series already: its second column takes the
    // right axis.
    vt::reset();
    const std::vector<double> m = handles(plotyy(x, test::real(3, 2, {1, 2, 3, 7, 8, 9}), x, y2));
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(vt::data(m[1]).y.data, (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(vt::prop(m[1], "YAxisLocation").text(), "right");
    EXPECT_FALSE(has_write(m[2], "YAxisLocation"));

    vt::reset();
    Mm ax, h1, h2;
    const Mm r = plotyy(x, y1, x, y2, i_o, ax, h1, h2);
    EXPECT_TRUE(isempty(r));
    EXPECT_EQ(test::values(ax), test::values(gca()));
    ASSERT_EQ(h1.size(), 1);
    ASSERT_EQ(h2.size(), 1);
    EXPECT_EQ(vt::data(*h1.addr(1)).y.data, (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(vt::prop(*h2.addr(1), "XAxisLocation").text(), "top");

    vt::reset();
    Mm ax2, only;
    EXPECT_TRUE(isempty(plotyy(x, y1, x, y2, i_o, ax2, only)));
    EXPECT_EQ(test::values(ax2), test::values(gca()));
    EXPECT_EQ(vt::data(*only.addr(1)).y.data, (std::vector<double>{4, 5, 6}));

    vt::reset();
    EXPECT_ERROR(plotyy(x_M, x_M, x_M, x_M), "plotyy: expecting two series");
}

TEST_F(Charts, AreasOfAMatrixPileUp)
{
    // Three columns of 1, 2 and 1.5 over ten points: the piles reach 1, 3
    // and 4.5, so the limits are chosen for 4.5, and a column of the picture
    // shows blue at the foot, green over it, red on top, then the axes.
    Mm Y = zeros(Mm(10.0), Mm(3.0));
    for (int k = 1; k <= 10; ++k) {
        *Y.addr(k) = 1;
        *Y.addr(10 + k) = 2;
        *Y.addr(20 + k) = 1.5;
    }
    const std::vector<double> h = handles(area(test::cell_row({Y})));
    ASSERT_EQ(h.size(), 3u);
    for (double s : h)
        EXPECT_EQ(vt::prop(s, "ChartType").text(), "area");
    if (!vt::has_renderer())
        return;
    const std::vector<double> ylim = test::values(get(gca(), "YLim"));
    ASSERT_EQ(ylim.size(), 2u);
    EXPECT_EQ(ylim[0], 0);
    EXPECT_GE(ylim[1], 4.5) << "the top of the pile is in sight";
    EXPECT_LE(ylim[1], 5);
    EXPECT_EQ(vt::prop(*gca().addr(1), "YLimMode").text(), "auto");
    const test::Picture p = test::Picture::of(*gcf().addr(1));
    ASSERT_GT(p.rows, 0);
    std::vector<char> order;
    for (int i = p.rows - 1; i >= 0; --i) {
        const test::Rgb c = p.at(i, p.cols / 2);
        const char now = test::bluish(c) ? 'b' : test::greenish(c) ? 'g' : test::reddish(c) ? 'r' : 0;
        if (now && (order.empty() || order.back() != now))
            order.push_back(now);
    }
    EXPECT_EQ(std::string(order.begin(), order.end()), "bgr");
    // Heights in the ratio of the columns: green twice blue.
    int b = 0, g = 0;
    for (int i = 0; i < p.rows; ++i) {
        b += test::bluish(p.at(i, p.cols / 2));
        g += test::greenish(p.at(i, p.cols / 2));
    }
    EXPECT_NEAR(static_cast<double>(g) / b, 2, 0.1);
}

TEST_F(Charts, PolarSeriesShareOneRadialScale)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // The limacon 2 + cos(t) in red and the unit circle in blue: the circle
    // lies at a third of the limacon's largest radius, inside it and
    // touching it at t = pi; so too when the circle comes under hold on.
    const Mm t = linspace(Mm(0.0), Mm(2 * M_PI), Mm(50.0));
    for (bool held : {false, true}) {
        SCOPED_TRACE(held ? "hold on" : "one call");
        vt::reset();
        if (held) {
            polar(test::cell_row({t, Mm(2.0) + cos(t), TM("r")}));
            hold(TM("on"));
            polar(test::cell_row({t, Mm(1.0) + Mm(0.0) * t, TM("b")}));
        } else {
            polar(test::cell_row({t, Mm(2.0) + cos(t), TM("r"), t, Mm(1.0) + Mm(0.0) * t, TM("b")}));
        }
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        const std::vector<test::Spot> blue = p.where(test::bluish), red = p.where(test::reddish);
        ASSERT_FALSE(blue.empty());
        ASSERT_FALSE(red.empty());
        // The circle's centre is the frame's.
        double ci = 0, cj = 0;
        for (const test::Spot& s : blue) {
            ci += s.i;
            cj += s.j;
        }
        ci /= blue.size();
        cj /= blue.size();
        double circle = 0, farthest = 0;
        for (const test::Spot& s : blue)
            circle += std::hypot(s.i - ci, s.j - cj) / blue.size();
        for (const test::Spot& s : red)
            farthest = std::max(farthest, std::hypot(s.i - ci, s.j - cj));
        EXPECT_NEAR(circle / farthest, 1.0 / 3, 0.03);
    }
}

TEST_F(Charts, PolarSeriesKeepTheirLineStyleAndMarkers)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // A red polygon through 12 points on the unit circle, in each style:
    // walked along its sides, the line covers them whole, leaves gaps
    // (dashes and dots), or is not there at all (markers only); markers
    // stand on the points.
    struct Case {
        const char* style;
        double cover_lo, cover_hi;  // share of the sides inked
        bool gaps, markers;
    };
    const std::vector<Case> cases = {
        {"r-", 0.97, 1.0, false, false},  {"r--", 0.35, 0.9, true, false}, {"r:", 0.1, 0.75, true, false},
        {"r-.", 0.35, 0.95, true, false}, {"ro", 0.0, 0.05, false, true},  {"r--s", 0.35, 0.9, true, true},
    };
    const Mm t = linspace(Mm(0.0), Mm(2 * M_PI), Mm(13.0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        vt::reset();
        polar(test::cell_row({t, Mm(1.0) + Mm(0.0) * t, TM(c.style)}));
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        const std::vector<test::Spot> red = p.where(test::reddish);
        ASSERT_FALSE(red.empty());
        // Points at 0, 90, 180 and 270 degrees bound the picture of it.
        int i0 = p.rows, i1 = 0, j0 = p.cols, j1 = 0;
        for (const test::Spot& s : red) {
            i0 = std::min(i0, s.i), i1 = std::max(i1, s.i), j0 = std::min(j0, s.j), j1 = std::max(j1, s.j);
        }
        const double ci = (i0 + i1) / 2.0, cj = (j0 + j1) / 2.0, r = (j1 - j0) / 2.0 - (c.markers ? 3.5 : 1);
        auto inked = [&](double i, double j) {
            const int ri = static_cast<int>(std::lround(i)), rj = static_cast<int>(std::lround(j));
            for (int di = -1; di <= 1; ++di)
                for (int dj = -1; dj <= 1; ++dj)
                    if (test::reddish(p.at(ri + di, rj + dj)))
                        return true;
            return false;
        };
        auto at = [&](double a, double radius, double& i, double& j) {
            i = ci - radius * std::cos(a);
            j = cj + radius * std::sin(a);
        };
        // Samples along each side, clear of the markers at its ends.
        int covered = 0, samples = 0, gaps = 0;
        bool was = true;
        for (int k = 0; k < 12; ++k) {
            double ai, aj, bi, bj;
            at(k * M_PI / 6, r, ai, aj);
            at((k + 1) * M_PI / 6, r, bi, bj);
            for (int f = 5; f <= 55; ++f) {
                const bool now = inked(ai + (bi - ai) * f / 60.0, aj + (bj - aj) * f / 60.0);
                covered += now;
                ++samples;
                gaps += was && !now;
                was = now;
            }
        }
        const double cover = static_cast<double>(covered) / samples;
        EXPECT_GE(cover, c.cover_lo);
        EXPECT_LE(cover, c.cover_hi);
        EXPECT_EQ(gaps >= 8, c.gaps) << gaps << " gaps";
        // A marker reaches across the path beyond the line's width.
        int marked = 0;
        for (int k = 0; k < 12; ++k) {
            double oi, oj, fi, fj;
            at(k * M_PI / 6, r + 4, oi, oj);
            at(k * M_PI / 6, r + 9, fi, fj);
            marked += inked(oi, oj) && !inked(fi, fj);
        }
        EXPECT_EQ(marked, c.markers ? 12 : 0);
    }
}

TEST_F(Charts, CompassDrawsCirclesAtTheTips)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Its own style ("o-b") against the same spokes without markers.
    auto blue_pixels = [](const Mm& style) {
        vt::reset();
        style.size() ? compass(test::row({3, -2}), test::row({4, 1}), style)
                     : compass(test::row({3, -2}), test::row({4, 1}));
        return test::Picture::of(*gcf().addr(1)).where(test::bluish).size();
    };
    const std::size_t plain = blue_pixels(TM("-b")), circled = blue_pixels(Mm());
    EXPECT_GT(circled, plain + 20) << "two circles at the tips (and one at the centre)";
}

TEST_F(Charts, ErrorBarsReachingZeroOnALogAxisRunOutOfTheBox)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // errorbar(1:3, [1 2 3], 2) on a log y axis: the bars of 1 and 2 reach
    // -1 and 0, and run from their tops (3 and 4) down through the box's
    // foot; the bar of 3 stops at 1. The same on a log x axis with barh-like
    // data turned: x = [1 2 3] are the positions, so only y matters here.
    for (const bool scale_first : {false, true}) {
        SCOPED_TRACE(scale_first ? "log scale before" : "log scale after");
        vt::reset();
        if (scale_first) {
            set(gca(), TM("YScale"), TM("log"));
            hold(TM("on"));
        }
        errorbar(test::row({1, 2, 3}), test::row({1, 2, 3}), Mm(2.0), TM("r"));
        set(gca(), TM("YScale"), TM("log"));
        set(gca(), TM("YLim"), test::row({0.5, 10}));
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        const test::Frame f = test::frame_of(p);
        ASSERT_TRUE(f.found());
        const std::vector<double> xl = test::values(get(gca(), TM("XLim")));
        auto row_of = [&f](double y) {
            return f.bottom + (std::log10(y) - std::log10(0.5)) / (1 - std::log10(0.5)) * (f.top - f.bottom);
        };
        for (const auto& [x, top, bottom] : std::vector<std::tuple<double, double, double>>{
                 {1, 3, 0}, {2, 4, 0}, {3, 5, 1}}) {
            SCOPED_TRACE(x);
            const int j = static_cast<int>(std::lround(f.left + (x - xl[0]) / (xl[1] - xl[0]) * (f.right - f.left)));
            const test::Ink bar = test::ink_of(p, test::reddish, f.top, f.bottom, j - 1, j + 1);
            ASSERT_TRUE(bar.any());
            EXPECT_NEAR(bar.top, row_of(top), 3);
            EXPECT_NEAR(bar.bottom, bottom > 0 ? row_of(bottom) : f.bottom, 3);
        }
    }
}

TEST_F(Charts, ErrorBarsCarryCaps)
{
    const std::vector<double> h = handles(errorbar(test::row({2, 4, 3}), test::row({0.5, 1, 0.25})));
    ASSERT_EQ(h.size(), 2u);
    EXPECT_GT(num(h[0], "CapSize"), 0) << "the bars";
    EXPECT_TRUE(vt::prop(h[1], "CapSize").empty()) << "not the line through the points";
}

TEST_F(Charts, TooFewInputsAreRejected)
{
    const Mm a = test::row({1, 2});
    Mm o1, o2, o3;
    struct Case {
        std::function<void()> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {[&] { plotyy(a); }, "plotyy does not accept 1 input"},
        {[&] { plotyy(a, a); }, "plotyy does not accept 2 inputs"},
        {[&] { plotyy(a, a, a); }, "plotyy does not accept 3 inputs"},
        {[&] { plotyy(a, i_o, o1, o2); }, "plotyy does not accept 1 input"},
        {[&] { plotyy(a, a, i_o, o1, o2); }, "plotyy does not accept 2 inputs"},
        {[&] { plotyy(a, a, a, i_o, o1, o2); }, "plotyy does not accept 3 inputs"},
        {[&] { plotyy(a, i_o, o1, o2, o3); }, "plotyy does not accept 1 input"},
        {[&] { plotyy(a, a, i_o, o1, o2, o3); }, "plotyy does not accept 2 inputs"},
        {[&] { plotyy(a, a, a, i_o, o1, o2, o3); }, "plotyy does not accept 3 inputs"},
        {[&] { scatter(a); }, "scatter does not accept 1 input"},
        {[&] { scatter(a, a); }, "scatter does not accept 2 inputs"},
        {[&] { scatter3(a); }, "scatter3 does not accept 1 input"},
        {[&] { scatter3(a, a); }, "scatter3 does not accept 2 inputs"},
        {[&] { scatter3(a, a, a); }, "scatter3 does not accept 3 inputs"},
        {[&] { errorbar(a); }, "errorbar does not accept 1 input"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        vt::reset();
        EXPECT_ERROR(c.call(), c.message);
        EXPECT_TRUE(vt::children(*gcf().addr(1)).empty()) << "nothing is drawn";
    }
}

} // namespace
