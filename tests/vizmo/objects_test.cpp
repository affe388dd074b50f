// The engine's object tree: handles, properties, the acting pseudo-properties,
// deletion with its callbacks and user data, and bulk coordinates.
#include "vizmo_support.hpp"

#include <cmath>
#include <limits>

namespace {

using namespace vizmo_testing;
namespace vt = vizmo::test;

using Objects = Engine;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

double make(const char* type, double parent)
{
    const double h = vizmo_create_object(type, -1);
    if (parent >= 0)
        set(h, "Parent", num(parent));
    return h;
}

TEST_F(Objects, FigureNumbersAndObjectHandles)
{
    EXPECT_EQ(vizmo_current_figure(), -1);
    EXPECT_EQ(vizmo_create_object("Figure", -1), 1);
    EXPECT_EQ(vizmo_create_object("Figure", -1), 2);
    EXPECT_EQ(vizmo_create_object("Figure", 5), 5);
    EXPECT_EQ(vizmo_current_figure(), 5);
    EXPECT_EQ(vizmo_create_object("figure", 2), 2) << "an existing figure is selected";
    EXPECT_EQ(vizmo_current_figure(), 2);
    EXPECT_EQ(vt::children(0), (std::vector<double>{1, 2, 5})) << "selecting adds nothing";
    EXPECT_EQ(vizmo_create_object("Figure", -1), 3) << "the lowest free number";

    const double ax = vizmo_create_object("Axes", -1);
    EXPECT_GT(ax, 0);
    EXPECT_NE(ax, std::floor(ax)) << "only figures have integer handles";
    EXPECT_NE(vizmo_create_object("line", -1), ax) << "handles are not reused";

    struct Refused {
        const char* type;
        int n;
    };
    const std::vector<Refused> refused = {
        {nullptr, -1}, {"nosuchstyle", -1}, {"", -1}, {"Figure", 0}, {"Figure", -2},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.type ? r.type : "(null)");
        EXPECT_EQ(vizmo_create_object(r.type, r.n), -1);
    }
    EXPECT_EQ(vizmo_is_handle(0), 1);
    EXPECT_EQ(vizmo_is_handle(ax), 1);
    EXPECT_EQ(vizmo_is_handle(4), 0);
    EXPECT_EQ(vizmo_is_handle(ax + 1000), 0);
    EXPECT_EQ(vizmo_is_handle(NAN), 0);
    EXPECT_EQ(vizmo_is_handle(-1), 0);
}

TEST_F(Objects, TypesReadInLowerCase)
{
    struct Case {
        const char* create;
        const char* type;
        const char* style;
    };
    const std::vector<Case> cases = {
        {"Axes", "axes", ""},
        {"LINE", "line", ""},
        {"patch", "patch", ""},
        {"Surface", "surface", ""},
        {"menuitem", "uimenu", ""},
        {"ContextMenu", "uicontextmenu", ""},
        {"PushButton", "uicontrol", "pushbutton"},
        {"edit", "uicontrol", "edit"},
        {"text", "uicontrol", "text"},
        {"progressbar", "uicontrol", "progressbar"},
        {"checkbox", "uicontrol", "checkbox"},
        {"radiobutton", "uicontrol", "radiobutton"},
        {"slider", "uicontrol", "slider"},
        {"listbox", "uicontrol", "listbox"},
        {"popupmenu", "uicontrol", "popupmenu"},
        {"frame", "uicontrol", "frame"},
        {"togglebutton", "uicontrol", "togglebutton"},
        {"comport", "hwcontrol", "comport"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.create);
        const double h = vizmo_create_object(c.create, -1);
        EXPECT_EQ(get_text(h, "Type"), c.type);
        if (*c.style) {
            EXPECT_EQ(get_text(h, "Style"), c.style);
        }
    }
    EXPECT_EQ(get_text(0, "type"), "root");
    EXPECT_EQ(get_text(vizmo_create_object("Figure", -1), "TYPE"), "figure");

    const double a = vizmo_create_object("line", -1), b = vizmo_create_object("line", -1);
    set(a, "Type", text("text"));
    set(b, "ChartType", text("text3"));
    EXPECT_EQ(get_text(a, "Type"), "text");
    EXPECT_EQ(get_text(b, "Type"), "text");
}

