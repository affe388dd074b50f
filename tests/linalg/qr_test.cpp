// qr in every output form, its shapes and permutations, the backward error
// and orthogonality of the factors against LAPACK's QR, and the Givens
// updates qrdelete and qrinsert.
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "linalg_support.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace linalg_test;

bool upper_triangular(const cmat& r)
{
    for (int j = 0; j < r.cols; ++j)
        for (int i = j + 1; i < r.rows; ++i)
            if (r(i, j) != cx(0))
                return false;
    return true;
}

// A*E for a permutation matrix E, or A(:, E) for a row of indices.
cmat permuted(const cmat& a, const Mm& E)
{
    if (E.rows() == 1 && a.cols > 1) {
        cmat p{a.rows, a.cols, std::vector<cx>(a.v.size())};
        for (int k = 0; k < a.cols; ++k)
            for (int i = 0; i < a.rows; ++i)
                p(i, k) = a(i, int(E.addr()[k]) - 1);
        return p;
    }
    return product(a, to_cmat(E));
}

// [Q,R] or [Q,R,E] = qr(A), full or economy size.
void factors(const Mm& a, bool pivot, bool economy, Mm& Q, Mm& R, Mm& E)
{
    if (pivot && economy)
        qr(a, Mm(0.0), i_o, Q, R, E);
    else if (pivot)
        qr(a, i_o, Q, R, E);
    else if (economy)
        qr(a, Mm(0.0), i_o, Q, R);
    else
        qr(a, i_o, Q, R);
}

TEST(Qr, FactorsReproduceTheMatrix)
{
    std::mt19937_64 gen(31);
    for (bool complex : {false, true})
        for (auto [m, n] : std::vector<std::pair<int, int>>{{1, 1}, {1, 5}, {5, 1}, {4, 4}, {9, 4}, {4, 9}, {40, 40},
                                                            {40, 17}, {17, 40}})
            for (bool pivot : {false, true})
                for (bool economy : {false, true}) {
                    SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + (complex ? " complex" : "") +
                                 (pivot ? " pivot" : "") + (economy ? " economy" : ""));
                    const Mm a = random_matrix(gen, m, n, complex);
                    Mm Q, R, E;
                    factors(a, pivot, economy, Q, R, E);
                    const int s = economy ? std::min(m, n) : m;
                    ASSERT_EQ(test::extents(Q), (std::vector<int>{m, s}));
                    ASSERT_EQ(test::extents(R), (std::vector<int>{s, n}));
                    const cmat A = to_cmat(a), q = to_cmat(Q), r = to_cmat(R);
                    const cmat AE = pivot ? permuted(A, E) : A;
                    EXPECT_LE(max_abs_diff(AE, product(q, r)) / (max_abs(A) * std::max(m, n) * eps52), 30);
                    EXPECT_LE(max_abs_diff(product(q, q, true), identity(s)), 30 * m * eps52);
                    EXPECT_TRUE(upper_triangular(r));
                    const int k = std::min(m, n);
                    if (pivot) {
                        for (int i = 1; i < k; ++i)
                            EXPECT_LE(std::abs(r(i, i)), std::abs(r(i - 1, i - 1)) * (1 + 1e-14)) << i;
                        continue;
                    }
                    // |diag R| agrees with LAPACK's QR of the same matrix.
                    if (complex)
                        continue;
                    std::vector<double> w(a.addr(), a.addr() + m * n), tau(k), work(64 * std::size_t(n) + 64);
                    lapack::geqrf(m, n, w.data(), m, tau.data(), work.data(), int(work.size()));
                    for (int i = 0; i < k; ++i)
                        EXPECT_NEAR(std::abs(r(i, i)), std::fabs(w[i + i * m]), 1e-12 * std::fabs(w[i + i * m]));
                }
}

