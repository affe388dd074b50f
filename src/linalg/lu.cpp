// LU factorisation as a language function (lu, lu_decompose, lu_L, lu_U)
// and left division, the library's general solver: element-wise division,
// the sparse direct solver, pivoted QR least squares, the symmetric
// indefinite factorisation or the general LU, chosen in that order.
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
#include <cstring>
#include <new>
#include <vector>

namespace {

using idx = std::ptrdiff_t;

bool is_x_M(const Mm& x) { return x.issamename(x_M.getname()); }

// The factors of A times a power of two are A's factors with U times the
// power, exactly but for the elements that leave the doubles: a matrix
// near the ends of the doubles is factored in units of its largest
// element's power (the elimination of subnormal numbers rounds every
// update to their coarse spacing, and the updates of large ones overflow)
// and U is put back into the matrix's own units, rounded once.
// dense_scaled_copy returns the copy and the power it was taken in.
Mm dense_scaled_copy(const Mm& a, int& e)
{
    Mm f = dense_copy(a);
    e = safe_range_exponent(f);
    scale_by_power_of_two(f, e);
    return f;
}

// The factored copy of a dense square A and its pivots (LINPACK's layout).
Mm linpack_factor(const Mm& a, int_scratch& ipvt)
{
    int e = 0;
    Mm f = dense_scaled_copy(a, e);
    const int n = f.rows();
    int info = 0;
    if (f.isc()) {
        scratch<double> work{lu_split_work_size(n)};
        lu_factor_split_work(f.addr(), f.addi(), &n, &n, ipvt.get(), &info, work.get());
    } else
        lu_factor_real(f.addr(), &n, &n, ipvt.get(), &info);
    scale_upper_triangle_by_power_of_two(f, -e);
    return f;
}

// The upper triangle of a square f, zeros below.
Mm upper_triangle(const Mm& f)
{
    const int n = f.rows();
    Mm u = new_dense(f.isc(), n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const idx e = i + idx(j) * n;
            u.addr()[e] = i <= j ? f.addr()[e] : 0.0;
            if (f.isc())
                u.addi()[e] = i <= j ? f.addi()[e] : 0.0;
        }
    return u;
}

// Column j (1-based) of an n-by-n permutation with ones at (rows[j], j).
Mm permutation_matrix(int n, const std::vector<int>& row_of_column)
{
    Mm p = checked(czeros(0, n, n), n, n);
    for (int j = 0; j < n; ++j)
        p.addr()[(row_of_column[j] - 1) + idx(j) * n] = 1;
    return p;
}

void sparse_decompose(const Mm& a, Mm& L, Mm& U, Mm& P)
{
    const int n = a.rows();
    Mm l, u, r, c;
    sparse_lu_factor(a, speye(Mm(double(n))), l, u, r, c);
    if (is_x_M(l)) {
        L = U = P = x_M;
        return;
    }
    L = checked(Mm(l(r, c)), n, n);
    U = checked(Mm(u(c, c)), n, n);
    // One stored 1 in row ic(q), column ir(q), from the inverse orders.
    std::vector<int> ir(n), ic(n);
    for (int k = 0; k < n; ++k) {
        ir[int(r.addr()[k]) - 1] = k + 1;
        ic[int(c.addr()[k]) - 1] = k + 1;
    }
    Mm p(0, 1, n, n, n, qv_double);
    if (p.getnnz() < n)
        throw std::bad_alloc();  // refused; "Out of memory!" is reported
    for (int q = 0; q < n; ++q) {
        p.getindex()[q] = (ic[q] - 1) + (ir[q] - 1) * n;
        p.addr()[q] = 1;
    }
    p.sort();
    P = p;
}

void dense_complex_decompose(const Mm& a, Mm& L, Mm& U, Mm& P)
{
    const int n = a.rows();
    int_scratch ipvt{std::size_t(n)};
    Mm f = linpack_factor(dense_complex_copy(a), ipvt);
    U = upper_triangle(f);
    Mm l = f;
    std::vector<int> p(n);
    for (int k = 0; k < n; ++k)
        p[k] = k + 1;
    for (int k = n - 1; k >= 0; --k) {
        const int q = ipvt[k] - 1;
        if (q != k)
            std::swap(p[k], p[q]);
    }
    // Column k of L: the negated multipliers below a unit diagonal, then
    // the exchanges of steps k, k-1, ..., 1 (which reach columns from
    // their own step on), one column at a time while it is in cache.
    for (int k = 0; k < n; ++k) {
        double* lr = l.addr() + idx(k) * n;
        double* li = l.addi() + idx(k) * n;
        for (int i = 0; i < n; ++i) {
            if (i < k)
                lr[i] = li[i] = 0;
            else if (i == k) {
                lr[i] = 1;
                li[i] = 0;
            } else {
                lr[i] = -lr[i];
                li[i] = -li[i];
            }
        }
        for (int j = k; j >= 0; --j) {
            const int q = ipvt[j] - 1;
            if (q != j) {
                std::swap(lr[j], lr[q]);
                std::swap(li[j], li[q]);
            }
        }
    }
    L = l;
    P = permutation_matrix(n, p);
}

void dense_real_decompose(const Mm& a, Mm& L, Mm& U, Mm& P)
{
    const int n = a.rows();
    int e = 0;
    Mm f = dense_scaled_copy(a, e);
    int_scratch ipiv{std::size_t(n)};
    lapack::getrf(n, n, f.addr(), n, ipiv.get());
    if (!sound_real_factors(n, f.addr())) {
        // A pivot below the normal numbers: the blocked code multiplies by
        // its reciprocal, Inf, and the zeros beside it became NaN. The
        // column kernel divides. Its pivots mean what DGETRF's do; its
        // multipliers are negated and stay where they were when later
        // rows are exchanged, where DGETRF's move with their rows.
        f = dense_scaled_copy(a, e);
        int info = 0;
        lu_factor_real(f.addr(), &n, &n, ipiv.get(), &info);
        for (int k = 0; k < n; ++k) {
            const int l = ipiv[k] - 1;
            if (l != k)
                for (int c = 0; c < k; ++c)
                    std::swap(f.addr()[k + idx(c) * n], f.addr()[l + idx(c) * n]);
        }
        for (int j = 0; j < n; ++j)
            for (int i = j + 1; i < n; ++i)
                f.addr()[i + idx(j) * n] = -f.addr()[i + idx(j) * n];
    }
    scale_upper_triangle_by_power_of_two(f, -e);
    Mm u = upper_triangle(f);
    // L from the multipliers alone: subtracting U would put NaN - NaN on
    // the unit diagonal when U's diagonal holds a NaN.
    Mm l = f;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i)
            l.addr()[i + idx(j) * n] = i == j ? 1.0 : 0.0;
    lapack::laswp(n, l.addr(), n, 1, n, ipiv.get(), -1);
    Mm p = checked(eye(double(n)), n, n);
    lapack::laswp(n, p.addr(), n, 1, n, ipiv.get(), 1);
    L = l;
    U = u;
    P = p;
}

} // namespace

