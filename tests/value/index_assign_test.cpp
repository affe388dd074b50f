// Indexed assignment x(...) = y and x{...} = y: growth, element types,
// complex parts, sparse targets, copy-on-write, and targets that stay
// exactly as they were when an assignment is refused.
#include "alloc_sweep.hpp"
#include "test_support.hpp"
#include "value/allocator.hpp"
#include "sparse_ranges.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

using test::counting;

Mm zeros(std::vector<int> dims)
{
    Mm x(0, 0, 0, static_cast<int>(dims.size()), dims.data(), qv_double);
    for (int k = 0; k < x.size(); ++k)
        x.addr()[k] = 0;
    return x;
}

Mm logical_row(std::initializer_list<double> v)
{
    Mm m = test::row(v);
    m.setlogical(1);
    return m;
}

Mm col(std::initializer_list<double> v) { return test::real(static_cast<int>(v.size()), 1, v); }

// Everything a refused assignment must leave alone.
struct snapshot {
    std::vector<int> dims;
    int type, complex, str, logical;
    const void* data;
    std::vector<double> elements;
    explicit snapshot(const Mm& x)
        : dims(extents(x)), type(x.gettype()), complex(x.isc()), str(x.isstr()), logical(x.islogical()),
          data(x.addr()), elements(x.gettype() == qv_double ? values(x) : std::vector<double>{})
    {
    }
    bool operator==(const snapshot&) const = default;
};

struct AssignCase {
    const char* what;
    Mm start;
    std::function<void(Mm&)> assign;
    std::vector<int> dims;
    std::vector<double> expected;
};

void run(const std::vector<AssignCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.start, "x");
        c.assign(x);
        EXPECT_EQ(extents(x), c.dims);
        EXPECT_EQ(values(x), c.expected);
        EXPECT_STREQ(x.getname(), "x") << "the target keeps its name";
    }
}

TEST(IndexAssign, OneIndexWritesAndGrows)
{
    std::vector<double> grown20(20, 0);
    for (int k = 0; k < 9; ++k)
        grown20[k] = k + 1;
    grown20[19] = 7;
    run({
        {"3x3 grows to a column", counting({3, 3}), [](Mm& x) { x(Mm(20.0)) = Mm(7.0); }, {20, 1}, grown20},
        {"empty grows to a row", Mm(), [](Mm& x) { x(Mm(3.0)) = Mm(5.0); }, {1, 3}, {0, 0, 5}},
        {"a column grows as a column", zeros({4, 1}), [](Mm& x) { x(Mm(6.0)) = Mm(1.0); }, {6, 1}, {0, 0, 0, 0, 0, 1}},
        {"a row grows as a row", counting({1, 2}), [](Mm& x) { x(Mm(4.0)) = Mm(9.0); }, {1, 4}, {1, 2, 0, 9}},
        {"2.5 grows to 3 and writes element 2", Mm(), [](Mm& x) { x(Mm(2.5)) = Mm(1.0); }, {1, 3}, {0, 1, 0}},
        {"0.5 writes element 1", counting({1, 2}), [](Mm& x) { x(Mm(0.5)) = Mm(9.0); }, {1, 2}, {9, 2}},
        {"a list with a scalar", counting({1, 4}), [](Mm& x) { x(test::row({4, 1})) = Mm(0.0); }, {1, 4}, {0, 2, 3, 0}},
        {"a list with a list", counting({1, 3}), [](Mm& x) { x(test::row({3, 1})) = test::row({7, 8}); }, {1, 3},
         {8, 2, 7}},
        {"a repeated position keeps the last", counting({1, 3}),
         [](Mm& x) { x(test::row({2, 2})) = test::row({5, 6}); }, {1, 3}, {1, 6, 3}},
        {"an empty index does nothing", counting({1, 3}), [](Mm& x) { x(x_M) = test::row({5, 6}); }, {1, 3}, {1, 2, 3}},
        {"x(:) = scalar fills", counting({2, 2}), [](Mm& x) { x(c_p) = Mm(5.0); }, {2, 2}, {5, 5, 5, 5}},
        {"x(:) = scalar on empty stays empty", Mm(), [](Mm& x) { x(c_p) = Mm(5.0); }, {0, 0}, {}},
        {"x(:) = 6 values keeps 2x3", counting({2, 3}), [](Mm& x) { x(c_p) = test::row({6, 5, 4, 3, 2, 1}); }, {2, 3},
         {6, 5, 4, 3, 2, 1}},
        {"a mask grows to its length", counting({1, 3}),
         [](Mm& x) { x(logical_row({0, 1, 0, 1})) = test::row({7, 8}); }, {1, 4}, {1, 7, 3, 8}},
        {"a mask with a scalar", counting({1, 4}), [](Mm& x) { x(logical_row({1, NAN, 0, 1})) = Mm(0.0); }, {1, 4},
         {0, 2, 3, 0}},
        {"a range", counting({1, 6}), [](Mm& x) { x(colon(2.0, 4.0)) = Mm(0.0); }, {1, 6}, {1, 0, 0, 0, 5, 6}},
        {"x() = y replaces", counting({1, 3}), [](Mm& x) { x() = col({4, 5}); }, {2, 1}, {4, 5}},
    });
}

// A fractional index grows the target to its rounded value and writes the
// element its truncation names, whether the target shares its block with a
// copy or has room of its own: a = [1 2 3]; a(3.5) = 7 is [1 2 7 0].
TEST(IndexAssign, FractionalIndicesGiveOneAnswerSharedOrNot)
{
    struct Case {
        const char* what;
        Mm start;
        double index, value;
        std::vector<int> dims;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"a(3.5) = 7", test::row({1, 2, 3}), 3.5, 7, {1, 4}, {1, 2, 7, 0}},
        {"c(1.5) = 1", Mm(99.0), 1.5, 1, {1, 2}, {1, 0}},
        {"a(3.9) = 7", test::row({1, 2, 3}), 3.9, 7, {1, 4}, {1, 2, 7, 0}},
        {"a(4.4) = 7", test::row({1, 2, 3}), 4.4, 7, {1, 4}, {1, 2, 3, 7}},
        {"a(4) = 7", test::row({1, 2, 3}), 4, 7, {1, 4}, {1, 2, 3, 7}},
        {"column a(3.5) = 7", col({1, 2, 3}), 3.5, 7, {4, 1}, {1, 2, 7, 0}},
        {"a(3.4) = 7 stays", test::row({1, 2, 3}), 3.4, 7, {1, 3}, {1, 2, 7}},
        {"a(0.5) = 7", test::row({1, 2, 3}), 0.5, 7, {1, 3}, {7, 2, 3}},
        {"x = []; x(0.5) = 7", Mm(), 0.5, 7, {1, 1}, {7}},
        {"x = []; x(1.5) = 7", Mm(), 1.5, 7, {1, 2}, {7, 0}},
        {"x = []; x(2.5) = 1", Mm(), 2.5, 1, {1, 3}, {0, 1, 0}},
        {"a(5.5) = 7", test::row({1, 2, 3}), 5.5, 7, {1, 6}, {1, 2, 3, 0, 7, 0}},
    };
    for (const auto& c : cases) {
        for (bool shared : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (shared ? ", shared" : ", unshared"));
            Mm x(c.start, "x");
            x.deepcopy(x, qv_none);  // a block of its own, with spare room
            Mm copy;
            if (shared)
                copy = x;
            const std::vector<double> before = values(x);
            x(Mm(c.index)) = Mm(c.value);
            EXPECT_EQ(extents(x), c.dims);
            EXPECT_EQ(values(x), c.expected);
            if (shared) {
                EXPECT_EQ(values(copy), before) << "the copy is unchanged";
            }
        }
    }
}

