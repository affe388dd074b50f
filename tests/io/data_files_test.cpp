// Data files in a fresh temporary directory: the exact bytes of version-5
// elements, round trips of every class through versions 5 and 4, files of
// the other byte order, damaged files, ASCII matrices and the language
// functions' naming and sniffing of files.
#include "alloc_sweep.hpp"
#include "child_process.hpp"
#include "test_support.hpp"

#include "array/classes.hpp"
#include "io/data_files.hpp"
#include "io/vor5.hpp"
#include "temp_dir.hpp"

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> warnings;
void record_warning(const char* text) { warnings.emplace_back(text ? text : ""); }

std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::uint32_t u32(const std::string& b, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

class DataFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        warnings.clear();
        previous = qv_set_warning_handler(record_warning);
    }
    void TearDown() override { qv_set_warning_handler(previous); }
    static Mm t(const char* s) { return test::text(s); }

    // Saves one value under a name to a version-5 file and returns its bytes.
    std::string saved(const char* file, const Mm& value, const char* name)
    {
        Mm named(value, name);
        save(t(file), CL(named));
        return tmp.read(file);
    }

    test::temp_dir tmp;
    qv_text_handler previous = nullptr;
};

void expect_same(const Mm& a, const Mm& b)
{
    EXPECT_EQ(test::extents(a), test::extents(b));
    EXPECT_EQ(a.gettype(), b.gettype());
    EXPECT_EQ(a.isstr(), b.isstr());
    EXPECT_EQ(a.islogical(), b.islogical());
    EXPECT_EQ(a.issparse(), b.issparse());
    EXPECT_EQ(a.isc() != 0, b.isc() != 0);
    EXPECT_EQ(a.isstruct(), b.isstruct());
    EXPECT_EQ(a.getclassid(), b.getclassid());
    if (a.issparse() && b.issparse()) {
        // Entry by entry: the full form of a large sparse value is no test.
        ASSERT_EQ(a.getnnz(), b.getnnz());
        for (int k = 0; k < a.getnnz(); ++k) {
            EXPECT_EQ(a.getindex()[k], b.getindex()[k]) << k;
            EXPECT_BITS_EQ(a.addr()[k], b.addr()[k]);
            if (a.isc() && b.isc()) {
                EXPECT_BITS_EQ(a.addi()[k], b.addi()[k]);
            }
        }
    } else if (a.gettype() == qv_double) {
        const std::vector<double> va = test::values(a), vb = test::values(b);
        ASSERT_EQ(va.size(), vb.size());
        for (std::size_t k = 0; k < va.size(); ++k)
            EXPECT_BITS_EQ(va[k], vb[k]);
        if (a.isc() && b.isc() && !a.issparse()) {
            for (int k = 1; k <= a.size(); ++k)
                EXPECT_EQ(*a.addi(k), *b.addi(k));
        }
    } else if (a.gettype() == qv_uint8) {
        for (int k = 1; k <= a.size(); ++k)
            EXPECT_EQ(a.ur(k), b.ur(k));
    } else if (a.gettype() == qv_cell && a.gettype() == b.gettype()) {
        ASSERT_EQ(a.getnfields(), b.getnfields());
        for (int f = 0; f < a.getnfields(); ++f)
            EXPECT_STREQ(a.getfield(f), b.getfield(f));
        for (int k = 1; k <= a.size(); ++k) {
            SCOPED_TRACE("element " + std::to_string(k));
            expect_same(a.mr(k), b.mr(k));
        }
    }
}

TEST_F(DataFiles, VersionFiveBytes)
{
    const std::string x = saved("x.vor", test::row({1, 2, 3}), "x");
    ASSERT_EQ(x.size(), 128u + 80);
    const std::string intro = "VORSEN 4.5 VOR-file, Platform: PCWIN, Created on: ";
    EXPECT_EQ(x.substr(0, intro.size()), intro);
    EXPECT_EQ(hex(x.substr(124, 4)), "0001494d");
    EXPECT_EQ(u32(x, 128), 14u);
    EXPECT_EQ(u32(x, 132), 72u) << "size word";
    EXPECT_EQ(hex(x.substr(136, 16)), "06000000080000000600000000000000") << "flags: class double";
    EXPECT_EQ(hex(x.substr(152, 16)), "05000000080000000100000003000000") << "dimensions 1 x 3";
    EXPECT_EQ(hex(x.substr(168, 8)), "0100010078000000") << "a small name tag";
    EXPECT_EQ(hex(x.substr(176, 8)), "0900000018000000") << "the data tag";

    const std::string e = saved("e.vor", Mm(), "e");
    EXPECT_EQ(hex(e.substr(e.size() - 8)), "0900000000000000") << "an empty value's small data tag";
    const std::string s = saved("s.vor", t("hi"), "s");
    EXPECT_EQ(hex(s.substr(s.size() - 8)), "0400040068006900");
    EXPECT_EQ(u32(s, 144), 4u) << "class char, never flagged complex";
    const std::string five = saved("five.vor", test::row({1}), "abcde");
    EXPECT_EQ(hex(five.substr(168, 16)), "01000000050000006162636465000000") << "a long name tag";
}