// Column pivoting chooses the pivot by norm at every step, the last row of
// a wide matrix too. [Q,R,E] = qr([1 1 0; 1 1 1]) left the repeated column
// 2 in the last pivot's place, so R(2,2) was 0 beside R(2,3) = 0.71 and a
// rank read from R came out 1. With the choice made, E takes columns 1, 3,
// 2 and |R(2,2)| = 1/sqrt(2) (exact arithmetic). Wide matrices whose
// column m repeats an earlier one, at every order: |R(m,m)| is the largest
// in its row, as the pivoting rule makes it.
TEST(Qr, PivotsAtEveryStepOfAWideMatrix)
{
    Mm Q, R, E;
    qr(test::real(2, 3, {1, 1, 1, 1, 0, 1}), i_o, Q, R, E);
    EXPECT_EQ(test::values(E), (std::vector<double>{1, 0, 0, 0, 0, 1, 0, 1, 0}));
    EXPECT_NEAR(std::fabs(R.r(2, 2)), std::sqrt(0.5), 4 * eps52);

    std::mt19937_64 gen(67);
    for (bool complex : {false, true})
        for (int m : {2, 3, 10, 40})
            for (int n : {m + 1, m + 4}) {
                SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + (complex ? " complex" : ""));
                Mm a = random_matrix(gen, m, n, complex);
                for (int i = 0; i < m; ++i) {
                    a.addr()[i + (m - 1) * m] = a.addr()[i];
                    if (complex)
                        a.addi()[i + (m - 1) * m] = a.addi()[i];
                }
                qr(a, Mm(0.0), i_o, Q, R, E);
                const cmat A = to_cmat(a), r = to_cmat(R);
                EXPECT_LE(max_abs_diff(permuted(A, E), product(to_cmat(Q), r)) / (max_abs(A) * n * eps52), 30);
                for (int j = m; j < n; ++j)
                    EXPECT_GE(std::abs(r(m - 1, m - 1)), std::abs(r(m - 1, j))) << j;
            }
}

