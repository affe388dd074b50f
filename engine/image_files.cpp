// The image-file object: "Load" and "Store" move a picture between a file and
// an object's "CData" and "ColorMap" ("Load" 0 gives doubles, 1 reads the
// header's facts alone, 2 gives bytes; "Store" takes either); "Capture"
// gives a figure's picture.
// Truecolor planes are held blue, green, red (plane 3 is red).
#include "image_codec.hpp"
#include "platform/files.hpp"
#include "state.hpp"
#ifdef VIZMO_WITH_RENDERER
#include "render/render.hpp"
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <type_traits>
#include <sys/stat.h>

namespace vizmo {

namespace {

using codec::Format;
using codec::Picture;

std::string quoted(const char* what, const std::string& name) { return std::string(what) + " '" + name + "'"; }

// A picture beyond what the codecs take, with its shape and the limit.
std::string too_large(const char* what, const std::string& name, std::size_t rows, std::size_t cols)
{
    return quoted(what, name) + " is " + std::to_string(rows) + " x " + std::to_string(cols) +
           " pixels, larger than the limit of " + std::to_string(codec::max_pixels) + " (2^26) pixels";
}

// The format a "Format" text or a file extension names; unknown otherwise.
Format format_named(const std::string& name)
{
    const std::string f = fold(name);
    if (f == "bmp")
        return Format::bmp;
    if (f == "pcx")
        return Format::pcx;
    if (f == "png")
        return Format::png;
    return Format::unknown;
}

std::string extension(const std::string& file)
{
    const std::size_t slash = file.find_last_of('/');
    const std::size_t dot = file.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return file.substr(dot + 1);
}

// The bytes of a BMP or PCX file its decoder can use, most at the most,
// read from its start in one piece of storage (growing it would hold up
// to twice the file while it moves). A regular file longer than that is
// not read further, but for a PCX palette, which ends the file: its last
// bytes are read in place of the ones before them. A gap a BMP leaves
// before its pixels is skipped, not read.
bool read_image_bytes(std::FILE* f, bool regular, std::size_t size, Format format, std::uint64_t most,
                      const std::uint8_t* head, std::size_t known, std::vector<std::uint8_t>& bytes)
{
    constexpr std::size_t palette = 769;
    std::uint64_t keep = 0;
    const std::uint64_t gap = format == Format::bmp ? codec::bmp_gap(head, known, keep) : 0;
    const bool cut = regular && size > most;
    bytes.reserve(static_cast<std::size_t>(regular ? std::min<std::uint64_t>(size, most - gap) : 0));
    std::uint8_t buf[65536];
    // Reads on until bytes holds `until`; false at a read error; at the
    // end of the file, true and short.
    const auto read_to = [&](std::uint64_t until) {
        while (bytes.size() < until) {
            const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, until - bytes.size()));
            const std::size_t n = std::fread(buf, 1, ask, f);
            bytes.insert(bytes.end(), buf, buf + n);
            if (n < ask)
                return !std::ferror(f);
        }
        return true;
    };
    // Past count bytes: sought, or read and dropped where the file is a
    // stream.
    const auto skip = [&](std::uint64_t count) {
        if (fseeko(f, static_cast<off_t>(count), SEEK_CUR) == 0)
            return true;
        while (count > 0) {
            const std::size_t n = std::fread(buf, 1, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, count)), f);
            if (n == 0)
                return false;
            count -= n;
        }
        return true;
    };
    if (gap > 0) {
        if (!read_to(keep) || bytes.size() < keep || !skip(gap))
            return false;
        const bool ok = read_to(most - gap);
        codec::close_bmp_gap(bytes, gap);
        return ok;
    }
    if (!read_to(cut && format == Format::pcx ? most - palette : most))
        return false;
    if (cut && format == Format::pcx) {
        if (fseeko(f, static_cast<off_t>(size - palette), SEEK_SET) != 0 ||
            std::fread(buf, 1, palette, f) != palette)
            return false;
        bytes.insert(bytes.end(), buf, buf + palette);
    }
    return true;
}

