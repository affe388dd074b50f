// PNG through libpng. libpng reports a failure by longjmp: each codec keeps
// its C++ objects in an outer frame and runs libpng in an inner one that
// holds nothing to destroy, so a jump back frees everything in order and no
// exception ever crosses libpng. Memory libpng or zlib could not have is
// std::bad_alloc once the jump has landed, as it is for the codec's own.
#include "image_codec.hpp"

#include <csetjmp>
#include <cstring>
#include <new>
#include <png.h>
#include <strings.h>

namespace vizmo::codec {

namespace {

// libpng prints its messages by default; the engine reports failures its
// own way. A failure for want of memory is marked in the flag that the
// error pointer of each codec's libpng structure points to.
void png_fail(png_structp png, png_const_charp message)
{
    if (message) {
        for (const char* p = message; *p; ++p)
            if (strncasecmp(p, "memory", 6) == 0) {
                *static_cast<bool*>(png_get_error_ptr(png)) = true;
                break;
            }
    }
    png_longjmp(png, 1);
}
void png_quiet(png_structp, png_const_charp) {}

// The bytes in memory, or a file of n bytes read as the decoder asks.
struct Source {
    const std::uint8_t* bytes;
    std::size_t n;
    std::size_t at;
    std::FILE* file = nullptr;
};

void read_bytes(png_structp png, png_bytep out, png_size_t len)
{
    Source* s = static_cast<Source*>(png_get_io_ptr(png));
    if (len > s->n - s->at)
        png_error(png, "truncated");
    if (s->file) {
        if (std::fread(out, 1, len, s->file) != len)
            png_error(png, "truncated");
    } else {
        std::memcpy(out, s->bytes + s->at, len);
    }
    s->at += len;
}

struct Sink {
    std::vector<std::uint8_t>* out;
};

void write_bytes(png_structp png, png_bytep data, png_size_t len)
{
    Sink* s = static_cast<Sink*>(png_get_io_ptr(png));
    try {
        s->out->insert(s->out->end(), data, data + len);
    } catch (...) {
        png_error(png, "out of memory");
    }
}

void flush_bytes(png_structp) {}

struct ReadStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool memory_refused = false;
    ~ReadStruct() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct WriteStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool memory_refused = false;
    ~WriteStruct() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

// After a jump back from libpng: false for the file's or the stream's
// fault, std::bad_alloc for want of memory.
bool jumped_back(png_structp png)
{
    if (*static_cast<bool*>(png_get_error_ptr(png)))
        throw std::bad_alloc();
    return false;
}

// Reads the header and sets the transforms; fills the picture's shape and
// palette. Runs under the jump buffer; allocates nothing of its own.
bool read_header(ReadStruct& rs, Picture& out, bool header_only)
{
    png_structp png = rs.png;
    png_infop info = rs.info;
    if (setjmp(png_jmpbuf(png)))
        return jumped_back(png);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    const int type = png_get_color_type(png, info), depth = png_get_bit_depth(png, info);
    if (width == 0 || height == 0)
        return false;
    if (static_cast<unsigned long long>(width) * height > max_pixels) {
        out.rows = static_cast<int>(height);  // libpng takes neither above 2^31 - 1
        out.cols = static_cast<int>(width);
        out.too_large = true;
        return false;
    }
    // Deflate yields at most 1032 bytes per byte read: a short file cannot
    // hold a large picture, so its claim is refused before any storage for
    // the picture is taken.
    const Source* source = static_cast<const Source*>(png_get_io_ptr(png));
    const unsigned long long bits_per_row =
        static_cast<unsigned long long>(width) * png_get_channels(png, info) * static_cast<unsigned>(depth);
    const unsigned long long raw = bits_per_row * height / 8;  // every pixel once, interlaced or not
    if (raw / 1032 > source->n)
        return false;
    out.rows = static_cast<int>(height);
    out.cols = static_cast<int>(width);
    out.indexed = type == PNG_COLOR_TYPE_PALETTE;
    out.bit_depth = depth * png_get_channels(png, info);
    if (header_only)
        return true;
    if (out.indexed) {
        png_colorp colours = nullptr;
        int entries = 0;
        if (!png_get_PLTE(png, info, &colours, &entries) || entries < 1 || entries > 256)
            return false;
        out.palette.resize(3 * static_cast<std::size_t>(entries));
        for (int k = 0; k < entries; ++k) {
            out.palette[3 * k] = colours[k].red;
            out.palette[3 * k + 1] = colours[k].green;
            out.palette[3 * k + 2] = colours[k].blue;
        }
        if (depth < 8)
            png_set_packing(png);
    } else {
        if (depth == 16)
            png_set_strip_16(png);
        if (type & PNG_COLOR_MASK_ALPHA)
            png_set_strip_alpha(png);
        if (!(type & PNG_COLOR_MASK_COLOR)) {
            png_set_expand_gray_1_2_4_to_8(png);
            png_set_gray_to_rgb(png);
        }
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == static_cast<std::size_t>(width) * (out.indexed ? 1 : 3);
}

// Runs one step of libpng calls under a return point of its own: libpng
// reports an error by a long jump, which must land in a frame still running.
template <class Step>
bool png_step(png_structp png, Step&& step)
{
    if (setjmp(png_jmpbuf(png)))
        return jumped_back(png);
    step();
    return true;
}

bool read_pixels(ReadStruct& rs, png_bytepp rows)
{
    return png_step(rs.png, [&] {
        png_read_image(rs.png, rows);
        png_read_end(rs.png, nullptr);
    });
}

// count rows of row_bytes each, one after another.
bool read_rows(ReadStruct& rs, png_bytep rows, std::size_t row_bytes, int count)
{
    return png_step(rs.png, [&] {
        for (int r = 0; r < count; ++r)
            png_read_row(rs.png, rows + static_cast<std::size_t>(r) * row_bytes, nullptr);
    });
}

bool finish_reading(ReadStruct& rs)
{
    return png_step(rs.png, [&] { png_read_end(rs.png, nullptr); });
}

bool write_head(WriteStruct& ws, const Picture& p)
{
    return png_step(ws.png, [&] {
        png_set_IHDR(ws.png, ws.info, static_cast<png_uint_32>(p.cols), static_cast<png_uint_32>(p.rows), 8,
                     p.indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (p.indexed) {
            png_color colours[256];
            const int entries = static_cast<int>(p.palette.size() / 3);
            for (int k = 0; k < entries; ++k)
                colours[k] = png_color{p.palette[3 * k], p.palette[3 * k + 1], p.palette[3 * k + 2]};
            png_set_PLTE(ws.png, ws.info, colours, entries);
        }
        png_write_info(ws.png, ws.info);
    });
}

bool write_rows(WriteStruct& ws, png_bytep rows, std::size_t row_bytes, int count)
{
    return png_step(ws.png, [&] {
        for (int r = 0; r < count; ++r)
            png_write_row(ws.png, rows + static_cast<std::size_t>(r) * row_bytes);
    });
}

bool write_tail(WriteStruct& ws)
{
    return png_step(ws.png, [&] { png_write_end(ws.png, ws.info); });
}

void write_file_bytes(png_structp png, png_bytep data, png_size_t len)
{
    if (std::fwrite(data, 1, len, static_cast<std::FILE*>(png_get_io_ptr(png))) != len)
        png_error(png, "cannot write");
}

void flush_file(png_structp png) { std::fflush(static_cast<std::FILE*>(png_get_io_ptr(png))); }

bool write_all(WriteStruct& ws, const Picture& p, png_bytepp rows)
{
    return write_head(ws, p) && png_step(ws.png, [&] { png_write_image(ws.png, rows); }) && write_tail(ws);
}

bool start_reading(ReadStruct& rs, Source& source)
{
    // Either fails only for want of memory.
    rs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &rs.memory_refused, png_fail, png_quiet);
    if (!rs.png)
        throw std::bad_alloc();
    rs.info = png_create_info_struct(rs.png);
    if (!rs.info)
        throw std::bad_alloc();
    png_set_read_fn(rs.png, &source, read_bytes);
    png_set_crc_action(rs.png, PNG_CRC_DEFAULT, PNG_CRC_DEFAULT);
    return true;
}

// The row pointers libpng reads into or writes from: rows of row_bytes
// each, one after another from base.
std::vector<png_bytep> row_pointers(const std::uint8_t* base, int rows, std::size_t row_bytes)
{
    std::vector<png_bytep> pointers(static_cast<std::size_t>(rows));
    for (std::size_t r = 0; r < pointers.size(); ++r)
        pointers[r] = const_cast<png_bytep>(base + r * row_bytes);
    return pointers;
}

bool start_writing(WriteStruct& ws, void* io, png_rw_ptr write, png_flush_ptr flush)
{
    ws.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ws.memory_refused, png_fail, png_quiet);
    if (!ws.png)
        throw std::bad_alloc();
    ws.info = png_create_info_struct(ws.png);
    if (!ws.info)
        throw std::bad_alloc();
    png_set_write_fn(ws.png, io, write, flush);
    return true;
}

} // namespace

bool png_writable(const Picture& p)
{
    const std::size_t n = static_cast<std::size_t>(p.rows > 0 ? p.rows : 0) * static_cast<std::size_t>(p.cols > 0 ? p.cols : 0);
    return p.rows > 0 && p.cols > 0 && n <= max_pixels &&
           !(p.indexed && (p.palette.empty() || p.palette.size() % 3 != 0 || p.palette.size() > 768));
}

bool png_header(std::FILE* file, std::size_t n, Picture& out)
{
    Source source{nullptr, n, 0, file};
    ReadStruct rs;
    return start_reading(rs, source) && read_header(rs, out, true);
}

bool decode_png(const std::uint8_t* bytes, std::size_t n, Picture& out)
{
    Source source{bytes, n, 0};
    ReadStruct rs;
    if (!start_reading(rs, source) || !read_header(rs, out, false))
        return false;

    const std::size_t row_bytes = static_cast<std::size_t>(out.cols) * (out.indexed ? 1 : 3);
    out.pixels.resize(row_bytes * static_cast<std::size_t>(out.rows));
    std::vector<png_bytep> rows = row_pointers(out.pixels.data(), out.rows, row_bytes);
    if (!read_pixels(rs, rows.data()))
        return false;
    if (out.indexed) {
        const std::size_t entries = out.palette.size() / 3;
        for (std::uint8_t v : out.pixels)
            if (v >= entries)
                return false;
    }
    return true;
}

bool encode_png(const Picture& p, std::vector<std::uint8_t>& out)
{
    const std::size_t row_bytes = static_cast<std::size_t>(p.cols > 0 ? p.cols : 0) * (p.indexed ? 1 : 3);
    if (!png_writable(p) || p.pixels.size() != row_bytes * static_cast<std::size_t>(p.rows))
        return false;
    out.clear();
    Sink sink{&out};
    WriteStruct ws;
    if (!start_writing(ws, &sink, write_bytes, flush_bytes))
        return false;
    std::vector<png_bytep> rows = row_pointers(p.pixels.data(), p.rows, row_bytes);
    return write_all(ws, p, rows.data());
}

namespace {

bool decode_bands(Source& source, Picture& out, const Band& take)
{
    ReadStruct rs;
    if (!start_reading(rs, source) || !read_header(rs, out, false))
        return false;
    const std::size_t row_bytes = static_cast<std::size_t>(out.cols) * (out.indexed ? 1 : 3);
    const std::size_t entries = out.palette.size() / 3;
    auto indices_fit = [&](const std::uint8_t* p, std::size_t count) {
        if (!out.indexed)
            return true;
        for (std::size_t k = 0; k < count; ++k)
            if (p[k] >= entries)
                return false;
        return true;
    };
    if (png_get_interlace_type(rs.png, rs.info) != PNG_INTERLACE_NONE) {
        // Every pass revisits every row: the picture is decoded whole.
        out.pixels.resize(row_bytes * static_cast<std::size_t>(out.rows));
        std::vector<png_bytep> rows = row_pointers(out.pixels.data(), out.rows, row_bytes);
        const bool ok = read_pixels(rs, rows.data()) && indices_fit(out.pixels.data(), out.pixels.size()) &&
                        take(0, out.rows, out.pixels.data());
        std::vector<std::uint8_t>().swap(out.pixels);
        return ok;
    }
    const int band = out.rows < band_rows ? out.rows : band_rows;
    std::vector<std::uint8_t> buffer(row_bytes * static_cast<std::size_t>(band));
    for (int first = 0; first < out.rows; first += band) {
        const int count = out.rows - first < band ? out.rows - first : band;
        if (!read_rows(rs, buffer.data(), row_bytes, count) ||
            !indices_fit(buffer.data(), row_bytes * static_cast<std::size_t>(count)) ||
            !take(first, count, buffer.data()))
            return false;
    }
    return finish_reading(rs);
}

} // namespace

bool decode_png_bands(const std::uint8_t* bytes, std::size_t n, Picture& out, const Band& take)
{
    Source source{bytes, n, 0};
    return decode_bands(source, out, take);
}

bool decode_png_bands(std::FILE* file, std::size_t n, Picture& out, const Band& take)
{
    Source source{nullptr, n, 0, file};
    return decode_bands(source, out, take);
}

bool encode_png_bands(const Picture& p, const Band& fill, std::FILE* file)
{
    WriteStruct ws;
    if (!file || !png_writable(p) || !start_writing(ws, file, write_file_bytes, flush_file) || !write_head(ws, p))
        return false;
    const std::size_t row_bytes = static_cast<std::size_t>(p.cols) * (p.indexed ? 1 : 3);
    const int band = p.rows < band_rows ? p.rows : band_rows;
    std::vector<std::uint8_t> buffer(row_bytes * static_cast<std::size_t>(band));
    for (int first = 0; first < p.rows; first += band) {
        const int count = p.rows - first < band ? p.rows - first : band;
        if (!fill(first, count, buffer.data()) || !write_rows(ws, buffer.data(), row_bytes, count))
            return false;
    }
    return write_tail(ws);
}

} // namespace vizmo::codec
