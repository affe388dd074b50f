// Seams of the LU timing function: the clock it reads (whole seconds) and an
// observer of the system order it chose, so tests neither wait seconds nor
// guess the order from the time taken.
#pragma once

#include <ctime>

using timing_clock = std::time_t (*)();
extern timing_clock dongarra_clock;
extern void (*dongarra_order_seen)(int order);
