// The current object and the object and figure whose callback runs, read
// from inside callbacks the headless engine's script fires.
#include "test_support.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cmath>
#include <string>
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

namespace {

namespace vt = vizmo::test;

double handle_of(const Mm& h) { return test::at(h, 0); }

std::vector<double> column_values(const Mm& x) { return x.size() > 0 ? test::values(x) : std::vector<double>{}; }

class Picking : public ::testing::Test {
public:
    void SetUp() override
    {
        vt::reset();
        fig_ = handle_of(figure());
        axes_ = handle_of(gca());
        line_ = vizmo_create_object("line", -1);
        set(Mm(line_), test::text("Parent"), Mm(axes_));
        ASSERT_EQ(vt::parent(line_), axes_);
    }
    void TearDown() override { vt::reset(); }

    // One step of the scripted user.
    struct Event {
        enum Kind { axes_press, line_press, key } kind;
        double x = 0, y = 0;
        int code = 0;
    };
    void push(const std::vector<Event>& events) const
    {
        for (const Event& e : events) {
            if (e.kind == Event::key)
                vt::push_key(e.code);
            else
                vt::push_mouse(e.kind == Event::axes_press ? axes_ : line_, e.x, e.y, e.code);
        }
    }

    double fig_ = 0, axes_ = 0, line_ = 0;
};

Picking::Event press(double x, double y, int button) { return {Picking::Event::axes_press, x, y, button}; }
Picking::Event on_line(double x, double y) { return {Picking::Event::line_press, x, y, 1}; }
Picking::Event key(int code) { return {Picking::Event::key, 0, 0, code}; }

TEST_F(Picking, PointsComeOnlyFromPressesOnTheAxes)
{
    struct Case {
        const char* what;
        double n;  // NaN: the forms without a count
        std::vector<Event> events;
        std::vector<double> x, y, button;
        std::size_t left;     // events not taken
        const char* pointer;  // afterwards
    };
    const std::vector<Case> cases = {
        {"a count of 2.9 takes two of three presses", 2.9,
         {press(1, 2, 1), press(3, 4, 3), press(5, 6, 1)}, {1, 3}, {2, 4}, {1, 3}, 1, "arrow"},
        {"a press on a line is no point and does not count", 3,
         {press(1, 2, 1), on_line(9, 9), press(3, 4, 2), press(5, 6, 1)}, {1, 3, 5}, {2, 4, 6}, {1, 2, 1}, 0, "arrow"},
        {"Return ends early; other keys are ignored", 5,
         {press(1, 2, 1), key('a'), press(3, 4, 1), key(13), press(5, 6, 1)}, {1, 3}, {2, 4}, {1, 1}, 1, "arrow"},
        {"a count of 0 waits for nothing", 0, {press(1, 2, 1)}, {}, {}, {}, 1, "cross"},
        {"a count of -0.5 waits for nothing", -0.5, {press(1, 2, 1)}, {}, {}, {}, 1, "cross"},
        {"no limit: waiting that ends without a press ends picking", -1,
         {press(1, 2, 1), key(27), press(3, 4, 1)}, {1, 3}, {2, 4}, {1, 1}, 0, "cross"},
        {"no limit ends on Return", NAN, {press(1, 2, 1), key(13), press(3, 4, 1)}, {1}, {2}, {1}, 1, "arrow"},
        {"no limit, nothing pressed", NAN, {}, {}, {}, {}, 0, "cross"},
    };
    for (const Case& c : cases) {
        // Every form of the call picks the same points.
        for (int form = 0; form < 3; ++form) {
            SCOPED_TRACE(std::string(c.what) + ", form " + std::to_string(form));
            SetUp();
            set(Mm(axes_), test::text("Pointer"), test::text("arrow"));
            push(c.events);
            Mm x, y, button, r;
            const bool counted = !std::isnan(c.n);
            const Mm n(c.n);
            switch (form) {
            case 0: r = counted ? ginput(n, i_o, x, y, button) : ginput(i_o, x, y, button); break;
            case 1: r = counted ? ginput(n, i_o, x, y) : ginput(i_o, x, y); break;
            default: r = counted ? ginput(n) : ginput(); break;
            }
            std::vector<double> xy = c.x;
            xy.insert(xy.end(), c.y.begin(), c.y.end());
            EXPECT_EQ(column_values(r), xy);
            if (!c.x.empty()) {
                EXPECT_EQ(test::extents(r), (std::vector<int>{static_cast<int>(c.x.size()), 2}));
            }
            if (form < 2) {
                EXPECT_EQ(column_values(x), c.x);
                EXPECT_EQ(column_values(y), c.y);
                if (!c.x.empty()) {
                    EXPECT_EQ(test::extents(x), (std::vector<int>{static_cast<int>(c.x.size()), 1}));
                }
            }
            if (form == 0) {
                EXPECT_EQ(column_values(button), c.button);
            }
            EXPECT_EQ(vt::pending_events(), c.left);
            EXPECT_EQ(vt::prop(axes_, "Pointer").text(), c.pointer);
            EXPECT_EQ(vt::prop(fig_, "ControlBar").text(), "off");
        }
    }
}

TEST_F(Picking, ClosingTheWindowKeepsThePointsSoFar)
{
    push({press(1, 2, 1)});
    vt::push_close(fig_);
    Mm x, y, button;
    const Mm r = ginput(Mm(3.0), i_o, x, y, button);
    EXPECT_EQ(column_values(r), (std::vector<double>{1, 2}));
    EXPECT_EQ(column_values(button), std::vector<double>{1});
    EXPECT_FALSE(vt::exists(axes_));
}

TEST_F(Picking, MakesAnAxesWhenThereIsNone)
{
    vt::reset();
    vt::push_key(13);
    EXPECT_EQ(ginput(Mm(1.0)).size(), 0);
    const double a = handle_of(gca());
    EXPECT_EQ(vt::prop(a, "Pointer").text(), "arrow");
}

TEST_F(Picking, TextAtThePickedPoint)
{
    push({on_line(7, 7), press(0.25, 0.75, 1)});
    const double h = handle_of(gtext(test::text("hello")));
    EXPECT_EQ(vt::type(h), "text");
    EXPECT_EQ(vt::parent(h), axes_);
    EXPECT_EQ(vt::prop(h, "Position").data, (std::vector<double>{0.25, 0.75}));
    EXPECT_EQ(vt::prop(h, "String").text(), "hello");
}

TEST_F(Picking, PointsInAGivenFigureOrAxes)
{
    const double other_fig = handle_of(figure());
    const double first_axes = handle_of(axes());
    const double second_axes = handle_of(axes());
    ASSERT_EQ(handle_of(gca()), second_axes);
    ASSERT_NE(other_fig, fig_);
    ASSERT_EQ(fig_, std::trunc(fig_));
    ASSERT_NE(first_axes, std::trunc(first_axes));

    // By axes handle: the axes becomes current, and no figure is selected.
    vt::push_mouse(first_axes, 1, 2, 1);
    vt::push_key(13);
    const std::size_t before = vt::mark();
    Mm x, y;
    Mm r = getpts(Mm(first_axes), i_o, x, y);
    EXPECT_EQ(column_values(r), (std::vector<double>{1, 2}));
    EXPECT_EQ(column_values(x), std::vector<double>{1});
    EXPECT_EQ(column_values(y), std::vector<double>{2});
    EXPECT_EQ(handle_of(gca()), first_axes);
    for (const std::string& line : vt::since(before))
        EXPECT_EQ(line.find("figure"), std::string::npos) << line;

    // By figure number, then the current figure.
    vt::push_mouse(axes_, 3, 4, 1);
    vt::push_key(13);
    r = getpts(Mm(fig_), i_o, x, y);
    EXPECT_EQ(column_values(r), (std::vector<double>{3, 4}));
    EXPECT_EQ(vizmo_current_figure(), fig_);
    EXPECT_EQ(handle_of(gca()), axes_);

    vt::push_mouse(axes_, 5, 6, 1);
    vt::push_mouse(axes_, 7, 8, 1);
    r = getpts(i_o, x, y);
    EXPECT_EQ(column_values(r), (std::vector<double>{5, 7, 6, 8}));
    EXPECT_EQ(column_values(y), (std::vector<double>{6, 8}));
}

} // namespace