TEST_F(Objects, PropertiesKeepTheirFirstSpellingAndShape)
{
    const double h = vizmo_create_object("line", -1);
    set(h, "LineWidth", num(2));
    set(h, "linewidth", num(3));
    EXPECT_EQ(get(h, "LINEWIDTH"), (std::vector<double>{3}));
    const std::string names = get_text(h, "PropertyNames");
    EXPECT_NE(names.find("LineWidth"), std::string::npos) << names;
    EXPECT_EQ(names.find("linewidth"), std::string::npos) << names;

    Val cube(2, 2, {1, 2, 3, 4, 5, 6, 7, 8});
    cube.m.ndims = 3;
    cube.m.dims[1] = 2;
    cube.m.dims[2] = 2;
    set(h, "CData", cube);
    const vt::Value v = vt::prop(h, "cdata");
    EXPECT_EQ(v.ndims, 3);
    EXPECT_EQ((std::vector<int>(v.dims, v.dims + 4)), (std::vector<int>{2, 2, 2, 1}));
    EXPECT_EQ(v.data.size(), 8u);

    set(h, "String", text("abc"));
    EXPECT_TRUE(vt::prop(h, "string").is_string);
    set(h, "String", text(""));
    const vt::Value empty = vt::prop(h, "String");
    EXPECT_TRUE(empty.is_string);
    EXPECT_EQ(empty.dims[0], 1);
    EXPECT_EQ(empty.dims[1], 0) << "the empty text is 1 x 0";
    EXPECT_EQ(vt::writes(h), (std::vector<std::string>{"LineWidth", "linewidth", "CData", "String", "String"}));
}

TEST_F(Objects, UnknownNamesAndDeadHandlesReadEmpty)
{
    const double h = vizmo_create_object("line", -1);
    struct Case {
        double h;
        const char* name;
    };
    const std::vector<Case> cases = {{h, "NoSuchProperty"}, {h + 7, "Type"}, {NAN, "Type"}, {h, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        const miniM* m = vizmo_get_property(c.h, c.name);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->ndims, 2);
        EXPECT_EQ(m->dims[0], 0);
        EXPECT_EQ(m->dims[1], 0);
        EXPECT_EQ(m->data, nullptr);
    }
    const std::size_t mark = vt::mark();
    set(h + 7, "Color", row({1, 0, 0}));
    EXPECT_EQ(vt::since(mark), (std::vector<std::string>{"set dead " + std::to_string(int(h + 7)) + ".5 Color"}));
}

TEST_F(Objects, AReadStaysValidForEightFurtherReads)
{
    const double h = vizmo_create_object("line", -1);
    set(h, "XData", row({1, 2, 3}));
    const miniM* first = vizmo_get_property(h, "XData");
    for (int k = 0; k < 8; ++k)
        vizmo_get_property(0, "DefaultFigurePosition");
    ASSERT_EQ(first->dims[1], 3);
    EXPECT_EQ(std::vector<double>(first->data, first->data + 3), (std::vector<double>{1, 2, 3}));
    set(h, "XData", row({9}));
    EXPECT_EQ(first->data[0], 1) << "a read is a copy, not a view of the property";
}

