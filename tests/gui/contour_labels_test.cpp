// Contour matrices as clabel reads them (groups, empty levels, malformed
// counts) and the staircase coordinates of the two-output stairs.
#include "gui/contour_labels.hpp"
#include "gui_fixture.hpp"
#include "test_support.hpp"
#include "velkor/gui.h"

#include <string>
#include <vector>

namespace {

struct LabelCase {
    const char* what;
    Mm c;
    std::vector<gui::contour_label> labels;
};

TEST(ContourLabels, OneLabelPerGroupAtItsFirstPoint)
{
    const std::vector<LabelCase> cases = {
        // groups at columns 1 and 4; the next header would be column 6
        {"two groups", test::real(2, 5, {0.5, 2, 1, 4, 2, 5, 0.7, 1, 3, 6}), {{0.5, 1, 4}, {0.7, 3, 6}}},
        {"three rows", test::real(3, 2, {0.5, 1, 0, 1, 2, 3}), {}},
        {"one row", test::row({0.5, 1}), {}},
        // a level that crosses nothing leaves a [v; 0] header
        {"empty last level", test::real(2, 3, {0.5, 1, 1, 4, 0.9, 0}), {{0.5, 1, 4}}},
        {"empty first level", test::real(2, 3, {0.2, 0, 0.5, 1, 1, 4}), {{0.5, 1, 4}}},
        {"empty matrix", Mm(), {}},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<gui::contour_label> got;
        EXPECT_TRUE(gui::read_contour_labels(c.c, got));
        ASSERT_EQ(got.size(), c.labels.size());
        for (std::size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].level, c.labels[k].level);
            EXPECT_EQ(got[k].x, c.labels[k].x);
            EXPECT_EQ(got[k].y, c.labels[k].y);
        }
    }
}

TEST(ContourLabels, MalformedCountsAreRefused)
{
    const std::vector<std::pair<const char*, Mm>> cases = {
        {"negative count", test::real(2, 2, {1, -2, 5, 0})},
        {"header in the last column", test::real(2, 1, {1, 3})},
        {"count past the end", test::real(2, 3, {1, 3, 0, 0, 1, 1})},
        {"fractional count", test::real(2, 3, {1, 1.5, 0, 0, 1, 1})},
        {"NaN count", test::real(2, 2, {1, NAN, 0, 0})},
        {"infinite count", test::real(2, 2, {1, INFINITY, 0, 0})},
    };
    for (const auto& [what, c] : cases) {
        SCOPED_TRACE(what);
        std::vector<gui::contour_label> got;
        EXPECT_ERROR(gui::read_contour_labels(c, got), "clabel: invalid contour matrix");
    }
}

struct StairCase {
    const char* what;
    Mm x, y;
    std::vector<int> xs_extents;
    std::vector<double> xs;
    std::vector<int> ys_extents;
    std::vector<double> ys;
};

TEST(Stairs, StaircaseCoordinates)
{
    const std::vector<StairCase> cases = {
        {"rows", test::row({1, 2, 3}), test::row({4, 5, 6}), {5, 1}, {1, 2, 2, 3, 3}, {5, 1}, {4, 4, 5, 5, 6}},
        {"column x, matrix y", test::real(3, 1, {1, 2, 3}), test::real(3, 2, {4, 5, 6, 7, 8, 9}), {5, 2},
         {1, 2, 2, 3, 3, 1, 2, 2, 3, 3}, {5, 2}, {4, 4, 5, 5, 6, 7, 7, 8, 8, 9}},
        {"row x, matrix y", test::row({1, 2, 3}), test::real(3, 2, {4, 5, 6, 7, 8, 9}), {5, 1},
         {1, 2, 2, 3, 3}, {5, 2}, {4, 4, 5, 5, 6, 7, 7, 8, 8, 9}},
        {"column x, row y", test::real(3, 1, {1, 2, 3}), test::row({4, 5, 6}), {5, 1}, {1, 2, 2, 3, 3}, {5, 1},
         {4, 4, 5, 5, 6}},
        {"matrix x", test::real(3, 2, {1, 2, 3, 10, 20, 30}), test::real(3, 2, {4, 5, 6, 7, 8, 9}), {5, 2},
         {1, 2, 2, 3, 3, 10, 20, 20, 30, 30}, {5, 2}, {4, 4, 5, 5, 6, 7, 7, 8, 8, 9}},
        {"one step", Mm(2), Mm(7), {1, 1}, {2}, {1, 1}, {7}},
    };
    for (const StairCase& c : cases) {
        SCOPED_TRACE(c.what);
        Mm xs, ys;
        EXPECT_EQ(stairs(test::cell_row({c.x, c.y}), i_o, xs, ys).size(), 0);
        EXPECT_EQ(test::extents(xs), c.xs_extents);
        EXPECT_EQ(test::values(xs), c.xs);
        EXPECT_EQ(test::extents(ys), c.ys_extents);
        EXPECT_EQ(test::values(ys), c.ys);
    }
}

