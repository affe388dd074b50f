// Axes decorations against the headless engine: the subplot grid, grid
// lines, hold, limits and modes, the legend, the view and the labels.
#include "graphics/property_names.hpp"
#include "picture.hpp"
#include "temp_dir.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

class Decorations : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override
    {
        hosted_axes = Mm();
        vt::reset();
    }
};

double handle(const Mm& h) { return *h.addr(1); }
std::vector<double> values_of(double h, const char* name) { return vt::prop(h, name).data; }

std::vector<double> axes_of_figure()
{
    std::vector<double> out;
    for (double k : vt::children(vizmo_current_figure()))
        if (vt::type(k) == "axes")
            out.push_back(k);
    return out;
}

void expect_near(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k)
        EXPECT_NEAR(got[k], want[k], 1e-15) << k;
}

TEST_F(Decorations, TitlesAndLabelsDrawInTheirColourSizeAndFace)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Each label, plain and then with one property written: the ink above
    // the box (title), below it (xlabel) or left of it (ylabel) against the
    // plain one's.
    struct Ink {
        int pixels = 0, height = 0, red = 0;
        std::vector<double> data;
    };
    using Front = Mm (*)(const Mm&);
    const Front fronts[3] = {title, xlabel, ylabel};
    enum { is_title, is_xlabel, is_ylabel };
    auto label_ink = [&fronts](int label, const Mm& args) {
        vt::reset();
        plot(test::cell_row({test::row({1, 2})}));
        fronts[label](args);
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        const test::Frame f = test::frame_of(p);
        Ink k;
        if (!f.found())
            return k;
        const int i0 = label == is_xlabel ? f.bottom + 16 : 0;
        const int i1 = label == is_title ? f.top - 2 : p.rows - 1;
        const int j0 = label == is_ylabel ? 0 : f.left, j1 = label == is_ylabel ? f.left - 30 : f.right;
        auto inked = [](const test::Rgb& c) { return c.r + c.g + c.b < 2.4; };
        const test::Ink box = test::ink_of(p, inked, i0, i1, j0, j1);
        k.height = label == is_ylabel ? box.width() : box.height();
        for (int i = i0; i <= i1; ++i)
            for (int j = j0; j <= j1; ++j) {
                const test::Rgb c = p.at(i, j);
                k.pixels += inked(c);
                k.red += test::reddish(c);
                k.data.push_back(c.r + c.g + c.b);
            }
        return k;
    };
    struct Case {
        const char* what;
        const char* name;
        Mm value;
        std::function<void(const Ink& plain, const Ink& styled)> check;
    };
    const std::vector<Case> cases = {
        {"red", "Color", TM("r"),
         [](const Ink& plain, const Ink& styled) {
             EXPECT_EQ(plain.red, 0);
             EXPECT_GT(styled.red, plain.pixels / 2);
         }},
        {"large", "FontSize", Mm(24.0),
         [](const Ink& plain, const Ink& styled) { EXPECT_GT(styled.height, plain.height * 3 / 2); }},
        {"bold", "FontWeight", TM("bold"),
         [](const Ink& plain, const Ink& styled) { EXPECT_GT(styled.pixels, plain.pixels * 11 / 10); }},
        {"italic", "FontAngle", TM("italic"),
         [](const Ink& plain, const Ink& styled) { EXPECT_NE(styled.data, plain.data); }},
    };
    for (int label : {is_title, is_xlabel, is_ylabel})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(label == is_title ? "title " : label == is_xlabel ? "xlabel " : "ylabel ") + c.what);
            const Ink plain = label_ink(label, test::cell_row({TM("Label")}));
            ASSERT_GT(plain.pixels, 20);
            const Ink styled = label_ink(label, test::cell_row({TM("Label"), TM(c.name), c.value}));
            c.check(plain, styled);
        }
}

