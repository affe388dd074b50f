// Hermitian eigenproblems: reduction to a real symmetric tridiagonal matrix
// (htridi), its eigenvalues by the implicit QL method (imtql1, imtql2), and
// the back-transformation of the eigenvectors (htribk).
#include "engine/scalar_complex.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"

#include <cmath>

namespace {

// The reduction step of htridi for a matrix with no imaginary part: the
// complex step's real terms in the same order (A·u, p, q = p - hh·u and
// the rank-two update), the imaginary ones all zero and left out.
template <class Matrix, class Vector, class Tau>
void reduce_real(const Matrix& ar, const Vector& e, const Tau& tau, std::ptrdiff_t l, double h, const double* ur,
                 double* gr)
{
    // Column c's terms reach element j >= c only, so once columns k..k+3
    // have given theirs to elements k..k+3, those four sums down the
    // columns can run side by side with the four columns' terms to the
    // elements below: one pass over the four columns, every sum adding in
    // the same order as the column-at-a-time loops.
    std::ptrdiff_t k = 1;
    for (; k + 3 <= l; k += 4) {
        const double *c0 = &ar(1, k), *c1 = &ar(1, k + 1), *c2 = &ar(1, k + 2), *c3 = &ar(1, k + 3);
        const double u0 = ur[k - 1], u1 = ur[k], u2 = ur[k + 1], u3 = ur[k + 2];
        gr[k - 1] += c0[k - 1] * u0;
        gr[k] += c0[k] * u0;
        gr[k] += c1[k] * u1;
        gr[k + 1] += c0[k + 1] * u0;
        gr[k + 1] += c1[k + 1] * u1;
        gr[k + 1] += c2[k + 1] * u2;
        gr[k + 2] += c0[k + 2] * u0;
        gr[k + 2] += c1[k + 2] * u1;
        gr[k + 2] += c2[k + 2] * u2;
        gr[k + 2] += c3[k + 2] * u3;
        double s0 = gr[k - 1], s1 = gr[k], s2 = gr[k + 1], s3 = gr[k + 2];
        s0 += c0[k] * ur[k];
        s0 += c0[k + 1] * ur[k + 1];
        s1 += c1[k + 1] * ur[k + 1];
        s0 += c0[k + 2] * ur[k + 2];
        s1 += c1[k + 2] * ur[k + 2];
        s2 += c2[k + 2] * ur[k + 2];
        for (std::ptrdiff_t m = k + 4; m <= l; ++m) {
            const double x0 = c0[m - 1], x1 = c1[m - 1], x2 = c2[m - 1], x3 = c3[m - 1], um = ur[m - 1];
            double g = gr[m - 1];
            g += x0 * u0;
            g += x1 * u1;
            g += x2 * u2;
            g += x3 * u3;
            gr[m - 1] = g;
            s0 += x0 * um;
            s1 += x1 * um;
            s2 += x2 * um;
            s3 += x3 * um;
        }
        gr[k - 1] = s0;
        gr[k] = s1;
        gr[k + 1] = s2;
        gr[k + 2] = s3;
    }
    for (; k <= l; ++k) {
        const double* ck = &ar(1, k);
        const double uk = ur[k - 1];
        for (std::ptrdiff_t j = k; j <= l; ++j)
            gr[j - 1] += ck[j - 1] * uk;
        double sr = gr[k - 1];
        for (std::ptrdiff_t m = k + 1; m <= l; ++m)
            sr += ck[m - 1] * ur[m - 1];
        gr[k - 1] = sr;
    }
    double f = 0.0;
    for (std::ptrdiff_t j = 1; j <= l; ++j) {
        e(j) = gr[j - 1] / h;
        tau(2, j) = 0.0;
        f += e(j) * ur[j - 1];
    }
    const double hh = f / (h + h);
    for (std::ptrdiff_t j = 1; j <= l; ++j) {
        const double qr = e(j) - hh * ur[j - 1];
        e(j) = qr;
        gr[j - 1] = qr;
    }
    for (std::ptrdiff_t k = 1; k <= l; ++k) {
        double* ck = &ar(1, k);
        const double ek = e(k), uk = ur[k - 1];
        for (std::ptrdiff_t j = k; j <= l; ++j)
            ck[j - 1] = ck[j - 1] - ur[j - 1] * ek - gr[j - 1] * uk;
    }
}

// A row whose part left of the diagonal sums to less than this is set to
// zero. The callers scale the matrix to a largest entry of at least
// 2^-450, so what is dropped is far below its rounding.
constexpr double negligible_row = 0x1p-970;

} // namespace

