// lu in every form and left division on each of its paths: hand-checked
// factors and solutions, the messages, least squares against numpy, and
// backward accuracy of every solver on random systems.
#include "linalg/lapack.hpp"
#include "linalg_support.hpp"
#include "tall_sparse.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace linalg_test;

struct LstsqReference {
    int rows, cols;
    bool complex;
    int seed;
    std::vector<double> re, im;
};

const std::vector<LstsqReference> lstsq_reference = {
#include "data/lstsq_reference.inc"
};

struct RankDeficient {
    const char* what;
    int rows, cols, nrhs;
    std::vector<double> a_re, a_im, b_re, b_im;
    int rank;
    std::vector<double> residual;
};

const std::vector<RankDeficient> rank_deficient = {
#include "data/rank_deficient_reference.inc"
};

// The 2-norm of column c of x.
double column_norm(const cmat& x, int c)
{
    double s = 0;
    for (int i = 0; i < x.rows; ++i)
        s += std::norm(x(i, c));
    return std::sqrt(s);
}

bool unit_lower(const cmat& l)
{
    for (int j = 0; j < l.cols; ++j)
        for (int i = 0; i <= j; ++i)
            if (l(i, j) != (i == j ? cx(1) : cx(0)))
                return false;
    return true;
}

TEST(Lu, SmallCases)
{
    const Mm f = lu(test::real(2, 2, {4, 6, 3, 3}));
    EXPECT_EQ(f.r(1, 1), 6);
    EXPECT_DOUBLE_EQ(f.r(2, 1), -2.0 / 3);
    EXPECT_EQ(f.r(1, 2), 3);
    EXPECT_DOUBLE_EQ(f.r(2, 2), 1);
    Mm L, U, P;
    const Mm swap = test::real(2, 2, {0, 1, 1, 0});
    lu(swap, i_o, L, U, P);
    EXPECT_EQ(test::values(L), test::values(eye(2.0)));
    EXPECT_EQ(test::values(U), test::values(eye(2.0)));
    EXPECT_EQ(test::values(P), test::values(swap));
    lu(swap, i_o, L, U);
    EXPECT_EQ(test::values(L), test::values(swap));
    EXPECT_EQ(test::values(lu_L(swap)), test::values(swap));
    EXPECT_EQ(test::values(lu_U(swap)), test::values(eye(2.0)));
    EXPECT_TRUE(isempty(lu(Mm())));
    lu(Mm(), i_o, L, U, P);
    EXPECT_TRUE(isempty(L) && isempty(U) && isempty(P));
    EXPECT_ERROR(lu(zeros(2.0, 3.0)), "lu: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(lu(zeros(2.0, 3.0), i_o, L, U), "lu: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    const Mm z = sparse(test::complex(2, 2, {1, 0, 0, 1}, {1, 0, 0, 0}));
    EXPECT_ERROR(lu(z, i_o, L, U), "lu: Complex sparse not supported.");
    EXPECT_ERROR(lu(z, i_o, L, U, P), "lu: Complex sparse not supported.");
}

TEST(Lu, FactorsOfRandomMatrices)
{
    std::mt19937_64 gen(41);
    for (bool complex : {false, true})
        // Past 48 the complex factors come by blocks.
        for (int n : {1, 2, 5, 17, 40, 150}) {
            SCOPED_TRACE(std::to_string(n) + (complex ? " complex" : " real"));
            const Mm a = random_matrix(gen, n, n, complex);
            Mm L, U, P, L2, U2;
            lu(a, i_o, L, U, P);
            lu(a, i_o, L2, U2);
            const cmat A = to_cmat(a), l = to_cmat(L), u = to_cmat(U), p = to_cmat(P);
            EXPECT_TRUE(unit_lower(l));
            EXPECT_LE(max_abs_diff(product(p, A), product(l, u)) / (max_abs(A) * n * eps52), 30);
            EXPECT_LE(max_abs_diff(A, product(to_cmat(L2), to_cmat(U2))) / (max_abs(A) * n * eps52), 30);
            if (complex)
                continue;
            // The real factors are DGETRF's, pivots and all, to rounding: its
            // run on a copy elsewhere in memory is not bound to the same bits
            // (some kernels take another path for another alignment), but no
            // element differs by more than the rounding of its sums.
            std::vector<double> w(a.addr(), a.addr() + n * n);
            std::vector<int> ipiv(n);
            lapack::getrf(n, n, w.data(), n, ipiv.data());
            double big = 0;
            for (int k = 0; k < n * n; ++k)
                big = std::max(big, std::fabs(w[k]));
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    const double ref = w[i + j * n];
                    EXPECT_NEAR(i <= j ? u(i, j).real() : l(i, j).real(), ref, 4 * n * eps52 * big) << i << "," << j;
                }
        }
}

// Complex matrices of small integers past the blocked order: their
// eliminations meet ties in exact arithmetic, which rounding settles either
// way, but every choice is a largest candidate by |re| + |im| (so no
// multiplier's modulus exceeds sqrt(2)) and P*A = L*U; an exactly
// singular one (a zero column) still factors.
TEST(Lu, ComplexIntegerMatricesWithTies)
{
    std::mt19937_64 gen(44);
    std::uniform_int_distribution<int> small(-2, 2);
    for (int zero_column : {-1, 70}) {
        SCOPED_TRACE(zero_column);
        const int n = 214;
        Mm a(1, 0, 0, n, n, qv_double);
        for (int k = 0; k < n * n; ++k) {
            const bool zero = k / n == zero_column;
            a.addr()[k] = zero ? 0 : small(gen);
            a.addi()[k] = zero ? 0 : small(gen);
        }
        Mm L, U, P;
        lu(a, i_o, L, U, P);
        const cmat A = to_cmat(a), l = to_cmat(L), u = to_cmat(U), p = to_cmat(P);
        EXPECT_TRUE(unit_lower(l));
        double biggest = 0;
        for (const cx& v : l.v)
            biggest = std::max(biggest, std::abs(v));
        EXPECT_LE(biggest, std::sqrt(2.0) * (1 + 1e-12));
        EXPECT_LE(max_abs_diff(product(p, A), product(l, u)) / (max_abs(A) * n * eps52), 30);
    }
}

