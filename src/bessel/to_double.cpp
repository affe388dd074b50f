// The out-of-line to_double for targets that evaluate in extended precision;
// where doubles are evaluated as doubles the header's inline identity serves.
#include "bessel/to_double.hpp"

#if FLT_EVAL_METHOD != 0
double to_double(double x) noexcept
{
    volatile double rounded = x;  // the store is what rounds
    return rounded;
}
#endif