TEST(IndexAssign, SeveralIndicesWriteAndGrow)
{
    run({
        {"x(3,4) on 2x2", counting({2, 2}), [](Mm& x) { x(Mm(3.0), Mm(4.0)) = Mm(1.0); }, {3, 4},
         {1, 2, 0, 3, 4, 0, 0, 0, 0, 0, 0, 1}},
        {"x(:,3) counts the target's rows", zeros({2, 2}), [](Mm& x) { x(c_p, Mm(3.0)) = Mm(5.0); }, {2, 3},
         {0, 0, 0, 0, 5, 5}},
        {"x(:,1) = 5 on empty", Mm(), [](Mm& x) { x(c_p, Mm(1.0)) = Mm(5.0); }, {1, 1}, {5}},
        {"x(:,1) = column on empty", Mm(), [](Mm& x) { x(c_p, Mm(1.0)) = col({1, 2, 3}); }, {3, 1}, {1, 2, 3}},
        {"x(:,2) = 3 rows on 2x2", counting({2, 2}), [](Mm& x) { x(c_p, Mm(2.0)) = col({7, 8, 9}); }, {3, 2},
         {1, 2, 0, 7, 8, 9}},
        {"rows and columns from lists", counting({3, 3}),
         [](Mm& x) { x(test::row({3, 1}), test::row({2})) = col({0, -1}); }, {3, 3}, {1, 2, 3, -1, 5, 0, 7, 8, 9}},
        {"a logical row index", counting({2, 2}), [](Mm& x) { x(logical_row({0, 1}), c_p) = Mm(0.0); }, {2, 2},
         {1, 0, 3, 0}},
        {"x(2,:,3) on empty", Mm(), [](Mm& x) { x(Mm(2.0), c_p, Mm(3.0)) = counting({1, 4}); }, {2, 4, 3},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4}},
        {"a third index grows a page", counting({2, 2}), [](Mm& x) { x(Mm(1.0), Mm(2.0), Mm(2.0)) = Mm(9.0); },
         {2, 2, 2}, {1, 2, 3, 4, 0, 0, 9, 0}},
        {"one index grows 1x1x3 along its pages", zeros({1, 1, 3}), [](Mm& x) { x(Mm(5.0)) = Mm(1.0); },
         {1, 1, 5}, {0, 0, 0, 0, 1}},
        {"x(:,:,2) = a creates x", Mm(), [](Mm& x) { x(c_p, c_p, Mm(2.0)) = counting({2, 2}); }, {2, 2, 2},
         {0, 0, 0, 0, 1, 2, 3, 4}},
    });
}

TEST(IndexAssign, SourceAndTargetTypes)
{
    Mm u(test::bytes(1, 2, {1, 2}), "u");
    u(Mm(2.0)) = Mm(300.0);
    EXPECT_EQ(u.gettype(), qv_uint8);
    EXPECT_EQ(u.ur(2), 44) << "300 stored as a byte";
    u(Mm(4.0)) = Mm(7.0);
    EXPECT_EQ(u.size(), 4);
    EXPECT_EQ(u.ur(3), 0);
    Mm d(test::row({1, 2}), "d");
    d(Mm(1.0)) = test::bytes(1, 1, {200});
    EXPECT_EQ(d.gettype(), qv_double) << "a double target stays double";
    EXPECT_EQ(d.r(1), 200);
    Mm t(TM("abc"), "t");
    t(Mm(2.0)) = Mm(65.0);
    EXPECT_TRUE(t.isstr()) << "the target keeps its text mark";
    EXPECT_EQ(t.r(2), 65);
    Mm m(logical_row({1, 0}), "m");
    m(Mm(3.0)) = Mm(1.0);
    EXPECT_TRUE(m.islogical());
    Mm declared(i_o, "declared", 0);
    declared(Mm(3.0)) = Mm(5.0);
    EXPECT_EQ(declared.gettype(), qv_double);
    EXPECT_EQ(values(declared), (std::vector<double>{0, 0, 5}));
}

TEST(IndexAssign, ComplexParts)
{
    Mm x(test::row({1, 2, 3}), "x");
    x(Mm(2.0)) = test::complex(1, 1, {5}, {1});
    ASSERT_TRUE(x.isc());
    EXPECT_EQ(x.addi()[0], 0);
    EXPECT_EQ(x.addi()[1], 1);
    x(c_p) = test::row({4, 5, 6});
    EXPECT_FALSE(x.isc()) << "a real source through a colon makes the target real";
    Mm z(test::complex(1, 2, {1, 2}, {3, 4}), "z");
    z(Mm(2.0)) = Mm(9.0);
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(z.addi()[1], 0) << "a real source writes a zero imaginary part";
    Mm n(zeros({2, 2, 2}), "n");
    n(Mm(1.0), Mm(1.0), Mm(2.0)) = test::complex(1, 1, {1}, {2});
    ASSERT_TRUE(n.isc());
    EXPECT_EQ(n.addi()[4], 2);
    EXPECT_EQ(n.addi()[0], 0);
}

TEST(IndexAssign, XColonTakesTheSourceButKeepsTheTargetKind)
{
    // Unshared and shared targets behave alike: the kind is the target's.
    for (bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "shared" : "unshared");
        Mm x(zeros({2, 3}), "x");
        Mm other(x);
        if (!shared)
            other = Mm();
        x(c_p) = TM("abcdef");
        EXPECT_FALSE(x.isstr());
        EXPECT_EQ(x.gettype(), qv_double);
        EXPECT_EQ(extents(x), (std::vector<int>{2, 3}));
        EXPECT_EQ(values(x), (std::vector<double>{97, 98, 99, 100, 101, 102}));
        if (shared) {
            EXPECT_EQ(values(other), std::vector<double>(6, 0)) << "the other holder keeps the old elements";
        }
    }
    Mm src = test::row({1, 0, 1, 1});
    src.setlogical(1);
    Mm y(zeros({2, 2}), "y");
    y(c_p) = src;
    EXPECT_FALSE(y.islogical());
    EXPECT_EQ(y.addr(), src.addr()) << "the source's buffer is shared, not copied";
}

struct RefusedCase {
    const char* what;
    Mm start;
    std::function<void(Mm&)> assign;
    const char* message;
};

