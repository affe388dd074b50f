// The search path: entries added, replaced and listed, the lookups of files
// through it, and the language functions on the host's instance.
#include "test_support.hpp"

#include "host/search_path.hpp"
#include "temp_dir.hpp"

#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

// Lends a fresh path to the library as the host would, and takes it back.
class SearchPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = mpath_pointer;
        mpath_pointer = &host_path;
    }
    void TearDown() override { mpath_pointer = saved; }

    std::vector<std::string> entries() const
    {
        std::vector<std::string> out;
        for (const char* e = host_path.start; e < host_path.end; e += std::strlen(e) + 1)
            out.emplace_back(e);
        return out;
    }

    search_path host_path;
    void* saved = nullptr;
    test::temp_dir tmp;
};

using strings = std::vector<std::string>;

TEST_F(SearchPath, AddingKeepsEntriesUniqueAtEitherEnd)
{
    search_path_add(host_path, "a\\", 1);
    search_path_add(host_path, "b\\", 1);
    search_path_add(host_path, "c\\", 0);
    search_path_add(host_path, "a\\", 0);
    EXPECT_EQ(entries(), (strings{"c\\", "a\\", "b\\"}));
    EXPECT_TRUE(search_path_contains(host_path, "b\\"));
    EXPECT_FALSE(search_path_contains(host_path, "B\\")) << "case matters";
    EXPECT_FALSE(search_path_contains(host_path, "b"));
    EXPECT_EQ(search_path_size(host_path), 9u);
    EXPECT_STREQ(search_path_first(host_path), "c\\");
}

TEST_F(SearchPath, AFullBufferRefusesFurtherEntriesSilently)
{
    std::string big(60000, 'x');
    search_path_add(host_path, (big + "1").c_str(), 1);
    search_path_add(host_path, (big + "2").c_str(), 1);
    search_path_add(host_path, (big + "3").c_str(), 1);
    EXPECT_EQ(entries().size(), 2u);
    EXPECT_EQ(search_path_size(host_path), 2 * 60002u);
}

