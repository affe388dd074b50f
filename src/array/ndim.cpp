// N-d dimension helpers that are not on a hot path.
#include "array/ndim.hpp"

void reverse_dims_fill(const int* src, int count, int dst[4], int fill)
{
    if (count > 4)
        count = 4;
    for (int m = 0; m < 4; ++m)
        dst[m] = m < count ? src[count - 1 - m] : fill;
}
