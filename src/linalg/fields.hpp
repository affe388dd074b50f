// Real matrices and split complex ones (real and imaginary parts in two
// arrays with one leading dimension) behind one interface: the scalar,
// 1-based element views, and the level-2 and level-3 products that the
// blocked Hessenberg reduction and the multishift QR iteration make, so
// that those are written once, as templates over the two fields. An
// operand marked 'C' is transposed and, when complex, conjugated.
#pragma once

#include "engine/scalar_complex.hpp"
#include "linalg/kernel_access.hpp"

#include <cmath>
#include <cstddef>

namespace field {

using idx = std::ptrdiff_t;

// A complex number with the plain arithmetic of the published kernels: no
// recovery of infinities from a NaN product, a division by Smith's ratio.
struct cplx {
    double re = 0.0, im = 0.0;
    constexpr cplx() noexcept = default;
    constexpr cplx(double r) noexcept : re(r) {}  // a real number is a complex one
    constexpr cplx(double r, double i) noexcept : re(r), im(i) {}
};

inline cplx operator+(cplx a, cplx b) noexcept { return {a.re + b.re, a.im + b.im}; }
inline cplx operator-(cplx a, cplx b) noexcept { return {a.re - b.re, a.im - b.im}; }
inline cplx operator-(cplx a) noexcept { return {-a.re, -a.im}; }
inline cplx operator*(cplx a, cplx b) noexcept { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline cplx operator*(double a, cplx b) noexcept { return {a * b.re, a * b.im}; }
inline cplx operator*(cplx a, double b) noexcept { return {a.re * b, a.im * b}; }
inline cplx operator/(cplx a, double b) noexcept { return {a.re / b, a.im / b}; }
inline cplx operator/(cplx a, cplx b) noexcept
{
    cplx q;
    complex_div(a.re, a.im, b.re, b.im, q.re, q.im);
    return q;
}
inline cplx& operator+=(cplx& a, cplx b) noexcept { return a = a + b; }
inline cplx& operator-=(cplx& a, cplx b) noexcept { return a = a - b; }
inline cplx& operator*=(cplx& a, cplx b) noexcept { return a = a * b; }
inline cplx& operator*=(cplx& a, double b) noexcept { return a = a * b; }
inline cplx& operator/=(cplx& a, double b) noexcept { return a = a / b; }
inline bool operator==(cplx a, cplx b) noexcept { return a.re == b.re && a.im == b.im; }
inline bool operator!=(cplx a, cplx b) noexcept { return !(a == b); }

// The same few functions for both scalars.
inline double conj(double a) noexcept { return a; }
inline cplx conj(cplx a) noexcept { return {a.re, -a.im}; }
// |re| + |im|: the magnitude the iterations' tests and scalings use.
inline double abs1(double a) noexcept { return std::fabs(a); }
inline double abs1(cplx a) noexcept { return std::fabs(a.re) + std::fabs(a.im); }
inline double real_part(double a) noexcept { return a; }
inline double real_part(cplx a) noexcept { return a.re; }
inline double imag_part(double) noexcept { return 0.0; }
inline double imag_part(cplx a) noexcept { return a.im; }
inline bool finite(double a) noexcept { return std::isfinite(a); }
inline bool finite(cplx a) noexcept { return std::isfinite(a.re) && std::isfinite(a.im); }
inline double squared_modulus(double a) noexcept { return a * a; }
inline double squared_modulus(cplx a) noexcept { return a.re * a.re + a.im * a.im; }
// The modulus, without overflow or underflow.
inline double modulus(double a) noexcept { return std::fabs(a); }
inline double modulus(cplx a) noexcept { return complex_abs(a.re, a.im); }

// An element of a split matrix, read and written as a cplx.
struct split_ref {
    double* r;
    double* i;
    operator cplx() const noexcept { return {*r, *i}; }
    split_ref& operator=(cplx v) noexcept
    {
        *r = v.re;
        *i = v.im;
        return *this;
    }
    split_ref& operator=(const split_ref& o) noexcept { return *this = cplx(o); }
    split_ref& operator+=(cplx v) noexcept { return *this = cplx(*this) + v; }
    split_ref& operator-=(cplx v) noexcept { return *this = cplx(*this) - v; }
    split_ref& operator*=(cplx v) noexcept { return *this = cplx(*this) * v; }
    split_ref& operator*=(double v) noexcept { return *this = cplx(*this) * v; }
    split_ref& operator/=(double v) noexcept { return *this = cplx(*this) / v; }
};

// A split complex matrix, 1-based as matrix_view.
struct split_view {
    double* re;
    double* im;
    idx ld;
    split_ref operator()(idx i, idx j) const noexcept
    {
        const idx k = (i - 1) + (j - 1) * ld;
        return {re + k, im + k};
    }
};

// A split complex matrix that is only read.
struct const_split_view {
    const double* re;
    const double* im;
    idx ld;
    cplx operator()(idx i, idx j) const noexcept
    {
        const idx k = (i - 1) + (j - 1) * ld;
        return {re[k], im[k]};
    }
};

// The view whose element (1, 1) is a's element (i, j).
inline matrix_view<double> corner(const matrix_view<double>& a, idx i, idx j) noexcept { return {&a(i, j), a.ld}; }
inline split_view corner(const split_view& a, idx i, idx j) noexcept
{
    const idx k = (i - 1) + (j - 1) * a.ld;
    return {a.re + k, a.im + k, a.ld};
}

// The two fields: the scalar, the matrix view, and how a matrix is carved
// from a work array of doubles (rows·cols doubles per part).
struct real_field {
    using scalar = double;
    using matrix = matrix_view<double>;
    static constexpr bool is_complex = false;
    static constexpr idx parts = 1;
    static matrix carve(double* p, idx rows, idx cols) noexcept { return {p, rows}; }
};

struct complex_field {
    using scalar = cplx;
    using matrix = split_view;
    static constexpr bool is_complex = true;
    static constexpr idx parts = 2;
    static matrix carve(double* p, idx rows, idx cols) noexcept { return {p, p ? p + rows * cols : nullptr, rows}; }
};

template <class M>
struct field_of;
template <>
struct field_of<matrix_view<double>> {
    using type = real_field;
};
template <>
struct field_of<split_view> {
    using type = complex_field;
};

// ---- products; sizes as idx, nothing done for an empty result ----
//
// Each operand is a view whose (1, 1) is the block's first element; a
// vector is the first column of a view (contiguous).

// c := alpha·op(a)·op(b) + beta·c, op 'N' or 'C'.
void gemm(char ta, char tb, idx m, idx n, idx k, double alpha, const matrix_view<double>& a,
          const matrix_view<double>& b, double beta, const matrix_view<double>& c);
void gemm(char ta, char tb, idx m, idx n, idx k, double alpha, const split_view& a, const split_view& b, double beta,
          const split_view& c);

// y := alpha·op(a)·x + beta·y, a m by n.
void gemv(char t, idx m, idx n, double alpha, const matrix_view<double>& a, const matrix_view<double>& x, double beta,
          const matrix_view<double>& y);
void gemv(char t, idx m, idx n, double alpha, const split_view& a, const split_view& x, double beta,
          const split_view& y);

// y := alpha·a·conj(x)ᵀ + beta·y, a m by n, x the first row of a view
// (elements x.ld apart).
void gemv_conj_row(idx m, idx n, double alpha, const matrix_view<double>& a, const matrix_view<double>& x,
                   double beta, const matrix_view<double>& y);
void gemv_conj_row(idx m, idx n, double alpha, const split_view& a, const split_view& x, double beta,
                   const split_view& y);

// x := op(a)·x, a triangular of order n ('U' or 'L'; diag 'U' unit, 'N').
void trmv(char uplo, char t, char diag, idx n, const matrix_view<double>& a, const matrix_view<double>& x);
void trmv(char uplo, char t, char diag, idx n, const split_view& a, const split_view& x);

// b := op(a)·b (side 'L') or b·op(a) (side 'R'), b m by n, a triangular.
// The complex form works through scratch: room for op(a) and a copy of b,
// (k·k + m·n)·2 doubles with k the order of a.
void trmm(char side, char uplo, char t, char diag, idx m, idx n, const matrix_view<double>& a,
          const matrix_view<double>& b, double* scratch);
void trmm(char side, char uplo, char t, char diag, idx m, idx n, const split_view& a, const split_view& b,
          double* scratch);

// to := from, rows by cols.
void copy_block(const matrix_view<double>& from, const matrix_view<double>& to, idx rows, idx cols);
void copy_block(const split_view& from, const split_view& to, idx rows, idx cols);

// The scratch doubles trmm needs for a product of those sizes.
template <class F>
constexpr idx trmm_scratch(idx k, idx m, idx n) noexcept
{
    return F::is_complex ? 2 * (k * k + m * n) : 0;
}

} // namespace field
