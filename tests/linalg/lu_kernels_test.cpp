// The dense LU kernels: pivots, zero-pivot reports and the factor layout on
// small cases; backward accuracy of the solves and of the complex inverse on
// random systems; the condition estimate against the true reciprocal
// condition number; the base-16 determinant record.
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

namespace {

using cx = std::complex<double>;
const double eps = 0x1p-52;

struct Factored {
    std::vector<double> a;
    std::vector<int> ipvt;
    int info = -1;
};

Factored factor(int n, std::vector<double> a)
{
    Factored f{std::move(a), std::vector<int>(n, 0), -1};
    lu_factor_real(f.a.data(), &n, &n, f.ipvt.data(), &f.info);
    return f;
}

TEST(LuKernels, PivotsAndZeroPivots)
{
    struct Case {
        const char* what;
        int n;
        std::vector<double> a;  // column-major
        std::vector<int> ipvt;
        int info;
    };
    const std::vector<Case> cases = {
        {"exchange", 2, {0, 1, 1, 0}, {2, 2}, 0},
        {"first column zero", 2, {0, 0, 0, 1}, {1, 2}, 1},
        {"rank one", 2, {1, 2, 2, 4}, {2, 2}, 2},
        {"every pivot zero: the last one", 3, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {1, 2, 3}, 3},
        {"NaN pivot counts as zero", 2, {NAN, NAN, 1, 1}, {1, 2}, 1},
        {"1x1 zero", 1, {0}, {1}, 1},
        {"1x1", 1, {3}, {1}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Factored f = factor(c.n, c.a);
        EXPECT_EQ(f.ipvt, c.ipvt);
        EXPECT_EQ(f.info, c.info);
    }
    // The strict lower triangle holds the negated multiplier.
    const Factored f = factor(2, {4, 6, 3, 3});
    EXPECT_EQ(f.a[0], 6);
    EXPECT_DOUBLE_EQ(f.a[1], -2.0 / 3);
    EXPECT_EQ(f.a[2], 3);
    EXPECT_DOUBLE_EQ(f.a[3], 1);
}

TEST(LuKernels, TransposedSolve)
{
    int n = 2, job = 1;
    Factored f = factor(2, {1, 3, 2, 4});  // [1 2; 3 4]
    std::vector<double> b = {1, 1};
    lu_solve_real(f.a.data(), &n, &n, f.ipvt.data(), b.data(), &job);
    // [1 3; 2 4] x = (1, 1): x1 + 3 x2 = 1 and 2 x1 + 4 x2 = 1.
    EXPECT_NEAR(b[0], -0.5, 1e-15);
    EXPECT_NEAR(b[1], 0.5, 1e-15);
}

std::vector<double> random_vector(std::mt19937_64& gen, std::size_t n)
{
    std::normal_distribution<double> normal;
    std::vector<double> v(n);
    for (double& x : v)
        x = normal(gen);
    return v;
}

// max_i |sum_k A(i,k) x(k) - b(i)| / (max|A| * max|x| * n * eps), complex;
// trans: 0 A, 1 A.' (real) or A' (complex).
double solve_residual(int n, const std::vector<cx>& a, const std::vector<cx>& x, const std::vector<cx>& b, int trans)
{
    double res = 0, na = 0, nx = 0;
    for (int i = 0; i < n; ++i) {
        cx s = -b[i];
        for (int k = 0; k < n; ++k) {
            const cx aik = trans ? std::conj(a[k + i * n]) : a[i + k * n];
            s += aik * x[k];
        }
        res = std::max(res, std::abs(s));
        nx = std::max(nx, std::abs(x[i]));
    }
    for (const cx& v : a)
        na = std::max(na, std::abs(v));
    return res / (na * nx * n * eps);
}

TEST(LuKernels, RealSolvesAreBackwardStable)
{
    std::mt19937_64 gen(11);
    // Past 96 the real factorisation works by panels.
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 21, 34, 47, 60, 97, 150, 251}) {
        for (int job : {0, 1}) {
            SCOPED_TRACE("n = " + std::to_string(n) + ", job = " + std::to_string(job));
            const std::vector<double> a = random_vector(gen, std::size_t(n) * n), b = random_vector(gen, n);
            Factored f = factor(n, a);
            ASSERT_EQ(f.info, 0);
            std::vector<double> x = b;
            lu_solve_real(f.a.data(), &n, &n, f.ipvt.data(), x.data(), &job);
            EXPECT_LE(solve_residual(n, std::vector<cx>(a.begin(), a.end()), std::vector<cx>(x.begin(), x.end()),
                                     std::vector<cx>(b.begin(), b.end()), job),
                      30);
        }
    }
}

