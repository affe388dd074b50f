// Tick labels of date axes: serial day numbers (day 1 is 1-Jan-0000,
// fractions are the time of day) shown through a format text of tokens
// such as "dd-mmm-yyyy HH:MM:SS PM" or "QQ-YY". It needs no drawing library.
#pragma once

#include <string>
#include <vector>

namespace vizmo::render {

// Tokens: yyyy and yy (year), mmmm, mmm, mm and m (month: name, short name,
// number, first letter), dddd, ddd, dd and d (weekday name, short name, day
// of the month, first letter of the weekday), HH, MM, SS (hours, minutes,
// seconds), PM or AM (a 12-hour clock with its marker), QQ (quarter "Q1"..
// "Q4"), YY (two-digit year). Anything else is copied. A non-finite serial
// gives the empty text.
std::string date_label(double serial, const std::string& format);

// Ticks for a date axis from lo to hi: at most max_count (at least 2) of
// them on calendar boundaries, the finest step that keeps within the count
// of these: 1, 5, 10, 15 and 30 seconds; 1, 5, 10, 15 and 30 minutes; 1, 2,
// 3, 6 and 12 hours; 1, 2, 7 and 14 days; the starts of every 1, 2, 3 and 6
// months; and the starts of years, every 1, 2 or 5 times a power of ten.
// Empty when the span holds no tick or is no span of dates.
std::vector<double> date_ticks(double lo, double hi, int max_count);

} // namespace vizmo::render
