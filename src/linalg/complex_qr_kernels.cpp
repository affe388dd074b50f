// The shifted QR iteration on a complex upper Hessenberg matrix left by
// corth: eigenvalues (comqr), eigenvectors (comqr2), and complex_schur_qr,
// whose job code selects how far the same computation goes. Small blocks
// take the single-shift iteration here; given work, larger ones take the
// multishift iteration that the real kernels share (multishift_qr.cpp),
// which finishes its small blocks and deflation windows here too.
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/hessenberg_qr.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"
#include "platform/blas.hpp"

#include <algorithm>
#include <cmath>

// Where the multishift iteration overtakes the single shift
// (bench/complex_qr_kernels_bench.cpp): later for eigenvalues alone, whose
// single shift keeps its updates to the block.
int complex_multishift_values_order = 300;
int complex_multishift_vectors_order = 100;

namespace {

using idx = std::ptrdiff_t;
using field::cplx;
using field::split_view;

constexpr double ulp = machine_eps_value;

// Whether the (real) subdiagonal hr(k, k-1) of the active block low..en is
// negligible, by the tests of LAPACK's complex small-bulge QR: below
// smlnum, or small beside the neighbouring diagonal entries and small
// enough that dropping it moves no eigenvalue of its 2-by-2 by more than an
// ulp. The diagonal is read with the accumulated shift (tr, ti) added back,
// so the tests see the matrix and not the shifted one, whose diagonal
// vanishes where the iteration converges. hi(k, k-1) holds a rotation's
// sine, not a part of the element.
// (Inlined: the search calls it once an element, as the published loop
// tests in place.)
[[gnu::always_inline]] inline bool negligible_subdiagonal(const matrix_view<double>& hr,
                                                           const matrix_view<double>& hi, idx k, idx low, idx en,
                                                           double tr, double ti, double smlnum) noexcept
{
    const double sub = std::fabs(hr(k, k - 1));
    if (sub <= smlnum)
        return true;
    const double kr = hr(k, k) + tr, ki = hi(k, k) + ti;
    const double k1r = hr(k - 1, k - 1) + tr, k1i = hi(k - 1, k - 1) + ti;
    const double hkk = std::fabs(kr) + std::fabs(ki);
    double tst = std::fabs(k1r) + std::fabs(k1i) + hkk;
    if (tst == 0.0) {
        if (k - 2 >= low)
            tst += std::fabs(hr(k - 1, k - 2));
        if (k + 1 <= en)
            tst += std::fabs(hr(k + 1, k));
    }
    if (!(sub <= ulp * tst))
        return false;
    const double sup = std::fabs(hr(k - 1, k)) + std::fabs(hi(k - 1, k));
    const double ab = std::max(sub, sup), ba = std::min(sub, sup);
    const double diff = std::fabs(hr(k - 1, k - 1) - hr(k, k)) + std::fabs(hi(k - 1, k - 1) - hi(k, k));
    const double aa = std::max(hkk, diff), bb = std::min(hkk, diff);
    const double s = aa + ab;
    return ba * (ab / s) <= std::max(smlnum, ulp * (bb * (aa / s)));
}

} // namespace

