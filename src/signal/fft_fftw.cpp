// FFTW behind the backend for lengths of factors 2, 3 and 5: in-place plans
// on interleaved arrays aligned to fft_alignment, so FFTW's vector code
// serves them. FFTW's planner (and plan destruction) is not thread-safe,
// its new-array execute is: one lock guards the first two.
#include "signal/fft_kernels.hpp"

#include <fftw3.h>

#include <cstdlib>
#include <mutex>

namespace {

// Constant-initialised and trivially destroyed: still usable while the
// table cache releases its last plans at exit.
std::mutex planner;

struct plan_pair {
    fftw_plan forward = nullptr, backward = nullptr;
    ~plan_pair()
    {
        std::lock_guard<std::mutex> lock(planner);
        if (forward)
            fftw_destroy_plan(forward);
        if (backward)
            fftw_destroy_plan(backward);
    }
};

} // namespace

namespace fftw_backend {

std::shared_ptr<const void> interleaved_plans(int m)
{
    auto pair = table_storage<plan_pair>();
    // Planned in estimate mode, which never writes into the arrays, on an
    // array of the alignment every execution uses.
    const std::size_t bytes = (2 * std::size_t(m) * sizeof(double) + fft_alignment - 1) / fft_alignment * fft_alignment;
    double* probe = static_cast<double*>(std::aligned_alloc(fft_alignment, bytes));
    if (!probe)
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(planner);
        auto* c = reinterpret_cast<fftw_complex*>(probe);
        pair->forward = fftw_plan_dft_1d(m, c, c, FFTW_FORWARD, FFTW_ESTIMATE);
        pair->backward = fftw_plan_dft_1d(m, c, c, FFTW_BACKWARD, FFTW_ESTIMATE);
    }
    std::free(probe);
    if (!pair->forward || !pair->backward)
        return nullptr;
    return pair;
}

void execute(const void* plans, int dir, double* c) noexcept
{
    const auto* pair = static_cast<const plan_pair*>(plans);
    auto* z = reinterpret_cast<fftw_complex*>(c);
    fftw_execute_dft(dir < 0 ? pair->forward : pair->backward, z, z);
}

} // namespace fftw_backend
