// File identifiers and file I/O in a fresh temporary directory: the table
// of open files, lines, stream state, seeking, formatted and unformatted
// reads and writes, byte orders and the rejections.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

#include "temp_dir.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> warnings;
void record_warning(const char* text) { warnings.emplace_back(text ? text : ""); }

class FileIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        fclose(test::text("all"));
        warnings.clear();
        previous = qv_set_warning_handler(record_warning);
        test::clear_printed();
    }
    void TearDown() override
    {
        fclose(test::text("all"));
        qv_set_warning_handler(previous);
    }
    static double num(const Mm& x) { return test::at(x, 0); }
    static Mm t(const char* s) { return test::text(s); }
    // Opens a file holding the bytes for reading.
    Mm with_bytes(const std::string& bytes)
    {
        tmp.write("data.bin", bytes);
        Mm fid = fopen(t("data.bin"));
        EXPECT_GE(num(fid), 3);
        return fid;
    }

    test::temp_dir tmp;
    qv_text_handler previous = nullptr;
};

bool is_nop(const Mm& x) { return x.issamename(nop_M.getname()) || (x.size() == 0 && !x.isstr()); }

TEST_F(FileIo, FidsAreTheLowestFreeSlotsFromThree)
{
    Mm a = fopen(t("a.txt"), t("w"));
    Mm b = fopen(t("b.txt"), t("wt"));
    EXPECT_EQ(num(a), 3);
    EXPECT_EQ(num(b), 4);
    Mm name, mode, format;
    fopen(a, i_o, name, mode, format);
    EXPECT_EQ(test::text_of(name), "a.txt");
    EXPECT_EQ(test::text_of(mode), "wb") << "a mode without b or t gets b";
    EXPECT_EQ(test::text_of(format), "ieee-le");
    fopen(b, i_o, name, mode, format);
    EXPECT_EQ(test::text_of(mode), "wt");
    EXPECT_EQ(test::values(fopen(t("all"))), (std::vector<double>{3, 4}));
    EXPECT_EQ(num(fclose(a)), 0);
    EXPECT_EQ(num(fopen(t("c.txt"), t("w"))), 3) << "a closed slot is taken again";
    fclose(t("all"));
    EXPECT_EQ(fopen(t("all")).size(), 0);
}

TEST_F(FileIo, QueriesOfTheTable)
{
    EXPECT_EQ(test::text_of(fopen(Mm(0.0))), "\"stdin\"");
    EXPECT_EQ(test::text_of(fopen(Mm(1.0))), "\"stdout\"");
    EXPECT_EQ(test::text_of(fopen(Mm(2.0))), "\"stderr\"");
    EXPECT_TRUE(is_nop(fopen(Mm(200.0))));
    EXPECT_TRUE(is_nop(fopen(Mm(50.0))));
    Mm name = t("x"), mode = t("x"), format = t("x");
    fopen(Mm(50.0), i_o, name, mode, format);
    EXPECT_TRUE(name.isstr() && name.size() == 0);
    EXPECT_TRUE(mode.isstr() && mode.size() == 0);
    EXPECT_TRUE(format.isstr() && format.size() == 0);
    fopen(Mm(1.0), i_o, name, mode, format);
    EXPECT_EQ(test::text_of(mode), "a");
    EXPECT_EQ(num(stderrM()), 2);
}

TEST_F(FileIo, OpenFailuresComeBackAsResults)
{
    struct Case {
        const char* name;
        const char* mode;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"", "r", "filename is empty"},
        {"missing.txt", "r", "File error"},
        {"no/such/dir/x", "w", "File error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Mm fid, message;
        fopen(t(c.name), t(c.mode), i_o, fid, message);
        EXPECT_EQ(num(fid), -1);
        EXPECT_EQ(test::text_of(message), c.message);
        EXPECT_EQ(num(fopen(t(c.name), t(c.mode))), -1);
    }
    Mm fid, message;
    fopen(t("ok.txt"), t("w"), i_o, fid, message);
    EXPECT_EQ(num(fid), 3);
    EXPECT_TRUE(is_nop(message));
}

