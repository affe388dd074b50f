// norm: vector p-norms for any p, the matrix 1, 2, infinity and Frobenius
// norms (the 2-norm against mpmath's singular values), scaling against
// overflow, and the argument messages.
#include "linalg_support.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();

struct NormReference {
    int rows, cols;
    std::vector<double> re, im;
    double p, value;
};

// Vectors are one row; the matrix rows hold their 2-norm.
const std::vector<NormReference> reference = {
#include "data/norm_reference.inc"
};

TEST(Norm, ReferenceValues)
{
    ASSERT_GE(reference.size(), 8u);
    for (const auto& c : reference) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.cols) + ", p = " + std::to_string(c.p));
        const double got = norm(linalg_test::matrix_from(c.rows, c.cols, c.re, c.im), Mm(c.p)).r();
        EXPECT_NEAR(got, c.value, 8 * std::numeric_limits<double>::epsilon() * c.value);
    }
}

TEST(Norm, VectorForms)
{
    const Mm v = test::row({3, 4});
    struct Case {
        const char* what;
        Mm got;
        double expected;
    };
    const std::vector<Case> cases = {
        {"default 2", norm(v), 5},
        {"p = 1", norm(v, Mm(1.0)), 7},
        {"p = 1 sums exactly", norm(test::row({0.1, 0.2, 0.3}), Mm(1.0)), 0.1 + 0.2 + 0.3},
        {"Inf", norm(v, Mm(inf)), 4},
        {"\"inf\"", norm(v, test::text("inf")), 4},
        {"-Inf", norm(v, Mm(-inf)), 3},
        {"\"fro\"", norm(test::row({3, -4}), test::text("fro")), 5},
        {"a column", norm(test::real(2, 1, {3, 4})), 5},
        {"complex magnitudes", norm(test::complex(1, 2, {3, 0}, {4, 12}), Mm(1.0)), 17},
        {"bytes", norm(test::bytes(1, 2, {3, 4})), 5},
        {"Inf ignores NaN", norm(test::row({qnan, 2, -7}), Mm(inf)), 7},
        {"empty", norm(Mm(), Mm(3.0)), 0},
        {"empty matrix norm", norm(Mm(), test::text("fro")), 0},
        {"an element too large to square", norm(test::row({3e300, 4e300})), 5e300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_DOUBLE_EQ(c.got.r(), c.expected);
    }
    EXPECT_TRUE(std::isnan(norm(test::row({1, qnan})).r()));
    EXPECT_EQ(norm(test::row({1, 1}), Mm(0.0)).r(), inf) << "2^(1/0)";
}

// Sparse operands are read through their stored entries: the norms agree
// exactly with those of the full matrix (the same sums in the same order),
// and an order far above the full-matrix cap works.
TEST(Norm, SparseFromStoredEntries)
{
    struct Case {
        const char* what;
        Mm a;
    };
    Mm wide = test::real(3, 5, {0, 2, 0, -1, 0, 0, 0, 0, 0, 4, 0, 3, 0, 1e300, 1e300});
    Mm with_nan = test::real(3, 3, {1, 0, 0, 0, qnan, 0, 2, 0, 3});
    Mm with_inf = test::real(3, 3, {1, 0, 0, 0, inf, 0, 2, 0, 3});
    const std::vector<Case> cases = {
        {"3x5 with an empty column and 1e300 entries", wide},
        {"NaN", with_nan},
        {"Inf", with_inf},
        {"complex", test::complex(2, 3, {0, 3, 1, 0, 0, 2}, {4, 0, 0, 0, 0, -2})},
        {"all zero", zeros(3.0, 2.0)},
        {"column vector", test::real(4, 1, {0, 3, 0, -4})},
        {"row vector", test::real(1, 4, {1e-300, 0, 0, 1e-300})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm s = sparse(c.a);
        for (const Mm& p : {Mm(1.0), Mm(inf), test::text("inf"), test::text("fro"), Mm(3.0), Mm(2.0)}) {
            if (!isvector(c.a) && p.r() == 3)
                continue;  // no 3-norm of a matrix
            const double want = norm(c.a, p).r(), got = norm(s, p).r();
            if (std::isnan(want))
                EXPECT_TRUE(std::isnan(got));
            else
                EXPECT_EQ(got, want);
        }
    }
    // norm(speye(20000), 1), and the other two, above the full cap.
    const Mm big = speye(Mm(20000.0));
    for (const Mm& p : {Mm(1.0), Mm(inf), test::text("fro")}) {
        Mm got;
        EXPECT_EQ(test::error_of([&] { got = norm(big, p); }), "");
        EXPECT_DOUBLE_EQ(got.r(), p.isstr() && p.size() == 3 ? std::sqrt(20000.0) : 1.0);
    }
}

TEST(Norm, MatrixForms)
{
    const Mm a = test::real(2, 2, {1, 3, 2, 4});
    EXPECT_EQ(norm(a, test::text("inf")).r(), 7);
    EXPECT_EQ(norm(a, Mm(inf)).r(), 7);
    EXPECT_EQ(norm(a, Mm(1.0)).r(), 6);
    EXPECT_DOUBLE_EQ(norm(a, test::text("fro")).r(), std::sqrt(30.0));
    EXPECT_DOUBLE_EQ(norm(test::complex(2, 2, {0, 0, 3, 0}, {1, 0, 4, 2}), Mm(1.0)).r(), 7);
    EXPECT_DOUBLE_EQ(norm(test::complex(2, 2, {0, 0, 3, 0}, {1, 0, 4, 2}), Mm(inf)).r(), 6);
    EXPECT_DOUBLE_EQ(norm(test::real(2, 2, {3, 0, 0, -5})).r(), 5) << "a diagonal's largest magnitude";
    EXPECT_EQ(norm(test::real(2, 2, {1, 2, inf, 0})).r(), inf);
    EXPECT_TRUE(std::isnan(norm(test::real(2, 2, {qnan, 2, 3, 4}), Mm(1.0)).r())) << "no column passes a NaN by";
    EXPECT_TRUE(std::isnan(norm(test::real(2, 2, {qnan, 2, 3, 4})).r()));

    // Lines are summed several at a time: the largest line may sit in a
    // group or among the lines left over, and a NaN in either is the norm.
    for (int lines : {2, 4, 5, 7, 9}) {
        for (int peak : {0, lines - 1}) {
            SCOPED_TRACE(std::to_string(lines) + " lines, largest " + std::to_string(peak));
            Mm wide(0, 0, 0, 3, lines, qv_double), tall(0, 0, 0, lines, 3, qv_double);
            for (int l = 0; l < lines; ++l)
                for (int k = 0; k < 3; ++k) {
                    const double v = (l == peak ? 10.0 : 1.0) * (k + 1) * (k % 2 ? -1 : 1);
                    wide.addr()[k + 3 * l] = v;
                    tall.addr()[l + lines * k] = v;
                }
            EXPECT_EQ(norm(wide, Mm(1.0)).r(), 60);
            EXPECT_EQ(norm(tall, test::text("inf")).r(), 60);
            wide.addr()[3 * peak + 1] = qnan;
            tall.addr()[peak + lines] = qnan;
            EXPECT_TRUE(std::isnan(norm(wide, Mm(1.0)).r()));
            EXPECT_TRUE(std::isnan(norm(tall, test::text("inf")).r()));
        }
    }

    EXPECT_ERROR(norm(a, Mm(3.0)), "norm: x matrix, P not 1, 2, inf or fro");
    EXPECT_ERROR(norm(a, Mm(-inf)), "norm: x matrix, P not 1, 2, inf or fro");
    EXPECT_ERROR(norm(a, Mm(qnan)), "norm: x matrix, P not 1, 2, inf or fro");
    EXPECT_ERROR(norm(a, test::text("max")), "norm: x matrix, P not 1, 2, inf or fro");
    EXPECT_ERROR(norm(zeros(Mm(2.0), Mm(2.0), Mm(2.0)), Mm(1.0)),
                 "norm: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(norm(Mm(0, 0, 0, 1, 2, qv_cell), Mm(1.0)), "norm: numeric data expected, but matrix (temporary) is not");
}

} // namespace
