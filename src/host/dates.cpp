// Date and time functions: serial day numbers and date vectors (numbers
// and text), the wall clock, elapsed time, end of month and day of the
// week. Each works element by element with scalar expansion.
#include "io/files.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

const char* const month_names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const day_names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// The language's rem: the sign of x.
inline double rem(double x, double y) { return x - std::trunc(x / y) * y; }
// The language's mod: the sign of y, so that counts carry the same way on
// both sides of zero.
inline double mod(double x, double y) { return x - std::floor(x / y) * y; }

// The leap days before the March that starts year y (years counted from
// March). Each term counts the multiples of its step up to y; year 0 is a
// leap year, which the 4000-year rule would make it otherwise, so the
// 4000s are counted from 4000 on both sides of zero. One formula for every
// year keeps the day count continuous before year 0 as well.
inline double leap_days(double y)
{
    return std::floor(y / 4) - std::floor(y / 100) + std::floor(y / 400) - std::floor(y / 4000) - (y < 0 ? 1 : 0);
}

// A whole year y as q 4000-year cycles and a rest r, y = 4000 q + r
// exactly, with r ten cycles or more from year 0 on the side given (+1 or
// -1): the calendar of r is then that of y, and a carry of months into r
// keeps it so. q is whole; r is small unless y is beyond 2^53 cycles.
inline void split_cycles(double y, double side, double& q, double& r)
{
    q = std::trunc(y / 4000) - side * 10;
    r = std::fma(-4000, q, y);  // exact: y - 4000 q is a whole number held in a double
    if (!(r * side > 0)) {
        // y / 4000 rounded away from 0 past the margin: one step back.
        const double step = std::ldexp(1.0, std::max(0, std::ilogb(q) - 52));
        q -= side * step;
        r = std::fma(-4000, q, y);
    }
}

// The whole-day part of a day number: the date without its time.
double day_number(double y, double mo, double d, double h, double mi, double s);
double date_day(double y, double mo, double d) { return day_number(y, mo, d, 0, 0, 0); }

double day_number(double y, double mo, double d, double h, double mi, double s)
{
    if (mo == 0)
        mo = 1;
    // A whole year far from 0 is taken as whole 4000-year cycles and a rest
    // on the same side of year 0, before months are carried into it (past
    // 2^53 a year plus one is the year): the day number is the cycles' days
    // plus the rest's, rounded once (the terms of the plain sum each
    // rounded and gave a day number an ulp or more off from year 1e13 on).
    double cycles = 0, side = y > 0 ? 1 : -1;
    if (std::fabs(y) >= 0x1p40 && std::isfinite(y) && y == std::floor(y))
        split_cycles(y, side, cycles, y);
    y += std::floor((mo - 1) / 12);
    mo = mod(mo - 1, 12) + 1;
    mo -= 3;
    if (mo < 0) {
        mo += 12;
        y -= 1;
    }
    if (cycles != 0 && !(y * side > 0)) {
        // Months that carried the rest across year 0: more cycles.
        double more = 0;
        split_cycles(y, side, more, y);
        cycles += more;
    }
    const double days = leap_days(y) + std::floor((306 * mo + 5) / 10) + 365 * y + d + 60;
    const double whole = days + (s + 60 * (mi + 60 * h)) / 86400;
    return cycles == 0 ? whole : std::fma(4000 * 365 + 969, cycles, whole);
}

// x modulo y in [0, y) for an integer-valued x of any size: fmod is exact
// where x - floor(x / y) * y loses every digit.
inline double exact_mod(double x, double y)
{
    const double r = std::fmod(x, y);
    return r < 0 ? r + y : r;
}

// From 2^52 on a day number no longer tells single days apart in its
// arithmetic (a day added may vanish). The calendar repeats every 4000
// years, 1460969 days, on either side of year 0, so such a date is read on
// the same day of a cycle near year 0 and the cycles are carried back into
// the year.
constexpr double exact_days = 4503599627370496.0;
constexpr double cycle_days = 1460969, cycle_years = 4000;
constexpr double near_cycles = 10;

using date_vector = std::array<double, 6>;