TEST(Stairs, TooFewValuesOrTooShortXRaiseIndexErrors)
{
    Mm xs = Mm(1), ys = Mm(2);
    EXPECT_NE(test::error_of([&] { stairs(test::cell_row({test::row({1, 2})}), i_o, xs, ys); }), "");
    EXPECT_NE(test::error_of([&] { stairs(test::cell_row({test::row({1, 2}), test::row({1, 2, 3})}), i_o, xs, ys); }),
              "");
    EXPECT_EQ(test::values(xs), std::vector<double>{1});
    EXPECT_EQ(test::values(ys), std::vector<double>{2});
}

} // namespace

namespace {

namespace vt = vizmo::test;

class ContourLabelDrawing : public gui_test::Gui {};

TEST_F(ContourLabelDrawing, OneTextPerGroupWithItsLevel)
{
    const Mm c = test::real(2, 5, {0.5, 2, 1, 4, 2, 5, 0.7, 1, 3, 6});
    const std::vector<double> h = test::values(clabel(c));
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(vt::prop(h[0], "String").text(), "0.5");
    EXPECT_EQ(vt::prop(h[0], "Position").data, (std::vector<double>{1, 4}));
    EXPECT_EQ(vt::prop(h[1], "String").text(), "0.7");
    EXPECT_EQ(vt::prop(h[1], "Position").data, (std::vector<double>{3, 6}));
    EXPECT_EQ(test::values(clabel(c, Mm(1))).size(), 2u);
    EXPECT_EQ(test::values(clabel(c, Mm(1), Mm(2))).size(), 2u);
}

TEST_F(ContourLabelDrawing, NothingIsMadeForOtherShapesOrEmptyLevels)
{
    const std::size_t before = vt::children(*gca().addr(1)).size();
    EXPECT_EQ(clabel(test::real(3, 2, {0.5, 1, 0, 1, 2, 3})).size(), 0);
    EXPECT_EQ(vt::children(*gca().addr(1)).size(), before);
    const std::vector<double> one = test::values(clabel(test::real(2, 3, {0.5, 1, 1, 4, 0.9, 0})));
    ASSERT_EQ(one.size(), 1u) << "the trailing [v; 0] header gives no label";
    EXPECT_EQ(vt::prop(one[0], "String").text(), "0.5");
    EXPECT_EQ(vt::children(*gca().addr(1)).size(), before + 1);
}

TEST_F(ContourLabelDrawing, MalformedMatricesRaiseAndDrawNothing)
{
    const std::size_t before = vt::children(*gca().addr(1)).size();
    EXPECT_ERROR(clabel(test::real(2, 2, {1, -2, 5, 0})), "clabel: invalid contour matrix");
    EXPECT_ERROR(clabel(test::real(2, 1, {1, 3})), "clabel: invalid contour matrix");
    EXPECT_ERROR(clabel(test::real(2, 3, {0.5, 1, 1, 4, 0.7, 1.5})), "clabel: invalid contour matrix");
    EXPECT_EQ(vt::children(*gca().addr(1)).size(), before) << "a bad matrix places no label at all";
}

} // namespace
