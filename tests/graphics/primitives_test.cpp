// Texts, patches and lines made from the language, checked in the headless
// engine: which objects appear, where, and what the axes are left holding.
#include "picture.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

class Primitives : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
};

double handle(const Mm& h) { return *h.addr(1); }
std::string next_plot(double a) { return vt::prop(a, "NextPlot").text(); }

TEST_F(Primitives, TextsBeyondAsciiComeBackAsGiven)
{
    // The bytes of UTF-8 text reach the engine as they are; a text object
    // and an axes label read back the value they were given.
    const Mm s = TM("length [\xC2\xB5m]");
    const Mm t = text(test::cell_row({Mm(2.0), Mm(2.0), s}));
    EXPECT_TRUE(isequal(get(t, TM("String")), s));
    EXPECT_EQ(vt::prop(handle(t), "String").text(), "length [\xC2\xB5m]");
    const Mm y = ylabel(test::cell_row({s}));
    EXPECT_TRUE(isequal(get(y, TM("String")), s));
}

TEST_F(Primitives, TextsAtPoints)
{
    const Mm two = text(test::cell_row({test::row({1, 2}), test::row({3, 4}), test::cell_row({TM("ab"), TM("cd")})}));
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(vt::prop(*two.addr(1), "String").text(), "ab");
    EXPECT_EQ(vt::prop(*two.addr(2), "String").text(), "cd");
    EXPECT_EQ(vt::prop(*two.addr(2), "Position").data, (std::vector<double>{2, 4}));
    EXPECT_EQ(vt::type(*two.addr(1)), "text");
    EXPECT_EQ(vt::parent(*two.addr(1)), handle(gca()));

    const Mm three = text(test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0), TM("z"), TM("Tag"), TM("t3")}));
    ASSERT_EQ(three.size(), 1);
    EXPECT_EQ(vt::prop(handle(three), "ChartType").text(), "text3");
    EXPECT_EQ(vt::prop(handle(three), "Position").data, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(vt::prop(handle(three), "Tag").text(), "t3") << "pairs start after the string";

    // The colour is the complement of the figure's default axes colour.
    const std::vector<double> background = vt::prop(handle(gcf()), "DefaultAxesColor").data;
    const std::vector<double> colour = vt::prop(handle(three), "Color").data;
    ASSERT_EQ(colour.size(), background.size());
    for (std::size_t k = 0; k < colour.size(); ++k)
        EXPECT_EQ(colour[k], 1 - background[k]);

    EXPECT_EQ(next_plot(handle(gca())), "replace") << "text never holds the axes";
}

// Texts at several points run the creation callback once per text, and an
// empty default runs nothing and reports nothing.
std::vector<std::string> created;
Mm record_creation(Mm text)
{
    created.push_back(text.isstr() ? test::text_of(text) : "(not a text)");
    return x_M;
}

TEST_F(Primitives, TextsAtPointsRunOneCreateFcnEach)
{
    const callback_func_t previous = callback_func;
    callback_func = record_creation;
    created.clear();
    const Mm args = test::cell_row({test::row({1, 2, 3}), test::row({3, 4, 5}), test::cell_row({TM("a"), TM("b"), TM("c")})});
    text(args);
    EXPECT_TRUE(created.empty());
    set(Mm(0.0), TM("DefaultTextCreateFcn"), TM("made"));
    text(args);
    EXPECT_EQ(created, (std::vector<std::string>{"made", "made", "made"}));
    callback_func = previous;
}

