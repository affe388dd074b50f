// The text of an axis' tick labels.
#pragma once

#include <string>
#include <vector>

namespace vizmo::render::paint {

// Labels that tell neighbouring ticks apart.
std::vector<std::string> tick_labels(const std::vector<double>& t);

} // namespace vizmo::render::paint
