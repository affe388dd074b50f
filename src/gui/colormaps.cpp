// Colormap generators: m x 3 maps of red, green and blue in [0, 1], computed
// row by row from their formulas. Each generator keeps its own reading of
// the length: a rounded count, or the value itself in its arithmetic.
#include "velkor/array.h"
#include "velkor/engine.h"
#include "velkor/gui.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <vector>

namespace {

constexpr double default_length = 64;

// The first element of m, NaN when there is none.
double first(const Mm& m)
{
    if (m.size() <= 0)
        return NAN;
    if (m.gettype() == qv_uint8)
        return *m.getpr(static_cast<unsigned char*>(nullptr), 1);
    if (m.gettype() != qv_double)
        return NAN;
    return *m.addr(1);
}

// Nearest integer, halves away from zero.
double round_half_away(double v) { return v > 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5); }

// A row count from a length: none for NaN or below 1; a length no value can
// hold is refused.
int rows_from(double v)
{
    if (!(v >= 1))
        return 0;
    if (v > INT_MAX / 3) {
        error("Out of memory!");
        return 0;
    }
    return static_cast<int>(v);
}

int count_of(const Mm& m) { return rows_from(round_half_away(first(m))); }

// An uninitialised rows x 3 map; 0 x 3 when there are no rows.
Mm new_map(int rows)
{
    Mm r(0, 0, 0, rows, 3, qv_double);
    if (rows == 0) {
        r.getdims()[0] = 0;  // empty values are made 0 x 0
        r.getdims()[1] = 3;
    }
    return r;
}

// Whether new_map got its storage (a refused allocation under a returning
// error hook leaves an empty value).
bool made(const Mm& map, int rows) { return rows == 0 || (map.rows() == rows && map.cols() == 3); }

double* column(Mm& map, int c) { return map.addr() + static_cast<std::ptrdiff_t>(c) * map.rows(); }

// Holds every entry to [0, 1]: running sums and divisions by the length can
// stray past 1 by a rounding; a map outside the range is refused by
// colormap and misread by brighten.
Mm& clamped(Mm& map)
{
    double* v = map.addr();
    for (std::ptrdiff_t k = 0, n = map.size() > 0 ? map.size() : 0; k < n; ++k)
        v[k] = v[k] > 0 ? (v[k] < 1 ? v[k] : 1) : 0;
    return map;
}

// The language's linspace(a, b, n) as a column: a + (k (b - a)) / (n - 1).
std::vector<double> ramp(double a, double b, double n)
{
    const double last = n - 1;
    if (!(last >= 1))
        return {b};
    std::vector<double> out(static_cast<std::size_t>(rows_from(std::floor(last) + 1)));
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = a + (static_cast<double>(k) * (b - a)) / last;
    return out;
}

struct linear_column {
    double from, to;  // a ramp, or a constant when from == to and constant is set
    bool constant;
};

Mm linear_map(double m, linear_column red, linear_column green, linear_column blue)
{
    const std::size_t rows = ramp(0, 1, m).size();
    Mm map = new_map(rows_from(static_cast<double>(rows)));
    if (!made(map, rows_from(static_cast<double>(rows))))
        return map;
    const linear_column cols[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        double* out = column(map, c);
        const std::vector<double> r = cols[c].constant ? std::vector<double>(rows, cols[c].from)
                                                       : ramp(cols[c].from, cols[c].to, m);
        std::copy(r.begin(), r.end(), out);
    }
    return clamped(map);
}

// A fixed cycle of colours repeated down n rows.
Mm cycle_map(const Mm& m, const double (*cycle)[3], int length)
{
    const int n = count_of(m);
    Mm map = new_map(n);
    if (!made(map, n))
        return map;
    for (int c = 0; c < 3; ++c) {
        double* out = column(map, c);
        for (int r = 0; r < n; ++r)
            out[r] = cycle[r % length][c];
    }
    return map;
}

// Language mod: x - floor(x / y) y.
double language_mod(double x, double y) { return y == 0 ? x : x - std::floor(x / y) * y; }

} // namespace

