// The date-text reader: datevec and datenum of fuzzed text. Every text ends
// with six fields per row or the unknown-month message.
#include "fuzz_support.hpp"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    const Mm text = TM(in.text().c_str());
    fuzz::guarded([&] {
        Mm v = datevec(text);
        if (v.size() % 6 != 0)
            std::abort();
    });
    fuzz::guarded([&] { (void)datenum(text); });
    fuzz::guarded([&] { (void)weekday(text); });
    const double d = in.number();
    fuzz::guarded([&] {
        if (datevec(Mm(d)).size() != 6)
            std::abort();  // a day number gives one date vector, Inf and NaN too
    });
    return 0;
}
