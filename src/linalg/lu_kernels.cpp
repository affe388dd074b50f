// The dense LU family of kernels in LINPACK's layout: factorisation with
// partial pivoting, solves with the factors, the condition estimate, and the
// complex determinant and inverse. The language functions and the DAE
// integrator call them; they never allocate and never report.
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/kernels.hpp"
#include "linalg/lapack.hpp"
#include "platform/blas_threads.hpp"

#include <cmath>
#include <algorithm>
#include <cstddef>
#include <limits>

namespace {

using idx = std::ptrdiff_t;

// A pivot that compares equal to 0 or is unordered (NaN).
inline bool zero_pivot(double v) noexcept { return !(v < 0 || v > 0); }

inline double cabs1(double re, double im) noexcept { return std::fabs(re) + std::fabs(im); }

// y += t*x over n elements, unit strides.
inline void axpy(int n, double t, const double* x, double* y) noexcept
{
    for (int i = 0; i < n; ++i)
        y[i] += t * x[i];
}

inline double dot(int n, const double* x, const double* y) noexcept
{
    if (n <= 0)
        return 0;
    const int one = 1;
    return ddot_(&n, x, &one, y, &one);
}

inline double asum(int n, const double* x) noexcept
{
    if (n <= 0)
        return 0;
    const int one = 1;
    return dasum_(&n, x, &one);
}

inline void scal(int n, double a, double* x) noexcept
{
    for (int i = 0; i < n; ++i)
        x[i] *= a;
}

// x := -x / p, the multipliers of a column below its pivot p, by one
// reciprocal; a pivot so small that its reciprocal overflows (subnormal)
// divides each element instead, where the product with Inf would turn the
// column's zeros into NaN.
inline void negated_multipliers(int n, double p, double* x) noexcept
{
    const double t = -1.0 / p;
    if (std::isfinite(t))
        scal(n, t, x);
    else
        for (int i = 0; i < n; ++i)
            x[i] = -x[i] / p;
}

inline void negated_multipliers_split(int n, double pr, double pi, double* xr, double* xi) noexcept
{
    double tr, ti;
    complex_div(-1.0, 0.0, pr, pi, tr, ti);
    if (std::isfinite(tr) && std::isfinite(ti))
        scal_split(n, tr, ti, xr, xi, 1);
    else
        for (int i = 0; i < n; ++i)
            complex_div(-xr[i], -xi[i], pr, pi, xr[i], xi[i]);
}

// sign of b applied to |a|, as Fortran's SIGN.
inline double fsign(double a, double b) noexcept { return b >= 0 ? std::fabs(a) : -std::fabs(a); }

} // namespace

namespace {

// LINPACK's elimination steps k = first ... last - 1 (0-based) on the
// columns first ... last - 1 only, over rows k ... n - 1.
void factor_panel(double* a, idx lda, int n, int first, int last, int* ipvt, int* info)
{
    for (int k = first; k < last && k < n - 1; ++k) {
        double* ck = a + k * lda;
        const int l = k + idamax_first(n - k, ck + k, 1) - 1;
        ipvt[k] = l + 1;
        if (zero_pivot(ck[l])) {
            *info = k + 1;
            continue;
        }
        if (l != k) {
            const double t = ck[l];
            ck[l] = ck[k];
            ck[k] = t;
        }
        negated_multipliers(n - k - 1, ck[k], ck + k + 1);
        for (int j = k + 1; j < last; ++j) {
            double* cj = a + j * lda;
            const double t = cj[l];
            if (l != k) {
                cj[l] = cj[k];
                cj[k] = t;
            }
            axpy(n - k - 1, t, ck + k + 1, cj + k + 1);
        }
    }
}

constexpr int lu_block = 48;

} // namespace

