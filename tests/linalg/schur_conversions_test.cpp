// rsf2csf, cdf2rdf and trace: the complex Schur form from the real one,
// the real block form of complex eigen-data, and the diagonal sum.
#include "dense_matrix.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using cx = std::complex<double>;
const double eps = std::numeric_limits<double>::epsilon();

test::dense dense_of(const Mm& x)
{
    test::dense d(x.rows(), x.cols());
    const std::size_t count = std::size_t(x.rows()) * x.cols();
    for (std::size_t k = 0; k < count; ++k) {
        d.re[k] = x.addr()[k];
        d.im[k] = x.isc() ? x.addi()[k] : 0.0;
    }
    return d;
}

Mm value_of(const test::dense& d)
{
    Mm x(1, 0, 0, d.rows, d.cols, qv_double);
    for (std::size_t k = 0; k < d.re.size(); ++k) {
        x.addr()[k] = d.re[k];
        x.addi()[k] = d.im[k];
    }
    x.getreal(0);
    return x;
}

TEST(Rsf2csf, BlocksBecomeTriangular)
{
    for (int n : {2, 5, 12}) {
        SCOPED_TRACE(n);
        const test::dense a = test::dense::random(n, n, 800 + n, false);
        Mm U, T, U2, T2;
        schur(value_of(a), i_o, U, T);
        rsf2csf(U, T, i_o, U2, T2);
        const test::dense u = dense_of(U2), t = dense_of(T2);
        EXPECT_EQ(test::below(t, 0), 0) << "exact zeros below the diagonal";
        EXPECT_LE(test::departure_from_unitary(u), 30 * n * eps);
        const double residual = test::difference(test::product(test::product(u, t), test::adjoint(u)), a).norm1();
        EXPECT_LE(residual, 30 * n * eps * a.norm1());
        // The diagonal holds the eigenvalues.
        const Mm w = eig(value_of(a));
        for (int k = 0; k < n; ++k) {
            double best = 1e300;
            for (int j = 0; j < n; ++j)
                best = std::min(best, std::abs(t(k, k) - cx(w.addr()[j], w.isc() ? w.addi()[j] : 0.0)));
            EXPECT_LE(best, 1e-12 * a.norm1());
        }
    }
}

TEST(Rsf2csf, NoBlocksStaysReal)
{
    // A Schur pair of a matrix with real eigenvalues: a tiny subdiagonal
    // (below 10·eps relative) is dropped, nothing rotates.
    const Mm U = test::real(2, 2, {0.6, 0.8, -0.8, 0.6});
    const Mm T = test::real(2, 2, {3, 1e-17, 2, 1});
    Mm U2, T2;
    rsf2csf(U, T, i_o, U2, T2);
    EXPECT_FALSE(U2.isc());
    EXPECT_FALSE(T2.isc());
    EXPECT_EQ(test::values(U2), test::values(U));
    EXPECT_EQ(test::values(T2), (std::vector<double>{3, 0, 2, 1}));

    rsf2csf(Mm(2.0), Mm(5.0), i_o, U2, T2);
    EXPECT_EQ(test::values(T2), std::vector<double>{5});
    rsf2csf(Mm(), Mm(), i_o, U2, T2);
    EXPECT_EQ(test::extents(U2), (std::vector<int>{0, 0}));
    EXPECT_EQ(test::extents(T2), (std::vector<int>{0, 0}));
}

TEST(Rsf2csf, RejectsShapesItCannotWalk)
{
    Mm U2(7.0), T2(7.0);
    EXPECT_ERROR(rsf2csf(zeros(2.0, 3.0), eye(2.0), i_o, U2, T2),
                 "rsf2csf: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(rsf2csf(eye(3.0), zeros(3.0, 2.0), i_o, U2, T2),
                 "rsf2csf: square matrix expected, but matrix (temporary) has 3 rows and 2 columns");
    EXPECT_ERROR(rsf2csf(eye(3.0), eye(2.0), i_o, U2, T2), "rsf2csf: T must be 3-by-3, the size of U");
    EXPECT_EQ(U2.r(), 7) << "outputs are left alone";
}

