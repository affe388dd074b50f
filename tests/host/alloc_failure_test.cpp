// Refused allocations in the host and file functions: dates, call
// information, eval without a host, and files written and read in a
// temporary directory.
#include "alloc_sweep.hpp"
#include "temp_dir.hpp"
#include "test_support.hpp"

namespace {

using test::row;
using test::text;

TEST(AllocationFailure, HostFunctions)
{
    const Mm parts = test::cell_row({text("a\\"), text("b")});
    test::sweep_allocations({
        {"datenum", row({2000, 2001}), [](Mm& x) { x = datenum(x, Mm(3.0), Mm(1.0)); }},
        {"datevec of numbers", row({730486.5, 1}), [](Mm& x) { x = datevec(x); }},
        {"datevec of text", text("15-Mar-1999 10:20:30"), [](Mm& x) { x = datevec(x); }},
        {"weekday", Mm(730486.0), [](Mm& x) {
             Mm n, s;
             weekday(x, i_o, n, s);
             x = s;
         }},
        {"eomday", Mm(2000.0), [](Mm& x) { x = eomday(x, row({1, 2})); }},
        {"version", Mm(), [](Mm& x) { x = version(); }},
        {"nargchk", Mm(2.0), [](Mm& x) { x = nargchk(Mm(1.0), Mm(3.0), x); }},
        {"eval without a host", text("1 2 3"), [](Mm& x) { x = eval(x); }},
        {"fullfile", Mm(), [=](Mm& x) { x = fullfile(parts); }},
    });
}

TEST(AllocationFailure, FileFunctions)
{
    test::temp_dir tmp;
    Mm saved(test::real(2, 2, {1, 2, 3, 4}), "x");
    save(text("sweep"), CL(saved));
    wavwrite(row({0, 0.5}), text("sweep"));
    tmp.write("numbers.txt", "1 2\n3 4\n");
    test::sweep_allocations({
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
