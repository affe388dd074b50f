// Modal dialogs: the unscripted answers, scripted answers cut to their
// buffers, and the record of every call.
#include "vizmo_support.hpp"

#include <cstring>

namespace {

using namespace vizmo_testing;
namespace vt = vizmo::test;

using Dialogs = Engine;

TEST_F(Dialogs, UnscriptedAnswersAcceptEveryDefault)
{
    EXPECT_EQ(vizmo_message_box("Saved.", "Note", "help"), 1);

    char yes[] = "Yes", no[] = "No", cancel[] = "Cancel";
    char* buttons[] = {yes, no, cancel};
    EXPECT_EQ(vizmo_question_dialog("Go on?", "Ask", "quest", buttons, 3, 2), 2);

    char p1[] = "Name", p2[] = "Age", d1[] = "Ann", d2[] = "41";
    char* prompts[] = {p1, p2};
    char* defaults[] = {d1, d2};
    int lines[] = {1, 1};
    char a1[256] = "junk", a2[256] = "junk";
    char* answers[] = {a1, a2};
    EXPECT_EQ(vizmo_input_dialog("Who", prompts, lines, defaults, 2, answers, 256), 1);
    EXPECT_STREQ(a1, "Ann");
    EXPECT_STREQ(a2, "41");

    char title[] = "Pick", one[] = "one", two[] = "two";
    char* menu[] = {title, one, two};
    EXPECT_EQ(vizmo_menu_dialog(menu, 3), 0);

    char file[512] = "junk", path[512] = "junk";
    vizmo_open_file_dialog("*.m", "Open", file, 512, path, 512);
    EXPECT_STREQ(file, "");
    EXPECT_STREQ(path, "");
    EXPECT_EQ(vizmo_color_dialog(0, 255), -1);

    const double h = vizmo_create_object("edit", -1);
    set(h, "FontName", text("Mono"));
    set(h, "SetFont", num(0));
    EXPECT_EQ(get_text(h, "FontName"), "Mono") << "the font stays as it was";

    const std::vector<vt::Dialog> d = vt::dialogs();
    std::vector<std::string> kinds;
    for (const vt::Dialog& x : d)
        kinds.push_back(x.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"message", "question", "input", "menu", "open_file", "color", "font"}));
    EXPECT_EQ(d[0].text, "Saved.");
    EXPECT_EQ(d[0].items, (std::vector<std::string>{"help"}));
    EXPECT_EQ(d[1].items, (std::vector<std::string>{"Yes", "No", "Cancel"}));
    EXPECT_EQ(d[1].number, 2);
    EXPECT_EQ(d[3].title, "Pick");
    EXPECT_EQ(d[3].items, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(d[5].number, 255);
}

TEST_F(Dialogs, ScriptedAnswersAreUsedInOrderAndCutToSize)
{
    vt::answer_message(7);
    vt::answer_question(0);
    vt::answer_menu(2);
    vt::answer_color(0x0000FF);
    EXPECT_EQ(vizmo_message_box("a", "b", ""), 7);
    EXPECT_EQ(vizmo_message_box("a", "b", ""), 1) << "each answer is used once";
    char ok[] = "OK";
    char* buttons[] = {ok};
    EXPECT_EQ(vizmo_question_dialog("q", "t", "quest", buttons, 1, 0), 0);
    EXPECT_EQ(vizmo_menu_dialog(nullptr, 0), 2);
    EXPECT_EQ(vizmo_color_dialog(0, -1), 255);

    vt::answer_input({std::string(300, 'x')});
    char p[] = "Long", q[] = "Kept", dq[] = "default";
    char* prompts[] = {p, q};
    char* defaults[] = {p, dq};
    int lines[] = {1, 1};
    char a1[256], a2[256];
    char* answers[] = {a1, a2};
    ASSERT_EQ(vizmo_input_dialog("t", prompts, lines, defaults, 2, answers, 256), 1);
    EXPECT_EQ(std::strlen(a1), 255u) << "cut to the buffer";
    EXPECT_STREQ(a2, "default") << "a field the script leaves out keeps its default";

    vt::cancel_input();
    std::strcpy(a1, "untouched");
    EXPECT_EQ(vizmo_input_dialog("t", prompts, lines, defaults, 2, answers, 256), 0);
    EXPECT_STREQ(a1, "untouched");

    vt::answer_file("data.txt", "/tmp/");
    vt::cancel_file();
    char file[8], path[512];
    vizmo_save_file_dialog("*.txt", "Save", file, sizeof file, path, sizeof path);
    EXPECT_STREQ(file, "data.tx");
    EXPECT_STREQ(path, "/tmp/");
    vizmo_open_file_dialog("*.txt", "Open", file, sizeof file, path, sizeof path);
    EXPECT_STREQ(file, "");
    EXPECT_STREQ(path, "");

    vt::answer_font("Serif", 14);
    const double h = vizmo_create_object("text", -1);
    set(h, "SetFont", num(0));
    EXPECT_EQ(get_text(h, "FontName"), "Serif");
    EXPECT_EQ(get(h, "FontSize"), (std::vector<double>{14}));
}

} // namespace