TEST(SparseLu, FactorsOfRandomSparseMatrices)
{
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> uniform(0, 1);
    for (int n : {1, 3, 10, 30, 60})
        for (double grading : {1.0, 1e-8}) {
            SCOPED_TRACE(std::to_string(n) + " grading " + std::to_string(grading));
            Mm d = random_matrix(gen, n, n, false);
            for (int k = 0; k < n * n; ++k)
                if (uniform(gen) < 0.7 && k % (n + 1) != 0)
                    d.addr()[k] = 0;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    d.addr()[i + j * n] *= std::pow(grading, double(j) / n);
            const Mm a = sparse(d);
            Mm L, U, P;
            lu(a, i_o, L, U, P);
            EXPECT_TRUE(L.issparse() && U.issparse() && P.issparse());
            const cmat A = to_cmat(a), l = to_cmat(L), u = to_cmat(U), p = to_cmat(P);
            EXPECT_TRUE(unit_lower(l));
            for (int j = 0; j < n; ++j) {
                for (int i = j + 1; i < n; ++i)
                    EXPECT_EQ(u(i, j), cx(0));
            }
            EXPECT_LE(max_abs_diff(product(p, A), product(l, u)) / (max_abs(A) * n * eps52), 30);
        }
    // A zero pivot still gives factors: P S = L U with a zero on U's diagonal.
    const Mm s = sparse(ones(2.0, 2.0));
    Mm L, U, P;
    lu(s, i_o, L, U, P);
    const cmat l = to_cmat(L), u = to_cmat(U), p = to_cmat(P), S = to_cmat(s);
    EXPECT_EQ(max_abs_diff(product(p, S), product(l, u)), 0);
    EXPECT_EQ(u(0, 0) * u(1, 1), cx(0));
}

