// Sorting: the values-only quicksort at its algorithm boundaries, the stable
// index order, NaN placement and complex order.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

const double nan = std::nan("");

std::vector<double> values(const Mm& x) { return std::vector<double>(x.addr(), x.addr() + x.getnnz()); }

// The expected order: ascending, NaN last in input order, ties in input order.
std::vector<int> reference_order(const std::vector<double>& v)
{
    std::vector<int> pos(v.size());
    for (size_t k = 0; k < v.size(); ++k)
        pos[k] = static_cast<int>(k);
    std::stable_sort(pos.begin(), pos.end(), [&](int a, int b) {
        bool na = std::isnan(v[a]), nb = std::isnan(v[b]);
        if (na || nb)
            return !na && nb;
        return v[a] < v[b];
    });
    return pos;
}

TEST(Sort, ExamplesWithPositions)
{
    struct Case {
        const char* what;
        Mm x;
        std::vector<double> sorted, index;
    };
    const std::vector<Case> cases = {
        {"[3 NaN 1 Inf 2]", test::row({3, nan, 1, INFINITY, 2}), {1, 2, 3, INFINITY, nan}, {3, 5, 1, 4, 2}},
        {"[2 1 2 1]", test::row({2, 1, 2, 1}), {1, 1, 2, 2}, {2, 4, 1, 3}},
        {"[NaN NaN]", test::row({nan, nan}), {nan, nan}, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm s, k;
        sort(c.x, i_o, s, k);
        ASSERT_EQ(s.getnnz(), static_cast<int>(c.sorted.size()));
        EXPECT_EQ(s.rows(), 1) << "a row stays a row";
        for (size_t m = 0; m < c.sorted.size(); ++m) {
            if (std::isnan(c.sorted[m]))
                EXPECT_TRUE(std::isnan(s.addr()[m]));
            else
                EXPECT_EQ(s.addr()[m], c.sorted[m]);
        }
        EXPECT_EQ(values(k), c.index);
        Mm only = sort(c.x);
        for (size_t m = 0; m < c.sorted.size(); ++m)
            EXPECT_EQ(std::isnan(only.addr()[m]), std::isnan(c.sorted[m]));
    }
}

TEST(Sort, ComplexValuesByMagnitudeThenAngle)
{
    Mm z = test::complex(1, 3, {0, -1, 1}, {1, 0, 0});
    Mm s, k;
    sort(z, i_o, s, k);
    EXPECT_EQ(values(s), (std::vector<double>{1, 0, -1}));
    EXPECT_EQ(s.addi()[1], 1);
    EXPECT_EQ(values(k), (std::vector<double>{3, 1, 2}));
    Mm only = sort(z);
    EXPECT_EQ(values(only), (std::vector<double>{1, 0, -1}));
}

TEST(Sort, ColumnLengthsAcrossThePivotRules)
{
    std::mt19937 gen(7);
    for (int n : {1, 2, 6, 7, 8, 40, 41, 1000}) {
        SCOPED_TRACE(n);
        std::vector<double> v(n);
        std::uniform_int_distribution<int> small(0, 5);  // many duplicates
        for (auto& e : v)
            e = small(gen) == 0 ? nan : small(gen) - 2.0;
        Mm x(0, 0, 0, n, 1, qv_double);
        std::copy(v.begin(), v.end(), x.addr());
        std::vector<int> order = reference_order(v);
        Mm s = sort(x);
        Mm si, ki;
        sort(x, i_o, si, ki);
        for (int k = 0; k < n; ++k) {
            double expected = v[order[k]];
            if (std::isnan(expected)) {
                ASSERT_TRUE(std::isnan(s.addr()[k]));
                ASSERT_TRUE(std::isnan(si.addr()[k]));
            } else {
                ASSERT_EQ(s.addr()[k], expected) << k;
                ASSERT_EQ(si.addr()[k], expected);
            }
            ASSERT_EQ(ki.addr()[k], order[k] + 1) << k;
        }
    }
}

TEST(Sort, MatricesTextAndEmpty)
{
    Mm m = test::real(3, 2, {3, 1, 2, 0, 9, -1});
    EXPECT_EQ(values(sort(m)), (std::vector<double>{1, 2, 3, -1, 0, 9}));
    Mm t = sort(TM("cab"));
    EXPECT_EQ(t.isstr(), 1);
    EXPECT_EQ(values(t), (std::vector<double>{'a', 'b', 'c'}));
    Mm s, k;
    sort(Mm(), i_o, s, k);
    EXPECT_EQ(s.getnnz(), 0);
    EXPECT_EQ(k.getnnz(), 0);
    EXPECT_EQ(sort(Mm()).getnnz(), 0);
    EXPECT_ERROR(sort(Mm(0, 0, 0, 1, 2, qv_cell)), "sort: numeric data expected, but matrix (temporary) is not");
    Mm b = sort(test::bytes(1, 3, {9, 1, 5}));
    EXPECT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(values(mdouble(b)), (std::vector<double>{1, 5, 9}));
}

TEST(Sort, SignedZerosFollowThePartitioning)
{
    // The quicksort, unlike a stable sort, may reorder -0 and +0; the result
    // is still ordered, and the elements are the input's.
    Mm x = test::row({0.0, -0.0, 1, -0.0});
    Mm s = sort(x);
    EXPECT_EQ(s.addr()[3], 1);
    int negative_zeros = 0;
    for (int k = 0; k < 3; ++k)
        negative_zeros += std::signbit(s.addr()[k]);
    EXPECT_EQ(negative_zeros, 2);
}

TEST(Median, SortsFirst)
{
    EXPECT_EQ(median(test::row({3, 1, 2, 4})).r(), 2.5);
    EXPECT_TRUE(std::isnan(median(test::row({1, nan, 3})).r()));
    EXPECT_EQ(median(test::real(3, 2, {5, 1, 3, 2, 8, 4})).r(2), 4);
    EXPECT_EQ(median(test::bytes(1, 2, {1, 2})).ur(1), 1);
}

} // namespace
