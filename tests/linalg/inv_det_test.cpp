// inv, det and rcond: hand-checked values and messages, the sparse paths,
// and agreement with LAPACK on random matrices.
#include "linalg/lapack.hpp"
#include "linalg_support.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace linalg_test;

TEST(Det, Cases)
{
    struct Case {
        const char* what;
        Mm got;
        double re, im;
    };
    const std::vector<Case> cases = {
        {"integers, rounded", det(test::real(2, 2, {1, 3, 2, 4})), -2, 0},
        {"one interchange", det(test::real(2, 2, {0, 1, 1, 0})), -1, 0},
        {"empty", det(Mm()), 1, 0},
        {"empty 0x3, before the square check", det(zeros(0.0, 3.0)), 1, 0},
        {"complex through the base-16 record", det(test::complex(2, 2, {0, 0, 0, 1}, {32, 0, 0, 0})), 0, 32},
        {"not rounded", det(0.5 * eye(2.0)), 0.25, 0},
        {"sparse interchange", det(sparse(test::real(2, 2, {0, 1, 1, 0}))), -1, 0},
        {"sparse", det(sparse(test::real(3, 3, {2, 0, 1, 0, 3, 0, 1, 0, 2}))), 9, 0},
        {"singular", det(test::real(2, 2, {1, 2, 2, 4})), 0, 0},
        {"uint8", det(test::bytes(2, 2, {1, 3, 2, 4})), -2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got.r(), c.re);
        EXPECT_EQ(c.got.isc() ? c.got.i() : 0.0, c.im);
    }
    EXPECT_ERROR(det(zeros(2.0, 3.0)), "det: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");

    // Random matrices: the product of DGETRF's diagonal with the sign of its
    // interchanges, to rounding (DGETRF on a copy elsewhere in memory may
    // round differently).
    std::mt19937_64 gen(51);
    for (int n : {1, 2, 7, 30}) {
        SCOPED_TRACE(n);
        const Mm a = random_matrix(gen, n, n, false);
        std::vector<double> w(a.addr(), a.addr() + n * n);
        std::vector<int> ipiv(n);
        lapack::getrf(n, n, w.data(), n, ipiv.data());
        double d = 1;
        for (int k = 0; k < n; ++k)
            d *= (ipiv[k] != k + 1 ? -1 : 1) * w[k + k * n];
        EXPECT_NEAR(det(a).r(), d, 4 * n * eps52 * std::fabs(d));
        EXPECT_NEAR(det(sparse(a)).r(), d, 1e-12 * std::fabs(d) * n);
        // The complex path on the same real data: the same determinant.
        Mm c = a;
        c.getcomplex();
        const Mm dc = det(c);
        EXPECT_NEAR(dc.r(), d, 1e-12 * std::fabs(d) * n);
        EXPECT_EQ(dc.isc() ? dc.i() : 0.0, 0);
    }
}

// The sparse determinant comes from the LU's pivots, so an order far above
// what a full copy allows works: tridiag(-1, 2, -1) of order n has
// determinant n + 1, a permuted one the sign of its permutation.
TEST(Det, LargeSparseFromTheFactorPivots)
{
    const int n = 20000;
    Mm i = zeros(3.0 * n - 2, 1.0), j = zeros(3.0 * n - 2, 1.0), v = zeros(3.0 * n - 2, 1.0);
    int k = 0;
    for (int c = 1; c <= n; ++c)
        for (int r = std::max(1, c - 1); r <= std::min(n, c + 1); ++r) {
            i.addr()[k] = r;
            j.addr()[k] = c;
            v.addr()[k++] = r == c ? 2 : -1;
        }
    const Mm t = sparse(i, j, v, Mm(double(n)), Mm(double(n)));
    Mm d;
    EXPECT_EQ(test::error_of([&] { d = det(t); }), "");
    EXPECT_EQ(d.r(), n + 1);
    // Rows 1 and 2 exchanged: the sign turns.
    Mm swapped_rows = zeros(double(n), 1.0);
    for (int r = 0; r < n; ++r)
        swapped_rows.addr()[r] = r + 1;
    std::swap(swapped_rows.addr()[0], swapped_rows.addr()[1]);
    EXPECT_EQ(det(Mm(t(swapped_rows, c_p))).r(), -(n + 1));
    // A structurally singular one of the same order.
    EXPECT_EQ(det(horzcat(Mm(t(c_p, colon(1.0, double(n - 1)))), sparse(Mm(double(n)), Mm(1.0)))).r(), 0);
}

