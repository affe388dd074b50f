// Date tick labels against Python's datetime, for the 19 formats the date
// ticks pass and a few more, plus rounding and bad serials.
#include "render/date_labels.hpp"

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

} // namespace