// Structurally singular matrices (an empty column, an empty row, a
// deficient pattern, no entry at all) still factor: a zero pivot, P S = L U
// exactly for these integer entries, and a zero determinant.
TEST(SparseLu, StructurallySingularMatricesFactorWithAZeroPivot)
{
    struct Case {
        const char* what;
        Mm s;
    };
    std::mt19937_64 gen(7);
    Mm wide = random_matrix(gen, 12, 12, false);
    for (int i = 0; i < 12; ++i) {
        wide.addr()[i + 3 * 12] = 0;  // column 4 empty
        wide.addr()[i + 8 * 12] = 0;  // column 9 empty
        wide.addr()[5 + i * 12] = 0;  // row 6 empty
    }
    const std::vector<Case> cases = {
        {"[0 0;0 1]", sparse(test::real(2, 2, {0, 0, 0, 1}))},
        {"[1 0;1 0]", sparse(test::real(2, 2, {1, 1, 0, 0}))},
        {"zeros(3)", sparse(zeros(3.0, 3.0))},
        {"[1 1;0 0]", sparse(test::real(2, 2, {1, 0, 1, 0}))},
        {"[0 1;0 1]", sparse(test::real(2, 2, {0, 0, 1, 1}))},
        {"[0 2 0;0 0 3;0 0 4]", sparse(test::real(3, 3, {0, 0, 0, 2, 0, 0, 0, 3, 4}))},
        {"12x12 with two empty columns and an empty row", sparse(wide)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm L, U, P;
        EXPECT_EQ(test::error_of([&] { lu(c.s, i_o, L, U, P); }), "");
        const cmat S = to_cmat(c.s), l = to_cmat(L), u = to_cmat(U), p = to_cmat(P);
        const int n = S.rows;
        ASSERT_EQ(l.rows, n);
        ASSERT_EQ(u.rows, n);
        ASSERT_EQ(p.rows, n);
        EXPECT_TRUE(unit_lower(l));
        cx diagonal = 1;
        for (int j = 0; j < n; ++j) {
            diagonal *= u(j, j);
            for (int i = j + 1; i < n; ++i)
                EXPECT_EQ(u(i, j), cx(0));
        }
        EXPECT_EQ(diagonal, cx(0));
        if (n <= 3)
            EXPECT_EQ(max_abs_diff(product(p, S), product(l, u)), 0);
        else
            EXPECT_LE(max_abs_diff(product(p, S), product(l, u)) / (max_abs(S) * n * eps52), 30);
        EXPECT_EQ(det(c.s).r(), 0);
        // The solver meets the same pattern: no answer, and no crash.
        const Mm x = mldivide(c.s, ones(double(n), 1.0));
        EXPECT_TRUE(std::isnan(x.addr()[0]));
    }
}

// A NaN beside an empty row or column: SuperLU's pivot search passes the
// NaN by, so these meet the same zero-pivot path; the NaN reaches det.
TEST(SparseLu, NaNBesideAnEmptyLineGivesNaN)
{
    for (const Mm& d : {test::real(2, 2, {NAN, 0, 0, 0}), test::real(3, 3, {1, 0, NAN, 0, 0, 0, 2, 0, 3}),
                        test::real(2, 2, {NAN, NAN, 0, 0})}) {
        const Mm s = sparse(d);
        Mm L, U, P;
        EXPECT_EQ(test::error_of([&] { lu(s, i_o, L, U, P); }), "");
        EXPECT_EQ(L.rows(), d.rows());
        EXPECT_TRUE(std::isnan(det(s).r()));
    }
}

// A direct call checks its argument: a non-square matrix is refused with
// the square-matrix message rather than handed to SuperLU, and a dense
// one is factored as its sparse form.
TEST(SparseLu, DirectCallChecksItsArgument)
{
    Mm L, U, r, c;
    EXPECT_ERROR(sparse_lu_factor(sparse(ones(2.0, 3.0)), speye(Mm(2.0)), L, U, r, c),
                 "lu: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    sparse_lu_factor(test::real(2, 2, {0, 1, 2, 0}), speye(Mm(2.0)), L, U, r, c);
    EXPECT_TRUE(L.issparse() && U.issparse());
    EXPECT_EQ(test::values(r), (std::vector<double>{2, 1}));
}

TEST(Lusolve, Cases)
{
    const Mm b = test::real(3, 1, {1, 2, 3});
    EXPECT_EQ(test::values(lusolve(speye(Mm(3.0)), b, speye(Mm(3.0)))), (std::vector<double>{1, 2, 3}));
    // A column order from P.
    const Mm a = sparse(test::real(3, 3, {4, 1, 0, 1, 5, 2, 0, 2, 6}));
    const Mm order = sparse(test::real(3, 3, {0, 0, 1, 1, 0, 0, 0, 1, 0}));
    const Mm x1 = lusolve(a, b, speye(Mm(3.0))), x2 = lusolve(a, b, order);
    EXPECT_LE(solve_residual(a, x1, b), 30);
    EXPECT_LE(solve_residual(a, x2, b), 30);
    // A complex right-hand side: the doubled real system.
    const Mm zb = test::complex(3, 1, {1, 2, 3}, {1, 0, -1});
    const Mm zx = lusolve(a, zb, speye(Mm(3.0)));
    EXPECT_TRUE(zx.isc());
    EXPECT_LE(solve_residual(a, zx, zb), 30);
    // What it cannot solve is NaN of rows(A) x cols(B), without a word.
    struct Case {
        const char* what;
        Mm a, b, p;
        int rows, cols;
    };
    const std::vector<Case> cases = {
        {"singular", sparse(ones(2.0, 2.0)), ones(2.0, 3.0), speye(Mm(2.0)), 2, 3},
        {"rows of B", a, ones(2.0, 1.0), speye(Mm(3.0)), 3, 1},
        {"P no permutation", a, b, sparse(ones(3.0, 3.0)), 3, 1},
        {"P repeats a row", a, b, sparse(test::real(3, 3, {1, 0, 0, 1, 0, 0, 0, 0, 1})), 3, 1},
        {"not square", sparse(ones(2.0, 3.0)), ones(2.0, 1.0), speye(Mm(3.0)), 2, 1},
        {"not sparse", eye(2.0), ones(2.0, 1.0), speye(Mm(2.0)), 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::clear_printed();
        const Mm x = lusolve(c.a, c.b, c.p);
        EXPECT_EQ(test::extents(x), (std::vector<int>{c.rows, c.cols}));
        for (double v : test::values(x))
            EXPECT_TRUE(std::isnan(v));
        EXPECT_EQ(test::printed(), "");
    }
}

TEST(Mldivide, SmallCasesAndMessages)
{
    EXPECT_EQ(test::values(mldivide(Mm(2.0), test::row({4, 6}))), (std::vector<double>{2, 3}));
    EXPECT_TRUE(isempty(mldivide(Mm(), test::row({1, 2}))));
    EXPECT_ERROR(mldivide(test::real(2, 2, {1, 3, 2, 4}), test::row({1, 2})),
                 "mldivide: a,b does not have the same number of rows");
    EXPECT_ERROR(mldivide(Mm(1.0)), "mldivide does not accept 1 input");
    EXPECT_ERROR(mrdivide(Mm(1.0)), "mrdivide does not accept 1 input");
    EXPECT_ERROR(invdiv(Mm(1.0)), "invdiv does not accept 1 input");
    EXPECT_ERROR(mldivide(zeros(Mm(2.0), Mm(2.0), Mm(2.0)), ones(2.0, 2.0)),
                 "mldivide: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_EQ(test::values(mrdivide(test::row({4, 6}), Mm(2.0))), (std::vector<double>{2, 3}));
    EXPECT_EQ(test::values(invdiv(Mm(2.0), test::row({4, 6}))), (std::vector<double>{2, 3}));

    // Wide: a basic solution with a zero row.
    const Mm wide = mldivide(test::real(2, 3, {1, 0, 0, 1, 1, 1}), test::real(2, 1, {1, 2}));
    EXPECT_EQ(test::extents(wide), (std::vector<int>{3, 1}));
    const std::vector<double> w = test::values(wide);
    EXPECT_EQ(std::count(w.begin(), w.end(), 0.0), 1);
    EXPECT_LE(solve_residual(test::real(2, 3, {1, 0, 0, 1, 1, 1}), wide, test::real(2, 1, {1, 2})), 30);
    // Rank deficiency: the basic least-squares solution (the zero column's
    // unknown 0), never leftover values, and a warning with the rank.
    test::clear_printed();
    EXPECT_EQ(test::values(mldivide(test::real(3, 2, {1, 0, 0, 0, 0, 0}), test::real(3, 1, {1, 2, 3}))),
              (std::vector<double>{1, 0}));
    EXPECT_EQ(test::printed(),
              "warning: Rank deficient matrix, rank = 1: the basic least-squares solution is returned\n\n");
    // Tiny entries are still not symmetric: the general path solves them.
    const Mm tiny = mldivide(1e-16 * test::real(2, 2, {1, 3, 2, 4}), 1e-16 * test::real(2, 1, {5, 11}));
    EXPECT_NEAR(tiny.r(1), 1, 1e-14);
    EXPECT_NEAR(tiny.r(2), 2, 1e-14);
    // A sparse right-hand side gives a sparse result.
    EXPECT_TRUE(mldivide(test::real(2, 2, {2, 0, 0, 4}), sparse(test::real(2, 1, {2, 4}))).issparse());
    // Singular: Inf or NaN, no message.
    test::clear_printed();
    const Mm s = mldivide(test::real(2, 2, {1, 2, 2, 4}), test::real(2, 1, {1, 1}));
    bool nonfinite = false;
    for (double v : test::values(s))
        nonfinite = nonfinite || !std::isfinite(v);
    EXPECT_TRUE(nonfinite);
    EXPECT_EQ(test::printed(), "");
}

// A square system with one real operand: the real one's missing imaginary
// part reads as zeros, whether it is held as double or uint8. Values
// from numpy (tools/reference/mixed_solves.py).
TEST(Mldivide, RealAndComplexOperandsMix)
{
    const Mm a = test::real(2, 2, {4, 2, 1, 3});
    const Mm ac = test::complex(2, 2, {4, 2, 1, 3}, {1, 0, 0, -2});
    const Mm b = test::complex(2, 1, {1, 3}, {2, -1});
    const Mm br = test::real(2, 1, {1, 2});
    struct Case {
        const char* what;
        Mm a, b;
        std::vector<cx> want;
    };
    const std::vector<cx> real_a = {cx(0.0, 0.7), cx(1.0, -0.8)};
    const std::vector<cx> real_b = {cx(0.1301775147928994, -0.11242603550295859),
                                    cx(0.3668639053254438, 0.31952662721893493)};
    const std::vector<Case> cases = {
        {"real A \\ complex b", a, b, real_a},
        {"uint8 A \\ complex b", test::bytes(2, 2, {4, 2, 1, 3}), b, real_a},
        {"complex A \\ real b", ac, br, real_b},
        {"complex A \\ uint8 b", ac, test::bytes(2, 1, {1, 2}), real_b},
        {"complex A \\ complex b", ac, b,
         {cx(0.136094674556213, 0.4733727810650888), cx(0.9289940828402368, -0.029585798816568087)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm x = mldivide(c.a, c.b);
        ASSERT_EQ(test::extents(x), (std::vector<int>{2, 1}));
        ASSERT_TRUE(x.isc());
        for (int k = 0; k < 2; ++k)
            EXPECT_LE(std::abs(cx(x.addr()[k], x.addi()[k]) - c.want[k]), 8 * eps52 * (std::abs(c.want[k]) + 1))
                << k;
    }
}

// L keeps its unit diagonal whatever U holds; the NaN shows in U.
TEST(Lu, NaNStaysOutOfTheUnitDiagonal)
{
    for (const Mm& a : {test::real(2, 2, {NAN, 1, 2, 3}), test::real(3, 3, {1, 2, 3, 4, NAN, 6, 7, 8, 10})}) {
        Mm L, U, P;
        lu(a, i_o, L, U, P);
        const int n = a.rows();
        bool nan_in_u = false;
        for (int j = 0; j < n; ++j) {
            EXPECT_EQ(L.addr()[j * (n + 1)], 1.0) << j;
            for (int i = 0; i < j; ++i)
                EXPECT_EQ(L.addr()[i + j * n], 0.0) << i << "," << j;
            for (int i = 0; i <= j; ++i)
                nan_in_u = nan_in_u || std::isnan(U.addr()[i + j * n]);
        }
        EXPECT_TRUE(nan_in_u);
    }
}

// A NaN in A reaches every element of the solution, as numpy's solve
// gives: [1 NaN;5 1] looked symmetric and took the symmetric solver,
// which returned finite numbers; the third case kept a finite element
// under OpenBLAS's Atom kernels (OPENBLAS_CORETYPE=Atom).
TEST(Mldivide, NaNInTheMatrixGivesNaN)
{
    const std::vector<Mm> cases = {
        test::real(2, 2, {1, 5, NAN, 1}),
        test::real(2, 2, {1, NAN, NAN, 1}),
        test::real(3, 3, {4, 1, 0, 1, NAN, 2, 0, 2, 6}),
        test::complex(3, 3, {4, 1, 0, 1, NAN, 2, 0, 2, 6}, {0, 1, 0, -1, 0, 0, 0, 0, 0}),
    };
    for (const Mm& a : cases) {
        const Mm x = mldivide(a, ones(double(a.rows()), 1.0));
        for (int k = 0; k < x.rows(); ++k)
            EXPECT_TRUE(std::isnan(x.addr()[k]) && (!x.isc() || std::isnan(x.addi()[k]))) << k;
        const Mm w = eig(a);
        for (int k = 0; k < w.rows(); ++k)
            EXPECT_TRUE(std::isnan(w.addr()[k])) << k;
    }
}

TEST(Mldivide, LeastSquaresAgainstReference)
{
    for (const auto& c : lstsq_reference) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + (c.complex ? " complex" : ""));
        const Mm a = hash_matrix(c.rows, c.cols, c.complex, c.seed);
        const Mm b = hash_matrix(c.rows, 1, c.complex, c.seed + 100);
        for (const Mm& x : {mldivide(a, b), mldivide(sparse(a), b)}) {
            ASSERT_EQ(x.rows(), c.cols);
            for (int k = 0; k < c.cols; ++k) {
                EXPECT_NEAR(x.addr()[k], c.re[k], 1e-12);
                EXPECT_NEAR(x.isc() ? x.addi()[k] : 0.0, c.im[k], 1e-12);
            }
        }
    }
}

// A rank-deficient rectangular A: A\b was [-2.6e14; 1.3e14; -0.54] for
// the first case, its residual 0.574 against lstsq's 0.522. The rank from
// the pivoted R picks the basic solution (no more nonzero unknowns than the
// rank) whose residual is lstsq's, with a warning that names the rank; b/A
// likewise through the conjugate transposes, and a sparse A alike (it gave
// NaN without a word).
TEST(Mldivide, RankDeficientGivesTheBasicSolution)
{
    ASSERT_GE(rank_deficient.size(), 8u);
    for (const RankDeficient& c : rank_deficient) {
        SCOPED_TRACE(c.what);
        const Mm full_a = matrix_from(c.rows, c.cols, c.a_re, c.a_im), b = matrix_from(c.rows, c.nrhs, c.b_re, c.b_im);
        const std::string warned = "warning: Rank deficient matrix, rank = " + std::to_string(c.rank) +
                                   ": the basic least-squares solution is returned\n\n";
        for (bool right : {false, true})
            for (const Mm& a : {full_a, sparse(full_a)}) {
                SCOPED_TRACE(std::string(right ? "b/A" : "A\\b") + (a.issparse() ? " sparse" : ""));
                test::clear_printed();
                const Mm x = right ? ctranspose(mrdivide(ctranspose(b), ctranspose(a))) : mldivide(a, b);
                EXPECT_EQ(test::printed(), warned);
                ASSERT_EQ(test::extents(x), (std::vector<int>{c.cols, c.nrhs}));
                const cmat A = to_cmat(full_a), X = to_cmat(x), B = to_cmat(b);
                cmat R = product(A, X);
                for (std::size_t k = 0; k < R.v.size(); ++k)
                    R.v[k] -= B.v[k];
                double anorm = 0;
                for (int j = 0; j < A.cols; ++j)
                    anorm = std::max(anorm, column_norm(A, j));
                for (int j = 0; j < c.nrhs; ++j) {
                    int nonzero = 0;
                    for (int i = 0; i < c.cols; ++i)
                        nonzero += X(i, j) != cx(0);
                    EXPECT_LE(nonzero, c.rank) << "column " << j;
                    const double scale = anorm * column_norm(X, j) + column_norm(B, j);
                    EXPECT_LE(std::fabs(column_norm(R, j) - c.residual[j]), 64 * eps52 * c.rows * c.cols * scale)
                        << "column " << j;
                }
            }
    }
    // Full rank: the pivoted-QR solution as before, and no warning.
    for (const auto& c : lstsq_reference) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + (c.complex ? " complex" : ""));
        test::clear_printed();
        const Mm a = hash_matrix(c.rows, c.cols, c.complex, c.seed);
        const Mm x = mldivide(a, hash_matrix(c.rows, 1, c.complex, c.seed + 100));
        EXPECT_EQ(test::printed(), "");
        for (int k = 0; k < c.cols; ++k)
            EXPECT_NEAR(x.addr()[k], c.re[k], 1e-12);
        mldivide(ctranspose(a), hash_matrix(c.cols, 1, c.complex, c.seed + 200));
        EXPECT_EQ(test::printed(), "") << "wide, full row rank";
    }
    // A NaN leaves no rank to read: NaN, as the square solve gives.
    test::clear_printed();
    for (double v : test::values(mldivide(test::real(3, 2, {1, 2, NAN, 4, 5, 6}), test::real(3, 1, {1, 2, 3}))))
        EXPECT_TRUE(std::isnan(v));
    EXPECT_EQ(test::printed(), "");
}

// A rectangular sparse A whose sparse factor is singular gave NaN without a
// word: sparse([1 2; 2 4; 3 6])\[1; 2; 3.5] (rank 1) and, through its
// singular first two columns, sparse([1 1 0; 1 1 1])\[1; 2]. They give the
// dense answers: [0; 31/56] (column 2 is the pivot; 31/56 = (2+8+21)/(4+16+36)
// in exact arithmetic) with the rank warning, and [1; 0; 1] without one.
// Over a gallery of rectangular matrices, sparse and dense left division
// give the same warning and residuals of the same size.
TEST(Mldivide, SparseLeastSquaresAnswersAsDense)
{
    const std::string rank_one =
        "warning: Rank deficient matrix, rank = 1: the basic least-squares solution is returned\n\n";
    struct Exact {
        Mm a, b;
        std::vector<double> x;
        std::string printed;
    };
    const std::vector<Exact> exact = {
        {test::real(3, 2, {1, 2, 3, 2, 4, 6}), test::real(3, 1, {1, 2, 3.5}), {0, 31.0 / 56}, rank_one},
        {test::real(2, 3, {1, 1, 1, 1, 0, 1}), test::real(2, 1, {1, 2}), {1, 0, 1}, ""},
    };
    for (const Exact& c : exact) {
        test::clear_printed();
        const Mm x = mldivide(sparse(c.a), c.b);
        EXPECT_EQ(test::printed(), c.printed);
        ASSERT_EQ(x.rows(), int(c.x.size()));
        for (std::size_t k = 0; k < c.x.size(); ++k)
            EXPECT_NEAR(x.addr()[k], c.x[k], 4 * eps52) << k;
    }

    std::mt19937_64 gen(68);
    std::uniform_real_distribution<double> uniform(0, 1);
    struct Shape {
        int m, n, rank;
    };
    for (bool complex : {false, true})
        for (const Shape sh : std::vector<Shape>{{3, 2, 2}, {3, 2, 1}, {10, 4, 4}, {10, 4, 2}, {40, 10, 10},
                                                 {40, 10, 3}, {100, 30, 29}, {100, 30, 1}})
            for (bool wide : {false, true}) {
                const int m = wide ? sh.n : sh.m, n = wide ? sh.m : sh.n;
                SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + " rank " + std::to_string(sh.rank) +
                             (complex ? " complex" : ""));
                // A sparse product of rank sh.rank: a sparse m-by-r factor
                // with a full diagonal, times a full r-by-n one.
                Mm f = random_matrix(gen, m, sh.rank, complex);
                for (int k = 0; k < m * sh.rank; ++k)
                    if (uniform(gen) < 0.6 && k % (m + 1) != 0) {
                        f.addr()[k] = 0;
                        if (complex)
                            f.addi()[k] = 0;
                    }
                const Mm a = f * random_matrix(gen, sh.rank, n, complex);
                const Mm b = random_matrix(gen, m, 1, complex);
                test::clear_printed();
                const Mm xd = mldivide(a, b);
                const std::string dense_printed = test::printed();
                test::clear_printed();
                const Mm xs = mldivide(sparse(a), b);
                EXPECT_EQ(test::printed(), dense_printed);
                EXPECT_EQ(dense_printed.empty(), sh.rank == std::min(m, n));
                const cmat A = to_cmat(a), B = to_cmat(b);
                cmat rd = product(A, to_cmat(xd)), rs = product(A, to_cmat(xs));
                for (int i = 0; i < m; ++i) {
                    rd.v[i] -= B.v[i];
                    rs.v[i] -= B.v[i];
                }
                const double scale = max_abs(A) * std::max(max_abs(to_cmat(xd)), max_abs(to_cmat(xs))) + max_abs(B);
                EXPECT_LE(std::fabs(column_norm(rs, 0) - column_norm(rd, 0)), 64 * eps52 * m * n * scale);
            }
}

// A wide system of full row rank with a repeated column: [1 1 0; 1 1 1]\[1; 2]
// gave [1.5; 0; 0] and "rank = 1" (residual [0.5; -0.5]), because the last
// pivot of the QR was not chosen by norm and the repeated column's zero
// stood there. The pivots are columns 1 and 3, so the basic solution is
// [1; 0; 1] (exact arithmetic: x1 = 1, x1 + x3 = 2). [1 2]/[1 1; 1 1; 0 1] is
// its transpose. Every consistent wide system with a repeated column, at
// every order, solves with residual at rounding level and no warning; b/A
// with the tall transpose too.
TEST(Mldivide, WideSystemWithRepeatedColumnHasFullRank)
{
    test::clear_printed();
    const Mm x = mldivide(test::real(2, 3, {1, 1, 1, 1, 0, 1}), test::real(2, 1, {1, 2}));
    const Mm y = mrdivide(test::row({1, 2}), test::real(3, 2, {1, 1, 0, 1, 1, 1}));
    EXPECT_EQ(test::printed(), "");
    for (const auto& [got, rows] : {std::pair{x, 3}, std::pair{y, 1}}) {
        ASSERT_EQ(test::extents(got), (std::vector<int>{rows, 4 - rows}));
        const std::vector<double> want = {1, 0, 1};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(got.addr()[k], want[k], 4 * eps52) << k;
    }

    std::mt19937_64 gen(66);
    for (bool complex : {false, true})
        for (int m : {1, 2, 3, 4, 7, 10, 40, 65})
            for (int extra : {1, 2, 5})
                for (int from : {1, m - 1}) {
                    if (from < 1)
                        continue;
                    const int n = m + extra;
                    SCOPED_TRACE(std::to_string(m) + "x" + std::to_string(n) + " column " + std::to_string(m) +
                                 " repeats " + std::to_string(from) + (complex ? " complex" : ""));
                    // Column m (the last pivot's place) repeats an earlier
                    // one, and column n does where m other columns are left;
                    // the rest is random, so the rank is m.
                    Mm a = random_matrix(gen, m, n, complex);
                    auto copy_column = [&](int to, int source) {
                        for (int i = 0; i < m; ++i) {
                            a.addr()[i + (to - 1) * m] = a.addr()[i + (source - 1) * m];
                            if (complex)
                                a.addi()[i + (to - 1) * m] = a.addi()[i + (source - 1) * m];
                        }
                    };
                    if (m > 1)
                        copy_column(m, from);
                    if (extra > 1)
                        copy_column(n, 1);
                    const Mm b = a * random_matrix(gen, n, 2, complex);
                    test::clear_printed();
                    const Mm left = mldivide(a, b);
                    const Mm right = ctranspose(mrdivide(ctranspose(b), ctranspose(a)));
                    EXPECT_EQ(test::printed(), "");
                    EXPECT_LE(solve_residual(a, left, b), 30);
                    EXPECT_LE(solve_residual(a, right, b), 30);
                }
}

// A tall sparse A whose full form would exceed the full-matrix cap: the
// least-squares solve reads the stored entries only. Row i holds
// w_i = 1 + i mod 7 in column i mod n, so with b = ones each x_j is
// sum(w) / sum(w^2) over its rows.
TEST(Mldivide, TallSparseLeastSquaresStaysSparse)
{
    const int m = 40000, n = 2600;
    Mm i = zeros(double(m), 1.0), j = zeros(double(m), 1.0), v = zeros(double(m), 1.0);
    std::vector<double> sw(n, 0.0), sww(n, 0.0);
    for (int r = 0; r < m; ++r) {
        const double w = 1 + r % 7;
        i.addr()[r] = r + 1;
        j.addr()[r] = r % n + 1;
        v.addr()[r] = w;
        sw[r % n] += w;
        sww[r % n] += w * w;
    }
    const Mm a = sparse(i, j, v, Mm(double(m)), Mm(double(n)));
    Mm x;
    EXPECT_EQ(test::error_of([&] { x = mldivide(a, ones(double(m), 1.0)); }), "");
    ASSERT_EQ(x.rows(), n);
    for (int c = 0; c < n; ++c)
        ASSERT_NEAR(x.addr()[c], sw[c] / sww[c], 1e-10) << c;
}

// A tall sparse A of 100000 rows: its augmented system of order 101000 was
// built as a value and passed the element limit ("Out of memory!"). Built
// straight as compressed columns, it solves; the solution satisfies the
// normal equations A'(Ax - b) = 0, checked here by plain loops over the
// two entries of each row.
TEST(Mldivide, TallSparseLeastSquaresOfHundredThousandRows)
{
    const int m = 100000, n = 1000;
    const auto& [c1, c2, w1, w2, a] = test::tall_sparse(m, n);
    std::vector<double> rhs(m);
    Mm b = zeros(double(m), 1.0);
    for (int r = 0; r < m; ++r) {
        rhs[r] = std::sin(0.001 * r) + (r % 11) / 10.0;
        b.addr()[r] = rhs[r];
    }
    ASSERT_EQ(a.getnnz(), 2 * m);
    Mm x;
    EXPECT_EQ(test::error_of([&] { x = mldivide(a, b); }), "");
    ASSERT_EQ(test::extents(x), (std::vector<int>{n, 1}));
    // g = A'(Ax - b), against the sizes of its terms.
    std::vector<double> g(n, 0.0), size(n, 0.0);
    for (int r = 0; r < m; ++r) {
        const double ax = w1[r] * x.addr()[c1[r]] + w2[r] * x.addr()[c2[r]];
        const double term = std::fabs(w1[r] * x.addr()[c1[r]]) + std::fabs(w2[r] * x.addr()[c2[r]]) + std::fabs(rhs[r]);
        g[c1[r]] += w1[r] * (ax - rhs[r]);
        g[c2[r]] += w2[r] * (ax - rhs[r]);
        size[c1[r]] += std::fabs(w1[r]) * term;
        size[c2[r]] += std::fabs(w2[r]) * term;
    }
    double worst = 0;
    for (int c = 0; c < n; ++c)
        worst = std::max(worst, std::fabs(g[c]) / size[c]);
    EXPECT_LE(worst, 64 * eps52);
}

TEST(Mldivide, EveryPathIsBackwardStable)
{
    std::mt19937_64 gen(43);
    for (int n = 1; n <= 60; n += (n < 6 ? 1 : 9))
        for (const char* path : {"general", "symmetric", "complex", "sparse", "sparse complex"}) {
            SCOPED_TRACE(std::to_string(n) + " " + path);
            const std::string p = path;
            const bool complex = p.find("complex") != std::string::npos;
            Mm a = random_matrix(gen, n, n, complex);
            if (p == "symmetric")
                a = a + transpose(a);
            if (p.rfind("sparse", 0) == 0)
                a = sparse(a);
            const Mm b = random_matrix(gen, n, 4, complex);
            const Mm x = mldivide(a, b);
            EXPECT_LE(solve_residual(a, x, b), 30);
            if (p == "symmetric") {
                // The same answer as the general path (LAPACK's LU) to rounding.
                std::vector<double> w(a.addr(), a.addr() + n * n), y(b.addr(), b.addr() + 4 * n);
                std::vector<int> ipiv(n);
                lapack::getrf(n, n, w.data(), n, ipiv.data());
                lapack::getrs('N', n, 4, w.data(), n, ipiv.data(), y.data(), n);
                const cmat X = to_cmat(x);
                double diff = 0, size = 0;
                for (int k = 0; k < 4 * n; ++k) {
                    diff = std::max(diff, std::abs(X.v[k] - y[k]));
                    size = std::max(size, std::fabs(y[k]));
                }
                const double c = n == 1 ? 1.0 : cond(a).r();
                EXPECT_LE(diff, 100 * n * eps52 * c * size);
            }
        }
}

// The factors of 2^k A are A's with U times 2^k, rounded once: a matrix
// taken to the ends of the doubles is compared with its exact twin at
// scale 1, on both sides of the blocked orders, in every form of lu. The
// factors of a subnormal real matrix were NaN (the blocked code's
// reciprocal of a subnormal pivot is Inf), and the elimination of
// subnormal numbers rounded every update to their coarse spacing.
TEST(Lu, FactorsAtTheEndsOfTheDoubles)
{
    std::mt19937_64 gen(71);
    for (bool complex : {false, true})
        for (int n : {1, 2, 3, 13, 47, 48, 49, 101})
            for (int k : {-1062, -1040, -1030, -1000, 1000, 1020}) {
                SCOPED_TRACE(std::to_string(n) + (complex ? " complex, 2^" : " real, 2^") + std::to_string(k));
                const Mm far = times_power_of_two(random_matrix(gen, n, n, complex), k);
                const Mm near = times_power_of_two(far, -k);
                Mm Lf, Uf, Pf, Ln, Un, Pn, L2f, U2f;
                lu(far, i_o, Lf, Uf, Pf);
                lu(near, i_o, Ln, Un, Pn);
                lu(far, i_o, L2f, U2f);
                const Mm ff = lu(far), fn = lu(near);
                EXPECT_EQ(test::values(Pf), test::values(Pn));
                for (int part = 0; part < (complex ? 2 : 1); ++part) {
                    auto of = [&](const Mm& x) { return part == 0 ? test::values(x) : test::values(imag(x)); };
                    EXPECT_EQ(of(Lf), of(Ln));
                    EXPECT_EQ(of(Uf), of(times_power_of_two(Un, k)));
                    EXPECT_EQ(of(U2f), of(Uf));
                    EXPECT_EQ(of(L2f), of(mtimes(transpose(Pf), Lf)));
                    // The one-output form: U on and above the diagonal,
                    // the multipliers below.
                    const std::vector<double> vf = of(ff), vn = of(fn);
                    for (int j = 0; j < n; ++j)
                        for (int i = 0; i < n; ++i) {
                            const std::size_t e = i + std::size_t(j) * n;
                            EXPECT_EQ(vf[e], i <= j ? std::ldexp(vn[e], k) : vn[e]) << i << ", " << j;
                        }
                }
            }
}

// Two rows of subnormal numbers among ordinary ones: the last two pivots
// are subnormal, the blocked code's reciprocal of the first is Inf and
// the factors turned NaN. The column kernel takes over; its multipliers
// stay where they were when a later step exchanges rows, where DGETRF's
// move with them. Each factor has its form and P A = L U to rounding,
// elementwise against |L| |U| (the subnormal rows' products round to
// their spacing, 2^-1074).
TEST(Lu, SubnormalPivotAmongOrdinaryNumbers)
{
    std::mt19937_64 gen(73);
    for (bool complex : {false, true})
        for (int n : {3, 13, 47, 48, 49, 101})
            for (int row : {0, n / 2, n - 1}) {
                SCOPED_TRACE(std::to_string(n) + (complex ? " complex, rows from " : " real, rows from ") +
                             std::to_string(row));
                Mm a = random_matrix(gen, n, n, complex);
                for (int i : {row, (row + 1) % n})
                    for (int j = 0; j < n; ++j) {
                        a.addr()[i + std::size_t(j) * n] = std::ldexp(a.addr()[i + std::size_t(j) * n], -1060);
                        if (complex)
                            a.addi()[i + std::size_t(j) * n] = std::ldexp(a.addi()[i + std::size_t(j) * n], -1060);
                    }
                Mm L, U, P, L2, U2;
                lu(a, i_o, L, U, P);
                lu(a, i_o, L2, U2);
                const cmat A = to_cmat(a), l = to_cmat(L), u = to_cmat(U), p = to_cmat(P);
                ASSERT_TRUE(unit_lower(l));
                const cmat pa = product(p, A), lu_ = product(l, u);
                double worst = 0;
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i) {
                        EXPECT_TRUE(i <= j || u(i, j) == cx(0)) << i << ", " << j;
                        // Complex pivots are chosen by |re| + |im|.
                        EXPECT_LE(std::abs(l(i, j)), complex ? std::sqrt(2.0) : 1.0) << i << ", " << j;
                        double bound = 0;
                        for (int q = 0; q < n; ++q)
                            bound += std::abs(l(i, q)) * std::abs(u(q, j));
                        worst = std::max(worst, std::abs(pa(i, j) - lu_(i, j)) / (n * eps52 * bound + n * 0x1p-1074));
                    }
                EXPECT_LE(worst, 30);
                EXPECT_EQ(to_cmat(U2).v, u.v);
                EXPECT_EQ(to_cmat(L2).v, product(p, l, true).v);
            }
}

