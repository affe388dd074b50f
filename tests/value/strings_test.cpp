// Text values: TM and Mstr.
#include "test_support.hpp"

#include <cstring>

namespace {

TEST(TextValues, TMMakesACharRow)
{
    Mm ab = TM("ab");
    EXPECT_EQ(ab.rows(), 1);
    EXPECT_EQ(ab.cols(), 2);
    EXPECT_EQ(ab.isstr(), 1);
    EXPECT_EQ(test::at(ab, 0), 97);
    EXPECT_EQ(test::at(ab, 1), 98);
    EXPECT_EQ(test::at(TM("\xE9"), 0), -23) << "bytes read as signed";
    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        Mm e = TM(empty);
        EXPECT_EQ(e.rows(), 0);
        EXPECT_EQ(e.cols(), 0);
        EXPECT_EQ(e.isstr(), 1);
    }
}

TEST(TextValues, MstrWritesRowsJoinedByNewlines)
{
    Mm two_rows = test::real(2, 3, {'a', 'd', 'b', 'e', 'c', 'f'});
    EXPECT_EQ(Mstr_size(two_rows), 8);
    EXPECT_EQ(Mstr_size(Mm()), 1);
    char buf[8];
    Mstr(two_rows, buf, sizeof buf);
    EXPECT_STREQ(buf, "abc\ndef");
    Mstr_row(two_rows, buf, sizeof buf);
    EXPECT_STREQ(buf, "adbecf");
}

TEST(TextValues, ATooSmallBufferIsCutWithAWarning)
{
    test::clear_printed();
    Mm two_rows = test::real(2, 3, {'a', 'd', 'b', 'e', 'c', 'f'});
    char buf[5];
    Mstr(two_rows, buf, sizeof buf);
    EXPECT_STREQ(buf, "abc\n");
    EXPECT_EQ(test::printed(), "warning: Mstr: buffer too small - chopped\n\n");
    test::clear_printed();
    char untouched[4] = "xyz";
    Mstr(two_rows, untouched, 0);
    EXPECT_STREQ(untouched, "xyz") << "a size of 0 writes nothing";
    EXPECT_EQ(test::printed(), "warning: Mstr: buffer too small - chopped\n\n");
    test::clear_printed();
}

TEST(TextValues, ElementsBecomeBytesByTruncation)
{
    Mm v = test::row({65.9, 321, -1, std::nan(""), 1e300});
    char buf[8];
    Mstr(v, buf, sizeof buf);
    EXPECT_EQ(static_cast<unsigned char>(buf[0]), 65);
    EXPECT_EQ(static_cast<unsigned char>(buf[1]), 65);
    EXPECT_EQ(static_cast<unsigned char>(buf[2]), 255);
    EXPECT_EQ(buf[3], 0) << "NaN gives 0";
    Mm b = test::bytes(1, 2, {'o', 'k'});
    Mstr(b, buf, sizeof buf);
    EXPECT_STREQ(buf, "ok") << "byte values are read as bytes";
}

} // namespace

namespace {

TEST(TextValues, SparseTextIsReadInItsFullForm)
{
    Mm s = sparse(test::row({104, 0, 105}));
    char buf[8];
    Mstr_row(s, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, 3), std::string("h\0i", 3));
}

} // namespace
