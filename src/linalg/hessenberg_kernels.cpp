// Reduction of rows and columns low..igh to upper Hessenberg form:
// elementary similarities (elmhes, eltran), Householder reflections
// (orthes, ortran) and their complex form (corth).
#include "engine/scalar_complex.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"

#include <algorithm>
#include <cmath>

namespace {

// Rows updated together by the right-hand Householder updates.
constexpr std::ptrdiff_t row_block = 16;

void set_identity(const matrix_view<double>& z, int n)
{
    for (std::ptrdiff_t j = 1; j <= n; ++j) {
        for (std::ptrdiff_t i = 1; i <= n; ++i)
            z(i, j) = 0.0;
        z(j, j) = 1.0;
    }
}

// For each of the cols columns c (length len, leading dimension ld):
// s = u'·c summed in element order, then c += scaled(s)·u. The sums are
// sequential chains, so four columns go side by side; each column's
// arithmetic is what it would be alone.
template <class Scale>
void reflect_columns(const double* u, std::ptrdiff_t len, double* c, std::ptrdiff_t ld, std::ptrdiff_t cols,
                     Scale&& scaled)
{
    std::ptrdiff_t j = 0;
    for (; j + 4 <= cols; j += 4) {
        double* c0 = c + j * ld;
        double* c1 = c0 + ld;
        double* c2 = c1 + ld;
        double* c3 = c2 + ld;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (std::ptrdiff_t i = 0; i < len; ++i) {
            s0 += u[i] * c0[i];
            s1 += u[i] * c1[i];
            s2 += u[i] * c2[i];
            s3 += u[i] * c3[i];
        }
        s0 = scaled(s0);
        s1 = scaled(s1);
        s2 = scaled(s2);
        s3 = scaled(s3);
        for (std::ptrdiff_t i = 0; i < len; ++i) {
            c0[i] += s0 * u[i];
            c1[i] += s1 * u[i];
            c2[i] += s2 * u[i];
            c3[i] += s3 * u[i];
        }
    }
    for (; j < cols; ++j) {
        double* cj = c + j * ld;
        double s = 0.0;
        for (std::ptrdiff_t i = 0; i < len; ++i)
            s += u[i] * cj[i];
        s = scaled(s);
        for (std::ptrdiff_t i = 0; i < len; ++i)
            cj[i] += s * u[i];
    }
}

// A column whose part below the diagonal sums to less than this is taken
// as reduced and set to zero. A reflection built from it would be made of
// subnormal numbers, short of digits and beyond the range of their
// reciprocals (the transformation would come back as NaN); what is dropped
// is far below the rounding of any matrix the callers pass, which they
// scale to a largest entry of at least 2^-450.
constexpr double negligible_column = 0x1p-970;

} // namespace

int elmhes(const int* nm, const int* n_p, const int* low_p, const int* igh_p, double* a_p, int* piv_p)
{
    const auto a = view(a_p, *nm);
    const auto piv = view(piv_p);
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    for (std::ptrdiff_t m = low + 1; m <= igh - 1; ++m) {
        // The first entry of largest magnitude, as IDAMAX chooses.
        std::ptrdiff_t i = m;
        double largest = std::fabs(a(m, m - 1));
        for (std::ptrdiff_t j = m + 1; j <= igh; ++j)
            if (std::fabs(a(j, m - 1)) > largest) {
                largest = std::fabs(a(j, m - 1));
                i = j;
            }
        const double x = a(i, m - 1);
        piv(m) = int(i);
        if (i != m) {
            for (std::ptrdiff_t j = m - 1; j <= n; ++j) {
                const double t = a(i, j);
                a(i, j) = a(m, j);
                a(m, j) = t;
            }
            double* ci = a.column(i);
            double* cm = a.column(m);
            for (std::ptrdiff_t r = 0; r < igh; ++r) {
                const double t = ci[r];
                ci[r] = cm[r];
                cm[r] = t;
            }
        }
        if (x == 0.0)
            continue;
        // The multipliers, kept where they are returned: column m-1.
        for (std::ptrdiff_t r = m + 1; r <= igh; ++r)
            if (a(r, m - 1) != 0.0)
                a(r, m - 1) /= x;
        const double* mult = a.column(m - 1);  // y_r = mult[r - 1]
        // Row r's elimination (a(r, j) -= y_r a(m, j), j >= m) and column
        // r's addition to column m, taken by columns: each column is
        // brought up to date when the addition that reads it runs, rows
        // up to r eliminated and rows below not yet, so every element sees
        // the operations of the row-by-row order in that order.
        double* cm = a.column(m);
        auto eliminate = [&](double* c, double amj, std::ptrdiff_t first, std::ptrdiff_t last) {
            for (std::ptrdiff_t k = first; k <= last; ++k)
                if (mult[k - 1] != 0.0)
                    c[k - 1] -= mult[k - 1] * amj;
        };
        for (std::ptrdiff_t r = m + 1; r <= igh; ++r) {
            const double yr = mult[r - 1];
            if (yr != 0.0)
                cm[r - 1] -= yr * cm[m - 1];
            double* cr = a.column(r);
            const double amr = cr[m - 1];
            eliminate(cr, amr, m + 1, r);
            if (yr != 0.0)
                for (std::ptrdiff_t k = 0; k < igh; ++k)
                    cm[k] += yr * cr[k];
            eliminate(cr, amr, r + 1, igh);
        }
        for (std::ptrdiff_t j = igh + 1; j <= n; ++j) {
            double* cj = a.column(j);
            eliminate(cj, cj[m - 1], m + 1, igh);
        }
    }
    return 0;
}

