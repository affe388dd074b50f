// eig: accuracy against LAPACK's eigenvalues (kept as data) with scale-free
// residuals, the three paths and their result shapes and orders, the
// argument messages, convergence failures shown as NaN, and a sweep of eig
// and schur over hard spectra.
#include "linalg/kernels.hpp"
#include "linalg_support.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using cx = std::complex<double>;
const double eps = std::numeric_limits<double>::epsilon();

struct EigReference {
    const char* kind;
    int n;
    int well_conditioned;
    std::vector<double> re, im, lambda_re, lambda_im;
};

const std::vector<EigReference> reference = {
#include "data/eig_reference.inc"
};

cx at(const Mm& x, int r, int c)
{
    const std::size_t k = std::size_t(r) + std::size_t(c) * x.rows();
    return {x.addr()[k], x.isc() ? x.addi()[k] : 0.0};
}

// Largest column sum of magnitudes.
double norm1(const Mm& x)
{
    double best = 0;
    for (int c = 0; c < x.cols(); ++c) {
        double s = 0;
        for (int r = 0; r < x.rows(); ++r)
            s += std::abs(at(x, r, c));
        best = std::max(best, s);
    }
    return best;
}

// |A·V - V·D|₁ / (n·eps·|A|₁·|V|₁), D diagonal.
double eigen_residual(const Mm& a, const Mm& v, const Mm& d)
{
    const int n = a.rows();
    double worst = 0;
    for (int c = 0; c < n; ++c) {
        double s = 0;
        for (int r = 0; r < n; ++r) {
            cx acc = -at(v, r, c) * at(d, c, c);
            for (int k = 0; k < n; ++k)
                acc += at(a, r, k) * at(v, k, c);
            s += std::abs(acc);
        }
        worst = std::max(worst, s);
    }
    const double scale = n * eps * norm1(a) * norm1(v);
    return scale == 0 ? worst : worst / scale;
}

// |VᴴV - I| (max) / (n·eps).
double orthonormality(const Mm& v)
{
    const int n = v.cols();
    double worst = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            cx s = i == j ? -1.0 : 0.0;
            for (int k = 0; k < v.rows(); ++k)
                s += std::conj(at(v, k, i)) * at(v, k, j);
            worst = std::max(worst, std::abs(s));
        }
    return worst / (n * eps);
}

double largest_column_norm_error(const Mm& v)
{
    double worst = 0;
    for (int c = 0; c < v.cols(); ++c) {
        double s = 0;
        for (int r = 0; r < v.rows(); ++r)
            s += std::norm(at(v, r, c));
        worst = std::max(worst, std::fabs(std::sqrt(s) - 1));
    }
    return worst;
}

TEST(Eig, MatchesReferenceEigenvaluesWithSmallResiduals)
{
    ASSERT_GE(reference.size(), 40u);
    for (const auto& c : reference) {
        const bool complex = std::string(c.kind) == "complex" || std::string(c.kind) == "hermitian";
        const bool hermitian = std::string(c.kind) == "symmetric" || std::string(c.kind) == "hermitian";
        SCOPED_TRACE(std::string(c.kind) + " n = " + std::to_string(c.n));
        const Mm a = linalg_test::matrix_from(c.n, c.n, c.re, c.im, complex);

        Mm V, D;
        eig(a, i_o, V, D);
        ASSERT_EQ(V.rows(), c.n);
        ASSERT_EQ(V.cols(), c.n);
        ASSERT_EQ(D.rows(), c.n);
        ASSERT_EQ(D.cols(), c.n);
        EXPECT_LE(eigen_residual(a, V, D), 20);
        EXPECT_LE(largest_column_norm_error(V), 20 * c.n * eps);
        if (hermitian) {
            EXPECT_EQ(ishermitian(a), 1);
            EXPECT_FALSE(D.isc());
            if (!complex) {
                EXPECT_FALSE(V.isc()) << "real symmetric matrices keep real vectors";
            }
            EXPECT_LE(orthonormality(V), 20);
        }

        const Mm w = eig(a);
        ASSERT_EQ(w.rows(), c.n);
        ASSERT_EQ(w.cols(), 1);
        if (hermitian) {
            for (int k = 1; k < c.n; ++k)
                EXPECT_LE(w.addr()[k - 1], w.addr()[k]) << "ascending at " << k;
        }
        // The two forms compute the same eigenvalues up to rounding; the
        // one-output form is compared with the reference.
        if (!c.well_conditioned)
            continue;
        double big = 1;
        for (int k = 0; k < c.n; ++k)
            big = std::max(big, std::abs(cx(c.lambda_re[k], c.lambda_im[k])));
        std::vector<bool> used(c.n, false);
        for (int k = 0; k < c.n; ++k) {
            const cx want(c.lambda_re[k], c.lambda_im[k]);
            int best = -1;
            for (int j = 0; j < c.n; ++j)
                if (!used[j] && (best < 0 || std::abs(at(w, j, 0) - want) < std::abs(at(w, best, 0) - want)))
                    best = j;
            used[best] = true;
            EXPECT_LE(std::abs(at(w, best, 0) - want), 1e-10 * big) << "eigenvalue " << want;
            EXPECT_LE(std::abs(at(D, best, best) - want), 1e-10 * big) << "eigenvalue " << want;
        }
    }
}

