// Histograms and angle histograms: one counting kernel serves hist and rose.
// Each edge is counted by one pass over a column, and each bin is the
// difference of its two edges' counts: no sorting, no temporaries per bin.
#include "gui/real_values.hpp"

#include "velkor/array.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

constexpr double default_bins = 10;

// The number of centres 1:N gives.
std::ptrdiff_t bin_count(double N) { return N >= 1 ? static_cast<std::ptrdiff_t>(std::floor(N)) : 0; }

// How many elements of column[0, rows) are at or below edge.
std::ptrdiff_t count_at_or_below(const double* column, std::ptrdiff_t rows, double edge)
{
    std::ptrdiff_t n = 0;
    for (std::ptrdiff_t r = 0; r < rows; ++r)
        n += column[r] <= edge;
    return n;
}

Mm new_matrix(std::ptrdiff_t rows, std::ptrdiff_t cols)
{
    Mm m(0, 0, 0, static_cast<int>(rows), static_cast<int>(cols), qv_double);
    if (rows == 0 || cols == 0) {
        m.getdims()[0] = static_cast<int>(rows);
        m.getdims()[1] = static_cast<int>(cols);
    }
    return m;
}

bool made(const Mm& m, std::ptrdiff_t rows, std::ptrdiff_t cols)
{
    return m.rows() == rows && m.cols() == cols;
}

} // namespace

Mm hist(const Mm& y, const Mm& nb, i_o_t, Mm& n, Mm& x)
{
    std::vector<double> Y;
    if (!gui::real_elements(y, Y)) {
        error("hist: data must be real");
        return x_M;
    }
    std::vector<double> bins;
    if (!gui::real_elements(nb, bins)) {
        error("hist: the bins must be real");
        return x_M;
    }
    // A row of data is counted as one column.
    const std::ptrdiff_t rows = y.rows() == 1 ? static_cast<std::ptrdiff_t>(Y.size()) : y.rows();
    const std::ptrdiff_t cols = rows == 0 ? (y.rows() == 1 ? 1 : y.cols()) : static_cast<std::ptrdiff_t>(Y.size()) / rows;

    // The bins span the finite values: an infinity is counted in the end
    // bin on its side. Data with no number gives NaN centres and counts
    // nothing; infinities alone leave no range to divide.
    double lo = NAN, hi = NAN;
    bool infinite = false;
    for (double v : Y) {
        if (!std::isfinite(v)) {
            infinite = infinite || std::isinf(v);
            continue;
        }
        if (!(v >= lo))
            lo = v;
        if (!(v <= hi))
            hi = v;
    }
    if (bins.size() == 1 && infinite && std::isnan(lo)) {
        error("hist: the data have no finite value to place %g bins over; give the bin centres", bins[0]);
        return x_M;
    }

    // P = [-Inf, centres, Inf]; joining given centres raises the
    // concatenation error for a column of several.
    std::vector<double> centres;
    Mm given;
    if (bins.size() == 1) {
        const std::ptrdiff_t N = bin_count(bins[0]);
        const double w = (hi - lo) / bins[0];
        centres.resize(static_cast<std::size_t>(N));
        if (std::isfinite(hi - lo)) {
            for (std::ptrdiff_t k = 0; k < N; ++k)
                centres[k] = static_cast<double>(k + 1) * w - w / 2 + lo;
        } else {
            // a range past the largest double (data near -+1e308): the same
            // centres formed at half size, where every one is in range, and
            // doubled exactly
            const double h = (0.5 * hi - 0.5 * lo) / bins[0];
            for (std::ptrdiff_t k = 0; k < N; ++k)
                centres[k] = 2 * ((static_cast<double>(k + 1) * h - h / 2) + 0.5 * lo);
        }
    } else {
        const Mm P = horzcat(horzcat(Mm(-INFINITY), nb), Mm(INFINITY));
        if (P.size() != static_cast<int>(bins.size()) + 2)
            return x_M;  // the join raised under a returning error hook
        centres = bins;
        given = nb;
    }
    const std::ptrdiff_t L = static_cast<std::ptrdiff_t>(centres.size());

    // Edge e lies between centres e-1 and e (P(e) and P(e+1)), computed as
    // the bins' own midpoints so that adjacent bins share it exactly.
    std::vector<double> edges(static_cast<std::size_t>(L + 1));
    for (std::ptrdiff_t e = 0; e <= L; ++e) {
        const double left = e == 0 ? -INFINITY : centres[e - 1];
        const double right = e == L ? INFINITY : centres[e];
        const double sum = left + right;
        edges[e] = std::isfinite(sum) || std::isinf(left) || std::isinf(right) ? sum * 0.5 : 0.5 * left + 0.5 * right;
    }

    const bool one_column = cols == 1;
    Mm counts = one_column ? new_matrix(1, L) : new_matrix(L, cols);
    if (!made(counts, one_column ? 1 : L, one_column ? L : cols))
        return x_M;
    double* out = counts.addr();
    std::vector<std::ptrdiff_t> below(static_cast<std::size_t>(L + 1));
    for (std::ptrdiff_t c = 0; c < cols; ++c) {
        const double* column = Y.data() + c * rows;
        // The first bin reaches down to -Inf itself.
        below[0] = 0;
        for (std::ptrdiff_t e = 1; e <= L; ++e)
            below[e] = count_at_or_below(column, rows, edges[e]);
        for (std::ptrdiff_t k = 0; k < L; ++k)
            out[c * L + k] = static_cast<double>(below[k + 1] - below[k]);
    }

    // Centres: a row for one column of data, a column otherwise.
    Mm centre_value = one_column ? new_matrix(1, L) : new_matrix(L, 1);
    if (!made(centre_value, one_column ? 1 : L, one_column ? L : 1))
        return x_M;
    std::copy(centres.begin(), centres.end(), centre_value.addr());
    n = counts;
    x = centre_value;
    return x_M;
}

