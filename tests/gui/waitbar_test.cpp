// The progress window: its geometry, its bar's value, the globals that
// remember it and the error when there is none.
#include "../graphics/picture.hpp"
#include "gui_fixture.hpp"

#include <string>
#include <vector>

namespace {

using gui_test::Gui;
using gui_test::prop_text;
using gui_test::prop_values;
using test::row;
using test::text;

double the_label(double fig, double bar)
{
    for (double c : vizmo::test::children(fig))
        if (c != bar && prop_text(c, "Style") == "text")
            return c;
    return -1;
}

TEST_F(Gui, WaitbarOpensACentredWindowWithBarAndLabel)
{
    const double f = waitbar(Mm(0.5), text("Working")).r();
    EXPECT_EQ(waitbar_figure.r(), f);
    const double bar = waitbar_bar.r();
    EXPECT_EQ(prop_values(f, "Position"), (std::vector<double>{374.5, 338, 275, 92}));
    EXPECT_EQ(prop_text(f, "MenuBar"), "none");
    EXPECT_EQ(prop_text(f, "Resize"), "off");
    EXPECT_EQ(prop_text(f, "Title"), "status");
    EXPECT_EQ(prop_text(bar, "Style"), "progressbar");
    EXPECT_EQ(vizmo::test::parent(bar), f);
    EXPECT_EQ(prop_values(bar, "Position"), (std::vector<double>{16, 16, 233, 16}));
    EXPECT_EQ(prop_values(bar, "Min"), std::vector<double>{0});
    EXPECT_EQ(prop_values(bar, "Max"), std::vector<double>{100});
    EXPECT_EQ(prop_values(bar, "Value"), std::vector<double>{50});
    const double label = the_label(f, bar);
    ASSERT_GT(label, 0);
    EXPECT_EQ(prop_text(label, "String"), "Working");
    EXPECT_EQ(prop_values(label, "Position"), (std::vector<double>{128, 40, 0, 13}));
}

TEST_F(Gui, TheWaitbarLabelIsItsTextAlone)
{
    if (!vizmo::test::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // The label has no width: it shows its text about column 128 of the
    // 275 x 92 window, rows 39..52, and no line of a box.
    const double f = waitbar(Mm(0.4), text("Working")).r();
    const test::Picture p = test::Picture::of(f);
    ASSERT_EQ(p.rows, 92);
    const std::vector<int> columns = test::lines_with(p, 39, 52, 60, 200, false, test::dark);
    ASSERT_FALSE(columns.empty()) << "the text shows";
    EXPECT_NEAR((columns.front() + columns.back()) / 2.0, 128, 3) << "centred on the label's place";
    for (int j = 60; j <= 200; ++j) {
        int marked = 0;
        for (int i = 39; i <= 52; ++i)
            marked += !test::near(p.at(i, j), {0.8, 0.8, 0.8}, 0.05);
        EXPECT_LT(marked, 12) << "a line down column " << j;
    }
}

TEST_F(Gui, WaitbarFollowsTheRootsSize)
{
    gui_test::write_text(0, "Units", "pixels");
    const std::vector<double> screen = {0, 0, 1920, 1080};
    miniM m{2, {1, 4, 1, 1}, 0, const_cast<double*>(screen.data())};
    vizmo_set_property(0, "Position", &m);
    const double f = waitbar(Mm(0.0), text("t")).r();
    EXPECT_EQ(prop_values(f, "Position"), (std::vector<double>{822.5, 494, 275, 92}));
}

TEST_F(Gui, WaitbarMovesTheNewestBar)
{
    const double first = waitbar(Mm(0.5), text("one")).r();
    const double first_bar = waitbar_bar.r();
    struct Case {
        Mm x;
        double value;
    };
    for (const Case& c : std::vector<Case>{{Mm(0.75), 75}, {row({0.2, 0.9}), 20}, {test::bytes(1, 1, {1}), 100}}) {
        EXPECT_EQ(waitbar(c.x).r(), first);
        EXPECT_EQ(prop_values(first_bar, "Value"), std::vector<double>{c.value});
    }
    const double second = waitbar(Mm(0.1), text("two")).r();
    EXPECT_NE(second, first);
    EXPECT_TRUE(vizmo::test::exists(first)) << "the first window stays open";
    EXPECT_EQ(waitbar(Mm(0.3)).r(), second);
    EXPECT_EQ(prop_values(waitbar_bar.r(), "Value"), std::vector<double>{30});
    EXPECT_EQ(prop_values(first_bar, "Value"), std::vector<double>{100});
}

TEST_F(Gui, WaitbarWithoutAWindowFails)
{
    const char* message = "waitbar(x): should initialize with waitbar(x,title) first";
    EXPECT_ERROR(waitbar(Mm(0.3)), message);
    EXPECT_EQ(waitbar_figure.r(), -1);
    EXPECT_EQ(waitbar_bar.r(), -1);

    const double f = waitbar(Mm(0.5), text("t")).r();
    figure_close(Mm(f));
    EXPECT_ERROR(waitbar(Mm(0.6)), message);
    EXPECT_EQ(waitbar_figure.r(), -1);
    EXPECT_EQ(waitbar_bar.r(), -1);

    waitbar(Mm(0.5), text("t"));
    deleteobj(waitbar_bar);
    EXPECT_ERROR(waitbar(Mm(0.6)), message);
    EXPECT_EQ(waitbar_figure.r(), -1);
}

} // namespace