// No solution of a system whose matrix holds NaN or Inf is known, on any
// path: square general, symmetric and complex, tall and wide. Inf gave
// finite solutions on the square paths, and a NaN in a wide matrix left
// its column out of the pivoted QR's choice and the others finite.
TEST(Mldivide, InfOrNaNInTheMatrixGivesNaNOnEveryPath)
{
    for (bool complex : {false, true})
        for (int rows : {2, 3, 50})
            for (int cols : {rows, rows + 1, 2 * rows, rows / 2})
                for (double bad : {NAN, INFINITY, -INFINITY})
                    for (bool symmetric : {false, true}) {
                        if (symmetric && rows != cols)
                            continue;
                        SCOPED_TRACE(std::to_string(rows) + "x" + std::to_string(cols) + (complex ? " complex " : " real ") +
                                     std::to_string(bad) + (symmetric ? " symmetric" : ""));
                        Mm a = hash_matrix(rows, cols, complex, rows + cols);
                        if (symmetric)
                            a = a + ctranspose(a);
                        const int i = rows / 2, j = cols - 1;
                        a.addr()[i + std::size_t(j) * rows] = bad;
                        if (symmetric)
                            a.addr()[j + std::size_t(i) * rows] = bad;
                        const Mm x = mldivide(a, ones(double(rows), 2.0));
                        ASSERT_EQ(x.rows(), cols);
                        ASSERT_EQ(x.cols(), 2);
                        for (const cx& z : to_cmat(x).v)
                            EXPECT_TRUE(std::isnan(z.real()) && (!complex || std::isnan(z.imag())));
                        const Mm y = mrdivide(ones(2.0, double(rows)), transpose(a));
                        ASSERT_EQ(y.cols(), cols);
                        for (const cx& z : to_cmat(y).v)
                            EXPECT_TRUE(std::isnan(z.real()));
                    }
}


