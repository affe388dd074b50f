// The data-file readers: fuzzed bytes loaded as a VOR-file (version 5),
// version-4 records or an ASCII matrix, by name and as the first variable,
// and the name scan of whos. Damaged files end with a message, never with
// a hang, an overrun or a runaway allocation.
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
    fuzz::guarded([&] { Mm first = load(TM(path.c_str())); });
    fuzz::guarded([&] {
        Mm x(Mm(), "x"), y(Mm(), "y");
        load(TM(path.c_str()), (CL(x), y));
    });
    fuzz::guarded([&] {
        Mm names = who(Mm(), TM(path.c_str()));
        if (names.gettype() != qv_cell)
            std::abort();
    });
    return 0;
}
