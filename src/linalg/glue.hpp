// The BLAS glue: the split complex matrix product (declared with every
// other kernel) and the library's BLAS thread policy.
#pragma once

#include "linalg/kernels.hpp"

// ---- BLAS threads ----
//
// The matrix product keeps every thread the BLAS was started with:
// OpenBLAS's own count, which follows OPENBLAS_NUM_THREADS and is otherwise
// the number of cores available. Everything else runs its BLAS calls inside
// a blas_single_thread scope: every LAPACK call (the checked wrappers take
// one), SuperLU, the singular-value kernels, and the iterations of lp and
// qp. Those are made of many small calls, or of threaded factorisations
// that wait for each other by spinning; with the default threads some ran
// several times, dgetrf on a busy machine a thousand times, slower than on
// one thread.
//
// The count is one setting for the whole process. A scope sets it to one
// only when it is above one, and the last scope to close puts back what the
// first one found; scopes nest and may be open in several threads at once.
// While any scope is open, BLAS calls made by other threads (a product
// included) run on one thread too: slower, never wrong. A process started
// on one BLAS thread pays nothing for a scope.
class blas_single_thread {
public:
    blas_single_thread() noexcept;
    ~blas_single_thread();
    blas_single_thread(const blas_single_thread&) = delete;
    blas_single_thread& operator=(const blas_single_thread&) = delete;
};