TEST(IndexAssign, RefusedAssignmentsLeaveTheTargetExactlyAsItWas)
{
    const std::vector<RefusedCase> cases = {
        {"zero index", counting({1, 3}), [](Mm& x) { x(Mm(0.0)) = Mm(1.0); }, "x(=0): index is non-positive"},
        {"zero in a list", counting({1, 3}), [](Mm& x) { x(test::row({0, 1})) = Mm(1.0); },
         "x((temporary)): index is non-positive"},
        {"NaN index", counting({1, 3}), [](Mm& x) { x(Mm(NAN)) = Mm(1.0); },
         "x(=-2147483647): index is non-positive"},
        {"0.4 rounds to 0", counting({1, 3}), [](Mm& x) { x(Mm(0.4)) = Mm(1.0); }, "x(=0): index is non-positive"},
        {"x(:) with another count", counting({2, 3}), [](Mm& x) { x(c_p) = colon(1.0, 5.0); },
         "x(:)=(temporary): size((temporary)) different than size(x)"},
        {"list and source sizes differ, before growing", counting({1, 3}),
         [](Mm& x) { x(test::row({1, 5})) = test::row({1, 2, 3}); },
         "x((temporary))=(temporary): size((temporary)) different than size((temporary))"},
        {"mask count differs, before growing", counting({1, 3}),
         [](Mm& x) { x(logical_row({1, 0, 0, 1, 1})) = test::row({1, 2}); },
         "x((temporary))=(temporary): a logical assignment ; source size != number of non zeros in index"},
        {"a complex source is not taken in on failure", counting({1, 3}),
         [](Mm& x) { x(test::row({1, 2})) = test::complex(1, 3, {1, 2, 3}, {1, 1, 1}); },
         "x((temporary))=(temporary): size((temporary)) different than size((temporary))"},
        {"infinite index", counting({1, 3}), [](Mm& x) { x(Mm(INFINITY)) = Mm(1.0); }, "Out of memory!"},
        {"two indices, sizes differ", counting({2, 2}),
         [](Mm& x) { x(colon(1.0, 2.0), colon(1.0, 2.0)) = test::row({1, 2, 3}); },
         "x((temporary),(temporary))=(temporary): size(row index)*size(col index) is different than size(source)"},
        {"row index checked first", counting({2, 2}), [](Mm& x) { x(Mm(0.0), Mm(0.0)) = Mm(1.0); },
         "x(=0,=0)==1: row index is non-positive"},
        {"column index", counting({2, 2}), [](Mm& x) { x(Mm(3.0), Mm(-1.0)) = Mm(1.0); },
         "x(=3,=-1)==1: col index is non-positive"},
        {"general form, one index past a non-vector", zeros({2, 2, 2}), [](Mm& x) { x(Mm(9.0)) = Mm(1.0); },
         "Index =9 out of matrix x. Index value was 9 however the indexed matrix has only 8 elements."},
        {"general form, count differs", zeros({2, 2, 2}), [](Mm& x) { x(colon(1.0, 3.0)) = test::row({1, 2}); },
         "In indexed assignment to the matrix x, the index size was 3 but right hand side has 2 elements"},
        {"general form, not positive", zeros({2, 2, 2}), [](Mm& x) { x(Mm(1.0), Mm(0.0), Mm(1.0)) = Mm(1.0); },
         "index =0 out of matrix x. Index value was 0 which is not positive."},
        {"two indices cannot grow three dimensions", zeros({2, 2, 2}), [](Mm& x) { x(Mm(3.0), Mm(1.0)) = Mm(1.0); },
         "In indexed assignment to the matrix x, 2 indices can not grow a matrix of 3 dimensions"},
        {"brace into a double", counting({1, 2}), [](Mm& x) { x.br(Mm(2.0)) = TM("a"); },
         "'x' is not a cell array and can't be {}-indexed"},
        {"cell into a double", counting({1, 2}), [](Mm& x) { x(Mm(1.0)) = Mm(0, 0, 0, 1, 1, qv_cell); },
         "Can not convert (temporary) into a numeric matrix"},
        {"unassigned source", counting({1, 2}), [](Mm& x) { Mm u(i_o, "u", 0); x(Mm(1.0)) = u; },
         "variable 'u' was used without a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.start, "x");
        const snapshot before(x);
        EXPECT_ERROR(c.assign(x), c.message);
        EXPECT_EQ(snapshot(x), before);
    }
    Mm declared(i_o, "declared", 0);
    EXPECT_ERROR(declared(Mm(0.0)) = Mm(1.0), "declared(=0): index is non-positive");
    EXPECT_EQ(declared.gettype(), qv_none) << "an untyped target is not given a type by a failed assignment";
}

// A host whose error hook returns: the library goes on after each report,
// so every refused assignment must stop by itself without writing.
class ReturningErrorHook : public ::testing::Test {
protected:
    static std::vector<std::string>& reports()
    {
        static std::vector<std::string> seen;
        return seen;
    }
    static void record(const char* text) { reports().push_back(text); }
    void SetUp() override
    {
        reports().clear();
        previous_ = qv_set_error_handler(record);
    }
    void TearDown() override { qv_set_error_handler(previous_); }

private:
    qv_text_handler previous_ = nullptr;
};

TEST_F(ReturningErrorHook, RefusedAssignmentsStopWithoutWriting)
{
    const std::vector<RefusedCase> cases = {
        {"non-positive", counting({1, 3}), [](Mm& x) { x(Mm(0.0)) = Mm(1.0); }, "x(=0): index is non-positive"},
        {"size", counting({2, 2}), [](Mm& x) { x(colon(1.0, 2.0), c_p) = test::row({1, 2, 3}); },
         "x((temporary),(temporary))=(temporary): size(row index)*size(col index) is different than size(source)"},
        {"walk", zeros({2, 2, 2}), [](Mm& x) { x(Mm(9.0)) = Mm(1.0); },
         "Index =9 out of matrix x. Index value was 9 however the indexed matrix has only 8 elements."},
        {"growth beyond memory", counting({1, 3}), [](Mm& x) { x(Mm(INFINITY)) = Mm(1.0); }, "Out of memory!"},
        {"brace into a double", counting({1, 3}), [](Mm& x) { x.br(Mm(2.0)) = Mm(1.0); },
         "'x' is not a cell array and can't be {}-indexed"},
        {"deletion", counting({1, 3}), [](Mm& x) { x(Mm(-1.0)) = x_M; }, "x(-1): index is non-positive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reports().clear();
        Mm x(c.start, "x");
        const snapshot before(x);
        c.assign(x);
        ASSERT_EQ(reports().size(), 1u);
        EXPECT_EQ(reports()[0], c.message);
        EXPECT_EQ(snapshot(x), before);
    }
    Mm x(counting({1, 3}), "x");
    Mm r(x(Mm(5.0)));
    EXPECT_EQ(r.gettype(), qv_none) << "a failed read gives an untyped value";
    EXPECT_EQ(colon(1.0, INFINITY).size(), 0);
}

TEST(IndexAssign, SparseTargets)
{
    // 3x3 with (1,1)=1, (2,2)=2, (3,3)=3.
    auto diagonal = [] {
        Mm s(0, 1, 3, 3, 3, qv_double);
        for (int k = 0; k < 3; ++k) {
            s.getindex()[k] = 4 * k;
            s.addr()[k] = k + 1;
        }
        return s;
    };
    Mm s(diagonal(), "s");
    s(Mm(2.0), Mm(2.0)) = Mm(0.0);
    EXPECT_TRUE(s.issparse());
    EXPECT_EQ(s.getnnz(), 2) << "a stored element set to 0 is removed";
    s(Mm(3.0), Mm(1.0)) = Mm(7.0);
    EXPECT_EQ(s.getnnz(), 3);
    EXPECT_EQ(values(s), (std::vector<double>{1, 0, 7, 0, 0, 0, 0, 0, 3}));
    EXPECT_EQ(std::vector<int>(s.getindex(), s.getindex() + 3), (std::vector<int>{0, 2, 8})) << "kept in order";
    s(test::row({1, 1}), Mm(2.0)) = test::row({4, 5});
    EXPECT_EQ(s.getnnz(), 4) << "a position assigned twice is stored once";
    EXPECT_EQ(values(s)[3], 5) << "with the later value";
    s(Mm(4.0), Mm(4.0)) = Mm(1.0);
    EXPECT_EQ(extents(s), (std::vector<int>{4, 4}));
    EXPECT_EQ(values(s), (std::vector<double>{1, 0, 7, 0, 5, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1}));
    s(c_p, Mm(1.0)) = Mm(0.0);
    EXPECT_EQ(s.getnnz(), 3) << "zeros are not stored";
    Mm z(diagonal(), "z");
    z(Mm(2.0)) = test::complex(1, 1, {0}, {1});
    ASSERT_TRUE(z.isc());
    EXPECT_TRUE(z.issparse());
    EXPECT_EQ(z.getnnz(), 4);
}

// x, a sparse target after an assignment, against sparse(f), the same
// assignment on the full target: extents, stored positions and both parts
// bit for bit. A sparse target stays complex, or becomes so, as its merge
// with the source does (a full one assigned through x(:) takes the
// source's kind instead).
void expect_sparse_form_of(const Mm& x, const Mm& f, bool complex)
{
    ASSERT_TRUE(x.issparse());
    const Mm want = sparse(f);
    EXPECT_EQ(extents(x), extents(want));
    EXPECT_EQ(x.isc(), complex);
    ASSERT_EQ(x.getnnz(), want.getnnz());
    for (int k = 0; k < x.getnnz(); ++k) {
        EXPECT_EQ(x.getindex()[k], want.getindex()[k]);
        EXPECT_BITS_EQ(x.addr()[k], want.addr()[k]);
        EXPECT_BITS_EQ(x.isc() ? x.addi()[k] : 0.0, want.isc() ? want.addi()[k] : 0.0);
    }
}

// A 46340 x 46340 value (the most a sparse value holds) storing one
// element in every 21473 from first, valued 1 .. cycle in turn.
Mm spread_over_the_largest(int first, int cycle, std::vector<int>& at)
{
    const int n = 46340;
    at.clear();
    for (std::int64_t p = first; p < std::int64_t{n} * n; p += 21473)
        at.push_back(static_cast<int>(p));
    Mm big(0, 1, static_cast<int>(at.size()), n, n, qv_double);
    for (std::size_t k = 0; k < at.size(); ++k) {
        big.getindex()[k] = at[k];
        big.addr()[k] = 1.0 + k % cycle;
    }
    return big;
}

// A zero assigned into a sparse target, by every kind of index: the same
// elements as the assignment into the full value, in sparse form, with
// stored zeros dropped. And the same assignments on a 46340 x 46340 value
// with 10^5 entries, which has no full form: S(:) = 0 asked for one item
// per position (2^31, "Out of memory!" after 6 s), S(I, J) = 0 of 28
// million pairs took 4.5 s and 760 MB, and a sparse mask index was made
// full first ("full: matrix too large").
TEST(IndexAssign, ZeroIntoASparseTargetByEveryIndex)
{
    struct Case {
        const char* what;
        std::function<void(Mm& x, const Mm& zero)> assign;
    };
    auto sparse_mask = [](const Mm& x) { return gt(x, Mm(2.0)); };
    const std::vector<Case> cases = {
        {"S(:) = 0", [](Mm& x, const Mm& z) { x(c_p) = z; }},
        {"S(:, :) = 0", [](Mm& x, const Mm& z) { x(c_p, c_p) = z; }},
        {"S(:, :, 1) = 0", [](Mm& x, const Mm& z) { x(c_p, c_p, Mm(1.0)) = z; }},
        {"S(k) = 0, k repeating", [](Mm& x, const Mm& z) { x(test::row({5, 1, 5, 12, 2})) = z; }},
        {"S(I, J) = 0", [](Mm& x, const Mm& z) { x(test::row({4, 1, 4}), test::row({2, 3, 6})) = z; }},
        {"S(:, j) = 0", [](Mm& x, const Mm& z) { x(c_p, Mm(1.0)) = z; }},
        {"S(i, :) = 0", [](Mm& x, const Mm& z) { x(Mm(3.0), c_p) = z; }},
        {"S(mask, :) = 0", [](Mm& x, const Mm& z) { x(logical_row({1, 0, 1, 0, 1, 1}), c_p) = z; }},
        {"S(full mask) = 0", [](Mm& x, const Mm& z) { x(mlogical(full(gt(x, Mm(2.0))))) = z; }},
        {"S(sparse mask) = 0", [&](Mm& x, const Mm& z) { x(sparse_mask(x)) = z; }},
        {"S(sparse mask, :) = 0", [](Mm& x, const Mm& z) { x(sparse(logical_row({0, 1, 1, 0, 0, 1})), c_p) = z; }},
    };
    // 6x7 with NaN, -0, Inf and stored zeros among its entries.
    auto target = [](bool complex) {
        const std::vector<int> at = {0, 1, 3, 8, 9, 14, 15, 20, 22, 29, 30, 35, 41};
        const std::vector<double> re = {3, NAN, 0, -0.0, 5, INFINITY, 1, 7, 0, 2.5, -4, 9, 6};
        Mm x(complex, 1, static_cast<int>(at.size()), 6, 7, qv_double);
        for (std::size_t k = 0; k < at.size(); ++k) {
            x.getindex()[k] = at[k];
            x.addr()[k] = re[k];
            if (complex)
                x.addi()[k] = k % 3 == 0 ? 1.5 : 0;
        }
        return x;
    };
    {
        // Nothing selected: the target stays as it was, stored zeros and all.
        Mm x(target(false), "S");
        x(Mm()) = Mm(0.0);
        EXPECT_EQ(x.getnnz(), target(false).getnnz());
    }
    for (const bool complex_target : {false, true})
        for (const bool complex_zero : {false, true}) {
            const Mm zero = complex_zero ? test::complex(1, 1, {0}, {0}) : Mm(0.0);
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + (complex_target ? ", complex target" : ", real target") +
                             (complex_zero ? ", complex zero" : ""));
                Mm x(target(complex_target), "S");
                Mm f(full(x), "F");
                c.assign(x, zero);
                c.assign(f, zero);
                expect_sparse_form_of(x, f, complex_target || complex_zero);
            }
        }

    // At 46340 x 46340: the entries left are those the index does not
    // select.
    const int n = 46340;
    std::vector<int> at;
    const Mm big = spread_over_the_largest(7, 5, at);
    const Mm rows_picked = colon(1.0, 7.0, double(n)), cols_picked = colon(5.0, 11.0, double(n));
    struct Large {
        const char* what;
        std::function<void(Mm& x)> assign;
        std::function<bool(int row, int col, double v)> selects;
    };
    const std::vector<Large> large = {
        {"S(:) = 0", [](Mm& x) { x(c_p) = Mm(0.0); }, [](int, int, double) { return true; }},
        {"S(:, :) = 0", [](Mm& x) { x(c_p, c_p) = Mm(0.0); }, [](int, int, double) { return true; }},
        {"S(S > 3) = 0", [](Mm& x) { x(gt(x, Mm(3.0))) = Mm(0.0); }, [](int, int, double v) { return v > 3; }},
        {"S(I, J) = 0", [&](Mm& x) { x(rows_picked, cols_picked) = Mm(0.0); },
         [](int r, int c, double) { return r % 7 == 0 && c >= 4 && (c - 4) % 11 == 0; }},
        {"S(:, 2:300:end) = 0", [&](Mm& x) { x(c_p, colon(2.0, 300.0, double(n))) = Mm(0.0); },
         [](int, int c, double) { return c >= 1 && (c - 1) % 300 == 0; }},
    };
    for (const Large& c : large) {
        SCOPED_TRACE(std::string(c.what) + " at 46340 x 46340");
        Mm x(big, "S");
        ASSERT_EQ(test::error_of([&] { c.assign(x); }), "");
        ASSERT_TRUE(x.issparse());
        EXPECT_EQ(extents(x), (std::vector<int>{n, n}));
        std::vector<int> left;
        for (std::size_t k = 0; k < at.size(); ++k)
            if (!c.selects(at[k] % n, at[k] / n, big.addr()[k]))
                left.push_back(at[k]);
        ASSERT_EQ(x.getnnz(), static_cast<int>(left.size()));
        EXPECT_EQ(std::vector<int>(x.getindex(), x.getindex() + x.getnnz()), left);
    }
}

