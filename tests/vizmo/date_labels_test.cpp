// Date tick labels against Python's datetime, for the 19 formats the date
// ticks pass and a few more, plus rounding and bad serials.
#include "render/date_labels.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using vizmo::render::date_label;

struct Case {
    double serial;
    const char* format;
    const char* label;
};

TEST(DateLabels, FormatsAgreeWithAnIndependentCalendar)
{
    const std::vector<Case> cases = {
#include "data/date_labels.inc"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.serial << " " << c.format);
        EXPECT_EQ(date_label(c.serial, c.format), c.label);
    }
}

TEST(DateLabels, RoundingAndBadSerials)
{
    const std::vector<Case> cases = {
        {730545 + 86399.6 / 86400, "dd-mmm-yyyy HH:MM:SS", "01-Mar-2000 00:00:00"},  // rounds into the next day
        {730545 + 0.5, "HH:MM PM", "12:00 PM"},
        {730545, "HH:MM AM", "12:00 AM"},
        {std::numeric_limits<double>::quiet_NaN(), "yyyy", ""},
        {std::numeric_limits<double>::infinity(), "yyyy", ""},
        {730545, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(date_label(c.serial, c.format), c.label);
    }
}

TEST(DateTicks, FallOnCalendarBoundariesAsAnIndependentCalendarPlacesThem)
{
    struct Span {
        const char* what;
        double lo, hi;
        int most;
        std::vector<double> ticks;
    };
    const std::vector<Span> cases = {
#include "data/date_ticks.inc"
    };
    for (const Span& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<double> t = vizmo::render::date_ticks(c.lo, c.hi, c.most);
        ASSERT_EQ(t.size(), c.ticks.size());
        for (std::size_t k = 0; k < t.size(); ++k)
            EXPECT_NEAR(t[k], c.ticks[k], 1e-9) << k;
    }
    // Month starts read as the first of their month.
    for (double t : vizmo::render::date_ticks(737987, 738286, 12))
        EXPECT_EQ(date_label(t, "dd HH:MM"), "01 00:00");
}

TEST(DateTicks, NoSpanOfDatesGivesNoTicks)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(vizmo::render::date_ticks(nan, 738000, 8).empty());
    EXPECT_TRUE(vizmo::render::date_ticks(0, inf, 8).empty());
    EXPECT_TRUE(vizmo::render::date_ticks(-1e300, 1e300, 8).empty());
    EXPECT_EQ(vizmo::render::date_ticks(738286, 737987, 8), vizmo::render::date_ticks(737987, 738286, 8))
        << "limits in either order";
}

} // namespace
