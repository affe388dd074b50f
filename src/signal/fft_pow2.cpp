// The backend for lengths of factors 2, 3 and 5 (powers of two, and the
// convolution lengths of Bluestein's transform): one interface over FFTW
// (when built in) and our own complex kernel, which serves every length
// when FFTW is left out.
#include "signal/fft_kernels.hpp"

#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> force_own{false};

} // namespace

bool pow2_backend_is_fftw() noexcept
{
#ifdef NUMRUN_USE_FFTW
    return !force_own.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

bool pow2_force_own_kernel(bool on) noexcept { return force_own.exchange(on); }

smooth_fft::smooth_fft(int m) : m_(m)
{
#ifdef NUMRUN_USE_FFTW
    if (pow2_backend_is_fftw() && m > 1) {
        if (auto p = fft_cache::find(fft_cache::kind::fftw_plans, m, 0))
            fftw_ = p;
        else
            // FFTW keeps about two doubles per point in twiddles
            fftw_ = fft_cache::keep(fft_cache::kind::fftw_plans, m, 0, fftw_backend::interleaved_plans(m),
                                    2 * sizeof(double) * std::size_t(m));
        if (fftw_)
            return;
    }
#endif
    own_ = complex_table(m);
}

void smooth_fft::run(double* c, double* scratch, int dir) const noexcept
{
    if (m_ <= 1)
        return;
#ifdef NUMRUN_USE_FFTW
    if (fftw_) {
        fftw_backend::execute(fftw_.get(), dir, c);
        return;
    }
#endif
    complex_fft_run(m_, c, scratch, own_->data(), dir);
}

void pow2_fft(double* re, double* im, int n, int isign, pow2_table& table)
{
    if (isign == 0) {
        table.n = n;
        table.fft = std::make_unique<smooth_fft>(n);
        table.buffer = std::make_unique<aligned_doubles>(2 * std::size_t(n));
        table.work.reset(table.fft->scratch_size());
        return;
    }
    if (n <= 1)
        return;
    double* c = table.buffer->get();
    for (int k = 0; k < n; ++k) {
        c[2 * k] = re[k];
        c[2 * k + 1] = im[k];
    }
    table.fft->run(c, table.work.get(), isign);
    if (isign > 0) {
        const double f = 1.0 / n;
        for (int k = 0; k < n; ++k) {
            re[k] = c[2 * k] * f;
            im[k] = c[2 * k + 1] * f;
        }
    } else {
        for (int k = 0; k < n; ++k) {
            re[k] = c[2 * k];
            im[k] = c[2 * k + 1];
        }
    }
}
