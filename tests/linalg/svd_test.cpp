// svd: shapes of every form, hand-checked values, the backward error and
// orthogonality of the factors on real and complex matrices, the values
// against reference values, and the stopped iteration and non-finite
// arguments showing as NaN.
#include "linalg/kernels.hpp"
#include "linalg_support.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace linalg_test;

struct SvdReference {
    int rows, cols;
    bool complex;
    int seed;
    std::vector<double> values;
};

const std::vector<SvdReference> reference = {
#include "data/svd_reference.inc"
};

TEST(Svd, ValuesMatchReference)
{
    ASSERT_GE(reference.size(), 30u);
    for (const auto& c : reference) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + (c.complex ? " complex" : " real"));
        const Mm s = svd(hash_matrix(c.rows, c.cols, c.complex, c.seed));
        ASSERT_EQ(s.rows(), int(c.values.size()));
        ASSERT_EQ(s.cols(), 1);
        EXPECT_FALSE(s.isc());
        for (int k = 0; k < s.rows(); ++k)
            EXPECT_NEAR(s.addr()[k], c.values[k], 1e-13 * c.values[0]) << k;
    }
}

// Entries far from 1: the rotations of the QR iteration scale their
// arguments, so svd and everything read from it keep full accuracy from
// 1e-300 to 1e300. Values of A = [1 2;3 4] and of the complex
// A + i[1 3;2 4] from mpmath and numpy (tools/reference/scaled_linalg.py).
TEST(Svd, EntriesFarFromOne)
{
    const double s1 = 5.4649857042190427, s2 = 0.36596619062625782;
    const Mm a = test::real(2, 2, {1, 3, 2, 4});
    const Mm c = test::complex(2, 2, {1, 3, 2, 4}, {1, 2, 3, 4});
    struct Case {
        const char* what;
        Mm got;
        std::vector<double> want;
    };
    const std::vector<Case> cases = {
        {"svd(1e200*A)", svd(1e200 * a), {s1 * 1e200, s2 * 1e200}},
        {"svd(1e-200*A)", svd(1e-200 * a), {s1 * 1e-200, s2 * 1e-200}},
        {"svd(1e-160*A)", svd(1e-160 * a), {s1 * 1e-160, s2 * 1e-160}},
        {"svd(1e300*A)", svd(1e300 * a), {s1 * 1e300, s2 * 1e300}},
        {"svd(1e-300*A)", svd(1e-300 * a), {s1 * 1e-300, s2 * 1e-300}},
        {"complex svd(1e200*C)", svd(1e200 * c), {7.718834038603116e200, 0.6477662267376405e200}},
        {"complex svd(1e-200*C)", svd(1e-200 * c), {7.718834038603116e-200, 0.6477662267376405e-200}},
        {"norm(1e160*A)", norm(1e160 * a), {s1 * 1e160}},
        {"cond(1e200*A)", cond(1e200 * a), {14.933034373659253}},
        {"rank(1e160*A)", rank(1e160 * a), {2}},
        {"pinv(1e300*A)", pinv(1e300 * a), {-2e-300, 1.5e-300, 1e-300, -0.5e-300}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ASSERT_EQ(k.got.size(), int(k.want.size()));
        for (std::size_t e = 0; e < k.want.size(); ++e)
            EXPECT_NEAR(k.got.addr()[e], k.want[e], 16 * eps52 * std::fabs(k.want[e])) << e;
    }
    // The factors of the scaled matrix reproduce it.
    for (double scale : {1e200, 1e-200}) {
        SCOPED_TRACE(scale);
        Mm U, S, V;
        svd(scale * a, i_o, U, S, V);
        const cmat A = to_cmat(scale * a);
        EXPECT_LE(max_abs_diff(product(product(to_cmat(U), to_cmat(S)), ctrans(to_cmat(V))), A) / (max_abs(A) * eps52), 50);
    }
}

// [U,S,V] = svd((magic(4) + 16i*hilb(4))*2^-1000) reproduced its argument
// to 4.3e-10 only (6.5e-16 at scale 1): products inside the complex
// iteration fell into the subnormal range. The argument is scaled by a
// power of two into the middle of the range first. Values from mpmath
// (tools/reference/scaled_linalg.py). Real and complex matrices of every
// shape over scales 2^-1010 .. 2^1020, with and without vectors: each
// singular value is 2^k times the unscaled one, and the factors reproduce
// the argument and are unitary (LAPACK's threshold 50).
TEST(Svd, EveryScaleKeepsFullAccuracy)
{
    const Mm a0 = magic(Mm(4.0)) + test::complex(1, 1, {0}, {16}) * hilb(Mm(4.0));
    const Mm a = std::ldexp(1.0, -1000) * a0;
    const std::vector<double> want = {3.8552451953213056e-300, 1.7248793335886994e-300, 5.161974197466053e-301,
                                      8.640544070804698e-302};
    Mm U, S, V;
    svd(a, i_o, U, S, V);
    const cmat A = to_cmat(a);
    EXPECT_LE(max_abs_diff(product(product(to_cmat(U), to_cmat(S)), ctrans(to_cmat(V))), A) / (max_abs(A) * 4 * eps52),
              50);
    const Mm s = svd(a);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(s.addr()[k], want[k], 16 * eps52 * want[k]) << k;
        EXPECT_NEAR(S.addr()[k * 5], want[k], 16 * eps52 * want[k]) << k;
    }
    // pinv, built on the factors, inverts it (condition 45).
    EXPECT_LE(max_abs_diff(product(to_cmat(pinv(a)), A), identity(4)), 1e-13);

    std::mt19937_64 gen(69);
    for (bool complex : {false, true})
        for (auto [m, n] : std::vector<std::pair<int, int>>{{1, 1}, {3, 3}, {6, 4}, {4, 6}, {12, 12}, {20, 9}}) {
            const Mm g = random_matrix(gen, m, n, complex);
            const Mm s1 = svd(g);
            for (int e : {-1010, -1000, -600, -100, 0, 100, 600, 1000, 1020}) {
                SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + (complex ? " complex" : "") + " times 2^" +
                             std::to_string(e));
                const Mm ge = std::ldexp(1.0, e) * g;
                const Mm se = svd(ge);
                for (int k = 0; k < std::min(m, n); ++k)
                    EXPECT_NEAR(std::ldexp(se.addr()[k], -e), s1.addr()[k], 64 * std::max(m, n) * eps52 * s1.addr()[0])
                        << k;
                svd(ge, i_o, U, S, V);
                const cmat G = to_cmat(ge), u = to_cmat(U), v = to_cmat(V);
                EXPECT_LE(max_abs_diff(product(product(u, to_cmat(S)), ctrans(v)), G) /
                              (max_abs(G) * std::max(m, n) * eps52),
                          50);
                EXPECT_LE(max_abs_diff(product(u, u, true), identity(m)) / (m * eps52), 50);
                EXPECT_LE(max_abs_diff(product(v, v, true), identity(n)) / (n * eps52), 50);
            }
        }
}

