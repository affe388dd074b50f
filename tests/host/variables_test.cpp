// The language functions over the workspace, with tracking on and a fresh
// temporary directory: clear, exist, which, who, whos and openvar.
#include "test_support.hpp"

#include "temp_dir.hpp"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class Variables : public ::testing::Test {
protected:
    void SetUp() override
    {
        scope_tracking = 1;
        variables_scope.reset();
        clear_frame(1);
        saved_path = mpath_pointer;
        mpath_pointer = &host_path;
        test::clear_printed();
    }
    void TearDown() override
    {
        variables_scope.reset();
        clear_frame(1);
        scope_tracking = 0;
        mpath_pointer = saved_path;
    }
    static void clear_frame(int f)
    {
        while (variables_scope.scope_count(f) > 0)
            variables_scope.scope_remove_entry(variables_scope.scope_count(f) - 1, f);
    }
    static Mm t(const char* s) { return test::text(s); }

    test::temp_dir tmp;
    search_path host_path;
    void* saved_path = nullptr;
};

TEST_F(Variables, ExistTellsWhatANameIs)
{
    tmp.write("lib/onpath.v", "function onpath\n");
    tmp.write("here.v", "");
    std::filesystem::create_directory(tmp.path() / "folder");
    search_path_add_text(host_path, "lib", 1);
    Mm x(i_o, "x", 0);
    x = 4.0;
    Mm declared(i_o, "declared", 0);
    struct Case {
        const char* name;
        double code;
    };
    const std::vector<Case> cases = {
        {"_VORSEN_", 9}, {"x", 1}, {"declared", 0}, {"onpath", 2}, {"here", 2}, {"here.v", 2},
        {"folder", 7}, {"nothing", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::at(exist(t(c.name)), 0), c.code);
    }
    EXPECT_EQ(test::at(exist(t("x"), t("var")), 0), 1);
    EXPECT_EQ(test::at(exist(t("x"), t("file")), 0), 0);
    EXPECT_EQ(test::at(exist(t("onpath"), t("file")), 0), 2);
    EXPECT_EQ(test::at(exist(t("folder"), t("dir")), 0), 7);
    EXPECT_EQ(test::at(exist(t("x"), t("builtin")), 0), 0);
    EXPECT_ERROR(exist(Mm(5.0)), "exist: argument is not string");
}

TEST_F(Variables, WhichDescribesAName)
{
    tmp.write("lib/f.v", "");
    search_path_add_text(host_path, "lib", 1);
    Mm v(i_o, "v", 0);
    EXPECT_EQ(test::text_of(which(t("v"))), "a variable");
    EXPECT_EQ(test::text_of(which(t("f"))), tmp.language() + "\\lib\\f.v");
    EXPECT_EQ(test::text_of(which(t("nope"))), "unknown");
    char out[512];
    std::memset(out, 'x', sizeof out);
    describe_name(std::string(2000, 'a').c_str(), out);
    EXPECT_STREQ(out, "unknown");
}

TEST_F(Variables, WhosListsTheTopFrame)
{
    Mm empty = whos();
    EXPECT_EQ(empty.gettype(), qv_cell);
    EXPECT_FALSE(empty.isstruct());
    EXPECT_EQ(empty.size(), 0) << "the empty cell";
    Mm a(i_o, "a", 0);
    a = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    Mm s(i_o, "s", 0);
    s = t("text");
    Mm list = whos();
    ASSERT_TRUE(list.isstruct());
    ASSERT_EQ(list.size(), 2);
    Mm names = who();
    EXPECT_EQ(test::extents(names), (std::vector<int>{2, 1}));
    EXPECT_EQ(test::text_of(names.mr(1)), "a");
    EXPECT_EQ(test::text_of(names.mr(2)), "s");
    Mm fields_of_a = list.mr(1);
    EXPECT_EQ(test::values(fields_of_a.mr(2)), (std::vector<double>{2, 3}));
    EXPECT_EQ(test::at(fields_of_a.mr(3), 0), 48) << "8 bytes per element";
    EXPECT_EQ(test::text_of(fields_of_a.mr(4)), "double");
    EXPECT_EQ(test::text_of(list.mr(2).mr(4)), "char");
}

TEST_F(Variables, WhosOfADataFileListsItsVariables)
{
    Mm p(Mm(1.0), "p"), q(Mm(2.0), "q");
    save(t("two"), (CL(p), q));
    Mm names = who(Mm(), t("two"));
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(test::text_of(names.mr(1)), "p");
    EXPECT_EQ(test::text_of(names.mr(2)), "q");
    saveV4(t("four"), (CL(q), p));
    names = who(Mm(), t("four"));
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(test::text_of(names.mr(1)), "q");
    tmp.write("m.txt", "1 2\n3 4\n");
    names = who(Mm(), t("m.txt"));
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(test::text_of(names.mr(1)), "m");
    EXPECT_ERROR(whos(Mm(), t("missing")), "load: missing not found");
}

TEST_F(Variables, ClearEmptiesTheFrameOrTheListedVariables)
{
    Mm a(i_o, "a", 0), b(i_o, "b", 0);
    a = 1.0;
    b = 2.0;
    clear(CL(a));
    EXPECT_EQ(variables_scope.scope_count(1), 1);
    EXPECT_EQ(a.size(), 0) << "the value is gone";
    clear();
    EXPECT_EQ(variables_scope.scope_count(1), 0);
}

TEST_F(Variables, OpenvarShowsTheValueWithoutAViewer)
{
    openvar(t("nope"));
    EXPECT_EQ(test::printed(), "Variable 'nope' not found.\n");
    test::clear_printed();
    Mm v(i_o, "v", 0);
    v = 7.0;
    openvar(t("  v"));
    EXPECT_NE(test::printed().find("7"), std::string::npos) << test::printed();
}

} // namespace
