// The runtime allocator: power-of-two size classes with free lists, carved
// from one reserved address range committed a page unit at a time; requests
// over 128 KiB get a mapping each. Values are created and dropped at a
// high rate (every temporary of every statement), almost all small.
#include "value/allocator.hpp"
#include "value/runtime.hpp"
#include "platform/blas_threads.hpp"
#include "platform/memory.hpp"
#include "velkor/report.h"
#include "velkor/runtime.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

#if defined(NUMRUN_SANITIZE)
#include <sanitizer/asan_interface.h>
#define POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define POOL_POISON(p, n) ((void)(p), (void)(n))
#define POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

int qv_mt_mode = 0;

namespace {

// The test-only failure switch: 0 disarmed, otherwise the number of requests
// left until the one that fails. Read on every request, so kept to one word.
std::atomic<long> fail_countdown{0};
bool fail_fired = false;
std::atomic<long> large_live{0};
std::atomic<bool> give_back_on{true};

// Whether this request is the one the switch refuses.
inline bool refused_by_switch()
{
    if (__builtin_expect(fail_countdown.load(std::memory_order_relaxed) == 0, 1))
        return false;
    if (fail_countdown.fetch_sub(1, std::memory_order_relaxed) != 1)
        return false;
    fail_fired = true;
    return true;
}

constexpr std::size_t heap_threshold = 0x20000;    // m = n + 8 above this: a mapping of its own
// Address space reserved at a time. Linux places new mappings below the
// previous ones, so the range just past a reservation is rarely free for a
// contiguous extension: without a limit, the first reservation is made
// large enough to serve any realistic pool (it costs address space only,
// committed a unit at a time), smaller where the system refuses that
// (valgrind). Under an address-space limit every reserved byte counts
// against it, and the libraries beside this one need their share (OpenBLAS
// maps a 128 MiB buffer at its first call and tries again for ever when it
// cannot): the pool reserves a sixteenth of what the limit leaves at a
// time, placed where it can grow, and grows only as it needs.
constexpr std::size_t largest_reservation = std::size_t{64} << 30;
constexpr std::size_t smallest_reservation = 0x8000000;
constexpr std::size_t smallest_limited_reservation = std::size_t{1} << 20;
constexpr unsigned char pool_mark = 0xEF;
constexpr std::size_t prefix = 12;                 // header (4) and prefix (8) before the pointer
// Free blocks below this many bytes stay as they are: a program that frees
// a little keeps its pages warm.
constexpr std::size_t give_back_floor = std::size_t{8} << 20;
// Free memory this far beyond what is kept goes back at once, without
// waiting to see it stay free: too much to hold on a guess. A short
// program's working set below it stays warm from the first round.
constexpr std::size_t prompt_give_back = std::size_t{32} << 20;

// What a program that frees and rebuilds its memory round after round
// keeps warm grows with what it takes back, up to this: past it, memory
// it is done with would stay resident (and, under an address-space limit,
// mapped, where the standard heap, the host and the libraries beside this
// one cannot reach it) until the program allocates again, if ever. A
// larger working set faults its pages in again each round, no more than
// building it writes them anyway. Under a limit, a thirty-second of it.
constexpr std::size_t most_kept_warm = std::size_t{256} << 20;

std::size_t keep_bound()
{
    const std::size_t limit = platform::address_space_limit();
    return limit == 0 ? most_kept_warm : std::max(give_back_floor, std::min(most_kept_warm, limit / 32));
}

// Constant-initialised and never destroyed, so that values released by the
// last static destructors still find a working allocator.
constinit block_pool pool;

inline char* load_link(const char* block)
{
    char* next;
    std::memcpy(&next, block + 4, sizeof next);
    return next;
}

inline void store_link(char* block, char* next) { std::memcpy(block + 4, &next, sizeof next); }

// Smallest e with 2^e >= n, for n >= 1.
inline int ceil_log2(std::size_t n) { return n <= 1 ? 0 : 64 - __builtin_clzl(n - 1); }

inline int class_of(const void* p) { return static_cast<const unsigned char*>(p)[-static_cast<int>(prefix) + 1]; }

// OpenBLAS maps its working buffer at its first call and cannot do without
// it: under an address-space limit the buffer is made before a reservation
// of the pool leaves too little room for it, so that a program whose small
// values fill memory still has its linear algebra.
void make_blas_buffer_before(std::size_t reservation)
{
    if (platform::address_space_limit() != 0 && platform::address_space_left() < reservation + 2 * blas_buffer_room)
        blas_buffer_ready();
}

} // namespace

