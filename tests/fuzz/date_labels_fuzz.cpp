// The date tick labels of the graphics engine on fuzzed formats: the first
// eight bytes are the serial day number, the rest the format text. A label
// is finite work and never longer than the longest token's expansion allows.
#include "fuzz_support.hpp"

#include "../../engine/render/date_labels.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < sizeof(double))
        return 0;
    double serial;
    std::memcpy(&serial, data, sizeof serial);
    const std::string format(reinterpret_cast<const char*>(data) + sizeof serial, size - sizeof serial);
    const std::string label = vizmo::render::date_label(serial, format);
    // "mmmm" (4 bytes) gives at most "September" (9); nothing grows faster.
    if (label.size() > 3 * format.size())
        std::abort();
    return 0;
}