TEST_F(SearchPath, TextTokensBecomeFullPathsWithAFinalBackslash)
{
    const std::string here = tmp.language();
    struct Case {
        const char* text;
        strings expected;
    };
    const std::vector<Case> cases = {
        {"diary on", {}},
        {"  ;;", {}},
        {"/tmp_mnt/x", {"\\x\\"}},
        {"sub", {here + "\\sub\\"}},
        {"sub/../other/./deep/", {here + "\\other\\deep\\"}},
        {"/abs/one; /abs/two", {"\\abs\\two\\", "\\abs\\one\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        search_path_set_text(host_path, "");
        host_path.end = host_path.start;
        search_path_add_text(host_path, c.text, 0);
        EXPECT_EQ(entries(), c.expected);
    }
}

TEST_F(SearchPath, AddpathPutsTheCellsDirectoriesFirstInTheirOrder)
{
    search_path_add(host_path, "\\old\\", 1);
    addpath(test::cell_row({test::text("/a"), test::text("/b")}));
    EXPECT_EQ(entries(), (strings{"\\a\\", "\\b\\", "\\old\\"}));
    addpath(test::text("/c"));
    EXPECT_EQ(entries().front(), "\\c\\");
}

TEST_F(SearchPath, TextsAreStoredUnchangedAndListedWithSemicolons)
{
    EXPECT_EQ(test::text_of(vorlanpath()), "");
    vorlanpath(test::text("c:\\x;d:\\y"));
    EXPECT_EQ(entries(), (strings{"c:\\x", "d:\\y"})) << "no backslash is added";
    EXPECT_EQ(test::text_of(vorlanpath()), "c:\\x;d:\\y;");
    EXPECT_EQ(test::text_of(path()), "c:\\x;d:\\y;");
    EXPECT_EQ(test::text_of(vorlanroot()), "c:\\x");
    path(test::text("/p"));
    EXPECT_EQ(test::text_of(path()), "/p;");
    path(test::text("\\a\\"), test::text("/b"));
    EXPECT_EQ(entries(), (strings{"\\b\\", "\\a\\"})) << "the second argument comes first";
}

TEST_F(SearchPath, WithoutAHostPathTheFunctionsRefuse)
{
    mpath_pointer = nullptr;
    const char* text = "path is not available in compiled programs.";
    EXPECT_ERROR(vorlanpath(), text);
    EXPECT_ERROR(vorlanpath(test::text("a")), text);
    EXPECT_ERROR(vorlanroot(), text);
    EXPECT_ERROR(path(), text);
    EXPECT_ERROR(path(test::text("a"), test::text("b")), text);
    EXPECT_ERROR(addpath(test::text("a")), text);
}

TEST_F(SearchPath, OpenOnPathPrefersTheCurrentDirectoryAndOnlyTheExtendedName)
{
    tmp.write("lib/f.v", "library");
    tmp.write("lib/g", "bare");
    tmp.write("lib/h.v", "path");
    tmp.write("h.v", "current");
    search_path_add_text(host_path, "lib", 1);
    struct Case {
        const char* name;
        int add_ext;
        const char* opened;   // nullptr: not found
        const char* content;
    };
    const std::string lib = tmp.language() + "\\lib\\";
    const std::vector<Case> cases = {
        {"f", 1, "lib\\f.v", "library"},
        {"h", 1, "h.v", "current"},
        {"g", 1, nullptr, nullptr},
        {"g", 0, "lib\\g", "bare"},
        {"f.v", 0, "lib\\f.v", "library"},
        {"none", 1, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = c.name;
        std::FILE* f = open_on_path(&host_path, nullptr, name, c.add_ext);
        if (!c.opened) {
            EXPECT_EQ(f, nullptr);
            continue;
        }
        ASSERT_NE(f, nullptr);
        char buf[32] = {};
        std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        EXPECT_STREQ(buf, c.content);
        std::string expected = c.opened;
        if (expected.rfind("lib", 0) == 0)
            expected = tmp.language() + "\\" + expected;
        EXPECT_EQ(name, expected);
    }
    std::string name = "f";
    EXPECT_EQ(open_on_path(nullptr, nullptr, name, 1), nullptr) << "no path: the current directory only";
}

TEST_F(SearchPath, FindOnPathLooksInTheCallersAndPrivateFoldersBeforeThePath)
{
    tmp.write("own/a.v", "");
    tmp.write("base/private/b.v", "");
    tmp.write("lib/b.v", "");
    search_path_add_text(host_path, "lib", 1);
    std::string where;
    const std::string own = tmp.language() + "\\own\\";
    const std::string base = tmp.language() + "\\base";
    ASSERT_TRUE(find_on_path(host_path, base.c_str(), own.c_str(), "a", 1, where));
    EXPECT_EQ(where, own);
    ASSERT_TRUE(find_on_path(host_path, base.c_str(), own.c_str(), "b", 1, where));
    EXPECT_EQ(where, base + "\\private\\");
    ASSERT_TRUE(find_on_path(host_path, nullptr, nullptr, "b", 1, where));
    EXPECT_EQ(where, tmp.language() + "\\lib\\");
    EXPECT_FALSE(find_on_path(host_path, nullptr, nullptr, "c", 1, where));
}

// A named pipe on the path is found without being opened: opening one
// waits for a writer (with none the lookup never returned), and closing it
// again would leave a writer without its reader.
TEST_F(SearchPath, FindingANamedPipeDoesNotOpenIt)
{
    tmp.write("lib/placeholder", "");
    ASSERT_EQ(::mkfifo((tmp.path() / "lib" / "pipe.v").c_str(), 0600), 0);
    search_path_add_text(host_path, "lib", 1);
    std::string where;
    ASSERT_TRUE(find_on_path(host_path, nullptr, nullptr, "pipe", 1, where));
    EXPECT_EQ(where, tmp.language() + "\\lib\\");
    EXPECT_FALSE(find_on_path(host_path, nullptr, nullptr, "lib", 0, where)) << "a directory is no file";
}

TEST(PathText, SplitAndTrailingBackslash)
{
    struct Case {
        const char* path;
        const char* dir;
        const char* name;
    };
    const std::vector<Case> cases = {
        {"name.v", "", "name.v"}, {"c:\\x\\foo.v", "c:\\x\\", "foo.v"}, {"/a/b\\c", "/a/b\\", "c"}, {"dir/", "dir/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string d, n;
        split_dir_and_name(c.path, &d, &n);
        EXPECT_EQ(d, c.dir);
        EXPECT_EQ(n, c.name);
    }
    EXPECT_EQ(add_trailing_backslash(""), "");
    EXPECT_EQ(add_trailing_backslash("a"), "a\\");
    EXPECT_EQ(add_trailing_backslash("a/"), "a/");
    EXPECT_EQ(add_trailing_backslash("a\\"), "a\\");
}

} // namespace