TEST_F(FileIo, ReadModesLookTheNameUpOnTheSearchPath)
{
    tmp.write("lib/on_path.txt", "found");
    search_path host;
    search_path_add_text(host, "lib", 1);
    void* saved = mpath_pointer;
    mpath_pointer = &host;
    Mm fid = fopen(t("on_path.txt"));
    mpath_pointer = saved;
    ASSERT_EQ(num(fid), 3);
    EXPECT_EQ(test::text_of(fgetl(fid)), "found");
    Mm name, mode, format;
    fopen(fid, i_o, name, mode, format);
    EXPECT_EQ(test::text_of(name), tmp.language() + "\\lib\\on_path.txt");
    EXPECT_EQ(test::text_of(mode), "rb");
}

TEST_F(FileIo, TheTableHoldsOneHundredAndTwentyFiveUserFiles)
{
    for (int k = 0; k < 125; ++k)
        ASSERT_EQ(num(fopen(t(("f" + std::to_string(k)).c_str()), t("w"))), 3 + k);
    EXPECT_ERROR(fopen(t("one_more"), t("w")), "Too many files");
    fclose(Mm(50.0));
    EXPECT_EQ(num(fopen(t("one_more"), t("w"))), 50);
}

TEST_F(FileIo, CloseRejectsTheStandardFidsAndBadOnes)
{
    Mm named("f", 1, 1);
    *named.addr() = 1;
    EXPECT_ERROR(fclose(named), "fclose: can not close stdin/stdout/stderr, fid is f");
    EXPECT_ERROR(fclose(Mm(0.0)), "fclose: can not close stdin/stdout/stderr, fid is ");
    EXPECT_ERROR(fclose(Mm(129.0)), "Illegal fid.");
    EXPECT_ERROR(fclose(Mm(9.0)), "Fid not opened.");
    Mm pair("p", 1, 2);
    EXPECT_ERROR(fclose(pair), "Size of fid p not one.");
    EXPECT_ERROR(feof(Mm(-1.0)), "Illegal fid.");
    EXPECT_ERROR(ftell(Mm(NAN)), "Illegal fid.");
}

TEST_F(FileIo, LinesKeepTheirLineFeedAndBytesStayPositive)
{
    Mm fid = with_bytes("abc\r\nd\xe9" "f\nlast");
    Mm line = fgets(fid);
    EXPECT_EQ(test::values(line), (std::vector<double>{'a', 'b', 'c', '\n'}));
    EXPECT_TRUE(line.isstr());
    EXPECT_EQ(test::values(fgetl(fid)), (std::vector<double>{'d', 0xe9, 'f'}));
    EXPECT_EQ(test::text_of(fgets(fid, Mm(2.0))), "la");
    EXPECT_EQ(test::text_of(fgets(fid, Mm(0.0))), "") << "n below 1 reads nothing";
    EXPECT_EQ(test::text_of(fgetl(fid)), "st");
    EXPECT_EQ(num(feof(fid)), 1);
    EXPECT_EQ(num(fgetl(fid)), -1);
    EXPECT_EQ(num(fgets(fid)), -1);
    EXPECT_EQ(test::text_of(ferror(fid)), "");
}

TEST_F(FileIo, StreamErrorsShowInFerrorUntilCleared)
{
    Mm fid = fopen(t("w.txt"), t("w"));
    EXPECT_EQ(num(fgets(fid)), -1) << "reading a write-only file fails";
    Mm message, errnum;
    ferror(fid, i_o, message, errnum);
    EXPECT_EQ(test::text_of(message), "File error");
    EXPECT_NE(num(errnum), 0);
    EXPECT_EQ(test::text_of(ferror(fid, t("clear"))), "File error");
    ferror(fid, i_o, message, errnum);
    EXPECT_EQ(test::text_of(message), "");
    EXPECT_EQ(num(errnum), 0);
    EXPECT_EQ(num(fflush(fid)), 0);
}

