// Colormap adjustment: contrast's grey ramps from level boundaries and
// brighten's power law with its clamped factors and 0..255 maps.
#include "gui/colormap_adjust.hpp"
#include "gui_fixture.hpp"
#include "test_support.hpp"
#include "velkor/gui.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

// The grey column of a k x 3 map, after checking its three columns agree.
std::vector<double> grey_column(const Mm& map)
{
    EXPECT_EQ(map.cols(), 3);
    const std::vector<double> v = test::values(map);
    const int k = map.rows();
    for (int r = 0; r < k; ++r) {
        EXPECT_EQ(v[r], v[k + r]);
        EXPECT_EQ(v[r], v[2 * k + r]);
    }
    return std::vector<double>(v.begin(), v.begin() + k);
}

struct ContrastCase {
    const char* what;
    Mm X;
    double m;
    std::vector<double> grey;
};

TEST(Contrast, GreyRampFollowsTheLevelBoundaries)
{
    const std::vector<ContrastCase> cases = {
        // Y = [0 1 2 3], S = [0 0 1 1 2 3], K = [2 4 5] / 5
        {"0:3 in 4 levels", test::row({0, 1, 2, 3}), 4, {0.4, 0.8, 1}},
        // a constant image: every value level 0, S = [0 0 0 0 1]
        {"constant", test::real(2, 2, {7, 7, 7, 7}), 64, {1}},
        // Y = [0 0 0 1], S = [0 0 0 0 1 1]: one step after position 4
        {"two levels", test::row({0, 0, 0, 5}), 2, {1}},
        // Y = round(9 (X - 1) / 4) = [0 2 5 7 9], S = [0 0 1 2 5 7 9]
        {"column, 10 levels", test::real(5, 1, {1, 2, 3, 4, 5}), 10, {2.0 / 6, 3.0 / 6, 4.0 / 6, 5.0 / 6, 1}},
        // NaN takes no level; sorted last it differs from everything, itself too
        {"NaN", test::row({0, NAN, 3}), 4, {0.5, 0.75, 1}},
        {"empty", Mm(), 64, {1}},
    };
    for (const ContrastCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<double> got = grey_column(contrast(c.X, Mm(c.m)));
        ASSERT_EQ(got.size(), c.grey.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_ULPS(got[k], c.grey[k], 1) << "row " << k + 1;
    }
}

TEST(Contrast, RejectsValuesWithoutRealNumbers)
{
    EXPECT_ERROR(contrast(test::complex(1, 2, {1, 2}, {1, 0}), Mm(4)), "contrast: X must be real");
    EXPECT_ERROR(contrast(test::row({1, 2}), Mm()), "contrast: m must be a real number");
}

TEST(Brighten, ComponentsRaisedToTheFactorChosenByBeta)
{
    const double s = std::sqrt(2.220446049250313e-16);
    struct Case {
        const char* what;
        double beta;
        double gamma;
    };
    const std::vector<Case> cases = {
        {"brighter", 0.5, 0.5},
        {"darker", -0.5, 2},
        {"zero", 0, 1},
        {"at 1 - s", 1 - s, s},
        {"beyond 1", 3, s},
        {"at -1 + s", -1 + s, 1 / s},
        {"beyond -1", -4, 1 / s},
    };
    const std::vector<double> comps = {0, 0.25, 0.5, 0.75, 1, 0.1};
    const Mm map = test::real(2, 3, {0, 0.25, 0.5, 0.75, 1, 0.1});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm N = gui::brighten_map(map, Mm(c.beta));
        ASSERT_EQ(N.rows(), 2);
        ASSERT_EQ(N.cols(), 3);
        const std::vector<double> got = test::values(N);
        for (std::size_t k = 0; k < comps.size(); ++k) {
            EXPECT_ULPS(got[k], std::pow(comps[k], c.gamma), 2) << "element " << k + 1;
            EXPECT_GE(got[k], 0);
            EXPECT_LE(got[k], 1);
        }
    }
}