// Determinants whose pivots' running product leaves the doubles although
// the determinant does not: the product is kept as a mantissa and a power
// of two. Reference values from tools/reference/large_determinants.py.
TEST(Det, PartialProductsBeyondTheDoubles)
{
    // The 2-D Poisson matrix of a 150x150 grid, 22,500 unknowns.
    const int m = 150, n = m * m;
    std::vector<double> i, j, v;
    auto put = [&](int r, int c, double x) {
        i.push_back(r + 1);
        j.push_back(c + 1);
        v.push_back(x);
    };
    for (int y = 0; y < m; ++y)
        for (int x = 0; x < m; ++x) {
            const int k = x + y * m;
            put(k, k, 4);
            if (x > 0)
                put(k, k - 1, -1);
            if (x < m - 1)
                put(k, k + 1, -1);
            if (y > 0)
                put(k, k - m, -1);
            if (y < m - 1)
                put(k, k + m, -1);
        }
    auto column = [](const std::vector<double>& x) {
        Mm c = zeros(double(x.size()), 1.0);
        std::copy(x.begin(), x.end(), c.addr());
        return c;
    };
    const Mm P = sparse(column(i), column(j), column(v), Mm(double(n)), Mm(double(n)));
    const double c = 0.3103884609439081;
    const double want = 0.9999999999976175;  // exp(26323.43998855913 + n log c), scipy splu
    const Mm d = det(c * P);
    EXPECT_FALSE(d.issparse());
    EXPECT_NEAR(d.r(), want, 1e-10);
    // det(P) itself is e^26323: beyond the doubles.
    EXPECT_EQ(det(P).r(), INFINITY);
    EXPECT_EQ(det((c / 2) * P).r(), 0.0);

    // diag of 150 times 1e3 and 150 times 1e-3, dense and sparse: the
    // plain running product overflowed to Inf at the 103rd pivot.
    Mm g = zeros(300.0, 300.0);
    for (int k = 0; k < 300; ++k)
        g.addr()[k + k * 300] = k < 150 ? 1e3 : 1e-3;
    const double exact = 1.000000000000003;  // mpmath, the product of the doubles
    EXPECT_NEAR(det(g).r(), exact, 300 * eps52);
    EXPECT_NEAR(det(sparse(g)).r(), exact, 300 * eps52);
    EXPECT_NEAR(det(-g).r(), exact, 300 * eps52) << "an even order keeps the sign";
}

