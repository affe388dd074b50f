// Date ticks: the property name and the format value chosen from the code
// table, a truncated code, codes outside the table and format texts.
#include "graphics/datetick.hpp"
#include "test_support.hpp"
#include "vizmo_test.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* ax;
    Mm format;
    const char* name;
    const char* text;  // the expected format text; nullptr: the number itself
    double number;
};

TEST(DateTick, FormatChosenFromTheCodeTable)
{
    const std::vector<Case> cases = {
        {"y", Mm(1), "yDate", "dd-mmm-yyyy", 0},
        {"y", Mm(18.9), "yDate", "QQ", 0},
        {"x", Mm(0), "xDate", "dd-mmm-yyyy HH:MM:SS", 0},
        {"x", Mm(-0.5), "xDate", "dd-mmm-yyyy HH:MM:SS", 0},  // truncated toward 0
        {"z", Mm(14), "zDate", "HH:MM:SS PM", 0},
        {"x", Mm(17), "xDate", "QQ-YY", 0},
        {"x", test::row({12, 3}), "xDate", "mmmyy", 0},       // the first element decides
        {"x", Mm(19), "xDate", nullptr, 19},
        {"x", Mm(-1), "xDate", nullptr, -1},
        {"x", Mm(NAN), "xDate", nullptr, NAN},
        {"z", test::text("yyyy-QQ"), "zDate", "yyyy-QQ", 0},
        {"x", test::text("1"), "xDate", "1", 0},              // a text is never a code
        {"x", test::text("mm/yy"), "xDate", "mm/yy", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ax) + " " + c.name);
        const graphics::date_tick_setting s = graphics::choose_date_tick(test::text(c.ax), c.format);
        EXPECT_TRUE(s.name.isstr());
        EXPECT_EQ(test::text_of(s.name), c.name);
        if (c.text) {
            EXPECT_TRUE(s.format.isstr());
            EXPECT_EQ(test::text_of(s.format), c.text);
        } else {
            EXPECT_FALSE(s.format.isstr());
            ASSERT_EQ(s.format.size(), 1);
            EXPECT_BITS_EQ(test::at(s.format, 0), c.number);
        }
    }
}

TEST(DateTick, EveryTableCodeGivesItsText)
{
    const std::vector<std::string> table = {
        "dd-mmm-yyyy HH:MM:SS", "dd-mmm-yyyy", "mm/dd/yy", "mmm", "m", "mm", "mm/dd", "dd", "ddd", "d",
        "yyyy", "yy", "mmmyy", "HH:MM:SS", "HH:MM:SS PM", "HH:MM", "HH:MM PM", "QQ-YY", "QQ"};
    for (std::size_t code = 0; code < table.size(); ++code) {
        SCOPED_TRACE(code);
        const auto s = graphics::choose_date_tick(test::text("x"), Mm(static_cast<double>(code) + 0.75));
        EXPECT_EQ(test::text_of(s.format), table[code]);
    }
}

// The drawing form writes the chosen setting to the current axes, made on
// demand, and to nothing else.
class DateTickOnAxes : public ::testing::Test {
protected:
    void SetUp() override { vizmo::test::reset(); }
    void TearDown() override { vizmo::test::reset(); }
};

struct AxesCase {
    const char* what;
    int form;  // number of arguments given
    const char* ax;
    Mm format;
    const char* name;
    const char* text;  // nullptr: the number itself
    double number;
};

TEST_F(DateTickOnAxes, WritesTheDatePropertyOfTheCurrentAxes)
{
    const std::vector<AxesCase> cases = {
        {"no argument", 0, "", Mm(), "xDate", "mm/yy", 0},
        {"axis only", 1, "y", Mm(), "yDate", "mm/yy", 0},
        {"code 1", 2, "y", Mm(1), "yDate", "dd-mmm-yyyy", 0},
        {"code 18.9", 2, "y", Mm(18.9), "yDate", "QQ", 0},
        {"code 19", 2, "x", Mm(19), "xDate", nullptr, 19},
        {"code -1", 2, "x", Mm(-1), "xDate", nullptr, -1},
        {"text", 2, "z", test::text("yyyy-QQ"), "zDate", "yyyy-QQ", 0},
    };
    for (const AxesCase& c : cases) {
        SCOPED_TRACE(c.what);
        vizmo::test::reset();
        Mm r = c.form == 0 ? datetick() : c.form == 1 ? datetick(test::text(c.ax)) : datetick(test::text(c.ax), c.format);
        EXPECT_EQ(r.size(), 0);
        const double a = *gca().addr(1);
        const vizmo::test::Value v = vizmo::test::prop(a, c.name);
        if (c.text) {
            EXPECT_EQ(v.text(), c.text);
        } else {
            ASSERT_EQ(v.data.size(), 1u);
            EXPECT_EQ(v.data[0], c.number);
        }
        const std::vector<std::string> w = vizmo::test::writes(a);
        EXPECT_EQ(std::count(w.begin(), w.end(), std::string(c.name)), 1);
    }
}

TEST_F(DateTickOnAxes, LeavesAnExistingAxesCurrent)
{
    const Mm first = gca();
    datetick(test::text("x"), Mm(5));
    EXPECT_EQ(*gca().addr(1), *first.addr(1));
    EXPECT_EQ(vizmo::test::prop(*first.addr(1), "xDate").text(), "mm");
}

} // namespace