// Writes a file through the replacement every whole-file writer of the
// library uses: a temporary beside it, renamed over it once complete, so
// that a failed write leaves an existing file as it was, a file the user
// protected is left alone, and a killed writer's temporary is removed by
// the next write. Memory refused on the way (std::bad_alloc, passed on)
// removes the temporary too.
template <class Write>
bool write_beside(const std::string& name, Write&& write)
{
    platform::file_replacement out;
    return out.open(name, "wb") && write(out.stream()) && out.commit();
}

bool write_file(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    return write_beside(name, [&](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); });
}

bool decode(Format format, const std::vector<std::uint8_t>& bytes, Picture& p)
{
    switch (format) {
    case Format::bmp: return codec::decode_bmp(bytes.data(), bytes.size(), p);
    case Format::pcx: return codec::decode_pcx(bytes.data(), bytes.size(), p);
    case Format::png: return codec::decode_png(bytes.data(), bytes.size(), p);
    default: return false;
    }
}

bool encode(Format format, const Picture& p, std::vector<std::uint8_t>& bytes)
{
    switch (format) {
    case Format::bmp: return codec::encode_bmp(p, bytes);
    case Format::pcx: return codec::encode_pcx(p, bytes);
    case Format::png: return codec::encode_png(p, bytes);
    default: return false;
    }
}

std::string modification_date(std::time_t t)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d-%s-%04d %02d:%02d:%02d", tm.tm_mday, months[tm.tm_mon % 12],
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::uint8_t to_byte(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 1)
        return 255;
    return static_cast<std::uint8_t>(v * 255 + 0.5);
}

// The planes of a truecolor "CData" are blue, green, red; a picture's
// pixels are red, green, blue.
constexpr int plane_channel[3] = {2, 1, 0};

// Pixels in "CData"'s layout (column-major planes) as doubles (indices from
// 1, components in [0, 1]) or bytes (indices from 0, components 0..255),
// filled a band of picture rows at a time.
template <typename T>
class Planes {
public:
    Planes(std::size_t rows, std::size_t cols, bool indexed) : rows_(rows), cols_(cols), indexed_(indexed)
    {
        for (int k = 0; k < 256; ++k)
            level_[k] = convert(k);
    }

    bool take(int first, int count, const std::uint8_t* pixels)
    {
        const std::size_t n = rows_ * cols_, planes = indexed_ ? 1 : 3;
        if (values.empty())
            values.resize(planes * n);
        const std::size_t r0 = static_cast<std::size_t>(first), band = static_cast<std::size_t>(count);
        // Column by column down the band, every plane of a column at once:
        // the writes run on, and the reads stay within the few cache lines
        // that hold the band's pixels of neighbouring columns.
        const std::size_t step = planes * cols_;
        if (!indexed_) {
            for (std::size_t c = 0; c < cols_; ++c) {
                T* blue = values.data() + c * rows_ + r0;
                T* green = blue + n;
                T* red = green + n;
                const std::uint8_t* in = pixels + 3 * c;
                for (std::size_t i = 0; i < band; ++i, in += step) {
                    red[i] = level_[in[0]];
                    green[i] = level_[in[1]];
                    blue[i] = level_[in[2]];
                }
            }
            return true;
        }
        for (std::size_t c = 0; c < cols_; ++c) {
            T* out = values.data() + c * rows_ + r0;
            const std::uint8_t* in = pixels + c;
            for (std::size_t i = 0; i < band; ++i)
                out[i] = level_[in[i * step]];
        }
        return true;
    }

    std::vector<T> values;

private:
    T convert(int v) const
    {
        if constexpr (std::is_same_v<T, double>)
            return indexed_ ? v + 1.0 : v / 255.0;
        else
            return static_cast<T>(v);
    }
    std::size_t rows_, cols_;
    bool indexed_;
    T level_[256];
};