void block_pool::setup()
{
    unit_ = 8 * platform::page_size();
    int log2_unit = 0;
    while ((std::size_t{1} << log2_unit) < unit_)
        ++log2_unit;
    unit_shift_ = log2_unit;
    first_large_ = log2_unit - 3;
}

// Moves the break forward by k bytes, reserving and committing as needed.
bool block_pool::advance_break(std::size_t k)
{
    if (!region_) {
        char* r = nullptr;
        std::size_t size = largest_reservation;
        if (const std::size_t limit = platform::address_space_limit()) {
            const std::size_t share = platform::address_space_left() / 16;
            while (size > smallest_limited_reservation && size > share)
                size /= 2;
            make_blas_buffer_before(size);
            r = static_cast<char*>(platform::reserve_growable(size, limit));
#if !defined(NUMRUN_SANITIZE)
            unmap_idle_ = true;  // the checker's leak scan covers whole reservations
#endif
        } else {
            for (; size >= smallest_reservation; size /= 4)
                if ((r = static_cast<char*>(platform::reserve(nullptr, size))))
                    break;
        }
        if (!r)
            return false;
        region_ = brk_ = committed_end_ = r;
        reserved_end_ = r + size;
        reservation_ = size;
    }
    if (brk_ + k >= reserved_end_) {
        if (committed_end_ < reserved_end_) {
            if (!platform::commit(committed_end_, reserved_end_ - committed_end_))
                return false;
            committed_end_ = reserved_end_;
        }
        make_blas_buffer_before(reservation_);
        if (!platform::reserve(reserved_end_, reservation_))
            return false;
        reserved_end_ += reservation_;
    }
    brk_ += k;
    if (brk_ > committed_end_) {
        std::size_t need = brk_ - committed_end_;
        std::size_t units = (need + unit_ - 1) / unit_;
        if (!platform::commit(committed_end_, units * unit_)) {
            brk_ -= k;
            return false;
        }
        committed_end_ += units * unit_;
    }
    return true;
}

// The first request aligns the break so that break + 4 is a multiple of P.
bool block_pool::start_region()
{
    if (!advance_break(0))
        return false;
    auto at = reinterpret_cast<std::uintptr_t>(brk_) + 4;
    std::size_t skip = (unit_ - at % unit_) % unit_;
    if (!advance_break(skip))
        return false;
    base_ = brk_;
    keep_ = give_back_floor;
    retaken_units_ = 0;
    free_after_pass_ = 0;
    next_give_back_ = keep_;
    waiting_ = false;
    return true;
}

// Maps back the units [a, b) given back earlier (with the pages they share
// with given-back neighbours); under a limit the system may refuse, or
// something else may have taken part of the range, which loses the units.
block_pool::retaken block_pool::retake(std::size_t a, std::size_t b)
{
    if (unmap_idle_) {
        const std::size_t page = platform::page_size();
        char* lo = base_ + a * unit_ + 4 - (a > 0 && is_idle(a - 1) ? page : 0);
        char* hi = base_ + b * unit_ + 4 - page + (is_idle(b) ? page : 0);
        switch (platform::map_at(lo, static_cast<std::size_t>(hi - lo))) {
        case platform::map_outcome::mapped:
            break;
        case platform::map_outcome::occupied:
            for (std::size_t u = a; u < b; ++u)
                lost_map_[u >> 6] |= std::uint64_t{1} << (u & 63);
            return retaken::occupied;
        case platform::map_outcome::refused:
            return retaken::refused;
        }
    }
    for (std::size_t u = a; u < b; ++u)
        idle_map_[u >> 6] &= ~(std::uint64_t{1} << (u & 63));
    idle_count_ -= b - a;
    retaken_units_ += b - a;
    return retaken::yes;
}

