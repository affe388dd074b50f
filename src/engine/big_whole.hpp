// Whole numbers of any size for the few exact computations that pass 2^64:
// binomial coefficients rounded once, and the digits of large doubles.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// An unsigned whole number of any size, in 32-bit limbs (least
// significant first), with the few operations the binomial needs.
class big_whole {
public:
    explicit big_whole(unsigned __int128 v = 0)
    {
        for (; v; v >>= 32)
            limbs_.push_back(static_cast<std::uint32_t>(v));
    }
    // A whole double, exactly.
    static big_whole of(double whole)
    {
        if (whole < 0x1p53)
            return big_whole(static_cast<std::uint64_t>(whole));
        int e;
        const double m = std::frexp(whole, &e);  // whole = m 2^e, 1/2 <= m < 1
        big_whole r(static_cast<std::uint64_t>(std::ldexp(m, 53)));
        r.shift_left(e - 53);
        return r;
    }

    void add(std::uint32_t v)
    {
        std::uint64_t carry = v;
        for (std::size_t k = 0; carry && k < limbs_.size(); ++k) {
            carry += limbs_[k];
            limbs_[k] = static_cast<std::uint32_t>(carry);
            carry >>= 32;
        }
        if (carry)
            limbs_.push_back(static_cast<std::uint32_t>(carry));
    }
    // Subtracts v <= *this.
    void subtract(std::uint32_t v)
    {
        std::int64_t borrow = v;
        for (std::size_t k = 0; borrow && k < limbs_.size(); ++k) {
            const std::int64_t d = std::int64_t{limbs_[k]} - borrow;
            limbs_[k] = static_cast<std::uint32_t>(d);
            borrow = d < 0 ? 1 : 0;
        }
        trim();
    }
    big_whole times(const big_whole& o) const
    {
        big_whole r;
        r.limbs_.assign(limbs_.size() + o.limbs_.size(), 0);
        for (std::size_t i = 0; i < limbs_.size(); ++i) {
            std::uint64_t carry = 0;
            for (std::size_t j = 0; j < o.limbs_.size(); ++j) {
                carry += std::uint64_t{limbs_[i]} * o.limbs_[j] + r.limbs_[i + j];
                r.limbs_[i + j] = static_cast<std::uint32_t>(carry);
                carry >>= 32;
            }
            r.limbs_[i + o.limbs_.size()] = static_cast<std::uint32_t>(carry);
        }
        r.trim();
        return r;
    }
    // Divides by d > 0; returns the remainder.
    std::uint32_t divide(std::uint32_t d)
    {
        std::uint64_t rest = 0;
        for (std::size_t k = limbs_.size(); k-- > 0;) {
            rest = (rest << 32) | limbs_[k];
            limbs_[k] = static_cast<std::uint32_t>(rest / d);
            rest %= d;
        }
        trim();
        return static_cast<std::uint32_t>(rest);
    }
    bool zero() const { return limbs_.empty(); }
    int bits() const
    {
        return limbs_.empty() ? 0 : int(32 * limbs_.size()) - __builtin_clz(limbs_.back());
    }
    // Rounded once to the nearest double (Inf past the largest).
    double to_double() const
    {
        const int n = bits();
        if (n <= 64)
            return static_cast<double>(top_bits(0));
        // The 64 leading bits, the lowest one set when anything below them
        // is: enough to round a 53-bit mantissa exactly.
        std::uint64_t top = top_bits(n - 64);
        if (any_below(n - 64))
            top |= 1;
        return std::ldexp(static_cast<double>(top), n - 64);
    }

private:
    void trim()
    {
        while (!limbs_.empty() && limbs_.back() == 0)
            limbs_.pop_back();
    }
    void shift_left(int s)
    {
        if (s <= 0 || limbs_.empty())
            return;
        const std::size_t whole = std::size_t(s) / 32;
        const int part = s % 32;
        limbs_.insert(limbs_.begin(), whole, 0);
        if (part) {
            std::uint32_t carry = 0;
            for (std::uint32_t& l : limbs_) {
                const std::uint32_t next = l >> (32 - part);
                l = (l << part) | carry;
                carry = next;
            }
            if (carry)
                limbs_.push_back(carry);
        }
    }
    bool bit(int b) const { return (limbs_[std::size_t(b) / 32] >> (b % 32)) & 1; }
    std::uint64_t top_bits(int from) const
    {
        std::uint64_t v = 0;
        for (int b = std::min(bits(), from + 64) - 1; b >= from; --b)
            v = (v << 1) | bit(b);
        return v;
    }
    bool any_below(int b) const
    {
        for (int k = 0; k < b; ++k)
            if (bit(k))
                return true;
        return false;
    }

    std::vector<std::uint32_t> limbs_;
};