TEST_F(Decorations, SubplotGridsKeepTheirDecorationsInsideTheirCells)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Every cell titled (and labelled where there is room): no ink on the
    // figure's edges nor on the lines between cells, and each title whole
    // in the band between its cell's top and its box.
    struct Grid {
        int n;
        double width, height;
        bool labelled;
    };
    for (const Grid& g : std::vector<Grid>{{3, 560, 420, true}, {4, 560, 420, true}, {5, 560, 300, false}}) {
        SCOPED_TRACE(std::to_string(g.n) + "x" + std::to_string(g.n));
        vt::reset();
        set(gcf(), TM("Position"), test::row({100, 100, g.width, g.height}));
        for (int k = 1; k <= g.n * g.n; ++k) {
            subplot(Mm(double(g.n)), Mm(double(g.n)), Mm(double(k)));
            plot(test::cell_row({test::row({1, 5, 10}), test::row({0, 50.0 * k, 100.0 * k})}));
            title(test::cell_row({TM("Title")}));
            if (g.labelled) {
                xlabel(test::cell_row({TM("x")}));
                ylabel(test::cell_row({TM("y")}));
            }
        }
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        ASSERT_EQ(p.rows, static_cast<int>(g.height));
        const test::Rgb background = p.at(0, 0);
        auto ink = [&background](const test::Rgb& c) { return !test::near(c, background, 0.02); };
        auto dark = [](const test::Rgb& c) { return c.r + c.g + c.b < 1.2; };
        EXPECT_FALSE(test::ink_of(p, ink, 0, 0).any()) << "top edge";
        EXPECT_FALSE(test::ink_of(p, ink, p.rows - 1, p.rows - 1).any()) << "bottom edge";
        EXPECT_FALSE(test::ink_of(p, ink, 0, -1, 0, 0).any()) << "left edge";
        EXPECT_FALSE(test::ink_of(p, ink, 0, -1, p.cols - 1, p.cols - 1).any()) << "right edge";
        for (int c = 1; c < g.n; ++c) {
            const int i = static_cast<int>(std::lround(c * g.height / g.n)), j = static_cast<int>(std::lround(c * g.width / g.n));
            EXPECT_FALSE(test::ink_of(p, ink, i, i).any()) << "between rows " << c;
            EXPECT_FALSE(test::ink_of(p, ink, 0, -1, j, j).any()) << "between columns " << c;
        }
        for (int r = 0; r < g.n; ++r)
            for (int c = 0; c < g.n; ++c) {
                SCOPED_TRACE(::testing::Message() << "cell " << r << ", " << c);
                const int i0 = static_cast<int>(std::ceil(r * g.height / g.n)),
                          i1 = static_cast<int>((r + 1) * g.height / g.n) - 1;
                const int j0 = static_cast<int>(std::ceil(c * g.width / g.n)),
                          j1 = static_cast<int>((c + 1) * g.width / g.n) - 1;
                const test::Frame f = test::frame_of(p, i0, i1, j0, j1, 0.2);
                ASSERT_TRUE(f.found());
                const test::Ink t = test::ink_of(p, dark, i0, f.top - 1, f.left, f.right);
                ASSERT_TRUE(t.any()) << "the title shows";
                EXPECT_GT(t.top, i0) << "and is not cut";
                EXPECT_GE(t.height(), 7);
            }
    }
}

