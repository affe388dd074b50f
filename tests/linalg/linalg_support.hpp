// Helpers shared by the linear-algebra tests: the deterministic test
// matrices of tools/reference (the same integer hash), conversions to plain
// complex arrays, and the scale-free residuals the tests bound.
#pragma once

#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace linalg_test {

using cx = std::complex<double>;

// A rows x cols value from reference data, column-major, complex or not as
// `complex` says.
inline Mm matrix_from(int rows, int cols, const std::vector<double>& re, const std::vector<double>& im, bool complex)
{
    Mm a(complex, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k) {
        a.addr()[k] = re[k];
        if (complex)
            a.addi()[k] = im[k];
    }
    return a;
}

// The same, complex when an imaginary part is not zero.
inline Mm matrix_from(int rows, int cols, const std::vector<double>& re, const std::vector<double>& im = {})
{
    bool complex = false;
    for (double v : im)
        complex = complex || v != 0;
    return matrix_from(rows, cols, re, im, complex);
}
inline constexpr double eps52 = 0x1p-52;

// Element (i, j) (0-based) of the hash matrix; part 0 real, 1 imaginary.
inline double hash_element(int seed, int i, int j, int part)
{
    const std::uint64_t mod = std::uint64_t(1) << 32;
    std::uint64_t h =
        (std::uint64_t(i) * 7919 + std::uint64_t(j) * 104729 + std::uint64_t(seed) * 31337 + std::uint64_t(part) * 65537 + 1) *
        2654435761ull % mod;
    h = ((h ^ (h >> 13)) * 1274126177ull) % mod;
    h ^= h >> 16;
    return double(h) / 4294967296.0 - 0.5;
}

inline Mm hash_matrix(int rows, int cols, bool complex, int seed)
{
    Mm a(complex, 0, 0, rows, cols, qv_double);
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i) {
            a.addr()[i + j * rows] = hash_element(seed, i, j, 0);
            if (complex)
                a.addi()[i + j * rows] = hash_element(seed, i, j, 1);
        }
    return a;
}

inline Mm random_matrix(std::mt19937_64& gen, int rows, int cols, bool complex)
{
    std::normal_distribution<double> normal;
    Mm a(complex, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k) {
        a.addr()[k] = normal(gen);
        if (complex)
            a.addi()[k] = normal(gen);
    }
    return a;
}

// A dense matrix of std::complex, column-major, from any full double value.
struct cmat {
    int rows = 0, cols = 0;
    std::vector<cx> v;
    cx& operator()(int i, int j) { return v[i + std::size_t(j) * rows]; }
    cx operator()(int i, int j) const { return v[i + std::size_t(j) * rows]; }
};

inline cmat to_cmat(const Mm& x)
{
    const Mm f = full(x);
    cmat m{f.rows(), f.cols(), std::vector<cx>(std::size_t(f.rows()) * f.cols())};
    for (std::size_t k = 0; k < m.v.size(); ++k)
        m.v[k] = cx(f.addr()[k], f.isc() ? f.addi()[k] : 0.0);
    return m;
}

inline cmat product(const cmat& a, const cmat& b, bool conj_a = false)
{
    const int r = conj_a ? a.cols : a.rows, inner = conj_a ? a.rows : a.cols;
    cmat c{r, b.cols, std::vector<cx>(std::size_t(r) * b.cols)};
    for (int j = 0; j < b.cols; ++j)
        for (int k = 0; k < inner; ++k) {
            const cx bkj = b(k, j);
            for (int i = 0; i < r; ++i)
                c(i, j) += (conj_a ? std::conj(a(k, i)) : a(i, k)) * bkj;
        }
    return c;
}

inline cmat ctrans(const cmat& a)
{
    cmat t{a.cols, a.rows, std::vector<cx>(a.v.size())};
    for (int j = 0; j < a.cols; ++j)
        for (int i = 0; i < a.rows; ++i)
            t(j, i) = std::conj(a(i, j));
    return t;
}

inline cmat identity(int n)
{
    cmat e{n, n, std::vector<cx>(std::size_t(n) * n)};
    for (int k = 0; k < n; ++k)
        e(k, k) = 1;
    return e;
}

