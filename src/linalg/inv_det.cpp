// The inverse, the determinant and the reciprocal condition estimate of a
// square matrix: LAPACK for dense real matrices and for large complex ones,
// the LINPACK-layout kernels for small complex ones and for the estimate
// (on factors from LAPACK when complex and large), left division or the
// sparse LU for sparse ones.
#include "engine/scalar_complex.hpp"
#include "linalg/front.hpp"
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "linalg/scaling.hpp"
#include "linalg/sparse_lu.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using idx = std::ptrdiff_t;

// A product of many factors kept as a mantissa in [1/2, 1) and a power of
// two, so that partial products beyond the doubles (the pivots of a large
// matrix whose determinant is 1) neither overflow nor underflow. Each
// factor's mantissa is multiplied into the running one, so while the plain
// product stays normal the result has exactly its bits.
class scaled_product {
public:
    void times(double x) noexcept
    {
        int k = 0;
        const double f = std::frexp(x, &k);
        exponent_ += k;
        mantissa_ = std::frexp(mantissa_ * f, &k);
        exponent_ += k;
    }
    void times_power_of_two(long long e) noexcept { exponent_ += e; }
    double value() const noexcept
    {
        // ldexp takes an int; beyond a few thousand the answer is 0 or Inf.
        const long long e = std::clamp(exponent_, -100000LL, 100000LL);
        return std::ldexp(mantissa_, int(e));
    }

private:
    double mantissa_ = 0.5;
    long long exponent_ = 1;
};

// +1 or -1: the parity of the permutation whose column j has its one in
// row row_of[j] (1-based).
double parity(std::vector<int> row_of)
{
    double sign = 1;
    const int n = int(row_of.size());
    for (int j = 0; j < n; ++j)
        while (row_of[j] - 1 != j) {
            std::swap(row_of[j], row_of[row_of[j] - 1]);
            sign = -sign;
        }
    return sign;
}

// The determinant from the sparse LU's pivots, in a fill-reducing column
// order (any order gives the determinant): the product of U's diagonal and
// the parities of the row and column orders. No factor is made full, and
// none becomes a value.
Mm sparse_det(const Mm& a)
{
    if (a.isc()) {
        error("lu: Complex sparse not supported.");
        return x_M;
    }
    std::vector<double> pivots;
    std::vector<int> perm_r, perm_c;
    if (!sparse_lu_pivots(a, pivots, perm_r, perm_c))
        return x_M;
    scaled_product d;
    for (double p : pivots)
        d.times(p);
    // The row interchanges count, as in the dense determinant.
    for (int& k : perm_r)
        ++k;
    for (int& k : perm_c)
        ++k;
    return Mm(parity(perm_r) * parity(perm_c) * d.value());
}

// a := its inverse by LAPACK's blocked ZGETRF and ZGETRI on one
// interleaved copy. False, a untouched, when a holds NaN or Inf or a pivot
// is exactly zero or below the normal numbers: the LINPACK-layout inverse
// then shows them as it always has (and as it does below the blocked
// order).
bool blocked_complex_inverse(Mm& a)
{
    const int n = a.rows();
    if (!finite_split(n, n, a.addr(), a.addi(), n))
        return false;
    scratch<double> z{2 * std::size_t(n) * std::size_t(n)};
    interleave_split(n, n, a.addr(), a.addi(), n, z.get(), n);
    int_scratch ipiv{std::size_t(n)};
    if (lapack::zgetrf(n, n, z.get(), n, ipiv.get()) != 0 || !sound_blocked_factors(n, z.get()))
        return false;
    const int lwork = 64 * n;
    scratch<double> work{2 * std::size_t(lwork)};
    lapack::zgetri(n, z.get(), n, ipiv.get(), work.get(), lwork);
    deinterleave_split(n, n, z.get(), n, a.addr(), a.addi(), n);
    return true;
}

