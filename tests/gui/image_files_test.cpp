// Image files through the engine: reading fixture files written outside the
// engine, describing them, writing and reading back, and the hidden object
// that every call leaves behind it dead.
#include "temp_dir.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace vt = vizmo::test;
namespace fs = std::filesystem;

#include "data/image_files.inc"

const fs::path data_dir = NUMRUN_TEST_DATA_DIR;

std::string fixture(const char* name)
{
    std::ifstream in(data_dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<unsigned> bytes_of(const Mm& x)
{
    EXPECT_EQ(x.gettype(), qv_uint8);
    std::vector<unsigned> out;
    if (x.gettype() != qv_uint8)
        return out;
    const unsigned char* p = x.getpr(static_cast<unsigned char*>(nullptr));
    out.assign(p, p + x.size());
    return out;
}

// Column-major from row-by-row pixels.
template <class T>
std::vector<T> column_major(const int* rows_first, int rows, int cols, T offset)
{
    std::vector<T> out;
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            out.push_back(static_cast<T>(rows_first[r * cols + c]) + offset);
    return out;
}

// The fixture palette as an m x 3 map, column-major, in [0, 1].
std::vector<double> palette_map()
{
    std::vector<double> out;
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 256; ++k)
            out.push_back(palette_rgb[3 * k + j] / 255.0);
    return out;
}

// A rows x cols 8-bit BMP of zero indices with a two-entry palette, made
// here byte by byte.
std::string blank_bmp(int rows, int cols)
{
    const std::uint32_t stride = (static_cast<std::uint32_t>(cols) + 3) / 4 * 4;
    const std::uint32_t body = stride * static_cast<std::uint32_t>(rows), offset = 14 + 40 + 8;
    std::string s;
    auto put = [&s](std::uint32_t v, int n) {
        for (int k = 0; k < n; ++k)
            s.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    s += "BM";
    put(offset + body, 4), put(0, 4), put(offset, 4);
    put(40, 4), put(static_cast<std::uint32_t>(cols), 4), put(static_cast<std::uint32_t>(rows), 4);
    put(1, 2), put(8, 2), put(0, 4), put(body, 4), put(2835, 4), put(2835, 4), put(2, 4), put(0, 4);
    put(0, 4), put(0x00FFFFFF, 4);
    s.append(body, '\0');
    return s;
}

// The handles of the axes objects created since mark.
std::vector<double> created_since(std::size_t mark)
{
    std::vector<double> out;
    for (const std::string& line : vt::since(mark))
        if (line.rfind("create axes ", 0) == 0)
            out.push_back(std::stod(line.substr(line.find_last_of(' ') + 1)));
    return out;
}

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        vt::reset();
        saved_path = mpath_pointer;
        mpath_pointer = nullptr;
    }
    void TearDown() override
    {
        mpath_pointer = saved_path;
        vt::reset();
    }
    // Every object a call created is gone again.
    void expect_no_object_left(std::size_t mark)
    {
        for (double h : created_since(mark))
            EXPECT_FALSE(vt::exists(h)) << h;
    }
    void* saved_path = nullptr;
    test::temp_dir dir;
};

TEST_F(ImageFiles, IndexedFilesGiveIndicesFromZeroAndTheirMap)
{
    dir.write("indexed8.bmp", fixture("indexed8.bmp"));
    dir.write("indexed8.pcx", fixture("indexed8.pcx"));
    struct Case {
        const char* name;
        const char* fmt;
        const int* pixels;
        int rows, cols;
    };
    const std::vector<Case> cases = {
        {"indexed8.bmp", "", indexed8_pixels, indexed8_rows, indexed8_cols},
        {"indexed8.bmp", "bmp", indexed8_pixels, indexed8_rows, indexed8_cols},
        {"indexed8.pcx", "pcx", pcx_pixels, pcx_rows, pcx_cols},
        {"indexed8.pcx", "", pcx_pixels, pcx_rows, pcx_cols},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " as '" + c.fmt + "'");
        const std::size_t mark = vt::mark();
        Mm X, map;
        EXPECT_TRUE(isempty(imread(TM(c.name), TM(c.fmt), i_o, X, map)));
        EXPECT_EQ(test::extents(X), (std::vector<int>{c.rows, c.cols}));
        EXPECT_EQ(bytes_of(X), column_major<unsigned>(c.pixels, c.rows, c.cols, 0u));
        EXPECT_EQ(test::extents(map), (std::vector<int>{256, 3}));
        EXPECT_EQ(test::values(map), palette_map());
        EXPECT_EQ(bytes_of(imread(TM(c.name), TM(c.fmt))), bytes_of(X));
        expect_no_object_left(mark);
    }
}