int lu_factor_real(double* a, const int* lda_, const int* n_, int* ipvt, int* info)
{
    // The block updates are thin: one BLAS thread.
    const blas_single_thread serial;
    const int n = *n_;
    const idx lda = *lda_;
    *info = 0;
    if (n <= 2 * lu_block)
        factor_panel(a, lda, n, 0, n, ipvt, info);
    else {
        // By panels: each panel by LINPACK's steps, then the columns right of
        // it get the panel's row exchanges and one triangular solve and
        // matrix product in place of its rank-one updates. The product needs
        // the multipliers with their sign and with the later exchanges of
        // the panel applied, where LINPACK keeps them negated and where they
        // were: both are done in place and undone afterwards, bit for bit.
        // A panel that met a zero pivot takes LINPACK's own updates, which
        // skip that column.
        const int ld = int(lda);
        for (int k0 = 0; k0 < n - 1; k0 += lu_block) {
            const int k1 = std::min(k0 + lu_block, n);
            const int kb = k1 - k0, rest = n - k1;
            const int before = *info;
            factor_panel(a, lda, n, k0, k1, ipvt, info);
            if (rest == 0)
                break;
            const int last = std::min(k1, n - 1);
            if (*info != before) {
                for (int j = k1; j < n; ++j) {
                    double* cj = a + j * lda;
                    for (int k = k0; k < last; ++k) {
                        const int l = ipvt[k] - 1;
                        const double t = cj[l];
                        if (l != k) {
                            cj[l] = cj[k];
                            cj[k] = t;
                        }
                        if (!zero_pivot(a[k + k * lda]))
                            axpy(n - k - 1, t, a + k + 1 + k * lda, cj + k + 1);
                    }
                }
                continue;
            }
            auto exchange_earlier = [&](int k) {
                const int l = ipvt[k] - 1;
                if (l != k)
                    for (int c = k0; c < k; ++c)
                        std::swap(a[l + c * lda], a[k + c * lda]);
            };
            for (int c = k0; c < last; ++c)
                scal(n - c - 1, -1.0, a + c + 1 + c * lda);
            for (int k = k0; k < last; ++k) {
                exchange_earlier(k);
                const int l = ipvt[k] - 1;
                if (l != k)
                    for (int j = k1; j < n; ++j)
                        std::swap(a[l + j * lda], a[k + j * lda]);
            }
            const double one = 1, minus_one = -1;
            double* a11 = a + k0 + k0 * lda;
            double* a12 = a + k0 + k1 * lda;
            double* a21 = a + k1 + k0 * lda;
            double* a22 = a + k1 + k1 * lda;
            dtrsm_("L", "L", "N", "U", &kb, &rest, &one, a11, &ld, a12, &ld, 1, 1, 1, 1);
            dgemm_("N", "N", &rest, &rest, &kb, &minus_one, a21, &ld, a12, &ld, &one, a22, &ld, 1, 1);
            for (int k = last - 1; k >= k0; --k)
                exchange_earlier(k);
            for (int c = k0; c < last; ++c)
                scal(n - c - 1, -1.0, a + c + 1 + c * lda);
        }
    }
    ipvt[n - 1] = n;
    if (zero_pivot(a[(n - 1) + (n - 1) * lda]))
        *info = n;
    return 0;
}

int lu_solve_real(const double* a, const int* lda_, const int* n_, const int* ipvt, double* b, const int* job)
{
    const int n = *n_;
    const idx lda = *lda_;
    if (*job == 0) {
        // L y = b: the row exchanges and the negated multipliers in turn.
        for (int k = 0; k < n - 1; ++k) {
            const int l = ipvt[k] - 1;
            const double t = b[l];
            if (l != k) {
                b[l] = b[k];
                b[k] = t;
            }
            axpy(n - k - 1, t, a + k + 1 + k * lda, b + k + 1);
        }
        // U x = y by columns from the last.
        for (int k = n - 1; k >= 0; --k) {
            b[k] /= a[k + k * lda];
            axpy(k, -b[k], a + k * lda, b);
        }
        return 0;
    }
    // U.' y = b, then L.' x = y.
    for (int k = 0; k < n; ++k) {
        const double t = dot(k, a + k * lda, b);
        b[k] = (b[k] - t) / a[k + k * lda];
    }
    for (int k = n - 2; k >= 0; --k) {
        b[k] += dot(n - k - 1, a + k + 1 + k * lda, b + k + 1);
        const int l = ipvt[k] - 1;
        if (l != k) {
            const double t = b[l];
            b[l] = b[k];
            b[k] = t;
        }
    }
    return 0;
}