TEST(Svd, FactorsReproduceTheMatrix)
{
    for (const auto& c : reference) {
        for (bool economy : {false, true}) {
            SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + (c.complex ? " complex" : " real") +
                         (economy ? " economy" : " full"));
            const Mm a = hash_matrix(c.rows, c.cols, c.complex, c.seed);
            Mm U, S, V;
            if (economy)
                svd(a, Mm(0.0), i_o, U, S, V);
            else
                svd(a, i_o, U, S, V);
            const int m = c.rows, n = c.cols, k = std::min(m, n);
            ASSERT_EQ(U.rows(), m);
            ASSERT_EQ(U.cols(), economy ? k : m);
            ASSERT_EQ(S.rows(), economy ? k : m);
            ASSERT_EQ(S.cols(), n);
            ASSERT_EQ(V.rows(), n);
            ASSERT_EQ(V.cols(), n);
            EXPECT_EQ(bool(U.isc()), c.complex);
            EXPECT_EQ(bool(S.isc()), c.complex);
            EXPECT_EQ(bool(V.isc()), c.complex);
            const cmat A = to_cmat(a), u = to_cmat(U), s = to_cmat(S), v = to_cmat(V);
            const cmat usv = product(product(u, s), ctrans(v));
            EXPECT_LE(max_abs_diff(A, usv) / (max_abs(A) * std::max(m, n) * eps52), 50);
            EXPECT_LE(max_abs_diff(product(u, u, true), identity(u.cols)), 50 * u.rows * eps52);
            EXPECT_LE(max_abs_diff(product(v, v, true), identity(n)), 50 * n * eps52);
            // S: the values on the diagonal, decreasing, zeros elsewhere.
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < S.rows(); ++i) {
                    if (i != j)
                        EXPECT_EQ(s(i, j), cx(0)) << i << "," << j;
                    else
                        EXPECT_NEAR(s(i, j).real(), c.values[i], 1e-13 * c.values[0]);
                }
        }
    }
}

