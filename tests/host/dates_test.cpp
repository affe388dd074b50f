// Dates and times: day numbers and date vectors against an independent
// calendar, the text forms, end of month, weekdays, the clock and the
// rejected argument counts.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

#include <cmath>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

struct date_case {
    int year, month, day, hour, minute, second;
    double number;
    int weekday;
};
const std::vector<date_case> references = {
#include "data/dates.inc"
};

Mm n(double v) { return Mm(v); }

TEST(Dates, DayNumbersMatchAnIndependentCalendar)
{
    for (const date_case& c : references) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        Mm d = datenum(n(c.year), n(c.month), n(c.day), n(c.hour), n(c.minute), n(c.second));
        EXPECT_BITS_EQ(test::at(d, 0), c.number);
        EXPECT_EQ(test::values(datevec(d)),
                  (std::vector<double>{double(c.year), double(c.month), double(c.day), double(c.hour),
                                       double(c.minute), double(c.second)}));
        EXPECT_EQ(test::at(weekday(d), 0), c.weekday);
    }
}

TEST(Dates, DatenumEdges)
{
    struct Case {
        double y, mo, d;
        double expected;
    };
    const std::vector<Case> cases = {
        {0, 1, 1, 1}, {2000, 1, 1, 730486}, {2000, 13, 1, 730852}, {2001, 1, 1, 730852}, {2000, 0, 1, 730486},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.y) + " " + std::to_string(c.mo));
        EXPECT_EQ(test::at(datenum(n(c.y), n(c.mo), n(c.d)), 0), c.expected);
    }
    Mm several = datenum(n(2000), test::row({1, 2, 3}), n(1));
    EXPECT_EQ(test::values(several), (std::vector<double>{730486, 730517, 730546})) << "one element expands";
    Mm v = test::row({2000, 1, 1, 0, 0, 0});
    EXPECT_EQ(test::values(datenum(v)), test::values(v)) << "a numeric date vector comes back unchanged";
    EXPECT_EQ(test::at(datenum(test::text("01-Jan-2000")), 0), 730486);
    EXPECT_ERROR(datenum(n(1), n(2)), "datenum does not accept 2 inputs");
    EXPECT_ERROR(datenum(n(1), n(2), n(3), n(4)), "datenum does not accept 4 inputs");
    EXPECT_ERROR(datenum(n(1), n(2), n(3), n(4), n(5)), "datenum does not accept 5 inputs");
}

