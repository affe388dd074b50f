// find and the sparse constructors, coordinate lists and column orders.
#include "test_support.hpp"

#include <algorithm>
#include <functional>
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

// Entries of one position that cancel leave nothing stored, from the
// triplet constructor and from a coordinate list; a NaN sum stays.
TEST(SparseConstructors, CancellingDuplicatesLeaveNothingStored)
{
    struct Case {
        const char* what;
        Mm s;
        std::vector<int> stored;
        std::vector<double> full_values;
    };
    const std::vector<Case> cases = {
        {"sparse([1 1], [1 1], [1 -1], 2, 2)",
         sparse(test::row({1, 1}), test::row({1, 1}), test::row({1, -1}), Mm(2.0), Mm(2.0)), {}, {0, 0, 0, 0}},
        {"one pair cancels, one entry stays", sparse(test::row({1, 2, 1}), test::row({1, 2, 1}), test::row({2, 5, -2})),
         {3}, {0, 0, 0, 5}},
        {"three entries summing to zero", sparse(test::row({2, 2, 2}), test::row({1, 1, 1}), test::row({1.5, -3, 1.5}), Mm(2.0), Mm(1.0)),
         {}, {0, 0}},
        {"Inf and -Inf give a stored NaN", sparse(test::row({1, 1}), test::row({1, 1}), test::row({INFINITY, -INFINITY})),
         {0}, {NAN}},
        {"spconvert with cancelling rows", spconvert(test::real(3, 3, {1, 1, 2, 1, 1, 2, 4, -4, 0})), {}, {0, 0, 0, 0}},
        {"spconvert, one of two cancels", spconvert(test::real(3, 3, {1, 1, 2, 1, 1, 2, 4, -4, 3})), {3}, {0, 0, 0, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.s.issparse());
        EXPECT_EQ(positions(c.s), c.stored);
        const std::vector<double> got = test::values(full(c.s));
        ASSERT_EQ(got.size(), c.full_values.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_TRUE(got[k] == c.full_values[k] || (got[k] != got[k] && c.full_values[k] != c.full_values[k])) << k;
    }
    // Complex entries: both parts must cancel for nothing to stay.
    const Mm z = sparse(test::row({1, 1, 2, 2}), test::row({1, 1, 1, 1}),
                        test::complex(1, 4, {1, -1, 3, -3}, {2, -2, 1, 0}), Mm(2.0), Mm(1.0));
    EXPECT_EQ(positions(z), (std::vector<int>{1}));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(z.addr()[0], 0);
    EXPECT_EQ(z.addi()[0], 1);
    const Mm zc = spconvert(test::real(2, 4, {1, 1, 1, 1, 2, -2, 3, -3}));
    EXPECT_EQ(zc.getnnz(), 0);

    // Every function that walks the stored entries of S.
    const Mm S = sparse(test::row({1, 1}), test::row({1, 1}), test::row({1, -1}), Mm(2.0), Mm(2.0));
    EXPECT_EQ(isequal(S, zeros(2.0)), 1);
    EXPECT_EQ(test::values(full(spones(S))), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(sprand(S).getnnz(), 0);
    EXPECT_EQ(nnz(S).r(), 0);
}

// Explicit zeros stored (as by spalloc or an assignment): the functions
// that walk stored entries leave them out, as they leave out unstored zeros.
class StoredZeros : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Zeros stored at 0, 1 and 2, as spalloc leaves them, and a 7 at 3.
        s = Mm(0, 1, 4, 2, 2, qv_double);
        const double stored[4] = {0, 0, 0, 7};
        for (int k = 0; k < 4; ++k) {
            s.getindex()[k] = k;
            s.addr()[k] = stored[k];
        }
        s.getnnz() = 4;
        previous = feval_func;
        feval_func = record_and_double;
        seen() = Mm();
    }
    void TearDown() override { feval_func = previous; }

    // A user function for spfun: records its argument and returns it doubled.
    static Mm record_and_double(Mm, Mm args, i_o_t, Mm& o1, Mm&, Mm&, Mm&, Mm&, Mm&)
    {
        seen() = Mm(args.br(Mm(1.0)));
        o1 = seen() * Mm(2.0);
        return x_M;
    }
    static Mm& seen()
    {
        static Mm value;
        return value;
    }

    Mm s;
    feval_func_t previous = nullptr;
};

TEST_F(StoredZeros, AreNoPartOfThePattern)
{
    const Mm ones = spones(s);
    EXPECT_EQ(positions(ones), (std::vector<int>{3}));
    EXPECT_EQ(test::values(full(ones)), (std::vector<double>{0, 0, 0, 1}));
    const Mm drawn = sprand(s);
    EXPECT_EQ(positions(drawn), (std::vector<int>{3}));
    EXPECT_GT(drawn.addr()[0], 0);
    EXPECT_EQ(positions(sprandn(s)), (std::vector<int>{3}));
    EXPECT_EQ(isequal(s, sparse(test::real(2, 2, {0, 0, 0, 7}))), 1);
    EXPECT_EQ(isequal(s, test::real(2, 2, {0, 0, 0, 7})), 1);
    const Mm f = spfun(TM("twice"), s);
    EXPECT_EQ(test::values(seen()), (std::vector<double>{7})) << "the function sees the non-zeros only";
    EXPECT_EQ(positions(f), (std::vector<int>{3}));
    EXPECT_EQ(test::values(full(f)), (std::vector<double>{0, 0, 0, 14}));
    // A full value keeps its rule: every element is part of the pattern.
    EXPECT_EQ(test::values(spones(test::row({0, 5}))), (std::vector<double>{1, 1}));
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

// A sparse value addresses its elements with int positions: past 2^31 - 1
// elements the refusal says so, whichever constructor meets it.
TEST(SparseConstructors, TooManyElementsNameTheLimit)
{
    struct Case {
        const char* what;
        std::function<Mm()> make;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"speye(50000)", [] { return speye(Mm(50000.0)); },
         "sparse: 50000x50000 has more than 2147483647 elements, the most a sparse value holds"},
        {"speye(46341, 46341)", [] { return speye(Mm(46341.0), Mm(46341.0)); },
         "sparse: 46341x46341 has more than 2147483647 elements, the most a sparse value holds"},
        {"spzeros(1e5, 3e4)", [] { return spzeros(Mm(1e5), Mm(3e4)); },
         "sparse: 100000x30000 has more than 2147483647 elements, the most a sparse value holds"},
        {"spalloc(50000, 50000, 1)", [] { return spalloc(Mm(50000.0), Mm(50000.0), Mm(1.0)); },
         "sparse: 50000x50000 has more than 2147483647 elements, the most a sparse value holds"},
        {"sparse(1, 1, 1, 50000, 50000)", [] { return sparse(Mm(1.0), Mm(1.0), Mm(1.0), Mm(50000.0), Mm(50000.0)); },
         "sparse: 50000x50000 has more than 2147483647 elements, the most a sparse value holds"},
        {"sparse(50000, 50000)", [] { return sparse(Mm(50000.0), Mm(50000.0)); },
         "sparse: 50000x50000 has more than 2147483647 elements, the most a sparse value holds"},
        {"kron(speye(300), speye(300))", [] { return kron(speye(Mm(300.0)), speye(Mm(300.0))); },
         "sparse: 90000x90000 has more than 2147483647 elements, the most a sparse value holds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.make(), c.message);
    }
    // The largest square that fits is made.
    const Mm edge = speye(Mm(46340.0));
    EXPECT_EQ(edge.rows(), 46340);
    EXPECT_EQ(nnz(edge).r(), 46340);
}