// The real factors without pivoting keep the signs of the one-output form
// (R on and above its diagonal): R(l,l) is minus the column norm signed as
// the pivot, also where a column is already zero below the diagonal (a
// triangular A, a zero column, a repeated unit column).
// Complex matrices without pivoting past the blocked order: qr(A) keeps the
// column kernel's layout (R with its complex diagonal, the vectors below)
// to rounding, and [Q,R] in both sizes reproduce A with a unitary Q and
// that same R. Random square, tall and wide, graded columns, a zero column
// inside a panel, and a nearly dependent column (where the later vectors
// are fixed only by the rounding, so only the factors' properties count).
TEST(Qr, ComplexPastTheBlockedOrder)
{
    struct Case {
        const char* what;
        int m, n;
        char kind;  // r random, g graded, z zero column, d nearly dependent column
    };
    const std::vector<Case> cases = {
        {"at the crossover", 16, 16, 'r'}, {"tall, at the crossover", 40, 16, 'r'},
        {"random", 150, 150, 'r'}, {"tall", 300, 130, 'r'},          {"wide", 130, 300, 'r'},
        {"graded", 200, 200, 'g'}, {"zero column", 140, 140, 'z'}, {"nearly dependent", 160, 160, 'd'},
    };
    std::mt19937_64 gen(32);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int m = c.m, n = c.n;
        Mm a = random_matrix(gen, m, n, true);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) {
                const std::size_t k = i + std::size_t(j) * m;
                const double g = c.kind == 'g' ? std::pow(10.0, -10.0 * j / n) : 1.0;
                a.addr()[k] *= g;
                a.addi()[k] *= g;
                if (c.kind == 'z' && j == 40)
                    a.addr()[k] = a.addi()[k] = 0;
                if (c.kind == 'd' && j == 5) {
                    a.addr()[k] = a.addr()[i + 2 * std::size_t(m)] + 1e-10 * a.addr()[k];
                    a.addi()[k] = a.addi()[i + 2 * std::size_t(m)] + 1e-10 * a.addi()[k];
                }
            }
        const Mm f = qr(a);
        ASSERT_TRUE(f.isc());
        ASSERT_EQ(test::extents(f), test::extents(a));
        // The column kernel on the same data.
        std::vector<double> kr(a.addr(), a.addr() + m * n), ki(a.addi(), a.addi() + m * n), qraux(2 * n);
        const int job = 0;
        qr_factor_split(kr.data(), ki.data(), &m, &m, &n, qraux.data(), qraux.data() + n, nullptr, nullptr, nullptr,
                        &job);
        const cmat F = to_cmat(f);
        double big = 0, diff = 0, rdiff = 0;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) {
                const cx k(kr[i + std::size_t(j) * m], ki[i + std::size_t(j) * m]);
                big = std::max(big, std::abs(k));
                diff = std::max(diff, std::abs(F(i, j) - k));
                if (i <= j)
                    rdiff = std::max(rdiff, std::abs(F(i, j) - k));
            }
        if (c.kind != 'd') {
            EXPECT_LE(diff, 1e-12 * big);
        }
        // A zero column stays zero: R's column and no reflection.
        if (c.kind == 'z') {
            for (int i = 0; i < m; ++i)
                EXPECT_EQ(std::abs(F(i, 40)), 0) << i;
        }
        const cmat A = to_cmat(a);
        for (bool economy : {false, true}) {
            SCOPED_TRACE(economy ? "economy" : "full");
            Mm Q, R, E;
            factors(a, false, economy, Q, R, E);
            const int s = economy ? std::min(m, n) : m;
            ASSERT_EQ(test::extents(Q), (std::vector<int>{m, s}));
            ASSERT_EQ(test::extents(R), (std::vector<int>{s, n}));
            const cmat q = to_cmat(Q), r = to_cmat(R);
            EXPECT_TRUE(upper_triangular(r));
            EXPECT_LE(max_abs_diff(A, product(q, r)) / (max_abs(A) * std::max(m, n) * eps52), 30);
            EXPECT_LE(max_abs_diff(product(q, q, true), identity(s)), 30 * m * eps52);
            double d = 0;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i <= std::min(j, s - 1); ++i)
                    d = std::max(d, std::abs(r(i, j) - F(i, j)));
            EXPECT_LE(d, 1e-13 * big);
        }
        if (c.kind != 'd') {
            EXPECT_LE(rdiff, 1e-12 * big);
        }
    }
}