TEST(Eig, EmptyAndRejectedArguments)
{
    Mm V(7.0), D(7.0);
    const Mm w = eig(Mm());
    EXPECT_EQ(test::extents(w), (std::vector<int>{0, 0}));
    eig(Mm(), i_o, V, D);
    EXPECT_EQ(test::extents(V), (std::vector<int>{0, 0}));
    EXPECT_EQ(test::extents(D), (std::vector<int>{0, 0}));
    EXPECT_EQ(test::extents(eig_D(Mm())), (std::vector<int>{0, 0}));

    EXPECT_ERROR(eig(zeros(2.0, 3.0)), "eig: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(eig(zeros(Mm(2.0), Mm(2.0), Mm(2.0))),
                 "eig: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(eig(zeros(2.0, 3.0), i_o, V, D),
                 "eig: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(eig(Mm(0, 0, 0, 2, 2, qv_cell)), "eig: numeric data expected, but matrix (temporary) is not");
}

TEST(Eig, PathsByHermitianTest)
{
    // Within the tolerance: the Hermitian path, real values in ascending order.
    const Mm nearly = test::real(2, 2, {2, 1 + 2 * eps, 1, 2});
    Mm w = eig(nearly);
    EXPECT_FALSE(w.isc());
    EXPECT_LT(w.addr()[0], w.addr()[1]);

    // An asymmetry at 10·eps takes the general path: values in the order of
    // the Schur form (here the larger first), not sorted.
    const Mm general = test::real(2, 2, {2, 1 + 16 * eps, 1, 2});
    EXPECT_EQ(ishermitian(general), 0);
    w = eig(general);
    EXPECT_NEAR(w.addr()[0], 3, 1e-14);
    EXPECT_NEAR(w.addr()[1], 1, 1e-14);

    // A tiny non-symmetric matrix is not read as symmetric.
    const Mm tiny = test::real(2, 2, {0, 1e-300, 0, 0});
    w = eig(tiny);
    EXPECT_EQ(w.addr()[0], 0);
    EXPECT_EQ(w.addr()[1], 0);

    EXPECT_EQ(test::values(eig(Mm(-3.0))), std::vector<double>{-3});
    const Mm one_complex = eig(test::complex(1, 1, {1}, {2}));
    ASSERT_TRUE(one_complex.isc());
    EXPECT_EQ(at(one_complex, 0, 0), cx(1, 2));
}

TEST(Eig, RealMatrixWithComplexPairs)
{
    // Rotation-like 3x3 with eigenvalues 2 and 1 ± 3i.
    const Mm a = test::real(3, 3, {1, -3, 0, 3, 1, 0, 0, 0, 2});
    Mm V, D;
    eig(a, i_o, V, D);
    ASSERT_TRUE(D.isc());
    ASSERT_TRUE(V.isc());
    int pair = -1;
    for (int k = 0; k < 3; ++k)
        if (at(D, k, k).imag() > 0) {
            pair = k;
            break;
        }
    ASSERT_GE(pair, 0);
    ASSERT_LT(pair, 2);
    EXPECT_NEAR(std::abs(at(D, pair, pair) - cx(1, 3)), 0, 1e-14);
    EXPECT_EQ(at(D, pair + 1, pair + 1), std::conj(at(D, pair, pair))) << "the conjugate follows at once";
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(at(V, r, pair + 1), std::conj(at(V, r, pair)));
    EXPECT_LE(largest_column_norm_error(V), 4 * eps);
    EXPECT_LE(eigen_residual(a, V, D), 20);

    const Mm w = eig(test::real(2, 2, {0, -1, 1, 0}));
    EXPECT_EQ(at(w, 0, 0), cx(0, 1));
    EXPECT_EQ(at(w, 1, 0), cx(0, -1));
}

// a := H·a·Hᴴ for three reflections H = I - 2·u·uᴴ/(uᴴu) with random u,
// complex ones when asked: a unitary similarity (n by n, column-major).
std::vector<cx> three_reflections(std::vector<cx> a, int n, unsigned seed, bool complex)
{
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal;
    for (int r = 0; r < 3; ++r) {
        std::vector<cx> u(n);
        double uu = 0;
        for (cx& x : u) {
            const double re = normal(gen);
            x = complex ? cx(re, normal(gen)) : cx(re);
            uu += std::norm(x);
        }
        for (int j = 0; j < n; ++j) {  // from the left, column by column
            cx s = 0;
            for (int i = 0; i < n; ++i)
                s += std::conj(u[i]) * a[i + std::size_t(j) * n];
            for (int i = 0; i < n; ++i)
                a[i + std::size_t(j) * n] -= 2.0 * s / uu * u[i];
        }
        for (int i = 0; i < n; ++i) {  // from the right, row by row
            cx s = 0;
            for (int j = 0; j < n; ++j)
                s += a[i + std::size_t(j) * n] * u[j];
            for (int j = 0; j < n; ++j)
                a[i + std::size_t(j) * n] -= 2.0 * s / uu * std::conj(u[j]);
        }
    }
    return a;
}

Mm value_of(const std::vector<cx>& a, int n, bool complex)
{
    std::vector<double> re(a.size()), im(a.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        re[k] = a[k].real();
        im[k] = a[k].imag();
    }
    return linalg_test::matrix_from(n, n, re, im, complex);
}

// Every eigenvalue built in, matched to its nearest unused one among
// value(0..n-1), within tol.
void expect_spectrum(const std::vector<cx>& built, const std::function<cx(int)>& value, double tol)
{
    const int n = int(built.size());
    std::vector<bool> used(n, false);
    for (const cx& want : built) {
        int best = -1;
        for (int j = 0; j < n; ++j)
            if (!used[j] && (best < 0 || std::abs(value(j) - want) < std::abs(value(best) - want)))
                best = j;
        used[best] = true;
        EXPECT_LE(std::abs(value(best) - want), tol) << "eigenvalue " << want;
    }
}

// A normal matrix of known spectrum, Q·B·Qᵀ with B block diagonal (real
// eigenvalues and 2-by-2 blocks [a b; -b a] for a ± bi) and Q a product of
// reflections, at orders that take the blocked reduction and the
// multishift iteration: every eigenvalue within rounding of the one built
// in, pairs adjacent with the positive imaginary part first.
TEST(Eig, KnownSpectrumAtLargeOrders)
{
    for (int n : {200, 400}) {
        SCOPED_TRACE(n);
        std::vector<cx> b(std::size_t(n) * n, 0.0);
        std::vector<cx> built;
        for (int k = 0; k < n;) {
            const double a = 0.37 * k - 0.11 * n;
            if (k % 5 == 1 && k + 1 < n) {
                const double im = 1.0 + 0.05 * k;
                b[k + std::size_t(k) * n] = a;
                b[k + 1 + std::size_t(k + 1) * n] = a;
                b[k + std::size_t(k + 1) * n] = im;
                b[k + 1 + std::size_t(k) * n] = -im;
                built.push_back({a, im});
                built.push_back({a, -im});
                k += 2;
            } else {
                b[k + std::size_t(k) * n] = a;
                built.push_back(a);
                k += 1;
            }
        }
        const Mm A = value_of(three_reflections(b, n, 55 + n, false), n, false);
        Mm V, D;
        eig(A, i_o, V, D);
        const Mm w = eig(A);
        EXPECT_LE(eigen_residual(A, V, D), 20);
        EXPECT_LE(largest_column_norm_error(V), 20 * n * eps);
        const double tol = 100 * n * eps * norm1(A);
        for (bool diagonal : {false, true}) {
            expect_spectrum(built, [&](int j) { return diagonal ? at(D, j, j) : at(w, j, 0); }, tol);
            for (int j = 0; j < n; ++j) {
                const cx x = diagonal ? at(D, j, j) : at(w, j, 0);
                if (x.imag() > 0) {
                    ASSERT_LT(j + 1, n);
                    EXPECT_EQ(diagonal ? at(D, j + 1, j + 1) : at(w, j + 1, 0), std::conj(x));
                    ++j;
                } else {
                    EXPECT_EQ(x.imag(), 0) << "a negative imaginary part comes second";
                }
            }
        }
    }
}

// The complex form: Q·diag(λ)·Qᴴ with Q a product of complex reflections
// and the λ spread over the plane, at orders that take the blocked
// reduction and the multishift iteration with vectors (150) and without
// (350): every eigenvalue within rounding of the one built in, from eig,
// [V,D] = eig and the diagonal of schur's T, and the residuals of the
// vectors and of the Schur form small.
TEST(Eig, ComplexKnownSpectrumAtLargeOrders)
{
    for (int n : {150, 350}) {
        SCOPED_TRACE(n);
        std::vector<cx> b(std::size_t(n) * n, 0.0);
        std::vector<cx> built;
        for (int k = 0; k < n; ++k) {
            built.push_back({0.37 * k - 0.11 * n, 0.5 * n * std::sin(1.7 * k)});
            b[k + std::size_t(k) * n] = built.back();
        }
        const Mm A = value_of(three_reflections(b, n, 65 + n, true), n, true);
        Mm V, D, U, T;
        eig(A, i_o, V, D);
        const Mm w = eig(A);
        schur(A, i_o, U, T);
        EXPECT_LE(eigen_residual(A, V, D), 20);
        EXPECT_LE(largest_column_norm_error(V), 20 * n * eps);
        EXPECT_LE(orthonormality(U), 30);
        const double tol = 100 * n * eps * norm1(A);
        expect_spectrum(built, [&](int j) { return at(w, j, 0); }, tol);
        expect_spectrum(built, [&](int j) { return at(D, j, j); }, tol);
        expect_spectrum(built, [&](int j) { return at(T, j, j); }, tol);
        // A·U = U·T, T upper triangular.
        double worst = 0;
        for (int c = 0; c < n; ++c) {
            double s = 0;
            for (int r = 0; r < n; ++r) {
                EXPECT_EQ(r > c ? at(T, r, c) : 0.0, 0.0) << "below the diagonal of T";
                cx acc = 0;
                for (int k = 0; k < n; ++k)
                    acc += at(A, r, k) * at(U, k, c) - at(U, r, k) * at(T, k, c);
                s += std::abs(acc);
            }
            worst = std::max(worst, s);
        }
        EXPECT_LE(worst, 30 * n * eps * norm1(A));
    }
}

TEST(Eig, RealSpectrumGivesRealResults)
{
    const Mm a = test::real(3, 3, {4, 1, 0, 2, 3, 1, 0, 0, 1});
    Mm V, D;
    eig(a, i_o, V, D);
    EXPECT_FALSE(V.isc());
    EXPECT_FALSE(D.isc());
    EXPECT_LE(eigen_residual(a, V, D), 20);
    const Mm w = eig(a);
    EXPECT_FALSE(w.isc());
    EXPECT_EQ(w.cols(), 1);

    const Mm d = eig_D(a);
    ASSERT_EQ(d.rows(), 3);
    ASSERT_EQ(d.cols(), 1);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(d.addr()[k], D.addr()[k * 4]);
    EXPECT_EQ(test::values(eig_W(a)), test::values(V));
}

TEST(Eig, BytesSparseAndTextAreTheirDoubleForms)
{
    const Mm a = test::real(2, 2, {2, 1, 1, 3});
    const std::vector<double> expected = test::values(eig(a));
    EXPECT_EQ(test::values(eig(test::bytes(2, 2, {2, 1, 1, 3}))), expected);
    EXPECT_EQ(test::values(eig(sparse(a))), expected);
    const Mm w = eig(test::text("a"));
    EXPECT_FALSE(w.isstr());
    EXPECT_EQ(test::values(w), std::vector<double>{97});
}

TEST(Eig, ComplexMatrixWithZeroFirstColumnKeepsItsUnitVector)
{
    // First column zero: eigenvalue 0 with eigenvector e1, balanced or not.
    const Mm a = test::complex(3, 3, {0, 0, 0, 1, 2, 1, 3, 1, 1}, {0, 0, 0, 1, 0, -1, 0, 2, 1});
    Mm V, D;
    eig(a, i_o, V, D);
    int zero = -1;
    for (int k = 0; k < 3; ++k)
        if (std::abs(at(D, k, k)) < 1e-14)
            zero = k;
    ASSERT_GE(zero, 0);
    EXPECT_NEAR(std::abs(at(V, 0, zero)), 1, 1e-15);
    EXPECT_EQ(std::abs(at(V, 1, zero)), 0);
    EXPECT_EQ(std::abs(at(V, 2, zero)), 0);
    EXPECT_LE(eigen_residual(a, V, D), 20);
}

// eig(a), or [V, D] = eig(a) with vectors: the eigenvalues in the order
// given, the diagonal of D in the second form.
std::vector<cx> eigenvalues_of(const Mm& a, bool vectors, Mm& V, Mm& D)
{
    if (vectors)
        eig(a, i_o, V, D);
    else
        D = eig(a);
    const int n = a.rows();
    std::vector<cx> got;
    for (int k = 0; k < n; ++k) {
        const std::size_t at = vectors ? std::size_t(k) * (n + 1) : std::size_t(k);
        got.emplace_back(D.addr()[at], D.isc() ? D.addi()[at] : 0.0);
    }
    return got;
}

using linalg_test::matrix_of;

// Rank-one matrices (all-ones, 2*ones, repeated rows, a complex multiple)
// have one eigenvalue equal to the trace and n-1 at zero, whose rounding
// leaves blocks that the QR iterations must deflate: eig(ones(60)) was 57
// NaN of 60, and the vectors all NaN.
TEST(Eig, RankOneMatricesConverge)
{
    for (int n : {40, 60, 100}) {
        struct Case {
            const char* what;
            Mm a;
            cx trace;
        };
        const double dn = n;
        const std::vector<Case> cases = {
            {"ones(n)", matrix_of(n, n, false, [](int, int) { return cx(1); }), cx(dn)},
            {"2*ones(n)", matrix_of(n, n, false, [](int, int) { return cx(2); }), cx(2 * dn)},
            {"repmat(1:n, n, 1)", matrix_of(n, n, false, [](int, int j) { return cx(j + 1); }),
             cx(dn * (dn + 1) / 2)},
            {"repmat((1:n)', 1, n)", matrix_of(n, n, false, [](int i, int) { return cx(i + 1); }),
             cx(dn * (dn + 1) / 2)},
            {"(1+0.5i)*ones(n)", matrix_of(n, n, true, [](int, int) { return cx(1, 0.5); }), cx(dn, dn / 2)},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", n = " + std::to_string(n));
            for (bool vectors : {false, true}) {
                Mm V, D;
                std::vector<cx> got = eigenvalues_of(c.a, vectors, V, D);
                std::sort(got.begin(), got.end(), [](const cx& x, const cx& y) { return std::abs(x) < std::abs(y); });
                EXPECT_LE(std::abs(got.back() - c.trace), 20 * n * eps * std::abs(c.trace));
                for (int k = 0; k + 1 < n; ++k)
                    EXPECT_LE(std::abs(got[k]), 20 * n * eps * norm1(c.a)) << k;
                if (vectors) {
                    EXPECT_LE(eigen_residual(c.a, V, D), 20);
                    EXPECT_LE(largest_column_norm_error(V), 20 * n * eps);
                }
            }
        }
    }
}

