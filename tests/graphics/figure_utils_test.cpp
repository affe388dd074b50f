// Figure utilities against the headless engine: drawing, waiting for the
// user and for objects, printing background and orientation, modes, the
// object search and the status line, as the engine records them.
#include "graphics/property_names.hpp"
#include "velkor/host.h"
#include "velkor/gui.h"
#include "temp_dir.hpp"
#include "test_support.hpp"

#include <cstdio>
#include <filesystem>

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <string>
#include <vector>

namespace {

using vizmo::test::Policy;
namespace vt = vizmo::test;

std::vector<double> values_of(double h, const char* name) { return vt::prop(h, name).data; }

// An engine object of the given type under parent.
double make(const char* type, double parent)
{
    const double h = vizmo_create_object(type, -1);
    set(Mm(h), pn_Parent, Mm(parent));
    return h;
}

class FigureUtils : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override
    {
        hosted_axes = Mm();
        vt::reset();
    }
};

TEST_F(FigureUtils, CheckForButtonPressPollsTheEngine)
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

TEST_F(FigureUtils, DrawnowDrawsOnlyWithAFigure)
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

TEST_F(FigureUtils, WaitForButtonPressAnswersTheScriptedUser)
{
    const double fig = vizmo_create_object("Figure", -1);
    const double ax = make("Axes", fig);
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
            vt::push_mouse(ax, 0.5, 0.75, 1);
        if (c.key)
            vt::push_key('x');
        if (c.close)
            vt::push_close(fig);
        EXPECT_EQ(waitforbuttonpress().r(), c.expected);
        EXPECT_EQ(vt::pending_events(), 0u);
    }
}

TEST_F(FigureUtils, WaitForReturnsWhenTheObjectGoesAndRefusesProperties)
{
    const double fig = vizmo_create_object("Figure", -1);
    const double other = vizmo_create_object("Figure", -1);
    vt::push_key('a');
    vt::push_close(other);
    vt::push_close(fig);
    vt::push_key('b');
    EXPECT_EQ(waitfor(test::row({fig, other})).size(), 0);
    EXPECT_FALSE(vt::exists(fig));
    EXPECT_FALSE(vt::exists(other));
    EXPECT_EQ(vt::pending_events(), 1u) << "the wait ends at the close, not later";

    EXPECT_EQ(test::error_of([&] { waitfor(Mm(1.0), TM("x")); }), "waitfor(h,propname) is not supported");
    EXPECT_EQ(test::error_of([&] { waitfor(Mm(1.0), TM("x"), Mm(2.0)); }),
              "waitfor(h,propname,propvalue) is not supported");
    EXPECT_NE(test::error_of([&] { waitfor(x_M); }), "");
}

TEST_F(FigureUtils, WhiteBackgroundOfAFigureOrWithAColour)
{
    const double f = vizmo_create_object("Figure", -1);
    const std::vector<double> root_axes = values_of(0, "DefaultAxesColor");
    const std::vector<double> root_figure = values_of(0, "DefaultFigureColor");

    whitebg(Mm(f));
    EXPECT_EQ(values_of(f, "WhiteBackgroundPrint"), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(values_of(f, "DefaultAxesColor"), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(values_of(0, "DefaultAxesColor"), root_axes) << "a figure handle leaves the root alone";
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), root_figure);

    whitebg(TM("w"));
    EXPECT_EQ(values_of(f, "WhiteBackgroundPrint"), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(values_of(f, "DefaultAxesColor"), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(values_of(0, "DefaultAxesColor"), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{1, 1, 1}));

    whitebg(test::row({0.25, 0.5, 0.75}));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{0.25, 0.5, 0.75}));

    whitebg(Mm(f), TM("r"));
    EXPECT_EQ(values_of(f, "WhiteBackgroundPrint"), (std::vector<double>{1, 0, 0}));

    // whitebg() works on the current figure, black.
    whitebg();
    EXPECT_EQ(values_of(f, "WhiteBackgroundPrint"), (std::vector<double>{0, 0, 0}));
}