TEST_F(DataFiles, UnnamedValuesShareOneCounter)
{
    std::vector<Mm> cells;
    for (int k = 0; k < 27; ++k)
        cells.push_back(Mm(static_cast<double>(k)));
    Mm c = test::cell_row(cells);
    save(t("u"), CL(c));
    std::FILE* f = std::fopen("u.vor", "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 128, SEEK_SET);
    EXPECT_EQ(v5_next_name(f), "A") << "the cell itself";
    std::fclose(f);
    Mm back = load(t("u"));
    ASSERT_EQ(back.size(), 27);
    // The elements' names are not kept by the reader; read them from the file.
    const std::string bytes = tmp.read("u.vor");
    std::vector<std::string> names;
    for (std::size_t at = bytes.find(std::string("\x01\x00\x01\x00", 4), 180); at != std::string::npos && names.size() < 27;
         at = bytes.find(std::string("\x01\x00\x01\x00", 4), at + 8))
        names.push_back(bytes.substr(at + 4, 1));
    ASSERT_EQ(names.size(), 27u);
    EXPECT_EQ(names[0], "B");
    EXPECT_EQ(names[24], "Z");
    EXPECT_EQ(names[25], "a");
    EXPECT_EQ(names[26], "b");
}

TEST_F(DataFiles, EveryClassRoundTripsThroughVersionFive)
{
    Mm logical = test::row({1, 0, 1});
    logical.setlogical(1);
    Mm sparse_value = sparse(test::real(3, 2, {0, 5, 0, 7, 0, 8}));
    Mm sparse_empty = sparse(Mm(0, 0, 0, 4, 3, qv_double));
    Mm four_d = reshape(test::counting({2, 1, 3, 2}), test::row({2, 1, 3, 2}));
    Mm nested = test::cell_row({Mm(1.0), test::cell_row({t("in"), test::row({2, 3})}), Mm()});
    Mm st = mstruct((CL("a"), test::cell_row({Mm(1.0), t("two")}), "b", test::cell_row({Mm(), nested})));
    struct Case {
        const char* name;
        Mm value;
    };
    const std::vector<Case> cases = {
        {"double", test::real(2, 2, {1, -2.5, 1e300, NAN})},
        {"complex", test::complex(1, 2, {1, 2}, {3, -4})},
        {"logical", logical},
        {"text", t("hello")},
        {"empty_text", t("")},
        {"uint8", test::bytes(1, 5, {0, 1, 128, 255, 7})},
        {"sparse", sparse_value},
        {"sparse_empty", sparse_empty},
        {"complex_sparse", sparse(test::complex(2, 2, {0, 1, 0, 2}, {0, 1, 0, 0}))},
        {"empty", Mm()},
        {"four_d", four_d},
        {"nested", nested},
        {"structs", st},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        save(t("round"), CL(Mm(c.value, c.name)));
        Mm target(Mm(), c.name);
        load(t("round"), CL(target));
        expect_same(target, c.value);
        EXPECT_STREQ(target.getname(), c.name) << "the target keeps its name";
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(DataFiles, TargetsLoadByNameSkippingMissingOnes)
{
    Mm a(Mm(1.0), "a"), b(Mm(2.0), "b"), i(Mm(3.0), "i");
    save(t("names"), (CL(a), b, i));
    Mm ta(Mm(0.0), "a"), missing(Mm(9.0), "zz"), tb(Mm(0.0), "b"), ti(Mm(0.0), "i_"), ans_(Mm(7.0), "ans");
    load(t("names"), (CL(tb), missing, ta, ti, ans_));
    EXPECT_EQ(test::at(ta, 0), 1);
    EXPECT_EQ(test::at(tb, 0), 2) << "a missing target does not stop the others";
    EXPECT_EQ(test::at(ti, 0), 3) << "i_ loads i";
    EXPECT_EQ(test::at(missing, 0), 9);
    EXPECT_EQ(test::at(ans_, 0), 7) << "ans is skipped";
    EXPECT_TRUE(warnings.empty());
}

TEST_F(DataFiles, AStoredNameUnlikeTheTargetsWarns)
{
    save(t("w"), CL(Mm(Mm(5.0), "stored")));
    std::FILE* f = std::fopen("w.vor", "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 128, SEEK_SET);
    Mm target(Mm(), "other");
    EXPECT_EQ(read_v5_element("w.vor", f, target), 0);
    std::fclose(f);
    EXPECT_EQ(test::at(target, 0), 5);
    EXPECT_EQ(warnings, std::vector<std::string>{"load5: 'w.vor': variable named 'stored' loaded into 'other'"});
}

// A version-5 element built word by word, in either byte order.
struct element_builder {
    bool big = false;
    std::string bytes;
    void word(std::uint32_t w)
    {
        if (big)
            w = __builtin_bswap32(w);
        bytes.append(reinterpret_cast<const char*>(&w), 4);
    }
    void pad()
    {
        while (bytes.size() % 8)
            bytes += '\0';
    }
    void doubles(const std::vector<double>& v)
    {
        word(9);
        word(static_cast<std::uint32_t>(8 * v.size()));
        for (double d : v) {
            std::uint64_t u;
            std::memcpy(&u, &d, 8);
            if (big)
                u = __builtin_bswap64(u);
            bytes.append(reinterpret_cast<const char*>(&u), 8);
        }
    }
    // An array element of the given dimensions and name, data appended by f.
    template <class F>
    void element(const std::vector<int>& dims, const std::string& name, F&& data)
    {
        const std::size_t start = bytes.size();
        word(14);
        word(0);
        word(6);
        word(8);
        word(6);
        word(0);
        word(5);
        word(static_cast<std::uint32_t>(4 * dims.size()));
        for (int d : dims)
            word(static_cast<std::uint32_t>(d));
        pad();
        word(1);
        word(static_cast<std::uint32_t>(name.size()));
        bytes += name;
        pad();
        data();
        pad();
        std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - start - 8);
        if (big)
            size = __builtin_bswap32(size);
        std::memcpy(bytes.data() + start + 4, &size, 4);
    }
    std::string file() const { return std::string("VOR") + std::string(125, ' ') + bytes; }
};

TEST_F(DataFiles, AFileOfTheOtherByteOrderIsSwapped)
{
    element_builder b;
    b.big = true;
    b.element({1, 2}, "v", [&] { b.doubles({1.5, -2}); });
    tmp.write("big.vor", b.file());
    Mm v(Mm(), "v");
    load(t("big"), CL(v));
    EXPECT_EQ(test::values(v), (std::vector<double>{1.5, -2}));
}

TEST_F(DataFiles, LongNamesAndTooManyDimensions)
{
    element_builder b;
    const std::string long_name(300, 'n');
    b.element({1, 1}, long_name, [&] { b.doubles({42}); });
    tmp.write("long.vor", b.file());
    Mm first = load(t("long"));
    EXPECT_EQ(test::values(first), std::vector<double>{42}) << "the data after the name loads";
    EXPECT_EQ(warnings, std::vector<std::string>{"load5: name field is too long in file 'long.vor'"});

    element_builder five;
    five.element({1, 1, 1, 1, 1}, "f", [&] { five.doubles({1}); });
    tmp.write("five.vor", five.file());
    EXPECT_ERROR(load(t("five")),
                 "load5: Can not read matrix from file 'five.vor' which has more then =4 dimensions.");
}

TEST_F(DataFiles, DamagedVersionFiveFilesEndWithAMessage)
{
    Mm sp = sparse(test::real(3, 3, {1, 0, 2, 0, 0, 3, 4, 0, 5}));
    Mm st = mstruct((CL("field"), test::cell_row({Mm(1.0), t("x")})));
    save(t("good"), (CL(Mm(sp, "sp")), Mm(st, "st")));
    const std::string good = tmp.read("good.vor");
    const std::vector<std::string> known = {
        "load5: 'bad.vor' could not read header",
        "load5: 'bad.vor' unrecognized matrix type",
        "loadv5: file 'bad.vor' ended prematurely.",
        "load: 'bad.vor' could not read data set",
        "load5: could not read field name from 'bad.vor'",
        "loadsave5: unknown data format",
        "load5: could not read name name in file 'bad.vor'",
        "load5: 'bad.vor' contained sparse matrix with negative nnz",
        "load5: Can not read matrix from file 'bad.vor' which has more then =4 dimensions.",
        "load5: 'bad.vor' is damaged: an element's size does not fit its content",
        "",
    };
    auto check = [&](const std::string& bytes, const std::string& what) {
        SCOPED_TRACE(what);
        tmp.write("bad.vor", bytes);
        Mm sp_target(Mm(), "sp"), st_target(Mm(), "st");
        const std::string message = test::error_of([&] { load(t("bad"), (CL(sp_target), st_target)); });
        EXPECT_TRUE(std::find(known.begin(), known.end(), message) != known.end()) << message;
    };
    for (std::size_t cut = 128; cut < good.size(); cut += 3)
        check(good.substr(0, cut), "cut at " + std::to_string(cut));
    std::uint32_t state = 12345;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = good;
        for (int flips = 0; flips < 3; ++flips) {
            state = state * 1103515245 + 12345;
            const std::size_t at = 128 + (state >> 8) % (bytes.size() - 128);
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << ((state >> 4) % 8)));
        }
        check(bytes, "flips of round " + std::to_string(round));
    }
}

// Every length of a small file, from the mark "VOR" by which it is known
// to the whole file: a load of its variables by name loads each one whose
// element the cut left whole, leaves the others as they were, and reports
// the damage unless the cut falls between elements (a whole file of fewer
// variables). The first element of this file ends at byte 280.
TEST_F(DataFiles, ACutFileLoadsEveryVariableRightOrReportsTheDamage)
{
    const Mm d = colon(1.0, 12.0);
    const Mm z = test::cell_row({t("zz"), test::complex(1, 2, {1, 2}, {-1, 0})});
    Mm st = mstruct((CL("field"), test::cell_row({Mm(0.5)})));
    save(t("whole"), (CL(Mm(d, "d")), Mm(z, "z"), Mm(st, "s")));
    const std::string whole = tmp.read("whole.vor");
    // Where each element ends.
    std::vector<std::size_t> ends;
    for (std::size_t at = 128; at < whole.size(); at = ends.back())
        ends.push_back(at + 8 + u32(whole, at + 4));
    ASSERT_EQ(ends.size(), 3u);
    ASSERT_EQ(ends.back(), whole.size());
    EXPECT_EQ(ends[0], 280u);
    const std::string damaged = "load5: 'cut.vor' is damaged: an element's size does not fit its content";
    const Mm before(-1.0);
    for (std::size_t length = 3; length <= whole.size(); ++length) {
        SCOPED_TRACE("cut at " + std::to_string(length));
        tmp.write("cut.vor", whole.substr(0, length));
        Mm td(before, "d"), tz(before, "z"), ts(before, "s");
        const std::string message = test::error_of([&] { load(t("cut"), (CL(td), tz, ts)); });
        const bool between = length == 128 || std::find(ends.begin(), ends.end(), length) != ends.end();
        EXPECT_EQ(message, between ? "" : damaged);
        const Mm* targets[] = {&td, &tz, &ts};
        const Mm* values[] = {&d, &z, &st};
        for (std::size_t k = 0; k < 3; ++k) {
            SCOPED_TRACE("variable " + std::to_string(k));
            expect_same(*targets[k], ends[k] <= length ? *values[k] : before);
        }
    }
}

// A text row of the given character codes.
Mm text_of_codes(const std::vector<double>& codes)
{
    Mm v(0, 0, 0, 1, static_cast<int>(codes.size()), qv_double);
    for (std::size_t k = 0; k < codes.size(); ++k)
        v.addr()[k] = codes[k];
    v.setstr(1);
    return v;
}