// det(2^r · S · 2^c) = det(S) · 2^(Σr + Σc) for row and column exponents
// spread over the doubles: symmetric D·S·D graded either way or out of
// order, rows graded, one row far from the rest, real and complex, past
// the blocked orders. Taken in units of its largest element, a symmetric
// matrix graded from 2^-996 to 2^996 lost its small entries below the
// doubles and its determinant came out 0, or wrong in every digit. The
// reference is det(S) of the ordinary S, agreeing to what S's condition
// allows.
TEST(Det, RowsAndColumnsFarApart)
{
    struct Kind {
        const char* what;
        std::function<int(int, int)> row, col;  // exponents by (index, order)
    };
    auto graded = [](int i, int n) { return n == 1 ? 0 : -498 + 996 * i / (n - 1); };
    const std::vector<Kind> kinds = {
        {"symmetric, graded up", graded, graded},
        {"symmetric, graded down", [=](int i, int n) { return graded(n - 1 - i, n); },
         [=](int j, int n) { return graded(n - 1 - j, n); }},
        {"symmetric, out of order", [=](int i, int n) { return graded(i * 7 % n, n); },
         [=](int j, int n) { return graded(j * 7 % n, n); }},
        {"rows graded 2^-996 .. 2^996", [=](int i, int n) { return 2 * graded(i, n); }, [](int, int) { return 0; }},
        {"one row of 2^-996", [](int i, int n) { return i == n / 2 ? -996 : 0; }, [](int, int) { return 0; }},
        {"one row of 2^300, one column of 2^200", [](int i, int n) { return i == n / 2 ? 300 : 0; },
         [](int j, int n) { return j == n / 2 ? 200 : 0; }},
    };
    for (const Kind& kind : kinds)
        for (bool complex : {false, true})
            for (int n : {1, 2, 3, 10, 40, 64, 65, 129, 200}) {
                SCOPED_TRACE(std::string(kind.what) + (complex ? " complex " : " real ") + std::to_string(n));
                const Mm s = hash_matrix(n, n, complex, n);
                long long sum = 0;
                std::vector<int> r(n), c(n);
                for (int k = 0; k < n; ++k) {
                    r[k] = kind.row(k, n);
                    c[k] = kind.col(k, n);
                    sum += r[k] + c[k];
                }
                const Mm a = matrix_of(n, n, complex, [&](int i, int j) {
                    const cx z(s.addr()[i + std::size_t(j) * n], complex ? s.addi()[i + std::size_t(j) * n] : 0.0);
                    return cx(std::ldexp(z.real(), r[i] + c[j]), std::ldexp(z.imag(), r[i] + c[j]));
                });
                const Mm ds = det(s), da = det(a);
                const cx want(ds.addr()[0], ds.isc() ? ds.addi()[0] : 0.0);
                cx got(da.addr()[0], da.isc() ? da.addi()[0] : 0.0);
                ASSERT_TRUE(std::isfinite(got.real()) && std::isfinite(got.imag()));
                ASSERT_NE(got, cx(0));
                got = cx(std::ldexp(got.real(), int(-sum)), std::ldexp(got.imag(), int(-sum)));
                const double kappa = n == 1 ? 1.0 : cond(s).addr()[0];
                EXPECT_LE(std::abs(got - want), 64 * n * eps52 * kappa * std::abs(want));
            }
}

