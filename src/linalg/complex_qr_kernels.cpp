// The shifted QR iteration on a complex upper Hessenberg matrix left by
// corth: eigenvalues (comqr), eigenvectors (comqr2), and complex_schur_qr,
// whose job code selects how far the same computation goes.
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"

#include <algorithm>
#include <cmath>

namespace {

struct complex_qr_options {
    bool full_rows;     // keep the whole matrix consistent (ranges 1..n)
    bool transforms;    // form and update Z
    bool vectors;       // back substitution to eigenvectors
    bool schur_modulus; // the scaled three-term modulus of complex_schur_qr
    bool reduction_only;  // job 3: stop once Z holds the reduction
};

struct complex_hessenberg {
    matrix_view<double> hr, hi, zr, zi;
    vector_view<double> wr, wi, ortr, orti;
};

// Eigenvectors of the triangular form, carried back through Z.
void back_substitute(const complex_hessenberg& a, std::ptrdiff_t n, std::ptrdiff_t low, std::ptrdiff_t igh)
{
    double norm = 0.0;
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        for (std::ptrdiff_t j = i; j <= n; ++j)
            norm = std::max(norm, std::fabs(a.hr(i, j)) + std::fabs(a.hi(i, j)));
    if (n == 1 || norm == 0.0)
        return;

    for (std::ptrdiff_t en = n; en >= 2; --en) {
        const double xr = a.wr(en), xi = a.wi(en);
        a.hr(en, en) = 1.0;
        a.hi(en, en) = 0.0;
        for (std::ptrdiff_t i = en - 1; i >= 1; --i) {
            double zzr = 0.0, zzi = 0.0;
            for (std::ptrdiff_t j = i + 1; j <= en; ++j) {
                zzr += a.hr(i, j) * a.hr(j, en) - a.hi(i, j) * a.hi(j, en);
                zzi += a.hr(i, j) * a.hi(j, en) + a.hi(i, j) * a.hr(j, en);
            }
            double yr = xr - a.wr(i);
            const double yi = xi - a.wi(i);
            if (yr == 0.0 && yi == 0.0) {
                yr = norm;
                do
                    yr *= 0.01;
                while (norm + yr > norm);
            }
            double cr, ci;
            complex_div(zzr, zzi, yr, yi, cr, ci);
            a.hr(i, en) = cr;
            a.hi(i, en) = ci;
            const double tr = std::fabs(cr) + std::fabs(ci);
            if (tr != 0.0 && tr + 1.0 / tr <= tr)
                for (std::ptrdiff_t j = i; j <= en; ++j) {
                    a.hr(j, en) /= tr;
                    a.hi(j, en) /= tr;
                }
        }
    }

    for (std::ptrdiff_t i = 1; i <= n - 1; ++i)
        if (i < low || i > igh)
            for (std::ptrdiff_t j = i + 1; j <= n; ++j) {
                a.zr(i, j) = a.hr(i, j);
                a.zi(i, j) = a.hi(i, j);
            }

    // Column 1 is never touched: h(1, 1) still holds the first eigenvalue,
    // and its eigenvector is the first column of Z as accumulated.
    for (std::ptrdiff_t j = n; j >= low + 1; --j) {
        const std::ptrdiff_t m = std::min(j, igh);
        for (std::ptrdiff_t i = low; i <= igh; ++i) {
            double zzr = 0.0, zzi = 0.0;
            for (std::ptrdiff_t k = low; k <= m; ++k) {
                zzr += a.zr(i, k) * a.hr(k, j) - a.zi(i, k) * a.hi(k, j);
                zzi += a.zr(i, k) * a.hi(k, j) + a.zi(i, k) * a.hr(k, j);
            }
            a.zr(i, j) = zzr;
            a.zi(i, j) = zzi;
        }
    }
}

constexpr double ulp = machine_eps_value;

// Whether the (real) subdiagonal hr(k, k-1) of the active block low..en is
// negligible, by the tests of LAPACK's complex small-bulge QR: below
// smlnum, or small beside the neighbouring diagonal entries and small
// enough that dropping it moves no eigenvalue of its 2-by-2 by more than an
// ulp. The diagonal is read with the accumulated shift (tr, ti) added back,
// so the tests see the matrix and not the shifted one, whose diagonal
// vanishes where the iteration converges. hi(k, k-1) holds a rotation's
// sine, not a part of the element.
bool negligible_subdiagonal(const complex_hessenberg& a, std::ptrdiff_t k, std::ptrdiff_t low, std::ptrdiff_t en,
                            double tr, double ti, double smlnum) noexcept
{
    const double sub = std::fabs(a.hr(k, k - 1));
    if (sub <= smlnum)
        return true;
    const double kr = a.hr(k, k) + tr, ki = a.hi(k, k) + ti;
    const double k1r = a.hr(k - 1, k - 1) + tr, k1i = a.hi(k - 1, k - 1) + ti;
    const double hkk = std::fabs(kr) + std::fabs(ki);
    double tst = std::fabs(k1r) + std::fabs(k1i) + hkk;
    if (tst == 0.0) {
        if (k - 2 >= low)
            tst += std::fabs(a.hr(k - 1, k - 2));
        if (k + 1 <= en)
            tst += std::fabs(a.hr(k + 1, k));
    }
    if (!(sub <= ulp * tst))
        return false;
    const double sup = std::fabs(a.hr(k - 1, k)) + std::fabs(a.hi(k - 1, k));
    const double ab = std::max(sub, sup), ba = std::min(sub, sup);
    const double diff = std::fabs(a.hr(k - 1, k - 1) - a.hr(k, k)) + std::fabs(a.hi(k - 1, k - 1) - a.hi(k, k));
    const double aa = std::max(hkk, diff), bb = std::min(hkk, diff);
    const double s = aa + ab;
    return ba * (ab / s) <= std::max(smlnum, ulp * (bb * (aa / s)));
}

void complex_hessenberg_qr(const complex_hessenberg& a, std::ptrdiff_t n, std::ptrdiff_t low, std::ptrdiff_t igh,
                           const complex_qr_options& opt, int* ierr)
{
    auto& hr = a.hr;
    auto& hi = a.hi;
    auto& wr = a.wr;
    auto& wi = a.wi;
    *ierr = 0;

    if (opt.transforms) {
        int nm = int(a.hr.ld), order = int(n), lo = int(low), hi = int(igh);
        cortran(&nm, &order, &lo, &hi, a.hr.p, a.hi.p, a.ortr.p, a.orti.p, a.zr.p, a.zi.p);
        if (opt.reduction_only && igh - low - 1 >= 1)
            return;
    }

    // Real subdiagonal elements.
    for (std::ptrdiff_t i = low + 1; i <= igh; ++i) {
        if (hi(i, i - 1) == 0.0)
            continue;
        const double norm = complex_abs(hr(i, i - 1), hi(i, i - 1));
        const unit_vector3 y = unit_direction(hr(i, i - 1), hi(i, i - 1), 0.0, norm);
        const double yr = y.a, yi = y.b;
        hr(i, i - 1) = norm;
        hi(i, i - 1) = 0.0;
        for (std::ptrdiff_t j = i, last = opt.full_rows ? n : igh; j <= last; ++j) {
            const double si = yr * hi(i, j) - yi * hr(i, j);
            hr(i, j) = yr * hr(i, j) + yi * hi(i, j);
            hi(i, j) = si;
        }
        for (std::ptrdiff_t j = opt.full_rows ? 1 : low, last = std::min(i + 1, igh); j <= last; ++j) {
            const double si = yr * hi(j, i) + yi * hr(j, i);
            hr(j, i) = yr * hr(j, i) - yi * hi(j, i);
            hi(j, i) = si;
        }
        if (opt.transforms)
            for (std::ptrdiff_t j = low; j <= igh; ++j) {
                const double si = yr * a.zi(j, i) + yi * a.zr(j, i);
                a.zr(j, i) = yr * a.zr(j, i) - yi * a.zi(j, i);
                a.zi(j, i) = si;
            }
    }

    // Roots isolated by balancing.
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        if (i < low || i > igh) {
            wr(i) = hr(i, i);
            wi(i) = hi(i, i);
        }

    const std::ptrdiff_t nh = igh - low + 1;
    const double smlnum = machine_realmin_value * (double(nh) / ulp);
    const long its_limit = 30L * std::max<std::ptrdiff_t>(10, nh) * eigen_budget_scale;
    std::ptrdiff_t en = igh;
    // The active block holds H - (tr + i ti) on its diagonal.
    double tr = 0.0, ti = 0.0;
    while (en >= low) {
        long its = 0;
        const std::ptrdiff_t enm1 = en - 1;
        for (;;) {
            std::ptrdiff_t l = en;
            for (; l > low; --l)
                if (negligible_subdiagonal(a, l, low, en, tr, ti, smlnum))
                    break;
            if (l > low)
                hr(l, l - 1) = 0.0;
            if (l == en) {  // a root
                wr(en) = hr(en, en) + tr;
                wi(en) = hi(en, en) + ti;
                if (opt.full_rows) {
                    hr(en, en) = wr(en);
                    hi(en, en) = wi(en);
                }
                en = enm1;
                break;
            }
            if (its >= its_limit) {
                *ierr = int(en);
                return;
            }
            ++its;

            double sr, si;
            if (its % 20 == 0) {  // exceptional shift from the bottom
                sr = 0.75 * std::fabs(hr(en, enm1)) + hr(en, en);
                si = hi(en, en);
            } else if (its % 10 == 0) {  // exceptional shift from the top
                sr = 0.75 * std::fabs(hr(l + 1, l)) + hr(l, l);
                si = hi(l, l);
            } else {
                sr = hr(en, en);
                si = hi(en, en);
                double xr = hr(enm1, en) * hr(en, enm1);
                double xi = hi(enm1, en) * hr(en, enm1);
                if (xr != 0.0 || xi != 0.0) {
                    const double yr = (hr(enm1, enm1) - sr) / 2.0;
                    const double yi = (hi(enm1, enm1) - si) / 2.0;
                    double zzr, zzi;
                    complex_sqrt(yr * yr - yi * yi + xr, 2.0 * yr * yi + xi, zzr, zzi);
                    if (yr * zzr + yi * zzi < 0.0) {
                        zzr = -zzr;
                        zzi = -zzi;
                    }
                    double qr, qi;
                    complex_div(xr, xi, yr + zzr, yi + zzi, qr, qi);
                    sr -= qr;
                    si -= qi;
                }
            }
            for (std::ptrdiff_t i = low; i <= en; ++i) {
                hr(i, i) -= sr;
                hi(i, i) -= si;
            }
            tr += sr;
            ti += si;

            // Reduce to triangle (rows).
            for (std::ptrdiff_t i = l + 1; i <= en; ++i) {
                const double s = hr(i, i - 1);
                hr(i, i - 1) = 0.0;
                double norm;
                if (opt.schur_modulus) {
                    const double a1 = hr(i - 1, i - 1), a2 = hi(i - 1, i - 1);
                    const double sc = std::fabs(a1) + std::fabs(a2) + std::fabs(s);
                    norm = sc == 0.0 ? 0.0
                                     : sc * std::sqrt((a1 / sc) * (a1 / sc) + (a2 / sc) * (a2 / sc) + (s / sc) * (s / sc));
                } else
                    norm = complex_abs(complex_abs(hr(i - 1, i - 1), hi(i - 1, i - 1)), s);
                const unit_vector3 x = unit_direction(hr(i - 1, i - 1), hi(i - 1, i - 1), s, norm);
                const double xr = x.a, xi = x.b;
                wr(i - 1) = xr;
                wi(i - 1) = xi;
                hr(i - 1, i - 1) = norm;
                hi(i - 1, i - 1) = 0.0;
                hi(i, i - 1) = x.c;
                const double c = x.c;
                for (std::ptrdiff_t j = i; j <= (opt.full_rows ? n : en); ++j) {
                    const double yr = hr(i - 1, j), yi = hi(i - 1, j);
                    const double zzr = hr(i, j), zzi = hi(i, j);
                    hr(i - 1, j) = xr * yr + xi * yi + c * zzr;
                    hi(i - 1, j) = xr * yi - xi * yr + c * zzi;
                    hr(i, j) = xr * zzr - xi * zzi - c * yr;
                    hi(i, j) = xr * zzi + xi * zzr - c * yi;
                }
            }

            si = hi(en, en);
            if (si != 0.0) {
                const double norm = complex_abs(hr(en, en), si);
                const unit_vector3 d = unit_direction(hr(en, en), si, 0.0, norm);
                sr = d.a;
                si = d.b;
                hr(en, en) = norm;
                hi(en, en) = 0.0;
                if (opt.full_rows)
                    for (std::ptrdiff_t j = en + 1; j <= n; ++j) {
                        const double yr = hr(en, j), yi = hi(en, j);
                        hr(en, j) = sr * yr + si * yi;
                        hi(en, j) = sr * yi - si * yr;
                    }
            }

            // Inverse operation (columns).
            for (std::ptrdiff_t j = l + 1; j <= en; ++j) {
                const double xr = wr(j - 1), xi = wi(j - 1);
                const double c = hi(j, j - 1);
                for (std::ptrdiff_t i = opt.full_rows ? 1 : l; i <= j; ++i) {
                    const double yr = hr(i, j - 1);
                    double yi = 0.0;
                    const double zzr = hr(i, j), zzi = hi(i, j);
                    if (i != j) {
                        yi = hi(i, j - 1);
                        hi(i, j - 1) = xr * yi + xi * yr + c * zzi;
                    }
                    hr(i, j - 1) = xr * yr - xi * yi + c * zzr;
                    hr(i, j) = xr * zzr + xi * zzi - c * yr;
                    hi(i, j) = xr * zzi - xi * zzr - c * yi;
                }
                if (opt.transforms)
                    for (std::ptrdiff_t i = low; i <= igh; ++i) {
                        const double yr = a.zr(i, j - 1), yi = a.zi(i, j - 1);
                        const double zzr = a.zr(i, j), zzi = a.zi(i, j);
                        a.zr(i, j - 1) = xr * yr - xi * yi + c * zzr;
                        a.zi(i, j - 1) = xr * yi + xi * yr + c * zzi;
                        a.zr(i, j) = xr * zzr + xi * zzi - c * yr;
                        a.zi(i, j) = xr * zzi - xi * zzr - c * yi;
                    }
            }

            if (si != 0.0) {
                for (std::ptrdiff_t i = opt.full_rows ? 1 : l; i <= en; ++i) {
                    const double yr = hr(i, en), yi = hi(i, en);
                    hr(i, en) = sr * yr - si * yi;
                    hi(i, en) = sr * yi + si * yr;
                }
                if (opt.transforms)
                    for (std::ptrdiff_t i = low; i <= igh; ++i) {
                        const double yr = a.zr(i, en), yi = a.zi(i, en);
                        a.zr(i, en) = sr * yr - si * yi;
                        a.zi(i, en) = sr * yi + si * yr;
                    }
            }
        }
    }

    if (opt.vectors)
        back_substitute(a, n, low, igh);
}

complex_hessenberg hessenberg_of(int nm, double* hr, double* hi, double* wr, double* wi, double* zr, double* zi,
                                 double* ortr, double* orti)
{
    return {view(hr, nm), view(hi, nm), view(zr, nm), view(zi, nm), view(wr), view(wi), view(ortr), view(orti)};
}

} // namespace

int comqr(const int* nm, const int* n, const int* low, const int* igh, double* hr, double* hi, double* wr, double* wi,
          int* ierr)
{
    complex_hessenberg_qr(hessenberg_of(*nm, hr, hi, wr, wi, nullptr, nullptr, nullptr, nullptr), *n, *low, *igh,
                          {false, false, false, false, false}, ierr);
    return 0;
}

int comqr2(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti, double* hr,
           double* hi, double* wr, double* wi, double* zr, double* zi, int* ierr)
{
    complex_hessenberg_qr(hessenberg_of(*nm, hr, hi, wr, wi, zr, zi, ortr, orti), *n, *low, *igh,
                          {true, true, true, false, false}, ierr);
    return 0;
}

int complex_schur_qr(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti,
                     double* hr, double* hi, double* wr, double* wi, double* zr, double* zi, const int* job,
                     int* ierr)
{
    const complex_qr_options opt{true, *job != 0, *job == 2, true, *job == 3};
    complex_hessenberg_qr(hessenberg_of(*nm, hr, hi, wr, wi, zr, zi, ortr, orti), *n, *low, *igh, opt, ierr);
    return 0;
}