TEST_F(Decorations, LegendsStayInsideTheFigure)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Thirty red series out of sight, so that the only red is the legend's
    // swatches, in a figure too short for one column of entries, at each
    // place a legend can be asked for: nothing reaches the figure's edges
    // and every swatch shows.
    for (const double where : {1.0, 2.0, 3.0, 4.0, -1.0, 0.0}) {
        SCOPED_TRACE(where);
        vt::reset();
        set(gcf(), TM("Position"), test::row({100, 100, 560, 300}));
        hold(TM("on"));
        Mm args = cell(Mm(1.0), Mm(31.0));
        for (int k = 1; k <= 30; ++k) {
            plot(test::cell_row({test::row({100, 101}), test::row({double(k), double(k)}), TM("r")}));
            args.mr(k) = TM(k == 2 ? "two\nlines" : "entry");
        }
        axis(test::row({0, 1, 0, 1}));
        args.mr(31) = Mm(where);
        legend(args);
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        ASSERT_EQ(p.rows, 300);
        const test::Rgb background = p.at(0, 0);
        auto ink = [&background](const test::Rgb& c) { return !test::near(c, background, 0.02); };
        EXPECT_FALSE(test::ink_of(p, ink, 0, 0).any()) << "top edge";
        EXPECT_FALSE(test::ink_of(p, ink, p.rows - 1, p.rows - 1).any()) << "bottom edge";
        EXPECT_FALSE(test::ink_of(p, ink, 0, -1, 0, 0).any()) << "left edge";
        EXPECT_FALSE(test::ink_of(p, ink, 0, -1, p.cols - 1, p.cols - 1).any()) << "right edge";
        std::size_t swatches = 0;
        const std::vector<std::pair<int, int>> columns =
            test::runs(test::lines_with(p, 0, p.rows - 1, 0, p.cols - 1, false, test::reddish));
        for (const auto& [j0, j1] : columns)
            swatches += test::runs(test::lines_with(p, 0, p.rows - 1, j0, j1, true, test::reddish)).size();
        EXPECT_EQ(swatches, 30u);
    }
    // A newline in an entry is a line break, not a glyph of its own: the
    // legend of "a\nb" is one line (16 pixels) taller than that of "a b".
    // The axes are grey, so the legend is the white at the box's right.
    auto legend_height = [](const char* name) {
        vt::reset();
        plot(test::cell_row({test::row({1, 2}), test::row({1, 2}), TM("r")}));
        set(gca(), TM("Color"), test::row({0.9, 0.9, 0.9}));
        legend(test::cell_row({TM(name)}));
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        const test::Frame f = test::frame_of(p);
        int white = 0;
        for (int i = f.top; i <= f.bottom; ++i)
            white += test::near(p.at(i, f.right - 10), test::Rgb{1, 1, 1});
        return white;
    };
    EXPECT_EQ(legend_height("a\nb") - legend_height("a b"), 16);
}

TEST_F(Decorations, SubplotCells)
{
    struct Case {
        const char* what;
        Mm m, n, p;
        std::vector<double> position;
    };
    const std::vector<Case> cases = {
        {"bottom left of 2x2", Mm(2.0), Mm(2.0), Mm(3.0), {0.0125, 0.0125, 0.475, 0.475}},
        {"top right of 2x2", Mm(2.0), Mm(2.0), Mm(2.0), {0.5125, 0.5125, 0.475, 0.475}},
        {"middle of 1x3, truncated", Mm(1.0), Mm(3.9), Mm(2.5),
         {1.0 / 3 + 0.025000000000000022 / 3, 0.025000000000000022, 0.95 / 3, 0.95}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double a = handle(subplot(c.m, c.n, c.p));
        expect_near(values_of(a, "Position"), c.position);
        EXPECT_EQ(vt::prop(vizmo_current_figure(), "CurrentAxes").data.at(0), a);
    }
    vt::reset();
    const double first = handle(subplot(Mm(221.0)));
    expect_near(values_of(first, "Position"), {0.0125, 0.5125, 0.475, 0.475});
    const double other = handle(subplot(Mm(2.0), Mm(2.0), Mm(4.0)));
    EXPECT_EQ(handle(subplot(Mm(2.0), Mm(2.0), Mm(1.0))), first) << "the same cell again: the same axes";
    EXPECT_EQ(axes_of_figure(), (std::vector<double>{first, other}));
    EXPECT_EQ(handle(gca()), first);

    // Overlapping another: the others go.
    const double whole = handle(subplot(TM("Position"), test::row({0, 0, 1, 1})));
    EXPECT_EQ(axes_of_figure(), (std::vector<double>{whole}));
    // Already there, in pixels: kept, its units restored.
    set(Mm(whole), pn_Units, TM("pixels"));
    EXPECT_EQ(handle(subplot(TM("position"), test::row({0.005, 0, 1, 1}))), whole);
    EXPECT_EQ(vt::prop(whole, "Units").text(), "pixels");
}

TEST_F(Decorations, SubplotRefusals)
{
    const char* cell_message = "subplot: m, n must be >= 1 and p in 1..m*n";
    const char* pos_message = "subplot('position',pos): pos should be [left botttom width height], in (0..1)";
    EXPECT_ERROR(subplot(Mm(201.0)), cell_message);
    EXPECT_ERROR(subplot(Mm(2.0), Mm(2.0), Mm(5.0)), cell_message);
    EXPECT_ERROR(subplot(Mm(2.0), Mm(2.0), Mm(0.0)), cell_message);
    EXPECT_ERROR(subplot(Mm(0.0), Mm(2.0), Mm(1.0)), cell_message);
    // Numbers no integer holds are refused before any conversion.
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), 1e300}) {
        SCOPED_TRACE(bad);
        EXPECT_ERROR(subplot(Mm(bad)), cell_message);
        EXPECT_ERROR(subplot(Mm(bad), Mm(2.0), Mm(1.0)), cell_message);
        EXPECT_ERROR(subplot(Mm(2.0), Mm(2.0), Mm(bad)), cell_message);
    }
    EXPECT_ERROR(subplot(TM("position"), test::row({0, 0, 1})), pos_message);
    EXPECT_ERROR(subplot(TM("position"), test::row({0, 0, 1, 1, 1})), pos_message);
    EXPECT_ERROR(subplot(TM("place"), test::row({0, 0, 1, 1})), pos_message);
    EXPECT_TRUE(axes_of_figure().empty());

    figure();
    subplot();
    subplot(Mm(111.0));
    EXPECT_TRUE(axes_of_figure().empty()) << "111 makes nothing";
    EXPECT_EQ(vt::prop(1, "NextPlot").text(), "replace");
}

