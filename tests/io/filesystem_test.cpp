// Files, directories and system commands, each test in a fresh temporary
// directory: help text, path building, copies, directory operations and
// listings, temporary names and the commands of dos, unixM and system.
#include "test_support.hpp"

#include "io/files.hpp"
#include "temp_dir.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::vector<std::string> warnings;
void record_warning(const char* text) { warnings.emplace_back(text ? text : ""); }

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        warnings.clear();
        previous = qv_set_warning_handler(record_warning);
        test::clear_printed();
    }
    void TearDown() override { qv_set_warning_handler(previous); }

    test::temp_dir tmp;
    qv_text_handler previous = nullptr;
};

using strings = std::vector<std::string>;

Mm t(const char* s) { return test::text(s); }

std::string field_text(const Mm& s, int k, const char* field)
{
    return test::text_of(getfield(s, test::cell_row({test::cell_row({Mm(static_cast<double>(k))}), t(field)})));
}
double field_number(const Mm& s, int k, const char* field)
{
    return test::at(getfield(s, test::cell_row({test::cell_row({Mm(static_cast<double>(k))}), t(field)})), 0);
}

// The names dir lists for a pattern, in its order.
strings names_listed(const std::string& pattern)
{
    const Mm s = dir(t(pattern.c_str()));
    strings got;
    for (int k = 1; k <= s.size(); ++k)
        got.push_back(field_text(s, k, "name"));
    return got;
}

TEST_F(Files, HelpPrintsTheCommentBlockAfterTheFunctionLine)
{
    tmp.write("add2.v", "function c = add2(a, b)\n% Sums two numbers\n\n% not help\nc = a + b;\n");
    tmp.write("long.v", "  %first\n%second\n   third\n\nlater\n");
    struct Case {
        const char* name;
        const char* printed;
    };
    const std::vector<Case> cases = {
        {"add2", " Sums two numbers\n"},
        {"  add2.v", " Sums two numbers\n"},
        {"long", "first\nsecond\nthird\n"},
        {"nope", "nope not found.\n"},
        {"  nope", "nope not found.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::clear_printed();
        help(t(c.name));
        EXPECT_EQ(test::printed(), c.printed);
    }
    test::clear_printed();
    type(t("add2"));
    EXPECT_EQ(test::printed(), "function c = add2(a, b)\n% Sums two numbers\n\n% not help\nc = a + b;\n");
    EXPECT_ERROR(help(Mm(1.0)), "help: argument not a string");
    EXPECT_ERROR(type(Mm(1.0)), "type: argument not a string");
}

TEST_F(Files, HelpIntoABufferStopsAtItsCapacity)
{
    tmp.write("f.v", "%" + std::string(300, 'x') + "\n%yy\n");
    char buffer[100];
    std::memset(buffer, '#', sizeof buffer);
    print_help_text("f", 0, buffer, 50);
    EXPECT_EQ(std::string(buffer), std::string(49, 'x'));
    EXPECT_EQ(buffer[50], '#') << "nothing past the capacity";
    print_help_text("g", 0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "g not found.\n");
    EXPECT_EQ(test::printed(), "") << "a buffer takes the text instead of the print hook";
}

TEST_F(Files, FullfileJoinsWithOneBackslashAtEachJoint)
{
    struct Case {
        std::vector<Mm> parts;
        const char* joined;
    };
    const std::vector<Case> cases = {
        {{t("c:\\"), t("\\data\\"), t("x.v")}, "c:\\data\\x.v"},
        {{t("a"), t("b")}, "a\\b"},
        {{t("a/"), t("/b/")}, "a\\b"},
        {{t("only")}, "only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.joined);
        EXPECT_EQ(test::text_of(fullfile(test::cell_row(c.parts))), c.joined);
    }
    EXPECT_EQ(test::text_of(fullfile()), "");
    EXPECT_EQ(test::text_of(fullfile(t("x\\"))), "x");
    EXPECT_EQ(test::text_of(filesep()), "\\");
    EXPECT_EQ(test::text_of(pathsep()), ";");
}

TEST_F(Files, DirectoryOperationsReportThroughResultsAndWarnings)
{
    EXPECT_EQ(test::at(mkdir(t("d")), 0), 1);
    EXPECT_EQ(test::at(mkdir(t("d")), 0), 2);
    EXPECT_TRUE(warnings.empty()) << "an existing directory is no failure";
    EXPECT_EQ(test::at(mkdir(t("missing\\below")), 0), 0);
    EXPECT_EQ(warnings, strings{"Could not make directory missing\\below"});

    const std::string before = test::text_of(cd());
    EXPECT_EQ(before, tmp.language());
    EXPECT_EQ(test::at(cd(t("nowhere")), 0), 0);
    EXPECT_EQ(warnings.back(), "Could not change directory to nowhere");
    EXPECT_EQ(test::text_of(cd()), before);
    EXPECT_EQ(test::at(chdir(t("d")), 0), 1);
    EXPECT_EQ(test::text_of(cd()), before + "\\d");
    EXPECT_EQ(test::at(cd(t("..")), 0), 1);

    EXPECT_EQ(test::at(rmdir(t("d")), 0), 1);
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "d"));
    EXPECT_EQ(test::at(rmdir(t("d")), 0), 0);
    EXPECT_EQ(warnings.back(), "Could not remove directory d");
}

