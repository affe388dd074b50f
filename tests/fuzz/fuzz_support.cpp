// The start-up and byte readers shared by the harnesses.
#include "fuzz_support.hpp"

#include <cmath>

namespace fuzz {

namespace {
void quiet(const char*) {}
} // namespace

void start()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    initM2(4510, sizeof(Mm));
    qv_set_default_error_flags(0x10, 1);
    qv_set_default_error_flags(0x3, 0);
    qv_set_default_warning_flags(0x3, 0);
    qv_set_print_handler(quiet);
}

std::string bytes::text()
{
    std::string s;
    while (p_ < end_) {
        char c = static_cast<char>(*p_++);
        if (c == 0)
            break;
        s += c;
    }
    return s;
}

double bytes::number()
{
    std::uint8_t b = take();
    switch (b) {
    case 250: return INFINITY;
    case 251: return -INFINITY;
    case 252: return NAN;
    case 253: return -0.0;
    case 254: return 1e300;
    case 255: return 0.1;
    default: return (static_cast<int>(b) - 100) / (b % 2 ? 2.0 : 1.0);
    }
}

Mm bytes::matrix()
{
    std::uint8_t shape = take();
    int rows = shape & 3;
    int cols = (shape >> 2) & 3;
    if (shape & 16)
        ++rows, ++cols;
    Mm x(0, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k)
        x.addr()[k] = number();
    if (shape & 32)
        x.setstr(1);
    return x;
}

} // namespace fuzz
