// Model conversions and the state-space responses: canonical forms, zeros
// padded with Inf, gains, the improper-numerator refusal, scipy references
// and the ltitr/ltifr recursions and messages.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/lti_reference.inc"
#include "data/nonfinite_reference.inc"

Mm matrix(int r, int c, std::vector<double> v)
{
    Mm x(0, 0, 0, r, c, qv_double);
    std::copy(v.begin(), v.end(), x.addr());
    return x;
}

template <std::size_t N>
void expect_close(const Mm& got, const double (&want)[N], double tol)
{
    ASSERT_EQ(got.size(), int(N));
    for (std::size_t k = 0; k < N; ++k)
        EXPECT_NEAR(got.addr()[k], want[k], tol * (1 + std::fabs(want[k]))) << k;
}

TEST(Tf2ss, CanonicalForms)
{
    struct Case {
        const char* what;
        Mm num, den;
        std::vector<double> A, B, C, D;
    };
    const std::vector<Case> cases = {
        {"second order", test::row({1, 2}), test::row({1, 3, 2}), {-3, 1, -2, 0}, {1, 0}, {1, 2}, {0}},
        {"normalised and padded", Mm(2.0), test::row({2, 4}), {-2}, {1}, {1}, {0}},
        {"leading zero in den", Mm(1.0), test::row({0, 1, 2}), {-2}, {1}, {1}, {0}},
        {"zero numerator columns dropped", test::row({0, 0, 1}), test::row({1, 2}), {-2}, {1}, {1}, {0}},
        {"direct term", test::row({1, 0}), test::row({1, 2}), {-2}, {1}, {-2}, {1}},
        {"static gain", Mm(3.0), test::row({0, 0, 5}), {}, {}, {}, {0.6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm A, B, C, D;
        tf2ss(c.num, c.den, i_o, A, B, C, D);
        EXPECT_EQ(test::values(A), c.A);
        EXPECT_EQ(test::values(B), c.B);
        EXPECT_EQ(test::values(C), c.C);
        EXPECT_EQ(test::values(D), c.D);
    }
    Mm A, B, C, D;
    tf2ss(test::real(2, 3, {2, 0, -1, 1, 3, 4}), test::row({2, 3, 5, 7}), i_o, A, B, C, D);
    expect_close(A, tf2ss_A, 1e-15);
    expect_close(B, tf2ss_B, 1e-15);
    expect_close(C, tf2ss_C, 1e-15);
    expect_close(D, tf2ss_D, 1e-15);
    EXPECT_ERROR(tf2ss(test::row({1, 2, 3}), test::row({1, 2}), i_o, A, B, C, D),
                 "tf2ss: order of denominator must be at least the order of numerator");
    tf2ss(Mm(), Mm(), i_o, A, B, C, D);
    EXPECT_EQ(A.size() + B.size() + C.size() + D.size(), 0);
}

TEST(Tf2zp, ZerosPolesGains)
{
    Mm z, p, k;
    tf2zp(test::row({1, -1}), test::row({1, 3, 2}), i_o, z, p, k);
    EXPECT_EQ(test::values(z), (std::vector<double>{1}));
    std::vector<double> poles = test::values(p);
    std::sort(poles.begin(), poles.end());
    ASSERT_EQ(poles.size(), 2u);
    EXPECT_NEAR(poles[0], -2, 1e-15);
    EXPECT_NEAR(poles[1], -1, 1e-15);
    EXPECT_EQ(test::values(k), (std::vector<double>{1}));

    tf2zp(Mm(5.0), test::row({1, 1}), i_o, z, p, k);
    EXPECT_EQ(z.size(), 0);
    EXPECT_EQ(test::values(p), (std::vector<double>{-1}));
    EXPECT_EQ(test::values(k), (std::vector<double>{5}));

    tf2zp(test::row({0, 1, 2}), test::row({1, 3, 2}), i_o, z, p, k);
    EXPECT_EQ(test::values(z), (std::vector<double>{-2}));
    EXPECT_EQ(test::values(k), (std::vector<double>{1}));
    tf2zp(test::row({-1, 2}), test::row({1, 3}), i_o, z, p, k);
    EXPECT_EQ(test::values(z), (std::vector<double>{2}));
    EXPECT_EQ(test::values(k), (std::vector<double>{-1}));

    // two outputs: the row with fewer finite zeros is padded with Inf
    tf2zp(test::real(2, 3, {1, 0, -3, 1, 2, -2}), test::row({1, 3, 2}), i_o, z, p);
    EXPECT_EQ(test::extents(z), (std::vector<int>{2, 2}));
    std::vector<double> z1 = {z.r(1, 1), z.r(2, 1)};
    std::sort(z1.begin(), z1.end());
    EXPECT_NEAR(z1[0], 1, 1e-15);
    EXPECT_NEAR(z1[1], 2, 1e-15);
    EXPECT_EQ(z.r(1, 2), 2);
    EXPECT_EQ(z.r(2, 2), INFINITY);
}

TEST(Zp2tf, Polynomials)
{
    Mm num, den;
    zp2tf(test::real(2, 1, {1, 2}), test::real(2, 1, {-1, -2}), Mm(3.0), i_o, num, den);
    EXPECT_EQ(test::values(num), (std::vector<double>{3, -9, 6}));
    EXPECT_EQ(test::values(den), (std::vector<double>{1, 3, 2}));
    zp2tf(Mm(), Mm(-1.0), Mm(2.0), i_o, num, den);
    EXPECT_EQ(test::values(num), (std::vector<double>{0, 2}));
    EXPECT_EQ(test::values(den), (std::vector<double>{1, 1}));
    // an Inf zero is dropped and the numerator right-aligned
    zp2tf(test::real(2, 2, {1, INFINITY, 2, 3}), test::real(2, 1, {-1, -2}), test::real(2, 1, {1, 2}), i_o, num, den);
    EXPECT_EQ(test::values(num), (std::vector<double>{0, 2, 1, -10, -1, 12}));
    EXPECT_ERROR(zp2tf(test::real(2, 2, {1, 3, 2, 4}), test::real(2, 1, {-1, -2}), Mm(1.0), i_o, num, den),
                 "zp2tf: k is too small");
    // More zeros than poles: the numerator is whole and the denominator
    // takes leading zeros (the rows were once written before their storage)
    zp2tf(test::real(3, 1, {-1, -2, -3}), Mm(-1.0), Mm(2.0), i_o, num, den);
    EXPECT_EQ(test::values(num), (std::vector<double>{2, 12, 22, 12}));
    EXPECT_EQ(test::values(den), (std::vector<double>{0, 0, 1, 1}));
    zp2tf(test::real(2, 2, {-1, -2, 1, 0}), Mm(), test::real(2, 1, {1, 3}), i_o, num, den);
    EXPECT_EQ(test::values(num), (std::vector<double>{1, 3, 3, -3, 2, 0}));
    EXPECT_EQ(test::values(den), (std::vector<double>{0, 0, 1}));

    Mm A, B, C, D;
    zp2ss(test::row({1}), test::row({-1, -2}), Mm(3.0), i_o, A, B, C, D);
    EXPECT_EQ(test::values(A), (std::vector<double>{-3, 1, -2, 0}));
    EXPECT_EQ(test::values(C), (std::vector<double>{3, -3}));
}

TEST(Ss2tf, AgainstReferenceAndRoundTrip)
{
    const Mm A = matrix(4, 4, {-1, 0.25, 0, 1, 2, -3, 1.5, 0, 0.5, 1, -2, -0.5, 0, 0.5, 1, -4});
    const Mm B = matrix(4, 2, {1, 0.5, 0, 2, 0, 1, -1, 0.5});
    const Mm C = matrix(2, 4, {1, 0, 0, 2, -1, 1, 0.5, 0});
    const Mm D = matrix(2, 2, {0, 0.5, 1, 0});
    Mm num, den;
    ss2tf(A, B, C, D, i_o, num, den);
    expect_close(num, ss2tf_num_1, 1e-13);
    expect_close(den, ss2tf_den_1, 1e-13);
    ss2tf(A, B, C, D, Mm(2.0), i_o, num, den);
    expect_close(num, ss2tf_num_2, 1e-13);
    expect_close(den, ss2tf_den_2, 1e-13);

    // tf2ss then ss2tf gives back the normalised transfer function
    Mm a, b, c, d;
    tf2ss(test::row({2, 4, 6}), test::row({2, 3, 1, 5}), i_o, a, b, c, d);
    ss2tf(a, b, c, d, i_o, num, den);
    const std::vector<double> wn = {0, 1, 2, 3}, wd = {1, 1.5, 0.5, 2.5};
    // The numerator is poly(a - b*c) - poly(a), whose largest coefficient
    // is 5.5: each coefficient is good to a few ulps of that, as numpy's
    // eigenvalues of the same matrix are.
    const double tol = 16 * 0x1p-52 * 5.5;
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(num.addr()[k], wn[k], tol);
        EXPECT_NEAR(den.addr()[k], wd[k], tol);
    }
    Mm z, p, g;
    ss2zp(a, b, c, d, i_o, z, p, g);
    EXPECT_NEAR(g.r(), 1, 1e-14);
    EXPECT_EQ(z.size(), 2);
}

// A real model whose poles are complex has real polynomials, and a real
// response (scipy.signal.ss2tf and lfilter).
TEST(Ss2tf, RealModelWithComplexPoles)
{
    const Mm A = matrix(3, 3, {-4, 1, 0, -6, 0, 1, -4, 0, 0});
    const Mm B = matrix(3, 1, {1, 0, 0}), C = test::row({0, 2, 5});
    Mm num, den;
    ss2tf(A, B, C, Mm(0.0), i_o, num, den);
    const double tol = 64 * 2.220446049250313e-16 * 6;
    test::expect_matches(num, test::listed(ss2tf_num), tol);
    test::expect_matches(den, test::listed(ss2tf_den), tol);
    test::expect_matches(filter(num, den, test::row({1, 1, 1, 1, 1})), test::listed(ss2tf_step), tol);

    Mm z, p, k;
    ss2zp(A, B, C, Mm(0.0), i_o, z, p, k);
    EXPECT_FALSE(k.isc());
    EXPECT_FALSE(z.isc());
    ASSERT_EQ(z.size(), 1);
    EXPECT_NEAR(z.r(), -2.5, 1e-13);
    EXPECT_NEAR(k.r(), 2, 1e-13);
    // the poles -2 and -1 +- i, in the order roots gives them
    ASSERT_TRUE(p.isc());
    ASSERT_EQ(p.size(), 3);
    for (int j = 0; j < 3; ++j) {
        const double re = p.addr()[j], im = p.addi()[j];
        EXPECT_NEAR(std::fabs(im) > 0.5 ? re : re + 1, -1, 1e-13) << j;
        EXPECT_NEAR(std::fabs(im), std::fabs(im) > 0.5 ? 1 : 0, 1e-13) << j;
    }
}

TEST(Ltitr, Trajectories)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
        std::vector<int> extents;
    };
    const std::vector<Case> cases = {
        {"zero start", ltitr(Mm(0.5), Mm(1.0), test::real(3, 1, {1, 1, 1})), {0, 1, 1.5}, {3, 1}},
        {"given start", ltitr(Mm(0.5), Mm(1.0), test::real(3, 1, {0, 0, 0}), Mm(2.0)), {2, 1, 0.5}, {3, 1}},
        {"two states", ltitr(test::real(2, 2, {1, 0, 1, 1}), test::real(2, 1, {0, 1}), test::real(3, 1, {1, 0, 0})),
         {0, 0, 1, 0, 1, 1}, {3, 2}},
        {"two inputs",
         ltitr(test::real(2, 2, {0.5, 1, 0, 0.25}), test::real(2, 2, {1, 0, 2, 1}), test::real(3, 2, {1, 0, 1, 0, 1, 1}),
               test::real(2, 1, {1, -1})),
         {1, 1.5, 2.75, -1, 0.75, 2.6875}, {3, 2}},
        {"one step", ltitr(test::real(2, 2, {1, 0, 1, 1}), test::real(2, 1, {0, 1}), Mm(7.0), test::real(2, 1, {3, 4})),
         {3, 4}, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(c.result), c.values);
        EXPECT_EQ(test::extents(c.result), c.extents);
    }
    EXPECT_EQ(ltitr(Mm(0.5), Mm(1.0), Mm(0, 0, 0, 0, 1, qv_double)).size(), 0);
    const Mm z = ltitr(test::complex(1, 1, {0}, {1}), Mm(1.0), test::real(3, 1, {1, 1, 1}));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(test::values(z), (std::vector<double>{0, 1, 1}));
    EXPECT_EQ(test::values(imag(z)), (std::vector<double>{0, 0, 1}));

    EXPECT_ERROR(ltitr(test::real(2, 2, {1, 0, 0, 1}), Mm(1.0), Mm(1.0), Mm(1.0)),
                 "ltitr: a is not square or rows(a)<>size(x0)");
    EXPECT_ERROR(ltitr(Mm(1.0), test::row({1, 2}), Mm(1.0), Mm(1.0)),
                 "ltitr: rows(b)<>size(x0) or cols(b)<>cols(u)");
    EXPECT_ERROR(ltitr(Mm(1.0)), "ltitr does not accept 1 input");
    EXPECT_ERROR(ltitr(Mm(1.0), Mm(1.0)), "ltitr does not accept 2 inputs");
}

