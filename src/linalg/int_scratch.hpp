// The integer scratch array of the solvers (pivot vectors): a count, the
// array and a fill pointer, released on every path, errors included.
#pragma once

#include <cstddef>

class int_scratch {
public:
    // No memory: "Out of memory!", and std::bad_alloc should the error hook
    // return.
    explicit int_scratch(std::size_t count);
    ~int_scratch();
    int_scratch(const int_scratch&) = delete;
    int_scratch& operator=(const int_scratch&) = delete;

    int* get() const noexcept { return start; }
    std::size_t size() const noexcept { return count; }
    int& operator[](std::size_t k) const noexcept { return start[k]; }
    // Where a writer that fills the array sequentially has got to.
    int*& fill_pointer() noexcept { return fill; }

private:
    friend void release_int_scratch(int_scratch& s) noexcept;
    std::size_t count = 0;
    int* start = nullptr;
    int* fill = nullptr;
};

// Ends the array's life: warns "possible memory overwrite" when the fill
// pointer ran past the count, then frees it. Called by the destructor.
void release_int_scratch(int_scratch& s) noexcept;