// Runs decode with a band taker that fills values in "CData"'s layout.
template <typename T, typename Decode>
bool decode_into(Picture& p, std::vector<T>& values, Decode&& decode)
{
    std::unique_ptr<Planes<T>> planes;
    const codec::Band take = [&](int first, int count, std::uint8_t* pixels) {
        if (!planes)
            planes = std::make_unique<Planes<T>>(static_cast<std::size_t>(p.rows), static_cast<std::size_t>(p.cols),
                                                 p.indexed);
        return planes->take(first, count, pixels);
    };
    if (!decode(take) || !planes)
        return false;
    values = std::move(planes->values);
    return true;
}

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

void load_image_file(double h, LoadAs as)
{
    Object* o = find(h);
    const std::string name = prop_text(*o, "Filename");
    const std::string format_text = prop_text(*o, "Format");
    Format format = Format::unknown;
    if (!format_text.empty()) {
        format = format_named(format_text);
        if (format == Format::unknown)
            return report_error(quoted("vizmo: image format", format_text) + " not supported");
    }
    struct stat st{};
    std::unique_ptr<std::FILE, CloseFile> file(name.empty() ? nullptr : std::fopen(name.c_str(), "rb"));
    if (!file || fstat(fileno(file.get()), &st) != 0)
        return report_error(quoted("vizmo: cannot read image file", name));
    const bool regular = S_ISREG(st.st_mode);
    const std::size_t size = regular && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    // The header comes first: a file of no format read here, or whose
    // header announces no picture read here, is refused before the rest
    // of it is read (a device such as /dev/zero has no end).
    std::uint8_t head[codec::header_bytes];
    const std::size_t got = std::fread(head, 1, sizeof head, file.get());
    if (format == Format::unknown)
        format = codec::sniff(head, got);
    if (format == Format::unknown)
        return report_error(quoted("vizmo: cannot read image file", name));
    std::rewind(file.get());
    // A PNG's pixels are decoded from the file as it is read; a BMP or PCX
    // is read as far as the picture its header announces can reach.
    const bool streamed = format == Format::png;
    const std::size_t known = regular || got < sizeof head ? (regular ? size : got) : SIZE_MAX;
    Picture p;
    const std::uint64_t most = streamed ? 0 : codec::most_file_bytes(head, known, format, p);
    std::vector<std::uint8_t> bytes;
    std::vector<double> as_doubles;
    std::vector<std::uint8_t> as_bytes;
    const auto decode_all = [&](const codec::Band& take) {
        if (streamed)
            return codec::decode_png_bands(file.get(), size, p, take);
        const bool ok = decode(format, bytes, p) && take(0, p.rows, p.pixels.data());
        std::vector<std::uint8_t>().swap(p.pixels);
        return ok;
    };
    bool read = false;
    if (streamed && as == LoadAs::header) {
        read = codec::png_header(file.get(), size, p);
    } else if (!streamed && (most == 0 || as == LoadAs::header)) {
        read = most > 0;
    } else if (!streamed && !read_image_bytes(file.get(), regular, size, format, most, head, known, bytes)) {
        read = false;
    } else if (as == LoadAs::bytes) {
        read = decode_into(p, as_bytes, decode_all);
    } else {
        read = decode_into(p, as_doubles, decode_all);
    }
    file.reset();
    std::vector<std::uint8_t>().swap(bytes);
    if (!read && p.too_large)
        return report_error(too_large("vizmo: the picture in image file", name, static_cast<std::size_t>(p.rows),
                                      static_cast<std::size_t>(p.cols)));
    if (!read && p.unsupported)
        return report_error(quoted("vizmo: unsupported image file", name) + " (" + p.unsupported + ")");
    if (!read)
        return report_error(quoted("vizmo: cannot read image file", name));
    if (as == LoadAs::header) {
        // The file's facts without its pixels: "Size" is rows, columns, planes.
        const double shape[3] = {static_cast<double>(p.rows), static_cast<double>(p.cols), p.indexed ? 1.0 : 3.0};
        const int shape_dims[2] = {1, 3};
        put_matrix(*o, "Size", 2, shape_dims, shape, false);
        put_number(*o, "FileSize", static_cast<double>(st.st_size));
        put_text(*o, "FileModDate", modification_date(st.st_mtime));
        put_number(*o, "BitDepth", p.bit_depth);
        record("load header %s %s", handle_text(h).c_str(), name.c_str());
        return;
    }

    // CData is column-major; the picture's rows run top first.
    const int dims[3] = {p.rows, p.cols, p.indexed ? 1 : 3};
    Prop& cdata = put_prop(*o, "CData");
    if (as == LoadAs::bytes)
        assign_bytes(cdata, p.indexed ? 2 : 3, dims, std::move(as_bytes));
    else
        assign(cdata, p.indexed ? 2 : 3, dims, std::move(as_doubles));
    const std::size_t entries = p.palette.size() / 3;
    std::vector<double> map(3 * entries);
    for (std::size_t k = 0; k < entries; ++k)
        for (std::size_t j = 0; j < 3; ++j)
            map[j * entries + k] = p.palette[3 * k + j] / 255.0;
    const int map_dims[2] = {static_cast<int>(entries), entries ? 3 : 0};
    put_matrix(*o, "ColorMap", 2, map_dims, map.data(), false);
    put_number(*o, "FileSize", static_cast<double>(st.st_size));
    put_text(*o, "FileModDate", modification_date(st.st_mtime));
    put_number(*o, "BitDepth", p.bit_depth);
    record("load %s %s", handle_text(h).c_str(), name.c_str());
}