TEST(Dates, DatevecOfNumbers)
{
    struct Case {
        double d;
        std::vector<double> v;
    };
    const std::vector<Case> cases = {
        {730486.5, {2000, 1, 1, 12, 0, 0}},
        {1, {0, 1, 1, 0, 0, 0}},
        {730486 + 86399.6 / 86400, {2000, 1, 2, 0, 0, 0}},
        {730486 + 1.5 / 86400, {2000, 1, 1, 0, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.d);
        EXPECT_EQ(test::values(datevec(n(c.d))), c.v);
    }
    Mm y, mo, d, h, mi, s;
    datevec(test::real(2, 1, {730486.5, 730852.25}), i_o, y, mo, d, h, mi, s);
    EXPECT_EQ(test::values(y), (std::vector<double>{2000, 2001}));
    EXPECT_EQ(test::values(h), (std::vector<double>{12, 6}));
    EXPECT_EQ(test::extents(h), (std::vector<int>{2, 1}));
    datevec(n(730486.5), i_o, y, mo);
    EXPECT_EQ(test::at(mo, 0), 1);
}

TEST(Dates, DatevecNeverLoopsOnValuesWithoutADate)
{
    for (double bad : std::vector<double>{NAN, INFINITY, -INFINITY, 1e300, -1e300}) {
        SCOPED_TRACE(bad);
        Mm v = datevec(n(bad));
        EXPECT_EQ(v.size(), 6);
    }
}

TEST(Dates, DatevecOfText)
{
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    const double year = t.tm_year + 1900, century = 100 * std::floor(year / 100);
    struct Case {
        const char* text;
        std::vector<double> v;
    };
    const std::vector<Case> cases = {
        {"15-Mar-1999 10:20:30", {1999, 3, 15, 10, 20, 30}},
        {"10:20", {0, 0, 0, 10, 20, 0}},
        {"10:20 PM", {0, 0, 0, 22, 20, 0}},
        {"12:30 PM", {0, 0, 0, 12, 30, 0}},
        {"15-mar-99", {century + 99, 3, 15, 0, 0, 0}},
        {"3/15/07", {century + 7, 3, 15, 0, 0, 0}},
        {"3/15", {year, 3, 15, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(test::values(datevec(test::text(c.text))), c.v);
    }
    test::clear_printed();
    EXPECT_ERROR(datevec(test::text("15-xyz-1999")), "datevec: unknown month");
    EXPECT_NE(test::printed().find("xyz"), std::string::npos) << "the token is shown";
    Mm y, mo, d, h, mi, s;
    datevec_str(str2mat(test::cell_row({test::text("01-Jan-2000"), test::text("02-Feb-2001")})), i_o, y, mo, d, h, mi,
                s);
    EXPECT_EQ(test::values(y), (std::vector<double>{2000, 2001}));
    EXPECT_EQ(test::values(mo), (std::vector<double>{1, 2}));
}

// A text whose codes are no characters at all is refused by the function
// that reads it, before any code is converted; outputs stay as they were.
TEST(Dates, DateTextsWithCodesOfNoCharacter)
{
    for (double code : {double(NAN), double(INFINITY), -double(INFINITY), 1e300, 3e9, -3e9}) {
        SCOPED_TRACE(code);
        Mm text = test::row({'1', '0', ':', code});
        text.setstr(1);
        EXPECT_ERROR(datevec(text), "datevec: the date text holds a code that is no character");
        EXPECT_ERROR(datenum(text), "datenum: the date text holds a code that is no character");
        EXPECT_ERROR(weekday(text), "weekday: the date text holds a code that is no character");
        Mm y(1.0), mo(2.0), number(3.0), name(4.0);
        {
            test::returning_errors hook;
            datevec(text, i_o, y, mo);
            weekday(text, i_o, number, name);
            EXPECT_EQ(hook.reports().size(), 2u);
        }
        EXPECT_EQ(test::values(y), std::vector<double>{1});
        EXPECT_EQ(test::values(mo), std::vector<double>{2});
        EXPECT_EQ(test::values(number), std::vector<double>{3});
        EXPECT_EQ(test::values(name), std::vector<double>{4});
    }
}

TEST(Dates, EndOfMonthAndWeekday)
{
    EXPECT_EQ(test::values(eomday(n(2000), n(2))), std::vector<double>{29});
    EXPECT_EQ(test::values(eomday(n(1900), n(2))), std::vector<double>{28});
    EXPECT_EQ(test::values(eomday(n(1999), test::row({1, 4}))), (std::vector<double>{31, 30}));
    EXPECT_EQ(test::values(eomday(test::row({2000, 2001}), n(2))), (std::vector<double>{29, 28}));
    Mm number, name;
    weekday(n(730486), i_o, number, name);
    EXPECT_EQ(test::at(number, 0), 7);
    EXPECT_EQ(test::text_of(name), "Sat");
    weekday(test::row({730487, 730488}), i_o, number, name);
    EXPECT_EQ(test::values(number), (std::vector<double>{1, 2}));
    EXPECT_EQ(test::extents(name), (std::vector<int>{2, 3}));
    EXPECT_ERROR(eomday(n(2000)), "eomday does not accept 1 input");
    EXPECT_ERROR(etime(n(1)), "etime does not accept 1 input");
}

// Dates lie on the real line: an imaginary part was dropped without a word,
// and the answer was that of another date.
TEST(Dates, ComplexDatesAreRefused)
{
    const Mm day = test::complex(1, 1, {730486}, {1});
    const Mm when = test::complex(1, 6, {2000, 1, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 2});
    const Mm vec = test::row({2000, 1, 1, 0, 0, 0});
    struct Case {
        const char* what;
        std::function<Mm()> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"datenum(2000+i, 1, 1)", [&] { return datenum(test::complex(1, 1, {2000}, {1}), n(1), n(1)); },
         "datenum: dates must be real"},
        {"datenum(2000, 1, 1, 0, 0, 2i)",
         [&] { return datenum(n(2000), n(1), n(1), n(0), n(0), test::complex(1, 1, {0}, {2})); },
         "datenum: dates must be real"},
        {"datevec(730486+i)", [&] { return datevec(day); }, "datevec: dates must be real"},
        {"datevec(sparse(730486+i))", [&] { return datevec(sparse(day)); }, "datevec: dates must be real"},
        {"weekday(730486+i)", [&] { return weekday(day); }, "weekday: dates must be real"},
        {"eomday(2000+i, 2)", [&] { return eomday(test::complex(1, 1, {2000}, {1}), n(2)); },
         "eomday: dates must be real"},
        {"eomday(2000, 2i)", [&] { return eomday(n(2000), test::complex(1, 1, {0}, {2})); }, "eomday: dates must be real"},
        {"etime(complex, t0)", [&] { return etime(when, vec); }, "etime: dates must be real"},
        {"etime(t1, complex)", [&] { return etime(vec, when); }, "etime: dates must be real"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.call(), c.message);
    }
    Mm y = n(7), mo = n(7), number = n(7), name = n(7);
    EXPECT_ERROR(datevec(day, i_o, y, mo), "datevec: dates must be real");
    EXPECT_ERROR(weekday(day, i_o, number, name), "weekday: dates must be real");
    for (const Mm* out : {&y, &mo, &number, &name})
        EXPECT_EQ(test::values(*out), std::vector<double>{7}) << "outputs untouched";
    // Imaginary parts that are all 0 are the real dates.
    const Mm zero_im = test::complex(1, 1, {730486.5}, {0});
    EXPECT_EQ(test::values(datevec(zero_im)), test::values(datevec(n(730486.5))));
    EXPECT_EQ(test::values(weekday(zero_im)), test::values(weekday(n(730486.5))));
    EXPECT_EQ(test::values(datenum(test::complex(1, 1, {2000}, {0}), n(2), n(3))),
              test::values(datenum(n(2000), n(2), n(3))));
    EXPECT_EQ(test::values(eomday(test::complex(1, 1, {2000}, {0}), n(2))), std::vector<double>{29});
    EXPECT_EQ(test::values(etime(test::complex(1, 6, {2000, 1, 1, 0, 0, 2}, {0, 0, 0, 0, 0, 0}), vec)),
              std::vector<double>{2});
}

// eomday takes its month as datenum carries it, and a date that is no date
// has no last day. Expected lengths from Python's calendar.monthrange.
TEST(Dates, EomdayOfMonthsOutsideTheYearAndOfNonFiniteInput)
{
    struct Case {
        double y, mo;
        double expected;
    };
    const double nan = std::nan("");
    const std::vector<Case> cases = {
        {2000, 0, 31},   // month 0 counts as January
        {2000, 13, 31},  // January 2001
        {2000, 14, 28},  // February 2001
        {2000, -1, 30},  // November 1999
        {2000, -10, 28}, // February 1999
        {2000, 26, 28},  // February 2002
        {2002, 26, 29},  // February 2004, a leap year
        {nan, 2, nan},     {2000, nan, nan}, {INFINITY, 2, nan},
        {-INFINITY, 2, nan}, {2000, INFINITY, nan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.y) + " " + std::to_string(c.mo));
        const double got = test::at(eomday(n(c.y), n(c.mo)), 0);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(got)) << got;
        else
            EXPECT_EQ(got, c.expected);
    }
    EXPECT_EQ(test::values(eomday(n(2000), test::row({0, 13, 14, -1}))), (std::vector<double>{31, 31, 28, 30}));
}