// A unit given back to the system earlier, for a small class to carve: the
// lowest first, so that the units near the break stay with the system.
bool block_pool::take_idle_unit(char*& start)
{
    while (stack_count_ > 0) {
        const std::size_t u = idle_units_[--stack_count_];
        if (!is_idle(u) || is_lost(u))
            continue;  // taken for a large block since
        switch (retake(u, u + 1)) {
        case retaken::yes:
            start = base_ + u * unit_;
            return true;
        case retaken::occupied:
            continue;
        case retaken::refused:
            ++stack_count_;
            return false;
        }
    }
    return false;
}

// k consecutive units given back earlier, for a large block.
bool block_pool::take_idle_run(std::size_t k, char*& start)
{
    for (;;) {
        if (idle_count_ < k)
            return false;
        std::size_t run = 0, u = 0;
        const std::size_t end = map_words_ * 64;
        while (u < end && run < k) {
            const std::uint64_t word = idle_map_[u >> 6] & ~lost_map_[u >> 6];
            if ((u & 63) == 0 && word == 0) {
                run = 0;
                u += 64;
                continue;
            }
            run = (word >> (u & 63) & 1) ? run + 1 : 0;
            ++u;
        }
        if (run < k)
            return false;
        switch (retake(u - k, u)) {
        case retaken::yes:
            start = base_ + (u - k) * unit_;
            return true;
        case retaken::occupied:
            continue;
        case retaken::refused:
            return false;
        }
    }
}

void block_pool::schedule_give_back()
{
    next_give_back_ = free_after_pass_ + std::max(keep_, held() / 4);
}

// Units given back and taken again since the last pass were the program's
// working memory, not memory it was done with: twice that much stays warm
// from now on. Returns whether the free lists still grew past what is kept.
bool block_pool::keep_judged()
{
    if (retaken_units_ > 0) {
        keep_ = std::max(keep_, std::min(2 * retaken_units_ * unit_, keep_bound()));
        retaken_units_ = 0;
        schedule_give_back();
    }
    return free_bytes_ >= next_give_back_;
}

// Whether the free lists, now past the point that triggers a pass, have
// stayed past it through a stretch in which the program allocated, or have
// grown by far more since the last pass; otherwise a stretch starts (once
// the program has allocated since the last one began), and nothing goes
// back yet.
bool block_pool::stayed_free()
{
    if (free_bytes_ >= free_after_pass_ + std::max(keep_, prompt_give_back))
        return true;
    if (waiting_ && allocated_ && free_low_ >= next_give_back_)
        return true;
    if (!waiting_ || allocated_) {
        waiting_ = true;
        allocated_ = false;
        free_low_ = free_bytes_;
    }
    return false;
}

bool block_pool::refill(int c)
{
    if (!region_ && !start_region())
        return false;
    char* start = brk_;
    std::size_t size = block_bytes(c);
    if (c < first_large_) {
        if (!take_idle_unit(start) && !advance_break(unit_))
            return false;
        free_bytes_ += unit_;  // block sizes divide the unit
        POOL_UNPOISON(start, unit_);
        std::size_t n = unit_ / size;
        for (std::size_t k = 0; k < n; ++k)
            store_link(start + k * size, k + 1 < n ? start + (k + 1) * size : nullptr);
    } else {
        if (!take_idle_run(size / unit_, start) && !advance_break(size))
            return false;
        free_bytes_ += nominal_bytes(c);
        POOL_UNPOISON(start, size);
        store_link(start, nullptr);
    }
    free_list_[c] = start;
    return true;
}

// The first class whose usable size holds m: small classes from class 0,
// requests above a page unit from the first large class.
inline int block_pool::class_for(std::size_t m) const
{
    int c;
    if (m <= unit_ - 4) {
        c = ceil_log2(m + 4) - 3;
        if (c < 0)
            c = 0;
    } else {
        c = ceil_log2(m - unit_ + 4) - 3;
        if (c < first_large_)
            c = first_large_;
    }
    return c < classes ? c : -1;
}

