// The help-text reader: help and type of a language file of fuzzed bytes,
// into a caller's buffer of fuzzed size. The text never passes the buffer,
// always ends in it, and the whole file comes back as its lines with their
// leading blanks dropped.
#include "fuzz_support.hpp"

#include "io/files.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The whole file as type shows it: each line without its leading blanks
// (a line end is kept), cut where the first zero byte ends the text.
std::string whole_model(const std::string& content)
{
    std::string out;
    bool at_start = true;
    for (const char c : content) {
        const bool blank = c == ' ' || (c >= '\t' && c <= '\r');
        if (at_start && blank && c != '\n')
            continue;
        out += c;
        at_start = c == '\n';
    }
    return out.substr(0, out.find('\0'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    if (size < 2)
        return 0;
    static const std::size_t capacities[] = {0, 1, 2, 3, 16, 100, 4096};
    const std::size_t capacity = capacities[data[0] % 7];
    const int whole = data[1] & 1;
    const std::string content(reinterpret_cast<const char*>(data) + 2, size - 2);

    char path[] = "/tmp/numrun-help-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return 0;
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    constexpr std::size_t guard = 32;
    std::vector<char> buffer(capacity + guard, '\x5a');
    if (written) {
        fuzz::guarded([&] { print_help_text(path, whole, capacity > 0 ? buffer.data() : nullptr, capacity); });
        for (std::size_t k = capacity; k < buffer.size(); ++k)
            if (buffer[k] != '\x5a')
                std::abort();  // written past the buffer
        if (capacity > 0) {
            const std::size_t length = ::strnlen(buffer.data(), capacity);
            if (length == capacity)
                std::abort();  // no terminator inside the buffer
            if (whole && std::string(buffer.data(), length) != whole_model(content).substr(0, capacity - 1))
                std::abort();  // the whole file is not what was read
        }
    }
    ::unlink(path);
    return 0;
}
