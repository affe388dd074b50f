// eig and the eigenvalue engine behind it: one routine picks the Hermitian,
// complex or real kernel path for a dense square matrix and turns the
// kernels' split-storage results into language values.
#include "engine/scalar_complex.hpp"
#include "linalg/front.hpp"
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"
#include "linalg/storage.hpp"
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

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

void fill_nan(double* p, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k)
        p[k] = not_a_number;
}

// A kernel that ran out of iterations leaves eigenvalues it did not reach
// (first .. last) unset: they become NaN, and so does every vector.
void mark_failure(Mm& w, int first, int last, Mm* vectors)
{
    for (int k = first; k <= last; ++k) {
        w.addr()[k - 1] = not_a_number;
        w.addi()[k - 1] = not_a_number;
    }
    if (vectors) {
        const std::size_t count = std::size_t(vectors->rows()) * std::size_t(vectors->cols());
        fill_nan(vectors->addr(), count);
        if (vectors->addi())
            fill_nan(vectors->addi(), count);
    }
}

void hermitian_path(const Mm& a, Mm& w, Mm& V, bool want_vectors)
{
    int n = a.cols();
    Mm h = working_copy(a, true);
    const std::size_t un = std::size_t(n);
    scratch<double> e(un), e2(un), tau(2 * un), work(4 * un), d0(un), e0(un);
    double* d = w.addr();
    for (std::size_t k = 0; k < un; ++k)
        w.addi()[k] = 0.0;
    htridi(&n, &n, h.addr(), h.addi(), d, e.get(), e2.get(), tau.get(), work.get());
    // QL destroys the tridiagonal matrix; a copy serves the slower method
    // that cannot run out of iterations, should QL do so.
    std::copy(d, d + un, d0.get());
    std::copy(e.get(), e.get() + un, e0.get());
    int ierr = 0;
    if (want_vectors) {
        Mm z = zeros_of(n, n, true);
        for (int k = 0; k < n; ++k)
            z.addr()[k + std::size_t(k) * un] = 1.0;
        imtql2(&n, &n, d, e.get(), z.addr(), &ierr);
        if (ierr != 0) {
            std::copy(d0.get(), d0.get() + un, d);
            tridiagonal_bisection(&n, &n, d, e0.get(), z.addr());
        }
        htribk(&n, &n, h.addr(), h.addi(), tau.get(), &n, z.addr(), z.addi(), work.get());
        normalize_columns(z);
        V = z;
    } else {
        imtql1(&n, d, e.get(), &ierr);
        if (ierr != 0) {
            std::copy(d0.get(), d0.get() + un, d);
            tridiagonal_bisection(&n, &n, d, e0.get(), nullptr);
        }
    }
}

// The ratio of the largest to the smallest of the powers of two balancing
// scaled the rows between low and igh by (1 where it scaled none).
double scale_spread(const double* scale, int low, int igh)
{
    double largest = 1, smallest = 1;
    for (int k = low - 1; k < igh; ++k) {
        largest = std::max(largest, scale[k]);
        smallest = std::min(smallest, scale[k]);
    }
    return largest / smallest;
}

// Each path gives the spread of its balancing's scales.
double complex_path(const Mm& a, Mm& w, Mm& V, bool want_vectors, bool want_balance)
{
    int n = a.cols();
    Mm h = working_copy(a, true);
    const std::size_t un = std::size_t(n);
    scratch<double> scale(un), ortr(un), orti(un), work(static_cast<std::size_t>(complex_qr_work_size(n)));
    int low = 1, igh = n, ierr = 0;
    if (want_balance)
        cbal(&n, &n, h.addr(), h.addi(), &low, &igh, scale.get(), balance_norm::two_norms);
    corth(&n, &n, &low, &igh, h.addr(), h.addi(), ortr.get(), orti.get(), work.get());
    if (want_vectors) {
        Mm z = zeros_of(n, n, true);
        comqr2(&n, &n, &low, &igh, ortr.get(), orti.get(), h.addr(), h.addi(), w.addr(), w.addi(), z.addr(), z.addi(),
               &ierr, work.get());
        if (want_balance)
            cbabk2(&n, &n, &low, &igh, scale.get(), &n, z.addr(), z.addi());
        normalize_columns(z);
        if (ierr != 0)
            mark_failure(w, 1, ierr, &z);
        V = z;
    } else {
        comqr(&n, &n, &low, &igh, h.addr(), h.addi(), w.addr(), w.addi(), &ierr, work.get());
        if (ierr != 0)
            mark_failure(w, 1, ierr, nullptr);
    }
    return want_balance ? scale_spread(scale.get(), low, igh) : 1.0;
}

