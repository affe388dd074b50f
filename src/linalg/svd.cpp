// Singular value decomposition: LINPACK's Householder bidiagonalisation and
// implicit-shift QR iteration, real and split complex, and the language
// function svd in its one-, two- and three-output forms.
#include "engine/scalar_complex.hpp"
#include "linalg/front.hpp"
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "linalg/scaling.hpp"
#include "platform/blas_threads.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/linalg.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

int svd_iteration_limit = 100;

namespace {

using idx = std::ptrdiff_t;

inline double fsign(double a, double b) noexcept { return b >= 0 ? std::fabs(a) : -std::fabs(a); }

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

inline void scal(int n, double a, double* x) noexcept
{
    for (int i = 0; i < n; ++i)
        x[i] *= a;
}

inline void rot(int n, double* x, double* y, double c, double s) noexcept
{
    for (int i = 0; i < n; ++i) {
        const double a = x[i], b = y[i];
        x[i] = c * a + s * b;
        y[i] = c * b - s * a;
    }
}

inline void swap(int n, double* x, double* y) noexcept
{
    for (int i = 0; i < n; ++i)
        std::swap(x[i], y[i]);
}

// The plane rotation that zeroes b against a: c, s and r = a*c + b*s land
// in c, s and a. No caller wants the reconstruction value a BLAS rotg also
// returns, so it is not formed (it costs a division per rotation). Both
// inputs are divided by the larger magnitude (kept within the safe range)
// before the squares are taken, so neither 1e200 nor 1e-200 overflows or
// underflows to a wrong r; a BLAS rotg need not do that.
inline void rotg(double& a, double b, double& c, double& s) noexcept
{
    constexpr double safmin = std::numeric_limits<double>::min();
    constexpr double safmax = 1 / safmin;
    const double anorm = std::fabs(a), bnorm = std::fabs(b);
    if (bnorm == 0) {
        c = 1;
        s = 0;
    } else if (anorm == 0) {
        c = 0;
        s = 1;
        a = b;
    } else {
        const double scl = std::min(safmax, std::max({safmin, anorm, bnorm}));
        const double sigma = anorm > bnorm ? std::copysign(1.0, a) : std::copysign(1.0, b);
        const double as = a / scl, bs = b / scl;
        const double r = sigma * (scl * std::sqrt(as * as + bs * bs));
        if (scl == safmin) {
            // Both below the underflow bound: r is subnormal and short of
            // digits, so c and s come from the scaled pair, or c² + s²
            // drifts from 1 and the vectors lose their orthogonality.
            const double rs = sigma * std::sqrt(as * as + bs * bs);
            c = as / rs;
            s = bs / rs;
        } else {
            c = a / r;
            s = b / r;
        }
        a = r;
    }
}

// The columns of U and V that the iteration rotates, scales and swaps: one
// array each for real data, two for split complex data.
struct real_vectors {
    double *u, *v;
    idx ldu, ldv;
    int n, p;  // rows of U, rows of V
    void rot_u(int k1, int k2, double c, double s) const { rot(n, u + (k1 - 1) * ldu, u + (k2 - 1) * ldu, c, s); }
    void rot_v(int k1, int k2, double c, double s) const { rot(p, v + (k1 - 1) * ldv, v + (k2 - 1) * ldv, c, s); }
    void negate_v(int k) const { scal(p, -1.0, v + (k - 1) * ldv); }
    void swap_u(int k1, int k2) const { swap(n, u + (k1 - 1) * ldu, u + (k2 - 1) * ldu); }
    void swap_v(int k1, int k2) const { swap(p, v + (k1 - 1) * ldv, v + (k2 - 1) * ldv); }
};

struct split_vectors {
    double *ur, *ui, *vr, *vi;
    idx ldu, ldv;
    int n, p;
    void rot_u(int k1, int k2, double c, double s) const
    {
        rot(n, ur + (k1 - 1) * ldu, ur + (k2 - 1) * ldu, c, s);
        rot(n, ui + (k1 - 1) * ldu, ui + (k2 - 1) * ldu, c, s);
    }
    void rot_v(int k1, int k2, double c, double s) const
    {
        rot(p, vr + (k1 - 1) * ldv, vr + (k2 - 1) * ldv, c, s);
        rot(p, vi + (k1 - 1) * ldv, vi + (k2 - 1) * ldv, c, s);
    }
    void negate_v(int k) const
    {
        scal(p, -1.0, vr + (k - 1) * ldv);
        scal(p, -1.0, vi + (k - 1) * ldv);
    }
    void swap_u(int k1, int k2) const
    {
        swap(n, ur + (k1 - 1) * ldu, ur + (k2 - 1) * ldu);
        swap(n, ui + (k1 - 1) * ldu, ui + (k2 - 1) * ldu);
    }
    void swap_v(int k1, int k2) const
    {
        swap(p, vr + (k1 - 1) * ldv, vr + (k2 - 1) * ldv);
        swap(p, vi + (k1 - 1) * ldv, vi + (k2 - 1) * ldv);
    }
};

// Whether x is negligible beside test. The real kernel asks whether adding
// |x| changes test; the complex one compares eps*(test + |x|/2) with
// eps*test.
struct real_test {
    static bool negligible(double test, double x) { return test + std::fabs(x) == test; }
};
struct complex_test {
    static bool negligible(double test, double x)
    {
        const double eps = machine_double(4);
        return eps * (test + std::fabs(x) / 2) == eps * test;
    }
};

// The QR iteration on the real bidiagonal s(1..m), e(1..m) (1-based through
// S and E), with n rows and p columns in the original matrix. Returns info.
template <class Test, class Vectors>
int bidiagonal_qr(double* s0, double* e0, int m, int n, int p, bool wantu, bool wantv, const Vectors& vec)
{
    auto S = [&](int i) -> double& { return s0[i - 1]; };
    auto E = [&](int i) -> double& { return e0[i - 1]; };
    const int mm = m;
    // The QR steps are budgeted over the whole matrix, not per value. When
    // a block still holds values far larger than its trailing ones, the
    // shift (about the trailing value squared) is lost beside S(l)^2 in f,
    // the step is in effect unshifted, and the trailing value converges
    // only linearly, at the squared ratio of the two smallest values per
    // step: a graded matrix with 12 decades over 200 values needs some 130
    // steps for its first value. Those steps shrink every other e too, so
    // the later values take few: graded matrices of orders 160 to 1000
    // take about 1.5 steps per value in all.
    const long long budget = (long long)svd_iteration_limit * mm;
    long long steps = 0;
    // The passes that deflate or split (kases 1 and 2) take no step: on
    // finite data each leaves a zero in e that stays until the next value
    // converges, so at most mm + 1 of them come between two convergences.
    // Counting them too bounds every pass, whatever the data hold.
    int splits = 0;
    // Below this an element of e is dropped whatever its neighbours, as
    // LAPACK's bidiagonal QR does: among subnormal neighbours the test
    // above never holds, and steps on them make no progress.
    const double thresh = 6.0 * mm * (mm * std::numeric_limits<double>::min());
    while (m > 0) {
        if (steps >= budget || splits > mm + 1)
            return m;
        // Inspect for negligible elements: kase 1 s(m) and e(l-1) negligible,
        // 2 s(l) negligible, 3 a QR step, 4 e(m-1) negligible (convergence).
        int l = 0, kase;
        for (int ll = 1; ll <= m; ++ll) {
            l = m - ll;
            if (l == 0)
                break;
            const double test = std::fabs(S(l)) + std::fabs(S(l + 1));
            if (Test::negligible(test, E(l)) || std::fabs(E(l)) <= thresh) {
                E(l) = 0;
                break;
            }
        }
        if (l == m - 1)
            kase = 4;
        else {
            int ls = l;
            for (int lls = l + 1; lls <= m + 1; ++lls) {
                ls = m - lls + l + 1;
                if (ls == l)
                    break;
                double test = 0;
                if (ls != m)
                    test += std::fabs(E(ls));
                if (ls != l + 1)
                    test += std::fabs(E(ls - 1));
                if (Test::negligible(test, S(ls))) {
                    S(ls) = 0;
                    break;
                }
            }
            if (ls == l)
                kase = 3;
            else if (ls == m)
                kase = 1;
            else {
                kase = 2;
                l = ls;
            }
        }
        l = l + 1;
        double cs, sn, t1, f, g;
        switch (kase) {
        case 1: {  // deflate negligible s(m)
            ++splits;
            f = E(m - 1);
            E(m - 1) = 0;
            for (int k = m - 1; k >= l; --k) {
                t1 = S(k);
                rotg(t1, f, cs, sn);
                S(k) = t1;
                if (k != l) {
                    f = -sn * E(k - 1);
                    E(k - 1) = cs * E(k - 1);
                }
                if (wantv)
                    vec.rot_v(k, m, cs, sn);
            }
            break;
        }
        case 2: {  // split at negligible s(l)
            ++splits;
            f = E(l - 1);
            E(l - 1) = 0;
            for (int k = l; k <= m; ++k) {
                t1 = S(k);
                rotg(t1, f, cs, sn);
                S(k) = t1;
                f = -sn * E(k);
                E(k) = cs * E(k);
                if (wantu)
                    vec.rot_u(k, l - 1, cs, sn);
            }
            break;
        }
        case 3: {  // one QR step, the shift from the trailing 2-by-2 block
            const double scale = std::max({std::fabs(S(m)), std::fabs(S(m - 1)), std::fabs(E(m - 1)),
                                           std::fabs(S(l)), std::fabs(E(l))});
            const double sm = S(m) / scale, smm1 = S(m - 1) / scale, emm1 = E(m - 1) / scale;
            const double sl = S(l) / scale, el = E(l) / scale;
            const double b = ((smm1 + sm) * (smm1 - sm) + emm1 * emm1) / 2;
            const double c = (sm * emm1) * (sm * emm1);
            double shift = 0;
            if (b != 0 || c != 0) {
                shift = std::sqrt(b * b + c);
                if (b < 0)
                    shift = -shift;
                shift = c / (b + shift);
            }
            // sm^2 - shift is the eigenvalue of the corner of B·Bᴴ nearer
            // sm^2 (the published complex routine subtracts the shift,
            // aiming beside it, and converges so slowly that graded
            // matrices ran out of steps).
            f = (sl + sm) * (sl - sm) + shift;
            g = sl * el;
            for (int k = l; k <= m - 1; ++k) {
                rotg(f, g, cs, sn);
                if (k != l)
                    E(k - 1) = f;
                f = cs * S(k) + sn * E(k);
                E(k) = cs * E(k) - sn * S(k);
                g = sn * S(k + 1);
                S(k + 1) = cs * S(k + 1);
                if (wantv)
                    vec.rot_v(k, k + 1, cs, sn);
                rotg(f, g, cs, sn);
                S(k) = f;
                f = cs * E(k) + sn * S(k + 1);
                S(k + 1) = -sn * E(k) + cs * S(k + 1);
                g = sn * E(k + 1);
                E(k + 1) = cs * E(k + 1);
                if (wantu && k < n)
                    vec.rot_u(k, k + 1, cs, sn);
            }
            E(m - 1) = f;
            ++steps;
            break;
        }
        default: {  // convergence: make s(l) non-negative, move it into order
            if (S(l) < 0) {
                S(l) = -S(l);
                if (wantv)
                    vec.negate_v(l);
            } else if (S(l) == 0)
                S(l) = 0.0;  // not -0, which made cond(ones(5,3)) -Inf
            while (l != mm && !(S(l) >= S(l + 1))) {
                std::swap(S(l), S(l + 1));
                if (wantv && l < p)
                    vec.swap_v(l, l + 1);
                if (wantu && l < n)
                    vec.swap_u(l, l + 1);
                ++l;
            }
            splits = 0;
            --m;
            break;
        }
        }
    }
    return 0;
}

// Whether every element of the n-by-p array x (leading dimension ldx) is
// finite. No singular value of a matrix holding NaN or Inf is known, and
// such entries defeat the negligibility tests (Inf + |x| == Inf holds for
// every x), so the kernels answer NaN before they start.
bool finite_matrix(const double* x, idx ldx, int n, int p) noexcept
{
    bool finite = true;
    for (int j = 0; j < p; ++j)
        for (int i = 0; i < n; ++i)
            finite &= std::isfinite(x[i + j * ldx]);
    return finite;
}

void fill_columns(double* a, idx ld, int rows, int cols, double v) noexcept
{
    for (int j = 0; j < cols; ++j)
        std::fill(a + j * ld, a + j * ld + rows, v);
}

} // namespace