Mm black(const Mm& m)
{
    if (m.size() <= 0)
        return nop_M;
    const int n = count_of(m);
    Mm map = new_map(n);
    if (!made(map, n))
        return map;
    std::fill(map.addr(), map.addr() + 3 * n, 0.0);
    return map;
}

Mm white(const Mm& m)
{
    if (m.size() <= 0)
        return nop_M;
    const int n = count_of(m);
    Mm map = new_map(n);
    if (!made(map, n))
        return map;
    std::fill(map.addr(), map.addr() + 3 * n, 1.0);
    return map;
}

Mm gray(const Mm& m)
{
    if (m.size() <= 0)
        return nop_M;
    const int n = count_of(m);
    const double divisor = first(m) - 1;  // the value itself, not the count
    Mm map = new_map(n);
    if (!made(map, n))
        return map;
    for (int c = 0; c < 3; ++c) {
        double* out = column(map, c);
        // One row is black: there is no step to divide by.
        for (int k = 0; k < n; ++k)
            out[k] = divisor > 0 ? k / divisor : 0;
    }
    return clamped(map);
}

Mm grey(const Mm& m) { return gray(m); }

Mm jet(const Mm& m_in)
{
    const double m = first(m_in);
    double n = round_half_away(m / 4);
    if (m < 2)
        n = std::max(n, 1.0);  // jet(1) is one row, not an index past the ramp
    const int rows = rows_from(std::floor(m));
    Mm map = new_map(rows);
    if (!made(map, rows))
        return map;
    if (rows == 0)
        return map;
    const long long ni = static_cast<long long>(n);
    const long long k0 = ni - static_cast<long long>(std::floor((m - 3 * n) / 2));
    // J: 2n zeros, (1:n)/n, n ones, (n:-1:1)/n, 2n zeros, indexed from 1.
    auto J = [ni, n](long long i) -> double {
        if (i <= 2 * ni || i > 5 * ni)
            return 0;
        if (i <= 3 * ni)
            return static_cast<double>(i - 2 * ni) / n;
        if (i <= 4 * ni)
            return 1;
        return static_cast<double>(5 * ni - i + 1) / n;
    };
    if (k0 < 0 || k0 + 2 * ni + rows > 7 * ni) {
        error("Index exceeds matrix dimensions.");
        return x_M;
    }
    for (int c = 0; c < 3; ++c) {
        double* out = column(map, c);
        const long long start = k0 + c * ni;
        for (int r = 1; r <= rows; ++r)
            out[r - 1] = J(start + r);
    }
    return clamped(map);
}

Mm hsv(const Mm& m_in)
{
    const double m = first(m_in);
    const int n = count_of(m_in);
    const double s = 6 / m;
    double y = 2 * (m / 6 - std::floor(m / 6));
    y -= std::floor(y);
    static const int offset[6] = {0, 1, 2, 2, 1, 0};
    static const int held_one[6] = {0, 1, 1, 2, 2, 0};
    static const int ramps[6] = {1, 0, 2, 1, 0, 2};
    static const int held_zero[6] = {2, 2, 0, 0, 1, 1};

    std::vector<double> rows;  // three per row
    // Ramps meet at a shared colour reached by two roundings; rows this close
    // are one colour (distinct hues differ by a whole step s).
    const double same = 1e-6 * s;
    auto same_row = [same](const double* a, const double* b) {
        return std::fabs(a[0] - b[0]) <= same && std::fabs(a[1] - b[1]) <= same && std::fabs(a[2] - b[2]) <= same;
    };
    bool rising = true;
    // The segments repeat every six with the same direction, so six that add
    // no row (empty, or their one row dropped as a repeat) would add none ever.
    for (int k = 0, idle = 0; static_cast<int>(rows.size() / 3) < n && idle < 6;
         k = (k + 1) % 6, rising = !rising) {
        const Mm R = colon(Mm(language_mod(offset[k] * y * s, s)), Mm(s), Mm(1.0));
        const int L = R.size() > 0 ? R.size() : 0;
        std::vector<double> P(3 * static_cast<std::size_t>(L));
        for (int r = 0; r < L; ++r) {
            double* row = &P[3 * static_cast<std::size_t>(r)];
            row[held_one[k]] = 1;
            row[held_zero[k]] = 0;
            row[ramps[k]] = std::clamp(R.addr()[rising ? r : L - 1 - r], 0.0, 1.0);
        }
        std::size_t skip = 0;
        if (L > 0 && !rows.empty() && same_row(P.data(), &rows[rows.size() - 3]))
            skip = 3;
        if (P.size() > skip)
            idle = 0;
        else
            ++idle;
        rows.insert(rows.end(), P.begin() + static_cast<std::ptrdiff_t>(skip), P.end());
    }
    const int keep = std::min(rows_from(std::floor(m)), static_cast<int>(rows.size() / 3));
    Mm map = new_map(keep);
    if (!made(map, keep))
        return map;
    for (int c = 0; c < 3; ++c) {
        double* out = column(map, c);
        for (int r = 0; r < keep; ++r)
            out[r] = rows[3 * static_cast<std::size_t>(r) + c];
    }
    return map;
}

