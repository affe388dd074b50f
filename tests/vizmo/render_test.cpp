// The renderer, seen through "Capture", "Print" and the picture files:
// figures are built with the engine's own operations and the pictures are
// checked pixel by pixel against where and how the properties say things lie.
#include "../graphics/picture.hpp"
#include "image_codec.hpp"
#include "render/tick_labels.hpp"
#include "vizmo_support.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

using namespace vizmo_testing;
namespace vt = vizmo::test;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct Rgb {
    double r, g, b;
};

// A captured figure: planes blue, green, red, column-major.
struct Picture {
    int rows = 0, cols = 0;
    std::vector<double> data;

    Rgb at(int i, int j) const
    {
        const std::size_t n = static_cast<std::size_t>(rows) * cols, k = static_cast<std::size_t>(j) * rows + i;
        return {data[2 * n + k], data[n + k], data[k]};
    }
    bool operator==(const Picture& o) const { return rows == o.rows && cols == o.cols && data == o.data; }
};

::testing::AssertionResult near(const Rgb& got, const Rgb& want, double tol = 1.5 / 255)
{
    if (std::fabs(got.r - want.r) <= tol && std::fabs(got.g - want.g) <= tol && std::fabs(got.b - want.b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << "), want ("
                                         << want.r << ", " << want.g << ", " << want.b << ")";
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t count(const std::string& s, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

// Every element closes in order, and the document is one <svg> element.
bool well_formed_svg(const std::string& s)
{
    std::vector<std::string> open;
    std::size_t at = 0, roots = 0;
    while ((at = s.find('<', at)) != std::string::npos) {
        const std::size_t end = s.find('>', at);
        if (end == std::string::npos)
            return false;
        const std::string tag = s.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.empty() || tag[0] == '?' || tag[0] == '!')
            continue;
        if (tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1))
                return false;
            open.pop_back();
            continue;
        }
        const std::string name = tag.substr(0, tag.find_first_of(" \t\n/"));
        if (open.empty()) {
            if (name != "svg")
                return false;
            ++roots;
        }
        if (tag.back() != '/')
            open.push_back(name);
    }
    return open.empty() && roots == 1;
}

class Render : public Engine {
protected:
    void SetUp() override
    {
        Engine::SetUp();
        if (!vt::has_renderer())
            GTEST_SKIP() << "built without the renderer";
        char pattern[] = "/tmp/vizmo-render-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        Engine::TearDown();
        unsetenv("VIZMO_OUTPUT_DIR");
        if (!dir.empty())
            std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    // A 200 x 160 figure, gray, with one white axes whose box is
    // x 20..180, y 16..144 (pixels from the top) and limits [0 1 0 1].
    double figure_with_axes(std::vector<double> position = {0.1, 0.1, 0.8, 0.8})
    {
        fig = vizmo_create_object("Figure", -1);
        set(fig, "Position", row({100, 100, 200, 160}));
        set(fig, "Color", row({0.8, 0.8, 0.8}));
        ax = vizmo_create_object("Axes", -1);
        set(ax, "Parent", num(fig));
        set(ax, "Position", row(std::move(position)));
        set(ax, "XLim", row({0, 1}));
        set(ax, "YLim", row({0, 1}));
        return ax;
    }
    // The same with both limits chosen from what the axes hold.
    double figure_with_automatic_limits(std::vector<double> position = {0.1, 0.1, 0.8, 0.8})
    {
        figure_with_axes(std::move(position));
        set(ax, "XLimMode", text("auto"));
        set(ax, "YLimMode", text("auto"));
        return ax;
    }
    double series(std::vector<double> x, std::vector<double> y, double colour = -103, double marker = -1,
                  double style = 0)
    {
        const double h = vizmo_create_object("line", -1);
        set(h, "ChartType", text("plot"));
        set(h, "Parent", num(ax));
        set(h, "Color", num(colour));
        set(h, "Marker", num(marker));
        set(h, "LineStyle", num(style));
        vizmo_set_data(h, static_cast<int>(x.size()), x.data(), 1, y.data(), 1, nullptr, 0);
        return h;
    }
    Picture capture(double h) const
    {
        test::Picture p = test::Picture::of(h);
        return {p.rows, p.cols, std::move(p.data)};
    }

    std::string dir;
    double fig = -1, ax = -1;
};

const Rgb red{1, 0, 0}, white{1, 1, 1}, gray{0.8, 0.8, 0.8};

TEST_F(Render, ARedSeriesLiesOnItsRow)
{
    figure_with_axes();
    series({0, 1}, {0.5, 0.5});
    const Picture p = capture(fig);
    ASSERT_EQ(p.rows, 160);
    ASSERT_EQ(p.cols, 200);
    // y = 0.5 is 64 pixels below the box top at 16: rows 79 and 80.
    for (int j : {25, 60, 100, 140, 175}) {
        SCOPED_TRACE(j);
        EXPECT_TRUE(near(p.at(79, j), red));
        EXPECT_TRUE(near(p.at(80, j), red));
        EXPECT_TRUE(near(p.at(60, j), white)) << "the axes background above";
        EXPECT_TRUE(near(p.at(100, j), white)) << "and below";
    }
    EXPECT_TRUE(near(p.at(60, 5), gray)) << "the figure around the box, between tick labels";
    EXPECT_TRUE(near(p.at(5, 100), gray));
}

TEST_F(Render, AFullFigureAxesKeepsRoomForItsLabels)
{
    figure_with_axes({0, 0, 1, 1});
    series({0, 1}, {0.5, 0.5});
    const Picture p = capture(fig);
    int first = -1, last = -1;
    for (int i = 0; i < p.rows; ++i)
        if (near(p.at(i, p.cols / 2), red)) {
            first = first < 0 ? i : first;
            last = i;
        }
    ASSERT_GE(first, 0) << "the series is drawn";
    EXPECT_LE(last - first, 2) << "one thin line";
    EXPECT_NEAR((first + last) / 2.0, p.rows / 2.0, 0.15 * p.rows);
    EXPECT_TRUE(near(p.at(2, 2), gray)) << "a margin of figure colour";
    EXPECT_TRUE(near(p.at(p.rows - 3, p.cols - 3), gray));
}

TEST_F(Render, OnlyADrawnSecondAxisTakesRoom)
{
    figure_with_axes({0, 0, 1, 1});
    series({0, 1}, {0.5, 0.5});
    const Picture alone = capture(fig);
    const double hidden = series({0, 1}, {0.2, 0.8}, -102);
    set(hidden, "YAxisLocation", text("right"));
    set(hidden, "XAxisLocation", text("top"));
    set(hidden, "Visible", text("off"));
    const Picture with_hidden = capture(fig);
    ASSERT_EQ(with_hidden.data.size(), alone.data.size());
    EXPECT_TRUE(with_hidden.data == alone.data) << "a hidden series on the second axes moves nothing";
    // Shown, the same series draws its axes and the box gives way to them.
    set(hidden, "Visible", text("on"));
    EXPECT_FALSE(capture(fig).data == alone.data);
}

TEST_F(Render, TheAxesBoxIsWherePositionSays)
{
    figure_with_axes({0.25, 0.5, 0.5, 0.25});
    set(ax, "Color", row({0, 1, 0}));
    // Columns 50..150; rows 160 - 0.75 * 160 = 40 down to 80.
    const Picture p = capture(fig);
    const Rgb green{0, 1, 0};
    struct Case {
        int i, j;
        Rgb want;
    } cases[] = {{60, 100, green}, {45, 55, green},  {75, 145, green}, {60, 12, gray},
                 {60, 155, gray},  {35, 100, gray}, {100, 100, gray}, {120, 100, gray}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.i << ", " << c.j);
        EXPECT_TRUE(near(p.at(c.i, c.j), c.want));
    }
    set(ax, "Visible", text("off"));
    EXPECT_TRUE(near(capture(fig).at(60, 100), gray)) << "an invisible axes draws no box";
}

TEST_F(Render, InvertedAndLogarithmicAxes)
{
    struct Case {
        const char* what;
        const char* name;
        const char* value;
        std::vector<double> ylim;
        double y;
        int row;  // the row the series crosses at
    };
    // Box rows 16 (top) .. 144 (bottom).
    const std::vector<Case> cases = {
        {"plain", "YDir", "normal", {0, 1}, 0.25, 112},
        {"inverted", "YDir", "inverted", {0, 1}, 0.25, 48},
        {"limits largest first", "YDir", "normal", {1, 0}, 0.25, 48},
        {"log", "YScale", "log", {1, 100}, 10, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_axes();
        set(ax, c.name, text(c.value));
        set(ax, "YLim", row(c.ylim));
        series({0, 1}, {c.y, c.y});
        const Picture p = capture(fig);
        EXPECT_TRUE(near(p.at(c.row - 1, 100), red));
        EXPECT_TRUE(near(p.at(c.row, 100), red));
        EXPECT_TRUE(near(p.at(c.row + 8, 100), white));
        EXPECT_TRUE(near(p.at(c.row - 9, 100), white));
    }
}

TEST_F(Render, WrittenLimitsHoldUntilTheModeGoesBackToAuto)
{
    figure_with_axes();
    series({0, 4}, {0.5, 0.5});
    set(ax, "XLim", row({0, 8}));
    Picture p = capture(fig);
    EXPECT_TRUE(near(p.at(80, 90), red)) << "x = 4 is the box's middle (column 100)";
    EXPECT_TRUE(near(p.at(80, 110), white));
    set(ax, "XLimMode", text("auto"));
    p = capture(fig);
    EXPECT_TRUE(near(p.at(80, 175), red)) << "the data fill the box again";
}

TEST_F(Render, ColourCodesWordsRowsAndPackedValues)
{
    struct Case {
        const char* what;
        Val colour;
        Rgb want;
    };
    const std::vector<Case> cases = {
        {"y", num(-100), {1, 1, 0}},          {"m", num(-101), {1, 0, 1}},
        {"c", num(-102), {0, 1, 1}},          {"r", num(-103), {1, 0, 0}},
        {"g", num(-104), {0, 1, 0}},          {"b", num(-105), {0, 0, 1}},
        {"k", num(-107), {0, 0, 0}},          {"row", row({0.2, 0.4, 0.6}), {0.2, 0.4, 0.6}},
        {"word", text("magenta"), {1, 0, 1}}, {"letter", text("c"), {0, 1, 1}},
        {"packed", num(255 + 256 * 128), {1, 128 / 255.0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_axes();
        const double h = series({0, 1}, {0.5, 0.5});
        set(h, "Color", c.colour);
        EXPECT_TRUE(near(capture(fig).at(80, 100), c.want, 2.5 / 255));
    }
}

TEST_F(Render, RenderingIsDeterministic)
{
    auto draw = [this] {
        vt::reset();
        figure_with_axes({0, 0, 1, 1});
        set(ax, "Title", text("Same picture"));
        set(ax, "XGrid", text("on"));
        series({0, 0.3, 0.6, 1}, {0.1, 0.9, 0.2, 0.7}, -105, 1, 3);
    };
    draw();
    ASSERT_TRUE(vt::render_png(fig, path("a.png")));
    const Picture first = capture(fig);
    draw();
    ASSERT_TRUE(vt::render_png(fig, path("b.png")));
    const std::string a = slurp(path("a.png")), b = slurp(path("b.png"));
    EXPECT_GT(a.size(), 100u);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(first == capture(fig));
}

TEST_F(Render, CaptureAndPrintGiveTheFigureSize)
{
    fig = vizmo_create_object("Figure", -1);
    set(fig, "Position", row({100, 100, 320, 240}));
    ax = vizmo_create_object("Axes", -1);
    set(ax, "Parent", num(fig));
    series({1, 2, 3}, {3, 1, 2});
    const Picture p = capture(ax);
    EXPECT_EQ(p.rows, 240);
    EXPECT_EQ(p.cols, 320);

    setenv("VIZMO_OUTPUT_DIR", dir.c_str(), 1);
    set(fig, "Print", num(0));
    const std::string png = slurp(path("figure-1-print.png"));
    vizmo::codec::Picture decoded;
    ASSERT_TRUE(vizmo::codec::decode_png(reinterpret_cast<const std::uint8_t*>(png.data()), png.size(), decoded));
    ASSERT_EQ(decoded.rows, 240);
    ASSERT_EQ(decoded.cols, 320);
    ASSERT_FALSE(decoded.indexed);
    // The printed file holds the captured picture.
    for (int i : {0, 50, 120, 239})
        for (int j : {0, 100, 160, 319}) {
            SCOPED_TRACE(testing::Message() << i << ", " << j);
            const std::size_t k = 3 * (static_cast<std::size_t>(i) * 320 + j);
            EXPECT_TRUE(near({decoded.pixels[k] / 255.0, decoded.pixels[k + 1] / 255.0, decoded.pixels[k + 2] / 255.0},
                             p.at(i, j), 0));
        }
}

TEST_F(Render, RedrawWritesTheChangedFiguresOnly)
{
    setenv("VIZMO_OUTPUT_DIR", dir.c_str(), 1);
    figure_with_axes();
    series({0, 1}, {0.5, 0.5});
    const double other = vizmo_create_object("Figure", 2);
    set(other, "Position", row({0, 0, 50, 40}));
    vizmo_redraw();
    set(ax, "Color", row({0, 0, 1}));
    vizmo_redraw();
    vizmo_redraw();
    auto exists = [this](const char* name) { return access(path(name).c_str(), F_OK) == 0; };
    EXPECT_TRUE(exists("figure-1-1.png"));
    EXPECT_TRUE(exists("figure-1-1.svg"));
    EXPECT_TRUE(exists("figure-2-1.png"));
    EXPECT_TRUE(exists("figure-1-2.png")) << "figure 1 changed";
    EXPECT_FALSE(exists("figure-2-2.png")) << "figure 2 did not";
    EXPECT_FALSE(exists("figure-1-3.png")) << "nothing changed";
    vizmo_exit(0);
    EXPECT_TRUE(exists("figure-1.png"));
    EXPECT_TRUE(exists("figure-2.svg"));
}

TEST_F(Render, SvgHoldsOnePathPerPieceOfASeries)
{
    struct Case {
        const char* what;
        std::vector<double> x, y;
        std::size_t paths;
    };
    const std::vector<Case> cases = {
        {"whole", {0, 0.5, 1}, {0.2, 0.8, 0.2}, 1},
        {"one gap", {0, 0.2, nan, 0.6, 1}, {0.2, 0.8, 0.5, 0.2, 0.8}, 2},
        {"gap in y", {0, 0.2, 0.4, 0.6, 0.8, 1}, {0.2, nan, 0.5, 0.5, nan, 0.8}, 1},
        {"gaps at the ends", {nan, 0.2, 0.4, nan}, {0.5, 0.2, 0.6, 0.5}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_axes();
        series(c.x, c.y);
        ASSERT_TRUE(vt::render_svg(fig, path("s.svg")));
        const std::string svg = slurp(path("s.svg"));
        EXPECT_TRUE(well_formed_svg(svg));
        EXPECT_EQ(count(svg, "stroke:rgb(100%,0%,0%)"), c.paths);
    }
}

TEST_F(Render, ImagesFollowTheirColormap)
{
    // imagesc of a 4 x 4 matrix holding 0..15 column by column, between
    // CLim [0 15], through a 16-row gray map: cell value v shows gray v / 15.
    figure_with_axes();
    std::vector<double> map(48);
    for (int k = 0; k < 16; ++k)
        map[k] = map[16 + k] = map[32 + k] = k / 15.0;
    set(fig, "ColorMap", Val(16, 3, map));
    std::vector<double> cd(16);
    for (int k = 0; k < 16; ++k)
        cd[k] = k;
    set(ax, "CData", Val(4, 4, cd));
    set(ax, "CDataMapping", text("scaled"));
    set(ax, "CLim", row({0, 15}));
    set(ax, "XLim", row({1, 4}));
    set(ax, "YLim", row({4, 1}));
    set(ax, "IMLim", row({1, 4, 1, 4}));
    Picture p = capture(fig);
    // Cell (i, j) is centred at x = j, y = i (row 1 at the top): columns
    // 20 + (j - 1) * 160 / 3, rows 16 + (i - 1) * 128 / 3.
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j) {
            SCOPED_TRACE(testing::Message() << "cell " << i << ", " << j);
            // Clear of the tick marks, which fall on the cell centres.
            const int col = static_cast<int>(20 + (j - 1) * 160.0 / 3 + (j == 1 ? 8 : j == 4 ? -8 : 10));
            const int r = static_cast<int>(16 + (i - 1) * 128.0 / 3 + (i == 1 ? 8 : i == 4 ? -8 : 10));
            const double v = cd[static_cast<std::size_t>((j - 1) * 4 + (i - 1))] / 15.0;
            EXPECT_TRUE(near(p.at(r, col), {v, v, v}));
        }

    // Direct mapping takes the indices as 1-based rows of the map.
    set(ax, "CDataMapping", text("direct"));
    set(ax, "CData", Val(4, 4, std::vector<double>(16, 16)));
    EXPECT_TRUE(near(capture(fig).at(80, 100), white)) << "index 16 is the last row";
    set(ax, "CData", Val(4, 4, std::vector<double>(16, 1)));
    EXPECT_TRUE(near(capture(fig).at(80, 100), {0, 0, 0})) << "index 1 is the first row";

    // A truecolor image holds planes blue, green, red.
    std::vector<double> rgb(12, 0);
    std::fill(rgb.begin() + 8, rgb.end(), 1.0);
    Val truecolor(2, 2, rgb);
    truecolor.m.ndims = 3;
    truecolor.m.dims[2] = 3;
    set(ax, "CData", truecolor);
    set(ax, "IMLim", row({1, 3, 1, 3}));
    set(ax, "XLim", row({1, 3}));
    set(ax, "YLim", row({3, 1}));
    p = capture(fig);
    EXPECT_TRUE(near(p.at(40, 40), red));
    EXPECT_TRUE(near(p.at(120, 160), red));
}

TEST_F(Render, ByteImagesDrawAsTheNumbersTheyStandFor)
{
    // Bytes are indices from 0 or components 0..255: each picture drawn from
    // bytes is the one drawn from the doubles they stand for.
    figure_with_axes();
    std::vector<double> map(48);
    for (int k = 0; k < 16; ++k) {
        map[k] = k / 15.0;
        map[16 + k] = (15 - k) / 15.0;
        map[32 + k] = (k % 4) / 3.0;
    }
    set(fig, "ColorMap", Val(16, 3, map));
    set(ax, "CLim", row({0, 15}));
    set(ax, "XLim", row({0.5, 4.5}));
    set(ax, "YLim", row({4.5, 0.5}));
    set(ax, "IMLim", row({1, 4, 1, 4}));
    struct Case {
        const char* what;
        const char* mapping;
        int planes;
        std::vector<double> numbers;
        std::vector<unsigned char> bytes;
    };
    std::vector<Case> cases = {
        {"scaled", "scaled", 1, {}, {}},
        {"direct", "direct", 1, {}, {}},
        {"direct beyond the map", "direct", 1, std::vector<double>(16, 16), std::vector<unsigned char>(16, 200)},
        {"truecolor", "direct", 3, {}, {}},
    };
    for (int k = 0; k < 16; ++k) {
        const unsigned char v = static_cast<unsigned char>((k * 7) % 16);
        cases[0].numbers.push_back(v), cases[0].bytes.push_back(v);
        cases[1].numbers.push_back(v + 1.0), cases[1].bytes.push_back(v);
    }
    for (int k = 0; k < 48; ++k) {
        const unsigned char v = static_cast<unsigned char>((k * 97) % 256);
        cases[3].numbers.push_back(v / 255.0), cases[3].bytes.push_back(v);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set(ax, "CDataMapping", text(c.mapping));
        Val numbers(4, 4, c.numbers);
        numbers.m.ndims = c.planes == 3 ? 3 : 2;
        numbers.m.dims[2] = c.planes;
        set(ax, "CData", numbers);
        const Picture from_numbers = capture(fig);
        std::vector<unsigned char> bytes = c.bytes;
        miniM m{numbers.m.ndims, {4, 4, c.planes, 1}, 0, nullptr};
        m.isBytes = 1;
        m.bytes = bytes.data();
        vizmo_set_property(ax, "CData", &m);
        ASSERT_TRUE(vt::prop(ax, "CData").is_bytes);
        EXPECT_TRUE(capture(fig) == from_numbers);
    }
}

TEST_F(Render, MarkersAndLineStylesDrawDifferentPictures)
{
    const std::vector<double> x = {0.2, 0.5, 0.8}, y = {0.3, 0.7, 0.4};
    auto picture = [&](double marker, double style) {
        vt::reset();
        figure_with_axes();
        series(x, y, -105, marker, style);
        return capture(fig);
    };
    std::vector<Picture> markers, styles;
    for (int m = 0; m <= 12; ++m)
        markers.push_back(picture(m, -1));
    for (int s = 0; s <= 3; ++s)
        styles.push_back(picture(-1, s));
    vt::reset();
    figure_with_axes();
    const Picture empty = capture(fig);
    for (std::size_t a = 0; a < markers.size(); ++a) {
        EXPECT_FALSE(markers[a] == empty) << "marker " << a << " is drawn";
        for (std::size_t b = a + 1; b < markers.size(); ++b)
            EXPECT_FALSE(markers[a] == markers[b]) << "markers " << a << " and " << b;
    }
    for (std::size_t a = 0; a < styles.size(); ++a)
        for (std::size_t b = a + 1; b < styles.size(); ++b)
            EXPECT_FALSE(styles[a] == styles[b]) << "line styles " << a << " and " << b;
    EXPECT_TRUE(picture(-1, -1) == empty) << "no line and no marker draw nothing";
}

TEST_F(Render, ChartTypesFillWhatTheyShould)
{
    struct Case {
        const char* chart;
        std::vector<double> x, y;
        int i, j;       // a pixel the chart fills with its colour
        int ei, ej;     // one it leaves empty
    };
    // Limits [0 1 0 1]: box columns 20..180, rows 16..144.
    const std::vector<Case> cases = {
        {"area", {0, 1}, {0.5, 0.5}, 120, 100, 60, 100},
        {"bar", {0.5}, {0.5}, 120, 100, 60, 100},
        {"barh", {0.5}, {0.5}, 80, 60, 80, 160},  // lengths in x, positions in y
        {"patch", {0.2, 0.8, 0.8, 0.2}, {0.2, 0.2, 0.8, 0.8}, 80, 100, 30, 30},
        {"stairs", {0, 0.5, 1}, {0.25, 0.75, 0.75}, 48, 140, 112, 140},
        {"stem", {0.5}, {0.75}, 80, 100, 80, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chart);
        vt::reset();
        figure_with_axes();
        const double h = series(c.x, c.y);
        set(h, "ChartType", text(c.chart));
        const Picture p = capture(fig);
        EXPECT_TRUE(near(p.at(c.i, c.j), red));
        EXPECT_TRUE(near(p.at(c.ei, c.ej), white));
    }
}

TEST_F(Render, BarsOfSeveralSeriesGroupOrStack)
{
    // Two series of one bar each at x = 0.5, heights 0.25 (red) and 0.5 (blue).
    struct Case {
        const char* stacktype;
        Rgb left_low, right_low, left_high;  // at columns 70 and 130, rows 120 and 60
    };
    const Rgb blue{0, 0, 1};
    const std::vector<Case> cases = {
        {"grouped", red, blue, white},
        {"none", red, blue, white},
        {"stacked", red, red, blue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stacktype);
        vt::reset();
        figure_with_axes();
        for (auto [colour, height] : {std::pair{-103.0, 0.25}, std::pair{-105.0, 0.5}}) {
            const double h = series({0.5}, {height}, colour);
            set(h, "ChartType", text("bar"));
            set(h, "Stacktype", text(c.stacktype));
        }
        const Picture p = capture(fig);
        EXPECT_TRUE(near(p.at(125, 70), c.left_low));
        EXPECT_TRUE(near(p.at(125, 130), c.right_low));
        EXPECT_TRUE(near(p.at(60, 70), c.left_high));
    }
}

TEST_F(Render, LabelsAndLegendComeFromTheirObjectsAndRows)
{
    auto picture = [this](bool title, bool legend, const char* legend_switch) {
        vt::reset();
        figure_with_axes();
        series({0, 1}, {0.2, 0.2});
        series({0, 1}, {0.4, 0.4}, -105);
        if (title) {
            // As the label functions make it: a hidden text object in the axes.
            const double t = vizmo_create_object("line", -1);
            set(t, "ChartType", text("text"));
            set(t, "Parent", num(ax));
            set(t, "Position", row({0, 0}));
            set(t, "Visible", text("off"));
            set(t, "String", text("Title"));
            set(ax, "Title", num(t));
        }
        if (legend) {
            set(ax, "LegendString", Val(2, 3, {'o', 't', 'n', 'w', 'e', 'o'}, true));  // rows "one", "two"
            set(ax, "Legend", text(legend_switch));
        }
        return capture(fig);
    };
    const Picture plain = picture(false, false, "on");
    const Picture titled = picture(true, false, "on");
    int changed_above = 0, changed_inside = 0;
    for (int i = 0; i < 160; ++i)
        for (int j = 0; j < 200; ++j)
            if (!near(plain.at(i, j), titled.at(i, j), 0))
                (i < 16 ? changed_above : changed_inside) += 1;
    EXPECT_GT(changed_above, 10) << "the title shows above the box";
    EXPECT_EQ(changed_inside, 0) << "its hidden text object draws nothing at [0 0]";

    const Picture legend = picture(false, true, "on");
    // The legend box lies in the top right corner of the axes box, with a
    // swatch of each series' colour.
    int red_swatch = 0, blue_swatch = 0;
    for (int i = 16; i < 60; ++i)
        for (int j = 100; j < 180; ++j) {
            red_swatch += near(legend.at(i, j), red);
            blue_swatch += near(legend.at(i, j), {0, 0, 1});
        }
    EXPECT_GT(red_swatch, 10);
    EXPECT_GT(blue_swatch, 10);
    EXPECT_TRUE(picture(false, true, "off") == plain) << "Legend off hides it";
}

TEST_F(Render, DateAxesLabelTheirTicksThroughTheFormat)
{
    auto picture = [this](const char* format) {
        vt::reset();
        figure_with_axes();
        set(ax, "XLim", row({730545, 730575}));  // 29-Feb-2000 to 30-Mar-2000
        if (*format)
            set(ax, "xDate", text(format));
        return capture(fig);
    };
    auto below_the_box = [](const Picture& a, const Picture& b) {
        int differ = 0;
        for (int i = 145; i < 160; ++i)
            for (int j = 0; j < 200; ++j)
                differ += !near(a.at(i, j), b.at(i, j), 0);
        return differ;
    };
    const Picture numbers = picture(""), months = picture("mmm"), days = picture("dd");
    EXPECT_GT(below_the_box(numbers, months), 20);
    EXPECT_GT(below_the_box(months, days), 20);
    EXPECT_TRUE(picture("mmm") == months);
}

TEST_F(Render, PolarFramePutsZeroAtTheTopClockwise)
{
    figure_with_axes();
    // One spoke from the centre along angle pi/2: to the right.
    const double h = series({M_PI / 2, M_PI / 2}, {0, 1});
    set(h, "ChartType", text("polar"));
    const Picture p = capture(fig);
    // Centre (100, 80), radius 0.45 * 128 = 57.6.
    int red_right = 0, red_elsewhere = 0;
    for (int j = 105; j < 150; ++j)
        red_right += near(p.at(79, j), red, 0.1) || near(p.at(80, j), red, 0.1);
    for (int i = 20; i < 75; ++i)
        red_elsewhere += near(p.at(i, 100), red, 0.1);
    EXPECT_GE(red_right, 40);
    EXPECT_EQ(red_elsewhere, 0) << "nothing towards the top";
}

TEST_F(Render, SurfacesTakeTheirColoursFromZ)
{
    // A flat view of a 2 x 2 grid whose z rises along x: with a two-row
    // map (black, white) the low half is black and the high half white.
    figure_with_axes();
    set(fig, "ColorMap", Val(2, 3, {0, 1, 0, 1, 0, 1}));
    set(ax, "View", row({0, 90}));
    set(ax, "XLim", row({0, 2}));
    const double s = vizmo_create_object("surface", -1);
    set(s, "Parent", num(ax));
    std::vector<double> x, y, z;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 2; ++r) {
            x.push_back(c);
            y.push_back(r);
            z.push_back(c);
        }
    vizmo_set_data(s, 6, x.data(), 1, y.data(), 1, z.data(), 0);
    const Picture p = capture(fig);
    int black = 0, whites = 0;
    for (int j = 20; j < 180; ++j) {
        black += near(p.at(80, j), {0, 0, 0}, 0.05);
        whites += near(p.at(80, j), white, 0.05);
    }
    EXPECT_GT(black, 20) << "the quad with z 0.5 takes the first row";
    EXPECT_GT(whites, 20) << "the quad with z 1.5 the second";
    EXPECT_TRUE(near(p.at(80, 60), {0, 0, 0}, 0.05)) << "low x lies left";
}

TEST_F(Render, InterpolatedShadingAndContourLines)
{
    // One quad over the whole box, z = x, through a black-to-white map.
    auto plane = [this](const char* chart) {
        vt::reset();
        figure_with_axes();
        set(fig, "ColorMap", Val(2, 3, {0, 1, 0, 1, 0, 1}));
        set(ax, "View", row({0, 90}));
        const double s = vizmo_create_object("surface", -1);
        set(s, "Parent", num(ax));
        set(s, "ChartType", text(chart));
        std::vector<double> x = {0, 0, 1, 1}, y = {0, 1, 0, 1}, z = {0, 0, 1, 1};
        vizmo_set_data(s, 4, x.data(), 1, y.data(), 1, z.data(), 0);
        return s;
    };
    plane("surf");
    set(ax, "Shading", text("interp"));
    Picture p = capture(fig);
    const double left = p.at(80, 40).r, middle = p.at(80, 100).r, right = p.at(80, 160).r;
    EXPECT_LT(left, middle);
    EXPECT_LT(middle, right);
    EXPECT_NEAR(middle, 0.5, 0.1) << "halfway between the corner colours";
    EXPECT_TRUE(near(p.at(40, 100), p.at(120, 100), 2.0 / 255)) << "z does not change along y";

    // One contour level, at the middle height: a line at x = 0.5, column 100.
    const double c = plane("contour");
    set(fig, "ColorMap", Val(2, 3, {1, 0, 0, 0, 0, 1}));  // red, blue: no level is white
    set(c, "NumContourLines", num(1));
    p = capture(fig);
    int on_line = 0;
    for (int i = 20; i < 140; ++i)
        on_line += !near(p.at(i, 100), white, 0.02) || !near(p.at(i, 99), white, 0.02);
    EXPECT_GT(on_line, 100);
    EXPECT_TRUE(near(p.at(80, 60), white)) << "nothing but the level line";
    EXPECT_TRUE(near(p.at(80, 140), white));
    set(c, "NumContourLines", num(3));
    p = capture(fig);
    EXPECT_FALSE(near(p.at(80, 60), white, 0.02)) << "x = 0.25 is a level now";
}

TEST_F(Render, ControlsAreLabelledBoxes)
{
    fig = vizmo_create_object("Figure", -1);
    set(fig, "Position", row({0, 0, 200, 100}));
    set(fig, "Color", row({0.8, 0.8, 0.8}));
    const double b = vizmo_create_object("pushbutton", -1);
    set(b, "Parent", num(fig));
    set(b, "Position", row({10, 10, 80, 30}));  // pixels from the bottom left
    set(b, "BackgroundColor", row({1, 0, 0}));
    set(b, "String", text("OK"));
    const double bar = vizmo_create_object("progressbar", -1);
    set(bar, "Parent", num(fig));
    set(bar, "Position", row({100, 60, 90, 20}));
    set(bar, "Value", num(50));
    const Picture p = capture(fig);
    EXPECT_TRUE(near(p.at(62, 80), red)) << "the button's box, away from its label";
    EXPECT_TRUE(near(p.at(50, 50), gray)) << "above the button";
    const Rgb left = p.at(30, 120), right = p.at(30, 180);
    EXPECT_FALSE(near(left, right)) << "half the bar is filled";
}

// ---------------------------------------------------------------------------
// 3-D axes, the legend's place and swatches, hosted axes.

bool reddish(const Rgb& c) { return c.r > 0.7 && c.g < 0.35 && c.b < 0.35; }
// For scanning whole pictures: near() builds a message for every miss.
bool same(const Rgb& a, const Rgb& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
bool bluish(const Rgb& c) { return c.b > 0.7 && c.r < 0.35 && c.g < 0.35; }

struct Spot {
    int i, j;
};

std::vector<Spot> pixels_where(const Picture& p, bool (*pick)(const Rgb&))
{
    std::vector<Spot> out;
    for (int i = 0; i < p.rows; ++i)
        for (int j = 0; j < p.cols; ++j)
            if (pick(p.at(i, j)))
                out.push_back({i, j});
    return out;
}

class Render3d : public Render {
protected:
    // A 400 x 320 figure whose invisible axes box is columns 40..360, rows
    // 32..288, limits [0 1] on all three axes.
    void box(std::vector<double> view, bool visible = false)
    {
        figure_with_axes();
        set(fig, "Position", row({0, 0, 400, 320}));
        set(ax, "ZLim", row({0, 1}));
        set(ax, "View", row(std::move(view)));
        if (!visible)
            set(ax, "Visible", text("off"));
    }
    double series3(std::vector<double> x, std::vector<double> y, std::vector<double> z, double colour = -103)
    {
        const double h = series(x, y, colour);
        set(h, "ChartType", text("plot3"));
        vizmo_set_data(h, static_cast<int>(x.size()), x.data(), 1, y.data(), 1, z.data(), 1);
        return h;
    }
};

TEST_F(Render3d, TheViewTurnsAndTiltsTheBox)
{
    // From azimuth -37.5 and elevation 30 the viewer stands beyond the
    // corner x = 0, y = 0: from there x runs up to the right, y up to the
    // left and z straight up.
    struct Case {
        const char* what;
        std::vector<double> x, y, z;
        int lean;  // sign of (column of the top end - column of the bottom end); 0: vertical
    };
    const std::vector<Case> cases = {
        {"x", {0, 1}, {0, 0}, {0, 0}, 1},
        {"y", {0, 0}, {0, 1}, {0, 0}, -1},
        {"z", {0, 0}, {0, 0}, {0, 1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        box({-37.5, 30});
        series3(c.x, c.y, c.z);
        const std::vector<Spot> red_pixels = pixels_where(capture(fig), reddish);
        ASSERT_GT(red_pixels.size(), 40u);
        const Spot top = red_pixels.front(), bottom = red_pixels.back();  // row order
        EXPECT_GT(bottom.i - top.i, 20) << "the line has height on the screen";
        if (c.lean == 0)
            EXPECT_LE(std::abs(top.j - bottom.j), 2);
        else
            EXPECT_GT(c.lean * (top.j - bottom.j), 30);
    }
}

TEST_F(Render3d, StandardViewsNameTheirAngles)
{
    auto picture = [this](std::vector<double> view) {
        vt::reset();
        box(std::move(view), true);
        series3({0, 1, 1}, {0, 0, 1}, {0, 0.5, 1});
        return capture(fig);
    };
    const Picture above = picture({0, 90}), usual = picture({-37.5, 30});
    EXPECT_FALSE(above == usual);
    EXPECT_FALSE(picture({30, 45}) == usual);
    struct Case {
        double view;
        const Picture& same_as;
        const char* what;
    };
    const std::vector<Case> cases = {
        {2, above, "2"}, {2.5, above, "2.5"}, {3, usual, "3"}, {3.5, usual, "3.5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(picture({c.view}) == c.same_as);
    }
}

TEST_F(Render3d, TheZAxisCarriesTicksAndItsLabel)
{
    // Only the z tick labels change with ZLim in an empty box; they and the
    // z label lie left of the box, up its leftmost edge.
    auto picture = [this](std::vector<double> view, double ztop, const char* zlabel) {
        vt::reset();
        box(std::move(view), true);
        set(ax, "ZLim", row({0, ztop}));
        if (*zlabel)
            set(ax, "ZLabel", text(zlabel));
        return capture(fig);
    };
    auto differ = [](const Picture& a, const Picture& b, int& rightmost) {
        int n = 0;
        rightmost = -1;
        for (int i = 0; i < a.rows; ++i)
            for (int j = 0; j < a.cols; ++j)
                if (!same(a.at(i, j), b.at(i, j))) {
                    ++n;
                    rightmost = std::max(rightmost, j);
                }
        return n;
    };
    const Picture unit = picture({-37.5, 30}, 1, "");
    int rightmost;
    EXPECT_GT(differ(unit, picture({-37.5, 30}, 1000, ""), rightmost), 20) << "z tick labels";
    EXPECT_LT(rightmost, 110);
    EXPECT_GT(differ(unit, picture({-37.5, 30}, 1, "height"), rightmost), 20) << "the z label";
    EXPECT_LT(rightmost, 110);
    EXPECT_EQ(differ(picture({0, 90}, 1, ""), picture({0, 90}, 1000, "height"), rightmost), 0)
        << "a flat view has no z axis";
}

TEST_F(Render3d, ZTickLabelsTellCloseTicksApart)
{
    // Ticks 2e-10 apart about 1 need eleven digits to differ; shown with
    // six they would all read "1", narrower than the labels of [0 1].
    auto leftmost_ink = [this](double lo, double hi) {
        vt::reset();
        box({-37.5, 30}, true);
        set(ax, "ZLim", row({lo, hi}));
        const Picture p = capture(fig);
        int left = p.cols;
        for (int i = 0; i < p.rows; ++i)
            for (int j = 0; j < left; ++j)
                if (p.at(i, j).r < 0.5)
                    left = j;
        return left;
    };
    const int unit = leftmost_ink(0, 1), close = leftmost_ink(1, 1 + 1e-9);
    ASSERT_LT(unit, 200) << "the unit box has z tick labels";
    EXPECT_LT(close, unit - 30) << "labels long enough to differ";
}

TEST_F(Render3d, AMeshSeenIn3dLiftsHighZ)
{
    // A mesh of the plane z = x through a red (low) and blue (high) map.
    auto picture = [this](std::vector<double> view) {
        vt::reset();
        box(std::move(view));
        set(fig, "ColorMap", Val(2, 3, {1, 0, 0, 0, 0, 1}));
        const double s = vizmo_create_object("surface", -1);
        set(s, "Parent", num(ax));
        set(s, "ChartType", text("mesh"));
        std::vector<double> x, y, z;
        for (int c = 0; c < 5; ++c)
            for (int r = 0; r < 5; ++r) {
                x.push_back(c / 4.0);
                y.push_back(r / 4.0);
                z.push_back(c / 4.0);
            }
        vizmo_set_data(s, 25, x.data(), 1, y.data(), 1, z.data(), 0);
        return capture(fig);
    };
    auto mean = [](const std::vector<Spot>& v, bool row) {
        double sum = 0;
        for (const Spot& p : v)
            sum += row ? p.i : p.j;
        return v.empty() ? nan : sum / static_cast<double>(v.size());
    };
    const Picture tilted = picture({-37.5, 30}), flat = picture({0, 90});
    const std::vector<Spot> low = pixels_where(tilted, reddish), high = pixels_where(tilted, bluish);
    ASSERT_GT(low.size(), 50u);
    ASSERT_GT(high.size(), 50u);
    EXPECT_GT(mean(low, true) - mean(high, true), 20) << "high z is drawn higher";
    EXPECT_LT(mean(pixels_where(flat, reddish), false), mean(pixels_where(flat, bluish), false) - 50)
        << "from above, low x lies left";
}

TEST_F(Render, LegendPosPlacesTheLegend)
{
    // Axes box columns 20..180, rows 16..144, green; the legend is the one
    // white box. Edges are checked to 3 pixels.
    constexpr int any = -1000;
    struct Case {
        const char* what;
        std::vector<double> pos;  // empty: not written
        int left, right, top, bottom;
    };
    const std::vector<Case> cases = {
        {"default", {}, any, 174, 22, any},
        {"1, upper right", {1}, any, 174, 22, any},
        {"2, upper left", {2}, 26, any, 22, any},
        {"3, lower left", {3}, 26, any, any, 138},
        {"4, lower right", {4}, any, 174, any, 138},
        // Right of the box the legend would run past the figure's edge
        // (200 pixels): it moves in to show whole.
        {"-1, right of the box", {-1}, any, 197, 16, any},
        {"[0.5 0.5], lower left corner at the middle", {0.5, 0.5}, 100, any, any, 80},
        {"0, where it hides the fewest points", {0}, 26, any, any, 138},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_axes();
        set(ax, "Color", row({0, 1, 0}));
        std::vector<double> x(41), y(41, 0.9);
        for (int k = 0; k <= 40; ++k)
            x[k] = k / 40.0;
        series(x, y);  // along the top: only the lower corners are free
        set(ax, "LegendString", text("a"));
        if (!c.pos.empty())
            set(ax, "LegendPos", row(c.pos));
        const Picture p = capture(fig);
        int left = p.cols, right = -1, top = p.rows, bottom = -1;
        for (int i = 0; i < p.rows; ++i)
            for (int j = 0; j < p.cols; ++j)
                if (same(p.at(i, j), white)) {
                    left = std::min(left, j);
                    right = std::max(right, j);
                    top = std::min(top, i);
                    bottom = std::max(bottom, i);
                }
        ASSERT_GE(right, 0) << "a legend is drawn";
        if (c.left != any) {
            EXPECT_NEAR(left, c.left, 3);
        }
        if (c.right != any) {
            EXPECT_NEAR(right, c.right, 3);
        }
        if (c.top != any) {
            EXPECT_NEAR(top, c.top, 3);
        }
        if (c.bottom != any) {
            EXPECT_NEAR(bottom, c.bottom, 3);
        }
    }
}

TEST_F(Render, LegendSwatchesShowStyleAndMarker)
{
    // Upper left legend: the swatch spans columns 32..56 on row 33.
    auto picture = [this](double style, double mark, const char* chart = "plot") {
        vt::reset();
        figure_with_axes();
        set(ax, "Color", row({0, 1, 0}));
        const double h = series({0.6, 0.9}, {0.1, 0.1}, -103, mark, style);
        set(h, "ChartType", text(chart));
        set(ax, "LegendString", text("a"));
        set(ax, "LegendPos", num(2));
        return capture(fig);
    };
    auto red_in = [](const Picture& p, int i0, int i1, int j0, int j1) {
        int n = 0;
        for (int i = i0; i <= i1; ++i)
            for (int j = j0; j <= j1; ++j)
                n += reddish(p.at(i, j));
        return n;
    };
    struct Case {
        const char* what;
        double style, mark;
        int row_min, row_max;        // red pixels on rows 32..33, columns 32..56
        int ends_min, ends_max;      // red pixels at the swatch's ends (columns 32..35 and 53..56)
    };
    const std::vector<Case> cases = {
        {"solid", 0, -1, 40, 50, 14, 16},
        {"dashed", 3, -1, 16, 40, 2, 16},
        {"dotted", 1, -1, 6, 30, 1, 16},
        {"circle alone", -1, 1, 0, 14, 0, 0},
        {"solid with circle", 0, 1, 40, 50, 14, 16},
        {"nothing", -1, -1, 0, 0, 0, 0},
    };
    std::vector<Picture> pictures;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Picture p = picture(c.style, c.mark);
        const int on_row = red_in(p, 32, 33, 32, 56), ends = red_in(p, 32, 33, 32, 35) + red_in(p, 32, 33, 53, 56);
        EXPECT_GE(on_row, c.row_min);
        EXPECT_LE(on_row, c.row_max);
        EXPECT_GE(ends, c.ends_min);
        EXPECT_LE(ends, c.ends_max);
        pictures.push_back(p);
    }
    for (std::size_t a = 0; a < pictures.size(); ++a)
        for (std::size_t b = a + 1; b < pictures.size(); ++b)
            EXPECT_FALSE(pictures[a] == pictures[b]) << cases[a].what << " and " << cases[b].what;
    EXPECT_GT(red_in(picture(0, -1, "bar"), 28, 38, 32, 56), 100) << "a bar's swatch is a filled box";
}

TEST_F(Render, HostedAxesAreDrawnOnTheirOwn)
{
    // An axes a host window holds, as winaxes makes it: its parent is the
    // root; its picture is the size of a new figure, 560 x 420.
    ax = vizmo_create_object("Axes", -1);
    set(ax, "Parent", num(0));
    set(ax, "WinParent", num(0));
    set(ax, "XLim", row({0, 1}));
    set(ax, "YLim", row({0, 1}));
    series({0, 1}, {0.5, 0.5});
    const Picture p = capture(ax);
    ASSERT_EQ(p.rows, 420);
    ASSERT_EQ(p.cols, 560);
    // The box leaves 30 rows above and 45 below: y = 0.5 is row 202.5.
    EXPECT_TRUE(near(p.at(202, 280), red) || near(p.at(203, 280), red));
    EXPECT_TRUE(near(p.at(150, 280), white)) << "the axes background";
    EXPECT_TRUE(near(p.at(2, 2), gray)) << "the window around it";

    setenv("VIZMO_OUTPUT_DIR", dir.c_str(), 1);
    vizmo_redraw();
    set(ax, "Print", Val(0, 0, {}));
    const std::string stem = "axes-" + std::to_string(static_cast<long long>(ax));
    for (const std::string& name : {stem + "-1.png", stem + "-1.svg", stem + "-print.png"}) {
        SCOPED_TRACE(name);
        const std::string png = slurp(path(name));
        EXPECT_GT(png.size(), 100u);
    }
    vizmo::codec::Picture decoded;
    const std::string printed = slurp(path(stem + "-print.png"));
    ASSERT_TRUE(
        vizmo::codec::decode_png(reinterpret_cast<const std::uint8_t*>(printed.data()), printed.size(), decoded));
    EXPECT_EQ(decoded.rows, 420);
    EXPECT_EQ(decoded.cols, 560);
}

TEST_F(Render, AnImageIsAPictureWhateverWayTheAxesRun)
{
    // A colour bar's scale: an axes with rising limits whose image holds
    // its largest index in row 1, which therefore shows at the top.
    figure_with_axes();
    set(fig, "ColorMap", Val(2, 3, {0, 1, 0, 1, 0, 1}));  // black, white
    set(ax, "CData", Val(2, 1, {2, 1}));
    set(ax, "IMLim", row({0, 1, 0, 1}));
    for (const std::vector<double>& ylim : {std::vector<double>{0, 1}, std::vector<double>{1, 0}}) {
        SCOPED_TRACE(ylim[0] ? "turned over" : "rising");
        set(ax, "YLim", row(ylim));
        const Picture p = capture(fig);
        EXPECT_TRUE(near(p.at(40, 100), white)) << "row 1 at the top";
        EXPECT_TRUE(near(p.at(120, 100), {0, 0, 0}));
    }
}

TEST_F(Render, WrittenTicksReplaceTheChosenOnes)
{
    auto below_box = [](const Picture& p) {
        int dark = 0;
        for (int i = 145; i < 160; ++i)
            for (int j = 25; j < 200; ++j)  // clear of the y tick label at the bottom
                dark += p.at(i, j).r < 0.5;
        return dark;
    };
    figure_with_axes();
    const Picture chosen = capture(fig);
    EXPECT_GT(below_box(chosen), 20) << "tick labels under the box";
    set(ax, "XTick", Val(0, 0, {}));
    EXPECT_EQ(below_box(capture(fig)), 0) << "an empty XTick, as a colour bar writes, shows none";
    set(ax, "XTick", row({0.5}));
    const int one = below_box(capture(fig));
    EXPECT_GT(one, 0);
    EXPECT_LT(one, below_box(chosen));
}

TEST_F(Render, LabelsKeepRoomBesideFigureEdgesAndNeighbours)
{
    // Two subplot cells side by side fill the figure but for small gaps:
    // each box keeps room for its tick labels inside its cell. An axes with
    // room around it is drawn where its position says (see above).
    fig = vizmo_create_object("Figure", -1);
    set(fig, "Position", row({0, 0, 400, 200}));
    set(fig, "Color", row({0.8, 0.8, 0.8}));
    for (double x : {0.0125, 0.5125}) {
        ax = vizmo_create_object("Axes", -1);
        set(ax, "Parent", num(fig));
        set(ax, "Position", row({x, 0.0125, 0.475, 0.975}));
        set(ax, "Color", row({0, 1, 0}));
    }
    const Picture p = capture(fig);
    const Rgb green{0, 1, 0};
    // Cells start at columns 5 and 205, 190 wide: 24.7 pixels of room.
    struct Case {
        int j;
        bool in_box;
    };
    const std::vector<Case> cases = {{12, false}, {35, true}, {212, false}, {235, true}, {175, true}, {194, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.j);
        EXPECT_EQ(near(p.at(100, c.j), green), c.in_box);
    }
    EXPECT_FALSE(near(p.at(193, 100), green)) << "room for the x tick labels at the bottom";
}

TEST_F(Render, BarsFitInsideAutomaticLimits)
{
    figure_with_axes();
    set(ax, "XLimMode", text("auto"));
    const double h = series({1, 2, 3}, {1, 2, 1});
    set(h, "ChartType", text("bar"));
    const std::vector<Spot> red_pixels = pixels_where(capture(fig), reddish);
    ASSERT_FALSE(red_pixels.empty());
    int left = 200, right = 0;
    for (const Spot& s : red_pixels) {
        left = std::min(left, s.j);
        right = std::max(right, s.j);
    }
    EXPECT_GT(left, 22) << "the first bar is whole";
    EXPECT_LT(right, 178) << "and the last";
}

TEST_F(Render3d, BarsStandAsShadedBoxes)
{
    // Bars at x = 1, 2, 3 under z limits [0 3]; an empty view is the flat one.
    auto picture = [this](std::vector<double> view, std::vector<double> heights) {
        vt::reset();
        box({}, true);
        set(ax, "View", view.empty() ? Val(0, 0, {}) : row(view));
        set(ax, "ZLim", row({0, 3}));
        set(ax, "YLimMode", text("auto"));
        set(ax, "XLimMode", text("auto"));
        const double h = series({1, 2, 3}, heights);
        set(h, "ChartType", text("bar"));
        set(h, "Stacktype", text("none"));
        return capture(fig);
    };
    auto top_row = [](const Picture& p) {
        for (int i = 0; i < p.rows; ++i)
            for (int j = 0; j < p.cols; ++j)
                if (p.at(i, j).r > 0.5 && p.at(i, j).g < 0.1)
                    return i;
        return p.rows;
    };
    const Picture low = picture({-37.5, 30}, {1, 1, 1}), tall = picture({-37.5, 30}, {1, 1, 3});
    EXPECT_LT(top_row(tall), top_row(low) - 20) << "the tall bar rises higher";
    // The top faces in the series' colour, the two visible sides darker.
    const double shade[3] = {1, 0.8, 0.65};
    int count[3] = {0, 0, 0};
    for (int i = 0; i < tall.rows; ++i)
        for (int j = 0; j < tall.cols; ++j)
            for (int k = 0; k < 3; ++k) {
                const Rgb c = tall.at(i, j);
                count[k] += std::fabs(c.r - shade[k]) < 0.6 / 255 && c.g == 0 && c.b == 0;
            }
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(shade[k]);
        EXPECT_GT(count[k], 100);
    }
    EXPECT_TRUE(picture({0, 90}, {1, 1, 3}) == picture({}, {1, 1, 3})) << "seen from above, the flat chart";
}

TEST_F(Render3d, OddSettingsStillGiveAPicture)
{
    // Values a program may write by mistake: each picture is drawn whole,
    // and the ones that mean nothing draw as if unset.
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::function<void(double ax, double line)> apply;
        bool as_if_unset;
    };
    const std::vector<Case> cases = {
        {"a view of NaN", [](double a, double) { set(a, "View", row({nan, 30})); }, false},
        {"a view of huge angles", [](double a, double) { set(a, "View", row({1e300, -1e300})); }, false},
        {"looking up from below", [](double a, double) { set(a, "View", row({20, -90})); }, false},
        {"equal z limits", [](double a, double) { set(a, "ZLim", row({1, 1})); }, false},
        {"log x over negative data",
         [](double a, double) {
             set(a, "XScale", text("log"));
             set(a, "XLimMode", text("auto"));
         },
         false},
        {"a legend place of NaN",
         [](double a, double) {
             set(a, "LegendString", text("a"));
             set(a, "LegendPos", row({nan, nan}));
         },
         false},
        {"a legend place outside the list",
         [](double a, double) {
             set(a, "LegendString", text("a"));
             set(a, "LegendPos", num(7));
         },
         false},
        {"a million ticks",
         [](double a, double) {
             std::vector<double> t(1000000);
             for (std::size_t k = 0; k < t.size(); ++k)
                 t[k] = static_cast<double>(k) / 1e6;
             set(a, "XTick", row(t));
         },
         false},
        {"infinite bars",
         [](double, double l) {
             set(l, "ChartType", text("bar"));
             set(l, "YData", row({inf, -inf, nan}));
         },
         false},
        {"a view that is not a standard one", [](double a, double) { set(a, "View", num(4)); }, true},
    };
    vt::reset();
    box({-37.5, 30}, true);
    series3({-1, 0.5, 1}, {0, 0.5, 1}, {0, 1, 0.5});
    set(ax, "View", Val(0, 0, {}));
    const Picture unset = capture(fig);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        box({-37.5, 30}, true);
        const double line = series3({-1, 0.5, 1}, {0, 0.5, 1}, {0, 1, 0.5});
        c.apply(ax, line);
        const Picture p = capture(fig);
        EXPECT_EQ(p.rows, 320);
        EXPECT_EQ(p.cols, 400);
        if (c.as_if_unset) {
            EXPECT_TRUE(p == unset);
        }
    }
}

TEST_F(Render3d, APieSeenIn3dIsATiltedDiscOnItsRim)
{
    // Two equal wedges, red and blue, in a square box; from above the pie
    // is a disc, from elevation 30 an ellipse half as tall with a darker rim.
    auto picture = [this](std::vector<double> view) {
        vt::reset();
        box(std::move(view), false);
        set(fig, "Position", row({0, 0, 300, 300}));
        set(ax, "Position", row({0, 0, 1, 1}));
        set(fig, "ColorMap", Val(2, 3, {1, 0, 0, 0, 0, 1}));
        const double h = series({1, 2}, {1, 1});
        set(h, "ChartType", text("pie"));
        return capture(fig);
    };
    struct Extent {
        int width = 0, height = 0, dark = 0;
    };
    auto extent = [](const Picture& p) {
        int top = p.rows, bottom = -1, left = p.cols, right = -1;
        Extent e;
        for (int i = 0; i < p.rows; ++i)
            for (int j = 0; j < p.cols; ++j) {
                const Rgb c = p.at(i, j);
                if (!(reddish(c) || bluish(c) || (c.r > 0.6 && c.r < 0.8 && c.g < 0.1) ||
                      (c.b > 0.6 && c.b < 0.8 && c.r < 0.1)))
                    continue;
                // The rim's shade itself, not the blend of an edge.
                e.dark += (std::fabs(c.r - 0.7) < 0.6 / 255 && c.g == 0 && c.b == 0) ||
                          (std::fabs(c.b - 0.7) < 0.6 / 255 && c.r == 0 && c.g == 0);
                top = std::min(top, i);
                bottom = std::max(bottom, i);
                left = std::min(left, j);
                right = std::max(right, j);
            }
        e.width = right - left;
        e.height = bottom - top;
        return e;
    };
    const Extent above = extent(picture({0, 90})), tilted = extent(picture({-37.5, 30}));
    EXPECT_NEAR(above.height, above.width, 3) << "a disc";
    EXPECT_LT(above.dark, 20) << "no rim from above";
    EXPECT_NEAR(tilted.width, above.width, 3);
    EXPECT_LT(tilted.height, 0.7 * tilted.width) << "squashed by the elevation";
    EXPECT_GT(tilted.dark, 500) << "the rim";
}

TEST_F(Render, FineSurfaceGridsShowTheirColoursNotTheirEdges)
{
    // A flat surface seen from above through a one-row red map: black edges
    // outline the cells of a coarse grid, never the pixel-sized cells of a
    // fine one.
    struct Case {
        int n;  // grid points per side
        bool edges;
    };
    for (const Case& c : {Case{4, true}, Case{200, false}}) {
        SCOPED_TRACE(c.n);
        vt::reset();
        figure_with_axes();
        set(fig, "ColorMap", Val(1, 3, {1, 0, 0}));
        set(ax, "View", row({0, 90}));
        const double s = vizmo_create_object("surface", -1);
        set(s, "Parent", num(ax));
        std::vector<double> x, y, z;
        for (int j = 0; j < c.n; ++j)
            for (int i = 0; i < c.n; ++i) {
                x.push_back(j / (c.n - 1.0));
                y.push_back(i / (c.n - 1.0));
                z.push_back(0);
            }
        vizmo_set_data(s, c.n * c.n, x.data(), 1, y.data(), 1, z.data(), 0);
        const Picture p = capture(fig);
        int red = 0, dark = 0;
        for (int i = 20; i < 140; ++i)
            for (int j = 24; j < 176; ++j) {
                red += reddish(p.at(i, j));
                dark += p.at(i, j).r < 0.5;
            }
        EXPECT_GT(red, 10000);
        EXPECT_EQ(dark > 100, c.edges);
    }
}

TEST_F(Render, TextsMayReachPastTheBox)
{
    // A text at the box's right edge (x = 1) runs on over the figure, as a
    // contour label on the edge does; a line there is cut at the box.
    auto picture = [this](const char* chart) {
        vt::reset();
        figure_with_axes();
        const double h = series({1, 1.2}, {0.5, 0.5}, -107);
        set(h, "ChartType", text(chart));
        set(h, "Position", row({1, 0.5}));
        set(h, "String", text("label"));
        return capture(fig);
    };
    auto dark_right_of_box = [](const Picture& p) {
        int n = 0;
        for (int i = 60; i < 100; ++i)
            for (int j = 182; j < 200; ++j)
                n += p.at(i, j).r < 0.5;
        return n;
    };
    EXPECT_GT(dark_right_of_box(picture("text")), 10);
    EXPECT_EQ(dark_right_of_box(picture("plot")), 0);
}

// Limits chosen from the data are the limits drawn, and reading them gives
// them: writing back what was read draws the same picture.
TEST_F(Render, AutomaticLimitsReadBackAsDrawn)
{
    struct Case {
        const char* what;
        std::vector<double> x, y;
        std::vector<double> xlim, ylim;  // by the rule of round steps: 1, 2 or 5 times a power of 10
    };
    const std::vector<Case> cases = {
        {"a small line", {1, 2, 3}, {10, 30, 20}, {1, 3}, {10, 30}},
        {"a rising line", {0, 7}, {-3, 4.5}, {0, 7}, {-3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_automatic_limits();
        series(c.x, c.y);
        const Picture chosen = capture(fig);
        const std::vector<double> xlim = get(ax, "XLim"), ylim = get(ax, "YLim");
        EXPECT_EQ(xlim, c.xlim);
        EXPECT_EQ(ylim, c.ylim);
        set(ax, "XLim", row(xlim));
        set(ax, "YLim", row(ylim));
        EXPECT_TRUE(capture(fig) == chosen) << "the limits read are those drawn";
    }
}

TEST_F(Render, StackedBarsPileUpAndDownFromZero)
{
    // One bar of parts 2 (red), -1 (blue) and 2 (green) at x = 0.5: red over
    // 0..2, green over 2..4, blue under 0 down to -1; the stacked extents
    // -1..4, and half a round step beyond each so that neither end of the
    // bar sits on the frame: limits -1.5..4.5 over the box rows 16..144,
    // 128 / 6 rows a unit.
    figure_with_axes();
    set(ax, "YLimMode", text("auto"));
    for (auto [colour, part] : {std::pair{-103.0, 2.0}, std::pair{-105.0, -1.0}, std::pair{-104.0, 2.0}}) {
        const double h = series({0.5}, {part}, colour);
        set(h, "ChartType", text("bar"));
        set(h, "Stacktype", text("stacked"));
    }
    EXPECT_EQ(get(ax, "YLim"), (std::vector<double>{-1.5, 4.5})) << "the stacked extents and room beyond";
    const Picture p = capture(fig);
    const Rgb blue{0, 0, 1}, green{0, 1, 0};
    EXPECT_TRUE(near(p.at(48, 100), green)) << "y = 3";
    EXPECT_TRUE(near(p.at(91, 100), red)) << "y = 1";
    EXPECT_TRUE(near(p.at(123, 100), blue)) << "y = -0.5";
    EXPECT_TRUE(near(p.at(21, 100), white)) << "above the top of the pile (y = 4.25)";
    EXPECT_TRUE(near(p.at(139, 100), white)) << "below its foot (y = -1.25)";
}

TEST_F(Render, ASeriesOnTheRightHasItsOwnScaleAndTicks)
{
    // plotyy's two series: 1..3 rising on the left axis, 300..100 falling
    // on its own axis at the right (and top).
    figure_with_automatic_limits({0.2, 0.1, 0.6, 0.8});
    series({1, 2, 3}, {1, 2, 3});
    const double second = series({1, 2, 3}, {300, 200, 100}, -105);
    set(second, "YAxisLocation", text("right"));
    set(second, "XAxisLocation", text("top"));
    EXPECT_EQ(get(ax, "YLim"), (std::vector<double>{1, 3})) << "the left axis has the first series alone";
    const Picture p = capture(fig);
    // The box is columns 40..160 and rows 16..144; at x = 1.5 (column 70)
    // the first series is at a quarter of its height (row 112), the second
    // at three quarters of its own (row 48).
    const std::vector<Spot> red_pixels = pixels_where(p, reddish), blue_pixels = pixels_where(p, bluish);
    auto row_at = [](const std::vector<Spot>& spots, int j) {
        double sum = 0;
        int n = 0;
        for (const Spot& s : spots)
            if (s.j == j)
                sum += s.i, ++n;
        return n ? sum / n : -1;
    };
    EXPECT_NEAR(row_at(red_pixels, 70), 112, 2);
    EXPECT_NEAR(row_at(blue_pixels, 70), 48, 2);
    int right_labels = 0;
    for (int i = 16; i < 144; ++i)
        for (int j = 164; j < 200; ++j)
            right_labels += p.at(i, j).r < 0.5;
    EXPECT_GT(right_labels, 20) << "tick labels of the right axis";
}

TEST_F(Render, TicksAndEdgesAtTheLimitsOfWhatCanBeDrawn)
{
    auto dark_below_box = [](const Picture& p, int from, int to) {
        int dark = 0;
        for (int i = from; i < to; ++i)
            for (int j = 25; j < 180; ++j)
                dark += p.at(i, j).r < 0.5;
        return dark;
    };
    {
        SCOPED_TRACE("plot([-1e308 1e308])");
        figure_with_axes();
        set(ax, "YLimMode", text("auto"));
        set(ax, "XLimMode", text("auto"));
        series({1, 2}, {-1e308, 1e308});
        const Picture p = capture(fig);
        EXPECT_GT(dark_below_box(p, 145, 160), 20) << "x tick labels";
        int left_labels = 0;
        for (int i = 16; i < 144; ++i)
            for (int j = 0; j < 18; ++j)
                left_labels += p.at(i, j).r < 0.5;
        EXPECT_GT(left_labels, 20) << "y tick labels";
        EXPECT_FALSE(pixels_where(p, reddish).empty()) << "the line";
    }
    {
        SCOPED_TRACE("markers on the box's edges");
        vt::reset();
        figure_with_axes();
        series({0, 1, 1}, {0.5, 0.5, 1}, -103, 5, -1);  // squares, no line
        const Picture p = capture(fig);
        int outside = 0;
        for (const Spot& s : pixels_where(p, reddish))
            outside += s.j < 20 || s.j > 180 || s.i < 16;
        EXPECT_GT(outside, 6) << "the outer halves of the squares at x = 0, x = 1 and y = 1";
    }
    {
        SCOPED_TRACE("a short axes at the figure's bottom");
        vt::reset();
        figure_with_axes({0.1, 0, 0.8, 0.15});
        const Picture p = capture(fig);
        EXPECT_GT(dark_below_box(p, 125, 158), 20) << "its tick labels lie within the figure";
        for (int j = 0; j < 200; j += 10)
            EXPECT_TRUE(near(p.at(159, j), gray)) << j;
    }
}

TEST_F(Render, ALongLineShowsItsShapeAndEveryExtreme)
{
    // 10^5 points of a slow sine with one spike up and one down; beside it
    // the sine alone from 500 points, drawn point for point.
    auto picture = [this](int n, bool spikes) {
        vt::reset();
        figure_with_axes();
        std::vector<double> x(n), y(n);
        for (int k = 0; k < n; ++k) {
            x[k] = k / double(n - 1);
            y[k] = 0.5 + 0.3 * std::sin(2 * M_PI * x[k]);
        }
        if (spikes) {
            y[n / 2] = 0.95;   // x = 0.5: column 100, row 16 + 0.05 * 128 = 22.4
            y[n / 4 + 7] = 0.05;  // x = 0.25: column 60, where the sine tops at row 41.6
        }
        series(x, y);
        return capture(fig);
    };
    const Picture long_line = picture(100000, true), short_line = picture(500, false);
    auto red_between = [](const Picture& p, int j0, int j1, int i0, int i1) {
        int n = 0;
        for (int i = i0; i <= i1; ++i)
            for (int j = j0; j <= j1; ++j)
                n += reddish(p.at(i, j));
        return n;
    };
    EXPECT_GT(red_between(long_line, 98, 102, 20, 26), 0) << "the spike up reaches y = 0.95";
    EXPECT_GT(red_between(long_line, 58, 62, 130, 138), 0) << "the spike down reaches y = 0.05";
    // Away from the spikes the two pictures agree to within a pixel.
    int differ = 0, line = 0;
    for (int i = 16; i < 144; ++i)
        for (int j = 22; j < 178; ++j) {
            if ((j >= 56 && j <= 64) || (j >= 96 && j <= 104))
                continue;
            const bool a = reddish(long_line.at(i, j)), b = reddish(short_line.at(i, j));
            line += b;
            if (a != b && !(reddish(long_line.at(i - 1, j)) || reddish(long_line.at(i + 1, j))))
                ++differ;
        }
    EXPECT_GT(line, 200);
    EXPECT_LT(differ, line / 50) << "pixels of one line but nowhere near the other";
}

// ---------------------------------------------------------------------------
// Images without an extent, infinities, polar axes, legends of round charts,
// long log axes, crowded labels, what must stay clear of the frame, second
// axes, caps, texts beyond ASCII and static texts.

// Dark pixels: text and lines, not the figure, the axes or the grid.
bool inky(const Rgb& c) { return c.r + c.g + c.b < 1.5; }

using test::runs;

// The rows (or columns) of a rectangle that hold a dark pixel.
std::vector<int> dark_lines(const Picture& p, int i0, int i1, int j0, int j1, bool rows)
{
    return test::lines_with(p, i0, i1, j0, j1, rows, inky);
}

const Rgb green{0, 1, 0}, blue{0, 0, 1}, black{0, 0, 0};

TEST_F(Render, AnImageWithoutAnExtentCoversItsOwnCells)
{
    // A 2 x 2 picture of direct indices into red, green, blue, black, as
    // image() leaves it when made before its data: "IMLim" one point (or
    // none, or not finite). It covers its own cells, 1..3 both ways, and the
    // automatic limits are exactly those: each cell a quarter of the box.
    struct Case {
        const char* what;
        std::vector<double> imlim;  // empty: none written
    };
    const std::vector<Case> cases = {
        {"one point", {1, 1, 1, 1}}, {"none", {}}, {"not finite", {nan, nan, 1, 1}}, {"the cells' edges", {1, 3, 1, 3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_automatic_limits();
        set(fig, "ColorMap", Val(4, 3, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}));
        if (!c.imlim.empty())
            set(ax, "IMLim", row(c.imlim));
        set(ax, "CData", Val(2, 2, {1, 2, 3, 4}));
        const Picture p = capture(fig);
        EXPECT_TRUE(near(p.at(48, 60), red)) << "(1, 1) at the top left";
        EXPECT_TRUE(near(p.at(112, 60), green)) << "(2, 1) below it";
        EXPECT_TRUE(near(p.at(48, 140), blue)) << "(1, 2)";
        EXPECT_TRUE(near(p.at(112, 140), black)) << "(2, 2)";
        EXPECT_EQ(get(ax, "XLim"), (std::vector<double>{1, 3}));
        EXPECT_EQ(get(ax, "YLim"), (std::vector<double>{1, 3}));
    }
}

TEST_F(Render, ScaledImagesPutInfinitiesAtTheEndsOfTheMap)
{
    // [Inf 2 NaN; 4 5 -Inf] scaled over [2 5] into red, green, blue, black:
    // +Inf and 5 take the top (black), 2 and -Inf the bottom (red), 4 the
    // third row (blue); NaN stays with the first row.
    figure_with_axes();
    set(fig, "ColorMap", Val(4, 3, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}));
    set(ax, "XLim", row({0.5, 3.5}));
    set(ax, "YLim", row({2.5, 0.5}));
    set(ax, "IMLim", row({1, 3, 1, 2}));
    set(ax, "CDataMapping", text("scaled"));
    set(ax, "CLim", row({2, 5}));
    set(ax, "CData", Val(2, 3, {INFINITY, 4, 2, 5, nan, -INFINITY}));
    const Picture p = capture(fig);
    // Cells: columns centred at 47, 100, 153; rows at 48 and 112.
    struct Case {
        const char* what;
        int i, j;
        Rgb want;
    };
    const std::vector<Case> cases = {
        {"+Inf", 48, 47, black}, {"2", 48, 100, red},  {"NaN", 48, 153, red},
        {"4", 112, 47, blue},    {"5", 112, 100, black}, {"-Inf", 112, 153, red},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(near(p.at(c.i, c.j), c.want));
    }
}

TEST_F(Render, PolarSeriesShareOneRadialScale)
{
    // Circles of radius 1 (red) and 2 (blue) about the frame's centre
    // (100, 80): the larger reaches the frame (57.6 pixels), the smaller
    // half as far, whether made together or the larger first.
    for (bool larger_first : {false, true}) {
        SCOPED_TRACE(larger_first ? "the larger first" : "the smaller first");
        vt::reset();
        figure_with_axes();
        std::vector<double> t, one, two;
        for (int k = 0; k <= 60; ++k) {
            t.push_back(2 * M_PI * k / 60);
            one.push_back(1);
            two.push_back(2);
        }
        const double a = larger_first ? series(t, two, -105) : series(t, one, -103);
        const double b = larger_first ? series(t, one, -103) : series(t, two, -105);
        set(a, "ChartType", text("polar"));
        set(b, "ChartType", text("polar"));
        const Picture p = capture(fig);
        auto mean_radius = [&](bool (*pick)(const Rgb&)) {
            const std::vector<Spot> s = pixels_where(p, pick);
            double sum = 0;
            for (const Spot& q : s)
                sum += std::hypot(q.j + 0.5 - 100, q.i + 0.5 - 80);
            return s.empty() ? 0 : sum / s.size();
        };
        EXPECT_NEAR(mean_radius(bluish), 57.6, 2);
        EXPECT_NEAR(mean_radius(reddish), 28.8, 2);
    }
}

TEST_F(Render, APolarGridHasRingsSpokesAndLabels)
{
    // A circle of radius 1: rings at 0.5 and 1, spokes every 30 degrees,
    // the angles outside the frame. At 45 degrees, half way out (column
    // 120, row 60), lies the inner ring; right of the frame, "90".
    for (bool grid : {false, true}) {
        SCOPED_TRACE(grid ? "grid on" : "grid off");
        vt::reset();
        figure_with_axes();
        std::vector<double> t, r;
        for (int k = 0; k <= 60; ++k) {
            t.push_back(2 * M_PI * k / 60);
            r.push_back(1);
        }
        set(series(t, r), "ChartType", text("polar"));
        if (grid) {
            set(ax, "XGrid", text("on"));
            set(ax, "YGrid", text("on"));
        }
        const Picture p = capture(fig);
        bool ring = false;
        for (int i = 58; i <= 62; ++i)
            for (int j = 118; j <= 122; ++j)
                ring = ring || (!near(p.at(i, j), gray, 0.02) && !inky(p.at(i, j)));
        EXPECT_EQ(ring, grid) << "the ring at half the radius";
        const std::vector<int> label = dark_lines(p, 72, 88, 160, 178, false);
        EXPECT_EQ(!label.empty(), grid) << "the label of the spoke at 90 degrees";
    }
}

TEST_F(Render, PieAndPolarAxesShowTheirLegend)
{
    // The box is columns 20..120; the legend stands right of it (LegendPos
    // -1) at column 126, its entries on rows 27, 43, 59 with their swatches
    // about column 144. A pie names its wedges, in the colours they take
    // from the map (red, green, blue); a polar axes its series.
    struct Case {
        const char* what;
        bool pie;
        std::vector<Rgb> swatches;
    };
    const std::vector<Case> cases = {{"pie", true, {red, green, blue}}, {"polar", false, {red, blue}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_axes({0.1, 0.1, 0.5, 0.8});
        set(fig, "ColorMap", Val(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}));
        if (c.pie) {
            set(series({1, 2, 3}, {1, 2, 3}), "ChartType", text("pie"));
            set(ax, "LegendString", Val(3, 5, {'o', 't', 't', 'n', 'w', 'h', 'e', 'o', 'r', ' ', ' ', 'e', ' ', ' ', 'e'}, true));
        } else {
            set(series({0, 1}, {1, 1}, -103), "ChartType", text("polar"));
            set(series({0, 1}, {0.5, 0.5}, -105), "ChartType", text("polar"));
            set(ax, "LegendString", Val(2, 1, {'a', 'b'}, true));
        }
        set(ax, "LegendPos", num(-1));
        set(ax, "Legend", text("on"));
        Picture p = capture(fig);
        for (std::size_t k = 0; k < c.swatches.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_TRUE(near(p.at(27 + 16 * static_cast<int>(k), 144), c.swatches[k], 0.05));
        }
        set(ax, "Legend", text("off"));
        p = capture(fig);
        EXPECT_TRUE(near(p.at(27, 144), gray)) << "no legend when it is off";
    }
}

TEST_F(Render, LongLogAxesLabelAReadableSetOfDecades)
{
    // 30 and 600 decades on the y axis (rows 16..144): labels stand over the
    // whole height, apart from each other, none piled on another.
    for (double e : {15.0, 300.0}) {
        SCOPED_TRACE(e);
        vt::reset();
        figure_with_axes();
        set(ax, "YScale", text("log"));
        set(ax, "YLim", row({std::pow(10, -e), std::pow(10, e)}));
        series({0, 1}, {1, 1});
        const Picture p = capture(fig);
        const std::vector<std::pair<int, int>> labels = runs(dark_lines(p, 0, 159, 0, 17, true));
        ASSERT_GE(labels.size(), 3u);
        EXPECT_LE(labels.front().first, 50) << "a label in the top third";
        EXPECT_GE(labels.back().second, 110) << "and in the bottom third";
        for (const auto& [first, last] : labels)
            EXPECT_LE(last - first, 16) << "one label high: " << first << ".." << last;
    }
}

TEST_F(Render, LabelsThatWouldTouchAreThinnedAndTheYLabelStandsClear)
{
    // Fifteen ticks written at histogram centres along 160 pixels: the
    // labels shown stand apart, each one label wide.
    figure_with_axes();
    set(ax, "XLim", row({-3.5, 3.5}));
    std::vector<double> centres;
    for (int k = 0; k < 15; ++k)
        centres.push_back(-3.06483 + k * 0.437833);
    set(ax, "XTick", row(centres));
    const Picture p = capture(fig);
    const std::vector<std::pair<int, int>> labels = runs(dark_lines(p, 147, 159, 0, 199, false), 4);
    ASSERT_GE(labels.size(), 2u);
    EXPECT_LE(labels.size(), 8u);
    for (const auto& [first, last] : labels)
        EXPECT_LE(last - first, 32) << "one label wide: " << first << ".." << last;

    // Wide y tick labels push the y label out: its columns and theirs are
    // two groups with a gap between.
    vt::reset();
    figure_with_axes({0, 0, 1, 1});
    set(fig, "Position", row({0, 0, 400, 300}));
    set(ax, "YLim", row({0, 1400000}));
    const double label = vizmo_create_object("line", -1);
    set(label, "Type", text("text"));
    set(label, "Parent", num(ax));
    set(label, "String", text("length"));
    set(ax, "YLabel", num(label));
    series({0, 1}, {0, 1400000});
    const Picture q = capture(fig);
    const std::vector<std::pair<int, int>> left = runs(dark_lines(q, 30, 250, 0, 70, false));
    ASSERT_GE(left.size(), 2u);
    EXPECT_GE(left[1].first - left[0].second, 3) << "the y label, then the tick labels";
}

TEST_F(Render, MarkersStemsAndBarsStandClearOfTheFrame)
{
    // Automatic limits leave room round markers and stems at the data's
    // edge and above the tallest bar: nothing red touches the frame (box
    // columns 20..180, rows 16..144).
    struct Case {
        const char* what;
        const char* chart;
        double marker;
    };
    const std::vector<Case> cases = {{"x markers", "plot", 2}, {"stems", "stem", -1}, {"bars", "bar", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        figure_with_automatic_limits();
        const double h = series({1, 2, 3}, {1, 3, 2}, -103, c.marker);
        set(h, "ChartType", text(c.chart));
        const Picture p = capture(fig);
        const std::vector<Spot> red_pixels = pixels_where(p, reddish);
        ASSERT_FALSE(red_pixels.empty());
        int top = p.rows, left = p.cols, right = 0;
        for (const Spot& s : red_pixels) {
            top = std::min(top, s.i);
            left = std::min(left, s.j);
            right = std::max(right, s.j);
        }
        EXPECT_GT(top, 18);
        EXPECT_GT(left, 22);
        EXPECT_LT(right, 178);
        const std::vector<double> ylim = get(ax, "YLim");
        ASSERT_EQ(ylim.size(), 2u);
        EXPECT_GT(ylim[1], 3) << "the limit read back is the one drawn";
    }
}

TEST_F(Render, ASecondXAxisOverTheSameLimitsRepeatsNoLabels)
{
    // plotyy's second series on the right and top axes: over the first
    // one's x limits the top carries no labels; over others it does. The
    // box is rows 32..128.
    for (double x2_end : {3.0, 30.0}) {
        SCOPED_TRACE(x2_end);
        vt::reset();
        figure_with_automatic_limits({0.2, 0.2, 0.6, 0.6});
        series({1, 2, 3}, {1, 2, 3});
        const double second = series({1, 2, x2_end}, {300, 200, 100}, -105);
        set(second, "YAxisLocation", text("right"));
        set(second, "XAxisLocation", text("top"));
        const Picture p = capture(fig);
        EXPECT_EQ(dark_lines(p, 0, 29, 30, 170, true).empty(), x2_end == 3);
        EXPECT_FALSE(dark_lines(p, 32, 128, 164, 199, false).empty()) << "the right axis keeps its labels";
    }
}

TEST_F(Render, ASeriesWithCapsStrokesAcrossTheEndsOfItsSegments)
{
    // A vertical segment at x = 0.5 (column 100) from y = 0.25 to 0.75
    // (rows 112 and 48): caps of 10 pixels reach 5 columns each way.
    for (double cap : {0.0, 10.0}) {
        SCOPED_TRACE(cap);
        vt::reset();
        figure_with_axes();
        const double h = series({0.5, 0.5, nan, 0.2, 0.2}, {0.25, 0.75, nan, 0.4, 0.6});
        if (cap > 0)
            set(h, "CapSize", num(cap));
        const Picture p = capture(fig);
        for (int i : {48, 112})
            for (int j : {96, 104}) {
                SCOPED_TRACE(testing::Message() << i << ", " << j);
                EXPECT_EQ(reddish(p.at(i, j)) || reddish(p.at(i - 1, j)) || reddish(p.at(i + 1, j)), cap > 0);
            }
        EXPECT_EQ(reddish(p.at(80, 36)), false) << "the middle of a segment has none";
    }
}

TEST_F(Render, TextBeyondAsciiReadsAsTheSameCharactersHoweverItsCodesArrive)
{
    // "µm" as UTF-8 bytes given as signed codes (-62 -75), as codes
    // 194 181, and as the Latin-1 code 181 alone: one picture; the same
    // text with "?" for the letter is another. In a text object and in an
    // axes label alike.
    auto picture = [this](std::vector<double> codes, bool label) {
        vt::reset();
        // The label needs the room an axes filling its figure keeps.
        figure_with_axes(label ? std::vector<double>{0, 0, 1, 1} : std::vector<double>{0.1, 0.1, 0.8, 0.8});
        codes.push_back('m');
        const Val s(1, static_cast<int>(codes.size()), codes, true);
        const double t = vizmo_create_object("line", -1);
        set(t, "Type", text("text"));
        set(t, "Parent", num(ax));
        set(t, "String", s);
        if (label)
            set(ax, "YLabel", num(t));
        else
            set(t, "Position", row({0.3, 0.5}));
        return capture(fig);
    };
    for (bool label : {false, true}) {
        SCOPED_TRACE(label ? "axes label" : "text object");
        const Picture utf8 = picture({194, 181}, label);
        EXPECT_TRUE(picture({-62, -75}, label) == utf8);
        EXPECT_TRUE(picture({181}, label) == utf8);
        EXPECT_FALSE(picture({'?', '?'}, label) == utf8);
        EXPECT_FALSE(picture({'?'}, label) == utf8);
    }
    EXPECT_EQ(vt::prop(0, "Type").text(), "root");
    vt::reset();
    const double h = vizmo_create_object("line", -1);
    set(h, "String", Val(1, 3, {-62, -75, 'm'}, true));
    EXPECT_EQ(get_text(h, "String"), "\xC2\xB5m") << "the bytes of the text";
}

TEST_F(Render, IndicesPastTheTablesAreRefusedAndTheDrawingStays)
{
    // A marker or line style far beyond the tables, or not a number, is
    // refused: the series is drawn as before.
    figure_with_axes();
    const double h = series({0, 1}, {0.2, 0.8});
    const Picture plain = capture(fig);
    for (double odd : {1e300, -1e300, nan}) {
        SCOPED_TRACE(odd);
        seen().errors.clear();
        set(h, "Marker", num(odd));
        set(h, "LineStyle", num(odd));
        EXPECT_EQ(seen().errors.size(), 2u);
        EXPECT_TRUE(capture(fig) == plain);
    }
}

TEST_F(Render, StaticTextsHaveNoBorderAndANarrowOneNoBox)
{
    // A pushbutton and a static text, side by side, and a text of no
    // width placed by its centre, as a waitbar's label is.
    fig = vizmo_create_object("Figure", -1);
    set(fig, "Position", row({0, 0, 200, 100}));
    set(fig, "Color", row({0.8, 0.8, 0.8}));
    const double button = vizmo_create_object("pushbutton", -1), label = vizmo_create_object("text", -1),
                 narrow = vizmo_create_object("text", -1);
    for (double h : {button, label, narrow})
        set(h, "Parent", num(fig));
    set(button, "Position", row({10, 10, 80, 30}));
    set(label, "Position", row({110, 10, 80, 30}));
    set(narrow, "Position", row({100, 60, 0, 13}));
    set(narrow, "String", text("ab"));
    const Picture p = capture(fig);
    // Rows 60..89 hold the lower two; row 60 is their top edge.
    EXPECT_FALSE(near(p.at(60, 50), gray)) << "the button's border";
    EXPECT_TRUE(near(p.at(60, 150), gray)) << "a static text has none";
    // The narrow label: its text centred on column 100, no line down it.
    const std::vector<int> columns = dark_lines(p, 27, 40, 80, 120, false);
    ASSERT_FALSE(columns.empty());
    EXPECT_NEAR((columns.front() + columns.back()) / 2.0, 100, 2);
    for (int j = 80; j <= 120; ++j) {
        int dark_rows = 0;
        for (int i = 27; i <= 40; ++i)
            dark_rows += !near(p.at(i, j), gray, 0.05);
        EXPECT_LT(dark_rows, 12) << "a line down column " << j;
    }
}

namespace vr = vizmo::render::paint;

// Ticks and the labels a labeller must give them.
struct LabelCase {
    const char* what;
    std::vector<double> ticks;
    std::vector<std::string> labels;
};

void expect_labels(std::vector<std::string> (*labeller)(const std::vector<double>&), const std::vector<LabelCase>& cases)
{
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(labeller(c.ticks), c.labels);
    }
}

TEST(TickLabels, NeighboursDifferHoweverCloseTheTicks)
{
    expect_labels(vr::tick_labels, {
        {"half steps", {0, 0.5, 1}, {"0", "0.5", "1"}},
        {"5e-14 apart", {1, 1 + 5e-14, 1 + 1e-13}, {"1", "1.00000000000005", "1.0000000000001"}},
        {"the ends of the range", {-1e308, 0, 1e308}, {"-1e+308", "0", "1e+308"}},
    });
}

TEST(TickLabels, TheFewestDigitsThatKeepEachLabelAtItsTickInOneStyle)
{
    expect_labels(vr::tick_labels, {
        {"histogram centres", {-3.06483, -2.626997, -2.189164, -1.751331}, {"-3.06", "-2.63", "-2.19", "-1.75"}},
        {"large neighbours", {1000002, 1000004, 1000006}, {"1000002", "1000004", "1000006"}},
        {"a sum of steps", {0.1, 0.2, 0.30000000000000004}, {"0.1", "0.2", "0.3"}},
        {"a half step", {0.5, 1, 1.5, 2}, {"0.5", "1", "1.5", "2"}},
        {"decades in plain digits", {1e4, 1e5, 1e6}, {"10000", "100000", "1000000"}},
        {"large, all with exponents", {0, 2e7, 4e7}, {"0", "2e+07", "4e+07"}},
        {"small, all with exponents", {-2e-5, 0, 2e-5}, {"-2e-05", "0", "2e-05"}},
    });
}

TEST(TickLabels, LogAxesLabelTheirDecadesInOneStyle)
{
    expect_labels(vr::log_tick_labels, {
        {"near 1", {0.001, 0.1, 10, 1000}, {"0.001", "0.1", "10", "1000"}},
        {"up to 10^8", {1, 100, 10000, 1e6, 1e8}, {"10^0", "10^2", "10^4", "10^6", "10^8"}},
        {"thirty decades", {1e-15, 1e-5, 1e5, 1e15}, {"10^-15", "10^-5", "10^5", "10^15"}},
        {"not decades", {2, 4, 6}, {"2", "4", "6"}},
    });
}

} // namespace
