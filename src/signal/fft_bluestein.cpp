// Bluestein's transform: a length whose largest prime factor is large is
// rewritten as a cyclic convolution with a chirp, which the power-of-two
// backend (FFTW or our own kernel) computes in O(m log m), m >= 2n - 1,
// where the mixed-radix general pass would cost O(n p).
#include "signal/fft_kernels.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

int largest_prime_factor(int n)
{
    int largest = 1;
    for (int d = 2; std::int64_t(d) * d <= n; ++d)
        while (n % d == 0) {
            largest = d;
            n /= d;
        }
    return n > 1 ? n : largest;
}

} // namespace

// The convolution length 2^k >= 2n - 1 must stay an int.
bool bluestein_pays(int n) noexcept
{
    return n > 2 && n <= (1 << 29) && largest_prime_factor(n) > largest_direct_factor;
}

bluestein_plan::bluestein_plan(int n, int dir) : n_(n)
{
    m_ = 1;
    while (m_ < 2 * n - 1)
        m_ *= 2;
    // w_k = e^(dir i pi k^2 / n); k^2 is reduced modulo 2n in integers so
    // every angle lies in (-pi, pi] and keeps its digits at any k.
    chirp_.reset(2 * std::size_t(n));
    const std::int64_t period = 2 * std::int64_t(n);
    for (int k = 0; k < n; ++k) {
        std::int64_t q = std::int64_t(k) * k % period;
        if (q > n)
            q -= period;
        const double phi = 3.141592653589793 * double(q) / n;
        chirp_[2 * std::size_t(k)] = std::cos(phi);
        chirp_[2 * std::size_t(k) + 1] = dir * std::sin(phi);
    }
    kre_.reset(m_);
    kim_.reset(m_);
    wre_.reset(m_);
    wim_.reset(m_);
    pow2_fft(nullptr, nullptr, m_, 0, table_);
    // The kernel: the conjugate chirp at lags -(n-1) .. n-1, wrapped.
    std::fill(kre_.get(), kre_.get() + m_, 0.0);
    std::fill(kim_.get(), kim_.get() + m_, 0.0);
    for (int k = 0; k < n; ++k) {
        const double c = chirp_[2 * std::size_t(k)], s = -chirp_[2 * std::size_t(k) + 1];
        kre_[k] = c;
        kim_[k] = s;
        if (k > 0) {
            kre_[m_ - k] = c;
            kim_[m_ - k] = s;
        }
    }
    pow2_fft(kre_.get(), kim_.get(), m_, -1, table_);
}

void bluestein_plan::transform(double* re, double* im) noexcept
{
    double* ar = wre_.get();
    double* ai = wim_.get();
    const double* w = chirp_.get();
    for (int k = 0; k < n_; ++k) {
        const double c = w[2 * k], s = w[2 * k + 1];
        ar[k] = re[k] * c - im[k] * s;
        ai[k] = re[k] * s + im[k] * c;
    }
    std::fill(ar + n_, ar + m_, 0.0);
    std::fill(ai + n_, ai + m_, 0.0);
    pow2_fft(ar, ai, m_, -1, table_);
    const double* kr = kre_.get();
    const double* ki = kim_.get();
    for (int j = 0; j < m_; ++j) {
        const double t = ar[j] * kr[j] - ai[j] * ki[j];
        ai[j] = ar[j] * ki[j] + ai[j] * kr[j];
        ar[j] = t;
    }
    pow2_fft(ar, ai, m_, +1, table_);  // the backward direction includes 1/m
    for (int k = 0; k < n_; ++k) {
        const double c = w[2 * k], s = w[2 * k + 1];
        re[k] = ar[k] * c - ai[k] * s;
        im[k] = ar[k] * s + ai[k] * c;
    }
}
