// Axes against the headless engine: the current axes, creating and
// selecting axes, clearing them, preparing them for a plot, and the order
// every object constructor follows.
#include "engine_fixture.hpp"
#include "graphics/figures.hpp"
#include "graphics/property_names.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

std::vector<std::string>& callbacks = test::recorded_callbacks;

class Axes : public test::engine_fixture {};

double handle(const Mm& h) { return *h.addr(1); }
std::vector<double> values_of(double h, const char* name) { return vt::prop(h, name).data; }
double current_axes() { return vt::prop(vizmo_current_figure(), "CurrentAxes").data.at(0); }

TEST_F(Axes, TheCurrentAxesIsMadeOnDemandFillingTheFigure)
{
    const double a = handle(gca());
    EXPECT_EQ(vizmo_current_figure(), 1);
    EXPECT_EQ(vt::type(a), "axes");
    EXPECT_EQ(vt::parent(a), 1);
    EXPECT_EQ(values_of(a, "Position"), (std::vector<double>{0, 0, 1, 1}));
    EXPECT_EQ(vt::prop(a, "Units").text(), "normalized");
    EXPECT_EQ(handle(gca()), a) << "a second call finds the same axes";

    clf();
    EXPECT_EQ(current_axes(), -1);
    const double b = handle(gca());
    EXPECT_NE(b, a);
    EXPECT_EQ(values_of(b, "Position"), (std::vector<double>{0, 0, 1, 1}));
}

TEST_F(Axes, ANewAxesWritesItsPropertiesInOrderAndGetsFourEmptyLabels)
{
    figure();
    set(Mm(1.0), pn_DefaultAxesColor, test::row({0.25, 0.5, 0.75}));
    set(Mm(0.0), TM("DefaultAxesCreateFcn"), TM("axes made"));
    const double a = handle(axes(test::cell_row({TM("Position"), test::row({0.1, 0.2, 0.3, 0.4}), TM("Tag"), TM("t")})));
    const std::vector<std::string> w = vt::writes(a);
    const std::vector<std::string> head(w.begin(), w.begin() + 5);
    EXPECT_EQ(head, (std::vector<std::string>{"Parent", "Refresh", "Units", "Position", "NextPlot"}));
    EXPECT_EQ(w.at(5), "Reset") << "cla('reset') follows the placement";
    EXPECT_EQ(vt::prop(a, "Units").text(), "normalized");
    EXPECT_EQ(values_of(a, "Color"), (std::vector<double>{0.25, 0.5, 0.75}));
    EXPECT_EQ(vt::prop(a, "Tag").text(), "t");
    EXPECT_EQ(vt::prop(a, "NextPlot").text(), "replace");
    EXPECT_EQ(current_axes(), a);
    EXPECT_EQ(callbacks, (std::vector<std::string>{"axes made"}));
    for (const char* label : {"XLabel", "YLabel", "ZLabel", "Title"}) {
        SCOPED_TRACE(label);
        const double t = values_of(a, label).at(0);
        EXPECT_EQ(vt::prop(t, "ChartType").text(), "text");
        const std::vector<std::string> tw = vt::writes(t);
        EXPECT_EQ(std::count(tw.begin(), tw.end(), "Type"), 0) << "a label is a text made from pairs";
        EXPECT_EQ(vt::prop(t, "String").text(), "");
        EXPECT_EQ(vt::parent(t), a);
    }
    // Given units without a position: the default position, in the parent's
    // default units.
    const double b = handle(axes(test::cell_row({TM("Units"), TM("pixels")})));
    EXPECT_EQ(values_of(b, "Position"), (std::vector<double>{0, 0, 1, 1}));
}

TEST_F(Axes, SelectingAnAxesByHandle)
{
    const double a = handle(axes());
    const double b = handle(axes());
    EXPECT_EQ(current_axes(), b);
    EXPECT_EQ(handle(axes(test::cell_row({Mm(a)}))), a);
    EXPECT_EQ(current_axes(), a);
    EXPECT_ERROR(axes(test::cell_row({Mm(7.0)})), "axes(h): h is not a valid handle");
    EXPECT_EQ(current_axes(), a);

    axis(Mm(b), Mm(a));
    EXPECT_EQ(current_axes(), a) << "axis(a, b) selects a, then b";
    axis(Mm(a), Mm(a), Mm(b));
    EXPECT_EQ(current_axes(), b);
}

