// Colour control against the headless engine: the current colormap by
// matrix or by generator name, and the default background colours.
#include "test_support.hpp"

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <functional>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

std::vector<double> values_of(double h, const char* name) { return vt::prop(h, name).data; }

class Colour : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
};

TEST_F(Colour, ColormapWithoutAFigureIsJetAndMakesNone)
{
    EXPECT_EQ(test::values(colormap()), test::values(jet(Mm(64.0))));
    EXPECT_LT(vizmo_current_figure(), 0);
    const double f = vizmo_create_object("Figure", -1);
    colormap(test::real(2, 3, {0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(values_of(f, "ColorMap"), (std::vector<double>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(test::values(colormap()), (std::vector<double>{0, 1, 0, 1, 0, 1}));
}

TEST_F(Colour, ColormapByName)
{
    struct Case {
        const char* name;
        std::function<Mm()> expected;
    };
    const std::vector<Case> cases = {
        {"HOT", [] { return hot(); }},       {"hot", [] { return hot(); }},
        {"hsv", [] { return hsv(); }},       {"Default", [] { return jet(); }},
        {"JET", [] { return jet(); }},       {"greyish", [] { return grey(); }},
        {"gray", [] { return gray(); }},     {"copperplate", [] { return copper(); }},
        {"Autumn", [] { return autumn(); }}, {"linesx", [] { return lines(); }},
        {"bone", [] { return bone(); }},     {"winter", [] { return winter(); }},
    };
    const double f = vizmo_create_object("Figure", -1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        colormap(TM(c.name));
        const std::vector<double> expected = test::values(c.expected());
        EXPECT_EQ(expected.size(), 192u);
        EXPECT_EQ(values_of(f, "ColorMap"), expected);
    }
}

TEST_F(Colour, ColormapRefusals)
{
    const double f = vizmo_create_object("Figure", -1);
    colormap(TM("pink"));
    const std::vector<double> before = values_of(f, "ColorMap");
    struct Case {
        const char* what;
        Mm map;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"a single letter", TM("j"), "Unrecognized variation of colormap"},
        {"shorter than every name", TM("gr"), "Unrecognized variation of colormap"},
        {"two columns", test::real(2, 2, {0, 1, 0, 1}), "colormap should have 3 columns"},
        {"above one", test::row({2, 0, 0}), "colormap values should be <=1"},
        {"below zero", test::row({-1, 0, 0}), "colormap values should be >=0"},
        {"the minimum is tested first", test::row({-1, 2}), "colormap values should be >=0"},
        {"above one before the columns", test::row({2, 0}), "colormap values should be <=1"},
        {"a NaN colour", test::row({0, std::nan(""), 0}), "colormap values should be >=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::error_of([&] { colormap(c.map); }), c.message);
        EXPECT_EQ(values_of(f, "ColorMap"), before);
    }
    // A name too long for the buffer is chopped to nothing, with a warning.
    const std::string longer(300, 'j');
    EXPECT_EQ(test::error_of([&] { colormap(TM(longer.c_str())); }), "Unrecognized variation of colormap");
}

TEST_F(Colour, EmptyArgumentsDoNothing)
{
    for (const Mm& empty : {TM(""), x_M, Mm(0, 0, 0, 0, 3, qv_double)}) {
        const std::size_t mark = vt::mark();
        EXPECT_EQ(colormap(empty).size(), 0);
        EXPECT_TRUE(vt::since(mark).empty());
        EXPECT_LT(vizmo_current_figure(), 0);
    }
}

TEST_F(Colour, ColordefOfTheRootAFigureOrANewFigure)
{
    EXPECT_EQ(colordef(Mm(0.0), TM("white")).r(), 0);
    EXPECT_EQ(values_of(0, "DefaultAxesColor"), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{1, 1, 1}));
    const std::vector<std::string> w = vt::writes(0);
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(w.end() - 2, w.end()),
              (std::vector<std::string>{"DefaultAxesColor", "DefaultFigureColor"}));

    colordef(TM("black"));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{0, 0, 0}));

    const Mm f = colordef(TM("new"), TM("black"));
    ASSERT_GT(f.r(), 0);
    EXPECT_TRUE(vt::exists(f.r()));
    EXPECT_EQ(values_of(f.r(), "WhiteBackgroundPrint"), (std::vector<double>{0, 0, 0}));
    EXPECT_EQ(values_of(f.r(), "DefaultAxesColor"), (std::vector<double>{0, 0, 0}));

    colordef(f, TM("w"));
    EXPECT_EQ(values_of(f.r(), "WhiteBackgroundPrint"), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(values_of(0, "DefaultFigureColor"), (std::vector<double>{0, 0, 0})) << "a figure leaves the root";

    EXPECT_EQ(test::error_of([] { colordef(Mm(0.0), Mm(1.0)); }), "colordef(a,x): x= must be 'black','white','none'");
    EXPECT_NE(test::error_of([] { colordef(Mm(0.0), TM("nosuchcolour")); }), "");
}

TEST(LowercaseInPlace, FoldsOnlyAToZ)
{
    char text[] = "AbC-Z@[\xc4z";
    lowercase_in_place(text);
    EXPECT_STREQ(text, "abc-z@[\xc4z");
    lowercase_in_place(nullptr);
}

} // namespace
