// Histogram counting: equal-width bins from the data's range, given
// centres with midpoint edges, the shapes of counts and centres, the
// values that fall in no bin, and the rose outline built from the counts.
#include "../graphics/picture.hpp"
#include "gui_fixture.hpp"
#include "test_support.hpp"
#include "velkor/graphics.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Counted {
    Mm n, x;
};

Counted count(const Mm& y, const Mm& nb)
{
    Counted c;
    EXPECT_TRUE(hist(y, nb, i_o, c.n, c.x).size() == 0);
    return c;
}

void expect_values(const Mm& got, std::vector<int> extents, const std::vector<double>& expected, int ulps = 0)
{
    EXPECT_EQ(test::extents(got), extents);
    const std::vector<double> v = test::values(got);
    ASSERT_EQ(v.size(), expected.size());
    for (std::size_t k = 0; k < v.size(); ++k)
        EXPECT_ULPS(v[k], expected[k], ulps) << "element " << k + 1;
}

struct BinCase {
    const char* what;
    Mm y;
    Mm nb;
    std::vector<int> n_extents;
    std::vector<double> n;
    std::vector<int> x_extents;
    std::vector<double> x;
};

TEST(Hist, CountsAndCentres)
{
    const std::vector<BinCase> cases = {
        // w = 0.75: centres lo + (k - 1/2) w
        {"four equal bins", test::row({1, 2, 2, 3, 3, 3, 4, 4, 4, 4}), Mm(4), {1, 4}, {1, 2, 3, 4}, {1, 4},
         {1.375, 2.125, 2.875, 3.625}},
        {"the same data as a column", test::real(10, 1, {4, 4, 3, 1, 2, 4, 3, 2, 3, 4}), Mm(4), {1, 4},
         {1, 2, 3, 4}, {1, 4}, {1.375, 2.125, 2.875, 3.625}},
        // hi = lo: every centre is lo and every value lands in the first bin
        {"all values equal", test::row({5, 5, 5}), Mm(3), {1, 3}, {3, 0, 0}, {1, 3}, {5, 5, 5}},
        // edges -Inf 1.5 2.5 Inf: midpoints count in the lower bin, each
        // infinity in the end bin on its side
        {"given centres", test::row({1.5, 2.5, 100, -100, INFINITY, -INFINITY, NAN}), test::row({1, 2, 3}),
         {1, 3}, {3, 1, 2}, {1, 3}, {1, 2, 3}},
        // the bins span the finite values 1..2; Inf counts in the last
        {"an infinity", test::row({1, 2, INFINITY}), Mm(3), {1, 3}, {1, 0, 2}, {1, 3}, {7.0 / 6, 1.5, 11.0 / 6}},
        {"both infinities", test::row({-INFINITY, 0, 4, INFINITY, NAN}), Mm(2), {1, 2}, {2, 2}, {1, 2}, {1, 3}},
        // default 10 bins over 0..10: w = 1, values on edges 1, 2, .. count below
        {"ten bins", test::row({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), Mm(10), {1, 10},
         {2, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 10}, {0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5}},
        // a fractional count keeps 1:N's whole part; the width uses N itself
        {"fractional bin count", test::row({0, 1, 2}), Mm(2.5), {1, 2}, {1, 2}, {1, 2}, {0.4, 1.2}},
        {"no bins", test::row({1, 2}), Mm(0), {1, 0}, {}, {1, 0}, {}},
        {"only NaN", test::row({NAN, NAN}), Mm(2), {1, 2}, {0, 0}, {1, 2}, {NAN, NAN}},
    };
    for (const BinCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Counted got = count(c.y, c.nb);
        expect_values(got.n, c.n_extents, c.n);
        EXPECT_EQ(test::extents(got.x), c.x_extents);
        const std::vector<double> x = test::values(got.x);
        ASSERT_EQ(x.size(), c.x.size());
        for (std::size_t k = 0; k < x.size(); ++k) {
            if (std::isnan(c.x[k]))
                EXPECT_TRUE(std::isnan(x[k]));
            else
                EXPECT_ULPS(x[k], c.x[k], 1) << "centre " << k + 1;
        }
    }
}

TEST(Hist, InfinitiesAreCountedInTheEndBins)
{
    // Data of every scale with infinities mixed in: the centres come from
    // the finite values alone, every value but NaN is counted, -Inf in the
    // first bin and +Inf in the last, and the finite values fall as they
    // do without the infinities.
    for (double scale : {1e-300, 1.0, 1e300}) {
        for (int bins : {1, 3, 10}) {
            SCOPED_TRACE(std::to_string(scale) + " in " + std::to_string(bins) + " bins");
            const Mm finite = test::row({scale, -scale, 0.5 * scale, 0.25 * scale, -0.75 * scale});
            const Mm mixed = test::row({INFINITY, scale, -scale, -INFINITY, 0.5 * scale, INFINITY, NAN,
                                        0.25 * scale, -0.75 * scale});
            const Counted plain = count(finite, Mm(static_cast<double>(bins)));
            const Counted got = count(mixed, Mm(static_cast<double>(bins)));
            EXPECT_EQ(test::values(got.x), test::values(plain.x));
            std::vector<double> want = test::values(plain.n);
            want.front() += 1;
            want.back() += 2;
            EXPECT_EQ(test::values(got.n), want);
        }
    }
    // Infinities with no finite value leave no range to divide.
    Mm n = Mm(7), x = Mm(8);
    EXPECT_ERROR(hist(test::row({INFINITY, -INFINITY, NAN}), Mm(3), i_o, n, x),
                 "hist: the data have no finite value to place 3 bins over; give the bin centres");
    EXPECT_EQ(test::values(n), std::vector<double>{7});
    const Counted given = count(test::row({INFINITY, -INFINITY}), test::row({0, 1}));
    EXPECT_EQ(test::values(given.n), (std::vector<double>{1, 1})) << "given centres need no range";
}

// hist([-1e308 0 1e308], 2) counted nothing and gave NaN centres: the bin
// width (hi - lo)/N overflowed, and so did the midpoint of two centres
// near the largest double. Data scaled by any power of two up to the
// largest double fall in the same bins, their centres scaled exactly.
TEST(Hist, DataSpanningTheWholeRange)
{
    const Counted reported = count(test::row({-1e308, 0, 1e308}), Mm(2));
    expect_values(reported.n, {1, 2}, {2, 1});
    expect_values(reported.x, {1, 2}, {-5e307, 5e307}, 1);

    const std::vector<double> base = {-1, -0.5, 0, 0.25, 0.3, 0.7, 1, -0.9};
    for (int bins : {1, 2, 3, 7, 10}) {
        const Counted plain = count(test::row({-1, -0.5, 0, 0.25, 0.3, 0.7, 1, -0.9}), Mm(double(bins)));
        for (int e : {-1000, -500, -1, 1, 500, 1000, 1022, 1023}) {
            SCOPED_TRACE(::testing::Message() << bins << " bins at 2^" << e);
            Mm y(0, 0, 0, 1, int(base.size()), qv_double);
            for (std::size_t k = 0; k < base.size(); ++k)
                y.addr()[k] = std::ldexp(base[k], e);
            const Counted got = count(y, Mm(double(bins)));
            EXPECT_EQ(test::values(got.n), test::values(plain.n));
            const std::vector<double> x = test::values(got.x), x1 = test::values(plain.x);
            ASSERT_EQ(x.size(), x1.size());
            for (std::size_t k = 0; k < x.size(); ++k)
                EXPECT_EQ(x[k], std::ldexp(x1[k], e)) << k;
        }
    }
    // given centres whose midpoints pass the largest double
    const Counted given = count(test::row({1.2e308, 1.3e308, 1.62e308, 1.65e308, 1.75e308, -1.7e308}),
                                test::row({1e308, 1.5e308, 1.7e308}));
    expect_values(given.n, {1, 3}, {2, 1, 3});
}

TEST(Hist, MatrixDataCountsEachColumnAndGivesAColumnOfCentres)
{
    // columns 1..5, 5..1 and all 3; range 1..5 in 4 bins of width 1
    const Mm y = test::real(5, 3, {1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 3, 3, 3, 3, 3});
    const Counted got = count(y, Mm(4));
    expect_values(got.n, {4, 3}, {2, 1, 1, 1, 2, 1, 1, 1, 0, 5, 0, 0});
    expect_values(got.x, {4, 1}, {1.5, 2.5, 3.5, 4.5});
}

TEST(Hist, DefaultsToTenBins)
{
    Mm n, x;
    hist(test::row({0, 10}), i_o, n, x);
    expect_values(n, {1, 10}, {1, 0, 0, 0, 0, 0, 0, 0, 0, 1});
}

TEST(Hist, OutputsOfABadCallAreLeftAlone)
{
    Mm n = Mm(7), x = Mm(8);
    EXPECT_ERROR(hist(test::row({1, 2}), test::real(2, 1, {1, 2}), i_o, n, x), "horzcat: # of rows different");
    EXPECT_ERROR(hist(test::complex(1, 1, {1}, {1}), Mm(2), i_o, n, x), "hist: data must be real");
    EXPECT_ERROR(hist(test::row({1, 2}), test::complex(1, 1, {1}, {1}), i_o, n, x), "hist: the bins must be real");
    EXPECT_EQ(test::values(n), std::vector<double>{7});
    EXPECT_EQ(test::values(x), std::vector<double>{8});
}

TEST(Rose, OutlineHasThreePointsPerBin)
{
    // centres pi/2 and 3 pi/2: E = [-pi/2, pi/2, 3pi/2, -3pi/2]
    const double pi = M_PI;
    Mm t, r;
    rose(test::row({0.1, 1, 2, 4, 5}), test::row({pi / 2, 3 * pi / 2}), i_o, t, r);
    expect_values(t, {1, 6}, {0, pi, pi, pi, 0, 0}, 4);
    expect_values(r, {1, 6}, {3, 3, 0, 2, 2, 0});

    rose(test::real(1, 4, {0, 1, 2, 3}), i_o, t, r);
    EXPECT_EQ(test::extents(t), (std::vector<int>{1, 30}));
    EXPECT_EQ(test::extents(r), (std::vector<int>{1, 30}));
    const std::vector<double> tv = test::values(t);
    EXPECT_EQ(tv[0], 0);   // the first bin's lower edge closes at angle 0
    EXPECT_EQ(tv[29], 0);  // and so does the last bin's upper edge
}

TEST(Rose, MatrixDataCannotJoinItsCentres)
{
    Mm t, r;
    EXPECT_ERROR(rose(test::real(3, 2, {1, 2, 3, 4, 5, 6}), Mm(3), i_o, t, r), "horzcat: # of rows different");
}

} // namespace

