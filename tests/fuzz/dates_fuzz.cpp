// The date-text reader: datevec, datenum and weekday of fuzzed text, and of
// text values whose codes include NaN, infinities and huge numbers. Every
// text ends with six fields per row or a message.
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
    // A text value may hold codes that are no character at all.
    Mm codes(0, 0, 0, 1, 1 + in.take() % 12, qv_double);
    for (int k = 0; k < codes.size(); ++k)
        codes.addr()[k] = (k % 3 == 2) ? in.number() : static_cast<double>("0123456789:-/ PM"[in.take() % 16]);
    codes.setstr(1);
    fuzz::guarded([&] {
        if (datevec(codes).size() % 6 != 0)
            std::abort();
    });
    fuzz::guarded([&] { (void)datenum(codes); });
    fuzz::guarded([&] { (void)weekday(codes); });
    const double d = in.number();
    fuzz::guarded([&] {
        if (datevec(Mm(d)).size() != 6)
            std::abort();  // a day number gives one date vector, Inf and NaN too
    });
    return 0;
}
