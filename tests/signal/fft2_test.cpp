// fft2, ifft2, fftshift and ifftshift: quadrant swaps of odd and even
// sizes, vectors against the one-dimensional transform, explicit sizes and
// a two-dimensional reference.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

namespace ref {
#include "data/fft_reference.inc"
}

double input_re(long j) { return double((j * 7919 + 13) % 1009) / 1009 - 0.5; }

Mm input_matrix(int r, int c)
{
    Mm x(0, 0, 0, r, c, qv_double);
    for (int k = 0; k < r * c; ++k)
        x.addr()[k] = input_re(k);
    return x;
}

double max_difference(const Mm& a, const Mm& b)
{
    EXPECT_EQ(test::extents(a), test::extents(b));
    double worst = 0;
    for (int k = 0; k < std::min(a.size(), b.size()); ++k) {
        const double ai = a.addi() ? a.addi()[k] : 0, bi = b.addi() ? b.addi()[k] : 0;
        worst = std::max(worst, std::hypot(a.addr()[k] - b.addr()[k], ai - bi));
    }
    return worst;
}

TEST(FftShift, QuadrantSwaps)
{
    struct Case {
        const char* what;
        Mm result;
        Mm expected;
    };
    const std::vector<Case> cases = {
        {"odd row", fftshift(test::row({1, 2, 3, 4, 5})), test::row({4, 5, 1, 2, 3})},
        {"odd row back", ifftshift(test::row({1, 2, 3, 4, 5})), test::row({3, 4, 5, 1, 2})},
        {"even row", fftshift(test::row({1, 2, 3, 4})), test::row({3, 4, 1, 2})},
        {"even row back", ifftshift(test::row({1, 2, 3, 4})), test::row({3, 4, 1, 2})},
        {"odd column", fftshift(test::real(3, 1, {1, 2, 3})), test::real(3, 1, {3, 1, 2})},
        {"2x2", fftshift(test::real(2, 2, {1, 3, 2, 4})), test::real(2, 2, {4, 2, 3, 1})},
        {"3x2", fftshift(test::real(3, 2, {1, 2, 3, 4, 5, 6})), test::real(3, 2, {6, 4, 5, 3, 1, 2})},
        {"scalar", fftshift(Mm(7.0)), Mm(7.0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.result), test::extents(c.expected));
        EXPECT_EQ(test::values(c.result), test::values(c.expected));
    }
    EXPECT_EQ(fftshift(Mm()).size(), 0);

    for (auto dims : {std::vector<int>{3, 5}, {4, 6}, {5, 4}, {1, 7}, {2, 3, 2}}) {
        const Mm x = test::counting(dims);
        EXPECT_EQ(test::values(ifftshift(fftshift(x))), test::values(x));
        EXPECT_EQ(test::extents(fftshift(x)), test::extents(x));
    }
    // pages are swapped one by one
    const Mm pages = fftshift(test::counting({2, 2, 2}));
    EXPECT_EQ(test::values(pages), (std::vector<double>{4, 3, 2, 1, 8, 7, 6, 5}));
    // the element kind is kept
    const Mm bytes = fftshift(test::bytes(1, 3, {1, 2, 3}));
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    EXPECT_EQ(bytes.ur(1), 3);
    EXPECT_TRUE(fftshift(test::text("abc")).isstr());
    const Mm z = fftshift(test::complex(1, 2, {1, 2}, {3, 4}));
    EXPECT_EQ(test::values(imag(z)), (std::vector<double>{4, 3}));
}

TEST(Fft2, VectorsAndSizes)
{
    const Mm r = test::row({1, 2, 3, 4, 5});
    EXPECT_EQ(test::values(fft2(r)), test::values(fft(r)));
    EXPECT_EQ(test::values(imag(fft2(r))), test::values(imag(fft(r))));
    const Mm c = test::real(3, 1, {1, 2, 4});
    EXPECT_EQ(test::values(fft2(c)), test::values(fft(c)));
    EXPECT_EQ(test::values(ifft2(c)), test::values(ifft(c)));

    EXPECT_EQ(test::extents(fft2(test::row({1, 2, 3}), Mm(4.0), Mm(4.0))), (std::vector<int>{4, 4}));
    EXPECT_EQ(test::extents(fft2(input_matrix(3, 5), Mm(8.0), Mm(8.0))), (std::vector<int>{8, 8}));
    EXPECT_EQ(test::extents(fft2(input_matrix(3, 5), Mm(2.0))), (std::vector<int>{2, 5}));
    EXPECT_TRUE(fft2(test::real(2, 2, {1, 1, 1, 1})).isc());
    // an explicit size runs two passes even for a row: its columns are
    // transformed too
    const Mm two = fft2(test::row({1, 2, 3}), Mm(2.0), Mm(3.0));
    EXPECT_EQ(test::extents(two), (std::vector<int>{2, 3}));
    EXPECT_NEAR(two.r(2, 1), 6, 1e-15);

    for (auto [rows, cols] : {std::pair{4, 6}, {5, 7}, {16, 3}}) {
        SCOPED_TRACE(rows * 100 + cols);
        const Mm x = input_matrix(rows, cols);
        EXPECT_LE(max_difference(ifft2(fft2(x)), x), 1e-14);
        EXPECT_LE(max_difference(fft2(ifft2(x)), x), 1e-14);
    }
    // pages are transformed one by one and keep the shape
    const Mm cube = test::counting({2, 3, 2});
    const Mm f = fft2(cube);
    EXPECT_EQ(test::extents(f), (std::vector<int>{2, 3, 2}));
    const Mm page2 = fft2(test::real(2, 3, {7, 8, 9, 10, 11, 12}));
    for (int k = 1; k <= 6; ++k) {
        EXPECT_NEAR(f.r(6 + k), page2.r(k), 1e-13);
        EXPECT_NEAR(f.i(6 + k), page2.i(k), 1e-13);
    }
}

TEST(Fft2, AgainstReference)
{
    const double* p = ref::fft2_reference;
    const double* end = p + sizeof(ref::fft2_reference) / sizeof(double);
    while (p < end) {
        const int r = int(p[0]), c = int(p[1]), m = int(p[2]), n = int(p[3]);
        SCOPED_TRACE(std::to_string(r) + "x" + std::to_string(c) + " at " + std::to_string(m) + "x" +
                     std::to_string(n));
        p += 4;
        const Mm y = fft2(input_matrix(r, c), Mm(double(m)), Mm(double(n)));
        ASSERT_EQ(test::extents(y), (std::vector<int>{m, n}));
        double big = 0;
        for (int k = 0; k < m * n; ++k)
            big = std::max(big, std::hypot(p[k], p[m * n + k]));
        const double tol = 16 * 2.220446049250313e-16 * std::log2(double(m * n) + 1) * big;
        for (int k = 0; k < m * n; ++k) {
            EXPECT_NEAR(y.addr()[k], p[k], tol) << k;
            EXPECT_NEAR(y.addi()[k], p[m * n + k], tol) << k;
        }
        p += 2 * m * n;
    }
}

} // namespace