TEST_F(Decorations, GridAndHold)
{
    const double a = handle(gca());
    grid(TM("ON"));
    for (const char* g : {"XGrid", "YGrid", "ZGrid"})
        EXPECT_EQ(vt::prop(a, g).text(), "ON") << g;
    grid();
    EXPECT_EQ(vt::prop(a, "YGrid").text(), "off");
    grid();
    EXPECT_EQ(vt::prop(a, "ZGrid").text(), "on");
    EXPECT_ERROR(grid(TM("x")), "Grid: unknown argument");

    set(Mm(a), pn_NextPlot, pv_add);
    EXPECT_EQ(test::values(ishold()), (std::vector<double>{1}));
    hold();
    EXPECT_EQ(vt::prop(a, "NextPlot").text(), "replace");
    EXPECT_EQ(test::values(ishold()), (std::vector<double>{0}));
    hold();
    EXPECT_EQ(vt::prop(a, "NextPlot").text(), "Add");
    hold(TM("OFF"));
    EXPECT_EQ(vt::prop(a, "NextPlot").text(), "replace");
    hold(TM("on"));
    EXPECT_EQ(vt::prop(a, "NextPlot").text(), "Add");
    EXPECT_ERROR(hold(TM("x")), "Hold: unknown argument");
}

TEST_F(Decorations, AxisLimitsAndModes)
{
    const double a = handle(gca());
    set(Mm(a), pn_ZLim, test::row({7, 8}));
    const std::size_t mark = vt::writes(a).size();
    axis(test::row({0, 1, 0, 2, 0}));
    const std::vector<std::string> w = vt::writes(a);
    EXPECT_EQ(std::vector<std::string>(w.begin() + static_cast<long>(mark), w.end()),
              (std::vector<std::string>{"XLim", "YLim"}));
    EXPECT_EQ(test::values(axis()), (std::vector<double>{0, 1, 0, 2, 7, 8}));

    test::clear_printed();
    axis(Mm(5.0));
    EXPECT_NE(test::printed().find("axis: unknown argument"), std::string::npos) << test::printed();
    EXPECT_EQ(vt::writes(a).size(), w.size());

    struct Case {
        const char* word;
        std::vector<std::string> writes;
    };
    const std::vector<Case> cases = {
        {"ON", {"Visible"}},
        {"off", {"Visible"}},
        {"xy", {"YDir", "Visible"}},
        {"ij", {"YDir", "Visible"}},
        {"auto", {"XLimMode", "YLimMode", "ZLimMode"}},
        {"Manual", {"XLimMode", "YLimMode", "ZLimMode"}},
        {"equal", {"square", "ResizeWith"}},
        {"square", {"square", "ResizeWith"}},
        {"normal", {"square", "ResizeWith"}},
        {"tight", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        const std::size_t before = vt::writes(a).size();
        axis(TM(c.word));
        const std::vector<std::string> all = vt::writes(a);
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()), c.writes);
    }
    axis(TM("ij"));
    EXPECT_EQ(vt::prop(a, "YDir").text(), "inverted");
    axis(TM("manual"));
    EXPECT_EQ(vt::prop(a, "ZLimMode").text(), "manual");

    // Hosted: equal does nothing, normal still acts.
    int window = 0;
    const double h = handle(winaxes(&window));
    const std::size_t before = vt::writes(h).size();
    axis(TM("equal"));
    EXPECT_EQ(vt::writes(h).size(), before);
    axis(TM("normal"));
    EXPECT_EQ(vt::prop(h, "square").text(), "off");
    EXPECT_EQ(values_of(h, "ResizeWith"), (std::vector<double>{1, 1}));
}

