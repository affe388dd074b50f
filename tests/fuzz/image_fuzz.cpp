// The graphics engine's image readers: BMP, PCX and PNG (through libpng) on
// fuzzed bytes. Whatever a reader accepts must be a whole picture whose
// indices fit its palette, and must survive a write and a second read; the
// PNG band decoder must give what the whole decoder gives.
#include "fuzz_support.hpp"

#include "../../engine/image_codec.hpp"

#include <algorithm>
#include <cstdlib>

namespace {

using namespace vizmo::codec;

void check(const Picture& p)
{
    const std::size_t n = static_cast<std::size_t>(p.rows) * static_cast<std::size_t>(p.cols);
    if (p.rows <= 0 || p.cols <= 0 || n > max_pixels || p.pixels.size() != n * (p.indexed ? 1 : 3))
        std::abort();
    if (p.indexed) {
        const std::size_t entries = p.palette.size() / 3;
        if (entries == 0 || entries > 256 || p.palette.size() % 3 != 0)
            std::abort();
        for (std::uint8_t v : p.pixels)
            if (v >= entries)
                std::abort();
    }
}

void round_trip(const Picture& p, bool (*encode)(const Picture&, std::vector<std::uint8_t>&),
                bool (*decode)(const std::uint8_t*, std::size_t, Picture&))
{
    std::vector<std::uint8_t> bytes;
    if (!encode(p, bytes))
        return;  // a writer may refuse (PCX keeps sides below 65537)
    Picture back;
    if (!decode(bytes.data(), bytes.size(), back))
        std::abort();
    if (back.rows != p.rows || back.cols != p.cols || back.indexed != p.indexed || back.pixels != p.pixels)
        std::abort();
}

// The band decoder imread uses on PNG files: its bands tile the picture from
// the top, none longer than a band, and put together they are the picture
// the whole decoder gives.
void check_bands(const std::uint8_t* data, std::size_t size)
{
    Picture shape;
    std::vector<std::uint8_t> pixels;
    int next = 0;
    const bool ok = decode_png_bands(data, size, shape, [&](int first, int count, std::uint8_t* band) {
        if (first != next || count <= 0 || count > band_rows || first + count > shape.rows)
            std::abort();
        const std::size_t row = static_cast<std::size_t>(shape.cols) * (shape.indexed ? 1 : 3);
        pixels.insert(pixels.end(), band, band + row * static_cast<std::size_t>(count));
        next += count;
        return true;
    });
    if (!ok)
        return;
    Picture whole;
    if (next != shape.rows || !decode_png(data, size, whole) || pixels != whole.pixels)
        std::abort();
}

// What a reader of a file takes from it: no more bytes than the header
// says the picture can reach (for a PCX, the palette at the end beside
// them). A picture decoded from the whole is decoded, alike, from those.
void check_bound(Format format, bool (*decode)(const std::uint8_t*, std::size_t, Picture&), const std::uint8_t* data,
                 std::size_t size, const Picture& whole)
{
    Picture head;
    const std::uint64_t most = most_file_bytes(data, size, format, head);
    if (most == 0 || head.rows != whole.rows || head.cols != whole.cols || head.indexed != whole.indexed)
        std::abort();
    if (size <= most)
        return;
    const std::size_t kept = static_cast<std::size_t>(format == Format::pcx ? most - 769 : most);
    std::vector<std::uint8_t> cut(data, data + kept);
    if (format == Format::pcx)
        cut.insert(cut.end(), data + size - 769, data + size);
    Picture again;
    if (!decode(cut.data(), cut.size(), again) || again.pixels != whole.pixels || again.palette != whole.palette)
        std::abort();
}

// A BMP read with the gap before its pixels left out (and its pixel
// offset moved back by the gap) gives the picture of the whole file.
void check_gap(const std::uint8_t* data, std::size_t size, const Picture& whole)
{
    std::uint64_t keep = 0;
    const std::uint64_t gap = bmp_gap(data, size, keep);
    if (gap == 0)
        return;
    Picture head;
    const std::uint64_t most = std::min<std::uint64_t>(size, most_file_bytes(data, size, Format::bmp, head));
    if (keep + gap > most)
        std::abort();
    std::vector<std::uint8_t> cut(data, data + keep);
    cut.insert(cut.end(), data + keep + gap, data + most);
    close_bmp_gap(cut, gap);
    Picture again;
    if (!decode_bmp(cut.data(), cut.size(), again) || again.pixels != whole.pixels || again.palette != whole.palette)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    struct Codec {
        bool (*decode)(const std::uint8_t*, std::size_t, Picture&);
        bool (*encode)(const Picture&, std::vector<std::uint8_t>&);
        Format format;
    };
    const Codec codecs[] = {{decode_bmp, encode_bmp, Format::bmp},
                            {decode_pcx, encode_pcx, Format::pcx},
                            {decode_png, encode_png, Format::png}};
    (void)sniff(data, size);
    check_bands(data, size);
    for (const Codec& c : codecs) {
        Picture p;
        if (!c.decode(data, size, p))
            continue;
        check(p);
        if (c.format != Format::png)
            check_bound(c.format, c.decode, data, size, p);
        if (c.format == Format::bmp)
            check_gap(data, size, p);
        round_trip(p, c.encode, c.decode);
    }
    return 0;
}
