// The implicit double-shift QR iteration on a real upper Hessenberg matrix:
// eigenvalues (hqr), eigenvectors by back substitution (hqr2), and the real
// Schur form with its basis (real_schur_qr). One iteration body serves all
// three; they differ in the ranges they update. A subdiagonal element is
// dropped by the tests LAPACK's small-bulge QR uses: below a bound near the
// underflow threshold, or small beside its neighbours and small enough that
// dropping it moves no eigenvalue of the 2-by-2 it sits in by more than an
// ulp. Additive tests against the neighbours alone never split a block of
// rounding-level values (all-ones and rank-one matrices leave one), and a
// test against the norm would split [-1e100 -1e100; 1 0] at 1 and lose the
// eigenvalue -1.
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"
#include "linalg/hessenberg_qr.hpp"
#include "platform/blas.hpp"

#include <algorithm>
#include <cmath>

int eigen_budget_scale = 1;
// Where the multishift iteration overtakes the double shift
// (bench/real_qr_kernels_bench.cpp): later for eigenvalues alone, whose
// double shift keeps its updates to the block.
int multishift_values_order = 375;
int multishift_vectors_order = 120;

int real_qr_work_size(int n)
{
    return int(multishift_work_size<field::real_field>(n));
}

namespace {

constexpr double ulp = machine_eps_value;

inline double sign_of(double magnitude, double s) noexcept
{
    return s >= 0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// Whether h(k, k-1) of the active block low..en is negligible; smlnum is
// the absolute bound below which any subdiagonal element is.
bool negligible_subdiagonal(const matrix_view<double>& h, std::ptrdiff_t k, std::ptrdiff_t low, std::ptrdiff_t en,
                            double smlnum) noexcept
{
    const double sub = std::fabs(h(k, k - 1));
    if (sub <= smlnum)
        return true;
    double tst = std::fabs(h(k - 1, k - 1)) + std::fabs(h(k, k));
    if (tst == 0.0) {
        if (k - 2 >= low)
            tst += std::fabs(h(k - 1, k - 2));
        if (k + 1 <= en)
            tst += std::fabs(h(k + 1, k));
    }
    if (!(sub <= ulp * tst))
        return false;
    // Small beside the neighbours: drop it only when the product it forms
    // with h(k-1, k) is small beside the diagonal pair's own terms, so a
    // graded block such as [-1e100 -1e50; 1e50 0] keeps its coupling.
    const double sup = std::fabs(h(k - 1, k));
    const double ab = std::max(sub, sup), ba = std::min(sub, sup);
    const double diff = std::fabs(h(k - 1, k - 1) - h(k, k));
    const double aa = std::max(std::fabs(h(k, k)), diff), bb = std::min(std::fabs(h(k, k)), diff);
    const double s = aa + ab;
    return ba * (ab / s) <= std::max(smlnum, ulp * (bb * (aa / s)));
}

// The two shifts of one double step (rt1r ± i·rt1i or two real ones) from
// the 2-by-2 block [h11 h12; h21 h22]: a complex pair is used as it is; of
// two real eigenvalues the one nearer h22 is used twice.
struct shift_pair {
    double rt1r, rt1i, rt2r, rt2i;
};

shift_pair double_shift(double h11, double h12, double h21, double h22) noexcept
{
    const double s = std::fabs(h11) + std::fabs(h12) + std::fabs(h21) + std::fabs(h22);
    if (s == 0.0)
        return {0.0, 0.0, 0.0, 0.0};
    h11 /= s;
    h12 /= s;
    h21 /= s;
    h22 /= s;
    const double tr = (h11 + h22) / 2.0;
    const double det = (h11 - tr) * (h22 - tr) - h12 * h21;
    const double rtdisc = std::sqrt(std::fabs(det));
    if (det >= 0.0)
        return {tr * s, rtdisc * s, tr * s, -rtdisc * s};
    const double rt1 = tr + rtdisc, rt2 = tr - rtdisc;
    const double rt = (std::fabs(rt1 - h22) <= std::fabs(rt2 - h22) ? rt1 : rt2) * s;
    return {rt, 0.0, rt, 0.0};
}

template <qr_kind Kind>
void real_hessenberg_qr(int nm, int n_in, int low_in, int igh_in, double* h_p, double* wr_p, double* wi_p,
                        double* z_p, int* ierr, double* work)
{
    const real_qr_problem p{view(h_p, nm), view(z_p, nm), view(wr_p), view(wi_p), n_in, low_in, igh_in};
    const std::ptrdiff_t low = low_in, igh = igh_in;
    for (std::ptrdiff_t i = 1; i <= p.n; ++i)
        if (i < low || i > igh) {
            p.wr(i) = p.h(i, i);
            p.wi(i) = 0.0;
        }
    // A NaN or an infinity in the block leaves no eigenvalue of it to find:
    // the iteration would only spend its budget.
    for (std::ptrdiff_t j = low; j <= igh; ++j)
        for (std::ptrdiff_t i = low; i <= std::min(j + 1, igh); ++i)
            if (!std::isfinite(p.h(i, j))) {
                *ierr = int(igh);
                return;
            }
    const std::ptrdiff_t from = Kind == qr_kind::values ? multishift_values_order : multishift_vectors_order;
    *ierr = work && igh - low + 1 > from ? multishift_qr<field::real_field, Kind>(p, low, igh, work) : double_shift_qr<Kind>(p, low, igh);
}

} // namespace

template <qr_kind Kind>
void settle_pair(const real_qr_problem& pr, std::ptrdiff_t en)
{
    constexpr bool full_rows = Kind != qr_kind::values;
    const auto h = pr.h;
    const auto z = pr.z;
    const auto wr = pr.wr;
    const auto wi = pr.wi;
    const std::ptrdiff_t n = pr.n, na = en - 1;
    double x = h(en, en);
    const double y = h(na, na);
    // The eigenvalues x + p ± sqrt(p² + w), p half the diagonal difference
    // and w the product of the off-diagonal pair, formed in units of
    // sc = max(|p|, sqrt|w|): unscaled, p² and w underflowed for a block
    // of entries near 1e-200 beside larger ones, and its pair ±1e-200i
    // came out as a double 0.
    double p = (y - x) / 2.0;
    const double root_w = std::sqrt(std::fabs(h(en, na))) * std::sqrt(std::fabs(h(na, en)));
    const double sc = std::max(std::fabs(p), root_w);
    const double ps = sc == 0.0 ? 0.0 : p / sc, rs = sc == 0.0 ? 0.0 : root_w / sc;
    const double ws = (h(en, na) < 0.0) != (h(na, en) < 0.0) ? -rs * rs : rs * rs;
    const double qs = ps * ps + ws;
    double zz = std::sqrt(std::fabs(qs));
    if (qs < 0.0) {
        wr(na) = x + p;
        wr(en) = x + p;
        wi(na) = zz * sc;
        wi(en) = -zz * sc;
        return;
    }
    const double zs = ps + sign_of(zz, ps);
    zz = zs * sc;
    wr(na) = x + zz;
    wr(en) = zs != 0.0 ? x - (ws / zs) * sc : wr(na);
    wi(na) = 0.0;
    wi(en) = 0.0;
    if (!full_rows)
        return;
    // Rotate the real pair's block to triangular form.
    x = h(en, na);
    const double s = std::fabs(x) + std::fabs(zz);
    p = x / s;
    double q = zz / s;
    const double r = std::sqrt(p * p + q * q);
    p /= r;
    q /= r;
    for (std::ptrdiff_t j = na; j <= n; ++j) {
        zz = h(na, j);
        h(na, j) = q * zz + p * h(en, j);
        h(en, j) = q * h(en, j) - p * zz;
    }
    for (std::ptrdiff_t i = 1; i <= en; ++i) {
        zz = h(i, na);
        h(i, na) = q * zz + p * h(i, en);
        h(i, en) = q * h(i, en) - p * zz;
    }
    for (std::ptrdiff_t i = pr.iloz; i <= pr.ihiz; ++i) {
        zz = z(i, na);
        z(i, na) = q * zz + p * z(i, en);
        z(i, en) = q * z(i, en) - p * zz;
    }
    if (Kind == qr_kind::schur)
        h(en, na) = 0.0;  // what the rotation leaves is rounding
}

template <qr_kind Kind>
int double_shift_qr(const real_qr_problem& pr, std::ptrdiff_t ktop, std::ptrdiff_t kbot)
{
    constexpr bool full_rows = Kind != qr_kind::values;  // the whole matrix is kept consistent
    const auto h = pr.h;
    const auto z = pr.z;
    const auto wr = pr.wr;
    const auto wi = pr.wi;
    const std::ptrdiff_t n = pr.n, low = ktop;

    const std::ptrdiff_t nh = kbot - ktop + 1;
    const double smlnum = machine_realmin_value * (double(nh) / ulp);
    // Iterations allowed for one eigenvalue (or pair); an exceptional
    // shift every tenth breaks the cycles a plain double shift can fall in.
    const long its_limit = 30L * std::max<std::ptrdiff_t>(10, nh) * eigen_budget_scale;

    std::ptrdiff_t en = kbot;
    while (en >= low) {
        long its = 0;
        const std::ptrdiff_t na = en - 1, enm2 = na - 1;
        for (;;) {
            std::ptrdiff_t l = en;
            for (; l > low; --l)
                if (negligible_subdiagonal(h, l, low, en, smlnum))
                    break;
            // A split is an exact zero: later searches see it as one, and
            // a caller finds the Schur form's 2-by-2 blocks by testing it.
            if (l > low)
                h(l, l - 1) = 0.0;
            double x = h(en, en);
            if (l == en) {  // one root
                wr(en) = x;
                wi(en) = 0.0;
                en = na;
                break;
            }
            double y = h(na, na);
            if (l == na) {  // two roots
                settle_pair<Kind>(pr, en);
                en = enm2;
                break;
            }
            if (its >= its_limit)
                return int(en);
            ++its;
            shift_pair sh;
            if (its % 20 == 0) {  // exceptional shift from the bottom
                const double s = std::fabs(h(en, na)) + std::fabs(h(na, enm2));
                const double h11 = 0.75 * s + h(en, en);
                sh = double_shift(h11, -0.4375 * s, s, h11);
            } else if (its % 10 == 0) {  // exceptional shift from the top
                const double s = std::fabs(h(l + 1, l)) + std::fabs(h(l + 2, l + 1));
                const double h11 = 0.75 * s + h(l, l);
                sh = double_shift(h11, -0.4375 * s, s, h11);
            } else
                sh = double_shift(h(na, na), h(na, en), h(en, na), h(en, en));

            // Start the double step at the lowest m where two consecutive
            // subdiagonal elements are small. The first column of
            // (H - rt1)(H - rt2) is formed with a scaling that keeps it
            // clear of underflow, so a block of values near 1e-250 still
            // gets its shifts.
            std::ptrdiff_t m = enm2;
            double p = 0, q = 0, r = 0, zz = 0;
            for (;; --m) {
                zz = h(m, m);
                double s = std::fabs(zz - sh.rt2r) + std::fabs(sh.rt2i) + std::fabs(h(m + 1, m));
                const double h21s = h(m + 1, m) / s;
                p = h21s * h(m, m + 1) + (zz - sh.rt1r) * ((zz - sh.rt2r) / s) - sh.rt1i * (sh.rt2i / s);
                q = h21s * (zz + h(m + 1, m + 1) - sh.rt1r - sh.rt2r);
                r = h21s * h(m + 2, m + 1);
                s = std::fabs(p) + std::fabs(q) + std::fabs(r);
                p /= s;
                q /= s;
                r /= s;
                if (m == l)
                    break;
                const double tst1 = std::fabs(p) * (std::fabs(h(m - 1, m - 1)) + std::fabs(zz) + std::fabs(h(m + 1, m + 1)));
                if (std::fabs(h(m, m - 1)) * (std::fabs(q) + std::fabs(r)) <= ulp * tst1)
                    break;
            }
            for (std::ptrdiff_t i = m + 2; i <= en; ++i) {
                h(i, i - 2) = 0.0;
                if (i != m + 2)
                    h(i, i - 3) = 0.0;
            }

            // Double QR step on rows l..en and columns m..en.
            for (std::ptrdiff_t k = m; k <= na; ++k) {
                const bool notlast = k != na;
                if (k != m) {
                    p = h(k, k - 1);
                    q = h(k + 1, k - 1);
                    r = notlast ? h(k + 2, k - 1) : 0.0;
                    x = std::fabs(p) + std::fabs(q) + std::fabs(r);
                    if (x == 0.0)
                        continue;
                    p /= x;
                    q /= x;
                    r /= x;
                }
                const double s = sign_of(std::sqrt(p * p + q * q + r * r), p);
                if (k != m)
                    h(k, k - 1) = -s * x;
                else if (l != m)
                    h(k, k - 1) = -h(k, k - 1);
                p += s;
                x = p / s;
                y = q / s;
                zz = r / s;
                q /= p;
                r /= p;
                const std::ptrdiff_t last_col = full_rows ? n : en;
                const std::ptrdiff_t first_row = full_rows ? 1 : l;
                const std::ptrdiff_t last_row = std::min(en, k + 3);
                if (!notlast) {
                    for (std::ptrdiff_t j = k; j <= last_col; ++j) {
                        p = h(k, j) + q * h(k + 1, j);
                        h(k, j) -= p * x;
                        h(k + 1, j) -= p * y;
                    }
                    for (std::ptrdiff_t i = first_row; i <= last_row; ++i) {
                        p = x * h(i, k) + y * h(i, k + 1);
                        h(i, k) -= p;
                        h(i, k + 1) -= p * q;
                    }
                    if (full_rows)
                        for (std::ptrdiff_t i = pr.iloz; i <= pr.ihiz; ++i) {
                            p = x * z(i, k) + y * z(i, k + 1);
                            z(i, k) -= p;
                            z(i, k + 1) -= p * q;
                        }
                } else {
                    for (std::ptrdiff_t j = k; j <= last_col; ++j) {
                        p = h(k, j) + q * h(k + 1, j) + r * h(k + 2, j);
                        h(k, j) -= p * x;
                        h(k + 1, j) -= p * y;
                        h(k + 2, j) -= p * zz;
                    }
                    for (std::ptrdiff_t i = first_row; i <= last_row; ++i) {
                        p = x * h(i, k) + y * h(i, k + 1) + zz * h(i, k + 2);
                        h(i, k) -= p;
                        h(i, k + 1) -= p * q;
                        h(i, k + 2) -= p * r;
                    }
                    if (full_rows)
                        for (std::ptrdiff_t i = pr.iloz; i <= pr.ihiz; ++i) {
                            p = x * z(i, k) + y * z(i, k + 1) + zz * z(i, k + 2);
                            z(i, k) -= p;
                            z(i, k + 1) -= p * q;
                            z(i, k + 2) -= p * r;
                        }
                }
            }
        }
    }
    return 0;
}

template int double_shift_qr<qr_kind::values>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t);
template int double_shift_qr<qr_kind::vectors>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t);
template int double_shift_qr<qr_kind::schur>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t);
template void settle_pair<qr_kind::values>(const real_qr_problem&, std::ptrdiff_t);
template void settle_pair<qr_kind::vectors>(const real_qr_problem&, std::ptrdiff_t);
template void settle_pair<qr_kind::schur>(const real_qr_problem&, std::ptrdiff_t);