// A 2-by-2 whose subdiagonal 1 is tiny beside -1e100 but sets the
// eigenvalue -1 through its product with -1e100: a test of the subdiagonal
// against its diagonal neighbours alone split it and gave 0.
TEST(Eig, GradedCompanionKeepsItsSmallEigenvalue)
{
    const Mm a = test::real(2, 2, {-1e100, 1, -1e100, 0});
    for (bool vectors : {false, true}) {
        Mm V, D;
        std::vector<cx> got = eigenvalues_of(a, vectors, V, D);
        std::sort(got.begin(), got.end(), [](const cx& x, const cx& y) { return x.real() < y.real(); });
        EXPECT_EQ(got[0], cx(-1e100));
        EXPECT_LE(std::abs(got[1] - cx(-1)), 4 * eps);
    }
}

// Balancing must not cost the eigenvectors their accuracy: on graded
// matrices the balanced [V,D] = eig(A) had |AV - VD|/|A| of 1.7e-6
// (triu(repmat(100:-1:1, 100, 1), -1)) where LAPACK's balanced dgeev has
// 3e-14, and 2e-10 for a Hessenberg matrix whose columns grow a hundredfold.
TEST(Eig, BalancedVectorsOfGradedMatrices)
{
    const int n = 100;
    const Mm staircase = matrix_of(n, n, false, [](int i, int j) { return cx(i <= j + 1 ? 100.0 - j : 0.0); });
    const Mm graded = matrix_of(n, n, false, [](int i, int j) {
        return cx(i <= j + 1 ? linalg_test::hash_element(7, i, j, 0) * std::pow(100.0, j / (n - 1.0)) : 0.0);
    });
    for (const Mm& a : {staircase, graded}) {
        Mm V, D;
        eig(a, i_o, V, D);
        EXPECT_LE(eigen_residual(a, V, D), 20);
        EXPECT_LE(largest_column_norm_error(V), 20 * n * eps);
    }
}

// A companion matrix whose trailing coefficients are zero has a defective
// eigenvalue 0 (a Jordan chain) that balancing isolates, while it scales
// the rest so that one coupling grows far past the chain's unit entries.
// The back substitution divided by a stand-in for T(i,i) - λ = 0 relative
// to that grown norm, and compan([1 1e-40 1e-80 0 0 0]) came back with
// e5, e4 and e3 for the eigenvalue 0, two of them with |Cv| = |C|/2.
// Every column must be an eigenvector, balanced or not, real or complex
// (i·C has the same chains), at orders past the multishift crossovers.
Mm companion_of(const std::vector<double>& p)
{
    return linalg_test::companion_with_zero_roots(p, int(p.size()) - 1);
}

