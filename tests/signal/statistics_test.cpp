// mean, stdM, cov and corrcoef: small exact cases, dimensions and
// normalisation flags, and matrix and complex data against numpy.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"
#include "data/statistics_reference.inc"
#include "data/statistics_scales.inc"

Mm data(int rows, int cols, bool complex)
{
    Mm x(complex, 0, 0, rows, cols, qv_double);
    for (long k = 0; k < rows * cols; ++k) {
        x.addr()[k] = double((k * k * 7919 + 31 * k + 13) % 1009) / 1009 - 0.5;
        if (complex)
            x.addi()[k] = double((k * 104729 + 7) % 1013) / 1013 - 0.5;
    }
    return x;
}

template <std::size_t N>
void expect_reference(const Mm& got, const double (&re)[N], const double (&im)[N], bool real_result)
{
    ASSERT_EQ(got.size(), int(N));
    EXPECT_EQ(!got.isc(), real_result);
    for (std::size_t k = 0; k < N; ++k) {
        EXPECT_NEAR(got.addr()[k], re[k], 1e-15 * (1 + std::fabs(re[k]))) << k;
        EXPECT_NEAR(got.addi() ? got.addi()[k] : 0.0, im[k], 1e-15 * (1 + std::fabs(im[k]))) << k;
    }
}

TEST(Statistics, SmallCases)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
        std::vector<int> extents;
    };
    const Mm m = test::real(2, 2, {1, 3, 2, 4});
    const std::vector<Case> cases = {
        {"mean of columns", mean(m), {2, 3}, {1, 2}},
        {"mean of rows", mean(m, Mm(2.0)), {1.5, 3.5}, {2, 1}},
        {"mean of a row", mean(test::row({1, 2, 3})), {2}, {1, 1}},
        {"mean along a third dimension", mean(test::row({1, 2, 3}), Mm(3.0)), {1, 2, 3}, {1, 3}},
        {"std", stdM(test::row({1, 2, 3, 4})), {std::sqrt(5.0 / 3)}, {1, 1}},
        {"std by m", stdM(test::row({1, 2, 3, 4}), Mm(1.0)), {std::sqrt(5.0 / 4)}, {1, 1}},
        {"std along a singleton", stdM(test::row({1, 2, 3}), Mm(0.0), Mm(1.0)), {0, 0, 0}, {1, 3}},
        {"std of columns", stdM(test::real(2, 2, {1, 3, 5, 5})), {std::sqrt(2.0), 0}, {1, 2}},
        {"cov of a row", cov(test::row({1, 2, 3, 4})), {5.0 / 3}, {1, 1}},
        {"cov with a flag", cov(test::row({1, 2, 3, 4}), Mm(1.0)), {5.0 / 4}, {1, 1}},
        {"cov of two vectors", cov(test::row({1, 2, 3}), test::row({1, 2, 3})), {1, 1, 1, 1}, {2, 2}},
        {"cov of a scalar", cov(Mm(5.0)), {0}, {1, 1}},
        {"corrcoef", corrcoef(test::row({1, 2, 3}), test::row({3, 2, 1})), {1, -1, -1, 1}, {2, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.result), c.extents);
        const auto v = test::values(c.result);
        ASSERT_EQ(v.size(), c.values.size());
        for (std::size_t k = 0; k < v.size(); ++k)
            EXPECT_NEAR(v[k], c.values[k], 4e-16 * (1 + std::fabs(c.values[k])));
    }
    EXPECT_TRUE(std::isnan(mean(Mm()).r()));
    EXPECT_EQ(cov(Mm()).size(), 0);
    EXPECT_EQ(stdM(Mm(0, 0, 0, 0, 3, qv_double), Mm(0.0), Mm(1.0)).size(), 0);
    // the negative and NaN flags normalise by m - 1, as 0 does
    EXPECT_EQ(test::values(cov(test::row({1, 2, 3, 4}), test::row({2, 1, 4, 3}), Mm(-1.0))),
              test::values(cov(test::row({1, 2, 3, 4}), test::row({2, 1, 4, 3}))));
}

