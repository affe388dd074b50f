// Integer machine constants by code (9 largest int, 14 mantissa digits,
// 15 minimum and 16 maximum exponent); kept here until the linear algebra
// constants carry them.
#include <cfloat>
int machine_int(int code) noexcept
{
    switch (code) {
    case 9: return 2147483647;
    case 14: return DBL_MANT_DIG;
    case 15: return DBL_MIN_EXP;
    case 16: return DBL_MAX_EXP - 1;
    default: return 0;
    }
}
