// balance, hess and schur: the similarities they return reproduce the
// argument, the forms have their exact zeros, results are real for real
// data, and the argument messages name the right function.
#include "dense_matrix.hpp"
#include "linalg_support.hpp"
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using cx = std::complex<double>;
const double eps = std::numeric_limits<double>::epsilon();

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

Mm value_of(const test::dense& d, bool complex)
{
    Mm x(complex, 0, 0, d.rows, d.cols, qv_double);
    for (std::size_t k = 0; k < d.re.size(); ++k) {
        x.addr()[k] = d.re[k];
        if (complex)
            x.addi()[k] = d.im[k];
    }
    return x;
}

// |U·T·Uᴴ - A|₁ / (n·eps·|A|₁).
double similarity_residual(const test::dense& a, const test::dense& u, const test::dense& t)
{
    const double r = test::difference(test::product(test::product(u, t), test::adjoint(u)), a).norm1();
    return r / (a.rows * eps * a.norm1());
}

TEST(Balance, ReproducesTheBalancedMatrix)
{
    // Row 3 isolates the eigenvalue 9; the rest is badly scaled.
    const Mm a = test::real(3, 3, {1, 1e-4, 0, 1e4, 2, 0, 3, 4, 9});
    Mm T, B;
    balance(a, i_o, T, B);
    const test::dense t = dense_of(T), b = dense_of(B), ad = dense_of(a);
    // T·B = A·T exactly: T is a permutation times powers of 2.
    EXPECT_EQ(test::product(t, b).re, test::product(ad, t).re);
    EXPECT_EQ(test::values(balance(a)), test::values(B));
    EXPECT_FALSE(B.isc());
    EXPECT_LT(b.norm1(), ad.norm1() / 10);

    // An isolated eigenvalue at the top: T permutes outside low..igh.
    const Mm c = test::real(3, 3, {5, 0, 0, 1, 1, 1e4, 2, 1e-4, 1});
    balance(c, i_o, T, B);
    const test::dense tc = dense_of(T);
    EXPECT_EQ(test::product(tc, dense_of(B)).re, test::product(dense_of(c), tc).re);

    // Complex data stays complex.
    const Mm z = test::complex(2, 2, {1, 0.01, 100, 1}, {1, 0, 0, -1});
    balance(z, i_o, T, B);
    EXPECT_TRUE(B.isc());
    EXPECT_EQ(test::values(T), (std::vector<double>{128, 0, 0, 1}));

    balance(Mm(), i_o, T, B);
    EXPECT_EQ(test::extents(T), (std::vector<int>{0, 0}));
    EXPECT_EQ(test::extents(B), (std::vector<int>{0, 0}));
    EXPECT_ERROR(balance(zeros(2.0, 3.0)), "balance: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
}

TEST(Hess, UnitaryReductionToHessenbergForm)
{
    for (bool complex : {false, true})
        for (int n : {1, 2, 3, 6, 20, 100, 150}) {  // 100 and 150: reduced by panels
            SCOPED_TRACE(std::to_string(n) + (complex ? " complex" : " real"));
            const test::dense a = test::dense::random(n, n, 400 + n, complex);
            const Mm A = value_of(a, complex);
            Mm P, H;
            hess(A, i_o, P, H);
            EXPECT_EQ(P.isc() || H.isc(), complex) << "real data gives real results";
            const test::dense p = dense_of(P), h = dense_of(H);
            EXPECT_EQ(test::below(h, 1), 0) << "exact zeros below the subdiagonal";
            EXPECT_LE(test::departure_from_unitary(p), 30 * n * eps);
            EXPECT_LE(similarity_residual(a, p, h), 30);
            if (n <= 2) {
                EXPECT_EQ(test::values(H), test::values(A));
                EXPECT_EQ(p.re, test::dense::identity(n).re);
            }
            EXPECT_EQ(test::values(hess(A)), test::values(H));
        }
    // The check names "eig" (empty values are all 0x0 here, so the n-by-0
    // case of the message cannot arise).
    EXPECT_ERROR(hess(zeros(2.0, 3.0)), "eig: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    Mm P(1.0), H(1.0);
    hess(Mm(), i_o, P, H);
    EXPECT_EQ(test::extents(P), (std::vector<int>{0, 0}));
}

// A real matrix is reduced in real arithmetic; the same matrix held as a
// complex value goes the complex way. Both must give the same numbers
// (zeros of either sign), and a non-finite entry the complex way's NaNs.
TEST(Hess, RealDataGivesWhatTheComplexReductionGives)
{
    auto same = [](const Mm& x, const Mm& y) {
        if (x.rows() != y.rows() || x.cols() != y.cols() || x.isc() != y.isc())
            return false;
        auto equal = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
        for (int k = 0; k < x.size(); ++k)
            if (!equal(x.addr()[k], y.addr()[k]) || (x.isc() && !equal(x.addi()[k], y.addi()[k])))
                return false;
        return true;
    };
    struct Case {
        const char* name;
        int n;
        double poison;  // put at (2,1) when not 0
    };
    for (const Case& c : std::vector<Case>{{"n 3", 3, 0},
                                           {"n 40", 40, 0},
                                           {"n 100", 100, 0},
                                           {"infinity", 5, INFINITY},
                                           {"NaN", 5, NAN},
                                           {"near overflow", 6, 1e308}}) {
        SCOPED_TRACE(c.name);
        test::dense a = test::dense::random(c.n, c.n, 600 + c.n, false);
        if (c.poison != 0)
            a.set(2, 1, c.poison);
        Mm P, H, Pc, Hc;
        hess(value_of(a, false), i_o, P, H);
        hess(value_of(a, true), i_o, Pc, Hc);
        EXPECT_TRUE(same(P, Pc));
        EXPECT_TRUE(same(H, Hc));
    }
}

TEST(Schur, RealQuasiTriangularForm)
{
    for (int n : {1, 2, 3, 7, 25, 100}) {  // 100: reduced by panels
        SCOPED_TRACE(n);
        const test::dense a = test::dense::random(n, n, 500 + n, false);
        const Mm A = value_of(a, false);
        Mm U, T;
        schur(A, i_o, U, T);
        ASSERT_FALSE(U.isc());
        ASSERT_FALSE(T.isc());
        const test::dense u = dense_of(U), t = dense_of(T);
        EXPECT_EQ(test::below(t, 1), 0);
        EXPECT_LE(test::departure_from_unitary(u), 30 * n * eps);
        EXPECT_LE(similarity_residual(a, u, t), 30);
        // Blocks do not touch: no two consecutive non-negligible subdiagonals.
        for (int k = 1; k + 1 < n; ++k)
            EXPECT_FALSE(std::abs(t(k, k - 1)) > eps * a.norm1() && std::abs(t(k + 1, k)) > eps * a.norm1());
        EXPECT_EQ(test::values(schur(A)), test::values(T));
        EXPECT_EQ(test::values(schur_T(A)), test::values(T));
        EXPECT_EQ(test::values(schur_U(A)), test::values(U));
    }
    // A rotation has one 2x2 block of the complex pair.
    Mm U, T;
    schur(test::real(2, 2, {0, -1, 1, 0}), i_o, U, T);
    EXPECT_NE(T.addr()[1], 0);
}

// [U,T] = schur(ones(100)) was all NaN: the reduction leaves blocks of
// rounding-level and then subnormal values, which neither the QR iteration
// nor the back-transformation survived. Real and complex, symmetric and
// not: T triangular with the trace on its diagonal once and zeros elsewhere.
TEST(Schur, RankOneMatricesConverge)
{
    for (int n : {40, 100}) {
        for (bool complex : {false, true})
            for (bool rows : {false, true}) {
                SCOPED_TRACE(std::to_string(n) + (complex ? " complex" : " real") + (rows ? " repmat(1:n,n,1)" : " ones"));
                test::dense a(n, n);
                std::complex<double> trace = 0;
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i) {
                        const std::complex<double> x = (rows ? j + 1.0 : 1.0) * (complex ? std::complex<double>(1, 0.5) : 1.0);
                        a.set(i, j, x);
                        if (i == j)
                            trace += x;
                    }
                Mm U, T;
                schur(value_of(a, complex), i_o, U, T);
                const test::dense u = dense_of(U), t = dense_of(T);
                EXPECT_LE(test::departure_from_unitary(u), 30 * n * eps);
                EXPECT_LE(similarity_residual(a, u, t), 30);
                int big = 0;
                for (int k = 0; k < n; ++k) {
                    if (std::abs(t(k, k) - trace) <= 30 * n * eps * std::abs(trace))
                        ++big;
                    else
                        EXPECT_LE(std::abs(t(k, k)), 30 * n * eps * a.norm1()) << k;
                }
                EXPECT_EQ(big, 1);
            }
    }
}

// The split points of the real form are exact zeros, so the 2x2 blocks can
// be found by testing T(k+1,k) ~= 0: a symmetric matrix gives a triangular
// (so diagonal) T, and in a general one every stored subdiagonal starts a
// block of a complex pair and touches no other.
TEST(Schur, SplitsAreExactZeros)
{
    const int n = 10;
    const test::dense r = test::dense::random(n, n, 77, false);
    test::dense sym = r;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            sym.re[i + j * n] = r.re[i + j * n] + r.re[j + i * n];
    Mm U, T;
    schur(value_of(sym, false), i_o, U, T);
    for (int k = 0; k + 1 < n; ++k)
        EXPECT_EQ(T.addr()[(k + 1) + k * n], 0.0) << k;
    EXPECT_LE(similarity_residual(sym, dense_of(U), dense_of(T)), 30);

    for (int m : {7, 25, 40}) {
        SCOPED_TRACE(m);
        const test::dense a = test::dense::random(m, m, 900 + m, false);
        schur(value_of(a, false), i_o, U, T);
        const test::dense t = dense_of(T);
        auto at = [&](int i, int j) { return t.re[i + std::size_t(j) * m]; };
        for (int k = 0; k + 1 < m; ++k) {
            if (at(k + 1, k) == 0)
                continue;
            EXPECT_TRUE(k == 0 || at(k, k - 1) == 0) << k;
            EXPECT_TRUE(k + 2 == m || at(k + 2, k + 1) == 0) << k;
            const double gap = at(k, k) - at(k + 1, k + 1);
            EXPECT_LT(gap * gap + 4 * at(k, k + 1) * at(k + 1, k), 0) << k;
        }
        EXPECT_LE(similarity_residual(a, dense_of(U), t), 30);
    }
}

// Entries far from 1: the real and the complex form of 1e200*A and
// 1e-200*A reproduce it, and hess of such a matrix too.
TEST(Schur, EntriesFarFromOne)
{
    const test::dense a0 = test::dense::random(6, 6, 31, false), c0 = test::dense::random(6, 6, 32, true);
    for (double scale : {1e200, 1e-200, 1e300, std::ldexp(1.0, -1030)}) {
        for (bool complex : {false, true}) {
            SCOPED_TRACE(testing::Message() << scale << (complex ? " complex" : " real"));
            test::dense a = complex ? c0 : a0;
            for (std::size_t k = 0; k < a.re.size(); ++k) {
                a.re[k] *= scale;
                a.im[k] *= scale;
            }
            const Mm A = value_of(a, complex);
            Mm U, T;
            schur(A, i_o, U, T);
            const test::dense u = dense_of(U), t = dense_of(T);
            EXPECT_LE(test::departure_from_unitary(u), 30 * 6 * eps);
            // A subnormal scale leaves fewer digits in T: the residual is
            // then measured in its units.
            const double digits = std::max(1.0, 6 * 4.9e-324 / (scale * eps));
            EXPECT_LE(similarity_residual(a, u, t), 30 * digits);
            Mm P, H;
            hess(A, i_o, P, H);
            EXPECT_LE(similarity_residual(a, dense_of(P), dense_of(H)), 30 * digits);
        }
    }
}

// The tiny diagonal entry of a triangular matrix beside a large one is
// kept by the real and the complex Schur and Hessenberg forms, which are the
// matrix itself with an identity similarity (scipy,
// tools/reference/scaled_linalg.py).
TEST(Schur, TinyEntryBesideLargeOneSurvives)
{
    struct Case {
        const char* what;
        Mm a;
    };
    const std::vector<Case> cases = {
        {"[1e40 1;0 1.23e-290]", test::real(2, 2, {1e40, 0, 1, 1.23e-290})},
        {"[1e40 1+1i;0 1.23e-290]", test::complex(2, 2, {1e40, 0, 1, 1.23e-290}, {0, 0, 1, 0})},
    };
    for (const Case& c : cases) {
        const test::dense want = dense_of(c.a), identity = test::dense::identity(2);
        for (const char* form : {"schur", "hess"}) {
            SCOPED_TRACE(std::string(form) + " of " + c.what);
            Mm U, T;
            if (form[0] == 's')
                schur(c.a, i_o, U, T);
            else
                hess(c.a, i_o, U, T);
            const test::dense u = dense_of(U), t = dense_of(T);
            for (std::size_t k = 0; k < 4; ++k) {
                EXPECT_LE(std::abs(cx(t.re[k], t.im[k]) - cx(want.re[k], want.im[k])),
                          4 * eps * std::abs(cx(want.re[k], want.im[k])))
                    << k;
                EXPECT_LE(std::abs(cx(u.re[k], u.im[k]) - cx(identity.re[k], identity.im[k])), 4 * eps) << k;
            }
        }
    }
}

// 150: the blocked reduction and the multishift iteration.
TEST(Schur, ComplexTriangularForm)
{
    for (int n : {1, 2, 4, 15, 150}) {
        SCOPED_TRACE(n);
        const test::dense a = test::dense::random(n, n, 600 + n, true);
        Mm U, T;
        schur(value_of(a, true), i_o, U, T);
        const test::dense u = dense_of(U), t = dense_of(T);
        EXPECT_EQ(test::below(t, 0), 0);
        EXPECT_LE(test::departure_from_unitary(u), 30 * n * eps);
        EXPECT_LE(similarity_residual(a, u, t), 30);
    }
}

TEST(Schur, EmptyAndRejected)
{
    Mm U(1.0), T(1.0);
    test::clear_printed();
    EXPECT_EQ(test::error_of([&] { schur(Mm(), i_o, U, T); }), "");
    EXPECT_EQ(test::extents(U), (std::vector<int>{0, 0}));
    EXPECT_EQ(test::extents(T), (std::vector<int>{0, 0}));
    EXPECT_ERROR(schur(zeros(2.0, 3.0)), "schur: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(schur(test::complex(2, 3, {1, 2, 3, 4, 5, 6}, {1, 0, 0, 0, 0, 0})),
                 "eig: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
}

TEST(Schur, ConvergenceFailureGivesNaN)
{
    eigen_budget_scale = 0;
    for (bool complex : {false, true}) {
        SCOPED_TRACE(complex);
        Mm U, T;
        schur(value_of(test::dense::random(4, 4, 700, complex), complex), i_o, U, T);
        for (double v : test::values(T))
            EXPECT_TRUE(std::isnan(v));
        for (double v : test::values(U))
            EXPECT_TRUE(std::isnan(v));
    }
    eigen_budget_scale = 1;
}

// Complex matrices whose rows lie many decades apart (graded from 2^-997
// to 2^997, or one subnormal column among ordinary ones), on both sides of
// the plain and blocked reductions: hess and schur give a unitary basis
// and A = U·T·Uᴴ to rounding, with T of its form. A column whose first
// element below the diagonal lay far below the rest gave a reflection
// built from Inf times a subnormal number, and every element NaN.
TEST(Hess, ComplexRowsManyDecadesApart)
{
    for (int n : {13, 33, 49, 97, 101})
        for (int kind : {0, 1}) {
            SCOPED_TRACE(std::to_string(n) + (kind == 0 ? " graded rows" : " a subnormal column"));
            const Mm a = linalg_test::matrix_of(n, n, true, [&](int i, int j) {
                const int e = kind == 0 ? -997 + 1994 * i / (n - 1) : (j == n / 2 ? -1040 : 0);
                return cx(std::ldexp(linalg_test::hash_element(n, i, j, 0), e),
                          std::ldexp(linalg_test::hash_element(n, i, j, 1), e));
            });
            const linalg_test::cmat A = linalg_test::to_cmat(a);
            for (bool schur_form : {false, true}) {
                SCOPED_TRACE(schur_form ? "schur" : "hess");
                Mm U, T;
                if (schur_form)
                    schur(a, i_o, U, T);
                else
                    hess(a, i_o, U, T);
                const linalg_test::cmat u = linalg_test::to_cmat(U), t = linalg_test::to_cmat(T);
                ASSERT_EQ(t.rows, n);
                for (int j = 0; j < n; ++j)
                    for (int i = j + (schur_form ? 1 : 2); i < n; ++i)
                        EXPECT_EQ(t(i, j), cx(0)) << i << ", " << j;
                EXPECT_LE(linalg_test::departure_from_orthonormal_columns(U), 30);
                const linalg_test::cmat back = linalg_test::product(linalg_test::product(u, t), linalg_test::ctrans(u));
                EXPECT_LE(linalg_test::max_abs_diff(back, A) / (linalg_test::max_abs(A) * n * linalg_test::eps52), 30);
            }
        }
}

} // namespace