void store_image_file(double h)
{
    Object* o = find(h);
    const std::string name = prop_text(*o, "Filename");
    std::string format_text = prop_text(*o, "Format");
    if (format_text.empty())
        format_text = extension(name);
    const Format format = format_named(format_text);
    if (format == Format::unknown)
        return report_error(quoted("vizmo: image format", format_text) + " not supported");

    const Prop* cdata = find_prop(*o, "CData");
    const bool plain = cdata && cdata->dims[2] == 1 && cdata->dims[3] == 1;
    const bool truecolor = cdata && cdata->dims[2] == 3 && cdata->dims[3] == 1;
    if (!cdata || (cdata->is_bytes ? cdata->bytes.empty() : cdata->data.empty()) || (!plain && !truecolor))
        return report_error(quoted("vizmo: cannot write image file", name));

    Picture p;
    p.rows = cdata->dims[0];
    p.cols = cdata->dims[1];
    p.indexed = plain;
    const std::size_t rows = static_cast<std::size_t>(p.rows), cols = static_cast<std::size_t>(p.cols);
    const std::size_t n = rows * cols;
    if (n > codec::max_pixels)
        return report_error(too_large("vizmo: the picture for image file", name, rows, cols));
    const bool bytes_in = cdata->is_bytes;
    const double* in = cdata->data.data();
    const std::uint8_t* bytes = cdata->bytes.data();
    if (plain) {
        const Prop* map = find_prop(*o, "ColorMap");
        const std::size_t entries = map ? static_cast<std::size_t>(map->dims[0]) : 0;
        if (!map || entries == 0 || entries > 256 || map->dims[1] != 3 || map->data.size() != 3 * entries)
            return report_error("vizmo: image data do not fit the colormap");
        for (std::size_t k = 0; k < n; ++k) {
            const bool fits = bytes_in ? bytes[k] < entries
                                       : in[k] >= 1 && in[k] <= static_cast<double>(entries) && in[k] == std::floor(in[k]);
            if (!fits)
                return report_error("vizmo: image data do not fit the colormap");
        }
        p.palette.resize(3 * entries);
        for (std::size_t k = 0; k < entries; ++k)
            for (std::size_t j = 0; j < 3; ++j)
                p.palette[3 * k + j] = to_byte(map->data[j * entries + k]);
    }
    // A band of picture rows from the column-major planes, every plane of a
    // column at once (the band's pixels of neighbouring columns share cache
    // lines).
    auto fill = [&](int first, int count, std::uint8_t* pixels) {
        const std::size_t planes = plain ? 1 : 3, r0 = static_cast<std::size_t>(first);
        const std::size_t band = static_cast<std::size_t>(count), step = planes * cols;
        if (bytes_in && !plain) {
            // The commonest picture, in one pass over each pixel.
            for (std::size_t c = 0; c < cols; ++c) {
                const std::uint8_t* blue = bytes + c * rows + r0;
                const std::uint8_t* green = blue + n;
                const std::uint8_t* red = green + n;
                std::uint8_t* out = pixels + 3 * c;
                for (std::size_t i = 0; i < band; ++i, out += step) {
                    out[0] = red[i];
                    out[1] = green[i];
                    out[2] = blue[i];
                }
            }
            return true;
        }
        for (std::size_t c = 0; c < cols; ++c)
            for (std::size_t plane = 0; plane < planes; ++plane) {
                const std::size_t at = plane * n + c * rows + r0;
                std::uint8_t* out = pixels + (plain ? 0 : plane_channel[plane]) + planes * c;
                if (bytes_in)
                    for (std::size_t i = 0; i < band; ++i)
                        out[i * step] = bytes[at + i];
                else if (plain)
                    for (std::size_t i = 0; i < band; ++i)
                        out[i * step] = static_cast<std::uint8_t>(in[at + i] - 1);
                else
                    for (std::size_t i = 0; i < band; ++i)
                        out[i * step] = to_byte(in[at + i]);
            }
        return true;
    };
    if (name.empty())
        return report_error(quoted("vizmo: cannot write image file", name));
    if (format == Format::png) {
        // Written as it is encoded: the picture never exists a second time.
        // A picture the encoder refuses is refused before the file is
        // opened, so an existing file of that name is left as it was.
        if (!codec::png_writable(p))
            return report_error(quoted("vizmo: cannot write image file", name));
        if (!write_beside(name, [&](std::FILE* f) { return codec::encode_png_bands(p, fill, f); }))
            return report_error(quoted("vizmo: cannot write image file", name));
    } else {
        p.pixels.resize(plain ? n : 3 * n);
        fill(0, p.rows, p.pixels.data());
        std::vector<std::uint8_t> encoded;
        if (!encode(format, p, encoded) || !write_file(name, encoded))
            return report_error(quoted("vizmo: cannot write image file", name));
    }
    record("store %s %s", handle_text(h).c_str(), name.c_str());
}