TEST_F(Axes, ClearingAnAxes)
{
    const double a = handle(gca());
    const double old_label = values_of(a, "XLabel").at(0);
    text(test::cell_row({Mm(1.0), Mm(2.0), TM("p")}));
    const std::size_t mark = vt::writes(a).size();
    EXPECT_EQ(handle(cla()), a);
    const std::vector<std::string> w = vt::writes(a);
    const std::vector<std::string> tail(w.begin() + static_cast<long>(mark), w.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Refresh", "XLabel", "YLabel", "ZLabel", "Title", "KillChilds", "Clear",
                                              "XLabel", "YLabel", "ZLabel", "Title"}));
    EXPECT_FALSE(vt::exists(old_label));
    EXPECT_EQ(vt::children(a).size(), 4u) << "only the four new labels remain";

    set(Mm(a), pn_XGrid, pv_on);
    set(Mm(a), pn_View, test::row({30, 40}));
    cla(TM("anything"));
    EXPECT_EQ(vt::prop(a, "XGrid").text(), "off");
    EXPECT_EQ(vt::prop(a, "ZGrid").text(), "off");
    EXPECT_EQ(values_of(a, "View"), (std::vector<double>{2}));
    EXPECT_EQ(vt::modes().surface_axes, 0);
}

TEST_F(Axes, PreparingForANewPlotFollowsNextPlot)
{
    struct Case {
        const char* next;
        bool series_killed;
        bool reset;
    };
    const std::vector<Case> cases = {
        {"add", false, false},
        {"ReplaceChildren", true, false},
        {"replace", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.next);
        vt::reset();
        const double a = handle(gca());
        set(Mm(a), pn_NextPlot, TM(c.next));
        const std::size_t mark = vt::writes(a).size();
        EXPECT_EQ(handle(newplot()), a);
        const std::vector<std::string> w = vt::writes(a);
        const std::vector<std::string> tail(w.begin() + static_cast<long>(mark), w.end());
        EXPECT_EQ(!tail.empty() && tail.front() == "KillSerieses", c.series_killed);
        EXPECT_EQ(!tail.empty() && tail.front() == "Reset", c.reset);
        if (!c.series_killed && !c.reset) {
            EXPECT_TRUE(tail.empty());
        }
    }
}

