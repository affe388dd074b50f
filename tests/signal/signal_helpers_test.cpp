// kron, trapz, nextpow2, freqspace and remezf.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"
#include "data/statistics_scales.inc"

TEST(Kron, DenseSparseAndComplex)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
        std::vector<int> extents;
    };
    const std::vector<Case> cases = {
        {"row by column", kron(test::row({1, 2}), test::real(2, 1, {1, 1})), {1, 1, 2, 2}, {2, 2}},
        {"block diagonal", kron(test::real(2, 2, {1, 0, 0, 1}), test::real(2, 2, {1, 3, 2, 4})),
         {1, 3, 0, 0, 2, 4, 0, 0, 0, 0, 1, 3, 0, 0, 2, 4}, {4, 4}},
        {"scaled blocks", kron(test::real(1, 2, {2, -1}), test::real(2, 1, {1, 3})), {2, 6, -1, -3}, {2, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(c.result), c.values);
        EXPECT_EQ(test::extents(c.result), c.extents);
    }
    EXPECT_EQ(kron(Mm(), test::row({1, 2})).size(), 0);
    const Mm z = kron(test::complex(1, 1, {0}, {1}), Mm(2.0));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(test::values(imag(z)), (std::vector<double>{2}));
    const Mm zz = kron(test::complex(1, 2, {1, 0}, {1, 2}), test::complex(1, 1, {2}, {-1}));
    EXPECT_EQ(test::values(zz), (std::vector<double>{3, 2}));
    EXPECT_EQ(test::values(imag(zz)), (std::vector<double>{1, 4}));

    const Mm s = kron(sparse(test::real(2, 2, {1, 0, 0, 1})), test::row({1, 2}));
    ASSERT_TRUE(s.issparse());
    EXPECT_EQ(test::values(s), (std::vector<double>{1, 0, 2, 0, 0, 1, 0, 2}));
    EXPECT_EQ(s.getnnz(), 4);
    for (int e = 1; e < s.getnnz(); ++e)
        EXPECT_LT(s.getindex()[e - 1], s.getindex()[e]) << "stored positions ascend";
    const Mm s2 = kron(test::real(2, 1, {3, 0}), sparse(test::real(2, 2, {0, 5, 7, 0})));
    EXPECT_EQ(test::values(s2), test::values(kron(test::real(2, 1, {3, 0}), test::real(2, 2, {0, 5, 7, 0}))));
    EXPECT_ERROR(kron(Mm(1.0)), "kron does not accept 1 input");
    // a result beyond the value type's extents is refused, not wrapped
    const Mm wide = ones(1.0, 50000.0);
    EXPECT_ERROR(kron(wide, wide), "Out of memory!");
    EXPECT_ERROR(kron(sparse(wide), wide),
                 "sparse: 1x2500000000 has more than 2147483647 elements, the most a sparse value holds");
}

TEST(Trapz, Integrals)
{
    EXPECT_EQ(test::values(trapz(test::row({1, 2, 3}))), (std::vector<double>{4}));
    EXPECT_EQ(test::values(trapz(test::row({0, 1, 2}), test::row({0, 1, 4}))), (std::vector<double>{3}));
    EXPECT_EQ(test::values(trapz(test::real(2, 2, {1, 3, 2, 4}))), (std::vector<double>{2, 3}));
    EXPECT_EQ(test::values(trapz(Mm(5.0))), (std::vector<double>{0}));
    EXPECT_EQ(trapz(Mm()).size(), 0);
    EXPECT_EQ(test::values(trapz(test::real(3, 1, {0, 0.5, 2}), test::real(3, 1, {2, 2, 2}))), (std::vector<double>{4}));
    EXPECT_ERROR(trapz(test::row({1, 2}), test::row({1, 2, 3})), "trapz: a,b sizes not consistent");
}

// Steps and neighbour sums near the largest double overflow in the plain
// loop though the integral is representable (trapz of [1.7e308 1.7e308
// -1.7e308 1.6e308] was Inf); against mpmath, and Inf or NaN where the
// arithmetic puts them.
TEST(Trapz, NearTheTopOfTheDoubles)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> re, im;
    };
    const Mm near_max = test::row({1.7e308, 1.7e308, -1.7e308, 1.6e308});
    const Mm quarters = test::row({0, 0.25, 0.5, 1});
    const Mm two_columns = test::real(4, 2, {1.7e308, 1.7e308, -1.7e308, 1.6e308, 1, 2, 3, 4});
    const std::vector<Case> cases = {
        {"values near the top", trapz(quarters, near_max), {trapz_near_max[0]}, {}},
        {"unit steps over a column", trapz(test::real(3, 1, {1.7e308, 1.7e308, -1.7e308})), {1.7e308}, {}},
        {"steps near the top", trapz(test::row({-1.7e308, -1e308, 1e308, 1.7e308}), test::row({1e-10, 2e-10, 3e-10, -1e-10})),
         {trapz_wide_x[0]}, {}},
        {"complex", trapz(test::complex(1, 3, {1.5e308, 1.5e308, -0.5e308}, {1e308, -0.5e308, 1e308})),
         {trapz_complex_big_re[0]}, {trapz_complex_big_im[0]}},
        {"a column beside a plain one", trapz(quarters, two_columns), {trapz_near_max[0], 2.125}, {}},
        {"beyond the doubles", trapz(test::row({1e308, 1e308, 1e308})), {INFINITY}, {}},
        {"with Inf", trapz(test::row({1.7e308, 1.7e308, INFINITY})), {INFINITY}, {}},
        {"with Inf and -Inf", trapz(test::row({INFINITY, 1.7e308, -INFINITY})), {NAN}, {}},
        {"with NaN", trapz(test::row({1.7e308, NAN, 1.7e308})), {NAN}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::expect_matches(test::values(real(c.result)), c.re, 4 * std::ldexp(1.0, -52) * test::finite_scale(c.re));
        if (!c.im.empty())
            test::expect_matches(test::values(imag(c.result)), c.im, 4 * std::ldexp(1.0, -52) * test::finite_scale(c.im));
    }
}