int eltran(const int* nm, const int* n_p, const int* low_p, const int* igh_p, const double* a_p, const int* piv_p,
           double* z_p)
{
    const auto a = view(a_p, *nm);
    const auto z = view(z_p, *nm);
    const auto piv = view(piv_p);
    const std::ptrdiff_t low = *low_p, igh = *igh_p;
    set_identity(z, *n_p);
    for (std::ptrdiff_t mp = igh - 1; mp >= low + 1; --mp) {
        for (std::ptrdiff_t i = mp + 1; i <= igh; ++i)
            z(i, mp) = a(i, mp - 1);
        const std::ptrdiff_t i = piv(mp);
        if (i == mp)
            continue;
        for (std::ptrdiff_t j = mp; j <= igh; ++j) {
            z(mp, j) = z(i, j);
            z(i, j) = 0.0;
        }
        z(i, mp) = 1.0;
    }
    return 0;
}

int orthes(const int* nm, const int* n_p, const int* low_p, const int* igh_p, double* a_p, double* ort_p)
{
    const auto a = view(a_p, *nm);
    const auto ort = view(ort_p);
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    for (std::ptrdiff_t m = low + 1; m <= igh - 1; ++m) {
        ort(m) = 0.0;
        double scale = 0.0;
        for (std::ptrdiff_t i = m; i <= igh; ++i)
            scale += std::fabs(a(i, m - 1));
        if (scale < negligible_column) {
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                a(i, m - 1) = 0.0;
            continue;
        }
        double h = 0.0;
        for (std::ptrdiff_t i = igh; i >= m; --i) {
            ort(i) = a(i, m - 1) / scale;
            h += ort(i) * ort(i);
        }
        const double g = ort(m) >= 0 ? -std::sqrt(h) : std::sqrt(h);
        h -= ort(m) * g;
        ort(m) -= g;
        // (I - u·uᵀ/h)·A over columns m..n ...
        for (std::ptrdiff_t j = m; j <= n; ++j) {
            double f = 0.0;
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                f += ort(i) * a(i, j);
            f = -f / h;
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                a(i, j) += f * ort(i);
        }
        // ... then A·(I - u·uᵀ/h) over rows 1..igh, a block of rows at a
        // time so the columns are read in storage order; each row's sum
        // still runs over j in ascending order.
        for (std::ptrdiff_t i0 = 1; i0 <= igh; i0 += row_block) {
            const std::ptrdiff_t rows = std::min<std::ptrdiff_t>(row_block, igh - i0 + 1);
            double f[row_block] = {};
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                const double* col = &a(i0, j);
                for (std::ptrdiff_t r = 0; r < rows; ++r)
                    f[r] += ort(j) * col[r];
            }
            for (std::ptrdiff_t r = 0; r < rows; ++r)
                f[r] = -f[r] / h;
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                double* col = &a(i0, j);
                for (std::ptrdiff_t r = 0; r < rows; ++r)
                    col[r] += f[r] * ort(j);
            }
        }
        ort(m) *= scale;
        a(m, m - 1) = scale * g;
    }
    return 0;
}