// Text values whose codes lie beyond ASCII, through both versions: codes
// made from signed bytes (negative), codes of 8 and 16 bits, and codes no
// 16-bit type holds (which the file keeps wider). Each comes back with the
// bits it had.
TEST_F(DataFiles, TextCodesComeBackBitExactThroughBothVersions)
{
    std::vector<std::pair<std::string, Mm>> cases;
    for (double code : {-128.0, -61.0, -1.0, 128.0, 255.0, 65535.0})
        cases.emplace_back("the code " + std::to_string(code), text_of_codes({code}));
    cases.emplace_back("every code of the table", text_of_codes({-128, -61, -1, 128, 255, 65535}));
    cases.emplace_back("h and the UTF-8 bytes of e-acute", TM("h\xc3\xa9"));
    cases.emplace_back("codes from -32768 to 32767", text_of_codes({-32768, 0, 32767}));
    cases.emplace_back("a code of 70000 and a negative one", text_of_codes({70000, -5}));
    cases.emplace_back("codes no integer type holds", text_of_codes({65.5, -0.0, 3e9, NAN, INFINITY}));
    cases.emplace_back("a 2 x 2 text of bytes", [] {
        Mm v = test::bytes(2, 2, {0, 200, 255, 65});
        v.setstr(1);
        return v;
    }());
    for (const auto& [what, value] : cases) {
        SCOPED_TRACE(what);
        save(t("codes5"), CL(Mm(value, "c")));
        saveV4(t("codes4"), CL(Mm(value, "c")));
        for (const char* file : {"codes5", "codes4"}) {
            SCOPED_TRACE(file);
            Mm back(Mm(), "c");
            load(t(file), CL(back));
            EXPECT_TRUE(back.isstr());
            const Mm expected = value.gettype() == qv_uint8 ? mdouble(value) : value;
            const std::vector<double> want = test::values(expected), got = test::values(back);
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t k = 0; k < want.size(); ++k)
                EXPECT_BITS_EQ(got[k], want[k]);
            EXPECT_EQ(test::extents(back), test::extents(value));
        }
    }
    EXPECT_TRUE(warnings.empty());
    // Codes of 16 bits keep the 2-byte element a plain text has.
    const std::string ascii = saved("ascii.vor", t("hi"), "s");
    EXPECT_EQ(hex(ascii.substr(ascii.size() - 8)), "0400040068006900") << "unsigned 16-bit";
    const std::string negative = saved("negative.vor", TM("h\xc3\xa9"), "s");
    EXPECT_EQ(hex(negative.substr(negative.size() - 16)), "03000000060000006800c3ffa9ff0000") << "signed 16-bit";
}

// A variable name longer than a file keeps would save and then never load
// by that name: save refuses it, naming it, and leaves the old file.
TEST_F(DataFiles, VariableNamesLongerThanAFileKeepsAreRefused)
{
    save(t("named"), CL(Mm(Mm(1.0), "old")));
    const std::string old_file = tmp.read("named.vor");
    for (const std::size_t length : {255u, 256u, 1000u}) {
        SCOPED_TRACE("a name of " + std::to_string(length) + " characters");
        const std::string name(length, 'q');
        const Mm value(test::row({4, 5}), name.c_str());
        if (length <= 255) {
            save(t("named"), CL(value));
            Mm back(Mm(), name.c_str());
            load(t("named"), CL(back));
            EXPECT_EQ(test::values(back), (std::vector<double>{4, 5}));
            save(t("named"), CL(Mm(Mm(1.0), "old")));
            continue;
        }
        const std::string message = "save5: variable name '" + std::string(40, 'q') +
                                    "...' is longer than 255 characters and can not be saved in file 'named.vor'";
        EXPECT_ERROR(save(t("named"), (CL(Mm(Mm(2.0), "first")), value)), message);
        EXPECT_EQ(tmp.read("named.vor"), old_file) << "the old file is kept";
    }
    // Version 4 reads its records in order, whatever their names: a long
    // name reaches its target too.
    for (const std::size_t length : {255u, 256u, 1000u}) {
        SCOPED_TRACE("version 4, a name of " + std::to_string(length) + " characters");
        const std::string name(length, 'q');
        saveV4(t("named4"), CL(Mm(test::row({4, 5}), name.c_str())));
        Mm back(Mm(), name.c_str());
        load(t("named4"), CL(back));
        EXPECT_EQ(test::values(back), (std::vector<double>{4, 5}));
    }
}

struct foreign_struct {
    const char* what;
    const char* hex;
    const char* name;
    int rows, cols;
    std::vector<const char*> fields;
    std::vector<std::vector<double>> values;  // each element's fields in order
};

const std::vector<foreign_struct> foreign_structs = {
#include "data/foreign_structs.inc"
};

std::string from_hex(const char* h)
{
    std::string out;
    for (std::size_t k = 0; h[k] && h[k + 1]; k += 2)
        out += static_cast<char>(std::stoi(std::string(h + k, 2), nullptr, 16));
    return out;
}

// Structs written by another writer, which puts field-name data of 4
// bytes or less (one field "a"; "a" and "b"; "abc") under a small tag:
// loaded by name and as the first variable, with every field and value.
TEST_F(DataFiles, StructsOfAnotherWriterLoadWhateverTheFormOfTheirFieldNameTags)
{
    for (const foreign_struct& f : foreign_structs) {
        SCOPED_TRACE(f.what);
        tmp.write("foreign.vor", from_hex(f.hex));
        Mm by_name(Mm(), f.name);
        load(t("foreign"), CL(by_name));
        for (const Mm& s : {by_name, load(t("foreign"))}) {
            ASSERT_TRUE(s.isstruct());
            EXPECT_EQ(test::extents(s), (std::vector<int>{f.rows, f.cols}));
            ASSERT_EQ(s.getnfields(), static_cast<int>(f.fields.size()));
            for (int k = 0; k < s.getnfields(); ++k)
                EXPECT_STREQ(s.getfield(k), f.fields[static_cast<std::size_t>(k)]);
            for (int e = 0; e < s.size(); ++e)
                for (int k = 0; k < s.getnfields(); ++k) {
                    SCOPED_TRACE("element " + std::to_string(e) + ", field " + f.fields[static_cast<std::size_t>(k)]);
                    const Mm value = s.mr(e + 1).mr(k + 1);
                    EXPECT_EQ(test::values(value), f.values[static_cast<std::size_t>(e * s.getnfields() + k)]);
                }
        }
    }
    EXPECT_TRUE(warnings.empty());
}

// ---- the other kinds ----

TEST_F(DataFiles, NamesAndKindsOfFiles)
{
    save(t("data"), CL(Mm(Mm(1.0), "x")));
    EXPECT_TRUE(std::filesystem::exists(tmp.path() / "data.vor"));
    save(t("data.bin"), CL(Mm(Mm(2.0), "x")));
    EXPECT_TRUE(std::filesystem::exists(tmp.path() / "data.bin"));
    saveascii(t("data"), CL(Mm(Mm(3.0), "x")));
    EXPECT_TRUE(std::filesystem::exists(tmp.path() / "data"));
    EXPECT_EQ(test::at(load(t("data")), 0), 1) << "data.vor before data";
    EXPECT_EQ(test::at(load(t("data.bin")), 0), 2) << "VOR makes version 5 whatever the extension";
    tmp.write("short.txt", "1 2 3 4 5 6 7 8 9 1");
    EXPECT_EQ(test::values(load(t("short.txt"))), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 1}));
    EXPECT_ERROR(load(t("nothing")), "load: nothing not found");
    EXPECT_ERROR(load(t("nothing.x")), "load: nothing.x not found");
}