TEST_F(Axes, PositionAndReset)
{
    const double a = handle(gca());
    axesposition(Mm(1.0), Mm(2.0), Mm(3.0), Mm(4.0));
    EXPECT_EQ(values_of(a, "RealPosition"), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_ERROR(axesposition(Mm(1.0), x_M, Mm(3.0), Mm(4.0)), "axesposition(a,b,c,d): a, b, c, d must be numbers");

    // An axes: selected and cleared.
    const double b = handle(axes());
    const double label = values_of(a, "Title").at(0);
    reset(Mm(a));
    EXPECT_EQ(current_axes(), a);
    EXPECT_FALSE(vt::exists(label));
    EXPECT_NE(b, a);

    // A figure: selected and cleared.
    figure();
    reset(Mm(1.0));
    EXPECT_EQ(vizmo_current_figure(), 1);
    EXPECT_EQ(current_axes(), -1);
    EXPECT_FALSE(vt::exists(a));

    // Any other object: its children killed and cleared.
    const double t = handle(text());
    const std::size_t mark = vt::writes(t).size();
    reset(Mm(t));
    const std::vector<std::string> w = vt::writes(t);
    EXPECT_EQ(std::vector<std::string>(w.begin() + static_cast<long>(mark), w.end()),
              (std::vector<std::string>{"KillChilds", "Clear"}));
}

TEST_F(Axes, HostedAxesStandInForTheCurrentOnes)
{
    int window = 0;
    const double h = handle(winaxes(&window));
    const std::size_t mark = vt::writes(h).size();
    EXPECT_EQ(handle(gcf()), 0);
    EXPECT_EQ(handle(gca()), h);
    EXPECT_EQ(handle(newplot()), h);
    EXPECT_EQ(vizmo_current_figure(), -1) << "no figure is made";
    cla();
    const std::vector<std::string> w = vt::writes(h);
    EXPECT_EQ(w.at(mark), "XLabel") << "hosted: cla writes no Refresh";
}

// The constructor order, through a test kind.
TEST_F(Axes, ConstructorsFollowOneOrder)
{
    const double a = handle(gca());
    set(Mm(a), pn_NextPlot, pv_replace);
    set(Mm(0.0), TM("DefaultLineCreateFcn"), TM("line made"));
    set(Mm(0.0), TM("DefaultLineDeleteFcn"), TM("line gone"));
    const object_kind kind{"line", "plot", "Line"};
    std::vector<double> data_parents;
    const Mm h = create_object_sequence(kind, test::cell_row({Mm(1.0), TM("Tag"), TM("x")}),
                                        [&](const Mm& obj, const Mm& parent) {
                                            data_parents.push_back(handle(parent));
                                            set(obj, pn_XData, Mm(1.0));
                                        });
    const double l = handle(h);
    EXPECT_EQ(vt::writes(l), (std::vector<std::string>{"ChartType", "Parent", "XData", "Tag", "CreateFcn", "DeleteFcn"}));
    EXPECT_EQ(vt::parent(l), a);
    EXPECT_EQ(data_parents, (std::vector<double>{a}));
    EXPECT_EQ(callbacks, (std::vector<std::string>{"line made"}));
    EXPECT_EQ(vt::prop(l, "DeleteFcn").text(), "line gone");
    EXPECT_EQ(vt::prop(a, "NextPlot").text(), "replace") << "restored";
    EXPECT_TRUE(vt::exists(l));

    // Another axes as the parent: the current one is neither cleared nor
    // changed, and the other's NextPlot comes back.
    const double other = handle(axes());
    axes(test::cell_row({Mm(a)}));
    set(Mm(other), pn_NextPlot, pv_replace);
    const std::size_t mark = vt::writes(a).size();
    const object_kind quiet{"line", "plot", "Line", false, true, true, true, false};
    const double m = handle(create_object_sequence(quiet, test::cell_row({TM("Parent"), Mm(other)}), nullptr));
    EXPECT_EQ(vt::parent(m), other);
    EXPECT_EQ(vt::writes(a).size(), mark);
    EXPECT_EQ(vt::prop(other, "NextPlot").text(), "replace");
    EXPECT_EQ(vt::prop(other, "Refresh").data, (std::vector<double>{0}));
    EXPECT_EQ(callbacks.size(), 1u) << "this kind runs no CreateFcn";
}

TEST_F(Axes, Texts)
{
    figure();
    set(Mm(1.0), pn_DefaultAxesColor, test::row({1, 0.75, 0}));
    const double a = handle(gca());

    const Mm invisible = text();
    ASSERT_EQ(invisible.size(), 1);
    const double t = handle(invisible);
    EXPECT_EQ(vt::writes(t), (std::vector<std::string>{"ChartType", "Parent", "Position", "Visible", "Color",
                                                        "CreateFcn", "DeleteFcn"}));
    EXPECT_EQ(values_of(t, "Position"), (std::vector<double>{0, 0}));
    EXPECT_EQ(vt::prop(t, "Visible").text(), "off");
    EXPECT_EQ(values_of(t, "Color"), (std::vector<double>{0, 0.25, 1}));

    const Mm two = text(test::cell_row({test::row({1, 2}), test::row({3, 4}), mchar(Mm((CL(TM("ab")), TM("cd")))),
                                        TM("Tag"), TM("pair")}));
    ASSERT_EQ(two.size(), 2);
    const std::vector<std::string> strings = {"ab", "cd"};
    for (int i = 0; i < 2; ++i) {
        const double h = *two.addr(i + 1);
        SCOPED_TRACE(i);
        EXPECT_EQ(vt::type(h), "text");
        EXPECT_EQ(vt::prop(h, "ChartType").text(), "text");
        EXPECT_EQ(vt::parent(h), a);
        EXPECT_EQ(values_of(h, "Position"), (std::vector<double>{1.0 + i, 3.0 + i}));
        EXPECT_EQ(vt::prop(h, "String").text(), strings[i]);
        EXPECT_EQ(vt::prop(h, "Tag").text(), "pair");
    }
    const Mm three = text(test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0), TM("z")}));
    ASSERT_EQ(three.size(), 1);
    EXPECT_EQ(vt::prop(handle(three), "ChartType").text(), "text3");
    EXPECT_EQ(values_of(handle(three), "Position"), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(vt::prop(a, "NextPlot").text(), "replace") << "text leaves NextPlot alone";

    struct Bad {
        Mm args;
        const char* message;
    };
    const char* usage = "text: use (x,y,'text') or (x,y,z,'text') or ('prop','value',...)";
    const std::vector<Bad> bad = {
        {test::cell_row({test::row({1, 2}), test::row({3, 4}), TM("ab")}),
         "text(x,y,'text'): x,y,text must contain the same number of elements"},
        {test::cell_row({test::row({1, 2}), Mm(2.0), Mm(3.0), TM("ab")}),
         "text(x,y,z,'text'): x,y,z,text must contain the same number of elements"},
        {test::cell_row({Mm(1.0), Mm(2.0)}), usage},
        {test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0)}), usage},
        {test::cell_row({Mm(1.0), TM("a")}), usage},
        {test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0), Mm(4.0), TM("a")}), usage},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.message);
        const std::size_t before = vt::children(a).size();
        EXPECT_ERROR(text(b.args), b.message);
        EXPECT_EQ(vt::children(a).size(), before) << "nothing is made";
    }
}

} // namespace
