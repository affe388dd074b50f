// The transform kernels under fft: the mixed-radix real and complex passes
// of the FFTPACK kind, the tables they run on (kept across calls), the
// backend for lengths of factors 2, 3 and 5 (FFTW when built in, our own
// complex kernel otherwise), and Bluestein's transform over that backend.
// Internal to src/signal.
#pragma once

#include "value/scratch.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// ---- mixed-radix real kernel (forward only) ----
// The table holds N + 16 doubles (twiddles, then the factor record) and is
// only read by the transform; scratch holds N doubles. The output is
// half-complex: r[0] = X[0], r[2k-1] + i r[2k] = X[k] for k = 1 .. (N-1)/2,
// and r[N-1] = X[N/2] for even N.
void real_fft_table(int n, double* table) noexcept;
void real_fft_run(int n, double* r, double* scratch, const double* table) noexcept;
// The same on one work array of 2N + 16 doubles: scratch, then the table.
void real_fft_init(int n, double* work) noexcept;
void real_fft_forward(int n, double* r, double* work) noexcept;

// ---- mixed-radix complex kernel ----
// c holds N interleaved (re, im) pairs; the table 2N + 16 doubles, scratch
// 2N. dir -1 is the forward transform, +1 the backward one, not scaled.
void complex_fft_table(int n, double* table) noexcept;
void complex_fft_run(int n, double* c, double* scratch, const double* table, int dir) noexcept;
// The same on one work array of 4N + 16 doubles: scratch, then the table.
void complex_fft_init(int n, double* work) noexcept;
void complex_fft_forward(int n, double* c, double* work) noexcept;
void complex_fft_backward(int n, double* c, double* work) noexcept;

// The inner sums of the general odd passes of both kernels: for j = first
// .. last in order, sum += re_j * a(j) and diff += im_j * b(j) over len
// elements, (re_j, im_j) from next(re, im). Two terms per sweep over
// memory, added in the order of one at a time: the same sums, bit for bit.
template <class Next, class ColumnA, class ColumnB>
inline void general_pass_sums(double* sum, double* diff, int first, int last, int len, Next next, ColumnA a,
                              ColumnB b) noexcept
{
    int j = first;
    for (; j + 1 <= last; j += 2) {
        double r1, i1, r2, i2;
        next(r1, i1);
        next(r2, i2);
        const double* a1 = a(j);
        const double* a2 = a(j + 1);
        const double* b1 = b(j);
        const double* b2 = b(j + 1);
        for (int k = 0; k < len; ++k) {
            sum[k] = sum[k] + r1 * a1[k] + r2 * a2[k];
            diff[k] = diff[k] + i1 * b1[k] + i2 * b2[k];
        }
    }
    for (; j <= last; ++j) {
        double r, i;
        next(r, i);
        const double* a1 = a(j);
        const double* b1 = b(j);
        for (int k = 0; k < len; ++k) {
            sum[k] = sum[k] + r * a1[k];
            diff[k] = diff[k] + i * b1[k];
        }
    }
}

// The factor lists the two kernels use for n, in list order (tests pin the
// factorisation rules through them).
std::vector<int> real_fft_factors(int n);
std::vector<int> complex_fft_factors(int n);

// ---- tables kept across calls ----
// A table costs about as much to build as a transform of its length, so
// each is built once and kept in a process-wide cache of bounded size (the
// least recently used go first), shared read-only by every call and thread.
// A table too large for the cache serves its call and is dropped.
using fft_table = std::shared_ptr<const std::vector<double>>;
fft_table complex_table(int n);  // complex_fft_table(n)
fft_table real_table(int n);     // real_fft_table(n)
// w_k = e^(-2 pi i k / n) for k < n / 4, the cosines then the sines: the
// twiddles of the packed real transform of power-of-two length n.
fft_table packed_real_twiddles(int n);

// A new table's storage; a refusal is reported ("Out of memory!") and
// unwinds as std::bad_alloc, as a scratch buffer's does.
void report_no_memory();
template <class T, class... Args>
std::shared_ptr<T> table_storage(Args&&... args)
{
    try {
        return std::make_shared<T>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        report_no_memory();
        throw;
    }
}

