// Bluestein's transform: a length whose largest prime factor is large is
// rewritten as a cyclic convolution with a chirp, which the backend for
// lengths of factors 2, 3 and 5 (FFTW or our own kernel) computes in
// O(m log m), m >= 2n - 1 the cheapest such length, where the mixed-radix
// general pass would cost O(n p). A cost model of both chooses.
#include "signal/fft_kernels.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The cost of one pass of radix p per point, in units of about a
// nanosecond on our kernels (measured: the radix-2 to 5 butterflies, and
// the general odd pass, which sums p terms for each of its outputs).
double pass_cost(int p)
{
    switch (p) {
    case 2: return 1.0;
    case 3: return 1.85;
    case 4: return 2.2;
    case 5: return 2.3;
    default: return 0.45 * p;
    }
}

// A general pass of radix p also costs about this much whatever the
// length: its p^2 / 4 pairs of roots each start a loop over the rest of
// the length (and the real kernel evaluates its roots), which dominates
// when that rest is short.
double general_pass_overhead(int p) { return p > 5 ? 0.75 * double(p) * p : 0.0; }

// The cost of the mixed-radix passes of n: per point, its factors (the 2s
// taken in pairs as 4s); the overhead of its general passes; its largest
// prime factor.
struct mixed_radix_cost {
    double per_point = 0, overhead = 0;
    int largest = 1;
};

mixed_radix_cost cost_of(int n)
{
    mixed_radix_cost c;
    int twos = 0;
    auto take = [&](int d) {
        c.largest = d;
        if (d == 2) {
            ++twos;
        } else {
            c.per_point += pass_cost(d);
            c.overhead += general_pass_overhead(d);
        }
    };
    for (int d = 2; std::int64_t(d) * d <= n; d += d == 2 ? 1 : 2)
        while (n % d == 0) {
            n /= d;
            take(d);
        }
    if (n > 1)
        take(n);
    c.per_point += (twos / 2) * pass_cost(4) + (twos % 2) * pass_cost(2);
    return c;
}

// For lengths of factors 2, 3 and 5.
double cost_per_point(int m) { return cost_of(m).per_point; }

// FFTW's transforms at lengths of factors 2, 3 and 5 take about this share
// of our kernel's time.
double backend_share() { return pow2_backend_is_fftw() ? 0.6 : 1.0; }

// The real kernel does about this share of the complex kernel's work.
constexpr double real_share = 0.5;

double bluestein_cost(int n, int m)
{
    // two transforms of length m, the kernel's product over m, the chirp's
    // two products over n and the zeros
    return 2 * backend_share() * m * cost_per_point(m) + 1.5 * m + 2.0 * n;
}

} // namespace

int bluestein_length(int n) noexcept
{
    const std::int64_t target = 2 * std::int64_t(n) - 1;
    std::int64_t best = 1;
    while (best < target)
        best *= 2;
    double best_cost = double(best) * cost_per_point(int(best));
    for (std::int64_t f5 = 1; f5 < 2 * target; f5 *= 5)
        for (std::int64_t f35 = f5; f35 < 2 * target; f35 *= 3) {
            std::int64_t m = f35;
            while (m < target)
                m *= 2;
            if (m > INT32_MAX)
                continue;
            const double c = double(m) * cost_per_point(int(m));
            if (c < best_cost || (c == best_cost && m < best)) {
                best = m;
                best_cost = c;
            }
        }
    return int(best);
}

// The convolution length must stay an int; short lengths are direct.
bool bluestein_pays(int n, bool real_input) noexcept
{
    if (n < 32 || n > (1 << 29))
        return false;
    const mixed_radix_cost c = cost_of(n);
    if (c.largest <= 5)
        return false;
    if (c.largest > largest_direct_factor)
        return true;
    const double direct = (n * c.per_point + c.overhead) * (real_input ? real_share : 1.0);
    return bluestein_cost(n, bluestein_length(n)) < direct;
}

struct bluestein_table {
    bluestein_table(int n, int m) : n(n), m(m), chirp(2 * std::size_t(n)), kernel(2 * std::size_t(m)), fft(m) {}
    int n, m;
    std::vector<double> chirp;   // w_k interleaved, k < n
    std::vector<double> kernel;  // the kernel's transform, interleaved, times 1/m
    smooth_fft fft;
};

