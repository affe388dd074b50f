// Exact power-of-two scaling around the eigenvalue kernels: their products
// of two entries overflow above about 1e154 and lose digits in the subnormal
// range below about 1e-154, so a matrix whose largest entry lies outside a
// window well inside those bounds is first brought to the window's edge and
// the results are scaled back. The shift is kept as small as it can be: a
// power of two changes no digit of an entry that stays a normal number, but
// a large shift would push the matrix's small entries below the smallest
// double (a tiny eigenvalue beside a large one would come back as 0).
#pragma once

#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Largest finite magnitudes within 2^-safe_range_edge .. 2^safe_range_edge
// run unscaled: pairwise products stay far from overflow and underflow.
inline constexpr int safe_range_edge = 450;

// The smallest shift e for which 2^e*A has its largest finite magnitude
// within 2^-safe_range_edge .. 2^safe_range_edge, 0 when it already does
// (or A has no finite nonzero entry).
inline int safe_range_exponent(const Mm& a) noexcept
{
    const std::size_t count = std::size_t(a.rows()) * std::size_t(a.cols());
    double big = 0;
    for (int part = 0; part < 2; ++part) {
        const double* x = part == 0 ? a.addr() : a.addi();
        if (!x)
            continue;
        for (std::size_t k = 0; k < count; ++k)
            if (std::isfinite(x[k]))
                big = std::max(big, std::fabs(x[k]));
    }
    if (big == 0)
        return 0;
    // big = f*2^e with f in [0.5, 1), so 2^(e-1) <= big < 2^e.
    int e = 0;
    std::frexp(big, &e);
    if (e > safe_range_edge)
        return safe_range_edge - e;
    if (e - 1 < -safe_range_edge)
        return -safe_range_edge - (e - 1);
    return 0;
}

// x := 2^e*x over a dense value's real and imaginary parts.
inline void scale_by_power_of_two(Mm& x, int e) noexcept
{
    if (e == 0)
        return;
    const std::size_t count = std::size_t(x.rows()) * std::size_t(x.cols());
    for (int part = 0; part < 2; ++part) {
        double* p = part == 0 ? x.addr() : x.addi();
        if (p)
            for (std::size_t k = 0; k < count; ++k)
                p[k] = std::ldexp(p[k], e);
    }
}

// The upper triangle (i <= j) of a dense rows-by-cols x times 2^e, the rest
// untouched: R or U put back into a matrix's own units after its factors
// were formed in units of a power of two.
inline void scale_upper_triangle_by_power_of_two(Mm& x, int e) noexcept
{
    const std::size_t rows = std::size_t(x.rows()), cols = std::size_t(x.cols());
    if (e == 0 || rows == 0)
        return;
    for (int part = 0; part < 2; ++part) {
        double* p = part == 0 ? x.addr() : x.addi();
        if (p)
            for (std::size_t j = 0; j < cols; ++j)
                for (std::size_t i = 0; i <= std::min(j, rows - 1); ++i)
                    p[i + j * rows] = std::ldexp(p[i + j * rows], e);
    }
}

// Householder vectors are formed by dividing by their norm. Below this norm
// the reciprocal overflows, or the quotients of subnormal numbers lose their
// digits, and the factors came back as NaN; such a vector is first brought
// near 1 by a power of two (exact: the stored vector is scale-free) and its
// norm is carried back to its own size afterwards.
inline constexpr double small_vector_norm = 0x1p-969;

// x(0..len-1) := 2^k x, with k chosen to bring its 2-norm, `norm` (nonzero,
// below small_vector_norm), near 1; returns k.
inline int lift_small_vector(int len, double* x, double norm) noexcept
{
    int e = 0;
    std::frexp(norm, &e);
    for (int i = 0; i < len; ++i)
        x[i] = std::ldexp(x[i], -e);
    return -e;
}

// (a, b, c)/norm: the unit vector of a rotation or a phase, norm the
// caller's modulus of (a, b, c). Below 2^-1000 that modulus is subnormal or
// nearly, short of digits, and the quotients would miss the unit sphere (the
// Schur basis of (1+0.5i)*ones(100) was unitary only to 1e-2); there the
// components come from (a, b, c) brought near 1 by a power of two. A norm of
// 0 takes that path whatever the size.
struct unit_vector3 {
    double a, b, c;
};

inline unit_vector3 unit_direction(double a, double b, double c, double norm) noexcept
{
    if (!(norm < 0x1p-1000))
        return {a / norm, b / norm, c / norm};
    int e = 0;
    std::frexp(std::max({std::fabs(a), std::fabs(b), std::fabs(c)}), &e);
    a = std::ldexp(a, -e);
    b = std::ldexp(b, -e);
    c = std::ldexp(c, -e);
    const double scaled = std::sqrt(a * a + b * b + c * c);
    return {a / scaled, b / scaled, c / scaled};
}

