// The WAV reader: wavread of fuzzed file bytes. Whatever the bytes, the
// reader ends with samples in [-1, 1] or one of its messages.
#include "fuzz_support.hpp"

#include "io/wav.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    std::FILE* f = std::tmpfile();
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::rewind(f);
    fuzz::guarded([&] {
        const wav_contents w = read_wav(f);
        if (w.channels < 0 || w.samples.size() != w.frames * static_cast<std::size_t>(w.channels))
            std::abort();
        for (double s : w.samples)
            if (!(s >= -1 && s <= 1))
                std::abort();  // decoded samples stay in range
    });
    std::fclose(f);
    return 0;
}
