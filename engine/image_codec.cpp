// BMP (1/4/8/16/24/32-bit and run-length 8-bit read; 8-bit indexed and
// 24-bit written) and PCX (1-bit, 8-bit palette and 24-bit, run-length
// encoded) from their byte
// layouts; every length and offset is checked against the bytes at hand.
#include "image_codec.hpp"

#include <algorithm>
#include <cstring>

namespace vizmo::codec {

namespace {

std::uint32_t u16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t s32(const std::uint8_t* p) { return static_cast<std::int32_t>(u32(p)); }

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

bool sane_size(long long rows, long long cols)
{
    return rows > 0 && cols > 0 && rows <= (1 << 24) && cols <= (1 << 24) &&
           static_cast<unsigned long long>(rows * cols) <= max_pixels;
}

// sane_size for a reader: a shape within the side limit but of more than
// max_pixels pixels is marked too large in out, with its shape.
bool sane_size(long long rows, long long cols, Picture& out)
{
    if (sane_size(rows, cols))
        return true;
    if (rows > 0 && cols > 0 && rows <= (1 << 24) && cols <= (1 << 24)) {
        out.rows = static_cast<int>(rows);
        out.cols = static_cast<int>(cols);
        out.too_large = true;
    }
    return false;
}

bool encodable(const Picture& p)
{
    if (!sane_size(p.rows, p.cols))
        return false;
    const std::size_t n = static_cast<std::size_t>(p.rows) * static_cast<std::size_t>(p.cols);
    if (p.indexed)
        return p.pixels.size() == n && !p.palette.empty() && p.palette.size() % 3 == 0 &&
               p.palette.size() <= 3 * 256;
    return p.pixels.size() == 3 * n;
}

} // namespace

Format sniff(const std::uint8_t* b, std::size_t n)
{
    static const std::uint8_t png_magic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 8 && std::memcmp(b, png_magic, 8) == 0)
        return Format::png;
    if (n >= 2 && b[0] == 'B' && b[1] == 'M')
        return Format::bmp;
    if (n >= 4 && b[0] == 0x0A && b[2] == 1)
        return Format::pcx;
    return Format::unknown;
}

// ---------------------------------------------------------------------------
// BMP

namespace {

// What a BMP header says, checked against the bytes at hand.
struct BmpHeader {
    long long width = 0, height = 0;
    bool top_down = false;
    unsigned bits = 0;
    std::uint32_t compression = 0, offset = 0, header = 0, used = 0;
    std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue of 16-bit pixels
    // Per mask: the shift to its lowest bit and its largest value there.
    int shifts[3] = {0, 0, 0};
    std::uint32_t tops[3] = {1, 1, 1};
};

constexpr std::uint32_t bmp_rgb = 0, bmp_rle8 = 1, bmp_rle4 = 2, bmp_bitfields = 3;

// False for a file that is not a BMP or is corrupt; a BMP in a variant not
// read here sets out.unsupported and returns false too.
bool bmp_header(const std::uint8_t* b, std::size_t n, BmpHeader& h, Picture& out)
{
    if (n < 14 + 40 || b[0] != 'B' || b[1] != 'M')
        return false;
    h.offset = u32(b + 10);
    h.header = u32(b + 14);
    if (h.header < 40 || h.header > n - 14)
        return false;
    h.width = s32(b + 18);
    const long long height_signed = s32(b + 22);
    const unsigned planes = u16(b + 26);
    h.bits = u16(b + 28);
    h.compression = u32(b + 30);
    h.used = u32(b + 46);
    h.top_down = height_signed < 0;
    h.height = h.top_down ? -height_signed : height_signed;
    if (planes != 1 || !sane_size(h.height, h.width, out))
        return false;
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        return false;
    out.bit_depth = static_cast<int>(h.bits);
    const bool plain = h.compression == bmp_rgb;
    const bool rle8 = h.compression == bmp_rle8 && h.bits == 8 && !h.top_down;
    const bool fields = h.compression == bmp_bitfields && h.bits == 16;
    if (!plain && !rle8 && !fields) {
        if (h.compression == bmp_rle4)
            out.unsupported = "4-bit run-length BMP";
        else if (h.compression == bmp_bitfields)
            out.unsupported = "BMP with bit fields other than 16-bit";
        else if (h.compression <= 5)
            out.unsupported = "compressed BMP";
        return false;
    }
    if (h.bits == 16) {
        if (fields) {
            // The masks follow a 40-byte header, or sit inside a longer one.
            const std::size_t at = 14 + 40;
            if (at + 12 > n)
                return false;
            for (int k = 0; k < 3; ++k)
                h.masks[k] = u32(b + at + 4 * k);
        } else {
            h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;  // 5-5-5
        }
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t m = h.masks[k];
            if (m == 0 || m > 0xFFFF)
                return false;
            while (!((m >> h.shifts[k]) & 1))
                ++h.shifts[k];
            h.tops[k] = m >> h.shifts[k];
        }
    }
    out.rows = static_cast<int>(h.height);
    out.cols = static_cast<int>(h.width);
    out.indexed = h.bits <= 8;
    return true;
}