Mm hot(const Mm& m_in)
{
    const double m = first(m_in);
    const int M = rows_from(std::floor(m));
    const double n = std::ceil(m / 3);
    const int ni = rows_from(n);
    const int rows = M;
    Mm map = new_map(rows);
    if (!made(map, rows))
        return map;
    std::fill(map.addr(), map.addr() + 3 * static_cast<std::ptrdiff_t>(rows), 0.0);
    if (rows == 0)
        return map;
    double* red = column(map, 0);
    double* green = column(map, 1);
    double* blue = column(map, 2);
    // The ramps are cut at row m: a short map (m = 1) keeps m rows.
    for (int k = 1; k <= ni && k <= M; ++k)
        red[k - 1] = k / n;
    for (int k = 1; k <= ni && ni + k <= M; ++k)
        green[ni + k - 1] = k / n;
    for (int r = ni; r < M; ++r)
        red[r] = 1;
    for (int r = 2 * ni; r < M; ++r)
        green[r] = 1;
    const double h = m - 2 * n;
    for (int k = 1; 2 * ni + k <= M; ++k)
        blue[2 * ni + k - 1] = k / h;
    return clamped(map);
}

Mm bone(const Mm& m_in)
{
    const double m = first(m_in);
    if (m == 2) {
        Mm map = new_map(2);
        if (!made(map, 2))
            return map;
        const double v[6] = {0.0625, 1, 0.125, 1, 0.125, 1};
        std::copy(v, v + 6, map.addr());
        return map;
    }
    if (m == 1) {
        Mm map = new_map(1);
        if (!made(map, 1))
            return map;
        std::fill(map.addr(), map.addr() + 3, 0.125);
        return map;
    }
    if (!(m >= 3))
        return new_map(0);
    const int rows = rows_from(std::floor(m));
    const double o = 1 / (m + (m - 8) / 7);
    const double l = std::floor(m / 3 + (m / 3) / 7);
    const double h = std::max(l - 1, 0.0);
    const double g = m - l - h - 1;
    const int li = static_cast<int>(l), hi = static_cast<int>(h);
    // Increments, one row per step, summed down each column.
    std::vector<double> D[3];
    for (auto& d : D)
        d.assign(static_cast<std::size_t>(rows - 1), o);
    const double f = (1 - o * (m - 1 - l)) / l;
    for (int r = hi; r < hi + li && r < rows - 1; ++r)
        D[1][static_cast<std::size_t>(r)] = f;
    for (int r = 0; r < hi && r < rows - 1; ++r)
        D[2][static_cast<std::size_t>(r)] = f;
    const double e = (1 - o * (m - 1 - g)) / g;
    for (int r = li + hi; r < rows - 1; ++r)
        D[0][static_cast<std::size_t>(r)] = e;
    double sum3 = 0;
    for (double v : D[2])
        sum3 += v;
    const double first_row[3] = {0, 0, 1 - sum3};
    Mm map = new_map(rows);
    if (!made(map, rows))
        return map;
    for (int c = 0; c < 3; ++c) {
        double* out = column(map, c);
        double acc = first_row[c];
        out[0] = acc;
        for (int r = 1; r < rows; ++r)
            out[r] = acc += D[c][static_cast<std::size_t>(r - 1)];
    }
    return clamped(map);
}