// Where the system refuses more address space, the free blocks of other
// classes may still hold whole units: given back, they serve this one.
bool block_pool::refill_or_give_back(int c)
{
    if (refill(c))
        return true;
    if (!unmap_idle_ || free_bytes_ == 0)
        return false;
    pass();
    return refill(c);
}

void* block_pool::allocate(std::size_t m)
{
    mt_lock guard(lock_allocator);
    if (__builtin_expect(unit_ == 0, 0))
        setup();
    int c = class_for(m);
    if (__builtin_expect(c < 0, 0))
        return nullptr;
    if (__builtin_expect(!free_list_[c], 0) && !refill_or_give_back(c))
        return nullptr;
    char* block = free_list_[c];
    free_list_[c] = load_link(block);
    // The header in one store: the mark, the class, and bytes 2 and 3 clear.
    const std::uint32_t header = pool_mark | std::uint32_t(c) << 8;
    std::memcpy(block, &header, sizeof header);
    block[prefix - 1] = 0;  // the byte before the pointer tells pool from heap
    ++live_;
    free_bytes_ -= nominal_bytes(c);
    free_low_ = std::min(free_low_, free_bytes_);
    allocated_ = true;
    char* p = block + prefix;
    POOL_POISON(p, block_bytes(c) - prefix);  // the slack past the request too
    POOL_UNPOISON(p, m - 8);
    return p;
}

void block_pool::release_region()
{
    // The range may be mapped again at the same address: leave no poison.
    POOL_UNPOISON(region_, committed_end_ - region_);
    if (region_ && unmap_idle_ && idle_count_ > 0) {
        // What lies in the holes of given-back units may be another's now:
        // only the pool's own parts go.
        const std::size_t page = platform::page_size();
        char* from = region_;
        for (std::size_t u = 0; u < map_words_ * 64;) {
            if (!is_idle(u)) {
                ++u;
                continue;
            }
            const std::size_t first = u;
            while (is_idle(u))
                ++u;
            char* hole = base_ + first * unit_ + 4;
            platform::unmap(from, static_cast<std::size_t>(hole - from));
            from = base_ + u * unit_ + 4 - page;
        }
        platform::unmap(from, static_cast<std::size_t>(reserved_end_ - from));
    } else if (region_)
        platform::release(region_, reserved_end_ - region_, reservation_);
    std::free(idle_units_);
    std::free(idle_map_);
    std::free(lost_map_);
    *this = block_pool();
}

// Whole units without a block in use leave the free lists and go back to the
// system (under an address-space limit unmapped, otherwise kept mapped, for
// reuse before the break moves); free large blocks leave whole. Runs once
// the free lists have grown past what is kept warm (a quarter of what the
// pool holds, 8 MiB at least, more while what it gives back is taken
// straight back) since the last run, so its walks of the lists cost each
// freed block a few steps at most.
void block_pool::give_back()
{
    if (!give_back_on.load(std::memory_order_relaxed) || !keep_judged() || !stayed_free())
        return;
    waiting_ = false;
    pass();
}

void block_pool::give_back_now()
{
    mt_lock guard(lock_allocator);
    if (region_ && free_bytes_ > 0)
        pass();
}

