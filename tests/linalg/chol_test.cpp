// chol: hand-checked factors, the upper triangle as the only input, the
// messages, the two-output report of how far the factorisation got, and the
// backward error and agreement with LAPACK's Cholesky on random Hermitian
// positive definite matrices.
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "linalg_support.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace linalg_test;

TEST(Chol, SmallCases)
{
    struct Case {
        const char* what;
        Mm a;
        std::vector<double> r;
    };
    const double r2 = std::sqrt(2.0);
    const std::vector<Case> cases = {
        {"scalar", Mm(4.0), {2}},
        {"2x2", test::real(2, 2, {4, 2, 2, 3}), {2, 0, 1, r2}},
        {"lower triangle not read", test::real(2, 2, {4, 99, 2, 3}), {2, 0, 1, r2}},
        {"sparse", sparse(test::real(2, 2, {4, 2, 2, 3})), {2, 0, 1, r2}},
        {"uint8", test::bytes(2, 2, {4, 2, 2, 3}), {2, 0, 1, r2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm r = chol(c.a);
        EXPECT_FALSE(r.issparse());
        EXPECT_EQ(r.gettype(), qv_double);
        EXPECT_EQ(test::values(r), c.r);
    }
    // Complex Hermitian: [2 i; -i 2] = R'R with R = [√2 i/√2; 0 √(3/2)].
    const Mm z = chol(test::complex(2, 2, {2, 0, 0, 2}, {0, -1, 1, 0}));
    ASSERT_TRUE(z.isc());
    EXPECT_DOUBLE_EQ(z.r(1, 1), r2);
    EXPECT_DOUBLE_EQ(z.i(1, 2), 1 / r2);
    EXPECT_EQ(z.r(1, 2), 0);
    EXPECT_DOUBLE_EQ(z.r(2, 2), std::sqrt(1.5));
    EXPECT_EQ(z.i(2, 2), 0);
    EXPECT_EQ(z.r(2, 1), 0);
    EXPECT_EQ(z.i(2, 1), 0);
    EXPECT_EQ(test::extents(chol(Mm())), (std::vector<int>{0, 0}));
}

TEST(Chol, Messages)
{
    EXPECT_ERROR(chol(test::real(2, 2, {1, 2, 2, 1})), "chol: (temporary) matrix not positive definite");
    EXPECT_ERROR(chol(Mm(-3.0)), "chol: =-3 matrix not positive definite");
    EXPECT_ERROR(chol(zeros(2.0, 3.0)), "chol: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(chol(zeros(Mm(2.0), Mm(2.0), Mm(2.0))),
                 "chol: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    Mm R, p;
    EXPECT_ERROR(chol(zeros(2.0, 3.0), i_o, R, p),
                 "chol: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
}

TEST(Chol, TwoOutputsReportTheFailingMinor)
{
    struct Case {
        const char* what;
        Mm a;
        std::vector<double> r;
        std::vector<int> r_extents;
        double p;
    };
    const double nan = NAN;
    const std::vector<Case> cases = {
        {"fails at 2", test::real(2, 2, {1, 2, 2, 1}), {1}, {1, 1}, 2},
        {"fails at 1", Mm(-1.0), {}, {0, 0}, 1},
        {"positive definite", test::real(2, 2, {4, 2, 2, 3}), {2, 0, 1, std::sqrt(2.0)}, {2, 2}, 0},
        {"NaN on the diagonal", test::real(3, 3, {4, 0, 0, 0, nan, 0, 0, 0, 1}), {2}, {1, 1}, 2},
        {"imaginary diagonal", test::complex(2, 2, {4, 0, 0, 9}, {0, 0, 0, 1}), {2}, {1, 1}, 2},
        {"zero on the diagonal", test::real(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 0}), {1, 0, 0, 1}, {2, 2}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm R, p;
        chol(c.a, i_o, R, p);
        EXPECT_EQ(test::extents(R), c.r_extents);
        EXPECT_EQ(test::values(R), c.r);
        EXPECT_EQ(p.r(), c.p);
    }
    // The imaginary diagonal fails even though its real part would pass.
    EXPECT_ERROR(chol(test::complex(2, 2, {4, 0, 0, 9}, {0, 0, 0, 1})),
                 "chol: (temporary) matrix not positive definite");
    Mm R, p;
    chol(Mm(), i_o, R, p);
    EXPECT_TRUE(isempty(R) && isempty(p));
}

// A random Hermitian positive definite matrix B'B + n I (shift < 0 makes it
// indefinite somewhere down the diagonal).
Mm hpd(std::mt19937_64& gen, int n, bool complex, double shift)
{
    const Mm b = random_matrix(gen, n, n, complex);
    const cmat B = to_cmat(b);
    const cmat A = product(B, B, true);
    Mm a(complex, 0, 0, n, n, qv_double);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            a.addr()[i + j * n] = A(i, j).real() + (i == j ? shift * n : 0.0);
            if (complex)
                a.addi()[i + j * n] = i == j ? 0.0 : A(i, j).imag();
        }
    return a;
}

TEST(Chol, AgreesWithLapackAndReproducesTheMatrix)
{
    std::mt19937_64 gen(21);
    for (bool complex : {false, true})
        // Past 64 the real kernel works by blocks.
        for (int n : {1, 2, 3, 7, 16, 33, 60, 150})
            for (double shift : {1.0, -0.3, -0.005}) {
                SCOPED_TRACE(std::to_string(n) + (complex ? " complex" : " real") + " shift " + std::to_string(shift));
                const Mm a = hpd(gen, n, complex, shift);
                Mm R, p;
                chol(a, i_o, R, p);
                // LAPACK on the same data (interleaved for the complex one).
                int info;
                std::vector<double> l;
                if (complex) {
                    l.resize(2 * std::size_t(n) * n);
                    for (int k = 0; k < n * n; ++k) {
                        l[2 * k] = a.addr()[k];
                        l[2 * k + 1] = a.addi()[k];
                    }
                    info = lapack::zpotrf('U', n, l.data(), n);
                } else {
                    l.assign(a.addr(), a.addr() + n * n);
                    info = lapack::potrf('U', n, l.data(), n);
                }
                ASSERT_EQ(p.r(), info);
                const int q = info == 0 ? n : info - 1;
                ASSERT_EQ(R.rows(), q);
                const cmat r = to_cmat(R);
                double rmax = max_abs(r);
                for (int j = 0; j < q; ++j)
                    for (int i = 0; i <= j; ++i) {
                        const cx ref = complex ? cx(l[2 * (i + j * n)], l[2 * (i + j * n) + 1]) : cx(l[i + j * n]);
                        EXPECT_LE(std::abs(r(i, j) - ref), 1e-13 * rmax) << i << "," << j;
                    }
                if (info == 0) {
                    const cmat A = to_cmat(a);
                    EXPECT_LE(max_abs_diff(product(r, r, true), A) / (max_abs(A) * n * eps52), 30);
                    EXPECT_EQ(test::values(chol(a)), test::values(R));
                }
            }
}

// Imaginary parts on the diagonal at rounding level (within n*eps*|Re|)
// count as 0: numpy factors [4+1e-17i 1+1i;1-1i 3] as [2 0.5+0.5i;0 1.58...];
// anything larger still stops the factorisation at its column.
TEST(Chol, RoundingLevelImaginaryDiagonal)
{
    const Mm a = test::complex(2, 2, {4, 1, 1, 3}, {1e-17, -1, 1, 0});
    const Mm r = chol(a);
    ASSERT_TRUE(r.isc());
    const std::vector<double> re = {2, 0, 0.5, 1.5811388300841898}, im = {0, 0, 0.5, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(r.addr()[k], re[k], 2 * eps52 * 2) << k;
        EXPECT_EQ(r.addi()[k], im[k]) << k;
    }
    struct Case {
        const char* what;
        double im11;
        double p;
    };
    // n = 2, Re a(1,1) = 4: the bound is 2*eps*4 = 2^-49.
    const std::vector<Case> cases = {
        {"at the bound", 0x1p-49, 0},
        {"negative, at the bound", -0x1p-49, 0},
        {"twice the bound", 0x1p-48, 1},
        {"1e-10", 1e-10, 1},
        {"NaN", NAN, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm R, p;
        chol(test::complex(2, 2, {4, 1, 1, 3}, {c.im11, -1, 1, 0}), i_o, R, p);
        EXPECT_EQ(p.r(), c.p);
        if (c.p == 0) {
            EXPECT_EQ(R.i(1, 1), 0);
            EXPECT_EQ(R.i(2, 2), 0);
        }
    }
    EXPECT_ERROR(chol(test::complex(2, 2, {4, 1, 1, 3}, {1e-10, -1, 1, 0})),
                 "chol: (temporary) matrix not positive definite");

    // X*D*X' + 50*I formed by the library's products (D a positive
    // diagonal): the rounding of X*D leaves imaginary parts on the
    // diagonal, and the matrix factors.
    const int n = 50;
    const Mm x = hash_matrix(n, n, true, 63);
    Mm d = zeros(double(n), 1.0);
    for (int k = 0; k < n; ++k)
        d.addr()[k] = 1 + k / 7.0;
    const Mm h = (x * diag(d)) * ctranspose(x) + 50 * eye(double(n));
    bool rounding_seen = false;
    for (int k = 0; k < n; ++k)
        rounding_seen = rounding_seen || h.addi()[k + k * n] != 0;
    ASSERT_TRUE(rounding_seen) << "the fixture must carry imaginary rounding on its diagonal";
    Mm R, p;
    chol(h, i_o, R, p);
    EXPECT_EQ(p.r(), 0);
    ASSERT_EQ(R.rows(), n);
    const cmat Rc = to_cmat(R), H = to_cmat(h);
    EXPECT_LE(max_abs_diff(product(Rc, Rc, true), H) / (max_abs(H) * n * eps52), 30);
    for (int k = 0; k < n; ++k)
        EXPECT_EQ(R.addi()[k + k * n], 0) << k;
}

// Complex orders past the crossover to the blocked factorisation: the same
// p and, to rounding, the same R as the column kernel, a backward error
// within 30 on success, and the kernel's stops: a non-positive pivot, an
// imaginary diagonal beyond rounding (though its real part would pass), a
// NaN on the diagonal, and an element whose square overflows.
TEST(Chol, ComplexPastTheCrossoverStopsWhereTheKernelStops)
{
    struct Case {
        const char* what;
        int n;
        double grading;  // rows and columns scaled by 10^(-grading k / n)
        int column;      // 1-based column that is spoilt; 0 none
        char spoil;      // i imaginary diagonal, n NaN diagonal, o overflowing element, d negative pivot
        double p;
    };
    const std::vector<Case> cases = {
        {"random", 300, 0, 0, ' ', 0},
        {"graded", 250, 10, 0, ' ', 0},
        {"imaginary diagonal", 260, 0, 200, 'i', 200},
        {"NaN diagonal", 220, 0, 170, 'n', 170},
        {"overflowing element", 200, 0, 150, 'o', 150},
        {"indefinite", 240, 0, 90, 'd', 90},
    };
    std::mt19937_64 gen(22);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int n = c.n;
        Mm a = hpd(gen, n, true, 1.0);
        auto at = [&](int i, int j) { return std::size_t(i - 1) + std::size_t(j - 1) * n; };
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) {
                const double g = std::pow(10.0, -c.grading * (i + j) / n);
                a.addr()[at(i, j)] *= g;
                a.addi()[at(i, j)] *= g;
            }
        const int k = c.column;
        if (c.spoil == 'i')
            a.addi()[at(k, k)] = 1e-8 * a.addr()[at(k, k)];
        if (c.spoil == 'n')
            a.addr()[at(k, k)] = NAN;
        if (c.spoil == 'o')
            a.addr()[at(k - 1, k)] = 1e200;
        if (c.spoil == 'd')
            a.addr()[at(k, k)] = -1;
        Mm R, p;
        chol(a, i_o, R, p);
        EXPECT_EQ(p.r(), c.p);
        const int q = c.p == 0 ? n : int(c.p) - 1;
        ASSERT_EQ(R.rows(), q);
        ASSERT_TRUE(R.isc());
        std::vector<double> kr(a.addr(), a.addr() + n * n), ki(a.addi(), a.addi() + n * n);
        int n_ = n, info = -1;
        chol_kernel_complex(kr.data(), ki.data(), &n_, &n_, &info);
        EXPECT_EQ(info, c.p);
        const cmat r = to_cmat(R);
        const double rmax = max_abs(r);
        double diff = 0;
        for (int j = 0; j < q; ++j) {
            EXPECT_EQ(R.addi()[j + j * q], 0) << j;
            for (int i = 0; i <= j; ++i)
                diff = std::max(diff, std::abs(r(i, j) - cx(kr[i + j * n], ki[i + j * n])));
        }
        EXPECT_LE(diff, 1e-12 * rmax);
        if (c.p == 0) {
            const cmat A = to_cmat(a);
            EXPECT_LE(max_abs_diff(product(r, r, true), A) / (max_abs(A) * n * eps52), 30);
        } else
            EXPECT_ERROR(chol(a), "chol: (temporary) matrix not positive definite");
    }
}

} // namespace
