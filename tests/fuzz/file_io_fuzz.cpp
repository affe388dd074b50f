// Reading files by fid: fgetl, fgets, fscanf and fread over fuzzed bytes
// with fuzzed sizes and precisions. Counts never exceed what was read.
#include "fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    fuzz::bytes in(data, size);
    static const char* const precisions[] = {"uchar", "schar", "int16", "uint16", "int32", "uint32",
                                             "int64", "uint64", "float32", "double", "ieee-be"};
    const char* precision = precisions[in.take() % 10];
    const Mm shape = in.matrix();
    const double skip = in.number();
    static std::string dir, path;
    if (path.empty()) {
        char pattern[] = "/tmp/numrun-fuzz-XXXXXX";
        dir = ::mkdtemp(pattern) ? pattern : "/tmp";
        path = dir + "/fid.bin";
        std::atexit([] {
            std::remove(path.c_str());
            if (dir != "/tmp")
                ::rmdir(dir.c_str());
        });
    }
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    Mm fid = fopen(TM(path.c_str()));
    if (fid.r() < 3)
        return 0;
    fuzz::guarded([&] {
        Mm a, count;
        fread(fid, shape, TM(precision), Mm(skip), i_o, a, count);
        if (count.r() < 0 || count.r() > a.size())
            std::abort();
    });
    frewind(fid);
    fuzz::guarded([&] {
        for (int k = 0; k < 4; ++k)
            (void)fgetl(fid);
    });
    frewind(fid);
    fuzz::guarded([&] {
        Mm a, count;
        fscanf(fid, TM("%g"), i_o, a, count);
    });
    fclose(fid);
    return 0;
}
