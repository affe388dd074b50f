// expm, logm, sqrtm (and mpower): scipy's values kept as data, the
// identities they must satisfy, real and complex results, and the argument
// messages.
#include "linalg_support.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double eps = std::numeric_limits<double>::epsilon();

struct FunctionReference {
    const char* name;
    int n;
    std::vector<double> a, result;
};

const std::vector<FunctionReference> reference = {
#include "data/matrix_functions_reference.inc"
};

struct PowerReference {
    int n;
    double p;
    std::vector<double> a, re, im;
};

const std::vector<PowerReference> power_reference = {
#include "data/fractional_power_reference.inc"
};

struct SpreadReference {
    const char* what;
    int n;
    std::vector<double> a_re, a_im, f_re, f_im;
    double normwise;  // 0: every element to its own accuracy
};

const std::vector<SpreadReference> spread_reference = {
#include "data/expm_spread_reference.inc"
};

struct RootLogReference {
    const char* what;
    const char* function;
    int n;
    std::vector<double> a_re, a_im, f_re, f_im;
};

const std::vector<RootLogReference> root_log_reference = {
#include "data/root_log_reference.inc"
};

double max_abs(const Mm& x)
{
    double m = 0;
    const int count = x.rows() * x.cols();
    for (int k = 0; k < count; ++k)
        m = std::max(m, std::hypot(x.addr()[k], x.isc() ? x.addi()[k] : 0.0));
    return m;
}

double max_diff(const Mm& x, const Mm& y)
{
    return max_abs(x - y);
}

TEST(MatrixFunctions, ReferenceValues)
{
    ASSERT_GE(reference.size(), 12u);
    for (const auto& c : reference) {
        SCOPED_TRACE(std::string(c.name) + " n = " + std::to_string(c.n));
        const Mm a = linalg_test::matrix_from(c.n, c.n, c.a), want = linalg_test::matrix_from(c.n, c.n, c.result);
        const std::string name = c.name;
        const Mm got = name == "expm" ? expm(a) : name == "logm" ? logm(a) : sqrtm(a);
        EXPECT_FALSE(got.isc());
        EXPECT_LE(max_diff(got, want), 1e-10 * std::max(1.0, max_abs(want)));
    }
}

