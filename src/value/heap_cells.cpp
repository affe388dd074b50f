// The registry of values handed out by address. A mutex guards it: a value
// may be released on another thread than the one that stored it.
#include "value/heap_cells.hpp"

#include <mutex>
#include <unordered_set>

namespace {

struct registry {
    std::mutex lock;
    std::unordered_set<std::uintptr_t> live;
};

// Never destroyed: values may be released from other static destructors.
registry& cells()
{
    static registry* r = new registry;
    return *r;
}

} // namespace

void heap_cell_register(const Mm* v)
{
    registry& r = cells();
    std::lock_guard<std::mutex> guard(r.lock);
    r.live.insert(reinterpret_cast<std::uintptr_t>(v));
}

bool heap_cell_is_live(std::uintptr_t address)
{
    registry& r = cells();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.live.count(address) != 0;
}

void heap_cell_forget(const Mm* v)
{
    registry& r = cells();
    std::lock_guard<std::mutex> guard(r.lock);
    r.live.erase(reinterpret_cast<std::uintptr_t>(v));
}
