// fft, ifft and dft: kernel values and factor lists, shapes and errors of
// the front, accuracy of every path against extended-precision sums, in
// both power-of-two backends, and concurrent transforms.
#include "signal/fft_internal.hpp"
#include "signal/fft_kernels.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <thread>
#include <vector>

namespace {

#include "data/fft_reference.inc"
#include "data/fft_prime_reference.inc"

constexpr double eps = 2.220446049250313e-16;

// The inputs the reference script transforms.
double input_re(long j) { return double((j * 7919 + 13) % 1009) / 1009 - 0.5; }
double input_im(long j) { return double((j * 104729 + 7) % 1013) / 1013 - 0.5; }

Mm input_column(int n, bool complex)
{
    Mm x(complex, 0, 0, n, 1, qv_double);
    for (int j = 0; j < n; ++j) {
        x.addr()[j] = input_re(j);
        if (complex)
            x.addi()[j] = input_im(j);
    }
    return x;
}

std::vector<std::complex<double>> elements(const Mm& x)
{
    std::vector<std::complex<double>> v(x.size());
    for (int k = 0; k < x.size(); ++k)
        v[k] = {x.addr()[k], x.addi() ? x.addi()[k] : 0.0};
    return v;
}

// The largest factor of n above 5: the general odd passes sum p terms and
// form their roots of unity by recurrence, so their error grows with p.
int general_radix(int n)
{
    int largest = 1;
    for (int p : complex_fft_factors(n))
        largest = std::max(largest, p > 5 ? p : 1);
    return largest;
}

// The error bound of a transform of length n with largest magnitude big:
// a few eps per pass and per term of a general pass, plus the packed path's
// twiddle recurrence, whose error grows linearly with n.
double bound(int n, double big)
{
    const double passes = std::max(1.0, std::log2(double(n)));
    return (8 * eps * (passes + general_radix(n)) + 2e-17 * n) * std::max(big, 1.0);
}

void expect_near_all(const std::vector<std::complex<double>>& got, const std::vector<std::complex<double>>& want)
{
    ASSERT_EQ(got.size(), want.size());
    double big = 0;
    for (auto w : want)
        big = std::max(big, std::abs(w));
    const double tol = bound(int(want.size()), big);
    for (std::size_t k = 0; k < want.size(); ++k)
        ASSERT_LE(std::abs(got[k] - want[k]), tol) << "element " << k << ": " << got[k] << " vs " << want[k];
}

// Runs the body with powers of two served by FFTW (when built in) and by
// our own kernel.
class FftBackends : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { old_ = pow2_force_own_kernel(GetParam()); }
    void TearDown() override { pow2_force_own_kernel(old_); }
    bool old_ = false;
};

