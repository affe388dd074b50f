// Handle properties against the headless engine: set and get with their
// conversions, UserData kept in the library, the property-list walk, the
// argument-list helpers and ishandle.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "test_support.hpp"
#include "value/heap_cells.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

class Properties : public ::testing::Test {
protected:
    void SetUp() override
    {
        vt::reset();
        test::clear_printed();
        h = vizmo_create_object("line", -1);
        h2 = vizmo_create_object("line", -1);
    }
    void TearDown() override
    {
        vt::reset();
        test::clear_printed();
    }
    double h = 0, h2 = 0;
};

Mm handle(double v) { return Mm(v); }
Mm pair(double a, double b) { return test::row({a, b}); }

std::uintptr_t stored_address(double h)
{
    const vt::Value v = vt::prop(h, "UserData");
    return v.data.empty() ? 0 : static_cast<std::uintptr_t>(v.data[0]);
}

Mm a_struct()
{
    return mstruct(test::cell_row({TM("name"), TM("value"), TM("size"), test::row({1, 2, 3})}));
}

TEST_F(Properties, UserDataStaysInTheLibrary)
{
    const Mm s = a_struct();
    set(handle(h), TM("userdata"), s);
    EXPECT_TRUE(isequal(get(handle(h), TM("UserData")), s));
    const std::uintptr_t first = stored_address(h);
    ASSERT_NE(first, 0u);
    EXPECT_TRUE(heap_cell_is_live(first));
    EXPECT_EQ(s.dirty(), 1) << "the stored copy shares the value";

    const Mm c = test::cell_row({TM("x"), Mm(2.0)});
    set(handle(h), TM("USER"), c);
    EXPECT_TRUE(isequal(get(handle(h), TM("userdata")), c)) << "any name starting with user";
    EXPECT_EQ(s.dirty(), 0) << "the first stored copy was freed";
    EXPECT_EQ(vt::writes(h), (std::vector<std::string>{"UserData", "UserData"})) << "always the exact name";

    set(pair(h, h2), TM("UserData"), Mm(5.0));
    EXPECT_NE(stored_address(h), stored_address(h2)) << "each handle holds its own copy";
    EXPECT_EQ(test::values(get(handle(h2), TM("UserData"))), (std::vector<double>{5}));

    const Mm kept = test::row({1, 2});
    set(handle(h2), TM("UserData"), kept);
    EXPECT_EQ(kept.dirty(), 1);
    const std::uintptr_t held = stored_address(h2);
    set(handle(h2), TM("Kill"), Mm(0.0));
    EXPECT_EQ(kept.dirty(), 0) << "the engine frees it with its object";
    EXPECT_FALSE(heap_cell_is_live(held) && held != stored_address(h));

    const double fresh = vizmo_create_object("line", -1);
    const Mm never = get(handle(fresh), TM("UserData"));
    EXPECT_EQ(never.size(), 0);
    EXPECT_EQ(never.gettype(), qv_double);

    double foreign = 123456;
    miniM m{2, {1, 1, 1, 1}, 0, &foreign};
    vizmo_set_property(fresh, "UserData", &m);
    EXPECT_EQ(get(handle(fresh), TM("UserData")).size(), 0) << "a number that is no value of ours reads empty";
    set(handle(fresh), TM("UserData"), Mm(1.0));  // and is not freed when replaced
    EXPECT_EQ(test::values(get(handle(fresh), TM("UserData"))), (std::vector<double>{1}));
}

TEST_F(Properties, AUserDataWriteToADeadHandleIsRefusedBeforeAnyCopy)
{
    set(handle(h), TM("Kill"), Mm(0.0));
    const Mm value = a_struct();
    const std::size_t mark = vt::mark();
    EXPECT_ERROR(set(pair(h2, h), TM("UserData"), value), "set: no graphics object has the handle " +
                                                              std::to_string(static_cast<int>(h)) +
                                                              ".5 (writing UserData)");
    EXPECT_TRUE(vt::since(mark).empty()) << "nothing reaches the engine, not even the live handle's copy";
    EXPECT_EQ(value.dirty(), 0) << "no copy is left behind";
    EXPECT_EQ(get(handle(h2), TM("UserData")).size(), 0);
}