TEST_F(Objects, ColoursBecomeRgbRows)
{
    const double h = vizmo_create_object("line", -1);
    struct Case {
        const char* what;
        Val value;
        std::vector<double> rgb;
    };
    const std::vector<Case> cases = {
        {"an RGB row", row({0.25, 0.5, 0.75}), {0.25, 0.5, 0.75}},
        {"code of y", num(-100), {1, 1, 0}},
        {"code of r", num(-103), {1, 0, 0}},
        {"code of k", num(-107), {0, 0, 0}},
        {"a word", text("Blue"), {0, 0, 1}},
        {"a letter", text("m"), {1, 0, 1}},
        {"packed", num(255 + 256 * 128), {1, 128 / 255.0, 0}},
        {"a word it does not know", text("none"), {'n', 'o', 'n', 'e'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set(h, "Color", c.value);
        EXPECT_EQ(get(h, "color"), c.rgb);
    }
    set(h, "MarkerFaceColor", num(-105));
    EXPECT_EQ(get(h, "MarkerFaceColor"), (std::vector<double>{0, 0, 1}));
    set(h, "ColorMap", num(-105));
    EXPECT_EQ(get(h, "ColorMap"), (std::vector<double>{-105})) << "only colour names are converted";
    // Only the engine's colour properties (and root defaults for them) are
    // converted; a user's property that ends in "color" keeps its value.
    struct Named {
        double handle;
        const char* name;
        Val value;
        std::vector<double> back;
    };
    for (const Named& c : std::vector<Named>{{h, "MyColor", num(5), {5}},
                                             {h, "backgroundcolor", num(-103), {1, 0, 0}},
                                             {h, "XColor", text("g"), {0, 1, 0}},
                                             {0, "DefaultLineColor", num(-107), {0, 0, 0}},
                                             {0, "DefaultAxesXColor", text("b"), {0, 0, 1}},
                                             {0, "TheirColor", num(255), {255}}}) {
        SCOPED_TRACE(c.name);
        set(c.handle, c.name, c.value);
        EXPECT_EQ(get(c.handle, c.name), c.back);
    }
}

TEST_F(Objects, DefaultsOfRootFigureAxesAndControls)
{
    EXPECT_EQ(get(0, "Position"), (std::vector<double>{0, 0, 1024, 768}));
    EXPECT_EQ(get(0, "DefaultFigurePosition"), (std::vector<double>{100, 100, 560, 420}));
    const vt::Value fcn = vt::prop(0, "DefaultLineCreateFcn");
    EXPECT_TRUE(fcn.is_string);
    EXPECT_EQ(fcn.dims[1], 0);

    const double fig = vizmo_create_object("Figure", -1);
    EXPECT_EQ(get(fig, "CurrentAxes"), (std::vector<double>{-1}));
    EXPECT_EQ(get(fig, "Color"), get(0, "DefaultFigureColor"));
    EXPECT_EQ(get(fig, "Position"), get(0, "DefaultFigurePosition"));
    const double ax = vizmo_create_object("Axes", -1);
    EXPECT_EQ(get_text(ax, "NextPlot"), "replace");
    EXPECT_EQ(get(ax, "Color"), get(0, "DefaultAxesColor"));
    EXPECT_TRUE(get(ax, "Parent").empty()) << "an axes given no parent is in no figure";
    const double button = vizmo_create_object("pushbutton", -1);
    EXPECT_EQ(get(button, "BackgroundColor"), get(0, "DefaultUIcontrolBackgroundColor"));
    EXPECT_EQ(get(button, "ForegroundColor"), get(0, "DefaultUIControlForegroundColor"));
    // A control made without a place has one, in pixels, inside its figure.
    EXPECT_EQ(get(button, "Position"), (std::vector<double>{20, 20, 60, 20}));
    EXPECT_EQ(get_text(button, "Units"), "pixels");
    EXPECT_TRUE(get(vizmo_create_object("comport", -1), "Position").empty()) << "a hardware control has no place";
}

TEST_F(Objects, WrittenLimitsReadTheirModeAsManual)
{
    const double ax = vizmo_create_object("Axes", -1);
    for (const char* axis : {"X", "Y", "Z"}) {
        SCOPED_TRACE(axis);
        const std::string lim = std::string(axis) + "Lim", mode = lim + "Mode";
        EXPECT_EQ(get_text(ax, mode.c_str()), "auto") << "a new axes chooses its limits";
        set(ax, lim.c_str(), row({0, 5}));
        EXPECT_EQ(get_text(ax, mode.c_str()), "manual");
        EXPECT_EQ(get(ax, lim.c_str()), (std::vector<double>{0, 5}));
        set(ax, mode.c_str(), text("auto"));
        EXPECT_EQ(get_text(ax, mode.c_str()), "auto");
        set(ax, lim.c_str(), Val(0, 0, {}));
        EXPECT_EQ(get_text(ax, mode.c_str()), "auto") << "an empty value writes no limits";
    }
    set(ax, "Reset", num(1));
    EXPECT_EQ(get_text(ax, "XLimMode"), "auto") << "a reset axes chooses again";
}

TEST_F(Objects, ValuesThatAreNoColoursAreRefused)
{
    const double h = vizmo_create_object("line", -1);
    set(h, "Color", row({0.25, 0.5, 0.75}));
    struct Case {
        const char* what;
        Val value;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"a word it does not know", text("purple"), "'purple' is illegal color"},
        {"a component above 1", row({2, -1, 0.5}),
         "Color: [2 -1 0.5] is illegal color: use [r g b] with each of r, g, b from 0 to 1, or a colour name"},
        {"two components", row({1, 0}),
         "Color: [1 0] is illegal color: use [r g b] with each of r, g, b from 0 to 1, or a colour name"},
        {"NaN", row({nan, 0, 0}),
         "Color: [nan 0 0] is illegal color: use [r g b] with each of r, g, b from 0 to 1, or a colour name"},
        {"no code nor packed colour", num(-99),
         "Color: [-99] is illegal color: use [r g b] with each of r, g, b from 0 to 1, or a colour name"},
        {"codes that are no characters", Val(1, 4, {0, 300, 1.5, -200}, true), "'?\?\?\?' is illegal color"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        seen().errors.clear();
        set(h, "Color", c.value);
        ASSERT_EQ(seen().errors.size(), 1u);
        EXPECT_EQ(seen().errors[0], c.message);
        EXPECT_EQ(get(h, "Color"), (std::vector<double>{0.25, 0.5, 0.75})) << "the colour it had stays";
    }
    // Words for no colour, or for colours taken from the data, are kept.
    seen().errors.clear();
    for (const char* word : {"none", "flat", "interp"}) {
        set(h, "FaceColor", text(word));
        EXPECT_EQ(get_text(h, "FaceColor"), word);
    }
    EXPECT_TRUE(seen().errors.empty());
}

TEST_F(Objects, WidthsStylesMarkersAndSwitchesAreChecked)
{
    // Bad values are refused with the reason, through the error hook, and
    // the property keeps what it had; texts of the style and marker tables
    // are kept as their indices. Root defaults for the properties are
    // checked alike.
    struct Case {
        double handle;
        const char* name;
        Val good, bad;
        std::vector<double> kept;
        std::string message;
    };
    const double h = vizmo_create_object("line", -1);
    const std::string width = " is no line width: use a number above 0 and at most 1000";
    const std::string style = " is no line style: use '-', ':', '-.', '--' or 'none'";
    const std::string marker = " is no marker: use one of . o x + * s d ^ v > < p h, or 'none'";
    const std::vector<Case> cases = {
        {h, "LineWidth", num(2.5), text("thick"), {2.5}, "LineWidth: 'thick'" + width},
        {h, "LineWidth", num(1), num(1e9), {1}, "LineWidth: [1e+09]" + width},
        {h, "MarkerSize", num(4), row({nan}), {4},
         "MarkerSize: [nan] is no marker size: use a number above 0 and at most 1000"},
        {h, "LineStyle", text("-."), num(17), {2}, "LineStyle: [17]" + style},
        {h, "LineStyle", text("none"), text("~"), {-1}, "LineStyle: '~'" + style},
        {h, "Marker", text("d"), text("q"), {6}, "Marker: 'q'" + marker},
        {h, "Marker", num(-1), num(0.5), {-1}, "Marker: [0.5]" + marker},
        {h, "Visible", text("off"), text("maybe"), {'o', 'f', 'f'}, "Visible: 'maybe' is neither 'on' nor 'off'"},
        {0, "DefaultLineLineWidth", num(3), num(-3), {3}, "DefaultLineLineWidth: [-3]" + width},
        {0, "DefaultLineMarker", text("+"), text("plus"), {3}, "DefaultLineMarker: 'plus'" + marker},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.message);
        seen().errors.clear();
        set(c.handle, c.name, c.good);
        EXPECT_TRUE(seen().errors.empty());
        EXPECT_EQ(get(c.handle, c.name), c.kept);
        set(c.handle, c.name, c.bad);
        ASSERT_EQ(seen().errors.size(), 1u);
        EXPECT_EQ(seen().errors[0], c.message);
        EXPECT_EQ(get(c.handle, c.name), c.kept) << "the value it had stays";
    }
    // An empty value is refused alike, numbers or text, and the value
    // stays; a user's property of a similar name is not checked.
    struct Empty {
        const char* name;
        Val good;
        std::string message;
    };
    const std::vector<Empty> empties = {
        {"LineWidth", num(2), "LineWidth: an empty value is no line width"},
        {"MarkerSize", num(5), "MarkerSize: an empty value is no marker size"},
        {"LineStyle", text("--"), "LineStyle: an empty value is no line style"},
        {"Marker", text("o"), "Marker: an empty value is no marker"},
        {"Visible", text("off"), "Visible: an empty value is no switch: use 'on' or 'off'"},
        {"Color", text("r"), "Color: an empty value is no colour"},
        {"MarkerFaceColor", row({0, 1, 0}), "MarkerFaceColor: an empty value is no colour"},
    };
    for (const Empty& e : empties)
        for (const Val& empty : {Val(0, 0, {}), Val(0, 0, {}, true), Val(1, 0, {}, true)}) {
            SCOPED_TRACE(e.name);
            set(h, e.name, e.good);
            const std::vector<double> before = get(h, e.name);
            seen().errors.clear();
            set(h, e.name, empty);
            ASSERT_EQ(seen().errors.size(), 1u);
            EXPECT_EQ(seen().errors[0], e.message);
            EXPECT_EQ(get(h, e.name), before);
        }
    seen().errors.clear();
    set(h, "MyLineWidth", text("thick"));
    EXPECT_EQ(get_text(h, "MyLineWidth"), "thick");
    set(h, "MyLineWidth", Val(0, 0, {}));
    EXPECT_TRUE(get(h, "MyLineWidth").empty());
    EXPECT_TRUE(seen().errors.empty());
}

TEST_F(Objects, ParentAndChildrenKeepAttachmentOrder)
{
    const double f1 = vizmo_create_object("Figure", -1), f2 = vizmo_create_object("Figure", -1);
    const double a = make("Axes", f1), b = make("Axes", f1), c = make("Axes", f1);
    EXPECT_EQ(get(f1, "Children"), (std::vector<double>{a, b, c}));
    set(b, "Parent", num(f2));
    EXPECT_EQ(get(f1, "Children"), (std::vector<double>{a, c}));
    EXPECT_EQ(get(f2, "Children"), (std::vector<double>{b}));
    EXPECT_EQ(get(b, "Parent"), (std::vector<double>{f2}));
    set(a, "Parent", num(f1));
    EXPECT_EQ(get(f1, "Children"), (std::vector<double>{a, c})) << "the same parent keeps the place";

    const double l = make("line", a);
    set(a, "Parent", num(l));
    EXPECT_EQ(vt::parent(a), f1) << "an object cannot hang below its own child";
    set(l, "Parent", num(123.5));
    EXPECT_EQ(vt::parent(l), a) << "nor below a dead handle";
    set(a, "Children", row({}));
    EXPECT_EQ(get(a, "Children"), (std::vector<double>{l})) << "Children is read only";
}

TEST_F(Objects, PropertyNamesLeaveOutThePseudoProperties)
{
    const double fig = vizmo_create_object("Figure", -1);
    set(fig, "Show", num(1));
    set(fig, "Refresh", num(1));
    set(fig, "Pointer", text("watch"));
    const std::string names = get_text(fig, "PropertyNames");
    EXPECT_EQ(names, "Color,Position,Units,CurrentAxes,Visible,FigureIndex,Pointer");
    EXPECT_EQ(get(fig, "Show"), (std::vector<double>{1})) << "recorded all the same";

    const double h = vizmo_create_object("line", -1);
    for (int k = 0; k < 2000; ++k)
        set(h, ("LongPropertyName" + std::to_string(k)).c_str(), num(k));
    EXPECT_LT(get_text(h, "PropertyNames").size(), 9999u);
}

struct Tree {
    double fig, ax, line;
};

Tree tree_with_callbacks()
{
    Tree t;
    t.fig = vizmo_create_object("Figure", -1);
    t.ax = make("Axes", t.fig);
    t.line = make("line", t.ax);
    set(t.fig, "DeleteFcn", text("fig gone"));
    set(t.ax, "DeleteFcn", text("axes gone"));
    set(t.line, "DeleteFcn", text("line gone"));
    set(t.fig, "UserData", num(address(1)));
    set(t.ax, "UserData", num(address(2)));
    set(t.line, "UserData", num(address(3)));
    set(t.fig, "CurrentAxes", num(t.ax));
    return t;
}

std::vector<double> callback_objects;
void note_callback_object(const std::string&) { callback_objects.push_back(get(0, "CallbackObject").at(0)); }

TEST_F(Objects, KillRunsEachDeleteFcnAndDestroysEachUserDataOnce)
{
    const double other = vizmo_create_object("Figure", -1);
    const Tree t = tree_with_callbacks();
    EXPECT_EQ(vizmo_current_figure(), t.fig);
    callback_objects.clear();
    seen().on_callback = note_callback_object;
    set(t.fig, "Kill", num(0));

    EXPECT_EQ(seen().callbacks, (std::vector<std::string>{"fig gone", "axes gone", "line gone"}));
    EXPECT_EQ(callback_objects, (std::vector<double>{t.fig, t.ax, t.line})) << "CallbackObject names each one";
    std::vector<std::uintptr_t> destroyed = seen().destroyed;
    std::sort(destroyed.begin(), destroyed.end());
    EXPECT_EQ(destroyed, (std::vector<std::uintptr_t>{address_bits(1), address_bits(2), address_bits(3)}));
    for (double h : {t.fig, t.ax, t.line})
        EXPECT_FALSE(vt::exists(h));
    EXPECT_EQ(vizmo_current_figure(), other) << "the figure current before takes over";
    EXPECT_TRUE(get(0, "CallbackObject").empty()) << "restored after the callbacks";
    set(other, "Kill", num(0));
    EXPECT_EQ(vizmo_current_figure(), -1);
}

TEST_F(Objects, TheCurrentFigureFallsBackToTheMostRecentlyCurrent)
{
    for (int k = 0; k < 4; ++k)
        vizmo_create_object("Figure", -1);
    vizmo_create_object("Figure", 2);
    vizmo_create_object("Figure", 4);
    set(3, "Kill", num(0));
    EXPECT_EQ(vizmo_current_figure(), 4) << "killing another figure keeps the current one";
    set(4, "Kill", num(0));
    EXPECT_EQ(vizmo_current_figure(), 2);
    set(2, "Kill", num(0));
    EXPECT_EQ(vizmo_current_figure(), 1);
}

TEST_F(Objects, OverwritingUserDataDestroysNothing)
{
    const double h = vizmo_create_object("line", -1);
    set(h, "UserData", num(address(1)));
    set(h, "userdata", num(address(2)));
    EXPECT_TRUE(seen().destroyed.empty()) << "the library frees the value it replaces";
    EXPECT_EQ(get(h, "UserData"), (std::vector<double>{address(2)}));
    set(h, "Kill", num(0));
    EXPECT_EQ(seen().destroyed, (std::vector<std::uintptr_t>{address_bits(2)}));

    set(h, "UserData", num(address(3)));
    EXPECT_EQ(seen().destroyed, (std::vector<std::uintptr_t>{address_bits(2), address_bits(3)}))
        << "a write to a dead handle hands the value back";
}

void kill_figure_one(const std::string& text)
{
    if (text == "fig gone")
        set(1, "Kill", num(0));
}

TEST_F(Objects, ADeleteFcnKillingItsOwnFigureEndsCleanly)
{
    const Tree t = tree_with_callbacks();
    seen().on_callback = kill_figure_one;
    set(t.fig, "Kill", num(0));
    EXPECT_EQ(seen().callbacks, (std::vector<std::string>{"fig gone", "axes gone", "line gone"}))
        << "each DeleteFcn runs once";
    EXPECT_EQ(seen().destroyed.size(), 3u);
    EXPECT_FALSE(vt::exists(t.fig));
    EXPECT_EQ(vizmo_current_figure(), -1);
}

TEST_F(Objects, KillingTheCurrentAxesLeavesNoneCurrent)
{
    const double fig = vizmo_create_object("Figure", -1);
    const double a = make("Axes", fig), b = make("Axes", fig);
    set(fig, "CurrentAxes", num(b));
    set(a, "Kill", num(0));
    EXPECT_EQ(get(fig, "CurrentAxes"), (std::vector<double>{b})) << "another axes leaves it alone";
    vizmo_set_rotate3d_axes(b);
    set(b, "Kill", num(0));
    EXPECT_EQ(get(fig, "CurrentAxes"), (std::vector<double>{-1}));
    EXPECT_EQ(vt::modes().rotate3d_axes, 0);
}

TEST_F(Objects, ClearingAndResetting)
{
    const double fig = vizmo_create_object("Figure", -1);
    const double ax = make("Axes", fig);
    const double series = make("line", ax), label = make("line", ax), other = make("patch", ax);
    set(label, "Type", text("text"));
    set(ax, "KillSerieses", num(1));
    EXPECT_EQ(get(ax, "Children"), (std::vector<double>{label})) << "label texts stay";
    EXPECT_FALSE(vt::exists(series));
    EXPECT_FALSE(vt::exists(other));

    set(ax, "CData", row({1, 2}));
    set(ax, "LegendString", text("a"));
    set(ax, "Clear", num(0));
    EXPECT_EQ(get(ax, "Children"), (std::vector<double>{label})) << "Clear 0 only records";
    set(ax, "Clear", num(1));
    EXPECT_TRUE(get(ax, "Children").empty());
    EXPECT_TRUE(get(ax, "CData").empty());
    EXPECT_TRUE(get(ax, "LegendString").empty());

    set(ax, "Units", text("pixels"));
    set(ax, "Position", row({1, 2, 3, 4}));
    set(ax, "NextPlot", text("add"));
    set(ax, "XLim", row({0, 5}));
    make("line", ax);
    set(ax, "Reset", num(1));
    EXPECT_EQ(get_text(ax, "NextPlot"), "replace");
    // The written limits went: an axes with no data reads the automatic ones
    // (which only the renderer chooses).
    const std::vector<double> automatic = vt::has_renderer() ? std::vector<double>{0, 1} : std::vector<double>{};
    EXPECT_EQ(get(ax, "XLim"), automatic);
    EXPECT_EQ(get_text(ax, "Units"), "pixels");
    EXPECT_EQ(get(ax, "Position"), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(vt::parent(ax), fig);
    EXPECT_EQ(get(ax, "Children").size(), 1u) << "Reset leaves the children";

    set(fig, "KillChilds", num(0));
    EXPECT_TRUE(get(fig, "Children").empty());
    EXPECT_TRUE(vt::exists(fig));
}

TEST_F(Objects, BulkDataBecomeRows)
{
    const double h = vizmo_create_object("line", -1);
    const double x[] = {1, 2, 3};
    const double y[] = {10, -1, 20, -1, 30, -1};
    vizmo_set_data(h, 3, x, 1, y, 2, nullptr, 0);
    const vt::Bulk d = vt::data(h);
    EXPECT_EQ(d.x.data, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(d.y.data, (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(d.x.dims[0], 1);
    EXPECT_EQ(d.x.dims[1], 3);
    EXPECT_TRUE(d.z.empty());

    const double z[] = {7, 8, 9};
    vizmo_set_data(h, 3, x, 1, x, 1, z, 0);
    EXPECT_EQ(vt::data(h).z.data, (std::vector<double>{7, 8, 9})) << "a final stride of 0 reads z with stride 1";
    vizmo_set_data(h, 0, nullptr, 1, nullptr, 1, nullptr, 0);
    EXPECT_TRUE(vt::data(h).x.empty());
    vizmo_set_data(h, 2, nullptr, 1, y, 1, nullptr, 0);
    EXPECT_TRUE(vt::data(h).x.empty()) << "missing coordinates are refused";

    // A 3 x 4 grid from meshgrid(1:4, 1:3), column-major.
    const double s = vizmo_create_object("surface", -1);
    std::vector<double> gx, gy, gz;
    for (int c = 1; c <= 4; ++c)
        for (int r = 1; r <= 3; ++r) {
            gx.push_back(c);
            gy.push_back(r);
            gz.push_back(10 * r + c);
        }
    vizmo_set_data(s, 12, gx.data(), 1, gy.data(), 1, gz.data(), 0);
    const vt::Bulk g = vt::data(s);
    for (const vt::Value* v : {&g.x, &g.y, &g.z}) {
        EXPECT_EQ(v->dims[0], 3);
        EXPECT_EQ(v->dims[1], 4);
    }
    EXPECT_EQ(g.z.data, gz);
}

TEST_F(Objects, CaptureIsTheFigureColourOverItsSize)
{
    const double fig = vizmo_create_object("Figure", -1);
    set(fig, "Position", row({10, 20, 4, 3}));
    set(fig, "Color", row({0.25, 0.5, 1}));
    const double ax = make("Axes", fig);
    set(ax, "Visible", text("off"));  // an empty, undecorated axes draws nothing
    const vt::Value v = vt::prop(ax, "Capture");
    ASSERT_EQ(v.ndims, 3);
    EXPECT_EQ((std::vector<int>(v.dims, v.dims + 3)), (std::vector<int>{3, 4, 3}));
    // The renderer's raster holds 8 bits per colour.
    const double tol = vt::has_renderer() ? 0.5 / 255 : 0;
    EXPECT_NEAR(v.data[0], 1, tol) << "plane 1 is blue";
    EXPECT_NEAR(v.data[12], 0.5, tol);
    EXPECT_NEAR(v.data[24], 0.25, tol) << "plane 3 is red";

    set(fig, "Position", row({0, 0, 1e6, 2}));
    EXPECT_EQ(vt::prop(fig, "Capture").dims[1], 4096) << "capped";
    EXPECT_TRUE(vt::prop(vizmo_create_object("Axes", -1), "Capture").empty()) << "no figure, no picture";
}

TEST_F(Objects, ModesAreRecorded)
{
    int app = 0, key = 0;
    vizmo_set_surface_axes(2.5);
    vizmo_set_hosted_mode(1);
    vizmo_set_application_handle(&app);
    vizmo_set_application_key_handle(&key);
    vizmo_console_mode(3);
    vizmo_redraw();
    vizmo_redraw();
    const vt::Modes m = vt::modes();
    EXPECT_EQ(m.surface_axes, 2.5);
    EXPECT_EQ(m.hosted, 1);
    EXPECT_EQ(m.application, &app);
    EXPECT_EQ(m.application_key, &key);
    EXPECT_EQ(m.console, 3);
    EXPECT_EQ(m.redraws, 2);
    EXPECT_TRUE(m.callback_hook && m.error_hook && m.destroy_hook);
}

} // namespace