TEST(Brighten, A0To255MapIsDividedFirstAndAUnitMapIsNot)
{
    const std::vector<double> got = test::values(gui::brighten_map(test::real(1, 3, {0, 51, 255}), Mm(0)));
    EXPECT_EQ(got, (std::vector<double>{0, 51.0 / 255, 1}));
    const std::vector<double> unit = test::values(gui::brighten_map(test::real(1, 3, {0, 0.2, 1}), Mm(0)));
    EXPECT_EQ(unit, (std::vector<double>{0, 0.2, 1}));
    const std::vector<double> bytes = test::values(gui::brighten_map(test::bytes(1, 3, {0, 51, 255}), Mm(0)));
    EXPECT_EQ(bytes, (std::vector<double>{0, 51.0 / 255, 1}));
}

TEST(Brighten, RejectsAnEmptyOrComplexFactor)
{
    const Mm map = test::real(1, 3, {0, 0.5, 1});
    EXPECT_ERROR(gui::brighten_map(map, Mm()), "brighten: beta must be a real number");
    EXPECT_ERROR(gui::brighten_map(map, test::complex(1, 1, {0.5}, {1})), "brighten: beta must be a real number");
}

} // namespace

namespace {

class ColormapOfFigure : public gui_test::Gui {};

// The current figure's map as the engine holds it, row-major flattened as
// the language stores it (column after column).
std::vector<double> figure_map() { return test::values(colormap()); }

TEST_F(ColormapOfFigure, ALongBoneMapIsTakenAsAUnitMap)
{
    colormap(bone(Mm(256.0)));
    EXPECT_EQ(colormap().rows(), 256) << "colormap(bone(256)) is accepted";
    // Brightening a unit map raises each entry to 1 - 0.3: far from black.
    const Mm map = bone(Mm(256.0));
    const std::vector<double> before = test::values(map);
    const std::vector<double> got = test::values(brighten(map, Mm(0.3)));
    ASSERT_EQ(got.size(), before.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(got[k], std::pow(before[k], 0.7), 1e-12);
    }
}

TEST_F(ColormapOfFigure, BrightenReadsTheCurrentMapAndWritesOnlyTheTwoArgumentForm)
{
    colormap(test::real(2, 3, {0, 0.25, 0.5, 1, 0.04, 0.81}));
    const std::vector<double> before = figure_map();

    const Mm one = brighten(Mm(0.5));
    EXPECT_EQ(figure_map(), before) << "brighten(beta) leaves the figure's map";
    ASSERT_EQ(one.rows(), 2);
    ASSERT_EQ(one.cols(), 3);
    const std::vector<double> got = test::values(one);
    for (std::size_t k = 0; k < got.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_DOUBLE_EQ(got[k], std::pow(before[k], 0.5));
        EXPECT_GE(got[k], 0);
        EXPECT_LE(got[k], 1);
    }

    // A scalar first argument stands for the current map.
    const Mm two = brighten(Mm(7), Mm(-0.5));
    const std::vector<double> darker = test::values(two);
    ASSERT_EQ(darker.size(), before.size());
    for (std::size_t k = 0; k < darker.size(); ++k)
        EXPECT_DOUBLE_EQ(darker[k], std::pow(before[k], 2));
    EXPECT_EQ(figure_map(), darker) << "brighten(map, beta) replaces the figure's map";

    const Mm given = brighten(test::real(1, 3, {0, 51, 255}), Mm(0));
    EXPECT_EQ(figure_map(), (std::vector<double>{0, 0.2, 1}));
    EXPECT_EQ(test::values(given), figure_map());
}

TEST_F(ColormapOfFigure, ContrastTakesItsLevelsFromTheCurrentMap)
{
    colormap(test::real(4, 3, {0, 0.2, 0.4, 1, 0, 0.2, 0.4, 1, 0, 0.2, 0.4, 1}));
    const Mm X = test::row({0, 1, 2, 3});
    EXPECT_EQ(test::values(contrast(X)), test::values(contrast(X, Mm(4))));
    EXPECT_EQ(test::values(contrast(X)), (std::vector<double>{0.4, 0.8, 1, 0.4, 0.8, 1, 0.4, 0.8, 1}));
    EXPECT_EQ(test::values(contrast(test::row({2, 2, 2}))), (std::vector<double>{1, 1, 1}));
}

} // namespace