Mm cool(const Mm& m) { return linear_map(first(m), {0, 1, false}, {1, 0, false}, {1, 1, true}); }
Mm spring(const Mm& m) { return linear_map(first(m), {1, 1, true}, {0, 1, false}, {1, 0, false}); }
Mm summer(const Mm& m) { return linear_map(first(m), {0, 1, false}, {0.5, 1, false}, {0.4, 0.4, true}); }
Mm winter(const Mm& m) { return linear_map(first(m), {0, 0, true}, {0, 1, false}, {1, 0.5, false}); }
Mm autumn(const Mm& m) { return linear_map(first(m), {1, 1, true}, {0, 1, false}, {0, 0, true}); }

Mm pink(const Mm& m)
{
    const Mm g = gray(m), h = hot(m);
    if (g.size() != h.size() || g.rows() != h.rows())
        return plus(g, h);  // reports the mismatch as the language does
    Mm map = new_map(g.rows());
    if (!made(map, g.rows()))
        return map;
    const double* gp = g.addr();
    const double* hp = h.addr();
    double* out = map.addr();
    for (int k = 0, n = g.size(); k < n; ++k)
        out[k] = std::sqrt((5 * gp[k] + 2.5 * hp[k]) / 7.5);
    return clamped(map);
}

Mm copper(const Mm& m)
{
    Mm g = gray(m);
    if (g.size() <= 0)
        return g;
    Mm map = new_map(g.rows());
    if (!made(map, g.rows()))
        return map;
    const int rows = g.rows();
    const double* in = g.addr();
    double* out = map.addr();
    for (int r = 0; r < rows; ++r) {
        out[r] = std::min(1.2 * in[r], 1.0);
        out[rows + r] = 0.79 * in[rows + r];
        out[2 * rows + r] = 0.5 * in[2 * rows + r];
    }
    return map;
}

Mm flag(const Mm& m)
{
    static const double cycle[][3] = {{1, 0, 0}, {1, 1, 1}, {0, 0, 1}, {0, 0, 0}};
    return cycle_map(m, cycle, 4);
}

Mm prism(const Mm& m)
{
    static const double cycle[][3] = {{1, 0, 0}, {1, 0.5, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {2.0 / 3, 0, 0}};
    return cycle_map(m, cycle, 6);
}

Mm lines(const Mm& m)
{
    static const double cycle[][3] = {{0, 0, 1},       {1, 0, 0},       {0, 0.75, 0.75},
                                      {0.75, 0, 0.75}, {0.75, 0.75, 0}, {0.25, 0.25, 0.25}};
    return cycle_map(m, cycle, 6);
}

#define NUMRUN_DEFAULT_LENGTH(name) \
    Mm name() { return name(Mm(default_length)); }
NUMRUN_DEFAULT_LENGTH(black)
NUMRUN_DEFAULT_LENGTH(gray)
NUMRUN_DEFAULT_LENGTH(grey)
NUMRUN_DEFAULT_LENGTH(white)
NUMRUN_DEFAULT_LENGTH(jet)
NUMRUN_DEFAULT_LENGTH(hsv)
NUMRUN_DEFAULT_LENGTH(hot)
NUMRUN_DEFAULT_LENGTH(bone)
NUMRUN_DEFAULT_LENGTH(cool)
NUMRUN_DEFAULT_LENGTH(spring)
NUMRUN_DEFAULT_LENGTH(summer)
NUMRUN_DEFAULT_LENGTH(winter)
NUMRUN_DEFAULT_LENGTH(autumn)
NUMRUN_DEFAULT_LENGTH(pink)
NUMRUN_DEFAULT_LENGTH(copper)
NUMRUN_DEFAULT_LENGTH(flag)
NUMRUN_DEFAULT_LENGTH(prism)
NUMRUN_DEFAULT_LENGTH(lines)
#undef NUMRUN_DEFAULT_LENGTH
