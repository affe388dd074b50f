// The runtime allocator and the multi-thread switch.
#include "resident.hpp"
#include "test_support.hpp"
#include "value/allocator.hpp"
#include "value/runtime.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

unsigned char byte_before(void* p) { return static_cast<unsigned char*>(p)[-1]; }

TEST(Allocator, PoolAndHeapMeetAt128KiB)
{
    void* pool = qv_malloc(131064);  // with its 8-byte prefix exactly 128 KiB
    void* heap = qv_malloc(131065);
    ASSERT_NE(pool, nullptr);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(byte_before(pool), 0);
    EXPECT_GE(byte_before(heap), 1);
    EXPECT_LE(byte_before(heap), 8);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(heap) % 8, 0u);
    std::memset(pool, 0xAB, 131064);
    std::memset(heap, 0xCD, 131065);
    qv_free(pool);
    qv_free(heap);
}

TEST(Allocator, ZeroBytesComeFromThePool)
{
    void* p = qv_malloc(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(byte_before(p), 0);
    // The 16-byte class: 4 usable bytes past the pointer.
    void* q = qv_realloc(p, 4);
    EXPECT_EQ(q, p);
    qv_free(q);
}

TEST(Allocator, FreedBlocksAreReusedLastInFirstOut)
{
    for (std::size_t n : {1u, 24u, 100u, 5000u, 40000u, 131000u}) {
        SCOPED_TRACE(n);
        void* a = qv_malloc(n);
        qv_free(a);
        void* b = qv_malloc(n);
        EXPECT_EQ(a, b);
        qv_free(b);
    }
}

TEST(Allocator, NullIsANoOpAndReallocOfNullAllocates)
{
    qv_free(nullptr);
    void* p = qv_realloc(nullptr, 10);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(qv_realloc(p, 0), nullptr);
}

TEST(Allocator, ReallocKeepsContentAcrossClassesAndTheHeap)
{
    char* p = static_cast<char*>(qv_malloc(20));
    for (int k = 0; k < 20; ++k)
        p[k] = static_cast<char>(k);
    char* same = static_cast<char*>(qv_realloc(p, 18));
    EXPECT_EQ(same, p) << "still fits its class and not the next smaller one";
    char* bigger = static_cast<char*>(qv_realloc(same, 1000));
    char* heap = static_cast<char*>(qv_realloc(bigger, 300000));
    EXPECT_NE(byte_before(heap), 0);
    for (int k = 0; k < 18; ++k)
        ASSERT_EQ(heap[k], k);
    char* back = static_cast<char*>(qv_realloc(heap, 12));
    EXPECT_EQ(byte_before(back), 0);
    for (int k = 0; k < 12; ++k)
        ASSERT_EQ(back[k], k);
    qv_free(back);
}

TEST(Allocator, ABlockWithoutTheMarkIsIgnored)
{
    char* p = static_cast<char*>(qv_malloc(40));
    qv_free(p);
    qv_free(p);  // freed already: no mark, ignored
    void* a = qv_malloc(40);
    void* b = qv_malloc(40);
    EXPECT_NE(a, b) << "a double free must not hand one block out twice";
    qv_free(a);
    qv_free(b);
}

TEST(Allocator, TheRegionGoesWithTheLastLiveBlockAndComesBack)
{
    // The library's own pool always holds the constants; a pool of the
    // test's own shows the release.
    block_pool local;
    void* a = local.allocate(64);
    void* b = local.allocate(20000);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(local.has_region());
    EXPECT_EQ(local.live(), 2);
    local.free(static_cast<char*>(a));
    EXPECT_TRUE(local.has_region());
    local.free(static_cast<char*>(b));
    EXPECT_FALSE(local.has_region());
    EXPECT_EQ(local.live(), 0);
    char* c = static_cast<char*>(local.allocate(64));
    ASSERT_NE(c, nullptr);
    std::memset(c, 7, 56);
    EXPECT_TRUE(local.has_region());
    local.free(c);
}

TEST(Allocator, CommitsInPageUnitsAsTheBreakAdvances)
{
    block_pool local;
    std::size_t unit = 8 * static_cast<std::size_t>(getpagesize());
    void* first = local.allocate(64);
    EXPECT_EQ(local.committed() % unit, 0u);
    std::size_t before = local.committed();
    std::vector<void*> blocks;
    for (int k = 0; k < 300; ++k) {  // about 47 MiB of the largest class
        void* p = local.allocate(131072);
        ASSERT_NE(p, nullptr) << k;
        static_cast<char*>(p)[0] = 1;
        static_cast<char*>(p)[131063] = 2;
        blocks.push_back(p);
    }
    EXPECT_GE(local.committed(), before + 300 * 131072);
    EXPECT_EQ(local.committed() % unit, 0u);
    for (void* p : blocks)
        local.free(static_cast<char*>(p));
    local.free(static_cast<char*>(first));
    EXPECT_FALSE(local.has_region());
}

using test::resident_bytes;

// A large set of small blocks freed: the units they filled go back to the
// system, those still holding a block in use stay with every byte intact,
// and the next allocations take the given-back units before the pool grows.
TEST(Allocator, WholeFreeUnitsGoBackToTheSystemAndAreReused)
{
    block_pool local;
    char* anchor = static_cast<char*>(local.allocate(64));  // keeps the region
    ASSERT_NE(anchor, nullptr);
    constexpr int n = 160000;  // 200-byte requests: 40 MB of 256-byte blocks
    std::vector<char*> blocks;
    for (int k = 0; k < n; ++k) {
        char* p = static_cast<char*>(local.allocate(200));
        ASSERT_NE(p, nullptr);
        std::memset(p, k % 251, 192);
        blocks.push_back(p);
    }
    std::vector<char*> large;
    for (int k = 0; k < 100; ++k) {
        char* p = static_cast<char*>(local.allocate(100000));
        ASSERT_NE(p, nullptr);
        std::memset(p, 3, 99992);
        large.push_back(p);
    }
    const std::size_t committed = local.committed();
    const long resident_full = resident_bytes();
    EXPECT_EQ(local.idle(), 0u);

    // Every 5000th block stays in use: its unit stays.
    for (int k = 0; k < n; ++k)
        if (k % 5000 != 0)
            local.free(blocks[k]);
    for (char* p : large)
        local.free(p);
    EXPECT_GT(local.idle(), std::size_t{20} << 20) << "the empty units went back";
    EXPECT_LT(local.held(), committed - (std::size_t{20} << 20));
    EXPECT_LT(resident_bytes(), resident_full - (20L << 20)) << "the system has the pages";
    for (int k = 0; k < n; k += 5000)
        for (int b = 0; b < 192; ++b)
            ASSERT_EQ(static_cast<unsigned char>(blocks[k][b]), k % 251) << "a block in use kept its bytes";

    // The units come back before the break moves.
    std::vector<char*> again;
    for (int k = 0; k < n / 2; ++k) {
        char* p = static_cast<char*>(local.allocate(200));
        ASSERT_NE(p, nullptr);
        std::memset(p, 7, 192);
        again.push_back(p);
    }
    for (int k = 0; k < 100; ++k) {
        char* p = static_cast<char*>(local.allocate(100000));
        ASSERT_NE(p, nullptr);
        std::memset(p, 9, 99992);
        again.push_back(p);
    }
    EXPECT_EQ(local.committed(), committed) << "reused, not grown";
    for (int k = 0; k < n; k += 5000)
        ASSERT_EQ(static_cast<unsigned char>(blocks[k][0]), k % 251);
    for (char* p : again)
        local.free(p);
    for (int k = 0; k < n; k += 5000)
        local.free(blocks[k]);
    local.free(anchor);
    EXPECT_FALSE(local.has_region());
}

// A program that frees its working set and builds it again, round after
// round, keeps its pages: a working set of up to 32 MB from the first round
// on (what it frees is taken straight back), a larger one once the first
// rounds show the given-back units taken straight back. A larger array
// made once and freed still goes back.
TEST(Allocator, MemoryFreedAndRebuiltEachRoundStaysWarm)
{
    struct Case {
        int blocks;      // 256-byte blocks a round
        int first_warm;  // the first round that gives nothing back
    };
    for (const Case c : {Case{100000, 0}, Case{160000, 5}}) {
        SCOPED_TRACE(std::to_string(c.blocks / 4000) + " MB a round");
        block_pool local;
        char* anchor = static_cast<char*>(local.allocate(64));  // keeps the region
        ASSERT_NE(anchor, nullptr);
        const int n = c.blocks;
        std::vector<char*> blocks(static_cast<std::size_t>(n));
        std::vector<std::size_t> idle_after_free;
        for (int round = 0; round < 8; ++round) {
            for (int k = 0; k < n; ++k) {
                blocks[k] = static_cast<char*>(local.allocate(200));
                ASSERT_NE(blocks[k], nullptr);
                std::memset(blocks[k], round, 192);
            }
            for (char* p : blocks)
                local.free(p);
            idle_after_free.push_back(local.idle());
        }
        for (int round = c.first_warm; round < 8; ++round)
            EXPECT_EQ(idle_after_free[static_cast<std::size_t>(round)], 0u) << "round " << round << " kept its pages";

        // A larger array made once and freed still goes back.
        std::vector<char*> large(4 * static_cast<std::size_t>(n));
        for (char*& p : large) {
            p = static_cast<char*>(local.allocate(200));
            ASSERT_NE(p, nullptr);
        }
        for (char* p : large)
            local.free(p);
        EXPECT_GT(local.idle(), std::size_t{60} << 20) << "a large array freed once went back";
        local.free(anchor);
        EXPECT_FALSE(local.has_region());
    }
}

// What stays warm for a working set rebuilt round after round is bounded:
// a program that made and freed 400 MB of small values twice kept all of
// it resident (and, under an address-space limit, mapped, out of reach of
// the standard heap) until it allocated again, if ever. From the second
// round on, at most 256 MB of it stays.
TEST(Allocator, WhatStaysWarmForALargeWorkingSetIsBounded)
{
    block_pool local;
    char* anchor = static_cast<char*>(local.allocate(64));  // keeps the region
    ASSERT_NE(anchor, nullptr);
    constexpr int n = 1600000;  // 200-byte requests: 400 MB of 256-byte blocks
    std::vector<char*> blocks(n);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (char*& p : blocks) {
            p = static_cast<char*>(local.allocate(200));
            ASSERT_NE(p, nullptr);
            std::memset(p, round, 192);
        }
        for (char* p : blocks)
            local.free(p);
        EXPECT_LE(local.held(), std::size_t{(256 + 64)} << 20) << "of " << (local.committed() >> 20) << " MB";
    }
    local.free(anchor);
    EXPECT_FALSE(local.has_region());
}