// A sparse source into a sparse target, by every kind of index: the same
// elements as the assignment of its full form into the full target, in
// sparse form. The source was made full first, so that S(:, :) = 2 * S of
// a 46340^2 value, or 3000 of its columns from another, were refused with
// "full: matrix too large".
TEST(IndexAssign, SparseSourceIntoASparseTarget)
{
    // rows x cols with every third element stored, -0 and stored zeros among them.
    auto made = [](int rows, int cols, int seed, bool complex) {
        Mm f(complex, 0, 0, rows, cols, qv_double);
        for (int k = 0; k < rows * cols; ++k) {
            f.addr()[k] = (k + seed) % 3 ? 0 : (k * 7 + seed) % 11 - 5;
            if (complex)
                f.addi()[k] = (k + seed) % 5 ? 0 : 2;
        }
        Mm sp = sparse(f);
        return sp;
    };
    struct Case {
        const char* what;
        int rows, cols;  // the source's extents
        std::function<void(Mm& x, const Mm& y)> assign;
    };
    const std::vector<Case> cases = {
        {"S(:) = T(:)", 42, 1, [](Mm& x, const Mm& y) { x(c_p) = y; }},
        {"S(:, :) = T", 6, 7, [](Mm& x, const Mm& y) { x(c_p, c_p) = y; }},
        {"S(I, J) = T", 3, 2, [](Mm& x, const Mm& y) { x(test::row({5, 1, 3}), test::row({7, 2})) = y; }},
        {"S(I, J) = T, I repeating", 3, 2, [](Mm& x, const Mm& y) { x(test::row({5, 1, 5}), test::row({7, 2})) = y; }},
        {"S(k) = T", 1, 4, [](Mm& x, const Mm& y) { x(test::row({40, 2, 17, 9})) = y; }},
        {"S(k) = T, k repeating", 1, 4, [](Mm& x, const Mm& y) { x(test::row({40, 2, 40, 9})) = y; }},
        {"S(:, j) = T", 6, 1, [](Mm& x, const Mm& y) { x(c_p, Mm(4.0)) = y; }},
        {"S(i, :) = T", 1, 7, [](Mm& x, const Mm& y) { x(Mm(2.0), c_p) = y; }},
        {"S(mask, :) = T", 3, 7, [](Mm& x, const Mm& y) { x(logical_row({1, 0, 0, 1, 0, 1}), c_p) = y; }},
        {"S(:, :, 1) = T", 6, 7, [](Mm& x, const Mm& y) { x(c_p, c_p, Mm(1.0)) = y; }},
        {"S(I, 8) = T (grows)", 2, 1, [](Mm& x, const Mm& y) { x(test::row({1, 6}), Mm(8.0)) = y; }},
        {"S(2, 3) = T (one element)", 1, 1, [](Mm& x, const Mm& y) { x(Mm(2.0), Mm(3.0)) = y; }},
    };
    for (const bool complex_target : {false, true})
        for (const bool complex_source : {false, true})
            for (const int seed : {0, 1, 2})
                for (const Case& c : cases) {
                    SCOPED_TRACE(std::string(c.what) + (complex_target ? ", complex target" : ", real target") +
                                 (complex_source ? ", complex source" : "") + ", seed " + std::to_string(seed));
                    Mm x(made(6, 7, 1, complex_target), "S");
                    Mm f(full(x), "F");
                    const Mm y = made(c.rows, c.cols, seed, complex_source);
                    c.assign(x, y);
                    c.assign(f, full(y));
                    expect_sparse_form_of(x, f, complex_target || complex_source);
                }

    // At 46340 x 46340.
    const int n = 46340;
    std::vector<int> at;
    const Mm big = spread_over_the_largest(11, 9, at);
    {
        SCOPED_TRACE("S(:, :) = 2 * S");
        Mm x(big, "S");
        ASSERT_EQ(test::error_of([&] { x(c_p, c_p) = times(big, Mm(2.0)); }), "");
        ASSERT_EQ(x.getnnz(), big.getnnz());
        for (int k = 0; k < x.getnnz(); ++k)
            ASSERT_EQ(x.addr()[k], 2 * big.addr()[k]) << k;
    }
    {
        SCOPED_TRACE("S(:, 1:3000) = S(:, 1001:4000)");
        Mm x(big, "S");
        ASSERT_EQ(test::error_of([&] { x(c_p, colon(1.0, 3000.0)) = Mm(big(c_p, colon(1001.0, 4000.0))); }), "");
        std::vector<int> want;
        for (int p : at) {
            const int c = p / n;
            if (c >= 3000)
                want.push_back(p);
            if (c >= 1000 && c < 4000)
                want.push_back(p - 1000 * n);
        }
        std::sort(want.begin(), want.end());
        EXPECT_EQ(std::vector<int>(x.getindex(), x.getindex() + x.getnnz()), want);
    }
}