date_vector date_of(double d)
{
    if (!std::isfinite(d))
        return {d, d, d, d, d, d};
    if (std::fabs(d) >= exact_days) {
        const double within = exact_mod(d, cycle_days), k = d > 0 ? near_cycles : -near_cycles;
        date_vector v = date_of(within + k * cycle_days);
        // The cycles, (d - within) / cycle_days, are whole, but d - within
        // rounds past 2^53 and the quotient with it (years came out with
        // fractions, or an ulp off): both are carried with their rounding
        // error, and the year is rounded once.
        const double t = d - within, t_lo = (d - t) - within;
        const double cycles = t / cycle_days;
        const double cycles_lo = (std::fma(-cycles, cycle_days, t) + t_lo) / cycle_days;
        v[0] = std::fma(cycle_years, cycles, std::fma(cycle_years, cycles_lo, v[0] - cycle_years * k));
        return v;
    }
    const double frac = d - std::floor(d);
    d -= frac;
    double secs = std::round(86400 * frac);
    // A time that rounds to midnight belongs to the next day.
    if (secs >= 86400) {
        secs = 0;
        d += 1;
    }
    const double seconds = rem(secs, 60);
    secs = std::floor(secs / 60);
    const double minutes = rem(secs, 60);
    const double hours = std::floor(secs / 60);
    d -= 60;
    double y = std::floor((4000 * d + 1608) / 1460969);
    double m = 0;
    // One or two corrections at most; the bound keeps a day number too
    // large for exact years from looping for ever.
    for (int round = 0; round < 8; ++round) {
        const double start = 365 * y + leap_days(y);
        m = d - start;
        if (m > 0)
            break;
        y -= 1;
    }
    // Before year 0 the estimate can also fall a year short: a day past
    // the year's last belongs to the next one.
    for (int round = 0; round < 8; ++round) {
        const double next = 365 * (y + 1) + leap_days(y + 1);
        if (d - next <= 0)
            break;
        y += 1;
        m = d - next;
    }
    double mo = std::floor((10 * m - 5) / 306);
    const double day = m - std::floor((306 * mo + 5) / 10);
    mo += 3;
    if (mo > 12) {
        mo -= 12;
        y += 1;
    }
    return {y, mo, day, hours, minutes, seconds};
}

// The values of a numeric argument as doubles.
Mm numbers(const Mm& x)
{
    if (x.gettype() == qv_double && !x.issparse() && !x.isc())
        return x;
    Mm d;
    d.deepcopy(0, 0, x, qv_double);
    return d;  // empty when refused: "Out of memory!" went to a hook that returned
}

// Dates lie on the real line: an imaginary part was dropped without a
// word, and the answer was that of another date.
bool real_dates(const Mm& x, const char* who)
{
    if (!iscomplex(x))
        return true;
    error("%s: dates must be real", who);
    return false;
}

// Element-wise over arguments of one size or one element: one typed loop,
// each argument read with a stride of 0 (one element) or 1.
template <class F>
Mm elementwise(const char* who, const std::vector<Mm>& args, F f)
{
    std::vector<Mm> v;
    const Mm* shape = nullptr;
    for (const Mm& a : args)
        if (!real_dates(a, who))
            return x_M;
    for (const Mm& a : args) {
        v.push_back(numbers(a));
        if (v.back().gettype() != qv_double || v.back().size() != a.size())
            return x_M;  // not numbers, or refused memory (reported)
        if (v.back().size() != 1) {
            if (shape && shape->size() != v.back().size()) {
                error("%s: incompatible dimensions of: %s, %s", who, "arguments", "arguments");
                return x_M;
            }
            if (!shape)
                shape = &a;
        }
    }
    const int n = shape ? shape->size() : 1;
    Mm out = shape ? Mm(0, 0, 0, shape->getndims(), shape->getdims(), qv_double) : Mm(0.0);
    if (out.size() != n)
        return x_M;  // refused memory, reported
    const double* p[6] = {};
    std::ptrdiff_t step[6] = {};
    for (std::size_t a = 0; a < v.size() && a < 6; ++a) {
        p[a] = v[a].addr();
        step[a] = v[a].size() == 1 ? 0 : 1;
    }
    double* o = out.addr();
    for (int k = 0; k < n; ++k)
        o[k] = f(p[0][k * step[0]], p[1][k * step[1]], p[2][k * step[2]], p[3][k * step[3]], p[4][k * step[4]],
                 p[5][k * step[5]]);
    return out;
}

double clock_now(date_vector& v)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t{};
    localtime_r(&ts.tv_sec, &t);
    v = {double(t.tm_year + 1900), double(t.tm_mon + 1), double(t.tm_mday), double(t.tm_hour), double(t.tm_min),
         t.tm_sec + std::floor(ts.tv_nsec / 1e6) * 0.001};
    return 0;
}

