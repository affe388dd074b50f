// The library's BLAS thread policy, apart from the BLAS prototypes so that
// code built against another library's BLAS declarations (SuperLU's) can
// take it too.
#pragma once

#include <cstddef>

// ---- BLAS threads ----
//
// A large matrix product keeps every thread the BLAS was started with:
// OpenBLAS's own count, which follows OPENBLAS_NUM_THREADS and is otherwise
// the number of cores available. Everything else runs its BLAS calls inside
// a blas_single_thread scope: every LAPACK call (the checked wrappers take
// one), SuperLU, the LU, Cholesky, QR and singular-value kernels, a product
// below the size of blas_large_product, and the iterations of lp and qp.
// Those are made of many small or thin calls, or of threaded
// factorisations that wait for each other by spinning. A threaded call waits
// for its slowest worker, and on a busy machine a worker waits for a time
// slice: with the default threads dgetrf of order 200 took a thousand times
// as long as on one thread, chol three to seven times, lp on 5000 rows
// nearly three times. A product gains even then once each thread's share
// outlasts a time slice.
//
// The count is one setting for the whole process. A scope sets it to one
// only when it is above one, and the last scope to close puts back what the
// first one found; scopes nest and may be open in several threads at once.
// While any scope is open, BLAS calls made by other threads (a product
// included) run on one thread too: slower, never wrong. A process started
// on one BLAS thread pays nothing for a scope.
//
// Every scope, engaged or not, first makes sure OpenBLAS has its working
// buffer: OpenBLAS maps one of 128 MiB at the first level-3 or LAPACK call
// of the process and, when it cannot, tries again for ever. Under an
// address-space limit the first scope makes the buffer while there is room
// for it, or raises "Out of memory!" (and throws std::bad_alloc should the
// error hook return) rather than let the call hang.
class blas_single_thread {
public:
    // engage false makes a scope that changes no thread count, for a call
    // whose size decides.
    explicit blas_single_thread(bool engage = true);
    ~blas_single_thread();
    blas_single_thread(const blas_single_thread&) = delete;
    blas_single_thread& operator=(const blas_single_thread&) = delete;

private:
    bool engaged_;
};

// The room OpenBLAS's buffer takes, with a margin for its thread's heap;
// and whether OpenBLAS has the buffer: made now where an address-space
// limit is set and the room is there, false where it is not.
inline constexpr std::size_t blas_buffer_room = std::size_t{136} << 20;
bool blas_buffer_ready();

// Whether a product of an m-by-k and a k-by-n matrix is worth the BLAS
// threads: one of order 810 or more, some 40 ms of work on one thread. With
// two of four cores busy, products of order 700 and 800 still lost to one
// thread, those of order 1000 gained.
inline bool blas_large_product(int m, int n, int k) noexcept
{
    return double(m) * double(n) * double(k) >= 0x1p29;
}
