// The text of an axis' tick labels: plain numbers with as many digits as
// tell the ticks apart. Apart from the painter so it is built without cairo.
#include "tick_labels.hpp"

#include <cstdio>

namespace vizmo::render::paint {

// Labels that tell neighbouring ticks apart: "%g" with as many significant
// digits as that takes (a range of 2e-13 about 1 needs 14), at most 17.
std::vector<std::string> tick_labels(const std::vector<double>& t)
{
    std::vector<std::string> out(t.size());
    for (int digits = 6; digits <= 17; ++digits) {
        bool distinct = true;
        for (std::size_t k = 0; k < t.size(); ++k) {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.*g", digits, t[k]);
            out[k] = buf;
            distinct = distinct && (k == 0 || out[k] != out[k - 1]);
        }
        if (distinct)
            break;
    }
    return out;
}

} // namespace vizmo::render::paint