TEST(LuKernels, ComplexSolvesAndInverseAreBackwardStable)
{
    std::mt19937_64 gen(12);
    for (int n = 1; n <= 60; n += (n < 8 ? 1 : 13)) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const std::vector<double> ar = random_vector(gen, std::size_t(n) * n), ai = random_vector(gen, std::size_t(n) * n);
        const std::vector<double> br = random_vector(gen, n), bi = random_vector(gen, n);
        std::vector<cx> a(ar.size()), b(n);
        for (std::size_t k = 0; k < a.size(); ++k)
            a[k] = {ar[k], ai[k]};
        for (int k = 0; k < n; ++k)
            b[k] = {br[k], bi[k]};
        std::vector<double> fr = ar, fi = ai;
        std::vector<int> ipvt(n);
        int info = -1;
        lu_factor_split(fr.data(), fi.data(), &n, &n, ipvt.data(), &info);
        ASSERT_EQ(info, 0);
        for (int job : {0, 1}) {
            SCOPED_TRACE(job);
            std::vector<double> xr = br, xi = bi;
            lu_solve_split(fr.data(), fi.data(), &n, &n, ipvt.data(), xr.data(), xi.data(), &job);
            std::vector<cx> x(n);
            for (int k = 0; k < n; ++k)
                x[k] = {xr[k], xi[k]};
            EXPECT_LE(solve_residual(n, a, x, b, job), 30);
        }
        // |A X - I| / (|A| |X| n eps)
        std::vector<double> wr(n), wi(n), detr(2), deti(2);
        const int job = 1;
        det_inv_split(fr.data(), fi.data(), &n, &n, ipvt.data(), detr.data(), deti.data(), wr.data(), wi.data(), &job);
        double res = 0, na = 0, nx = 0;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                cx s = i == j ? -1.0 : 0.0;
                for (int k = 0; k < n; ++k)
                    s += a[i + k * n] * cx(fr[k + j * n], fi[k + j * n]);
                res = std::max(res, std::abs(s));
                nx = std::max(nx, std::abs(cx(fr[i + j * n], fi[i + j * n])));
                na = std::max(na, std::abs(a[i + j * n]));
            }
        EXPECT_LE(res / (na * nx * n * eps), 30);
    }
}

TEST(LuKernels, PanelsKeepLinpackPivotsAndZeroPivots)
{
    std::mt19937_64 gen(13);
    for (int n : {150, 251}) {
        SCOPED_TRACE(n);
        const std::vector<double> a = random_vector(gen, std::size_t(n) * n);
        // The pivot rule is DGETRF's: the same rows are chosen.
        std::vector<double> w = a;
        std::vector<int> ipiv(n);
        lapack::getrf(n, n, w.data(), n, ipiv.data());
        const Factored f = factor(n, a);
        EXPECT_EQ(f.ipvt, ipiv);
        EXPECT_EQ(f.info, 0);
        // U agrees with DGETRF's; the multipliers are its L negated, in
        // LINPACK's places (rows as they stood at their step).
        double umax = 0, udiff = 0;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i <= j; ++i) {
                umax = std::max(umax, std::fabs(w[i + j * n]));
                udiff = std::max(udiff, std::fabs(w[i + j * n] - f.a[i + j * n]));
            }
        EXPECT_LE(udiff, 1e-10 * umax);
        // A zero column met inside a panel: info names it, and the factors
        // still solve the rest.
        std::vector<double> z = a;
        for (int i = 0; i < n; ++i)
            z[i + 120 * std::size_t(n)] = 0;
        const Factored g = factor(n, z);
        EXPECT_EQ(g.info, 121);
    }
}

