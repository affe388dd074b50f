// Image files: the library holds no codec. Each call names a file on a
// hidden engine object and has the engine load, store or describe it. The
// language's bytes cross as bytes both ways, so a picture is never held as
// doubles on its way to or from a file.
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include "../engine/scalar_real.hpp"
#include "../graphics/engine_values.hpp"
#include "../graphics/properties.hpp"
#include "../host/search_path.hpp"
#include "../platform/files.hpp"
#include "vizmo4510.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

// The hidden object that carries one request; "Kill" on every way out, an
// error from the engine or from a conversion included.
class image_file_object {
public:
    image_file_object() : h_(vizmo_create_object("axes", -1)) {}
    ~image_file_object()
    {
        double zero = 0;
        miniM kill{2, {1, 1, 1, 1}, 0, &zero};
        vizmo_set_property(h_, "Kill", &kill);
    }
    image_file_object(const image_file_object&) = delete;
    image_file_object& operator=(const image_file_object&) = delete;

    Mm handle() const { return Mm(h_); }
    double raw() const { return h_; }

private:
    double h_;
};

// The language keeps '\' in paths; the engine opens files as the system
// names them.
Mm system_name(const std::string& name) { return TM(platform::native_path(name).c_str()); }

// The engine's "CData" as the language's bytes: bytes are taken as they
// are; of doubles, indices from 1 become indices from 0 (256 wraps to 255
// as a byte), components in [0, 1] become 0..255. One pass, one allocation.
Mm bytes_of_cdata(double h)
{
    miniM* m = vizmo_get_property(h, "CData");
    if (!m || m->ndims < 2)
        return muint8(Mm());
    if (m->isBytes)
        return value_from_minim(*m);
    const bool indexed = m->ndims == 2 || (m->dims[2] == 1 && m->dims[3] == 1);
    int dims[4] = {m->dims[0], m->dims[1], m->dims[2], m->dims[3]};
    const int nd = indexed ? 2 : (m->dims[3] == 1 ? 3 : 4);
    Mm r(0, 0, 0, nd, dims, qv_uint8);
    const long long n = minim_numel(*m);
    if (r.size() != n || !m->data)
        return r;  // refused storage (already reported) or no pixels
    unsigned char* out = r.getpr(static_cast<unsigned char*>(nullptr));
    const double* in = m->data;
    if (indexed) {
        for (long long k = 0; k < n; ++k)
            out[k] = double_to_byte(in[k] - 1);
    } else {
        for (long long k = 0; k < n; ++k)
            out[k] = double_to_byte(in[k] * 255);
    }
    return r;
}

std::string text_of(const Mm& x)
{
    const int n = Mstr_size(x);
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    Mstr(x, s.data(), static_cast<int>(s.size()));
    s.resize(std::char_traits<char>::length(s.c_str()));
    return s;
}

} // namespace

// ---- reading ----

Mm imread(const Mm& name, const Mm& fmt, i_o_t, Mm& X, Mm& map)
{
    char buffer[512];
    Mstr(name, buffer, sizeof buffer);
    std::string found = buffer;
    std::FILE* f = open_on_path(static_cast<const search_path*>(mpath_pointer), nullptr, found, 0);
    if (!f) {
        error("imread: file %s not found", buffer);
        return x_M;
    }
    // Held open while the picture is read by its name: a named pipe whose
    // finder closed it would lose its writer, and the reader's own open
    // would then wait for another one forever.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> held(f, &std::fclose);

    image_file_object obj;
    set(obj.handle(), TM("Format"), fmt);
    set(obj.handle(), TM("Filename"), system_name(found));
    set(obj.handle(), TM("Load"), Mm(2.0));  // the pixels as bytes
    Mm pixels = bytes_of_cdata(obj.raw());
    Mm colors = get(obj.handle(), "ColorMap");
    X = pixels;
    map = colors;
    return x_M;
}

Mm imread(const Mm& name, i_o_t, Mm& X, Mm& map) { return imread(name, TM(""), i_o, X, map); }

Mm imread(const Mm& name, const Mm& fmt)
{
    Mm X, map;
    imread(name, fmt, i_o, X, map);
    return X;
}

Mm imread(const Mm& name) { return imread(name, TM("")); }

namespace {

Mm read_as(const Mm& name, const char* fmt, Mm& X, Mm& map)
{
    Mm pixels, colors;
    imread(name, TM(fmt), i_o, pixels, colors);
    X = im2double(pixels);
    map = colors;
    return x_M;
}

} // namespace