void capture_figure(double h, Prop& out)
{
#ifdef VIZMO_WITH_RENDERER
    if (render::capture(h, out))
        return;
#endif
    out = Prop{};
    const Object* f = find(figure_of(h));
    if (!f)
        return;
    double rgb[3] = {0.8, 0.8, 0.8};
    if (const Prop* c = find_prop(*f, "Color"); c && c->data.size() == 3)
        for (int k = 0; k < 3; ++k)
            rgb[k] = c->data[static_cast<std::size_t>(k)];
    double width = 0, height = 0;
    if (const Prop* pos = find_prop(*f, "Position"); pos && pos->data.size() >= 4) {
        width = pos->data[2];
        height = pos->data[3];
    }
    if (equal_folded(prop_text(*f, "Units"), "normalized")) {
        const Object* root = find(0);
        const Prop* screen = root ? find_prop(*root, "Position") : nullptr;
        if (screen && screen->data.size() >= 4) {
            width *= screen->data[2];
            height *= screen->data[3];
        }
    }
    auto pixels = [](double v) {
        if (!(v > 0))
            return 0;
        return v >= 4096 ? 4096 : static_cast<int>(std::lround(v));
    };
    const int rows = pixels(height), cols = pixels(width);
    out.ndims = 3;
    out.dims[0] = rows;
    out.dims[1] = cols;
    out.dims[2] = 3;
    out.dims[3] = 1;
    const std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
    out.data.resize(3 * n);
    for (std::size_t k = 0; k < n; ++k) {
        out.data[k] = rgb[2];
        out.data[n + k] = rgb[1];
        out.data[2 * n + k] = rgb[0];
    }
}

} // namespace vizmo
