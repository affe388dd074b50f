// The three runtime locks: re-entrant mutexes built in constant-initialised
// storage, so they can be created on first use and deleted at unload while
// the allocator still runs.
#include "value/runtime.hpp"

#include <mutex>
#include <new>

namespace {

alignas(std::recursive_mutex) unsigned char storage[3][sizeof(std::recursive_mutex)];
constinit bool ready = false;
constinit std::mutex setup;  // guards creation and deletion

std::recursive_mutex& lock_at(int k)
{
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(storage[k]));
}

} // namespace

void runtime_locks_init()
{
    std::lock_guard<std::mutex> guard(setup);
    if (ready)
        return;
    for (auto& s : storage)
        new (s) std::recursive_mutex;
    __atomic_store_n(&ready, true, __ATOMIC_RELEASE);
}

void runtime_lock_enter(int k)
{
    if (!__atomic_load_n(&ready, __ATOMIC_ACQUIRE))
        runtime_locks_init();
    lock_at(k).lock();
}

void runtime_lock_leave(int k)
{
    if (!__atomic_load_n(&ready, __ATOMIC_ACQUIRE))
        return;
    lock_at(k).unlock();
}

void runtime_locks_delete()
{
    std::lock_guard<std::mutex> guard(setup);
    if (!ready)
        return;
    __atomic_store_n(&ready, false, __ATOMIC_RELEASE);
    for (int k = 0; k < 3; ++k)
        lock_at(k).~recursive_mutex();
}