void block_pool::pass()
{
    free_after_pass_ = free_bytes_;
    schedule_give_back();
    const std::size_t units = static_cast<std::size_t>(brk_ - base_) >> unit_shift_;
    // Room for a bit per unit, and for every unit on the stack of those to
    // take next, before anything changes.
    const std::size_t words = units / 64 + 1;
    if (words > map_words_) {
        const std::size_t grown_words = std::max(words, 2 * map_words_);
        auto* idle = static_cast<std::uint64_t*>(std::realloc(idle_map_, grown_words * sizeof(std::uint64_t)));
        if (idle)
            idle_map_ = idle;
        auto* lost = idle ? static_cast<std::uint64_t*>(std::realloc(lost_map_, grown_words * sizeof(std::uint64_t))) : nullptr;
        if (lost)
            lost_map_ = lost;
        if (!idle || !lost)
            return;
        std::fill(idle_map_ + map_words_, idle_map_ + grown_words, std::uint64_t{0});
        std::fill(lost_map_ + map_words_, lost_map_ + grown_words, std::uint64_t{0});
        map_words_ = grown_words;
    }
    if (units > idle_slots_) {
        const std::size_t slots = std::max<std::size_t>(64, std::max(2 * idle_slots_, units));
        auto* grown = static_cast<std::uint32_t*>(std::realloc(idle_units_, slots * sizeof(std::uint32_t)));
        if (!grown)
            return;
        idle_units_ = grown;
        idle_slots_ = slots;
    }
    auto* free_in = static_cast<std::uint32_t*>(std::calloc(units > 0 ? units : 1, sizeof(std::uint32_t)));
    if (!free_in)
        return;
    // Free blocks per unit; a unit is carved for one class, so a unit whose
    // count is its class's blocks per unit has none in use.
    for (int c = 0; c < first_large_; ++c)
        for (char* b = free_list_[c]; b; b = load_link(b))
            ++free_in[unit_of(b)];
    constexpr std::uint32_t whole = 0xFFFFFFFF;
    for (int c = 0; c < first_large_; ++c) {
        const auto per_unit = static_cast<std::uint32_t>(unit_ / block_bytes(c));
        for (char* b = free_list_[c]; b; b = load_link(b)) {
            std::uint32_t& n = free_in[unit_of(b)];
            if (n == per_unit) {
                n = whole;
                free_bytes_ -= unit_;
            }
        }
    }
    // A free large block covers whole units of its own.
    for (int c = first_large_; c < classes; ++c) {
        for (char* b = free_list_[c]; b; b = load_link(b)) {
            const std::size_t first = unit_of(b);
            std::fill(free_in + first, free_in + first + block_bytes(c) / unit_, whole);
            free_bytes_ -= nominal_bytes(c);
        }
        free_list_[c] = nullptr;
    }
    for (int c = 0; c < first_large_; ++c) {
        char* head = nullptr;
        char* last = nullptr;
        for (char* b = free_list_[c]; b; b = load_link(b)) {
            if (free_in[unit_of(b)] == whole)
                continue;
            if (last)
                store_link(last, b);
            else
                head = b;
            last = b;
        }
        if (last)
            store_link(last, nullptr);
        free_list_[c] = head;
    }
    // Each run of units newly free goes back whole, with the page it shares
    // with a neighbour given back earlier.
    const std::size_t page = platform::page_size();
    for (std::size_t u = 0; u < units;) {
        if (free_in[u] != whole) {
            ++u;
            continue;
        }
        const std::size_t first = u;
        while (u < units && free_in[u] == whole)
            ++u;
        char* lo = base_ + first * unit_ + 4 - (first > 0 && is_idle(first - 1) ? page : 0);
        char* hi = base_ + u * unit_ + 4 - page + (is_idle(u) ? page : 0);
        if (unmap_idle_)
            platform::unmap(lo, static_cast<std::size_t>(hi - lo));
        else
            platform::decommit(lo, static_cast<std::size_t>(hi - lo));
        for (std::size_t v = first; v < u; ++v)
            idle_map_[v >> 6] |= std::uint64_t{1} << (v & 63);
        idle_count_ += u - first;
    }
    std::free(free_in);
    // The units to take next: the lowest on top.
    stack_count_ = 0;
    for (std::size_t u = units; u-- > 0;)
        if (is_idle(u) && !is_lost(u))
            idle_units_[stack_count_++] = static_cast<std::uint32_t>(u);
    free_after_pass_ = free_bytes_;
    schedule_give_back();
}

void block_pool::free(char* p)
{
    mt_lock guard(lock_allocator);
    char* block = p - prefix;
    if (static_cast<unsigned char>(block[0]) != pool_mark)
        return;  // not ours, or freed already
    int c = static_cast<unsigned char>(block[1]);
    block[0] = 0;
    store_link(block, free_list_[c]);
    free_list_[c] = block;
    POOL_POISON(p, block_bytes(c) - prefix);
    if (--live_ == 0) {
        release_region();
        return;
    }
    free_bytes_ += nominal_bytes(c);
    if (free_bytes_ >= next_give_back_)
        give_back();
}