TEST(Dates, MonthsOutsideTheYearCarryBothWays)
{
    struct Case {
        double y, mo, d;
        double expected;  // Python's datetime ordinal + 366
    };
    const std::vector<Case> cases = {
        {2000, -1, 1, 730425},   // 1-Nov-1999
        {2001, -2, 15, 730774},  // 15-Oct-2000
        {2000, -11, 1, 730121},  // 1-Jan-1999
        {2000, -12, 1, 730090},  // 1-Dec-1998
        {2000, 25, 1, 731217},   // 1-Jan-2002
        {2000, 12, 31, 730851},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.y) + " " + std::to_string(c.mo) + " " + std::to_string(c.d));
        EXPECT_EQ(test::at(datenum(n(c.y), n(c.mo), n(c.d)), 0), c.expected);
    }
    // Stepping back month by month from March 2001 passes every month once
    // (month 0 counts as January).
    Mm back = datenum(n(2001), colon(3.0, -1.0, -14.0), n(1));
    std::vector<double> months;
    for (double d : test::values(back))
        months.push_back(test::values(datevec(Mm(d)))[1]);
    EXPECT_EQ(months, (std::vector<double>{3, 2, 1, 1, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 12, 11, 10}));
}

TEST(Dates, WeekdaysOfDaysAtAndBeforeZero)
{
    struct Case {
        double day;
        double number;
        const char* name;
    };
    const std::vector<Case> cases = {
        {0, 6, "Fri"}, {-1, 5, "Thu"}, {-0.5, 5, "Thu"}, {-6, 7, "Sat"}, {-7, 6, "Fri"}, {1, 7, "Sat"},
        {-306, 1, "Sun"}, {0.75, 6, "Fri"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.day);
        Mm number, name;
        weekday(n(c.day), i_o, number, name);
        EXPECT_EQ(test::at(number, 0), c.number);
        EXPECT_EQ(test::text_of(name), c.name);
    }
}

