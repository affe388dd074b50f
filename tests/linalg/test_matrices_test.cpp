// The test matrices: a table of small cases worked by hand, the defining
// properties of magic squares, Hadamard and inverse Hilbert matrices, and
// the messages.
#include "linalg_support.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace linalg_test;

TEST(TestMatrices, SmallCases)
{
    struct Case {
        const char* what;
        Mm got;
        int rows, cols;
        std::vector<double> expected;  // column-major
    };
    const std::vector<Case> cases = {
        {"magic(3)", magic(Mm(3.0)), 3, 3, {8, 3, 4, 1, 5, 9, 6, 7, 2}},
        {"magic(4)", magic(Mm(4.0)), 4, 4, {16, 5, 9, 4, 2, 11, 7, 14, 3, 10, 6, 15, 13, 8, 12, 1}},
        {"magic(2.4)", magic(Mm(2.4)), 2, 2, {1, 4, 3, 2}},
        {"magic(1)", magic(Mm(1.0)), 1, 1, {1}},
        {"magic(0)", magic(Mm(0.0)), 0, 0, {}},
        {"hilb(0)", hilb(Mm(0.0)), 0, 0, {}},
        {"hilb(2)", hilb(Mm(2.0)), 2, 2, {1, 0.5, 0.5, 1.0 / 3}},
        {"hadamard(-3)", hadamard(Mm(-3.0)), 0, 0, {}},
        {"hadamard(1)", hadamard(Mm(1.0)), 1, 1, {1}},
        {"hadamard(2)", hadamard(Mm(2.0)), 2, 2, {1, 1, 1, -1}},
        {"compan([1 2])", compan(test::row({1, 2})), 1, 1, {-2}},
        {"compan([1 -6 11 -6])", compan(test::row({1, -6, 11, -6})), 3, 3, {6, 1, 0, -11, 0, 1, 6, 0, 0}},
        {"compan([1; -6; 11; -6])", compan(test::real(4, 1, {1, -6, 11, -6})), 3, 3, {6, 1, 0, -11, 0, 1, 6, 0, 0}},
        {"compan(5)", compan(Mm(5.0)), 0, 0, {}},
        {"hankel([1 2 3])", hankel(test::row({1, 2, 3})), 3, 3, {1, 2, 3, 2, 3, 0, 3, 0, 0}},
        {"hankel([1 2 3], [9 4 5])", hankel(test::row({1, 2, 3}), test::row({9, 4, 5})), 3, 3,
         {1, 2, 3, 2, 3, 4, 3, 4, 5}},
        {"hankel([1 2], [7 8 9])", hankel(test::row({1, 2}), test::row({7, 8, 9})), 2, 3, {1, 2, 2, 8, 8, 9}},
        {"toeplitz([1 2 3])", toeplitz(test::row({1, 2, 3})), 3, 3, {1, 2, 3, 2, 1, 2, 3, 2, 1}},
        {"toeplitz([1 2], [7 8 9])", toeplitz(test::row({1, 2}), test::row({7, 8, 9})), 2, 3, {1, 2, 8, 1, 9, 8}},
        {"pascalM(3)", pascalM(Mm(3.0)), 3, 3, {1, 1, 1, 1, 2, 3, 1, 3, 6}},
        {"pascalM(3, 1)", pascalM(Mm(3.0), Mm(1.0)), 3, 3, {1, 1, 1, 0, -1, -2, 0, 0, 1}},
        {"pascalM(3, 7) acts as 1", pascalM(Mm(3.0), Mm(7.0)), 3, 3, {1, 1, 1, 0, -1, -2, 0, 0, 1}},
        {"wilkinson(1)", wilkinson(Mm(1.0)), 1, 1, {0}},
        {"wilkinson(3)", wilkinson(Mm(3.0)), 3, 3, {1, 1, 0, 1, 0, 1, 0, 1, 1}},
        {"vander([1 2 3])", vander(test::row({1, 2, 3})), 3, 3, {1, 4, 9, 1, 2, 3, 1, 1, 1}},
        {"cauchy(2)", cauchy(Mm(2.0)), 2, 2, {0.5, 1.0 / 3, 1.0 / 3, 0.25}},
        {"cauchy([1 2], 3)", cauchy(test::row({1, 2}), Mm(3.0)), 2, 1, {0.25, 0.2}},
        {"invhilb(2)", invhilb(Mm(2.0)), 2, 2, {4, -6, -6, 12}},
        {"gallery(4)", gallery(Mm(4.0)), 0, 0, {}},
        {"gallery(3)", gallery(Mm(3.0)), 3, 3, {-149, -50, -154, 537, 180, 546, -27, -9, -25}},
        {"empty order", magic(Mm()), 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.got), (std::vector<int>{c.rows, c.cols}));
        EXPECT_EQ(test::values(c.got), c.expected);
        EXPECT_FALSE(c.got.isc());
    }
}

TEST(TestMatrices, MagicSums)
{
    for (int n : {3, 4, 5, 6, 8, 10, 12, 14, 17}) {
        SCOPED_TRACE(n);
        const Mm m = magic(Mm(double(n)));
        const double target = n * (double(n) * n + 1) / 2;
        double d1 = 0, d2 = 0;
        std::vector<bool> seen(n * n + 1, false);
        for (int i = 0; i < n; ++i) {
            double row = 0, col = 0;
            for (int j = 0; j < n; ++j) {
                row += m.addr()[i + j * n];
                col += m.addr()[j + i * n];
                seen[int(m.addr()[i + j * n])] = true;
            }
            EXPECT_EQ(row, target) << "row " << i;
            EXPECT_EQ(col, target) << "column " << i;
            d1 += m.addr()[i + i * n];
            d2 += m.addr()[(n - 1 - i) + i * n];
        }
        EXPECT_EQ(d1, target);
        EXPECT_EQ(d2, target);
        for (int v = 1; v <= n * n; ++v)
            EXPECT_TRUE(seen[v]) << v;
    }
}

