// Reductions: max and min with positions and NaN, sums and products, the
// logical reductions, cumulative forms and unwrap.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <limits>
#include <vector>

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();

std::vector<double> values(const Mm& x) { return std::vector<double>(x.addr(), x.addr() + x.getnnz()); }

TEST(Reductions, MaxAndMinWithPositions)
{
    struct Case {
        const char* what;
        Mm x;
        bool largest;
        double value;
        double position;
    };
    const std::vector<Case> cases = {
        {"max([3 NaN 5])", test::row({3, nan, 5}), true, 5, 3},
        {"max([NaN 1 2])", test::row({nan, 1, 2}), true, 2, 3},
        {"max([NaN 1 3])", test::row({nan, 1, 3}), true, 3, 3},
        {"max([NaN NaN]) is NaN at 1", test::row({nan, nan}), true, nan, 1},
        {"min([NaN NaN]) is NaN at 1", test::row({nan, nan}), false, nan, 1},
        {"max(NaN)", Mm(nan), true, nan, 1},
        {"max([2 5 5])", test::row({2, 5, 5}), true, 5, 2},
        {"min([4 1 1])", test::row({4, 1, 1}), false, 1, 2},
        {"min([1 1])", test::row({1, 1}), false, 1, 1},
        {"max of a column", test::real(3, 1, {1, 9, 2}), true, 9, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm m, k;
        if (c.largest)
            max(c.x, i_o, m, k);
        else
            min(c.x, i_o, m, k);
        ASSERT_EQ(m.getnnz(), 1);
        if (std::isnan(c.value))
            EXPECT_TRUE(std::isnan(m.r()));
        else
            EXPECT_EQ(m.r(), c.value);
        EXPECT_EQ(k.r(), c.position);
    }
}

TEST(Reductions, ComplexMaxComparesModuli)
{
    Mm m = max(test::complex(1, 2, {1, -3}, {2, 0}));
    ASSERT_EQ(m.isc(), 1);
    EXPECT_EQ(m.r(), -3);
    EXPECT_EQ(m.i(), 0);
    Mm real_again = max(test::complex(1, 2, {1, 4}, {0, 0}));
    EXPECT_EQ(real_again.isc(), 0) << "an all-zero imaginary part is dropped first";
    Mm all_nan = max(test::complex(1, 2, {nan, nan}, {0, 1}));
    EXPECT_TRUE(std::isnan(all_nan.r()));
}

TEST(Reductions, AlongADimensionWithTheIgnoredSecondOperand)
{
    Mm x = test::real(2, 3, {1, 8, 3, 4, 9, 2});
    EXPECT_EQ(values(max(x, Mm(), Mm(2.0))), values(max(x, Mm(7.0), Mm(2.0))));
    EXPECT_EQ(values(max(x, Mm(), Mm(2.0))), (std::vector<double>{9, 8}));
    Mm m, k;
    min(x, Mm(), Mm(1.0), i_o, m, k);
    EXPECT_EQ(values(k), (std::vector<double>{1, 1, 2}));
    EXPECT_ERROR(max(x, Mm(), i_o, m, k), "max does not accept 2 inputs");
    EXPECT_ERROR(min(x, Mm(), i_o, m, k), "min does not accept 2 inputs");
}

TEST(Reductions, PositionsMayGoToTheOperandsOwnVariable)
{
    Mm x = test::row({4, 7, 2});
    Mm m;
    max(x, i_o, m, x);
    EXPECT_EQ(m.r(), 7);
    EXPECT_EQ(x.r(), 2);
}

// max and min of full real values take a direct column route; the engine's
// sequential reduction is the reference, bit for bit: the first non-NaN
// start, the first of equal extremes (the sign of a zero shows which), the
// first position, NaN only when all are NaN.
TEST(Reductions, ColumnRouteMatchesTheEngineBitForBit)
{
    std::mt19937 gen(5);
    std::uniform_int_distribution<int> pick(0, 9);
    auto fill = [&](int m, int n, int kinds) {
        Mm x(0, 0, 0, m, n, qv_double);
        for (int k = 0; k < m * n; ++k) {
            const int p = pick(gen) % kinds;
            x.addr()[k] = p == 0 ? 0.0 : p == 1 ? -0.0 : p == 2 ? nan : p == 3 ? 7.0 : p == 4 ? -7.0 : double(pick(gen));
        }
        return x;
    };
    struct Case {
        const char* what;
        int m, n, kinds;
    };
    const std::vector<Case> cases = {
        {"signed zeros only", 1, 37, 2},     {"zeros and NaN", 29, 1, 3},     {"all NaN column", 17, 3, 1},
        {"ties of 7 and -7", 1, 100, 5},     {"mixed matrix", 23, 9, 10},     {"one element", 1, 1, 10},
        {"leading NaN run", 40, 2, 3},       {"short columns", 3, 50, 10},
        // Columns spanning several of the kernel's blocks.
        {"long signed zeros", 2500, 1, 2},   {"long ties", 3000, 2, 5},       {"long mixed row", 1, 5000, 10},
    };
    for (const Case& c : cases)
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(testing::Message() << c.what << " round " << round);
            Mm x = fill(c.m, c.n, c.kinds);
            if (std::string(c.what) == "all NaN column")
                for (int i = 0; i < c.m; ++i)
                    x.addr()[i] = nan;
            if (std::string(c.what) == "long ties" && round % 2)  // every block improves on the last
                for (int i = 0; i < c.m; ++i)
                    x.addr()[i] = (round % 4 == 1 ? 1 : -1) * std::floor(i / 700.0);
            for (bool largest : {true, false})
                for (const Mm& dim : {Mm(0.0), Mm(1.0)}) {
                    Mm m, k, em, ek;
                    if (largest)
                        max(x, Mm(), dim, i_o, m, k);
                    else
                        min(x, Mm(), dim, i_o, m, k);
                    em = Mm(0, x, zero_M, dim, largest ? op_max_1 : op_min_1, 1, ek);
                    Mm alone = largest ? max(x, Mm(), dim) : min(x, Mm(), dim);
                    ASSERT_EQ(m.getndims(), em.getndims());
                    ASSERT_EQ(m.rows(), em.rows());
                    ASSERT_EQ(m.cols(), em.cols());
                    ASSERT_EQ(alone.cols(), em.cols());
                    EXPECT_EQ(m.islogical(), em.islogical());
                    EXPECT_EQ(m.isc(), em.isc());
                    for (int e = 0; e < em.size(); ++e) {
                        EXPECT_EQ(std::memcmp(&m.addr()[e], &em.addr()[e], sizeof(double)), 0) << "element " << e;
                        EXPECT_EQ(std::memcmp(&alone.addr()[e], &em.addr()[e], sizeof(double)), 0) << "element " << e;
                        EXPECT_EQ(k.addr()[e], ek.addr()[e]) << "position " << e;
                    }
                }
        }
}