TEST(Eig, DefectiveEigenvaluesKeepTheirEigenvectors)
{
    struct Case {
        std::string what;
        Mm a;
    };
    std::vector<Case> cases = {
        {"compan([1 1e-40 1e-80 0 0 0])", companion_of({1, 1e-40, 1e-80, 0, 0, 0})},
        {"compan([1 0 0 0])", companion_of({1, 0, 0, 0})},
        {"compan([1 1 0 0 0])", companion_of({1, 1, 0, 0, 0})},
        {"compan([1 -2 1 0 0])", companion_of({1, -2, 1, 0, 0})},
        {"jordan block of 2, n = 6", matrix_of(6, 6, false, [](int i, int j) { return cx(i == j ? 2 : j == i + 1 ? 1 : 0); })},
    };
    const std::vector<std::pair<std::vector<double>, int>> graded = {
        {{1, 1e-40, 1e-80}, 40},
        {{1, 1e-40, 1e-80}, 300},
        {{1, 1e-20, 1e-40, 1e-60}, 100},
        {{1, -3e-30, 2e-60, -5e-90, 1e-120}, 130},
        {{1, 2e-5, 1e-10, 3e-15, 1e-20, 4e-25}, 64},
    };
    for (const auto& [head, n] : graded) {
        std::ostringstream what;
        what << "compan([";
        for (double c : head)
            what << c << " ";
        what << "zeros(1, " << n + 1 - int(head.size()) << ")])";
        cases.push_back({what.str(), linalg_test::companion_with_zero_roots(head, n)});
    }
    const Mm i_unit = test::complex(1, 1, {0}, {1});
    const std::size_t real_cases = cases.size();
    for (std::size_t k = 0; k < real_cases; ++k)
        cases.push_back({"i*" + cases[k].what, times(cases[k].a, i_unit)});
    for (const Case& c : cases) {
        for (bool balanced : {true, false}) {
            SCOPED_TRACE(c.what + (balanced ? ", balanced" : ", 'nobalance'"));
            Mm V, D;
            if (balanced)
                eig(c.a, i_o, V, D);
            else
                eig(c.a, test::text("nobalance"), i_o, V, D);
            ASSERT_EQ(V.rows(), c.a.rows());
            EXPECT_LE(linalg_test::worst_eigenvector_residual(c.a, V, D), 20);
            EXPECT_LE(largest_column_norm_error(V), 20 * c.a.rows() * eps);
        }
    }
}

// Entries far from 1 on every path: the kernels run on the matrix scaled
// by a power of two and the eigenvalues are scaled back. Eigenvalues of
// A0 = [1 2 .5;-3 1 2;.3 -1 2] from mpmath (tools/reference/scaled_linalg.py);
// A0*(1+i) has them times 1+i; 2^e*[2 1;1 3] has 2^e*(5 -+ sqrt 5)/2.
TEST(Eig, EntriesFarFromOne)
{
    const cx pair(0.95302175563210909, 2.8196768174859064);
    const std::vector<cx> a0_values = {std::conj(pair), pair, cx(2.0939564887357818)};
    const Mm a0 = test::real(3, 3, {1, -3, 0.3, 2, 1, -1, 0.5, 2, 2});
    const Mm h = test::real(2, 2, {2, 1, 1, 3});
    const std::vector<cx> h_values = {cx((5 - std::sqrt(5.0)) / 2), cx((5 + std::sqrt(5.0)) / 2)};
    struct Case {
        const char* what;
        Mm a;
        double scale;
        std::vector<cx> want;
    };
    const cx one_i(1, 1);
    std::vector<cx> complex_values;
    for (const cx& w : a0_values)
        complex_values.push_back(w * one_i);
    const Mm c0 = times(a0, test::complex(1, 1, {1}, {1}));
    const std::vector<Case> cases = {
        {"eig(1e-200*A0)", 1e-200 * a0, 1e-200, a0_values},
        {"eig(1e-160*A0)", 1e-160 * a0, 1e-160, a0_values},
        {"eig(1e200*A0)", 1e200 * a0, 1e200, a0_values},
        {"eig(1e300*A0)", 1e300 * a0, 1e300, a0_values},
        {"complex eig(1e200*C0)", 1e200 * c0, 1e200, complex_values},
        {"complex eig(1e-200*C0)", 1e-200 * c0, 1e-200, complex_values},
        {"Hermitian, subnormal", std::ldexp(1.0, -1040) * h, std::ldexp(1.0, -1040), h_values},
        {"Hermitian, 2^1000", std::ldexp(1.0, 1000) * h, std::ldexp(1.0, 1000), h_values},
    };
    auto by_parts = [](const cx& x, const cx& y) {
        return x.imag() != y.imag() ? x.imag() < y.imag() : x.real() < y.real();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool vectors : {false, true}) {
            Mm V, D;
            std::vector<cx> got = eigenvalues_of(c.a, vectors, V, D);
            const int n = c.a.rows();
            for (cx& g : got)
                g /= c.scale;
            std::sort(got.begin(), got.end(), by_parts);
            std::vector<cx> want = c.want;
            std::sort(want.begin(), want.end(), by_parts);
            // A subnormal result holds fewer digits: a few of its units.
            const double floor = 4 * std::numeric_limits<double>::denorm_min() / c.scale;
            for (int k = 0; k < n; ++k)
                EXPECT_LE(std::abs(got[k] - want[k]), 1e3 * eps * std::abs(want[k]) + floor) << k;
            if (vectors) {
                // A V = V D, relative to the scale.
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i) {
                        cx av = 0;
                        for (int k = 0; k < n; ++k)
                            av += cx(c.a.addr()[i + k * n], c.a.isc() ? c.a.addi()[i + k * n] : 0.0) / c.scale *
                                  cx(V.addr()[k + j * n], V.isc() ? V.addi()[k + j * n] : 0.0);
                        const cx vd = cx(V.addr()[i + j * n], V.isc() ? V.addi()[i + j * n] : 0.0) *
                                      cx(D.addr()[j * (n + 1)], D.isc() ? D.addi()[j * (n + 1)] : 0.0) / c.scale;
                        EXPECT_LE(std::abs(av - vd), 1e3 * eps * 4 + floor) << i << "," << j;
                    }
            }
        }
    }
}

