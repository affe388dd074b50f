// Reading files by fid: fgetl, fgets, fscanf and fread over fuzzed bytes
// with fuzzed sizes and precisions. Counts never exceed what was returned,
// and a refused fread leaves its outputs alone.
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
    // The last name is no precision at all.
    const char* precision = precisions[in.take() % 11];
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
    {
        // A refused read leaves its outputs as they were.
        Mm a(-7.0), count(-8.0);
        const std::string before = fuzz::fingerprint(a) + fuzz::fingerprint(count);
        bool refused = true;
        fuzz::guarded([&] {
            fread(fid, shape, TM(precision), Mm(skip), i_o, a, count);
            refused = false;
            if (count.r() < 0 || count.r() > a.size())
                std::abort();
        });
        if (refused && fuzz::fingerprint(a) + fuzz::fingerprint(count) != before)
            std::abort();
    }
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
    frewind(fid);
    fuzz::guarded([&] {
        // What is counted is what is returned, whatever the size.
        Mm a, count;
        fscanf(fid, TM("%d"), shape, i_o, a, count);
        if (count.r() < 0 || count.r() > a.size())
            std::abort();
    });
    fclose(fid);
    return 0;
}
