// FFTW behind the power-of-two backend: split-array plans cached per
// length in one process-wide cache (FFTW's planner is not thread-safe, its
// new-array execute is), released at unload.
#include "signal/fft_kernels.hpp"

#include <fftw3.h>

#include <map>
#include <mutex>
#include <vector>

namespace {

class plan_cache {
public:
    ~plan_cache()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [n, plan] : plans_)
            fftw_destroy_plan(plan);
        plans_.clear();
    }

    fftw_plan get(int n)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = plans_.find(n);
        if (it != plans_.end())
            return it->second;
        // Planned in place on split halves n doubles apart, the layout every
        // execution uses; estimate mode never writes into the arrays.
        std::vector<double> probe(2 * std::size_t(n));
        fftw_iodim dim{n, 1, 1};
        fftw_plan p = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, probe.data(), probe.data() + n, probe.data(),
                                               probe.data() + n, FFTW_ESTIMATE | FFTW_UNALIGNED);
        if (p)
            plans_.emplace(n, p);
        return p;
    }

private:
    std::mutex mutex_;
    std::map<int, fftw_plan> plans_;
};

plan_cache& cache()
{
    static plan_cache c;
    return c;
}

} // namespace

namespace fftw_backend {

const void* plan_for(int n) { return cache().get(n); }

void execute(const void* plan, double* re, double* im) noexcept
{
    fftw_execute_split_dft(static_cast<fftw_plan>(const_cast<void*>(plan)), re, im, re, im);
}

} // namespace fftw_backend
