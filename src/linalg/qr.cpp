// QR factorisation: LINPACK's Householder kernels with optional column
// pivoting on the column norms (real and split complex, the complex one by
// panels and LAPACK's block reflectors for large matrices), the
// application of the factored Q, the language function qr in all its
// output forms, and the Givens updates qrdelete and qrinsert.
#include "engine/scalar_complex.hpp"
#include "linalg/fields.hpp"
#include "linalg/front.hpp"
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "linalg/scaling.hpp"
#include "platform/blas_threads.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace {

using idx = std::ptrdiff_t;

inline double fsign(double a, double b) noexcept { return b >= 0 ? std::fabs(a) : -std::fabs(a); }
inline double cabs1(double re, double im) noexcept { return std::fabs(re) + std::fabs(im); }

inline double nrm2(int n, const double* x) noexcept
{
    const int one = 1;
    return n > 0 ? dnrm2_(&n, x, &one) : 0.0;
}

// A sum that must keep its order does not vectorise by itself: long ones
// go to the BLAS.
inline double dot(int n, const double* x, const double* y) noexcept
{
    if (n > 16) {
        const int one = 1;
        return ddot_(&n, x, &one, y, &one);
    }
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += x[i] * y[i];
    return s;
}

inline void axpy(int n, double t, const double* x, double* y) noexcept
{
    for (int i = 0; i < n; ++i)
        y[i] += t * x[i];
}

inline void swap_columns(int n, double* x, double* y) noexcept
{
    for (int i = 0; i < n; ++i)
        std::swap(x[i], y[i]);
}

// The decimal digits of a QR apply job.
struct apply_job {
    bool qy, qty, b, rsd, xb;
    explicit apply_job(int job)
        : qy(job / 10000 != 0), qty(job % 10000 != 0), b((job % 1000) / 100 != 0), rsd((job % 100) / 10 != 0),
          xb(job % 10 != 0)
    {
    }
};

// Column arrangement before pivoting: jpvt(j) > 0 moves column j to the
// front, < 0 to the back, 0 leaves it free. Returns the free range [pl, pu].
template <class Swap>
void arrange_columns(int p, int* jpvt, int& pl, int& pu, Swap&& swap)
{
    pl = 1;
    for (int j = 1; j <= p; ++j) {
        const bool to_front = jpvt[j - 1] > 0, to_back = jpvt[j - 1] < 0;
        jpvt[j - 1] = to_back ? -j : j;
        if (to_front) {
            if (j != pl)
                swap(pl, j);
            jpvt[j - 1] = jpvt[pl - 1];
            jpvt[pl - 1] = j;
            ++pl;
        }
    }
    pu = p;
    for (int j = p; j >= 1; --j) {
        if (jpvt[j - 1] < 0) {
            jpvt[j - 1] = -jpvt[j - 1];
            if (j != pu) {
                swap(pu, j);
                std::swap(jpvt[pu - 1], jpvt[j - 1]);
            }
            --pu;
        }
    }
}

} // namespace

int qr_factor_real(double* x, const int* ldx_, const int* n_, const int* p_, double* qraux, int* jpvt, double* work,
                   const int* job)
{
    // A level-1 call per column: one BLAS thread.
    const blas_single_thread serial;
    const int n = *n_, p = *p_;
    const idx ldx = *ldx_;
    auto col = [&](int j) { return x + (j - 1) * ldx; };
    auto X = [&](int i, int j) -> double& { return x[(i - 1) + (j - 1) * ldx]; };
    int pl = 1, pu = 0;
    if (*job != 0) {
        arrange_columns(p, jpvt, pl, pu, [&](int a, int b) { swap_columns(n, col(a), col(b)); });
        for (int j = pl; j <= pu; ++j)
            qraux[j - 1] = work[j - 1] = nrm2(n, col(j));
    }
    const int lup = std::min(n, p);
    for (int l = 1; l <= lup; ++l) {
        // Bring the free column of largest norm into the pivot position, at
        // every step: the last row of a wide matrix too, whose R(n,n) would
        // otherwise be whatever column stood there, even a zero one beside
        // a nonzero one (and the rank read from R would be too small).
        // There the remaining norms are single elements: taken as they
        // stand, not down-dated.
        if (l == n)
            for (int j = l; j <= pu; ++j)
                qraux[j - 1] = std::fabs(X(n, j));
        if (l >= pl && l < pu) {
            double maxnrm = 0;
            int maxj = l;
            for (int j = l; j <= pu; ++j)
                if (qraux[j - 1] > maxnrm) {
                    maxnrm = qraux[j - 1];
                    maxj = j;
                }
            if (maxj != l) {
                swap_columns(n, col(l), col(maxj));
                qraux[maxj - 1] = qraux[l - 1];
                work[maxj - 1] = work[l - 1];
                std::swap(jpvt[maxj - 1], jpvt[l - 1]);
            }
        }
        qraux[l - 1] = 0;
        if (l == n)
            break;
        // The Householder transformation for column l.
        double nrmxl = nrm2(n - l + 1, &X(l, l));
        if (nrmxl == 0)
            continue;
        int lift = 0;
        if (nrmxl < small_vector_norm) {
            lift = lift_small_vector(n - l + 1, &X(l, l), nrmxl);
            nrmxl = nrm2(n - l + 1, &X(l, l));
        }
        if (X(l, l) != 0)
            nrmxl = fsign(nrmxl, X(l, l));
        const double inv = 1.0 / nrmxl;
        for (int i = l; i <= n; ++i)
            X(i, l) *= inv;
        X(l, l) = 1.0 + X(l, l);
        // Apply it to the remaining columns, down-dating their norms.
        for (int j = l + 1; j <= p; ++j) {
            const double t = -dot(n - l + 1, &X(l, l), &X(l, j)) / X(l, l);
            axpy(n - l + 1, t, &X(l, l), &X(l, j));
            if (j < pl || j > pu || qraux[j - 1] == 0)
                continue;
            double tt = 1.0 - (std::fabs(X(l, j)) / qraux[j - 1]) * (std::fabs(X(l, j)) / qraux[j - 1]);
            tt = std::max(tt, 0.0);
            const double keep = tt;
            const double ratio = qraux[j - 1] / work[j - 1];
            tt = 1.0 + 0.05 * tt * ratio * ratio;
            if (tt != 1.0)
                qraux[j - 1] *= std::sqrt(keep);
            else {
                // The down-dated norm has lost its accuracy: recompute it.
                qraux[j - 1] = nrm2(n - l, &X(l + 1, j));
                work[j - 1] = qraux[j - 1];
            }
        }
        qraux[l - 1] = X(l, l);
        X(l, l) = std::ldexp(-nrmxl, -lift);
    }
    return 0;
}