TEST_F(DataFiles, AsciiMatrices)
{
    struct Case {
        const char* what;
        const char* text;
        std::vector<int> shape;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"blanks and commas", "1 2 3\n4,5,6\n", {2, 3}, {1, 4, 2, 5, 3, 6}},
        {"comments", "% header\n# also\n1 2 % trailing\n\n3 4\r\n", {2, 2}, {1, 3, 2, 4}},
        {"specials", "Inf -Inf NaN 1.#INF -1.#INF\n", {1, 5}, {INFINITY, -INFINITY, NAN, INFINITY, -INFINITY}},
        {"the #IND spellings are NaN", "1.#IND -1.#IND 1.#QNAN 1.#INF\n", {1, 4}, {NAN, NAN, NAN, INFINITY}},
        {"tabs and exponents", "\t1e3\t-2.5E-1\n", {1, 2}, {1000, -0.25}},
        {"text that is no number", "1 x 2\n", {1, 2}, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tmp.write("m.txt", c.text);
        Mm m = load(t("m.txt"));
        EXPECT_EQ(test::extents(m), c.shape);
        const std::vector<double> got = test::values(m);
        ASSERT_EQ(got.size(), c.values.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_TRUE(got[k] == c.values[k] || (std::isnan(got[k]) && std::isnan(c.values[k]))) << k;
    }
    tmp.write("r.txt", "1 2 3\n4 5 6\n7 8\n");
    EXPECT_ERROR(load(t("r.txt")), "loadascii: matrix in r.txt is not rectangular");
}

TEST_F(DataFiles, AsciiLinesOfAnyLength)
{
    std::string line;
    for (int k = 0; k < 30000; ++k) {
        char number[32];
        std::snprintf(number, sizeof number, "%12.6f ", k + 0.5);
        line += number;
    }
    tmp.write("wide.txt", line + "\n");
    Mm m = load(t("wide.txt"));
    ASSERT_EQ(test::extents(m), (std::vector<int>{1, 30000}));
    EXPECT_EQ(test::at(m, 29999), 29999.5);
}

TEST_F(DataFiles, SaveasciiWritesRightAlignedColumns)
{
    saveascii(t("a.txt"), (CL(Mm(test::row({1, INFINITY}), "x")), Mm(test::real(2, 1, {-0.5, NAN}), "y")));
    const std::string expected = std::string(22, ' ') + "1" + std::string(20, ' ') + "Inf\n" +
                                 std::string(19, ' ') + "-0.5\n" + std::string(20, ' ') + "NaN\n";
    EXPECT_EQ(tmp.read("a.txt"), expected);
    EXPECT_ERROR(saveascii(t("b.txt"), CL(Mm(test::cell_row({Mm(1.0)}), "c"))), "saveascii: matrix 'c' is not numeric");
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "b.txt"));
}

TEST_F(DataFiles, VersionFourRecords)
{
    Mm x(test::real(2, 2, {1, 3, 2, 4}), "x");
    saveV4(t("v4"), CL(x));
    const std::string bytes = tmp.read("v4.vor");
    ASSERT_EQ(bytes.size(), 54u);
    EXPECT_EQ(hex(bytes.substr(0, 22)), "00000000020000000200000000000000020000007800");
    Mm flags(Mm(), "f");
    Mm zeros_ones(test::real(2, 2, {0, 1, 1, 0}), "f");
    Mm bytes_value(test::bytes(1, 3, {1, 2, 3}), "u");
    Mm text_value(t("ab"), "s");
    Mm complex_value(test::complex(1, 2, {1, 2}, {3, 4}), "z");
    Mm sparse_value(sparse(test::real(2, 3, {0, 1, 0, 0, 2, 0})), "sp");
    Mm nameless(Mm(5.0));
    saveV4(t("all"), (CL(zeros_ones), bytes_value, text_value, complex_value, sparse_value, nameless));
    Mm a(Mm(), "f"), b(Mm(), "u"), c(Mm(), "s"), d(Mm(), "z"), e(Mm(), "sp"), f(Mm(), "noname");
    load(t("all"), (CL(a), b, c, d, e, f));
    EXPECT_TRUE(a.islogical()) << "zeros and ones load as logical";
    EXPECT_EQ(test::values(a), (std::vector<double>{0, 1, 1, 0}));
    EXPECT_EQ(test::values(b), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(test::text_of(c), "ab");
    EXPECT_TRUE(c.isstr());
    expect_same(d, complex_value);
    EXPECT_TRUE(e.issparse());
    EXPECT_EQ(test::values(full(e)), (std::vector<double>{0, 1, 0, 0, 2, 0}));
    EXPECT_EQ(test::at(f, 0), 5);
    EXPECT_TRUE(warnings.empty()) << warnings.front();

    EXPECT_ERROR(saveV4(t("c4"), CL(Mm(test::cell_row({Mm(1.0)}), "c"))), "save: matrix 'c' can not be saved in 4.0 format");
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "c4.vor"));
    EXPECT_ERROR(saveV4(t("d4"), CL(Mm(test::counting({1, 2, 2}), "d"))),
                 "save: matrix 'd' has more than two dimensions and can not be saved in 4.0 format");
}

TEST_F(DataFiles, DamagedVersionFourRecords)
{
    auto record = [](std::int32_t type, std::int32_t m, std::int32_t n, std::int32_t imagf, std::int32_t namlen) {
        std::string b;
        for (std::int32_t w : {type, m, n, imagf, namlen})
            b.append(reinterpret_cast<const char*>(&w), 4);
        return b;
    };
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"negative rows", record(0, -1, 2, 0, 2) + "x", "load4: could not read real part from file 'bad4.vor'"},
        {"past the end", record(0, 1000, 1000, 0, 2) + "x", "load4: could not read real part from file 'bad4.vor'"},
        {"no name", record(0, 1, 1, 0, 0), "load4: 'bad4.vor' could not read matrix name"},
        {"unknown type", record(3, 1, 1, 0, 2) + std::string("x\0", 2) + std::string(8, '\0'),
         "load4: 'bad4.vor' unknown matrix type"},
        {"odd byte order", record(2000, 1, 1, 0, 2) + std::string("x\0", 2) + std::string(8, '\0'),
         "load4: 'bad4.vor' no conversion from this"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tmp.write("bad4.vor", std::string(1, '\x80') + c.bytes.substr(1));
        // The first byte above 127 keeps the sniffer off ASCII.
        std::string bytes = c.bytes;
        tmp.write("bad4.vor", bytes + std::string(40, '\xff'));
        Mm target(Mm(), "x");
        EXPECT_ERROR(load(t("bad4.vor"), CL(target)), c.message);
    }
}

TEST_F(DataFiles, TheNameScanStopsAtARecordTooLargeForAValue)
{
    std::string bytes;
    for (std::int32_t w : {0, 1 << 30, 1 << 30, 1, 2})
        bytes.append(reinterpret_cast<const char*>(&w), 4);
    bytes += std::string("q\0", 2) + std::string(64, '\xff');
    tmp.write("huge.vor", bytes);
    Mm names = who(Mm(), t("huge.vor"));
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(test::text_of(names.mr(1)), "q");
}

// ---- values whose storage and extent differ widely ----

// A struct whose only field was removed: no fields, one element.
Mm fieldless(int n)
{
    Mm s = mstruct((CL("a"), Mm(1.0)));
    if (n != 1)
        s = repmat(s, Mm(1.0), Mm(static_cast<double>(n)));
    return rmfield(s, test::text("a"));
}

TEST_F(DataFiles, SparseAndFieldlessValuesLoadBack)
{
    Mm row_entries = sparse(test::row({1, 1, 1}), test::row({1, 500000, 1000000}), test::row({2, -3, 5}), Mm(1.0),
                            Mm(1e6));
    Mm people = mstruct((CL("name"), test::cell_row({t("ann"), t("bo")}), "age", test::cell_row({Mm(30.0), Mm(4.0)})));
    struct Case {
        const char* name;
        Mm value;
    };
    const std::vector<Case> cases = {
        {"eye10", speye(Mm(10.0))},
        {"eye100", speye(Mm(100.0))},
        {"eye10000", speye(Mm(10000.0))},
        {"empty_row", sparse(Mm(1.0), Mm(1e6))},
        {"row_entries", row_entries},
        {"fieldless", fieldless(1)},
        {"fieldless_row", fieldless(3)},
        {"empty_struct", mstruct((CL("a"), cell(Mm(0.0), Mm(0.0))))},
        {"people", people},
        {"object", mclass(people, t("person"))},
        {"fieldless_object", mclass(fieldless(2), t("nothing_inside"))},
        {"nested", test::cell_row({fieldless(1), speye(Mm(100.0))})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(test::error_of([&] { save(t("s"), CL(Mm(c.value, c.name))); }), "");
        Mm target(Mm(), c.name);
        EXPECT_EQ(test::error_of([&] { load(t("s"), CL(target)); }), "");
        expect_same(target, c.value);
        Mm first;
        EXPECT_EQ(test::error_of([&] { first = load(t("s")); }), "");
        expect_same(first, c.value);
    }
    // The exact statements: a list of one value, then rmfield of the last field.
    save(t("s"), CL(Mm(test::cell_row({speye(Mm(100.0))}), "c")));
    Mm c = load(t("s"));
    ASSERT_EQ(c.size(), 1);
    EXPECT_EQ(test::values(full(c.mr(1))), test::values(full(speye(Mm(100.0)))));
    EXPECT_TRUE(warnings.empty());
}

// Words of a version-5 element laid out by hand (little-endian).
struct raw_element {
    std::string bytes;
    void word(std::uint32_t w) { bytes.append(reinterpret_cast<const char*>(&w), 4); }
    void pad()
    {
        while (bytes.size() % 8)
            bytes += '\0';
    }
    void text_part(const std::string& s)
    {
        word(1);
        word(static_cast<std::uint32_t>(s.size()));
        bytes += s;
        pad();
    }
    void ints(const std::vector<std::uint32_t>& v)
    {
        word(5);
        word(static_cast<std::uint32_t>(4 * v.size()));
        for (std::uint32_t x : v)
            word(x);
        pad();
    }
    // Starts an array element of a class with its dimensions and name; the
    // size word is filled in by close().
    void open(std::uint32_t cls, std::uint32_t nzmax, const std::vector<std::uint32_t>& dims, const std::string& name)
    {
        start = bytes.size();
        word(14);
        word(0);
        word(6);
        word(8);
        word(cls);
        word(nzmax);
        ints(dims);
        text_part(name);
    }
    void close()
    {
        pad();
        const std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - start - 8);
        std::memcpy(bytes.data() + start + 4, &size, 4);
    }
    std::string file() const { return std::string("VOR") + std::string(125, ' ') + bytes; }
    std::size_t start = 0;
};