INSTANTIATE_TEST_SUITE_P(Backend, FftBackends, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OwnKernel" : "Default"; });

TEST(FftKernels, FactorLists)
{
    struct Case {
        int n;
        std::vector<int> real, complex;
    };
    const std::vector<Case> cases = {
        {6, {2, 3}, {2, 3}},
        {12, {4, 3}, {3, 4}},
        {18, {2, 3, 3}, {2, 3, 3}},
        {24, {2, 4, 3}, {2, 3, 4}},
        {100, {4, 5, 5}, {4, 5, 5}},
        {1000, {2, 4, 5, 5, 5}, {2, 4, 5, 5, 5}},
        {3072, {4, 4, 4, 4, 4, 3}, {3, 4, 4, 4, 4, 4}},
        {14, {2, 7}, {2, 7}},
        {7, {7}, {7}},
        {1155, {3, 5, 7, 11}, {3, 5, 7, 11}},
        {2, {2}, {2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(real_fft_factors(c.n), c.real);
        EXPECT_EQ(complex_fft_factors(c.n), c.complex);
    }
}

TEST(FftKernels, RealKernelHalfComplexOutput)
{
    std::vector<double> r = {1, 2, 3}, work(2 * 3 + 16);
    real_fft_init(3, work.data());
    real_fft_forward(3, r.data(), work.data());
    EXPECT_DOUBLE_EQ(r[0], 6);
    EXPECT_DOUBLE_EQ(r[1], -1.5);
    EXPECT_DOUBLE_EQ(r[2], 0.866025403784439) << "the radix-3 literal, not sqrt(3)/2";

    std::vector<double> one = {4.5}, w1(18);
    real_fft_init(1, w1.data());
    real_fft_forward(1, one.data(), w1.data());
    EXPECT_EQ(one[0], 4.5);
}

// An impulse at 1 transforms to the roots of unity: through the general
// pass with its stored roots (97) and with roots evaluated on demand for
// primes above the Bluestein threshold, which fft itself sends there only
// in lengths beyond 2^29 (101, 2 * 1031).
TEST(FftKernels, RealKernelGeneralPassRoots)
{
    for (int n : {97, 2 * 97, 101, 2 * 1031}) {
        SCOPED_TRACE(n);
        std::vector<double> r(n, 0.0), work(2 * std::size_t(n) + 16);
        r[1] = 1;
        real_fft_init(n, work.data());
        real_fft_forward(n, r.data(), work.data());
        EXPECT_NEAR(r[0], 1, bound(n, 1.0));
        for (int k = 1; 2 * k < n; ++k) {
            SCOPED_TRACE(k);
            EXPECT_NEAR(r[2 * k - 1], std::cos(2 * M_PI * k / n), bound(n, 1.0));
            EXPECT_NEAR(r[2 * k], -std::sin(2 * M_PI * k / n), bound(n, 1.0));
        }
        if (n % 2 == 0) {
            EXPECT_NEAR(r[n - 1], -1, bound(n, 1.0));
        }
    }
}

TEST(FftKernels, ComplexKernelImpulses)
{
    std::vector<double> work(4 * 6 + 16);
    complex_fft_init(6, work.data());
    std::vector<double> delta0(12, 0.0), delta1(12, 0.0);
    delta0[0] = 1;
    delta1[2] = 1;
    complex_fft_forward(6, delta0.data(), work.data());
    complex_fft_forward(6, delta1.data(), work.data());
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(delta0[2 * k], 1, 1e-15);
        EXPECT_NEAR(delta0[2 * k + 1], 0, 1e-15);
        EXPECT_NEAR(delta1[2 * k], std::cos(-2 * M_PI * k / 6), 4 * eps);
        EXPECT_NEAR(delta1[2 * k + 1], std::sin(-2 * M_PI * k / 6), 4 * eps);
    }
    // forward then backward is n times the input (a prime length: one
    // general pass whose result lands in the work array)
    std::vector<double> w7(4 * 7 + 16), c(14);
    for (int j = 0; j < 14; ++j)
        c[j] = input_re(j);
    const std::vector<double> original = c;
    complex_fft_init(7, w7.data());
    complex_fft_forward(7, c.data(), w7.data());
    complex_fft_backward(7, c.data(), w7.data());
    for (int j = 0; j < 14; ++j)
        EXPECT_NEAR(c[j], 7 * original[j], 7 * bound(7, 1.0));
}

TEST(Fft, ValuesOfShortVectors)
{
    const Mm y = fft(test::row({1, 2, 3}));
    ASSERT_TRUE(y.isc());
    EXPECT_EQ(test::extents(y), (std::vector<int>{1, 3}));
    EXPECT_DOUBLE_EQ(y.addr()[0], 6);
    EXPECT_DOUBLE_EQ(y.addr()[1], -1.5);
    EXPECT_DOUBLE_EQ(y.addi()[1], 0.866025403784439);
    EXPECT_DOUBLE_EQ(y.addr()[2], -1.5);
    EXPECT_DOUBLE_EQ(y.addi()[2], -0.866025403784439);
    EXPECT_EQ(y.addi()[0], 0);

    const Mm two = fft(test::row({1, 1}));
    ASSERT_TRUE(two.isc()) << "the result is complex even when its values are real";
    EXPECT_EQ(test::values(two), (std::vector<double>{2, 0}));
    EXPECT_EQ(two.addi()[0], 0);
    EXPECT_EQ(two.addi()[1], 0);

    EXPECT_EQ(test::values(dft(test::row({1, 2, 3}))), test::values(y));
    EXPECT_EQ(test::values(fft(test::bytes(1, 3, {1, 2, 3}))), test::values(y));
    EXPECT_EQ(test::values(fft(test::text("ab"))), (std::vector<double>{97 + 98, -1}));
}

TEST(Fft, Shapes)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<int> extents;
    };
    const Mm m = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    const std::vector<Case> cases = {
        {"row along the row", fft(test::row({1, 2, 3, 4})), {1, 4}},
        {"matrix per column", fft(m), {2, 3}},
        {"matrix per row", fft(m, Mm(), Mm(2.0)), {2, 3}},
        {"pages", fft(test::counting({2, 3, 4}), Mm(5.0), Mm(3.0)), {2, 3, 5}},
        {"pages at their own length", fft(test::counting({2, 3, 4}), Mm(), Mm(3.0)), {2, 3, 4}},
        {"scalar padded to a row", fft(Mm(5.0), Mm(4.0)), {1, 4}},
        {"scalar padded along dim 1", fft(Mm(5.0), Mm(4.0), Mm(1.0)), {4, 1}},
        {"truncated", fft(test::row({1, 2, 3, 4, 5}), Mm(3.0)), {1, 3}},
        {"half rounds up", fft(test::row({1, 2, 3}), Mm(2.5)), {1, 3}},
        {"padded column", fft(test::real(3, 1, {1, 2, 3}), Mm(8.0)), {8, 1}},
        // every empty value of the library is 0x0
        {"length 0", fft(m, Mm(0.0)), {0, 0}},
        {"negative length", fft(m, Mm(-2.0), Mm(2.0)), {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.result), c.extents);
        if (c.result.size() > 0) {
            EXPECT_TRUE(c.result.isc());
        }
    }
    EXPECT_EQ(test::values(fft(Mm(5.0), Mm(4.0))), (std::vector<double>{5, 5, 5, 5}));
    EXPECT_EQ(test::values(fft(test::row({1, 2, 3, 4, 5}), Mm(3.0))), test::values(fft(test::row({1, 2, 3}))));
    EXPECT_EQ(test::values(fft(test::row({1, 2}), Mm(4.0))), test::values(fft(test::row({1, 2, 0, 0}))));
    EXPECT_EQ(fft(Mm()).size(), 0);
    EXPECT_EQ(fft(Mm(0, 0, 0, 0, 3, qv_double), Mm(), Mm(1.0)).size(), 0);

    // per row equals the transposed per-column transform
    const Mm rows = fft(m, Mm(), Mm(2.0));
    const Mm cols = dot_transpose(fft(dot_transpose(m)));
    expect_near_all(elements(rows), elements(cols));

    // pages: element (i, j, :) is the transform of x(i, j, :)
    const Mm x = test::counting({2, 3, 4});
    const Mm y = fft(x, Mm(), Mm(3.0));
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 3; ++j) {
            Mm line(0, 0, 0, 4, 1, qv_double);
            for (int p = 1; p <= 4; ++p)
                line.addr()[p - 1] = x.r(i, j, p);
            const Mm want = fft(line);
            for (int p = 1; p <= 4; ++p) {
                EXPECT_NEAR(y.r(i, j, p), want.r(p), 1e-13);
                EXPECT_NEAR(y.i(i, j, p), want.i(p), 1e-13);
            }
        }

    // a sparse input is transformed as its full equivalent; the result is full
    const Mm s = sparse(test::real(4, 1, {0, 2, 0, 1}));
    const Mm fs = fft(s);
    EXPECT_FALSE(fs.issparse());
    EXPECT_EQ(test::values(fs), test::values(fft(test::real(4, 1, {0, 2, 0, 1}))));
}