// One observation spreads by 0 when it is finite, and by NaN when it is
// NaN or infinite (numpy.std with ddof 0).
TEST(Statistics, StdOfOneObservation)
{
    std::vector<double> single;
    for (const Mm& x : {Mm(NAN), Mm(INFINITY), Mm(-INFINITY), test::complex(1, 1, {INFINITY}, {0}), Mm(2.5)}) {
        const Mm s = stdM(x);
        EXPECT_EQ(test::extents(s), (std::vector<int>{1, 1}));
        single.push_back(s.r());
    }
    test::expect_matches(single, test::listed(std_single));

    struct Case {
        const char* what;
        Mm result;
        std::vector<double> want;
        std::vector<int> extents;
    };
    const int pages[3] = {1, 1, 4};
    Mm cube(0, 0, 0, 3, pages, qv_double);
    const double data[] = {1, NAN, INFINITY, 4};
    std::copy(data, data + 4, cube.addr());
    const std::vector<Case> cases = {
        {"a row along its singleton", stdM(test::row({NAN, 1}), Mm(0.0), Mm(1.0)), test::listed(std_rows), {1, 2}},
        {"normalised by m", stdM(test::row({NAN, 1}), Mm(1.0), Mm(1.0)), test::listed(std_rows), {1, 2}},
        {"pages along the first dimension", stdM(cube, Mm(0.0), Mm(1.0)), test::listed(std_pages), {1, 1, 4}},
        {"uint8", stdM(test::bytes(1, 2, {0, 255}), Mm(0.0), Mm(1.0)), {0, 0}, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.result), c.extents);
        test::expect_matches(c.result, c.want);
    }
}

TEST(Statistics, AgainstReference)
{
    const Mm a = data(5, 3, false), z = data(6, 2, true);
    expect_reference(stdM(a), std_columns_re, std_columns_im, true);
    expect_reference(stdM(a, Mm(1.0), Mm(2.0)), std_rows_by_m_re, std_rows_by_m_im, true);
    expect_reference(stdM(z), std_complex_re, std_complex_im, true);
    expect_reference(cov(a), cov_matrix_re, cov_matrix_im, true);
    expect_reference(cov(a, Mm(1.0)), cov_matrix_by_m_re, cov_matrix_by_m_im, true);
    expect_reference(cov(z), cov_complex_re, cov_complex_im, false);
    expect_reference(corrcoef(a), corrcoef_matrix_re, corrcoef_matrix_im, true);
    expect_reference(mean(z, Mm(2.0)), mean_complex_rows_re, mean_complex_rows_im, false);
}

// cov of a byte vector centred in byte arithmetic, which wraps:
// cov(uint8([10 20 30])) was 30308, with the flag 1 20205.3, and
// cov(uint8([200 200 201])) 0.5. numpy works in double, as the library must.
TEST(Statistics, ByteVectorsAgainstReference)
{
    const Mm a = test::bytes(1, 3, {10, 20, 30}), b = test::bytes(1, 3, {200, 200, 201});
    expect_reference(cov(a), cov_bytes_10_20_30_re, cov_bytes_10_20_30_im, true);
    expect_reference(cov(b), cov_bytes_200_200_201_re, cov_bytes_200_200_201_im, true);
    expect_reference(cov(a, Mm(1.0)), cov_bytes_10_20_30_by_m_re, cov_bytes_10_20_30_by_m_im, true);
    expect_reference(corrcoef(a, b), corrcoef_bytes_pair_re, corrcoef_bytes_pair_im, true);
    EXPECT_EQ(test::values(corrcoef(a)), std::vector<double>{1});
}

// Same numbers, same statistics: the shape and every element of the
// result, NaN where the double form has NaN.
void expect_same(const Mm& got, const Mm& want)
{
    EXPECT_EQ(test::extents(got), test::extents(want));
    ASSERT_EQ(got.isc(), want.isc());
    const auto g = test::values(got), w = test::values(want);
    ASSERT_EQ(g.size(), w.size());
    for (std::size_t k = 0; k < w.size(); ++k)
        if (std::isnan(w[k]))
            EXPECT_TRUE(std::isnan(g[k])) << k;
        else
            EXPECT_EQ(g[k], w[k]) << k;
}