TEST_F(FigureUtils, WhiteBackgroundWithABadColourWritesNothing)
{
    const double f = vizmo_create_object("Figure", -1);
    const std::size_t before = vt::writes(f).size();
    const std::vector<double> root_axes = values_of(0, "DefaultAxesColor");
    EXPECT_NE(test::error_of([] { whitebg(TM("nosuchcolour")); }), "");
    EXPECT_EQ(vt::writes(f).size(), before);
    EXPECT_EQ(values_of(0, "DefaultAxesColor"), root_axes);
}

TEST_F(FigureUtils, DesignerShowsTheCurrentFigureInDesignMode)
{
    for (Mm (*open)() : {designer, guide}) {
        vt::reset();
        designer();
        const double f = vizmo_current_figure();
        ASSERT_GT(f, 0) << "a figure is made when there is none";
        EXPECT_EQ(values_of(f, "DesignMode"), (std::vector<double>{1}));
        const double g = vizmo_create_object("Figure", -1);
        set(Mm(g), TM("Visible"), TM("off"));
        open();
        EXPECT_EQ(vizmo_current_figure(), g);
        EXPECT_EQ(values_of(g, "DesignMode"), (std::vector<double>{1}));
        EXPECT_EQ(values_of(g, "Show"), (std::vector<double>{1}));
    }
}

TEST_F(FigureUtils, TheHostCommandChannelReachesDesigner)
{
    EXPECT_EQ(_kiv_do(5, 0, nullptr), 0);
    const double f = vizmo_current_figure();
    ASSERT_GT(f, 0);
    EXPECT_EQ(values_of(f, "DesignMode"), (std::vector<double>{1}));
}