TEST_F(FileIo, SeekingAndTelling)
{
    Mm fid = with_bytes("0123456789");
    EXPECT_EQ(num(fseek(fid, Mm(0.0), t("eof"))), 0);
    EXPECT_EQ(num(ftell(fid)), 10);
    EXPECT_EQ(num(fseek(fid, Mm(3.9), Mm(-1.0))), 0);
    EXPECT_EQ(num(ftell(fid)), 3) << "offsets truncate";
    EXPECT_EQ(num(fseek(fid, Mm(2.0), t("cof"))), 0);
    EXPECT_EQ(num(ftell(fid)), 5);
    EXPECT_EQ(num(fseek(fid, Mm(-2.0), Mm(1.0))), 0);
    EXPECT_EQ(num(ftell(fid)), 8);
    EXPECT_EQ(num(fseek(fid, Mm(-20.0), t("bof"))), -1);
    EXPECT_EQ(num(frewind(fid)), 0);
    EXPECT_EQ(num(ftell(fid)), 0);
    Mm origin("where", 1, 1);
    origin = t("top");
    EXPECT_ERROR(fseek(fid, Mm(0.0), origin), "fseek: origin where not bof, cof or eof");
    EXPECT_ERROR(fseek(fid), "fseek does not accept 1 input");
    EXPECT_ERROR(fseek(fid, Mm(0.0)), "fseek does not accept 2 inputs");
    for (double standard : {0.0, 1.0, 2.0}) {
        SCOPED_TRACE(standard);
        EXPECT_EQ(num(fseek(Mm(standard), Mm(0.0), t("bof"))), -1);
        EXPECT_EQ(num(ftell(Mm(standard))), -1);
        EXPECT_EQ(num(frewind(Mm(standard))), -1);
    }
}

TEST_F(FileIo, FormattedOutputGoesToTheHookOrTheFile)
{
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* printed;
    };
    const std::vector<Case> cases = {
        {"printf of a plain text", [] { printf(test::text("hello\\n")); }, "hello\n"},
        {"printf without values", [] { printf(test::text("a=%d\\n")); }, ""},
        {"fprintf of a format and a text", [] { fprintf(test::text("%s\\n"), test::text("abc")); }, "abc\n"},
        {"printf of a list of one text", [] { printf(test::text("%s\\n"), test::cell_row({test::text("abc")})); }, "abc"},
        {"fprintf of one format", [] { fprintf(test::text("x\\ty\\n")); }, "x\ty\n"},
        {"fprintf to fid 2", [] { fprintf(Mm(2.0), test::text("%d,"), test::cell_row({test::row({1, 2})})); }, "1,2,"},
        {"fprintf to fid 1 with an empty list", [] { fprintf(Mm(1.0), test::text("%d%%\\n"), test::cell_row({})); },
         "%d%%\n"},
        {"fprintf to fid 0", [] { fprintf(Mm(0.0), test::text("lost\\n"), test::cell_row({})); }, ""},
        {"fprintf of a format first with a list", [] {
             fprintf(test::text("%d-%d\\n"), Mm(1.0), test::cell_row({Mm(2.0)}));
         }, "1-2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::clear_printed();
        c.call();
        EXPECT_EQ(test::printed(), c.printed);
    }
    EXPECT_EQ(num(fprintf(Mm(0.0), t("x"), test::cell_row({}))), 0);
}

