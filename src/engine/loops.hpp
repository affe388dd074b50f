// Tight element loops for the element kernels. An operation switches once
// per call into one of these; each instantiation runs the scalar kernel
// alone in its body, with scalar expansion fixed for the whole loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace loops {

// A function as a type: a loop that receives it calls the function by name,
// so the compiler inlines it into the loop body (a function pointer would
// stay an indirect call per element).
template <auto F>
struct functor {
    template <class... A>
    decltype(auto) operator()(A&&... a) const
    {
        return F(static_cast<A&&>(a)...);
    }
};

// Which operand of a two-operand operation is one element repeated over the
// result: the second when it has one element, else the first when it has.
enum class expansion { none, first_scalar, second_scalar };

inline expansion expansion_of(std::size_t first_count, std::size_t second_count)
{
    if (second_count == 1)
        return expansion::second_scalar;
    if (first_count == 1)
        return expansion::first_scalar;
    return expansion::none;
}

// Calls f(k, ia, ib) for every result position k, with ia and ib the
// positions in the operands (0 for a repeated operand).
template <class F>
inline void walk2(std::size_t n, expansion e, F&& f)
{
    switch (e) {
    case expansion::none:
        for (std::size_t k = 0; k < n; ++k)
            f(k, k, k);
        break;
    case expansion::first_scalar:
        for (std::size_t k = 0; k < n; ++k)
            f(k, std::size_t{0}, k);
        break;
    case expansion::second_scalar:
        for (std::size_t k = 0; k < n; ++k)
            f(k, k, std::size_t{0});
        break;
    }
}

// The elements to handle one by one before out reaches a 16-byte boundary.
// Value blocks of doubles start 8 bytes past one, and a vector access that
// straddles a cache line costs more than the access itself; after the first
// element, the result and operands alike are aligned.
template <class Out>
inline std::size_t lead_in(const Out* out, std::size_t n)
{
    if constexpr (sizeof(Out) == 8)
        return n > 0 && (reinterpret_cast<std::uintptr_t>(out) & 8) ? 1 : 0;
    else
        return 0;
}

// out[k] = f(a[k], b[k]) with scalar expansion, on plain arrays.
template <class Out, class In, class F>
inline void map2(Out* __restrict out, const In* __restrict a, const In* __restrict b, std::size_t n, expansion e, F f)
{
    const std::size_t k0 = lead_in(out, n);
    switch (e) {
    case expansion::none:
        for (std::size_t k = 0; k < k0; ++k)
            out[k] = f(a[k], b[k]);
        for (std::size_t k = k0; k < n; ++k)
            out[k] = f(a[k], b[k]);
        break;
    case expansion::first_scalar: {
        const In av = a[0];
        for (std::size_t k = 0; k < k0; ++k)
            out[k] = f(av, b[k]);
        for (std::size_t k = k0; k < n; ++k)
            out[k] = f(av, b[k]);
        break;
    }
    case expansion::second_scalar: {
        const In bv = b[0];
        for (std::size_t k = 0; k < k0; ++k)
            out[k] = f(a[k], bv);
        for (std::size_t k = k0; k < n; ++k)
            out[k] = f(a[k], bv);
        break;
    }
    }
}

// out[k] = f(a[k]).
template <class Out, class In, class F>
inline void map1(Out* __restrict out, const In* __restrict a, std::size_t n, F f)
{
    const std::size_t k0 = lead_in(out, n);
    for (std::size_t k = 0; k < k0; ++k)
        out[k] = f(a[k]);
    for (std::size_t k = k0; k < n; ++k)
        out[k] = f(a[k]);
}

// The vectors of a reduction: outer blocks of n * inner elements, in each
// block the inner vectors p at offsets p, p + inner, ... Calls
// f(first, out_first) per block with the offsets of the block's first
// element in the operand and of its first result row.
template <class F>
inline void blocks(std::size_t n, std::size_t inner, std::size_t outer, std::size_t out_extent, F&& f)
{
    for (std::size_t o = 0; o < outer; ++o)
        f(o * n * inner, o * out_extent * inner);
}

} // namespace loops