TEST_F(Properties, CellStringsKeepTheirForm)
{
    set(handle(h), TM("String"), test::cell_row({TM("ab"), TM("c")}));
    EXPECT_EQ(vt::prop(h, "CellString").data, (std::vector<double>{1}));
    const vt::Value v = vt::prop(h, "String");
    EXPECT_TRUE(v.is_string);
    EXPECT_EQ(v.dims[0], 2);
    EXPECT_EQ(v.dims[1], 2);
    EXPECT_EQ(v.text(), "acb ");
    const Mm back = get(handle(h), TM("string"));
    ASSERT_TRUE(iscell(back));
    EXPECT_EQ(back.size(), 2);
    EXPECT_EQ(test::text_of(back.mr(1)), "ab");
    EXPECT_EQ(test::text_of(back.mr(2)), "c");

    set(handle(h), TM("String"), TM("plain"));
    EXPECT_EQ(vt::prop(h, "CellString").data, (std::vector<double>{0}));
    EXPECT_EQ(test::text_of(get(handle(h), TM("String"))), "plain");
}

TEST_F(Properties, ImageDataComesBackInTheFormItWasGiven)
{
    struct Case {
        const char* what;
        Mm value;
        std::vector<double> engine;
        double flag;  // CDataIsDouble, NaN: not written
        int type;
        std::vector<double> back;
    };
    const std::vector<Case> cases = {
        {"doubles", test::row({0.5, 7}), {0.5, 7}, 1, qv_double, {0.5, 7}},
        {"uint8 indices", test::bytes(1, 2, {0, 255}), {1, 256}, 0, qv_uint8, {0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set(handle(h), TM("CData"), c.value);
        EXPECT_EQ(vt::prop(h, "CData").data, c.engine);
        EXPECT_EQ(vt::prop(h, "CDataIsDouble").data, (std::vector<double>{c.flag}));
        const Mm back = get(handle(h), TM("cdata"));
        EXPECT_EQ(back.gettype(), c.type);
        std::vector<double> got;
        for (int k = 1; k <= back.size(); ++k)
            got.push_back(c.type == qv_uint8 ? *back.getpr((unsigned char*)nullptr, k) : *back.addr(k));
        EXPECT_EQ(got, c.back);
    }

    // An image-file object has no flag: the engine's numbers become uint8.
    const double file = vizmo_create_object("axes", -1);
    double idx[2] = {3, 300};
    miniM m{2, {1, 2, 1, 1}, 0, idx};
    vizmo_set_property(file, "CData", &m);
    const Mm raw = get(handle(file), TM("CData"));
    ASSERT_EQ(raw.gettype(), qv_uint8);
    EXPECT_EQ(*raw.getpr((unsigned char*)nullptr, 1), 3);
    EXPECT_EQ(*raw.getpr((unsigned char*)nullptr, 2), 300 - 256) << "as the library's uint8 conversion gives";

    // Bytes the engine keeps as bytes read back as they are, whatever the
    // flag an earlier write left.
    set(handle(h), TM("CData"), test::bytes(1, 2, {0, 255}));
    unsigned char kept[2] = {7, 9};
    miniM b{2, {1, 2, 1, 1}, 0, nullptr};
    b.isBytes = 1;
    b.bytes = kept;
    vizmo_set_property(h, "CData", &b);
    const Mm bytes = get(handle(h), TM("CData"));
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    EXPECT_EQ(*bytes.getpr((unsigned char*)nullptr, 1), 7);
    EXPECT_EQ(*bytes.getpr((unsigned char*)nullptr, 2), 9);

    Mm truecolor = test::counting({1, 2, 3});
    set(handle(h), TM("CData"), truecolor);
    const Mm three = get(handle(h), TM("CData"));
    EXPECT_EQ(three.gettype(), qv_double);
    EXPECT_EQ(test::extents(three), (std::vector<int>{1, 2, 3}));
}

TEST_F(Properties, SparseAndComplexValuesCrossAsFullRealOnes)
{
    set(handle(h), TM("XData"), sparse(test::row({0, 5, 0})));
    EXPECT_EQ(vt::prop(h, "XData").data, (std::vector<double>{0, 5, 0}));
    set(handle(h), TM("YData"), test::complex(1, 2, {1, 2}, {3, 4}));
    EXPECT_EQ(vt::prop(h, "YData").data, (std::vector<double>{1, 2}));
    set(sparse(test::row({h, h2})), TM("Tag"), Mm(4.0));
    EXPECT_EQ(vt::prop(h2, "Tag").data, (std::vector<double>{4})) << "sparse handles";
}

TEST_F(Properties, ARefusedValueWritesNothing)
{
    struct Case {
        const char* what;
        Mm value;
    };
    const std::vector<Case> cases = {
        {"a struct", a_struct()},
        {"a cell of numbers", test::cell_row({Mm(1.0), Mm(2.0)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::clear_printed();
        EXPECT_ERROR(set(pair(h, h2), TM("String"), c.value),
                     "set(h,name,value): can only accept value of type double or strings cell");
        EXPECT_FALSE(test::printed().empty()) << "the value is shown first";
        EXPECT_TRUE(vt::writes(h).empty());
        EXPECT_TRUE(vt::writes(h2).empty());
    }
    EXPECT_ERROR(set(handle(h), TM("CData"), Mm(0, 0, 0, 4, std::vector<int>{1, 1, 1, 2}.data(), qv_uint8)),
                 "uint8 images suppoort (1) NxMx3 of 0..255 or (2) NxM of 0..255");
    EXPECT_TRUE(vt::writes(h).empty()) << "not even CDataIsDouble";
}

TEST_F(Properties, ColoursTheEngineCannotShowAreRefused)
{
    const Mm f = figure();
    set(f, TM("Color"), test::row({0.5, 0.25, 1}));
    struct Case {
        const char* what;
        Mm value;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"a word", TM("purple"), "'purple' is illegal color"},
        {"components out of range", test::row({2, -1, 0.5}),
         "Color: [2 -1 0.5] is illegal color: use [r g b] with each of r, g, b from 0 to 1, or a colour name"},
        {"two components", test::row({1, 0}),
         "Color: [1 0] is illegal color: use [r g b] with each of r, g, b from 0 to 1, or a colour name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(set(f, TM("Color"), c.value), c.message);
        EXPECT_EQ(test::values(get(f, TM("Color"))), (std::vector<double>{0.5, 0.25, 1})) << "unchanged";
    }
    set(f, TM("Color"), TM("red"));
    EXPECT_EQ(test::values(get(f, TM("Color"))), (std::vector<double>{1, 0, 0}));
}

TEST_F(Properties, BadValuesNamesAndHandlesAreRefusedAndChangeNothing)
{
    // Each bad write, to a line, a patch, a surface and a plotted series
    // given good values first: a clear error naming the property and what
    // was wrong, and every property of the object as it was.
    struct Case {
        const char* what;
        const char* name;
        Mm value;
        std::string message;  // ending in "type " for the object's type to follow
    };
    const std::string width = " is no line width: use a number above 0 and at most 1000";
    const std::string style = " is no line style: use '-', ':', '-.', '--' or 'none'";
    const std::string marker = " is no marker: use one of . o x + * s d ^ v > < p h, or 'none'";
    const std::vector<Case> cases = {
        {"a word for a width", "LineWidth", TM("thick"), "LineWidth: 'thick'" + width},
        {"a width past any screen", "LineWidth", Mm(1e9), "LineWidth: [1e+09]" + width},
        {"no width", "LineWidth", Mm(0.0), "LineWidth: [0]" + width},
        {"a negative width", "linewidth", Mm(-2.0), "linewidth: [-2]" + width},
        {"NaN", "LineWidth", Mm(NAN), "LineWidth: [nan]" + width},
        {"infinity", "LineWidth", Mm(INFINITY), "LineWidth: [inf]" + width},
        {"two widths", "LineWidth", test::row({1, 2}), "LineWidth: [1 2]" + width},
        {"a word for a size", "MarkerSize", TM("big"),
         "MarkerSize: 'big' is no marker size: use a number above 0 and at most 1000"},
        {"a style past the table", "LineStyle", Mm(17.0), "LineStyle: [17]" + style},
        {"a style no index", "LineStyle", Mm(1.5), "LineStyle: [1.5]" + style},
        {"a style it does not know", "LineStyle", TM("~"), "LineStyle: '~'" + style},
        {"three dashes", "LineStyle", TM("---"), "LineStyle: '---'" + style},
        {"a marker letter it does not know", "Marker", TM("q"), "Marker: 'q'" + marker},
        {"a marker past the table", "Marker", Mm(13.0), "Marker: [13]" + marker},
        {"below no marker", "Marker", Mm(-2.0), "Marker: [-2]" + marker},
        {"neither on nor off", "Visible", TM("maybe"), "Visible: 'maybe' is neither 'on' nor 'off'"},
        {"a number for a switch", "Visible", Mm(1.0), "Visible: [1] is neither 'on' nor 'off'"},
        {"no colour", "Color", TM("purple"), "'purple' is illegal color"},
        {"a name no object has", "Colr", TM("r"), "set: unknown property 'Colr' (object type "},
        {"a name of a value", "none", Mm(1.0), "set: unknown property 'none' (object type "},
        {"an empty colour", "Color", Mm(), "Color: an empty value is no colour"},
        {"an empty colour text", "Color", TM(""), "Color: an empty value is no colour"},
        {"an empty switch", "Visible", TM(""), "Visible: an empty value is no switch: use 'on' or 'off'"},
        {"an empty marker", "Marker", TM(""), "Marker: an empty value is no marker"},
        {"an empty style", "LineStyle", Mm(), "LineStyle: an empty value is no line style"},
        {"an empty width", "LineWidth", Mm(), "LineWidth: an empty value is no line width"},
        {"an empty size", "MarkerSize", TM(""), "MarkerSize: an empty value is no marker size"},
        {"a colour from data", "Color", TM("flat"), "'flat' is illegal color"},
        {"a dead parent", "Parent", Mm(12345.0), "Parent: 12345 is no object"},
        {"children written", "Children", Mm(1.0), "Children is read-only: set the Parent of each child instead"},
    };
    std::vector<double> objects = {h, vizmo_create_object("patch", -1), vizmo_create_object("surface", -1),
                                   *plot(test::cell_row({test::row({1, 2})})).addr(1)};
    for (double o : objects) {
        const std::string type = test::text_of(get(handle(o), TM("Type")));
        SCOPED_TRACE(type);
        set(handle(o), test::cell_row({TM("LineWidth"), Mm(3.0), TM("LineStyle"), TM("--"), TM("Marker"), TM("o"),
                                       TM("MarkerSize"), Mm(8.0), TM("Visible"), TM("on"), TM("Color"), TM("g")}));
        const Mm before = get(handle(o));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            const bool typed = c.message.back() == ' ';
            EXPECT_ERROR(set(handle(o), TM(c.name), c.value), typed ? c.message + type + ")" : c.message);
            EXPECT_TRUE(isequal(get(handle(o)), before)) << "nothing changed";
        }
    }
    // A handle no object has, alone or among live ones: nothing is written.
    const std::size_t mark = vt::mark();
    EXPECT_ERROR(set(Mm(12345.0), TM("Color"), TM("r")),
                 "set: no graphics object has the handle 12345 (writing Color)");
    EXPECT_ERROR(set(test::row({h, 12345.5}), TM("Tag"), TM("t")),
                 "set: no graphics object has the handle 12345.5 (writing Tag)");
    EXPECT_ERROR(set(Mm(-1.0), test::cell_row({TM("Tag"), TM("t")})),
                 "set: no graphics object has the handle -1 (writing Tag)");
    EXPECT_TRUE(vt::since(mark).empty()) << "not even to the live handle";
}

TEST_F(Properties, AParentMustBeAbleToHoldTheObject)
{
    // Each refused move leaves the object under the parent it had, with a
    // clear error; a series moves between axes and an axes between figures.
    const double fig = *gcf().addr(1), ax = *gca().addr(1);
    const double line = *plot(test::cell_row({test::row({1, 2})})).addr(1);
    const double other_fig = *figure().addr(1), other_ax = *axes().addr(1);
    const double dead = *figure().addr(1);
    deleteobj(Mm(dead));
    const double frame = *uicontrol(test::cell_row({TM("Style"), TM("frame")})).addr(1);
    const double inner = *uicontrol(test::cell_row({Mm(frame), TM("Style"), TM("pushbutton")})).addr(1);
    auto shown = [](double h) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", h);
        return std::string(buf);
    };
    struct Case {
        const char* what;
        double object, parent;
        std::string message;  // "" when the move is taken
    };
    const std::vector<Case> cases = {
        {"an axes under a line", ax, line, "Parent: a line cannot hold an axes"},
        {"a line under a line", line, line, "Parent: a line cannot hold a line"},
        {"a figure under an axes", other_fig, ax, "Parent: an axes cannot hold a figure"},
        {"an axes under an axes", other_ax, ax, "Parent: an axes cannot hold an axes"},
        {"an axes under itself", ax, ax, "Parent: an axes cannot hold an axes"},
        {"a figure under itself", fig, fig, "Parent: a figure cannot hold a figure"},
        {"a frame under its own control", frame, inner, "Parent: " + shown(inner) + " lies inside the object itself"},
        {"a line under a dead figure", line, dead, "Parent: " + shown(dead) + " is no object"},
        {"a line into the other axes", line, other_ax, ""},
        {"an axes into the other figure", ax, other_fig, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double before = *get(Mm(c.object), TM("Parent")).addr(1);
        EXPECT_ERROR(set(Mm(c.object), TM("Parent"), Mm(c.parent)), c.message);
        EXPECT_EQ(*get(Mm(c.object), TM("Parent")).addr(1), c.message.empty() ? c.parent : before);
    }
    // A figure's colour is a colour: not one taken from data.
    const Mm colour = get(Mm(fig), TM("Color"));
    for (const char* word : {"flat", "interp"}) {
        SCOPED_TRACE(word);
        EXPECT_ERROR(set(Mm(fig), TM("Color"), TM(word)), std::string("'") + word + "' is illegal color");
        EXPECT_TRUE(isequal(get(Mm(fig), TM("Color")), colour));
    }
}

TEST_F(Properties, StylesAndMarkersByTheirTextsAndSwitchesInAnyCase)
{
    // The texts a program writes for the engine's tables become their
    // indices; "none" is -1. On and off are taken in any case.
    struct Case {
        const char* name;
        const char* text;
        double index;
    };
    const std::vector<Case> cases = {
        {"LineStyle", "-", 0},  {"LineStyle", ":", 1},    {"LineStyle", "-.", 2}, {"LineStyle", "--", 3},
        {"LineStyle", "none", -1}, {"LineStyle", "None", -1}, {"Marker", ".", 0},  {"Marker", "o", 1},
        {"Marker", "s", 5},     {"Marker", "h", 12},      {"Marker", "NONE", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.text);
        set(handle(h), TM(c.name), TM(c.text));
        EXPECT_EQ(test::values(get(handle(h), TM(c.name))), std::vector<double>{c.index});
    }
    for (const char* word : {"off", "ON", "Off", "on"}) {
        set(handle(h), TM("Visible"), TM(word));
        EXPECT_EQ(vt::prop(h, "Visible").text(), word);
    }
    // The bounds are taken.
    set(handle(h), TM("LineWidth"), Mm(1000.0));
    set(handle(h), TM("LineWidth"), Mm(0.25));
    EXPECT_EQ(vt::prop(h, "LineWidth").data, std::vector<double>{0.25});
    set(handle(h), TM("LineStyle"), Mm(-1.0));
    set(handle(h), TM("Marker"), Mm(12.0));
    EXPECT_EQ(vt::prop(h, "Marker").data, std::vector<double>{12});
    // A user's property takes any value and, once made, any later write.
    setuprop(handle(h), TM("Mood"), TM("maybe"));
    set(handle(h), TM("Mood"), Mm(17.0));
    EXPECT_EQ(vt::prop(h, "Mood").data, std::vector<double>{17});
}

TEST_F(Properties, ListsWalkEveryForm)
{
    struct Colour {
        const char* word;
        std::vector<double> rgb;
    };
    for (const Colour& c : {Colour{"r", {1, 0, 0}}, Colour{"RED", {1, 0, 0}}, Colour{"white", {1, 1, 1}}}) {
        SCOPED_TRACE(c.word);
        set(handle(h), test::cell_row({TM(c.word)}));
        EXPECT_EQ(vt::prop(h, "Color").data, c.rgb);
    }

    const Mm fields = mstruct(test::cell_row({TM("Tag"), TM("value"), TM("XData"), test::row({1, 2, 3})}));
    set(handle(h), test::cell_row({TM("LineWidth"), Mm(2.0), fields, TM("Tag"), TM("t")}));
    EXPECT_EQ(vt::prop(h, "LineWidth").data, (std::vector<double>{2}));
    EXPECT_EQ(vt::prop(h, "XData").data, (std::vector<double>{1, 2, 3})) << "struct fields";
    EXPECT_EQ(vt::writes(h)[vt::writes(h).size() - 3], "Tag") << "struct fields in order";
    EXPECT_EQ(vt::prop(h, "Tag").text(), "t");

    set(handle(h), test::cell_row({test::cell_row({TM("XData"), TM("YData")}), test::cell_row({Mm(1.0), Mm(2.0)})}));
    EXPECT_EQ(vt::prop(h, "YData").data, (std::vector<double>{2}));

    // Two handles, one row of values each.
    const Mm values = test::cell_of(2, 2, {Mm(1.0), Mm(3.0), Mm(2.0), Mm(4.0)});
    set(pair(h, h2), test::cell_row({test::cell_row({TM("XData"), TM("YData")}), values}));
    EXPECT_EQ(vt::prop(h, "XData").data, (std::vector<double>{1}));
    EXPECT_EQ(vt::prop(h, "YData").data, (std::vector<double>{2}));
    EXPECT_EQ(vt::prop(h2, "XData").data, (std::vector<double>{3}));
    EXPECT_EQ(vt::prop(h2, "YData").data, (std::vector<double>{4}));

    struct Bad {
        const char* what;
        Mm list;
        const char* message;
    };
    const std::vector<Bad> bad = {
        {"a name without a value", test::cell_row({TM("LineWidth")}), "set: cannot parse in position 1"},
        {"a number", test::cell_row({TM("Tag"), Mm(1.0), Mm(3.0)}), "set: cannot parse in position 3"},
        {"cells of different sizes",
         test::cell_row({test::cell_row({TM("A"), TM("B")}), test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0)})}),
         "set: position 1: use cell1==cell2 or size(cell2)==[len(h) len(cell1)]"},
        {"a cell of names with a number", test::cell_row({test::cell_row({TM("A")}), Mm(5.0)}),
         "set: position 1: if pn is a cell, pv must be a cell as well."},
        {"a cell at the end", test::cell_row({test::cell_row({TM("A")})}), "set: cannot parse in position 1"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        EXPECT_ERROR(set(handle(h), b.list), b.message);
    }
}

TEST_F(Properties, GetShapesFollowTheHandlesAndNames)
{
    set(pair(h, h2), TM("Tag"), Mm(7.0));
    const double h3 = vizmo_create_object("line", -1);
    const Mm three = get(test::row({h, h2, h3}), TM("Tag"));
    ASSERT_TRUE(iscell(three));
    EXPECT_EQ(test::extents(three), (std::vector<int>{3, 1}));
    EXPECT_EQ(test::values(three.mr(2)), (std::vector<double>{7}));
    EXPECT_EQ(three.mr(3).size(), 0);

    const Mm none = get(Mm(), TM("Tag"));
    EXPECT_TRUE(iscell(none));
    EXPECT_EQ(test::extents(none), (std::vector<int>{0, 1}));

    const Mm grid = get(pair(h, h2), test::cell_row({TM("Tag"), TM("Type")}));
    EXPECT_EQ(test::extents(grid), (std::vector<int>{2, 2}));
    EXPECT_EQ(test::text_of(grid.mr(2, 2)), "line");
    EXPECT_EQ(test::values(get(handle(h), "Tag")), (std::vector<double>{7})) << "one handle: the value itself";
}

TEST_F(Properties, TheListingIsAStructOfSortedNames)
{
    setuprop(handle(h), TM("Zeta"), Mm(1.0));
    setuprop(handle(h), TM("alpha"), Mm(2.0));
    const Mm s = set(handle(h));
    ASSERT_TRUE(isstruct(s));
    std::vector<std::string> fields;
    for (int k = 0; k < s.getnfields(); ++k)
        fields.push_back(s.getfield(k));
    EXPECT_EQ(fields, (std::vector<std::string>{"Visible", "Zeta", "alpha"}));
    EXPECT_EQ(test::text_of(getfield(s, TM("Visible"))), "on");
    EXPECT_TRUE(isequal(get(handle(h)), s));
}

TEST_F(Properties, ALongNameIsChopped)
{
    const std::string name(300, 'x');
    EXPECT_ERROR(set(handle(h), TM(name.c_str()), Mm(1.0)),
                 "set: a name longer than 255 characters is no property (object type line)");
    EXPECT_NE(test::printed().find("Mstr: buffer too small - chopped"), std::string::npos);
    EXPECT_TRUE(vt::writes(h).empty());
    // A user property may take any name: the chopped one reaches the engine.
    setuprop(handle(h), TM(name.c_str()), Mm(1.0));
    EXPECT_EQ(vt::writes(h), (std::vector<std::string>{""})) << "an empty name reaches the engine";
}

TEST_F(Properties, UserPropertiesAndHandles)
{
    setuprop(handle(h), TM("Note"), TM("hi"));
    EXPECT_EQ(test::text_of(getuprop(handle(h), TM("Note"))), "hi");
    clruprop(handle(h), TM("Note"));
    EXPECT_EQ(getuprop(handle(h), TM("Note")).size(), 0);
    set(handle(h), TM("Note"), TM("again"));
    EXPECT_EQ(test::text_of(getuprop(handle(h), TM("Note"))), "again") << "a user property, once made, takes set";
    clruprop(handle(h2), TM("NeverMade"));
    EXPECT_EQ(getuprop(handle(h2), TM("NeverMade")).size(), 0) << "clearing one never made is no error";
    setuprop(handle(h), TM("MyColor"), Mm(5.0));
    EXPECT_EQ(test::values(getuprop(handle(h), TM("MyColor"))), (std::vector<double>{5})) << "not taken for a colour";

    const Mm live = ishandle(test::real(2, 2, {h, 0, 99.5, h2}));
    EXPECT_EQ(test::extents(live), (std::vector<int>{2, 2}));
    EXPECT_EQ(test::values(live), (std::vector<double>{1, 1, 0, 1}));
    EXPECT_TRUE(isequal(ishghandle(Mm(h)), Mm(1.0)));
}

TEST_F(Properties, ArgumentListHelpers)
{
    const Mm args = test::cell_row({TM("r"), TM("Parent"), Mm(5.0)});
    EXPECT_EQ(test::values(findpropvalue(TM("parent"), TM(""), args, 1)), (std::vector<double>{5}));
    EXPECT_EQ(test::text_of(findpropvalue(TM("Color"), TM("none"), args, 1)), "none");
    EXPECT_EQ(test::values(findpropvalue(TM("bee"), Mm(0.0), test::cell_row({a_struct(), TM("BEE"), Mm(1.0)}), 1)),
              (std::vector<double>{1}));
    EXPECT_EQ(test::text_of(findpropvalue(TM("NAME"), Mm(0.0), test::cell_row({a_struct()}), 1)), "value");
    EXPECT_ERROR(findpropvalue(TM("A"), Mm(0.0),
                               test::cell_row({test::cell_row({TM("A"), TM("B")}), test::cell_row({Mm(1.0)})}), 1),
                 "findpropvalue: got two cells, different sizes");
    EXPECT_ERROR(findpropvalue(TM("A"), Mm(0.0), test::cell_row({test::cell_row({TM("A")}), Mm(1.0)}), 1),
                 "set(h,pn,pv): if pn is a cell, pv must be a cell as well.");
    EXPECT_ERROR(findpropvalue(TM("A"), Mm(0.0), test::cell_row({Mm(1.0)}), 1), "set: cannot parse in position 1");
    EXPECT_ERROR(findpropvalue(TM("A"), Mm(0.0), test::cell_row({TM("b"), Mm(1.0)}), 1),
                 "set: cannot parse in position 2")
        << "a one-character string is passed over, not paired";

    EXPECT_EQ(count_data_args(test::cell_row({Mm(1.0), test::row({2, 3}), TM("r"), Mm(4.0)})), 2);
    EXPECT_EQ(count_data_args(cell(Mm(0.0))), 0);
    EXPECT_EQ(count_data_args(test::cell_row({a_struct()})), 0);

    set_props_from(Mm(h), test::cell_row({Mm(1.0), TM("Tag"), TM("z")}), 2);
    EXPECT_EQ(vt::prop(h, "Tag").text(), "z");
    const std::size_t writes = vt::writes(h).size();
    set_props_from(Mm(h), test::cell_row({Mm(1.0)}), 2);
    EXPECT_EQ(vt::writes(h).size(), writes) << "nothing left to apply";

    struct Colour {
        const char* name;
        std::vector<double> rgb;
    };
    const std::vector<Colour> colours = {
        {"yellow", {1, 1, 0}}, {"M", {1, 0, 1}},     {"cyan", {0, 1, 1}}, {"r", {1, 0, 0}}, {"Green", {0, 1, 0}},
        {"b", {0, 0, 1}},      {"WHITE", {1, 1, 1}}, {"k", {0, 0, 0}},    {"none", {0, 0, 0}},
    };
    for (const Colour& c : colours) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::values(color_to_rgb(TM(c.name))), c.rgb);
    }
    EXPECT_ERROR(color_to_rgb(TM("purple")), "'purple' is illegal color");
    EXPECT_TRUE(isequal(color_to_rgb(test::row({1, 0, 0})), test::row({1, 0, 0})));
}

} // namespace