// Along the first dimension of a three-dimensional value the pages stay:
// every line (:, j, p) is transformed on its own and the result keeps the
// extents, with the first one replaced by a given length.
TEST(Fft, FirstDimensionOfPagesKeepsTheShape)
{
    const Mm t = test::counting({2, 3, 5});
    struct Case {
        const char* what;
        Mm result;
        int rows;
        int dir;
    };
    const std::vector<Case> cases = {
        {"fft(t)", fft(t), 2, -1},
        {"fft(t, [], 1)", fft(t, Mm(), Mm(1.0)), 2, -1},
        {"ifft(t)", ifft(t), 2, +1},
        {"ifft(t, [], 1)", ifft(t, Mm(), Mm(1.0)), 2, +1},
        {"fft(t, 4)", fft(t, Mm(4.0)), 4, -1},
        {"fft(t, 3, 1)", fft(t, Mm(3.0), Mm(1.0)), 3, -1},
        {"ifft(t, 7)", ifft(t, Mm(7.0)), 7, +1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(test::extents(c.result), (std::vector<int>{c.rows, 3, 5}));
        for (int j = 1; j <= 3; ++j)
            for (int p = 1; p <= 5; ++p)
                for (int k = 0; k < c.rows; ++k) {
                    // the direct sum over the (zero-padded) line
                    std::complex<long double> want = 0;
                    for (int i = 0; i < std::min(2, c.rows); ++i) {
                        const long double a = c.dir * 2 * 3.14159265358979323846L * i * k / c.rows;
                        want += (long double)t.r(i + 1, j, p) * std::complex<long double>(std::cos(a), std::sin(a));
                    }
                    if (c.dir > 0)
                        want /= (long double)c.rows;
                    EXPECT_NEAR(c.result.r(k + 1, j, p), double(want.real()), 1e-13);
                    EXPECT_NEAR(c.result.i(k + 1, j, p), double(want.imag()), 1e-13);
                }
    }
}

TEST(Fft, Errors)
{
    const Mm x = test::row({1, 2});
    EXPECT_ERROR(fft(x, Mm(), Mm()), "fft: dim argument may not be empty");
    EXPECT_ERROR(fft(x, Mm(), Mm(-1.0)), "fft: dim argument must be positive");
    EXPECT_ERROR(ifft(x, Mm(), Mm()), "fft: dim argument may not be empty");
    EXPECT_ERROR(ifft(test::real(2, 2, {1, 1, 1, 1}), Mm(), Mm(3.0)),
                 "fft: dim argument may not be more then the number of dimensions");
    // fft(x, NaN) gave an empty value without a word: a length that is not
    // a number, or infinite, is refused in every front that takes one
    const Mm sq = test::real(2, 2, {1, 2, 3, 4});
    EXPECT_ERROR(fft(x, Mm(NAN)), "fft: n must be finite");
    EXPECT_ERROR(fft(x, Mm(INFINITY)), "fft: n must be finite");
    EXPECT_ERROR(ifft(x, Mm(NAN)), "fft: n must be finite");
    EXPECT_ERROR(fft(x, Mm(-INFINITY), Mm(1.0)), "fft: n must be finite");
    EXPECT_ERROR(fft2(sq, Mm(NAN)), "fft: n must be finite");
    EXPECT_ERROR(ifft2(sq, Mm(2.0), Mm(NAN)), "fft: n must be finite");
    // A length or dimension with an imaginary part was read as its real
    // part, without a word.
    struct Case {
        const char* what;
        std::function<Mm()> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"fft(x, 4+i)", [&] { return fft(x, test::complex(1, 1, {4}, {1})); }, "fft: n must be real"},
        {"ifft(x, 2i)", [&] { return ifft(x, test::complex(1, 1, {0}, {2})); }, "fft: n must be real"},
        {"fft(x, sparse(3-i))", [&] { return fft(x, sparse(test::complex(1, 1, {3}, {-1}))); }, "fft: n must be real"},
        {"fft2(sq, 2, 2+i)", [&] { return fft2(sq, Mm(2.0), test::complex(1, 1, {2}, {1})); }, "fft: n must be real"},
        {"ifft2(sq, 2+i, 2)", [&] { return ifft2(sq, test::complex(1, 1, {2}, {1}), Mm(2.0)); }, "fft: n must be real"},
        {"fft(sq, [], 2+i)", [&] { return fft(sq, Mm(), test::complex(1, 1, {2}, {1})); },
         "fft: dim argument must be real"},
        {"ifft(sq, [], 1e-300i)", [&] { return ifft(sq, Mm(), test::complex(1, 1, {0}, {1e-300})); },
         "fft: dim argument must be real"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.call(), c.message);
    }
    // Imaginary parts that are all 0 are the real length and dimension.
    EXPECT_EQ(test::values(real(fft(sq, test::complex(1, 1, {3}, {0}), test::complex(1, 1, {2}, {0})))),
              test::values(real(fft(sq, Mm(3.0), Mm(2.0)))));
    EXPECT_EQ(test::values(imag(fft(sq, test::complex(1, 1, {3}, {0}), test::complex(1, 1, {2}, {0})))),
              test::values(imag(fft(sq, Mm(3.0), Mm(2.0)))));
    // lengths that are numbers keep their meaning: none at or below 0
    EXPECT_EQ(fft(x, Mm(-3.0)).size(), 0);
    EXPECT_EQ(fft(x, Mm(2.4)).size(), 2);
}

