// Controls, menus and context menus against the headless engine: the type
// each asks for, its parent, the order of its property writes and the
// callback that runs at creation.
#include "../graphics/picture.hpp"
#include "gui_fixture.hpp"
#include "temp_dir.hpp"

#include <string>
#include <vector>

namespace {

using gui_test::Gui;
using gui_test::prop_text;
using gui_test::prop_values;
using test::cell_row;
using test::row;
using test::text;
using strings = std::vector<std::string>;

TEST_F(Gui, UicontrolWithoutArgumentsIsAVisiblePushbuttonInANewFigure)
{
    ASSERT_LT(vizmo_current_figure(), 0);
    const double h = uicontrol().r();
    const double fig = vizmo_current_figure();
    ASSERT_GT(fig, 0) << "a figure is made for the control";
    EXPECT_EQ(prop_text(h, "Style"), "pushbutton");
    EXPECT_EQ(vizmo::test::parent(h), fig);
    EXPECT_EQ(prop_text(h, "Visible"), "on");
    EXPECT_EQ(prop_values(h, "BackgroundColor"), prop_values(0, "DefaultUIcontrolBackgroundColor"));
    EXPECT_EQ(prop_values(h, "ForegroundColor"), prop_values(0, "DefaultUIControlForegroundColor"));
}

TEST_F(Gui, AControlMadeWithoutAPlaceIsDrawnWhereTheEngineChose)
{
    const double fig = figure().r();
    set(Mm(fig), TM("Position"), row({100, 100, 300, 200}));
    const double h = uicontrol(cell_row({text("Style"), text("pushbutton"), text("String"), text("Press me")})).r();
    const std::vector<double> pos = prop_values(h, "Position");
    ASSERT_EQ(pos.size(), 4u);
    EXPECT_GT(pos[2], 0) << "a width";
    EXPECT_GT(pos[3], 0) << "a height";
    if (!vizmo::test::has_renderer())
        return;
    // Its box, in pixels from the bottom left of the figure, is not the
    // figure's colour: the button's border and its label are there.
    const test::Picture p = test::Picture::of(fig);
    ASSERT_EQ(p.rows, 200);
    int marked = 0;
    for (int i = 200 - static_cast<int>(pos[1] + pos[3]); i < 200 - pos[1]; ++i)
        for (int j = static_cast<int>(pos[0]); j < pos[0] + pos[2]; ++j)
            marked += test::dark(p.at(i, j));
    EXPECT_GT(marked, 20);
}

// The texts of a figure's SVG picture, read through a static text of the
// alphabet drawn at the controls' font size.
std::vector<test::SvgText> texts_of(double fig)
{
    const test::temp_dir dir;
    const char* const key = "abcdefghijklmnopqrstuvwxyz";
    uicontrol(cell_row({text("Style"), text("text"), text("String"), text(key), text("Position"),
                        row({10, 5, 380, 25})}));
    const std::string file = (dir.path() / "picture.svg").string();
    EXPECT_TRUE(vizmo::test::render_svg(fig, file));
    return test::svg_texts(dir.read("picture.svg"), key);
}

TEST_F(Gui, ListControlsShowEachItemWhole)
{
    if (!vizmo::test::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Each way of giving two items, in each control that shows them: the
    // items are read from the SVG picture, never a column-by-column mix.
    struct Form {
        const char* what;
        Mm items;
    };
    const std::vector<Form> forms = {
        {"a cell of texts", cell_row({text("one"), text("two")})},
        {"a character matrix", strvcat(text("one"), text("two"))},
        {"items between bars", text("one|two")},
    };
    struct Shown {
        const char* style;
        double height;
        double value;
        strings texts;
    };
    const std::vector<Shown> shown = {
        {"popupmenu", 25, 0, {"one"}},
        {"popupmenu", 25, 2, {"two"}},
        {"listbox", 100, 0, {"one", "two"}},
        {"listbox", 100, 2, {"one", "two"}},
        {"text", 60, 0, {"one", "two"}},
    };
    for (const Form& f : forms)
        for (const Shown& c : shown) {
            SCOPED_TRACE(std::string(f.what) + ", " + c.style + " with Value " + std::to_string(c.value));
            vizmo::test::reset();
            const double fig = figure().r();
            set(Mm(fig), TM("Position"), row({100, 100, 400, 300}));
            uicontrol(cell_row({text("Style"), text(c.style), text("String"), f.items, text("Value"), Mm(c.value),
                                text("Position"), row({20, 150, 120, c.height})}));
            // The key lies along the bottom, below the control.
            const std::vector<test::SvgText> all = texts_of(fig);
            strings got;
            for (const test::SvgText& t : all)
                if (t.y < 280)
                    got.push_back(t.text);
            EXPECT_EQ(got, c.texts);
        }
}

TEST_F(Gui, ListBoxesMarkEveryChosenItemAndScrollToTheFirst)
{
    if (!vizmo::test::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Ten items a..j in a box of six whole rows of 16 pixels. The items
    // shown are read from the SVG picture, the marked ones from the
    // captured picture: the highlight lies under each marked item's text.
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, Mm>> props;
        strings shown, marked;
    };
    const strings first_six = {"a", "b", "c", "d", "e", "f"};
    const std::vector<Case> cases = {
        {"Value 1", {{"Value", Mm(1.0)}}, first_six, {"a"}},
        {"Max 2, Value [1 3]", {{"Max", Mm(2.0)}, {"Value", row({1, 3})}}, first_six, {"a", "c"}},
        {"Max 2, Value [3 5 6]", {{"Max", Mm(2.0)}, {"Value", row({3, 5, 6})}}, first_six, {"c", "e", "f"}},
        {"Value 9: scrolled to show it", {{"Value", Mm(9.0)}}, {"d", "e", "f", "g", "h", "i"}, {"i"}},
        {"Value [8 10]", {{"Max", Mm(2.0)}, {"Value", row({10, 8})}}, {"c", "d", "e", "f", "g", "h"}, {"h"}},
        {"ListboxTop 3", {{"ListboxTop", Mm(3.0)}, {"Value", Mm(4.0)}}, {"c", "d", "e", "f", "g", "h"}, {"d"}},
        {"Value NaN", {{"Value", Mm(NAN)}}, first_six, {}},
        {"Value Inf", {{"Value", Mm(INFINITY)}}, first_six, {}},
        {"Value 0", {{"Value", Mm(0.0)}}, first_six, {}},
        {"Value 11", {{"Value", Mm(11.0)}}, first_six, {}},
        {"ListboxTop NaN", {{"ListboxTop", Mm(NAN)}, {"Value", Mm(2.0)}}, first_six, {"b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vizmo::test::reset();
        const double fig = figure().r();
        set(Mm(fig), TM("Position"), row({100, 100, 400, 300}));
        const double h = uicontrol(cell_row({text("Style"), text("listbox"), text("String"),
                                             text("a|b|c|d|e|f|g|h|i|j"), text("Position"),
                                             row({20, 150, 120, 98})}))
                             .r();
        for (const auto& [name, value] : c.props)
            set(Mm(h), TM(name), value);
        const test::Picture p = test::Picture::of(fig);
        ASSERT_EQ(p.rows, 300);
        strings shown, marked;
        for (const test::SvgText& t : texts_of(fig)) {
            if (t.y >= 280)
                continue;  // the key
            shown.push_back(t.text);
            const test::Rgb under = p.at(static_cast<int>(t.y) - 4, 23);
            if (under.b > 0.7 && under.r < 0.3)
                marked.push_back(t.text);
        }
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(marked, c.marked);
    }
}

TEST_F(Gui, UicontrolWritesItsPropertiesInOrder)
{
    const double f = figure().r();
    const double other = figure().r();
    struct Case {
        const char* what;
        Mm args;
        const char* style;
        double parent;
        strings writes;
    };
    const std::vector<Case> cases = {
        {"no arguments", cell_row({}), "pushbutton", other,
         {"Visible", "Parent", "BackgroundColor", "ForegroundColor", "Visible", "CreateFcn", "DeleteFcn"}},
        {"a leading parent", cell_row({Mm(f), text("Style"), text("edit")}), "edit", f,
         {"Visible", "Parent", "BackgroundColor", "ForegroundColor", "Style", "Visible", "CreateFcn", "DeleteFcn"}},
        {"units before the caller's position",
         cell_row({text("Units"), text("normalized"), text("Position"), row({0.1, 0.1, 0.5, 0.2})}), "pushbutton",
         other,
         {"Visible", "Parent", "Units", "BackgroundColor", "ForegroundColor", "Units", "Position", "Visible",
          "CreateFcn", "DeleteFcn"}},
        {"a parent pair", cell_row({text("Parent"), Mm(f), text("Style"), text("text")}), "text", f,
         {"Visible", "Parent", "BackgroundColor", "ForegroundColor", "Parent", "Style", "Visible", "CreateFcn",
          "DeleteFcn"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double h = uicontrol(c.args).r();
        EXPECT_EQ(prop_text(h, "Style"), c.style);
        EXPECT_EQ(vizmo::test::parent(h), c.parent);
        EXPECT_EQ(vizmo::test::writes(h), c.writes);
        EXPECT_EQ(prop_text(h, "Visible"), "on");
    }
}

TEST_F(Gui, UicontrolKeepsACallersInvisibility)
{
    const double h = uicontrol(cell_row({text("Visible"), text("off"), text("String"), text("x")})).r();
    EXPECT_EQ(prop_text(h, "Visible"), "off");
    EXPECT_EQ(prop_text(h, "String"), "x");
}

TEST_F(Gui, AnUnknownStyleIsRefusedWithNothingWritten)
{
    figure();
    struct Case {
        const char* what;
        Mm (*make)(const Mm&);
        const char* message;
    };
    const std::vector<Case> cases = {
        {"uicontrol", uicontrol, "uicontrol: unknown object style"},
        {"hwcontrol", hwcontrol, "hwcontrol: unknown object style"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t mark = vizmo::test::mark();
        EXPECT_ERROR(c.make(cell_row({text("Style"), text("nosuchstyle")})), c.message);
        // Only gcf's own bookkeeping may come before the refusal; nothing after it.
        const strings log = vizmo::test::since(mark);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "create refused nosuchstyle");
        EXPECT_LE(log.size(), 2u);
    }
}

TEST_F(Gui, AStyleTooLongForItsBufferReachesTheEngineEmpty)
{
    figure();
    const std::size_t mark = vizmo::test::mark();
    test::clear_printed();
    EXPECT_ERROR(uicontrol(cell_row({text("Style"), text(std::string(100, 'p').c_str())})),
                 "uicontrol: unknown object style");
    const strings log = vizmo::test::since(mark);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "create refused ");
    EXPECT_NE(test::printed().find("Mstr: buffer too small - chopped"), std::string::npos);
}

TEST_F(Gui, TheRootsCreateFcnReplacesTheCallersAndRuns)
{
    gui_test::write_text(0, "DefaultUicontrolCreateFcn", "from_root");
    gui_test::write_text(0, "DefaultUicontrolDeleteFcn", "root_delete");
    const double h = uicontrol(cell_row({text("CreateFcn"), text("mine")})).r();
    EXPECT_EQ(prop_text(h, "CreateFcn"), "from_root");
    EXPECT_EQ(prop_text(h, "DeleteFcn"), "root_delete");
    EXPECT_EQ(gui_test::ran(), strings{"from_root"});
}

TEST_F(Gui, HwcontrolIsNeverHiddenAndGetsNoColours)
{
    const double f = figure().r();
    gui_test::write_text(0, "DefaultHwcontrolCreateFcn", "hw_created");
    const double h = hwcontrol(cell_row({text("Tag"), text("port")})).r();
    EXPECT_EQ(prop_text(h, "Style"), "comport");
    EXPECT_EQ(vizmo::test::parent(h), f);
    EXPECT_EQ(vizmo::test::writes(h), (strings{"Parent", "Tag", "CreateFcn", "DeleteFcn"}));
    EXPECT_EQ(gui_test::ran(), strings{"hw_created"});
}

TEST_F(Gui, MenusAttachToTheCurrentFigureOrTheNamedParent)
{
    gui_test::write_text(0, "DefaultUimenuCreateFcn", "menu_made");
    const double m = uimenu(cell_row({text("Label"), text("File")})).r();
    const double fig = vizmo_current_figure();
    ASSERT_GT(fig, 0);
    EXPECT_EQ(vizmo::test::parent(m), fig);
    EXPECT_EQ(prop_text(m, "Label"), "File");
    const double item = uimenu(cell_row({Mm(m), text("Label"), text("Open")})).r();
    EXPECT_EQ(vizmo::test::parent(item), m);
    EXPECT_EQ(prop_text(item, "Label"), "Open");
    const double named = uimenu(cell_row({text("Parent"), Mm(m), text("Label"), text("Save")})).r();
    EXPECT_EQ(vizmo::test::parent(named), m);
    EXPECT_EQ(vizmo::test::writes(named), (strings{"Parent", "Label", "CreateFcn", "DeleteFcn"}))
        << "a named parent is written once, with the pairs";
    EXPECT_EQ(gui_test::ran(), (strings{"menu_made", "menu_made", "menu_made"}));
}

TEST_F(Gui, AContextMenuHasNoParentUnlessNamed)
{
    const double loose = uicontextmenu().r();
    EXPECT_EQ(vizmo::test::type(loose).empty(), false);
    EXPECT_LT(vizmo_current_figure(), 0) << "no figure is made";
    EXPECT_EQ(vizmo::test::writes(loose), (strings{"CreateFcn", "DeleteFcn"}));
    const double f = figure().r();
    const double owned = uicontextmenu(cell_row({text("Parent"), Mm(f)})).r();
    EXPECT_EQ(vizmo::test::parent(owned), f);
}

TEST_F(Gui, MakemenuPrintsItsNoteAndFails)
{
    test::clear_printed();
    EXPECT_ERROR(makemenu(cell_row({text("x")})), "makemenu: command not supported");
    const std::string note = "makemenu is not supported in QUIDAR/VORSEN.\n"
                             "The correct way to create menus is to use the uimenu()\n"
                             "command (the makemenu command will indeed create the menus but the\n"
                             "callbacks will not be recognized by QUIDAR and VORSEN during compile\n"
                             "time and thus will eval at run-time).\n"
                             "\n"
                             "The following is a simple example of creating menus using uimenu, and\n"
                             "displaying the right string after clicking them:\n"
                             "\n"
                             "m1=uimenu('label','menu1');\n"
                             "m11=uimenu(m1,'label','menu11','callback','disp(''menu11'')');\n"
                             "m12=uimenu(m1,'label','menu12','callback','disp(''menu12'')');\n"
                             "m2=uimenu('label','menu2','callback','disp(''menu2'')');\n"
                             "\n";
    EXPECT_EQ(test::printed().substr(0, note.size()), note);
}

} // namespace
