// Precisions: the name table, the bytes of every precision in both byte
// orders against independently computed references, block and element
// conversions agreeing, and short reads.
#include "test_support.hpp"

#include "io/precisions.hpp"
#include "platform/byte_order.hpp"
#include "temp_dir.hpp"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct byte_case {
    const char* precision;
    double value;
    const char* little;  // hex bytes
    const char* big;
    double back;
};
const std::vector<byte_case> byte_cases = {
#include "data/precision_bytes.inc"
};

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

// A scratch file in the test's own temporary directory.
class Precisions : public ::testing::Test {
protected:
    std::FILE* fresh(const char* mode = "w+b")
    {
        close();
        file = std::fopen("scratch.bin", mode);
        return file;
    }
    std::string contents()
    {
        std::fflush(file);
        return tmp.read("scratch.bin");
    }
    void close()
    {
        if (file)
            std::fclose(file);
        file = nullptr;
    }
    void TearDown() override { close(); }

    test::temp_dir tmp;
    std::FILE* file = nullptr;
};

TEST(PrecisionNames, EveryNameGivesItsCodeAndSize)
{
    struct Case {
        const char* name;
        int code;
        int bytes;
    };
    const std::vector<Case> cases = {
        {"integer*8", 9, 8}, {"int64", 9, 8}, {"uint64", 10, 8}, {"long", 2, 4}, {"int", 2, 4},
        {"integer*4", 2, 4}, {"int32", 2, 4}, {"unsigned long", 7, 4}, {"unsigned int", 7, 4}, {"ulong", 7, 4},
        {"uint", 7, 4}, {"uint32", 7, 4}, {"short", 3, 2}, {"int16", 3, 2}, {"integer*2", 3, 2},
        {"ushort", 4, 2}, {"unsigned short", 4, 2}, {"uint16", 4, 2}, {"char", 8, 1}, {"char*1", 8, 1},
        {"int8", 8, 1}, {"schar", 8, 1}, {"signed char", 8, 1}, {"integer*1", 8, 1}, {"uchar", 5, 1},
        {"unsigned char", 5, 1}, {"uint8", 5, 1}, {"double", 0, 8}, {"float64", 0, 8}, {"real*8", 0, 8},
        {"adouble", 6, 8}, {"long double", 6, 8}, {"float80", 6, 8}, {"real*10", 6, 8}, {"float", 1, 4},
        {"float32", 1, 4}, {"real*4", 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int bytes = -1;
        EXPECT_EQ(fileio(c.name, &bytes), c.code);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(precision_size(c.code), c.bytes);
    }
    int bytes = 0;
    EXPECT_ERROR(fileio("float128", &bytes), "fileio: unknown precision float128");
    EXPECT_ERROR(fileio("Double", &bytes), "fileio: unknown precision Double") << "names are case-sensitive";
}

TEST(MachineFormats, NamesGiveByteOrders)
{
    init_native_format();
    struct Case {
        const char* name;
        int code;
    };
    const std::vector<Case> cases = {{"b", 1}, {"ieee-be", 1}, {"l", 0}, {"ieee-le", 0}, {"n", 0}, {"native", 0},
                                     {"?", -1}, {"B", -1}, {"", -1}, {"ieee-be.l64", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(machine_format_code(c.name), c.code);
        EXPECT_EQ(machine_format_code(test::text(c.name)), c.code);
    }
    EXPECT_STREQ(machine_format_name(1), "ieee-be");
    EXPECT_STREQ(machine_format_name(0), "ieee-le");
    EXPECT_STREQ(machine_format_name(-1), "ieee-le");
}

TEST_F(Precisions, ElementBytesMatchTheReferenceInBothOrders)
{
    for (const byte_case& c : byte_cases) {
        for (int swap = 0; swap < 2; ++swap) {
            SCOPED_TRACE(std::string(c.precision) + " of " + std::to_string(c.value) + (swap ? " swapped" : ""));
            const int code = fileio(c.precision, nullptr);
            ASSERT_NE(fresh(), nullptr);
            EXPECT_EQ(write_as_precision(c.value, file, code, swap), 1);
            EXPECT_EQ(hex(contents()), swap ? c.big : c.little);
            std::rewind(file);
            double back = -7;
            EXPECT_EQ(read_as_precision(&back, 1, file, code, swap), 1u);
            if (std::isnan(c.back))
                EXPECT_TRUE(std::isnan(back));
            else
                EXPECT_BITS_EQ(back, c.back);
        }
    }
}

TEST_F(Precisions, BlocksConvertLikeSingleElements)
{
    std::vector<double> values;
    for (int k = 0; k < 20000; ++k)
        values.push_back((k % 2 ? -1 : 1) * (k * 1.37 + (k % 7) * 1e5));
    values.push_back(NAN);
    values.push_back(INFINITY);
    for (const char* name : {"double", "float", "int32", "uint32", "short", "ushort", "uchar", "int8", "int64", "uint64"}) {
        for (int swap = 0; swap < 2; ++swap) {
            SCOPED_TRACE(std::string(name) + (swap ? " swapped" : ""));
            const int code = fileio(name, nullptr);
            ASSERT_NE(fresh(), nullptr);
            for (double v : values)
                write_as_precision(v, file, code, swap);
            const std::string one_by_one = contents();
            ASSERT_NE(fresh(), nullptr);
            EXPECT_EQ(write_block_as_precision(values.data(), values.size(), file, code, swap), values.size());
            EXPECT_EQ(contents(), one_by_one);
            std::rewind(file);
            std::vector<double> back(values.size());
            ASSERT_EQ(read_as_precision(back.data(), back.size(), file, code, swap), values.size());
            std::rewind(file);
            std::vector<int> ints(values.size());
            ASSERT_EQ(read_as_precision_int(ints.data(), ints.size(), file, code, swap), values.size());
            std::rewind(file);
            std::vector<unsigned char> bytes(values.size());
            ASSERT_EQ(read_as_precision_byte(bytes.data(), bytes.size(), file, code, swap), values.size());
            for (std::size_t k = 0; k < values.size(); k += 997) {
                unsigned char element[8];
                encode_precision(values[k], code, swap, element);
                const double expected = decode_precision(element, code, swap);
                if (std::isnan(expected)) {
                    EXPECT_TRUE(std::isnan(back[k]));
                    continue;
                }
                EXPECT_BITS_EQ(back[k], expected);
                if (std::fabs(expected) < 2e9) {
                    EXPECT_EQ(ints[k], static_cast<int>(std::trunc(expected)));
                    EXPECT_EQ(bytes[k], static_cast<unsigned char>(static_cast<long long>(std::trunc(expected))));
                }
            }
        }
    }
}

TEST_F(Precisions, AShortReadFillsOnlyWholeElements)
{
    struct Case {
        const char* precision;
        int bytes_in_file;
        std::size_t requested;
        std::size_t expected;
    };
    const std::vector<Case> cases = {
        {"short", 7, 10, 3}, {"double", 20, 4, 2}, {"int64", 15, 3, 1}, {"uchar", 0, 5, 0}, {"float", 9, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.precision);
        ASSERT_NE(fresh(), nullptr);
        for (int k = 0; k < c.bytes_in_file; ++k)
            std::fputc(k + 1, file);
        std::rewind(file);
        std::vector<double> dst(c.requested, 42.0);
        const int code = fileio(c.precision, nullptr);
        EXPECT_EQ(read_as_precision(dst.data(), dst.size(), file, code, 0), c.expected);
        for (std::size_t k = c.expected; k < dst.size(); ++k)
            EXPECT_EQ(dst[k], 42.0) << "element " << k << " is not touched";
    }
    ASSERT_NE(fresh(), nullptr);
    double d = 5;
    EXPECT_EQ(read_as_precision(&d, 0, file, 0, 0), 0u);
    EXPECT_EQ(write_as_precision(1.0, file, -1, 0), -1);
    EXPECT_EQ(contents(), "") << "code -1 writes nothing";
}

} // namespace
