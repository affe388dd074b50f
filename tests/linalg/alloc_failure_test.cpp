// Refused allocations in the linear algebra: factorisations, solves (dense,
// symmetric, complex, least squares and sparse), the SVD-based functions and
// the test matrices.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

namespace {

TEST(AllocationFailure, LinearAlgebra)
{
    const Mm a = test::real(3, 3, {4, 1, 0, 1, 5, 2, 0, 2, 6});
    const Mm g = test::real(3, 3, {1, 4, 7, 2, 5, 8, 3, 6, 10});
    const Mm z = test::complex(2, 2, {2, 0, 1, 3}, {1, 0, 0, -1});
    const Mm tall = test::real(3, 2, {1, 1, 1, 0, 1, 2});
    const Mm b = test::real(3, 1, {1, 2, 3});
    const Mm s = sparse(a);
    test::sweep_allocations({
        {"svd", g, [](Mm& x) { x = svd(x); }},
        {"svd with vectors", g, [](Mm& x) { Mm U, S, V; svd(x, i_o, U, S, V); x = U; }},
        {"complex svd", z, [](Mm& x) { Mm U, S, V; svd(x, Mm(0.0), i_o, U, S, V); x = V; }},
        {"chol", a, [](Mm& x) { x = chol(x); }},
        {"chol two outputs", g, [](Mm& x) { Mm R, p; chol(x, i_o, R, p); x = R; }},
        {"qr", g, [](Mm& x) { Mm Q, R, E; qr(x, i_o, Q, R, E); x = Q; }},
        {"lu", g, [](Mm& x) { Mm L, U, P; lu(x, i_o, L, U, P); x = L; }},
        {"sparse lu", s, [](Mm& x) { Mm L, U, P; lu(x, i_o, L, U, P); x = L; }},
        {"general solve", g, [=](Mm& x) { x = mldivide(x, b); }},
        {"symmetric solve", a, [=](Mm& x) { x = mldivide(x, b); }},
        {"complex solve", z, [](Mm& x) { x = mldivide(x, test::real(2, 1, {1, 2})); }},
        {"real matrix, complex right-hand side", g,
         [](Mm& x) { x = mldivide(x, test::complex(3, 1, {1, 2, 3}, {1, 0, -1})); }},
        {"least squares", tall, [=](Mm& x) { x = mldivide(x, b); }},
        {"sparse solve", s, [=](Mm& x) { x = mldivide(x, b); }},
        {"norm, infinity", g, [](Mm& x) { x = norm(x, TM("inf")); }},
        {"norm, Frobenius", z, [](Mm& x) { x = norm(x, TM("fro")); }},
        {"inv", g, [](Mm& x) { x = inv(x); }},
        {"det", z, [](Mm& x) { x = det(x); }},
        {"rcond", g, [](Mm& x) { x = rcond(x); }},
        {"rref", g, [](Mm& x) { x = rref(x); }},
        {"pinv", tall, [](Mm& x) { x = pinv(x); }},
        {"null", tall, [](Mm& x) { x = null(transpose(x)); }},
        {"magic", Mm(6.0), [](Mm& x) { x = magic(x); }},
        {"hadamard", Mm(12.0), [](Mm& x) { x = hadamard(x); }},
        {"toeplitz", test::row({1, 2, 3}), [](Mm& x) { x = toeplitz(x); }},
        {"logm", a, [](Mm& x) { x = logm(x); }},
        {"cond", g, [](Mm& x) { x = cond(x); }},
        {"norm of uint8", muint8(g), [](Mm& x) { x = norm(x); }},
        {"norm of sparse", s, [](Mm& x) { x = norm(x, Mm(1.0)); }},
        {"rank", tall, [](Mm& x) { x = rank(x); }},
        {"orth", g, [](Mm& x) { x = orth(x); }},
        {"subspace", tall, [=](Mm& x) { x = subspace(x, b); }},
        {"mrdivide", g, [=](Mm& x) { x = mrdivide(transpose(b), x); }},
        {"inv of sparse", s, [](Mm& x) { x = inv(x); }},
        {"det of sparse", s, [](Mm& x) { x = det(x); }},
        {"qr economy", tall, [](Mm& x) { Mm Q, R, E; qr(x, Mm(0.0), i_o, Q, R, E); x = E; }},
        {"lyap", a, [=](Mm& x) { x = lyap(x, g); }},
        {"compan", test::row({1, -6, 11, -6}), [](Mm& x) { x = compan(x); }},
        {"hankel", test::row({1, 2, 3}), [](Mm& x) { x = hankel(x); }},
        {"vander", test::row({1, 2, 3}), [](Mm& x) { x = vander(x); }},
        {"hilb", Mm(4.0), [](Mm& x) { x = hilb(x); }},
        {"invhilb", Mm(4.0), [](Mm& x) { x = invhilb(x); }},
        {"wilkinson", Mm(5.0), [](Mm& x) { x = wilkinson(x); }},
        {"rosser", Mm(), [](Mm& x) { x = rosser(); }},
        {"trace", g, [](Mm& x) { x = trace(x); }},
        {"planerot", test::real(2, 1, {3, 4}), [](Mm& x) { Mm G, y; planerot(x, i_o, G, y); x = G; }},
        {"svd of a matrix with Inf", test::real(2, 2, {1, 2, INFINITY, 3}),
         [](Mm& x) { Mm U, S, V; svd(x, i_o, U, S, V); x = V; }},
        {"null of NaN", Mm(NAN), [](Mm& x) { x = null(x); }},
        {"inv with Inf", test::real(2, 2, {1, 2, INFINITY, 3}), [](Mm& x) { x = inv(x); }},
        {"negative fractional power", test::real(2, 2, {1, 2, 2, 1}), [](Mm& x) { x = mpower(x, Mm(-0.5)); }},
        {"expm, diagonal", test::real(2, 2, {-0x1p1022, 0, 0, -1}), [](Mm& x) { x = expm(x); }},
        {"expm, triangular", test::real(2, 2, {-1e20, 0, 1, -1}), [](Mm& x) { x = expm(x); }},
        {"expm through the Schur form", test::real(3, 3, {-1e20, 0, 0, 0, 0, -1, 0, 1, 0}),
         [](Mm& x) { x = expm(x); }},
        {"det of real", g, [](Mm& x) { x = det(x); }},
        {"eig of a pair scaled by 1e300", 1e300 * a, [=](Mm& x) { x = eig(x, g); }},
        {"qz of a scaled pair", 1e300 * a, [=](Mm& x) { Mm AA, BB, Q, Z; qz(x, g, i_o, AA, BB, Q, Z); x = AA; }},
        {"rank-deficient least squares", test::real(3, 2, {1, 0, 0, 0, 0, 0}), [=](Mm& x) { x = mldivide(x, b); }},
        {"tall sparse least squares", sparse(test::real(4, 2, {1, 2, 0, 1, 0, 1, 3, 1})),
         [](Mm& x) { x = mldivide(x, test::real(4, 1, {1, 2, 3, 4})); }},
        {"complex tall sparse least squares", sparse(test::complex(3, 2, {1, 2, 0, 0, 1, 3}, {0, 1, 0, 1, 0, 0})),
         [](Mm& x) { x = mldivide(x, test::real(3, 1, {1, 2, 3})); }},
    });
}

} // namespace