int qr_apply_real(double* x, const int* ldx_, const int* n_, const int* k_, const double* qraux, const double* y,
                  double* qy, double* qty, double* b, double* rsd, double* xb, const int* job, int* info)
{
    const blas_single_thread serial;
    const int n = *n_, k = *k_;
    const idx ldx = *ldx_;
    auto X = [&](int i, int j) -> double& { return x[(i - 1) + (j - 1) * ldx]; };
    const apply_job want(*job);
    *info = 0;
    const int ju = std::min(k, n - 1);
    if (ju == 0) {
        if (want.qy)
            qy[0] = y[0];
        if (want.qty)
            qty[0] = y[0];
        if (want.xb)
            xb[0] = y[0];
        if (want.b) {
            if (X(1, 1) == 0)
                *info = 1;
            else
                b[0] = y[0] / X(1, 1);
        }
        if (want.rsd)
            rsd[0] = 0;
        return 0;
    }
    // H_j applied to v (from row j): v -= (v'u / u(1)) u with u(1) = qraux(j).
    auto reflect = [&](int j, double* v) {
        if (qraux[j - 1] == 0)
            return;
        const double diag = X(j, j);
        X(j, j) = qraux[j - 1];
        const double t = -dot(n - j + 1, &X(j, j), v + j - 1) / X(j, j);
        axpy(n - j + 1, t, &X(j, j), v + j - 1);
        X(j, j) = diag;
    };
    if (want.qy) {
        std::copy(y, y + n, qy);
        for (int j = ju; j >= 1; --j)
            reflect(j, qy);
    }
    if (want.qty) {
        std::copy(y, y + n, qty);
        for (int j = 1; j <= ju; ++j)
            reflect(j, qty);
    }
    if (want.b)
        std::copy(qty, qty + k, b);
    if (want.xb)
        std::copy(qty, qty + k, xb);
    if (want.rsd && k < n)
        std::copy(qty + k, qty + n, rsd + k);
    if (want.xb)
        for (int i = k + 1; i <= n; ++i)
            xb[i - 1] = 0;
    if (want.rsd)
        for (int i = 1; i <= k; ++i)
            rsd[i - 1] = 0;
    if (want.b) {
        for (int j = k; j >= 1; --j) {
            if (X(j, j) == 0) {
                *info = j;
                break;
            }
            b[j - 1] /= X(j, j);
            if (j != 1)
                axpy(j - 1, -b[j - 1], &X(1, j), b);
        }
    }
    if (want.rsd || want.xb)
        for (int j = ju; j >= 1; --j) {
            if (want.rsd)
                reflect(j, rsd);
            if (want.xb)
                reflect(j, xb);
        }
    return 0;
}

