// Image file codecs: BMP and PCX written here, PNG through libpng. They
// work on bytes in memory (PNG also on an open file, a band of rows at a
// time) and know nothing of objects or properties, so a fuzzer can drive
// each reader on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace vizmo::codec {

// Pixels top row first, left to right. Indexed: one 0-based palette index
// per pixel. Truecolor: red, green, blue bytes per pixel.
struct Picture {
    int rows = 0;
    int cols = 0;
    bool indexed = false;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> palette;  // red, green, blue per entry; at most 256 entries
    int bit_depth = 0;                   // bits per pixel as the file stores them
    // Set by a reader for a well-formed file in a variant it does not read
    // (a short description), so the user is not told the file is corrupt.
    const char* unsupported = nullptr;
    // Set by a reader for a picture of more than max_pixels pixels, whose
    // shape rows and cols then hold.
    bool too_large = false;
};

// Readers and writers refuse pictures larger than this many pixels.
constexpr std::size_t max_pixels = std::size_t(1) << 26;

enum class Format { unknown, bmp, pcx, png };
// The format a file's first bytes announce.
Format sniff(const std::uint8_t* bytes, std::size_t n);

// The first bytes of a BMP or PCX file that hold all its header says.
constexpr std::size_t header_bytes = 128;
// Fills rows, cols, indexed and bit_depth from a BMP or PCX header alone,
// without the pixels; false when the header is not one the reader takes.
// head holds the first min(n, header_bytes) bytes of a file of n bytes.
bool read_header(const std::uint8_t* head, std::size_t n, Format format, Picture& out);
// The same, giving the most bytes from the file's start that its decoder
// can use for the picture the header announces (a PCX palette, which ends
// the file, among them), or 0 where read_header is false. A picture within
// max_pixels bounds it, so a reader need never read a file further.
std::uint64_t most_file_bytes(const std::uint8_t* head, std::size_t n, Format format, Picture& out);
// A BMP's pixels may start past a gap its decoder never reads, between
// the header and palette and the pixel offset. The length of that gap (0
// for none), and in keep the bytes before it; a reader may read the
// file's first keep bytes, skip the gap, read on (to most_file_bytes),
// and then close_bmp_gap moves the header's pixel offset back by the gap.
std::uint64_t bmp_gap(const std::uint8_t* head, std::size_t n, std::uint64_t& keep);
void close_bmp_gap(std::vector<std::uint8_t>& bytes, std::uint64_t gap);
// The same for a PNG file of n bytes, read from its current position only
// as far as its header goes.
bool png_header(std::FILE* file, std::size_t n, Picture& out);

// Each reader returns false for data it cannot decode, leaving out in an
// unspecified but valid state; each writer returns false for a picture it
// cannot encode (an empty one, or more than 256 palette entries). Memory
// refused while reading or writing, the PNG library's included, is
// std::bad_alloc.
bool decode_bmp(const std::uint8_t* bytes, std::size_t n, Picture& out);
bool encode_bmp(const Picture& picture, std::vector<std::uint8_t>& out);
bool decode_pcx(const std::uint8_t* bytes, std::size_t n, Picture& out);
bool encode_pcx(const Picture& picture, std::vector<std::uint8_t>& out);
bool decode_png(const std::uint8_t* bytes, std::size_t n, Picture& out);
bool encode_png(const Picture& picture, std::vector<std::uint8_t>& out);

// A band of consecutive rows, top row first: (first row, row count, pixels
// laid out as Picture::pixels lays them out).
using Band = std::function<bool(int first, int count, std::uint8_t* pixels)>;
// The rows a band holds at most: enough to keep per-band costs small, few
// enough that a band stays a small part of a large picture.
constexpr int band_rows = 64;

// Decodes a PNG a band at a time, so a caller can keep the pixels in its
// own layout without the whole picture existing twice. out receives the
// shape, palette and bit depth before the first band; out.pixels stays
// empty. A band returning false stops the decoding (false is returned).
bool decode_png_bands(const std::uint8_t* bytes, std::size_t n, Picture& out, const Band& take);
// The same from a file of n bytes, read from its current position as the
// decoder goes, so the file's bytes are never held whole either.
bool decode_png_bands(std::FILE* file, std::size_t n, Picture& out, const Band& take);
// Whether a PNG of this shape and palette can be written, known before a
// file is opened for it (opening empties the file).
bool png_writable(const Picture& picture);
// Writes a PNG to file, filling it a band at a time: fill gets each band's
// rows to write into. picture gives the shape and palette; its pixels are
// not used.
bool encode_png_bands(const Picture& picture, const Band& fill, std::FILE* file);

} // namespace vizmo::codec