int htridi(const int* nm, const int* n_p, double* ar_p, double* ai_p, double* d_p, double* e_p, double* e2_p,
           double* tau_p, double* work)
{
    const auto ar = view(ar_p, *nm);
    const auto ai = view(ai_p, *nm);
    const auto tau = view(tau_p, 2);
    const auto d = view(d_p);
    const auto e = view(e_p);
    const auto e2 = view(e2_p);
    const std::ptrdiff_t n = *n_p;

    tau(1, n) = 1.0;
    tau(2, n) = 0.0;
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        d(i) = ar(i, i);
    // The Householder vector and A·u of each step, contiguous (real parts,
    // then imaginary parts, of each).
    double* const u = work;
    double* const g_work = work + 2 * n;
    // With no imaginary part in the lower triangle every imaginary term of
    // the reduction is a zero, and adding a zero changes no sum: the real
    // terms alone give the same values at a quarter of the work.
    bool real_entries = true;
    for (std::ptrdiff_t k = 1; k <= n && real_entries; ++k)
        for (std::ptrdiff_t j = k; j <= n; ++j)
            if (ai(j, k) != 0.0) {
                real_entries = false;
                break;
            }

    for (std::ptrdiff_t i = n; i >= 1; --i) {
        const std::ptrdiff_t l = i - 1;
        double h = 0.0, scale = 0.0;
        for (std::ptrdiff_t k = 1; k <= l; ++k)
            scale += std::fabs(ar(i, k)) + std::fabs(ai(i, k));
        if (scale < negligible_row) {
            // Taken as reduced: a reflection made of subnormal numbers
            // could not be carried back (htribk divides by its norm
            // squared, which underflows).
            for (std::ptrdiff_t k = 1; k <= l; ++k)
                ar(i, k) = ai(i, k) = 0.0;
            scale = 0.0;
        }
        if (l < 1 || scale == 0.0) {
            if (l >= 1) {
                tau(1, l) = 1.0;
                tau(2, l) = 0.0;
            }
            e(i) = 0.0;
            e2(i) = 0.0;
        } else {
            for (std::ptrdiff_t k = 1; k <= l; ++k) {
                ar(i, k) /= scale;
                ai(i, k) /= scale;
                h += ar(i, k) * ar(i, k) + ai(i, k) * ai(i, k);
            }
            e2(i) = scale * scale * h;
            double g = std::sqrt(h);
            e(i) = scale * g;
            double f = complex_abs(ar(i, l), ai(i, l));
            double si;
            bool reduce = true;
            if (f != 0.0) {
                tau(1, l) = (ai(i, l) * tau(2, i) - ar(i, l) * tau(1, i)) / f;
                si = (ar(i, l) * tau(2, i) + ai(i, l) * tau(1, i)) / f;
                h += f * g;
                g = 1.0 + g / f;
                ar(i, l) *= g;
                ai(i, l) *= g;
                reduce = l != 1;
            } else {
                tau(1, l) = -tau(1, i);
                si = tau(2, i);
                ar(i, l) = g;
            }
            if (reduce) {
                // Row i (the Householder vector u) is copied to contiguous
                // storage, and A is walked by columns: column-major storage
                // keeps every inner loop contiguous. Each sum still adds its
                // terms in the order of the row-wise formulation, so the
                // results are those of the row-by-row loops.
                double* ur = u;
                double* ui = u + n;
                for (std::ptrdiff_t k = 1; k <= l; ++k) {
                    ur[k - 1] = ar(i, k);
                    ui[k - 1] = ai(i, k);
                }
                double* gr = g_work;
                double* gi = g_work + n;
                for (std::ptrdiff_t j = 0; j < l; ++j)
                    gr[j] = gi[j] = 0.0;
                if (real_entries)
                    reduce_real(ar, e, tau, l, h, ur, gr);
                else {
                    // Element j of A·u: the terms of row j of the lower
                    // triangle (k <= j), then those of column j below it.
                    for (std::ptrdiff_t k = 1; k <= l; ++k) {
                        const double* ck_r = &ar(1, k);
                        const double* ck_i = &ai(1, k);
                        const double uk_r = ur[k - 1], uk_i = ui[k - 1];
                        for (std::ptrdiff_t j = k; j <= l; ++j) {
                            gr[j - 1] += ck_r[j - 1] * uk_r + ck_i[j - 1] * uk_i;
                            gi[j - 1] += -ck_r[j - 1] * uk_i + ck_i[j - 1] * uk_r;
                        }
                        double sr = gr[k - 1], si_k = gi[k - 1];
                        for (std::ptrdiff_t m = k + 1; m <= l; ++m) {
                            sr += ck_r[m - 1] * ur[m - 1] - ck_i[m - 1] * ui[m - 1];
                            si_k -= ck_r[m - 1] * ui[m - 1] + ck_i[m - 1] * ur[m - 1];
                        }
                        gr[k - 1] = sr;
                        gi[k - 1] = si_k;
                    }
                    f = 0.0;
                    for (std::ptrdiff_t j = 1; j <= l; ++j) {
                        // Element j of p.
                        e(j) = gr[j - 1] / h;
                        tau(2, j) = gi[j - 1] / h;
                        f += e(j) * ar(i, j) - tau(2, j) * ai(i, j);
                    }
                    const double hh = f / (h + h);
                    // q = p - hh·u, kept in e and -tau(2, ·) as before, and in
                    // contiguous copies for the column walk.
                    for (std::ptrdiff_t j = 1; j <= l; ++j) {
                        const double qr = e(j) - hh * ur[j - 1];
                        e(j) = qr;
                        const double qi = tau(2, j) - hh * -ui[j - 1];
                        tau(2, j) = -qi;
                        gr[j - 1] = qr;
                        gi[j - 1] = qi;
                    }
                    // The reduced matrix, column by column.
                    for (std::ptrdiff_t k = 1; k <= l; ++k) {
                        double* ck_r = &ar(1, k);
                        double* ck_i = &ai(1, k);
                        const double ek = e(k), tk = tau(2, k), uk_r = ur[k - 1], uk_i = ui[k - 1];
                        for (std::ptrdiff_t j = k; j <= l; ++j) {
                            const double fr = ur[j - 1], fi = -ui[j - 1], qr = gr[j - 1], qi = gi[j - 1];
                            ck_r[j - 1] = ck_r[j - 1] - fr * ek - qr * uk_r + fi * tk + qi * uk_i;
                            ck_i[j - 1] = ck_i[j - 1] - fr * tk - qr * uk_i - fi * ek - qi * uk_r;
                        }
                    }
                }
            }
            for (std::ptrdiff_t k = 1; k <= l; ++k) {
                ar(i, k) *= scale;
                ai(i, k) *= scale;
            }
            tau(2, l) = -si;
        }
        const double hh = d(i);
        d(i) = ar(i, i);
        ar(i, i) = hh;
        ai(i, i) = scale * std::sqrt(h);
    }
    return 0;
}