std::size_t block_pool::usable(const void* p) const { return usable_bytes(class_of(p)) - 8; }

bool block_pool::fits_exactly(const void* p, std::size_t m) const
{
    int c = class_of(p);
    return usable_bytes(c) >= m && !(c > 0 && usable_bytes(c - 1) >= m);
}

namespace {

// Large blocks are each a mapping of their own, so that a dropped one gives
// its address space back (the standard heap keeps a freed block below a
// live one, and tuning it for large blocks would tune the host's heap too).
// Freed ones stay mapped while they amount to about one block: the next
// large result of a statement then reuses pages already in memory. Past
// the largest block freed since the last release (and some room), they go
// back to the system, once they have stayed free through a stretch in
// which the program made large blocks (so a short loop that frees and
// makes its results again each round keeps them from its first round), or
// at once when far more is free. Blocks mapped anew after a release, up to
// what it gave back, count as that memory taken back (a program freeing and
// rebuilding several large blocks each round): the room grows to twice
// that. A block freed right after a larger one was taken (what a growing
// array leaves behind) is not kept. Under an address-space limit at most a thirty-second of the limit
// stays, and a refused mapping first gives back everything kept.
class large_blocks {
public:
    struct mapping {
        char* at = nullptr;
        std::size_t bytes = 0;
    };
    mapping take(std::size_t bytes);
    void give(mapping m);
    char* resize(mapping m, std::size_t new_bytes);
    // Gives back what is kept and starts the judgement afresh.
    void reset();

private:
    enum { slots = 32 };
    static constexpr std::size_t room = std::size_t{4} << 20;
    void release_kept();
    bool stayed_free(std::size_t limit);