TEST_F(Decorations, LimitsAProgramWritesReadTheirModeAsManual)
{
    plot(test::cell_row({test::row({1, 2, 3}), test::row({10, 30, 20})}));
    const double a = handle(gca());
    EXPECT_EQ(vt::prop(a, "XLimMode").text(), "auto") << "limits chosen from the data";
    axis(test::row({0, 5, -1, 1}));
    EXPECT_EQ(vt::prop(a, "XLimMode").text(), "manual");
    EXPECT_EQ(vt::prop(a, "YLimMode").text(), "manual");
    EXPECT_EQ(vt::prop(a, "ZLimMode").text(), "auto") << "no z limits were written";
    EXPECT_EQ(test::values(get(Mm(a), pn_XLim)), (std::vector<double>{0, 5}));
    axis(TM("auto"));
    EXPECT_EQ(vt::prop(a, "XLimMode").text(), "auto");
    set(Mm(a), pn_YLim, test::row({-2, 2}));
    EXPECT_EQ(vt::prop(a, "YLimMode").text(), "manual");
    EXPECT_EQ(vt::prop(a, "XLimMode").text(), "auto");
}

TEST_F(Decorations, AxisAfterAPlotGivesTheLimitsDrawn)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "the limits are chosen by the renderer";
    // Round steps (1, 2 or 5 times a power of 10) about the data: x 1..3 in
    // steps of 0.2, y 10..30 in steps of 2; no z data gives 0..1.
    plot(test::cell_row({test::row({1, 2, 3}), test::row({10, 30, 20})}));
    EXPECT_EQ(test::values(axis()), (std::vector<double>{1, 3, 10, 30, 0, 1}));
    EXPECT_EQ(test::values(get(gca(), pn_XLim)), (std::vector<double>{1, 3}));
    // Written limits read back as written; "auto" brings back the chosen ones.
    axis(test::row({0, 5, -1, 1}));
    EXPECT_EQ(test::values(axis()), (std::vector<double>{0, 5, -1, 1, 0, 1}));
    axis(TM("auto"));
    EXPECT_EQ(test::values(axis()), (std::vector<double>{1, 3, 10, 30, 0, 1}));
}