// Memory freed once and not taken again goes back once the program has
// gone on allocating other things past it: a short loop keeps what it
// takes again each round, a program that is done with memory does not
// keep it.
TEST(Allocator, FreedMemoryThatStaysFreeGoesBackOnceTheProgramGoesOn)
{
    block_pool local;
    char* anchor = static_cast<char*>(local.allocate(64));  // keeps the region
    ASSERT_NE(anchor, nullptr);
    constexpr int n = 100000;  // 200-byte requests: 25 MB of 256-byte blocks
    std::vector<char*> blocks(n);
    for (char*& p : blocks) {
        p = static_cast<char*>(local.allocate(200));
        ASSERT_NE(p, nullptr);
        std::memset(p, 5, 192);
    }
    for (char* p : blocks)
        local.free(p);
    EXPECT_EQ(local.idle(), 0u) << "kept until it shows it stays free";
    // The program goes on with blocks of another size, made and freed.
    for (int round = 0; round < 4 && local.idle() == 0; ++round) {
        std::vector<char*> others(20000);
        for (char*& p : others) {
            p = static_cast<char*>(local.allocate(1000));
            ASSERT_NE(p, nullptr);
            std::memset(p, 6, 992);
        }
        for (char* p : others)
            local.free(p);
    }
    EXPECT_GT(local.idle(), std::size_t{20} << 20) << "the first blocks' units went back";
    local.free(anchor);
    EXPECT_FALSE(local.has_region());
}

