// The format engine: sprintf of fuzzed formats over fuzzed arguments, and
// sscanf of fuzzed text through the same formats, and plain floating
// conversions against the C library. The input is the format, a NUL, the
// text to read, a NUL, then bytes that build two arguments, a number and
// the conversion's shape.
#include "fuzz_support.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    const std::string format_text = in.text();
    // A width or precision of a million characters asks for that much text:
    // a memory limit, not a fault.
    int run = 0;
    for (char c : format_text)
        if ((run = (c >= '0' && c <= '9') ? run + 1 : 0) > 5)
            return 0;
    const Mm format = TM(format_text.c_str());
    const Mm text = TM(in.text().c_str());
    const Mm a = in.matrix();
    const Mm b = in.matrix();
    fuzz::guarded([&] {
        Mm s = sprintf(format, cell_from_array(0, nullptr));
        if (s.size() > 0 && !s.isstr())
            std::abort();  // a formatted result is always text
    });
    fuzz::guarded([&] {
        const Mm* args[] = {&a, &b, &text};
        Mm s = sprintf(format, cell_from_array(3, args));
        if (s.size() > 0 && !s.isstr())
            std::abort();
    });
    fuzz::guarded([&] {
        Mm values, count, message, next;
        sscanf(text, format, i_o, values, count, message, next);
        if (count.size() != 1 || count.r() < 0 || count.r() > values.size())
            std::abort();  // the count is of the values actually read
    });
    fuzz::guarded([&] {
        Mm values, count;
        sscanf(text, format, a, i_o, values, count);
        if (count.size() != 1 || count.r() < 0 || count.r() > values.size())
            std::abort();  // a size never hides what was counted
    });
    // Plain floating conversions are written without the C library: their
    // text must still be the C library's, byte for byte.
    const double v = in.number();
    const int shape = in.take();
    char plain[32];
    std::snprintf(plain, sizeof plain, "%%%d.%d%c", shape % 30, in.take() % 45, "eEfFgG"[shape % 6]);
    if (std::isfinite(v))
        fuzz::guarded([&] {
            char expected[512];
            const int n = std::snprintf(expected, sizeof expected, plain, v);
            const Mm s = sprintf(TM(plain), Mm(v));
            if (s.size() != n)
                std::abort();
            for (int k = 0; k < n; ++k)
                if (s.addr()[k] != static_cast<signed char>(expected[k]))
                    std::abort();
        });
    return 0;
}