inline double max_abs(const cmat& a)
{
    double m = 0;
    for (const cx& z : a.v)
        m = std::max(m, std::abs(z));
    return m;
}

inline double max_abs_diff(const cmat& a, const cmat& b)
{
    double m = 0;
    for (std::size_t k = 0; k < a.v.size(); ++k)
        m = std::max(m, std::abs(a.v[k] - b.v[k]));
    return m;
}

// max|A X - B| / (max|A| max|X| n eps): the solve residual.
inline double solve_residual(const Mm& a, const Mm& x, const Mm& b)
{
    const cmat A = to_cmat(a), X = to_cmat(x), B = to_cmat(b);
    const int n = std::max(A.rows, A.cols);
    return max_abs_diff(product(A, X), B) / (max_abs(A) * max_abs(X) * n * eps52);
}

// A value with the given entry function, rows x cols.
template <class F>
Mm matrix_of(int rows, int cols, bool complex, F&& entry)
{
    Mm a(complex, 0, 0, rows, cols, qv_double);
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i) {
            const cx v = entry(i, j);
            a.addr()[i + std::size_t(j) * rows] = v.real();
            if (complex)
                a.addi()[i + std::size_t(j) * rows] = v.imag();
        }
    return a;
}

// 2^k times a full double value (exactly, but for the bits a subnormal
// element cannot hold).
inline Mm times_power_of_two(const Mm& a, int k)
{
    Mm f(a.isc(), 0, 0, a.rows(), a.cols(), qv_double);
    for (std::size_t e = 0; e < std::size_t(a.rows()) * a.cols(); ++e) {
        f.addr()[e] = std::ldexp(a.addr()[e], k);
        if (a.isc())
            f.addi()[e] = std::ldexp(a.addi()[e], k);
    }
    return f;
}

// compan of the leading coefficients `head` followed by zeros: a companion
// matrix of order n with n + 1 - head.size() zero roots (a Jordan chain).
inline Mm companion_with_zero_roots(std::vector<double> head, int n)
{
    head.resize(std::size_t(n) + 1, 0.0);
    Mm p(0, 0, 0, n + 1, 1, qv_double);
    std::copy(head.begin(), head.end(), p.addr());
    return compan(p);
}

// For each column v of V with its eigenvalue λ = D(k, k) (D diagonal, or
// a column of eigenvalues): |A·v - λ·v|₂ / (n eps |A|_F |v|₂), the largest
// over the columns. A·V is the library's product, so orders in the
// thousands stay quick; every column is judged on its own, so a column
// that is not an eigenvector shows whatever the others do.
inline double worst_eigenvector_residual(const Mm& a, const Mm& v, const Mm& d)
{
    const cmat A = to_cmat(a), V = to_cmat(v), AV = to_cmat(a * v), D = to_cmat(d);
    const int n = A.rows;
    double fro = 0, big = max_abs(A);
    for (const cx& z : A.v)
        fro += big == 0 ? 0 : std::norm(z / big);
    fro = big * std::sqrt(fro);
    double worst = 0;
    for (int k = 0; k < V.cols; ++k) {
        const cx lambda = D.cols == 1 ? D(k, 0) : D(k, k);
        double r = 0, x = 0;
        for (int i = 0; i < n; ++i) {
            r = std::hypot(r, std::abs(AV(i, k) - lambda * V(i, k)));
            x = std::hypot(x, std::abs(V(i, k)));
        }
        const double scale = n * eps52 * fro * x;
        worst = std::max(worst, r == 0 ? 0.0 : r / scale);
    }
    return worst;
}

// |VᴴV - I|_max / (n eps), by the library's product.
inline double departure_from_orthonormal_columns(const Mm& v)
{
    const cmat G = to_cmat(mtimes(ctranspose(v), v));
    double worst = 0;
    for (int j = 0; j < G.cols; ++j)
        for (int i = 0; i < G.rows; ++i)
            worst = std::max(worst, std::abs(G(i, j) - cx(i == j ? 1.0 : 0.0)));
    return worst / (std::max(G.rows, 1) * eps52);
}

} // namespace linalg_test
