// conv and deconv: values and orientation, the choice between the direct
// and FFT engines, complex products, and division with remainder.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"

using cplx = std::complex<double>;

Mm vector_of(const std::vector<cplx>& v, bool row, bool complex)
{
    Mm x(complex, 0, 0, row ? 1 : int(v.size()), row ? int(v.size()) : 1, qv_double);
    for (std::size_t k = 0; k < v.size(); ++k) {
        x.addr()[k] = v[k].real();
        if (complex)
            x.addi()[k] = v[k].imag();
    }
    return x;
}

std::vector<cplx> direct_convolution(const std::vector<cplx>& a, const std::vector<cplx>& b)
{
    std::vector<cplx> c(a.size() + b.size() - 1);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j)
            c[i + j] += a[i] * b[j];
    return c;
}

std::vector<cplx> signal(int n, double f, bool complex, bool integers)
{
    std::vector<cplx> v(n);
    for (int k = 0; k < n; ++k) {
        const double re = integers ? double((k * 37 + 11) % 19) - 9 : std::sin(f * k) + 0.3;
        const double im = complex ? (integers ? double((k * 53 + 5) % 13) - 6 : std::cos(1.7 * f * k)) : 0.0;
        v[k] = {re, im};
    }
    return v;
}

TEST(Conv, ValuesAndOrientation)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
        std::vector<int> extents;
    };
    const std::vector<Case> cases = {
        {"rows", conv(test::row({1, 2, 3}), test::row({1, 1})), {1, 3, 5, 3}, {1, 4}},
        {"longer column decides", conv(test::real(3, 1, {1, 2, 3}), test::row({1, 1})), {1, 3, 5, 3}, {4, 1}},
        {"b decides on ties", conv(test::row({1, 1}), test::real(2, 1, {1, 2})), {1, 3, 2}, {3, 1}},
        {"scalar", conv(test::row({1, 2, 3}), Mm(5.0)), {5, 10, 15}, {1, 3}},
        {"one operand", conv(test::row({1, 1})), {1, 2, 1}, {1, 3}},
        {"a matrix counts its largest extent", conv(test::real(2, 2, {1, 2, 3, 4}), test::row({1, 1})),
         {1, 3, 2}, {1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(c.result), c.values);
        EXPECT_EQ(test::extents(c.result), c.extents);
    }
    EXPECT_EQ(conv(Mm(), test::row({1, 2})).size(), 0);
    EXPECT_EQ(test::values(conv(test::bytes(1, 2, {1, 2}), test::row({1, 1}))), (std::vector<double>{1, 3, 2}));

    const Mm z = conv(test::complex(1, 2, {1, 0}, {0, 1}), test::complex(1, 2, {1, 0}, {0, -1}));
    // (1 + i x)(1 - i x) = 1 + x^2
    EXPECT_EQ(test::values(z), (std::vector<double>{1, 0, 1}));
    EXPECT_EQ(test::values(imag(z)), (std::vector<double>{0, 0, 0}));
}

TEST(Conv, EnginesAgainstDirectSums)
{
    struct Case {
        int la, lb;
        bool complex_a, complex_b, integers;
        bool fft_engine;
    };
    const std::vector<Case> cases = {
        {600, 600, false, false, false, true},     // N = 2048
        {512, 512, false, false, false, true},     // N = 1024
        {513, 512, false, true, false, true},      // n = 1024 exactly: N = 1024
        {499, 10000, false, false, true, false},   // direct, exact on integers
        {300, 257, true, true, true, false},       // direct, complex by complex, exact
        {700, 550, true, false, false, true},
        {3, 1000, false, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.la) + " by " + std::to_string(c.lb));
        const auto a = signal(c.la, 0.013, c.complex_a, c.integers);
        const auto b = signal(c.lb, 0.029, c.complex_b, c.integers);
        const auto want = direct_convolution(a, b);
        const Mm y = conv(vector_of(a, true, c.complex_a), vector_of(b, false, c.complex_b));
        ASSERT_EQ(y.size(), int(want.size()));
        EXPECT_EQ(bool(y.isc()), c.complex_a || c.complex_b) << "real operands give a real result";
        EXPECT_EQ(y.rows(), c.la > c.lb ? 1 : int(want.size()));
        double big = 0;
        for (auto w : want)
            big = std::max(big, std::abs(w));
        const double tol = c.integers && !c.fft_engine ? 0.0 : 1e-10 * big;
        for (std::size_t k = 0; k < want.size(); ++k) {
            const cplx got(y.addr()[k], y.addi() ? y.addi()[k] : 0.0);
            ASSERT_LE(std::abs(got - want[k]), tol) << k;
        }
    }
}

