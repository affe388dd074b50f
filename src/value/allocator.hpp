// The size-class pool behind qv_malloc, as a type so tests can run one of
// their own from a fresh state.
#pragma once

#include <cstddef>
#include <cstdint>

class block_pool {
public:
    enum { classes = 32 };

    // A block whose usable size from the returned pointer is at least m - 8
    // bytes, or null; m includes the 8-byte prefix.
    void* allocate(std::size_t m);
    // Returns a block of this pool; one without the mark is ignored.
    void free(char* p);
    // Usable bytes of a pool block's class (the caller's view: minus the prefix).
    std::size_t usable(const void* p) const;
    // Gives every whole free unit back now, whatever is kept warm: for a
    // request the system refused.
    void give_back_now();
    // Whether a pool block still fits m bytes and the next smaller class would not.
    bool fits_exactly(const void* p, std::size_t m) const;

    long live() const { return live_; }
    bool has_region() const { return region_ != nullptr; }
    std::size_t committed() const { return static_cast<std::size_t>(committed_end_ - region_); }
    // Bytes of the region given back to the system (whole free page units,
    // kept for reuse) and still held.
    std::size_t idle() const { return idle_count_ * unit_; }
    std::size_t held() const { return committed() - idle(); }

private:
    void setup();
    bool advance_break(std::size_t k);
    bool start_region();
    bool refill(int c);
    int class_for(std::size_t m) const;
    std::size_t block_bytes(int c) const
    {
        std::size_t b = std::size_t{1} << (c + 3);
        return c >= first_large_ ? b + unit_ : b;
    }
    std::size_t usable_bytes(int c) const { return block_bytes(c) - 4; }
    // What the free-byte total counts a block of class c: its size without
    // a large block's extra unit, so the count is one shift.
    static std::size_t nominal_bytes(int c) { return std::size_t{8} << c; }
    void release_region();
    std::size_t unit_of(const char* block) const { return static_cast<std::size_t>(block - base_) >> unit_shift_; }
    bool is_idle(std::size_t u) const { return u < map_words_ * 64 && (idle_map_[u >> 6] >> (u & 63) & 1); }
    bool is_lost(std::size_t u) const { return lost_map_[u >> 6] >> (u & 63) & 1; }
    bool take_idle_unit(char*& start);
    bool take_idle_run(std::size_t k, char*& start);
    enum class retaken { yes, occupied, refused };
    retaken retake(std::size_t a, std::size_t b);
    void give_back();
    void pass();
    bool refill_or_give_back(int c);

    std::size_t unit_ = 0;       // P: eight system pages; 0 until the first request
    int first_large_ = 0;        // L: the first class whose blocks are at least P bytes
    int unit_shift_ = 0;         // log2 P
    char* region_ = nullptr;     // start of the first reservation
    char* reserved_end_ = nullptr;
    char* committed_end_ = nullptr;
    char* brk_ = nullptr;        // next byte not yet handed to a size class
    std::size_t reservation_ = 0;  // size of each reservation of this region
    char* free_list_[classes] = {};
    long live_ = 0;              // blocks handed out and not yet returned

    // Memory freed arrays leave goes back to the system: once the free
    // lists have grown by a quarter of what the pool holds, whole page units
    // without a block in use leave them (give_back). Nothing is counted per
    // unit on the way: allocating and freeing only keep the byte total.
    char* base_ = nullptr;            // start of the first unit (the aligned break)
    std::size_t free_bytes_ = 0;      // nominal bytes of the blocks in the free lists
    std::size_t next_give_back_ = 0;  // free_bytes_ at which give_back runs (0: not set up)
    // Units given back, one bit each, reused before the break moves. Under
    // an address-space limit they are unmapped, so that the address space
    // serves whatever needs it next; a unit whose range something else
    // mapped meanwhile is lost to the pool (it stays marked given back).
    // Units start 4 bytes before a page boundary: the page two neighbours
    // share goes only when both are given back.
    bool unmap_idle_ = false;
    std::uint64_t* idle_map_ = nullptr;
    std::uint64_t* lost_map_ = nullptr;
    std::size_t map_words_ = 0;
    std::size_t idle_count_ = 0;           // units given back, lost ones included
    std::uint32_t* idle_units_ = nullptr;  // the ones to take next, the lowest on top
    std::size_t stack_count_ = 0;
    std::size_t idle_slots_ = 0;
    // A program that frees and rebuilds the same memory round after round
    // would have its pages given back and faulted in again every round: the
    // free bytes kept before a give-back grow to twice what was taken back
    // from the given-back units between two passes.
    std::size_t keep_ = 0;             // growth of the free lists that triggers a pass (at least)
    std::size_t retaken_units_ = 0;    // units taken from the idle ones since the last pass
    std::size_t free_after_pass_ = 0;  // free_bytes_ when the last pass ended
    bool keep_judged();
    // A short program's working memory stays warm from its first round: a
    // pass gives memory back only once the free lists stayed above what
    // triggers a pass through a stretch in which the program allocated
    // (memory it was done with, not memory it takes again each round), or
    // once they have grown by 32 MiB (or by what is kept, when more) since
    // the last pass. A pass that finds neither starts such a stretch.
    bool waiting_ = false;      // a stretch has started
    bool allocated_ = false;    // a block was handed out since it started
    std::size_t free_low_ = 0;  // the least free_bytes_ since
    bool stayed_free();
    void schedule_give_back();
};

// Test-only controls of qv_malloc and qv_realloc, for proving that every
// statement survives a refused allocation. qv_fail_allocation(n) makes the
// n-th request from now return null (only that one); 0 disarms. Not for
// multi-thread mode.
void qv_fail_allocation(long n);
// Whether the armed request has been refused since the last arming.
bool qv_allocation_failed();
// Blocks handed out by the runtime allocator and not yet returned.
long qv_live_blocks();
// Bench and test only: false keeps every page freed memory held, as the
// allocator did before it gave memory back to the system (pool units and
// large blocks alike); true (the default) gives it back, and gives back
// every freed large block kept and starts the judgement of what to keep
// afresh, as at start-up (a pool's own starts with its region).
void qv_set_give_back(bool on);
