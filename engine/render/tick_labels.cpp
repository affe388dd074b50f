// The text of an axis' tick labels: plain numbers with as many digits as
// tell the ticks apart. Apart from the painter so it is built without cairo.
#include "tick_labels.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vizmo::render::paint {

namespace {

// Drops the zeros that end a fraction (and a bare point); "-0" is "0".
std::string trimmed(std::string s)
{
    const std::size_t e = s.find_first_of("eE");
    std::string mantissa = s.substr(0, e), exponent = e == std::string::npos ? "" : s.substr(e);
    if (mantissa.find('.') != std::string::npos) {
        mantissa.erase(mantissa.find_last_not_of('0') + 1);
        if (!mantissa.empty() && mantissa.back() == '.')
            mantissa.pop_back();
    }
    s = mantissa + exponent;
    if (s == "-0")
        s = "0";
    return s;
}

std::string formatted(double v, bool exponent, int digits)
{
    if (v == 0)
        return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, exponent ? "%.*e" : "%.*f", digits, v);
    return trimmed(buf);
}

} // namespace

std::vector<std::string> tick_labels(const std::vector<double>& t)
{
    std::vector<std::string> out(t.size());
    if (t.empty())
        return out;
    double largest = 0, step = INFINITY;
    for (std::size_t k = 0; k < t.size(); ++k) {
        if (std::isfinite(t[k]))
            largest = std::max(largest, std::fabs(t[k]));
        if (k > 0 && std::isfinite(t[k]) && std::isfinite(t[k - 1]) && t[k] != t[k - 1])
            step = std::min(step, std::fabs(t[k] / 2 - t[k - 1] / 2) * 2);
    }
    if (!std::isfinite(step))
        step = largest > 0 ? largest : 1;
    const bool exponent = !(largest == 0 || (largest >= 1e-4 && largest < 1e7));
    const double tolerance = step / 50;
    for (int digits = 0; digits <= 17; ++digits) {
        bool fits = true;
        for (std::size_t k = 0; k < t.size(); ++k) {
            if (!std::isfinite(t[k])) {
                out[k] = std::isnan(t[k]) ? "NaN" : t[k] > 0 ? "Inf" : "-Inf";
                continue;
            }
            out[k] = formatted(t[k], exponent, digits);
            const double back = std::strtod(out[k].c_str(), nullptr);
            fits = fits && std::fabs(back - t[k]) <= tolerance && (k == 0 || out[k] != out[k - 1]);
        }
        if (fits)
            break;
    }
    return out;
}

std::vector<std::string> log_tick_labels(const std::vector<double>& t)
{
    bool decades = !t.empty();
    int lo = 0, hi = 0;
    for (std::size_t k = 0; k < t.size() && decades; ++k) {
        const double e = std::log10(t[k]);
        decades = std::isfinite(e) && std::fabs(e - std::round(e)) < 1e-9;
        const int n = decades ? static_cast<int>(std::lround(e)) : 0;
        lo = k ? std::min(lo, n) : n;
        hi = k ? std::max(hi, n) : n;
    }
    if (!decades)
        return tick_labels(t);
    std::vector<std::string> out;
    out.reserve(t.size());
    // Each decade is a step of its own: labelled alone, to its own precision.
    for (double v : t)
        out.push_back(lo >= -3 && hi <= 4 ? tick_labels({v})[0] : "10^" + std::to_string(std::lround(std::log10(v))));
    return out;
}

} // namespace vizmo::render::paint
