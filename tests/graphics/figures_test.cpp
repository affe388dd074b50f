// Figures against the headless engine: opening and selecting, the current
// figure, clearing, capturing and closing.
#include "engine_fixture.hpp"
#include "graphics/property_names.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cstdint>
#include <cmath>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

std::vector<std::string>& callbacks = test::recorded_callbacks;

class Figures : public test::engine_fixture {};

std::vector<double> values_of(double h, const char* name) { return vt::prop(h, name).data; }

TEST_F(Figures, OpeningAFigureByNumber)
{
    const Mm h = figure(test::cell_row({Mm(3.0)}));
    EXPECT_EQ(test::values(h), (std::vector<double>{3}));
    EXPECT_EQ(vizmo_current_figure(), 3);
    EXPECT_EQ(vt::writes(3), (std::vector<std::string>{"Parent", "FigureIndex", "Visible", "Show", "KillChilds",
                                                        "CurrentAxes", "DefaultAxesPosition", "ColorMap", "Color",
                                                        "DefaultAxesColor"}));
    EXPECT_EQ(values_of(3, "FigureIndex"), (std::vector<double>{3}));
    EXPECT_EQ(values_of(3, "ColorMap"), test::values(jet()));
    EXPECT_EQ(values_of(0, "NeedShow"), (std::vector<double>{3}));

    vizmo_create_object("Figure", 4);
    const std::size_t before = vt::writes(3).size();
    figure(test::cell_row({Mm(3.0), TM("Name"), TM("again")}));
    const std::vector<std::string> w = vt::writes(3);
    EXPECT_EQ(std::vector<std::string>(w.begin() + static_cast<long>(before), w.end()),
              (std::vector<std::string>{"Show", "Name"}))
        << "an open figure is only shown, then given the pairs";
    EXPECT_EQ(vizmo_current_figure(), 3);
    EXPECT_EQ(values_of(3, "Show"), (std::vector<double>{1}));
}

TEST_F(Figures, AFigureNumberNoIntegerHoldsIsRefused)
{
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), 1e300, -1e300, 4294967296.0}) {
        SCOPED_TRACE(bad);
        EXPECT_ERROR(figure(test::cell_row({Mm(bad)})), "figure(n): n must be a finite figure number");
    }
    EXPECT_LT(vizmo_current_figure(), 0) << "no figure was made";
}

TEST_F(Figures, ANewFigureTakesTheRootDefaultsAndRunsItsCreateFcn)
{
    set(Mm(0.0), pn_DefaultFigureCreateFcn, TM("made"));
    set(Mm(0.0), pn_DefaultFigurePosition, test::row({1, 2, 30, 40}));
    const Mm h = figure();
    EXPECT_EQ(test::values(h), (std::vector<double>{1}));
    EXPECT_EQ(values_of(1, "Position"), (std::vector<double>{1, 2, 30, 40}));
    EXPECT_EQ(vt::prop(1, "Units").text(), "pixels");
    EXPECT_EQ(vt::prop(1, "CreateFcn").text(), "made");
    EXPECT_EQ(callbacks, (std::vector<std::string>{"made"}));

    const Mm d = dialog(test::cell_row({TM("Name"), TM("ask")}));
    const double dh = *d.addr(1);
    for (const char* name : {"MenuBar", "NumberTitle", "Resize"})
        EXPECT_EQ(vt::prop(dh, name).text(), "off") << name;
    EXPECT_EQ(vt::prop(dh, "Name").text(), "ask");
}

TEST_F(Figures, TheCurrentFigure)
{
    EXPECT_EQ(test::values(gcf()), (std::vector<double>{1})) << "made when there is none";
    EXPECT_EQ(test::values(gcf()), (std::vector<double>{1}));
    EXPECT_EQ(vt::children(0).size(), 1u);
    hosted_axes = Mm(vizmo_create_object("Axes", -1));
    EXPECT_EQ(test::values(gcf()), (std::vector<double>{0})) << "hosted: the root";
}