TEST_F(Files, CopyfileCopiesAndLeavesAFileCopiedOntoItself)
{
    std::string content(20000, '\0');
    for (std::size_t k = 0; k < content.size(); ++k)
        content[k] = static_cast<char>(k * 7);
    tmp.write("a.bin", content);
    EXPECT_EQ(test::at(copyfile(t("a.bin"), t("b.bin")), 0), 1);
    EXPECT_EQ(tmp.read("b.bin"), content);
    EXPECT_EQ(test::at(copyfile(t("a.bin"), t("a.bin")), 0), 1);
    EXPECT_EQ(tmp.read("a.bin"), content) << "the file is not emptied";
    EXPECT_ERROR(copyfile(t("none"), t("x")), "copyfile:Could not read none");
    EXPECT_ERROR(copyfile(t("a.bin"), t("no\\such\\dir")), "copyfile:Could not write no\\such\\dir");
    EXPECT_ERROR(copyfile(t("a.bin")), "copyfile does not accept 1 input");
}

TEST_F(Files, DeleteRemovesAFileOrHandsHandlesToTheEngine)
{
    tmp.write("gone.txt", "x");
    deleteM(t("gone.txt"));
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "gone.txt"));
    deleteM(t("gone.txt"));  // a missing file is not reported
    vizmo::test::reset();
    const double fig = vizmo_create_object("Figure", -1);
    const double line = vizmo_create_object("line", -1);
    deleteM(test::row({fig, line}));
    EXPECT_FALSE(vizmo::test::exists(fig));
    EXPECT_FALSE(vizmo::test::exists(line));
}

