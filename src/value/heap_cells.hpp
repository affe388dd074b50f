// Values the library hands out by address (a graphics object's UserData is
// kept by the engine as the address of a heap Mm): the set of live ones, so
// that a number coming back is dereferenced only when it names one of them.
#pragma once

#include <cstdint>

class Mm;

void heap_cell_register(const Mm* v);
// Whether the address names a registered value that has not been released.
bool heap_cell_is_live(std::uintptr_t address);
// Forgets v; an address that was never registered is ignored.
void heap_cell_forget(const Mm* v);
