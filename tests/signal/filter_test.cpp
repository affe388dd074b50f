// filter: the recursion's values and final conditions, working dimensions,
// initial conditions spread over signals, complex runs and the errors.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/filter_reference.inc"
#include "data/nonfinite_reference.inc"

constexpr double eps = 2.220446049250313e-16;

TEST(Filter, ValuesAndFinalConditions)
{
    struct Case {
        const char* what;
        Mm b, a, x;
        std::vector<double> y, zf;
        std::vector<int> zf_extents;
    };
    const std::vector<Case> cases = {
        {"one pole", Mm(1.0), test::row({1, -0.5}), test::row({1, 1, 1}), {1, 1.5, 1.75}, {0.875}, {1, 1}},
        {"moving sum", test::row({1, 1}), Mm(1.0), test::row({1, 2, 3}), {1, 3, 5}, {3}, {1, 1}},
        {"second order", test::row({1, 2, 1}), test::row({2, 1}), test::real(3, 1, {2, 4, 6}),
         {1, 3.5, 6.25}, {4.875, 3}, {2, 1}},
        {"a longer than b", Mm(1.0), test::row({1, 0, -0.25}), test::row({4, 0, 0, 0}), {4, 0, 1, 0},
         {0.25, 0}, {2, 1}},
        {"scalar gain", Mm(2.0), Mm(4.0), test::row({1, 2}), {0.5, 1}, {}, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm y, zf;
        filter(c.b, c.a, c.x, i_o, y, zf);
        EXPECT_EQ(test::extents(y), test::extents(c.x));
        EXPECT_EQ(test::values(y), c.y);
        EXPECT_EQ(test::values(zf), c.zf);
        EXPECT_EQ(test::extents(zf), c.zf_extents);
        EXPECT_EQ(test::values(filter(c.b, c.a, c.x)), c.y);
    }
}

// filter(b, a) over a row of data in one call, and in two: the first
// `split` samples, then the rest starting from the first call's final
// conditions.
struct OneAndChained {
    Mm y, zf;                       // the one call
    std::vector<double> y_chained;  // the two calls' outputs, joined
    Mm zf_chained;                  // the second call's final conditions
};

OneAndChained one_and_chained(const Mm& b, const Mm& a, const std::vector<double>& data, int split)
{
    const int n = static_cast<int>(data.size());
    Mm whole(0, 0, 0, 1, n, qv_double), first(0, 0, 0, 1, split, qv_double), second(0, 0, 0, 1, n - split, qv_double);
    for (int k = 0; k < n; ++k) {
        whole.addr()[k] = data[k];
        (k < split ? first.addr()[k] : second.addr()[k - split]) = data[k];
    }
    OneAndChained r;
    Mm y1, z1, y2;
    filter(b, a, whole, i_o, r.y, r.zf);
    filter(b, a, first, i_o, y1, z1);
    filter(b, a, second, z1, i_o, y2, r.zf_chained);
    r.y_chained = test::values(y1);
    for (double v : test::values(y2))
        r.y_chained.push_back(v);
    return r;
}

TEST(Filter, ChainedHalvesEqualOneCall)
{
    const Mm b = test::row({0.2, 0.3, 0.1}), a = test::row({1, -0.6, 0.2});
    std::vector<double> data(20);
    for (int k = 0; k < 20; ++k)
        data[k] = std::sin(0.7 * k) + 0.1 * k;
    const OneAndChained r = one_and_chained(b, a, data, 12);
    ASSERT_EQ(r.y_chained.size(), 20u);
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(r.y.addr()[k], r.y_chained[k]) << k;
    EXPECT_EQ(test::values(r.zf_chained), test::values(r.zf));
}

TEST(Filter, DimensionsAndInitialConditions)
{
    const Mm x = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    const Mm b = test::row({1, 1});
    // columns by default, rows with dim 2
    EXPECT_EQ(test::values(filter(b, Mm(1.0), x)), (std::vector<double>{1, 3, 3, 7, 5, 11}));
    Mm y, zf;
    filter(b, Mm(1.0), x, Mm(), Mm(2.0), i_o, y, zf);
    EXPECT_EQ(test::values(y), (std::vector<double>{1, 2, 4, 6, 8, 10}));
    EXPECT_EQ(test::extents(zf), (std::vector<int>{2, 1}));
    EXPECT_EQ(test::values(zf), (std::vector<double>{5, 6}));

    // one vector of initial conditions for every column
    filter(b, Mm(1.0), x, Mm(10.0), i_o, y, zf);
    EXPECT_EQ(test::values(y), (std::vector<double>{11, 3, 13, 7, 15, 11}));
    EXPECT_EQ(test::extents(zf), (std::vector<int>{1, 3}));
    // a full matrix of initial conditions
    filter(b, Mm(1.0), x, test::row({1, 2, 3}), i_o, y, zf);
    EXPECT_EQ(test::values(y), (std::vector<double>{2, 3, 5, 7, 8, 11}));

    // pages along dimension 3
    const Mm cube = test::counting({1, 2, 3});
    EXPECT_EQ(test::values(filter(b, Mm(1.0), cube, Mm(), Mm(3.0))), (std::vector<double>{1, 2, 4, 6, 8, 10}));

    // empty operands give empty outputs without a message
    filter(Mm(), Mm(1.0), x, i_o, y, zf);
    EXPECT_EQ(y.size(), 0);
    EXPECT_EQ(zf.size(), 0);
}

// Along the first dimension of pages: y keeps the extents of x, zf those
// of x with the first replaced by the state length.
TEST(Filter, FirstDimensionOfPagesKeepsTheShape)
{
    const Mm t = test::counting({2, 3, 5});
    struct Case {
        const char* what;
        Mm dim;
    };
    const std::vector<Case> cases = {{"no dim", Mm()}, {"dim 1", Mm(1.0)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm y, zf;
        if (c.dim.size() > 0)
            filter(test::row({1, 1}), Mm(1.0), t, Mm(), c.dim, i_o, y, zf);
        else
            filter(test::row({1, 1}), Mm(1.0), t, i_o, y, zf);
        ASSERT_EQ(test::extents(y), (std::vector<int>{2, 3, 5}));
        ASSERT_EQ(test::extents(zf), (std::vector<int>{1, 3, 5}));
        for (int line = 0; line < 15; ++line) {
            const double first = 2 * line + 1, second = 2 * line + 2;
            EXPECT_EQ(y.addr()[2 * line], first);
            EXPECT_EQ(y.addr()[2 * line + 1], first + second);
            EXPECT_EQ(zf.addr()[line], second);
        }
    }
}

TEST(Filter, ComplexRuns)
{
    Mm y, zf;
    filter(test::complex(1, 1, {0}, {1}), Mm(1.0), test::row({1, 2}), i_o, y, zf);
    ASSERT_TRUE(y.isc());
    EXPECT_EQ(test::values(y), (std::vector<double>{0, 0}));
    EXPECT_EQ(test::values(imag(y)), (std::vector<double>{1, 2}));

    // one pole at 0.5i: y(m) = x(m) + 0.5i y(m-1)
    filter(Mm(1.0), test::complex(1, 2, {1, 0}, {0, -0.5}), test::row({1, 0, 0}), i_o, y, zf);
    EXPECT_EQ(test::values(y), (std::vector<double>{1, 0, -0.25}));
    EXPECT_EQ(test::values(imag(y)), (std::vector<double>{0, 0.5, 0}));

    // a complex initial condition makes the run complex
    filter(test::row({1, 1}), Mm(1.0), test::row({1, 1}), test::complex(1, 1, {0}, {2}), i_o, y, zf);
    ASSERT_TRUE(y.isc());
    EXPECT_EQ(test::values(imag(y)), (std::vector<double>{2, 0}));

    // complex divisor a(1)
    const Mm yd = filter(Mm(1.0), test::complex(1, 1, {0}, {2}), test::row({2, 4}));
    EXPECT_EQ(test::values(yd), (std::vector<double>{0, 0}));
    EXPECT_EQ(test::values(imag(yd)), (std::vector<double>{-1, -2}));
}

// A NaN or Inf sample reaches the outputs the difference equation gives it
// and no others: the coefficients a or b lacks, and exact zeros of a, are
// no terms.
TEST(Filter, NonFiniteSampleReachesOnlyItsOutputs)
{
    const Mm x = test::row({1, 2, NAN, 4, 5, 6}), xi = test::row({1, INFINITY, 1, 1, 1});
    const Mm b3 = test::row({1, 1, 1}), b2 = test::row({1, 1}), a100 = test::row({1, 0, 0});
    struct Case {
        const char* what;
        Mm b, a, x;
        std::vector<double> y;
    };
    const std::vector<Case> cases = {
        {"moving sum of three, a = 1", b3, Mm(1.0), x, test::listed(filter_fir3_a1)},
        {"moving sum of three, a = 2", b3, Mm(2.0), x, test::listed(filter_fir3_a2)},
        {"moving sum of three, a = [1 0 0]", b3, a100, x, test::listed(filter_fir3_a100)},
        {"Inf, a = 1", b2, Mm(1.0), xi, test::listed(filter_fir2_inf_a1)},
        {"Inf, a = 2", b2, Mm(2.0), xi, test::listed(filter_fir2_inf_a2)},
        {"Inf, a = [1 0 0]", b2, a100, xi, test::listed(filter_fir2_inf_a100)},
        {"a pole, b shorter than a", Mm(1.0), test::row({1, -0.5}), test::row({INFINITY, 1, 1}),
         test::listed(filter_pole_inf)},
        {"a pole two samples back", Mm(1.0), test::row({1, 0, -0.25}), test::row({1, NAN, 1, 1, 1, 1}),
         test::listed(filter_skip_pole)},
        {"a pole keeps NaN for ever", Mm(1.0), test::row({1, -0.5}), test::row({1, NAN, 1, 1}),
         test::listed(filter_pole_nan)},
        {"an exact zero of b is a term", test::row({0, 1}), Mm(1.0), test::row({NAN, 1, 2}), {NAN, NAN, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm y = filter(c.b, c.a, c.x);
        EXPECT_EQ(test::extents(y), test::extents(c.x));
        test::expect_matches(y, c.y);
    }

    Mm y, zf;
    filter(b3, Mm(1.0), x, i_o, y, zf);
    test::expect_matches(zf, test::listed(filter_fir3_zf));

    // complex coefficients
    const Mm yc = filter(test::complex(1, 2, {1, 0}, {1, 1}), Mm(1.0), test::row({1, NAN, 2, 3}));
    ASSERT_TRUE(yc.isc());
    test::expect_matches(test::values(real(yc)), test::listed(filter_complex_re));
    test::expect_matches(test::values(imag(yc)), test::listed(filter_complex_im));

    // every column on its own
    test::expect_matches(filter(b2, Mm(1.0), test::real(4, 2, {1, NAN, 3, 4, 5, 6, INFINITY, 8})),
                         test::listed(filter_columns));
}

// Chained calls carry a NaN through the final conditions as one call does.
TEST(Filter, NonFiniteSampleAcrossChainedCalls)
{
    const std::vector<double> data = {1, 2, NAN, 4, 5, INFINITY, 7, 8, 9};
    const Mm b = test::row({0.5, 0.25, 2}), a = test::row({1, 0, 0, 0});
    const OneAndChained r = one_and_chained(b, a, data, 4);
    test::expect_matches(r.y, r.y_chained);
    test::expect_matches(r.zf_chained, test::values(r.zf));
    // the samples beyond the Inf's reach are finite again
    EXPECT_TRUE(std::isfinite(r.y.addr()[8]));
}

// The loops that leave terms out agree on finite data with the moving-sum
// loop and the full recursion, wherever they describe one filter.
TEST(Filter, LoopsAgreeOnFiniteData)
{
    Mm x(0, 0, 0, 1, 40, qv_double);
    for (int k = 0; k < 40; ++k)
        x.addr()[k] = std::sin(0.37 * k) * (k % 7 - 3);
    struct Case {
        const char* what;
        Mm b1, a1, b2, a2;
    };
    const std::vector<Case> cases = {
        {"b padded against b with a zero", test::row({0.2, 0.3}), test::row({1, 0, 0}), test::row({0.2, 0.3, 0}),
         Mm(1.0)},
        {"b padded against a b of zeros", test::row({1, -0.5}), test::row({1, 0.5, 0.25}),
         test::row({1, -0.5, 0}), test::row({1, 0.5, 0.25})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm y1, z1, y2, z2;
        filter(c.b1, c.a1, x, i_o, y1, z1);
        filter(c.b2, c.a2, x, i_o, y2, z2);
        EXPECT_EQ(test::values(y1), test::values(y2));
        EXPECT_EQ(test::values(z1), test::values(z2));
    }
}

// A vector filtered along its singleton dimension is one signal of one
// sample per element: filter([1 1], 1, [1 2 3], [], 1) raised a reshape
// error. Each output is its sample, and each signal keeps its state (scipy
// lfilter along that axis), laid out as the vector is.
TEST(Filter, VectorAlongItsSingletonDimension)
{
    struct Case {
        const char* what;
        Mm x, zi;
        double dim;
        std::vector<double> y, zf;
        std::vector<int> zf_extents;
    };
    const std::vector<Case> cases = {
        {"row along dim 1", test::row({1, 2, 3}), Mm(), 1, {1, 2, 3}, {1, 2, 3}, {1, 3}},
        {"column along dim 2", test::real(3, 1, {1, 2, 3}), Mm(), 2, {1, 2, 3}, {1, 2, 3}, {3, 1}},
        {"row along dim 1 from states", test::row({1, 2, 3}), test::row({10, 20, 30}), 1, {11, 22, 33}, {1, 2, 3},
         {1, 3}},
        {"column along dim 2, one state for all", test::real(3, 1, {1, 2, 3}), Mm(5.0), 2, {6, 7, 8}, {1, 2, 3},
         {3, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm y, zf;
        filter(test::row({1, 1}), Mm(1.0), c.x, c.zi, Mm(c.dim), i_o, y, zf);
        EXPECT_EQ(test::extents(y), test::extents(c.x));
        EXPECT_EQ(test::values(y), c.y);
        EXPECT_EQ(test::extents(zf), c.zf_extents);
        EXPECT_EQ(test::values(zf), c.zf);
    }
}

// The filters of tools/reference/filter_reference.py, in its order.
struct sweep_filter {
    std::vector<double> b, a;
};
const std::vector<sweep_filter> sweep_filters = {
    {{1, 1}, {1}},
    {{0.5, 0.25, -0.125}, {2, -1.2, 0.4}},
    {{2}, {1, 0.5, 0.25, 0.125}},
    {{2}, {4}},
};
const std::vector<std::vector<int>> sweep_shapes = {{1, 5}, {5, 1}, {4, 3}, {3, 2, 4}, {3, 1, 4}, {1, 1, 4}, {1, 1}};

Mm row_of(const std::vector<double>& v)
{
    Mm r(0, 0, 0, 1, int(v.size()), qv_double);
    std::copy(v.begin(), v.end(), r.addr());
    return r;
}

// A value of the given extents whose element k (column-major) is f(k).
template <class F>
Mm column_major(const std::vector<int>& dims, F f)
{
    Mm x(0, 0, 0, int(dims.size()), dims.data(), qv_double);
    for (int k = 0; k < x.size(); ++k)
        x.addr()[k] = f(double(k));
    return x;
}

// The extents a value of these dimensions reports: trailing singletons
// beyond the second dropped.
std::vector<int> reported(std::vector<int> dims)
{
    while (dims.size() > 2 && dims.back() == 1)
        dims.pop_back();
    return dims;
}

void expect_close(const Mm& got, const double* want, int count)
{
    ASSERT_EQ(got.size(), count);
    double big = 1;
    for (int k = 0; k < count; ++k)
        big = std::max(big, std::fabs(want[k]));
    for (int k = 0; k < count; ++k)
        EXPECT_NEAR(got.addr()[k], want[k], 16 * eps * big) << k;
}

// Every working dimension (the default, each dimension, singletons
// included) of rows, columns, matrices and 3-d signals, without initial
// conditions, with a full array of them and with one vector for every
// signal: y and zf as scipy's lfilter gives them along that axis. A single
// signal's final conditions come back as a column.
TEST(Filter, EveryDimensionAgainstReference)
{
    for (const auto& c : filter_sweep_cases) {
        const std::vector<int>& shape = sweep_shapes[c.shape];
        const sweep_filter& f = sweep_filters[c.filter];
        const int n = int(std::max(f.a.size(), f.b.size()));
        SCOPED_TRACE(::testing::Message() << "shape " << c.shape << ", dim " << c.dim << ", filter " << c.filter
                                          << ", initial conditions " << c.state);
        const Mm x = column_major(shape, [](double k) { return std::sin(0.7 * k + 0.3) + 0.1 * k; });
        Mm zi;
        if (c.state == 1) {
            zi = column_major(std::vector<int>(c.zf_dims, c.zf_dims + 3),
                              [](double k) { return 0.25 * std::cos(1.3 * k) + 0.05 * k; });
        } else if (c.state == 2) {
            std::vector<double> v(n - 1);
            for (int j = 0; j < n - 1; ++j)
                v[j] = 0.5 - 0.25 * j;
            zi = row_of(v);
        }
        Mm y, zf;
        filter(row_of(f.b), row_of(f.a), x, zi, Mm(double(c.dim)), i_o, y, zf);
        EXPECT_EQ(test::extents(y), test::extents(x));
        expect_close(y, filter_sweep_values + c.y_at, x.size());
        if (n == 1) {
            EXPECT_EQ(zf.size(), 0);
            continue;
        }
        const int signals = c.zf_count / (n - 1);
        const std::vector<int> want_extents =
            signals == 1 ? std::vector<int>{n - 1, 1} : reported({c.zf_dims[0], c.zf_dims[1], c.zf_dims[2]});
        EXPECT_EQ(test::extents(zf), want_extents);
        expect_close(zf, filter_sweep_values + c.zf_at, c.zf_count);
        // the one-output form gives the same y
        EXPECT_EQ(test::values(filter(row_of(f.b), row_of(f.a), x, zi, Mm(double(c.dim)))), test::values(y));
    }
}

TEST(Filter, Errors)
{
    const Mm x = test::row({1, 2, 3});
    const char zi[] = "filter: zi must have same dimensions as x (except on the working dimension) or be a vector";
    EXPECT_ERROR(filter(Mm(1.0), Mm(0.0), x), "filter: a(1) must be non-zero");
    EXPECT_ERROR(filter(Mm(1.0), test::row({0, 1}), x), "filter: a(1) must be non-zero");
    EXPECT_ERROR(filter(test::row({1, 1}), Mm(1.0), x, test::row({1, 2})), zi);
    EXPECT_ERROR(filter(test::row({1, 1, 1}), Mm(1.0), test::real(2, 2, {1, 2, 3, 4}), test::real(2, 3, {1, 2, 3, 4, 5, 6})), zi);
    EXPECT_ERROR(filter(Mm(2.0), Mm(1.0), x, Mm(1.0)), zi) << "no state to take for scalar a and b";
    EXPECT_ERROR(filter(Mm(1.0), Mm(1.0), x, Mm(), Mm()), "filter: dim argument may not be empty");
    EXPECT_ERROR(filter(Mm(1.0), Mm(1.0), x, Mm(), Mm(-1.0)), "filter: dim argument must be positive");
    EXPECT_ERROR(filter(Mm(1.0), Mm(1.0), x, Mm(), Mm(3.0)),
                 "filter: dim argument may not be more then the number of dimensions");
    EXPECT_ERROR(filter(x), "filter does not accept 1 input");
    EXPECT_ERROR(filter(x, x), "filter does not accept 2 inputs");
}

} // namespace
