// Machine constants by code, for routines that take their rounding unit and
// range limits from one place instead of spelling them out.
#include "engine/machine.hpp"

#include "engine/scalar_real.hpp"

#include <cmath>
#include <limits>

double machine_double(int code) noexcept
{
    switch (code) {
    case 1:
        return machine_realmin_value;
    case 2:
        return machine_realmax_value;
    case 3:
        return machine_eps_value / 2;
    case 4:
        return machine_eps_value;
    case 5:
        return 0.30102999566398120;  // log10(2), correctly rounded
    case 6:
        return std::numeric_limits<double>::infinity();
    case 7:
        return std::numeric_limits<double>::quiet_NaN();
    default:
        return 0;
    }
}

namespace {
// log2 as the library has always taken it: ln times 1/ln 2.
double log2_of(double x) { return std::log(x) * 1.4426950408889634; }
} // namespace

int machine_int(int code) noexcept
{
    switch (code) {
    case 9:
        return std::numeric_limits<int>::max();
    case 14:
        return static_cast<int>(1.5 - log2_of(machine_double(4)));
    case 15:
        return static_cast<int>(log2_of(machine_double(1)) + 0.5);
    case 16:
        return static_cast<int>(log2_of(machine_double(2)) - 0.5);
    default:
        return 0;
    }
}
