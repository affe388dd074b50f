// Balancing before an eigenvalue computation (balanc, cbal) and the
// back-transformation of eigenvectors of the balanced matrix (balbak, cbabk2).
// Real and complex forms share one body over the number of parts.
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The real matrix or the two parts of a complex one.
template <int Parts>
struct parts {
    matrix_view<double> m[Parts];

    bool nonzero(std::ptrdiff_t i, std::ptrdiff_t j) const noexcept
    {
        for (int p = 0; p < Parts; ++p)
            if (m[p](i, j) != 0.0)
                return true;
        return false;
    }
    double magnitude(std::ptrdiff_t i, std::ptrdiff_t j) const noexcept
    {
        double s = 0;
        for (int p = 0; p < Parts; ++p)
            s += std::fabs(m[p](i, j));
        return s;
    }
    // The 2-norm of entries (from..to, j) or (i, from..to), scaled by the
    // largest magnitude so no square overflows or underflows.
    template <class At>
    static double two_norm(std::ptrdiff_t from, std::ptrdiff_t to, const At& at) noexcept
    {
        double big = 0;
        for (std::ptrdiff_t t = from; t <= to; ++t)
            for (int p = 0; p < Parts; ++p)
                big = std::max(big, std::fabs(at(p, t)));
        if (big == 0 || !std::isfinite(big))
            return big;
        double sum = 0;
        for (std::ptrdiff_t t = from; t <= to; ++t)
            for (int p = 0; p < Parts; ++p) {
                const double x = at(p, t) / big;
                sum += x * x;
            }
        return big * std::sqrt(sum);
    }
    double column_norm(std::ptrdiff_t j, std::ptrdiff_t from, std::ptrdiff_t to) const noexcept
    {
        return two_norm(from, to, [&](int p, std::ptrdiff_t i) { return m[p](i, j); });
    }
    double row_norm(std::ptrdiff_t i, std::ptrdiff_t from, std::ptrdiff_t to) const noexcept
    {
        return two_norm(from, to, [&](int p, std::ptrdiff_t j) { return m[p](i, j); });
    }
    // The modulus of the first entry of largest magnitude (|re| + |im| for
    // a complex one, as the BLAS picks it).
    double modulus(std::ptrdiff_t i, std::ptrdiff_t j) const noexcept
    {
        return Parts == 1 ? std::fabs(m[0](i, j)) : std::hypot(m[0](i, j), m[Parts - 1](i, j));
    }
    // In column j (rows from..to) or, transposed, in row j.
    double largest(std::ptrdiff_t j, std::ptrdiff_t from, std::ptrdiff_t to, bool row) const noexcept
    {
        auto entry = [&](std::ptrdiff_t t) { return row ? std::pair{j, t} : std::pair{t, j}; };
        std::ptrdiff_t at = from;
        for (std::ptrdiff_t t = from + 1; t <= to; ++t)
            if (magnitude(entry(t).first, entry(t).second) > magnitude(entry(at).first, entry(at).second))
                at = t;
        return modulus(entry(at).first, entry(at).second);
    }
    void swap_columns(std::ptrdiff_t a, std::ptrdiff_t b, std::ptrdiff_t rows) const noexcept
    {
        for (int p = 0; p < Parts; ++p)
            for (std::ptrdiff_t i = 1; i <= rows; ++i) {
                const double t = m[p](i, a);
                m[p](i, a) = m[p](i, b);
                m[p](i, b) = t;
            }
    }
    void swap_rows(std::ptrdiff_t a, std::ptrdiff_t b, std::ptrdiff_t from, std::ptrdiff_t to) const noexcept
    {
        for (int p = 0; p < Parts; ++p)
            for (std::ptrdiff_t j = from; j <= to; ++j) {
                const double t = m[p](a, j);
                m[p](a, j) = m[p](b, j);
                m[p](b, j) = t;
            }
    }
};