// Past lu_split_blocked_order the complex factors come from ZGETRF and are
// put in LINPACK's layout: the same pivots and info as the column kernel,
// the same factors to rounding (a singular matrix's exactly: the kernel's
// own), and factors that lu_solve_split reads as its own. Random, graded, nearly singular, with a
// zero column, and holding a NaN (which takes the column kernel itself).
TEST(LuKernels, ComplexBlockedFactorsInLinpackLayout)
{
    struct Case {
        const char* what;
        int n;
        int zero_column;    // 0-based; -1 none
        double grading;     // row i scaled by 10^(-grading i / n)
        bool near_singular; // column 1 := column 0 + 1e-9 noise
        bool nan;
    };
    const std::vector<Case> cases = {
        {"at the crossover", lu_split_blocked_order, -1, 0, false, false},
        {"random", 150, -1, 0, false, false},
        {"random, odd order", 301, -1, 0, false, false},
        {"graded rows", 200, -1, 12, false, false},
        {"nearly singular", 180, -1, 0, true, false},
        {"zero column", 160, 97, 0, false, false},
        {"NaN", 120, -1, 0, false, true},
    };
    std::mt19937_64 gen(14);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int n = c.n;
        const std::size_t nn = std::size_t(n) * n;
        std::vector<double> ar = random_vector(gen, nn), ai = random_vector(gen, nn);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const double g = std::pow(10.0, -c.grading * i / n);
                ar[i + j * nn / n] *= g;
                ai[i + j * nn / n] *= g;
                if (j == c.zero_column)
                    ar[i + j * nn / n] = ai[i + j * nn / n] = 0;
                if (c.near_singular && j == 1) {
                    ar[i + n] = ar[i] + 1e-9 * ar[i + 2 * n];
                    ai[i + n] = ai[i] + 1e-9 * ai[i + 2 * n];
                }
            }
        if (c.nan)
            ar[5 + 7 * nn / n] = NAN;
        std::vector<double> kr = ar, ki = ai, br = ar, bi = ai;
        std::vector<int> kp(n), bp(n);
        int kinfo = -1, binfo = -1;
        lu_factor_split(kr.data(), ki.data(), &n, &n, kp.data(), &kinfo);
        std::vector<double> work(lu_split_work_size(n));
        lu_factor_split_work(br.data(), bi.data(), &n, &n, bp.data(), &binfo, work.data());
        if (c.nan) {
            EXPECT_EQ(std::memcmp(br.data(), kr.data(), nn * sizeof(double)), 0);
            EXPECT_EQ(std::memcmp(bi.data(), ki.data(), nn * sizeof(double)), 0);
            EXPECT_EQ(bp, kp);
            EXPECT_EQ(binfo, kinfo);
            continue;
        }
        EXPECT_EQ(binfo, kinfo);
        EXPECT_EQ(binfo, c.zero_column + 1);
        if (binfo != 0) {
            // Singular: the column kernel's own factors, bit for bit.
            EXPECT_EQ(bp, kp);
            EXPECT_EQ(std::memcmp(br.data(), kr.data(), nn * sizeof(double)), 0);
            continue;
        }
        // The nearly singular matrix's later pivots are chosen among
        // entries that cancellation has left at rounding level: only the
        // solves below speak for its factors.
        if (!c.near_singular) {
            EXPECT_EQ(bp, kp);
            double big = 0, diff = 0;
            for (std::size_t k = 0; k < nn; ++k) {
                big = std::max(big, std::abs(cx(kr[k], ki[k])));
                diff = std::max(diff, std::abs(cx(kr[k] - br[k], ki[k] - bi[k])));
            }
            EXPECT_LE(diff, 1e-11 * big);
        }
        std::vector<cx> a(nn), b(n);
        for (std::size_t k = 0; k < nn; ++k)
            a[k] = {ar[k], ai[k]};
        std::vector<double> xr = random_vector(gen, n), xi = random_vector(gen, n);
        for (int k = 0; k < n; ++k)
            b[k] = {xr[k], xi[k]};
        for (int job : {0, 1}) {
            SCOPED_TRACE(job);
            std::vector<double> yr = xr, yi = xi;
            lu_solve_split(br.data(), bi.data(), &n, &n, bp.data(), yr.data(), yi.data(), &job);
            std::vector<cx> y(n);
            for (int k = 0; k < n; ++k)
                y[k] = {yr[k], yi[k]};
            EXPECT_LE(solve_residual(n, a, y, b, job), 30);
        }
    }
}

// The exact 1-norm reciprocal condition number from the inverse's columns.
double true_rcond(int n, const std::vector<double>& a)
{
    double anorm = 0, inorm = 0;
    for (int j = 0; j < n; ++j) {
        double s = 0;
        for (int i = 0; i < n; ++i)
            s += std::fabs(a[i + j * n]);
        anorm = std::max(anorm, s);
    }
    Factored f = factor(n, a);
    const int job = 0;
    for (int j = 0; j < n; ++j) {
        std::vector<double> e(n, 0.0);
        e[j] = 1;
        lu_solve_real(f.a.data(), &n, &n, f.ipvt.data(), e.data(), &job);
        double s = 0;
        for (double v : e)
            s += std::fabs(v);
        inorm = std::max(inorm, s);
    }
    return 1 / (anorm * inorm);
}

