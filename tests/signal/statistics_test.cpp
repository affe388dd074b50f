// mean, stdM, cov and corrcoef: small exact cases, dimensions and
// normalisation flags, and matrix and complex data against numpy.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"
#include "data/statistics_reference.inc"

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

} // namespace
