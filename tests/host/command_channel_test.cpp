// The host command channel with scope tracking on: the workspace walked,
// shown, described and cleared through _kiv_do, and the hooks it installs.
#include "test_support.hpp"

#include "host/display.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace {

class Channel : public ::testing::Test {
protected:
    void SetUp() override
    {
        variables_scope.reset();
        clear_frame(1);
        clear_frame(0);
        test::clear_printed();
    }
    void TearDown() override
    {
        variables_scope.reset();
        clear_frame(1);
        clear_frame(0);
        scope_tracking = 0;
    }
    static void clear_frame(int f)
    {
        while (variables_scope.scope_count(f) > 0)
            variables_scope.scope_remove_entry(variables_scope.scope_count(f) - 1, f);
    }
    static char* text(const char* s) { return const_cast<char*>(s); }
};

TEST_F(Channel, TrackingCountsAndNamesTheEntries)
{
    EXPECT_EQ(_kiv_do(0, 0, nullptr), 0);
    EXPECT_EQ(scope_tracking, 1);
    Mm x(i_o, "x_", 0);
    x = 5.0;
    Mm g(i_o, "g", 1);
    EXPECT_EQ(_kiv_do(1, 0, nullptr), 1);
    EXPECT_EQ(_kiv_do(23, 0, nullptr), 1);
    char name[40] = "junk";
    _kiv_do(2, 0, name);
    EXPECT_STREQ(name, "x") << "a trailing underscore is dropped";
    _kiv_do(24, 0, name);
    EXPECT_STREQ(name, "g");
    EXPECT_EQ(_kiv_do(26, 0, text("x")), reinterpret_cast<intptr_t>(&x));
    EXPECT_EQ(_kiv_do(26, 0, text("g")), reinterpret_cast<intptr_t>(&g));
    EXPECT_EQ(_kiv_do(26, 0, text("nobody")), 0);
    EXPECT_ERROR(_kiv_do(2, 5, name), "variable_scope: index out of range");
    char cls[40];
    EXPECT_EQ(_kiv_do(10, 0, cls), 0);
    EXPECT_STREQ(cls, "double");
    char summary[64];
    _kiv_do(29, 0, summary);
    EXPECT_EQ(std::string(summary), value_summary_text(x));
    EXPECT_EQ(_kiv_do(39, 0, nullptr), 0);
    EXPECT_EQ(_kiv_do(-1, 0, nullptr), 0);
}

TEST_F(Channel, ShowingAndListing)
{
    _kiv_do(0, 0, nullptr);
    _kiv_do(11, 0, nullptr);
    EXPECT_EQ(test::printed(), "") << "an empty frame prints nothing at all";
    _kiv_do(3, 0, text("y"));
    EXPECT_EQ(test::printed(), "Variable 'y' not found.\n");
    Mm a(i_o, "a", 0), b(i_o, "b", 0);
    a = 1.0;
    b = 2.0;
    Mm g(i_o, "g", 1);
    g = 3.0;
    test::clear_printed();
    _kiv_do(11, 0, nullptr);
    EXPECT_EQ(test::printed(), "a b \n");
    test::clear_printed();
    _kiv_do(11, 0, text("global"));
    EXPECT_EQ(test::printed(), "g \n");
    test::clear_printed();
    _kiv_do(9, 0, text("global"));
    EXPECT_EQ(test::printed().rfind("g ", 0), 0u) << test::printed();
    EXPECT_NE(test::printed().find("(1x1)"), std::string::npos);
    test::clear_printed();
    _kiv_do(3, 0, text("b"));
    EXPECT_NE(test::printed().find("2"), std::string::npos);
}

TEST_F(Channel, Clearing)
{
    _kiv_do(0, 0, nullptr);
    Mm a(i_o, "a", 0), b(i_o, "b", 0);
    Mm g(i_o, "g", 1);
    _kiv_do(4, 0, text("neither_variable_nor_module"));
    EXPECT_EQ(variables_scope.scope_count(1), 2);
    _kiv_do(4, 0, text("a"));
    EXPECT_EQ(variables_scope.scope_count(1), 1);
    _kiv_do(4, 0, nullptr);
    EXPECT_EQ(variables_scope.scope_count(1), 0);
    _kiv_do(4, 0, text("global"));
    EXPECT_EQ(variables_scope.scope_count(0), 0);
}

int fake_eval(const char*) { return 0; }
int fake_command(const char*, int, char*, int) { return 0; }

TEST_F(Channel, HooksAndForwardedCommands)
{
    eval_func_t saved_eval = eval_func;
    void* saved_path = mpath_pointer;
    _kiv_do(12, 0, reinterpret_cast<char*>(&fake_eval));
    EXPECT_EQ(eval_func, &fake_eval);
    eval_func = saved_eval;
    search_path host;
    _kiv_do(20, 0, reinterpret_cast<char*>(&host));
    EXPECT_EQ(mpath_pointer, &host);
    mpath_pointer = saved_path;
    _kiv_do(25, 0, reinterpret_cast<char*>(&fake_command));
    EXPECT_EQ(system_command_hook, &fake_command);
    _kiv_do(25, 0, nullptr);
    EXPECT_EQ(system_command_hook, &default_system_command);
    char version_text[2048];
    _kiv_do(37, 0, version_text);
    EXPECT_STREQ(version_text, "4.51 VORSEN");
    char described[512];
    const char* name = "no_such_function_anywhere";
    _kiv_do(33, reinterpret_cast<intptr_t>(name), described);
    EXPECT_STREQ(described, "unknown");
    EXPECT_EQ(_kiv_do(6, 0, nullptr), reinterpret_cast<intptr_t>(&qv_error_stack));
    test::clear_printed();
    _kiv_do(13, 0, text("no_such_file"));
    EXPECT_EQ(test::printed(), "no_such_file not found.\n");
}

TEST(WhosLineName, AnUnreadableNamePointerIsShownInSixteenDigits)
{
    test::clear_printed();
    whos_line(Mm(Mm(1.0), reinterpret_cast<const char*>(std::uintptr_t{0x10})));
    EXPECT_EQ(test::printed(), "whos: bad name pointer 0000000000000010");
    char name[] = "ab_";
    strip_trailing_underscore(name);
    EXPECT_STREQ(name, "ab");
    char one[] = "_";
    strip_trailing_underscore(one);
    EXPECT_STREQ(one, "_");
}

} // namespace