int svd_kernel_real(double* x, const int* ldx_, const int* n_, const int* p_, double* s0, double* e0, double* u,
                    const int* ldu_, double* v, const int* ldv_, double* work0, const int* job, int* info)
{
    // A level-2 call per column, most of them small: one BLAS thread.
    const blas_single_thread serial;
    // n rows and p columns, as the published routine names them.
    const int n = *n_, p = *p_;
    const idx ldx = *ldx_, ldu = *ldu_, ldv = *ldv_;
    auto X = [&](int i, int j) -> double& { return x[(i - 1) + (j - 1) * ldx]; };
    auto U = [&](int i, int j) -> double& { return u[(i - 1) + (j - 1) * ldu]; };
    auto V = [&](int i, int j) -> double& { return v[(i - 1) + (j - 1) * ldv]; };
    auto S = [&](int i) -> double& { return s0[i - 1]; };
    auto E = [&](int i) -> double& { return e0[i - 1]; };
    auto W = [&](int i) -> double& { return work0[i - 1]; };

    const int jobu = (*job % 100) / 10;
    const int ncu = jobu > 1 ? std::min(n, p) : n;
    const bool wantu = jobu != 0, wantv = *job % 10 != 0;
    *info = 0;
    if (!finite_matrix(x, ldx, n, p)) {
        // Nothing found: every value and vector NaN, info the whole count.
        std::fill(s0, s0 + std::min(n + 1, p), NAN);
        std::fill(e0, e0 + p, NAN);
        if (wantu)
            fill_columns(u, ldu, n, ncu, NAN);
        if (wantv)
            fill_columns(v, ldv, p, p, NAN);
        *info = std::min(n, p);
        return 0;
    }

    // Reduce x to bidiagonal form: diagonal in s, superdiagonal in e.
    const int nct = std::min(n - 1, p), nrt = std::max(0, std::min(p - 2, n));
    const int lu = std::max(nct, nrt);
    for (int l = 1; l <= lu; ++l) {
        const int lp1 = l + 1;
        if (l <= nct) {
            // The transformation for column l; the diagonal element to s(l).
            S(l) = nrm2(n - l + 1, &X(l, l));
            int k = 0;
            if (S(l) != 0 && S(l) < small_vector_norm) {
                k = lift_small_vector(n - l + 1, &X(l, l), S(l));
                S(l) = nrm2(n - l + 1, &X(l, l));
            }
            if (S(l) != 0) {
                if (X(l, l) != 0)
                    S(l) = fsign(S(l), X(l, l));
                scal(n - l + 1, 1.0 / S(l), &X(l, l));
                X(l, l) = 1.0 + X(l, l);
            }
            S(l) = std::ldexp(-S(l), -k);
        }
        // Small blocks keep LINPACK's column-by-column arithmetic (exact
        // zeros stay exact); large ones take the matrix-vector form.
        const bool level2 = double(n - l + 1) * (p - l) >= 4096;
        if (!level2)
            for (int j = lp1; j <= p; ++j)
                if (l <= nct && S(l) != 0) {
                    const double t = -dot(n - l + 1, &X(l, l), &X(l, j)) / X(l, l);
                    axpy(n - l + 1, t, &X(l, l), &X(l, j));
                }
        if (level2 && l <= nct && S(l) != 0 && lp1 <= p) {
            // The transformation applied to every later column at once:
            // w = X' u (in e's free places), then X -= u w' / u(1).
            const int rows = n - l + 1, cols = p - l, one = 1;
            const double unit = 1, zero = 0;
            const int ld = int(ldx);
            dgemv_("T", &rows, &cols, &unit, &X(l, lp1), &ld, &X(l, l), &one, &zero, &E(lp1), &one, 1);
            scal(cols, -1.0 / X(l, l), &E(lp1));
            dger_(&rows, &cols, &unit, &X(l, l), &one, &E(lp1), &one, &X(l, lp1), &ld);
        }
        // Row l of x for the next row transformation.
        for (int j = lp1; j <= p; ++j)
            E(j) = X(l, j);
        if (wantu && l <= nct)
            for (int i = l; i <= n; ++i)
                U(i, l) = X(i, l);
        if (l <= nrt) {
            E(l) = nrm2(p - l, &E(lp1));
            int k = 0;
            if (E(l) != 0 && E(l) < small_vector_norm) {
                k = lift_small_vector(p - l, &E(lp1), E(l));
                E(l) = nrm2(p - l, &E(lp1));
            }
            if (E(l) != 0) {
                if (E(lp1) != 0)
                    E(l) = fsign(E(l), E(lp1));
                scal(p - l, 1.0 / E(l), &E(lp1));
                E(lp1) = 1.0 + E(lp1);
            }
            E(l) = std::ldexp(-E(l), -k);
            if (lp1 <= n && E(l) != 0 && double(n - l) * (p - l) < 4096) {
                for (int i = lp1; i <= n; ++i)
                    W(i) = 0;
                for (int j = lp1; j <= p; ++j)
                    axpy(n - l, E(j), &X(lp1, j), &W(lp1));
                for (int j = lp1; j <= p; ++j)
                    axpy(n - l, -E(j) / E(lp1), &W(lp1), &X(lp1, j));
            } else if (lp1 <= n && E(l) != 0) {
                // w = X e, then X -= w e' / e(l+1).
                const int rows = n - l, cols = p - l, one = 1, ld = int(ldx);
                const double unit = 1, zero = 0;
                dgemv_("N", &rows, &cols, &unit, &X(lp1, lp1), &ld, &E(lp1), &one, &zero, &W(lp1), &one, 1);
                scal(rows, -1.0 / E(lp1), &W(lp1));
                dger_(&rows, &cols, &unit, &W(lp1), &one, &E(lp1), &one, &X(lp1, lp1), &ld);
            }
            if (wantv)
                for (int i = lp1; i <= p; ++i)
                    V(i, l) = E(i);
        }
    }

    // The final bidiagonal matrix of order m.
    int m = std::min(p, n + 1);
    const int nctp1 = nct + 1, nrtp1 = nrt + 1;
    if (nct < p)
        S(nctp1) = X(nctp1, nctp1);
    if (n < m)
        S(m) = 0;
    if (nrtp1 < m)
        E(nrtp1) = X(nrtp1, m);
    E(m) = 0;

    if (wantu) {
        for (int j = nctp1; j <= ncu; ++j) {
            for (int i = 1; i <= n; ++i)
                U(i, j) = 0;
            U(j, j) = 1;
        }
        for (int l = nct; l >= 1; --l) {
            if (S(l) != 0) {
                for (int j = l + 1; j <= ncu; ++j) {
                    const double t = -dot(n - l + 1, &U(l, l), &U(l, j)) / U(l, l);
                    axpy(n - l + 1, t, &U(l, l), &U(l, j));
                }
                scal(n - l + 1, -1.0, &U(l, l));
                U(l, l) = 1.0 + U(l, l);
                for (int i = 1; i <= l - 1; ++i)
                    U(i, l) = 0;
            } else {
                for (int i = 1; i <= n; ++i)
                    U(i, l) = 0;
                U(l, l) = 1;
            }
        }
    }
    if (wantv) {
        for (int l = p; l >= 1; --l) {
            const int lp1 = l + 1;
            if (l <= nrt && E(l) != 0)
                for (int j = lp1; j <= p; ++j) {
                    const double t = -dot(p - l, &V(lp1, l), &V(lp1, j)) / V(lp1, l);
                    axpy(p - l, t, &V(lp1, l), &V(lp1, j));
                }
            for (int i = 1; i <= p; ++i)
                V(i, l) = 0;
            V(l, l) = 1;
        }
    }
    const real_vectors vec{u, v, ldu, ldv, n, p};
    *info = bidiagonal_qr<real_test>(s0, e0, m, n, p, wantu, wantv, vec);
    return 0;
}