TEST(Reductions, SumsProductsAndTruth)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> expected;
    };
    Mm b = test::bytes(1, 2, {200, 100});
    const std::vector<Case> cases = {
        {"sum", sum(test::real(2, 2, {1, 2, 3, 4})), {3, 7}},
        {"sum dim 2", sum(test::real(2, 2, {1, 2, 3, 4}), Mm(2.0)), {4, 6}},
        {"sum of uint8 does not wrap", sum(b), {300}},
        {"prod", prod(test::row({2, 3, 4})), {24}},
        {"cumsum", cumsum(test::row({1, 2, 3})), {1, 3, 6}},
        {"cumprod", cumprod(test::row({1, 2, 3})), {1, 2, 6}},
        {"all([0 NaN])", all(test::row({0, nan})), {0}},
        {"all([1 NaN])", all(test::row({1, nan})), {1}},
        {"any(NaN)", any(Mm(nan)), {1}},
        {"all([])", all(Mm()), {1}},
        {"any([])", any(Mm()), {0}},
        {"sum([])", sum(Mm()), {0}},
        {"prod([])", prod(Mm()), {1}},
        {"max([])", max(Mm()), {}},
        {"sum([],1)", sum(Mm(), Mm(1.0)), {}},
        {"sumabs", sumabs(test::row({-1, 2, -3})), {6}},
        {"unwrap(x,[])", unwrap(test::row({1, 2}), Mm()), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values(c.result), c.expected);
    }
    EXPECT_EQ(all(test::row({1, 2})).islogical(), 1);
    EXPECT_EQ(sum(b).gettype(), qv_double);
    Mm named = test::row({1, 2});
    Mm x(named, "x");
    EXPECT_ERROR(sum(x, Mm(5.0)), "sum: dimension=5 does not exist for matrix x");
    EXPECT_ERROR(sum(x, Mm()), "sum: dim argument may not be empty");
    EXPECT_ERROR(max(x, Mm(), Mm(9.0)), "max_1: dimension=9 does not exist for matrix x");
}

