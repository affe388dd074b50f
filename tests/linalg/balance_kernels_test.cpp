// balanc, cbal, balbak, cbabk2: isolation, power-of-2 scaling and its
// bounds, and the back-transformation, in real and complex form. Expected
// factors and balanced matrices are LAPACK's (scipy's dgebal and zgebal,
// tools/reference/balance_reference.py).
#include "dense_matrix.hpp"
#include "linalg/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();

struct BalanceCase {
    const char* what;
    int n;
    std::vector<double> a;  // column-major
    int low, igh;
    std::vector<double> scale;
    std::vector<double> balanced;  // empty: unchanged
};

const std::vector<BalanceCase> balance_cases = {
    {"n = 1", 1, {5}, 1, 1, {1}, {}},
    {"scaled pair", 2, {1, 0.01, 100, 1}, 1, 2, {16, 0.25}, {1, 0.64, 1.5625, 1}},
    {"diagonal", 3, {1, 0, 0, 0, 2, 0, 0, 0, 3}, 1, 1, {1, 2, 3}, {}},
    {"upper triangular", 3, {1, 0, 0, 4, 2, 0, 5, 6, 3}, 1, 1, {1, 2, 3}, {}},
    {"infinite column sum", 2, {1, inf, 1, 1}, 1, 2, {1, 1}, {}},
};

TEST(Balanc, Cases)
{
    for (const auto& c : balance_cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> a = c.a, scale(c.n, -1);
        int low = 0, igh = 0;
        balanc(&c.n, &c.n, a.data(), &low, &igh, scale.data());
        EXPECT_EQ(low, c.low);
        EXPECT_EQ(igh, c.igh);
        EXPECT_EQ(scale, c.scale);
        EXPECT_EQ(a, c.balanced.empty() ? c.a : c.balanced);

        // The complex form treats a purely imaginary copy alike.
        std::vector<double> re(c.n * c.n, 0.0), im = c.a, cscale(c.n, -1);
        int clow = 0, cigh = 0;
        cbal(&c.n, &c.n, re.data(), im.data(), &clow, &cigh, cscale.data());
        EXPECT_EQ(clow, c.low);
        EXPECT_EQ(cigh, c.igh);
        EXPECT_EQ(cscale, c.scale);
        EXPECT_EQ(im, c.balanced.empty() ? c.a : c.balanced);
    }
}

TEST(Balanc, SecondSweepChangesNothing)
{
    const int n = 2;
    std::vector<double> a = {1, 0.64, 1.5625, 1}, scale(2);
    int low, igh;
    balanc(&n, &n, a.data(), &low, &igh, scale.data());
    EXPECT_EQ(scale, (std::vector<double>{1, 1}));
    EXPECT_EQ(a, (std::vector<double>{1, 0.64, 1.5625, 1}));
}

TEST(Balanc, IsolatedEigenvaluesAndFactorsAsLapack)
{
    // A 2-by-2 scaled by 1e4 beside the eigenvalue 9 that row 3 isolates:
    // dgebal's low, igh, factors and balanced matrix.
    const int n = 3;
    std::vector<double> a = {1, 1e-4, 0, 1e4, 2, 0, 3, 4, 9}, scale(3);
    int low, igh;
    balanc(&n, &n, a.data(), &low, &igh, scale.data());
    EXPECT_EQ(low, 1);
    EXPECT_EQ(igh, 2);
    EXPECT_EQ(scale, (std::vector<double>{1024, 0.125, 3}));
    EXPECT_EQ(a, (std::vector<double>{1, 0.8192, 0, 1.220703125, 2, 0, 0.0029296875, 32, 9}));
}

TEST(Balanc, IsolationPermutesAndScalesOnlyTheRest)
{
    // Row 3 has no off-diagonal entries, so 9 is an eigenvalue isolated at
    // the bottom; the rest is a badly scaled 2x2.
    const int n = 3;
    std::vector<double> a = {1, 1e-4, 0, 1e4, 2, 0, 3, 4, 9};
    const std::vector<double> original = a;
    std::vector<double> scale(3);
    int low, igh;
    balanc(&n, &n, a.data(), &low, &igh, scale.data());
    EXPECT_EQ(low, 1);
    EXPECT_EQ(igh, 2);
    EXPECT_EQ(scale[2], 3);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(std::exp2(std::round(std::log2(scale[k]))), scale[k]) << "powers of 2";
    }
    // D⁻¹·A·D with D = diag(scale): entry (i,j) times scale(j)/scale(i).
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(a[i + 3 * j], original[i + 3 * j] * scale[j] / scale[i]);
    EXPECT_LT(std::fabs(a[2]) + std::fabs(a[1]), 1e3) << "the off-diagonal pair is brought together";
}

TEST(Balbak, ScalesThenExchangesRows)
{
    const int n = 3, low = 2, igh = 3;
    // Index 1 was exchanged with 3; rows 2..3 were scaled by 4 and 0.5.
    const std::vector<double> scale = {3, 4, 0.5};
    std::vector<double> z = {1, 2, 3, 10, 20, 30};
    const int m = 2;
    balbak(&n, &n, &low, &igh, scale.data(), &m, z.data());
    EXPECT_EQ(z, (std::vector<double>{1.5, 8, 1, 15, 80, 10}));

    std::vector<double> zr = {1, 2, 3, 10, 20, 30}, zi = {-1, -2, -3, 0, 0, 1};
    cbabk2(&n, &n, &low, &igh, scale.data(), &m, zr.data(), zi.data());
    EXPECT_EQ(zr, (std::vector<double>{1.5, 8, 1, 15, 80, 10}));
    EXPECT_EQ(zi, (std::vector<double>{-1.5, -8, -1, 0.5, 0, 0}));

    // No columns: nothing moves.
    std::vector<double> untouched = {1, 2, 3};
    const int none = 0;
    balbak(&n, &n, &low, &igh, scale.data(), &none, untouched.data());
    EXPECT_EQ(untouched, (std::vector<double>{1, 2, 3}));

    // low = igh: only the exchanges.
    const int one = 1, two = 2;
    const std::vector<double> exchange = {2, 5, 3};
    std::vector<double> w = {7, 8, 9};
    balbak(&n, &n, &two, &two, exchange.data(), &one, w.data());
    EXPECT_EQ(w, (std::vector<double>{8, 7, 9}));
}

TEST(Cbal, ComplexEntriesCountByBothParts)
{
    // An entry with only an imaginary part is non-zero: no isolation.
    const int n = 2;
    std::vector<double> re = {1, 0, 0, 1}, im = {0, 0.01, 100, 0}, scale(2);
    int low, igh;
    cbal(&n, &n, re.data(), im.data(), &low, &igh, scale.data());
    EXPECT_EQ(low, 1);
    EXPECT_EQ(igh, 2);
    EXPECT_EQ(scale, (std::vector<double>{16, 0.25}));
    EXPECT_EQ(im, (std::vector<double>{0, 0.64, 1.5625, 0}));

    // Norms of moduli: (0.005 + 0.005i) weighs as 0.00707.
    std::vector<double> re2 = {1, 0.005, 100, 1}, im2 = {0, 0.005, 0, 0}, scale2(2);
    cbal(&n, &n, re2.data(), im2.data(), &low, &igh, scale2.data());
    EXPECT_EQ(scale2, (std::vector<double>{16, 0.25}));
    EXPECT_EQ(re2, (std::vector<double>{1, 0.32, 1.5625, 1}));
    EXPECT_EQ(im2, (std::vector<double>{0, 0.32, 0, 0}));
}

} // namespace
