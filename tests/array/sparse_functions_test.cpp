// find and the sparse constructors, coordinate lists and column orders.
#include "test_support.hpp"

#include <algorithm>
#include <vector>

namespace {

std::vector<int> positions(const Mm& s) { return std::vector<int>(s.getindex(), s.getindex() + s.getnnz()); }

TEST(Find, LinearIndicesAndOrientation)
{
    struct Case {
        const char* what;
        Mm x;
        std::vector<double> expected;
        std::vector<int> extents;
    };
    const std::vector<Case> cases = {
        {"find([0 3 0 4])", test::row({0, 3, 0, 4}), {2, 4}, {1, 2}},
        {"find([0; 3])", test::real(2, 1, {0, 3}), {2}, {1, 1}},
        {"find([NaN 0])", test::row({NAN, 0}), {1}, {1, 1}},
        {"find(uint8([0 7]))", test::bytes(1, 2, {0, 7}), {2}, {1, 1}},
        {"find(zeros(1,3))", test::row({0, 0, 0}), {}, {0, 0}},
        {"find of sparse", sparse(test::row({0, 5, 0, 6})), {2, 4}, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm r = find(c.x);
        EXPECT_EQ(test::values(r), c.expected);
        EXPECT_EQ(test::extents(r), c.extents);
    }
    EXPECT_ERROR(find(Mm(0, 0, 0, 1, 1, qv_cell)), "find: numeric data expected, but matrix (temporary) is not");
    Mm i, j, v;
    find(test::real(2, 2, {0, 3, 2, 0}), i_o, i, j, v);
    EXPECT_EQ(test::values(i), (std::vector<double>{2, 1}));
    EXPECT_EQ(test::values(j), (std::vector<double>{1, 2}));
    EXPECT_EQ(test::values(v), (std::vector<double>{3, 2}));
    EXPECT_EQ(test::values(nonzeros(test::row({0, 4, 0, 5}))), (std::vector<double>{4, 5}));
    EXPECT_EQ(nonzeros(test::row({0, 4, 0, 5})).cols(), 1);
}

TEST(SparseQueries, CountsAndRoom)
{
    Mm a = spalloc(Mm(3.0), Mm(3.0), Mm(4.0));
    EXPECT_EQ(nnz(a).r(), 0);
    EXPECT_EQ(nzmax(a).r(), 5);
    EXPECT_EQ(full(a).getnnz(), 9);
    EXPECT_EQ(nzmax(sparse(test::row({1, 0, 2}))).r(), 3);
    EXPECT_EQ(nzmax(zeros(2.0, 3.0)).r(), 6);
    EXPECT_ERROR(spalloc(Mm(1.0)), "spalloc does not accept 1 input");
    EXPECT_ERROR(spalloc(Mm(1.0), Mm(2.0)), "spalloc does not accept 2 inputs");
}

TEST(SparseConstructors, Patterns)
{
    Mm e = speye(Mm(2.0), Mm(3.0));
    EXPECT_EQ(positions(e), (std::vector<int>{0, 3}));
    EXPECT_EQ(speye(Mm()).getnnz(), 0);
    EXPECT_TRUE(speye(Mm()).issparse());
    EXPECT_EQ(speye().getnnz(), 1);
    EXPECT_EQ(spzeros(Mm(2.0)).cols(), 2);
    Mm ones = spones(sparse(test::complex(1, 3, {0, -2, 0}, {0, 0, 3})));
    EXPECT_EQ(positions(ones), (std::vector<int>{1, 2}));
    EXPECT_EQ(ones.isc(), 0);
    EXPECT_EQ(test::values(spones(test::row({0, 5}))), (std::vector<double>{1, 1}));
    Mm r = sprand(Mm(5.0), Mm(5.0), Mm(0.0));
    EXPECT_TRUE(r.issparse());
    EXPECT_EQ(r.getnnz(), 0);
    Mm dense = sprand(Mm(20.0), Mm(20.0), Mm(0.5));
    EXPECT_LE(dense.getnnz(), 200) << "repeated positions collapse";
    EXPECT_GT(dense.getnnz(), 100);
}

TEST(CoordinateLists, RoundTrip)
{
    Mm s = spconvert(test::real(2, 3, {1, 3, 1, 2, 5, 0}));
    EXPECT_EQ(s.rows(), 3);
    EXPECT_EQ(s.cols(), 2);
    EXPECT_EQ(s.getnnz(), 1);
    EXPECT_ERROR(spconvert(test::row({1, 2})), "spconvert: matrix '(temporary)' must have 3 or 4 columns");
    EXPECT_TRUE(spconvert(Mm()).issparse());
    Mm list = sp2coo(sparse(test::real(2, 2, {0, 3, 2, 0})));
    EXPECT_EQ(test::values(list), (std::vector<double>{2, 1, 2, 1, 2, 2, 3, 2, 0}));
    Mm z = sparse(test::complex(2, 2, {0, 1, 2, 0}, {0, -1, 4, 0}));
    Mm back = spconvert(sp2coo(z));
    EXPECT_EQ(positions(back), positions(z));
    EXPECT_EQ(test::values(full(back)), test::values(full(z)));
    EXPECT_EQ(back.addi()[1], 4);
}

TEST(SparseFunctions, OrdersAndHooks)
{
    EXPECT_EQ(test::values(colperm(sparse(test::real(2, 3, {1, 1, 0, 0, 1, 0})))), (std::vector<double>{2, 3, 1}));
    Mm p = randperm(Mm(4.0));
    std::vector<double> v = test::values(p);
    std::sort(v.begin(), v.end());
    EXPECT_EQ(v, (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(randperm(Mm(0.0)).getnnz(), 0);
    EXPECT_ERROR(spfun(TM("exp"), sparse(Mm(1.0))), "feval was not linked with the program.");
    EXPECT_ERROR(spfun(TM("exp")), "spfun does not accept 1 input");
    EXPECT_ERROR(sparsfun(Mm(1.0), Mm(2.0)), "sparsfun called");
    EXPECT_EQ(then().getnnz(), 0);
}

} // namespace