TEST_F(FileIo, FscanfReadsBackWhatFprintfWrote)
{
    Mm fid = fopen(t("numbers.txt"), t("w"));
    EXPECT_EQ(num(fprintf(fid, t("%g %g\\n"), test::cell_row({test::row({1.5, -2, 3e10, 4})}))), 0);
    fprintf(fid, t("done\\n"));
    fclose(fid);
    EXPECT_EQ(tmp.read("numbers.txt"), "1.5 -2\n3e+10 4\ndone\n");
    fid = fopen(t("numbers.txt"));
    Mm a, count;
    fscanf(fid, t("%g"), i_o, a, count);
    EXPECT_EQ(test::values(a), (std::vector<double>{1.5, -2, 3e10, 4}));
    EXPECT_EQ(num(count), 4);
    EXPECT_EQ(test::text_of(fscanf(fid, t("%s"))), "done");
    frewind(fid);
    EXPECT_EQ(test::extents(fscanf(fid, t("%g"), test::row({2, 2}))), (std::vector<int>{2, 2}));
    EXPECT_ERROR(fscanf(fid), "fscanf does not accept 1 input");
}

TEST_F(FileIo, FreadShapesTheValuesItFinds)
{
    struct Case {
        const char* what;
        std::string bytes;
        Mm size;
        const char* precision;
        double skip;
        std::vector<int> shape;
        std::vector<double> values;
        double count;
    };
    const std::string ten = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0};
    const std::vector<Case> cases = {
        {"[2 Inf] short on 10 bytes", ten, test::row({2, INFINITY}), "short", 0, {2, 3}, {1, 2, 3, 4, 5, 0}, 5},
        {"Inf uchar", "\x01\x02\x03", Mm(INFINITY), "uchar", 0, {3, 1}, {1, 2, 3}, 3},
        {"3 uchar skipping 1", "\x01\x02\x03\x04\x05\x06", Mm(3.0), "uchar", 1, {3, 1}, {1, 3, 5}, 3},
        {"[2 2] int8", "\xff\x7f\x80\x01\x09", test::row({2, 2}), "int8", 0, {2, 2}, {-1, 127, -128, 1}, 4},
        {"5 of 3 available", "abc", Mm(5.0), "uchar", 0, {3, 1}, {97, 98, 99}, 3},
        {"an empty file", "", Mm(INFINITY), "double", 0, {0, 0}, {}, 0},
        {"[2 3] of 4 skipping 1", std::string("\x01\x00\x02\x00\x03\x00\x04\x00", 8), test::row({2, 3}), "uchar", 1, {2, 2},
         {1, 2, 3, 4}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm fid = with_bytes(c.bytes);
        Mm a, count;
        fread(fid, c.size, t(c.precision), Mm(c.skip), i_o, a, count);
        EXPECT_EQ(test::extents(a), c.shape);
        EXPECT_EQ(test::values(a), c.values);
        EXPECT_EQ(num(count), c.count);
        fclose(fid);
    }
}

TEST_F(FileIo, AnOverRequestSetsTheEndOfFile)
{
    Mm fid = with_bytes("abcd");
    fread(fid, Mm(4.0));
    EXPECT_EQ(num(feof(fid)), 0) << "an exact request leaves the indicator clear";
    frewind(fid);
    fread(fid, Mm(5.0));
    EXPECT_EQ(num(feof(fid)), 1);
}

TEST_F(FileIo, FwriteAndFreadRoundTripInBothByteOrders)
{
    const std::vector<double> values = {1, -2, 300, 65535, -32768};
    Mm fid = fopen(t("be.bin"), t("w"), t("ieee-be"));
    EXPECT_EQ(num(fwrite(fid, test::row({1, -2, 300, 65535, -32768}), t("int32"))), 5);
    EXPECT_EQ(num(fwrite(fid, Mm(258.0), t("uint16"), Mm(0.0), t("ieee-le"))), 1) << "an explicit order wins";
    fclose(fid);
    const std::string bytes = tmp.read("be.bin");
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\0\0\0\x01\xff\xff\xff\xfe", 8));
    EXPECT_EQ(bytes.substr(20), std::string("\x02\x01", 2));
    fid = fopen(t("be.bin"), t("r"), t("b"));
    EXPECT_EQ(test::values(fread(fid, Mm(5.0), t("int32"))), values);
    fclose(fid);
    fid = fopen(t("be.bin"));
    EXPECT_EQ(test::at(fread(fid, Mm(1.0), t("int32"), t("ieee-be")), 0), 1) << "a text skip is the byte order";
    EXPECT_EQ(test::at(fread(fid, t("int32")), 0), -16777217) << "a text size is the precision";
}