TEST(Inv, Cases)
{
    EXPECT_EQ(inv(Mm(4.0)).r(), 0.25);
    const Mm z = inv(test::complex(1, 1, {0}, {2}));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(z.r(), 0);
    EXPECT_EQ(z.i(), -0.5);
    EXPECT_TRUE(isempty(inv(Mm())));
    EXPECT_ERROR(inv(zeros(2.0, 3.0)), "inv: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    const Mm s = inv(sparse(test::real(2, 2, {2, 0, 0, 4})));
    EXPECT_TRUE(s.issparse());
    EXPECT_EQ(test::values(s), (std::vector<double>{0.5, 0, 0, 0.25}));
    test::clear_printed();
    bool nonfinite = false;
    for (double v : test::values(inv(test::real(2, 2, {1, 2, 2, 4}))))
        nonfinite = nonfinite || !std::isfinite(v);
    EXPECT_TRUE(nonfinite);
    EXPECT_EQ(test::printed(), "");

    std::mt19937_64 gen(52);
    for (bool complex : {false, true})
        for (int n : {2, 5, 20, 60}) {
            SCOPED_TRACE(std::to_string(n) + (complex ? " complex" : ""));
            const Mm a = random_matrix(gen, n, n, complex);
            const cmat A = to_cmat(a), X = to_cmat(inv(a));
            EXPECT_LE(max_abs_diff(product(A, X), identity(n)) / (max_abs(A) * max_abs(X) * n * eps52), 30);
        }
}

// Complex matrices past the blocked order: the inverse by blocked factors
// and its residual |A X - I| / (|A| |X| n eps) within LAPACK's 30 for
// random, Hermitian positive definite, graded and nearly singular matrices;
// an exactly singular one still shows its zero pivot as Inf or NaN without
// a message; det agrees with the product of known triangular factors.
// A random complex matrix of order n of a kind: r random, h Hermitian
// positive definite, g graded over 8 decades, s nearly singular (column 4
// twice column 1 plus `near` times itself), z singular (that, exactly, and
// a zero column 5).
Mm complex_of_kind(std::mt19937_64& gen, int n, char kind, double near)
{
    Mm a = random_matrix(gen, n, n, true);
    if (kind == 'h')
        a = ctranspose(a) * a + Mm(double(n)) * eye(double(n));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const std::size_t k = i + std::size_t(j) * n;
            if (kind == 'g') {
                const double g = std::pow(10.0, -8.0 * (i + j) / n);
                a.addr()[k] *= g;
                a.addi()[k] *= g;
            }
            if ((kind == 's' || kind == 'z') && j == 3) {
                const double t = kind == 's' ? near : 0.0;
                a.addr()[k] = 2 * a.addr()[i] + t * a.addr()[k];
                a.addi()[k] = 2 * a.addi()[i] + t * a.addi()[k];
            }
            if (kind == 'z' && j == 4)
                a.addr()[k] = a.addi()[k] = 0;
        }
    return a;
}

TEST(Inv, ComplexPastTheBlockedOrder)
{
    struct Case {
        const char* what;
        int n;
        char kind;  // r random, h Hermitian positive definite, g graded, s nearly singular, z singular
    };
    const std::vector<Case> cases = {
        {"random", 150, 'r'}, {"random", 301, 'r'}, {"Hermitian positive definite", 200, 'h'},
        {"graded", 160, 'g'}, {"nearly singular", 180, 's'}, {"singular", 170, 'z'},
    };
    std::mt19937_64 gen(53);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + std::to_string(c.n));
        const int n = c.n;
        const Mm a = complex_of_kind(gen, n, c.kind, 1e-10);
        test::clear_printed();
        const Mm x = inv(a);
        EXPECT_EQ(test::printed(), "");
        ASSERT_TRUE(x.isc());
        EXPECT_EQ(test::extents(x), test::extents(a));
        if (c.kind == 'z') {
            bool nonfinite = false;
            for (double v : test::values(real(x)))
                nonfinite = nonfinite || !std::isfinite(v);
            EXPECT_TRUE(nonfinite);
            continue;
        }
        const cmat A = to_cmat(a), X = to_cmat(x);
        EXPECT_LE(max_abs_diff(product(A, X), identity(n)) / (max_abs(A) * max_abs(X) * n * eps52), 30);
    }

    // det(L*U) with L unit lower triangular and U upper, both well
    // conditioned: the product of U's diagonal, here (1.01 + 0.02i)^n.
    const int n = 200;
    Mm l = random_matrix(gen, n, n, true), u = random_matrix(gen, n, n, true);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const std::size_t k = i + std::size_t(j) * n;
            l.addr()[k] = i < j ? 0.0 : i == j ? 1.0 : l.addr()[k] / n;
            l.addi()[k] = i <= j ? 0.0 : l.addi()[k] / n;
            u.addr()[k] = i > j ? 0.0 : i == j ? 1.01 : u.addr()[k] / n;
            u.addi()[k] = i > j ? 0.0 : i == j ? 0.02 : u.addi()[k] / n;
        }
    const Mm d = det(l * u);
    const cx want = std::pow(cx(1.01, 0.02), n);
    EXPECT_LE(std::abs(cx(d.r(), d.i()) - want), 1e-9 * std::abs(want));
}