TEST_F(Files, DirListsNamesDatesWholeSizesAndKinds)
{
    tmp.write("a.txt", "hello");
    tmp.write("b.dat", "");
    std::filesystem::create_directory(tmp.path() / "sub");
    // A sparse file larger than 32 bits can count.
    {
        std::FILE* f = std::fopen((tmp.path() / "big.bin").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fseeko(f, (off_t{5} << 30) - 1, SEEK_SET), 0);
        std::fputc(0, f);
        std::fclose(f);
    }
    struct stat st;
    ASSERT_EQ(::stat((tmp.path() / "a.txt").c_str(), &st), 0);
    st.st_mtime = 1765182910;  // 08-Dec-2025 08:35:10 UTC
    struct timespec times[2] = {{st.st_mtime, 0}, {st.st_mtime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, "a.txt", times, 0), 0);

    Mm all = dir();
    EXPECT_EQ(test::extents(all), (std::vector<int>{6, 1}));
    strings names;
    for (int k = 1; k <= 6; ++k)
        names.push_back(field_text(all, k, "name"));
    EXPECT_EQ(names, (strings{".", "..", "a.txt", "b.dat", "big.bin", "sub"}));
    EXPECT_EQ(field_number(all, 1, "isdir"), 1);
    EXPECT_EQ(field_number(all, 2, "isdir"), 1);
    EXPECT_EQ(field_number(all, 3, "isdir"), 0);
    EXPECT_EQ(field_number(all, 6, "isdir"), 1);
    EXPECT_EQ(field_number(all, 3, "bytes"), 5);
    EXPECT_EQ(field_number(all, 5, "bytes"), 5368709120.0);
    EXPECT_EQ(field_text(all, 3, "date"), "08-Dec-2025 08:35:10");

    struct Case {
        std::string pattern;
        strings names;
    };
    const std::vector<Case> cases = {
        {"*.txt", {"a.txt"}},
        {"*.*", {".", "..", "a.txt", "b.dat", "big.bin", "sub"}},
        {"b*", {"b.dat", "big.bin"}},
        {"sub", {".", ".."}},
        {tmp.language() + "\\a.*", {"a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(names_listed(c.pattern), c.names);
    }
}

TEST_F(Files, DirOfAnExistingNameListsItEvenWhenItReadsAsAPattern)
{
    tmp.write("we[ird].txt", "12345");
    tmp.write("wei.txt", "");
    struct Case {
        std::string pattern;
        strings names;
    };
    const std::vector<Case> cases = {
        {"we[ird].txt", {"we[ird].txt"}},
        {tmp.language() + "\\we[ird].txt", {"we[ird].txt"}},
        {"we[i]*.txt", {"wei.txt"}},  // no such name: a pattern still
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(names_listed(c.pattern), c.names);
    }
    EXPECT_EQ(field_number(dir(t("we[ird].txt")), 1, "bytes"), 5);
}

TEST_F(Files, DirWithoutMatchesIsAnEmptyStructWithTheFourFields)
{
    Mm none = dir(t("*.nothing"));
    EXPECT_TRUE(none.isstruct());
    EXPECT_EQ(none.size(), 0);
    Mm names = fieldnames(none);
    strings got;
    for (int k = 1; k <= names.size(); ++k)
        got.push_back(test::text_of(names.mr(k)));
    EXPECT_EQ(got, (strings{"name", "date", "bytes", "isdir"}));
}

TEST_F(Files, TempnameMakesAnEmptyFileInTheTemporaryDirectory)
{
    const std::string tdir = test::text_of(tempdir());
    ASSERT_FALSE(tdir.empty());
    EXPECT_EQ(tdir.back(), '\\');
    const std::string a = test::text_of(tempname());
    const std::string b = test::text_of(tempname());
    EXPECT_NE(a, b);
    for (const std::string& name : {a, b}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(name.rfind(tdir + "qv", 0), 0u);
        std::string native = name;
        for (char& c : native)
            if (c == '\\')
                c = '/';
        ASSERT_TRUE(std::filesystem::exists(native));
        EXPECT_EQ(std::filesystem::file_size(native), 0u);
        std::filesystem::remove(native);
    }
}

TEST_F(Files, SystemRunsEachCommandOfTheListInOrder)
{
    system(t("echo one > out.txt; echo two >> out.txt\necho three >> out.txt"));
    EXPECT_EQ(tmp.read("out.txt"), "one\ntwo\nthree\n");
    EXPECT_ERROR(system(Mm(1.0)), "system: argument not a string");
    EXPECT_EQ(run_command_list(""), 0);
}

struct hook_call {
    std::string command;
    int echo;
    int size;
};
std::vector<hook_call> hook_calls;
int recording_command(const char* command, int echo, char* buffer, int size)
{
    hook_calls.push_back({command, echo, size});
    std::snprintf(buffer, static_cast<std::size_t>(size), "output of %s", command);
    return 7;
}

TEST_F(Files, DosHandsTheHookItsCommandEchoAndBuffer)
{
    system_command_hook_t saved = system_command_hook;
    system_command_hook = recording_command;
    hook_calls.clear();
    Mm s, w;
    EXPECT_EQ(test::at(dos(t("a")), 0), 7);
    EXPECT_EQ(test::at(dos(t("b"), Mm()), 0), 7);
    EXPECT_EQ(test::at(dos(t("c"), t("-echo")), 0), 7);
    dos(t("d"), i_o, s, w);
    EXPECT_EQ(test::at(s, 0), 7);
    EXPECT_EQ(test::text_of(w), "output of d");
    dos(t("e"), t("-echo"), i_o, s, w);
    unixM(t("f"), i_o, s, w);
    EXPECT_EQ(test::at(s, 0), 7);
    EXPECT_EQ(test::text_of(w), "") << "unixM gives no output text";
    system_command_hook = saved;

    struct Expect {
        const char* command;
        int echo;
    };
    const std::vector<Expect> expected = {{"a", 1}, {"b", 0}, {"c", 1}, {"d", 0}, {"e", 1}, {"f", 1}};
    ASSERT_EQ(hook_calls.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(expected[k].command);
        EXPECT_EQ(hook_calls[k].command, expected[k].command);
        EXPECT_EQ(hook_calls[k].echo, expected[k].echo);
        EXPECT_EQ(hook_calls[k].size, 60000);
    }
}

TEST_F(Files, TheDefaultCommandRunsTheShellAndLeavesTheOutputEmpty)
{
    Mm s, w;
    unixM(t("echo x > made.txt"), i_o, s, w);
    EXPECT_EQ(test::at(s, 0), 0);
    EXPECT_EQ(test::text_of(w), "");
    EXPECT_EQ(tmp.read("made.txt"), "x\n");
    dos(t("true"), i_o, s, w);
    EXPECT_EQ(test::text_of(w), "");
}

TEST_F(Files, MemoryPrintsFiveCounts)
{
    memory();
    const std::string text = test::printed();
    for (const char* line : {" percent of memory in use\n", " bytes of physical memory\n",
                             " free physical memory bytes\n", " bytes of paging file\n", " free bytes of paging file\n"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(text.find(line), std::string::npos);
    }
}

} // namespace