// Scaling x by 2^a and y by 2^b scales the integral by 2^(a+b), up to the
// top of the doubles where steps and sums of the plain loop overflow; over
// lengths 2 to 200 and columns of a matrix.
TEST(Trapz, PowersOfTwoScaleExactly)
{
    struct Power {
        int a, b;
    };
    const std::vector<Power> powers = {{0, 0}, {0, 1022}, {1024, -30}, {-2, 1023}, {1022, 1}, {1020, -1000}, {-1000, 1023}, {500, 500}, {-500, -400}};
    for (int m : {2, 3, 10, 57, 200}) {
        Mm x(0, 0, 0, m, 1, qv_double), y(0, 0, 0, m, 3, qv_double);
        for (int k = 0; k < m; ++k) {
            x.addr()[k] = -0.96 + 1.92 * k / (m - 1) - (k % 3) * 0.01 / m;  // in [-0.97, 0.96]
            y.addr()[k] = 1 + double((k * 37) % 13) / 13;                // in [1, 2)
            y.addr()[m + k] = double((k * 29) % 17) / 17 - 0.5;          // both signs
            y.addr()[2 * m + k] = k % 2 ? 1.75 : 1.875;
        }
        const std::vector<double> plain = test::values(trapz(x, y));
        for (const auto& p : powers) {
            SCOPED_TRACE("m " + std::to_string(m) + ", x by 2^" + std::to_string(p.a) + ", y by 2^" + std::to_string(p.b));
            Mm xs(0, 0, 0, m, 1, qv_double), ys(0, 0, 0, m, 3, qv_double);
            for (int k = 0; k < m; ++k)
                xs.addr()[k] = std::ldexp(x.addr()[k], p.a);
            for (int k = 0; k < 3 * m; ++k)
                ys.addr()[k] = std::ldexp(y.addr()[k], p.b);
            const std::vector<double> got = test::values(trapz(xs, ys));
            ASSERT_EQ(got.size(), plain.size());
            for (std::size_t c = 0; c < got.size(); ++c)
                EXPECT_LE(test::ulps(got[c], std::ldexp(plain[c], p.a + p.b)), 2) << "column " << c << ": " << got[c];
        }
    }
}

TEST(Nextpow2AndFreqspace, Values)
{
    struct Case {
        Mm x;
        double p;
    };
    const std::vector<Case> cases = {{Mm(5.0), 3},  {Mm(8.0), 3}, {Mm(1.0), 0}, {Mm(0.3), -1},
                                     {Mm(0.0), 0},  {test::row({1, 2, 3}), 2}, {Mm(-9.0), 4},
                                     {test::complex(1, 1, {3}, {4}), 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p);
        EXPECT_EQ(nextpow2(c.x).r(), c.p);
    }
    // NaN and Inf (numpy: ceil(log2(abs(x))))
    const std::vector<Mm> nonfinite = {Mm(NAN), Mm(INFINITY), Mm(-INFINITY), test::complex(1, 1, {NAN}, {1}),
                                       test::complex(1, 1, {INFINITY}, {NAN})};
    std::vector<double> got;
    for (const auto& x : nonfinite)
        got.push_back(nextpow2(x).r());
    test::expect_matches(got, test::listed(nextpow2_nonfinite));

    EXPECT_EQ(test::values(freqspace(Mm(4.0))), (std::vector<double>{0, 0.5, 1}));
    EXPECT_EQ(test::values(freqspace(Mm(4.0), Mm(1.0))), (std::vector<double>{0, 0.5, 1, 1.5}));
    Mm f1, f2;
    freqspace(Mm(4.0), i_o, f1, f2);
    EXPECT_EQ(test::values(f1), (std::vector<double>{-1, -0.5, 0, 0.5}));
    EXPECT_EQ(test::values(f2), (std::vector<double>{-1, -0.5, 0, 0.5}));
    freqspace(test::row({2, 3}), i_o, f1, f2);
    ASSERT_EQ(f1.size(), 3);
    EXPECT_DOUBLE_EQ(f1.addr()[0], -2.0 / 3);
    EXPECT_EQ(f1.addr()[1], 0);
    EXPECT_DOUBLE_EQ(f1.addr()[2], 2.0 / 3);
    EXPECT_EQ(test::values(f2), (std::vector<double>{-1, 0}));
    Mm gx, gy;
    freqspace(test::row({2, 3}), test::text("meshgrid"), i_o, gx, gy);
    EXPECT_EQ(test::extents(gx), (std::vector<int>{2, 3}));
    EXPECT_EQ(test::values(gy), (std::vector<double>{-1, 0, -1, 0, -1, 0}));

    EXPECT_TRUE(std::isnan(remezf(Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0)).r()));
    Mm h, e, r;
    remezf(Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), i_o, h, e, r);
    EXPECT_TRUE(std::isnan(h.r()));
    EXPECT_EQ(e.r(), 1);
    EXPECT_EQ(r.r(), 1);
}

} // namespace