// A tiny entry beside a large one keeps its own digits: scaling the matrix
// towards 1 must not push it below the smallest double. The wanted values
// come from numpy (tools/reference/scaled_linalg.py).
TEST(Eig, TinyEntryBesideLargeOneSurvives)
{
    struct Case {
        const char* what;
        Mm a;
        std::vector<double> want; // ascending
    };
    const std::vector<Case> cases = {
        {"eig([1e40 0;0 1.234567890123e-290])", test::real(2, 2, {1e40, 0, 0, 1.234567890123e-290}),
         {1.234567890123e-290, 1e40}},
        {"eig(diag([2e200 3e-200 5]))", test::real(3, 3, {2e200, 0, 0, 0, 3e-200, 0, 0, 0, 5}), {3e-200, 5.0, 2e200}},
        {"eig([1e40 1;0 1.23e-290])", test::real(2, 2, {1e40, 0, 1, 1.23e-290}), {1.23e-290, 1e40}},
        {"eig([1e40 1i;0 1.23e-290])", test::complex(2, 2, {1e40, 0, 0, 1.23e-290}, {0, 0, 1, 0}), {1.23e-290, 1e40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool vectors : {false, true}) {
            Mm V, D;
            const int n = c.a.rows();
            std::vector<double> got;
            for (const cx& g : eigenvalues_of(c.a, vectors, V, D)) {
                EXPECT_EQ(g.imag(), 0);
                got.push_back(g.real());
            }
            std::sort(got.begin(), got.end());
            for (int k = 0; k < n; ++k)
                EXPECT_LE(std::abs(got[k] - c.want[k]), 4 * eps * std::abs(c.want[k])) << k;
        }
    }
}

TEST(Eig, NonFiniteEntriesEndWithoutHanging)
{
    const double qnan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::vector<Mm> cases = {
        test::real(2, 2, {qnan, 1, 2, 3}),
        test::real(3, 3, {0, 1, 2, 3, qnan, 5, 6, 7, 8}),
        test::real(2, 2, {inf, 1, 2, 3}),
        test::real(2, 2, {1, inf, 2, 3}),
        test::complex(2, 2, {1, qnan, 2, 1}, {0, 1, 0, 0}),
        test::real(2, 2, {1, qnan, qnan, 1}),
    };
    for (const Mm& a : cases) {
        Mm V, D;
        EXPECT_EQ(test::error_of([&] { eig(a, i_o, V, D); }), "");
        EXPECT_EQ(D.rows(), a.rows());
        bool any_non_finite = false;
        for (int k = 0; k < a.rows(); ++k)
            any_non_finite = any_non_finite || !std::isfinite(D.addr()[k * (a.rows() + 1)]);
        EXPECT_TRUE(any_non_finite);
        EXPECT_EQ(eig(a).rows(), a.rows());
    }
}

// Large symmetric matrices on which the first eigenvalue took the
// tridiagonal QL iteration more than 30 steps (a cluster of rounding-level
// eigenvalues): eig and [V,D] = eig gave all NaN, silently. The largest
// eigenvalues come from scipy (tools/reference/large_symmetric_eigenvalues.py).
struct LargeSymmetric {
    const char* what;
    int kind; // 0: scale/(i+j+offset), i, j = 1..n; 1: d_i d_j/(1+|i-j|), d_i = 10^(-decades (i-1)/(n-1))
    int n;
    double parameter, scale, largest;
};

const std::vector<LargeSymmetric> large_symmetric = {
#include "data/large_symmetric_eigenvalues.inc"
};

Mm large_symmetric_matrix(const LargeSymmetric& c)
{
    const int n = c.n;
    std::vector<double> d(n);
    for (int i = 0; i < n; ++i)
        d[i] = std::pow(10.0, -c.parameter * i / (n - 1));
    return matrix_of(n, n, false, [&](int i, int j) {
        return cx(c.kind == 0 ? c.scale / (i + j + 2 + c.parameter) : d[i] * d[j] / (1.0 + std::abs(i - j)));
    });
}

// The checks of one symmetric matrix: finite eigenvalues, ascending, the
// largest as scipy's; every vector column an eigenvector, the columns
// orthonormal, and D the eigenvalues of the one-output form.
void expect_symmetric_eigen(const Mm& a, double largest)
{
    const int n = a.rows();
    const Mm w = eig(a);
    ASSERT_EQ(w.rows(), n);
    ASSERT_FALSE(w.isc());
    for (int k = 0; k < n; ++k) {
        ASSERT_TRUE(std::isfinite(w.addr()[k])) << k;
        if (k > 0) {
            EXPECT_LE(w.addr()[k - 1], w.addr()[k]) << k;
        }
    }
    EXPECT_LE(std::fabs(w.addr()[n - 1] - largest), n * eps * largest);
    Mm V, D;
    eig(a, i_o, V, D);
    ASSERT_EQ(V.rows(), n);
    ASSERT_FALSE(V.isc());
    EXPECT_LE(linalg_test::worst_eigenvector_residual(a, V, D), 20);
    EXPECT_LE(linalg_test::departure_from_orthonormal_columns(V), 20);
    double apart = 0;
    for (int k = 0; k < n; ++k)
        apart = std::max(apart, std::fabs(D.addr()[k * std::size_t(n + 1)] - w.addr()[k]));
    EXPECT_LE(apart, 20 * n * eps * largest);
}

TEST(Eig, LargeSymmetricMatricesConverge)
{
    for (const LargeSymmetric& c : large_symmetric) {
        SCOPED_TRACE(c.what);
        expect_symmetric_eigen(large_symmetric_matrix(c), c.largest);
    }
}

// Budget seam.
struct BudgetOff {
    BudgetOff() { eigen_budget_scale = 0; }
    ~BudgetOff() { eigen_budget_scale = 1; }
};

// The reported matrix by the method QL falls back on: a cluster of
// hundreds of rounding-level eigenvalues, whose inverse iteration vectors
// must still come out orthonormal.
TEST(Eig, LargeSymmetricMatrixByTheFallback)
{
    BudgetOff off;
    const LargeSymmetric& c = large_symmetric.front();
    SCOPED_TRACE(c.what);
    expect_symmetric_eigen(large_symmetric_matrix(c), c.largest);
}

// Convergence failures through the budget seam: NaN, no message.

TEST(Eig, ConvergenceFailureShowsAsNaN)
{
    struct Case {
        const char* what;
        Mm a;
    };
    const std::vector<Case> cases = {
        {"real", test::real(3, 3, {1, 4, 2, 2, 1, 5, 3, 1, 2})},
        {"complex", test::complex(3, 3, {1, 4, 2, 2, 1, 5, 3, 1, 2}, {1, 0, 1, 0, 2, 0, 1, 1, 0})},
    };
    BudgetOff off;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::clear_printed();
        Mm V, D;
        EXPECT_EQ(test::error_of([&] { eig(c.a, i_o, V, D); }), "");
        EXPECT_EQ(test::printed(), "");
        bool any_nan = false;
        for (int k = 0; k < 3; ++k)
            any_nan = any_nan || std::isnan(D.addr()[k * 4]);
        EXPECT_TRUE(any_nan);
        for (double v : test::values(V))
            EXPECT_TRUE(std::isnan(v));
        const Mm w = eig(c.a);
        EXPECT_TRUE(std::isnan(w.addr()[0])) << "the first eigenvalue is not reached";
    }
}

// A symmetric or Hermitian matrix on which the tridiagonal QL iteration runs
// out (here at once, through the budget seam) is finished by bisection and
// inverse iteration: no NaN, the eigenvalues those QL finds, ascending, and
// orthonormal eigenvectors, on matrices that try both: repeated eigenvalues
// (identity, rank one), close pairs (Wilkinson), clusters at rounding level
// (Cauchy-like), a graded and a split matrix, complex Hermitian.
TEST(Eig, SymmetricFallbackWhenQlRunsOut)
{
    struct Case {
        std::string what;
        Mm a;
    };
    std::vector<Case> cases = {{"1x1", Mm(-2.5)}, {"[2 1;1 2]", test::real(2, 2, {2, 1, 1, 2})}};
    for (int n : {7, 21, 90}) {
        const std::string at = ", n = " + std::to_string(n);
        cases.push_back({"identity" + at, matrix_of(n, n, false, [](int i, int j) { return cx(i == j); })});
        cases.push_back({"ones" + at, matrix_of(n, n, false, [](int, int) { return cx(1); })});
        cases.push_back({"wilkinson" + at, matrix_of(n, n, false, [n](int i, int j) {
                             return cx(i == j ? std::fabs(i - (n - 1) / 2.0) : std::abs(i - j) == 1 ? 1 : 0);
                         })});
        cases.push_back({"1/(i+j+0.5)" + at, matrix_of(n, n, false, [](int i, int j) { return cx(1.0 / (i + j + 2.5)); })});
        cases.push_back({"graded" + at, matrix_of(n, n, false, [n](int i, int j) {
                             return cx(std::pow(10.0, -8.0 * (i + j) / (n - 1)) / (1.0 + std::abs(i - j)));
                         })});
        cases.push_back({"two blocks" + at, matrix_of(n, n, false, [n](int i, int j) {
                             return cx((i < n / 2) == (j < n / 2) ? 1.0 / (1 + std::abs(i - j)) : 0.0);
                         })});
        cases.push_back({"hermitian" + at, matrix_of(n, n, true, [](int i, int j) {
                             const double re = linalg_test::hash_element(5, std::min(i, j), std::max(i, j), 0);
                             const double im = i == j ? 0 : linalg_test::hash_element(5, std::min(i, j), std::max(i, j), 1);
                             return cx(re, i < j ? im : -im);
                         })});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = c.a.rows();
        Mm Vql, Dql;
        eig(c.a, i_o, Vql, Dql);
        const Mm wql = eig(c.a);
        BudgetOff off;
        const Mm w = eig(c.a);
        Mm V, D;
        eig(c.a, i_o, V, D);
        ASSERT_EQ(w.rows(), n);
        ASSERT_FALSE(w.isc());
        ASSERT_FALSE(D.isc());
        double big = 0;
        for (int k = 0; k < n; ++k)
            big = std::max(big, std::fabs(wql.addr()[k]));
        for (int k = 0; k < n; ++k) {
            EXPECT_LE(std::fabs(w.addr()[k] - wql.addr()[k]), 4 * n * eps * big) << k;
            EXPECT_LE(std::fabs(D.addr()[k * std::size_t(n + 1)] - wql.addr()[k]), 4 * n * eps * big) << k;
            if (k > 0) {
                EXPECT_LE(w.addr()[k - 1], w.addr()[k]) << k;
            }
        }
        EXPECT_EQ(V.isc(), c.a.isc());
        EXPECT_LE(linalg_test::worst_eigenvector_residual(c.a, V, D), 20);
        EXPECT_LE(linalg_test::departure_from_orthonormal_columns(V), 20);
        EXPECT_LE(largest_column_norm_error(V), 20 * n * eps);
    }
}