double current_century()
{
    date_vector now;
    clock_now(now);
    return 100 * std::floor(now[0] / 100);
}

double number_of(const std::string& text)
{
    const char* p = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    return end == p ? 0 : v;
}

// strtok: skips leading delimiters, takes the run up to the next one; rest
// starts at that delimiter.
std::string next_token(std::string& rest, const char* delims)
{
    const std::size_t start = rest.find_first_not_of(delims);
    if (start == std::string::npos) {
        rest.clear();
        return "";
    }
    const std::size_t end = rest.find_first_of(delims, start);
    std::string token = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    rest = end == std::string::npos ? "" : rest.substr(end);
    return token;
}

bool same_letters(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
            return false;
    return true;
}

date_vector parse_date_row(std::string text)
{
    date_vector v = {0, 0, 0, 0, 0, 0};
    const std::size_t pm = text.find(" PM");
    if (pm != std::string::npos)
        text.erase(pm);
    std::string rest = text;
    std::string date_part = next_token(rest, " ");
    std::string time_part = rest;
    if (time_part.find_first_not_of(' ') == std::string::npos && date_part.find(':') != std::string::npos) {
        time_part = date_part;
        date_part.clear();
    }
    if (time_part.find_first_not_of(' ') != std::string::npos) {
        std::string t = time_part;
        v[3] = number_of(next_token(t, ":"));
        v[4] = number_of(next_token(t, ":"));
        if (!t.empty())
            v[5] = number_of(t.substr(1));
        // Afternoon: 12 more for the hours 1 to 11; 12 PM is noon.
        if (pm != std::string::npos && v[3] < 12)
            v[3] += 12;
    }
    if (date_part.size() >= 9) {
        std::string d = date_part;
        v[2] = number_of(next_token(d, "-/"));
        const std::string month = next_token(d, "-/");
        int found = 0;
        for (int k = 0; k < 12 && !found; ++k)
            if (same_letters(month, month_names[k]))
                found = k + 1;
        if (!found) {
            Mm names = cell(Mm(1.0), Mm(12.0));
            for (int k = 0; k < 12 && names.gettype() == qv_cell; ++k)
                names.mr(k + 1) = TM(month_names[k]);
            disp(names);
            disp(TM(month.c_str()));
            error("datevec: unknown month");
            return v;
        }
        v[1] = found;
        v[0] = d.empty() ? 0 : number_of(d.substr(1));
        if (v[0] < 100)
            v[0] += current_century();
    } else if (!date_part.empty()) {
        std::string d = date_part;
        v[1] = number_of(next_token(d, "-/"));
        v[2] = number_of(next_token(d, "-/"));
        date_vector now;
        clock_now(now);
        v[0] = now[0];
        if (!d.empty())
            v[0] = number_of(d.substr(1)) + current_century();
    }
    return v;
}

// The rows of a text (a char matrix) as strings; false after who's message
// when a code is no character at all (NaN, infinite or beyond any code).
bool text_rows(const Mm& text, const char* who, std::vector<std::string>& rows)
{
    const int r = text.rows(), c = text.size() > 0 ? text.size() / text.rows() : 0;
    Mm t = numbers(text);
    if (t.size() != text.size())
        return false;  // refused memory, reported
    for (int k = 0; k < t.size(); ++k) {
        const double code = t.addr()[k];
        if (!(code > -2147483649.0 && code < 2147483648.0)) {
            error("%s: the date text holds a code that is no character", who);
            return false;
        }
    }
    for (int i = 0; i < r; ++i) {
        std::string row;
        for (int j = 0; j < c; ++j)
            row += static_cast<char>(static_cast<int>(t.addr()[i + j * r]));
        rows.push_back(row);
    }
    return true;
}

// The dates of the text's rows; false after a message.
bool dates_of_text(const Mm& text, const char* who, std::vector<date_vector>& out)
{
    std::vector<std::string> rows;
    if (!text_rows(text, who, rows))
        return false;
    for (const std::string& row : rows)
        out.push_back(parse_date_row(row));
    return true;
}

std::vector<date_vector> dates_of_numbers(const Mm& d)
{
    const Mm v = numbers(d);
    std::vector<date_vector> out;
    if (v.gettype() != qv_double)
        return out;
    for (int k = 0; k < v.size(); ++k)
        out.push_back(date_of(v.addr()[k]));
    return out;
}

