// The factor record shared by the two mixed-radix kernels: the length, the
// factor count and the factors as 32-bit words after the twiddle table,
// written and read with memcpy so no double is ever read as an int.
#pragma once

#include <cstdint>
#include <cstring>

namespace fft_detail {

constexpr int max_factors = 30;  // 16 spare doubles hold 32 words

struct factor_record {
    std::int32_t n = 0;
    std::int32_t nf = 0;
    std::int32_t f[max_factors] = {};
};

// Divides n by the four first divisors in the given order, then by 7, 9,
// 11, ..., each as often as it goes; a 2 found after other factors moves
// to the front of the list.
inline factor_record factorize(int n, const int (&first)[4]) noexcept
{
    factor_record r;
    r.n = n;
    int rest = n, j = 0, divisor = 0;
    while (rest > 1) {
        divisor = j < 4 ? first[j] : divisor + 2;
        ++j;
        while (rest % divisor == 0 && r.nf < max_factors) {
            rest /= divisor;
            r.f[r.nf++] = divisor;
            if (divisor == 2 && r.nf > 1) {
                for (int m = r.nf - 1; m > 0; --m)
                    r.f[m] = r.f[m - 1];
                r.f[0] = 2;
            }
        }
    }
    return r;
}

inline void store(const factor_record& r, double* at) noexcept
{
    std::memcpy(at, &r.n, sizeof(std::int32_t));
    std::memcpy(reinterpret_cast<char*>(at) + 4, &r.nf, sizeof(std::int32_t));
    std::memcpy(reinterpret_cast<char*>(at) + 8, r.f, sizeof(std::int32_t) * r.nf);
}

inline factor_record load(const double* at) noexcept
{
    factor_record r;
    std::memcpy(&r.n, at, sizeof(std::int32_t));
    std::memcpy(&r.nf, reinterpret_cast<const char*>(at) + 4, sizeof(std::int32_t));
    if (r.nf < 0 || r.nf > max_factors)
        r.nf = 0;
    std::memcpy(r.f, reinterpret_cast<const char*>(at) + 8, sizeof(std::int32_t) * r.nf);
    return r;
}

} // namespace fft_detail