// Channel k of a 16-bit pixel scaled from its mask's range to 0..255.
std::uint8_t masked(std::uint32_t v, const BmpHeader& h, int k)
{
    const std::uint32_t top = h.tops[k];
    return static_cast<std::uint8_t>((((v & h.masks[k]) >> h.shifts[k]) * 255 + top / 2) / top);
}

// Run-length 8-bit data, rows bottom first. Storage grows with the rows the
// data reach, so a short file that breaks off before its end-of-picture
// mark takes little before it is refused. A file that ends its picture
// early is well formed: the mark fills the rest with index 0, so it takes
// the whole picture's storage, as any picture within max_pixels may.
bool decode_rle8(const std::uint8_t* b, std::size_t n, const BmpHeader& h, Picture& out)
{
    const std::size_t cols = static_cast<std::size_t>(h.width), rows = static_cast<std::size_t>(h.height);
    std::vector<std::uint8_t>& px = out.pixels;
    px.clear();
    std::size_t x = 0, y = 0, at = h.offset;
    auto reach = [&](std::size_t row) {
        if (px.size() < (row + 1) * cols)
            px.resize((row + 1) * cols, 0);
    };
    bool ended = false;
    while (!ended) {
        if (at + 2 > n)
            return false;
        const unsigned count = b[at], value = b[at + 1];
        at += 2;
        if (count > 0) {
            if (y >= rows)
                return false;
            reach(y);
            for (unsigned k = 0; k < count && x < cols; ++k)
                px[y * cols + x++] = static_cast<std::uint8_t>(value);
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++y;
            break;
        case 1:  // end of picture
            ended = true;
            break;
        case 2:  // move right and up
            if (at + 2 > n)
                return false;
            x += b[at];
            y += b[at + 1];
            at += 2;
            break;
        default: {  // a literal run, padded to a whole word
            const std::size_t len = value;
            if (at + len > n || y >= rows)
                return false;
            reach(y);
            for (std::size_t k = 0; k < len; ++k)
                if (x < cols)
                    px[y * cols + x++] = b[at + k];
            at += len + (len & 1);
        }
        }
        if (y > rows)
            return false;
    }
    px.resize(rows * cols, 0);
    for (std::size_t r = 0; r < rows / 2; ++r)
        std::swap_ranges(px.begin() + static_cast<std::ptrdiff_t>(r * cols),
                         px.begin() + static_cast<std::ptrdiff_t>((r + 1) * cols),
                         px.begin() + static_cast<std::ptrdiff_t>((rows - 1 - r) * cols));
    return true;
}

} // namespace