void real_part(raw_element& e, const std::vector<double>& v)
{
    e.word(9);
    e.word(static_cast<std::uint32_t>(8 * v.size()));
    for (double d : v)
        e.bytes.append(reinterpret_cast<const char*>(&d), 8);
    e.pad();
}

TEST_F(DataFiles, AFieldNameLengthOfZeroIsAStructWithoutFields)
{
    raw_element e;
    e.open(2, 0, {1, 2}, "s");
    e.word(0x00040005);
    e.word(0);  // field names of 0 bytes
    e.word(1);
    e.word(0);
    e.close();
    tmp.write("z.vor", e.file());
    Mm s(Mm(), "s");
    load(t("z"), CL(s));
    EXPECT_TRUE(s.isstruct());
    EXPECT_EQ(s.getnfields(), 0);
    EXPECT_EQ(test::extents(s), (std::vector<int>{1, 2}));
}

// A struct (or object) without fields costs the file nothing per element,
// so its extent alone is a damaged file's to claim: a few hundred bytes
// declaring about 2^31 empty elements are refused before any is made.
TEST_F(DataFiles, AFieldlessStructOfAHugeExtentIsRefusedBeforeAllocating)
{
    struct Case {
        const char* what;
        std::uint32_t cls;
        std::uint32_t rows, cols;
    };
    const std::vector<Case> cases = {
        {"46341 x 46341 struct", 2, 46341, 46341},
        {"46340 x 46340 struct", 2, 46340, 46340},
        {"65535 x 32768 struct", 2, 65535, 32768},
        {"46340 x 46340 object", 3, 46340, 46340},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        raw_element e;
        e.open(c.cls, 0, {c.rows, c.cols}, "s");
        if (c.cls == 3)
            e.text_part("hollow");
        e.word(0x00040005);
        e.word(0);  // field names of 0 bytes
        e.word(1);
        e.word(0);
        e.bytes += std::string(256, '\0');
        e.close();
        tmp.write("hollow.vor", e.file());
        Mm s(Mm(4.0), "s");
        EXPECT_ERROR(load(t("hollow.vor"), CL(s)), "load: 'hollow.vor' could not read data set");
        EXPECT_ERROR(load(t("hollow.vor")), "load: 'hollow.vor' could not read data set");
        test::returning_errors hook;
        load(t("hollow.vor"), CL(s));
        EXPECT_EQ(test::values(s), std::vector<double>{4}) << "the target is left alone";
    }
    // A field-less struct of a size a program makes still loads back.
    Mm wide = rmfield(repmat(mstruct((CL("a"), Mm(1.0))), Mm(500.0), Mm(500.0)), t("a"));
    ASSERT_EQ(test::error_of([&] { save(t("wide"), CL(Mm(wide, "w"))); }), "");
    Mm w(Mm(), "w");
    EXPECT_EQ(test::error_of([&] { load(t("wide"), CL(w)); }), "");
    EXPECT_TRUE(w.isstruct());
    EXPECT_EQ(w.getnfields(), 0);
    EXPECT_EQ(test::extents(w), (std::vector<int>{500, 500}));
    // One that a load would refuse is refused by save, inside a cell too,
    // so that no file written fails to read back.
    Mm huge(Mm(), "h");
    huge.br(2) = rmfield(repmat(mstruct((CL("a"), Mm(1.0))), Mm(1025.0), Mm(1024.0)), t("a"));
    EXPECT_ERROR(save(t("huge"), CL(huge)),
                 "save5: a structure without fields of more than 1048576 elements can not be saved in file 'huge.vor'");
}

// A 3 x 2 sparse value of nzmax 1 whose column starts rise past the one row
// index: jc = [0 2 1].
std::string damaged_sparse()
{
    raw_element e;
    e.open(5, 1, {3, 2}, "x");
    e.ints({0});
    e.ints({0, 2, 1});
    real_part(e, {7});
    e.close();
    return e.file();
}

