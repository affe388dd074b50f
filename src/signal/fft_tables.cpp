// The tables the transforms run on (the mixed-radix twiddles, the packed
// real twiddles, FFTW's plans, Bluestein's chirp and kernel), kept across
// calls in one process-wide cache: each costs about a transform to build,
// and a program transforms the same lengths again and again.
#include "signal/fft_kernels.hpp"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>
#include <new>

namespace fft_cache {
namespace {

// The cache holds at most this many tables and bytes; a table of more than
// half the bytes serves its call only.
constexpr std::size_t max_tables = 64;
constexpr std::size_t max_bytes = std::size_t(64) << 20;

struct entry {
    kind k;
    int n, variant;
    std::shared_ptr<const void> table;
    std::size_t bytes;
};

class cache {
public:
    std::shared_ptr<const void> find(kind k, int n, int variant)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->k == k && it->n == n && it->variant == variant) {
                entries_.splice(entries_.begin(), entries_, it);  // most recent first
                return it->table;
            }
        return nullptr;
    }

    std::shared_ptr<const void> keep(kind k, int n, int variant, std::shared_ptr<const void> made, std::size_t bytes)
    {
        if (!made || bytes > max_bytes / 2)
            return made;
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& e : entries_)
            if (e.k == k && e.n == n && e.variant == variant)
                return e.table;  // another thread built it first
        try {
            entries_.push_front(entry{k, n, variant, made, bytes});
        } catch (const std::bad_alloc&) {
            return made;  // kept nowhere, it still serves this call
        }
        bytes_ += bytes;
        while (entries_.size() > max_tables || bytes_ > max_bytes) {
            bytes_ -= entries_.back().bytes;
            entries_.pop_back();  // a call still using it holds its own reference
        }
        return entries_.front().table;
    }

private:
    std::mutex mutex_;
    std::list<entry> entries_;
    std::size_t bytes_ = 0;
};

cache& the_cache()
{
    static cache c;
    return c;
}

} // namespace

std::shared_ptr<const void> find(kind k, int n, int variant) { return the_cache().find(k, n, variant); }

std::shared_ptr<const void> keep(kind k, int n, int variant, std::shared_ptr<const void> made, std::size_t bytes)
{
    return the_cache().keep(k, n, variant, std::move(made), bytes);
}

} // namespace fft_cache

namespace {

template <class Fill>
fft_table cached_table(fft_cache::kind k, int n, std::size_t count, Fill fill)
{
    if (auto t = fft_cache::find(k, n, 0))
        return std::static_pointer_cast<const std::vector<double>>(t);
    auto made = table_storage<std::vector<double>>(count);
    fill(made->data());
    return std::static_pointer_cast<const std::vector<double>>(
        fft_cache::keep(k, n, 0, std::move(made), count * sizeof(double)));
}

} // namespace

fft_table complex_table(int n)
{
    return cached_table(fft_cache::kind::complex_table, n, 2 * std::size_t(n) + 16,
                        [n](double* t) { complex_fft_table(n, t); });
}

fft_table real_table(int n)
{
    return cached_table(fft_cache::kind::real_table, n, std::size_t(n) + 16, [n](double* t) { real_fft_table(n, t); });
}

// The product of a root at a multiple of the block and one within it, each
// evaluated directly, so two roundings per twiddle where a running product
// would drift with k.
fft_table packed_real_twiddles(int n)
{
    const int quarter = n / 4;
    return cached_table(fft_cache::kind::packed_twiddles, n, 2 * std::size_t(quarter), [n, quarter](double* t) {
        double* wr = t;
        double* wi = t + quarter;
        constexpr int block = 64;
        auto angle = [n](int k) { return -6.283185307179586 * k / n; };
        double fr[block], fi[block];
        for (int j = 0; j < block && j < quarter; ++j) {
            fr[j] = std::cos(angle(j));
            fi[j] = std::sin(angle(j));
        }
        double cr = 1, ci = 0;
        for (int k = 0; k < quarter; ++k) {
            const int j = k % block;
            if (j == 0 && k > 0) {
                cr = std::cos(angle(k));
                ci = std::sin(angle(k));
            }
            wr[k] = cr * fr[j] - ci * fi[j];
            wi[k] = cr * fi[j] + ci * fr[j];
        }
    });
}

void report_no_memory() { error("Out of memory!"); }

aligned_doubles::aligned_doubles(std::size_t count)
{
    constexpr std::size_t slack = fft_alignment / sizeof(double);
    room_.reset(count + slack);
    const auto at = reinterpret_cast<std::uintptr_t>(room_.get());
    const std::uintptr_t up = (at + fft_alignment - 1) / fft_alignment * fft_alignment;
    p_ = room_.get() + (up - at) / sizeof(double);
}