template <qr_kind Kind>
int single_shift_qr(const complex_qr_problem& pr, std::ptrdiff_t ktop, std::ptrdiff_t kbot)
{
    constexpr bool full = Kind != qr_kind::values;  // the whole matrix is kept consistent
    const matrix_view<double> hr{pr.h.re, pr.h.ld}, hi{pr.h.im, pr.h.ld};
    const matrix_view<double> zr{pr.z.re, pr.z.ld}, zi{pr.z.im, pr.z.ld};
    const auto wr = pr.wr;
    const auto wi = pr.wi;
    const idx n = pr.n, iloz = pr.iloz, ihiz = pr.ihiz;
    const bool three_term = pr.three_term_modulus;

    // Real subdiagonal elements.
    for (idx i = ktop + 1; i <= kbot; ++i) {
        if (hi(i, i - 1) == 0.0)
            continue;
        const double norm = complex_abs(hr(i, i - 1), hi(i, i - 1));
        const unit_vector3 y = unit_direction(hr(i, i - 1), hi(i, i - 1), 0.0, norm);
        const double yr = y.a, yi = y.b;
        hr(i, i - 1) = norm;
        hi(i, i - 1) = 0.0;
        for (idx j = i, last = full ? n : kbot; j <= last; ++j) {
            const double si = yr * hi(i, j) - yi * hr(i, j);
            hr(i, j) = yr * hr(i, j) + yi * hi(i, j);
            hi(i, j) = si;
        }
        for (idx j = full ? 1 : ktop, last = std::min(i + 1, kbot); j <= last; ++j) {
            const double si = yr * hi(j, i) + yi * hr(j, i);
            hr(j, i) = yr * hr(j, i) - yi * hi(j, i);
            hi(j, i) = si;
        }
        for (idx j = iloz; j <= ihiz; ++j) {
            const double si = yr * zi(j, i) + yi * zr(j, i);
            zr(j, i) = yr * zr(j, i) - yi * zi(j, i);
            zi(j, i) = si;
        }
    }

    const idx nh = kbot - ktop + 1;
    const double smlnum = machine_realmin_value * (double(nh) / ulp);
    const long its_limit = 30L * std::max<idx>(10, nh) * eigen_budget_scale;
    idx en = kbot;
    // The active block holds H - (tr + i ti) on its diagonal.
    double tr = 0.0, ti = 0.0;
    while (en >= ktop) {
        long its = 0;
        const idx enm1 = en - 1;
        for (;;) {
            idx l = en;
            for (; l > ktop; --l)
                if (negligible_subdiagonal(hr, hi, l, ktop, en, tr, ti, smlnum))
                    break;
            // A split is an exact zero, the sine kept in its imaginary part
            // included, so that the block structure reads from the matrix.
            if (l > ktop)
                hr(l, l - 1) = hi(l, l - 1) = 0.0;
            if (l == en) {  // a root
                wr(en) = hr(en, en) + tr;
                wi(en) = hi(en, en) + ti;
                if (full) {
                    hr(en, en) = wr(en);
                    hi(en, en) = wi(en);
                }
                en = enm1;
                break;
            }
            if (its >= its_limit) {
                // The block goes back unshifted, a similarity of the one
                // given: its subdiagonal is real, and the rotation sines
                // kept in the imaginary parts are no part of it (a caller
                // that goes on with the form, the multishift iteration's
                // deflation window, would read them as entries).
                for (idx i = ktop; i <= en; ++i) {
                    hr(i, i) += tr;
                    hi(i, i) += ti;
                    if (i > ktop)
                        hi(i, i - 1) = 0.0;
                }
                return int(en);
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
                // The eigenvalue of the trailing 2-by-2 nearer h(en, en):
                // h(en, en) - x/(y + sqrt(y² + x)) with x the product of
                // the off-diagonal pair, y half the diagonal difference.
                // x is carried as u² with u the product of the square
                // roots, and the root is formed scaled: a block of entries
                // near 1e-231 (a graded matrix's last rows) made x
                // underflow to 0, the shift fell back to h(en, en), and
                // the block cycled until the budget ran out; near 1e-274
                // y·root underflowed too, y + root cancelled to 0 and the
                // shift was NaN.
                sr = hr(en, en);
                si = hi(en, en);
                double ar, ai, br, bi;
                complex_sqrt(hr(enm1, en), hi(enm1, en), ar, ai);
                complex_sqrt(hr(en, enm1), 0.0, br, bi);
                const double ur = ar * br - ai * bi, ui = ar * bi + ai * br;
                const double su = std::fabs(ur) + std::fabs(ui);
                if (su != 0.0) {
                    const double yr = (hr(enm1, enm1) - sr) / 2.0;
                    const double yi = (hi(enm1, enm1) - si) / 2.0;
                    const double scale = std::max(su, std::fabs(yr) + std::fabs(yi));
                    const double ysr = yr / scale, ysi = yi / scale, usr = ur / scale, usi = ui / scale;
                    double zzr, zzi;
                    complex_sqrt(ysr * ysr - ysi * ysi + usr * usr - usi * usi, 2.0 * (ysr * ysi + usr * usi), zzr, zzi);
                    // The root on y's side, so that y + root does not
                    // cancel; judged on the scaled parts, whose products
                    // do not underflow to a signless zero.
                    if (ysr * zzr + ysi * zzi < 0.0) {
                        zzr = -zzr;
                        zzi = -zzi;
                    }
                    zzr *= scale;
                    zzi *= scale;
                    double qr, qi;
                    complex_div(ur, ui, yr + zzr, yi + zzi, qr, qi);
                    sr -= ur * qr - ui * qi;
                    si -= ur * qi + ui * qr;
                }
            }
            for (idx i = ktop; i <= en; ++i) {
                hr(i, i) -= sr;
                hi(i, i) -= si;
            }
            tr += sr;
            ti += si;

            // Reduce to triangle (rows).
            for (idx i = l + 1; i <= en; ++i) {
                const double s = hr(i, i - 1);
                hr(i, i - 1) = 0.0;
                double norm;
                if (three_term) {
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
                for (idx j = i; j <= (full ? n : en); ++j) {
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
                if (full)
                    for (idx j = en + 1; j <= n; ++j) {
                        const double yr = hr(en, j), yi = hi(en, j);
                        hr(en, j) = sr * yr + si * yi;
                        hi(en, j) = sr * yi - si * yr;
                    }
            }

            // Inverse operation (columns).
            for (idx j = l + 1; j <= en; ++j) {
                const double xr = wr(j - 1), xi = wi(j - 1);
                const double c = hi(j, j - 1);
                for (idx i = full ? 1 : l; i <= j; ++i) {
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
                if constexpr (full)
                    for (idx i = iloz; i <= ihiz; ++i) {
                        const double yr = zr(i, j - 1), yi = zi(i, j - 1);
                        const double zzr = zr(i, j), zzi = zi(i, j);
                        zr(i, j - 1) = xr * yr - xi * yi + c * zzr;
                        zi(i, j - 1) = xr * yi + xi * yr + c * zzi;
                        zr(i, j) = xr * zzr + xi * zzi - c * yr;
                        zi(i, j) = xr * zzi - xi * zzr - c * yi;
                    }
            }

            if (si != 0.0) {
                for (idx i = full ? 1 : l; i <= en; ++i) {
                    const double yr = hr(i, en), yi = hi(i, en);
                    hr(i, en) = sr * yr - si * yi;
                    hi(i, en) = sr * yi + si * yr;
                }
                if constexpr (full)
                    for (idx i = iloz; i <= ihiz; ++i) {
                        const double yr = zr(i, en), yi = zi(i, en);
                        zr(i, en) = sr * yr - si * yi;
                        zi(i, en) = sr * yi + si * yr;
                    }
            }
        }
    }
    return 0;
}

template int single_shift_qr<qr_kind::values>(const complex_qr_problem&, std::ptrdiff_t, std::ptrdiff_t);
template int single_shift_qr<qr_kind::vectors>(const complex_qr_problem&, std::ptrdiff_t, std::ptrdiff_t);
template int single_shift_qr<qr_kind::schur>(const complex_qr_problem&, std::ptrdiff_t, std::ptrdiff_t);

namespace {

// Columns of Z taken together by the back-transformation of the vectors.
constexpr idx vector_block = 64;

// Eigenvectors of the triangular form, carried back through Z. Each column
// en of the triangle is solved for from the bottom up, the entries above
// the one just found updated by its column (so the triangle is read by
// columns); then Z := Z·(vectors), for a large Z given work (2·n·
// vector_block doubles) a block of columns at a time by matrix products.
void back_substitute(const split_view& h, const split_view& z, const vector_view<double>& wr,
                     const vector_view<double>& wi, idx n, idx low, idx igh, double* work)
{
    double norm = 0.0;
    for (idx j = 1; j <= n; ++j)
        for (idx i = 1; i <= j; ++i)
            norm = std::max(norm, field::abs1(h(i, j)));
    if (n == 1 || norm == 0.0)
        return;

    for (idx en = n; en >= 2; --en) {
        const cplx x{wr(en), wi(en)};
        h(en, en) = 1.0;
        double* cr = &h.re[(en - 1) * h.ld];
        double* ci = &h.im[(en - 1) * h.ld];
        for (idx i = en - 1; i >= 1; --i) {
            cplx y = x - cplx{wr(i), wi(i)};
            const double small = smallest_divisor(std::fabs(x.re) + std::fabs(x.im), n);
            if (std::fabs(y.re) + std::fabs(y.im) < small)
                y = small;
            const double ty = std::fabs(y.re) + std::fabs(y.im), tc = std::fabs(cr[i - 1]) + std::fabs(ci[i - 1]);
            if (ty < 1.0 && tc > ty * divisor_headroom)
                for (idx j = 0; j < en; ++j) {
                    cr[j] /= tc;
                    ci[j] /= tc;
                }
            const cplx c = cplx{cr[i - 1], ci[i - 1]} / y;
            cr[i - 1] = c.re;
            ci[i - 1] = c.im;
            const double tr = std::fabs(c.re) + std::fabs(c.im);
            if (tr != 0.0 && tr + 1.0 / tr <= tr)
                for (idx j = 0; j < en; ++j) {
                    cr[j] /= tr;
                    ci[j] /= tr;
                }
            // The sums of the rows above gain this entry's term.
            const double yr = cr[i - 1], yi = ci[i - 1];
            const double* ar = &h.re[(i - 1) * h.ld];
            const double* ai = &h.im[(i - 1) * h.ld];
            for (idx k = 0; k < i - 1; ++k) {
                cr[k] += ar[k] * yr - ai[k] * yi;
                ci[k] += ar[k] * yi + ai[k] * yr;
            }
        }
    }

    // Rows of roots isolated by balancing take the vectors as they stand,
    // the diagonal too: the overflow guard may have scaled a column's unit
    // there down to nothing (column 1's diagonal holds an eigenvalue, and
    // its vector is e1).
    for (idx i = 1; i <= n; ++i)
        if (i < low || i > igh)
            for (idx j = std::max<idx>(i, 2); j <= n; ++j)
                z(i, j) = h(i, j);

    // Column 1 is never touched: h(1, 1) still holds the first eigenvalue,
    // and its eigenvector is the first column of Z as accumulated. Any
    // other column is, column low included: its diagonal entry is the
    // vector's, which the overflow guard may have scaled, and the rows of
    // isolated roots above it took that scaled vector.
    const idx first = std::max<idx>(low, 2);
    const idx rows = igh - low + 1;
    if (!work || rows <= vector_block) {
        for (idx j = n; j >= first; --j) {
            const idx m = std::min(j, igh);
            for (idx i = low; i <= igh; ++i) {
                cplx acc = 0.0;
                for (idx k = low; k <= m; ++k)
                    acc += z(i, k) * h(k, j);
                z(i, j) = acc;
            }
        }
        return;
    }
    // By blocks of columns from the right, each block's columns of Z·H
    // formed before any is stored; below the diagonal the triangle holds
    // leftovers of the iteration, and zeros there make the columns of Z·H
    // those of Z·(vectors).
    for (idx j = 1; j <= n; ++j)
        for (idx i = j + 1; i <= n; ++i)
            h(i, j) = 0.0;
    for (idx j1 = n; j1 >= first; j1 -= vector_block) {
        const idx j0 = std::max(first, j1 - vector_block + 1), cols = j1 - j0 + 1;
        const split_view w = field::complex_field::carve(work, rows, cols);
        field::gemm('N', 'N', rows, cols, std::min(j1, igh) - low + 1, 1.0, field::corner(z, low, low),
                    field::corner(h, low, j0), 0.0, w);
        field::copy_block(w, field::corner(z, low, j0), rows, cols);
    }
}

struct complex_qr_options {
    qr_kind kind;
    bool transforms;      // form and update Z
    bool vectors;         // back substitution to eigenvectors
    bool three_term;      // the scaled three-term modulus of complex_schur_qr
    bool reduction_only;  // job 3: stop once Z holds the reduction
};

template <qr_kind Kind>
int iterate(const complex_qr_problem& p, idx low, idx igh, double* work)
{
    const int from = Kind == qr_kind::values ? complex_multishift_values_order : complex_multishift_vectors_order;
    return work && igh - low + 1 > from ? multishift_qr<field::complex_field, Kind>(p, low, igh, work)
                                        : single_shift_qr<Kind>(p, low, igh);
}

void complex_hessenberg_qr(int nm, int n, int low, int igh, double* ortr, double* orti, double* hr, double* hi,
                           double* wr, double* wi, double* zr, double* zi, const complex_qr_options& opt, int* ierr,
                           double* work)
{
    *ierr = 0;
    if (opt.transforms) {
        cortran(&nm, &n, &low, &igh, hr, hi, ortr, orti, zr, zi, work);
        if (opt.reduction_only && igh - low - 1 >= 1)
            return;
    }
    const split_view h{hr, hi, nm};
    // Roots isolated by balancing.
    for (idx i = 1; i <= n; ++i)
        if (i < low || i > igh) {
            wr[i - 1] = hr[(i - 1) * (nm + 1)];
            wi[i - 1] = hi[(i - 1) * (nm + 1)];
        }
    // A NaN or an infinity in the block leaves no eigenvalue of it to find:
    // the iteration would only spend its budget.
    for (idx j = low; j <= igh; ++j)
        for (idx i = low; i <= std::min<idx>(j + 1, igh); ++i)
            if (!field::finite(cplx(h(i, j)))) {
                *ierr = igh;
                return;
            }
    const split_view z = opt.transforms ? split_view{zr, zi, nm} : split_view{nullptr, nullptr, nm};
    const complex_qr_problem p{h, z, view(wr), view(wi), n, low, opt.transforms ? igh : low - 1, opt.three_term};
    switch (opt.kind) {
    case qr_kind::values:
        *ierr = iterate<qr_kind::values>(p, low, igh, work);
        break;
    case qr_kind::vectors:
        *ierr = iterate<qr_kind::vectors>(p, low, igh, work);
        break;
    case qr_kind::schur:
        *ierr = iterate<qr_kind::schur>(p, low, igh, work);
        break;
    }
    if (opt.vectors && *ierr == 0)
        back_substitute(h, z, p.wr, p.wi, n, low, igh, work);
}

} // namespace

int complex_qr_work_size(int n)
{
    // Each blocked form has an order at or below which it never runs,
    // whatever the settings: the reduction's panels (more than 32 columns
    // to reduce), the back-transformation by blocks (more than 64 rows) and
    // the multishift iteration (above multishift_order). Small matrices
    // take no work at all, and no time to allocate it.
    const idx m = std::max(n, 1);
    idx size = 0;
    if (m - 1 > hessenberg_block)
        size = hessenberg_work_size(n, true);
    if (m > vector_block)
        size = std::max(size, 2 * m * vector_block);
    if (m > multishift_order)
        size = std::max(size, multishift_work_size<field::complex_field>(m));
    return int(size);
}

int comqr(const int* nm, const int* n, const int* low, const int* igh, double* hr, double* hi, double* wr, double* wi,
          int* ierr, double* work)
{
    complex_hessenberg_qr(*nm, *n, *low, *igh, nullptr, nullptr, hr, hi, wr, wi, nullptr, nullptr,
                          {qr_kind::values, false, false, false, false}, ierr, work);
    return 0;
}

int comqr2(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti, double* hr,
           double* hi, double* wr, double* wi, double* zr, double* zi, int* ierr, double* work)
{
    complex_hessenberg_qr(*nm, *n, *low, *igh, ortr, orti, hr, hi, wr, wi, zr, zi,
                          {qr_kind::vectors, true, true, false, false}, ierr, work);
    return 0;
}

int complex_schur_qr(const int* nm, const int* n, const int* low, const int* igh, double* ortr, double* orti,
                     double* hr, double* hi, double* wr, double* wi, double* zr, double* zi, const int* job,
                     int* ierr, double* work)
{
    const complex_qr_options opt{*job == 2 ? qr_kind::vectors : qr_kind::schur, *job != 0, *job == 2, true,
                                 *job == 3};
    complex_hessenberg_qr(*nm, *n, *low, *igh, ortr, orti, hr, hi, wr, wi, zr, zi, opt, ierr, work);
    return 0;
}