TEST(Qr, FactorSignsMatchTheOneOutputForm)
{
    std::mt19937_64 gen(88);
    struct Case {
        const char* what;
        Mm a;
    };
    Mm tri = random_matrix(gen, 6, 6, false);
    for (int j = 0; j < 6; ++j)
        for (int i = j + 1; i < 6; ++i)
            tri.addr()[i + 6 * j] = 0;
    Mm holes = random_matrix(gen, 7, 5, false);
    for (int i = 0; i < 7; ++i)
        holes.addr()[i + 7 * 2] = 0;  // a zero column
    for (int i = 1; i < 7; ++i)
        holes.addr()[i] = 0;  // column 1 already reduced
    const std::vector<Case> cases = {
        {"[1 2;0 3]", test::real(2, 2, {1, 0, 2, 3})},
        {"[-1 2;0 -3]", test::real(2, 2, {-1, 0, 2, -3})},
        {"upper triangular 6x6", tri},
        {"7x5 with a zero and a reduced column", holes},
        {"random 40x25", random_matrix(gen, 40, 25, false)},
        {"random 25x40", random_matrix(gen, 25, 40, false)},
        {"random 120x120", random_matrix(gen, 120, 120, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int m = c.a.rows(), n = c.a.cols();
        const Mm f = qr(c.a);
        for (bool economy : {false, true}) {
            Mm Q, R;
            if (economy)
                qr(c.a, Mm(0.0), i_o, Q, R);
            else
                qr(c.a, i_o, Q, R);
            const int s = economy ? std::min(m, n) : m;
            ASSERT_EQ(R.rows(), s);
            double scale = 0;
            for (int k = 0; k < m * n; ++k)
                scale = std::max(scale, std::fabs(c.a.addr()[k]));
            for (int j = 0; j < n; ++j)
                for (int i = 0; i <= std::min(j, s - 1); ++i)
                    EXPECT_NEAR(R.addr()[i + s * j], f.addr()[i + m * j], 64 * std::max(m, n) * eps52 * scale)
                        << i << "," << j;
            const cmat A = to_cmat(c.a);
            EXPECT_LE(max_abs_diff(product(to_cmat(Q), to_cmat(R)), A) / (max_abs(A) * std::max(m, n) * eps52), 30);
        }
    }
}

TEST(Qr, ShapesAndForms)
{
    const Mm a = test::real(3, 2, {1, 2, 3, 4, 5, 7});
    Mm Q, R, E;
    qr(a, i_o, Q, R);
    EXPECT_EQ(test::extents(Q), (std::vector<int>{3, 3}));
    EXPECT_EQ(test::extents(R), (std::vector<int>{3, 2}));
    EXPECT_EQ(R.r(3, 1), 0);
    EXPECT_EQ(R.r(3, 2), 0);
    qr(a, Mm(0.0), i_o, Q, R);
    EXPECT_EQ(test::extents(Q), (std::vector<int>{3, 2}));
    EXPECT_EQ(test::extents(R), (std::vector<int>{2, 2}));
    EXPECT_EQ(test::values(qr(a, Mm(0.0))), test::values(Q));
    qr(a, Mm(0.0), i_o, Q, R, E);
    EXPECT_EQ(test::values(E), (std::vector<double>{2, 1}));
    qr(a, i_o, Q, R, E);
    EXPECT_EQ(test::values(E), (std::vector<double>{0, 1, 1, 0}));

    // One output: R on the raw factored matrix. It comes from the unblocked
    // factorisation and R from the blocked one: the same to rounding.
    const Mm raw = qr(a);
    qr(a, i_o, Q, R);
    EXPECT_EQ(test::extents(raw), (std::vector<int>{3, 2}));
    const double size = 4 * eps52 * 10;  // |a| < 10
    EXPECT_NEAR(raw.r(1, 1), R.r(1, 1), size);
    EXPECT_NEAR(raw.r(2, 2), R.r(2, 2), size);
    EXPECT_NEAR(raw.r(1, 2), R.r(1, 2), size);

    // uint8 and sparse arguments act as their double forms.
    Mm Q2, R2;
    qr(sparse(a), i_o, Q2, R2);
    EXPECT_EQ(test::values(R2), test::values(R));
    EXPECT_FALSE(R2.issparse());
    qr(test::bytes(3, 2, {1, 2, 3, 4, 5, 7}), i_o, Q2, R2);
    EXPECT_EQ(test::values(R2), test::values(R));

    const Mm none = zeros(0.0, 3.0);
    qr(none, i_o, Q, R, E);
    EXPECT_TRUE(isempty(Q) && isempty(R) && isempty(E));
    EXPECT_TRUE(isempty(qr(none)));
    EXPECT_ERROR(qr(zeros(Mm(2.0), Mm(2.0), Mm(2.0))), "qr: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
}

TEST(QrKernels, LeastSquaresSolve)
{
    // The line through (0, 1), (1, 2), (2, 4): intercept 5/6, slope 3/2.
    int m = 3, n = 2, job = 100, info = -1, pivot = 0;
    std::vector<double> x = {1, 1, 1, 0, 1, 2}, qraux(2), work(2), y = {1, 2, 4}, qty(3), b(2);
    std::vector<int> jpvt(2, 0);
    qr_factor_real(x.data(), &m, &m, &n, qraux.data(), jpvt.data(), work.data(), &pivot);
    qr_apply_real(x.data(), &m, &m, &n, qraux.data(), y.data(), nullptr, qty.data(), b.data(), nullptr, nullptr,
                  &job, &info);
    EXPECT_EQ(info, 0);
    EXPECT_NEAR(b[0], 5.0 / 6, 1e-15);
    EXPECT_NEAR(b[1], 1.5, 1e-15);
    // A zero column leaves a zero on R's diagonal: info names it.
    std::vector<double> z = {1, 1, 1, 0, 0, 0};
    qr_factor_real(z.data(), &m, &m, &n, qraux.data(), jpvt.data(), work.data(), &pivot);
    qr_apply_real(z.data(), &m, &m, &n, qraux.data(), y.data(), nullptr, qty.data(), b.data(), nullptr, nullptr, &job,
                  &info);
    EXPECT_EQ(info, 2);
}

TEST(QrUpdates, DeleteAndInsert)
{
    std::mt19937_64 gen(32);
    for (bool complex : {false, true}) {
        SCOPED_TRACE(complex ? "complex" : "real");
        const Mm a = random_matrix(gen, 5, 3, complex);
        Mm Q, R;
        qr(a, i_o, Q, R);
        const cmat A = to_cmat(a);
        for (int j = 1; j <= 3; ++j) {
            SCOPED_TRACE("delete " + std::to_string(j));
            Mm Q1, R1;
            qrdelete(Q, R, Mm(double(j)), i_o, Q1, R1);
            cmat expected{5, 2, {}};
            for (int c = 1; c <= 3; ++c)
                if (c != j)
                    for (int i = 0; i < 5; ++i)
                        expected.v.push_back(A(i, c - 1));
            const cmat q1 = to_cmat(Q1), r1 = to_cmat(R1);
            EXPECT_LE(max_abs_diff(product(q1, r1), expected) / (max_abs(A) * 5 * eps52), 30);
            EXPECT_TRUE(upper_triangular(r1));
            EXPECT_LE(max_abs_diff(product(q1, q1, true), identity(5)), 30 * 5 * eps52);
            if (j == 3) {
                EXPECT_EQ(test::values(Q1), test::values(Q)) << "no rotation for the last column";
            }
        }
        const Mm x = random_matrix(gen, 5, 1, complex);
        const cmat X = to_cmat(x);
        for (int j = 1; j <= 4; ++j) {
            SCOPED_TRACE("insert " + std::to_string(j));
            Mm Q1, R1;
            qrinsert(Q, R, Mm(double(j)), x, i_o, Q1, R1);
            cmat expected{5, 4, {}};
            for (int c = 1; c <= 4; ++c)
                for (int i = 0; i < 5; ++i)
                    expected.v.push_back(c == j ? X(i, 0) : A(i, c < j ? c - 1 : c - 2));
            const cmat q1 = to_cmat(Q1), r1 = to_cmat(R1);
            ASSERT_EQ(r1.cols, 4);
            EXPECT_LE(max_abs_diff(product(q1, r1), expected) / (max_abs(A) * 5 * eps52), 30);
            EXPECT_TRUE(upper_triangular(r1));
            EXPECT_LE(max_abs_diff(product(q1, q1, true), identity(5)), 30 * 5 * eps52);
        }
    }
    // Into factors of a matrix without columns: qr(x).
    const Mm x = test::real(3, 1, {3, 0, 4});
    Mm Q1, R1, Qx, Rx;
    qrinsert(eye(3.0), Mm(), Mm(1.0), x, i_o, Q1, R1);
    qr(x, i_o, Qx, Rx);
    EXPECT_EQ(test::values(Q1), test::values(Qx));
    EXPECT_EQ(test::values(R1), test::values(Rx));
    // The deletion is the language's own: its index messages, its rules.
    Mm Q, R;
    qr(test::real(2, 2, {1, 2, 3, 4}), i_o, Q, R);
    EXPECT_ERROR(qrdelete(Q, R, Mm(0.0), i_o, Q1, R1),
                 "index =0 out of matrix (temporary). Index value was 0 which is not positive.");
}

// The factors of 2^k A are A's with R times 2^k, rounded once, in every
// form, square, tall and wide, on both sides of the blocked orders: a
// matrix taken to the ends of the doubles is compared with its exact twin
// at scale 1 (a power of two changes the rounding of a norm's square root
// by an odd exponent, so to a few ulps). The reflections' updates of a
// subnormal matrix rounded to its coarse spacing, and Q of a matrix of
// 1e-320 differed from the twin's by 0.4.
TEST(Qr, FactorsAtTheEndsOfTheDoubles)
{
    std::mt19937_64 gen(79);
    auto expect_close = [](const Mm& got, const Mm& want, double floor) {
        const cmat g = to_cmat(got), w = to_cmat(want);
        ASSERT_EQ(g.v.size(), w.v.size());
        const double tol = 100 * std::max(g.rows, g.cols) * eps52 * max_abs(w) + floor;
        EXPECT_LE(max_abs_diff(g, w), tol);
    };
    for (bool complex : {false, true})
        for (int n : {1, 2, 3, 13, 16, 17, 33, 49, 101})
            for (int extra : {0, 5, -5}) {
                const int rows = extra < 0 ? n : n + extra, cols = extra < 0 ? n - extra : n;
                for (int k : {-1062, -1040, -1000, 1000, 1020}) {
                    SCOPED_TRACE(std::to_string(rows) + "x" + std::to_string(cols) + (complex ? " complex, 2^" : " real, 2^") +
                                 std::to_string(k));
                    const Mm far = times_power_of_two(random_matrix(gen, rows, cols, complex), k);
                    const Mm near = times_power_of_two(far, -k);
                    for (int form = 0; form < 4; ++form) {
                        SCOPED_TRACE(form);
                        const bool pivot = form >= 2, economy = form % 2 == 1;
                        Mm Qf, Rf, Ef, Qn, Rn, En;
                        if (pivot && economy) {
                            qr(far, Mm(0.0), i_o, Qf, Rf, Ef);
                            qr(near, Mm(0.0), i_o, Qn, Rn, En);
                        } else if (pivot) {
                            qr(far, i_o, Qf, Rf, Ef);
                            qr(near, i_o, Qn, Rn, En);
                        } else if (economy) {
                            qr(far, Mm(0.0), i_o, Qf, Rf);
                            qr(near, Mm(0.0), i_o, Qn, Rn);
                        } else {
                            qr(far, i_o, Qf, Rf);
                            qr(near, i_o, Qn, Rn);
                        }
                        if (pivot) {
                            EXPECT_EQ(test::values(Ef), test::values(En));
                        }
                        expect_close(Qf, Qn, 0);
                        expect_close(Rf, times_power_of_two(Rn, k), 0x1p-1074);
                    }
                    // The one-output form: R on and above the diagonal, the
                    // scale-free reflections below.
                    const cmat f = to_cmat(qr(far)), g = to_cmat(qr(near));
                    double worst = 0;
                    for (int j = 0; j < cols; ++j)
                        for (int i = 0; i < rows; ++i) {
                            const cx want = i <= j ? cx(std::ldexp(g(i, j).real(), k), std::ldexp(g(i, j).imag(), k)) : g(i, j);
                            const double unit = i <= j ? std::ldexp(max_abs(g), k) : 1.0;
                            worst = std::max(worst, std::abs(f(i, j) - want) / (100 * n * eps52 * unit + (i <= j ? 0x1p-1074 : 0.0)));
                        }
                    EXPECT_LE(worst, 1);
                }
            }
}

} // namespace
