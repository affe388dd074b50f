// Error, warning and message reporting: hooks, flags, the last-error text
// and the call stack in reports.
#include "test_support.hpp"
#include "value/report.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace {

// Restores the reporting state the test environment set up.
class Reporting : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_error_flags_ = qv_default_error_flags;
        saved_warning_flags_ = qv_default_warning_flags;
        clear_last_error();
        test::clear_printed();
        boxes().clear();
        saved_box_ = qv_message_box;
        qv_message_box = record_box;
    }
    void TearDown() override
    {
        qv_default_error_flags = saved_error_flags_;
        qv_default_warning_flags = saved_warning_flags_;
        qv_error_stack.depth = 0;
        qv_message_box = saved_box_;
        clear_last_error();
        warning(0, "%s", "");  // numbered layout off again
        test::clear_printed();
    }
    static std::vector<std::string>& boxes()
    {
        static std::vector<std::string> b;
        return b;
    }
    static void record_box(const char* caption, const char* text) { boxes().push_back(std::string(caption) + "|" + text); }

private:
    unsigned saved_error_flags_ = 0, saved_warning_flags_ = 0;
    message_box_layer saved_box_ = nullptr;
};

TEST_F(Reporting, ThrownErrorBecomesTheLastError)
{
    EXPECT_ERROR(error("x %d", 5), "x 5");
    EXPECT_STREQ(last_error_text(), "error: x 5\n");
    Mm text = lasterr();
    char buf[64];
    Mstr(text, buf, sizeof buf);
    EXPECT_STREQ(buf, "error: x 5\n");
    EXPECT_STREQ(last_error_text(), "") << "lasterr clears it";
}

TEST_F(Reporting, LasterrWithAnArgumentReplacesTheText)
{
    lasterr(TM("replaced"));
    EXPECT_STREQ(last_error_text(), "replaced");
}

TEST_F(Reporting, LongMessagesAreCutTo2047Characters)
{
    std::string long_text(5000, 'a');
    std::string thrown = test::error_of([&] { error("%s", long_text.c_str()); });
    EXPECT_EQ(thrown.size(), 2047u);
    EXPECT_EQ(std::strlen(last_error_text()), 2047u);
}

TEST_F(Reporting, ThrownTextSurvivesAWarningDuringUnwinding)
{
    struct WarnsOnDestruction {
        ~WarnsOnDestruction() { warning("while unwinding"); }
    };
    const char* caught = nullptr;
    try {
        WarnsOnDestruction w;
        error("the real error");
    } catch (const char* text) {
        caught = text;
    }
    ASSERT_NE(caught, nullptr);
    EXPECT_STREQ(caught, "the real error");
}

TEST_F(Reporting, ReportListsTheCallStackWrapsAndTurnsSlashes)
{
    qv_error_stack.functions[1] = "f";
    qv_error_stack.lines[1] = 12;
    qv_error_stack.functions[2] = "g";
    qv_error_stack.lines[2] = 0;
    qv_error_stack.depth = 2;
    set_last_error("error: a/b\n");
    error_lasterr();
    EXPECT_EQ(test::printed(), "error: a\\b\ncalled from g\ncalled from f 12\n\n");
    EXPECT_STREQ(last_error_text(), "");
    ASSERT_EQ(boxes().size(), 0u) << "the environment switched message boxes off";
}

TEST_F(Reporting, LinesBreakAtTheFirstBlankFromColumn64)
{
    std::string line(70, 'x');
    line[30] = ' ';
    line[66] = ' ';
    line += " tail";
    set_last_error(line.c_str());
    error_lasterr();
    std::string expected = line;
    expected[66] = '\n';
    EXPECT_EQ(test::printed(), expected + "\n");
}

TEST_F(Reporting, AnEmptyLastErrorReportsAborted)
{
    error_lasterr();
    EXPECT_EQ(test::printed(), "Aborted!\n\n");
}

TEST_F(Reporting, ReportsFollowTheErrorFlags)
{
    qv_default_error_flags = 0x2;
    set_last_error("error: boxed\n");
    error_lasterr();
    EXPECT_EQ(test::printed(), "");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "Problem|error: boxed\n");

    boxes().clear();
    qv_default_error_flags = 0x3;
    message("note %d", 1);
    EXPECT_EQ(test::printed(), "note 1\n");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "Message|note 1");

    test::clear_printed();
    qv_default_error_flags = 0x10;
    message("silent");
    EXPECT_EQ(test::printed(), "") << "messages follow the error flags";
}