// A sparse value grown past the most its positions can count is refused
// with the sparse limit's own message, not "Out of memory!", and is left
// as it was; one grown to just below the limit answers.
TEST(IndexAssign, SparseGrowthToTheLimitOfItsPositions)
{
    const Mm base = speye(Mm(46340.0));
    struct Case {
        const char* what;
        std::function<void(Mm& x)> assign;
        std::string error;
        std::vector<int> extents;  // afterwards
        int stored;
    };
    const std::vector<Case> cases = {
        {"S(46341, 46341) = 1", [](Mm& x) { x(Mm(46341.0), Mm(46341.0)) = Mm(1.0); },
         "sparse: 46341x46341 has more than 2147483647 elements, the most a sparse value holds", {46340, 46340},
         46340},
        {"S(1, 50000) = 2", [](Mm& x) { x(Mm(1.0), Mm(50000.0)) = Mm(2.0); },
         "sparse: 46340x50000 has more than 2147483647 elements, the most a sparse value holds", {46340, 46340},
         46340},
        {"S(:, 46341) = S(:, 1)", [&](Mm& x) { x(c_p, Mm(46341.0)) = Mm(base(c_p, Mm(1.0))); }, "", {46340, 46341},
         46341},
        {"S(46341, 1) = 0", [](Mm& x) { x(Mm(46341.0), Mm(1.0)) = Mm(0.0); }, "", {46341, 46340}, 46340},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(base, "S");
        EXPECT_EQ(test::error_of([&] { c.assign(x); }), c.error);
        ASSERT_TRUE(x.issparse());
        EXPECT_EQ(extents(x), c.extents);
        EXPECT_EQ(x.getnnz(), c.stored);
    }
}

// Zeros and sparse sources assigned by two indices into sparse values whose
// extent far outnumbers their entries (the selected subscripts are then
// searched, not marked) and into square ones (marked): the same elements
// as the assignment into the full form, on a target of its own and on one
// that shares its storage.
TEST(IndexAssign, TwoIndicesIntoTallAndWideSparseValues)
{
    auto spread = [](int rows, int cols) {
        // Entries in the first two and the last row and column, and spread.
        std::vector<int> at = {0, 1, rows - 1, rows, rows + 1, 2 * rows - 1, rows * cols - 1, rows * cols - rows};
        for (int k = 0; k < 12; ++k)
            at.push_back(static_cast<int>((std::int64_t{k} * 1237 + 3) % (std::int64_t{rows} * cols)));
        std::sort(at.begin(), at.end());
        at.erase(std::unique(at.begin(), at.end()), at.end());
        std::vector<double> v;
        for (std::size_t k = 0; k < at.size(); ++k)
            v.push_back(k % 5 - 2.5);
        return test::sparse_at(rows, cols, at, v);
    };
    struct Case {
        const char* what;
        std::function<void(Mm& x)> assign;
    };
    const std::vector<Case> cases = {
        {"S([2 end 1], :) = 0", [](Mm& x) { x(test::row({2, double(x.rows()), 1}), c_p) = Mm(0.0); }},
        {"S(:, [end 2 1]) = 0", [](Mm& x) { x(c_p, test::row({double(x.cols()), 2, 1})) = Mm(0.0); }},
        {"S([end 1], [1 end]) = 0",
         [](Mm& x) { x(test::row({double(x.rows()), 1}), test::row({1, double(x.cols())})) = Mm(0.0); }},
        {"S(:, :) = 0", [](Mm& x) { x(c_p, c_p) = Mm(0.0); }},
        {"S(1:2, 1:2) = sparse([0 7; 8 0])",
         [](Mm& x) { x(test::row({1, 2}), test::row({1, 2})) = sparse(test::real(2, 2, {0, 8, 7, 0})); }},
        {"S(:, :) = -S", [](Mm& x) { x(c_p, c_p) = uminus(x); }},
    };
    for (const auto& [rows, cols] : std::vector<std::pair<int, int>>{{5000, 3}, {3, 5000}, {80, 80}})
        for (const bool shared : {false, true})
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + " on " + std::to_string(rows) + "x" + std::to_string(cols) +
                             (shared ? ", shared" : ""));
                Mm x(spread(rows, cols), "S");
                const Mm before = full(x);
                Mm keep;
                if (shared)
                    keep = x;
                Mm f(full(x), "F");
                const std::string got = test::error_of([&] { c.assign(x); });
                EXPECT_EQ(got, test::error_of([&] { c.assign(f); }));
                if (!got.empty())
                    continue;
                ASSERT_TRUE(x.issparse());
                EXPECT_EQ(extents(x), extents(f));
                EXPECT_EQ(values(full(x)), values(f));
                EXPECT_TRUE(std::is_sorted(x.getindex(), x.getindex() + x.getnnz()));
                if (shared) {
                    EXPECT_EQ(values(full(keep)), values(before));
                }
            }
}

