// The transform kernels under fft: the mixed-radix real and complex passes
// of the FFTPACK kind, and the power-of-two backend the core hands its
// power-of-two lengths to. Internal to src/signal.
#pragma once

#include "value/scratch.hpp"

#include <vector>

// ---- mixed-radix real kernel (forward only) ----
// work holds 2N + 16 doubles: a second buffer, the twiddle table and the
// factor record. The output is half-complex: r[0] = X[0], r[2k-1] + i r[2k]
// = X[k] for k = 1 .. (N-1)/2, and r[N-1] = X[N/2] for even N.
void real_fft_init(int n, double* work) noexcept;
void real_fft_forward(int n, double* r, double* work) noexcept;

// ---- mixed-radix complex kernel ----
// c holds N interleaved (re, im) pairs; work holds 4N + 16 doubles. The
// backward transform is not scaled.
void complex_fft_init(int n, double* work) noexcept;
void complex_fft_forward(int n, double* c, double* work) noexcept;
void complex_fft_backward(int n, double* c, double* work) noexcept;

// The factor lists the two kernels use for n, in list order (tests pin the
// factorisation rules through them).
std::vector<int> real_fft_factors(int n);
std::vector<int> complex_fft_factors(int n);

// ---- power-of-two backend ----
// The state a power-of-two length needs: a cached FFTW plan, or the work
// array and interleaving buffer of our own kernel. Built by pow2_fft with
// isign 0 and shared by every column of one call.
struct pow2_table {
    int n = 0;
    const void* plan = nullptr;       // FFTW plan (owned by the plan cache)
    scratch<double> work;             // own kernel: 4n + 16 doubles
    scratch<double> buffer;           // own kernel: 2n interleaved doubles
};

// isign 0 builds the table for length n (a power of two); -1 transforms
// re/im forward in place; +1 backward in place including the factor 1/n.
// The table must have been built for the same n.
void pow2_fft(double* re, double* im, int n, int isign, pow2_table& table);

// Which backend serves powers of two: true when FFTW is built in and not
// switched off for testing.
bool pow2_backend_is_fftw() noexcept;
// Routes powers of two to our own kernel even when FFTW is built in (tests
// and benchmarks compare the two backends in one build). Returns the old
// setting.
bool pow2_force_own_kernel(bool on) noexcept;

// ---- Bluestein's transform over the power-of-two backend ----
// Prime factors up to this size are cheap enough for the general odd
// passes; a length with a larger one goes to Bluestein's transform, which
// takes every length up to 2^29.
constexpr int largest_direct_factor = 100;

// True when n's largest prime factor is too large for the general odd
// passes to be cheap.
bool bluestein_pays(int n) noexcept;

// One length n and direction dir (-1 forward, +1 backward, unscaled): the
// chirp, the transformed convolution kernel and the work columns, built once
// and shared by every column of a call.
class bluestein_plan {
public:
    bluestein_plan(int n, int dir);
    // re/im: n values, transformed in place.
    void transform(double* re, double* im) noexcept;

private:
    int n_, m_;
    scratch<double> chirp_;      // 2n: cos and sin of the chirp
    scratch<double> kre_, kim_;  // m: the kernel's transform
    scratch<double> wre_, wim_;  // m: the column being convolved
    pow2_table table_;
};

// The FFTW side (fft_fftw.cpp, present only when built with FFTW).
namespace fftw_backend {
const void* plan_for(int n);
// Forward transform in place of split halves n doubles apart.
void execute(const void* plan, double* re, double* im) noexcept;
} // namespace fftw_backend