TEST_F(Reporting, WarningsFollowTheWarningFlags)
{
    qv_default_warning_flags = 0x1;
    warning("w %s", "one");
    EXPECT_EQ(test::printed(), "warning: w one\n\n");
    test::clear_printed();
    qv_default_warning_flags = 0x2;
    warning("two");
    EXPECT_EQ(test::printed(), "");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "Problem|warning: two\n\n");
}

TEST_F(Reporting, NumberedLayoutStaysUntilALineOfZero)
{
    qv_default_warning_flags = 0x1;
    warning(3, "w");
    EXPECT_EQ(test::printed(), "Error  3: '(end of file)'\nw\n\n");
    EXPECT_ERROR(error("e"), "e");
    EXPECT_STREQ(last_error_text(), "Error  3: '(end of file)'\ne\n\n");
    EXPECT_ERROR(error(0, "plain"), "plain");
    EXPECT_STREQ(last_error_text(), "error: plain\n");
}

std::vector<std::string> hooked;
void hook_a(const char* t) { hooked.push_back(std::string("a:") + t); }

TEST_F(Reporting, SettersReplaceAndRestoreEachHook)
{
    struct Setter {
        const char* what;
        qv_text_handler (*set)(qv_text_handler);
        void (*raise)();
        const char* expected;
    };
    const std::vector<Setter> setters = {
        {"print", qv_set_print_handler, [] { qv_print_handler("p"); }, "a:p"},
        {"warning", qv_set_warning_handler, [] { warning("w"); }, "a:w"},
        {"message", qv_set_message_handler, [] { message("m"); }, "a:m"},
        {"logmessage", qv_set_logmessage_handler, [] { logmessage("l %d", 2); }, "a:l 2"},
        {"error", qv_set_error_handler, [] { error("e"); }, "a:e"},
    };
    for (const auto& s : setters) {
        SCOPED_TRACE(s.what);
        hooked.clear();
        qv_text_handler previous = s.set(hook_a);
        s.raise();
        ASSERT_EQ(hooked.size(), 1u);
        EXPECT_EQ(hooked[0], s.expected);
        // Null restores the default and hands back the replaced hook.
        EXPECT_EQ(s.set(nullptr), hook_a);
        s.set(previous);
    }
    EXPECT_EQ(qv_was_handler_set(), 1);
}

TEST_F(Reporting, LogMessagesEndWithANewline)
{
    logmessage("step %d", 3);
    EXPECT_EQ(test::printed(), "step 3\n");
}

TEST_F(Reporting, FlagSettersSetAndClearBits)
{
    qv_default_error_flags = 0;
    qv_set_default_error_flags(0x9, 1);
    EXPECT_EQ(qv_default_error_flags, 0x9u);
    qv_set_default_error_flags(0x1, 0);
    EXPECT_EQ(qv_default_error_flags, 0x8u);
    qv_default_warning_flags = 3;
    qv_set_default_warning_flags(0x2, 0);
    EXPECT_EQ(qv_default_warning_flags, 1u);
}

TEST_F(Reporting, CallStackStopsAtTheDestinationSize)
{
    for (int k = 1; k <= 40; ++k) {
        qv_error_stack.functions[k] = "a_rather_long_function_name_for_the_report";
        qv_error_stack.lines[k] = k;
    }
    qv_error_stack.depth = 40;
    char small[100] = "start\n";
    error_call_stack(small, sizeof small);
    EXPECT_LT(std::strlen(small), sizeof small);
    EXPECT_EQ(std::string(small).rfind("start\ncalled from", 0), 0u);
}

TEST_F(Reporting, DisplayNamesOfSeveralValuesKeepTheirOwnText)
{
    Mm five = 5.0, seven = 7.9, pair = test::row({1, 2});
    Mm named(five, "x");
    char message_text[128];
    std::snprintf(message_text, sizeof message_text, "%s %s %s %s", matrix_display_name(five),
                  matrix_display_name(seven), matrix_display_name(pair), matrix_display_name(named));
    EXPECT_STREQ(message_text, "=5 =7 (temporary) x");
}

TEST(DefaultErrorPath, EndsTheProcessWithStatusOne)
{
    EXPECT_EXIT(
        {
            qv_set_print_handler(nullptr);
            qv_default_error_flags = 0x1;
            error("fatal %d", 3);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST(DefaultErrorPath, PrintsTheReportBeforeEnding)
{
    // The default print hook writes to standard output; route it to standard
    // error here, where the death test can read it.
    EXPECT_EXIT(
        {
            qv_set_print_handler([](const char* t) { std::fputs(t, stderr); });
            qv_default_error_flags = 0x1;
            error("fatal %d", 3);
        },
        ::testing::ExitedWithCode(1), "error: fatal 3");
}

} // namespace