void lu_decompose(const Mm& a, Mm& L, Mm& U, Mm& P)
{
    if (error_square(a, "lu")) {
        U = x_M;
        P = x_M;
        return;
    }
    if (a.rows() == 0) {
        L = U = P = nop_M;
        return;
    }
    if (a.issparse()) {
        if (a.isc()) {
            error("lu: Complex sparse not supported.");
            L = U = P = x_M;
            return;
        }
        sparse_decompose(a, L, U, P);
    } else if (a.isc())
        dense_complex_decompose(a, L, U, P);
    else
        dense_real_decompose(a, L, U, P);
}

Mm lu(const Mm& a)
{
    if (error_square(a, "lu"))
        return x_M;
    const int n = a.rows();
    if (n == 0)
        return nop_M;
    int_scratch ipvt{std::size_t(n)};
    return linpack_factor(a, ipvt);
}

Mm lu(const Mm& a, i_o_t, Mm& L, Mm& U)
{
    Mm P;
    lu_decompose(a, L, U, P);
    return x_M;
}

namespace {

// P*x for a dense permutation matrix P, by moving rows: exact, where the
// general product would turn 0*Inf into NaN, and without its n^3 cost.
Mm permute_rows(const Mm& P, const Mm& x)
{
    const int n = x.rows(), c = x.cols();
    std::vector<int> source(n, 0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            if (P.addr()[i + idx(j) * n] != 0)
                source[i] = j;
    Mm r = new_dense(x.isc(), n, c);
    for (int j = 0; j < c; ++j)
        for (int i = 0; i < n; ++i) {
            r.addr()[i + idx(j) * n] = x.addr()[source[i] + idx(j) * n];
            if (x.isc())
                r.addi()[i + idx(j) * n] = x.addi()[source[i] + idx(j) * n];
        }
    return r;
}

} // namespace

Mm lu(const Mm& a, i_o_t, Mm& L, Mm& U, Mm& P)
{
    Mm l;
    lu_decompose(a, l, U, P);
    if (isempty(l) || is_x_M(l))
        L = l;
    else if (P.issparse()) {
        // P's one in column j sits in row ic: row ic of P*l is row j of l.
        const int n = l.rows();
        Mm source = new_dense(0, n, 1);
        for (int e = 0; e < P.getnnz(); ++e)
            source.addr()[P.getindex()[e] % n] = P.getindex()[e] / n + 1;
        L = checked(Mm(l(source, c_p)), n, n);
    } else
        L = permute_rows(P, l);
    return x_M;
}

Mm lu_L(const Mm& a)
{
    Mm L, U, P;
    lu_decompose(a, L, U, P);
    return L;
}

Mm lu_U(const Mm& a)
{
    Mm L, U, P;
    lu_decompose(a, L, U, P);
    return U;
}

// ---- left division ----

namespace {

// The solution of a system whose matrix holds a NaN or Inf: no element of
// it is known. The factorisations would mostly show this by themselves, but
// whether a NaN reaches every element depends on the BLAS kernels the CPU
// gets (some turn NaN times 0 into 0), so the answer is given here.
Mm nan_solution(int n, int nrhs, bool complex)
{
    Mm x = new_dense(complex, n, nrhs);
    std::fill(x.addr(), x.addr() + idx(n) * nrhs, NAN);
    if (complex)
        std::fill(x.addi(), x.addi() + idx(n) * nrhs, NAN);
    return x;
}

} // namespace


Mm least_squares_basic(const Mm& a, const Mm& b, int* rank)
{
    const int m = a.rows(), n = a.cols(), nrhs = b.cols(), k = std::min(m, n);
    const bool complex = a.isc() || b.isc();
    if (!all_finite(a)) {
        // No solution is known. Column pivoting never picks a NaN column
        // (its norm compares false) and a wide A had finite unknowns for
        // the others; an Inf made the rest of R NaN or 0 by chance.
        *rank = k;
        return nan_solution(n, nrhs, complex);
    }
    Mm x = complex ? dense_complex_copy(a) : dense_copy(a);
    Mm rhs = complex ? dense_complex_copy(b) : dense_copy(b);
    // Columns far apart (one unknown measured in units of 1e300, another in
    // 1e-300) are brought to largest magnitudes in [1/2, 1) first: the rank
    // is read from R's pivots against the first, so without this every
    // column far below the largest counted as dependent and its unknown was
    // dropped, though the problem is well posed in the scaled unknowns.
    power_of_two_equilibration col_scaling;
    col_scaling.col = far_apart_column_exponents(n, dense_entries(x));
    if (!col_scaling.col.empty()) {
        col_scaling.row.assign(std::size_t(m), 0);
        apply_equilibration(x, col_scaling);
    }
    int_scratch jpvt{std::size_t(n)};
    std::fill(jpvt.get(), jpvt.get() + n, 0);
    std::vector<double> qraux(2 * std::size_t(n)), work(2 * std::size_t(n)), qty(2 * std::size_t(m));
    const int pivot = 1, job = 1000;
    int info = 0;
    if (complex)
        qr_factor_split(x.addr(), x.addi(), &m, &m, &n, qraux.data(), qraux.data() + n, jpvt.get(), work.data(),
                        work.data() + n, &pivot);
    else
        qr_factor_real(x.addr(), &m, &m, &n, qraux.data(), jpvt.get(), work.data(), &pivot);
    // The rank from the pivoted R: the leading pivots above max(m, n)*eps
    // times the first. A NaN or Inf in A leaves no rank to read: every
    // pivot is used, and the solution shows the NaN.
    auto pivot_size = [&](int j) {
        const idx d = j + idx(j) * m;
        return complex ? complex_abs(x.addr()[d], x.addi()[d]) : std::fabs(x.addr()[d]);
    };
    int r = k;
    if (k > 0) {
        const double tol = std::max(m, n) * machine_double(4) * pivot_size(0);
        r = 0;
        while (r < k && pivot_size(r) > tol)
            ++r;
    }
    *rank = r;
    Mm result = checked(czeros(complex, n, nrhs), n, nrhs);
    std::vector<double> br(k), bi(k);
    for (int c = 0; c < nrhs; ++c) {
        double* yr = rhs.addr() + idx(c) * m;
        if (complex)
            qr_apply_split(x.addr(), x.addi(), &m, &m, &k, qraux.data(), qraux.data() + n, yr, rhs.addi() + idx(c) * m,
                           nullptr, nullptr, qty.data(), qty.data() + m, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, &job, &info);
        else
            qr_apply_real(x.addr(), &m, &m, &k, qraux.data(), yr, nullptr, qty.data(), nullptr, nullptr, nullptr, &job,
                          &info);
        // R(1:r,1:r) b = (Q'y)(1:r), every division made: a zero pivot of a
        // matrix without a rank shows as Inf or NaN.
        for (int j = 0; j < r; ++j) {
            br[j] = qty[j];
            bi[j] = complex ? qty[m + j] : 0.0;
        }
        for (int j = r - 1; j >= 0; --j) {
            const idx d = j + idx(j) * m;
            if (complex) {
                complex_div(br[j], bi[j], x.addr()[d], x.addi()[d], br[j], bi[j]);
                axpy_split(j, -br[j], -bi[j], x.addr() + idx(j) * m, x.addi() + idx(j) * m, 1, br.data(), bi.data(),
                           1);
            } else {
                br[j] /= x.addr()[d];
                const double t = -br[j];
                const double* col = x.addr() + idx(j) * m;
                for (int i = 0; i < j; ++i)
                    br[i] += t * col[i];
            }
        }
        // The unknowns of the columns past the rank stay 0.
        for (int j = 0; j < r; ++j) {
            const idx to = (jpvt[j] - 1) + idx(c) * n;
            result.addr()[to] = br[j];
            if (complex)
                result.addi()[to] = bi[j];
        }
    }
    // x = 2^-c y for the scaled columns' unknowns y.
    if (!col_scaling.col.empty())
        unscale_solutions(col_scaling.col, std::vector<int>(std::size_t(nrhs), 0), n, nrhs, result.addr(),
                          result.isc() ? result.addi() : nullptr, std::size_t(n));
    return result;
}

namespace {

// The rectangular solve of left division: the basic least-squares
// solution, with a warning when A has lower rank than its shape allows.
Mm least_squares(const Mm& a, const Mm& b)
{
    int r = 0;
    Mm x = least_squares_basic(a, b, &r);
    if (r < std::min(a.rows(), a.cols()))
        warning("Rank deficient matrix, rank = %d: the basic least-squares solution is returned", r);
    return x;
}

// x as interleaved complex numbers in z (count of them); a real x (no
// imaginary part) gives zero imaginary parts.
void interleave(const Mm& x, double* z, idx count)
{
    const double* re = x.addr();
    const double* im = x.addi();
    for (idx k = 0; k < count; ++k) {
        z[2 * k] = re[k];
        z[2 * k + 1] = im ? im[k] : 0.0;
    }
}

// A\b by LINPACK's steps on a (a private copy, factored in place) for b (a
// private copy, solved in place): for a matrix whose blocked factors hold a
// pivot below the normal numbers, where the blocked code multiplies by its
// reciprocal, Inf, and every element of the solution became NaN; these
// steps divide by it.
Mm column_kernel_solve(Mm a, Mm b)
{
    const int n = a.rows(), nrhs = b.cols();
    int_scratch ipvt{std::size_t(n)};
    int info = 0;
    const int plain = 0;
    if (a.isc()) {
        lu_factor_split(a.addr(), a.addi(), &n, &n, ipvt.get(), &info);
        for (int j = 0; j < nrhs; ++j)
            lu_solve_split(a.addr(), a.addi(), &n, &n, ipvt.get(), b.addr() + idx(j) * n, b.addi() + idx(j) * n,
                           &plain);
    } else {
        lu_factor_real(a.addr(), &n, &n, ipvt.get(), &info);
        for (int j = 0; j < nrhs; ++j)
            lu_solve_real(a.addr(), &n, &n, ipvt.get(), b.addr() + idx(j) * n, &plain);
    }
    return b;
}

// The general complex solve through LAPACK's blocked factorisation on an
// interleaved copy: the same partial pivoting (by |re| + |im|) as the
// split kernels, at the speed of level-3 BLAS. Full double operands are
// interleaved as they stand; others (uint8, sparse) are made full first.
Mm solve_complex_square(const Mm& a, const Mm& b)
{
    const int n = a.rows(), nrhs = b.cols();
    auto full_double = [](const Mm& x) { return x.gettype() == qv_double && !x.issparse() ? x : dense_copy(x); };
    const Mm fa = full_double(a), fb = full_double(b);
    scratch<double> za{2 * std::size_t(n) * n}, zb{2 * std::size_t(n) * nrhs};
    interleave(fa, za.get(), idx(n) * n);
    interleave(fb, zb.get(), idx(n) * nrhs);
    int_scratch ipiv{std::size_t(n)};
    if (lapack::zgetrf(n, n, za.get(), n, ipiv.get()) == 0 && !sound_blocked_factors(n, za.get()))
        return column_kernel_solve(dense_complex_copy(fa), dense_complex_copy(fb));
    lapack::zgetrs('N', n, nrhs, za.get(), n, ipiv.get(), zb.get(), n);
    Mm x = new_dense(1, n, nrhs);
    for (idx k = 0; k < idx(n) * nrhs; ++k) {
        x.addr()[k] = zb[2 * k];
        x.addi()[k] = zb[2 * k + 1];
    }
    return x;
}

Mm solve_real_square(const Mm& a, const Mm& b)
{
    const int n = a.rows(), nrhs = b.cols();
    Mm f = dense_copy(a);
    Mm x = dense_copy(b);
    int_scratch ipiv{std::size_t(n)};
    if (ishermitian(f)) {
        const int lwork = 256 * n;
        scratch<double> work{std::size_t(lwork)};
        lapack::sytrf('L', n, f.addr(), n, ipiv.get(), work.get(), lwork);
        if (!sound_real_factors(n, f.addr()))
            return column_kernel_solve(dense_copy(a), x);
        lapack::sytrs('L', n, nrhs, f.addr(), n, ipiv.get(), x.addr(), n);
    } else {
        lapack::getrf(n, n, f.addr(), n, ipiv.get());
        if (!sound_real_factors(n, f.addr()))
            return column_kernel_solve(dense_copy(a), x);
        lapack::getrs('N', n, nrhs, f.addr(), n, ipiv.get(), x.addr(), n);
    }
    return x;
}

// n - m zero rows below x (m-by-c).
Mm pad_rows(const Mm& x, int n)
{
    const int m = x.rows(), c = x.cols();
    Mm r = checked(czeros(x.isc(), n, c), n, c);
    for (int j = 0; j < c; ++j) {
        std::memcpy(r.addr() + idx(j) * n, x.addr() + idx(j) * m, sizeof(double) * m);
        if (x.isc())
            std::memcpy(r.addi() + idx(j) * n, x.addi() + idx(j) * m, sizeof(double) * m);
    }
    return r;
}

// The largest magnitude among a sparse matrix's stored entries.
double largest_stored(const Mm& a)
{
    double big = 0;
    for (int k = 0; k < a.getnnz(); ++k)
        big = std::fmax(big, a.isc() ? std::hypot(a.addr()[k], a.addi()[k]) : std::fabs(a.addr()[k]));
    return big;
}

// The stored entries of a sparse matrix, as equilibration_exponents takes
// them.
auto stored_entries(const Mm& a)
{
    return [&a](auto&& visit) {
        const int m = a.rows();
        const int* index = a.getindex();
        for (int k = 0; k < a.getnnz(); ++k)
            visit(index[k] % m, index[k] / m,
                  std::max(std::fabs(a.addr()[k]), a.isc() ? std::fabs(a.addi()[k]) : 0.0));
    };
}

// A sparse matrix with column j times 2^-c_j, rebuilt from its stored
// entries (2^-c itself overflows for a column of subnormal numbers).
Mm scale_sparse_columns(const Mm& a, const std::vector<int>& c)
{
    const int m = a.rows(), nnz = a.getnnz();
    const int* index = a.getindex();
    Mm i(0, 0, 0, nnz, 1, qv_double), j(0, 0, 0, nnz, 1, qv_double), v(a.isc(), 0, 0, nnz, 1, qv_double);
    for (int k = 0; k < nnz; ++k) {
        i.addr()[k] = index[k] % m + 1;
        j.addr()[k] = index[k] / m + 1;
        const int e = -c[std::size_t(index[k] / m)];
        v.addr()[k] = std::ldexp(a.addr()[k], e);
        if (a.isc())
            v.addi()[k] = std::ldexp(a.addi()[k], e);
    }
    return sparse(i, j, v, Mm(double(m)), Mm(double(a.cols())));
}

// Sparse systems in a fill-reducing column order: the solution is the
// same up to rounding, with far less fill than the natural order. A
// rectangular system whose sparse factor is singular or nearly so (A has,
// or nearly has, lower rank than its shape allows, or a wide A's first m
// columns do) is the dense solve's: its pivoted QR reads the rank, so the
// answer and the warning are those of the full matrix.
Mm solve_sparse(const Mm& a, const Mm& b)
{
    const int m = a.rows(), n = a.cols();
    if (m == n)
        return sparse_solve(a, b);
    Mm x;
    if (m < n) {
        x = sparse_solve_if_regular(Mm(a(c_p, colon(1.0, double(m)))), b);
        if (!isempty(x))
            x = pad_rows(x, n);
    } else {
        // Least squares by the augmented system [s I, A; A', 0] [r; x] = [b; 0],
        // its columns first brought to ordinary sizes where they lie far
        // apart (s from the largest entry made the small columns' unknowns
        // rounding noise): x = 2^-c y for the scaled columns' unknowns y.
        const std::vector<int> c = far_apart_column_exponents(n, stored_entries(a));
        const Mm scaled = c.empty() ? a : scale_sparse_columns(a, c);
        x = sparse_least_squares(scaled, b, largest_stored(scaled) / 1000);
        if (!isempty(x) && !c.empty())
            unscale_solutions(c, std::vector<int>(std::size_t(x.cols()), 0), n, x.cols(), x.addr(),
                              x.isc() ? x.addi() : nullptr, std::size_t(n));
    }
    return isempty(x) ? least_squares(a, b) : x;
}

// A square dense system, its rows and columns first brought to ordinary
// sizes by powers of two where they lie far apart: x = 2^(s-col) y for
// A' y = 2^-(row+s) b, each element rounded once. A Hermitian matrix is
// scaled by one vector on both sides, so it stays Hermitian and a real one
// keeps its symmetric factorisation (rows and columns scaled apart made
// it general).
Mm solve_square(const Mm& a, const Mm& b)
{
    const bool complex = a.isc() || b.isc();
    Mm w = a.gettype() == qv_double && !a.issparse() ? dense_copy(a) : Mm();
    const power_of_two_equilibration q =
        a.gettype() == qv_double && !a.issparse()
            ? equilibrate_by_powers_of_two(w, hermitian_scaling::symmetric, [](const Mm& x) { return ishermitian(x) != 0; })
            : power_of_two_equilibration{};
    if (!q.active)
        return complex ? solve_complex_square(a, b) : solve_real_square(a, b);
    const int n = a.rows(), nrhs = b.cols();
    Mm c = dense_copy(b);
    const std::vector<int> shift = scale_right_sides(q.row, n, nrhs, c.addr(), c.isc() ? c.addi() : nullptr, std::size_t(n));
    Mm x = complex ? solve_complex_square(w, c) : solve_real_square(w, c);
    unscale_solutions(q.col, shift, n, nrhs, x.addr(), x.isc() ? x.addi() : nullptr, std::size_t(n));
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
    if (b.size() == 1 && a.getndims() > 2)
        return rdivide(b, a);
    if (a.rows() != b.rows()) {
        error("%s: a,b does not have the same number of rows", "mldivide");
        return x_M;
    }
    if (error_2d(a, "mldivide") || error_2d(b, "mldivide"))
        return x_M;
    const bool sparse_b = b.issparse();
    if (sparse_b || b.gettype() != qv_double)
        b = dense_copy(b);
    Mm x;
    const int m = a.rows(), n = a.cols();
    if (a.issparse() && a.gettype() == qv_double)
        x = solve_sparse(a, b);
    else if (m != n)
        x = least_squares(a, b);
    else if (!all_finite(a))
        x = nan_solution(n, b.cols(), a.isc() || b.isc());
    else
        x = solve_square(a, b);
    return sparse_b && !is_x_M(x) ? sparse(x) : x;
}

Mm invdiv(const Mm& a, const Mm& b) { return mldivide(a, b); }

Mm mrdivide(const Mm& a, const Mm& b) { return a / b; }

Mm mldivide(const Mm&) { return Mm(error_input("mldivide", 1)); }
Mm mrdivide(const Mm&) { return Mm(error_input("mrdivide", 1)); }
Mm invdiv(const Mm&) { return Mm(error_input("invdiv", 1)); }