// From 2^52 on (years past 1.2e13) a day number does not count single
// days in its own arithmetic: a day added may vanish. Dates, weekdays and
// month ends there follow the calendar exactly all the same: February of a
// year past 2^53 has 28 or 29 days, never the 31 that counting days from
// the 28th gave, and a weekday is that of the number itself, not of its
// neighbour. Month and day exact, the year to its double's rounding;
// references in exact integers.
TEST(Dates, FarDatesFollowTheCalendar)
{
    struct Far {
        double number, year;
        int month, day, weekday;
    };
    const std::vector<Far> dates = {
#include "data/far_dates.inc"
    };
    for (const Far& f : dates) {
        SCOPED_TRACE(f.number);
        const std::vector<double> v = test::values(datevec(n(f.number)));
        ASSERT_EQ(v.size(), 6u);
        EXPECT_EQ(v[0], f.year);
        EXPECT_EQ(v[1], f.month);
        EXPECT_EQ(v[2], f.day);
        EXPECT_EQ((std::vector<double>(v.begin() + 3, v.end())), (std::vector<double>{0, 0, 0}));
        EXPECT_EQ(test::at(weekday(n(f.number)), 0), f.weekday);
    }
    struct MonthEnd {
        double year, month;
        int last;
    };
    const std::vector<MonthEnd> ends = {
#include "data/far_month_ends.inc"
    };
    for (const MonthEnd& e : ends) {
        SCOPED_TRACE(std::to_string(e.year) + " " + std::to_string(e.month));
        EXPECT_EQ(test::at(eomday(n(e.year), n(e.month)), 0), e.last);
    }
}

// Up to 2^52 a day number holds a time of day; past it a date is whole.
// Next to that boundary on both sides of 0 the date, the time (rounded to
// the second) and the weekday follow the calendar, and the year is a whole
// number (past 2^53 days it had a fraction); the day number of a far date
// is the exact one rounded once (each term of the sum rounded, and years
// from 1e13 came an ulp or more off). References in exact integers.
TEST(Dates, TimesNearTheLastFractionalDaysAndFarDayNumbers)
{
    struct Time {
        double number, year;
        int month, day, hour, minute, second, weekday;
    };
    const std::vector<Time> times = {
#include "data/far_times.inc"
    };
    for (const Time& t : times) {
        SCOPED_TRACE(t.number);
        EXPECT_EQ(test::values(datevec(n(t.number))),
                  (std::vector<double>{t.year, double(t.month), double(t.day), double(t.hour), double(t.minute),
                                       double(t.second)}));
        EXPECT_EQ(test::at(weekday(n(t.number)), 0), t.weekday);
    }
    struct Number {
        double year;
        int month, day;
        double number;
    };
    const std::vector<Number> numbers = {
#include "data/far_day_numbers.inc"
    };
    for (const Number& d : numbers) {
        SCOPED_TRACE(std::to_string(d.year) + " " + std::to_string(d.month) + " " + std::to_string(d.day));
        EXPECT_EQ(test::at(datenum(n(d.year), n(d.month), n(d.day)), 0), d.number);
    }
}