// A row and a column of 2^31 - 1 elements (the longest line a sparse
// value holds) storing three entries. An element assigned within it was
// refused with "Out of memory!" (the count was held against the full
// limit), an index of 2^31 or more named the last element, and S(:, 2) = 1
// on the column passed the sparse limit (the count, held at 2^31 - 1 once
// past the full limit, read as fitting) and was then refused as memory.
// Two indices, one of them a colon along the line, walked all 2^31 - 1
// combinations before assigning and marked every subscript of the line
// (S(:, :) = 0 and S(1, :) = 0 wanted 2 GB of marks).
// Each statement runs on a target of its own and on one that shares its
// storage, which must keep its three entries.
TEST(IndexAssign, SparseLinesOfTheLongestExtent)
{
    constexpr int longest = 2147483647;
    auto line = [](bool row) {
        return test::sparse_at(row ? 1 : longest, row ? longest : 1, {0, 1000, longest - 1}, {2, 0.25, 3});
    };
    struct Case {
        const char* what;
        std::function<void(Mm& x)> assign;
        std::string error;  // "" where it answers; %s stands for the extents past the limit
        std::vector<int> stored;  // positions afterwards, 0-based
        std::vector<double> values;
    };
    const double last = longest;
    // Two indices: the line's index along it, 1 across it.
    const Mm one(1.0);
    auto along = [&one](Mm& x, const Mm& i) { return x.rows() == 1 ? x(one, i) : x(i, one); };
    const std::vector<Case> cases = {
        {"S(:, :) = 0", [](Mm& x) { x(c_p, c_p) = Mm(0.0); }, "", {}, {}},
        {"S(1, :) or S(:, 1) = 0", [&](Mm& x) { along(x, c_p) = Mm(0.0); }, "", {}, {}},
        {"S(:, :) = 2 * S", [](Mm& x) { x(c_p, c_p) = times(x, Mm(2.0)); }, "", {0, 1000, longest - 1},
         {4, 0.5, 6}},
        {"S along [1 1001] = 0", [&](Mm& x) { along(x, test::row({1, 1001})) = Mm(0.0); }, "", {longest - 1}, {3}},
        {"S along [2 end] = 7", [&](Mm& x) { along(x, test::row({2, last})) = Mm(7.0); }, "",
         {0, 1, 1000, longest - 1}, {2, 7, 0.25, 7}},
        {"S along [2 end] = [5 6]", [&](Mm& x) { along(x, test::row({2, last})) = test::row({5, 6}); }, "",
         {0, 1, 1000, longest - 1}, {2, 5, 0.25, 6}},
        {"S(end - 1) = 5", [&](Mm& x) { x(Mm(last - 1)) = Mm(5.0); }, "", {0, 1000, longest - 2, longest - 1},
         {2, 0.25, 5, 3}},
        {"S(end) = 0", [&](Mm& x) { x(Mm(last)) = Mm(0.0); }, "", {0, 1000}, {2, 0.25}},
        {"S(end) = 7", [&](Mm& x) { x(Mm(last)) = Mm(7.0); }, "", {0, 1000, longest - 1}, {2, 0.25, 7}},
        {"S(S > 0.5) = 0", [&](Mm& x) { x(x > Mm(0.5)) = Mm(0.0); }, "", {1000}, {0.25}},
        {"S(S == 0.25) = 1", [&](Mm& x) { x(x == Mm(0.25)) = Mm(1.0); }, "", {0, 1000, longest - 1}, {2, 1, 3}},
        {"S([1 end]) = [4 6]", [&](Mm& x) { x(test::row({1, last})) = test::row({4, 6}); }, "",
         {0, 1000, longest - 1}, {4, 0.25, 6}},
        {"S(2^31) = 1", [&](Mm& x) { x(Mm(2147483648.0)) = Mm(1.0); }, "line:2147483648", {0, 1000, longest - 1},
         {2, 0.25, 3}},
        {"S(1e10) = 1", [&](Mm& x) { x(Mm(1e10)) = Mm(1.0); }, "line:2147483648", {0, 1000, longest - 1},
         {2, 0.25, 3}},
        {"S(end + 1) = 0", [&](Mm& x) { x(Mm(last + 1)) = Mm(0.0); }, "line:2147483648", {0, 1000, longest - 1},
         {2, 0.25, 3}},
        {"S along the line: end + 1 = 1", [&](Mm& x) {
             if (x.rows() == 1)
                 x(Mm(1.0), Mm(last + 1)) = Mm(1.0);
             else
                 x(Mm(last + 1), Mm(1.0)) = Mm(1.0);
         },
         "line:2147483648", {0, 1000, longest - 1}, {2, 0.25, 3}},
        {"S across the line: (:, 2) or (2, :) = 1", [&](Mm& x) {
             if (x.rows() == 1)
                 x(Mm(2.0), c_p) = Mm(1.0);
             else
                 x(c_p, Mm(2.0)) = Mm(1.0);
         },
         "across:2", {0, 1000, longest - 1}, {2, 0.25, 3}},
    };
    for (const bool row : {true, false})
        for (const bool shared : {false, true})
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + (row ? ", 1 x 2^31-1" : ", 2^31-1 x 1") +
                             (shared ? ", shared" : ", unshared"));
                Mm x(line(row), "S");
                Mm keep;
                if (shared)
                    keep = x;
                std::string want = c.error;
                if (want.rfind("line:", 0) == 0) {
                    const std::string n = want.substr(5);
                    want = "sparse: " + (row ? "1x" + n : n + "x1") +
                           " has more than 2147483647 elements, the most a sparse value holds";
                } else if (want.rfind("across:", 0) == 0) {
                    const std::string n = want.substr(7), l = std::to_string(longest);
                    want = "sparse: " + (row ? n + "x" + l : l + "x" + n) +
                           " has more than 2147483647 elements, the most a sparse value holds";
                }
                EXPECT_EQ(test::error_of([&] { c.assign(x); }), want);
                ASSERT_TRUE(x.issparse());
                EXPECT_EQ(extents(x), row ? (std::vector<int>{1, longest}) : (std::vector<int>{longest, 1}));
                EXPECT_EQ(std::vector<int>(x.getindex(), x.getindex() + x.getnnz()), c.stored);
                EXPECT_EQ(std::vector<double>(x.addr(), x.addr() + x.getnnz()), c.values);
                if (shared) {
                    EXPECT_EQ(std::vector<int>(keep.getindex(), keep.getindex() + keep.getnnz()),
                              (std::vector<int>{0, 1000, longest - 1}));
                    EXPECT_EQ(std::vector<double>(keep.addr(), keep.addr() + keep.getnnz()),
                              (std::vector<double>{2, 0.25, 3}));
                }
            }
}

