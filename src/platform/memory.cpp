// POSIX address-space services: mmap reservations committed with mprotect.
#include "platform/memory.hpp"

#include <malloc.h>
#include <sys/mman.h>
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

bool commit(void* start, std::size_t size)
{
    return mprotect(start, size, PROT_READ | PROT_WRITE) == 0;
}

void decommit(void* start, std::size_t size) { madvise(start, size, MADV_DONTNEED); }

void release(void* start, std::size_t size, std::size_t reservation)
{
#if defined(NUMRUN_SANITIZE)
    for (std::size_t off = 0; off < size; off += reservation)
        __lsan_unregister_root_region(static_cast<char*>(start) + off, reservation);
#endif
    munmap(start, size);
}

std::size_t heap_block_size(void* block) { return malloc_usable_size(block); }

} // namespace platform