namespace fft_cache {
enum class kind { complex_table, real_table, packed_twiddles, fftw_plans, bluestein };
// variant tells apart tables of one length and kind (direction, backend).
std::shared_ptr<const void> find(kind k, int n, int variant);
// Keeps made (of about `bytes` bytes) unless a table of that key arrived
// first, and returns the one kept; made itself when it is too large.
std::shared_ptr<const void> keep(kind k, int n, int variant, std::shared_ptr<const void> made, std::size_t bytes);
} // namespace fft_cache

// ---- aligned work arrays ----
// FFTW's plans are made for arrays aligned to this many bytes and run only
// on arrays aligned alike.
constexpr std::size_t fft_alignment = 64;

// count doubles aligned to fft_alignment, released with the function.
class aligned_doubles {
public:
    explicit aligned_doubles(std::size_t count);
    double* get() const { return p_; }

private:
    scratch<double> room_;
    double* p_ = nullptr;
};

// ---- the backend for lengths of factors 2, 3 and 5 ----
// A complex transform of length m on m interleaved pairs aligned to
// fft_alignment: FFTW's plans when FFTW is built in and not switched off,
// our own kernel otherwise. A small handle onto cached tables; copies share
// them.
class smooth_fft {
public:
    explicit smooth_fft(int m);
    int size() const { return m_; }
    // Scratch doubles the transform needs beside its data.
    std::size_t scratch_size() const { return own_ ? 2 * std::size_t(m_) : 0; }
    // In place; dir -1 forward, +1 backward, not scaled.
    void run(double* c, double* scratch, int dir) const noexcept;

private:
    int m_;
    std::shared_ptr<const void> fftw_;  // the FFTW plans of both directions
    fft_table own_;                     // our kernel's table
};

// ---- power-of-two backend ----
// The state a power-of-two length needs, shared by every column of one
// call: the backend and its interleaved work arrays.
struct pow2_table {
    int n = 0;
    std::unique_ptr<smooth_fft> fft;
    std::unique_ptr<aligned_doubles> buffer;  // 2n interleaved doubles
    scratch<double> work;                     // the backend's scratch
};

// isign 0 builds the table for length n (a power of two); -1 transforms
// re/im forward in place; +1 backward in place including the factor 1/n.
// The table must have been built for the same n.
void pow2_fft(double* re, double* im, int n, int isign, pow2_table& table);

// Which backend serves powers of two (and the other lengths of factors 2, 3
// and 5): true when FFTW is built in and not switched off for testing.
bool pow2_backend_is_fftw() noexcept;
// Routes those lengths to our own kernel even when FFTW is built in (tests
// and benchmarks compare the two backends in one build). Returns the old
// setting.
bool pow2_force_own_kernel(bool on) noexcept;

// ---- Bluestein's transform ----
// The largest prime factor the general odd passes are given; a length with
// a larger one goes to Bluestein's transform, which takes every length up
// to 2^29. Below it the cheaper of the two serves.
constexpr int largest_direct_factor = 1024;

// True when Bluestein's transform of length n costs less than the
// mixed-radix passes (of the real kernel for real input).
bool bluestein_pays(int n, bool real_input) noexcept;

// The convolution length of Bluestein's transform of length n: the
// cheapest length of factors 2, 3 and 5 that is at least 2n - 1.
int bluestein_length(int n) noexcept;

// One length n and direction dir (-1 forward, +1 backward, unscaled): the
// chirp and the transformed convolution kernel (cached), and the work
// arrays shared by every column of a call.
struct bluestein_table;
class bluestein_plan {
public:
    bluestein_plan(int n, int dir);
    ~bluestein_plan();
    // re/im: n values, transformed in place.
    void transform(double* re, double* im) noexcept;

private:
    std::shared_ptr<const bluestein_table> table_;
    aligned_doubles work_;  // 2m: the column being convolved
    scratch<double> scratch_;
};

// The FFTW side (fft_fftw.cpp, present only when built with FFTW).
namespace fftw_backend {
// The plans of both directions for in-place transforms of length m on
// interleaved arrays aligned to fft_alignment; destroyed with the last
// holder. Empty when FFTW cannot plan the length.
std::shared_ptr<const void> interleaved_plans(int m);
void execute(const void* plans, int dir, double* c) noexcept;
} // namespace fftw_backend
