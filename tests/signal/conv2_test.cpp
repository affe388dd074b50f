// conv2 and filter2: shapes, the operand measured for 'valid' and 'same',
// the separable form, complex operands and zero stencils.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"

// n elements by the formula ((k * mult + add) % mod) + shift, as a column.
Mm formula_column(int n, int mult, int add, int mod, double shift)
{
    Mm v(0, 0, 0, n, 1, qv_double);
    for (int k = 0; k < n; ++k)
        v.addr()[k] = double((k * mult + add) % mod) + shift;
    return v;
}

Mm ones2() { return test::real(2, 2, {1, 1, 1, 1}); }

TEST(Conv2, Shapes)
{
    const Mm a = test::real(2, 2, {1, 3, 2, 4});
    struct Case {
        const char* what;
        Mm result;
        Mm expected;
    };
    const std::vector<Case> cases = {
        {"full", conv2(a, ones2()), test::real(3, 3, {1, 4, 3, 3, 10, 7, 2, 6, 4})},
        {"same", conv2(a, ones2(), TM("same")), test::real(2, 2, {10, 7, 6, 4})},
        {"valid", conv2(a, ones2(), TM("valid")), Mm(10.0)},
        {"first letter only", conv2(a, ones2(), TM("v")), Mm(10.0)},
        {"upper case is full", conv2(a, ones2(), TM("Same")), test::real(3, 3, {1, 4, 3, 3, 10, 7, 2, 6, 4})},
        {"one operand", conv2(test::row({1, 2})), test::row({1, 4, 4})},
        {"same of a smaller a", conv2(Mm(2.0), test::real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}), TM("same")),
         Mm(10.0)},
        {"same with an even kernel", conv2(test::row({1, 2, 3}), test::row({1, 1}), TM("same")),
         test::row({3, 5, 3})},
        {"valid of a taller S", conv2(test::row({1, 2, 3}), test::real(2, 1, {1, 1}), TM("valid")), Mm()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.result), test::extents(c.expected));
        EXPECT_EQ(test::values(c.result), test::values(c.expected));
    }

    // valid is measured against the operand with more elements
    const Mm big = test::counting({4, 5}), small = test::real(2, 2, {1, -1, 2, 0.5});
    EXPECT_EQ(test::values(conv2(big, small, TM("valid"))), test::values(conv2(small, big, TM("valid"))));
    EXPECT_EQ(test::extents(conv2(small, big, TM("valid"))), (std::vector<int>{3, 4}));
    EXPECT_EQ(test::extents(conv2(small, big, TM("same"))), (std::vector<int>{2, 2}));
    EXPECT_EQ(test::extents(conv2(big, small, TM("same"))), (std::vector<int>{4, 5}));

    // a stencil of zeros gives zeros of the full size
    const Mm zero = conv2(big, test::real(2, 2, {0, 0, 0, 0}));
    EXPECT_EQ(test::extents(zero), (std::vector<int>{5, 6}));
    EXPECT_EQ(test::values(zero), std::vector<double>(30, 0.0));

    // empty operands
    EXPECT_EQ(conv2(Mm(), big).size(), 0);
    EXPECT_EQ(test::values(conv2(big, Mm(), TM("same"))), std::vector<double>(20, 0.0));
}

TEST(Conv2, AgainstDirectSums)
{
    const Mm a = test::counting({5, 4}), b = test::complex(2, 3, {1, 0, -1, 2, 0.5, 0}, {0, 1, 0, -2, 0, 3});
    const Mm z = conv2(a, b);
    ASSERT_TRUE(z.isc());
    for (int i = 1; i <= 6; ++i)
        for (int j = 1; j <= 6; ++j) {
            double re = 0, im = 0;
            for (int p = 1; p <= 5; ++p)
                for (int q = 1; q <= 4; ++q) {
                    const int r = i - p + 1, s = j - q + 1;
                    if (r < 1 || r > 2 || s < 1 || s > 3)
                        continue;
                    re += a.r(p, q) * b.r(r, s);
                    im += a.r(p, q) * b.i(r, s);
                }
            EXPECT_EQ(z.r(i, j), re) << i << "," << j;
            EXPECT_EQ(z.i(i, j), im) << i << "," << j;
        }
    // complex by complex: the imaginary products are subtracted
    const Mm zz = conv2(test::complex(1, 1, {0}, {1}), test::complex(1, 2, {0, 1}, {2, 0}));
    EXPECT_EQ(test::values(zz), (std::vector<double>{-2, 0}));
    EXPECT_EQ(test::values(imag(zz)), (std::vector<double>{0, 1}));
}

