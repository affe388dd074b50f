// imread and imfinfo of a file of fuzzed bytes: the reading of image files
// as a user meets it, through the library and the graphics engine (the
// file found by its name, the format sniffed from its first bytes or
// given, the header read before the rest, a BMP or PCX read only as far as
// its header reaches, a PNG decoded band by band as it is read), which the
// codec harness, working on bytes in memory, does not reach. The first
// byte chooses the format given; the rest is the file. Whatever the bytes,
// a read ends with a message or a picture: rows x cols indices into a map
// of at most 256 colours in [0, 1], or rows x cols x 3 bytes without a
// map; and imfinfo gives a picture imread reads its size.
#include "fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// One file of the run's own, written again for each input.
const std::string& the_file()
{
    static const std::string name = [] {
        char path[] = "/tmp/numrun-imread-XXXXXX";
        const int fd = ::mkstemp(path);
        if (fd < 0)
            return std::string();
        ::close(fd);
        std::atexit([] { std::remove(the_file().c_str()); });
        return std::string(path);
    }();
    return name;
}

// The extents of a value, padded with ones to three.
void extents(const Mm& x, int out[3])
{
    for (int d = 0; d < 3; ++d)
        out[d] = d < x.getndims() ? x.size(d + 1) : 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::start();
    mpath_pointer = nullptr;  // the name is used as given
    if (size == 0 || the_file().empty())
        return 0;
    static const char* const formats[] = {"", "bmp", "pcx", "png"};
    const char* format = formats[data[0] % 4];
    std::FILE* f = std::fopen(the_file().c_str(), "wb");
    if (!f)
        return 0;
    const bool written = std::fwrite(data + 1, 1, size - 1, f) == size - 1;
    if (std::fclose(f) != 0 || !written)
        return 0;

    int shape[3] = {0, 0, 0};
    bool read = false;
    fuzz::guarded([&] {
        Mm X, map;
        imread(TM(the_file().c_str()), TM(format), i_o, X, map);
        fuzz::check_whole(X);
        fuzz::check_whole(map);
        extents(X, shape);
        if (X.gettype() != qv_uint8 || X.getndims() > 3 || shape[0] <= 0 || shape[1] <= 0)
            std::abort();
        if (shape[2] == 3) {
            if (map.size() != 0)
                std::abort();  // a picture of components has no map
        } else {
            const int colours = map.size(1);
            if (shape[2] != 1 || map.gettype() != qv_double || colours < 1 || colours > 256 || map.size(2) != 3)
                std::abort();
            for (int k = 1; k <= map.size(); ++k)
                if (!(map.r(k) >= 0 && map.r(k) <= 1))
                    std::abort();
            const unsigned char* index = X.getpr(static_cast<unsigned char*>(nullptr));
            for (int k = 0; k < X.size(); ++k)
                if (index[k] >= colours)
                    std::abort();  // an index past the map
        }
        read = true;
    });
    fuzz::guarded([&] {
        const Mm info = imfinfo(TM(the_file().c_str()), TM(format));
        fuzz::check_whole(info);
        if (read && (getfield(info, TM("Width")).r(1) != shape[1] || getfield(info, TM("Height")).r(1) != shape[0]))
            std::abort();  // described with another size than it is read
    });
    return 0;
}