TEST(Ltifr, FrequencyResponse)
{
    const Mm g = ltifr(Mm(-1.0), Mm(1.0), test::complex(1, 2, {0, 0}, {0, 1}));
    ASSERT_TRUE(g.isc());
    EXPECT_NEAR(g.addr()[0], 1, 1e-15);
    EXPECT_NEAR(g.addr()[1], 0.5, 1e-15);
    EXPECT_NEAR(g.addi()[1], -0.5, 1e-15);
    // a matrix b: its first column
    const Mm h = ltifr(test::real(2, 2, {-1, 0, 0, -2}), test::real(2, 2, {1, 1, 5, 5}), test::row({0, 1}));
    EXPECT_EQ(test::extents(h), (std::vector<int>{2, 2}));
    EXPECT_NEAR(h.r(1, 1), 1, 1e-15);
    EXPECT_NEAR(h.r(2, 1), 0.5, 1e-15);
    EXPECT_NEAR(h.r(1, 2), 0.5, 1e-15);
    EXPECT_NEAR(h.r(2, 2), 1.0 / 3, 1e-15);
    EXPECT_ERROR(ltifr(test::row({1, 2}), Mm(1.0), Mm(1.0)), "ltifr: a not square");
    EXPECT_ERROR(ltifr(Mm(1.0)), "ltifr does not accept 1 input");
    EXPECT_ERROR(ltifr(Mm(1.0), Mm(1.0)), "ltifr does not accept 2 inputs");
}

} // namespace