int svd_kernel_complex(double* xr, double* xi, const int* ldx_, const int* n_, const int* p_, double* sr, double* si,
                       double* er, double* ei, double* ur, double* ui, const int* ldu_, double* vr, double* vi,
                       const int* ldv_, double* workr, double* worki, const int* job, int* info)
{
    const blas_single_thread serial;
    const int n = *n_, p = *p_;
    const idx ldx = *ldx_, ldu = *ldu_, ldv = *ldv_;
    auto at = [](double* a, idx ld, int i, int j) -> double* { return a + (i - 1) + (j - 1) * ld; };
    auto cabs1 = [](double re, double im) { return std::fabs(re) + std::fabs(im); };
    // |z1| with the direction of z2.
    auto csign = [](double z1r, double z1i, double z2r, double z2i, double& outr, double& outi) {
        const double m = complex_abs(z1r, z1i), d = complex_abs(z2r, z2i);
        outr = m * (z2r / d);
        outi = m * (z2i / d);
    };

    const int jobu = (*job % 100) / 10;
    const int ncu = jobu > 1 ? std::min(n, p) : n;
    const bool wantu = jobu != 0, wantv = *job % 10 != 0;
    *info = 0;
    if (!finite_matrix(xr, ldx, n, p) || !finite_matrix(xi, ldx, n, p)) {
        const int ns = std::min(n + 1, p);
        std::fill(sr, sr + ns, NAN);
        std::fill(si, si + ns, 0.0);
        std::fill(er, er + p, NAN);
        std::fill(ei, ei + p, NAN);
        if (wantu) {
            fill_columns(ur, ldu, n, ncu, NAN);
            fill_columns(ui, ldu, n, ncu, NAN);
        }
        if (wantv) {
            fill_columns(vr, ldv, p, p, NAN);
            fill_columns(vi, ldv, p, p, NAN);
        }
        *info = std::min(n, p);
        return 0;
    }

    const int nct = std::min(n - 1, p), nrt = std::max(0, std::min(p - 2, n));
    const int lu = std::max(nct, nrt);
    for (int l = 1; l <= lu; ++l) {
        const int lp1 = l + 1;
        double* xlr = at(xr, ldx, l, l);
        double* xli = at(xi, ldx, l, l);
        double& slr = sr[l - 1];
        double& sli = si[l - 1];
        int k = 0;
        if (l <= nct) {
            slr = nrm2_split(n - l + 1, xlr, xli, 1);
            sli = 0;
            if (slr != 0 && slr < small_vector_norm) {
                k = lift_small_vector(n - l + 1, xlr, slr);
                lift_small_vector(n - l + 1, xli, slr);
                slr = nrm2_split(n - l + 1, xlr, xli, 1);
            }
            if (cabs1(slr, sli) != 0) {
                if (cabs1(*xlr, *xli) != 0)
                    csign(slr, sli, *xlr, *xli, slr, sli);
                double rr, ri;
                complex_recip(slr, sli, rr, ri);
                scal_split(n - l + 1, rr, ri, xlr, xli, 1);
                *xlr = 1.0 + *xlr;
            }
            slr = std::ldexp(-slr, -k);
            sli = std::ldexp(-sli, -k);
        }
        for (int j = lp1; j <= p; ++j) {
            double* xjr = at(xr, ldx, l, j);
            double* xji = at(xi, ldx, l, j);
            if (l <= nct && cabs1(slr, sli) != 0) {
                const double dr = dotc_real_split(n - l + 1, xlr, xli, 1, xjr, xji, 1);
                const double di = dotc_imag_split(n - l + 1, xlr, xli, 1, xjr, xji, 1);
                double tr, ti;
                complex_div(-dr, -di, *xlr, *xli, tr, ti);
                axpy_split(n - l + 1, tr, ti, xlr, xli, 1, xjr, xji, 1);
            }
            er[j - 1] = *xjr;
            ei[j - 1] = -*xji;
        }
        if (wantu && l <= nct)
            for (int i = l; i <= n; ++i) {
                *at(ur, ldu, i, l) = *at(xr, ldx, i, l);
                *at(ui, ldu, i, l) = *at(xi, ldx, i, l);
            }
        if (l <= nrt) {
            double& elr = er[l - 1];
            double& eli = ei[l - 1];
            elr = nrm2_split(p - l, er + l, ei + l, 1);
            eli = 0;
            int ke = 0;
            if (elr != 0 && elr < small_vector_norm) {
                ke = lift_small_vector(p - l, er + l, elr);
                lift_small_vector(p - l, ei + l, elr);
                elr = nrm2_split(p - l, er + l, ei + l, 1);
            }
            if (cabs1(elr, eli) != 0) {
                if (cabs1(er[l], ei[l]) != 0)
                    csign(elr, eli, er[l], ei[l], elr, eli);
                double rr, ri;
                complex_recip(elr, eli, rr, ri);
                scal_split(p - l, rr, ri, er + l, ei + l, 1);
                er[l] = 1.0 + er[l];
            }
            elr = std::ldexp(elr, -ke);
            eli = std::ldexp(eli, -ke);
            // e(l) = -conj(e(l))
            elr = -elr;
            if (lp1 <= n && cabs1(elr, eli) != 0) {
                for (int i = lp1; i <= n; ++i)
                    workr[i - 1] = worki[i - 1] = 0;
                for (int j = lp1; j <= p; ++j)
                    axpy_split(n - l, er[j - 1], ei[j - 1], at(xr, ldx, lp1, j), at(xi, ldx, lp1, j), 1, workr + l,
                               worki + l, 1);
                for (int j = lp1; j <= p; ++j) {
                    double qr, qi;
                    complex_div(-er[j - 1], -ei[j - 1], er[l], ei[l], qr, qi);
                    axpy_split(n - l, qr, -qi, workr + l, worki + l, 1, at(xr, ldx, lp1, j), at(xi, ldx, lp1, j), 1);
                }
            }
            if (wantv)
                for (int i = lp1; i <= p; ++i) {
                    *at(vr, ldv, i, l) = er[i - 1];
                    *at(vi, ldv, i, l) = ei[i - 1];
                }
        }
    }

    int m = std::min(p, n + 1);
    const int nctp1 = nct + 1, nrtp1 = nrt + 1;
    if (nct < p) {
        sr[nctp1 - 1] = *at(xr, ldx, nctp1, nctp1);
        si[nctp1 - 1] = *at(xi, ldx, nctp1, nctp1);
    }
    if (n < m)
        sr[m - 1] = si[m - 1] = 0;
    if (nrtp1 < m) {
        er[nrtp1 - 1] = *at(xr, ldx, nrtp1, m);
        ei[nrtp1 - 1] = *at(xi, ldx, nrtp1, m);
    }
    er[m - 1] = ei[m - 1] = 0;

    if (wantu) {
        for (int j = nctp1; j <= ncu; ++j) {
            fill_split(n, 0, 0, at(ur, ldu, 1, j), at(ui, ldu, 1, j), 1);
            *at(ur, ldu, j, j) = 1;
        }
        for (int l = nct; l >= 1; --l) {
            double* ulr = at(ur, ldu, l, l);
            double* uli = at(ui, ldu, l, l);
            if (cabs1(sr[l - 1], si[l - 1]) != 0) {
                for (int j = l + 1; j <= ncu; ++j) {
                    double* ujr = at(ur, ldu, l, j);
                    double* uji = at(ui, ldu, l, j);
                    const double dr = dotc_real_split(n - l + 1, ulr, uli, 1, ujr, uji, 1);
                    const double di = dotc_imag_split(n - l + 1, ulr, uli, 1, ujr, uji, 1);
                    double tr, ti;
                    complex_div(-dr, -di, *ulr, *uli, tr, ti);
                    axpy_split(n - l + 1, tr, ti, ulr, uli, 1, ujr, uji, 1);
                }
                scal_real_split(n - l + 1, -1.0, ulr, uli, 1);
                *ulr = 1.0 + *ulr;
                for (int i = 1; i <= l - 1; ++i)
                    *at(ur, ldu, i, l) = *at(ui, ldu, i, l) = 0;
            } else {
                fill_split(n, 0, 0, at(ur, ldu, 1, l), at(ui, ldu, 1, l), 1);
                *at(ur, ldu, l, l) = 1;
            }
        }
    }
    if (wantv) {
        for (int l = p; l >= 1; --l) {
            const int lp1 = l + 1;
            if (l <= nrt && cabs1(er[l - 1], ei[l - 1]) != 0) {
                double* vlr = at(vr, ldv, lp1, l);
                double* vli = at(vi, ldv, lp1, l);
                for (int j = lp1; j <= p; ++j) {
                    double* vjr = at(vr, ldv, lp1, j);
                    double* vji = at(vi, ldv, lp1, j);
                    const double dr = dotc_real_split(p - l, vlr, vli, 1, vjr, vji, 1);
                    const double di = dotc_imag_split(p - l, vlr, vli, 1, vjr, vji, 1);
                    double tr, ti;
                    complex_div(-dr, -di, *vlr, *vli, tr, ti);
                    axpy_split(p - l, tr, ti, vlr, vli, 1, vjr, vji, 1);
                }
            }
            fill_split(p, 0, 0, at(vr, ldv, 1, l), at(vi, ldv, 1, l), 1);
            *at(vr, ldv, l, l) = 1;
        }
    }

    // Make s and e real: divide each non-zero element by its unit-modulus
    // factor, scaling the matching column of U or V.
    for (int i = 1; i <= m; ++i) {
        double& s_r = sr[i - 1];
        double& s_i = si[i - 1];
        if (cabs1(s_r, s_i) != 0) {
            const double t = complex_abs(s_r, s_i);
            const unit_vector3 phase = unit_direction(s_r, s_i, 0.0, t);
            const double rr = phase.a, ri = phase.b;
            s_r = t;
            s_i = 0;
            if (i < m)
                complex_div(er[i - 1], ei[i - 1], rr, ri, er[i - 1], ei[i - 1]);
            if (wantu && i <= ncu)
                scal_split(n, rr, ri, at(ur, ldu, 1, i), at(ui, ldu, 1, i), 1);
        }
        if (i == m)
            break;
        double& e_r = er[i - 1];
        double& e_i = ei[i - 1];
        if (cabs1(e_r, e_i) != 0) {
            const double t = complex_abs(e_r, e_i);
            double rr, ri;
            if (t < 0x1p-500) {
                // conj(e)/|e| from e brought near 1: the division's |e|²
                // would underflow.
                const unit_vector3 phase = unit_direction(e_r, e_i, 0.0, 0.0);
                rr = phase.a;
                ri = -phase.b;
            } else
                complex_div(t, 0, e_r, e_i, rr, ri);
            e_r = t;
            e_i = 0;
            complex_mul(sr[i], si[i], rr, ri, sr[i], si[i]);
            if (wantv)
                scal_split(p, rr, ri, at(vr, ldv, 1, i + 1), at(vi, ldv, 1, i + 1), 1);
        }
    }
    for (int i = 0; i < m; ++i)
        si[i] = ei[i] = 0;

    const split_vectors vec{ur, ui, vr, vi, ldu, ldv, n, p};
    *info = bidiagonal_qr<complex_test>(sr, er, m, n, p, wantu, wantv, vec);
    return 0;
}

