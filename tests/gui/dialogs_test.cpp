// Modal dialogs answered by the headless engine's script: what each dialog
// shows, what its answer becomes, its argument errors, and the bounds of
// its text buffers.
#include "gui_fixture.hpp"
#include "graphics/property_names.hpp"
#include "temp_dir.hpp"

#include <fstream>

#include <string>
#include <vector>

namespace {

using gui_test::Gui;
using test::cell_of;
using test::cell_row;
using test::row;
using test::text;
using strings = std::vector<std::string>;

const std::string chopped = "Mstr: buffer too small - chopped";

vizmo::test::Dialog last_dialog()
{
    const auto all = vizmo::test::dialogs();
    return all.empty() ? vizmo::test::Dialog{} : all.back();
}

TEST_F(Gui, MessageBoxesShowTextTitleAndIcon)
{
    struct Case {
        const char* what;
        Mm (*box)(const Mm&);
        Mm args;
        std::string text, title, icon;
    };
    const std::vector<Case> cases = {
        {"one string", msgbox, cell_row({text("hi")}), "hi", "", ""},
        {"cell lines keep their padding", msgbox,
         cell_row({cell_row({text("ab"), text("c")}), text("T"), text("warn")}), "ab\nc ", "T", "warn"},
        {"errordlg", errordlg, cell_row({text("bad")}), "bad", "", "error"},
        {"helpdlg with a title", helpdlg, cell_row({text("use it"), text("Help")}), "use it", "Help", "help"},
        {"warndlg ignores a third argument", warndlg, cell_row({text("w"), text("W"), text("custom")}), "w", "W",
         "warn"},
    };
    int answer = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vizmo::test::answer_message(++answer);
        EXPECT_EQ(c.box(c.args).r(), answer);
        const vizmo::test::Dialog d = last_dialog();
        EXPECT_EQ(d.kind, "message");
        EXPECT_EQ(d.text, c.text);
        EXPECT_EQ(d.title, c.title);
        EXPECT_EQ(d.items, strings{c.icon});
    }
}

TEST_F(Gui, MessageBoxArgumentErrors)
{
    struct Case {
        const char* what;
        Mm (*box)(const Mm&);
        Mm args;
        const char* message;
    };
    const Mm four = cell_row({text("a"), text("b"), text("c"), text("d")});
    const std::vector<Case> cases = {
        {"msgbox()", msgbox, cell_row({}), "msgbox should have at least one parameter"},
        {"errordlg of four", errordlg, four, "errordlg should have 1..3 parameter"},
        {"helpdlg of four", helpdlg, four, "helpdlg should have 1..3 parameter"},
        {"warndlg of four", warndlg, four, "warndlg should have 1..3 parameter"},
        {"errordlg()", errordlg, cell_row({}), "errordlg should have 1..3 parameter"},
        {"questdlg()", questdlg, cell_row({}), "questdlg should have at least one parameter"},
        {"inputdlg()", inputdlg, cell_row({}), "inputdlg must be called with at least one parameter"},
        {"menu(t)", menu, cell_row({text("t")}), "menu should have at least two items"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.box(c.args), c.message);
    }
    EXPECT_TRUE(vizmo::test::dialogs().empty());
}