TEST_F(DataFiles, DamagedSparseColumnStartsAreRefusedBeforeAnyEntryIsRead)
{
    struct Case {
        const char* what;
        std::string bytes;
    };
    raw_element high_row;
    high_row.open(5, 2, {3, 2}, "x");
    high_row.ints({0, 3});
    high_row.ints({0, 1, 2});
    real_part(high_row, {1, 2});
    high_row.close();
    raw_element falling;
    falling.open(5, 2, {3, 3}, "x");
    falling.ints({0, 1});
    falling.ints({0, 2, 1, 2});
    real_part(falling, {1, 2});
    falling.close();
    const std::vector<Case> cases = {
        {"a start past the row indices", damaged_sparse()},
        {"a row index past the rows", high_row.file()},
        {"a falling start", falling.file()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tmp.write("sp.vor", c.bytes);
        Mm x(Mm(4.0), "x");
        EXPECT_ERROR(load(t("sp.vor"), CL(x)), "load: 'sp.vor' could not read data set");
        EXPECT_ERROR(load(t("sp.vor")), "load: 'sp.vor' could not read data set");
        test::returning_errors hook;
        load(t("sp.vor"), CL(x));
        EXPECT_EQ(test::values(x), std::vector<double>{4}) << "the target is left alone";
    }
}

TEST_F(DataFiles, ElementsOfOtherTypesAreSkippedByTheirSize)
{
    raw_element e;
    e.word(15);  // a 32-byte element of type 15 first
    e.word(24);
    e.bytes += std::string(24, '\x5a');
    e.open(6, 0, {1, 1}, "b");
    real_part(e, {5});
    e.close();
    tmp.write("t15.vor", e.file());
    Mm b(Mm(), "b");
    load(t("t15.vor"), CL(b));
    EXPECT_EQ(test::values(b), std::vector<double>{5});
    Mm names = who(Mm(0.0), t("t15.vor"));
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(test::text_of(names.mr(1)), "b");
}

TEST_F(DataFiles, FiveDimensionsByNameRaiseTheDimensionsMessage)
{
    raw_element e;
    e.open(6, 0, {1, 1, 1, 1, 1}, "x");
    real_part(e, {1});
    e.close();
    tmp.write("d5.vor", e.file());
    Mm x(Mm(3.0), "x");
    const char* message = "load5: Can not read matrix from file 'd5.vor' which has more then =4 dimensions.";
    EXPECT_ERROR(load(t("d5.vor"), CL(x)), message);
    EXPECT_ERROR(load(t("d5.vor")), message);
}

TEST_F(DataFiles, LongFieldNamesKeepEveryCharacter)
{
    const std::string stem(32, 'f');
    Mm s = mstruct((CL((stem + "_one").c_str()), Mm(1.0), (stem + "_two").c_str(), Mm(2.0)));
    save(t("long"), CL(Mm(s, "s")));
    Mm back(Mm(), "s");
    load(t("long"), CL(back));
    ASSERT_EQ(back.getnfields(), 2);
    EXPECT_EQ(std::string(back.getfield(0)), stem + "_one");
    EXPECT_EQ(std::string(back.getfield(1)), stem + "_two");
    EXPECT_EQ(test::at(getfield(back, t((stem + "_two").c_str())), 0), 2);

    // A name longer than any file holds is refused before the file is made.
    Mm huge = mstruct((CL("a"), Mm(1.0)));
    huge.addfield(std::string(5000, 'g').c_str(), 0);
    const std::string message = test::error_of([&] { save(t("huge"), CL(Mm(huge, "h"))); });
    EXPECT_EQ(message.substr(0, 20), "save5: field name 'g");
    EXPECT_NE(message.find("is longer than 4095 characters and can not be saved in file 'huge.vor'"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "huge.vor"));
}

TEST_F(DataFiles, AClassNameIsCutOnceSoReloadsShareTheClass)
{
    const std::string long_name(45, 'k');
    raw_element e;
    e.open(3, 0, {1, 1}, "o");
    e.text_part(long_name);
    e.word(0x00040005);
    e.word(32);
    e.word(1);
    e.word(32);
    e.bytes += "v" + std::string(31, '\0');
    const std::size_t outer = e.start;
    e.open(6, 0, {1, 1}, "");  // the field's value
    real_part(e, {9});
    e.close();
    e.start = outer;
    e.close();
    tmp.write("obj.vor", e.file());
    Mm first(Mm(), "o"), second(Mm(), "o");
    load(t("obj.vor"), CL(first));
    load(t("obj.vor"), CL(second));
    ASSERT_NE(first.getclassid(), 0);
    EXPECT_EQ(first.getclassid(), second.getclassid()) << "one class for both loads";
    EXPECT_EQ(test::text_of(mclass(first)), long_name.substr(0, 39));
    EXPECT_EQ(first.getclassid(), class_id_of_name(long_name.substr(0, 39).c_str()));
}

TEST_F(DataFiles, AVersionFourHeaderCutShortIsDamage)
{
    std::string bytes;
    for (std::int32_t w : {0, 1, 1})
        bytes.append(reinterpret_cast<const char*>(&w), 4);
    bytes.resize(10);
    tmp.write("h.vor", bytes);
    EXPECT_ERROR(load(t("h.vor")), "load4: 'h.vor' could not read header");
    Mm x(Mm(6.0), "x");
    EXPECT_ERROR(load(t("h.vor"), CL(x)), "load4: 'h.vor' could not read header");
    test::returning_errors hook;
    load(t("h.vor"), CL(x));
    EXPECT_EQ(test::values(x), std::vector<double>{6}) << "x keeps its value";
    EXPECT_EQ(hook.reports().size(), 1u);
}

TEST_F(DataFiles, SparseIndicesBeyondAValueRaiseTheSizesMessage)
{
    EXPECT_ERROR(sparse(test::row({1e15}), test::row({1}), test::row({5})),
                 "sparse: 1000000000000000x1 has more than 2147483647 elements, the most a sparse value holds");
    EXPECT_ERROR(sparse(test::row({1}), test::row({3e9}), test::row({5})),
                 "sparse: 1x3000000000 has more than 2147483647 elements, the most a sparse value holds");
    // A version-4 sparse record: rows of [row column value], the last one
    // the extents.
    std::string bytes;
    for (std::int32_t w : {2, 2, 3, 0, 2})
        bytes.append(reinterpret_cast<const char*>(&w), 4);
    bytes += std::string("s\0", 2);
    for (double v : {3e9, 3e9, 1.0, 1.0, 7.0, 0.0})
        bytes.append(reinterpret_cast<const char*>(&v), 8);
    tmp.write("sp4.vor", bytes);
    Mm s(Mm(), "s");
    EXPECT_ERROR(load(t("sp4.vor"), CL(s)),
                 "sparse: 3000000000x1 has more than 2147483647 elements, the most a sparse value holds");
}

// ---- saves that fail keep the old file ----

// The files of the directory other than the given ones: a failed save
// leaves no temporary behind.
std::vector<std::string> other_files(const test::temp_dir& tmp, std::vector<std::string> known)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
        if (std::find(known.begin(), known.end(), e.path().filename().string()) == known.end())
            out.push_back(e.path().filename().string());
    return out;
}

struct failing_save {
    const char* what;
    const char* file;  // as the save names it
    std::function<void(const Mm&)> save_value;
};

std::vector<failing_save> the_three_saves()
{
    return {
        {"save", "full.vor", [](const Mm& v) { save(test::text("full"), CL(Mm(v, "x"))); }},
        {"saveV4", "full.vor", [](const Mm& v) { saveV4(test::text("full"), CL(Mm(v, "x"))); }},
        {"saveascii", "full.txt", [](const Mm& v) { saveascii(test::text("full.txt"), CL(Mm(v, "x"))); }},
    };
}

TEST_F(DataFiles, SavesToAFullDeviceRaiseAnErrorNamingTheFile)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    // Small values fail only when the buffer is flushed at the end; large
    // ones at a write on the way, with that write's own message.
    const std::vector<std::pair<const char*, std::vector<std::string>>> expected = {
        {"save", {"savev5: could not write file 'full.vor'.", "load: 'full.vor' could not write data set"}},
        {"saveV4", {"saveV4: full.vor could not be written: No space left on device",
                    "save: could not write real part"}},
        {"saveascii", {"saveascii: full.txt could not be written: No space left on device",
                       "saveascii: full.txt could not be written: No space left on device"}},
    };
    const auto saves = the_three_saves();
    for (std::size_t k = 0; k < saves.size(); ++k) {
        SCOPED_TRACE(saves[k].what);
        std::filesystem::create_symlink("/dev/full", tmp.path() / saves[k].file);
        EXPECT_ERROR(saves[k].save_value(test::row({1, 2, 3})), expected[k].second[0]) << "three numbers";
        EXPECT_ERROR(saves[k].save_value(colon(1.0, 5000.0)), expected[k].second[1]) << "5000 numbers";
        EXPECT_TRUE(std::filesystem::is_symlink(tmp.path() / saves[k].file)) << "the link is kept";
        EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
        EXPECT_EQ(other_files(tmp, {saves[k].file}), std::vector<std::string>{});
        std::filesystem::remove(tmp.path() / saves[k].file);
    }
}

TEST_F(DataFiles, ASaveOverALinkReplacesTheFileItLeadsTo)
{
    std::filesystem::create_directory(tmp.path() / "store");
    save(t("store/real"), CL(Mm(Mm(1.0), "x")));
    std::filesystem::create_symlink("store/real.vor", tmp.path() / "link.vor");
    save(t("link"), CL(Mm(Mm(2.0), "x")));
    EXPECT_TRUE(std::filesystem::is_symlink(tmp.path() / "link.vor"));
    Mm x(Mm(), "x");
    load(t("store/real"), CL(x));
    EXPECT_EQ(test::values(x), std::vector<double>{2});
}

