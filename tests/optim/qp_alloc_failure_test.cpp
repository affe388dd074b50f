// Refused allocations in quadratic programming and least squares: every
// statement ends cleanly, with an error or a verdict, and gives back what
// it took.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

TEST(AllocationFailure, QuadraticProgrammingAndLeastSquares)
{
    const Mm H = test::real(2, 2, {2, 0, 0, 2}), f = test::real(2, 1, {-2, -4});
    const Mm A = test::real(1, 2, {1, 1}), b = Mm(2.0), lb = test::real(2, 1, {0, -INFINITY});
    const Mm M = test::real(3, 2, {1, 2, 3, 1, 0, -1}), v = test::real(3, 1, {1, 1, 2});
    const Mm args = test::cell_row({M, v});
    test::sweep_allocations({
        {"qp", Mm(), [=](Mm& x) {
             randM(TM("seed"), Mm(5489.0));
             Mm lambda, how;
             qp(H, f, A, b, lb, Mm(), Mm(), Mm(0.0), Mm(-1.0), i_o, x, lambda, how);
         }},
        {"qp, one equality", Mm(), [=](Mm& x) {
             randM(TM("seed"), Mm(1.0));
             Mm lambda, how;
             qp(H, f, A, b, Mm(), Mm(), Mm(), Mm(1.0), Mm(-1.0), i_o, x, lambda, how);
         }},
        // Two opposite rows: the KKT systems become singular and are solved
        // again regularised.
        {"qp, a face without interior", Mm(), [=](Mm& x) {
             randM(TM("seed"), Mm(65.0));
             Mm lambda, how;
             qp(test::real(2, 2, {1, 0, 0, 1}), test::real(2, 1, {-1, 0}), test::real(2, 2, {1, -1, -1, 1}),
                test::real(2, 1, {1, -1}), Mm(), Mm(), Mm(), Mm(0.0), Mm(-1.0), i_o, x, lambda, how);
         }},
        // Near copies 1e-10 apart as equalities, H with a zero row, in a
        // box: the rows scaled, the exact solve refined and then taken
        // by the null space of the rows, the reduced system by its
        // eigenvalues.
        {"qp, near copies and a semidefinite H", Mm(), [=](Mm& x) {
             randM(TM("seed"), Mm(3.0));
             Mm lambda, how;
             qp(test::real(3, 3, {1, 0, 0, 0, 2, 0, 0, 0, 0}), test::real(3, 1, {1, -1, 2}),
                test::real(2, 3, {1, 1 + 1e-10, 2, 2, -1, -1}), test::real(2, 1, {0.1, 0.1}),
                test::real(3, 1, {-1, -1, -1}), test::real(3, 1, {1, 1, 1}), Mm(), Mm(2.0), Mm(-1.0), i_o, x, lambda,
                how);
         }},
        {"qp, linear", Mm(), [=](Mm& x) { x = qp(Mm(), f, A, b, test::real(2, 1, {0, 0})); }},
        {"conls", Mm(), [=](Mm& x) {
             randM(TM("seed"), Mm(5489.0));
             x = conls(M, v, A, b);
         }},
        {"nnls", Mm(), [=](Mm& x) { x = nnls(M, v); }},
        {"nnls, columns far apart in scale", Mm(), [=](Mm& x) {
             x = nnls(test::real(4, 2, {1e8, 2e8, 1e8, 0, 1e-8, 3e-8, -1e-8, 5e-8}), test::real(4, 1, {1, 2, 3, 4}));
         }},
        {"lsqnonneg", Mm(), [=](Mm& x) {
             Mm resnorm, residual, exitflag, output, lambda;
             lsqnonneg(args, i_o, x, resnorm, residual, exitflag, output, lambda);
         }},
    });
}

} // namespace