bool decode_bmp(const std::uint8_t* b, std::size_t n, Picture& out)
{
    BmpHeader h;
    if (!bmp_header(b, n, h, out))
        return false;
    out.palette.clear();
    if (out.indexed) {
        const std::uint32_t entries = h.used ? h.used : 1u << h.bits;
        if (entries > 256)
            return false;
        const std::size_t at = 14 + static_cast<std::size_t>(h.header);
        if (at + 4 * static_cast<std::size_t>(entries) > n)
            return false;
        for (std::uint32_t k = 0; k < entries; ++k) {
            const std::uint8_t* e = b + at + 4 * k;
            out.palette.insert(out.palette.end(), {e[2], e[1], e[0]});
        }
    }
    if (h.offset > n)
        return false;
    const std::size_t entries = out.palette.size() / 3;
    if (h.compression == bmp_rle8) {
        if (!decode_rle8(b, n, h, out))
            return false;
        for (std::uint8_t v : out.pixels)
            if (v >= entries)
                return false;
        return true;
    }
    const std::size_t cols = static_cast<std::size_t>(h.width);
    const std::size_t stride = ((cols * h.bits + 31) / 32) * 4;
    if (stride * static_cast<std::size_t>(h.height) > n - h.offset)
        return false;

    const std::size_t channels = out.indexed ? 1 : 3;
    out.pixels.resize(static_cast<std::size_t>(h.height) * cols * channels);
    for (long long r = 0; r < h.height; ++r) {
        const std::uint8_t* row = b + h.offset + stride * static_cast<std::size_t>(h.top_down ? r : h.height - 1 - r);
        std::uint8_t* dst = out.pixels.data() + static_cast<std::size_t>(r) * cols * channels;
        switch (h.bits) {
        case 1:
            for (std::size_t c = 0; c < cols; ++c)
                dst[c] = (row[c >> 3] >> (7 - (c & 7))) & 1;
            break;
        case 4:
            for (std::size_t c = 0; c < cols; ++c)
                dst[c] = (row[c >> 1] >> ((c & 1) ? 0 : 4)) & 15;
            break;
        case 8:
            std::memcpy(dst, row, cols);
            break;
        case 16:
            for (std::size_t c = 0; c < cols; ++c) {
                const std::uint32_t v = u16(row + 2 * c);
                for (int k = 0; k < 3; ++k)
                    dst[3 * c + k] = masked(v, h, k);
            }
            break;
        default: {
            const std::size_t step = h.bits / 8;
            for (std::size_t c = 0; c < cols; ++c) {
                const std::uint8_t* px = row + step * c;
                dst[3 * c] = px[2];
                dst[3 * c + 1] = px[1];
                dst[3 * c + 2] = px[0];
            }
        }
        }
        if (out.indexed)
            for (std::size_t c = 0; c < cols; ++c)
                if (dst[c] >= entries)
                    return false;
    }
    return true;
}

