// Transposes of full, N-d, cell and sparse values.
#include "test_support.hpp"

#include <vector>

namespace {

TEST(Transpose, ReversesTheDimensions)
{
    Mm a = test::complex(1, 2, {1, 3}, {2, 0});
    Mm plain = transpose(a);
    EXPECT_EQ(test::extents(plain), (std::vector<int>{2, 1}));
    EXPECT_EQ(plain.addi()[0], 2) << "no conjugation";
    EXPECT_EQ(transpose(a, 0).addi()[0], -2);

    Mm m(0, 0, 0, 37, 45, qv_double);
    for (int k = 0; k < m.size(); ++k)
        m.addr()[k] = k;
    Mm t = transpose(m);
    EXPECT_EQ(test::extents(t), (std::vector<int>{45, 37}));
    bool same = true;
    for (int r = 1; r <= 37; ++r)
        for (int c = 1; c <= 45; ++c)
            same &= t.r(c, r) == m.r(r, c);
    EXPECT_TRUE(same) << "across the cache tiles";

    const int d[3] = {2, 3, 4};
    Mm n(0, 0, 0, 3, d, qv_double);
    for (int k = 0; k < n.size(); ++k)
        n.addr()[k] = k;
    Mm nt = transpose(n);
    EXPECT_EQ(test::extents(nt), (std::vector<int>{4, 3, 2}));
    EXPECT_EQ(nt.r(4, 3, 2), n.r(2, 3, 4));
    EXPECT_EQ(nt.r(2, 1, 1), n.r(1, 1, 2));

    Mm empty(0, 1, 0, 0, 3, qv_double);
    EXPECT_EQ(test::extents(transpose(empty)), (std::vector<int>{0, 3})) << "an empty value is returned as it is";
    Mm s = TM("ab");
    EXPECT_TRUE(transpose(s).isstr());
    Mm c(0, 0, 0, 1, 2, qv_cell);
    c.mr(2) = Mm(5.0);
    EXPECT_EQ(transpose(c).mr(2, 1).r(), 5);
}

TEST(Transpose, SparseStaysSparseAndSorted)
{
    // 2x3 with (1,2)=1 and (2,1)=2.
    Mm s(0, 1, 2, 2, 3, qv_double);
    s.getindex()[0] = 1;
    s.getindex()[1] = 2;
    s.addr()[0] = 2;
    s.addr()[1] = 1;
    Mm t = transpose(s);
    ASSERT_TRUE(t.issparse());
    EXPECT_EQ(test::extents(t), (std::vector<int>{3, 2}));
    EXPECT_EQ(std::vector<int>(t.getindex(), t.getindex() + 2), (std::vector<int>{1, 3}));
    EXPECT_EQ(test::values(t), (std::vector<double>{0, 1, 0, 2, 0, 0}));
}

} // namespace
