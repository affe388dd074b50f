// The QZ method for the real generalized eigenproblem A·x = λ·B·x: the
// Hessenberg-triangular reduction (qzhes), the QZ iteration (qzit), the
// eigenvalues of the quasi-triangular pencil (qzval_kernel) and its
// eigenvectors (qzvec). With q, the left transformations are also applied
// to q's rows, so q·A·z is the reduced a.
#include "engine/scalar_real.hpp"
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"

#include <algorithm>
#include <cmath>

namespace {

inline double sign_of(double magnitude, double s) noexcept
{
    return s >= 0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

// A 2-element reflection in the published form: from (a1, a2), scaled by
// s = |a1| + |a2|, the coefficients u2, v1, v2 of
// t = x1 + u2·x2; x1 += t·v1; x2 += t·v2.
struct reflection2 {
    double u2, v1, v2;

    reflection2(double a1, double a2, double s) noexcept
    {
        const double u1 = a1 / s;
        u2 = a2 / s;
        const double r = sign_of(std::sqrt(u1 * u1 + u2 * u2), u1);
        v1 = -(u1 + r) / r;
        v2 = -u2 / r;
        u2 = v2 / v1;
    }
    void apply(double& x1, double& x2) const noexcept
    {
        const double t = x1 + u2 * x2;
        x1 += t * v1;
        x2 += t * v2;
    }
};

struct reflection3 {
    double u2, u3, v1, v2, v3;

    reflection3(double a1, double a2, double a3, double s) noexcept
    {
        const double u1 = a1 / s;
        u2 = a2 / s;
        u3 = a3 / s;
        const double r = sign_of(std::sqrt(u1 * u1 + u2 * u2 + u3 * u3), u1);
        v1 = -(u1 + r) / r;
        v2 = -u2 / r;
        v3 = -u3 / r;
        u2 = v2 / v1;
        u3 = v3 / v1;
    }
    void apply(double& x1, double& x2, double& x3) const noexcept
    {
        const double t = x1 + u2 * x2 + u3 * x3;
        x1 += t * v1;
        x2 += t * v2;
        x3 += t * v3;
    }
};

// Rows r1, r2 of m over columns from..to.
template <class R>
void rows2(const R& h, const matrix_view<double>& m, std::ptrdiff_t r1, std::ptrdiff_t r2, std::ptrdiff_t from,
           std::ptrdiff_t to)
{
    for (std::ptrdiff_t j = from; j <= to; ++j)
        h.apply(m(r1, j), m(r2, j));
}

template <class R>
void cols2(const R& h, const matrix_view<double>& m, std::ptrdiff_t c1, std::ptrdiff_t c2, std::ptrdiff_t from,
           std::ptrdiff_t to)
{
    double* x1 = m.column(c1);
    double* x2 = m.column(c2);
    for (std::ptrdiff_t i = from - 1; i < to; ++i)
        h.apply(x1[i], x2[i]);
}

void set_identity(const matrix_view<double>& z, std::ptrdiff_t n)
{
    for (std::ptrdiff_t j = 1; j <= n; ++j) {
        for (std::ptrdiff_t i = 1; i <= n; ++i)
            z(i, j) = 0.0;
        z(j, j) = 1.0;
    }
}

} // namespace

int qzhes(const int* nm, const int* n_p, double* a_p, double* b_p, const int* matz, double* z_p, double* q_p)
{
    const auto a = view(a_p, *nm);
    const auto b = view(b_p, *nm);
    const auto z = view(z_p, *nm);
    const auto q = view(q_p, *nm);
    const std::ptrdiff_t n = *n_p;
    if (*matz)
        set_identity(z, n);
    if (q_p)
        set_identity(q, n);
    if (n <= 1)
        return 0;

    // b to upper triangular form by Householder reflections.
    for (std::ptrdiff_t l = 1; l <= n - 1; ++l) {
        double s = 0.0;
        for (std::ptrdiff_t i = l + 1; i <= n; ++i)
            s += std::fabs(b(i, l));
        if (s == 0.0)
            continue;
        s += std::fabs(b(l, l));
        double r = 0.0;
        for (std::ptrdiff_t i = l; i <= n; ++i) {
            b(i, l) /= s;
            r += b(i, l) * b(i, l);
        }
        r = sign_of(std::sqrt(r), b(l, l));
        b(l, l) += r;
        const double rho = r * b(l, l);
        auto reflect = [&](const matrix_view<double>& m, std::ptrdiff_t j) {
            double t = 0.0;
            for (std::ptrdiff_t i = l; i <= n; ++i)
                t += b(i, l) * m(i, j);
            t = -t / rho;
            for (std::ptrdiff_t i = l; i <= n; ++i)
                m(i, j) += t * b(i, l);
        };
        for (std::ptrdiff_t j = l + 1; j <= n; ++j)
            reflect(b, j);
        for (std::ptrdiff_t j = 1; j <= n; ++j)
            reflect(a, j);
        if (q_p)
            for (std::ptrdiff_t j = 1; j <= n; ++j)
                reflect(q, j);
        b(l, l) = -s * r;
        for (std::ptrdiff_t i = l + 1; i <= n; ++i)
            b(i, l) = 0.0;
    }

    // a to upper Hessenberg form, b kept triangular.
    for (std::ptrdiff_t k = 1; k <= n - 2; ++k)
        for (std::ptrdiff_t l = n - 1; l >= k + 1; --l) {
            const std::ptrdiff_t l1 = l + 1;
            // Zero a(l+1, k).
            double s = std::fabs(a(l, k)) + std::fabs(a(l1, k));
            if (s == 0.0)
                continue;
            const reflection2 left(a(l, k), a(l1, k), s);
            rows2(left, a, l, l1, k, n);
            a(l1, k) = 0.0;
            rows2(left, b, l, l1, l, n);
            if (q_p)
                rows2(left, q, l, l1, 1, n);
            // Zero b(l+1, l).
            s = std::fabs(b(l1, l1)) + std::fabs(b(l1, l));
            if (s == 0.0)
                continue;
            const reflection2 right(b(l1, l1), b(l1, l), s);
            cols2(right, b, l1, l, 1, l1);
            b(l1, l) = 0.0;
            cols2(right, a, l1, l, 1, n);
            if (*matz)
                cols2(right, z, l1, l, 1, n);
        }
    return 0;
}

int qzit(const int* nm, const int* n_p, double* a_p, double* b_p, const double* eps1, const int* matz_p, double* z_p,
         int* ierr, double* q_p)
{
    const auto a = view(a_p, *nm);
    const auto b = view(b_p, *nm);
    const auto z = view(z_p, *nm);
    const auto q = view(q_p, *nm);
    const std::ptrdiff_t n = *n_p;
    const bool matz = *matz_p != 0;
    *ierr = 0;

    double anorm = 0.0, bnorm = 0.0;
    for (std::ptrdiff_t i = 1; i <= n; ++i) {
        double ani = i != 1 ? std::fabs(a(i, i - 1)) : 0.0, bni = 0.0;
        for (std::ptrdiff_t j = i; j <= n; ++j) {
            ani += std::fabs(a(i, j));
            bni += std::fabs(b(i, j));
        }
        anorm = std::max(anorm, ani);
        bnorm = std::max(bnorm, bni);
    }
    if (anorm == 0.0)
        anorm = 1.0;
    if (bnorm == 0.0)
        bnorm = 1.0;
    const double ep = *eps1 > 0.0 ? *eps1 : machine_eps_value;
    const double epsa = ep * anorm, epsb = ep * bnorm;

    // A left transformation of rows r1, r2 of a and b over columns
    // from..enorn, and of q over all its columns.
    std::ptrdiff_t lor1 = 1, enorn = n, en = n;
    auto left2 = [&](const reflection2& h, std::ptrdiff_t r1, std::ptrdiff_t r2, std::ptrdiff_t from) {
        rows2(h, a, r1, r2, from, enorn);
        rows2(h, b, r1, r2, from, enorn);
        if (q_p)
            rows2(h, q, r1, r2, 1, n);
    };

    // The published control flow, kept with its labels: the deflation
    // checks re-enter one another in ways a loop nest would obscure.
    long itn = 30L * n * eigen_budget_scale;
    int its = 0, ish = 2;
    std::ptrdiff_t na = 0, enm2 = 0, l = 0, lm1 = 0, l1 = 0, ld = 0;
    double a1 = 0, a2 = 0, a3 = 0, a11 = 0, a21 = 0, b11 = 0, sh = 0;

next_block:
    if (en <= 2)
        goto done;
    if (!matz)
        enorn = en;
    its = 0;
    na = en - 1;
    enm2 = na - 1;

check:
    ish = 2;
    for (l = en; l >= 1; --l) {
        lm1 = l - 1;
        if (l == 1)
            goto top_of_b;
        if (std::fabs(a(l, lm1)) <= epsa)
            break;
    }

split:
    a(l, lm1) = 0.0;
    if (l >= na) {  // a 1x1 or 2x2 block is isolated
        en = lm1;
        goto next_block;
    }

top_of_b:
    ld = l;

small_b:
    l1 = l + 1;
    b11 = b(l, l);
    if (std::fabs(b11) <= epsb) {
        b(l, l) = 0.0;
        const double s = std::fabs(a(l, l)) + std::fabs(a(l1, l));
        left2(reflection2(a(l, l), a(l1, l), s), l, l1, l);
        if (l != 1)
            a(l, lm1) = -a(l, lm1);
        lm1 = l;
        l = l1;
        goto split;
    }
    a11 = a(l, l) / b11;
    a21 = a(l1, l) / b11;
    if (ish == 1)
        goto single_shift;

    if (itn <= 0) {
        *ierr = int(en);
        goto done;
    }
    if (its == 10) {  // ad hoc shift
        a1 = 0.0;
        a2 = 1.0;
        a3 = 1.1605;
        goto sweep;
    }
    {
        double b22 = b(l1, l1);
        if (std::fabs(b22) < epsb)
            b22 = epsb;
        double b33 = b(na, na);
        if (std::fabs(b33) < epsb)
            b33 = epsb;
        double b44 = b(en, en);
        if (std::fabs(b44) < epsb)
            b44 = epsb;
        const double a33 = a(na, na) / b33, a34 = a(na, en) / b44, a43 = a(en, na) / b33, a44 = a(en, en) / b44,
                     b34 = b(na, en) / b44;
        const double t = 0.5 * (a43 * b34 - a33 - a44);
        double r = t * t + a34 * a43 - a33 * a44;
        if (r < 0.0) {  // double shift: the zeroth column of a
            const double a12 = a(l, l1) / b22, a22 = a(l1, l1) / b22, b12 = b(l, l1) / b22;
            a1 = ((a33 - a11) * (a44 - a11) - a34 * a43 + a43 * b34 * a11) / a21 + a12 - a11 * b12;
            a2 = (a22 - a11) - a21 * b12 - (a33 - a11) - (a44 - a11) + a43 * b34;
            a3 = a(l1 + 1, l1) / b22;
            goto sweep;
        }
        // Single shift; two consecutive small subdiagonal elements of a.
        ish = 1;
        r = std::sqrt(r);
        sh = -t + r;
        const double s = -t - r;
        if (std::fabs(s - a44) < std::fabs(sh - a44))
            sh = s;
        for (l = enm2; l > ld; --l) {
            lm1 = l - 1;
            l1 = l + 1;
            double tt = a(l, l);
            if (std::fabs(b(l, l)) > epsb)
                tt -= sh * b(l, l);
            if (std::fabs(a(l, lm1)) <= std::fabs(tt / a(l1, l)) * epsa)
                goto small_b;
        }
        l = ld;
    }

single_shift:
    a1 = a11 - sh;
    a2 = a21;
    if (l != ld)
        a(l, lm1) = -a(l, lm1);

sweep:
    ++its;
    --itn;
    if (!matz)
        lor1 = ld;
    for (std::ptrdiff_t k = l; k <= na; ++k) {
        const bool notlast = k != na && ish == 2;
        const std::ptrdiff_t k1 = k + 1, k2 = k + 2, km1 = std::max(k - 1, l);
        const std::ptrdiff_t ll = std::min(en, k1 + ish);
        if (!notlast) {
            // Zero a(k+1, k-1).
            if (k != l) {
                a1 = a(k, km1);
                a2 = a(k1, km1);
            }
            const double s = std::fabs(a1) + std::fabs(a2);
            if (s == 0.0)
                goto check;
            left2(reflection2(a1, a2, s), k, k1, km1);
            if (k != l)
                a(k1, km1) = 0.0;
        } else {
            // Zero a(k+1, k-1) and a(k+2, k-1).
            if (k != l) {
                a1 = a(k, km1);
                a2 = a(k1, km1);
                a3 = a(k2, km1);
            }
            double s = std::fabs(a1) + std::fabs(a2) + std::fabs(a3);
            if (s == 0.0)
                continue;
            const reflection3 h(a1, a2, a3, s);
            for (std::ptrdiff_t j = km1; j <= enorn; ++j) {
                h.apply(a(k, j), a(k1, j), a(k2, j));
                h.apply(b(k, j), b(k1, j), b(k2, j));
            }
            if (q_p)
                for (std::ptrdiff_t j = 1; j <= n; ++j)
                    h.apply(q(k, j), q(k1, j), q(k2, j));
            if (k != l) {
                a(k1, km1) = 0.0;
                a(k2, km1) = 0.0;
            }
            // Zero b(k+2, k+1) and b(k+2, k).
            s = std::fabs(b(k2, k2)) + std::fabs(b(k2, k1)) + std::fabs(b(k2, k));
            if (s != 0.0) {
                const reflection3 g(b(k2, k2), b(k2, k1), b(k2, k), s);
                for (std::ptrdiff_t i = lor1; i <= ll; ++i) {
                    g.apply(a(i, k2), a(i, k1), a(i, k));
                    g.apply(b(i, k2), b(i, k1), b(i, k));
                }
                b(k2, k) = 0.0;
                b(k2, k1) = 0.0;
                if (matz)
                    for (std::ptrdiff_t i = 1; i <= n; ++i)
                        g.apply(z(i, k2), z(i, k1), z(i, k));
            }
        }
        // Zero b(k+1, k).
        const double s = std::fabs(b(k1, k1)) + std::fabs(b(k1, k));
        if (s == 0.0)
            continue;
        const reflection2 g(b(k1, k1), b(k1, k), s);
        cols2(g, a, k1, k, lor1, ll);
        cols2(g, b, k1, k, lor1, ll);
        b(k1, k) = 0.0;
        if (matz)
            cols2(g, z, k1, k, 1, n);
    }
    goto check;

done:
    // epsb is kept for qzval_kernel and qzvec.
    if (n > 1)
        b(n, 1) = epsb;
    return 0;
}

int qzval_kernel(const int* nm, const int* n_p, double* a_p, double* b_p, double* alfr_p, double* alfi_p,
                 double* beta_p, const int* matz, double* z_p, double* q_p)
{
    const auto a = view(a_p, *nm);
    const auto b = view(b_p, *nm);
    const auto z = view(z_p, *nm);
    const auto q = view(q_p, *nm);
    const auto alfr = view(alfr_p);
    const auto alfi = view(alfi_p);
    const auto beta = view(beta_p);
    const std::ptrdiff_t n = *n_p;
    const double epsb = b(n, 1);
    // Out of the way while the rotations run: for n = 2 the left rotation
    // of rows 1..2 would carry epsb into B's diagonal as if it were an entry.
    if (n > 1)
        b(n, 1) = 0.0;
    bool second_of_block = false;

    for (std::ptrdiff_t en = n; en >= 1; --en) {
        const std::ptrdiff_t na = en - 1;
        if (second_of_block) {
            second_of_block = false;
            continue;
        }
        if (en == 1 || a(en, na) == 0.0) {  // 1x1 block, one real root
            alfr(en) = b(en, en) < 0.0 ? -a(en, en) : a(en, en);
            beta(en) = std::fabs(b(en, en));
            alfi(en) = 0.0;
            continue;
        }
        second_of_block = true;

        // 2x2 block.
        double an = 0, bn = 0, e = 0, a1 = 0, a2 = 0;
        double a11 = 0, a12 = 0, a21 = 0, a22 = 0, b11 = 0, b12 = 0, b22 = 0, c = 0, d = 0;
        enum { choose_z, choose_q_from_a, complex_roots } step;
        if (std::fabs(b(na, na)) <= epsb)
            step = choose_q_from_a;
        else if (std::fabs(b(en, en)) <= epsb) {
            a1 = a(en, en);
            a2 = a(en, na);
            bn = 0.0;
            step = choose_z;
        } else {
            an = std::fabs(a(na, na)) + std::fabs(a(na, en)) + std::fabs(a(en, na)) + std::fabs(a(en, en));
            bn = std::fabs(b(na, na)) + std::fabs(b(na, en)) + std::fabs(b(en, en));
            a11 = a(na, na) / an;
            a12 = a(na, en) / an;
            a21 = a(en, na) / an;
            a22 = a(en, en) / an;
            b11 = b(na, na) / bn;
            b12 = b(na, en) / bn;
            b22 = b(en, en) / bn;
            e = a11 / b11;
            const double ei = a22 / b22;
            const double s = a21 / (b11 * b22);
            double t = (a22 - e * b22) / b22;
            if (std::fabs(e) > std::fabs(ei)) {
                e = ei;
                t = (a11 - e * b11) / b11;
            }
            c = 0.5 * (t - s * b12);
            d = c * c + s * (a12 - e * b12);
            if (d < 0.0)
                step = complex_roots;
            else {
                // Two real roots: zero both a(en, na) and b(en, na).
                e += c + sign_of(std::sqrt(d), c);
                a11 -= e * b11;
                a12 -= e * b12;
                a22 -= e * b22;
                if (std::fabs(a11) + std::fabs(a12) < std::fabs(a21) + std::fabs(a22)) {
                    a1 = a22;
                    a2 = a21;
                } else {
                    a1 = a12;
                    a2 = a11;
                }
                step = choose_z;
            }
        }

        if (step != complex_roots) {
            if (step == choose_z) {
                const double s = std::fabs(a1) + std::fabs(a2);
                const reflection2 h(a1, a2, s);
                cols2(h, a, en, na, 1, en);
                cols2(h, b, en, na, 1, en);
                if (*matz)
                    cols2(h, z, en, na, 1, n);
                if (bn == 0.0)
                    goto real_values;
                if (an >= std::fabs(e) * bn) {
                    a1 = b(na, na);
                    a2 = b(en, na);
                } else {
                    a1 = a(na, na);
                    a2 = a(en, na);
                }
            } else {
                a1 = a(na, na);
                a2 = a(en, na);
            }
            {
                // Choose and apply the real left rotation.
                const double s = std::fabs(a1) + std::fabs(a2);
                if (s != 0.0) {
                    const reflection2 h(a1, a2, s);
                    rows2(h, a, na, en, na, n);
                    rows2(h, b, na, en, na, n);
                    if (q_p)
                        rows2(h, q, na, en, 1, n);
                }
            }
        real_values:
            a(en, na) = 0.0;
            b(en, na) = 0.0;
            alfr(na) = b(na, na) < 0.0 ? -a(na, na) : a(na, na);
            alfr(en) = b(en, en) < 0.0 ? -a(en, en) : a(en, en);
            beta(na) = std::fabs(b(na, na));
            beta(en) = std::fabs(b(en, en));
            alfi(en) = 0.0;
            alfi(na) = 0.0;
            continue;
        }

        // Two complex roots.
        e += c;
        const double ei = std::sqrt(-d);
        const double a11r = a11 - e * b11, a11i = ei * b11;
        const double a12r = a12 - e * b12, a12i = ei * b12;
        const double a22r = a22 - e * b22, a22i = ei * b22;
        double a1i, a2i;
        if (std::fabs(a11r) + std::fabs(a11i) + std::fabs(a12r) + std::fabs(a12i) <
            std::fabs(a21) + std::fabs(a22r) + std::fabs(a22i)) {
            a1 = a22r;
            a1i = a22i;
            a2 = -a21;
            a2i = 0.0;
        } else {
            a1 = a12r;
            a1i = a12i;
            a2 = -a11r;
            a2i = -a11i;
        }
        // The complex right rotation.
        double cz = std::sqrt(a1 * a1 + a1i * a1i), szr, szi;
        if (cz != 0.0) {
            szr = (a1 * a2 + a1i * a2i) / cz;
            szi = (a1 * a2i - a1i * a2) / cz;
            const double r = std::sqrt(cz * cz + szr * szr + szi * szi);
            cz /= r;
            szr /= r;
            szi /= r;
        } else {
            szr = 1.0;
            szi = 0.0;
        }
        if (an < (std::fabs(e) + ei) * bn) {
            a1 = cz * b11 + szr * b12;
            a1i = szi * b12;
            a2 = szr * b22;
            a2i = szi * b22;
        } else {
            a1 = cz * a11 + szr * a12;
            a1i = szi * a12;
            a2 = cz * a21 + szr * a22;
            a2i = szi * a22;
        }
        // The complex left rotation.
        double cq = std::sqrt(a1 * a1 + a1i * a1i), sqr, sqi;
        if (cq != 0.0) {
            sqr = (a1 * a2 + a1i * a2i) / cq;
            sqi = (a1 * a2i - a1i * a2) / cq;
            const double r = std::sqrt(cq * cq + sqr * sqr + sqi * sqi);
            cq /= r;
            sqr /= r;
            sqi /= r;
        } else {
            sqr = 1.0;
            sqi = 0.0;
        }
        // The diagonal the transformations would produce, without applying
        // them.
        const double ssr = sqr * szr + sqi * szi, ssi = sqr * szi - sqi * szr;
        for (int which = 1; which <= 2; ++which) {
            double tr, ti, dr, di;
            if (which == 1) {
                tr = cq * cz * a11 + cq * szr * a12 + sqr * cz * a21 + ssr * a22;
                ti = cq * szi * a12 - sqi * cz * a21 + ssi * a22;
                dr = cq * cz * b11 + cq * szr * b12 + ssr * b22;
                di = cq * szi * b12 + ssi * b22;
            } else {
                tr = ssr * a11 - sqr * cz * a12 - cq * szr * a21 + cq * cz * a22;
                ti = -ssi * a11 - sqi * cz * a12 + cq * szi * a21;
                dr = ssr * b11 - sqr * cz * b12 + cq * cz * b22;
                di = -ssi * b11 - sqi * cz * b12;
            }
            const double t = ti * dr - tr * di;
            const std::ptrdiff_t j = t < 0.0 ? en : na;
            const double r = std::sqrt(dr * dr + di * di);
            beta(j) = bn * r;
            alfr(j) = an * (tr * dr + ti * di) / r;
            alfi(j) = an * t / r;
        }
    }
    b(n, 1) = epsb;
    return 0;
}

int qzvec(const int* nm, const int* n_p, double* a_p, double* b_p, const double* alfr_p, const double* alfi_p,
          const double* beta_p, double* z_p)
{
    const auto a = view(a_p, *nm);
    const auto b = view(b_p, *nm);
    const auto z = view(z_p, *nm);
    const auto alfr = view(alfr_p);
    const auto alfi = view(alfi_p);
    const auto beta = view(beta_p);
    const std::ptrdiff_t n = *n_p;
    const double epsb = b(n, 1);
    int isw = 1;

    // Complex division (t1, t2) = (tr, ti)/(dr, di), by the ratio of the
    // smaller to the larger part of the divisor.
    auto divide = [](double tr, double ti, double dr, double di, double& t1, double& t2) {
        if (std::fabs(di) > std::fabs(dr)) {
            const double rr = dr / di, d = dr * rr + di;
            t1 = (tr * rr + ti) / d;
            t2 = (ti * rr - tr) / d;
        } else {
            const double rr = di / dr, d = dr + di * rr;
            t1 = (tr + ti * rr) / d;
            t2 = (ti - tr * rr) / d;
        }
    };

    // Overflow control, as hqr2 has it: once a component t is so large that
    // t + 1/t = t, the components i..en found so far (of both columns of a
    // complex vector) are divided by it. A defective pencil (a nilpotent
    // Jordan block against the identity) otherwise grows its components by
    // 1/epsb at each step, past Inf, and the normalised vector was NaN.
    auto tame = [&](std::ptrdiff_t i, std::ptrdiff_t en, std::ptrdiff_t first_col) {
        double t = 0;
        for (std::ptrdiff_t c = first_col; c <= en; ++c)
            t = std::max(t, std::fabs(b(i, c)));
        if (t != 0.0 && t + 1.0 / t <= t)
            for (std::ptrdiff_t c = first_col; c <= en; ++c)
                for (std::ptrdiff_t j = i; j <= en; ++j)
                    b(j, c) /= t;
    };

    for (std::ptrdiff_t en = n; en >= 1; --en) {
        const std::ptrdiff_t na = en - 1;
        if (isw == 2) {
            isw = 1;
            continue;
        }
        if (alfi(en) == 0.0 || na == 0) {  // real vector (a lone last member counts as real)
            std::ptrdiff_t m = en;
            b(en, en) = 1.0;
            if (na == 0)
                continue;
            const double alfm = alfr(m), betm = beta(m);
            double zz = 0, s = 0;
            for (std::ptrdiff_t i = en - 1; i >= 1; --i) {
                const double w = betm * a(i, i) - alfm * b(i, i);
                double r = 0.0;
                for (std::ptrdiff_t j = m; j <= en; ++j)
                    r += (betm * a(i, j) - alfm * b(i, j)) * b(j, en);
                if (i != 1 && isw != 2 && betm * a(i, i - 1) != 0.0) {
                    zz = w;
                    s = r;
                    isw = 3 - isw;
                    continue;
                }
                m = i;
                if (isw != 2) {  // real 1x1 block
                    const double t = w != 0.0 ? w : epsb;
                    b(i, en) = -r / t;
                    tame(i, en, en);
                    continue;
                }
                // Real 2x2 block.
                const double x = betm * a(i, i + 1) - alfm * b(i, i + 1);
                const double y = betm * a(i + 1, i);
                const double qq = w * zz - x * y;
                const double t = (x * s - zz * r) / qq;
                b(i, en) = t;
                b(i + 1, en) = std::fabs(x) > std::fabs(zz) ? (-r - w * t) / x : (-s - y * t) / zz;
                tame(i, en, en);
                isw = 3 - isw;
            }
            continue;
        }

        // Complex vector, at the pair's second member; the last component
        // is chosen imaginary so the vector matrix stays triangular.
        std::ptrdiff_t m = na;
        const double almr = alfr(m), almi = alfi(m), betm = beta(m);
        {
            const double y = betm * a(en, na);
            b(na, na) = -almi * b(en, en) / y;
            b(na, en) = (almr * b(en, en) - betm * a(en, en)) / y;
            b(en, na) = 0.0;
            b(en, en) = 1.0;
        }
        double zz = 0, z1 = 0, r = 0, s = 0;
        for (std::ptrdiff_t i = na - 1; i >= 1; --i) {
            const double w = betm * a(i, i) - almr * b(i, i);
            const double w1 = -almi * b(i, i);
            double ra = 0.0, sa = 0.0;
            for (std::ptrdiff_t j = m; j <= en; ++j) {
                const double x = betm * a(i, j) - almr * b(i, j);
                const double x1 = -almi * b(i, j);
                ra += x * b(j, na) - x1 * b(j, en);
                sa += x * b(j, en) + x1 * b(j, na);
            }
            if (i != 1 && isw != 2 && betm * a(i, i - 1) != 0.0) {
                zz = w;
                z1 = w1;
                r = ra;
                s = sa;
                isw = 2;
                continue;
            }
            m = i;
            double t1, t2;
            if (isw != 2) {  // complex 1x1 block
                divide(-ra, -sa, w, w1, t1, t2);
            } else {  // complex 2x2 block
                const double x = betm * a(i, i + 1) - almr * b(i, i + 1);
                const double x1 = -almi * b(i, i + 1);
                const double y = betm * a(i + 1, i);
                const double tr = y * ra - w * r + w1 * s;
                const double ti = y * sa - w * s - w1 * r;
                double dr = w * zz - w1 * z1 - x * y;
                const double di = w * z1 + w1 * zz - x1 * y;
                if (dr == 0.0 && di == 0.0)
                    dr = epsb;
                divide(tr, ti, dr, di, t1, t2);
                b(i + 1, na) = t1;
                b(i + 1, en) = t2;
                isw = 1;
                if (std::fabs(y) > std::fabs(w) + std::fabs(w1)) {
                    t1 = (-r - zz * b(i + 1, na) + z1 * b(i + 1, en)) / y;
                    t2 = (-s - zz * b(i + 1, en) - z1 * b(i + 1, na)) / y;
                } else
                    divide(-ra - x * b(i + 1, na) + x1 * b(i + 1, en), -sa - x * b(i + 1, en) - x1 * b(i + 1, na), w,
                           w1, t1, t2);
            }
            b(i, na) = t1;
            b(i, en) = t2;
            tame(i, en, na);
        }
        isw = 2;  // the pair's first member is done with it
    }

    // Back to the original coordinates: z := z·(upper triangle of b).
    for (std::ptrdiff_t j = n; j >= 1; --j)
        for (std::ptrdiff_t i = 1; i <= n; ++i) {
            double zz = 0.0;
            for (std::ptrdiff_t k = 1; k <= j; ++k)
                zz += z(i, k) * b(k, j);
            z(i, j) = zz;
        }
    return 0;
}