TEST(LuKernels, ConditionEstimate)
{
    struct Case {
        const char* what;
        int n;
        std::vector<double> a;
        double expected;
    };
    const std::vector<Case> exact = {
        {"identity", 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1},
        {"zeros", 3, std::vector<double>(9, 0.0), 0},
        {"1x1", 1, {-4}, 1},
    };
    for (const auto& c : exact) {
        SCOPED_TRACE(c.what);
        int n = c.n;
        std::vector<double> a = c.a, z(n);
        std::vector<int> ipvt(n);
        double rc = -1;
        rcond_real(a.data(), &n, &n, ipvt.data(), &rc, z.data());
        EXPECT_EQ(rc, c.expected);
        std::vector<double> ai(a.size(), 0.0), zi(n);
        a = c.a;
        rcond_split(a.data(), ai.data(), &n, &n, ipvt.data(), &rc, z.data(), zi.data());
        EXPECT_EQ(rc, c.expected);
    }

    // Random and badly conditioned (Hilbert-like and graded) matrices: the
    // estimate stays within a factor 10 of the truth and never above it by
    // more than rounding.
    std::mt19937_64 gen(5);
    std::vector<std::pair<int, std::vector<double>>> matrices;
    for (int n : {2, 5, 20, 50})
        matrices.push_back({n, random_vector(gen, std::size_t(n) * n)});
    for (int n : {4, 8}) {
        std::vector<double> h(std::size_t(n) * n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                h[i + j * n] = 1.0 / (i + j + 1);
        matrices.push_back({n, h});
    }
    {
        const int n = 10;
        std::vector<double> g = random_vector(gen, std::size_t(n) * n);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                g[i + j * n] *= std::pow(1e-1, j);
        matrices.push_back({n, g});
    }
    for (auto& [n0, a0] : matrices) {
        int n = n0;
        SCOPED_TRACE(n);
        const double truth = true_rcond(n, a0);
        std::vector<double> a = a0, z(n);
        std::vector<int> ipvt(n);
        double rc = -1;
        rcond_real(a.data(), &n, &n, ipvt.data(), &rc, z.data());
        EXPECT_GE(rc, truth * (1 - 1e-6));
        EXPECT_LE(rc, 10 * truth);
        // The same matrix as complex data with a zero imaginary part. The
        // complex estimator measures in |re| + |im|, equal here.
        std::vector<double> cr = a0, ci(a0.size(), 0.0), zr(n), zi(n);
        rcond_split(cr.data(), ci.data(), &n, &n, ipvt.data(), &rc, zr.data(), zi.data());
        EXPECT_GE(rc, truth * (1 - 1e-6));
        EXPECT_LE(rc, 10 * truth);
    }
}

TEST(LuKernels, DeterminantRecord)
{
    struct Case {
        const char* what;
        int n;
        std::vector<double> re, im;
        double d1r, d1i, d2;
    };
    const std::vector<Case> cases = {
        {"diag(16, 1)", 2, {16, 0, 0, 1}, {0, 0, 0, 0}, 1, 0, 1},
        {"diag(0.5, 1)", 2, {0.5, 0, 0, 1}, {0, 0, 0, 0}, 8, 0, -1},
        {"exchange changes sign", 2, {0, 1, 1, 0}, {0, 0, 0, 0}, -1, 0, 0},
        {"singular stops at zero", 2, {1, 2, 2, 4}, {0, 0, 0, 0}, 0, 0, 0},
        {"2i", 1, {0}, {2}, 0, 2, 0},
        {"32i", 1, {0}, {32}, 0, 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int n = c.n, info = 0;
        std::vector<double> ar = c.re, ai = c.im, wr(n), wi(n), detr(2), deti(2);
        std::vector<int> ipvt(n);
        lu_factor_split(ar.data(), ai.data(), &n, &n, ipvt.data(), &info);
        const int job = 10;
        det_inv_split(ar.data(), ai.data(), &n, &n, ipvt.data(), detr.data(), deti.data(), wr.data(), wi.data(), &job);
        EXPECT_EQ(detr[0], c.d1r);
        EXPECT_EQ(deti[0], c.d1i);
        EXPECT_EQ(detr[1], c.d2);
        EXPECT_EQ(deti[1], 0);
    }
    // job 11 on (2 + 0i): the record (2, 0) and the inverse 0.5.
    int n = 1, info = 0;
    double ar = 2, ai = 0, wr, wi, detr[2], deti[2];
    int ipvt;
    lu_factor_split(&ar, &ai, &n, &n, &ipvt, &info);
    const int job = 11;
    det_inv_split(&ar, &ai, &n, &n, &ipvt, detr, deti, &wr, &wi, &job);
    EXPECT_EQ(detr[0], 2);
    EXPECT_EQ(detr[1], 0);
    EXPECT_EQ(ar, 0.5);
    EXPECT_EQ(ai, 0);
}

} // namespace