namespace {

std::shared_ptr<const bluestein_table> build_table(int n, int dir)
{
    auto t = table_storage<bluestein_table>(n, bluestein_length(n));
    const int m = t->m;
    // w_k = e^(dir i pi k^2 / n); k^2 is reduced modulo 2n in integers so
    // every angle lies in (-pi, pi] and keeps its digits at any k.
    const std::int64_t period = 2 * std::int64_t(n);
    double* w = t->chirp.data();
    for (int k = 0; k < n; ++k) {
        std::int64_t q = std::int64_t(k) * k % period;
        if (q > n)
            q -= period;
        const double phi = 3.141592653589793 * double(q) / n;
        w[2 * std::size_t(k)] = std::cos(phi);
        w[2 * std::size_t(k) + 1] = dir * std::sin(phi);
    }
    // The kernel: the conjugate chirp at lags -(n-1) .. n-1, wrapped, and
    // its transform, with the backward transform's 1/m folded in.
    aligned_doubles a(2 * std::size_t(m));
    scratch<double> s(t->fft.scratch_size());
    double* k = a.get();
    std::fill(k, k + 2 * std::size_t(m), 0.0);
    for (int j = 0; j < n; ++j) {
        const double c = w[2 * std::size_t(j)], sn = -w[2 * std::size_t(j) + 1];
        k[2 * std::size_t(j)] = c;
        k[2 * std::size_t(j) + 1] = sn;
        if (j > 0) {
            k[2 * std::size_t(m - j)] = c;
            k[2 * std::size_t(m - j) + 1] = sn;
        }
    }
    t->fft.run(k, s.get(), -1);
    const double f = 1.0 / m;
    for (std::size_t j = 0; j < 2 * std::size_t(m); ++j)
        t->kernel[j] = k[j] * f;
    return t;
}

std::shared_ptr<const bluestein_table> table_for(int n, int dir)
{
    const int variant = (dir < 0 ? 0 : 1) + (pow2_backend_is_fftw() ? 2 : 0);
    if (auto t = fft_cache::find(fft_cache::kind::bluestein, n, variant))
        return std::static_pointer_cast<const bluestein_table>(t);
    auto made = build_table(n, dir);
    const std::size_t bytes = sizeof(double) * (made->chirp.size() + made->kernel.size());
    return std::static_pointer_cast<const bluestein_table>(
        fft_cache::keep(fft_cache::kind::bluestein, n, variant, std::move(made), bytes));
}

} // namespace

bluestein_plan::bluestein_plan(int n, int dir) : table_(table_for(n, dir)), work_(2 * std::size_t(table_->m))
{
    scratch_.reset(table_->fft.scratch_size());
}

bluestein_plan::~bluestein_plan() = default;

void bluestein_plan::transform(double* re, double* im) noexcept
{
    const bluestein_table& t = *table_;
    const int n = t.n, m = t.m;
    double* a = work_.get();
    const double* w = t.chirp.data();
    for (std::size_t k = 0; k < std::size_t(n); ++k) {
        const double c = w[2 * k], s = w[2 * k + 1];
        a[2 * k] = re[k] * c - im[k] * s;
        a[2 * k + 1] = re[k] * s + im[k] * c;
    }
    std::fill(a + 2 * std::size_t(n), a + 2 * std::size_t(m), 0.0);
    t.fft.run(a, scratch_.get(), -1);
    const double* kv = t.kernel.data();
    for (std::size_t j = 0; j < std::size_t(m); ++j) {
        const double ar = a[2 * j], ai = a[2 * j + 1], kr = kv[2 * j], ki = kv[2 * j + 1];
        a[2 * j] = ar * kr - ai * ki;
        a[2 * j + 1] = ar * ki + ai * kr;
    }
    t.fft.run(a, scratch_.get(), +1);
    for (std::size_t k = 0; k < std::size_t(n); ++k) {
        const double c = w[2 * k], s = w[2 * k + 1];
        const double ar = a[2 * k], ai = a[2 * k + 1];
        re[k] = ar * c - ai * s;
        im[k] = ar * s + ai * c;
    }
}