int qr_factor_split(double* xr, double* xi, const int* ldx_, const int* n_, const int* p_, double* qrauxr,
                    double* qrauxi, int* jpvt, double* workr, double* worki, const int* job)
{
    const int n = *n_, p = *p_;
    const idx ldx = *ldx_;
    auto off = [&](int i, int j) { return (i - 1) + (j - 1) * ldx; };
    int pl = 1, pu = 0;
    if (*job != 0) {
        arrange_columns(p, jpvt, pl, pu, [&](int a, int b) {
            swap_split(n, xr + off(1, a), xi + off(1, a), 1, xr + off(1, b), xi + off(1, b), 1);
        });
        for (int j = pl; j <= pu; ++j) {
            qrauxr[j - 1] = workr[j - 1] = nrm2_split(n, xr + off(1, j), xi + off(1, j), 1);
            qrauxi[j - 1] = worki[j - 1] = 0;
        }
    }
    const int lup = std::min(n, p);
    for (int l = 1; l <= lup; ++l) {
        // Pivoting at every step, the last row of a wide matrix too.
        if (l == n)
            for (int j = l; j <= pu; ++j) {
                qrauxr[j - 1] = complex_abs(xr[off(n, j)], xi[off(n, j)]);
                qrauxi[j - 1] = 0;
            }
        if (l >= pl && l < pu) {
            double maxnrm = 0;
            int maxj = l;
            for (int j = l; j <= pu; ++j)
                if (qrauxr[j - 1] > maxnrm) {
                    maxnrm = qrauxr[j - 1];
                    maxj = j;
                }
            if (maxj != l) {
                swap_split(n, xr + off(1, l), xi + off(1, l), 1, xr + off(1, maxj), xi + off(1, maxj), 1);
                qrauxr[maxj - 1] = qrauxr[l - 1];
                qrauxi[maxj - 1] = qrauxi[l - 1];
                workr[maxj - 1] = workr[l - 1];
                worki[maxj - 1] = worki[l - 1];
                std::swap(jpvt[maxj - 1], jpvt[l - 1]);
            }
        }
        qrauxr[l - 1] = qrauxi[l - 1] = 0;
        if (l == n)
            break;
        double* lr = xr + off(l, l);
        double* li = xi + off(l, l);
        double nr = nrm2_split(n - l + 1, lr, li, 1), ni = 0;
        if (nr == 0)
            continue;
        int lift = 0;
        if (nr < small_vector_norm) {
            lift = lift_small_vector(n - l + 1, lr, nr);
            lift_small_vector(n - l + 1, li, nr);
            nr = nrm2_split(n - l + 1, lr, li, 1);
        }
        if (cabs1(*lr, *li) != 0) {
            // |nrmxl| with the direction of x(l, l)
            const double a = complex_abs(*lr, *li);
            const double m = nr;
            nr = m * (*lr / a);
            ni = m * (*li / a);
        }
        double rr, ri;
        complex_recip(nr, ni, rr, ri);
        scal_split(n - l + 1, rr, ri, lr, li, 1);
        *lr = 1.0 + *lr;
        for (int j = l + 1; j <= p; ++j) {
            double* jr = xr + off(l, j);
            double* ji = xi + off(l, j);
            const double dr = dotc_real_split(n - l + 1, lr, li, 1, jr, ji, 1);
            const double di = dotc_imag_split(n - l + 1, lr, li, 1, jr, ji, 1);
            double tr, ti;
            complex_div(-dr, -di, *lr, *li, tr, ti);
            axpy_split(n - l + 1, tr, ti, lr, li, 1, jr, ji, 1);
            if (j < pl || j > pu || cabs1(qrauxr[j - 1], qrauxi[j - 1]) == 0)
                continue;
            const double q = complex_abs(*jr, *ji) / qrauxr[j - 1];
            double tt = std::max(1.0 - q * q, 0.0);
            const double keep = tt;
            const double ratio = qrauxr[j - 1] / workr[j - 1];
            tt = 1.0 + 0.05 * tt * ratio * ratio;
            if (tt != 1.0) {
                const double s = std::sqrt(keep);
                qrauxr[j - 1] *= s;
                qrauxi[j - 1] *= s;
            } else {
                qrauxr[j - 1] = nrm2_split(n - l, jr + 1, ji + 1, 1);
                qrauxi[j - 1] = 0;
                workr[j - 1] = qrauxr[j - 1];
                worki[j - 1] = 0;
            }
        }
        qrauxr[l - 1] = *lr;
        qrauxi[l - 1] = *li;
        *lr = std::ldexp(-nr, -lift);
        *li = std::ldexp(-ni, -lift);
    }
    return 0;
}

int qr_apply_split(double* xr, double* xi, const int* ldx_, const int* n_, const int* k_, const double* qrauxr,
                   const double* qrauxi, const double* yr, const double* yi, double* qyr, double* qyi, double* qtyr,
                   double* qtyi, double* br, double* bi, double* rsdr, double* rsdi, double* xbr, double* xbi,
                   const int* job, int* info)
{
    const int n = *n_, k = *k_;
    const idx ldx = *ldx_;
    auto off = [&](int i, int j) { return (i - 1) + (j - 1) * ldx; };
    const apply_job want(*job);
    *info = 0;
    const int ju = std::min(k, n - 1);
    if (ju == 0) {
        if (want.qy) {
            qyr[0] = yr[0];
            qyi[0] = yi[0];
        }
        if (want.qty) {
            qtyr[0] = yr[0];
            qtyi[0] = yi[0];
        }
        if (want.xb) {
            xbr[0] = yr[0];
            xbi[0] = yi[0];
        }
        if (want.b) {
            if (cabs1(xr[0], xi[0]) == 0)
                *info = 1;
            else
                complex_div(yr[0], yi[0], xr[0], xi[0], br[0], bi[0]);
        }
        if (want.rsd)
            rsdr[0] = rsdi[0] = 0;
        return 0;
    }
    auto reflect = [&](int j, double* vr, double* vi) {
        if (cabs1(qrauxr[j - 1], qrauxi[j - 1]) == 0)
            return;
        double* dr = xr + off(j, j);
        double* di = xi + off(j, j);
        const double keep_r = *dr, keep_i = *di;
        *dr = qrauxr[j - 1];
        *di = qrauxi[j - 1];
        const double sr = dotc_real_split(n - j + 1, dr, di, 1, vr + j - 1, vi + j - 1, 1);
        const double si = dotc_imag_split(n - j + 1, dr, di, 1, vr + j - 1, vi + j - 1, 1);
        double tr, ti;
        complex_div(-sr, -si, *dr, *di, tr, ti);
        axpy_split(n - j + 1, tr, ti, dr, di, 1, vr + j - 1, vi + j - 1, 1);
        *dr = keep_r;
        *di = keep_i;
    };
    if (want.qy) {
        std::copy(yr, yr + n, qyr);
        std::copy(yi, yi + n, qyi);
        for (int j = ju; j >= 1; --j)
            reflect(j, qyr, qyi);
    }
    if (want.qty) {
        std::copy(yr, yr + n, qtyr);
        std::copy(yi, yi + n, qtyi);
        for (int j = 1; j <= ju; ++j)
            reflect(j, qtyr, qtyi);
    }
    if (want.b) {
        std::copy(qtyr, qtyr + k, br);
        std::copy(qtyi, qtyi + k, bi);
    }
    if (want.xb) {
        std::copy(qtyr, qtyr + k, xbr);
        std::copy(qtyi, qtyi + k, xbi);
    }
    if (want.rsd && k < n) {
        std::copy(qtyr + k, qtyr + n, rsdr + k);
        std::copy(qtyi + k, qtyi + n, rsdi + k);
    }
    if (want.xb)
        for (int i = k + 1; i <= n; ++i)
            xbr[i - 1] = xbi[i - 1] = 0;
    if (want.rsd)
        for (int i = 1; i <= k; ++i)
            rsdr[i - 1] = rsdi[i - 1] = 0;
    if (want.b) {
        for (int j = k; j >= 1; --j) {
            const idx d = off(j, j);
            if (cabs1(xr[d], xi[d]) == 0) {
                *info = j;
                break;
            }
            complex_div(br[j - 1], bi[j - 1], xr[d], xi[d], br[j - 1], bi[j - 1]);
            if (j != 1)
                axpy_split(j - 1, -br[j - 1], -bi[j - 1], xr + off(1, j), xi + off(1, j), 1, br, bi, 1);
        }
    }
    if (want.rsd || want.xb)
        for (int j = ju; j >= 1; --j) {
            if (want.rsd)
                reflect(j, rsdr, rsdi);
            if (want.xb)
                reflect(j, xbr, xbi);
        }
    return 0;
}

