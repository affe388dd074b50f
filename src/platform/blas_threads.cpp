// The BLAS thread policy (see blas_threads.hpp): one process-wide count, set to one
// while any scope that asks for it is open.
#include "platform/blas_threads.hpp"

#include <mutex>

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

} // namespace

blas_single_thread::blas_single_thread(bool engage) noexcept : engaged_(engage && blas_may_thread())
{
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
