// Date tick labels: serial day numbers to civil dates and the format tokens.
#include "date_labels.hpp"

#include <algorithm>
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

// A proleptic Gregorian date to days since 1970-01-01.
long long days_from_civil(long long y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr long long serial_1970 = 719529;  // the serial day of 1-Jan-1970

bool starts(const std::string& s, std::size_t at, const char* token)
{
    return s.compare(at, std::char_traits<char>::length(token), token) == 0;
}

} // namespace

std::vector<double> date_ticks(double lo, double hi, int max_count)
{
    std::vector<double> out;
    if (!(std::isfinite(lo) && std::isfinite(hi)) || std::fabs(lo) > 1e9 || std::fabs(hi) > 1e9)
        return out;
    if (lo > hi)
        std::swap(lo, hi);
    max_count = std::max(max_count, 2);
    // Steps within a day, in seconds, then whole days.
    static const double seconds[] = {1,    5,    10,   15,    30,    60,    300,   600,   900,
                                     1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800, 1209600};
    for (double step : seconds) {
        const double day_step = step / 86400;
        const double first = std::ceil(lo / day_step - 1e-9), last = std::floor(hi / day_step + 1e-9);
        if (last - first + 1 > max_count)
            continue;
        for (double k = first; k <= last; ++k)
            out.push_back(k * step / 86400);
        return out;
    }
    // Month starts: months counted from January of year 0.
    long long y0, y1;
    int m0, m1, d;
    civil(static_cast<long long>(std::floor(lo)) - serial_1970, y0, m0, d);
    civil(static_cast<long long>(std::floor(hi)) - serial_1970, y1, m1, d);
    const long long month_lo = y0 * 12 + (m0 - 1), month_hi = y1 * 12 + (m1 - 1);
    auto month_start = [](long long month) {
        const long long y = month >= 0 ? month / 12 : -((-month + 11) / 12);
        return static_cast<double>(days_from_civil(y, static_cast<int>(month - y * 12) + 1, 1) + serial_1970);
    };
    for (long long step : {1, 2, 3, 6}) {
        std::vector<double> t;
        // Past max_count ticks this step is too fine: no need to walk on.
        for (long long month = month_lo - month_lo % step;
             month <= month_hi + step && static_cast<int>(t.size()) <= max_count; month += step) {
            const double s = month_start(month);
            if (s >= lo - 1e-9 && s <= hi + 1e-9)
                t.push_back(s);
        }
        if (static_cast<int>(t.size()) <= max_count)
            return t;
    }
    // Year starts.
    for (double mag = 1; mag < 1e9; mag *= 10)
        for (double f : {1.0, 2.0, 5.0}) {
            const double step = f * mag;
            const double first = std::ceil(static_cast<double>(y0) / step) * step;
            if ((static_cast<double>(y1) - first) / step + 1 > max_count)
                continue;
            for (double y = first; y <= static_cast<double>(y1); y += step) {
                const double s = static_cast<double>(days_from_civil(static_cast<long long>(y), 1, 1) + serial_1970);
                if (s >= lo - 1e-9 && s <= hi + 1e-9)
                    out.push_back(s);
            }
            return out;
        }
    return out;
}

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
    const long long z = day - serial_1970;
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