double real_path(const Mm& a, Mm& w, Mm& V, bool want_vectors, bool want_balance)
{
    int n = a.cols();
    Mm h = working_copy(a, false);
    const std::size_t un = std::size_t(n);
    scratch<double> scale(un);
    scratch<int> piv(un);
    scratch<double> work(static_cast<std::size_t>(real_qr_work_size(n)));
    int low = 1, igh = n, ierr = 0;
    if (want_balance)
        balanc(&n, &n, h.addr(), &low, &igh, scale.get(), balance_norm::two_norms);
    elmhes(&n, &n, &low, &igh, h.addr(), piv.get());
    if (want_vectors) {
        Mm z = zeros_of(n, n, false);
        eltran(&n, &n, &low, &igh, h.addr(), piv.get(), z.addr());
        hqr2(&n, &n, &low, &igh, h.addr(), w.addr(), w.addi(), z.addr(), &ierr, work.get());
        if (want_balance)
            balbak(&n, &n, &low, &igh, scale.get(), &n, z.addr());
        Mm v;
        pack_eigenvectors(w, z, v);
        if (ierr != 0)
            mark_failure(w, 1, ierr, &v);
        V = v;
    } else {
        hqr(&n, &n, &low, &igh, h.addr(), w.addr(), w.addi(), &ierr, work.get());
        if (ierr != 0)
            mark_failure(w, 1, ierr, nullptr);
    }
    return want_balance ? scale_spread(scale.get(), low, igh) : 1.0;
}

// The largest |A v - λ v|₂ / (|A|_F |v|₂) over the vector columns v of V
// with their eigenvalues w; Inf where a column holds NaN.
double worst_relative_residual(const Mm& a, const Mm& w, const Mm& V)
{
    const std::size_t n = std::size_t(a.rows());
    const Mm av = mtimes(a, V);
    double big = 0, fro = 0;
    for (std::size_t k = 0; k < n * n; ++k)
        big = std::max({big, std::fabs(a.addr()[k]), a.isc() ? std::fabs(a.addi()[k]) : 0.0});
    for (std::size_t k = 0; big > 0 && k < n * n; ++k) {
        const double re = a.addr()[k] / big, im = a.isc() ? a.addi()[k] / big : 0.0;
        fro += re * re + im * im;
    }
    fro = big * std::sqrt(fro);
    double worst = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const double lr = w.addr()[j], li = w.addi()[j];
        double r = 0, v = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t k = i + j * n;
            const double vr = V.addr()[k], vi = V.isc() ? V.addi()[k] : 0.0;
            const double pr = av.addr()[k], pi = av.isc() ? av.addi()[k] : 0.0;
            r = std::hypot(r, std::hypot(pr - (lr * vr - li * vi), pi - (lr * vi + li * vr)));
            v = std::hypot(v, std::hypot(vr, vi));
        }
        const double ratio = r == 0 ? 0.0 : r / (fro * v);
        worst = std::max(worst, std::isnan(ratio) ? INFINITY : ratio);
    }
    return worst;
}

// Balancing scales a row down and its column up by the same power of two;
// the eigenvectors' back-transformation scales that row of them up again.
// Where one column lies many decades below the others (a column of 1e-150
// among ordinary ones) the power is large, and the rounding of the
// balanced matrix's vectors, so scaled, left them no eigenvectors of A. A
// residual far above rounding calls for the vectors of A itself.
constexpr double balanced_vectors_limit = 1000;

Mm diagonal_of(const Mm& w)
{
    const int n = w.rows();
    Mm d = zeros_of(n, n, w.isc());
    for (int k = 0; k < n; ++k) {
        const std::size_t at = std::size_t(k) * (std::size_t(n) + 1);
        d.addr()[at] = w.addr()[k];
        if (w.isc())
            d.addi()[at] = w.addi()[k];
    }
    return d;
}

} // namespace

void normalize_columns(Mm& M)
{
    if (M.issparse() || M.gettype() != qv_double)
        M = working_copy(M, false);
    const std::ptrdiff_t rows = M.rows(), cols = M.cols();
    double* re = M.addr();
    double* im = M.addi();
    for (std::ptrdiff_t c = 0; c < cols; ++c) {
        double* xr = re + c * rows;
        if (im) {
            double* xi = im + c * rows;
            // xᴴx with its (rounding-level) imaginary part.
            double sr = 0.0, si = 0.0;
            for (std::ptrdiff_t k = 0; k < rows; ++k) {
                sr += xr[k] * xr[k] + xi[k] * xi[k];
                si += xr[k] * xi[k] - xi[k] * xr[k];
            }
            double s_re, s_im;
            complex_sqrt(sr, si, s_re, s_im);
            if (s_re == 0.0 && s_im == 0.0)
                continue;
            double f_re, f_im;
            complex_recip(s_re, s_im, f_re, f_im);
            for (std::ptrdiff_t k = 0; k < rows; ++k) {
                const double a = xr[k], b = xi[k];
                xr[k] = f_re * a - f_im * b;
                xi[k] = f_re * b + f_im * a;
            }
        } else {
            double s = 0.0;
            for (std::ptrdiff_t k = 0; k < rows; ++k)
                s += xr[k] * xr[k];
            s = std::sqrt(s);
            if (s == 0.0)
                continue;
            const double f = 1.0 / s;
            for (std::ptrdiff_t k = 0; k < rows; ++k)
                xr[k] *= f;
        }
    }
}

