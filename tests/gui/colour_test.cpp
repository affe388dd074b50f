// Colour control against the headless engine: the current colormap by
// matrix or by generator name, and the default background colours.
#include "../graphics/picture.hpp"
#include "graphics/surfaces.hpp"
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

std::vector<double> values_of(double h, const char* name) { return vt::prop(h, name).data; }

class Colour : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
};

TEST_F(Colour, ColormapWithoutAFigureIsJetAndMakesNone)
{
    EXPECT_EQ(test::values(colormap()), test::values(jet(Mm(64.0))));
    EXPECT_LT(vizmo_current_figure(), 0);
    const double f = vizmo_create_object("Figure", -1);
    colormap(test::real(2, 3, {0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(values_of(f, "ColorMap"), (std::vector<double>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(test::values(colormap()), (std::vector<double>{0, 1, 0, 1, 0, 1}));
}

TEST_F(Colour, ColormapByName)
{
    struct Case {
        const char* name;
        std::function<Mm()> expected;
    };
    const std::vector<Case> cases = {
        {"HOT", [] { return hot(); }},       {"hot", [] { return hot(); }},
        {"hsv", [] { return hsv(); }},       {"Default", [] { return jet(); }},
        {"JET", [] { return jet(); }},       {"greyish", [] { return grey(); }},
        {"gray", [] { return gray(); }},     {"copperplate", [] { return copper(); }},
        {"Autumn", [] { return autumn(); }}, {"linesx", [] { return lines(); }},
        {"bone", [] { return bone(); }},     {"winter", [] { return winter(); }},
    };
    const double f = vizmo_create_object("Figure", -1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        colormap(TM(c.name));
        const std::vector<double> expected = test::values(c.expected());
        EXPECT_EQ(expected.size(), 192u);
        EXPECT_EQ(values_of(f, "ColorMap"), expected);
    }
}

TEST_F(Colour, ColormapRefusals)
{
    const double f = vizmo_create_object("Figure", -1);
    colormap(TM("pink"));
    const std::vector<double> before = values_of(f, "ColorMap");
    struct Case {
        const char* what;
        Mm map;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"a single letter", TM("j"), "Unrecognized variation of colormap"},
        {"shorter than every name", TM("gr"), "Unrecognized variation of colormap"},
        {"two columns", test::real(2, 2, {0, 1, 0, 1}), "colormap should have 3 columns"},
        {"above one", test::row({2, 0, 0}), "colormap values should be <=1"},
        {"below zero", test::row({-1, 0, 0}), "colormap values should be >=0"},
        {"the minimum is tested first", test::row({-1, 2}), "colormap values should be >=0"},
        {"above one before the columns", test::row({2, 0}), "colormap values should be <=1"},
        {"a NaN colour", test::row({0, std::nan(""), 0}), "colormap values should be >=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::error_of([&] { colormap(c.map); }), c.message);
        EXPECT_EQ(values_of(f, "ColorMap"), before);
    }
    // A name too long for the buffer is chopped to nothing, with a warning.
    const std::string longer(300, 'j');
    EXPECT_EQ(test::error_of([&] { colormap(TM(longer.c_str())); }), "Unrecognized variation of colormap");
}

TEST_F(Colour, EmptyArgumentsDoNothing)
{
    for (const Mm& empty : {TM(""), x_M, Mm(0, 0, 0, 0, 3, qv_double)}) {
        const std::size_t mark = vt::mark();
        EXPECT_EQ(colormap(empty).size(), 0);
        for (const std::string& line : vt::since(mark))
        EXPECT_TRUE(line.rfind("create", 0) != 0 && line.rfind("set_data", 0) != 0) << line;
        EXPECT_LT(vizmo_current_figure(), 0);
    }
}

TEST_F(Colour, ColordefOfTheRootAFigureOrANewFigure)
{
    EXPECT_EQ(colordef(Mm(0.0), TM("white")).r(), 0);
    EXPECT_EQ(values_of(0, "DefaultAxesColor"), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{1, 1, 1}));
    const std::vector<std::string> w = vt::writes(0);
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(w.end() - 2, w.end()),
              (std::vector<std::string>{"DefaultAxesColor", "DefaultFigureColor"}));

    colordef(TM("black"));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{0, 0, 0}));

    const Mm f = colordef(TM("new"), TM("black"));
    ASSERT_GT(f.r(), 0);
    EXPECT_TRUE(vt::exists(f.r()));
    EXPECT_EQ(values_of(f.r(), "WhiteBackgroundPrint"), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(values_of(f.r(), "DefaultAxesColor"), (std::vector<double>{0, 0, 0}));

    colordef(f, TM("w"));
    EXPECT_EQ(values_of(f.r(), "WhiteBackgroundPrint"), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{0, 0, 0})) << "a figure leaves the root";

    EXPECT_EQ(test::error_of([] { colordef(Mm(0.0), Mm(1.0)); }), "colordef(a,x): x= must be 'black','white','none'");
    EXPECT_NE(test::error_of([] { colordef(Mm(0.0), TM("nosuchcolour")); }), "");
}

TEST(LowercaseInPlace, FoldsOnlyAToZ)
{
    char text[] = "AbC-Z@[\xc4z";
    lowercase_in_place(text);
    EXPECT_STREQ(text, "abc-z@[\xc4z");
    lowercase_in_place(nullptr);
}

} // namespace

