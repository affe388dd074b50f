// The interval search and the method letter shared by interp1, interp2,
// interp3 and griddata.
#pragma once

#include "velkor/value.h"

#include <cmath>
#include <cstdint>

// The interval of knots (1-based: knots[1] .. knots[n], stored at k[0] ..
// k[n-1]) that brackets t, by bisection on increasing or decreasing knots
// (n >= 2). 1 <= lo <= n - 1: t lies between knots lo and hi = lo + 1; lo
// = 0 before the first knot, lo = n beyond the last; both end knots are
// inside. A NaN query lands in interval 1 (increasing) or n - 1.
inline void interval_bracket(double t, const double* k, int n, int& lo, int& hi) noexcept
{
    lo = 0;
    hi = n + 1;
    const bool increasing = k[0] < k[1];
    // On increasing knots the bisection finds the number of knots below t;
    // a guess from evenly spread knots, checked against its neighbours,
    // finds the same interval in a few comparisons on regular grids.
    if (increasing) {
        const double guess = (t - k[0]) / (k[n - 1] - k[0]) * (n - 1) + 1;
        if (guess >= 1 && guess < n) {
            const int g = static_cast<int>(guess);
            if (t > k[g - 1] && !(t > k[g])) {
                lo = g;
                hi = g + 1;
                return;
            }
        }
    }
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        // written so that NaN is "not greater" and "less"
        if (increasing ? t > k[mid - 1] : !(t >= k[mid - 1]))
            lo = mid;
        else
            hi = mid;
    }
    // NaN counts as equal here
    auto same = [](double a, double b) { return !(a < b) && !(a > b); };
    if (lo == 0 && same(t, k[0]))
        lo = 1, hi = 2;
    else if (lo == n && same(t, k[n - 1]))
        lo = n - 1, hi = n;
}

// The fraction (t - a) / (b - a) of the way from knot a to knot b. Where a
// difference of finite values passes the largest double (knots near
// -+1e308) the halves are taken first: halving is exact, the quotient the
// same.
inline double knot_fraction(double t, double a, double b) noexcept
{
    const double u = t - a, d = b - a;
    if (std::isfinite(u) && std::isfinite(d)) [[likely]]
        return u / d;
    return (0.5 * t - 0.5 * a) / (0.5 * b - 0.5 * a);
}

// One axis of knots prepared for many queries: the same intervals as
// interval_bracket and the same fractions (t - knot lo) / (knot hi - knot lo),
// at a lower cost per query. On strictly increasing knots a verified guess
// is the only interval that can hold t, so the guess may come from a
// product instead of a quotient; on evenly spaced knots whose step is a
// power of two the quotient is a product by the exact reciprocal, which
// gives the same bits.
struct knot_axis {
    const double* k;
    int n;
    bool increasing = false;  // strictly, knot after knot
    double guess_scale = 0;
    double step_inverse = 0;  // 0 when the steps are not one power of two

    knot_axis(const double* knots, int count) : k(knots), n(count)
    {
        increasing = true;
        for (int j = 0; j + 1 < n && increasing; ++j)
            increasing = k[j] < k[j + 1];
        if (!increasing)
            return;
        guess_scale = (n - 1) / (k[n - 1] - k[0]);
        const double h = k[1] - k[0];
        int e = 0;
        if (std::frexp(h, &e) != 0.5 || !std::isnormal(1 / h))
            return;
        for (int j = 1; j + 1 < n; ++j)
            if (k[j + 1] - k[j] != h)
                return;
        step_inverse = 1 / h;
    }

    // The guess is the common case and is inlined into the caller's loop;
    // a missed guess takes the full search out of line.
    [[gnu::always_inline]] void bracket(double t, int& lo, int& hi) const noexcept
    {
        if (increasing) {
            const double guess = (t - k[0]) * guess_scale + 1;
            if (guess >= 1 && guess < n) {
                const int g = static_cast<int>(guess);
                if (t > k[g - 1] && !(t > k[g])) {
                    lo = g;
                    hi = g + 1;
                    return;
                }
            }
        }
        search(t, lo, hi);
    }

    [[gnu::noinline]] void search(double t, int& lo, int& hi) const noexcept { interval_bracket(t, k, n, lo, hi); }

    double fraction(double t, int lo, int hi) const noexcept
    {
        return step_inverse != 0 ? (t - k[lo - 1]) * step_inverse : knot_fraction(t, k[lo - 1], k[hi - 1]);
    }
};

// The point at fraction f (0 <= f <= 1) of the way from y0 to y1:
// y0 + f (y1 - y0) whenever that is finite. Otherwise a knot (f = 0 or 1)
// gives its own value, whatever the other end holds; strictly between an
// infinite end and a finite one the line tends to that infinity, as it does
// between equal infinities, where the formula would make Inf - Inf or 0 Inf
// of it; two finite ends whose difference overflows blend without it;
// opposite infinities, a NaN end and a NaN fraction give NaN.
[[gnu::noinline, gnu::cold]] inline double blend_nonfinite(double y0, double y1, double f) noexcept
{
    if (f != f)
        return NAN;
    if (f == 0)
        return y0;
    if (f == 1)
        return y1;
    if (y0 != y0 || y1 != y1)
        return NAN;
    const bool inf0 = std::isinf(y0), inf1 = std::isinf(y1);
    if (!inf0 && !inf1)
        return y0 * (1 - f) + y1 * f;
    if (y0 == y1)
        return y0;
    if (inf0 != inf1)
        return inf0 ? y0 : y1;
    return NAN;
}

inline double blend(double y0, double y1, double f) noexcept
{
    const double v = y0 + f * (y1 - y0);
    if (!std::isfinite(v)) [[unlikely]]
        return blend_nonfinite(y0, y1, f);
    return v;
}

// Whether every line between neighbours of y (n values, `stride` apart)
// stays finite, so that blend is the plain formula on them.
inline bool finite_lines(const double* y, int n, std::int64_t stride = 1) noexcept
{
    for (int k = 0; k < n; ++k)
        if (!std::isfinite(y[k * stride]) || (k > 0 && !std::isfinite(y[k * stride] - y[(k - 1) * stride])))
            return false;
    return true;
}

// The nearer of knots lo and hi to t: the upper (hi) at the half-way point
// of increasing knots, the larger abscissa (lo) of decreasing ones. The two
// distances are compared, each exact for a query near its knots (a sum of
// the knots rounds far from the origin), from halves where they overflow.
inline int nearest_knot(double t, const double* k, int lo, int hi) noexcept
{
    const double a = k[lo - 1], b = k[hi - 1];
    double to_a = std::fabs(t - a), to_b = std::fabs(b - t);
    if (!std::isfinite(to_a) || !std::isfinite(to_b)) {
        to_a = std::fabs(0.5 * t - 0.5 * a);
        to_b = std::fabs(0.5 * b - 0.5 * t);
    }
    if (a < b)
        return to_a < to_b ? lo : hi;
    return to_a <= to_b ? lo : hi;
}

// The method letter: one '*' and a leading "bi" skipped; 'l' linear, 'n'
// nearest, anything else the spline.
char interp_method_letter(const Mm& method);

// The letter of an explicit method argument; a method that is not text
// raises "<name>: method must be a string" and gives 0.
char checked_method_letter(const Mm& method, const char* name);