int htribk(const int* nm, const int* n_p, const double* ar_p, const double* ai_p, const double* tau_p, const int* m_p,
           double* zr_p, double* zi_p, double* work)
{
    const auto ar = view(ar_p, *nm);
    const auto ai = view(ai_p, *nm);
    const auto tau = view(tau_p, 2);
    const auto zr = view(zr_p, *nm);
    const auto zi = view(zi_p, *nm);
    const std::ptrdiff_t n = *n_p, m = *m_p;
    if (m == 0)
        return 0;
    // Eigenvectors of the real tridiagonal matrix become those of the
    // Hermitian tridiagonal one ...
    for (std::ptrdiff_t j = 1; j <= m; ++j)
        for (std::ptrdiff_t k = 1; k <= n; ++k) {
            zi(k, j) = -zr(k, j) * tau(2, k);
            zr(k, j) *= tau(1, k);
        }
    // ... and the Householder reflections are applied. Each reflection's
    // row of A is read once into contiguous scratch instead of once per
    // column of Z. With no imaginary part anywhere in the reduction (a
    // real symmetric matrix) every imaginary term is a zero, and the real
    // terms alone give the same values.
    bool real_transform = true;
    for (std::ptrdiff_t k = 1; k <= n && real_transform; ++k) {
        real_transform = tau(2, k) == 0.0;
        for (std::ptrdiff_t j = 1; j < k && real_transform; ++j)
            real_transform = ai(k, j) == 0.0;
    }
    double* vr = work;
    double* vi = work + n;
    for (std::ptrdiff_t i = 2; i <= n; ++i) {
        const std::ptrdiff_t l = i - 1;
        const double h = ai(i, i);
        if (h == 0.0)
            continue;
        for (std::ptrdiff_t k = 1; k <= l; ++k) {
            vr[k - 1] = ar(i, k);
            vi[k - 1] = ai(i, k);
        }
        for (std::ptrdiff_t j = 1; j <= m; ++j) {
            double* cr = &zr(1, j);
            double* ci = &zi(1, j);
            if (real_transform) {
                double s = 0.0;
                for (std::ptrdiff_t k = 0; k < l; ++k)
                    s += vr[k] * cr[k];
                s = (s / h) / h;
                for (std::ptrdiff_t k = 0; k < l; ++k)
                    cr[k] += -s * vr[k];
                continue;
            }
            double s = 0.0, si = 0.0;
            for (std::ptrdiff_t k = 0; k < l; ++k) {
                s += vr[k] * cr[k] - vi[k] * ci[k];
                si += vr[k] * ci[k] + vi[k] * cr[k];
            }
            // Two divisions keep s/h² from underflowing.
            s = (s / h) / h;
            si = (si / h) / h;
            for (std::ptrdiff_t k = 0; k < l; ++k) {
                cr[k] += -s * vr[k] - si * vi[k];
                ci[k] += -si * vr[k] + s * vi[k];
            }
        }
    }
    return 0;
}

