// The current object and the object and figure whose callback runs, read
// from inside callbacks the headless engine's script fires.
#include "test_support.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <vector>

namespace {

// The first element of a handle, -99 when it is empty.
double first(const Mm& x) { return x.size() > 0 ? test::at(x, 0) : -99; }

// What gcbo and gcbf said inside the last callback, taken as numbers there.
struct seen_t {
    double object = -1, figure = -1, object2 = -1, figure2 = -1;
    int result_size = -1;
};
seen_t seen;

Mm look(Mm)
{
    seen.object = first(gcbo());
    seen.figure = first(gcbf());
    Mm h, f;
    seen.result_size = gcbo(i_o, h, f).size();
    seen.object2 = first(h);
    seen.figure2 = first(f);
    return x_M;
}

class Pointer : public ::testing::Test {
protected:
    void SetUp() override
    {
        vizmo::test::reset();
        saved_ = callback_func;
        callback_func = look;
    }
    void TearDown() override
    {
        callback_func = saved_;
        vizmo::test::reset();
    }
    callback_func_t saved_ = nullptr;
};

TEST_F(Pointer, CallbackFigureWalksUpToTheRoot)
{
    const double fig = figure().r();
    const double frame = uicontrol(test::cell_row({test::text("Style"), test::text("frame")})).r();
    const double inner = uicontrol(test::cell_row({Mm(frame), test::text("Style"), test::text("pushbutton")})).r();
    ASSERT_EQ(vizmo::test::parent(inner), frame);
    const double loose = uicontextmenu().r();
    ASSERT_LT(vizmo::test::parent(loose), 0);
    struct Case {
        const char* what;
        double object;
        double figure;  // -99: empty
    };
    const std::vector<Case> cases = {
        {"a figure", fig, fig},
        {"a control in a frame in a figure", inner, fig},
        {"the frame", frame, fig},
        {"an object outside every figure", loose, -99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set(Mm(c.object), test::text("Callback"), test::text("look"));
        vizmo::test::push_callback(c.object);
        seen = seen_t{};
        vizmo_button_press(0);
        EXPECT_EQ(seen.object, c.object);
        EXPECT_EQ(seen.figure, c.figure);
        EXPECT_EQ(seen.object2, c.object);
        EXPECT_EQ(seen.figure2, c.figure);
        EXPECT_EQ(seen.result_size, 0);
    }
}

TEST_F(Pointer, NoCallbackMeansNoCallbackFigure)
{
    figure();
    EXPECT_EQ(gcbf().size(), 0);
    seen = seen_t{};
    ASSERT_TRUE(vizmo::test::fire_callback("look"));
    EXPECT_EQ(seen.figure, -99) << "a callback with no object behind it";

    // A callback object that is gone, or not a handle at all.
    for (double gone : {12345.5, -3.0}) {
        miniM value{2, {1, 1, 1, 1}, 0, &gone};
        vizmo_set_property(0, "CallbackObject", &value);
        ASSERT_EQ(vizmo::test::prop(0, "CallbackObject").data, std::vector<double>{gone});
        EXPECT_EQ(gcbf().size(), 0);
        EXPECT_EQ(gcbo().r(), gone);
    }
}

TEST_F(Pointer, CurrentObjectOfAFigure)
{
    const double fig = figure().r();
    const double button = uicontrol().r();
    miniM value{2, {1, 1, 1, 1}, 0, const_cast<double*>(&button)};
    vizmo_set_property(fig, "CurrentObject", &value);
    EXPECT_EQ(gco().r(), button);
    EXPECT_EQ(gco(Mm(fig)).r(), button);
}

} // namespace
