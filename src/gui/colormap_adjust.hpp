// The computing side of brighten, apart from reading and writing the
// current figure's colormap.
#pragma once

#include "velkor/value.h"

namespace gui {

// map brightened by beta: a map above 1 is read as 0..255 and divided by
// 255 first; each component c becomes c^gamma, gamma in [s, 1) for a
// positive beta(1) and in [1, 1/s] otherwise, s the square root of eps.
Mm brighten_map(const Mm& map, const Mm& beta);

} // namespace gui