// mean, median, std, cov and corrcoef of uint8, logical and char arguments
// give what they give for the same numbers as doubles, along every
// dimension. The median of bytes stays bytes: an even count takes the mean
// of the two middle bytes rounded down.
TEST(Statistics, BytesLogicalAndTextAsTheirDoubles)
{
    struct Data {
        const char* what;
        std::vector<int> dims;
        std::vector<double> numbers;
    };
    const std::vector<Data> data = {
        {"scalar", {1, 1}, {7}},
        {"row", {1, 3}, {10, 20, 30}},
        {"row near the top", {1, 3}, {200, 200, 201}},
        {"column of extremes", {4, 1}, {255, 0, 255, 1}},
        {"row of zeros and ones", {1, 4}, {1, 0, 0, 1}},
        {"matrix", {3, 2}, {250, 3, 7, 1, 0, 255}},
        {"matrix with a constant column", {4, 3}, {9, 9, 9, 9, 65, 66, 120, 121, 255, 254, 0, 1}},
        {"pages", {2, 2, 3}, {1, 200, 3, 40, 5, 60, 255, 8, 0, 0, 11, 97}},
    };
    struct Kind {
        const char* what;
        Mm (*convert)(const Mm&);
    };
    const std::vector<Kind> kinds = {{"uint8", muint8}, {"logical", mlogical}, {"char", mchar}};
    using statistic = Mm (*)(const Mm&);
    struct Function {
        const char* what;
        statistic f;
        int dims_needed;  // the extents the argument must have at most
    };
    const std::vector<Function> functions = {
        {"mean", [](const Mm& x) { return mean(x); }, 3},
        {"mean along 1", [](const Mm& x) { return mean(x, Mm(1.0)); }, 3},
        {"mean along 2", [](const Mm& x) { return mean(x, Mm(2.0)); }, 3},
        {"mean along 3", [](const Mm& x) { return mean(x, Mm(3.0)); }, 3},
        {"median", [](const Mm& x) { return median(x); }, 3},
        {"median along 1", [](const Mm& x) { return median(x, Mm(1.0)); }, 3},
        {"median along 2", [](const Mm& x) { return median(x, Mm(2.0)); }, 3},
        {"std", [](const Mm& x) { return stdM(x); }, 3},
        {"std by m", [](const Mm& x) { return stdM(x, Mm(1.0)); }, 3},
        {"std along 1", [](const Mm& x) { return stdM(x, Mm(0.0), Mm(1.0)); }, 3},
        {"std along 2 by m", [](const Mm& x) { return stdM(x, Mm(1.0), Mm(2.0)); }, 3},
        {"cov", [](const Mm& x) { return cov(x); }, 2},
        {"cov by m", [](const Mm& x) { return cov(x, Mm(1.0)); }, 2},
        {"cov of a pair", [](const Mm& x) { return cov(x, x); }, 2},
        {"corrcoef", [](const Mm& x) { return corrcoef(x); }, 2},
        {"corrcoef of a pair", [](const Mm& x) { return corrcoef(x, x); }, 2},
    };
    for (const auto& d : data) {
        Mm numbers(0, 0, 0, int(d.dims.size()), d.dims.data(), qv_double);
        std::copy(d.numbers.begin(), d.numbers.end(), numbers.addr());
        for (const auto& k : kinds) {
            const Mm x = k.convert(numbers);
            const Mm as_double = mdouble(x);
            for (const auto& f : functions) {
                if (int(d.dims.size()) > f.dims_needed)
                    continue;
                SCOPED_TRACE(std::string(d.what) + ", " + k.what + ", " + f.what);
                const Mm got = f.f(x), want = f.f(as_double);
                if (x.gettype() == qv_uint8 && std::string(f.what).rfind("median", 0) == 0) {
                    ASSERT_EQ(got.gettype(), qv_uint8);
                    Mm floor_of_want(0, 0, 0, want.getndims(), want.getdims(), qv_double);
                    for (int e = 0; e < want.size(); ++e)
                        floor_of_want.addr()[e] = std::floor(want.addr()[e]);
                    expect_same(mdouble(got), floor_of_want);
                } else
                    expect_same(got, want);
            }
        }
    }
}

TEST(Statistics, Errors)
{
    const Mm x = test::row({1, 2, 3});
    EXPECT_ERROR(stdM(x, Mm(0.0), Mm(-1.0)), "std: dim argument must be positive");
    EXPECT_ERROR(stdM(x, Mm(0.0), Mm()), "std: dim argument may not be empty");
    EXPECT_ERROR(stdM(x, Mm(0.0), Mm(3.0)), "std: dim argument may not be more then the number of dimensions");
    EXPECT_ERROR(cov(x, test::row({1, 2})), "horzcat: # of rows different");
}

