// The power-of-two backend: one interface over FFTW (when built in) and our
// own complex kernel, which serves every length when FFTW is left out.
#include "signal/fft_kernels.hpp"

#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> force_own{false};

void own_kernel(double* re, double* im, int n, int isign, pow2_table& t) noexcept
{
    double* c = t.buffer.get();
    for (int k = 0; k < n; ++k) {
        c[2 * k] = re[k];
        c[2 * k + 1] = im[k];
    }
    if (isign < 0)
        complex_fft_forward(n, c, t.work.get());
    else
        complex_fft_backward(n, c, t.work.get());
    for (int k = 0; k < n; ++k) {
        re[k] = c[2 * k];
        im[k] = c[2 * k + 1];
    }
}

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

void pow2_fft(double* re, double* im, int n, int isign, pow2_table& table)
{
    if (isign == 0) {
        table.n = n;
        table.plan = nullptr;
#ifdef NUMRUN_USE_FFTW
        if (pow2_backend_is_fftw()) {
            table.plan = fftw_backend::plan_for(n);
            if (table.plan) {
                table.buffer.reset(2 * std::size_t(n));
                return;
            }
        }
#endif
        table.work.reset(4 * std::size_t(n) + 16);
        table.buffer.reset(2 * std::size_t(n));
        complex_fft_init(n, table.work.get());
        return;
    }
    if (n <= 1)
        return;
#ifdef NUMRUN_USE_FFTW
    if (table.plan) {
        // The plan is made for split halves n doubles apart, so the column
        // passes through the table's buffer; the backward direction is the
        // forward one on swapped parts.
        double* b = table.buffer.get();
        double* first = isign < 0 ? re : im;
        double* second = isign < 0 ? im : re;
        std::memcpy(b, first, sizeof(double) * n);
        std::memcpy(b + n, second, sizeof(double) * n);
        fftw_backend::execute(table.plan, b, b + n);
        std::memcpy(first, b, sizeof(double) * n);
        std::memcpy(second, b + n, sizeof(double) * n);
    } else
#endif
        own_kernel(re, im, n, isign, table);
    if (isign > 0) {
        const double f = 1.0 / n;
        for (int k = 0; k < n; ++k) {
            re[k] *= f;
            im[k] *= f;
        }
    }
}
