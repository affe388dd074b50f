// The string functions over fuzzed texts and character matrices: case,
// blanks, searching, replacing, tokens, justification, joining, comparing.
// The input is three texts separated by NUL bytes, then bytes for a matrix.
#include "fuzz_support.hpp"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    const Mm a = TM(in.text().c_str());
    const Mm b = TM(in.text().c_str());
    const Mm c = TM(in.text().c_str());
    const Mm m = in.matrix();
    const Mm* pair[] = {&a, &b};
    const Mm list = cell_from_array(2, pair);
    auto whole = [](const Mm& r) { fuzz::check_whole(r); };
    for (const Mm* s : {&a, &m, &list}) {
        fuzz::guarded([&] { whole(upper(*s)); });
        fuzz::guarded([&] { whole(lower(*s)); });
        fuzz::guarded([&] { whole(deblank(*s)); });
        fuzz::guarded([&] { whole(deblank_leading(*s)); });
        fuzz::guarded([&] { whole(strjust(*s, b)); });
        fuzz::guarded([&] { whole(isspace(*s)); });
        fuzz::guarded([&] { whole(strtok(*s, b)); });
        fuzz::guarded([&] { whole(strcmp(*s, b)); });
        fuzz::guarded([&] { whole(strncmpi(*s, b, m)); });
        fuzz::guarded([&] { whole(strmatch(b, *s)); });
        fuzz::guarded([&] { whole(strmatch(b, *s, TM("exact"))); });
    }
    fuzz::guarded([&] { whole(findstr(a, b)); });
    fuzz::guarded([&] { whole(strrep(a, b, c)); });
    fuzz::guarded([&] { whole(strcat(list)); });
    fuzz::guarded([&] { whole(strvcat(list)); });
    fuzz::guarded([&] { whole(str2mat(list)); });
    fuzz::guarded([&] { whole(blanks(m)); });
    fuzz::guarded([&] {
        Mm token, rest;
        strtok(a, b, i_o, token, rest);
        whole(token);
        whole(rest);
    });
    return 0;
}