TEST(Expm, Identities)
{
    EXPECT_EQ(test::values(expm(zeros(2.0, 2.0))), (std::vector<double>{1, 0, 0, 1}));
    const Mm d = expm(test::real(2, 2, {1, 0, 0, -2}));
    EXPECT_NEAR(d.addr()[0], std::exp(1.0), 16 * eps * std::exp(1.0)) << "Padé-6 after two squarings";
    EXPECT_NEAR(d.addr()[3], std::exp(-2.0), 4 * eps);
    EXPECT_EQ(d.addr()[1], 0);
    const Mm nil = expm(test::real(2, 2, {0, 0, 1, 0}));
    EXPECT_NEAR(max_diff(nil, test::real(2, 2, {1, 0, 1, 1})), 0, 4 * eps);
    // Norms at and above 2^1022, where 2^s overflows (exact results: the
    // nilpotent part is the first-order term, e^-huge underflows to 0).
    struct Huge {
        const char* what;
        Mm a;
        std::vector<double> want;
    };
    const std::vector<Huge> huge = {
        {"expm([0 1e308;0 0])", test::real(2, 2, {0, 0, 1e308, 0}), {1, 0, 1e308, 1}},
        {"expm(-1e308*eye(2))", test::real(2, 2, {-1e308, 0, 0, -1e308}), {0, 0, 0, 0}},
        {"expm(diag(-2^1022, -2^1023))", test::real(2, 2, {-0x1p1022, 0, 0, -0x1p1023}), {0, 0, 0, 0}},
    };
    for (const Huge& h : huge) {
        SCOPED_TRACE(h.what);
        const std::vector<double> got = test::values(expm(h.a));
        ASSERT_EQ(got.size(), h.want.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_NEAR(got[k], h.want[k], 4 * eps * std::fabs(h.want[k])) << k;
    }
    // A complex 1x1 argument: e^i.
    const Mm one = expm(test::complex(1, 1, {0}, {1}));
    EXPECT_NEAR(one.addr()[0], std::cos(1.0), 4 * eps);
    EXPECT_NEAR(one.addi()[0], std::sin(1.0), 4 * eps);
    EXPECT_ERROR(expm(zeros(2.0, 3.0)), "expm: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_EQ(test::extents(expm(Mm())), (std::vector<int>{0, 0}));
}

// A small eigenvalue beside a large one: the scaling by 2^s used to drown
// its part (expm(diag([-2^1022 -1])) was [0 0;0 1]). A diagonal argument
// takes exp of its diagonal, a triangular one keeps its diagonal and
// superdiagonal exact through the squarings, and a general one with a
// large scaling goes through its Schur form. Each element of a structured
// argument is compared relative to itself and to the largest element of
// its row and column of the result (the far entries come from the
// squarings); a general argument's small parts are only known normwise.
TEST(Expm, EigenvaluesFarApart)
{
    ASSERT_GE(spread_reference.size(), 7u);
    for (const auto& c : spread_reference) {
        SCOPED_TRACE(c.what);
        const Mm a = linalg_test::matrix_from(c.n, c.n, c.a_re, c.a_im);
        const Mm want = linalg_test::matrix_from(c.n, c.n, c.f_re, c.f_im);
        const Mm got = expm(a);
        ASSERT_EQ(test::extents(got), test::extents(want));
        EXPECT_EQ(got.isc(), a.isc());
        if (c.normwise > 0) {
            EXPECT_LE(max_diff(got, want), c.normwise * max_abs(want));
            continue;
        }
        for (int j = 0; j < c.n; ++j)
            for (int i = 0; i < c.n; ++i) {
                const int k = i + j * c.n;
                double line = 0;
                for (int t = 0; t < c.n; ++t)
                    line = std::max({line, std::abs(want.addr()[i + t * c.n]), std::abs(want.addr()[t + j * c.n])});
                const double re = got.addr()[k], im = got.isc() ? got.addi()[k] : 0.0;
                const double d = std::hypot(re - c.f_re[k], im - c.f_im[k]);
                EXPECT_LE(d, 64 * eps * (std::hypot(c.f_re[k], c.f_im[k]) + line) + 1e-320) << i << "," << j;
            }
    }
    // The call that gave [0 0;0 1], bit for bit.
    const std::vector<double> d = test::values(expm(test::real(2, 2, {-0x1p1022, 0, 0, -1})));
    EXPECT_EQ(d, (std::vector<double>{0, 0, 0, std::exp(-1.0)}));
}

// Arguments outside the plain path: NaN or Inf (a diagonal one still has
// its exponentials, any other none), and uint8, which was halved in its own
// arithmetic down to rounding.
TEST(Expm, NonFiniteAndIntegerArguments)
{
    const std::vector<double> d = test::values(expm(test::real(2, 2, {INFINITY, 0, 0, -INFINITY})));
    EXPECT_EQ(d, (std::vector<double>{INFINITY, 0, 0, 0}));
    for (const Mm& a : {test::real(2, 2, {1, 2, INFINITY, 3}), test::real(2, 2, {1, NAN, 0, 3}),
                        test::real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, NAN})}) {
        const Mm e = expm(a);
        EXPECT_EQ(test::extents(e), test::extents(a));
        for (double v : test::values(e))
            EXPECT_TRUE(std::isnan(v));
    }
    const Mm g = test::real(2, 2, {1, 2, 3, 4});
    const Mm from_bytes = expm(muint8(g));
    EXPECT_EQ(from_bytes.gettype(), qv_double);
    EXPECT_EQ(test::values(from_bytes), test::values(expm(g)));
    EXPECT_NEAR(from_bytes.addr()[0], 51.968956198705, 1e-10);  // scipy expm([[1,3],[2,4]])[0,0]
}

