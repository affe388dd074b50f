// Date tick labels: serial day numbers to civil dates and the format tokens.
#include "date_labels.hpp"

#include <cmath>
#include <cstdio>

namespace vizmo::render {

namespace {

// Days since 1970-01-01 to a proleptic Gregorian date.
void civil(long long z, long long& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

bool starts(const std::string& s, std::size_t at, const char* token)
{
    return s.compare(at, std::char_traits<char>::length(token), token) == 0;
}

} // namespace

std::string date_label(double serial, const std::string& format)
{
    if (!std::isfinite(serial) || std::fabs(serial) > 1e9)
        return "";
    static const char* const months[] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
    static const char* const days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    // Rounded to the second first, so 23:59:59.9 becomes the next day.
    const double seconds = std::round(serial * 86400);
    const long long day = static_cast<long long>(std::floor(seconds / 86400));
    const long long secs = static_cast<long long>(seconds - static_cast<double>(day) * 86400);
    const long long z = day - 719529;  // serial of 1-Jan-1970
    long long year;
    int month, mday;
    civil(z, year, month, mday);
    const int weekday = static_cast<int>(((z + 4) % 7 + 7) % 7);
    const int hour = static_cast<int>(secs / 3600), minute = static_cast<int>(secs / 60 % 60),
              second = static_cast<int>(secs % 60);
    const bool twelve = format.find("PM") != std::string::npos || format.find("AM") != std::string::npos;

    std::string out;
    char buf[32];
    auto number = [&](long long v, int width) {
        std::snprintf(buf, sizeof buf, "%0*lld", width, v);
        out += buf;
    };
    for (std::size_t at = 0; at < format.size();) {
        if (starts(format, at, "yyyy")) {
            number(year, 4);
            at += 4;
        } else if (starts(format, at, "yy") || starts(format, at, "YY")) {
            number(((year % 100) + 100) % 100, 2);
            at += 2;
        } else if (starts(format, at, "mmmm")) {
            out += months[month - 1];
            at += 4;
        } else if (starts(format, at, "mmm")) {
            out.append(months[month - 1], 3);
            at += 3;
        } else if (starts(format, at, "mm")) {
            number(month, 2);
            at += 2;
        } else if (starts(format, at, "m")) {
            out.push_back(months[month - 1][0]);
            at += 1;
        } else if (starts(format, at, "dddd")) {
            out += days[weekday];
            at += 4;
        } else if (starts(format, at, "ddd")) {
            out.append(days[weekday], 3);
            at += 3;
        } else if (starts(format, at, "dd")) {
            number(mday, 2);
            at += 2;
        } else if (starts(format, at, "d")) {
            out.push_back(days[weekday][0]);
            at += 1;
        } else if (starts(format, at, "HH")) {
            number(twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour, 2);
            at += 2;
        } else if (starts(format, at, "MM")) {
            number(minute, 2);
            at += 2;
        } else if (starts(format, at, "SS")) {
            number(second, 2);
            at += 2;
        } else if (starts(format, at, "PM") || starts(format, at, "AM")) {
            out += hour < 12 ? "AM" : "PM";
            at += 2;
        } else if (starts(format, at, "QQ")) {
            out += "Q";
            number((month - 1) / 3 + 1, 1);
            at += 2;
        } else {
            out.push_back(format[at]);
            at += 1;
        }
    }
    return out;
}

} // namespace vizmo::render
