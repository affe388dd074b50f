// Image files through the image-file object: round trips in BMP, PCX and PNG,
// files made byte by byte here (so the readers are checked against the
// formats, not against our own writers), and every failure message.
#include "image_codec.hpp"
#include "vizmo_support.hpp"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <malloc.h>
#include <new>
#include <zlib.h>

// The largest single request to operator new while a recording runs: a
// reader must not take storage for a picture its file cannot hold. Beside
// it, the most storage from operator new held at once beyond what was held
// when the recording started: a picture must not exist in several copies.
// And a ceiling above which requests are refused, as a system out of
// memory would refuse them (0: none).
namespace {
struct LargestAllocation {
    std::atomic<bool> on{false};
    std::atomic<std::size_t> largest{0};
    std::atomic<std::size_t> ceiling{0};
    std::atomic<long long> live{0}, base{0}, peak{0};
    void start()
    {
        largest = 0;
        base = live.load();
        peak = 0;
        on = true;
    }
    std::size_t stop()
    {
        on = false;
        return largest;
    }
    void held(long long change)
    {
        const long long now = live += change;
        long long seen = peak.load(std::memory_order_relaxed);
        while (on.load(std::memory_order_relaxed) && now - base > seen && !peak.compare_exchange_weak(seen, now - base)) {
        }
    }
};
LargestAllocation& largest_allocation()
{
    static LargestAllocation a;
    return a;
}
} // namespace