TEST(Reductions, ComplexCumulativeAndUnwrap)
{
    Mm c = cumprod(test::complex(1, 2, {1, 1}, {1, 1}));
    EXPECT_EQ(values(c), (std::vector<double>{1, 0}));
    EXPECT_EQ(c.i(1), 1);
    EXPECT_EQ(c.i(2), 2);
    Mm u = unwrap(test::row({0, 2 * M_PI + 0.1, 4 * M_PI + 0.2}));
    EXPECT_NEAR(u.r(2), 0.1, 1e-12);
    EXPECT_NEAR(u.r(3), 0.2, 1e-12);
    Mm uc = unwrap(test::complex(1, 2, {0, 2 * M_PI + 0.1}, {0, -2 * M_PI - 0.2}));
    EXPECT_NEAR(uc.r(2), 0.1, 1e-12);
    EXPECT_NEAR(uc.i(2), -0.2, 1e-12) << "real and imaginary parts are unwrapped separately";
}

TEST(Size, ExtentsAndSelectors)
{
    const int d234[3] = {2, 3, 4};
    Mm x(0, 0, 0, 3, d234, qv_double);
    struct Case {
        const char* what;
        Mm selector;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"0", Mm(0.0), {2, 3, 4}},  {"-2", Mm(-2.0), {2, 3, 4}}, {"0.4", Mm(0.4), {2, 3, 4}},
        {"100", Mm(100.0), {4, 3, 2}}, {"3", Mm(3.0), {4}},      {"4", Mm(4.0), {1}},
        {"1.6", Mm(1.6), {3}},      {"empty", Mm(), {2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values(size(x, c.selector)), c.expected);
    }
    EXPECT_EQ(values(size(x)), (std::vector<double>{2, 3, 4}));
    Mm named(x, "x");
    EXPECT_ERROR(size(named, Mm(5.0)), "x.size(dim): no such dimension=5");
    double r, cc, p;
    size(x, i_o, r, cc);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(cc, 12);
    const int d2345[4] = {2, 3, 4, 5};
    Mm y(0, 0, 0, 4, d2345, qv_double);
    Mm mr, mc, mp;
    size(y, i_o, mr, mc, mp);
    EXPECT_EQ(mp.r(), 4) << "a fourth extent is not folded into the third output";
    size(Mm(0, 1, 0, 0, 5, qv_double), i_o, r, cc, p);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(cc, 5);
    EXPECT_EQ(length(test::real(3, 7, {})), 7);
    EXPECT_EQ(length(Mm()), 0);
    EXPECT_EQ(length(Mm(1.0)), 1);
}

} // namespace