Mm columns_of(const std::vector<date_vector>& dates)
{
    const int n = static_cast<int>(dates.size());
    Mm out(0, 0, 0, n, 6, qv_double);
    if (out.size() != 6 * n)
        return out;  // "Out of memory!" went to a hook that returned
    for (int k = 0; k < n; ++k)
        for (int c = 0; c < 6; ++c)
            out.addr()[k + c * n] = dates[static_cast<std::size_t>(k)][static_cast<std::size_t>(c)];
    return out;
}

// Field c of each date, shaped like d (a column for text).
Mm field_of(const std::vector<date_vector>& dates, int c, const Mm& d)
{
    const bool text = isstr(d);
    Mm out = text || d.size() != static_cast<int>(dates.size())
                 ? Mm(0, 0, 0, static_cast<int>(dates.size()), 1, qv_double)
                 : Mm(0, 0, 0, d.getndims(), d.getdims(), qv_double);
    if (out.size() != static_cast<int>(dates.size()))
        return out;  // "Out of memory!" went to a hook that returned
    for (std::size_t k = 0; k < dates.size(); ++k)
        out.addr()[k] = dates[k][static_cast<std::size_t>(c)];
    return out;
}

// The dates of text or day numbers; false after a message (the outputs
// then stay as they were).
bool dates_of(const Mm& d, const char* who, std::vector<date_vector>& out)
{
    if (isstr(d))
        return dates_of_text(d, who, out);
    if (!real_dates(d, who))
        return false;
    out = dates_of_numbers(d);
    return true;
}

void assign_fields(const Mm& d, Mm* outs[], int n)
{
    std::vector<date_vector> dates;
    if (!dates_of(d, "datevec", dates))
        return;
    for (int c = 0; c < n; ++c)
        *outs[c] = field_of(dates, c, d);
}

// Day numbers of the rows of a date-vector matrix.
Mm day_numbers_of_rows(const Mm& t)
{
    if (t.size() < 6 || t.cols() < 6)
        return Mm(t(Mm(6.0)));  // what indexing a too-short vector gives
    const Mm v = numbers(t);
    const int rows = v.rows();
    Mm out(0, 0, 0, rows, 1, qv_double);
    if (out.size() != rows || v.size() < 6 * rows)
        return out;  // "Out of memory!" went to a hook that returned
    for (int r = 0; r < rows; ++r) {
        const double* p = v.addr() + r;
        out.addr()[r] = day_number(p[0], p[rows], p[2 * rows], p[3 * rows], p[4 * rows], p[5 * rows]);
    }
    return out;
}

// Day numbers of the rows of a date text; false after a message.
bool day_numbers_of_text(const Mm& d, const char* who, Mm& result)
{
    std::vector<date_vector> dates;
    if (!dates_of_text(d, who, dates))
        return false;
    Mm out(0, 0, 0, static_cast<int>(dates.size()), 1, qv_double);
    if (out.size() != static_cast<int>(dates.size()))
        return false;  // "Out of memory!" went to a hook that returned
    for (std::size_t k = 0; k < dates.size(); ++k) {
        const date_vector& v = dates[k];
        out.addr()[k] = day_number(v[0], v[1], v[2], v[3], v[4], v[5]);
    }
    result = out;
    return true;
}

} // namespace

// ---- day numbers ----

Mm datenum(const Mm& d)
{
    Mm days;
    return !isstr(d) ? d : day_numbers_of_text(d, "datenum", days) ? days : x_M;
}

Mm datenum(const Mm&, const Mm&) { return Mm(error_input("datenum", 2)); }

Mm datenum(const Mm& y, const Mm& mo, const Mm& d)
{
    return datenum(y, mo, d, Mm(0.0), Mm(0.0), Mm(0.0));
}

Mm datenum(const Mm&, const Mm&, const Mm&, const Mm&) { return Mm(error_input("datenum", 4)); }
Mm datenum(const Mm&, const Mm&, const Mm&, const Mm&, const Mm&) { return Mm(error_input("datenum", 5)); }

Mm datenum(const Mm& y, const Mm& mo, const Mm& d, const Mm& h, const Mm& mi, const Mm& s)
{
    return elementwise("datenum", {y, mo, d, h, mi, s}, day_number);
}

// ---- date vectors ----