int ortran(const int* nm, const int* n_p, const int* low_p, const int* igh_p, const double* a_p, double* ort_p,
           double* z_p)
{
    const auto a = view(a_p, *nm);
    const auto z = view(z_p, *nm);
    const auto ort = view(ort_p);
    const std::ptrdiff_t low = *low_p, igh = *igh_p;
    set_identity(z, *n_p);
    for (std::ptrdiff_t mp = igh - 1; mp >= low + 1; --mp) {
        if (a(mp, mp - 1) == 0.0)
            continue;
        for (std::ptrdiff_t i = mp + 1; i <= igh; ++i)
            ort(i) = a(i, mp - 1);
        for (std::ptrdiff_t j = mp; j <= igh; ++j) {
            double g = 0.0;
            for (std::ptrdiff_t i = mp; i <= igh; ++i)
                g += z(i, j) * ort(i);
            // The divisor ort(mp)·a(mp, mp-1) is the negative of orthes' h.
            g = (g / ort(mp)) / a(mp, mp - 1);
            for (std::ptrdiff_t i = mp; i <= igh; ++i)
                z(i, j) += g * ort(i);
        }
    }
    return 0;
}

int corth(const int* nm, const int* n_p, const int* low_p, const int* igh_p, double* ar_p, double* ai_p,
          double* ortr_p, double* orti_p)
{
    const auto ar = view(ar_p, *nm);
    const auto ai = view(ai_p, *nm);
    const auto ortr = view(ortr_p);
    const auto orti = view(orti_p);
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    for (std::ptrdiff_t m = low + 1; m <= igh - 1; ++m) {
        ortr(m) = 0.0;
        orti(m) = 0.0;
        double scale = 0.0;
        for (std::ptrdiff_t i = m; i <= igh; ++i)
            scale += std::fabs(ar(i, m - 1)) + std::fabs(ai(i, m - 1));
        if (scale < negligible_column) {
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                ar(i, m - 1) = ai(i, m - 1) = 0.0;
            continue;
        }
        double h = 0.0;
        for (std::ptrdiff_t i = igh; i >= m; --i) {
            ortr(i) = ar(i, m - 1) / scale;
            orti(i) = ai(i, m - 1) / scale;
            h += ortr(i) * ortr(i) + orti(i) * orti(i);
        }
        double g = std::sqrt(h);
        const double f = complex_abs(ortr(m), orti(m));
        if (f != 0.0) {
            h += f * g;
            g /= f;
            ortr(m) *= 1.0 + g;
            orti(m) *= 1.0 + g;
        } else {
            ortr(m) = g;
            ar(m, m - 1) = scale;
        }
        // Left update: column j -= u·(uᴴ·column j)/h.
        for (std::ptrdiff_t j = m; j <= n; ++j) {
            double fr = 0.0, fi = 0.0;
            for (std::ptrdiff_t i = m; i <= igh; ++i) {
                fr += ortr(i) * ar(i, j) + orti(i) * ai(i, j);
                fi += ortr(i) * ai(i, j) - orti(i) * ar(i, j);
            }
            fr = -fr / h;
            fi = -fi / h;
            for (std::ptrdiff_t i = m; i <= igh; ++i) {
                ar(i, j) += fr * ortr(i) - fi * orti(i);
                ai(i, j) += fr * orti(i) + fi * ortr(i);
            }
        }
        // Right update: row i -= (row i·u)/h·uᴴ, a block of rows at a time
        // (each row's sums in ascending j as before).
        for (std::ptrdiff_t i0 = 1; i0 <= igh; i0 += row_block) {
            const std::ptrdiff_t rows = std::min<std::ptrdiff_t>(row_block, igh - i0 + 1);
            double fr[row_block] = {}, fi[row_block] = {};
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                const double* cr = &ar(i0, j);
                const double* ci = &ai(i0, j);
                const double orj = ortr(j), oij = orti(j);
                for (std::ptrdiff_t r = 0; r < rows; ++r) {
                    fr[r] += orj * cr[r] - oij * ci[r];
                    fi[r] += orj * ci[r] + oij * cr[r];
                }
            }
            for (std::ptrdiff_t r = 0; r < rows; ++r) {
                fr[r] = -fr[r] / h;
                fi[r] = -fi[r] / h;
            }
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                double* cr = &ar(i0, j);
                double* ci = &ai(i0, j);
                const double orj = ortr(j), oij = orti(j);
                for (std::ptrdiff_t r = 0; r < rows; ++r) {
                    cr[r] += fr[r] * orj + fi[r] * oij;
                    ci[r] += fi[r] * orj - fr[r] * oij;
                }
            }
        }
        ortr(m) *= scale;
        orti(m) *= scale;
        ar(m, m - 1) *= -g;
        ai(m, m - 1) *= -g;
    }
    return 0;
}