// Freed large blocks beyond about one block's worth go back to the system;
// one is kept for the next large result. (Under the address checker the
// resident figures are its shadow memory's as much as the allocator's.)
#if !defined(NUMRUN_SANITIZE)
// count blocks of size bytes from qv_malloc, each written whole.
std::vector<char*> written_blocks(int count, std::size_t size)
{
    std::vector<char*> held;
    for (int k = 0; k < count; ++k) {
        char* p = static_cast<char*>(qv_malloc(size));
        EXPECT_NE(p, nullptr);
        if (!p)
            break;
        std::memset(p, k + 1, size);
        held.push_back(p);
    }
    return held;
}

TEST(Allocator, FreedHeapBlocksBeyondOneGoBack)
{
    constexpr std::size_t size = std::size_t{48} << 20;
    const std::vector<char*> held = written_blocks(4, size);
    const long resident_full = resident_bytes();
    for (char* p : held)
        qv_free(p);
    EXPECT_LT(resident_bytes(), resident_full - long(2 * size)) << "at most one block's worth stays";
}

// Large blocks freed together but not far beyond what is kept stay until
// the program goes on making large results without taking them back; then
// they go back.
TEST(Allocator, FreedHeapBlocksThatStayFreeGoBackOnceTheProgramGoesOn)
{
    qv_set_give_back(true);  // judged afresh, not from what earlier tests taught the heap
    constexpr std::size_t size = std::size_t{12} << 20;
    const std::vector<char*> held = written_blocks(3, size);
    const long resident_full = resident_bytes();
    for (char* p : held)
        qv_free(p);
    EXPECT_GT(resident_bytes(), resident_full - long(size)) << "kept until it shows it stays free";
    // The program goes on with smaller large results, made and dropped.
    for (int k = 0; k < 3; ++k)
        for (char* p : written_blocks(1, std::size_t{1} << 20))
            qv_free(p);
    EXPECT_LT(resident_bytes(), resident_full - long(2 * size)) << "what stayed free went back";
}

