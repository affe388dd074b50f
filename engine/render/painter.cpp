// The drawing vocabulary: colours and texts read from properties, limits
// and ticks of an axis, markers and dash patterns.
#include "painter.hpp"

#include "date_labels.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace vizmo::render::paint {

const Prop* prop(const Object& o, const char* name) { return find_prop(o, name); }

std::vector<double> numbers(const Object& o, const char* name)
{
    const Prop* p = prop(o, name);
    return p && !p->is_string ? p->data : std::vector<double>{};
}

int int_of(const Object& o, const char* name, int fallback)
{
    const double v = prop_number(o, name, fallback);
    return v > -2147483648.0 && v < 2147483648.0 ? static_cast<int>(v) : fallback;
}

std::string text_of(const Object& o, const char* name)
{
    const Prop* p = prop(o, name);
    return p && p->is_string ? prop_text(o, name) : std::string();
}

bool is_text(const Object& o)
{
    if (o.is_text)
        return true;
    const std::string chart = fold(prop_text(o, "ChartType"));
    return chart == "text" || chart == "text3";
}

// The rows of a character matrix, trailing blanks dropped.
std::vector<std::string> text_rows(const Prop& p)
{
    std::vector<std::string> rows;
    if (!p.is_string || p.data.empty())
        return rows;
    const int m = std::max(1, p.dims[0]);
    const std::size_t cols = p.data.size() / static_cast<std::size_t>(m);
    for (int i = 0; i < m; ++i) {
        std::string r;
        for (std::size_t j = 0; j < cols; ++j)
            r.push_back(code_byte(p.data[j * m + i]));
        r.erase(r.find_last_not_of(' ') + 1);
        rows.push_back(r);
    }
    return rows;
}

std::vector<std::string> text_lines(const Prop& p)
{
    std::vector<std::string> lines;
    for (const std::string& row : text_rows(p)) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = row.find('\n', start);
            std::string line = row.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    // Blank lines at the end take no room.
    while (!lines.empty() && lines.back().find_first_not_of(' ') == std::string::npos)
        lines.pop_back();
    return lines;
}

std::vector<std::string> label_of(const Object& ax, const char* name)
{
    const Prop* p = find_prop(ax, name);
    if (!p || p->data.empty())
        return {};
    if (p->is_string)
        return text_lines(*p);
    const Object* t = find(p->data[0]);
    const Prop* s = t ? find_prop(*t, "String") : nullptr;
    return s ? text_lines(*s) : std::vector<std::string>{};
}

