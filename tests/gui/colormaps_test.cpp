// Colormap generators against reference maps computed apart from the
// library (tools/reference/colormaps.py) and the values the maps are known by.
#include "test_support.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using rows_t = std::vector<std::vector<double>>;

// The rows of an m x 3 map.
rows_t rows_of(const Mm& map)
{
    rows_t out;
    const std::vector<double> v = test::values(map);
    const int m = map.rows();
    for (int r = 0; r < m; ++r)
        out.push_back({v[r], v[m + r], v[2 * m + r]});
    return out;
}

void expect_rows(const Mm& map, const rows_t& expected, double tolerance = 0)
{
    ASSERT_EQ(map.cols(), 3);
    const rows_t got = rows_of(map);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t r = 0; r < got.size(); ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[r][c], expected[r][c], tolerance) << "row " << r + 1 << " column " << c + 1;
}

struct Reference {
    const char* name;
    int rows;
    std::vector<double> values;
};

const std::vector<Reference> references = {
#include "data/colormaps.inc"
};

Mm call(const std::string& name)
{
    const std::size_t open = name.find('(');
    const Mm m(std::stod(name.substr(open + 1)));
    const std::string f = name.substr(0, open);
    static const std::vector<std::pair<std::string, std::function<Mm(const Mm&)>>> table = {
        {"hsv", [](const Mm& x) { return hsv(x); }},       {"hot", [](const Mm& x) { return hot(x); }},
        {"bone", [](const Mm& x) { return bone(x); }},     {"cool", [](const Mm& x) { return cool(x); }},
        {"spring", [](const Mm& x) { return spring(x); }}, {"summer", [](const Mm& x) { return summer(x); }},
        {"winter", [](const Mm& x) { return winter(x); }}, {"autumn", [](const Mm& x) { return autumn(x); }},
        {"pink", [](const Mm& x) { return pink(x); }},     {"copper", [](const Mm& x) { return copper(x); }},
        {"gray", [](const Mm& x) { return gray(x); }},
    };
    for (const auto& [n, fn] : table)
        if (n == f)
            return fn(m);
    ADD_FAILURE() << "no generator " << f;
    return Mm();
}

TEST(Colormaps, AgreeWithTheReferenceMaps)
{
    for (const Reference& ref : references) {
        SCOPED_TRACE(ref.name);
        rows_t expected;
        for (int r = 0; r < ref.rows; ++r)
            expected.push_back({ref.values[3 * r], ref.values[3 * r + 1], ref.values[3 * r + 2]});
        expect_rows(call(ref.name), expected, 4e-16);
    }
}

