// POSIX address-space services: mmap reservations committed with mprotect,
// and the room an address-space limit (RLIMIT_AS) leaves.
#include "platform/memory.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#if defined(NUMRUN_SANITIZE)
#include <sanitizer/lsan_interface.h>
#endif

namespace platform {

std::size_t page_size()
{
    long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? static_cast<std::size_t>(p) : 4096;
}

void* reserve(void* hint, std::size_t size)
{
    int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    if (hint)
        flags |= MAP_FIXED_NOREPLACE;
    void* p = mmap(hint, size, PROT_NONE, flags, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    if (hint && p != hint) {  // a kernel that ignores the flag placed it elsewhere
        munmap(p, size);
        return nullptr;
    }
#if defined(NUMRUN_SANITIZE)
    // Pool blocks hold pointers to heap blocks: let the leak checker see them.
    __lsan_register_root_region(p, size);
#endif
    return p;
}

namespace {

// Reads a whole /proc file into buf (at most size - 1 bytes, zero ended)
// without the standard streams, which allocate. Returns the bytes read.
std::size_t read_proc(const char* name, char* buf, std::size_t size)
{
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    std::size_t used = 0;
    while (used + 1 < size) {
        const ssize_t got = read(fd, buf + used, size - 1 - used);
        if (got <= 0)
            break;
        used += static_cast<std::size_t>(got);
    }
    close(fd);
    buf[used] = 0;
    return used;
}

std::uintptr_t parse_hex(const char*& p)
{
    std::uintptr_t v = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9')
            v = v * 16 + static_cast<std::uintptr_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v = v * 16 + static_cast<std::uintptr_t>(c - 'a' + 10);
        else
            return v;
    }
}

// The largest stretch of free address space between the process's
// mappings, in the part of the address space mmap hands out by default
// and above the lowest 4 GiB. Read from /proc/self/maps a chunk at a time.
struct gap {
    std::uintptr_t low = 0, high = 0;
};

gap largest_gap()
{
    constexpr std::uintptr_t floor = std::uintptr_t{1} << 32, ceiling = std::uintptr_t{1} << 47;
    gap best;
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return best;
    char buf[4096];
    std::size_t held = 0;
    std::uintptr_t previous_end = floor;
    for (;;) {
        const ssize_t got = read(fd, buf + held, sizeof buf - 1 - held);
        if (got <= 0)
            break;
        held += static_cast<std::size_t>(got);
        buf[held] = 0;
        // Whole lines only; a partial last line waits for the next read.
        char* line = buf;
        for (char* end; (end = static_cast<char*>(std::memchr(line, '\n', buf + held - line))); line = end + 1) {
            const char* p = line;
            const std::uintptr_t start = parse_hex(p);
            const std::uintptr_t stop = *p == '-' ? parse_hex(++p) : start;
            const std::uintptr_t low = previous_end, high = start < ceiling ? start : ceiling;
            if (high > low && high - low > best.high - best.low)
                best = gap{low, high};
            if (stop > previous_end)
                previous_end = stop;
        }
        held = static_cast<std::size_t>(buf + held - line);
        std::memmove(buf, line, held);
        if (held == sizeof buf - 1)
            held = 0;  // no line is this long: drop it
    }
    close(fd);
    if (previous_end < ceiling && ceiling - previous_end > best.high - best.low)
        best = gap{previous_end, ceiling};
    return best;
}

} // namespace

void* reserve_growable(std::size_t size, std::size_t growth)
{
    // Other mappings come down from the top of the free stretch and the
    // program's break grows up from its bottom; together with this range
    // they cannot take more than the limit. Placed twice the growth below
    // the top, with as much free below it, the range can grow by its whole
    // growth without meeting either.
    const gap g = largest_gap();
    const std::size_t page = page_size();
    const std::uintptr_t need = 2 * std::uintptr_t{growth} + size;
    if (growth <= (std::uintptr_t{1} << 45) && g.high - g.low >= 2 * need) {
        const std::uintptr_t at = (g.high - need) & ~(std::uintptr_t{page} - 1);
        if (void* p = reserve(reinterpret_cast<void*>(at), size))
            return p;
    }
    return reserve(nullptr, size);
}

bool commit(void* start, std::size_t size)
{
    return mprotect(start, size, PROT_READ | PROT_WRITE) == 0;
}

void decommit(void* start, std::size_t size) { madvise(start, size, MADV_DONTNEED); }

void prefer_large_pages(void* start, std::size_t size)
{
    constexpr std::uintptr_t large = std::uintptr_t{1} << 21;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(start) + large - 1) & ~(large - 1);
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(large - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

void release(void* start, std::size_t size, std::size_t reservation)
{
#if defined(NUMRUN_SANITIZE)
    for (std::size_t off = 0; off < size; off += reservation)
        __lsan_unregister_root_region(static_cast<char*>(start) + off, reservation);
#endif
    munmap(start, size);
}

map_outcome map_at(void* start, std::size_t size)
{
    void* p = mmap(start, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (p == MAP_FAILED)
        return errno == EEXIST ? map_outcome::occupied : map_outcome::refused;
    if (p != start) {  // a kernel that ignores the flag placed it elsewhere
        munmap(p, size);
        return map_outcome::occupied;
    }
    return map_outcome::mapped;
}

void unmap(void* start, std::size_t size) { munmap(start, size); }

// Large blocks hold pointers to other blocks: the leak checker scans them.
void* map_block(std::size_t size)
{
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
#if defined(NUMRUN_SANITIZE)
    __lsan_register_root_region(p, size);
#endif
    return p;
}

void* remap_block(void* block, std::size_t size, std::size_t new_size)
{
    void* p = mremap(block, size, new_size, MREMAP_MAYMOVE);
    if (p == MAP_FAILED)
        return nullptr;
#if defined(NUMRUN_SANITIZE)
    __lsan_unregister_root_region(block, size);
    __lsan_register_root_region(p, new_size);
#endif
    return p;
}

void unmap_block(void* block, std::size_t size)
{
#if defined(NUMRUN_SANITIZE)
    __lsan_unregister_root_region(block, size);
#endif
    munmap(block, size);
}

std::size_t address_space_limit()
{
    rlimit r{};
    if (getrlimit(RLIMIT_AS, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
        return 0;
    return r.rlim_cur > 0 ? static_cast<std::size_t>(r.rlim_cur) : 1;
}

std::size_t address_space_left()
{
    const std::size_t limit = address_space_limit();
    if (limit == 0)
        return SIZE_MAX;
    // The first field of statm: the pages of every mapping, as the limit counts them.
    char buf[256];
    if (read_proc("/proc/self/statm", buf, sizeof buf) == 0)
        return 0;
    std::size_t pages = 0;
    for (const char* p = buf; *p >= '0' && *p <= '9'; ++p)
        pages = pages * 10 + static_cast<std::size_t>(*p - '0');
    const std::size_t used = pages * page_size();
    return used < limit ? limit - used : 0;
}

} // namespace platform