// A = D·S·D with D = diag(2^d) spread over the doubles (graded from 2^-498
// to 2^498 either way, or one entry far from the rest) and S an ordinary
// symmetric, positive definite or Hermitian matrix: A\b and b/A, dense and
// sparse, judged in the scaled variables z = D·x, where the system is S's
// own. Its backward error there, |D⁻¹b - S z| / (|S| |z| n eps), is what a
// solve of S gives. The sparse solve pivoted among the unscaled entries and
// kept only a few digits of the small unknowns (backward errors of 1e4 and
// more), or came back Inf where a subnormal pivot was met; a symmetric
// matrix scaled by rows and columns apart left its symmetric factorisation.
TEST(Mldivide, SymmetricMatricesGradedAcrossTheDoubles)
{
    struct Grading {
        const char* what;
        int (*d)(int i, int n);
    };
    const std::vector<Grading> gradings = {
        {"graded 2^-498 .. 2^498", [](int i, int n) { return n == 1 ? 0 : -498 + 996 * i / (n - 1); }},
        {"graded 2^498 .. 2^-498", [](int i, int n) { return n == 1 ? 0 : 498 - 996 * i / (n - 1); }},
        {"graded out of order", [](int i, int n) { return n == 1 ? 0 : -498 + 996 * (i * 7 % n) / (n - 1); }},
        {"one entry 2^498", [](int i, int n) { return i == n / 2 ? 498 : 0; }},
        {"one entry 2^-520 (a subnormal corner)", [](int i, int n) { return i == n / 2 ? -520 : 0; }},
        {"not far: 2^-200 .. 2^200", [](int i, int n) { return n == 1 ? 0 : -200 + 400 * i / (n - 1); }},
    };
    const std::vector<std::string> kinds = {"symmetric", "positive definite", "zero diagonal", "hermitian",
                                            "hermitian positive definite"};
    for (const Grading& g : gradings)
        for (const std::string& kind : kinds)
            for (int n : {2, 3, 10, 40, 64, 65, 129, 200})
                for (bool sparse_form : {false, true}) {
                    SCOPED_TRACE(std::string(g.what) + " " + kind + " " + std::to_string(n) + (sparse_form ? " sparse" : ""));
                    const bool complex = kind.rfind("hermitian", 0) == 0;
                    cmat S{n, n, std::vector<cx>(std::size_t(n) * n)};
                    for (int j = 0; j < n; ++j)
                        for (int i = 0; i < n; ++i)
                            S(i, j) = cx(hash_element(n, i, j, 0), complex ? hash_element(n, i, j, 1) : 0.0);
                    if (kind.find("definite") != std::string::npos) {
                        S = product(S, S, true);
                        for (int i = 0; i < n; ++i)
                            S(i, i) += 1;
                    }
                    for (int j = 0; j < n; ++j) {
                        S(j, j) = kind == "zero diagonal" ? 0.0 : S(j, j).real();
                        for (int i = j + 1; i < n; ++i)
                            S(i, j) = std::conj(S(j, i));
                    }
                    std::vector<int> d(n);
                    for (int i = 0; i < n; ++i)
                        d[i] = g.d(i, n);
                    auto scaled = [](cx z, int e) { return cx(std::ldexp(z.real(), e), std::ldexp(z.imag(), e)); };
                    const Mm a = matrix_of(n, n, complex, [&](int i, int j) { return scaled(S(i, j), d[i] + d[j]); });
                    // S as A holds it (a subnormal corner keeps fewer bits),
                    // brought back exactly.
                    const cmat A = to_cmat(a);
                    cmat s = A;
                    for (int j = 0; j < n; ++j)
                        for (int i = 0; i < n; ++i)
                            s(i, j) = scaled(A(i, j), -d[i] - d[j]);
                    // b's first column D·h (an ordinary z), its second h.
                    const Mm b = matrix_of(n, 2, false, [&](int i, int j) {
                        return scaled(hash_element(n + 1, i, j, 0), j == 0 ? d[i] : 0);
                    });
                    const Mm m = sparse_form ? sparse(a) : a;
                    // b/A is x A = b, that is Aᵀ xᵀ = bᵀ, with Aᵀ = D Sᵀ D.
                    const cmat X = to_cmat(mldivide(m, b)), Y = to_cmat(mrdivide(transpose(b), m));
                    cmat st = s;
                    for (int j = 0; j < n; ++j)
                        for (int i = 0; i < n; ++i)
                            st(i, j) = s(j, i);
                    for (int form = 0; form < 2; ++form)
                        for (int col = 0; col < 2; ++col) {
                            SCOPED_TRACE(std::string(form == 0 ? "A\\b" : "b/A") + " column " + std::to_string(col));
                            cmat z{n, 1, std::vector<cx>(n)}, c{n, 1, std::vector<cx>(n)};
                            bool finite = true;
                            for (int i = 0; i < n; ++i) {
                                z(i, 0) = scaled(form == 0 ? X(i, col) : Y(col, i), d[i]);
                                c(i, 0) = scaled(cx(b.addr()[i + std::size_t(col) * n]), -d[i]);
                                finite = finite && std::isfinite(std::abs(z(i, 0)));
                            }
                            // With one entry of 2^-520 the second column's
                            // unknown there is about 2^1040: Inf is its answer.
                            if (!finite && g.d(n / 2, n) == -520 && col == 1)
                                continue;
                            ASSERT_TRUE(finite);
                            const cmat sz = product(form == 0 ? s : st, z);
                            cmat r = c;
                            for (int i = 0; i < n; ++i)
                                r(i, 0) -= sz(i, 0);
                            // A matrix within 2^±450 is solved as it stands,
                            // its own rounding kept: pivoting among entries
                            // 2^400 apart is backward stable in A's units, a
                            // few hundred n eps at most in S's.
                            const bool unscaled = g.d(0, n) == -200;
                            EXPECT_LE(max_abs(r) / (max_abs(s) * max_abs(z) * n * eps52), unscaled ? 1000 : 30);
                        }
                }
}