TEST(Colormaps, KnownRowsAndWholeMaps)
{
    const Mm j64 = jet(Mm(64.0));
    const rows_t jet_rows = rows_of(j64);
    struct Row {
        int row;
        std::vector<double> rgb;
    };
    for (const Row& r : std::vector<Row>{{1, {0, 0, 0.5625}},
                                         {8, {0, 0, 1}},
                                         {9, {0, 0.0625, 1}},
                                         {24, {0, 1, 1}},
                                         {25, {0.0625, 1, 1}},
                                         {41, {1, 1, 0}},
                                         {57, {1, 0, 0}},
                                         {64, {0.5625, 0, 0}}}) {
        SCOPED_TRACE(r.row);
        EXPECT_EQ(jet_rows[r.row - 1], r.rgb);
    }
    expect_rows(jet(Mm(8.0)),
                {{0, 0, 1}, {0, 0.5, 1}, {0, 1, 1}, {0.5, 1, 1}, {1, 1, 0.5}, {1, 1, 0}, {1, 0.5, 0}, {1, 0, 0}});
    expect_rows(hsv(Mm(6.0)), {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}});
    const rows_t h64 = rows_of(hsv(Mm(64.0)));
    EXPECT_EQ(h64[0], (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(h64[1], (std::vector<double>{1, 0.09375, 0}));
    EXPECT_EQ(h64[2], (std::vector<double>{1, 0.1875, 0}));
    EXPECT_EQ(h64[10], (std::vector<double>{1, 0.9375, 0}));
    EXPECT_NEAR(h64[11][0], 0.96875, 2e-16);
    expect_rows(hsv(Mm(1.0)), {{1, 0, 0}});
    expect_rows(hot(Mm(4.0)), {{0.5, 0, 0}, {1, 0, 0}, {1, 0.5, 0}, {1, 1, 0}});
    const rows_t hot64 = rows_of(hot(Mm(64.0)));
    EXPECT_EQ(hot64[0], (std::vector<double>{1.0 / 22, 0, 0}));
    EXPECT_EQ(hot64[21], (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(hot64[22], (std::vector<double>{1, 1.0 / 22, 0}));
    EXPECT_EQ(hot64[43], (std::vector<double>{1, 1, 0}));
    EXPECT_EQ(hot64[44], (std::vector<double>{1, 1, 0.05}));
    EXPECT_EQ(hot64[63], (std::vector<double>{1, 1, 1}));
    expect_rows(hot(Mm(1.0)), {{1, 0, 0}});  // one row, so pink(1) can add it to gray(1)
    expect_rows(bone(Mm(3.0)), {{0, 0, 0.125}, {0.4375, 0.5625, 0.5625}, {1, 1, 1}}, 2e-16);
    expect_rows(bone(Mm(2.0)), {{0.0625, 0.125, 0.125}, {1, 1, 1}});
    expect_rows(bone(Mm(1.0)), {{0.125, 0.125, 0.125}});
    const rows_t b64 = rows_of(bone(Mm(64.0)));
    for (int c = 0; c < 3; ++c) {
        // The first blue is 1 less a sum of 63 increments: rounding of the sum.
        EXPECT_NEAR(b64[0][c], (std::vector<double>{0, 0, 1.0 / 192})[c], 4e-15);
        EXPECT_NEAR(b64[1][c], (std::vector<double>{1.0 / 72, 1.0 / 72, 7.0 / 288})[c], 4e-15);
        EXPECT_NEAR(b64[63][c], 1, 4e-15);
    }
    expect_rows(flag(Mm(5.0)), {{1, 0, 0}, {1, 1, 1}, {0, 0, 1}, {0, 0, 0}, {1, 0, 0}});
    const rows_t p7 = rows_of(prism(Mm(7.0)));
    EXPECT_EQ(p7[5], (std::vector<double>{2.0 / 3, 0, 0}));
    EXPECT_EQ(p7[6], (std::vector<double>{1, 0, 0}));
    const rows_t l7 = rows_of(lines(Mm(7.0)));
    EXPECT_EQ(l7[2], (std::vector<double>{0, 0.75, 0.75}));
    EXPECT_EQ(l7[6], (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(rows_of(gray(Mm(64.0)))[1], (std::vector<double>(3, 1.0 / 63)));
    EXPECT_EQ(rows_of(copper(Mm(64.0)))[63], (std::vector<double>{1, 0.79, 0.5}));
    for (const auto& row : rows_of(summer(Mm(9.0))))
        EXPECT_EQ(row[2], 0.4);
}

TEST(Colormaps, LengthsAndEdges)
{
    EXPECT_EQ(black(Mm(2.5)).rows(), 3) << "halves away from zero";
    EXPECT_EQ(white(Mm(2.4)).rows(), 2);
    EXPECT_EQ(test::values(white(Mm(1.0))), (std::vector<double>{1, 1, 1}));
    for (const Mm& empty : {black(Mm()), white(Mm()), gray(Mm())}) {
        EXPECT_EQ(empty.size(), 0);
        EXPECT_EQ(empty.cols(), 0) << "an empty length gives the absent value, not a 0 x 3 map";
    }
    for (const Mm& none : {bone(Mm(0.0)), flag(Mm(0.0)), lines(Mm(-3.0)), hsv(Mm(0.0))}) {
        EXPECT_EQ(none.size(), 0);
        EXPECT_EQ(none.cols(), 3) << "0 x 3";
    }
    expect_rows(gray(Mm(1.0)), {{0, 0, 0}});  // 0 / 0 is held to the map's range
    expect_rows(jet(Mm(1.0)), {{1, 1, 1}});
    expect_rows(hsv(Mm(2.0)), {{1, 0, 0}, {0, 1, 1}});  // an empty ramp adds nothing
    EXPECT_TRUE(isequal(grey(Mm(7.0)), gray(Mm(7.0))));

    const std::vector<std::pair<Mm (*)(), Mm (*)(const Mm&)>> defaults = {
        {black, black},   {gray, gray},   {grey, grey},     {white, white},   {jet, jet},   {hsv, hsv},
        {hot, hot},       {bone, bone},   {cool, cool},     {spring, spring}, {summer, summer},
        {winter, winter}, {autumn, autumn}, {pink, pink},   {copper, copper}, {flag, flag}, {prism, prism},
        {lines, lines},
    };
    for (const auto& [none, with] : defaults) {
        const Mm a = none(), b = with(Mm(64.0));
        EXPECT_EQ(a.rows(), 64);
        EXPECT_TRUE(isequal(a, b));
    }
}

// The standard hue-to-RGB conversion at full saturation and value: hsv(m) is
// m evenly spaced hues from red.
std::vector<double> hue_rgb(double h)
{
    const double h6 = 6 * h;
    const int i = static_cast<int>(std::floor(h6)) % 6;
    const double f = h6 - std::floor(h6);
    switch (i) {
    case 0: return {1, f, 0};
    case 1: return {1 - f, 1, 0};
    case 2: return {0, 1, f};
    case 3: return {0, 1 - f, 1};
    case 4: return {f, 0, 1};
    default: return {1, 0, 1 - f};
    }
}

TEST(Colormaps, HsvIsEvenlySpacedHuesWithoutRepeats)
{
    expect_rows(hsv(Mm(4.0)), {{1, 0, 0}, {0.5, 1, 0}, {0, 1, 1}, {0.5, 0, 1}}, 1e-15);
    for (int m = 1; m <= 1000; ++m) {
        SCOPED_TRACE(m);
        const rows_t got = rows_of(hsv(Mm(static_cast<double>(m))));
        ASSERT_EQ(got.size(), static_cast<std::size_t>(m));
        for (int r = 0; r < m; ++r) {
            const std::vector<double> want = hue_rgb(static_cast<double>(r) / m);
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(got[r][c], want[c], 1e-12) << "row " << r + 1;
        }
    }
}

TEST(Colormaps, HsvEndsForLengthsWhereNoFurtherRowArises)
{
    // Between 2.4 and 3 the ramps after the first are empty or repeat red.
    for (double m : {2.4, 2.5, 2.75, 2.999}) {
        SCOPED_TRACE(m);
        expect_rows(hsv(Mm(m)), {{1, 0, 0}});
    }
}

TEST(Colormaps, EveryGeneratorGivesMRowsWithinTheUnitRange)
{
    const std::vector<std::pair<const char*, Mm (*)(const Mm&)>> generators = {
        {"black", black}, {"gray", gray},     {"white", white},   {"jet", jet},       {"hsv", hsv},
        {"hot", hot},     {"bone", bone},     {"cool", cool},     {"spring", spring}, {"summer", summer},
        {"winter", winter}, {"autumn", autumn}, {"pink", pink},   {"copper", copper}, {"flag", flag},
        {"prism", prism}, {"lines", lines},
    };
    for (const auto& [name, generator] : generators)
        for (int m = 1; m <= 512; ++m) {
            SCOPED_TRACE(std::string(name) + "(" + std::to_string(m) + ")");
            const Mm map = generator(Mm(static_cast<double>(m)));
            ASSERT_EQ(map.rows(), m);
            ASSERT_EQ(map.cols(), 3);
            for (double v : test::values(map))
                ASSERT_TRUE(v >= 0 && v <= 1) << v;
        }
    // The last row of bone is white: its running sums end on 1 and not past it.
    const rows_t b256 = rows_of(bone(Mm(256.0)));
    for (double v : b256[255])
        EXPECT_NEAR(v, 1, 4e-15);
    // pink(1) adds gray(1) and hot(1): black and red, sqrt((5 g + 2.5 h) / 7.5).
    expect_rows(pink(Mm(1.0)), {{std::sqrt(1.0 / 3), 0, 0}}, 1e-15);
}

} // namespace
