// Balancing before an eigenvalue computation (balanc, cbal) and the
// back-transformation of eigenvectors of the balanced matrix (balbak, cbabk2).
// Real and complex forms share one body over the number of parts.
#include "linalg/kernel_access.hpp"
#include "linalg/kernels.hpp"

#include <cmath>

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

        // Radix 2: scaling by powers of 2 changes no significant bit.
        for (std::ptrdiff_t i = k; i <= l; ++i)
            scale(i) = 1.0;
        for (bool changed = true; changed;) {
            changed = false;
            for (std::ptrdiff_t i = k; i <= l; ++i) {
                double c = 0, r = 0;
                for (std::ptrdiff_t j = k; j <= l; ++j) {
                    if (j == i)
                        continue;
                    c += a.magnitude(j, i);
                    r += a.magnitude(i, j);
                }
                // Zero sums (possibly by underflow) leave the row alone.
                if (c == 0.0 || r == 0.0)
                    continue;
                double f = 1.0;
                const double s = c + r;
                while (c < r / 2) {
                    f *= 2;
                    c *= 4;
                }
                // Bounded, so an infinite column sum cannot halve forever.
                for (int pass = 0; c >= r * 2 && pass < 1024; ++pass) {
                    f /= 2;
                    c /= 4;
                }
                if ((c + r) / f < 0.95 * s) {
                    const double g = 1.0 / f;
                    scale(i) *= f;
                    changed = true;
                    for (int p = 0; p < Parts; ++p) {
                        for (std::ptrdiff_t j = k; j <= n; ++j)
                            a.m[p](i, j) *= g;
                        for (std::ptrdiff_t j = 1; j <= l; ++j)
                            a.m[p](j, i) *= f;
                    }
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