Mm datevec(const Mm& d)
{
    std::vector<date_vector> dates;
    return dates_of(d, "datevec", dates) ? columns_of(dates) : x_M;
}

Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month)
{
    Mm* outs[] = {&year, &month};
    assign_fields(d, outs, 2);
    return x_M;
}

Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day)
{
    Mm* outs[] = {&year, &month, &day};
    assign_fields(d, outs, 3);
    return x_M;
}

Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour)
{
    Mm* outs[] = {&year, &month, &day, &hour};
    assign_fields(d, outs, 4);
    return x_M;
}

Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour, Mm& minute)
{
    Mm* outs[] = {&year, &month, &day, &hour, &minute};
    assign_fields(d, outs, 5);
    return x_M;
}

Mm datevec(const Mm& d, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour, Mm& minute, Mm& seconds)
{
    Mm* outs[] = {&year, &month, &day, &hour, &minute, &seconds};
    assign_fields(d, outs, 6);
    return x_M;
}

Mm datevec_str(const Mm& text, i_o_t, Mm& year, Mm& month, Mm& day, Mm& hour, Mm& minute, Mm& seconds)
{
    Mm* outs[] = {&year, &month, &day, &hour, &minute, &seconds};
    std::vector<date_vector> dates;
    if (!dates_of_text(text, "datevec", dates))
        return x_M;
    for (int c = 0; c < 6; ++c)
        *outs[c] = field_of(dates, c, text);
    return x_M;
}

// ---- clock and elapsed time ----

Mm mclock()
{
    date_vector v;
    clock_now(v);
    Mm out(0, 0, 0, 1, 6, qv_double);
    if (out.size() != 6)
        return x_M;
    for (int c = 0; c < 6; ++c)
        out.addr()[c] = v[static_cast<std::size_t>(c)];
    return out;
}

Mm now()
{
    date_vector v;
    clock_now(v);
    return Mm(day_number(v[0], v[1], v[2], v[3], v[4], v[5]));
}

Mm date()
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%02d-%s-%04d", tm.tm_mday, month_names[tm.tm_mon % 12], tm.tm_year + 1900);
    return TM(text);
}

Mm etime(const Mm&) { return Mm(error_input("etime", 1)); }

namespace {

// The rows of date vectors as whole days and seconds of the day, kept
// apart: a day number of today's size holds a time only to about 10
// microseconds, a second count exactly. False when t is no N x 6 matrix
// (its indexing error raised).
bool days_and_seconds(const Mm& t, std::vector<double>& days, std::vector<double>& seconds)
{
    if (t.size() < 6 || t.cols() < 6) {
        day_numbers_of_rows(t);  // what indexing a too-short vector gives
        return false;
    }
    const Mm v = numbers(t);
    const int rows = v.rows();
    if (v.size() < 6 * rows)
        return false;
    days.resize(static_cast<std::size_t>(rows));
    seconds.resize(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        const double* p = v.addr() + r;
        days[static_cast<std::size_t>(r)] = date_day(p[0], p[rows], p[2 * rows]);
        seconds[static_cast<std::size_t>(r)] = p[5 * rows] + 60 * (p[4 * rows] + 60 * p[3 * rows]);
    }
    return true;
}

} // namespace

Mm etime(const Mm& t1, const Mm& t0)
{
    std::vector<double> days1, secs1, days0, secs0;
    if (!real_dates(t1, "etime") || !real_dates(t0, "etime"))
        return x_M;
    if (!days_and_seconds(t1, days1, secs1) || !days_and_seconds(t0, days0, secs0))
        return x_M;
    const std::size_t na = days1.size(), nb = days0.size();
    if (na != nb && na != 1 && nb != 1) {
        error("%s: incompatible dimensions of: %s, %s", "etime", matrix_display_name(t1), matrix_display_name(t0));
        return x_M;
    }
    const int n = static_cast<int>(na > nb ? na : nb);
    Mm out(0, 0, 0, n, 1, qv_double);
    if (out.size() != n)
        return x_M;
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
        const std::size_t a = na == 1 ? 0 : k, b = nb == 1 ? 0 : k;
        out.addr()[k] = 86400 * (days1[a] - days0[b]) + (secs1[a] - secs0[b]);
    }
    return out;
}

Mm tic()
{
    TICTOC = mclock();
    return x_M;
}

Mm toc() { return etime(mclock(), TICTOC); }

// ---- calendar ----