namespace {

void expect_near_all(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR(got[k], want[k], 1e-12) << "element " << k;
}

double first(const Mm& h) { return *h.addr(1); }

TEST_F(Colour, CaxisSetsTheLimitsOrTheModeAndReadsThemBack)
{
    const double f = vizmo_create_object("Figure", -1);
    const double ax = first(gca());

    caxis(test::row({2, 7}));
    EXPECT_EQ(values_of(ax, "CLim"), (std::vector<double>{2, 7}));
    caxis(test::real(2, 1, {1, 5}));
    EXPECT_EQ(values_of(ax, "CLim"), (std::vector<double>{1, 5})) << "a column works";
    EXPECT_EQ(test::values(caxis()), (std::vector<double>{1, 5}));

    Mm lo, hi;
    EXPECT_EQ(first(caxis(i_o, lo, hi)), 1);
    EXPECT_EQ(first(lo), 1);
    EXPECT_EQ(first(hi), 5);
    EXPECT_EQ(first(caxis(test::row({-3, 4}), i_o, lo, hi)), -3);
    EXPECT_EQ(first(hi), 4);

    // A mode is passed through and the map is written again.
    colormap(TM("hot"));
    const std::size_t before = vt::writes(f).size();
    caxis(TM("auto"));
    EXPECT_EQ(vt::prop(ax, "CLimMode").text(), "auto");
    const std::vector<std::string> w = vt::writes(f);
    ASSERT_EQ(w.size(), before + 1);
    EXPECT_EQ(w.back(), "ColorMap");
    EXPECT_EQ(values_of(f, "ColorMap"), test::values(hot()));

    for (const Mm& bad : {test::row({0, 1, 2}), Mm(3.0), Mm(x_M)}) {
        const std::size_t mark = vt::writes(f).size();
        EXPECT_EQ(test::error_of([&] { caxis(bad); }), "caxes(c) - c must be of [cmin cmax]");
        EXPECT_EQ(vt::writes(f).size(), mark) << "a refused limit leaves the map alone";
    }
    EXPECT_EQ(values_of(ax, "CLim"), (std::vector<double>{-3, 4}));
}

TEST_F(Colour, VerticalColorbarBesideTheAxes)
{
    vizmo_create_object("Figure", -1);
    const Mm P = axes(test::cell_row({TM("Position"), test::row({0.1, 0.1, 0.8, 0.8})}));
    set(P, TM("CLim"), test::row({0, 2}));
    colormap(jet(Mm(64.0)));
    const double p = first(P);

    const double K = first(colorbar());
    ASSERT_NE(K, p);
    EXPECT_EQ(vt::type(K), "axes");
    expect_near_all(values_of(K, "Position"), {0.788, 0.1, 0.112, 0.8});
    expect_near_all(values_of(p, "Position"), {0.1, 0.1, 0.68, 0.8});
    EXPECT_EQ(first(gca()), p) << "the parent axes are current again";

    // The scale image is drawn into the new axes.
    const vt::Value S = vt::prop(K, "CData");
    ASSERT_EQ(S.dims[0], 64);
    ASSERT_EQ(S.dims[1], 10);
    EXPECT_EQ(S.data[0], 64) << "the top row holds the last colour";
    EXPECT_EQ(S.data[63], 1);
    EXPECT_EQ(S.data[64 * 9 + 63], 1) << "every column alike";
    EXPECT_EQ(values_of(K, "YLim"), (std::vector<double>{0, 2}));
    EXPECT_EQ(values_of(K, "XLim"), (std::vector<double>{0, 10})) << "the ten columns fill the width";
    // The centres of the end cells, high end first: 64 cells share 0..2.
    EXPECT_EQ(values_of(K, "IMLim"), (std::vector<double>{0, 10, 2 - 1.0 / 64, 1.0 / 64}));
    EXPECT_TRUE(vt::prop(K, "XTick").empty());
}

TEST_F(Colour, EveryOrientationButExactlyVertIsHorizontal)
{
    for (const char* o : {"Vert", "ver", "horiz", ""}) {
        SCOPED_TRACE(o);
        vt::reset();
        vizmo_create_object("Figure", -1);
        const Mm P = axes(test::cell_row({TM("Position"), test::row({0.1, 0.1, 0.8, 0.8})}));
        set(P, TM("CLim"), test::row({-1, 3}));
        colormap(test::real(4, 3, {0, 0.25, 0.5, 1, 0, 0.25, 0.5, 1, 0, 0.25, 0.5, 1}));
        const double K = first(colorbar(TM(o)));
        expect_near_all(values_of(K, "Position"), {0.1, 0.1, 0.8, 0.8 * 0.14});
        expect_near_all(values_of(first(P), "Position"), {0.1, 0.1 + 0.8 * 0.15, 0.8, 0.8 * 0.85});
        EXPECT_EQ(values_of(K, "XLim"), (std::vector<double>{-1, 3}));
        EXPECT_EQ(values_of(K, "YLim"), (std::vector<double>{0, 10}));
        EXPECT_EQ(values_of(K, "IMLim"), (std::vector<double>{2.5, -0.5, 0, 10}));
        EXPECT_TRUE(vt::prop(K, "YTick").empty());
        const vt::Value S = vt::prop(K, "CData");
        ASSERT_EQ(S.dims[0], 10);
        ASSERT_EQ(S.dims[1], 4);
        EXPECT_EQ(S.data, (std::vector<double>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                                               3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}));
    }
}