// A NaN or Inf element spreads over the outputs its products reach and no
// further, with either engine's lengths (numpy.convolve).
TEST(Conv, NonFiniteElementsReachOnlyTheirOutputs)
{
    auto zeros_with_nan = [](int n) {
        Mm a = test::counting({1, n});
        std::fill(a.addr(), a.addr() + n, 0.0);
        a.addr()[10] = NAN;
        return a;
    };
    auto ones_row = [](int n) {
        Mm b = test::counting({1, n});
        std::fill(b.addr(), b.addr() + n, 1.0);
        return b;
    };
    std::vector<cplx> ai(600), bi(600);
    for (int k = 0; k < 600; ++k) {
        ai[k] = double((k * 37 + 11) % 19) - 9;
        bi[k] = double((k * 53 + 5) % 13) + 1;
    }
    ai[10] = INFINITY;
    ai[300] = -INFINITY;
    std::vector<cplx> ac = ai, bc = bi;
    for (int k = 0; k < 600; ++k) {
        ac[k] += cplx(0, double((k * 29 + 3) % 7) - 3);
        bc[k] += cplx(0, double((k * 17 + 1) % 5) + 1);
    }
    ac[10] = NAN;
    ac[300] = cplx(1, 2);

    struct Case {
        const char* what;
        Mm a, b;
        std::vector<double> re, im;
    };
    const std::vector<Case> cases = {
        {"499 by 499, one NaN", zeros_with_nan(499), ones_row(499), test::listed(conv_nan_499), {}},
        {"600 by 600, one NaN", zeros_with_nan(600), ones_row(600), test::listed(conv_nan_600), {}},
        {"600 by 600, Inf and -Inf", vector_of(ai, true, false), vector_of(bi, true, false),
         test::listed(conv_inf_600), {}},
        {"600 by 600 complex, one NaN", vector_of(ac, true, true), vector_of(bc, true, true),
         test::listed(conv_complex_600_re), test::listed(conv_complex_600_im)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm y = conv(c.a, c.b);
        EXPECT_EQ(test::extents(y), (std::vector<int>{1, int(c.re.size())}));
        test::expect_matches(test::values(real(y)), c.re);
        if (!c.im.empty())
            test::expect_matches(test::values(imag(y)), c.im);
        else
            EXPECT_FALSE(y.isc());
    }
}

// deconv divides by the recursion of filter on an impulse: on finite data
// it gives filter's values.
TEST(Deconv, QuotientIsTheImpulseResponse)
{
    const Mm b = test::row({0.3, -1.7, 2.9, 0.4, -5.1, 3.3, 0.01}), a = test::row({1.9, 0.6, -0.35});
    Mm e = test::counting({1, 5});
    std::fill(e.addr(), e.addr() + 5, 0.0);
    e.addr()[0] = 1;
    EXPECT_EQ(test::values(deconv(b, a)), test::values(filter(b, a, e)));
}

// A NaN or Inf coefficient stays in its own place of the quotient, and in
// the places the division carries it to (numpy.polydiv).
TEST(Deconv, NonFiniteCoefficients)
{
    struct Case {
        const char* what;
        Mm b, a;
        std::vector<double> q, r;
    };
    const std::vector<Case> cases = {
        {"by a scalar", test::row({2, NAN, 4, 6}), Mm(2.0), test::listed(deconv_nan_q), test::listed(deconv_nan_r)},
        {"by x + 1", test::row({1, INFINITY, 1, 1, 1}), test::row({1, 1}), test::listed(deconv_inf_q),
         test::listed(deconv_inf_r)},
        // the quotient by x^2 is b's leading part, the remainder its tail
        {"by x^2", test::row({1, 2, NAN, 4, 5, 6}), test::row({1, 0, 0}), {1, 2, NAN, 4}, {0, 0, NAN, 0, 5, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm q, r;
        deconv(c.b, c.a, i_o, q, r);
        test::expect_matches(q, c.q);
        test::expect_matches(r, c.r);
    }
}

TEST(Deconv, QuotientAndRemainder)
{
    Mm q, r;
    deconv(test::row({1, 5, 6}), test::row({1, 2}), i_o, q, r);
    EXPECT_EQ(test::values(q), (std::vector<double>{1, 3}));
    EXPECT_EQ(test::values(r), (std::vector<double>{0, 0, 0}));

    deconv(test::row({1, 2}), test::row({1, 2, 3}), i_o, q, r);
    EXPECT_EQ(test::values(q), (std::vector<double>{0}));
    EXPECT_EQ(test::values(r), (std::vector<double>{1, 2}));

    deconv(test::real(4, 1, {2, 3, 4, 5}), test::real(2, 1, {1, 1}), i_o, q, r);
    EXPECT_EQ(test::extents(q), (std::vector<int>{3, 1}));
    EXPECT_EQ(test::values(q), (std::vector<double>{2, 1, 3}));
    EXPECT_EQ(test::values(r), (std::vector<double>{0, 0, 0, 2}));
    EXPECT_EQ(test::values(deconv(test::row({2, 4}), Mm(2.0))), (std::vector<double>{1, 2}));

    EXPECT_ERROR(deconv(test::row({1, 2})), "deconv does not accept 1 input");
    EXPECT_ERROR(deconv(test::row({1, 2}), i_o, q, r), "deconv does not accept 1 input");
    EXPECT_ERROR(deconv(test::row({1, 2}), test::row({0, 1})), "filter: a(1) must be non-zero");
}

} // namespace