int lu_factor_split(double* ar, double* ai, const int* lda_, const int* n_, int* ipvt, int* info)
{
    const int n = *n_;
    const idx lda = *lda_;
    *info = 0;
    for (int k = 0; k < n - 1; ++k) {
        double* kr = ar + k * lda;
        double* ki = ai + k * lda;
        const int l = k + izamax_split(n - k, kr + k, ki + k, 1) - 1;
        ipvt[k] = l + 1;
        if (zero_pivot(cabs1(kr[l], ki[l]))) {
            *info = k + 1;
            continue;
        }
        if (l != k) {
            std::swap(kr[l], kr[k]);
            std::swap(ki[l], ki[k]);
        }
        negated_multipliers_split(n - k - 1, kr[k], ki[k], kr + k + 1, ki + k + 1);
        for (int j = k + 1; j < n; ++j) {
            double* jr = ar + j * lda;
            double* ji = ai + j * lda;
            const double sr = jr[l], si = ji[l];
            if (l != k) {
                jr[l] = jr[k];
                ji[l] = ji[k];
                jr[k] = sr;
                ji[k] = si;
            }
            axpy_split(n - k - 1, sr, si, kr + k + 1, ki + k + 1, 1, jr + k + 1, ji + k + 1, 1);
        }
    }
    ipvt[n - 1] = n;
    const idx last = (n - 1) + (n - 1) * lda;
    if (zero_pivot(cabs1(ar[last], ai[last])))
        *info = n;
    return 0;
}

bool sound_real_factors(int n, const double* f) noexcept
{
    double acc = 0;
    for (idx k = 0; k < idx(n) * n; ++k)
        acc += f[k] - f[k];
    if (acc != 0)
        return false;
    for (int k = 0; k < n; ++k) {
        const double p = std::fabs(f[k + idx(k) * n]);
        if (p != 0 && p < std::numeric_limits<double>::min())
            return false;
    }
    return true;
}

bool sound_blocked_factors(int n, const double* z) noexcept
{
    const idx count = 2 * idx(n) * n;
    double acc = 0;
    for (idx k = 0; k < count; ++k)
        acc += z[k] - z[k];
    if (acc != 0)
        return false;
    for (int k = 0; k < n; ++k) {
        const double* p = z + 2 * (k + idx(k) * n);
        if (!(cabs1(p[0], p[1]) >= std::numeric_limits<double>::min()))
            return false;
    }
    return true;
}

int lu_factor_split_work(double* ar, double* ai, const int* lda_, const int* n_, int* ipvt, int* info, double* work)
{
    const int n = *n_;
    const idx lda = *lda_;
    if (n < lu_split_blocked_order || !finite_split(n, n, ar, ai, lda))
        return lu_factor_split(ar, ai, lda_, n_, ipvt, info);
    interleave_split(n, n, ar, ai, lda, work, n);
    // An exactly zero pivot: the column kernel answers, from the untouched
    // a, so a singular matrix keeps the factors and info it always had. So
    // it does where a pivot is below the normal range or the factors
    // overflowed: the blocked code multiplies by a pivot's reciprocal,
    // which there is Inf, and the zeros it meets become NaN.
    if (lapack::zgetrf(n, n, work, n, ipvt) != 0 || !sound_blocked_factors(n, work))
        return lu_factor_split(ar, ai, lda_, n_, ipvt, info);
    deinterleave_split(n, n, work, n, ar, ai, lda);
    // ZGETRF exchanges whole rows; LINPACK leaves the multipliers of
    // earlier steps where they stood: column k takes back the exchanges of
    // the steps after k, the last first, and its multipliers are negated.
    // Column by column, so each column is walked while it is in cache.
    *info = 0;
    for (int k = 0; k < n; ++k) {
        double* cr = ar + k * lda;
        double* ci = ai + k * lda;
        for (int j = n - 1; j > k; --j) {
            const int l = ipvt[j] - 1;
            if (l != j) {
                std::swap(cr[j], cr[l]);
                std::swap(ci[j], ci[l]);
            }
        }
        for (int i = k + 1; i < n; ++i) {
            cr[i] = -cr[i];
            ci[i] = -ci[i];
        }
        if (zero_pivot(cabs1(cr[k], ci[k])))
            *info = k + 1;
    }
    return 0;
}