TEST_F(Decorations, Legend)
{
    const double a = handle(gca());
    legend(test::cell_row({TM("a"), TM("bc"), Mm(2.0)}));
    EXPECT_EQ(vt::prop(a, "Legend").text(), "on");
    EXPECT_EQ(values_of(a, "LegendPos"), (std::vector<double>{2}));
    const vt::Value s = vt::prop(a, "LegendString");
    EXPECT_EQ(s.dims[0], 2);
    EXPECT_EQ(s.dims[1], 2);
    EXPECT_EQ(s.text(), "ab c") << "column-major rows 'a ' and 'bc'";

    vt::reset();
    const double b = handle(gca());
    legend(test::cell_row({TM("a"), TM("b")}));
    const std::vector<std::string> w = vt::writes(b);
    EXPECT_EQ(std::count(w.begin(), w.end(), "LegendPos"), 0);
    legend(test::cell_row({TM("OFF")}));
    EXPECT_EQ(vt::prop(b, "Legend").text(), "off");
    legend();
    EXPECT_EQ(vt::prop(b, "Legend").text(), "on");

    const double l1 = handle(text()), l2 = handle(text());
    legend(test::cell_row({test::row({l1, l2}), mchar(Mm((CL(TM("one")), TM("two"))))}));
    EXPECT_EQ(vt::prop(l1, "LegendString").text(), "one");
    EXPECT_EQ(vt::prop(l2, "LegendString").text(), "two");
    EXPECT_ERROR(legend(test::cell_row({test::row({l1, l2}), TM("a")})), "legend(h,strings) should have the same length");
    EXPECT_ERROR(legend(test::cell_row({test::row({l1, l2})})), "legend(h,...) should have strings parameter");
}

TEST_F(Decorations, Views)
{
    const double a = handle(gca());
    struct Case {
        const char* what;
        Mm v;
        std::vector<double> view;
    };
    const std::vector<Case> cases = {
        {"from the front", test::row({0, -1, 0}), {0, 0}},
        {"from the side", test::row({1, 0, 0}), {90, 0}},
        // Straight down: atan2(0, -0) puts the azimuth at 180.
        {"from above", test::row({0, 0, 5}), {180, 90}},
        {"a diagonal", test::row({1, -1, 1}), {45, 35.264389682754654}},
        {"azimuth and elevation", test::row({-37.5, 30}), {-37.5, 30}},
        {"3-D", Mm(3.0), {3}},
        {"3.5", Mm(3.5), {3.5}},
        {"2.5", Mm(2.5), {2.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        view(c.v);
        expect_near(values_of(a, "View"), c.view);
    }
    view(Mm(10.0), Mm(20.0));
    Mm az, el;
    view(i_o, az, el);
    EXPECT_EQ(test::values(az), (std::vector<double>{10}));
    EXPECT_EQ(test::values(el), (std::vector<double>{20}));
    EXPECT_EQ(test::values(view()), (std::vector<double>{10, 20}));
    EXPECT_ERROR(view(Mm(4.0)), "view(a): a must be 2,2.5 or 3");
    EXPECT_ERROR(view(test::row({1, 2, 3, 4})), "view: parameter must have 1,2 or 3 elements");
    EXPECT_ERROR(view(x_M), "view: parameter must have 1,2 or 3 elements");
}

TEST_F(Decorations, Labels)
{
    const double a = handle(gca());
    struct Case {
        const char* what;
        Mm (*make)(const Mm&);
        const char* property;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"xlabel", xlabel, "XLabel", "xlabel needs to have at least one parameter"},
        {"ylabel", ylabel, "YLabel", "ylabel needs to have at least one parameter"},
        {"zlabel", zlabel, "ZLabel", "zlabel needs to have at least one parameter"},
        {"title", title, "Title", "title needs to have at least one parameter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double t = handle(c.make(test::cell_row({TM("String"), TM("t")})));
        EXPECT_EQ(values_of(a, c.property), (std::vector<double>{t}));
        EXPECT_EQ(vt::prop(t, "String").text(), "t");
        EXPECT_EQ(vt::parent(t), a);
        const double u = handle(c.make(test::cell_row({TM("words"), TM("Tag"), TM("g")})));
        EXPECT_EQ(vt::prop(u, "String").text(), "words");
        EXPECT_EQ(vt::prop(u, "Tag").text(), "g");
        EXPECT_EQ(values_of(a, c.property), (std::vector<double>{u}));
        EXPECT_ERROR(c.make(cell(Mm(0.0))), c.message);
    }
    EXPECT_ERROR(title(), "title needs to have at least one parameter");
    EXPECT_ERROR(xlabel(), "xlabel needs to have at least one parameter");
}

// A figure of 400 x 300 pixels with a plot in it, its tick labels 0, 2,
// .. 10 on both axes.
double plotted_figure()
{
    const double fig = handle(figure());
    set(Mm(fig), pn_Position, test::row({100, 100, 400, 300}));
    plot(test::cell_row({test::row({0, 10}), test::row({0, 10})}));
    return fig;
}

TEST_F(Decorations, TitlesOfSeveralLinesAreStacked)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Each way of writing a title of two lines: the SVG picture holds each
    // line whole, one above the other, and no glyph for the newline. The
    // lines are read through a static text of the alphabet at the title's
    // size.
    struct Case {
        const char* what;
        Mm title;
    };
    const std::vector<Case> cases = {
        {"a newline character", TM("upper line\nlower line")},
        {"a newline at the end of each", TM("upper line\nlower line\n")},
        {"a character matrix of two rows", strvcat(TM("upper line"), TM("lower line"))},
        {"a cell of two texts", test::cell_row({TM("upper line"), TM("lower line")})},
    };
    const char* const key = "abcdefghijklmnopqrstuvwxyz";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double fig = plotted_figure();
        title(test::cell_row({c.title}));
        uicontrol(test::cell_row({TM("Style"), TM("text"), TM("String"), TM(key), TM("Position"),
                                  test::row({10, 0, 380, 25})}));
        const test::temp_dir dir;
        ASSERT_TRUE(vt::render_svg(fig, (dir.path() / "t.svg").string()));
        std::vector<std::string> lines;
        for (const test::SvgText& t : test::svg_texts(dir.read("t.svg"), key))
            if (t.text != "abcdefghijklmnopqrstuvwxyz" && t.text.find_first_not_of('?') != std::string::npos)
                lines.push_back(t.text);  // the tick labels, of another size, read as '?'
        EXPECT_EQ(lines, (std::vector<std::string>{"upper line", "lower line"}));
    }
}