namespace {

namespace vt = vizmo::test;

class RoseDrawing : public gui_test::Gui {};

TEST_F(RoseDrawing, TheOutlineIsOnePolarSeries)
{
    const double pi = M_PI;
    const Mm theta = test::row({0.1, 1, 2, 4, 5});
    const Mm h = rose(theta, test::row({pi / 2, 3 * pi / 2}));
    ASSERT_EQ(h.size(), 1);
    const double line = *h.addr(1);
    EXPECT_EQ(vt::prop(line, "ChartType").text(), "polar");
    Mm t, r;
    rose(theta, test::row({pi / 2, 3 * pi / 2}), i_o, t, r);
    EXPECT_EQ(vt::data(line).x.data, test::values(t));
    EXPECT_EQ(vt::data(line).y.data, (std::vector<double>{3, 3, 0, 2, 2, 0}));
    EXPECT_EQ(vt::prop(*gca().addr(1), "XGrid").text(), "on") << "polar turns the grid on";

    const Mm ten = rose(test::row({0, 1, 2, 3}));
    ASSERT_EQ(ten.size(), 1);
    EXPECT_EQ(vt::data(*ten.addr(1)).x.data.size(), 30u) << "ten bins by default";
}

TEST_F(RoseDrawing, MatrixDataFailsBeforeAnythingIsDrawn)
{
    const std::size_t before = vt::children(*gca().addr(1)).size();
    EXPECT_ERROR(rose(test::real(3, 2, {1, 2, 3, 4, 5, 6}), Mm(3)), "horzcat: # of rows different");
    EXPECT_EQ(vt::children(*gca().addr(1)).size(), before);
}

} // namespace

