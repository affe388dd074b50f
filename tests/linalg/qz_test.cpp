// The QZ kernels and eig(A, B), qz, qzval: scipy's generalized eigenvalues
// (kept as data), the residual |A·V - B·V·D|, the reduced pencil and its
// transformations, and the argument messages.
#include "dense_matrix.hpp"
#include "linalg/kernels.hpp"
#include "linalg_support.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using cx = std::complex<double>;
const double eps = std::numeric_limits<double>::epsilon();

struct QzReference {
    int n;
    std::vector<double> a, b, lambda_re, lambda_im;
};

const std::vector<QzReference> reference = {
#include "data/qz_reference.inc"
};

struct ScaledPencil {
    double scale_a, scale_b;
    std::vector<double> lambda;
};

const std::vector<ScaledPencil> scaled_reference = {
#include "data/scaled_pencil_reference.inc"
};

test::dense dense_of(const Mm& x)
{
    test::dense d(x.rows(), x.cols());
    const std::size_t count = std::size_t(x.rows()) * x.cols();
    for (std::size_t k = 0; k < count; ++k) {
        d.re[k] = x.addr()[k];
        d.im[k] = x.isc() ? x.addi()[k] : 0.0;
    }
    return d;
}

TEST(GeneralizedEig, MatchesReferenceWithSmallResiduals)
{
    ASSERT_GE(reference.size(), 8u);
    for (const auto& c : reference) {
        SCOPED_TRACE(c.n);
        const Mm A = linalg_test::matrix_from(c.n, c.n, c.a), B = linalg_test::matrix_from(c.n, c.n, c.b);
        Mm V, D;
        eig(A, B, i_o, V, D);
        ASSERT_EQ(D.rows(), c.n);
        ASSERT_EQ(D.cols(), c.n);
        const test::dense a = dense_of(A), b = dense_of(B), v = dense_of(V), d = dense_of(D);
        // |A·V - B·V·D|₁ / (n·eps·(|A|₁ + |B|₁·|D|)·|V|₁), unit columns.
        double dmax = 0;
        for (int k = 0; k < c.n; ++k)
            dmax = std::max(dmax, std::abs(d(k, k)));
        const double residual =
            test::difference(test::product(a, v), test::product(test::product(b, v), d)).norm1();
        EXPECT_LE(residual / (c.n * eps * (a.norm1() + b.norm1() * dmax) * v.norm1()), 20);
        for (int k = 0; k < c.n; ++k) {
            double s = 0;
            for (int i = 0; i < c.n; ++i)
                s += std::norm(v(i, k));
            EXPECT_NEAR(std::sqrt(s), 1, 20 * c.n * eps);
        }
        // Eigenvalues, matched to the nearest reference value.
        const Mm w = eig(A, B);
        ASSERT_EQ(w.rows(), c.n) << "a diagonal matrix in the one-output form too";
        ASSERT_EQ(w.cols(), c.n);
        std::vector<bool> used(c.n, false);
        for (int k = 0; k < c.n; ++k) {
            const cx want(c.lambda_re[k], c.lambda_im[k]);
            int best = -1;
            for (int j = 0; j < c.n; ++j) {
                const cx got = dense_of(w)(j, j);
                if (!used[j] && (best < 0 || std::abs(got - want) < std::abs(dense_of(w)(best, best) - want)))
                    best = j;
            }
            used[best] = true;
            EXPECT_LE(std::abs(dense_of(w)(best, best) - want), 1e-9 * std::max(1.0, std::abs(want)))
                << "eigenvalue " << want;
        }
        EXPECT_EQ(test::values(qzval(A, B)), test::values(w));
    }
}