TEST_F(Primitives, TextsStandWhereTheirAlignmentAndRotationPutThem)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // A red text at the centre of axes 0..10: the edge or middle of its
    // ink that the alignments name lies on the anchor. Turned 90 degrees
    // counterclockwise the text reads upwards: its start is at the bottom
    // and its top faces left.
    struct Case {
        const char* across;
        const char* up;
        double rotation;
        double at_j, at_i;  // where the anchor lies in the ink box: 0 left/top .. 1 right/bottom
    };
    const std::vector<Case> cases = {
        {"left", "middle", 0, 0, 0.5},     {"center", "middle", 0, 0.5, 0.5}, {"right", "middle", 0, 1, 0.5},
        {"left", "top", 0, 0, 0},          {"left", "bottom", 0, 0, 1},       {"right", "top", 0, 1, 0},
        {"center", "bottom", 0, 0.5, 1},   {"left", "middle", 90, 0.5, 1},    {"right", "middle", 90, 0.5, 0},
        {"center", "middle", 90, 0.5, 0.5}, {"left", "top", 90, 0, 1},       {"left", "bottom", 90, 1, 1},
        {"left", "middle", -90, 0.5, 0},   {"center", "middle", 180, 0.5, 0.5}, {"left", "middle", 180, 1, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.across) + " " + c.up + " " + std::to_string(c.rotation));
        vt::reset();
        axis(test::row({0, 10, 0, 10}));
        const Mm t = text(test::cell_row({Mm(5.0), Mm(5.0), TM("Wide text")}));
        set(t, test::cell_row({TM("Color"), TM("r"), TM("FontSize"), Mm(14.0), TM("HorizontalAlignment"),
                               TM(c.across), TM("VerticalAlignment"), TM(c.up), TM("Rotation"), Mm(c.rotation)}));
        const test::Picture p = test::Picture::of(*gcf().addr(1));
        const test::Frame f = test::frame_of(p);
        ASSERT_TRUE(f.found());
        const double anchor_j = (f.left + f.right) / 2.0, anchor_i = (f.top + f.bottom) / 2.0;
        const test::Ink ink = test::ink_of(p, test::reddish);
        ASSERT_TRUE(ink.any());
        const bool upright = std::fmod(std::fabs(c.rotation), 180.0) == 90;
        EXPECT_EQ(upright, ink.height() > ink.width()) << ink.width() << " x " << ink.height();
        EXPECT_NEAR(ink.left + c.at_j * (ink.width() - 1), anchor_j, 2.5);
        EXPECT_NEAR(ink.top + c.at_i * (ink.height() - 1), anchor_i, 2.5);
    }
}

TEST_F(Primitives, TextErrors)
{
    struct Case {
        const char* what;
        Mm args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"one row, two points", test::cell_row({test::row({1, 2}), test::row({3, 4}), TM("ab")}),
         "text(x,y,'text'): x,y,text must contain the same number of elements"},
        {"3-D count", test::cell_row({test::row({1, 2}), test::row({3, 4}), Mm(5.0), TM("a")}),
         "text(x,y,z,'text'): x,y,z,text must contain the same number of elements"},
        {"no string", test::cell_row({Mm(1.0), Mm(2.0)}),
         "text: use (x,y,'text') or (x,y,z,'text') or ('prop','value',...)"},
        {"four numbers", test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0), Mm(4.0), TM("a")}),
         "text: use (x,y,'text') or (x,y,z,'text') or ('prop','value',...)"},
        {"one number", test::cell_row({Mm(1.0), TM("a")}),
         "text: use (x,y,'text') or (x,y,z,'text') or ('prop','value',...)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(text(c.args), c.message);
    }
}

TEST_F(Primitives, PatchColours)
{
    const Mm x = test::row({0, 1, 1}), y = test::row({0, 0, 1});
    const Mm red = patch(test::cell_row({x, y, test::row({1, 0, 0})}));
    EXPECT_EQ(vt::prop(handle(red), "ChartType").text(), "patch");
    EXPECT_EQ(vt::prop(handle(red), "Color").data, (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(vt::prop(handle(red), "XData").data, test::values(x));

    const Mm map = colormap();
    const int rows = map.rows();
    const Mm indexed = patch(test::cell_row({x, y, Mm(2.0), TM("Tag"), TM("second")}));
    EXPECT_EQ(vt::prop(handle(indexed), "Color").data,
              (std::vector<double>{*map.addr(2), *map.addr(2 + rows), *map.addr(2 + 2 * rows)}));
    EXPECT_EQ(vt::prop(handle(indexed), "Tag").text(), "second");
    EXPECT_EQ(next_plot(handle(gca())), "replace") << "the saved NextPlot goes back";
    EXPECT_TRUE(vt::exists(handle(red))) << "a patch holds the axes while it draws";

    EXPECT_ERROR(patch(test::cell_row({x, y, Mm(0.0)})), "patch: colour index 0 is outside the colormap (1 to "
                                                         + std::to_string(rows) + ")");
}

TEST_F(Primitives, PatchFormsAndErrors)
{
    const Mm x = test::row({0, 1, 1}), y = test::row({0, 0, 1});
    struct Case {
        const char* what;
        Mm args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"nothing", test::cell_row({}), "patch needs to have at least one parameter"},
        {"one data argument", test::cell_row({x, TM("Tag"), TM("t")}), "patch: cannot comprehend format"},
        {"x, y, z, c", test::cell_row({x, y, x, y}), "patch(x,y,z) is not supported yet."},
        {"c of two values", test::cell_row({x, y, test::row({1, 2})}), "patch(x,y,z) is not supported yet."},
    };
    Mm (*const entry[])(const Mm&) = {patch, fill, rectangle};
    for (auto* f : entry)
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            EXPECT_ERROR(f(c.args), c.message);
        }
    EXPECT_ERROR(patch(), "patch needs to have at least one parameter");

    // fill and rectangle draw exactly what patch draws.
    for (auto* f : entry) {
        vt::reset();
        const double h = handle(f(test::cell_row({x, y, test::row({0, 0, 1})})));
        EXPECT_EQ(vt::prop(h, "ChartType").text(), "patch");
        EXPECT_EQ(vt::prop(h, "Color").data, (std::vector<double>{0, 0, 1}));
        EXPECT_EQ(vt::prop(h, "YData").data, test::values(y));
    }

    vt::reset();
    const double bare = handle(patch(test::cell_row({TM("Tag"), TM("p")})));
    EXPECT_EQ(vt::prop(bare, "ChartType").text(), "patch");
    EXPECT_EQ(vt::parent(bare), handle(gca()));
    EXPECT_EQ(vt::prop(bare, "Tag").text(), "p");
}

