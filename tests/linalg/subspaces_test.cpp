// cond, rank, null, orth and pinv: the edge cases of their tolerances, known
// ranks of random products, and the defining properties of the bases and
// of the pseudo-inverse.
#include "linalg_support.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace linalg_test;

TEST(Cond, EdgeCases)
{
    EXPECT_TRUE(std::isnan(cond(Mm()).r()));
    EXPECT_EQ(cond(zeros(2.0, 2.0)).r(), INFINITY);
    EXPECT_EQ(cond(test::real(2, 2, {1, 2, 2, 4})).r(), INFINITY);
    EXPECT_DOUBLE_EQ(cond(test::real(2, 2, {2, 0, 0, -8})).r(), 4);
    EXPECT_DOUBLE_EQ(cond(eye(3.0)).r(), 1);
    EXPECT_ERROR(cond(zeros(Mm(2.0), Mm(2.0), Mm(2.0))), "svd: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
}

// A NaN or Inf entry leaves no singular value known: rank, cond and pinv
// say NaN rather than a plausible 0 or a zero matrix.
TEST(NonFiniteEntries, RankCondPinvAreNaN)
{
    struct Case {
        const char* what;
        Mm a;
    };
    const std::vector<Case> cases = {
        {"[NaN 1;1 1]", test::real(2, 2, {NAN, 1, 1, 1})},
        {"[1 Inf;2 3]", test::real(2, 2, {1, 2, INFINITY, 3})},
        {"3x2 with NaN", test::real(3, 2, {1, 2, 3, 4, NAN, 6})},
        {"complex NaN", test::complex(2, 2, {1, 0, 0, 1}, {0, NAN, 0, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(std::isnan(rank(c.a).r()));
        EXPECT_TRUE(std::isnan(rank(c.a, Mm(0.5)).r()));
        EXPECT_TRUE(std::isnan(cond(c.a).r()));
        const Mm p = pinv(c.a);
        ASSERT_EQ(p.rows(), c.a.cols());
        ASSERT_EQ(p.cols(), c.a.rows());
        for (double v : test::values(real(p)))
            EXPECT_TRUE(std::isnan(v));
    }
}

// null, orth and rcond of a NaN or Inf argument: NaN, not a plausible basis
// ([1] for null(Inf), [] for orth(NaN)) or an "exactly singular" 0; and
// every function over svd returns on the matrix whose svd never ended.
TEST(NonFiniteEntries, NullOrthRcondAreNaN)
{
    struct Case {
        const char* what;
        Mm a;
        std::vector<int> null_extents, orth_extents;
    };
    const Mm inf_23 = test::real(3, 3, {2, -1, 0, -1, 2, -1, 0, INFINITY, 2});
    const Mm nan_23 = test::real(3, 3, {2, -1, 0, -1, 2, -1, 0, NAN, 2});
    const std::vector<Case> cases = {
        {"Inf", Mm(INFINITY), {1, 1}, {1, 1}},
        {"NaN", Mm(NAN), {1, 1}, {1, 1}},
        {"[2 -1 0;-1 2 NaN;0 -1 2]", nan_23, {3, 3}, {3, 3}},
        {"[2 -1 0;-1 2 Inf;0 -1 2]", inf_23, {3, 3}, {3, 3}},
        {"2x3 with -Inf", test::real(2, 3, {1, 2, -INFINITY, 4, 5, 6}), {3, 3}, {2, 2}},
        {"complex Inf", test::complex(2, 2, {1, 0, 0, 1}, {0, INFINITY, 0, 0}), {2, 2}, {2, 2}},
    };
    auto all_nan = [](const Mm& x) {
        for (double v : test::values(real(x)))
            if (!std::isnan(v))
                return false;
        return !isempty(x);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm n = null(c.a), o = orth(c.a);
        EXPECT_EQ(test::extents(n), c.null_extents);
        EXPECT_EQ(test::extents(o), c.orth_extents);
        EXPECT_TRUE(all_nan(n));
        EXPECT_TRUE(all_nan(o));
        EXPECT_TRUE(std::isnan(rank(c.a).r()));
        EXPECT_TRUE(std::isnan(cond(c.a).r()));
        EXPECT_TRUE(all_nan(pinv(c.a)));
        if (c.a.rows() == c.a.cols()) {
            EXPECT_TRUE(std::isnan(rcond(c.a).r()));
        }
    }
    EXPECT_TRUE(std::isnan(rcond(sparse(test::real(2, 2, {1, 0, 0, NAN}))).r()));
    // A finite singular matrix is still exactly singular to rcond.
    EXPECT_EQ(rcond(zeros(2.0, 2.0)).r(), 0.0);
}

TEST(Rank, Cases)
{
    struct Case {
        const char* what;
        Mm got;
        double expected;
    };
    const std::vector<Case> cases = {
        {"zeros", rank(zeros(3.0, 3.0)), 0},
        {"identity", rank(eye(3.0)), 3},
        {"rank one", rank(test::real(2, 2, {1, 2, 2, 4})), 1},
        {"tol counts values strictly above", rank(test::real(2, 2, {3, 0, 0, 1}), Mm(1.0)), 1},
        {"tol just below", rank(test::real(2, 2, {3, 0, 0, 1}), Mm(0.999)), 2},
        {"one row", rank(test::row({0, 3, 4})), 1},
        {"empty", rank(Mm()), 0},
        // A tolerance of another kind is its value: the test for a NaN
        // tolerance read a byte or a sparse value's stored entries as
        // doubles.
        {"tol of bytes", rank(test::real(2, 2, {3, 0, 0, 1}), muint8(Mm(1.0))), 1},
        {"tol of a logical", rank(test::real(2, 2, {3, 0, 0, 0.5}), Mm(1.0) > Mm(0.0)), 1},
        {"sparse tol", rank(test::real(2, 2, {3, 0, 0, 1}), sparse(Mm(0.999))), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got.r(), c.expected);
    }
    // Products of random factors have the rank of their inner dimension.
    std::mt19937_64 gen(3);
    for (bool complex : {false, true})
        for (int r : {1, 2, 5}) {
            SCOPED_TRACE(std::to_string(r) + (complex ? " complex" : ""));
            const Mm a = random_matrix(gen, 9, r, complex) * random_matrix(gen, r, 7, complex);
            EXPECT_EQ(rank(a).r(), r);
        }
}

// A power of two changes no rank, no null space and no range, from
// matrices at the smallest normal doubles to matrices whose largest
// singular value times their size passes the largest double (there the
// default tolerance overflowed and rank was 0); at 2^1020 the largest
// singular values are 1.1 and 0.8 times 2^1023.
TEST(Rank, NullAndOrthAtEveryScale)
{
    // Rank 2: the third column is the sum of the first two.
    const Mm a = test::real(4, 3, {1, 2, 3, 4, 2, 1, 0, 1, 3, 3, 3, 5});
    const Mm square = test::real(3, 3, {4, 1, 0, 1, 4, 1, 5, 5, 1});  // third column: first + second
    for (int e : {-1000, -600, 0, 600, 1000, 1019, 1020}) {
        SCOPED_TRACE("2^" + std::to_string(e));
        const Mm s = Mm(std::ldexp(1.0, e));
        for (const Mm& m : {a, square}) {
            const Mm scaled = times(m, s);
            EXPECT_EQ(rank(scaled).r(), 2);
            EXPECT_EQ(null(scaled).cols(), 1);
            EXPECT_EQ(orth(scaled).cols(), 2);
        }
    }
}

// The default tolerance where eps times the largest singular value falls
// among the subnormal numbers: diag(L, 5 2^-1074, 0) with 3 L eps = 4.6
// 2^-1074 has rank 2 (its singular values are its diagonal, exactly), but
// the tolerance formed in the data's units rounds to 5 2^-1074 and counted
// rank 1. A tolerance of NaN counts nothing known: rank NaN, pinv NaN.
TEST(Rank, ToleranceAmongTheSubnormalNumbers)
{
    const double L = 0x1.8888888888889p-1022, s = 5 * 0x1p-1074;
    for (const Mm& a : {test::real(3, 3, {L, 0, 0, 0, s, 0, 0, 0, 0}), test::real(3, 3, {0, 0, s, L, 0, 0, 0, 0, 0})}) {
        EXPECT_EQ(rank(a).r(), 2);
        EXPECT_EQ(null(a).cols(), 1);
        EXPECT_EQ(orth(a).cols(), 2);
    }
    EXPECT_TRUE(std::isnan(rank(eye(3.0), Mm(NAN)).r()));
    for (double v : test::values(pinv(eye(3.0), Mm(NAN))))
        EXPECT_TRUE(std::isnan(v));
}

TEST(NullOrth, Bases)
{
    // Empty values are 0x0 in this library: the 2x0 basis shows as [].
    EXPECT_TRUE(isempty(null(eye(2.0))));
    EXPECT_EQ(test::extents(orth(eye(2.0))), (std::vector<int>{2, 2}));
    // One row: its single singular value decides.
    EXPECT_EQ(test::extents(null(test::row({1, 1}))), (std::vector<int>{2, 1}));
    EXPECT_EQ(test::extents(orth(test::row({1, 1}))), (std::vector<int>{1, 1}));
    EXPECT_EQ(test::extents(null(test::row({0, 0}))), (std::vector<int>{2, 2}));

    std::mt19937_64 gen(4);
    for (bool complex : {false, true})
        for (auto [m, n] : std::vector<std::pair<int, int>>{{3, 5}, {5, 3}}) {
            SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + (complex ? " complex" : ""));
            const Mm a = random_matrix(gen, m, n, complex);
            const cmat A = to_cmat(a), N = to_cmat(null(a)), O = to_cmat(orth(a));
            ASSERT_EQ(N.cols, m < n ? n - m : 0);
            ASSERT_EQ(O.cols, std::min(m, n));
            if (N.cols > 0) {
                EXPECT_LE(max_abs(product(A, N)), 50 * max_abs(A) * n * eps52);
                EXPECT_LE(max_abs_diff(product(N, N, true), identity(N.cols)), 50 * n * eps52);
            }
            EXPECT_LE(max_abs_diff(product(O, O, true), identity(O.cols)), 50 * m * eps52);
            // A's columns lie in the range: O O' A = A.
            EXPECT_LE(max_abs_diff(product(O, product(O, A, true)), A), 50 * max_abs(A) * m * eps52);
        }
}

TEST(Pinv, Cases)
{
    const Mm z = pinv(zeros(2.0, 3.0));
    EXPECT_EQ(test::extents(z), (std::vector<int>{3, 2}));
    EXPECT_EQ(test::values(z), std::vector<double>(6, 0.0));
    EXPECT_TRUE(isempty(pinv(zeros(0.0, 3.0))));
    // An invertible matrix: its inverse.
    const Mm a = test::real(2, 2, {4, 2, 7, 6});  // inverse [0.6 -0.7; -0.2 0.4]
    const std::vector<double> inv = {0.6, -0.2, -0.7, 0.4};
    const std::vector<double> got = test::values(pinv(a));
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(got[k], inv[k], 1e-15);
    // A tolerance above every value leaves zeros.
    EXPECT_EQ(test::values(pinv(a, Mm(100.0))), std::vector<double>(4, 0.0));
    // The Moore-Penrose conditions on a random rank-deficient complex matrix.
    std::mt19937_64 gen(6);
    const Mm b = random_matrix(gen, 6, 2, true) * random_matrix(gen, 2, 4, true);
    const cmat B = to_cmat(b), X = to_cmat(pinv(b));
    ASSERT_EQ(X.rows, 4);
    ASSERT_EQ(X.cols, 6);
    const double scale = max_abs(B) * max_abs(X);
    EXPECT_LE(max_abs_diff(product(product(B, X), B), B) / (scale * max_abs(B) * 6 * eps52), 100);
    EXPECT_LE(max_abs_diff(product(product(X, B), X), X) / (scale * max_abs(X) * 6 * eps52), 100);
    const cmat BX = product(B, X);
    EXPECT_LE(max_abs_diff(BX, ctrans(BX)) / (scale * 6 * eps52), 100);
}

TEST(Norm, TwoNormIsTheLargestSingularValue)
{
    std::mt19937_64 gen(8);
    for (bool complex : {false, true})
        for (auto [m, n] : std::vector<std::pair<int, int>>{{2, 2}, {7, 3}, {3, 7}, {30, 30}}) {
            SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + (complex ? " complex" : ""));
            const Mm a = random_matrix(gen, m, n, complex);
            EXPECT_EQ(norm(a).r(), max(svd(a)).r());
            EXPECT_EQ(norm(a, Mm(2.0)).r(), max(svd(a)).r());
        }
}

// Singular values whose reciprocals leave the doubles: the pseudo-inverse
// has Inf where its entry does and 0 where it is 0 (the Inf reciprocals met
// the zeros of U and V and made every entry NaN). Random matrices at
// 2^-1000 and 2^1000 give the pseudo-inverse at 1 times 2^-k, to rounding,
// with no NaN.
TEST(Pinv, SingularValuesNearTheEndsOfTheDoubles)
{
    const double inf = INFINITY;
    struct Case {
        const char* what;
        Mm a;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"subnormal diagonal", test::real(2, 2, {1e-310, 0, 0, 1e-310}), {inf, 0, 0, inf}},
        {"crossed", test::real(2, 2, {0, 0x1p-1020, 0x1p-1030, 0}), {0, inf, 0x1p1020, 0}},
        {"a column of zeros", test::real(2, 3, {0x1p-1040, 0, 0, 0, 0, 0x1p-1000}), {inf, 0, 0, 0, 0, 0x1p1000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(pinv(c.a)), c.expected);
    }
    std::mt19937_64 gen(8);
    for (bool complex : {false, true})
        for (int k : {-1000, 1000}) {
            SCOPED_TRACE(std::to_string(k) + (complex ? " complex" : ""));
            const Mm a = random_matrix(gen, 5, 3, complex);
            const cmat X = to_cmat(pinv(a)), Y = to_cmat(pinv(times(a, Mm(std::ldexp(1.0, k)))));
            ASSERT_EQ(Y.rows, 3);
            ASSERT_EQ(Y.cols, 5);
            double worst = 0;
            for (int e = 0; e < 15; ++e)
                worst = std::max(worst, std::abs(Y.v[e] * std::ldexp(1.0, k) - X.v[e]));
            EXPECT_LE(worst / (max_abs(X) * 5 * eps52), 50);
        }
}

} // namespace
