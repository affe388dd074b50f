// upfirdn: lengths and phases of the polyphase loop, matrix columns,
// complex passes, the factor checks, and a reference resampler.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"
#include "data/upfirdn_reference.inc"

Mm formula_row(int n, long a, long b, long m)
{
    Mm x(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        x.addr()[k] = double((k * a + b) % m) / double(m) - 0.5;
    return x;
}

TEST(Upfirdn, Values)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
        std::vector<int> extents;
    };
    const std::vector<Case> cases = {
        {"upsample", upfirdn(test::row({1, 2, 3}), Mm(1.0), Mm(2.0)), {1, 0, 2, 0, 3}, {1, 5}},
        {"downsample", upfirdn(test::counting({1, 6}), Mm(1.0), Mm(1.0), Mm(2.0)), {1, 3, 5}, {1, 3}},
        {"downsample by 4", upfirdn(test::counting({1, 6}), Mm(1.0), Mm(1.0), Mm(4.0)), {1, 5}, {1, 2}},
        {"both", upfirdn(test::row({1, 2}), test::row({1, 1, 1}), Mm(2.0), Mm(3.0)), {1, 2}, {1, 2}},
        {"p rounds half up", upfirdn(test::row({1, 2}), Mm(1.0), Mm(1.5)), {1, 0, 2}, {1, 3}},
        {"column signal", upfirdn(test::real(2, 1, {1, 2}), test::row({1, 1})), {1, 3, 2}, {3, 1}},
        {"matrix columns", upfirdn(test::real(2, 2, {1, 2, 3, 4}), test::row({1, 1})), {1, 3, 2, 3, 7, 4}, {3, 2}},
        {"filter columns", upfirdn(test::row({1, 2}), test::real(2, 2, {1, 1, 1, -1})), {1, 3, 2, 1, 1, -2}, {3, 2}},
        {"paired columns", upfirdn(test::real(2, 2, {1, 2, 3, 4}), test::real(2, 2, {1, 1, 2, -1})), {1, 3, 2, 6, 5, -4}, {3, 2}},
        {"empty filter", upfirdn_vec(test::row({1, 2}), Mm(), 1, 1), {0}, {1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(c.result), c.values);
        EXPECT_EQ(test::extents(c.result), c.extents);
    }
    // with p = q = 1 it is the convolution
    const Mm x = formula_row(40, 7919, 13, 1009), h = formula_row(9, 104729, 7, 1013);
    const Mm viaconv = conv(x, h), direct = upfirdn(x, h);
    ASSERT_EQ(direct.size(), viaconv.size());
    for (int k = 0; k < direct.size(); ++k)
        EXPECT_NEAR(direct.addr()[k], viaconv.addr()[k], 1e-15) << k;
}

TEST(Upfirdn, ComplexOperands)
{
    const Mm x = test::complex(1, 3, {1, 2, 0}, {0, 1, -1}), h = test::complex(1, 2, {1, -1}, {2, 0.5});
    const Mm y = upfirdn(x, h), c = conv(x, h);
    ASSERT_TRUE(y.isc());
    EXPECT_EQ(test::values(y), test::values(c));
    EXPECT_EQ(test::values(imag(y)), test::values(imag(c)));
    const Mm real_filter = upfirdn(x, test::row({1, 1}), Mm(2.0));
    EXPECT_EQ(test::values(imag(real_filter)), (std::vector<double>{0, 0, 1, 1, -1, -1}));
}

TEST(Upfirdn, AgainstReference)
{
    const double* p = upfirdn_reference;
    const double* end = p + sizeof(upfirdn_reference) / sizeof(double);
    while (p < end) {
        const int lx = int(p[0]), lh = int(p[1]), up = int(p[2]), down = int(p[3]), ly = int(p[4]);
        SCOPED_TRACE(std::to_string(lx) + " " + std::to_string(lh) + " " + std::to_string(up) + "/" +
                     std::to_string(down));
        p += 5;
        const Mm y = upfirdn(formula_row(lx, 7919, 13, 1009), formula_row(lh, 104729, 7, 1013), Mm(double(up)),
                             Mm(double(down)));
        ASSERT_EQ(y.size(), ly);
        for (int k = 0; k < ly; ++k)
            EXPECT_NEAR(y.addr()[k], p[k], 1e-15 * lh) << k;
        p += ly;
    }
}

TEST(Upfirdn, Errors)
{
    const Mm x = test::row({1, 2});
    const char positive[] = "upfirdn: p and q must be positive";
    for (double bad : {0.4, -0.4, 0.0, double(NAN), -1e300}) {
        SCOPED_TRACE(bad);
        EXPECT_ERROR(upfirdn(x, Mm(1.0), Mm(bad)), positive);
        EXPECT_ERROR(upfirdn(x, Mm(1.0), Mm(1.0), Mm(bad)), positive);
    }
    EXPECT_ERROR(upfirdn(x, Mm(1.0), Mm()), positive);
    EXPECT_ERROR(upfirdn(test::real(2, 2, {1, 2, 3, 4}), test::real(2, 3, {1, 2, 3, 4, 5, 6})),
                 "upfirdn: x and h must have the same number of columns");
    EXPECT_ERROR(upfirdn(x, Mm(1.0), Mm(1e300)), "Out of memory!") << "a huge factor saturates, then is refused";
    EXPECT_ERROR(upfirdn(x), "upfirdn does not accept 1 input");
    // A factor with an imaginary part was read as its real part, without a
    // word.
    const char real[] = "upfirdn: p and q must be real";
    EXPECT_ERROR(upfirdn(x, Mm(1.0), test::complex(1, 1, {2}, {1})), real);
    EXPECT_ERROR(upfirdn(x, Mm(1.0), Mm(1.0), test::complex(1, 1, {0}, {3})), real);
    EXPECT_ERROR(upfirdn(x, Mm(1.0), sparse(test::complex(1, 1, {2}, {-1})), Mm(1.0)), real);
    EXPECT_EQ(test::values(upfirdn(x, Mm(1.0), test::complex(1, 1, {2}, {0}))), test::values(upfirdn(x, Mm(1.0), Mm(2.0))))
        << "an imaginary part of 0 is the real factor";
}

// A NaN sample reaches the outputs its taps reach (numpy.convolve of the
// upsampled signal, every q-th output kept).
TEST(Upfirdn, NaNSampleReachesOnlyItsOutputs)
{
    const Mm x = test::row({1, NAN, 3, 4, 5, 6, 7}), h = test::row({1, 0.5, 2, -1});
    struct Case {
        int p, q;
        std::vector<double> y;
    };
    const std::vector<Case> cases = {
        {2, 1, test::listed(upfirdn_2_1)},
        {3, 2, test::listed(upfirdn_3_2)},
        {1, 3, test::listed(upfirdn_1_3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.p) + " / " + std::to_string(c.q));
        test::expect_matches(upfirdn(x, h, Mm(double(c.p)), Mm(double(c.q))), c.y);
    }
}

} // namespace