// All-ones and repeated-row matrices: their reduction leaves columns that
// decay past the underflow bound, and svd(ones(100)) was all NaN, and with
// it norm, rank, cond, pinv, null and orth. Singular values: the one that
// is not zero is |u|·|v| of the rank-one u·vᵀ (numpy agrees).
// Real values alone past the order where the bidiagonal comes from the
// blocked reduction: within 50 n eps of the largest value of those that the
// three-output form's own reduction gives, in decreasing order and not
// negative. Square, tall and wide; graded values down to 1e-12; rank 40
// of 200; scaled by 2^600 and 2^-600.
TEST(Svd, RealValuesPastTheBlockedOrder)
{
    struct Case {
        const char* what;
        int m, n;
        char kind;  // r random, g graded, d rank deficient
        int scale;  // power of two
    };
    const std::vector<Case> cases = {
        {"at the crossover", 64, 64, 'r', 0}, {"square", 150, 150, 'r', 0},      {"tall", 300, 100, 'r', 0},
        {"wide", 100, 300, 'r', 0},           {"graded", 160, 160, 'g', 0},      {"rank 40", 200, 200, 'd', 0},
        {"huge", 120, 90, 'r', 600},          {"tiny", 90, 120, 'r', -600},
    };
    std::mt19937_64 gen(71);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int m = c.m, n = c.n, k = std::min(m, n);
        Mm a = random_matrix(gen, m, n, false);
        if (c.kind == 'g') {
            Mm q1, r1, q2, r2;
            qr(random_matrix(gen, m, m, false), i_o, q1, r1);
            qr(random_matrix(gen, n, n, false), i_o, q2, r2);
            Mm d = zeros(double(m), double(n));
            for (int i = 0; i < k; ++i)
                d.addr()[i + std::size_t(i) * m] = std::pow(10.0, -12.0 * i / (k - 1));
            a = q1 * d * transpose(q2);
        }
        if (c.kind == 'd')
            a = random_matrix(gen, m, 40, false) * random_matrix(gen, 40, n, false);
        a = a * Mm(std::ldexp(1.0, c.scale));
        const Mm s = svd(a);
        Mm U, S, V;
        svd(a, i_o, U, S, V);
        ASSERT_EQ(test::extents(s), (std::vector<int>{k, 1}));
        const double top = S.addr()[0];
        for (int i = 0; i < k; ++i) {
            EXPECT_LE(std::fabs(s.addr()[i] - S.addr()[i + std::size_t(i) * m]), 50 * std::max(m, n) * eps52 * top)
                << i;
            EXPECT_GE(s.addr()[i], 0) << i;
            if (i > 0) {
                EXPECT_LE(s.addr()[i], s.addr()[i - 1]) << i;
            }
        }
    }
    // A NaN or Inf leaves no value known, at this order too.
    for (double bad : {NAN, INFINITY}) {
        Mm a = random_matrix(gen, 100, 80, false);
        a.addr()[517] = bad;
        for (double v : test::values(svd(a)))
            EXPECT_TRUE(std::isnan(v));
    }
}

