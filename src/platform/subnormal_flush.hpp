// A scope in which subnormal operands and results count as zero.
//
// Sparse factorisations meet values far below any meaningful size (fill
// entries that decay with the distance in the graph); once they reach the
// subnormal range every operation on them costs a micro-code assist of a
// hundred cycles or more, and a factorisation that took 40 ms takes 200.
// Flushed, those values become the exact zeros they stand for. The mode is
// per thread and is restored on leaving the scope, so nothing outside sees
// it; BLAS calls made inside run in this thread and inherit it.
#pragma once

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

class SubnormalsFlushed {
public:
#if defined(__SSE2__)
    // Flush-to-zero (bit 15) and denormals-are-zero (bit 6) of MXCSR.
    SubnormalsFlushed() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040u); }
    ~SubnormalsFlushed() { _mm_setcsr(saved_); }
#else
    // Elsewhere subnormals keep their IEEE meaning: slower, not wrong.
    SubnormalsFlushed() = default;
#endif
    SubnormalsFlushed(const SubnormalsFlushed&) = delete;
    SubnormalsFlushed& operator=(const SubnormalsFlushed&) = delete;

private:
#if defined(__SSE2__)
    unsigned saved_;
#endif
};