bool encode_bmp(const Picture& p, std::vector<std::uint8_t>& out)
{
    if (!encodable(p))
        return false;
    const std::size_t cols = static_cast<std::size_t>(p.cols), rows = static_cast<std::size_t>(p.rows);
    const unsigned bits = p.indexed ? 8 : 24;
    const std::size_t entries = p.indexed ? p.palette.size() / 3 : 0;
    const std::size_t stride = ((cols * bits + 31) / 32) * 4;
    const std::size_t offset = 14 + 40 + 4 * entries;
    const std::size_t size = offset + stride * rows;
    if (size > 0xFFFFFFFFu)
        return false;
    out.clear();
    out.reserve(size);
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(offset));
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(cols));
    put32(out, static_cast<std::uint32_t>(rows));
    put16(out, 1);
    put16(out, bits);
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(stride * rows));
    put32(out, 2835);  // 72 dots per inch
    put32(out, 2835);
    put32(out, static_cast<std::uint32_t>(entries));
    put32(out, 0);
    for (std::size_t k = 0; k < entries; ++k)
        out.insert(out.end(), {p.palette[3 * k + 2], p.palette[3 * k + 1], p.palette[3 * k], 0});
    out.resize(size, 0);
    std::uint8_t* data = out.data() + offset;
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* row = data + stride * (rows - 1 - r);
        if (p.indexed) {
            std::memcpy(row, p.pixels.data() + r * cols, cols);
        } else {
            const std::uint8_t* src = p.pixels.data() + 3 * r * cols;
            for (std::size_t c = 0; c < cols; ++c) {
                row[3 * c] = src[3 * c + 2];
                row[3 * c + 1] = src[3 * c + 1];
                row[3 * c + 2] = src[3 * c];
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// PCX. A PCX palette always has 256 entries; the writer keeps the number of
// entries that were meant in the header's filler (bytes 74-75), which other
// readers ignore, so a colormap comes back with the rows it had.

namespace {

constexpr std::size_t pcx_header_size = 128;
constexpr std::size_t pcx_count_at = 74;

void pcx_run(std::vector<std::uint8_t>& out, std::uint8_t value, unsigned count)
{
    if (count > 1 || (value & 0xC0) == 0xC0)
        out.push_back(static_cast<std::uint8_t>(0xC0 | count));
    out.push_back(value);
}

void pcx_encode_line(std::vector<std::uint8_t>& out, const std::uint8_t* line, std::size_t n)
{
    std::size_t k = 0;
    while (k < n) {
        unsigned count = 1;
        while (k + count < n && count < 63 && line[k + count] == line[k])
            ++count;
        pcx_run(out, line[k], count);
        k += count;
    }
}

} // namespace

namespace {

// What a PCX header says beyond the picture's shape and kind.
struct PcxHeader {
    std::size_t per_line = 0;  // bytes of each plane of a line
    unsigned planes = 0;
    bool mono = false;  // 1-bit black and white
};

// The picture's shape and kind from a PCX header: 8-bit with one plane
// (palette) or three (truecolor), or 1-bit with one plane (black and white).
bool pcx_header(const std::uint8_t* b, std::size_t n, PcxHeader& h, Picture& out)
{
    if (n < pcx_header_size || b[0] != 0x0A || b[2] != 1)
        return false;
    const unsigned bits = b[3];
    const long long xmin = u16(b + 4), ymin = u16(b + 6), xmax = u16(b + 8), ymax = u16(b + 10);
    const unsigned planes = b[65];
    const std::size_t per_line = u16(b + 66);
    const long long width = xmax - xmin + 1, height = ymax - ymin + 1;
    if (!sane_size(height, width, out))
        return false;
    out.bit_depth = static_cast<int>(bits * planes);
    if (!((bits == 8 && (planes == 1 || planes == 3)) || (bits == 1 && planes == 1))) {
        if ((bits == 1 || bits == 2 || bits == 4 || bits == 8) && planes >= 1 && planes <= 4)
            out.unsupported = "PCX of this bit depth";
        return false;
    }
    if (per_line * 8 < static_cast<std::size_t>(width) * bits)
        return false;
    out.rows = static_cast<int>(height);
    out.cols = static_cast<int>(width);
    out.indexed = planes == 1;
    h.per_line = per_line;
    h.planes = planes;
    h.mono = bits == 1;
    return true;
}

} // namespace

bool decode_pcx(const std::uint8_t* b, std::size_t n, Picture& out)
{
    PcxHeader h;
    if (!pcx_header(b, n, h, out))
        return false;
    const std::size_t rows = static_cast<std::size_t>(out.rows), cols = static_cast<std::size_t>(out.cols);

    std::size_t end = n;
    out.palette.clear();
    if (h.mono) {
        out.palette = {0, 0, 0, 255, 255, 255};
    } else if (out.indexed) {
        if (n < pcx_header_size + 769 || b[n - 769] != 0x0C)
            return false;
        std::size_t entries = u16(b + pcx_count_at);
        if (entries == 0 || entries > 256)
            entries = 256;
        out.palette.assign(b + n - 768, b + n - 768 + 3 * entries);
        end = n - 769;
    }
    // Each byte of input yields at most 63 bytes: a short file cannot claim
    // a huge picture.
    const std::size_t line = h.per_line * h.planes;
    const std::size_t total = line * rows;
    if (total / 63 > end - pcx_header_size + 1)
        return false;
    std::vector<std::uint8_t> raw(total);
    std::size_t at = pcx_header_size, got = 0;
    while (got < total) {
        if (at >= end)
            return false;
        std::uint8_t v = b[at++];
        std::size_t count = 1;
        if ((v & 0xC0) == 0xC0) {
            count = v & 0x3F;
            if (at >= end)
                return false;
            v = b[at++];
        }
        if (count > total - got)
            count = total - got;
        std::memset(raw.data() + got, v, count);
        got += count;
    }

    out.pixels.resize(rows * cols * (out.indexed ? 1 : 3));
    const std::size_t entries = out.palette.size() / 3;
    for (std::size_t r = 0; r < rows; ++r) {
        const std::uint8_t* src = raw.data() + r * line;
        if (h.mono) {
            std::uint8_t* dst = out.pixels.data() + r * cols;
            for (std::size_t c = 0; c < cols; ++c)
                dst[c] = (src[c >> 3] >> (7 - (c & 7))) & 1;
        } else if (out.indexed) {
            std::uint8_t* dst = out.pixels.data() + r * cols;
            for (std::size_t c = 0; c < cols; ++c) {
                if (src[c] >= entries)
                    return false;
                dst[c] = src[c];
            }
        } else {
            std::uint8_t* dst = out.pixels.data() + 3 * r * cols;
            for (std::size_t c = 0; c < cols; ++c) {
                dst[3 * c] = src[c];
                dst[3 * c + 1] = src[h.per_line + c];
                dst[3 * c + 2] = src[2 * h.per_line + c];
            }
        }
    }
    return true;
}

bool encode_pcx(const Picture& p, std::vector<std::uint8_t>& out)
{
    if (!encodable(p) || p.rows > 65536 || p.cols > 65536)
        return false;
    const std::size_t cols = static_cast<std::size_t>(p.cols);
    const std::size_t per_line = cols + (cols & 1);
    const unsigned planes = p.indexed ? 1 : 3;
    out.assign(pcx_header_size, 0);
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    auto set16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    set16(8, static_cast<std::uint32_t>(p.cols - 1));
    set16(10, static_cast<std::uint32_t>(p.rows - 1));
    set16(12, 72);
    set16(14, 72);
    out[65] = static_cast<std::uint8_t>(planes);
    set16(66, static_cast<std::uint32_t>(per_line));
    set16(68, 1);
    if (p.indexed)
        set16(pcx_count_at, static_cast<std::uint32_t>(p.palette.size() / 3));

    std::vector<std::uint8_t> line(per_line, 0);
    for (std::size_t r = 0; r < static_cast<std::size_t>(p.rows); ++r)
        for (unsigned plane = 0; plane < planes; ++plane) {
            for (std::size_t c = 0; c < cols; ++c)
                line[c] = p.indexed ? p.pixels[r * cols + c] : p.pixels[3 * (r * cols + c) + plane];
            pcx_encode_line(out, line.data(), per_line);
        }
    if (p.indexed) {
        out.push_back(0x0C);
        std::vector<std::uint8_t> palette(768, 0);
        std::memcpy(palette.data(), p.palette.data(), p.palette.size());
        out.insert(out.end(), palette.begin(), palette.end());
    }
    return true;
}

// ---------------------------------------------------------------------------

// The BMP and PCX header readers check lengths against the file's size n
// but read nothing past the first header_bytes.
bool read_header(const std::uint8_t* b, std::size_t n, Format format, Picture& out)
{
    return most_file_bytes(b, n, format, out) > 0;
}

std::uint64_t most_file_bytes(const std::uint8_t* b, std::size_t n, Format format, Picture& out)
{
    switch (format) {
    case Format::bmp: {
        BmpHeader h;
        if (!bmp_header(b, n, h, out))
            return 0;
        const std::uint64_t height = static_cast<std::uint64_t>(h.height), width = static_cast<std::uint64_t>(h.width);
        // The palette follows the header; the pixels start at the offset.
        const std::uint64_t start = std::max<std::uint64_t>(h.offset, 14ull + h.header + 4 * 256);
        // A run-length pair gives at least one pixel, a move (four bytes)
        // at least one place, and each row ends with a pair.
        const std::uint64_t pixels = h.compression == bmp_rle8 ? 4 * height * width + 2 * height + 2
                                                               : (width * h.bits + 31) / 32 * 4 * height;
        return start + pixels;
    }
    case Format::pcx: {
        PcxHeader h;
        if (!pcx_header(b, n, h, out))
            return 0;
        // At worst two bytes for each byte of a line, and the palette.
        return pcx_header_size + 2ull * h.per_line * h.planes * static_cast<std::uint64_t>(out.rows) + 769;
    }
    default: return 0;
    }
}

std::uint64_t bmp_gap(const std::uint8_t* b, std::size_t n, std::uint64_t& keep)
{
    BmpHeader h;
    Picture shape;
    if (!bmp_header(b, n, h, shape))
        return 0;
    keep = 14ull + h.header + 4 * 256;
    return h.offset > keep ? h.offset - keep : 0;
}

void close_bmp_gap(std::vector<std::uint8_t>& bytes, std::uint64_t gap)
{
    if (bytes.size() < 14 || gap == 0)
        return;
    const std::uint32_t offset = u32(bytes.data() + 10) - static_cast<std::uint32_t>(gap);
    for (int k = 0; k < 4; ++k)
        bytes[10 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(offset >> (8 * k));
}

} // namespace vizmo::codec