void pack_eigenvectors(const Mm& w, const Mm& Z, Mm& V)
{
    const int n = Z.cols();
    const std::ptrdiff_t rows = Z.rows();
    Mm v(1, 0, 0, int(rows), n, qv_double);
    with_storage(v, int(rows), n, true);
    const double* wi = w.addi();
    for (int k = 0; k < n;) {
        const double* z0 = Z.addr() + k * rows;
        double* vr0 = v.addr() + k * rows;
        double* vi0 = v.addi() + k * rows;
        // A pair's real and imaginary parts lie in columns k and k+1; a last
        // column cannot start a pair (only a failed kernel leaves one).
        if (wi && wi[k] != 0.0 && k + 1 < n) {
            const double* z1 = z0 + rows;
            double* vr1 = vr0 + rows;
            double* vi1 = vi0 + rows;
            for (std::ptrdiff_t r = 0; r < rows; ++r) {
                vr0[r] = z0[r];
                vi0[r] = z1[r];
                vr1[r] = z0[r];
                vi1[r] = -z1[r];
            }
            k += 2;
        } else {
            for (std::ptrdiff_t r = 0; r < rows; ++r) {
                vr0[r] = z0[r];
                vi0[r] = 0.0;
            }
            k += 1;
        }
    }
    normalize_columns(v);
    V = v;
}

void eig_engine(Mm A, Mm& V, Mm& D, int want_vectors, int want_balance)
{
    if (error_numeric(A, "eig") || error_square(A, "eig")) {
        V = x_M;
        D = x_M;
        return;
    }
    if (A.issparse() || A.gettype() != qv_double)
        A = working_copy(A, false);
    const int n = A.cols();
    if (n == 0) {
        V = nop_M;
        D = nop_M;
        return;
    }
    const int e = safe_range_exponent(A);
    if (e != 0) {
        A = working_copy(A, false);
        scale_by_power_of_two(A, e);
    }
    Mm w(1, 0, 0, n, 1, qv_double);
    with_storage(w, n, 1, true);
    Mm vectors;
    if (n > 1 ? !all_finite(A) : has_nan(A)) {
        // No eigenvalue of a matrix with a NaN entry is known: the kernels
        // would still return some plausible parts (1 + NaN i for
        // [1 NaN;NaN 1]), so every value and vector is NaN. Nor of one with
        // an infinite entry beside others, where they gave finite values
        // ([1 Inf;Inf 1] had two) or did not end.
        Mm v = zeros_of(n, n, false);
        fill_nan(v.addr(), std::size_t(n) * std::size_t(n));
        fill_nan(w.addr(), std::size_t(n));
        for (int k = 0; k < n; ++k)
            w.addi()[k] = 0.0;
        vectors = v;
    } else if (ishermitian(A))
        hermitian_path(A, w, vectors, want_vectors);
    else {
        auto run = [&](Mm& values, Mm& v, bool balance) {
            return A.isc() ? complex_path(A, values, v, want_vectors, balance)
                           : real_path(A, values, v, want_vectors, balance);
        };
        const double spread = run(w, vectors, want_balance);
        // Scales that far apart are what can lift the vectors' rounding
        // past the limit; below it the check's product is spared.
        if (want_vectors && want_balance && n > 1 && spread > balanced_vectors_limit) {
            const double limit = balanced_vectors_limit * n * machine_double(4);
            const double balanced = worst_relative_residual(A, w, vectors);
            if (!(balanced <= limit)) {
                Mm w2(1, 0, 0, n, 1, qv_double), v2;
                with_storage(w2, n, 1, true);
                run(w2, v2, false);
                if (worst_relative_residual(A, w2, v2) < balanced) {
                    w = w2;
                    vectors = v2;
                }
            }
        }
    }
    scale_by_power_of_two(w, -e);
    if (want_vectors) {
        vectors.getreal(0);
        V = vectors;
        D = diagonal_of(w);
    } else
        D = w;
    D.getreal(0);
}

Mm eig(const Mm& A)
{
    Mm V, D;
    eig_engine(A, V, D, 0, 1);
    return D;
}

Mm eig(const Mm& A, i_o_t, Mm& V, Mm& D)
{
    eig_engine(A, V, D, 1, 1);
    return x_M;
}

Mm eig_D(const Mm& A)
{
    Mm V, D;
    eig(A, i_o, V, D);
    if (isempty(D))
        return D;
    return diag(D);
}

Mm eig_W(const Mm& A)
{
    Mm V, D;
    eig(A, i_o, V, D);
    return V;
}