// Ranges over the longest sparse lines and the largest square as the
// places of an assignment of zero, of a sparse source and of [] (one and
// two indices): the range was written out and listed (S(1:2.5e8) = 0 of
// the longest row said "Out of memory!" under a 3 GB limit). A range whose
// elements were never written is taken as the span it stands for: the
// target ends as the same statement leaves it with the range written out
// (the general path), as a plain model of the stored entries says, the
// range stays unwritten, and a target sharing the storage keeps it.
TEST(IndexAssign, RangesOverTheLongestSparseLinesAsSpans)
{
    constexpr int longest = 2147483647, n = 46340;
    const auto bases = test::largest_sparse_values();
    enum What { zero, twice, removed };
    struct Case {
        const char* what;
        What assign;
        double a, b;  // rows, or the one index; -1: a colon
        double c, d;  // columns; 0: no second index, -1: a colon
    };
    const double L = longest, N = n, S = double(n) * n;
    const std::vector<Case> along = {
        {"(1:2e6) = 0", zero, 1, 2e6, 0, 0},
        {"(end-2e6+1:end) = 0", zero, L - 2e6 + 1, L, 0, 0},
        {"(1:2e6) = 2 * S(1:2e6)", twice, 1, 2e6, 0, 0},
        {"(1001:1064) = 2 * S(1001:1064)", twice, 1001, 1064, 0, 0},
        {"(1:2e6) = []", removed, 1, 2e6, 0, 0},
        {"(end-2e6+1:end) = []", removed, L - 2e6 + 1, L, 0, 0},
        {"(1001:1064) = []", removed, 1001, 1064, 0, 0},
    };
    const std::vector<Case> squares = {
        {"S(1, 1:end) = 0", zero, 1, 1, 1, N},
        {"S(1:end, end) = 0", zero, 1, N, N, N},
        {"S(2:100, 1:end) = 2 * S(2:100, 1:end)", twice, 2, 100, 1, N},
        {"S(end-1e6+1:end) = 0", zero, S - 1e6 + 1, S, 0, 0},
        {"S(end-1e6+1:end) = 2 * S(end-1e6+1:end)", twice, S - 1e6 + 1, S, 0, 0},
        {"S(:, 1:2) = []", removed, -1, -1, 1, 2},
        {"S(:, end-99:end) = []", removed, -1, -1, N - 99, N},
        {"S(1:100, :) = []", removed, 1, 100, -1, -1},
    };
    using test::range;
    using test::unwritten;
    using entries = std::vector<std::pair<int, double>>;
    auto entries_of = [](const Mm& x) {
        entries e;
        for (int k = 0; k < x.getnnz(); ++k)
            e.push_back({x.getindex()[k], x.addr()[k]});
        return e;
    };
    for (const auto& [name, value] : bases) {
        const bool square = value.rows() == value.cols(), row = value.rows() == 1;
        std::vector<Case> cases = square ? squares : std::vector<Case>{};
        for (const Case& c : along) {
            // By one index, and along the line by two with 1 and a colon across.
            if (!square) {
                cases.push_back(c);
                for (const double across : {1.0, -1.0})
                    cases.push_back(row ? Case{c.what, c.assign, across, across, c.a, c.b}
                                        : Case{c.what, c.assign, c.a, c.b, across, across});
            }
        }
        for (const Case& c : cases)
            for (const bool shared : {false, true}) {
                const bool one = c.c == 0;
                SCOPED_TRACE(std::string(name) + ": S" + (square ? "" : c.what) + (square ? c.what : "") +
                             (one ? "" : c.a == 1 && c.b == 1 && !square ? " by (1, r)" : " by two indices") +
                             (shared ? ", shared" : ""));
                Mm runs[2];
                auto run = [&](bool written) {
                    Mm x(value, "S");
                    Mm keep;
                    if (shared)
                        keep = x;
                    Mm ranges[2];
                    const Mm& i = c.a < 0 ? c_p : (ranges[0] = range(c.a, c.b, written));
                    const Mm& j = one || c.c < 0 ? c_p : (ranges[1] = range(c.c, c.d, written));
                    const std::string e = test::error_of([&] {
                        Mm y = c.assign == zero ? Mm(0.0)
                             : c.assign == removed ? x_M
                                                   : times(one ? Mm(x(i)) : Mm(x(i, j)), Mm(2.0));
                        if (one)
                            x(i) = y;
                        else
                            x(i, j) = y;
                    });
                    if (!written) {
                        runs[0] = ranges[0];
                        runs[1] = ranges[1];
                    }
                    if (shared) {
                        EXPECT_EQ(entries_of(keep), entries_of(value)) << "the shared copy changed";
                    }
                    return std::make_pair(e, x);
                };
                const auto [got_error, got] = run(false);
                const auto [want_error, want] = run(true);
                ASSERT_EQ(got_error, "");
                ASSERT_EQ(want_error, "");
                EXPECT_TRUE(unwritten(runs[0]) && unwritten(runs[1])) << "the assignment wrote the range";
                ASSERT_TRUE(got.issparse());
                EXPECT_EQ(extents(got), extents(want));
                EXPECT_EQ(entries_of(got), entries_of(want));
                // The model: each stored entry by its row and column, and
                // the window the indices select.
                const std::int64_t rows = value.rows(), cols = value.cols();
                const double a = c.a < 0 ? 1 : c.a, b = c.a < 0 ? double(rows) : c.b;
                const double cc = c.c <= 0 ? 1 : c.c, d = c.c <= 0 ? double(cols) : c.d;
                // What goes when [] is assigned: the dimension whose index
                // does not name every place (the one index: along the line).
                const bool rows_go = one ? !row : !(a == 1 && b == double(rows));
                const double first = rows_go || one ? a : cc;
                const double gone = rows_go || one ? b - a + 1 : d - cc + 1;
                const std::int64_t new_rows = c.assign == removed && rows_go ? rows - std::int64_t(gone) : rows;
                const std::int64_t new_cols = c.assign == removed && !rows_go ? cols - std::int64_t(gone) : cols;
                entries want_model;
                for (const auto& [p, v] : entries_of(value)) {
                    std::int64_t i = p % rows, j = p / rows;
                    const bool in = one ? p + 1 >= a && p + 1 <= b
                                        : i + 1 >= a && i + 1 <= b && j + 1 >= cc && j + 1 <= d;
                    if (c.assign == twice) {
                        want_model.push_back({p, in ? 2 * v : v});
                        continue;
                    }
                    if (in)
                        continue;
                    if (c.assign == removed) {
                        std::int64_t& k = rows_go ? i : j;
                        if (double(k) + 1 > first)
                            k -= std::int64_t(gone);
                    }
                    want_model.push_back({static_cast<int>(i + j * new_rows), v});
                }
                EXPECT_EQ(extents(got), (std::vector<int>{int(new_rows), int(new_cols)}));
                EXPECT_EQ(entries_of(got), want_model);
            }
    }
    // A run past the elements: a sparse matrix refuses it at the first
    // place past them, a vector grows to its last, as with the range
    // written out.
    struct Past {
        const char* what;
        Mm target;
        double a, b;
        bool refused;
    };
    const std::vector<Past> past = {
        {"46340 x 46340 sparse, S(end-63:end+1) = 7", bases[2].second, S - 63, S + 1, true},
        {"1 x 1000 sparse, S(990:1100) = 7", test::sparse_at(1, 1000, {0, 999}, {1, 2}), 990, 1100, false},
        {"1000 x 1 sparse, S(1001:1100) = 7", test::sparse_at(1000, 1, {0, 999}, {1, 2}), 1001, 1100, false},
        {"1 x 10 full, A(5:100) = 7", test::counting({1, 10}), 5, 100, false},
    };
    for (const Past& c : past) {
        SCOPED_TRACE(c.what);
        Mm got(c.target, "S"), want(c.target, "S");
        const Mm r = range(c.a, c.b, false), written = range(c.a, c.b, true);
        const std::string got_error = test::error_of([&] { got(r) = Mm(7.0); });
        EXPECT_EQ(got_error, test::error_of([&] { want(written) = Mm(7.0); }));
        EXPECT_EQ(!got_error.empty(), c.refused) << got_error;
        EXPECT_TRUE(unwritten(r)) << "the assignment wrote the range";
        EXPECT_EQ(extents(got), extents(want));
        EXPECT_EQ(test::fingerprint(got), test::fingerprint(want));
    }
}