TEST_P(FftBackends, EveryLengthAgainstReference)
{
    const double* ref = fft_reference_values;
    for (int n : fft_reference_lengths) {
        SCOPED_TRACE("n = " + std::to_string(n));
        auto block = [&](int which) {
            std::vector<std::complex<double>> v(n);
            for (int k = 0; k < n; ++k)
                v[k] = {ref[2 * which * n + k], ref[(2 * which + 1) * n + k]};
            return v;
        };
        const auto fx = block(0), fz = block(1), iz = block(2);
        const Mm x = input_column(n, false), z = input_column(n, true);

        expect_near_all(elements(fft(x)), fx);
        expect_near_all(elements(fft(z)), fz);
        expect_near_all(elements(ifft(z)), iz);
        // the inverse of a real sequence is the conjugate of its transform / n
        std::vector<std::complex<double>> ix(n);
        for (int k = 0; k < n; ++k)
            ix[k] = std::conj(fx[k]) / double(n);
        expect_near_all(elements(ifft(x)), ix);

        // round trips through every path
        std::vector<std::complex<double>> xs(n), zs(n);
        for (int j = 0; j < n; ++j) {
            xs[j] = {input_re(j), 0};
            zs[j] = {input_re(j), input_im(j)};
        }
        expect_near_all(elements(ifft(fft(x))), xs);
        expect_near_all(elements(ifft(fft(z))), zs);
        expect_near_all(elements(fft(ifft(z))), zs);
        ref += 6 * n;
    }
}

