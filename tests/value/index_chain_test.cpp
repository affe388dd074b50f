// Assignment through references and their chains: struct fields, struct
// arrays and their member rules, cells built on the way, user classes with
// "subsasgn", and chains whose failures leave every level unchanged.
#include "alloc_sweep.hpp"
#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <functional>
#include <string>
#include <vector>

namespace {

using test::text_of;

using test::extents;
using test::values;


std::vector<std::string> field_names(const Mm& s)
{
    std::vector<std::string> names;
    for (int k = 0; k < s.getnfields(); ++k)
        names.push_back(s.getfields()[k]);
    return names;
}

// A 1x1 struct with the given fields holding 1, 2, ...
Mm make_struct(std::vector<const char*> fields)
{
    Mm s(0, 0, 0, 1, 1, qv_cell);
    for (const char* f : fields)
        s.addfield(f, 1);
    Mm list(0, 0, 0, static_cast<int>(fields.size()), 1, qv_cell);
    for (int k = 1; k <= static_cast<int>(fields.size()); ++k)
        list.mr(k) = Mm(double(k));
    s.mr(1) = list;
    return s;
}

double field(const Mm& s, int element, const char* name) { return Mm(s(Mm(double(element))).member(name)).r(); }

TEST(IndexChain, FieldAssignmentMakesAndFillsStructs)
{
    Mm x(Mm(4.0), "x");
    x.member("f") = Mm(1.0);
    ASSERT_TRUE(x.isstruct());
    EXPECT_EQ(x.size(), 1);
    EXPECT_EQ(field_names(x), (std::vector<std::string>{"f"}));
    EXPECT_EQ(Mm(x.member("f")).r(), 1);
    x.member("g") = TM("text");
    EXPECT_EQ(text_of(Mm(x.member("g"))), "text");
    EXPECT_EQ(Mm(x.member("f")).r(), 1);

    Mm c(cell(Mm(1.0), Mm(2.0)), "c");
    c.member("f") = Mm(2.0);
    EXPECT_TRUE(c.isstruct()) << "a cell that is not a struct is replaced, as a number is";
    EXPECT_EQ(c.size(), 1);

    Mm declared(i_o, "declared", 0);
    declared.member("f") = Mm(3.0);
    EXPECT_TRUE(declared.isstruct());
}

TEST(IndexChain, FieldAssignmentOnAStructArray)
{
    Mm s(make_struct({"a"}), "s");
    s(Mm(3.0)) = make_struct({"a"});
    ASSERT_EQ(s.size(), 3);
    s.member("a") = Mm(9.0);
    EXPECT_EQ(field(s, 1, "a"), 9) << "the first element receives the value";
    EXPECT_EQ(field(s, 3, "a"), 1) << "the others keep theirs";
    s.member("b") = Mm(5.0);
    EXPECT_EQ(field(s, 1, "b"), 5);
    EXPECT_EQ(Mm(s(Mm(3.0)).member("b")).size(), 0) << "every element gets the new field, empty";
    EXPECT_EQ(Mm(s.member("b")).size(), 3);
}

// The low-level entries hold structs to the same rule as x(i) = y.
TEST(IndexChain, LowLevelEntriesMatchStructMembers)
{
    const std::string mismatch = "In the assignment x(...)=y, x and y (structures) must have identical members";
    struct Case {
        const char* what;
        std::function<void(Mm&, const Mm&)> store;
    };
    const std::vector<Case> entries = {
        {"vwcopy1", [](Mm& x, const Mm& t) { x.vwcopy1(t, Mm(2.0)); }},
        {"vwcopy2", [](Mm& x, const Mm& t) { x.vwcopy2(t, Mm(1.0), Mm(2.0)); }},
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.what);
        Mm x(make_struct({"a", "b"}), "x");
        x(Mm(2.0)).member("b") = Mm(4.0);
        const std::string before = test::fingerprint(x);
        EXPECT_ERROR(e.store(x, make_struct({"a"})), mismatch);
        EXPECT_ERROR(e.store(x, Mm(7.0)),
                     "In the assignment x(...)=y, x was a structure array but y was not a structure");
        EXPECT_EQ(test::fingerprint(x), before) << "x unchanged";
        EXPECT_EQ(field(x, 2, "b"), 4);

        e.store(x, make_struct({"a", "b"}));
        EXPECT_EQ(field(x, 2, "b"), 2);
        EXPECT_EQ(mm_access::header_fault(x), nullptr);
    }
}

