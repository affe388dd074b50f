// The value type: storage rules, sharing, assignment and destruction.
#include "test_support.hpp"

#include <climits>
#include <vector>

namespace {

struct ShapeCase {
    const char* what;
    int complex, sparse, nzmax, nd;
    std::vector<int> dims;
    qv_matrix_types type;
    int ndims;
    std::vector<int> extents;  // all four
    int nnz, capacity;
};

TEST(Value, ShapedConstructionFollowsTheStorageRules)
{
    const std::vector<ShapeCase> cases = {
        {"empty request", 0, 0, 0, 2, {0, 5}, qv_double, 2, {0, 0, 0, 0}, 0, 8},
        {"2x3 double", 0, 0, 0, 2, {2, 3}, qv_double, 2, {2, 3, 1, 1}, 6, 14},
        {"complex 2x2", 1, 0, 0, 2, {2, 2}, qv_double, 2, {2, 2, 1, 1}, 4, 12},
        {"1x3 cell", 0, 0, 0, 2, {1, 3}, qv_cell, 2, {1, 3, 1, 1}, 3, 7},
        {"{2,1,4} keeps 3 dims", 0, 0, 0, 3, {2, 1, 4}, qv_double, 3, {2, 1, 4, 1}, 8, 16},
        {"{2,3,1,1} drops to 2", 0, 0, 0, 4, {2, 3, 1, 1}, qv_double, 2, {2, 3, 1, 1}, 6, 14},
        {"{2,3,1,5} keeps 4", 0, 0, 0, 4, {2, 3, 1, 5}, qv_uint8, 4, {2, 3, 1, 5}, 30, 38},
        {"sparse 0x4", 0, 1, 3, 2, {0, 4}, qv_double, 2, {0, 4, 0, 0}, 0, 11},
        {"sparse 3x4 nzmax 5", 0, 1, 5, 2, {3, 4}, qv_double, 2, {3, 4, 1, 1}, 5, 13},
        {"sparse 1x2 nzmax 9", 0, 1, 9, 2, {1, 2}, qv_double, 2, {1, 2, 1, 1}, 2, 17},
        {"sparse negative extent", 0, 1, 2, 2, {-3, 4}, qv_double, 2, {0, 4, 0, 0}, 0, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.complex, c.sparse, c.nzmax, c.nd, c.dims.data(), c.type);
        EXPECT_EQ(x.getndims(), c.ndims);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(x.getdims()[k], c.extents[k]) << "extent " << k;
        EXPECT_EQ(x.getnnz(), c.nnz);
        EXPECT_EQ(x.getp(), c.capacity);
        EXPECT_EQ(x.isc(), c.complex);
        EXPECT_EQ(x.issparse(), c.sparse);
        EXPECT_EQ(x.getindex() != nullptr, c.sparse != 0);
        EXPECT_EQ(x.gettype(), c.type);
        EXPECT_EQ(x.getname(), nullptr);
        EXPECT_EQ(x.dirty(), 0);
    }
}

TEST(Value, CellElementsAreEmptyDoublesSharingOneBlock)
{
    Mm c(0, 0, 0, 1, 3, qv_cell);
    Mm* e = c.getpr((Mm*)nullptr);
    for (int k = 0; k < c.getp(); ++k) {
        EXPECT_EQ(e[k].gettype(), qv_double);
        EXPECT_EQ(e[k].rows(), 0);
        EXPECT_GT(e[k].dirty(), 0) << "shared: a writer takes a copy first";
    }
    EXPECT_EQ(e[0].getpr((double*)nullptr), e[1].getpr((double*)nullptr));
    // Growing one element in place leaves the others empty.
    e[1].vwcopy1(Mm(7.0), Mm(3.0));
    EXPECT_EQ(test::values(e[1]), (std::vector<double>{0, 0, 7}));
    EXPECT_EQ(e[0].size(), 0);
    EXPECT_EQ(e[2].size(), 0);
    Mm d(0, 0, 0, 2, 2, qv_cell);
    EXPECT_EQ(d.getpr((Mm*)nullptr)[3].size(), 0) << "a new cell still starts empty";
}

TEST(Value, DefaultAndScalarConstruction)
{
    Mm e;
    EXPECT_EQ(e.getndims(), 2);
    EXPECT_EQ(e.rows(), 0);
    EXPECT_EQ(e.cols(), 0);
    EXPECT_EQ(e.gettype(), qv_double);
    EXPECT_EQ(e.getflags().scalar_var, 0);
    Mm s = 2.5;
    EXPECT_EQ(s.rows(), 1);
    EXPECT_EQ(s.cols(), 1);
    EXPECT_EQ(test::at(s, 0), 2.5);
    EXPECT_EQ(s.getflags().scalar_var, 1);
    Mm named("v", 2, 3);
    EXPECT_STREQ(named.getname(), "v");
    EXPECT_EQ(named.getnnz(), 6);
    EXPECT_EQ(named.getflags().scalar_var, 0);
}

TEST(Value, DeclaredVariableHasNoValueYet)
{
    Mm v(i_o, "v", 1);
    EXPECT_EQ(v.gettype(), qv_none);
    EXPECT_EQ(v.getflags().scalar_var, 1);
    EXPECT_EQ(v.isglobal(), 1);
    EXPECT_STREQ(v.getname(), "v");
    EXPECT_EQ(v.rows(), 0);
}

TEST(Value, CopiesShareStorageAndDropNameAndWorkspaceWords)
{
    Mm x = test::row({1, 2, 3});
    Mm named("y", 1, 1);
    Mm linked;
    named.setscopelink(&linked);
    named.getflags().persistent = 1;
    named.getflags().global = 1;

    named = x;
    EXPECT_EQ(x.dirty(), 1);
    EXPECT_EQ(named.getpr((double*)nullptr), x.getpr((double*)nullptr));
    EXPECT_STREQ(named.getname(), "y");
    EXPECT_EQ(named.getscopelink(), &linked);
    EXPECT_EQ(named.getflags().persistent, 1);
    EXPECT_EQ(named.getflags().global, 1);
    named.setscopelink(nullptr);

    Mm copy(named);
    EXPECT_EQ(copy.getname(), nullptr);
    EXPECT_EQ(copy.getflags().persistent, 0);
    EXPECT_EQ(copy.getflags().global, 0);
    EXPECT_EQ(x.dirty(), 2);

    Mm named_copy(named, "z");
    EXPECT_STREQ(named_copy.getname(), "z");
    EXPECT_EQ(named_copy.isglobal(), 1) << "a named copy of a global is global";
    EXPECT_EQ(named_copy.getflags().persistent, 0) << "but never persistent";
}

TEST(Value, SelfAssignmentKeepsTheCount)
{
    Mm x = test::row({1, 2});
    Mm y = x;
    Mm& alias = x;
    x = alias;
    EXPECT_EQ(x.dirty(), 1);
    EXPECT_EQ(test::at(x, 1), 2);
}

TEST(Value, ScalarVariableFlagFollowsTheContent)
{
    Mm v(i_o, "v", 0);
    v = 3.0;
    EXPECT_EQ(v.getflags().scalar_var, 1);
    v = test::row({1, 2});
    EXPECT_EQ(v.getflags().scalar_var, 0);
    v = 4.0;
    EXPECT_EQ(v.getflags().scalar_var, 0) << "once cleared it stays cleared";
    Mm w(i_o, "w", 0);
    w = test::complex(1, 1, {1}, {2});
    EXPECT_EQ(w.getflags().scalar_var, 0);
}

TEST(Value, AssigningAnElementIntoItsOwnCellIsSafe)
{
    Mm c(0, 0, 0, 1, 2, qv_cell);
    Mm* e = c.getpr((Mm*)nullptr);
    e[0] = test::row({7, 8, 9});
    // The element lives inside c's storage, which this assignment releases.
    c = e[0];
    EXPECT_EQ(c.gettype(), qv_double);
    EXPECT_EQ(c.cols(), 3);
    EXPECT_EQ(test::at(c, 2), 9);
    EXPECT_EQ(c.dirty(), 0);
}

TEST(Value, WritingThroughOneUnsharedCopyNeverChangesTheOther)
{
    Mm x = test::row({1, 2, 3});
    Mm y = x;
    // A writer makes its own block first; here by building a new value.
    y = test::row({1, 2, 3});
    *y.getpr((double*)nullptr, 2) = 20;
    EXPECT_EQ(test::at(x, 1), 2);
    EXPECT_EQ(test::at(y, 1), 20);
    EXPECT_EQ(x.dirty(), 0);
}

std::vector<std::string> debug_notices;
void record_debug(int code, const char* text) { debug_notices.push_back(std::string(1, char(code)) + text); }

TEST(Value, LastHolderOfANamedScalarVariableSendsTheDebugNotice)
{
    debug_notices.clear();
    qv_debug_handler_t old = qv_set_debug_handler(record_debug);
    qv_set_default_error_flags(0x8, 1);
    {
        Mm other;
        {
            Mm v(i_o, "v", 0);
            v = 5.0;
            other = v;
        }
        EXPECT_TRUE(debug_notices.empty()) << "the block is still shared";
        Mm w(i_o, "w", 0);
        w = 6.0;
    }
    qv_set_default_error_flags(0x8, 0);
    qv_set_debug_handler(old);
    ASSERT_EQ(debug_notices.size(), 1u);
    EXPECT_EQ(debug_notices[0], "sw");
}

TEST(Value, ImpossibleSizesRaiseOutOfMemoryBeforeTouchingStorage)
{
    const int huge[2] = {100000, 100000};
    EXPECT_ERROR(Mm(0, 0, 0, 2, huge, qv_double), "Out of memory!");
    EXPECT_ERROR(Mm(0, 1, 1, 2, huge, qv_double),
                 "sparse: 100000x100000 has more than 2147483647 elements, the most a sparse value holds");
    const int edge[2] = {1, INT_MAX - 7};
    EXPECT_ERROR(Mm(0, 0, 0, 2, edge, qv_uint8), "Out of memory!");
}

std::vector<std::string> returned_errors;
void returning_hook(const char* text) { returned_errors.push_back(text); }

TEST(Value, AfterOutOfMemoryWithAReturningHookTheValueIsAValidEmptyDouble)
{
    returned_errors.clear();
    qv_text_handler old = qv_set_error_handler(returning_hook);
    const int huge[3] = {100000, 100000, 7};
    Mm x(1, 0, 0, 3, huge, qv_uint8);
    Mm y = x;
    qv_set_error_handler(old);
    ASSERT_EQ(returned_errors.size(), 1u);
    EXPECT_EQ(returned_errors[0], "Out of memory!");
    EXPECT_EQ(x.getndims(), 2);
    EXPECT_EQ(x.rows(), 0);
    EXPECT_EQ(x.cols(), 0);
    EXPECT_EQ(x.gettype(), qv_double);
    EXPECT_EQ(x.isc(), 0);
    EXPECT_TRUE(x.hasstorage());
    EXPECT_EQ(x.dirty(), 1);
}

TEST(Value, HeapObjectsComeFromTheRuntimeAllocator)
{
    Mm* p = new Mm(3.0);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(p)[-1], 0) << "a pool block";
    delete p;
}