namespace {

// cumsum and cumprod agree bit for bit with a plain running loop (first
// element 0 + x or 1 * x), along either dimension, real and complex.
TEST(Reductions, CumulativeMatchesARunningLoop)
{
    const int rows = 7, cols = 5;
    Mm x(1, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k) {
        x.addr()[k] = k % 6 == 0 ? -0.0 : std::sin(1.7 * k) * 3;
        x.addi()[k] = std::cos(0.3 * k);
    }
    Mm real_x(0, 0, 0, rows, cols, qv_double);
    std::copy(x.addr(), x.addr() + rows * cols, real_x.addr());
    for (int dim : {1, 2})
        for (bool product : {false, true}) {
            SCOPED_TRACE(std::string(product ? "cumprod" : "cumsum") + " along " + std::to_string(dim));
            const Mm r = product ? cumprod(real_x, Mm(double(dim))) : cumsum(real_x, Mm(double(dim)));
            const int n = dim == 1 ? rows : cols, lines = dim == 1 ? cols : rows;
            const int step = dim == 1 ? 1 : rows, line_step = dim == 1 ? rows : 1;
            for (int l = 0; l < lines; ++l) {
                double run = 0;
                for (int k = 0; k < n; ++k) {
                    const int at = l * line_step + k * step;
                    const double v = real_x.addr()[at];
                    run = k == 0 ? (product ? 1 * v : 0 + v) : (product ? run * v : run + v);
                    ASSERT_EQ(test::bits(r.addr()[at]), test::bits(run)) << "element " << at;
                }
            }
            const Mm z = product ? cumprod(x, Mm(double(dim))) : cumsum(x, Mm(double(dim)));
            ASSERT_TRUE(z.isc());
            if (!product)
                for (int l = 0; l < lines; ++l) {
                    double run = 0;
                    for (int k = 0; k < n; ++k) {
                        const int at = l * line_step + k * step;
                        run = k == 0 ? 0 + x.addi()[at] : run + x.addi()[at];
                        ASSERT_EQ(test::bits(z.addi()[at]), test::bits(run));
                    }
                }
        }
}

} // namespace

namespace {

const double inf = std::numeric_limits<double>::infinity();

// Equal element by element, NaN matching NaN.
bool same_numbers(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](double x, double y) { return x == y || (x != x && y != y); });
}

Mm shaped(const std::vector<double>& v, const std::vector<int>& extents)
{
    Mm m(0, 0, 0, 1, int(v.size()), qv_double);
    std::copy(v.begin(), v.end(), m.addr());
    Mm dims(0, 0, 0, 1, int(extents.size()), qv_double);
    for (std::size_t k = 0; k < extents.size(); ++k)
        dims.addr()[k] = extents[k];
    return reshape(m, dims);
}

// An N-d array whose rows hold one element is sorted, and its median taken,
// along its first dimension longer than 1, as for any other array.
TEST(Median, AlongTheFirstDimensionLongerThanOne)
{
    struct Case {
        std::vector<double> input;
        std::vector<int> extents, result_extents;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
#include "data/nd_median.inc"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.input) + " as " + ::testing::PrintToString(c.extents));
        const Mm x = shaped(c.input, c.extents);
        const Mm m = median(x);
        EXPECT_EQ(test::extents(m), c.result_extents);
        EXPECT_TRUE(same_numbers(test::values(m), c.expected)) << ::testing::PrintToString(test::values(m));
        // The dimension given explicitly gives the same.
        const Mm along = median(x, Mm(double(x.nsingleton())));
        EXPECT_TRUE(same_numbers(test::values(along), c.expected));
    }
    // The plain calls, spelled out.
    EXPECT_EQ(test::values(median(shaped({-9, inf, 0.5, 1, 2, 3}, {1, 3, 2}))), (std::vector<double>{0.5, 2}));
    const Mm bytes = median(muint8(shaped({0, 255, 2, 2, 255, 2}, {1, 3, 2})));
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    EXPECT_EQ(test::extents(bytes), (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(test::values(mdouble(bytes)), (std::vector<double>{2, 2}));
    // A 2-D row keeps its rule: one median of the row.
    EXPECT_EQ(test::values(median(test::row({3, 1, 2, 9}))), (std::vector<double>{2.5}));
}

} // namespace