Mm bmpread(const Mm& name) { return imread(name, TM("bmp")); }
Mm gifread(const Mm& name) { return imread(name, TM("gif")); }
Mm tiffread(const Mm& name) { return imread(name, TM("tif")); }
Mm pcxread(const Mm& name) { return imread(name, TM("pcx")); }
Mm bmpread(const Mm& name, i_o_t, Mm& X, Mm& map) { return read_as(name, "bmp", X, map); }
Mm gifread(const Mm& name, i_o_t, Mm& X, Mm& map) { return read_as(name, "gif", X, map); }
Mm tiffread(const Mm& name, i_o_t, Mm& X, Mm& map) { return read_as(name, "tif", X, map); }
Mm pcxread(const Mm& name, i_o_t, Mm& X, Mm& map) { return read_as(name, "pcx", X, map); }

// ---- describing ----

Mm imfinfo(const Mm& name, const Mm& fmt)
{
    image_file_object obj;
    set(obj.handle(), TM("Format"), fmt);
    const std::string file = text_of(name);
    set(obj.handle(), TM("Filename"), system_name(file));
    // The header alone: describing a file need not decode its pixels.
    set(obj.handle(), TM("Load"), Mm(1.0));
    const Mm size = get(obj.handle(), "Size");
    const bool known = size.size() == 3 && size.gettype() == qv_double;

    // Without a format the name's last three characters stand in for one
    // (the engine itself reads by content).
    Mm format = fmt;
    if (fmt.size() <= 0)
        format = TM(file.size() > 4 ? file.substr(file.size() - 3).c_str() : "");
    Mm s;
    s.member("Filename") = name;
    s.member("Format") = format;
    s.member("FormatVersion") = TM("");
    s.member("FileSize") = get(obj.handle(), "FileSize");
    s.member("FileModDate") = get(obj.handle(), "FileModDate");
    s.member("Width") = Mm(known ? *size.addr(2) : 0.0);
    s.member("Height") = Mm(known ? *size.addr(1) : 0.0);
    s.member("BitDepth") = get(obj.handle(), "BitDepth");
    s.member("ColorType") = TM(known && *size.addr(3) > 1 ? "truecolor" : "indexed");
    return s;
}

Mm imfinfo(const Mm& name) { return imfinfo(name, TM("")); }

// ---- writing ----

// imwrite(A, name), imwrite(A, name, fmt, pairs...), imwrite(A, map, name),
// imwrite(A, map, name, pairs...): the format comes only from the arguments
// (or, when empty, the engine takes it from the name's extension).
Mm imwrite(const Mm& args)
{
    const int n = iscell(args) ? args.size() : 0;
    if (n <= 0) {
        error("imwrite: need to have at least one parameter");
        return x_M;
    }
    // The current map without opening a figure for it: jet when none is open.
    Mm map = colormap();
    Mm name;
    Mm fmt = TM("");
    int first = 3;
    const Mm& A = args.mr(1);
    if (n == 2)
        name = args.mr(2);
    if (n >= 3) {
        if (args.mr(2).isstr()) {
            name = args.mr(2);
            fmt = args.mr(3);
            first = 4;
        } else {
            map = args.mr(2);
            name = args.mr(3);
            first = 5 - n % 2;  // with four arguments the fourth is not used
        }
    }
    // uint8 pixels go as they are; anything else as im2double makes it
    // (which also refuses what is no image).
    const bool bytes = A.gettype() == qv_uint8 && !A.isstr() && (A.getndims() == 2 || A.getndims() == 3);
    const Mm pixels = bytes ? A : im2double(A);

    image_file_object obj;
    if (bytes) {
        miniM lent = minim_lend_bytes(pixels);
        vizmo_set_property(obj.raw(), "CData", &lent);
    } else {
        set(obj.handle(), TM("CData"), pixels);
    }
    set(obj.handle(), TM("Colormap"), map);
    set(obj.handle(), TM("Format"), fmt);
    set(obj.handle(), TM("Filename"), system_name(text_of(name)));
    set_props_from(obj.handle(), args, first);
    set(obj.handle(), TM("Store"), Mm(0.0));
    return x_M;
}

Mm bmpwrite(const Mm& args) { return imwrite(args); }
Mm tiffwrite(const Mm& args) { return imwrite(args); }