TEST(Conv2, SeparableForm)
{
    const Mm u = test::row({1, 2, 1}), v = test::real(2, 1, {1, -1});
    const Mm A = test::counting({4, 5});
    const Mm sep = conv2(u, v, A);
    Mm ucol = u, vrow = v;
    ucol.reshape(3, 1);
    vrow.reshape(1, 2);
    const Mm twice = conv2(conv2(A, ucol), vrow);
    EXPECT_EQ(test::extents(sep), test::extents(twice));
    EXPECT_EQ(test::values(sep), test::values(twice));
    EXPECT_FALSE(sep.isc());
    EXPECT_EQ(test::extents(conv2(u, v, A, TM("same"))), (std::vector<int>{4, 5}));
    EXPECT_EQ(test::values(conv2(u, v, A, TM("same"))), test::values(Mm(twice(test::row({2, 3, 4, 5}),
                                                                             test::row({2, 3, 4, 5, 6})))));
    EXPECT_EQ(test::extents(conv2(u, v, A, TM("valid"))), (std::vector<int>{2, 4}));
    EXPECT_TRUE(conv2(u, test::complex(1, 1, {0}, {1}), A).isc());
    EXPECT_EQ(conv2(u, v, Mm(0, 0, 0, 3, 0, qv_double)).size(), 0);
}

TEST(Filter2, CorrelationShapes)
{
    EXPECT_EQ(test::values(filter2(test::row({1, 2}), test::row({1, 2, 3}))), (std::vector<double>{5, 8, 3}));
    EXPECT_EQ(test::values(filter2(test::row({1, 2}), test::row({1, 2, 3}), TM("full"))),
              (std::vector<double>{2, 5, 8, 3}));
    EXPECT_EQ(test::values(filter2(test::real(2, 1, {1, 2}), test::real(3, 1, {1, 2, 3}))),
              (std::vector<double>{5, 8, 3}));
    // the general form: h rotated by 180 degrees
    const Mm h = test::real(2, 2, {1, 3, 2, 4}), x = test::counting({3, 3});
    EXPECT_EQ(test::values(filter2(h, x, TM("valid"))),
              test::values(conv2(x, test::real(2, 2, {4, 2, 3, 1}), TM("valid"))));
    EXPECT_EQ(test::values(filter2(Mm(2.0), x)), test::values(x * Mm(2.0)));
    EXPECT_ERROR(filter2(h), "filter2 does not accept 1 input");
}

// A NaN or Inf element reaches the outputs its products reach, also where
// the separable form runs one-dimensional convolutions long enough for the
// FFT (scipy.signal.convolve2d).
TEST(Conv2, NonFiniteElementsReachOnlyTheirOutputs)
{
    const Mm u = formula_column(600, 37, 11, 19, 1);
    Mm A = horzcat(formula_column(600, 53, 5, 13, -6), formula_column(600, 29, 3, 7, -3));
    A.addr()[20] = NAN;
    const Mm separable = conv2(u, test::row({1, 2}), A);
    EXPECT_EQ(test::extents(separable), (std::vector<int>{1199, 3}));
    const auto want = test::listed(conv2_separable);
    // the column without NaN may take the FFT: rounding of sums of 600 terms
    test::expect_matches(separable, want, 1e-12 * test::finite_scale(want));

    // correlation with a 1 x 600 row, the same-size part
    Mm h = dot_transpose(formula_column(600, 17, 1, 5, 1));
    Mm X = vertcat(vertcat(dot_transpose(formula_column(600, 41, 7, 11, -5)),
                           dot_transpose(formula_column(600, 13, 2, 9, -4))),
                   dot_transpose(formula_column(600, 31, 5, 7, -3)));
    X.addr()[1 + 3 * 100] = INFINITY;
    const Mm correlated = filter2(h, X);
    EXPECT_EQ(test::extents(correlated), (std::vector<int>{3, 600}));
    const auto row_want = test::listed(filter2_row);
    test::expect_matches(correlated, row_want, 1e-12 * test::finite_scale(row_want));

    // the general form: the NaN of the larger operand meets every element
    // of the smaller one, all non-zero
    const Mm general = conv2(test::real(3, 3, {1, 4, 7, 2, NAN, 8, 3, 6, 9}), test::real(2, 2, {1, 3, 2, 4}));
    test::expect_matches(general, test::listed(conv2_general));
}

} // namespace
