// Colormap adjustment: brighten raises a map's components to a power chosen
// from beta, contrast derives a grey ramp from how image values fill m levels.
#include "gui/colormap_adjust.hpp"
#include "gui/real_values.hpp"

#include "velkor/array.h"
#include "velkor/engine.h"
#include "velkor/gui.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <vector>

using gui::real_elements;

namespace gui {

Mm brighten_map(const Mm& map, const Mm& beta)
{
    std::vector<double> b;
    if (!real_elements(beta, b) || b.empty()) {
        error("brighten: beta must be a real number");
        return x_M;
    }
    std::vector<double> m;
    if (!real_elements(map, m)) {
        error("brighten: the map must be real");
        return x_M;
    }
    double largest = -INFINITY;
    for (double v : m)
        largest = std::max(largest, v);
    Mm M(0, 0, 0, map.rows(), map.cols(), qv_double);
    if (M.size() != static_cast<int>(m.size()))
        return x_M;  // a refused allocation under a returning error hook
    for (std::size_t k = 0; k < m.size(); ++k)
        M.addr()[k] = largest > 1 ? m[k] / 255 : m[k];

    const Mm root = sqrtm(eps);
    if (root.size() != 1)
        return x_M;
    const double s = *root.addr(1);
    Mm gamma(0, 0, 0, beta.rows(), beta.cols(), qv_double);
    if (gamma.rows() != beta.rows())
        return x_M;
    double* g = gamma.addr();
    if (b[0] > 0)
        for (std::size_t k = 0; k < b.size(); ++k)
            g[k] = 1 - std::min(1 - s, b[k]);
    else
        for (std::size_t k = 0; k < b.size(); ++k)
            g[k] = 1 / (1 + std::max(-1 + s, b[k]));
    return dot_pow(M, gamma);
}

} // namespace gui

Mm brighten(const Mm& beta) { return gui::brighten_map(colormap(), beta); }

Mm brighten(const Mm& map, const Mm& beta)
{
    const Mm N = gui::brighten_map(map.size() == 1 ? colormap() : map, beta);
    if (N.size() == 0)
        return N;  // the map was refused: the figure keeps its own
    colormap(N);
    return N;
}

Mm contrast(const Mm& X) { return contrast(X, Mm(static_cast<double>(colormap().rows()))); }

Mm contrast(const Mm& X, const Mm& m)
{
    std::vector<double> x;
    if (!real_elements(X, x)) {
        error("contrast: X must be real");
        return x_M;
    }
    std::vector<double> levels;
    if (!real_elements(m, levels) || levels.empty()) {
        error("contrast: m must be a real number");
        return x_M;
    }
    const double top = levels[0] - 1;

    // The language's min and max pass over NaN.
    double lo = INFINITY, hi = -INFINITY;
    for (double v : x) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    // Every value of a constant image is level 0: no value lies apart from
    // the others to be spread over the levels.
    const double range = hi - lo;
    std::vector<double> S(x.size() + 2);
    for (std::size_t k = 0; k < x.size(); ++k)
        S[k] = range == 0 ? 0 : std::round(top * (x[k] - lo) / range);
    S[x.size()] = 0;
    S[x.size() + 1] = 1;
    // Ascending, NaN last, as sort orders them.
    std::sort(S.begin(), S.end(), [](double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); });

    std::vector<double> K;
    for (std::size_t k = 1; k < S.size(); ++k)
        if (!(S[k] - S[k - 1] == 0))
            K.push_back(static_cast<double>(k));
    const double last = K.back();  // S holds 0 and 1: there is always a step

    const int n = static_cast<int>(K.size());
    Mm out(0, 0, 0, n, 3, qv_double);
    if (out.rows() != n)
        return x_M;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < n; ++r)
            *out.addr(r + 1, c + 1) = K[r] / last;
    return out;
}
