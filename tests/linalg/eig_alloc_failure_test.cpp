// Refused allocations in the eigenvalue family: eig on each of its paths,
// the Schur and Hessenberg forms, the QZ method, matrix functions and the
// Sylvester solver.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

TEST(AllocationFailure, Eigenvalues)
{
    const Mm general = test::real(3, 3, {1, 4, 2, 2, 1, 5, 3, 1, 2});
    const Mm symmetric = test::real(3, 3, {2, 1, 0, 1, 2, 1, 0, 1, 2});
    const Mm complex = test::complex(2, 2, {1, 2, 3, 4}, {1, 0, -1, 2});
    const Mm b = test::real(3, 3, {2, 0, 1, 1, 3, 0, 0, 1, 4});
    const Mm sparse_two = sparse(Mm(2.0)), byte_three = muint8(Mm(3.0));
    test::sweep_allocations({
        {"eig, real", general, [](Mm& x) { x = eig(x); }},
        {"eig, symmetric", symmetric, [](Mm& x) { x = eig(x); }},
        {"eig, complex", complex, [](Mm& x) { x = eig(x); }},
        {"[V, D] = eig", general, [](Mm& x) {
             Mm V, D;
             eig(x, i_o, V, D);
             x = V;
         }},
        {"[V, D] = eig, Hermitian", symmetric, [](Mm& x) {
             Mm V, D;
             eig(x, i_o, V, D);
             x = D;
         }},
        {"schur", general, [](Mm& x) { x = schur(x); }},
        {"schur, entries far from one", general, [](Mm& x) { x = schur(1e300 * x); }},
        {"eig, entries far from one", symmetric, [](Mm& x) { x = eig(1e-300 * x); }},
        {"hess", complex, [](Mm& x) { x = hess(x); }},
        {"[P, H] = hess, real", general, [](Mm& x) {
             Mm P, H;
             hess(x, i_o, P, H);
             x = P;
         }},
        {"balance", general, [](Mm& x) { x = balance(x); }},
        {"eig(A, B)", general, [=](Mm& x) { x = eig(x, b); }},
        {"qz", general, [=](Mm& x) {
             Mm AA, BB, Q, Z, V;
             qz(x, b, i_o, AA, BB, Q, Z, V);
             x = Q;
         }},
        {"expm", general, [](Mm& x) { x = expm(x); }},
        {"sqrtm", symmetric, [](Mm& x) { x = sqrtm(x); }},
        {"mpower", general, [](Mm& x) { x = mpower(x, Mm(-3.0)); }},
        {"mpower by a sparse exponent", general, [=](Mm& x) { x = mpower(x, sparse_two); }},
        {"mpower by a uint8 exponent", general, [=](Mm& x) { x = mpower(x, byte_three); }},
        {"condeig", general, [](Mm& x) { x = condeig(x); }},
        {"axxbc", symmetric, [=](Mm& x) { x = axxbc(x, x, general); }},
        {"rsf2csf", general, [](Mm& x) {
             Mm U, T;
             schur(x, i_o, U, T);
             rsf2csf(U, T, i_o, U, T);
             x = T;
         }},
    });
}

} // namespace