// ---- the language function ----

namespace {

// Runs the right kernel on the dense copy x (m-by-n), writing k values into
// sv (real) and the vectors into u (m-by-ucols) and v (n-by-n) when given.
// x is first scaled by a power of two into the middle of the range: the
// complex iteration's products of two entries otherwise fall into the
// subnormal range near 1e-300 (or overflow near 1e300) and take digits
// with them. The vectors are those of the scaled matrix; the values are
// scaled back, exactly unless they leave the normal range.
// The real values alone, from this order on, come from LAPACK's blocked
// bidiagonal reduction (half its work in matrix products) and then the
// same QR iteration: the reduction by columns and rows in turn reads the
// whole matrix twice per step (bench/svd_bench.cpp).
constexpr int blocked_values_order = 64;

// The bidiagonal of the finite real working copy x (m-by-n; reduced in
// place when tall or square, a wide one transposed first, which keeps the
// values) by DGEBRD into s and e, and the iteration's info.
int values_by_blocked_reduction(Mm& x, double* s, double* e)
{
    const bool wide = x.rows() < x.cols();
    const int m = wide ? x.cols() : x.rows(), n = wide ? x.rows() : x.cols();
    scratch<double> transposed{wide ? std::size_t(m) * std::size_t(n) : 0};
    for (int j = 0; wide && j < n; ++j)
        for (int i = 0; i < m; ++i)
            transposed[i + idx(j) * m] = x.addr()[j + idx(i) * n];
    double* a = wide ? transposed.get() : x.addr();
    const int lwork = 64 * (m + n);
    scratch<double> work{std::size_t(lwork) + 2 * std::size_t(n)};
    lapack::gebrd(m, n, a, m, s, e, work.get() + lwork, work.get() + lwork + n, work.get(), lwork);
    e[n - 1] = 0;
    double dummy = 0;
    const real_vectors none{&dummy, &dummy, 1, 1, m, n};
    return bidiagonal_qr<real_test>(s, e, n, m, n, false, false, none);
}

// Reverses the order of the rows, of the columns, or of both of the dense
// matrix x, in place.
void reverse_order(Mm& x, bool rows, bool cols)
{
    const int m = x.rows(), n = x.cols();
    for (double* part : {x.addr(), x.isc() ? x.addi() : nullptr}) {
        if (!part)
            continue;
        if (cols)
            for (int j = 0; j < n / 2; ++j)
                std::swap_ranges(part + idx(j) * m, part + idx(j + 1) * m, part + idx(n - 1 - j) * m);
        if (rows)
            for (int j = 0; j < n; ++j)
                std::reverse(part + idx(j) * m, part + idx(j + 1) * m);
    }
}

// One run of the right kernel on the scaled dense copy x; the values stay
// in the kernel's own scale in s.
int run_kernel_once(Mm& x, int job, double* s, double* e, double* work, Mm* u, Mm* v)
{
    const int m = x.rows(), n = x.cols(), k = std::min(m, n);
    const int ns = std::min(m + 1, n);
    int info = 0;
    const int ldu = m, ldv = n;
    double dummy[2] = {0, 0};
    double* ur = u ? u->addr() : dummy;
    double* vr = v ? v->addr() : dummy;
    if (!x.isc() && job == 0 && k >= blocked_values_order && finite_matrix(x.addr(), m, m, n))
        info = values_by_blocked_reduction(x, s, e);
    else if (!x.isc())
        svd_kernel_real(x.addr(), &m, &m, &n, s, e, ur, &ldu, vr, &ldv, work, &job, &info);
    else {
        double* ui = u ? u->addi() : dummy;
        double* vi = v ? v->addi() : dummy;
        svd_kernel_complex(x.addr(), x.addi(), &m, &m, &n, s, s + ns, e, e + n, ur, ui, &ldu, vr, vi, &ldv, work,
                           work + m, &job, &info);
    }
    return info;
}

// The k values back in a's units, NaN for those a stopped run left.
int finish_values(int info, int k, const double* s, int shift, double* sv)
{
    for (int i = 0; i < k; ++i)
        sv[i] = i < info ? NAN : std::ldexp(s[i], -shift);
    return info;
}

// The values of a (and, with u and v, its factors) through the kernel, on
// a dense copy of a in the kernel's safe range.
int run_kernel(const Mm& a, int job, double* sv, Mm* u, Mm* v)
{
    Mm x = dense_copy(a);
    const int shift = safe_range_exponent(x);
    scale_by_power_of_two(x, shift);
    const int m = x.rows(), n = x.cols(), k = std::min(m, n);
    const int ns = std::min(m + 1, n);
    const int parts = x.isc() ? 2 : 1;
    scratch<double> s(std::size_t(ns) * parts), e(std::size_t(n) * parts), work(std::size_t(m) * parts);
    // The chase always starts at the top of the bidiagonal. Where that end
    // is far below the rest (rows graded from 2^-500 upwards), its first
    // rotation is lost below the doubles, every step leaves the matrix as
    // it was, and the budget runs out. The same matrix with its rows and
    // columns in reverse order has the same values and puts the large end
    // on top; its U and V are those sought with their rows reversed. Only
    // a stopped run pays for a second copy of a.
    int info = run_kernel_once(x, job, s.get(), e.get(), work.get(), u, v);
    if (info > 0 && k > 1) {
        Mm y = dense_copy(a);
        scale_by_power_of_two(y, shift);
        if (!finite_matrix(y.addr(), m, m, n) || (y.isc() && !finite_matrix(y.addi(), m, m, n)))
            return finish_values(info, k, s.get(), shift, sv);
        reverse_order(y, true, true);
        info = run_kernel_once(y, job, s.get(), e.get(), work.get(), u, v);
        if (u)
            reverse_order(*u, true, false);
        if (v)
            reverse_order(*v, true, false);
    }
    return finish_values(info, k, s.get(), shift, sv);
}

void fill_nan(Mm& x)
{
    std::fill(x.addr(), x.addr() + x.size(), NAN);
    if (x.isc())
        std::fill(x.addi(), x.addi() + x.size(), NAN);
}

void svd_outputs(const Mm& a, Mm& U, Mm& S, Mm& V, bool economy)
{
    if (error_2d(a, "svd")) {
        U = x_M;
        S = x_M;
        V = x_M;
        return;
    }
    const int m = a.rows(), n = a.cols();
    if (m == 0 || n == 0) {
        U = nop_M;
        S = nop_M;
        V = nop_M;
        return;
    }
    const int k = std::min(m, n);
    const int c = economy ? k : m, job = economy ? 21 : 11;
    const int complex = a.isc();
    Mm u = new_dense(complex, m, c), v = new_dense(complex, n, n);
    Mm s = checked(czeros(complex, c, n), c, n);
    scratch<double> values{std::size_t(k)};
    const int info = run_kernel(a, job, values.get(), &u, &v);
    for (int i = 0; i < k; ++i)
        s.addr()[i * std::ptrdiff_t(c + 1)] = values[i];
    // A stopped iteration leaves no plausible-looking factors behind.
    if (info > 0) {
        fill_nan(u);
        fill_nan(s);
        fill_nan(v);
    }
    U = u;
    S = s;
    V = v;
}

} // namespace

