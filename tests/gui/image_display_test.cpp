// Reading a shown image back: its data as get gives them, the coordinate
// vectors and the kind flag.
#include "../graphics/picture.hpp"
#include "temp_dir.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

TEST(ImageDisplay, GetimageGivesDataLimitsAndKind)
{
    vizmo::test::reset();
    Mm planes = zeros(Mm(480.0), Mm(640.0), Mm(3.0));
    *planes.addr(480 * 640 * 3) = 0.5;
    struct Case {
        const char* what;
        Mm cdata;
        std::vector<double> x, y;
        double flag;
    };
    const std::vector<Case> cases = {
        {"truecolor", planes, {1, 640}, {1, 480}, 4},
        {"doubles", test::real(2, 3, {1, 2, 3, 4, 5, 6}), {1, 3}, {1, 2}, 1},
        {"bytes", test::bytes(3, 1, {0, 7, 255}), {1, 1}, {1, 3}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm h(vizmo_create_object("axes", -1));
        set(h, TM("CData"), c.cdata);
        Mm x, y, A, flag;
        EXPECT_TRUE(isempty(getimage(h, i_o, x, y, A, flag)));
        EXPECT_EQ(test::values(x), c.x);
        EXPECT_EQ(test::values(y), c.y);
        EXPECT_EQ(test::values(flag), (std::vector<double>{c.flag}));
        // The data come back in the type they were given.
        EXPECT_TRUE(isequal(A, c.cdata));
        EXPECT_EQ(A.gettype(), c.cdata.gettype());
        EXPECT_TRUE(isequal(getimage(h), c.cdata));

        Mm x2, y2, A3;
        getimage(h, i_o, x2, y2, A3);
        EXPECT_TRUE(isequal(A3, c.cdata));
        Mm x1 = test::row({9}), y1;
        getimage(h, i_o, x1, y1);
        EXPECT_EQ(test::values(x1), c.x);
        EXPECT_EQ(test::values(y1), c.y);
    }
    vizmo::test::reset();
}

} // namespace

namespace {

namespace vt = vizmo::test;

class ImageShow : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
};

double handle(const Mm& h) { return *h.addr(1); }
std::vector<double> data(const Mm& h, const char* name) { return vt::prop(handle(h), name).data; }
bool written(const Mm& h, const char* name)
{
    for (const std::string& w : vt::writes(handle(h)))
        if (w == name)
            return true;
    return false;
}

TEST_F(ImageShow, ArraysGetTheirColormapAndLimits)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const Mm X = test::real(2, 2, {0.1, 0.5, 0.25, 1});
    const Mm map = test::real(2, 3, {0, 1, 0, 1, 0, 1});
    struct Case {
        const char* what;
        Mm args;
        Mm cmap;                   // the figure's colormap afterwards
        std::vector<double> clim;  // empty: no CLim written
        std::vector<double> cdata;
    };
    const std::vector<Case> cases = {
        {"double", test::cell_row({X}), gray(), {0, 1}, test::values(X)},
        {"bytes", test::cell_row({test::bytes(1, 3, {3, 200, 7})}), gray(), {3, 200}, {4, 201, 8}},
        {"levels", test::cell_row({X, Mm(64.0)}), gray(Mm(64.0)), {0, 1}, test::values(X)},
        {"range", test::cell_row({X, test::row({10, 200})}), gray(), {10, 200}, test::values(X)},
        {"map", test::cell_row({X, map}), map, {}, test::values(X)},
        {"non-finite left out", test::cell_row({test::row({nan, 2, inf, -1, -inf}), Mm()}), gray(), {-1, 2},
         {nan, 2, inf, -1, -inf}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const Mm h = imshow(c.args);
        EXPECT_TRUE(isequal(colormap(), c.cmap));
        if (c.clim.empty()) {
            EXPECT_FALSE(written(h, "CLim"));
            EXPECT_FALSE(written(h, "CDataMapping"));
        } else {
            EXPECT_EQ(data(h, "CLim"), c.clim);
            EXPECT_EQ(vt::prop(handle(h), "CDataMapping").text(), "scaled");
        }
        const std::vector<double> cd = data(h, "CData");
        ASSERT_EQ(cd.size(), c.cdata.size());
        for (std::size_t k = 0; k < cd.size(); ++k)
            EXPECT_TRUE(cd[k] == c.cdata[k] || (std::isnan(cd[k]) && std::isnan(c.cdata[k]))) << k;
        EXPECT_EQ(vt::prop(handle(gca()), "Visible").text(), "off") << "no coordinates: decoration off";
    }
}

