// Structs: field names, reading and writing along paths, removing fields,
// the struct constructor with its spreading cells, struct2cell, logical,
// and the forms that only reject the call or hand their argument back.
#include "test_support.hpp"

#include <functional>
#include <string>
#include <vector>

namespace {

using test::text_of;
using test::cell_row;

using test::extents;
using test::values;



std::vector<std::string> field_names(const Mm& s)
{
    std::vector<std::string> names;
    for (int k = 0; k < s.getnfields(); ++k)
        names.push_back(s.getfields()[k]);
    return names;
}

Mm element(const Mm& s, int k) { return Mm(s(Mm(double(k)))); }
Mm field(const Mm& s, const char* name) { return Mm(s.member(name)); }
double number(const Mm& s, int k, const char* name) { return field(element(s, k), name).r(); }

TEST(Structs, StructSpreadsCellValues)
{
    const Mm s = mstruct(cell_row({TM("a"), cell_row({Mm(1.0), Mm(2.0)}), TM("b"), Mm(5.0)}));
    ASSERT_TRUE(s.isstruct());
    EXPECT_EQ(extents(s), (std::vector<int>{1, 2}));
    EXPECT_EQ(field_names(s), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(number(s, 1, "a"), 1);
    EXPECT_EQ(number(s, 2, "a"), 2);
    EXPECT_EQ(number(s, 1, "b"), 5);
    EXPECT_EQ(number(s, 2, "b"), 5);

    const Mm kept = mstruct(cell_row({TM("c"), cell_row({cell_row({Mm(7.0)})})}));
    EXPECT_EQ(extents(kept), (std::vector<int>{1, 1}));
    EXPECT_EQ(field(kept, "c").gettype(), qv_cell) << "a cell inside a one-element cell is the value";

    const Mm again = mstruct(cell_row({TM("a"), Mm(1.0), TM("a"), Mm(2.0)}));
    EXPECT_EQ(field_names(again), (std::vector<std::string>{"a"}));
    EXPECT_EQ(field(again, "a").r(), 2);

    const Mm bare = mstruct(Mm(0, 0, 0, 0, 0, qv_cell));
    EXPECT_TRUE(bare.isstruct()) << "struct() is a struct without fields";
    EXPECT_EQ(bare.getnfields(), 0);
    EXPECT_EQ(extents(bare), (std::vector<int>{1, 1}));

    const Mm none = mstruct(cell_row({TM("a"), Mm(0, 0, 0, 0, 0, qv_cell)}));
    EXPECT_TRUE(none.isstruct());
    EXPECT_EQ(none.size(), 0);
    EXPECT_EQ(field_names(none), (std::vector<std::string>{"a"}));

    Mm object = s;
    object.setclassid(3);
    EXPECT_EQ(mstruct(cell_row({object})).getclassid(), 0) << "one argument: an object becomes a plain struct";

    EXPECT_ERROR(mstruct(cell_row({TM("a"), Mm(1.0), TM("b")})), "struct: odd numbers of inputs");
    EXPECT_ERROR(mstruct(cell_row({TM("a"), cell_row({Mm(1.0), Mm(2.0)}), TM("b"), cell_row({Mm(1.0), Mm(2.0), Mm(3.0)})})),
                 "struct: all cell arrays must be of same size");
}

TEST(Structs, FieldnamesAndIsfield)
{
    Mm s(i_o, "s", 0);
    s.member("b") = Mm(1.0);
    s.member("a") = Mm(2.0);
    const Mm names = fieldnames(s);
    ASSERT_EQ(extents(names), (std::vector<int>{2, 1}));
    EXPECT_EQ(text_of(names.mr(1)), "b") << "creation order";
    EXPECT_EQ(text_of(names.mr(2)), "a");
    EXPECT_TRUE(names.mr(1).isstr());

    struct Case {
        const char* what;
        Mm result;
        double expected;
        bool logical;
    };
    const std::vector<Case> cases = {
        {"present", isfield(s, TM("a")), 1, true},
        {"other case", isfield(s, TM("A")), 0, true},
        {"absent", isfield(s, TM("c")), 0, true},
        {"not a struct", isfield(test::row({1, 2}), TM("a")), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values(c.result), (std::vector<double>{c.expected}));
        EXPECT_EQ(c.result.islogical() != 0, c.logical);
    }
    EXPECT_ERROR(fieldnames(test::row({1, 2})), "fieldnames: structure expected, but matrix (temporary) is not");
}

// s.a is a 1x2 struct array with field b holding 10 and 20.
Mm nested()
{
    Mm s(i_o, "s", 0);
    s.member("a") = mstruct(cell_row({TM("b"), cell_row({Mm(10.0), Mm(20.0)})}));
    return s;
}

TEST(Structs, GetfieldWalksThePath)
{
    const Mm s = nested();
    EXPECT_EQ(getfield(s, cell_row({TM("a"), cell_row({Mm(2.0)}), TM("b")})).r(), 20);
    EXPECT_EQ(getfield(s, cell_row({TM("a"), cell_row({Mm(1.0), Mm(2.0)}), TM("b")})).r(), 20);
    EXPECT_EQ(getfield(s, cell_row({TM("a"), Mm(0, 0, 0, 0, 0, qv_cell), cell_row({Mm(1.0)}), TM("b")})).r(), 10)
        << "an empty cell step changes nothing";
    EXPECT_EQ(extents(getfield(s, TM("a"))), (std::vector<int>{1, 2})) << "a bare name is one step";
    EXPECT_ERROR(getfield(s, cell_row({TM("a"), Mm(2.0)})), "getfield: index must be a string or cell array");
    EXPECT_ERROR(getfield(Mm(2.0), TM("a")), "getfield: structure expected, but matrix =2 is not");
}

TEST(Structs, SetfieldAssignsOneLevel)
{
    const Mm s = nested();
    const Mm named = setfield(s, TM("c"), Mm(3.0));
    EXPECT_EQ(field_names(named), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(field(named, "c").r(), 3);
    EXPECT_EQ(s.getnfields(), 1) << "the argument is not changed";

    Mm one(i_o, "one", 0);
    one.member("v") = Mm(1.0);
    Mm other(i_o, "other", 0);
    other.member("v") = Mm(9.0);
    const Mm grown = setfield(one, cell_row({Mm(1.0), Mm(2.0)}), other);
    EXPECT_EQ(extents(grown), (std::vector<int>{1, 2}));
    EXPECT_EQ(number(grown, 2, "v"), 9);
    EXPECT_EQ(number(grown, 1, "v"), 1);
    EXPECT_EQ(one.size(), 1);

    const Mm numbers = setfield(test::row({1, 2, 3}), cell_row({Mm(2.0)}), Mm(7.0));
    EXPECT_EQ(values(numbers), (std::vector<double>{1, 7, 3}));
    EXPECT_EQ(values(setfield(test::row({1, 2}), Mm(0, 0, 0, 0, 0, qv_cell), Mm(7.0))), (std::vector<double>{1, 2}));
}

TEST(Structs, RmfieldRemovesFromEveryElement)
{
    const Mm s = mstruct(cell_row({TM("a"), cell_row({Mm(1.0), Mm(2.0)}), TM("b"), Mm(5.0), TM("c"), TM("t")}));
    const Mm r = rmfield(s, cell_row({TM("a"), TM("c")}));
    EXPECT_EQ(field_names(r), (std::vector<std::string>{"b"}));
    EXPECT_EQ(extents(r), (std::vector<int>{1, 2}));
    EXPECT_EQ(number(r, 2, "b"), 5);
    EXPECT_EQ(field_names(s), (std::vector<std::string>{"a", "b", "c"})) << "the argument is not changed";
    EXPECT_EQ(number(s, 2, "a"), 2);
    EXPECT_EQ(field_names(rmfield(s, TM("b"))), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(text_of(field(element(rmfield(s, TM("b")), 1), "c")), "t");

    EXPECT_ERROR(rmfield(s, TM("q")), "rmfield: structure has no field named 'q'");
    EXPECT_ERROR(rmfield(test::row({1, 2}), TM("q")), "rmfield: structure expected, but matrix (temporary) is not");
}

TEST(Structs, RmfieldGoesOnAfterAMissingName)
{
    static int reports = 0;
    reports = 0;
    qv_text_handler old = qv_set_error_handler([](const char*) { ++reports; });
    const Mm s = mstruct(cell_row({TM("a"), Mm(1.0), TM("b"), Mm(2.0)}));
    const Mm r = rmfield(s, cell_row({TM("q"), TM("a")}));
    qv_set_error_handler(old);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(field_names(r), (std::vector<std::string>{"b"}));
    EXPECT_EQ(field(r, "b").r(), 2);
}

TEST(Structs, Struct2cell)
{
    const Mm one = mstruct(cell_row({TM("a"), Mm(1.0), TM("b"), TM("x")}));
    const Mm c1 = struct2cell(one);
    EXPECT_EQ(extents(c1), (std::vector<int>{2, 1}));
    EXPECT_EQ(c1.mr(1).r(), 1);
    EXPECT_TRUE(c1.mr(2).isstr());

    const Mm three = mstruct(cell_row({TM("a"), cell_row({Mm(1.0), Mm(2.0), Mm(3.0)}), TM("b"), Mm(9.0)}));
    const Mm c3 = struct2cell(three);
    ASSERT_EQ(extents(c3), (std::vector<int>{2, 1, 3}));
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(c3.mr(2 * k - 1).r(), k);
        EXPECT_EQ(c3.mr(2 * k).r(), 9);
    }
    EXPECT_ERROR(struct2cell(Mm(0, 0, 0, 1, 1, qv_cell)), "struct2cell: structure expected, but matrix (temporary) is not");
}

TEST(Structs, LogicalAndFunctionChecks)
{
    const Mm x = test::row({2, 0, -1});
    const Mm l = mlogical(x);
    EXPECT_TRUE(l.islogical());
    EXPECT_EQ(values(l), (std::vector<double>{2, 0, -1})) << "the values are not converted";
    EXPECT_FALSE(x.islogical());
    EXPECT_ERROR(mlogical(test::complex(1, 1, {1}, {1})), "logical: argument is complex");

    Mm fcn, msg;
    const Mm r = fcnchk(TM("sin"), Mm(1.0), i_o, fcn, msg);
    EXPECT_EQ(text_of(fcn), "sin");
    EXPECT_TRUE(msg.isstr());
    EXPECT_EQ(msg.size(), 0);
    EXPECT_EQ(r.size(), 0);
    prefcnchk(TM("cos"), Mm(1.0), Mm(2.0), Mm(3.0), i_o, fcn, msg);
    EXPECT_EQ(text_of(fcn), "cos");
}

TEST(Structs, FormsThatRejectOrHandBack)
{
    const Mm s(1.0);
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"isfield", [&] { isfield(s); }, "isfield does not accept 1 input"},
        {"getfield", [&] { getfield(s); }, "getfield does not accept 1 input"},
        {"setfield 1", [&] { setfield(s); }, "setfield does not accept 1 input"},
        {"setfield 2", [&] { setfield(s, s); }, "setfield does not accept 2 inputs"},
        {"rmfield", [&] { rmfield(s); }, "rmfield does not accept 1 input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.run(), c.message);
    }
    const Mm x = test::row({3, 4});
    for (const Mm& same : {colon(x), fcnchk(x), fcnchk(x, s), formula(x), inlinefcn(x), inlinefcn(x, s), minline(x),
                           minline(x, s)})
        EXPECT_EQ(same.addr(), x.addr());
}

} // namespace
