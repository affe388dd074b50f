// ishermitian (types, the scaled tolerance, the non-square message) and the
// plane rotations givens and planerot, real and complex.
#include "test_support.hpp"

#include <cmath>
#include <complex>
#include <string>
#include <vector>

namespace {

using cx = std::complex<double>;

cx element(const Mm& x, int k)
{
    return {x.addr()[k], x.isc() ? x.addi()[k] : 0.0};
}

TEST(Ishermitian, DecidesByTypeAndScaledAsymmetry)
{
    const double eps = 0x1p-52;
    struct Case {
        const char* what;
        Mm a;
        int expected;
    };
    const std::vector<Case> cases = {
        {"symmetric", test::real(2, 2, {1, 2, 2, 5}), 1},
        {"non-symmetric", test::real(2, 2, {1, 2, 3, 4}), 0},
        {"1x1 real", Mm(-7.0), 1},
        {"1x1 complex", test::complex(1, 1, {1}, {2}), 0},
        {"1x1 complex with zero imaginary part", test::complex(1, 1, {1}, {0}), 1},
        {"Hermitian", test::complex(2, 2, {1, 2, 2, 3}, {0, -5, 5, 0}), 1},
        {"complex symmetric is not Hermitian", test::complex(2, 2, {1, 2, 2, 3}, {0, 5, 5, 0}), 0},
        {"asymmetry below 10 eps, huge entries", test::real(2, 2, {1e300, 1, 1 + 4 * eps, 1e300}), 1},
        {"asymmetry of 10 eps", test::real(2, 2, {1, 0.5, 0.5 + 16 * eps, 1}), 0},
        {"tiny entries, not symmetric", test::real(2, 2, {1e-16, 3e-16, 2e-16, 4e-16}), 0},
        {"tiny entries, symmetric", test::real(2, 2, {1e-16, 3e-16, 3e-16, 4e-16}), 1},
        {"zero matrix", test::real(2, 2, {0, 0, 0, 0}), 1},
        {"empty", Mm(), 1},
        {"char value tested as double", test::text("a"), 1},
        {"uint8 value", test::bytes(2, 2, {1, 2, 3, 4}), 0},
        {"symmetric uint8 value", test::bytes(1, 1, {1}), 0},
        {"cell", Mm(0, 0, 0, 2, 2, qv_cell), 0},
        {"sparse symmetric", sparse(test::real(2, 2, {0, 1, 1, 0})), 1},
        // NaN equals nothing, itself included: no matrix holding one is
        // its own conjugate transpose. Infinite entries that match are.
        {"[1 NaN;5 1]", test::real(2, 2, {1, 5, NAN, 1}), 0},
        {"[1 NaN;NaN 1]", test::real(2, 2, {1, NAN, NAN, 1}), 0},
        {"NaN on the diagonal", test::real(2, 2, {NAN, 2, 2, 1}), 0},
        {"complex NaN", test::complex(2, 2, {1, 2, 2, 3}, {0, NAN, 5, 0}), 0},
        {"matching Inf", test::real(2, 2, {1, INFINITY, INFINITY, 1}), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ishermitian(c.a), c.expected);
    }
}

// The pairs are visited in tiles, one triangle only, stopping early once
// the answer is certain: a single asymmetric pair anywhere in a matrix
// larger than a tile must still be found, and a complex diagonal entry
// counts as an asymmetry with itself.
TEST(Ishermitian, FindsOneAsymmetryAnywhere)
{
    const int n = 70;
    auto symmetric = [n](bool complex) {
        Mm a(complex, 0, 0, n, n, qv_double);
        for (int c = 0; c < n; ++c)
            for (int r = 0; r < n; ++r) {
                const std::ptrdiff_t k = r + std::ptrdiff_t(c) * n;
                a.addr()[k] = 1.0 / (1 + r + c);
                if (complex)
                    a.addi()[k] = (r - c) * 0.01;
            }
        return a;
    };
    EXPECT_EQ(ishermitian(symmetric(false)), 1);
    EXPECT_EQ(ishermitian(symmetric(true)), 1);
    struct Case {
        int r, c;
        bool complex;
        bool diagonal_imaginary;
    };
    for (const Case& e : std::vector<Case>{{1, 0, false, false},
                                           {69, 0, false, false},
                                           {0, 69, false, false},
                                           {33, 31, false, false},
                                           {64, 65, false, false},
                                           {69, 68, true, false},
                                           {66, 66, true, true}}) {
        SCOPED_TRACE(std::to_string(e.r) + "," + std::to_string(e.c));
        Mm a = symmetric(e.complex);
        const std::ptrdiff_t k = e.r + std::ptrdiff_t(e.c) * n;
        if (e.diagonal_imaginary)
            a.addi()[k] = 1e-3;
        else
            a.addr()[k] += 1e-3;
        EXPECT_EQ(ishermitian(a), 0);
    }
}

TEST(Ishermitian, NonSquareNamesTheValue)
{
    EXPECT_ERROR(ishermitian(test::real(2, 3, {1, 2, 3, 4, 5, 6})), "ishermitian: '(temporary)' matrix not square");
    Mm named(test::real(2, 1, {1, 2}), "A");
    EXPECT_ERROR(ishermitian(named), "ishermitian: 'A' matrix not square");
    EXPECT_EQ(ishermitian(test::bytes(2, 1, {1, 2})), 0) << "a uint8 value is refused before any check";
}

TEST(Givens, RealRotations)
{
    Mm c, s;
    givens(Mm(3.0), Mm(4.0), i_o, c, s);
    EXPECT_DOUBLE_EQ(c.r(), 0.6);
    EXPECT_DOUBLE_EQ(s.r(), 0.8);
    const Mm g = givens(Mm(3.0), Mm(4.0));
    ASSERT_EQ(g.rows(), 2);
    ASSERT_EQ(g.cols(), 2);
    const double expected[] = {0.6, -0.8, 0.8, 0.6};
    for (int k = 0; k < 4; ++k)
        EXPECT_DOUBLE_EQ(g.addr()[k], expected[k]) << k;

    for (double y : {7.0, 0.0, -2.5}) {
        SCOPED_TRACE(y);
        givens(Mm(0.0), Mm(y), i_o, c, s);
        EXPECT_EQ(c.r(), 0);
        EXPECT_EQ(s.r(), 1);
    }
    givens(Mm(-3.0), Mm(4.0), i_o, c, s);
    EXPECT_DOUBLE_EQ(c.r(), 0.6) << "c is never negative";
    EXPECT_DOUBLE_EQ(s.r(), -0.8);
}

TEST(Givens, ComplexRotationIsUnitaryAndAnnihilates)
{
    const cx x(1, 2), y(-3, 0.5);
    const Mm g = givens(test::complex(1, 1, {x.real()}, {x.imag()}), test::complex(1, 1, {y.real()}, {y.imag()}));
    ASSERT_TRUE(g.isc());
    const cx g11 = element(g, 0), g21 = element(g, 1), g12 = element(g, 2), g22 = element(g, 3);
    EXPECT_NEAR(g11.imag(), 0, 1e-16) << "c is real";
    EXPECT_NEAR(std::abs(g21 * x + g22 * y), 0, 1e-15);
    EXPECT_NEAR(std::abs(g11 * x + g12 * y), std::hypot(std::abs(x), std::abs(y)), 1e-14);
    // Columns orthonormal.
    EXPECT_NEAR(std::norm(g11) + std::norm(g21), 1, 1e-15);
    EXPECT_NEAR(std::norm(g12) + std::norm(g22), 1, 1e-15);
    EXPECT_NEAR(std::abs(std::conj(g11) * g12 + std::conj(g21) * g22), 0, 1e-15);
}

TEST(Givens, OneInputFormsAreRefused)
{
    EXPECT_ERROR(givens(Mm(1.0)), "givens does not accept 1 input");
    Mm c, s;
    EXPECT_ERROR(givens(Mm(1.0), i_o, c, s), "givens does not accept 1 input");
}

TEST(Planerot, RotatesOntoTheFirstAxis)
{
    Mm G, y;
    planerot(test::real(2, 1, {3, 4}), i_o, G, y);
    const double g[] = {0.6, -0.8, 0.8, 0.6};
    for (int k = 0; k < 4; ++k)
        EXPECT_DOUBLE_EQ(G.addr()[k], g[k]) << k;
    ASSERT_EQ(y.rows(), 2);
    ASSERT_EQ(y.cols(), 1);
    EXPECT_DOUBLE_EQ(y.addr()[0], 5);
    EXPECT_EQ(y.addr()[1], 0);

    planerot(test::real(2, 1, {3, 0}), i_o, G, y);
    EXPECT_EQ(test::values(G), (std::vector<double>{1, 0, 0, 1}));
    EXPECT_EQ(test::values(y), (std::vector<double>{3, 0}));

    const Mm one = planerot(test::real(2, 1, {-1, 1}));
    EXPECT_DOUBLE_EQ(one.addr()[0] * -1 + one.addr()[2] * 1, std::sqrt(2.0));
    EXPECT_NEAR(one.addr()[1] * -1 + one.addr()[3] * 1, 0, 1e-16);
}

TEST(Planerot, ComplexColumn)
{
    const cx x1(1, -1), x2(2, 3);
    Mm G, y;
    planerot(test::complex(2, 1, {x1.real(), x2.real()}, {x1.imag(), x2.imag()}), i_o, G, y);
    const cx g11 = element(G, 0), g21 = element(G, 1), g12 = element(G, 2), g22 = element(G, 3);
    const double r = std::sqrt(std::norm(x1) + std::norm(x2));
    EXPECT_NEAR(std::abs(g11 * x1 + g12 * x2 - r), 0, 1e-14);
    EXPECT_NEAR(std::abs(g21 * x1 + g22 * x2), 0, 1e-14);
    EXPECT_NEAR(std::abs(std::conj(g11) * g12 + std::conj(g21) * g22), 0, 1e-15);
    EXPECT_DOUBLE_EQ(element(y, 0).real(), r);
}

} // namespace