Mm hist(const Mm& y, i_o_t, Mm& n, Mm& x) { return hist(y, Mm(default_bins), i_o, n, x); }

Mm hist(const Mm& y, const Mm& nb)
{
    Mm n, x;  // left 0x0 when the counting fails
    hist(y, nb, i_o, n, x);
    if (n.size() == 0)
        return n;
    bar(x, n);
    set(gca(), Mm((CL(TM("xtick")), x)));
    return n;
}

Mm hist(const Mm& y) { return hist(y, Mm(default_bins)); }

Mm rose(const Mm& theta, const Mm& nb, i_o_t, Mm& t, Mm& r)
{
    Mm counts, centres;
    hist(theta, nb, i_o, counts, centres);
    const std::ptrdiff_t L = centres.size();
    if (L == 0) {
        t = new_matrix(1, 0);
        r = new_matrix(1, 0);
        return x_M;
    }
    // E = [-centres(1), centres, -centres(L)]: matrix data, whose centres
    // come as a column, cannot be joined.
    const double* c = centres.addr();
    const Mm E = horzcat(horzcat(Mm(-c[0]), centres), Mm(-c[L - 1]));
    if (E.size() != L + 2)
        return x_M;
    const double* e = E.addr();
    const double* k = counts.addr();
    Mm ts = new_matrix(1, 3 * L), rs = new_matrix(1, 3 * L);
    if (!made(ts, 1, 3 * L) || !made(rs, 1, 3 * L))
        return x_M;
    double* tp = ts.addr();
    double* rp = rs.addr();
    for (std::ptrdiff_t i = 0; i < L; ++i) {
        const double lower = (e[i] + e[i + 1]) * 0.5;
        const double upper = (e[i + 1] + e[i + 2]) * 0.5;
        tp[3 * i] = lower;
        tp[3 * i + 1] = upper;
        tp[3 * i + 2] = upper;
        rp[3 * i] = k[i];
        rp[3 * i + 1] = k[i];
        rp[3 * i + 2] = 0;
    }
    t = ts;
    r = rs;
    return x_M;
}

Mm rose(const Mm& theta, i_o_t, Mm& t, Mm& r) { return rose(theta, Mm(default_bins), i_o, t, r); }

Mm rose(const Mm& theta, const Mm& nb)
{
    Mm t, r;  // left 0x0 when the counting fails
    rose(theta, nb, i_o, t, r);
    if (t.rows() != 1 || r.rows() != 1)
        return x_M;
    return polar(Mm((CL(t), r)));
}

Mm rose(const Mm& theta) { return rose(theta, Mm(default_bins)); }