TEST(Qz, ReducedPencilAndTransformations)
{
    for (int n : {2, 3, 6, 12}) {
        SCOPED_TRACE(n);
        const test::dense a = test::dense::random(n, n, 900 + n, false), b = test::dense::random(n, n, 950 + n, false);
        Mm A(0, 0, 0, n, n, qv_double), B(0, 0, 0, n, n, qv_double);
        std::copy(a.re.begin(), a.re.end(), A.addr());
        std::copy(b.re.begin(), b.re.end(), B.addr());
        Mm AA, BB, Q, Z, V;
        qz(A, B, i_o, AA, BB, Q, Z, V);
        const test::dense aa = dense_of(AA), bb = dense_of(BB), q = dense_of(Q), z = dense_of(Z);
        EXPECT_LE(test::departure_from_unitary(q), 30 * n * eps);
        EXPECT_LE(test::departure_from_unitary(z), 30 * n * eps);
        EXPECT_LE(test::difference(test::product(test::product(q, a), z), aa).norm1(), 30 * n * eps * a.norm1());
        // B·Z = Qᵀ·BB, with BB's tolerance entry taken out.
        test::dense bb_clean = bb;
        bb_clean.set(n - 1, 0, 0.0);
        EXPECT_LE(test::difference(test::product(test::product(q, b), z), bb_clean).norm1(), 30 * n * eps * b.norm1());
        EXPECT_GT(bb(n - 1, 0).real(), 0) << "the tolerance epsb";
        for (int j = 0; j < n; ++j)
            for (int i = j + 1; i < n; ++i)
                if (!(i == n - 1 && j == 0)) {
                    EXPECT_EQ(bb(i, j), 0.0) << i << ", " << j;
                }
        for (int j = 0; j < n; ++j)
            for (int i = j + 2; i < n; ++i)
                EXPECT_EQ(aa(i, j), 0.0) << "quasi-triangular AA at " << i << ", " << j;
        EXPECT_EQ(test::values(qz(A, B)), test::values(AA));
    }

    // A singular A still gives an orthogonal Q with Q·A·Z = AA.
    const Mm A = test::real(3, 3, {1, 2, 3, 2, 4, 6, 0, 1, 1});
    const Mm B = test::real(3, 3, {2, 0, 1, 1, 3, 0, 0, 1, 4});
    Mm AA, BB, Q, Z;
    qz(A, B, i_o, AA, BB, Q, Z);
    const test::dense q = dense_of(Q);
    EXPECT_LE(test::departure_from_unitary(q), 30 * 3 * eps);
    EXPECT_LE(test::difference(test::product(test::product(q, dense_of(A)), dense_of(Z)), dense_of(AA)).norm1(),
              1e-14 * 10);

    // n = 1: AA = A, BB = B, no tolerance stored.
    qz(Mm(3.0), Mm(-2.0), i_o, AA, BB, Q, Z);
    EXPECT_EQ(AA.r(), 3);
    EXPECT_EQ(BB.r(), -2);
}