int lu_solve_split(const double* ar, const double* ai, const int* lda_, const int* n_, const int* ipvt, double* br,
                   double* bi, const int* job)
{
    const int n = *n_;
    const idx lda = *lda_;
    if (*job == 0) {
        for (int k = 0; k < n - 1; ++k) {
            const int l = ipvt[k] - 1;
            const double tr = br[l], ti = bi[l];
            if (l != k) {
                br[l] = br[k];
                bi[l] = bi[k];
                br[k] = tr;
                bi[k] = ti;
            }
            axpy_split(n - k - 1, tr, ti, ar + k + 1 + k * lda, ai + k + 1 + k * lda, 1, br + k + 1, bi + k + 1, 1);
        }
        for (int k = n - 1; k >= 0; --k) {
            complex_div(br[k], bi[k], ar[k + k * lda], ai[k + k * lda], br[k], bi[k]);
            axpy_split(k, -br[k], -bi[k], ar + k * lda, ai + k * lda, 1, br, bi, 1);
        }
        return 0;
    }
    // U' y = b, then L' x = y (conjugate transposes).
    for (int k = 0; k < n; ++k) {
        const idx c = k * lda;
        const double tr = dotc_real_split(k, ar + c, ai + c, 1, br, bi, 1);
        const double ti = dotc_imag_split(k, ar + c, ai + c, 1, br, bi, 1);
        complex_div(br[k] - tr, bi[k] - ti, ar[k + c], -ai[k + c], br[k], bi[k]);
    }
    for (int k = n - 2; k >= 0; --k) {
        const idx c = k + 1 + k * lda;
        br[k] += dotc_real_split(n - k - 1, ar + c, ai + c, 1, br + k + 1, bi + k + 1, 1);
        bi[k] += dotc_imag_split(n - k - 1, ar + c, ai + c, 1, br + k + 1, bi + k + 1, 1);
        const int l = ipvt[k] - 1;
        if (l != k) {
            std::swap(br[l], br[k]);
            std::swap(bi[l], bi[k]);
        }
    }
    return 0;
}