// Every element of a struct array holds its field values in a list of
// exactly its field count: records built field by field, records shared
// with a copy and then changed, records added by growth or by reading past
// the end, and lists rebuilt when a field is added.
TEST(IndexChain, StructRecordsHoldTheirFieldsWithoutSpareRoom)
{
    Mm s;
    for (int k = 1; k <= 4; ++k) {
        s(Mm(double(k))).member("a") = Mm(double(k));
        s(Mm(double(k))).member("b") = Mm(10.0 * k);
    }
    const Mm copy = s;                           // every record shared
    s(Mm(2.0)).member("a") = Mm(-2.0);           // one changed through the copy's block
    s(Mm(6.0)) = Mm(s(Mm(1.0)));                 // growth: record 5 is new
    s(Mm(3.0)).member("c") = TM("x");            // a third field for every record
    ASSERT_EQ(s.size(), 6);
    ASSERT_EQ(s.getnfields(), 3);
    for (int k = 1; k <= 6; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(s.mr(k).size(), 3);
        EXPECT_EQ(s.mr(k).getp(), 3) << "no spare room in a field list";
    }
    EXPECT_EQ(Mm(s(Mm(2.0)).member("a")).r(), -2);
    EXPECT_EQ(Mm(copy(Mm(2.0)).member("a")).r(), 2) << "the copy keeps its record";
    EXPECT_EQ(Mm(s(Mm(4.0)).member("b")).r(), 40);
    EXPECT_EQ(Mm(s(Mm(6.0)).member("b")).r(), 10);
    EXPECT_TRUE(isempty(Mm(s(Mm(5.0)).member("a"))));
    EXPECT_EQ(text_of(Mm(s(Mm(3.0)).member("c"))), "x");
    const Mm past = Mm(copy(Mm(7.0)), 0);         // read past the end, unreported
    ASSERT_EQ(past.size(), 1);
    EXPECT_EQ(past.mr(1).getp(), 2);
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(copy.mr(k).getp(), 2);
}

TEST(IndexChain, StructArrayMembersMustMatch)
{
    Mm s(make_struct({"a"}), "s");
    s(Mm(2.0)) = make_struct({"a", "b"});
    EXPECT_EQ(field_names(s), (std::vector<std::string>{"a", "b"})) << "one extra trailing field is added";
    EXPECT_EQ(Mm(s(Mm(1.0)).member("b")).size(), 0);
    EXPECT_EQ(field(s, 2, "b"), 2);

    Mm r(make_struct({"a"}), "r");
    const void* data = r.getpr((Mm*)nullptr);
    EXPECT_ERROR(r(Mm(2.0)) = make_struct({"b"}),
                 "In the assignment x(...)=y, x and y (structures) must have identical members");
    EXPECT_ERROR(r(Mm(2.0)) = make_struct({"a", "b", "c"}),
                 "In the assignment x(...)=y, x and y (structures) must have identical members");
    EXPECT_ERROR(r(Mm(2.0)) = Mm(7.0),
                 "In the assignment x(...)=y, x was a structure array but y was not a structure");
    EXPECT_EQ(r.size(), 1);
    EXPECT_EQ(field_names(r), (std::vector<std::string>{"a"}));
    EXPECT_EQ(r.getpr((Mm*)nullptr), data) << "nothing changed";

    Mm c(cell(Mm(1.0), Mm(2.0)), "c");
    EXPECT_ERROR(c(Mm(3.0)) = make_struct({"a"}),
                 "In the assignment x(...)=y, x and y (structures) must have identical members")
        << "a cell with elements does not become a struct array";
    EXPECT_EQ(c.isstruct(), 0);

    Mm e(Mm(0, 0, 0, 0, 0, qv_cell), "e");
    e(Mm(2.0)) = make_struct({"a", "b"});
    EXPECT_TRUE(e.isstruct()) << "an empty cell takes the struct";
    EXPECT_EQ(e.size(), 2);
    EXPECT_EQ(field(e, 2, "b"), 2);
}