namespace {

// The 28th of the same month of the 4000-year cycle as month m of year y
// (months carried into years), on the same side of year 0, as a day number
// near year 0: its days can be counted one by one. y and m are whole; far
// beyond 2^53 their sum is not, so the place in the cycle is taken from
// each apart.
double same_month_near_year_0(double y, double m)
{
    if (m == 0)  // January, as day_number takes it
        m = 1;
    const double month = exact_mod(exact_mod(m, 12) - 1, 12);
    // The years m carries, modulo 4000: (m - 1 - month) / 12 of them.
    const double carried = exact_mod(exact_mod(m, 12 * cycle_years) - 1 - month, 12 * cycle_years) / 12;
    const double place = exact_mod(exact_mod(y, cycle_years) + carried, cycle_years);
    const double side = y + m / 12 > 0 ? 1 : -1;
    return day_number(place + side * near_cycles * cycle_years, month + 1, 28, 0, 0, 0);
}

} // namespace

Mm eomday(const Mm&) { return Mm(error_input("eomday", 1)); }

Mm eomday(const Mm& y, const Mm& m)
{
    if (!real_dates(y, "eomday") || !real_dates(m, "eomday"))
        return x_M;
    const Mm yy = numbers(y), mm = numbers(m);
    if (yy.gettype() != qv_double || mm.gettype() != qv_double)
        return x_M;
    const int n = yy.size() >= 2 ? yy.size() : (mm.size() >= 2 ? mm.size() : 1);
    if ((yy.size() != 1 && yy.size() != n) || (mm.size() != 1 && mm.size() != n)) {
        error("%s: incompatible dimensions of: %s, %s", "eomday", "y", "m");
        return x_M;
    }
    Mm out(0, 0, 0, 1, n, qv_double);
    if (out.size() != n)
        return x_M;
    for (int k = 0; k < n; ++k) {
        const double year = yy.size() == 1 ? *yy.addr() : yy.addr()[k];
        const double month = mm.size() == 1 ? *mm.addr() : mm.addr()[k];
        double t = day_number(year, month, 28, 0, 0, 0);
        if (!std::isfinite(t)) {
            out.addr()[k] = std::nan("");
            continue;
        }
        if (std::fabs(t) >= exact_days)
            t = same_month_near_year_0(year, month);
        // The month as the day number carries it (0 is January, 13 the
        // next year's January), then the days after its 28th while it
        // stays; at most three.
        const double within = date_of(t)[1];
        double day = 28;
        for (int step = 0; step < 4; ++step) {
            t += 1;
            day += 1;
            if (date_of(t)[1] != within)
                break;
        }
        out.addr()[k] = day - 1;
    }
    return out;
}

Mm weekday(const Mm& d)
{
    Mm n, s;
    weekday(d, i_o, n, s);
    return n;
}

Mm weekday(const Mm& d, i_o_t, Mm& number, Mm& name)
{
    Mm days;
    if (!isstr(d) && !real_dates(d, "weekday"))
        return x_M;
    if (!isstr(d))
        days = numbers(d);
    else if (!day_numbers_of_text(d, "weekday", days))
        return x_M;
    if (days.gettype() != qv_double)
        return x_M;
    const int n = days.size();
    number = Mm(0, 0, 0, days.getndims(), days.getdims(), qv_double);
    Mm names(0, 0, 0, n, 3, qv_double);
    if (number.size() != n || names.size() != 3 * n)
        return x_M;
    for (int k = 0; k < n; ++k) {
        // The day a number falls in is its floor, as for datevec: noon of
        // day -1 is day -1.
        double w = exact_mod(exact_mod(std::floor(days.addr()[k]), 7) - 1, 7);
        if (w == 0)
            w = 7;
        number.addr()[k] = w;
        const int row = w >= 1 && w <= 7 ? static_cast<int>(w) - 1 : 0;
        for (int c = 0; c < 3; ++c)
            names.addr()[k + c * n] = day_names[row][c];
    }
    names.setstr(1);
    name = names;
    return x_M;
}

// ---- the exports with nothing to measure ----

namespace {
Mm scalar_zero() { return Mm(0.0); }
} // namespace

Mm cputime() { return scalar_zero(); }
Mm flops() { return scalar_zero(); }
Mm flops(const Mm&) { return scalar_zero(); }
Mm isunix() { return scalar_zero(); }
Mm stdinM() { return scalar_zero(); }
Mm zeros() { return scalar_zero(); }