// corth on a real matrix. Its imaginary parts start at zero and stay zero
// (every product that reaches them has a zero factor), and they add only
// zeros to the real parts; so the real parts come out the same, zeros
// perhaps with another sign, at a quarter of the arithmetic. Finite entries
// only: in the complex form an infinity times those zeros spreads NaN.
int corth_real(const int* nm, const int* n_p, const int* low_p, const int* igh_p, double* ar_p, double* ortr_p)
{
    const auto ar = view(ar_p, *nm);
    const auto ortr = view(ortr_p);
    const std::ptrdiff_t n = *n_p, low = *low_p, igh = *igh_p;
    for (std::ptrdiff_t m = low + 1; m <= igh - 1; ++m) {
        ortr(m) = 0.0;
        double scale = 0.0;
        for (std::ptrdiff_t i = m; i <= igh; ++i)
            scale += std::fabs(ar(i, m - 1));
        if (scale < negligible_column) {
            for (std::ptrdiff_t i = m; i <= igh; ++i)
                ar(i, m - 1) = 0.0;
            continue;
        }
        double h = 0.0;
        for (std::ptrdiff_t i = igh; i >= m; --i) {
            ortr(i) = ar(i, m - 1) / scale;
            h += ortr(i) * ortr(i);
        }
        double g = std::sqrt(h);
        const double f = complex_abs(ortr(m), 0.0);
        if (f != 0.0) {
            h += f * g;
            g /= f;
            ortr(m) *= 1.0 + g;
        } else {
            ortr(m) = g;
            ar(m, m - 1) = scale;
        }
        // Left update, column j -= u·(u'·column j)/h; the columns are
        // independent, so their sums run side by side.
        reflect_columns(&ortr(m), igh - m + 1, &ar(m, m), *nm, n - m + 1, [h](double f) { return -f / h; });
        for (std::ptrdiff_t i0 = 1; i0 <= igh; i0 += row_block) {
            const std::ptrdiff_t rows = std::min<std::ptrdiff_t>(row_block, igh - i0 + 1);
            double fr[row_block] = {};
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                const double* cr = &ar(i0, j);
                const double orj = ortr(j);
                for (std::ptrdiff_t r = 0; r < rows; ++r)
                    fr[r] += orj * cr[r];
            }
            for (std::ptrdiff_t r = 0; r < rows; ++r)
                fr[r] = -fr[r] / h;
            for (std::ptrdiff_t j = m; j <= igh; ++j) {
                double* cr = &ar(i0, j);
                const double orj = ortr(j);
                for (std::ptrdiff_t r = 0; r < rows; ++r)
                    cr[r] += fr[r] * orj;
            }
        }
        ortr(m) *= scale;
        ar(m, m - 1) *= -g;
    }
    return 0;
}

// The unitary matrix of corth_real's reduction, as complex_schur_qr's job 3
// forms it from corth's, in real arithmetic for the same reason.
int corth_real_transform(const int* nm, const int* n_p, const int* low_p, const int* igh_p, const double* ar_p,
                         double* ortr_p, double* z_p)
{
    const auto ar = view(ar_p, *nm);
    const auto z = view(z_p, *nm);
    const auto ortr = view(ortr_p);
    const std::ptrdiff_t low = *low_p, igh = *igh_p;
    set_identity(z, *n_p);
    for (std::ptrdiff_t i = igh - 1; i >= low + 1; --i) {
        if (ortr(i) == 0.0 || ar(i, i - 1) == 0.0)
            continue;
        // The negative of corth's h.
        const double norm = ar(i, i - 1) * ortr(i);
        for (std::ptrdiff_t k = i + 1; k <= igh; ++k)
            ortr(k) = ar(k, i - 1);
        reflect_columns(&ortr(i), igh - i + 1, &z(i, i), *nm, igh - i + 1, [norm](double s) { return s / norm; });
    }
    return 0;
}
