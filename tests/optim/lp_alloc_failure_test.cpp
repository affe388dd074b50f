// Refused allocations in lp: the argument conversions, the triplets, the
// ordering and factorisation of the normal equations (with dense columns
// kept out of it too), near copies taken back, the finish in boxes, the
// MPS reader and the result columns.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

#include <cstdio>
#include <string>
#include <vector>

namespace {

Mm filled(int rows, int cols, const std::vector<double>& v)
{
    Mm a(0, 0, 0, rows, cols, qv_double);
    for (std::size_t k = 0; k < v.size(); ++k)
        a.addr()[k] = v[k];
    return a;
}

TEST(AllocationFailure, Lp)
{
    const Mm A = test::real(2, 2, {1, 1, 1, -1});
    const Mm b = test::real(2, 1, {4, 2});
    test::sweep_allocations({
        {"lp", test::row({-1, -2}), [=](Mm& x) { x = lp(x, A, b, test::row({0, 0}), nop_M, nop_M, Mm(0.0), Mm(-1.0)); }},
        {"lp with multipliers", test::row({-1, -2}), [=](Mm& x) {
             Mm xs, lambda, how;
             lp(x, A, b, test::row({0, 0}), nop_M, nop_M, Mm(0.0), Mm(-1.0), i_o, xs, lambda, how);
             x = lambda;
         }},
        {"lp with a variable in no row", test::row({1, 2, 0}), [](Mm& x) {
             Mm xs, lambda, how;
             lp(x, test::real(2, 3, {1, 1, 1, -1, 0, 0}), test::real(2, 1, {2, 0}), test::row({0, 0, 0}), nop_M,
                nop_M, Mm(2.0), Mm(-1.0), i_o, xs, lambda, how);
             x = xs;
         }},
        // The near copy is taken back as what it adds to the first row.
        {"lp with a near copy of an equality row", test::row({1, 2, 3}), [](Mm& x) {
             Mm xs, lambda, how;
             lp(x, test::real(2, 3, {1, 1 + 1e-5, 1, 1, 1, 1}), test::real(2, 1, {1, 1}), test::row({0, 0, 0}),
                nop_M, nop_M, Mm(2.0), Mm(-1.0), i_o, xs, lambda, how);
             x = lambda;
         }},
        // The iterations stall, and boxes of growing size find the optimum.
        {"lp on nearly opposite rows", test::row({-1, 0}), [](Mm& x) {
             x = lp(x, test::real(2, 2, {1, -1, -1, 1 + 1e-6}), test::real(2, 1, {1, 1}), test::row({0, 0}), nop_M,
                    nop_M, Mm(0.0), Mm(-1.0));
         }},
    });
}

TEST(AllocationFailure, LpSparseAndMps)
{
    // A banded problem of twelve rows with an equality block: rows merge in
    // the ordering and the factor has supernodes below the dense rest.
    std::vector<double> a(12 * 20, 0.0);
    for (int j = 0; j < 20; ++j)
        for (int d = 0; d < 3; ++d)
            a[(j + 5 * d) % 12 + 12 * j] = 1.0 + 0.25 * d + 0.01 * j;
    const Mm A = sparse(filled(12, 20, a));
    const Mm b = filled(12, 1, std::vector<double>(12, 10.0));
    const Mm ub = filled(1, 20, std::vector<double>(20, 3.0));
    const Mm lb = filled(1, 20, std::vector<double>(20, 0.0));
    const std::string path = testing::TempDir() + "sweep.mps";
    if (FILE* f = std::fopen(path.c_str(), "w")) {
        std::fputs("NAME\nROWS\n N  COST\n L  R1\n G  R2\nCOLUMNS\n"
                   "    X         COST         -1.0   R1           1.0\n"
                   "    X         R2           1.0\n"
                   "    Y         COST         -2.0   R1           1.0\n"
                   "RHS\n    RHS       R1           4.0   R2           1.0\nENDATA\n",
                   f);
        std::fclose(f);
    }
    // Two full columns beside a sparse rest of 110 rows: they stay out of
    // the factor and come back through the Woodbury identity.
    const int rows = 110, cols = rows + 2;
    std::vector<double> d(static_cast<std::size_t>(rows) * cols, 0.0);
    for (int j = 0; j < rows; ++j) {
        d[j + rows * j] = 1.0;
        d[(j + 1) % rows + rows * j] = 0.5;
    }
    for (int i = 0; i < rows; ++i) {
        d[i + rows * rows] = 1.0 + 0.01 * i;
        d[i + rows * (rows + 1)] = 1.0 - 0.005 * i;
    }
    const Mm D = sparse(filled(rows, cols, d));
    const Mm bd = filled(rows, 1, std::vector<double>(rows, 10.0));
    const Mm ubd = filled(1, cols, std::vector<double>(cols, 3.0));
    const Mm lbd = filled(1, cols, std::vector<double>(cols, 0.0));
    test::sweep_allocations({
        {"lp, sparse with two dense columns", filled(1, cols, std::vector<double>(cols, -1.0)),
         [=](Mm& x) { x = lp(x, D, bd, lbd, ubd, nop_M, Mm(0.0), Mm(-1.0)); }},
        {"lp, sparse banded", filled(1, 20, std::vector<double>(20, -1.0)),
         [=](Mm& x) { x = lp(x, A, b, lb, ub, nop_M, Mm(4.0), Mm(-1.0)); }},
        {"lp of an MPS file", test::text(path.c_str()), [](Mm& x) {
             Mm xs, lambda;
             lp(x, i_o, xs, lambda);
             x = xs;
         }},
    });
}

} // namespace