namespace {

namespace vt = vizmo::test;

class HistDrawing : public gui_test::Gui {};

TEST_F(HistDrawing, CountsComeBackAsABarChartTickedAtTheCentres)
{
    const Mm y = test::row({1, 2, 2, 3, 3, 3});
    Mm n, x;
    hist(y, Mm(3.0), i_o, n, x);
    const Mm drawn = hist(y, Mm(3.0));
    EXPECT_EQ(test::values(drawn), test::values(n));
    const double ax = *gca().addr(1);
    std::vector<double> bars;
    for (double c : vt::children(ax))
        if (vt::prop(c, "ChartType").text() == "bar")
            bars.push_back(c);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(vt::data(bars[0]).y.data, test::values(n));
    EXPECT_EQ(vt::prop(ax, "XTick").data, test::values(x));
    EXPECT_EQ(hist(y).size(), 10) << "ten bins by default";
}

TEST_F(HistDrawing, TheCentresLabelsStandApart)
{
    if (!vt::has_renderer())
        GTEST_SKIP() << "built without the renderer";
    // Fifteen bins of 3.3 sin(0.37 k): each centre is ticked, and the labels
    // shown under the box are short and apart, none run into the next.
    const double fig = figure().r();
    hist(Mm(3.3) * sin(Mm(0.37) * colon(Mm(1.0), Mm(200.0))), Mm(15.0));
    EXPECT_EQ(vt::prop(*gca().addr(1), "XTick").data.size(), 15u);
    const test::Picture p = test::Picture::of(fig);
    ASSERT_GT(p.rows, 0);
    // The frame's bottom: the lowest row that is black across the middle.
    int bottom = -1;
    for (int i = p.rows - 1; i >= 0 && bottom < 0; --i) {
        int black = 0;
        for (int j = p.cols / 4; j < 3 * p.cols / 4; ++j)
            black += test::near(p.at(i, j), {0, 0, 0}, 0.1);
        if (black > p.cols / 3)
            bottom = i;
    }
    ASSERT_GT(bottom, 0);
    const std::vector<std::pair<int, int>> labels =
        test::runs(test::lines_with(p, bottom + 2, std::min(p.rows - 1, bottom + 16), 0, p.cols - 1, false, test::dark), 4);
    ASSERT_GE(labels.size(), 4u);
    EXPECT_LT(labels.size(), 15u) << "thinned";
    for (const auto& [first, last] : labels)
        EXPECT_LE(last - first, 34) << "a short label: " << first << ".." << last;
}

} // namespace
