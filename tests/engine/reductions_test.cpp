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

// [m, k] = max(x) or min(x), along dim when one is given.
void extreme_of(bool largest, const Mm& x, Mm& m, Mm& k, const Mm* dim = nullptr)
{
    if (dim && largest)
        max(x, Mm(), *dim, i_o, m, k);
    else if (dim)
        min(x, Mm(), *dim, i_o, m, k);
    else if (largest)
        max(x, i_o, m, k);
    else
        min(x, i_o, m, k);
}

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
        extreme_of(c.largest, c.x, m, k);
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

namespace {

// ---- complex operands: moduli decide, at every scale ----

Mm complex_row(const std::vector<double>& re, const std::vector<double>& im)
{
    Mm m(1, 0, 0, 1, int(re.size()), qv_double);
    std::copy(re.begin(), re.end(), m.addr());
    std::copy(im.begin(), im.end(), m.addi());
    return m;
}

// |1e200 + 1e200i| = 1.414e200 lies below 2e200, and |1e-200 + 1e-200i|
// below 2e-200, although the squares overflow or underflow.
TEST(Reductions, ComplexExtremesAtLargeAndSmallModuli)
{
    struct Case {
        const char* what;
        bool largest;
        Mm x;
        double re, im, position;
    };
    const std::vector<Case> cases = {
        {"max([1e200+1e200i, 2e200])", true, complex_row({1e200, 2e200}, {1e200, 0}), 2e200, 0, 2},
        {"min([2e200, 1e200+1e200i])", false, complex_row({2e200, 1e200}, {0, 1e200}), 1e200, 1e200, 2},
        {"max([1e-200+1e-200i, 2e-200])", true, complex_row({1e-200, 2e-200}, {1e-200, 0}), 2e-200, 0, 2},
        {"min([2e-200, 1e-200+1e-200i])", false, complex_row({2e-200, 1e-200}, {0, 1e-200}), 1e-200, 1e-200, 2},
        {"max([1e300i, 1e-300, 2e300])", true, complex_row({0, 1e-300, 2e300}, {1e300, 0, 0}), 2e300, 0, 3},
        {"min([1e-320i, 3e-320])", false, complex_row({0, 3e-320}, {1e-320, 0}), 0, 1e-320, 1},
        {"max: ties keep the first", true, complex_row({0x3p700, 0, -0x5p700}, {0x4p700, 0x5p700, 0}), 0x3p700,
         0x4p700, 1},
        {"min: ties keep the first", false, complex_row({0x5p-700, -0x3p-700, 0}, {0, 0x4p-700, -0x5p-700}),
         0x5p-700, 0, 1},
        {"max: an infinite part above a square that overflows", true, complex_row({1e300, 1}, {1e300, -inf}), 1,
         -inf, 2},
        {"min: a square that overflows below an infinite part", false, complex_row({inf, 1e300}, {0, 1e300}), 1e300,
         1e300, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm m, k;
        extreme_of(c.largest, c.x, m, k);
        EXPECT_EQ(m.r(), c.re);
        EXPECT_EQ(m.isc() ? m.i() : 0.0, c.im);
        EXPECT_EQ(k.r(), c.position);
        // Down a column, and along the rows of a matrix, alike.
        Mm mc, kc;
        extreme_of(c.largest, transpose(c.x), mc, kc);
        EXPECT_EQ(mc.r(), c.re);
        EXPECT_EQ(kc.r(), c.position);
        const Mm two_rows = (BR(c.x), semi, c.x), along_rows(2.0);
        Mm mr, kr;
        extreme_of(c.largest, two_rows, mr, kr, &along_rows);
        EXPECT_EQ(test::values(kr), (std::vector<double>{c.position, c.position}));
    }
}

// Complex bytes compute as their double forms do, then take their type.
TEST(Reductions, ComplexBytesAsTheirDoubleForms)
{
    const Mm u = muint8(complex_row({3, 4, 5}, {1, 2, 3}));
    ASSERT_EQ(u.gettype(), qv_uint8);
    const Mm s = sum(u);
    EXPECT_EQ(s.gettype(), qv_double);
    EXPECT_EQ(s.r(), 12);
    EXPECT_EQ(s.i(), 6);
    Mm m, k;
    max(u, i_o, m, k);
    EXPECT_EQ(m.gettype(), qv_uint8);
    EXPECT_EQ(mdouble(m).r(), 5);
    EXPECT_EQ(mdouble(m).i(), 3);
    EXPECT_EQ(k.r(), 3);
    const Mm smallest = mdouble(min(u));
    EXPECT_EQ(smallest.r(), 3);
    EXPECT_EQ(smallest.i(), 1);
    Mm w(muint8(test::row({1, 7, 3})), "w");
    w(Mm(2.0)) = complex_row({7}, {2});
    EXPECT_EQ(test::values(mdouble(w == Mm(7.0))), (std::vector<double>{0, 0, 0})) << "7 + 2i is not 7";
    EXPECT_EQ(test::values(mdouble(w != Mm(7.0))), (std::vector<double>{1, 1, 1}));
    // The element-wise forms compare moduli too.
    const Mm larger = mdouble(max(u, Mm(4.0)));
    EXPECT_EQ(test::values(larger), (std::vector<double>{4, 4, 5}));
    EXPECT_EQ(std::vector<double>(larger.addi(), larger.addi() + 3), (std::vector<double>{0, 2, 3}));
}

// median of two values whose sum overflows: the mean of their halves.
TEST(Median, MeansThatOverflowAsSums)
{
    EXPECT_ULPS(median(test::row({1e308, 1.7e308})).r(), 1.35e308, 1);
    EXPECT_ULPS(median(test::row({-1.7e308, -1.6e308})).r(), -1.65e308, 1);
    EXPECT_ULPS(median(test::real(4, 1, {1.7e308, 1, 1.5e308, 2})).r(), 0.75e308, 1);
    const Mm z = median(complex_row({1.7e308, 1.6e308}, {-1.7e308, -1.7e308}));
    EXPECT_ULPS(z.r(), 1.65e308, 1);
    EXPECT_ULPS(z.i(), -1.7e308, 1);
    EXPECT_TRUE(std::isnan(median(test::row({-inf, inf})).r()));
    EXPECT_EQ(median(test::row({1e308, inf})).r(), inf);
    EXPECT_EQ(median(test::row({3, 1, 2, 4})).r(), 2.5);
}

// The plain model of the reductions on complex values: max and min take
// the first element of largest (smallest) modulus among those without a
// NaN part (the first element when all have one), median the middle of
// the order sort gives (modulus, then angle; NaN anywhere gives NaN), sum
// and prod the running sum and product.
struct Z {
    double re, im;
};

bool has_nan(const Z& z) { return std::isnan(z.re) || std::isnan(z.im); }
double modulus(const Z& z) { return has_nan(z) ? NAN : std::hypot(z.re, z.im); }
double angle_of(const Z& z) { return z.im == 0 ? (z.re >= 0 ? 0.0 : M_PI) : std::atan2(z.im, z.re); }

std::size_t extreme_at(const std::vector<Z>& v, bool largest)
{
    std::size_t best = 0;
    for (std::size_t k = 1; k < v.size(); ++k) {
        const double b = modulus(v[best]), m = modulus(v[k]);
        if ((std::isnan(b) && !std::isnan(m)) || (largest ? m > b : m < b))
            best = k;
    }
    return best;
}

Z median_of(std::vector<Z> v)
{
    for (const Z& z : v)
        if (has_nan(z))
            return {NAN, NAN};
    std::stable_sort(v.begin(), v.end(), [](const Z& a, const Z& b) {
        const double ma = modulus(a), mb = modulus(b);
        return ma < mb || (ma == mb && angle_of(a) < angle_of(b));
    });
    const std::size_t n = v.size();
    if (n % 2)
        return v[n / 2];
    return {(v[n / 2 - 1].re + v[n / 2].re) / 2, (v[n / 2 - 1].im + v[n / 2].im) / 2};
}

bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

TEST(Reductions, ComplexColumnsAgreeWithAPlainModel)
{
    std::mt19937 gen(14);
    const double grid[] = {-5, -4, -3, -2, 0, 2, 3, 4, 5, -0.0};
    int nan_columns = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const double scale = trial % 3 == 0 ? 1 : trial % 3 == 1 ? 0x1p700 : 0x1p-700;
        const int rows = int(gen() % 9) + 1, cols = int(gen() % 3) + 1;
        const bool special = trial % 5 == 0;  // NaN and infinite parts
        Mm x(1, 0, 0, rows, cols, qv_double);
        std::vector<std::vector<Z>> columns(cols);
        for (int c = 0; c < cols; ++c)
            for (int r = 0; r < rows; ++r) {
                Z z{grid[gen() % 10] * scale, grid[gen() % 10] * scale};
                if (special && gen() % 6 == 0)
                    (gen() % 2 ? z.re : z.im) = gen() % 3 ? NAN : -INFINITY;
                columns[c].push_back(z);
                x.addr()[r + c * rows] = z.re;
                x.addi()[r + c * rows] = z.im;
            }
        const Mm along = Mm(1.0);
        Mm mx, kx, mn, kn;
        extreme_of(true, x, mx, kx, &along);
        extreme_of(false, x, mn, kn, &along);
        const Mm s = sum(x, along), p = prod(x, along), med = median(x, along);
        for (int c = 0; c < cols; ++c) {
            SCOPED_TRACE("trial " + std::to_string(trial) + ", column " + std::to_string(c + 1));
            const std::vector<Z>& v = columns[c];
            nan_columns += std::any_of(v.begin(), v.end(), has_nan);
            auto part = [](const Mm& m, int k, bool imaginary) {
                return imaginary ? (m.isc() ? m.addi()[k] : 0.0) : m.addr()[k];
            };
            const std::size_t hi = extreme_at(v, true), lo = extreme_at(v, false);
            EXPECT_EQ(kx.addr()[c], double(hi + 1));
            EXPECT_TRUE(same(part(mx, c, false), v[hi].re) && same(part(mx, c, true), v[hi].im));
            EXPECT_EQ(kn.addr()[c], double(lo + 1));
            EXPECT_TRUE(same(part(mn, c, false), v[lo].re) && same(part(mn, c, true), v[lo].im));
            Z total{0, 0}, product{1, 0};
            for (const Z& z : v) {
                total = {total.re + z.re, total.im + z.im};
                product = {product.re * z.re - product.im * z.im, product.re * z.im + product.im * z.re};
            }
            EXPECT_TRUE(same(part(s, c, false), total.re) && same(part(s, c, true), total.im));
            if (scale == 1 && !special) {
                EXPECT_EQ(part(p, c, false), product.re);
                EXPECT_EQ(part(p, c, true), product.im);
            }
            const Z middle = median_of(v);
            EXPECT_TRUE(same(part(med, c, false), middle.re) && same(part(med, c, true), middle.im))
                << part(med, c, false) << " " << part(med, c, true) << " vs " << middle.re << " " << middle.im;
        }

        // Bytes: parts 0..5, as the double form computes and converts.
        if (trial % 4 == 0) {
            Mm d(1, 0, 0, rows, cols, qv_double);
            for (int k = 0; k < rows * cols; ++k) {
                d.addr()[k] = double(gen() % 6);
                d.addi()[k] = double(gen() % 6);
            }
            const Mm u = muint8(d);
            auto bytes_of = [](const Mm& v) { return muint8(v); };
            auto same_value = [](const Mm& a, const Mm& b) {
                return a.gettype() == b.gettype() && isequal(a, b) && a.isc() == b.isc();
            };
            EXPECT_TRUE(isequal(sum(u, along), sum(d, along)));
            EXPECT_EQ(sum(u, along).gettype(), qv_double);
            for (bool largest : {true, false}) {
                Mm mu, ku, md, kd;
                extreme_of(largest, u, mu, ku, &along);
                extreme_of(largest, d, md, kd, &along);
                EXPECT_TRUE(same_value(mu, bytes_of(md)));
                EXPECT_TRUE(isequal(ku, kd));
            }
            EXPECT_TRUE(same_value(prod(u, along), bytes_of(prod(d, along))));
            EXPECT_TRUE(same_value(cumsum(u, along), bytes_of(cumsum(d, along))));
            EXPECT_TRUE(isequal(mdouble(any(u, along)), mdouble(any(d, along))));
            const Mm pivot = complex_row({3}, {2});
            EXPECT_TRUE(isequal(mdouble(u == pivot), mdouble(d == pivot)));
            EXPECT_TRUE(isequal(mdouble(u != pivot), mdouble(d != pivot)));
            EXPECT_TRUE(same_value(max(u, pivot), bytes_of(max(d, pivot))));
            EXPECT_TRUE(same_value(min(u, pivot), bytes_of(min(d, pivot))));
        }
    }
    EXPECT_GT(nan_columns, 20);
}

} // namespace