// Rows, then columns, of a square matrix brought by powers of two to
// largest magnitudes in [1/2, 1): A = 2^row · A' · 2^col with exponent
// vectors row, col. A matrix whose rows or columns lie far apart, one row
// of 1e-300 among rows of 1e300 or one subnormal column among ordinary
// ones, has a solution and an inverse of ordinary or merely overflowing
// size, yet elimination forms products of two large numbers (Inf, and Inf
// minus Inf) or reciprocals of subnormal pivots on the way. Only a matrix
// with some exponent beyond equilibration_edge is touched (active false
// otherwise, a untouched): ordinary matrices keep their own rounding.
inline constexpr int equilibration_edge = 450;

struct power_of_two_equilibration {
    bool active = false;
    std::vector<int> row, col;
};

// The exponent e of big = f*2^e, f in [1/2, 1); 0 for 0, Inf or NaN.
inline int power_of_two_exponent(double big) noexcept
{
    int e = 0;
    if (big > 0 && std::isfinite(big))
        std::frexp(big, &e);
    return e;
}

// The exponents of rows, then columns, for a rows-by-cols matrix whose
// nonzero magnitudes `entries(visit)` hands to visit(i, j, magnitude), each
// once (stored entries of a sparse matrix, every element of a dense one);
// active only where they lie far apart.
template <class Entries>
power_of_two_equilibration equilibration_exponents(int rows, int cols, Entries&& entries)
{
    power_of_two_equilibration q;
    std::vector<double> row_big(std::size_t(rows), 0.0);
    entries([&](int i, int, double v) { row_big[std::size_t(i)] = std::max(row_big[std::size_t(i)], v); });
    q.row.assign(std::size_t(rows), 0);
    bool far = false;
    for (int i = 0; i < rows; ++i) {
        q.row[std::size_t(i)] = power_of_two_exponent(row_big[std::size_t(i)]);
        far = far || std::abs(q.row[std::size_t(i)]) > equilibration_edge;
    }
    // The columns' exponents after the rows' scaling, from the elements'
    // exponents (the scaled elements themselves may pass below the
    // doubles: 1e-300 in a row of 1e300).
    std::vector<char> any(std::size_t(cols), 0);
    q.col.assign(std::size_t(cols), 0);
    entries([&](int i, int j, double v) {
        if (!(v > 0 && std::isfinite(v)))
            return;
        const int e = power_of_two_exponent(v) - q.row[std::size_t(i)];
        int& big = q.col[std::size_t(j)];
        big = any[std::size_t(j)] ? std::max(big, e) : e;
        any[std::size_t(j)] = 1;
    });
    for (int j = 0; j < cols; ++j)
        far = far || q.col[std::size_t(j)] < -equilibration_edge;
    q.active = far;
    if (!far) {
        q.row.clear();
        q.col.clear();
    }
    return q;
}

// One exponent vector e for a Hermitian matrix, A = 2^e · A' · 2^e, so A'
// stays Hermitian and keeps the symmetric factorisation (rows and columns
// scaled apart would not). Each round halves every row's distance from
// largest magnitudes in [1/2, 1) (the symmetric scaling of the infinity
// norm, in powers of two), so a spread over the whole range of the doubles
// settles within a dozen rounds; the rounds stop where no row moves.
template <class Entries>
std::vector<int> symmetric_equilibration_exponents(int n, Entries&& entries)
{
    std::vector<int> e(std::size_t(n), 0), big(std::size_t(n), 0);
    std::vector<char> any(std::size_t(n), 0);
    for (int round = 0; round < 64; ++round) {
        std::fill(any.begin(), any.end(), 0);
        entries([&](int i, int j, double v) {
            if (!(v > 0 && std::isfinite(v)))
                return;
            const int x = power_of_two_exponent(v) - e[std::size_t(i)] - e[std::size_t(j)];
            big[std::size_t(i)] = any[std::size_t(i)] ? std::max(big[std::size_t(i)], x) : x;
            any[std::size_t(i)] = 1;
        });
        bool moved = false;
        for (int i = 0; i < n; ++i)
            if (any[std::size_t(i)] && big[std::size_t(i)] / 2 != 0) {
                e[std::size_t(i)] += big[std::size_t(i)] / 2;
                moved = true;
            }
        if (!moved)
            break;
    }
    return e;
}

// Every element of a dense rows-by-cols matrix, as equilibration_exponents
// takes them.
inline auto dense_entries(const Mm& a)
{
    return [&a](auto&& visit) {
        const int rows = a.rows(), cols = a.cols();
        const double* re = a.addr();
        const double* im = a.isc() ? a.addi() : nullptr;
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i) {
                const std::size_t k = std::size_t(i) + std::size_t(j) * std::size_t(rows);
                visit(i, j, std::max(std::fabs(re[k]), im ? std::fabs(im[k]) : 0.0));
            }
    };
}

