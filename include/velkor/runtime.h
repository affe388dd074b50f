// The runtime allocator and locks, and the library's start-up and shut-down.
#pragma once

#include <cstddef>

class Mm;

// Power-of-two pool for small blocks, the standard heap above 128 KiB.
// A failed request returns null; callers raise "Out of memory!".
void* qv_malloc(std::size_t n);
void qv_free(void* p);
void* qv_realloc(void* p, std::size_t n);

// Multi-thread mode: interlocked reference counts and a locked allocator.
// Returns the process identifier.
unsigned int qv_set_MT(int on);

// Checks that the caller was built against this version and layout of Mm,
// resets the floating-point unit and values the global constants.
void initM2(int version, int size_of_Mm);
void exitM();
// The language's exit and quit: exitM, then the process ends with status 0.
Mm exit();
Mm quit();

void fpu_reset();
