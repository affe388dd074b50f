// What every harness shares: the library started once as a host that
// catches errors, and small readers that turn fuzz bytes into values.
#pragma once

#include <velkor.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Starts the library once: errors thrown as const char*, nothing printed.
void start();

// Consumes the input front to back.
class bytes {
public:
    bytes(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ == end_; }
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
    std::uint8_t take() { return p_ < end_ ? *p_++ : 0; }
    // Bytes up to the next NUL (dropped) or the end.
    std::string text();
    // A double from one byte: 0-199 the whole numbers -100 to 99, 200-249
    // the halves -24.5 to 24.5, then Inf, -Inf, NaN, -0, 1e300 and 0.1.
    double number();
    // A value of up to 4x4 numbers, text or logical; its shape, flags and
    // elements from the input.
    Mm matrix();

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

// Every bit of a value a program can observe (type, flags, extents,
// elements, recursively for cells, field names): equal fingerprints mean an
// unchanged value.
std::string fingerprint(const Mm& x);

// Stops the run (a finding) when a value's own description is inconsistent:
// extents that do not multiply to its element count, a bad type.
void check_whole(const Mm& x);

// Runs f, swallowing the library's errors and refused scratch space: a
// harness looks for crashes, sanitizer reports and broken invariants.
template <class F>
void guarded(F&& f)
{
    try {
        f();
    } catch (const char*) {
    } catch (const std::bad_alloc&) {
    }
}

} // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
