// The reduced row echelon form by Gauss-Jordan elimination with partial
// pivoting and a tolerance, with the list of pivot columns.
#include "engine/scalar_complex.hpp"
#include "linalg/front.hpp"
#include "linalg/kernels.hpp"
#include "value/element_read.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/linalg.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using idx = std::ptrdiff_t;

void rref_core(const Mm& a0, const Mm& tol_in, Mm& R, Mm* jb_out)
{
    if (error_2d(a0, "rref")) {
        R = x_M;
        if (jb_out)
            *jb_out = x_M;
        return;
    }
    Mm a = dense_copy(a0);
    const int m = a.rows(), n = a.cols();
    const bool complex = a.isc();
    // A NaN or Inf entry makes the default tolerance NaN or Inf, which no
    // pivot passes, and the form would come out as plausible zeros: the
    // form of such a matrix is NaN, with no pivot columns.
    if (!all_finite(a)) {
        R = nan_matrix(m, n);
        if (jb_out)
            *jb_out = nop_M;
        return;
    }
    double tol;
    if (isempty(tol_in))
        tol = double(std::max(m, n)) * (isempty(a) ? 0.0 : norm(a, TM("inf")).addr()[0]) * 0x1p-52;
    else
        tol = dense_copy(tol_in).addr()[0];
    double* re = a.addr();
    double* im = a.addi();
    auto at = [m](int i, int j) { return i + idx(j) * m; };
    std::vector<double> jb;
    int l = 0;
    for (int k = 0; k < n && l < m; ++k) {
        // The pivot row from l down: largest |a| (|re| + |im| for complex).
        const int p = l - 1 + (complex ? izamax_split(m - l, re + at(l, k), im + at(l, k), 1)
                                       : idamax_first(m - l, re + at(l, k), 1));
        const double size = complex ? complex_abs(re[at(p, k)], im[at(p, k)]) : std::fabs(re[at(p, k)]);
        if (!(size > tol)) {
            for (int i = l; i < m; ++i) {
                re[at(i, k)] = 0;
                if (complex)
                    im[at(i, k)] = 0;
            }
            continue;
        }
        jb.push_back(k + 1);
        for (int j = k; j < n; ++j) {
            std::swap(re[at(p, j)], re[at(l, j)]);
            if (complex)
                std::swap(im[at(p, j)], im[at(l, j)]);
        }
        // Row l over its pivot.
        if (complex) {
            double rr, ri;
            complex_recip(re[at(l, k)], im[at(l, k)], rr, ri);
            for (int j = k; j < n; ++j)
                complex_mul(rr, ri, re[at(l, j)], im[at(l, j)], re[at(l, j)], im[at(l, j)]);
        } else {
            const double r = 1 / re[at(l, k)];
            for (int j = k; j < n; ++j)
                re[at(l, j)] *= r;
        }
        // Every other row loses its multiple of row l.
        for (int i = 0; i < m; ++i) {
            if (i == l)
                continue;
            const double fr = -re[at(i, k)], fi = complex ? -im[at(i, k)] : 0.0;
            for (int j = k; j < n; ++j) {
                if (complex) {
                    const double xr = re[at(l, j)], xi = im[at(l, j)];
                    re[at(i, j)] += fr * xr - fi * xi;
                    im[at(i, j)] += fr * xi + fi * xr;
                } else
                    re[at(i, j)] += fr * re[at(l, j)];
            }
        }
        ++l;
    }
    R = a;
    if (jb_out) {
        if (jb.empty())
            *jb_out = nop_M;
        else {
            Mm row = new_dense(0, 1, int(jb.size()));
            std::copy(jb.begin(), jb.end(), row.addr());
            *jb_out = row;
        }
    }
}

} // namespace

Mm rref(const Mm& a)
{
    Mm R;
    rref_core(a, nop_M, R, nullptr);
    return R;
}

Mm rref(const Mm& a, const Mm& tol)
{
    Mm R;
    rref_core(a, tol, R, nullptr);
    return R;
}

Mm rref(const Mm& a, i_o_t, Mm& R, Mm& jb)
{
    rref_core(a, nop_M, R, &jb);
    return x_M;
}

Mm rref(const Mm& a, const Mm& tol, i_o_t, Mm& R, Mm& jb)
{
    rref_core(a, tol, R, &jb);
    return x_M;
}