namespace {

inline double sign_of(double magnitude, double s) noexcept
{
    return s >= 0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// An off-diagonal element below the square root of the underflow bound is
// dropped whatever its neighbours, as LAPACK's tridiagonal QL does. The
// reduction of an all-ones matrix leaves a chain of subnormal elements
// beside equally small diagonal ones, which the test against the
// neighbours never splits and on which a QL step, all of its products
// underflowing, makes no progress; the callers scale the matrix to a
// largest entry of at least 2^-450, far above this.
constexpr double negligible_coupling = 0x1p-511;

// The implicit QL iteration; with z, the rotations are applied to its
// columns. Returns 0 or the index of the eigenvalue that did not converge.
// imtql1 inserts each eigenvalue into the ascending d(1..l) as it is found.
int implicit_ql(std::ptrdiff_t n, double* d_p, double* e_p, const matrix_view<double>* z)
{
    const auto d = view(d_p);
    const auto e = view(e_p);
    if (n == 1)
        return 0;
    for (std::ptrdiff_t i = 2; i <= n; ++i)
        e(i - 1) = e(i);
    e(n) = 0.0;
    const int limit = 30 * eigen_budget_scale;

    for (std::ptrdiff_t l = 1; l <= n; ++l) {
        int j = 0;
        double p;
        for (;;) {
            std::ptrdiff_t m = l;
            for (; m < n; ++m) {
                const double tst1 = std::fabs(d(m)) + std::fabs(d(m + 1));
                if (tst1 + std::fabs(e(m)) == tst1 || std::fabs(e(m)) <= negligible_coupling)
                    break;
            }
            p = d(l);
            if (m == l)
                break;
            if (j >= limit)
                return int(l);
            ++j;
            // The shift.
            double g = (d(l + 1) - p) / (2.0 * e(l));
            double r = complex_abs(g, 1.0);
            g = d(m) - p + e(l) / (g + sign_of(r, g));
            double s = 1.0, c = 1.0;
            p = 0.0;
            bool underflow = false;
            for (std::ptrdiff_t i = m - 1; i >= l; --i) {
                const double f = s * e(i);
                const double b = c * e(i);
                r = complex_abs(f, g);
                e(i + 1) = r;
                if (r == 0.0) {
                    // Recover from underflow.
                    d(i + 1) -= p;
                    e(m) = 0.0;
                    underflow = true;
                    break;
                }
                const unit_vector3 sc = unit_direction(f, g, 0.0, r);
                s = sc.a;
                c = sc.b;
                g = d(i + 1) - p;
                r = (d(i) - g) * s + 2.0 * c * b;
                p = s * r;
                d(i + 1) = g + p;
                g = c * r - b;
                if (z) {
                    double* zi = z->column(i);
                    double* zi1 = z->column(i + 1);
                    for (std::ptrdiff_t k = 0; k < n; ++k) {
                        const double t = zi1[k];
                        zi1[k] = s * zi[k] + c * t;
                        zi[k] = c * zi[k] - s * t;
                    }
                }
            }
            if (underflow)
                continue;
            d(l) -= p;
            e(l) = g;
            e(m) = 0.0;
        }
        if (!z) {
            std::ptrdiff_t i = l;
            for (; i >= 2 && p < d(i - 1); --i)
                d(i) = d(i - 1);
            d(i) = p;
        }
    }
    return 0;
}

} // namespace

int imtql1(const int* n, double* d, double* e, int* ierr)
{
    *ierr = implicit_ql(*n, d, e, nullptr);
    return 0;
}

int imtql2(const int* nm, const int* n_p, double* d_p, double* e, double* z_p, int* ierr)
{
    const auto z = view(z_p, *nm);
    const std::ptrdiff_t n = *n_p;
    *ierr = implicit_ql(n, d_p, e, &z);
    if (*ierr != 0)
        return 0;
    // Selection sort: only a strictly smaller value displaces the current
    // one, so equal eigenvalues keep their order.
    const auto d = view(d_p);
    for (std::ptrdiff_t i = 1; i < n; ++i) {
        std::ptrdiff_t k = i;
        double p = d(i);
        for (std::ptrdiff_t j = i + 1; j <= n; ++j)
            if (d(j) < p) {
                k = j;
                p = d(j);
            }
        if (k == i)
            continue;
        d(k) = d(i);
        d(i) = p;
        double* zi = z.column(i);
        double* zk = z.column(k);
        for (std::ptrdiff_t r = 0; r < n; ++r) {
            const double t = zi[r];
            zi[r] = zk[r];
            zk[r] = t;
        }
    }
    return 0;
}
