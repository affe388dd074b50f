// Address-space services for the allocator: reserve a range with no access,
// commit parts of it read-write, release it whole.
#pragma once

#include <cstddef>

namespace platform {

std::size_t page_size();
// Reserves size bytes anywhere (hint null) or exactly at hint; null on failure.
void* reserve(void* hint, std::size_t size);
bool commit(void* start, std::size_t size);
// Gives the pages of a committed range back to the system; the range stays
// usable and reads as zeros when next touched.
void decommit(void* start, std::size_t size);
// Releases size bytes made of consecutive reservations of one size.
void release(void* start, std::size_t size, std::size_t reservation);
// Usable bytes of a block from the standard heap.
std::size_t heap_block_size(void* block);

} // namespace platform
