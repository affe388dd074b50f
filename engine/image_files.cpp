// The image-file object: "Load" and "Store" move a picture between a file and
// an object's "CData" and "ColorMap" ("Load" 1 reads the header's facts
// alone); "Capture" gives a figure's picture.
// Truecolor planes are held blue, green, red (plane 3 is red).
#include "image_codec.hpp"
#include "state.hpp"
#ifdef VIZMO_WITH_RENDERER
#include "render/render.hpp"
#endif

#include <cmath>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

namespace vizmo {

namespace {

using codec::Format;
using codec::Picture;

std::string quoted(const char* what, const std::string& name) { return std::string(what) + " '" + name + "'"; }

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

bool read_file(const std::string& name, std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f)
        return false;
    bool ok = true;
    std::uint8_t buf[65536];
    for (;;) {
        const std::size_t got = std::fread(buf, 1, sizeof buf, f);
        bytes.insert(bytes.end(), buf, buf + got);
        if (got < sizeof buf) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    return ok;
}

bool write_file(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
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

} // namespace

void load_image_file(double h, bool header_only)
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
    std::vector<std::uint8_t> bytes;
    struct stat st{};
    if (name.empty() || !read_file(name, bytes) || stat(name.c_str(), &st) != 0)
        return report_error(quoted("vizmo: cannot read image file", name));
    if (format == Format::unknown)
        format = codec::sniff(bytes.data(), bytes.size());
    Picture p;
    const bool read = header_only ? codec::read_header(bytes.data(), bytes.size(), format, p) : decode(format, bytes, p);
    if (!read && p.unsupported)
        return report_error(quoted("vizmo: unsupported image file", name) + " (" + p.unsupported + ")");
    if (!read)
        return report_error(quoted("vizmo: cannot read image file", name));
    if (header_only) {
        // The file's facts without its pixels: "Size" is rows, columns, planes.
        const double size[3] = {static_cast<double>(p.rows), static_cast<double>(p.cols), p.indexed ? 1.0 : 3.0};
        const int size_dims[2] = {1, 3};
        put_matrix(*o, "Size", 2, size_dims, size, false);
        put_number(*o, "FileSize", static_cast<double>(st.st_size));
        put_text(*o, "FileModDate", modification_date(st.st_mtime));
        put_number(*o, "BitDepth", p.bit_depth);
        record("load header %s %s", handle_text(h).c_str(), name.c_str());
        return;
    }

    // CData is column-major; the picture's rows run top first.
    const std::size_t rows = static_cast<std::size_t>(p.rows), cols = static_cast<std::size_t>(p.cols);
    const std::size_t n = rows * cols;
    Prop& cdata = put_prop(*o, "CData");
    cdata.ndims = p.indexed ? 2 : 3;
    cdata.dims[0] = p.rows;
    cdata.dims[1] = p.cols;
    cdata.dims[2] = p.indexed ? 1 : 3;
    cdata.dims[3] = 1;
    cdata.is_string = false;
    cdata.data.resize(p.indexed ? n : 3 * n);
    double* out = cdata.data.data();
    // The doubles are written in order; the bytes are read across rows.
    if (p.indexed) {
        for (std::size_t c = 0; c < cols; ++c)
            for (std::size_t r = 0; r < rows; ++r)
                *out++ = p.pixels[r * cols + c] + 1.0;
    } else {
        double level[256];
        for (int k = 0; k < 256; ++k)
            level[k] = k / 255.0;
        static constexpr int plane_channel[3] = {2, 1, 0};  // blue, green, red
        for (int plane = 0; plane < 3; ++plane) {
            const std::uint8_t* src = p.pixels.data() + plane_channel[plane];
            for (std::size_t c = 0; c < cols; ++c)
                for (std::size_t r = 0; r < rows; ++r)
                    *out++ = level[src[3 * (r * cols + c)]];
        }
    }
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
    if (!cdata || cdata->data.empty() || (!plain && !truecolor))
        return report_error(quoted("vizmo: cannot write image file", name));

    Picture p;
    p.rows = cdata->dims[0];
    p.cols = cdata->dims[1];
    p.indexed = plain;
    const std::size_t rows = static_cast<std::size_t>(p.rows), cols = static_cast<std::size_t>(p.cols);
    const std::size_t n = rows * cols;
    const double* in = cdata->data.data();
    if (plain) {
        const Prop* map = find_prop(*o, "ColorMap");
        const std::size_t entries = map ? static_cast<std::size_t>(map->dims[0]) : 0;
        if (!map || entries == 0 || entries > 256 || map->dims[1] != 3 || map->data.size() != 3 * entries)
            return report_error("vizmo: image data do not fit the colormap");
        p.pixels.resize(n);
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < cols; ++c) {
                const double v = in[c * rows + r];
                if (!(v >= 1 && v <= static_cast<double>(entries) && v == std::floor(v)))
                    return report_error("vizmo: image data do not fit the colormap");
                p.pixels[r * cols + c] = static_cast<std::uint8_t>(v - 1);
            }
        p.palette.resize(3 * entries);
        for (std::size_t k = 0; k < entries; ++k)
            for (std::size_t j = 0; j < 3; ++j)
                p.palette[3 * k + j] = to_byte(map->data[j * entries + k]);
    } else {
        p.pixels.resize(3 * n);
        static constexpr int plane_channel[3] = {2, 1, 0};  // blue, green, red
        for (int plane = 0; plane < 3; ++plane) {
            std::uint8_t* dst = p.pixels.data() + plane_channel[plane];
            for (std::size_t c = 0; c < cols; ++c)
                for (std::size_t r = 0; r < rows; ++r)
                    dst[3 * (r * cols + c)] = to_byte(*in++);
        }
    }
    std::vector<std::uint8_t> bytes;
    if (name.empty() || !encode(format, p, bytes) || !write_file(name, bytes))
        return report_error(quoted("vizmo: cannot write image file", name));
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