// Graded values, 10^(-decades*i/(k-1)): while a block holds values far
// above its trailing ones, the shift is lost in the first rotation and the
// trailing value converges only linearly, by the squared ratio of the two
// smallest values per step. At 160 values over 12 decades that took 80 to
// 96 steps by the BLAS kernel in use, at 200 some 130, past a limit of 100
// steps per value, and svd returned all NaN for a finite matrix. Each
// value must lie within 50 n eps of the one built in, by both the values
// form and the three-output form, whose factors must reproduce the matrix
// and be unitary.
TEST(Svd, GradedValuesConverge)
{
    struct Case {
        int m, n, decades;
        bool complex;
    };
    const std::vector<Case> cases = {
        {160, 160, 12, false}, {200, 200, 12, false}, {300, 200, 12, false}, {200, 300, 12, false},
        {300, 300, 8, false},  {250, 250, 30, false}, {200, 200, 12, true},  {40, 40, 12, false},
    };
    std::mt19937_64 gen(73);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.m) + "x" + std::to_string(c.n) + " over " + std::to_string(c.decades) +
                     " decades" + (c.complex ? " complex" : ""));
        const int m = c.m, n = c.n, k = std::min(m, n);
        Mm q1, r1, q2, r2;
        qr(random_matrix(gen, m, m, c.complex), i_o, q1, r1);
        qr(random_matrix(gen, n, n, c.complex), i_o, q2, r2);
        Mm d = zeros(double(m), double(n));
        std::vector<double> want(k);
        for (int i = 0; i < k; ++i) {
            want[i] = std::pow(10.0, -double(c.decades) * i / (k - 1));
            d.addr()[i + std::size_t(i) * m] = want[i];
        }
        const Mm a = q1 * d * ctranspose(q2);
        const double tol = 50 * std::max(m, n) * eps52;
        const Mm s = svd(a);
        Mm U, S, V;
        svd(a, i_o, U, S, V);
        for (int i = 0; i < k; ++i) {
            EXPECT_NEAR(s.addr()[i], want[i], tol) << i;
            EXPECT_NEAR(S.addr()[i + std::size_t(i) * m], want[i], tol) << i;
        }
        const cmat A = to_cmat(a), u = to_cmat(U), v = to_cmat(V);
        EXPECT_LE(max_abs_diff(product(product(u, to_cmat(S)), ctrans(v)), A) / (max_abs(A) * std::max(m, n) * eps52),
                  50);
        EXPECT_LE(max_abs_diff(product(u, u, true), identity(m)) / (m * eps52), 50);
        EXPECT_LE(max_abs_diff(product(v, v, true), identity(n)) / (n * eps52), 50);
    }
}

TEST(Svd, RankOneMatricesAndWhatReadsTheirValues)
{
    struct Case {
        const char* what;
        Mm a;
        double top;
    };
    std::vector<double> row(100);
    double row_norm = 0;
    for (int j = 0; j < 100; ++j) {
        row[j] = j + 1;
        row_norm = std::hypot(row_norm, j + 1.0);
    }
    Mm repeated(0, 0, 0, 100, 100, qv_double);
    for (int j = 0; j < 100; ++j)
        for (int i = 0; i < 100; ++i)
            repeated.addr()[i + 100 * j] = row[j];
    const std::vector<Case> cases = {
        {"ones(100)", ones(100.0), 100},
        {"2*ones(100)", 2 * ones(100.0), 200},
        {"ones(63,56)", ones(63.0, 56.0), std::sqrt(63.0 * 56.0)},
        {"ones(56,63)", ones(56.0, 63.0), std::sqrt(63.0 * 56.0)},
        {"repmat(1:100, 100, 1)", repeated, 10 * row_norm},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int m = c.a.rows(), n = c.a.cols(), k = std::min(m, n);
        const double tiny = 20 * std::max(m, n) * eps52 * c.top;
        const Mm s = svd(c.a);
        ASSERT_EQ(s.rows(), k);
        EXPECT_NEAR(s.addr()[0], c.top, 4 * k * eps52 * c.top);
        for (int i = 1; i < k; ++i) {
            EXPECT_GE(s.addr()[i], 0) << i;
            EXPECT_LE(s.addr()[i], tiny) << i;
        }
        Mm U, S, V;
        svd(c.a, i_o, U, S, V);
        const cmat A = to_cmat(c.a), u = to_cmat(U), sm = to_cmat(S), v = to_cmat(V);
        EXPECT_LE(max_abs_diff(A, product(product(u, sm), ctrans(v))) / (max_abs(A) * std::max(m, n) * eps52), 50);
        EXPECT_LE(max_abs_diff(product(u, u, true), identity(m)), 50 * m * eps52);
        EXPECT_LE(max_abs_diff(product(v, v, true), identity(n)), 50 * n * eps52);

        EXPECT_NEAR(norm(c.a).r(), c.top, 4 * k * eps52 * c.top);
        EXPECT_EQ(rank(c.a).r(), 1);
        EXPECT_GT(cond(c.a).r(), 1 / (std::max(m, n) * eps52));
        // pinv of u·vᵀ is v·uᵀ/(|u|²|v|²) = Aᵀ/top².
        const cmat X = to_cmat(pinv(c.a));
        ASSERT_EQ(X.rows, n);
        ASSERT_EQ(X.cols, m);
        EXPECT_LE(max_abs_diff(X, ctrans(to_cmat(c.a / (c.top * c.top)))), 50 * std::max(m, n) * eps52 * max_abs(X));
        const cmat N = to_cmat(null(c.a)), O = to_cmat(orth(c.a));
        ASSERT_EQ(N.cols, n - 1);
        ASSERT_EQ(O.cols, 1);
        EXPECT_LE(max_abs(product(A, N)), 50 * std::max(m, n) * eps52 * max_abs(A));
        EXPECT_LE(max_abs_diff(product(N, N, true), identity(n - 1)), 50 * n * eps52);
        EXPECT_LE(max_abs_diff(product(O, O, true), identity(1)), 50 * m * eps52);
    }
}