    mapping kept_[slots] = {};
    int count_ = 0;
    std::size_t kept_bytes_ = 0;
    std::size_t largest_ = 0;   // the largest block freed since the last release
    std::size_t keep_ = room;
    std::size_t released_ = 0;  // bytes the last release gave back
    std::size_t remapped_ = 0;  // bytes mapped anew since
    // The stretch the kept bytes must stay above the room through: whether
    // it has started, whether a block was made since, and the least kept
    // bytes since.
    bool waiting_ = false;
    bool made_ = false;
    std::size_t low_ = 0;
    std::size_t last_taken_ = 0;  // the block taken since the last was freed
};

constinit large_blocks large;

void large_blocks::release_kept()
{
    for (int k = 0; k < count_; ++k) {
        POOL_UNPOISON(kept_[k].at, kept_[k].bytes);
        platform::unmap_block(kept_[k].at, kept_[k].bytes);
    }
    count_ = 0;
    kept_bytes_ = 0;
}

void large_blocks::reset()
{
    mt_lock guard(lock_allocator);
    release_kept();
    largest_ = released_ = remapped_ = 0;
    keep_ = room;
    waiting_ = false;
}

// The smallest kept mapping that holds bytes without wasting half of
// itself, or a new one.
large_blocks::mapping large_blocks::take(std::size_t bytes)
{
    {
        mt_lock guard(lock_allocator);
        made_ = true;
        last_taken_ = bytes;
        int best = -1;
        for (int k = 0; k < count_; ++k)
            if (kept_[k].bytes >= bytes && kept_[k].bytes / 2 <= bytes &&
                (best < 0 || kept_[k].bytes < kept_[best].bytes))
                best = k;
        if (best >= 0) {
            const mapping m = kept_[best];
            kept_[best] = kept_[--count_];
            kept_bytes_ -= m.bytes;
            low_ = std::min(low_, kept_bytes_);
            return m;
        }
    }
    char* at = static_cast<char*>(platform::map_block(bytes));
    if (!at) {
        {
            mt_lock guard(lock_allocator);
            release_kept();
        }
        pool.give_back_now();
        at = static_cast<char*>(platform::map_block(bytes));
        if (!at)
            return {};
    }
    mt_lock guard(lock_allocator);
    remapped_ += bytes;
    return {at, bytes};
}

char* large_blocks::resize(mapping m, std::size_t new_bytes)
{
    POOL_UNPOISON(m.at, m.bytes);  // the range may move: leave no poison behind
    char* at = static_cast<char*>(platform::remap_block(m.at, m.bytes, new_bytes));
    if (!at && new_bytes > m.bytes) {
        {
            mt_lock guard(lock_allocator);
            release_kept();
        }
        pool.give_back_now();
        at = static_cast<char*>(platform::remap_block(m.at, m.bytes, new_bytes));
    }
    if (at && new_bytes > m.bytes) {
        mt_lock guard(lock_allocator);
        remapped_ += new_bytes - m.bytes;
    }
    return at;
}

// Whether the kept bytes, now past the room, have stayed past it through
// a stretch in which blocks were made, or far more is kept. Otherwise a
// stretch starts (once blocks were made since the last one began).
bool large_blocks::stayed_free(std::size_t limit)
{
    if (kept_bytes_ > limit + prompt_give_back)
        return true;
    if (waiting_ && made_ && low_ > limit)
        return true;
    if (!waiting_ || made_) {
        waiting_ = true;
        made_ = false;
        low_ = kept_bytes_;
    }
    return false;
}

void large_blocks::give(mapping m)
{
    POOL_POISON(m.at, m.bytes);
    mt_lock guard(lock_allocator);
    const bool judged = give_back_on.load(std::memory_order_relaxed);
    const std::size_t limit = platform::address_space_limit();
    // A block freed right after a larger one was taken is what an array
    // that grew left behind: no result of its size is coming.
    const bool outgrown = m.bytes < last_taken_ / 4 * 3;
    last_taken_ = 0;
    if (judged && (outgrown || (limit != 0 && kept_bytes_ + m.bytes > limit / 32))) {
        POOL_UNPOISON(m.at, m.bytes);
        platform::unmap_block(m.at, m.bytes);
        return;
    }
    if (count_ == slots) {  // the oldest goes
        POOL_UNPOISON(kept_[0].at, kept_[0].bytes);
        platform::unmap_block(kept_[0].at, kept_[0].bytes);
        kept_bytes_ -= kept_[0].bytes;
        std::copy(kept_ + 1, kept_ + count_, kept_);
        --count_;
    }
    kept_[count_++] = m;
    kept_bytes_ += m.bytes;
    largest_ = std::max(largest_, m.bytes);
    if (!judged || kept_bytes_ <= largest_ + keep_)
        return;
    if (released_ > 0) {
        const std::size_t refaulted = std::min(released_, remapped_);
        if (2 * refaulted > keep_) {
            keep_ = std::min(2 * refaulted, keep_bound());
            if (kept_bytes_ <= largest_ + keep_)
                return;
        }
    }
    if (!stayed_free(largest_ + keep_))
        return;
    waiting_ = false;
    released_ = kept_bytes_;
    remapped_ = 0;
    largest_ = 0;
    release_kept();
}

// A large block's mapping starts 8 bytes before the pointer: its size in
// the first seven, and in the eighth the distance 8, which tells a large
// block from a pool block (whose byte before the pointer is 0).
constexpr std::size_t large_prefix = 8;

inline bool is_large_block(const void* p) { return static_cast<const char*>(p)[-1] != 0; }

inline large_blocks::mapping mapping_of(void* p)
{
    char* at = static_cast<char*>(p) - large_prefix;
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, at, 7);
    return {at, static_cast<std::size_t>(bytes)};
}

inline char* start_large_block(char* at, std::size_t bytes, std::size_t n)
{
    POOL_UNPOISON(at, large_prefix + n);  // a kept mapping is poisoned whole
    const std::uint64_t size = bytes;
    std::memcpy(at, &size, 7);
    at[7] = static_cast<char>(large_prefix);
    char* p = at + large_prefix;
    POOL_POISON(p + n, bytes - large_prefix - n);
    return p;
}

inline std::size_t mapped_bytes_for(std::size_t n)
{
    const std::size_t page = platform::page_size();
    return (n + large_prefix + page - 1) / page * page;
}

