// im2double: the one numeric form image data takes in the engine.
#include "picture.hpp"
#include "test_support.hpp"
#include "vizmo_test.h"

#include <cmath>

#include <vector>

namespace {

TEST(Images, Im2doubleConvertsUint8AndPassesDoubles)
{
    const Mm indices = im2double(test::bytes(1, 2, {0, 255}));
    EXPECT_EQ(indices.gettype(), qv_double);
    EXPECT_EQ(test::values(indices), (std::vector<double>{1, 256}));

    const int dims[3] = {2, 2, 3};
    Mm white(0, 0, 0, 3, dims, qv_uint8);
    for (int k = 1; k <= white.size(); ++k)
        *white.getpr((unsigned char*)nullptr, k) = 255;
    const Mm ones = im2double(white, Mm(7.0));
    EXPECT_EQ(test::extents(ones), (std::vector<int>{2, 2, 3}));
    EXPECT_EQ(test::values(ones), std::vector<double>(12, 1.0));

    const Mm x = test::row({0.25, -3});
    EXPECT_TRUE(isequal(im2double(x), x));

    const int four[4] = {1, 1, 2, 2};
    EXPECT_ERROR(im2double(Mm(0, 0, 0, 4, four, qv_uint8)),
                 "uint8 images suppoort (1) NxMx3 of 0..255 or (2) NxM of 0..255");
    EXPECT_ERROR(im2double(TM("abc")), "im* can get only uint8 or double matrices");
    EXPECT_ERROR(im2double(test::cell_row({Mm(1.0)})), "im* can get only uint8 or double matrices");
}

} // namespace

