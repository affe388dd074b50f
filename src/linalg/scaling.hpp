// Exact power-of-two scaling around the eigenvalue kernels: their products
// of two or three entries overflow above about 1e154 and lose digits in the
// subnormal range below about 1e-154, so a matrix far from 1 is brought near
// it first and the results are scaled back. Multiplying by 2^e changes no
// digit, so orders, signs and vectors are those of the unscaled run.
#pragma once

#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

// The exponent e for which 2^e*A has its largest finite magnitude in
// [0.5, 1), or 0 when that magnitude already lies within 2^-100 .. 2^100
// (or A has no finite nonzero entry).
inline int safe_range_exponent(const Mm& a) noexcept
{
    const std::size_t count = std::size_t(a.rows()) * std::size_t(a.cols());
    double big = 0;
    for (int part = 0; part < 2; ++part) {
        const double* x = part == 0 ? a.addr() : a.addi();
        if (!x)
            continue;
        for (std::size_t k = 0; k < count; ++k)
            if (std::isfinite(x[k]))
                big = std::max(big, std::fabs(x[k]));
    }
    if (big == 0 || (big >= 0x1p-100 && big <= 0x1p100))
        return 0;
    int e = 0;
    std::frexp(big, &e);
    return -e;
}

// x := 2^e*x over a dense value's real and imaginary parts.
inline void scale_by_power_of_two(Mm& x, int e) noexcept
{
    if (e == 0)
        return;
    const std::size_t count = std::size_t(x.rows()) * std::size_t(x.cols());
    for (int part = 0; part < 2; ++part) {
        double* p = part == 0 ? x.addr() : x.addi();
        if (p)
            for (std::size_t k = 0; k < count; ++k)
                p[k] = std::ldexp(p[k], e);
    }
}