TEST_F(Primitives, FailingPairsLeaveNextPlotAlone)
{
    const double a = handle(gca());
    const Mm x = test::row({0, 1}), y = test::row({0, 1});
    EXPECT_EQ(next_plot(a), "replace");
    EXPECT_ERROR(patch(test::cell_row({x, y, test::row({1, 0, 0}), TM("LineWidth")})),
                 "set: cannot parse in position 1");
    EXPECT_EQ(next_plot(a), "replace");
    EXPECT_ERROR(patch(test::cell_row({TM("LineWidth")})), "set: cannot parse in position 1");
    EXPECT_EQ(next_plot(a), "replace");
    EXPECT_FALSE(test::error_of([&] { line(test::cell_row({x, y, TM("LineWidth")})); }).empty());
    EXPECT_EQ(next_plot(a), "replace");
}

TEST_F(Primitives, LineForms)
{
    const double a = handle(gca());
    const double h = handle(line(test::cell_row({test::row({1, 2}), test::row({3, 4})})));
    EXPECT_EQ(vt::parent(h), a);
    EXPECT_EQ(vt::prop(h, "XData").data, (std::vector<double>{1, 2}));
    EXPECT_EQ(vt::prop(a, "Refresh").data, (std::vector<double>{0}));
    EXPECT_EQ(next_plot(a), "replace");

    const double h3 = handle(line(test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0), TM("Tag"), TM("l3")})));
    EXPECT_EQ(vt::prop(h3, "ZData").data, (std::vector<double>{3}));
    EXPECT_EQ(vt::prop(h3, "Tag").text(), "l3");

    const double bare = handle(line(test::cell_row({TM("XData"), test::row({1, 2})})));
    EXPECT_EQ(vt::prop(bare, "ChartType").text(), "plot");
    EXPECT_EQ(vt::prop(bare, "XData").data, (std::vector<double>{1, 2}));

    EXPECT_ERROR(line(), "line needs to have at least one parameter");
    EXPECT_ERROR(line(test::cell_row({Mm(1.0), TM("Tag"), TM("t")})), "line: cannot comprehend format");
}

TEST_F(Primitives, LineInAnotherAxes)
{
    struct Case {
        const char* what;
        bool with_data;
    };
    for (const Case& c : std::vector<Case>{{"pairs only", false}, {"x, y then Parent", true}}) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double other = handle(axes());
        const double current = handle(axes());
        plot(test::cell_row({test::row({1, 2, 3})}));
        const std::vector<double> kept = vt::children(current);
        ASSERT_EQ(handle(gca()), current);

        const Mm args = c.with_data
                            ? test::cell_row({test::row({1, 2}), test::row({5, 6}), TM("Parent"), Mm(other)})
                            : test::cell_row({TM("Parent"), Mm(other), TM("XData"), test::row({1, 2})});
        const double h = handle(line(args));
        EXPECT_EQ(vt::parent(h), other);
        EXPECT_EQ(vt::prop(h, "XData").data, (std::vector<double>{1, 2}));
        EXPECT_EQ(next_plot(other), "replace");
        EXPECT_EQ(vt::children(current), kept) << "the current axes keeps its series";
        EXPECT_EQ(next_plot(current), "replace");
    }
}

} // namespace