// ---- the language functions ----

namespace {

// Complex matrices without pivoting, from the order complex_qr_blocked_order
// on (the smaller extent), are factored on one interleaved copy by panels
// of complex_qr_block columns; each panel, split again, by narrow panels of
// LINPACK's own steps. The columns right of a panel get its reflections in
// three matrix products. Reflection j is H_j = I - u_j u_j'/u_j(1) (qraux
// holds u_j(1)), which is I - tau_j v_j v_j' with v_j = u_j/u_j(1) and
// tau_j = conj(u_j(1)); a panel's H_1...H_kb is I - V T V' with T upper
// triangular. u_j(1) is real up to rounding, so I - V T' V' applies the
// panel's reflections to the columns right of it as its own steps would.
constexpr int complex_qr_block = 32;
constexpr int narrow_panel = 8;
// From this smaller extent on the blocked path is the faster, down to
// order 8 (bench/qr_bench.cpp); below it the column kernel's own rounding
// stays.
constexpr int complex_qr_blocked_order = 16;

using field::split_view;

// The factors from their element (l, l) on, only read.
field::const_split_view read_corner(const double* xr, const double* xi, int ld, int l)
{
    const field::idx at = (l - 1) + field::idx(l - 1) * ld;
    return {xr + at, xi + at, ld};
}

// V and T of the panel whose reflections' vectors stand below the diagonal
// of the rows-by-kb block x, their u(1) in qraux.
void panel_reflector(const field::const_split_view& x, field::idx rows, int kb, const double* qraux_r,
                     const double* qraux_i, const split_view& v, const split_view& t)
{
    for (int j = 1; j <= kb; ++j) {
        const field::cplx u1(qraux_r[j - 1], qraux_i[j - 1]);
        const bool none = u1 == field::cplx(0.0);
        for (field::idx i = 1; i <= rows; ++i)
            v(i, j) = i < j || none ? field::cplx(0.0) : i == j ? field::cplx(1.0) : field::cplx(x(i, j)) / u1;
        // Column j of T: -tau_j T(1:j-1,1:j-1) V(:,1:j-1)' v_j, then tau_j.
        const field::cplx tau = field::conj(u1);
        for (int i = 1; i < j; ++i)
            t(i, j) = field::cplx(0.0);
        t(j, j) = tau;
        if (none || j == 1)
            continue;
        const split_view column = field::corner(t, 1, j);
        field::gemv('C', rows, j - 1, 1.0, v, field::corner(v, 1, j), 0.0, column);
        for (int i = 1; i < j; ++i)
            column(i, 1) = -tau * field::cplx(column(i, 1));
        field::trmv('U', 'N', 'N', j - 1, t, column);
    }
}

// c := (I - V op(T) V') c for the rows-by-cols c, op 'N' or 'C'; y holds
// kb·cols complex elements and scratch trmm's.
void apply_reflector(char op, field::idx rows, field::idx cols, int kb, const split_view& v, const split_view& t,
                     const split_view& c, const split_view& y, double* scratch)
{
    if (cols <= 0)
        return;
    field::gemm('C', 'N', kb, cols, rows, 1.0, v, c, 0.0, y);
    field::trmm('L', 'U', op, 'N', kb, cols, t, y, scratch);
    field::gemm('N', 'N', rows, cols, kb, -1.0, v, y, 1.0, c);
}

// The work of panel_reflector and apply_reflector for m rows, up to cols
// columns and panels up to width columns wide.
struct reflector_work {
    scratch<double> buffer;
    split_view v, t, y;
    double* trmm;
    reflector_work(int m, int cols, int width)
    {
        const field::idx b = width;
        const field::idx vt = 2 * (m * b + b * b), yy = 2 * b * cols;
        buffer.reset(std::size_t(vt + yy + field::trmm_scratch<field::complex_field>(b, b, cols)));
        v = field::complex_field::carve(buffer.get(), m, b);
        t = field::complex_field::carve(buffer.get() + 2 * m * b, b, b);
        y = field::complex_field::carve(buffer.get() + vt, b, cols);
        trmm = buffer.get() + vt + yy;
    }
};

// qr_factor_split's factors of the m-by-n split x (column stride ldx)
// without pivoting, by narrow panels: each by LINPACK's steps, the columns
// right of it within x by its block reflector.
void factor_by_narrow_panels(double* xr, double* xi, int ldx, int m, int n, double* qraux_r, double* qraux_i)
{
    const split_view x{xr, xi, ldx};
    const int k = std::min(m, n);
    reflector_work w(m, n, narrow_panel);
    for (int l = 1; l <= k; l += narrow_panel) {
        const int kb = std::min(narrow_panel, k - l + 1), rows = m - l + 1;
        const split_view panel = field::corner(x, l, l);
        const int job = 0;
        qr_factor_split(panel.re, panel.im, &ldx, &rows, &kb, qraux_r + l - 1, qraux_i + l - 1, nullptr, nullptr,
                        nullptr, &job);
        const int rest = n - (l + kb - 1);
        if (rest <= 0)
            continue;
        panel_reflector(read_corner(xr, xi, ldx, l), rows, kb, qraux_r + l - 1, qraux_i + l - 1, w.v, w.t);
        apply_reflector('C', rows, rest, kb, w.v, w.t, field::corner(x, l, l + kb), w.y, w.trmm);
    }
}

// V (interleaved, rows by kb, unit lower trapezoidal) and tau (kb
// interleaved elements) of the panel whose vectors stand below the
// diagonal of the split x (column stride ld): v_j = u_j/u_j(1), tau_j =
// conj(u_j(1)).
void interleaved_reflectors(const double* xr, const double* xi, int ld, int rows, int kb, const double* qraux_r,
                            const double* qraux_i, double* v, double* tau)
{
    for (int j = 0; j < kb; ++j) {
        const field::cplx u1(qraux_r[j], qraux_i[j]);
        const bool none = u1 == field::cplx(0.0);
        tau[2 * j] = u1.re;
        tau[2 * j + 1] = -u1.im;
        double* c = v + 2 * idx(j) * rows;
        for (int i = 0; i < rows; ++i) {
            field::cplx e = i == j && !none ? field::cplx(1.0) : field::cplx(0.0);
            if (i > j && !none)
                e = field::cplx(xr[i + idx(j) * ld], xi[i + idx(j) * ld]) / u1;
            c[2 * i] = e.re;
            c[2 * i + 1] = e.im;
        }
    }
}

// The scratch of the blocked complex factorisation and of Q's forming: a
// panel in split storage, V, tau, T, and the work of the block reflector
// for up to cols columns.
struct blocked_work {
    scratch<double> buffer;
    double *panel, *v, *tau, *t, *work;
    blocked_work(int m, int cols)
    {
        const std::size_t b = complex_qr_block, mb = 2 * std::size_t(m) * b;
        buffer.reset(2 * mb + 2 * b + 2 * b * b + 2 * std::size_t(std::max(cols, 1)) * b);
        panel = buffer.get();
        v = panel + mb;
        tau = v + mb;
        t = tau + 2 * b;
        work = t + 2 * b * b;
    }
};

// qr_factor_split's factors of the m-by-n matrix z without pivoting, in
// place, z interleaved: each panel split and factored by
// factor_by_narrow_panels, the columns right of it by LAPACK's block
// reflector.
void factor_blocked(double* z, int m, int n, double* qraux_r, double* qraux_i)
{
    const int k = std::min(m, n);
    blocked_work w(m, n);
    for (int l = 0; l < k; l += complex_qr_block) {
        const int kb = std::min(complex_qr_block, k - l), rows = m - l, rest = n - l - kb;
        double* corner = z + 2 * (l + idx(l) * m);
        double* pr = w.panel;
        double* pi = w.panel + idx(rows) * kb;
        deinterleave_split(rows, kb, corner, m, pr, pi, rows);
        factor_by_narrow_panels(pr, pi, rows, rows, kb, qraux_r + l, qraux_i + l);
        interleave_split(rows, kb, pr, pi, rows, corner, m);
        if (rest <= 0)
            continue;
        interleaved_reflectors(pr, pi, rows, rows, kb, qraux_r + l, qraux_i + l, w.v, w.tau);
        lapack::zlarft(rows, kb, w.v, rows, w.tau, w.t, complex_qr_block);
        lapack::zlarfb_left('C', rows, rest, kb, w.v, rows, w.t, complex_qr_block, corner + 2 * idx(kb) * m, m,
                            w.work, rest);
    }
}

// The elements of the dense complex a (m by n) interleaved into z.
void interleaved_copy(const Mm& a, double* z)
{
    const int m = a.rows(), n = a.cols();
    if (!a.issparse() && a.gettype() == qv_double && a.isc())
        interleave_split(m, n, a.addr(), a.addi(), m, z, m);
    else {
        const Mm d = dense_complex_copy(a);
        interleave_split(m, n, d.addr(), d.addi(), m, z, m);
    }
}

bool complex_blocked(const Mm& a, int pivot)
{
    return a.isc() && pivot == 0 && std::min(a.rows(), a.cols()) >= complex_qr_blocked_order;
}

// [Q,R] of a complex a without pivoting, s columns of Q: the blocked
// factors on one interleaved copy, their reflections turned into LAPACK's
// (v = u/u(1) below the diagonal, tau = conj(u(1))) and multiplied out by
// ZUNGQR, in place where Q fits.
void blocked_complex_qr(const Mm& a, int s, Mm& Q, Mm& R)
{
    const int m = a.rows(), n = a.cols(), k = std::min(m, n), cols = std::max(n, s);
    scratch<double> z{2 * std::size_t(m) * std::size_t(cols)};
    interleaved_copy(a, z.get());
    std::vector<double> qraux_r(k), qraux_i(k);
    factor_blocked(z.get(), m, n, qraux_r.data(), qraux_i.data());
    Mm r = new_dense(1, s, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < s; ++i) {
            const idx e = i + idx(j) * s, f = 2 * (i + idx(j) * m);
            r.addr()[e] = i <= j ? z[f] : 0.0;
            r.addi()[e] = i <= j ? z[f + 1] : 0.0;
        }
    std::vector<double> tau(2 * std::size_t(k));
    for (int j = 0; j < k; ++j) {
        const field::cplx u1(qraux_r[j], qraux_i[j]);
        const bool none = u1 == field::cplx(0.0);
        tau[2 * j] = u1.re;
        tau[2 * j + 1] = -u1.im;
        for (int i = j + 1; i < m; ++i) {
            double* e = z.get() + 2 * (i + idx(j) * m);
            const field::cplx v = none ? field::cplx(0.0) : field::cplx(e[0], e[1]) / u1;
            e[0] = v.re;
            e[1] = v.im;
        }
    }
    // Columns past n start as anything: ZUNGQR sets every one.
    const int lwork = 64 * std::max(s, 1);
    scratch<double> work{2 * std::size_t(lwork)};
    lapack::zungqr(m, s, k, z.get(), m, tau.data(), work.get(), lwork);
    Mm q = new_dense(1, m, s);
    deinterleave_split(m, s, z.get(), m, q.addr(), q.addi(), m);
    Q = q;
    R = r;
}

// The factored copy of a dense 2-d A (m-by-n, both > 0) with its qraux.
struct factored {
    Mm x;
    std::vector<double> qraux_r, qraux_i;
};

factored factor_copy(const Mm& a, int pivot, int* jpvt)
{
    factored f{dense_copy(a), {}, {}};
    const int m = a.rows(), n = a.cols();
    f.qraux_r.assign(n, 0.0);
    scratch<double> work{std::size_t(2) * n};
    if (f.x.isc()) {
        f.qraux_i.assign(n, 0.0);
        qr_factor_split(f.x.addr(), f.x.addi(), &m, &m, &n, f.qraux_r.data(), f.qraux_i.data(), jpvt, work.get(),
                        work.get() + n, &pivot);
    } else
        qr_factor_real(f.x.addr(), &m, &m, &n, f.qraux_r.data(), jpvt, work.get(), &pivot);
    return f;
}

// Q and R of a real A without pivoting by LAPACK's blocked DGEQRF and
// DORGQR. Their reflections follow the same sign rule (R(l,l) is minus
// the column norm signed as A(l,l)); only where the column below the
// diagonal is already zero does DGEQRF leave it alone while the
// LINPACK-layout factorisation reflects it, which negates row l of R and
// column l of Q. That negation is applied here, so the factors are those
// of the unblocked path up to rounding.
void blocked_real_qr(const Mm& a, int s, Mm& Q, Mm& R)
{
    const int m = a.rows(), n = a.cols(), k = std::min(m, n);
    Mm w = dense_copy(a);
    scratch<double> tau{std::size_t(k)};
    const int lwork = 64 * std::max(m, n) + 64;
    scratch<double> work{std::size_t(lwork)};
    lapack::geqrf(m, n, w.addr(), m, tau.get(), work.get(), lwork);
    Mm r = checked(czeros(0, s, n), s, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= std::min(j, s - 1); ++i)
            r.addr()[i + s * idx(j)] = w.addr()[i + m * idx(j)];
    Mm q = checked(czeros(0, m, s), m, s);
    std::copy(w.addr(), w.addr() + m * idx(std::min(s, n)), q.addr());
    lapack::orgqr(m, s, k, q.addr(), m, tau.get(), work.get(), lwork);
    for (int l = 0; l < k; ++l)
        if (tau[l] == 0 && l + 1 < m && r.addr()[l + s * idx(l)] != 0) {
            for (int j = l; j < n; ++j)
                r.addr()[l + s * idx(j)] = -r.addr()[l + s * idx(j)];
            for (int i = 0; i < m; ++i)
                q.addr()[i + m * idx(l)] = -q.addr()[i + m * idx(l)];
        }
    Q = q;
    R = r;
}

// The factors of a times a power of two are a's with R times the power,
// exactly but for R's elements that leave the doubles: a matrix near the
// ends of the doubles is factored in units of its largest element's power
// (the reflections' updates of subnormal columns rounded to their coarse
// spacing, and Q of a matrix of 1e-320 was a different Q for every
// rounding) and R, the upper triangle of the one-output form, is put back.
int qr_working_copy(const Mm& a0, Mm& a)
{
    a = checked(full(a0), a0.rows(), a0.cols());
    if (a.gettype() != qv_double || a.issparse())
        return 0;
    const int e = safe_range_exponent(a);
    if (e != 0) {
        a = dense_copy(a);
        scale_by_power_of_two(a, e);
    }
    return e;
}

void qr_decompose_scaled(const Mm& a, bool pivot, bool economy, Mm& Q, Mm& R, Mm* E);

// qr_decompose: Q, R and (with pivoting) E of a.
void qr_decompose(const Mm& a0, bool pivot, bool economy, Mm& Q, Mm& R, Mm* E)
{
    Mm a;
    const int e = qr_working_copy(a0, a);
    qr_decompose_scaled(a, pivot, economy, Q, R, E);
    if (e != 0 && !isempty(R) && R.gettype() == qv_double)
        scale_upper_triangle_by_power_of_two(R, -e);
}

void qr_decompose_scaled(const Mm& a, bool pivot, bool economy, Mm& Q, Mm& R, Mm* E)
{
    if (error_2d(a, "qr") || a.rows() == 0 || a.cols() == 0) {
        Q = nop_M;
        R = nop_M;
        if (E)
            *E = nop_M;
        return;
    }
    const int m = a.rows(), n = a.cols();
    if (!pivot && !a.isc()) {
        blocked_real_qr(a, economy ? std::min(m, n) : m, Q, R);
        return;
    }
    if (complex_blocked(a, pivot)) {
        blocked_complex_qr(a, economy ? std::min(m, n) : m, Q, R);
        return;
    }
    int_scratch jpvt{std::size_t(n)};
    std::fill(jpvt.get(), jpvt.get() + n, 0);
    factored f = factor_copy(a, pivot ? 1 : 0, jpvt.get());
    const int complex = f.x.isc();
    const int s = economy ? std::min(m, n) : m;

    // Every element of R and of the blocked path's Q is written once: a
    // large matrix is not first cleared.
    Mm r = new_dense(complex, s, n);
    for (int k = 1; k <= n; ++k) {
        const int count = std::min(s, k);
        for (int part = 0; part <= complex; ++part) {
            const double* from = (part ? f.x.addi() : f.x.addr()) + m * idx(k - 1);
            double* to = (part ? r.addi() : r.addr()) + s * idx(k - 1);
            std::copy(from, from + count, to);
            std::fill(to + count, to + s, 0.0);
        }
    }

    // Q's columns: Q applied to the columns of the m-by-s identity.
    Mm q = checked(czeros(complex, m, s), m, s);
    scratch<double> e{std::size_t(2) * m};
    const int job = 10000;
    int info = 0;
    for (int k = 0; k < s; ++k) {
        std::fill(e.get(), e.get() + 2 * m, 0.0);
        e[k] = 1;
        // Reflections past column k + 1 meet only zeros of e_k: leaving
        // them out changes no bit.
        const int used = std::min(n, k + 1);
        double* qr = q.addr() + m * idx(k);
        if (complex)
            qr_apply_split(f.x.addr(), f.x.addi(), &m, &m, &used, f.qraux_r.data(), f.qraux_i.data(), e.get(),
                           e.get() + m, qr, q.addi() + m * idx(k), nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, &job, &info);
        else
            qr_apply_real(f.x.addr(), &m, &m, &used, f.qraux_r.data(), e.get(), qr, nullptr, nullptr, nullptr, nullptr,
                          &job, &info);
    }
    if (E) {
        if (economy) {
            Mm row = new_dense(0, 1, n);
            for (int k = 0; k < n; ++k)
                row.addr()[k] = jpvt[k];
            *E = row;
        } else {
            Mm p = checked(czeros(0, n, n), n, n);
            for (int k = 0; k < n; ++k)
                p.addr()[(jpvt[k] - 1) + n * idx(k)] = 1;
            *E = p;
        }
    }
    Q = q;
    R = r;
}

} // namespace

