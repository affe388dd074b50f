// Sparse storage views: the full form and the compressed-column arrays.
#include "test_support.hpp"

#include "value/sparse_storage.hpp"

#include <climits>
#include <vector>

namespace {

// 3x4 with entries (2,1)=1, (1,3)=2, (3,3)=3, (2,4)=4, in ascending order.
Mm sample(int complex = 0)
{
    Mm s(complex, 1, 4, 3, 4, qv_double);
    const int at[] = {1, 6, 8, 10};
    for (int k = 0; k < 4; ++k) {
        s.getindex()[k] = at[k];
        s.addr()[k] = k + 1;
        if (complex)
            s.addi()[k] = -(k + 1);
    }
    return s;
}

TEST(SparseStorage, FullScattersTheStoredEntries)
{
    Mm s = sample();
    s.setlogical(1);
    Mm f = full(s);
    EXPECT_FALSE(f.issparse());
    EXPECT_TRUE(f.islogical());
    EXPECT_EQ(test::extents(f), (std::vector<int>{3, 4}));
    EXPECT_EQ(test::values(f), (std::vector<double>{0, 1, 0, 0, 0, 0, 2, 0, 3, 0, 4, 0}));
    Mm z = full(sample(1));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(z.addi()[10], -4);
    Mm dense = test::row({1, 2});
    EXPECT_EQ(full(dense).addr(), dense.addr()) << "a full value is shared";
    EXPECT_EQ(full(Mm(0, 1, 0, 0, 4, qv_double)).size(), 0);
}

TEST(SparseStorage, CompressedColumns)
{
    Mm s = sample();
    ir_jc_view view(s);
    ASSERT_TRUE(view.valid());
    EXPECT_EQ(std::vector<int>(view.ir(), view.ir() + 4), (std::vector<int>{1, 0, 2, 1}));
    EXPECT_EQ(std::vector<int>(view.jc(), view.jc() + 6), (std::vector<int>{0, 1, 1, 3, 4, -1}))
        << "an empty column takes the start of the next";
    int bounds[4];
    int* jc = build_jc(4, 12, 4, s.getindex(), bounds);
    EXPECT_EQ(std::vector<int>(bounds, bounds + 4), (std::vector<int>{0, 2, 0, 3}));
    freeIrJc(nullptr, jc);
    jc = build_jc(4, 12, 0, nullptr, bounds);
    EXPECT_EQ(std::vector<int>(bounds, bounds + 4), (std::vector<int>{INT_MAX, -1, INT_MAX, -1}));
    EXPECT_EQ(std::vector<int>(jc, jc + 5), (std::vector<int>{0, 0, 0, 0, 0}));
    freeIrJc(nullptr, jc);
    Mm named(test::row({1, 2}), "d");
    EXPECT_ERROR(getIr(named), "getIr: sparse matrix expected, but matrix d is full");
    EXPECT_ERROR(getJc(named), "getJc: sparse matrix expected, but matrix d is full");
}

} // namespace