void* large_malloc(std::size_t n)
{
    const large_blocks::mapping m = large.take(mapped_bytes_for(n));
    if (!m.at)
        return nullptr;
    ++large_live;
    return start_large_block(m.at, m.bytes, n);
}

std::size_t usable_size(void* p)
{
    if (is_large_block(p))
        return mapping_of(p).bytes - large_prefix;
    return pool.usable(p);
}

} // namespace

void* qv_malloc(std::size_t n)
{
    if (n > SIZE_MAX / 2 || refused_by_switch())
        return nullptr;
    std::size_t m = n + 8;
    if (m > heap_threshold)
        return large_malloc(n);
    return pool.allocate(m);
}

void qv_free(void* p)
{
    if (!p)
        return;
    if (is_large_block(p)) {
        --large_live;
        large.give(mapping_of(p));
    } else
        pool.free(static_cast<char*>(p));
}

void* qv_realloc(void* p, std::size_t n)
{
    if (!p)
        return qv_malloc(n);
    if (n == 0) {
        qv_free(p);
        return nullptr;
    }
    if (n > SIZE_MAX / 2)
        return nullptr;
    if (!is_large_block(p) && pool.fits_exactly(p, n + 8)) {
        POOL_UNPOISON(p, n);
        return p;
    }
    if (is_large_block(p) && n + 8 > heap_threshold) {
        // Large to large: the system resizes the mapping in place where it
        // can, and otherwise moves its pages without copying them.
        if (refused_by_switch())
            return nullptr;
        const large_blocks::mapping m = mapping_of(p);
        const std::size_t bytes = mapped_bytes_for(n);
        char* at = bytes == m.bytes ? m.at : large.resize(m, bytes);
        if (!at)
            return nullptr;
        return start_large_block(at, bytes, n);
    }
    void* q = qv_malloc(n);
    if (!q)
        return nullptr;
    std::size_t old = usable_size(p);
    POOL_UNPOISON(p, old);  // the whole class is copied, past the old request too
    std::memcpy(q, p, old < n ? old : n);
    qv_free(p);
    return q;
}

void qv_fail_allocation(long n)
{
    fail_countdown.store(n > 0 ? n : 0, std::memory_order_relaxed);
    fail_fired = false;
}

bool qv_allocation_failed() { return fail_fired; }

void qv_set_give_back(bool on)
{
    give_back_on.store(on, std::memory_order_relaxed);
    if (on)
        large.reset();
}

long qv_live_blocks() { return pool.live() + large_live; }

unsigned int qv_set_MT(int on)
{
    qv_mt_mode = on;
    return static_cast<unsigned int>(getpid());
}

// ---- the library's operator new ----
//
// Every allocation the library's own code makes through new (its standard
// containers and strings included) meets a refusal the way the runtime
// allocator's callers do: "Out of memory!" through error(), so that a host
// catches it as it catches every other error, and std::bad_alloc should the
// error hook return. The definitions are hidden: they serve this library's
// code alone, and the host's allocations, the host's own operator new and
// every operator delete stay as they are. Each takes the process's
// non-throwing operator new, so whatever serves the host's new (and pairs
// with its delete) serves the library's too.
namespace {

[[noreturn]] void refused_new()
{
    error("Out of memory!");
    throw std::bad_alloc();
}

} // namespace

// Hidden in the object file itself: the standard header declares these
// with default visibility, which an attribute here cannot override.
__asm__(".hidden _Znwm\n.hidden _Znam\n.hidden _ZnwmSt11align_val_t\n.hidden _ZnamSt11align_val_t");

void* operator new(std::size_t n)
{
    if (void* p = ::operator new(n, std::nothrow))
        return p;
    refused_new();
}

void* operator new[](std::size_t n)
{
    if (void* p = ::operator new[](n, std::nothrow))
        return p;
    refused_new();
}

void* operator new(std::size_t n, std::align_val_t a)
{
    if (void* p = ::operator new(n, a, std::nothrow))
        return p;
    refused_new();
}

void* operator new[](std::size_t n, std::align_val_t a)
{
    if (void* p = ::operator new[](n, a, std::nothrow))
        return p;
    refused_new();
}