TEST(Logm, RealAndComplexResults)
{
    EXPECT_EQ(max_abs(logm(eye(3.0))), 0);
    const Mm positive = test::real(2, 2, {3, 1, 1, 2});
    const Mm l = logm(positive);
    EXPECT_FALSE(l.isc());
    EXPECT_LE(max_diff(expm(l), positive), 1e-14 * 4);
    // A negative eigenvalue: the principal logarithm is complex.
    const Mm negative = test::real(2, 2, {-2, 0, 1, 3});
    const Mm lc = logm(negative);
    EXPECT_TRUE(lc.isc());
    EXPECT_LE(max_diff(expm(lc), negative), 1e-13);
    Mm L, err;
    logm(positive, i_o, L, err);
    EXPECT_EQ(test::values(L), test::values(l));
    EXPECT_LE(err.r(), 1e-15);
    EXPECT_ERROR(logm(zeros(2.0, 3.0)), "logm: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
}

TEST(Sqrtm, SquareReproducesTheArgument)
{
    const Mm a = test::real(3, 3, {4, 1, 0, 1, 5, 2, 0, 2, 6});
    const Mm x = sqrtm(a);
    EXPECT_FALSE(x.isc());
    EXPECT_LE(max_diff(x * x, a), 1e-14 * 6);
    Mm X, err;
    sqrtm(a, i_o, X, err);
    EXPECT_EQ(test::values(X), test::values(x));
    EXPECT_LE(err.r(), 1e-15);
    // Non-symmetric with a negative eigenvalue: complex root.
    const Mm b = test::real(2, 2, {-4, 0, 1, 9});
    const Mm y = sqrtm(b);
    EXPECT_TRUE(y.isc());
    EXPECT_LE(max_diff(y * y, b), 1e-13);
    EXPECT_ERROR(sqrtm(zeros(2.0, 3.0)), "sqrtm: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
}

// An imaginary part was dropped whenever it was below 2.2e-16, whatever the
// result's size: sqrtm(-1e-40) was 0 and a Hermitian positive definite
// matrix times 2^-1000 lost its whole imaginary part. And logm(expm(B)) of
// a real B was complex-typed by imaginary parts of rounding size. The
// imaginary part now goes exactly when the argument is real with no
// eigenvalue on the negative real axis (then f(A) is real); mpmath's
// values.
TEST(MatrixFunctions, ImaginaryPartsFollowTheArgument)
{
    ASSERT_GE(root_log_reference.size(), 6u);
    for (const auto& c : root_log_reference) {
        SCOPED_TRACE(c.what);
        const Mm a = linalg_test::matrix_from(c.n, c.n, c.a_re, c.a_im);
        const Mm got = std::string(c.function) == "sqrtm" ? sqrtm(a) : logm(a);
        const Mm want = linalg_test::matrix_from(c.n, c.n, c.f_re, c.f_im);
        EXPECT_EQ(bool(got.isc()), bool(want.isc()));
        EXPECT_LE(max_diff(got, want), 1e-13 * max_abs(want));
    }
}

// sqrtm and logm of a gallery of matrices over scales 2^-1000 .. 2^1000:
// sqrtm(s*A)^2 = s*A, sqrtm(s*A) = sqrt(s)*sqrtm(A), logm(s*A) =
// logm(A) + log(s)*I, each to rounding, and the result real exactly when A
// is real without a negative real eigenvalue.
TEST(MatrixFunctions, RootsAndLogarithmsAcrossScales)
{
    struct Case {
        const char* what;
        Mm a;
        bool complex_result;
    };
    const std::vector<Case> cases = {
        {"symmetric positive definite", test::real(3, 3, {4, 1, 0, 1, 5, 2, 0, 2, 6}), false},
        {"real, eigenvalues 1 +- 2i and 3", test::real(3, 3, {1, 2, 0, -2, 1, 0, 0.5, 0, 3}), false},
        {"real nonsymmetric, eigenvalues 2 and 3", test::real(2, 2, {2, 0, 1, 3}), false},
        {"a negative eigenvalue", test::real(2, 2, {-4, 0, 1, 9}), true},
        {"Hermitian positive definite", test::complex(2, 2, {2, 1, 1, 3}, {0, -1, 1, 0}), true},
        {"complex", test::complex(2, 2, {1, -1, 3, 2}, {2, 0, 0, -1}), true},
    };
    for (const Case& c : cases) {
        const int n = c.a.rows();
        const Mm root = sqrtm(c.a), log1 = logm(c.a);
        for (int k : {-1000, -500, -100, 0, 100, 500, 1000}) {
            SCOPED_TRACE(std::string(c.what) + " times 2^" + std::to_string(k));
            const Mm sa = std::ldexp(1.0, k) * c.a;
            const Mm x = sqrtm(sa), l = logm(sa);
            EXPECT_EQ(bool(x.isc()), c.complex_result);
            EXPECT_EQ(bool(l.isc()), c.complex_result);
            EXPECT_LE(max_diff(x * x, sa), 1e-13 * max_abs(sa));
            EXPECT_LE(max_diff(x, std::ldexp(1.0, k / 2) * root), 1e-13 * max_abs(x));
            const Mm shifted = log1 + (k * std::log(2.0)) * eye(double(n));
            EXPECT_LE(max_diff(l, shifted), 1e-13 * max_abs(shifted));
        }
    }
}

TEST(Mpower, PowersOfMatrices)
{
    const Mm a = test::real(2, 2, {2, 1, 1, 3});
    struct Case {
        const char* what;
        Mm got, want;
        double tolerance;
    };
    const Mm five = a * a * a * a * a;
    const std::vector<Case> cases = {
        {"A^0", mpower(a, Mm(0.0)), eye(2.0), 0},
        {"A^1", mpower(a, Mm(1.0)), a, 0},
        {"A^-1", mpower(a, Mm(-1.0)), test::real(2, 2, {0.6, -0.2, -0.2, 0.4}), 4 * eps},
        {"A^5", mpower(a, Mm(5.0)), five, 8 * eps * max_abs(five)},
        {"A^-2", mpower(a, Mm(-2.0)), test::real(2, 2, {0.4, -0.2, -0.2, 0.2}), 8 * eps},
        {"2^eye(2)", mpower(Mm(2.0), eye(2.0)), test::real(2, 2, {2, 0, 0, 2}), 4 * eps},
        {"diag([4 9])^0.5", mpower(test::real(2, 2, {4, 0, 0, 9}), Mm(0.5)), test::real(2, 2, {2, 0, 0, 3}), 4 * eps},
        {"scalar pair", mpower(Mm(2.0), Mm(10.0)), Mm(1024.0), 0},
        {"[1 1; 0 1]^2^40 ends", mpower(test::real(2, 2, {1, 0, 1, 1}), Mm(std::ldexp(1.0, 40))),
         test::real(2, 2, {1, 0, std::ldexp(1.0, 40), 1}), 0},
        {"[1 1; 0 1]^(2^70 + 2^20)", mpower(test::real(2, 2, {1, 0, 1, 1}), Mm(std::ldexp(1.0, 70) + std::ldexp(1.0, 20))),
         test::real(2, 2, {1, 0, std::ldexp(1.0, 70) + std::ldexp(1.0, 20), 1}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(test::extents(c.got), test::extents(c.want));
        EXPECT_LE(max_diff(c.got, c.want), c.tolerance);
    }
    // A real matrix to a fractional power with a negative eigenvalue.
    const Mm root = mpower(test::real(2, 2, {-4, 0, 0, 9}), Mm(0.5));
    ASSERT_TRUE(root.isc());
    EXPECT_NEAR(root.addi()[0], 2, 4 * eps);
    EXPECT_NEAR(root.addr()[3], 3, 4 * eps);

    EXPECT_EQ(test::extents(mpower(Mm(), a)), (std::vector<int>{0, 0}));
    EXPECT_EQ(test::extents(mpower(a, Mm())), (std::vector<int>{0, 0}));
    EXPECT_ERROR(mpower(a, a), "mpower: matrix^matrix not supported.");
    EXPECT_ERROR(mpower(a), "mpower does not accept 1 input");
    EXPECT_ERROR(mpower(zeros(2.0, 3.0), Mm(2.0)),
                 "mpower: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
}

// Fractional powers, negative ones included, take the principal power of
// each eigenvalue: [1 2;2 1]^-0.5 has eigenvalue -1, whose principal power
// is -i, not the i of (1/-1)^0.5. scipy's fractional_matrix_power as data.
TEST(Mpower, FractionalPowersOfNegativeEigenvalues)
{
    ASSERT_GE(power_reference.size(), 20u);
    for (const auto& c : power_reference) {
        SCOPED_TRACE(std::to_string(c.n) + "x" + std::to_string(c.n) + " ^ " + std::to_string(c.p));
        const Mm a = linalg_test::matrix_from(c.n, c.n, c.a);
        Mm want(1, 0, 0, c.n, c.n, qv_double);
        for (int k = 0; k < c.n * c.n; ++k) {
            want.addr()[k] = c.re[k];
            want.addi()[k] = c.im[k];
        }
        const Mm got = mpower(a, Mm(c.p));
        ASSERT_EQ(test::extents(got), test::extents(want));
        EXPECT_TRUE(got.isc());
        EXPECT_LE(max_diff(got, want), 1e3 * eps * max_abs(want));
    }
    // [1 2;2 1]^-0.5 element by element.
    const Mm r = mpower(test::real(2, 2, {1, 2, 2, 1}), Mm(-0.5));
    ASSERT_TRUE(r.isc());
    const double re = 1 / std::sqrt(12.0);
    const std::vector<double> im = {-0.5, 0.5, 0.5, -0.5};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(r.addr()[k], re, 8 * eps) << k;
        EXPECT_NEAR(r.addi()[k], im[k], 8 * eps) << k;
    }
    // A positive definite matrix keeps a real result.
    const Mm spd = test::real(2, 2, {2, 1, 1, 3});
    const Mm half = mpower(spd, Mm(-0.5));
    EXPECT_FALSE(half.isc());
    EXPECT_LE(max_diff(half * half * spd, eye(2.0)), 16 * eps);
}

// No negative or fractional power of a NaN or Inf matrix is known: inv
// and the eigenvalues would hand back finite numbers.
TEST(Mpower, NonFiniteMatrixToNegativeOrFractionalPowerGivesNaN)
{
    const Mm a = test::real(3, 3, {2, -1, 0, -1, 2, -1, 0, INFINITY, 2});
    const Mm b = test::real(2, 2, {1, NAN, 0, 1});
    for (double p : {-1.0, -2.0, -0.5, 0.5, 1.5, -2.5}) {
        SCOPED_TRACE(p);
        for (const Mm* m : {&a, &b}) {
            const Mm x = mpower(*m, Mm(p));
            EXPECT_EQ(test::extents(x), test::extents(*m));
            for (double v : test::values(real(x)))
                EXPECT_TRUE(std::isnan(v));
        }
    }
}

} // namespace
