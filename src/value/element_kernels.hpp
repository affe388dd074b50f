// Element moves for the three storage kinds of a value, so that the index
// engines are written once: 8-byte doubles and bytes move as bits, cell
// elements (Mm) by assignment, which shares their storage.
#pragma once

#include "velkor/value.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

template <class T>
inline constexpr bool is_cell_element = std::is_same_v<T, Mm>;

template <class T>
inline constexpr qv_matrix_types element_type_of = std::is_same_v<T, double>          ? qv_double
                                                   : std::is_same_v<T, unsigned char> ? qv_uint8
                                                                                      : qv_cell;

template <class T>
inline T* real_part(const Mm& x) noexcept
{
    return x.getpr((T*)nullptr);
}

// The imaginary part, or null (always null for cells).
template <class T>
inline T* imag_part(const Mm& x) noexcept
{
    if constexpr (is_cell_element<T>)
        return nullptr;
    else
        return x.getpi((T*)nullptr);
}

template <class T>
inline void copy_elements(T* dst, const T* src, std::ptrdiff_t n)
{
    if constexpr (is_cell_element<T>) {
        for (std::ptrdiff_t k = 0; k < n; ++k)
            dst[k] = src[k];
    } else if (n > 0) {
        std::memcpy(dst, src, sizeof(T) * n);
    }
}

// Forward move inside one array (dst before src): compaction.
template <class T>
inline void move_elements_down(T* dst, const T* src, std::ptrdiff_t n)
{
    if constexpr (is_cell_element<T>) {
        for (std::ptrdiff_t k = 0; k < n; ++k)
            dst[k] = src[k];
    } else if (n > 0) {
        std::memmove(dst, src, sizeof(T) * n);
    }
}

// New elements: zero, or the given empty value shared by every new cell
// element (copy-on-write keeps them apart once written).
template <class T>
inline void fill_new_elements(T* dst, std::ptrdiff_t n, const Mm& fresh)
{
    if constexpr (is_cell_element<T>) {
        for (std::ptrdiff_t k = 0; k < n; ++k)
            dst[k] = fresh;
    } else if (n > 0) {
        std::memset(dst, 0, sizeof(T) * n);
    }
}

template <class T>
inline void fill_zero(T* dst, std::ptrdiff_t n)
{
    if constexpr (!is_cell_element<T>)
        if (n > 0)
            std::memset(dst, 0, sizeof(T) * n);
}

// Calls f with a null T* for the storage kind of the given element type;
// false for a type without elements (qv_none).
template <class F>
inline bool dispatch_element_type(int type, F&& f)
{
    switch (type) {
    case qv_double:
        f(static_cast<double*>(nullptr));
        return true;
    case qv_uint8:
        f(static_cast<unsigned char*>(nullptr));
        return true;
    case qv_cell:
        f(static_cast<Mm*>(nullptr));
        return true;
    default:
        return false;
    }
}
