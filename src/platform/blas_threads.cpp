// The BLAS thread policy (see blas_threads.hpp): one process-wide count, set to one
// while any scope that asks for it is open; and OpenBLAS's working buffer,
// made while there is room for it.
#include "platform/blas_threads.hpp"
#include "platform/blas.hpp"
#include "platform/memory.hpp"
#include "velkor/report.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>

// OpenBLAS's thread controls. Weak: against a BLAS without them the policy
// does nothing, and the library still loads.
extern "C" {
void openblas_set_num_threads(int) __attribute__((weak));
int openblas_get_num_threads() __attribute__((weak));
}

namespace {

// Open scopes, and the count the first of them found.
std::mutex blas_gate;
int open_scopes = 0;
int found_threads = 1;

bool blas_has_thread_controls() noexcept { return openblas_set_num_threads && openblas_get_num_threads; }

// Whether the BLAS may run threads at all: the count it had when the
// library first asked, before any scope of ours changed it. A process
// started on one thread (OPENBLAS_NUM_THREADS=1) pays nothing for scopes.
bool blas_may_thread() noexcept
{
    static const int started = blas_has_thread_controls() ? openblas_get_num_threads() : 1;
    return started > 1;
}

// The buffer OpenBLAS maps for the calls of the process's threads (one at
// a time: calls from several threads at once take one each).
std::atomic<bool> blas_buffer_made{false};

} // namespace

// Made by a 1-by-1 product where the address space has room for it.
// Without a limit the buffer is left to OpenBLAS's first call.
bool blas_buffer_ready()
{
    if (blas_buffer_made.load(std::memory_order_acquire))
        return true;
    if (platform::address_space_limit() != 0) {
        // Where the limit leaves too little to map the buffer, OpenBLAS
        // takes it from the heap, which may hold that much free (freed
        // blocks stay mapped, and count against the limit): a block of
        // the size, taken and given back, shows that it will be there.
        if (platform::address_space_left() < blas_buffer_room) {
            void* block = std::malloc(blas_buffer_room);
            if (!block)
                return false;
            std::free(block);
        }
        const int one = 1;
        const double a = 1, b = 1, beta = 0;
        double c = 0;
        dgemm_("N", "N", &one, &one, &one, &a, &a, &one, &b, &one, &beta, &c, &one, 1, 1);
    }
    blas_buffer_made.store(true, std::memory_order_release);
    return true;
}

blas_single_thread::blas_single_thread(bool engage) : engaged_(false)
{
    if (!blas_buffer_ready()) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    engaged_ = engage && blas_may_thread();
    if (!engaged_)
        return;
    std::lock_guard<std::mutex> lock(blas_gate);
    if (open_scopes++ == 0) {
        found_threads = openblas_get_num_threads();
        if (found_threads > 1)
            openblas_set_num_threads(1);
    }
}

blas_single_thread::~blas_single_thread()
{
    if (!engaged_)
        return;
    std::lock_guard<std::mutex> lock(blas_gate);
    if (--open_scopes == 0 && found_threads > 1)
        openblas_set_num_threads(found_threads);
}