namespace {

namespace ivt = vizmo::test;

class ImageObjects : public ::testing::Test {
protected:
    void SetUp() override { ivt::reset(); }
    void TearDown() override { ivt::reset(); }
};

std::vector<double> image_prop(const Mm& h, const char* name) { return ivt::prop(*h.addr(1), name).data; }

TEST_F(ImageObjects, ImageLimitsAndOrientation)
{
    const Mm cd = test::real(3, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const Mm h = image(test::cell_row({cd}));
    EXPECT_EQ(ivt::type(*h.addr(1)), "axes") << "an image is its axes' CData";
    EXPECT_EQ(image_prop(h, "XLim"), (std::vector<double>{1, 5}));
    EXPECT_EQ(image_prop(h, "YLim"), (std::vector<double>{4, 1}));
    EXPECT_EQ(image_prop(h, "IMLim"), (std::vector<double>{1, 5, 1, 4}));
    EXPECT_EQ(image_prop(h, "CData"), test::values(cd));
    EXPECT_EQ(ivt::prop(*h.addr(1), "NextPlot").text(), "replace");

    const Mm m = image(test::cell_row({test::row({3, 2, 1}), test::row({1, 2}), cd}));
    EXPECT_EQ(image_prop(m, "XLim"), (std::vector<double>{1, 3}));
    EXPECT_EQ(image_prop(m, "YLim"), (std::vector<double>{2, 1}));
    EXPECT_EQ(image_prop(m, "CData"), test::values(fliplr(cd))) << "decreasing X mirrors left to right";
    const Mm u = image(test::cell_row({test::row({1, 2}), test::row({5, 4, 3}), cd}));
    EXPECT_EQ(image_prop(u, "CData"), test::values(flipud(cd))) << "decreasing Y mirrors top to bottom";

    ivt::reset();
    const Mm e = image();
    EXPECT_EQ(image_prop(e, "IMLim"), (std::vector<double>{1, 1, 1, 1}));
    EXPECT_TRUE(ivt::prop(*e.addr(1), "CData").empty());
    EXPECT_ERROR(image(test::cell_row({Mm(1.0), Mm(2.0)})), "image should have at least one parameter");

    // Indexed uint8 data arrive as 1-based doubles.
    const Mm b = image(test::cell_row({test::bytes(1, 2, {0, 255})}));
    EXPECT_EQ(image_prop(b, "CData"), (std::vector<double>{1, 256}));
}

TEST_F(ImageObjects, ImageOnAGivenParent)
{
    const double first = *axes().addr(1);
    axes();
    const Mm h = image(test::cell_row({test::real(1, 1, {7}), TM("Parent"), Mm(first)}));
    EXPECT_EQ(*h.addr(1), first);
    EXPECT_EQ(image_prop(h, "CData"), (std::vector<double>{7}));
    EXPECT_EQ(*gca().addr(1), first);
}

TEST_F(ImageObjects, ScaledImageLimits)
{
    struct Case {
        const char* what;
        Mm args;
        std::vector<double> clim, xlim, ylim;
    };
    const double inf = INFINITY, nan = NAN;
    const std::vector<Case> cases = {
        // The limits reach half a cell past the centres, so edge cells show whole.
        {"finite elements only", test::cell_row({test::real(2, 2, {nan, 3, -inf, -2})}), {-2, 3}, {0.5, 2.5},
         {2.5, 0.5}},
        {"nothing finite", test::cell_row({test::real(1, 2, {nan, inf})}), {1e300, -1e300}, {0.5, 2.5}, {1.5, 0.5}},
        {"given limits", test::cell_row({test::real(2, 3, {1, 2, 3, 4, 5, 6}), test::row({0, 10})}), {0, 10},
         {0.5, 3.5}, {2.5, 0.5}},
        // One row spanning 7..9 is one cell from 6.5 to 9.5.
        {"coordinates", test::cell_row({test::row({5, 6}), test::row({7, 9}), test::real(1, 2, {4, 8})}), {4, 8},
         {4.5, 6.5}, {9.5, 6.5}},
        {"coordinates and limits",
         test::cell_row({test::row({5, 6}), test::row({7, 9}), test::real(1, 2, {4, 8}), test::row({-1, 1})}),
         {-1, 1}, {4.5, 6.5}, {9.5, 6.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ivt::reset();
        const Mm h = imagesc(c.args);
        EXPECT_EQ(ivt::prop(*h.addr(1), "CDataMapping").text(), "scaled");
        EXPECT_EQ(image_prop(h, "CLim"), c.clim);
        EXPECT_EQ(image_prop(h, "XLim"), c.xlim);
        EXPECT_EQ(image_prop(h, "YLim"), c.ylim);
    }
    EXPECT_ERROR(imagesc(), "imagesc: at least one parameter is required");
}

TEST_F(ImageObjects, ScaledImagesPutInfinitiesAtTheEndsOfTheMap)
{
    if (!ivt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // [Inf 2 3; 4 5 100] over [2 5]: +Inf takes the top colour as 5 and
    // 100 do; 2 the bottom one; -Inf (given for 3) the bottom one too.
    const double inf = INFINITY;
    const double fig = *figure().addr(1);
    imagesc(test::cell_row({test::real(2, 3, {inf, 4, 2, 5, -inf, 100}), test::row({2, 5})}));
    const test::Picture p = test::Picture::of(fig);
    // The cells are the picture's coloured pixels: neither grey nor white.
    const std::vector<test::Spot> coloured = p.where([](const test::Rgb& c) {
        return std::fabs(c.r - c.g) > 0.05 || std::fabs(c.g - c.b) > 0.05;
    });
    ASSERT_FALSE(coloured.empty());
    int top = p.rows, bottom = 0, left = p.cols, right = 0;
    for (const test::Spot& s : coloured) {
        top = std::min(top, s.i);
        bottom = std::max(bottom, s.i);
        left = std::min(left, s.j);
        right = std::max(right, s.j);
    }
    auto cell = [&](int i, int j) {
        return p.at(top + (2 * i - 1) * (bottom - top) / 4, left + (2 * j - 1) * (right - left) / 6);
    };
    EXPECT_TRUE(test::near(cell(1, 1), cell(2, 2))) << "+Inf as 5, the top";
    EXPECT_TRUE(test::near(cell(2, 3), cell(2, 2))) << "100 as 5";
    EXPECT_TRUE(test::near(cell(1, 3), cell(1, 2))) << "-Inf as 2, the bottom";
    EXPECT_FALSE(test::near(cell(1, 1), cell(1, 2), 0.1)) << "the top is not the bottom";
}

} // namespace