// eig and schur on the matrices that make a shifted QR iteration work
// hardest, at orders on both sides of every crossover (the double or single
// shift, the multishift iteration with and without vectors, the blocked
// reductions), real and complex, balanced and 'nobalance': graded,
// clustered, defective, cyclic, spread over 300 decades. Every result is
// judged by a property it must have (no NaN from finite data, the trace,
// per-column residuals, A·U = U·T with U unitary), and a few small ones
// against LAPACK's eigenvalues kept as data with their condition numbers.

using linalg_test::cmat;
using linalg_test::hash_element;

double frobenius(const cmat& a)
{
    const double big = linalg_test::max_abs(a);
    if (big == 0)
        return 0;
    double s = 0;
    for (const cx& z : a.v)
        s += std::norm(z / big);
    return big * std::sqrt(s);
}

cx hash_entry(int seed, int i, int j, bool complex)
{
    return {hash_element(seed, i, j, 0), complex ? hash_element(seed, i, j, 1) : 0.0};
}

// 10^(-decades·t) for t = k/(n-1) in [0, 1].
double decade(double decades, int k, int n)
{
    return std::pow(10.0, -decades * k / std::max(n - 1, 1));
}

// Q·T·Qᴴ with Q the unitary factor of a hash matrix.
Mm rotated(const Mm& t, int seed)
{
    Mm q, r;
    qr(linalg_test::hash_matrix(t.rows(), t.rows(), t.isc(), seed), i_o, q, r);
    return mtimes(mtimes(q, t), ctranspose(q));
}

// The companion matrix of the monic polynomial with these roots.
Mm companion_of_roots(const std::vector<double>& roots)
{
    const int n = int(roots.size());
    Mm p(0, 0, 0, 1, n + 1, qv_double);
    std::vector<double> c(std::size_t(n) + 1, 0.0);
    c[0] = 1;
    for (int k = 1; k <= n; ++k)
        for (int j = k; j >= 1; --j)
            c[j] -= roots[k - 1] * c[j - 1];
    std::copy(c.begin(), c.end(), p.addr());
    return compan(p);
}

// A real matrix turned complex by a unit factor, so the complex kernels get
// the same structure (its eigenvalues turned by the same angle).
Mm turned(const Mm& a, bool complex)
{
    return complex ? times(a, test::complex(1, 1, {0.6}, {0.8})) : a;
}

struct Family {
    std::string what;
    std::function<Mm(int n, bool complex)> make;
    // Balancing may scale eigenvectors so far apart that their residual in
    // A's norm grows with the scaling (LAPACK's balanced dgeev shows the
    // same growth): only the unbalanced vectors are held to the bound.
    bool balancing_amplifies = false;
};

std::vector<Family> families()
{
    std::vector<Family> f;
    f.push_back({"graded D*R*D over 30 decades", [](int n, bool c) {
                     return matrix_of(n, n, c, [&](int i, int j) { return hash_entry(1, i, j, c) * decade(30, i + j, n); });
                 }});
    f.push_back({"graded rows over 30 decades", [](int n, bool c) {
                     return matrix_of(n, n, c, [&](int i, int j) { return hash_entry(2, i, j, c) * decade(30, i, n); });
                 }});
    f.push_back({"graded upwards over 20 decades", [](int n, bool c) {
                     return matrix_of(n, n, c,
                                      [&](int i, int j) { return hash_entry(3, i, j, c) * decade(20, 2 * n - 2 - i - j, n); });
                 }});
    f.push_back({"D*R*D over 1e150 .. 1e-150", [](int n, bool c) {
                     return matrix_of(n, n, c, [&](int i, int j) { return hash_entry(4, i, j, c) * 1e150 * decade(150, i + j, n); });
                 }});
    f.push_back({"triangle, diagonal over 1e150 .. 1e-150, 1e-300 below",
                 [](int n, bool c) {
                     return matrix_of(n, n, c, [&](int i, int j) {
                         return i == j ? cx(1e150 * decade(300, i, n)) : hash_entry(5, i, j, c) * (i < j ? 1.0 : 1e-300);
                     });
                 },
                 true});
    for (const auto& [gap, name] : std::vector<std::pair<double, std::string>>{{1e-3, "1e-3"}, {1e-8, "1e-8"}, {0.0, "0"}})
        f.push_back({"four clusters " + name + " wide, rotated", [gap](int n, bool c) {
                         const Mm t = matrix_of(n, n, c, [&](int i, int j) {
                             if (i == j)
                                 return cx(1 + i % 4 + gap * (i / 4) / n, c ? 0.5 * (i % 4) : 0.0);
                             return i < j ? hash_entry(6, i, j, c) : cx(0);
                         });
                         return rotated(t, 7);
                     }});
    f.push_back({"one Jordan block, rotated", [](int n, bool c) {
                     return rotated(matrix_of(n, n, c, [](int i, int j) { return cx(i == j ? 2.0 : j == i + 1 ? 1.0 : 0.0); }), 8);
                 }});
    f.push_back({"Jordan blocks of 5 plus 1e-14 noise",
                 [](int n, bool c) {
                     return matrix_of(n, n, c, [&](int i, int j) {
                         if (i == j)
                             return cx(i / 5);
                         if (j == i + 1 && (i + 1) % 5 != 0)
                             return cx(1.0);
                         return 1e-14 * hash_entry(9, i, j, c);
                     });
                 },
                 true});
    f.push_back({"companion of (x-1)^n", [](int n, bool c) { return turned(companion_of_roots(std::vector<double>(n, 1.0)), c); }});
    f.push_back({"companion of roots in five tight clusters", [](int n, bool c) {
                     std::vector<double> roots;
                     for (int k = 0; k < n; ++k)
                         roots.push_back(0.9 + 0.01 * (k % 5) + 1e-9 * k);
                     return turned(companion_of_roots(roots), c);
                 }});
    f.push_back({"cyclic shift", [](int n, bool c) {
                     return turned(matrix_of(n, n, false, [n](int i, int j) { return cx(i == j + 1 || (i == 0 && j == n - 1)); }), c);
                 }});
    f.push_back({"cyclic shift plus 1e-15 i on the diagonal", [](int n, bool c) {
                     return turned(
                         matrix_of(n, n, false, [n](int i, int j) { return cx(i == j + 1 || (i == 0 && j == n - 1)) + (i == j ? 1e-15 * i : 0.0); }),
                         c);
                 }});
    // Blocks [0 1 0 0; 1 0 t 0; 0 -t 0 1; 0 0 1 0]: a tiny coupling t between
    // two blocks whose standard shifts stall.
    f.push_back({"4-by-4 stalling blocks", [](int n, bool c) {
                     return turned(matrix_of(n, n, false, [n](int i, int j) {
                                       const int b = i / 4;
                                       if (j / 4 != b || 4 * b + 3 >= n)
                                           return cx(i == j);
                                       const double t = std::pow(10.0, -1.0 - b % 16);
                                       const double m[4][4] = {{0, 1, 0, 0}, {1, 0, t, 0}, {0, -t, 0, 1}, {0, 0, 1, 0}};
                                       return cx(m[i % 4][j % 4]);
                                   }),
                                   c);
                 }});
    f.push_back({"Frank",
                 [](int n, bool c) { return turned(matrix_of(n, n, false, [n](int i, int j) { return cx(j >= i - 1 ? n - std::max(i, j) : 0); }), c); },
                 true});
    f.push_back({"Kahan", [](int n, bool c) {
                     const double s = std::sin(1.2), co = std::cos(1.2);
                     return turned(matrix_of(n, n, false, [&](int i, int j) { return cx(j < i ? 0 : std::pow(s, i) * (j == i ? 1 : -co)); }), c);
                 }});
    f.push_back({"Kahan transposed", [](int n, bool c) {
                     const double s = std::sin(1.2), co = std::cos(1.2);
                     return turned(matrix_of(n, n, false, [&](int i, int j) { return cx(i < j ? 0 : std::pow(s, j) * (j == i ? 1 : -co)); }), c);
                 }});
    // Real data held complex: the complex kernels meet exact zeros in every
    // imaginary part, and the reduction of this steeply graded triangle
    // leaves 2-by-2 blocks of entries near 1e-231 and 1e-274 at the bottom.
    f.push_back({"lower Kahan-type triangle, sin(0.6)^j, held complex", [](int n, bool c) {
                     const double s = std::sin(0.6), co = std::cos(0.6);
                     return matrix_of(n, n, c, [&](int i, int j) { return cx(i < j ? 0 : std::pow(s, j) * (j == i ? 1 : -co)); });
                 }});
    f.push_back({"triangle plus 1e-15 below", [](int n, bool c) {
                     return matrix_of(n, n, c, [&](int i, int j) { return hash_entry(10, i, j, c) * (i <= j ? 1.0 : 1e-15); });
                 }});
    f.push_back({"Grcar", [](int n, bool c) {
                     return turned(matrix_of(n, n, false, [](int i, int j) { return cx(i == j + 1 ? -1 : j >= i && j <= i + 3 ? 1 : 0); }), c);
                 }});
    return f;
}