TEST_P(FftBackends, LargeLengthsAtSpotBins)
{
    int current = -1;
    Mm fx, fz;
    for (const auto& s : fft_reference_spots) {
        SCOPED_TRACE("n = " + std::to_string(s.n) + ", k = " + std::to_string(s.k));
        if (s.n != current) {
            current = s.n;
            fx = fft(input_column(s.n, false));
            fz = fft(input_column(s.n, true));
        }
        // the largest magnitude of these inputs is of the order of n / 2
        const double tol = bound(s.n, 0.5 * s.n);
        EXPECT_NEAR(fx.addr()[s.k], s.xr, tol);
        EXPECT_NEAR(fx.addi()[s.k], s.xi, tol);
        EXPECT_NEAR(fz.addr()[s.k], s.zr, tol);
        EXPECT_NEAR(fz.addi()[s.k], s.zi, tol);
    }
}

TEST_P(FftBackends, LargeRoundTrips)
{
    for (int n : {1 << 16, 3 << 14, 1 << 20, 1000000}) {
        SCOPED_TRACE(n);
        for (bool complex : {false, true}) {
            const Mm x = input_column(n, complex);
            const Mm back = ifft(fft(x));
            double worst = 0;
            for (int j = 0; j < n; ++j)
                worst = std::max(worst, std::abs(std::complex<double>(back.addr()[j], back.addi()[j]) -
                                                 std::complex<double>(x.addr()[j], complex ? x.addi()[j] : 0.0)));
            EXPECT_LE(worst, bound(n, 1.0));
        }
    }
}

// The accuracy every length must reach: a few eps per level of the
// transform, relative to the largest magnitude of the spectrum.
double strict_bound(int n, double big) { return 1e-14 * (1 + std::log2(double(n))) * big; }

// The direct transform of a real sequence in long double, angles reduced
// exactly through j*k mod n.
std::vector<std::complex<long double>> direct_real_dft(const std::vector<double>& v)
{
    const int n = int(v.size());
    std::vector<long double> c(n), s(n);
    for (int m = 0; m < n; ++m) {
        const long double a = 2 * 3.141592653589793238462643383279503L * m / n;
        c[m] = std::cos(a);
        s[m] = -std::sin(a);
    }
    std::vector<std::complex<long double>> out(n);
    for (int k = 0; k < n; ++k) {
        long double re = 0, im = 0;
        int m = 0;
        for (int j = 0; j < n; ++j) {
            re += v[j] * c[m];
            im += v[j] * s[m];
            m += k;
            if (m >= n)
                m -= n;
        }
        out[k] = {re, im};
    }
    return out;
}