int rcond_real(double* a, const int* lda_, const int* n_, int* ipvt, double* rcond, double* z)
{
    const int n = *n_;
    const idx lda = *lda_;
    double anorm = 0;
    for (int j = 0; j < n; ++j)
        anorm = max_ignore_nan(anorm, asum(n, a + j * lda));
    int info = 0;
    lu_factor_real(a, lda_, n_, ipvt, &info);
    auto at = [&](int i, int j) -> double& { return a[i + j * lda]; };

    // Solve U.' w = e, the signs of e chosen to make w grow.
    double ek = 1;
    for (int j = 0; j < n; ++j)
        z[j] = 0;
    for (int k = 0; k < n; ++k) {
        if (z[k] != 0)
            ek = fsign(ek, -z[k]);
        if (std::fabs(ek - z[k]) > std::fabs(at(k, k))) {
            const double s = std::fabs(at(k, k)) / std::fabs(ek - z[k]);
            scal(n, s, z);
            ek *= s;
        }
        double wk = ek - z[k], wkm = -ek - z[k];
        double s = std::fabs(wk), sm = std::fabs(wkm);
        if (at(k, k) != 0) {
            wk /= at(k, k);
            wkm /= at(k, k);
        } else {
            wk = 1;
            wkm = 1;
        }
        for (int j = k + 1; j < n; ++j) {
            sm += std::fabs(z[j] + wkm * at(k, j));
            z[j] += wk * at(k, j);
            s += std::fabs(z[j]);
        }
        if (s < sm) {
            const double t = wkm - wk;
            wk = wkm;
            for (int j = k + 1; j < n; ++j)
                z[j] += t * at(k, j);
        }
        z[k] = wk;
    }
    scal(n, 1 / asum(n, z), z);

    // Solve L.' y = w.
    for (int k = n - 1; k >= 0; --k) {
        if (k < n - 1)
            z[k] += dot(n - k - 1, &at(k + 1, k), z + k + 1);
        if (std::fabs(z[k]) > 1)
            scal(n, 1 / std::fabs(z[k]), z);
        const int l = ipvt[k] - 1;
        const double t = z[l];
        z[l] = z[k];
        z[k] = t;
    }
    scal(n, 1 / asum(n, z), z);
    double ynorm = 1;

    // Solve L v = y.
    for (int k = 0; k < n; ++k) {
        const int l = ipvt[k] - 1;
        const double t = z[l];
        z[l] = z[k];
        z[k] = t;
        if (k < n - 1)
            axpy(n - k - 1, t, &at(k + 1, k), z + k + 1);
        if (std::fabs(z[k]) > 1) {
            const double s = 1 / std::fabs(z[k]);
            scal(n, s, z);
            ynorm *= s;
        }
    }
    double s = 1 / asum(n, z);
    scal(n, s, z);
    ynorm *= s;

    // Solve U z = v.
    for (int k = n - 1; k >= 0; --k) {
        if (std::fabs(z[k]) > std::fabs(at(k, k))) {
            const double r = std::fabs(at(k, k)) / std::fabs(z[k]);
            scal(n, r, z);
            ynorm *= r;
        }
        if (at(k, k) != 0)
            z[k] /= at(k, k);
        else
            z[k] = 1;
        axpy(k, -z[k], a + k * lda, z);
    }
    s = 1 / asum(n, z);
    scal(n, s, z);
    ynorm *= s;
    *rcond = anorm != 0 ? ynorm / anorm : 0;
    return 0;
}