bool has_nan_entry(const cmat& x)
{
    return std::any_of(x.v.begin(), x.v.end(), [](const cx& z) { return std::isnan(z.real()) || std::isnan(z.imag()); });
}

cx sum_of(const cmat& values, bool diagonal)
{
    cx s = 0;
    for (int k = 0; k < values.rows; ++k)
        s += diagonal ? values(k, k) : values(k, 0);
    return s;
}

// Everything eig and schur give for one matrix, checked.
void expect_sound_eigen(const Mm& a, bool balancing_amplifies)
{
    const int n = a.rows();
    const cmat A = linalg_test::to_cmat(a);
    const double norm_a = frobenius(A);
    cx trace = 0;
    for (int k = 0; k < n; ++k)
        trace += A(k, k);
    // The computed eigenvalues are those of a matrix within a few n·eps·|A|
    // of A, and their sum is its trace.
    const double trace_tol = 20 * n * eps * norm_a;

    for (bool balanced : {true, false}) {
        SCOPED_TRACE(balanced ? "balanced" : "'nobalance'");
        Mm V, D;
        const Mm w = balanced ? eig(a) : eig(a, test::text("nobalance"));
        if (balanced)
            eig(a, i_o, V, D);
        else
            eig(a, test::text("nobalance"), i_o, V, D);
        const cmat W = linalg_test::to_cmat(w), Dm = linalg_test::to_cmat(D);
        ASSERT_FALSE(has_nan_entry(W)) << "eigenvalues of a finite matrix";
        ASSERT_FALSE(has_nan_entry(Dm)) << "eigenvalues of a finite matrix, with vectors";
        ASSERT_FALSE(has_nan_entry(linalg_test::to_cmat(V))) << "eigenvectors of a finite matrix";
        EXPECT_LE(std::abs(sum_of(W, false) - trace), trace_tol);
        EXPECT_LE(std::abs(sum_of(Dm, true) - trace), trace_tol);
        if (!balanced || !balancing_amplifies) {
            EXPECT_LE(linalg_test::worst_eigenvector_residual(a, V, D), 20);
        }
    }

    Mm U, T;
    schur(a, i_o, U, T);
    const cmat Um = linalg_test::to_cmat(U), Tm = linalg_test::to_cmat(T);
    ASSERT_FALSE(has_nan_entry(Um) || has_nan_entry(Tm)) << "Schur form of a finite matrix";
    EXPECT_LE(linalg_test::departure_from_orthonormal_columns(U), 20);
    const cmat AU = linalg_test::to_cmat(mtimes(a, U)), UT = linalg_test::to_cmat(mtimes(U, T));
    EXPECT_LE(linalg_test::max_abs_diff(AU, UT), 20 * n * eps * norm_a) << "A*U = U*T";
    EXPECT_LE(std::abs(sum_of(Tm, true) - trace), trace_tol);
    for (int j = 0; j < n; ++j)
        for (int i = j + 1; i < n; ++i) {
            // Real data: 2-by-2 blocks on the diagonal, never two adjacent.
            const bool block = !a.isc() && i == j + 1 && (j == 0 || Tm(j, j - 1) == 0.0);
            if (!block) {
                ASSERT_EQ(Tm(i, j), 0.0) << "T(" << i << "," << j << ")";
            }
        }
}

// Orders below and past the crossovers: the plain shifted iterations, the
// multishift iteration with vectors (past 120 real, 100 complex), and a
// few past the ones for eigenvalues alone (375 real, 300 complex).
TEST(Eig, HardSpectraAtEveryOrder)
{
    struct Large {
        const char* family;
        int n;
        bool complex;
    };
    const std::vector<Large> large = {{"four clusters 0 wide, rotated", 400, false},
                                      {"graded D*R*D over 30 decades", 320, true},
                                      {"lower Kahan-type triangle, sin(0.6)^j, held complex", 400, true}};
    for (const Family& f : families()) {
        std::vector<std::pair<int, bool>> runs;
        for (int n : {4, 10, 60, 130})
            for (bool complex : {false, true})
                runs.push_back({n, complex});
        for (const Large& l : large)
            if (f.what == l.family)
                runs.push_back({l.n, l.complex});
        for (const auto& [n, complex] : runs) {
            SCOPED_TRACE(f.what + ", n = " + std::to_string(n) + (complex ? ", complex" : ", real"));
            expect_sound_eigen(f.make(n, complex), f.balancing_amplifies);
        }
    }
}

struct HardReference {
    const char* what;
    int n;
    bool complex;
    std::vector<double> re, im, lambda_re, lambda_im, condition;
};

const std::vector<HardReference> hard_reference = {
#include "data/hard_eigenvalues_reference.inc"
};

// The eigenvalues of a Schur form T: its diagonal, or those of its 2-by-2
// blocks.
std::vector<cx> schur_eigenvalues(const cmat& t)
{
    std::vector<cx> values;
    for (int k = 0; k < t.rows; ++k) {
        if (k + 1 < t.rows && t(k + 1, k) != 0.0) {
            // In units of the block's size, so a block of tiny entries
            // keeps its products.
            const double sc = std::abs(t(k, k)) + std::abs(t(k, k + 1)) + std::abs(t(k + 1, k)) + std::abs(t(k + 1, k + 1));
            const cx a = t(k, k) / sc, b = t(k, k + 1) / sc, c = t(k + 1, k) / sc, d = t(k + 1, k + 1) / sc;
            const cx mid = (a + d) / 2.0, half = (a - d) / 2.0;
            const cx root = std::sqrt(half * half + b * c);
            values.push_back((mid + root) * sc);
            values.push_back((mid - root) * sc);
            ++k;
        } else {
            values.push_back(t(k, k));
        }
    }
    return values;
}