namespace {

// Eigenvectors of the quasi-triangular form left in h, then carried back
// through z. Runs only when every eigenvalue was found.
void back_substitute(int nm, int n_in, int low_in, int igh_in, double* h_p, const double* wr_p, const double* wi_p,
                     double* z_p)
{
    const auto h = view(h_p, nm);
    const auto z = view(z_p, nm);
    const auto wr = view(wr_p);
    const auto wi = view(wi_p);
    const std::ptrdiff_t n = n_in, low = low_in, igh = igh_in;

    double norm = 0.0;
    for (std::ptrdiff_t i = 1, k = 1; i <= n; k = i, ++i)
        for (std::ptrdiff_t j = k; j <= n; ++j)
            norm += std::fabs(h(i, j));
    if (norm == 0.0)
        return;

    for (std::ptrdiff_t en = n; en >= 1; --en) {
        const double p = wr(en), q = wi(en);
        const std::ptrdiff_t na = en - 1;
        if (q == 0.0) {  // real vector
            std::ptrdiff_t m = en;
            h(en, en) = 1.0;
            double zz = 0, s = 0;
            for (std::ptrdiff_t i = na; i >= 1; --i) {
                const double w = h(i, i) - p;
                double r = 0.0;
                for (std::ptrdiff_t j = m; j <= en; ++j)
                    r += h(i, j) * h(j, en);
                if (wi(i) < 0.0) {
                    zz = w;
                    s = r;
                    continue;
                }
                m = i;
                if (wi(i) == 0.0) {
                    const double small = smallest_divisor(std::fabs(p), n);
                    const double t = std::fabs(w) >= small ? w : w < 0.0 ? -small : small;
                    if (std::fabs(t) < 1.0 && std::fabs(r) > std::fabs(t) * divisor_headroom) {
                        const double f = 1.0 / std::fabs(r);
                        for (std::ptrdiff_t j = i + 1; j <= en; ++j)
                            h(j, en) *= f;
                        r *= f;
                    }
                    h(i, en) = -r / t;
                } else {
                    const double x = h(i, i + 1), y = h(i + 1, i);
                    const double den = (wr(i) - p) * (wr(i) - p) + wi(i) * wi(i);
                    const double t = (x * s - zz * r) / den;
                    h(i, en) = t;
                    h(i + 1, en) = std::fabs(x) > std::fabs(zz) ? (-r - w * t) / x : (-s - y * t) / zz;
                }
                const double t = std::fabs(h(i, en));
                if (t != 0.0 && t + 1.0 / t <= t)
                    for (std::ptrdiff_t j = i; j <= en; ++j)
                        h(j, en) /= t;
            }
        } else if (q < 0.0) {  // complex vector, at the pair's second member
            std::ptrdiff_t m = na;
            // The last component is chosen imaginary, so the vector matrix
            // stays triangular.
            if (std::fabs(h(en, na)) > std::fabs(h(na, en))) {
                h(na, na) = q / h(en, na);
                h(na, en) = -(h(en, en) - p) / h(en, na);
            } else {
                double cr, ci;
                complex_div(0.0, -h(na, en), h(na, na) - p, q, cr, ci);
                h(na, na) = cr;
                h(na, en) = ci;
            }
            h(en, na) = 0.0;
            h(en, en) = 1.0;
            double zz = 0, r = 0, s = 0;
            for (std::ptrdiff_t i = na - 1; i >= 1; --i) {
                const double w = h(i, i) - p;
                double ra = 0.0, sa = 0.0;
                for (std::ptrdiff_t j = m; j <= en; ++j) {
                    ra += h(i, j) * h(j, na);
                    sa += h(i, j) * h(j, en);
                }
                if (wi(i) < 0.0) {
                    zz = w;
                    r = ra;
                    s = sa;
                    continue;
                }
                m = i;
                double cr, ci;
                if (wi(i) == 0.0) {
                    complex_div(-ra, -sa, w, q, cr, ci);
                    h(i, na) = cr;
                    h(i, en) = ci;
                } else {
                    const double x = h(i, i + 1), y = h(i + 1, i);
                    double vr = (wr(i) - p) * (wr(i) - p) + wi(i) * wi(i) - q * q;
                    const double vi = (wr(i) - p) * 2.0 * q;
                    if (vr == 0.0 && vi == 0.0) {
                        // The pair repeated: the determinant of the 2-by-2
                        // shifted block is replaced as a divisor is.
                        const double size = std::fabs(p) + std::fabs(q);
                        vr = std::max(smallest_divisor(size, n) *
                                          (std::fabs(w) + std::fabs(q) + std::fabs(x) + std::fabs(y) + std::fabs(zz)),
                                      smallest_divisor(0.0, n));
                    }
                    complex_div(x * r - zz * ra + q * sa, x * s - zz * sa - q * ra, vr, vi, cr, ci);
                    h(i, na) = cr;
                    h(i, en) = ci;
                    if (std::fabs(x) > std::fabs(zz) + std::fabs(q)) {
                        h(i + 1, na) = (-ra - w * h(i, na) + q * h(i, en)) / x;
                        h(i + 1, en) = (-sa - w * h(i, en) - q * h(i, na)) / x;
                    } else {
                        complex_div(-r - y * h(i, na), -s - y * h(i, en), zz, q, cr, ci);
                        h(i + 1, na) = cr;
                        h(i + 1, en) = ci;
                    }
                }
                const double t = std::max(std::fabs(h(i, na)), std::fabs(h(i, en)));
                if (t != 0.0 && t + 1.0 / t <= t)
                    for (std::ptrdiff_t j = i; j <= en; ++j) {
                        h(j, na) /= t;
                        h(j, en) /= t;
                    }
            }
        }
    }

    // Vectors of the roots isolated by balancing.
    for (std::ptrdiff_t i = 1; i <= n; ++i)
        if (i < low || i > igh)
            for (std::ptrdiff_t j = i; j <= n; ++j)
                z(i, j) = h(i, j);

    // Back through the transformations: z := z·(vectors of the triangle),
    // rows low..igh: the columns past igh from z's columns low..igh, then
    // those in place by the upper triangle.
    const blas_single_thread serial;
    const int rows = int(igh - low + 1), beyond = int(n - igh), ld = nm;
    const double one = 1.0, zero = 0.0;
    if (beyond > 0)
        dgemm_("N", "N", &rows, &beyond, &rows, &one, &z(low, low), &ld, &h(low, igh + 1), &ld, &zero, &z(low, igh + 1),
               &ld, 1, 1);
    dtrmm_("R", "U", "N", "N", &rows, &rows, &one, &h(low, low), &ld, &z(low, low), &ld, 1, 1, 1, 1);
}

} // namespace

int hqr(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi, int* ierr,
        double* work)
{
    real_hessenberg_qr<qr_kind::values>(*nm, *n, *low, *igh, h, wr, wi, nullptr, ierr, work);
    return 0;
}

int hqr2(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi, double* z,
         int* ierr, double* work)
{
    real_hessenberg_qr<qr_kind::vectors>(*nm, *n, *low, *igh, h, wr, wi, z, ierr, work);
    if (*ierr == 0)
        back_substitute(*nm, *n, *low, *igh, h, wr, wi, z);
    return 0;
}

int real_schur_qr(const int* nm, const int* n, const int* low, const int* igh, double* h, double* wr, double* wi,
                  double* z, int* ierr, double* work)
{
    real_hessenberg_qr<qr_kind::schur>(*nm, *n, *low, *igh, h, wr, wi, z, ierr, work);
    return 0;
}
