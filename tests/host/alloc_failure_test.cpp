// Refused allocations in the host and file functions: dates, call
// information, eval without a host, and files written and read in a
// temporary directory.
#include "alloc_sweep.hpp"
#include "temp_dir.hpp"
#include "test_support.hpp"

#include <plu.h>

namespace {

using test::row;
using test::text;

TEST(AllocationFailure, HostFunctions)
{
    const Mm parts = test::cell_row({text("a\\"), text("b")});
    // Ten dates: more than an empty value has room for.
    const Mm byte_years = muint8(test::counting({1, 10})), byte_months = muint8(row({2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    const Mm one_format = text("%d|\n"), two_formats = text("%s=%d|\n"), name = text("a"), seven(7.0);
    test::sweep_allocations({
        {"datenum of uint8", Mm(), [=](Mm& x) { x = datenum(byte_years, byte_months, Mm(1.0)); }},
        {"datenum of text", text("15-Mar-1999 10:20:30"), [](Mm& x) { x = datenum(x); }},
        {"weekday of text", text("15-Mar-1999"), [](Mm& x) { x = weekday(x); }},
        {"eomday of uint8", Mm(), [=](Mm& x) { x = eomday(Mm(2000.0), byte_months); }},
        {"datenum", row({2000, 2001}), [](Mm& x) { x = datenum(x, Mm(3.0), Mm(1.0)); }},
        {"datevec of numbers", row({730486.5, 1}), [](Mm& x) { x = datevec(x); }},
        {"datevec of text", text("15-Mar-1999 10:20:30"), [](Mm& x) { x = datevec(x); }},
        {"weekday", Mm(730486.0), [](Mm& x) {
             Mm n, s;
             weekday(x, i_o, n, s);
             x = s;
         }},
        {"eomday", Mm(2000.0), [](Mm& x) { x = eomday(x, row({1, 2})); }},
        {"etime", row({2000, 1, 1, 0, 0, 0.25}), [](Mm& x) { x = etime(x, row({1999, 12, 31, 23, 59, 59})); }},
        {"version", Mm(), [](Mm& x) { x = version(); }},
        {"nargchk", Mm(2.0), [](Mm& x) { x = nargchk(Mm(1.0), Mm(3.0), x); }},
        {"eval without a host", text("1 2 3"), [](Mm& x) { x = eval(x); }},
        {"fullfile", Mm(), [=](Mm& x) { x = fullfile(parts); }},
        {"whos", Mm(2.0), [](Mm& x) { x = whos(); }},
        {"who", Mm(2.0), [](Mm& x) { x = who(); }},
        {"fprintf of a format and a value", Mm(), [=](Mm& x) { x = fprintf(one_format, seven); }},
        {"fprintf of a format and values", Mm(), [=](Mm& x) { x = fprintf(two_formats, name, seven); }},
    });
}

// A plug-in is told of a refused value by a null pointer, never by a value
// other than the one it asked for.
TEST(AllocationFailure, PluginValues)
{
    const auto taken = [](Mm& x, Mm* made) {
        if (made) {
            x = *made;
            kaDestroyArray(made);
        }
    };
    test::sweep_allocations({
        {"kaDuplicateArray", test::counting({2, 3}), [=](Mm& x) { taken(x, kaDuplicateArray(&x)); }},
        {"kaDuplicateArray of a cell", test::cell_row({text("ab"), Mm(1.0)}),
         [=](Mm& x) { taken(x, kaDuplicateArray(&x)); }},
        {"kaCreateCellMatrix", Mm(), [=](Mm& x) {
             Mm* c = kaCreateCellMatrix(2, 2);
             if (c) {
                 EXPECT_EQ(c->gettype(), qv_cell);
             }
             taken(x, c);
         }},
        {"kaCreateStructMatrix", Mm(), [=](Mm& x) {
             const char* names[] = {"a", "b"};
             Mm* s = kaCreateStructMatrix(1, 2, 2, names);
             if (s) {
                 EXPECT_TRUE(s->isstruct());
             }
             taken(x, s);
         }},
    });
}

TEST(AllocationFailure, FileFunctions)
{
    test::temp_dir tmp;
    Mm saved(test::real(2, 2, {1, 2, 3, 4}), "x");
    save(text("sweep"), CL(saved));
    wavwrite(row({0, 0.5}), text("sweep"));
    tmp.write("numbers.txt", "1 2\n3 4\n");
    const Mm byte_size = muint8(row({2, 2})), sparse_size = sparse(row({2, 2}));
    const Mm sparse_samples = sparse(horzcat(row({0.5, -0.25}), zeros(Mm(1.0), Mm(30.0))));
    const Mm byte_data = muint8(row({1, 2, 3}));
    {
        Mm nested(test::cell_row({text("ab"), sparse_samples, byte_data}), "nested");
        Mm record("record", 0, 0);
        record.member("name") = text("pear");
        record.member("sizes") = test::counting({3, 4});
        record.member("inner") = nested;
        save(text("structured"), (CL(nested), record));
    }
    test::sweep_allocations({
        {"load version 5 of a nested cell", Mm(), [](Mm& x) { x = load(text("structured")); }},
        {"load version 5 of a struct by name", Mm(), [](Mm& x) {
             Mm record("record", 0, 0);
             load(text("structured"), CL(record));
             x = record;
         }},
        {"save version 5 of a cell", test::cell_row({text("ab"), test::counting({3, 4}), sparse_samples}),
         [](Mm& x) {
             const Mm kept(x, "kept");
             save(text("saved_cell"), CL(kept));
         }},
        {"save version 4", test::counting({3, 4}), [](Mm& x) {
             const Mm kept(x, "kept");
             saveV4(text("saved_v4"), CL(kept));
         }},
        {"save as text of uint8", byte_data, [](Mm& x) {
             const Mm kept(x, "kept");
             saveascii(text("saved.txt"), CL(kept));
         }},
        {"fgets", Mm(), [](Mm& x) {
             Mm fid = fopen(text("numbers.txt"));
             x = fgets(fid);
             fclose(fid);
         }},
        {"fread of a uint8 size", Mm(), [=](Mm& x) {
             Mm fid = fopen(text("numbers.txt"));
             x = fread(fid, byte_size, text("uchar"));
             fclose(fid);
         }},
        {"fread of a sparse size", Mm(), [=](Mm& x) {
             Mm fid = fopen(text("numbers.txt"));
             x = fread(fid, sparse_size, text("uchar"));
             fclose(fid);
         }},
        {"fwrite of sparse", Mm(), [=](Mm& x) {
             Mm fid = fopen(text("written.bin"), text("w"));
             x = fwrite(fid, sparse_samples);
             fclose(fid);
         }},
        {"fwrite of uint8", Mm(), [=](Mm& x) {
             Mm fid = fopen(text("written.bin"), text("w"));
             x = fwrite(fid, byte_data, text("uchar"));
             fclose(fid);
         }},
        {"wavwrite of sparse", Mm(), [=](Mm& x) {
             wavwrite(sparse_samples, text("sparse_sweep"));
             x = Mm(1.0);
         }},
        {"load version 5", Mm(), [](Mm& x) { x = load(text("sweep")); }},
        {"load ASCII", Mm(), [](Mm& x) { x = load(text("numbers.txt")); }},
        {"wavread", Mm(), [](Mm& x) { x = wavread(text("sweep")); }},
        {"fread", Mm(), [](Mm& x) {
             Mm fid = fopen(text("numbers.txt"));
             x = fread(fid, Inf, text("uchar"));
             fclose(fid);
         }},
        {"fgetl", Mm(), [](Mm& x) {
             Mm fid = fopen(text("numbers.txt"));
             x = fgetl(fid);
             fclose(fid);
         }},
        {"dir", Mm(), [](Mm& x) { x = dir(); }},
        {"dir of a pattern", Mm(), [](Mm& x) { x = dir(text("*.txt")); }},
    });
}

} // namespace
