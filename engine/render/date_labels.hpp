// Tick labels of date axes: serial day numbers (day 1 is 1-Jan-0000,
// fractions are the time of day) shown through a format text of tokens
// such as "dd-mmm-yyyy HH:MM:SS PM" or "QQ-YY". It needs no drawing library.
#pragma once

#include <string>

namespace vizmo::render {

// Tokens: yyyy and yy (year), mmmm, mmm, mm and m (month: name, short name,
// number, first letter), dddd, ddd, dd and d (weekday name, short name, day
// of the month, first letter of the weekday), HH, MM, SS (hours, minutes,
// seconds), PM or AM (a 12-hour clock with its marker), QQ (quarter "Q1"..
// "Q4"), YY (two-digit year). Anything else is copied. A non-finite serial
// gives the empty text.
std::string date_label(double serial, const std::string& format);

} // namespace vizmo::render
