// Address-space services for the allocator: reserve a range with no access,
// commit parts of it read-write, release it whole; and what an address-space
// limit leaves.
#pragma once

#include <cstddef>

namespace platform {

std::size_t page_size();
// Reserves size bytes anywhere (hint null) or exactly at hint; null on failure.
void* reserve(void* hint, std::size_t size);
// Reserves size bytes where growth more bytes directly above them are free
// and far from where the system places other mappings, so that later
// reservations at the end can extend the range; null on failure.
void* reserve_growable(std::size_t size, std::size_t growth);
bool commit(void* start, std::size_t size);
// Gives the pages of a committed range back to the system; the range stays
// usable and reads as zeros when next touched.
void decommit(void* start, std::size_t size);
// Releases size bytes made of consecutive reservations of one size.
void release(void* start, std::size_t size, std::size_t reservation);
// Usable bytes of a block from the standard heap.
std::size_t heap_block_size(void* block);

// The process's address-space limit (RLIMIT_AS), or 0 when there is none.
std::size_t address_space_limit();
// Bytes of address space the process may still map under that limit; the
// largest std::size_t when there is none.
std::size_t address_space_left();

} // namespace platform
