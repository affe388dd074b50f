// File, colour and font choosers, the modal wait, the busy pointer and the
// menu helpers, against the headless engine's script.
#include "gui_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
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

vizmo::test::Dialog last_dialog()
{
    const auto all = vizmo::test::dialogs();
    return all.empty() ? vizmo::test::Dialog{} : all.back();
}

bool is_zero(const Mm& x) { return !x.isstr() && x.size() == 1 && x.r() == 0; }

TEST_F(Gui, FileChoosersReturnTheNameOrZero)
{
    vizmo::test::answer_file("data.txt", "/tmp/d");
    EXPECT_EQ(test::text_of(uigetfile(text("*.txt"), text("Open it"))), "data.txt");
    EXPECT_EQ(last_dialog().kind, "open_file");
    EXPECT_EQ(last_dialog().title, "Open it");
    EXPECT_EQ(last_dialog().text, "*.txt");

    vizmo::test::cancel_file();
    EXPECT_TRUE(is_zero(uigetfile()));

    vizmo::test::answer_file("x.dat", "");
    EXPECT_EQ(test::text_of(uiputfile(text("*.dat"), text("Save"), Mm(1.0), Mm(2.0))), "x.dat");
    EXPECT_EQ(last_dialog().kind, "save_file");
}

TEST_F(Gui, FileChooserOutputsAreEachZeroWhenEmpty)
{
    struct Case {
        const char* what;
        bool save;
        std::string file, path;
    };
    const std::vector<Case> cases = {
        {"chosen", false, "a.m", "/home/u"},
        {"a name without a directory", false, "a.m", ""},
        {"cancelled", false, "", ""},
        {"saved", true, "b.m", "/srv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.file.empty())
            vizmo::test::cancel_file();
        else
            vizmo::test::answer_file(c.file, c.path);
        Mm file, path;
        const Mm r = c.save ? uiputfile(text("*.m"), text("T"), i_o, file, path)
                            : uigetfile(text("*.m"), text("T"), i_o, file, path);
        EXPECT_EQ(r.size(), 0);
        EXPECT_EQ(last_dialog().kind, c.save ? "save_file" : "open_file");
        if (c.file.empty())
            EXPECT_TRUE(is_zero(file));
        else
            EXPECT_EQ(test::text_of(file), c.file);
        if (c.path.empty())
            EXPECT_TRUE(is_zero(path));
        else
            EXPECT_EQ(test::text_of(path), c.path);
    }
}

TEST_F(Gui, EveryFileChooserOverloadShowsItsDialog)
{
    Mm f, p;
    const Mm flt = text("*.q"), ttl = text("Q"), x = Mm(1.0);
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"()", [&] { uigetfile(); }},
        {"(filter)", [&] { uigetfile(flt); }},
        {"(filter, title, x)", [&] { uigetfile(flt, ttl, x); }},
        {"(i_o)", [&] { uigetfile(i_o, f, p); }},
        {"(filter, i_o)", [&] { uigetfile(flt, i_o, f, p); }},
        {"(filter, title, x, i_o)", [&] { uigetfile(flt, ttl, x, i_o, f, p); }},
        {"(filter, title, x, y, i_o)", [&] { uigetfile(flt, ttl, x, x, i_o, f, p); }},
        {"put ()", [&] { uiputfile(); }},
        {"put (filter)", [&] { uiputfile(flt); }},
        {"put (filter, title)", [&] { uiputfile(flt, ttl); }},
        {"put (filter, title, x)", [&] { uiputfile(flt, ttl, x); }},
        {"put (i_o)", [&] { uiputfile(i_o, f, p); }},
        {"put (filter, i_o)", [&] { uiputfile(flt, i_o, f, p); }},
        {"put (filter, title, i_o)", [&] { uiputfile(flt, ttl, i_o, f, p); }},
        {"put (filter, title, x, i_o)", [&] { uiputfile(flt, ttl, x, i_o, f, p); }},
        {"put (filter, title, x, y, i_o)", [&] { uiputfile(flt, ttl, x, x, i_o, f, p); }},
    };
    for (const auto& [what, call] : calls) {
        SCOPED_TRACE(what);
        const std::size_t before = vizmo::test::dialogs().size();
        call();
        ASSERT_EQ(vizmo::test::dialogs().size(), before + 1);
        const std::string w = what;
        EXPECT_EQ(last_dialog().kind, w.rfind("put", 0) == 0 ? "save_file" : "open_file");
        EXPECT_EQ(last_dialog().text, w.find("filter") != std::string::npos ? "*.q" : "");
        EXPECT_EQ(last_dialog().title, w.find("title") != std::string::npos ? "Q" : "");
    }
}