TEST_F(FigureUtils, ConsoleModeTruncatesTowardZero)
{
    struct Case {
        Mm m;
        int expected;
    };
    const std::vector<Case> cases = {
        {Mm(2.7), 2}, {Mm(-2.7), -2}, {test::row({3, 9}), 3}, {Mm(0.5), 0}, {test::bytes(1, 1, {4}), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        consolemode(c.m);
        EXPECT_EQ(vt::modes().console, c.expected);
    }
    for (const Mm& bad : {x_M, TM("on"), Mm(std::nan("")), Mm(1e300)}) {
        EXPECT_NE(test::error_of([&] { consolemode(bad); }), "");
        EXPECT_EQ(vt::modes().console, 4) << "a refused mode reaches no engine";
    }
}

TEST_F(FigureUtils, OrientReadsAndWritesThePaperOrientation)
{
    const double f = vizmo_create_object("Figure", -1);
    const double g = vizmo_create_object("Figure", -1);
    set(Mm(f), pn_PaperOrientation, TM("portrait"));
    EXPECT_EQ(orient(TM("landscape")).size(), 0);
    EXPECT_EQ(vt::prop(g, "PaperOrientation").text(), "landscape");
    EXPECT_EQ(test::text_of(orient()), "landscape");
    EXPECT_EQ(test::text_of(orient(Mm(f))), "portrait");
    orient(Mm(f), TM("tall"));
    EXPECT_EQ(vt::prop(f, "PaperOrientation").text(), "tall");
}

TEST_F(FigureUtils, ZoomWritesTheFactorOfTheCurrentAxes)
{
    const double f = vizmo_create_object("Figure", -1);
    zoom();
    const double ax = *gca().addr(1);
    EXPECT_EQ(vt::prop(ax, "ZoomFactor").text(), "on");
    zoom(TM("off"));
    EXPECT_EQ(vt::prop(ax, "ZoomFactor").text(), "off");
    zoom(Mm(2.5));
    EXPECT_EQ(values_of(ax, "ZoomFactor"), (std::vector<double>{2.5}));

    // zoom(f, z) makes f current first, so its own axes take the factor.
    const double g = vizmo_create_object("Figure", -1);
    zoom(Mm(f), Mm(4.0));
    EXPECT_EQ(vizmo_current_figure(), f);
    EXPECT_EQ(values_of(ax, "ZoomFactor"), (std::vector<double>{4})) << "f's axes, not a new one in g";
    EXPECT_TRUE(vt::children(g).empty());
}

TEST_F(FigureUtils, Rotate3dTakesOnlyOnAndOffInAnyCase)
{
    vizmo_create_object("Figure", -1);
    rotate3d(TM("ON"));
    const double ax = *gca().addr(1);
    EXPECT_EQ(vt::modes().rotate3d_axes, ax);
    for (const Mm& ignored : {Mm(0.0), Mm(1.0), TM("of"), TM("onn"), TM(""), x_M}) {
        rotate3d(ignored);
        EXPECT_EQ(vt::modes().rotate3d_axes, ax) << "only the words on and off act";
    }
    rotate3d(TM("Off"));
    EXPECT_EQ(vt::modes().rotate3d_axes, 0);
    rotate3d();
    EXPECT_EQ(vt::modes().rotate3d_axes, ax) << "no argument is on";
}

TEST_F(FigureUtils, BoxWritesTheCurrentAxes)
{
    vizmo_create_object("Figure", -1);
    box(TM("on"));
    const double ax = *gca().addr(1);
    EXPECT_EQ(vt::prop(ax, "Box").text(), "on");
    box(TM("off"));
    EXPECT_EQ(vt::prop(ax, "Box").text(), "off");
}

// print: the engine prints, or the current figure's picture goes to the last
// file named; options about PostScript show how to make such a file.
std::vector<std::string> printed;
void record_print(const char* text) { printed.emplace_back(text ? text : ""); }

class Print : public FigureUtils {
protected:
    void SetUp() override
    {
        FigureUtils::SetUp();
        printed.clear();
        previous = qv_set_print_handler(record_print);
    }
    void TearDown() override
    {
        qv_set_print_handler(previous);
        FigureUtils::TearDown();
    }
    // How many times the help was shown, each time in full.
    static int help_shown()
    {
        std::string all;
        for (const std::string& t : printed)
            all += t;
        int count = 0;
        for (std::size_t at = all.find("13.13 How to create"); at != std::string::npos;
             at = all.find("13.13 How to create", at + 1))
            ++count;
        if (count > 0) {
            EXPECT_NE(all.find("  (see the printer driver supplier's web site)"), std::string::npos);
            EXPECT_NE(all.find("o Use File/Print Plot to produce a PostScript file."), std::string::npos);
        }
        return count;
    }
    qv_text_handler previous = nullptr;
};

TEST_F(Print, WithoutAFileTheEnginePrintsTheFigure)
{
    const double f = vizmo_create_object("Figure", -1);
    for (const Mm& args : {Mm(x_M), test::cell_row({TM("-dbmp")}), test::cell_row({TM("-r300"), TM("-dwin")})}) {
        const std::size_t before = vt::writes(f).size();
        print(args);
        const std::vector<std::string> w = vt::writes(f);
        ASSERT_EQ(w.size(), before + 1);
        EXPECT_EQ(w.back(), "Print");
    }
    print();
    EXPECT_EQ(vt::writes(f).back(), "Print");
    EXPECT_EQ(help_shown(), 0) << "no PostScript option";
}

TEST_F(Print, HostedAxesPrintThemselvesWithAnEmptyValue)
{
    int window = 0;
    const double h = *winaxes(&window).addr(1);
    print();
    ASSERT_FALSE(vt::writes(h).empty());
    EXPECT_EQ(vt::writes(h).back(), "Print");
    EXPECT_TRUE(vt::prop(h, "Print").empty());
}

TEST_F(FigureUtils, PrintingAFigureOfNoSizeIsRefused)
{
    // A figure 0, negative, NaN or under half a pixel wide or high has no
    // picture: print says so and leaves no file. One past 4096 pixels a
    // side is drawn at 4096.
    test::temp_dir dir;
    const std::string file = (dir.path() / "f.png").string();
    const std::vector<std::vector<double>> sizes = {{0, 100}, {100, 0}, {-5, 100}, {100, -1}, {NAN, 100},
                                                    {100, NAN}, {0.2, 100}};
    for (const std::vector<double>& wh : sizes) {
        SCOPED_TRACE(::testing::Message() << wh[0] << " x " << wh[1]);
        vt::reset();
        const double f = vizmo_create_object("Figure", -1);
        set(Mm(f), TM("Position"), test::row({0, 0, wh[0], wh[1]}));
        EXPECT_ERROR(print(test::cell_row({TM(file.c_str())})),
                     "print: the figure has no picture to write: its size must be at least 1 x 1 pixels");
        EXPECT_FALSE(std::filesystem::exists(file));
    }
    vt::reset();
    const double f = vizmo_create_object("Figure", -1);
    set(Mm(f), TM("Position"), test::row({0, 0, 5000, 3}));
    const Mm dims = size(capture(Mm(f)));
    ASSERT_GE(dims.size(), 2);
    EXPECT_EQ(*dims.addr(1), 3);
    EXPECT_EQ(*dims.addr(2), 4096);
}

TEST_F(Print, PostScriptOptionsShowTheHelpAndAFileIsWritten)
{
    test::temp_dir dir;
    struct Case {
        const char* what;
        Mm args;
        int help;
        const char* written;  // nullptr: the engine prints
    };
    const std::vector<Case> cases = {
        {"-dps and a name", test::cell_row({TM("-dps"), TM("x.bmp")}), 1, "x.bmp"},
        {"-deps", test::cell_row({TM("-deps")}), 1, nullptr},
        {"a word holding -deps", test::cell_row({TM("-x-depsy")}), 1, nullptr},
        {"a dash alone", test::cell_row({TM("-")}), 1, nullptr},
        {"a piece of -dps", test::cell_row({TM("-dp")}), 1, nullptr},
        {"other options", test::cell_row({TM("-dpng"), TM("-depth")}), 0, nullptr},
        {"two names, the last wins", test::cell_row({TM("a.bmp"), TM("b.bmp")}), 0, "b.bmp"},
        {"help twice", test::cell_row({TM("-dps"), TM("-deps"), TM("c.bmp")}), 2, "c.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        printed.clear();
        for (const char* name : {"x.bmp", "a.bmp", "b.bmp", "c.bmp"})
            std::remove(name);
        const double f = vizmo_create_object("Figure", -1);
        set(Mm(f), TM("Position"), test::row({0, 0, 6, 4}));
        print(c.args);
        EXPECT_EQ(help_shown(), c.help);
        const bool engine_printed = !vt::writes(f).empty() && vt::writes(f).back() == "Print";
        if (c.written) {
            EXPECT_FALSE(engine_printed);
            EXPECT_TRUE(std::filesystem::exists(c.written));
            const Mm back = imread(TM(c.written));
            const Mm dims = size(back);
            ASSERT_GE(dims.size(), 2);
            EXPECT_EQ(*dims.addr(1), 4) << "the figure's height";
            EXPECT_EQ(*dims.addr(2), 6) << "and width";
        } else {
            EXPECT_TRUE(engine_printed);
        }
        EXPECT_FALSE(std::filesystem::exists("a.bmp")) << "an earlier name is not written";
    }
}

// Root -> two figures; the first holds axes with two lines and a radio
// button, the second a line.
class FindObj : public FigureUtils {
protected:
    void SetUp() override
    {
        FigureUtils::SetUp();
        f1 = vizmo_create_object("Figure", -1);
        f2 = vizmo_create_object("Figure", -1);
        ax = make("Axes", f1);
        l1 = make("Line", ax);
        l2 = make("Line", ax);
        radio = make("radiobutton", f1);
        l3 = make("Line", f2);
    }
    double f1 = 0, f2 = 0, ax = 0, l1 = 0, l2 = 0, radio = 0, l3 = 0;
};

TEST_F(FindObj, WalksTheTreeBreadthFirst)
{
    // The visiting order: the start, its children, their children, ...
    std::vector<double> all;
    for (double h : {0.0, f1, f2})
        all.push_back(h);
    for (double h : vt::children(f1))
        all.push_back(h);
    for (double h : vt::children(f2))
        all.push_back(h);
    for (double h : vt::children(ax))
        all.push_back(h);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(test::values(findobj()), all) << "no pairs: every visited object matches";
    EXPECT_EQ(test::values(findall(test::cell_row({Mm(0.0)}))), all);

    const std::vector<double> lines = {l3, l1, l2};
    EXPECT_EQ(test::values(findobj(test::cell_row({TM("Type"), TM("line")}))), lines);
    EXPECT_EQ(test::values(findobj(test::cell_row({TM("Type"), TM("line"), TM("Type")}))), lines)
        << "a trailing lone name is ignored";
    EXPECT_EQ(test::values(findobj(test::cell_row({Mm(ax), TM("Type"), TM("line")}))), (std::vector<double>{l1, l2}));
    EXPECT_EQ(test::values(findobj(test::cell_row({Mm(f1), TM("Parent"), Mm(ax)}))), (std::vector<double>{l1, l2}))
        << "a numeric value is compared with isequal";

    const Mm none = findobj(test::cell_row({TM("Type"), TM("surface")}));
    EXPECT_EQ(none.size(), 0);
}

TEST_F(FindObj, FlatTestsOnlyTheGivenHandles)
{
    const Mm start = test::row({f1, l1, l3});
    EXPECT_EQ(test::values(findobj(test::cell_row({start, TM("FLAT"), TM("Type"), TM("line")}))),
              (std::vector<double>{l1, l3}));
    EXPECT_EQ(test::values(findobj(test::cell_row({start, TM("flat")}))), (std::vector<double>{f1, l1, l3}));
}

TEST_F(FindObj, EveryPairMustMatch)
{
    set(Mm(l2), pn_Tag, TM("mark"));
    set(Mm(l3), pn_Tag, TM("mark"));
    EXPECT_EQ(test::values(findobj(test::cell_row({TM("Tag"), TM("mark"), TM("Parent"), Mm(ax)}))),
              (std::vector<double>{l2}));
    EXPECT_EQ(test::values(findobj(test::cell_row({TM("Parent"), Mm(ax), TM("Tag"), TM("mark")}))),
              (std::vector<double>{l2}));
}

TEST_F(FindObj, StyleComparesOverTheObjectsOwnLength)
{
    struct Case {
        const char* value;
        bool found;
    };
    const std::vector<Case> cases = {
        {"radiobutton", true},
        {"radiobuttonish", true},  // goes on past the object's style
        {"radio", false},          // only the start of it
        {"checkbox", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        for (const char* name : {"Style", "style"}) {
            const Mm found = findobj(test::cell_row({TM(name), TM(c.value)}));
            EXPECT_EQ(test::values(found), c.found ? std::vector<double>{radio} : std::vector<double>{});
        }
    }
    EXPECT_EQ(findobj(test::cell_row({TM("Type"), TM("uicontrolx")})).size(), 0)
        << "other names need the whole value";
}

TEST_F(FindObj, SetStatusWritesTheTaggedObject)
{
    const double status = make("text", f1);
    set(Mm(status), pn_Tag, TM("Status"));
    figure(test::cell_row({Mm(f1)}));  // f1 current
    setstatus(TM("ready"));
    EXPECT_EQ(vt::prop(status, "String").text(), "ready");
    setstatus(Mm(f1), TM("done"));
    EXPECT_EQ(vt::prop(status, "String").text(), "done");

    std::vector<std::vector<std::string>> before;
    for (double h : {f2, l3})
        before.push_back(vt::writes(h));
    setstatus(Mm(f2), TM("nobody"));
    EXPECT_EQ(vt::writes(f2), before[0]);
    EXPECT_EQ(vt::writes(l3), before[1]);
}

TEST_F(FindObj, AllChildAndFindFigs)
{
    EXPECT_EQ(test::values(allchild(Mm(ax))), (std::vector<double>{l1, l2}));
    findfigs();
    EXPECT_EQ(values_of(f1, "MoveIntoScreen"), (std::vector<double>{1}));
    EXPECT_EQ(values_of(f2, "MoveIntoScreen"), (std::vector<double>{1}));
    EXPECT_TRUE(vt::prop(ax, "MoveIntoScreen").empty());
}

} // namespace