TEST(Svd, SmallCases)
{
    EXPECT_EQ(svd(Mm(5.0)).r(), 5);
    EXPECT_EQ(svd(Mm(-5.0)).r(), 5);
    const Mm d = svd(test::real(3, 3, {1, 0, 0, 0, -3, 0, 0, 0, 2}));
    EXPECT_EQ(test::values(d), (std::vector<double>{3, 2, 1}));
    EXPECT_EQ(test::extents(d), (std::vector<int>{3, 1}));
    const Mm a = test::real(2, 3, {1, 4, 2, 5, 3, 6});
    EXPECT_EQ(test::values(svd(a, Mm(1.0))), test::values(svd(a)));
    EXPECT_EQ(test::values(svd(a, Mm(0.0))), test::values(svd(a)));
    // uint8 and sparse arguments give what their double forms give.
    EXPECT_EQ(test::values(svd(test::bytes(2, 3, {1, 4, 2, 5, 3, 6}))), test::values(svd(a)));
    EXPECT_EQ(test::values(svd(sparse(a))), test::values(svd(a)));
    Mm U, S, V;
    svd(sparse(a), i_o, U, S, V);
    EXPECT_FALSE(U.issparse() || S.issparse() || V.issparse());
    // A complex argument: a real column of values.
    const Mm z = svd(test::complex(1, 1, {3}, {4}));
    EXPECT_FALSE(z.isc());
    EXPECT_DOUBLE_EQ(z.r(), 5);
}

TEST(Svd, ZeroMatrixGivesIdentityVectors)
{
    for (auto [m, n] : std::vector<std::pair<int, int>>{{3, 2}, {2, 3}, {3, 3}}) {
        SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n));
        const Mm z = zeros(double(m), double(n));
        EXPECT_EQ(test::values(svd(z)), std::vector<double>(std::min(m, n), 0.0));
        Mm U, S, V;
        svd(z, i_o, U, S, V);
        EXPECT_EQ(test::values(U), test::values(eye(double(m))));
        EXPECT_EQ(test::values(S), std::vector<double>(m * n, 0.0));
        EXPECT_EQ(test::values(V), test::values(eye(double(n))));
    }
}

