// The runtime allocator: power-of-two size classes with free lists, carved
// from one reserved address range committed a page unit at a time; requests
// over 128 KiB go to the standard heap. Values are created and dropped at a
// high rate (every temporary of every statement), almost all small.
#include "value/allocator.hpp"
#include "value/runtime.hpp"
#include "platform/memory.hpp"
#include "velkor/report.h"
#include "velkor/runtime.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <sys/resource.h>
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
std::atomic<long> heap_live{0};
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

constexpr std::size_t heap_threshold = 0x20000;    // m = n + 8 above this: standard heap
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
            r = static_cast<char*>(platform::reserve_growable(size, limit));
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

// A unit given back to the system earlier, for a small class to carve.
bool block_pool::take_idle_unit(char*& start)
{
    if (idle_count_ == 0)
        return false;
    start = base_ + std::size_t{idle_units_[--idle_count_]} * unit_;
    ++retaken_units_;
    return true;
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
        keep_ = std::max(keep_, std::min(2 * retaken_units_ * unit_, std::size_t{1} << 40));
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
        if (!advance_break(size))
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

void* block_pool::allocate(std::size_t m)
{
    mt_lock guard(lock_allocator);
    if (__builtin_expect(unit_ == 0, 0))
        setup();
    int c = class_for(m);
    if (__builtin_expect(c < 0, 0))
        return nullptr;
    if (__builtin_expect(!free_list_[c], 0) && !refill(c))
        return nullptr;
    char* block = free_list_[c];
    free_list_[c] = load_link(block);
    // The header in one store: the mark, the class, and byte 2 clear (a
    // large block's pages are in place again once it is handed out).
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
    if (region_)
        platform::release(region_, reserved_end_ - region_, reservation_);
    std::free(idle_units_);
    *this = block_pool();
}

// Whole units without a block in use leave the free lists and go back to the
// system (they stay mapped, for reuse before the break moves); the pages
// inside free large blocks go back too. Runs once the free lists have grown
// past what is kept warm (a quarter of what the pool holds, 8 MiB at least,
// more while what it gives back is taken straight back) since the last run,
// so its walks of the lists cost each freed block a few steps at most.
void block_pool::give_back()
{
    if (!give_back_on.load(std::memory_order_relaxed) || !keep_judged() || !stayed_free())
        return;
    waiting_ = false;
    free_after_pass_ = free_bytes_;
    schedule_give_back();
    const std::size_t units = static_cast<std::size_t>(brk_ - base_) >> unit_shift_;
    auto* free_in = static_cast<std::uint32_t*>(std::calloc(units > 0 ? units : 1, sizeof(std::uint32_t)));
    if (!free_in)
        return;
    // Free blocks per unit; a unit is carved for one class, so a unit whose
    // count is its class's blocks per unit has none in use.
    for (int c = 0; c < first_large_; ++c)
        for (char* b = free_list_[c]; b; b = load_link(b))
            ++free_in[unit_of(b)];
    constexpr std::uint32_t whole = 0xFFFFFFFF;
    std::size_t found = 0;
    for (int c = 0; c < first_large_; ++c) {
        const auto per_unit = static_cast<std::uint32_t>(unit_ / block_bytes(c));
        for (char* b = free_list_[c]; b; b = load_link(b)) {
            std::uint32_t& n = free_in[unit_of(b)];
            if (n == per_unit) {
                n = whole;
                ++found;
            }
        }
    }
    if (idle_count_ + found > idle_slots_) {
        const std::size_t slots = std::max<std::size_t>(64, std::max(2 * idle_slots_, idle_count_ + found));
        auto* grown = static_cast<std::uint32_t*>(std::realloc(idle_units_, slots * sizeof(std::uint32_t)));
        if (!grown) {
            std::free(free_in);
            return;  // nothing changed: the lists are as they were
        }
        idle_units_ = grown;
        idle_slots_ = slots;
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
    // Units start 4 bytes before a unit boundary: a run of them gives back
    // every page it holds whole.
    const std::size_t page = platform::page_size();
    for (std::size_t u = 0; u < units;) {
        if (free_in[u] != whole) {
            ++u;
            continue;
        }
        const std::size_t first = u;
        for (; u < units && free_in[u] == whole; ++u)
            idle_units_[idle_count_++] = static_cast<std::uint32_t>(u);
        platform::decommit(base_ + first * unit_ + 4, (u - first) * unit_ - page);
    }
    std::free(free_in);
    free_bytes_ -= found * unit_;
    for (int c = first_large_; c < classes; ++c)
        for (char* b = free_list_[c]; b; b = load_link(b)) {
            if (b[2])
                continue;  // given back at an earlier pass
            // The first page keeps the header and the link.
            b[2] = 1;
            platform::decommit(b + 4 + page, block_bytes(c) - 2 * page);
        }
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

// Freed large blocks stay resident while they amount to about one block:
// the next large result of a statement then reuses pages already in
// memory. Past the largest block freed since the last trim (and some
// room), the heap gives its free pages back to the system, once they have
// stayed free through a stretch in which the program made large blocks
// (so a short loop that frees and makes its results again each round
// keeps them from its first round), or at once when far more is free.
// Pages faulted in again after a trim, up to what it gave back, count as
// that memory taken back (a program freeing and rebuilding several large
// blocks each round): the room grows to twice that. The counts are hints,
// kept without a lock.
constexpr long heap_room = 4L << 20;
std::atomic<long> heap_idle{0};     // bytes freed and not taken again since the last trim
std::atomic<long> heap_largest{0};  // the largest block freed since the last trim
std::atomic<long> heap_keep{heap_room};
std::atomic<long> heap_trimmed{0};  // bytes the last trim found idle
std::atomic<long> heap_faults{0};   // the process's minor page faults at the last trim
// The stretch the idle bytes must stay above the room through: whether it
// has started, whether a large block was made since, and the least idle
// bytes since.
std::atomic<bool> heap_waiting{false};
std::atomic<bool> heap_made{false};
std::atomic<long> heap_idle_low{0};

long minor_faults()
{
    rusage use{};
    return getrusage(RUSAGE_SELF, &use) == 0 ? use.ru_minflt : 0;
}

void heap_taken(std::size_t bytes)
{
    long idle = heap_idle.load(std::memory_order_relaxed);
    while (idle > 0 && !heap_idle.compare_exchange_weak(idle, idle - std::min<long>(idle, long(bytes)),
                                                        std::memory_order_relaxed)) {
    }
    idle -= std::min<long>(idle, long(bytes));
    if (idle < heap_idle_low.load(std::memory_order_relaxed))
        heap_idle_low.store(idle, std::memory_order_relaxed);
    heap_made.store(true, std::memory_order_relaxed);
}

// Whether idle bytes past the room (largest + keep) go back now: they
// stayed past it through a stretch in which large blocks were made, or
// far more is idle. Otherwise a stretch starts (once blocks were made
// since the last one began).
bool heap_stayed_idle(long idle, long room)
{
    if (idle > room + long(prompt_give_back))
        return true;
    const bool waiting = heap_waiting.load(std::memory_order_relaxed);
    const bool made = heap_made.load(std::memory_order_relaxed);
    if (waiting && made && heap_idle_low.load(std::memory_order_relaxed) > room)
        return true;
    if (!waiting || made) {
        heap_waiting.store(true, std::memory_order_relaxed);
        heap_made.store(false, std::memory_order_relaxed);
        heap_idle_low.store(idle, std::memory_order_relaxed);
    }
    return false;
}

void heap_given(std::size_t bytes)
{
    long largest = heap_largest.load(std::memory_order_relaxed);
    while (long(bytes) > largest &&
           !heap_largest.compare_exchange_weak(largest, long(bytes), std::memory_order_relaxed)) {
    }
    largest = std::max(largest, long(bytes));
    const long idle = heap_idle.fetch_add(long(bytes), std::memory_order_relaxed) + long(bytes);
    long keep = heap_keep.load(std::memory_order_relaxed);
    if (idle <= largest + keep || !give_back_on.load(std::memory_order_relaxed))
        return;
    const long faults = minor_faults();
    if (const long trimmed = heap_trimmed.load(std::memory_order_relaxed); trimmed > 0) {
        const long refaulted =
            std::min(trimmed, (faults - heap_faults.load(std::memory_order_relaxed)) * long(platform::page_size()));
        if (2 * refaulted > keep) {
            keep = std::min(2 * refaulted, 1L << 40);
            heap_keep.store(keep, std::memory_order_relaxed);
            if (idle <= largest + keep)
                return;
        }
    }
    if (!heap_stayed_idle(idle, largest + keep))
        return;
    heap_waiting.store(false, std::memory_order_relaxed);
    heap_idle.store(0, std::memory_order_relaxed);
    heap_largest.store(0, std::memory_order_relaxed);
    heap_trimmed.store(idle, std::memory_order_relaxed);
    heap_faults.store(faults, std::memory_order_relaxed);
    malloc_trim(0);
}

// Heap blocks: the pointer is the first multiple of 8 that lies 1 to 8 bytes
// past the heap block's start; that distance is stored in the byte before it.
void* heap_malloc(std::size_t m)
{
    char* raw = static_cast<char*>(std::malloc(m));
    if (!raw)
        return nullptr;
    heap_taken(m);
    ++heap_live;
    auto at = reinterpret_cast<std::uintptr_t>(raw);
    std::size_t dist = 8 - at % 8;
    char* p = raw + dist;
    p[-1] = static_cast<char>(dist);
    return p;
}

inline bool is_heap_block(const void* p) { return static_cast<const char*>(p)[-1] != 0; }

inline char* heap_start(void* p)
{
    char* q = static_cast<char*>(p);
    return q - static_cast<unsigned char>(q[-1]);
}

std::size_t usable_size(void* p)
{
    if (is_heap_block(p)) {
        char* raw = heap_start(p);
        return platform::heap_block_size(raw) - (static_cast<char*>(p) - raw);
    }
    return pool.usable(p);
}

} // namespace

void* qv_malloc(std::size_t n)
{
    if (n > SIZE_MAX - 16 || refused_by_switch())
        return nullptr;
    std::size_t m = n + 8;
    if (m > heap_threshold)
        return heap_malloc(m);
    return pool.allocate(m);
}

void qv_free(void* p)
{
    if (!p)
        return;
    if (is_heap_block(p)) {
        --heap_live;
        char* raw = heap_start(p);
        const std::size_t bytes = platform::heap_block_size(raw);
        std::free(raw);
        heap_given(bytes);
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
    if (!is_heap_block(p) && n <= SIZE_MAX - 16 && pool.fits_exactly(p, n + 8)) {
        POOL_UNPOISON(p, n);
        return p;
    }
    if (is_heap_block(p) && n + 8 > heap_threshold && n <= SIZE_MAX - 16) {
        // Heap to heap: the standard heap extends the block where it can,
        // and otherwise moves it itself.
        if (refused_by_switch())
            return nullptr;
        char* raw = heap_start(p);
        const std::size_t dist = static_cast<std::size_t>(static_cast<char*>(p) - raw);
        char* moved = static_cast<char*>(std::realloc(raw, n + 8));
        if (!moved)
            return nullptr;
        // The new start may sit differently against 8: the pointer keeps
        // the first multiple of 8 past the start, with its distance.
        const std::size_t now = 8 - reinterpret_cast<std::uintptr_t>(moved) % 8;
        if (now != dist)
            std::memmove(moved + now, moved + dist, n);
        moved[now - 1] = static_cast<char>(now);
        return moved + now;
    }
    void* q = qv_malloc(n);
    if (!q)
        return nullptr;
    std::size_t old = usable_size(p);
    if (!is_heap_block(p))
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
    if (!on)
        return;
    heap_idle.store(0, std::memory_order_relaxed);
    heap_largest.store(0, std::memory_order_relaxed);
    heap_keep.store(heap_room, std::memory_order_relaxed);
    heap_trimmed.store(0, std::memory_order_relaxed);
    heap_waiting.store(false, std::memory_order_relaxed);
}

long qv_live_blocks() { return pool.live() + heap_live; }

unsigned int qv_set_MT(int on)
{
    qv_mt_mode = on;
    return static_cast<unsigned int>(getpid());
}

void configure_large_block_heap()
{
    // Large results are created and dropped once per statement. Served by
    // fresh mappings, every one of them faults its pages in again; kept in
    // the heap, the next result reuses pages that are already resident.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TOP_PAD, 16 * 1024 * 1024);
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