TEST_F(ImageShow, TheArrayIsDrawnOverItsOwnCells)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // A 20 x 30 ramp, darkest at the top left and brightest at the bottom
    // right: shown, it covers the axes with many greys, dark on the left.
    const Mm X = reshape(colon(Mm(1.0), Mm(600.0)), Mm(20.0), Mm(30.0)) / Mm(600.0);
    Mm bytes_X = muint8(X * Mm(255.0));
    const Mm map = gray(Mm(32.0));
    struct Case {
        const char* what;
        std::function<void()> show;
    };
    const std::vector<Case> cases = {
        {"doubles", [&] { imshow(test::cell_row({X})); }},
        {"bytes", [&] { imshow(test::cell_row({bytes_X})); }},
        {"with a map", [&] { imshow(test::cell_row({X * Mm(31.0) + Mm(1.0), map})); }},
        {"with a range", [&] { imshow(test::cell_row({X, test::row({0, 1})})); }},
        {"in a subplot", [&] {
             subplot(Mm(1.0), Mm(2.0), Mm(2.0));
             imshow(test::cell_row({X}));
         }},
        {"after axis on", [&] {
             imshow(test::cell_row({X}));
             axis(TM("on"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double fig = handle(figure());
        c.show();
        const test::Picture p = test::Picture::of(fig);
        ASSERT_GT(p.rows, 0);
        EXPECT_GE(p.colours(), 24u) << "the greys of the ramp, not the figure's colour alone";
        // Along the middle row of the picture the greys grow from left to right.
        double first = -1, last = -1;
        int steps_down = 0;
        for (int j = 0; j < p.cols; ++j) {
            const test::Rgb px = p.at(p.rows / 2, j);
            // Not the image: the figure, and the black frame of an axes with
            // its decoration on (the ramp's darkest cells are left out too).
            if (std::fabs(px.r - px.g) > 1e-9 || std::fabs(px.g - px.b) > 1e-9 || test::near(px, {0.8, 0.8, 0.8}) ||
                px.r == 0)
                continue;
            steps_down += last >= 0 && px.r < last - 1e-9;
            first = first < 0 ? px.r : first;
            last = px.r;
        }
        EXPECT_LT(first, 0.2) << "dark at the left";
        EXPECT_GT(last, 0.8) << "bright at the right";
        EXPECT_LE(steps_down, 2) << "brighter column by column";
    }
}

TEST_F(ImageShow, PlanesCoordinatesAndTruesize)
{
    const Mm R = test::real(2, 2, {1, 0, 1, 0}), G = test::real(2, 2, {0, 1, 0, 1}),
             B = test::real(2, 2, {0.5, 0.25, 0.5, 0.25});
    const std::vector<double> bgr = {0.5, 0.25, 0.5, 0.25, 0, 1, 0, 1, 1, 0, 1, 0};
    const Mm rgb = imshow(test::cell_row({R, G, B}));
    EXPECT_EQ(data(rgb, "CData"), bgr) << "planes B, G, R";

    EXPECT_ERROR(imshow(test::cell_row({R, G, zeros(Mm(3.0), Mm(3.0))})),
                 "imshow: the colour planes must be matrices of the same size");
    const Mm bytes = imshow(test::cell_row({test::bytes(2, 2, {255, 0, 255, 0}), test::bytes(2, 2, {0, 0, 0, 0}),
                                            test::bytes(2, 2, {0, 255, 0, 255})}));
    EXPECT_EQ(data(bytes, "CData"), (std::vector<double>{0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0}))
        << "byte planes scale to [0 1]";

    vt::reset();
    const Mm Z = zeros(Mm(20.0), Mm(10.0));
    const Mm h = imshow(test::cell_row({colon(1.0, 10.0), colon(1.0, 20.0), Z}));
    EXPECT_EQ(data(h, "XLim"), (std::vector<double>{1, 10}));
    EXPECT_EQ(data(h, "YLim"), (std::vector<double>{1, 20}));
    EXPECT_EQ(data(h, "IMLim"), (std::vector<double>{1, 10, 1, 20}));
    EXPECT_NE(vt::prop(handle(gca()), "Visible").text(), "off");

    vt::reset();
    const Mm planes5 = imshow(test::cell_row({test::row({1, 2}), Mm(3.0), R, G, B}));
    EXPECT_EQ(data(planes5, "CData"), bgr);
    EXPECT_EQ(data(planes5, "IMLim"), (std::vector<double>{1, 2, 3, 3}));

    struct Case {
        const char* last;
        bool runs;
    };
    for (const Case& c : std::vector<Case>{{"truesize", true}, {"TrueSize", false}}) {
        SCOPED_TRACE(c.last);
        vt::reset();
        imshow(test::cell_row({Z, TM(c.last)}));
        const double a = handle(gca());
        bool sized = false;
        for (const std::string& w : vt::writes(a))
            sized = sized || w == "Size";
        EXPECT_EQ(sized, c.runs);
        if (c.runs) {
            EXPECT_EQ(vt::prop(a, "Size").data, (std::vector<double>{0}));
        }
    }

    vt::reset();
    const std::size_t mark = vt::mark();
    EXPECT_ERROR(imshow(test::cell_row({Mm(1.0), Mm(2.0), Mm(3.0), Mm(4.0), Mm(5.0), Mm(6.0)})),
                 "imshow with more than 5 numeric vars not allowed");
    EXPECT_TRUE(vt::since(mark).empty()) << "nothing created";

    vt::reset();
    EXPECT_EQ(data(subimage(test::cell_row({R, G, B})), "CData"), bgr);
}

TEST_F(ImageShow, TruesizeWritesOnlyOnALiveAxes)
{
    const Mm fig = figure();
    truesize(fig, test::row({100, 200}));
    EXPECT_EQ(vt::prop(handle(gca()), "Size").data, (std::vector<double>{100, 200}));
    EXPECT_TRUE(isempty(truesize()));
    EXPECT_EQ(vt::prop(handle(gca()), "Size").data, (std::vector<double>{0}));
}

TEST_F(ImageShow, AFileShowsItsDataMapAndName)
{
    const std::filesystem::path source = std::filesystem::path(NUMRUN_TEST_DATA_DIR) / "indexed8.bmp";
    std::ifstream in(source, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    test::temp_dir dir;
    dir.write("shown.bmp", bytes);

    Mm X, map;
    imread(TM("shown.bmp"), TM(""), i_o, X, map);
    vt::reset();
    const Mm h = imshow(test::cell_row({TM("shown.bmp")}));
    EXPECT_TRUE(isequal(colormap(), map));
    EXPECT_EQ(data(h, "CData"), test::values(im2double(X)));
    const double a = handle(gca());
    EXPECT_EQ(vt::prop(a, "Visible").text(), "off");
    const double t = vt::prop(a, "Title").data.at(0);
    EXPECT_EQ(vt::prop(t, "String").text(), "shown.bmp");

    EXPECT_ERROR(imshow(test::cell_row({TM("nofile.bmp")})), "imread: file nofile.bmp not found");
}

TEST_F(ImageShow, GetimageOfTheCurrentAxes)
{
    const Mm Z = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    imagesc(test::cell_row({Z}));
    EXPECT_TRUE(isequal(getimage(), Z));
    Mm x, y, A, flag;
    getimage(i_o, x, y, A, flag);
    EXPECT_EQ(test::values(x), (std::vector<double>{1, 3}));
    EXPECT_EQ(test::values(y), (std::vector<double>{1, 2}));
    EXPECT_TRUE(isequal(A, Z));
    EXPECT_EQ(test::values(flag), (std::vector<double>{1}));
    Mm x2, y2;
    getimage(i_o, x2, y2);
    EXPECT_EQ(test::values(y2), (std::vector<double>{1, 2}));
}

} // namespace
