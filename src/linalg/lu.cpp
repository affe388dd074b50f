// Left division: square systems by LU factorisation with partial pivoting,
// others in the least-squares sense, through LAPACK.
#include "linalg/lapack.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <vector>

namespace {

// A full double copy of x (uint8 values as their values, sparse ones made full).
Mm full_double(const Mm& x)
{
    if (x.gettype() == qv_double && !x.issparse())
        return x;
    Mm f;
    f.deepcopy(x.isc(), 0, x, qv_double);
    return f;
}

// Interleaved complex storage for the complex LAPACK routines.
std::vector<double> interleaved(const Mm& x, int rows, int cols, int ld)
{
    std::vector<double> z(2 * std::size_t(ld) * cols, 0.0);
    const double* re = x.addr();
    const double* im = x.addi();
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r) {
            std::size_t from = r + std::size_t(c) * rows, to = 2 * (r + std::size_t(c) * ld);
            z[to] = re[from];
            z[to + 1] = im ? im[from] : 0.0;
        }
    return z;
}

Mm solve_real(const Mm& a, const Mm& b)
{
    const int m = a.rows(), n = a.cols(), nrhs = b.cols();
    Mm x(0, 0, 0, n, nrhs, qv_double);
    if (m == n) {
        Mm lu;
        lu.deepcopy(0, 0, a, qv_double);
        Mm rhs;
        rhs.deepcopy(0, 0, b, qv_double);
        scratch<int> pivots(std::size_t(std::max(n, 1)));
        lapack::getrf(m, n, lu.addr(), m, pivots.get());
        // A singular matrix still solves: the zero pivot shows as Inf or NaN.
        lapack::getrs('N', n, nrhs, lu.addr(), m, pivots.get(), rhs.addr(), m);
        return rhs;
    }
    const int ldb = std::max(m, n);
    Mm work_a;
    work_a.deepcopy(0, 0, a, qv_double);
    std::vector<double> rhs(std::size_t(ldb) * nrhs, 0.0);
    for (int c = 0; c < nrhs; ++c)
        std::copy(b.addr() + std::size_t(c) * m, b.addr() + std::size_t(c + 1) * m, rhs.begin() + std::size_t(c) * ldb);
    double query = 0;
    lapack::gels(m, n, nrhs, work_a.addr(), m, rhs.data(), ldb, &query, -1);
    const int lwork = std::max(1, static_cast<int>(query));
    std::vector<double> work(lwork);
    lapack::gels(m, n, nrhs, work_a.addr(), m, rhs.data(), ldb, work.data(), lwork);
    for (int c = 0; c < nrhs; ++c)
        std::copy(rhs.begin() + std::size_t(c) * ldb, rhs.begin() + std::size_t(c) * ldb + n, x.addr() + std::size_t(c) * n);
    return x;
}

Mm solve_complex(const Mm& a, const Mm& b)
{
    const int m = a.rows(), n = a.cols(), nrhs = b.cols();
    const int ldb = std::max(m, n);
    std::vector<double> za = interleaved(a, m, n, m);
    std::vector<double> zb = interleaved(b, m, nrhs, ldb);
    if (m == n) {
        scratch<int> pivots(std::size_t(std::max(n, 1)));
        lapack::zgetrf(m, n, za.data(), m, pivots.get());
        lapack::zgetrs('N', n, nrhs, za.data(), m, pivots.get(), zb.data(), ldb);
    } else {
        double query[2] = {0, 0};
        lapack::zgels(m, n, nrhs, za.data(), m, zb.data(), ldb, query, -1);
        const int lwork = std::max(1, static_cast<int>(query[0]));
        std::vector<double> work(2 * std::size_t(lwork));
        lapack::zgels(m, n, nrhs, za.data(), m, zb.data(), ldb, work.data(), lwork);
    }
    Mm x(1, 0, 0, n, nrhs, qv_double);
    for (int c = 0; c < nrhs; ++c)
        for (int r = 0; r < n; ++r) {
            std::size_t from = 2 * (r + std::size_t(c) * ldb);
            x.addr()[r + std::size_t(c) * n] = zb[from];
            x.addi()[r + std::size_t(c) * n] = zb[from + 1];
        }
    return x;
}

} // namespace

Mm mldivide(const Mm& a, Mm b)
{
    if (a.isstruct() || b.isstruct())
        return call_class_function("mldivide", a, b);
    if (isempty(a) || isempty(b))
        return nop_M;
    if (a.size() == 1)
        return rdivide(b, a);
    if (a.rows() != b.rows()) {
        error("%s: a,b does not have the same number of rows", "mldivide");
        return x_M;
    }
    if (error_2d(a, "mldivide") || error_2d(b, "mldivide"))
        return x_M;
    Mm fa = full_double(a), fb = full_double(b);
    return fa.isc() || fb.isc() ? solve_complex(fa, fb) : solve_real(fa, fb);
}