void* operator new(std::size_t n)
{
    LargestAllocation& a = largest_allocation();
    if (a.on.load(std::memory_order_relaxed)) {
        std::size_t seen = a.largest.load(std::memory_order_relaxed);
        while (n > seen && !a.largest.compare_exchange_weak(seen, n)) {
        }
    }
    const std::size_t ceiling = a.ceiling.load(std::memory_order_relaxed);
    if (ceiling == 0 || n <= ceiling)
        if (void* p = std::malloc(n ? n : 1)) {
            a.held(static_cast<long long>(malloc_usable_size(p)));
            return p;
        }
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept
{
    if (p)
        largest_allocation().held(-static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }

namespace {

using namespace vizmo_testing;
namespace vt = vizmo::test;

using Bytes = std::vector<unsigned char>;

class ImageFiles : public Engine {
protected:
    void SetUp() override
    {
        Engine::SetUp();
        char pattern[] = "/tmp/vizmo-images-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        Engine::TearDown();
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    void write_bytes(const std::string& name, const Bytes& b) const
    {
        std::ofstream(path(name), std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    }

    // A fresh image-file object that loads name; its handle.
    double load(const std::string& name, const std::string& format = "") const
    {
        const double h = vizmo_create_object("axes", -1);
        set(h, "Format", text(format));
        set(h, "Filename", text(path(name)));
        set(h, "Load", num(0));
        return h;
    }
    void store(const std::string& name, const Val& cdata, const Val* map, const std::string& format = "") const
    {
        const double h = vizmo_create_object("axes", -1);
        set(h, "CData", cdata);
        if (map)
            set(h, "Colormap", *map);
        set(h, "Format", text(format));
        set(h, "Filename", text(path(name)));
        set(h, "Store", num(0));
        set(h, "Kill", num(0));
    }
    std::string dir;
};

Val matrix(int rows, int cols, std::vector<double> v) { return Val(rows, cols, std::move(v)); }
Val cube(int rows, int cols, std::vector<double> v)
{
    Val x(rows, cols, std::move(v));
    x.m.ndims = 3;
    x.m.dims[2] = 3;
    return x;
}

TEST_F(ImageFiles, IndexedRoundTripsKeepIndicesAndColormapExactly)
{
    // 3 x 4 indices into a 5-colour map whose entries are whole steps of 1/255.
    const std::vector<double> indices = {1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 5, 5};
    std::vector<double> map(15);
    for (int k = 0; k < 15; ++k)
        map[k] = ((k * 53) % 256) / 255.0;
    const Val cdata = matrix(3, 4, indices), colormap = matrix(5, 3, map);
    for (const char* format : {"bmp", "pcx", "png"}) {
        SCOPED_TRACE(format);
        const std::string name = std::string("indexed.") + format;
        store(name, cdata, &colormap);
        const double h = load(name);
        EXPECT_TRUE(seen().errors.empty());
        const vt::Value c = vt::prop(h, "CData");
        EXPECT_EQ(c.ndims, 2);
        EXPECT_EQ(c.dims[0], 3);
        EXPECT_EQ(c.dims[1], 4);
        EXPECT_EQ(c.data, indices);
        const vt::Value m = vt::prop(h, "ColorMap");
        EXPECT_EQ(m.dims[0], 5);
        EXPECT_EQ(m.dims[1], 3);
        EXPECT_EQ(m.data, map);
        EXPECT_EQ(get(h, "BitDepth"), (std::vector<double>{8}));
        struct stat st{};
        ASSERT_EQ(stat(path(name).c_str(), &st), 0);
        EXPECT_EQ(get(h, "FileSize"), (std::vector<double>{double(st.st_size)}));
    }
}

TEST_F(ImageFiles, TruecolorRoundTripsStayWithinOneStep)
{
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(0, 1);
    const int rows = 5, cols = 7;  // odd widths exercise row padding
    std::vector<double> v(rows * cols * 3);
    for (double& x : v)
        x = u(gen);
    v[0] = 0;
    v[1] = 1;
    for (const char* format : {"bmp", "pcx", "png"}) {
        SCOPED_TRACE(format);
        const std::string name = std::string("true.") + format;
        store(name, cube(rows, cols, v), nullptr);
        const double h = load(name);
        const vt::Value c = vt::prop(h, "CData");
        ASSERT_EQ(c.ndims, 3);
        EXPECT_EQ((std::vector<int>(c.dims, c.dims + 3)), (std::vector<int>{rows, cols, 3}));
        ASSERT_EQ(c.data.size(), v.size());
        for (std::size_t k = 0; k < v.size(); ++k)
            ASSERT_NEAR(c.data[k], v[k], 0.5 / 255 + 1e-12) << k;
        EXPECT_EQ(get(h, "BitDepth"), (std::vector<double>{24}));
        EXPECT_TRUE(get(h, "ColorMap").empty());
    }
}

TEST_F(ImageFiles, TheFormatComesFromFormatThenMagicOrExtension)
{
    const Val cdata = matrix(1, 2, {1, 2}), map = matrix(2, 3, {0, 1, 0, 1, 0, 1});
    store("picture.dat", cdata, &map, "PNG");
    Bytes head(8);
    std::ifstream(path("picture.dat"), std::ios::binary).read(reinterpret_cast<char*>(head.data()), 8);
    EXPECT_EQ(head[1], 'P') << "written as PNG whatever the extension";
    const double h = load("picture.dat");
    EXPECT_EQ(get(h, "CData"), (std::vector<double>{1, 2})) << "read by its magic bytes";
    load("picture.dat", "bmp");
    EXPECT_EQ(seen().errors, (std::vector<std::string>{"vizmo: cannot read image file '" + path("picture.dat") + "'"}))
        << "a given format is not second-guessed";
}

// Little-endian writers for the files built by hand.
void le(Bytes& b, unsigned v, int n)
{
    for (int k = 0; k < n; ++k)
        b.push_back(static_cast<unsigned char>(v >> (8 * k)));
}

Bytes bmp_file(int width, int height, int bits, const Bytes& palette_bgrx, const Bytes& pixels)
{
    Bytes b = {'B', 'M'};
    const unsigned offset = 54 + static_cast<unsigned>(palette_bgrx.size());
    le(b, offset + static_cast<unsigned>(pixels.size()), 4);
    le(b, 0, 4);
    le(b, offset, 4);
    le(b, 40, 4);
    le(b, static_cast<unsigned>(width), 4);
    le(b, static_cast<unsigned>(height), 4);
    le(b, 1, 2);
    le(b, static_cast<unsigned>(bits), 2);
    le(b, 0, 4);
    le(b, static_cast<unsigned>(pixels.size()), 4);
    le(b, 0, 4);
    le(b, 0, 4);
    le(b, static_cast<unsigned>(palette_bgrx.size() / 4), 4);
    le(b, 0, 4);
    b.insert(b.end(), palette_bgrx.begin(), palette_bgrx.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes pcx24_file(int width, int height, const Bytes& encoded)
{
    Bytes b(128, 0);
    b[0] = 0x0A;
    b[1] = 5;
    b[2] = 1;
    b[3] = 8;
    b[8] = static_cast<unsigned char>(width - 1);
    b[10] = static_cast<unsigned char>(height - 1);
    b[65] = 3;
    b[66] = static_cast<unsigned char>(width + (width & 1));
    b.insert(b.end(), encoded.begin(), encoded.end());
    return b;
}

void png_chunk(Bytes& out, const char* type, const Bytes& data)
{
    const unsigned n = static_cast<unsigned>(data.size());
    for (int k = 3; k >= 0; --k)
        out.push_back(static_cast<unsigned char>(n >> (8 * k)));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    const unsigned long crc = crc32(0, body.data(), static_cast<uInt>(body.size()));
    for (int k = 3; k >= 0; --k)
        out.push_back(static_cast<unsigned char>(crc >> (8 * k)));
}

// A PNG from its scanlines (each with its filter byte), made with zlib.
Bytes png_file(unsigned width, unsigned height, int depth, int colour_type, const Bytes& scanlines,
               const Bytes& palette = {}, bool interlaced = false)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    for (unsigned v : {width, height})
        for (int k = 3; k >= 0; --k)
            ihdr.push_back(static_cast<unsigned char>(v >> (8 * k)));
    ihdr.insert(ihdr.end(), {static_cast<unsigned char>(depth), static_cast<unsigned char>(colour_type), 0, 0,
                             static_cast<unsigned char>(interlaced ? 1 : 0)});
    png_chunk(out, "IHDR", ihdr);
    if (!palette.empty())
        png_chunk(out, "PLTE", palette);
    uLongf size = compressBound(static_cast<uLong>(scanlines.size()));
    Bytes packed(size);
    compress(packed.data(), &size, scanlines.data(), static_cast<uLong>(scanlines.size()));
    packed.resize(size);
    png_chunk(out, "IDAT", packed);
    png_chunk(out, "IEND", {});
    return out;
}

TEST_F(ImageFiles, APureRedPixelReadsAsPlaneThree)
{
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const std::vector<Case> cases = {
        {"red.bmp", bmp_file(1, 1, 24, {}, {0, 0, 255, 0})},
        {"red32.bmp", bmp_file(1, 1, 32, {}, {0, 0, 255, 0})},
        {"red.pcx", pcx24_file(1, 1, {0xC1, 255, 0, 0, 0, 0, 0})},
        {"red.png", png_file(1, 1, 8, 2, {0, 255, 0, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(c.name, c.bytes);
        const double h = load(c.name);
        EXPECT_TRUE(seen().errors.empty()) << (seen().errors.empty() ? "" : seen().errors[0]);
        EXPECT_EQ(get(h, "CData"), (std::vector<double>{0, 0, 1})) << "blue, green, red";
    }
}

TEST_F(ImageFiles, ReadersTakeEveryLayoutTheyName)
{
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<int> dims;
        std::vector<double> cdata;
        std::vector<double> map;
        double bit_depth;  // as the file stores its pixels
    };
    const Bytes bw = {0, 0, 0, 0, 255, 255, 255, 0};
    // Files with their compression field set (1 run-length 8-bit, 3 bit fields).
    auto compressed = [](Bytes b, unsigned how) {
        b[30] = static_cast<unsigned char>(how);
        return b;
    };
    const Bytes three = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};  // red, green, blue
    const std::vector<Case> cases = {
        // 1-bit, 3 x 2, bottom-up rows padded to 4 bytes: top row 101, bottom row 010.
        {"mono.bmp", bmp_file(3, 2, 1, bw, {0x40, 0, 0, 0, 0xA0, 0, 0, 0}), {2, 3}, {2, 1, 1, 2, 2, 1},
         {0, 1, 0, 1, 0, 1}, 1},
        // 4-bit, 3 x 1: indices 2, 0, 1 into a 3-colour map.
        {"four.bmp", bmp_file(3, 1, 4, {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0}, {0x20, 0x10, 0, 0}), {1, 3},
         {3, 1, 2}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 4},
        // Run-length 8-bit, 4 x 2, bottom row first: a run of four 2s, end of
        // line; a literal 0 1 2 (padded to a word), a run of one 1, end of
        // line, end of picture.
        {"rle8.bmp",
         compressed(bmp_file(4, 2, 8, three, {4, 2, 0, 0, 0, 3, 0, 1, 2, 0, 1, 1, 0, 0, 0, 1}), 1), {2, 4},
         {1, 3, 2, 3, 3, 3, 2, 3}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 8},
        // Run-length 8-bit ended early: the rows not reached are index 0.
        {"rle8end.bmp", compressed(bmp_file(2, 2, 8, bw, {2, 1, 0, 1}), 1), {2, 2}, {1, 2, 1, 2},
         {0, 1, 0, 1, 0, 1}, 8},
        // Run-length 8-bit moving with a delta: right 1, up 1 from the bottom left.
        {"rle8delta.bmp", compressed(bmp_file(2, 2, 8, bw, {0, 2, 1, 1, 1, 1, 0, 1}), 1), {2, 2}, {1, 1, 2, 1},
         {0, 1, 0, 1, 0, 1}, 8},
        // 16-bit 5-5-5, 2 x 1: full red, then green 16 of 31 with full blue
        // (16 * 255 / 31 = 131.6 rounds to 132).
        {"rgb555.bmp", bmp_file(2, 1, 16, {}, {0x00, 0x7C, 0x1F, 0x02}), {1, 2, 3},
         {0, 1, 0, 132 / 255.0, 1, 0}, {}, 16},
        // 16-bit 5-6-5 by bit fields (the masks follow the header): full green.
        {"rgb565.bmp", compressed(bmp_file(1, 1, 16, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, {0xE0, 0x07, 0, 0}), 3),
         {1, 1, 3}, {0, 1, 0}, {}, 16},
        // Top-down 8-bit (negative height): rows stay in file order.
        {"topdown.bmp",
         [] {
             Bytes b = bmp_file(1, 2, 8, {0, 0, 0, 0, 255, 255, 255, 0}, {0, 0, 0, 0, 1, 0, 0, 0});
             const unsigned h = static_cast<unsigned>(-2);
             for (int k = 0; k < 4; ++k)
                 b[22 + k] = static_cast<unsigned char>(h >> (8 * k));
             return b;
         }(),
         {2, 1}, {1, 2}, {0, 1, 0, 1, 0, 1}, 8},
        // PNG with a 4-bit palette, 3 x 1: indices 1, 0, 2.
        {"packed.png", png_file(3, 1, 4, 3, {0, 0x10, 0x20}, {255, 0, 0, 0, 255, 0, 0, 0, 255}), {1, 3}, {2, 1, 3},
         {1, 0, 0, 0, 1, 0, 0, 0, 1}, 4},
        // 16-bit gray with alpha: the alpha goes, the gray fills all planes.
        {"gray16.png", png_file(1, 1, 16, 4, {0, 0xFF, 0xFF, 0x12, 0x34}), {1, 1, 3}, {1, 1, 1}, {}, 32},
        // PCX with a 256-colour palette from another writer (no count in the filler).
        {"pal.pcx",
         [] {
             Bytes b(128, 0);
             b[0] = 0x0A, b[1] = 5, b[2] = 1, b[3] = 8, b[8] = 1, b[65] = 1, b[66] = 2;
             b.insert(b.end(), {0xC2, 7});
             b.push_back(0x0C);
             Bytes pal(768, 0);
             pal[21] = 255;
             b.insert(b.end(), pal.begin(), pal.end());
             return b;
         }(),
         {1, 2}, {8, 8}, {}, 8},
        // 1-bit PCX, 3 x 1 in a 2-byte line: pixels 1 0 1, black and white.
        {"mono.pcx",
         [] {
             Bytes b(128, 0);
             b[0] = 0x0A, b[1] = 5, b[2] = 1, b[3] = 1, b[8] = 2, b[65] = 1, b[66] = 2;
             b.insert(b.end(), {0xA0, 0x00});
             return b;
         }(),
         {1, 3}, {2, 1, 2}, {0, 1, 0, 1, 0, 1}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(c.name, c.bytes);
        const double h = load(c.name);
        ASSERT_TRUE(seen().errors.empty()) << seen().errors[0];
        const vt::Value v = vt::prop(h, "CData");
        EXPECT_EQ(std::vector<int>(v.dims, v.dims + c.dims.size()), c.dims);
        EXPECT_EQ(v.data, c.cdata);
        if (!c.map.empty()) {
            EXPECT_EQ(get(h, "ColorMap"), c.map);
        }
        EXPECT_EQ(get(h, "BitDepth"), (std::vector<double>{c.bit_depth}));
    }
    const vt::Value map = vt::prop(load("pal.pcx"), "ColorMap");
    EXPECT_EQ(map.dims[0], 256);
    EXPECT_EQ(map.data[7], 1) << "entry 8 is red";
}

TEST_F(ImageFiles, FileDatesAreUtc)
{
    write_bytes("old.bmp", bmp_file(1, 1, 24, {}, {0, 0, 255, 0}));
    utimbuf times{86400 * 365 + 3723, 86400 * 365 + 3723};  // 1971-01-01 01:02:03
    ASSERT_EQ(utime(path("old.bmp").c_str(), &times), 0);
    EXPECT_EQ(get_text(load("old.bmp"), "FileModDate"), "01-Jan-1971 01:02:03");
}

TEST_F(ImageFiles, EveryFailureIsReportedWithItsMessage)
{
    const Val cdata = matrix(1, 2, {1, 2}), map = matrix(2, 3, {0, 1, 0, 1, 0, 1});
    store("good.bmp", cdata, &map);
    store("good.png", cdata, &map);
    store("good.pcx", cdata, &map);
    Bytes whole;
    {
        std::ifstream in(path("good.png"), std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    Bytes bmp_bytes;
    {
        std::ifstream in(path("good.bmp"), std::ios::binary);
        bmp_bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    write_bytes("cut.png", Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
    write_bytes("cut.bmp", Bytes(bmp_bytes.begin(), bmp_bytes.end() - 3));
    Bytes crc = whole;
    crc[20] ^= 1;  // inside IHDR: its checksum no longer holds
    write_bytes("crc.png", crc);
    write_bytes("noise.bmp", Bytes(100, 0x5A));
    write_bytes("index.bmp", bmp_file(1, 1, 8, {0, 0, 0, 0}, {3, 0, 0, 0}));
    write_bytes("empty.pcx", {});

    struct Case {
        const char* what;
        std::function<void()> act;
        std::string message;
    };
    const std::string read = "vizmo: cannot read image file '";
    const std::string write = "vizmo: cannot write image file '";
    const std::string no_fit = "vizmo: image data do not fit the colormap";
    const std::vector<Case> cases = {
        {"a missing file", [&] { load("missing.bmp"); }, read + path("missing.bmp") + "'"},
        {"a truncated PNG", [&] { load("cut.png"); }, read + path("cut.png") + "'"},
        {"a truncated BMP", [&] { load("cut.bmp"); }, read + path("cut.bmp") + "'"},
        {"a bad checksum", [&] { load("crc.png"); }, read + path("crc.png") + "'"},
        {"noise", [&] { load("noise.bmp"); }, read + path("noise.bmp") + "'"},
        {"an index past the palette", [&] { load("index.bmp"); }, read + path("index.bmp") + "'"},
        {"an empty file", [&] { load("empty.pcx"); }, read + path("empty.pcx") + "'"},
        {"an unknown format to read", [&] { load("good.bmp", "gif"); }, "vizmo: image format 'gif' not supported"},
        {"an unknown extension", [&] { store("x.tif", cdata, &map); }, "vizmo: image format 'tif' not supported"},
        {"no extension", [&] { store("x", cdata, &map); }, "vizmo: image format '' not supported"},
        {"an unwritable path", [&] { store("no/such/dir/x.bmp", cdata, &map); }, write + path("no/such/dir/x.bmp") + "'"},
        {"no image", [&] { store("x.bmp", Val(0, 0, {}), &map); }, write + path("x.bmp") + "'"},
        {"four planes", [&] {
             Val four(1, 1, {0, 0, 0, 0});
             four.m.ndims = 3;
             four.m.dims[2] = 4;
             store("x.bmp", four, &map);
         }, write + path("x.bmp") + "'"},
        {"an index of 0", [&] { store("x.bmp", matrix(1, 1, {0}), &map); }, no_fit},
        {"an index past the map", [&] { store("x.bmp", matrix(1, 1, {3}), &map); }, no_fit},
        {"a fractional index", [&] { store("x.png", matrix(1, 1, {1.5}), &map); }, no_fit},
        {"no colormap", [&] { store("x.pcx", cdata, nullptr); }, no_fit},
        {"a colormap of 257 rows", [&] {
             const Val big = matrix(257, 3, std::vector<double>(771, 0.5));
             store("x.bmp", cdata, &big);
         }, no_fit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        seen().errors.clear();
        c.act();
        EXPECT_EQ(seen().errors, (std::vector<std::string>{c.message}));
    }
    EXPECT_NE(access(path("x.bmp").c_str(), F_OK), 0) << "no file is left by a refused write";
}

TEST_F(ImageFiles, WellFormedFilesInVariantsNotReadAreCalledUnsupported)
{
    Bytes rle4 = bmp_file(2, 1, 4, {0, 0, 0, 0, 255, 255, 255, 0}, {2, 0x01, 0, 1});
    rle4[30] = 2;
    write_bytes("rle4.bmp", rle4);
    Bytes planes4(128, 0);  // 16-colour PCX: four 1-bit planes
    planes4[0] = 0x0A, planes4[1] = 5, planes4[2] = 1, planes4[3] = 1, planes4[65] = 4, planes4[66] = 2;
    planes4.insert(planes4.end(), 8, 0);
    write_bytes("planes4.pcx", planes4);
    struct Case {
        const char* name;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {"rle4.bmp", "vizmo: unsupported image file '" + path("rle4.bmp") + "' (4-bit run-length BMP)"},
             {"planes4.pcx", "vizmo: unsupported image file '" + path("planes4.pcx") + "' (PCX of this bit depth)"},
         }) {
        SCOPED_TRACE(c.name);
        seen().errors.clear();
        load(c.name);
        EXPECT_EQ(seen().errors, (std::vector<std::string>{c.message}));
    }
}

TEST_F(ImageFiles, AShortFileClaimingAHugePictureTakesLittleMemory)
{
    // Each claims 8000 x 8000 pixels (192 MB as RGB) in a few hundred bytes.
    Bytes rle8 = bmp_file(8000, 8000, 8, {0, 0, 0, 0}, {2, 0, 0, 0});
    rle8[30] = 1;  // run-length data that stop before the end-of-picture mark
    Bytes pcx = pcx24_file(1, 1, {0xC1, 1, 0xC1, 2});
    pcx[8] = 0x3F, pcx[9] = 0x1F, pcx[10] = 0x3F, pcx[11] = 0x1F, pcx[66] = 0x40, pcx[67] = 0x1F;
    struct Case {
        const char* name;
        Bytes bytes;
    };
    for (const Case& c : std::vector<Case>{{"huge.png", png_file(8000, 8000, 8, 2, {0, 1, 2, 3})},
                                           {"huge.bmp", rle8},
                                           {"huge.pcx", pcx}}) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.bytes.size(), 400u);
        write_bytes(c.name, c.bytes);
        seen().errors.clear();
        largest_allocation().start();
        load(c.name);
        const std::size_t largest = largest_allocation().stop();
        EXPECT_EQ(seen().errors, (std::vector<std::string>{"vizmo: cannot read image file '" + path(c.name) + "'"}));
        EXPECT_LT(largest, std::size_t(1) << 20) << "bytes in one request";
    }
    // A picture that deflate packs this tightly is still read.
    write_bytes("zeros.png", png_file(2000, 2000, 8, 0, Bytes(2000 * 2001, 0)));
    seen().errors.clear();
    const double h = load("zeros.png");
    EXPECT_TRUE(seen().errors.empty());
    EXPECT_EQ(vt::prop(h, "CData").dims[0], 2000);
}

// A uint8 value as the library sends one: its bytes as they are.
struct ByteVal {
    Bytes bytes;
    miniM m{};
    ByteVal(std::vector<int> dims, Bytes b) : bytes(std::move(b))
    {
        m.ndims = static_cast<int>(dims.size());
        m.dims[0] = m.dims[1] = m.dims[2] = m.dims[3] = 1;
        for (std::size_t k = 0; k < dims.size(); ++k)
            m.dims[k] = dims[k];
        m.isBytes = 1;
        m.bytes = bytes.empty() ? nullptr : bytes.data();
    }
};

// Loads name with its pixels as bytes.
double load_bytes(const std::string& file)
{
    const double h = vizmo_create_object("axes", -1);
    set(h, "Filename", text(file));
    set(h, "Load", num(2));
    return h;
}

TEST_F(ImageFiles, BytesAreWrittenAndReadAsTheyAre)
{
    // A truecolor picture taller than the rows a codec handles at once.
    Bytes tall(70 * 5 * 3);
    for (std::size_t k = 0; k < tall.size(); ++k)
        tall[k] = static_cast<unsigned char>((k * 37 + k / 7) % 256);
    const ByteVal indexed({3, 4}, {0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 4, 4});
    const ByteVal truecolor({70, 5, 3}, tall);
    std::vector<double> five(15);
    for (int k = 0; k < 15; ++k)
        five[k] = ((k * 53) % 256) / 255.0;
    const Val map = matrix(5, 3, five);
    for (const char* format : {"bmp", "pcx", "png"}) {
        for (const ByteVal* given : {&indexed, &truecolor}) {
            SCOPED_TRACE(std::string(format) + (given == &indexed ? " indexed" : " truecolor"));
            const std::string name = path(std::string("bytes.") + format);
            const double w = vizmo_create_object("axes", -1);
            vizmo_set_property(w, "CData", &given->m);
            set(w, "Colormap", map);
            set(w, "Filename", text(name));
            set(w, "Store", num(0));
            ASSERT_TRUE(seen().errors.empty()) << seen().errors[0];

            const double h = load_bytes(name);
            ASSERT_TRUE(seen().errors.empty()) << seen().errors[0];
            const vt::Value c = vt::prop(h, "CData");
            EXPECT_TRUE(c.is_bytes);
            EXPECT_TRUE(c.data.empty());
            EXPECT_EQ(std::vector<int>(c.dims, c.dims + given->m.ndims),
                      std::vector<int>(given->m.dims, given->m.dims + given->m.ndims));
            EXPECT_EQ(c.bytes, given->bytes);
            // The same file read as doubles tells the same pixels.
            const std::vector<double> numbers = get(load(std::string("bytes.") + format), "CData");
            ASSERT_EQ(numbers.size(), given->bytes.size());
            for (std::size_t k = 0; k < numbers.size(); ++k)
                ASSERT_EQ(numbers[k], given == &indexed ? given->bytes[k] + 1.0 : given->bytes[k] / 255.0) << k;
        }
    }

    // A read of a stored CData is lent: the picture is not copied.
    const double h = load_bytes(path("bytes.png"));
    const miniM* first = vizmo_get_property(h, "CData");
    const unsigned char* lent = first->bytes;
    ASSERT_EQ(first->isBytes, 1);
    EXPECT_EQ(first->data, nullptr);
    EXPECT_EQ(vizmo_get_property(h, "cdata")->bytes, lent);
    EXPECT_EQ(std::vector<unsigned char>(lent, lent + tall.size()), tall);

    // Bytes given to any other property are its numbers.
    const ByteVal small({1, 3}, {1, 2, 250});
    vizmo_set_property(h, "XData", &small.m);
    const vt::Value x = vt::prop(h, "XData");
    EXPECT_FALSE(x.is_bytes);
    EXPECT_EQ(x.data, (std::vector<double>{1, 2, 250}));
}

TEST_F(ImageFiles, FilesMadeByHandReadAsBytes)
{
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<int> dims;
        Bytes cdata;
    };
    // 1 x 130 gray, row r of value r: more rows than one band of decoding.
    Bytes column;
    Bytes planes(3 * 130);
    for (int r = 0; r < 130; ++r) {
        column.insert(column.end(), {0, static_cast<unsigned char>(r)});
        for (int p = 0; p < 3; ++p)
            planes[static_cast<std::size_t>(p * 130 + r)] = static_cast<unsigned char>(r);
    }
    const std::vector<Case> cases = {
        {"red.png", png_file(1, 1, 8, 2, {0, 255, 0, 0}), {1, 1, 3}, {0, 0, 255}},
        {"red.bmp", bmp_file(1, 1, 24, {}, {0, 0, 255, 0}), {1, 1, 3}, {0, 0, 255}},
        {"packed.png", png_file(3, 1, 4, 3, {0, 0x10, 0x20}, {255, 0, 0, 0, 255, 0, 0, 0, 255}), {1, 3}, {1, 0, 2}},
        {"tall.png", png_file(1, 130, 8, 0, column), {130, 1, 3}, planes},
        // Interlaced 2 x 2 gray: pass 1 holds (1,1), pass 6 (1,2), pass 7 the
        // second row.
        {"adam7.png", png_file(2, 2, 8, 0, {0, 10, 0, 20, 0, 30, 40}, {}, true), {2, 2, 3},
         {10, 30, 20, 40, 10, 30, 20, 40, 10, 30, 20, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(c.name, c.bytes);
        const double h = load_bytes(path(c.name));
        ASSERT_TRUE(seen().errors.empty()) << seen().errors[0];
        const vt::Value v = vt::prop(h, "CData");
        EXPECT_TRUE(v.is_bytes);
        EXPECT_EQ(std::vector<int>(v.dims, v.dims + c.dims.size()), c.dims);
        EXPECT_EQ(v.bytes, c.cdata);
    }
    // An index beyond the palette is refused read either way.
    write_bytes("index.png", png_file(2, 1, 8, 3, {0, 0, 2}, {0, 0, 0, 255, 255, 255}));
    load_bytes(path("index.png"));
    load("index.png");
    const std::string refused = "vizmo: cannot read image file '" + path("index.png") + "'";
    EXPECT_EQ(seen().errors, (std::vector<std::string>{refused, refused}));
}

TEST_F(ImageFiles, ALargePictureIsHeldOnceWhileReadOrWritten)
{
    // 1000 x 300 truecolor of noise, which deflate cannot shrink.
    const int rows = 1000, cols = 300;
    const std::size_t pixels = std::size_t(rows) * cols * 3;
    std::mt19937 gen(11);
    Bytes scanlines;
    for (int r = 0; r < rows; ++r) {
        scanlines.push_back(0);
        for (int k = 0; k < cols * 3; ++k)
            scanlines.push_back(static_cast<unsigned char>(gen()));
    }
    const Bytes file = png_file(cols, rows, 8, 2, scanlines);
    write_bytes("noise.png", file);

    largest_allocation().start();
    const double h = load_bytes(path("noise.png"));
    largest_allocation().stop();
    ASSERT_TRUE(seen().errors.empty()) << seen().errors[0];
    const long long read_peak = largest_allocation().peak;
    // The picture once and a band of rows: the file is read as it is decoded.
    EXPECT_LT(read_peak, static_cast<long long>(pixels + pixels / 8));

    largest_allocation().start();
    set(h, "Filename", text(path("again.png")));
    set(h, "Store", num(0));
    largest_allocation().stop();
    ASSERT_TRUE(seen().errors.empty()) << seen().errors[0];
    EXPECT_LT(largest_allocation().peak.load(), static_cast<long long>(pixels / 8)) << "beyond the picture it holds";
    EXPECT_EQ(vt::prop(load_bytes(path("again.png")), "CData").bytes, vt::prop(h, "CData").bytes);
}

TEST_F(ImageFiles, ARefusedPngLeavesAnExistingFileAsItWas)
{
    // One pixel more than the encoder takes, over a file the user has.
    const std::size_t too_many = vizmo::codec::max_pixels + 1;
    const Bytes precious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    write_bytes("precious.png", precious);
    {
        const ByteVal wide({1, static_cast<int>(too_many)}, Bytes(too_many, 0));
        const double h = vizmo_create_object("axes", -1);
        vizmo_set_property(h, "CData", &wide.m);
        set(h, "Colormap", matrix(1, 3, {0, 0, 0}));
        set(h, "Filename", text(path("precious.png")));
        set(h, "Store", num(0));
        set(h, "Kill", num(0));
    }
    EXPECT_EQ(seen().errors, (std::vector<std::string>{"vizmo: the picture for image file '" + path("precious.png") +
                                                         "' is 1 x 67108865 pixels, larger than the limit of "
                                                         "67108864 (2^26) pixels"}));
    std::ifstream in(path("precious.png"), std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), precious);

    // The check the store asks first, at the limit and past it.
    vizmo::codec::Picture p;
    p.rows = 1 << 13;
    p.cols = 1 << 13;
    EXPECT_TRUE(vizmo::codec::png_writable(p));
    p.cols += 1;
    EXPECT_FALSE(vizmo::codec::png_writable(p));
}

TEST_F(ImageFiles, AHeaderLoadReadsTheHeaderAlone)
{
    std::mt19937 gen(5);
    auto noise = [&](std::size_t n, unsigned char below) {
        Bytes b(n);
        for (unsigned char& v : b)
            v = static_cast<unsigned char>(gen() % below);
        return b;
    };
    // 1000 x 1000 gray noise, one filter byte per row.
    Bytes scanlines = noise(1000 * 1001, 255);
    for (std::size_t r = 0; r < 1000; ++r)
        scanlines[r * 1001] = 0;
    // A header of 124 bytes: the masks and colour space a newer writer adds.
    Bytes long_header = bmp_file(2, 1, 24, {}, {0, 0, 255, 255, 255, 255, 0, 0});
    long_header[14] = 124;
    long_header[10] += 84;
    long_header[2] += 84;
    long_header.insert(long_header.begin() + 54, 84, 0);
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<double> size;
        double bit_depth;
    };
    const std::vector<Case> cases = {
        {"big.bmp", bmp_file(1000, 1000, 24, {}, Bytes(3000 * 1000, 0)), {1000, 1000, 3}, 24},
        // Literal bytes (all below 0xC0), three planes of 200 a line.
        {"big.pcx", pcx24_file(200, 200, noise(3 * 200 * 200, 0xC0)), {200, 200, 3}, 24},
        {"big.png", png_file(1000, 1000, 8, 0, scanlines), {1000, 1000, 3}, 8},
        {"v5.bmp", long_header, {1, 2, 3}, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(c.name, c.bytes);
        const double h = vizmo_create_object("axes", -1);
        set(h, "Filename", text(path(c.name)));
        largest_allocation().start();
        set(h, "Load", num(1));
        const std::size_t largest = largest_allocation().stop();
        ASSERT_TRUE(seen().errors.empty()) << seen().errors[0];
        EXPECT_EQ(get(h, "Size"), c.size);
        EXPECT_EQ(get(h, "BitDepth"), (std::vector<double>{c.bit_depth}));
        EXPECT_EQ(get(h, "FileSize"), (std::vector<double>{double(c.bytes.size())}));
        EXPECT_TRUE(get(h, "CData").empty()) << "no pixels";
        if (c.bytes.size() > 100000) {
            EXPECT_LT(largest, std::size_t(64) << 10) << "bytes in one request, of " << c.bytes.size();
        }
    }
    // A full load of the longer header agrees.
    EXPECT_EQ(vt::prop(load("v5.bmp"), "CData").dims[1], 2);
}

TEST_F(ImageFiles, AFailedLoadLeavesTheObjectAsItWas)
{
    const double h = vizmo_create_object("axes", -1);
    set(h, "CData", matrix(1, 1, {42}));
    set(h, "Filename", text(path("missing.png")));
    set(h, "Load", num(0));
    EXPECT_EQ(get(h, "CData"), (std::vector<double>{42}));
    EXPECT_TRUE(get(h, "FileSize").empty());
}

// A hook that throws leaves a consistent engine: the operation's state was
// committed before the hook ran, and nothing is leaked (the sanitizer build
// checks that).
TEST_F(ImageFiles, AThrowingHookLeavesTheEngineConsistent)
{
    seen().throw_on_error = true;
    const double h = vizmo_create_object("axes", -1);
    set(h, "Filename", text(path("missing.png")));
    EXPECT_THROW(set(h, "Load", num(0)), std::runtime_error);
    EXPECT_TRUE(vt::exists(h));
    EXPECT_THROW(set(h, "Store", num(0)), std::runtime_error);

    const double fig = vizmo_create_object("Figure", -1);
    const double ax = vizmo_create_object("Axes", -1);
    set(ax, "Parent", num(fig));
    set(ax, "DeleteFcn", text("boom"));
    set(fig, "UserData", num(address(9)));
    seen().throw_on_callback = "boom";
    EXPECT_THROW(set(fig, "Kill", num(0)), std::runtime_error);
    EXPECT_TRUE(vt::exists(fig)) << "the kill stopped where the callback threw";
    EXPECT_TRUE(get(0, "CallbackObject").empty()) << "restored on the way out";
    set(fig, "Kill", num(0));
    EXPECT_FALSE(vt::exists(fig)) << "a second kill finishes without running the DeleteFcn again";
    EXPECT_FALSE(vt::exists(ax));
    EXPECT_EQ(seen().destroyed, (std::vector<std::uintptr_t>{address_bits(9)}));

    const double button = vizmo_create_object("pushbutton", -1);
    set(button, "Callback", text("boom"));
    vt::push_callback(button);
    vt::push_key(1);
    EXPECT_THROW(vizmo_wait(), std::runtime_error);
    EXPECT_EQ(vt::pending_events(), 1u);
    vt::push_resume();
    vizmo_wait();  // a wait after the failed one still works
    EXPECT_EQ(vt::pending_events(), 0u) << "the key, then the resume that ends it";
}

// A PNG of zeros made a row at a time, so that a picture too large to hold
// twice in a test still becomes a real file.
Bytes png_of_zeros(unsigned width, unsigned height, int colour_type)
{
    const unsigned channels = colour_type == 2 ? 3 : 1;
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    for (unsigned v : {width, height})
        for (int k = 3; k >= 0; --k)
            ihdr.push_back(static_cast<unsigned char>(v >> (8 * k)));
    ihdr.insert(ihdr.end(), {8, static_cast<unsigned char>(colour_type), 0, 0, 0});
    png_chunk(out, "IHDR", ihdr);
    z_stream z{};
    deflateInit(&z, Z_BEST_SPEED);
    const Bytes row(1 + std::size_t{width} * channels, 0);
    Bytes packed, chunk(1 << 16);
    for (unsigned r = 0; r <= height; ++r) {
        z.next_in = const_cast<Bytef*>(row.data());
        z.avail_in = r < height ? static_cast<uInt>(row.size()) : 0;
        const int flush = r < height ? Z_NO_FLUSH : Z_FINISH;
        do {
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
            deflate(&z, flush);
            packed.insert(packed.end(), chunk.data(), chunk.data() + (chunk.size() - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    png_chunk(out, "IDAT", packed);
    png_chunk(out, "IEND", {});
    return out;
}

// A picture beyond the 2^26 pixels the codecs take is refused with its
// shape and the limit, whether its pixels or its header alone are asked
// for, in every format.
TEST_F(ImageFiles, APictureLargerThanTheLimitIsRefusedWithTheLimit)
{
    Bytes bmp = bmp_file(1, 1, 24, {}, {0, 0, 255, 0});
    bmp[18] = 0x29, bmp[19] = 0x23, bmp[22] = 0x29, bmp[23] = 0x23;  // 9001 x 9001
    Bytes pcx = pcx24_file(1, 1, {0xC1, 1, 0xC1, 2, 0xC1, 3});
    pcx[8] = 0x00, pcx[9] = 0x20, pcx[10] = 0x00, pcx[11] = 0x20;  // 8193 x 8193
    pcx[66] = 0x02, pcx[67] = 0x20;
    struct Case {
        const char* name;
        Bytes bytes;
        const char* shape;
    };
    const std::vector<Case> cases = {
        {"grey.png", png_of_zeros(12000, 12000, 0), "12000 x 12000"},
        {"wide.png", png_of_zeros(70000, 1000, 2), "1000 x 70000"},
        {"big.bmp", bmp, "9001 x 9001"},
        {"big.pcx", pcx, "8193 x 8193"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_bytes(c.name, c.bytes);
        const std::string message = "vizmo: the picture in image file '" + path(c.name) + "' is " + c.shape +
                                    " pixels, larger than the limit of 67108864 (2^26) pixels";
        for (double as : {0.0, 1.0, 2.0}) {
            SCOPED_TRACE(as);
            seen().errors.clear();
            const double h = vizmo_create_object("axes", -1);
            set(h, "Filename", text(path(c.name)));
            set(h, "Load", num(as));
            EXPECT_EQ(seen().errors, std::vector<std::string>{message});
            EXPECT_TRUE(vt::prop(h, "CData").data.empty() && vt::prop(h, "CData").bytes.empty());
            set(h, "Kill", num(0));
        }
    }
    // At the limit a picture is still read.
    write_bytes("square.png", png_of_zeros(8192, 8192, 0));
    seen().errors.clear();
    const double h = load_bytes(path("square.png"));
    EXPECT_TRUE(seen().errors.empty()) << seen().errors.front();
    EXPECT_EQ(vt::prop(h, "CData").dims[0] * vt::prop(h, "CData").dims[1], 1 << 26);
}

// Memory refused anywhere inside a call of the C interface is reported as
// "Out of memory!" through the error hook: no exception leaves the engine,
// the object keeps what it had, and the same call succeeds once memory is
// there again. The ceiling refuses the picture's storage (3 MB) and the
// band buffers (192 KB) but nothing a call needs besides.
TEST_F(ImageFiles, MemoryRefusedInsideACallIsReportedAsOutOfMemory)
{
    Bytes scanlines;
    for (int r = 0; r < 1000; ++r) {
        scanlines.push_back(0);
        for (int c = 0; c < 3000; ++c)
            scanlines.push_back(static_cast<unsigned char>(r + c));
    }
    write_bytes("rgb.png", png_file(1000, 1000, 8, 2, scanlines));
    const ByteVal picture({1000, 1000, 3}, Bytes(3000000, 7));
    const std::vector<double> x(200000, 1.0);
    struct Case {
        const char* what;
        std::function<void(double h)> prepare, call;
        const char* filled;  // the property a successful call fills
    };
    const auto nothing = [](double) {};
    const auto picture_to = [&](const char* file) {
        return [&, file](double h) {
            vizmo_set_property(h, "CData", &picture.m);
            set(h, "Filename", text(path(file)));
        };
    };
    const auto file = [&](const char* name) { return [&, name](double h) { set(h, "Filename", text(path(name))); }; };
    const std::vector<Case> cases = {
        {"PNG read as bytes", file("rgb.png"), [](double h) { set(h, "Load", num(2)); }, "CData"},
        {"PNG read as doubles", file("rgb.png"), [](double h) { set(h, "Load", num(0)); }, "CData"},
        {"PNG written", picture_to("out.png"), [](double h) { set(h, "Store", num(0)); }, nullptr},
        {"BMP written", picture_to("out.bmp"), [](double h) { set(h, "Store", num(0)); }, nullptr},
        {"CData set", nothing, [&](double h) { vizmo_set_property(h, "CData", &picture.m); }, "CData"},
        {"line data", nothing,
         [&](double h) { vizmo_set_data(h, 200000, x.data(), 1, x.data(), 1, nullptr, 0); }, "XData"},
    };
    write_bytes("out.png", {'o', 'l', 'd'});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double h = vizmo_create_object("line", -1);
        c.prepare(h);
        seen().errors.clear();
        largest_allocation().ceiling = 100000;
        EXPECT_NO_THROW(c.call(h));
        largest_allocation().ceiling = 0;
        EXPECT_EQ(seen().errors, std::vector<std::string>{"Out of memory!"});
        if (c.filled) {
            EXPECT_EQ(vt::prop(h, c.filled).dims[0] * vt::prop(h, c.filled).dims[1], 0) << "nothing half made";
        }
        EXPECT_TRUE(vt::exists(h));
        if (std::string(c.what) == "PNG written") {
            std::ifstream old(path("out.png"), std::ios::binary);
            EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(old), std::istreambuf_iterator<char>()),
                      (Bytes{'o', 'l', 'd'}))
                << "a write cut short leaves the file it would replace";
        }

        seen().errors.clear();
        c.call(h);
        EXPECT_TRUE(seen().errors.empty()) << seen().errors.front();
        if (c.filled) {
            EXPECT_GT(vt::prop(h, c.filled).dims[0] * vt::prop(h, c.filled).dims[1], 0);
        }
        set(h, "Kill", num(0));
    }
    for (const char* name : {"out.png", "out.bmp"}) {
        SCOPED_TRACE(name);
        seen().errors.clear();
        const double h = load_bytes(path(name));
        EXPECT_TRUE(seen().errors.empty()) << seen().errors.front();
        EXPECT_EQ(vt::prop(h, "CData").bytes, picture.bytes) << "written whole once memory was there";
    }
    EXPECT_EQ(std::system(("test $(ls '" + dir + "' | wc -l) -eq 3").c_str()), 0) << "no temporary file left";
}

} // namespace