TEST(Cdf2rdf, ComplexPairsBecomeRealBlocks)
{
    // Eigen-data of [1 2; -2 1]: 1 ± 2i.
    const Mm a = test::real(2, 2, {1, -2, 2, 1});
    Mm V, D, VV, DD;
    eig(a, i_o, V, D);
    cdf2rdf(V, D, i_o, VV, DD);
    // Real up to the rounding of the divisions (which keep their imaginary
    // parts: nothing beyond the operators removes them).
    for (const Mm* x : {&DD, &VV}) {
        if (x->isc()) {
            for (int k = 0; k < 4; ++k)
                EXPECT_LE(std::fabs(x->addi()[k]), 4 * eps);
        }
    }
    // DD = [1 2; -2 1] up to rounding, and A·VV = VV·DD.
    EXPECT_NEAR(DD.addr()[0], 1, 1e-15);
    EXPECT_NEAR(DD.addr()[3], 1, 1e-15);
    EXPECT_NEAR(std::fabs(DD.addr()[1]), 2, 1e-15);
    EXPECT_NEAR(DD.addr()[1], -DD.addr()[2], 1e-15);
    const test::dense av = test::product(dense_of(a), dense_of(VV)), vd = test::product(dense_of(VV), dense_of(DD));
    EXPECT_LE(test::difference(av, vd).norm1(), 1e-14);
    EXPECT_EQ(test::values(cdf2rdf(V, D)), test::values(VV));

    // Real eigenvalues: V and D unchanged.
    const Mm r = test::real(2, 2, {2, 0, 1, 3});
    eig(r, i_o, V, D);
    cdf2rdf(V, D, i_o, VV, DD);
    EXPECT_EQ(test::values(VV), test::values(V));
    EXPECT_EQ(test::values(DD), test::values(D));

    EXPECT_ERROR(cdf2rdf(V), "cdf2rdf does not accept 1 input");
    EXPECT_ERROR(cdf2rdf(V, i_o, VV, DD), "cdf2rdf does not accept 1 input");
}

TEST(Condeig, EigenvalueConditionNumbers)
{
    const Mm normal = condeig(test::real(3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3}));
    ASSERT_EQ(test::extents(normal), (std::vector<int>{3, 1}));
    for (double v : test::values(normal))
        EXPECT_NEAR(v, 1, 4 * eps);
    // [1 1; 0 2]: both eigenvalues have condition number √2.
    const Mm a = test::real(2, 2, {1, 0, 1, 2});
    Mm V, D, c;
    condeig(a, i_o, V, D, c);
    for (double v : test::values(c))
        EXPECT_NEAR(v, std::sqrt(2.0), 8 * eps);
    Mm V2, D2;
    eig(a, i_o, V2, D2);
    EXPECT_EQ(test::values(V), test::values(V2));
    EXPECT_EQ(test::values(D), test::values(D2));
    condeig(a, i_o, V2, D2);
    EXPECT_EQ(test::values(D2), test::values(D));
    // A complex non-normal matrix: condition numbers at least 1.
    for (double v : test::values(condeig(test::complex(2, 2, {1, 0, 3, 2}, {1, 0, 1, -1}))))
        EXPECT_GE(v, 1 - 8 * eps);
    EXPECT_EQ(test::extents(condeig(Mm())), (std::vector<int>{0, 0}));
    EXPECT_ERROR(condeig(zeros(2.0, 3.0)), "eig: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
}

TEST(Trace, SumOfTheDiagonal)
{
    EXPECT_EQ(test::values(trace(test::real(2, 2, {1, 3, 2, 4}))), std::vector<double>{5});
    EXPECT_EQ(test::values(trace(test::row({1, 2, 3}))), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(test::values(trace(test::real(2, 3, {1, 2, 3, 4, 5, 6}))), std::vector<double>{5});
}

} // namespace