Mm svd(const Mm& a)
{
    if (error_2d(a, "svd"))
        return x_M;
    const int m = a.rows(), n = a.cols();
    if (m == 0 || n == 0)
        return nop_M;
    Mm s = new_dense(0, std::min(m, n), 1);
    run_kernel(a, 0, s.addr(), nullptr, nullptr);
    return s;
}

Mm svd(const Mm& a, const Mm&) { return svd(a); }

Mm svd(const Mm& a, i_o_t, Mm& U, Mm& S)
{
    Mm V;
    svd_outputs(a, U, S, V, false);
    return x_M;
}

Mm svd(const Mm& a, const Mm&, i_o_t, Mm& U, Mm& S)
{
    Mm V;
    svd_outputs(a, U, S, V, true);
    return x_M;
}

Mm svd(const Mm& a, i_o_t, Mm& U, Mm& S, Mm& V)
{
    svd_outputs(a, U, S, V, false);
    return x_M;
}

Mm svd(const Mm& a, const Mm&, i_o_t, Mm& U, Mm& S, Mm& V)
{
    svd_outputs(a, U, S, V, true);
    return x_M;
}

Mm svd_U(const Mm& a)
{
    Mm U, S, V;
    svd_outputs(a, U, S, V, false);
    return U;
}

Mm svd_S(const Mm& a)
{
    Mm U, S, V;
    svd_outputs(a, U, S, V, false);
    return S;
}

Mm svd_W(const Mm& a)
{
    Mm U, S, V;
    svd_outputs(a, U, S, V, false);
    return V;
}
