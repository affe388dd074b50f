// Sparse storage views: the full form and the compressed-column arrays.
#include "test_support.hpp"

#include "array/sparse_storage.hpp"

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