TEST_F(ImageFiles, TwoOutputReadersGiveDoublesFromOne)
{
    dir.write("indexed8.bmp", fixture("indexed8.bmp"));
    dir.write("indexed8.pcx", fixture("indexed8.pcx"));
    Mm X, map;
    bmpread(TM("indexed8.bmp"), i_o, X, map);
    EXPECT_EQ(X.gettype(), qv_double);
    EXPECT_EQ(test::values(X), column_major<double>(indexed8_pixels, indexed8_rows, indexed8_cols, 1.0));
    EXPECT_EQ(test::values(map), palette_map());
    EXPECT_EQ(bytes_of(bmpread(TM("indexed8.bmp"))),
              column_major<unsigned>(indexed8_pixels, indexed8_rows, indexed8_cols, 0u));

    pcxread(TM("indexed8.pcx"), i_o, X, map);
    EXPECT_EQ(test::values(X), column_major<double>(pcx_pixels, pcx_rows, pcx_cols, 1.0));
    EXPECT_EQ(bytes_of(pcxread(TM("indexed8.pcx"))), column_major<unsigned>(pcx_pixels, pcx_rows, pcx_cols, 0u));

    // The format is given to the engine, whatever the content.
    EXPECT_ERROR(pcxread(TM("indexed8.bmp")), "vizmo: cannot read image file 'indexed8.bmp'");
    EXPECT_ERROR(gifread(TM("indexed8.bmp")), "vizmo: image format 'gif' not supported");
    EXPECT_ERROR(tiffread(TM("indexed8.bmp"), i_o, X, map), "vizmo: image format 'tif' not supported");
}

TEST_F(ImageFiles, TruecolorFilesHoldBlueGreenRedPlanes)
{
    dir.write("truecolor.bmp", fixture("truecolor.bmp"));
    Mm X, map;
    imread(TM("truecolor.bmp"), i_o, X, map);
    const int rows = truecolor_rows, cols = truecolor_cols;
    EXPECT_EQ(test::extents(X), (std::vector<int>{rows, cols, 3}));
    std::vector<unsigned> expected;
    for (int channel : {2, 1, 0})  // plane 1 blue, plane 3 red
        for (int c = 0; c < cols; ++c)
            for (int r = 0; r < rows; ++r)
                expected.push_back(static_cast<unsigned>(truecolor_rgb[3 * (r * cols + c) + channel]));
    EXPECT_EQ(bytes_of(X), expected);
    EXPECT_EQ(map.size(), 0);

    Mm D;
    bmpread(TM("truecolor.bmp"), i_o, D, map);
    std::vector<double> scaled;
    for (unsigned v : expected)
        scaled.push_back(v / 255.0);
    EXPECT_EQ(test::values(D), scaled);
}

TEST_F(ImageFiles, TheCurrentDirectoryWinsOverThePath)
{
    search_path path;
    search_path_add_text(path, (dir.language() + "\\lib").c_str(), 1);
    mpath_pointer = &path;
    dir.write("lib/pic.bmp", fixture("truecolor.bmp"));
    dir.write("lib/only.bmp", fixture("truecolor.bmp"));
    dir.write("pic.bmp", fixture("indexed8.bmp"));

    std::size_t mark = vt::mark();
    EXPECT_EQ(test::extents(imread(TM("pic.bmp"))), (std::vector<int>{indexed8_rows, indexed8_cols}));
    bool loaded_bare_name = false;
    for (const std::string& line : vt::since(mark))
        if (line.rfind("load ", 0) == 0)
            loaded_bare_name = line.substr(line.size() - 8) == " pic.bmp";
    EXPECT_TRUE(loaded_bare_name);

    mark = vt::mark();
    EXPECT_EQ(test::extents(imread(TM("only.bmp"))), (std::vector<int>{truecolor_rows, truecolor_cols, 3}));
    expect_no_object_left(mark);

    // Full names in the language's '\' form reach the engine as the system
    // spells them, for reading, describing and writing.
    const std::string full = dir.language() + "\\lib\\only.bmp";
    EXPECT_EQ(test::extents(imread(TM(full.c_str()))), (std::vector<int>{truecolor_rows, truecolor_cols, 3}));
    EXPECT_EQ(test::values(getfield(imfinfo(TM(full.c_str())), TM("Width"))), (std::vector<double>{truecolor_cols}));
    const std::string copy = dir.language() + "\\lib\\copy.bmp";
    imwrite(test::cell_row({imread(TM(full.c_str())), TM(copy.c_str())}));
    EXPECT_TRUE(fs::exists(dir.path() / "lib" / "copy.bmp"));
}

