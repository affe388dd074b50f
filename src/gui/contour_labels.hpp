// The contour matrix as clabel reads it: one label per line group, at the
// group's first point.
#pragma once

#include "velkor/value.h"

#include <vector>

namespace gui {

struct contour_label {
    double level;
    double x, y;
};

// The labels of a 2-row contour matrix, in the order of its groups; none for
// a value without exactly 2 rows. A group whose count is 0 (a level that
// crosses nothing) gives none. A count that is negative, not a whole finite
// number, or runs past the last column raises "clabel: invalid contour
// matrix" (out is then left partial).
bool read_contour_labels(const Mm& c, std::vector<contour_label>& out);

} // namespace gui