std::vector<std::string> control_items(const Object& c)
{
    const Prop* p = find_prop(c, "String");
    std::vector<std::string> items = p ? text_lines(*p) : std::vector<std::string>{};
    if (items.size() != 1 || items[0].find('|') == std::string::npos)
        return items;
    const std::string one = items[0];
    items.clear();
    for (std::size_t start = 0;;) {
        const std::size_t bar = one.find('|', start);
        items.push_back(one.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return items;
}

bool colour_letter(char c, Rgb& out)
{
    const char* at = std::strchr(vizmo_colour_letters, c);
    if (!c || !at)
        return false;
    const double* rgb = vizmo_colour_rgb[at - vizmo_colour_letters];
    out = {rgb[0], rgb[1], rgb[2]};
    return true;
}

// A colour as a program may write it: a code -100..-107 for the letters of
// "ymcrgbwk", an RGB row, a letter or colour word, or R + 256 G + 65536 B.
bool colour(const Object& o, const char* name, Rgb& out)
{
    const Prop* p = prop(o, name);
    if (!p || p->data.empty())
        return false;
    if (p->is_string) {
        const std::string t = fold(prop_text(o, name));
        for (int k = 0; k < 8; ++k)
            if (t == vizmo_colour_words[k])
                return colour_letter(vizmo_colour_letters[k], out);
        return t.size() == 1 && colour_letter(t[0], out);
    }
    if (p->data.size() >= 3) {
        auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
        out = {unit(p->data[0]), unit(p->data[1]), unit(p->data[2])};
        return true;
    }
    const double v = p->data[0];
    if (v <= -100 && v >= -107 && v == std::floor(v))
        return colour_letter(vizmo_colour_letters[static_cast<int>(-100 - v)], out);
    if (v >= 0 && v < 16777216 && v == std::floor(v)) {
        const long c = static_cast<long>(v);
        out = {(c & 255) / 255.0, ((c >> 8) & 255) / 255.0, ((c >> 16) & 255) / 255.0};
        return true;
    }
    return false;
}

void set_colour(cairo_t* cr, const Rgb& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void fill_outlined(cairo_t* cr, const Rgb& face)
{
    set_colour(cr, face);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// The figure's colormap; gray when it holds none.
std::vector<Rgb> colormap(const Object& fig)
{
    std::vector<Rgb> map;
    if (const Prop* p = prop(fig, "ColorMap"); p && !p->is_string && p->dims[1] == 3 && p->dims[0] > 0) {
        const int m = p->dims[0];
        for (int k = 0; k < m; ++k) {
            auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
            map.push_back({unit(p->data[k]), unit(p->data[m + k]), unit(p->data[2 * m + k])});
        }
    }
    if (map.empty())
        for (int k = 0; k < 64; ++k)
            map.push_back({k / 63.0, k / 63.0, k / 63.0});
    return map;
}

// The row of the map that v takes between lo and hi.
int map_row(int m, double v, double lo, double hi)
{
    // +Inf is the top of the scale and -Inf its bottom; NaN takes the first row.
    if (!std::isfinite(v) || !(hi > lo))
        return !std::isnan(v) && v >= hi ? m - 1 : 0;
    // Halves first: limits of opposite sign near the largest double have a
    // span no double holds. The row is bounded before it becomes an int.
    const double t = std::floor((v / 2 - lo / 2) / (hi / 2 - lo / 2) * m);
    if (!(t > 0))
        return 0;
    return t >= m - 1 ? m - 1 : static_cast<int>(t);
}

std::vector<double> pie_sweeps(const std::vector<double>& values)
{
    // Each value over the largest first: a sum of values near the largest
    // double, or 2 pi times one of them, is no longer finite.
    double most = 0;
    for (double v : values)
        if (std::isfinite(v) && v > most)
            most = v;
    std::vector<double> sweep(values.size(), 0);
    if (!(most > 0))
        return sweep;
    double total = 0;
    for (double v : values)
        if (std::isfinite(v) && v > 0)
            total += v / most;
    for (std::size_t k = 0; k < values.size(); ++k)
        if (std::isfinite(values[k]) && values[k] > 0)
            sweep[k] = std::min(2 * M_PI, 2 * M_PI * (values[k] / most / total));
    return sweep;
}

const Rgb& map_scaled(const std::vector<Rgb>& map, double v, double lo, double hi)
{
    return map[static_cast<std::size_t>(map_row(static_cast<int>(map.size()), v, lo, hi))];
}

std::string utf8(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t k = 0; k < n;) {
        const unsigned char c = b[k];
        // The length of a well-formed sequence starting here, or 0.
        std::size_t len = 0;
        if (c < 0x80)
            len = 1;
        else if (c >= 0xC2 && c <= 0xDF)
            len = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            len = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            len = 4;
        bool ok = len > 0 && k + len <= n;
        for (std::size_t i = 1; ok && i < len; ++i)
            ok = (b[k + i] & 0xC0) == 0x80;
        if (ok && len == 3) {
            const unsigned c1 = b[k + 1];
            ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);  // overlong, surrogate
        }
        if (ok && len == 4) {
            const unsigned c1 = b[k + 1];
            ok = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
        }
        if (ok && c != 0) {
            out.append(s, k, len);
            k += len;
            continue;
        }
        if (c == 0) {
            out.push_back('?');
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        ++k;
    }
    return out;
}

namespace {

void use_font(cairo_t* cr, double size, Face face = {})
{
    cairo_select_font_face(cr, font, face.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           face.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

// A label of the form "10^n": the base and the raised exponent.
bool power_label(const std::string& s, std::string& base, std::string& exponent)
{
    if (s.rfind("10^", 0) != 0 || s.size() < 4)
        return false;
    base = "10";
    exponent = s.substr(3);
    return true;
}

} // namespace

double text_width(cairo_t* cr, const std::string& s, double size)
{
    if (s.empty())
        return 0;
    use_font(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, utf8(s).c_str(), &e);
    return e.x_advance;
}

Face face_of(const Object& o)
{
    const std::string angle = prop_text(o, "FontAngle");
    return {equal_folded(prop_text(o, "FontWeight"), "bold") || equal_folded(prop_text(o, "FontWeight"), "demi"),
            equal_folded(angle, "italic") || equal_folded(angle, "oblique")};
}

void show_text_object(cairo_t* cr, const Object& t, double x, double y)
{
    const Prop* text = prop(t, "String");
    if (!text)
        return;
    const std::string across = fold(prop_text(t, "HorizontalAlignment")), up = fold(prop_text(t, "VerticalAlignment"));
    const double ax = across == "center" || across == "centre" ? 0.5 : across == "right" ? 1 : 0;
    const double ay = up == "top" || up == "cap" ? 0 : up == "bottom" || up == "baseline" ? 1 : 0.5;
    const double turn = prop_number(t, "Rotation", 0);
    // Sizes a screen can show; any other keeps the usual one.
    const double size = prop_number(t, "FontSize", 10);
    show_lines(cr, text_lines(*text), x, y, size >= 1 && size <= 200 ? size : 10, ax, ay,
               std::isfinite(turn) ? -std::fmod(turn, 360) * M_PI / 180 : 0, face_of(t));
}

Label label_style(const Object& ax, const char* name, double size)
{
    Label l;
    l.lines = label_of(ax, name);
    l.size = size;
    const Prop* p = find_prop(ax, name);
    const Object* t = p && !p->is_string && !p->data.empty() ? find(p->data[0]) : nullptr;
    if (!t)
        return l;
    colour(*t, "Color", l.colour);
    // Sizes a screen can show; a written size past them keeps the usual one.
    if (const double s = prop_number(*t, "FontSize", size); s >= 1 && s <= 200)
        l.size = s;
    l.face = face_of(*t);
    return l;
}

void show_label_lines(cairo_t* cr, const Label& l, double x, double y, double ax, double ay, double angle)
{
    set_colour(cr, l.colour);
    show_lines(cr, l.lines, x, y, l.size, ax, ay, angle, l.face);
}

void show_text(cairo_t* cr, const std::string& text, double x, double y, double size, double ax, double ay,
               double angle, Face face)
{
    if (text.empty())
        return;
    const std::string s = utf8(text);
    use_font(cr, size, face);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, angle);
    cairo_move_to(cr, -e.x_bearing - ax * e.width, -e.y_bearing - ay * e.height);
    cairo_show_text(cr, s.c_str());
    cairo_restore(cr);
}

void show_lines(cairo_t* cr, const std::vector<std::string>& lines, double x, double y, double size, double ax,
                double ay, double angle, Face face)
{
    if (lines.size() <= 1) {
        if (!lines.empty())
            show_text(cr, lines[0], x, y, size, ax, ay, angle, face);
        return;
    }
    use_font(cr, size, face);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    const double block = fe.ascent + fe.descent + static_cast<double>(lines.size() - 1) * fe.height;
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, angle);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (lines[k].empty())
            continue;
        const std::string s = utf8(lines[k]);
        cairo_text_extents_t e;
        cairo_text_extents(cr, s.c_str(), &e);
        cairo_move_to(cr, -e.x_bearing - ax * e.width, -ay * block + fe.ascent + static_cast<double>(k) * fe.height);
        cairo_show_text(cr, s.c_str());
    }
    cairo_restore(cr);
}

double lines_extra(cairo_t* cr, std::size_t lines, double size)
{
    if (lines <= 1)
        return 0;
    use_font(cr, size);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    return static_cast<double>(lines - 1) * fe.height;
}

double label_width(cairo_t* cr, const std::string& s, double size)
{
    std::string base, exponent;
    if (power_label(s, base, exponent))
        return text_width(cr, base, size) + text_width(cr, exponent, 0.75 * size);
    return text_width(cr, s, size);
}

void show_label(cairo_t* cr, const std::string& s, double x, double y, double size, double ax, double ay)
{
    std::string base, exponent;
    if (!power_label(s, base, exponent)) {
        show_text(cr, s, x, y, size, ax, ay);
        return;
    }
    // The pair is placed as one text: the digits' box, widened by the
    // exponent, which sits raised by half the digits' height.
    const double wb = text_width(cr, base, size), we = text_width(cr, exponent, 0.75 * size);
    const double h = 0.73 * size;  // the height of the digits
    const double left = x - ax * (wb + we), top = y - ay * (h + 0.35 * size);
    show_text(cr, base, left, top + 0.35 * size, size, 0, 0);
    show_text(cr, exponent, left + wb, top, 0.75 * size, 0, 0);
}

std::vector<bool> thinned(cairo_t* cr, const std::vector<std::string>& labels, const std::vector<double>& at,
                          const std::vector<double>& ticks, bool side_by_side, double size)
{
    const std::size_t n = labels.size();
    std::vector<bool> shown(n, true);
    if (n < 2 || at.size() != n)
        return shown;
    // Side by side a label takes its width, one above another the height of
    // its line; neighbours keep a gap of the font size between them.
    std::vector<double> extent(n);
    for (std::size_t k = 0; k < n; ++k)
        extent[k] = side_by_side ? label_width(cr, labels[k], size) : (labels[k].empty() ? 0 : 1.0 * size);
    // Counted from the tick at 0 when there is one, so 0 keeps its label.
    std::size_t anchor = 0;
    for (std::size_t k = 0; k < n && k < ticks.size(); ++k)
        if (ticks[k] == 0)
            anchor = k;
    for (std::size_t stride = 1; stride <= n; ++stride) {
        bool clear = true;
        double last_at = 0, last_extent = -1;
        for (std::size_t k = anchor % stride; k < n && clear; k += stride) {
            if (labels[k].empty())
                continue;
            if (last_extent >= 0)
                clear = std::fabs(at[k] - last_at) >= (extent[k] + last_extent) / 2 + size;
            last_at = at[k];
            last_extent = extent[k];
        }
        if (!clear)
            continue;
        for (std::size_t k = 0; k < n; ++k)
            shown[k] = (k + stride - anchor % stride) % stride == 0;
        return shown;
    }
    return shown;
}

bool limits_written(const Object& ax, const char* axis)
{
    const std::string lim = std::string(axis) + "Lim", mode = lim + "Mode";
    for (auto it = ax.writes.rbegin(); it != ax.writes.rend(); ++it) {
        if (equal_folded(*it, lim))
            return true;
        if (equal_folded(*it, mode))
            return !equal_folded(prop_text(ax, mode), "auto");
    }
    return true;
}

// Limits a program wrote win unless it switched the mode back to "auto"
// after writing them.
bool manual_limits(const Object& ax, const char* axis, double& lo, double& hi)
{
    const std::vector<double> v = numbers(ax, (std::string(axis) + "Lim").c_str());
    if (v.size() < 2 || !std::isfinite(v[0]) || !std::isfinite(v[1]) || v[0] == v[1])
        return false;
    if (!limits_written(ax, axis))
        return false;
    lo = v[0];
    hi = v[1];
    return true;
}

void nice_limits(double& lo, double& hi, bool log)
{
    if (!(lo <= hi)) {
        lo = log ? 1 : 0;
        hi = log ? 10 : 1;
        return;
    }
    if (log) {
        // Whole decades about the data, those past the doubles left at the
        // data's own ends (10^-324 is 0, 10^309 infinite).
        const double down = std::pow(10, std::floor(std::log10(lo))), up = std::pow(10, std::ceil(std::log10(hi)));
        if (down > 0)
            lo = down;
        if (std::isfinite(up))
            hi = up;
        if (lo == hi)
            hi = std::isfinite(lo * 10) ? lo * 10 : hi;
        if (lo == hi)
            lo = hi / 10;
        return;
    }
    if (lo == hi) {
        // One unit about a single value, or an eighth of it where a unit
        // is lost in its rounding; not past the doubles.
        const double d = lo - 1 == lo ? std::fabs(lo) / 8 : 1;
        lo = std::max(lo - d, -std::numeric_limits<double>::max());
        hi = std::min(hi + d, std::numeric_limits<double>::max());
        return;
    }
    // The span over 2: data near both ends of the doubles span more than
    // a double holds.
    const double half = hi / 2 - lo / 2;
    const double step = std::pow(10, std::floor(std::log10(half / 2.5)));
    const double s = half / step > 12.5 ? 5 * step : half / step > 5 ? 2 * step : step;
    const double nice_lo = std::floor(lo / s + 1e-9) * s, nice_hi = std::ceil(hi / s - 1e-9) * s;
    if (std::isfinite(nice_lo))
        lo = nice_lo;
    if (std::isfinite(nice_hi))
        hi = nice_hi;
}

void positive_limits(double& lo, double& hi, double auto_lo, double auto_hi)
{
    constexpr double least = std::numeric_limits<double>::denorm_min(), most = std::numeric_limits<double>::max();
    auto fine = [](double v) { return std::isfinite(v) && v > 0; };
    if (!fine(hi))
        hi = fine(auto_hi) && !(auto_hi <= lo) ? auto_hi : most;
    if (!fine(lo))
        lo = fine(auto_lo) && auto_lo < hi ? auto_lo : std::max(hi / 10, least);
    if (!(lo < hi)) {
        if (hi < most)
            hi = std::min(lo * 10, most);
        else
            lo = hi / 10;
    }
}

std::vector<double> ticks(const Scale& s)
{
    double a = std::min(s.lo, s.hi), b = std::max(s.lo, s.hi);
    std::vector<double> t;
    const double room = std::fabs(s.p1 - s.p0);
    if (s.log) {
        // The decades, every 1, 2, 5, 10, 20, 50... of them so that about
        // one lies in 40 pixels, at most ten: 30 decades show every 5th,
        // 600 every 100th. Counted from 10^0 so that it keeps its tick.
        const double first = std::ceil(std::log10(a) - 1e-9), last = std::floor(std::log10(b) + 1e-9);
        if (!(std::isfinite(first) && std::isfinite(last)))
            return t;
        if (last >= first) {
            const double most = std::clamp(std::floor(room / 40), 2.0, 10.0);
            auto count = [&](double step) { return std::floor(last / step) - std::ceil(first / step) + 1; };
            // The finest step within the count; should it leave a single
            // decade, the one before it (thinned when drawn).
            double step = 1, finer = 1;
            for (double mag = 1; count(step) > most && mag < 1e4; mag *= 10)
                for (double f : {2.0, 5.0, 10.0}) {
                    finer = step;
                    step = f * mag;
                    if (count(step) <= most)
                        break;
                }
            if (count(step) < 2)
                step = finer;
            for (double e = std::ceil(first / step) * step; e <= last && t.size() < 1000; e += step)
                t.push_back(std::pow(10, e));
        }
        if (t.size() >= 2)
            return t;
        // Less than two decades in sight: round steps as on a linear axis,
        // those above 0.
        Scale lin = s;
        lin.log = false;
        t.clear();
        for (double v : ticks(lin))
            if (v > 0)
                t.push_back(v);
        return t;
    }
    // About one tick per 50 pixels, at most six steps.
    const double parts = std::clamp(std::floor(room / 50), 1.0, 6.0);
    double step;
    if (const double raw = (b - a) / parts; std::isfinite(raw)) {
        const double mag = std::pow(10, std::floor(std::log10(raw)));
        step = raw / mag >= 5 ? 5 * mag : raw / mag >= 2 ? 2 * mag : mag;
    } else {
        // A span no double holds: steps of its order, found from its half.
        const double half = (b / 2 - a / 2) / parts;
        const double mag = std::pow(10, std::floor(std::log10(half)));
        step = half / mag >= 5 ? 10 * mag : half / mag >= 2.5 ? 5 * mag : 2 * mag;
    }
    if (!std::isfinite(step) || !(step > 0))
        return t;
    // Each tick from its index: a sum of steps drifts, and near the largest
    // double a step past the last one is no longer finite.
    const double first = std::ceil(a / step - 1e-9);
    for (double k = 0; t.size() < 50; ++k) {
        const double v = (first + k) * step;
        if (!(v <= b + step * 1e-9))
            break;
        t.push_back(std::fabs(v) < step * 1e-9 ? 0 : v);
    }
    return t;
}

// Ticks a program wrote win over the chosen ones; an empty "XTick" (as a
// colour bar writes) means none.
std::vector<double> ticks_of(const Object& ax, const std::string& name, const Scale& s)
{
    const Prop* p = find_prop(ax, name);
    if (!p || p->is_string) {
        // A date axis ticks on calendar boundaries: days, month starts, years.
        const std::string date_name = std::string(1, static_cast<char>(std::tolower(name[0]))) + "Date";
        if (const Prop* date = find_prop(ax, date_name); date && date->is_string && !s.log) {
            const double room = std::fabs(s.p1 - s.p0);
            std::vector<double> t = date_ticks(s.lo, s.hi, static_cast<int>(std::clamp(std::floor(room / 60), 2.0, 8.0)));
            if (t.size() >= 2)
                return t;
        }
        return ticks(s);
    }
    std::vector<double> t;
    for (double v : p->data)
        if (std::isfinite(s.value(v)) && v >= s.lo && v <= s.hi && t.size() < 100)
            t.push_back(v);
    return t;
}

std::vector<std::string> axis_tick_labels(const Object& ax, const std::vector<double>& t, const char* date_name,
                                          bool log)
{
    const Prop* date = find_prop(ax, date_name);
    if (!(date && date->is_string))
        return log ? log_tick_labels(t) : tick_labels(t);
    const std::string format = prop_text(ax, date_name);
    std::vector<std::string> out;
    out.reserve(t.size());
    for (double v : t)
        out.push_back(date_label(v, format));
    return out;
}

void dash(cairo_t* cr, int style, double w)
{
    static const double dotted[] = {1, 3}, dashdot[] = {6, 3, 1, 3}, dashed[] = {6, 4};
    switch (style) {
    case 1: {
        const double d[] = {dotted[0] * w, dotted[1] * w};
        cairo_set_dash(cr, d, 2, 0);
        break;
    }
    case 2: {
        const double d[] = {dashdot[0] * w, dashdot[1] * w, dashdot[2] * w, dashdot[3] * w};
        cairo_set_dash(cr, d, 4, 0);
        break;
    }
    case 3: {
        const double d[] = {dashed[0] * w, dashed[1] * w};
        cairo_set_dash(cr, d, 2, 0);
        break;
    }
    default:
        cairo_set_dash(cr, nullptr, 0, 0);
    }
}

int marker_pen(cairo_t* cr, const Object& s, const std::string& chart, int mark, const Rgb& line)
{
    const int shown = chart == "stem" && mark < 0 ? 1 : mark;
    if (shown < 0 || shown > 12)
        return -1;
    Rgb mc = line;
    colour(s, "MarkerColor", mc);
    set_colour(cr, mc);
    cairo_set_line_width(cr, 1);
    return shown;
}

void marker(cairo_t* cr, int m, double x, double y, double s)
{
    const double r = s / 2;
    switch (m) {
    case 0:  // .
        cairo_arc(cr, x, y, std::max(1.0, r / 3), 0, 2 * M_PI);
        cairo_fill(cr);
        return;
    case 1:  // o
        cairo_new_sub_path(cr);
        cairo_arc(cr, x, y, r, 0, 2 * M_PI);
        break;
    case 2:  // x
        cairo_move_to(cr, x - r, y - r);
        cairo_line_to(cr, x + r, y + r);
        cairo_move_to(cr, x - r, y + r);
        cairo_line_to(cr, x + r, y - r);
        break;
    case 3:  // +
        cairo_move_to(cr, x - r, y);
        cairo_line_to(cr, x + r, y);
        cairo_move_to(cr, x, y - r);
        cairo_line_to(cr, x, y + r);
        break;
    case 4:  // *
        for (int k = 0; k < 3; ++k) {
            const double a = k * M_PI / 3;
            cairo_move_to(cr, x - r * std::cos(a), y - r * std::sin(a));
            cairo_line_to(cr, x + r * std::cos(a), y + r * std::sin(a));
        }
        break;
    case 5:  // s
        cairo_rectangle(cr, x - r, y - r, 2 * r, 2 * r);
        break;
    case 6:  // d
        cairo_move_to(cr, x, y - r);
        cairo_line_to(cr, x + r, y);
        cairo_line_to(cr, x, y + r);
        cairo_line_to(cr, x - r, y);
        cairo_close_path(cr);
        break;
    case 7:   // ^
    case 8:   // v
    case 9:   // >
    case 10: {  // <
        static const double turn[] = {-M_PI / 2, M_PI / 2, 0, M_PI};
        const double a = turn[m - 7];
        for (int k = 0; k < 3; ++k) {
            const double t = a + k * 2 * M_PI / 3;
            if (k == 0)
                cairo_move_to(cr, x + r * std::cos(t), y + r * std::sin(t));
            else
                cairo_line_to(cr, x + r * std::cos(t), y + r * std::sin(t));
        }
        cairo_close_path(cr);
        break;
    }
    case 11:  // p: pentagram
    case 12: {  // h: hexagram
        const int points = m == 11 ? 5 : 6;
        for (int k = 0; k < 2 * points; ++k) {
            const double t = -M_PI / 2 + k * M_PI / points, rr = k % 2 ? r * 0.45 : r;
            if (k == 0)
                cairo_move_to(cr, x + rr * std::cos(t), y + rr * std::sin(t));
            else
                cairo_line_to(cr, x + rr * std::cos(t), y + rr * std::sin(t));
        }
        cairo_close_path(cr);
        break;
    }
    default:
        return;
    }
    cairo_stroke(cr);
}

} // namespace vizmo::render::paint