Mm qr(const Mm& a)
{
    if (error_2d(a, "qr"))
        return x_M;
    if (a.rows() == 0 || a.cols() == 0)
        return nop_M;
    Mm f;
    const int e = qr_working_copy(a, f);
    Mm x;
    if (complex_blocked(f, 0)) {
        const int m = f.rows(), n = f.cols();
        scratch<double> z{2 * std::size_t(m) * std::size_t(n)};
        interleaved_copy(f, z.get());
        std::vector<double> qraux(2 * std::size_t(n));
        factor_blocked(z.get(), m, n, qraux.data(), qraux.data() + n);
        x = new_dense(1, m, n);
        deinterleave_split(m, n, z.get(), m, x.addr(), x.addi(), m);
    } else {
        int_scratch jpvt{std::size_t(a.cols())};
        std::fill(jpvt.get(), jpvt.get() + a.cols(), 0);
        x = factor_copy(f, 0, jpvt.get()).x;
    }
    scale_upper_triangle_by_power_of_two(x, -e);
    return x;
}

Mm qr(const Mm& a, const Mm&)
{
    Mm Q, R;
    qr_decompose(a, false, true, Q, R, nullptr);
    return Q;
}

Mm qr(const Mm& a, i_o_t, Mm& Q, Mm& R)
{
    qr_decompose(a, false, false, Q, R, nullptr);
    return x_M;
}