TEST_F(Colour, TheColourBarsImageFillsItsFrame)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Bars of each orientation beside scaled and direct images, under maps
    // of several sizes and limits of several spans: inside the bar's frame
    // no pixel shows the axes' white background, and along the bar each of
    // the map's colours takes an equal share, the first at the low end.
    struct Case {
        const char* what;
        const char* orientation;
        int colours;
        std::function<void()> draw;
    };
    const Mm M = magic(Mm(4.0));
    const std::vector<Case> cases = {
        {"imagesc, 4 colours", "vert", 4, [&] { imagesc(test::cell_row({M})); }},
        {"imagesc, 4 colours, across", "horiz", 4, [&] { imagesc(test::cell_row({M})); }},
        {"imagesc, 64 colours", "vert", 64, [&] { imagesc(test::cell_row({M})); }},
        {"imagesc, 64 colours, across", "horiz", 64, [&] { imagesc(test::cell_row({M})); }},
        {"image of indices, 5 colours", "vert", 5, [&] { image(test::cell_row({M})); }},
        {"limits 0..4, 2 colours", "vert", 2,
         [&] { imagesc(test::cell_row({test::real(1, 2, {0, 4}), test::row({0, 4})})); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double fig = first(figure());
        // Maps of distinct greens, so that the bar's cells are told apart
        // from its white background and black frame.
        Mm map(0, 0, 0, c.colours, 3, qv_double);
        for (int k = 0; k < c.colours; ++k) {
            *map.addr(k + 1) = 0.1;
            *map.addr(k + 1 + c.colours) = 0.45 + 0.5 * k / std::max(1, c.colours - 1);
            *map.addr(k + 1 + 2 * c.colours) = 0.05;
        }
        colormap(map);
        c.draw();
        const bool vertical = std::string(c.orientation) == "vert";
        const double K = first(colorbar(TM(c.orientation)));
        const test::Picture p = test::Picture::of(fig);
        ASSERT_GT(p.rows, 0);
        // The frame: from the bar's outermost green pixel (the rightmost of
        // the middle row, or the lowest of the middle column), out to the
        // black line on each side.
        auto green = [](const test::Rgb& q) { return q.g > 0.4 && q.r < 0.2 && q.b < 0.15; };
        auto black = [](const test::Rgb& q) { return test::near(q, {0, 0, 0}, 0.2); };
        int si = p.rows / 2, sj = p.cols / 2;
        if (vertical) {
            sj = p.cols - 1;
            while (sj > 0 && !green(p.at(si, sj)))
                --sj;
        } else {
            si = p.rows - 1;
            while (si > 0 && !green(p.at(si, sj)))
                --si;
        }
        ASSERT_TRUE(green(p.at(si, sj)));
        // Ticks reach 5 pixels in from the frame: each extent is the widest
        // over the lines across the bar.
        auto reach = [&](int i, int j, int di, int dj) {
            while (i + di >= 0 && i + di < p.rows && j + dj >= 0 && j + dj < p.cols && !black(p.at(i + di, j + dj)))
                i += di, j += dj;
            return di ? i : j;
        };
        int j0 = reach(si, sj, 0, -1), j1 = reach(si, sj, 0, 1);
        int i0 = reach(si, (j0 + j1) / 2, -1, 0), i1 = reach(si, (j0 + j1) / 2, 1, 0);
        for (int i = i0; i <= i1; ++i)
            j0 = std::min(j0, reach(i, (j0 + j1) / 2, 0, -1)), j1 = std::max(j1, reach(i, (j0 + j1) / 2, 0, 1));
        for (int j = j0; j <= j1; ++j)
            i0 = std::min(i0, reach((i0 + i1) / 2, j, -1, 0)), i1 = std::max(i1, reach((i0 + i1) / 2, j, 1, 0));
        ASSERT_GT(i1, i0 + 10);
        ASSERT_GT(j1, j0 + 10);
        // Inside the frame only the bar's cells and the ticks' black show:
        // no light pixel (the cells' greens are dark enough to tell).
        int background = 0;
        for (int i = i0; i <= i1; ++i)
            for (int j = j0; j <= j1; ++j)
                background += p.at(i, j).r + p.at(i, j).g + p.at(i, j).b > 1.2;
        EXPECT_EQ(background, 0) << "no pixel of the axes' background inside the frame";
        // Along the bar: the run of each colour, low end first.
        std::vector<std::pair<double, int>> runs;  // green, length
        const int along = vertical ? i1 - i0 + 1 : j1 - j0 + 1;
        for (int k = 0; k < along; ++k) {
            const test::Rgb q = vertical ? p.at(i1 - k, (j0 + j1) / 2) : p.at((i0 + i1) / 2, j0 + k);
            if (black(q))
                continue;
            if (runs.empty() || std::fabs(runs.back().first - q.g) > 1.0 / 255)
                runs.emplace_back(q.g, 0);
            ++runs.back().second;
        }
        ASSERT_EQ(static_cast<int>(runs.size()), c.colours);
        EXPECT_NEAR(runs.front().first, 0.45, 1.0 / 255) << "the first colour at the low end";
        EXPECT_NEAR(runs.back().first, 0.95, 1.0 / 255) << "the last at the high end";
        for (const auto& [g, length] : runs)
            EXPECT_NEAR(length, static_cast<double>(along) / c.colours, 1.5) << "green " << g;
        EXPECT_EQ(values_of(K, vertical ? "XLim" : "YLim"), (std::vector<double>{0, 10}));
    }
}

TEST_F(Colour, ColorbarOfAGivenAxesAndOfNoAxes)
{
    vizmo_create_object("Figure", -1);
    const Mm P = axes(test::cell_row({TM("Position"), test::row({0.2, 0.2, 0.5, 0.5})}));
    axes();  // another axes is current
    const double K = first(colorbar(P));
    expect_near_all(values_of(K, "Position"), {0.2 + 0.5 * 0.86, 0.2, 0.5 * 0.14, 0.5});
    EXPECT_EQ(first(gca()), first(P));

    const std::size_t objects = vt::log().size();
    EXPECT_EQ(test::error_of([] { colorbar(Mm(7.0)); }), "colorbar: cannot locate specified axes");
    EXPECT_EQ(vt::log().size(), objects) << "nothing is made for a bad handle";
}

TEST_F(Colour, RgbplotDrawsTheThreeColumns)
{
    vizmo_create_object("Figure", -1);
    const Mm map = jet(Mm(64.0));
    const Mm h = rgbplot(map);
    ASSERT_EQ(h.size(), 3);
    const char* colours[3] = {"r", "g", "b"};
    const std::vector<double> m = test::values(map);
    for (int j = 0; j < 3; ++j) {
        SCOPED_TRACE(colours[j]);
        const vt::Bulk d = vt::data(*h.addr(j + 1));
        ASSERT_EQ(d.x.data.size(), 64u);
        EXPECT_EQ(d.x.data.front(), 1);
        EXPECT_EQ(d.x.data.back(), 64);
        EXPECT_EQ(d.y.data, std::vector<double>(m.begin() + 64 * j, m.begin() + 64 * (j + 1)));
    }
    const double ax = first(gca());
    EXPECT_EQ(values_of(ax, "XLim"), (std::vector<double>{0, 64}));
    EXPECT_EQ(values_of(ax, "YLim"), (std::vector<double>{-0.02, 1.02}));
    EXPECT_NE(test::error_of([] { rgbplot(test::row({1, 2})); }), "");
}

// Shading keeps a flag for later charts and draws the last chart again; the
// records start empty and flat for each case.
class Shading : public Colour {
protected:
    void SetUp() override
    {
        Colour::SetUp();
        forget();
    }
    void TearDown() override
    {
        forget();
        Colour::TearDown();
    }
    static void forget()
    {
        interp_shading = 0;
        last_surface_chart.name[0] = '\0';
        last_surface_chart.args = Mm();
        last_surface_chart.view = Mm();
        last_pcolor_args = Mm();
    }
    // The surfaces and images now in the current axes.
    static std::vector<double> surfaces()
    {
        std::vector<double> s;
        for (double k : vt::children(first(gca())))
            if (vt::type(k) == "surface")
                s.push_back(k);
        return s;
    }
    static int shading_writes()
    {
        const std::vector<std::string> w = vt::writes(first(gca()));
        return static_cast<int>(std::count(w.begin(), w.end(), "Shading"));
    }
};

TEST_F(Shading, TheFlagFollowsEveryModeWord)
{
    struct Case {
        const char* mode;
        int flag;
    };
    const std::vector<Case> cases = {{"interp", 1}, {"INTERP", 1}, {"flat", 0}, {"Interp", 1}, {"faceted", 0},
                                     {"interpolated", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        shading(TM(c.mode));
        EXPECT_EQ(interp_shading, c.flag);
        // With no chart drawn only the axes take the word.
        EXPECT_EQ(vt::prop(first(gca()), "Shading").text(), c.mode);
        EXPECT_TRUE(surfaces().empty());
    }
}

TEST_F(Shading, RedrawsTheLastSurfaceWithTheNewShading)
{
    const Mm Z = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    surf(test::cell_row({Z, TM("Tag"), TM("s")}));
    shading(TM("interp"));
    std::vector<double> now = surfaces();
    ASSERT_EQ(now.size(), 1u) << "the new chart replaces the old";
    EXPECT_EQ(vt::data(now[0]).z.data.size(), 500u * 500u);
    EXPECT_EQ(vt::prop(now[0], "Tag").text(), "s") << "the saved pairs come along";
    EXPECT_EQ(vt::prop(first(gca()), "Shading").text(), "interp");

    shading(TM("flat"));
    now = surfaces();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(vt::data(now[0]).z.data, test::values(Z));
    EXPECT_EQ(vt::prop(first(gca()), "Shading").text(), "flat");
}

TEST_F(Shading, ASurfaceWithItsFloorContourIsRedrawnWhole)
{
    // surfc, then each shading: the surface and the contour on the floor
    // are drawn again together, the contour with its count of lines; a
    // contour3 keeps its count as well.
    const Mm Z = test::real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 10});
    surfc(test::cell_row({Z, Mm(5.0)}));
    for (const char* mode : {"interp", "flat", "interp"}) {
        SCOPED_TRACE(mode);
        shading(TM(mode));
        const std::vector<double> now = surfaces();
        ASSERT_EQ(now.size(), 2u);
        EXPECT_EQ(vt::prop(now[0], "ChartType").text(), "contour");
        EXPECT_EQ(vt::prop(now[0], "NumContourLines").data, (std::vector<double>{5}));
        EXPECT_EQ(vt::prop(now[0], "ContourPosition").data, (std::vector<double>{1}));
        EXPECT_EQ(vt::prop(now[1], "ChartType").text(), "surf");
        EXPECT_EQ(vt::data(now[1]).z.data.size(), std::string(mode) == "interp" ? 500u * 500u : 9u);
    }
    contour3(test::cell_row({Z, Mm(7.0)}));
    shading(TM("interp"));
    const std::vector<double> now = surfaces();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(vt::prop(now[0], "NumContourLines").data, (std::vector<double>{7}));
    if (!vt::has_renderer())
        return;
    // In the picture: surfc then interp shows what surf then interp shows,
    // and the level lines on the floor besides.
    auto shaded = [](Mm (*chart)(const Mm&)) {
        vt::reset();
        const double fig = vizmo_create_object("Figure", -1);
        shading(TM("flat"));
        chart(test::cell_row({peaks(Mm(20.0))}));
        shading(TM("interp"));
        return test::Picture::of(fig);
    };
    const test::Picture plain = shaded(surf), with_floor = shaded(surfc);
    ASSERT_EQ(plain.data.size(), with_floor.data.size());
    int floor = 0;
    for (int i = 0; i < plain.rows; ++i)
        for (int j = 0; j < plain.cols; ++j)
            floor += !test::near(plain.at(i, j), with_floor.at(i, j), 0.1);
    EXPECT_GT(floor, 300) << "pixels of the level lines";
}

TEST_F(Shading, AfterAMeshOnlyTheFlagChanges)
{
    mesh(test::cell_row({test::real(2, 2, {1, 2, 3, 4})}));
    const std::vector<double> before = surfaces();
    const int writes = shading_writes();
    const std::size_t mark = vt::mark();
    shading(TM("interp"));
    EXPECT_EQ(interp_shading, 1);
    EXPECT_EQ(surfaces(), before);
    EXPECT_EQ(shading_writes(), writes);
    for (const std::string& line : vt::since(mark))
        EXPECT_TRUE(line.rfind("create", 0) != 0 && line.rfind("set_data", 0) != 0) << line;
}

TEST_F(Shading, APcolorAfterAMeshIsRedrawn)
{
    mesh(test::cell_row({test::real(2, 2, {1, 2, 3, 4})}));
    pcolor(test::cell_row({test::real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9})}));
    shading(TM("interp"));
    const double ax = first(gca());
    // Drawn again under interpolation: one refinement step, nothing dropped.
    EXPECT_EQ(vt::prop(ax, "CData").dims[0], 5);
    EXPECT_EQ(vt::prop(ax, "CData").dims[1], 5);
    EXPECT_EQ(vt::prop(ax, "Shading").text(), "interp");
}

} // namespace
