// Start-up: the global constants, initM2's checks, the engine registrations,
// the external program names and the crash filter.
#include "test_support.hpp"
#include "value/globals.hpp"
#include "value/report.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <csignal>
#include <cstdlib>
#include <string>

namespace {

TEST(Startup, ConstantsHaveTheirExactBits)
{
    EXPECT_EQ(test::bits(test::at(pi, 0)), 0x400921FB54442D18u);
    EXPECT_EQ(test::bits(test::at(NaN, 0)), 0x7FFFFFFFFFFFFFFFu);
    EXPECT_EQ(test::bits(test::at(Inf, 0)), 0x7FF0000000000000u);
    EXPECT_EQ(test::at(eps, 0), 0x1p-52);
    EXPECT_EQ(test::at(one_M, 0), 1);
    EXPECT_EQ(test::at(zero_M, 0), 0);
    EXPECT_EQ(test::at(TICTOC, 0), 0);
    for (Mm* c : {&pi, &Inf, &NaN, &eps, &one_M, &zero_M, &TICTOC})
        EXPECT_EQ(c->getflags().scalar_var, 1) << c->getname();
}

TEST(Startup, ImaginaryUnitsShareOneComplexBlock)
{
    EXPECT_EQ(i.isc(), 1);
    EXPECT_EQ(j.isc(), 1);
    EXPECT_EQ(i.getpr((double*)nullptr), j.getpr((double*)nullptr));
    EXPECT_EQ(test::at(i, 0), 0);
    EXPECT_EQ(*i.getpi((double*)nullptr), 1);
    EXPECT_EQ(i.getflags().scalar_var, 0);
}

TEST(Startup, MarkersAreEmptyAndKnownByTheirNamePointer)
{
    struct Marker {
        Mm* value;
        const char* name;
    };
    const Marker markers[] = {{&x_M, "x_M"}, {&semi, ";"}, {&c_p, ":"}, {&nop_M, "[]"}, {&l_M, "l_M"},
                              {&ans, "ans"}};
    for (const auto& m : markers) {
        SCOPED_TRACE(m.name);
        EXPECT_STREQ(m.value->getname(), m.name);
        EXPECT_EQ(m.value->rows(), 0);
        EXPECT_EQ(m.value->cols(), 0);
        EXPECT_EQ(m.value->gettype(), qv_double);
    }
    EXPECT_EQ(semi_name, semi.getname());
    EXPECT_EQ(c_p_name, c_p.getname());
    EXPECT_EQ(l_M_name, l_M.getname());
    EXPECT_EQ(switchvar.gettype(), qv_none);
    EXPECT_EQ(nothing_M.gettype(), qv_none);
    EXPECT_STREQ(nothing_M.getname(), "nothing");
    EXPECT_EQ(semi.getpr((double*)nullptr), c_p.getpr((double*)nullptr)) << "they share one empty block";
}

TEST(Startup, InitM2ChecksVersionAndLayout)
{
    EXPECT_ERROR(initM2(4500, sizeof(Mm)), "Version mismatch - runtime version is 4.51 but velkor.h version is 4.5.");
    EXPECT_ERROR(initM2(4510, 92),
                 "sizeof(Mm) mismatch - runtime size is " + std::to_string(sizeof(Mm)) + " but current size is 92");
    initM2(4510, sizeof(Mm));
    EXPECT_EQ(test::bits(test::at(pi, 0)), 0x400921FB54442D18u);
}

TEST(Startup, EngineSawInitThenTheThreeRegistrations)
{
    // The log holds every operation since load; the start-up ones come first.
    const std::vector<std::string> log = vizmo::test::log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "init 4510 " + std::to_string(sizeof(Mm)));
    EXPECT_EQ(log[1], "set_callback_hook set");
    EXPECT_EQ(log[2], "set_error_hook set");
    EXPECT_EQ(log[3], "set_destroy_hook set");
}

TEST(Startup, UpperCaseEnvironmentVariableWins)
{
    unsetenv("VORSENVIEWER");
    setenv("vorsenviewer", "lowerview", 1);
    setenv("VORSENPLAYER", "UPPERPLAY", 1);
    setenv("vorsenplayer", "lowerplay", 1);
    unsetenv("VORSENGNUPLOT");
    unsetenv("vorsengnuplot");
    read_external_program_names();
    EXPECT_STREQ(external_viewer_name(), "lowerview");
    EXPECT_STREQ(external_player_name(), "UPPERPLAY");
    EXPECT_STREQ(external_plotter_name(), "wgnuplot");
    std::string long_name(400, 'v');
    setenv("VORSENVIEWER", long_name.c_str(), 1);
    read_external_program_names();
    EXPECT_EQ(std::string(external_viewer_name()), long_name.substr(0, 255));
    unsetenv("VORSENVIEWER");
    unsetenv("vorsenviewer");
    unsetenv("VORSENPLAYER");
    unsetenv("vorsenplayer");
    read_external_program_names();
    EXPECT_STREQ(external_viewer_name(), "pbrush");
    EXPECT_STREQ(external_player_name(), "sonvex");
}

TEST(Startup, ExitMEndsTheGui)
{
    vizmo::test::reset();
    vizmo_create_object("Figure", -1);  // pending drawing is flushed first
    const std::size_t before = vizmo::test::mark();
    exitM();
    EXPECT_EQ(vizmo::test::since(before), (std::vector<std::string>{"redraw", "exit 0"}));
    vizmo::test::reset();
}

TEST(Startup, ExitEndsTheProcessWithStatusZero)
{
    EXPECT_EXIT(exit(), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(quit(), ::testing::ExitedWithCode(0), "");
}

void crash_here()
{
    qv_error_stack.functions[1] = "crasher";
    qv_error_stack.lines[1] = 7;
    qv_error_stack.depth = 1;
    std::fflush(stdout);
    std::raise(SIGSEGV);
}

TEST(CrashFilter, ReportsTheExceptionAndTheCallStack)
{
    EXPECT_DEATH(crash_here(), "Application crash!: Exception code: C0000005 ACCESS_VIOLATION\n\ncalled from crasher 7");
}

TEST(CrashFilter, APendingErrorIsReportedInstead)
{
    EXPECT_DEATH(
        {
            qv_set_print_handler([](const char* t) { std::fputs(t, stderr); });
            qv_default_error_flags = 0x1;
            set_last_error("error: pending\n");
            std::raise(SIGSEGV);
        },
        "error: pending");
}

} // namespace
