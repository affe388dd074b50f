// Contour labels and staircase data: functions that work on plot data
// rather than on graphics objects.
#include "gui/contour_labels.hpp"
#include "gui/real_values.hpp"

#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace gui {

bool read_contour_labels(const Mm& c, std::vector<contour_label>& out)
{
    out.clear();
    if (c.getndims() != 2 || c.rows() != 2)
        return true;
    std::vector<double> v;
    if (!real_elements(c, v)) {
        error("clabel: invalid contour matrix");
        return false;
    }
    const std::ptrdiff_t cols = c.cols();
    // Column j (from 0) is a header [level; count]; its points follow it.
    for (std::ptrdiff_t j = 0; j < cols;) {
        const double level = v[2 * j];
        const double count = v[2 * j + 1];
        if (!(count >= 0 && count == std::floor(count) && count <= static_cast<double>(cols - 1 - j))) {
            error("clabel: invalid contour matrix");
            return false;
        }
        if (count > 0)
            out.push_back({level, v[2 * (j + 1)], v[2 * (j + 1) + 1]});
        j += static_cast<std::ptrdiff_t>(count) + 1;
    }
    return true;
}

} // namespace gui

Mm clabel(const Mm& c)
{
    std::vector<gui::contour_label> labels;
    if (!gui::read_contour_labels(c, labels))
        return x_M;
    Mm handles(0, 0, 0, labels.empty() ? 0 : 1, static_cast<int>(labels.size()), qv_double);
    if (handles.size() != static_cast<int>(labels.size()))
        return x_M;
    for (std::size_t k = 0; k < labels.size(); ++k) {
        const Mm h = text(Mm((CL(labels[k].x), labels[k].y, num2str(Mm(labels[k].level)))));
        if (h.size() != 1)
            return x_M;
        handles.addr()[k] = *h.addr(1);
    }
    return handles;
}

Mm clabel(const Mm& c, const Mm&) { return clabel(c); }

Mm clabel(const Mm& c, const Mm&, const Mm&) { return clabel(c); }

Mm stairs(const Mm& args, i_o_t, Mm& xs, Mm& ys)
{
    Mm x = Mm(args.br(Mm(1)));
    Mm y = Mm(args.br(Mm(2)));
    const bool x_several_columns = x.cols() > 1;
    if (x.rows() == 1 || x.cols() == 1)
        x = reshape(x, Mm(x.size()), Mm(1));
    if (y.rows() == 1 || y.cols() == 1)
        y = reshape(y, Mm(y.size()), Mm(1));
    const int n = y.rows();
    const int steps = n > 0 ? 2 * n - 1 : 0;

    // k = [1:n; 1:n](:) = 1 1 2 2 .. n n; the rows of ys are k(1:2n-1),
    // those of xs k(2:2n).
    Mm y_rows(0, 0, 0, 1, steps, qv_double), x_rows(0, 0, 0, 1, steps, qv_double);
    if (y_rows.cols() != steps || x_rows.cols() != steps)
        return x_M;
    for (int j = 0; j < steps; ++j) {
        y_rows.addr()[j] = static_cast<double>(j / 2 + 1);
        x_rows.addr()[j] = static_cast<double>((j + 1) / 2 + 1);
    }
    Mm ys_value = Mm(y(y_rows, c_p));
    Mm xs_value;
    if (x_several_columns) {
        xs_value = Mm(x(x_rows, c_p));
    } else {
        Mm repeat(0, 0, 0, 1, ys_value.cols(), qv_double);
        if (repeat.cols() != ys_value.cols())
            return x_M;
        for (int k = 0; k < ys_value.cols(); ++k)
            repeat.addr()[k] = 1;
        xs_value = Mm(x(x_rows, repeat));
    }
    xs = xs_value;
    ys = ys_value;
    return x_M;
}
