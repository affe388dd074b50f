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
// Asks for large pages under the 2 MB-aligned part of a range not yet
// touched, so that filling a block of megabytes takes a few page faults and
// not one per 4 KB. A hint only: where the system has none, nothing changes.
void prefer_large_pages(void* start, std::size_t size);
// Releases size bytes made of consecutive reservations of one size.
void release(void* start, std::size_t size, std::size_t reservation);
// Maps size bytes read-write at exactly start, never over another mapping:
// occupied when something else holds part of the range, refused when the
// system (an address-space limit) gives no more.
enum class map_outcome { mapped, occupied, refused };
map_outcome map_at(void* start, std::size_t size);
// Unmaps a range mapped by map_at or committed in a reservation.
void unmap(void* start, std::size_t size);
// A read-write mapping of size bytes of its own (a large block), anywhere;
// null on failure. Resized in place or moved with its pages; null when
// refused, the old one kept.
void* map_block(std::size_t size);
void* remap_block(void* block, std::size_t size, std::size_t new_size);
void unmap_block(void* block, std::size_t size);

// The process's address-space limit (RLIMIT_AS), or 0 when there is none.
std::size_t address_space_limit();
// Bytes of address space the process may still map under that limit; the
// largest std::size_t when there is none.
std::size_t address_space_left();

} // namespace platform