TEST_F(Decorations, AxisLabelsOfSeveralLinesTakeTheirRoom)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Beside the box, the bands of ink: a label of two lines makes one band
    // more than a label of one, its lines apart from each other (under the
    // box, the tick labels and a label of one line make two).
    auto bands = [](bool x_axis, const Mm& label) {
        vt::reset();
        const double fig = plotted_figure();
        if (x_axis)
            xlabel(test::cell_row({label}));
        else
            ylabel(test::cell_row({label}));
        const test::Picture p = test::Picture::of(fig);
        // The frame: the outermost line black for 50 pixels along the middle.
        auto black = [&](int i, int j) { return test::near(p.at(i, j), {0, 0, 0}, 0.1); };
        auto line = [&](int at, bool row) {
            for (int k = 0; k < 50; ++k)
                if (!(row ? black(at, p.cols / 2 + k) : black(p.rows / 2 + k, at)))
                    return false;
            return true;
        };
        int edge = -1;
        if (x_axis) {
            for (int i = p.rows - 1; i >= 0 && edge < 0; --i)
                if (line(i, true))
                    edge = i;
            return test::runs(test::lines_with(p, edge + 6, p.rows - 1, 0, p.cols - 1, true, test::dark), 1).size();
        }
        for (int j = 0; j < p.cols && edge < 0; ++j)
            if (line(j, false))
                edge = j;
        return test::runs(test::lines_with(p, 0, p.rows - 1, 0, edge - 6, false, test::dark), 2).size();
    };
    for (bool x_axis : {true, false}) {
        SCOPED_TRACE(x_axis ? "x label" : "y label");
        const std::size_t one = bands(x_axis, TM("one line"));
        EXPECT_EQ(bands(x_axis, TM("first line\nsecond line")), one + 1);
        EXPECT_EQ(bands(x_axis, strvcat(TM("first line"), TM("second"))), one + 1);
        if (x_axis) {
            EXPECT_EQ(one, 2u) << "the tick labels' row and the label's";
        }
    }
}

} // namespace