// Lengths with prime factors above 5: single primes, products of two
// general factors, and primes large enough for the chirp convolution.
TEST_P(FftBackends, PrimeFactorLengthsAgainstDirectSums)
{
    for (int n : {101, 127, 211, 1009, 2 * 3 * 97, 4099, 89 * 97, 7919, 2 * 4999, 10007}) {
        SCOPED_TRACE("n = " + std::to_string(n));
        std::vector<double> x(n), y(n);
        for (int j = 0; j < n; ++j) {
            x[j] = input_re(j);
            y[j] = input_im(j);
        }
        const auto dx = direct_real_dft(x), dy = direct_real_dft(y);
        // fft(x), fft(x + iy) and ifft(x + iy) from the two real transforms
        std::vector<std::complex<double>> fx(n), fz(n), iz(n);
        const std::complex<long double> i(0, 1);
        for (int k = 0; k < n; ++k) {
            const int r = (n - k) % n;
            fx[k] = std::complex<double>(dx[k]);
            fz[k] = std::complex<double>(dx[k] + i * dy[k]);
            iz[k] = std::complex<double>((dx[r] + i * dy[r]) / (long double)n);
        }
        const Mm xm = input_column(n, false), zm = input_column(n, true);
        struct Path {
            const char* what;
            Mm got;
            const std::vector<std::complex<double>>& want;
        };
        const std::vector<Path> paths = {
            {"fft(x)", fft(xm), fx}, {"fft(x + iy)", fft(zm), fz}, {"ifft(x + iy)", ifft(zm), iz}};
        for (const auto& p : paths) {
            SCOPED_TRACE(p.what);
            double big = 0, worst = 0;
            for (auto w : p.want)
                big = std::max(big, std::abs(w));
            const auto got = elements(p.got);
            for (int k = 0; k < n; ++k)
                worst = std::max(worst, std::abs(got[k] - p.want[k]));
            EXPECT_LE(worst, strict_bound(n, big));
        }
        // the round trips land on the input within a few eps
        const auto back = elements(ifft(fft(xm))), zback = elements(ifft(fft(zm)));
        for (int j = 0; j < n; ++j) {
            ASSERT_LE(std::abs(back[j] - std::complex<double>(x[j], 0)), strict_bound(n, 0.5)) << j;
            ASSERT_LE(std::abs(zback[j] - std::complex<double>(x[j], y[j])), strict_bound(n, 1.0)) << j;
        }
    }
}

// Lengths up to 2^22 with a large prime factor, at spot bins; and the
// large lengths of the general reference (powers of two through the packed
// real path) held to the same bound.
TEST_P(FftBackends, LargePrimeFactorLengthsAtSpotBins)
{
    int current = -1;
    Mm gx, gz;
    double bigx = 0, bigz = 0;
    for (const auto& s : fft_reference_spots) {
        SCOPED_TRACE("n = " + std::to_string(s.n) + ", k = " + std::to_string(s.k));
        if (s.n != current) {
            current = s.n;
            gx = fft(input_column(s.n, false));
            gz = fft(input_column(s.n, true));
            bigx = bigz = 0;
            for (int k = 0; k < s.n; ++k) {
                bigx = std::max(bigx, std::hypot(gx.addr()[k], gx.addi()[k]));
                bigz = std::max(bigz, std::hypot(gz.addr()[k], gz.addi()[k]));
            }
        }
        EXPECT_LE(std::abs(std::complex<double>(gx.addr()[s.k], gx.addi()[s.k]) - std::complex<double>(s.xr, s.xi)),
                  strict_bound(s.n, bigx));
        EXPECT_LE(std::abs(std::complex<double>(gz.addr()[s.k], gz.addi()[s.k]) - std::complex<double>(s.zr, s.zi)),
                  strict_bound(s.n, bigz));
    }

    for (const auto& scale : fft_prime_scales) {
        const int n = scale.n;
        SCOPED_TRACE("n = " + std::to_string(n));
        const Mm x = input_column(n, false), z = input_column(n, true);
        const Mm fx = fft(x), fz = fft(z), iz = ifft(z);
        for (const auto& s : fft_prime_spots) {
            if (s.n != n)
                continue;
            SCOPED_TRACE("k = " + std::to_string(s.k));
            EXPECT_LE(std::abs(std::complex<double>(fx.addr()[s.k], fx.addi()[s.k]) - std::complex<double>(s.xr, s.xi)),
                      strict_bound(n, scale.x));
            EXPECT_LE(std::abs(std::complex<double>(fz.addr()[s.k], fz.addi()[s.k]) - std::complex<double>(s.zr, s.zi)),
                      strict_bound(n, scale.z));
            EXPECT_LE(std::abs(std::complex<double>(iz.addr()[s.k], iz.addi()[s.k]) - std::complex<double>(s.ir, s.ii)),
                      strict_bound(n, scale.z) / n);
        }
        // the round trip of the real input
        const Mm back = ifft(fx);
        double worst = 0;
        for (int j = 0; j < n; ++j)
            worst = std::max(worst, std::abs(std::complex<double>(back.addr()[j] - x.addr()[j], back.addi()[j])));
        EXPECT_LE(worst, strict_bound(n, 0.5));
    }
}