// Values equal within n units in the last place, NaN where want is NaN and
// the same infinity where it is infinite.
void expect_close(const std::vector<double>& got, const std::vector<double>& want, std::int64_t n)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) {
        if (std::isnan(want[k]))
            EXPECT_TRUE(std::isnan(got[k])) << "element " << k << ": " << got[k] << ", expected NaN";
        else
            EXPECT_LE(test::ulps(got[k], want[k]), n) << "element " << k << ": " << got[k] << " vs " << want[k];
    }
}

Mm column(std::initializer_list<double> v)
{
    Mm c = test::row(v);
    c.reshape(int(v.size()), 1);
    return c;
}

// Data near the ends of the doubles: sums that overflow in a plain loop
// though the mean is representable (mean([1.7e308 1.7e308 -1.7e308 ...])
// was Inf), squares that overflow or vanish though the deviation is
// representable (std([1e200 -1e200 ...]) was Inf, std([1e-200 -1e-200 ...])
// 0), and correlations of such data (NaN). Each against mpmath.
TEST(Statistics, NearTheEndsOfTheDoubles)
{
    const double near_const_top = std::nextafter(std::nextafter(1e308, HUGE_VAL), HUGE_VAL);
    const auto near_max = {1.7e308, 1.7e308, -1.7e308, 1.6e308};
    const auto near_const = {1e308, near_const_top, 1e308, near_const_top};
    const auto tiny = {1e-160, 2e-160, 4e-160, -3e-160};
    const auto subnormal = {1e-320, -1e-320, 3e-320, 5e-321};
    const auto big = {1e200, -1e200, 3e200, 2.5e200};
    const auto small = {1e-200, -1e-200, 3e-200, 2.5e-200};
    const auto plain = {1.0, 2.0, 4.0, -3.0};
    const Mm complex_big = test::complex(1, 3, {1.5e308, 1.5e308, -0.5e308}, {1e308, -0.5e308, 1e308});
    const Mm complex_small = test::complex(1, 3, {1e-200, -2e-200, 5e-201}, {3e-200, 1e-200, -1e-200});
    const Mm mixed = horzcat(horzcat(column(near_const), column(plain)), column(small));
    // rows of very different sizes in one argument, taken along dimension 2
    const Mm rows = vertcat(vertcat(test::row(big), test::row(small)), test::row(subnormal));
    const Mm near_max_over_plain = vertcat(test::row(near_max), test::row(plain));
    const auto listed = [](const auto& v) { return test::listed(v); };
    const auto parts = [](const Mm& z) {
        const auto re = test::values(real(z)), im = test::values(imag(z));
        return std::vector<double>{re[0], im[0]};
    };

    struct Case {
        const char* what;
        std::vector<double> got;
        std::vector<double> want;
    };
    const std::vector<Case> cases = {
        {"mean of a row", test::values(mean(test::row(near_max))), listed(mean_near_max)},
        {"mean of a column", test::values(mean(column(near_max))), listed(mean_near_max)},
        {"mean along 2 beside a plain row", test::values(mean(near_max_over_plain, Mm(2.0))),
         {mean_near_max[0], 1.0}},
        {"mean of near copies", test::values(mean(test::row(near_const))), listed(mean_near_const)},
        {"mean of complex", parts(mean(complex_big)), {mean_complex_big_re[0], mean_complex_big_im[0]}},
        {"std of near copies", test::values(stdM(test::row(near_const))), listed(std_near_const)},
        {"std of 1e200", test::values(stdM(test::row(big))), listed(std_big)},
        {"std of 1e-200", test::values(stdM(test::row(small))), listed(std_small)},
        {"std of subnormals", test::values(stdM(test::row(subnormal))), listed(std_subnormal)},
        {"std by m of 1e-160", test::values(stdM(column(tiny), Mm(1.0))), listed(std_tiny_by_m)},
        {"std of complex 1e-200", test::values(stdM(complex_small)), listed(std_complex_small)},
        {"std of complex near the top", test::values(stdM(complex_big)), listed(std_complex_big)},
        {"std along 2 of rows of three sizes", test::values(stdM(rows, Mm(0.0), Mm(2.0))),
         {std_big[0], std_small[0], std_subnormal[0]}},
        {"cov of 1e-160 (a subnormal variance)", test::values(cov(test::row(tiny))), listed(var_tiny)},
        {"cov of columns of three sizes", test::values(cov(mixed)), listed(cov_mixed)},
        {"corrcoef of columns of three sizes", test::values(corrcoef(mixed)), listed(corr_mixed)},
        {"corrcoef of 1e200 and 1e-200", test::values(corrcoef(test::row(big), test::row(small))),
         listed(corr_big_small)},
        {"corrcoef of subnormals and plain data", test::values(corrcoef(test::row(subnormal), test::row(plain))),
         listed(corr_subnormal_plain)},
        // NaN and Inf stay where the arithmetic puts them
        {"mean with Inf", test::values(mean(test::row({INFINITY, 1.7e308, 1.7e308}))), {INFINITY}},
        {"mean with -Inf", test::values(mean(test::row({1.7e308, 1.7e308, -INFINITY}))), {-INFINITY}},
        {"mean with NaN", test::values(mean(test::row({NAN, 1.7e308, 1.7e308}))), {NAN}},
        {"mean of Inf and -Inf", test::values(mean(test::row({INFINITY, -INFINITY, 1e308}))), {NAN}},
        {"std with NaN", test::values(stdM(test::row({1e300, NAN, -1e300}))), {NAN}},
        {"std with Inf", test::values(stdM(test::row({INFINITY, 1e-300, 0}))), {NAN}},
        {"cov with Inf", test::values(cov(test::row({1e300, INFINITY, 1}))), {NAN}},
        {"corrcoef with an Inf column", test::values(corrcoef(test::row({1e300, INFINITY, 1}), test::row({1, 2, 3}))),
         {NAN, NAN, NAN, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expect_close(c.got, c.want, 4);
    }
}

// x times 2^k, element by element (exact for the data below).
Mm scaled(const Mm& x, int k)
{
    Mm r = Mm(x.isc(), 0, 0, x.getndims(), x.getdims(), qv_double);
    for (int j = 0; j < x.size(); ++j) {
        r.addr()[j] = std::ldexp(x.addr()[j], k);
        if (x.isc())
            r.addi()[j] = std::ldexp(x.addi()[j], k);
    }
    return r;
}

std::vector<double> ldexp_all(std::vector<double> v, int k)
{
    for (double& e : v)
        e = std::ldexp(e, k);
    return v;
}

// Scaling data by a power of two scales mean and std by it, cov by its
// square and leaves corrcoef alone, from 2^-960 up to the top of the
// doubles, where sums and squares of the plain formulas overflow or vanish.
// A gallery of shapes (near copies, constant and zero columns, pages,
// complex) is walked along every dimension.
TEST(Statistics, PowersOfTwoScaleExactly)
{
    const int pages[3] = {2, 3, 2};
    Mm cube(0, 0, 0, 3, pages, qv_double);
    for (int k = 0; k < 12; ++k)
        cube.addr()[k] = 0.25 + double((k * 7) % 11) / 3 - (k % 3 == 0 ? 4 : 0);
    Mm near_copies(0, 0, 0, 4, 2, qv_double);
    for (int k = 0; k < 4; ++k) {
        near_copies.addr()[k] = 1 + k * std::ldexp(1.0, -52);
        near_copies.addr()[4 + k] = -3 + (k % 2) * std::ldexp(3.0, -51);
    }
    struct Data {
        const char* what;
        Mm x;
        bool matrix;  // cov and corrcoef take it
    };
    const std::vector<Data> gallery = {
        {"scalar", Mm(1.5), true},
        {"row", test::row({1, 7.5, -2, 0.125, 3, 3, -6.5}), true},
        {"column", column({0.5, -0.75, 2, 6, -1, 0.25}), true},
        {"matrix", data(5, 3, false), true},
        {"near copies", near_copies, true},
        {"constant and zero columns", test::real(3, 3, {2, 2, 2, 0, 0, 0, 1, -1, 0.5}), true},
        {"pages", cube, false},
        {"complex", data(4, 2, true), true},
    };
    const std::vector<int> powers = {-960, -700, -450, -401, -300, -181, -179, 0, 179, 181, 300, 399, 450, 700, 960, 1019};
    for (const auto& g : gallery) {
        SCOPED_TRACE(g.what);
        for (int k : powers) {
            SCOPED_TRACE("2^" + std::to_string(k));
            const Mm xk = scaled(g.x, k);
            for (double d : {1.0, 2.0, 3.0}) {
                SCOPED_TRACE("along " + std::to_string(int(d)));
                expect_close(test::values(real(mean(xk, Mm(d)))), ldexp_all(test::values(real(mean(g.x, Mm(d)))), k), 2);
                expect_close(test::values(imag(mean(xk, Mm(d)))), ldexp_all(test::values(imag(mean(g.x, Mm(d)))), k), 2);
                if (d <= g.x.getndims())
                    for (double flag : {0.0, 1.0})
                        expect_close(test::values(stdM(xk, Mm(flag), Mm(d))),
                                     ldexp_all(test::values(stdM(g.x, Mm(flag), Mm(d))), k), 2);
            }
            if (!g.matrix)
                continue;
            expect_close(test::values(real(cov(xk))), ldexp_all(test::values(real(cov(g.x))), 2 * k), 2);
            expect_close(test::values(imag(cov(xk))), ldexp_all(test::values(imag(cov(g.x))), 2 * k), 2);
            expect_close(test::values(real(corrcoef(xk))), test::values(real(corrcoef(g.x))), 2);
            // columns scaled apart, 2^k and 2^-k, correlate as before
            if (g.x.cols() > 1) {
                Mm apart = scaled(g.x, 0);
                for (int r = 0; r < g.x.rows(); ++r)
                    for (int c = 0; c < g.x.cols(); ++c) {
                        const int j = c * g.x.rows() + r;
                        apart.addr()[j] = std::ldexp(g.x.addr()[j], c % 2 ? -k : k);
                        if (g.x.isc())
                            apart.addi()[j] = std::ldexp(g.x.addi()[j], c % 2 ? -k : k);
                    }
                expect_close(test::values(real(corrcoef(apart))), test::values(real(corrcoef(g.x))), 2);
                expect_close(test::values(imag(corrcoef(apart))), test::values(imag(corrcoef(g.x))), 2);
            }
        }
    }
}

} // namespace

namespace {

// cov(x, y) of two variables of very different sizes (and the one-argument
// form with the columns so apart): cov(2^a x, 2^b y) is the unscaled
// matrix with its entries times 2^2a, 2^(a+b) and 2^2b, and its
// correlations are unchanged, from 2^+-1000 to each other.
TEST(Statistics, TwoVariablesOfVeryDifferentSizes)
{
    const Mm x = column({0.5, -0.75, 2, 6, -1, 0.25}), y = column({3, 1, -2, 0.5, 0.5, -4});
    const Mm plain = cov(x, y), plain_r = corrcoef(x, y);
    for (const auto& [a, b] : std::vector<std::pair<int, int>>{{664, -664}, {-664, 664}, {1000, -1000}, {0, -1060},
                                                              {960, 0}, {-500, -400}, {300, 700}}) {
        SCOPED_TRACE("2^" + std::to_string(a) + " and 2^" + std::to_string(b));
        const Mm xa = scaled(x, a), yb = scaled(y, b);
        const std::vector<double> want = {std::ldexp(test::at(plain, 0), 2 * a), std::ldexp(test::at(plain, 1), a + b),
                                          std::ldexp(test::at(plain, 2), a + b), std::ldexp(test::at(plain, 3), 2 * b)};
        for (const Mm& flag : {Mm(0.0), Mm(1.0)}) {
            const std::vector<double> got = test::values(cov(xa, yb, flag));
            std::vector<double> w = want;
            if (test::at(flag, 0) > 0)
                for (double& v : w)
                    v = v * 5 / 6;  // m - 1 against m observations
            expect_close(got, w, 4);
        }
        expect_close(test::values(cov(horzcat(xa, yb))), want, 2);
        expect_close(test::values(corrcoef(xa, yb)), test::values(plain_r), 2);
        expect_close(test::values(corrcoef(horzcat(xa, yb))), test::values(plain_r), 2);
    }
}

// The slices of a 2x3x2 block v along dimension d (1 to 4), in the order
// of a reduction's results.
std::vector<std::vector<double>> block_slices(const std::vector<double>& v, int d)
{
    const int extents[4] = {2, 3, 2, 1};
    std::vector<std::vector<double>> out;
    for (int k = 0; k < (d == 3 ? 1 : 2); ++k)
        for (int j = 0; j < (d == 2 ? 1 : 3); ++j)
            for (int i = 0; i < (d == 1 ? 1 : 2); ++i) {
                std::vector<double> s;
                for (int r = 0; r < extents[d - 1]; ++r)
                    s.push_back(v[std::size_t((d == 1 ? r : i) + 2 * (d == 2 ? r : j) + 6 * (d == 3 ? r : k))]);
                out.push_back(s);
            }
    return out;
}

// mean and std along every dimension (and past the last) of a 2x3x2 block
// holding NaN and +-Inf: a slice with NaN gives NaN, a slice with an
// infinity gives the infinity (mean) or NaN (std), +Inf and -Inf together
// NaN, and every other slice the plain formula in long double.
TEST(Statistics, NotANumberAndInfinityAlongEachDimension)
{
    const int extents[3] = {2, 3, 2};
    Mm x(0, 0, 0, 3, extents, qv_double);
    const std::vector<double> v = {1, 2, NAN, 4, HUGE_VAL, 6, 7, -HUGE_VAL, 9, 1e300, HUGE_VAL, -1e300};
    std::copy(v.begin(), v.end(), x.addr());
    const int dims[4] = {2, 3, 2, 1};
    for (int d = 1; d <= 4; ++d) {
        SCOPED_TRACE("along " + std::to_string(d));
        const int m = dims[d - 1];
        std::vector<double> want_mean, want_std;
        for (const std::vector<double>& s : block_slices(v, d)) {
            bool nan = false, pinf = false, ninf = false;
            long double sum = 0;
            for (double e : s) {
                nan = nan || std::isnan(e);
                pinf = pinf || e == HUGE_VAL;
                ninf = ninf || e == -HUGE_VAL;
                sum += e;
            }
            const long double mu = sum / m;
            long double sq = 0;
            for (double e : s)
                sq += (e - mu) * (e - mu);
            if (nan || (pinf && ninf)) {
                want_mean.push_back(NAN);
                want_std.push_back(NAN);
            } else if (pinf || ninf) {
                want_mean.push_back(pinf ? HUGE_VAL : -HUGE_VAL);
                want_std.push_back(NAN);
            } else {
                want_mean.push_back(double(mu));
                want_std.push_back(m > 1 ? double(std::sqrt(sq / (m - 1))) : 0.0);
            }
        }
        // NaN where the model is NaN, else within rel of the model.
        auto expect_model = [](const std::vector<double>& got, const std::vector<double>& want, double rel) {
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t k = 0; k < want.size(); ++k) {
                SCOPED_TRACE(k);
                if (std::isnan(want[k]))
                    EXPECT_TRUE(std::isnan(got[k])) << got[k];
                else if (std::isinf(want[k]))
                    EXPECT_EQ(got[k], want[k]);
                else
                    EXPECT_NEAR(got[k], want[k], rel * std::fabs(want[k]));
            }
        };
        expect_model(test::values(mean(x, Mm(double(d)))), want_mean, 0.0);
        if (d > 3) {
            EXPECT_ERROR(stdM(x, Mm(0.0), Mm(double(d))), "std: dim argument may not be more then the number of dimensions");
            continue;
        }
        expect_model(test::values(stdM(x, Mm(0.0), Mm(double(d)))), want_std, 4e-16);
    }
}

// Empty data along each dimension: mean is NaN, median the empty value
// (by default too), std along an empty dimension the empty value and along
// a non-empty one an empty result of the reduced shape; cov and corrcoef of
// no observations are empty.
TEST(Statistics, EmptyDataAlongEachDimension)
{
    const std::vector<std::vector<int>> shapes = {{0, 3}, {3, 0}, {0, 0}, {2, 0, 3}, {2, 3, 0}};
    for (const auto& sh : shapes) {
        Mm x(0, 0, 0, int(sh.size()), sh.data(), qv_double);
        for (int d = 1; d <= int(sh.size()); ++d) {
            SCOPED_TRACE(std::to_string(sh.size()) + " dims, " + std::to_string(sh[0]) + "x" + std::to_string(sh[1]) +
                         " along " + std::to_string(d));
            const Mm mu = mean(x, Mm(double(d)));
            ASSERT_EQ(mu.size(), 1);
            EXPECT_TRUE(std::isnan(test::at(mu, 0)));
            EXPECT_EQ(median(x, Mm(double(d))).size(), 0);
            const Mm s = stdM(x, Mm(0.0), Mm(double(d)));
            EXPECT_EQ(s.size(), 0);
            for (double e : test::values(s))
                EXPECT_TRUE(std::isnan(e) || e == 0) << e;
        }
        EXPECT_EQ(median(x).size(), 0);
    }
    EXPECT_EQ(cov(Mm(0, 0, 0, 0, 3, qv_double)).size(), 0);
    EXPECT_EQ(corrcoef(Mm(0, 0, 0, 0, 3, qv_double)).size(), 0);
}

// median along every dimension of blocks holding NaN, +-Inf, values at the
// top of the doubles (whose plain sum overflows) and subnormals: a slice
// with NaN gives NaN, +Inf and -Inf in the middle NaN, and every other
// slice the middle of its sorted values, the mean of the two middle ones
// taken in long double. Scaling by 2^k, up to pairs near the largest
// double, scales the median exactly.
TEST(Statistics, MedianAlongEachDimension)
{
    const double top = 1.7976931348623157e308, tiny = 4.9406564584124654e-324;
    struct Block {
        const char* what;
        std::vector<double> v;  // 2x3x2
    };
    const std::vector<Block> blocks = {
        {"NaN and infinities", {1, 2, NAN, 4, HUGE_VAL, 6, 7, -HUGE_VAL, 9, 1e300, HUGE_VAL, -1e300}},
        {"top of the doubles", {top, top, -top, top, top, 1e308, top, -top, std::nextafter(top, 0.0), 1, -top, -top}},
        {"subnormals", {tiny, 2 * tiny, 3 * tiny, -tiny, 0, 5 * tiny, 2 * tiny, tiny, -3 * tiny, 0x1p-1022, tiny, 0}},
        {"infinities in the middle", {-HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL, 1, HUGE_VAL, -HUGE_VAL, 2, 3, -HUGE_VAL}},
    };
    const int extents[3] = {2, 3, 2};
    for (const Block& b : blocks) {
        Mm x(0, 0, 0, 3, extents, qv_double);
        std::copy(b.v.begin(), b.v.end(), x.addr());
        for (int d = 1; d <= 3; ++d) {
            SCOPED_TRACE(std::string(b.what) + " along " + std::to_string(d));
            const int m = extents[d - 1];
            std::vector<double> want;
            for (std::vector<double> s : block_slices(b.v, d)) {
                if (std::any_of(s.begin(), s.end(), [](double e) { return std::isnan(e); })) {
                    want.push_back(NAN);
                    continue;
                }
                std::sort(s.begin(), s.end());
                want.push_back(m % 2 ? s[std::size_t(m / 2)]
                                     : double(((long double)s[std::size_t(m / 2 - 1)] + s[std::size_t(m / 2)]) / 2));
            }
            const Mm got = median(x, Mm(double(d)));
            const int* gd = got.getdims();
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(k < got.getndims() ? gd[k] : 1, k == d - 1 ? 1 : extents[k]) << "extent " << k + 1;
            expect_close(test::values(got), want, 0);
        }
    }

    // 2^k scales the median exactly, to pairs whose plain sum overflows.
    const Mm finite = column({0.25, 10, 3, 3.5, 7, 0.5, 9.75, 1});
    for (int k : {-1000, -600, 0, 600, 1019}) {
        SCOPED_TRACE("2^" + std::to_string(k));
        for (const Mm& v : {finite, transpose(finite)}) {
            expect_close(test::values(median(scaled(v, k))), ldexp_all(test::values(median(v)), k), 0);
        }
        const Mm four(reshape(finite, Mm(2.0), Mm(4.0)));
        for (int d = 1; d <= 2; ++d)
            expect_close(test::values(median(scaled(four, k), Mm(double(d)))),
                         ldexp_all(test::values(median(four, Mm(double(d)))), k), 0);
    }

}

} // namespace