TEST(Svd, OutputShapes)
{
    struct Case {
        const char* what;
        int m, n;
        bool economy;
        std::vector<int> u, s, v;
    };
    const std::vector<Case> cases = {
        {"2x3 economy", 2, 3, true, {2, 2}, {2, 3}, {3, 3}},
        {"3x2 economy", 3, 2, true, {3, 2}, {2, 2}, {2, 2}},
        {"3x2 full", 3, 2, false, {3, 3}, {3, 2}, {2, 2}},
        {"1x4 full", 1, 4, false, {1, 1}, {1, 4}, {4, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm a = hash_matrix(c.m, c.n, false, 99);
        Mm U, S, V, U2, S2;
        if (c.economy) {
            svd(a, Mm(1.0), i_o, U, S, V);
            svd(a, Mm(1.0), i_o, U2, S2);
        } else {
            svd(a, i_o, U, S, V);
            svd(a, i_o, U2, S2);
        }
        EXPECT_EQ(test::extents(U), c.u);
        EXPECT_EQ(test::extents(S), c.s);
        EXPECT_EQ(test::extents(V), c.v);
        EXPECT_EQ(test::values(U2), test::values(U));
        EXPECT_EQ(test::values(S2), test::values(S));
    }
    const Mm a = hash_matrix(3, 2, true, 7);
    Mm U, S, V;
    svd(a, i_o, U, S, V);
    EXPECT_EQ(test::values(svd_U(a)), test::values(U));
    EXPECT_EQ(test::values(svd_S(a)), test::values(S));
    EXPECT_EQ(test::values(svd_W(a)), test::values(V));
    EXPECT_TRUE(svd_S(a).isc());
}

TEST(Svd, EmptyAndNdArguments)
{
    for (const Mm& e : {Mm(), zeros(0.0, 3.0), zeros(4.0, 0.0)}) {
        const std::vector<int> none = {0, 0};
        EXPECT_EQ(test::extents(svd(e)), none);
        Mm U, S, V;
        svd(e, i_o, U, S, V);
        EXPECT_EQ(test::extents(U), none);
        EXPECT_EQ(test::extents(S), none);
        EXPECT_EQ(test::extents(V), none);
    }
    const Mm cube = zeros(Mm(2.0), Mm(2.0), Mm(2.0));
    const char* message = "svd: 2-d matrix expected, but matrix (temporary) has 3 dimensions";
    Mm U, S, V;
    EXPECT_ERROR(svd(cube), message);
    EXPECT_ERROR(svd(cube, Mm(0.0)), message);
    EXPECT_ERROR(svd(cube, i_o, U, S), message);
    EXPECT_ERROR(svd(cube, Mm(0.0), i_o, U, S), message);
    EXPECT_ERROR(svd(cube, i_o, U, S, V), message);
    EXPECT_ERROR(svd(cube, Mm(0.0), i_o, U, S, V), message);
    EXPECT_ERROR(svd_U(cube), message);
}

// A stopped iteration shows as NaN, never as plausible numbers.
class SvdStopped : public ::testing::Test {
protected:
    void SetUp() override { svd_iteration_limit = 0; }
    void TearDown() override { svd_iteration_limit = 100; }
};

TEST_F(SvdStopped, OutputsAreNaN)
{
    for (bool complex : {false, true}) {
        SCOPED_TRACE(complex);
        const Mm a = hash_matrix(4, 3, complex, 5);
        for (double v : test::values(svd(a)))
            EXPECT_TRUE(std::isnan(v));
        Mm U, S, V;
        svd(a, i_o, U, S, V);
        for (const Mm* x : {&U, &S, &V})
            for (double v : test::values(*x))
                EXPECT_TRUE(std::isnan(v));
    }
}

// A NaN or Inf entry: every form returns NaN values and vectors of the
// usual shapes at once. The first matrix kept the iteration splitting for
// ever (Inf + |x| == Inf makes every element look negligible).
TEST(Svd, NonFiniteArgumentsGiveNaNAtOnce)
{
    struct Case {
        const char* what;
        Mm a;
    };
    const std::vector<Case> cases = {
        {"[2 -1 0;-1 2 Inf;0 -1 2]", test::real(3, 3, {2, -1, 0, -1, 2, -1, 0, INFINITY, 2})},
        {"[2 -1 0;-1 2 0;0 Inf 2]", test::real(3, 3, {2, -1, 0, -1, 2, INFINITY, 0, 0, 2})},
        {"Inf", Mm(INFINITY)},
        {"-Inf", Mm(-INFINITY)},
        {"NaN", Mm(NAN)},
        {"4x2 with -Inf", test::real(4, 2, {1, 2, 3, 4, 5, -INFINITY, 7, 8})},
        {"2x4 with NaN", test::real(2, 4, {1, 2, 3, 4, NAN, 6, 7, 8})},
        {"complex, Inf imaginary part", test::complex(2, 3, {1, 2, 3, 4, 5, 6}, {0, 0, 0, INFINITY, 0, 0})},
        {"complex, NaN real part", test::complex(3, 2, {1, NAN, 3, 4, 5, 6}, {1, 0, 0, 0, 0, 1})},
    };
    auto all_nan = [](const Mm& x) {
        for (double v : test::values(real(x)))
            if (!std::isnan(v))
                return false;
        return true;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int m = c.a.rows(), n = c.a.cols(), k = std::min(m, n);
        const Mm s = svd(c.a);
        EXPECT_EQ(test::extents(s), (std::vector<int>{k, 1}));
        EXPECT_TRUE(all_nan(s));
        for (bool economy : {false, true}) {
            SCOPED_TRACE(economy ? "economy" : "full");
            Mm U, S, V;
            if (economy)
                svd(c.a, Mm(0.0), i_o, U, S, V);
            else
                svd(c.a, i_o, U, S, V);
            const int uc = economy ? k : m;
            EXPECT_EQ(test::extents(U), (std::vector<int>{m, uc}));
            EXPECT_EQ(test::extents(S), (std::vector<int>{uc, n}));
            EXPECT_EQ(test::extents(V), (std::vector<int>{n, n}));
            EXPECT_TRUE(all_nan(U));
            EXPECT_TRUE(all_nan(S));
            EXPECT_TRUE(all_nan(V));
        }
    }
}

// The kernels themselves answer a non-finite matrix before iterating:
// info counts every value as unfound.
TEST(SvdKernel, NonFiniteMatrixReportsEveryValueUnfound)
{
    const int m = 3, n = 3, job = 11;
    std::vector<double> x = {2, -1, 0, -1, 2, -1, 0, INFINITY, 2};
    std::vector<double> s(3), e(3), u(9), v(9), work(3);
    int info = -1;
    svd_kernel_real(x.data(), &m, &m, &n, s.data(), e.data(), u.data(), &m, v.data(), &n, work.data(), &job, &info);
    EXPECT_EQ(info, 3);
    for (const std::vector<double>* out : {&s, &u, &v})
        for (double t : *out)
            EXPECT_TRUE(std::isnan(t));

    std::vector<double> xr = {1, 0, 0, 1}, xi = {0, NAN, 0, 0};
    std::vector<double> sr(2), si(2), er(2), ei(2), ur(4), ui(4), vr(4), vi(4), wr(2), wi(2);
    const int two = 2;
    info = -1;
    svd_kernel_complex(xr.data(), xi.data(), &two, &two, &two, sr.data(), si.data(), er.data(), ei.data(), ur.data(),
                       ui.data(), &two, vr.data(), vi.data(), &two, wr.data(), wi.data(), &job, &info);
    EXPECT_EQ(info, 2);
    for (double t : sr)
        EXPECT_TRUE(std::isnan(t));
}

} // namespace

namespace {

// An m-by-n matrix whose row i is scaled by 2^g(i), g running over -498..498: up
// (small rows first), down (large first) or hill (small at both ends, large
// in the middle). Banded to three diagonals or full, real or complex.
Mm graded_across_the_doubles(std::mt19937_64& gen, int m, int n, char grading, bool tridiagonal, bool complex)
{
    Mm a = random_matrix(gen, m, n, complex);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            const double t = m > 1 ? double(i) / (m - 1) : 0;
            const double g = grading == 'u' ? -498 + 996 * t
                             : grading == 'd' ? 498 - 996 * t
                                              : 498 - 996 * std::fabs(2 * t - 1);
            const std::size_t at = i + std::size_t(j) * m;
            const double keep = tridiagonal && std::abs(i - j) > 1 ? 0.0 : 1.0;
            a.addr()[at] = keep * std::ldexp(a.addr()[at], int(std::lround(g)));
            if (complex)
                a.addi()[at] = keep * std::ldexp(a.addi()[at], int(std::lround(g)));
        }
    return a;
}

} // namespace