// fft of zeros(16, 1) with x(1) = 1e308 had 12 non-finite entries of 16:
// the packed real path formed 0.5 (a + b) with a + b past the largest
// double, and the chirp convolution's sums pass it for any length. A column
// near the largest double is transformed to what is representable: an
// impulse v at place p gives v exp(-+2 pi i p k / n) (and 1/n of it from
// ifft), exactly v at p = 0 for powers of two, at every length, real and
// complex; a constant column just below the limit sums to its total; one
// whose total overflows gives Inf there and finite values elsewhere.
TEST_P(FftBackends, ValuesNearTheLargestDouble)
{
    for (int n : {16, 32, 64, 1024}) {
        SCOPED_TRACE(n);
        Mm x = Mm(0, 0, 0, n, 1, qv_double);
        std::fill(x.addr(), x.addr() + n, 0.0);
        x.addr()[0] = 1e308;
        const Mm f = fft(x), g = ifft(x);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(f.addr()[k], 1e308) << k;
            ASSERT_EQ(f.addi()[k], 0) << k;
            ASSERT_EQ(g.addr()[k], 1e308 / n) << k;
            ASSERT_EQ(g.addi()[k], 0) << k;
        }
    }
    std::vector<int> lengths;
    for (int n = 1; n <= 300; ++n)
        lengths.push_back(n);
    for (int n : {509, 512, 1000, 1021, 1024, 2048, 4096, 4097})
        lengths.push_back(n);
    const double pi2 = 6.283185307179586;
    for (int n : lengths) {
        for (int p : {0, 1, n / 2, n - 1}) {
            if (p >= n)
                continue;
            for (const std::complex<double> v : {std::complex<double>(1e308, 0), std::complex<double>(-1.7e308, 0),
                                                 std::complex<double>(1.2e308, -0.9e308)}) {
                SCOPED_TRACE(::testing::Message() << "n " << n << ", place " << p << ", value " << v);
                const bool complex = v.imag() != 0;
                Mm x(complex, 0, 0, n, 1, qv_double);
                std::fill(x.addr(), x.addr() + n, 0.0);
                if (complex)
                    std::fill(x.addi(), x.addi() + n, 0.0);
                x.addr()[p] = v.real();
                if (complex)
                    x.addi()[p] = v.imag();
                const auto f = elements(fft(x)), g = elements(ifft(x));
                const double tol = bound(n, std::abs(v));
                for (int k = 0; k < n; ++k) {
                    const double angle = pi2 * double((long(p) * k) % n) / n;
                    const std::complex<double> turn(std::cos(angle), std::sin(angle));
                    ASSERT_LE(std::abs(f[k] - v * std::conj(turn)), tol) << k << ": " << f[k];
                    ASSERT_LE(std::abs(g[k] - v * turn / double(n)), tol / n) << k << ": " << g[k];
                }
            }
        }
    }
    for (int n : {3, 16, 17, 100, 128, 1000}) {
        SCOPED_TRACE(n);
        const double c = 0x1.fffffffffffffp+1023 / 2 / n;
        Mm x(0, 0, 0, n, 1, qv_double);
        std::fill(x.addr(), x.addr() + n, c);
        const auto f = elements(fft(x)), back = elements(ifft(fft(x)));
        const double total = c * n, tol = bound(n, total);
        EXPECT_LE(std::abs(f[0] - total), tol) << f[0];
        for (int k = 1; k < n; ++k)
            ASSERT_LE(std::abs(f[k]), tol) << k << ": " << f[k];
        for (int k = 0; k < n; ++k)
            ASSERT_LE(std::abs(back[k] - c), bound(n, c)) << k << ": " << back[k];
        // past the limit: the total alone overflows
        std::fill(x.addr(), x.addr() + n, 1e308);
        const auto over = elements(fft(x));
        EXPECT_EQ(over[0].real(), INFINITY);
        for (int k = 1; k < n; ++k)
            ASSERT_TRUE(std::isfinite(over[k].real()) && std::isfinite(over[k].imag())) << k << ": " << over[k];
    }
}