TEST(TestMatrices, HadamardOrthogonality)
{
    for (int n : {4, 12, 20, 24, 40, 48, 80}) {
        SCOPED_TRACE(n);
        const Mm h = hadamard(Mm(double(n)));
        ASSERT_EQ(test::extents(h), (std::vector<int>{n, n}));
        const Mm p = h * transpose(h);
        EXPECT_EQ(test::values(p), test::values(double(n) * eye(double(n))));
    }
    for (double n : {3.0, 5.0, 6.0, 10.0})
        EXPECT_ERROR(hadamard(Mm(n)), "hadamard: =" + std::to_string(int(n)) + " is not 2^N, 12*2^N or 20*2^N");
}

TEST(TestMatrices, InverseHilbert)
{
    for (int n : {1, 3, 5, 8}) {
        SCOPED_TRACE(n);
        const cmat p = to_cmat(invhilb(Mm(double(n))) * hilb(Mm(double(n))));
        // Hilbert's condition number grows like e^(3.5 n).
        EXPECT_LE(max_abs_diff(p, identity(n)), 1e-16 * std::exp(3.5 * n) * 10);
    }
    // Its entries are integers, formed in doubles: to within rounding.
    const Mm h = invhilb(Mm(6.0));
    for (double v : test::values(h))
        EXPECT_LE(std::fabs(v - std::round(v)), 1e-14 * std::fabs(v)) << v;
    EXPECT_NEAR(h.r(6, 6), 698544, 1e-14 * 698544);  // scipy's exact invhilbert
}

TEST(TestMatrices, ComplexAndRotatedForms)
{
    // toeplitz(c) conjugates the lower triangle of a complex c.
    const Mm t = toeplitz(test::complex(1, 3, {1, 2, 3}, {1, 1, -1}));
    ASSERT_TRUE(t.isc());
    EXPECT_EQ(t.r(1, 1), 1);
    EXPECT_EQ(t.i(1, 1), 1);
    EXPECT_EQ(t.i(1, 2), 1);
    EXPECT_EQ(t.i(2, 1), -1);
    EXPECT_EQ(t.i(3, 1), 1);
    EXPECT_EQ(t.i(1, 3), -1);
    // pascalM(4, 2): the rotated signed matrix with its last row and column
    // negated, and all negated for even orders.
    const Mm p = pascalM(Mm(4.0), Mm(2.0));
    // (numpy replaying the same steps)
    EXPECT_EQ(test::values(p), (std::vector<double>{0, 0, 0, 1, 0, 0, 1, 1, 0, -1, 2, 1, -1, 3, -3, -1}));
    const Mm p3 = pascalM(Mm(3.0), Mm(2.0));
    EXPECT_EQ(test::values(p3), (std::vector<double>{0, 0, -1, 0, -1, -1, -1, 2, 1}));
    EXPECT_EQ(test::values(rosser() - transpose(rosser())), std::vector<double>(64, 0.0));
}

TEST(TestMatrices, Messages)
{
    EXPECT_ERROR(compan(test::real(2, 2, {1, 3, 2, 4})), "compan:x must be vector");
    EXPECT_ERROR(hankel(test::real(2, 2, {1, 3, 2, 4}), test::row({1, 2})), "hankel: (temporary) is not a vector");
    EXPECT_ERROR(hankel(test::row({1, 2}), test::real(2, 2, {1, 3, 2, 4})), "hankel: (temporary) is not a vector");
    EXPECT_NE(test::error_of([] { hankel(test::real(2, 2, {1, 3, 2, 4})); }), "");
    // An order with an imaginary part was read as its real part, without a
    // word; an imaginary part of 0 is the real order.
    struct Case {
        const char* what;
        std::function<Mm(const Mm&)> build;
        double order;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"magic", [](const Mm& n) { return magic(n); }, 4, "magic: n must be real"},
        {"hilb", [](const Mm& n) { return hilb(n); }, 3, "hilb: n must be real"},
        {"invhilb", [](const Mm& n) { return invhilb(n); }, 3, "invhilb: n must be real"},
        {"gallery", [](const Mm& n) { return gallery(n); }, 3, "gallery: n must be real"},
        {"wilkinson", [](const Mm& n) { return wilkinson(n); }, 5, "wilkinson: n must be real"},
        {"pascal", [](const Mm& n) { return pascalM(n); }, 4, "pascal: n must be real"},
        {"hadamard", [](const Mm& n) { return hadamard(n); }, 4, "hadamard: n must be real"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.build(test::complex(1, 1, {c.order}, {1})), c.message);
        EXPECT_ERROR(c.build(sparse(test::complex(1, 1, {0}, {c.order}))), c.message);
        EXPECT_EQ(test::values(c.build(test::complex(1, 1, {c.order}, {0}))), test::values(c.build(Mm(c.order))));
    }
    EXPECT_ERROR(pascalM(Mm(3.0), test::complex(1, 1, {1}, {1})), "pascal: k must be real");
    EXPECT_EQ(test::values(pascalM(Mm(3.0), test::complex(1, 1, {2}, {0}))), test::values(pascalM(Mm(3.0), Mm(2.0))));
}

} // namespace
