// Floating-point environment: round to nearest, every exception masked, no
// flush-to-zero, so overflow and invalid operations give Inf and NaN.
#include "velkor/runtime.h"

#include <cfenv>

void fpu_reset()
{
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetenv(FE_DFL_ENV);
}
