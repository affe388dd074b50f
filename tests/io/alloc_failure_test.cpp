// Refused allocations in the text functions: sprintf, sscanf, number text
// and the string functions; and in loading data files by name.
#include "alloc_sweep.hpp"
#include "temp_dir.hpp"
#include "test_support.hpp"

namespace {

using test::row;
using test::text;

TEST(AllocationFailure, Text)
{
    const Mm v = row({1.5, -2, 1e10, 0.25});
    const Mm format = text("%g, %5.2f|%s\\n"), args = test::cell_row({v, text("ab")});
    const Mm pieces = test::cell_row({text("ab "), text("cd"), text(" e")});
    test::sweep_allocations({
        {"sprintf", Mm(), [=](Mm& x) { x = sprintf(format, args); }},
        {"sscanf", text("1 2.5 3e2 x"), [=](Mm& x) { x = sscanf(x, text("%f")); }},
        {"num2str", v, [=](Mm& x) { x = num2str(x); }},
        {"num2str of a matrix", test::counting({3, 3}), [=](Mm& x) { x = num2str(x, text("%8.3f")); }},
        {"mat2str", v, [=](Mm& x) { x = mat2str(x); }},
        {"str2num", text("[1 2; 3 4.5]"), [=](Mm& x) { x = str2num(x); }},
        {"str2double", text("-3.25e1"), [=](Mm& x) { x = str2double(x); }},
        {"upper", text("mixed Case"), [=](Mm& x) { x = upper(x); }},
        {"strcat", text("ab "), [=](Mm& x) { x = strcat(pieces); }},
        {"strrep", text("abcabc"), [=](Mm& x) { x = strrep(x, text("b"), text("XY")); }},
        {"hex2dec of a cell", Mm(), [=](Mm& x) { x = hex2dec(test::cell_row({text("A"), text("1F")})); }},
        {"dec2base above 2^64", Mm(1e30), [=](Mm& x) { x = dec2base(x, Mm(7.0)); }},
    });
}

TEST(AllocationFailure, DataFiles)
{
    test::temp_dir tmp;
    Mm fieldless = rmfield(mstruct((CL("a"), Mm(1.0))), text("a"));
    Mm people = mstruct((CL("name"), test::cell_row({text("ann"), text("bo")})));
    save(text("d"), (CL(Mm(speye(Mm(50.0)), "x")), Mm(fieldless, "f"), Mm(people, "p")));
    const Mm file = text("d");
    test::sweep_allocations({
        {"load of a sparse value by name", Mm(2.0), [=](Mm& x) { load(file, CL(x)); }, test::keeps_target},
        {"load of the first value", Mm(2.0), [=](Mm& x) { x = load(file); }},
        {"save over a file", Mm(2.0), [=](Mm& x) { save(text("e"), CL(Mm(x, "x"))); }},
        {"saveV4 over a file", Mm(2.0), [=](Mm& x) { saveV4(text("e4"), CL(Mm(x, "x"))); }},
    });
}

} // namespace
