// The text of an axis' tick labels.
#pragma once

#include <string>
#include <vector>

namespace vizmo::render::paint {

// Labels that tell neighbouring ticks apart in one style for the whole
// axis: plain decimals for ticks of moderate size, mantissa and exponent
// ("1.5e+06") otherwise, each with the fewest digits that put it within a
// fiftieth of a step of its tick.
std::vector<std::string> tick_labels(const std::vector<double>& t);

// Labels of a logarithmic axis. Ticks that are all powers of ten read as
// plain numbers while they stay between 0.001 and 10000, otherwise every
// one as "10^n" (drawn as 10 with n raised); other ticks as tick_labels.
std::vector<std::string> log_tick_labels(const std::vector<double>& t);

} // namespace vizmo::render::paint