long minor_faults()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_minflt;
}

// Several large blocks freed and made again each round: after the first
// rounds the heap keeps their pages, so a round no longer faults them in.
// (Defined after the test above: the room the heap keeps is process-wide.)
TEST(Allocator, HeapBlocksFreedAndRebuiltEachRoundStayWarm)
{
    constexpr std::size_t size = std::size_t{24} << 20;
    constexpr long pages_a_round = long(6 * size) / 4096;
    std::vector<long> faults;
    for (int round = 0; round < 8; ++round) {
        const long before = minor_faults();
        for (char* p : written_blocks(6, size))
            qv_free(p);
        faults.push_back(minor_faults() - before);
    }
    for (int round = 5; round < 8; ++round)
        EXPECT_LT(faults[static_cast<std::size_t>(round)], pages_a_round / 10) << "round " << round;
}
// Resident bytes per record gained while a value built by build() is held,
// measured in a child process of its own so that what earlier tests left
// free cannot colour it; -1 when the child could not report.
template <class Build>
double resident_per_record(int records, Build build)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const long start = resident_bytes();
        double per_record = -1;
        {
            const Mm value = build(records);
            per_record = double(resident_bytes() - start) / records;
        }
        (void)!write(fds[1], &per_record, sizeof per_record);
        _exit(0);
    }
    close(fds[1]);
    double per_record = -1;
    if (child < 0 || read(fds[0], &per_record, sizeof per_record) != sizeof per_record)
        per_record = -1;
    close(fds[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return per_record;
}

// A struct array filled record by record (s(k).a = k; s(k).b = 2k) and a
// cell grown one element at a time cost at most twice, and a third more
// than, a cell made at its size holding the same numbers. A growing array
// leaves its old block behind at each step, and the last of them was
// kept for reuse (1193 bytes a record for the struct, 1009 for the grown
// cell, against 521 for the cell).
TEST(Allocator, StructRecordsAndGrownCellsCostLittleMoreThanACell)
{
    constexpr int records = 100000;
    const double cell = resident_per_record(records, [](int n) {
        Mm c(0, 0, 0, 2, n, qv_cell);
        for (int k = 1; k <= n; ++k) {
            c.mr(1, k) = Mm(double(k));
            c.mr(2, k) = Mm(2.0 * k);
        }
        return c;
    });
    const double record = resident_per_record(records, [](int n) {
        Mm s;
        for (int k = 1; k <= n; ++k) {
            s(Mm(double(k))).member("a") = Mm(double(k));
            s(Mm(double(k))).member("b") = Mm(2.0 * k);
        }
        return s;
    });
    const double grown = resident_per_record(records, [](int n) {
        Mm c;
        for (int k = 1; k <= n; ++k) {
            c.br(Mm(2.0 * k - 1)) = Mm(double(k));
            c.br(Mm(2.0 * k)) = Mm(2.0 * k);
        }
        return c;
    });
    ASSERT_GT(cell, 0);
    EXPECT_LE(record, 2 * cell) << record << " bytes a record against " << cell << " for the cell";
    EXPECT_LE(grown, 1.3 * cell) << grown << " bytes a record against " << cell << " for the cell";
}

// The allocator's part of it: a large block freed right after a larger one
// was taken (an array that grew) goes back to the system at once; one freed
// after one of its own size was taken (a statement's result made again)
// stays for the next.
TEST(Allocator, ABlockAGrowingArrayLeavesBehindGoesBack)
{
    qv_set_give_back(true);  // judged afresh
    constexpr std::size_t size = std::size_t{16} << 20;
    char* old = written_blocks(1, size)[0];
    char* grown = written_blocks(1, size / 2 * 3)[0];
    const long before = resident_bytes();
    qv_free(old);
    EXPECT_LT(resident_bytes(), before - long(size) / 2) << "the outgrown block went back";
    char* again = written_blocks(1, size / 2 * 3)[0];
    const long with_both = resident_bytes();
    qv_free(again);
    EXPECT_GT(resident_bytes(), with_both - long(size) / 2) << "a result's block is kept for the next";
    qv_free(grown);
    qv_set_give_back(true);
}
#endif

TEST(Allocator, ThreadsInMultiThreadModeLoseNothing)
{
    EXPECT_EQ(qv_set_MT(1), static_cast<unsigned int>(getpid()));
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t, &bad] {
            std::vector<unsigned char*> held;
            for (int round = 0; round < 2000; ++round) {
                std::size_t n = 8 + (round * 37 + t * 11) % 3000;
                auto* p = static_cast<unsigned char*>(qv_malloc(n));
                if (!p) {
                    ++bad;
                    continue;
                }
                std::memset(p, t, n);
                held.push_back(p);
                if (held.size() > 16) {
                    unsigned char* q = held.front();
                    held.erase(held.begin());
                    if (q[0] != t)
                        ++bad;
                    qv_free(q);
                }
            }
            for (auto* q : held) {
                if (q[0] != t)
                    ++bad;
                qv_free(q);
            }
        });
    // Values shared between threads: interlocked counts.
    Mm shared = test::row({1, 2, 3});
    std::vector<std::thread> copiers;
    for (int t = 0; t < 4; ++t)
        copiers.emplace_back([&shared] {
            for (int k = 0; k < 10000; ++k) {
                Mm c(shared);
                (void)c;
            }
        });
    for (auto& th : threads)
        th.join();
    for (auto& th : copiers)
        th.join();
    qv_set_MT(0);
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(shared.dirty(), 0);
}

TEST(Allocator, LocksAreReentrant)
{
    runtime_lock_enter(1);
    runtime_lock_enter(1);
    runtime_lock_leave(1);
    runtime_lock_leave(1);
    SUCCEED();
}

} // namespace

#if defined(NUMRUN_SANITIZE)
namespace {

// The pool hides its blocks from the address checker unless it poisons them.
TEST(AllocatorUnderSanitizer, UseAfterFreeOfAPoolBlockIsCaught)
{
    EXPECT_DEATH(
        {
            volatile char* p = static_cast<char*>(qv_malloc(48));
            qv_free(const_cast<char*>(p));
            p[3] = 1;
        },
        "use-after-poison");
}

TEST(AllocatorUnderSanitizer, WritingPastTheRequestIsCaught)
{
    EXPECT_DEATH(
        {
            volatile char* p = static_cast<char*>(qv_malloc(40));
            p[40] = 1;
        },
        "use-after-poison|container-overflow|heap-buffer-overflow");
}

} // namespace
#endif