TEST(Value, TypedAccessorsAddressColumnMajorElements)
{
    Mm x = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(*x.getpr((double*)nullptr, 4), 4);
    EXPECT_EQ(*x.getpr((double*)nullptr, 2, 3), 6);
    Mm z = test::complex(2, 2, {1, 2, 3, 4}, {5, 6, 7, 8});
    EXPECT_EQ(*z.getpi((double*)nullptr, 1, 2), 7);
    Mm b = test::bytes(1, 3, {9, 8, 7});
    EXPECT_EQ(*b.getpr((unsigned char*)nullptr, 3), 7);
}

} // namespace

namespace {

TEST(Value, HugeExtentsNeverOverflowTheCount)
{
    const int four[4] = {2147483647, 2147483647, 2147483647, 2147483647};
    EXPECT_ERROR(Mm(0, 0, 0, 4, four, qv_double), "Out of memory!");
    const int with_zero[4] = {2147483647, 2147483647, 2147483647, 0};
    Mm empty(0, 0, 0, 4, with_zero, qv_double);
    EXPECT_EQ(empty.getnnz(), 0) << "a zero extent makes an empty value, however large the others";
    const int sparse_big[2] = {65536, 65536};
    EXPECT_ERROR(Mm(0, 1, 1, 2, sparse_big, qv_double),
                 "sparse: 65536x65536 has more than 2147483647 elements, the most a sparse value holds");
}

} // namespace