template <int Parts>
void balance(const parts<Parts>& a, int n, int& low_out, int& igh_out, double* scale_p)
{
    const auto scale = view(scale_p);
    std::ptrdiff_t k = 1, l = n;

    // Exchange j with m (the row end l or the column end k) and record it.
    auto exchange = [&](std::ptrdiff_t j, std::ptrdiff_t m) {
        scale(m) = double(j);
        if (j != m) {
            a.swap_columns(j, m, l);
            a.swap_rows(j, m, k, n);
        }
    };

    // Rows isolating an eigenvalue are pushed down.
    bool all_isolated = false;
    for (bool found = true; found && !all_isolated;) {
        found = false;
        for (std::ptrdiff_t j = l; j >= 1; --j) {
            bool isolated = true;
            for (std::ptrdiff_t i = 1; i <= l && isolated; ++i)
                isolated = i == j || !a.nonzero(j, i);
            if (!isolated)
                continue;
            exchange(j, l);
            if (l == 1)
                all_isolated = true;
            else
                --l;
            found = true;
            break;
        }
    }

    if (!all_isolated) {
        // Columns isolating an eigenvalue are pushed left.
        for (bool found = true; found;) {
            found = false;
            for (std::ptrdiff_t j = k; j <= l; ++j) {
                bool isolated = true;
                for (std::ptrdiff_t i = k; i <= l && isolated; ++i)
                    isolated = i == j || !a.nonzero(i, j);
                if (!isolated)
                    continue;
                exchange(j, k);
                ++k;
                found = true;
                break;
            }
        }

        // Radix 2: scaling by powers of 2 changes no significant bit. Row
        // and column are compared by their 2-norms over k..l, diagonal
        // included, as LAPACK does since it found that sums of magnitudes
        // without the diagonal over-scale graded matrices: the factors
        // then span many decades, and the eigenvectors carried back
        // through them lose as many digits. The guards keep every factor
        // and every scaled entry within the range of normal numbers.
        constexpr double sfmin1 = 0x1p-1022 / 0x1p-52, sfmax1 = 1 / sfmin1;
        constexpr double sfmin2 = sfmin1 * 2, sfmax2 = 1 / sfmin2;
        for (std::ptrdiff_t i = k; i <= l; ++i)
            scale(i) = 1.0;
        for (bool changed = true; changed;) {
            changed = false;
            for (std::ptrdiff_t i = k; i <= l; ++i) {
                double c = a.column_norm(i, k, l), r = a.row_norm(i, k, l);
                double ca = a.largest(i, 1, l, false), ra = a.largest(i, k, n, true);
                // Zero norms (possibly by underflow) or a NaN leave the row
                // alone.
                if (c == 0.0 || r == 0.0 || std::isnan(c + ca + r + ra))
                    continue;
                double g = r / 2, f = 1.0;
                const double s = c + r;
                while (c < g && std::max({f, c, ca}) < sfmax2 && std::min({r, g, ra}) > sfmin2) {
                    f *= 2;
                    c *= 2;
                    ca *= 2;
                    r /= 2;
                    g /= 2;
                    ra /= 2;
                }
                g = c / 2;
                while (g >= r && std::max(r, ra) < sfmax2 && std::min({f, c, g, ca}) > sfmin2) {
                    f /= 2;
                    c /= 2;
                    g /= 2;
                    ca /= 2;
                    r *= 2;
                    ra *= 2;
                }
                if (c + r >= 0.95 * s)
                    continue;
                if (f < 1.0 && scale(i) < 1.0 && f * scale(i) <= sfmin1)
                    continue;
                if (f > 1.0 && scale(i) > 1.0 && scale(i) >= sfmax1 / f)
                    continue;
                const double gi = 1.0 / f;
                scale(i) *= f;
                changed = true;
                for (int p = 0; p < Parts; ++p) {
                    for (std::ptrdiff_t j = k; j <= n; ++j)
                        a.m[p](i, j) *= gi;
                    for (std::ptrdiff_t j = 1; j <= l; ++j)
                        a.m[p](j, i) *= f;
                }
            }
        }
    }
    low_out = int(k);
    igh_out = int(l);
}

template <int Parts>
void back_transform(const parts<Parts>& z, int n, int low, int igh, const double* scale_p, int m)
{
    if (m == 0)
        return;
    const auto scale = view(scale_p);
    if (igh != low)
        for (std::ptrdiff_t i = low; i <= igh; ++i) {
            const double s = scale(i);
            for (int p = 0; p < Parts; ++p)
                for (std::ptrdiff_t j = 1; j <= m; ++j)
                    z.m[p](i, j) *= s;
        }
    auto exchange = [&](std::ptrdiff_t i) {
        const auto k = static_cast<std::ptrdiff_t>(scale(i));
        if (k != i)
            z.swap_rows(i, k, 1, m);
    };
    for (std::ptrdiff_t i = low - 1; i >= 1; --i)
        exchange(i);
    for (std::ptrdiff_t i = igh + 1; i <= n; ++i)
        exchange(i);
}

} // namespace

int balanc(const int* nm, const int* n, double* a, int* low, int* igh, double* scale)
{
    balance(parts<1>{{view(a, *nm)}}, *n, *low, *igh, scale);
    return 0;
}

int cbal(const int* nm, const int* n, double* ar, double* ai, int* low, int* igh, double* scale)
{
    balance(parts<2>{{view(ar, *nm), view(ai, *nm)}}, *n, *low, *igh, scale);
    return 0;
}

int balbak(const int* nm, const int* n, const int* low, const int* igh, const double* scale, const int* m, double* z)
{
    back_transform(parts<1>{{view(z, *nm)}}, *n, *low, *igh, scale, *m);
    return 0;
}

int cbabk2(const int* nm, const int* n, const int* low, const int* igh, const double* scale, const int* m, double* zr,
           double* zi)
{
    back_transform(parts<2>{{view(zr, *nm), view(zi, *nm)}}, *n, *low, *igh, scale, *m);
    return 0;
}