// Least squares with columns far apart: A = S·D, D = diag(2^d) spread over
// the doubles (graded either way or out of order, one column 2^498 or
// 2^-520 among ordinary ones), S an ordinary full-rank tall or wide
// matrix, real and complex, dense and sparse; b at 1, 2^996 and 2^-996.
// The rank was read from R's pivots against the largest column's, so
// [ones(3,1), 2^-600*[1;2;3]]\[1;2;3] said "rank = 1" and dropped the
// small column's unknown (a residual of the size of b); the sparse tall
// solve came back wrong or Inf. The problem is well posed in z = D·x:
// tall, the normal equations hold in S's units, |Sᴴ(c - S z)| / (|S|
// (|S| |z| + |c|) m eps); wide, the residual |c - S z| / (|S| |z| n eps).
// b/A is checked on the transposes.
TEST(Mldivide, LeastSquaresWithColumnsFarApart)
{
    struct Grading {
        const char* what;
        int (*d)(int i, int n);
    };
    const std::vector<Grading> gradings = {
        {"graded 2^-498 .. 2^498", [](int i, int n) { return n == 1 ? -498 : -498 + 996 * i / (n - 1); }},
        {"graded 2^498 .. 2^-498", [](int i, int n) { return n == 1 ? 498 : 498 - 996 * i / (n - 1); }},
        {"graded out of order", [](int i, int n) { return n == 1 ? 0 : -498 + 996 * (i * 7 % n) / (n - 1); }},
        {"one column 2^498", [](int i, int n) { return i == n / 2 ? 498 : 0; }},
        {"one column 2^-520 (subnormal)", [](int i, int n) { return i == n / 2 ? -520 : 0; }},
        {"ordinary columns", [](int, int) { return 0; }},
    };
    auto scaled = [](cx z, int e) { return cx(std::ldexp(z.real(), e), std::ldexp(z.imag(), e)); };
    for (const Grading& g : gradings)
        for (bool complex : {false, true})
            for (int n : {1, 2, 3, 10, 40, 65})
                for (int extra : {1, 5, 60})
                    for (bool wide : {false, true})
                        for (bool sparse_form : {false, true})
                            for (int bscale : {0, 996, -996}) {
                                const int m = wide ? n - extra : n + extra;
                                // b far from 1 is taken with ordinary columns:
                                // with graded ones its unknowns pass the doubles.
                                if (m < 1 || (bscale != 0 && std::string(g.what) != "ordinary columns"))
                                    continue;
                                SCOPED_TRACE(std::string(g.what) + " " + std::to_string(m) + "x" + std::to_string(n) +
                                             (complex ? " complex" : "") + (sparse_form ? " sparse" : "") + " b 2^" +
                                             std::to_string(bscale));
                                cmat S{m, n, std::vector<cx>(std::size_t(m) * n)};
                                for (int j = 0; j < n; ++j)
                                    for (int i = 0; i < m; ++i) {
                                        const bool dropped = sparse_form && i != j && (i * 3 + j * 5) % 4 != 0;
                                        S(i, j) = dropped ? cx(0)
                                                          : cx(hash_element(m + n, i, j, 0),
                                                               complex ? hash_element(m + n, i, j, 1) : 0.0) +
                                                                (i == j ? 2.0 : 0.0);
                                    }
                                std::vector<int> d(n);
                                for (int j = 0; j < n; ++j)
                                    d[j] = g.d(j, n);
                                const Mm a = matrix_of(m, n, complex, [&](int i, int j) { return scaled(S(i, j), d[j]); });
                                // S as A holds it (a subnormal column keeps fewer bits).
                                cmat s = to_cmat(a);
                                for (int j = 0; j < n; ++j)
                                    for (int i = 0; i < m; ++i)
                                        s(i, j) = scaled(s(i, j), -d[j]);
                                const Mm b = matrix_of(m, 1, complex, [&](int i, int) {
                                    return scaled(cx(hash_element(7, i, 0, 0), complex ? hash_element(7, i, 0, 1) : 0.0),
                                                  bscale);
                                });
                                const Mm am = sparse_form ? sparse(a) : a;
                                for (bool right : {false, true}) {
                                    SCOPED_TRACE(right ? "b/A" : "A\\b");
                                    test::clear_printed();
                                    const Mm x = right ? transpose(mrdivide(transpose(b), transpose(am))) : mldivide(am, b);
                                    EXPECT_EQ(test::printed(), "");
                                    const cmat X = to_cmat(x);
                                    cmat z{n, 1, std::vector<cx>(n)}, c{m, 1, std::vector<cx>(m)};
                                    for (int j = 0; j < n; ++j) {
                                        z(j, 0) = scaled(X(j, 0), d[j] - bscale);
                                        ASSERT_TRUE(std::isfinite(std::abs(z(j, 0)))) << j;
                                    }
                                    for (int i = 0; i < m; ++i)
                                        c(i, 0) = scaled(cx(b.addr()[i], complex ? b.addi()[i] : 0.0), -bscale);
                                    cmat r = product(s, z);
                                    for (int i = 0; i < m; ++i)
                                        r(i, 0) = c(i, 0) - r(i, 0);
                                    if (wide)
                                        EXPECT_LE(max_abs(r) / (max_abs(s) * max_abs(z) * n * eps52), 30);
                                    else
                                        EXPECT_LE(max_abs(product(s, r, true)) /
                                                      (max_abs(s) * (max_abs(s) * max_abs(z) + max_abs(c)) * m * eps52),
                                                  30);
                                }
                            }
}

} // namespace
