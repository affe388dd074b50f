// Console text and input: qv_printf, the input, key and clear hooks with
// scripted hosts, pauseM, the language warning and error, and the option
// word comparisons.
#include "test_support.hpp"

#include "host/console.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <climits>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

namespace {

std::vector<std::string> calls;
void record(const char* text) { calls.emplace_back(text ? text : "(null)"); }

// What the scripted input hook answers next, and the buffer sizes it saw.
std::string next_line;
std::vector<int> sizes_seen;
void scripted_input(char* buffer, int size)
{
    sizes_seen.push_back(size);
    std::snprintf(buffer, static_cast<std::size_t>(size), "%s", next_line.c_str());
}

// The keys the scripted key hook reports, one per poll; 0 once used up.
std::vector<int> keys;
int polls = 0;
int scripted_keys()
{
    int k = polls < static_cast<int>(keys.size()) ? keys[static_cast<std::size_t>(polls)] : 0;
    ++polls;
    return k;
}

int clears = 0;
int counting_clear()
{
    ++clears;
    return 0;
}

std::size_t log_mark = 0;  // where the engine's log stood when the test began

class Console : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        sizes_seen.clear();
        keys.clear();
        polls = 0;
        previous = qv_set_print_handler(record);
        qv_set_input_handler(scripted_input);
        qv_set_kbhit_handler(scripted_keys);
        log_mark = vizmo::test::mark();
    }
    void TearDown() override
    {
        qv_set_print_handler(previous);
        qv_set_input_handler(nullptr);
        qv_set_kbhit_handler(nullptr);
        qv_set_clc_handler(nullptr);
        warnings_enabled = 1;
        pause_enabled = 1;
    }
    qv_text_handler previous = nullptr;
};

using lines = std::vector<std::string>;

std::vector<std::string> engine_log()
{
    std::vector<std::string> out;
    for (std::string& line : vizmo::test::since(log_mark))
        out.push_back(std::move(line));
    return out;
}

TEST_F(Console, QvPrintfSendsTheWholeTextInOneCall)
{
    const std::string long_text(100000, 'x');
    EXPECT_EQ(qv_printf("<%s>%d", long_text.c_str(), 42), 100004);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "<" + long_text + ">42");
}

TEST_F(Console, NumericInput)
{
    struct Case {
        const char* line;
        std::vector<double> value;
        bool warns;
    };
    const std::vector<Case> cases = {
        {"1e3\n", {1000}, false},
        {"[1 2]\n", {1, 2}, false},
        {"-1.5d0\n", {-1.5}, false},
        {"abc\n", {0}, true},
        {"1,2\n", {1, 2}, true},  // a comma is not among the numeric characters
        {"\n", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        calls.clear();
        next_line = c.line;
        Mm v = input(TM("How many?"));
        EXPECT_EQ(test::values(v), c.value);
        lines expected{"How many?", "\n", "\n"};
        if (c.warns)
            expected.push_back("warning: input: text is non-numeric, use input(...,'s')\n\n");
        EXPECT_EQ(calls, expected);
    }
    EXPECT_EQ(sizes_seen.front(), 2048);

    calls.clear();
    next_line = "";
    Mm none = input(TM("?"));
    EXPECT_EQ(none.getpr((void*)nullptr), nop_M.getpr((void*)nullptr)) << "an empty line gives nop_M itself";
    EXPECT_EQ(calls, (lines{"?", "\n", "\n"}));

    next_line = "ctrl_c_event";
    EXPECT_ERROR(input(TM("?")), "Ctrl-C");
    EXPECT_ERROR(input(TM("?"), TM("s")), "Ctrl-C");
}

TEST_F(Console, TextInputAndLongPrompts)
{
    next_line = "abc\nrest";
    Mm t = input(TM("Name:"), TM("s"));
    EXPECT_TRUE(t.isstr());
    EXPECT_EQ(test::values(t), (std::vector<double>{'a', 'b', 'c'}));

    // A host that fills the whole buffer without a terminating zero.
    qv_set_input_handler([](char* buffer, int size) {
        for (int k = 0; k < size; ++k)
            buffer[k] = '7';
    });
    EXPECT_EQ(input(TM("?"), TM("s")).size(), 2047);

    calls.clear();
    const std::string prompt(5000, 'p');
    next_line = "1\n";
    input(TM(prompt.c_str()));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0], prompt) << "the prompt is shown whole";
}

TEST_F(Console, HooksAndTheirDefaults)
{
    keys = {0, 7};
    EXPECT_EQ(kbhitM().r(), 0);
    EXPECT_EQ(kbhitM().r(), 7);
    qv_set_kbhit_handler(nullptr);
    EXPECT_EQ(qv_kbhit_handler, default_kbhit_handler);
    qv_set_input_handler(nullptr);
    EXPECT_EQ(qv_input_handler, default_input_handler);

    qv_set_clc_handler(counting_clear);
    clears = 0;
    EXPECT_EQ(clc().getpr((void*)nullptr), x_M.getpr((void*)nullptr));
    EXPECT_EQ(clears, 1);
    qv_set_clc_handler(nullptr);
    EXPECT_EQ(qv_clc_handler, default_clc_handler);
}