// The estimate does not change when A is multiplied by a number, nor does
// the determinant but for the power of the number, yet their steps overflow
// for a matrix near the largest double (the norm of a large one is Inf,
// its estimate 0, its factors Inf and NaN) and divide by Inf for one of
// subnormal numbers (NaN): such a matrix (a dense copy of finite numbers)
// is taken in units of the power of two of its largest element, exactly;
// the exponent is returned. A matrix whose largest element has an exponent
// within keep_within of 0 is kept as it is (0 is returned).
int scale_to_unit_range(Mm& w, int keep_within)
{
    const idx count = idx(w.rows()) * w.cols();
    double big = 0;
    for (idx k = 0; k < count; ++k) {
        big = std::max(big, std::fabs(w.addr()[k]));
        if (w.isc())
            big = std::max(big, std::fabs(w.addi()[k]));
    }
    int e = 0;
    std::frexp(big, &e);
    if (big == 0 || std::abs(e) <= keep_within)
        return 0;
    for (idx k = 0; k < count; ++k) {
        w.addr()[k] = std::ldexp(w.addr()[k], -e);
        if (w.isc())
            w.addi()[k] = std::ldexp(w.addi()[k], -e);
    }
    return e;
}

// The elimination gives A's factors times a power of two exactly, but
// for the elements that leave the doubles; a matrix of ordinary numbers
// keeps its own bits.
constexpr int determinant_kept_within = 500;

// w (a dense copy of finite numbers) in the units its determinant is
// formed in, exactly, and the power of two that takes det(w) back to the
// matrix's own: rows and columns that lie far apart each brought to
// ordinary sizes (a symmetric matrix graded from 1e-300 to 1e300 in units
// of its largest element had its small entries flushed to 0, and its
// determinant came out 0 or wrong in every digit), otherwise the whole
// matrix in units of its largest element.
long long determinant_units(Mm& w)
{
    const power_of_two_equilibration q = equilibrate_by_powers_of_two(w);
    if (!q.active)
        return (long long)(scale_to_unit_range(w, determinant_kept_within)) * w.rows();
    long long e = 0;
    for (int k : q.row)
        e += k;
    for (int k : q.col)
        e += k;
    return e;
}

// x * 2^e for any integer e, without overflow of the exponent.
double times_power_of_two(double x, long long e)
{
    return std::ldexp(x, int(std::clamp(e, -100000LL, 100000LL)));
}

} // namespace

Mm inv_det_dense(const Mm& a0, int job)
{
    const int n = a0.rows();
    if (n == 0)
        return nop_M;
    Mm a = dense_copy(a0);
    const bool finite = all_finite(a);
    const long long e = job == 1 || !finite ? 0 : determinant_units(a);
    int_scratch ipvt{std::size_t(n)};
    if (a.isc()) {
        if (job == 1 && n >= lu_split_blocked_order && blocked_complex_inverse(a))
            return a;
        int info = 0;
        {
            scratch<double> work{lu_split_work_size(n)};
            lu_factor_split_work(a.addr(), a.addi(), &n, &n, ipvt.get(), &info, work.get());
        }
        scratch<double> work{2 * std::size_t(n)};
        double detr[2] = {0, 0}, deti[2] = {0, 0};
        det_inv_split(a.addr(), a.addi(), &n, &n, ipvt.get(), detr, deti, work.get(), work.get() + n, &job);
        if (job == 1)
            return a;
        // det(1) * 16^det(2), and the scale's power back.
        const long long p = 4 * (long long)(detr[1]) + e;
        Mm d = new_dense(1, 1, 1);
        d.addr()[0] = times_power_of_two(detr[0], p);
        d.addi()[0] = times_power_of_two(deti[0], p);
        return d;
    }
    int info = lapack::getrf(n, n, a.addr(), n, ipvt.get());
    if (finite && !sound_real_factors(n, a.addr())) {
        // A pivot below the normal range: the blocked code multiplies by
        // its reciprocal, Inf, and the zeros it meets become NaN. LINPACK's
        // steps divide by such a pivot.
        a = dense_copy(a0);
        if (job != 1)
            determinant_units(a);
        lu_factor_real(a.addr(), &n, &n, ipvt.get(), &info);
        if (job == 1) {
            Mm x = checked(eye(double(n)), n, n);
            const int plain = 0;
            for (int j = 0; j < n; ++j)
                lu_solve_real(a.addr(), &n, &n, ipvt.get(), x.addr() + idx(j) * n, &plain);
            return x;
        }
    }
    if (job == 1) {
        if (info > 0) {
            // DGETRI refuses an exactly singular U and would hand back the
            // factors as if they were the inverse: solve against the
            // identity instead, so the zero pivot shows as Inf or NaN.
            Mm x = checked(eye(double(n)), n, n);
            lapack::getrs('N', n, n, a.addr(), n, ipvt.get(), x.addr(), n);
            return x;
        }
        const int lwork = 256 * n;
        scratch<double> work{std::size_t(lwork)};
        lapack::getri(n, a.addr(), n, ipvt.get(), work.get(), lwork);
        return a;
    }
    scaled_product d;
    d.times_power_of_two(e);
    double sign = 1;
    for (int k = 0; k < n; ++k) {
        d.times(a.addr()[k + idx(k) * n]);
        if (ipvt[k] != k + 1)
            sign = -sign;
    }
    return Mm(sign * d.value());
}