namespace {

std::vector<int> positions(const Mm& s) { return std::vector<int>(s.getindex(), s.getindex() + s.getnnz()); }
std::vector<double> stored(const Mm& s) { return std::vector<double>(s.addr(), s.addr() + s.getnnz()); }

TEST(SparseConstruction, FromFullAndFromTriples)
{
    struct Case {
        const char* what;
        Mm s;
        int rows, cols;
        std::vector<int> at;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"sparse(zeros(3))", sparse(zeros(3.0)), 3, 3, {}, {}},
        {"sparse([0 NaN 2])", sparse(test::row({0, NAN, 2})), 1, 3, {1, 2}, {NAN, 2}},
        {"sparse([1 1],[1 1],[2 3])", sparse(test::row({1, 1}), test::row({1, 1}), test::row({2, 3})), 1, 1, {0}, {5}},
        {"sparse([2 1],[1 1],[7 8],3,1)",
         sparse(test::row({2, 1}), test::row({1, 1}), test::row({7, 8}), Mm(3.0), Mm(1.0)), 3, 1, {0, 1}, {8, 7}},
        {"more entries than elements add up",
         sparse(test::row({1, 1, 1}), test::row({1, 1, 1}), test::row({1, 2, 3}), Mm(1.0), Mm(1.0)), 1, 1, {0}, {6}},
        {"sparse(1,[1 2 3],5)", sparse(Mm(1.0), test::row({1, 2, 3}), Mm(5.0)), 1, 3, {0, 1, 2}, {5, 5, 5}},
        {"2.5 rounds to 3", sparse(Mm(2.5), Mm(1.0), Mm(4.0), Mm(3.0), Mm(1.0)), 3, 1, {2}, {4}},
        {"sparse(2,3)", sparse(Mm(2.0), Mm(3.0)), 2, 3, {}, {}},
        {"sparse([],[],[])", sparse(Mm(), Mm(), Mm()), 1, 1, {}, {}},
        {"sparse(i,j,s,m,[])", sparse(Mm(1.0), Mm(1.0), Mm(1.0), Mm(2.0), Mm()), 1, 1, {}, {}},
        {"a cancelling sum leaves nothing stored",
         sparse(test::row({1, 1}), test::row({1, 1}), test::row({2, -2})), 1, 1, {}, {}},
        {"uint8 source", sparse(test::bytes(1, 3, {0, 9, 0})), 1, 3, {1}, {9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.s.issparse());
        EXPECT_EQ(c.s.rows(), c.rows);
        EXPECT_EQ(c.s.cols(), c.cols);
        EXPECT_EQ(positions(c.s), c.at);
        std::vector<double> v = stored(c.s);
        ASSERT_EQ(v.size(), c.values.size());
        for (size_t k = 0; k < v.size(); ++k)
            EXPECT_TRUE(v[k] == c.values[k] || (std::isnan(v[k]) && std::isnan(c.values[k])));
    }
}

TEST(SparseConstruction, Errors)
{
    EXPECT_ERROR(sparse(test::row({1, 2}), test::row({1, 2, 3}), Mm(1.0)), "sparse: i,j and v must be same size");
    EXPECT_ERROR(sparse(Mm(0.4), Mm(1.0), Mm(1.0), Mm(2.0), Mm(2.0)), "sparse: non-positive row index encountered");
    EXPECT_ERROR(sparse(Mm(3.0), Mm(1.0), Mm(1.0), Mm(2.0), Mm(2.0)), "sparse: out of bounds row index encountered");
    EXPECT_ERROR(sparse(Mm(1.0), Mm(0.0), Mm(1.0), Mm(2.0), Mm(2.0)),
                 "sparse: non-positive column index encountered");
    EXPECT_ERROR(sparse(Mm(1.0), Mm(5.0), Mm(1.0), Mm(2.0), Mm(2.0)),
                 "sparse: out of bounds column index encountered");
    EXPECT_ERROR(sparse(Mm(1.0), Mm(1.0), Mm(1.0), Mm(2.0)), "sparse does not accept 4 inputs");
    EXPECT_ERROR(sparse(Mm(1.0), Mm(1.0), Mm(1.0), Mm(65536.0), Mm(65536.0)),
                 "sparse: 65536x65536 has more than 2147483647 elements, the most a sparse value holds");
    EXPECT_ERROR(sparse(Mm(0, 0, 0, 1, 1, qv_cell)), "sparse: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(count_nonzeros(Mm(0, 0, 0, 1, 1, qv_cell)), "nnz: numeric data expected, but matrix (temporary) is not");
}

TEST(SparseConstruction, RoundTripsThroughFull)
{
    Mm x = test::real(2, 3, {0, 1.5, 0, -2, 0, 7});
    x.setlogical(1);
    Mm back = full(sparse(x));
    EXPECT_EQ(test::values(back), test::values(x));
    EXPECT_EQ(back.islogical(), 1);
    EXPECT_EQ(count_nonzeros(x), 3);
    Mm a = sparse(x), b = test::row({1, 2});
    EXPECT_EQ(match_sparsity(a, b), 1);
    EXPECT_TRUE(b.issparse());
    EXPECT_EQ(match_sparsity(a, b), 0);
    Mm kept = sparse_of(test::row({0, 3}), 1);
    EXPECT_EQ(positions(kept), (std::vector<int>{0, 1})) << "keep-all stores the zeros too";
}

TEST(SparseConstruction, CompressedColumnsRoundTrip)
{
    Mm s = sparse(test::row({2, 1, 3}), test::row({1, 2, 2}), test::row({5, 6, 7}), Mm(3.0), Mm(3.0));
    int* ir = getIr(s);
    int* jc = getJc(s);
    Mm t(0, 1, 3, 3, 3, qv_double);
    setIrJc(t, ir, jc);
    EXPECT_EQ(positions(t), positions(s));
    freeIrJc(ir, jc);
    Mm dense = test::row({1});
    EXPECT_ERROR(setIrJc(dense, nullptr, nullptr), "IrJc: sparse matrix expected, but matrix =1 is full");
}

TEST(SparseOperations, StoredEntriesOnly)
{
    Mm s = sparse(test::row({0.3, 0, 2.6, 0}));
    Mm r = round(s);
    ASSERT_TRUE(r.issparse());
    EXPECT_EQ(positions(r), (std::vector<int>{2}));
    EXPECT_EQ(stored(r), (std::vector<double>{3}));
    Mm n = -s;
    EXPECT_EQ(positions(n), (std::vector<int>{0, 2}));

    Mm zero = times(s, Mm(0.0));
    EXPECT_TRUE(zero.issparse());
    EXPECT_EQ(zero.getnnz(), 0);
    EXPECT_EQ(zero.cols(), 4) << "the extents stay";
    Mm inf = times(s, Mm(INFINITY));
    EXPECT_EQ(positions(inf), (std::vector<int>{0, 2})) << "unstored zeros stay zero, not NaN";
    Mm twice = times(Mm(2.0), s);
    EXPECT_EQ(stored(twice), (std::vector<double>{0.6, 5.2}));
}

TEST(SparseOperations, MergedPositions)
{
    Mm a = sparse(test::row({1, 0, 2, 0}));
    Mm b = sparse(test::row({-1, 3, 0, 0}));
    Mm added = a + b;
    ASSERT_TRUE(added.issparse());
    EXPECT_EQ(positions(added), (std::vector<int>{1, 2})) << "the cancelled position stores nothing";
    Mm prod = times(a, b);
    EXPECT_EQ(positions(prod), (std::vector<int>{0}));
    EXPECT_EQ(stored(prod), (std::vector<double>{-1}));
    Mm eq = a == a;
    EXPECT_TRUE(eq.issparse());
    EXPECT_EQ(eq.islogical(), 1);
    EXPECT_EQ(eq.getnnz(), 4);
    Mm mixed = a + test::row({1, 1, 1, 1});
    EXPECT_FALSE(mixed.issparse()) << "one sparse and one full summand give a full sum";
    EXPECT_EQ(test::values(mixed), (std::vector<double>{2, 1, 3, 1}));
    EXPECT_ERROR(a + sparse(test::row({1, 2})), "plus: incompatible dimensions of: (temporary), (temporary)");
    Mm scalar_sum = a + sparse(Mm(2.0));
    EXPECT_EQ(scalar_sum.getnnz(), 4) << "a non-zero scalar in a sum fills every element";
    Mm total = sum(a);
    EXPECT_EQ(full(total).r(), 3);
}

} // namespace