TEST(IndexAssign, CellTargets)
{
    Mm c(cell(Mm(1.0), Mm(2.0)), "c");
    c.br(Mm(4.0)) = TM("a");
    ASSERT_EQ(extents(c), (std::vector<int>{1, 4}));
    EXPECT_EQ(c.mr(3).gettype(), qv_double) << "a new cell element is an empty double";
    EXPECT_EQ(c.mr(3).size(), 0);
    EXPECT_TRUE(c.mr(4).isstr());
    c.br(Mm(2.0)) = x_M;
    EXPECT_EQ(c.size(), 4) << "a brace store of [] stores an empty element";
    c(Mm(1.0)) = Mm(5.0);
    EXPECT_EQ(c.mr(1).r(), 5) << "a number into a cell through parentheses becomes an element";
    Mm e(Mm(), "e");
    e.br(Mm(2.0)) = TM("a");
    EXPECT_EQ(e.gettype(), qv_cell);
    EXPECT_EQ(extents(e), (std::vector<int>{1, 2}));
    Mm grid(Mm(0, 0, 0, 2, 2, qv_cell), "grid");
    grid.br(Mm(2.0), Mm(3.0)) = Mm(1.0);
    EXPECT_EQ(extents(grid), (std::vector<int>{2, 3}));
    EXPECT_EQ(grid.mr(2, 3).r(), 1);
    EXPECT_EQ(grid.mr(1, 3).gettype(), qv_double);
}

TEST(IndexAssign, CellElementIntoItsOwnCell)
{
    Mm c(cell(Mm(1.0), Mm(2.0)), "c");
    c.mr(1) = Mm(1.0);
    c.br(Mm(2.0)) = c;
    ASSERT_EQ(c.mr(2).gettype(), qv_cell);
    EXPECT_EQ(c.mr(2).size(), 2);
    EXPECT_NE(c.mr(2).getpr((Mm*)nullptr), c.getpr((Mm*)nullptr)) << "the element holds the old cell, no cycle";
    // The source lives in the storage the growth replaces.
    c.br(Mm(7.0)) = c.mr(2);
    ASSERT_EQ(c.size(), 7);
    EXPECT_EQ(c.mr(7).size(), 2);
    c.br(Mm(1.0)) = c.mr(1);
    EXPECT_EQ(c.mr(1).r(), 1);
    EXPECT_ERROR(c(Mm(3.0)) = c.mr(2), "c(=3)=(temporary): size((temporary)) different than size(=3)")
        << "through parentheses a cell source gives its elements";
    Mm one(cell(Mm(1.0)), "one");
    one(Mm(2.0)) = one;
    EXPECT_EQ(one.size(), 2);
}

TEST(IndexAssign, CopyOnWriteAndGrowthInPlace)
{
    Mm x(counting({1, 3}), "x");
    Mm y(x, "y");
    x(Mm(2.0)) = Mm(9.0);
    EXPECT_EQ(values(y), (std::vector<double>{1, 2, 3})) << "the other holder keeps its elements";
    EXPECT_EQ(values(x), (std::vector<double>{1, 9, 3}));
    const double* block = x.addr();
    x(Mm(6.0)) = Mm(1.0);
    EXPECT_EQ(x.addr(), block) << "growth within the spare room keeps the block";
    Mm z(x);
    x(Mm(7.0)) = Mm(1.0);
    EXPECT_NE(x.addr(), block) << "a shared target gets its own block";
    EXPECT_EQ(z.size(), 6);

    Mm c(cell(Mm(1.0), Mm(4.0)), "c");
    for (int k = 1; k <= 4; ++k)
        c.mr(k) = Mm(double(k));
    c(test::row({3, 4})) = x_M;
    c(Mm(4.0)) = Mm(0, 0, 0, 1, 1, qv_cell);
    ASSERT_EQ(c.size(), 4);
    EXPECT_EQ(c.mr(3).size(), 0) << "a slot freed by deletion comes back empty";
    EXPECT_EQ(c.mr(3).gettype(), qv_double);
}

TEST(IndexAssign, EnginesCalledDirectly)
{
    Mm x = counting({2, 2});
    x.vwcopy2(Mm(0.0), Mm(1.0), c_p);
    EXPECT_EQ(values(x), (std::vector<double>{0, 2, 0, 4}));
    x.vwcopy1(test::bytes(1, 1, {5}), Mm(4.0));
    EXPECT_EQ(values(x)[3], 5) << "the source is converted to the target's type";
    Mm n = zeros({1, 2, 2});
    n.vwcopy1(Mm(3.0), Mm(2.0));
    EXPECT_EQ(values(n), (std::vector<double>{0, 3, 0, 0})) << "an N-d target takes the general form";
    Mm c(0, 0, 0, 1, 1, qv_cell);
    c.vwcopyn(Mr(Mr_brace, c, Mm(3.0)), Mm(1.0));
    EXPECT_EQ(c.size(), 3);
}

// x(end+1) = v, one element at a time: the elements and shape are those of
// the general path, and the room grows geometrically so that the block is
// replaced O(log n) times, not every few appends.
TEST(IndexAssign, AppendingOneAtATime)
{
    struct Case {
        const char* what;
        Mm start;
        std::vector<int> shape_after_one;
    };
    const std::vector<Case> cases = {
        {"0x0", Mm(), {1, 1}},
        {"row", counting({1, 3}), {1, 4}},
        {"column", counting({3, 1}), {4, 1}},
        {"1x1", Mm(5.0), {1, 2}},
        {"1x0", Mm(0, 0, 0, 1, 0, qv_double), {1, 1}},
        {"text", test::text("ab"), {1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.start, "x");
        x.deepcopy(x, qv_none);
        const M_types flags = x.getflags();
        const std::vector<double> before = values(x);
        x(Mm(before.size() + 1.0)) = Mm(0.5);
        EXPECT_EQ(extents(x), c.shape_after_one);
        std::vector<double> expected = before;
        expected.push_back(0.5);
        EXPECT_EQ(values(x), expected);
        EXPECT_EQ(x.isstr(), flags.str != 0);
        // Every reader sees the grown value: length looks at all four extents.
        EXPECT_EQ(x.length(), int(expected.size()));
        EXPECT_EQ(istrue(isempty(x)), 0);
    }

    Mm x(Mm(0, 0, 0, 1, 0, qv_double), "x");
    x.deepcopy(x, qv_none);
    int blocks = 0;
    const double* block = x.addr();
    const int n = 100000;
    for (int k = 1; k <= n; ++k) {
        x(Mm(double(k))) = Mm(0.5 * k);
        if (x.addr() != block) {
            ++blocks;
            block = x.addr();
        }
    }
    ASSERT_EQ(x.size(), n);
    for (int k = 1; k <= n; k += 997)
        ASSERT_EQ(x.addr()[k - 1], 0.5 * k);
    EXPECT_EQ(x.addr()[n - 1], 0.5 * n);
    EXPECT_LT(blocks, 40) << "each outgrowing gives half as much room again";
    EXPECT_GE(x.getp(), n);
    EXPECT_LE(x.getp(), n + n / 2 + 16);

    // A shared value is copied before it grows; the other holder keeps its size.
    Mm y(x, "y");
    x(Mm(n + 1.0)) = Mm(1.0);
    EXPECT_EQ(y.size(), n);
    EXPECT_EQ(x.size(), n + 1);
}

TEST_F(ReturningErrorHook, RefusedRoomForAnAppendChangesNothing)
{
    Mm x(Mm(0, 0, 0, 1, 0, qv_double), "x");
    x.deepcopy(x, qv_none);
    while (x.getp() > x.size())
        x(Mm(x.size() + 1.0)) = Mm(1.0);
    const std::string before = test::fingerprint(x);
    const int n = x.size();
    const Mm index(n + 1.0), value(2.0);
    qv_fail_allocation(1);
    x(index) = value;
    const bool refused = qv_allocation_failed();
    qv_fail_allocation(0);
    ASSERT_TRUE(refused);
    EXPECT_EQ(test::fingerprint(x), before);
    EXPECT_EQ(reports(), (std::vector<std::string>{"Out of memory!"}));
    x(index) = value;
    EXPECT_EQ(x.size(), n + 1);
    EXPECT_EQ(x.addr()[n], 2.0);
}

} // namespace