TEST(Dates, DaysBeforeYearZeroAreContinuous)
{
    EXPECT_EQ(test::at(datenum(n(-1), n(2), n(28)), 0), -306);
    EXPECT_EQ(test::at(datenum(n(-1), n(3), n(1)), 0), -305);
    EXPECT_EQ(test::values(datevec(n(-306))), (std::vector<double>{-1, 2, 28, 0, 0, 0}));
    EXPECT_EQ(test::values(eomday(n(-1), n(2))), std::vector<double>{28}) << "year -1 is no leap year";
    EXPECT_EQ(test::values(eomday(n(-4), n(2))), std::vector<double>{29});
    // Every day from 1-Jan of year -801 to the end of year 1 reads back as
    // the next date of the calendar.
    const std::vector<int> month_days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    int y = -801, mo = 1, d = 1;
    const double first = test::at(datenum(n(y), n(mo), n(d)), 0);
    int wrong = 0;
    for (double day = first; y < 2; ++day) {
        const std::vector<double> v = test::values(datevec(Mm(day)));
        if (v[0] != y || v[1] != mo || v[2] != d || test::at(datenum(n(y), n(mo), n(d)), 0) != day)
            ++wrong;
        const int length = mo == 2 && leap(y) ? 29 : month_days[static_cast<std::size_t>(mo - 1)];
        if (++d > length) {
            d = 1;
            if (++mo > 12) {
                mo = 1;
                ++y;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(Dates, ElapsedTimeKeepsDaysAndSecondsApart)
{
    struct Case {
        std::vector<double> t1, t0;
        double seconds;
    };
    const std::vector<Case> cases = {
        {{2000, 1, 1, 0, 0, 0}, {1999, 12, 31, 23, 59, 59}, 1},
        {{2000, 1, 1, 0, 0, 0.25}, {2000, 1, 1, 0, 0, 0}, 0.25},
        {{2026, 6, 30, 12, 0, 0.125}, {2026, 6, 30, 11, 59, 59.875}, 0.25},
        {{2000, 1, 2, 0, 0, 1.5}, {2000, 1, 1, 0, 0, 0}, 86401.5},
        {{2000, 3, 1, 0, 0, 0}, {2000, 2, 28, 0, 0, 0}, 2 * 86400},
        {{1999, 12, 31, 23, 59, 59}, {2000, 1, 1, 0, 0, 0}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        Mm a(0, 0, 0, 1, 6, qv_double), b(0, 0, 0, 1, 6, qv_double);
        std::copy(c.t1.begin(), c.t1.end(), a.addr());
        std::copy(c.t0.begin(), c.t0.end(), b.addr());
        EXPECT_EQ(test::at(etime(a, b), 0), c.seconds);
    }
}

TEST(Dates, ClockAndElapsedTime)
{
    const std::time_t before = std::time(nullptr);
    Mm c = mclock();
    ASSERT_EQ(test::extents(c), (std::vector<int>{1, 6}));
    std::tm t{};
    localtime_r(&before, &t);
    EXPECT_EQ(test::at(c, 0), t.tm_year + 1900);
    EXPECT_NEAR(test::at(now(), 0), test::at(datenum(n(test::at(c, 0)), n(test::at(c, 1)), n(test::at(c, 2)),
                                                     n(test::at(c, 3)), n(test::at(c, 4)), n(test::at(c, 5))), 0),
                2.0 / 86400);
    const std::string d = test::text_of(date());
    ASSERT_EQ(d.size(), 11u);
    EXPECT_EQ(d[2], '-');
    EXPECT_EQ(etime(test::row({2000, 1, 1, 0, 0, 0}), test::row({2000, 1, 1, 0, 0, 0})).size(), 1);
    // Day numbers near 7e5 carry about 1e-5 s of rounding.
    EXPECT_NEAR(test::at(etime(test::row({2000, 1, 2, 0, 0, 1.5}), test::row({2000, 1, 1, 0, 0, 0})), 0), 86401.5, 1e-4);
    tic();
    const double elapsed = test::at(toc(), 0);
    EXPECT_GE(elapsed, 0);
    EXPECT_LT(elapsed, 5);
    for (Mm zero : {cputime(), flops(), flops(n(3)), isunix(), stdinM(), zeros()})
        EXPECT_EQ(test::values(zero), std::vector<double>{0});
}

} // namespace
