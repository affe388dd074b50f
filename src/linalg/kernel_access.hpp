// 1-based access to the column-major arrays of the kernels, so the kernels
// read with the indices of the algorithms they follow.
#pragma once

#include <cstddef>

template <class T>
struct matrix_view {
    T* p;
    std::ptrdiff_t ld;

    T& operator()(std::ptrdiff_t i, std::ptrdiff_t j) const noexcept { return p[(i - 1) + (j - 1) * ld]; }
    // The start of column j, 0-based within the column.
    T* column(std::ptrdiff_t j) const noexcept { return p + (j - 1) * ld; }
};

template <class T>
struct vector_view {
    T* p;
    T& operator()(std::ptrdiff_t i) const noexcept { return p[i - 1]; }
};

template <class T>
matrix_view<T> view(T* p, int ld) noexcept
{
    return {p, ld};
}

template <class T>
vector_view<T> view(T* p) noexcept
{
    return {p};
}