TEST_F(ImageFiles, MissingAndCorruptFiles)
{
    dir.write("corrupt.bmp", fixture("corrupt.bmp"));
    std::size_t mark = vt::mark();
    EXPECT_ERROR(imread(TM("nofile.bmp")), "imread: file nofile.bmp not found");
    EXPECT_TRUE(created_since(mark).empty());

    mark = vt::mark();
    Mm X = test::row({7}), map = test::row({8});
    EXPECT_ERROR(imread(TM("corrupt.bmp"), i_o, X, map), "vizmo: cannot read image file 'corrupt.bmp'");
    EXPECT_EQ(created_since(mark).size(), 1u);
    expect_no_object_left(mark);
    EXPECT_EQ(test::values(X), (std::vector<double>{7}));  // outputs untouched
}

TEST_F(ImageFiles, ImfinfoDescribesAFileByContent)
{
    dir.write("big.bmp", blank_bmp(480, 640));
    dir.write("pic.tif", fixture("indexed8.bmp"));
    dir.write("a.bm", fixture("truecolor.bmp"));
    // The header alone describes a file: one whose pixels are cut off (which
    // imread refuses) is described all the same, with the depth it stores.
    const std::string big = blank_bmp(3000, 4000);
    dir.write("head.bmp", big.substr(0, 200));
    std::string mono = big.substr(0, 200);
    mono[28] = 1;
    dir.write("mono.bmp", mono);
    struct Case {
        const char* name;
        const char* fmt;
        const char* format;
        double width, height, depth;
        const char* color;
    };
    const std::vector<Case> cases = {
        {"big.bmp", "", "bmp", 640, 480, 8, "indexed"},
        {"pic.tif", "", "tif", indexed8_cols, indexed8_rows, 8, "indexed"},
        {"a.bm", "", "", truecolor_cols, truecolor_rows, 24, "truecolor"},
        {"a.bm", "bmp", "bmp", truecolor_cols, truecolor_rows, 24, "truecolor"},
        {"head.bmp", "", "bmp", 4000, 3000, 8, "indexed"},
        {"mono.bmp", "", "bmp", 4000, 3000, 1, "indexed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t mark = vt::mark();
        const Mm s = imfinfo(TM(c.name), TM(c.fmt));
        const std::vector<std::string> fields = {"Filename", "Format",      "FormatVersion", "FileSize", "FileModDate",
                                                 "Width",    "Height",      "BitDepth",      "ColorType"};
        ASSERT_EQ(s.getnfields(), static_cast<int>(fields.size()));
        for (std::size_t k = 0; k < fields.size(); ++k)
            EXPECT_EQ(std::string(s.getfield(static_cast<int>(k))), fields[k]);
        EXPECT_EQ(test::text_of(getfield(s, TM("Filename"))), c.name);
        EXPECT_EQ(test::text_of(getfield(s, TM("Format"))), c.format);
        EXPECT_EQ(test::text_of(getfield(s, TM("FormatVersion"))), "");
        EXPECT_EQ(test::values(getfield(s, TM("FileSize"))),
                  (std::vector<double>{double(fs::file_size(dir.path() / c.name))}));
        EXPECT_EQ(test::values(getfield(s, TM("Width"))), (std::vector<double>{c.width}));
        EXPECT_EQ(test::values(getfield(s, TM("Height"))), (std::vector<double>{c.height}));
        EXPECT_EQ(test::values(getfield(s, TM("BitDepth"))), (std::vector<double>{c.depth}));
        EXPECT_EQ(test::text_of(getfield(s, TM("ColorType"))), c.color);
        EXPECT_EQ(test::text_of(getfield(s, TM("FileModDate"))).size(), 20u);
        expect_no_object_left(mark);
    }
    // The name is used as given: no search, and the engine's refusal.
    EXPECT_ERROR(imfinfo(TM("nofile.bmp")), "vizmo: cannot read image file 'nofile.bmp'");
    EXPECT_ERROR(imread(TM("head.bmp")), "vizmo: cannot read image file 'head.bmp'");
}

TEST_F(ImageFiles, WritingAndReadingBackGivesTheImage)
{
    // Indexed with its own map, through every writer name.
    Mm X = test::bytes(2, 3, {0, 1, 2, 255, 7, 0});
    Mm map = zeros(256, 3);
    for (int k = 1; k <= 256; ++k)
        for (int j = 1; j <= 3; ++j)
            *map.addr(k, j) = ((k * 37 + j * 11) % 256) / 255.0;
    struct Case {
        const char* name;
        Mm (*writer)(const Mm&);
    };
    const std::vector<Case> cases = {{"i.bmp", imwrite}, {"b.bmp", bmpwrite}, {"t.bmp", tiffwrite}, {"p.pcx", imwrite}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t mark = vt::mark();
        EXPECT_TRUE(isempty(c.writer(test::cell_row({X, map, TM(c.name)}))));
        Mm Y, back;
        imread(TM(c.name), i_o, Y, back);
        EXPECT_EQ(bytes_of(Y), bytes_of(X));
        ASSERT_EQ(back.size(), map.size());
        for (int k = 1; k <= map.size(); ++k)
            EXPECT_NEAR(*back.addr(k), *map.addr(k), 1.0 / 255);
        expect_no_object_left(mark);
    }

    // Truecolor bytes come back unchanged, planes in the same order.
    const int dims[3] = {2, 2, 3};
    Mm T(0, 0, 0, 3, dims, qv_uint8);
    for (int k = 1; k <= 12; ++k)
        *T.getpr(static_cast<unsigned char*>(nullptr), k) = static_cast<unsigned char>(k * 21);
    imwrite(test::cell_row({T, TM("rgb.bmp")}));
    EXPECT_EQ(bytes_of(imread(TM("rgb.bmp"))), bytes_of(T));
    // Doubles in [0, 1] are components too.
    imwrite(test::cell_row({im2double(T), TM("rgb2.bmp"), TM("bmp")}));
    EXPECT_EQ(bytes_of(imread(TM("rgb2.bmp"))), bytes_of(T));
}

TEST_F(ImageFiles, PngKeepsEveryByteOfALargePicture)
{
    // Taller than the rows the engine encodes and decodes at once.
    const int dims[3] = {300, 200, 3};
    Mm T(0, 0, 0, 3, dims, qv_uint8);
    unsigned char* t = T.getpr(static_cast<unsigned char*>(nullptr));
    for (int k = 0; k < T.size(); ++k)
        t[k] = static_cast<unsigned char>((k * 31 + k / 600) % 256);
    imwrite(test::cell_row({T, TM("big.png")}));
    EXPECT_EQ(bytes_of(imread(TM("big.png"))), bytes_of(T));
    imwrite(test::cell_row({im2double(T), TM("big2.png")}));
    EXPECT_EQ(bytes_of(imread(TM("big2.png"))), bytes_of(T)) << "doubles in [0, 1] write the same file";

    Mm X(0, 0, 0, 150, 40, qv_uint8);
    unsigned char* x = X.getpr(static_cast<unsigned char*>(nullptr));
    for (int k = 0; k < X.size(); ++k)
        x[k] = static_cast<unsigned char>((k * 7) % 256);
    Mm map = zeros(256, 3);
    for (int k = 1; k <= 256; ++k)
        for (int j = 1; j <= 3; ++j)
            *map.addr(k, j) = ((k * 37 + j * 11) % 256) / 255.0;
    imwrite(test::cell_row({X, map, TM("indexed.png")}));
    Mm Y, back;
    imread(TM("indexed.png"), i_o, Y, back);
    EXPECT_EQ(bytes_of(Y), bytes_of(X));
    ASSERT_EQ(back.size(), map.size());
    for (int k = 1; k <= map.size(); ++k)
        EXPECT_NEAR(*back.addr(k), *map.addr(k), 0.5 / 255);

    // Indices the map does not hold are refused before any file is made.
    const Mm two = test::real(2, 3, {0, 1, 0, 1, 0, 1});
    struct Case {
        const char* what;
        Mm image;
        const char* file;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"uint8 from 0", test::bytes(1, 2, {0, 2}), "u.png", "vizmo: image data do not fit the colormap"},
        {"doubles from 1", test::real(1, 2, {1, 3}), "d.png", "vizmo: image data do not fit the colormap"},
        {"uint8 of four dimensions", Mm(0, 0, 0, 4, std::vector<int>{1, 1, 1, 2}.data(), qv_uint8), "f.png",
         "uint8 images suppoort (1) NxMx3 of 0..255 or (2) NxM of 0..255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t mark = vt::mark();
        EXPECT_ERROR(imwrite(test::cell_row({c.image, two, TM(c.file)})), c.error);
        EXPECT_FALSE(fs::exists(dir.path() / c.file));
        expect_no_object_left(mark);
    }
}

TEST_F(ImageFiles, WriterArgumentForms)
{
    const Mm X = test::real(2, 2, {1, 2, 2, 1});
    const Mm map = test::real(2, 3, {0, 1, 0, 1, 0, 1});
    struct Case {
        const char* what;
        std::vector<Mm> args;
        const char* error;  // "" when the file is written
        const char* file;
    };
    const std::vector<Case> cases = {
        // The pair from position 4 is applied before the store.
        {"map, name, pair", {X, map, TM("a.bmp"), TM("Format"), TM("gif")}, "vizmo: image format 'gif' not supported", ""},
        {"map, name, one more", {X, map, TM("b.bmp"), TM("Format")}, "", "b.bmp"},
        {"name, fmt, pair", {X, TM("c.bmp"), TM("gif"), TM("Tag"), TM("x")}, "vizmo: image format 'gif' not supported", ""},
        {"name, fmt, pair over fmt", {X, TM("d.bmp"), TM("gif"), TM("Format"), TM("bmp")}, "", "d.bmp"},
        {"name, unknown extension", {X, TM("e.xyz")}, "vizmo: image format 'xyz' not supported", ""},
        {"not an image", {TM("abc"), TM("f.bmp")}, "im* can get only uint8 or double matrices", ""},
        {"no arguments", {}, "imwrite: need to have at least one parameter", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t mark = vt::mark();
        EXPECT_ERROR(imwrite(test::cell_row(c.args)), c.error);
        if (*c.file) {
            EXPECT_TRUE(fs::exists(dir.path() / c.file));
            Mm Y, back;
            imread(TM(c.file), i_o, Y, back);
            EXPECT_EQ(bytes_of(Y), (std::vector<unsigned>{0, 1, 1, 0}));
            // Without a map of its own the figure's is written.
            const Mm written = c.args.size() > 1 && !c.args[1].isstr() ? map : get(gcf(), "ColorMap");
            ASSERT_EQ(back.size(), written.size());
            for (int k = 1; k <= written.size(); ++k)
                EXPECT_NEAR(*back.addr(k), *written.addr(k), 1.0 / 255);
        }
        expect_no_object_left(mark);
    }
}

TEST_F(ImageFiles, WritingWithoutAMapUsesTheFiguresColormap)
{
    const Mm f = gcf();
    const Mm map = test::real(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    set(f, TM("Colormap"), map);
    imwrite(test::cell_row({test::real(1, 3, {3, 2, 1}), TM("m.bmp")}));
    Mm Y, back;
    imread(TM("m.bmp"), i_o, Y, back);
    EXPECT_EQ(bytes_of(Y), (std::vector<unsigned>{2, 1, 0}));
    EXPECT_EQ(test::values(back), test::values(map));
}

TEST_F(ImageFiles, WritingWithNoFigureOpenUsesJetAndOpensNone)
{
    imwrite(test::cell_row({test::real(1, 3, {3, 2, 1}), TM("j.bmp")}));
    EXPECT_LT(vizmo_current_figure(), 0) << "writing a file opens no window";
    Mm Y, back;
    imread(TM("j.bmp"), i_o, Y, back);
    const Mm written = jet(Mm(64.0));
    ASSERT_EQ(back.size(), written.size());
    for (int k = 1; k <= written.size(); ++k)
        EXPECT_NEAR(*back.addr(k), *written.addr(k), 1.0 / 255);
}

} // namespace

namespace {

// The bytes this process has read through the system so far (the "rchar"
// count of /proc/self/io); -1 where the system does not say.
long long bytes_read_so_far()
{
    std::ifstream in("/proc/self/io");
    std::string key;
    long long value = 0;
    while (in >> key >> value)
        if (key == "rchar:")
            return value;
    return -1;
}

// Writes bytes to a new file, then extends it with zeros the system does
// not store (a sparse file) up to size, then appends tail.
void write_padded(const fs::path& p, const std::string& bytes, std::uintmax_t size, const std::string& tail = "")
{
    {
        std::ofstream out(p, std::ios::binary);
        out << bytes;
    }
    fs::resize_file(p, size);
    std::ofstream out(p, std::ios::binary | std::ios::app);
    out << tail;
}

} // namespace

// A reader looks at a file's first bytes before it reads more: a file of
// no image format, or whose header is no picture, is refused at once, and
// an image file is read no further than its picture can reach, however
// long the file (a stream without end among them). Padding past the
// picture leaves the picture as it is; a PCX palette, which ends the file,
// is found past padding too.
TEST_F(ImageFiles, AReaderReadsTheHeaderFirstAndNoMoreThanThePictureNeeds)
{
    constexpr std::uintmax_t long_file = std::uintmax_t(64) << 20;  // 64 MB
    constexpr long long little = 1 << 20;                           // what any read here may take
    if (bytes_read_so_far() < 0)
        GTEST_SKIP() << "this system does not count the bytes a process reads";
    const std::string bmp = fixture("indexed8.bmp"), pcx = fixture("indexed8.pcx");
    write_padded(dir.path() / "zeros.bin", "", long_file);
    write_padded(dir.path() / "zeros.bmp", "BM", long_file);
    write_padded(dir.path() / "padded.bmp", bmp, long_file);
    write_padded(dir.path() / "padded.pcx", pcx.substr(0, pcx.size() - 769), long_file, pcx.substr(pcx.size() - 769));
    // The BMP's pixels moved 64 MB on, past a gap of zeros its header's
    // pixel offset skips.
    const std::uint32_t offset = static_cast<unsigned char>(bmp[10]) | static_cast<unsigned char>(bmp[11]) << 8 |
                                 static_cast<unsigned char>(bmp[12]) << 16 |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[13])) << 24;
    std::string moved = bmp.substr(0, offset);
    const std::uint32_t moved_offset = offset + static_cast<std::uint32_t>(long_file);
    for (int k = 0; k < 4; ++k)
        moved[10 + k] = static_cast<char>(moved_offset >> (8 * k));
    write_padded(dir.path() / "gap.bmp", moved, moved_offset, bmp.substr(offset));
    dir.write("indexed8.bmp", bmp);
    dir.write("indexed8.pcx", pcx);
    // A stream of zeros without a size, as a device gives one: a pipe fed
    // by a thread until the reader closes it.
    const fs::path pipe = dir.path() / "stream.bin";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        const char* name;
        const char* message;  // "" for a picture read as its unpadded file reads
        const char* same_as;
    };
    const std::vector<Case> cases = {
        {"zeros.bin", "vizmo: cannot read image file 'zeros.bin'", ""},
        {"zeros.bmp", "vizmo: cannot read image file 'zeros.bmp'", ""},
        {"stream.bin", "vizmo: cannot read image file 'stream.bin'", ""},
        {"padded.bmp", "", "indexed8.bmp"},
        {"padded.pcx", "", "indexed8.pcx"},
        {"gap.bmp", "", "indexed8.bmp"},
    };
    std::signal(SIGPIPE, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::thread feeder;
        if (std::string(c.name) == "stream.bin")
            feeder = std::thread([&] {
                const int fd = ::open(pipe.c_str(), O_WRONLY);
                const std::vector<char> zeros(1 << 16, '\0');
                for (std::uintmax_t sent = 0; fd >= 0 && sent < long_file; sent += zeros.size())
                    if (::write(fd, zeros.data(), zeros.size()) < 0)
                        break;  // the reader has closed it
                if (fd >= 0)
                    ::close(fd);
            });
        Mm X, map;
        const long long before = bytes_read_so_far();
        const std::string message = test::error_of([&] { imread(TM(c.name), i_o, X, map); });
        const long long read = bytes_read_so_far() - before;
        if (feeder.joinable())
            feeder.join();
        EXPECT_EQ(message, c.message);
        EXPECT_LT(read, little) << "the file is not read whole";
        if (*c.same_as) {
            Mm X0, map0;
            imread(TM(c.same_as), i_o, X0, map0);
            EXPECT_EQ(bytes_of(X), bytes_of(X0));
            EXPECT_EQ(test::values(map), test::values(map0));
        }
    }
}