// The chirp convolution of length n runs on a length of factors 2, 3 and 5
// near 2n (a power of two took up to 4n); the general passes take the
// lengths whose prime factors are small enough, and never a prime factor
// above largest_direct_factor below 2^29.
TEST(FftKernels, ChirpConvolutionLengthsAndTheChoiceOfPath)
{
    auto largest_prime = [](int n) {
        int big = 1;
        for (int d = 2; d * d <= n; ++d)
            while (n % d == 0) {
                big = d;
                n /= d;
            }
        return n > 1 ? n : big;
    };
    for (int n : {32, 33, 101, 127, 1009, 4099, 10007, 16411, 20806, 32769, 65537, 72821, 99991, 1000003, 4194301,
                  (1 << 29) - 3}) {
        SCOPED_TRACE(n);
        const int m = bluestein_length(n);
        EXPECT_GE(m, 2 * n - 1);
        EXPECT_LE(largest_prime(m), 5);
        EXPECT_LE(m, 1.25 * (2 * n - 1));
    }
    for (bool real : {false, true}) {
        SCOPED_TRACE(real);
        for (int n : {2, 3, 64, 1000, 3 << 20, 1 << 29})
            EXPECT_FALSE(bluestein_pays(n, real)) << n << ": factors 2, 3 and 5 only";
        for (int n : {1031, 2 * 1031, 7 * 11 * 1031, 1000003, 4194301, (1 << 29) - 3})
            EXPECT_EQ(bluestein_pays(n, real), largest_prime(n) > largest_direct_factor) << n;
        EXPECT_FALSE(bluestein_pays((1 << 29) + 11, real)) << "the convolution length must stay an int";
    }
}

TEST(FftBackendsAgree, PowersOfTwoInBothBackends)
{
    for (int n : {2, 4, 8, 16, 64, 1024, 1 << 15}) {
        SCOPED_TRACE(n);
        for (bool complex : {false, true}) {
            const Mm x = input_column(n, complex);
            const bool old = pow2_force_own_kernel(true);
            const Mm own = fft(x), own_inverse = ifft(x);
            pow2_force_own_kernel(old);
            expect_near_all(elements(fft(x)), elements(own));
            expect_near_all(elements(ifft(x)), elements(own_inverse));
        }
    }
}

TEST(Fft, ConcurrentTransformsMatchSequential)
{
    const unsigned old = qv_set_MT(1);
    const Mm a = input_column(1 << 14, true), b = input_column(1 << 12, true);
    const Mm ra = fft(a), rb = fft(b);
    Mm ta, tb;
    {
        std::thread t1([&] {
            for (int k = 0; k < 20; ++k)
                ta = fft(a);
        });
        std::thread t2([&] {
            for (int k = 0; k < 20; ++k)
                tb = ifft(fft(b));
        });
        t1.join();
        t2.join();
    }
    qv_set_MT(old);
    EXPECT_EQ(test::values(ta), test::values(ra));
    EXPECT_EQ(test::values(imag(ta)), test::values(imag(ra)));
    expect_near_all(elements(tb), elements(b));
}

// The tables kept across calls are built by whichever thread needs them
// first and then shared: threads that start on lengths no call has used
// yet (the chirp convolution of a prime, the general passes of 7 * 11 * 13,
// the packed real path) give, in every round, the bits one thread gives
// afterwards.
TEST(Fft, ConcurrentFirstUseOfTablesMatchesSequential)
{
    const unsigned old = qv_set_MT(1);
    const std::vector<Mm> inputs = {input_column(40009, true), input_column(40009, false),
                                    input_column(7 * 11 * 13, true), input_column(7 * 11 * 13, false),
                                    input_column(1 << 13, false)};
    const int rounds = 4;
    std::vector<std::vector<Mm>> got(4, std::vector<Mm>(inputs.size() * rounds));
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int r = 0; r < rounds; ++r)
                    for (std::size_t k = 0; k < inputs.size(); ++k)
                        got[t][r * inputs.size() + k] = (t + r) % 2 ? ifft(inputs[k]) : fft(inputs[k]);
            });
        for (auto& th : threads)
            th.join();
    }
    qv_set_MT(old);
    for (int t = 0; t < 4; ++t)
        for (int r = 0; r < rounds; ++r)
            for (std::size_t k = 0; k < inputs.size(); ++k) {
                SCOPED_TRACE(::testing::Message() << "thread " << t << ", round " << r << ", input " << k);
                const Mm want = (t + r) % 2 ? ifft(inputs[k]) : fft(inputs[k]);
                const Mm& g = got[t][r * inputs.size() + k];
                EXPECT_EQ(test::values(real(g)), test::values(real(want)));
                EXPECT_EQ(test::values(imag(g)), test::values(imag(want)));
            }
}

} // namespace