namespace {

// A plain 1x1 assigned to an unshared 1x1 is written where it is; the
// target keeps what assignment always keeps and takes the source's marks.
TEST(Value, ScalarAssignmentInPlaceKeepsWhatAssignmentKeeps)
{
    Mm x(Mm(1.0), "x");
    x.getflags().persistent = 1;
    const double* before = x.addr();
    Mm flag(1.0);
    flag.setlogical(1);
    x = flag;
    EXPECT_EQ(x.addr(), before) << "no new block for a scalar into a scalar";
    EXPECT_EQ(x.r(), 1);
    EXPECT_EQ(x.islogical(), 1) << "the source's marks come along";
    EXPECT_EQ(x.getflags().persistent, 1);
    EXPECT_STREQ(x.getname(), "x");
    // A shared target is not written in place: its other holder keeps 1.
    Mm other = x;
    x = Mm(5.0);
    EXPECT_EQ(other.r(), 1);
    EXPECT_EQ(x.r(), 5);
    // Every other pair goes the general way.
    x = test::row({1, 2});
    EXPECT_EQ(x.cols(), 2);
    x = Mm(3.0);
    EXPECT_EQ(x.size(), 1);
}

TEST(Value, MovesTakeTheStorageAndLeaveAnEmptyValue)
{
    Mm a = test::row({1, 2, 3});
    const double* data = a.addr();
    Mm b(std::move(a));
    EXPECT_EQ(b.addr(), data);
    EXPECT_EQ(b.dirty(), 0) << "the share was handed on, not counted twice";
    EXPECT_EQ(a.size(), 0);
    EXPECT_EQ(a.gettype(), qv_double);
    Mm c(Mm(0.0), "c");
    c = std::move(b);
    EXPECT_EQ(c.addr(), data);
    EXPECT_STREQ(c.getname(), "c") << "a moved value keeps the target's name";
    EXPECT_EQ(test::values(c), (std::vector<double>{1, 2, 3}));
}

} // namespace
