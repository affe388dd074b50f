// The unsupported-function entry points: each answers "Stub called." and
// leaves the engine, the output stream and its output arguments alone.
#include "test_support.hpp"
#include "vizmo_test.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

struct Stub {
    const char* name;
    std::function<Mm()> call;
};

const Mm some = test::row({1, 2, 3});
const Mm word = test::text("abc");

const std::vector<Stub> stubs = {
    {"frame2im", [] { return frame2im(some); }},
    {"im2frame", [] { return im2frame(some, some); }},
    {"movie", [] { return movie(); }},
    {"spinmap", [] { return spinmap(some, some); }},
    {"contourc", [] { return contourc(some, some, some, some); }},
    {"doc", [] { return doc(word); }},
    {"getline", [] { return getline(some); }},
    {"getrect", [] { return getrect(); }},
    {"helpfun", [] { return helpfun(word); }},
    {"hthelp", [] { return hthelp(word); }},
    {"htpp", [] { return htpp(word); }},
    {"light", [] { return light(word, some); }},
    {"lightangle", [] { return lightangle(some, some, some); }},
    {"lighting", [] { return lighting(word); }},
    {"loadhtml", [] { return loadhtml(word); }},
    {"material", [] { return material(word); }},
    {"uirestore", [] { return uirestore(some); }},
    {"uisuspend", [] { return uisuspend(some); }},
    {"web", [] { return web(word); }},
    {"rbbox", [] { return rbbox(some, some); }},
    {"dragrect", [] { return dragrect(some); }},
    {"copyobj", [] { return copyobj(some, some); }},
    {"selectmoveresize", [] { return selectmoveresize(); }},
    {"setptr", [] { return setptr(some, word); }},
    {"struct2handle", [] { return struct2handle(some, some); }},
    {"handle2struct", [] { return handle2struct(some); }},
    {"hardcopy", [] { return hardcopy(some, word, word); }},
    {"pagedlg", [] { return pagedlg(); }},
    {"ctlpanel", [] { return ctlpanel(); }},
    {"movie (17 values)",
     [] {
         return movie(some, some, some, some, some, some, some, some, some, some, some, some, some, some,
                      some, some, some);
     }},
};

TEST(Stubs, EveryEntryPointAnswersTheFixedTextAndDoesNothingElse)
{
    vt::reset();
    for (const Stub& s : stubs) {
        SCOPED_TRACE(s.name);
        test::clear_printed();
        const std::size_t mark = vt::mark();
        Mm r;
        EXPECT_EQ(test::error_of([&] { r = s.call(); }), "");
        EXPECT_TRUE(r.isstr());
        EXPECT_EQ(r.rows(), 1);
        EXPECT_EQ(r.cols(), 12);
        EXPECT_EQ(test::text_of(r), "Stub called.");
        EXPECT_EQ(test::printed(), "");
        EXPECT_TRUE(vt::since(mark).empty());
    }
}

TEST(Stubs, TwoOutputGetlineLeavesItsOutputsAsTheyWere)
{
    Mm x = test::row({7, 8});
    Mm y = test::text("kept");
    const Mm r = getline(some, word, i_o, x, y);
    EXPECT_EQ(test::text_of(r), "Stub called.");
    EXPECT_EQ(test::values(x), (std::vector<double>{7, 8}));
    EXPECT_EQ(test::text_of(y), "kept");
}

// A program that reads lines with the C library's getline and also sees the
// stub's overloads must still reach the C function.
TEST(Stubs, CLibraryGetlineStaysReachable)
{
    char data[] = "first line\nsecond\n";
    std::FILE* f = fmemopen(data, sizeof data - 1, "r");
    ASSERT_NE(f, nullptr);
    char* line = nullptr;
    std::size_t capacity = 0;
    const ssize_t n = getline(&line, &capacity, f);
    EXPECT_EQ(n, 11);
    EXPECT_EQ(std::string(line), "first line\n");
    std::free(line);
    std::fclose(f);
}

} // namespace
