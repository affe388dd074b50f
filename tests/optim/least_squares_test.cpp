// nnls, lsqnonneg and the kernels under them: small exact cases, random
// problems against an independent solution, the dual vector, the limits
// and the errors.
#include "optim/nnls_kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/nnls_problems.inc"

Mm matrix(int m, int n, const std::vector<double>& v)
{
    Mm a(0, 0, 0, m, n, qv_double);
    std::copy(v.begin(), v.end(), a.addr());
    return a;
}

Mm column(const std::vector<double>& v) { return matrix(static_cast<int>(v.size()), 1, v); }

TEST(Nnls, SmallCases)
{
    Mm x, w, flag;
    nnls(test::real(2, 2, {1, 0, 0, 1}), column({1, -1}), i_o, x, w, flag);
    EXPECT_EQ(test::values(x), (std::vector<double>{1, 0}));
    EXPECT_EQ(test::at(flag, 0), 1);
    EXPECT_EQ(test::extents(x), (std::vector<int>{2, 1}));
    EXPECT_EQ(test::values(w), (std::vector<double>{0, -1})) << "the dual vector: negative where x is held at 0";

    nnls(test::real(2, 2, {1, 0, 0, 1}), column({-1, -2}), i_o, x, w, flag);
    EXPECT_EQ(test::values(x), (std::vector<double>{0, 0})) << "every correlation non-positive";
    EXPECT_EQ(test::at(flag, 0), 1);
    Mm xx, ww, ff, iterations;
    nnls_core(test::real(2, 2, {1, 0, 0, 1}), column({-1, -2}), Mm(), Mm(), i_o, xx, ww, ff, iterations);
    EXPECT_EQ(test::at(iterations, 0), 0);

    nnls(Mm(), Mm(), i_o, x, w, flag);
    EXPECT_EQ(test::at(flag, 0), 0) << "an empty problem";
    EXPECT_TRUE(isempty(x));
    EXPECT_TRUE(isempty(w));
    // Every empty value is 0x0, so zeros(0, 2) carries no column count:
    // the solution of no equations in "2 unknowns" is empty as well.
    nnls(zeros(Mm(0.0), Mm(2.0)), zeros(Mm(0.0), Mm(1.0)), i_o, x, w, flag);
    EXPECT_EQ(test::at(flag, 0), 0);
    EXPECT_EQ(test::extents(x), (std::vector<int>{0, 0}));
    nnls(test::real(1, 3, {1, 2, 3}), Mm(1.0), Mm(), i_o, x, w, flag);
    EXPECT_EQ(test::at(flag, 0), 1);
    EXPECT_NEAR(test::at(x, 0) + 2 * test::at(x, 1) + 3 * test::at(x, 2), 1, 1e-15) << "underdetermined: exact fit";
}

TEST(Nnls, AgreesWithAnIndependentSolution)
{
    for (const nnls_reference& r : nnls_references) {
        SCOPED_TRACE(std::to_string(r.m) + "x" + std::to_string(r.n));
        const Mm A = matrix(r.m, r.n, r.a), b = column(r.b);
        for (const Mm& tol : {Mm(), Mm(0.0)}) {
            Mm x, w, flag;
            nnls(A, b, tol, i_o, x, w, flag);
            EXPECT_EQ(test::at(flag, 0), 1);
            for (int k = 0; k < r.n; ++k) {
                EXPECT_NEAR(test::at(x, k), r.x[k], 1e-10) << k;
                EXPECT_GE(test::at(x, k), 0);
            }
            // w = A'(b - A x): zero on the positive set, at most 0 elsewhere.
            for (int j = 0; j < r.n; ++j) {
                double wj = 0;
                for (int i = 0; i < r.m; ++i) {
                    double res = r.b[i];
                    for (int k = 0; k < r.n; ++k)
                        res -= r.a[i + k * r.m] * test::at(x, k);
                    wj += r.a[i + j * r.m] * res;
                }
                if (test::at(x, j) > 0) {
                    EXPECT_NEAR(test::at(w, j), 0, 1e-12);
                } else {
                    EXPECT_NEAR(test::at(w, j), wj, 1e-9);
                    EXPECT_LE(test::at(w, j), 1e-9);
                }
            }
        }
    }
}

TEST(NnlsKernel, IterationLimitAndEmptyDimensions)
{
    const nnls_reference& r = nnls_references[2];  // 12x12
    std::vector<double> a = r.a, b = r.b, x(r.n, 0.0), w(r.n), zz(r.m);
    std::vector<int> index(r.n);
    double rnorm = 0;
    int mode = 0, iterations = 0;
    nnls_solve(0.0, 0.0, a.data(), r.m, r.m, r.n, b.data(), x.data(), rnorm, w.data(), zz.data(), index.data(),
               mode, iterations);
    EXPECT_EQ(mode, 1);
    EXPECT_GT(iterations, 0);
    int nonzero = 0;
    for (double v : x)
        nonzero += v > 0;
    EXPECT_GE(iterations, nonzero);

    std::vector<double> x2(3, 7.0);
    int m0 = 0, n3 = 3;
    nnls_solve(0.0, 0.0, a.data(), 1, m0, n3, b.data(), x2.data(), rnorm, w.data(), zz.data(), index.data(),
               mode, iterations);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(x2, (std::vector<double>{7, 7, 7})) << "x untouched";
}