TEST_F(FileIo, AnUnknownMachineFormatWarnsAndWritesInNativeOrder)
{
    Mm fid = fopen(t("u.bin"), t("w"), t("xyz"));
    EXPECT_EQ(warnings, std::vector<std::string>{"fopen: don't know how to convert from machine format"});
    ASSERT_EQ(num(fid), 3);
    fwrite(fid, Mm(1.0), t("int16"));
    fclose(fid);
    EXPECT_EQ(tmp.read("u.bin"), std::string("\x01\x00", 2));
}

TEST_F(FileIo, FwriteSkipsAndConvertsItsValues)
{
    Mm fid = fopen(t("s.bin"), t("w+"));
    EXPECT_EQ(num(fwrite(fid, test::bytes(1, 3, {1, 2, 200}), t("uchar"), Mm(1.0))), 3);
    EXPECT_EQ(num(fwrite(fid, t("AB"))), 2);
    fflush(fid);
    EXPECT_EQ(tmp.read("s.bin"), std::string("\x01\0\x02\0\xc8\0AB", 8)) << "the gaps read as zeros";
    EXPECT_ERROR(fwrite(fid, Mm(1.0), Mm(5.0)), "fwrite: precision not a string");
    EXPECT_ERROR(fwrite(fid), "fwrite does not accept 1 input");
    EXPECT_ERROR(fwrite(fid, Mm(1.0), t("float128")), "fileio: unknown precision float128");
    EXPECT_ERROR(fread(fid, test::row({1, 2, 3})), "fread: can not read multi-dimensional matrices");
}

TEST_F(FileIo, FscanfOfHalfARowConsumesNothing)
{
    Mm fid = with_bytes("1 2 3 4 5");
    Mm a, count;
    fscanf(fid, t("%d"), test::row({0.5, INFINITY}), i_o, a, count);
    EXPECT_EQ(test::extents(a), (std::vector<int>{0, 0}));
    EXPECT_EQ(num(count), 0);
    EXPECT_EQ(test::values(fscanf(fid, t("%d"))), (std::vector<double>{1, 2, 3, 4, 5})) << "the values are still there";
    frewind(fid);
    EXPECT_EQ(test::values(fscanf(fid, t("%d"), test::row({1, INFINITY}))), (std::vector<double>{1, 2, 3, 4, 5}));
    fclose(fid);
    fid = with_bytes("12345678901234567890 -99999999999");
    EXPECT_EQ(test::values(fscanf(fid, t("%d"))), (std::vector<double>{INT32_MAX, INT32_MIN})) << "never wrapped";
    fclose(fid);
}

TEST_F(FileIo, FreadOfNoRowsIsEmpty)
{
    Mm fid = with_bytes("abc");
    Mm a, count;
    EXPECT_ERROR(fread(fid, test::row({0, INFINITY}), i_o, a, count), "");
    EXPECT_EQ(a.size(), 0);
    EXPECT_EQ(num(count), 0);
    EXPECT_EQ(test::values(fread(fid, Mm(INFINITY))), (std::vector<double>{'a', 'b', 'c'})) << "nothing was consumed";
    fclose(fid);
}

