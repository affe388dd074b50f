// Scratch buffers: a temporary array owned by one function, released when
// the function ends or an error unwinds through it.
#pragma once

#include "velkor/report.h"
#include "velkor/runtime.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

template <class T>
class scratch {
    static_assert(std::is_trivially_copyable_v<T>, "scratch holds plain data");

public:
    scratch() = default;
    explicit scratch(std::size_t n) { reset(n); }
    ~scratch() { qv_free(p_); }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    // Drops the old content and holds room for n elements. No memory:
    // "Out of memory!", and std::bad_alloc should the error hook return.
    void reset(std::size_t n)
    {
        qv_free(p_);
        p_ = nullptr;
        n_ = 0;
        if (n == 0)
            return;
        if (n > SIZE_MAX / sizeof(T) - 1 || !(p_ = static_cast<T*>(qv_malloc(n * sizeof(T))))) {
            error("Out of memory!");
            throw std::bad_alloc();
        }
        n_ = n;
    }

    T* get() const { return p_; }
    T& operator[](std::size_t k) const { return p_[k]; }
    std::size_t size() const { return n_; }

private:
    T* p_ = nullptr;
    std::size_t n_ = 0;
};