// svd of a matrix graded across the whole range of the doubles: where the
// top of the bidiagonal lies below 2^-400 or so, the chase's first rotation
// is lost below the doubles, every step leaves the matrix as it was, and the
// iteration stopped with all NaN at orders 40 and up, and pinv, null and
// rank with it. Every form must give finite values that agree with those of
// the transposed matrix (another bidiagonal altogether) within c n eps of
// the largest, factors that reproduce the matrix and are unitary, and
// finite pinv, null and rank. Orders cross the blocked reduction's.
TEST(Svd, MatricesGradedAcrossTheDoubles)
{
    struct Case {
        int m, n;
        char grading;  // u small rows first, d large first, h small at both ends
        bool tridiagonal, complex;
    };
    std::vector<Case> cases;
    for (int n : {2, 3, 10, 39, 40, 41, 63, 64, 65, 100, 200})
        for (char grading : {'u', 'd', 'h'})
            for (bool tridiagonal : {true, false})
                for (bool complex : {false, true})
                    if (n <= 100 || !complex)
                        cases.push_back({n, n, grading, tridiagonal, complex});
    // Tall and wide, whose U and V differ in size.
    for (const auto& [m, n] : std::vector<std::pair<int, int>>{{60, 45}, {45, 60}, {120, 80}})
        for (char grading : {'u', 'd'})
            for (bool complex : {false, true})
                cases.push_back({m, n, grading, true, complex});
    std::mt19937_64 gen(79);
    for (const Case& c : cases) {
        const int m = c.m, n = c.n, k = std::min(m, n);
        SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + " " + c.grading + (c.tridiagonal ? " tridiagonal" : " full") +
                     (c.complex ? " complex" : ""));
        const Mm a = graded_across_the_doubles(gen, m, n, c.grading, c.tridiagonal, c.complex);
        const cmat A = to_cmat(a);
        const double top = max_abs(A);
        const double tol = 50 * std::max(m, n) * eps52;
        const std::vector<double> s = test::values(svd(a)), st = test::values(svd(ctranspose(a)));
        ASSERT_EQ(s.size(), std::size_t(k));
        for (int i = 0; i < k; ++i) {
            ASSERT_TRUE(std::isfinite(s[i])) << i;
            EXPECT_LE(std::fabs(s[i] - st[i]), tol * s[0]) << i;
            if (i > 0) {
                EXPECT_LE(s[i], s[i - 1]) << i;
            }
        }
        for (bool economy : {false, true}) {
            SCOPED_TRACE(economy ? "economy" : "full factors");
            Mm U, S, V;
            if (economy)
                svd(a, Mm(0.0), i_o, U, S, V);
            else
                svd(a, i_o, U, S, V);
            const cmat u = to_cmat(U), v = to_cmat(V), sm = to_cmat(S);
            const int rows = S.rows();
            for (int i = 0; i < k; ++i)
                EXPECT_LE(std::fabs(S.addr()[i + std::size_t(i) * rows] - s[i]), tol * s[0]) << i;
            EXPECT_LE(max_abs_diff(product(product(u, sm), ctrans(v)), A) / (top * std::max(m, n) * eps52), 50);
            EXPECT_LE(max_abs_diff(product(u, u, true), identity(U.cols())) / (m * eps52), 50);
            EXPECT_LE(max_abs_diff(product(v, v, true), identity(n)) / (n * eps52), 50);
        }
        for (double x : test::values(pinv(a)))
            EXPECT_TRUE(std::isfinite(x));
        for (double x : test::values(null(a)))
            EXPECT_TRUE(std::isfinite(x));
        EXPECT_TRUE(std::isfinite(rank(a).r()));
    }
}

