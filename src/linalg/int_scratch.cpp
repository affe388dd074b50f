// The integer scratch array of the solvers and its release.
#include "linalg/int_scratch.hpp"

#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdint>
#include <exception>
#include <new>

int_scratch::int_scratch(std::size_t n)
{
    if (n == 0)
        return;
    if (n > SIZE_MAX / sizeof(int)) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    // Raises "Out of memory!" itself when the allocator has nothing.
    start = static_cast<int*>(Mm::operator new(n * sizeof(int)));
    fill = start;
    count = n;
}

int_scratch::~int_scratch() { release_int_scratch(*this); }

void release_int_scratch(int_scratch& s) noexcept
{
    if (!s.start)
        return;
    if (s.fill > s.start + s.count && std::uncaught_exceptions() == 0) {
        try {
            warning("possible memory overwrite");
        } catch (...) {
        }
    }
    Mm::operator delete(s.start);
    s.start = s.fill = nullptr;
    s.count = 0;
}