TEST_F(Figures, ClearingAFigure)
{
    figure();
    const double ax = vizmo_create_object("Axes", -1);
    set(Mm(ax), pn_Parent, Mm(1.0));
    set(Mm(1.0), pn_CurrentAxes, Mm(ax));
    vizmo_set_rotate3d_axes(ax);
    set(Mm(1.0), pn_Color, test::row({0, 0, 0}));
    EXPECT_EQ(test::values(clf()), (std::vector<double>{1}));
    EXPECT_FALSE(vt::exists(ax));
    EXPECT_EQ(values_of(1, "CurrentAxes"), (std::vector<double>{-1}));
    EXPECT_EQ(values_of(1, "DefaultAxesPosition"), (std::vector<double>{0, 0, 1, 1}));
    EXPECT_EQ(vt::modes().rotate3d_axes, 0);
    EXPECT_EQ(values_of(1, "Color"), (std::vector<double>{0, 0, 0})) << "clf() keeps the colours";
    clf(TM("RESET"));
    EXPECT_EQ(values_of(1, "Color"), values_of(0, "DefaultFigureColor"));
    EXPECT_EQ(clg().size(), 0);
}

TEST_F(Figures, CapturingAFigureOrItsAxes)
{
    figure();
    set(Mm(1.0), pn_Position, test::row({100, 100, 4, 3}));
    const double ax = vizmo_create_object("Axes", -1);
    set(Mm(ax), pn_Parent, Mm(1.0));
    Mm X, map;
    capture(i_o, X, map);
    EXPECT_EQ(test::extents(X), (std::vector<int>{3, 4, 3}));
    EXPECT_TRUE(isequal(map, jet()));
    const Mm frame = getframe(Mm(ax));
    EXPECT_TRUE(isequal(frame, capture(Mm(1.0)))) << "an axes is captured through its figure";
    EXPECT_TRUE(isequal(getframe(), capture()));
}

TEST_F(Figures, ClosingFigures)
{
    struct Case {
        const char* what;
        Mm p;
        std::vector<double> left;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"all, after blanks and in capitals", TM("  ALL"), {}, ""},
        {"one number as text", TM("2"), {1, 3}, ""},
        {"numbers as text", TM("1 3"), {2}, ""},
        {"a number", Mm(2.0), {1, 3}, ""},
        {"zero as text", TM("0"), {1, 2, 3}, "close(p) - valid options are fignum, 'all'"},
        {"a word", TM("none"), {1, 2, 3}, "close(p) - valid options are fignum, 'all'"},
        {"two numbers", test::row({1, 2}), {1, 2, 3}, "figure_close(i) must be a number"},
        {"blank: the current figure", TM("   "), {1, 2}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        for (int k = 0; k < 3; ++k)
            figure();
        if (*c.message)
            EXPECT_ERROR(figure_close(c.p), c.message);
        else
            figure_close(c.p);
        EXPECT_EQ(vt::children(0), c.left);
    }
    vt::reset();
    figure();
    figure();
    figure_close();
    EXPECT_EQ(vt::children(0), (std::vector<double>{1}));
    figure_close(TM("1"), TM("ignored"));
    EXPECT_TRUE(vt::children(0).empty());
    EXPECT_EQ(vizmo_current_figure(), -1);
}

TEST_F(Figures, AxesInAHostWindow)
{
    int window = 0;
    const Mm ax = winaxes(&window);
    const double h = *ax.addr(1);
    EXPECT_TRUE(isequal(ax, hosted_axes));
    EXPECT_EQ(vt::modes().hosted, 1);
    EXPECT_EQ(vt::type(h), "axes");
    EXPECT_EQ(vt::writes(h), (std::vector<std::string>{"Parent", "WinParent", "NextPlot", "Clear", "Refresh"}));
    EXPECT_EQ(values_of(h, "WinParent"),
              (std::vector<double>{static_cast<double>(reinterpret_cast<std::intptr_t>(&window))}))
        << "the whole pointer";
    EXPECT_EQ(values_of(0, "ColorMap"), test::values(jet()));
    EXPECT_EQ(test::values(gcf()), (std::vector<double>{0}));
    EXPECT_EQ(vizmo_current_figure(), -1) << "no figure is made";

    const Mm second = vbaxes(test::row({-7, 5}));
    EXPECT_NE(*second.addr(1), h) << "a second host window replaces the hosted axes";
    EXPECT_EQ(values_of(*second.addr(1), "WinParent"), (std::vector<double>{-7}));
}

TEST_F(Figures, HostHandlesAndTheEngineRefusal)
{
    int app = 0, keys = 0;
    setapplicationhandle(&app);
    setapplicationkeyhandle(&keys);
    EXPECT_EQ(vt::modes().application, &app);
    EXPECT_EQ(vt::modes().application_key, &keys);
    const std::size_t mark = vt::mark();
    vizmocrash();
    EXPECT_EQ(vt::since(mark), (std::vector<std::string>{"create refused (no type)"}));
}

} // namespace
