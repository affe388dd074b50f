// The data-file readers: fuzzed bytes loaded as a VOR-file (version 5),
// version-4 records or an ASCII matrix, by name and as the first variable,
// and the name scan of whos. Damaged files end with a message, never with
// a hang, an overrun or a runaway allocation, and loading is repeatable.
#include "fuzz_support.hpp"

#include "io/data_files.hpp"
#include "io/vor5.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The input as a file in a private temporary directory, named for load.
std::string write_file(const std::uint8_t* data, std::size_t size, const char* name)
{
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/numrun-fuzz-XXXXXX";
        dir = ::mkdtemp(pattern) ? pattern : "/tmp";
        std::atexit([] {
            if (dir != "/tmp") {
                std::remove((dir + "/fuzz.vor").c_str());
                ::rmdir(dir.c_str());
            }
        });
    }
    const std::string path = dir + "/" + name;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    // The first byte picks the kind the rest is read as.
    const std::uint8_t kind = size > 0 ? data[0] % 3 : 0;
    std::string bytes(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
    if (kind == 0)
        bytes = "VOR" + std::string(125, ' ') + bytes;  // a version-5 header
    const std::string path =
        write_file(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), "fuzz.vor");
    // The same bytes load the same value twice: nothing the first load
    // registered (a class) makes the second differ.
    std::string once;
    fuzz::guarded([&] {
        Mm first = load(TM(path.c_str()));
        fuzz::check_whole(first);
        once = fuzz::fingerprint(first);
    });
    if (!once.empty())
        fuzz::guarded([&] {
            if (fuzz::fingerprint(load(TM(path.c_str()))) != once)
                std::abort();
        });
    fuzz::guarded([&] {
        Mm x(Mm(), "x"), y(Mm(), "y");
        load(TM(path.c_str()), (CL(x), y));
    });
    // A version-4 file shorter than one record header is damage, never an
    // empty value loaded in silence.
    bool text = true;
    for (std::size_t k = 0; k < bytes.size() && k < 32; ++k) {
        const unsigned char c = static_cast<unsigned char>(bytes[k]);
        text = text && ((c >= 0x20 && c <= 0x7E) || (c >= 0x09 && c <= 0x0D));
    }
    if (!text && bytes.size() < 20 && bytes.compare(0, 3, "VOR") != 0) {
        bool raised = true;
        fuzz::guarded([&] {
            (void)load(TM(path.c_str()));
            raised = false;
        });
        if (!raised)
            std::abort();
    }
    fuzz::guarded([&] {
        Mm names = who(Mm(), TM(path.c_str()));
        if (names.gettype() != qv_cell)
            std::abort();
    });
    return 0;
}
