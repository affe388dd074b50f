// Kernels with a copy for processors that run AVX2 instructions.
#pragma once

// Marks the AVX2 copy of a kernel; elsewhere than on x86-64 under GCC or
// clang the copy is plain code and never chosen.
#if defined(__GNUC__) && defined(__x86_64__)
#define NUMRUN_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define NUMRUN_TARGET_AVX2
#endif

namespace platform {

// The copy of a kernel for the processor at hand. It is chosen at the
// first call, by ordinary code: a resolver that the dynamic loader runs
// while it relocates the library (as compiler-made clones use) runs before
// a sanitizer's runtime is ready, and crashed the thread-sanitizer build
// at start.
template <class Kernel>
Kernel pick_kernel(Kernel plain, Kernel avx2)
{
#if defined(__GNUC__) && defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return avx2;
#else
    (void)avx2;
#endif
    return plain;
}

} // namespace platform
