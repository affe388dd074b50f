// Helpers for the engine's own tests: values in the engine's layout, hooks
// that record what the engine hands over, and a fixture that starts each
// test from an empty engine.
#pragma once

#include "vizmo4510.h"
#include "vizmo_test.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vizmo_testing {

// A miniM over a vector the caller keeps.
struct Val {
    std::vector<double> data;
    miniM m{};

    Val(int rows, int cols, std::vector<double> v, bool text = false) : data(std::move(v))
    {
        m = miniM{2, {rows, cols, 1, 1}, text ? 1 : 0, data.empty() ? nullptr : data.data()};
    }
    // Copies point at their own data.
    Val(const Val& o) : data(o.data), m(o.m) { m.data = data.empty() ? nullptr : data.data(); }
    Val& operator=(const Val& o)
    {
        data = o.data;
        m = o.m;
        m.data = data.empty() ? nullptr : data.data();
        return *this;
    }
};

inline Val num(double v) { return Val(1, 1, {v}); }
inline Val row(std::vector<double> v)
{
    const int n = static_cast<int>(v.size());
    return Val(n ? 1 : 0, n, std::move(v));
}
inline Val text(const std::string& s)
{
    std::vector<double> codes;
    for (unsigned char c : s)
        codes.push_back(c);
    return Val(1, static_cast<int>(s.size()), std::move(codes), true);
}

inline void set(double h, const char* name, const Val& v) { vizmo_set_property(h, name, &v.m); }

inline std::vector<double> get(double h, const char* name) { return vizmo::test::prop(h, name).data; }
inline std::string get_text(double h, const char* name) { return vizmo::test::prop(h, name).text(); }

// What the hooks saw, in order.
struct Seen {
    std::vector<std::string> callbacks;
    std::vector<std::uintptr_t> destroyed;
    std::vector<std::string> errors;
    bool throw_on_error = false;
    std::string throw_on_callback;  // a callback text that throws
    void (*on_callback)(const std::string&) = nullptr;
};
Seen& seen();

void record_callback(miniM* m);
void record_error(const char* message);
void record_destroy(Mm* value);

// Starts from an empty engine with the recording hooks in place.
class Engine : public ::testing::Test {
protected:
    void SetUp() override
    {
        vizmo::test::reset();
        seen() = Seen{};
        vizmo_set_callback_hook(record_callback);
        vizmo_set_error_hook(record_error);
        vizmo_set_destroy_hook(record_destroy);
    }
    void TearDown() override
    {
        vizmo::test::reset();
        vizmo_set_callback_hook(nullptr);
        vizmo_set_error_hook(nullptr);
        vizmo_set_destroy_hook(nullptr);
    }
};

// A fake user-data address: the engine only stores and hands it back.
inline double address(std::uintptr_t k) { return static_cast<double>(0x10000 + 16 * k); }
inline std::uintptr_t address_bits(std::uintptr_t k) { return 0x10000 + 16 * k; }

} // namespace vizmo_testing