namespace {

// |z1| in the 1-norm with the direction of z2 (LINPACK's CSIGN1).
inline void csign1(double z1r, double z1i, double z2r, double z2i, double& outr, double& outi) noexcept
{
    const double m = cabs1(z1r, z1i), d = cabs1(z2r, z2i);
    outr = m * (z2r / d);
    outi = m * (z2i / d);
}

// LINPACK's estimate, the factors from lu_factor_split_work when work is
// given, else from lu_factor_split.
int condition_split(double* ar, double* ai, const int* lda_, const int* n_, int* ipvt, double* rcond, double* zr,
                    double* zi, double* work)
{
    const int n = *n_;
    const idx lda = *lda_;
    double anorm = 0;
    for (int j = 0; j < n; ++j)
        anorm = max_ignore_nan(anorm, asum_split(n, ar + j * lda, ai + j * lda, 1));
    int info = 0;
    if (work != nullptr)
        lu_factor_split_work(ar, ai, lda_, n_, ipvt, &info, work);
    else
        lu_factor_split(ar, ai, lda_, n_, ipvt, &info);
    auto re = [&](int i, int j) -> double& { return ar[i + j * lda]; };
    auto im = [&](int i, int j) -> double& { return ai[i + j * lda]; };
    auto zscal_real = [&](double s) { scal_real_split(n, s, zr, zi, 1); };

    // Solve U' w = e.
    double ekr = 1, eki = 0;
    for (int j = 0; j < n; ++j)
        zr[j] = zi[j] = 0;
    for (int k = 0; k < n; ++k) {
        if (cabs1(zr[k], zi[k]) != 0)
            csign1(ekr, eki, -zr[k], -zi[k], ekr, eki);
        const double akk = cabs1(re(k, k), im(k, k));
        if (cabs1(ekr - zr[k], eki - zi[k]) > akk) {
            const double s = akk / cabs1(ekr - zr[k], eki - zi[k]);
            zscal_real(s);
            ekr *= s;
            eki *= s;
        }
        double wkr = ekr - zr[k], wki = eki - zi[k];
        double wkmr = -ekr - zr[k], wkmi = -eki - zi[k];
        double s = cabs1(wkr, wki), sm = cabs1(wkmr, wkmi);
        if (akk != 0) {
            // divide by conj(a(k,k))
            complex_div(wkr, wki, re(k, k), -im(k, k), wkr, wki);
            complex_div(wkmr, wkmi, re(k, k), -im(k, k), wkmr, wkmi);
        } else {
            wkr = 1;
            wki = 0;
            wkmr = 1;
            wkmi = 0;
        }
        for (int j = k + 1; j < n; ++j) {
            const double cr = re(k, j), ci = -im(k, j);  // conj(a(k,j))
            sm += cabs1(zr[j] + (wkmr * cr - wkmi * ci), zi[j] + (wkmr * ci + wkmi * cr));
            zr[j] += wkr * cr - wki * ci;
            zi[j] += wkr * ci + wki * cr;
            s += cabs1(zr[j], zi[j]);
        }
        if (s < sm) {
            const double tr = wkmr - wkr, ti = wkmi - wki;
            wkr = wkmr;
            wki = wkmi;
            for (int j = k + 1; j < n; ++j) {
                const double cr = re(k, j), ci = -im(k, j);
                zr[j] += tr * cr - ti * ci;
                zi[j] += tr * ci + ti * cr;
            }
        }
        zr[k] = wkr;
        zi[k] = wki;
    }
    zscal_real(1 / asum_split(n, zr, zi, 1));

    // Solve L' y = w.
    for (int k = n - 1; k >= 0; --k) {
        if (k < n - 1) {
            const idx c = k + 1 + k * lda;
            const double dr = dotc_real_split(n - k - 1, ar + c, ai + c, 1, zr + k + 1, zi + k + 1, 1);
            const double di = dotc_imag_split(n - k - 1, ar + c, ai + c, 1, zr + k + 1, zi + k + 1, 1);
            zr[k] += dr;
            zi[k] += di;
        }
        if (cabs1(zr[k], zi[k]) > 1)
            zscal_real(1 / cabs1(zr[k], zi[k]));
        const int l = ipvt[k] - 1;
        std::swap(zr[l], zr[k]);
        std::swap(zi[l], zi[k]);
    }
    zscal_real(1 / asum_split(n, zr, zi, 1));
    double ynorm = 1;

    // Solve L v = y.
    for (int k = 0; k < n; ++k) {
        const int l = ipvt[k] - 1;
        const double tr = zr[l], ti = zi[l];
        zr[l] = zr[k];
        zi[l] = zi[k];
        zr[k] = tr;
        zi[k] = ti;
        if (k < n - 1) {
            const idx c = k + 1 + k * lda;
            axpy_split(n - k - 1, tr, ti, ar + c, ai + c, 1, zr + k + 1, zi + k + 1, 1);
        }
        if (cabs1(zr[k], zi[k]) > 1) {
            const double s = 1 / cabs1(zr[k], zi[k]);
            zscal_real(s);
            ynorm *= s;
        }
    }
    double s = 1 / asum_split(n, zr, zi, 1);
    zscal_real(s);
    ynorm *= s;

    // Solve U z = v.
    for (int k = n - 1; k >= 0; --k) {
        const double akk = cabs1(re(k, k), im(k, k));
        if (cabs1(zr[k], zi[k]) > akk) {
            const double r = akk / cabs1(zr[k], zi[k]);
            zscal_real(r);
            ynorm *= r;
        }
        if (akk != 0)
            complex_div(zr[k], zi[k], re(k, k), im(k, k), zr[k], zi[k]);
        else {
            zr[k] = 1;
            zi[k] = 0;
        }
        axpy_split(k, -zr[k], -zi[k], ar + k * lda, ai + k * lda, 1, zr, zi, 1);
    }
    s = 1 / asum_split(n, zr, zi, 1);
    zscal_real(s);
    ynorm *= s;
    *rcond = anorm != 0 ? ynorm / anorm : 0;
    return 0;
}

} // namespace