// A tolerance that sends a small positive component back to the zero set
// while its correlation still exceeds the tolerance makes the active set
// cycle; the 3n limit of inner passes ends it with the last x.
TEST(NnlsKernel, IterationLimitEndsACycle)
{
    struct Case {
        const char* what;
        int m, n;
        std::vector<double> a, b;
        double tol;
        int mode;
        std::vector<double> x;
        int entries;  // moves into the positive set
    };
    const std::vector<Case> cases = {
        {"one variable", 1, 1, {10}, {0.05}, 0.1, 3, {0}, 2},
        {"a settled variable beside a cycling one", 2, 2, {1, 0, 0, 10}, {1, 0.05}, 0.1, 3, {1, 0}, 4},
        {"the same without the tolerance", 2, 2, {1, 0, 0, 10}, {1, 0.05}, 0.0, 1, {1, 0.005}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> a = c.a, b = c.b, x(c.n, 0.0), w(c.n), zz(c.m);
        std::vector<int> index(c.n);
        double rnorm = 0;
        int mode = 0, iterations = 0;
        nnls_solve(c.tol, c.tol, a.data(), c.m, c.m, c.n, b.data(), x.data(), rnorm, w.data(), zz.data(),
                   index.data(), mode, iterations);
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(iterations, c.entries);
        for (int k = 0; k < c.n; ++k)
            EXPECT_NEAR(x[k], c.x[k], 1e-15) << k;

        // The language functions report the limit as flag 0, x as it stood.
        const Mm A = matrix(c.m, c.n, c.a), bv = column(c.b);
        Mm xv, wv, flag;
        nnls(A, bv, Mm(c.tol), i_o, xv, wv, flag);
        EXPECT_EQ(test::at(flag, 0), c.mode == 1 ? 1 : 0);
        EXPECT_EQ(test::values(xv), x);
        Mm xl, resnorm, residual, exitflag, output;
        lsqnonneg(test::cell_row({A, bv, Mm(), optimset(TM("TolX"), test::cell_row({Mm(c.tol)}))}), i_o, xl, resnorm,
                  residual, exitflag, output);
        EXPECT_EQ(test::at(exitflag, 0), c.mode == 1 ? 1 : 0);
        EXPECT_EQ(test::at(getfield(output, TM("iterations")), 0), c.entries);
    }
}
// The default tolerance is in A's units: applied to the solution values it
// took 1.3e-8 for zero when A is 1e8 and returned x = 0. Both functions
// must find the small positive solution, with flag 1 and the residual.
TEST(Nnls, SmallSolutionOfALargeMatrix)
{
    for (const nnls_scaled_reference& r : nnls_scaled_references) {
        SCOPED_TRACE(r.what);
        const Mm A = matrix(r.m, r.n, r.a), b = column(r.b);
        Mm x, w, flag;
        nnls(A, b, i_o, x, w, flag);
        EXPECT_EQ(test::at(flag, 0), 1);
        ASSERT_EQ(x.size(), r.n);
        for (int k = 0; k < r.n; ++k)
            EXPECT_NEAR(test::at(x, k), r.x[k], 1e-12 * std::fabs(r.x[k])) << k;
        Mm xl, resnorm, residual, exitflag;
        lsqnonneg(test::cell_row({A, b}), i_o, xl, resnorm, residual, exitflag);
        EXPECT_EQ(test::values(xl), test::values(x));
        EXPECT_EQ(test::at(exitflag, 0), 1);
        EXPECT_NEAR(test::at(resnorm, 0), r.resnorm, 1e-12 * r.resnorm);
    }
    // A tolerance given by the caller stands in the tests on x as well:
    // 1e-7 takes 1.3e-8 for zero.
    const nnls_scaled_reference& r = nnls_scaled_references[0];
    Mm x, w, flag;
    nnls(matrix(r.m, r.n, r.a), column(r.b), Mm(1e-7), i_o, x, w, flag);
    EXPECT_EQ(test::values(x), (std::vector<double>{0}));
}

// A negative tolerance: a candidate turned down must stay turned down, or
// the search for the best candidate never ends.
TEST(Nnls, NegativeToleranceEnds)
{
    Mm x, w, flag;
    nnls(test::real(2, 2, {1, 0, 0, 1}), column({1, -0.5}), Mm(-1.0), i_o, x, w, flag);
    EXPECT_EQ(test::values(x), (std::vector<double>{1, 0}));
    EXPECT_EQ(test::at(flag, 0), 1);
}

TEST(Householder, ReflectsOntoThePivot)
{
    std::vector<double> u = {3, 0, 4};
    double up = 0;
    std::vector<double> c = {3, 0, 4, 1, 2, 3};
    householder_h12(1, 1, 2, 3, u.data(), 1, up, c.data(), 1, 3, 2);
    EXPECT_NEAR(std::fabs(u[0]), 5, 1e-15);
    EXPECT_NEAR(std::fabs(c[0]), 5, 1e-15) << "the vector itself maps onto its pivot";
    EXPECT_NEAR(c[1], 0, 1e-15);
    EXPECT_NEAR(c[2], 0, 1e-15);
    const double n2 = c[3] * c[3] + c[4] * c[4] + c[5] * c[5];
    EXPECT_NEAR(n2, 14, 1e-13) << "lengths kept";
    EXPECT_EQ(householder_h12(1, 0, 2, 3, u.data(), 1, up, c.data(), 1, 3, 1), 0);
}

// A NaN or an infinity in the data is refused by name: the run would take
// a NaN tolerance, stop at once and call x = 0 a success.
TEST(Nnls, NonFiniteDataIsAnError)
{
    Mm x = Mm(7.0), w, flag = Mm(9.0);
    EXPECT_ERROR(nnls(test::real(2, 2, {1, NAN, 0, 1}), column({1, 1}), i_o, x, w, flag),
                 "nnls: a and b must be finite");
    EXPECT_EQ(test::at(x, 0), 7);  // outputs untouched
    EXPECT_EQ(test::at(flag, 0), 9);
    struct Case {
        const char* what;
        Mm A, b, tol;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"Inf in A", test::real(2, 2, {1, 0, INFINITY, 1}), column({1, 1}), Mm(), "nnls: a and b must be finite"},
        {"NaN in b", test::real(2, 2, {1, 0, 0, 1}), column({NAN, 1}), Mm(), "nnls: a and b must be finite"},
        {"-Inf in b", test::real(2, 2, {1, 0, 0, 1}), column({1, -INFINITY}), Mm(), "nnls: a and b must be finite"},
        {"NaN tolerance", test::real(2, 2, {1, 0, 0, 1}), column({1, 1}), Mm(NAN),
         "nnls: the tolerance must not be NaN"},
        // The imaginary parts were dropped without a word: x = [1 0] for
        // (1+i) I and [1+i; i], whose answer over x >= 0 is [1 0.5].
        {"complex A", test::complex(2, 2, {1, 0, 0, 1}, {1, 0, 0, 1}), column({1, 0}), Mm(),
         "nnls: a and b must be real"},
        {"complex b", test::real(2, 2, {1, 0, 0, 1}), test::complex(2, 1, {1, 0}, {1, 1}), Mm(),
         "nnls: a and b must be real"},
        {"complex tolerance", test::real(2, 2, {1, 0, 0, 1}), column({1, 1}), test::complex(1, 1, {1e-9}, {1}),
         "nnls: the tolerance must be real"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_ERROR(nnls(k.A, k.b, k.tol), k.message);
    }
    EXPECT_ERROR(lsqnonneg(test::cell_row({test::real(2, 2, {1, NAN, 0, 1}), column({1, 1})})),
                 "lsqnonneg: a and b must be finite");
}

TEST(Lsqnonneg, OutputsAndOptions)
{
    const Mm M = test::real(3, 2, {1, 2, 3, 1, 0, -1});
    const Mm v = column({1, 1, 2});
    Mm x, resnorm, residual, exitflag, output, lambda;
    lsqnonneg(test::cell_row({M, v}), i_o, x, resnorm, residual, exitflag, output, lambda);
    EXPECT_EQ(test::extents(x), (std::vector<int>{2, 1}));
    const std::vector<double> res = test::values(M * x - v);
    EXPECT_EQ(test::values(residual), res);
    EXPECT_NEAR(test::at(resnorm, 0), res[0] * res[0] + res[1] * res[1] + res[2] * res[2], 1e-15);
    EXPECT_EQ(test::at(exitflag, 0), 1);
    const Mm iterations = getfield(output, TM("iterations"));
    EXPECT_EQ(iterations.gettype(), qv_double);
    EXPECT_GE(test::at(iterations, 0), 1);
    Mm xn, wn;
    nnls(M, v, i_o, xn, wn);
    EXPECT_EQ(test::values(lambda), test::values(wn));
    EXPECT_EQ(test::values(x), test::values(xn));

    // A large TolX stops at once: no correlation exceeds it.
    const Mm loose = lsqnonneg(test::cell_row({M, v, Mm(), optimset(TM("TolX"), test::cell_row({Mm(1e3)}))}));
    EXPECT_EQ(test::values(loose), (std::vector<double>{0, 0}));
    EXPECT_EQ(test::values(nnls(M, v, Mm(1e3))), (std::vector<double>{0, 0}));

    EXPECT_ERROR(lsqnonneg(test::cell_row({M})), "lsqnonneg: wrong number of arguments");
    EXPECT_ERROR(lsqnonneg(test::cell_row({M, v, Mm(), Mm(), Mm()})), "lsqnonneg: wrong number of arguments");
    EXPECT_ERROR(nnls(Mm(0, 0, 0, 3, 2, qv_double), Mm(0, 0, 0, 2, 1, qv_double)),
                 "nnls: number of rows in a and b is different");
    EXPECT_ERROR(lsqnonneg(test::cell_row({Mm(0, 0, 0, 3, 2, qv_double), column({1, 1})})),
                 "nnls: number of rows in a and b is different");
}

} // namespace
