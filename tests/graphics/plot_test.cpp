// The series plot engine against the headless engine: pairing data into
// series, line styles, the colour cycle and the 3-D groups.
#include "graphics/property_names.hpp"
#include "picture.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

class Plot : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
};

std::vector<double> handles(const Mm& h) { return test::values(h); }
double num(double h, const char* name) { return vt::prop(h, name).data.at(0); }

// The engine keeps a colour code as its RGB: back to the code -(100 + i) of
// letter i of "ymcrgbwk".
double colour_code(double h)
{
    const std::vector<std::vector<double>> table = {{1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 0, 0},
                                                    {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {0, 0, 0}};
    const std::vector<double> rgb = vt::prop(h, "Color").data;
    for (std::size_t k = 0; k < table.size(); ++k)
        if (rgb == table[k])
            return -100.0 - static_cast<double>(k);
    return 0;
}

TEST_F(Plot, DataGroupsPairIntoSeries)
{
    struct Case {
        const char* what;
        Mm args;
        std::vector<std::vector<double>> x, y;
    };
    const Mm column = test::real(5, 1, {1, 2, 3, 4, 5});
    const Mm square = test::real(2, 2, {1, 2, 3, 4});
    const std::vector<Case> cases = {
        {"a column", test::cell_row({column}), {{1, 2, 3, 4, 5}}, {{1, 2, 3, 4, 5}}},
        {"a row", test::cell_row({test::row({5, 4, 3})}), {{1, 2, 3}}, {{5, 4, 3}}},
        {"a matrix by columns", test::cell_row({test::real(2, 3, {1, 2, 3, 4, 5, 6})}), {{1, 2}, {1, 2}, {1, 2}},
         {{1, 2}, {3, 4}, {5, 6}}},
        {"complex: imag against real", test::cell_row({test::complex(1, 2, {1, 2}, {3, 4})}), {{1, 2}}, {{3, 4}}},
        {"x vector, y columns (square)", test::cell_row({test::row({7, 8}), square}), {{7, 8}, {7, 8}},
         {{1, 2}, {3, 4}}},
        {"x vector, y rows", test::cell_row({test::row({7, 8, 9}), test::real(2, 3, {1, 2, 3, 4, 5, 6})}),
         {{7, 8, 9}, {7, 8, 9}}, {{1, 3, 5}, {2, 4, 6}}},
        {"x columns, y vector", test::cell_row({square, test::row({7, 8})}), {{1, 2}, {3, 4}}, {{7, 8}, {7, 8}}},
        {"x rows, y vector", test::cell_row({test::real(2, 3, {1, 2, 3, 4, 5, 6}), test::row({7, 8, 9})}),
         {{1, 3, 5}, {2, 4, 6}}, {{7, 8, 9}, {7, 8, 9}}},
        {"matrices", test::cell_row({square, test::real(2, 2, {5, 6, 7, 8})}), {{1, 2}, {3, 4}}, {{5, 6}, {7, 8}}},
        {"bytes plot their values", test::cell_row({test::bytes(1, 3, {1, 2, 250})}), {{1, 2, 3}}, {{1, 2, 250}}},
        {"sparse plots its values", test::cell_row({sparse(test::row({0, 3, 0}))}), {{1, 2, 3}}, {{0, 3, 0}}},
        {"two groups", test::cell_row({test::row({1, 2}), test::row({3, 4}), test::row({5})}), {{1, 2}, {1}},
         {{3, 4}, {5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const std::vector<double> h = handles(plot(c.args));
        ASSERT_EQ(h.size(), c.x.size());
        for (std::size_t k = 0; k < h.size(); ++k) {
            EXPECT_EQ(vt::data(h[k]).x.data, c.x[k]) << k;
            EXPECT_EQ(vt::data(h[k]).y.data, c.y[k]) << k;
            EXPECT_EQ(vt::writes(h[k]), (std::vector<std::string>{"ChartType", "Parent", "Color", "Marker", "LineStyle",
                                                                "XData", "YData"}));
            EXPECT_EQ(vt::prop(h[k], "ChartType").text(), "plot");
        }
    }
    EXPECT_ERROR(plot(test::cell_row({test::row({1, 2, 3}), test::real(2, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10})})),
                 "plot: matrices are not matched");
    vt::reset();
    const Mm none = plot(cell(Mm(0.0)));
    EXPECT_EQ(none.size(), 0);
    EXPECT_EQ(vt::prop(*gca().addr(1), "View").data, (std::vector<double>{2}));
}

TEST_F(Plot, LineStyles)
{
    struct Case {
        const char* linestyle;
        double colour, marker, style;
    };
    const std::vector<Case> cases = {
        {"r-o", -103, 1, 0}, {"k:", -107, -1, 1}, {"-.", -105, -1, 2}, {".-", -105, 0, 0},
        {"o", -105, 1, -1},  {"--", -105, -1, 3}, {"", -105, -1, 0},   {"gh", -104, 12, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.linestyle);
        vt::reset();
        const std::vector<double> h = handles(plot(test::cell_row({test::row({1, 2}), test::row({3, 4}), TM(c.linestyle)})));
        ASSERT_EQ(h.size(), 1u);
        EXPECT_EQ(colour_code(h[0]), c.colour);
        EXPECT_EQ(num(h[0], "Marker"), c.marker);
        EXPECT_EQ(num(h[0], "LineStyle"), c.style);
    }
    vt::reset();
    const std::vector<double> w =
        handles(plot(test::cell_row({test::row({1, 2}), test::row({3, 4}), TM("LineWidth"), Mm(2.0)})));
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(num(w[0], "LineWidth"), 2);
    EXPECT_EQ(colour_code(w[0]), -105);
    EXPECT_ERROR(plot(test::cell_row({test::row({1, 2}), test::row({3, 4}), TM("rb")})), "set: cannot parse in position 1");

    vt::reset();
    test::clear_printed();
    const std::vector<double> l =
        handles(plot(test::cell_row({test::row({1, 2}), test::row({3, 4}), TM(std::string(300, 'r').c_str())})));
    ASSERT_EQ(l.size(), 1u) << "a text too long arrives empty and is accepted";
    EXPECT_EQ(colour_code(l[0]), -105);
    EXPECT_NE(test::printed().find("Mstr: buffer too small - chopped"), std::string::npos) << test::printed();
}

TEST_F(Plot, ColourCycle)
{
    const std::vector<double> h = handles(plot(test::cell_row({test::real(2, 9, std::initializer_list<double>{
                                                                                1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                                                                14, 15, 16, 17, 18})})));
    ASSERT_EQ(h.size(), 9u);
    // b g r c m y k, w passed over on the white axes, b g
    const std::vector<double> want = {-105, -104, -103, -102, -101, -100, -107, -105, -104};
    for (std::size_t k = 0; k < h.size(); ++k)
        EXPECT_EQ(colour_code(h[k]), want[k]) << k;

    const std::vector<double> again = handles(plot(test::cell_row({test::row({1, 2}), test::row({1, 2})})));
    EXPECT_EQ(colour_code(again.at(0)), -105) << "every call starts at blue";

    const std::vector<double> given = handles(plot(test::cell_row(
        {test::row({1, 2}), test::row({3, 4}), TM("r"), test::row({1, 2}), test::row({5, 6}), test::row({1, 2}),
         test::row({7, 8})})));
    ASSERT_EQ(given.size(), 3u);
    EXPECT_EQ(colour_code(given[0]), -103);
    EXPECT_EQ(colour_code(given[1]), -103) << "a given colour does not step";
    EXPECT_EQ(colour_code(given[2]), -102);
}

TEST_F(Plot, TheCyclePassesOverTheBackground)
{
    // Ten series on axes of each background: none takes the background's
    // colour, the others follow b g r c m y k w in turn; a colour the
    // caller names is drawn as named, even the background's.
    struct Case {
        const char* what;
        std::vector<double> background;
        std::vector<double> want;
    };
    const std::vector<Case> cases = {
        {"white", {1, 1, 1}, {-105, -104, -103, -102, -101, -100, -107, -105, -104, -103}},
        {"black", {0, 0, 0}, {-105, -104, -103, -102, -101, -100, -106, -105, -104, -103}},
        {"blue", {0, 0, 1}, {-104, -103, -102, -101, -100, -107, -106, -104, -103, -102}},
        {"grey", {0.5, 0.5, 0.5}, {-105, -104, -103, -102, -101, -100, -107, -106, -105, -104}},
    };
    // Column j holds j + 0.5 twice: a horizontal line at that height, clear
    // of the box's edges.
    const Mm Y = test::real(
        2, 10, {1.5, 1.5, 2.5, 2.5, 3.5, 3.5, 4.5, 4.5, 5.5, 5.5, 6.5, 6.5, 7.5, 7.5, 8.5, 8.5, 9.5, 9.5, 10.5, 10.5});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        set(gca(), pn_Color, test::row({c.background[0], c.background[1], c.background[2]}));
        hold(TM("on"));
        const std::vector<double> h = handles(plot(test::cell_row({Y})));
        ASSERT_EQ(h.size(), 10u);
        for (std::size_t k = 0; k < h.size(); ++k) {
            EXPECT_NE(vt::prop(h[k], "Color").data, c.background) << k;
            EXPECT_EQ(colour_code(h[k]), c.want[k]) << k;
        }
        const std::vector<double> white = handles(plot(test::cell_row({Y, TM("w")})));
        EXPECT_EQ(vt::prop(white.at(0), "Color").data, (std::vector<double>{1, 1, 1})) << "named";
    }
    if (!vt::has_renderer())
        return;
    // The picture: ten horizontal lines, each crossing the middle column of
    // the white box in a colour of its own that is not white.
    vt::reset();
    const std::vector<double> h = handles(plot(test::cell_row({Y})));
    const test::Picture p = test::Picture::of(*gcf().addr(1));
    ASSERT_GT(p.rows, 0);
    const int j = p.cols / 2;
    std::vector<int> inked;
    for (int i = 0; i < p.rows; ++i) {
        const test::Rgb q = p.at(i, j);
        if (!test::near(q, {1, 1, 1}, 0.3) && !test::near(q, {0.8, 0.8, 0.8}, 0.05))
            inked.push_back(i);
    }
    // The box's top and bottom edges, and the ten lines between them.
    EXPECT_EQ(test::runs(inked).size(), 12u);
}

TEST_F(Plot, ThreeDimensionalGroups)
{
    const std::vector<double> h = handles(plot2("plot3", 3,
                                                test::cell_row({test::row({1, 2, 3}), test::real(2, 3, {1, 2, 3, 4, 5, 6}),
                                                                test::real(2, 3, {10, 20, 30, 40, 50, 60})})));
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(vt::data(h[0]).z.data, (std::vector<double>{10, 30, 50})) << "z rows step by rows(z)";
    EXPECT_EQ(vt::data(h[1]).z.data, (std::vector<double>{20, 40, 60}));
    EXPECT_EQ(vt::prop(*gca().addr(1), "View").data, (std::vector<double>{3}));

    const Mm r = test::row({1, 2, 3});
    EXPECT_ERROR(plot2("plot3", 3, test::cell_row({r, r})), "plot3: expecting 3 data items in position 1");
    EXPECT_ERROR(plot2("plot3", 3, test::cell_row({r, TM("a"), r})),
                 "plot3: expecting data item in position 2 (not string)");
    EXPECT_ERROR(plot2("plot3", 3, test::cell_row({test::real(1, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}),
                                                   test::real(1, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), r})),
                 "plot: matrices are not matched");
    EXPECT_ERROR(plot2("plot3", 3, test::cell_row({r, test::real(2, 3, {1, 2, 3, 4, 5, 6}),
                                                   test::real(6, 1, {1, 2, 3, 4, 5, 6})})),
                 "plot: matrices are not matched");
    EXPECT_ERROR(plot2("plot", 4, cell(Mm(0.0))), "internal: plot2 should have dm==2 or 3");
}

} // namespace