int rcond_split(double* ar, double* ai, const int* lda, const int* n, int* ipvt, double* rcond, double* zr,
                double* zi)
{
    return condition_split(ar, ai, lda, n, ipvt, rcond, zr, zi, nullptr);
}

int rcond_split_work(double* ar, double* ai, const int* lda, const int* n, int* ipvt, double* rcond, double* zr,
                     double* zi, double* work)
{
    return condition_split(ar, ai, lda, n, ipvt, rcond, zr, zi, work);
}

int det_inv_split(double* ar, double* ai, const int* lda_, const int* n_, const int* ipvt, double* detr,
                  double* deti, double* workr, double* worki, const int* job)
{
    const int n = *n_;
    const idx lda = *lda_;
    if ((*job / 10) % 10 != 0) {
        // det(1) in base 16 with det(2) its exponent; 1 <= |det(1)| < 16.
        detr[0] = 1;
        deti[0] = 0;
        detr[1] = 0;
        deti[1] = 0;
        for (int k = 0; k < n; ++k) {
            if (ipvt[k] != k + 1) {
                detr[0] = -detr[0];
                deti[0] = -deti[0];
            }
            complex_mul(ar[k + k * lda], ai[k + k * lda], detr[0], deti[0], detr[0], deti[0]);
            double m = cabs1(detr[0], deti[0]);
            if (zero_pivot(m))
                break;
            while (m < 1) {
                detr[0] *= 16;
                deti[0] *= 16;
                detr[1] -= 1;
                m = cabs1(detr[0], deti[0]);
            }
            while (m >= 16 && std::isfinite(m)) {
                detr[0] /= 16;
                deti[0] /= 16;
                detr[1] += 1;
                m = cabs1(detr[0], deti[0]);
            }
        }
    }
    if (*job % 10 == 0)
        return 0;
    // inverse(U) in place.
    for (int k = 0; k < n; ++k) {
        const idx kk = k + k * lda;
        complex_recip(ar[kk], ai[kk], ar[kk], ai[kk]);
        scal_split(k, -ar[kk], -ai[kk], ar + k * lda, ai + k * lda, 1);
        for (int j = k + 1; j < n; ++j) {
            const idx kj = k + j * lda;
            const double tr = ar[kj], ti = ai[kj];
            ar[kj] = 0;
            ai[kj] = 0;
            axpy_split(k + 1, tr, ti, ar + k * lda, ai + k * lda, 1, ar + j * lda, ai + j * lda, 1);
        }
    }
    // inverse(U) * inverse(L), the column exchanges undone in reverse order.
    for (int k = n - 2; k >= 0; --k) {
        for (int i = k + 1; i < n; ++i) {
            workr[i] = ar[i + k * lda];
            worki[i] = ai[i + k * lda];
            ar[i + k * lda] = 0;
            ai[i + k * lda] = 0;
        }
        for (int j = k + 1; j < n; ++j)
            axpy_split(n, workr[j], worki[j], ar + j * lda, ai + j * lda, 1, ar + k * lda, ai + k * lda, 1);
        const int l = ipvt[k] - 1;
        if (l != k)
            swap_split(n, ar + k * lda, ai + k * lda, 1, ar + l * lda, ai + l * lda, 1);
    }
    return 0;
}