TEST_F(Console, PauseWaitsForAKeyOrAButton)
{
    const vizmo::test::Policy policy = vizmo::test::policy();
    vizmo_create_object("Figure", -1);  // something to draw
    log_mark = vizmo::test::mark();
    // At a terminal the engine has nothing pending and leaves the end of the
    // wait to the keyboard.
    vizmo::test::set_policy(vizmo::test::Policy::Strict);
    keys = {0, 0, 1};
    pauseM();
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(calls, (lines{"\n"}));
    EXPECT_EQ(engine_log(), (lines{"redraw", "button_press -1"})) << "drawing is flushed first";

    // A key pressed in a figure ends the wait without the keyboard.
    keys = {0, 0, 1};
    polls = 0;
    log_mark = vizmo::test::mark();
    vizmo::test::push_key(13);
    pauseM();
    EXPECT_EQ(polls, 0);
    EXPECT_EQ(engine_log(), (lines{"redraw", "key 13", "button_press 1"}));

    // Unattended, the engine ends the wait at once.
    vizmo::test::set_policy(vizmo::test::Policy::AutoContinue);
    keys = {0, 0, 1};
    polls = 0;
    pauseM();
    EXPECT_EQ(polls, 0);
    vizmo::test::set_policy(policy);
    vizmo::test::reset();
}

TEST_F(Console, TimedPauses)
{
    pauseM(TM("off"));
    EXPECT_EQ(pause_enabled, 0);
    pauseM(Mm(5.0));  // returns at once
    pauseM(TM("on"));
    EXPECT_EQ(pause_enabled, 1);
    pauseM(Mm(0.001));
    pauseM(NaN);
    pauseM(Mm(-3.0));
    pauseM(TM("x"));
    EXPECT_EQ(pause_enabled, 0) << "only a second letter n switches pauses on";

    struct Case {
        double seconds;
        int ms;
    };
    const std::vector<Case> cases = {{2.5, 2500},      {0.0019, 1}, {0, 0},         {-1, 0},
                                     {NAN, 0},         {-INFINITY, 0}, {INFINITY, INT_MAX}, {1e300, INT_MAX}};
    for (const Case& c : cases)
        EXPECT_EQ(pause_milliseconds(c.seconds), c.ms) << c.seconds;
}

TEST_F(Console, TalkingToTheUser)
{
    EXPECT_EQ(smiley().getpr((void*)nullptr), nop_M.getpr((void*)nullptr));
    puts(TM("hi"));
    usage(TM("f(x)"));
    home();
    EXPECT_EQ(calls, (lines{"8-)\n", "hi\n", "Usage: ", "f(x)\n"}));
}

TEST_F(Console, LanguageWarnings)
{
    warning(TM("50% done"));
    warning(TM("off"));
    warning(TM("hidden"));
    EXPECT_EQ(test::values(warning()), (std::vector<double>{'o', 'f', 'f'}));
    warning(TM("on"));
    EXPECT_EQ(test::values(warning()), (std::vector<double>{'o', 'n'}));
    warning(TM("%s%n"));
    EXPECT_EQ(calls, (lines{"warning: 50% done\n\n", "warning: %s%n\n\n"}));
}

TEST_F(Console, LanguageErrors)
{
    EXPECT_ERROR(error(), "error!");
    EXPECT_ERROR(error(TM("")), "");
    EXPECT_ERROR(error(TM("bad %d %s")), "bad %d %s");
    const std::string long_message(5000, 'm');
    EXPECT_ERROR(error(TM(long_message.c_str())), long_message.substr(0, 2047));
}

// The language forms take a value; a string literal still picks the
// library's printf-style forms.
static_assert(std::is_same_v<decltype(error("x")), void>);
static_assert(std::is_same_v<decltype(warning("x")), void>);
static_assert(std::is_same_v<decltype(error("%d", 1)), void>);
static_assert(std::is_same_v<decltype(error(TM("x"))), Mm>);
static_assert(std::is_same_v<decltype(warning(TM("x"))), Mm>);
static_assert(std::is_same_v<decltype(error()), Mm>);

TEST_F(Console, StringLiteralsReachTheFormattingForms)
{
    EXPECT_ERROR(error("%d apples", 3), "3 apples");
    warning("%s and %d", "text", 5);
    EXPECT_EQ(calls, (lines{"warning: text and 5\n\n"}));
}

TEST(AsciiCompare, FoldsOnlyAToZ)
{
    struct Case {
        const char* a;
        const char* b;
        int n;  // -1: the whole texts
        int sign;
    };
    const std::vector<Case> cases = {
        {"Abc", "aBC", -1, 0},       {"ab", "abc", -1, -1},        {"abc", "ab", -1, 1},
        {"\xC0", "\xE0", -1, -1},    {"[", "{", -1, -1},           {"Z", "z", -1, 0},
        {"abX", "ABy", 2, 0},        {"abX", "ABy", 3, -1},        {"x", "y", 0, 0},
        {"ab", "AB", 10, 0},         {"", "", -1, 0},              {"\xFF", "a", -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b + " / " + std::to_string(c.n));
        int r = c.n < 0 ? ascii_stricmp(c.a, c.b) : ascii_strnicmp(c.a, c.b, c.n);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

} // namespace