TEST(IndexChain, ChainsCopyInAndOut)
{
    Mm x(make_struct({"f"}), "x");
    x(Mm(2.0)).member("f") = Mm(3.0);
    ASSERT_EQ(extents(x), (std::vector<int>{1, 2}));
    EXPECT_EQ(field(x, 2, "f"), 3);
    EXPECT_EQ(field(x, 1, "f"), 1);

    Mm v(i_o, "v", 0);
    v.member("list")(Mm(3.0)) = Mm(7.0);
    EXPECT_EQ(values(Mm(v.member("list"))), (std::vector<double>{0, 0, 7}));

    Mm c(i_o, "c", 0);
    c.br(Mm(2.0)).member("name") = TM("b");
    ASSERT_EQ(c.gettype(), qv_cell);
    EXPECT_EQ(c.size(), 2);
    EXPECT_EQ(text_of(Mm(c.br(Mm(2.0)).member("name"))), "b");

    Mm deep(i_o, "deep", 0);
    deep.member("a")(Mm(2.0)).member("b") = Mm(5.0);
    EXPECT_EQ(Mm(deep.member("a")).size(), 2);
    EXPECT_EQ(Mm(deep.member("a")(Mm(2.0)).member("b")).r(), 5);

    Mm y(x, "y");
    x(Mm(1.0)).member("f") = Mm(10.0);
    EXPECT_EQ(field(y, 1, "f"), 1) << "a copy of the root keeps its value";
    EXPECT_EQ(field(x, 1, "f"), 10);

    Mm a(test::row({1, 2, 3}), "a");
    Mm b(test::row({4, 5, 6}), "b");
    a(Mm(1.0)) = b(Mm(3.0));
    EXPECT_EQ(values(a), (std::vector<double>{6, 2, 3}));
}

TEST(IndexChain, AFailingChainChangesNoLevel)
{
    Mm p(i_o, "p", 0);
    p.member("s") = make_struct({"a"});
    p.member("n") = test::row({1, 2});
    EXPECT_ERROR(p.member("s")(Mm(2.0)) = make_struct({"z"}),
                 "In the assignment x(...)=y, x and y (structures) must have identical members");
    EXPECT_EQ(Mm(p.member("s")).size(), 1);
    EXPECT_ERROR(p.member("n")(Mm(0.0)) = Mm(1.0), "(temporary)(=0): index is non-positive");
    EXPECT_ERROR(p.member("n")(test::row({1, 2, 3})) = test::row({1, 2}),
                 "(temporary)((temporary))=(temporary): size((temporary)) different than size((temporary))");
    EXPECT_EQ(values(Mm(p.member("n"))), (std::vector<double>{1, 2}));
    EXPECT_ERROR(p.member("n").br(Mm(1.0)) = Mm(1.0), "'(temporary)' is not a cell array and can't be {}-indexed");
    EXPECT_EQ(Mm(p.member("n")).gettype(), qv_double);
}

// A class whose "subsasgn" counts its calls and returns a marked value.
int subsasgn_calls = 0;
Mm last_subs;
Mm counting_subsasgn(Mm object, Mm record, Mm value)
{
    ++subsasgn_calls;
    last_subs = record;
    // The method works on the plain struct, or it would call itself.
    Mm out = object;
    const int id = out.getclassid();
    out.setclassid(0);
    out.member("v") = value;
    out.setclassid(id);
    return out;
}

TEST(IndexChain, ClassesWithSubsasgnTakeTheAssignment)
{
    register_class_function("store", "subsasgn", counting_subsasgn);
    Mm object(mclass(make_struct({"v"}), TM("store")), "object");
    subsasgn_calls = 0;
    object(Mm(1.0)) = Mm(8.0);
    EXPECT_EQ(subsasgn_calls, 1);
    EXPECT_STREQ(object.getname(), "object");
    EXPECT_EQ(object.getclassid(), mclass(make_struct({"v"}), TM("store")).getclassid());
    EXPECT_EQ(text_of(Mm(last_subs.member("type"))), "()");
    unregister_class_function("store", "subsasgn");
    EXPECT_EQ(Mm(object.member("v")).r(), 8) << "the method's result replaced the target";
    last_subs = Mm();
}

} // namespace
