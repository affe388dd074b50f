// Figure utilities against the headless engine: drawnow, checkforbuttonpress
// and guiexit as the engine records them.
#include "test_support.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <string>
#include <vector>

namespace {

using vizmo::test::Policy;

TEST(FigureUtils, CheckForButtonPressPollsTheEngine)
{
    vizmo::test::reset();
    const double fig = vizmo_create_object("Figure", -1);
    const double ax = vizmo_create_object("Axes", -1);
    const int dims[2] = {1, 1};
    miniM parent{2, {dims[0], dims[1], 1, 1}, 0, const_cast<double*>(&fig)};
    vizmo_set_property(ax, "Parent", &parent);

    struct Case {
        const char* what;
        Policy policy;
        bool mouse, key;
        double expected;
    };
    const std::vector<Case> cases = {
        {"a pending press", Policy::Strict, true, false, 0},
        {"a pending key", Policy::Strict, false, true, 1},
        {"nothing pending at a terminal", Policy::Strict, false, false, -1},
        {"nothing pending, unattended", Policy::AutoContinue, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vizmo::test::set_policy(c.policy);
        if (c.mouse)
            vizmo::test::push_mouse(ax, 0.25, 0.5, 1);
        if (c.key)
            vizmo::test::push_key('q');
        EXPECT_EQ(checkforbuttonpress().r(), c.expected);
        EXPECT_EQ(vizmo::test::pending_events(), 0u);
    }
    EXPECT_EQ(vizmo::test::prop(ax, "CurrentPoint").data, (std::vector<double>{0.25, 0.5}));
    EXPECT_EQ(vizmo::test::prop(fig, "CurrentCharacter").data, (std::vector<double>{'q'}));
    vizmo::test::reset();
}

TEST(FigureUtils, DrawnowDrawsOnlyWithAFigure)
{
    vizmo::test::reset();
    std::size_t mark = vizmo::test::mark();
    EXPECT_EQ(drawnow().size(), 0);
    EXPECT_TRUE(vizmo::test::since(mark).empty()) << "nothing to draw";
    vizmo_create_object("Figure", -1);
    mark = vizmo::test::mark();
    drawnow();
    guiexit(3);
    EXPECT_EQ(vizmo::test::since(mark), (std::vector<std::string>{"redraw", "redraw", "exit 3"}));
    EXPECT_EQ(vizmo::test::modes().exit_code, 3);
    vizmo::test::reset();
}

TEST(FigureUtils, WaitForButtonPressAnswersTheScriptedUser)
{
    vizmo::test::reset();
    const double fig = vizmo_create_object("Figure", -1);
    const double ax = vizmo_create_object("Axes", -1);
    set(Mm(ax), TM("Parent"), Mm(fig));
    struct Case {
        const char* what;
        bool mouse, key, close;
        double expected;
    };
    const std::vector<Case> cases = {
        {"a mouse press", true, false, false, 0},
        {"a key", false, true, false, 1},
        {"the figure closed", false, false, true, 2},
        {"no user at all", false, false, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.mouse)
            vizmo::test::push_mouse(ax, 0.5, 0.75, 1);
        if (c.key)
            vizmo::test::push_key('x');
        if (c.close)
            vizmo::test::push_close(fig);
        EXPECT_EQ(waitforbuttonpress().r(), c.expected);
        EXPECT_EQ(vizmo::test::pending_events(), 0u);
    }
}

} // namespace