Mm qr(const Mm& a, i_o_t, Mm& Q, Mm& R, Mm& E)
{
    qr_decompose(a, true, false, Q, R, &E);
    return x_M;
}

Mm qr(const Mm& a, const Mm&, i_o_t, Mm& Q, Mm& R)
{
    qr_decompose(a, false, true, Q, R, nullptr);
    return x_M;
}

Mm qr(const Mm& a, const Mm&, i_o_t, Mm& Q, Mm& R, Mm& E)
{
    qr_decompose(a, true, true, Q, R, &E);
    return x_M;
}

// ---- Givens updates ----

namespace {

using cx = std::complex<double>;

// A dense complex working copy of a value, and back.
struct cwork {
    int rows, cols;
    std::vector<cx> v;
    cx& operator()(int i, int j) { return v[(i - 1) + std::size_t(j - 1) * rows]; }
};

cwork to_work(const Mm& x0)
{
    const Mm x = dense_copy(x0);
    cwork w{x.rows(), x.cols(), std::vector<cx>(std::size_t(x.rows()) * x.cols())};
    for (std::size_t k = 0; k < w.v.size(); ++k)
        w.v[k] = cx(x.addr()[k], x.isc() ? x.addi()[k] : 0.0);
    return w;
}

Mm from_work(const cwork& w, bool complex)
{
    Mm x = new_dense(complex, w.rows, w.cols);
    for (std::size_t k = 0; k < w.v.size(); ++k) {
        x.addr()[k] = w.v[k].real();
        if (complex)
            x.addi()[k] = w.v[k].imag();
    }
    return x;
}

// The rotation of planerot for the column [a; b]: its four elements and y.
struct rotation {
    cx g11, g12, g21, g22;
    cx y1, y2;
};

rotation plane_rotation(cx a, cx b, bool complex)
{
    Mm x = new_dense(complex, 2, 1);
    x.addr()[0] = a.real();
    x.addr()[1] = b.real();
    if (complex) {
        x.addi()[0] = a.imag();
        x.addi()[1] = b.imag();
    }
    Mm G, y;
    planerot(x, i_o, G, y);
    const Mm g = dense_copy(G), v = dense_copy(y);
    auto at = [](const Mm& m, int k) { return cx(m.addr()[k], m.isc() ? m.addi()[k] : 0.0); };
    return {at(g, 0), at(g, 2), at(g, 1), at(g, 3), at(v, 0), at(v, 1)};
}

// Rotates rows k, k+1 of R at column c (setting y), then G times those
// rows over columns first..last, and Q's columns k, k+1 times G'.
void rotate(cwork& Q, cwork& R, int k, int c, int first, int last, bool complex)
{
    const rotation g = plane_rotation(R(k, c), R(k + 1, c), complex);
    R(k, c) = g.y1;
    R(k + 1, c) = g.y2;
    for (int j = first; j <= last; ++j) {
        const cx a = R(k, j), b = R(k + 1, j);
        R(k, j) = g.g11 * a + g.g12 * b;
        R(k + 1, j) = g.g21 * a + g.g22 * b;
    }
    for (int i = 1; i <= Q.rows; ++i) {
        const cx a = Q(i, k), b = Q(i, k + 1);
        Q(i, k) = a * std::conj(g.g11) + b * std::conj(g.g12);
        Q(i, k + 1) = a * std::conj(g.g21) + b * std::conj(g.g22);
    }
}

int first_index(const Mm& j)
{
    const Mm f = full(j);
    return f.size() > 0 && f.gettype() == qv_double ? int(f.addr()[0]) : 0;
}

} // namespace

