// Machine constants by code, for routines that take their rounding unit and
// range limits from one place instead of spelling them out.
#include "linalg/machine.hpp"

#include "engine/scalar_real.hpp"

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