Mm inv(const Mm& a)
{
    if (error_square(a, "inv"))
        return x_M;
    const int n = a.rows();
    if (n == 0)
        return nop_M;
    // Elimination treats an Inf like any large number and hands back a
    // finite matrix that is no inverse: no inverse of a NaN or Inf matrix
    // is known. A scalar keeps its reciprocal (1/Inf is 0 exactly).
    if (n > 1 && !all_finite(a))
        return a.issparse() ? sparse(nan_matrix(n, n)) : nan_matrix(n, n);
    if (a.issparse())
        return sparse(mldivide(a, eye(double(n))));
    if (n > 1) {
        // inv(A) = 2^-col inv(A') 2^-row, each element rounded once.
        Mm w = dense_copy(a);
        const power_of_two_equilibration q = equilibrate_by_powers_of_two(w);
        if (!q.active)
            return inv_det_dense(a, 1);
        Mm x = inv_det_dense(w, 1);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const idx k = i + idx(j) * n;
                const int e = -q.col[std::size_t(i)] - q.row[std::size_t(j)];
                x.addr()[k] = std::ldexp(x.addr()[k], e);
                if (x.isc())
                    x.addi()[k] = std::ldexp(x.addi()[k], e);
            }
        return x;
    }
    const Mm s = dense_copy(a);
    if (s.isc()) {
        Mm r = new_dense(1, 1, 1);
        complex_recip(s.addr()[0], s.addi()[0], r.addr()[0], r.addi()[0]);
        return r;
    }
    return Mm(1.0 / s.addr()[0]);
}

Mm det(const Mm& a)
{
    if (isempty(a))
        return one_M;
    if (error_square(a, "det"))
        return x_M;
    Mm d = a.issparse() ? sparse_det(a) : inv_det_dense(a, 10);
    if (isint(a) == 1 && !d.issamename(x_M.getname()))
        d = round(d);
    return d;
}

Mm rcond(const Mm& a)
{
    if (error_square(a, "rcond"))
        return x_M;
    const int n = a.rows();
    if (n == 0)
        return nop_M;
    // The estimator would read a NaN pivot as a zero one and call the
    // matrix exactly singular: no condition of a NaN or Inf matrix is known.
    if (!all_finite(a))
        return Mm(NAN);
    // Every matrix in units of its largest element: the estimate is then
    // the same for A and for A times any power of two.
    Mm w = dense_copy(a);
    scale_to_unit_range(w, 0);
    int_scratch ipvt{std::size_t(n)};
    scratch<double> z{2 * std::size_t(n)};
    double rc = 0;
    if (w.isc()) {
        scratch<double> work{lu_split_work_size(n)};
        rcond_split_work(w.addr(), w.addi(), &n, &n, ipvt.get(), &rc, z.get(), z.get() + n, work.get());
    }
    else
        rcond_real(w.addr(), &n, &n, ipvt.get(), &rc, z.get());
    return Mm(rc);
}