TEST_F(DataFiles, ASaveOverAFileKeepsItsPermissions)
{
    save(t("kept"), CL(Mm(Mm(1.0), "x")));
    namespace fs = std::filesystem;
    fs::permissions(tmp.path() / "kept.vor", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    save(t("kept"), CL(Mm(Mm(2.0), "x")));
    EXPECT_EQ(fs::status(tmp.path() / "kept.vor").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(DataFiles, ASaveThatMeetsASizeLimitKeepsTheOldFile)
{
    struct limited {
        const char* what;
        const char* file;
        std::function<void()> old_save, new_save;
        std::function<Mm()> reload;
        const char* message;
    };
    const Mm hundred = colon(1.0, 100.0), thousand = colon(1.0, 1000.0);
    const std::vector<limited> cases = {
        {"save", "old.vor", [&] { save(t("old"), CL(Mm(hundred, "x"))); },
         [&] { save(t("old"), CL(Mm(thousand, "x"))); }, [&] { return load(t("old")); },
         "savev5: could not write file 'old.vor'."},
        {"saveV4", "old.vor", [&] { saveV4(t("old"), CL(Mm(hundred, "x"))); },
         [&] { saveV4(t("old"), CL(Mm(thousand, "x"))); }, [&] { return load(t("old")); },
         "saveV4: old.vor could not be written: File too large"},
        {"saveascii", "old.txt", [&] { saveascii(t("old.txt"), CL(Mm(transpose(hundred), "x"))); },
         [&] { saveascii(t("old.txt"), CL(Mm(transpose(thousand), "x"))); }, [&] { return load(t("old.txt")); },
         "saveascii: old.txt could not be written: File too large"},
    };
    for (const limited& c : cases) {
        SCOPED_TRACE(c.what);
        c.old_save();
        const std::string before = tmp.read(c.file);
        ASSERT_GT(before.size(), 800u);
        // Room for the old file but not for the new one.
        test::child_setup limited_setup;
        limited_setup.file_size_limit = 4096;
        EXPECT_EQ(test::run_in_child(limited_setup, c.new_save).message, c.message);
        EXPECT_EQ(tmp.read(c.file), before) << "the old file is whole";
        const std::vector<double> back = test::values(c.reload());
        ASSERT_EQ(back.size(), 100u);
        EXPECT_EQ(back.front(), 1);
        EXPECT_EQ(back.back(), 100);
        EXPECT_EQ(other_files(tmp, {c.file}), std::vector<std::string>{}) << "no temporary is left";
        std::filesystem::remove(tmp.path() / c.file);
    }
}

TEST_F(DataFiles, AValueWhoseElementWouldPassFourGigabytesIsRefusedBeforeWriting)
{
    save(t("huge"), CL(Mm(Mm(7.0), "r")));
    const std::string before = tmp.read("huge.vor");
    // 6e8 doubles: 4.8e9 bytes of data, never made (the range is not
    // written out).
    const Mm r(colon(1.0, 6e8), "r");
    EXPECT_ERROR(save(t("huge"), CL(r)),
                 "save5: 'r' would take 4800000048 bytes, more than the 4294967295 bytes an element of file "
                 "'huge.vor' can hold");
    EXPECT_EQ(tmp.read("huge.vor"), before);
    EXPECT_EQ(other_files(tmp, {"huge.vor"}), std::vector<std::string>{});
    // Just below the limit: the count says yes (nothing is written here).
    EXPECT_EQ(v5_element_bytes(Mm(colon(1.0, 536870900.0), "r")) - 8, 4294967248ull);
}

TEST_F(DataFiles, TheCountedElementSizeIsTheWrittenOne)
{
    Mm st = mstruct((CL("field"), test::cell_row({Mm(1.0), t("xy")}), CL("a_much_longer_field_name_than_32_chars_x"),
                     test::cell_row({t("abcde"), test::row({1, 2, 3})})));
    Mm fieldless = rmfield(mstruct((CL("a"), Mm(1.0))), t("a"));
    const std::vector<std::pair<const char*, Mm>> cases = {
        {"scalar", Mm(1.0)},
        {"empty", Mm(0, 0, 0, 0, 0, qv_double)},
        {"row of 5", test::row({1, 2, 3, 4, 5})},
        {"complex", test::complex(1, 3, {1, 2, 3}, {0, 1, 0})},
        {"3-d", ones(Mm(2.0), Mm(3.0), Mm(4.0))},
        {"text of 2", t("ab")},
        {"text of 7", t("abcdefg")},
        {"text beyond ASCII", TM("h\xc3\xa9")},
        {"text of codes wider than 16 bits", text_of_codes({70000, -5})},
        {"text of fractional codes", text_of_codes({65.5})},
        {"bytes of 4", test::bytes(1, 4, {1, 2, 3, 4})},
        {"bytes of 9", test::bytes(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9})},
        {"logical", test::row({1, 0, 1}) > Mm(0.5)},
        {"sparse", sparse(test::real(3, 3, {1, 0, 2, 0, 0, 3, 4, 0, 5}))},
        {"empty sparse", sparse(Mm(4.0), Mm(5.0))},
        {"complex sparse", sparse(test::complex(2, 2, {1, 0, 0, 2}, {1, 0, 0, 0}))},
        {"cell", test::cell_row({Mm(1.0), t("abc"), test::cell_row({Mm(2.0)})})},
        {"struct", st},
        {"struct without fields", fieldless},
    };
    for (const auto& [what, value] : cases) {
        for (const char* name : {"x", "a_long_variable_name"}) {
            SCOPED_TRACE(std::string(what) + " named " + name);
            const Mm named(value, name);
            save(t("size"), CL(named));
            EXPECT_EQ(v5_element_bytes(named), tmp.read("size.vor").size() - 128);
        }
        SCOPED_TRACE(std::string(what) + " unnamed");
        vbsave(test::cell_row({t("size"), value}));
        EXPECT_EQ(v5_element_bytes(value), tmp.read("size.vor").size() - 128);
    }
}

// The element of x with its size word made larger than 2^31: a hole of
// zeros pads it (the file costs no disk), and y follows it.
TEST_F(DataFiles, ElementSizesAboveTwoGigabytesReadUnsigned)
{
    save(t("big"), (CL(Mm(test::row({1, 2, 3}), "x")), Mm(Mm(5.0), "y")));
    const std::string whole = tmp.read("big.vor");
    const std::uint32_t x_size = u32(whole, 132);
    const std::string x_element = whole.substr(128, 8 + x_size), y_element = whole.substr(128 + 8 + x_size);
    const std::uint32_t big = 0x80000010u;
    std::string head = whole.substr(0, 128) + x_element;
    std::memcpy(head.data() + 132, &big, 4);
    tmp.write("big.vor", head);
    const long long y_at = 128 + 8 + static_cast<long long>(big);
    std::FILE* f = std::fopen((tmp.path() / "big.vor").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fseeko(f, y_at, SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(y_element.data(), 1, y_element.size(), f), y_element.size());
    ASSERT_EQ(std::fclose(f), 0);

    Mm x(Mm(), "x"), y(Mm(), "y");
    load(t("big"), (CL(y), x));
    EXPECT_EQ(test::values(y), std::vector<double>{5}) << "found past the large element";
    EXPECT_EQ(test::values(x), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(test::values(load(t("big"))), (std::vector<double>{1, 2, 3}));
}

// What a save cut short (or killed) leaves: the size word still 0, or
// smaller than what follows. Loads report the damage instead of an empty
// value or a silent miss.
TEST_F(DataFiles, AnElementWhoseSizeDoesNotFitItsContentIsDamage)
{
    save(t("good"), (CL(Mm(test::row({1, 2, 3}), "x")), Mm(Mm(5.0), "y")));
    const std::string good = tmp.read("good.vor");
    const std::uint32_t x_size = u32(good, 132);
    const std::string damaged = "load5: 'cut.vor' is damaged: an element's size does not fit its content";
    struct damage {
        const char* what;
        std::uint32_t size;
        std::size_t keep;  // bytes of the good file kept
    };
    const std::vector<damage> cases = {
        {"size never written, file whole", 0, good.size()},
        {"size never written, cut in the data", 0, 128 + 60},
        {"size smaller than the content", 16, good.size()},
    };
    for (const damage& d : cases) {
        SCOPED_TRACE(d.what);
        std::string bytes = good.substr(0, d.keep);
        std::memcpy(bytes.data() + 132, &d.size, 4);
        tmp.write("cut.vor", bytes);
        EXPECT_ERROR(load(t("cut")), damaged) << "the first variable";
        Mm x(Mm(7.0), "x");
        EXPECT_ERROR(load(t("cut"), CL(x)), damaged) << "by name";
        EXPECT_EQ(test::values(x), std::vector<double>{7}) << "the target is left as it was";
    }
    // The elements before the damage still load by name.
    std::string bytes = good;
    const std::uint32_t zero = 0;
    std::memcpy(bytes.data() + 128 + 8 + x_size + 4, &zero, 4);
    tmp.write("cut.vor", bytes);
    Mm x(Mm(), "x"), y(Mm(7.0), "y");
    EXPECT_ERROR(load(t("cut"), (CL(x), y)), damaged);
    EXPECT_EQ(test::values(x), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(test::values(y), std::vector<double>{7});
}

} // namespace

// Several threads each saving unnamed values to a file of their own and
// loading them back by the names the save gave them. Also run under
// ThreadSanitizer (make test-tsan).
TEST(Threads, EachSaveNamesItsOwnUnnamedValues)
{
    test::temp_dir tmp;
    constexpr int threads = 4, rounds = 150;
    const std::vector<int> wrong = test::wrong_rounds_on_threads(threads, rounds, [](int th, int k) {
        const std::string file = "t" + std::to_string(th);
        const double a = th * 1000 + k, b = -a;
        save(test::text(file.c_str()), (CL(Mm(a)), Mm(b)));
        Mm A(Mm(0.5), "A"), B(Mm(0.5), "B");
        load(test::text(file.c_str()), (CL(A), B));
        return A.size() == 1 && B.size() == 1 && test::at(A, 0) == a && test::at(B, 0) == b;
    });
    EXPECT_EQ(wrong, std::vector<int>(threads, 0));
}

// ---- every kind of value through both versions ----

// Every kind of value, the empty ones among them, saved with a scalar
// after it over an old file by each version: either both load back
// (through version 4 as the doubles it keeps), or the save is refused and
// the old file kept. A save never succeeds with a file its own load
// cannot read.
TEST_F(DataFiles, EveryKindOfValueLoadsBackOrIsRefusedKeepingTheOldFile)
{
    Mm logical = test::row({1, 0, 1});
    logical.setlogical(1);
    Mm empty_struct = mstruct((CL("a"), cell(Mm(0.0), Mm(0.0))));
    struct Case {
        const char* what;
        Mm value;
        bool in_version_four;  // saveV4 takes it
    };
    const std::vector<Case> cases = {
        {"a scalar", Mm(-2.5), true},
        {"a matrix", test::real(2, 3, {1, 2, 3, 4, 5, -INFINITY}), true},
        {"empty 0x0", Mm(), true},
        {"empty 0x3", Mm(0, 0, 0, 0, 3, qv_double), true},
        {"empty 4x0", Mm(0, 0, 0, 4, 0, qv_double), true},
        {"complex", test::complex(1, 2, {1, 2}, {3, -4}), true},
        {"text", t("hello"), true},
        {"empty text", t(""), true},
        {"logical", logical, true},
        {"uint8", test::bytes(1, 3, {0, 7, 255}), true},
        {"sparse", sparse(test::real(3, 2, {0, 5, 0, 7, 0, 8})), true},
        {"complex sparse", sparse(test::complex(2, 2, {0, 1, 0, 2}, {0, 1, 0, 0})), true},
        {"empty sparse 0x0", sparse(Mm()), true},
        {"empty sparse 0x5", sparse(Mm(0.0), Mm(5.0)), true},
        {"empty sparse 5x0", sparse(Mm(5.0), Mm(0.0)), true},
        {"empty sparse 4x3", sparse(Mm(0, 0, 0, 4, 3, qv_double)), true},
        {"empty complex sparse 0x3", sparse(Mm(1, 0, 0, 0, 3, qv_double)), true},
        {"complex sparse of zeros 2x2", sparse(test::complex(2, 2, {0, 0, 0, 0}, {0, 0, 0, 0})), true},
        {"a cell", test::cell_row({Mm(1.0), t("two")}), false},
        {"an empty cell", cell(Mm(0.0), Mm(0.0)), false},
        {"a struct", mstruct((CL("a"), Mm(1.0), "b", t("bee"))), false},
        {"an empty struct with a field", empty_struct, false},
        {"a struct without fields", fieldless(1), false},
        {"an empty struct without fields", fieldless(0), false},
        {"four dimensions", reshape(test::counting({2, 1, 3, 2}), test::row({2, 1, 3, 2})), false},
    };
    const std::string old = "the old bytes of the file\n";
    for (const bool four : {false, true}) {
        SCOPED_TRACE(four ? "version 4" : "version 5");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            tmp.write("kinds.vor", old);
            Mm v(c.value, "v"), after(Mm(42.0), "after");
            const std::string message =
                test::error_of([&] { four ? saveV4(t("kinds"), (CL(v), after)) : save(t("kinds"), (CL(v), after)); });
            if (four && !c.in_version_four) {
                EXPECT_NE(message, "") << "refused";
                EXPECT_EQ(tmp.read("kinds.vor"), old) << "the old file is kept";
                continue;
            }
            ASSERT_EQ(message, "");
            Mm back(Mm(), "v"), back_after(Mm(), "after");
            ASSERT_EQ(test::error_of([&] { load(t("kinds"), (CL(back), back_after)); }), "");
            EXPECT_EQ(test::values(back_after), std::vector<double>{42}) << "the value after it loads too";
            if (!four) {
                expect_same(back, c.value);
                continue;
            }
            EXPECT_EQ(test::extents(back), test::extents(c.value));
            EXPECT_EQ(back.issparse(), c.value.issparse());
            EXPECT_EQ(back.isstr(), c.value.isstr());
            const Mm want = c.value.issparse() ? full(c.value) : c.value;
            const Mm got = back.issparse() ? full(back) : back;
            EXPECT_EQ(test::values(mdouble(real(got))), test::values(mdouble(real(want))));
            if (c.value.isc()) {
                EXPECT_EQ(test::values(imag(got)), test::values(imag(want)));
            }
        }
    }
}

// The name of a folder is no data file: its load raises the message of a
// file not found and leaves the target as it was; a file opened under the
// name as given (no extension added) is named so in messages.
TEST_F(DataFiles, AFolderIsNoDataFileAndMessagesNameTheFileOpened)
{
    std::filesystem::create_directory(tmp.path() / "results");
    Mm x(Mm(42.0), "x");
    EXPECT_ERROR(load(t("results"), CL(x)), "load: results not found");
    EXPECT_EQ(test::values(x), std::vector<double>{42}) << "the target is kept";
    EXPECT_ERROR(load(t("results")), "load: results not found");
    // A folder with the extension beside a file without it: the file.
    std::filesystem::create_directory(tmp.path() / "both.vor");
    Mm y(Mm(7.0), "y");
    saveV4(t("plain.vor"), CL(y));
    std::filesystem::rename(tmp.path() / "plain.vor", tmp.path() / "both");
    Mm back(Mm(), "y");
    load(t("both"), CL(back));
    EXPECT_EQ(test::values(back), std::vector<double>{7});

    struct Case {
        const char* name;
        std::string bytes;  // written to the file name (none: a file of the system)
        const char* message;
    };
    std::string no_name;
    for (std::int32_t w : {0, 1, 1, 0, 0})
        no_name.append(reinterpret_cast<const char*>(&w), 4);
    const std::vector<Case> cases = {
        {"damaged", no_name, "load4: 'damaged' could not read matrix name"},
        {"/dev/zero", "", "load4: '/dev/zero' could not read matrix name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bytes.empty() && !std::filesystem::exists(c.name))
            continue;
        if (!c.bytes.empty())
            tmp.write(c.name, c.bytes + std::string(40, '\xff'));
        Mm target(Mm(5.0), "x");
        EXPECT_ERROR(load(t(c.name), CL(target)), c.message);
    }
}

// Files of structs this library wrote, as scipy.io.loadmat read them
// (tools/reference/field_names_read_back.py): the file after its dated
// header, and the field names scipy found in it.
struct read_back_struct {
    std::size_t length;  // of the long field name
    const char* body;    // hex of the bytes after the 128-byte header
    std::vector<std::string> fields;
};
const std::vector<read_back_struct> read_back_structs = {
#include "data/field_names_read_back.inc"
};

// A field name fills the 32 bytes a struct gives each name when every
// name is shorter; a name of 32 characters or more needs a wider slot,
// since each name ends with a zero in its slot (a reader that looks for
// it would otherwise read on into the next name). The files read back
// here and in scipy.io, which read the same bytes.
TEST_F(DataFiles, EveryFieldNameEndsWithAZeroInItsSlot)
{
    const char* keep = std::getenv("NUMRUN_FIELD_NAME_FILES");  // for the reference script
    for (const std::size_t length : {31u, 32u, 33u, 63u}) {
        SCOPED_TRACE(std::to_string(length) + " characters");
        const std::string name = std::string(length - 1, 'a') + "b";
        Mm s = mstruct((CL("c"), Mm(2.0)));
        s.addfield(name.c_str(), 0);
        ASSERT_EQ(std::string(s.getfield(1)), name);
        const std::string bytes = saved("fields.vor", s, "s");
        const std::size_t at = bytes.find(name);
        ASSERT_NE(at, std::string::npos);
        const std::size_t width = at - bytes.rfind(std::string("c\0", 2), at);
        EXPECT_EQ(u32(bytes, at - width - 12), width) << "the slot width the file gives";
        EXPECT_GE(width, length + 1) << "the slot holds the name and its zero";
        EXPECT_EQ(width % 8, 0u);
        EXPECT_EQ(bytes[at + length], '\0');
        if (keep)
            std::ofstream(std::string(keep) + "/fields" + std::to_string(length) + ".vor", std::ios::binary) << bytes;
        const auto read = std::find_if(read_back_structs.begin(), read_back_structs.end(),
                                       [&](const read_back_struct& r) { return r.length == length; });
        if (!keep && read != read_back_structs.end()) {
            EXPECT_EQ(hex(bytes.substr(128)), read->body) << "the file scipy read";
            EXPECT_EQ(read->fields, (std::vector<std::string>{"c", name}))
                << "the field names scipy read";
        }
        Mm back(Mm(), "s");
        load(t("fields"), CL(back));
        ASSERT_EQ(back.getnfields(), 2);
        EXPECT_EQ(std::string(back.getfield(0)), "c");
        EXPECT_EQ(std::string(back.getfield(1)), name);
        EXPECT_EQ(test::values(getfield(back, t("c"))), std::vector<double>{2});
    }
}