// Each eigenvalue of LAPACK's within the first-order bound its condition
// number gives (10·n·eps·|A|_F·cond), from eig with and without balancing,
// with and without vectors, and from the diagonal of schur's T.
TEST(Eig, HardSpectraMatchLapack)
{
    ASSERT_GE(hard_reference.size(), 9u);
    for (const HardReference& c : hard_reference) {
        const Mm a = linalg_test::matrix_from(c.n, c.n, c.re, c.im, c.complex);
        const double norm_a = frobenius(linalg_test::to_cmat(a));
        Mm V, D, Vn, Dn, U, T;
        eig(a, i_o, V, D);
        eig(a, test::text("nobalance"), i_o, Vn, Dn);
        schur(a, i_o, U, T);
        const std::vector<std::pair<const char*, std::vector<cx>>> results = {
            {"eig", linalg_test::to_cmat(eig(a)).v},
            {"eig 'nobalance'", linalg_test::to_cmat(eig(a, test::text("nobalance"))).v},
            {"[V,D] = eig", linalg_test::to_cmat(diag(D)).v},
            {"[V,D] = eig 'nobalance'", linalg_test::to_cmat(diag(Dn)).v},
            {"schur", schur_eigenvalues(linalg_test::to_cmat(T))},
        };
        for (const auto& [how, got] : results) {
            SCOPED_TRACE(std::string(c.what) + ", n = " + std::to_string(c.n) + ", " + how);
            ASSERT_EQ(int(got.size()), c.n);
            // Nearest unused computed value to each reference value, the
            // best conditioned first.
            std::vector<int> order(c.n);
            for (int k = 0; k < c.n; ++k)
                order[k] = k;
            std::sort(order.begin(), order.end(), [&](int x, int y) { return c.condition[x] < c.condition[y]; });
            std::vector<bool> used(c.n, false);
            for (int k : order) {
                const cx want(c.lambda_re[k], c.lambda_im[k]);
                int best = -1;
                for (int j = 0; j < c.n; ++j)
                    if (!used[j] && (best < 0 || std::abs(got[j] - want) < std::abs(got[best] - want)))
                        best = j;
                used[best] = true;
                EXPECT_LE(std::abs(got[best] - want), 10 * c.n * eps * norm_a * c.condition[k]) << "eigenvalue " << want;
            }
        }
    }
}

// A 2-by-2 block of entries t far below the rest of the matrix (an entry 1
// keeps eig from scaling the whole): its eigenvalues are those of the
// block, found to a few ulps of t on every path, real and complex, from
// eig, eig 'nobalance', [V,D] = eig and schur's T. The real kernel formed
// the block's p² + w unscaled, and at t = 1e-200 a pair ±t·i came back
// as a double 0.
TEST(Eig, TinyTwoByTwoBlocksKeepTheirEigenvalues)
{
    struct Block {
        const char* what;
        double a, b, c, d;  // [a b; c d] in units of t
        std::vector<cx> values;
    };
    const std::vector<Block> blocks = {
        {"[0 -1; 1 0]", 0, -1, 1, 0, {cx(0, 1), cx(0, -1)}},
        {"[1 2; -1 1]", 1, 2, -1, 1, {cx(1, std::sqrt(2.0)), cx(1, -std::sqrt(2.0))}},
        {"[0 1; 1 0]", 0, 1, 1, 0, {cx(1), cx(-1)}},
        {"[3 1; 4 3]", 3, 1, 4, 3, {cx(5), cx(1)}},
    };
    for (const Block& b : blocks)
        for (double t : {1e-100, 1e-160, 1e-200, 1e-250, 1e-280})
            for (bool complex : {false, true}) {
                SCOPED_TRACE(std::string(b.what) + " times " + std::to_string(std::log10(t)) + (complex ? ", complex" : ", real"));
                const Mm a = matrix_of(4, 4, complex, [&](int i, int j) {
                    const double rows[4][4] = {{1, 0.5, 0.25, 0.125}, {0, b.a * t, b.b * t, 0.3 * t}, {0, b.c * t, b.d * t, 0.2 * t}, {0, 0, 0, 0.5}};
                    return cx(rows[i][j]);
                });
                std::vector<cx> want = b.values;
                for (cx& v : want)
                    v *= t;
                want.push_back(1);
                want.push_back(0.5);
                Mm V, D, U, T;
                eig(a, i_o, V, D);
                schur(a, i_o, U, T);
                const std::vector<std::pair<const char*, std::vector<cx>>> results = {
                    {"eig", linalg_test::to_cmat(eig(a)).v},
                    {"eig 'nobalance'", linalg_test::to_cmat(eig(a, test::text("nobalance"))).v},
                    {"[V,D] = eig", linalg_test::to_cmat(diag(D)).v},
                    {"schur", schur_eigenvalues(linalg_test::to_cmat(T))},
                };
                for (const auto& [how, got] : results) {
                    SCOPED_TRACE(how);
                    ASSERT_EQ(got.size(), want.size());
                    std::vector<bool> used(got.size(), false);
                    for (const cx& w : want) {
                        int best = -1;
                        for (int j = 0; j < int(got.size()); ++j)
                            if (!used[j] && (best < 0 || std::abs(got[j] - w) < std::abs(got[best] - w)))
                                best = j;
                        used[best] = true;
                        EXPECT_LE(std::abs(got[best] - w), 8 * eps * std::abs(w)) << "eigenvalue " << w;
                    }
                }
            }
}

// A Hermitian matrix with an infinite entry beside others has no known
// eigenvalue: every value and vector element is NaN, and so are the
// matrix functions built on them. [1 Inf;Inf 1] had two finite
// eigenvalues, and from order 3 the tridiagonal iteration's fallback
// never returned (sqrtm and the fractional powers of such a matrix with
// it).
TEST(Eig, InfiniteEntriesOfHermitianMatricesGiveNaN)
{
    for (bool complex : {false, true})
        for (int n : {2, 3, 13, 49})
            for (double bad : {INFINITY, -INFINITY})
                for (bool diagonal : {false, true}) {
                    SCOPED_TRACE(std::to_string(n) + (complex ? " complex " : " real ") + std::to_string(bad) +
                                 (diagonal ? " on the diagonal" : " off it"));
                    Mm a = linalg_test::hash_matrix(n, n, complex, n);
                    a = a + ctranspose(a);
                    const int i = n / 2, j = diagonal ? i : n - 1 - (n / 2 == n - 1 ? 1 : 0);
                    a.addr()[i + std::size_t(j) * n] = bad;
                    a.addr()[j + std::size_t(i) * n] = bad;
                    Mm V, D;
                    eig(a, i_o, V, D);
                    const std::vector<Mm> results = {eig(a), V, diag(D), sqrtm(a), mpower(a, Mm(0.5)), logm(a)};
                    for (std::size_t r = 0; r < results.size(); ++r) {
                        SCOPED_TRACE(r);
                        ASSERT_EQ(results[r].cols() * results[r].rows() > 0, true);
                        for (double v : test::values(results[r]))
                            EXPECT_TRUE(std::isnan(v));
                    }
                }
}

// One column many decades below the others (1e-150 or subnormal, first,
// middle or last), real and complex, past the multishift order: balancing
// scales that column up and its row down by a large power of two, and the
// back-transformation scaled the rounding of the balanced matrix's vectors
// up with it: [V,D] = eig(A) returned vectors whose residuals were of the
// size of A. Every column is an eigenvector of A to rounding.
TEST(Eig, ColumnManyDecadesBelowTheOthers)
{
    for (bool complex : {false, true})
        for (int n : {2, 5, 13, 33, 101})
            for (int scale : {-500, -1040})
                for (int col : {0, n / 2, n - 1}) {
                    SCOPED_TRACE(std::to_string(n) + (complex ? " complex, 2^" : " real, 2^") + std::to_string(scale) +
                                 " in column " + std::to_string(col));
                    const Mm a = linalg_test::matrix_of(n, n, complex, [&](int i, int j) {
                        const int e = j == col ? scale : 0;
                        return linalg_test::cx(std::ldexp(linalg_test::hash_element(n, i, j, 0), e),
                                               complex ? std::ldexp(linalg_test::hash_element(n, i, j, 1), e) : 0.0);
                    });
                    Mm V, D;
                    eig(a, i_o, V, D);
                    EXPECT_LE(linalg_test::worst_eigenvector_residual(a, V, D), 20);
                }
}

} // namespace