// A refused fread leaves its outputs as they were.
TEST_F(FileIo, RefusedFreadsLeaveTheOutputs)
{
    Mm fid = with_bytes("abcd");
    struct Case {
        const char* what;
        std::function<void(Mm&, Mm&)> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"a size of three elements", [&](Mm& a, Mm& n) { fread(fid, test::row({1, 2, 3}), t("uchar"), i_o, a, n); },
         "fread: can not read multi-dimensional matrices"},
        {"an unknown precision", [&](Mm& a, Mm& n) { fread(fid, Mm(2.0), t("float128"), i_o, a, n); },
         "fileio: unknown precision float128"},
        {"a closed identifier", [&](Mm& a, Mm& n) { fread(Mm(40.0), Mm(2.0), t("uchar"), i_o, a, n); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm a(7.0), count(8.0);
        {
            test::returning_errors hook;
            c.call(a, count);
            ASSERT_EQ(hook.reports().size(), 1u);
            if (c.message) {
                EXPECT_EQ(hook.reports()[0], c.message);
            }
        }
        EXPECT_EQ(test::values(a), std::vector<double>{7});
        EXPECT_EQ(test::values(count), std::vector<double>{8});
    }
    EXPECT_EQ(test::values(fread(fid, Mm(1.0))), std::vector<double>{'a'}) << "nothing was read";
    fclose(fid);
}

TEST_F(FileIo, AGapPastAnyFileReadsOneElement)
{
    Mm fid = with_bytes("\x07\x08\x09");
    Mm a, count;
    fread(fid, Mm(INFINITY), t("uchar"), Mm(1e300), i_o, a, count);
    EXPECT_EQ(test::values(a), std::vector<double>{7});
    EXPECT_EQ(num(count), 1);
}

TEST_F(FileIo, FscanfTakesAFieldOfNCharactersWholeOrNotAtAll)
{
    Mm fid = with_bytes("abcdefg");
    const Mm a = fscanf(fid, t("%3c"));
    EXPECT_EQ(test::text_of(a), "abcdef");
    fclose(fid);
}

// Writes that failed earlier fail the close: a large write of which part
// never reached the device, and a small one that fails only when the
// buffer is flushed at the close.
TEST_F(FileIo, FcloseReportsWritesThatFailed)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    std::filesystem::create_symlink("/dev/full", tmp.path() / "full.bin");
    struct write_case {
        const char* what;
        int count;
        bool error_before_close;
    };
    for (const write_case& c : std::vector<write_case>{{"a large write", 200000, true}, {"a small write", 10, false}}) {
        SCOPED_TRACE(c.what);
        Mm fid = fopen(t("full.bin"), t("w"));
        ASSERT_GE(num(fid), 3);
        fwrite(fid, colon(1.0, double(c.count)));
        EXPECT_EQ(test::text_of(ferror(fid)), c.error_before_close ? "File error" : "");
        EXPECT_EQ(num(fclose(fid)), -1);
    }
    Mm fid = fopen(t("fine.bin"), t("w"));
    fwrite(fid, colon(1.0, 200000.0));
    EXPECT_EQ(num(fclose(fid)), 0) << "a file whose writes all went through";
}

} // namespace

// Threads opening, writing, reading and closing files of their own at once:
// each gets back what it wrote, through the fid the table gave it. Also
// run under ThreadSanitizer (make test-tsan).
TEST(Threads, OpenAndCloseFilesAtOnce)
{
    test::temp_dir tmp;
    fclose(test::text("all"));
    constexpr int threads = 4, rounds = 200;
    const std::vector<int> wrong = test::wrong_rounds_on_threads(threads, rounds, [](int th, int k) {
        const std::string name = "f" + std::to_string(th) + ".txt";
        const std::string line = std::to_string(th * 100000 + k) + "\n";
        Mm out = fopen(test::text(name.c_str()), test::text("w"));
        fwrite(out, test::text(line.c_str()));
        const bool closed = test::at(fclose(out), 0) == 0;
        Mm in = fopen(test::text(name.c_str()));
        const Mm got = fgets(in);
        const bool closed_again = test::at(fclose(in), 0) == 0;
        return closed && closed_again && test::text_of(got) == line;
    });
    EXPECT_EQ(wrong, std::vector<int>(threads, 0));
}
