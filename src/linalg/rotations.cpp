// The Hermitian test that the solvers and the eigenvalue engine branch on,
// and the 2-by-2 plane rotations givens and planerot.
#include "engine/scalar_real.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/index.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <cmath>

namespace {


// The largest |A(r,c) - conj(A(c,r))| and the largest |A(r,c)|, both
// ignoring NaN as the language's max does.
void asymmetry(const Mm& a, double& largest_gap, double& largest_entry)
{
    const int n = a.rows();
    const double* re = a.addr();
    const double* im = a.addi();
    double gap = 0, big = 0;
    for (std::ptrdiff_t c = 0; c < n; ++c)
        for (std::ptrdiff_t r = 0; r < n; ++r) {
            const std::ptrdiff_t rc = r + c * n, cr = c + r * n;
            if (im) {
                gap = max_ignore_nan(gap, std::hypot(re[rc] - re[cr], im[rc] + im[cr]));
                big = max_ignore_nan(big, std::hypot(re[rc], im[rc]));
            } else {
                gap = max_ignore_nan(gap, std::fabs(re[rc] - re[cr]));
                big = max_ignore_nan(big, std::fabs(re[rc]));
            }
        }
    largest_gap = gap;
    largest_entry = big;
}

} // namespace

int ishermitian(const Mm& A)
{
    if (A.gettype() != qv_double)
        return 0;
    if (A.rows() != A.cols() || A.getndims() > 2) {
        error("ishermitian: '%s' matrix not square", matrix_display_name(A));
        return 0;
    }
    if (A.size() == 0)
        return 1;
    const Mm a = A.issparse() ? full(A) : A;
    double gap = 0, big = 0;
    asymmetry(a, gap, big);
    // The tolerance shrinks with the entries below 1, so a non-symmetric
    // matrix of tiny entries is not taken for a Hermitian one; an exactly
    // Hermitian matrix (a zero matrix included) always passes.
    const double tolerance = 10 * machine_eps_value * std::fmin(1.0, big);
    return gap == 0 || tolerance > gap ? 1 : 0;
}

Mm givens(const Mm& x, const Mm& y, i_o_t, Mm& c, Mm& s)
{
    if (istrue(eq(x, Mm(0.0)))) {
        c = Mm(0.0);
        s = Mm(1.0);
        return x_M;
    }
    const Mm nrm = norm(horzcat(x, y));
    const Mm ax = abs(x);
    c = rdivide(ax, nrm);
    s = times(rdivide(x, ax), rdivide(conj(y), nrm));
    return x_M;
}

Mm givens(const Mm& x, const Mm& y)
{
    Mm c, s;
    givens(x, y, i_o, c, s);
    return vertcat(horzcat(c, s), horzcat(uminus(conj(s)), c));
}

Mm givens(const Mm&)
{
    return Mm(error_input("givens", 1));
}

Mm givens(const Mm&, i_o_t, Mm&, Mm&)
{
    return Mm(error_input("givens", 1));
}

Mm planerot(const Mm& x, i_o_t, Mm& G, Mm& y)
{
    const Mm x1 = Mm(x(Mm(1.0))), x2 = Mm(x(Mm(2.0)));
    if (istrue(eq(x2, Mm(0.0)))) {
        G = eye(2.0);
        y = x;
        return x_M;
    }
    const Mm r = norm(x);
    G = rdivide(vertcat(ctranspose(x), horzcat(uminus(x2), x1)), r);
    y = vertcat(r, Mm(0.0));
    return x_M;
}

Mm planerot(const Mm& x)
{
    Mm G, y;
    planerot(x, i_o, G, y);
    return G;
}
