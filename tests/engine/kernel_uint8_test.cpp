// uint8 arithmetic in bytes: wrapping, integer quotients, conversions of
// double operands, and the reductions.
#include "test_support.hpp"

#include <vector>

namespace {

Mm u8(std::initializer_list<unsigned> v) { return test::bytes(1, static_cast<int>(v.size()), v); }

Mm reduce(op_t op, const Mm& a, Mm& index_out)
{
    return Mm(0, a, zero_M, zero_M, op, 1, index_out);
}

TEST(Uint8, ByteArithmetic)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<unsigned> expected;
    };
    const std::vector<Case> cases = {
        {"200+100", u8({200}) + u8({100}), {44}},
        {"3-5", u8({3}) - u8({5}), {254}},
        {"16*16", times(u8({16}), u8({16})), {0}},
        {"-1", -u8({1}), {255}},
        {"7./2", rdivide(u8({7}), u8({2})), {3}},
        {"7.\\2", ldivide(u8({7}), u8({2})), {0}},
        {"7./0", rdivide(u8({7}), u8({0})), {0}},
        {"0.\\7", ldivide(u8({0}), u8({7})), {0}},
        {"2.7+1", Mm(2.7) + u8({1}), {3}},
        {"300+1", Mm(300.0) + u8({1}), {45}},
        {"200>100", u8({200}) > u8({100}), {1}},
        {"sqrt(10)", msqrt(u8({10})), {3}},
        {"log(0)", log(u8({0})), {0}},
        {"exp(6)", exp(u8({6})), {147}},
        {"pow2(8)", pow2(u8({8})), {0}},
        {"max", max(u8({3, 200}), u8({9, 7})), {9, 200}},
        {"bitand", mbitand(u8({12}), u8({10})), {8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.result.gettype(), qv_uint8);
        ASSERT_EQ(c.result.getnnz(), static_cast<int>(c.expected.size()));
        for (size_t k = 0; k < c.expected.size(); ++k)
            EXPECT_EQ(c.result.ur(static_cast<int>(k) + 1), c.expected[k]);
    }
}

TEST(Uint8, Reductions)
{
    Mm where;
    Mm m = reduce(op_max_1, u8({3, 9, 9}), where);
    EXPECT_EQ(m.ur(1), 9);
    EXPECT_EQ(where.r(), 2) << "ties keep the earliest position";
    EXPECT_EQ(reduce(op_sum, u8({200, 100}), l_M).ur(1), 44) << "the engine's byte sum wraps";
    EXPECT_EQ(reduce(op_prod, u8({16, 16}), l_M).ur(1), 0);
    EXPECT_EQ(reduce(op_prod, u8({16, 17}), l_M).ur(1), 16);
    EXPECT_EQ(reduce(op_median, u8({1, 2}), l_M).ur(1), 1);
    Mm d = reduce(op_diff, u8({5, 3}), l_M);
    EXPECT_EQ(d.ur(1), 254);
    Mm c = reduce(op_cumsum, u8({200, 100, 1}), l_M);
    EXPECT_EQ(c.ur(2), 44);
    EXPECT_EQ(c.ur(3), 45);
    Mm g = Mm(0, u8({9, 6, 3}), u8({0, 1, 1}), zero_M, op_gradient, 1, l_M);
    EXPECT_EQ(g.ur(1), 253) << "a slope of -3 keeps its low byte";
    EXPECT_EQ(g.ur(2), 250);
    EXPECT_EQ(g.ur(3), 0) << "equal coordinate bytes divide by zero: 0, no trap";
}

} // namespace