TEST_F(Gui, ColourChooserPacksAndUnpacks)
{
    struct Case {
        const char* what;
        Mm colour;
        int offered;
        int answer;
        std::vector<double> result;
    };
    const std::vector<Case> cases = {
        {"red", row({1, 0, 0}), 255, 255, {1, 0, 0}},
        {"grey rounds up", row({0.5, 0.5, 0.5}), 8421504, 65280, {0, 1, 0}},
        {"a column", test::real(3, 1, {0, 0, 1}), 16711680, 0x102030, {0x30 / 255.0, 0x20 / 255.0, 0x10 / 255.0}},
        {"cancelled gives the colour back", row({0.25, 0.5, 0.75}), 64 + 256 * 128 + 65536 * 192, -1,
         {0.25, 0.5, 0.75}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vizmo::test::answer_color(c.answer);
        const Mm r = uisetcolor(c.colour);
        EXPECT_EQ(last_dialog().kind, "color");
        EXPECT_EQ(last_dialog().number, c.offered);
        EXPECT_EQ(test::extents(r), (std::vector<int>{1, 3}));
        EXPECT_EQ(test::values(r), c.result);
    }
}

TEST_F(Gui, ColourChooserOnAHandle)
{
    const double f = figure().r();
    const std::vector<double> before = prop_values(f, "Color");
    vizmo::test::answer_color(-1);
    EXPECT_EQ(test::values(uisetcolor(Mm(f))), before);
    EXPECT_EQ(last_dialog().number, -1);
    EXPECT_EQ(prop_values(f, "Color"), before) << "a cancelled choice writes nothing";

    vizmo::test::answer_color(255 + 65536 * 255);
    EXPECT_EQ(test::values(uisetcolor(Mm(f), text("ignored"))), (std::vector<double>{1, 0, 1}));
    EXPECT_EQ(prop_values(f, "Color"), (std::vector<double>{1, 0, 1}));
}

TEST_F(Gui, ChooserArgumentErrors)
{
    EXPECT_ERROR(uisetcolor(row({1, 2})), "uisetcolor(h) - h must be a handle or rgb color");
    EXPECT_ERROR(uisetcolor(row({})), "uisetcolor(h) - h must be a handle or rgb color");
    EXPECT_ERROR(uisetfont(row({1, 2})), "uisetfont(h) - h must be a 1xhandle or title");
    EXPECT_TRUE(vizmo::test::dialogs().empty());
}

TEST_F(Gui, FontChooserOnATitleMakesATextControl)
{
    const double h = uisetfont(text("Pick a font")).r();
    EXPECT_EQ(prop_text(h, "Style"), "text");
    EXPECT_EQ(prop_text(h, "String"), "text");
    const strings writes = vizmo::test::writes(h);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back(), "SetFont");
}

TEST_F(Gui, UiwaitEndsOnResumeCloseOrAnEmptyScript)
{
    const double f = figure().r();
    const double button = uicontrol(cell_row({text("Callback"), text("resume")})).r();

    vizmo::test::push_callback(button);
    vizmo::test::push_mouse(f, 0, 0, 1);  // left for after the wait
    std::size_t mark = vizmo::test::mark();
    uiwait(Mm(f));
    EXPECT_EQ(gui_test::ran(), strings{"resume"});
    EXPECT_EQ(vizmo::test::pending_events(), 1u) << "the wait ended at the resume";
    strings log = vizmo::test::since(mark);
    EXPECT_NE(std::find(log.begin(), log.end(), "wait-end resume"), log.end());

    checkforbuttonpress();
    ASSERT_EQ(vizmo::test::pending_events(), 0u);
    mark = vizmo::test::mark();
    uiwait();
    log = vizmo::test::since(mark);
    EXPECT_NE(std::find(log.begin(), log.end(), "wait-end exhausted"), log.end());

    vizmo::test::push_close(f);
    mark = vizmo::test::mark();
    uiwait(Mm(f));
    log = vizmo::test::since(mark);
    EXPECT_NE(std::find(log.begin(), log.end(), "wait-end close"), log.end());
    EXPECT_FALSE(vizmo::test::exists(f));
}

TEST_F(Gui, WatchPointer)
{
    const Mm none = watchon();
    EXPECT_TRUE(std::isnan(none.r()));
    EXPECT_LT(vizmo_current_figure(), 0) << "no figure is made";
    const std::size_t mark = vizmo::test::mark();
    watchoff(none);
    watchon(none);
    EXPECT_TRUE(vizmo::test::since(mark).empty());

    const double f = figure().r();
    EXPECT_EQ(watchon().r(), f);
    EXPECT_EQ(prop_text(f, "Pointer"), "watch");
    watchoff();
    EXPECT_EQ(prop_text(f, "Pointer"), "arrow");
    watchon(Mm(f));
    EXPECT_EQ(prop_text(f, "Pointer"), "watch");
    watchoff(Mm(f));
    EXPECT_EQ(prop_text(f, "Pointer"), "arrow");
}

TEST_F(Gui, MenuItemHelpers)
{
    const double m = uimenu(cell_row({text("Label"), text("Edit")})).r();
    EXPECT_EQ(test::text_of(popupstr(Mm(m))), "Edit");
    struct Case {
        const char* checked;
        const char* next;
    };
    for (const Case& c : std::vector<Case>{{"on", "off"}, {"off", "on"}, {"", "on"}, {"ON", "on"}}) {
        SCOPED_TRACE(c.checked);
        gui_test::write_text(m, "Checked", c.checked);
        EXPECT_EQ(test::text_of(umtoggle(Mm(m))), c.next);
        EXPECT_EQ(prop_text(m, "Checked"), c.next);
    }
}

} // namespace
