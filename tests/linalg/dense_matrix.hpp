// Small dense complex matrices for the kernel tests: split storage as the
// kernels take it, with the products and norms the residual checks need.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <random>
#include <vector>

namespace test {

struct dense {
    int rows = 0, cols = 0;
    std::vector<double> re, im;

    dense() = default;
    dense(int r, int c) : rows(r), cols(c), re(std::size_t(r) * c, 0.0), im(std::size_t(r) * c, 0.0) {}

    static dense identity(int n)
    {
        dense d(n, n);
        for (int k = 0; k < n; ++k)
            d.re[std::size_t(k) * (n + 1)] = 1.0;
        return d;
    }
    static dense random(int r, int c, unsigned seed, bool complex)
    {
        std::mt19937_64 gen(seed);
        std::normal_distribution<double> normal;
        dense d(r, c);
        for (auto& v : d.re)
            v = normal(gen);
        if (complex)
            for (auto& v : d.im)
                v = normal(gen);
        return d;
    }

    std::complex<double> operator()(int i, int j) const  // 0-based
    {
        const std::size_t k = std::size_t(i) + std::size_t(j) * rows;
        return {re[k], im[k]};
    }
    void set(int i, int j, std::complex<double> v)
    {
        const std::size_t k = std::size_t(i) + std::size_t(j) * rows;
        re[k] = v.real();
        im[k] = v.imag();
    }
    double norm1() const
    {
        double best = 0;
        for (int j = 0; j < cols; ++j) {
            double s = 0;
            for (int i = 0; i < rows; ++i)
                s += std::abs((*this)(i, j));
            best = std::max(best, s);
        }
        return best;
    }
};

inline dense product(const dense& a, const dense& b)
{
    dense c(a.rows, b.cols);
    for (int j = 0; j < b.cols; ++j)
        for (int i = 0; i < a.rows; ++i) {
            std::complex<double> s = 0;
            for (int k = 0; k < a.cols; ++k)
                s += a(i, k) * b(k, j);
            c.set(i, j, s);
        }
    return c;
}

inline dense adjoint(const dense& a)
{
    dense c(a.cols, a.rows);
    for (int j = 0; j < a.cols; ++j)
        for (int i = 0; i < a.rows; ++i)
            c.set(j, i, std::conj(a(i, j)));
    return c;
}

inline dense difference(const dense& a, const dense& b)
{
    dense c(a.rows, a.cols);
    for (std::size_t k = 0; k < a.re.size(); ++k) {
        c.re[k] = a.re[k] - b.re[k];
        c.im[k] = a.im[k] - b.im[k];
    }
    return c;
}

// Largest |entry| below the given subdiagonal (1: strictly below the first
// subdiagonal, 0: strictly below the diagonal).
inline double below(const dense& a, int band)
{
    double worst = 0;
    for (int j = 0; j < a.cols; ++j)
        for (int i = j + 1 + band; i < a.rows; ++i)
            worst = std::max(worst, std::abs(a(i, j)));
    return worst;
}

// |QᴴQ - I|₁.
inline double departure_from_unitary(const dense& q)
{
    return difference(product(adjoint(q), q), dense::identity(q.cols)).norm1();
}

} // namespace test