TEST_F(Gui, MessageTextsAreBoundedByWholeLines)
{
    const std::string long_line(300, 'x');
    const std::string line99(99, 'y');
    struct Case {
        const char* what;
        Mm msg;
        std::string shown;
        bool warned;
    };
    // 60 rows of 99 characters: 50 whole rows and their newlines fit in 4999 bytes.
    std::vector<Mm> rows60(60, text(line99.c_str()));
    std::string fifty;
    for (int k = 0; k < 50; ++k)
        fifty += (k ? "\n" : "") + line99;
    const std::vector<Case> cases = {
        {"a line of 255 fits", text(std::string(255, 'z').c_str()), std::string(255, 'z'), false},
        {"a line of 300 arrives empty", text(long_line.c_str()), "", true},
        {"a 6000-byte text ends at its last whole line", cell_row(rows60), fifty, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::clear_printed();
        msgbox(cell_row({c.msg}));
        const std::string shown = last_dialog().text;
        EXPECT_EQ(shown, c.shown);
        EXPECT_LE(shown.size(), 4999u);
        EXPECT_EQ(test::printed().find(chopped) != std::string::npos, c.warned);
    }
}

TEST_F(Gui, TitlesAndIconsThatDoNotFitArriveEmpty)
{
    test::clear_printed();
    msgbox(cell_row({text("m"), text(std::string(256, 't').c_str()), text("warn")}));
    EXPECT_EQ(last_dialog().title, "");
    EXPECT_EQ(last_dialog().items, strings{"warn"});
    EXPECT_NE(test::printed().find(chopped), std::string::npos);
    test::clear_printed();
    msgbox(cell_row({text("m"), text(std::string(255, 't').c_str())}));
    EXPECT_EQ(last_dialog().title, std::string(255, 't'));
    EXPECT_EQ(test::printed().find(chopped), std::string::npos);
}

TEST_F(Gui, QuestionsOfferButtonsAndADefault)
{
    struct Case {
        const char* what;
        Mm args;
        strings buttons;
        int dflt;
        int choice;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"the question alone", cell_row({text("q")}), {"Yes", "No", "Cancel"}, 0, 2, "Cancel"},
        {"a default among the standard buttons", cell_row({text("q"), text("t"), text("No")}),
         {"Yes", "No", "Cancel"}, 1, 0, "Yes"},
        {"buttons of the caller", cell_row({text("q"), text("t"), text("b1"), text("b2"), text("b2")}),
         {"b1", "b2"}, 1, 1, "b2"},
        {"a default naming no button", cell_row({text("q"), text("t"), text("b1"), text("b2"), text("zz")}),
         {"b1", "b2"}, 0, 0, "b1"},
        {"the last matching button wins", cell_row({text("q"), text("t"), text("s"), text("s"), text("s")}),
         {"s", "s"}, 1, 1, "s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vizmo::test::answer_question(c.choice);
        EXPECT_EQ(test::text_of(questdlg(c.args)), c.answer);
        const vizmo::test::Dialog d = last_dialog();
        EXPECT_EQ(d.kind, "question");
        EXPECT_EQ(d.text, "q");
        EXPECT_EQ(d.items, c.buttons);
        EXPECT_EQ(d.number, c.dflt);
    }
}

TEST_F(Gui, QuestionsKeepAtMost256Buttons)
{
    std::vector<Mm> args{text("q"), text("t")};
    for (int k = 1; k <= 300; ++k)
        args.push_back(text(("b" + std::to_string(k)).c_str()));
    args.push_back(text("b280"));
    test::clear_printed();
    vizmo::test::answer_question(255);
    EXPECT_EQ(test::text_of(questdlg(cell_row(args))), "b256");
    const vizmo::test::Dialog d = last_dialog();
    ASSERT_EQ(d.items.size(), 256u);
    EXPECT_EQ(d.items.back(), "b256");
    EXPECT_EQ(d.number, 0) << "a default among the dropped buttons is not offered";
    EXPECT_NE(test::printed().find(chopped), std::string::npos);
}

TEST_F(Gui, AnAnswerOutsideTheButtonsIsAnIndexingError)
{
    vizmo::test::answer_question(7);
    EXPECT_NE(test::error_of([] { questdlg(cell_row({text("q")})); }), "");
}

TEST_F(Gui, InputDialogsAskForFieldsAndReturnTheAnswers)
{
    const Mm args = cell_row({cell_row({text("a"), text("b")}), text("T"), row({3.7, 1})});
    vizmo::test::answer_input({"one", "two"});
    const Mm confirmed = inputdlg(args);
    const vizmo::test::Dialog d = last_dialog();
    EXPECT_EQ(d.kind, "input");
    EXPECT_EQ(d.title, "T");
    EXPECT_EQ(d.items, (strings{"a", "b"}));
    EXPECT_EQ(d.line_counts, (std::vector<int>{3, 1}));
    EXPECT_EQ(d.defaults, (strings{"", ""}));
    ASSERT_EQ(test::extents(confirmed), (std::vector<int>{1, 2}));
    EXPECT_EQ(test::text_of(confirmed.mr(1)), "one");
    EXPECT_EQ(test::text_of(confirmed.mr(2)), "two");

    vizmo::test::cancel_input();
    const Mm cancelled = inputdlg(args);
    EXPECT_EQ(cancelled.gettype(), qv_cell);
    EXPECT_EQ(test::extents(cancelled), (std::vector<int>{0, 0}));
}

TEST_F(Gui, InputDialogDefaultsAndTheFieldLimit)
{
    vizmo::test::answer_input({});
    const Mm kept = inputdlg(cell_row({text("p"), text("T"), row({}), cell_row({text("dflt")})}));
    EXPECT_EQ(last_dialog().line_counts, std::vector<int>{1});
    EXPECT_EQ(last_dialog().defaults, strings{"dflt"});
    EXPECT_EQ(test::text_of(kept.mr(1)), "dflt");

    std::vector<Mm> prompts;
    for (int k = 0; k < 150; ++k)
        prompts.push_back(text(("p" + std::to_string(k)).c_str()));
    const Mm answers = inputdlg(cell_row({cell_row(prompts)}));
    EXPECT_EQ(last_dialog().number, 100);
    EXPECT_EQ(last_dialog().items.size(), 100u);
    EXPECT_EQ(last_dialog().items.back(), "p99");
    EXPECT_EQ(test::extents(answers), (std::vector<int>{1, 100}));
}

TEST_F(Gui, MenuSendsTheTitleAndItsChoices)
{
    vizmo::test::answer_menu(2);
    EXPECT_EQ(menu(cell_row({text("t"), cell_row({text("c1"), text("c2")})})).r(), 2);
    const vizmo::test::Dialog listed = last_dialog();
    vizmo::test::answer_menu(1);
    EXPECT_EQ(menu(cell_row({text("t"), text("c1"), text("c2")})).r(), 1);
    const vizmo::test::Dialog spread = last_dialog();
    for (const vizmo::test::Dialog& d : {listed, spread}) {
        EXPECT_EQ(d.kind, "menu");
        EXPECT_EQ(d.title, "t");
        EXPECT_EQ(d.items, (strings{"c1", "c2"}));
    }
}

TEST_F(Gui, PrintdlgAsksTheFigureToPrint)
{
    const double f = figure().r();
    EXPECT_EQ(printdlg(cell_row({text("-v")})).size(), 0);
    EXPECT_EQ(gui_test::prop_values(f, "Print"), std::vector<double>{1});
    EXPECT_TRUE(vizmo::test::dialogs().empty());

    // While axes are hosted in a host's window, they print.
    const double hosted = vizmo_create_object("Axes", -1);
    hosted_axes = Mm(hosted);
    printdlg(cell_row({}));
    hosted_axes = Mm();
    EXPECT_EQ(gui_test::prop_values(hosted, "Print"), std::vector<double>{1});
}

TEST_F(Gui, HelpWindowForms)
{
    const Mm table = cell_of(2, 2, {text("plot"), text("sin"), text("draws"), text("sine")});
    helpwin(table, text("sin"), text("Topics"));
    EXPECT_EQ(last_dialog().text, "sine");
    EXPECT_EQ(last_dialog().title, "Topics");
    helpwin(cell_of(1, 2, {text("only"), text("alone")}), text("only"), text("T"));
    EXPECT_EQ(last_dialog().text, "alone");
    EXPECT_ERROR(helpwin(table, text("cos"), text("T")), "helpwin: could not locate string topic in inputs");
    EXPECT_NE(test::error_of([] { helpwin(cell_of(1, 1, {text("only")}), text("only"), text("T")); }), "")
        << "a table without a text column is an indexing error, never a read past it";

    helpwin(text("a text"), text("Its title"));
    EXPECT_EQ(last_dialog().text, "a text");
    EXPECT_EQ(last_dialog().title, "Its title");

    helpwin(text("nofunc_here"));
    EXPECT_EQ(last_dialog().text, "nofunc_here not found.\n");
    EXPECT_EQ(last_dialog().title, "help window");
    EXPECT_EQ(last_dialog().items, strings{""});
}

TEST_F(Gui, HelpWindowOfALanguageFile)
{
    test::temp_dir dir;
    {
        std::ofstream f(dir.path() / "sayhi.v");
        f << "function sayhi\n% SAYHI greets.\n%   sayhi() prints hi.\n\ndisp('hi')\n";
        std::ofstream big(dir.path() / "bighelp.v");
        for (int k = 0; k < 3000; ++k)
            big << "% " << std::string(60, 'h') << "\n";
    }
    helpwin(text("sayhi"));
    EXPECT_EQ(last_dialog().text, " SAYHI greets.\n   sayhi() prints hi.\n");
    EXPECT_EQ(last_dialog().title, "help window");

    // 186000 characters of help: the message keeps the 80 whole lines that
    // fit, each checked against its own slot.
    test::clear_printed();
    helpwin(text("bighelp"));
    std::string expected;
    for (int k = 0; k < 80; ++k)
        expected += (k ? "\n " : " ") + std::string(60, 'h');
    EXPECT_EQ(last_dialog().text, expected);
    EXPECT_NE(test::printed().find(chopped), std::string::npos);
}

TEST_F(Gui, TheHostChannelShowsHelpInTheWindow)
{
    char topic[] = "no_such_function_here";
    EXPECT_EQ(_kiv_do(32, 0, topic), 0);
    EXPECT_EQ(last_dialog().kind, "message");
    EXPECT_EQ(last_dialog().text, "no_such_function_here not found.\n");
    EXPECT_EQ(last_dialog().title, "help window");
}

TEST_F(Gui, DialogsDrawPendingChangesFirst)
{
    figure();
    const std::size_t mark = vizmo::test::mark();
    msgbox(cell_row({text("m")}));
    const strings log = vizmo::test::since(mark);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "redraw");
    EXPECT_EQ(log[1].rfind("message", 0), 0u);
}

} // namespace