// a := 2^-row · a · 2^-col (a dense value).
inline void apply_equilibration(Mm& a, const power_of_two_equilibration& q) noexcept
{
    const int n = a.rows(), cols = a.cols();
    for (int part = 0; part < 2; ++part) {
        double* p = part == 0 ? a.addr() : a.isc() ? a.addi() : nullptr;
        if (p)
            for (int j = 0; j < cols; ++j)
                for (int i = 0; i < n; ++i) {
                    const std::size_t k = std::size_t(i) + std::size_t(j) * std::size_t(n);
                    p[k] = std::ldexp(p[k], -q.row[std::size_t(i)] - q.col[std::size_t(j)]);
                }
    }
}

// Which exponents a far-apart Hermitian matrix takes: rows and columns
// apart (for the general factorisation) or one vector for both.
enum class hermitian_scaling { rows_and_columns, symmetric };

// Equilibrates a dense matrix in place where its rows or columns lie far
// apart (the returned exponents; a untouched when not active). With
// `symmetric`, a Hermitian a (judged by `hermitian`, asked only when the
// scaling is taken) is scaled by one vector and stays Hermitian.
template <class IsHermitian>
power_of_two_equilibration equilibrate_by_powers_of_two(Mm& a, hermitian_scaling mode, IsHermitian&& hermitian)
{
    power_of_two_equilibration q = equilibration_exponents(a.rows(), a.cols(), dense_entries(a));
    if (!q.active)
        return q;
    if (mode == hermitian_scaling::symmetric && a.rows() == a.cols() && hermitian(a)) {
        q.row = symmetric_equilibration_exponents(a.rows(), dense_entries(a));
        q.col = q.row;
    }
    apply_equilibration(a, q);
    return q;
}

inline power_of_two_equilibration equilibrate_by_powers_of_two(Mm& a)
{
    return equilibrate_by_powers_of_two(a, hermitian_scaling::rows_and_columns, [](const Mm&) { return false; });
}

// The right-hand sides of A x = b for the equilibrated A' y = c: each
// column j of b (n rows, leading dimension ld; im may be null) becomes
// c = 2^-(row + shift_j) b, shift_j bringing its largest element to
// [1/2, 1) (a row of subnormal numbers would otherwise scale its element
// of b past the largest double, and Inf - Inf follow). Returns the shifts.
inline std::vector<int> scale_right_sides(const std::vector<int>& row, int n, int nrhs, double* re, double* im,
                                          std::size_t ld)
{
    std::vector<int> shift(std::size_t(nrhs), 0);
    for (int j = 0; j < nrhs; ++j) {
        bool any = false;
        for (int i = 0; i < n; ++i) {
            const std::size_t k = std::size_t(i) + std::size_t(j) * ld;
            const double v = std::max(std::fabs(re[k]), im ? std::fabs(im[k]) : 0.0);
            if (v > 0 && std::isfinite(v)) {
                const int e = power_of_two_exponent(v) - row[std::size_t(i)];
                shift[std::size_t(j)] = any ? std::max(shift[std::size_t(j)], e) : e;
                any = true;
            }
        }
        for (int i = 0; i < n; ++i) {
            const std::size_t k = std::size_t(i) + std::size_t(j) * ld;
            const int e = -row[std::size_t(i)] - shift[std::size_t(j)];
            re[k] = std::ldexp(re[k], e);
            if (im)
                im[k] = std::ldexp(im[k], e);
        }
    }
    return shift;
}

// x = 2^(shift_j - col) y, column by column: the solution of A x = b back
// from the equilibrated system's y, each element rounded once.
inline void unscale_solutions(const std::vector<int>& col, const std::vector<int>& shift, int n, int nrhs, double* re,
                              double* im, std::size_t ld) noexcept
{
    for (int j = 0; j < nrhs; ++j)
        for (int i = 0; i < n; ++i) {
            const std::size_t k = std::size_t(i) + std::size_t(j) * ld;
            const int e = shift[std::size_t(j)] - col[std::size_t(i)];
            re[k] = std::ldexp(re[k], e);
            if (im)
                im[k] = std::ldexp(im[k], e);
        }
}

// The exponents of a matrix's columns (of their largest magnitudes, 0 for
// a column without a finite nonzero element), its magnitudes handed over
// by `entries` as equilibration_exponents takes them, where some column
// lies beyond equilibration_edge; empty otherwise, so ordinary matrices
// keep their own rounding.
template <class Entries>
std::vector<int> far_apart_column_exponents(int cols, Entries&& entries)
{
    std::vector<double> big(std::size_t(cols), 0.0);
    entries([&](int, int j, double v) {
        if (std::isfinite(v))
            big[std::size_t(j)] = std::max(big[std::size_t(j)], v);
    });
    std::vector<int> e(std::size_t(cols), 0);
    bool far = false;
    for (int j = 0; j < cols; ++j) {
        e[std::size_t(j)] = power_of_two_exponent(big[std::size_t(j)]);
        far = far || std::abs(e[std::size_t(j)]) > equilibration_edge;
    }
    if (!far)
        e.clear();
    return e;
}