// An Inf is no large number to eliminate with: inv([2 -1 0;-1 2 Inf;0 -1 2])
// was the finite [2/3 1/3 0;1/3 2/3 0;0 0 0]. A NaN or Inf in a matrix
// gives an inverse of NaN (numpy's inv); a scalar keeps its reciprocal.
TEST(Inv, NonFiniteMatrixGivesNaN)
{
    struct Case {
        const char* what;
        Mm a;
    };
    const std::vector<Case> cases = {
        {"[2 -1 0;-1 2 Inf;0 -1 2]", test::real(3, 3, {2, -1, 0, -1, 2, -1, 0, INFINITY, 2})},
        {"[1 NaN;0 1]", test::real(2, 2, {1, 0, NAN, 1})},
        {"[Inf 0;0 1]", test::real(2, 2, {INFINITY, 0, 0, 1})},
        {"complex -Inf", test::complex(2, 2, {1, 0, 0, 1}, {0, -INFINITY, 0, 0})},
        {"sparse with Inf", sparse(test::real(2, 2, {2, 0, INFINITY, 3}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm x = inv(c.a);
        EXPECT_EQ(test::extents(x), test::extents(c.a));
        EXPECT_EQ(x.issparse(), c.a.issparse());
        for (double v : test::values(real(x)))
            EXPECT_TRUE(std::isnan(v));
    }
    EXPECT_EQ(inv(Mm(INFINITY)).r(), 0.0);
    EXPECT_TRUE(std::isnan(inv(Mm(NAN)).r()));
}

TEST(Rcond, Cases)
{
    EXPECT_EQ(rcond(eye(3.0)).r(), 1);
    EXPECT_TRUE(isempty(rcond(Mm())));
    EXPECT_EQ(rcond(zeros(3.0, 3.0)).r(), 0);
    EXPECT_ERROR(rcond(zeros(2.0, 3.0)), "rcond: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    // diag(1, 1e-10): 1e-10 to the estimator's rounding.
    EXPECT_NEAR(rcond(test::real(2, 2, {1, 0, 0, 1e-10})).r(), 1e-10, 1e-18);
    EXPECT_NEAR(rcond(sparse(test::real(2, 2, {1, 0, 0, 1e-10}))).r(), 1e-10, 1e-18);
    EXPECT_NEAR(rcond(test::complex(2, 2, {1, 0, 0, 0}, {0, 0, 0, 1e-10})).r(), 1e-10, 1e-18);
}

// The largest column sum of |re| + |im|: the norm the complex estimator
// measures in (the one its vectors' 1-norm induces).
double column_norm(const Mm& a)
{
    double most = 0;
    for (int j = 0; j < a.cols(); ++j) {
        double s = 0;
        for (int i = 0; i < a.rows(); ++i) {
            const std::size_t k = i + std::size_t(j) * a.rows();
            s += std::fabs(a.addr()[k]) + (a.isc() ? std::fabs(a.addi()[k]) : 0.0);
        }
        most = std::max(most, s);
    }
    return most;
}

// Complex matrices on both sides of the order where the factors come from
// the blocked LU: the estimate is never above the true reciprocal
// condition by more than rounding and stays within a factor ten of it; a
// singular matrix (an exactly zero pivot) gives 0.
TEST(Rcond, ComplexOnBothSidesOfTheBlockedOrder)
{
    struct Case {
        const char* what;
        int n;
        char kind;  // r random, g graded, s nearly singular, z singular
    };
    const std::vector<Case> cases = {
        {"random", 20, 'r'},  {"random", 47, 'r'},  {"random", 48, 'r'},          {"random", 120, 'r'},
        {"random", 300, 'r'}, {"graded", 40, 'g'},  {"graded", 150, 'g'},         {"nearly singular", 30, 's'},
        {"nearly singular", 160, 's'}, {"singular", 30, 'z'}, {"singular", 140, 'z'},
    };
    std::mt19937_64 gen(61);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " " + std::to_string(c.n));
        const int n = c.n;
        const Mm a = complex_of_kind(gen, n, c.kind, 1e-9);
        const double rc = rcond(a).r();
        if (c.kind == 'z') {
            EXPECT_EQ(rc, 0.0);
            continue;
        }
        const double truth = 1 / (column_norm(a) * column_norm(inv(a)));
        EXPECT_GE(rc, truth * (1 - 1e-6));
        EXPECT_LE(rc, 10 * truth);
    }
}

// A matrix taken to the ends of the doubles by a power of two (subnormal
// entries, entries whose column sums or factors pass the largest double)
// keeps its estimate and its determinant times the power: compared with
// the same matrix brought back to ordinary numbers exactly, on both sides
// of the blocked order. They came out NaN for subnormal matrices and 0 (the
// estimate) or NaN (the complex determinant) where the norm or the factors
// overflowed.
TEST(Rcond, MatricesAtTheEndsOfTheDoubles)
{
    std::mt19937_64 gen(67);
    for (bool complex : {false, true})
        for (int n : {1, 2, 3, 47, 48, 49, 120, 300})
            for (int k : {-1062, -1040, -1000, 1000, 1020}) {
                SCOPED_TRACE(std::to_string(n) + (complex ? " complex, 2^" : " real, 2^") + std::to_string(k));
                const Mm a = random_matrix(gen, n, n, complex);
                // The matrix at the scale, and its exact twin at scale 1
                // (a subnormal element keeps fewer bits; the twin has them).
                Mm far(complex, 0, 0, n, n, qv_double), near(complex, 0, 0, n, n, qv_double);
                for (std::size_t e = 0; e < std::size_t(n) * n; ++e) {
                    far.addr()[e] = std::ldexp(a.addr()[e], k);
                    near.addr()[e] = std::ldexp(far.addr()[e], -k);
                    if (complex) {
                        far.addi()[e] = std::ldexp(a.addi()[e], k);
                        near.addi()[e] = std::ldexp(far.addi()[e], -k);
                    }
                }
                EXPECT_EQ(rcond(far).r(), rcond(near).r());
                // det(far) = det(near) 2^(k n), rounded once into the
                // doubles (0 or Inf beyond them).
                const Mm dn = det(near), df = det(far);
                for (int part = 0; part < (complex ? 2 : 1); ++part) {
                    const double d = part == 0 ? dn.r() : dn.i();
                    if (std::isinf(d))
                        continue;  // no reference: the twin's own overflows
                    int e = 0;
                    const double m = std::frexp(d, &e);
                    const double expected = std::ldexp(m, int(std::clamp<long>(e + long(k) * n, -5000, 5000)));
                    const double got = part == 0 ? df.r() : (df.isc() ? df.i() : 0.0);
                    if (std::isinf(expected))
                        EXPECT_EQ(got, expected);
                    else
                        EXPECT_NEAR(got, expected, 1e-9 * std::fabs(expected) + 0x1p-1070);
                }
            }
}

// A pivot below the normal range among ordinary numbers: its reciprocal
// overflows, and the zeros below it must stay zeros (they became NaN, and
// the estimate and determinant with them). The identity with one element
// 2^-1040: estimate and determinant 2^-1040; with a zero column: both 0.
TEST(Rcond, SubnormalPivotAmongOrdinaryNumbers)
{
    for (bool complex : {false, true})
        for (int n : {2, 3, 47, 48, 49, 120})
            for (int at : {0, n / 2, n - 1}) {
                SCOPED_TRACE(std::to_string(n) + (complex ? " complex, at " : " real, at ") + std::to_string(at));
                Mm a = eye(double(n));
                if (complex)
                    a.getcomplex();
                a.addr()[at + std::size_t(at) * n] = 0x1p-1040;
                EXPECT_NEAR(rcond(a).r(), 0x1p-1040, 0x1p-1060);
                EXPECT_EQ(det(a).r(), 0x1p-1040);
                a.addr()[std::size_t((at + 1) % n) * (n + 1)] = 0;
                EXPECT_EQ(rcond(a).r(), 0.0);
                EXPECT_EQ(det(a).r(), 0.0);
            }
}

// The inverse and left division of a matrix with a pivot below the normal
// numbers are the same on both sides of the blocked order: the identity
// with 2^-1040 first on the diagonal and 0.5 right of it has the inverse's
// own entries outside its first row, +Inf first on the diagonal, -0.5
// 2^1040 beside it (-Inf, real and complex alike) and zeros after;
// A\ones has +Inf first and ones after, as has the same without the 0.5,
// a symmetric matrix. The blocked factors' Inf reciprocal made every entry
// NaN, and the complex steps' products with a real multiplier put Inf
// times 0 into the imaginary part (NaN - NaN i beside the Inf).
TEST(Inv, SubnormalPivotOnBothSidesOfTheBlockedOrder)
{
    for (bool complex : {false, true})
        for (int n : {3, 47, 48, 60}) {
            SCOPED_TRACE(std::to_string(n) + (complex ? " complex" : " real"));
            Mm a = eye(double(n));
            if (complex)
                a.getcomplex();
            a.addr()[0] = 0x1p-1040;
            a.addr()[n] = 0.5;
            const Mm x = inv(a);
            ASSERT_EQ(x.isc(), complex);
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    SCOPED_TRACE(std::to_string(i) + ", " + std::to_string(j));
                    const std::size_t k = i + std::size_t(j) * n;
                    if (i > 0) {
                        EXPECT_EQ(x.addr()[k], i == j ? 1.0 : 0.0);
                        if (complex) {
                            EXPECT_EQ(x.addi()[k], 0.0);
                        }
                    } else if (j == 0) {
                        EXPECT_EQ(x.addr()[k], INFINITY);
                    } else if (j == 1) {
                        EXPECT_EQ(x.addr()[k], -INFINITY);
                    } else {
                        EXPECT_EQ(x.addr()[k], 0.0);
                    }
                    if (i == 0 && complex) {
                        EXPECT_EQ(x.addi()[k], 0.0);
                    }
                }
            // Left division, by the general and (without the 0.5, for a
            // symmetric matrix) by the symmetric factorisation.
            for (bool symmetric : {false, true}) {
                SCOPED_TRACE(symmetric ? "symmetric" : "general");
                // A fresh copy: a stays as it is.
                Mm m = times(a, Mm(1.0));
                if (symmetric) {
                    m.addr()[n] = 0;
                }
                const Mm s = mldivide(m, ones(double(n), 1.0));
                EXPECT_EQ(s.addr()[0], INFINITY);
                for (int i = 1; i < n; ++i) {
                    EXPECT_EQ(s.addr()[i], 1.0) << i;
                    if (s.isc()) {
                        EXPECT_EQ(s.addi()[i], 0.0) << i;
                    }
                }
            }
        }
}

// A = 2^r B 2^c with B random and the rows' or columns' powers far
// apart: one row of 1e-300 among rows of 1e300, rows graded from 2^-997
// to 2^997, a subnormal column or row among ordinary ones, rows of 1e300
// with columns of 1e-300. inv(A) = 2^-c inv(B) 2^-r and A\b = 2^-c
// B\(2^-r b) are of ordinary or merely overflowing size, yet elimination
// formed products of two large numbers or reciprocals of subnormal
// pivots: the solution was NaN, and the complex inverse NaN - NaN i where
// it overflows. Each element is compared with the model's in units of its
// own power of two; one that overflows is Inf of the model's sign, and
// mpower(A, -1) is inv(A) (the identity's zeros times those Infs were NaN).
TEST(Inv, RowsAndColumnsFarApart)
{
    struct Kind {
        const char* what;
        std::function<int(int, int)> row, col; // exponents by (index, order)
    };
    const std::vector<Kind> kinds = {
        {"one row of 1e-300 among 1e300", [](int i, int n) { return i == n / 2 ? -997 : 997; }, [](int, int) { return 0; }},
        {"graded rows", [](int i, int n) { return -997 + 1994 * i / (n - 1); }, [](int, int) { return 0; }},
        {"a subnormal column", [](int, int) { return 0; }, [](int j, int n) { return j == n - 1 ? -1040 : 0; }},
        {"a subnormal row", [](int i, int) { return i == 0 ? -1040 : 0; }, [](int, int) { return 0; }},
        {"rows 1e300, columns 1e-300", [](int i, int n) { return i < n / 2 ? 997 : 0; },
         [](int j, int n) { return j < n / 2 ? 0 : -997; }},
    };
    for (const Kind& kind : kinds)
        for (bool complex : {false, true})
            for (int n : {2, 3, 13, 47, 48, 49, 101}) {
                SCOPED_TRACE(std::string(kind.what) + (complex ? " complex " : " real ") + std::to_string(n));
                const Mm b = hash_matrix(n, n, complex, n);
                std::vector<int> r(n), c(n);
                for (int k = 0; k < n; ++k) {
                    r[k] = kind.row(k, n);
                    c[k] = kind.col(k, n);
                }
                const Mm a = matrix_of(n, n, complex, [&](int i, int j) {
                    const cx z(hash_element(n, i, j, 0), complex ? hash_element(n, i, j, 1) : 0.0);
                    return cx(std::ldexp(z.real(), r[i] + c[j]), std::ldexp(z.imag(), r[i] + c[j]));
                });
                const cmat ib = to_cmat(inv(b));
                const double big = max_abs(ib);
                // The model's element (i, j) of inv(A) is 2^(-c_i - r_j) ib(i, j);
                // of A\ones, 2^(s - c_i) sum_j ib(i, j) 2^(-r_j - s).
                int s = -100000;
                for (int k = 0; k < n; ++k)
                    s = std::max(s, -r[k]);
                const cmat x = to_cmat(inv(a)), y = to_cmat(mldivide(a, ones(double(n), 1.0)));
                const cmat p = to_cmat(mpower(a, Mm(-1.0)));
                auto expect_model = [&](cx got, cx unscaled, double unit, int e) {
                    for (int part = 0; part < 2; ++part) {
                        const double g = part ? got.imag() : got.real(), m = part ? unscaled.imag() : unscaled.real();
                        ASSERT_FALSE(std::isnan(g));
                        const double want = std::ldexp(m, e);
                        if (std::isinf(want)) {
                            if (std::fabs(m) > 1e-6 * unit) {
                                EXPECT_EQ(g, want);
                            }
                        } else if (std::isfinite(std::ldexp(unit, e))) {
                            EXPECT_LE(std::fabs(g - want), 1e-9 * std::ldexp(unit, e) + 0x1p-1074);
                        }
                    }
                };
                for (int i = 0; i < n; ++i) {
                    cx sum = 0;
                    for (int j = 0; j < n; ++j) {
                        SCOPED_TRACE(std::to_string(i) + ", " + std::to_string(j));
                        expect_model(x(i, j), ib(i, j), big, -c[i] - r[j]);
                        EXPECT_EQ(std::isnan(p(i, j).real()), false);
                        EXPECT_TRUE(p(i, j) == x(i, j) || (std::isinf(p(i, j).real()) && p(i, j).real() == x(i, j).real()));
                        sum += ib(i, j) * std::ldexp(1.0, -r[j] - s);
                    }
                    SCOPED_TRACE(i);
                    expect_model(y(i, 0), sum, big * n, s - c[i]);
                }
            }
}

} // namespace