Mm qrdelete(const Mm& Q, const Mm& R, const Mm& j, i_o_t, Mm& Q1, Mm& R1)
{
    Mm r1 = R;
    // The language's own deletion: an index outside R fails there.
    r1.vwcopy0(r1(c_p, j));
    const bool complex = Q.isc() || R.isc();
    cwork q = to_work(Q), r = to_work(r1);
    const int m = r.rows, n = r.cols;
    for (int k = first_index(j); k >= 1 && k <= std::min(n, m - 1); ++k)
        rotate(q, r, k, k, k + 1, n, complex);
    Q1 = from_work(q, complex);
    R1 = from_work(r, complex);
    return x_M;
}

Mm qrinsert(const Mm& Q, const Mm& R, const Mm& j, const Mm& x, i_o_t, Mm& Q1, Mm& R1)
{
    const int n = R.cols();
    if (n == 0 || isempty(R))
        return qr(x, i_o, Q1, R1);
    const int jj = first_index(j);
    // R1 = [R(:, 1:j-1), Q'*x, R(:, j:n)], through the language's indexing.
    const Mm left = Mm(R(c_p, colon(1.0, double(jj - 1))));
    const Mm right = Mm(R(c_p, colon(double(jj), double(n))));
    const Mm r1 = horzcat(horzcat(left, ctranspose(Q) * x), right);
    const bool complex = Q.isc() || r1.isc();
    cwork q = to_work(Q), r = to_work(r1);
    const int m = r.rows;
    for (int k = m - 1; k >= jj && k >= 1; --k)
        rotate(q, r, k, jj, k + 1, n + 1, complex);
    Q1 = from_work(q, complex);
    R1 = from_work(r, complex);
    return x_M;
}
