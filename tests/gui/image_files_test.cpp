// Writing image files through the engine's image-file object: the argument
// forms, the properties written in order, and no object left behind.
#include "test_support.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace vt = vizmo::test;

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        vt::reset();
        char pattern[] = "/tmp/numrun_imwrite_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        for (const std::string& f : made)
            std::remove(f.c_str());
        rmdir(dir.c_str());
        vt::reset();
    }
    std::string file(const char* name)
    {
        made.push_back(dir + "/" + name);
        return made.back();
    }
    std::string dir;
    std::vector<std::string> made;
};

bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The first bytes of a file.
std::string magic(const std::string& path, std::size_t n)
{
    std::string out(n, '\0');
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return "";
    out.resize(std::fread(out.data(), 1, n, f));
    std::fclose(f);
    return out;
}

TEST_F(ImageFiles, ImageAndNameUseTheCurrentColormap)
{
    figure();
    const Mm image = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    colormap(test::real(4, 3, {0, 0.25, 0.5, 1, 0, 0.25, 0.5, 1, 0, 0.25, 0.5, 1}));
    const std::string small = file("small.bmp");
    EXPECT_EQ(test::error_of([&] { imwrite(test::cell_row({image, TM(small.c_str())})); }),
              "vizmo: image data do not fit the colormap")
        << "six colours against the figure's four";
    colormap(TM("gray"));
    const std::string path = file("a.bmp");
    const std::size_t mark = vt::mark();
    EXPECT_EQ(test::error_of([&] { imwrite(test::cell_row({image, TM(path.c_str())})); }), "");
    std::vector<std::string> log;
    for (const std::string& line : vt::since(mark))
        if (line.rfind("create", 0) == 0 || line.rfind("store", 0) == 0 || line.rfind("kill", 0) == 0)
            log.push_back(line);
    ASSERT_EQ(log.size(), 3u) << ::testing::PrintToString(log);
    const std::string h = log[0].substr(std::string("create axes ").size());
    EXPECT_EQ(log[0], "create axes " + h);
    EXPECT_EQ(log[1], "store " + h + " " + path);
    EXPECT_EQ(log[2], "kill " + h);
    EXPECT_EQ(magic(path, 2), "BM");
}

TEST_F(ImageFiles, ArgumentForms)
{
    figure();
    const Mm image = test::real(2, 2, {1, 2, 3, 4});
    const Mm map = test::real(4, 3, {0, 0.25, 0.5, 1, 0, 0.25, 0.5, 1, 0, 0.25, 0.5, 1});
    const std::string png = "\x89PNG";
    struct Case {
        const char* what;
        std::string path;
        std::vector<Mm> rest;  // after the image and before/after the name
        bool map_first;
        std::string magic;
    };
    const std::vector<Case> cases = {
        {"the format from the name", file("b.bmp"), {}, false, "BM"},
        {"a format", file("c.bmp"), {TM("png")}, false, png},
        {"a format and a pair after it", file("d.bmp"), {TM("bmp"), TM("Format"), TM("png")}, false, png},
        {"a map and one more argument, ignored", file("e.bmp"), {TM("Format")}, true, "BM"},
        {"a map and a pair", file("f.bmp"), {TM("Format"), TM("png")}, true, png},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Mm> args = {image};
        if (c.map_first)
            args.push_back(map);
        args.push_back(TM(c.path.c_str()));
        args.insert(args.end(), c.rest.begin(), c.rest.end());
        EXPECT_EQ(test::error_of([&] { imwrite(test::cell_row(args)); }), "");
        EXPECT_EQ(magic(c.path, c.magic.size()), c.magic);
    }
}

TEST_F(ImageFiles, RefusalsLeaveNoObject)
{
    vizmo_create_object("Figure", -1);
    const double next = vizmo_create_object("Axes", -1) + 1;
    EXPECT_EQ(test::error_of([] { imwrite(test::cell_row({})); }), "imwrite: need to have at least one parameter");
    const std::string path = file("e.bmp");
    EXPECT_EQ(test::error_of([&] { imwrite(test::cell_row({TM("text"), TM(path.c_str())})); }),
              "im* can get only uint8 or double matrices");
    EXPECT_FALSE(vt::exists(next));
    EXPECT_EQ(vizmo_create_object("Axes", -1), next) << "no object was made in between";
    EXPECT_FALSE(exists(path));

    // An error after the object exists still deletes it.
    figure();
    const std::size_t mark = vt::mark();
    EXPECT_NE(test::error_of([&] {
                  imwrite(test::cell_row({test::real(1, 1, {1}), TM(path.c_str()), TM("bmp"), Mm(5.0), Mm(6.0)}));
              }),
              "");
    std::vector<std::string> lifecycle;
    for (const std::string& line : vt::since(mark))
        if (line.rfind("create axes", 0) == 0 || line.rfind("kill", 0) == 0)
            lifecycle.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(lifecycle, (std::vector<std::string>{"create", "kill"}));
    EXPECT_FALSE(exists(path)) << "nothing stored";
}

} // namespace