// The same family against values computed at 700 digits
// (tools/reference/svd_graded_reference.py): a band of three diagonals,
// A(i,j) = 2^g(i)·(1 + ((3i + 5j) mod 7)/4), rows graded over 2^-498..2^498
// upwards ('u') or downwards ('d'). Each value within 50 n eps of the
// largest, by the values form and the three-output form alike. The small
// values keep only that norm-wise bound: their own digits depend on the
// rounding of the BLAS kernel that reduces the matrix (under AVX-512
// kernels a value near 1e-151 at order 39 came out 6e-151).
TEST(Svd, GradedTridiagonalAgainstHighPrecision)
{
    struct Case {
        int n;
        char grading;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
#include "data/svd_graded_reference.inc"
    };
    for (const Case& c : cases) {
        const int n = c.n;
        SCOPED_TRACE(std::to_string(n) + " " + c.grading);
        Mm a = zeros(double(n), double(n));
        for (int i = 0; i < n; ++i) {
            const long g0 = std::lround(-498 + 996.0 * i / (n - 1));
            const int g = int(c.grading == 'd' ? -g0 : g0);
            for (int j = std::max(0, i - 1); j < std::min(n, i + 2); ++j)
                a.addr()[i + std::size_t(j) * n] = std::ldexp(1 + ((3 * i + 5 * j) % 7) / 4.0, g);
        }
        const double tol = 50 * n * eps52 * c.values[0];
        const std::vector<double> s = test::values(svd(a));
        Mm U, S, V;
        svd(a, i_o, U, S, V);
        ASSERT_EQ(s.size(), c.values.size());
        for (int i = 0; i < n; ++i) {
            EXPECT_LE(std::fabs(s[i] - c.values[i]), tol) << i;
            EXPECT_LE(std::fabs(S.addr()[i + std::size_t(i) * n] - c.values[i]), tol) << i;
        }
    }
}