TEST(GeneralizedEig, SpecialPencils)
{
    const Mm a = test::real(3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
    // B = I: the eigenvalues of A, as a diagonal matrix.
    const Mm d = eig(a, eye(3.0));
    ASSERT_EQ(d.rows(), 3);
    ASSERT_EQ(d.cols(), 3);
    const Mm w = eig(a);
    std::vector<double> got = {d.addr()[0], d.addr()[4], d.addr()[8]};
    std::sort(got.begin(), got.end());
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(got[k], w.addr()[k], 1e-14 * 5);
    EXPECT_EQ(d.addr()[1], 0);

    // A singular B: an infinite eigenvalue, no message.
    test::clear_printed();
    const Mm inf_d = eig(test::real(2, 2, {1, 0, 0, 1}), test::real(2, 2, {1, 0, 0, 0}));
    EXPECT_EQ(test::printed(), "");
    int infinite = 0;
    for (int k = 0; k < 2; ++k)
        infinite += !std::isfinite(inf_d.addr()[k * 3]);
    EXPECT_EQ(infinite, 1);

    // A string B: the unbalanced eigenvalues of A, whatever the text.
    const Mm badly_scaled = test::real(2, 2, {1, 1e-8, 1e8, 1});
    EXPECT_EQ(test::values(eig(badly_scaled, test::text("nobalance"))),
              test::values(eig(badly_scaled, test::text("x"))));
    Mm V, D;
    eig(a, test::text(""), i_o, V, D);
    EXPECT_EQ(D.rows(), 3);
    EXPECT_EQ(D.cols(), 3);
}

// A nilpotent Jordan block against the identity: every eigenvalue 0, and
// the back substitution divides by the tolerance at each step. Its vectors
// grew past Inf and came back NaN at order 40; now they are finite, unit,
// and satisfy |AV - BVD| to rounding.
TEST(GeneralizedEig, DefectivePencilKeepsFiniteVectors)
{
    for (int n : {40, 100}) {
        SCOPED_TRACE(n);
        Mm J = zeros(double(n));
        for (int k = 0; k + 1 < n; ++k)
            J.addr()[k + std::size_t(k + 1) * n] = 1;
        Mm V, D;
        eig(J, eye(double(n)), i_o, V, D);
        const linalg_test::cmat v = linalg_test::to_cmat(V), d = linalg_test::to_cmat(D), a = linalg_test::to_cmat(J);
        double worst = 0, column_error = 0;
        for (int j = 0; j < n; ++j) {
            double norm = 0;
            for (int i = 0; i < n; ++i) {
                cx r = -v(i, j) * d(j, j);
                for (int k = 0; k < n; ++k)
                    r += a(i, k) * v(k, j);
                worst = std::max(worst, std::abs(r));
                norm = std::hypot(norm, std::abs(v(i, j)));
            }
            column_error = std::max(column_error, std::fabs(norm - 1));
        }
        EXPECT_LE(worst, 20 * n * eps);
        EXPECT_LE(column_error, 20 * n * eps);
    }
}

// n = 2 with a singular B: scipy gives 1.25 and an infinite eigenvalue;
// the reduced B keeps an exact zero where B's null direction lies, and
// the pencil is reproduced, Q*A*Z = AA and Q*B*Z = BB.
TEST(GeneralizedEig, TwoByTwoWithSingularB)
{
    const Mm a = test::real(2, 2, {2, 3, 1, 4}), b = test::real(2, 2, {1, 0, 0, 0});
    const Mm d = eig(a, b);
    ASSERT_EQ(d.rows(), 2);
    std::vector<double> values = {d.addr()[0], d.addr()[3]};
    const int finite = std::isfinite(values[0]) ? 0 : 1;
    EXPECT_NEAR(values[finite], 1.25, 4 * eps);
    EXPECT_TRUE(std::isinf(values[1 - finite]));
    Mm AA, BB, Q, Z;
    qz(a, b, i_o, AA, BB, Q, Z);
    const test::dense q = dense_of(Q), z = dense_of(Z);
    test::dense bb = dense_of(BB);
    bb.re[1] = 0;  // BB(2,1) carries the kernels' tolerance
    EXPECT_LE(test::difference(test::product(test::product(q, dense_of(a)), z), dense_of(AA)).norm1(), 30 * eps * 10);
    EXPECT_LE(test::difference(test::product(test::product(q, dense_of(b)), z), bb).norm1(), 30 * eps);
    EXPECT_EQ(BB.addr()[0] * BB.addr()[3], 0);
}

// A pair scaled far from 1 (eig(1e300*A3, B3) was all NaN, and qz's
// outputs NaN): each matrix is brought into the kernels' range by a power
// of two, so the eigenvalues are the scaled ones (0 or Inf where those
// leave the doubles) and qz still reproduces the pencil.
TEST(GeneralizedEig, PairScaledFarFromOne)
{
    const Mm a3 = test::real(3, 3, {2, -1, 0, -1, 2, -1, 0, -1, 2});
    const Mm b3 = test::real(3, 3, {2, 0, 1, 0, 3, 0, 1, 0, 4});
    ASSERT_GE(scaled_reference.size(), 8u);
    for (const ScaledPencil& c : scaled_reference) {
        SCOPED_TRACE(std::to_string(c.scale_a) + " * A3, " + std::to_string(c.scale_b) + " * B3");
        const Mm A = c.scale_a * a3, B = c.scale_b * b3;
        const Mm d = eig(A, B);
        ASSERT_EQ(test::extents(d), (std::vector<int>{3, 3}));
        EXPECT_FALSE(d.isc());
        std::vector<double> got = {d.addr()[0], d.addr()[4], d.addr()[8]};
        std::sort(got.begin(), got.end());
        for (int k = 0; k < 3; ++k) {
            if (std::isinf(c.lambda[k]))
                EXPECT_EQ(got[k], c.lambda[k]) << k;
            else
                EXPECT_NEAR(got[k], c.lambda[k], 64 * eps * std::fabs(c.lambda[k])) << k;
        }

        Mm AA, BB, Q, Z, V;
        qz(A, B, i_o, AA, BB, Q, Z, V);
        for (const Mm* x : {&AA, &BB, &Q, &Z, &V})
            for (double v : test::values(real(*x)))
                EXPECT_TRUE(std::isfinite(v));
        const test::dense q = dense_of(Q), z = dense_of(Z);
        EXPECT_LE(test::departure_from_unitary(q), 30 * 3 * eps);
        EXPECT_LE(test::departure_from_unitary(z), 30 * 3 * eps);
        const test::dense a = dense_of(A), b = dense_of(B);
        EXPECT_LE(test::difference(test::product(test::product(q, a), z), dense_of(AA)).norm1(), 30 * 3 * eps * a.norm1());
        test::dense bb = dense_of(BB);
        bb.set(2, 0, 0.0);  // BB(3,1) carries the kernels' tolerance
        EXPECT_LE(test::difference(test::product(test::product(q, b), z), bb).norm1(), 30 * 3 * eps * b.norm1());
    }
}

TEST(GeneralizedEig, Rejections)
{
    const Mm a3 = eye(3.0), a2 = eye(2.0);
    EXPECT_ERROR(eig(test::complex(2, 2, {1, 0, 0, 1}, {1, 0, 0, 0}), a2), "eig(a,b): complex arguments not supported.");
    EXPECT_ERROR(eig(a3, a2), "eig(a,b): matrix a and b must be of same size.");
    EXPECT_ERROR(eig(zeros(2.0, 3.0), a2), "eig(a,b): square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(qz(a3), "qz does not accept 1 input");
    Mm AA, BB;
    EXPECT_ERROR(qz(a3, i_o, AA, BB), "qz does not accept 1 input");
    EXPECT_ERROR(qzval(a3), "qz" "val does not accept 1 input");
}

TEST(QzKernels, FixedCases)
{
    // n = 1: alfr with b's sign, beta = |b|, z = 1, b(n, 1) not written.
    {
        int n = 1, ierr = -1;
        const int matz = 1;
        const double eps1 = 0;
        double a = 3, b = -2, z = 9, alfr, alfi, beta;
        qzhes(&n, &n, &a, &b, &matz, &z);
        qzit(&n, &n, &a, &b, &eps1, &matz, &z, &ierr);
        EXPECT_EQ(b, -2);
        qzval_kernel(&n, &n, &a, &b, &alfr, &alfi, &beta, &matz, &z);
        EXPECT_EQ(alfr, -3);
        EXPECT_EQ(alfi, 0);
        EXPECT_EQ(beta, 2);
        EXPECT_EQ(z, 1);
    }
    // a = [1 3; 0 2], b = I: eigenvalues 1 and 2, z = [1 3; 0 1] unscaled.
    {
        int n = 2, ierr = -1;
        const int matz = 1;
        const double eps1 = 0;
        std::vector<double> a = {1, 0, 3, 2}, b = {1, 0, 0, 1}, z(4), alfr(2), alfi(2), beta(2);
        qzhes(&n, &n, a.data(), b.data(), &matz, z.data());
        qzit(&n, &n, a.data(), b.data(), &eps1, &matz, z.data(), &ierr);
        EXPECT_EQ(b[1], eps) << "epsb = eps·|b|";
        qzval_kernel(&n, &n, a.data(), b.data(), alfr.data(), alfi.data(), beta.data(), &matz, z.data());
        EXPECT_EQ(alfr, (std::vector<double>{1, 2}));
        EXPECT_EQ(beta, (std::vector<double>{1, 1}));
        qzvec(&n, &n, a.data(), b.data(), alfr.data(), alfi.data(), beta.data(), z.data());
        EXPECT_EQ(z, (std::vector<double>{1, 0, 3, 1}));
    }
    // The tolerance: eps1 <= 0 means eps, a positive eps1 is used as given.
    for (double e1 : {0.0, -1.0, 1e-10}) {
        SCOPED_TRACE(e1);
        int n = 3, ierr = -1;
        const int matz = 0;
        test::dense a = test::dense::random(3, 3, 5, false), b = test::dense::random(3, 3, 6, false);
        std::vector<double> z(9);
        qzhes(&n, &n, a.re.data(), b.re.data(), &matz, z.data());
        // The row norm of the triangular b before the iteration, which only
        // applies orthogonal transformations.
        double bnorm = 0;
        for (int i = 0; i < 3; ++i) {
            double s = 0;
            for (int j = i; j < 3; ++j)
                s += std::fabs(b.re[i + 3 * j]);
            bnorm = std::max(bnorm, s);
        }
        qzit(&n, &n, a.re.data(), b.re.data(), &e1, &matz, z.data(), &ierr);
        EXPECT_EQ(b.re[2], (e1 > 0 ? e1 : eps) * bnorm);
    }
}

TEST(QzKernels, BudgetSeamGivesNaN)
{
    eigen_budget_scale = 0;
    const Mm A = test::real(3, 3, {1, 4, 2, 2, 1, 5, 3, 1, 2});
    Mm V, D;
    eig(A, eye(3.0), i_o, V, D);
    eigen_budget_scale = 1;
    EXPECT_TRUE(std::isnan(D.addr()[0]));
    for (double v : test::values(V))
        EXPECT_TRUE(std::isnan(v));
}

// eig(A, B) on pencils that make the QZ iteration work hardest, at orders
// from 5 to 300: graded, with exactly singular B (infinite eigenvalues,
// Jordan chains at infinity), defective (Jordan blocks hidden by
// similarities), cyclic, spread over 300 decades. No NaN from a regular
// pencil, and each column a generalized eigenvector to rounding:
// |A·v - λ·B·v| <= 20·n·eps·(|A| + |λ|·|B|)·|v| for a finite λ, and
// |B·v| <= 20·n·eps·|B|·|v| for an infinite one.
using linalg_test::cmat;

double frobenius(const cmat& a)
{
    const double big = linalg_test::max_abs(a);
    double s = 0;
    for (const cx& z : a.v)
        s += big == 0 ? 0 : std::norm(z / big);
    return big * std::sqrt(s);
}

Mm hashed(int n, int seed)
{
    return linalg_test::hash_matrix(n, n, false, seed);
}

// a with row i scaled by 10^(-row_decades·i/(n-1)) and column j by
// 10^(-column_decades·j/(n-1)).
Mm graded(const Mm& a, double row_decades, double column_decades)
{
    const int n = a.rows();
    const cmat x = linalg_test::to_cmat(a);
    return linalg_test::matrix_of(n, n, false, [&](int i, int j) {
        return x(i, j) * std::pow(10.0, -(row_decades * i + column_decades * j) / std::max(n - 1, 1));
    });
}

Mm entries(int n, const std::function<double(int, int)>& f)
{
    return linalg_test::matrix_of(n, n, false, [&](int i, int j) { return cx(f(i, j)); });
}

Mm cyclic(int n)
{
    return entries(n, [n](int i, int j) { return double(i == j + 1 || (i == 0 && j == n - 1)); });
}

Mm identity(int n)
{
    return entries(n, [](int i, int j) { return double(i == j); });
}

struct PencilFamily {
    std::string what;
    std::function<std::pair<Mm, Mm>(int n)> make;
    // Infinite eigenvalues that exact zeros in B fix, whatever the rounding
    // (-1: not counted).
    std::function<int(int n)> infinite = [](int) { return -1; };
};

// eig(A, B) and [V,D] = eig(A, B) of one pencil, checked.
void expect_sound_pencil(const Mm& a, const Mm& b, int want_infinite)
{
    const int n = a.rows();
    Mm V, D;
    eig(a, b, i_o, V, D);
    const cmat w = linalg_test::to_cmat(eig(a, b)), d = linalg_test::to_cmat(D), v = linalg_test::to_cmat(V);
    const cmat av = linalg_test::to_cmat(mtimes(a, V)), bv = linalg_test::to_cmat(mtimes(b, V));
    const double norm_a = frobenius(linalg_test::to_cmat(a)), norm_b = frobenius(linalg_test::to_cmat(b));
    int infinite = 0;
    for (int k = 0; k < n; ++k) {
        SCOPED_TRACE(k);
        const cx lambda = d(k, k);
        ASSERT_FALSE(std::isnan(w(k, k).real()) || std::isnan(w(k, k).imag())) << "eig(A, B)";
        ASSERT_FALSE(std::isnan(lambda.real()) || std::isnan(lambda.imag())) << "[V,D] = eig(A, B)";
        const bool finite = std::isfinite(lambda.real()) && std::isfinite(lambda.imag());
        infinite += !finite;
        double r = 0, x = 0;
        for (int i = 0; i < n; ++i) {
            r = std::hypot(r, std::abs(finite ? av(i, k) - lambda * bv(i, k) : bv(i, k)));
            x = std::hypot(x, std::abs(v(i, k)));
        }
        ASSERT_FALSE(std::isnan(x)) << "eigenvector of a regular pencil";
        EXPECT_LE(r, 20 * n * eps * (finite ? norm_a + std::abs(lambda) * norm_b : norm_b) * x);
    }
    if (want_infinite >= 0) {
        EXPECT_EQ(infinite, want_infinite);
    }
}

TEST(GeneralizedEig, HardPencilsAtEveryOrder)
{
    const std::vector<PencilFamily> families = {
        {"random", [](int n) { return std::make_pair(hashed(n, 1), hashed(n, 2)); }},
        {"A graded over 30 decades both ways", [](int n) { return std::make_pair(graded(hashed(n, 3), 30, 30), hashed(n, 4)); }},
        {"B graded over 30 decades both ways", [](int n) { return std::make_pair(hashed(n, 5), graded(hashed(n, 6), 30, 30)); }},
        {"A graded down, B graded up, 15 decades",
         [](int n) { return std::make_pair(graded(hashed(n, 7), 15, 15), graded(hashed(n, 8), -15, -15)); }},
        {"B with every other column zero",
         [](int n) {
             const cmat b = linalg_test::to_cmat(hashed(n, 10));
             return std::make_pair(hashed(n, 9), entries(n, [&](int i, int j) { return j % 2 ? 0.0 : b(i, j).real(); }));
         },
         [](int n) { return n / 2; }},
        {"B of rank one",
         [](int n) { return std::make_pair(hashed(n, 11), entries(n, [](int i, int j) { return (i + 1.0) * (j + 2.0); })); }},
        {"A = I, B a nilpotent Jordan block",
         [](int n) { return std::make_pair(identity(n), entries(n, [](int i, int j) { return double(j == i + 1); })); },
         [](int n) { return n; }},
        {"A a Jordan block, B = I",
         [](int n) { return std::make_pair(entries(n, [](int i, int j) { return i == j ? 2.0 : double(j == i + 1); }), identity(n)); }},
        {"Q*(J, I)*Z, a hidden Jordan block",
         [](int n) {
             const Mm q = hashed(n, 12), z = hashed(n, 13);
             const Mm j = entries(n, [](int r, int c) { return r == c ? 2.0 : double(c == r + 1); });
             return std::make_pair(mtimes(mtimes(q, j), z), mtimes(q, z));
         }},
        {"Q*(I, N)*Z, a hidden chain at infinity",
         [](int n) {
             const Mm q = hashed(n, 14), z = hashed(n, 15);
             const Mm d = entries(n, [n](int r, int c) { return r == c ? (r < n / 2 ? 3.0 : 1.0) : 0.0; });
             const Mm nil = entries(n, [n](int r, int c) { return r < n / 2 ? double(r == c) : double(c == r + 1); });
             return std::make_pair(mtimes(mtimes(q, d), z), mtimes(mtimes(q, nil), z));
         }},
        {"cyclic A, B = I", [](int n) { return std::make_pair(cyclic(n), identity(n)); }},
        {"A = I, cyclic B", [](int n) { return std::make_pair(identity(n), cyclic(n)); }},
        {"cyclic A, B its transpose", [](int n) { return std::make_pair(cyclic(n), transpose(cyclic(n))); }},
        {"Frank A, Kahan B",
         [](int n) {
             const double s = std::sin(1.2), c = std::cos(1.2);
             return std::make_pair(entries(n, [n](int i, int j) { return j >= i - 1 ? double(n - std::max(i, j)) : 0.0; }),
                                   entries(n, [&](int i, int j) { return j < i ? 0.0 : std::pow(s, i) * (j == i ? 1 : -c); }));
         }},
        {"B diagonal over 1e150 .. 1e-150",
         [](int n) {
             return std::make_pair(hashed(n, 16),
                                   entries(n, [n](int i, int j) { return i == j ? std::pow(10.0, 150 - 300.0 * i / (n - 1)) : 0.0; }));
         }},
        {"stalling 4-by-4 blocks [0 1 0 0; 1 0 t 0; 0 -t 0 1; 0 0 1 0], B = I",
         [](int n) {
             const Mm a = entries(n, [n](int i, int j) {
                 const int b = i / 4;
                 if (j / 4 != b || 4 * b + 3 >= n)
                     return double(i == j);
                 const double t = std::pow(10.0, -1.0 - b % 16);
                 const double m[4][4] = {{0, 1, 0, 0}, {1, 0, t, 0}, {0, -t, 0, 1}, {0, 0, 1, 0}};
                 return m[i % 4][j % 4];
             });
             return std::make_pair(a, identity(n));
         }},
    };
    for (const PencilFamily& f : families) {
        std::vector<int> orders = {4, 12, 60, 150};
        if (f.what == "A graded over 30 decades both ways")
            orders.push_back(300);
        for (int n : orders) {
            SCOPED_TRACE(f.what + ", n = " + std::to_string(n));
            const auto [a, b] = f.make(n);
            expect_sound_pencil(a, b, f.infinite(n));
        }
    }
}

} // namespace
