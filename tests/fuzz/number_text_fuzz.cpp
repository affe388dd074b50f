// Number text: the readers str2num, str2double and base2dec over fuzzed
// text, and the writers num2str, int2str, mat2str and dec2base over fuzzed
// numbers. The input is a text, a NUL, then bytes that build a matrix and
// the writers' extra arguments.
#include "fuzz_support.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    const std::string token = in.text();
    const Mm text = TM(token.c_str());
    const Mm x = in.matrix();
    const Mm n(in.number());
    const Mm base(2.0 + in.take() % 40);
    auto text_result = [](const Mm& r) {
        fuzz::check_whole(r);
        if (r.size() > 0 && !r.isstr())
            std::abort();  // the writers always give text
    };
    fuzz::guarded([&] { fuzz::check_whole(str2num(text)); });
    // One decimal token that strtod reads whole is read to strtod's bits.
    if (!token.empty() && token.find_first_not_of("0123456789.eE+-") == std::string::npos &&
        token.back() != '+' && token.back() != '-')
        fuzz::guarded([&] {
            char* end = nullptr;
            const double expected = std::strtod(token.c_str(), &end);
            if (end != token.c_str() + token.size())
                return;
            const Mm r = str2num(text);
            if (r.size() != 1 || r.isc() || std::memcmp(r.addr(), &expected, sizeof expected) != 0)
                std::abort();
        });
    fuzz::guarded([&] { fuzz::check_whole(str2double(text)); });
    fuzz::guarded([&] { fuzz::check_whole(base2dec(text, base)); });
    fuzz::guarded([&] { fuzz::check_whole(hex2num(text)); });
    fuzz::guarded([&] { text_result(num2str(x)); });
    fuzz::guarded([&] { text_result(num2str(x, n)); });
    fuzz::guarded([&] { text_result(num2str(x, text)); });
    fuzz::guarded([&] { text_result(int2str(x)); });
    fuzz::guarded([&] { text_result(mat2str(x)); });
    fuzz::guarded([&] { text_result(mat2str(x, n)); });
    fuzz::guarded([&] { text_result(dec2base(x, base)); });
    fuzz::guarded([&] { text_result(dec2bin(x, n)); });
    // What num2str writes, str2num reads back to as many elements.
    fuzz::guarded([&] {
        const Mm back = str2num(num2str(x));
        fuzz::check_whole(back);
    });
    return 0;
}
